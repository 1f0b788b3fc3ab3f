// Quality of the pixel pipeline through the real output mapping: an identity
// render reproduces its input, strong reductions do not alias, and the
// equirectangular wrap leaves no seam.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "pipeline_test_support.h"
#include "projection/render_context.h"
#include "render/pixel_pipeline.h"
#include "render/render_setup.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

using namespace testing_support;

SettingsRecord defaultSettings() {
    SettingsRecord s;
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    resetRunState(s);
    resetToDefaults(s);
    return s;
}

struct ContextRender {
    RenderContext ctx;
    ImagePyramid pyramid;
    PipelineConfig config;
};

// Renders `img` (as an input of `settings`) into an output of w x h.
BufferSink renderImage(const SettingsRecord& s, const TestImage& img, std::int32_t w, std::int32_t h, int quality,
                       ContextRender& r, RenderOutcome* outcome = nullptr) {
    RenderSizes sizes;
    sizes.outputWidth = w;
    sizes.outputHeight = h;
    sizes.inputWidth = img.width;
    sizes.inputHeight = img.height;
    setupRenderContext(r.ctx, s, sizes);
    const InputWrap wrap = inputWrapOf(r.ctx.inputProjection);
    EXPECT_TRUE(loadPyramid(r.pyramid, img, wrap == kInputNoWrap ? kWrapNone : kWrapHorizontal));
    static thread_local std::unique_ptr<ContextSampleMapping> mapping;
    mapping = std::make_unique<ContextSampleMapping>(r.ctx);
    ShadingOptions shading = shadingOptionsFor(s, r.ctx, kTargetExportImage);
    shading.quality = quality;
    r.config = makeConfig(*mapping, &r.pyramid, w, h, shading);
    BufferSink sink(w, h);
    const RenderOutcome out = renderInto(r.config, sink);
    EXPECT_EQ(out.result, 0);
    if (outcome != nullptr) *outcome = out;
    return sink;
}

TEST(PipelineQuality, IdentityRenderReproducesThePicture) {
    const SettingsRecord s = defaultSettings();  // equirectangular in and out, no rotation
    const TestImage img = photographicImage(320, 160);
    for (int quality : {kQualityBest, kQualityBetter, kQualityGood}) {
        ContextRender r;
        const BufferSink out = renderImage(s, img, 320, 160, quality, r);
        const double p = psnr(out, img);
        EXPECT_GT(p, 45.0) << "quality " << quality;
        std::printf("identity quality %d: PSNR %.2f dB\n", quality, p);
        // Every pixel is opaque.
        for (std::int32_t y = 0; y < out.height; y += 7)
            for (std::int32_t x = 0; x < out.width; x += 5) ASSERT_NEAR(out.at(x, y)[3], 1.0f, 1e-5f);
    }
}

TEST(PipelineQuality, FineCheckerReducedComesOutSmoothGrey) {
    SettingsRecord s = defaultSettings();
    // 1 degree squares: 720 x 360 pixels, two pixels per square.
    const TestImage img = checkerImage(720, 360, 2);
    {
        ContextRender r;
        const BufferSink out = renderImage(s, img, 96, 48, kQualityBest, r);
        const Stats st = greenStats(out, 4, 8, 92, 40);
        std::printf("checker, plain view: mean %.4f deviation %.4f\n", st.mean, st.deviation);
        EXPECT_NEAR(st.mean, 0.5, 0.02);
        EXPECT_LT(st.deviation, 0.01);
    }
    {
        // A turned view: footprints are sheared and elongated.
        s.latitude = 35.0f;
        s.spin = 20.0f;
        ContextRender r;
        const BufferSink out = renderImage(s, img, 128, 64, kQualityBest, r);
        const Stats st = greenStats(out, 4, 12, 124, 52);
        std::printf("checker, turned view: mean %.4f deviation %.4f\n", st.mean, st.deviation);
        EXPECT_NEAR(st.mean, 0.5, 0.03);
        EXPECT_LT(st.deviation, 0.02);
    }
    {
        // Orthographic globe: strongly anisotropic toward the rim.
        s = defaultSettings();
        s.outputProjection = 5;
        ContextRender r;
        const BufferSink out = renderImage(s, img, 80, 80, kQualityBetter, r);
        const Stats st = greenStats(out, 25, 25, 55, 55);
        std::printf("checker, globe: mean %.4f deviation %.4f\n", st.mean, st.deviation);
        EXPECT_NEAR(st.mean, 0.5, 0.03);
        EXPECT_LT(st.deviation, 0.02);
    }
}

