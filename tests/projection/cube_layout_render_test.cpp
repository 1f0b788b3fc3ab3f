// A cube map written by the module reads back: an equirectangular picture
// rendered to a cube-map layout, then read as the matching cube-layout input
// and rendered back to equirectangular, reproduces the picture without seams
// at the face borders.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "projection/output_test_support.h"
#include "projection/render_context.h"
#include "render/pipeline_test_support.h"
#include "render/pixel_pipeline.h"
#include "render/render_setup.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

using namespace testing_support;

std::unique_ptr<SettingsRecord> settingsFor(ProjectionId output, InputProjectionId input) {
    return std::make_unique<SettingsRecord>(testing::plainSettings(output, input));
}

// Renders `img`, laid out as `input`, to `output` at w × h. With
// `forgetInputSize` the context does not know the input's pixel size (as a
// caller that cannot tell it), so the cube-layout inputs keep only the
// minimum margin from their cells' borders.
TestImage render(ProjectionId output, InputProjectionId input, const TestImage& img, std::int32_t w, std::int32_t h,
                 bool forgetInputSize = false) {
    const auto s = settingsFor(output, input);
    auto ctx = std::make_unique<RenderContext>();
    setupRenderContext(*ctx, *s, RenderSizes{w, h, img.width, img.height});
    if (forgetInputSize) {
        ctx->inputWidth = 0;
        ctx->inputHeight = 0;
    }
    ImagePyramid pyramid;
    const InputWrap wrap = inputWrapOf(input);
    EXPECT_TRUE(loadPyramid(pyramid, img, wrap == kInputNoWrap ? kWrapNone : kWrapHorizontal));
    const ContextSampleMapping mapping(*ctx);
    ShadingOptions shading = shadingOptionsFor(*s, *ctx, kTargetExportImage);
    shading.quality = kQualityBest;
    const PipelineConfig config = makeConfig(mapping, &pyramid, w, h, shading);
    BufferSink sink(w, h);
    EXPECT_EQ(renderInto(config, sink).result, 0);
    TestImage out{w, h, std::vector<float>(static_cast<std::size_t>(w * h) * 3)};
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) out.at(x, y)[c] = sink.at(x, y)[c];
        }
    }
    return out;
}

// Smooth colours that wrap around horizontally: any lookup that strays into
// a neighbouring face stands out against the small resampling error.
TestImage smoothPicture(std::int32_t width, std::int32_t height) {
    TestImage img{width, height, std::vector<float>(static_cast<std::size_t>(width * height) * 3)};
    const double tau = 6.283185307179586;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width;
            const double v = (y + 0.5) / height;
            float* p = img.at(x, y);
            p[0] = static_cast<float>(0.5 + 0.35 * std::sin(tau * u) * std::sin(3.1 * v));
            p[1] = static_cast<float>(0.5 + 0.3 * std::cos(tau * 2 * u + 1.0) * std::sin(3.1 * v));
            p[2] = static_cast<float>(0.5 + 0.4 * std::cos(3.1 * v));
        }
    }
    return img;
}

struct RoundTrip {
    const char* name;
    ProjectionId output;
    InputProjectionId input;
    std::int32_t columns, rows;
    // The least gain in PSNR of keeping lookups inside their face (dB): the
    // Pano2VR top row front | right | back is one continuous strip, so
    // fewer of its borders join unrelated faces.
    double minGain;
};

constexpr RoundTrip kRoundTrips[] = {
    {"Unity 6 frames", 337, 33, 6, 1, 2.0},
    {"Facebook 3x2 cube", 338, 34, 3, 2, 2.0},
    {"Pano2VR 3x2 cube", 339, 35, 3, 2, 0.4},
};

struct Fidelity {
    double psnr = 0.0;   // dB over the rows away from the poles
    double worst = 0.0;  // largest channel error there
};

// `cubeMap`, the cube map of `t` rendered from `picture`, read back as the
// matching input and rendered to equirectangular again, compared with
// `picture`.
Fidelity readBack(const RoundTrip& t, const TestImage& picture, const TestImage& cubeMap, bool forgetInputSize) {
    const TestImage back = render(1, t.input, cubeMap, picture.width, picture.height, forgetInputSize);
    // Away from the poles' rows, where the equirectangular picture is
    // squeezed into a point and any resampling differs most.
    double sum = 0.0;
    Fidelity f;
    int n = 0;
    for (std::int32_t y = 4; y < picture.height - 4; ++y) {
        for (std::int32_t x = 0; x < picture.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double d = back.at(x, y)[c] - picture.at(x, y)[c];
                sum += d * d;
                f.worst = std::max(f.worst, std::fabs(d));
                ++n;
            }
        }
    }
    f.psnr = 10.0 * std::log10(1.0 / std::max(sum / n, 1e-12));
    return f;
}

TEST(CubeLayoutRender, ACubeMapWrittenByTheModuleReadsBack) {
    const TestImage picture = smoothPicture(256, 128);
    for (const RoundTrip& t : kRoundTrips) {
        SCOPED_TRACE(t.name);
        constexpr std::int32_t kFace = 96;  // finer than the picture: 90° over 64 of its pixels
        const TestImage cubeMap = render(t.output, 1, picture, t.columns * kFace, t.rows * kFace);
        const Fidelity f = readBack(t, picture, cubeMap, false);
        EXPECT_GT(f.psnr, 46.0);
        // A lookup that strayed into a neighbouring face would show as a line
        // of wrong colours along the cube's edges.
        EXPECT_LT(f.worst, 0.2);
        RecordProperty(std::string(t.name) + " PSNR", std::to_string(f.psnr));
        RecordProperty(std::string(t.name) + " worst", std::to_string(f.worst));

        // Read back without the input's size, lookups at a face border read
        // half of the neighbouring face's edge pixel: keeping them half a
        // source pixel inside their face is what removes those seams.
        const Fidelity seams = readBack(t, picture, cubeMap, true);
        EXPECT_GT(f.psnr, seams.psnr + t.minGain);
        EXPECT_LT(f.worst, seams.worst);
        RecordProperty(std::string(t.name) + " PSNR gain", std::to_string(f.psnr - seams.psnr));
    }
}

}  // namespace
}  // namespace globaro
