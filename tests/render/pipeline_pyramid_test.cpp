// The image pyramid: level sizes, reductions, lookups and the anisotropic sampler.

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include "pipeline_test_support.h"
#include "render/image_pyramid.h"

namespace globaro {
namespace {
using namespace testing_support;
TestImage constantImage(std::int32_t w, std::int32_t h, float r, float g, float b) {
    return makeImage(w, h, [&](std::int32_t, std::int32_t, float* p) { p[0] = r, p[1] = g, p[2] = b; });
}

std::vector<std::uint8_t> randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    return bytes;
}

TEST(ImagePyramid, LevelSizesTapKindsAndRefusals) {
    ImagePyramid p;
    ASSERT_TRUE(p.allocate(5, 3, kWrapNone));
    ASSERT_EQ(p.levelCount(), 4);
    EXPECT_TRUE(p.level(1).width == 3 && p.level(1).height == 2 && p.level(1).wideTaps);
    EXPECT_TRUE(p.level(3).width == 1 && p.level(3).height == 1);
    ASSERT_TRUE(p.allocate(8, 4, kWrapHorizontal) && p.levelCount() == 4);
    EXPECT_TRUE(!p.level(1).wideTaps && !p.level(2).wideTaps && p.level(3).wideTaps);  // exactly half: whole pixels
    EXPECT_TRUE(!p.allocate(0, 5, kWrapNone) && p.levelCount() == 0);
    EXPECT_FALSE(p.allocate(1 << 30, 1 << 30, kWrapNone));  // cannot be had: clean failure
    std::vector<std::uint8_t> bytes(16 * 8 * 4, 200);
    ASSERT_TRUE(p.allocate(16, 8, kWrapNone));
    EXPECT_FALSE(p.storeImage(SourceImageView{nullptr, 16, 8, 64, 4, 8}) ||
                 p.storeImage(SourceImageView{bytes.data(), 16, 8, 10, 4, 8}) ||
                 p.storeImage(SourceImageView{bytes.data(), 16, 8, 64, 4, 12}) ||
                 p.storeImage(SourceImageView{bytes.data(), 16, 8, 64, 4, 8}, 1, 0));  // the last does not fit
    ASSERT_TRUE(loadPyramid(p, constantImage(10, 6, 1, 1, 1), kWrapNone));
    p.reduceTile(0, TileRect{-5, -5, 500, 500}, false);  // clipped to the level
    p.reduceTile(7, TileRect{0, 0, 4, 4}, true);         // no such level: nothing happens
    EXPECT_NEAR(p.level(1).pixel(4, 2)[0], 65535.0f, 0.1f);
}

TEST(ImagePyramid, ConstantImagesStayConstantUnderBothReductions) {
    for (std::int32_t w : {64, 37}) {
        ImagePyramid p;
        // Blue is light above full scale, as a float image holds it.
        ASSERT_TRUE(loadPyramid(p, constantImage(w, w / 2 + 1, 0.25f, 0.5f, 4.0f), kWrapHorizontal));
        EXPECT_TRUE(p.ready());
        for (int n = 0; n < p.levelCount(); ++n) {
            const PyramidLevel& lv = p.level(n);
            for (std::int32_t y = 0; y < lv.height; ++y)
                for (std::int32_t x = 0; x < lv.width; ++x) {
                    const float* px = lv.pixel(x, y);
                    ASSERT_TRUE(std::fabs(px[0] - 0.25f * 65535.0f) <= 0.05f &&
                                std::fabs(px[1] - 0.5f * 65535.0f) <= 0.05f &&
                                std::fabs(px[2] - 4.0f * 65535.0f) <= 0.2f && std::fabs(px[3] - 1.0f) <= 1e-6f)
                        << "level " << n << " at " << x << "," << y;
                }
        }
        EXPECT_NEAR(sampleInput(p, 0.3f, 0.6f, Footprint{0.3f, 0.0f, 0.0f, 0.01f}, 0.3f).b, 4.0f, 1e-5f);
    }
}

// 8-bit level 0 agrees with the same image in floats, and an exact hit gives back the very byte.
TEST(ImagePyramid, ByteLevelZeroMatchesFloatsAndKeepsValuesExact) {
    for (const auto& [w, h, wrap] :
         {std::tuple{64, 32, kWrapHorizontal}, std::tuple{37, 19, kWrapNone}, std::tuple{5, 3, kWrapHorizontal}}) {
        std::mt19937 rng(static_cast<unsigned>(w));
        const std::vector<std::uint8_t> bytes = randomBytes(std::size_t(w * h) * 4, unsigned(w));
        std::vector<float> floats(bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i) floats[i] = static_cast<float>(bytes[i]) / 255.0f;
        ImagePyramid compact, plain;
        ASSERT_TRUE(compact.allocate(w, h, wrap, pyramidStorageFor(8)) && plain.allocate(w, h, wrap));
        EXPECT_TRUE(compact.level(0).storage == LevelStorage::kBytes &&
                    compact.level(1).storage == LevelStorage::kWords && !plain.level(1).compact());
        EXPECT_FALSE(compact.storeImage(SourceImageView{floats.data(), w, h, w * 16, 4, 32}));  // 8-bit views only
        ASSERT_TRUE(compact.storeImage(SourceImageView{bytes.data(), w, h, w * 4, 4, 8}) &&
                    plain.storeImage(SourceImageView{floats.data(), w, h, w * 16, 4, 32}));
        ASSERT_TRUE(buildPyramid(compact, 2) == 0 && buildPyramid(plain, 2) == 0);
        for (int n = 0; n < compact.levelCount(); ++n)
            for (std::int32_t y = 0; y < compact.level(n).height; ++y)
                for (std::int32_t x = 0; x < compact.level(n).width; ++x) {
                    float pa[4], pb[4];
                    compact.level(n).readPixel(x, y, pa);
                    plain.level(n).readPixel(x, y, pb);
                    // Each reduced level rounds to a word once more.
                    const float words = 0.5f * static_cast<float>(n) + 0.05f;
                    for (int c = 0; c < 4; ++c)
                        ASSERT_NEAR(pa[c], pb[c], c < 3 ? words : words / 65535.0f) << "level " << n;
                }
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        for (int i = 0; i < 2000; ++i) {
            const float u = unit(rng), v = unit(rng), s = std::pow(10.0f, 2.0f * unit(rng) - 2.0f);
            const Footprint fp{(unit(rng) - 0.5f) * s, (unit(rng) - 0.5f) * s * 0.2f, (unit(rng) - 0.5f) * s * 0.2f,
                               (unit(rng) - 0.5f) * s};
            const ColorRgba a = sampleInput(compact, u, v, fp, 0.3f), b = sampleInput(plain, u, v, fp, 0.3f);
            ASSERT_TRUE(std::fabs(a.r - b.r) < 3e-5f && std::fabs(a.b - b.b) < 3e-5f && std::fabs(a.a - b.a) < 3e-5f);
        }
        // Sizes that are powers of two put the centres exactly on the pixels.
        for (std::int32_t x = 0; w == 64 && x < w; ++x) {
            const std::int32_t y = x % h;
            const ColorRgba c = sampleLevel(compact, 0, (x + 0.5f) / w, (y + 0.5f) / h, 0.3f);
            const std::uint8_t* p = &bytes[static_cast<std::size_t>(y * w + x) * 4];
            ASSERT_TRUE(int(c.r * 255.0f) == p[0] && int(c.g * 255.0f) == p[1] && int(c.a * 255.0f) == p[3]) << x;
        }
    }
    // Every 8-bit value, grey without alpha (alpha exactly 1).
    std::vector<std::uint8_t> ramp(256);
    for (int i = 0; i < 256; ++i) ramp[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    ImagePyramid p;
    ASSERT_TRUE(p.allocate(256, 1, kWrapNone, pyramidStorageFor(8)));
    ASSERT_TRUE(p.storeImage(SourceImageView{ramp.data(), 256, 1, 256, 1, 8}));
    for (int i = 0; i < 256; ++i) {
        const ColorRgba c = sampleLevel(p, 0, (i + 0.5f) / 256.0f, 0.5f, 0.0f);
        ASSERT_TRUE(int(c.g * 255.0f) == i && c.a == 1.0f) << i;
    }
}

// The reduced levels of 8- and 16-bit images keep words: a constant image keeps the very word at
// every level, its extremes too (alpha as well); a float image keeps floats.
TEST(ImagePyramid, WordLevelsKeepConstantsExactly) {
    struct Case {
        int depth;
        std::uint16_t sample;  // in the view's units (full scale 255 or 32768)
        std::uint16_t word;    // in the levels' (full scale 65535)
    };
    const Case cases[] = {{8, 0, 0},  {8, 1, 257}, {8, 128, 32896},    {8, 254, 65278},    {8, 255, 65535},
                          {16, 0, 0}, {16, 1, 2},  {16, 24576, 49151}, {16, 32767, 65533}, {16, 32768, 65535}};
    for (const Case& t : cases) {
        for (const auto& [w, h] : {std::pair{16, 8}, std::pair{5, 3}}) {  // whole-pixel and interpolated taps
            std::vector<std::uint16_t> samples(std::size_t(w * h) * 4, t.sample);
            std::vector<std::uint8_t> bytes(samples.begin(), samples.end());
            const void* data = t.depth == 8 ? static_cast<const void*>(bytes.data()) : samples.data();
            ImagePyramid p;
            ASSERT_TRUE(p.allocate(w, h, kWrapHorizontal, pyramidStorageFor(t.depth)) &&
                        p.storeImage(SourceImageView{data, w, h, w * 4 * (t.depth / 8), 4, t.depth}) &&
                        buildPyramid(p, 2) == 0);
            for (int n = 1; n < p.levelCount(); ++n) {
                const PyramidLevel& lv = p.level(n);
                ASSERT_EQ(lv.storage, LevelStorage::kWords);
                for (std::size_t i = 0; i < lv.words.size(); ++i)
                    ASSERT_EQ(lv.words[i], t.word) << t.depth << "-bit " << t.sample << ", level " << n;
            }
            const ColorRgba c = sampleInput(p, 0.3f, 0.6f, Footprint{0.3f, 0.0f, 0.0f, 0.2f}, 0.0f);
            EXPECT_EQ(std::lround(c.a * 65535.0f), t.word);
            EXPECT_TRUE(t.word != 65535 || (c.g == 1.0f && c.a == 1.0f));
        }
    }
    ImagePyramid floats;
    ASSERT_TRUE(floats.allocate(16, 8, kWrapNone, pyramidStorageFor(32)));
    EXPECT_TRUE(floats.level(0).storage == LevelStorage::kFloat && floats.level(1).storage == LevelStorage::kFloat);
    EXPECT_FALSE(floats.allocate(16, 8, kWrapNone, PyramidStorage{LevelStorage::kWords, LevelStorage::kWords}));
}

// A ramp reduces to the ramp at the new pixels' centres (the weights are symmetric), in whole
// words: 2·x in bytes gives 257·(4x + 1) at level 1 and 257·(8x + 3) at level 2, along either axis.
TEST(ImagePyramid, WordLevelsReduceARampToTheRamp) {
    constexpr std::int32_t kSide = 128;
    for (bool acrossRows : {false, true}) {
        std::vector<std::uint8_t> ramp(std::size_t(kSide * kSide));
        for (std::int32_t y = 0; y < kSide; ++y)
            for (std::int32_t x = 0; x < kSide; ++x)
                ramp[std::size_t(y * kSide + x)] = static_cast<std::uint8_t>(2 * (acrossRows ? y : x));
        ImagePyramid p;
        ASSERT_TRUE(p.allocate(kSide, kSide, kWrapNone, pyramidStorageFor(8)) &&
                    p.storeImage(SourceImageView{ramp.data(), kSide, kSide, kSide, 1, 8}) && buildPyramid(p, 2) == 0);
        struct Level {
            int n;
            std::int32_t first, last;  // the pixels whose taps stay inside the image
            std::int32_t slope, offset;
        };
        for (const Level& l : {Level{1, 1, 62, 4, 1}, Level{2, 2, 29, 8, 3}}) {
            const PyramidLevel& lv = p.level(l.n);
            for (std::int32_t i = l.first; i <= l.last; ++i) {
                const std::uint16_t* px = acrossRows ? lv.texel16(lv.width / 2, i) : lv.texel16(i, lv.height / 2);
                ASSERT_EQ(px[1], 257 * (l.slope * i + l.offset)) << "level " << l.n << " at " << i;
                ASSERT_TRUE(px[0] == px[1] && px[2] == px[1] && px[3] == 65535);
            }
        }
    }
}

// Every whole-pixel level of an 8-bit image is the weighted sum of its taps (rows clamped,
// columns wrapped or clamped) rounded to the nearest word: within a hundredth of a word of a half
// either neighbour will do. Widths span several tiles, their edges and images of a few pixels.
TEST(ImagePyramid, WholePixelReductionsRoundTheWeightedSum) {
    struct Case {
        std::int32_t w, h;
        PyramidWrap wrap;
    };
    for (const Case& t : {Case{1040, 16, kWrapHorizontal}, Case{1040, 16, kWrapNone}, Case{12, 16, kWrapHorizontal},
                          Case{8, 8, kWrapNone}}) {
        const std::vector<std::uint8_t> bytes = randomBytes(std::size_t(t.w * t.h) * 4, unsigned(t.w + t.h));
        ImagePyramid p;
        ASSERT_TRUE(p.allocate(t.w, t.h, t.wrap, pyramidStorageFor(8)) &&
                    p.storeImage(SourceImageView{bytes.data(), t.w, t.h, t.w * 4, 4, 8}) && buildPyramid(p, 2) == 0);
        for (int n = 1; n < p.levelCount() && !p.level(n).wideTaps; ++n) {
            const PyramidLevel& src = p.level(n - 1);
            const PyramidLevel& dst = p.level(n);
            const double scale = (src.storage == LevelStorage::kBytes ? 257.0 : 1.0) / kPyramidWeightSum;
            const auto sample = [&](std::int32_t x, std::int32_t y, int c) -> double {
                y = std::clamp(y, 0, src.height - 1);
                x = t.wrap == kWrapHorizontal ? (x + src.width) % src.width : std::clamp(x, 0, src.width - 1);
                return src.storage == LevelStorage::kBytes ? src.texel8(x, y)[c] : src.texel16(x, y)[c];
            };
            for (std::int32_t y = 0; y < dst.height; ++y)
                for (std::int32_t x = 0; x < dst.width; ++x)
                    for (int c = 0; c < 4; ++c) {
                        double sum = 0.0;
                        for (int j = 0; j < 6; ++j)
                            for (int i = 0; i < 6; ++i)
                                sum += kPyramidWeights[j][i] * sample(2 * x - 2 + i, 2 * y - 2 + j, c);
                        ASSERT_LE(std::fabs(dst.texel16(x, y)[c] - sum * scale), 0.51)
                            << t.w << " wide, level " << n << " at " << x << "," << y << " channel " << c;
                    }
        }
    }
}

// Grey, grey and alpha, and colour rows go into the byte level as their four-channel equivalents,
// at every width (whole groups of pixels and the rest).
TEST(ImagePyramid, ByteLevelZeroSpreadsEveryChannelCount) {
    for (int channels : {1, 2, 3}) {
        for (std::int32_t w : {1, 5, 6, 21}) {
            const std::vector<std::uint8_t> row = randomBytes(std::size_t(w * channels), unsigned(w * channels));
            std::vector<std::uint8_t> rgba;
            for (std::int32_t x = 0; x < w; ++x) {
                const std::uint8_t* px = &row[std::size_t(x * channels)];
                const bool grey = channels < 3;
                rgba.insert(rgba.end(), {px[0], grey ? px[0] : px[1], grey ? px[0] : px[2],
                                         channels == 2 ? px[1] : std::uint8_t{255}});
            }
            ImagePyramid p;
            ASSERT_TRUE(p.allocate(w, 1, kWrapNone, pyramidStorageFor(8)) &&
                        p.storeImage(SourceImageView{row.data(), w, 1, w * channels, channels, 8}));
            ASSERT_TRUE(std::equal(rgba.begin(), rgba.end(), p.level(0).bytes.begin()))
                << channels << " channels, " << w << " wide";
        }
    }
}

void expectSameLevels(const ImagePyramid& a, const ImagePyramid& b, const char* what) {
    ASSERT_EQ(a.levelCount(), b.levelCount());
    for (int n = 1; n < a.levelCount(); ++n)
        ASSERT_TRUE(a.level(n).pixels == b.level(n).pixels && a.level(n).words == b.level(n).words)
            << what << ", level " << n;
}

TEST(ImagePyramid, LevelOneReducedWhileStripsArriveMatchesTheWholeBuild) {
    for (const auto& [w, h, depth] : {std::tuple{64, 46, 32}, std::tuple{5, 4, 8}, std::tuple{37, 19, 8}}) {
        const PyramidStorage storage = pyramidStorageFor(depth);
        const std::vector<std::uint8_t> bytes = randomBytes(std::size_t(w * h) * 4, unsigned(w * h));
        for (PyramidWrap wrap : {kWrapNone, kWrapHorizontal}) {
            ImagePyramid straight, ahead;
            ASSERT_TRUE(straight.allocate(w, h, wrap, storage) && ahead.allocate(w, h, kWrapNone, storage) &&
                        straight.storeImage(SourceImageView{bytes.data(), w, h, w * 4, 4, 8}) &&
                        buildPyramid(straight, 2) == 0);
            // Strips of 7 rows, each followed by what it settles: what is done ahead is final.
            for (std::int32_t y = 0; y < h; y += 7) {
                const std::int32_t rows = std::min(7, h - y);
                ASSERT_TRUE(ahead.storeImage(
                    SourceImageView{bytes.data() + static_cast<std::size_t>(y) * w * 4, w, rows, w * 4, 4, 8}, 0, y));
                ahead.reduceFirstLevelAhead(y + rows);
                for (std::int32_t r = 0; r < ahead.firstLevelRowsAhead(); ++r)
                    for (std::int32_t x = 1; x + 1 < ahead.level(1).width; ++x) {
                        float pa[4], pb[4];
                        ahead.level(1).readPixel(x, r, pa);
                        straight.level(1).readPixel(x, r, pb);
                        for (int c = 0; c < 4; ++c) ASSERT_EQ(pa[c], pb[c]) << "row " << r << " after " << y + rows;
                    }
            }
            EXPECT_EQ(w == 64 ? ahead.firstLevelRowsAhead() : h / 2, h / 2);
            ahead.setWrap(wrap);
            ASSERT_EQ(buildPyramid(ahead, 2), 0);
            expectSameLevels(straight, ahead, "strips");
            // A part stored again is reduced again; a build with the other wrap matches a fresh one.
            std::vector<std::uint8_t> patched = bytes;
            std::fill(patched.begin() + static_cast<std::ptrdiff_t>(h / 2) * w * 4,
                      patched.begin() + static_cast<std::ptrdiff_t>(h / 2 + 2) * w * 4, std::uint8_t{200});
            ASSERT_TRUE(ahead.storeImage(
                SourceImageView{patched.data() + static_cast<std::size_t>(h / 2) * w * 4, w, 2, w * 4, 4, 8}, 0,
                h / 2));
            ahead.reduceFirstLevelAhead(h);
            const PyramidWrap other = wrap == kWrapNone ? kWrapHorizontal : kWrapNone;
            ahead.setWrap(other);
            ASSERT_EQ(buildPyramid(ahead, 2), 0);
            ImagePyramid fresh;
            ASSERT_TRUE(fresh.allocate(w, h, other, storage) &&
                        fresh.storeImage(SourceImageView{patched.data(), w, h, w * 4, 4, 8}) &&
                        buildPyramid(fresh, 2) == 0);
            expectSameLevels(fresh, ahead, "patched, other wrap");
        }
    }
}

// Filtered along the long axis only, continuous in the footprint, plain for a degenerate one.
TEST(ImagePyramid, AnisotropicLookupsFollowTheLongAxisContinuously) {
    ImagePyramid stripes;  // vertical stripes of one pixel
    ASSERT_TRUE(loadPyramid(
        stripes, makeImage(64, 64, [](std::int32_t x, std::int32_t, float* p) { setGrey(p, x % 2 == 0 ? 1.f : 0.f); }),
        kWrapNone));
    for (float along : {4.0f, 6.3f, 7.7f}) {
        const float u = 20.5f / 64.0f;
        EXPECT_NEAR(sampleInput(stripes, u, 0.5f, Footprint{along / 64, 0, 0, 1.0f / 64}, 0).g, 0.5f, 0.15f) << along;
        EXPECT_NEAR(sampleInput(stripes, u, 0.5f, Footprint{1.0f / 64, 0, 0, along / 64}, 0).g, 1.0f, 1e-4f) << along;
    }
    ImagePyramid ramp;  // along u
    ASSERT_TRUE(loadPyramid(
        ramp, makeImage(64, 64, [](std::int32_t x, std::int32_t, float* p) { p[0] = p[2] = 0, p[1] = x / 63.0f; }),
        kWrapNone));
    float last = -1.0f;
    for (float ratio = 1.1f; ratio < 1.7f; ratio += 0.002f) {
        // Where two probes start, they start at the centre: no jump aside.
        const float g = sampleInput(ramp, 30.3f / 64.0f, 0.5f, Footprint{ratio * 2.0f / 64, 0, 0, 2.0f / 64}, 0).g;
        EXPECT_NEAR(g, 29.8f / 63.0f, 2e-3f) << ratio;
        EXPECT_NEAR(g, last < 0.0f ? g : last, 5e-4f) << ratio;
        last = g;
    }
    // Horizontal stripes 8 pixels high stay sharp under a footprint long in u.
    ImagePyramid bands;
    ASSERT_TRUE(loadPyramid(
        bands, makeImage(256, 128, [](std::int32_t, std::int32_t y, float* p) { setGrey(p, (y / 8) % 2 ? 1.f : 0.f); }),
        kWrapHorizontal));
    const Footprint fp{8.0f / 256.0f, 0.0f, 0.0f, 1.0f / 128.0f}, flat{0.01f, 0.0f, 0.02f, 0.0f};
    const float v = 12.0f / 128.0f;
    EXPECT_TRUE(sampleInput(bands, 0.5f, v, fp, 0.0f).g > 0.9f && samplePlain(bands, 0.5f, v, fp, 0.0f).g < 0.75f);
    EXPECT_FLOAT_EQ(sampleInput(bands, 0.3f, v, flat, 0.0f).g, samplePlain(bands, 0.3f, v, flat, 0.0f).g);
    EXPECT_EQ(sampleInput(bands, 0.5f, 1.5f, fp, 0.0f).a, 0.0f);  // outside: transparent black
}

// Probes that keep to one row are read as a strip a level; their mean is that of the probes read
// one by one. A major axis tilted just enough that the probes leave the row (by 0.04 of a pixel)
// goes probe by probe: the two agree across the reads' regimes, at the wrap and at the edges.
TEST(ImagePyramid, ProbesAlongARowReadAsProbeByProbe) {
    const TestImage img = photographicImage(256, 128);
    ImagePyramid wrapped, clamped;
    ASSERT_TRUE(loadPyramid(wrapped, img, kWrapHorizontal) && loadPyramid(clamped, img, kWrapNone));
    struct Case {
        const char* what;
        float u, v, along, minor;  // the footprint's widths in pixels
        int probes;
        bool wrap;
    };
    for (const Case& c : {Case{"level 0, bilinear", 0.41f, 0.37f, 6.0f, 0.5f, 16, true},
                          Case{"level 0, bilinear and cubic", 0.52f, 0.61f, 9.0f, 1.2f, 16, true},
                          Case{"levels 1 and 2", 0.33f, 0.45f, 40.0f, 4.0f, 16, true},
                          Case{"coarse levels across the wrap", 0.02f, 0.2f, 300.0f, 16.0f, 16, true},
                          Case{"the pole pixels' 64 probes", 0.97f, 0.05f, 120.0f, 2.0f, 64, true},
                          Case{"widened probes", 0.6f, 0.8f, 200.0f, 1.5f, 16, true},
                          Case{"the right edge, no wrap", 0.98f, 0.3f, 50.0f, 3.0f, 16, false},
                          Case{"the left edge, no wrap", 0.01f, 0.7f, 24.0f, 1.0f, 16, false}}) {
        const ImagePyramid& p = c.wrap ? wrapped : clamped;
        const Footprint row{c.along / 256.0f, 0.0f, 0.0f, c.minor / 128.0f};
        // The probes span about twice the major width: tilt so that they leave the row by 0.04.
        const float tilt = 0.04f / (2.0f * c.along);
        const Footprint tilted{c.along / 256.0f, c.along * tilt / 128.0f, -c.minor * tilt / 256.0f, c.minor / 128.0f};
        const ColorRgba a = sampleInput(p, c.u, c.v, row, 0.0f, c.probes);
        const ColorRgba b = sampleInput(p, c.u, c.v, tilted, 0.0f, c.probes);
        EXPECT_NEAR(a.r, b.r, 2e-3f) << c.what;
        EXPECT_NEAR(a.g, b.g, 2e-3f) << c.what;
        EXPECT_NEAR(a.b, b.b, 2e-3f) << c.what;
        EXPECT_FLOAT_EQ(a.a, 1.0f) << c.what;
    }
}

TEST(ImagePyramid, LookupsReadPixelsMixLevelsAndWrap) {
    const TestImage img = photographicImage(32, 16);
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, img, kWrapNone));
    for (std::int32_t x : {0, 5, 31}) {  // pixel centres read the pixel itself
        const ColorRgba c = sampleLevel(p, 0, (x + 0.5f) / 32.0f, 6.5f / 16.0f, 0.3f);
        EXPECT_LT(std::max(std::fabs(c.r - img.at(x, 6)[0]), std::fabs(c.b - img.at(x, 6)[2])), 1e-5f) << x;
    }
    const ColorRgba l0 = sampleLevel(p, 0, 0.4f, 0.6f, 0.0f), l1 = sampleLevel(p, 1, 0.4f, 0.6f, 0.0f);
    EXPECT_NEAR(sampleTrilinear(p, 0.4f, 0.6f, 0.5f, 0.0f).g, 0.5f * (l0.g + l1.g), 1e-5f);
    const PyramidLevel& last = p.level(p.levelCount() - 1);  // the level is clamped to the pyramid
    EXPECT_NEAR(sampleTrilinear(p, 0.4f, 0.6f, 99.0f, 0.0f).g, last.pixel(0, 0)[1] / 65535.0f, 1e-5f);
    const TestImage edge = makeImage(16, 8, [](std::int32_t x, std::int32_t, float* p) {
        p[0] = p[2] = 0, p[1] = x == 15 ? 1.0f : 0.0f;  // a bright last column
    });
    ImagePyramid wrapped, clamped;
    ASSERT_TRUE(loadPyramid(wrapped, edge, kWrapHorizontal) && loadPyramid(clamped, edge, kWrapNone));
    EXPECT_TRUE(wrapped.level(1).pixel(0, 2)[1] > 100.0f && clamped.level(1).pixel(0, 2)[1] == 0.0f);
    EXPECT_FLOAT_EQ(sampleLevel(wrapped, 0, 1.0f + 15.5f / 16, 0.5f, 0.0f).g, 1.0f);  // lookups wrap too
    EXPECT_EQ(std::pair(sampleLevel(clamped, 0, 1.25f, 0.5f, 0.0f).a, sampleLevel(clamped, 0, 0.5f, -0.1f, 0.0f).a),
              std::pair(0.0f, 0.0f));  // outside: transparent black
}
// A wrapping image rolled by 16 columns reads the same at the rolled positions: the lookups near
// the first and last columns (columns wrapped one by one) agree with those inside (a row's pixels
// in one load), for byte, word and float levels, at level 0 and at the levels a footprint mixes.
TEST(ImagePyramid, LookupsAgreeAcrossTheWrapSeam) {
    constexpr std::int32_t w = 64, h = 32, roll = 16;
    const std::vector<std::uint8_t> bytes = randomBytes(std::size_t(w * h) * 4, 7u);
    std::vector<std::uint8_t> rolledBytes(bytes.size());
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                rolledBytes[std::size_t((y * w + (x + roll) % w) * 4 + c)] = bytes[std::size_t((y * w + x) * 4 + c)];
    for (const int depth : {8, 32}) {
        ImagePyramid p[2];
        for (int i = 0; i < 2; ++i) {
            const std::vector<std::uint8_t>& src = i == 0 ? bytes : rolledBytes;
            std::vector<float> floats(src.size());
            for (std::size_t k = 0; k < src.size(); ++k) floats[k] = static_cast<float>(src[k]) / 255.0f;
            ASSERT_TRUE(p[i].allocate(w, h, kWrapHorizontal, pyramidStorageFor(depth)));
            ASSERT_TRUE(depth == 8 ? p[i].storeImage(SourceImageView{src.data(), w, h, w * 4, 4, 8})
                                   : p[i].storeImage(SourceImageView{floats.data(), w, h, w * 16, 4, 32}));
            ASSERT_EQ(buildPyramid(p[i], 2), 0);
        }
        // Footprints (level-0 pixels) for level 0 alone, level 0 with its B-spline, levels 1 to 3,
        // and a long one whose probes spread across the seam.
        for (const auto& [du, dv] : {std::pair{0.5f, 0.5f}, {1.3f, 1.3f}, {3.0f, 3.0f}, {7.0f, 6.0f}, {6.0f, 1.5f}})
            for (const float x : {0.0f, 0.3f, 1.0f, 1.6f, 2.5f, 30.2f, 61.5f, 62.7f, 63.4f, 63.9f}) {
                const float v = 13.3f / h;
                const Footprint fp{du / w, 0.0f, 0.0f, dv / h};
                const ColorRgba a = sampleInput(p[0], x / w, v, fp, 0.3f);
                const ColorRgba b = sampleInput(p[1], (x + roll) / w, v, fp, 0.3f);
                EXPECT_TRUE(std::fabs(a.r - b.r) < 2e-6f && std::fabs(a.g - b.g) < 2e-6f &&
                            std::fabs(a.b - b.b) < 2e-6f && std::fabs(a.a - b.a) < 2e-6f)
                    << depth << " bits, x " << x << ", footprint " << du << " x " << dv << ": " << a.g << " vs " << b.g;
            }
    }
}

