#include "render/blend_modes.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include "render/blend_hsl.h"
#include "render/composite.h"
#include "render/opponent_space.h"
#include "support/case_table.h"

namespace globaro {
namespace {
constexpr int ONE = kBlendOne, HALF = kBlendHalf;

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

using Case = testing::TextCase;

std::vector<double> numbers(const std::string& text) {
    std::vector<double> out;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) out.push_back(item == "nan" ? std::nan("") : std::stod(item));
    return out;
}

Fixed3 fixedColour(const std::string& text) {
    const std::vector<double> v = numbers(text);
    return v.size() == 1 ? Fixed3{int(v[0]), int(v[0]), int(v[0])} : Fixed3{int(v.at(0)), int(v.at(1)), int(v.at(2))};
}

// blend MODE SOURCE BACKDROP EXPECTED [tol=N]
void checkBlend(const Case& c) {
    const Fixed3 got = blend(std::stoi(c.fields.at(0)), fixedColour(c.fields.at(1)), fixedColour(c.fields.at(2)));
    const Fixed3 want = fixedColour(c.fields.at(3));
    const int tol = c.named.contains("tol") ? std::stoi(c.named.at("tol")) : 0;
    EXPECT_LE(std::max({std::abs(got.r - want.r), std::abs(got.g - want.g), std::abs(got.b - want.b)}), tol);
}

// composite [preview/|export/]DEPTH/PLANES/ALPHA[/grey]|preview/PLANES|export/packed MODE SRC BACK WANT [mask] [at]
void checkComposite(const Case& c) {
    std::vector<std::string> layout;
    std::istringstream in(c.fields.at(0));
    for (std::string item; std::getline(in, item, '/');) layout.push_back(item);
    const bool preview = layout[0] == "preview", exportImage = layout[0] == "export";
    if (preview || exportImage) layout.erase(layout.begin());
    const bool grey = layout.back() == "grey", packed = layout[0] == "packed";
    const int depth = preview || packed ? 8 : std::stoi(layout.at(0)), bytes = depth / 8, size = preview ? 16 : 4;
    const int planes = preview ? std::stoi(layout[0]) : packed ? 4 : std::stoi(layout.at(1));
    const std::vector<double> s = numbers(c.fields.at(2)), want = numbers(c.fields.at(4));
    const std::vector<double> backdrop = c.fields.at(3) == "-" ? std::vector<double>{} : numbers(c.fields.at(3));
    const std::vector<double> at = numbers(c.named.contains("at") ? c.named.at("at") : "1,1");
    const int x = int(at.at(0)), y = int(at.at(1)), cx = std::clamp(x, 0, size - 1), cy = std::clamp(y, 0, size - 1);
    auto offset = [&](int px, int py, int p) {
        return std::size_t(preview  ? p * size * size + py * size + px
                           : packed ? (py * size + px) * 4 + 3 - p
                                    : ((py * size + px) * planes + p) * bytes);
    };
    std::vector<unsigned char> out(std::size_t(size * size * planes * bytes), preview ? 3 : 0), shown(out.size());
    auto put = [&](std::vector<unsigned char>& to, std::size_t o, double v) {
        const std::uint16_t v16 = std::uint16_t(v);
        const float v32 = float(v);
        to[o] = depth == 8 ? static_cast<unsigned char>(v) : to[o];
        if (depth > 8) std::memcpy(&to[o], depth == 16 ? static_cast<const void*>(&v16) : &v32, std::size_t(bytes));
    };
    for (int p = 0; p < int(backdrop.size()); ++p)
        for (int py = 0; py < size; ++py)
            for (int px = 0; px < size; ++px) {
                put(shown, offset(px, py, p), backdrop[std::size_t(p)]);
                if (!preview && px == x && py == y) put(out, offset(px, py, p), backdrop[std::size_t(p)]);
            }
    const CompositeRect rect{0, 0, size, size};
    CompositeTarget t;
    t.renderTarget = preview ? kTargetPreview : exportImage ? kTargetExportImage : kTargetHostImage;
    t.glue = std::stoi(c.fields.at(1));
    const int alphaPlane = preview || packed ? -1 : std::stoi(layout.at(2));
    if (preview) {
        t.output = planarGrid8(out.data(), size, size * size, planes, rect);
        if (!backdrop.empty()) t.destination = planarGrid8(shown.data(), size, size * size, planes, rect);
    } else if (packed) {
        t.output = t.destination = packedRgba8Grid(reinterpret_cast<std::uint32_t*>(out.data()), 16, rect);
    } else {
        t.output = interleavedGrid(out.data(), size * planes * bytes, planes, depth, grey, alphaPlane, rect);
        t.destination =
            exportImage ? t.output
                        : interleavedGrid(shown.data(), size * planes * bytes, planes, depth, grey, alphaPlane, rect);
    }
    const int mask = int(c.namedOr("mask", -1));
    std::vector<std::uint8_t> maskBytes(std::size_t(size * size), std::uint8_t(mask));
    if (mask >= 0) t.mask = MaskGrid{maskBytes.data(), size, rect};
    ColorRgba pixel{float(s.at(0)), float(s.at(1)), float(s.at(2)), float(s.at(3))};
    compositePixel(x, y, pixel, t);
    ASSERT_EQ(want.size(), std::size_t(planes));
    for (int p = 0; p < planes; ++p) {
        const std::size_t o = offset(cx, cy, p);
        std::uint16_t v16 = 0;
        float v32 = 0.0f;
        std::memcpy(depth == 16 ? static_cast<void*>(&v16) : &v32, &out[o], std::size_t(bytes));
        const double got = depth == 8 ? out[o] : depth == 16 ? v16 : v32;
        EXPECT_NEAR(got, want[std::size_t(p)], depth == 32 ? 1e-6 : 0.0) << "plane " << p;
    }
}

// over SOURCE BACKDROP EXPECTED: the over rule itself, r,g,b,a floats
void checkOver(const Case& c) {
    const std::vector<double> s = numbers(c.fields.at(0)), d = numbers(c.fields.at(1)), want = numbers(c.fields.at(2));
    ColorRgba b{float(d.at(0)), float(d.at(1)), float(d.at(2)), float(d.at(3))};
    compositeOver(ColorRgba{float(s.at(0)), float(s.at(1)), float(s.at(2)), float(s.at(3))}, b);
    const float got[4] = {b.r, b.g, b.b, b.a};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want.at(static_cast<std::size_t>(i)), 1e-6) << "channel " << i;
}

