#include "settings/settings_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace globaro {
namespace {

// A record full of distinct values, so that a field copied to the wrong
// place shows up.
SettingsRecord patterned() {
    SettingsRecord r;
    auto* bytes = reinterpret_cast<unsigned char*>(&r);
    for (std::size_t i = 0; i < sizeof r; ++i) bytes[i] = static_cast<unsigned char>(i * 37 + 11);
    for (int i = 0; i < kLegacyWordCount; ++i) r.legacyWords[i] = 1000 + i;
    for (int i = 0; i < 6; ++i) {
        r.legacyFloats[i] = 0.25f * static_cast<float>(i + 1);
        r.legacyColors[i] = {static_cast<std::uint16_t>(100 + i), static_cast<std::uint16_t>(200 + i),
                             static_cast<std::uint16_t>(300 + i)};
    }
    setName(r.settingsName, "patterned");
    return r;
}

TEST(SettingsDefaults, ResetLeavesLegacyRunStateAndFolders) {
    const SettingsRecord before = patterned();
    SettingsRecord r = before;
    resetToDefaults(r);
    for (int i = 1; i <= 18; ++i) EXPECT_EQ(r.legacyWords[i], before.legacyWords[i]) << "word " << i;
    EXPECT_EQ(r.legacyWords[20], before.legacyWords[20]);
    EXPECT_EQ(0, std::memcmp(r.legacyColors, before.legacyColors, sizeof r.legacyColors));
    EXPECT_EQ(0, std::memcmp(r.legacyFloats, before.legacyFloats, sizeof r.legacyFloats));
    EXPECT_EQ(r.previewStep, before.previewStep);
    EXPECT_EQ(r.renderTarget, before.renderTarget);
    EXPECT_EQ(r.progressTotal, before.progressTotal);
    EXPECT_EQ(r.previewTop, before.previewTop);
    EXPECT_EQ(r.psdWidth, before.psdWidth);
    EXPECT_EQ(r.facesExportChoice, before.facesExportChoice);
    EXPECT_EQ(0, std::memcmp(r.saveFolder, before.saveFolder, kNameCapacity));
    EXPECT_STREQ(r.settingsName, "patterned");
}

TEST(SettingsDefaults, RunStateAndExportOptions) {
    SettingsRecord r = patterned();
    resetRunState(r);
    EXPECT_EQ(r.previewStep, 1);
    EXPECT_EQ(r.renderTarget, kRenderToHost);
    EXPECT_EQ(r.version, kVersionUnread);
    EXPECT_EQ(r.glue, 1);
    EXPECT_EQ(r.previewTop, 0);
    EXPECT_EQ(r.previewLeft, 0);
    resetExportOptions(r);
    EXPECT_EQ(r.facesExportChoice, 0);
    EXPECT_EQ(r.psdSizeMode, 1);
    EXPECT_EQ(r.psdWidth, 100);
    EXPECT_EQ(r.psdHeight, 100);
}

TEST(SettingsColours, EightBitColoursScaleBy257) {
    EXPECT_EQ(Rgb16::from8(255, 0, 1), (Rgb16{65535, 0, 257}));
    EXPECT_EQ(Rgb16::from8(215, 172, 220), (Rgb16{55255, 44204, 56540}));
}

TEST(SettingsSnapshots, RoundTripKeepsTheLookAndLegacyValues) {
    const SettingsRecord source = patterned();
    SettingsSnapshot snap;
    saveSnapshot(source, snap);

    SettingsRecord target;
    std::memset(static_cast<void*>(&target), 0, sizeof target);
    restoreSnapshot(snap, target);
    EXPECT_STREQ(target.settingsName, source.settingsName);
    EXPECT_EQ(target.lineColor, source.lineColor);
    EXPECT_EQ(target.tabColor, source.tabColor);
    EXPECT_EQ(target.backdropColor, source.backdropColor);
    EXPECT_EQ(0, std::memcmp(target.legacyColors, source.legacyColors, sizeof target.legacyColors));
    EXPECT_EQ(0, std::memcmp(target.legacyFloats, source.legacyFloats, sizeof target.legacyFloats));
    for (int i = 0; i <= 17; ++i) EXPECT_EQ(target.legacyWords[i], source.legacyWords[i]) << "word " << i;
    EXPECT_EQ(target.inputProjection, source.inputProjection);
    EXPECT_EQ(target.outputProjection, source.outputProjection);
    EXPECT_EQ(target.latitudeInteger, source.latitudeInteger);
    EXPECT_EQ(target.longitudeInteger, source.longitudeInteger);
    EXPECT_EQ(target.spinInteger, source.spinInteger);
    EXPECT_EQ(target.fovInteger, source.fovInteger);
    EXPECT_EQ(target.tabsInteger, source.tabsInteger);
    EXPECT_EQ(target.sharpeningInteger, source.sharpeningInteger);
    EXPECT_EQ(target.flip, source.flip);
    EXPECT_EQ(target.hqpr, source.hqpr);
    EXPECT_EQ(target.gridLegacy, source.gridLegacy);
    EXPECT_EQ(target.faces, source.faces);
    EXPECT_EQ(target.glue, source.glue);
    EXPECT_EQ(target.transparentGaps, source.transparentGaps);
    EXPECT_EQ(target.indicatrix, source.indicatrix);
    EXPECT_EQ(target.edges, source.edges);
    EXPECT_EQ(target.anamorphosis, source.anamorphosis);
    EXPECT_EQ(target.dehalo, source.dehalo);
    EXPECT_EQ(target.grid, source.grid);
    EXPECT_EQ(0, std::memcmp(&target.latitude, &source.latitude, sizeof(float)));
    EXPECT_EQ(0, std::memcmp(&target.longitude, &source.longitude, sizeof(float)));
    EXPECT_EQ(0, std::memcmp(&target.spin, &source.spin, sizeof(float)));
    EXPECT_EQ(0, std::memcmp(&target.fov, &source.fov, sizeof(float)));
    EXPECT_EQ(0, std::memcmp(&target.tabs, &source.tabs, sizeof(float)));
    EXPECT_EQ(0, std::memcmp(&target.sharpen, &source.sharpen, sizeof(float)));
}

TEST(SettingsSnapshots, RestoreNeverTouchesExportOptionsOrQuality) {
    SettingsRecord look = patterned();
    resetToDefaults(look);
    look.latitude = 45.0f;
    SettingsSnapshot snap;
    saveSnapshot(look, snap);

    SettingsRecord r = patterned();
    r.previewQuality = 1;
    r.brickLayers = 77;
    r.cubeSide = 1234;
    r.faceSize = 999;
    r.legacyWords[18] = -5;
    r.legacyWords[19] = -6;
    r.legacyWords[20] = -7;
    r.renderTarget = kRenderToPreview;
    const SettingsRecord before = r;
    restoreSnapshot(snap, r);
    EXPECT_EQ(r.latitude, 45.0f);
    EXPECT_EQ(r.previewQuality, 1);
    EXPECT_EQ(r.brickLayers, 77);
    EXPECT_EQ(r.cubeSide, 1234);
    EXPECT_EQ(r.faceSize, 999);
    EXPECT_EQ(r.legacyWords[18], -5);
    EXPECT_EQ(r.legacyWords[19], -6);
    EXPECT_EQ(r.legacyWords[20], -7);
    EXPECT_EQ(r.renderTarget, kRenderToPreview);
    EXPECT_EQ(r.brickColorset, before.brickColorset);
    EXPECT_EQ(r.psdWidth, before.psdWidth);
}

TEST(SettingsSnapshots, UnterminatedNameIsTerminatedOnRestore) {
    SettingsSnapshot snap;
    std::memset(static_cast<void*>(&snap), 'x', sizeof snap);
    SettingsRecord r = patterned();
    restoreSnapshot(snap, r);
    EXPECT_EQ(std::strlen(r.settingsName), kNameCapacity - 1);
}

TEST(SettingsAngles, OldSourcesTakeTheirFloatsFromTheMirrors) {
    SettingsRecord r = patterned();
    r.latitude = 12.5f;
    r.longitude = -33.25f;
    r.spin = 1.5f;
    r.fov = 90.5f;
    r.tabs = 20.5f;
    r.sharpen = 10.5f;
    r.latitudeInteger = 12;
    r.longitudeInteger = -33;
    r.spinInteger = 1;
    r.fovInteger = 90;
    r.tabsInteger = 20;
    r.sharpeningInteger = 10;

    for (std::int32_t version : {47, 48, 0, -999, 100}) {
        SettingsRecord keep = r;
        keep.version = version;
        syncAnglesFromIntegers(keep);
        EXPECT_EQ(keep.latitude, 12.5f) << "version " << version;
        EXPECT_EQ(keep.sharpen, 10.5f) << "version " << version;
    }
    for (std::int32_t version : {1, 30, 46}) {
        SettingsRecord old = r;
        old.version = version;
        syncAnglesFromIntegers(old);
        EXPECT_EQ(old.latitude, 12.0f) << "version " << version;
        EXPECT_EQ(old.longitude, -33.0f);
        EXPECT_EQ(old.spin, 1.0f);
        EXPECT_EQ(old.fov, 90.0f);
        EXPECT_EQ(old.tabs, 20.0f);
        EXPECT_EQ(old.sharpen, 10.0f);
    }
}

TEST(SettingsAngles, ComputedAnglesTruncateTowardZero) {
    SettingsRecord r = patterned();
    setComputedLatitude(r, -45.9f);
    setComputedLongitude(r, 179.99f);
    setComputedSpin(r, -0.5f);
    setComputedFov(r, 89.6f);
    EXPECT_EQ(r.latitude, -45.9f);
    EXPECT_EQ(r.latitudeInteger, -45);
    EXPECT_EQ(r.longitudeInteger, 179);
    EXPECT_EQ(r.spinInteger, 0);
    EXPECT_EQ(r.fovInteger, 89);
    setComputedSpin(r, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(r.spinInteger, 0);
}

TEST(SettingsProgress, CountersFollowTheirRules) {
    SettingsRecord r = patterned();
    setProgressTotal(r, 0);
    EXPECT_EQ(r.progressTotal, 1);
    setProgressTotal(r, -10);
    EXPECT_EQ(r.progressTotal, 1);
    setProgressTotal(r, 8);
    EXPECT_EQ(r.progressTotal, 8);
    setProgressDone(r, 5);
    EXPECT_EQ(r.progressDone, 5);
    setProgressDone(r, 50);
    EXPECT_EQ(r.progressDone, 8);
    setProgressDone(r, 0);
    EXPECT_EQ(r.progressDone, 1);
    setProgressDone(r, -7);
    EXPECT_EQ(r.progressDone, 1);
}

TEST(SettingsRanges, ClampBringsWildValuesHome) {
    SettingsRecord r = patterned();
    resetToDefaults(r);
    r.latitude = 400.0f;
    r.longitude = -1000.0f;
    r.spin = std::numeric_limits<float>::infinity();
    r.fov = std::numeric_limits<float>::quiet_NaN();
    r.tabs = -3.0f;
    r.sharpen = 101.0f;
    r.glue = 70;
    r.grid = 0;
    r.previewQuality = 9;
    r.brickLayers = 2;
    r.cubeSide = 1 << 30;
    r.faceSize = -1;
    r.flip = 7;
    r.faces = -1;
    r.brickColorset = 1 << 20;
    clampToRanges(r);
    EXPECT_EQ(r.latitude, 90.0f);
    EXPECT_EQ(r.longitude, -180.0f);
    EXPECT_EQ(r.spin, 0.0f);  // not a number: the default
    EXPECT_EQ(r.fov, 120.0f);
    EXPECT_EQ(r.tabs, 0.0f);
    EXPECT_EQ(r.sharpen, 100.0f);
    EXPECT_EQ(r.glue, 69);
    EXPECT_EQ(r.grid, 1);
    EXPECT_EQ(r.previewQuality, 3);
    EXPECT_EQ(r.brickLayers, 3);
    EXPECT_EQ(r.cubeSide, 30000);
    EXPECT_EQ(r.faceSize, 2);
    EXPECT_EQ(r.flip, 1);
    EXPECT_EQ(r.faces, 1);
    EXPECT_EQ(r.brickColorset, 4095);
}

TEST(SettingsRanges, DefaultsLieInsideTheirRanges) {
    SettingsRecord r = patterned();
    resetToDefaults(r);
    resetExportOptions(r);
    const SettingsRecord before = r;
    clampToRanges(r);
    EXPECT_EQ(0, std::memcmp(&r.glue, &before.glue, sizeof r.glue));
    EXPECT_EQ(r.fov, before.fov);
    EXPECT_EQ(r.cubeSide, before.cubeSide);
    EXPECT_EQ(r.transparentGaps, before.transparentGaps);
}

TEST(SettingsNames, SetNameTruncatesAndTerminates) {
    SettingsRecord r;
    std::string longName(400, 'n');
    setName(r.settingsName, longName.c_str());
    EXPECT_EQ(std::strlen(r.settingsName), kNameCapacity - 1);
    setName(r.settingsName, nullptr);
    EXPECT_STREQ(r.settingsName, "");
    setName(r.settingsName, "little planet.q2q");
    EXPECT_STREQ(r.settingsName, "little planet.q2q");
}

}  // namespace
}  // namespace globaro
