// The shading pass with mappings of our own: regions, backdrop, edges, work per pixel, orders, helpers.

#include <gtest/gtest.h>
#include <array>
#include <set>
#include "pipeline_test_support.h"
#include "render/pixel_pipeline.h"

namespace globaro {
namespace {
using namespace testing_support;
constexpr std::int32_t kW = 64, kH = 16;
constexpr float kAny = -1.0f;  // a channel the case does not judge

BufferSink render(PositionMap map, const ShadingOptions& o, const ImagePyramid* pyramid = nullptr) {
    const FunctionMapping mapping(map);
    BufferSink out(kW, kH);
    EXPECT_EQ(renderInto(makeConfig(mapping, pyramid, kW, kH, o), out).result, 0);
    return out;
}

void expectPixel(const BufferSink& out, int x, int y, const std::array<float, 4>& want, float tol, const char* name) {
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(want[c] == kAny ? kAny : out.at(x, y)[c], want[c], tol)
            << name << " at " << x << "," << y << " ch " << c;
}

// Four bands across the width: transparent, tab, gap, plain map.
void bands(float a, float b, RenderCell& cell) {
    cell.regionTag = a < 0.25f ? kTagEmpty : a < 0.5f ? kTagFirstTab + 1 : a < 0.75f ? kTagInputMiss : kTagPlainMap;
    if (a >= 0.75f) cell.inputU = a, cell.inputV = b;
}

TEST(PipelineRegions, RegionColoursAndBackdrop) {
    ImagePyramid grey;
    ASSERT_TRUE(loadPyramid(grey, greyImage(8, 8, 0.5f), kWrapNone));
    // Name, transparent gaps, keep transparency, tabs are regions; the empty, tab and gap pixels.
    using Px = std::array<float, 4>;
    const std::tuple<const char*, bool, bool, bool, Px, Px, Px> cases[] = {
        {"transparent gaps", true, false, true, {kAny, kAny, kAny, 0}, {1, 0, kAny, 1}, {kAny, kAny, kAny, 0}},
        {"coloured gaps", false, false, true, {0.2f, kAny, 0.4f, 1}, {1, 0, kAny, 1}, {kAny, 1, kAny, 1}},
        {"keep transparency", false, true, true, {kAny, kAny, kAny, 0}, {1, 0, kAny, 1}, {kAny, 1, kAny, 1}},
        {"tabs looked up", true, true, false, {kAny, kAny, kAny, 0}, {kAny, kAny, kAny, 0}, {kAny, kAny, kAny, 0}},
    };
    for (const auto& [name, transparentGaps, keepTransparency, tabsAreRegions, empty, tab, gap] : cases) {
        ShadingOptions o;
        o.backdropColour = ColorRgba{0.2f, 0.3f, 0.4f, 1}, o.tabColour = ColorRgba{1, 0, 0, 1},
        o.gapColour = ColorRgba{0, 1, 0, 1};
        o.transparentGaps = transparentGaps, o.keepTransparency = keepTransparency, o.tabsAreRegions = tabsAreRegions;
        const BufferSink out = render(bands, o, &grey);
        for (const auto& [x, want, tol] :
             {std::tuple{5, empty, 1e-6f}, {20, tab, 1e-6f}, {40, gap, 1e-6f}, {56, Px{kAny, 0.5f, kAny, 1}, 1e-5f}})
            expectPixel(out, x, 8, want, tol, name);
    }
}

void faces(float a, float, RenderCell& cell) {
    cell.regionTag = a < 0.5f ? 2 : kTagFirstTab + 4;
    cell.inputU = cell.inputV = 0.5f;
}

TEST(PipelineRegions, ColouredFacesAndTabs) {
    ShadingOptions o;
    o.facesColoured = o.tabsTakeFaceColours = true;
    const BufferSink out = render(faces, o);
    auto channel = [](int m) { return (1.0f - (1.0f - m / 255.0f) * (1.0f - m / 255.0f)) * 0.9f + 0.1f; };
    // Face 2 takes colour number 3; the tab of face 4 takes number 6.
    expectPixel(out, 10, 5, {channel(60), channel(111), channel(147), kAny}, 1e-6f, "face");
    expectPixel(out, 50, 5, {channel(120), channel(222), channel(38), kAny}, 1e-6f, "tab");
}

// Boundaries in corner coordinates (x = a * kW - 1): white tab on one side, black gap on the other.
float gBoundary = 9.3f;
float cornerX(float a) { return a * kW - 1.0f; }
float cornerY(float b) { return b * kH - 1.0f; }
void split(float a, float, RenderCell& cell) { cell.regionTag = cornerX(a) < gBoundary ? kTagFirstTab : kTagInputMiss; }
void diagonal(float a, float b, RenderCell& cell) {
    cell.regionTag = cornerX(a) + cornerY(b) < 27.5f ? kTagFirstTab : kTagInputMiss;
}
// Four quadrants meeting at the centre of pixel (20, 8).
void quadrants(float a, float b, RenderCell& cell) {
    cell.regionTag = (cornerX(a) < 19.5f) == (cornerY(b) < 7.5f) ? kTagFirstTab : kTagInputMiss;
}
// The lower-right corner of pixel (20, 8) alone in a triangle x + y > 27.6.
void corner(float a, float b, RenderCell& cell) {
    const float x = cornerX(a), y = cornerY(b);
    cell.regionTag = (x + y > 27.6f && x > 19.0f && y > 7.0f) ? kTagFirstTab : kTagInputMiss;
}
// A vertical boundary with a speck of a third region on pixel 10's middle line.
void wobbly(float a, float b, RenderCell& cell) {
    const float x = cornerX(a), y = cornerY(b);
    cell.regionTag = x < 9.4f ? kTagFirstTab : (x < 9.6f && y > 4.3f && y < 4.7f) ? 5 : kTagInputMiss;
    if (cell.regionTag == 5) cell.inputU = cell.inputV = 0.5f;
}

ShadingOptions blackAndWhite(bool transparentGaps = false) {
    ShadingOptions o;
    o.tabColour = ColorRgba{1, 1, 1, 1}, o.gapColour = ColorRgba{0, 0, 0, 1}, o.transparentGaps = transparentGaps;
    return o;
}

// Pixel (x, y) spans corners x-1..x, y-1..y: the value is the white area (or the alpha).
TEST(PipelineEdges, EdgePixelsCoverTheirShareOfEachRegion) {
    // Name, map, boundary, transparent gaps; pixel, channel, value and tolerance.
    const std::tuple<const char*, PositionMap, float, bool, int, int, int, float, float> cases[] = {
        {"straight 9.3", split, 9.3f, false, 10, 5, 0, 0.3f, 0.01f},
        {"straight 9.75", split, 9.75f, false, 10, 5, 0, 0.75f, 0.01f},
        {"straight 9.05", split, 9.05f, false, 10, 5, 0, 0.05f, 0.01f},
        {"straight, opaque", split, 9.3f, false, 10, 5, 3, 1.0f, 0.0f},
        {"left of it", split, 9.3f, false, 9, 5, 0, 1.0f, 0.0f},
        {"right of it", split, 9.3f, false, 11, 5, 0, 0.0f, 0.0f},
        {"coverage in the alpha", split, 9.3f, true, 10, 5, 3, 0.3f, 0.01f},
        {"covered part's colour", split, 9.3f, true, 10, 5, 0, 1.0f, 0.0f},
        {"diagonal, black triangle", diagonal, 0, false, 20, 8, 0, 0.875f, 0.02f},
        {"diagonal, above", diagonal, 0, false, 21, 7, 0, 0.875f, 0.02f},
        {"diagonal, white triangle", diagonal, 0, false, 21, 8, 0, 0.125f, 0.02f},
        {"diagonal, inside", diagonal, 0, false, 10, 8, 0, 1.0f, 0.0f},
        {"diagonal, outside", diagonal, 0, false, 30, 8, 0, 0.0f, 0.0f},
        {"quadrants, supersampled", quadrants, 0, false, 20, 8, 0, 0.5f, 0.03f},
        {"lone corner", corner, 0, false, 20, 8, 0, 0.08f, 0.02f},
    };
    for (const auto& [name, map, boundary, transparentGaps, x, y, channel, want, tol] : cases) {
        gBoundary = boundary;
        EXPECT_NEAR(render(map, blackAndWhite(transparentGaps)).at(x, y)[channel], want, tol) << name;
    }
    gBoundary = 9.3f;
}

TEST(PipelineEdges, VerdictOfEdgePixels) {
    gBoundary = 9.3f;
    PixelVerdict v;
    for (PositionMap map : {split, wobbly}) {
        const FunctionMapping mapping(map);
        const PipelineConfig config = makeConfig(mapping, nullptr, kW, kH, blackAndWhite());
        TileState state;
        ASSERT_TRUE(state.grid.allocate(TileRect{0, 0, kH, kW}));
        mapTileCorners(config, state);
        const std::uint32_t before = state.mappings;
        shadePixel(config, 10, 5, kQualityBest, state, &v);
        EXPECT_EQ(v.edgeFlags, 1);
        if (map == split) {  // a vertical boundary
            EXPECT_TRUE(v.cornerClass == 2 && v.analytic && std::fabs(v.result.r - 0.3f) <= 0.01f) << v.result.r;
            shadePixel(config, 3, 5, kQualityBest, state, &v);
            EXPECT_EQ(std::pair(v.edgeFlags, v.samples), std::pair(0, 1));
        } else {  // the middle line meets a third region: samples along x only
            EXPECT_TRUE(!v.analytic && v.samples == kEdgeLineSamples &&
                        state.mappings - before >= std::uint32_t(kEdgeLineSamples));
        }
    }
}

void plain(float a, float b, RenderCell& cell) { cell.regionTag = kTagPlainMap, cell.inputU = a, cell.inputV = b; }

TEST(PipelineWork, FlatPixelsTakeOneLookup) {
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, photographicImage(64, 32), kWrapNone));
    const FunctionMapping mapping(plain);
    const std::uint32_t corners = (kW + 2) * (kH + 2), pixels = kW * kH;
    for (int quality : {kQualityGood, kQualityBetter, kQualityBest}) {
        ShadingOptions o;
        o.quality = quality;
        TileState state;
        ASSERT_TRUE(state.grid.allocate(TileRect{0, 0, kH, kW}));
        renderTile(makeConfig(mapping, &p, kW, kH, o), state);
        EXPECT_EQ(
            std::tuple(state.mappingComplete, state.lookups, state.mappings),
            std::tuple(true, pixels, quality == kQualityBest ? corners + pixels : corners));  // best: centres afresh
    }
}

