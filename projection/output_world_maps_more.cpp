// More world-map outputs: the equal-area cylinder and square, the
// interrupted Mollweide and sinusoidal maps and the homolosines, Bonne and
// Werner, Strebe's 1995 composite, the vertical and tilted perspectives, the
// retroazimuthal pair, and the orthoapsidal maps (the sphere drawn on a
// surface of revolution, tilted and seen orthographically).
//
// Every routine takes the plane point of its extent box, turns it into the
// map's own units (x to the right, y up, in sphere radii), inverts the map's
// equations for longitude λ (east positive) and latitude φ (north positive),
// and answers the direction of (λ, φ): the centre of the view is λ = φ = 0,
// the north pole +y. Pure functions of the call, safe from every thread.

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <span>
#include <string_view>

#include "projection/output_formulas.h"
#include "projection/world_map_solvers.h"

namespace globaro {

namespace output_detail {

namespace {

constexpr double kSqrt2 = std::numbers::sqrt2;
constexpr double kMollweideX = 2.0 * kSqrt2 / kPi;  // x of the Mollweide map per radian of longitude
constexpr double kDeg = kPi / 180.0;

SphereDir lonLatDirection(double lambda, double phi) noexcept {
    const double c = std::cos(phi);
    return {static_cast<float>(-std::sin(lambda) * c), static_cast<float>(std::sin(phi)),
            static_cast<float>(std::cos(lambda) * c)};
}

// A hit at (λ, φ), or a miss when either is out of range (or not a number).
void hitLonLat(OutputResult& r, double lambda, double phi) noexcept {
    if (!(std::fabs(lambda) <= kPi && std::fabs(phi) <= kHalfPi)) return;
    setHit(r, lonLatDirection(lambda, phi));
}

// The direction whose x points to the left of the view, as the screen's x
// points to the right: (screen x, up, towards the viewer) → direction.
SphereDir fromScreen(double x, double y, double z) noexcept {
    return {static_cast<float>(-x), static_cast<float>(y), static_cast<float>(z)};
}

double clampUnit(double v) noexcept { return std::clamp(v, -1.0, 1.0); }

// ---- Mollweide and sinusoidal pieces ------------------------------------------------

// θ of the Mollweide map at latitude φ: 2θ + sin 2θ = π sin φ.
double mollweideTheta(double phi) noexcept {
    if (std::fabs(phi) >= kHalfPi - 1e-9) return std::copysign(kHalfPi, phi);
    const double k = kPi * std::sin(phi);
    double t = phi;
    for (int i = 0; i < 30; ++i) {
        const double d = (2.0 * t + std::sin(2.0 * t) - k) / (2.0 + 2.0 * std::cos(2.0 * t));
        t -= d;
        if (std::fabs(d) < 1e-13) break;
    }
    return t;
}

// The latitude of the Mollweide map's height y (|y| ≤ √2), and cos θ, the
// width of its parallel relative to the equator's.
bool mollweideRow(double y, double& phi, double& width) noexcept {
    if (!(std::fabs(y) <= kSqrt2)) return false;
    const double theta = std::asin(clampUnit(y / kSqrt2));
    phi = std::asin(clampUnit((2.0 * theta + std::sin(2.0 * theta)) / kPi));
    width = std::cos(theta);
    return true;
}

// The latitude where the sinusoidal and Mollweide maps have parallels of the
// same length (40°44′11.8″), and the shift that joins the Mollweide part
// there.
constexpr double kHomolosineLatitude = 0.7109889596207567;
constexpr double kHomolosineShift = 0.0528035274542;

// One lobe of an interrupted map: the longitudes it holds and its central
// meridian, in radians.
struct Lobe {
    double west, east, centre;
};

// Goode's interruptions for the land: two lobes in the north, four in the south.
constexpr Lobe kLandNorth[] = {{-kPi, -40 * kDeg, -100 * kDeg}, {-40 * kDeg, kPi, 30 * kDeg}};
constexpr Lobe kLandSouth[] = {{-kPi, -100 * kDeg, -160 * kDeg},
                               {-100 * kDeg, -20 * kDeg, -60 * kDeg},
                               {-20 * kDeg, 80 * kDeg, 20 * kDeg},
                               {80 * kDeg, kPi, 140 * kDeg}};
// Interruptions through the continents, for the oceans: three lobes each.
constexpr Lobe kOceanNorth[] = {
    {-kPi, -90 * kDeg, -140 * kDeg}, {-90 * kDeg, 60 * kDeg, -10 * kDeg}, {60 * kDeg, kPi, 130 * kDeg}};
constexpr Lobe kOceanSouth[] = {
    {-kPi, -60 * kDeg, -110 * kDeg}, {-60 * kDeg, 90 * kDeg, 20 * kDeg}, {90 * kDeg, kPi, 150 * kDeg}};
constexpr Lobe kWhole[] = {{-kPi, kPi, 0.0}};

// λ of the point x (in radians of the equator) on the parallel whose width
// factor is w, in the lobe that holds it: x = centre + (λ − centre)·w.
bool lobeLongitude(std::span<const Lobe> lobes, double x, double w, double& lambda) noexcept {
    if (!(w > 1e-12)) return false;
    for (const Lobe& lobe : lobes) {
        const double l = lobe.centre + (x - lobe.centre) / w;
        if (l >= lobe.west && l <= lobe.east) {
            lambda = l;
            return true;
        }
    }
    return false;
}

// A sinusoidal–Mollweide map in radians of the equator: sinusoidal between
// `southJoin` and `northJoin` (|φ| beyond them Mollweide, joined at the
// homolosine latitude), with the given lobes.
void homolosine(double x, double y, bool mollweideNorth, bool mollweideSouth, std::span<const Lobe> north,
                std::span<const Lobe> south, OutputResult& r) noexcept {
    double phi = 0.0, w = 0.0, xe = x;
    if ((y > kHomolosineLatitude && mollweideNorth) || (y < -kHomolosineLatitude && mollweideSouth)) {
        if (!mollweideRow(y + std::copysign(kHomolosineShift, y), phi, w)) return;
        xe = x / kMollweideX;
    } else {
        if (!(std::fabs(y) <= kHalfPi)) return;
        phi = y;
        w = std::cos(phi);
    }
    double lambda = 0.0;
    if (!lobeLongitude(phi >= 0.0 ? north : south, xe, w, lambda)) return;
    hitLonLat(r, lambda, phi);
}

// ---- Bonne ----------------------------------------------------------------------------------

// The Bonne map with standard parallel φ1 (x right, y up, the origin on the
// central meridian at φ1); φ1 = 90° is Werner's map, the origin at the pole.
void bonne(double x, double y, double phi1, OutputResult& r) noexcept {
    const double cot = phi1 >= kHalfPi ? 0.0 : std::cos(phi1) / std::sin(phi1);
    const double dy = cot - y;
    const double rho = std::hypot(x, dy);
    const double phi = cot + phi1 - rho;
    const double c = std::cos(phi);
    const double lambda = c > 1e-12 ? rho * std::atan2(x, dy) / c : 0.0;
    hitLonLat(r, lambda, phi);
}

// ---- perspectives ---------------------------------------------------------------------------

// The viewpoint's distance from the centre, in radii, for a field of view:
// the globe fills the view from there (1 / sin(fov/2)), kept off the surface.
double perspectiveDistance(float fovDeg) noexcept {
    const double fov = std::clamp(static_cast<double>(std::isfinite(fovDeg) ? fovDeg : 90.0f), 0.5, 179.5);
    return 1.0 / std::sin(fov * kDeg * 0.5);
}

// The point of the plane tangent at the view centre (x right, y up) seen from
// distance P: the first point of the sphere on the ray from the viewpoint.
void perspectiveRay(double x, double y, double p, OutputResult& r) noexcept {
    const double dz = 1.0 - p;
    const double dd = x * x + y * y + dz * dz;
    const double b = p * dz;
    const double disc = b * b - dd * (p * p - 1.0);
    if (!(disc >= 0.0)) return;
    const double t = (-b - std::sqrt(disc)) / dd;
    const double sx = t * x, sy = t * y, sz = p + t * dz;
    const double len = std::sqrt(sx * sx + sy * sy + sz * sz);
    if (!(len > 0.0)) return;
    setHit(r, fromScreen(sx / len, sy / len, sz / len));
    r.storeNormal = true;
}

// The radius of the horizon circle in the tangent plane, seen from P.
double horizonRadius(double p) noexcept { return std::sqrt((p - 1.0) / (p + 1.0)); }

// The flyover's tilt: the view leans 45° from straight down, towards the north.
constexpr double kFlyoverTilt = 45.0 * kDeg;

// ---- orthoapsidal ---------------------------------------------------------------------------

// The surfaces the sphere is drawn on (the shape of `ApsidalSurface`:
// output_formulas.h). Half the longitudes go round the front half of the
// surface (λ/2 round the axis), the latitude along its profile; the surface
// is tilted about the screen's x axis and seen orthographically.

// The outer half of a horn torus (profile 1 + cos φ, sin φ).
bool insideTorus(const ApsidalSurface&, double x, double y, double z) noexcept {
    if (!(std::fabs(y) <= 1.0)) return false;
    const double outer = 1.0 + std::sqrt(1.0 - y * y);
    return x * x + z * z <= outer * outer;
}

void drawnOnTorus(const ApsidalSurface&, double, double y, double, double mu, double& phi, double n[3]) noexcept {
    phi = std::asin(clampUnit(y));
    n[0] = std::cos(phi) * std::sin(mu);
    n[1] = std::sin(phi);
    n[2] = std::cos(phi) * std::cos(mu);
}

// A spheroid of equatorial radius a and polar radius b.
bool insideSpheroid(const ApsidalSurface& s, double x, double y, double z) noexcept {
    return (x * x + z * z) / (s.a * s.a) + y * y / (s.b * s.b) <= 1.0;
}

void drawnOnSpheroid(const ApsidalSurface& s, double x, double y, double z, double, double& phi, double n[3]) noexcept {
    phi = std::asin(clampUnit(y / s.b));
    n[0] = x / (s.a * s.a);
    n[1] = y / (s.b * s.b);
    n[2] = z / (s.a * s.a);
}

constexpr ApsidalSurface kArmadillo{&insideTorus, &drawnOnTorus, 1.0, 1.0, 2.2360679774997898, 4.3};
constexpr ApsidalSurface kOblate{&insideSpheroid, &drawnOnSpheroid, 1.0, 0.6, 1.0, 2.15};
constexpr ApsidalSurface kProlate{&insideSpheroid, &drawnOnSpheroid, 0.6, 1.0, 1.0, 2.15};

// The screen point (x right, y up) of the surface tilted by `tilt` (the north
// pole towards the viewer when positive).
void orthoapsidal(const ApsidalSurface& s, double tilt, double x, double y, OutputResult& r) noexcept {
    const double reach2 = s.boundRadius * s.boundRadius - x * x - y * y;
    if (!(reach2 > 0.0)) return;
    const double ct = std::cos(tilt), st = std::sin(tilt);
    const auto body = [&](double z, double& bx, double& by, double& bz) noexcept {
        bx = x;
        by = y * ct + z * st;
        bz = -y * st + z * ct;
    };
    const auto inside = [&](double z) noexcept {
        double bx = 0.0, by = 0.0, bz = 0.0;
        body(z, bx, by, bz);
        return s.inside(s, bx, by, bz);
    };
    // March along the line of sight from the viewer to the first point inside
    // the (convex) solid, then narrow the step down to the surface.
    const double reach = std::sqrt(reach2);
    constexpr int kSteps = 96;
    const double step = 2.0 * reach / kSteps;
    double outside = reach;
    double in = 0.0;
    bool found = false;
    for (int i = 1; i <= kSteps; ++i) {
        const double z = reach - step * i;
        if (inside(z)) {
            in = z;
            found = true;
            break;
        }
        outside = z;
    }
    if (!found) return;
    for (int i = 0; i < 40; ++i) {
        const double mid = (outside + in) * 0.5;
        (inside(mid) ? in : outside) = mid;
    }
    double bx = 0.0, by = 0.0, bz = 0.0;
    body(in, bx, by, bz);
    if (bz < 0.0) return;  // the back half holds no map
    double phi = 0.0;
    double n[3] = {0.0, 0.0, 0.0};  // the surface normal, untilted
    const double mu = std::atan2(bx, bz);
    s.drawn(s, bx, by, bz, mu, phi, n);
    hitLonLat(r, 2.0 * mu, phi);
    if (!r.hit) return;
    const double nx = n[0], ny = n[1], nz = n[2];
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (len > 0.0) {
        r.storeNormal = true;
        r.ownNormal = true;
        r.normal = fromScreen(nx / len, (ny * ct - nz * st) / len, (ny * st + nz * ct) / len);
    }
}

// ---- Strebe 1995 ----------------------------------------------------------------------------

// Strebe's 1995 map: Eckert IV stretched 1.35 times across and squeezed as
// much up and down, read back as a Mollweide map, redrawn by Hammer's map
// and squeezed back (across by 1.35, stretched up and down by 1.35). Every
// step keeps areas. The plane point is in the map's own units: the extent
// box is the map's outline box, the same as the Strebe 1995 input's.
constexpr double kStrebeScale = 1.35;

void strebe1995(double x, double y, OutputResult& r) noexcept {
    x *= kStrebeScale;
    y /= kStrebeScale;
    // Hammer's inverse, also beyond Hammer's own outline: the stretched map
    // reaches longitudes of up to 228 degrees there.
    const double zz = 1.0 - x * x / 16.0 - y * y / 4.0;
    if (!(zz >= 0.0)) return;
    const double z = std::sqrt(zz);
    const double lh = 2.0 * std::atan2(z * x, 2.0 * (2.0 * z * z - 1.0));
    const double ph = std::asin(clampUnit(z * y));
    // Mollweide forward, then Eckert IV's stretch undone.
    const double theta = mollweideTheta(ph);
    const double ex = kMollweideX * lh * std::cos(theta) / kStrebeScale;
    const double ey = kSqrt2 * std::sin(theta) * kStrebeScale;
    // Eckert IV's inverse.
    const double s = ey / (2.0 * std::sqrt(kPi / (4.0 + kPi)));
    if (!(std::fabs(s) <= 1.0)) return;
    const double t = std::asin(s);
    const double ct = std::cos(t);
    const double lambda = ex * std::sqrt(kPi * (4.0 + kPi)) / (2.0 * (1.0 + ct));
    const double phi = std::asin(clampUnit((t + s * ct + 2.0 * s) / (2.0 + kHalfPi)));
    hitLonLat(r, lambda, phi);
}

// ---- retroazimuthal -------------------------------------------------------------------------

// Hammer's retroazimuthal map of the centre C, 45° north of the view centre:
// every point P is drawn at the distance of C from P, in the direction (the
// azimuth) in which C is seen from P. The front holds the points less than
// 90° of longitude from C, the back the others.
constexpr double kRetroCentreLatitude = 45.0 * kDeg;

void retroazimuthal(double x, double y, bool front, OutputResult& r) noexcept {
    const double zd = std::hypot(x, y);
    if (!(zd <= kPi)) return;
    if (zd < 1e-12) {
        if (front) hitLonLat(r, 0.0, kRetroCentreLatitude);
        return;
    }
    const double sinAz = -x / zd, cosAz = -y / zd;
    const double sz = std::sin(zd), cz = std::cos(zd);
    const double s1 = std::sin(kRetroCentreLatitude);
    // sin φ1 = sin φ cos Z + cos φ sin Z cos Az = R sin(φ + δ).
    const double big = std::hypot(cz, sz * cosAz);
    if (!(std::fabs(s1) <= big)) return;
    const double delta = std::atan2(sz * cosAz, cz);
    const double base = std::asin(clampUnit(s1 / big));
    for (double phi : {base - delta, kPi - base - delta}) {
        phi = std::remainder(phi, 2.0 * kPi);
        if (!(std::fabs(phi) <= kHalfPi)) continue;
        // The longitude of C seen from P.
        const double east = sinAz * sz * std::cos(phi);
        const double north = cz - std::sin(phi) * s1;
        if ((north >= 0.0) != front) continue;
        hitLonLat(r, -std::atan2(east, north), phi);
        return;
    }
}

}  // namespace

void mapEqualAreaCylinder(const OutputCall& c, OutputResult& r) noexcept {
    // Standard parallels at ±acos(√(2/π)) (37°04′), which make the map twice as
    // wide as high.
    constexpr double kCosStandard = 0.7978845608028654;  // √(2/π)
    constexpr double kFit = 2.0 * kPi * kCosStandard;
    const double x = c.cxd() * kFit, y = -c.cyd() * kFit;
    const double s = y * kCosStandard;
    if (!(std::fabs(s) <= 1.0)) return;
    hitLonLat(r, x / kCosStandard, std::asin(s));
}

void mapEqualSquarea(const OutputCall& c, OutputResult& r) noexcept {
    // The octahedral equal-area square: the northern hemisphere in the inner
    // diamond, the south pole at the four corners.
    const double u = 2.0 * c.cxd(), v = -2.0 * c.cyd();
    if (!(std::fabs(u) <= 1.0 && std::fabs(v) <= 1.0)) return;
    const double au = std::fabs(u), av = std::fabs(v);
    const double d = 1.0 - au - av;
    const double rr = 1.0 - std::fabs(d);
    const double angle = rr > 0.0 ? ((av - au) / rr + 1.0) * kPi / 4.0 : 0.0;
    const double up = std::copysign(1.0 - rr * rr, d);
    const double side = rr * std::sqrt(std::max(0.0, 2.0 - rr * rr));
    const double px = std::copysign(std::cos(angle) * side, u);
    const double py = std::copysign(std::sin(angle) * side, v);
    setHit(r, fromScreen(px, up, -py));
}

void mapMollweideOcean(const OutputCall& c, OutputResult& r) noexcept {
    constexpr double kFit = 4.0 * kSqrt2;
    const double x = c.cxd() * kFit, y = -c.cyd() * kFit;
    double phi = 0.0, w = 0.0, lambda = 0.0;
    if (!mollweideRow(y, phi, w)) return;
    if (!lobeLongitude(phi >= 0.0 ? std::span<const Lobe>(kOceanNorth) : std::span<const Lobe>(kOceanSouth),
                       x / kMollweideX, w, lambda))
        return;
    hitLonLat(r, lambda, phi);
}

void mapSinusoidalInterrupted(const OutputCall& c, OutputResult& r) noexcept {
    homolosine(c.cxd() * 2.0 * kPi, -c.cyd() * 2.0 * kPi, false, false, kLandNorth, kLandSouth, r);
}

void mapSinuMollweide(const OutputCall& c, OutputResult& r) noexcept {
    homolosine(c.cxd() * 2.0 * kPi, -c.cyd() * 2.0 * kPi, true, true, kWhole, kWhole, r);
}

void mapPhilbrickInterrupted(const OutputCall& c, OutputResult& r) noexcept {
    // Mollweide north of the joining parallel, sinusoidal south of it; the
    // map's height runs from −π/2 to √2 − shift, centred in the box.
    constexpr double kMiddle = (kSqrt2 - kHomolosineShift - kHalfPi) / 2.0;
    homolosine(c.cxd() * 2.0 * kPi, -c.cyd() * 2.0 * kPi + kMiddle, true, false, kLandNorth, kLandSouth, r);
}

void mapBonne45(const OutputCall& c, OutputResult& r) noexcept {
    // The box holds the map at half a radius per unit, the origin at 45° N.
    bonne(2.0 * c.fxd(), -2.0 * c.fyd(), kPi / 4.0, r);
}

void mapWernerBonne(const OutputCall& c, OutputResult& r) noexcept {
    // 4.1 radii across the box; the pole 1.112 radii above its centre, so
    // that the map (π below the pole, 0.918 above) sits in the middle.
    constexpr double kFit = 4.1;
    bonne(c.cxd() * kFit, -c.cyd() * kFit - 1.112, kHalfPi, r);
}

void mapStrebe1995(const OutputCall& c, OutputResult& r) noexcept { strebe1995(c.cxd(), -c.cyd(), r); }

void mapVerticalPerspective(const OutputCall& c, OutputResult& r) noexcept {
    const double u = 2.0 * c.fxd(), v = -2.0 * c.fyd();
    if (!(u * u + v * v <= 1.0)) return;
    const double p = perspectiveDistance(c.ctx.fov);
    const double h = horizonRadius(p);
    perspectiveRay(u * h, v * h, p, r);
}

void mapFlyover(const OutputCall& c, OutputResult& r) noexcept {
    const double p = perspectiveDistance(c.ctx.fov);
    const double h = horizonRadius(p);
    const double tx = 2.0 * c.fxd() * h, ty = -2.0 * c.fyd() * h;
    // Undo the tilt: the plane of the tilted view back to the tangent plane.
    const double q = 1.0 - ty * std::sin(kFlyoverTilt) / (p - 1.0);
    if (!(q > 0.0)) return;  // at or above the horizon of the tilted view
    perspectiveRay(tx / q, ty * std::cos(kFlyoverTilt) / q, p, r);
}

void orthoapsidalFit(const OutputCall& c, const ApsidalSurface& s, double tilt, OutputResult& r) noexcept {
    orthoapsidal(s, tilt, c.cxd() * s.fit, -c.cyd() * s.fit, r);
}

void mapRetroazimuthal(const OutputCall& c, OutputResult& r) noexcept {
    retroazimuthal(c.fxd(), -c.fyd(), c.entry.id == 400, r);
}

void mapArmadillo(const OutputCall& c, OutputResult& r) noexcept {
    const double sign = c.entry.id <= 342 ? 1.0 : -1.0;
    orthoapsidalFit(c, kArmadillo, sign * 20.0 * kDeg, r);
}

void mapApsidalSpheroid(const OutputCall& c, OutputResult& r) noexcept {
    // 360..363 oblate, 15° of tilt; 364..367 prolate, 20°; the first pair of
    // each looks from the north.
    const ProjectionId id = c.entry.id;
    const bool prolate = id >= 364;
    const double sign = (id - 360) % 4 < 2 ? 1.0 : -1.0;
    orthoapsidalFit(c, prolate ? kProlate : kOblate, sign * (prolate ? 20.0 : 15.0) * kDeg, r);
}

}  // namespace output_detail

}  // namespace globaro
