#pragma once
// The dialog from the command line: `globaro gui [IMAGE]` and
// `globaro render IN OUT --dialog` start the dialog program (globaro-gui,
// beside this one), so that `globaro` itself never needs a window system.

#include <string>
#include <vector>

#include "app/run_settings.h"

namespace globaro {

// What the dialog program answers (see ui/gui_session.h).
inline constexpr int kDialogCancelled = 3;

// Runs globaro-gui with `args` and waits for it. Returns its exit status, or
// 1 after one line on standard error when it cannot be started.
int runDialogProgram(const std::vector<std::string>& args);

// For `render IN OUT --dialog`: the run's settings (defaults, preset,
// options) go into a settings file in the temporary folder and the dialog
// opens on `input` with them; after OK, `run` names that file as its preset
// (and nothing else), so that the render goes on with what the user chose.
// Returns 0, or an exit status after one line on standard error (Cancel:
// 1, saying that `output` was not written). `settingsFile` receives the
// file's path, to be removed by the caller after the render.
int editRunSettingsInDialog(const std::string& input, const std::string& output, RunSettingsOptions& run,
                            std::string& settingsFile);

}  // namespace globaro
