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
#include "projection/input_projection.h"
#include "projection/output_formulas.h"
#include "projection/tilings.h"

namespace globaro::output_detail {

namespace {

constexpr double kHalf = 0.5;  // m = k² = 1/2
constexpr double kCoModulus = std::numbers::sqrt2 / 2.0;
const double kQuarterPeriod = completeEllipticK(kHalf);

// sd with m = 1/2 from the amplitude table (the real and the imaginary part
// share the parameter), set up once per process.
ComplexRatio halfSd(Complex z) noexcept {
    static const JacobiTable table(kHalf);
    return jacobiSd(z, table, table);
}

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
    ComplexRatio r = halfSd({kQuarterPeriod * 0.5 * (p + q), kQuarterPeriod * 0.5 * (q - p)});
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
    const ComplexRatio q = halfSd({kQuarterPeriod * x, kQuarterPeriod * y});
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
    // the meridian λ = 0 the shared side. The map tiles the plane by
    // translation through 4 along x (sd's reflections across the meridian
    // 180° give the western hemisphere again), so the double Guyou draws it
    // twice, |x| ≤ 4: east, west, east, west, smooth across every side.
    const double reach = c.entry.id == 118 ? 4.0 : 2.0;
    double x = c.cxd();
    const double y = -c.cyd();
    if (!(std::fabs(x) <= reach && std::fabs(y) <= 1.0)) return;
    x -= 4.0 * std::round(x / 4.0);
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
    hitLagrangeDisc(halfSd({kQuarterPeriod * x, kQuarterPeriod * y}), r);
}

void mapAdamsDiamonds(const OutputCall& c, OutputResult& r) noexcept {
    // The western and eastern hemispheres each in a square standing on a
    // corner (the hemisphere of the quincunx's inner diamond), the poles at
    // their top and bottom corners, the equator along their horizontal
    // diagonals; the two touch at the equator point λ = 0.
    const double X = 2.0 * c.cxd(), y = -2.0 * c.cyd();
    const bool west = X < 0.0;
    const double x = west ? X + 1.0 : X - 1.0;
    if (!(std::fabs(x) + std::fabs(y) <= 1.0)) return;
    const ComplexRatio q = halfSd({kQuarterPeriod * x, kQuarterPeriod * y});
    // ζ = 1 (the right corner) lies towards λ = 0 in the western diamond,
    // towards λ = 180° in the eastern one.
    const double centre = west ? -std::numbers::pi / 2.0 : std::numbers::pi / 2.0;
    setHit(r, fromStereographic(q, lonLatVector(centre, 0.0), lonLatVector(centre + std::numbers::pi / 2.0, 0.0),
                                {0.0, 1.0, 0.0}));
}

namespace {

// The inverse of Lagrange's x + iy = tan((λ + iψ)/(2W)) (ψ the isometric
// latitude ln tan(π/4 + φ/2)): λ + iψ = 2W·atan(x + iy), with
// atan(x + iy) = ½·atan2(2x, 1 − x² − y²) + (i/4)·ln((x² + (y + 1)²)/(x² + (y − 1)²)).
// False when λ leaves ±`reach`.
bool lagrangeInverse(double x, double y, double w, double reach, double offset, OutputResult& r) noexcept {
    const double lambda = w * std::atan2(2.0 * x, 1.0 - x * x - y * y);
    if (!(std::fabs(lambda) <= reach)) return false;
    const double above = x * x + (y + 1.0) * (y + 1.0), below = x * x + (y - 1.0) * (y - 1.0);
    if (!(below > 0.0)) {
        setHit(r, {0.0f, 1.0f, 0.0f});
        return true;
    }
    const double psi = 0.5 * w * std::log(above / below);
    setHit(r, toSphereDir(lonLatVector(offset + lambda, std::atan(std::sinh(psi)))));
    return true;
}

}  // namespace

void mapLagrangeGeneral(const OutputCall& c, OutputResult& r) noexcept {
    // Lagrange's conformal world with the power 1/W (PROJ's lagrng with
    // +W): x + iy = 2R·tan((λ + iψ)/(2W)). W = 2 is the circle of the
    // Lagrange output; W = 4/3 (the power 3/4) spreads the world into an
    // oval 2.414 times as wide as high, W = 3 (the power 1/3) draws it in a
    // lens √3 times as high as wide.
    const bool wide = c.entry.id == 84;
    const double w = wide ? 4.0 / 3.0 : 3.0;
    const double radius = wide ? 0.5 : 0.25;  // the rows' boxes fit the outlines
    lagrangeInverse(c.fxd() / (2.0 * radius), -c.fyd() / (2.0 * radius), w, std::numbers::pi, 0.0, r);
}

void mapStereoLunes(const OutputCall& c, OutputResult& r) noexcept {
    // The sphere cut along n meridians into lunes of 360°/n, each opened
    // into a disc by Lagrange's construction with W = 2/n: the lune
    // |λ − λ_k| ≤ 180°/n is a strip of width 2π/n in Mercator's λ + iψ, and
    // tan(n·(λ − λ_k + iψ)/4) carries it onto the unit disc, its bounding
    // meridians onto the two halves of the circle, the poles to the top and
    // bottom. For n = 2 that is the stereographic projection of the western
    // and eastern hemispheres; for n = 3 three discs of 120° each, the
    // middle one centred on λ = 0. The discs stand side by side, touching
    // on the equator.
    const int n = c.entry.id == 136 ? 3 : 2;
    const double x = 2.0 * c.fxd(), y = -2.0 * c.fyd();  // discs of radius 1
    const int k = static_cast<int>(std::floor((x + n) / 2.0));
    if (k < 0 || k >= n) return;
    const double local = x - (2 * k + 1 - n);
    if (!(local * local + y * y <= 1.0 + 1e-12)) return;
    const double centre = (2 * k + 1 - n) * std::numbers::pi / n;
    lagrangeInverse(local, y, 2.0 / n, std::numbers::pi / n + 1e-9, centre, r);
}

void mapThorn(const OutputCall& c, OutputResult& r) noexcept {
    // A loxodromic spiral of Mercator's map: w = exp(k·(λ + iψ)) with the
    // complex k = 0.4 + 0.5i. With k = i this would be the polar
    // stereographic view; the real part twists it, so the meridians become
    // logarithmic spirals and the sphere, cut along the meridian 180°,
    // fills a horn between two spirals that curls into the north pole at
    // the centre and widens without end towards the south pole. The horn
    // does not overlap itself while |k|² < Im k. The thorn levo is its
    // mirror image (x and λ both reversed, so it keeps angles too).
    constexpr Complex k{0.4, 0.5};
    constexpr double k2 = k.re * k.re + k.im * k.im;
    const double sign = c.entry.id == 87 ? -1.0 : 1.0;
    const double x = sign * c.fxd(), y = -c.fyd();
    const double radius2 = x * x + y * y;
    if (!(radius2 > 0.0)) {
        setHit(r, {0.0f, 1.0f, 0.0f});
        return;
    }
    // λ + iψ = (ln|w| + i(arg w + 2πn))·conj(k)/|k|², for the one n (if
    // any) that puts λ within ±180°: successive n are 2π·Im k/|k|² > 2π apart.
    const double L = 0.5 * std::log(radius2), angle = std::atan2(y, x);
    const double turns = std::round(-(k.re * L + k.im * angle) / (2.0 * std::numbers::pi * k.im));
    const double A = angle + 2.0 * std::numbers::pi * turns;
    const double lambda = (k.re * L + k.im * A) / k2, psi = (k.re * A - k.im * L) / k2;
    if (!(std::fabs(lambda) <= std::numbers::pi)) return;
    setHit(r, toSphereDir(lonLatVector(sign * lambda, std::atan(std::sinh(psi)))));
}

void mapSpilhaus(const OutputCall& c, OutputResult& r) noexcept {
    // Spilhaus' world ocean in a square: Adams' world in a square II in an
    // oblique aspect, its centre at 49.56371678° S 66.94970198° E (south of
    // the Indian Ocean, off Antarctica), its own north 40.17823482° east of
    // north there, and the diamond turned a quarter of a right angle
    // clockwise to stand square (the parameters of PROJ's spilhaus).
    struct Frame {
        Vec3d centre, east, north;
    };
    static const Frame frame = [] {
        const double lambda = 66.94970198 * std::numbers::pi / 180.0, phi = -49.56371678 * std::numbers::pi / 180.0;
        const double azimuth = 40.17823482 * std::numbers::pi / 180.0;
        const Vec3d northHere{std::sin(lambda) * std::sin(phi), std::cos(phi), -std::cos(lambda) * std::sin(phi)};
        const Vec3d eastHere{-std::cos(lambda), 0.0, -std::sin(lambda)};
        const double ca = std::cos(azimuth), sa = std::sin(azimuth);
        return Frame{lonLatVector(lambda, phi),
                     {ca * eastHere.x - sa * northHere.x, ca * eastHere.y - sa * northHere.y,
                      ca * eastHere.z - sa * northHere.z},
                     {ca * northHere.x + sa * eastHere.x, ca * northHere.y + sa * eastHere.y,
                      ca * northHere.z + sa * eastHere.z}};
    }();
    // The square |X|, |Y| ≤ 1/√2, turned back into Adams' diamond |x| + |y| ≤ 1.
    const double X = std::numbers::sqrt2 * c.cxd(), Y = -std::numbers::sqrt2 * c.cyd();
    const double x = (X - Y) / std::numbers::sqrt2, y = (X + Y) / std::numbers::sqrt2;
    if (!(std::fabs(x) + std::fabs(y) <= 1.0)) return;
    OutputResult disc;
    hitLagrangeDisc(halfSd({kQuarterPeriod * x, kQuarterPeriod * y}), disc);
    if (!disc.hit) return;
    // Lagrange's disc opened onto the sphere (the Adams map's own frame:
    // λ′ = 0 at +z, its north +y), then carried to the oblique centre.
    const Vec3d d = powerWarp(toVec3d(disc.d), 2.0);
    const Vec3d& k = frame.centre;
    const Vec3d& e = frame.east;
    const Vec3d& n = frame.north;
    setHit(r, toSphereDir({d.z * k.x - d.x * e.x + d.y * n.x, d.z * k.y - d.x * e.y + d.y * n.y,
                           d.z * k.z - d.x * e.z + d.y * n.z}));
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
