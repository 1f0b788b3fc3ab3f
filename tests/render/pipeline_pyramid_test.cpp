// The image pyramid: level sizes, both reductions, lookups, sharpening and
// the anisotropic sampler.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "pipeline_test_support.h"
#include "render/image_pyramid.h"

namespace globaro {
namespace {

using namespace testing_support;

TestImage constantImage(std::int32_t w, std::int32_t h, float r, float g, float b) {
    TestImage img{w, h, std::vector<float>(static_cast<std::size_t>(w * h) * 3)};
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            float* p = img.at(x, y);
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    return img;
}

TEST(ImagePyramid, LevelSizesAndTapKinds) {
    ImagePyramid p;
    ASSERT_TRUE(p.allocate(5, 3, kWrapNone));
    ASSERT_EQ(p.levelCount(), 4);
    EXPECT_EQ(p.level(1).width, 3);
    EXPECT_EQ(p.level(1).height, 2);
    EXPECT_TRUE(p.level(1).wideTaps);
    EXPECT_EQ(p.level(3).width, 1);
    EXPECT_EQ(p.level(3).height, 1);
    ASSERT_TRUE(p.allocate(8, 4, kWrapHorizontal));
    EXPECT_EQ(p.levelCount(), 4);
    EXPECT_FALSE(p.level(1).wideTaps);  // exactly half: whole-pixel taps
    EXPECT_FALSE(p.level(2).wideTaps);
    EXPECT_TRUE(p.level(3).wideTaps);   // 2 x 1 -> 1 x 1
    EXPECT_FALSE(p.allocate(0, 5, kWrapNone));
    EXPECT_EQ(p.levelCount(), 0);
    EXPECT_FALSE(p.allocate(1 << 30, 1 << 30, kWrapNone));  // cannot be had: clean failure
    float sum = 0;
    for (const auto& row : kPyramidWeights)
        for (float w : row) sum += w;
    EXPECT_EQ(sum, kPyramidWeightSum);
}

TEST(ImagePyramid, ConstantImagesStayConstantUnderBothReductions) {
    for (std::int32_t w : {64, 37}) {
        ImagePyramid p;
        ASSERT_TRUE(loadPyramid(p, constantImage(w, w / 2 + 1, 0.25f, 0.5f, 1.0f), kWrapHorizontal));
        EXPECT_TRUE(p.ready());
        for (int n = 0; n < p.levelCount(); ++n) {
            const PyramidLevel& lv = p.level(n);
            for (std::int32_t y = 0; y < lv.height; ++y)
                for (std::int32_t x = 0; x < lv.width; ++x) {
                    const float* px = lv.pixel(x, y);
                    ASSERT_NEAR(px[0], 0.25f * 65535.0f, 0.05f);
                    ASSERT_NEAR(px[1], 0.5f * 65535.0f, 0.05f);
                    ASSERT_NEAR(px[2], 65535.0f, 0.05f);
                    ASSERT_NEAR(px[3], 1.0f, 1e-6f);
                }
        }
    }
}

TEST(ImagePyramid, EightBitConstantKeepsItsValue) {
    // 200 stays 200 on every level (the reduction is normalised by the sum of
    // its weights).
    std::vector<std::uint8_t> bytes(16 * 8 * 4, 200);
    ImagePyramid p;
    ASSERT_TRUE(p.allocate(16, 8, kWrapNone));
    SourceImageView view{bytes.data(), 16, 8, 16 * 4, 4, 8};
    ASSERT_TRUE(p.storeImage(view));
    ASSERT_EQ(buildPyramid(p, 1), 0);
    for (int n = 0; n < p.levelCount(); ++n) {
        EXPECT_NEAR(p.level(n).pixel(0, 0)[0] * 255.0f / 65535.0f, 200.0f, 1e-3f);
        EXPECT_NEAR(p.level(n).pixel(0, 0)[3], 200.0f / 255.0f, 1e-6f);
    }
    // Bad views are refused.
    EXPECT_FALSE(p.storeImage(SourceImageView{nullptr, 16, 8, 64, 4, 8}));
    EXPECT_FALSE(p.storeImage(SourceImageView{bytes.data(), 16, 8, 10, 4, 8}));
    EXPECT_FALSE(p.storeImage(SourceImageView{bytes.data(), 16, 8, 64, 4, 12}));
    EXPECT_FALSE(p.storeImage(view, 1, 0));  // does not fit
}

TEST(ImagePyramid, HorizontalWrapReachesAcrossTheEdge) {
    TestImage img = constantImage(16, 8, 0, 0, 0);
    for (std::int32_t y = 0; y < 8; ++y) img.at(15, y)[1] = 1.0f;  // bright last column
    ImagePyramid wrapped, clamped;
    ASSERT_TRUE(loadPyramid(wrapped, img, kWrapHorizontal));
    ASSERT_TRUE(loadPyramid(clamped, img, kWrapNone));
    EXPECT_GT(wrapped.level(1).pixel(0, 2)[1], 100.0f);
    EXPECT_EQ(clamped.level(1).pixel(0, 2)[1], 0.0f);
    // Lookups wrap too.
    const ColorRgba a = sampleLevel(wrapped, 0, 1.25f, 0.5f, 0.0f);
    const ColorRgba b = sampleLevel(wrapped, 0, 0.25f, 0.5f, 0.0f);
    EXPECT_FLOAT_EQ(a.g, b.g);
    EXPECT_EQ(sampleLevel(clamped, 0, 1.25f, 0.5f, 0.0f).a, 0.0f);  // outside: transparent black
    EXPECT_EQ(sampleLevel(clamped, 0, 0.5f, -0.1f, 0.0f).a, 0.0f);
}

TEST(ImagePyramid, LookupsReadPixelsAndMixLevels) {
    const TestImage img = photographicImage(32, 16);
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, img, kWrapNone));
    // Pixel centres read the pixel itself.
    for (std::int32_t x : {0, 5, 31}) {
        const ColorRgba c = sampleLevel(p, 0, (x + 0.5f) / 32.0f, 6.5f / 16.0f, 0.3f);
        EXPECT_NEAR(c.r, img.at(x, 6)[0], 1e-5f);
        EXPECT_NEAR(c.b, img.at(x, 6)[2], 1e-5f);
    }
    const ColorRgba l0 = sampleLevel(p, 0, 0.4f, 0.6f, 0.0f);
    const ColorRgba l1 = sampleLevel(p, 1, 0.4f, 0.6f, 0.0f);
    const ColorRgba half = sampleTrilinear(p, 0.4f, 0.6f, 0.5f, 0.0f);
    EXPECT_NEAR(half.g, 0.5f * (l0.g + l1.g), 1e-5f);
    // The level is clamped to the pyramid.
    const ColorRgba top = sampleTrilinear(p, 0.4f, 0.6f, 99.0f, 0.0f);
    const PyramidLevel& last = p.level(p.levelCount() - 1);
    EXPECT_NEAR(top.g, last.pixel(0, 0)[1] / 65535.0f, 1e-5f);
}

