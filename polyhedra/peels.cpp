// Peels: rinds and skelions, both built as grids of strips on the sphere.

#include "polyhedra/peels.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

namespace globaro {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kVertexTolerance = 1e-9;

struct RindRow {
    PolyKind kind;
    RindShape shape;
};

// In kind order.
constexpr RindRow kRinds[] = {
    {25, {.turns = 3.0}},                      // rind 1
    {26, {.turns = 4.0}},                      // rind 2
    {27, {.turns = 6.0, .rungsPerTurn = 40}},  // rind 3
    {159, {.turns = 3.0, .rhumb = true}},      // twistless rind
    {160, {.turns = 2.0, .starts = 2}},        // daycare: two peels hand in hand
    {163, {.turns = 2.0}},                     // short rind
};

struct SkelionRow {
    PolyKind kind;
    SkelionShape shape;
};

using Profile = SkelionProfile;

// In kind order.
constexpr SkelionRow kSkelions[] = {
    {50, {3, Profile::kTwoKnees, 2.0 * kPi / 3.0, 4}},  // Isle of Man
    {164, {3, Profile::kSpiral, kPi / 2.0, 4}},         // triskelion fat
    {165, {5, Profile::kSpiral, kPi / 2.0, 3}},         // pentaskelion
    {166, {3, Profile::kSpiral, kPi, 4}},               // triskelion meso
    {167, {3, Profile::kSpiral, 2.0 * kPi, 4}},         // triskelion skinny
    {168, {3, Profile::kSwirl, kPi, 4}},                // triskelion plain
    {169, {3, Profile::kKnee, 2.0 * kPi / 3.0, 4}},     // triskelion straight
    {303, {3, Profile::kNone, 0.0, 4}},                 // triad
};

constexpr int kSkelionRows = 24;  // rows of facets from pole to pole

struct CoverRow {
    PolyKind kind;
    CoverShape shape;
};

// In kind order.
constexpr CoverRow kCovers[] = {
    {158, {CoverPattern::kTetrahedron, 0.22, 8, 5}},  // quatretat
    {161, {CoverPattern::kCube, 0.16, 5, 4}},         // curvy cube
    {162, {CoverPattern::kSeam, 0.14, 40, 6}},        // baseball
};

Vec3d onSphere(double theta, double phi) {
    theta = std::clamp(theta, 0.0, kPi);
    const double r = std::sin(theta);
    return {r * std::cos(phi), std::cos(theta), r * std::sin(phi)};
}

// Builds a solid from rectangular grids of points, each cell two flat
// triangles. The edges to cut are collected as vertex pairs and turned into
// edge flags at the end, when every face exists.
class StripBuilder {
public:
    // A grid of rows × cols cells; point(i, j) for 0 ≤ i ≤ rows, 0 ≤ j ≤ cols.
    // The long edges (from row i to i + 1) on the grid's two sides are cut;
    // those between its columns are cut too, except in row `joinRow`. The
    // rungs (from column j to j + 1) of the rows in `cutRungs` are cut.
    void addGrid(int rows, int cols, int joinRow, const std::function<Vec3d(int, int)>& point,
                 const std::vector<int>& cutRungs = {}) {
        std::vector<int> index(static_cast<std::size_t>((rows + 1) * (cols + 1)));
        for (int i = 0; i <= rows; ++i)
            for (int j = 0; j <= cols; ++j)
                index[static_cast<std::size_t>(i * (cols + 1) + j)] = mesh_.addVertex(point(i, j), kVertexTolerance);
        auto at = [&](int i, int j) { return index[static_cast<std::size_t>(i * (cols + 1) + j)]; };
        for (int i : cutRungs)
            for (int j = 0; j < cols && i >= 0 && i <= rows; ++j) cut(at(i, j), at(i, j + 1));
        for (int i = 0; i < rows; ++i) {
            for (int j = 0; j < cols; ++j) {
                const int a = at(i, j), b = at(i, j + 1), c = at(i + 1, j + 1), d = at(i + 1, j);
                if (ridgeAC(a, b, c, d)) {
                    addTriangle(a, b, c);
                    addTriangle(a, c, d);
                } else {
                    addTriangle(a, b, d);
                    addTriangle(b, c, d);
                }
                if (j == 0 || i != joinRow) cut(a, d);
                if (j == cols - 1) cut(b, c);
            }
        }
    }

