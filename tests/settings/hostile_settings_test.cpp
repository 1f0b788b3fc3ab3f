// Hostile input for the settings file reader and the thumbnail decoder:
// seeded random mutations of files made by our own writers. Every case must
// give a known status, never touch memory it should not, and a failed read
// must change nothing.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "settings/hostile_mutator.h"
#include "settings/settings_file.h"
#include "settings/settings_fields.h"
#include "settings/settings_record.h"
#include "settings/thumbnail.h"

namespace globaro {
namespace {

using hostile::Mutator;

SettingsRecord sampleRecord(std::uint32_t salt) {
    SettingsRecord r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    resetRunState(r);
    resetToDefaults(r);
    resetExportOptions(r);
    for (int i = 0; i < kLegacyWordCount; ++i) r.legacyWords[i] = static_cast<std::int32_t>(salt * 31 + i);
    for (int i = 0; i < 6; ++i) r.legacyFloats[i] = static_cast<float>(i) * 1.25f + static_cast<float>(salt);
    r.inputProjection = 3 + static_cast<std::int32_t>(salt % 5);
    r.outputProjection = 20 + static_cast<std::int32_t>(salt % 40);
    r.latitude = 12.5f;
    r.longitude = -40.25f;
    r.fov = 95.0f;
    r.lineColor = Rgb16::from8(10, 200, 30);
    r.tabColor = Rgb16::from8(1, 2, 3);
    return r;
}

Thumbnail gradient(int width, int height) {
    Thumbnail t;
    t.width = width;
    t.height = height;
    t.rgb.resize(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = t.rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            p[0] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            p[2] = static_cast<std::uint8_t>((x ^ y) & 0xFF);
        }
    return t;
}

void putWord(std::vector<std::uint8_t>& b, std::size_t word, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    b[word * 4] = static_cast<std::uint8_t>(u >> 24);
    b[word * 4 + 1] = static_cast<std::uint8_t>(u >> 16);
    b[word * 4 + 2] = static_cast<std::uint8_t>(u >> 8);
    b[word * 4 + 3] = static_cast<std::uint8_t>(u);
}

void appendWord(std::vector<std::uint8_t>& b, std::int32_t v) {
    b.resize(b.size() + 4);
    putWord(b, b.size() / 4 - 1, v);
}

// A version-39 file with an old-style thumbnail block of 8 x 8 pixels: the
// words up to word 65, the block, then the rest of the version-39 fields.
std::vector<std::uint8_t> oldThumbnailFile(const SettingsRecord& r, std::int32_t version) {
    const std::vector<std::uint8_t> full = encodeSettings(r, nullptr);
    std::vector<std::uint8_t> b(full.begin(), full.begin() + 65 * 4);
    putWord(b, 0, version);
    appendWord(b, 1);
    appendWord(b, 8);
    appendWord(b, 8);
    for (int i = 0; i < 8 * 8 * 3; ++i) b.push_back(static_cast<std::uint8_t>(i * 7));
    // Words 67 to 84 of the current file follow the old block.
    b.insert(b.end(), full.begin() + 66 * 4, full.begin() + 84 * 4);
    return b;
}

std::vector<std::vector<std::uint8_t>> settingsSamples() {
    std::vector<std::vector<std::uint8_t>> samples;
    const Thumbnail big = gradient(kThumbnailSide, kThumbnailSide);
    const Thumbnail small = gradient(16, 16);
    for (std::uint32_t salt = 0; salt < 3; ++salt) {
        const SettingsRecord r = sampleRecord(salt);
        samples.push_back(encodeSettings(r, nullptr));
        samples.push_back(encodeSettings(r, salt == 1 ? &small : &big));
    }
    // Older versions: the current words under an older version number, and
    // files with the old-style thumbnail block.
    const std::vector<std::uint8_t> base = samples.front();
    for (std::int32_t v : {1, 2, 5, 8, 13, 18, 22, 24, 27, 30, 33, 39, 40, 44, 46, 47}) {
        std::vector<std::uint8_t> b = base;
        putWord(b, 0, v);
        samples.push_back(std::move(b));
    }
    samples.push_back(oldThumbnailFile(sampleRecord(1), 39));
    samples.push_back(oldThumbnailFile(sampleRecord(2), 22));
    return samples;
}

bool sameBytes(const SettingsRecord& a, const SettingsRecord& b) {
    return std::memcmp(static_cast<const void*>(&a), static_cast<const void*>(&b), sizeof a) == 0;
}

void expectWithinRanges(const SettingsRecord& r, std::size_t caseNumber) {
    for (const SettingsField& row : settingsFields()) {
        if (!row.range.any() && row.type != FieldType::kBoolean) continue;
        double v = 0;
        if (row.type == FieldType::kFloat) {
            float f = row.place.floatIn(r);
            ASSERT_TRUE(std::isfinite(f)) << row.name << " case " << caseNumber;
            v = f;
        } else {
            v = row.place.integerIn(r);
        }
        const double lo = row.type == FieldType::kBoolean ? 0 : row.range.lo;
        const double hi = row.type == FieldType::kBoolean ? 1 : row.range.hi;
        ASSERT_GE(v, lo) << row.name << " case " << caseNumber;
        ASSERT_LE(v, hi) << row.name << " case " << caseNumber;
    }
}

void expectConsistent(const Thumbnail& t) {
    if (t.empty()) {
        EXPECT_TRUE(t.rgb.empty());
        return;
    }
    EXPECT_LE(t.width, kThumbnailMaxSide);
    EXPECT_LE(t.height, kThumbnailMaxSide);
    EXPECT_EQ(t.rgb.size(), static_cast<std::size_t>(t.width) * t.height * 3);
}

TEST(HostileSettingsFile, SamplesReadBackCleanly) {
    for (const auto& sample : settingsSamples()) {
        SettingsRecord r = sampleRecord(9);
        Thumbnail t;
        const SettingsReadResult result = decodeSettings(sample, SettingsReadMode::kLoad, r, &t);
        EXPECT_EQ(result.status, kFileOk);
        EXPECT_TRUE(result.complete);
    }
}

TEST(HostileSettingsFile, MutatedFilesNeverHarmAndFailuresChangeNothing) {
    const auto samples = settingsSamples();
    Mutator m(0x5E771265u);
    std::size_t failures = 0, incomplete = 0;
    for (std::size_t n = 0; n < 4000; ++n) {
        const std::vector<std::uint8_t> bytes = m.mutate(samples);
        const SettingsRecord before = sampleRecord(static_cast<std::uint32_t>(n % 7));
        SettingsRecord record = before;
        Thumbnail thumbnail = gradient(4, 3);
        const Thumbnail thumbnailBefore = thumbnail;
        const SettingsReadMode mode = n % 3 == 2 ? SettingsReadMode::kThumbnail : SettingsReadMode::kLoad;
        const SettingsReadResult result = decodeSettings(bytes, mode, record, n % 5 == 4 ? nullptr : &thumbnail);
        ASSERT_TRUE(result.status == kFileOk || result.status == kSettingsFileUnknown) << "case " << n;
        if (result.status != kFileOk) {
            ++failures;
            ASSERT_TRUE(sameBytes(record, before)) << "a failed read changed the record, case " << n;
            ASSERT_EQ(thumbnail.width, thumbnailBefore.width) << "case " << n;
            ASSERT_EQ(thumbnail.rgb, thumbnailBefore.rgb) << "case " << n;
            continue;
        }
        ASSERT_GE(result.version, 1);
        ASSERT_LE(result.version, kSettingsVersion);
        if (!result.complete) ++incomplete;
        if (mode == SettingsReadMode::kThumbnail) {
            ASSERT_TRUE(sameBytes(record, before)) << "thumbnail mode changed the record, case " << n;
        } else {
            ASSERT_EQ(record.version, result.version);
            expectWithinRanges(record, n);
        }
        if (n % 5 != 4) {
            EXPECT_EQ(result.hasThumbnail, !thumbnail.empty()) << "case " << n;
            expectConsistent(thumbnail);
        } else {
            EXPECT_FALSE(result.hasThumbnail);
        }
        // The same bytes read again give the same record.
        SettingsRecord again = before;
        const SettingsReadResult second = decodeSettings(bytes, mode, again, nullptr);
        ASSERT_EQ(second.status, result.status);
        ASSERT_TRUE(sameBytes(again, record)) << "case " << n;
    }
    // The mutations reach both outcomes.
    EXPECT_GT(failures, 10u);
    EXPECT_GT(incomplete, 100u);
}

TEST(HostileSettingsFile, ExtremeThumbnailBlockSizes) {
    // Word 85 is the thumbnail flag; 86, 87 the size; 88 the byte count.
    const Thumbnail big = gradient(kThumbnailSide, kThumbnailSide);
    const std::vector<std::uint8_t> base = encodeSettings(sampleRecord(0), &big);
    for (std::int32_t count : {0, 1, 3, 4, 100, 49152, 49153, 0x7FFFFFFF, -1, -4, std::int32_t(0x80000000)}) {
        for (std::int32_t flag : {1, 2, -1}) {
            std::vector<std::uint8_t> b = base;
            putWord(b, 84, flag);
            putWord(b, 85, -5);
            putWord(b, 86, 0x7FFFFFFF);
            putWord(b, 87, count);
            SettingsRecord before = sampleRecord(1);
            SettingsRecord r = before;
            Thumbnail t = gradient(2, 2);
            const SettingsReadResult result = decodeSettings(b, SettingsReadMode::kLoad, r, &t);
            EXPECT_EQ(result.status, kFileOk);
            expectConsistent(t);
            expectWithinRanges(r, 0);
        }
    }
}

TEST(HostileSettingsFile, ExtremeOldThumbnailSizes) {
    for (std::int32_t side : {-1, 0, 1, 128, 129, 0x7FFFFFFF, std::int32_t(0x80000000)}) {
        std::vector<std::uint8_t> b = oldThumbnailFile(sampleRecord(0), 39);
        putWord(b, 66, side);
        putWord(b, 67, side);
        SettingsRecord r = sampleRecord(0);
        Thumbnail t;
        const SettingsReadResult result = decodeSettings(b, SettingsReadMode::kLoad, r, &t);
        EXPECT_EQ(result.status, kFileOk);
        expectConsistent(t);
        if (result.hasThumbnail) {
            EXPECT_LE(t.width, kOldThumbnailMaxSide);
        }
    }
}

TEST(HostileSettingsFile, EveryVersionWordAndEveryLength) {
    // Each version number with every truncation of a full file.
    const Thumbnail small = gradient(16, 16);
    const std::vector<std::uint8_t> full = encodeSettings(sampleRecord(2), &small);
    for (std::int32_t v : {-1, 0, 1, 2, 3, 4, 5, 12, 22, 23, 26, 30, 35, 40, 41, 47, 48, 49, 0x7FFFFFFF}) {
        for (std::size_t length = 0; length <= full.size(); length += (length < 400 ? 1 : 37)) {
            std::vector<std::uint8_t> b(full.begin(), full.begin() + std::ptrdiff_t(length));
            if (b.size() >= 4) putWord(b, 0, v);
            const SettingsRecord before = sampleRecord(3);
            SettingsRecord r = before;
            Thumbnail t;
            const SettingsReadResult result = decodeSettings(b, SettingsReadMode::kLoad, r, &t);
            if (v < 1 || v > kSettingsVersion || length < 4) {
                ASSERT_EQ(result.status, kSettingsFileUnknown);
                ASSERT_TRUE(sameBytes(r, before));
            } else {
                ASSERT_EQ(result.status, kFileOk);
                expectWithinRanges(r, length);
            }
        }
    }
}

// ---- Thumbnails ----------------------------------------------------------------

std::vector<std::vector<std::uint8_t>> jpegSamples() {
    std::vector<std::vector<std::uint8_t>> samples;
    for (auto [w, h, q] : {std::tuple{128, 128, 80}, std::tuple{16, 16, 80}, std::tuple{33, 7, 30},
                           std::tuple{1, 1, 100}, std::tuple{64, 40, 5}}) {
        std::vector<std::uint8_t> jpeg;
        EXPECT_TRUE(encodeThumbnailJpeg(gradient(w, h), q, jpeg));
        samples.push_back(std::move(jpeg));
    }
    return samples;
}

TEST(HostileThumbnail, MutatedStreamsFailCleanlyOrDecodeWhole) {
    const auto samples = jpegSamples();
    Mutator m(0x7B0A11u);
    std::size_t decoded = 0, refused = 0;
    for (std::size_t n = 0; n < 2500; ++n) {
        const std::vector<std::uint8_t> bytes = m.mutate(samples);
        Thumbnail t = gradient(3, 3);
        const bool ok = decodeThumbnailJpeg(bytes, t);
        if (ok) {
            ++decoded;
            ASSERT_FALSE(t.empty()) << "case " << n;
            ASSERT_LE(t.width, kThumbnailMaxSide);
            ASSERT_LE(t.height, kThumbnailMaxSide);
            ASSERT_EQ(t.rgb.size(), static_cast<std::size_t>(t.width) * t.height * 3) << "case " << n;
        } else {
            ++refused;
            ASSERT_TRUE(t.empty()) << "case " << n;
            ASSERT_TRUE(t.rgb.empty()) << "case " << n;
        }
    }
    EXPECT_GT(decoded, 0u);
    EXPECT_GT(refused, 100u);
}

TEST(HostileThumbnail, TinyAndEmptyStreams) {
    Thumbnail t = gradient(2, 2);
    EXPECT_FALSE(decodeThumbnailJpeg({}, t));
    EXPECT_TRUE(t.empty());
    const std::uint8_t soi[] = {0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_FALSE(decodeThumbnailJpeg(soi, t));
    EXPECT_TRUE(t.empty());
    const std::vector<std::uint8_t> zeros(5000, 0);
    EXPECT_FALSE(decodeThumbnailJpeg(zeros, t));
    const std::vector<std::uint8_t> ff(5000, 0xFF);
    EXPECT_FALSE(decodeThumbnailJpeg(ff, t));
}

TEST(HostileThumbnail, DeclaredSidesBeyondTheLimitAreRefused) {
    std::vector<std::uint8_t> jpeg;
    ASSERT_TRUE(encodeThumbnailJpeg(gradient(16, 16), 80, jpeg));
    // Find the frame header (FF C0) and set its height and width.
    std::size_t sof = 0;
    for (std::size_t i = 0; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            sof = i;
            break;
        }
    ASSERT_NE(sof, 0u);
    for (unsigned side : {0u, 4097u, 65535u}) {
        std::vector<std::uint8_t> b = jpeg;
        b[sof + 5] = static_cast<std::uint8_t>(side >> 8);
        b[sof + 6] = static_cast<std::uint8_t>(side);
        b[sof + 7] = static_cast<std::uint8_t>(side >> 8);
        b[sof + 8] = static_cast<std::uint8_t>(side);
        Thumbnail t;
        EXPECT_FALSE(decodeThumbnailJpeg(b, t)) << side;
        EXPECT_TRUE(t.empty());
    }
}

}  // namespace
}  // namespace globaro

#include <sys/stat.h>

#include "platform/temp_folder.h"

namespace globaro {
namespace {

TEST(HostileFiles, PipesAndFoldersAreNotReadAsSettings) {
    const std::string folder = tempFolder();
    const std::string pipe = folder + "globaro-test-pipe";
    ::unlink(pipe.c_str());
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::vector<std::uint8_t> bytes;
    // Would block for ever on a pipe nobody writes to.
    EXPECT_EQ(readWholeFile(pipe, 1024, bytes), kFileReadFailed);
    ::unlink(pipe.c_str());
    EXPECT_EQ(readWholeFile(folder, 1024, bytes), kFileReadFailed);
    EXPECT_EQ(readWholeFile(folder + "no-such-file", 1024, bytes), kFileNotFound);
}

}  // namespace
}  // namespace globaro
