#include "projection/cube_engines.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace globaro {

namespace {

using enum CubeFace;

constexpr float kQuarterPi = std::numbers::pi_v<float> / 4.0f;

// One row per engine. The sources of each row's order, names and turns are
// listed in docs/cube-maps.md; "turns" are quarter turns clockwise of the
// face's picture, from the inside view described in the header.
constexpr CubePreset kCubePresets[] = {
    // Unity: a horizontal strip +X, −X, +Y, −Y, +Z, −Z of a left-handed,
    // y-up frame looking along +Z; faces as seen from inside.
    {.name = "unity",
     .layout = CubeLayout::kStrip,
     .equiAngular = false,
     .margin = 0,
     .slots = {{{kRight, 0, "right", "px"},
                {kLeft, 0, "left", "nx"},
                {kUp, 0, "up", "py"},
                {kDown, 0, "down", "ny"},
                {kFront, 0, "front", "pz"},
                {kBack, 0, "back", "nz"}}},
     .summary = "one strip +X -X +Y -Y +Z -Z (right, left, up, down, front, back)"},
    // Unreal: X forward, Y right, Z up; the strip +X … −Z with +X turned a
    // quarter anticlockwise, −X a quarter clockwise, +Y half a turn, and the
    // two Z faces with their +Y (right) side at the top.
    {.name = "unreal",
     .layout = CubeLayout::kStrip,
     .equiAngular = false,
     .margin = 0,
     .slots = {{{kFront, 3, "front", "px"},
                {kBack, 1, "back", "nx"},
                {kRight, 2, "right", "py"},
                {kLeft, 0, "left", "ny"},
                {kUp, 3, "up", "pz"},
                {kDown, 3, "down", "nz"}}},
     .summary = "one strip +X -X +Y -Y +Z -Z of X forward, Z up, turned as the texture importer wants"},
    // OpenGL: the face selection table of the core profile, whose frame is
    // left-handed: +X is to the right when looking along +Z.
    {.name = "opengl",
     .layout = CubeLayout::kFiles,
     .equiAngular = false,
     .margin = 0,
     .slots = {{{kRight, 0, "px", "px"},
                {kLeft, 0, "nx", "nx"},
                {kUp, 0, "py", "py"},
                {kDown, 0, "ny", "ny"},
                {kFront, 0, "pz", "pz"},
                {kBack, 0, "nz", "nz"}}},
     .summary = "six files px nx py ny pz nz, looking along +Z"},
    // three.js: the same files read in a right-handed frame looking along
    // −Z, so +X and −X swap places, the front is −Z and the up and down
    // faces are seen half a turn round.
    {.name = "threejs",
     .layout = CubeLayout::kFiles,
     .equiAngular = false,
     .margin = 0,
     .slots = {{{kLeft, 0, "px", "px"},
                {kRight, 0, "nx", "nx"},
                {kUp, 2, "py", "py"},
                {kDown, 2, "ny", "ny"},
                {kBack, 0, "pz", "pz"},
                {kFront, 0, "nz", "nz"}}},
     .summary = "six files px nx py ny pz nz for CubeTextureLoader, looking along -Z"},
    // Pannellum: cubeMap lists front, right, back, left, up, down (+z, +x,
    // −z, −x, +y, −y of an OpenGL cube map).
    {.name = "pannellum",
     .layout = CubeLayout::kFiles,
     .equiAngular = false,
     .margin = 0,
     .slots = {{{kFront, 0, "front", "pz"},
                {kRight, 0, "right", "px"},
                {kBack, 0, "back", "nz"},
                {kLeft, 0, "left", "nx"},
                {kUp, 0, "up", "py"},
                {kDown, 0, "down", "ny"}}},
     .summary = "six files for cubeMap, in its order front right back left up down"},
    // krpano: <cube url="pano_%s.jpg"/> with %s one of l, f, r, b, u, d.
    {.name = "krpano",
     .layout = CubeLayout::kFiles,
     .equiAngular = false,
     .margin = 0,
     .slots = {{{kLeft, 0, "l", "nx"},
                {kFront, 0, "f", "pz"},
                {kRight, 0, "r", "px"},
                {kBack, 0, "b", "nz"},
                {kUp, 0, "u", "py"},
                {kDown, 0, "d", "ny"}}},
     .summary = "six files pano_%s with %s = l f r b u d"},
    // YouTube's equi-angular cubemap: 3 x 2, top row left, front, right;
    // bottom row down, back, up on their sides: back turned a quarter
    // clockwise, down and up a quarter anticlockwise; 2 pixels of content
    // beyond the faces at the frame's left and right edges and above and
    // below each row.
    {.name = "youtube-eac",
     .layout = CubeLayout::kGrid3x2,
     .equiAngular = true,
     .margin = 2,
     .slots = {{{kLeft, 0, "left", "nx"},
                {kFront, 0, "front", "pz"},
                {kRight, 0, "right", "px"},
                {kDown, 3, "down", "ny"},
                {kBack, 1, "back", "nz"},
                {kUp, 3, "up", "py"}}},
     .summary = "equi-angular cubemap, 3 x 2: left front right / down back up (bottom row turned)"},
};

constexpr bool presetsAreSound() {
    for (const CubePreset& p : kCubePresets) {
        bool seen[kCubeFaceCount] = {};
        for (const CubeSlot& s : p.slots) {
            const auto f = static_cast<std::size_t>(s.face);
            if (f >= kCubeFaceCount || seen[f] || s.quarterTurns > 3 || s.name.empty()) return false;
            seen[f] = true;
        }
    }
    return true;
}
static_assert(presetsAreSound(), "every preset holds each face once, with a name and a quarter-turn count");

// The cell of each face in the cross seen from inside, by face.
constexpr CubeCell kCrossCells[kCubeFaceCount] = {
    {2, 1, kRight, 0}, {0, 1, kLeft, 0}, {1, 0, kUp, 0}, {1, 2, kDown, 0}, {1, 1, kFront, 0}, {3, 1, kBack, 0},
};

}  // namespace

