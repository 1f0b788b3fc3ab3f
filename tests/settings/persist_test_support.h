#pragma once
// Shared helpers of the settings-persistence tests: a fresh temporary folder
// per test, big-endian words, and records and thumbnails to write.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/settings_record.h"
#include "settings/thumbnail.h"

namespace globaro::persist_test {

// TMPDIR and XDG_STATE_HOME point at a fresh folder for the life of the
// test, so that cached settings, dots and undo files never carry over from
// one test to the next.
class PrivateTempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("TMPDIR")) old_ = old;
        if (const char* old = std::getenv("XDG_STATE_HOME")) oldState_ = old;
        std::string pattern = (std::filesystem::temp_directory_path() / "globaro-persist-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        ::setenv("TMPDIR", folder_.c_str(), 1);
        ::setenv("XDG_STATE_HOME", folder_.c_str(), 1);
    }
    void TearDown() override {
        old_.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", old_.c_str(), 1);
        oldState_.empty() ? ::unsetenv("XDG_STATE_HOME") : ::setenv("XDG_STATE_HOME", oldState_.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    const std::string& folder() const { return folder_; }

private:
    std::string folder_, old_, oldState_;
};

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void appendWord(std::vector<std::uint8_t>& bytes, std::int32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(std::uint32_t(v) >> shift));
}

inline std::vector<std::uint8_t> wordsToBytes(const std::vector<std::int32_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t w : words) appendWord(bytes, w);
    return bytes;
}

// Sets word `index` (from 0) of `bytes`.
inline void putWord(std::vector<std::uint8_t>& bytes, std::size_t index, std::int32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[index * 4 + std::size_t(i)] = static_cast<std::uint8_t>(std::uint32_t(v) >> (24 - 8 * i));
}

inline std::int32_t wordAt(const std::vector<std::uint8_t>& bytes, std::size_t index) {
    const std::uint8_t* p = bytes.data() + index * 4;
    return static_cast<std::int32_t>((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                     (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]});
}

// A record as the dialog starts with it: defaults, run state, export options.
inline SettingsRecord freshRecord() {
    SettingsRecord r{};
    resetToDefaults(r);
    resetRunState(r);
    resetExportOptions(r);
    return r;
}

// A `width` x `height` thumbnail, red and green rising along x and y.
inline Thumbnail gradient(int width, int height) {
    Thumbnail t;
    t.width = width;
    t.height = height;
    for (int i = 0; i < width * height; ++i)
        t.rgb.insert(t.rgb.end(), {std::uint8_t(i % width * 2), std::uint8_t(i / width * 2), 128});
    return t;
}

// A record whose persisted fields all hold distinct values inside their
// ranges, and whose other fields hold recognisable ones.
inline SettingsRecord distinctRecord() {
    SettingsRecord r = freshRecord();
    r.tabColor = {1001, 1002, 1003}, r.backdropColor = {2001, 2002, 2003}, r.lineColor = {3001, 3002, 65535};
    for (int i = 0; i < 6; ++i) {
        const auto c = static_cast<std::uint16_t>(4000 + 10 * i);
        r.legacyColors[i] = {c, static_cast<std::uint16_t>(c + 1), static_cast<std::uint16_t>(c + 2)};
    }
    for (int i = 0; i < kLegacyWordCount; ++i) r.legacyWords[i] = 500 + i * 7 - (i % 3 == 0 ? 2000 : 0);
    const float floats[6] = {0.29f, -1.5f, 12.34f, 0.0f, 100.01f, -0.07f};
    std::copy(floats, floats + 6, r.legacyFloats);
    r.inputProjection = 7, r.outputProjection = 123, r.latitudeInteger = -12, r.spinInteger = 45;
    r.longitudeInteger = 77, r.tabsInteger = 21, r.sharpeningInteger = 41, r.fovInteger = 99, r.flip = 1, r.hqpr = 5;
    r.gridLegacy = 4, r.glue = 17, r.faces = 1, r.brickLayers = 33, r.brickColorset = 0xABC, r.spherePlan = 0;
    r.sphereStats = 0, r.ldraw = 1, r.brickDiffusion = 1, r.brickPlates = 1, r.cubeSide = 1234, r.faceSize = 2345;
    r.latitude = -12.5f, r.longitude = 77.25f, r.spin = 45.125f, r.fov = 99.5f, r.tabs = 21.75f, r.sharpen = 41.0625f;
    r.transparentGaps = 0, r.indicatrix = 1, r.edges = 1, r.anamorphosis = 1, r.dehalo = 1, r.grid = 6;
    r.previewQuality = 2;
    setName(r.settingsName, "distinct");
    return r;
}

}  // namespace globaro::persist_test
