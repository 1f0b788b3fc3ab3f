// The world conformally in curved outlines: the floret family and the
// Reuleaux triangle (projection/floret_table.h), the ellipse and the
// semicircle.
//
// The outlines of the table hold the whole world with n-fold symmetry: the
// disc z carried onto the outline (projection/curved_outline.h) is the
// sphere's stereographic plane about the view centre through
//
//     ζ = 4^{1/n} · z / (1 − zⁿ)^{2/n},
//
// which takes the disc conformally onto the plane cut along n rays from
// |ζ| = 1 to infinity (the back of the sphere split into n lobes along n
// meridians from the equator to the antipode): the n tips z = e^{2πik/n}
// show the antipode, the points between them the equator. Turning the
// outline by 1/n turn turns the world as much about the view centre. The map
// keeps angles everywhere but at the tips and at the cuts' ends.
//
// The ellipse and the semicircle hold Lagrange's disc (the sphere's
// stereographic coordinate about the poles, raised to the power 1/2 and seen
// from the equator; the rows' pre-warp W(d, 2) undoes the square root), the
// poles at its top and bottom, by closed forms. "Reuleaux 2", "Reuleaux 4",
// "Reuleaux 8" and "Octreleaux" lay hemispheres, a tetrahedron's faces and
// an octahedron's faces out in Reuleaux triangles.

#include <array>
#include <cmath>
#include <complex>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <numbers>
#include <vector>

#include "geometry/fast_math.h"
#include "projection/curved_outline.h"
#include "projection/elliptic.h"
#include "projection/floret_table.h"
#include "projection/output_formulas.h"
#include "projection/schwarz_christoffel.h"

namespace globaro {

using Point = std::complex<double>;

// Whether the point p (tips on the rays 2πk/count at radius 1) lies inside
// the outline of `row`.
bool floretInside(const FloretRow& row, Point p) noexcept {
    const int n = row.count;
    const double step = 2.0 * std::numbers::pi / n;
    switch (row.type) {
        case OutlineType::kLobes: {
            if (std::norm(p) <= row.core * row.core) return true;
            const Point lean = std::polar(1.0, -row.angle * std::numbers::pi / 180.0);
            for (int k = 0; k < n; ++k) {
                const Point ray = std::polar(1.0, -step * k);
                const Point q = (p * ray - row.offset) * lean;
                const double a = row.size * row.stretch, b = row.size;
                if ((q.real() * q.real()) / (a * a) + (q.imag() * q.imag()) / (b * b) <= 1.0) return true;
            }
            return false;
        }
        case OutlineType::kReuleaux: {
            const double side = 2.0 * std::sin(std::numbers::pi * (n - 1) / (2.0 * n));
            for (int k = 0; k < n; ++k)
                if (std::abs(p - std::polar(1.0, step * k)) > side) return false;
            return true;
        }
        case OutlineType::kRounded: {
            // Into the sector |arg p| ≤ π/n about the corner at (offset, 0).
            const double turns = std::round(std::arg(p) / step);
            const Point q = p * std::polar(1.0, -step * turns);
            const Point corner{row.offset, 0.0};
            const double half = step / 2.0;
            const double apothem = row.offset * std::cos(half);
            bool inPolygon = true;
            double gap = std::abs(q - corner);
            for (const double side : {half, -half}) {
                const Point normal = std::polar(1.0, side);
                const double out = q.real() * normal.real() + q.imag() * normal.imag() - apothem;
                if (out > 0.0) inPolygon = false;
                // The distance to the side from the corner towards the next one.
                const Point along = Point{0.0, side > 0 ? 1.0 : -1.0} * normal;
                const double t = (q - corner).real() * along.real() + (q - corner).imag() * along.imag();
                const double length = 2.0 * row.offset * std::sin(half);
                if (t > 0.0 && t < length) gap = std::min(gap, std::abs(out));
            }
            return inPolygon || gap <= row.size;
        }
        case OutlineType::kRoundStar:
            return false;  // drawn by the star's own map (floretMap), not by a test
        case OutlineType::kPinwheel: {
            double u = std::arg(p) / step;
            u -= std::floor(u);
            const double rho = 1.0 - row.size + row.size * std::sin(std::numbers::pi * std::pow(u, row.stretch));
            return std::norm(p) <= rho * rho;
        }
        case OutlineType::kPetals: {
            const double theta = std::arg(p);
            const double rho = 1.0 - row.size * (1.0 - std::abs(std::cos(0.5 * n * theta)));
            return std::norm(p) <= rho * rho;
        }
    }
    return false;
}

namespace output_detail {

namespace {

constexpr int kFloretCount = static_cast<int>(std::size(kFloretRows));

// a·b and zⁿ in real arithmetic (the library's product checks every result
// for infinite parts, which these finite ones never have).
Point times(Point a, Point b) noexcept {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}
Point power(Point z, int n) noexcept {
    Point p = z;
    for (int k = 1; k < n; ++k) p = times(p, z);
    return p;
}

}  // namespace

// The map of an outline of the table, set up on first use (once per
// process): Theodorsen's series, or for a rounded star the star's own map
// after q.
struct FloretMap {
    std::unique_ptr<OutlineMap> series;
    std::unique_ptr<StarMap> star;
    double reach = 1.0;   // the outline's farthest point from its centre
    Point phase = 1.0;    // e^{iφ} of the disc point shown at the first tip
    Point turn = 1.0;     // the frame's turn that puts the first tip on the ray of angle 0
    Point toPlane = 1.0;  // 4^{1/n}·phase/turn: the factor of ζ

