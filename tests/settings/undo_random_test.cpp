#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "settings/memory_dots.h"
#include "settings/persist_test_support.h"
#include "settings/presets.h"
#include "settings/random_settings.h"
#include "settings/undo.h"

namespace globaro {
namespace {

class UndoFiles : public persist_test::PrivateTempFolder {
protected:
    void SetUp() override {
        PrivateTempFolder::SetUp();
        resetToDefaults(record);
        resetRunState(record);
        resetExportOptions(record);
        std::memset(static_cast<void*>(&store), 0, sizeof store);
        resetUndo(store);
    }
    SettingsRecord record{};
    UndoStore store;
};

TEST_F(UndoFiles, FileNames) {
    EXPECT_EQ(undoPath(0), folder() + "/Globaro 2 undo 0");
    EXPECT_EQ(undoPath(1), folder() + "/Globaro 2 undo 1");
    EXPECT_EQ(undoPath(2), "");
}

TEST_F(UndoFiles, UndoTogglesBetweenTheLastTwoStates) {
    record.outputProjection = 10;
    ASSERT_EQ(recordUndo(store, record, true), kFileOk);  // the dialog opens
    EXPECT_EQ(store.undoIndex, 1);
    EXPECT_TRUE(std::filesystem::exists(undoPath(1)));
    EXPECT_FALSE(undo(store, record));  // nothing before the opening state
    EXPECT_EQ(record.outputProjection, 10);

    record.outputProjection = 20;  // one change
    recordUndo(store, record, false);
    EXPECT_EQ(store.undoIndex, 0);
    EXPECT_EQ(store.inFile[0], 0);

    EXPECT_TRUE(undo(store, record));
    EXPECT_EQ(record.outputProjection, 10);
    EXPECT_EQ(store.undoIndex, 1);
    EXPECT_TRUE(undo(store, record));
    EXPECT_EQ(record.outputProjection, 20);
    EXPECT_TRUE(undo(store, record));
    EXPECT_EQ(record.outputProjection, 10);
}

TEST_F(UndoFiles, UndoOfALoadBringsBackFieldsOutsideTheSnapshot) {
    record.brickLayers = 40;
    record.previewQuality = 1;
    recordUndo(store, record, true);  // opening
    // Load a preset with other brick layers.
    SettingsRecord preset = record;
    preset.brickLayers = 90;
    preset.previewQuality = 3;
    preset.outputProjection = 33;
    ASSERT_EQ(writeSettingsFile(path("p.q2q"), preset, nullptr), kFileOk);
    ASSERT_EQ(openPreset(path("p.q2q"), record).status, kFileOk);
    EXPECT_EQ(undoKind({35}), UndoKind::kWithFile);
    recordUndo(store, record, true);
    EXPECT_EQ(record.brickLayers, 90);

    EXPECT_TRUE(undo(store, record));
    EXPECT_EQ(record.brickLayers, 40);
    EXPECT_EQ(record.previewQuality, 1);
    EXPECT_EQ(record.outputProjection, 1);
    EXPECT_TRUE(undo(store, record));
    EXPECT_EQ(record.brickLayers, 90);
    EXPECT_EQ(record.outputProjection, 33);
}

TEST_F(UndoFiles, UndoWithoutFileKeepsFieldsOutsideTheSnapshot) {
    record.brickLayers = 40;
    recordUndo(store, record, false);
    record.brickLayers = 70;
    record.outputProjection = 5;
    recordUndo(store, record, false);
    EXPECT_TRUE(undo(store, record));
    EXPECT_EQ(record.outputProjection, 1);
    EXPECT_EQ(record.brickLayers, 70);  // not in a snapshot
}

TEST_F(UndoFiles, AFailedUndoFileWriteIsNotUsed) {
    std::filesystem::create_directory(undoPath(1));  // the slot's file name is taken by a folder
    record.brickLayers = 40;
    EXPECT_EQ(recordUndo(store, record, true), kFileWriteFailed);
    EXPECT_EQ(store.inFile[1], 0);
    EXPECT_EQ(store.valid[1], 1);
}

TEST(UndoKinds, EveryCommand) {
    for (int control : {2, 3, 32, 33, 34, 26, 74, 25, 15}) {
        EXPECT_EQ(undoKind({control, true}), UndoKind::kNone) << control;
    }
    EXPECT_EQ(undoKind({35}), UndoKind::kWithFile);
    EXPECT_EQ(undoKind({777}), UndoKind::kWithoutFile);
    EXPECT_EQ(undoKind({kCommandTypingSettled}), UndoKind::kWithoutFile);
    // Memory dots: a load or a save without Ctrl records with file.
    for (int control : dotControls()) {
        DialogCommand c{control};
        c.dotLeftFilled = true;
        EXPECT_EQ(undoKind(c), UndoKind::kWithFile) << control;
        c.ctrlHeld = true;
        EXPECT_EQ(undoKind(c), UndoKind::kNone) << control;
        c.ctrlHeld = false;
        c.dotLeftFilled = false;
        c.changesSettings = true;
        EXPECT_EQ(undoKind(c), UndoKind::kNone) << control;
    }
    DialogCommand thumb{kDotThumbnailControl};
    EXPECT_EQ(undoKind(thumb), UndoKind::kNone);
    thumb.currentDotExists = true;
    EXPECT_EQ(undoKind(thumb), UndoKind::kWithFile);
    // Other controls record without file when they change the settings.
    EXPECT_EQ(undoKind({72, true}), UndoKind::kWithoutFile);
    EXPECT_EQ(undoKind({94, true}), UndoKind::kWithoutFile);
    EXPECT_EQ(undoKind({500, false}), UndoKind::kNone);
}

// ---------------------------------------------------------------- random numbers

TEST(RandomInt, MaskRule) {
    EXPECT_EQ(randomIntMask(0), 1u);
    EXPECT_EQ(randomIntMask(1), 1u);
    EXPECT_EQ(randomIntMask(2), 3u);
    EXPECT_EQ(randomIntMask(3), 3u);
    EXPECT_EQ(randomIntMask(4), 7u);
    EXPECT_EQ(randomIntMask(180), 255u);
    EXPECT_EQ(randomIntMask(255), 255u);
    EXPECT_EQ(randomIntMask(256), 511u);
    EXPECT_EQ(randomIntMask(0x7FFFFFFFu), 0x7FFFFFFFu);
}

TEST(RandomInt, ZeroToTwoUsesMaskThreeAndDiscardsThree) {
    int discarded = 0;
    for (std::uint32_t seed = 1; seed < 200; ++seed) {
        RandomGenerator g(seed);
        RandomGenerator replay(seed);
        const std::int32_t value = randomInt(g, 0, 2);
        // Replay by hand: draws whose (r >> 4) & 3 is 3 are thrown away.
        std::int32_t expected;
        for (;;) {
            expected = (replay.next() >> 4) & 3;
            if (expected <= 2) break;
            ++discarded;
        }
        EXPECT_EQ(value, expected) << seed;
        EXPECT_EQ(g.next(), replay.next()) << seed;  // the same number of draws
    }
    EXPECT_GT(discarded, 0);
}

TEST(RandomInt, BoundsAndDistribution) {
    RandomGenerator g(42);
    std::map<std::int32_t, int> counts;
    for (int i = 0; i < 181 * 200; ++i) {
        const std::int32_t v = randomInt(g, 0, 180);
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 180);
        ++counts[v];
    }
    EXPECT_EQ(counts.size(), 181u);
    for (const auto& [value, count] : counts) {
        EXPECT_GT(count, 100) << value;  // expected 200 each
        EXPECT_LT(count, 320) << value;
    }
}

TEST(RandomInt, SwappedDegenerateAndWideRanges) {
    RandomGenerator g(11);
    std::int32_t highest = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::int32_t v = randomInt(g, 5, 2), w = randomInt(g, -3, -2), x = randomInt(g, 0, 100000);
        ASSERT_TRUE(v >= 2 && v <= 5 && (w == -3 || w == -2) && x >= 0 && x <= 100000);
        ASSERT_EQ(randomInt(g, 9, 9), 9);
        highest = std::max(highest, x);
        randomInt(g, -2147483647 - 1, 2147483647);  // must terminate without overflow
    }
    EXPECT_GT(highest, 90000);
}

