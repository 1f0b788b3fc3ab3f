// The cone tetrahedra and the thirtysphere.

#include "polyhedra/sphere_solids.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace globaro {
namespace {

constexpr double kVertexTolerance = 1e-9;
constexpr int kArcSegments = 12;                                  // per side of a cone's region
constexpr double kConeHalfAngle = 50.0 * std::numbers::pi / 180;  // "conictet"
constexpr int kRhombusGrid = 3;                                   // "thirtysphere" cells per rhombus side
constexpr int kTattooStepsPerTurn = 48;

Vec3d scale(const Vec3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }

// The great-circle point a fraction t of the way from unit vector a to b.
Vec3d slerp(const Vec3d& a, const Vec3d& b, double t) { return normalise(lerp(a, b, t)); }

// Adds a face clockwise seen from outside, whatever its turning sense; the
// corners turned to that sense, or empty when the face was refused.
std::vector<int> addOutwardFace(SolidMesh& mesh, std::vector<int> corners, std::int16_t group) {
    mesh.faces.push_back(corners);
    const int f = static_cast<int>(mesh.faces.size()) - 1;
    const bool anticlockwise = dot(faceNormal(mesh, f), faceCentre(mesh, f)) > 0.0;
    mesh.faces.pop_back();
    if (anticlockwise) std::reverse(corners.begin(), corners.end());
    if (!mesh.addFace(corners.data(), static_cast<int>(corners.size()), group, true)) return {};
    return corners;
}

}  // namespace

SolidMesh generateConeTetrahedron(PolyKind kind) {
    SolidMesh mesh;
    if (kind != 84 && kind != 85) return mesh;
    const bool conic = kind == 85;
    const double s = 1.0 / std::sqrt(3.0);
    const Vec3d corner[4] = {{s, s, s}, {s, -s, -s}, {-s, s, -s}, {-s, -s, s}};
    // A direction d of corner k's region, on its piece: on the sphere, or
    // where the ray meets the cone about the corner (the ray at angle φ from
    // the axis meets it at sin α / sin(α + φ)).
    auto onPiece = [&](int k, const Vec3d& d) {
        if (!conic) return d;
        const double phi = std::acos(std::clamp(dot(d, corner[k]), -1.0, 1.0));
        return scale(d, std::sin(kConeHalfAngle) / std::sin(kConeHalfAngle + phi));
    };
    for (int k = 0; k < 4; ++k) {
        const int apex = mesh.addVertex(corner[k], kVertexTolerance);
        std::vector<Vec3d> outline;  // the region's corners −T, in order around T
        for (int l = 0; l < 4; ++l)
            if (l != k) outline.push_back(negate(corner[l]));
        for (int side = 0; side < 3; ++side) {
            const Vec3d a = outline[static_cast<std::size_t>(side)],
                        b = outline[static_cast<std::size_t>((side + 1) % 3)];
            for (int j = 0; j < kArcSegments; ++j) {
                const int p =
                    mesh.addVertex(onPiece(k, slerp(a, b, static_cast<double>(j) / kArcSegments)), kVertexTolerance);
                const int q = mesh.addVertex(onPiece(k, slerp(a, b, static_cast<double>(j + 1) / kArcSegments)),
                                             kVertexTolerance);
                addOutwardFace(mesh, {apex, p, q}, static_cast<std::int16_t>(k + 1));
            }
        }
    }
    return mesh;
}

