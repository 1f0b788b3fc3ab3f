// The late generated solids: icosahedral constructions, the outer surface of
// a union of convex solids, and the Waterman polyhedron cut as a butterfly.

#include "polyhedra/late_solids.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <numbers>
#include <unordered_map>

#include "polyhedra/net_unfold.h"

namespace globaro {
namespace {

constexpr double kWeld = 1e-7;     // points closer than this are one vertex
constexpr double kOnPlane = 1e-9;  // a point this close to a plane lies on it
constexpr double kMinArea = 1e-10;

Vec3d add(const Vec3d& a, const Vec3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3d scaled(const Vec3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }

// The twelve icosahedron corners, the cyclic permutations of (0, ±1, ±φ),
// on the unit sphere.
std::vector<Vec3d> icosahedronCorners() {
    std::vector<Vec3d> v;
    for (const double a : {-1.0, 1.0}) {
        for (const double b : {-std::numbers::phi, std::numbers::phi}) {
            v.push_back(normalise(Vec3d{0, a, b}));
            v.push_back(normalise(Vec3d{a, b, 0}));
            v.push_back(normalise(Vec3d{b, 0, a}));
        }
    }
    return v;
}

// The twenty faces: the triples of mutually neighbouring corners (neighbours
// are 63.43° apart, cos = 1/√5).
std::vector<std::array<int, 3>> icosahedronFaces(const std::vector<Vec3d>& v) {
    const double near = 1.0 / std::sqrt(5.0);
    auto adjacent = [&](int i, int j) { return std::fabs(dot(v[i], v[j]) - near) < 1e-9; };
    std::vector<std::array<int, 3>> out;
    const int n = static_cast<int>(v.size());
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            for (int k = j + 1; k < n; ++k)
                if (adjacent(i, j) && adjacent(j, k) && adjacent(i, k)) out.push_back({i, j, k});
    return out;
}

// Faces of a surface star-shaped about the centre turned clockwise seen from
// outside (their right-handed normal points inwards).
void turnClockwise(SolidMesh& m) {
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
        if (dot(faceNormal(m, static_cast<int>(f)), faceCentre(m, static_cast<int>(f))) > 0.0) {
            std::reverse(m.faces[f].begin(), m.faces[f].end());
        }
    }
}

void scaleToUnitCircumradius(SolidMesh& m) {
    double r = 0.0;
    for (const Vec3d& p : m.vertices) r = std::max(r, length(p));
    if (r > 0.0)
        for (Vec3d& p : m.vertices) p = scaled(p, 1.0 / r);
}

// Turn by `angle` about the unit axis `u` (Rodrigues).
Vec3d turned(const Vec3d& p, const Vec3d& u, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return add(add(scaled(p, c), scaled(cross(u, p), s)), scaled(u, dot(u, p) * (1.0 - c)));
}

// ---- the outer surface of a union of convex solids ---------------------------------

using Polygon = std::vector<Vec3d>;

struct Plane {
    Vec3d n;  // outward unit normal
    double d;
};

std::vector<Plane> planesOf(const SolidMesh& s) {
    std::vector<Plane> out;
    for (std::size_t f = 0; f < s.faces.size(); ++f) {
        Vec3d n = normalise(faceNormal(s, static_cast<int>(f)));
        if (dot(n, faceCentre(s, static_cast<int>(f))) < 0.0) n = negate(n);
        out.push_back({n, dot(n, s.vertices[s.faces[f][0]])});
    }
    return out;
}

double polygonArea(const Polygon& p) {
    Vec3d n{};
    for (std::size_t k = 0; k < p.size(); ++k) n = add(n, cross(p[k], p[(k + 1) % p.size()]));
    return length(n) / 2.0;
}

// The part of a convex polygon where side·(n·x − d) ≤ 0. Both sides of one cut
// compute the same crossing points, so the two parts meet exactly.
Polygon clipped(const Polygon& p, const Plane& plane, double side) {
    Polygon out;
    for (std::size_t k = 0; k < p.size(); ++k) {
        const Vec3d& a = p[k];
        const Vec3d& b = p[(k + 1) % p.size()];
        const double fa = dot(plane.n, a) - plane.d, fb = dot(plane.n, b) - plane.d;
        const bool keepA = side * fa <= kOnPlane, keepB = side * fb <= kOnPlane;
        if (keepA) out.push_back(a);
        if (keepA != keepB && std::fabs(fa) > kOnPlane && std::fabs(fb) > kOnPlane) {
            out.push_back(lerp(a, b, fa / (fa - fb)));
        }
    }
    return out;
}

// A convex polygon less the interior of a convex solid: convex parts.
void subtractSolid(const Polygon& p, const std::vector<Plane>& solid, std::vector<Polygon>& out) {
    Polygon rest = p;
    for (const Plane& plane : solid) {
        Polygon outside = clipped(rest, plane, -1.0);
        if (outside.size() >= 3 && polygonArea(outside) > kMinArea) out.push_back(std::move(outside));
        rest = clipped(rest, plane, 1.0);
        if (rest.size() < 3 || polygonArea(rest) <= kMinArea) return;
    }
    // What is left lies inside the solid: hidden.
}

bool collinear(const Vec3d& a, const Vec3d& b, const Vec3d& c) {
    return length(cross(difference(a, b), difference(a, c))) <= kWeld * (length(difference(a, c)) + kWeld);
}

// Every vertex that lies inside a side of a face becomes a corner of it.
void insertCornersOnSides(SolidMesh& m) {
    for (auto& face : m.faces) {
        std::vector<int> out;
        for (std::size_t k = 0; k < face.size(); ++k) {
            const int a = face[k], b = face[(k + 1) % face.size()];
            out.push_back(a);
            const Vec3d pa = m.vertices[a], ab = difference(pa, m.vertices[b]);
            const double l2 = dot(ab, ab);
            std::vector<std::pair<double, int>> on;
            for (std::size_t v = 0; v < m.vertices.size(); ++v) {
                if (static_cast<int>(v) == a || static_cast<int>(v) == b) continue;
                const Vec3d av = difference(pa, m.vertices[v]);
                const double t = dot(av, ab) / l2;
                if (t <= 1e-9 || t >= 1.0 - 1e-9) continue;
                if (length(difference(scaled(ab, t), av)) < kWeld) on.push_back({t, static_cast<int>(v)});
            }
            std::sort(on.begin(), on.end());
            for (const auto& [t, v] : on) out.push_back(v);
        }
        face = std::move(out);
    }
}

// Convex (corners may be straight) seen along the normal n.
bool convexAlong(const SolidMesh& m, const std::vector<int>& f, const Vec3d& n) {
    for (std::size_t k = 0; k < f.size(); ++k) {
        const Vec3d& a = m.vertices[f[k]];
        const Vec3d& b = m.vertices[f[(k + 1) % f.size()]];
        const Vec3d& c = m.vertices[f[(k + 2) % f.size()]];
        if (dot(cross(difference(a, b), difference(b, c)), n) < -kWeld * kWeld) return false;
    }
    return true;
}

// Merges neighbouring faces of one plane while the result stays convex and
// within the model's ten corners.
void mergeCoplanar(SolidMesh& m, std::vector<int>& planeOf, const std::vector<Vec3d>& normals) {
    for (bool merged = true; merged;) {
        merged = false;
        const FaceAdjacency adj = buildAdjacency(m);
        for (std::size_t f = 0; f < m.faces.size() && !merged; ++f) {
            for (std::size_t k = 0; k < m.faces[f].size() && !merged; ++k) {
                const int g = adj.face[f][k];
                if (g < 0 || g == static_cast<int>(f) || planeOf[g] != planeOf[f]) continue;
                const auto& a = m.faces[f];
                const auto& b = m.faces[g];
                const std::size_t na = a.size(), nb = b.size(), j = adj.edge[f][k];
                std::vector<int> joined;
                for (std::size_t i = 1; i <= na; ++i) joined.push_back(a[(k + i) % na]);  // a[k+1] .. a[k]
                for (std::size_t i = 2; i < nb; ++i) joined.push_back(b[(j + i) % nb]);   // b past the shared side
                std::vector<int> sorted = joined;
                std::sort(sorted.begin(), sorted.end());
                if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) continue;  // touch twice
                if (joined.size() > 10 || !convexAlong(m, joined, normals[planeOf[f]])) continue;
                m.faces[f] = joined;
                m.faces.erase(m.faces.begin() + g);
                planeOf.erase(planeOf.begin() + g);
                merged = true;
            }
        }
    }
}

// Drops corners that only two faces share and that are straight in both.
void dropStraightCorners(SolidMesh& m) {
    std::vector<int> uses(m.vertices.size(), 0);
    for (const auto& f : m.faces)
        for (int v : f) ++uses[v];
    for (auto& f : m.faces) {
        std::vector<int> out;
        for (std::size_t k = 0; k < f.size(); ++k) {
            const Vec3d& a = m.vertices[f[(k + f.size() - 1) % f.size()]];
            const Vec3d& c = m.vertices[f[(k + 1) % f.size()]];
            if (uses[f[k]] == 2 && collinear(a, m.vertices[f[k]], c)) continue;
            out.push_back(f[k]);
        }
        f = std::move(out);
    }
}

// A face with a straight corner (where a neighbour's corner lies on its
// side) would give the net a triangle of no area; it becomes a fan of
// triangles round its centre instead.
void fanStraightFaces(SolidMesh& m) {
    const std::size_t count = m.faces.size();
    for (std::size_t f = 0; f < count; ++f) {
        const std::vector<int> face = m.faces[f];
        bool straight = false;
        for (std::size_t k = 0; k < face.size(); ++k) {
            straight = straight || collinear(m.vertices[face[(k + face.size() - 1) % face.size()]], m.vertices[face[k]],
                                             m.vertices[face[(k + 1) % face.size()]]);
        }
        if (!straight) continue;
        const int centre = m.addVertex(faceCentre(m, static_cast<int>(f)), kWeld);
        m.faces[f] = {face[0], face[1], centre};
        for (std::size_t k = 1; k < face.size(); ++k) m.faces.push_back({face[k], face[(k + 1) % face.size()], centre});
    }
}

// ---- the outer surface seen from the centre -----------------------------------------

using Rotation = std::array<Vec3d, 3>;  // by rows
using Polygon2 = std::vector<Vec2d>;

Vec3d turnedBy(const Rotation& r, const Vec3d& p) { return {dot(r[0], p), dot(r[1], p), dot(r[2], p)}; }

Rotation product(const Rotation& a, const Rotation& b) {
    const Rotation bt = {Vec3d{b[0].x, b[1].x, b[2].x}, Vec3d{b[0].y, b[1].y, b[2].y}, Vec3d{b[0].z, b[1].z, b[2].z}};
    Rotation out;
    for (int i = 0; i < 3; ++i) out[i] = {dot(a[i], bt[0]), dot(a[i], bt[1]), dot(a[i], bt[2])};
    return out;
}

Rotation rotationAbout(const Vec3d& axis, double angle) {
    const Vec3d u = normalise(axis);
    const Vec3d c0 = turned({1, 0, 0}, u, angle), c1 = turned({0, 1, 0}, u, angle), c2 = turned({0, 0, 1}, u, angle);
    return {Vec3d{c0.x, c1.x, c2.x}, Vec3d{c0.y, c1.y, c2.y}, Vec3d{c0.z, c1.z, c2.z}};
}

bool sameRotation(const Rotation& a, const Rotation& b) {
    for (int i = 0; i < 3; ++i)
        if (length(difference(a[i], b[i])) > 1e-9) return false;
    return true;
}

// The sixty turns that carry the icosahedron of icosahedronCorners() onto
// itself: everything a fifth turn about a corner and a third turn about a
// face centre generate.
std::vector<Rotation> icosahedralRotations() {
    const Rotation generators[2] = {rotationAbout({0, 1, std::numbers::phi}, 2.0 * std::numbers::pi / 5.0),
                                    rotationAbout({1, 1, 1}, 2.0 * std::numbers::pi / 3.0)};
    std::vector<Rotation> group = {rotationAbout({0, 0, 1}, 0.0)};
    for (std::size_t next = 0; next < group.size(); ++next) {
        for (const Rotation& g : generators) {
            const Rotation r = product(g, group[next]);
            if (std::none_of(group.begin(), group.end(), [&](const Rotation& h) { return sameRotation(h, r); }))
                group.push_back(r);
        }
    }
    return group;
}

// The distinct images of a direction under the group, ± pairs kept apart.
std::vector<Vec3d> orbit(const std::vector<Rotation>& group, const Vec3d& direction) {
    std::vector<Vec3d> out;
    for (const Rotation& g : group) {
        const Vec3d p = turnedBy(g, direction);
        if (std::none_of(out.begin(), out.end(), [&](const Vec3d& q) { return length(difference(p, q)) < 1e-9; }))
            out.push_back(p);
    }
    return out;
}

// A flat polygon, possibly crossing itself, with its plane and its outline in
// the plane's own coordinates. Its area is where the outline winds round.
struct FlatFace {
    Plane plane;
    Vec3d u, w;  // in-plane axes, u × w = the normal
    std::vector<Vec2d> outline;
};

FlatFace flatFace(const std::vector<Vec3d>& corners, const Plane& plane) {
    FlatFace f;
    const Vec3d n = plane.n;
    f.plane = plane;
    f.u = normalise(cross(n, std::fabs(n.x) < 0.9 ? Vec3d{1, 0, 0} : Vec3d{0, 1, 0}));
    f.w = cross(n, f.u);
    for (const Vec3d& c : corners) f.outline.push_back({dot(c, f.u), dot(c, f.w)});
    return f;
}

// The winding number of the outline round p is not zero.
bool covers(const FlatFace& f, const Vec3d& p) {
    const double x = dot(p, f.u), y = dot(p, f.w);
    int winding = 0;
    for (std::size_t k = 0; k < f.outline.size(); ++k) {
        const Vec2d& a = f.outline[k];
        const Vec2d& b = f.outline[(k + 1) % f.outline.size()];
        const double side = (b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y);
        if (a.y <= y && b.y > y && side > 0.0) ++winding;
        if (a.y > y && b.y <= y && side < 0.0) --winding;
    }
    return winding != 0;
}

// A line a·x + b·y = c of the plane, (a, b) a unit vector.
struct Line2 {
    double a, b, c;
};

// Cuts every convex cell the line crosses in two; both parts compute the
// same crossing points, so neighbouring cells keep sharing whole sides.
void splitCells(std::vector<Polygon2>& cells, const Line2& line) {
    constexpr double kOnLine = 1e-12;
    const std::size_t count = cells.size();
    for (std::size_t i = 0; i < count; ++i) {
        const Polygon2& cell = cells[i];
        bool below = false, above = false;
        for (const Vec2d& p : cell) {
            const double s = line.a * p.x + line.b * p.y - line.c;
            below = below || s < -kOnLine;
            above = above || s > kOnLine;
        }
        if (!below || !above) continue;
        Polygon2 lower, upper;
        for (std::size_t k = 0; k < cell.size(); ++k) {
            const Vec2d& p = cell[k];
            const Vec2d& q = cell[(k + 1) % cell.size()];
            const double sp = line.a * p.x + line.b * p.y - line.c, sq = line.a * q.x + line.b * q.y - line.c;
            if (sp <= kOnLine) lower.push_back(p);
            if (sp >= -kOnLine) upper.push_back(p);
            if ((sp < -kOnLine && sq > kOnLine) || (sp > kOnLine && sq < -kOnLine)) {
                const Vec2d x = planeLerp(p, q, sp / (sp - sq));
                lower.push_back(x);
                upper.push_back(x);
            }
        }
        cells[i] = std::move(lower);
        cells.push_back(std::move(upper));
    }
}

// A convex face with a straight corner (where a neighbour's corner lies on
// its side) would give the net a triangle of no area: it is cut from that
// corner to the corner farthest from the side, again until no piece has one.
void splitAtStraightCorners(SolidMesh& m) {
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
        const std::vector<int> face = m.faces[f];
        const std::size_t n = face.size();
        auto at = [&](std::size_t k) { return m.vertices[face[k % n]]; };
        std::size_t straight = n;
        for (std::size_t k = 0; k < n && straight == n; ++k)
            if (collinear(at(k + n - 1), at(k), at(k + 1))) straight = k;
        if (straight == n || n < 4) continue;
        const Vec3d side = directionBetween(at(straight + n - 1), at(straight + 1));
        std::size_t best = 0;
        double farthest = -1.0;
        for (std::size_t k = 2; k + 1 < n; ++k) {
            const Vec3d d = difference(at(straight), at(straight + k));
            const double off = length(cross(d, side));
            if (off > farthest) farthest = off, best = k;
        }
        std::vector<int> first, second;
        for (std::size_t k = 0; k <= best; ++k) first.push_back(face[(straight + k) % n]);
        for (std::size_t k = best; k <= n; ++k) second.push_back(face[(straight + k) % n]);
        m.faces[f] = first;
        m.faces.push_back(second);
        --f;  // look at the first part again
    }
}

