// The settings file: golden files of every version (see golden_files.h) that read as their records, write
// back byte for byte where the format allows, and whose mutants (and those of bare thumbnails) read in range
// or change nothing; then conversions, legacy hundredths, thumbnail blocks, damage and real files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "platform/temp_folder.h"
#include "settings/golden_files.h"
#include "settings/hostile_mutator.h"
#include "settings/persist_test_support.h"
#include "settings/settings_file.h"

namespace globaro {
namespace {

using persist_test::appendWord;
using persist_test::distinctRecord;
using persist_test::freshRecord;
using persist_test::gradient;
using persist_test::putWord;
using persist_test::wordAt;

// Every field beyond its range: above it, or below it.
SettingsRecord wild(bool high) {
    SettingsRecord r = distinctRecord();
    for (const SettingsField& f : settingsFields()) {
        if (f.type == FieldType::kBoolean) f.place.integerIn(r) = high ? 7 : -1;
        if (!f.range.any()) continue;
        if (f.type == FieldType::kFloat) f.place.floatIn(r) = high ? 1e30f : std::nanf("");
        if (f.type == FieldType::kInteger) f.place.integerIn(r) = high ? 1 << 30 : -(1 << 30);
    }
    return r;
}

// A file as the writer of an older version made it (each word only from the
// version that brought it), with an old-style thumbnail of `side` x 1 pixels at word 66.
std::vector<std::uint8_t> olderFile(std::int32_t version, int side) {
    std::vector<int> since(kSettingsFileWords, 0);
    for (const SettingsField& f : settingsFields())
        for (int at : {f.word, f.againAt})
            for (int i = 0; at != 0 && i < (f.type == FieldType::kColor ? 3 : 1); ++i)
                since[static_cast<std::size_t>(at - 1 + i)] = f.since;
    for (auto [word, v] : {std::pair{44, 3}, {58, 16}, {66, 22}, {70, 26}, {71, 26}, {85, 40}})
        since[static_cast<std::size_t>(word - 1)] = v;  // words of the format itself
    const auto words = encodeSettings(distinctRecord(), nullptr);
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < since.size(); ++i) {
        if (since[i] == 0 || since[i] > version) continue;
        if (i == 65 && side != 0) {
            for (std::int32_t w : {1, side, 1}) persist_test::appendWord(bytes, w);
            for (int p = 0; p < side * 3; ++p) bytes.push_back(std::uint8_t(p * 20 + 10));
        } else {
            persist_test::appendWord(bytes, i == 0 ? version : persist_test::wordAt(words, i));
        }
    }
    return bytes;
}

struct Golden {
    std::string name;
    std::function<std::vector<std::uint8_t>()> make;
    const Thumbnail* rewriteWith = nullptr;  // the thumbnail to write it back with
    bool rewrites = true;                    // read and written again, the same bytes
};

const Thumbnail kPicture = gradient(kThumbnailSide, kThumbnailSide);

std::vector<Golden> goldens() {
    std::vector<Golden> list = {
        {"settings-v48.q2q", [] { return encodeSettings(distinctRecord(), nullptr); }},
        {"defaults-v48.q2q", [] { return encodeSettings(freshRecord(), nullptr); }},
        {"preset-v48.q2q", [] { return encodeSettings(distinctRecord(), &kPicture); }, &kPicture},
        {"wild-high-v48.q2q", [] { return encodeSettings(wild(true), nullptr); }, nullptr, false},
        {"wild-low-v48.q2q", [] { return encodeSettings(wild(false), nullptr); }, nullptr, false},
    };
    for (int v = 1; v <= 47; ++v) {
        char name[32];
        std::snprintf(name, sizeof name, "settings-v%02d.q2q", v);
        list.push_back({name, [v] { return olderFile(v, v == 25 ? 4 : v == 30 ? 2 : 0); }, nullptr, false});
    }
    return list;
}

// Every field the table ranges lies in its range; Booleans are 0 or 1.
void expectInRange(const SettingsRecord& r, const std::string& what) {
    for (const SettingsField& f : settingsFields()) {
        const auto boolean = [&] { return f.place.integerIn(r) == 0 || f.place.integerIn(r) == 1; };
        ASSERT_TRUE(f.type != FieldType::kBoolean || boolean()) << f.name << what;
        if (!f.range.any()) continue;
        const double v = f.type == FieldType::kFloat ? f.place.floatIn(r) : f.place.integerIn(r);
        ASSERT_TRUE(v >= f.range.lo && v <= f.range.hi) << f.name << " = " << v << what;
    }
}

TEST(SettingsGolden, EachFileReadsAsItsRecordAndWritesBackTheSameBytes) {
    for (const Golden& g : goldens()) {
        if (golden::updating()) golden::save(g.name, g.make());
        const auto bytes = golden::load(g.name);
        ASSERT_FALSE(bytes.empty()) << g.name;
        EXPECT_EQ(g.make(), bytes) << g.name << ": its record no longer writes these bytes";
        SettingsRecord r = freshRecord();
        Thumbnail t;
        const auto result = decodeSettings(bytes, SettingsReadMode::kLoad, r, &t);
        ASSERT_EQ(result.status, kFileOk) << g.name;
        EXPECT_TRUE(result.complete) << g.name;
        if (golden::updating()) golden::saveExpectedLine(g.name, golden::describe(r, &t));
        golden::expectDescription(g.name, golden::describe(r, &t));
        expectInRange(r, " in " + g.name);
        EXPECT_TRUE(!g.rewrites || encodeSettings(r, g.rewriteWith) == bytes) << g.name << " written back";
        // Thumbnail mode finds the same thumbnail and leaves the record alone.
        const SettingsRecord before = r;
        Thumbnail only;
        EXPECT_EQ(decodeSettings(bytes, SettingsReadMode::kThumbnail, r, &only).hasThumbnail, !t.empty()) << g.name;
        EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0) << g.name;
    }
}

