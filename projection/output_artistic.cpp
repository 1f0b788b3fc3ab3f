// Artistic outputs: stars, swirls, rings and lenses drawn from the sphere,
// the Steinmetz solids unrolled, the sphere cut into petals (discs, fans, an
// umbrella) and the gores of tunable ellipsoids and eggs.
//
// Every routine is a pure function of the frame point (x to the right, y
// down in the plane) and answers a direction or a miss. Azimuthal pictures
// keep their centre at +z with the image's up towards +y; world-like
// pictures put longitude 0 at +z and north at +y. Outputs made of several
// pieces tag each piece, so that the antialiasing keeps them apart.

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

#include "projection/output_formulas.h"

namespace globaro::output_detail {

namespace {

constexpr float kHalfPiF = kPiF / 2.0f;

// The direction at angle c from the centre (+z), towards the plane's unit
// vector (cu, cv) (y down): the plane's right is −x, its up is +y.
SphereDir fromCentre(float c, float cu, float cv) noexcept {
    const float s = std::sin(c);
    return {-s * cu, -s * cv, std::cos(c)};
}

// The direction of longitude λ (east positive) and latitude φ.
SphereDir lonLat(float lambda, float phi) noexcept {
    return equirectDirection(0.5f - lambda / kTwoPiF, 0.5f - phi * kInvPiF);
}

// The same picture with its north pole turned to the centre (+z) and
// longitude 0 running down from it.
SphereDir poleToCentre(const SphereDir& d) noexcept { return {d.x, -d.z, d.y}; }

void tagPiece(OutputResult& r, int piece) noexcept {
    r.ownTag = true;
    r.regionTag = piece;
    r.face = piece;
}

// The plane point in polar form about (0, 0): radius and unit vector.
struct Polar {
    float r, u, v;
};

Polar polarOf(float x, float y) noexcept {
    const float r = std::hypot(x, y);
    if (r == 0.0f) return {0.0f, 1.0f, 0.0f};
    return {r, x / r, y / r};
}

// The star's outline radius (outer radius 1, inner `inner`) towards the
// plane angle t measured from the upward tip.
float starRadius(float t, int points, float inner) noexcept {
    const float sector = kPiF / static_cast<float>(points);  // tip to valley
    float a = std::fmod(std::fabs(t), 2.0f * sector);
    if (a > sector) a = 2.0f * sector - a;
    // The edge from the tip (1, 0) to the valley (inner·cos s, inner·sin s).
    const float ex = inner * std::cos(sector) - 1.0f;
    const float ey = inner * std::sin(sector);
    // Normal (ey, −ex); the ray (cos a, sin a) meets the edge at n·tip / n·ray.
    return ey / (ey * std::cos(a) - ex * std::sin(a));
}

// One petal of a flower of n petals cut from the pole out: the sector of the
// plane around angle t (measured from the petal's middle line, in radians),
// at distance ρ (radians of colatitude). `width` is the petal's half width at
// colatitude ρ in plane units; the answer is the longitude within the petal,
// or a miss (NaN) between petals.
float petalLongitude(float rho, float t, float width, float n) noexcept {
    const float across = rho * t;
    if (!(std::fabs(across) <= width) || width <= 0.0f) return std::nanf("");
    return across / width * (kPiF / n);
}

// The petal of the plane angle θ (from +x, y down) in a flower of n petals
// spread over `spread` radians starting at `start`: its number and the
// angle from its middle line; −1 outside the spread.
int petalOf(float theta, float start, float spread, float n, float& offset) noexcept {
    float t = theta - start;
    t -= kTwoPiF * std::floor(t / kTwoPiF);
    if (t > spread) return -1;
    const float step = spread / n;
    const int k = std::min(static_cast<int>(t / step), static_cast<int>(n) - 1);
    offset = t - (static_cast<float>(k) + 0.5f) * step;
    return k;
}

// The paper of the folded outputs: the normal of a piece of paper whose
// fold line runs out from the centre along the plane angle θ, tilted about
// that line by `tilt` radians (positive: it faces towards growing θ). The
// normal is in the picture's frame, x to the right, y down and z towards
// the viewer, and is what `lightPaper` lights.
void setPaperNormal(OutputResult& r, float theta, float tilt) noexcept {
    const float s = std::sin(tilt);
    r.storeNormal = true;
    r.ownNormal = true;
    r.normal = {-std::sin(theta) * s, std::cos(theta) * s, std::cos(tilt)};
}

// A fan's pleat is folded to half its width: each half of it stands at
// 60° to the picture (cos 60° = 1/2).
constexpr float kPleatTilt = kPiF / 3.0f;
// A disc's petals curl up towards their edges, as paper petals do before
// they are closed into the sphere: 30° at the edges, flat along the middle.
constexpr float kPetalCurl = kPiF / 6.0f;

}  // namespace

// Star 3 and star 5: the azimuthal picture of the whole sphere stretched
// into a star, the centre in the middle, the opposite point all along the
// outline; colatitude grows evenly from the centre to the outline.
void mapStar(const OutputCall& call, OutputResult& r) noexcept {
    const int points = call.entry.id == 48 ? 3 : 5;
    const float inner = points == 3 ? 0.32f : 0.381966f;  // the pentagram's own ratio
    const Polar p = polarOf(call.FX() * 2.0f, call.FY() * 2.0f);
    const float fromTip = std::atan2(p.u, -p.v);  // 0 at the upward tip
    const float edge = starRadius(fromTip, points, inner);
    if (!(p.r <= edge)) return;
    setHit(r, fromCentre(kPiF * p.r / edge, p.u, p.v));
}

// Pinwheel: the whole sphere in a disc, the centre in the middle, turned by
// an angle that grows from the centre to the rim; the fov is the turn at the
// rim (a quarter turn at 90°), so the meridians curl into vanes.
void mapPinwheel(const OutputCall& call, OutputResult& r) noexcept {
    const Polar p = polarOf(call.FX() * 2.0f, call.FY() * 2.0f);
    if (!(p.r <= 1.0f)) return;
    const float turn = call.ctx.fov * (kPiF / 180.0f) * p.r;
    const float c = std::cos(turn), s = std::sin(turn);
    setHit(r, fromCentre(kPiF * p.r, p.u * c - p.v * s, p.u * s + p.v * c));
}

// Lozenge: the double Collignon map, equal-area, the sphere in a rhombus
// twice as wide as tall: parallels are straight, the meridians straight
// lines meeting at the poles.
void mapLozenge(const OutputCall& call, OutputResult& r) noexcept {
    const float rootPi = std::sqrt(kPiF);
    const float x = call.FX() * 4.0f * rootPi;
    const float y = -call.FY() * 4.0f * rootPi;
    const float s = 1.0f - std::fabs(y) / rootPi;  // √(1 − sin|φ|)
    if (!(s >= 0.0f && s <= 1.0f)) return;
    const float phi = std::copysign(std::asin(std::clamp(1.0f - s * s, 0.0f, 1.0f)), y);
    const float lambda = s > 0.0f ? x * rootPi / (2.0f * s) : 0.0f;
    if (!(std::fabs(lambda) <= kPiF)) return;
    setHit(r, lonLat(lambda, phi));
}

// Curvy: a map whose parallels are straight lines narrowest at the equator
// and widest at the poles, and whose poles are arched lines: the outline of a
// double axe, curved on all four sides.
void mapCurvy(const OutputCall& call, OutputResult& r) noexcept {
    const float x = call.FX();
    const float y = call.FY();
    const float u = 2.0f * x;
    const float height = 0.5f * (1.0f - 0.3f * u * u);
    const float phi = -y / height * kHalfPiF;
    if (!(std::fabs(phi) <= kHalfPiF)) return;
    const float sp = std::sin(phi);
    const float width = 0.5f * (0.45f + 0.55f * sp * sp);
    const float lambda = kPiF * x / width;
    if (!(std::fabs(lambda) <= kPiF)) return;
    setHit(r, lonLat(lambda, phi));
}

// Goggles: two oval lenses side by side, each an even-angle fisheye whose
// field is the fov, turned half the fov to its own side so that the two
// views meet in the middle.
void mapGoggles(const OutputCall& call, OutputResult& r) noexcept {
    const float x = call.FX();
    const int lens = x < 0.0f ? 0 : 1;
    const float u = (x - (lens == 0 ? -0.5f : 0.5f)) / 0.46f;
    const float v = call.FY() / 0.4f;
    const Polar p = polarOf(u, v);
    if (!(p.r <= 1.0f)) return;
    const float half = std::min(call.ctx.fov, 359.0f) * (kPiF / 360.0f);
    const SphereDir l = fromCentre(p.r * half, p.u, p.v);
    const float yaw = lens == 0 ? half : -half;  // the left lens looks left (+x)
    const float c = std::cos(yaw), s = std::sin(yaw);
    setHit(r, {l.x * c + l.z * s, l.y, l.z * c - l.x * s});
    tagPiece(r, lens + 1);
}

// Quasar: the sphere on the whole plane by the conformal map with two
// centres: the view ahead fills circles about the upper focus, the view
// behind circles about the lower one, the horizon between them a line of
// circles through both. The fov zooms about the foci.
void mapQuasar(const OutputCall& call, OutputResult& r) noexcept {
    using C = std::complex<float>;
    constexpr float kFocus = 0.2f;
    const C z(call.FX(), call.FY());
    const C w = C(0.0f, 0.25f * call.ctx.wideTan) * (z + C(0.0f, kFocus)) / (z - C(0.0f, kFocus));
    if (!std::isfinite(w.real()) || !std::isfinite(w.imag())) {
        setHit(r, {0.0f, 0.0f, -1.0f});
        return;
    }
    setHit(r, inverseStereographic(w.real(), w.imag()));
}

// Loop: the great circle through the zenith, the view ahead, the nadir and
// the view behind bent into a ring (the zenith at the top, ahead on the
// right); across the ring the picture runs from the left (inner edge) to the
// right (outer edge). The fov sets the hole: an eighth of the ring at 90°.
void mapLoop(const OutputCall& call, OutputResult& r) noexcept {
    const Polar p = polarOf(call.FX() * 2.0f, call.FY() * 2.0f);
    const float hole = std::clamp(call.ctx.fov / 360.0f, 0.02f, 0.9f);
    if (!(p.r >= hole && p.r <= 1.0f)) return;
    const float psi = kPiF * (p.r - hole) / (1.0f - hole);
    const float sp = std::sin(psi);
    // p.u = sin θ, −p.v = cos θ with θ clockwise from the top.
    setHit(r, {std::cos(psi), -sp * p.v, sp * p.u});
}

// Two circles: the sphere as two hemispheres side by side, each in Lambert's
// equal-area azimuthal projection: ahead on the left, behind on the right,
// touching where both show the right.
void mapTwoCircles(const OutputCall& call, OutputResult& r) noexcept {
    const float x = call.FX();
    const int side = x < 0.0f ? 0 : 1;
    const Polar p = polarOf((x - (side == 0 ? -0.25f : 0.25f)) * 4.0f, call.FY() * 4.0f);
    if (!(p.r <= 1.0f)) return;
    const float c = 2.0f * std::asin(p.r * std::numbers::sqrt2_v<float> / 2.0f);
    const SphereDir d = fromCentre(c, p.u, p.v);
    setHit(r, side == 0 ? d : SphereDir{-d.x, d.y, -d.z});
    tagPiece(r, side + 1);
}

// Swoop: the panorama laid along a logarithmic spiral that widens as it
// turns: the left edge of the panorama at the thin inner end, the right at
// the wide outer end, the sky on the outside of the curve.
void mapSwoop(const OutputCall& call, OutputResult& r) noexcept {
    constexpr float kSpan = 1.7f * kPiF;    // the turn of the spiral
    constexpr float kGrowth = 0.24f;        // log radius per radian of turn
    constexpr float kThick = 0.85f;         // the band's thickness in log radius
    constexpr float kStart = -0.5f * kPiF;  // plane angle (y up) of the thin end
    constexpr float kInner = -2.5f;         // log radius of the thin end's inner edge
    // The spiral's bounding box, centred in the frame and filling 96 % of it.
    constexpr float kZoom = 1.06618f, kCx = -0.16212f, kCy = 0.00664f;
    const float x = call.FX() / kZoom + kCx;
    const float y = -call.FY() / kZoom + kCy;
    const float rad = std::hypot(x, y);
    if (!(rad > 0.0f)) return;
    float t = std::atan2(y, x) - kStart;
    t -= kTwoPiF * std::floor(t / kTwoPiF);
    if (!(t <= kSpan)) return;
    const float s = (std::log(rad) - kInner - kGrowth * t) / kThick;
    if (!(s >= 0.0f && s <= 1.0f)) return;
    setHit(r, lonLat((t / kSpan - 0.5f) * kTwoPiF, (s - 0.5f) * kPiF));
}

// Two cylinders: the surface of the solid common to two cylinders at right
// angles, each through the horizon, unrolled: four lens-shaped pieces, one
// per side of the view (the back one split at the ends), each developed flat
// without stretching along its cylinder. A point of a piece is seen from the
// centre of the solid.
void mapTwoCylinders(const OutputCall& call, OutputResult& r) noexcept {
    const float x = call.FX();
    const float alpha = -call.FY();  // angle up the cylinder
    const float k = std::round(x / 2.0f);
    const float h = x - 2.0f * k;  // along the cylinder's axis
    if (!(std::fabs(alpha) <= kHalfPiF && std::fabs(h) <= std::cos(alpha))) return;
    const float lon = k * kHalfPiF;
    const float cl = std::cos(lon), sl = std::sin(lon);
    // centre·cos α + up·sin α + right·h, centre (−sin λ, 0, cos λ), right (−cos λ, 0, −sin λ).
    const float px = -sl * std::cos(alpha) - cl * h;
    const float pz = cl * std::cos(alpha) - sl * h;
    const float py = std::sin(alpha);
    const float len = std::sqrt(px * px + py * py + pz * pz);
    setHit(r, {px / len, py / len, pz / len});
    tagPiece(r, (static_cast<int>(k) + 4) % 4 + 1);
}

// Three cylinders: the surface common to three cylinders at right angles,
// unrolled: four pieces of the upright cylinder lie along the horizon between
// the four sides of the view, and the pieces of the two level cylinders stand
// above and below each side, reaching the zenith and the nadir. Twelve
// pieces, each flat without stretching along its cylinder, touching at their
// tips.
void mapThreeCylinders(const OutputCall& call, OutputResult& r) noexcept {
    const float x = call.FX();
    const float y = -call.FY();
    if (!(std::fabs(y) <= kHalfPiF && std::fabs(x) <= kPiF)) return;
    const float k = std::round(x / kHalfPiF);
    const float h = x - k * kHalfPiF;
    float px, py, pz;
    int piece;
    const float sy = std::fabs(std::sin(y)), cy = std::fabs(std::cos(y));
    const float sx = std::fabs(std::sin(x)), cx = std::fabs(std::cos(x));
    if (std::fabs(h) <= std::min(sy, cy)) {
        // A level cylinder's piece above or below side k.
        const float lon = k * kHalfPiF;
        const float cl = std::cos(lon), sl = std::sin(lon);
        px = -sl * std::cos(y) - cl * h;
        pz = cl * std::cos(y) - sl * h;
        py = std::sin(y);
        piece = ((static_cast<int>(k) + 4) % 4) * 2 + (y >= 0.0f ? 1 : 2);
    } else if (std::fabs(y) <= std::min(sx, cx)) {
        // The upright cylinder's piece between two sides.
        px = -std::sin(x);
        pz = std::cos(x);
        py = y;
        piece = 9 + static_cast<int>(std::floor(x / kHalfPiF) + 2.0f) % 4;
    } else {
        return;
    }
    const float len = std::sqrt(px * px + py * py + pz * pz);
    setHit(r, {px / len, py / len, pz / len});
    tagPiece(r, piece);
}

// Disc sphere A: the sphere cut from the south pole up into n petals that
// stay joined at the north pole, laid flat around it in a disc: each petal
// keeps the true width of its band of longitude at every latitude, so that
// the petals close into a sphere. Disc sphere B: the northern hemisphere
// stays whole in the middle, only the southern one is cut into petals.
void mapDiscSphere(const OutputCall& call, OutputResult& r) noexcept {
    const float n = call.ctx.goreCount;
    const bool capWhole = call.entry.id == 301;
    const Polar p = polarOf(call.FX(), call.FY());
    const float rho = p.r;  // colatitude
    if (!(rho <= kPiF)) return;
    const float theta = std::atan2(p.v, p.u);
    float lambda = 0.0f;
    int k = 0;
    if (capWhole && rho <= kHalfPiF) {
        lambda = theta;
    } else {
        float t = 0.0f;
        k = petalOf(theta, -kPiF, kTwoPiF, n, t);
        // The cap's rim keeps its length where petals start from it.
        const float width = (capWhole ? kHalfPiF : 1.0f) * std::sin(rho) * kPiF / n;
        const float local = petalLongitude(rho, t, width, n);
        if (std::isnan(local)) return;
        const float middle = -kPiF + (static_cast<float>(k) + 0.5f) * kTwoPiF / n;
        lambda = middle + local;
        // The edge on the side of growing θ rises and faces back inwards.
        setPaperNormal(r, middle, -kPetalCurl * local * n * kInvPiF);
    }
    if (capWhole && rho <= kHalfPiF) setPaperNormal(r, 0.0f, 0.0f);  // the cap lies flat
    setHit(r, poleToCentre(lonLat(kHalfPiF - lambda, kHalfPiF - rho)));
    if (!capWhole) tagPiece(r, k + 1);
}

// Folding sphere: the sphere's n gores opened like a folding fan, joined at
// the south pole in the handle at the bottom, the north pole along the arc;
// every gore is pleated to half its width, as the paper of a fan is.
void mapFoldingSphere(const OutputCall& call, OutputResult& r) noexcept {
    const float n = call.ctx.goreCount;
    const Polar p = polarOf(call.FX(), call.FY());
    const float rho = p.r;  // from the south pole
    if (!(rho <= kPiF)) return;
    float t = 0.0f;
    const int k = petalOf(std::atan2(p.v, p.u), -kPiF, kPiF, n, t);
    if (k < 0) return;
    const float local = petalLongitude(rho, t, 0.5f * std::sin(rho) * kPiF / n, n);
    if (std::isnan(local)) return;
    setHit(r, lonLat(-kPiF + (static_cast<float>(k) + 0.5f) * kTwoPiF / n + local, rho - kHalfPiF));
    // A mountain fold along the gore's middle line: each half faces away
    // from it. The halves are regions of their own (2k + 1 and 2k + 2), so
    // that the fold line, where the light changes at once, is antialiased
    // as the gores' cuts are; the gore stays the face that the cut lines
    // follow.
    const bool growing = t >= 0.0f;  // the half towards growing θ
    tagPiece(r, k + 1);
    r.regionTag = 2 * k + (growing ? 2 : 1);
    const float middle = -kPiF + (static_cast<float>(k) + 0.5f) * kPiF / n;
    setPaperNormal(r, middle, growing ? kPleatTilt : -kPleatTilt);
}

void lightPaper(const RenderContext&, const RenderCell& cell, float rgb[3]) noexcept {
    // One light from the upper left, 45° above the picture, and a share of
    // light from everywhere; paper lying flat keeps its colour, a facet
    // turned to the light grows a little brighter (never past white unless
    // the colour already was), one turned away falls to the ambient share.
    constexpr float kLight[3] = {-0.5f, -0.5f, 0.70710678f};
    constexpr float kAmbient = 0.35f;
    const float facing =
        std::max(0.0f, cell.normal[0] * kLight[0] + cell.normal[1] * kLight[1] + cell.normal[2] * kLight[2]);
    const float f = (kAmbient + (1.0f - kAmbient) * facing) / (kAmbient + (1.0f - kAmbient) * kLight[2]);
    for (int i = 0; i < 3; ++i) {
        const float v = rgb[i] * f;
        rgb[i] = f > 1.0f ? std::min(v, std::max(rgb[i], 1.0f)) : v;
    }
}

// Umbrella: the eight gores of a globe turned about the image centre with
// their north tips in the middle, like the panels of an umbrella seen from
// below; the fov is how far the canopy reaches down from the zenith (to the
// horizon at 90°, to the nadir at 180°), and the picture is scaled to fit.
void mapUmbrella(const OutputCall& call, OutputResult& r) noexcept {
    const float n = call.ctx.goreCount;
    const float reach = std::clamp(call.ctx.fov, 10.0f, 180.0f) * (kPiF / 180.0f);
    const Polar p = polarOf(call.FX() * 2.0f * reach, call.FY() * 2.0f * reach);
    if (!(p.r <= reach)) return;
    float t = 0.0f;
    const int k = petalOf(std::atan2(p.v, p.u), -kPiF, kTwoPiF, n, t);
    // The gore's own plane: along its middle line from the pole, and across.
    const float along = p.r * std::cos(t);
    const float across = p.r * std::sin(t);
    float phi = 0.0f, lambda = 0.0f;
    if (!inversePolyconic(kHalfPiF - along, across, phi, lambda)) return;
    if (!(std::fabs(lambda) <= kPiF / n) || !(kHalfPiF - phi <= reach)) return;
    const float lon = -kPiF + (static_cast<float>(k) + 0.5f) * kTwoPiF / n + lambda;
    setHit(r, poleToCentre(lonLat(kHalfPiF - lon, phi)));
    tagPiece(r, k + 1);
}

namespace {

// A table of the meridian's length on a half ellipsoid of equatorial radius
// 1 and polar radius b, by the parametric latitude β in [0, π/2]: what
// turns a distance along a gore's middle line into a latitude.
struct MeridianTable {
    static constexpr int kSteps = 256;
    float b = -1.0f;
    std::array<float, kSteps + 1> length{};

