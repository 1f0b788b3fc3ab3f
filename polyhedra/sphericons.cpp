// The sphericons: profile of the n-gon, the two half solids of revolution
// faceted into strips, the second half turned onto the first.

#include "polyhedra/sphericons.h"

#include <cmath>
#include <vector>

namespace globaro {
namespace {

constexpr double kPi = 3.14159265358979323846;

using Axis = SphericonAxis;

// Kinds 110 to 157 in order.
constexpr SphericonShape kShapes[] = {
    {3, 0, Axis::kCorners},  {3, 1, Axis::kCorners},  {4, 0, Axis::kCorners},  {4, 1, Axis::kCorners},
    {4, 0, Axis::kSides},    {4, 1, Axis::kSides},    {5, 0, Axis::kCorners},  {5, 1, Axis::kCorners},
    {5, 2, Axis::kCorners},  {6, 0, Axis::kCorners},  {6, 1, Axis::kCorners},  {6, 0, Axis::kSides},
    {6, 1, Axis::kSides},    {7, 0, Axis::kCorners},  {7, 1, Axis::kCorners},  {7, 2, Axis::kCorners},
    {7, 3, Axis::kCorners},  {8, 0, Axis::kCorners},  {8, 1, Axis::kCorners},  {8, 2, Axis::kCorners},
    {8, 0, Axis::kSides},    {8, 1, Axis::kSides},    {8, 2, Axis::kSides},    {9, 0, Axis::kCorners},
    {9, 1, Axis::kCorners},  {9, 2, Axis::kCorners},  {9, 3, Axis::kCorners},  {9, 4, Axis::kCorners},
    {10, 0, Axis::kCorners}, {10, 1, Axis::kCorners}, {10, 2, Axis::kCorners}, {10, 0, Axis::kSides},
    {10, 1, Axis::kSides},   {10, 2, Axis::kSides},   {4, 0, Axis::kHybrid},   {6, 0, Axis::kHybrid},
    {6, 1, Axis::kHybrid},   {8, 0, Axis::kHybrid},   {8, 1, Axis::kHybrid},   {10, 0, Axis::kHybrid},
    {10, 1, Axis::kHybrid},  {10, 2, Axis::kHybrid},  {11, 0, Axis::kCorners}, {11, 1, Axis::kCorners},
    {11, 2, Axis::kCorners}, {11, 3, Axis::kCorners}, {11, 4, Axis::kCorners}, {11, 5, Axis::kCorners},
};
constexpr PolyKind kFirstKind = 110;

// Strips per half turn of each cone piece.
constexpr int kStrips = 16;

// One point of a half's profile: radius from the axis, height, and the n-gon
// side it lies on (a point on the axis or at a corner ends one side).
struct ProfilePoint {
    double r, y;
    int side;  // the side of the segment from this point to the next
};

// The right-hand profile (x ≥ 0) from the top of the axis down, every side
// cut at its midpoint so that both halves meet at the same seam points.
std::vector<ProfilePoint> rightProfile(int n, bool throughSides) {
    // Corners clockwise from the top: with the axis through sides the top
    // side runs from corner n−1 to corner 0.
    const double first = kPi / 2 - (throughSides ? kPi / n : 0.0);
    std::vector<ProfilePoint> loop;  // corner i, then the midpoint of side i
    for (int i = 0; i < n; ++i) {
        const double a = first - 2.0 * kPi * i / n, b = first - 2.0 * kPi * (i + 1) / n;
        loop.push_back({std::cos(a), std::sin(a), i});
        loop.push_back({(std::cos(a) + std::cos(b)) / 2, (std::sin(a) + std::sin(b)) / 2, i});
    }
    const int top = throughSides ? 2 * n - 1 : 0;
    std::vector<ProfilePoint> out;
    for (int j = 0; j <= n; ++j) out.push_back(loop[static_cast<std::size_t>((top + j) % (2 * n))]);
    out.front().r = 0.0;
    out.back().r = 0.0;
    return out;
}

}  // namespace

bool sphericonShape(PolyKind kind, SphericonShape& shape) noexcept {
    const int i = kind - kFirstKind;
    if (i < 0 || i >= static_cast<int>(std::size(kShapes))) return false;
    shape = kShapes[i];
    return true;
}

SolidMesh generateSphericon(const SphericonShape& shape) {
    SolidMesh mesh;
    const int n = shape.sides;
    if (n < 3) return mesh;
    const bool firstThroughSides = shape.axis == Axis::kSides;
    const bool secondThroughSides = shape.axis != Axis::kCorners;
    const double turn = 2.0 * kPi * (shape.turn + (shape.axis == Axis::kHybrid ? 0.5 : 0.0)) / n;
    const double tol = 1e-9;

    // Which cone piece each face belongs to: (half, n-gon side).
    std::vector<int> pieceOf;
    for (int half = 0; half < 2; ++half) {
        const auto profile = rightProfile(n, half == 0 ? firstThroughSides : secondThroughSides);
        const double phi0 = half == 0 ? 0.0 : kPi;
        const double c = std::cos(half == 0 ? 0.0 : turn), s = std::sin(half == 0 ? 0.0 : turn);
        auto point = [&](const ProfilePoint& p, int j) {
            const double phi = phi0 + kPi * j / kStrips;
            const double x = p.r * std::cos(phi), y = p.y, z = p.r * std::sin(phi);
            return mesh.addVertex(Vec3d{x * c - y * s, x * s + y * c, z}, tol);
        };
        for (std::size_t i = 0; i + 1 < profile.size(); ++i) {
            for (int j = 0; j < kStrips; ++j) {
                const int ring[4] = {point(profile[i], j), point(profile[i], j + 1), point(profile[i + 1], j + 1),
                                     point(profile[i + 1], j)};
                int corners[4], count = 0;
                for (int q : ring) {
                    if (count == 0 || corners[count - 1] != q) corners[count++] = q;
                }
                if (count > 1 && corners[count - 1] == corners[0]) --count;
                // Clockwise seen from outside: the normal points at the centre.
                std::vector<int> face(corners, corners + count);
                mesh.faces.push_back(face);
                if (dot(faceNormal(mesh, static_cast<int>(mesh.faces.size()) - 1),
                        faceCentre(mesh, static_cast<int>(mesh.faces.size()) - 1)) > 0.0) {
                    for (int a = 0, b = count - 1; a < b; ++a, --b) std::swap(corners[a], corners[b]);
                }
                mesh.faces.pop_back();
                if (mesh.addFace(corners, count, -1, true)) pieceOf.push_back(half * n + profile[i].side);
            }
        }
    }
    // The ridges between cone pieces of one half are cut; the pieces stay
    // joined along the seam of the two halves and inside themselves.
    const FaceAdjacency adj = buildAdjacency(mesh);
    mesh.edgeFlags.resize(mesh.faces.size());
    for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
        mesh.edgeFlags[f].assign(mesh.faces[f].size(), 0);
        for (std::size_t k = 0; k < mesh.faces[f].size(); ++k) {
            const int g = adj.face[f][k];
            if (g < 0) continue;
            const bool sameHalf = pieceOf[f] / n == pieceOf[static_cast<std::size_t>(g)] / n;
            if (sameHalf && pieceOf[f] != pieceOf[static_cast<std::size_t>(g)]) mesh.edgeFlags[f][k] = 1;
        }
    }
    return mesh;
}

}  // namespace globaro
