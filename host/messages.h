#pragma once
// Messages to the user. Without a dialog toolkit the module writes them to the
// standard error stream, one line each, where the standalone host shows them;
// the filter dialog installs a handler that shows them as message boxes.

namespace globaro {

using MessageHandler = void (*)(const char* title, const char* text);

void showMessage(const char* title, const char* text);
// Installs `handler` (null restores the standard error stream). Returns the
// handler that was installed before.
MessageHandler setMessageHandler(MessageHandler handler);

// Texts of the module's refusals.
inline constexpr const char* kPluginErrorTitle = "Plug-in error";
inline constexpr const char* kRefusalOldHost =
    "The filter cannot run because your paint program does not support enough of the Photoshop 3.0 plug-in "
    "standard.";
inline constexpr const char* kRefusalMultichannel =
    "The filter cannot handle multichannel images, only greyscale and RGB.";

}  // namespace globaro
