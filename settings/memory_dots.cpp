#include "settings/memory_dots.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "platform/temp_folder.h"
#include "platform/user_folders.h"

namespace globaro {

namespace {

constexpr std::array<int, kDotCount> kDotControls = {10, 47, 113, 112, 111, 108, 80, 78, 27, 6,  29, 20, 68,
                                                     66, 42, 87,  77,  44,  24,  88, 95, 89, 19, 14, 16};

bool isDot(int n) { return n >= 0 && n < kDotCount; }

std::uint32_t bit(int n) { return std::uint32_t{1} << n; }

// Every dot in state 2 goes back to 1; returns the dots to redraw.
std::uint32_t demoteCurrent(MemoryDots& dots) {
    std::uint32_t redraw = 0;
    for (int i = 0; i < kDotCount; ++i) {
        if (dots.state.words[i] == kDotCurrent) {
            dots.state.words[i] = kDotFilled;
            redraw |= bit(i);
        }
    }
    return redraw;
}

}  // namespace

std::span<const int, kDotCount> dotControls() { return kDotControls; }

int dotForControl(int control) {
    for (int i = 0; i < kDotCount; ++i)
        if (kDotControls[static_cast<std::size_t>(i)] == control) return i;
    return -1;
}

std::string cachedSettingsPath() { return stateFolder() + kCachedSettingsName; }

std::string dotPath(int n) {
    if (n < 0 || n > kScratchDot) return {};
    char name[64];
    std::snprintf(name, sizeof name, kDotNameFormat, kDotNamePrefix, n, kPresetExtension);
    return stateFolder() + name;
}

std::string dotMapPath() { return stateFolder() + kDotMapName; }

int saveCachedSettings(SettingsRecord& record) { return writeSettingsFile(cachedSettingsPath(), record, nullptr); }

SettingsReadResult loadCachedSettings(SettingsRecord& record) {
    return readSettingsFile(cachedSettingsPath(), SettingsReadMode::kLoad, record, nullptr);
}

void clearDotMap(DotMap& map) { std::memset(map.words, 0, sizeof map.words); }

int saveDotMap(const DotMap& map) {
    std::uint8_t bytes[(kDotCount + 1) * 4];
    auto put = [&bytes](int index, std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        bytes[index * 4 + 0] = static_cast<std::uint8_t>(u >> 24);
        bytes[index * 4 + 1] = static_cast<std::uint8_t>(u >> 16);
        bytes[index * 4 + 2] = static_cast<std::uint8_t>(u >> 8);
        bytes[index * 4 + 3] = static_cast<std::uint8_t>(u);
    };
    put(0, kDotMapVersion);
    for (int i = 0; i < kDotCount; ++i) put(i + 1, map.words[i]);
    return writeWholeFile(dotMapPath(), bytes);
}

int loadDotMap(DotMap& map) {
    std::vector<std::uint8_t> bytes;
    const int status = readWholeFile(dotMapPath(), (kDotCount + 1) * 4, bytes);
    if (status != kFileOk) return status;
    const std::size_t words = bytes.size() / 4;
    for (std::size_t w = 1; w < words; ++w) {
        const std::uint8_t* p = bytes.data() + w * 4;
        map.words[w - 1] = static_cast<std::int32_t>((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                                     (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]});
    }
    return kFileOk;
}

int firstFreeDot(const DotMap& map) {
    for (int i = 0; i < kDotCount; ++i)
        if (map.words[i] == 0) return i;
    return -1;
}

void showDotsAtOpening(const DotMap& map, MemoryDots& dots) {
    for (int i = 0; i < kDotCount; ++i) dots.state.words[i] = map.words[i] != 0 ? kDotFilled : kDotEmpty;
    dots.currentDot = -1;
    dots.hoverDot = -1;
}

void clearDots(MemoryDots& dots) {
    for (auto& w : dots.state.words) w = kDotEmpty;
}

DotUpdate saveDot(int n, SettingsRecord& record, const Thumbnail* thumbnail, MemoryDots& dots) {
    DotUpdate update;
    if (!isDot(n)) return update;
    update.status = writeSettingsFile(dotPath(n), record, thumbnail);
    update.redraw = demoteCurrent(dots);
    dots.state.words[n] = kDotCurrent;
    update.redraw |= bit(n);
    dots.hoverDot = -1;
    update.showThumbnail = true;
    dots.currentDot = n;
    dots.hoverDot = n;
    return update;
}

DotUpdate loadDot(int n, SettingsRecord& record, MemoryDots& dots) {
    DotUpdate update;
    if (!isDot(n)) return update;
    SettingsRecord work = record;
    char name[32];
    std::snprintf(name, sizeof name, kDotNameFormatOfLoaded, n + 1);
    setName(work.settingsName, name);
    const SettingsReadResult read = readSettingsFile(dotPath(n), SettingsReadMode::kLoad, work, nullptr);
    update.status = read.status;
    if (read.status != kFileOk) return update;
    record = work;
    update.redraw = demoteCurrent(dots);
    dots.state.words[n] = kDotCurrent;
    update.redraw |= bit(n);
    update.settingsChanged = true;
    return update;
}

DotClickOutcome clickDot(int control, bool rightButton, bool ctrlHeld, SettingsRecord& record, DotMap& map,
                         MemoryDots& dots, const ThumbnailSource& takeThumbnail) {
    DotClickOutcome outcome;
    const int n = dotForControl(control);
    if (n < 0) return outcome;
    outcome.dot = n;
    if (dots.state.words[n] == kDotEmpty) {
        map.words[n] = ctrlHeld ? 0 : 1;
        Thumbnail thumbnail;
        const bool have = takeThumbnail && takeThumbnail(thumbnail) && !thumbnail.empty();
        outcome.update = saveDot(n, record, have ? &thumbnail : nullptr, dots);
        outcome.what = DotClick::kFilled;
    } else if (rightButton) {
        dots.state.words[n] = kDotEmpty;
        map.words[n] = 0;
        outcome.update.redraw = bit(n);
        outcome.update.clearThumbnail = true;
        outcome.what = DotClick::kCleared;
    } else if (ctrlHeld) {
        map.words[n] = 0;
        outcome.update.redraw = bit(n);
        outcome.what = DotClick::kUnkept;
    } else {
        outcome.update = loadDot(n, record, dots);
        outcome.what = DotClick::kLoaded;
    }
    return outcome;
}

bool hoverOverDot(int n, MemoryDots& dots, Thumbnail& shown) {
    if (!isDot(n) || dots.state.words[n] == kDotEmpty || dots.hoverDot == n) return false;
    if (readSettingsThumbnail(dotPath(n), shown).status != kFileOk) shown.clear();
    dots.hoverDot = n;
    dots.currentDot = n;
    return true;
}

void leaveDots(MemoryDots& dots) {
    dots.currentDot = -1;
    dots.hoverDot = -1;
}

ThumbnailClick thumbnailClickAction(bool rightButton, bool ctrlHeld, const MemoryDots& dots) {
    if (rightButton) return ThumbnailClick::kWriteDotPage;
    if (ctrlHeld) return ThumbnailClick::kRefreshPresets;
    return isDot(dots.currentDot) ? ThumbnailClick::kLoadCurrentDot : ThumbnailClick::kNone;
}

}  // namespace globaro
