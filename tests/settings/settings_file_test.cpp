#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/temp_folder.h"
#include "settings/persist_test_support.h"

namespace globaro {
namespace {

using persist_test::appendWord;
using persist_test::distinctRecord;
using persist_test::readBytes;
using persist_test::wordAt;
using persist_test::wordsToBytes;
using persist_test::writeBytes;

class SettingsFiles : public persist_test::PrivateTempFolder {};

struct TableWord {
    std::int32_t value;
    int since;  // first version that carries the word
};

// The word table of the settings file, written out independently of the
// writer: every word with the first version that has it.
std::vector<TableWord> tableWords(const SettingsRecord& r, std::int32_t version) {
    std::vector<TableWord> t;
    auto add = [&t](std::int32_t v, int since) { t.push_back({v, since}); };
    auto color = [&add](const Rgb16& c, int since) {
        add(c.red, since);
        add(c.green, since);
        add(c.blue, since);
    };
    auto real = [&add](float f, int since) { add(static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(f)), since); };
    const std::int32_t* lw = r.legacyWords;
    add(version, 1);
    color(r.tabColor, 1);
    color(r.backdropColor, 1);
    color(r.legacyColors[0], 1);
    add(r.inputProjection, 1);
    add(lw[1], 1), add(lw[2], 1), add(lw[3], 1);
    add(r.latitudeInteger, 1);
    add(r.spinInteger, 1);
    add(lw[4], 1), add(lw[5], 1), add(lw[6], 1), add(lw[7], 1);
    add(r.outputProjection, 1);
    add(r.flip, 1);
    add(r.hqpr, 1);
    add(lw[8], 1);
    add(r.longitudeInteger, 1);
    add(r.tabsInteger, 1);
    add(lw[20], 1);
    add(lw[9], 1);
    add(lw[11], 1);
    add(lw[12], 1);
    color(r.legacyColors[3], 1);
    color(r.legacyColors[3], 1);
    color(r.legacyColors[5], 2);
    add(r.fovInteger, 2);
    add(lw[10], 2);
    add(r.gridLegacy, 2);
    add(r.glue, 3);
    add(1, 3);
    add(lw[13], 4), add(lw[14], 4), add(r.faces, 4);
    add(lw[16], 5), add(lw[17], 5);
    for (float f : r.legacyFloats) add(static_cast<std::int32_t>(std::lround(f * 100.0)), 8);
    add(lw[0], 12);
    add(lw[15], 14);
    add(1, 16);
    add(lw[18], 17);
    color(r.legacyColors[1], 18);
    color(r.legacyColors[2], 18);
    add(0, 22);
    color(r.legacyColors[4], 23);
    add(-1, 26), add(-1, 26);
    add(r.brickLayers, 30), add(lw[19], 30), add(r.spherePlan, 30), add(r.sphereStats, 30);
    add(r.cubeSide, 33);
    add(r.ldraw, 35), add(r.brickDiffusion, 35), add(r.brickColorset, 35), add(r.brickPlates, 35);
    add(r.faceSize, 36);
    add(r.sharpeningInteger, 37);
    add(r.transparentGaps, 38), add(r.edges, 38);
    add(0, 40);
    add(r.anamorphosis, 41);
    add(r.dehalo, 42);
    add(r.grid, 43);
    add(r.previewQuality, 44);
    add(r.indicatrix, 46);
    real(r.latitude, 47), real(r.longitude, 47), real(r.spin, 47), real(r.fov, 47), real(r.tabs, 47),
        real(r.sharpen, 47);
    color(r.lineColor, 48);
    return t;
}

// The words an older version's writer produced for `r`.
std::vector<std::int32_t> oldFileWords(const SettingsRecord& r, std::int32_t version) {
    std::vector<std::int32_t> words;
    for (const TableWord& w : tableWords(r, version))
        if (w.since <= version) words.push_back(w.value);
    return words;
}

std::vector<std::uint8_t> oldFile(const SettingsRecord& r, std::int32_t version) {
    return wordsToBytes(oldFileWords(r, version));
}

// 1-based word number of the table, as the format describes it.
std::int32_t word(const std::vector<std::uint8_t>& bytes, int number) {
    return wordAt(bytes, static_cast<std::size_t>(number - 1));
}

Thumbnail gradient(int side = kThumbnailSide) {
    Thumbnail t;
    t.width = t.height = side;
    t.rgb.resize(static_cast<std::size_t>(side) * side * 3);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            std::uint8_t* p = t.rgb.data() + (static_cast<std::size_t>(y) * side + x) * 3;
            p[0] = static_cast<std::uint8_t>(x * 2);
            p[1] = static_cast<std::uint8_t>(y * 2);
            p[2] = static_cast<std::uint8_t>(128);
        }
    return t;
}

// Every persisted field, legacy ones included: each has its word in the
// file, whose writer is checked against the word table above.
void expectPersistedEqual(const SettingsRecord& a, const SettingsRecord& b) {
    const std::vector<std::uint8_t> wa = encodeSettings(a, nullptr), wb = encodeSettings(b, nullptr);
    ASSERT_EQ(wa.size(), wb.size());
    for (std::size_t i = 0; i + 4 <= wa.size(); i += 4)
        EXPECT_EQ(wordAt(wa, i / 4), wordAt(wb, i / 4)) << "word " << i / 4 + 1;
}

