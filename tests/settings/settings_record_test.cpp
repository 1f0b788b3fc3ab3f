// The settings record's operations beyond its field table: snapshots, the
// angle mirrors, progress counters and names.

#include "settings/settings_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <set>
#include <string>

#include "settings/golden_files.h"

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

TEST(SettingsAngles, SourcesOfVersionsOneToFortySixTakeTheirFloatsFromTheMirrors) {
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
}

TEST(SettingsAngles, ComputedAnglesSetMirrorsTruncatedTowardZero) {
    SettingsRecord r = patterned(5);
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
    for (auto [total, expected] : {std::pair{0, 1}, {-10, 1}, {8, 8}}) {
        setProgressTotal(r, total);
        EXPECT_EQ(r.progressTotal, expected);
    }
    for (auto [done, expected] : {std::pair{5, 5}, {50, 8}, {0, 1}, {-7, 1}}) {
        setProgressDone(r, done);
        EXPECT_EQ(r.progressDone, expected);
    }
    setName(r.settingsName, std::string(400, 'n').c_str());
    EXPECT_EQ(std::strlen(r.settingsName), kNameCapacity - 1);
    setName(r.settingsName, nullptr);
    EXPECT_STREQ(r.settingsName, "");
    EXPECT_EQ(Rgb16::from8(255, 0, 1), (Rgb16{65535, 0, 257}));
}

}  // namespace
}  // namespace globaro
