#include "projection/input_layouts.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace globaro {

namespace {

// Short forms for the table: a face kept as it is, mirrored, or mirrored and
// turned.
constexpr CubeCellPlacement at(int column, int row) {
    return {static_cast<std::uint8_t>(column), static_cast<std::uint8_t>(row), 0, false};
}
constexpr CubeCellPlacement mirroredAt(int column, int row, int quarterTurns = 0) {
    return {static_cast<std::uint8_t>(column), static_cast<std::uint8_t>(row), static_cast<std::uint8_t>(quarterTurns),
            true};
}

// The layouts, by input id. Faces by index: 0 back (−z), 1 right (−x),
// 2 down (−y), 3 front (+z), 4 left (+x), 5 up (+y).
//
// - "Unity 6 frames" (output 337): right, left, up, down, front, back in one
//   row, every face as the layout's cells show it.
// - "Facebook 3x2 cube" (338): top row right, left, up; bottom row down,
//   front, back.
// - "Pano2VR 3x2 cube" (339): top row front, right, back; bottom row left,
//   up, down.
// - "horizontal cross" (172, the cube net): the strip right, front, left,
//   back across the middle row, up above and down below the front. The net
//   shows the cube from outside, so every face is the mirror image of the
//   face as the cell layouts store it.
// - "vertical cross" (173, the same net a quarter turn round): the strip
//   back, left, front, right down the middle column, up to the left and down
//   to the right of the front. The input lookup already reads the back face
//   upside down, so it takes the opposite turn to the other five.
constexpr CubeInputLayout kCubeInputLayouts[] = {
    {27,
     4,
     3,
     {mirroredAt(3, 1), mirroredAt(0, 1), mirroredAt(1, 2), mirroredAt(1, 1), mirroredAt(2, 1), mirroredAt(1, 0)}},
    {28,
     3,
     4,
     {mirroredAt(1, 0, 1), mirroredAt(1, 3, 3), mirroredAt(2, 2, 3), mirroredAt(1, 2, 3), mirroredAt(1, 1, 3),
      mirroredAt(0, 2, 3)}},
    {33, 6, 1, {at(5, 0), at(0, 0), at(3, 0), at(4, 0), at(1, 0), at(2, 0)}},
    {34, 3, 2, {at(2, 1), at(0, 0), at(0, 1), at(1, 1), at(1, 0), at(2, 0)}},
    {35, 3, 2, {at(2, 0), at(1, 0), at(2, 1), at(0, 0), at(0, 1), at(1, 1)}},
};

// Every layout is a grid of at most 6 × 6 cells, every face has a cell of
// its own inside the grid, and every turn is a quarter turn count.
constexpr bool layoutsAreSound() {
    for (const CubeInputLayout& l : kCubeInputLayouts) {
        if (l.columns < 1 || l.rows < 1 || l.columns > 6 || l.rows > 6) return false;
        for (std::size_t i = 0; i < l.faces.size(); ++i) {
            const CubeCellPlacement& p = l.faces[i];
            if (p.column >= l.columns || p.row >= l.rows || p.quarterTurns > 3) return false;
            for (std::size_t j = 0; j < i; ++j) {
                if (l.faces[j].column == p.column && l.faces[j].row == p.row) return false;
            }
        }
    }
    for (std::size_t i = 1; i < std::size(kCubeInputLayouts); ++i) {
        if (kCubeInputLayouts[i - 1].input >= kCubeInputLayouts[i].input) return false;
    }
    return true;
}
static_assert(layoutsAreSound(), "each face has its own cell inside its layout's grid; ids ascend");

}  // namespace

const CubeInputLayout* findCubeInputLayout(InputProjectionId input) noexcept {
    for (const CubeInputLayout& l : kCubeInputLayouts) {
        if (l.input == input) return &l;
    }
    return nullptr;
}

bool placeInCubeLayout(InputProjectionId input, std::int32_t face, float& u, float& v, float marginU,
                       float marginV) noexcept {
    const CubeInputLayout* layout = findCubeInputLayout(input);
    return layout != nullptr && placeInCubeLayout(*layout, face, u, v, marginU, marginV);
}

bool placeInCubeLayout(const CubeInputLayout& layout, std::int32_t face, float& u, float& v, float marginU,
                       float marginV) noexcept {
    if (face < 0 || face >= static_cast<std::int32_t>(layout.faces.size())) return false;
    if (std::isnan(u) || std::isnan(v)) return false;
    const CubeCellPlacement& p = layout.faces[static_cast<std::size_t>(face)];

    float fu = u;
    float fv = v;
    if (p.mirrored) fu = 1.0f - fu;
    for (int t = 0; t < p.quarterTurns; ++t) {
        const float turnedU = 1.0f - fv;
        fv = fu;
        fu = turnedU;
    }

    // Strictly inside the cell, never on the border it shares with another.
    const auto limit = [](float m) { return std::clamp(std::isnan(m) ? 0.0f : m, kCubeCellMargin, 0.5f); };
    const float mu = limit(marginU);
    const float mv = limit(marginV);
    fu = std::clamp(fu, mu, 1.0f - mu);
    fv = std::clamp(fv, mv, 1.0f - mv);

    u = (static_cast<float>(p.column) + fu) / static_cast<float>(layout.columns);
    v = (static_cast<float>(p.row) + fv) / static_cast<float>(layout.rows);
    return true;
}

}  // namespace globaro
