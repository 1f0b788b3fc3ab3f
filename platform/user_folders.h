#pragma once
// Where the filter keeps what outlives a run: its state (the cached
// settings of the last run, the memory dots and their map) and the user's
// saved presets.

#include <string>

namespace globaro {

// The folder of the state files, with a trailing separator, created when
// missing (as far as it can be). On Linux $XDG_STATE_HOME/globaro2/ (an
// absolute XDG_STATE_HOME only), else $HOME/.local/state/globaro2/, else
// the temporary folder. On Windows the temporary folder. Looked up on every
// call.
std::string stateFolder();

// The folder of saved presets, with a trailing separator, not created. On
// Linux $XDG_CONFIG_HOME/globaro2/presets/ (an absolute XDG_CONFIG_HOME
// only), else $HOME/.config/globaro2/presets/; on Windows
// %APPDATA%\Globaro 2\presets\. Empty when none of these is set.
std::string presetFolder();

// Creates a folder and any missing parents. False (with a one-line reason in
// `error`) when the folder does not exist afterwards.
bool makeFolders(const std::string& folder, std::string& error);

}  // namespace globaro
