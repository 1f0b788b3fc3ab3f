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

// ---- conditioning -------------------------------------------------------------

TEST(CompositeConditioning, NearlyOpaqueBecomesOpaqueOnIntegerTargets) {
  {
    Tile<std::uint8_t> in(4), out(4);
    composite(1, 2, ColorRgba{0.2f, 0.4f, 0.6f, 0.995f}, hostTarget(in, out, 8, false, 3));
    EXPECT_EQ(out.at(1, 2, 0), 51);
    EXPECT_EQ(out.at(1, 2, 1), 102);
    EXPECT_EQ(out.at(1, 2, 2), 153);
    EXPECT_EQ(out.at(1, 2, 3), 255);
  }
  {
    Tile<std::uint16_t> in(4), out(4);
    composite(0, 0, ColorRgba{0.5f, 0.25f, 1.0f, 0.995f}, hostTarget(in, out, 16, false, 3));
    EXPECT_EQ(out.at(0, 0, 0), 16384);
    EXPECT_EQ(out.at(0, 0, 1), 8192);
    EXPECT_EQ(out.at(0, 0, 2), 32768);
    EXPECT_EQ(out.at(0, 0, 3), 32768);
  }
  {
    // Float targets keep the rendered alpha.
    Tile<float> in(4), out(4);
    composite(3, 3, ColorRgba{0.5f, 0.25f, 1.0f, 0.995f}, hostTarget(in, out, 32, false, 3));
    EXPECT_EQ(out.at(3, 3, 3), 0.995f);
    EXPECT_EQ(out.at(3, 3, 0), 0.5f);
  }
}

TEST(CompositeConditioning, HighlightSpillExample) {
  {
    Tile<std::uint8_t> in(3), out(3);
    ColorRgba c{1.4f, 0.5f, 0.5f, 1.0f};
    compositePixel(0, 0, c, hostTarget(in, out, 8, false, -1));
    // Conditioned in place before blending...
    EXPECT_FLOAT_EQ(c.r, 1.4f);
    EXPECT_FLOAT_EQ(c.g, 0.546875f);
    EXPECT_FLOAT_EQ(c.b, 0.546875f);
    // ...and lowered to 1 at the end: 0.546875 x 255 = 139.45.
    EXPECT_EQ(out.at(0, 0, 0), 255);
    EXPECT_EQ(out.at(0, 0, 1), 139);
    EXPECT_EQ(out.at(0, 0, 2), 139);
  }
  {
    Tile<std::uint16_t> in(3), out(3);
    composite(0, 0, ColorRgba{1.4f, 0.5f, 0.5f, 1.0f}, hostTarget(in, out, 16, false, -1));
    EXPECT_EQ(out.at(0, 0, 0), 32768);
    EXPECT_EQ(out.at(0, 0, 1), 17920);  // 0.546875 x 32768
    EXPECT_EQ(out.at(0, 0, 2), 17920);
  }
  {
    // No spill and no cap at 1 for float targets.
    Tile<float> in(3), out(3);
    composite(0, 0, ColorRgba{1.4f, 0.5f, 0.5f, 1.0f}, hostTarget(in, out, 32, false, -1));
    EXPECT_EQ(out.at(0, 0, 0), 1.4f);
    EXPECT_EQ(out.at(0, 0, 1), 0.5f);
  }
}

TEST(CompositeConditioning, SpillBranches) {
  Tile<std::uint16_t> in(3), out(3);
  const CompositeTarget t = hostTarget(in, out, 16, false, -1);
  // Green only: e = 0.2, h = 0.0234375 to red and blue.
  composite(0, 0, ColorRgba{0.5f, 1.2f, 0.5f, 1.0f}, t);
  EXPECT_EQ(out.at(0, 0, 0), 17152);
  EXPECT_EQ(out.at(0, 0, 2), 17152);
  // Blue only: to red and green.
  composite(1, 0, ColorRgba{0.25f, 0.5f, 1.2f, 1.0f}, t);
  EXPECT_EQ(out.at(1, 0, 0), 8960);  // 0.2734375
  EXPECT_EQ(out.at(1, 0, 1), 17152);
  // Red and green: all of q = 0.09375 to blue.
  composite(2, 0, ColorRgba{1.2f, 1.2f, 0.25f, 1.0f}, t);
  EXPECT_EQ(out.at(2, 0, 2), 11264);  // 0.34375
  // Red only with green pushed above 1: the overflow goes on to blue.
  composite(3, 0, ColorRgba{2.0f, 0.9375f, 0.5f, 1.0f}, t);
  // h = 0.1171875: green 1.0546875, blue 0.6171875 + 0.0546875 = 0.671875.
  EXPECT_EQ(out.at(3, 0, 1), 32768);
  EXPECT_EQ(out.at(3, 0, 2), 22016);
  // All three above 1: nothing moves, everything ends at 1.
  composite(0, 1, ColorRgba{1.5f, 1.1f, 1.2f, 1.0f}, t);
  EXPECT_EQ(out.at(0, 1, 0), 32768);
  EXPECT_EQ(out.at(0, 1, 2), 32768);
}

