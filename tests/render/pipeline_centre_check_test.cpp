// The centre check of "best": which renders may leave it out, and that leaving it out changes no pixel.

#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>
#include "projection/output_test_support.h"
#include "projection/registry.h"
#include "render/pipeline_test_support.h"
#include "render/render_setup.h"

namespace globaro {
namespace {
using namespace testing_support;
// A turned view of `output` from `input`, w x h.
struct TurnedView {
    std::unique_ptr<SettingsRecord> settings;
    std::unique_ptr<RenderContext> ctx = std::make_unique<RenderContext>();
    OutputPlacement placement;
    std::unique_ptr<ContextSampleMapping> mapping;
    TurnedView(ProjectionId output, InputProjectionId input, std::int32_t w, std::int32_t h, float step = 1.0f)
        : settings(std::make_unique<SettingsRecord>(testing::plainSettings(output, input))) {
        settings->latitude = 20.0f, settings->longitude = 30.0f, settings->spin = 10.0f;
        setupRenderContext(*ctx, *settings, RenderSizes{w, h, 256, 128});
        placement.image = makeOutputImageRecord(w, h), placement.step = step;
        mapping = std::make_unique<ContextSampleMapping>(*ctx);
    }
    bool needed() const { return centreCheckNeeded(*ctx, placement); }
    ShadingOptions shading() const { return shadingOptionsFor(*settings, *ctx, kTargetExportImage); }
};

const ImagePyramid& photoPyramid() {
    static const ImagePyramid* p = [] {
        auto* q = new ImagePyramid;
        EXPECT_TRUE(loadPyramid(*q, photographicImage(256, 128), kWrapHorizontal));
        return q;
    }();
    return *p;
}

TEST(PipelineCentreCheck, OnlyRectanglesOrARoundOrWideCorneredOutlineOverASeamlessInputGoWithoutIt) {
    // Output, input, size, step; whether the check is needed.
    const std::tuple<ProjectionId, InputProjectionId, std::int32_t, std::int32_t, float, bool> cases[] = {
        // Cube layouts, zenith & nadir, views that fill their frame: every region is a rectangle.
        {337, 1, 600, 200, 1, false}, {338, 1, 600, 200, 1, false}, {339, 1, 600, 200, 1, false},
        {171, 1, 600, 200, 1, false}, {1, 1, 600, 200, 1, false},   {81, 1, 600, 200, 1, false},
        {14, 1, 600, 200, 1, false},  {17, 1, 600, 200, 1, false},  {62, 1, 600, 200, 1, false},
        {46, 1, 600, 200, 1, false},   // Mollweide's ellipse curves no tighter than 512 pixels here
        {337, 2, 600, 100, 1, true},   // a mirror ball's rim
        {337, 33, 600, 100, 1, true},  // the faces of a cube-layout input
        {2, 1, 400, 200, 1, true},    {36, 1, 400, 200, 1, true},   {11, 1, 400, 200, 1, true},
        {172, 1, 400, 200, 1, true},   // regions that are not rectangles
        {337, 1, 6, 1, 1, true},       // cells of one pixel could hide between a pixel's corners
        {337, 1, 600, 100, 64, true},  // and so in a coarse preview
        {46, 1, 12, 6, 1, true},       // an ellipse a few pixels across curves too tightly
        {94, 1, 300, 300, 1, false},  {90, 1, 300, 300, 1, false},   // squares filling the frame, warped or not
        {98, 1, 300, 300, 1, false},  {158, 1, 300, 300, 1, false},  // a pentagon, a star of right-angled rays
        {384, 1, 300, 300, 1, false}, {383, 1, 300, 300, 1, false},  // round corners, arcs over a hundred pixels
        {97, 1, 300, 300, 1, true},                                  // the pentagram's 36° tips could
        {158, 1, 12, 12, 1, true},                                   // rays a pixel long could
        {371, 1, 300, 300, 1, false}, {372, 1, 300, 300, 1, false}, {373, 1, 300, 300, 1, false},  // tilings' models
        {368, 1, 300, 300, 1, false},  // the triangle tiling covers its whole frame as one region
        {395, 1, 300, 300, 1, false},  // the blob planet's dents and bulges curve no tighter than 15 pixels
        {395, 1, 30, 30, 1, true},     // but do at 1.5
    };
    for (const auto& [output, input, w, h, step, needed] : cases)
        EXPECT_EQ(TurnedView(output, input, w, h, step).needed(), needed) << output << " from " << input;
}

// Without the check the same pixels; an output that covers its frame is opaque to its last pixel.
TEST(PipelineCentreCheck, LeavingItOutChangesNoPixelAndFullFramesStayOpaque) {
    for (const auto& [output, w, h, fillsFrame] :
         {std::tuple{337, 300, 50, true},   std::tuple{338, 48, 32, true},    std::tuple{339, 150, 100, true},
          std::tuple{171, 64, 32, true},    std::tuple{1, 260, 130, true},    std::tuple{14, 260, 130, true},
          std::tuple{46, 260, 130, false},  std::tuple{337, 96, 16, true},    std::tuple{339, 48, 32, true},
          std::tuple{1, 64, 32, true},      std::tuple{14, 40, 40, true},     std::tuple{90, 64, 64, true},
          std::tuple{98, 150, 150, false},  std::tuple{158, 150, 150, false}, std::tuple{91, 64, 64, false},
          std::tuple{384, 150, 150, false}, std::tuple{383, 120, 120, false}, std::tuple{395, 150, 150, false},
          std::tuple{371, 120, 120, false}, std::tuple{372, 96, 96, false},   std::tuple{373, 120, 120, false},
          std::tuple{368, 160, 120, true}}) {
        const TurnedView s(output, 1, w, h);
        ASSERT_FALSE(s.needed());
        ShadingOptions shading = s.shading();
        shading.quality = kQualityBest, shading.centreCheck = true;
        BufferSink with(w, h), without(w, h);
        ASSERT_EQ(renderInto(makeConfig(*s.mapping, &photoPyramid(), w, h, shading), with).result, 0);
        shading.centreCheck = false;
        ASSERT_EQ(renderInto(makeConfig(*s.mapping, &photoPyramid(), w, h, shading), without).result, 0);
        EXPECT_EQ(with.pixels, without.pixels) << output;
        for (std::int32_t i = 3; fillsFrame && i < w * h * 4; i += 4)
            ASSERT_FLOAT_EQ(without.pixels[std::size_t(i)], 1.0f) << output << " at pixel " << i / 4;
    }
}

// Renders whose mapping shades its samples (lit globes, outputs with a colour step of their own, an
// input feathered at its seams) colour every pixel of a tile shaded row by row as shading that pixel
// alone does.
TEST(PipelineCentreCheck, ShadedSamplesComeOutOfRowsAsOfSinglePixels) {
    std::vector<std::pair<ProjectionId, InputProjectionId>> renders = {{1, 26}, {14, 26}};
    int globes = 0, steps = 0;
    for (const OutputRow& row : kAllOutputRows) {
        if (row.has(kTraitInternal) || !outputIsDrawn(row.id)) continue;
        if (row.shadedGlobe != 0 && globes < 2) ++globes, renders.push_back({row.id, 1});
        if (row.colourStep != nullptr && steps < 2) ++steps, renders.push_back({row.id, 1});
    }
    ASSERT_EQ(std::pair(globes, steps), std::pair(2, 2));
    for (const auto& [output, input] : renders) {
        const TurnedView s(output, input, 96, 64);
        ShadingOptions shading = s.shading();
        shading.quality = kQualityBest, shading.centreCheck = false;
        const PipelineConfig config = makeConfig(*s.mapping, &photoPyramid(), 96, 64, shading);
        TileState state;
        ASSERT_TRUE(state.grid.allocate(TileRect{0, 0, 64, 96}));
        state.clipToTile = false;
        s.mapping->prepareJob(state);
        renderTile(config, state);
        for (std::int32_t y = 0; y < 64; ++y)
            for (std::int32_t x = 0; x < 96; ++x) {
                PixelVerdict verdict;
                const ColorRgba alone = shadePixel(config, x, y, kQualityBest, state, &verdict);
                const float want[4] = {alone.r, alone.g, alone.b, alone.a};
                ASSERT_EQ(std::memcmp(state.grid.at(x, y).colour, want, sizeof want), 0)
                    << output << " from " << input << " at " << x << "," << y;
            }
    }
}

// One worker renders every tile in turn: the pixels match renders of each tile alone.
TEST(PipelineCentreCheck, ATileKeepsNothingOfTheTileBeforeIt) {
    const TurnedView s(46, 1, 300, 260);
    const PipelineConfig config = makeConfig(*s.mapping, &photoPyramid(), 300, 260, s.shading());
    BufferSink whole(300, 260);
    ProjectionWorkload work(config);
    ASSERT_EQ(runRender(work, whole, exportRequest(300, 260, 1)).result, 0);
    for (std::int32_t top = 0; top < 260; top += kTileSize)
        for (std::int32_t left = 0; left < 300; left += kTileSize) {
            PipelineConfig placed = config;
            placed.placement.left = left, placed.placement.top = top;
            BufferSink alone(std::min(kTileSize, 300 - left), std::min(kTileSize, 260 - top));
            ProjectionWorkload fresh(placed);
            ASSERT_EQ(runRender(fresh, alone, exportRequest(alone.width, alone.height, 1)).result, 0);
            for (std::int32_t y = 0; y < alone.height; ++y)
                for (std::int32_t x = 0; x < alone.width; ++x)
                    for (int c = 0; c < 4; ++c)  // edge pixels bisect at positions offset by the tile's corner
                        ASSERT_NEAR(whole.at(x + left, y + top)[c], alone.at(x, y)[c], 1e-4f)
                            << x + left << ", " << y + top;
        }
}
}  // namespace
}  // namespace globaro
