// Output projections given by a single formula: the equirectangular family,
// the azimuthal discs and globes, the pseudocylinders of one formula, the
// perspective views and the stereographic family.

#include <cmath>

#include "geometry/angle_constants.h"
#include "projection/output_formulas.h"

namespace globaro::output_detail {

namespace {

// Turns d about the x axis by α: y' = y·cos α + z·sin α, z' = z·cos α − y·sin α.
inline SphereDir turnAboutX(const SphereDir& d, float alpha) noexcept {
    const float c = std::cos(alpha);
    const float s = std::sin(alpha);
    return {d.x, d.y * c + d.z * s, d.z * c - d.y * s};
}

// (y, z) := (−z, y): puts the pole of E at the output centre (+z).
inline SphereDir poleToCentre(const SphereDir& d) noexcept { return {d.x, -d.z, d.y}; }

}  // namespace

void mapEquirectangular(const OutputCall& c, OutputResult& r) noexcept {
    float w = 0.0f, h = 0.0f;
    const bool inside = equirectMapPosition(c.ctx.frame, c.a, c.b, w, h);
    r.storeWeight = true;
    r.weight = c.b;
    if (!inside) return;
    setHit(r, equirectDirection(1.0f - w, h));
}

// As mapEquirectangular finds its direction: it keeps b as the weight, and
// the plain map's tag. In two steps, the meridian of a and the parallel of
// b, which the row path takes from a table of the row's columns and once a
// row.
bool rowPointEquirectangular(const OutputCall& c, RowPoint& q) noexcept {
    const EquirectMeridian m = equirectMeridian(c.ctx.frame, c.a);
    EquirectParallel p;
    if (!equirectRowParallel(c.ctx.frame, c.b, p) || !m.inside) return false;
    q.lx = m.sine * p.r;
    q.ly = p.y;
    q.lz = m.cosine * p.r;
    q.storeWeight = true;
    q.weight = c.b;
    q.tag = kTagPlainMap;
    return true;
}

void mapEquiTall(const OutputCall& c, OutputResult& r) noexcept { setHit(r, equirectDirection(1.0f - c.a, c.b)); }

void mapMercator(const OutputCall& c, OutputResult& r) noexcept {
    const float h = static_cast<float>(
        (std::atan(std::sinh((c.b - 0.5f) * static_cast<float>(c.ctx.frame.aspect) * kTwoPiF)) + kFloatHalfPiWidened) *
        kFloatInvPiWidened);
    setHit(r, equirectDirection(1.0f - c.a, h));
}

void mapMirrorBall(const OutputCall& c, OutputResult& r) noexcept {
    const float p = 2.0f * c.X();
    const float q = 2.0f * c.Y();
    const float w = (1.0f - p * p - q * q) * 2.0f - 1.0f;
    if (!(w >= -1.0f)) return;
    const float rr = std::sqrt((w + 1.0f) * 2.0f);
    setHit(r, SphereDir{-rr * p, -rr * q, w});
}

void mapPolar(const OutputCall& c, OutputResult& r) noexcept {
    const float p = 2.0f * c.X();
    const float q = 2.0f * c.Y();
    float rho2 = p * p + q * q;
    const Variant v = c.entry.variant;
    if (v == Variant::kAnnulus) {
        const float h = c.ctx.annulusHole;
        if (h == 1.0f) return;
        rho2 = (rho2 - h) / (1.0f - h);
    }
    if (!(rho2 >= 0.0f && rho2 <= 1.0f)) return;
    const float theta = planeAngle(c.X(), c.Y());
    float rad = std::sqrt(rho2);
    if (v == Variant::kMagnipolar) rad = static_cast<float>((1.0 / (1.2 - rad) - 0.8333333333333334) * 6.0 / 25.0);
    const SphereDir d = equirectDirection(-theta / kTwoPiF, rad);
    setHit(r, v == Variant::kAnnulus ? d : poleToCentre(d));
}

void mapHalfPolar(const OutputCall& c, OutputResult& r) noexcept {
    const float p = 2.0f * c.X();
    const float q = 2.0f * c.Y() + 0.5f;
    const float rad = std::sqrt(p * p + q * q);
    float theta = planeAngle(p, q);
    if (theta < 0.0f) theta += kTwoPiF;
    if (theta > kTwoPiF) theta -= kTwoPiF;
    const float alpha = (theta - kPiF) * -2.0f;
    if (!(alpha >= -kPiF && alpha <= kPiF && rad >= 0.0f && rad <= 1.0f)) return;
    setHit(r, equirectDirection((alpha + kPiF) / kTwoPiF, rad));
}

void mapOrthographic(const OutputCall& c, OutputResult& r) noexcept {
    const float x = -2.0f * c.FX();
    const float y = -2.0f * c.FY();
    const float zz = 1.0f - x * x - y * y;
    if (!(zz >= 0.0f)) return;
    setHit(r, SphereDir{x, y, std::sqrt(zz)});
    r.storeNormal = true;
}

void mapLambertAzimuthal(const OutputCall& c, OutputResult& r) noexcept {
    const float x = -2.0f * c.FX();
    const float y = -2.0f * c.FY();
    if (!(x * x + y * y <= 1.0f)) return;
    const float p = 2.0f * x;
    const float q = 2.0f * y;
    const float s = p * p + q * q;
    const float k = std::sqrt(std::fmax(0.0f, 1.0f - s / 4.0f));
    setHit(r, SphereDir{p * k, q * k, 1.0f - s / 2.0f});
    r.storeNormal = true;
}

void mapHammer(const OutputCall& c, OutputResult& r) noexcept {
    const float xp = 5.656854249492384f * c.X();
    const float yp = 5.656854249492384f * c.Y();
    const float q = xp * xp / 4.0f + yp * yp;
    if (!(q <= 2.0f)) return;
    const float z = std::sqrt(1.0f - q / 4.0f);
    const float s = yp * z;
    if (!(std::fabs(s) <= 1.0f)) return;
    const float theta = planeAngle(-xp * 0.5f * z, q * 0.5f - 1.0f);
    setHit(r, equirectDirection(1.0f - (2.0f * theta + kPiF) * 0.5f / kPiF, std::asin(s) / kPiF + 0.5f));
}

namespace {

// The sinusoidal map by rows: the latitude and its cosine once a row.
bool sinusoidalRow(const OutputCall& c, PseudoRow& row) noexcept {
    const float phi = kTwoPiF * c.Y();
    if (!(std::fabs(phi) < kPiF / 2.0f)) return false;
    row.v = phi * kInvPiF + 0.5f;
    row.k[0] = std::cos(phi);
    return true;
}

bool sinusoidalAcross(const OutputCall& c, const PseudoRow& row, float& w) noexcept {
    const auto cs = static_cast<float>(row.k[0]);
    const float lambda = cs == 0.0f ? 0.0f : kTwoPiF * c.X() / cs;
    if (!(lambda > -kPiF && lambda < kPiF)) return false;
    w = -(lambda + kPiF) * 0.5f * kInvPiF;
    return true;
}

}  // namespace

const PseudoRowForm kSinusoidalRows{&sinusoidalRow, &sinusoidalAcross};

void mapSinusoidal(const OutputCall& c, OutputResult& r) noexcept { mapByPseudoRow(kSinusoidalRows, c, r); }

void mapRectilinear(const OutputCall& c, OutputResult& r) noexcept {
    float x = 0.0f, y = 0.0f;
    rectilinearPlanePoint(c.ctx, c.a, c.b, x, y);
    setHit(r, normalise(SphereDir{x, y, 1.0f}));
    r.ownTag = true;
    r.regionTag = kTagPlainMap;
}

// As mapRectilinear finds its plane point.
bool rowPointRectilinear(const OutputCall& c, RowPoint& q) noexcept {
    rectilinearPlanePoint(c.ctx, c.a, c.b, q.lx, q.ly);
    q.tag = kTagPlainMap;
    return true;
}

void mapHyperbolic(const OutputCall& c, OutputResult& r) noexcept {
    const float p = 2.0f * c.X();
    const float q = 2.0f * c.Y();
    const float theta = planeAngle(c.X(), c.Y());
    const float rad = std::sqrt(p * p + q * q);
    const SphereDir d = equirectDirection(-theta / kTwoPiF, 1.0f - 1.0f / (rad * c.ctx.wideTan + 1.0f));
    setHit(r, poleToCentre(d));
}

void mapStereographic(const OutputCall& c, OutputResult& r) noexcept {
    const float t = c.ctx.wideTan;
    const float k = 0.5f * t * t;
    setHit(r, inverseStereographic(c.X() * k, c.Y() * k));
}

void mapLogarithmic(const OutputCall& c, OutputResult& r) noexcept {
    const float t = c.ctx.wideTan;
    const float k = 0.5f * t * t;
    const float z1 = c.X() * k;
    const float z2 = c.Y() * k;
    const float m = std::exp(z1);
    setHit(r, inverseStereographic(m * std::cos(z2), m * std::sin(z2)));
}

void mapAboveAndBelow(const OutputCall& c, OutputResult& r) noexcept {
    const float t = c.ctx.wideTan;
    const float k = 0.5f * t * t;
    const ViewFrame& f = c.ctx.frame;
    const float w1 = c.X() * k;
    const float alpha = (c.ctx.fov / 180.0f) * (kPiF / 2.0f);
    r.ownTag = true;
    if (c.b > 0.5f) {
        const float w2 = static_cast<float>((c.b - 0.75) * f.scale * f.aspect) * k;
        setHit(r, turnAboutX(inverseStereographic(w1, w2), alpha));
        r.regionTag = kTagPlainMap;
    } else {
        const float w2 = static_cast<float>((c.b - 0.25) * f.scale * f.aspect) * k;
        setHit(r, turnAboutX(inverseStereographic(w1, w2), -alpha));
        r.regionTag = kTagSecondHalf;
    }
}

void mapUpAndDown(const OutputCall& c, OutputResult& r) noexcept {
    const float t = c.ctx.wideTan;
    const float k = 0.5f * t * t;
    const SphereDir d = inverseStereographic(c.X() * k, c.Y() * k);
    r.ownTag = true;
    if (c.b < 0.5f) {
        setHit(r, turnAboutX(d, -kPiF / 2.0f));
        r.regionTag = kTagPlainMap;
    } else {
        setHit(r, turnAboutX(d, kPiF / 2.0f));
        r.regionTag = kTagSecondHalf;
    }
}

void mapPanini(const OutputCall& c, OutputResult& r) noexcept {
    const double t = c.ctx.wideTan;
    // The ray o + s·v from o = (0, −1, 0) against the cylinder x² + y² = 1.
    const double vx = -0.5 * c.X() * t;
    const double vy = 1.0;
    const double vz = 0.5 * c.Y() * t;
    const double oy = -1.0;
    const double qa = vx * vx + vy * vy;
    const double qb = 2.0 * oy * vy;
    const double qc = oy * oy - 1.0;
    const double disc = qb * qb - 4.0 * qa * qc;
    if (!(disc >= 0.0) || qa == 0.0) return;
    const double s = (-qb + std::sqrt(disc)) / (2.0 * qa);  // the farther intersection
    const Vec3d h = normalise(Vec3d{vx * s, oy + vy * s, vz * s});
    setHit(r, SphereDir{static_cast<float>(h.x), static_cast<float>(-h.z), static_cast<float>(h.y)});
}

void mapCylindrical(const OutputCall& c, OutputResult& r) noexcept {
    const float a1 = std::fmin(static_cast<float>(c.ctx.frame.aspect), 1.0f);
    const float angle = a1 * 2.0f * c.FX() * kPiF;
    setHit(r, normalise(SphereDir{-std::sin(angle), -8.0f * a1 * c.FY(), std::cos(angle)}));
}

void mapWetch(const OutputCall& c, OutputResult& r) noexcept {
    const float t = c.ctx.wideTan;
    const float s = (c.a - 0.5f) * 2.0f;
    const float yt = c.Y() * t;
    if (!(yt >= -0.5f && yt <= 0.5f)) return;
    const float sign = s > 0.0f ? 1.0f : (s < 0.0f ? -1.0f : 0.0f);
    const float w =
        0.5f - (1.0f - 1.0f / (std::fabs(s) * t + 1.0f)) * sign / static_cast<float>(c.ctx.frame.aspect) * 0.33333334f;
    setHit(r, equirectDirection(w, yt + 0.5f));
}

}  // namespace globaro::output_detail
