#pragma once
// Shared helpers of the settings-persistence tests: a private temporary
// folder (TMPDIR points at it while a test runs) and word-level file building.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/settings_record.h"

namespace globaro::persist_test {

// Points TMPDIR at a fresh folder for the life of the test, so that no test
// ever touches the real cached settings, dots or undo files.
class PrivateTempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        std::string pattern = (std::filesystem::temp_directory_path() / "globaro-persist-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        ::setenv("TMPDIR", folder_.c_str(), 1);
    }
    void TearDown() override {
        if (hadOld_)
            ::setenv("TMPDIR", old_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        std::error_code ignored;
        std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    std::string old_;
    bool hadOld_ = false;
};

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void appendWord(std::vector<std::uint8_t>& bytes, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    bytes.push_back(static_cast<std::uint8_t>(u >> 24));
    bytes.push_back(static_cast<std::uint8_t>(u >> 16));
    bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    bytes.push_back(static_cast<std::uint8_t>(u));
}

inline std::vector<std::uint8_t> wordsToBytes(const std::vector<std::int32_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t w : words) appendWord(bytes, w);
    return bytes;
}

inline std::int32_t wordAt(const std::vector<std::uint8_t>& bytes, std::size_t index) {
    const std::uint8_t* p = bytes.data() + index * 4;
    return static_cast<std::int32_t>((std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                     (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]});
}

// A record whose persisted fields all hold distinct values inside their
// ranges, and whose other fields hold recognisable ones.
inline SettingsRecord distinctRecord() {
    SettingsRecord r{};
    resetToDefaults(r);
    resetRunState(r);
    resetExportOptions(r);
    r.tabColor = {1001, 1002, 1003};
    r.backdropColor = {2001, 2002, 2003};
    r.lineColor = {3001, 3002, 65535};
    for (int i = 0; i < 6; ++i)
        r.legacyColors[i] = {static_cast<std::uint16_t>(4000 + 10 * i), static_cast<std::uint16_t>(4001 + 10 * i),
                             static_cast<std::uint16_t>(4002 + 10 * i)};
    for (int i = 0; i < kLegacyWordCount; ++i) r.legacyWords[i] = 500 + i * 7 - (i % 3 == 0 ? 2000 : 0);
    const float floats[6] = {0.29f, -1.5f, 12.34f, 0.0f, 100.01f, -0.07f};
    for (int i = 0; i < 6; ++i) r.legacyFloats[i] = floats[i];
    r.inputProjection = 7;
    r.outputProjection = 123;
    r.latitudeInteger = -12;
    r.spinInteger = 45;
    r.longitudeInteger = 77;
    r.tabsInteger = 21;
    r.sharpeningInteger = 41;
    r.fovInteger = 99;
    r.flip = 1;
    r.hqpr = 5;
    r.gridLegacy = 4;
    r.glue = 17;
    r.faces = 1;
    r.brickLayers = 33;
    r.brickColorset = 0xABC;
    r.spherePlan = 0;
    r.sphereStats = 0;
    r.ldraw = 1;
    r.brickDiffusion = 1;
    r.brickPlates = 1;
    r.cubeSide = 1234;
    r.faceSize = 2345;
    r.latitude = -12.5f;
    r.longitude = 77.25f;
    r.spin = 45.125f;
    r.fov = 99.5f;
    r.tabs = 21.75f;
    r.sharpen = 41.0625f;
    r.transparentGaps = 0;
    r.indicatrix = 1;
    r.edges = 1;
    r.anamorphosis = 1;
    r.dehalo = 1;
    r.grid = 6;
    r.previewQuality = 2;
    setName(r.settingsName, "distinct");
    return r;
}

}  // namespace globaro::persist_test
