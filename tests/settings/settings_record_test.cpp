// The settings record beyond its field table (snapshots, angle mirrors, progress, names), undo and the
// random and stepped settings.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <string>

#include "settings/golden_files.h"
#include "settings/memory_dots.h"
#include "settings/persist_test_support.h"
#include "settings/presets.h"
#include "settings/random_settings.h"
#include "settings/settings_record.h"
#include "settings/undo.h"

namespace globaro {
namespace {

// Every byte distinct from its neighbours, so that a field copied to the wrong place shows up.
SettingsRecord patterned(unsigned salt) {
    SettingsRecord r;
    auto* bytes = reinterpret_cast<unsigned char*>(&r);
    for (std::size_t i = 0; i < sizeof r; ++i) bytes[i] = static_cast<unsigned char>(i * 37 + salt);
    return r;
}

TEST(SettingsSnapshots, CarryTheLookAndNothingElse) {
    // Besides everything files do not carry, a snapshot leaves out brick and
    // export sizes, the preview quality and legacy words 18 to 20.
    const std::set<std::string> notInSnapshots = {
        "version",       "brickLayers", "legacyWords[18]", "legacyWords[19]", "legacyWords[20]",
        "spherePlan",    "sphereStats", "cubeSide",        "ldraw",           "brickDiffusion",
        "brickColorset", "brickPlates", "faceSize",        "previewQuality"};
    const SettingsRecord source = patterned(11), target = patterned(200);
    SettingsSnapshot snap;
    saveSnapshot(source, snap);
    SettingsRecord r = target;
    restoreSnapshot(snap, r);
    EXPECT_EQ(std::memcmp(r.settingsName, source.settingsName, kNameCapacity - 1), 0);
    EXPECT_EQ(r.settingsName[kNameCapacity - 1], '\0');
    for (const SettingsField& f : settingsFields()) {
        const bool carried = f.word != 0 && notInSnapshots.count(f.name) == 0;
        EXPECT_EQ(golden::fieldText(f, r), golden::fieldText(f, carried ? source : target)) << f.name;
    }
    EXPECT_TRUE(std::memcmp(r.saveFolder, target.saveFolder, kNameCapacity) == 0 &&
                r.renderTarget == target.renderTarget);
}

TEST(SettingsAngles, OldSourcesTakeTheirFloatsFromTheMirrorsAndComputedAnglesSetThem) {
    for (std::int32_t version : {-999, 0, 1, 30, 46, 47, 48, 100}) {
        SettingsRecord r = patterned(3);
        r.version = version;
        r.latitude = r.longitude = r.spin = r.fov = r.tabs = r.sharpen = 0.5f;
        r.latitudeInteger = 12, r.longitudeInteger = -33, r.spinInteger = 1;
        r.fovInteger = 90, r.tabsInteger = 20, r.sharpeningInteger = 10;
        syncAnglesFromIntegers(r);
        const bool old = version >= 1 && version <= 46;
        const float expected[6] = {12, -33, 1, 90, 20, 10};
        const float got[6] = {r.latitude, r.longitude, r.spin, r.fov, r.tabs, r.sharpen};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(got[i], old ? expected[i] : 0.5f) << version << " " << i;
    }
    SettingsRecord r = patterned(5);  // computed angles set their mirrors truncated toward zero
    setComputedLatitude(r, -45.9f);
    setComputedLongitude(r, 179.99f);
    setComputedSpin(r, -0.5f);
    setComputedFov(r, 89.6f);
    EXPECT_EQ(r.latitude, -45.9f);
    EXPECT_TRUE(r.latitudeInteger == -45 && r.longitudeInteger == 179 && r.spinInteger == 0 && r.fovInteger == 89);
    setComputedSpin(r, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(r.spinInteger, 0);
}

TEST(SettingsRecordRest, RunStateProgressAndNames) {
    SettingsRecord r = patterned(7);
    resetRunState(r);
    EXPECT_TRUE(r.previewStep == 1 && r.renderTarget == kRenderToHost && r.version == kVersionUnread && r.glue == 1);
    EXPECT_TRUE(r.previewTop == 0 && r.previewLeft == 0);
    for (auto [total, expected] : {std::pair{0, 1}, {-10, 1}, {8, 8}})
        EXPECT_EQ((setProgressTotal(r, total), r.progressTotal), expected) << total;
    for (auto [done, expected] : {std::pair{5, 5}, {50, 8}, {0, 1}, {-7, 1}})
        EXPECT_EQ((setProgressDone(r, done), r.progressDone), expected) << done;
    setName(r.settingsName, std::string(400, 'n').c_str());
    EXPECT_EQ(std::strlen(r.settingsName), kNameCapacity - 1);
    setName(r.settingsName, nullptr);
    EXPECT_STREQ(r.settingsName, "");
    EXPECT_EQ(Rgb16::from8(255, 0, 1), (Rgb16{65535, 0, 257}));
}

class UndoFiles : public persist_test::PrivateTempFolder {
protected:
    SettingsRecord record = persist_test::freshRecord();
    UndoStore store{};
};

TEST_F(UndoFiles, UndoTogglesBetweenTheLastTwoStatesAndSkipsAFailedFile) {
    std::memset(static_cast<void*>(&store), 0xA5, sizeof store);  // whatever memory held before
    resetUndo(store);
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
    std::filesystem::create_directory(undoPath(0));  // a failed undo file write is not used
    EXPECT_EQ(recordUndo(store, record, true), kFileWriteFailed);
    EXPECT_TRUE(store.inFile[0] == 0 && store.valid[0] == 1);
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

TEST(UndoKinds, EveryCommand) {
    const auto none = UndoKind::kNone, file = UndoKind::kWithFile, noFile = UndoKind::kWithoutFile;
    for (int c : {2, 3, 32, 33, 34, 26, 74, 25, 15, 500}) EXPECT_EQ(undoKind({c, c != 500}), none) << c;
    for (int c : {kCommandTypingSettled, 72, 94}) EXPECT_EQ(undoKind({c, c != kCommandTypingSettled}), noFile) << c;
    EXPECT_EQ(undoKind({35}), file);
    EXPECT_EQ(undoKind({kDotThumbnailControl, true}), none);
    EXPECT_EQ(undoKind({kDotThumbnailControl, false, false, false, true}), file);
    for (int c : dotControls()) {  // a dot load or save without Ctrl records with file
        EXPECT_EQ(undoKind({c, false, true}), file) << c;
        EXPECT_EQ(undoKind({c, false, true, true}), none) << c;
        EXPECT_EQ(undoKind({c, true}), none) << c;
    }
}

TEST(RandomInt, MaskRuleAndTheDrawsOfZeroToTwo) {
    const std::uint64_t cases[][2] = {
        {0, 1}, {1, 1}, {2, 3}, {3, 3}, {4, 7}, {180, 255}, {255, 255}, {256, 511}, {0x7FFFFFFFu, 0x7FFFFFFFu}};
    for (auto [span, mask] : cases) EXPECT_EQ(randomIntMask(span), mask) << span;
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

TEST(RandomInt, BoundsDistributionRangesAndTheClassicRand) {
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
    g.seed(1);  // the classic rand
    for (int expected : {16838, 5758, 10113, 17515}) EXPECT_EQ(g.next(), expected);
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
    using S = SettingsRecord;
    std::int32_t S::*const fields[] = {&S::glue, &S::grid, &S::previewQuality, &S::inputProjection,
                                       &S::outputProjection};
    // Field, control, value before, value after. Grid and preview quality are raised to 1 before the step; 900
    // is an output past the stepped range.
    const int steps[][4] = {{0, 81, 68, 69},   {0, 81, 69, 1},  {0, 81, 0, 1},  {1, 13, 0, 2},
                            {1, 13, 7, 1},     {2, 110, -4, 2}, {2, 110, 3, 1}, {3, 97, 38, 1},
                            {4, 94, 413, 414}, {4, 94, 414, 1}, {4, 94, 900, 1}};
    for (const auto& [field, control, before, after] : steps) {
        SettingsRecord r = persist_test::freshRecord();
        r.*fields[field] = before;
        EXPECT_TRUE(stepChoice(r, control));
        EXPECT_EQ(r.*fields[field], after) << control << " from " << before;
    }
    SettingsRecord r{};
    EXPECT_FALSE(stepChoice(r, 72));
}

}  // namespace
}  // namespace globaro