TEST(PipelineQuality, CheckerOfUnevenPixelSizeStaysSmoothAndCoarseDetailSurvives) {
    SettingsRecord s = defaultSettings();
    s.latitude = 20.0f;
    s.longitude = 13.0f;
    {
        // 1 degree squares of 2.78 pixels: no level of the pyramid cancels them exactly.
        const TestImage img = degreeCheckerImage(1000, 500, 1.0);
        ContextRender r;
        const BufferSink out = renderImage(s, img, 120, 60, kQualityBest, r);
        const Stats st = greenStats(out, 4, 10, 116, 50);
        std::printf("uneven checker: mean %.4f deviation %.4f\n", st.mean, st.deviation);
        EXPECT_NEAR(st.mean, 0.5, 0.03);
        EXPECT_LT(st.deviation, 0.03);
    }
    {
        // 30 degree squares are 10 output pixels wide: they keep their contrast.
        const TestImage img = degreeCheckerImage(1000, 500, 30.0);
        ContextRender r;
        const BufferSink out = renderImage(s, img, 120, 60, kQualityBest, r);
        const Stats st = greenStats(out, 4, 10, 116, 50);
        EXPECT_GT(st.deviation, 0.35);
    }
}

TEST(PipelineQuality, NoSeamAtTheEquirectangularWrap) {
    SettingsRecord s = defaultSettings();
    s.longitude = 180.0f;  // the input's left and right edges meet in the middle of the output
    const TestImage img = photographicImage(256, 128);
    ContextRender r;
    const BufferSink out = renderImage(s, img, 256, 128, kQualityBest, r);
    // The turned render equals the image shifted by half its width.
    double worst = 0.0;
    for (std::int32_t y = 4; y < 124; ++y)
        for (std::int32_t x = 0; x < 256; ++x)
            for (int c = 0; c < 3; ++c)
                worst =
                    std::max(worst, std::fabs(static_cast<double>(out.at(x, y)[c]) - img.at((x + 128) % 256, y)[c]));
    EXPECT_LT(worst, 0.06);
    // And the seam columns step no more than their neighbours do.
    for (std::int32_t y = 10; y < 118; y += 9) {
        for (std::int32_t x : {126, 127, 128, 129}) {
            for (int c = 0; c < 3; ++c) {
                const double here = std::fabs(static_cast<double>(out.at(x + 1, y)[c]) - out.at(x, y)[c]);
                const double there =
                    std::fabs(static_cast<double>(img.at((x + 129) % 256, y)[c]) - img.at((x + 128) % 256, y)[c]);
                EXPECT_LT(here, there + 0.03) << x << "," << y;
            }
        }
    }
    // The outermost columns of an identity render wrap around too.
    ContextRender r2;
    const BufferSink same = renderImage(defaultSettings(), img, 256, 128, kQualityBest, r2);
    for (std::int32_t y = 4; y < 124; y += 3)
        for (std::int32_t x : {0, 255})
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(same.at(x, y)[c], img.at(x, y)[c], 0.03) << x << "," << y;
}

// A smooth function of the direction, steep at the poles, so that the
// exact colour of every output pixel is known.
void sphereColour(double x, double y, double z, float rgb[3]) {
    rgb[0] = static_cast<float>(0.5 + 0.45 * std::sin(5.0 * x));
    rgb[1] = static_cast<float>(0.5 + 0.45 * std::cos(4.0 * z) * y);
    rgb[2] = static_cast<float>(0.5 + 0.45 * std::sin(4.0 * x) * std::cos(3.0 * z));
}

// The direction of an equirectangular position (u, v).
void directionOf(double u, double v, double& x, double& y, double& z) {
    const double pi = 3.141592653589793;
    const double lat = pi * (0.5 - v), lon = (u - 0.5) * 2.0 * pi;
    x = -std::cos(lat) * std::sin(lon);
    y = std::sin(lat);
    z = std::cos(lat) * std::cos(lon);
}

TestImage sphereFunctionImage(std::int32_t width, std::int32_t height) {
    TestImage img{width, height, std::vector<float>(static_cast<std::size_t>(width * height) * 3)};
    for (std::int32_t j = 0; j < height; ++j)
        for (std::int32_t i = 0; i < width; ++i) {
            double x, y, z;
            directionOf((i + 0.5) / width, (j + 0.5) / height, x, y, z);
            sphereColour(x, y, z, img.at(i, j));
        }
    return img;
}