// The cells into which the lines where the images of the plane `first`
// under the turns cross it cut the square of half-side `reach` round the
// plane's foot point; `at` carries a point of the plane's own coordinates
// into space.
struct PlaneCells {
    Vec3d foot, u, w;
    std::vector<Polygon2> cells;
    Vec3d at(const Vec2d& p) const { return add(foot, add(scaled(u, p.x), scaled(w, p.y))); }
};

PlaneCells cellsOnPlane(const Plane& first, double reach, const std::vector<Rotation>& group) {
    PlaneCells out;
    const Vec3d n = first.n;
    out.foot = scaled(n, first.d);
    out.u = normalise(cross(n, std::fabs(n.x) < 0.9 ? Vec3d{1, 0, 0} : Vec3d{0, 1, 0}));
    out.w = cross(n, out.u);
    out.cells = {{{-reach, -reach}, {reach, -reach}, {reach, reach}, {-reach, reach}}};
    std::vector<Line2> lines;
    for (const Vec3d& m : orbit(group, n)) {
        const double a = dot(m, out.u), b = dot(m, out.w), norm = std::hypot(a, b);
        if (norm < 1e-9) continue;  // parallel planes never meet
        const Line2 line{a / norm, b / norm, (first.d - dot(m, out.foot)) / norm};
        if (std::fabs(line.c) >= reach * std::numbers::sqrt2) continue;
        const bool known = std::any_of(lines.begin(), lines.end(), [&](const Line2& l) {
            return std::fabs(l.a - line.a) + std::fabs(l.b - line.b) + std::fabs(l.c - line.c) < 1e-9 ||
                   std::fabs(l.a + line.a) + std::fabs(l.b + line.b) + std::fabs(l.c + line.c) < 1e-9;
        });
        if (known) continue;
        lines.push_back(line);
        splitCells(out.cells, line);
    }
    return out;
}

