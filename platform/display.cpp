#include "platform/display.h"

#include <cstdlib>

namespace globaro {

bool windowSystemReachable(std::string& why) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::string chosen = platform != nullptr ? platform : "";
    if (!chosen.empty() && chosen.rfind("xcb", 0) != 0 && chosen.rfind("wayland", 0) != 0) return true;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display != nullptr && *display != '\0') || (wayland != nullptr && *wayland != '\0')) return true;
    why = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return false;
}

}  // namespace globaro
