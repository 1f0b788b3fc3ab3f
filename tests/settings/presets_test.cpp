#include "settings/presets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "settings/memory_dots.h"
#include "settings/persist_test_support.h"

namespace globaro {
namespace {

using persist_test::distinctRecord;

class PresetFiles : public persist_test::PrivateTempFolder {
protected:
    void SetUp() override {
        PrivateTempFolder::SetUp();
        resetToDefaults(record);
        resetRunState(record);
        resetExportOptions(record);
        std::filesystem::create_directory(path("presets"));
    }
    std::string preset(const std::string& name) const { return path("presets/" + name); }
    void writePreset(const std::string& name, std::int32_t output) {
        SettingsRecord p = record;
        p.outputProjection = output;
        ASSERT_EQ(writeSettingsFile(preset(name), p, nullptr), kFileOk);
    }
    SettingsRecord record{};
};

TEST_F(PresetFiles, OpenResetsThenLoadsAndTakesTheName) {
    SettingsRecord source = distinctRecord();
    const Thumbnail picture = [] {
        Thumbnail t;
        t.width = t.height = 32;
        t.rgb.assign(32 * 32 * 3, 200);
        return t;
    }();
    ASSERT_EQ(savePreset(preset("mine.q2q"), source, &picture), kFileOk);
    EXPECT_STREQ(source.settingsName, "mine.q2q");
    EXPECT_EQ(std::string(source.settingsFolder), path("presets/"));

    record.legacyWords[0] = 5;  // reset to 21 by the open, then read from the file
    Thumbnail t;
    const auto result = openPreset(preset("mine.q2q"), record, &t);
    EXPECT_EQ(result.status, kFileOk);
    EXPECT_TRUE(result.hasThumbnail);
    EXPECT_EQ(record.outputProjection, source.outputProjection);
    EXPECT_EQ(record.legacyWords[0], source.legacyWords[0]);
    EXPECT_STREQ(record.settingsName, "mine.q2q");
    EXPECT_EQ(std::string(record.settingsFolder), path("presets/"));
}

TEST_F(PresetFiles, OpenOfAnOldPresetKeepsDefaultsForItsMissingFields) {
    record.brickLayers = 120;
    // A version-1 preset: only its first 36 words.
    std::vector<std::int32_t> words(36, 0);
    words[0] = 1;
    words[10] = 1;  // inputProjection
    persist_test::writeBytes(preset("old.q2q"), persist_test::wordsToBytes(words));
    ASSERT_EQ(openPreset(preset("old.q2q"), record).status, kFileOk);
    EXPECT_EQ(record.brickLayers, 20);  // the default, not the value before the open
}

TEST_F(PresetFiles, OpenOfAnUnreadableFileChangesNothing) {
    record.outputProjection = 77;
    setName(record.settingsName, "before");
    const SettingsRecord before = record;
    EXPECT_EQ(openPreset(preset("absent.q2q"), record).status, kFileNotFound);
    persist_test::writeBytes(preset("junk.q2q"), {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(openPreset(preset("junk.q2q"), record).status, kSettingsFileUnknown);
    EXPECT_EQ(std::memcmp(&record, &before, sizeof before), 0);
}

TEST(Presets, SaveNameDropsTheLastExtension) {
    SettingsRecord r{};
    setName(r.settingsName, "little planet.q2q");
    EXPECT_EQ(presetSaveName(r), "little planet");
    setName(r.settingsName, "Globaro 2 settings");
    EXPECT_EQ(presetSaveName(r), "Globaro 2 settings");
}

TEST(Presets, LittlePlanetSetsItsFieldsAndNoOthers) {
    SettingsRecord r = distinctRecord();
    SettingsRecord expected = r;
    littlePlanet(r);
    expected.inputProjection = 1, expected.outputProjection = 16, expected.glue = 1, expected.grid = 1;
    expected.latitude = -90, expected.latitudeInteger = -90, expected.fov = 110, expected.fovInteger = 110;
    expected.longitude = expected.spin = 0, expected.longitudeInteger = expected.spinInteger = 0;
    expected.flip = expected.gridLegacy = expected.indicatrix = expected.edges = expected.anamorphosis = 0;
    setName(expected.settingsName, "little planet.q2q");
    EXPECT_EQ(std::memcmp(&r, &expected, sizeof r), 0);
}

TEST(Presets, RefreshNames) {
    EXPECT_TRUE(isRefreshablePresetName("sky q9q.q2q"));
    EXPECT_TRUE(isRefreshablePresetName("SKY.Q5Q"));
    EXPECT_TRUE(isRefreshablePresetName("aQ9qb"));
    EXPECT_FALSE(isRefreshablePresetName("sky.q2q"));
    EXPECT_FALSE(isRefreshablePresetName("q9"));
    EXPECT_EQ(refreshedPresetName("sky.q9q"), "sky.q5q");
    EXPECT_EQ(refreshedPresetName("a.b.Q9Q"), "a.b.q5q");
}

TEST_F(PresetFiles, RefreshRewritesRenamesAndRestores) {
    writePreset("a.q9q", 11);
    writePreset("b.Q5Q", 12);
    writePreset("c.q2q", 13);
    writePreset("locked.q9q", 14);
    std::filesystem::permissions(preset("locked.q9q"), std::filesystem::perms::owner_read);
    std::filesystem::create_directory(preset("dir.q9q"));
    persist_test::writeBytes(preset("broken.q5q"), {1, 2});

    record.outputProjection = 300;
    record.brickLayers = 77;
    setName(record.settingsName, "current");
    std::vector<std::string> seen;
    const auto render = [&seen](SettingsRecord& r, Thumbnail& t) {
        seen.push_back(r.settingsName);
        t.width = t.height = kThumbnailSide;
        t.rgb.assign(static_cast<std::size_t>(kThumbnailSide) * kThumbnailSide * 3,
                     static_cast<std::uint8_t>(r.outputProjection));
        return true;
    };
    const auto report = refreshPresetFolder(path("presets"), record, render);
    EXPECT_FALSE(report.busy);
    EXPECT_EQ(report.refreshed, 2);
    EXPECT_EQ(report.renamed, 1);
    EXPECT_EQ(report.failed, 1);  // the broken file
    EXPECT_EQ(seen, (std::vector<std::string>{"a.q9q", "b.Q5Q"}));

    EXPECT_FALSE(std::filesystem::exists(preset("a.q9q")));
    ASSERT_TRUE(std::filesystem::exists(preset("a.q5q")));
    SettingsRecord back{};
    resetToDefaults(back);
    Thumbnail t;
    auto read = readSettingsFile(preset("a.q5q"), SettingsReadMode::kLoad, back, &t);
    EXPECT_TRUE(read.hasThumbnail);
    EXPECT_EQ(back.outputProjection, 11);
    read = readSettingsFile(preset("b.Q5Q"), SettingsReadMode::kLoad, back, &t);
    EXPECT_TRUE(read.hasThumbnail);
    EXPECT_EQ(back.outputProjection, 12);
    EXPECT_FALSE(readSettingsThumbnail(preset("c.q2q"), t).hasThumbnail);  // not refreshed
    EXPECT_TRUE(std::filesystem::exists(preset("locked.q9q")));            // read-only: left alone
    EXPECT_FALSE(readSettingsThumbnail(preset("locked.q9q"), t).hasThumbnail);

    // The parked settings are back, and dot 25 holds them.
    EXPECT_EQ(record.outputProjection, 300);
    EXPECT_EQ(record.brickLayers, 77);
    EXPECT_STREQ(record.settingsName, "current");
    EXPECT_EQ(std::string(record.sourceFolder), path("presets"));
    EXPECT_EQ(record.renamingPresets, 0);
    SettingsRecord parked{};
    resetToDefaults(parked);
    readSettingsFile(dotPath(kScratchDot), SettingsReadMode::kLoad, parked, nullptr);
    EXPECT_EQ(parked.outputProjection, 300);
}

TEST_F(PresetFiles, RefreshIgnoresARequestWhileRunning) {
    writePreset("a.q9q", 11);
    bool nestedWasBusy = false;
    const auto render = [&](SettingsRecord& r, Thumbnail&) {
        nestedWasBusy = refreshPresetFolder(path("presets"), r, nullptr).busy;
        return false;
    };
    const auto report = refreshPresetFolder(path("presets"), record, render);
    EXPECT_TRUE(nestedWasBusy);
    EXPECT_EQ(report.refreshed, 1);
    EXPECT_TRUE(std::filesystem::exists(preset("a.q5q")));
}

TEST_F(PresetFiles, RefreshNeverReplacesAnExistingTarget) {
    writePreset("a.q9q", 11);
    writePreset("a.q5q", 12);
    const auto report = refreshPresetFolder(path("presets"), record, nullptr);
    EXPECT_EQ(report.refreshed, 2);
    EXPECT_EQ(report.renamed, 0);
    EXPECT_EQ(report.failed, 1);
    EXPECT_TRUE(std::filesystem::exists(preset("a.q9q")));
    SettingsRecord back{};
    readSettingsFile(preset("a.q5q"), SettingsReadMode::kLoad, back, nullptr);
    EXPECT_EQ(back.outputProjection, 12);
}

TEST_F(PresetFiles, ThumbnailOfAPreview) {
    // A 300 x 200 RGBA preview: the centred 200 x 200 square becomes 128 x 128.
    const int w = 300, h = 200;
    std::vector<std::uint8_t> preview(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = preview.data() + (static_cast<std::size_t>(y) * w + x) * 4;
            p[0] = x < 50 || x >= 250 ? 255 : 0;  // outside the square: red
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = 7;
            p[3] = 255;
        }
    Thumbnail t;
    ASSERT_TRUE(takeThumbnail(preview.data(), w, h, w * 4, 4, t));
    EXPECT_EQ(t.width, 128);
    EXPECT_EQ(t.height, 128);
    for (std::size_t i = 0; i < t.rgb.size(); i += 3) {
        ASSERT_EQ(t.rgb[i], 0);
        ASSERT_EQ(t.rgb[i + 2], 7);
    }
    EXPECT_LT(t.rgb[1], 3);
    EXPECT_GT(t.rgb[t.rgb.size() - 2], 195);
    EXPECT_FALSE(takeThumbnail(preview.data(), 0, h, w * 4, 4, t));
    EXPECT_FALSE(takeThumbnail(preview.data(), w, h, 10, 4, t));
    EXPECT_FALSE(takeThumbnail(nullptr, w, h, w * 4, 4, t));
    EXPECT_TRUE(t.empty());
    // A tiny preview is enlarged.
    ASSERT_TRUE(takeThumbnail(preview.data(), 3, 2, w * 4, 4, t));
    EXPECT_EQ(t.width, 128);
}

}  // namespace
}  // namespace globaro