std::string_view cubeFaceWord(CubeFace face) noexcept {
    constexpr std::string_view kWords[kCubeFaceCount] = {"right", "left", "up", "down", "front", "back"};
    return kWords[static_cast<std::size_t>(face)];
}

// Sphere frame: +z front, +x left, +y up. A viewer turned to a face has the
// face's fu axis on the right hand and fv pointing down.
SphereDir cubeFacePoint(CubeFace face, float fu, float fv) noexcept {
    switch (face) {
        case kFront:
            return {-fu, -fv, 1.0f};
        case kBack:
            return {fu, -fv, -1.0f};
        case kLeft:
            return {1.0f, -fv, fu};
        case kRight:
            return {-1.0f, -fv, -fu};
        case kUp:
            return {-fu, 1.0f, fv};
        case kDown:
            return {-fu, -1.0f, -fv};
    }
    return {0.0f, 0.0f, 1.0f};
}

CubeFaceHit cubeFaceOfDirection(const SphereDir& d) noexcept {
    const float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
    CubeFaceHit h;
    if (az >= ax && az >= ay) {
        if (d.z > 0.0f)
            h = {kFront, -d.x / az, -d.y / az};
        else
            h = {kBack, d.x / az, -d.y / az};
    } else if (ax >= ay) {
        if (d.x > 0.0f)
            h = {kLeft, d.z / ax, -d.y / ax};
        else
            h = {kRight, -d.z / ax, -d.y / ax};
    } else {
        if (d.y > 0.0f)
            h = {kUp, -d.x / ay, d.z / ay};
        else
            h = {kDown, -d.x / ay, -d.z / ay};
    }
    return h;
}

float equiAngularFromTangent(float t) noexcept { return std::atan(t) / kQuarterPi; }
float tangentFromEquiAngular(float e) noexcept { return std::tan(e * kQuarterPi); }

std::span<const CubePreset> cubePresets() noexcept { return kCubePresets; }

const CubePreset* findCubePreset(std::string_view name) noexcept {
    for (const CubePreset& p : kCubePresets)
        if (p.name == name) return &p;
    return nullptr;
}

CubeGrid cubeLayoutGrid(CubeLayout layout) noexcept {
    switch (layout) {
        case CubeLayout::kFiles:
            return {1, 1};
        case CubeLayout::kStrip:
            return {6, 1};
        case CubeLayout::kCross:
            return {4, 3};
        case CubeLayout::kGrid3x2:
            return {3, 2};
    }
    return {1, 1};
}

CubeCell cubeLayoutCell(const CubePreset& preset, CubeLayout layout, int slot) noexcept {
    const CubeSlot& s = preset.slots[static_cast<std::size_t>(std::clamp(slot, 0, kCubeFaceCount - 1))];
    if (layout == CubeLayout::kCross) return kCrossCells[static_cast<std::size_t>(s.face)];
    const int columns = cubeLayoutGrid(layout).columns;
    return {slot % columns, slot / columns, s.face, s.quarterTurns};
}

