// The centre check of "best": which renders may leave it out, and that
// leaving it out changes no pixel where it is left out. Also the tile state
// that a render hands from one tile to the next, and the outputs that fill
// their frame rendered opaque to the last pixel.

#include <gtest/gtest.h>

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

// The settings of a turned view of `output` from `input`.
std::unique_ptr<SettingsRecord> settingsFor(ProjectionId output, InputProjectionId input) {
    auto s = std::make_unique<SettingsRecord>(testing::plainSettings(output, input));
    s->latitude = 20.0f;
    s->longitude = 30.0f;
    s->spin = 10.0f;
    return s;
}

struct RenderSetup {
    std::unique_ptr<SettingsRecord> settings;
    std::unique_ptr<RenderContext> ctx;
    OutputPlacement placement;
};

RenderSetup setupFor(ProjectionId output, InputProjectionId input, std::int32_t w, std::int32_t h, float step = 1.0f) {
    RenderSetup s;
    s.settings = settingsFor(output, input);
    s.ctx = std::make_unique<RenderContext>();
    setupRenderContext(*s.ctx, *s.settings, RenderSizes{w, h, 256, 128});
    s.placement.image = makeOutputImageRecord(w, h);
    s.placement.step = step;
    return s;
}

TEST(PipelineCentreCheck, OnlyRectanglesOrARoundOutlineOverASeamlessInputGoWithoutIt) {
    // Cube-map layouts, zenith & nadir and the views that fill their frame
    // (equirectangular, rectilinear, cylindrical, Mercator) over an
    // equirectangular input: every region is a rectangle.
    // Mollweide's ellipse curves no tighter than 512 pixels here.
    for (ProjectionId rectangles : {337, 338, 339, 171, 1, 81, 14, 17, 62, 46}) {
        const RenderSetup s = setupFor(rectangles, 1, 600, 200);
        EXPECT_FALSE(centreCheckNeeded(*s.ctx, s.placement)) << rectangles;
    }
    // The input brings edges of its own (a mirror ball's rim, the faces of a
    // cube-layout input): the check stays.
    EXPECT_TRUE(centreCheckNeeded(*setupFor(337, 2, 600, 100).ctx, setupFor(337, 2, 600, 100).placement));
    EXPECT_TRUE(centreCheckNeeded(*setupFor(337, 33, 600, 100).ctx, setupFor(337, 33, 600, 100).placement));
    // Outputs whose regions are not rectangles keep it.
    for (ProjectionId curved : {2, 36, 11, 172}) {
        const RenderSetup s = setupFor(curved, 1, 400, 200);
        EXPECT_TRUE(centreCheckNeeded(*s.ctx, s.placement)) << curved;
    }
    // Cells of one pixel, in a tiny image or a coarse preview, could hide
    // between the corners of a pixel.
    EXPECT_TRUE(centreCheckNeeded(*setupFor(337, 1, 6, 1).ctx, setupFor(337, 1, 6, 1).placement));
    const RenderSetup coarse = setupFor(337, 1, 600, 100, 64.0f);
    EXPECT_TRUE(centreCheckNeeded(*coarse.ctx, coarse.placement));
    // An ellipse a few pixels across curves too tightly.
    EXPECT_TRUE(centreCheckNeeded(*setupFor(46, 1, 12, 6).ctx, setupFor(46, 1, 12, 6).placement));
}

TEST(PipelineCentreCheck, LeavingItOutChangesNoPixelWhereItIsLeftOut) {
    const TestImage img = photographicImage(256, 128);
    ImagePyramid pyramid;
    ASSERT_TRUE(loadPyramid(pyramid, img, kWrapHorizontal));
    for (ProjectionId layout : {337, 339, 1, 14, 46}) {
        // 6 x 1 or 3 x 2 cells of 50 pixels, a panorama, a view, a world
        // map's ellipse; several tiles, turned view.
        const std::int32_t w = layout == 337   ? 300
                               : layout == 339 ? 150
                                               : 260,
                           h = layout == 337   ? 50
                               : layout == 339 ? 100
                                               : 130;
        const RenderSetup s = setupFor(layout, 1, w, h);
        ASSERT_FALSE(centreCheckNeeded(*s.ctx, s.placement));
        const ContextSampleMapping mapping(*s.ctx);
        ShadingOptions shading = shadingOptionsFor(*s.settings, *s.ctx, kTargetExportImage);
        shading.quality = kQualityBest;
        shading.centreCheck = true;
        BufferSink with(w, h), without(w, h);
        ASSERT_EQ(renderInto(makeConfig(mapping, &pyramid, w, h, shading), with).result, 0);
        shading.centreCheck = false;
        ASSERT_EQ(renderInto(makeConfig(mapping, &pyramid, w, h, shading), without).result, 0);
        EXPECT_EQ(with.pixels, without.pixels) << layout;
    }
}

