// The Mercator compositions: the whole sphere in a cross or a star of
// Mercator strips (projection/mercator_star.h), and in a Mercator band that
// splits in two.
//
// The star's centre is the view centre; its arms run out to the points 90°
// from it, the first one up to the north pole. The Mercator cross has four
// arms: up to the north pole, down to the south pole, right and left to the
// equator at λ = ±90°; it is the Mercator map plus the transverse Mercator
// map. The Mercator star has three arms 120° apart (the first to the north
// pole, the others to latitude −30° on the meridians λ = ±90°). More arms
// would squeeze the back of the view far harder: its neighbourhood is shared
// among the n inner corners with its angles multiplied by n − 1, so with
// five arms a cap some 25° round it would fall within a pixel of the corners
// at 2048²; with three (angles doubled, as in Peirce's corners) it stays in
// view. The cuts are the great-circle arcs from those points to the back of
// the view (λ = 180° on the equator), which lies in every re-entrant corner
// between the arms.
// Each arm ends, square, where the scale on its centre line is 100 times the
// scale at the centre (about 0.4° from its pole for the cross), so the caps
// that small round the arms' poles are left out.
//
// The hyperdouble is w = log(ζᵏ − 1) for k = 2, with ζ the stereographic
// coordinate from the north pole (0 at the south pole, arg ζ the
// longitude), turned by π/k so that the view centre lies
// midway between two of the k points of the equator where ζᵏ = 1. Its
// inverse is closed: ζᵏ = 1 + e^w. Far up (Re w large) w ≈ k·log ζ: the
// north pole's Mercator map k times as wide, one band 2kπ across; far down
// w ≈ log(k) + log(ζ − ω): each of the k equator points gets a Mercator band
// of its own, 2π across. The bands meet at Re w = 0, where the slits between
// the lower bands end; both banks of a slit are the meridian from an equator
// point down to the south pole, which sits at every slit's tip with its
// angles multiplied by k (the only points that do not keep angles). With
// k = 3 the south pole's angles would be tripled and the cap south of −66°
// would shrink to within a pixel of the tips even 1600 pixels wide, so only
// k = 2 is drawn. In the plane, x = Im w − π (the view centre on the middle
// line, log 2 above a slit's tip) and y = Re w up; the map ends at the top where the scale over
// the view centre's line is 12 times the view centre's (as a Mercator world
// map ends at ±85°), and at the bottom where it is 100 times on the lower
// bands' centre lines (the rows' boxes).

#include <cmath>
#include <complex>
#include <numbers>

#include "projection/mercator_star.h"
#include "projection/output_formulas.h"