void turnFacePosition(int quarterTurns, float fx, float fy, float& x, float& y) noexcept {
    x = fx;
    y = fy;
    for (int t = 0; t < (quarterTurns & 3); ++t) {
        const float turned = 1.0f - y;
        y = x;
        x = turned;
    }
}

void unturnFacePosition(int quarterTurns, float x, float y, float& fx, float& fy) noexcept {
    turnFacePosition(4 - (quarterTurns & 3), x, y, fx, fy);
}

int CubeSheet::margin() const noexcept { return layout == CubeLayout::kFiles ? 0 : preset->margin; }

int CubeSheet::width() const noexcept {
    const int m = margin();
    return cubeLayoutGrid(layout).columns * (side + (m > 0 ? 0 : 2 * pad)) + 2 * m;
}

int CubeSheet::height() const noexcept {
    const int m = margin();
    return cubeLayoutGrid(layout).rows * (side + 2 * (m > 0 ? m : pad));
}

void CubeSheet::faceOrigin(int slot, int& x, int& y) const noexcept {
    const CubeCell cell = cubeLayoutCell(*preset, layout, slot);
    const int m = margin();
    if (m > 0) {
        x = m + cell.column * side;
        y = m + cell.row * (side + 2 * m);
    } else {
        x = pad + cell.column * (side + 2 * pad);
        y = pad + cell.row * (side + 2 * pad);
    }
}

void CubeSheet::faceBlock(int slot, int& x0, int& y0, int& x1, int& y1) const noexcept {
    faceOrigin(slot, x0, y0);
    const int m = margin();
    const int columns = cubeLayoutGrid(layout).columns;
    const int column = cubeLayoutCell(*preset, layout, slot).column;
    x1 = x0 + side;
    y1 = y0 + side;
    if (m > 0) {
        // The row's margins: left of its first face, right of its last.
        if (column == 0) x0 -= m;
        if (column == columns - 1) x1 += m;
        y0 -= m;
        y1 += m;
    } else {
        x0 -= pad;
        y0 -= pad;
        x1 += pad;
        y1 += pad;
    }
}

std::optional<SphereDir> CubeSheet::direction(float px, float py) const noexcept {
    for (int slot = 0; slot < kCubeFaceCount; ++slot) {
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        faceBlock(slot, x0, y0, x1, y1);
        if (px < static_cast<float>(x0) || px >= static_cast<float>(x1) || py < static_cast<float>(y0) ||
            py >= static_cast<float>(y1))
            continue;
        int fx0 = 0, fy0 = 0;
        faceOrigin(slot, fx0, fy0);
        const CubeCell cell = cubeLayoutCell(*preset, layout, slot);
        // Face fractions may leave [0, 1] in the pad or the margins.
        float fx = 0.0f, fy = 0.0f;
        const float n = static_cast<float>(side);
        unturnFacePosition(cell.quarterTurns, (px - static_cast<float>(fx0)) / n, (py - static_cast<float>(fy0)) / n,
                           fx, fy);
        float fu = 2.0f * fx - 1.0f, fv = 2.0f * fy - 1.0f;
        if (preset->equiAngular) {
            fu = tangentFromEquiAngular(fu);
            fv = tangentFromEquiAngular(fv);
        }
        return normalise(cubeFacePoint(cell.face, fu, fv));
    }
    return std::nullopt;
}

void CubeSheet::position(const SphereDir& d, float& px, float& py, int& x0, int& y0, int& x1, int& y1) const noexcept {
    const CubeFaceHit hit = cubeFaceOfDirection(d);
    float fu = hit.fu, fv = hit.fv;
    if (preset->equiAngular) {
        fu = equiAngularFromTangent(fu);
        fv = equiAngularFromTangent(fv);
    }
    int slot = 0;
    while (slot + 1 < kCubeFaceCount && preset->slots[static_cast<std::size_t>(slot)].face != hit.face) ++slot;
    const CubeCell cell = cubeLayoutCell(*preset, layout, slot);
    float x = 0.0f, y = 0.0f;
    turnFacePosition(cell.quarterTurns, (fu + 1.0f) * 0.5f, (fv + 1.0f) * 0.5f, x, y);
    int fx0 = 0, fy0 = 0;
    faceOrigin(slot, fx0, fy0);
    px = static_cast<float>(fx0) + x * static_cast<float>(side);
    py = static_cast<float>(fy0) + y * static_cast<float>(side);
    faceBlock(slot, x0, y0, x1, y1);
}

}  // namespace globaro
