#pragma once
// How the standalone host tells the filter what to do: like an editor
// replaying a recorded action, it hands the module a scripting descriptor
// with the settings, and play information that says whether to show the
// dialog. The settings come from the defaults, an optional preset file and
// the command-line options, or from a recorded action file.

#include <CLI/CLI.hpp>

#include <optional>
#include <ostream>
#include <string>

#include "app/descriptor_store.h"
#include "export/iptc.h"
#include "settings/settings_record.h"

namespace globaro {

struct RunSettingsOptions {
    std::string preset;          // a .q2q settings file to start from
    std::string action;          // a recorded action to replay instead
    std::string record;          // where to save what the run recorded
    std::optional<bool> dialog;  // ask for the dialog (default: no; an action's own choice)

    // Where the settings start before the options below change them: the
    // last render's (instead of a preset's), then "Little Planet", then a
    // random view drawn from `seed`.
    enum class RandomView : std::uint8_t { kNone, kDice, kConstrained };
    bool last = false;
    bool littlePlanet = false;
    RandomView random = RandomView::kNone;
    std::optional<std::uint32_t> seed;

    std::optional<InputProjectionId> input;
    std::optional<ProjectionId> output;
    std::optional<float> latitude, longitude, spin, fov, tabs, sharpen;
    std::optional<std::int32_t> glue, grid;
    std::optional<bool> flip, anamorphosis, transparentGaps, faces, edges, indicatrix, dehalo;
    std::optional<Rgb16> lineColor, tabColor, backdropColor;

    bool anySetting() const;
};

// The check of a number option: a finite number in lo..hi ("nan" and "inf"
// are refused, which CLI::Range lets through). The message names the value
// and the range; the parser puts the option's name before it.
CLI::Validator finiteNumber(double lo, double hi);

// Adds the setting options (--input, --output, --lat, ... --preset, --last,
// --little-planet, --random, --action, --record, --dialog) to a command.
void addRunSettingsOptions(CLI::App& command, RunSettingsOptions& options);

// The settings a run starts from: defaults, then the preset or the last
// render's settings, "Little Planet" and the random view, then the options.
// A file that is missing, unreadable or damaged fails with one line naming
// it and the reason.
bool buildRunSettings(const RunSettingsOptions& options, SettingsRecord& settings, std::string& error);

// Offers the run's descriptor to the module through `store`. Fails (with a
// one-line reason) when the preset or action file cannot be used; combining
// --action with setting options is refused by the parser already.
bool offerRunDescriptor(const RunSettingsOptions& options, DescriptorStore& store, std::string& error);

// Offers `settings` to the module as the run's descriptor, with the play
// information `playInfo` (whether to show the dialog).
bool offerSettingsDescriptor(SettingsRecord& settings, std::int16_t playInfo, DescriptorStore& store,
                             std::string& error);

// The output projection the run will render: the settings of the options or
// of the action file, as the module will read them. False (with a one-line
// reason) when the preset or action file cannot be used.
bool runOutputProjection(const RunSettingsOptions& options, ProjectionId& output, std::string& error);
// The same for all of the settings (reset first).
bool readRunSettings(const RunSettingsOptions& options, SettingsRecord& settings, std::string& error);

// Once per command, before its first run of the filter with `options`: a
// successful run replaces the cached settings and the dot map, so damaged
// ones are set aside first (setAsideDamagedState). Settings that cannot be
// read (a damaged file under --last among them) are left alone: the run
// refuses them before it writes anything.
void setAsideDamagedStateBeforeRuns(const RunSettingsOptions& options, std::ostream& warnings);

// The keywords of the settings the run will render with, for the keyword
// record of the files that carry one; empty when the settings cannot be read.
KeywordList runKeywords(const RunSettingsOptions& options);

// Parses "#d7acdc", "d7acdc" or "#fff" into a colour.
std::optional<Rgb16> parseHexColor(std::string_view text);

}  // namespace globaro
