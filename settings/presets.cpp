#include "settings/presets.h"

#include <cctype>
#include <cstring>

#include "platform/temp_folder.h"
#include "settings/memory_dots.h"

namespace globaro {

namespace {

bool containsNoCase(const std::string& text, const char* part) {
    const std::size_t n = std::char_traits<char>::length(part);
    if (n == 0) return true;
    for (std::size_t i = 0; i + n <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < n && std::tolower(static_cast<unsigned char>(text[i + k])) ==
                            std::tolower(static_cast<unsigned char>(part[k])))
            ++k;
        if (k == n) return true;
    }
    return false;
}

void nameFromPath(SettingsRecord& record, const std::string& path) {
    setName(record.settingsName, fileNameOf(path).c_str());
    setName(record.settingsFolder, folderOf(path).c_str());
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    return folder + "/" + name;
}

}  // namespace

SettingsReadResult openPreset(const std::string& path, SettingsRecord& record, Thumbnail* thumbnail) {
    std::vector<std::uint8_t> bytes;
    SettingsReadResult result;
    result.status = readWholeFile(path, kSettingsFileLimit, bytes);
    if (result.status != kFileOk) return result;
    SettingsRecord work = record;
    resetToDefaults(work);
    result = decodeSettings(bytes, SettingsReadMode::kLoad, work, thumbnail);
    if (result.status != kFileOk) return result;
    nameFromPath(work, path);
    record = work;
    return result;
}

std::string presetSaveName(const SettingsRecord& record) {
    return withoutLastExtension(std::string(record.settingsName, strnlen(record.settingsName, kNameCapacity)));
}

int savePreset(const std::string& path, SettingsRecord& record, const Thumbnail* thumbnail) {
    const int status = writeSettingsFile(path, record, thumbnail);
    if (status == kFileOk) nameFromPath(record, path);
    return status;
}

void littlePlanet(SettingsRecord& r) {
    r.inputProjection = 1;
    r.outputProjection = 16;
    setComputedLatitude(r, -90.0f);
    setComputedLongitude(r, 0.0f);
    setComputedSpin(r, 0.0f);
    setComputedFov(r, 110.0f);
    r.flip = 0;
    r.glue = 1;
    r.gridLegacy = 0;
    r.indicatrix = 0;
    r.edges = 0;
    r.anamorphosis = 0;
    r.grid = 1;
    setName(r.settingsName, kLittlePlanetName);
}

bool isRefreshablePresetName(const std::string& name) {
    return containsNoCase(name, "q9q") || containsNoCase(name, "q5q");
}

std::string refreshedPresetName(const std::string& name) { return withoutLastExtension(name) + ".q5q"; }

PresetRefreshReport refreshPresetFolder(const std::string& folder, SettingsRecord& record,
                                        const PresetRenderer& render) {
    PresetRefreshReport report;
    if (record.renamingPresets != 0) {
        report.busy = true;
        return report;
    }
    record.renamingPresets = 1;
    setName(record.sourceFolder, folder.c_str());
    // Parked in dot 25 as always, and kept here too, so that the settings
    // come back whole even when the temporary folder cannot be written.
    const SettingsRecord parked = record;
    SettingsRecord toFile = record;
    writeSettingsFile(dotPath(kScratchDot), toFile, nullptr);

    // The listing is taken first: renamed files must not come round again.
    for (const FolderEntry& entry : listFolder(folder)) {
        if (entry.isDirectory || entry.readOnly || !isRefreshablePresetName(entry.name)) continue;
        const std::string path = joinPath(folder, entry.name);
        SettingsRecord work = record;
        resetToDefaults(work);
        if (readSettingsFile(path, SettingsReadMode::kLoad, work, nullptr).status != kFileOk) {
            ++report.failed;
            continue;
        }
        setName(work.settingsName, entry.name.c_str());
        record = work;
        Thumbnail thumbnail;
        const bool have = render && render(record, thumbnail) && !thumbnail.empty();
        if (writeSettingsFile(path, record, have ? &thumbnail : nullptr) != kFileOk) {
            ++report.failed;
            continue;
        }
        ++report.refreshed;
        if (containsNoCase(entry.name, "q9q")) {
            if (moveFile(path, joinPath(folder, refreshedPresetName(entry.name))))
                ++report.renamed;
            else
                ++report.failed;
        }
    }

    record = parked;
    record.renamingPresets = 0;
    return report;
}

}  // namespace globaro
