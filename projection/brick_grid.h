#pragma once
// The grid of the brick sphere: horizontal layers of 1 x 1 bricks (20 LDraw
// units wide, 24 high) or plates (8 high), `across` cells along both
// horizontal axes so that the filled cells make a round ball. Shared by the
// brick export and the "brick preview" output, which draws the same ball.
//
// Cell (x, z, layer): x grows to the right of the model's front, z from its
// back to its front, layer from the bottom up. Each axis is measured in its
// own cell count: the centred coordinate of a cell runs over -0.5 .. 0.5.

#include <algorithm>
#include <cstdint>

#include "geometry/vec_math.h"

namespace globaro {

// The most layers a ball is built with (the setting's range ends there).
inline constexpr std::int32_t kMaxBrickLayers = 150;

struct BrickGrid {
    std::int32_t layers = 1;
    std::int32_t across = 1;
};

// `layers` kept to 1..150; across = truncate(layers x 0.4) for plates and
// truncate(layers x 1.2) for bricks, in whole numbers.
inline BrickGrid brickGrid(std::int32_t layers, bool plates) noexcept {
    const std::int32_t n = std::clamp(layers, 1, kMaxBrickLayers);
    return {n, plates ? n * 4 / 10 : n * 12 / 10};
}

inline double brickCentred(std::int32_t i, std::int32_t count) noexcept { return (i + 0.5) / count - 0.5; }

// Whether the cell lies in the grid and inside the ball.
inline bool brickCellFilled(const BrickGrid& g, std::int32_t x, std::int32_t z, std::int32_t layer) noexcept {
    if (x < 0 || z < 0 || layer < 0 || x >= g.across || z >= g.across || layer >= g.layers) return false;
    const double px = brickCentred(x, g.across), pz = brickCentred(z, g.across), py = brickCentred(layer, g.layers);
    return px * px + pz * pz + py * py < 0.25;
}

// The direction from the ball's centre to the centre of a cell (unit length):
// the model's front shows the direction (0, 0, 1), its top the north pole and
// its right the direction (-1, 0, 0), so that a world map reads as on a globe
// seen from outside.
inline SphereDir brickCellDirection(const BrickGrid& g, std::int32_t x, std::int32_t z, std::int32_t layer) noexcept {
    return toSphereDir(
        normalise(Vec3d{-brickCentred(x, g.across), brickCentred(layer, g.layers), brickCentred(z, g.across)}));
}

}  // namespace globaro