TEST(ImagePyramid, SharpenSteepensEdgesWithoutRinging) {
    // A step: left half black, right half white.
    TestImage img = constantImage(16, 4, 0, 0, 0);
    for (std::int32_t y = 0; y < 4; ++y)
        for (std::int32_t x = 8; x < 16; ++x) img.at(x, y)[0] = img.at(x, y)[1] = img.at(x, y)[2] = 1.0f;
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, img, kWrapNone));
    // A quarter pixel right of the last black pixel's centre.
    const float u = (7.5f + 0.25f) / 16.0f;
    const ColorRgba soft = sampleLevel(p, 0, u, 0.5f, 0.0f);
    const ColorRgba sharp = sampleLevel(p, 0, u, 0.5f, 1.0f);
    EXPECT_NEAR(soft.g, 0.25f, 1e-5f);
    EXPECT_LT(sharp.g, soft.g - 0.05f);
    // Across the whole edge, at any sharpening, values stay within the step.
    for (float s : {0.0f, 0.5f, 1.0f})
        for (int i = 0; i <= 64; ++i) {
            const ColorRgba c = sampleTrilinear(p, i / 64.0f, 0.5f, 0.7f, s);
            EXPECT_GE(c.g, -1e-6f);
            EXPECT_LE(c.g, 1.0f + 1e-6f);
        }
}

TEST(ImagePyramid, AnisotropicLookupStaysSharpAcrossTheShortAxis) {
    // Horizontal stripes 8 pixels high; a footprint 8 pixels long in u and
    // one pixel high in v keeps the stripes, a plain lookup blurs them.
    TestImage img = constantImage(256, 128, 0, 0, 0);
    for (std::int32_t y = 0; y < 128; ++y)
        if ((y / 8) % 2 == 1)
            for (std::int32_t x = 0; x < 256; ++x) img.at(x, y)[1] = 1.0f;
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, img, kWrapHorizontal));
    const Footprint fp{8.0f / 256.0f, 0.0f, 0.0f, 1.0f / 128.0f};
    const float v = 12.0f / 128.0f;  // the middle of a white stripe
    const ColorRgba aniso = sampleInput(p, 0.5f, v, fp, 0.0f);
    const ColorRgba plain = samplePlain(p, 0.5f, v, fp, 0.0f);
    EXPECT_GT(aniso.g, 0.9f);
    EXPECT_LT(plain.g, 0.75f);
    // A degenerate footprint takes one plain lookup.
    const Footprint flat{0.01f, 0.0f, 0.02f, 0.0f};
    const ColorRgba d1 = sampleInput(p, 0.3f, v, flat, 0.0f);
    const ColorRgba d2 = samplePlain(p, 0.3f, v, flat, 0.0f);
    EXPECT_FLOAT_EQ(d1.g, d2.g);
    // Outside the image: transparent black.
    EXPECT_EQ(sampleInput(p, 0.5f, 1.5f, fp, 0.0f).a, 0.0f);
}

TEST(ImagePyramid, ReduceTileClipsToTheLevel) {
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, constantImage(10, 6, 1, 1, 1), kWrapNone));
    p.reduceTile(0, TileRect{-5, -5, 500, 500}, false);
    p.reduceTile(7, TileRect{0, 0, 4, 4}, true);  // no such level: nothing happens
    EXPECT_NEAR(p.level(1).pixel(4, 2)[0], 65535.0f, 0.1f);
}

}  // namespace
}  // namespace globaro