namespace globaro::output_detail {

namespace {

using Cd = std::complex<double>;

// The arms end where the scale on their centre lines reaches this many times
// the centre's (the registry rows' boxes follow from it).
constexpr double kArmEndScale = 100.0;

struct StarOutput {
    MercatorStar star;
    double reach;
    explicit StarOutput(int arms) : star(arms), reach(star.reachAtScale(kArmEndScale)) {}
};

const StarOutput& starOutput(int arms) noexcept {
    static const StarOutput cross(4);
    static const StarOutput star(3);
    return arms == 4 ? cross : star;
}

// The direction of the stereographic point ζ (x right, y up, about the view
// centre), or of its reciprocal t = 1/ζ near the back of the view.
SphereDir stereographicDirection(const MercatorStar::Point& p) noexcept {
    const double x = p.value.real(), y = p.value.imag();
    const double s = x * x + y * y;
    if (p.reciprocal) {
        // ζ = conj(t)/|t|²: 2ζ/(1 + |ζ|²) = 2·conj(t)/(1 + |t|²).
        return {static_cast<float>(-2.0 * x / (1.0 + s)), static_cast<float>(-2.0 * y / (1.0 + s)),
                static_cast<float>((s - 1.0) / (s + 1.0))};
    }
    return {static_cast<float>(-2.0 * x / (1.0 + s)), static_cast<float>(2.0 * y / (1.0 + s)),
            static_cast<float>((1.0 - s) / (1.0 + s))};
}

void mapStar(const OutputCall& c, OutputResult& r, int arms) noexcept {
    const StarOutput& out = starOutput(arms);
    // The plane with y up, turned so that the first arm (up) lies along +1.
    const Cd w = Cd(c.fxd(), -c.fyd()) * Cd(0.0, -1.0);
    if (!out.star.contains(w, out.reach)) return;
    MercatorStar::Point p = out.star.inverse(w);
    // Turn the answer back: ζ by +90°, t = 1/ζ by −90°.
    p.value *= p.reciprocal ? Cd(0.0, -1.0) : Cd(0.0, 1.0);
    setHit(r, stereographicDirection(p));
}

// The bands of w = log(ζᵏ − 1) (the hyperdouble: k = 2).
void mapBands(const OutputCall& c, OutputResult& r, int k) noexcept {
    const ExtentBox& box = c.entry.box;
    const double x = c.fxd(), y = -c.fyd();
    if (!(x >= box.x0 && x <= box.x1 && y >= -box.y1 && y <= -box.y0)) return;
    constexpr double kPi = std::numbers::pi;
    const Cd w(y, x + kPi);
    const double power = 1.0 / k;
    Cd zeta;  // turned: ζ·e^(iπ/k)
    int band = k;
    if (y >= 0.0) {
        zeta = std::exp(w * power) * std::pow(1.0 + std::exp(-w), power);
    } else {
        const long m = std::lround(w.imag() / (2.0 * kPi));
        band = static_cast<int>((m % k + k) % k);
        zeta = std::polar(1.0, 2.0 * kPi * static_cast<double>(m) / k) * std::pow(1.0 + std::exp(w), power);
    }
    zeta *= std::polar(1.0, -kPi / k);
    const double s = std::norm(zeta);
    setHit(r, {static_cast<float>(-2.0 * zeta.imag() / (1.0 + s)), static_cast<float>((s - 1.0) / (s + 1.0)),
               static_cast<float>(2.0 * zeta.real() / (1.0 + s))});
    // The lower bands meet only across slits: a region each; the upper band
    // another.
    r.ownTag = true;
    r.regionTag = band;
}

// The hypertriple: w = log(ζ³ + ζ), ζ the stereographic coordinate from the
// north pole with the view centre at ζ = 1. Its logarithmic ends are the
// north pole (w ≈ 3·log ζ: a Mercator band three times as wide, 6π across),
// the south pole (ζ = 0) and the equator at λ = ∓90° (ζ = ±i), each of the
// last three a band 2π across. The only points that do not keep angles are
// the critical points ζ = ±i/√3 (latitude −30° on λ = ∓90°), where the
// angles are doubled and the slits between the lower bands begin; there
// |ζ³ + ζ| = 2/(3√3), the level of the line where the bands meet. Below it
// the three lower components are parted by the lines Im ζ = ±1/√3, which
// touch them only at the critical points, so a sample's root is chosen by
// Im ζ alone; above it one branch of the formula is the root.
//
// The south pole's component meets the north pole's along two arcs, on
// either side of the critical points, so its band is drawn in halves: the
// front half (π wide) under the view centre, the back half split between
// the side edges (the back meridian, where the map closes round).
void mapTriple(const OutputCall& c, OutputResult& r) noexcept {
    const ExtentBox& box = c.entry.box;
    const double x = c.fxd(), y = -c.fyd();
    if (!(x >= box.x0 && x <= box.x1 && y >= -box.y1 && y <= -box.y0)) return;
    constexpr double kPi = std::numbers::pi;
    const double level = std::log(2.0 / (3.0 * std::sqrt(3.0)));
    const Cd w(y, x);
    Cd zeta;
    int region = 3;
    if (y >= level) {
        // The root in the north pole's component, by Cardano's formula taken
        // on the branch that is e^(w/3) far up: ζ = u − 1/(3u), u³ =
        // e^w·(1/2 + √(1/4 + e^(−2w)/27)). Above the level |e^(−2w)/27| ≤ 1/4,
        // so both roots stay principal and the branch is analytic in the band;
        // its side edges x = ±3π are the back meridian.
        const Cd q = std::sqrt(0.25 + std::exp(-2.0 * w) / 27.0);
        const Cd u = std::exp(w / 3.0) * std::pow(0.5 + q, 1.0 / 3.0);
        zeta = u - 1.0 / (3.0 * u);
    } else {
        // ζ³ + ζ = a: the three roots u_k − 1/(3u_k), u_k³ = a/2 ± √(a²/4 + 1/27),
        // the sign taken that keeps u³ away from zero.
        const Cd a = std::exp(w);
        const Cd s = std::sqrt(0.25 * a * a + 1.0 / 27.0);
        const Cd u3 = std::norm(0.5 * a + s) >= std::norm(0.5 * a - s) ? 0.5 * a + s : 0.5 * a - s;
        Cd uk = std::pow(u3, 1.0 / 3.0);
        const Cd turn = std::polar(1.0, 2.0 * kPi / 3.0);
        // Left to right: the back half of the south pole's band, λ = +90°,
        // the front half, λ = −90°, the back half again.
        const double edge = std::sqrt(1.0 / 3.0);
        region = std::abs(x) <= 0.5 * kPi ? 1 : std::abs(x) >= 2.5 * kPi ? 1 : x < 0.0 ? 0 : 2;
        for (int k = 0; k < 3; ++k, uk *= turn) {
            const Cd z = uk - 1.0 / (3.0 * uk);
            const double im = z.imag();
            if ((region == 0 && im < -edge) || (region == 2 && im > edge) || (region == 1 && std::abs(im) <= edge)) {
                zeta = z;
            }
        }
    }
    const double n = std::norm(zeta);
    setHit(r, {static_cast<float>(-2.0 * zeta.imag() / (1.0 + n)), static_cast<float>((n - 1.0) / (n + 1.0)),
               static_cast<float>(2.0 * zeta.real() / (1.0 + n))});
    r.ownTag = true;
    r.regionTag = region;
}

}  // namespace

void mapMercatorComposition(const OutputCall& c, OutputResult& r) noexcept {
    switch (c.entry.id) {
        case 65:
            mapBands(c, r, 2);
            return;
        case 66:
            mapTriple(c, r);
            return;
        case 67:
            mapStar(c, r, 4);
            return;
        case 68:
            mapStar(c, r, 3);
            return;
        default:
            return;
    }
}

}  // namespace globaro::output_detail
