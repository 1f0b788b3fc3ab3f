// The curved-origami boxes: base solids, the vaulted pieces of each face,
// and the group table of their nets.

#include "polyhedra/curved_origami.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace globaro {
namespace {

using std::numbers::phi;
using std::numbers::pi;

constexpr CurvedBoxShape round(BoxBase base, double rise = 0.6) {
    return {.base = base, .rise = rise, .profile = VaultProfile::kRound};
}
constexpr CurvedBoxShape squircle(BoxBase base) { return {.base = base, .profile = VaultProfile::kSquircle}; }
constexpr CurvedBoxShape prism(int sides, double height, VaultProfile profile = VaultProfile::kRound) {
    return {.base = BoxBase::kPrism, .prismSides = sides, .prismHeight = height, .profile = profile};
}

struct KindShape {
    PolyKind kind;
    CurvedBoxShape shape;
};

// Prisms: "Tribox" and "pentbox" with square sides, "squarebox A" a box
// twice as tall as wide, "squarebox B" one half as tall.
constexpr KindShape kShapes[] = {
    {170, round(BoxBase::kTetrahedron)},            // YangTet
    {172, round(BoxBase::kTetrahedron, 0.9)},       // YangTet wide
    {174, prism(3, 1.0)},                           // Tribox
    {176, prism(5, 1.0)},                           // pentbox
    {178, round(BoxBase::kOctahedron)},             // YangOct
    {180, round(BoxBase::kCube)},                   // YangCube
    {182, squircle(BoxBase::kCube)},                // squirclecube
    {184, round(BoxBase::kDodecahedron)},           // YangDodecahedron
    {186, round(BoxBase::kIcosahedron)},            // YangIcosahedron
    {188, prism(4, 2.0)},                           // squarebox A
    {189, prism(4, 0.5)},                           // squarebox B
    {192, prism(4, 2.0, VaultProfile::kSquircle)},  // squirclebox A
    {193, prism(4, 0.5, VaultProfile::kSquircle)},  // squirclebox B
};

Vec3d add(const Vec3d& a, const Vec3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3d scale(const Vec3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }

std::vector<Vec3d> baseVertices(const CurvedBoxShape& s) {
    std::vector<Vec3d> v;
    auto signs = [&](double a, double b, double c) {
        for (int k = 0; k < 8; ++k) {
            const Vec3d p{(k & 1) ? -a : a, (k & 2) ? -b : b, (k & 4) ? -c : c};
            if (std::none_of(v.begin(), v.end(), [&](const Vec3d& q) { return length(difference(p, q)) < 1e-12; }))
                v.push_back(p);
        }
    };
    auto cyclic = [&](double a, double b, double c) {
        signs(a, b, c);
        signs(b, c, a);
        signs(c, a, b);
    };
    switch (s.base) {
        case BoxBase::kTetrahedron:
            v = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
            break;
        case BoxBase::kOctahedron:
            cyclic(1, 0, 0);
            break;
        case BoxBase::kCube:
            signs(1, 1, 1);
            break;
        case BoxBase::kDodecahedron:
            signs(1, 1, 1);
            cyclic(0, 1 / phi, phi);
            break;
        case BoxBase::kIcosahedron:
            cyclic(0, 1, phi);
            break;
        case BoxBase::kPrism: {
            // End polygons of circumradius 1 about the y axis (the poles),
            // side 2 sin(π/n), height prismHeight times the side.
            const double half = s.prismHeight * std::sin(pi / s.prismSides);
            for (int k = 0; k < s.prismSides; ++k) {
                const double a = 2 * pi * k / s.prismSides;
                v.push_back({std::sin(a), half, std::cos(a)});
                v.push_back({std::sin(a), -half, std::cos(a)});
            }
            break;
        }
    }
    for (Vec3d& p : v) p = normalise(p);
    return v;
}

// f(λ) and its slope at λ = 0.
double profileAt(VaultProfile profile, double lambda) {
    const double q = (1 - lambda) * (1 - lambda);
    return profile == VaultProfile::kRound ? 1 - q : 1 - q * q;
}
double profileSlopeAtSide(VaultProfile profile) { return profile == VaultProfile::kRound ? 2.0 : 4.0; }

// Level lines per sector: fewer on the solids with many faces.
int levelsFor(std::size_t faces) { return faces <= 8 ? 8 : 6; }

// The vault of one face, corners in either turning sense.
void addFaceVault(SolidMesh& mesh, std::vector<Vec3d> corner, const CurvedBoxShape& s, int levels, std::int16_t group) {
    const std::size_t n = corner.size();
    Vec3d c{}, normal{};
    for (const Vec3d& p : corner) c = add(c, scale(p, 1.0 / n));
    for (std::size_t k = 0; k < n; ++k) normal = add(normal, cross(corner[k], corner[(k + 1) % n]));
    if (dot(normal, c) < 0.0) std::reverse(corner.begin(), corner.end());  // anticlockwise from outside
    normal = normalise(dot(normal, c) < 0.0 ? negate(normal) : normal);

    // The slope scale of each side: the plane through the side and the
    // solid's centre leans by tan ε = (depth of the face plane) / (distance
    // of the side from the face centre), seen across the side.
    double height = 1e300;
    for (std::size_t k = 0; k < n; ++k) {
        const Vec3d a = corner[k], b = corner[(k + 1) % n];
        const Vec3d e = directionBetween(a, b), u = cross(normal, e);  // u: inward across the side
        const double r = dot(difference(a, c), u);                     // c's distance from the side
        const Vec3d toCentre = negate(midpoint(a, b));
        const double tanEps = -dot(toCentre, normal) / dot(toCentre, u);
        height = std::min(height, s.rise * r * tanEps / profileSlopeAtSide(s.profile));
    }

    // Level j of the line from a corner to the apex.
    auto onCrease = [&](const Vec3d& from, int j) {
        const double lambda = static_cast<double>(j) / levels;
        return mesh.addVertex(add(lerp(from, c, lambda), scale(normal, height * profileAt(s.profile, lambda))), 1e-9);
    };
    for (std::size_t k = 0; k < n; ++k) {
        const Vec3d a = corner[k], b = corner[(k + 1) % n];
        for (int j = 0; j < levels; ++j) {
            // Trapezoid between two level lines, clockwise seen from
            // outside; the top one closes at the apex as a triangle.
            // Above the lowest level the crease is cut, so that in the net
            // each sector hangs from its neighbours only at the base and
            // the darts open along the creases.
            const int ring[4] = {onCrease(a, j + 1), onCrease(b, j + 1), onCrease(b, j), onCrease(a, j)};
            const std::uint8_t cut = j > 0 ? 1 : 0;
            const bool top = ring[0] == ring[1];
            std::vector<std::uint8_t> flags =
                top ? std::vector<std::uint8_t>{cut, 0, cut} : std::vector<std::uint8_t>{0, cut, 0, cut};
            if (mesh.addFace(ring + (top ? 1 : 0), top ? 3 : 4, group, true)) mesh.edgeFlags.push_back(flags);
        }
    }
}

constexpr GroupPieces makeGroupPieces() {
    GroupPieces t{};
    for (std::size_t g = 0; g < t.size(); ++g) {
        const auto piece = static_cast<std::int16_t>(std::max<std::size_t>(g, 1));
        t[g] = {piece, static_cast<std::int16_t>(piece + 1)};
    }
    return t;
}
constexpr GroupPieces kGroupPieces = makeGroupPieces();

}  // namespace

bool curvedBoxShape(PolyKind kind, CurvedBoxShape& shape) noexcept {
    for (const KindShape& row : kShapes) {
        if (row.kind == kind) {
            shape = row.shape;
            return true;
        }
    }
    return false;
}

SolidMesh generateCurvedBox(const CurvedBoxShape& shape) {
    SolidMesh mesh;
    const SolidMesh base = convexHull(baseVertices(shape));
    const int levels = levelsFor(base.faces.size());
    for (std::size_t f = 0; f < base.faces.size(); ++f) {
        std::vector<Vec3d> corner;
        for (int v : base.faces[f]) corner.push_back(base.vertices[static_cast<std::size_t>(v)]);
        addFaceVault(mesh, corner, shape, levels, static_cast<std::int16_t>(f + 1));
    }
    return mesh;
}

const GroupPieces& curvedBoxGroupPieces() noexcept { return kGroupPieces; }

}  // namespace globaro