SettingsRecord blankTarget() {
    SettingsRecord r{};
    resetToDefaults(r);
    resetRunState(r);
    resetExportOptions(r);
    return r;
}

// ---------------------------------------------------------------- writer

TEST(SettingsFileWriter, GoldenWordsWithoutThumbnail) {
    const SettingsRecord r = distinctRecord();
    const std::vector<std::uint8_t> bytes = encodeSettings(r, nullptr);
    ASSERT_EQ(bytes.size(), 396u);
    ASSERT_EQ(bytes.size(), kSettingsFileWords * 4);
    EXPECT_EQ(bytes, oldFile(r, 48));

    // The version leads, big-endian.
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[3], 48);
}

TEST(SettingsFileWriter, LegacyFloatsAreTruncatedHundredths) {
    SettingsRecord r = distinctRecord();
    const float floats[6] = {1.239f, -1.239f, 0.999f, 2.0e12f, -2.0e12f, std::nanf("")};
    for (int i = 0; i < 6; ++i) r.legacyFloats[i] = floats[i];
    const auto bytes = encodeSettings(r, nullptr);
    EXPECT_EQ(word(bytes, 50), 123);
    EXPECT_EQ(word(bytes, 51), -123);
    EXPECT_EQ(word(bytes, 52), 99);
    EXPECT_EQ(word(bytes, 53), 2147483647);
    EXPECT_EQ(word(bytes, 54), -2147483647 - 1);
    EXPECT_EQ(word(bytes, 55), 0);
}

TEST_F(SettingsFiles, WriteFileSetsVersionAndReplacesWhole) {
    const std::string path = tempFolder() + "a.q2q";
    writeBytes(path, std::vector<std::uint8_t>(5000, 0xEE));  // a longer file is replaced whole
    SettingsRecord r = distinctRecord();
    r.version = 3;
    ASSERT_EQ(writeSettingsFile(path, r, nullptr), kFileOk);
    EXPECT_EQ(r.version, 48);
    EXPECT_EQ(readBytes(path), encodeSettings(r, nullptr));
}

// ---------------------------------------------------------------- round trips