// The cubic read of an enlargement (a footprint far under a pixel: Catmull-Rom, within the range of
// the 16 pixels it takes) against the kernel worked out here, at the first and last rows and
// columns and just inside them, wrapping and clamped, for byte and float levels: the rows a read
// takes in one go inside the level and one by one at its top and bottom, the columns in one load
// or wrapped and clamped one by one.
TEST(ImagePyramid, CubicReadsMatchTheKernelAtEveryEdge) {
    constexpr std::int32_t w = 8, h = 6;
    const std::vector<std::uint8_t> bytes = randomBytes(std::size_t(w * h) * 4, 11u);
    auto catmullRom = [](float d) {
        d = std::fabs(d);
        return d < 1.0f ? (1.5f * d - 2.5f) * d * d + 1.0f : ((-0.5f * d + 2.5f) * d - 4.0f) * d + 2.0f;
    };
    struct Case {
        const char* where;
        float x, y;  // pixel-centre coordinates of level 0
    };
    const Case cases[] = {
        {"inside", 3.3f, 2.6f},
        {"first row inside", 2.4f, 1.0f},
        {"last row inside", 4.6f, 3.99f},
        {"above the first row", 3.3f, -0.4f},
        {"on the first row", 2.7f, 0.2f},
        {"below the last row", 3.1f, 5.4f},
        {"on the last rows", 1.5f, 4.5f},
        {"first column inside", 1.2f, 2.2f},
        {"last column inside", 5.7f, 2.8f},
        {"first column", 0.4f, 3.3f},
        {"left of it", -0.3f, 2.5f},
        {"last column", 6.3f, 1.7f},
        {"right of it", 7.4f, 3.6f},
        {"top left corner", -0.3f, -0.4f},
        {"bottom right corner", 7.4f, 5.4f},
    };
    for (const int depth : {8, 32})
        for (const PyramidWrap wrap : {kWrapHorizontal, kWrapNone}) {
            std::vector<float> floats(bytes.size());
            for (std::size_t k = 0; k < bytes.size(); ++k) floats[k] = static_cast<float>(bytes[k]) / 255.0f;
            ImagePyramid p;
            ASSERT_TRUE(p.allocate(w, h, wrap, pyramidStorageFor(depth)));
            ASSERT_TRUE(depth == 8 ? p.storeImage(SourceImageView{bytes.data(), w, h, w * 4, 4, 8})
                                   : p.storeImage(SourceImageView{floats.data(), w, h, w * 16, 4, 32}));
            ASSERT_EQ(buildPyramid(p, 1), 0);
            for (const Case& c : cases) {
                const ColorRgba got =
                    sampleInput(p, (c.x + 0.5f) / w, (c.y + 0.5f) / h, Footprint{1e-3f / w, 0, 0, 1e-3f / h}, 0.0f);
                const float fx = std::floor(c.x), fy = std::floor(c.y);
                float want[4];
                for (int ch = 0; ch < 4; ++ch) {
                    float sum = 0.0f, low = 255.0f, high = 0.0f;
                    for (int j = -1; j <= 2; ++j)
                        for (int i = -1; i <= 2; ++i) {
                            const int row = std::clamp(static_cast<int>(fy) + j, 0, h - 1);
                            int col = static_cast<int>(fx) + i;
                            col = wrap == kWrapHorizontal ? (col + w) % w : std::clamp(col, 0, w - 1);
                            const float t = bytes[std::size_t((row * w + col) * 4 + ch)];
                            sum += catmullRom(c.x - fx - static_cast<float>(i)) *
                                   catmullRom(c.y - fy - static_cast<float>(j)) * t;
                            low = std::min(low, t), high = std::max(high, t);
                        }
                    want[ch] = std::clamp(sum, low, high) / 255.0f;
                }
                const float error = std::max({std::fabs(got.r - want[0]), std::fabs(got.g - want[1]),
                                              std::fabs(got.b - want[2]), std::fabs(got.a - want[3])});
                EXPECT_LT(error, 1e-5f) << c.where << ", " << depth << " bits, "
                                        << (wrap == kWrapHorizontal ? "wrapping" : "clamped");
            }
        }
}

