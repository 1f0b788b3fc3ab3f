// The late generated solids: icosahedral constructions, the outer surface of
// a union of convex solids, and the Waterman polyhedron cut as a butterfly.

#include "polyhedra/late_solids.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

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
