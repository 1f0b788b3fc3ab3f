// The render session: the working pyramid loaded once from an in-memory
// image and reused, renders of several outputs (polyhedral nets through the
// model, in Hilbert blocks), the preview placement, and the failure paths.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "pipeline_test_support.h"
#include "polyhedra/poly_model.h"
#include "render/render_session.h"
#include "render/render_setup.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {

using namespace testing_support;

SettingsRecord sessionSettings() {
    SettingsRecord s;
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    resetRunState(s);
    resetToDefaults(s);
    return s;
}

SourceImageView viewOf(const TestImage& img) {
    SourceImageView v;
    v.pixels = img.rgb.data();
    v.width = img.width;
    v.height = img.height;
    v.rowBytes = static_cast<std::ptrdiff_t>(img.width) * 12;
    v.channels = 3;
    v.depth = 32;
    return v;
}

RenderPass passFor(std::int32_t w, std::int32_t h) {
    RenderPass pass;
    pass.renderTarget = kTargetExportImage;
    pass.renderRect = TileRect{0, 0, h, w};
    pass.outputWidth = w;
    pass.outputHeight = h;
    pass.processors = 2;
    return pass;
}

TEST(RenderSession, LoadsOnceAndRendersTheIdentity) {
    const TestImage img = photographicImage(256, 128);
    RenderSession session;
    EXPECT_FALSE(session.inputLoaded());
    SettingsRecord s = sessionSettings();
    BufferSink early(8, 8);
    EXPECT_EQ(session.render(s, passFor(8, 8), early).result, kPyramidLoadFailed);  // nothing loaded

    ASSERT_EQ(session.loadInput(viewOf(img), 2), 0);
    EXPECT_TRUE(session.inputLoaded());
    EXPECT_EQ(session.inputWidth(), 256);
    s.progressDone = 0;
    for (int i = 0; i < 2; ++i) {  // the same pyramid serves every render
        BufferSink out(256, 128);
        const RenderOutcome o = session.render(s, passFor(256, 128), out);
        EXPECT_EQ(o.result, 0);
        EXPECT_GT(psnr(out, img), 45.0);
    }
    session.release();
    EXPECT_FALSE(session.inputLoaded());
    EXPECT_EQ(session.loadInput(SourceImageView{}, 1), kPyramidLoadFailed);
}

TEST(RenderSession, PreviewPlacementShowsTheRightPartAtTheRightScale) {
    // Ramps: green follows the column, red the row (pixel-edge coordinates / size).
    TestImage img{256, 128, std::vector<float>(256 * 128 * 3)};
    for (std::int32_t y = 0; y < 128; ++y)
        for (std::int32_t x = 0; x < 256; ++x) {
            img.at(x, y)[0] = (y + 0.5f) / 128.0f;
            img.at(x, y)[1] = (x + 0.5f) / 256.0f;
        }
    RenderSession session;
    ASSERT_EQ(session.loadInput(viewOf(img), 2), 0);
    SettingsRecord s = sessionSettings();
    // A preview of 32 x 16 pixels at step 2 showing the image from (100, 40).
    RenderPass pass = passFor(32, 16);
    pass.renderTarget = kTargetPreview;
    pass.outputWidth = 256;
    pass.outputHeight = 128;
    pass.step = 2.0f;
    pass.originX = 100.0f;
    pass.originY = 40.0f;
    BufferSink out(32, 16);
    ASSERT_EQ(session.render(s, pass, out).result, 0);
    // The centre of preview pixel x is corner x - 0.5, the full-resolution
    // point (x - 0.5)·2 + 100 + 0.5 + 0.5 = 2x + 100.
    for (std::int32_t y = 1; y < 15; y += 3)
        for (std::int32_t x = 1; x < 31; x += 3) {
            EXPECT_NEAR(out.at(x, y)[1], (2.0f * x + 100.0f) / 256.0f, 0.002f) << x << "," << y;
            EXPECT_NEAR(out.at(x, y)[0], (2.0f * y + 40.0f) / 128.0f, 0.004f) << x << "," << y;
        }
}

// Every output's render writes every pixel with finite values (the suite
// over every output checks that); through the session, a net with
// transparent gaps leaves its gaps transparent, and without, they take the
// gap colour.
TEST(RenderSession, NetGapsAreTransparentOrTakeTheGapColour) {
    const TestImage img = photographicImage(200, 100);
    RenderSession session;
    ASSERT_EQ(session.loadInput(viewOf(img), 2), 0);
    SettingsRecord s = sessionSettings();
    s.outputProjection = 7;
    s.progressDone = 0;
    BufferSink withGaps(150, 100);
    ASSERT_EQ(session.render(s, passFor(150, 100), withGaps).result, 0);
    int transparent = 0;
    for (std::int32_t i = 3; i < 150 * 100 * 4; i += 4)
        transparent += withGaps.pixels[static_cast<std::size_t>(i)] == 0.0f;
    EXPECT_GT(transparent, 0);
    s.transparentGaps = 0;
    BufferSink noGaps(150, 100);
    ASSERT_EQ(session.render(s, passFor(150, 100), noGaps).result, 0);
    for (std::int32_t i = 3; i < 150 * 100 * 4; i += 4) ASSERT_GT(noGaps.pixels[static_cast<std::size_t>(i)], 0.99f);
}

