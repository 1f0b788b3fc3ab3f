// The cube-layout inputs: placement, identity pairs with the outputs, cell margins, the u flip.

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

using testing::Mapper;
using testing::plainSettings;

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

// Face-local (u, v) placed in its cell, by hand from the layouts' drawings (margin 0).
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

// Points either side of each inner border of the 6 x 1 strip read their own face's edge pixel.
TEST(CubeInputLayouts, SamplesOnBothSidesOfACellBorderStayInTheirOwnCells) {
    Mapper m(337, 33, 600, 100, 90.0f, 600, 100);
    for (int border = 1; border < 6; ++border)
        for (double eps : {-1e-6, 1e-6})
            for (double b : {0.01, 0.3, 0.5, 0.99}) {
                const RenderCell c = m.sample(border / 6.0 + eps, b);
                ASSERT_GE(c.regionTag, 0);
                EXPECT_NEAR(c.inputU, (border * 100 + (eps < 0.0 ? -0.5 : 0.5)) / 600.0, 1e-6) << border << ", " << b;
                EXPECT_NEAR(c.inputV, b, 1e-6);
            }
}

// Odd source sizes: positions keep half a source pixel off cell borders, else the old minimum margin.
TEST(CubeInputLayouts, AFilteredLookupStaysOnTheFaceItsSampleHit) {
    for (const LayoutPair& p : kPairs) {
        SCOPED_TRACE(p.name);
        const CubeInputLayout* layout = findCubeInputLayout(p.input);
        ASSERT_NE(layout, nullptr);
        for (const auto& [sw, sh] : {std::pair{p.columns * 37, p.rows * 37}, {p.columns * 64 + 3, p.rows * 50 - 1}}) {
            Mapper m(p.output, p.input, p.columns * 150, p.rows * 150, 90.0f, sw, sh);
            RenderContext unknown = *m.ctx;
            unknown.inputWidth = unknown.inputHeight = 0;
            // Positions crowding every cell border of the layout, and a coarse grid between them.
            const auto positions = [](int cells) {
                std::vector<float> at;
                for (int k = 0; k <= cells; ++k)
                    for (double d : {-2e-3, -1e-4, 1e-4, 2e-3})
                        if (double(k) / cells + d > 0.0 && double(k) / cells + d < 1.0)
                            at.push_back(static_cast<float>(double(k) / cells + d));
                for (int i = 0; i < 40; ++i) at.push_back(static_cast<float>((i + 0.5) / 40.0));
                return at;
            };
            // Source pixels from a placed position to the nearest border of its cell.
            const auto toBorder = [&](const RenderCell& c) {
                const CubeCellPlacement& cell = layout->faces[static_cast<std::size_t>(c.faceIndex)];
                const double x = c.inputU * p.columns - cell.column, y = c.inputV * p.rows - cell.row;
                return std::fmin(std::fmin(x, 1 - x) * sw / p.columns, std::fmin(y, 1 - y) * sh / p.rows);
            };
            double nearest = 1e9, nearestUnknown = 1e9;
            int hits = 0;
            for (const float a : positions(p.columns))
                for (const float b : positions(p.rows)) {
                    const RenderCell c = m.sample(a, b);
                    if (c.subTag != 0 || c.faceIndex < 0 || c.regionTag < 0 || c.regionTag >= kTagFirstTab) continue;
                    RenderCell o{};
                    ASSERT_TRUE(outputToSphere(a, b, unknown, o, m.scratch));
                    ASSERT_EQ(o.faceIndex, c.faceIndex);
                    ++hits;
                    nearest = std::fmin(nearest, toBorder(c));
                    nearestUnknown = std::fmin(nearestUnknown, toBorder(o));
                }
            EXPECT_GT(hits, 500) << sw << " x " << sh;
            EXPECT_GE(nearest, 0.5 - 1e-3) << sw << " x " << sh;
            EXPECT_LT(nearest, 0.5 + 0.05) << sw << " x " << sh;  // the edge pixels are still read
            EXPECT_LT(nearestUnknown, 0.1) << sw << " x " << sh;
        }
    }
}

// The flip mirrors every frame about its own centre line and leaves v alone.
TEST(CubeInputLayouts, FlipMirrorsEachUnityFrameInItsOwnCell) {
    SettingsRecord s = plainSettings(337, 33);
    s.flip = 1;
    RenderContext ctx;
    setupRenderContext(ctx, s, RenderSizes{600, 100, 600, 100});
    for (int col = 0; col < 6; ++col)
        for (double cu : {0.1, 0.37, 0.8})
            for (double b : {0.2, 0.65}) {
                const RenderCell c = testing::sampleAt(ctx, (col + cu) / 6.0, b);
                EXPECT_NEAR(c.inputU, (col + 1.0 - cu) / 6.0, 2e-5) << col << " " << cu;
                EXPECT_NEAR(c.inputV, b, 2e-5);
            }
}

}  // namespace
}  // namespace globaro
