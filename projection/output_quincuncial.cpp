// Peirce's construction with other folds: the "n-cunx" maps.
//
// Peirce's quincunx puts the northern hemisphere in a square and folds the
// southern one out across the square's sides: the square's map reflected
// across a side (Schwarz's reflection) draws the southern hemisphere, and of
// each reflected square the triangle between the side and the reflected
// centre (the south pole) is kept; five pieces in all. The same works for
// any regular polygon: the northern hemisphere in the n-gon by the disc's
// Schwarz–Christoffel map, and across each side the triangle up to the
// reflected centre, n + 1 pieces:
//
//   quadracunx  the triangle and three triangles round it: a regular hexagon,
//               the south pole at three of its corners;
//   sexacunx    the pentagon and five triangles: a five-pointed star with
//               72° tips (the south pole) and 216° inner corners;
//   septecunx   the hexagon and six triangles: a six-pointed star with 60°
//               tips and 240° inner corners.
//
// Three pieces cannot be had from triangles (a 2-gon has no straight
// sides), so the trecunx keeps Peirce's square and folds the southern
// hemisphere out across two opposite sides only, half of it on each: the
// central square and two half squares make a rectangle twice as wide as
// high, the south pole at the middles of its left and right sides.
//
// Every seam inside the outline is a reflection, so the maps keep angles
// everywhere except at the polygon's corners, the four, three, five or six
// points of the equator where the fold turns. The north pole is at the
// centre and the meridian λ = 0 runs straight down from it (to the bottom
// tip, or to the middle of the bottom side for the trecunx).

#include <array>
#include <cmath>
#include <numbers>
#include <utility>

#include "projection/output_formulas.h"
#include "projection/schwarz_christoffel.h"

namespace globaro::output_detail {

namespace {

struct CunxShape {
    ProjectionId id;
    int sides;       // of the polygon holding the northern hemisphere
    bool twoHalves;  // the southern hemisphere in two half polygons (else in `sides` triangles)
};

constexpr CunxShape kCunxShapes[] = {{92, 4, true}, {93, 3, false}, {95, 5, false}, {96, 6, false}};

// Every polygon's sides lie 0.25 plane units from its centre, so that the
// tips (twice as far) and the hexagon's corners reach 0.5 and the trecunx
// is 1 by 0.5; the row boxes fit the outlines.
constexpr double kInradius = 0.25;

constexpr int kCunxCount = static_cast<int>(std::size(kCunxShapes));

const StarMap& polygonMap(int index) {
    static const std::array<StarMap, kCunxCount> maps = [] {
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return std::array<StarMap, kCunxCount>{StarMap(kCunxShapes[I].sides, 1.0 - 2.0 / kCunxShapes[I].sides)...};
        }
        (std::make_index_sequence<kCunxCount>{});
    }();
    return maps[index];
}

// The side k's outward normal: side 0 faces down (the meridian λ = 0), the
// others follow anticlockwise; the trecunx's two sides face right and left.
Complex sideNormal(const CunxShape& s, int k) noexcept {
    return s.twoHalves ? Complex{k == 0 ? 1.0 : -1.0, 0.0}
                       : complexUnit(-std::numbers::pi / 2.0 + 2.0 * std::numbers::pi * k / s.sides);
}

// The northern hemisphere's direction at the disc point z of the polygon's
// map, with the disc turned so that plane angle θ shows longitude θ + 90°
// (down is λ = 0, right λ = 90°); `south` mirrors it across the equator.
SphereDir hemisphere(Complex z, bool south) noexcept {
    const double r2 = z.re * z.re + z.im * z.im, k = 1.0 / (1.0 + r2);
    const double up = (1.0 - r2) * k;
    return {static_cast<float>(-2.0 * z.re * k), static_cast<float>(south ? -up : up),
            static_cast<float>(-2.0 * z.im * k)};
}

// The disc point of the plane point p (y up, centred) inside the polygon,
// or false outside it.
bool polygonDisc(int index, Complex p, Complex& z) noexcept {
    const CunxShape& s = kCunxShapes[index];
    const StarMap& map = polygonMap(index);
    // The map's side middles lie at angles π/n + 2πk/n; the plane's at
    // −π/2 + 2πk/n (or 0 and π for the square turned side-on).
    const double planeSide = s.twoHalves ? 0.0 : -std::numbers::pi / 2.0;
    const Complex turn = complexUnit(std::numbers::pi / s.sides - planeSide);
    const double scale = map.innerRadius() / kInradius;
    if (!map.inverse(complexMul({p.re * scale, p.im * scale}, turn), z)) return false;
    z = complexMul(z, complexConjugate(turn));
    return true;
}

int cunxIndex(ProjectionId id) noexcept {
    for (int i = 0; i < kCunxCount; ++i)
        if (kCunxShapes[i].id == id) return i;
    return -1;
}

}  // namespace

void mapCunx(const OutputCall& c, OutputResult& r) noexcept {
    const int index = cunxIndex(c.entry.id);
    if (index < 0) return;
    const CunxShape& s = kCunxShapes[index];
    const Complex p{c.fxd(), -c.fyd()};
    Complex z;
    if (polygonDisc(index, p, z)) {
        setHit(r, hemisphere(z, false));
        return;
    }
    // The side whose piece p may lie in: the nearer of the two for the
    // trecunx (inside its rectangle), else the sector of p's angle.
    int k = 0;
    if (s.twoHalves) {
        if (!(std::fabs(p.re) <= 2.0 * kInradius && std::fabs(p.im) <= kInradius)) return;
        k = p.re >= 0.0 ? 0 : 1;
    } else {
        const double step = 2.0 * std::numbers::pi / s.sides;
        const double turns = std::round((std::atan2(p.im, p.re) + std::numbers::pi / 2.0) / step);
        k = static_cast<int>(turns) % s.sides;
        if (k < 0) k += s.sides;
    }
    const Complex u = sideNormal(s, k);
    const double beyond = p.re * u.re + p.im * u.im - kInradius;
    if (!(beyond > 0.0)) return;
    const Complex mirrored{p.re - 2.0 * beyond * u.re, p.im - 2.0 * beyond * u.im};
    if (!s.twoHalves) {
        // The piece is the triangle up to the reflected centre: its mirror
        // image lies in the side's own sector of the polygon.
        const double along = mirrored.re * u.re + mirrored.im * u.im;
        const double across = std::fabs(mirrored.im * u.re - mirrored.re * u.im);
        if (!(across <= along * std::tan(std::numbers::pi / s.sides) + 1e-12)) return;
    }
    if (!polygonDisc(index, mirrored, z)) return;
    setHit(r, hemisphere(z, true));
}

}  // namespace globaro::output_detail
