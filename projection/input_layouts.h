#pragma once
// Where the six cube faces lie in the cube-layout inputs ("horizontal cross",
// "vertical cross", "Unity 6 frames", "Facebook 3x2 cube", "Pano2VR 3x2
// cube"). The input lookup answers a face and a face-local position; the
// output mapping places that position in the face's cell of the layout
// before it stores the input position. Each layout is the one the matching
// output writes (337 → 33, 338 → 34, 339 → 35, the cross nets 172 → 27 and
// 173 → 28), so that a cube map written by the module reads back exactly.
// Allocation-free; safe to call from every render thread at once.

#include <array>
#include <cstdint>

#include "geometry/projection_id.h"

namespace globaro {

// The cell of one face: its column and row in the layout's grid (column 0
// at the left, row 0 at the top) and how the face sits in it. The face-local
// u is mirrored first (u := 1 − u) when `mirrored` is set; then the face is
// turned by `quarterTurns` quarter turns clockwise as seen in the image, each
// turn taking (u, v) to (1 − v, u).
struct CubeCellPlacement {
    std::uint8_t column = 0;
    std::uint8_t row = 0;
    std::uint8_t quarterTurns = 0;  // 0..3
    bool mirrored = false;
};

// One cube-layout input: its grid of equal cells and the cell of each face,
// indexed by the face index of the input lookup (0 −z, 1 −x, 2 −y, 3 +z,
// 4 +x, 5 +y).
struct CubeInputLayout {
    InputProjectionId input = 0;
    std::int32_t columns = 1;
    std::int32_t rows = 1;
    std::array<CubeCellPlacement, 6> faces{};
};

// The smallest distance, as a fraction of a cell, that a placed position
// keeps from its cell's border, so that it never lands on the border shared
// with a neighbouring cell.
inline constexpr float kCubeCellMargin = 1.0e-5f;

// The layout of a cube-layout input, or null for every other input.
const CubeInputLayout* findCubeInputLayout(InputProjectionId input) noexcept;

// True for the inputs whose faces the caller places (27, 28, 33, 34, 35).
inline bool isCubeLayoutInput(InputProjectionId input) noexcept { return findCubeInputLayout(input) != nullptr; }

// Turns the face-local position (u, v) in [0, 1] of `face` into the position
// in the whole source image laid out as `input`. The face-local position is
// first limited to [margin, 1 − margin] in each direction (marginU, marginV
// are fractions of the face; values below kCubeCellMargin count as
// kCubeCellMargin, values above 0.5 as 0.5), so that the result lies
// strictly inside the face's cell; a caller that knows the source's pixel
// size can pass half a pixel to keep a filtered lookup off the neighbouring
// cell. Returns false, and leaves u and v alone, when `input` is not a
// cube-layout input, `face` is not 0..5 or u or v is not a number.
bool placeInCubeLayout(InputProjectionId input, std::int32_t face, float& u, float& v, float marginU = kCubeCellMargin,
                       float marginV = kCubeCellMargin) noexcept;

// The same with the layout already looked up (the render setup resolves it
// once per render).
bool placeInCubeLayout(const CubeInputLayout& layout, std::int32_t face, float& u, float& v,
                       float marginU = kCubeCellMargin, float marginV = kCubeCellMargin) noexcept;

}  // namespace globaro
