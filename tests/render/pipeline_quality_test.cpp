// The pixel pipeline through the real output mapping: identity, reductions, poles and the wrap.

#include <gtest/gtest.h>
#include <memory>
#include "pipeline_test_support.h"
#include "render/render_setup.h"

namespace globaro {
namespace {
using namespace testing_support;
struct ContextRender {
    RenderContext ctx;
    ImagePyramid pyramid;
    std::unique_ptr<ContextSampleMapping> mapping;
    PipelineConfig config;
};

// Renders `img` (as an input of `s`) into an output of w x h.
BufferSink renderImage(const SettingsRecord& s, const TestImage& img, std::int32_t w, std::int32_t h, int quality,
                       ContextRender& r) {
    setupRenderContext(r.ctx, s, RenderSizes{w, h, img.width, img.height});
    EXPECT_TRUE(
        loadPyramid(r.pyramid, img, inputWrapOf(r.ctx.inputProjection) == kInputNoWrap ? kWrapNone : kWrapHorizontal));
    r.mapping = std::make_unique<ContextSampleMapping>(r.ctx);
    ShadingOptions shading = shadingOptionsFor(s, r.ctx, kTargetExportImage);
    shading.quality = quality;
    r.config = makeConfig(*r.mapping, &r.pyramid, w, h, shading);
    BufferSink sink(w, h);
    EXPECT_EQ(renderInto(r.config, sink).result, 0);
    return sink;
}

TEST(PipelineQuality, IdentityRenderReproducesThePicture) {
    const TestImage img = photographicImage(320, 160);
    for (int quality : {kQualityBest, kQualityBetter, kQualityGood}) {
        ContextRender r;
        const BufferSink out = renderImage(defaultSettings(), img, 320, 160, quality, r);
        EXPECT_GT(psnr(out, img), 45.0) << "quality " << quality;
        for (std::int32_t y = 0; y < out.height; y += 7)
            for (std::int32_t x = 0; x < out.width; x += 5) ASSERT_NEAR(out.at(x, y)[3], 1.0f, 1e-5f);
    }
}

// Checkers reduced to a few pixels per square come out grey; coarse ones keep their contrast.
TEST(PipelineQuality, ReducedCheckersComeOutGreyAndCoarseDetailSurvives) {
    struct Case {
        const char* name;
        ProjectionId output;
        float latitude, longitude, spin;
        std::int32_t inW, inH;
        double degrees;
        std::int32_t w, h, x0, y0, x1, y1;
        int quality;
        double meanTol, minDeviation, maxDeviation;
    };
    const Case cases[] = {
        {"plain view", 1, 0, 0, 0, 720, 360, 1.0, 96, 48, 4, 8, 92, 40, kQualityBest, 0.02, 0.0, 0.01},
        {"turned view", 1, 35, 0, 20, 720, 360, 1.0, 128, 64, 4, 12, 124, 52, kQualityBest, 0.03, 0.0, 0.02},
        {"orthographic globe", 5, 0, 0, 0, 720, 360, 1.0, 80, 80, 25, 25, 55, 55, kQualityBetter, 0.03, 0.0, 0.02},
        {"uneven pixel size", 1, 20, 13, 0, 1000, 500, 1.0, 120, 60, 4, 10, 116, 50, kQualityBest, 0.03, 0.0, 0.03},
        {"coarse squares", 1, 20, 13, 0, 1000, 500, 30.0, 120, 60, 4, 10, 116, 50, kQualityBest, 1.0, 0.35, 1.0},
    };
    for (const Case& c : cases) {
        SettingsRecord s = defaultSettings();
        s.outputProjection = c.output, s.latitude = c.latitude, s.longitude = c.longitude, s.spin = c.spin;
        ContextRender r;
        const BufferSink out = renderImage(s, degreeCheckerImage(c.inW, c.inH, c.degrees), c.w, c.h, c.quality, r);
        double sum = 0.0, squares = 0.0, n = 0.0;
        for (std::int32_t y = c.y0; y < c.y1; ++y)
            for (std::int32_t x = c.x0; x < c.x1; ++x, ++n)
                sum += out.at(x, y)[1], squares += out.at(x, y)[1] * out.at(x, y)[1];
        const double mean = sum / n, deviation = std::sqrt(std::max(squares / n - mean * mean, 0.0));
        EXPECT_TRUE(std::fabs(mean - 0.5) <= c.meanTol && deviation >= c.minDeviation && deviation <= c.maxDeviation)
            << c.name << ": mean " << mean << ", deviation " << deviation;
    }
}

TEST(PipelineQuality, NoSeamAtTheEquirectangularWrap) {
    SettingsRecord s = defaultSettings();
    s.longitude = 180.0f;  // the input's left and right edges meet in the middle of the output
    const TestImage img = photographicImage(256, 128);
    ContextRender r, r2;
    const BufferSink out = renderImage(s, img, 256, 128, kQualityBest, r);
    const BufferSink same = renderImage(defaultSettings(), img, 256, 128, kQualityBest, r2);
    for (std::int32_t y = 4; y < 124; ++y)
        for (std::int32_t x = 0; x < 256; ++x)
            for (int c = 0; c < 3; ++c) {
                // The turned render is the image shifted by half; the identity's edge columns wrap too.
                ASSERT_NEAR(out.at(x, y)[c], img.at((x + 128) % 256, y)[c], 0.06) << x << "," << y;
                ASSERT_NEAR(x % 255 == 0 ? same.at(x, y)[c] : img.at(x, y)[c], img.at(x, y)[c], 0.03) << x << "," << y;
                // The seam columns step no more than their neighbours do.
                if (x < 126 || x > 129 || y < 10 || y >= 118) continue;
                const double here = std::fabs(out.at(x + 1, y)[c] - out.at(x, y)[c]);
                const double there = std::fabs(img.at((x + 129) % 256, y)[c] - img.at((x + 128) % 256, y)[c]);
                EXPECT_LT(here, there + 0.03) << x << "," << y;
            }
}

// A smooth function of the direction, steep at the poles, of equirectangular (u, v).
void sphereColour(double u, double v, float rgb[3]) {
    const double pi = 3.141592653589793, lat = pi * (0.5 - v), lon = (u - 0.5) * 2.0 * pi;
    const double x = -std::cos(lat) * std::sin(lon), y = std::sin(lat), z = std::cos(lat) * std::cos(lon);
    rgb[0] = static_cast<float>(0.5 + 0.45 * std::sin(5.0 * x));
    rgb[1] = static_cast<float>(0.5 + 0.45 * std::cos(4.0 * z) * y);
    rgb[2] = static_cast<float>(0.5 + 0.45 * std::sin(4.0 * x) * std::cos(3.0 * z));
}

// Every view of a pole shows the function exactly (its pixels span wide longitudes in few rows).
TEST(PipelineQuality, ViewsOfThePolesMatchTheExactPicture) {
    const TestImage img = makeImage(1024, 512, [](std::int32_t i, std::int32_t j, float* p) {
        sphereColour((i + 0.5) / 1024, (j + 0.5) / 512, p);
    });
    for (const auto& [what, output, latitude, w, h] :
         {std::tuple{"rectilinear at the north pole", 14, 90.0f, 512, 512},
          std::tuple{"rectilinear at the south pole", 14, -90.0f, 512, 512},
          std::tuple{"rectilinear near the north pole", 14, 89.7f, 384, 384},
          std::tuple{"cube faces", 337, 0.0f, 1536, 256},
          std::tuple{"equirectangular turned a quarter", 1, 90.0f, 1024, 512},
          std::tuple{"equirectangular as it is", 1, 0.0f, 1024, 512}}) {
        SettingsRecord s = defaultSettings();
        s.outputProjection = output, s.latitude = latitude;
        ContextRender r;
        const BufferSink out = renderImage(s, img, w, h, kQualityBest, r);
        MappingScratch scratch;
        int wrong = 0;
        for (std::int32_t j = 0; j < h; ++j)
            for (std::int32_t i = 0; i < w; ++i) {
                RenderCell cell{};  // the exact colour where the mapping puts the pixel's centre
                r.mapping->mapSample(float(i) - 0.5f, float(j) - 0.5f, 1.0f, 0.0f, 0.0f, r.config.placement.image, 0,
                                     cell, scratch);
                ASSERT_GE(cell.inputV, 0.0f);
                float exact[3];
                sphereColour(cell.inputU, cell.inputV, exact);
                for (int k = 0; k < 3; ++k) wrong += std::fabs(out.at(i, j)[k] - exact[k]) > 2.0 / 255.0;
            }
        EXPECT_LE(wrong, 4) << what;  // a few pixels of the wedge a hair past 2/255
    }
    // Squares of 2 degrees converging on the pole are still averaged to grey.
    SettingsRecord s = defaultSettings();
    s.outputProjection = 14, s.latitude = 90.0f, s.fov = 120.0f;
    ContextRender r;
    const BufferSink out = renderImage(s, degreeCheckerImage(2048, 1024, 2.0), 256, 256, kQualityBest, r);
    for (std::int32_t j = 120; j < 136; ++j)
        for (std::int32_t i = 120; i < 136; ++i) ASSERT_NEAR(out.at(i, j)[1], 0.5f, 0.065f) << i << "," << j;
}

TEST(PipelineQuality, SharpenMakesEnlargementsCrisperWithoutRinging) {
    // A coarse vertical step enlarged eight times.
    const TestImage img =
        makeImage(32, 16, [](std::int32_t x, std::int32_t, float* p) { setGrey(p, x < 16 ? 0.2f : 0.8f); });
    double steepest[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        SettingsRecord s = defaultSettings();
        s.sharpen = i == 0 ? 0.0f : 100.0f;
        ContextRender r;
        const BufferSink out = renderImage(s, img, 256, 128, kQualityBest, r);
        for (std::int32_t x = 100; x < 156; ++x) {
            const float a = out.at(x, 64)[1], b = out.at(x + 1, 64)[1];
            steepest[i] = std::max(steepest[i], static_cast<double>(b - a));
            EXPECT_TRUE(a >= 0.2f - 1e-4f && a <= 0.8f + 1e-4f) << x;  // never beyond the step's two levels
        }
    }
    // Sharpening halves the blur of shrinking footprints; an enlargement
    // reads bilinearly either way, its step no softer.
    EXPECT_GE(steepest[1], steepest[0] * 0.99);
}

TEST(PipelineQuality, ShadingOptionsFromTheSettings) {
    SettingsRecord s = defaultSettings();
    RenderContext ctx;
    setupRenderContext(ctx, s, RenderSizes{});
    s.previewQuality = 1, s.sharpen = 100.0f;
    EXPECT_EQ(std::tuple(shadingOptionsFor(s, ctx, kTargetPreview).quality,
                         shadingOptionsFor(s, ctx, kTargetHostImage).quality,
                         shadingOptionsFor(s, ctx, kTargetHostImage).sharpen,
                         shadingOptionsFor(s, ctx, kTargetHostImage).wrap),
              std::tuple(kQualityGood, kQualityBest, 1.0f, kInputWrapHorizontal));
    s.previewQuality = 99, s.sharpen = -5.0f, s.forceTransparent = 1;
    EXPECT_EQ(std::tuple(shadingOptionsFor(s, ctx, kTargetPreview).quality,
                         shadingOptionsFor(s, ctx, kTargetHostImage).sharpen,
                         shadingOptionsFor(s, ctx, kTargetExportImage).keepTransparency),
              std::tuple(kQualityBest, 0.0f, true));
}
}  // namespace
}  // namespace globaro
