#pragma once

// Hue, saturation and lightness for the glue modes that move colour between
// the rendered pixel and the pixel already in the image, with the calibrated
// lightness that keeps a saturated colour at the brightness the eye expects.
// All values are single-precision floats in 0..1. Pure functions, safe to
// call from any thread.

namespace globaro {

struct Hsl {
    float hue = 0.0f;         // 0 <= hue < 1 (one turn), 0 for greys
    float saturation = 0.0f;  // 0..1
    float lightness = 0.0f;   // 0..1, (max + min) / 2
};

// HSL of a colour. Channels are first limited to 0..1 (a value that is not a
// number counts as 0). A lightness of 0 gives all zero; a grey (max = min)
// gives hue and saturation 0.
Hsl rgbToHsl(float red, float green, float blue);

// The usual inverse. Hue is wrapped into [0, 1); saturation and lightness are
// limited to 0..1. Writes red, green, blue into rgb[0..2].
void hslToRgb(const Hsl& colour, float rgb[3]);

// n = 0.28 R + 0.52 G + 0.2 B of the colour with this hue and saturation at
// lightness 0.5: the calibrated lightness of that colour.
float calibrationLevel(float hue, float saturation);

// The calibrated lightness L of an HSL colour: 2 l n up to l = 0.5, then
// rising linearly from n to 1.
float calibratedLightness(const Hsl& colour);

// The HSL lightness l that gives calibrated lightness L for a colour of
// calibration level n (inverse of calibratedLightness).
float lightnessFromCalibrated(float calibrated, float level);

}  // namespace globaro