Vec2d centreOf(const Polygon2& cell) {
    Vec2d centre{};
    for (const Vec2d& p : cell) centre = {centre.x + p.x / double(cell.size()), centre.y + p.y / double(cell.size())};
    return centre;
}

// The outer surface of a solid with the turns of the icosahedron, seen from
// the centre. Its faces lie in the images of the plane `first` under the
// turns; `onSurface` tells whether a point of `first` lies on the outer
// surface. Where the surface passes from one plane to another it does so
// along the line the two planes share, so the visible part of `first` is a
// union of cells of the arrangement of those lines within `reach` of the
// plane's foot point: each cell is judged at its centre, the visible cells
// are merged into convex pieces and the pieces carried to every other plane.
SolidMesh outerSurfaceOfPlanes(const Plane& first, double reach, const std::function<bool(const Vec3d&)>& onSurface,
                               const std::vector<Rotation>& group) {
    const Vec3d n = first.n;
    const PlaneCells plane = cellsOnPlane(first, reach, group);
    auto at = [&](const Vec2d& p) { return plane.at(p); };
    const std::vector<Polygon2>& cells = plane.cells;
    SolidMesh flat;
    for (const Polygon2& cell : cells) {
        if (cell.size() < 3 || !onSurface(at(centreOf(cell)))) continue;
        std::vector<int> corners;
        for (const Vec2d& p : cell) {
            const int v = flat.addVertex(at(p), kWeld);
            if (corners.empty() || (v != corners.back() && v != corners.front())) corners.push_back(v);
        }
        if (corners.size() >= 3) flat.faces.push_back(corners);
    }
    std::vector<int> planeOf(flat.faces.size(), 0);
    mergeCoplanar(flat, planeOf, {n});
    SolidMesh m;
    std::vector<Vec3d> done;
    for (const Rotation& g : group) {
        const Vec3d image = turnedBy(g, n);
        if (std::any_of(done.begin(), done.end(), [&](const Vec3d& d) { return length(difference(d, image)) < 1e-9; }))
            continue;
        done.push_back(image);
        for (const std::vector<int>& f : flat.faces) {
            std::vector<int> corners;
            for (int v : f) corners.push_back(m.addVertex(turnedBy(g, flat.vertices[v]), kWeld));
            m.faces.push_back(corners);
        }
    }
    insertCornersOnSides(m);
    dropStraightCorners(m);
    splitAtStraightCorners(m);
    m.groups.assign(m.faces.size(), -1);
    return m;
}