TEST(PipelineWork, HilbertBlocksVisitEveryCornerOnceAndMatchScanlines) {
    std::set<std::pair<int, int>> seen;
    std::int32_t px = 0, py = 0;
    for (std::int32_t i = 0; i < kHilbertBlock * kHilbertBlock; ++i) {
        std::int32_t x, y;
        hilbertPoint(i, x, y);
        ASSERT_TRUE(x >= 0 && x < kHilbertBlock && y >= 0 && y < kHilbertBlock);
        seen.insert({x, y});
        EXPECT_EQ(i > 0 ? std::abs(x - px) + std::abs(y - py) : 1, 1);  // neighbours
        px = x, py = y;
    }
    EXPECT_EQ(seen.size(), 1024u);
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, photographicImage(64, 32), kWrapNone));
    // Scanlines and two-pass blocks give the same pixels, across region edges of every kind.
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
void pole(float, float, RenderCell& cell) { cell.regionTag = kTagPlainMap, cell.inputU = 0.3f, cell.inputV = 0.0f; }

TEST(PipelineWork, PixelsAtThePoleOfAPanoramaAreStillLookedUp) {
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, greyImage(16, 8, 0.6f), kWrapHorizontal));
    ShadingOptions o;
    o.wrap = kInputWrapHorizontal, o.backdropColour = ColorRgba{0, 0, 1, 1};
    expectPixel(render(pole, o, &p), 4, 4, {0.6f, kAny, 0.6f, kAny}, 1e-4f, "pole");
}

