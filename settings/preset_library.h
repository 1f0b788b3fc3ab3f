#pragma once
// The user's saved presets: the files of the preset folder (see
// presetFolder), found by name as well as by path.

#include <string>
#include <vector>

namespace globaro {

// A preset name is a plain file name: not empty, no folder separator, not
// "." or "..".
bool isPresetName(const std::string& name);

// The file name of a preset: the name with ".q2q" added unless it ends so
// already (compared without regard to case).
std::string presetFileName(const std::string& name);

// Where the preset `name` is saved: the preset folder plus its file name;
// empty when the name is not a preset name or there is no preset folder.
std::string presetPath(const std::string& name);

// The file `nameOrPath` stands for: the path itself when anything is there,
// else the saved preset of that name when there is one, else empty.
std::string findPreset(const std::string& nameOrPath);

struct PresetEntry {
    std::string name;  // without ".q2q"
    std::string path;
};

// The presets of the preset folder (its files ending in ".q2q"), sorted by
// name; empty when the folder is missing.
std::vector<PresetEntry> listPresets();

}  // namespace globaro