TEST(SettingsFileRoundTrip, EveryPersistedFieldComesBack) {
    const SettingsRecord written = distinctRecord();
    SettingsRecord read = blankTarget();
    setName(read.settingsName, "kept");
    read.psdWidth = 777;
    read.renderTarget = kRenderToPreview;
    const auto result = decodeSettings(encodeSettings(written, nullptr), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(result.status, kFileOk);
    EXPECT_TRUE(result.complete);
    EXPECT_FALSE(result.hasThumbnail);
    EXPECT_EQ(result.version, 48);
    expectPersistedEqual(written, read);
    EXPECT_EQ(read.version, 48);
    // Fields that are not persisted stay as they were.
    EXPECT_STREQ(read.settingsName, "kept");
    EXPECT_EQ(read.psdWidth, 777);
    EXPECT_EQ(read.renderTarget, kRenderToPreview);
}

TEST(SettingsFileRoundTrip, FreshDefaultsComeBackIncludingGridLegacy) {
    SettingsRecord written = blankTarget();
    SettingsRecord read = distinctRecord();
    decodeSettings(encodeSettings(written, nullptr), SettingsReadMode::kLoad, read, nullptr);
    written.version = 48;
    expectPersistedEqual(written, read);
    EXPECT_EQ(read.gridLegacy, 0);
    EXPECT_EQ(read.grid, 1);
}

TEST(SettingsFileRoundTrip, RereadAndRewriteGivesTheSameBytes) {
    SettingsRecord r = distinctRecord();
    // Hundredths that floats cannot hold exactly (0.29f is 0.28999999...).
    const float floats[6] = {0.29f, 0.57f, -0.29f, 1.13f, 3.0e-3f, 123.45f};
    for (int i = 0; i < 6; ++i) r.legacyFloats[i] = floats[i];
    const auto first = encodeSettings(r, nullptr);
    for (int pass = 0; pass < 3; ++pass) {
        SettingsRecord back = blankTarget();
        decodeSettings(first, SettingsReadMode::kLoad, back, nullptr);
        EXPECT_EQ(encodeSettings(back, nullptr), first) << "pass " << pass;
    }
    EXPECT_EQ(word(first, 50), 29);
    EXPECT_EQ(word(first, 51), 57);
    EXPECT_EQ(word(first, 52), -29);
    EXPECT_EQ(word(first, 53), 113);
    EXPECT_EQ(word(first, 54), 0);
    EXPECT_EQ(word(first, 55), 12345);
}

TEST(SettingsFileRoundTrip, EveryHundredthSurvivesRereading) {
    SettingsRecord r = distinctRecord();
    // Six hundredths per file, every one from -200.00 to 200.00.
    for (std::int32_t first = -20000; first <= 20000; first += 6) {
        for (int i = 0; i < 6; ++i) r.legacyFloats[i] = static_cast<float>((first + i) / 100.0);
        const auto bytes = encodeSettings(r, nullptr);
        SettingsRecord back = blankTarget();
        decodeSettings(bytes, SettingsReadMode::kLoad, back, nullptr);
        const auto again = encodeSettings(back, nullptr);
        for (int i = 0; i < 6; ++i) {
            ASSERT_EQ(word(bytes, 50 + i), first + i);
            ASSERT_EQ(word(again, 50 + i), first + i);
        }
    }
}

TEST(SettingsFileRoundTrip, SecondCopyOfLegacyColourThreeWins) {
    const SettingsRecord r = distinctRecord();
    std::vector<std::int32_t> words = oldFileWords(r, 48);
    words[30] = 11;  // words 31-33
    words[31] = 12;
    words[32] = 13;
    words[33] = 21;  // words 34-36
    words[34] = 22;
    words[35] = 23;
    SettingsRecord read = blankTarget();
    decodeSettings(wordsToBytes(words), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.legacyColors[3], (Rgb16{21, 22, 23}));
}

TEST(SettingsFileRoundTrip, ColourChannelsAreTheLowSixteenBits) {
    std::vector<std::int32_t> words = oldFileWords(distinctRecord(), 48);
    words[1] = 0x12345678;
    words[2] = -1;
    SettingsRecord read = blankTarget();
    decodeSettings(wordsToBytes(words), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.tabColor.red, 0x5678);
    EXPECT_EQ(read.tabColor.green, 0xFFFF);
}

TEST(SettingsFileRoundTrip, ValuesOutOfRangeAreClamped) {
    SettingsRecord r = distinctRecord();
    r.glue = 500;
    r.brickLayers = 1;
    r.latitude = 1000.0f;
    r.longitude = std::nanf("");
    r.flip = 7;
    r.cubeSide = 99999;
    SettingsRecord read = blankTarget();
    decodeSettings(encodeSettings(r, nullptr), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.glue, 69);
    EXPECT_EQ(read.brickLayers, 3);
    EXPECT_EQ(read.latitude, 90.0f);
    EXPECT_EQ(read.longitude, 0.0f);
    EXPECT_EQ(read.flip, 1);
    EXPECT_EQ(read.cubeSide, 30000);
}

// ---------------------------------------------------------------- older versions

TEST(SettingsFileOlderVersions, VersionFourteenTurnsLongitude) {
    SettingsRecord r = distinctRecord();
    r.longitudeInteger = 30;
    SettingsRecord read = blankTarget();
    const auto result = decodeSettings(oldFile(r, 14), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(result.status, kFileOk);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(read.longitudeInteger, 70);
    EXPECT_EQ(read.longitude, 70.0f);
}

TEST(SettingsFileOlderVersions, VersionTwentySevenShiftsOutputFourTimes) {
    SettingsRecord r = distinctRecord();
    r.outputProjection = 40;
    SettingsRecord read = blankTarget();
    decodeSettings(oldFile(r, 27), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.outputProjection, 44);
}

TEST(SettingsFileOlderVersions, VersionOneReadsOnlyItsFirstGroup) {
    SettingsRecord r = distinctRecord();
    r.inputProjection = 3;
    r.latitudeInteger = 20;
    r.longitudeInteger = 10;
    const auto bytes = oldFile(r, 1);
    ASSERT_EQ(bytes.size(), 36u * 4);
    SettingsRecord read = blankTarget();
    read.glue = 9;
    read.brickLayers = 44;
    read.legacyWords[13] = 1234;
    const auto result = decodeSettings(bytes, SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(result.status, kFileOk);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(read.version, 1);
    EXPECT_EQ(read.tabColor, r.tabColor);
    EXPECT_EQ(read.legacyColors[3], r.tabColor);  // version < 7
    EXPECT_EQ(read.legacyWords[16], 100);
    EXPECT_EQ(read.outputProjection, 54);  // 50, then +1 four times
    EXPECT_EQ(read.longitudeInteger, 90);
    EXPECT_EQ(read.fovInteger, 50);
    EXPECT_EQ(read.spinInteger, 57);
    EXPECT_EQ(read.tabsInteger, 0);
    EXPECT_EQ(read.legacyWords[13], 0);
    EXPECT_EQ(read.inputProjection, 10);  // 3 / 0.3
    EXPECT_EQ(read.faces, 0);
    // Groups of later versions keep what the record held.
    EXPECT_EQ(read.glue, 9);
    EXPECT_EQ(read.brickLayers, 44);
    // Floats follow the whole numbers for old versions.
    EXPECT_EQ(read.latitude, 20.0f);
    EXPECT_EQ(read.longitude, 90.0f);
    EXPECT_EQ(read.spin, 57.0f);
    EXPECT_EQ(read.fov, 50.0f);
    EXPECT_EQ(read.tabs, 0.0f);
}

TEST(SettingsFileOlderVersions, VersionTenConvertsGridAndWordSeventeen) {
    SettingsRecord r = distinctRecord();
    r.gridLegacy = 2;
    r.legacyWords[17] = 30;
    r.legacyFloats[0] = 1.5f;
    SettingsRecord read = blankTarget();
    decodeSettings(oldFile(r, 10), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.gridLegacy, 3);
    EXPECT_EQ(read.legacyWords[17], 70);
    EXPECT_FLOAT_EQ(read.legacyFloats[0], 1.5f);
    EXPECT_EQ(read.glue, 17);
}

TEST(SettingsFileOlderVersions, VersionSevenKeepsItsOutputButNotItsFloats) {
    SettingsRecord r = distinctRecord();
    r.outputProjection = 10;
    SettingsRecord read = blankTarget();
    read.legacyFloats[2] = 8.0f;
    decodeSettings(oldFile(r, 7), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.outputProjection, 11);  // only the version < 28 step
    EXPECT_EQ(read.legacyFloats[2], 8.0f);  // hundredths arrive with version 8
    EXPECT_EQ(read.fovInteger, 50);
}

TEST(SettingsFileOlderVersions, WordsSeventyAndSeventyOneCarryWordEighteen) {
    SettingsRecord r = distinctRecord();
    std::vector<std::int32_t> words = oldFileWords(r, 26);
    // Find words 70 and 71 of a version-26 file: everything up to 69 is there.
    ASSERT_EQ(words[69], -1);
    words[69] = 3 * 65536 + 100;
    words[70] = 5 * 65536;
    SettingsRecord read = blankTarget();
    decodeSettings(wordsToBytes(words), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.legacyWords[18], 5);  // the second wins
    words[70] = -1;                      // the writer's placeholder leaves the first
    decodeSettings(wordsToBytes(words), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.legacyWords[18], 3);
}

TEST(SettingsFileOlderVersions, FieldOfViewOfProjectionFourteenBeforeVersionThirtyFour) {
    SettingsRecord r = distinctRecord();
    r.outputProjection = 14;
    r.fovInteger = 90;
    SettingsRecord read = blankTarget();
    decodeSettings(oldFile(r, 33), SettingsReadMode::kLoad, read, nullptr);
    const double g = std::atan(std::tan(0.5 * 1.5707963265) * 0.5) * 0.6366197724870984;
    EXPECT_EQ(read.outputProjection, 14);
    EXPECT_EQ(read.fovInteger, static_cast<std::int32_t>(g * 180.0));
    EXPECT_EQ(read.fovInteger, 53);
    EXPECT_EQ(read.fov, 53.0f);  // version 33: floats follow the whole numbers

    r.fovInteger = 180;  // t = 1: nothing changes
    decodeSettings(oldFile(r, 33), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.fovInteger, 180);
    r.fovInteger = -40;  // t below 0 counts as 0
    decodeSettings(oldFile(r, 33), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.fovInteger, 0);
}

TEST(SettingsFileOlderVersions, ProjectionThirtyFiveBecomesThirtyEightUpToVersionFortyFour) {
    SettingsRecord r = distinctRecord();
    r.outputProjection = 35;
    SettingsRecord read = blankTarget();
    decodeSettings(oldFile(r, 44), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.outputProjection, 38);
    EXPECT_EQ(read.fovInteger, 33);
    decodeSettings(oldFile(r, 45), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.outputProjection, 35);
}

TEST(SettingsFileOlderVersions, VersionFortySixTakesFloatsFromWholeNumbersFortySevenKeepsThem) {
    SettingsRecord r = distinctRecord();
    SettingsRecord read = blankTarget();
    decodeSettings(oldFile(r, 46), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.indicatrix, 1);
    EXPECT_EQ(read.latitude, -12.0f);
    EXPECT_EQ(read.sharpen, 41.0f);
    EXPECT_EQ(read.lineColor, blankTarget().lineColor);
    decodeSettings(oldFile(r, 47), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(read.latitude, -12.5f);
    EXPECT_EQ(read.sharpen, 41.0625f);
}

TEST(SettingsFileOlderVersions, EveryVersionReadsCompletelyAndKeepsTheLaterGroups) {
    const SettingsRecord r = distinctRecord();
    for (std::int32_t v = 1; v <= 48; ++v) {
        SettingsRecord read = blankTarget();
        const auto result = decodeSettings(oldFile(r, v), SettingsReadMode::kLoad, read, nullptr);
        EXPECT_EQ(result.status, kFileOk) << v;
        EXPECT_TRUE(result.complete) << v;
        EXPECT_EQ(read.version, v);
        EXPECT_EQ(read.backdropColor, r.backdropColor) << v;
        EXPECT_EQ(read.glue, v >= 3 ? r.glue : 1) << v;
        EXPECT_EQ(read.cubeSide, v >= 33 && v != 30 ? r.cubeSide : 256) << v;
        EXPECT_EQ(read.dehalo, v >= 42 ? 1 : 0) << v;
        EXPECT_EQ(read.previewQuality, v >= 44 ? 2 : 3) << v;
        EXPECT_EQ(read.legacyColors[4], v >= 23 && v != 30 ? r.legacyColors[4] : Rgb16{}) << v;
    }
}

TEST(SettingsFileOlderVersions, VersionThirtyStopsAfterItsOldThumbnailBlock) {
    SettingsRecord r = distinctRecord();
    std::vector<std::int32_t> words = oldFileWords(r, 30);
    // Put a 2 x 1 picture into the old thumbnail block at word 66.
    ASSERT_EQ(words[65], 0);
    std::vector<std::int32_t> withPicture(words.begin(), words.begin() + 65);
    withPicture.insert(withPicture.end(), {1, 2, 1});
    std::vector<std::uint8_t> bytes = wordsToBytes(withPicture);
    for (std::uint8_t b : {10, 20, 30, 40, 50, 60}) bytes.push_back(b);
    for (auto it = words.begin() + 66; it != words.end(); ++it) appendWord(bytes, *it);
    SettingsRecord read = blankTarget();
    Thumbnail thumbnail = gradient(4);
    const auto result = decodeSettings(bytes, SettingsReadMode::kLoad, read, &thumbnail);
    EXPECT_EQ(result.status, kFileOk);
    EXPECT_FALSE(result.hasThumbnail);
    EXPECT_TRUE(thumbnail.empty());
    EXPECT_EQ(read.legacyColors[2], r.legacyColors[2]);  // before the block
    EXPECT_EQ(read.legacyColors[4], Rgb16{});            // after it: not read
    EXPECT_EQ(read.brickLayers, 20);
}

// ---------------------------------------------------------------- thumbnails

std::vector<std::uint8_t> fileWithOldThumbnail(const SettingsRecord& r, std::int32_t version, std::int32_t flag,
                                               std::int32_t width, std::int32_t height,
                                               const std::vector<std::uint8_t>& pixels) {
    const std::vector<std::int32_t> words = oldFileWords(r, version);
    std::vector<std::uint8_t> bytes = wordsToBytes({words.begin(), words.begin() + 65});
    appendWord(bytes, flag);
    if (flag != 0) {
        appendWord(bytes, width);
        appendWord(bytes, height);
        bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    }
    for (auto it = words.begin() + 66; it != words.end(); ++it) appendWord(bytes, *it);
    return bytes;
}

TEST(SettingsFileThumbnails, OldThumbnailBlockIsDecodedOrSkipped) {
    const SettingsRecord r = distinctRecord();
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < 4 * 3 * 3; ++i) pixels.push_back(static_cast<std::uint8_t>(i * 7));
    const auto bytes = fileWithOldThumbnail(r, 25, 1, 4, 3, pixels);
    Thumbnail t;
    SettingsRecord read = blankTarget();
    auto result = decodeSettings(bytes, SettingsReadMode::kLoad, read, &t);
    EXPECT_TRUE(result.hasThumbnail);
    EXPECT_EQ(t.width, 4);
    EXPECT_EQ(t.height, 3);
    EXPECT_EQ(t.rgb, pixels);
    EXPECT_EQ(read.legacyColors[4], r.legacyColors[4]);
    // Not wanted: the same fields after it.
    SettingsRecord without = blankTarget();
    result = decodeSettings(bytes, SettingsReadMode::kLoad, without, nullptr);
    EXPECT_FALSE(result.hasThumbnail);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(without.legacyColors[4], r.legacyColors[4]);
    expectPersistedEqual(read, without);
}

TEST(SettingsFileThumbnails, OldBlockOfUnknownKindIsSkippedByItsFixedSize) {
    const SettingsRecord r = distinctRecord();
    const auto bytes = fileWithOldThumbnail(r, 35, 2, 64, 64, std::vector<std::uint8_t>(kOldThumbnailSkip, 9));
    Thumbnail t;
    SettingsRecord read = blankTarget();
    const auto result = decodeSettings(bytes, SettingsReadMode::kLoad, read, &t);
    EXPECT_FALSE(result.hasThumbnail);
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(read.brickLayers, r.brickLayers);
}

TEST(SettingsFileThumbnails, JpegThumbnailRoundTrip) {
    SettingsRecord r = distinctRecord();
    const Thumbnail picture = gradient();
    const auto bytes = encodeSettings(r, &picture);
    ASSERT_GT(bytes.size(), 396u + 12u);
    EXPECT_EQ(word(bytes, 85), 1);
    EXPECT_EQ(word(bytes, 86), 128);
    EXPECT_EQ(word(bytes, 87), 128);
    const std::int32_t n = word(bytes, 88);
    ASSERT_GT(n, 100);
    ASSERT_LE(static_cast<std::size_t>(n), kThumbnailJpegLimit);
    EXPECT_EQ(bytes.size(), 396u + 12u + static_cast<std::size_t>(n));  // not padded
    EXPECT_EQ(bytes[88 * 4], 0xFF);
    EXPECT_EQ(bytes[88 * 4 + 1], 0xD8);
    EXPECT_EQ(bytes[88 * 4 + n - 2], 0xFF);
    EXPECT_EQ(bytes[88 * 4 + n - 1], 0xD9);

    Thumbnail t;
    SettingsRecord read = blankTarget();
    const auto result = decodeSettings(bytes, SettingsReadMode::kLoad, read, &t);
    EXPECT_TRUE(result.hasThumbnail);
    EXPECT_TRUE(result.complete);
    expectPersistedEqual(r, read);
    ASSERT_EQ(t.width, 128);
    ASSERT_EQ(t.height, 128);
    double total = 0;
    int worst = 0;
    for (std::size_t i = 0; i < t.rgb.size(); ++i) {
        const int d = std::abs(int{t.rgb[i]} - int{picture.rgb[i]});
        total += d;
        worst = std::max(worst, d);
    }
    EXPECT_LT(total / static_cast<double>(t.rgb.size()), 2.0);
    EXPECT_LT(worst, 24);

    // Thumbnail mode reads the picture and leaves the record alone.
    SettingsRecord untouched = blankTarget();
    const SettingsRecord before = untouched;
    Thumbnail only;
    const auto thumbResult = decodeSettings(bytes, SettingsReadMode::kThumbnail, untouched, &only);
    EXPECT_TRUE(thumbResult.hasThumbnail);
    EXPECT_EQ(only.rgb, t.rgb);
    EXPECT_EQ(std::memcmp(&untouched, &before, sizeof before), 0);
}

TEST(SettingsFileThumbnails, SmallThumbnailRecordsAtLeastSixteen) {
    const Thumbnail small = gradient(8);
    const auto bytes = encodeSettings(distinctRecord(), &small);
    EXPECT_EQ(word(bytes, 86), 16);
    EXPECT_EQ(word(bytes, 87), 16);
    Thumbnail t;
    SettingsRecord read = blankTarget();
    EXPECT_TRUE(decodeSettings(bytes, SettingsReadMode::kThumbnail, read, &t).hasThumbnail);
    EXPECT_EQ(t.width, 8);
}

TEST(SettingsFileThumbnails, EmptyThumbnailWritesTheSingleWord) {
    const Thumbnail none;
    EXPECT_EQ(encodeSettings(distinctRecord(), &none), encodeSettings(distinctRecord(), nullptr));
}

TEST_F(SettingsFiles, ThumbnailJpegIsReadableByAnIndependentReader) {
    if (std::system("command -v oiiotool > /dev/null 2>&1") != 0) GTEST_SKIP() << "oiiotool is not installed";
    const Thumbnail picture = gradient();
    SettingsRecord r = distinctRecord();
    ASSERT_EQ(writeSettingsFile(path("thumb.q2q"), r, &picture), kFileOk);
    const auto bytes = readBytes(path("thumb.q2q"));
    const std::int32_t n = wordAt(bytes, 87);
    ASSERT_GT(n, 0);
    persist_test::writeBytes(path("thumb.jpg"), {bytes.begin() + 88 * 4, bytes.begin() + 88 * 4 + n});
    const std::string command = "oiiotool --info '" + path("thumb.jpg") + "' > '" + path("info.txt") + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto info = readBytes(path("info.txt"));
    const std::string text(info.begin(), info.end());
    std::string packed;
    for (char c : text)
        if (c != ' ') packed.push_back(c);
    EXPECT_NE(packed.find("128x128,3channel"), std::string::npos) << text;
    EXPECT_NE(text.find("jpeg"), std::string::npos) << text;
}

std::vector<std::uint8_t> fileWithThumbnailBlock(const SettingsRecord& r, std::int32_t flag, std::int32_t count,
                                                 const std::vector<std::uint8_t>& payload) {
    const std::vector<std::int32_t> words = oldFileWords(r, 48);
    std::vector<std::uint8_t> bytes = wordsToBytes({words.begin(), words.begin() + 84});
    appendWord(bytes, flag);
    appendWord(bytes, 128);
    appendWord(bytes, 128);
    appendWord(bytes, count);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    for (auto it = words.begin() + 85; it != words.end(); ++it) appendWord(bytes, *it);
    return bytes;
}

TEST(SettingsFileThumbnails, OversizedOrForeignBlocksAreSkipped) {
    const SettingsRecord r = distinctRecord();
    for (std::int32_t flag : {1, 2, 7}) {
        const std::size_t size = flag == 1 ? kThumbnailJpegLimit + 1 : 300;
        const auto bytes = fileWithThumbnailBlock(r, flag, static_cast<std::int32_t>(size),
                                                  std::vector<std::uint8_t>(size, 0x55));
        Thumbnail t = gradient(4);
        SettingsRecord read = blankTarget();
        const auto result = decodeSettings(bytes, SettingsReadMode::kLoad, read, &t);
        EXPECT_FALSE(result.hasThumbnail) << flag;
        EXPECT_TRUE(result.complete) << flag;
        EXPECT_TRUE(t.empty());
        expectPersistedEqual(r, read);
    }
}

TEST(SettingsFileThumbnails, CorruptJpegGivesNoThumbnailAndTheRestIsRead) {
    const SettingsRecord r = distinctRecord();
    std::vector<std::uint8_t> garbage(700);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 131 + 7);
    garbage[0] = 0xFF;
    garbage[1] = 0xD8;
    // A real stream cut in half, too.
    std::vector<std::uint8_t> real;
    ASSERT_TRUE(encodeThumbnailJpeg(gradient(), 80, real));
    std::vector<std::uint8_t> half(real.begin(), real.begin() + static_cast<std::ptrdiff_t>(real.size() / 2));
    for (const auto& payload : {garbage, half, std::vector<std::uint8_t>{}}) {
        const auto bytes = fileWithThumbnailBlock(r, 1, static_cast<std::int32_t>(payload.size()), payload);
        Thumbnail t;
        SettingsRecord read = blankTarget();
        const auto result = decodeSettings(bytes, SettingsReadMode::kLoad, read, &t);
        EXPECT_FALSE(result.hasThumbnail);
        EXPECT_TRUE(result.complete);
        EXPECT_TRUE(t.empty());
        expectPersistedEqual(r, read);
    }
}

TEST(ThumbnailJpeg, DamagedStreamsNeverCrash) {
    std::vector<std::uint8_t> good;
    ASSERT_TRUE(encodeThumbnailJpeg(gradient(), kThumbnailQuality, good));
    Thumbnail t;
    ASSERT_TRUE(decodeThumbnailJpeg(good, t));
    std::uint32_t state = 777;
    int decoded = 0;
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::uint8_t> bad = good;
        for (int k = 0; k < 1 + trial % 8; ++k) {
            state = state * 1664525u + 1013904223u;
            bad[(state >> 8) % bad.size()] ^= static_cast<std::uint8_t>(1u << (state % 8));
        }
        if (decodeThumbnailJpeg(bad, t)) {
            ++decoded;
            EXPECT_EQ(t.rgb.size(), static_cast<std::size_t>(t.width) * t.height * 3);
        } else {
            EXPECT_TRUE(t.empty());
        }
    }
    SUCCEED() << decoded << " damaged streams still decoded";
}

TEST(ThumbnailJpeg, HugeDeclaredSizeIsRefused) {
    std::vector<std::uint8_t> jpeg;
    ASSERT_TRUE(encodeThumbnailJpeg(gradient(), kThumbnailQuality, jpeg));
    std::size_t sof = 0;
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            sof = i;
            break;
        }
    ASSERT_GT(sof, 0u);
    jpeg[sof + 5] = 0xFF;  // height 65535
    jpeg[sof + 6] = 0xFF;
    Thumbnail t;
    EXPECT_FALSE(decodeThumbnailJpeg(jpeg, t));
    EXPECT_TRUE(t.empty());
}

