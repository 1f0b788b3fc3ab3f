#pragma once
// The filter dialog's logic, without a single widget: the settings it edits,
// the controls bound to them, the commands of its buttons, undo, the memory
// dots, which controls are enabled, and the preview's zoom and scroll. The
// widgets (ui/filter_dialog.h) only show what this says and report what the
// user did; tests drive it directly.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "settings/memory_dots.h"
#include "settings/random_settings.h"
#include "settings/settings_record.h"
#include "settings/thumbnail.h"
#include "settings/undo.h"

namespace globaro {

// The dialog's control ids.
enum DialogControl : int {
    kControlCancel = 2,
    kControlOk = 3,
    kControlDehalo = 4,
    kControlTabColor = 7,
    kControlBackdropColor = 8,
    kControlLittlePlanet = 9,
    kControlInput = 12,
    kControlStepGrid = 13,
    kControlZ = 15,
    kControlPreview = 18,
    kControlGrid = 21,
    kControlAbout = 25,
    kControlSave = 26,
    kControlAnamorphosis = 28,
    kControlZoomIn = 32,    // "+"
    kControlZoomOut = 33,   // "-"
    kControlZoomFull = 34,  // "%"
    kControlLoad = 35,
    kControlLatitude = 37,
    kControlSpin = 39,
    kControlPsdWithSize = 40,
    kControlConstrained = 46,
    kControlFlip = 48,
    kControlOutput = 51,
    kControlQuality = 52,
    kControlLongitude = 57,
    kControlTabs = 59,
    kControlSharpen = 61,
    kControlLego = 64,
    kControlCube = 65,
    kControlIndicatrix = 71,
    kControlDice = 72,
    kControlGlue = 73,
    kControlUndo = 74,
    kControlResetAngles = 75,
    kControlStepGlue = 81,
    kControlFacet = 83,
    kControlTransparentGaps = 90,
    kControlStepOutput = 94,
    kControlStepInput = 97,
    kControlThumbnail = 98,
    kControlInfo = 99,
    kControlFov = 103,
    kControlFaces = 105,
    kControlStepQuality = 110,
    kControlEdges = 118,
    kControlLineColor = 119,
};

// A slider with its edit box.
struct SliderControl {
    int control;
    int edit;
    const char* label;
    float lo, hi;
    float SettingsRecord::*field;
};
// A check box.
struct CheckControl {
    int control;
    const char* label;
    std::int32_t SettingsRecord::*field;
};
// A colour button.
struct ColourControl {
    int control;
    const char* label;
    const char* prompt;
    Rgb16 SettingsRecord::*field;
};
// A drop-down list.
struct ChoiceControl {
    int control;
    const char* label;
    std::int32_t SettingsRecord::*field;
};
// A push button that runs a command.
struct ButtonControl {
    int control;
    const char* text;
    const char* tip;
};

std::span<const SliderControl> sliderControls();
std::span<const CheckControl> checkControls();
std::span<const ColourControl> colourControls();
std::span<const ChoiceControl> choiceControls();
std::span<const ButtonControl> buttonControls();
// The row of a push button (the first row for an unknown control).
const ButtonControl& buttonControl(int control);

// The items of a drop-down list as (value, name), in the list's order: the
// catalogue's inputs and outputs, the glue modes, the grid spacings, the
// preview qualities. Empty for a control that is not a list.
std::vector<std::pair<std::int32_t, std::string>> choiceItems(int control);

// Whether the output's mapping changes with the field of view (probed on a
// grid of output positions; the answer is remembered per output).
bool outputUsesFov(ProjectionId output);
// Whether the output has faces that "F&acet" can export.
bool outputHasFacets(ProjectionId output);

// The preview's zoom and scroll over an image of imageWidth x imageHeight
// shown in an area of areaWidth x areaHeight.
struct PreviewView {
    std::int32_t imageWidth = 1, imageHeight = 1;
    std::int32_t areaWidth = 1, areaHeight = 1;
    std::int32_t fitStep = 1;  // the step at which the whole image fits
    std::int32_t step = 1;     // image pixels per preview pixel
    std::int32_t top = 0, left = 0;