TEST(RandomInt, GeneratorRangeAndSeeding) {
    RandomGenerator a(3), b(3), c(4);
    bool differs = false;
    for (int i = 0; i < 1000; ++i) {
        const int x = a.next();
        ASSERT_GE(x, 0);
        ASSERT_LE(x, RandomGenerator::kMax);
        ASSERT_EQ(x, b.next());
        differs = differs || x != c.next();
    }
    EXPECT_TRUE(differs);
    a.seed(3);
    b.seed(3);
    EXPECT_EQ(a.next(), b.next());
    seedFromClock(settingsRandom());
    EXPECT_LE(settingsRandom().next(), RandomGenerator::kMax);
}

TEST(RandomSettings, DiceAngles) {
    RandomGenerator g(99);
    SettingsRecord r{};
    resetToDefaults(r);
    bool negativeLongitude = false, positiveLongitude = false;
    for (int i = 0; i < 2000; ++i) {
        randomAngles(r, g);
        ASSERT_GE(r.latitude, -90.0f);
        ASSERT_LE(r.latitude, 90.0f);
        ASSERT_GE(r.longitude, -180.0f);
        ASSERT_LE(r.longitude, 180.0f);
        ASSERT_GE(r.spin, -180.0f);
        ASSERT_LE(r.spin, 180.0f);
        ASSERT_EQ(static_cast<float>(r.latitudeInteger), r.latitude);
        ASSERT_EQ(static_cast<float>(r.longitudeInteger), r.longitude);
        ASSERT_EQ(static_cast<float>(r.spinInteger), r.spin);
        negativeLongitude = negativeLongitude || r.longitude < 0;
        positiveLongitude = positiveLongitude || r.longitude > 0;
    }
    EXPECT_TRUE(negativeLongitude && positiveLongitude);
    EXPECT_STREQ(r.settingsName, "random settings");
}