// Corners a fiftieth apart in v, the first row of pixels across the seam at v = 0 and 1.
void acrossTheSeam(float a, float b, RenderCell& cell) {
    const float v = 0.99f + 0.02f * std::round(b * kH);
    cell.regionTag = kTagPlainMap, cell.inputU = a, cell.inputV = v - std::floor(v);
}

// An input that wraps both ways takes the mean of corners across its v seam at the seam (its dark
// first and last rows), not halfway down the picture; one that does not wrap spans the picture
// from top to bottom, brighter on the whole.
TEST(PipelineWork, CornersAcrossTheVerticalSeamMeanAcrossItWhereTheInputWrapsBothWays) {
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(
        p,
        makeImage(16, 16, [](std::int32_t, std::int32_t y, float* q) { setGrey(q, y < 2 || y >= 14 ? 0.1f : 0.9f); }),
        kWrapHorizontal));
    for (const auto& [wrap, low, high] : {std::tuple{kInputWrapBoth, 0.05f, 0.15f}, {kInputNoWrap, 0.3f, 0.95f}}) {
        ShadingOptions o;
        o.wrap = wrap;
        const float g = render(acrossTheSeam, o, &p).at(4, 0)[1];
        EXPECT_TRUE(g >= low && g <= high) << wrap << ": " << g;
    }
}