TEST(ThumbnailJpeg, EncoderRefusesBadImages) {
    std::vector<std::uint8_t> jpeg;
    Thumbnail t;
    EXPECT_FALSE(encodeThumbnailJpeg(t, 80, jpeg));
    t.width = t.height = 4;
    t.rgb.resize(5);  // too few pixels
    EXPECT_FALSE(encodeThumbnailJpeg(t, 80, jpeg));
    EXPECT_TRUE(jpeg.empty());
}

// ---------------------------------------------------------------- hostile files

TEST(SettingsFileHostile, EveryTruncationReadsCleanly) {
    const SettingsRecord r = distinctRecord();
    const Thumbnail picture = gradient();
    const auto full = encodeSettings(r, &picture);
    for (std::size_t length = 0; length <= full.size(); ++length) {
        const std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        SettingsRecord read = blankTarget();
        Thumbnail t;
        const auto result = decodeSettings(cut, SettingsReadMode::kLoad, read, &t);
        if (length < 4) {
            ASSERT_EQ(result.status, kSettingsFileUnknown) << length;
            continue;
        }
        ASSERT_EQ(result.status, kFileOk) << length;
        ASSERT_EQ(result.complete, length == full.size()) << length;
        if (length >= 7 * 4) {
            ASSERT_EQ(read.backdropColor, r.backdropColor) << length;
        }
        if (length < 84 * 4) {
            ASSERT_EQ(read.edges, 0) << length;  // defaults beyond the end
        }
        ASSERT_EQ(read.lineColor == r.lineColor, length == full.size()) << length;
    }
}

