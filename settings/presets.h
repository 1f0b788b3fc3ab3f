#pragma once
// Preset files (*.q2q): opening, saving, the Little Planet preset and the
// tool that re-saves a folder of presets with fresh thumbnails.

#include <functional>
#include <string>

#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "settings/thumbnail.h"

namespace globaro {

inline constexpr const char* kOpenPresetTitle = "Open a settings file";
inline constexpr const char* kSavePresetTitle = "Save a settings file";
inline constexpr const char* kChooseSourceFolderTitle = "Choose any file in the source folder";
inline constexpr const char* kLittlePlanetName = "little planet.q2q";

// Opens a preset chosen in the open dialog: when the file can be read,
// `resetToDefaults`, then the file in load mode (its thumbnail into
// `*thumbnail` when given); `settingsName` and `settingsFolder` become the
// file's name and folder. A file that cannot be read, or is not a settings
// file, changes nothing.
SettingsReadResult openPreset(const std::string& path, SettingsRecord& record, Thumbnail* thumbnail = nullptr);

// The name the save dialog starts with: `settingsName` without its last extension.
std::string presetSaveName(const SettingsRecord& record);

// Writes the settings with `thumbnail` (may be null) to `path`; on success
// `settingsName` and `settingsFolder` become the file's name and folder.
int savePreset(const std::string& path, SettingsRecord& record, const Thumbnail* thumbnail);

// The "Little Planet" button.
void littlePlanet(SettingsRecord& record);

// Whether a file name takes part in the preset refresh: it contains "q9q"
// or "q5q", compared without regard to case.
bool isRefreshablePresetName(const std::string& name);
// The name a refreshed "q9q" file moves to: without its last extension, plus ".q5q".
std::string refreshedPresetName(const std::string& name);

// Shows `record` (just loaded) in the dialog, renders the preview and takes
// its thumbnail into the second argument; returns false when none was taken.
using PresetRenderer = std::function<bool(SettingsRecord&, Thumbnail&)>;

struct PresetRefreshReport {
    int refreshed = 0;  // files written back
    int renamed = 0;    // "q9q" files moved to their ".q5q" name
    int failed = 0;     // files that could not be read, written or moved
    bool busy = false;  // a refresh was already running; nothing was done
};

// Re-saves every writable file of `folder` whose name qualifies with a fresh
// thumbnail, in the current version, and renames the "q9q" ones. The current
// settings are parked in memory dot 25 meanwhile and come back whole at the
// end (from an in-memory copy of the parked record). `folder` becomes `sourceFolder`. Refuses to start while
// a refresh runs (`renamingPresets`).
PresetRefreshReport refreshPresetFolder(const std::string& folder, SettingsRecord& record,
                                        const PresetRenderer& render);

}  // namespace globaro
