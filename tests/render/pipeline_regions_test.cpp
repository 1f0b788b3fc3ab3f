// The shading pass with mappings of our own: region colours, the backdrop,
// antialiased region edges, the work done per pixel, the visiting orders and
// the small helpers.

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "pipeline_test_support.h"
#include "render/pixel_pipeline.h"

namespace globaro {
namespace {

using namespace testing_support;

constexpr std::int32_t kW = 64, kH = 16;

// Four bands across the width: transparent, tab, gap, plain map.
void bands(float a, float b, RenderCell& cell) {
    if (a < 0.25f) {
        cell.regionTag = kTagEmpty;
    } else if (a < 0.5f) {
        cell.regionTag = kTagFirstTab + 1;
    } else if (a < 0.75f) {
        cell.regionTag = kTagInputMiss;
    } else {
        cell.regionTag = kTagPlainMap;
        cell.inputU = a;
        cell.inputV = b;
    }
}

ShadingOptions coloured() {
    ShadingOptions o;
    o.backdropColour = ColorRgba{0.2f, 0.3f, 0.4f, 1};
    o.tabColour = ColorRgba{1, 0, 0, 1};
    o.gapColour = ColorRgba{0, 1, 0, 1};
    return o;
}

TEST(PipelineRegions, RegionColoursAndBackdrop) {
    ImagePyramid grey;
    TestImage img{8, 8, std::vector<float>(8 * 8 * 3, 0.5f)};
    ASSERT_TRUE(loadPyramid(grey, img, kWrapNone));
    const FunctionMapping mapping(bands);
    for (bool transparentGaps : {true, false}) {
        ShadingOptions o = coloured();
        o.transparentGaps = transparentGaps;
        BufferSink out(kW, kH);
        renderInto(makeConfig(mapping, &grey, kW, kH, o), out);
        const float* empty = out.at(5, 8);
        if (transparentGaps) {
            // Outside the outline stays transparent, like the gaps of a net.
            EXPECT_FLOAT_EQ(empty[3], 0.0f);
        } else {
            EXPECT_FLOAT_EQ(empty[0], 0.2f);  // the backdrop shows
            EXPECT_FLOAT_EQ(empty[2], 0.4f);
            EXPECT_FLOAT_EQ(empty[3], 1.0f);
        }
        const float* tab = out.at(20, 8);
        EXPECT_FLOAT_EQ(tab[0], 1.0f);
        EXPECT_FLOAT_EQ(tab[1], 0.0f);
        EXPECT_FLOAT_EQ(tab[3], 1.0f);
        const float* gap = out.at(40, 8);
        if (transparentGaps) {
            EXPECT_FLOAT_EQ(gap[3], 0.0f);
        } else {
            EXPECT_FLOAT_EQ(gap[1], 1.0f);
            EXPECT_FLOAT_EQ(gap[3], 1.0f);
        }
        const float* map = out.at(56, 8);
        EXPECT_NEAR(map[1], 0.5f, 1e-5f);
        EXPECT_FLOAT_EQ(map[3], 1.0f);
    }
    // Keeping transparency: the transparent area stays transparent.
    ShadingOptions o = coloured();
    o.keepTransparency = true;
    BufferSink out(kW, kH);
    renderInto(makeConfig(mapping, &grey, kW, kH, o), out);
    EXPECT_FLOAT_EQ(out.at(5, 8)[3], 0.0f);
    // Tabs are not regions for some outputs: they are looked up instead.
    o.tabsAreRegions = false;
    BufferSink looked(kW, kH);
    renderInto(makeConfig(mapping, &grey, kW, kH, o), looked);
    EXPECT_FLOAT_EQ(looked.at(20, 8)[3], 0.0f);  // no input position there
}

void faces(float a, float, RenderCell& cell) {
    cell.regionTag = a < 0.5f ? 2 : kTagFirstTab + 4;
    cell.inputU = 0.5f;
    cell.inputV = 0.5f;
}

TEST(PipelineRegions, ColouredFacesAndTabs) {
    const FunctionMapping mapping(faces);
    ShadingOptions o = coloured();
    o.facesColoured = true;
    o.tabsTakeFaceColours = true;
    BufferSink out(kW, kH);
    renderInto(makeConfig(mapping, nullptr, kW, kH, o), out);
    auto channel = [](int m) {
        const float t = 1.0f - m / 255.0f;
        return (1.0f - t * t) * 0.9f + 0.1f;
    };
    // Face 2 takes colour number 3; the tab of face 4 takes number 6.
    EXPECT_NEAR(out.at(10, 5)[0], channel(60), 1e-6f);
    EXPECT_NEAR(out.at(10, 5)[1], channel(111), 1e-6f);
    EXPECT_NEAR(out.at(10, 5)[2], channel(147), 1e-6f);
    EXPECT_NEAR(out.at(50, 5)[0], channel(120), 1e-6f);
    EXPECT_NEAR(out.at(50, 5)[1], channel(222), 1e-6f);
    EXPECT_NEAR(out.at(50, 5)[2], channel(38), 1e-6f);
}

// A vertical boundary at corner coordinate 9.3 of a 64-wide output: white
// tab to the left, black gap to the right.
float gBoundary = 9.3f;
void split(float a, float, RenderCell& cell) {
    const float x = a * kW - 1.0f;  // corner coordinate
    cell.regionTag = x < gBoundary ? kTagFirstTab : kTagInputMiss;
}

// A diagonal boundary x + y = 27.5 (corner coordinates).
void diagonal(float a, float b, RenderCell& cell) {
    const float x = a * kW - 1.0f, y = b * kH - 1.0f;
    cell.regionTag = (x + y < 27.5f) ? kTagFirstTab : kTagInputMiss;
}

// Four quadrants meeting at the centre of pixel (20, 8): white where
// (x < 19.5) equals (y < 7.5).
void quadrants(float a, float b, RenderCell& cell) {
    const float x = a * kW - 1.0f, y = b * kH - 1.0f;
    cell.regionTag = ((x < 19.5f) == (y < 7.5f)) ? kTagFirstTab : kTagInputMiss;
}

// One corner alone: the lower-right corner of pixel (20, 8) lies in a small
// triangle x + y > 27.6.
void corner(float a, float b, RenderCell& cell) {
    const float x = a * kW - 1.0f, y = b * kH - 1.0f;
    cell.regionTag = (x + y > 27.6f && x > 19.0f && y > 7.0f) ? kTagFirstTab : kTagInputMiss;
}

ShadingOptions blackAndWhite() {
    ShadingOptions o;
    o.tabColour = ColorRgba{1, 1, 1, 1};
    o.gapColour = ColorRgba{0, 0, 0, 1};
    o.transparentGaps = false;
    return o;
}

TEST(PipelineEdges, StraightEdgeIsMeasuredAnalytically) {
    for (float boundary : {9.3f, 9.75f, 9.05f}) {
        gBoundary = boundary;
        const FunctionMapping mapping(split);
        BufferSink out(kW, kH);
        renderInto(makeConfig(mapping, nullptr, kW, kH, blackAndWhite()), out);
        // Pixel 10 spans corners 9..10: the white part is boundary - 9.
        EXPECT_NEAR(out.at(10, 5)[0], boundary - 9.0f, 0.01f) << boundary;
        EXPECT_FLOAT_EQ(out.at(9, 5)[0], 1.0f);
        EXPECT_FLOAT_EQ(out.at(11, 5)[0], 0.0f);
        EXPECT_FLOAT_EQ(out.at(10, 5)[3], 1.0f);
    }
}

// A vertical boundary that wobbles inside pixel column 10: the middle line
// finds a third region, so the analytic method gives up.
void wobbly(float a, float b, RenderCell& cell) {
    const float x = a * kW - 1.0f, y = b * kH - 1.0f;
    if (x < 9.4f) {
        cell.regionTag = kTagFirstTab;
    } else if (x < 9.6f && y > 4.3f && y < 4.7f) {
        cell.regionTag = 5;  // a speck of a third region on the middle line
        cell.inputU = cell.inputV = 0.5f;
    } else {
        cell.regionTag = kTagInputMiss;
    }
}

TEST(PipelineEdges, VerdictOfEdgePixels) {
    gBoundary = 9.3f;
    const FunctionMapping mapping(split);
    const PipelineConfig config = makeConfig(mapping, nullptr, kW, kH, blackAndWhite());
    TileState state;
    ASSERT_TRUE(state.grid.allocate(TileRect{0, 0, kH, kW}));
    mapTileCorners(config, state);
    PixelVerdict v;
    shadePixel(config, 10, 5, kQualityBest, state, &v);
    EXPECT_EQ(v.edgeFlags, 1);
    EXPECT_EQ(v.cornerClass, 2);  // a vertical boundary
    EXPECT_TRUE(v.analytic);
    EXPECT_NEAR(v.result.r, 0.3f, 0.01f);
    shadePixel(config, 3, 5, kQualityBest, state, &v);
    EXPECT_EQ(v.edgeFlags, 0);
    EXPECT_EQ(v.samples, 1);

    // When the middle line meets a third region: 41 samples along x only.
    const FunctionMapping odd(wobbly);
    const PipelineConfig config2 = makeConfig(odd, nullptr, kW, kH, blackAndWhite());
    TileState state2;
    ASSERT_TRUE(state2.grid.allocate(TileRect{0, 0, kH, kW}));
    mapTileCorners(config2, state2);
    const std::uint32_t before = state2.mappings;
    shadePixel(config2, 10, 5, kQualityBest, state2, &v);
    EXPECT_EQ(v.edgeFlags, 1);
    EXPECT_FALSE(v.analytic);
    EXPECT_EQ(v.samples, kEdgeLineSamples);
    EXPECT_GE(state2.mappings - before, static_cast<std::uint32_t>(kEdgeLineSamples));
}

TEST(PipelineEdges, StraightEdgeAgreesWithGridSupersampling) {
    // The same edge pixel by the analytic method and by supersampling: the
    // transparency of a gap keeps the coverage in the alpha.
    gBoundary = 9.3f;
    const FunctionMapping mapping(split);
    ShadingOptions o = blackAndWhite();
    o.transparentGaps = true;
    BufferSink out(kW, kH);
    renderInto(makeConfig(mapping, nullptr, kW, kH, o), out);
    EXPECT_NEAR(out.at(10, 5)[3], 0.3f, 0.01f);
    EXPECT_FLOAT_EQ(out.at(10, 5)[0], 1.0f);  // the colour of the covered part
}

TEST(PipelineEdges, DiagonalAndCornerEdgesAreAntialiased) {
    {
        const FunctionMapping mapping(diagonal);
        BufferSink out(kW, kH);
        renderInto(makeConfig(mapping, nullptr, kW, kH, blackAndWhite()), out);
        // Pixel (x, y) spans corners x-1..x, y-1..y. In pixel (20, 8) the
        // black part is the triangle x + y > 27.5 with legs 0.5.
        EXPECT_NEAR(out.at(20, 8)[0], 0.875f, 0.02f);
        EXPECT_NEAR(out.at(21, 7)[0], 0.875f, 0.02f);
        // Pixel (21, 8) (sums 27..29): the white triangle x + y < 27.5, legs 0.5.
        EXPECT_NEAR(out.at(21, 8)[0], 0.125f, 0.02f);
        EXPECT_FLOAT_EQ(out.at(10, 8)[0], 1.0f);
        EXPECT_FLOAT_EQ(out.at(30, 8)[0], 0.0f);
    }
    {
        // Three or four regions: supersampled on the 7 x 7 grid.
        const FunctionMapping mapping(quadrants);
        BufferSink out(kW, kH);
        renderInto(makeConfig(mapping, nullptr, kW, kH, blackAndWhite()), out);
        EXPECT_NEAR(out.at(20, 8)[0], 0.5f, 0.03f);
    }
    {
        const FunctionMapping mapping(corner);
        BufferSink out(kW, kH);
        renderInto(makeConfig(mapping, nullptr, kW, kH, blackAndWhite()), out);
        // In pixel (20, 8) (corners 19..20, 7..8) the white triangle has legs
        // 0.4: area 0.08.
        EXPECT_NEAR(out.at(20, 8)[0], 0.08f, 0.02f);
    }
}

void plain(float a, float b, RenderCell& cell) {
    cell.regionTag = kTagPlainMap;
    cell.inputU = a;
    cell.inputV = b;
}

TEST(PipelineWork, FlatPixelsTakeOneLookup) {
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, photographicImage(64, 32), kWrapNone));
    const FunctionMapping mapping(plain);
    const std::int32_t corners = (kW + 2) * (kH + 2), pixels = kW * kH;
    for (int quality : {kQualityGood, kQualityBetter, kQualityBest}) {
        ShadingOptions o;
        o.quality = quality;
        const PipelineConfig config = makeConfig(mapping, &p, kW, kH, o);
        TileState state;
        ASSERT_TRUE(state.grid.allocate(TileRect{0, 0, kH, kW}));
        renderTile(config, state);
        EXPECT_TRUE(state.mappingComplete);
        EXPECT_EQ(state.lookups, static_cast<std::uint32_t>(pixels));
        if (quality == kQualityBest) {
            EXPECT_EQ(state.mappings, static_cast<std::uint32_t>(corners + pixels));  // centres afresh
        } else {
            EXPECT_EQ(state.mappings, static_cast<std::uint32_t>(corners));
        }
    }
}

