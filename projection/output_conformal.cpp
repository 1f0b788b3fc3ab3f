// Conformal world maps drawn by elliptic functions and by the Lagrange warp.
//
// The hemisphere-in-a-square map: with k = 1/√2 (m = 1/2, K = K′ ≈ 1.8541),
// ζ = k′·sd(z) carries the square of corners ±K, ±iK (standing on a corner)
// conformally onto the unit disc, its centre to 0 and its corners to ±1, ±i;
// the disc is a hemisphere seen stereographically from its far pole. Outside
// the square, sd continues the map by reflection across its sides onto the
// other hemisphere, so one formula draws both the Peirce quincuncial square
// (the north pole in the middle, the south pole in the four corners) and the
// tiles of Guyou's map. The corners of the inner square are the only points
// where the map is not conformal (it doubles angles there).
//
// Every routine works in the map's own units (x to the right, y up) and
// answers directions with the view centre at λ = φ = 0 and the north pole +y.

#include <cmath>
#include <numbers>

#include "projection/elliptic.h"
#include "projection/output_formulas.h"
#include "projection/tilings.h"

namespace globaro::output_detail {

namespace {

constexpr double kHalf = 0.5;  // m = k² = 1/2
constexpr double kCoModulus = std::numbers::sqrt2 / 2.0;
const double kQuarterPeriod = completeEllipticK(kHalf);

// ζ/k′·|den|² = num·conj(den): ζ without the division, which a pole of sd
// (den = 0) would not survive.
Complex undivided(const ComplexRatio& q) noexcept { return complexMul(q.num, complexConjugate(q.den)); }

// The stereographic coordinate ζ = k′·num/den (sd scaled to take the square's
// corners to the unit circle) of the hemisphere centred on `centre`, with
// east and north its axes, as a direction; den = 0 is the far pole.
SphereDir fromStereographic(const ComplexRatio& q, const Vec3d& centre, const Vec3d& east,
                            const Vec3d& north) noexcept {
    const double n2 = kCoModulus * kCoModulus * (q.num.re * q.num.re + q.num.im * q.num.im);
    const double d2 = q.den.re * q.den.re + q.den.im * q.den.im;
    const double sum = n2 + d2;
    if (!(sum > 0.0)) return toSphereDir(centre);
    const Complex w = undivided(q);
    const double up = (d2 - n2) / sum;
    const double e = 2.0 * (kCoModulus * w.re) / sum, n = 2.0 * (kCoModulus * w.im) / sum;
    return toSphereDir({centre.x * up + east.x * e + north.x * n, centre.y * up + east.y * e + north.y * n,
                        centre.z * up + east.z * e + north.z * n});
}

Vec3d lonLatVector(double lambda, double phi) noexcept {
    return {-std::sin(lambda) * std::cos(phi), std::sin(phi), std::cos(lambda) * std::cos(phi)};
}

// The hemisphere square |p|, |q| ≤ 1 (sides axis-aligned) as ζ on the unit
// disc: its corners at ζ = e^{±iπ/4}, e^{±3iπ/4}, the middles of its sides at
// ζ = ±1, ±i. In sd's plane the square stands on a corner: turn it by −45°
// there, and ζ back by +45°.
ComplexRatio hemisphereSquare(double p, double q) noexcept {
    ComplexRatio r = jacobiSd({kQuarterPeriod * 0.5 * (p + q), kQuarterPeriod * 0.5 * (q - p)}, kHalf);
    r.num = complexMul(r.num, {kCoModulus, kCoModulus});
    return r;
}

// The hemisphere of the unit disc (x right, y up) seen stereographically,
// as the Lagrange map opens it: the row's pre-warp W(d, 2) spreads it over
// the whole sphere, its rim becoming the meridian λ = 180° (both banks).
void hitLagrangeDisc(double x, double y, OutputResult& r) noexcept {
    if (!(x * x + y * y <= 1.0 + 1e-12)) return;
    setHit(r, inverseStereographic(static_cast<float>(x), static_cast<float>(-y)));
}

// The same for ζ = k′·num/den.
void hitLagrangeDisc(const ComplexRatio& q, OutputResult& r) noexcept {
    const double d2 = q.den.re * q.den.re + q.den.im * q.den.im;
    if (!(d2 > 0.0)) return;
    const Complex w = undivided(q);
    hitLagrangeDisc(kCoModulus * w.re / d2, kCoModulus * w.im / d2, r);
}

}  // namespace

void mapPeirceQuincuncial(const OutputCall& c, OutputResult& r) noexcept {
    // The square |x|, |y| ≤ 1; the meridian λ = 0 runs from the centre to the
    // lower right corner, so that the four points where the map doubles
    // angles lie on the equator at λ = ±45° and ±135°, away from the view
    // centre.
    const double x = 2.0 * c.cxd(), y = -2.0 * c.cyd();
    if (!(std::fabs(x) <= 1.0 && std::fabs(y) <= 1.0)) return;
    const ComplexRatio q = jacobiSd({kQuarterPeriod * x, kQuarterPeriod * y}, kHalf);
    // The plane angle θ shows longitude θ + 45°: ζ = 1 (the plane's right)
    // lies towards λ = 45°, ζ = i (up) towards λ = 135°.
    setHit(r, fromStereographic(q, {0.0, 1.0, 0.0}, lonLatVector(std::numbers::pi / 4.0, 0.0),
                                lonLatVector(3.0 * std::numbers::pi / 4.0, 0.0)));
}

void mapGuyou(const OutputCall& c, OutputResult& r) noexcept {
    // Two hemisphere squares side by side, |x| ≤ 2, |y| ≤ 1: the western one
    // centred on λ = −90°, the eastern on λ = 90°; each square's corners lie
    // at ±45° of latitude on its bounding meridians, the poles at the middles
    // of its top and bottom sides; the equator is the horizontal midline and
    // the meridian λ = 0 the shared side.
    const double x = c.cxd(), y = -c.cyd();
    if (!(std::fabs(x) <= 2.0 && std::fabs(y) <= 1.0)) return;
    const bool west = x < 0.0;
    const ComplexRatio q = hemisphereSquare(west ? x + 1.0 : x - 1.0, y);
    const double centre = west ? -std::numbers::pi / 2.0 : std::numbers::pi / 2.0;
    setHit(r, fromStereographic(q, lonLatVector(centre, 0.0), lonLatVector(centre + std::numbers::pi / 2.0, 0.0),
                                {0.0, 1.0, 0.0}));
}

void mapLagrangeDisc(const OutputCall& c, OutputResult& r) noexcept {
    // Lagrange's conformal world in a circle: the disc of the Lagrange map
    // (the exact inverse of the Lagrange input).
    hitLagrangeDisc(2.0 * c.cxd(), -2.0 * c.cyd(), r);
}

void mapAdamsSquare(const OutputCall& c, OutputResult& r) noexcept {
    // Adams' world in a square I: Lagrange's disc drawn in the hemisphere
    // square, the poles at the middles of the top and bottom sides, the
    // meridian λ = 180° on the left and right sides (its equator point at
    // their middles), the corners at ±45° on it.
    const double x = 2.0 * c.cxd(), y = -2.0 * c.cyd();
    if (!(std::fabs(x) <= 1.0 && std::fabs(y) <= 1.0)) return;
    hitLagrangeDisc(hemisphereSquare(x, y), r);
}

void mapAdamsDiamond(const OutputCall& c, OutputResult& r) noexcept {
    // Adams' world in a square II: Lagrange's disc drawn in the square
    // standing on a corner, the poles at its top and bottom corners, the
    // meridian λ = 180° at the left and right ones.
    const double x = 2.0 * c.cxd(), y = -2.0 * c.cyd();
    if (!(std::fabs(x) + std::fabs(y) <= 1.0)) return;
    hitLagrangeDisc(jacobiSd({kQuarterPeriod * x, kQuarterPeriod * y}, kHalf), r);
}

}  // namespace globaro::output_detail

namespace globaro::output_detail {

void mapSquareTile(const OutputCall& c, OutputResult& r) noexcept {
    // Peirce's square continued over the whole plane: sd carries the square
    // across each side onto its neighbour turned a half-turn about the
    // side's middle, and the neighbours of the sides' two halves show the
    // same banks of the meridians, so the squares join without a seam. The
    // theta series reduce the point to one period themselves.
    static const ThetaSd sd(kHalf);
    const double x = 2.0 * c.cxd(), y = -2.0 * c.cyd();
    if (!(std::isfinite(x) && std::isfinite(y))) return;
    const ComplexRatio q = sd({kQuarterPeriod * x, kQuarterPeriod * y});
    setHit(r, fromStereographic(q, {0.0, 1.0, 0.0}, lonLatVector(std::numbers::pi / 4.0, 0.0),
                                lonLatVector(3.0 * std::numbers::pi / 4.0, 0.0)));
}

}  // namespace globaro::output_detail
