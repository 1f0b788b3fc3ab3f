// The world conformally in straight-sided figures: crosses, Maltese crosses,
// stars and pinwheels, splats, a trident, zigzag bands, a chevron, a waffle,
// a shard, a wide rectangle and three fused hexagons.
//
// Each figure is a polygon designed here in plane units (y up, the box of the
// row fitting its outline) and drawn by its own Schwarz–Christoffel map of
// the unit disc (projection/polygon_map.h), solved on first use. The disc is
// Lagrange's: the sphere's stereographic coordinate about the poles raised to
// the power 1/2 and seen stereographically from the equator, so the whole
// sphere fills the figure; the row's pre-warp W(d, 2) undoes the square root.
// The disc is turned so that the north pole lands on the figure's chosen
// point of the outline; the south pole lands where the opposite disc point
// goes, the meridian 180° runs round the outline. Angles are kept everywhere
// except at the poles and the corners.

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>

#include "projection/output_formulas.h"
#include "projection/polygon_map.h"

namespace globaro::output_detail {

namespace {

constexpr double kPi = std::numbers::pi;

struct Figure {
    PolygonDesign design;
    ComplexD north;  // the point of the outline that shows the north pole
    // The one that shows the south pole; none (NaN): where the disc point
    // opposite the north pole's lands.
    ComplexD south{std::nan(""), 0.0};
};

ComplexD polar(double r, double degrees) { return std::polar(r, degrees * kPi / 180.0); }

// Every vertex turned by a quarter turn (a figure designed along +x, shown
// standing up).
Figure upright(int order, std::vector<ComplexD> sector) {
    for (ComplexD& v : sector) v *= ComplexD(0.0, 1.0);
    return {{order, std::move(sector)}, {0.0, 0.5}};
}

// n arms of half-width c with square ends 0.5 from the centre; neighbouring
// arms' sides meet at c/sin(π/n) on the bisector. The north pole at the
// middle of the top arm's end.
Figure cross(int n, double c) {
    const double d = c / std::sin(kPi / n);
    return upright(n, {{0.5, -c}, {0.5, c}, d * std::polar(1.0, kPi / n)});
}

// A Maltese cross: n arms flaring from the centre to two points 0.5 out at
// ±spread about the arm's axis, a V notch between them down to `notch`; the
// arms meet at `waist` from the centre. The north pole in the top notch.
Figure malta(int n, double spread, double notch, double waist) {
    Figure f = upright(n, {polar(0.5, -spread), {notch, 0.0}, polar(0.5, spread), waist * std::polar(1.0, kPi / n)});
    f.north = {0.0, notch};
    return f;
}

// n arms on necks of half-width 0.08, each with a diamond head 0.26 wide
// ending in a point 0.5 out.
Figure splat(int n) {
    return upright(n, {{0.25, -0.08}, {0.36, -0.13}, {0.5, 0.0}, {0.36, 0.13}, {0.25, 0.08}, polar(0.2, 180.0 / n)});
}

// A circular saw of n hooked teeth: a long edge climbs to each tip 0.5 out,
// a short one drops back, slightly behind it, to `root`.
Figure shark(int n, double root, double hook) { return upright(n, {{0.5, 0.0}, polar(root, -hook)}); }

Figure phenylCross() {
    // A plus cross whose arms end in half hexagons: 120° at every end corner.
    const double c = 0.13, shoulder = 0.5 - c / std::sqrt(3.0);
    return upright(4, {{shoulder, -c}, {0.5, 0.0}, {shoulder, c}, {c, c}});
}

Figure trizag() {
    // An equilateral triangle (corners 0.5 out) whose sides zigzag: in, out,
    // in at their quarters by 0.05.
    const ComplexD c0 = 0.5, c1 = polar(0.5, 120.0), inward = -polar(1.0, 60.0);
    const auto along = [&](double t) { return c0 + t * (c1 - c0); };
    return upright(3, {c0, along(0.25) + 0.05 * inward, along(0.5) - 0.05 * inward, along(0.75) + 0.05 * inward});
}

Figure phenalene() {
    // Three regular hexagons of side 1/4 round the centre, each with a corner
    // there; the outline takes four corners of each (the fifth is shared).
    const double s = 0.25;
    const ComplexD centre(0.0, s);
    std::vector<ComplexD> sector;
    for (int j = 1; j <= 4; ++j) sector.push_back(centre + polar(s, 270.0 + 60.0 * j));
    return {{3, sector}, {0.0, 0.5}};
}

Figure waffle() {
    // A square whose sides each carry three merlons and two notches 0.06 deep.
    return {{4,
             {{0.45, -0.45},
              {0.45, -0.21},
              {0.39, -0.21},
              {0.39, -0.09},
              {0.45, -0.09},
              {0.45, 0.09},
              {0.39, 0.09},
              {0.39, 0.21},
              {0.45, 0.21}}},
            {0.0, 0.45}};
}

Figure zigzag() {
    // A band 0.3 high between two parallel zigzags of three strokes, its ends
    // cut square; symmetric under the half turn.
    const double t = 0.15, a = 0.1;
    return {{2, {{-0.5, -t - a}, {-1.0 / 6.0, -t + a}, {1.0 / 6.0, -t - a}, {0.5, -t + a}}}, {0.0, t}};
}

Figure monozag() {
    // The letter Z: two bars 0.18 thick joined by a diagonal stroke.
    return {{2, {{-0.5, -0.35}, {0.5, -0.35}, {0.5, -0.17}, {-0.2, -0.17}, {0.5, 0.17}}}, {0.0, 0.35}};
}

Figure chevron() {
    // A band 0.35 thick bent into a V pointing up, cut vertically at both
    // ends; the poles at the apex and in the notch below it.
    return {{1, {{0.0, 0.4}, {-0.5, -0.1}, {-0.5, -0.45}, {0.0, 0.05}, {0.5, -0.45}, {0.5, -0.1}}, {0.0, 0.22}},
            {0.0, 0.4}};
}

Figure trident() {
    // A shaft, a crossbar and three pointed prongs.
    return {{1,
             {{-0.1, -0.5},
              {0.1, -0.5},
              {0.1, -0.1},
              {0.4, -0.1},
              {0.4, 0.34},
              {0.32, 0.5},
              {0.24, 0.34},
              {0.24, 0.1},
              {0.08, 0.1},
              {0.08, 0.34},
              {0.0, 0.5},
              {-0.08, 0.34},
              {-0.08, 0.1},
              {-0.24, 0.1},
              {-0.24, 0.34},
              {-0.32, 0.5},
              {-0.4, 0.34},
              {-0.4, -0.1},
              {-0.1, -0.1}},
             {0.0, 0.0}},
            {0.0, 0.5}};
}

Figure shard() {
    // A splinter of glass: nine corners, no symmetry; the poles at its two
    // sharpest points, top and bottom.
    return {{1,
             {{0.0, 0.5},
              {-0.18, 0.12},
              {-0.3, 0.05},
              {-0.12, -0.2},
              {-0.2, -0.5},
              {0.08, -0.18},
              {0.28, -0.3},
              {0.15, 0.05},
              {0.22, 0.2}},
             {0.0, 0.0}},
            {0.0, 0.5},
            {-0.2, -0.5}};
}

struct Shape {
    ProjectionId id;
    Figure (*make)();
};

constexpr Shape kShapes[] = {
    {115, [] { return phenalene(); }},
    {117, [] { return cross(4, 1.0 / 6.0); }},
    {119,
     [] {
         return Figure{{2, {{-0.5, -0.25}, {0.5, -0.25}}}, {0.0, 0.25}};
     }},
    {127, [] { return zigzag(); }},
    {128, [] { return chevron(); }},
    {129, [] { return monozag(); }},
    {130, [] { return malta(3, 35.0, 0.34, 0.16); }},
    {131, [] { return malta(4, 30.0, 0.35, 0.2); }},
    {132, [] { return malta(5, 22.0, 0.37, 0.22); }},
    {133, [] { return malta(6, 18.0, 0.38, 0.24); }},
    {144,
     [] {
         // A compass rose: four long points and four short ones between them.
         return upright(4, {{0.5, 0.0}, polar(0.2, 22.5), polar(0.32, 45.0), polar(0.2, 67.5)});
     }},
    {145,
     [] {
         return upright(6, {{0.5, 0.0}, polar(0.2, 42.0)});
     }},  // six swept blades
    {150, [] { return waffle(); }},
    {151, [] { return trident(); }},
    {155, [] { return trizag(); }},
    {156, [] { return shark(3, 0.28, 10.0); }},
    {157, [] { return shark(4, 0.26, 10.0); }},
    {162, [] { return shard(); }},
    {166, [] { return phenylCross(); }},
    {302, [] { return splat(3); }},
    {303, [] { return splat(5); }},
    {351, [] { return cross(3, 0.15); }},
    {352, [] { return cross(5, 0.12); }},
    {353,
     [] {
         // Three toes with pointed tips.
         return upright(3, {{0.33, -0.14}, {0.5, 0.0}, {0.33, 0.14}, polar(0.14 / std::sin(kPi / 3.0), 60.0)});
     }},
};

constexpr int kShapeCount = static_cast<int>(std::size(kShapes));

// The disc of the figure's map is carried onto Lagrange's by the disc's own
// conformal map z ↦ turn·(z − a)/(1 − ā·z), which sends the north point's
// prevertex to i and the south point's to −i: a is the point of the
// hyperbolic line between the two prevertices nearest the centre (0 when
// they are opposite already).
struct Solved {
    std::unique_ptr<PolygonMap> map;
    ComplexD turn{1.0, 0.0};
    ComplexD a{0.0, 0.0};
};

// The prevertex of a point of the outline: a corner's own, or that of a
// point just inside the middle of a side, where the map is smooth.
ComplexD outlinePrevertex(const PolygonMap& map, ComplexD point, ComplexD centre) {
    ComplexD z;
    if (map.cornerPrevertex(point, z)) return z;
    if (!map.inverse(point + 1e-6 * (centre - point), z) || !(std::abs(z) > 0.0)) return {0.0, 1.0};
    return z / std::abs(z);
}

const Solved& solvedShape(int index) {
    static std::array<std::once_flag, kShapeCount> once;
    static std::array<Solved, kShapeCount> solved;
    std::call_once(once[index], [index] {
        const Figure f = kShapes[index].make();
        Solved& s = solved[index];
        s.map = std::make_unique<PolygonMap>(f.design);
        const ComplexD u = outlinePrevertex(*s.map, f.north, f.design.centre);
        if (!std::isnan(f.south.real())) {
            const ComplexD v = outlinePrevertex(*s.map, f.south, f.design.centre);
            const double half = 0.5 * std::acos(std::clamp((u * std::conj(v)).real(), -1.0, 1.0));
            if (std::abs(u + v) > 1e-12) s.a = (1.0 - std::sin(half)) / std::cos(half) * (u + v) / std::abs(u + v);
        }
        const ComplexD moved = (u - s.a) / (1.0 - std::conj(s.a) * u);
        s.turn = ComplexD(0.0, 1.0) * std::abs(moved) / moved;
    });
    return solved[index];
}

}  // namespace

const PolygonMap* straightPolygonMap(ProjectionId id) {
    for (int i = 0; i < kShapeCount; ++i)
        if (kShapes[i].id == id) return solvedShape(i).map.get();
    return nullptr;
}

void mapStraightPolygon(const OutputCall& c, OutputResult& r) noexcept {
    int index = 0;
    while (index < kShapeCount && kShapes[index].id != c.entry.id) ++index;
    if (index == kShapeCount) return;
    const Solved& s = solvedShape(index);
    if (!s.map->solved()) return;
    ComplexD z;
    if (!s.map->inverse({c.fxd(), -c.fyd()}, z)) return;
    // The disc's Möbius map, its division written out (the library's own
    // guards against infinities cost more than the rest of the sample).
    const ComplexD top = z - s.a, bottom = 1.0 - std::conj(s.a) * z;
    z = s.turn * (top * std::conj(bottom)) / std::norm(bottom);
    setHit(r, inverseStereographic(static_cast<float>(z.real()), static_cast<float>(-z.imag())));
}

}  // namespace globaro::output_detail
