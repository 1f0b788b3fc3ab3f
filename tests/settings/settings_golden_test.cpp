// The settings formats against golden files (see golden_files.h): settings files of every version, a preset
// with its thumbnail, out-of-range values. Each reads as its expected record and writes back byte for byte
// where the format allows; its mutants, and those of bare thumbnails, read whole or change nothing.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "settings/golden_files.h"
#include "settings/hostile_mutator.h"
#include "settings/persist_test_support.h"
#include "settings/settings_file.h"

namespace globaro {
namespace {

using persist_test::distinctRecord;
using persist_test::freshRecord;
using persist_test::gradient;

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
        const bool boolean = f.place.integerIn(r) == 0 || f.place.integerIn(r) == 1;
        ASSERT_TRUE(f.type != FieldType::kBoolean || boolean) << f.name << what;
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

TEST(HostileThumbnail, MutatedStreamsFailCleanlyOrDecodeWhole) {
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
    EXPECT_GT(decoded, 0u);
    EXPECT_GT(refused, 100u);
}

TEST(HostileThumbnail, TinyStreamsAndHugeDeclaredSidesAreRefused) {
    std::vector<std::uint8_t> jpeg;
    ASSERT_TRUE(encodeThumbnailJpeg(gradient(16, 16), 80, jpeg));
    std::size_t sof = 0;  // the frame header, FF C0, with height and width
    while (sof + 9 < jpeg.size() && !(jpeg[sof] == 0xFF && jpeg[sof + 1] == 0xC0)) ++sof;
    ASSERT_LT(sof + 9, jpeg.size());
    std::vector<std::vector<std::uint8_t>> streams = {
        {}, {0xFF, 0xD8, 0xFF, 0xD9}, std::vector<std::uint8_t>(5000, 0), std::vector<std::uint8_t>(5000, 0xFF)};
    for (unsigned side : {0u, 4097u, 65535u}) {
        streams.push_back(jpeg);
        for (std::size_t i : {sof + 5, sof + 7}) {
            streams.back()[i] = static_cast<std::uint8_t>(side >> 8);
            streams.back()[i + 1] = static_cast<std::uint8_t>(side);
        }
    }
    for (const auto& s : streams) {
        Thumbnail t = gradient(2, 2);
        EXPECT_FALSE(decodeThumbnailJpeg(s, t)) << s.size();
        EXPECT_TRUE(t.empty());
    }
    Thumbnail bad;  // the encoder refuses what is not an image
    EXPECT_FALSE(encodeThumbnailJpeg(bad, 80, jpeg));
    bad.width = bad.height = 4;
    bad.rgb.resize(5);
    EXPECT_FALSE(encodeThumbnailJpeg(bad, 80, jpeg));
}

}  // namespace
}  // namespace globaro