TEST(BlendAndCompositeCases, EveryLineHolds) {
    std::map<std::string, int> counts;
    std::set<int> modes;
    for (const Case& c : testing::readTextCases(GLOBARO_TEST_DATA "/blend_cases.txt")) {
        SCOPED_TRACE(::testing::Message() << "blend_cases.txt:" << c.line << " " << c.kind << " |" << c.source);
        ++counts[c.kind];
        if (c.kind == "blend") {
            checkBlend(c);
            modes.insert(std::stoi(c.fields.at(0)));
        } else if (c.kind == "composite") {
            checkComposite(c);
        } else if (c.kind == "over") {
            checkOver(c);
        } else {
            ADD_FAILURE() << "unknown kind";
        }
    }
    EXPECT_TRUE(counts["blend"] > 150 && counts["composite"] > 30) << counts["blend"] << " " << counts["composite"];
    // Every mode but normal (1), starbright (63) and the opponent pin lights (rules below) has a case.
    for (BlendMode mode = 2; mode <= kBlendModeCount; ++mode)
        EXPECT_TRUE(mode == 56 || mode == 57 || mode == 63 || modes.contains(mode)) << "mode " << mode;
}

std::vector<int> sampleValues() {
    std::vector<int> v;
    for (int x = 0; x <= ONE; x += 1024) v.push_back(x);
    for (int x : {1, 127, 128, 129, HALF - 1, HALF + 1, ONE - 1, 8191, 8193, 24575, 24577}) v.push_back(x);
    return v;
}

TEST(BlendModeRules, ModesThatMirrorOrRestateEachOther) {
    for (int s : sampleValues())
        for (int d : sampleValues()) {
            ASSERT_EQ(blend1(4, s, d), blend1(14, s, d)) << s << " " << d;  // difference and exclusion
            ASSERT_EQ(blend1(5, s, d), std::max(s, d));
            ASSERT_EQ(blend1(6, s, d), std::min(s, d));
            ASSERT_EQ(blend1(9, s, d), blend1(9, d, s));
            ASSERT_EQ(blend1(26, s, d), std::abs(s - d));
        }
    const Fixed3 samples[] = {{ONE, 0, 0}, {1000, 20000, 30000}, {HALF, HALF, HALF}, {32000, 31000, 5}, {0, 0, 0}};
    for (const Fixed3& a : samples)
        for (const Fixed3& b : samples) {
            const Fixed3 x = blend(15, a, b), y = blend(16, b, a);  // color and luminance
            EXPECT_TRUE(x.r == y.r && x.g == y.g && x.b == y.b);
        }
}