TEST(PipelineWork, HilbertBlocksVisitEveryCornerOnceAndMatchScanlines) {
    std::set<std::pair<int, int>> seen;
    std::int32_t px = 0, py = 0;
    for (std::int32_t i = 0; i < kHilbertBlock * kHilbertBlock; ++i) {
        std::int32_t x, y;
        hilbertPoint(i, x, y);
        ASSERT_GE(x, 0);
        ASSERT_LT(x, kHilbertBlock);
        ASSERT_GE(y, 0);
        ASSERT_LT(y, kHilbertBlock);
        seen.insert({x, y});
        if (i > 0) {
            EXPECT_EQ(std::abs(x - px) + std::abs(y - py), 1);  // neighbours
        }
        px = x;
        py = y;
    }
    EXPECT_EQ(seen.size(), 1024u);

    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, photographicImage(64, 32), kWrapNone));
    // Scanline renders map and shade row by row, block renders in two
    // passes: the same pixels, also across region edges of every kind.
    for (PositionMap map : {plain, wobbly, quadrants, corner}) {
        const FunctionMapping scan(map, false), blocks(map, true);
        BufferSink a(150, 70), b(150, 70);
        renderInto(makeConfig(scan, &p, 150, 70, ShadingOptions{}), a);
        renderInto(makeConfig(blocks, &p, 150, 70, ShadingOptions{}), b);
        EXPECT_EQ(a.pixels, b.pixels);
        for (float v : a.pixels) ASSERT_GE(v, 0.0f);  // every pixel written
    }
}