// Cuts the surface round the axes that are the images of `axis`: an edge
// between faces whose centres lie nearest different axes is never unfolded
// across, so that each piece of the net is the cap round one axis.
void cutIntoCaps(SolidMesh& m, const std::vector<Rotation>& group, const Vec3d& axis) {
    const std::vector<Vec3d> axes = orbit(group, normalise(axis));
    std::vector<int> cap(m.faces.size());
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
        const Vec3d c = normalise(faceCentre(m, static_cast<int>(f)));
        cap[f] =
            static_cast<int>(std::max_element(axes.begin(), axes.end(),
                                              [&](const Vec3d& a, const Vec3d& b) { return dot(a, c) < dot(b, c); }) -
                             axes.begin());
    }
    const FaceAdjacency adj = buildAdjacency(m);
    m.edgeFlags.resize(m.faces.size());
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
        m.edgeFlags[f].assign(m.faces[f].size(), 0);
        for (std::size_t k = 0; k < m.faces[f].size(); ++k) {
            const int g = adj.face[f][k];
            m.edgeFlags[f][k] = g >= 0 && cap[g] != cap[f] ? 1 : 0;
        }
    }
}

// The outer surface of the dual of a uniform solid whose corners are the
// images of `corner` (a unit vector) under the turns, one per turn: the
// dual's face at `corner` lies in the plane corner·x = 1, its corners the
// poles (n/h of each face plane n·x = h) of the faces round `corner`, in
// their order round it. A face that crosses itself covers where its outline
// winds round. A point of the first face is on the outer surface when no
// other face lies beyond it on the ray from the centre.
SolidMesh outerSurfaceOfDual(const Vec3d& corner, const std::vector<Vec3d>& poles, const std::vector<Rotation>& group) {
    std::vector<FlatFace> faces;
    for (const Rotation& g : group) {
        std::vector<Vec3d> turnedPoles;
        for (const Vec3d& p : poles) turnedPoles.push_back(turnedBy(g, p));
        faces.push_back(flatFace(turnedPoles, {turnedBy(g, corner), 1.0}));
    }
    double reach = 0.0;
    for (const Vec3d& p : poles) reach = std::max(reach, length(difference(corner, p)));
    auto onSurface = [&](const Vec3d& p) {
        if (!covers(faces[0], p)) return false;
        for (std::size_t j = 1; j < faces.size(); ++j) {
            const double s = dot(faces[j].plane.n, p);
            if (s <= 0.0) continue;
            const double t = faces[j].plane.d / s;
            if (t > 1.0 + 1e-9 && covers(faces[j], scaled(p, t))) return false;
        }
        return true;
    };
    return outerSurfaceOfPlanes({corner, 1.0}, reach * 1.01, onSurface, group);
}

// The pole of the plane through three points.
Vec3d poleOf(const Vec3d& a, const Vec3d& b, const Vec3d& c) {
    const Vec3d n = normalise(cross(difference(a, b), difference(a, c)));
    return scaled(n, 1.0 / dot(n, a));
}