TEST(BlendModeRules, StarbrightDoublesAndMakesBlackTransparent) {
    // (source r, g over a grey) -> (r, g, a) of the result.
    for (const auto& [r, g, wantR, wantG, wantA] :
         {std::tuple{0.5f, 0.25f, 1.0f, 0.5f, 0.5f}, std::tuple{0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
          std::tuple{1.0f, 0.2f, 1.0f, 0.2f, 1.0f}}) {
        ColorRgba out;
        blendPixel(ColorRgba{r, g, 0.0f, 1.0f}, ColorRgba{0.3f, 0.3f, 0.3f, 1.0f}, out, 63);
        EXPECT_LT(std::max({std::fabs(out.r - wantR), std::fabs(out.g - wantG), std::fabs(out.a - wantA)}), 1e-4f) << r;
    }
}

// The opponent modes' neutral operand gives the other back through the space; greys stay grey.
TEST(BlendModeRules, OpponentModesFollowTheirNeutralOperand) {
    const Fixed3 white{ONE, ONE, ONE}, black{0, 0, 0};
    for (const Fixed3& c : {Fixed3{ONE, 0, 0}, Fixed3{1000, 20000, 30000}, Fixed3{HALF, 8000, 24000}}) {
        const std::int32_t rgb[3] = {c.r, c.g, c.b};
        std::int32_t lab[3], back[3];
        rgbToOpponent(rgb, lab);
        opponentToRgb(lab, back);
        for (const Fixed3& r : {blend(54, white, c), blend(55, black, c), blend(57, c, c)})
            EXPECT_TRUE(r.r == back[0] && r.g == back[1] && r.b == back[2]);
        EXPECT_EQ(blend(56, c, c).b, back[2]);
    }
    for (BlendMode mode = 54; mode <= 57; ++mode)
        for (int s : {0, 8192, HALF, 24576, ONE})
            for (int d : {0, 10000, HALF, ONE}) {
                const Fixed3 r = blend(mode, Fixed3{s, s, s}, Fixed3{d, d, d});
                EXPECT_TRUE(r.r == r.g && r.b == r.g) << mode;
            }
}

TEST(BlendModeProperties, EveryModeStaysInRange) {
    // Soft light overshoots by 128 at d = ONE, as its 8-bit rule; bitwise modes keep ONE's bit 15.
    EXPECT_EQ(blend1(27, HALF, ONE), ONE + 128);
    EXPECT_EQ(blend1(38, ONE, 0x1234), ONE + 0x1234);
    const std::vector<int> values = {0, 1, 5000, 8191, HALF - 1, HALF, HALF + 1, 24576, ONE - 1, ONE};
    std::set<int> outOfRange;
    for (BlendMode mode = 1; mode <= kBlendModeCount; ++mode) {
        const int high = mode == 27 ? ONE + 128 : (mode == 37 || mode == 38) ? 0xFFFF : ONE;
        for (int sr : values)
            for (int dg : values) {
                const Fixed3 s{sr, ONE - sr, (sr * 3) % (ONE + 1)};
                const Fixed3 d{(dg * 7) % (ONE + 1), dg, ONE - dg};
                for (const auto& pair : {std::pair{s, d}, std::pair{d, s}, std::pair{s, s}}) {
                    ColorRgba out;
                    blendPixel(fromFixed(pair.first, 0.75f), fromFixed(pair.second), out, mode);
                    const Fixed3 r = toFixed(out);
                    for (int c : {r.r, r.g, r.b})
                        if (c < 0 || c > high) outOfRange.insert(mode);
                    if (mode != 63 ? out.a != 0.75f : (out.a < 0.0f || out.a > 1.0f)) outOfRange.insert(mode);
                }
            }
    }
    std::string list;
    for (int m : outOfRange) list += std::to_string(m) + " ";
    EXPECT_TRUE(outOfRange.empty()) << "modes out of range: " << list;
}

TEST(BlendModeProperties, NormalUnknownAliasedAndUnusableInputs) {
    const ColorRgba s{1.4f, 0.123456f, -0.5f, 0.3f};
    ColorRgba out;
    blendPixel(s, ColorRgba{0.2f, 0.2f, 0.2f, 1.0f}, out, kBlendNormal);
    EXPECT_TRUE(out.r == s.r && out.g == s.g && out.b == s.b && out.a == s.a);  // unchanged
    for (BlendMode mode : {0, -1, 70, 1000}) {                                  // the quantised source
        blendPixel(ColorRgba{0.123456f, 0.5f, 1.0f, 0.4f}, ColorRgba{0.9f, 0.9f, 0.9f, 1.0f}, out, mode);
        EXPECT_EQ(out.r, static_cast<float>(static_cast<int>(0.123456f * 32768.0f)) / 32768.0f);
        EXPECT_TRUE(out.a == 0.4f && !isBlendMode(mode) && *blendModeName(mode) == '\0') << mode;
    }
    ColorRgba c{0.5f, 0.25f, 0.75f, 1.0f};
    blendPixel(c, ColorRgba{0.5f, 0.5f, 0.5f, 1.0f}, c, 9);  // the result may alias an input
    EXPECT_TRUE(c.r == 0.25f && c.g == 0.125f);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const ColorRgba odd[] = {{nan, inf, -inf, 1.0f}, {1.0e30f, -1.0e30f, 2.5f, 1.0f}, {1.9f, 1.5f, 1.2f, 1.0f}};
    for (BlendMode mode = 2; mode <= kBlendModeCount + 1; ++mode)
        for (const ColorRgba& a : odd)
            for (const ColorRgba& b : odd) {
                blendPixel(a, b, out, mode);
                EXPECT_TRUE(std::isfinite(out.r) && std::isfinite(out.g) && std::isfinite(out.b)) << "mode " << mode;
            }
    EXPECT_TRUE(toBlendFixed(nan) == 0 && toBlendFixed(1.0e30f) == 65536);
    std::set<std::string> names;
    for (BlendMode id = 1; id <= kBlendModeCount; ++id) names.insert(blendModeName(id));
    EXPECT_TRUE(names.size() == std::size_t(kBlendModeCount) && !names.contains(""));
}

TEST(BlendHsl, RoundTripAndCalibration) {
    for (float r : {0.0f, 0.2f, 0.5f, 0.9f, 1.0f})
        for (float g : {0.0f, 0.3f, 0.7f, 1.0f})
            for (float b : {0.0f, 0.1f, 0.6f, 1.0f}) {
                float rgb[3];
                const Hsl h = rgbToHsl(r, g, b);
                hslToRgb(h, rgb);
                EXPECT_LT(std::max({std::fabs(rgb[0] - r), std::fabs(rgb[1] - g), std::fabs(rgb[2] - b)}), 1e-5f);
                EXPECT_TRUE(h.hue >= 0.0f && h.hue < 1.0f);
                const float level = calibrationLevel(h.hue, h.saturation);
                EXPECT_NEAR(lightnessFromCalibrated(calibratedLightness(h), level), h.lightness, 1e-5f);
            }
    EXPECT_EQ(rgbToHsl(1.0f, 1.0f, 1.0f).saturation, 0.0f);  // no division by zero
    // Pure red's calibration level is 0.28, green's 0.52, blue's 0.2, grey's 0.5.
    for (const auto& [hue, saturation, level] : {std::tuple{0.0f, 1.0f, 0.28f}, std::tuple{1.0f / 3, 1.0f, 0.52f},
                                                 std::tuple{2.0f / 3, 1.0f, 0.2f}, std::tuple{0.0f, 0.0f, 0.5f}})
        EXPECT_NEAR(calibrationLevel(hue, saturation), level, 1e-5f) << hue << " " << saturation;
}

// Black and white end the lightness axis, greys stay grey, colours come back within the tables' accuracy.
TEST(OpponentSpace, GreysColoursAndTheEnds) {
    auto toLab = [](int r, int g, int b, std::int32_t lab[3]) {
        const std::int32_t rgb[3] = {r, g, b};
        rgbToOpponent(rgb, lab);
    };
    std::int32_t lab[3], back[3], previous = -1;
    for (int v = 0; v <= ONE; v += 64) {
        toLab(v, v, v, lab);
        ASSERT_TRUE(lab[1] == HALF && lab[2] == HALF && (v > 0 || lab[0] == 0) && (v < ONE || lab[0] == ONE)) << v;
        ASSERT_GE(lab[0], std::exchange(previous, lab[0]));
        opponentToRgb(lab, back);
        ASSERT_TRUE(back[0] == back[1] && back[2] == back[1] && std::abs(back[1] - v) <= 128) << v;
    }
    for (int margin : {0, 8192}) {
        double sum = 0.0;
        int count = 0, worst = 0;
        for (int r = margin; r <= ONE - margin; r += 1024)
            for (int g = margin; g <= ONE - margin; g += 1024)
                for (int b = margin; b <= ONE - margin; b += 1024) {
                    toLab(r, g, b, lab);
                    opponentToRgb(lab, back);
                    const int e = std::max({std::abs(back[0] - r), std::abs(back[1] - g), std::abs(back[2] - b)});
                    worst = std::max(worst, e), sum += e, ++count;
                }
        EXPECT_TRUE(sum / count < (margin == 0 ? 760.0 : 300.0) && worst < (margin == 0 ? 7600 : 3000))
            << margin << ": mean " << sum / count << ", worst " << worst;
    }
    std::int32_t red[3], blue[3];  // red has positive A, blue negative B, as in CIELAB
    toLab(ONE, 0, 0, red), toLab(0, 0, ONE, blue);
    EXPECT_TRUE(red[1] > HALF + 8000 && blue[2] < HALF - 8000) << red[1] << " " << blue[2];
    const std::int32_t wild[3] = {-100000, 5000000, 40000};  // limited, never read outside the tables
    rgbToOpponent(wild, lab);
    opponentToRgb(wild, back);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(lab[c] >= 0 && lab[c] <= ONE && back[c] >= 0 && back[c] <= ONE);
}
}  // namespace
}  // namespace globaro