// Where the processor reads with 256-bit vectors, every footprint lookup gives the colour of the
// 128-bit reads to the bit: over byte and word levels (8-bit input) and word levels above float
// (16-bit), wrapping and clamped, at the edges and inside, for footprints from a sliver (bilinear
// mixed with a B-spline) through one pixel to long thin ones that take many probes.
TEST(ImagePyramid, WideReadsGiveTheNarrowReadsColours) {
    if (!wideReadsAvailable()) GTEST_SKIP() << "no 256-bit reads on this processor";
    struct Case {
        const char* what;
        float major, minor;  // the footprint's axes, in level-0 pixels
        float angle;         // of the major axis, radians
    };
    const Case cases[] = {
        {"a sliver", 0.2f, 0.2f, 0.0f},          {"under a pixel", 0.7f, 0.6f, 0.3f},
        {"a pixel", 1.0f, 1.0f, 0.0f},           {"between levels", 2.6f, 2.3f, 1.0f},
        {"two to one", 3.0f, 1.5f, 0.5f},        {"long and thin", 9.0f, 1.2f, 2.2f},
        {"long and turned", 14.0f, 2.5f, -0.8f}, {"large", 20.0f, 17.0f, 0.1f},
    };
    constexpr std::int32_t w = 37, h = 23;
    const std::vector<std::uint8_t> bytes = randomBytes(std::size_t(w * h) * 4, 5u);
    std::vector<float> floats(bytes.size());
    for (std::size_t k = 0; k < bytes.size(); ++k) floats[k] = static_cast<float>(bytes[k]) / 255.0f;
    struct Restore {
        bool was = setWideReads(true);
        ~Restore() { setWideReads(was); }
    } restore;
    for (const int depth : {8, 16})
        for (const PyramidWrap wrap : {kWrapHorizontal, kWrapNone}) {
            ImagePyramid p;
            ASSERT_TRUE(p.allocate(w, h, wrap, pyramidStorageFor(depth)));
            ASSERT_TRUE(depth == 8 ? p.storeImage(SourceImageView{bytes.data(), w, h, w * 4, 4, 8})
                                   : p.storeImage(SourceImageView{floats.data(), w, h, w * 16, 4, 32}));
            ASSERT_EQ(buildPyramid(p, 1), 0);
            for (const Case& c : cases)
                for (int j = -1; j <= h; ++j)
                    for (int i = -1; i <= w; ++i) {
                        const float u = (static_cast<float>(i) + 0.37f) / w, v = (static_cast<float>(j) + 0.61f) / h;
                        const Footprint f{c.major * std::cos(c.angle) / w, c.major * std::sin(c.angle) / h,
                                          -c.minor * std::sin(c.angle) / w, c.minor * std::cos(c.angle) / h};
                        setWideReads(false);
                        const ColorRgba narrow = sampleInput(p, u, v, f, 0.0f);
                        setWideReads(true);
                        const ColorRgba wide = sampleInput(p, u, v, f, 0.0f);
                        ASSERT_EQ(std::memcmp(&narrow, &wide, sizeof narrow), 0)
                            << c.what << " at (" << i << ", " << j << "), " << depth << " bits, "
                            << (wrap == kWrapHorizontal ? "wrapping" : "clamped") << ": " << narrow.r << " against "
                            << wide.r;
                    }
        }
}

