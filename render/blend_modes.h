#pragma once

#include <cstdint>

// The glue (blend) modes: how the rendered colour (source, the top layer) is
// combined with the pixel already in the image (destination, the base).
// Ids 1..69 are stored in settings, presets and scripts and never renumbered;
// one table in blend_modes.cpp holds every mode's id, name and rule.
//
// Every mode but "normal" computes on 15-bit fixed-point channels, 32768 = 1.0.

namespace globaro {

// A colour of the render path: four floats, not premultiplied, nominally 0..1.
struct ColorRgba {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
};

using BlendMode = std::int32_t;

inline constexpr BlendMode kBlendNormal = 1;
inline constexpr int kBlendModeCount = 69;  // ids 1..69

inline constexpr std::int32_t kBlendOne = 32768;   // 1.0 in 15-bit fixed point
inline constexpr std::int32_t kBlendHalf = 16384;  // 0.5

// True for ids 1..69.
bool isBlendMode(BlendMode mode);

// The name of a mode ("normal", "procedural +", ...), or "" outside 1..69.
const char* blendModeName(BlendMode mode);

// Blends one pixel. Mode 1 copies the source unchanged. Every other id turns
// the red, green and blue of both colours into 15-bit values (truncated;
// values are first limited to 0..2 so that no intermediate can overflow, a
// value that is not a number counts as 0), applies the mode, and converts
// back; ids outside 1..69 give the quantised source. The result's alpha is the
// source alpha except in mode 63 ("starbright"). `result` may alias either
// input. No allocation; safe from any thread.
void blendPixel(const ColorRgba& source, const ColorRgba& destination, ColorRgba& result, BlendMode mode);

// The 15-bit value of a channel as blendPixel quantises it:
// truncate(min(max(value, 0), 2) x 32768).
std::int32_t toBlendFixed(float value);

}  // namespace globaro
