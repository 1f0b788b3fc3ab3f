// The render session: the pyramid loaded once, nets, the preview placement, overlay hooks, failures.

#include <gtest/gtest.h>
#include "pipeline_test_support.h"
#include "polyhedra/poly_model.h"
#include "render/render_setup.h"

namespace globaro {
namespace {
using namespace testing_support;
TEST(RenderSession, LoadsOnceAndRendersTheIdentity) {
    const TestImage img = photographicImage(256, 128);
    RenderSession session;
    SettingsRecord s = defaultSettings();
    BufferSink early(8, 8);
    EXPECT_FALSE(session.inputLoaded());
    EXPECT_EQ(session.render(s, passFor(8, 8), early).result, kPyramidLoadFailed);  // nothing loaded
    ASSERT_EQ(session.loadInput(img.view(), 2), 0);
    EXPECT_TRUE(session.inputLoaded() && session.inputWidth() == 256);
    s.progressDone = 0;
    for (int i = 0; i < 2; ++i) {  // the same pyramid serves every render
        BufferSink out(256, 128);
        EXPECT_EQ(session.render(s, passFor(256, 128), out).result, 0);
        EXPECT_GT(psnr(out, img), 45.0);
    }
    session.release();
    EXPECT_FALSE(session.inputLoaded());
    EXPECT_EQ(session.loadInput(SourceImageView{}, 1), kPyramidLoadFailed);
}

TEST(RenderSession, PreviewPlacementShowsTheRightPartAtTheRightScale) {
    // Red follows the row, green the column (pixel-edge coordinates / size).
    const TestImage img = makeImage(256, 128, [](std::int32_t x, std::int32_t y, float* p) {
        p[0] = (y + 0.5f) / 128.0f, p[1] = (x + 0.5f) / 256.0f, p[2] = 0;
    });
    RenderSession session;
    ASSERT_EQ(session.loadInput(img.view(), 2), 0);
    // A preview of 32 x 16 pixels at step 2 showing the image from (100, 40).
    RenderPass pass = passFor(32, 16);
    pass.renderTarget = kTargetPreview, pass.outputWidth = 256, pass.outputHeight = 128;
    pass.step = 2.0f, pass.originX = 100.0f, pass.originY = 40.0f;
    BufferSink out(32, 16);
    ASSERT_EQ(session.render(defaultSettings(), pass, out).result, 0);
    // Preview pixel x's centre is corner x - 0.5: the point (x - 0.5)·2 + 100 + 0.5 + 0.5 = 2x + 100.
    for (std::int32_t y = 1; y < 15; y += 3)
        for (std::int32_t x = 1; x < 31; x += 3)
            EXPECT_TRUE(std::fabs(out.at(x, y)[1] - (2.0f * x + 100.0f) / 256.0f) <= 0.002f &&
                        std::fabs(out.at(x, y)[0] - (2.0f * y + 40.0f) / 128.0f) <= 0.004f)
                << x << "," << y;
}

// A net's gaps stay transparent, or take the gap colour.
TEST(RenderSession, NetGapsAreTransparentOrTakeTheGapColour) {
    RenderSession session;
    ASSERT_EQ(session.loadInput(photographicImage(200, 100).view(), 2), 0);
    SettingsRecord s = defaultSettings();
    s.outputProjection = 7, s.progressDone = 0;
    for (int gaps : {1, 0}) {
        s.transparentGaps = gaps;
        BufferSink out(150, 100);
        ASSERT_EQ(session.render(s, passFor(150, 100), out).result, 0);
        int transparent = 0, opaque = 0;
        for (std::size_t i = 3; i < out.pixels.size(); i += 4)
            transparent += out.pixels[i] == 0, opaque += out.pixels[i] > 0.99f;
        EXPECT_EQ(gaps ? transparent > 0 : opaque == 150 * 100, true) << gaps;
    }
}

// Jobs gather only the model's faces near their tile: the picture is as with the whole model.
TEST(RenderSession, TileClippedFaceListsChangeNothing) {
    ImagePyramid pyramid;
    ASSERT_TRUE(loadPyramid(pyramid, photographicImage(128, 64), kWrapHorizontal));
    PolyModel* model = createPolyModel();
    ASSERT_NE(model, nullptr);
    for (ProjectionId id : {7, 10, 30, 172, 198, 249}) {
        SettingsRecord s = defaultSettings();
        s.outputProjection = id, s.latitude = 15.0f;
        RenderContext ctx;
        setupRenderContext(ctx, s, RenderSizes{200, 150, 128, 64},
                           RenderSetupOptions{.polyModel = model, .finalRender = true});
        const ContextSampleMapping mapping(ctx);
        const PipelineConfig config =
            makeConfig(mapping, &pyramid, 200, 150, shadingOptionsFor(s, ctx, kTargetHostImage));
        BufferSink clipped(200, 150), whole(200, 150);
        for (BufferSink* sink : {&clipped, &whole}) {
            ProjectionWorkload work(config);
            work.setClipToTile(sink == &clipped);
            ASSERT_EQ(runRender(work, *sink, exportRequest(200, 150)).result, 0);
        }
        // Equal but for samples exactly on a face's right end (the sweep breaks the tie).
        int differing = 0;
        for (std::size_t i = 0; i < clipped.pixels.size(); i += 4) {
            const float a1 = clipped.pixels[i + 3], a2 = whole.pixels[i + 3];
            float worst = std::fabs(a1 - a2);
            for (int c = 0; c < 3; ++c)  // premultiplied: a nearly transparent colour counts for little
                worst = std::max(worst, std::fabs(clipped.pixels[i + c] * a1 - whole.pixels[i + c] * a2));
            EXPECT_LT(worst, 0.05f) << id;
            differing += worst > 0.0f ? 1 : 0;
        }
        EXPECT_LE(differing, 200 * 150 / 200) << id;
    }
    releasePolyModel(model);
}

// Overlays of other parts, reached through the session's hooks.
void fullCoverage(const RenderContext&, CellGrid& grid) noexcept {
    for (RenderCell& c : grid.cells) c.lineCoverage = 0.5f;
}
void paintGraticule(std::int32_t, std::int32_t, ColorRgba& colour, const RenderContext&, const CellGrid&,
                    float) noexcept {
    colour.b = 1.0f;
}

TEST(RenderSession, OverlayHooksAreCalled) {
    RenderSession session;
    ASSERT_EQ(session.loadInput(greyImage(64, 32, 0.0f).view(), 2), 0);
    OverlayHooks hooks;
    hooks.drawTileLines = fullCoverage, hooks.drawGraticule = paintGraticule;
    session.setOverlayHooks(hooks);
    SettingsRecord s = defaultSettings();
    s.progressDone = 0, s.lineColor = Rgb16{65535, 0, 0};  // red
    // Lines and a graticule: half the red line over the graticule's blue.
    for (const auto& [edges, grid, red, blue] : {std::tuple{1, 4, 0.5f, 0.5f}, std::tuple{0, 1, 0.0f, 0.0f}}) {
        s.edges = edges, s.grid = grid;
        BufferSink out(64, 32);
        ASSERT_EQ(session.render(s, passFor(64, 32), out).result, 0);
        EXPECT_TRUE(std::fabs(out.at(10, 10)[0] - red) <= 1e-4f && std::fabs(out.at(10, 10)[2] - blue) <= 1e-4f)
            << edges;
    }
}

// A workload whose jobs cannot be built ends out of memory and writes nothing.
TEST(RenderSession, ProjectionRenderOutOfMemoryWritesNothing) {
    struct NoMemoryMapping : SampleMapping {
        void mapSample(float, float, float, float, float, const OutputImageRecord&, std::uint32_t, RenderCell& cell,
                       MappingScratch&) const noexcept override {
            resetRenderCell(cell);
        }
        void prepareJob(TileState&) const override { throw std::bad_alloc(); }
    } mapping;
    BufferSink out(300, 300);
    const RenderOutcome o = renderInto(makeConfig(mapping, nullptr, 300, 300, ShadingOptions{}), out);
    EXPECT_TRUE(o.result == kRenderOutOfMemory && o.outOfMemory && o.jobsStarted == 0 && out.fetches == 0);
}
}  // namespace
}  // namespace globaro
