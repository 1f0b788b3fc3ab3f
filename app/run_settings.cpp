#include "app/run_settings.h"

#include "app/dialog_commands.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "app/catalogue_commands.h"
#include "host/scripting_parameters.h"
#include "projection/catalogue.h"
#include "render/blend_modes.h"
#include "settings/filter_data.h"
#include "settings/settings_fields.h"
#include "settings/settings_file.h"

namespace globaro {

namespace {

// Graticule spacings in degrees, in the numbering of the `grid` setting (1..7).
constexpr std::array<const char*, 7> kGridSpacings = {"none", "5", "6", "10", "15", "30", "45"};

std::optional<std::int32_t> parseGlue(const std::string& text) {
    for (BlendMode mode = 1; mode <= kBlendModeCount; ++mode) {
        if (text == blendModeName(mode) || text == std::to_string(mode)) return mode;
    }
    return std::nullopt;
}

// `refusal` (when given) says why a text is refused.
template <typename T, typename Parse>
void addParsed(CLI::App& command, const std::string& name, std::optional<T>& target, const std::string& help,
               Parse parse, const std::string& typeName, std::string (*refusal)(std::string_view) = nullptr) {
    command
        .add_option_function<std::string>(
            name,
            [&target, parse, name, refusal](const std::string& text) {
                auto value = parse(text);
                if (!value)
                    throw CLI::ValidationError(name, refusal ? refusal(text) : "\"" + text + "\" is not valid here");
                target = *value;
            },
            help)
        ->type_name(typeName);
}

std::string numberText(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

// A number option whose range is the settings field's: the help names it,
// and a value outside it is refused.
// A number option of a settings field; `sign` -1 stores the value negated
// (for a name whose angle turns the other way).
template <typename T>
CLI::Option* addNumber(CLI::App& command, const std::string& name, std::optional<T>& target, const char* field,
                       const std::string& help, const std::string& typeName = "DEGREES", double sign = 1.0) {
    const FieldRange range = findSettingsField(field)->range;
    return command
        .add_option_function<double>(
            name, [&target, sign](double v) { target = static_cast<T>(sign * v); },
            help + ", " + numberText(range.lo) + ".." + numberText(range.hi))
        ->check(finiteNumber(range.lo, range.hi))
        ->type_name(typeName);
}

void addSwitch(CLI::App& command, const std::string& name, std::optional<bool>& target, const std::string& help) {
    command.add_flag_function(
        name, [&target](std::int64_t count) { target = count > 0; }, help);
}

}  // namespace

CLI::Validator finiteNumber(double lo, double hi) {
    const std::string range = numberText(lo) + ".." + numberText(hi);
    return CLI::Validator(
        [lo, hi, range](std::string& text) -> std::string {
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v))
                return "\"" + text + "\" is not a number in " + range;
            if (v < lo || v > hi) return text + " is outside " + range;
            return {};
        },
        range);
}

std::optional<Rgb16> parseHexColor(std::string_view text) {
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    if (text.size() != 6 && text.size() != 3) return std::nullopt;
    unsigned values[3] = {};
    const std::size_t digits = text.size() / 3;
    for (int channel = 0; channel < 3; ++channel) {
        unsigned v = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            const char c = text[channel * digits + i];
            if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
            v = v * 16 + static_cast<unsigned>(
                             std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
        }
        values[channel] = digits == 1 ? v * 17 : v;
    }
    return Rgb16::from8(static_cast<std::uint8_t>(values[0]), static_cast<std::uint8_t>(values[1]),
                        static_cast<std::uint8_t>(values[2]));
}

bool RunSettingsOptions::anySetting() const {
    return !preset.empty() || last || littlePlanet || random != RandomView::kNone || input || output || latitude ||
           longitude || spin || fov || tabs || sharpen || glue || grid || flip || anamorphosis || transparentGaps ||
           faces || edges || indicatrix || dehalo || lineColor || tabColor || backdropColor;
}

