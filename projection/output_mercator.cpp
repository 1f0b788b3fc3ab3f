// The Mercator compositions: the whole sphere in a cross or a star of
// Mercator strips (projection/mercator_star.h).
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
// view. The cuts are the
// great-circle arcs from those points to the back of the view (λ = 180° on
// the equator), which lies in every re-entrant corner between the arms.
// Each arm ends, square, where the scale on its centre line is 100 times the
// scale at the centre (about 0.4° from its pole for the cross), so the caps
// that small round the arms' poles are left out.

#include <complex>

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
    const Cd w = Cd(c.cxd(), -c.cyd()) * Cd(0.0, -1.0);
    if (!out.star.contains(w, out.reach)) return;
    MercatorStar::Point p = out.star.inverse(w);
    // Turn the answer back: ζ by +90°, t = 1/ζ by −90°.
    p.value *= p.reciprocal ? Cd(0.0, -1.0) : Cd(0.0, 1.0);
    setHit(r, stereographicDirection(p));
}

}  // namespace

void mapMercatorComposition(const OutputCall& c, OutputResult& r) noexcept {
    switch (c.entry.id) {
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