// A render's lookups keep their scale while the pyramid, its bias and the sharpening stay; a change
// of any of them, back and forth, gives the scale worked out afresh.
TEST(ImagePyramid, LookupScaleFollowsBiasAndSharpening) {
    ImagePyramid a, b;
    ASSERT_TRUE(loadPyramid(a, photographicImage(16, 8), kWrapNone) &&
                loadPyramid(b, photographicImage(16, 8), kWrapNone));
    LookupScaleCache cache;
    const struct {
        ImagePyramid* pyramid;
        float bias, sharpen;
    } steps[] = {{&a, 0.0f, 0.3f}, {&a, 0.0f, 0.3f},  {&a, 0.0f, 1.0f}, {&a, 0.75f, 1.0f},
                 {&b, 0.0f, 1.0f}, {&a, 0.75f, 1.0f}, {&a, 0.0f, 0.3f}};
    for (const auto& step : steps) {
        step.pyramid->setBias(step.bias);
        const LookupScale got = cache.get(*step.pyramid, step.sharpen);
        const LookupScale fresh = lookupScale(*step.pyramid, step.sharpen);
        EXPECT_TRUE(got.variance == fresh.variance && got.bilinearWithinPixel == fresh.bilinearWithinPixel)
            << step.bias << " " << step.sharpen;
    }
}