TEST(PipelineCentreCheck, ATileKeepsNothingOfTheTileBeforeIt) {
    // One worker renders every tile of a 300 x 260 Mollweide map in turn,
    // reusing the state of earlier tiles; the pixels match renders of each
    // tile alone, from fresh memory.
    const TestImage img = photographicImage(256, 128);
    ImagePyramid pyramid;
    ASSERT_TRUE(loadPyramid(pyramid, img, kWrapHorizontal));
    const RenderSetup s = setupFor(46, 1, 300, 260);
    const ContextSampleMapping mapping(*s.ctx);
    const ShadingOptions shading = shadingOptionsFor(*s.settings, *s.ctx, kTargetExportImage);
    const PipelineConfig config = makeConfig(mapping, &pyramid, 300, 260, shading);

    BufferSink whole(300, 260);
    ProjectionWorkload work(config);
    RenderRequest request;
    request.renderRect = TileRect{0, 0, 260, 300};
    request.renderTarget = kTargetExportImage;
    request.progressDone = 0;
    request.processors = 1;
    ASSERT_EQ(runRender(work, whole, request).result, 0);

    for (std::int32_t top = 0; top < 260; top += kTileSize) {
        for (std::int32_t left = 0; left < 300; left += kTileSize) {
            const TileRect tile{top, left, std::min(top + kTileSize, 260), std::min(left + kTileSize, 300)};
            PipelineConfig placed = config;
            placed.placement.left = left;
            placed.placement.top = top;
            BufferSink alone(tile.right - tile.left, tile.bottom - tile.top);
            ProjectionWorkload fresh(placed);
            RenderRequest one = request;
            one.renderRect = TileRect{0, 0, alone.height, alone.width};
            ASSERT_EQ(runRender(fresh, alone, one).result, 0);
            for (std::int32_t y = tile.top; y < tile.bottom; ++y)
                for (std::int32_t x = tile.left; x < tile.right; ++x)
                    for (int c = 0; c < 4; ++c)
                        // Edge pixels bisect at positions offset by the tile's
                        // corner, which rounds a little differently.
                        ASSERT_NEAR(whole.at(x, y)[c], alone.at(x - left, y - top)[c], 1e-4f) << x << ", " << y;
        }
    }
}

TEST(PipelineCentreCheck, OutputsThatFillTheirFrameAreOpaqueToTheCorners) {
    // With transparent gaps, a pixel along the frame's edge of an output
    // that covers its whole frame is still wholly inside it.
    const TestImage img = photographicImage(256, 128);
    ImagePyramid pyramid;
    ASSERT_TRUE(loadPyramid(pyramid, img, kWrapHorizontal));
    struct Case {
        ProjectionId output;
        std::int32_t w, h;
    };
    for (const Case& c : {Case{337, 96, 16}, Case{338, 48, 32}, Case{339, 48, 32}, Case{171, 64, 32}, Case{1, 64, 32},
                          Case{14, 40, 40}}) {
        const RenderSetup s = setupFor(c.output, 1, c.w, c.h);
        const ContextSampleMapping mapping(*s.ctx);
        ShadingOptions shading = shadingOptionsFor(*s.settings, *s.ctx, kTargetExportImage);
        shading.quality = kQualityBest;
        BufferSink out(c.w, c.h);
        ASSERT_EQ(renderInto(makeConfig(mapping, &pyramid, c.w, c.h, shading), out).result, 0);
        for (std::int32_t y = 0; y < c.h; ++y)
            for (std::int32_t x = 0; x < c.w; ++x)
                ASSERT_FLOAT_EQ(out.at(x, y)[3], 1.0f) << c.output << " at " << x << ", " << y;
    }
}

}  // namespace
}  // namespace globaro
