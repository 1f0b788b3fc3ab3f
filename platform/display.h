#pragma once
// Whether a window can be opened here, asked before any window toolkit is
// started (a toolkit that finds no display may end the process).

#include <string>

namespace globaro {

// True when a display is reachable: X11 (DISPLAY) or Wayland
// (WAYLAND_DISPLAY), or a window-less Qt platform chosen in
// QT_QPA_PLATFORM (offscreen, minimal, vnc, ...). False with the reason.
bool windowSystemReachable(std::string& why);

}  // namespace globaro