    SolidMesh finish() {
        mesh_.edgeFlags.resize(mesh_.faces.size());
        for (std::size_t f = 0; f < mesh_.faces.size(); ++f) {
            const auto& face = mesh_.faces[f];
            mesh_.edgeFlags[f].assign(face.size(), 0);
            for (std::size_t k = 0; k < face.size(); ++k)
                if (cuts_.count(key(face[k], face[(k + 1) % face.size()])) != 0) mesh_.edgeFlags[f][k] = 1;
        }
        return std::move(mesh_);
    }

private:
    static std::pair<int, int> key(int a, int b) { return {std::min(a, b), std::max(a, b)}; }

    void cut(int a, int b) {
        if (a != b) cuts_.insert(key(a, b));
    }

    // True when the diagonal a–c folds outwards: d lies on the centre's side
    // of the plane through a, b and c (the sphere's Delaunay rule). The other
    // diagonal would fold inwards and leave a saddle at the corners, where
    // the strips of the net would run into each other.
    bool ridgeAC(int a, int b, int c, int d) const {
        if (a < 0 || b < 0 || c < 0 || d < 0 || a == b || b == c || c == d || d == a) return true;
        const auto& v = mesh_.vertices;
        const Vec3d& p = v[static_cast<std::size_t>(a)];
        const Vec3d n =
            cross(difference(p, v[static_cast<std::size_t>(b)]), difference(p, v[static_cast<std::size_t>(c)]));
        const double side = dot(n, difference(p, v[static_cast<std::size_t>(d)]));
        const double centre = -dot(n, p);
        return side * centre >= 0.0;
    }

    // Drops repeated corners (a grid row that closes at a pole); turns the
    // face clockwise seen from outside.
    void addTriangle(int a, int b, int c) {
        if (a < 0 || b < 0 || c < 0 || a == b || b == c || c == a) return;
        const Vec3d& p = mesh_.vertices[static_cast<std::size_t>(a)];
        const Vec3d& q = mesh_.vertices[static_cast<std::size_t>(b)];
        const Vec3d& r = mesh_.vertices[static_cast<std::size_t>(c)];
        const Vec3d n = cross(difference(q, p), difference(r, p));
        const Vec3d centre{p.x + q.x + r.x, p.y + q.y + r.y, p.z + q.z + r.z};
        int corners[3] = {a, b, c};
        if (dot(n, centre) > 0.0) std::swap(corners[1], corners[2]);
        mesh_.addFace(corners, 3, -1, true);
    }

    SolidMesh mesh_;
    std::set<std::pair<int, int>> cuts_;
};

// The polar angle of the spiral at parameter u: 0 at the north pole, 1 at
// the south pole. A rhumb line's polar angle follows the Mercator ordinate
// (the inverse Gudermannian), scaled so that it still ends at the poles.
double spiralPolarAngle(const RindShape& shape, double u) {
    u = std::clamp(u, 0.0, 1.0);
    if (!shape.rhumb) return kPi * u;
    constexpr double kReach = 2.0;  // Mercator ordinate reached before the poles
    const double latitude = std::atan(std::sinh(kReach * (1.0 - 2.0 * u))) / std::atan(std::sinh(kReach));
    return kPi / 2.0 * (1.0 - latitude);
}

}  // namespace

bool rindShape(PolyKind kind, RindShape& shape) noexcept {
    for (const RindRow& row : kRinds)
        if (row.kind == kind) {
            shape = row.shape;
            return true;
        }
    return false;
}