TEST(RandomSettings, ConstrainedAnglesAreQuarterTurnsNeverPlusOneEighty) {
    RandomGenerator g(5);
    SettingsRecord r{};
    resetToDefaults(r);
    std::map<int, int> latitudes, longitudes, spins;
    for (int i = 0; i < 3000; ++i) {
        constrainedAngles(r, g);
        ++latitudes[r.latitudeInteger];
        ++longitudes[r.longitudeInteger];
        ++spins[r.spinInteger];
        ASSERT_EQ(static_cast<float>(r.longitudeInteger), r.longitude);
    }
    EXPECT_EQ(latitudes.size(), 3u);
    EXPECT_TRUE(latitudes.count(-90) && latitudes.count(0) && latitudes.count(90));
    EXPECT_EQ(longitudes.size(), 4u);
    EXPECT_EQ(longitudes.count(180), 0u);
    EXPECT_TRUE(longitudes.count(-180) && longitudes.count(-90) && longitudes.count(0) && longitudes.count(90));
    EXPECT_EQ(spins.count(180), 0u);
    EXPECT_STREQ(r.settingsName, "random settings");
}

TEST(RandomSettings, ResetAngles) {
    SettingsRecord r{};
    resetToDefaults(r);
    setComputedLatitude(r, 12.7f);
    setComputedLongitude(r, -33.2f);
    setComputedSpin(r, 5.0f);
    r.fov = 40.0f;
    resetAngles(r);
    EXPECT_EQ(r.latitude, 0.0f);
    EXPECT_EQ(r.longitude, 0.0f);
    EXPECT_EQ(r.spin, 0.0f);
    EXPECT_EQ(r.latitudeInteger, 0);
    EXPECT_EQ(r.longitudeInteger, 0);
    EXPECT_EQ(r.spinInteger, 0);
    EXPECT_EQ(r.fov, 40.0f);
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
        SettingsRecord r{};
        resetToDefaults(r);
        r.*s.field = s.before;
        EXPECT_TRUE(stepChoice(r, s.control));
        EXPECT_EQ(r.*s.field, s.after) << s.control << " from " << s.before;
    }
    SettingsRecord r{};
    EXPECT_FALSE(stepChoice(r, 72));
}

}  // namespace
}  // namespace globaro
