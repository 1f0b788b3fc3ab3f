// The sphere conformally onto the regular octahedron, unfolded.
//
// Seen stereographically from one vertex, t = tan(θ/2)·e^{iφ}, the
// octahedron's other vertices are the fourth roots of unity (the equator)
// and ∞. The faces meet four to a vertex, 240° of flat angle, so the
// developing map about a vertex is
//
//     w = ∫₀^t s^{−1/3} (1 − s⁴)^{−1/3} ds,
//
// and t = u^{3/2} turns it into 3/2·∫₀^u (1 − s⁶)^{−1/3} ds: the
// Schwarz–Christoffel map of the disc onto the regular hexagon (120°
// corners, no inner corners), whose sector 0 ≤ arg u ≤ π/3 is the
// equilateral triangle between the centre and two neighbouring corners.
// So a face, the octant between the vertex and two equator vertices, is
// drawn by inverting the hexagon's map on the triangle and raising u to the
// power 3/2. The map is unique for a face (the conformal map of a triangle
// onto a triangle, corners to corners), so the faces join smoothly across
// every edge of the net; angles are kept everywhere except at the six
// vertices.
//
// The net: each northern face over the southern face that shares its
// equator edge, a rhombus, four rhombi side by side along the equator,
// centred on λ = 0, ±90° and 180°; the last one is cut along the meridian
// 180° into the two ends.

#include <cmath>
#include <numbers>

#include "projection/output_formulas.h"
#include "projection/schwarz_christoffel.h"

namespace globaro::output_detail {

namespace {

constexpr double kEdge = 0.25;                                 // the faces' side, in plane units
constexpr double kHeight = 0.5 * std::numbers::sqrt3 * kEdge;  // a face's height

const StarMap& hexagonMap() {
    static const StarMap map(6, 2.0 / 3.0);
    return map;
}

Vec3d equatorVertex(double lambda) noexcept { return {-std::sin(lambda), 0.0, std::cos(lambda)}; }

// The direction at the net point p of the face whose apex (a vertex of the
// solid, the point `apex` of the net) sees `first` and then `second` 60°
// anticlockwise from it; false off the face.
bool octahedronFace(Complex p, Complex apex, Complex first, const Vec3d& top, const Vec3d& a, const Vec3d& b,
                    OutputResult& r) noexcept {
    const StarMap& map = hexagonMap();
    // Turn and scale the face so that `first` lands on the hexagon's corner
    // at u = 1 (the map's w = tipRadius).
    const Complex edge{first.re - apex.re, first.im - apex.im};
    const Complex local{p.re - apex.re, p.im - apex.im};
    const double scale = map.tipRadius() / (kEdge * kEdge);
    const Complex w = complexMul(local, complexConjugate(edge));
    Complex u;
    if (!map.inverse({w.re * scale, w.im * scale}, u)) return false;
    const Complex t = complexPow(u, 1.5);
    const double r2 = t.re * t.re + t.im * t.im, k = 1.0 / (1.0 + r2);
    const double c = (1.0 - r2) * k, e = 2.0 * t.re * k, n = 2.0 * t.im * k;
    setHit(r,
           toSphereDir({top.x * c + a.x * e + b.x * n, top.y * c + a.y * e + b.y * n, top.z * c + a.z * e + b.z * n}));
    return true;
}

}  // namespace

void mapConformalOctahedron(const OutputCall& c, OutputResult& r) noexcept {
    const Complex p{c.fxd(), -c.fyd()};
    if (!(std::fabs(p.re) <= 2.0 * kEdge && std::fabs(p.im) <= kHeight)) return;
    // The rhombus: centred on x = k·edge, λ = 90°·k (k = ±2 is the cut one).
    const double k = std::round(p.re / kEdge);
    const double centre = k * kEdge;
    // Inside the rhombus: below the two slanted sides of its triangle.
    if (!(std::fabs(p.re - centre) * std::numbers::sqrt3 <= kHeight - std::fabs(p.im) + 1e-12)) return;
    const double lambda = k * std::numbers::pi / 2.0;
    const Vec3d west = equatorVertex(lambda - std::numbers::pi / 4.0);
    const Vec3d east = equatorVertex(lambda + std::numbers::pi / 4.0);
    const Complex westCorner{centre - 0.5 * kEdge, 0.0}, eastCorner{centre + 0.5 * kEdge, 0.0};
    // Seen from outside, east lies anticlockwise of west about the north
    // pole and clockwise about the south pole, as in the net.
    if (p.im >= 0.0)
        octahedronFace(p, {centre, kHeight}, westCorner, {0.0, 1.0, 0.0}, west, east, r);
    else
        octahedronFace(p, {centre, -kHeight}, eastCorner, {0.0, -1.0, 0.0}, east, west, r);
}

}  // namespace globaro::output_detail
