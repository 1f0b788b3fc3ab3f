#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "settings/memory_dots.h"
#include "settings/persist_test_support.h"
#include "settings/presets.h"
#include "settings/random_settings.h"
#include "settings/undo.h"

namespace globaro {
namespace {

class UndoFiles : public persist_test::PrivateTempFolder {
protected:
    SettingsRecord record = persist_test::freshRecord();
    UndoStore store = [] {
        UndoStore s;
        std::memset(static_cast<void*>(&s), 0xA5, sizeof s);  // whatever memory held before
        resetUndo(s);
        return s;
    }();
};

TEST_F(UndoFiles, UndoTogglesBetweenTheLastTwoStates) {
    record.outputProjection = 10;
    ASSERT_EQ(recordUndo(store, record, true), kFileOk);  // the dialog opens
    EXPECT_TRUE(store.undoIndex == 1 && std::filesystem::exists(undoPath(1)));
    EXPECT_FALSE(undo(store, record));  // nothing before the opening state
    record.outputProjection = 20;       // one change
    recordUndo(store, record, false);
    EXPECT_TRUE(store.undoIndex == 0 && store.inFile[0] == 0);
    for (int expected : {10, 20, 10}) {
        EXPECT_TRUE(undo(store, record));
        EXPECT_EQ(record.outputProjection, expected);
    }
    EXPECT_EQ(store.undoIndex, 1);
}

// Brick layers and preview quality are outside the snapshot: only an undo with file brings them back.
TEST_F(UndoFiles, OnlyAnUndoWithFileBringsBackFieldsOutsideTheSnapshot) {
    record.brickLayers = 40;
    record.previewQuality = 1;
    recordUndo(store, record, true);  // opening
    SettingsRecord preset = record;   // load a preset with other brick layers
    preset.brickLayers = 90, preset.previewQuality = 3, preset.outputProjection = 33;
    ASSERT_EQ(writeSettingsFile(path("p.q2q"), preset, nullptr), kFileOk);
    ASSERT_EQ(openPreset(path("p.q2q"), record).status, kFileOk);
    recordUndo(store, record, true);
    EXPECT_TRUE(undo(store, record));
    EXPECT_TRUE(record.brickLayers == 40 && record.previewQuality == 1 && record.outputProjection == 1);
    EXPECT_TRUE(undo(store, record));
    EXPECT_TRUE(record.brickLayers == 90 && record.outputProjection == 33);

    recordUndo(store, record, false);  // two changes without file
    record.brickLayers = 70, record.outputProjection = 5;
    recordUndo(store, record, false);
    EXPECT_TRUE(undo(store, record));
    EXPECT_TRUE(record.brickLayers == 70 && record.outputProjection == 33);
}

TEST_F(UndoFiles, AFailedUndoFileWriteIsNotUsed) {
    std::filesystem::create_directory(undoPath(1));  // the slot's file name is taken by a folder
    EXPECT_EQ(recordUndo(store, record, true), kFileWriteFailed);
    EXPECT_TRUE(store.inFile[1] == 0 && store.valid[1] == 1);
}

TEST(UndoKinds, EveryCommand) {
    const auto none = UndoKind::kNone, file = UndoKind::kWithFile, noFile = UndoKind::kWithoutFile;
    const std::pair<DialogCommand, UndoKind> cases[] = {
        {{2, true}, none},
        {{3, true}, none},
        {{32, true}, none},
        {{33, true}, none},
        {{34, true}, none},
        {{26, true}, none},
        {{74, true}, none},
        {{25, true}, none},
        {{15, true}, none},
        {{35}, file},
        {{777}, noFile},
        {{72, true}, noFile},
        {{94, true}, noFile},
        {{500, false}, none},
        {{kDotThumbnailControl}, none},
        {{kDotThumbnailControl, false, false, false, true}, file},
    };
    for (const auto& [command, kind] : cases) EXPECT_EQ(undoKind(command), kind) << command.control;
    // Memory dots: a load or a save without Ctrl records with file.
    for (int control : dotControls()) {
        EXPECT_EQ(undoKind({control, false, true}), file) << control;
        EXPECT_EQ(undoKind({control, false, true, true}), none) << control;
        EXPECT_EQ(undoKind({control, true}), none) << control;
    }
}

TEST(RandomInt, MaskRule) {
    const std::pair<std::uint64_t, std::uint64_t> cases[] = {
        {0, 1}, {1, 1}, {2, 3}, {3, 3}, {4, 7}, {180, 255}, {255, 255}, {256, 511}, {0x7FFFFFFFu, 0x7FFFFFFFu}};
    for (auto [span, mask] : cases) EXPECT_EQ(randomIntMask(span), mask) << span;
}

TEST(RandomInt, ZeroToTwoUsesMaskThreeAndDiscardsThree) {
    int discarded = 0;
    for (std::uint32_t seed = 1; seed < 200; ++seed) {
        RandomGenerator g(seed), replay(seed);
        const std::int32_t value = randomInt(g, 0, 2);
        std::int32_t expected;  // draws whose (r >> 4) & 3 is 3 are thrown away
        while ((expected = (replay.next() >> 4) & 3) > 2) ++discarded;
        EXPECT_EQ(value, expected) << seed;
        EXPECT_EQ(g.next(), replay.next()) << seed;  // the same number of draws
    }
    EXPECT_GT(discarded, 0);
}

TEST(RandomInt, BoundsDistributionSwappedDegenerateAndWideRanges) {
    RandomGenerator g(42);
    std::map<std::int32_t, int> counts;
    for (int i = 0; i < 181 * 200; ++i) ++counts[randomInt(g, 0, 180)];
    EXPECT_TRUE(counts.size() == 181u && counts.begin()->first == 0 && counts.rbegin()->first == 180);
    for (const auto& [value, count] : counts) EXPECT_TRUE(count > 100 && count < 320) << value << ": " << count;
    std::int32_t highest = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::int32_t v = randomInt(g, 5, 2), w = randomInt(g, -3, -2), x = randomInt(g, 0, 100000);
        ASSERT_TRUE(v >= 2 && v <= 5 && (w == -3 || w == -2) && x >= 0 && x <= 100000 && randomInt(g, 9, 9) == 9);
        highest = std::max(highest, x);
        randomInt(g, -2147483647 - 1, 2147483647);  // must terminate without overflow
    }
    EXPECT_GT(highest, 90000);
}

TEST(RandomInt, TheGeneratorIsTheClassicRand) {
    RandomGenerator g(1);
    for (int expected : {16838, 5758, 10113, 17515}) EXPECT_EQ(g.next(), expected);
    g.seed(1);
    EXPECT_EQ(g.next(), 16838);
}

TEST(RandomSettings, DiceAnglesAndQuarterTurns) {
    RandomGenerator g(99);
    SettingsRecord r = persist_test::freshRecord();
    std::set<int> longitudeSigns;
    for (int i = 0; i < 2000; ++i) {
        randomAngles(r, g);
        ASSERT_TRUE(r.latitude >= -90 && r.latitude <= 90 && r.longitude >= -180 && r.longitude <= 180);
        ASSERT_TRUE(r.spin >= -180 && r.spin <= 180);
        ASSERT_TRUE(r.latitudeInteger == r.latitude && r.longitudeInteger == r.longitude && r.spinInteger == r.spin);
        longitudeSigns.insert(r.longitudeInteger < 0 ? -1 : r.longitudeInteger > 0 ? 1 : 0);
    }
    EXPECT_TRUE(longitudeSigns.count(-1) && longitudeSigns.count(1));
    EXPECT_STREQ(r.settingsName, "random settings");
    setName(r.settingsName, "");
    std::set<int> latitudes, quarterTurns;
    for (int i = 0; i < 3000; ++i) {
        constrainedAngles(r, g);
        latitudes.insert(r.latitudeInteger), quarterTurns.insert(r.longitudeInteger),
            quarterTurns.insert(r.spinInteger);
        ASSERT_TRUE(r.longitudeInteger == r.longitude && r.spinInteger == r.spin);
    }
    EXPECT_EQ(latitudes, (std::set<int>{-90, 0, 90}));
    EXPECT_EQ(quarterTurns, (std::set<int>{-180, -90, 0, 90}));  // never +180
    r.fov = 40.0f;
    resetAngles(r);
    EXPECT_TRUE(r.latitude == 0 && r.longitude == 0 && r.spin == 0 && r.fov == 40.0f);
    EXPECT_TRUE(r.latitudeInteger == 0 && r.longitudeInteger == 0 && r.spinInteger == 0);
}

TEST(RandomSettings, SteppingButtonsWrap) {
    struct Step {
        int control;
        std::int32_t SettingsRecord::*field;
        std::int32_t before, after;
    };
    using S = SettingsRecord;
    const Step steps[] = {{81, &S::glue, 68, 69},
                          {81, &S::glue, 69, 1},
                          {81, &S::glue, 0, 1},
                          {13, &S::grid, 0, 2},  // raised to 1 first
                          {13, &S::grid, 7, 1},
                          {110, &S::previewQuality, -4, 2},
                          {110, &S::previewQuality, 3, 1},
                          {97, &S::inputProjection, 38, 1},
                          {94, &S::outputProjection, 413, 414},
                          {94, &S::outputProjection, 414, 1},
                          {94, &S::outputProjection, 900, 1}};  // an id past the stepped range
    for (const Step& s : steps) {
        SettingsRecord r = persist_test::freshRecord();
        r.*s.field = s.before;
        EXPECT_TRUE(stepChoice(r, s.control));
        EXPECT_EQ(r.*s.field, s.after) << s.control << " from " << s.before;
    }
    SettingsRecord r{};
    EXPECT_FALSE(stepChoice(r, 72));
}

}  // namespace
}  // namespace globaro