// Every corner on the north pole of a wrapping input.
void pole(float, float, RenderCell& cell) {
    cell.regionTag = kTagPlainMap;
    cell.inputU = 0.3f;
    cell.inputV = 0.0f;
}

TEST(PipelineWork, PixelsAtThePoleOfAPanoramaAreStillLookedUp) {
    ImagePyramid p;
    TestImage img{16, 8, std::vector<float>(16 * 8 * 3, 0.6f)};
    ASSERT_TRUE(loadPyramid(p, img, kWrapHorizontal));
    const FunctionMapping mapping(pole);
    ShadingOptions o;
    o.wrap = kInputWrapHorizontal;
    o.backdropColour = ColorRgba{0, 0, 1, 1};
    BufferSink out(8, 8);
    renderInto(makeConfig(mapping, &p, 8, 8, o), out);
    EXPECT_NEAR(out.at(4, 4)[0], 0.6f, 1e-4f);
    EXPECT_NEAR(out.at(4, 4)[2], 0.6f, 1e-4f);
}

// The corner classes of a pixel and the means of input positions across the wrap.
TEST(PipelineHelpers, CornerClassesAndWrapMeans) {
    EXPECT_EQ(cornerClass(1, 1, 1, 1), 0);
    EXPECT_EQ(cornerClass(1, 1, 2, 2), 1);
    EXPECT_EQ(cornerClass(1, 2, 1, 2), 2);
    EXPECT_EQ(cornerClass(1, 1, 1, 2), 3);
    EXPECT_EQ(cornerClass(1, 1, 2, 1), 4);
    EXPECT_EQ(cornerClass(1, 2, 1, 1), 5);
    EXPECT_EQ(cornerClass(2, 1, 1, 1), 6);
    EXPECT_EQ(cornerClass(1, 2, 2, 1), 7);
    EXPECT_EQ(cornerClass(1, 2, 3, 4), 7);

    EXPECT_NEAR(meanInputU(0.95f, 0.05f, kInputWrapHorizontal), 0.0f, 1e-6f);
    EXPECT_NEAR(meanInputU(0.95f, 0.05f, kInputNoWrap), 0.5f, 1e-6f);
    EXPECT_NEAR(meanInputU(0.9f, 0.2f, kInputWrapHorizontal), 0.05f, 1e-6f);
    EXPECT_FLOAT_EQ(meanInputU(-1.0f, 0.3f, kInputWrapHorizontal), 0.3f);
    EXPECT_FLOAT_EQ(meanInputU(0.3f, -1.0f, kInputNoWrap), 0.3f);
    EXPECT_NEAR(meanInputV(0.9f, 0.2f, kInputWrapHorizontal), 0.55f, 1e-6f);
    EXPECT_NEAR(meanInputV(0.9f, 0.2f, kInputWrapBoth), 1.05f, 1e-6f);

    EXPECT_EQ(inputWrapOf(1), kInputWrapHorizontal);
    EXPECT_EQ(inputWrapOf(2), kInputNoWrap);
}

}  // namespace
}  // namespace globaro
