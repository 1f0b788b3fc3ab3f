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
// rule) are cases of tests/data/blend_cases.txt; here the sweeps, the
// preview, the export images and the target descriptions.

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

// ---- the preview ----------------------------------------------------------------------

struct Preview {
  static constexpr int kSize = 16;
  int planes;
  std::vector<std::uint8_t> bytes;
  explicit Preview(int p) : planes(p), bytes(static_cast<std::size_t>(kSize * kSize * p), 3) {}
  std::uint8_t at(int x, int y, int plane) const {
    return bytes[static_cast<std::size_t>(plane * kSize * kSize + y * kSize + x)];
  }
  CompositeTarget target(BlendMode glue = kBlendNormal) {
    CompositeTarget t;
    t.renderTarget = kTargetPreview;
    t.glue = glue;
    const CompositeRect rect{0, 0, kSize, kSize};
    t.output = planarGrid8(bytes.data(), kSize, kSize * kSize, planes, rect);
    return t;
  }
};

TEST(CompositePreview, TransparentResultsShowTheCheckerboard) {
  Preview p(3);
  const CompositeTarget t = p.target();
  for (int y = 0; y < Preview::kSize; ++y) {
    for (int x = 0; x < Preview::kSize; ++x) composite(x, y, ColorRgba{0.0f, 0.0f, 0.0f, 0.0f}, t);
  }
  EXPECT_EQ(p.at(0, 0, 0), 255);
  EXPECT_EQ(p.at(7, 7, 1), 255);
  EXPECT_EQ(p.at(8, 0, 0), 204);
  EXPECT_EQ(p.at(0, 8, 2), 204);
  EXPECT_EQ(p.at(8, 8, 0), 255);
  EXPECT_EQ(p.at(15, 3, 0), 204);
  // Half-transparent red over a grey square (alpha 0.5035).
  composite(8, 0, ColorRgba{1.0f, 0.0f, 0.0f, 0.5f}, t);
  EXPECT_EQ(p.at(8, 0, 0), 229);  // 0.8 + 0.2 x 0.5035
  EXPECT_EQ(p.at(8, 0, 1), 101);  // 0.8 x 0.4965
  EXPECT_EQ(checkerboardSquare(3, 12).r, 0.8f);
  EXPECT_EQ(checkerboardSquare(12, 12).r, 1.0f);
}

TEST(CompositePreview, GreyPreviewAndClampedPositions) {
  Preview p(1);
  const CompositeTarget t = p.target();
  composite(40, 3, ColorRgba{0.0f, 1.0f, 0.0f, 1.0f}, t);  // clamped to column 15
  EXPECT_EQ(p.at(15, 3, 0), 150);                           // 0.59 x 255 = 150.45
  composite(-4, -9, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
  EXPECT_EQ(p.at(0, 0, 0), 255);
}

TEST(CompositePreview, PartialSelectionMixesWithTheSquare) {
  Preview p(3);
  CompositeTarget t = p.target();
  std::uint8_t mask[256];
  std::memset(mask, 0, sizeof mask);
  t.mask = MaskGrid{mask, 16, CompositeRect{0, 0, 16, 16}};
  composite(8, 0, ColorRgba{0.0f, 0.0f, 0.0f, 1.0f}, t);
  EXPECT_EQ(p.at(8, 0, 0), 204);  // unselected: the square itself
}

TEST(CompositePreview, BlendReadsTheImageShownInThePreview) {
  Preview p(3);
  CompositeTarget t = p.target(9);
  std::vector<std::uint8_t> source(16 * 16 * 3, 128);
  t.destination = planarGrid8(source.data(), 16, 256, 3, CompositeRect{0, 0, 16, 16});
  composite(2, 2, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
  EXPECT_EQ(p.at(2, 2, 0), 127);  // 128/255 through 15 bits
}

// ---- export images ---------------------------------------------------------------------

TEST(CompositeExport, PackedEightBitWords) {
  std::vector<std::uint32_t> words(16, 0);
  CompositeTarget t;
  t.renderTarget = kTargetExportImage;
  t.output = packedRgba8Grid(words.data(), 16, kTile);
  t.destination = t.output;
  composite(1, 0, ColorRgba{1.0f, 0.5f, 0.25f, 1.0f}, t);
  EXPECT_EQ(words[1], 0xFF7F3FFFu);
  // Transparent results stay transparent in an export image.
  composite(2, 0, ColorRgba{1.0f, 0.0f, 0.0f, 0.0f}, t);
  EXPECT_EQ(words[2], 0xFF000000u);
  // The blend reads the export image itself.
  words[3] = 0x80808080u;
  t.glue = 9;
  composite(3, 0, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
  EXPECT_EQ(words[3] >> 24, 127u);
}

TEST(CompositeExport, SixteenBitAndFloatRgba) {
  Tile<std::uint16_t> img(4, 16384);
  CompositeTarget t;
  t.renderTarget = kTargetExportImage;
  t.glue = 9;
  t.output = img.grid(16, false, 3);
  t.destination = t.output;
  composite(0, 0, ColorRgba{1.0f, 0.5f, 0.25f, 1.0f}, t);
  EXPECT_EQ(img.at(0, 0, 0), 16384);  // 1.0 x the image's 0.5
  EXPECT_EQ(img.at(0, 0, 1), 8192);
  EXPECT_EQ(img.at(0, 0, 3), 32768);
  Tile<float> imgF(4, 0.5f);
  t.output = imgF.grid(32, false, 3);
  t.destination = t.output;
  composite(0, 0, ColorRgba{1.0f, 0.5f, 0.25f, 0.5f}, t);
  EXPECT_EQ(imgF.at(0, 0, 0), 1.0f);
  EXPECT_EQ(imgF.at(0, 0, 3), 0.5f);
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
  EXPECT_EQ(interleavedGrid(bytes, 12, 2, 8, false, -1, kTile).origin, nullptr);  // RGB needs 3 planes
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

TEST(CompositeTargets, OverRule) {
  ColorRgba b{0.0f, 0.0f, 1.0f, 1.0f};
  compositeOver(ColorRgba{1.0f, 0.0f, 0.0f, 0.25f}, b);
  EXPECT_FLOAT_EQ(b.r, 0.25f);
  EXPECT_FLOAT_EQ(b.b, 0.75f);
  EXPECT_FLOAT_EQ(b.a, 1.0f);
  ColorRgba clear{0.2f, 0.2f, 0.2f, 0.0f};
  compositeOver(ColorRgba{1.0f, 0.0f, 0.0f, 0.5f}, clear);
  EXPECT_FLOAT_EQ(clear.r, 1.0f);  // over nothing: the colour itself
  EXPECT_FLOAT_EQ(clear.a, 0.5f);
  ColorRgba same{0.3f, 0.3f, 0.3f, 0.7f};
  compositeOver(ColorRgba{1.0f, 1.0f, 1.0f, 0.0f}, same);
  EXPECT_FLOAT_EQ(same.r, 0.3f);
  EXPECT_FLOAT_EQ(same.a, 0.7f);
}

}  // namespace
}  // namespace globaro