TEST(SettingsGolden, MutantsReadInRangeOrChangeNothing) {
    std::vector<std::vector<std::uint8_t>> samples;
    for (const Golden& g : goldens()) samples.push_back(golden::load(g.name));
    hostile::Mutator m(0x5E771265u);
    std::size_t refused = 0, cut = 0;
    for (std::size_t n = 0; n < 6000; ++n) {
        const std::vector<std::uint8_t> bytes = m.mutate(samples);
        const SettingsRecord before = freshRecord();
        SettingsRecord r = before;
        Thumbnail t;
        const auto result = decodeSettings(bytes, SettingsReadMode::kLoad, r, n % 4 == 3 ? nullptr : &t);
        const std::string what = ", case " + std::to_string(n);
        if (result.status != kFileOk) {
            ASSERT_EQ(result.status, kSettingsFileUnknown) << what;
            ASSERT_EQ(std::memcmp(&r, &before, sizeof r), 0) << what;
            ++refused;
            continue;
        }
        cut += result.complete ? 0 : 1;
        ASSERT_EQ(r.version, result.version) << what;
        expectInRange(r, what);
        ASSERT_EQ(result.hasThumbnail, !t.empty()) << what;
        ASSERT_EQ(t.rgb.size(), static_cast<std::size_t>(t.width) * t.height * 3) << what;
        ASSERT_LE(t.width, kThumbnailMaxSide) << what;
    }
    EXPECT_GT(refused, 10u);
    EXPECT_GT(cut, 100u);
}