SolidMesh generateThirtysphere() {
    // The rhombic triacontahedron: the polar dual of the icosidodecahedron,
    // whose corners are the cyclic permutations of (0, 0, ±φ) and
    // (±½, ±φ/2, ±φ²/2).
    const double phi = std::numbers::phi;
    std::vector<Vec3d> ico;
    auto cyclic = [&](double a, double b, double c) {
        for (int signs = 0; signs < 8; ++signs) {
            const double x = (signs & 1) ? -a : a, y = (signs & 2) ? -b : b, z = (signs & 4) ? -c : c;
            for (const Vec3d& p : {Vec3d{x, y, z}, Vec3d{y, z, x}, Vec3d{z, x, y}})
                if (std::none_of(ico.begin(), ico.end(),
                                 [&](const Vec3d& q) { return length(difference(p, q)) < 1e-12; }))
                    ico.push_back(p);
        }
    };
    cyclic(0, 0, phi);
    cyclic(0.5, phi / 2, phi * phi / 2);
    const SolidMesh rhombi = polarDual(convexHull(ico));

    SolidMesh mesh;
    const int n = kRhombusGrid;
    for (const auto& face : rhombi.faces) {
        if (face.size() != 4) continue;
        Vec3d q[4];
        for (int c = 0; c < 4; ++c) q[c] = rhombi.vertices[static_cast<std::size_t>(face[static_cast<std::size_t>(c)])];
        // Grid point (i, j): bilinear over the rhombus, pushed out to the sphere.
        std::vector<int> grid((n + 1) * (n + 1));
        std::vector<Vec3d> where((n + 1) * (n + 1));
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const double u = static_cast<double>(i) / n, v = static_cast<double>(j) / n;
                const Vec3d p = normalise(lerp(lerp(q[0], q[1], u), lerp(q[3], q[2], u), v));
                grid[j * (n + 1) + i] = mesh.addVertex(p, kVertexTolerance);
                where[j * (n + 1) + i] = p;
            }
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
                const bool acShorter = length(difference(where[a], where[c])) <= length(difference(where[b], where[d]));
                if (acShorter) {
                    addOutwardFace(mesh, {grid[a], grid[b], grid[c]}, -1);
                    addOutwardFace(mesh, {grid[a], grid[c], grid[d]}, -1);
                } else {
                    addOutwardFace(mesh, {grid[a], grid[b], grid[d]}, -1);
                    addOutwardFace(mesh, {grid[b], grid[c], grid[d]}, -1);
                }
            }
    }
    return mesh;
}

SolidMesh generateTattoo(PolyKind kind) {
    SolidMesh mesh;
    if (kind != 77 && kind != 78) return mesh;
    const int turns = kind == 77 ? 4 : 8, m = kTattooStepsPerTurn, n = turns * m;
    // Spiral point i: longitude 2πi/m, sin(latitude) climbing evenly from
    // −1 to 1, so that every turn encloses the same area and the facets
    // near the poles stay as large as those at the equator.
    std::vector<int> vertex(static_cast<std::size_t>(n + 1));
    for (int i = 0; i <= n; ++i) {
        const double lon = 2 * std::numbers::pi * i / m, y = 2.0 * i / n - 1.0, r = std::sqrt(std::max(0.0, 1 - y * y));
        vertex[static_cast<std::size_t>(i)] =
            mesh.addVertex({r * std::sin(lon), y, r * std::cos(lon)}, kVertexTolerance);
    }
    // Faces by spiral index; a side between consecutive spiral points is a
    // side of the band and is never unfolded across.
    auto face = [&](int a, int b, int c) {
        const std::vector<int> corners =
            addOutwardFace(mesh,
                           {vertex[static_cast<std::size_t>(a)], vertex[static_cast<std::size_t>(b)],
                            vertex[static_cast<std::size_t>(c)]},
                           -1);
        if (corners.empty()) return;
        std::vector<int> index(3);
        for (int k = 0; k < 3; ++k) {
            for (int i : {a, b, c})
                if (vertex[static_cast<std::size_t>(i)] == corners[static_cast<std::size_t>(k)])
                    index[static_cast<std::size_t>(k)] = i;
        }
        std::vector<std::uint8_t> flags(3);
        for (std::size_t k = 0; k < 3; ++k) flags[k] = std::abs(index[k] - index[(k + 1) % 3]) == 1 ? 1 : 0;
        mesh.edgeFlags.push_back(flags);
    };
    for (int i = 1; i < m; ++i) face(0, i, i + 1);  // the south pole's fan
    for (int i = 0; i + m < n; ++i) {               // the band
        face(i, i + 1, i + m + 1);
        if (i + m + 1 <= n) face(i, i + m + 1, i + m);
    }
    for (int i = n - m; i + 1 < n; ++i) face(n, i, i + 1);  // the north pole's fan
    return mesh;
}

}  // namespace globaro