    // The preview's size in preview pixels at the current step.
    std::int32_t width() const;
    std::int32_t height() const;
    // Sizes the view for an image and an area: the fit step, that step, the
    // offsets centred.
    void fit(std::int32_t imageW, std::int32_t imageH, std::int32_t areaW, std::int32_t areaH);
    // The zoom buttons; each keeps the image point at the preview's centre
    // there. False when nothing changed.
    bool zoomOut();   // "-"
    bool zoomIn();    // "+"
    bool zoomFull();  // "%"
    bool zoomFit();   // "Z": the whole image at once
    bool canZoomOut() const { return step < fitStep; }
    bool canZoomIn() const { return step > 1; }
    bool canZoomFull() const { return !(fitStep == 1 && step == 1); }
    bool canZoomFit() const { return step != fitStep; }
    // The text of "%": 100 / step, then a percent sign.
    std::string percentText() const;
    // Scrolls by a pointer move of (dx, dy) preview pixels; false when the
    // offsets stayed.
    bool drag(std::int32_t dx, std::int32_t dy);
    void clamp();

private:
    void setStepKeepingCentre(std::int32_t newStep);
};

// What the widgets have to do after a change.
struct DialogChange {
    bool settings = false;  // the settings changed: re-render the preview
    bool controls = false;  // refresh every control from the settings
    bool dots = false;      // redraw the memory dots
};

class DialogModel {
public:
    // The dialog opens on `opening` (the caller's settings, as the start call
    // left them). `seed` seeds the dice.
    explicit DialogModel(const SettingsRecord& opening, std::uint32_t seed = 1);

    // The opening steps: the undo store records the opening settings (with
    // file), the kept dots are shown, and the opening settings land in the
    // first free dot. `thumbnail` may supply the preview's thumbnail.
    void open(const ThumbnailSource& thumbnail = {});

    const SettingsRecord& settings() const { return settings_; }
    SettingsRecord& settings() { return settings_; }

    // ---- controls ----------------------------------------------------------------
    float sliderValue(int control) const;
    // The slider moved (or its edit box was typed in): the value is clamped
    // to the slider's range. `final` makes the undo record now (a key or a
    // released drag); a drag in progress passes false and ends with endDrag.
    DialogChange setSlider(int control, double value, bool final = true);
    // Typing in an edit box: clamped and stored, the undo record of the
    // settled typing (777) follows with typingSettled.
    DialogChange typeInEdit(int control, double value);
    void typingSettled();
    // Dragging in the preview turns the sphere: a move across the whole
    // preview's width is a full turn of longitude, across its height half a
    // turn of latitude, from the angles the drag started at. The undo record
    // follows with endDrag.
    DialogChange turn(float startLatitude, float startLongitude, double dxFraction, double dyFraction);
    // The end of a drag on a slider or in the preview.
    void endDrag(int control);

    std::int32_t choice(int control) const;
    DialogChange setChoice(int control, std::int32_t value);
    bool checked(int control) const;
    DialogChange setChecked(int control, bool on);
    Rgb16 colour(int control) const;
    DialogChange setColour(int control, Rgb16 colour);

    // A push button: dice, constrained, reset, the stepping buttons, undo,
    // Little Planet. False in `settings` for buttons without an effect here.
    DialogChange press(int control);

    // Presets: load (read in load mode after a reset of the defaults) and
    // save (with `thumbnail`, may be null). Return the file status.
    int loadPreset(const std::string& path);
    int savePresetTo(const std::string& path, const Thumbnail* thumbnail);

    // ---- memory dots -------------------------------------------------------------
    DotClickOutcome clickDot(int dot, bool rightButton, bool ctrlHeld, const ThumbnailSource& thumbnail = {});
    // The pointer rests on dot n / left the dots (the thumbnail shown in 98).
    bool hoverDot(int dot, Thumbnail& shown) { return hoverOverDot(dot, dots_, shown); }
    void leaveDot() { leaveDots(dots_); }
    const MemoryDots& dots() const { return dots_; }
    // A click on the thumbnail control: recalls the current dot (then the
    // settings changed) or says what the widgets are to do.
    ThumbnailClick clickThumbnail(bool rightButton, bool ctrlHeld);
    // The dialog opens before its first preview is drawn, so the opening
    // settings go into their dot without a picture: once the first preview
    // is there, and nothing has changed yet, the dot is written again with
    // its thumbnail. True when it was.
    bool completeOpeningDot(const Thumbnail& thumbnail);
    const DotMap& dotMap() const { return map_; }
    // Writes the map of kept dots (the end of a run).
    void saveDots() const;

    // ---- enabled controls --------------------------------------------------------
    bool enabled(int control) const;

    // ---- ending ------------------------------------------------------------------
    // Cancel: every look setting as it was when the dialog opened.
    void cancel();

    const UndoStore& undoStore() const { return undo_; }
    RandomGenerator& random() { return random_; }

private:
    void record(int control, bool changesSettings, bool dotLeftFilled = false);

    SettingsRecord settings_;
    SettingsSnapshot opening_;
    UndoStore undo_{};
    DotMap map_{};
    MemoryDots dots_{};
    RandomGenerator random_;
    int openingDot_ = -1;  // the dot the opening settings went into, until it has its thumbnail
};

}  // namespace globaro
