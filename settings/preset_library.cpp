#include "settings/preset_library.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/temp_folder.h"
#include "platform/user_folders.h"
#include "settings/settings_file.h"

namespace globaro {

namespace {

bool endsWithExtension(const std::string& name) {
    const std::string extension = kPresetExtension;
    if (name.size() <= extension.size()) return false;
    for (std::size_t i = 0; i < extension.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[name.size() - extension.size() + i]);
        if (std::tolower(c) != extension[i]) return false;
    }
    return true;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace

bool isPresetName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && fileNameOf(name) == name;
}

std::string presetFileName(const std::string& name) { return endsWithExtension(name) ? name : name + kPresetExtension; }

std::string presetPath(const std::string& name) {
    const std::string folder = presetFolder();
    if (folder.empty() || !isPresetName(name)) return {};
    return folder + presetFileName(name);
}

std::string findPreset(const std::string& nameOrPath) {
    // Whatever is there is the user's file; its reader says what is wrong with it.
    if (exists(nameOrPath)) return nameOrPath;
    const std::string saved = presetPath(nameOrPath);
    return !saved.empty() && exists(saved) ? saved : std::string();
}

std::vector<PresetEntry> listPresets() {
    std::vector<PresetEntry> presets;
    const std::string folder = presetFolder();
    if (folder.empty()) return presets;
    for (const FolderEntry& entry : listFolder(folder)) {
        if (entry.isDirectory || !endsWithExtension(entry.name)) continue;
        presets.push_back({withoutLastExtension(entry.name), folder + entry.name});
    }
    return presets;
}

}  // namespace globaro