void addRunSettingsOptions(CLI::App& command, RunSettingsOptions& o) {
    addParsed(
        command, "--input", o.input, "Input projection, id or name (letter case does not matter)",
        [](const std::string& t) { return findInputProjection(t); }, "ID|NAME", &cli::unknownInputText);
    addParsed(
        command, "--output", o.output, "Output projection, id or name (letter case does not matter)",
        [](const std::string& t) { return findOutputProjection(t); }, "ID|NAME", &cli::unknownOutputText);
    CLI::Option* lat = addNumber(command, "--lat", o.latitude, "latitude", "Latitude of the view (up positive)");
    CLI::Option* lon =
        addNumber(command, "--lon", o.longitude, "longitude", "Longitude of the view (to the right positive)");
    CLI::Option* spin = addNumber(command, "--spin", o.spin, "spin", "Spin about the view axis (clockwise positive)");
    // The names of video tools (ffmpeg's v360 filter among them): yaw and
    // pitch are the longitude and the latitude; roll turns the other way
    // from the spin.
    addNumber(command, "--yaw", o.longitude, "longitude", "Yaw: the same as --lon")->excludes(lon);
    addNumber(command, "--pitch", o.latitude, "latitude", "Pitch: the same as --lat")->excludes(lat);
    addNumber(command, "--roll", o.spin, "spin", "Roll: the spin turned the other way (--roll 10 is --spin -10)",
              "DEGREES", -1.0)
        ->excludes(spin);
    addNumber(command, "--fov", o.fov, "fov", "Field of view");
    addNumber(command, "--tabs", o.tabs, "tabs", "Glue tab size", "SIZE");
    addNumber(command, "--sharpen", o.sharpen, "sharpen", "Sharpening", "AMOUNT");
    addParsed(command, "--glue", o.glue, "Glue (blend) mode, id or name (see globaro list glue)", parseGlue, "ID|NAME");
    addParsed(
        command, "--grid", o.grid, "Graticule spacing: none, 5, 6, 10, 15, 30 or 45 degrees",
        [](const std::string& t) -> std::optional<std::int32_t> {
            for (std::size_t i = 0; i < kGridSpacings.size(); ++i)
                if (t == kGridSpacings[i]) return static_cast<std::int32_t>(i + 1);
            return std::nullopt;
        },
        "SPACING");
    addSwitch(command, "--flip", o.flip, "Mirror the input");
    addSwitch(command, "--anamorph", o.anamorphosis, "Anamorphosis");
    command.add_flag_function(
        "--transparent-gaps", [&o](std::int64_t) { o.transparentGaps = true; },
        "Leave pixels outside the projection transparent (the default)");
    command.add_flag_function(
        "--opaque-gaps", [&o](std::int64_t) { o.transparentGaps = false; },
        "Fill pixels outside the projection with the backdrop colour");
    addSwitch(command, "--faces", o.faces, "Colour the faces of polyhedral outputs");
    addSwitch(command, "--edges", o.edges, "Draw edges");
    addSwitch(command, "--indicatrix", o.indicatrix, "Draw the indicatrix");
    addSwitch(command, "--dehalo", o.dehalo, "De-halo");
    addParsed(command, "--line-color", o.lineColor, "Line colour, hex RGB", parseHexColor, "RRGGBB");
    addParsed(command, "--tab-color", o.tabColor, "Glue tab colour, hex RGB", parseHexColor, "RRGGBB");
    addParsed(command, "--backdrop-color", o.backdropColor, "Backdrop colour, hex RGB", parseHexColor, "RRGGBB");
    // Missing or damaged files are the run's to report (status 1, one line
    // naming the file), like the images.
    command.add_option("--preset", o.preset, "Start from a preset: a .q2q file, or the name of a saved one");
    addStartingPointOptions(command, o);
    command.add_option("--action", o.action, "Replay a recorded action file (JSON)");
    command.add_option("--record", o.record, "Record the run's settings as an action file (JSON)");
    command.add_flag_function(
        "--dialog", [&o](std::int64_t) { o.dialog = true; }, "Ask for the filter's dialog");
    command.add_flag_function(
        "--no-dialog", [&o](std::int64_t) { o.dialog = false; }, "Do not ask for the filter's dialog");
    command.parse_complete_callback([&o] {
        settleStartingPoint(o);
        if (!o.action.empty() && o.anySetting())
            throw CLI::ValidationError("--action",
                                       "replays recorded settings and cannot be combined with setting options");
    });
}

