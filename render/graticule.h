#pragma once
// The graticule: meridians and parallels at the chosen spacing, drawn pixel
// by pixel from the sphere position of what each pixel shows, as strong as
// the pixel is close to a line relative to its own footprint: one output
// pixel wide whatever the distortion, antialiased.

#include <cstdint>

#include "projection/render_context.h"
#include "render/pixel_pipeline.h"

namespace globaro {

struct GraticuleCounts {
    int parallels = 0;  // nLat: 180 degrees over the spacing
    int meridians = 0;  // nLon: twice that, 4 in the two polar bands
};

// The counts for `grid` (2..7) at the latitude fraction v (0 north pole, 1
// south pole). Zero counts for `grid` 1 or out of range.
GraticuleCounts graticuleCounts(std::int32_t grid, float v) noexcept;

// The strength (0..1) of the graticule in pixel (x, y) of the grid (the
// pixel whose lower-right corner is (x, y)).
float graticuleStrength(std::int32_t x, std::int32_t y, const RenderContext& ctx, const CellGrid& grid) noexcept;

// Lays the line colour over the pixel by half the strength, divided by the
// preview step; alpha is left alone.
void drawGraticule(std::int32_t x, std::int32_t y, ColorRgba& colour, const RenderContext& ctx, const CellGrid& grid,
                   float step) noexcept;

}  // namespace globaro