TEST(SettingsFileHostile, HugeAndNegativeBlockSizesStopCleanly) {
    const SettingsRecord r = distinctRecord();
    for (std::int32_t count : {0x7FFFFFFF, -1, -2147483647 - 1, 1 << 30}) {
        for (std::int32_t flag : {1, 3}) {
            const auto bytes = fileWithThumbnailBlock(r, flag, count, {1, 2, 3});
            Thumbnail t;
            SettingsRecord read = blankTarget();
            const auto result = decodeSettings(bytes, SettingsReadMode::kLoad, read, &t);
            EXPECT_EQ(result.status, kFileOk);
            EXPECT_FALSE(result.complete);
            EXPECT_FALSE(result.hasThumbnail);
            EXPECT_EQ(read.edges, r.edges);          // before the block
            EXPECT_EQ(read.grid, 1);                 // after it: not reached
        }
    }
    // Old blocks with wild sizes are clamped to 128 x 128 and run out of data.
    const auto bytes = fileWithOldThumbnail(r, 25, 1, 1 << 30, -5, {1, 2, 3});
    SettingsRecord read = blankTarget();
    Thumbnail t;
    EXPECT_EQ(decodeSettings(bytes, SettingsReadMode::kLoad, read, &t).status, kFileOk);
}

TEST(SettingsFileHostile, UnknownVersionsChangeNothing) {
    for (std::int32_t v : {0, -1, 49, 1000, -2147483647 - 1}) {
        std::vector<std::int32_t> words = oldFileWords(distinctRecord(), 48);
        words[0] = v;
        SettingsRecord read = blankTarget();
        const SettingsRecord before = read;
        Thumbnail t = gradient(4);
        const auto result = decodeSettings(wordsToBytes(words), SettingsReadMode::kLoad, read, &t);
        EXPECT_EQ(result.status, kSettingsFileUnknown) << v;
        EXPECT_EQ(std::memcmp(&read, &before, sizeof before), 0) << v;
        EXPECT_EQ(t.width, 4);  // untouched too
    }
}

