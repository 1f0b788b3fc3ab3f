// Cube-map output layouts: the six faces side by side in a grid of cells
// (Unity 6 frames, Facebook 3x2, Pano2VR 3x2) and the zenith & nadir pair.

#include <cmath>

#include "projection/output_formulas.h"

namespace globaro::output_detail {

namespace {

// Turns d about the unit axis f by angle.
SphereDir rollAbout(const SphereDir& d, const SphereDir& f, float angle) noexcept {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float fd = dot(f, d);
    const SphereDir fxd{f.y * d.z - f.z * d.y, f.z * d.x - f.x * d.z, f.x * d.y - f.y * d.x};
    return {d.x * c + fxd.x * s + f.x * fd * (1.0f - c), d.y * c + fxd.y * s + f.y * fd * (1.0f - c),
            d.z * c + fxd.z * s + f.z * fd * (1.0f - c)};
}

}  // namespace

void mapCubeLayout(const OutputCall& call, OutputResult& r) noexcept {
    const CubeLayout* layout = call.entry.cube;
    r.face = -1;
    if (layout == nullptr) return;
    const CubeCellPoint p = cubeCellPoint(*layout, call.fxd(), call.fyd());
    if (!p.inside) return;
    const int cell = p.index;
    // The face-local point (x, y, 1) made unit length (its length is at
    // least 1, so the zero-vector guard of `normalise` is not needed).
    const float len = std::sqrt(p.lx * p.lx + p.ly * p.ly + 1.0f);
    const SphereDir l{p.lx / len, p.ly / len, 1.0f / len};
    SphereDir d = cubeFaceDirection(*layout, cell, l);
    if (layout->roll[cell] != 0.0f) d = rollAbout(d, layout->faces[cell], layout->roll[cell]);
    setHit(r, d);
    r.face = cell;
    // The cells are numbered down the columns, so neighbours across a row may
    // share a parity: the cut lines take the cells' checkerboard instead.
    r.cutSide = static_cast<std::int8_t>((p.col + p.row) & 1);
    r.ownTag = true;
    // Pano2VR's top row (front, right, back) is one continuous strip: its
    // three cells share tag 0 so that the antialiasing blends across them.
    r.regionTag = layout->topRowSharesTag && p.row == 0 ? 0 : cell;
}

// As mapCubeLayout finds its cell, for a layout without rolls.
bool rowPointCubeLayout(const OutputCall& call, RowPoint& q) noexcept {
    const CubeLayout& layout = *call.entry.cube;
    const CubeCellPoint p = cubeCellPoint(layout, call.fxd(), call.fyd());
    if (!p.inside) return false;
    q.region = p.index;
    q.tag = layout.topRowSharesTag && p.row == 0 ? 0 : p.index;
    q.lx = p.lx;
    q.ly = p.ly;
    return true;
}

void mapZenithNadir(const OutputCall& call, OutputResult& r) noexcept {
    const float x = call.X();
    const float y = call.Y();
    r.ownTag = true;
    r.regionTag = kTagEmpty;
    if (!(y >= -0.25f && y <= 0.25f)) return;
    const float ly = -4.0f * y;
    if (x >= -0.5f && x <= 0.0f) {
        const SphereDir p = normalise(SphereDir{-4.0f * (x + 0.25f), ly, 1.0f});
        setHit(r, SphereDir{p.x, p.z, -p.y});
        r.regionTag = 1;
        r.face = 1;
    } else if (x > 0.0f && x <= 0.5f) {
        const SphereDir p = normalise(SphereDir{-4.0f * (x - 0.25f), ly, 1.0f});
        setHit(r, SphereDir{p.x, -p.z, p.y});
        r.regionTag = 2;
        r.face = 2;
    }
}

}  // namespace globaro::output_detail
