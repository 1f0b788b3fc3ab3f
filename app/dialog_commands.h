#pragma once
// The dialog's commands without a window, for scripts: where a run's
// settings start (the last run's, a saved preset, "Little Planet", a random
// view), `globaro preset save|list` and `globaro dots list|park|recall|clear`.

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <string>

#include "settings/settings_file.h"
#include "settings/settings_record.h"

namespace globaro {

struct RunSettingsOptions;

// Adds --last, --little-planet, --random, --constrained and --seed.
void addStartingPointOptions(CLI::App& command, RunSettingsOptions& options);

// Once the command line is parsed: refuses combinations that contradict
// each other (throws CLI::ValidationError) and fixes the seed of a random
// view that was given none, so that every later build of the settings
// draws the same view.
void settleStartingPoint(RunSettingsOptions& options);

// The settings before the setting options change them: the last run's
// (--last) or a preset's (--preset, by path or by saved name) read over
// `settings`, then "Little Planet", then the random view. False with one
// line naming the file when a file cannot be used.
bool loadStartingSettings(const RunSettingsOptions& options, SettingsRecord& settings, std::string& error);

// Why a settings file could not be used, from the status of its read.
std::string settingsFileProblem(const std::string& path, const SettingsReadResult& read);

// Every run of the filter replaces the cached settings of the last run and
// the memory-dot map. Before it, a cached settings file that cannot be read
// as settings, or a map that is not one, is kept: it is moved to a free name
// beside it ("… .damaged", "… .damaged-2", …) and a line saying so goes to
// `warnings`.
void setAsideDamagedState(std::ostream& warnings);

// Whether the file at `path` is a memory-dot map: the word 48 and 25 words.
bool dotMapIsWellFormed(const std::string& path);

namespace cli {

// `globaro preset …` and `globaro dots …`.
class DialogCommands {
public:
    explicit DialogCommands(CLI::App& app);
    DialogCommands(const DialogCommands&) = delete;
    DialogCommands& operator=(const DialogCommands&) = delete;
    ~DialogCommands();

    // Whether one of the commands was given; run it, returning the exit status.
    bool parsed() const;
    int run() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace cli
}  // namespace globaro