TEST(SettingsFileHostile, GarbageGivesInRangeSettings) {
    std::uint32_t state = 12345;
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(trial * 7 % 900));
        for (auto& b : bytes) {
            state = state * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(state >> 24);
        }
        if (bytes.size() >= 4) {  // a plausible version, garbage after it
            bytes[0] = bytes[1] = bytes[2] = 0;
            bytes[3] = static_cast<std::uint8_t>(1 + trial % 48);
        }
        SettingsRecord read = blankTarget();
        Thumbnail t;
        const auto result = decodeSettings(bytes, SettingsReadMode::kLoad, read, &t);
        if (result.status != kFileOk) continue;
        EXPECT_GE(read.glue, 1);
        EXPECT_LE(read.glue, 69);
        EXPECT_TRUE(read.latitude >= -90.0f && read.latitude <= 90.0f);
        EXPECT_TRUE(read.fov >= 0.0f && read.fov <= 180.0f);
        EXPECT_TRUE(read.flip == 0 || read.flip == 1);
        EXPECT_GE(read.brickLayers, 3);
        EXPECT_LE(read.brickLayers, 150);
    }
}

// ---------------------------------------------------------------- files and folders

TEST_F(SettingsFiles, MissingFileLeavesTheSettingsAlone) {
    SettingsRecord read = distinctRecord();
    const SettingsRecord before = read;
    const auto result = readSettingsFile(path("absent.q2q"), SettingsReadMode::kLoad, read, nullptr);
    EXPECT_EQ(result.status, kFileNotFound);
    EXPECT_EQ(std::memcmp(&read, &before, sizeof before), 0);
    Thumbnail t;
    EXPECT_FALSE(readSettingsThumbnail(path("absent.q2q"), t).hasThumbnail);
}

