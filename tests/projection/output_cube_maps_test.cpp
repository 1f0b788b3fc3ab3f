// Cube-map output layouts and zenith & nadir: golden cells, tags, seams,
// identity pairs with the matching cube-layout inputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

#include "output_test_support.h"
#include "projection/input_projection.h"

namespace globaro {
namespace {

using testing::contextFor;
using testing::directionAt;
using testing::distance;
using testing::sampleAt;
using testing::unit;

struct Layout {
    ProjectionId id;
    int columns, rows;
    InputProjectionId matchingInput;
};

const Layout kLayouts[] = {
    {337, 6, 1, 33},  // "Unity 6 frames"
    {338, 3, 2, 34},  // "Facebook 3x2 cube"
    {339, 3, 2, 35},  // "Pano2VR 3x2 cube"
};

// The output position of the cell-local point (lx, ly) in −0.5..0.5 of cell (col, row).
std::pair<double, double> cellPoint(const Layout& l, int col, int row, double lx, double ly) {
    return {(col + 0.5 + lx) / l.columns, (row + 0.5 + ly) / l.rows};
}

struct GoldenCell {
    const char* source;
    ProjectionId id;
    int col, row;
    double lx, ly;  // −0.5..0.5 in the cell, y down
    SphereDir expected;
    std::int32_t tag;
};

const GoldenCell kGolden[] = {
    {"Unity: the centre of cell 4 looks at +z", 337, 4, 0, 0, 0, {0, 0, 1}, 4},
    {"Unity: cell 0 is the right face", 337, 0, 0, 0, 0, {-1, 0, 0}, 0},
    {"Unity: the left edge of cell 0 is 45° between right and front", 337, 0, 0, -0.5, 0, unit(-1, 0, 1), 0},
    {"Unity: cell 2 is up, with the back at its top edge", 337, 2, 0, 0, -0.5, unit(0, 1, -1), 2},
    {"Unity: cell 5 is the back", 337, 5, 0, 0, 0, {0, 0, -1}, 5},
    {"Facebook: the top-left cell shows the right face", 338, 0, 0, 0, 0, {-1, 0, 0}, 0},
    {"Facebook: top row middle is left", 338, 1, 0, 0, 0, {1, 0, 0}, 2},
    {"Facebook: top row right is up", 338, 2, 0, 0, 0, {0, 1, 0}, 4},
    {"Facebook: bottom row: down, front, back", 338, 1, 1, 0, 0, {0, 0, 1}, 3},
    {"Pano2VR: top row front", 339, 0, 0, 0, 0, {0, 0, 1}, 0},
    {"Pano2VR: top row right shares tag 0", 339, 1, 0, 0, 0, {-1, 0, 0}, 0},
    {"Pano2VR: top row back shares tag 0", 339, 2, 0, 0, 0, {0, 0, -1}, 0},
    {"Pano2VR: bottom row left keeps its own tag", 339, 0, 1, 0, 0, {1, 0, 0}, 1},
    {"Pano2VR: bottom row up", 339, 1, 1, 0, 0, {0, 1, 0}, 3},
    {"Pano2VR: bottom row down", 339, 2, 1, 0, 0, {0, -1, 0}, 5},
};

const Layout& layoutOf(ProjectionId id) {
    for (const Layout& l : kLayouts) {
        if (l.id == id) return l;
    }
    return kLayouts[0];
}

TEST(OutputCubeMaps, GoldenCells) {
    for (const GoldenCell& g : kGolden) {
        SCOPED_TRACE(g.source);
        const Layout& l = layoutOf(g.id);
        const auto ctx = contextFor(g.id, 1, l.columns * 100, l.rows * 100);
        auto [a, b] = cellPoint(l, g.col, g.row, g.lx, g.ly);
        // Keep edge points just inside their cell.
        if (g.lx == -0.5) a += 1e-6;
        if (g.ly == -0.5) b += 1e-6;
        SphereDir d;
        ASSERT_TRUE(directionAt(*ctx, a, b, d));
        EXPECT_LT(distance(d, g.expected), 1e-4f) << d.x << " " << d.y << " " << d.z;
        EXPECT_EQ(sampleAt(*ctx, a, b).regionTag, g.tag);
    }
}

TEST(OutputCubeMaps, TheOuterBorderBelongsToTheLayout) {
    // The frame's edges and corners are the faces' edges: a pixel in a corner
    // of the image is wholly covered (a miss there left it half transparent).
    const auto ctx = contextFor(338, 1, 300, 200);
    SphereDir d;
    ASSERT_TRUE(directionAt(*ctx, 0.0, 0.25, d));  // c = 0 exactly: the right face's left edge
    EXPECT_LT(distance(d, unit(-1, 0, 1)), 1e-4f);
    ASSERT_TRUE(directionAt(*ctx, 1.0, 1.0, d));  // the bottom-right corner: the back face's corner
    EXPECT_LT(distance(d, unit(1, -1, -1)), 1e-4f);
    EXPECT_EQ(sampleAt(*ctx, 1.0, 1.0).regionTag, 5);
    for (const auto& [a, b] : {std::pair{0.0, 0.0}, std::pair{1.0, 0.0}, std::pair{0.0, 1.0}})
        EXPECT_TRUE(directionAt(*ctx, a, b, d)) << a << ", " << b;
    // Just beyond it, in a frame wider than the layout: a miss.
    const auto wide = contextFor(338, 1, 400, 200);
    EXPECT_FALSE(directionAt(*wide, 0.124, 0.5, d));
    EXPECT_TRUE(directionAt(*wide, 0.126, 0.5, d));
    const RenderCell c = sampleAt(*wide, 0.05, 0.5);
    EXPECT_EQ(c.regionTag, kTagEmpty);
    EXPECT_EQ(c.inputU, -1.0f);
}

TEST(OutputCubeMaps, ALayoutInAnImageOfOtherProportionsMissesAround) {
    const auto ctx = contextFor(337, 1, 600, 600);  // a 6:1 grid in a square
    SphereDir d;
    EXPECT_FALSE(directionAt(*ctx, 0.5, 0.2, d));
    EXPECT_TRUE(directionAt(*ctx, 0.5, 0.5, d));
}

TEST(OutputCubeMaps, EveryLayoutShowsAllSixFacesAndCellEdgesLieOnCubeEdges) {
    for (const Layout& l : kLayouts) {
        const auto ctx = contextFor(l.id, 1, l.columns * 100, l.rows * 100);
        std::set<std::tuple<int, int, int>> faces;
        for (int col = 0; col < l.columns; ++col) {
            for (int row = 0; row < l.rows; ++row) {
                SphereDir d;
                auto [a, b] = cellPoint(l, col, row, 0, 0);
                ASSERT_TRUE(directionAt(*ctx, a, b, d));
                faces.insert({static_cast<int>(std::lround(d.x)), static_cast<int>(std::lround(d.y)),
                              static_cast<int>(std::lround(d.z))});
                // Points on the cell's sides: the two largest components are equal.
                for (const auto& side : {std::pair{-0.4999, 0.1}, std::pair{0.4999, -0.2}, std::pair{0.3, -0.4999},
                                         std::pair{-0.1, 0.4999}}) {
                    auto [sa, sb] = cellPoint(l, col, row, side.first, side.second);
                    ASSERT_TRUE(directionAt(*ctx, sa, sb, d));
                    float m[3] = {std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)};
                    std::sort(m, m + 3);
                    EXPECT_NEAR(m[2], m[1], 1e-3f) << l.id << " cell " << col << "," << row;
                }
            }
        }
        EXPECT_EQ(faces.size(), 6u) << l.id;
    }
}

TEST(OutputCubeMaps, PanoTopRowSeamsClose) {
    // Front | right | back is one continuous strip.
    const Layout& l = layoutOf(339);
    const auto ctx = contextFor(339, 1, 300, 200);
    for (int col = 0; col < 2; ++col) {
        for (double ly : {-0.4, -0.1, 0.0, 0.3}) {
            auto [a1, b1] = cellPoint(l, col, 0, 0.4999, ly);
            auto [a2, b2] = cellPoint(l, col + 1, 0, -0.4999, ly);
            SphereDir d1, d2;
            ASSERT_TRUE(directionAt(*ctx, a1, b1, d1));
            ASSERT_TRUE(directionAt(*ctx, a2, b2, d2));
            EXPECT_LT(distance(d1, d2), 1e-3f) << col << " " << ly;
        }
    }
}

TEST(OutputCubeMaps, TheMatchingInputLayoutsFindTheCellsFace) {
    // The cube-layout inputs answer the face and its local fractions; the
    // face under each cell centre is the cell's face direction.
    for (const Layout& l : kLayouts) {
        const auto ctx = contextFor(l.id, l.matchingInput, l.columns * 100, l.rows * 100);
        for (int col = 0; col < l.columns; ++col) {
            for (int row = 0; row < l.rows; ++row) {
                auto [a, b] = cellPoint(l, col, row, 0.1, -0.2);
                SphereDir d;
                ASSERT_TRUE(directionAt(*ctx, a, b, d));
                const RenderCell c = sampleAt(*ctx, a, b);
                EXPECT_EQ(c.faceIndex, cubeFaceOf(d).face) << l.id;
                EXPECT_EQ(c.subTag, 0u) << l.id;
            }
        }
    }
}

// ---- zenith & nadir --------------------------------------------------------------------

TEST(OutputZenithNadir, HalvesAndTags) {
    const auto ctx = contextFor(171, 1, 200, 100);
    SphereDir d;
    ASSERT_TRUE(directionAt(*ctx, 0.25, 0.5, d));
    EXPECT_LT(distance(d, {0, 1, 0}), 1e-5f);  // the zenith face on the left
    ASSERT_TRUE(directionAt(*ctx, 0.75, 0.5, d));
    EXPECT_LT(distance(d, {0, -1, 0}), 1e-5f);  // the nadir face on the right
    EXPECT_EQ(sampleAt(*ctx, 0.25, 0.5).regionTag, 1);
    EXPECT_EQ(sampleAt(*ctx, 0.75, 0.5).regionTag, 2);
    // X = 0 belongs to the left (zenith) half.
    EXPECT_EQ(sampleAt(*ctx, 0.5, 0.5).regionTag, 1);
    // Outside the 2:1 box.
    const auto square = contextFor(171, 1, 200, 200);
    EXPECT_EQ(sampleAt(*square, 0.5, 0.1).regionTag, kTagEmpty);
}

TEST(OutputZenithNadir, IdentityWithTheZenithNadirInput) {
    const auto ctx = contextFor(171, 26, 400, 200, 400, 200);
    int hits = 0;
    for (int i = 1; i < 40; ++i) {
        for (int j = 1; j < 20; ++j) {
            const double a = (i + 0.31) / 40.0;
            const double b = (j + 0.17) / 20.0;
            if (b >= 1.0) continue;
            const RenderCell c = sampleAt(*ctx, a, b);
            if (c.subTag != 0) continue;
            ++hits;
            ASSERT_NEAR(c.inputU, a, 1e-4) << a << ", " << b;
            ASSERT_NEAR(c.inputV, b, 1e-4) << a << ", " << b;
        }
    }
    EXPECT_GT(hits, 600);
}

}  // namespace
}  // namespace globaro