bool buildRunSettings(const RunSettingsOptions& o, SettingsRecord& s, std::string& error) {
    s = SettingsRecord{};
    resetRunState(s);
    resetToDefaults(s);
    resetExportOptions(s);
    if (!loadStartingSettings(o, s, error)) return false;
    if (o.input) s.inputProjection = *o.input;
    if (o.output) s.outputProjection = *o.output;
    if (o.latitude) setComputedLatitude(s, *o.latitude);
    if (o.longitude) setComputedLongitude(s, *o.longitude);
    if (o.spin) setComputedSpin(s, *o.spin);
    if (o.fov) setComputedFov(s, *o.fov);
    if (o.tabs) {
        s.tabs = *o.tabs;
        s.tabsInteger = static_cast<std::int32_t>(*o.tabs);
    }
    if (o.sharpen) {
        s.sharpen = *o.sharpen;
        s.sharpeningInteger = static_cast<std::int32_t>(*o.sharpen);
    }
    if (o.glue) s.glue = *o.glue;
    if (o.grid) s.grid = s.gridLegacy = *o.grid;
    auto flag = [](const std::optional<bool>& v, std::int32_t& field) {
        if (v) field = *v ? 1 : 0;
    };
    flag(o.flip, s.flip);
    flag(o.anamorphosis, s.anamorphosis);
    flag(o.transparentGaps, s.transparentGaps);
    flag(o.faces, s.faces);
    flag(o.edges, s.edges);
    flag(o.indicatrix, s.indicatrix);
    flag(o.dehalo, s.dehalo);
    if (o.lineColor) s.lineColor = *o.lineColor;
    if (o.tabColor) s.tabColor = *o.tabColor;
    if (o.backdropColor) s.backdropColor = *o.backdropColor;
    return true;
}

bool offerRunDescriptor(const RunSettingsOptions& o, DescriptorStore& store, std::string& error) {
    const std::int16_t playInfo = o.dialog.value_or(false) ? plugInDialogDisplay : plugInDialogDontDisplay;
    if (!o.action.empty()) {
        if (o.anySetting()) {
            error = "--action replays recorded settings and cannot be combined with setting options";
            return false;
        }
        if (!offerActionFile(store, o.action, error)) return false;
        if (o.dialog && store.current() != nullptr) {
            const RecordedDescriptor recorded = *store.current();
            store.offer(recorded, playInfo);
        }
        return true;
    }
    SettingsRecord settings;
    if (!buildRunSettings(o, settings, error)) return false;
    return offerSettingsDescriptor(settings, playInfo, store, error);
}

bool offerSettingsDescriptor(SettingsRecord& settings, std::int16_t playInfo, DescriptorStore& store,
                             std::string& error) {
    // The module's own descriptor writer turns the settings into the
    // descriptor it will read back, key by key.
    FilterRecord record{};
    record.descriptorParameters = &store.parameters();
    if (!writeDescriptor(&record, settings) || store.current() == nullptr) {
        error = "the settings could not be handed to the filter";
        return false;
    }
    const RecordedDescriptor written = *store.current();
    store.offer(written, playInfo);
    return true;
}

bool readRunSettings(const RunSettingsOptions& o, SettingsRecord& settings, std::string& error) {
    DescriptorStore store;
    if (!offerRunDescriptor(o, store, error)) return false;
    // Read back as the module reads it at the start of the run.
    FilterRecord record{};
    record.descriptorParameters = &store.parameters();
    resetToDefaults(settings);
    auto data = std::make_unique<FilterData>();
    std::memset(static_cast<void*>(data.get()), 0, sizeof(FilterData));
    readDescriptor(&record, settings, *data);
    return true;
}

bool runOutputProjection(const RunSettingsOptions& o, ProjectionId& output, std::string& error) {
    auto settings = std::make_unique<SettingsRecord>();
    if (!readRunSettings(o, *settings, error)) return false;
    output = settings->outputProjection;
    return true;
}

void setAsideDamagedStateBeforeRuns(const RunSettingsOptions& o, std::ostream& warnings) {
    auto settings = std::make_unique<SettingsRecord>();
    if (std::string error; readRunSettings(o, *settings, error)) setAsideDamagedState(warnings);
}

KeywordList runKeywords(const RunSettingsOptions& o) {
    KeywordList keywords;
    auto settings = std::make_unique<SettingsRecord>();
    std::string error;  // settings that cannot be read are the run's to report
    if (!readRunSettings(o, *settings, error)) return keywords;
    settings->exportKind = kExportThumbnail;  // what every start of a run sets
    addSettingsKeywords(keywords, *settings);
    return keywords;
}

}  // namespace globaro