// A filter of variance t turns the parabola k·(x − c)² into k·((x − c)² + t): read off, the blur
// each footprint gets, through the sharp cubic of enlargements, the reads of level 0, the levels'
// kept variances and their mixing, and the anisotropic probes' spread, is the box's w²/12 up to one
// pixel (a bilinear read's, 0.16 here, is far more than a small footprint's) and grows to 0.3·w² at
// two.
TEST(ImagePyramid, FootprintLookupsBlurByTheFootprintsVariance) {
    constexpr float k = 1.0f / 4096.0f, c = 256.0f, at = 296.3f;
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(
        p,
        makeImage(512, 64,
                  [&](std::int32_t x, std::int32_t, float* q) { setGrey(q, k * (x + 0.5f - c) * (x + 0.5f - c)); }),
        kWrapNone));
    auto wanted = [](float w) {
        const float factor = w <= 1.0f ? 1.0f / 12 : w >= 2.0f ? 0.3f : 1.0f / 12 + (0.3f - 1.0f / 12) * (w - 1.0f);
        return factor * w * w;
    };
    // Round footprints, and long ones (across u, two pixels high) whose probes spread along u.
    for (const auto& [w, high] : {std::pair{0.2f, 0.2f},
                                  {0.45f, 0.45f},
                                  {1.5f, 1.5f},
                                  {2.0f, 2.0f},
                                  {3.0f, 3.0f},
                                  {8.0f, 8.0f},
                                  {13.0f, 13.0f},
                                  {5.0f, 2.0f},
                                  {9.0f, 2.0f},
                                  {30.0f, 2.0f},
                                  {120.0f, 2.0f}}) {
        const float blur = sampleInput(p, at / 512, 0.5f, Footprint{w / 512, 0, 0, high / 64}, 0.0f).g / k;
        EXPECT_NEAR(blur - (at - c) * (at - c), wanted(w), 0.01f + 0.02f * wanted(w)) << w << " x " << high;
    }
}