// The input position and footprint of a pixel from its corners c0 (lower right), c1 (lower left),
// c2 (upper right), c3 (upper left): plain means and diagonals inside the picture, the wrap-aware
// ones across a seam, u left out on a pole, a corner without a position left out.
TEST(PipelineHelpers, CornerMeansAndFootprints) {
    constexpr float k = 0.70710678f;
    struct Case {
        const char* name;
        InputWrap wrap;
        float corners[4][2];  // (u, v) of c0..c3
        float u, v, du1, dv1, du2, dv2;
    };
    const Case cases[] = {
        {"inside",
         kInputNoWrap,
         {{0.40f, 0.30f}, {0.10f, 0.20f}, {0.35f, 0.60f}, {0.05f, 0.90f}},
         0.225f,
         0.5f,
         0.35f * k,
         -0.6f * k,
         -0.25f * k,
         -0.4f * k},
        {"inside, wrapping",
         kInputWrapHorizontal,
         {{0.40f, 0.30f}, {0.10f, 0.20f}, {0.35f, 0.60f}, {0.05f, 0.90f}},
         0.225f,
         0.5f,
         0.35f * k,
         -0.6f * k,
         -0.25f * k,
         -0.4f * k},
        {"half the width apart",
         kInputWrapHorizontal,
         {{0.75f, 0.5f}, {0.25f, 0.5f}, {0.75f, 0.6f}, {0.25f, 0.6f}},
         0.5f,
         0.55f,
         0.5f * k,
         -0.1f * k,
         -0.5f * k,
         -0.1f * k},
        {"across the u seam",
         kInputWrapHorizontal,
         {{0.02f, 0.5f}, {0.98f, 0.5f}, {0.02f, 0.6f}, {0.98f, 0.6f}},
         0.0f,
         0.55f,
         0.04f * k,
         -0.1f * k,
         -0.04f * k,
         -0.1f * k},
        {"across the u seam, not wrapping",
         kInputNoWrap,
         {{0.02f, 0.5f}, {0.98f, 0.5f}, {0.02f, 0.6f}, {0.98f, 0.6f}},
         0.5f,
         0.55f,
         -0.96f * k,
         -0.1f * k,
         0.96f * k,
         -0.1f * k},
        {"across the v seam",
         kInputWrapBoth,
         {{0.5f, 0.99f}, {0.4f, 0.99f}, {0.5f, 0.01f}, {0.4f, 0.01f}},
         0.45f,
         1.0f,
         0.1f * k,
         -0.02f * k,
         -0.1f * k,
         -0.02f * k},
        {"across the v seam, wrapping u only",
         kInputWrapHorizontal,
         {{0.5f, 0.99f}, {0.4f, 0.99f}, {0.5f, 0.01f}, {0.4f, 0.01f}},
         0.45f,
         0.5f,
         0.1f * k,
         0.98f * k,
         -0.1f * k,
         0.98f * k},
        {"a corner on the pole",
         kInputWrapHorizontal,
         {{0.5f, 0.0f}, {0.2f, 0.02f}, {0.3f, 0.02f}, {0.2f, 0.04f}},
         0.225f,
         0.02f,
         0.0f,
         -0.04f * k,
         -0.1f * k,
         0.0f},
        {"a corner at the bottom",
         kInputWrapHorizontal,
         {{0.2f, 0.96f}, {0.3f, 0.98f}, {0.2f, 0.98f}, {0.9f, 1.0f}},
         0.225f,
         0.98f,
         0.0f,
         -0.04f * k,
         0.1f * k,
         0.0f},
        {"a corner without a position",
         kInputNoWrap,
         {{0.3f, 0.4f}, {0.2f, 0.4f}, {0.3f, 0.5f}, {-1.0f, -1.0f}},
         0.275f,
         0.45f,
         0.0f,
         0.0f,
         -0.1f * k,
         -0.1f * k},
    };
    for (const Case& c : cases) {
        RenderCell cells[4];
        for (int i = 0; i < 4; ++i) {
            resetRenderCell(cells[i]);
            cells[i].inputU = c.corners[i][0], cells[i].inputV = c.corners[i][1];
        }
        const CornerMean m = cornerMean(cells[0], cells[1], cells[2], cells[3], c.wrap);
        const float got[6] = {m.u, m.v, m.diagonal.du1, m.diagonal.dv1, m.diagonal.du2, m.diagonal.dv2};
        const float want[6] = {c.u, c.v, c.du1, c.dv1, c.du2, c.dv2};
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 1e-6f) << c.name << ", value " << i;
    }
}