bool coverShape(PolyKind kind, CoverShape& shape) noexcept {
    for (const CoverRow& row : kCovers)
        if (row.kind == kind) {
            shape = row.shape;
            return true;
        }
    return false;
}

bool skelionShape(PolyKind kind, SkelionShape& shape) noexcept {
    for (const SkelionRow& row : kSkelions)
        if (row.kind == kind) {
            shape = row.shape;
            return true;
        }
    return false;
}

double skelionTurn(const SkelionShape& shape, double theta) noexcept {
    const double x = std::clamp(theta / kPi, 0.0, 1.0);
    auto ramp = [x](double centre, double halfWidth) {
        return std::clamp((x - centre + halfWidth) / (2.0 * halfWidth), 0.0, 1.0);
    };
    switch (shape.profile) {
        case Profile::kNone:
            return 0.0;
        case Profile::kSpiral:
            return shape.twist * x;
        case Profile::kSwirl:
            return shape.twist * (1.0 - std::cos(kPi * x)) / 2.0;
        case Profile::kKnee:
            return shape.twist * ramp(0.5, 1.0 / 12.0);
        case Profile::kTwoKnees:
            return shape.twist * (ramp(1.0 / 3.0, 1.0 / 12.0) + ramp(2.0 / 3.0, 1.0 / 12.0)) / 2.0;
    }
    return 0.0;
}

SolidMesh generateRind(const RindShape& shape) {
    StripBuilder builder;
    const int starts = std::max(shape.starts, 1);
    const int perTurn = shape.rungsPerTurn - shape.rungsPerTurn % starts;
    const int spiralRungs = static_cast<int>(std::lround(shape.turns * perTurn));
    if (shape.turns <= 0.0 || perTurn < starts || spiralRungs < 1) return {};
    // Parameter t runs along a spiral (0 to 1 from pole to pole, longitude
    // 2πN·t); the next spiral side by side lies an S-th of a turn further,
    // where t is smaller by width = 1 / (S·N). Band k runs from spiral k at t
    // to spiral k + 1 at t − width, so its rungs follow the meridians.
    const double width = 1.0 / (starts * shape.turns);
    // A single band closes each pole with a fan of a whole turn, which would
    // run into the band's next turn in the net: it is cut off as a cap.
    const int bandRungs = spiralRungs + perTurn / starts;
    std::vector<int> caps;
    if (starts == 1) caps = {perTurn, spiralRungs};
    for (int k = 0; k < starts; ++k) {
        builder.addGrid(
            bandRungs, 1, -1,
            [&](int i, int s) {
                const double t = static_cast<double>(i) / spiralRungs;
                const double phi = 2.0 * kPi * (shape.turns * t + static_cast<double>(k) / starts);
                return onSphere(spiralPolarAngle(shape, t - s * width), phi);
            },
            caps);
    }
    return builder.finish();
}

SolidMesh generateSkelion(const SkelionShape& shape) {
    StripBuilder builder;
    const int n = shape.pieces, strips = std::max(shape.strips, 1);
    if (n < 2) return {};
    for (int k = 0; k < n; ++k) {
        builder.addGrid(kSkelionRows, strips, kSkelionRows / 2, [&](int i, int j) {
            const double theta = kPi * i / kSkelionRows;
            const double phi = 2.0 * kPi * (k + static_cast<double>(j) / strips) / n + skelionTurn(shape, theta);
            return onSphere(theta, phi);
        });
    }
    return builder.finish();
}

