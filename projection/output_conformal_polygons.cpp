// The world conformally in regular polygons, stars and rhombi.
//
// Each shape is the Schwarz–Christoffel image of the unit disc
// (projection/schwarz_christoffel.h); the disc is Lagrange's: the sphere's
// stereographic coordinate about the poles raised to the power 1/2 and seen
// stereographically from the equator, so the whole sphere fills the shape.
// The row's pre-warp W(d, 2) undoes the square root. The poles lie at the
// disc points ±i, the meridian 180° round the outline (both banks); the map
// keeps angles everywhere except at the poles and the shape's corners.

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

#include "projection/output_formulas.h"
#include "projection/schwarz_christoffel.h"

namespace globaro::output_detail {

namespace {

struct PolygonShape {
    ProjectionId id;
    int points;
    double tipAngle;  // the tips' interior angle over π
    Complex turn;     // the direction of the first tip in the plane
};

constexpr Complex kUp{0.0, 1.0}, kRight{1.0, 0.0};

// The tips lie 0.5 plane units from the centre (the boxes of the rows fit
// the outlines). The poles sit on a tip or a corner where the shape has one
// on its vertical axis, else on the middle of a side.
constexpr PolygonShape kShapes[] = {
    {97, 5, 1.0 / 5.0, kUp},      // 5-star: the pentagram's 36° tips
    {98, 5, 3.0 / 5.0, kUp},      // pentagon
    {100, 3, 1.0 / 6.0, kUp},     // 3-star: 30° tips, 210° between them
    {101, 3, 1.0 / 3.0, kUp},     // triangle
    {102, 2, 1.0 / 3.0, kRight},  // rhombus 1: 60° corners left and right, the poles at the 120° ones
    {103, 2, 1.0 / 3.0, kUp},     // rhombus 2: the poles at the 60° corners
    {104, 6, 1.0 / 3.0, kUp},     // 6-star: the hexagram
    {105, 6, 2.0 / 3.0, kUp},     // hexagon
    {116, 4, 1.0 / 5.0, kUp},     // shuriken: four 36° blades
    {158, 16, 0.5, kUp},          // sunburst: sixteen short right-angled rays
    {163, 12, 1.0 / 6.0, kUp},    // starburst: twelve 30° spikes
};

constexpr int kShapeCount = static_cast<int>(std::size(kShapes));

// The maps are set up once per process, on first use.
const StarMap& shapeMap(int index) {
    static const std::array<StarMap, kShapeCount> maps = [] {
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return std::array<StarMap, kShapeCount>{StarMap(kShapes[I].points, kShapes[I].tipAngle)...};
        }
        (std::make_index_sequence<kShapeCount>{});
    }();
    return maps[index];
}

int shapeIndex(ProjectionId id) noexcept {
    for (int i = 0; i < kShapeCount; ++i)
        if (kShapes[i].id == id) return i;
    return -1;
}

// The hemisphere of the unit disc seen stereographically from its far pole,
// centred on `centre` (the disc's x axis towards λ = 0 on the equator, y to
// the north pole).
SphereDir hemisphereDirection(Complex z, double centre) noexcept {
    const double r2 = z.re * z.re + z.im * z.im, k = 1.0 / (1.0 + r2);
    return {static_cast<float>(centre * (1.0 - r2) * k), static_cast<float>(2.0 * z.im * k),
            static_cast<float>(2.0 * z.re * k)};
}

}  // namespace

void mapFusedPolygons(const OutputCall& c, OutputResult& r) noexcept {
    // Regular n-gons in a row, neighbours sharing a vertical side, each the
    // mirror image of the one before: the western hemisphere in the first,
    // the eastern in the second, the western again in a third, each by the
    // n-gon's Schwarz–Christoffel map of the disc. A mirrored polygon holds
    // its neighbour's hemisphere mirrored across the meridian plane
    // λ = 0/180°, so the map runs on smoothly across every shared side
    // (Schwarz's reflection) and is cut along the others.
    const bool pentagons = c.entry.id == 113;
    const int count = c.entry.id == 167 ? 3 : 2;
    const int index = shapeIndex(pentagons ? 98 : 105);
    const StarMap& map = shapeMap(index);
    const int n = kShapes[index].points;
    const double inradius = 0.5 * std::cos(std::numbers::pi / n);  // the corners 0.5 from each centre
    const double x = c.fxd();
    const int i = std::clamp(static_cast<int>(std::floor((x + count * inradius) / (2.0 * inradius))), 0, count - 1);
    const bool mirrored = i % 2 == 1;
    // The point in the first polygon's frame, centred on it.
    const double local = x - (2 * i + 1 - count) * inradius;
    const Complex p{mirrored ? -local : local, -c.fyd()};
    // In the n-gon's map, whose first side middle lies at angle π/n.
    const Complex toMap = complexUnit(std::numbers::pi / n);
    const Complex w = complexMul({p.re * 2.0 * map.tipRadius(), p.im * 2.0 * map.tipRadius()}, toMap);
    Complex z;
    if (!map.inverse(w, z)) return;
    setHit(r, hemisphereDirection(complexMul(z, complexConjugate(toMap)), mirrored ? -1.0 : 1.0));
}

void mapConformalPolygon(const OutputCall& c, OutputResult& r) noexcept {
    const int index = shapeIndex(c.entry.id);
    if (index < 0) return;
    const PolygonShape& shape = kShapes[index];
    const StarMap& map = shapeMap(index);
    // The frame point with y up, turned so that the first tip lies on the x
    // axis, in the map's own units.
    const Complex turn = shape.turn;
    const Complex p{c.fxd(), -c.fyd()};
    const Complex w = complexMul(p, {turn.re * 2.0 * map.tipRadius(), -turn.im * 2.0 * map.tipRadius()});
    Complex z;
    if (!map.inverse(w, z)) return;
    z = complexMul(z, turn);
    setHit(r, inverseStereographic(static_cast<float>(z.re), static_cast<float>(-z.im)));
}

}  // namespace globaro::output_detail

namespace globaro::output_detail {

void conformalPolygonAt(ProjectionId shapeId, Complex p, OutputResult& r) noexcept {
    // The shape's map at the plane point p (y up, the tips 0.5 from the centre).
    const int index = shapeIndex(shapeId);
    if (index < 0) return;
    const StarMap& map = shapeMap(index);
    const Complex turn = kShapes[index].turn;
    Complex z;
    if (!map.inverse(complexMul(p, {turn.re * 2.0 * map.tipRadius(), -turn.im * 2.0 * map.tipRadius()}), z)) return;
    z = complexMul(z, turn);
    setHit(r, inverseStereographic(static_cast<float>(z.re), static_cast<float>(-z.im)));
}

}  // namespace globaro::output_detail
