#include "render/composite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace globaro {
namespace {

constexpr CompositeRect kTile{0, 0, 4, 4};  // top, left, bottom, right

// An interleaved in-memory tile of 4 x 4 pixels with `planes` samples each.
template <typename Sample>
struct Tile {
    int planes;
    std::vector<Sample> samples;
    explicit Tile(int p, Sample fill = Sample{}) : planes(p), samples(static_cast<std::size_t>(16 * p), fill) {}
    Sample& at(int x, int y, int plane) { return samples[static_cast<std::size_t>((y * 4 + x) * planes + plane)]; }
    void set(int x, int y, std::initializer_list<Sample> values) {
        int p = 0;
        for (Sample v : values) at(x, y, p++) = v;
    }
    PixelGrid grid(int depth, bool grey, int alphaPlane) {
        return interleavedGrid(samples.data(), static_cast<std::ptrdiff_t>(4 * planes * sizeof(Sample)), planes, depth,
                               grey, alphaPlane, kTile);
    }
};

// A host-image target writing into `out` and reading the pixel already there
// from `in`.
template <typename Sample>
CompositeTarget hostTarget(Tile<Sample>& in, Tile<Sample>& out, int depth, bool grey, int alphaPlane,
                           BlendMode glue = kBlendNormal) {
    CompositeTarget t;
    t.renderTarget = kTargetHostImage;
    t.glue = glue;
    t.destination = in.grid(depth, grey, alphaPlane);
    t.output = out.grid(depth, grey, alphaPlane);
    return t;
}

void composite(int x, int y, ColorRgba c, const CompositeTarget& t) { compositePixel(x, y, c, t); }

// The per-pixel rules (conditioning, spill, grey, masks, modes, the over
// rule) and every target kind (host, preview, export) are cases of
// tests/data/blend_cases.txt; here the sweeps and the target descriptions.

TEST(CompositeMask, UnselectedPixelsKeepEveryValue) {
    std::uint8_t mask[16] = {};
    for (int v = 0; v <= 255; ++v) {
        Tile<std::uint8_t> in(4, static_cast<std::uint8_t>(v)), out(4);
        CompositeTarget t = hostTarget(in, out, 8, false, 3, 12);
        t.mask = MaskGrid{mask, 4, kTile};
        composite(1, 1, ColorRgba{0.9f, 0.1f, 0.4f, 1.0f}, t);
        ASSERT_EQ(out.at(1, 1, 0), v);
        ASSERT_EQ(out.at(1, 1, 3), v);
    }
    for (int v = 0; v <= 32768; v += 7) {
        Tile<std::uint16_t> in(3, static_cast<std::uint16_t>(v)), out(3);
        CompositeTarget t = hostTarget(in, out, 16, false, -1, 12);
        t.mask = MaskGrid{mask, 4, kTile};
        composite(1, 1, ColorRgba{0.9f, 0.1f, 0.4f, 1.0f}, t);
        ASSERT_EQ(out.at(1, 1, 2), v);
    }
}

// ---- positions and descriptions -------------------------------------------------------------

TEST(CompositeTargets, OriginAndTileBounds) {
    Tile<std::uint8_t> in(3), out(3, 9);
    CompositeTarget t = hostTarget(in, out, 8, false, -1);
    t.output.rect = t.destination.rect = CompositeRect{100, 200, 104, 204};
    t.originX = 200;
    t.originY = 100;
    composite(1, 2, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    EXPECT_EQ(out.at(1, 2, 0), 255);
    // Outside the tile nothing is written.
    composite(4, 0, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    composite(-1, 0, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    composite(0, 9, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    int changed = 0;
    for (std::uint8_t v : out.samples) changed += v != 9;
    EXPECT_EQ(changed, 3);
}

TEST(CompositeTargets, InvalidDescriptionsAreAbsentGrids) {
    std::uint8_t bytes[64] = {};
    EXPECT_EQ(interleavedGrid(bytes, 12, 2, 8, false, -1, kTile).origin, nullptr);   // RGB needs 3 planes
    EXPECT_EQ(interleavedGrid(bytes, 12, 3, 12, false, -1, kTile).origin, nullptr);  // no such depth
    EXPECT_EQ(interleavedGrid(bytes, 16, 4, 8, false, 1, kTile).origin, nullptr);    // alpha on a colour plane
    EXPECT_EQ(interleavedGrid(bytes, 16, 4, 8, false, 4, kTile).origin, nullptr);    // alpha past the planes
    EXPECT_EQ(interleavedGrid(nullptr, 16, 4, 8, false, 3, kTile).origin, nullptr);
    EXPECT_EQ(interleavedGrid(bytes, 16, 4, 8, false, 3, CompositeRect{4, 0, 0, 4}).origin, nullptr);
    EXPECT_EQ(planarGrid8(bytes, 4, 16, 0, kTile).origin, nullptr);
    EXPECT_NE(interleavedGrid(bytes, 8, 2, 8, true, 1, kTile).origin, nullptr);
    // Compositing into an absent target writes nothing and reads zeros.
    CompositeTarget t;
    t.glue = 9;
    ColorRgba c{1.0f, 1.0f, 1.0f, 0.5f};
    compositePixel(0, 0, c, t);
    const ColorRgba d = readGridPixel(t.destination, 0, 0);
    EXPECT_EQ(d.r, 0.0f);
    EXPECT_EQ(d.a, 0.0f);
}

}  // namespace
}  // namespace globaro
