#pragma once
// The line overlay: outlines traced by marching squares over the line
// functions the output mapping stores in every pixel corner, spread onto the
// corners as coverage that the shading pass lays over each pixel in the line
// colour. Antialiased lines about one output pixel wide, whatever the scale.
//
// The two line families and what the outputs store in them:
//   1  `lineValue`, threshold 0.005, strength 1.0: the outline of the maps
//      and layouts (1 inside, 0 outside, when edges are drawn) and the
//      indicatrix rings (the squared chord to the nearest circle centre).
//   2  `lineValue2`, threshold 0, strength 0.7: the face edges of the nets
//      (the distance to the nearest side of the face, signed by the face's
//      fold side, so that it changes sign across every fold), and the cuts
//      between the faces or gores of the layouts (+-0.5 by the parity of
//      the face number). 1.0 means "outside every face": such a corner of a
//      net takes the opposite of a face corner of its pixel (the cut lines
//      round the net and its tabs), in a layout a copy (no line).
// Glue tabs and transparent areas (and the tabs' and gaps' own corners)
// never receive coverage.

#include <cstdint>

#include "projection/render_context.h"
#include "render/pixel_pipeline.h"

namespace globaro {

inline constexpr float kLineThreshold1 = 0.005f;
inline constexpr float kLineThreshold2 = 0.0f;
inline constexpr float kLineStrength1 = 1.0f;
inline constexpr float kLineStrength2 = 0.7f;
// The value of the second line function outside every face.
inline constexpr float kLineOutside = 1.0f;

// Marching squares in one pixel: corner values a (top left), b (top right),
// c (bottom left), d (bottom right); the crossings of `threshold` become
// segments whose length times `strength` is spread onto the four corners'
// coverage (in the same order).
void traceContour(float a, float b, float c, float d, float threshold, float strength, float coverage[4]) noexcept;

// The overlay pass of one tile: both families over every pixel of the job
// (its border row and column included), into the cells' `lineCoverage`.
void drawTileLines(const RenderContext& ctx, CellGrid& grid) noexcept;

// The overlays of the render path (the line overlay, the graticule), as the
// render session uses them.
OverlayHooks standardOverlayHooks() noexcept;

}  // namespace globaro
