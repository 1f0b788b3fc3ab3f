#include "settings/memory_dots.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "settings/golden_files.h"
#include "settings/persist_test_support.h"

namespace globaro {
namespace {

using persist_test::distinctRecord;
using persist_test::readBytes;

class MemoryDotFiles : public persist_test::PrivateTempFolder {
protected:
    void SetUp() override {
        PrivateTempFolder::SetUp();
        resetToDefaults(record);
        resetRunState(record);
        resetExportOptions(record);
        clearDotMap(map);
        showDotsAtOpening(map, dots);
    }
    SettingsRecord record{};
    DotMap map{};
    MemoryDots dots;
    int thumbnailsTaken = 0;
    ThumbnailSource source = [this](Thumbnail& t) {
        ++thumbnailsTaken;
        t.width = t.height = kThumbnailSide;
        t.rgb.assign(static_cast<std::size_t>(kThumbnailSide) * kThumbnailSide * 3, 90);
        return true;
    };
};

TEST(MemoryDotControls, EachControlIsItsDot) {
    for (int n = 0; n < kDotCount; ++n) EXPECT_EQ(dotForControl(dotControls()[static_cast<std::size_t>(n)]), n);
    EXPECT_EQ(dotControls()[0], 10);
    EXPECT_EQ(dotControls()[kDotCount - 1], 16);
    for (int control : {98, 0, -10}) EXPECT_EQ(dotForControl(control), -1);
}

TEST_F(MemoryDotFiles, FileNamesInTheTemporaryFolder) {
    EXPECT_EQ(cachedSettingsPath(), folder() + "/Globaro 2 cached settings D");
    EXPECT_EQ(dotMapPath(), folder() + "/Globaro 2 memdot map 2");
    EXPECT_EQ(dotPath(0), folder() + "/Globaro 2 A memory dot 0.q2q");
    EXPECT_EQ(dotPath(24), folder() + "/Globaro 2 A memory dot 24.q2q");
    EXPECT_EQ(dotPath(kScratchDot), folder() + "/Globaro 2 A memory dot 25.q2q");
    EXPECT_EQ(dotPath(26), "");
    EXPECT_EQ(dotPath(-1), "");
}

TEST_F(MemoryDotFiles, CachedSettingsAreAFileWithoutThumbnail) {
    SettingsRecord settings = distinctRecord();
    const SettingsRecord before = settings;
    EXPECT_EQ(loadCachedSettings(settings).status, kFileNotFound);  // missing: the settings stay
    EXPECT_EQ(std::memcmp(&settings, &before, sizeof before), 0);
    ASSERT_EQ(saveCachedSettings(settings), kFileOk);
    EXPECT_EQ(readBytes(cachedSettingsPath()), golden::load("settings-v48.q2q"));
    SettingsRecord back{};
    EXPECT_EQ(loadCachedSettings(back).status, kFileOk);
    EXPECT_EQ(back.brickLayers, settings.brickLayers);
}

TEST_F(MemoryDotFiles, ShortOrMissingMapFile) {
    DotMap back{};
    EXPECT_EQ(loadDotMap(back), kFileNotFound);
    for (int w : back.words) EXPECT_EQ(w, 0);
    EXPECT_EQ(firstFreeDot(back), 0);
    // A map file cut after three dots: the rest stay as they were.
    persist_test::writeBytes(dotMapPath(), persist_test::wordsToBytes({48, 1, 1, 1}));
    EXPECT_EQ(loadDotMap(back), kFileOk);
    EXPECT_EQ(back.words[2], 1);
    EXPECT_EQ(back.words[3], 0);
    EXPECT_EQ(firstFreeDot(back), 3);
    for (int& w : back.words) w = -7;
    EXPECT_EQ(firstFreeDot(back), -1);
}

TEST(MemoryDotMap, OpeningShowsKeptDotsFilled) {
    DotMap map{};
    map.words[3] = 1;
    map.words[24] = 5;
    MemoryDots dots;
    dots.currentDot = 4;
    dots.state.words[7] = kDotCurrent;
    showDotsAtOpening(map, dots);
    for (int i = 0; i < kDotCount; ++i)
        EXPECT_EQ(dots.state.words[i], (i == 3 || i == 24) ? kDotFilled : kDotEmpty) << i;
    EXPECT_EQ(dots.currentDot, -1);
    EXPECT_EQ(dots.hoverDot, -1);
    clearDots(dots);
    for (auto w : dots.state.words) EXPECT_EQ(w, kDotEmpty);
}

TEST_F(MemoryDotFiles, ClickOnAnEmptyDotFillsAndKeepsIt) {
    record.outputProjection = 77;
    dots.state.words[5] = kDotCurrent;  // an earlier current dot
    const auto out = clickDot(10, false, false, record, map, dots, source);
    EXPECT_EQ(out.what, DotClick::kFilled);
    EXPECT_EQ(out.dot, 0);
    EXPECT_EQ(map.words[0], 1);
    EXPECT_EQ(dots.state.words[0], kDotCurrent);
    EXPECT_EQ(dots.state.words[5], kDotFilled);
    EXPECT_EQ(out.update.redraw, (1u << 0) | (1u << 5));
    EXPECT_TRUE(out.update.showThumbnail);
    EXPECT_EQ(out.update.status, kFileOk);
    EXPECT_EQ(dots.currentDot, 0);
    EXPECT_EQ(dots.hoverDot, 0);
    EXPECT_EQ(thumbnailsTaken, 1);
    // The dot's file holds the settings and a thumbnail.
    SettingsRecord back{};
    resetToDefaults(back);
    Thumbnail t;
    const auto read = readSettingsFile(dotPath(0), SettingsReadMode::kLoad, back, &t);
    EXPECT_TRUE(read.hasThumbnail);
    EXPECT_EQ(back.outputProjection, 77);
}

TEST_F(MemoryDotFiles, CtrlClickOnAnEmptyDotFillsItForThisRunOnly) {
    const auto out = clickDot(47, false, true, record, map, dots, source);
    EXPECT_EQ(out.what, DotClick::kFilled);
    EXPECT_EQ(out.dot, 1);
    EXPECT_EQ(dots.state.words[1], kDotCurrent);
    EXPECT_EQ(map.words[1], 0);
    // The next start: map cleared and read back; the dot shows empty though its file exists.
    ASSERT_EQ(saveDotMap(map), kFileOk);
    DotMap next{};
    clearDotMap(next);
    loadDotMap(next);
    MemoryDots reopened;
    showDotsAtOpening(next, reopened);
    EXPECT_EQ(reopened.state.words[1], kDotEmpty);
    EXPECT_TRUE(std::filesystem::exists(dotPath(1)));
}

TEST_F(MemoryDotFiles, RightClickOnAFilledDotClearsItButKeepsItsFile) {
    clickDot(113, false, false, record, map, dots, source);
    ASSERT_EQ(map.words[2], 1);
    const auto out = clickDot(113, true, false, record, map, dots, source);
    EXPECT_EQ(out.what, DotClick::kCleared);
    EXPECT_EQ(dots.state.words[2], kDotEmpty);
    EXPECT_EQ(map.words[2], 0);
    EXPECT_EQ(out.update.redraw, 1u << 2);
    EXPECT_TRUE(out.update.clearThumbnail);
    EXPECT_TRUE(std::filesystem::exists(dotPath(2)));
}

TEST_F(MemoryDotFiles, CtrlClickOnAFilledDotStopsKeepingIt) {
    clickDot(112, false, false, record, map, dots, source);
    const auto out = clickDot(112, false, true, record, map, dots, source);
    EXPECT_EQ(out.what, DotClick::kUnkept);
    EXPECT_EQ(map.words[3], 0);
    EXPECT_NE(dots.state.words[3], kDotEmpty);
    EXPECT_EQ(out.update.redraw, 1u << 3);
}

TEST_F(MemoryDotFiles, PlainClickOnAFilledDotLoadsIt) {
    record.outputProjection = 55;
    record.brickLayers = 99;
    clickDot(16, false, false, record, map, dots, source);  // dot 24
    clickDot(10, false, false, record, map, dots, source);  // dot 0 becomes current
    record.outputProjection = 3;
    record.brickLayers = 20;
    const auto out = clickDot(16, false, false, record, map, dots, source);
    EXPECT_EQ(out.what, DotClick::kLoaded);
    EXPECT_EQ(out.dot, 24);
    EXPECT_EQ(record.outputProjection, 55);
    EXPECT_EQ(record.brickLayers, 99);
    EXPECT_STREQ(record.settingsName, "dot 25");
    EXPECT_EQ(dots.state.words[24], kDotCurrent);
    EXPECT_EQ(dots.state.words[0], kDotFilled);
    EXPECT_TRUE(out.update.settingsChanged);
    EXPECT_EQ(thumbnailsTaken, 2);
}

TEST_F(MemoryDotFiles, DotsBeyondTheLastAreIgnored) {
    const SettingsRecord before = record;
    EXPECT_EQ(saveDot(25, record, nullptr, dots).redraw, 0u);
    EXPECT_EQ(loadDot(25, record, dots).redraw, 0u);
    EXPECT_EQ(saveDot(-1, record, nullptr, dots).redraw, 0u);
    EXPECT_FALSE(std::filesystem::exists(dotPath(25)));
    EXPECT_EQ(std::memcmp(&record, &before, sizeof before), 0);
    EXPECT_EQ(clickDot(98, false, false, record, map, dots, source).what, DotClick::kNotADot);
}

TEST_F(MemoryDotFiles, AMissingDotFileLeavesTheSettings) {
    dots.state.words[4] = kDotFilled;  // shown filled, but its file is gone
    record.outputProjection = 9;
    const SettingsRecord before = record;
    const auto out = clickDot(111, false, false, record, map, dots, source);
    EXPECT_EQ(out.what, DotClick::kLoaded);
    EXPECT_EQ(out.update.status, kFileNotFound);
    EXPECT_FALSE(out.update.settingsChanged);
    EXPECT_EQ(std::memcmp(&record, &before, sizeof before), 0);
}

TEST_F(MemoryDotFiles, FreshInstallationLandsTheOpeningSettingsInDotZero) {
    DotMap fresh{};
    clearDotMap(fresh);
    EXPECT_EQ(loadDotMap(fresh), kFileNotFound);
    MemoryDots opened;
    showDotsAtOpening(fresh, opened);
    const int dot = firstFreeDot(fresh);
    ASSERT_EQ(dot, 0);
    Thumbnail t;
    source(t);
    saveDot(dot, record, &t, opened);
    EXPECT_EQ(opened.state.words[0], kDotCurrent);
    EXPECT_EQ(fresh.words[0], 0);  // current, not kept
    EXPECT_EQ(firstFreeDot(fresh), 0);
}

TEST_F(MemoryDotFiles, HoveringReadsOnlyTheThumbnail) {
    clickDot(10, false, false, record, map, dots, source);
    leaveDots(dots);
    EXPECT_EQ(dots.currentDot, -1);
    EXPECT_EQ(dots.hoverDot, -1);
    record.outputProjection = 200;
    const SettingsRecord before = record;
    Thumbnail shown;
    EXPECT_TRUE(hoverOverDot(0, dots, shown));
    EXPECT_EQ(shown.width, kThumbnailSide);
    EXPECT_EQ(dots.hoverDot, 0);
    EXPECT_EQ(dots.currentDot, 0);
    EXPECT_EQ(std::memcmp(&record, &before, sizeof before), 0);
    EXPECT_FALSE(hoverOverDot(0, dots, shown));  // already hovered
    EXPECT_FALSE(hoverOverDot(1, dots, shown));  // empty dot
    EXPECT_FALSE(hoverOverDot(40, dots, shown));
}

TEST(MemoryDotThumbnailControl, ClickActions) {
    MemoryDots dots;
    EXPECT_EQ(thumbnailClickAction(true, false, dots), ThumbnailClick::kWriteDotPage);
    EXPECT_EQ(thumbnailClickAction(false, true, dots), ThumbnailClick::kRefreshPresets);
    EXPECT_EQ(thumbnailClickAction(false, false, dots), ThumbnailClick::kNone);
    dots.currentDot = 3;
    EXPECT_EQ(thumbnailClickAction(false, false, dots), ThumbnailClick::kLoadCurrentDot);
}

}  // namespace
}  // namespace globaro
