#pragma once
// The settings file: big-endian 32-bit words, version 48, with an optional
// JPEG thumbnail. Presets, the cached settings, memory dots and undo files
// all use it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/temp_folder.h"
#include "settings/settings_record.h"
#include "settings/thumbnail.h"

namespace globaro {

// Words of a version-48 file without thumbnail (396 bytes).
inline constexpr std::size_t kSettingsFileWords = 99;
// The reader looks at no more than this many bytes of a file.
inline constexpr std::size_t kSettingsFileLimit = 16u << 20;
// Old-style thumbnail blocks (versions 22 to 39) hold at most this side.
inline constexpr int kOldThumbnailMaxSide = 128;
// Bytes skipped for an old-style thumbnail block of an unknown kind.
inline constexpr std::size_t kOldThumbnailSkip = 12288;

// Result code of a file that is not a settings file this reader knows: its
// first word is not a version from 1 to 48, or it is shorter than one word.
inline constexpr int kSettingsFileUnknown = -39;

// Preset files.
inline constexpr const char* kPresetExtension = ".q2q";
inline constexpr const char* kPresetFilterText = "Globaro 2 presets (*.q2q)";
inline constexpr const char* kPresetFilterPattern = "*.q2q";

enum class SettingsReadMode : std::uint8_t {
    kLoad,       // store every field, convert older versions, sync angles, clamp
    kThumbnail,  // drop the words; decode only the thumbnail
};

struct SettingsReadResult {
    int status = 0;             // kFileOk, kFileNotFound, kFileReadFailed or kSettingsFileUnknown
    bool hasThumbnail = false;  // a thumbnail was present and has been decoded
    bool complete = false;      // false when the data ended before the version's last field
    std::int32_t version = 0;   // the version word of the file (0 when unknown)
};

// The words of a version-48 settings file for `record` (whose `version`
// field is ignored). The thumbnail block carries `thumbnail` when it is
// given and not empty, else it is the single word 0.
std::vector<std::uint8_t> encodeSettings(const SettingsRecord& record, const Thumbnail* thumbnail);

// Reads settings-file bytes. In load mode the fields present for the file's
// version are stored into `record` (fields the data do not reach keep their
// values), older versions are converted, then `syncAnglesFromIntegers` and
// `clampToRanges` run. In thumbnail mode `record` is left alone. The
// thumbnail is decoded into `*thumbnail` when it is given. A result whose
// status is not kFileOk has changed nothing.
SettingsReadResult decodeSettings(std::span<const std::uint8_t> bytes, SettingsReadMode mode, SettingsRecord& record,
                                  Thumbnail* thumbnail);

// Sets `record.version` to 48 and writes the file (replacing it whole).
// Returns kFileOk, kFileNotFound when the file cannot be created, or
// kFileWriteFailed (-20).
int writeSettingsFile(const std::string& path, SettingsRecord& record, const Thumbnail* thumbnail);

// Reads a settings file as `decodeSettings` does. When it cannot be opened,
// the status says so and nothing changes.
SettingsReadResult readSettingsFile(const std::string& path, SettingsReadMode mode, SettingsRecord& record,
                                    Thumbnail* thumbnail);

// Reads only the thumbnail of a settings file (thumbnail mode).
SettingsReadResult readSettingsThumbnail(const std::string& path, Thumbnail& thumbnail);

}  // namespace globaro