// Jobs gather only the model's faces near their tile: the picture is the
// same as with the whole model in every job (up to exact ties on face ends).
TEST(RenderSession, TileClippedFaceListsChangeNothing) {
    const TestImage img = photographicImage(128, 64);
    ImagePyramid pyramid;
    ASSERT_TRUE(loadPyramid(pyramid, img, kWrapHorizontal));
    PolyModel* model = createPolyModel();
    ASSERT_NE(model, nullptr);
    for (ProjectionId id : {7, 10, 30, 172, 198, 249}) {
        SettingsRecord s = sessionSettings();
        s.outputProjection = id;
        s.latitude = 15.0f;
        RenderContext ctx;
        RenderSizes sizes;
        sizes.outputWidth = 200;
        sizes.outputHeight = 150;
        sizes.inputWidth = 128;
        sizes.inputHeight = 64;
        RenderSetupOptions options;
        options.polyModel = model;
        setupRenderContext(ctx, s, sizes, options);
        const ContextSampleMapping mapping(ctx);
        const PipelineConfig config =
            makeConfig(mapping, &pyramid, 200, 150, shadingOptionsFor(s, ctx, kTargetHostImage));
        BufferSink clipped(200, 150), whole(200, 150);
        for (int pass = 0; pass < 2; ++pass) {
            ProjectionWorkload work(config);
            work.setClipToTile(pass == 0);
            RenderRequest request;
            request.renderRect = TileRect{0, 0, 150, 200};
            request.renderTarget = kTargetExportImage;
            request.progressDone = 0;
            request.processors = 2;
            ASSERT_EQ(runRender(work, pass == 0 ? static_cast<RenderSink&>(clipped) : whole, request).result, 0);
        }
        // Equal but for samples that fall exactly on a face's right end,
        // where the model's sweep breaks the tie by what else starts there.
        int differing = 0;
        for (std::size_t i = 0; i < clipped.pixels.size(); i += 4) {
            float worst = 0.0f;
            const float a1 = clipped.pixels[i + 3], a2 = whole.pixels[i + 3];
            worst = std::fabs(a1 - a2);
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
    TestImage img{64, 32, std::vector<float>(64 * 32 * 3, 0.0f)};
    RenderSession session;
    ASSERT_EQ(session.loadInput(viewOf(img), 2), 0);
    OverlayHooks hooks;
    hooks.drawTileLines = fullCoverage;
    hooks.drawGraticule = paintGraticule;
    session.setOverlayHooks(hooks);
    SettingsRecord s = sessionSettings();
    s.progressDone = 0;
    s.edges = 1;                       // lines are drawn
    s.lineColor = Rgb16{65535, 0, 0};  // red
    s.grid = 4;                        // a graticule
    BufferSink out(64, 32);
    ASSERT_EQ(session.render(s, passFor(64, 32), out).result, 0);
    EXPECT_NEAR(out.at(10, 10)[0], 0.5f, 1e-4f);  // half the red line over black
    EXPECT_NEAR(out.at(10, 10)[2], 0.5f, 1e-4f);  // the graticule's blue, then half covered
    s.edges = 0;
    s.grid = 1;
    BufferSink plain(64, 32);
    ASSERT_EQ(session.render(s, passFor(64, 32), plain).result, 0);
    EXPECT_NEAR(plain.at(10, 10)[0], 0.0f, 1e-4f);
    EXPECT_NEAR(plain.at(10, 10)[2], 0.0f, 1e-4f);
}

// A workload whose jobs cannot be built: the projection render ends with
// an out-of-memory result and writes nothing.
TEST(RenderSession, ProjectionRenderOutOfMemoryWritesNothing) {
    struct NoMemoryMapping : SampleMapping {
        void mapSample(float, float, float, float, float, const OutputImageRecord&, std::uint32_t, RenderCell& cell,
                       MappingScratch&) const noexcept override {
            resetRenderCell(cell);
        }
        void prepareJob(TileState&) const override { throw std::bad_alloc(); }
    } mapping;
    const PipelineConfig config = makeConfig(mapping, nullptr, 300, 300, ShadingOptions{});
    BufferSink out(300, 300);
    const RenderOutcome o = renderInto(config, out);
    EXPECT_EQ(o.result, kRenderOutOfMemory);
    EXPECT_TRUE(o.outOfMemory);
    EXPECT_EQ(o.jobsStarted, 0);
    EXPECT_EQ(out.fetches, 0);
}

}  // namespace
}  // namespace globaro