TEST(PipelineQuality, ViewsOfThePolesMatchTheExactPicture) {
    // The input's top and bottom rows are its poles: a pixel near them spans
    // a wide range of longitude in few rows. Every view of a pole must show
    // the smooth function as it is there.
    const TestImage img = sphereFunctionImage(1024, 512);
    struct Case {
        const char* what;
        ProjectionId output;
        float latitude;
        std::int32_t width, height;
    };
    const Case cases[] = {
        {"rectilinear at the north pole", 14, 90.0f, 512, 512},
        {"rectilinear at the south pole", 14, -90.0f, 512, 512},
        {"rectilinear near the north pole", 14, 89.7f, 384, 384},
        {"cube faces", 337, 0.0f, 1536, 256},
        {"equirectangular turned a quarter", 1, 90.0f, 1024, 512},
        {"equirectangular as it is", 1, 0.0f, 1024, 512},
    };
    for (const Case& c : cases) {
        SettingsRecord s = defaultSettings();
        s.outputProjection = c.output;
        s.latitude = c.latitude;
        ContextRender r;
        const BufferSink out = renderImage(s, img, c.width, c.height, kQualityBest, r);
        // The exact colour at each pixel's centre, from the direction the
        // mapping gives there.
        const ContextSampleMapping mapping(r.ctx);
        MappingScratch scratch;
        int wrong = 0;
        double worst = 0.0;
        for (std::int32_t j = 0; j < c.height; ++j)
            for (std::int32_t i = 0; i < c.width; ++i) {
                RenderCell cell{};
                mapping.mapSample(static_cast<float>(i) - 0.5f, static_cast<float>(j) - 0.5f, 1.0f, 0.0f, 0.0f,
                                  r.config.placement.image, 0, cell, scratch);
                ASSERT_GE(cell.inputV, 0.0f);
                double x, y, z;
                directionOf(cell.inputU, cell.inputV, x, y, z);
                float exact[3];
                sphereColour(x, y, z, exact);
                double e = 0.0;
                for (int k = 0; k < 3; ++k) e = std::max(e, std::fabs(static_cast<double>(out.at(i, j)[k]) - exact[k]));
                worst = std::max(worst, e);
                if (e > 2.0 / 255.0) ++wrong;
            }
        std::printf("%s: %d pixels off by more than 2/255, the worst by %.1f/255\n", c.what, wrong, worst * 255.0);
        EXPECT_EQ(wrong, 0) << c.what;
    }
    // Detail the pole's pixels cannot show is still averaged away: squares
    // of 2 degrees converge on the pole as grey.
    SettingsRecord s = defaultSettings();
    s.outputProjection = 14;
    s.latitude = 90.0f;
    s.fov = 120.0f;
    ContextRender r;
    const BufferSink out = renderImage(s, degreeCheckerImage(2048, 1024, 2.0), 256, 256, kQualityBest, r);
    for (std::int32_t j = 120; j < 136; ++j)
        for (std::int32_t i = 120; i < 136; ++i) ASSERT_NEAR(out.at(i, j)[1], 0.5f, 0.06f) << i << "," << j;
}

TEST(PipelineQuality, SharpenMakesEnlargementsCrisperWithoutRinging) {
    // A coarse vertical step enlarged eight times.
    TestImage img{32, 16, std::vector<float>(32 * 16 * 3, 0.2f)};
    for (std::int32_t y = 0; y < 16; ++y)
        for (std::int32_t x = 16; x < 32; ++x) img.at(x, y)[0] = img.at(x, y)[1] = img.at(x, y)[2] = 0.8f;
    double steepest[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        SettingsRecord s = defaultSettings();
        s.sharpen = i == 0 ? 0.0f : 100.0f;
        ContextRender r;
        const BufferSink out = renderImage(s, img, 256, 128, kQualityBest, r);
        for (std::int32_t x = 100; x < 156; ++x) {
            const float a = out.at(x, 64)[1], b = out.at(x + 1, 64)[1];
            steepest[i] = std::max(steepest[i], static_cast<double>(b - a));
            EXPECT_GE(a, 0.2f - 1e-4f);  // never beyond the two levels of the step
            EXPECT_LE(a, 0.8f + 1e-4f);
        }
    }
    EXPECT_GT(steepest[1], steepest[0] * 1.3);
}

TEST(PipelineQuality, PreviewQualitiesFromTheSettings) {
    SettingsRecord s = defaultSettings();
    RenderContext ctx;
    RenderSizes sizes;
    setupRenderContext(ctx, s, sizes);
    s.previewQuality = 1;
    EXPECT_EQ(shadingOptionsFor(s, ctx, kTargetPreview).quality, kQualityGood);
    EXPECT_EQ(shadingOptionsFor(s, ctx, kTargetHostImage).quality, kQualityBest);
    s.previewQuality = 99;
    EXPECT_EQ(shadingOptionsFor(s, ctx, kTargetPreview).quality, kQualityBest);
    s.sharpen = 100.0f;
    EXPECT_FLOAT_EQ(shadingOptionsFor(s, ctx, kTargetHostImage).sharpen, 1.0f);
    s.sharpen = -5.0f;
    EXPECT_FLOAT_EQ(shadingOptionsFor(s, ctx, kTargetHostImage).sharpen, 0.0f);
    EXPECT_EQ(shadingOptionsFor(s, ctx, kTargetHostImage).wrap, kInputWrapHorizontal);
    s.forceTransparent = 1;
    EXPECT_TRUE(shadingOptionsFor(s, ctx, kTargetExportImage).keepTransparency);
}

}  // namespace
}  // namespace globaro
