#include "settings/memory_dots.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "settings/golden_files.h"
#include "settings/persist_test_support.h"
#include "settings/undo.h"

namespace globaro {
namespace {

using persist_test::readBytes;

class MemoryDotFiles : public persist_test::PrivateTempFolder {
protected:
    void SetUp() override {
        PrivateTempFolder::SetUp();
        clearDotMap(map);
        showDotsAtOpening(map, dots);
    }
    DotClickOutcome click(int control, bool right = false, bool ctrl = false) {
        return clickDot(control, right, ctrl, record, map, dots, source);
    }
    bool sameRecord(const SettingsRecord& other) const { return std::memcmp(&record, &other, sizeof other) == 0; }
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

TEST(MemoryDotControls, EachControlIsItsDot) {
    for (int n = 0; n < kDotCount; ++n) EXPECT_EQ(dotForControl(dotControls()[static_cast<std::size_t>(n)]), n);
    EXPECT_TRUE(dotControls()[0] == 10 && dotControls()[kDotCount - 1] == 16);
    for (int control : {98, 0, -10}) EXPECT_EQ(dotForControl(control), -1);
}

TEST_F(MemoryDotFiles, FileNamesInTheTemporaryFolder) {
    const std::pair<std::string, std::string> names[] = {{cachedSettingsPath(), "Globaro 2 cached settings D"},
                                                         {dotMapPath(), "Globaro 2 memdot map 2"},
                                                         {dotPath(0), "Globaro 2 A memory dot 0.q2q"},
                                                         {dotPath(24), "Globaro 2 A memory dot 24.q2q"},
                                                         {dotPath(kScratchDot), "Globaro 2 A memory dot 25.q2q"},
                                                         {undoPath(0), "Globaro 2 undo 0"},
                                                         {undoPath(1), "Globaro 2 undo 1"}};
    for (const auto& [path, name] : names) EXPECT_EQ(path, folder() + "/" + name);
    for (const std::string& none : {dotPath(26), dotPath(-1), undoPath(2)}) EXPECT_EQ(none, "");
}

TEST_F(MemoryDotFiles, CachedSettingsAreAFileWithoutThumbnail) {
    SettingsRecord settings = persist_test::distinctRecord();
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
    EXPECT_EQ(firstFreeDot(back), 0);
    // A map file cut after three dots: the rest stay as they were.
    persist_test::writeBytes(dotMapPath(), persist_test::wordsToBytes({48, 1, 1, 1}));
    EXPECT_EQ(loadDotMap(back), kFileOk);
    EXPECT_TRUE(back.words[2] == 1 && back.words[3] == 0);
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
    EXPECT_TRUE(dots.currentDot == -1 && dots.hoverDot == -1);
    clearDots(dots);
    for (auto w : dots.state.words) EXPECT_EQ(w, kDotEmpty);
}

TEST_F(MemoryDotFiles, ClickOnAnEmptyDotFillsAndKeepsIt) {
    record.outputProjection = 77;
    dots.state.words[5] = kDotCurrent;  // an earlier current dot
    const auto out = click(10);
    EXPECT_TRUE(out.what == DotClick::kFilled && out.dot == 0 && map.words[0] == 1);
    EXPECT_TRUE(dots.state.words[0] == kDotCurrent && dots.state.words[5] == kDotFilled);
    EXPECT_EQ(out.update.redraw, (1u << 0) | (1u << 5));
    EXPECT_TRUE(out.update.showThumbnail && out.update.status == kFileOk && thumbnailsTaken == 1);
    EXPECT_TRUE(dots.currentDot == 0 && dots.hoverDot == 0);
    SettingsRecord back = persist_test::freshRecord();  // the dot's file holds the settings and a thumbnail
    Thumbnail t;
    EXPECT_TRUE(readSettingsFile(dotPath(0), SettingsReadMode::kLoad, back, &t).hasThumbnail);
    EXPECT_EQ(back.outputProjection, 77);
}

TEST_F(MemoryDotFiles, CtrlClickOnAnEmptyDotFillsItForThisRunOnly) {
    const auto out = click(47, false, true);
    EXPECT_TRUE(out.what == DotClick::kFilled && out.dot == 1 && dots.state.words[1] == kDotCurrent);
    EXPECT_EQ(map.words[1], 0);
    EXPECT_TRUE(std::filesystem::exists(dotPath(1)));
}

TEST_F(MemoryDotFiles, RightClickClearsAFilledDotAndCtrlClickStopsKeepingIt) {
    click(113);
    click(112);
    ASSERT_TRUE(map.words[2] == 1 && map.words[3] == 1);
    auto out = click(113, true);
    EXPECT_TRUE(out.what == DotClick::kCleared && dots.state.words[2] == kDotEmpty && map.words[2] == 0);
    EXPECT_TRUE(out.update.redraw == 1u << 2 && out.update.clearThumbnail);
    EXPECT_TRUE(std::filesystem::exists(dotPath(2)));  // its file stays
    out = click(112, false, true);
    EXPECT_TRUE(out.what == DotClick::kUnkept && map.words[3] == 0 && dots.state.words[3] != kDotEmpty);
    EXPECT_EQ(out.update.redraw, 1u << 3);
}

TEST_F(MemoryDotFiles, PlainClickOnAFilledDotLoadsIt) {
    record.outputProjection = 55, record.brickLayers = 99;
    click(16);  // dot 24
    click(10);  // dot 0 becomes current
    record.outputProjection = 3, record.brickLayers = 20;
    const auto out = click(16);
    EXPECT_TRUE(out.what == DotClick::kLoaded && out.dot == 24 && out.update.settingsChanged);
    EXPECT_TRUE(record.outputProjection == 55 && record.brickLayers == 99);
    EXPECT_STREQ(record.settingsName, "dot 25");
    EXPECT_TRUE(dots.state.words[24] == kDotCurrent && dots.state.words[0] == kDotFilled && thumbnailsTaken == 2);
}

TEST_F(MemoryDotFiles, DotsBeyondTheLastAndMissingFilesLeaveTheSettings) {
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

TEST_F(MemoryDotFiles, FreshInstallationLandsTheOpeningSettingsInDotZero) {
    EXPECT_EQ(loadDotMap(map), kFileNotFound);
    const int dot = firstFreeDot(map);
    ASSERT_EQ(dot, 0);
    const Thumbnail t = persist_test::gradient(4, 4);
    saveDot(dot, record, &t, dots);
    EXPECT_TRUE(dots.state.words[0] == kDotCurrent && map.words[0] == 0);  // current, not kept
    EXPECT_EQ(firstFreeDot(map), 0);
}

TEST_F(MemoryDotFiles, HoveringReadsOnlyTheThumbnail) {
    click(10);
    leaveDots(dots);
    EXPECT_TRUE(dots.currentDot == -1 && dots.hoverDot == -1);
    record.outputProjection = 200;
    const SettingsRecord before = record;
    Thumbnail shown;
    EXPECT_TRUE(hoverOverDot(0, dots, shown));
    EXPECT_TRUE(shown.width == kThumbnailSide && dots.hoverDot == 0 && dots.currentDot == 0 && sameRecord(before));
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
