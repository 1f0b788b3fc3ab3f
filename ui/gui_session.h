#pragma once
// The dialog as a program of its own (`globaro-gui`, started by `globaro gui`
// and `globaro render ... --dialog`): opens an image, shows the filter
// dialog, and on OK has `globaro render` write the result with the settings
// the user chose, so that the file is exactly what the command line makes.

#include <string>
#include <vector>

#include "settings/settings_record.h"

class QWidget;

namespace globaro {

// Exit statuses of the dialog program.
inline constexpr int kGuiOk = 0;
inline constexpr int kGuiFailed = 1;
inline constexpr int kGuiUsage = 2;
inline constexpr int kGuiCancelled = 3;  // the user closed the dialog with Cancel

// Whether a window can be opened here: a display (X11 or Wayland) or a
// window-less platform chosen for Qt. False with the reason otherwise.
bool windowsAvailable(std::string& why);

// The settings a dialog opens with when nothing is given: the defaults, then
// the settings of the last successful run (when there was one).
void openingSettings(SettingsRecord& settings);

// A program that sits beside this one (`globaro`), by name.
std::string siblingProgram(const std::string& name);

// Runs the `globaro` program beside this one with `args`, showing a progress
// box owned by `owner` that follows the "layer N of M" lines the command
// prints; Cancel in the box stops the command, which then leaves nothing
// half-written. Returns kGuiOk, kGuiCancelled, or kGuiFailed with the
// program's own one-line reason in `error`.
int runGlobaro(QWidget* owner, const std::vector<std::string>& args, std::string& error);

// Runs `globaro render INPUT OUTPUT --preset <settings> --quiet` with a
// progress box owned by `owner`; Cancel in the box stops the render, which
// then writes nothing. Returns kGuiOk, kGuiCancelled, or kGuiFailed with
// the program's own one-line reason in `error`.
int renderWithSettings(QWidget* owner, const std::string& input, const std::string& output, SettingsRecord& settings,
                       std::string& error);

// The whole program: arguments, the dialog, the render.
int runGui(int argc, char** argv);

}  // namespace globaro