TEST(HostileThumbnail, MutatedStreamsFailCleanlyOrDecodeWholeAndHugeSidesAreRefused) {
    std::vector<std::vector<std::uint8_t>> samples;
    for (auto [w, h, q] : {std::tuple{128, 128, 80}, {16, 16, 80}, {33, 7, 30}, {1, 1, 100}}) {
        samples.emplace_back();
        ASSERT_TRUE(encodeThumbnailJpeg(gradient(w, h), q, samples.back()));
    }
    hostile::Mutator m(0x7B0A11u);
    std::size_t decoded = 0, refused = 0;
    for (std::size_t n = 0; n < 2500; ++n) {
        Thumbnail t = gradient(3, 3);
        if (decodeThumbnailJpeg(m.mutate(samples), t)) {
            ++decoded;
            ASSERT_TRUE(t.width > 0 && t.width <= kThumbnailMaxSide && t.height <= kThumbnailMaxSide) << n;
            ASSERT_EQ(t.rgb.size(), static_cast<std::size_t>(t.width) * t.height * 3) << n;
        } else {
            ++refused;
            ASSERT_TRUE(t.empty() && t.rgb.empty()) << n;
        }
    }
    EXPECT_TRUE(decoded > 0 && refused > 100);
    // Tiny streams and frames (FF C0, then height and width) declaring sides of 0 or beyond the limit.
    std::vector<std::uint8_t> jpeg = samples[1];
    std::size_t sof = 0;
    while (sof + 9 < jpeg.size() && !(jpeg[sof] == 0xFF && jpeg[sof + 1] == 0xC0)) ++sof;
    ASSERT_LT(sof + 9, jpeg.size());
    std::vector<std::vector<std::uint8_t>> streams = {
        {}, {0xFF, 0xD8, 0xFF, 0xD9}, std::vector<std::uint8_t>(5000, 0), std::vector<std::uint8_t>(5000, 0xFF)};
    for (std::uint32_t side : {0u, 4097u, 65535u}) {
        streams.push_back(jpeg);
        m.putWord(streams.back(), sof + 5, side << 16 | side, true);
    }
    for (const auto& s : streams) {
        Thumbnail t = gradient(2, 2);
        EXPECT_TRUE(!decodeThumbnailJpeg(s, t) && t.empty()) << s.size();
    }
    Thumbnail bad;  // the encoder refuses what is not an image
    EXPECT_FALSE(encodeThumbnailJpeg(bad, 80, jpeg));
    bad.width = bad.height = 4;
    bad.rgb.resize(5);
    EXPECT_FALSE(encodeThumbnailJpeg(bad, 80, jpeg));
}

// Words 21 (output) and 40 (field of view) sit at the same place in every file from version 2 on.
TEST(SettingsFileOlderVersions, OutputAndFieldOfViewConversions) {
    struct Case {
        int version, output, fovInteger, outputRead, fovIntegerRead;
    };
    // Up to 27 an output gains 1 four times; before 34 output 14 has a field of view 0..180 or 53; up to 44 35 is 38.
    const Case cases[] = {{27, 40, 90, 44, 90}, {33, 14, 90, 14, 53}, {33, 14, 180, 14, 180}, {33, 14, -40, 14, 0},
                          {34, 14, 90, 14, 90}, {44, 35, 90, 38, 33}, {45, 35, 90, 35, 90}};
    for (const Case& c : cases) {
        char name[32];
        std::snprintf(name, sizeof name, "settings-v%02d.q2q", c.version);
        auto bytes = golden::load(name);
        putWord(bytes, 20, c.output);
        putWord(bytes, 39, c.fovInteger);
        SettingsRecord r = freshRecord();
        ASSERT_EQ(decodeSettings(bytes, SettingsReadMode::kLoad, r, nullptr).status, kFileOk) << c.version;
        EXPECT_EQ(r.outputProjection, c.outputRead) << c.version << " " << c.output;
        EXPECT_EQ(r.fovInteger, c.fovIntegerRead) << c.version << " " << c.fovInteger;
        EXPECT_EQ(r.fov, static_cast<float>(c.fovIntegerRead)) << c.version << " " << c.fovInteger;
    }
}

TEST(SettingsFileLegacyFloats, EveryHundredthSurvivesRereadingAndOthersTruncate) {
    SettingsRecord r = distinctRecord();
    for (std::int32_t first = -20000; first <= 20000; first += 6) {
        for (int i = 0; i < 6; ++i) r.legacyFloats[i] = static_cast<float>((first + i) / 100.0);
        SettingsRecord back = freshRecord();
        decodeSettings(encodeSettings(r, nullptr), SettingsReadMode::kLoad, back, nullptr);
        const auto again = encodeSettings(back, nullptr);
        for (std::size_t i = 0; i < 6; ++i) ASSERT_EQ(wordAt(again, 49 + i), first + std::int32_t(i));
    }
    const float floats[6] = {1.239f, -1.239f, 0.999f, 2.0e12f, -2.0e12f, std::nanf("")};
    const std::int32_t words[6] = {123, -123, 99, 2147483647, -2147483647 - 1, 0};
    std::copy(floats, floats + 6, r.legacyFloats);
    const auto bytes = encodeSettings(r, nullptr);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(wordAt(bytes, 49 + i), words[i]);
}

