// Memory dots and presets: their files in the temporary folder, clicks, hovering, refreshing a folder.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/user_folders.h"
#include "settings/golden_files.h"
#include "settings/memory_dots.h"
#include "settings/persist_test_support.h"
#include "settings/preset_library.h"
#include "settings/presets.h"
#include "settings/undo.h"

namespace globaro {
namespace {

using persist_test::distinctRecord;
using persist_test::readBytes;
namespace fs = std::filesystem;

class DotsAndPresets : public persist_test::PrivateTempFolder {
protected:
    void SetUp() override {
        PrivateTempFolder::SetUp();
        showDotsAtOpening(map, dots);
        fs::create_directory(path("presets"));
    }
    DotClickOutcome click(int control, bool right = false, bool ctrl = false) {
        return clickDot(control, right, ctrl, record, map, dots, source);
    }
    bool sameRecord(const SettingsRecord& other) const { return std::memcmp(&record, &other, sizeof other) == 0; }
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
    DotMap map{};
    MemoryDots dots;
    int thumbnailsTaken = 0;
    ThumbnailSource source = [this](Thumbnail& t) {
        ++thumbnailsTaken;
        t = persist_test::gradient(kThumbnailSide, kThumbnailSide);
        return true;
    };
};

TEST_F(DotsAndPresets, FileNamesAndCachedSettings) {
    // Undo files are scratch and stay in the temporary folder; the rest lives in the state folder.
    const auto named = [this](const std::string& p, const char* n) { EXPECT_EQ(p, folder() + "/Globaro 2 " + n); };
    const auto kept = [this](const std::string& p, const char* n) {
        EXPECT_EQ(p, folder() + "/globaro2/Globaro 2 " + n);
    };
    kept(cachedSettingsPath(), "cached settings D"), kept(dotMapPath(), "memdot map 2");
    kept(dotPath(0), "A memory dot 0.q2q"), kept(dotPath(24), "A memory dot 24.q2q");
    kept(dotPath(kScratchDot), "A memory dot 25.q2q"), named(undoPath(0), "undo 0"), named(undoPath(1), "undo 1");
    for (const std::string& none : {dotPath(26), dotPath(-1), undoPath(2)}) EXPECT_EQ(none, "");
    // The cached settings are a file without thumbnail; while it is missing the settings stay.
    record = distinctRecord();
    const SettingsRecord before = record;
    EXPECT_EQ(loadCachedSettings(record).status, kFileNotFound);
    EXPECT_TRUE(sameRecord(before));
    ASSERT_EQ(saveCachedSettings(record), kFileOk);
    EXPECT_EQ(readBytes(cachedSettingsPath()), golden::load("settings-v48.q2q"));
    SettingsRecord back{};
    EXPECT_EQ(loadCachedSettings(back).status, kFileOk);
    EXPECT_EQ(back.brickLayers, record.brickLayers);
}

// Where state and presets live follows the XDG variables (absolute ones only), then HOME.
TEST_F(DotsAndPresets, StateAndPresetFoldersFollowXdgThenHome) {
    const std::string f = folder();
    struct Row {
        const char *state, *config, *home, *stateFolder, *presets;
    } const rows[] = {
        {"/s", "/c", "/h", "/s/globaro2/", "/c/globaro2/presets/"},
        {nullptr, nullptr, "/h", "/h/.local/state/globaro2/", "/h/.config/globaro2/presets/"},
        {"rel", "rel", "/h/", "/h/.local/state/globaro2/", "/h/.config/globaro2/presets/"},
        {nullptr, nullptr, nullptr, "<temp>", ""},
    };
    const char* names[] = {"XDG_STATE_HOME", "XDG_CONFIG_HOME", "HOME"};
    std::string saved[3];
    for (int i = 0; i < 3; ++i) saved[i] = std::getenv(names[i]) != nullptr ? std::getenv(names[i]) : "";
    for (const Row& row : rows) {
        const char* values[] = {row.state, row.config, row.home};
        for (int i = 0; i < 3; ++i)
            values[i] ? ::setenv(names[i], (values[i][0] == '/' ? f + values[i] : values[i]).c_str(), 1)
                      : ::unsetenv(names[i]);
        const std::string want = row.stateFolder == std::string("<temp>") ? f + "/" : f + row.stateFolder;
        EXPECT_EQ(stateFolder(), want);
        EXPECT_TRUE(fs::is_directory(want));
        EXPECT_EQ(presetFolder(), row.presets[0] ? f + row.presets : "");
    }
    for (int i = 0; i < 3; ++i) saved[i].empty() ? ::unsetenv(names[i]) : ::setenv(names[i], saved[i].c_str(), 1);
    EXPECT_EQ(presetFileName("a"), "a.q2q");
    EXPECT_EQ(presetFileName("b.Q2Q"), "b.Q2Q");
    for (const char* notAName : {"", ".", "..", "a/b"}) EXPECT_FALSE(isPresetName(notAName)) << notAName;
}

TEST_F(DotsAndPresets, GoldenMapReadsAsItsWordsAndWritesBackTheSameBytes) {
    if (golden::updating()) {
        for (int i = 0; i < kDotCount; ++i) map.words[i] = i % 3 == 0 ? 1 : i % 5 == 0 ? -7 : 0;
        ASSERT_EQ(saveDotMap(map), kFileOk);
        golden::save("memdot-map", readBytes(dotMapPath()));
    }
    const auto bytes = golden::load("memdot-map");
    persist_test::writeBytes(dotMapPath(), bytes);
    DotMap back{};
    ASSERT_EQ(loadDotMap(back), kFileOk);
    std::string words;
    for (int w : back.words) words += std::to_string(w) + ",";
    if (golden::updating()) golden::saveExpectedLine("memdot-map", words);
    golden::expectDescription("memdot-map", words);
    ASSERT_EQ(saveDotMap(back), kFileOk);
    EXPECT_EQ(readBytes(dotMapPath()), bytes);
    auto longer = bytes;  // a longer file reads only the map's words
    longer.resize(5000, 0xFF);
    persist_test::writeBytes(dotMapPath(), longer);
    struct {
        DotMap map{};
        std::int32_t after = 7;  // a read past the map would spill here
    } guarded;
    EXPECT_EQ(loadDotMap(guarded.map), kFileOk);
    EXPECT_TRUE(std::memcmp(&guarded.map, &back, sizeof back) == 0 && guarded.after == 7);
    // A map file cut after three dots: the rest stay as they were.
    persist_test::writeBytes(dotMapPath(), persist_test::wordsToBytes({48, 1, 1, 1}));
    DotMap again{};
    EXPECT_EQ(loadDotMap(again), kFileOk);
    EXPECT_TRUE(again.words[2] == 1 && again.words[3] == 0 && firstFreeDot(again) == 3);
    for (int& w : again.words) w = -7;
    EXPECT_EQ(firstFreeDot(again), -1);
}

TEST_F(DotsAndPresets, ClicksFillUnkeepClearAndLoad) {
    record.outputProjection = 77, record.brickLayers = 99;
    dots.state.words[5] = kDotCurrent;  // an earlier current dot
    auto out = click(16);               // an empty dot: filled, kept, current
    EXPECT_TRUE(out.what == DotClick::kFilled && out.dot == 24 && map.words[24] == 1 && thumbnailsTaken == 1);
    EXPECT_TRUE(dots.state.words[24] == kDotCurrent && dots.state.words[5] == kDotFilled);
    EXPECT_TRUE(out.update.redraw == ((1u << 24) | (1u << 5)) && out.update.showThumbnail);
    EXPECT_TRUE(dots.currentDot == 24 && dots.hoverDot == 24 && out.update.status == kFileOk);
    out = click(47, false, true);  // with Ctrl: filled for this run only
    EXPECT_TRUE(out.what == DotClick::kFilled && out.dot == 1 && map.words[1] == 0);
    EXPECT_TRUE(dots.state.words[1] == kDotCurrent && dots.state.words[24] == kDotFilled);
    out = click(47, true);  // right button: cleared, its file stays
    EXPECT_TRUE(out.what == DotClick::kCleared && dots.state.words[1] == kDotEmpty && map.words[1] == 0);
    EXPECT_TRUE(out.update.redraw == 1u << 1 && out.update.clearThumbnail && std::filesystem::exists(dotPath(1)));
    out = click(16, false, true);  // Ctrl on a filled dot: no longer kept, still shown
    EXPECT_TRUE(out.what == DotClick::kUnkept && map.words[24] == 0 && dots.state.words[24] == kDotFilled);
    EXPECT_EQ(out.update.redraw, 1u << 24);
    record.outputProjection = 3, record.brickLayers = 20;
    dots.state.words[7] = kDotCurrent;
    out = click(16);  // a plain click loads
    EXPECT_TRUE(out.what == DotClick::kLoaded && out.dot == 24 && out.update.settingsChanged);
    EXPECT_TRUE(record.outputProjection == 77 && record.brickLayers == 99 && thumbnailsTaken == 2);
    EXPECT_STREQ(record.settingsName, "dot 25");
    EXPECT_TRUE(dots.state.words[24] == kDotCurrent && dots.state.words[7] == kDotFilled);
    leaveDots(dots);  // hovering shows the thumbnail and leaves the settings
    EXPECT_TRUE(dots.currentDot == -1 && dots.hoverDot == -1);
    record.outputProjection = 200;
    const SettingsRecord before = record;
    Thumbnail shown;
    EXPECT_TRUE(hoverOverDot(24, dots, shown));
    EXPECT_TRUE(shown.width == kThumbnailSide && dots.hoverDot == 24 && dots.currentDot == 24 && sameRecord(before));
    EXPECT_FALSE(hoverOverDot(24, dots, shown));  // already hovered
    EXPECT_FALSE(hoverOverDot(1, dots, shown));   // empty dot
    EXPECT_FALSE(hoverOverDot(40, dots, shown));
}

TEST_F(DotsAndPresets, AFreshInstallationLandsInDotZeroAndBadDotsLeaveTheSettings) {
    EXPECT_EQ(loadDotMap(map), kFileNotFound);  // no map yet: the opening settings go to dot 0, not kept
    ASSERT_EQ(firstFreeDot(map), 0);
    saveDot(0, record, nullptr, dots);
    EXPECT_TRUE(dots.state.words[0] == kDotCurrent && map.words[0] == 0 && firstFreeDot(map) == 0);
    const SettingsRecord before = record;
    EXPECT_EQ(saveDot(25, record, nullptr, dots).redraw, 0u);
    EXPECT_EQ(loadDot(25, record, dots).redraw, 0u);
    EXPECT_EQ(saveDot(-1, record, nullptr, dots).redraw, 0u);
    EXPECT_FALSE(std::filesystem::exists(dotPath(25)));
    EXPECT_EQ(click(98).what, DotClick::kNotADot);
    dots.state.words[4] = kDotFilled;  // shown filled, but its file is gone
    const auto out = click(111);
    EXPECT_TRUE(out.what == DotClick::kLoaded && out.update.status == kFileNotFound && !out.update.settingsChanged);
    EXPECT_TRUE(sameRecord(before));
}

TEST(MemoryDots, ControlsOpeningStatesAndTheThumbnailControl) {
    for (int n = 0; n < kDotCount; ++n) EXPECT_EQ(dotForControl(dotControls()[static_cast<std::size_t>(n)]), n);
    EXPECT_TRUE(dotControls()[0] == 10 && dotControls()[kDotCount - 1] == 16);
    for (int control : {98, 0, -10}) EXPECT_EQ(dotForControl(control), -1);
    DotMap map{};
    map.words[3] = 1, map.words[24] = 5;
    MemoryDots dots;
    dots.currentDot = 4, dots.hoverDot = 4, dots.state.words[7] = kDotCurrent;
    showDotsAtOpening(map, dots);
    for (int i = 0; i < kDotCount; ++i) EXPECT_EQ(dots.state.words[i], i == 3 || i == 24 ? kDotFilled : kDotEmpty) << i;
    EXPECT_TRUE(dots.currentDot == -1 && dots.hoverDot == -1);
    EXPECT_EQ(thumbnailClickAction(true, false, dots), ThumbnailClick::kWriteDotPage);
    EXPECT_EQ(thumbnailClickAction(false, true, dots), ThumbnailClick::kRefreshPresets);
    EXPECT_EQ(thumbnailClickAction(false, false, dots), ThumbnailClick::kNone);
    dots.currentDot = 3;
    EXPECT_EQ(thumbnailClickAction(false, false, dots), ThumbnailClick::kLoadCurrentDot);
    clearDots(dots);
    for (auto w : dots.state.words) EXPECT_EQ(w, kDotEmpty);
}

TEST_F(DotsAndPresets, PresetOpenResetsThenLoadsAndTakesTheNameOrChangesNothing) {
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
    EXPECT_EQ(record.brickLayers, 20);     // the default, not the value before the open
    const SettingsRecord before = record;  // files that cannot be read change nothing
    EXPECT_EQ(openPreset(preset("absent.q2q"), record).status, kFileNotFound);
    persist_test::writeBytes(preset("junk.q2q"), {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(openPreset(preset("junk.q2q"), record).status, kSettingsFileUnknown);
    EXPECT_TRUE(sameRecord(before));
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

TEST_F(DotsAndPresets, PresetRefreshRewritesRenamesAndRestores) {
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

TEST_F(DotsAndPresets, PresetRefreshIgnoresARequestWhileRunningAndNeverReplacesATarget) {
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
