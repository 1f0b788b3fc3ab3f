#include "render/blend_modes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "render/blend_hsl.h"
#include "render/opponent_space.h"

namespace globaro {
namespace {

constexpr int ONE = kBlendOne;
constexpr int HALF = kBlendHalf;

struct Fixed3 {
  int r, g, b;
};

ColorRgba fromFixed(Fixed3 c, float alpha = 1.0f) {
  return ColorRgba{c.r / 32768.0f, c.g / 32768.0f, c.b / 32768.0f, alpha};
}

// Result channels as 15-bit values (every result is a multiple of 1/32768).
Fixed3 toFixed(const ColorRgba& c) {
  return Fixed3{static_cast<int>(std::lround(c.r * 32768.0f)), static_cast<int>(std::lround(c.g * 32768.0f)),
                static_cast<int>(std::lround(c.b * 32768.0f))};
}

Fixed3 blend(BlendMode mode, Fixed3 s, Fixed3 d) {
  ColorRgba out;
  blendPixel(fromFixed(s), fromFixed(d), out, mode);
  return toFixed(out);
}

// One channel value with grey inputs.
int blend1(BlendMode mode, int s, int d) { return blend(mode, Fixed3{s, s, s}, Fixed3{d, d, d}).g; }

struct Point {
  BlendMode mode;
  int s;
  int d;
  int expected;
};

// Hand-computed values of every per-channel rule at its interesting points
// (0, HALF, ONE and both sides of its branches).
const Point kChannelPoints[] = {
    // 2 procedural +
    {2, 12345, 0, 0}, {2, ONE, HALF, 24576}, {2, 0, 8192, 6144}, {2, 0, ONE, ONE},
    // 3 procedural -
    {3, HALF, HALF, 24576}, {3, ONE, ONE, ONE}, {3, 0, ONE, 0},
    // 4 difference, 14 exclusion
    {4, ONE, 0, ONE}, {4, HALF, HALF, HALF}, {4, ONE, ONE, 0},
    {14, 0, ONE, ONE}, {14, HALF, HALF, HALF}, {14, 0, 0, 0},
    // 5 lighten, 6 darken
    {5, 1000, 2000, 2000}, {5, 3000, 2000, 3000}, {6, 1000, 2000, 1000}, {6, 3000, 2000, 2000},
    // 7 add, 8 subtract
    {7, 20000, 20000, ONE}, {7, 1000, 2000, 3000}, {8, 1000, 2000, 0}, {8, 3000, 1000, 2000},
    // 9 multiply, 10 screen
    {9, HALF, HALF, 8192}, {9, ONE, 12345, 12345}, {10, HALF, HALF, 24576}, {10, 0, 12345, 12345},
    // 11 hard light (source decides), 12 overlay (destination decides)
    {11, HALF, HALF, HALF}, {11, 8192, HALF, 8192}, {11, ONE, 0, ONE}, {11, 0, ONE, 0},
    {12, 8192, HALF, 8192}, {12, HALF, 8192, 8192}, {12, 0, ONE, ONE}, {12, ONE, 0, 0},
    // 13 superlay
    {13, 0, 0, 0}, {13, ONE, ONE, ONE}, {13, HALF, HALF, 26880}, {13, 24576, 24576, 32719},
    // 17 linear light
    {17, HALF, 12345, 12345}, {17, ONE, HALF, ONE}, {17, 0, HALF, 0}, {17, 20000, 1000, 8232},
    // 18 pin light, 19 spin light
    {18, 8192, 30000, 16384}, {18, 8192, 1000, 1000}, {18, 24576, 1000, 16384}, {18, 24576, 30000, 30000},
    {19, 30000, 8192, 16384}, {19, 1000, 8192, 1000}, {19, 1000, 24576, 16384}, {19, 30000, 24576, 30000},
    // 20 vivid a (8-bit rule)
    {20, 0, 0, 0}, {20, ONE, 0, 0}, {20, ONE, HALF, ONE}, {20, HALF, HALF, 16448}, {20, 8192, HALF, 385},
    // 21 vivid b
    {21, HALF, HALF, HALF}, {21, ONE, 0, ONE}, {21, 0, HALF, 0}, {21, 20000, 10000, 30000},
    // 24 similarity
    {24, HALF, HALF, ONE}, {24, 0, 0, 0}, {24, ONE, ONE, 0}, {24, 10000, 5000, 15000},
    // 25 cross
    {25, HALF, HALF, ONE}, {25, 0, HALF, 0}, {25, 0, ONE, ONE}, {25, 24576, HALF, 24576},
    // 26 hard diff
    {26, 1000, 5000, 4000}, {26, 5000, 1000, 4000}, {26, ONE, 0, ONE},
    // 27 soft light: both branches
    {27, 0, HALF, 8192}, {27, 8192, HALF, 12288}, {27, HALF, HALF, 16256}, {27, ONE, 0, 128},
    {27, ONE, ONE, ONE},
    // 30 dodge, 31 burn
    {30, ONE, 0, ONE}, {30, HALF, 8192, HALF}, {30, HALF, HALF, ONE}, {30, 0, 12345, 12345},
    {31, 0, 12345, 0}, {31, 0, ONE, ONE}, {31, ONE, HALF, 16385}, {31, HALF, HALF, 2},
    // 32 ace, 33 king, 34 queen, 35 jack
    {32, HALF, 0, 8192}, {32, HALF, ONE, 24576}, {33, HALF, HALF, HALF}, {33, 0, HALF, 8192},
    {33, ONE, ONE, ONE}, {34, HALF, 0, 8192}, {34, ONE, ONE, ONE}, {35, HALF, HALF, HALF},
    {35, ONE, 0, ONE}, {35, 0, HALF, 8192},
    // 36 and, 37 or, 38 xor
    {36, 0x5555, 0x3333, 0x1111}, {37, 0x5555, 0x3333, 0x7777}, {38, 0x5555, 0x3333, 0x6666},
    // 39 multibright
    {39, ONE, ONE, ONE}, {39, HALF, HALF, 14336}, {39, 0, ONE, 0},
    // 40 hot, 41 cold
    {40, HALF, HALF, HALF}, {40, 0, 0, 0}, {40, ONE, ONE, ONE}, {40, 8192, 24576, 24576},
    {40, 24576, 8192, 8192}, {41, 8192, 24576, 8192}, {41, 24576, 8192, 24576}, {41, HALF, HALF, HALF},
    // 42 wet, 43 dry
    {42, HALF, HALF, HALF}, {42, 8192, 24576, 28672}, {42, 24576, 8192, 4096},
    {43, 8192, 24576, 24576}, {43, 24576, 8192, 8192},
    // 44 up, 45 down
    {44, 8192, 24576, 20480}, {44, 24576, 8192, 12288}, {45, 8192, 24576, 12288}, {45, 24576, 8192, 20480},
    // 52 hard mix
    {52, HALF, HALF, 0}, {52, HALF, HALF + 1, ONE}, {52, 0, 0, 0},
    // 58 dextrous
    {58, HALF, 8192, 8192}, {58, 8192, HALF, 24576}, {58, 0, 0, ONE}, {58, HALF, HALF, HALF},
    // 62 screendim
    {62, 0, 0, 0}, {62, HALF, HALF, 18432}, {62, ONE, 12345, ONE},
    // 64 glow, 65 reflect, 66 shimmer, 67 lustre
    {64, HALF, HALF, HALF}, {64, 12345, ONE, ONE}, {64, ONE, 0, ONE}, {64, HALF, 0, 8192},
    {65, HALF, HALF, HALF}, {65, ONE, 12345, ONE}, {65, 0, ONE, ONE}, {65, 0, HALF, 8192},
    {66, HALF, HALF, 8192}, {66, ONE, HALF, 24576}, {66, 12345, ONE, ONE},
    {67, HALF, HALF, 8192}, {67, HALF, ONE, 24576}, {67, ONE, 12345, ONE},
    // 68 negation, 69 contrast negate
    {68, HALF, HALF, ONE}, {68, ONE, ONE, 0}, {68, 24576, HALF, 24576}, {68, 1000, 2000, 3000},
    {69, 8192, 8192, 24576}, {69, 8192, 24576, 8192}, {69, 24576, 8192, 24576}, {69, HALF, HALF, HALF},
};

TEST(BlendModeRules, HandComputedChannelValues) {
  for (const Point& p : kChannelPoints) {
    EXPECT_EQ(blend1(p.mode, p.s, p.d), p.expected)
        << "mode " << p.mode << " (" << blendModeName(p.mode) << ") s=" << p.s << " d=" << p.d;
  }
}

TEST(BlendModeRules, LumaPicksWholePixels) {
  const Fixed3 red{ONE, 0, 0};
  const Fixed3 darkGreen{0, HALF, 0};
  const Fixed3 green{0, ONE, 0};
  // luma(red) = 77 ONE beats luma(dark green) = 150 HALF, loses to green.
  EXPECT_EQ(blend(28, red, darkGreen).r, ONE);
  EXPECT_EQ(blend(28, red, green).g, ONE);
  EXPECT_EQ(blend(28, red, green).r, 0);
  EXPECT_EQ(blend(29, red, darkGreen).g, HALF);
  EXPECT_EQ(blend(29, red, green).r, ONE);
}

TEST(BlendModeRules, CrossChannelModes) {
  const Fixed3 s{ONE, 0, HALF};
  const Fixed3 d{HALF, HALF, HALF};
  Fixed3 r = blend(48, s, d);
  EXPECT_EQ(r.r, ONE);
  EXPECT_EQ(r.g, 8192);
  EXPECT_EQ(r.b, HALF);
  r = blend(49, s, d);
  EXPECT_EQ(r.r, 24576);
  EXPECT_EQ(r.g, HALF);
  EXPECT_EQ(r.b, HALF);
  const Fixed3 d2{HALF, ONE, 0};
  r = blend(50, s, d2);
  EXPECT_EQ(r.r, HALF);
  EXPECT_EQ(r.g, 0);
  EXPECT_EQ(r.b, 8192);
  r = blend(51, s, d2);
  EXPECT_EQ(r.r, ONE);
  EXPECT_EQ(r.g, HALF);
  EXPECT_EQ(r.b, 0);
}

TEST(BlendModeRules, HslModes) {
  const Fixed3 red{ONE, 0, 0};
  const Fixed3 white{ONE, ONE, ONE};
  const Fixed3 greyHalf{HALF, HALF, HALF};
  // 15 "color": red's hue and saturation at the luma of white (32640):
  // n = 0.28, l = 0.99728733, m1 = 0.99457465.
  Fixed3 r = blend(15, red, white);
  EXPECT_NEAR(r.r, ONE, 2);
  EXPECT_NEAR(r.g, 32590, 2);
  EXPECT_NEAR(r.b, 32590, 2);
  // A grey source keeps the destination's luma as a grey.
  r = blend(15, greyHalf, greyHalf);
  EXPECT_NEAR(r.r, 16320, 1);
  EXPECT_EQ(r.r, r.g);
  EXPECT_EQ(r.g, r.b);
  // 16 "luminance": green's hue at white's luma (n = 0.52).
  r = blend(16, white, Fixed3{0, ONE, 0});
  EXPECT_NEAR(r.r, 32501, 2);
  EXPECT_EQ(r.g, ONE);
  // 22 "saturation": a grey source takes the colour out.
  r = blend(22, greyHalf, red);
  EXPECT_NEAR(r.r, 9856, 1);
  EXPECT_NEAR(r.g, 9856, 1);
  // 23 "hue": a grey destination has no saturation to give.
  r = blend(23, red, greyHalf);
  EXPECT_NEAR(r.r, 16320, 1);
  EXPECT_NEAR(r.b, 16320, 1);
  // 46 "wax": fully saturated mid source wins, grey source leaves d.
  EXPECT_EQ(blend(46, red, greyHalf).r, ONE);
  EXPECT_EQ(blend(46, red, greyHalf).g, 0);
  EXPECT_EQ(blend(46, greyHalf, Fixed3{1000, 2000, 3000}).b, 3000);
  // 47 "wane": the opposite weights.
  EXPECT_EQ(blend(47, red, greyHalf).g, HALF);
  EXPECT_EQ(blend(47, greyHalf, Fixed3{0, 0, 0}).r, HALF);
  EXPECT_EQ(blend(47, Fixed3{8192, 8192, 8192}, Fixed3{0, 0, 0}).r, 7680);
  // 53 "frontal": greys keep the darker grey; saturated mid tones take d's chroma.
  EXPECT_EQ(blend1(53, HALF, 8192), 8192);
  r = blend(53, red, Fixed3{0, 0, ONE});
  EXPECT_NEAR(r.r, 0, 3);
  EXPECT_NEAR(r.g, 0, 3);
  EXPECT_NEAR(r.b, ONE, 3);
  // 59 "sinister": grey source 0.5 over luma 8160: 8160 / (2 x 16384) ... = 0.2490234.
  EXPECT_NEAR(blend1(59, HALF, 8192), 8160, 1);
  // 60 "anterior", 61 "posterior".
  EXPECT_NEAR(blend1(60, HALF, HALF), 14336, 1);
  EXPECT_NEAR(blend1(60, ONE, HALF), ONE, 1);
  EXPECT_NEAR(blend1(61, HALF, ONE), ONE, 1);
  EXPECT_NEAR(blend1(61, ONE, HALF), 24576, 1);
}

TEST(BlendModeRules, ColorAndLuminanceAreMirrors) {
  const Fixed3 samples[] = {{ONE, 0, 0}, {1000, 20000, 30000}, {HALF, HALF, HALF}, {32000, 31000, 5}, {0, 0, 0}};
  for (const Fixed3& a : samples) {
    for (const Fixed3& b : samples) {
      const Fixed3 x = blend(15, a, b);
      const Fixed3 y = blend(16, b, a);
      EXPECT_EQ(x.r, y.r);
      EXPECT_EQ(x.g, y.g);
      EXPECT_EQ(x.b, y.b);
    }
  }
}

TEST(BlendModeRules, Starbright) {
  ColorRgba out;
  blendPixel(ColorRgba{0.5f, 0.25f, 0.0f, 1.0f}, ColorRgba{0.3f, 0.3f, 0.3f, 1.0f}, out, 63);
  EXPECT_FLOAT_EQ(out.r, 1.0f);
  EXPECT_FLOAT_EQ(out.g, 0.5f);
  EXPECT_FLOAT_EQ(out.b, 0.0f);
  EXPECT_FLOAT_EQ(out.a, 0.5f);
  // Black source pixels become fully transparent.
  blendPixel(ColorRgba{0.0f, 0.0f, 0.0f, 1.0f}, ColorRgba{0.3f, 0.3f, 0.3f, 1.0f}, out, 63);
  EXPECT_EQ(out.r, 0.0f);
  EXPECT_EQ(out.a, 0.0f);
  // Bright sources stay opaque.
  blendPixel(ColorRgba{1.0f, 0.2f, 0.0f, 1.0f}, ColorRgba{}, out, 63);
  EXPECT_FLOAT_EQ(out.a, 1.0f);
}

TEST(BlendModeRules, OpponentModesFollowTheirNeutralOperand) {
  const Fixed3 colours[] = {{ONE, 0, 0}, {1000, 20000, 30000}, {HALF, 8000, 24000}, {32000, 31000, 5}};
  const Fixed3 white{ONE, ONE, ONE};
  const Fixed3 black{0, 0, 0};
  for (const Fixed3& c : colours) {
    const std::int32_t rgb[3] = {c.r, c.g, c.b};
    std::int32_t lab[3];
    std::int32_t back[3];
    rgbToOpponent(rgb, lab);
    opponentToRgb(lab, back);
    // 54 multiplies lightness: a white source keeps d (through the space).
    Fixed3 r = blend(54, white, c);
    EXPECT_EQ(r.r, back[0]);
    EXPECT_EQ(r.g, back[1]);
    EXPECT_EQ(r.b, back[2]);
    // 55 screens lightness: a black source keeps d.
    r = blend(55, black, c);
    EXPECT_EQ(r.r, back[0]);
    EXPECT_EQ(r.b, back[2]);
    // 56 and 57 pin light: equal operands give the operand back.
    r = blend(57, c, c);
    EXPECT_EQ(r.r, back[0]);
    EXPECT_EQ(r.g, back[1]);
    EXPECT_EQ(r.b, back[2]);
    r = blend(56, c, c);
    EXPECT_EQ(r.b, back[2]);
  }
  // Greys stay grey in every opponent mode.
  for (BlendMode mode = 54; mode <= 57; ++mode) {
    for (int s : {0, 8192, HALF, 24576, ONE}) {
      for (int d : {0, 10000, HALF, ONE}) {
        const Fixed3 r = blend(mode, Fixed3{s, s, s}, Fixed3{d, d, d});
        EXPECT_EQ(r.r, r.g) << mode;
        EXPECT_EQ(r.b, r.g) << mode;
      }
    }
  }
  // Lightness of white over black in 55 is white; in 54 black.
  EXPECT_NEAR(blend(55, white, black).g, ONE, 200);
  EXPECT_NEAR(blend(54, white, black).g, 0, 200);
}

// ---- properties ---------------------------------------------------------------

std::vector<int> sampleValues() {
  std::vector<int> v;
  for (int x = 0; x <= ONE; x += 1024) v.push_back(x);
  for (int x : {1, 127, 128, 129, HALF - 1, HALF + 1, ONE - 1, 8191, 8193, 24575, 24577}) v.push_back(x);
  return v;
}

TEST(BlendModeProperties, DifferenceEqualsExclusion) {
  for (int s : sampleValues()) {
    for (int d : sampleValues()) {
      ASSERT_EQ(blend1(4, s, d), blend1(14, s, d)) << s << " " << d;
    }
  }
}

TEST(BlendModeProperties, LightenDarkenMultiplyHardDiff) {
  for (int s : sampleValues()) {
    for (int d : sampleValues()) {
      ASSERT_EQ(blend1(5, s, d), std::max(s, d));
      ASSERT_EQ(blend1(6, s, d), std::min(s, d));
      ASSERT_EQ(blend1(9, s, d), blend1(9, d, s));
      ASSERT_EQ(blend1(26, s, d), std::abs(s - d));
    }
  }
}

TEST(BlendModeProperties, EveryModeStaysInRange) {
  // Soft light (27) overshoots by 128 at d = ONE, exactly as its 8-bit rule
  // is written; the compositor lowers every result to 1 afterwards.
  EXPECT_EQ(blend1(27, HALF, ONE), ONE + 128);
  // The bitwise modes keep the bits of ONE (bit 15) beside the other value's.
  EXPECT_EQ(blend1(37, ONE, 0x1234), ONE + 0x1234);
  EXPECT_EQ(blend1(38, ONE, 0x1234), ONE + 0x1234);
  const std::vector<int> values = {0, 1, 5000, 8191, HALF - 1, HALF, HALF + 1, 24576, ONE - 1, ONE};
  std::set<int> outOfRange;
  for (BlendMode mode = 1; mode <= kBlendModeCount; ++mode) {
    const int high = mode == 27 ? ONE + 128 : (mode == 37 || mode == 38) ? 0xFFFF : ONE;
    for (int sr : values) {
      for (int dg : values) {
        const Fixed3 s{sr, ONE - sr, (sr * 3) % (ONE + 1)};
        const Fixed3 d{(dg * 7) % (ONE + 1), dg, ONE - dg};
        for (const auto& pair : {std::pair{s, d}, std::pair{d, s}, std::pair{s, s}}) {
          ColorRgba out;
          blendPixel(fromFixed(pair.first, 0.75f), fromFixed(pair.second), out, mode);
          const Fixed3 r = toFixed(out);
          for (int c : {r.r, r.g, r.b}) {
            if (c < 0 || c > high) outOfRange.insert(mode);
          }
          if (mode != 63 ? out.a != 0.75f : (out.a < 0.0f || out.a > 1.0f)) outOfRange.insert(mode);
        }
      }
    }
  }
  std::string list;
  for (int m : outOfRange) list += std::to_string(m) + " ";
  EXPECT_TRUE(outOfRange.empty()) << "modes out of range: " << list;
}

TEST(BlendModeProperties, NormalReturnsTheSourceUnchanged) {
  const ColorRgba s{1.4f, 0.123456f, -0.5f, 0.3f};
  ColorRgba out;
  blendPixel(s, ColorRgba{0.2f, 0.2f, 0.2f, 1.0f}, out, kBlendNormal);
  EXPECT_EQ(out.r, s.r);
  EXPECT_EQ(out.g, s.g);
  EXPECT_EQ(out.b, s.b);
  EXPECT_EQ(out.a, s.a);
}

TEST(BlendModeProperties, UnknownIdsGiveTheQuantisedSource) {
  const ColorRgba s{0.123456f, 0.5f, 1.0f, 0.4f};
  for (BlendMode mode : {0, -1, 70, 1000}) {
    ColorRgba out;
    blendPixel(s, ColorRgba{0.9f, 0.9f, 0.9f, 1.0f}, out, mode);
    EXPECT_EQ(out.r, static_cast<float>(static_cast<int>(0.123456f * 32768.0f)) / 32768.0f);
    EXPECT_EQ(out.g, 0.5f);
    EXPECT_EQ(out.b, 1.0f);
    EXPECT_EQ(out.a, 0.4f);
  }
}

TEST(BlendModeProperties, ResultMayAliasAnInput) {
  ColorRgba c{0.5f, 0.25f, 0.75f, 1.0f};
  const ColorRgba d{0.5f, 0.5f, 0.5f, 1.0f};
  blendPixel(c, d, c, 9);
  EXPECT_EQ(c.r, 0.25f);
  EXPECT_EQ(c.g, 0.125f);
}

TEST(BlendModeProperties, OutOfRangeInputsAreSafe) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const ColorRgba odd[] = {{nan, inf, -inf, 1.0f}, {1.0e30f, -1.0e30f, 2.5f, 1.0f}, {1.9f, 1.5f, 1.2f, 1.0f}};
  for (BlendMode mode = 0; mode <= kBlendModeCount + 1; ++mode) {
    for (const ColorRgba& s : odd) {
      for (const ColorRgba& d : odd) {
        ColorRgba out;
        blendPixel(s, d, out, mode);
        if (mode == kBlendNormal) continue;
        for (float c : {out.r, out.g, out.b}) {
          EXPECT_TRUE(std::isfinite(c)) << "mode " << mode;
        }
      }
    }
  }
  EXPECT_EQ(toBlendFixed(nan), 0);
  EXPECT_EQ(toBlendFixed(-1.0f), 0);
  EXPECT_EQ(toBlendFixed(1.0e30f), 65536);
  EXPECT_EQ(toBlendFixed(0.5f), HALF);
}

// ---- names ------------------------------------------------------------------

TEST(BlendModeNames, TableOfSixtyNine) {
  EXPECT_EQ(kBlendModeCount, 69);
  std::set<std::string> names;
  for (BlendMode id = 1; id <= kBlendModeCount; ++id) {
    EXPECT_TRUE(isBlendMode(id));
    const std::string name = blendModeName(id);
    EXPECT_FALSE(name.empty()) << id;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 69u);
  EXPECT_STREQ(blendModeName(1), "normal");
  EXPECT_STREQ(blendModeName(2), "procedural +");
  EXPECT_STREQ(blendModeName(3), "procedural -");
  EXPECT_STREQ(blendModeName(15), "color");
  EXPECT_STREQ(blendModeName(26), "hard diff");
  EXPECT_STREQ(blendModeName(53), "frontal");
  EXPECT_STREQ(blendModeName(62), "screendim");
  EXPECT_STREQ(blendModeName(63), "starbright");
  EXPECT_STREQ(blendModeName(69), "contrast negate");
  EXPECT_STREQ(blendModeName(0), "");
  EXPECT_STREQ(blendModeName(70), "");
  EXPECT_STREQ(blendModeName(-5), "");
  EXPECT_FALSE(isBlendMode(0));
  EXPECT_FALSE(isBlendMode(70));
}

// ---- HSL and the opponent space -----------------------------------------------

TEST(BlendHsl, RoundTripAndCalibration) {
  for (float r : {0.0f, 0.2f, 0.5f, 0.9f, 1.0f}) {
    for (float g : {0.0f, 0.3f, 0.7f, 1.0f}) {
      for (float b : {0.0f, 0.1f, 0.6f, 1.0f}) {
        float rgb[3];
        hslToRgb(rgbToHsl(r, g, b), rgb);
        EXPECT_NEAR(rgb[0], r, 1e-5f);
        EXPECT_NEAR(rgb[1], g, 1e-5f);
        EXPECT_NEAR(rgb[2], b, 1e-5f);
        const Hsl h = rgbToHsl(r, g, b);
        EXPECT_GE(h.hue, 0.0f);
        EXPECT_LT(h.hue, 1.0f);
        const float level = calibrationLevel(h.hue, h.saturation);
        EXPECT_NEAR(lightnessFromCalibrated(calibratedLightness(h), level), h.lightness, 1e-5f);
      }
    }
  }
  // White and black have no hue or saturation (no division by zero).
  EXPECT_EQ(rgbToHsl(1.0f, 1.0f, 1.0f).saturation, 0.0f);
  EXPECT_EQ(rgbToHsl(1.0f, 1.0f, 1.0f).lightness, 1.0f);
  EXPECT_EQ(rgbToHsl(0.0f, 0.0f, 0.0f).lightness, 0.0f);
  // Pure red's calibration level is 0.28, green's 0.52, blue's 0.2, grey's 0.5.
  EXPECT_NEAR(calibrationLevel(0.0f, 1.0f), 0.28f, 1e-6f);
  EXPECT_NEAR(calibrationLevel(1.0f / 3.0f, 1.0f), 0.52f, 1e-5f);
  EXPECT_NEAR(calibrationLevel(2.0f / 3.0f, 1.0f), 0.2f, 1e-5f);
  EXPECT_NEAR(calibrationLevel(0.0f, 0.0f), 0.5f, 1e-6f);
  EXPECT_EQ(lightnessFromCalibrated(1.5f, 0.3f), 1.0f);
  EXPECT_EQ(lightnessFromCalibrated(-0.5f, 0.3f), 0.0f);
}

TEST(OpponentSpace, AnchorsOfTheTables) {
  const OpponentTables& t = opponentTables();
  EXPECT_EQ(t.forward[0], 0);
  EXPECT_EQ(t.forward[1], 128);
  EXPECT_EQ(t.forward[2], 128);
  EXPECT_EQ(t.forward[4095 * 3 + 0], 255);
  EXPECT_EQ(t.forward[4095 * 3 + 1], 128);
  EXPECT_EQ(t.forward[4095 * 3 + 2], 128);
  EXPECT_EQ(&t, &opponentTables());
  const std::int32_t black[3] = {0, 0, 0};
  const std::int32_t white[3] = {ONE, ONE, ONE};
  std::int32_t lab[3];
  rgbToOpponent(black, lab);
  EXPECT_EQ(lab[0], 0);
  EXPECT_EQ(lab[1], HALF);
  EXPECT_EQ(lab[2], HALF);
  rgbToOpponent(white, lab);
  EXPECT_EQ(lab[0], ONE);
  EXPECT_EQ(lab[1], HALF);
  EXPECT_EQ(lab[2], HALF);
  // Out-of-range inputs are limited, never read outside the tables.
  const std::int32_t wild[3] = {-100000, 5000000, 40000};
  rgbToOpponent(wild, lab);
  opponentToRgb(wild, lab);
  for (int c = 0; c < 3; ++c) {
    EXPECT_GE(lab[c], 0);
    EXPECT_LE(lab[c], ONE);
  }
}

TEST(OpponentSpace, GreysRoundTripWithoutTint) {
  for (int v = 0; v <= ONE; v += 64) {
    const std::int32_t rgb[3] = {v, v, v};
    std::int32_t lab[3];
    std::int32_t back[3];
    rgbToOpponent(rgb, lab);
    ASSERT_EQ(lab[1], HALF) << v;
    ASSERT_EQ(lab[2], HALF) << v;
    opponentToRgb(lab, back);
    ASSERT_EQ(back[0], back[1]) << v;
    ASSERT_EQ(back[2], back[1]) << v;
    ASSERT_NEAR(back[1], v, 128) << v;  // one 8-bit step
  }
  // Lightness grows with the grey.
  std::int32_t previous = -1;
  for (int v = 0; v <= ONE; v += 512) {
    const std::int32_t rgb[3] = {v, v, v};
    std::int32_t lab[3];
    rgbToOpponent(rgb, lab);
    EXPECT_GT(lab[0], previous);
    previous = lab[0];
  }
}

// The accuracy the 8-bit tables allow: on average within about 2 %,
// under 1 % away from the cube's surface.
TEST(OpponentSpace, ColoursRoundTripWithinTheTablesAccuracy) {
  auto measure = [](int margin, double& mean, int& worst) {
    double sum = 0.0;
    int count = 0;
    worst = 0;
    for (int r = margin; r <= ONE - margin; r += 1024) {
      for (int g = margin; g <= ONE - margin; g += 1024) {
        for (int b = margin; b <= ONE - margin; b += 1024) {
          const std::int32_t rgb[3] = {r, g, b};
          std::int32_t lab[3];
          std::int32_t back[3];
          rgbToOpponent(rgb, lab);
          opponentToRgb(lab, back);
          int e = 0;
          for (int c = 0; c < 3; ++c) e = std::max(e, std::abs(back[c] - rgb[c]));
          worst = std::max(worst, e);
          sum += e;
          ++count;
        }
      }
    }
    mean = sum / count;
  };
  double mean = 0.0;
  int worst = 0;
  measure(0, mean, worst);
  EXPECT_LT(mean, 760.0);
  EXPECT_LT(worst, 7600);
  measure(8192, mean, worst);
  EXPECT_LT(mean, 300.0);
  EXPECT_LT(worst, 3000);
  // Primaries land where CIELAB puts them: red has positive A, blue negative B.
  const std::int32_t red[3] = {ONE, 0, 0};
  const std::int32_t blue[3] = {0, 0, ONE};
  std::int32_t lab[3];
  rgbToOpponent(red, lab);
  EXPECT_GT(lab[1], HALF + 8000);
  rgbToOpponent(blue, lab);
  EXPECT_LT(lab[2], HALF - 8000);
}

}  // namespace
}  // namespace globaro