// Corners that sweep the input fast along u and close to its top: footprints wider than 1/32 of
// the turn near the pole, corners on the pole, pixels across the u seam.
void sweep(float a, float b, RenderCell& cell) {
    const float u = a * 3.0f + 0.02f * b;
    cell.regionTag = kTagPlainMap, cell.inputU = u - std::floor(u), cell.inputV = std::max(b * 0.5f - 0.05f, 0.0f);
}

// Corners without a position on a patch, and a tab band.
void patchy(float a, float b, RenderCell& cell) {
    cell.regionTag = a > 0.8f ? kTagFirstTab + 1 : kTagPlainMap;
    cell.inputU = a < 0.1f && b < 0.5f ? -1.0f : a, cell.inputV = a < 0.1f && b < 0.5f ? -1.0f : b;
}

// Four faces that take lookups from four places of the input, meeting at the centre of pixel (32, 8).
void fourFaces(float a, float b, RenderCell& cell) {
    const std::int32_t face = (a < 0.5f ? 0 : 1) + (b < 0.5f ? 0 : 2);
    const float u = a + 0.37f * static_cast<float>(face);
    cell.regionTag = face, cell.inputU = u - std::floor(u), cell.inputV = b * 0.5f + 0.1f * static_cast<float>(face);
}

// A tile shaded row by row colours each pixel as shading that pixel alone does, for every quality
// and wrap (the rows take a shorter path for the commonest pixels).
TEST(PipelineWork, RowsShadeEveryPixelAsThePixelAlone) {
    ImagePyramid p;
    ASSERT_TRUE(loadPyramid(p, photographicImage(64, 32), kWrapHorizontal));
    for (PositionMap map : {plain, sweep, acrossTheSeam, patchy, fourFaces, quadrants, pole}) {
        for (InputWrap wrap : {kInputNoWrap, kInputWrapHorizontal, kInputWrapBoth}) {
            for (int quality : {kQualityGood, kQualityBetter, kQualityBest}) {
                const FunctionMapping mapping(map);
                ShadingOptions o;
                o.quality = quality, o.wrap = wrap, o.centreCheck = false;
                const PipelineConfig config = makeConfig(mapping, &p, kW, kH, o);
                TileState state;
                ASSERT_TRUE(state.grid.allocate(TileRect{0, 0, kH, kW}));
                renderTile(config, state);
                for (std::int32_t y = 0; y < kH; ++y)
                    for (std::int32_t x = 0; x < kW; ++x) {
                        PixelVerdict verdict;
                        const ColorRgba alone = shadePixel(config, x, y, quality, state, &verdict);
                        const float want[4] = {alone.r, alone.g, alone.b, alone.a};
                        ASSERT_EQ(std::memcmp(state.grid.at(x, y).colour, want, sizeof want), 0)
                            << "wrap " << wrap << ", quality " << quality << " at " << x << "," << y;
                    }
            }
        }
    }
}

// The corner classes of a pixel and the means of input positions across the wrap.
TEST(PipelineHelpers, CornerClassesAndWrapMeans) {
    const int classes[][5] = {{1, 1, 1, 1, 0}, {1, 1, 2, 2, 1}, {1, 2, 1, 2, 2}, {1, 1, 1, 2, 3}, {1, 1, 2, 1, 4},
                              {1, 2, 1, 1, 5}, {2, 1, 1, 1, 6}, {1, 2, 2, 1, 7}, {1, 2, 3, 4, 7}};
    for (const auto& c : classes) EXPECT_EQ(cornerClass(c[0], c[1], c[2], c[3]), c[4]) << c[0] << c[1] << c[2] << c[3];
    // (mean of u or v, first, second, wrap) -> mean
    for (const auto& [v, a, b, wrap, mean] : {std::tuple{false, 0.95f, 0.05f, kInputWrapHorizontal, 0.0f},
                                              {false, 0.95f, 0.05f, kInputNoWrap, 0.5f},
                                              {false, 0.9f, 0.2f, kInputWrapHorizontal, 0.05f},
                                              {false, -1.0f, 0.3f, kInputWrapHorizontal, 0.3f},
                                              {false, 0.3f, -1.0f, kInputNoWrap, 0.3f},
                                              {true, 0.9f, 0.2f, kInputWrapHorizontal, 0.55f},
                                              {true, 0.9f, 0.2f, kInputWrapBoth, 1.05f}})
        EXPECT_NEAR(v ? meanInputV(a, b, wrap) : meanInputU(a, b, wrap), mean, 1e-6f)
            << v << " " << a << " " << b << " " << wrap;
    EXPECT_EQ(std::pair(inputWrapOf(1), inputWrapOf(2)), std::pair(kInputWrapHorizontal, kInputNoWrap));
}
}  // namespace
}  // namespace globaro