// The mirror planes of the icosahedron's symmetry: one normal for each of
// the fifteen two-fold axes.
std::vector<Vec3d> mirrorNormals(const std::vector<Rotation>& group) {
    std::vector<Vec3d> out;
    for (const Vec3d& a : orbit(group, {1, 0, 0}))
        if (std::none_of(out.begin(), out.end(), [&](const Vec3d& b) { return length(add(a, b)) < 1e-9; }))
            out.push_back(a);
    return out;
}

// A corner of the rhombicosahedron (squares about the two-fold axes, regular
// hexagons about the three-fold axes, alternately four at each corner) and
// the poles of its four faces in order round it. The corner lies on a mirror
// plane, and each of its four edges joins it to its image in another mirror,
// so the edges are equal where the corner lies equally far from four
// mirrors: 1/√7 of the circumradius (√7/2 for unit edges). Of those four
// mirrors two pairs meet at right angles (about the squares' axes) and two
// at 60° (about the hexagons').
bool rhombicosahedronCorner(const std::vector<Rotation>& group, Vec3d& corner, std::vector<Vec3d>& poles) {
    const std::vector<Vec3d> mirrors = mirrorNormals(group);
    const double far = 1.0 / std::sqrt(7.0);
    const std::size_t count = mirrors.size();
    for (std::size_t k = 1; k < count; ++k) {
        for (std::size_t l = k + 1; l < count; ++l) {
            // The corner on mirror 0 at distance `far` from mirrors k and l (Cramer's rule).
            const Vec3d& a = mirrors[0];
            const Vec3d& b = mirrors[k];
            const Vec3d& c = mirrors[l];
            const double det = dot(a, cross(b, c));
            if (std::fabs(det) < 1e-9) continue;
            const Vec3d v = scaled(add(cross(c, a), cross(a, b)), far / det);
            if (std::fabs(length(v) - 1.0) > 1e-9) continue;
            std::vector<Vec3d> four;
            for (const Vec3d& m : mirrors)
                if (std::fabs(std::fabs(dot(m, v)) - far) < 1e-9) four.push_back(m);
            if (four.size() != 4) continue;
            // Order them m0 ⊥ m1, m1 at 60° to m2, m2 ⊥ m3, m3 at 60° to m0.
            auto square = [](const Vec3d& p, const Vec3d& q) { return std::fabs(dot(p, q)) < 1e-9; };
            auto hexagon = [](const Vec3d& p, const Vec3d& q) { return std::fabs(std::fabs(dot(p, q)) - 0.5) < 1e-9; };
            std::sort(four.begin() + 1, four.end(),
                      [&](const Vec3d& p, const Vec3d& q) { return square(four[0], p) > square(four[0], q); });
            if (!square(four[0], four[1]) || !hexagon(four[1], four[2]) || !square(four[2], four[3]) ||
                !hexagon(four[3], four[0])) {
                std::swap(four[2], four[3]);
                if (!hexagon(four[1], four[2]) || !square(four[2], four[3]) || !hexagon(four[3], four[0])) continue;
            }
            corner = v;
            poles.clear();
            for (int i = 0; i < 4; ++i) {
                const Vec3d axis = cross(four[i], four[(i + 1) % 4]);
                poles.push_back(scaled(axis, 1.0 / dot(axis, v)));
            }
            return true;
        }
    }
    return false;
}

// A corner of the snub icosidodecadodecahedron and the poles of its six faces
// in order round it. Its corners are the images of one point v under the
// turns; round v lie a pentagon (v turned by fifths about a five-fold axis
// C), a pentagram (three-fifths turns about a neighbouring five-fold axis A),
// a triangle (thirds about the three-fold axis B that makes with A and C the
// spherical triangle of angles 3π/5, π/3 and π/5) and three snub triangles.
// A turn by 2β about an axis at angle θ from v moves v by 2·sin θ·sin β, so
// the edges are equal where sin∠(v,A)·sin(3π/5) = sin∠(v,B)·sin(π/3) =
// sin∠(v,C)·sin(π/5); Newton's method finds v from about 27.8° from A and
// 49.0° from C on B's side.
bool snubCorner(const std::vector<Rotation>& group, Vec3d& corner, std::vector<Vec3d>& poles) {
    const double pi = std::numbers::pi;
    const Vec3d a = normalise(Vec3d{0, 1, std::numbers::phi}), c = normalise(Vec3d{0, -1, std::numbers::phi});
    const double ab = std::cos(0.65235), cb = std::cos(1.38209);  // rough sides of the triangle
    Vec3d b{};
    for (const Vec3d& t : orbit(group, normalise(Vec3d{1, 1, 1})))
        if (std::fabs(dot(t, a) - ab) < 1e-3 && std::fabs(dot(t, c) - cb) < 1e-3 && t.x > 0.0) b = t;
    if (length(b) < 0.5) return false;
    const double sines[3] = {std::sin(3 * pi / 5), std::sin(pi / 3), std::sin(pi / 5)};
    auto residual = [&](const Vec3d& v, double out[2]) {
        const double s[3] = {length(cross(v, a)) * sines[0], length(cross(v, b)) * sines[1],
                             length(cross(v, c)) * sines[2]};
        out[0] = s[0] - s[2];
        out[1] = s[1] - s[2];
    };
    // The start: 27.8° from A and 49.0° from C, on B's side of the circle AC.
    const double ca = std::cos(27.8 * pi / 180), cc = std::cos(49.0 * pi / 180), k = dot(a, c);
    const double x = (ca - k * cc) / (1 - k * k), y = (cc - k * ca) / (1 - k * k);
    const Vec3d inPlane = add(scaled(a, x), scaled(c, y)), side = normalise(cross(a, c));
    Vec3d v = add(inPlane, scaled(side, std::copysign(std::sqrt(1.0 - dot(inPlane, inPlane)), dot(side, b))));
    for (int step = 0; step < 30; ++step) {
        double f[2], fu[2], fw[2];
        residual(v, f);
        if (std::fabs(f[0]) + std::fabs(f[1]) < 1e-15) break;
        const Vec3d u = normalise(cross(v, a)), w = cross(v, u);
        constexpr double h = 1e-7;
        residual(normalise(add(v, scaled(u, h))), fu);
        residual(normalise(add(v, scaled(w, h))), fw);
        const double j00 = (fu[0] - f[0]) / h, j01 = (fw[0] - f[0]) / h, j10 = (fu[1] - f[1]) / h,
                     j11 = (fw[1] - f[1]) / h, det = j00 * j11 - j01 * j10;
        if (std::fabs(det) < 1e-14) return false;
        v = normalise(
            add(v, add(scaled(u, -(j11 * f[0] - j01 * f[1]) / det), scaled(w, -(j00 * f[1] - j10 * f[0]) / det))));
    }
    // The six neighbours: v turned each way about C, A and B.
    const Vec3d around[6] = {turned(v, c, 2 * pi / 5),  turned(v, c, -2 * pi / 5), turned(v, a, 6 * pi / 5),
                             turned(v, a, -6 * pi / 5), turned(v, b, 2 * pi / 3),  turned(v, b, -2 * pi / 3)};
    const double edge = length(difference(v, around[0]));
    // The faces round v as pairs of neighbours: the pentagon, the pentagram,
    // the triangle about B, and the snub triangles (two neighbours an edge apart).
    std::vector<std::array<int, 2>> faces = {{0, 1}, {2, 3}, {4, 5}};
    for (int i = 0; i < 6; ++i)
        for (int j = i + 1; j < 6; ++j)
            if (!(i / 2 == j / 2 && i % 2 == 0) && std::fabs(length(difference(around[i], around[j])) - edge) < 1e-9)
                faces.push_back({i, j});
    if (faces.size() != 6) return false;
    // Round the corner: each face's second neighbour is the next face's first.
    std::vector<int> order = {0};
    int shared = faces[0][1];
    for (int step = 1; step < 6; ++step) {
        int next = -1;
        for (int f = 0; f < 6 && next < 0; ++f) {
            if (f == order.back()) continue;
            if (faces[f][0] == shared)
                next = f, shared = faces[f][1];
            else if (faces[f][1] == shared)
                next = f, shared = faces[f][0];
        }
        if (next < 0) return false;
        order.push_back(next);
    }
    corner = v;
    poles.clear();
    for (int f : order) poles.push_back(poleOf(v, around[faces[f][0]], around[faces[f][1]]));
    return true;
}

}  // namespace

