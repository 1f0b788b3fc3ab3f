#pragma once
// Cube maps as game engines and panorama viewers read them: the six faces
// seen from inside the cube, each engine's face order, file names, face
// turns and layout (six files, a strip, the cross seen from inside, or the
// equi-angular 3 x 2 layout), and the equi-angular face sampling.
//
// A face is described in face-local tangent coordinates (fu, fv) in
// [-1, 1]: fu grows to the right and fv downwards in the face's picture, as
// a viewer standing at the cube's centre, facing the front, sees it after
// turning to the face. The side faces stand upright; the up face has the
// back at its top edge and the down face has the front at its top edge (the
// frame in which every engine below documents its faces).
//
// Pure functions and constant tables; safe from every thread.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "geometry/vec_math.h"

namespace globaro {

// The six faces, named as a viewer facing the panorama's centre sees them
// (front +z, left +x, up +y in the sphere frame).
enum class CubeFace : std::uint8_t { kRight, kLeft, kUp, kDown, kFront, kBack };
inline constexpr int kCubeFaceCount = 6;

// "right", "left", "up", "down", "front", "back".
std::string_view cubeFaceWord(CubeFace face) noexcept;

// The direction of the face-local point (fu, fv) of `face` (not normalised:
// the point on the cube of half-side 1).
SphereDir cubeFacePoint(CubeFace face, float fu, float fv) noexcept;

// The face a direction falls on and its face-local coordinates; the largest
// component decides (ties go to front/back, then left/right).
struct CubeFaceHit {
    CubeFace face = CubeFace::kFront;
    float fu = 0.0f, fv = 0.0f;
};
CubeFaceHit cubeFaceOfDirection(const SphereDir& d) noexcept;

// Equi-angular face sampling: a face coordinate e in [-1, 1] that grows with
// the angle seen from the centre, e = (4/π)·atan(t) for the tangent
// coordinate t. (Brown, "Bringing pixels front and center in VR video",
// Google blog 2017: each pixel of the face covers the same angle.)
float equiAngularFromTangent(float t) noexcept;
float tangentFromEquiAngular(float e) noexcept;

// How the faces of a cube map are put in files.
enum class CubeLayout : std::uint8_t {
    kFiles,    // six files, one face each
    kStrip,    // one row of six faces, in the preset's order
    kCross,    // the horizontal cross seen from inside: up above the front,
               // left, front, right, back across, down below the front
    kGrid3x2,  // three columns and two rows, in the preset's order (row by row)
};

// One face in a preset: which face, how many quarter turns clockwise (as
// seen in its picture) it is turned before it is stored, and the engine's
// name for it (the `{face}` of a file pattern).
struct CubeSlot {
    CubeFace face;
    std::uint8_t quarterTurns;
    std::string_view name;  // the engine's own word for the face
    std::string_view axis;  // the axis the engine puts it on: px, nx, py, ny, pz, nz
};

// One engine's convention: one row of `kCubePresets`.
struct CubePreset {
    std::string_view name;          // the --cube-preset word
    CubeLayout layout;              // its usual layout
    bool equiAngular;               // faces sampled equi-angularly
    std::uint8_t margin;            // pixels of content beyond the faces around each row of a sheet
    std::array<CubeSlot, 6> slots;  // in file / strip / grid order
    std::string_view summary;       // one line for the help and the docs
};

std::span<const CubePreset> cubePresets() noexcept;
const CubePreset* findCubePreset(std::string_view name) noexcept;

// Grid size of a single-image layout in cells (files: 1 x 1).
struct CubeGrid {
    int columns = 1, rows = 1;
};
CubeGrid cubeLayoutGrid(CubeLayout layout) noexcept;

// Where slot `slot` of `preset` lies in a single-image layout: its cell,
// and the face and turn it holds there. The cross places the faces by their
// neighbours and keeps every face unturned, whatever the preset's order.
struct CubeCell {
    int column = 0, row = 0;
    CubeFace face = CubeFace::kFront;
    int quarterTurns = 0;
};
CubeCell cubeLayoutCell(const CubePreset& preset, CubeLayout layout, int slot) noexcept;

// The picture position (x, y) in [0, 1] of a face turned by `quarterTurns`
// clockwise, for the unturned position (fx, fy), and back.
void turnFacePosition(int quarterTurns, float fx, float fy, float& x, float& y) noexcept;
void unturnFacePosition(int quarterTurns, float x, float y, float& fx, float& fy) noexcept;

// The pixel geometry of a single-image layout with faces of `side` pixels
// (`pad` pixels of neighbouring content around every face): the sheet's
// size and the top-left pixel of each face proper. A preset's `margin`
// widens each row of faces by that many pixels of content beyond the faces
// on its left and right and above and below it (the EAC frames' 2 pixels),
// and then takes no pad.
struct CubeSheet {
    const CubePreset* preset = nullptr;
    CubeLayout layout = CubeLayout::kStrip;
    int side = 0, pad = 0;

    int margin() const noexcept;
    int width() const noexcept;
    int height() const noexcept;
    // The face proper of slot `slot` starts at (x, y).
    void faceOrigin(int slot, int& x, int& y) const noexcept;
    // The block of pixels the slot's picture fills: the face with its pad
    // or its share of the margins.
    void faceBlock(int slot, int& x0, int& y0, int& x1, int& y1) const noexcept;
    // The direction at the pixel position (px, py) (pixel centres at
    // half-integers), or nothing outside every block.
    std::optional<SphereDir> direction(float px, float py) const noexcept;
    // The pixel position of a direction and the block it falls in.
    void position(const SphereDir& d, float& px, float& py, int& x0, int& y0, int& x1, int& y1) const noexcept;
};

}  // namespace globaro