TEST(CompositeConditioning, GreyTargetsTakeTheLuminance) {
  Tile<std::uint8_t> in8(1), out8(1);
  composite(0, 0, ColorRgba{1.0f, 0.0f, 0.0f, 1.0f}, hostTarget(in8, out8, 8, true, -1));
  EXPECT_EQ(out8.at(0, 0, 0), 76);  // 0.3 x 255 = 76.5
  Tile<float> inf(2), outf(2);
  composite(0, 0, ColorRgba{0.0f, 1.0f, 0.0f, 0.5f}, hostTarget(inf, outf, 32, true, 1));
  EXPECT_FLOAT_EQ(outf.at(0, 0, 0), 0.59f);
  EXPECT_FLOAT_EQ(outf.at(0, 0, 1), 0.5f);
  Tile<std::uint16_t> in16(2), out16(2);
  composite(0, 0, ColorRgba{0.0f, 0.0f, 1.0f, 1.0f}, hostTarget(in16, out16, 16, true, 1));
  EXPECT_EQ(out16.at(0, 0, 0), 3604);  // 0.11 x 32768 = 3604.48
  EXPECT_EQ(out16.at(0, 0, 1), 32768);
}

TEST(CompositeConditioning, NegativeAndInvalidValues) {
  Tile<std::uint8_t> in(4), out(4, 77);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  composite(0, 0, ColorRgba{-0.5f, nan, 0.5f, nan}, hostTarget(in, out, 8, false, 3));
  EXPECT_EQ(out.at(0, 0, 0), 0);
  EXPECT_EQ(out.at(0, 0, 1), 0);
  EXPECT_EQ(out.at(0, 0, 2), 127);
  EXPECT_EQ(out.at(0, 0, 3), 0);  // alpha not a number: transparent
}

// ---- selection mask --------------------------------------------------------------