SolidMesh outerSurfaceOfUnion(const std::vector<SolidMesh>& solids) {
    std::vector<std::vector<Plane>> planes;
    for (const SolidMesh& s : solids) planes.push_back(planesOf(s));
    SolidMesh m;
    std::vector<int> planeOf;
    std::vector<Vec3d> normals;
    for (std::size_t i = 0; i < solids.size(); ++i) {
        for (std::size_t f = 0; f < solids[i].faces.size(); ++f) {
            std::vector<Polygon> parts(1);
            for (int v : solids[i].faces[f]) parts[0].push_back(solids[i].vertices[v]);
            for (std::size_t j = 0; j < solids.size() && !parts.empty(); ++j) {
                if (j == i) continue;
                std::vector<Polygon> next;
                for (const Polygon& p : parts) subtractSolid(p, planes[j], next);
                parts = std::move(next);
            }
            const int plane = static_cast<int>(normals.size());
            normals.push_back(planes[i][f].n);
            for (const Polygon& p : parts) {
                std::vector<int> corners;
                for (const Vec3d& q : p) {
                    const int v = m.addVertex(q, kWeld);
                    if (corners.empty() || (v != corners.back() && v != corners.front())) corners.push_back(v);
                }
                if (corners.size() < 3) continue;
                m.faces.push_back(corners);
                planeOf.push_back(plane);
            }
        }
    }
    insertCornersOnSides(m);
    mergeCoplanar(m, planeOf, normals);
    dropStraightCorners(m);
    fanStraightFaces(m);
    m.groups.assign(m.faces.size(), -1);
    return m;
}

SolidMesh generateRhombicHexecontahedron(HexecontahedronPieces pieces) {
    const std::vector<Vec3d> v = icosahedronCorners();
    const auto faces = icosahedronFaces(v);
    SolidMesh m;
    for (std::size_t r = 0; r < faces.size(); ++r) {
        const Vec3d tip = sum3(v[faces[r][0]], v[faces[r][1]], v[faces[r][2]]);
        for (int k = 0; k < 3; ++k) {
            const int p = faces[r][k], q = faces[r][(k + 1) % 3], s = faces[r][(k + 2) % 3];
            // The rhombus with its acute corners at the five-fold vertex p and the tip.
            const int corners[4] = {m.addVertex(v[p], kWeld), m.addVertex(add(v[p], v[q]), kWeld),
                                    m.addVertex(tip, kWeld), m.addVertex(add(v[p], v[s]), kWeld)};
            const int group = pieces == HexecontahedronPieces::kStars ? p + 1 : static_cast<int>(r) + 1;
            m.addFace(corners, 4, static_cast<std::int16_t>(group));
        }
    }
    turnClockwise(m);
    scaleToUnitCircumradius(m);
    return m;
}

SolidMesh generateCubeCompound() {
    std::vector<Vec3d> cube;
    for (const double x : {-1.0, 1.0})
        for (const double y : {-1.0, 1.0})
            for (const double z : {-1.0, 1.0}) cube.push_back({x, y, z});
    std::vector<SolidMesh> cubes;
    for (const Vec3d& axis : {Vec3d{1, 1, 1}, Vec3d{1, 1, -1}, Vec3d{1, -1, 1}, Vec3d{-1, 1, 1}}) {
        std::vector<Vec3d> corners;
        for (const Vec3d& p : cube) corners.push_back(turned(p, normalise(axis), std::numbers::pi / 3.0));
        cubes.push_back(convexHull(corners));
    }
    SolidMesh m = outerSurfaceOfUnion(cubes);
    turnClockwise(m);
    scaleToUnitCircumradius(m);
    return m;
}