TEST_F(SettingsFiles, WriteAndReadAFile) {
    SettingsRecord r = distinctRecord();
    const Thumbnail picture = gradient();
    ASSERT_EQ(writeSettingsFile(path("one.q2q"), r, &picture), kFileOk);
    SettingsRecord read = blankTarget();
    Thumbnail t;
    const auto result = readSettingsFile(path("one.q2q"), SettingsReadMode::kLoad, read, &t);
    EXPECT_EQ(result.status, kFileOk);
    EXPECT_TRUE(result.hasThumbnail);
    expectPersistedEqual(r, read);
    Thumbnail only;
    EXPECT_TRUE(readSettingsThumbnail(path("one.q2q"), only).hasThumbnail);
    EXPECT_EQ(only.width, 128);
}

TEST_F(SettingsFiles, AFailedWriteKeepsTheGoodFile) {
    SettingsRecord r = distinctRecord();
    // Into a folder that does not exist: the file cannot be created.
    EXPECT_EQ(writeSettingsFile(path("no/such/folder.q2q"), r, nullptr), kFileNotFound);
    // Onto a name that is a folder: the data are written but cannot take its place.
    std::filesystem::create_directory(path("taken"));
    EXPECT_EQ(writeSettingsFile(path("taken"), r, nullptr), kFileWriteFailed);
    // Nothing half-written is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(SettingsFiles, TempFolderFollowsTmpdir) {
    EXPECT_EQ(tempFolder(), folder() + "/");
    ::setenv("TMPDIR", (folder() + "/missing").c_str(), 1);
    EXPECT_EQ(tempFolder(), "/tmp/");
    ::setenv("TMPDIR", "", 1);
    EXPECT_EQ(tempFolder(), "/tmp/");
}