std::vector<std::uint8_t> withThumbnailBlock(std::int32_t flag, std::int32_t count,
                                             const std::vector<std::uint8_t>& payload) {
    const auto plain = golden::load("settings-v48.q2q");
    std::vector<std::uint8_t> bytes(plain.begin(), plain.begin() + 84 * 4);
    for (std::int32_t w : {flag, 128, 128, count}) appendWord(bytes, w);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    bytes.insert(bytes.end(), plain.begin() + 85 * 4, plain.end());
    return bytes;
}

TEST(SettingsFileThumbnails, OldBlockPixelsAndBlocksThatAreSkipped) {
    Thumbnail t;
    SettingsRecord r = freshRecord();
    ASSERT_TRUE(decodeSettings(golden::load("settings-v25.q2q"), SettingsReadMode::kLoad, r, &t).hasThumbnail);
    EXPECT_EQ(t.rgb, (std::vector<std::uint8_t>{10, 30, 50, 70, 90, 110, 130, 150, 170, 190, 210, 230}));
    // Blocks too large, of a foreign kind, or whose JPEG is damaged: no
    // thumbnail, and every field after them is read.
    std::vector<std::uint8_t> real;
    ASSERT_TRUE(encodeThumbnailJpeg(gradient(kThumbnailSide, kThumbnailSide), 80, real));
    const std::vector<std::uint8_t> junk(300, 0x55), half(real.begin(), real.begin() + std::ptrdiff_t(real.size() / 2));
    const std::vector<std::uint8_t> big(kThumbnailJpegLimit + 1, 0x55), damaged = {0xFF, 0xD8, 1, 2, 3};
    const std::pair<std::int32_t, std::vector<std::uint8_t>> blocks[] = {{1, big},  {2, junk},    {7, junk},
                                                                         {1, half}, {1, damaged}, {1, {}}};
    for (const auto& [flag, payload] : blocks) {
        SettingsRecord read = freshRecord();
        const auto result = decodeSettings(withThumbnailBlock(flag, std::int32_t(payload.size()), payload),
                                           SettingsReadMode::kLoad, read, &t);
        EXPECT_TRUE(result.complete && !result.hasThumbnail && t.empty()) << flag << " " << payload.size();
        EXPECT_EQ(encodeSettings(read, nullptr), golden::load("settings-v48.q2q")) << flag << " " << payload.size();
    }
    // Sizes that cannot be skipped stop the reading there.
    for (std::int32_t count : {0x7FFFFFFF, -1, -2147483647 - 1, 1 << 30}) {
        SettingsRecord read = freshRecord();
        const auto result = decodeSettings(withThumbnailBlock(1, count, {1, 2, 3}), SettingsReadMode::kLoad, read, &t);
        EXPECT_EQ(result.status, kFileOk);
        EXPECT_FALSE(result.complete || result.hasThumbnail);
        EXPECT_EQ(read.edges, 1);  // before the block
        EXPECT_EQ(read.grid, 1);   // after it: not reached
    }
}

TEST(SettingsFileDamage, UnknownVersionsChangeNothingAndTruncationsKeepWhatTheyDidNotReach) {
    const SettingsRecord fresh = freshRecord();
    for (std::int32_t v : {0, -1, 49, 1000, -2147483647 - 1}) {
        auto bytes = golden::load("settings-v48.q2q");
        putWord(bytes, 0, v);
        SettingsRecord read = fresh;
        Thumbnail t = gradient(4, 4);
        EXPECT_EQ(decodeSettings(bytes, SettingsReadMode::kLoad, read, &t).status, kSettingsFileUnknown) << v;
        EXPECT_TRUE(std::memcmp(&read, &fresh, sizeof read) == 0 && t.width == 4) << v;
    }
    const auto full = golden::load("preset-v48.q2q");
    for (std::size_t length = 0; length <= full.size(); ++length) {
        SettingsRecord read = freshRecord();
        const auto result = decodeSettings({full.data(), length}, SettingsReadMode::kLoad, read, nullptr);
        ASSERT_EQ(result.status, length < 4 ? kSettingsFileUnknown : kFileOk) << length;
        if (length < 4) continue;
        ASSERT_EQ(result.complete, length == full.size()) << length;
        ASSERT_EQ(read.backdropColor == distinctRecord().backdropColor, length >= 7 * 4) << length;
        ASSERT_EQ(read.lineColor == distinctRecord().lineColor, length == full.size()) << length;
    }
}

class SettingsFiles : public persist_test::PrivateTempFolder {};