    // The disc point of the outline point w; false outside.
    bool inverse(const FloretRow& row, Point w, Point& z) const noexcept {
        if (series) return series->inverse(w, z);
        Complex s;
        if (!star->inverse({w.real(), w.imag()}, s)) return false;
        // Undo q(z) = size·z·(1 + ε·zⁿ)/(1 + ε) by Newton's method on
        // x + ε·x^{n+1} = t from x = t, q being close to the identity; after
        // a step below 1e-7 the point is good to about 1e-14.
        const Point t = Point{s.re, s.im} * ((1.0 + row.offset) / row.size);
        const double e = row.offset;
        Point x = t;
        for (int k = 0; k < 30; ++k) {
            const Point xn = power(x, row.count);
            const Point num = x + e * x * xn - t, den = 1.0 + (row.count + 1.0) * e * xn;
            const Point step = times(num, std::conj(den)) / std::norm(den);
            x -= step;
            if (!(std::norm(step) >= 1e-14)) break;
        }
        if (!(std::norm(x) <= 1.0 + 1e-12)) return false;
        z = x;
        return true;
    }
};

const FloretMap& floretMap(int index) {
    static std::array<FloretMap, kFloretCount> maps;
    static std::array<std::once_flag, kFloretCount> once;
    std::call_once(once[static_cast<std::size_t>(index)], [index] {
        const FloretRow& row = kFloretRows[index];
        FloretMap& m = maps[static_cast<std::size_t>(index)];
        m.turn = std::polar(1.0, (row.tilt - 90.0) * std::numbers::pi / 180.0);
        if (row.type == OutlineType::kRoundStar) {
            m.star = std::make_unique<StarMap>(row.count, row.angle / 180.0);
            m.reach = m.star->forward({row.size, 0.0}).re;
        } else {
            const auto inside = [&row](Point p) { return floretInside(row, p); };
            m.series = std::make_unique<OutlineMap>(row.count, inside, 2.0);
            m.reach = m.series->reach();
            if (row.type == OutlineType::kPinwheel) {
                // The first petal's crest, where the antipode goes (at the
                // notches, whose corners widen, it would shrink out of sight).
                const double crest = 2.0 * std::numbers::pi / row.count * std::pow(0.5, 1.0 / row.stretch);
                Point z;
                if (m.series->inverse(std::polar(0.999999 * m.series->radius(crest), crest), z))
                    m.phase = z / std::abs(z);
            }
        }
        m.toPlane = std::pow(4.0, 1.0 / row.count) * m.phase / m.turn;
    });
    return maps[static_cast<std::size_t>(index)];
}

void mapCurvedOutline(const OutputCall& c, OutputResult& r) noexcept {
    const int index = floretIndex(c.entry.id);
    if (index < 0) return;
    const FloretRow& row = kFloretRows[index];
    const FloretMap& map = floretMap(index);
    const int n = row.count;
    // The frame point with y up, turned to put the first tip on the
    // outline's ray of angle 0, in the outline's units (its reach 0.5).
    const Point p{c.fxd(), -c.fyd()};
    const Point w = times(p, map.turn) * (2.0 * map.reach);
    Point z;
    if (!map.inverse(row, w, z)) return;
    z = times(z, std::conj(map.phase));
    // ζ = 4^{1/n}·z/(1 − zⁿ)^{2/n}·phase/turn, the power by the principal
    // branch (|zⁿ| ≤ 1 keeps 1 − zⁿ in the right half-plane).
    const Point q = 1.0 - power(z, n);
    const double q2 = std::norm(q);
    if (!(q2 > 1e-300)) {
        setHit(r, {0.0f, 0.0f, -1.0f});
        return;
    }
    const Point inverse = std::polar(std::pow(q2, -1.0 / n), -2.0 / n * fast_math::atan2(q.imag(), q.real()));
    const Point zeta = times(times(z, inverse), map.toPlane);
    setHit(r, inverseStereographic(static_cast<float>(zeta.real()), static_cast<float>(-zeta.imag())));
}

}  // namespace output_detail

const OutlineMap* floretMapOf(ProjectionId id) {
    const int index = floretIndex(id);
    return index < 0 ? nullptr : output_detail::floretMap(index).series.get();
}

// The unit disc onto the ellipse with foci ±1 and half-axes cosh τ, sinh τ,
// τ = π/4, inverted (after Schwarz): arcsin takes the ellipse onto the
// rectangle |Re ξ| < π/2, |Im ξ| < τ (cut along the focal rays), and
// √k·sn(2K/π·ξ; k) with k = 1/√2 (K = K′) takes that onto the unit disc, its
// cuts healed by the symmetry of sn. The answer is z with the major axis real.
Point ellipseToDisc(Point w) noexcept {
    constexpr double kM = 0.5;  // k² = k′² = 1/2
    static const double quarter = completeEllipticK(kM);
    const Point u = std::asin(w) * (2.0 * quarter / std::numbers::pi);
    // sn(x + iy) by the addition theorem, from the real functions of x (k)
    // and y (k′).
    const JacobiValues a = jacobiReal(u.real(), kM), b = jacobiReal(u.imag(), 1.0 - kM);
    const double den = b.cn * b.cn + kM * a.sn * a.sn * b.sn * b.sn;
    const Point sn = Point{a.sn * b.dn, a.cn * a.dn * b.sn * b.cn} / den;
    return sn * std::sqrt(std::sqrt(kM));
}

namespace output_detail {

namespace {

// Lagrange's disc (y up) as the direction the pre-warp W(d, 2) opens.
void hitLagrange(Point z, OutputResult& r) noexcept {
    if (!(std::norm(z) <= 1.0 + 1e-12)) return;
    setHit(r, inverseStereographic(static_cast<float>(z.real()), static_cast<float>(-z.imag())));
}

}  // namespace

void mapEllipse(const OutputCall& c, OutputResult& r) noexcept {
    // The box's half-axes are (cosh τ, sinh τ)/2: the foci lie at ±0.5.
    const Point w{2.0 * c.fxd(), -2.0 * c.fyd()};
    const double a = std::cosh(kPi / 4.0), b = std::sinh(kPi / 4.0);
    if ((w.real() * w.real()) / (a * a) + (w.imag() * w.imag()) / (b * b) > 1.0) return;
    hitLagrange(ellipseToDisc(w), r);
}

void mapSemicircle(const OutputCall& c, OutputResult& r) noexcept {
    // The half-disc of radius 0.5 standing on its diameter, the diameter's
    // middle at frame (0, 0.25). (1 + z)/(1 − z) opens it onto the first
    // quadrant (the corners −1 and 1 to 0 and ∞), the square onto the upper
    // half-plane, and (p − i)/(p + i) that onto the disc: the top of the arc
    // comes to i (the north pole), the diameter's middle to −i (the south
    // pole), the corners to ∓1 (both the equator point of the meridian 180°).
    const Point z{2.0 * c.fxd(), 2.0 * (0.25 - c.fyd())};
    if (std::norm(z) > 1.0 || z.imag() < 0.0) return;
    if (z == Point{1.0, 0.0}) {
        hitLagrange({1.0, 0.0}, r);
        return;
    }
    const Point q = (1.0 + z) / (1.0 - z), p = q * q;
    hitLagrange((p - Point{0.0, 1.0}) / (p + Point{0.0, 1.0}), r);
}

}  // namespace output_detail

namespace output_detail {

namespace {

// The tetrahedron with a face centred on the view centre +z, seen
// stereographically from that face's far side: its face is a circular-arc
// triangle with the face's 120° corners, and a circular-arc triangle is fixed
// by its angles up to a Möbius map, which the 3-fold symmetry makes a
// scaling: the face's image is exactly a Reuleaux triangle, its corners
// √2/2 from the centre (where the tetrahedron's vertices, at z = 1/3, land).
struct ReuleauxNet {
    double corner = std::numbers::sqrt2 / 2.0;
    double side = corner * std::numbers::sqrt3;  // the arcs' radius
    double middle = side - corner;               // the arcs' middles from the centre
    std::array<Point, 3> corners{}, outward{};   // the central face's corners; unit normals at the arcs' middles
    std::array<Vec3d, 3> axes{};                 // the edges' middles on the sphere
    ReuleauxNet() {
        for (int k = 0; k < 3; ++k) {
            const double a = std::numbers::pi / 2.0 + 2.0 * std::numbers::pi * k / 3.0;
            corners[static_cast<std::size_t>(k)] = std::polar(corner, a);
            outward[static_cast<std::size_t>(k)] = -std::polar(1.0, a);
            // The edge opposite corner k: its middle on the sphere is the
            // stereographic image of the arc's middle.
            const Point m = middle * outward[static_cast<std::size_t>(k)];
            const double s2 = std::norm(m);
            axes[static_cast<std::size_t>(k)] = {-2.0 * m.real() / (1.0 + s2), 2.0 * m.imag() / (1.0 + s2),
                                                 (1.0 - s2) / (1.0 + s2)};
        }
    }
    bool inside(Point q) const noexcept {
        for (const Point& c : corners)
            if (std::abs(q - c) > side * (1.0 + 1e-12)) return false;
        return true;
    }
};

}  // namespace

void mapReuleauxTetrahedron(const OutputCall& c, OutputResult& r) noexcept {
    // The four faces laid out as the tetrahedron's net: the face about the
    // view centre in the middle, corner up, and the face across each of its
    // edges turned half about the edge's middle (the sphere's half turn about
    // that middle carries the one face onto the other): the two arcs bulge
    // into each other and touch at that middle only. Each face keeps
    // angles; the net is cut along the arcs.
    static const ReuleauxNet net;
    const Point p{c.fxd(), -c.fyd()};
    if (net.inside(p)) {
        setHit(r, inverseStereographic(static_cast<float>(p.real()), static_cast<float>(-p.imag())));
        r.face = 0;
        return;
    }
    for (int k = 0; k < 3; ++k) {
        const Point u = net.outward[static_cast<std::size_t>(k)];
        const Point q = 2.0 * net.middle * u - p;
        if (!net.inside(q)) continue;
        const SphereDir d = inverseStereographic(static_cast<float>(q.real()), static_cast<float>(-q.imag()));
        // The half turn about the edge's middle m: v → 2(m·v)m − v.
        const Vec3d& m = net.axes[static_cast<std::size_t>(k)];
        const double dot = m.x * d.x + m.y * d.y + m.z * d.z;
        setHit(r, {static_cast<float>(2.0 * dot * m.x - d.x), static_cast<float>(2.0 * dot * m.y - d.y),
                   static_cast<float>(2.0 * dot * m.z - d.z)});
        r.face = k + 1;
        return;
    }
}

void mapReuleauxPair(const OutputCall& c, OutputResult& r) noexcept {
    // The front hemisphere (about the view centre) in a Reuleaux triangle,
    // corner up, by the Reuleaux
    // triangle's disc map (the table's row 122) on the hemisphere seen
    // stereographically; the back hemisphere in the same triangle turned half
    // about the middle of its lower arc, which shows the south pole: the
    // sphere's half turn about the poles' axis carries the one hemisphere
    // onto the other and keeps that pole, so the triangles touch there.
    constexpr int index = floretIndex(122);
    static_assert(index >= 0);
    const FloretMap& map = floretMap(index);
    const FloretRow& row = kFloretRows[index];
    const Point turn = std::polar(1.0, -std::numbers::pi / 2.0);  // the top to the map's first corner
    // The plane holds the triangle at half the map's scale (its corners 0.5
    // from its centre); the lower arc's middle lies √3 − 1 corners below it.
    const Point middle{0.0, -(std::numbers::sqrt3 - 1.0) * 0.5};
    const Point scale = turn * (2.0 * map.reach);
    Point p{c.fxd(), -c.fyd()};
    bool back = false;
    Point z;
    if (!map.inverse(row, p * scale, z)) {
        p = 2.0 * middle - p;
        back = true;
        if (!map.inverse(row, p * scale, z)) return;
    }
    z /= turn;
    SphereDir d = inverseStereographic(static_cast<float>(z.real()), static_cast<float>(-z.imag()));
    if (back) d = {-d.x, d.y, -d.z};
    setHit(r, d);
    r.face = back ? 1 : 0;
}

namespace {

// The sphere's direction of the stereographic plane point q (y up), in
// double precision: the plane of inverseStereographic.
Vec3d planeToSphere(Point q) noexcept {
    const double s = std::norm(q);
    return {-2.0 * q.real() / (1.0 + s), 2.0 * q.imag() / (1.0 + s), (1.0 - s) / (1.0 + s)};
}

// The half turn about the unit axis m: v → 2(m·v)m − v.
Vec3d halfTurn(const Vec3d& m, const Vec3d& v) noexcept {
    const double t = 2.0 * dot(m, v);
    return {t * m.x - v.x, t * m.y - v.y, t * m.z - v.z};
}

// An octahedron's face about the view centre seen stereographically from the
// opposite side is a circular-arc triangle with the face's 90° corners, at
// tan(θ/2) = (√6 − √2)/2 from the centre (cos θ = 1/√3). It is carried onto a
// Reuleaux triangle conformally through the disc: the Reuleaux triangle's
// own map (the table's row 122) backwards, then the arc triangle's map
// (Theodorsen's series, the same engine) forwards. Both maps keep the three
// mirror lines of the triangle, so corners go to corners and the arcs'
// middles to the arcs' middles (the edges' middles on the sphere); the map
// keeps angles everywhere but at the corners, where 120° open to 90°.
//
// The faces of a net are the reference face (corner up, corners 1 from its
// centre) moved by a plane motion p = a·q + b and a turn of the sphere: the
// face across arc k is the face turned half about that arc's middle, in the
// plane and on the sphere alike, so the two touch at that middle.
class ReuleauxOctahedron {
public:
    // `paths`: each face as the arcs crossed from the reference face.
    explicit ReuleauxOctahedron(std::initializer_list<std::initializer_list<int>> paths, double spin) {
        const double corner = (std::sqrt(6.0) - std::numbers::sqrt2) / 2.0;
        const Point up = std::polar(1.0, std::numbers::pi / 2.0);
        std::array<Vec3d, 3> vertex{};
        for (int k = 0; k < 3; ++k) {
            const Point e = std::polar(1.0, 2.0 * std::numbers::pi * k / 3.0);
            vertex[static_cast<std::size_t>(k)] = planeToSphere(corner * e * up);
            middle_[static_cast<std::size_t>(k)] = -(std::numbers::sqrt3 - 1.0) * e * up;
        }
        for (int k = 0; k < 3; ++k) {
            const Vec3d& a = vertex[static_cast<std::size_t>((k + 1) % 3)];
            const Vec3d& b = vertex[static_cast<std::size_t>((k + 2) % 3)];
            const double n = std::sqrt(2.0 + 2.0 * dot(a, b));
            axis_[static_cast<std::size_t>(k)] = {(a.x + b.x) / n, (a.y + b.y) / n, (a.z + b.z) / n};
        }
        const auto inside = [&vertex](Point q) {
            const Vec3d v = planeToSphere(q * std::polar(1.0, std::numbers::pi / 2.0));
            for (const Vec3d& a : vertex)
                if (dot(v, a) < -1e-12) return false;
            return true;
        };
        face_ = std::make_unique<OutlineMap>(3, inside, 1.0);
        const Point turn = std::polar(1.0, spin);
        for (const auto& path : paths) {
            Face f;
            f.a = turn;
            for (const int k : path) {
                // p = a·(2m − q) + b: the half turn about the arc's middle.
                f.b += 2.0 * f.a * middle_[static_cast<std::size_t>(k)];
                f.a = -f.a;
                f.arcs[f.depth++] = k;
            }
            faces_.push_back(f);
        }
    }

