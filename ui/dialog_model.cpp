#include "ui/dialog_model.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

#include "polyhedra/poly_model.h"
#include "polyhedra/poly_spec.h"
#include "projection/catalogue.h"
#include "projection/output_mapping.h"
#include "projection/render_context.h"
#include "render/blend_modes.h"
#include "render/render_setup.h"
#include "settings/presets.h"

namespace globaro {
namespace {

constexpr SliderControl kSliders[] = {
    {kControlLatitude, 86, "Latitude", -90.0f, 90.0f, &SettingsRecord::latitude},
    {kControlLongitude, 91, "Longitude", -180.0f, 180.0f, &SettingsRecord::longitude},
    {kControlSpin, 85, "Spin", -180.0f, 180.0f, &SettingsRecord::spin},
    {kControlFov, 104, "FOV", 0.0f, 180.0f, &SettingsRecord::fov},
    {kControlTabs, 92, "Tabs", 0.0f, 100.0f, &SettingsRecord::tabs},
    {kControlSharpen, 93, "Sharpen", 0.0f, 100.0f, &SettingsRecord::sharpen},
};

constexpr CheckControl kChecks[] = {
    {kControlFlip, "Flip", &SettingsRecord::flip},
    {kControlFaces, "Faces", &SettingsRecord::faces},
    {kControlTransparentGaps, "Transparent gaps", &SettingsRecord::transparentGaps},
    {kControlIndicatrix, "Indicatrix", &SettingsRecord::indicatrix},
    {kControlEdges, "Edges", &SettingsRecord::edges},
    {kControlAnamorphosis, "Anamorph", &SettingsRecord::anamorphosis},
    {kControlDehalo, "De-halo", &SettingsRecord::dehalo},
};

constexpr ColourControl kColours[] = {
    {kControlTabColor, "Tab", "Choose the tab color.", &SettingsRecord::tabColor},
    {kControlBackdropColor, "Background", "Choose the backdrop color.", &SettingsRecord::backdropColor},
    {kControlLineColor, "Lines", "Choose the color for lines.", &SettingsRecord::lineColor},
};

constexpr ChoiceControl kChoices[] = {
    {kControlInput, "Input", &SettingsRecord::inputProjection},
    {kControlOutput, "Output", &SettingsRecord::outputProjection},
    {kControlGlue, "Glue", &SettingsRecord::glue},
    {kControlGrid, "Grid", &SettingsRecord::grid},
    {kControlQuality, "Preview", &SettingsRecord::previewQuality},
};

constexpr ButtonControl kButtons[] = {
    {kControlLoad, "&Load", "Open a settings file"},
    {kControlSave, "&Save", "Save the settings to a file"},
    {kControlUndo, "&Undo", "Back to the settings before the last change (again: forward)"},
    {kControlDice, "&Dice", "Random latitude, longitude and spin"},
    {kControlConstrained, "C&onstrained", "Random quarter turns"},
    {kControlResetAngles, "r&eset", "Latitude, longitude and spin to 0"},
    {kControlLittlePlanet, "Little Planet", "The little planet view"},
    {kControlStepInput, "B", "Next input projection"},
    {kControlStepOutput, "A", "Next output projection"},
    {kControlStepGlue, "B", "Next glue mode"},
    {kControlStepGrid, "A", "Next grid spacing"},
    {kControlStepQuality, "A", "Next preview quality"},
    {kControlCube, "Cu&be", "Export a cube map as six documents"},
    {kControlFacet, "F&acet", "Export the faces of the polyhedron"},
    {kControlPsdWithSize, "PSD with size", "Export the result as a layered document"},
    {kControlLego, "L&ego", "Export a brick-built sphere"},
    {kControlInfo, "A", "Information"},
    {kControlZ, "Z", "The whole image in the preview"},
    {kControlAbout, "?", "About Globaro 2"},
};

constexpr const char* kGridNames[] = {"none", "5'", "6'", "10'", "15'", "30'", "45'"};
constexpr const char* kQualityNames[] = {"good", "better", "best"};

// Outputs that are polyhedral but have no faces to export one by one.
constexpr std::pair<ProjectionId, ProjectionId> kNoFacetRanges[] = {
    {21, 21},   {41, 42},   {64, 64},   {86, 86},   {97, 98},   {100, 107}, {113, 117}, {122, 129},
    {137, 137}, {144, 144}, {150, 150}, {167, 168}, {351, 352}, {368, 368}, {370, 382},
};

const SliderControl* findSlider(int control) {
    for (const SliderControl& s : kSliders)
        if (s.control == control || s.edit == control) return &s;
    return nullptr;
}
const CheckControl* findCheck(int control) {
    for (const CheckControl& c : kChecks)
        if (c.control == control) return &c;
    return nullptr;
}
const ColourControl* findColour(int control) {
    for (const ColourControl& c : kColours)
        if (c.control == control) return &c;
    return nullptr;
}
const ChoiceControl* findChoice(int control) {
    for (const ChoiceControl& c : kChoices)
        if (c.control == control) return &c;
    return nullptr;
}

// The output directions of a grid of positions at one field of view; misses
// give a zero direction.
std::vector<float> probeDirections(ProjectionId output, float fov, PolyModel* model) {
    SettingsRecord settings{};
    resetToDefaults(settings);
    settings.outputProjection = output;
    settings.fov = fov;
    settings.fovInteger = static_cast<std::int32_t>(fov);
    auto ctx = std::make_unique<RenderContext>();
    RenderSetupOptions setup;
    setup.polyModel = model;
    setupRenderContext(*ctx, settings, RenderSizes{400, 200, 400, 200}, setup);
    PolyJobState job;
    MappingScratch scratch;
    if (model != nullptr) {
        buildSweepList(*model, job);
        scratch.polyJob = &job;
    }
    std::vector<float> out;
    constexpr int kSteps = 7;
    for (int j = 0; j < kSteps; ++j) {
        for (int i = 0; i < kSteps; ++i) {
            RenderCell cell{};
            SphereDir d{};
            const float a = (static_cast<float>(i) + 0.5f) / kSteps, b = (static_cast<float>(j) + 0.5f) / kSteps;
            if (!outputToSphere(a, b, *ctx, cell, scratch, &d)) d = SphereDir{};
            out.insert(out.end(), {d.x, d.y, d.z});
        }
    }
    return out;
}

bool differ(const std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (std::fabs(a[i] - b[i]) > 1e-4f) return true;
    return a.size() != b.size();
}

// Into -180..180.
float wrapDegrees(float v) { return std::remainder(v, 360.0f); }

}  // namespace

std::span<const SliderControl> sliderControls() { return kSliders; }
std::span<const CheckControl> checkControls() { return kChecks; }
std::span<const ColourControl> colourControls() { return kColours; }
std::span<const ChoiceControl> choiceControls() { return kChoices; }
std::span<const ButtonControl> buttonControls() { return kButtons; }

const ButtonControl& buttonControl(int control) {
    for (const ButtonControl& b : kButtons)
        if (b.control == control) return b;
    return kButtons[0];
}

std::vector<std::pair<std::int32_t, std::string>> choiceItems(int control) {
    std::vector<std::pair<std::int32_t, std::string>> items;
    switch (control) {
        case kControlInput:
            for (const InputProjectionInfo& row : inputProjections()) items.emplace_back(row.id, std::string(row.name));
            break;
        case kControlOutput:
            for (const OutputProjectionInfo& row : outputProjections())
                items.emplace_back(row.id, std::string(row.name));
            break;
        case kControlGlue:
            for (BlendMode mode = 1; mode <= kBlendModeCount; ++mode) items.emplace_back(mode, blendModeName(mode));
            break;
        case kControlGrid:
            for (int i = 0; i < 7; ++i) items.emplace_back(i + 1, kGridNames[i]);
            break;
        case kControlQuality:
            for (int i = 0; i < 3; ++i) items.emplace_back(i + 1, kQualityNames[i]);
            break;
        default:
            break;
    }
    return items;
}

bool outputUsesFov(ProjectionId output) {
    static std::mutex mutex;
    static std::map<ProjectionId, bool> known;
    const std::lock_guard lock(mutex);
    if (const auto it = known.find(output); it != known.end()) return it->second;
    bool uses = false;
    if (hasOutputEntry(output)) {
        PolyModel* model = usesPolyModel(output) ? createPolyModel() : nullptr;
        if (!usesPolyModel(output) || model != nullptr)
            uses = differ(probeDirections(output, 60.0f, model), probeDirections(output, 150.0f, model));
        releasePolyModel(model);
    }
    known.emplace(output, uses);
    return uses;
}

bool outputHasFacets(ProjectionId output) {
    if (!isPolyhedral(output) || isFloretFamily(output)) return false;
    for (const auto& [lo, hi] : kNoFacetRanges)
        if (output >= lo && output <= hi) return false;
    return true;
}

// ---- PreviewView --------------------------------------------------------------------

std::int32_t PreviewView::width() const { return std::clamp((imageWidth + step - 1) / step, 1, areaWidth); }
std::int32_t PreviewView::height() const { return std::clamp((imageHeight + step - 1) / step, 1, areaHeight); }

void PreviewView::fit(std::int32_t imageW, std::int32_t imageH, std::int32_t areaW, std::int32_t areaH) {
    imageWidth = std::max(imageW, 1);
    imageHeight = std::max(imageH, 1);
    areaWidth = std::max(areaW, 1);
    areaHeight = std::max(areaH, 1);
    fitStep = std::max({(imageWidth + areaWidth - 1) / areaWidth, (imageHeight + areaHeight - 1) / areaHeight, 1});
    step = fitStep;
    left = (imageWidth - width() * step) / 2;
    top = (imageHeight - height() * step) / 2;
    clamp();
}

void PreviewView::clamp() {
    left = std::clamp(left, 0, std::max(imageWidth - width() * step, 0));
    top = std::clamp(top, 0, std::max(imageHeight - height() * step, 0));
}

void PreviewView::setStepKeepingCentre(std::int32_t newStep) {
    const std::int32_t oldW = width() * step, oldH = height() * step;
    step = newStep;
    left -= (width() * step - oldW) / 2;
    top -= (height() * step - oldH) / 2;
    clamp();
}

bool PreviewView::zoomOut() {
    if (!canZoomOut()) return false;
    setStepKeepingCentre(step + 1);
    if (step == fitStep) top = left = 0;
    clamp();
    return true;
}

bool PreviewView::zoomIn() {
    if (!canZoomIn()) return false;
    setStepKeepingCentre(step - 1);
    return true;
}

bool PreviewView::zoomFull() {
    if (!canZoomFull() || step == 1) return false;
    setStepKeepingCentre(1);
    return true;
}

bool PreviewView::zoomFit() {
    if (!canZoomFit()) return false;
    step = fitStep;
    top = left = 0;
    clamp();
    return true;
}

std::string PreviewView::percentText() const { return std::to_string(100 / std::max(step, 1)) + "%"; }

bool PreviewView::drag(std::int32_t dx, std::int32_t dy) {
    const std::int32_t oldTop = top, oldLeft = left;
    top -= dy * step;
    left -= dx * step;
    clamp();
    return top != oldTop || left != oldLeft;
}

// ---- DialogModel --------------------------------------------------------------------

DialogModel::DialogModel(const SettingsRecord& opening, std::uint32_t seed) : settings_(opening), random_(seed) {
    settings_.renderTarget = kRenderToPreview;
    saveSnapshot(settings_, opening_);
    resetUndo(undo_);
}

void DialogModel::open(const ThumbnailSource& thumbnail) {
    recordUndo(undo_, settings_, true);
    clearDotMap(map_);
    loadDotMap(map_);
    showDotsAtOpening(map_, dots_);
    if (const int free = firstFreeDot(map_); free >= 0) {
        Thumbnail taken;
        const bool have = thumbnail && thumbnail(taken);
        saveDot(free, settings_, have ? &taken : nullptr, dots_);
        if (!have) openingDot_ = free;
    }
}

bool DialogModel::completeOpeningDot(const Thumbnail& thumbnail) {
    const int dot = openingDot_;
    openingDot_ = -1;
    // Any change since the opening has been recorded in the other undo slot.
    if (dot < 0 || thumbnail.empty() || undo_.valid[undo_.undoIndex ^ 1] != 0 || dots_.state.words[dot] != kDotCurrent)
        return false;
    saveDot(dot, settings_, &thumbnail, dots_);
    return true;
}

void DialogModel::record(int control, bool changesSettings, bool dotLeftFilled) {
    DialogCommand command;
    command.control = control;
    command.changesSettings = changesSettings;
    command.dotLeftFilled = dotLeftFilled;
    command.currentDotExists = dots_.currentDot >= 0;
    switch (undoKind(command)) {
        case UndoKind::kWithFile:
            recordUndo(undo_, settings_, true);
            break;
        case UndoKind::kWithoutFile:
            recordUndo(undo_, settings_, false);
            break;
        case UndoKind::kNone:
            break;
    }
}

float DialogModel::sliderValue(int control) const {
    const SliderControl* s = findSlider(control);
    return s != nullptr ? settings_.*(s->field) : 0.0f;
}

DialogChange DialogModel::setSlider(int control, double value, bool final) {
    DialogChange change;
    const SliderControl* s = findSlider(control);
    if (s == nullptr) return change;
    const float v = std::isfinite(value) ? std::clamp(static_cast<float>(value), s->lo, s->hi) : s->lo;
    change.settings = settings_.*(s->field) != v;
    settings_.*(s->field) = v;
    if (final && change.settings) record(s->control, true);
    return change;
}

DialogChange DialogModel::typeInEdit(int control, double value) { return setSlider(control, value, false); }

void DialogModel::typingSettled() { record(kCommandTypingSettled, true); }

DialogChange DialogModel::turn(float startLatitude, float startLongitude, double dxFraction, double dyFraction) {
    DialogChange change;
    if (!std::isfinite(dxFraction) || !std::isfinite(dyFraction)) return change;
    const float longitude = wrapDegrees(startLongitude - static_cast<float>(dxFraction * 360.0));
    const float latitude = std::clamp(startLatitude + static_cast<float>(dyFraction * 180.0), -90.0f, 90.0f);
    change.settings = change.controls = longitude != settings_.longitude || latitude != settings_.latitude;
    settings_.longitude = longitude;
    settings_.latitude = latitude;
    return change;
}

void DialogModel::endDrag(int control) { record(control, true); }

std::int32_t DialogModel::choice(int control) const {
    const ChoiceControl* c = findChoice(control);
    return c != nullptr ? settings_.*(c->field) : 0;
}

DialogChange DialogModel::setChoice(int control, std::int32_t value) {
    DialogChange change;
    const ChoiceControl* c = findChoice(control);
    if (c == nullptr) return change;
    change.settings = settings_.*(c->field) != value || (control == kControlGrid && settings_.gridLegacy != value);
    settings_.*(c->field) = value;
    if (control == kControlGrid) settings_.gridLegacy = value;
    change.controls = control == kControlOutput;  // the enabled controls follow the output
    if (change.settings) record(control, true);
    return change;
}

bool DialogModel::checked(int control) const {
    const CheckControl* c = findCheck(control);
    return c != nullptr && settings_.*(c->field) != 0;
}

DialogChange DialogModel::setChecked(int control, bool on) {
    DialogChange change;
    const CheckControl* c = findCheck(control);
    if (c == nullptr) return change;
    change.settings = (settings_.*(c->field) != 0) != on;
    settings_.*(c->field) = on ? 1 : 0;
    if (change.settings) record(control, true);
    return change;
}

Rgb16 DialogModel::colour(int control) const {
    const ColourControl* c = findColour(control);
    return c != nullptr ? settings_.*(c->field) : Rgb16{};
}

DialogChange DialogModel::setColour(int control, Rgb16 colour) {
    DialogChange change;
    const ColourControl* c = findColour(control);
    if (c == nullptr) return change;
    change.settings = !(settings_.*(c->field) == colour);
    settings_.*(c->field) = colour;
    if (change.settings) record(control, true);
    return change;
}

DialogChange DialogModel::press(int control) {
    DialogChange change;
    switch (control) {
        case kControlDice:
            randomAngles(settings_, random_);
            break;
        case kControlConstrained:
            constrainedAngles(settings_, random_);
            break;
        case kControlResetAngles:
            resetAngles(settings_);
            break;
        case kControlLittlePlanet:
            littlePlanet(settings_);
            break;
        case kControlUndo:
            if (!undo(undo_, settings_)) return change;
            break;
        case kControlStepGlue:
        case kControlStepGrid:
        case kControlStepQuality:
        case kControlStepInput:
        case kControlStepOutput:
            if (!stepChoice(settings_, control)) return change;
            if (control == kControlStepGrid) settings_.gridLegacy = settings_.grid;
            break;
        default:
            return change;
    }
    change.settings = change.controls = true;
    record(control, true);
    return change;
}

int DialogModel::loadPreset(const std::string& path) {
    const SettingsReadResult read = openPreset(path, settings_);
    if (read.status == kFileOk) record(kControlLoad, true);
    return read.status;
}

int DialogModel::savePresetTo(const std::string& path, const Thumbnail* thumbnail) {
    return savePreset(path, settings_, thumbnail);
}

DotClickOutcome DialogModel::clickDot(int dot, bool rightButton, bool ctrlHeld, const ThumbnailSource& thumbnail) {
    const auto controls = dotControls();
    if (dot < 0 || dot >= kDotCount) return {};
    const int control = controls[static_cast<std::size_t>(dot)];
    DotClickOutcome outcome = globaro::clickDot(control, rightButton, ctrlHeld, settings_, map_, dots_, thumbnail);
    const bool leftFilled = dots_.state.words[dot] != kDotEmpty;
    DialogCommand command;
    command.control = control;
    command.dotLeftFilled = leftFilled;
    command.ctrlHeld = ctrlHeld;
    if (undoKind(command) == UndoKind::kWithFile) recordUndo(undo_, settings_, true);
    return outcome;
}

ThumbnailClick DialogModel::clickThumbnail(bool rightButton, bool ctrlHeld) {
    const ThumbnailClick action = thumbnailClickAction(rightButton, ctrlHeld, dots_);
    if (action == ThumbnailClick::kLoadCurrentDot) {
        loadDot(dots_.currentDot, settings_, dots_);
        record(kControlThumbnail, true);
    }
    return action;
}

void DialogModel::saveDots() const { saveDotMap(map_); }

bool DialogModel::enabled(int control) const {
    const ProjectionId output = settings_.outputProjection;
    switch (control) {
        case kControlTabs:
        case 92:
            return isPolyhedral(output);
        case kControlFov:
        case 104:
            return outputUsesFov(output);
        case kControlFacet:
            return outputHasFacets(output);
        case kControlUndo:
            return undo_.valid[undo_.undoIndex ^ 1] != 0;
        default:
            return true;
    }
}

void DialogModel::cancel() { restoreSnapshot(opening_, settings_); }

}  // namespace globaro