// Where the sharp cubic of enlargements hands over to the bilinear read (footprints 0.5 to 0.7
// pixels wide), the read changes with the footprint's width in small steps, on one-pixel stripes
// where the two reads differ most; and across a step edge an enlargement reads no halo: its values
// stay within the edge's two sides and never turn back.
TEST(ImagePyramid, SharpEnlargementsHandOverSmoothlyAndKeepEdgesWithoutHalo) {
    ImagePyramid stripes, edge;
    ASSERT_TRUE(loadPyramid(
        stripes,
        makeImage(64, 64, [](std::int32_t x, std::int32_t y, float* p) { setGrey(p, (x + y) % 2 == 0 ? 0.9f : 0.1f); }),
        kWrapNone));
    ASSERT_TRUE(loadPyramid(
        edge, makeImage(64, 16, [](std::int32_t x, std::int32_t, float* p) { setGrey(p, x < 32 ? 0.2f : 0.8f); }),
        kWrapNone));
    const float u = 30.8f / 64.0f, v = 20.3f / 64.0f;
    auto read = [&](float w) { return sampleInput(stripes, u, v, Footprint{w / 64, 0, 0, w / 64}, 0.0f).g; };
    float largestStep = 0.0f;
    for (float w = 0.3f; w < 0.9f; w += 0.002f)
        largestStep = std::max(largestStep, std::fabs(read(w + 0.002f) - read(w)));
    EXPECT_GT(std::fabs(read(0.3f) - read(0.9f)), 0.05f);  // the two reads differ here
    EXPECT_LT(largestStep, 0.004f);
    float last = 0.0f;
    for (float x = 28.0f; x < 36.0f; x += 0.05f) {
        const float g = sampleInput(edge, x / 64.0f, 0.5f, Footprint{0.2f / 64, 0, 0, 0.2f / 16}, 0.0f).g;
        EXPECT_TRUE(g >= 0.2f - 1e-6f && g <= 0.8f + 1e-6f && g >= last - 1e-6f) << x << ": " << g;
        last = g;
    }
}

}  // namespace
}  // namespace globaro