SolidMesh generateSmallTriambicIcosahedron() {
    const std::vector<Vec3d> v = icosahedronCorners();
    const auto faces = icosahedronFaces(v);
    SolidMesh m;
    for (const auto& f : faces) {
        const Vec3d n = normalise(sum3(v[f[0]], v[f[1]], v[f[2]]));
        const double inradius = dot(n, v[f[0]]);
        // The face across the side f[0]–f[1]: its plane meets the axis of f at the apex.
        Vec3d across{};
        for (const auto& g : faces) {
            const int shared =
                static_cast<int>(std::count(g.begin(), g.end(), f[0]) + std::count(g.begin(), g.end(), f[1]) +
                                 std::count(g.begin(), g.end(), f[2]));
            if (shared == 2) {
                across = normalise(sum3(v[g[0]], v[g[1]], v[g[2]]));
                break;
            }
        }
        const Vec3d apex = scaled(n, inradius / dot(across, n));
        const int a = m.addVertex(apex, kWeld);
        for (int k = 0; k < 3; ++k) {
            const int corners[3] = {m.addVertex(v[f[k]], kWeld), m.addVertex(v[f[(k + 1) % 3]], kWeld), a};
            m.addFace(corners, 3);
        }
    }
    turnClockwise(m);
    scaleToUnitCircumradius(m);
    return m;
}

SolidMesh generateWatermanButterfly() {
    // The lattice points (even coordinate sum) at squared distance 10: the
    // permutations of (0, ±1, ±3), the corners of W5.
    std::vector<Vec3d> shell;
    for (int x = -3; x <= 3; ++x)
        for (int y = -3; y <= 3; ++y)
            for (int z = -3; z <= 3; ++z)
                if ((x + y + z) % 2 == 0 && x * x + y * y + z * z == 10)
                    shell.push_back({double(x), double(y), double(z)});
    const SolidMesh hull = convexHull(shell);
    enum Role : std::uint8_t { kNorthSquare, kNorthOctant, kSouthOctant, kEquatorHalf, kSouthQuarter };
    SolidMesh m;
    m.vertices = hull.vertices;
    std::vector<Role> role;
    auto addFace = [&](std::vector<int> f, Role r) {
        m.addFace(f.data(), static_cast<int>(f.size()));
        role.push_back(r);
    };
    // North to south, so that the net starts from the pole's square.
    std::vector<int> order(hull.faces.size());
    for (std::size_t f = 0; f < order.size(); ++f) order[f] = static_cast<int>(f);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return normalise(faceNormal(hull, a)).y > normalise(faceNormal(hull, b)).y; });
    for (const int f : order) {
        const auto& c = hull.faces[f];
        const Vec3d n = normalise(faceNormal(hull, f));
        if (c.size() != 4) {
            addFace(c, n.y > 0.0 ? kNorthOctant : kSouthOctant);
        } else if (n.y > 0.5) {
            addFace(c, kNorthSquare);
        } else if (n.y < -0.5) {
            const int pole = m.addVertex(scaled(n, dot(n, m.vertices[c[0]])), kWeld);
            for (int k = 0; k < 4; ++k) addFace({c[k], c[(k + 1) % 4], pole}, kSouthQuarter);
        } else {
            // Halved along the meridian through its northern and southern corners.
            int k = 0;
            while (std::fabs(m.vertices[c[k]].y) < 0.5) ++k;
            addFace({c[k], c[(k + 1) % 4], c[(k + 2) % 4]}, kEquatorHalf);
            addFace({c[(k + 2) % 4], c[(k + 3) % 4], c[k]}, kEquatorHalf);
        }
    }
    turnClockwise(m);
    // The tree of the butterfly: which sides stay joined.
    auto centre = [&](int f) { return faceCentre(m, f); };
    const FaceAdjacency adj = buildAdjacency(m);
    m.edgeFlags.resize(m.faces.size());
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
        m.edgeFlags[f].assign(m.faces[f].size(), 1);
        for (std::size_t k = 0; k < m.faces[f].size(); ++k) {
            const int g = adj.face[f][k];
            if (g < 0) continue;
            const Role a = std::min(role[f], role[g]), b = std::max(role[f], role[g]);
            const Vec3d mid = midpoint(m.vertices[m.faces[f][k]], m.vertices[m.faces[f][(k + 1) % m.faces[f].size()]]);
            const Vec3d octant = centre(role[f] == kNorthOctant ? static_cast<int>(f) : g);
            bool joined = false;
            if (a == kNorthSquare && b == kNorthOctant) joined = octant.x > 0.0 && octant.z > 0.0;
            if (a == kNorthOctant && b == kNorthOctant) joined = !(std::fabs(mid.x) < 1e-9 && mid.z < 0.0);
            if (a == kNorthOctant && (b == kSouthOctant || b == kEquatorHalf)) joined = true;
            if (a == kSouthOctant && b == kSouthQuarter) joined = true;
            m.edgeFlags[f][k] = joined ? 0 : 1;
        }
    }
    // The model shows a generated solid turned half about z (x and y
    // negated), so the butterfly is built with its north at −y.
    for (Vec3d& p : m.vertices) p = {-p.x, -p.y, p.z};
    scaleToUnitCircumradius(m);
    return m;
}

}  // namespace globaro

namespace globaro {

SolidMesh generateMedialHexagonalHexecontahedron() {
    const std::vector<Rotation> group = icosahedralRotations();
    Vec3d corner;
    std::vector<Vec3d> poles;
    if (!snubCorner(group, corner, poles)) return {};
    SolidMesh m = outerSurfaceOfDual(corner, poles, group);
    turnClockwise(m);
    cutIntoCaps(m, group, {0, 1, std::numbers::phi});
    scaleToUnitCircumradius(m);
    return m;
}

SolidMesh generateRhombicosacron() {
    const std::vector<Rotation> group = icosahedralRotations();
    Vec3d corner;
    std::vector<Vec3d> poles;
    if (!rhombicosahedronCorner(group, corner, poles)) return {};
    SolidMesh m = outerSurfaceOfDual(corner, poles, group);
    turnClockwise(m);
    cutIntoCaps(m, group, {1, 1, 1});
    scaleToUnitCircumradius(m);
    return m;
}

namespace {

// The cells of the arrangement of the planes n·x = 1, n the images of one
// direction under the turns, in the layers of successive stellation: the
// core is layer 0, and each step adds every bounded cell that rests on the
// solid so far, that is every cell whose sides facing the centre (those in
// planes that part it from the centre) all lie on cells already taken. The
// solid of the first k layers is therefore star-shaped about the centre.
// A cell is named by the planes it lies beyond, one bit each.
class LayeredStellation {
public:
    explicit LayeredStellation(const Vec3d& normal) : group_(icosahedralRotations()) {
        normals_ = orbit(group_, normalise(normal));
        if (normals_.size() > 64) return;
        reach_ = reachOfArrangement();
        collectCells();
        assignLayers();
    }

