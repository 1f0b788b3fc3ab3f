#include "render/blend_hsl.h"

#include <algorithm>
#include <cmath>

namespace globaro {

namespace {

float unitClamp(float v) {
    // Written so that a value that is not a number becomes 0.
    if (!(v > 0.0f)) return 0.0f;
    return v < 1.0f ? v : 1.0f;
}

}  // namespace

Hsl rgbToHsl(float red, float green, float blue) {
    const float r = unitClamp(red);
    const float g = unitClamp(green);
    const float b = unitClamp(blue);
    const float hi = std::max(r, std::max(g, b));
    const float lo = std::min(r, std::min(g, b));
    Hsl out;
    out.lightness = (hi + lo) * 0.5f;
    if (out.lightness <= 0.0f) {
        out.lightness = 0.0f;
        return out;
    }
    if (hi == lo) return out;  // a grey: no hue, no saturation
    const float delta = hi - lo;
    out.saturation = out.lightness <= 0.5f ? delta / (hi + lo) : delta / (2.0f - hi - lo);
    out.saturation = std::min(out.saturation, 1.0f);
    float sextant;
    if (r == hi) {
        sextant = (g - b) / delta;
    } else if (g == hi) {
        sextant = 2.0f + (b - r) / delta;
    } else {
        sextant = 4.0f + (r - g) / delta;
    }
    float hue = sextant * 0.16666667f;
    if (hue < 0.0f) hue += 1.0f;
    if (!(hue < 1.0f) || !(hue >= 0.0f)) hue = 0.0f;  // a full turn is hue 0
    out.hue = hue;
    return out;
}

void hslToRgb(const Hsl& colour, float rgb[3]) {
    const float sat = unitClamp(colour.saturation);
    const float l = unitClamp(colour.lightness);
    float hue = colour.hue;
    if (!std::isfinite(hue)) hue = 0.0f;
    hue -= std::floor(hue);
    const float m2 = l <= 0.5f ? (sat + 1.0f) * l : sat + l - sat * l;
    const float m1 = 2.0f * l - m2;
    const float h6 = 6.0f * hue;
    int sextant = static_cast<int>(std::floor(h6));
    const float f = h6 - static_cast<float>(sextant);
    if (sextant >= 6 || sextant < 0) sextant = 0;  // six sixths is the start again
    const float rising = m1 + (m2 - m1) * f;
    const float falling = m2 - (m2 - m1) * f;
    float r, g, b;
    switch (sextant) {
        case 0:
            r = m2;
            g = rising;
            b = m1;
            break;
        case 1:
            r = falling;
            g = m2;
            b = m1;
            break;
        case 2:
            r = m1;
            g = m2;
            b = rising;
            break;
        case 3:
            r = m1;
            g = falling;
            b = m2;
            break;
        case 4:
            r = rising;
            g = m1;
            b = m2;
            break;
        default:
            r = m2;
            g = m1;
            b = falling;
            break;
    }
    rgb[0] = r;
    rgb[1] = g;
    rgb[2] = b;
}

float calibrationLevel(float hue, float saturation) {
    float rgb[3];
    hslToRgb(Hsl{hue, saturation, 0.5f}, rgb);
    return 0.28f * rgb[0] + 0.52f * rgb[1] + 0.2f * rgb[2];
}

float calibratedLightness(const Hsl& colour) {
    const float n = calibrationLevel(colour.hue, colour.saturation);
    const float l = colour.lightness;
    if (l > 0.5f) return n + (l - 0.5f) * 2.0f * (1.0f - n);
    return 2.0f * l * n;
}

float lightnessFromCalibrated(float calibrated, float level) {
    if (!(calibrated < 1.0f)) return calibrated >= 1.0f ? 1.0f : 0.0f;  // not a number: 0
    if (calibrated <= 0.0f) return 0.0f;
    const float n = unitClamp(level);
    if (calibrated <= n) return 0.5f * calibrated / n;   // n > 0 here since calibrated > 0
    return 0.5f + 0.5f * (calibrated - n) / (1.0f - n);  // n < 1 here since calibrated < 1
}

}  // namespace globaro
