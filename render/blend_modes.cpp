#include "render/blend_modes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "render/blend_hsl.h"
#include "render/opponent_space.h"

namespace globaro {

namespace {

// 64-bit intermediates: with channels limited to 0..2 (0..65536) no product
// of the rules below can overflow.
using Fixed = std::int64_t;

constexpr Fixed ONE = kBlendOne;
constexpr Fixed HALF = kBlendHalf;
constexpr float kFromFixed = 3.0517578e-5f;  // 1 / 32768
constexpr float kMaxBlendInput = 2.0f;

struct Operands {
    Fixed s[3];   // source red, green, blue, 15-bit
    Fixed d[3];   // destination red, green, blue, 15-bit
    float sf[3];  // source channels as floats, limited to 0..2
    float df[3];  // destination channels as floats, limited to 0..2
};

// A mode writes red, green and blue of `out`; alpha arrives as the source
// alpha and only mode 63 changes it.
using ModeRule = void (*)(const Operands&, ColorRgba& out);
using ChannelRule = Fixed (*)(Fixed s, Fixed d);

float limitInput(float v) {
    if (!(v > 0.0f)) return 0.0f;  // also a value that is not a number
    return v < kMaxBlendInput ? v : kMaxBlendInput;
}

float toFloat(Fixed v) { return static_cast<float>(v) * kFromFixed; }

// truncate(v x 32768) for a float computed by a mode; values are small here,
// the limits only keep a stray result from overflowing the conversion.
Fixed fixedFromFloat(float v) {
    if (!(v == v)) return 0;
    const float scaled = std::clamp(v * 32768.0f, -1.0e9f, 1.0e9f);
    return static_cast<Fixed>(scaled);
}

void setFixed(ColorRgba& out, Fixed r, Fixed g, Fixed b) {
    out.r = toFloat(r);
    out.g = toFloat(g);
    out.b = toFloat(b);
}

void setFloat(ColorRgba& out, const float rgb[3]) {
    setFixed(out, fixedFromFloat(rgb[0]), fixedFromFloat(rgb[1]), fixedFromFloat(rgb[2]));
}

Fixed clampOne(Fixed x) { return std::min(std::max(x, Fixed{0}), ONE); }

// Shared rules of the table.
Fixed pinLight(Fixed a, Fixed b) { return a < HALF ? std::min(b, 2 * a) : std::max(b, 2 * a - ONE); }

Fixed overlay(Fixed s, Fixed d) { return d >= HALF ? ONE - (((ONE - d) * (ONE - s)) >> 14) : (s * d) >> 14; }

Fixed hardLight(Fixed s, Fixed d) { return s >= HALF ? ONE - (((ONE - d) * (ONE - s)) >> 14) : (s * d) >> 14; }

// (77 R + 150 G + 28 B) with the low 8 bits cleared.
Fixed luma(const Fixed c[3]) { return (77 * c[0] + 150 * c[1] + 28 * c[2]) & ~Fixed{255}; }

// A lightness given as the luma of a 15-bit colour.
float lumaLightness(const Fixed c[3]) {
    return static_cast<float>((150 * c[1] + 77 * c[0] + 28 * c[2]) >> 8) * kFromFixed;
}

Hsl hslOf(const Fixed c[3]) { return rgbToHsl(toFloat(c[0]), toFloat(c[1]), toFloat(c[2])); }

// The colour with this hue and saturation at calibrated lightness L.
void fromCalibrated(ColorRgba& out, float hue, float saturation, float calibrated) {
    const float l = lightnessFromCalibrated(calibrated, calibrationLevel(hue, saturation));
    float rgb[3];
    hslToRgb(Hsl{hue, saturation, l}, rgb);
    setFloat(out, rgb);
}

// 2 l folded back above 1, and the weight 1 - (1 - t)^4 built from it.
float midtoneWeight(float lightness) {
    float t = 2.0f * lightness;
    if (t > 1.0f) t = 2.0f - t;
    const float u = 1.0f - t;
    const float u2 = u * u;
    return 1.0f - u2 * u2;
}

// Mode 58's rule on two lightnesses, a from the destination, b from the source.
float dextrousRule(float a, float b) {
    float r;
    if (b > a) {
        r = a / (2.0f * b);
    } else if (a > 0.0f) {
        r = 1.0f - b / (2.0f * a);
    } else {
        r = 1.0f;
    }
    return std::min(r, 1.0f);
}

template <ChannelRule Rule>
void perChannel(const Operands& o, ColorRgba& out) {
    setFixed(out, Rule(o.s[0], o.d[0]), Rule(o.s[1], o.d[1]), Rule(o.s[2], o.d[2]));
}

using FloatRule = float (*)(float s, float d);

// Modes computed on the float values, quantised like the others.
template <FloatRule Rule>
void perChannelFloat(const Operands& o, ColorRgba& out) {
    const float rgb[3] = {Rule(o.sf[0], o.df[0]), Rule(o.sf[1], o.df[1]), Rule(o.sf[2], o.df[2])};
    setFloat(out, rgb);
}

// ---- per-channel rules -----------------------------------------------------

Fixed ruleSource(Fixed s, Fixed) { return s; }

Fixed ruleProceduralPlus(Fixed s, Fixed d) {
    const Fixed t = d < HALF ? d / 2 : HALF - d / 2;
    return (s * t + (HALF - t) * d) >> 14;
}

Fixed ruleProceduralMinus(Fixed s, Fixed d) { return std::min(s + ((s * d) >> 15), ONE); }

Fixed ruleExclusion(Fixed s, Fixed d) { return (s * (ONE - d) + (ONE - s) * d) >> 15; }

Fixed ruleLighten(Fixed s, Fixed d) { return std::max(s, d); }
Fixed ruleDarken(Fixed s, Fixed d) { return std::min(s, d); }
Fixed ruleAdd(Fixed s, Fixed d) { return std::min(s + d, ONE); }
Fixed ruleSubtract(Fixed s, Fixed d) { return std::max(s - d, Fixed{0}); }
Fixed ruleMultiply(Fixed s, Fixed d) { return (s * d) >> 15; }
Fixed ruleScreen(Fixed s, Fixed d) { return s + (((ONE - s) * d) >> 15); }
Fixed ruleHardLight(Fixed s, Fixed d) { return hardLight(s, d); }
Fixed ruleOverlay(Fixed s, Fixed d) { return overlay(s, d); }

Fixed ruleSuperlay(Fixed s, Fixed d) {
    const Fixed p = ONE - ((s * d) >> 15);
    const Fixed p2 = (p * p) >> 15;
    const Fixed a = ONE - p2;
    const Fixed q = ONE - (((ONE - s) * d) >> 15) - s;
    const Fixed b = (q * q) >> 15;
    return a >= HALF ? ONE - ((b * p2) >> 14) : ((ONE - b) * a) >> 14;
}

Fixed ruleLinearLight(Fixed s, Fixed d) { return clampOne(d + 2 * (s - HALF)); }
Fixed rulePinLight(Fixed s, Fixed d) { return pinLight(s, d); }
Fixed ruleSpinLight(Fixed s, Fixed d) { return pinLight(d, s); }

Fixed ruleVividA(Fixed s, Fixed d) {
    const Fixed a = std::min(((s + 1) >> 7) & 511, Fixed{255});
    const Fixed b = std::min(((d + 1) >> 7) & 511, Fixed{255});
    const Fixed r = a < 128 ? ((b - 255) * 256) / (2 * a + 1) + 255 : (b * 256) / (511 - 2 * a);
    if (r < 0) return 0;
    if (r >= 255) return ONE;
    return (r << 7) | (r >> 1);
}

Fixed ruleVividB(Fixed s, Fixed d) { return clampOne(2 * s - d); }
Fixed ruleSimilarity(Fixed s, Fixed d) { return ONE - std::abs(s + d - ONE); }

Fixed ruleCross(Fixed s, Fixed d) {
    const Fixed ts = ((s - HALF) * (s - HALF)) / 8192;
    const Fixed td = ((d - HALF) * (d - HALF)) / 8192;
    return std::max(Fixed{0}, ONE - std::abs(ts - td));
}

Fixed ruleHardDiff(Fixed s, Fixed d) { return std::abs(s - d); }

Fixed ruleSoftLight(Fixed s, Fixed d) {
    if (s < HALF) return (s * d + ((d * d) / 32768) * (HALF - s)) >> 14;
    const Fixed a = 255 - d / 128;
    const Fixed t = s / 128;
    return (255 - ((((a * a) / 256) * (t - 130) + (258 - t) * a) >> 7)) * 128;  // << 7
}

Fixed ruleDodge(Fixed s, Fixed d) {
    if (s == ONE) return ONE;
    return clampOne((d * 32768) / (ONE - s));
}

Fixed ruleBurn(Fixed s, Fixed d) { return clampOne(((d - ONE) * 32768) / (s + 1) + ONE); }
Fixed ruleAce(Fixed s, Fixed d) { return (s * s + (ONE - s) * d) >> 15; }
Fixed ruleKing(Fixed s, Fixed d) { return ((s - d + ONE) * d) >> 15; }
Fixed ruleQueen(Fixed s, Fixed d) { return (s * (d - s + ONE)) >> 15; }
Fixed ruleJack(Fixed s, Fixed d) { return (s * (ONE - d) + d * d) >> 15; }
Fixed ruleAnd(Fixed s, Fixed d) { return s & d; }
Fixed ruleOr(Fixed s, Fixed d) { return s | d; }
Fixed ruleXor(Fixed s, Fixed d) { return s ^ d; }

Fixed ruleMultibright(Fixed s, Fixed d) {
    const float p = static_cast<float>(s * d) * (1.0f / 1073741824.0f);
    return fixedFromFloat((2.0f - p) * p);
}

Fixed ruleHot(Fixed s, Fixed d) { return pinLight(pinLight(d, s), pinLight(d, ONE - s)); }
Fixed ruleCold(Fixed s, Fixed d) { return pinLight(pinLight(s, d), pinLight(s, ONE - d)); }

Fixed ruleWet(Fixed s, Fixed d) {
    const Fixed w = s >= HALF ? ((ONE - s) * d) >> 14 : ONE - (((ONE - d) * s) >> 14);
    return pinLight(overlay(s, d), w);
}

Fixed ruleDry(Fixed s, Fixed d) {
    const Fixed o = d >= HALF ? ONE - (((ONE - d) * s) >> 14) : ((ONE - s) * d) >> 14;
    const Fixed v = ONE - s >= HALF ? ONE - ((d * s) >> 14) : ((ONE - d) * (ONE - s)) >> 14;
    return pinLight(o, ONE - v);
}

Fixed ruleUp(Fixed s, Fixed d) { return pinLight(hardLight(s, d), overlay(s, d)); }
Fixed ruleDown(Fixed s, Fixed d) { return pinLight(overlay(s, d), hardLight(s, d)); }
Fixed ruleHardMix(Fixed s, Fixed d) { return s + d > ONE ? ONE : 0; }

Fixed ruleDextrous(Fixed s, Fixed d) { return fixedFromFloat(dextrousRule(toFloat(d), toFloat(s))); }

Fixed ruleScreendim(Fixed s, Fixed d) {
    const float p = static_cast<float>((ONE - d) * (ONE - s)) * (1.0f / 1073741824.0f);
    const float q = 1.0f - p;
    return fixedFromFloat(q * q);
}

Fixed ruleNegation(Fixed s, Fixed d) {
    const Fixed r = s + d;
    return r > ONE ? 2 * ONE - r : r;
}

Fixed ruleContrastNegate(Fixed s, Fixed d) {
    Fixed r = s;
    if (s > HALF) r = ONE - s;
    if (d <= HALF) r = ONE - r;
    return r;
}

float ruleGlow(float s, float d) { return 1.0f - d > 0.0f ? std::min(1.0f, s * s / (1.0f - d)) : 1.0f; }
float ruleReflect(float s, float d) { return 1.0f - s > 0.0f ? std::min(1.0f, d * d / (1.0f - s)) : 1.0f; }

float softCap(float t) { return t > 0.5f ? 1.0f - 0.25f / t : t; }
float ruleShimmer(float s, float d) { return 1.0f - d > 0.0f ? softCap(0.5f * s * s / (1.0f - d)) : 1.0f; }
float ruleLustre(float s, float d) { return 1.0f - s > 0.0f ? softCap(0.5f * d * d / (1.0f - s)) : 1.0f; }

// ---- whole-pixel rules -----------------------------------------------------

void modeColor(const Operands& o, ColorRgba& out) {
    const Hsl hs = hslOf(o.s);
    fromCalibrated(out, hs.hue, hs.saturation, lumaLightness(o.d));
}

void modeLuminance(const Operands& o, ColorRgba& out) {
    const Hsl hd = hslOf(o.d);
    fromCalibrated(out, hd.hue, hd.saturation, lumaLightness(o.s));
}

void modeSaturation(const Operands& o, ColorRgba& out) {
    const Hsl hs = hslOf(o.s);
    const Hsl hd = hslOf(o.d);
    fromCalibrated(out, hd.hue, hs.saturation, lumaLightness(o.d));
}

void modeHue(const Operands& o, ColorRgba& out) {
    const Hsl hs = hslOf(o.s);
    const Hsl hd = hslOf(o.d);
    fromCalibrated(out, hs.hue, hd.saturation, lumaLightness(o.d));
}

void modeBright(const Operands& o, ColorRgba& out) {
    const Fixed* c = luma(o.s) < luma(o.d) ? o.d : o.s;
    setFixed(out, c[0], c[1], c[2]);
}

void modeDim(const Operands& o, ColorRgba& out) {
    const Fixed* c = luma(o.s) > luma(o.d) ? o.d : o.s;
    setFixed(out, c[0], c[1], c[2]);
}

void mixBySourceWeight(const Operands& o, float w, ColorRgba& out) {
    Fixed r[3];
    for (int c = 0; c < 3; ++c) {
        r[c] = fixedFromFloat((static_cast<float>(o.d[c]) * (1.0f - w) + static_cast<float>(o.s[c]) * w) * kFromFixed);
    }
    setFixed(out, r[0], r[1], r[2]);
}

void modeWax(const Operands& o, ColorRgba& out) {
    const Hsl hs = hslOf(o.s);
    mixBySourceWeight(o, hs.saturation * midtoneWeight(hs.lightness), out);
}

void modeWane(const Operands& o, ColorRgba& out) {
    const Hsl hs = hslOf(o.s);
    mixBySourceWeight(o, (1.0f - hs.saturation) * midtoneWeight(hs.lightness), out);
}

void modeNorth(const Operands& o, ColorRgba& out) {
    const Fixed* s = o.s;
    const Fixed* d = o.d;
    setFixed(out, ((ONE - s[1]) * s[0] + s[1] * d[0]) >> 15, ((ONE - s[2]) * s[1] + s[2] * d[1]) >> 15,
             ((ONE - s[0]) * s[2] + s[0] * d[2]) >> 15);
}

void modeSouth(const Operands& o, ColorRgba& out) {
    const Fixed* s = o.s;
    const Fixed* d = o.d;
    setFixed(out, ((ONE - s[2]) * s[0] + s[2] * d[0]) >> 15, ((ONE - s[0]) * s[1] + s[0] * d[1]) >> 15,
             ((ONE - s[1]) * s[2] + s[1] * d[2]) >> 15);
}

void modeEast(const Operands& o, ColorRgba& out) {
    const Fixed* s = o.s;
    const Fixed* d = o.d;
    setFixed(out, ((ONE - d[1]) * s[0] + d[0] * d[1]) >> 15, ((ONE - d[2]) * s[1] + d[1] * d[2]) >> 15,
             ((ONE - d[0]) * s[2] + d[0] * d[2]) >> 15);
}

void modeWest(const Operands& o, ColorRgba& out) {
    const Fixed* s = o.s;
    const Fixed* d = o.d;
    setFixed(out, ((ONE - d[2]) * s[0] + d[0] * d[2]) >> 15, ((ONE - d[0]) * s[1] + d[0] * d[1]) >> 15,
             ((ONE - d[1]) * s[2] + d[1] * d[2]) >> 15);
}

void modeFrontal(const Operands& o, ColorRgba& out) {
    constexpr float kTurn = 2.0f * std::numbers::pi_v<float>;
    const Hsl hs = hslOf(o.s);
    const Hsl hd = hslOf(o.d);
    const float sx = hs.saturation * std::cos(kTurn * hs.hue);
    const float sy = hs.saturation * std::sin(kTurn * hs.hue);
    const float dx = hd.saturation * std::cos(kTurn * hd.hue);
    const float dy = hd.saturation * std::sin(kTurn * hd.hue);
    const float w = midtoneWeight(hd.lightness) * midtoneWeight(hs.lightness);
    const float x = sx + (dx - sx) * w;
    const float y = sy + (dy - sy) * w;
    Hsl r;
    r.saturation = std::min(std::sqrt(x * x + y * y), 1.0f);
    float hue = std::atan2(y, x) / kTurn;
    if (hue < 0.0f) hue += 1.0f;
    r.hue = hue;
    r.lightness = std::min(hs.lightness, hd.lightness);
    float rgb[3];
    hslToRgb(r, rgb);
    setFloat(out, rgb);
}

void opponentBlend(const Operands& o, ColorRgba& out, int mode) {
    std::int32_t rgb[3];
    std::int32_t ls[3];
    std::int32_t ld[3];
    for (int c = 0; c < 3; ++c) rgb[c] = static_cast<std::int32_t>(o.s[c]);
    rgbToOpponent(rgb, ls);
    for (int c = 0; c < 3; ++c) rgb[c] = static_cast<std::int32_t>(o.d[c]);
    rgbToOpponent(rgb, ld);
    Fixed r[3];
    switch (mode) {
        case 54:
        case 55:
            r[0] = mode == 54 ? (Fixed{ld[0]} * ls[0]) >> 15 : ONE - (((ONE - ld[0]) * (ONE - ls[0])) >> 15);
            r[1] = overlay(ls[1], ld[1]);
            r[2] = overlay(ls[2], ld[2]);
            break;
        case 56:
            for (int c = 0; c < 3; ++c) r[c] = pinLight(ls[c], ld[c]);
            break;
        default:
            for (int c = 0; c < 3; ++c) r[c] = pinLight(ld[c], ls[c]);
            break;
    }
    std::int32_t lab[3];
    for (int c = 0; c < 3; ++c) lab[c] = static_cast<std::int32_t>(std::clamp<Fixed>(r[c], -ONE, 2 * ONE));
    opponentToRgb(lab, rgb);
    setFixed(out, rgb[0], rgb[1], rgb[2]);
}

void modeParietal(const Operands& o, ColorRgba& out) { opponentBlend(o, out, 54); }
void modeTemporal(const Operands& o, ColorRgba& out) { opponentBlend(o, out, 55); }
void modeOccipital(const Operands& o, ColorRgba& out) { opponentBlend(o, out, 56); }
void modeLimbic(const Operands& o, ColorRgba& out) { opponentBlend(o, out, 57); }

void modeSinister(const Operands& o, ColorRgba& out) {
    const Hsl hs = hslOf(o.s);
    const float lightness = dextrousRule(lumaLightness(o.d), calibratedLightness(hs));
    fromCalibrated(out, hs.hue, hs.saturation, lightness);
}

// Multibright on the two calibrated lightnesses, pulled back toward the
// near black and near white of `anchor`.
float lobeLightness(float ls, float ld, float anchor) {
    const float p = ls * ld;
    float l = (2.0f - p) * p;
    if (anchor > 0.8f) l += (anchor - l) * (anchor - 0.8f) * 5.0f;
    if (anchor < 0.2f) l += (anchor - l) * (0.2f - anchor) * 5.0f;
    return std::clamp(l, 0.0f, 1.0f);
}

void modeAnterior(const Operands& o, ColorRgba& out) {
    const Hsl hs = hslOf(o.s);
    const Hsl hd = hslOf(o.d);
    const float ls = calibratedLightness(hs);
    const float ld = calibratedLightness(hd);
    fromCalibrated(out, hs.hue, hs.saturation, lobeLightness(ls, ld, ls));
}

void modePosterior(const Operands& o, ColorRgba& out) {
    const Hsl hs = hslOf(o.s);
    const Hsl hd = hslOf(o.d);
    const float ls = calibratedLightness(hs);
    const float ld = calibratedLightness(hd);
    fromCalibrated(out, hd.hue, hd.saturation, lobeLightness(ls, ld, ld));
}

void modeStarbright(const Operands& o, ColorRgba& out) {
    const float m = std::min(std::max(o.sf[0], std::max(o.sf[1], o.sf[2])), 1.0f);
    if (m <= 0.0f) {
        out = ColorRgba{};
        return;
    }
    const float inv = 1.0f / m;
    out.r = toFloat(o.s[0]) * inv;
    out.g = toFloat(o.s[1]) * inv;
    out.b = toFloat(o.s[2]) * inv;
    out.a = m;
}

struct BlendModeEntry {
    BlendMode id;
    const char* name;
    ModeRule rule;  // null for "normal", which copies the source unchanged
};

// The one table of glue modes: id, name, rule. Ids are the row numbers.
constexpr BlendModeEntry kBlendModes[kBlendModeCount] = {
    {1, "normal", nullptr},
    {2, "procedural +", &perChannel<ruleProceduralPlus>},
    {3, "procedural -", &perChannel<ruleProceduralMinus>},
    {4, "difference", &perChannel<ruleExclusion>},
    {5, "lighten", &perChannel<ruleLighten>},
    {6, "darken", &perChannel<ruleDarken>},
    {7, "add", &perChannel<ruleAdd>},
    {8, "subtract", &perChannel<ruleSubtract>},
    {9, "multiply", &perChannel<ruleMultiply>},
    {10, "screen", &perChannel<ruleScreen>},
    {11, "hard light", &perChannel<ruleHardLight>},
    {12, "overlay", &perChannel<ruleOverlay>},
    {13, "superlay", &perChannel<ruleSuperlay>},
    {14, "exclusion", &perChannel<ruleExclusion>},
    {15, "color", &modeColor},
    {16, "luminance", &modeLuminance},
    {17, "linear light", &perChannel<ruleLinearLight>},
    {18, "pin light", &perChannel<rulePinLight>},
    {19, "spin light", &perChannel<ruleSpinLight>},
    {20, "vivid a", &perChannel<ruleVividA>},
    {21, "vivid b", &perChannel<ruleVividB>},
    {22, "saturation", &modeSaturation},
    {23, "hue", &modeHue},
    {24, "similarity", &perChannel<ruleSimilarity>},
    {25, "cross", &perChannel<ruleCross>},
    {26, "hard diff", &perChannel<ruleHardDiff>},
    {27, "soft light", &perChannel<ruleSoftLight>},
    {28, "bright", &modeBright},
    {29, "dim", &modeDim},
    {30, "dodge", &perChannel<ruleDodge>},
    {31, "burn", &perChannel<ruleBurn>},
    {32, "ace", &perChannel<ruleAce>},
    {33, "king", &perChannel<ruleKing>},
    {34, "queen", &perChannel<ruleQueen>},
    {35, "jack", &perChannel<ruleJack>},
    {36, "and", &perChannel<ruleAnd>},
    {37, "or", &perChannel<ruleOr>},
    {38, "xor", &perChannel<ruleXor>},
    {39, "multibright", &perChannel<ruleMultibright>},
    {40, "hot", &perChannel<ruleHot>},
    {41, "cold", &perChannel<ruleCold>},
    {42, "wet", &perChannel<ruleWet>},
    {43, "dry", &perChannel<ruleDry>},
    {44, "up", &perChannel<ruleUp>},
    {45, "down", &perChannel<ruleDown>},
    {46, "wax", &modeWax},
    {47, "wane", &modeWane},
    {48, "north", &modeNorth},
    {49, "south", &modeSouth},
    {50, "east", &modeEast},
    {51, "west", &modeWest},
    {52, "hard mix", &perChannel<ruleHardMix>},
    {53, "frontal", &modeFrontal},
    {54, "parietal", &modeParietal},
    {55, "temporal", &modeTemporal},
    {56, "occipital", &modeOccipital},
    {57, "limbic", &modeLimbic},
    {58, "dextrous", &perChannel<ruleDextrous>},
    {59, "sinister", &modeSinister},
    {60, "anterior", &modeAnterior},
    {61, "posterior", &modePosterior},
    {62, "screendim", &perChannel<ruleScreendim>},
    {63, "starbright", &modeStarbright},
    {64, "glow", &perChannelFloat<ruleGlow>},
    {65, "reflect", &perChannelFloat<ruleReflect>},
    {66, "shimmer", &perChannelFloat<ruleShimmer>},
    {67, "lustre", &perChannelFloat<ruleLustre>},
    {68, "negation", &perChannel<ruleNegation>},
    {69, "contrast negate", &perChannel<ruleContrastNegate>},
};

constexpr bool tableIsInIdOrder() {
    for (int i = 0; i < kBlendModeCount; ++i) {
        if (kBlendModes[i].id != i + 1) return false;
    }
    return true;
}
static_assert(tableIsInIdOrder(), "glue mode table rows must be ids 1..69 in order");

const BlendModeEntry* findMode(BlendMode mode) {
    if (mode < 1 || mode > kBlendModeCount) return nullptr;
    return &kBlendModes[mode - 1];
}

}  // namespace

bool isBlendMode(BlendMode mode) { return findMode(mode) != nullptr; }

const char* blendModeName(BlendMode mode) {
    const BlendModeEntry* entry = findMode(mode);
    return entry ? entry->name : "";
}

std::int32_t toBlendFixed(float value) { return static_cast<std::int32_t>(limitInput(value) * 32768.0f); }

void blendPixel(const ColorRgba& source, const ColorRgba& destination, ColorRgba& result, BlendMode mode) {
    const BlendModeEntry* entry = findMode(mode);
    if (entry && entry->rule == nullptr) {  // "normal"
        result = source;
        return;
    }
    Operands o;
    const float sc[3] = {source.r, source.g, source.b};
    const float dc[3] = {destination.r, destination.g, destination.b};
    for (int c = 0; c < 3; ++c) {
        o.sf[c] = limitInput(sc[c]);
        o.df[c] = limitInput(dc[c]);
        o.s[c] = static_cast<Fixed>(o.sf[c] * 32768.0f);
        o.d[c] = static_cast<Fixed>(o.df[c] * 32768.0f);
    }
    ColorRgba out;
    out.a = source.a;
    if (entry) {
        entry->rule(o, out);
    } else {
        perChannel<ruleSource>(o, out);  // unknown id: the quantised source
    }
    result = out;
}

}  // namespace globaro