TEST(FilePaths, NamesFoldersAndExtensions) {
    EXPECT_EQ(fileNameOf("/a/b/c.q2q"), "c.q2q");
    EXPECT_EQ(folderOf("/a/b/c.q2q"), "/a/b/");
    EXPECT_EQ(fileNameOf("c.q2q"), "c.q2q");
    EXPECT_EQ(folderOf("c.q2q"), "");
    EXPECT_EQ(withoutLastExtension("x.y.q2q"), "x.y");
    EXPECT_EQ(withoutLastExtension("plain"), "plain");
    EXPECT_EQ(withoutLastExtension(".hidden"), ".hidden");
    EXPECT_EQ(withoutLastExtension("little planet.q2q"), "little planet");
}

TEST_F(SettingsFiles, ReadWholeFileHonoursItsCap) {
    persist_test::writeBytes(path("ten"), std::vector<std::uint8_t>(10, 1));
    std::vector<std::uint8_t> bytes;
    bool clipped = false;
    EXPECT_EQ(readWholeFile(path("ten"), 4, bytes, &clipped), kFileOk);
    EXPECT_EQ(bytes.size(), 4u);
    EXPECT_TRUE(clipped);
    EXPECT_EQ(readWholeFile(path("ten"), 10, bytes, &clipped), kFileOk);
    EXPECT_EQ(bytes.size(), 10u);
    EXPECT_FALSE(clipped);
    EXPECT_EQ(readWholeFile(path("none"), 10, bytes, &clipped), kFileNotFound);
    EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace globaro
#include "settings/golden_files.h"
namespace globaro { namespace {
TEST(TemporaryGoldenCheck, OlderGoldensMatchTheIndependentWordTable) {
    for (int v = 1; v <= 47; ++v) {
        if (v == 25 || v == 30) continue;
        char name[32];
        std::snprintf(name, sizeof name, "settings-v%02d.q2q", v);
        EXPECT_EQ(golden::load(name), oldFile(distinctRecord(), v)) << v;
    }
    EXPECT_EQ(golden::load("settings-v48.q2q"), oldFile(distinctRecord(), 48));
}
}}
