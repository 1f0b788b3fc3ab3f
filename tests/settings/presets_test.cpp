#include "settings/presets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "settings/memory_dots.h"
#include "settings/persist_test_support.h"

namespace globaro {
namespace {

using persist_test::distinctRecord;
namespace fs = std::filesystem;

class PresetFiles : public persist_test::PrivateTempFolder {
protected:
    void SetUp() override {
        PrivateTempFolder::SetUp();
        fs::create_directory(path("presets"));
    }
    std::string preset(const std::string& name) const { return path("presets/" + name); }
    void writePreset(const std::string& name, std::int32_t output) {
        SettingsRecord p = record;
        p.outputProjection = output;
        ASSERT_EQ(writeSettingsFile(preset(name), p, nullptr), kFileOk);
    }
    // The output a preset file holds, and whether it holds a thumbnail.
    std::pair<std::int32_t, bool> readPreset(const std::string& name) const {
        SettingsRecord back = persist_test::freshRecord();
        Thumbnail t;
        const bool thumbnail = readSettingsFile(preset(name), SettingsReadMode::kLoad, back, &t).hasThumbnail;
        return {back.outputProjection, thumbnail};
    }
    SettingsRecord record = persist_test::freshRecord();
};

TEST_F(PresetFiles, OpenResetsThenLoadsAndTakesTheName) {
    SettingsRecord source = distinctRecord();
    const Thumbnail picture = persist_test::gradient(32, 32);
    ASSERT_EQ(savePreset(preset("mine.q2q"), source, &picture), kFileOk);
    EXPECT_STREQ(source.settingsName, "mine.q2q");
    EXPECT_EQ(std::string(source.settingsFolder), path("presets/"));
    record.legacyWords[0] = 5;  // reset to 21 by the open, then read from the file
    Thumbnail t;
    const auto result = openPreset(preset("mine.q2q"), record, &t);
    EXPECT_TRUE(result.status == kFileOk && result.hasThumbnail);
    EXPECT_TRUE(record.outputProjection == source.outputProjection && record.legacyWords[0] == source.legacyWords[0]);
    EXPECT_STREQ(record.settingsName, "mine.q2q");
    EXPECT_EQ(std::string(record.settingsFolder), path("presets/"));
    // A version-1 preset (36 words) keeps the defaults of the fields it lacks.
    std::vector<std::int32_t> words(36, 0);
    words[0] = words[10] = 1;  // version, inputProjection
    persist_test::writeBytes(preset("old.q2q"), persist_test::wordsToBytes(words));
    record.brickLayers = 120;
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

TEST(Presets, NamesLittlePlanetAndRefreshNames) {
    SettingsRecord r{};
    setName(r.settingsName, "little planet.q2q");
    EXPECT_EQ(presetSaveName(r), "little planet");
    setName(r.settingsName, "Globaro 2 settings");
    EXPECT_EQ(presetSaveName(r), "Globaro 2 settings");
    for (const char* name : {"sky q9q.q2q", "SKY.Q5Q", "aQ9qb"}) EXPECT_TRUE(isRefreshablePresetName(name)) << name;
    for (const char* name : {"sky.q2q", "q9"}) EXPECT_FALSE(isRefreshablePresetName(name)) << name;
    EXPECT_EQ(refreshedPresetName("sky.q9q"), "sky.q5q");
    EXPECT_EQ(refreshedPresetName("a.b.Q9Q"), "a.b.q5q");
    // Little planet sets its fields and no others.
    r = distinctRecord();
    SettingsRecord expected = r;
    littlePlanet(r);
    expected.inputProjection = 1, expected.outputProjection = 16, expected.glue = 1, expected.grid = 1;
    expected.latitude = -90, expected.latitudeInteger = -90, expected.fov = 110, expected.fovInteger = 110;
    expected.longitude = expected.spin = 0, expected.longitudeInteger = expected.spinInteger = 0;
    expected.flip = expected.gridLegacy = expected.indicatrix = expected.edges = expected.anamorphosis = 0;
    setName(expected.settingsName, "little planet.q2q");
    EXPECT_EQ(std::memcmp(&r, &expected, sizeof r), 0);
}

TEST_F(PresetFiles, RefreshRewritesRenamesAndRestores) {
    writePreset("a.q9q", 11);
    writePreset("b.Q5Q", 12);
    writePreset("c.q2q", 13);
    writePreset("locked.q9q", 14);
    fs::permissions(preset("locked.q9q"), fs::perms::owner_read);
    fs::create_directory(preset("dir.q9q"));
    persist_test::writeBytes(preset("broken.q5q"), {1, 2});
    record.outputProjection = 300, record.brickLayers = 77;
    setName(record.settingsName, "current");
    std::vector<std::string> seen;
    const auto render = [&seen](SettingsRecord& r, Thumbnail& t) {
        seen.push_back(r.settingsName);
        t = persist_test::gradient(kThumbnailSide, kThumbnailSide);
        return true;
    };
    const auto report = refreshPresetFolder(path("presets"), record, render);
    EXPECT_FALSE(report.busy);
    EXPECT_TRUE(report.refreshed == 2 && report.renamed == 1 && report.failed == 1);  // failed: the broken file
    EXPECT_EQ(seen, (std::vector<std::string>{"a.q9q", "b.Q5Q"}));
    EXPECT_FALSE(fs::exists(preset("a.q9q")));
    EXPECT_EQ(readPreset("a.q5q"), std::pair(11, true));
    EXPECT_EQ(readPreset("b.Q5Q"), std::pair(12, true));
    EXPECT_EQ(readPreset("c.q2q"), std::pair(13, false));       // not refreshed
    EXPECT_EQ(readPreset("locked.q9q"), std::pair(14, false));  // read-only: left alone
    // The parked settings are back, and dot 25 holds them.
    EXPECT_TRUE(record.outputProjection == 300 && record.brickLayers == 77 && record.renamingPresets == 0);
    EXPECT_STREQ(record.settingsName, "current");
    EXPECT_EQ(std::string(record.sourceFolder), path("presets"));
    SettingsRecord parked = persist_test::freshRecord();
    readSettingsFile(dotPath(kScratchDot), SettingsReadMode::kLoad, parked, nullptr);
    EXPECT_EQ(parked.outputProjection, 300);
}

TEST_F(PresetFiles, RefreshIgnoresARequestWhileRunningAndNeverReplacesATarget) {
    writePreset("a.q9q", 11);
    writePreset("b.q9q", 12);
    writePreset("b.q5q", 13);
    bool nestedWasBusy = false;
    const auto render = [&](SettingsRecord& r, Thumbnail&) {
        nestedWasBusy = refreshPresetFolder(path("presets"), r, nullptr).busy;
        return false;
    };
    const auto report = refreshPresetFolder(path("presets"), record, render);
    EXPECT_TRUE(nestedWasBusy);
    EXPECT_TRUE(report.refreshed == 3 && report.renamed == 1 && report.failed == 1);
    EXPECT_TRUE(fs::exists(preset("a.q5q")) && fs::exists(preset("b.q9q")));
    EXPECT_EQ(readPreset("b.q5q").first, 13);
}

TEST(Presets, ThumbnailOfAPreview) {
    // A 300 x 200 RGBA preview: the centred 200 x 200 square becomes 128 x 128.
    const int w = 300, h = 200;
    std::vector<std::uint8_t> preview;  // outside the square red, green rising down the rows
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            preview.insert(preview.end(), {std::uint8_t(x < 50 || x >= 250 ? 255 : 0), std::uint8_t(y), 7, 255});
    Thumbnail t;
    ASSERT_TRUE(takeThumbnail(preview.data(), w, h, w * 4, 4, t));
    EXPECT_TRUE(t.width == 128 && t.height == 128);
    for (std::size_t i = 0; i < t.rgb.size(); i += 3) ASSERT_TRUE(t.rgb[i] == 0 && t.rgb[i + 2] == 7) << i;
    EXPECT_LT(t.rgb[1], 3);
    EXPECT_GT(t.rgb[t.rgb.size() - 2], 195);
    EXPECT_FALSE(takeThumbnail(preview.data(), 0, h, w * 4, 4, t));
    EXPECT_FALSE(takeThumbnail(preview.data(), w, h, 10, 4, t));
    EXPECT_FALSE(takeThumbnail(nullptr, w, h, w * 4, 4, t));
    EXPECT_TRUE(t.empty());
    ASSERT_TRUE(takeThumbnail(preview.data(), 3, 2, w * 4, 4, t));  // a tiny preview is enlarged
    EXPECT_EQ(t.width, 128);
}

}  // namespace
}  // namespace globaro