    void build(float polar) noexcept {
        b = polar;
        length[0] = 0.0f;
        const float step = kHalfPiF / kSteps;
        auto speed = [polar](float beta) {
            const float s = std::sin(beta), c = std::cos(beta);
            return std::sqrt(s * s + polar * polar * c * c);
        };
        for (int i = 1; i <= kSteps; ++i) {
            const float b0 = (i - 1) * step;
            // Simpson's rule on each step.
            length[i] = length[i - 1] + step / 6.0f * (speed(b0) + 4.0f * speed(b0 + step / 2.0f) + speed(b0 + step));
        }
    }
    // β of the meridian length s (0 ≤ s ≤ the quarter meridian).
    float latitude(float s) const noexcept {
        const auto it = std::upper_bound(length.begin(), length.end(), s);
        const int i = std::clamp(static_cast<int>(it - length.begin()), 1, kSteps);
        const float f = (s - length[i - 1]) / (length[i] - length[i - 1]);
        return (static_cast<float>(i - 1) + std::clamp(f, 0.0f, 1.0f)) * (kHalfPiF / kSteps);
    }
    float quarter() const noexcept { return length[kSteps]; }
};

// Per thread, one table for each half of the solid (0 north, 1 south),
// rebuilt when the shape changes.
const MeridianTable& meridianTable(int half, float polar) noexcept {
    thread_local std::array<MeridianTable, 2> tables;
    MeridianTable& t = tables[half];
    if (t.b != polar) t.build(polar);
    return t;
}

}  // namespace

// Tunable ellipsoid and tunable egg: twelve gores that cover an ellipsoid
// (an egg: a half ellipsoid on top of a half sphere) instead of a sphere, each
// as wide as its band of longitude and as long as the solid's meridian. The
// fov tunes the height of the solid: 1.5 times its width at 90°, twice as
// much per 90° more; a point of the solid is seen from its centre.
void mapTunableGores(const OutputCall& call, OutputResult& r) noexcept {
    const float n = call.ctx.goreCount;
    const float top = 1.5f * call.ctx.goreShape;
    const float bottom = call.entry.id == 74 ? 1.0f : top;
    const MeridianTable& north = meridianTable(0, top);
    const MeridianTable& south = meridianTable(1, bottom);
    // Fit the row of gores (2π wide, both quarter meridians tall) in the box
    // (1 by 0.6).
    const float height = north.quarter() + south.quarter();
    const float scale = std::max(kTwoPiF, height / 0.6f) * 1.02f;
    const float x = call.FX() * scale;
    const float y = -call.FY() * scale + (north.quarter() - south.quarter()) / 2.0f;
    const MeridianTable& half = y >= 0.0f ? north : south;
    if (!(std::fabs(y) <= half.quarter() && std::fabs(x) <= kPiF)) return;
    const float beta = std::copysign(half.latitude(std::fabs(y)), y);
    const float slot = std::min(std::floor((x + kPiF) / kTwoPiF * n), n - 1.0f);
    const float centre = -kPiF + (slot + 0.5f) * kTwoPiF / n;
    const float cb = std::cos(beta);
    if (!(std::fabs(x - centre) <= cb * kPiF / n)) return;
    const float lambda = centre + (cb > 0.0f ? (x - centre) / cb : 0.0f);
    const float polar = y >= 0.0f ? top : bottom;
    const float px = -std::sin(lambda) * cb, pz = std::cos(lambda) * cb, py = polar * std::sin(beta);
    const float len = std::sqrt(px * px + py * py + pz * pz);
    setHit(r, {px / len, py / len, pz / len});
    tagPiece(r, static_cast<int>(slot) + 1);
}

}  // namespace globaro::output_detail