    // The direction of the frame point p (y up); false off the net.
    bool direction(Point p, Vec3d& d, int& face) const noexcept {
        constexpr int index = floretIndex(122);
        static_assert(index >= 0);
        const FloretMap& reuleaux = floretMap(index);
        const FloretRow& row = kFloretRows[index];
        const Point toTable = std::polar(1.0, -std::numbers::pi / 2.0);  // corner up to the table's corner 0
        for (std::size_t i = 0; i < faces_.size(); ++i) {
            const Face& f = faces_[i];
            const Point q = times(p - f.b, std::conj(f.a));  // (f.a is a unit)
            if (std::norm(q) > 1.0 + 1e-9) continue;
            Point z;
            if (!reuleaux.inverse(row, q * toTable, z)) continue;
            d = planeToSphere(face_->forward(z) / toTable);
            // The face's turn of the sphere is the half turns of its path
            // in order: the last one acts first.
            for (int j = f.depth - 1; j >= 0; --j) d = halfTurn(axis_[static_cast<std::size_t>(f.arcs[j])], d);
            face = static_cast<int>(i);
            return true;
        }
        return false;
    }

private:
    struct Face {
        Point a{1.0, 0.0}, b{0.0, 0.0};
        std::array<int, 8> arcs{};
        int depth = 0;
    };
    std::array<Point, 3> middle_{};  // the arcs' middles, arc k opposite corner k (corner 0 up)
    std::array<Vec3d, 3> axis_{};    // the edges' middles on the sphere
    std::unique_ptr<OutlineMap> face_;
    std::vector<Face> faces_;
};

void hitOctahedron(const ReuleauxOctahedron& net, const OutputCall& c, OutputResult& r) noexcept {
    Vec3d d;
    int face = 0;
    if (!net.direction({c.fxd(), -c.fyd()}, d, face)) return;
    setHit(r, {static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z)});
    r.face = face;
}

}  // namespace

void mapReuleauxOctahedron(const OutputCall& c, OutputResult& r) noexcept {
    // The octahedron's net as a strip of six faces, up and down in turn,
    // the face about the view centre its fourth from the left; the
    // remaining two hang below that face and above its right neighbour.
    static const ReuleauxOctahedron net({{}, {1}, {1, 2}, {2}, {2, 1}, {2, 1, 2}, {1, 0}, {0}}, 0.0);
    hitOctahedron(net, c, r);
}

void mapOctreleaux(const OutputCall& c, OutputResult& r) noexcept {
    // Two flowers of four faces: the face about the view centre with its
    // three neighbours, and the face about the antipode with its three, the
    // flowers joined where a petal of each touch (the picture keeps a half
    // turn about that point); the whole turned by atan(√3/9) to lay the two
    // flowers' centres level.
    static const ReuleauxOctahedron net({{}, {0}, {1}, {2}, {1, 2}, {1, 2, 1}, {1, 2, 1, 0}, {1, 2, 1, 2}},
                                        -std::atan(std::numbers::sqrt3 / 9.0));
    hitOctahedron(net, c, r);
}

}  // namespace output_detail

}  // namespace globaro
