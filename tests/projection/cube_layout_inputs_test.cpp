// The cube-layout inputs placed in their layouts: the placement table, the
// identity pairs with the outputs that write each layout (the cell layouts
// and the cross nets of the polyhedron model), positions kept inside their
// cells, and the flip of the face-local u.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "output_test_support.h"
#include "polyhedra/poly_model.h"
#include "projection/input_layouts.h"
#include "projection/input_projection.h"
#include "render/render_setup.h"

namespace globaro {
namespace {

using testing::plainSettings;

// A context for one output and input on an output of w × h pixels (the
// input the same size), no rotation, with the polyhedron model prepared for
// the net outputs (no glue tabs, so that the net fills the image).
class PairContext {
public:
    PairContext(ProjectionId output, InputProjectionId input, int w, int h, std::int32_t flip = 0)
        : ctx_(std::make_unique<RenderContext>()) {
        SettingsRecord s = plainSettings(output, input);
        s.tabs = 0.0f;
        s.flip = flip;
        model_ = createPolyModel();
        RenderSetupOptions options;
        options.polyModel = model_;
        setupRenderContext(*ctx_, s, RenderSizes{w, h, w, h}, options);
        if (ctx_->usesPolyModel != 0 && model_ != nullptr && model_->triangleCount > 0) {
            job_ = std::make_unique<PolyJobState>();
            buildSweepList(*model_, *job_);
            scratch_.polyJob = job_.get();
        }
    }
    ~PairContext() { releasePolyModel(model_); }
    PairContext(const PairContext&) = delete;
    PairContext& operator=(const PairContext&) = delete;

    const RenderContext& ctx() const { return *ctx_; }
    bool ready() const { return ctx_->usesPolyModel == 0 || scratch_.polyJob != nullptr; }

