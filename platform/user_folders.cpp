#include "platform/user_folders.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/temp_folder.h"

namespace globaro {

namespace {

// An environment variable that holds an absolute path (XDG ignores relative ones).
std::string absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] == '\0') return {};
#ifdef _WIN32
    return std::filesystem::path(value).is_absolute() ? std::string(value) : std::string();
#else
    return value[0] == '/' ? std::string(value) : std::string();
#endif
}

std::string withSeparator(std::string folder) {
#ifdef _WIN32
    if (folder.back() != '\\' && folder.back() != '/') folder.push_back('\\');
#else
    if (folder.back() != '/') folder.push_back('/');
#endif
    return folder;
}

// $VARIABLE/tail, else $HOME/homeTail/tail; empty when neither is set.
std::string xdgFolder(const char* variable, const char* homeTail, const char* tail) {
    std::string base = absoluteFromEnvironment(variable);
    if (base.empty()) {
        const std::string home = absoluteFromEnvironment("HOME");
        if (home.empty()) return {};
        base = withSeparator(home) + homeTail;
    }
    return withSeparator(base) + tail;
}

}  // namespace

bool makeFolders(const std::string& folder, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (std::filesystem::is_directory(folder)) return true;
    error = "cannot create the folder \"" + folder +
            "\": " + (ec ? ec.message() : std::string("a file of that name is in the way"));
    return false;
}

std::string stateFolder() {
#ifdef _WIN32
    return tempFolder();
#else
    const std::string folder = xdgFolder("XDG_STATE_HOME", ".local/state", "globaro2/");
    if (folder.empty()) return tempFolder();
    // Made here so that every writer finds it; one that cannot be made is
    // reported by the write that fails.
    std::string ignored;
    makeFolders(folder, ignored);
    return folder;
#endif
}

std::string presetFolder() {
#ifdef _WIN32
    const std::string appData = absoluteFromEnvironment("APPDATA");
    return appData.empty() ? std::string() : withSeparator(appData) + "Globaro 2\\presets\\";
#else
    return xdgFolder("XDG_CONFIG_HOME", ".config", "globaro2/presets/");
#endif
}

}  // namespace globaro
