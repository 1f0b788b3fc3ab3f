#include "projection/output_splat.h"

#include <cmath>
#include <numbers>

#include "polyhedra/generators.h"
#include "projection/schwarz_christoffel.h"

namespace globaro {

namespace {

// The located point in the star's own plane: the weights applied to the
// triangle's solid corners, with the model's stored mirroring undone, y
// turned up (the net's y runs down the picture).
Complex starPoint(const PolyModel& m, const NetHit& hit) noexcept {
    const NetTriangle& t = m.triangles[hit.triangle];
    const double x = hit.b0 * t.solid[0] + hit.b1 * t.solid[3] + hit.b2 * t.solid[6];
    const double y = hit.b0 * t.solid[1] + hit.b1 * t.solid[4] + hit.b2 * t.solid[7];
    const double s = m.mirrorXY ? -1.0 : 1.0, mx = m.mirrorX ? -1.0 : 1.0;
    return {x * s * mx, -y * s};
}

bool splatFromModel(const PolyModel& m, const NetHit& hit, SphereDir& d) noexcept {
    return splatDirection(starPoint(m, hit), d);
}

struct SpecialMappingRow {
    PolyKind kind;
    bool (*map)(const PolyModel&, const NetHit&, SphereDir&) noexcept;
};

constexpr SpecialMappingRow kSpecialMappings[] = {
    {65, &splatFromModel},
};

}  // namespace

bool splatDirection(Complex w, SphereDir& d) noexcept {
    static const StarMap star(kSplatPoints, kSplatTipAngle);
    const double r = star.tipRadius();
    Complex z;
    // A point on the outline may fall a rounding step outside it.
    if (!star.inverse({w.re * r, w.im * r}, z) && !star.inverse({w.re * r * (1.0 - 1e-9), w.im * r * (1.0 - 1e-9)}, z))
        return false;
    // Lagrange's disc: λ + iψ = 2i·log((1 − iz)/(1 + iz)), ψ the isometric
    // latitude; e^ψ = |1 − iz|²/|1 + iz|², so φ = 2·atan(e^ψ) − π/2 stays
    // defined at the poles z = ±i.
    const Complex num{1.0 + z.im, -z.re}, den{1.0 - z.im, z.re};
    const double lambda = -2.0 * (std::atan2(num.im, num.re) - std::atan2(den.im, den.re));
    const double phi =
        2.0 * std::atan2(num.re * num.re + num.im * num.im, den.re * den.re + den.im * den.im) - std::numbers::pi / 2.0;
    d = toSphereDir({-std::sin(lambda) * std::cos(phi), std::sin(phi), std::cos(lambda) * std::cos(phi)});
    return true;
}

bool specialModelDirection(const PolyModel& m, const NetHit& hit, SphereDir& d) noexcept {
    if (hit.triangle < 0 || hit.triangle >= m.triangleCount) return false;
    for (const SpecialMappingRow& row : kSpecialMappings)
        if (row.kind == m.kind) return row.map(m, hit, d);
    return false;
}

}  // namespace globaro