    // Maps (a, b); false for an empty sample or a gap of a net.
    bool sample(double a, double b, RenderCell& cell, SphereDir* lookedUp = nullptr) {
        cell = RenderCell{};
        return outputToSphere(static_cast<float>(a), static_cast<float>(b), *ctx_, cell, scratch_, lookedUp) &&
               cell.regionTag >= 0 && cell.regionTag < kTagFirstTab;
    }

private:
    std::unique_ptr<RenderContext> ctx_;
    PolyModel* model_ = nullptr;
    std::unique_ptr<PolyJobState> job_;
    MappingScratch scratch_;
};

struct LayoutPair {
    const char* name;
    ProjectionId output;
    InputProjectionId input;
    int columns, rows;
};

const LayoutPair kPairs[] = {
    {"Unity 6 frames", 337, 33, 6, 1},   {"Facebook 3x2 cube", 338, 34, 3, 2}, {"Pano2VR 3x2 cube", 339, 35, 3, 2},
    {"horizontal cross", 172, 27, 4, 3}, {"vertical cross", 173, 28, 3, 4},
};

// Face-local (u, v) of a face placed in its cell of the layout, by hand from
// the layouts' drawings; margin 0 shows where the face's corners go.
TEST(CubeInputLayouts, FacesLandInTheirCellsTurnedAndMirrored) {
    struct Golden {
        const char* what;
        InputProjectionId input;
        std::int32_t face;
        float u, v, margin;
        float wu, wv;  // whole image
    };
    const Golden golden[] = {
        {"Unity: the front's centre is the centre of cell 4", 33, 3, 0.5f, 0.5f, 1e-6f, 4.5f / 6, 0.5f},
        {"Unity: the right face is cell 0", 33, 1, 0.25f, 0.75f, 1e-6f, 0.25f / 6, 0.75f},
        {"Facebook: the back is bottom right", 34, 0, 0.5f, 0.5f, 1e-6f, 2.5f / 3, 0.75f},
        {"Facebook: up is top right", 34, 5, 0.25f, 0.25f, 1e-6f, 2.25f / 3, 0.125f},
        {"Pano2VR: the front is top left", 35, 3, 0.25f, 0.5f, 1e-6f, 0.25f / 3, 0.25f},
        {"Pano2VR: down is bottom right", 35, 2, 0.5f, 0.5f, 1e-6f, 2.5f / 3, 0.75f},
        {"horizontal cross: the front, mirrored, second in the middle row", 27, 3, 0.25f, 0.25f, 1e-6f, 1.75f / 4,
         1.25f / 3},
        {"horizontal cross: the back at the right end", 27, 0, 0.5f, 0.5f, 1e-6f, 3.5f / 4, 0.5f},
        {"vertical cross: the back on top, mirrored and turned", 28, 0, 0.25f, 0.1f, 1e-6f, 1.9f / 3, 0.75f / 4},
        {"vertical cross: up to the left of the front", 28, 5, 0.5f, 0.5f, 1e-6f, 0.5f / 3, 2.5f / 4},
        {"vertical cross back: top-left corner to the cell's bottom right", 28, 0, 0, 0, 0, 2.0f / 3, 1.0f / 4},
        {"vertical cross back: top-right corner to the cell's top right", 28, 0, 1, 0, 0, 2.0f / 3, 0},
        {"vertical cross back: bottom-left corner to the cell's bottom left", 28, 0, 0, 1, 0, 1.0f / 3, 1.0f / 4},
        {"Unity, 100-pixel faces: half a pixel keeps the filter in the cell", 33, 3, 1, 0, 0.005f, 4.995f / 6, 0.005f},
        {"a margin past the middle keeps the cell's centre", 33, 3, 0.1f, 0.9f, 3, 4.5f / 6, 0.5f},
    };
    for (const Golden& g : golden) {
        SCOPED_TRACE(g.what);
        float u = g.u, v = g.v;
        ASSERT_TRUE(placeInCubeLayout(g.input, g.face, u, v, g.margin, g.margin));
        EXPECT_NEAR(u, g.wu, 1e-4f);
        EXPECT_NEAR(v, g.wv, 1e-4f);
    }
}

TEST(CubeInputLayouts, PositionsStayStrictlyInsideTheirCellAndBadRequestsChangeNothing) {
    for (InputProjectionId id = kFirstInputProjection; id <= kLastInputProjection; ++id) {
        const CubeInputLayout* l = findCubeInputLayout(id);
        EXPECT_EQ(l != nullptr, isCubeLayoutInput(id));
        if (l == nullptr) continue;
        for (std::int32_t face = 0; face < 6; ++face) {
            const CubeCellPlacement& c = l->faces[static_cast<std::size_t>(face)];
            for (float fu : {0.0f, 1e-9f, 0.5f, 1.0f - 1e-9f, 1.0f, -0.25f, 1.5f})
                for (float fv : {0.0f, 0.5f, 1.0f})
                    for (float margin : {-1.0f, std::nanf(""), 0.0f}) {
                        float u = fu, v = fv;
                        ASSERT_TRUE(placeInCubeLayout(id, face, u, v, margin, margin));
                        const float cu = u * float(l->columns) - c.column, cv = v * float(l->rows) - c.row;
                        EXPECT_TRUE(cu > 0.0f && cu < 1.0f && cv > 0.0f && cv < 1.0f) << id << " face " << face;
                    }
        }
    }
    float u = 0.3f, v = 0.4f;
    for (const auto& [input, face] : {std::pair{1, 0}, {26, 2}, {0, 0}, {33, -1}, {33, 6}, {33, 1 << 30}})
        EXPECT_FALSE(placeInCubeLayout(input, face, u, v)) << input << " face " << face;
    EXPECT_EQ(u, 0.3f);
    EXPECT_EQ(v, 0.4f);
    float nu = std::nanf("");
    EXPECT_FALSE(placeInCubeLayout(33, 0, nu, v));
}

// ---- the table ----------------------------------------------------------------------------

// ---- identity pairs ----------------------------------------------------------------------

TEST(CubeInputLayouts, SamplesOnBothSidesOfACellBorderStayInTheirOwnCells) {
    // Output points just either side of every inner cell border of the
    // 6 × 1 strip read from their own face, never across the border: at the
    // centre of the face's edge pixel, half a pixel inside the cell.
    PairContext pc(337, 33, 600, 100);
    for (int border = 1; border < 6; ++border) {
        for (double eps : {-1e-6, 1e-6}) {
            const double a = border / 6.0 + eps;
            for (double b : {0.01, 0.3, 0.5, 0.99}) {
                RenderCell c;
                ASSERT_TRUE(pc.sample(a, b, c));
                const int outputCell = static_cast<int>(std::floor(a * 6));
                EXPECT_EQ(static_cast<int>(std::floor(c.inputU * 6)), outputCell) << a << ", " << b;
                const double edgePixelCentre = (border * 100 + (eps < 0.0 ? -0.5 : 0.5)) / 600.0;
                EXPECT_NEAR(c.inputU, edgePixelCentre, 1e-6) << a << ", " << b;
                EXPECT_NEAR(c.inputV, b, 1e-6);
            }
        }
    }
}

// The distance, in source pixels, from a placed position to the nearest
// border of its cell (columns × rows cells over an image of w × h pixels).
double pixelsToCellBorder(double u, double v, const CubeCellPlacement& cell, int columns, int rows, int w, int h) {
    const double x = u * w;
    const double y = v * h;
    const double cellW = static_cast<double>(w) / columns;
    const double cellH = static_cast<double>(h) / rows;
    const double left = cell.column * cellW;
    const double top = cell.row * cellH;
    return std::fmin(std::fmin(x - left, left + cellW - x), std::fmin(y - top, top + cellH - y));
}

TEST(CubeInputLayouts, AFilteredLookupStaysOnTheFaceItsSampleHit) {
    // With the source's size known, every placed position keeps half a
    // source pixel from its cell's border: a bilinear lookup there reads
    // only pixels of its own face. Without the size, positions come within
    // the old minimum margin of the border, and the lookup reads half of the
    // neighbouring face's edge pixel. Sources of odd sizes, output finer than
    // the source so that samples crowd the borders.
    struct Source {
        int w, h;
    };
    for (const LayoutPair& p : kPairs) {
        SCOPED_TRACE(p.name);
        const CubeInputLayout* layout = findCubeInputLayout(p.input);
        ASSERT_NE(layout, nullptr);
        for (const Source src : {Source{p.columns * 37, p.rows * 37}, Source{p.columns * 64 + 3, p.rows * 50 - 1}}) {
            SettingsRecord s = plainSettings(p.output, p.input);
            s.tabs = 0.0f;
            PolyModel* model = createPolyModel();
            RenderSetupOptions options;
            options.polyModel = model;
            auto ctx = std::make_unique<RenderContext>();
            setupRenderContext(*ctx, s, RenderSizes{p.columns * 150, p.rows * 150, src.w, src.h}, options);
            EXPECT_EQ(ctx->inputWidth, src.w);
            EXPECT_EQ(ctx->inputHeight, src.h);
            auto unknown = std::make_unique<RenderContext>(*ctx);
            unknown->inputWidth = 0;
            unknown->inputHeight = 0;
            std::unique_ptr<PolyJobState> job;
            MappingScratch scratch;
            if (ctx->usesPolyModel != 0) {
                ASSERT_TRUE(model != nullptr && model->triangleCount > 0);
                job = std::make_unique<PolyJobState>();
                buildSweepList(*model, *job);
                scratch.polyJob = job.get();
            }
            // Positions crowding every cell border of the layout (the output
            // writes the same layout, so its cell borders lie there too),
            // and a coarse grid between them.
            const auto positions = [](int cells) {
                std::vector<float> at;
                for (int k = 0; k <= cells; ++k) {
                    for (double d : {-2e-3, -1e-4, 1e-4, 2e-3}) {
                        const double w = static_cast<double>(k) / cells + d;
                        if (w > 0.0 && w < 1.0) at.push_back(static_cast<float>(w));
                    }
                }
                for (int i = 0; i < 40; ++i) at.push_back(static_cast<float>((i + 0.5) / 40.0));
                return at;
            };
            double nearest = 1e9;
            double nearestUnknown = 1e9;
            int hits = 0;
            for (const float a : positions(p.columns)) {
                for (const float b : positions(p.rows)) {
                    RenderCell c{};
                    if (!outputToSphere(a, b, *ctx, c, scratch) || c.subTag != 0 || c.faceIndex < 0) continue;
                    if (c.regionTag < 0 || c.regionTag >= kTagFirstTab) continue;  // a gap of a net
                    RenderCell o{};
                    ASSERT_TRUE(outputToSphere(a, b, *unknown, o, scratch));
                    ASSERT_EQ(o.faceIndex, c.faceIndex);
                    const CubeCellPlacement& cell = layout->faces[static_cast<std::size_t>(c.faceIndex)];
                    ++hits;
                    nearest = std::fmin(nearest,
                                        pixelsToCellBorder(c.inputU, c.inputV, cell, p.columns, p.rows, src.w, src.h));
                    nearestUnknown = std::fmin(
                        nearestUnknown, pixelsToCellBorder(o.inputU, o.inputV, cell, p.columns, p.rows, src.w, src.h));
                }
            }
            releasePolyModel(model);
            EXPECT_GT(hits, 500) << src.w << " x " << src.h;
            EXPECT_GE(nearest, 0.5 - 1e-3) << src.w << " x " << src.h;
            EXPECT_LT(nearest, 0.5 + 0.05) << src.w << " x " << src.h;  // the edge pixels are still read
            EXPECT_LT(nearestUnknown, 0.1) << src.w << " x " << src.h;
        }
    }
}

// ---- flip -------------------------------------------------------------------------------

TEST(CubeInputLayouts, FlipMirrorsEachUnityFrameInItsOwnCell) {
    // Unity's faces sit unturned in their cells: the flip mirrors every
    // frame about its own centre line and leaves v alone.
    PairContext flipped(337, 33, 600, 100, 1);
    for (int col = 0; col < 6; ++col) {
        for (double cu : {0.1, 0.37, 0.8}) {
            for (double b : {0.2, 0.65}) {
                RenderCell c;
                ASSERT_TRUE(flipped.sample((col + cu) / 6.0, b, c));
                EXPECT_NEAR(c.inputU, (col + 1.0 - cu) / 6.0, 2e-5) << col << " " << cu;
                EXPECT_NEAR(c.inputV, b, 2e-5);
            }
        }
    }
}

}  // namespace
}  // namespace globaro
