#pragma once
// Helpers of the render tests: mappings of our own, a float RGBA sink, test images, statistics.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>
#include "geometry/sphere_frame.h"
#include "projection/render_context.h"
#include "render/composite.h"
#include "render/image_pyramid.h"
#include "render/pixel_pipeline.h"
#include "render/render_driver.h"
#include "render/render_session.h"
#include "settings/settings_record.h"

namespace globaro::testing_support {
// A mapping given by a plain function of the normalised output position.
using PositionMap = void (*)(float a, float b, RenderCell& cell);

class FunctionMapping : public SampleMapping {
public:
    explicit FunctionMapping(PositionMap map, bool blocks = false) : map_(map), blocks_(blocks) {}
    void mapSample(float x, float y, float s, float ox, float oy, const OutputImageRecord& image, std::uint32_t,
                   RenderCell& cell, MappingScratch&) const noexcept override {
        resetRenderCell(cell);
        const OutputPosition p = normalisedOutputPosition(x, y, s, ox, oy, image);
        map_(p.a, p.b, cell);
        cell.subTag = (cell.inputU < 0.0f || cell.inputU > 1.0f || cell.inputV < 0.0f || cell.inputV > 1.0f) ? 1u : 0u;
    }
    bool blockOrder() const noexcept override { return blocks_; }

private:
    PositionMap map_;
    bool blocks_;
};

// Renders into a float RGBA buffer of the render rectangle's size (export path: the colour itself).
class BufferSink : public RenderSink {
public:
    BufferSink(std::int32_t width, std::int32_t height)
        : width(width), height(height), pixels(static_cast<std::size_t>(width * height) * 4, -1.0f) {}
    std::int16_t fetchTile(const TileRect&, CompositeTarget& target) override {
        target.renderTarget = kTargetExportImage, target.glue = kBlendNormal;
        target.output = interleavedGrid(pixels.data(), static_cast<std::ptrdiff_t>(width) * 16, 4, 32, false, 3,
                                        CompositeRect{0, 0, height, width});
        target.destination = target.output, ++fetches;
        return 0;
    }
    const float* at(std::int32_t x, std::int32_t y) const { return &pixels[(std::size_t(y) * width + x) * 4]; }
    std::int32_t width, height;
    std::vector<float> pixels;
    int fetches = 0;
};

inline PipelineConfig makeConfig(const SampleMapping& mapping, const ImagePyramid* pyramid, std::int32_t width,
                                 std::int32_t height, const ShadingOptions& shading) {
    PipelineConfig c;
    c.mapping = &mapping, c.pyramid = pyramid, c.shading = shading;
    c.placement.image = makeOutputImageRecord(width, height);
    return c;
}

inline RenderRequest exportRequest(std::int32_t width, std::int32_t height, int processors = 2) {
    RenderRequest r;
    r.renderRect = TileRect{0, 0, height, width}, r.renderTarget = kTargetExportImage;
    r.progressDone = 0, r.processors = processors;
    return r;
}

inline RenderOutcome renderInto(const PipelineConfig& config, BufferSink& sink) {
    ProjectionWorkload work(config);
    return runRender(work, sink, exportRequest(sink.width, sink.height));
}

inline SettingsRecord defaultSettings() {
    SettingsRecord s;
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    resetRunState(s), resetToDefaults(s);
    return s;
}

// A float RGB image, width x height x 3, values 0..1.
struct TestImage {
    std::int32_t width = 0, height = 0;
    std::vector<float> rgb;
    float* at(std::int32_t x, std::int32_t y) { return &rgb[(std::size_t(y) * width + x) * 3]; }
    const float* at(std::int32_t x, std::int32_t y) const { return &rgb[(std::size_t(y) * width + x) * 3]; }
    SourceImageView view() const { return SourceImageView{rgb.data(), width, height, width * 12, 3, 32}; }
};

// An image whose every pixel is `colour(x, y, pixel)`.
template <typename Colour>
TestImage makeImage(std::int32_t width, std::int32_t height, Colour colour) {
    TestImage img{width, height, std::vector<float>(static_cast<std::size_t>(width * height) * 3)};
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) colour(x, y, img.at(x, y));
    return img;
}

inline void setGrey(float* p, float v) { p[0] = p[1] = p[2] = v; }
inline TestImage greyImage(std::int32_t w, std::int32_t h, float v) { return {w, h, std::vector<float>(w * h * 3, v)}; }

// An export render pass over the whole of a w x h output.
inline RenderPass passFor(std::int32_t w, std::int32_t h) {
    RenderPass p;
    p.renderTarget = kTargetExportImage, p.renderRect = TileRect{0, 0, h, w}, p.processors = 2;
    p.outputWidth = w, p.outputHeight = h;
    return p;
}

// Smooth shapes and fine texture, periodic around the horizontal wrap.
inline TestImage photographicImage(std::int32_t width, std::int32_t height) {
    const double tau = 6.283185307179586;
    return makeImage(width, height, [&](std::int32_t x, std::int32_t y, float* p) {
        const double u = (x + 0.5) / width, v = (y + 0.5) / height;
        p[0] = float(0.5 + 0.25 * std::sin(tau * 3 * u + 2.0 * v) + 0.12 * std::sin(tau * 37 * u) * std::sin(9.0 * v));
        p[1] = float(0.45 + 0.3 * std::cos(tau * 2 * u) * std::sin(3.1 * v) + 0.1 * std::sin(tau * 53 * u + 17 * v));
        p[2] = float(0.5 + 0.2 * std::sin(tau * 5 * u) + 0.15 * std::cos(21.0 * v) * std::cos(tau * 11 * u));
    });
}

// Squares of `degrees` of longitude and latitude on an equirectangular image.
inline TestImage degreeCheckerImage(std::int32_t width, std::int32_t height, double degrees) {
    return makeImage(width, height, [&](std::int32_t x, std::int32_t y, float* p) {
        const long i = long(std::floor((x + 0.5) * 360.0 / width / degrees));
        const long j = long(std::floor((y + 0.5) * 180.0 / height / degrees));
        setGrey(p, (i + j) % 2 == 0 ? 1.0f : 0.0f);
    });
}

inline bool loadPyramid(ImagePyramid& pyramid, const TestImage& img, PyramidWrap wrap) {
    return pyramid.allocate(img.width, img.height, wrap) && pyramid.storeImage(img.view()) &&
           buildPyramid(pyramid, 2) == 0;
}

// PSNR (dB) of the rendered colour against the image, channels 0..1.
inline double psnr(const BufferSink& out, const TestImage& img) {
    double sum = 0.0;
    for (std::int32_t y = 0; y < img.height; ++y)
        for (std::int32_t x = 0; x < img.width; ++x)
            for (int c = 0; c < 3; ++c) sum += std::pow(out.at(x, y)[c] - img.at(x, y)[c], 2.0);
    const double mse = sum / (static_cast<double>(img.width) * img.height * 3);
    return mse <= 0.0 ? 200.0 : 10.0 * std::log10(1.0 / mse);
}
}  // namespace globaro::testing_support