TEST(CompositeMask, HalfSelectedPixelsMixWithThePixelThere) {
  std::uint8_t mask[16];
  std::memset(mask, 255, sizeof mask);
  mask[1 * 4 + 2] = 128;  // (2, 1)
  mask[0] = 0;
  {
    Tile<std::uint8_t> in(3, 100), out(3);
    CompositeTarget t = hostTarget(in, out, 8, false, -1);
    t.mask = MaskGrid{mask, 4, kTile};
    composite(2, 1, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    EXPECT_EQ(out.at(2, 1, 0), 177);  // 100 + 155 x 128 / 255 = 177.8
    composite(0, 0, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    EXPECT_EQ(out.at(0, 0, 0), 100);  // unselected: the pixel already there
    composite(3, 3, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    EXPECT_EQ(out.at(3, 3, 0), 255);  // fully selected
    // Outside the mask's rectangle nothing is selected.
    t.mask.rect = CompositeRect{0, 0, 2, 2};
    composite(3, 3, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    EXPECT_EQ(out.at(3, 3, 0), 100);
  }
  {
    Tile<std::uint16_t> in(4, 10000), out(4);
    in.at(2, 1, 3) = 32768;
    CompositeTarget t = hostTarget(in, out, 16, false, 3);
    t.mask = MaskGrid{mask, 4, kTile};
    composite(2, 1, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    EXPECT_NEAR(out.at(2, 1, 0), 21428, 1);  // 10000 + 22768 x 128 / 255
    EXPECT_EQ(out.at(2, 1, 3), 32768);
  }
  {
    // A mask applied by the host itself is left out (null): full coverage.
    Tile<float> in(3, 0.25f), out(3);
    CompositeTarget t = hostTarget(in, out, 32, false, -1);
    composite(2, 1, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    EXPECT_EQ(out.at(2, 1, 0), 1.0f);
    t.mask = MaskGrid{mask, 4, kTile};
    composite(2, 1, ColorRgba{1.0f, 1.0f, 1.0f, 1.0f}, t);
    EXPECT_NEAR(out.at(2, 1, 0), 0.25f + 0.75f * 128.0f / 255.0f, 1e-6f);
  }
}

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

// ---- blending and the over rule ----------------------------------------------------

TEST(CompositeBlend, ModesBlendWithThePixelThere) {
  Tile<std::uint16_t> in(3, 16384), out(3);
  composite(0, 0, ColorRgba{1.0f, 0.5f, 0.25f, 1.0f}, hostTarget(in, out, 16, false, -1, 9));
  EXPECT_EQ(out.at(0, 0, 0), 16384);
  EXPECT_EQ(out.at(0, 0, 1), 8192);
  EXPECT_EQ(out.at(0, 0, 2), 4096);
  Tile<std::uint8_t> in8(1, 51), out8(1);
  composite(0, 0, ColorRgba{0.8f, 0.8f, 0.8f, 1.0f}, hostTarget(in8, out8, 8, true, -1, 26));
  EXPECT_EQ(out8.at(0, 0, 0), 153);  // |26214 - 6553| = 19661 in 15 bits, x 255 = 153.0
}

TEST(CompositeBlend, FloatTargetsIgnoreTheMode) {
  Tile<float> in(4, 0.5f), out(4);
  for (BlendMode mode : {9, 26, 63, 69}) {
    composite(1, 1, ColorRgba{0.8f, 0.3f, 2.5f, 1.0f}, hostTarget(in, out, 32, false, 3, mode));
    EXPECT_EQ(out.at(1, 1, 0), 0.8f) << mode;
    EXPECT_EQ(out.at(1, 1, 1), 0.3f) << mode;
    EXPECT_EQ(out.at(1, 1, 2), 2.5f) << mode;
    EXPECT_EQ(out.at(1, 1, 3), 1.0f) << mode;
  }
  composite(1, 1, ColorRgba{70000.0f, 0.0f, 0.0f, 1.0f}, hostTarget(in, out, 32, false, 3, 9));
  EXPECT_EQ(out.at(1, 1, 0), 65535.0f);
}

TEST(CompositeBlend, OverRuleWithoutTransparencyPlane) {
  // 8-bit RGB, no transparency: half-transparent red over blue.
  Tile<std::uint8_t> in(3), out(3);
  in.set(0, 0, {0, 0, 255});
  composite(0, 0, ColorRgba{1.0f, 0.0f, 0.0f, 0.5f}, hostTarget(in, out, 8, false, -1));
  // alpha 0.5 x 1.007 = 0.5035.
  EXPECT_EQ(out.at(0, 0, 0), 128);
  EXPECT_EQ(out.at(0, 0, 1), 0);
  EXPECT_EQ(out.at(0, 0, 2), 126);
  // With a transparency plane the result is stored with its alpha instead.
  Tile<std::uint8_t> inA(4), outA(4);
  inA.set(0, 0, {0, 0, 255, 255});
  composite(0, 0, ColorRgba{1.0f, 0.0f, 0.0f, 0.5f}, hostTarget(inA, outA, 8, false, 3));
  EXPECT_EQ(outA.at(0, 0, 0), 255);
  EXPECT_EQ(outA.at(0, 0, 2), 0);
  EXPECT_EQ(outA.at(0, 0, 3), 128);
  // Grey 16-bit without transparency: a transparent result keeps the pixel.
  Tile<std::uint16_t> inG(1, 12345), outG(1);
  composite(0, 0, ColorRgba{1.0f, 1.0f, 1.0f, 0.0f}, hostTarget(inG, outG, 16, true, -1));
  EXPECT_EQ(outG.at(0, 0, 0), 12345);
  // So does a float image (outside a projection's outline, say), and half
  // transparency mixes with it; the mode is still ignored.
  Tile<float> inF(3, 0.25f), outF(3);
  composite(0, 0, ColorRgba{1.0f, 1.0f, 1.0f, 0.0f}, hostTarget(inF, outF, 32, false, -1, 9));
  EXPECT_EQ(outF.at(0, 0, 0), 0.25f);
  composite(0, 0, ColorRgba{1.0f, 1.0f, 1.0f, 0.5f}, hostTarget(inF, outF, 32, false, -1, 9));
  EXPECT_FLOAT_EQ(outF.at(0, 0, 1), 0.625f);
}

TEST(CompositeBlend, StarbrightBlackBecomesTransparent) {
  Tile<std::uint8_t> in(3, 90), out(3);
  composite(0, 0, ColorRgba{0.0f, 0.0f, 0.0f, 1.0f}, hostTarget(in, out, 8, false, -1, 63));
  EXPECT_EQ(out.at(0, 0, 0), 90);  // over the pixel there: unchanged
  Tile<std::uint8_t> inA(4, 90), outA(4, 7);
  composite(0, 0, ColorRgba{0.0f, 0.0f, 0.0f, 1.0f}, hostTarget(inA, outA, 8, false, 3, 63));
  EXPECT_EQ(outA.at(0, 0, 3), 0);
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