    int steps() const { return steps_; }
    double reach() const { return reach_; }
    const std::vector<Vec3d>& normals() const { return normals_; }
    const std::vector<Rotation>& group() const { return group_; }

    // The layer of the cell a point lies in, leaving out plane `skip` (the
    // point's own); -1 for a cell never taken.
    int layerAt(const Vec3d& p, std::size_t skip, bool beyondSkip) const {
        const auto it = cells_.find(beyondMask(p, skip) | (beyondSkip ? bit(skip) : 0));
        return it == cells_.end() ? -1 : it->second.layer;
    }

    std::vector<int> layerSizes() const {
        std::vector<int> sizes(static_cast<std::size_t>(steps_ + 1), 0);
        for (const auto& [mask, cell] : cells_)
            if (cell.layer >= 0) ++sizes[static_cast<std::size_t>(cell.layer)];
        return sizes;
    }

private:
    struct Cell {
        std::vector<std::uint64_t> below;  // the cells across its sides facing the centre
        bool unbounded = false;
        int layer = -1;
    };

    static std::uint64_t bit(std::size_t i) { return std::uint64_t{1} << i; }

    std::uint64_t beyondMask(const Vec3d& p, std::size_t skip) const {
        std::uint64_t mask = 0;
        for (std::size_t j = 0; j < normals_.size(); ++j)
            if (j != skip && dot(normals_[j], p) > 1.0) mask |= bit(j);
        return mask;
    }

    // Past every corner of the arrangement on the first plane (where it
    // meets two others), so that a cell of that plane reaching the edge of
    // the square is unbounded.
    double reachOfArrangement() const {
        const Vec3d& a = normals_[0];
        double far = 1.0;
        for (std::size_t i = 1; i < normals_.size(); ++i) {
            for (std::size_t j = i + 1; j < normals_.size(); ++j) {
                const Vec3d& b = normals_[i];
                const Vec3d& c = normals_[j];
                const double det = dot(a, cross(b, c));
                if (std::fabs(det) < 1e-9) continue;
                const Vec3d x = scaled(add(add(cross(b, c), cross(c, a)), cross(a, b)), 1.0 / det);
                far = std::max(far, length(difference(x, a)));
            }
        }
        return 1.25 * far + 0.5;
    }

    // Every cell of the first plane, carried by each turn onto its image
    // plane, is a side between the cell below it and the cell above it.
    void collectCells() {
        const PlaneCells plane = cellsOnPlane({normals_[0], 1.0}, reach_, group_);
        cells_[0];  // the core
        for (const Polygon2& side : plane.cells) {
            if (side.size() < 3) continue;
            bool open = false;
            for (const Vec2d& p : side) open = open || std::max(std::fabs(p.x), std::fabs(p.y)) > reach_ * (1 - 1e-9);
            const Vec3d centre = plane.at(centreOf(side));
            for (const Rotation& g : group_) {
                const Vec3d q = turnedBy(g, centre), n = turnedBy(g, normals_[0]);
                std::size_t own = 0;
                while (own < normals_.size() && length(difference(normals_[own], n)) > 1e-9) ++own;
                if (own == normals_.size()) continue;
                const std::uint64_t below = beyondMask(q, own), above = below | bit(own);
                Cell& top = cells_[above];
                top.below.push_back(below);
                top.unbounded = top.unbounded || open;
                Cell& bottom = cells_[below];
                bottom.unbounded = bottom.unbounded || open;
            }
        }
        for (auto& [mask, cell] : cells_) {
            std::sort(cell.below.begin(), cell.below.end());
            cell.below.erase(std::unique(cell.below.begin(), cell.below.end()), cell.below.end());
        }
    }

    void assignLayers() {
        cells_[0].layer = 0;
        for (int step = 1;; ++step) {
            std::vector<Cell*> added;
            for (auto& [mask, cell] : cells_) {
                if (cell.layer >= 0 || cell.unbounded || cell.below.empty()) continue;
                const bool rests = std::all_of(cell.below.begin(), cell.below.end(), [&](std::uint64_t b) {
                    const auto it = cells_.find(b);
                    return it != cells_.end() && it->second.layer >= 0;
                });
                if (rests) added.push_back(&cell);
            }
            if (added.empty()) return;
            for (Cell* c : added) c->layer = step;
            steps_ = step;
        }
    }

    std::vector<Rotation> group_;
    std::vector<Vec3d> normals_;
    double reach_ = 0.0;
    std::unordered_map<std::uint64_t, Cell> cells_;
    int steps_ = 0;
};

}  // namespace

std::vector<int> stellationLayerSizes(const Vec3d& normal) { return LayeredStellation(normal).layerSizes(); }

SolidMesh generateLayeredStellation(const Vec3d& normal, int layers) {
    const LayeredStellation stellation(normal);
    if (layers < 0 || layers > stellation.steps()) return {};
    // A point of the first plane is on the surface where the cell below it
    // is taken and the cell above it is not.
    auto onSurface = [&](const Vec3d& p) {
        const int below = stellation.layerAt(p, 0, false), above = stellation.layerAt(p, 0, true);
        return below >= 0 && below <= layers && (above < 0 || above > layers);
    };
    SolidMesh m =
        outerSurfaceOfPlanes({stellation.normals()[0], 1.0}, stellation.reach(), onSurface, stellation.group());
    if (m.faces.empty()) return m;
    turnClockwise(m);
    scaleToUnitCircumradius(m);
    return m;
}

// The rhombic triacontahedron's stellation GHI, the 15th in Messer's list of
// the fully supported stellations (GHI, the cells of the first five layers).
// Its spikes fold over one another when a cap round an axis is laid flat, so
// the net is cut where the unfolding finds room.
SolidMesh generateSawtooth() { return generateLayeredStellation({1, 0, 0}, 5); }

}  // namespace globaro