TEST_F(SettingsFiles, WriteReplacesTheWholeFileReadBringsItBackAndFailuresLoseNothing) {
    persist_test::writeBytes(path("a.q2q"), std::vector<std::uint8_t>(5000, 0xEE));
    SettingsRecord r = distinctRecord();
    r.version = 3;
    const Thumbnail picture = gradient(kThumbnailSide, kThumbnailSide);
    ASSERT_EQ(writeSettingsFile(path("a.q2q"), r, &picture), kFileOk);
    EXPECT_EQ(r.version, 48);
    EXPECT_EQ(persist_test::readBytes(path("a.q2q")), golden::load("preset-v48.q2q"));
    SettingsRecord back = freshRecord();
    Thumbnail t;
    EXPECT_TRUE(readSettingsFile(path("a.q2q"), SettingsReadMode::kLoad, back, &t).hasThumbnail);
    EXPECT_EQ(encodeSettings(back, nullptr), golden::load("settings-v48.q2q"));
    double total = 0;  // the JPEG's quality
    for (std::size_t i = 0; i < t.rgb.size(); ++i) total += std::abs(int{t.rgb[i]} - int{picture.rgb[i]});
    EXPECT_LT(total / static_cast<double>(t.rgb.size()), 2.0);
    EXPECT_TRUE(readSettingsThumbnail(path("a.q2q"), t).hasThumbnail);
    // A small thumbnail records at least 16; an empty one writes the single word 0.
    const Thumbnail small = gradient(8, 8), none;
    EXPECT_EQ(wordAt(encodeSettings(distinctRecord(), &small), 85), 16);
    EXPECT_EQ(encodeSettings(distinctRecord(), &none), golden::load("settings-v48.q2q"));
    std::filesystem::remove(path("a.q2q"));  // missing files and failed writes lose nothing
    SettingsRecord read = distinctRecord();
    const SettingsRecord before = read;
    EXPECT_EQ(readSettingsFile(path("absent.q2q"), SettingsReadMode::kLoad, read, nullptr).status, kFileNotFound);
    EXPECT_EQ(std::memcmp(&read, &before, sizeof read), 0);
    EXPECT_FALSE(readSettingsThumbnail(path("absent.q2q"), t).hasThumbnail);
    EXPECT_EQ(writeSettingsFile(path("no/such/folder.q2q"), read, nullptr), kFileNotFound);
    std::filesystem::create_directory(path("taken"));
    EXPECT_EQ(writeSettingsFile(path("taken"), read, nullptr), kFileWriteFailed);
    const auto entries = std::distance(std::filesystem::directory_iterator(folder()), {});
    EXPECT_EQ(entries, 1);  // nothing half-written is left behind
}

TEST_F(SettingsFiles, TempFolderPathsAndWholeFileReads) {
    EXPECT_EQ(tempFolder(), folder() + "/");
    ::setenv("TMPDIR", (folder() + "/missing").c_str(), 1);
    EXPECT_EQ(tempFolder(), "/tmp/");
    EXPECT_EQ(fileNameOf("/a/b/c.q2q"), "c.q2q");
    EXPECT_EQ(folderOf("/a/b/c.q2q"), "/a/b/");
    EXPECT_EQ(folderOf("c.q2q"), "");
    EXPECT_EQ(withoutLastExtension("x.y.q2q"), "x.y");
    EXPECT_EQ(withoutLastExtension(".hidden"), ".hidden");
    persist_test::writeBytes(path("ten"), std::vector<std::uint8_t>(10, 1));
    std::vector<std::uint8_t> bytes;
    bool clipped = false;
    EXPECT_EQ(readWholeFile(path("ten"), 4, bytes, &clipped), kFileOk);
    EXPECT_TRUE(clipped && bytes.size() == 4);
    EXPECT_EQ(readWholeFile(path("ten"), 10, bytes, &clipped), kFileOk);
    EXPECT_FALSE(clipped);
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);  // would block for ever
    EXPECT_EQ(readWholeFile(path("pipe"), 1024, bytes), kFileReadFailed);
    EXPECT_EQ(readWholeFile(folder(), 1024, bytes), kFileReadFailed);
    EXPECT_EQ(readWholeFile(path("absent"), 1024, bytes), kFileNotFound);
}

}  // namespace
}  // namespace globaro