namespace {

Vec3d unit(const Vec3d& v) {
    const double l = length(v);
    return l > 0.0 ? Vec3d{v.x / l, v.y / l, v.z / l} : Vec3d{0.0, 0.0, 1.0};
}

Vec3d mix(const Vec3d& a, const Vec3d& b, double s) {
    return {a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s, a.z + (b.z - a.z) * s};
}

// A point of the edge from a to b at s (0 to 1): the great-circle arc pushed
// sideways by bend · sin 2πs. Walking the edge from b to a gives the same
// points, so both faces along it share them.
Vec3d bentEdge(const Vec3d& a, const Vec3d& b, double s, double bend) {
    const double angle = std::acos(std::clamp(dot(a, b), -1.0, 1.0));
    const double wa = std::sin((1.0 - s) * angle), wb = std::sin(s * angle);
    const Vec3d arc = unit({a.x * wa + b.x * wb, a.y * wa + b.y * wb, a.z * wa + b.z * wb});
    const Vec3d n = unit(cross(a, b));
    const double push = bend * std::sin(2.0 * kPi * s);
    return unit({arc.x + n.x * push, arc.y + n.y * push, arc.z + n.z * push});
}

// One piece: its centre and its border, a closed loop of points around it.
struct CoverPiece {
    Vec3d centre;
    std::vector<Vec3d> border;
};

std::vector<CoverPiece> coverPieces(const CoverShape& shape) {
    std::vector<CoverPiece> pieces;
    if (shape.pattern == CoverPattern::kSeam) {
        // The seam's two halves hold the poles ±z of its own frame (the model's
        // ±y); the seam is walked once for each.
        const double b = std::clamp(shape.bend, 0.01, 0.24), a = 1.0 - b;
        for (int half = 0; half < 2; ++half) {
            CoverPiece piece{{0.0, half == 0 ? 1.0 : -1.0, 0.0}, {}};
            for (int i = 0; i < shape.borderSteps; ++i) {
                const double t = 2.0 * kPi * i / shape.borderSteps;
                const Vec3d p{a * std::cos(t) + b * std::cos(3.0 * t), 2.0 * std::sqrt(a * b) * std::sin(2.0 * t),
                              a * std::sin(t) - b * std::sin(3.0 * t)};
                piece.border.push_back(p);
            }
            pieces.push_back(std::move(piece));
        }
        return pieces;
    }
    // The regular solid's faces, as the hull of its corners.
    std::vector<Vec3d> corners;
    if (shape.pattern == CoverPattern::kTetrahedron) {
        corners = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    } else {
        for (int i = 0; i < 8; ++i) corners.push_back({i & 1 ? 1.0 : -1.0, i & 2 ? 1.0 : -1.0, i & 4 ? 1.0 : -1.0});
    }
    for (Vec3d& c : corners) c = unit(c);
    const SolidMesh hull = convexHull(corners);
    for (std::size_t f = 0; f < hull.faces.size(); ++f) {
        const auto& face = hull.faces[f];
        CoverPiece piece{unit(faceCentre(hull, static_cast<int>(f))), {}};
        for (std::size_t k = 0; k < face.size(); ++k) {
            const Vec3d& p = hull.vertices[static_cast<std::size_t>(face[k])];
            const Vec3d& q = hull.vertices[static_cast<std::size_t>(face[(k + 1) % face.size()])];
            for (int s = 0; s < shape.borderSteps; ++s)
                piece.border.push_back(bentEdge(p, q, static_cast<double>(s) / shape.borderSteps, shape.bend));
        }
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

}  // namespace

SolidMesh generateCover(const CoverShape& shape) {
    StripBuilder builder;
    if (shape.borderSteps < 2 || shape.rings < 2) return {};
    for (const CoverPiece& piece : coverPieces(shape)) {
        const int n = static_cast<int>(piece.border.size());
        // Row 0 is the centre, row `rings` the border; the strips run along
        // the rays and stay joined in the ring round the centre.
        builder.addGrid(shape.rings, n, 0,
                        [&](int i, int j) {
                            const Vec3d& edge = piece.border[static_cast<std::size_t>(j % n)];
                            if (i == shape.rings) return edge;
                            return unit(mix(piece.centre, edge, static_cast<double>(i) / shape.rings));
                        },
                        {shape.rings});
    }
    return builder.finish();
}

}  // namespace globaro
