#pragma once
// The module's dialog step. The module carries no window toolkit (it stays a
// lean library an editor loads); when a run asks for the dialog it starts the
// dialog program installed beside it, `globaro-gui`, on a copy of the image
// in its settings-editing mode: the settings go to the program in a settings
// file in the temporary folder, and come back in the same file when the user
// ends the dialog with OK.

#include <string>

#include "render/render_session.h"
#include "settings/settings_record.h"

namespace globaro {

enum class ModuleDialogOutcome {
    kAccepted,     // OK: the settings are the ones the user chose
    kCancelled,    // Cancel: nothing is to be rendered
    kUnavailable,  // no display, no program, or the program failed: `why` says
    kFailed,       // OK, but the choice cannot be read back: `why` says
};

// The dialog program: `globaro-gui` in the module file's folder, unless a
// path was set (an empty path restores that).
std::string moduleDialogProgram();
void setModuleDialogProgram(const std::string& path);

// Writes level 0 of `pyramid` as a binary PNM picture (grey: PGM, else PPM;
// 8 bits when the level keeps bytes, else 16) that the dialog opens. False
// with the reason when it cannot be written (nothing is left behind).
bool writeDialogImage(const ImagePyramid& pyramid, bool grey, const std::string& path, std::string& why);

// Runs the dialog on the loaded input of `session` with `settings`; on
// kAccepted `settings` holds the user's choice. The temporary files are
// removed whatever the outcome.
ModuleDialogOutcome runModuleDialog(const RenderSession& session, bool grey, SettingsRecord& settings,
                                    std::string& why);

}  // namespace globaro
