// The fixed solids: their standard constructions (true coordinates from the
// golden ratio, the silver ratio and the tribonacci constant), duals for the
// Catalan solids, and the static tables made from them on first use.

#include "polyhedra/fixed_solids.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>
#include <utility>

#include "polyhedra/net_unfold.h"

namespace globaro {
namespace {

// ---- vertex sets ------------------------------------------------------------------

const double kPhi = (1.0 + std::sqrt(5.0)) / 2.0;

// Every sign choice of the non-zero coordinates.
void addSigned(std::vector<Vec3d>& out, double a, double b, double c) {
    for (int s = 0; s < 8; ++s) {
        const double x = (s & 1) ? -a : a, y = (s & 2) ? -b : b, z = (s & 4) ? -c : c;
        if ((s & 1) && a == 0.0) continue;
        if ((s & 2) && b == 0.0) continue;
        if ((s & 4) && c == 0.0) continue;
        out.push_back({x, y, z});
    }
}

void addEvenPerms(std::vector<Vec3d>& out, double a, double b, double c) {
    addSigned(out, a, b, c);
    addSigned(out, b, c, a);
    addSigned(out, c, a, b);
}

void addAllPerms(std::vector<Vec3d>& out, double a, double b, double c) {
    addEvenPerms(out, a, b, c);
    addEvenPerms(out, b, a, c);
}

std::vector<Vec3d> unique(const std::vector<Vec3d>& pts) {
    std::vector<Vec3d> out;
    for (const Vec3d& p : pts) {
        bool seen = false;
        for (const Vec3d& q : out) {
            const Vec3d d = difference(p, q);
            if (dot(d, d) < 1e-18) {
                seen = true;
                break;
            }
        }
        if (!seen) out.push_back(p);
    }
    return out;
}

// Scales the mesh so that its farthest vertex lies at distance 1.
SolidMesh unitScaled(SolidMesh mesh) {
    double r = 0.0;
    for (const Vec3d& v : mesh.vertices) r = std::max(r, length(v));
    if (r > 0.0) {
        for (Vec3d& v : mesh.vertices) v = {v.x / r, v.y / r, v.z / r};
    }
    return mesh;
}

SolidMesh hullOf(const std::vector<Vec3d>& pts) { return unitScaled(convexHull(unique(pts))); }

SolidMesh cubeMesh() {
    std::vector<Vec3d> p;
    addSigned(p, 1, 1, 1);
    return hullOf(p);
}
SolidMesh octahedronMesh() {
    std::vector<Vec3d> p;
    addAllPerms(p, 1, 0, 0);
    return hullOf(p);
}
SolidMesh dodecahedronMesh() {
    std::vector<Vec3d> p;
    addSigned(p, 1, 1, 1);
    addEvenPerms(p, 0, 1.0 / kPhi, kPhi);
    return hullOf(p);
}
SolidMesh icosahedronMesh() {
    std::vector<Vec3d> p;
    addEvenPerms(p, 0, 1, kPhi);
    return hullOf(p);
}
SolidMesh cuboctahedronMesh() {
    std::vector<Vec3d> p;
    addAllPerms(p, 1, 1, 0);
    return hullOf(p);
}
SolidMesh smallRhombicuboctahedronMesh() {
    std::vector<Vec3d> p;
    addAllPerms(p, 1, 1, 1.0 + std::sqrt(2.0));
    return hullOf(p);
}
// The tribonacci constant, the real root of t³ = t² + t + 1.
double tribonacci() {
    return (1.0 + std::cbrt(19.0 + 3.0 * std::sqrt(33.0)) + std::cbrt(19.0 - 3.0 * std::sqrt(33.0))) / 3.0;
}
SolidMesh snubCubeMesh() {
    const double t = tribonacci();
    const double v[3] = {1.0, 1.0 / t, t};
    std::vector<Vec3d> p;
    // Even permutations with an even number of plus signs, odd permutations
    // with an odd number.
    const int perms[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {1, 0, 2}, {0, 2, 1}, {2, 1, 0}};
    for (int q = 0; q < 6; ++q) {
        const bool even = q < 3;
        for (int s = 0; s < 8; ++s) {
            const int plus = 3 - ((s & 1) + ((s >> 1) & 1) + ((s >> 2) & 1));
            if ((plus % 2 == 0) != even) continue;
            p.push_back({(s & 1) ? -v[perms[q][0]] : v[perms[q][0]], (s & 2) ? -v[perms[q][1]] : v[perms[q][1]],
                         (s & 4) ? -v[perms[q][2]] : v[perms[q][2]]});
        }
    }
    return hullOf(p);
}
SolidMesh icosidodecahedronMesh() {
    std::vector<Vec3d> p;
    addEvenPerms(p, 0, 0, kPhi);
    addEvenPerms(p, 0.5, kPhi / 2.0, kPhi * kPhi / 2.0);
    return hullOf(p);
}
SolidMesh truncatedIcosahedronMesh() {
    std::vector<Vec3d> p;
    addEvenPerms(p, 0, 1, 3 * kPhi);
    addEvenPerms(p, 1, 2 + kPhi, 2 * kPhi);
    addEvenPerms(p, kPhi, 2, kPhi * kPhi * kPhi);
    return hullOf(p);
}
SolidMesh smallRhombicosidodecahedronMesh() {
    std::vector<Vec3d> p;
    addEvenPerms(p, 1, 1, kPhi * kPhi * kPhi);
    addEvenPerms(p, kPhi * kPhi, kPhi, 2 * kPhi);
    addEvenPerms(p, 2 + kPhi, 0, kPhi * kPhi);
    return hullOf(p);
}
SolidMesh dualOf(SolidMesh (*make)()) { return unitScaled(polarDual(make())); }
SolidMesh deltoidalIcositetrahedronMesh() { return dualOf(&smallRhombicuboctahedronMesh); }
SolidMesh pentagonalIcositetrahedronMesh() { return dualOf(&snubCubeMesh); }
SolidMesh rhombicTriacontahedronMesh() { return dualOf(&icosidodecahedronMesh); }
SolidMesh deltoidalHexecontahedronMesh() { return dualOf(&smallRhombicosidodecahedronMesh); }

// The small stellated dodecahedron seen from outside: a five-sided spike on
// every face of a dodecahedron, each spike's sides in the planes of the
// neighbouring faces (apex at √5 times the inradius).
SolidMesh spikeballMesh() {
    const SolidMesh core = dodecahedronMesh();
    SolidMesh mesh;
    mesh.vertices = core.vertices;
    for (std::size_t f = 0; f < core.faces.size(); ++f) {
        const Vec3d n = normalise(faceNormal(core, static_cast<int>(f)));
        const double r = dot(n, core.vertices[core.faces[f][0]]);
        mesh.vertices.push_back({n.x * r * std::sqrt(5.0), n.y * r * std::sqrt(5.0), n.z * r * std::sqrt(5.0)});
        const int apex = static_cast<int>(mesh.vertices.size()) - 1;
        const auto& c = core.faces[f];
        for (std::size_t k = 0; k < c.size(); ++k) {
            const int tri[3] = {c[k], c[(k + 1) % c.size()], apex};
            mesh.addFace(tri, 3);
        }
    }
    return unitScaled(mesh);
}

// The truncated icosahedron with each hexagon raised into six triangles
// about its centre, pushed out to the circumsphere: 12 pentagons and 120
// triangles.
SolidMesh gidMesh() {
    const SolidMesh t = truncatedIcosahedronMesh();
    std::vector<Vec3d> p = t.vertices;
    for (std::size_t f = 0; f < t.faces.size(); ++f) {
        if (t.faces[f].size() != 6) continue;
        p.push_back(normalise(faceCentre(t, static_cast<int>(f))));
    }
    return hullOf(p);
}

// ---- tables ------------------------------------------------------------------------

struct StoredTables {
    std::vector<double> net;
    std::vector<double> solid;
    std::vector<std::uint16_t> faceCorners;
    std::vector<std::uint16_t> faceSolidCorners;
    SolidTables view;
};

double rawArea(const std::vector<Vec2d>& net, const std::vector<int>& face) {
    double s = 0.0;
    for (std::size_t k = 0; k < face.size(); ++k) {
        const Vec2d& a = net[face[k]];
        const Vec2d& b = net[face[(k + 1) % face.size()]];
        s += a.x * b.y - b.x * a.y;
    }
    return s;
}

// Tables holding the net positions, the solid rows and, per face, its net
// corners and solid corners (indices from 0) as the model reads them: flat
// coordinate rows and 1-based corner lists, each face closed by a 0.
std::unique_ptr<StoredTables> flattenTables(const std::vector<Vec2d>& net, const std::vector<Vec3d>& solid,
                                            const std::vector<std::vector<int>>& faceNet,
                                            const std::vector<std::vector<int>>& faceSolid) {
    auto t = std::make_unique<StoredTables>();
    for (const Vec2d& p : net) {
        t->net.push_back(p.x);
        t->net.push_back(p.y);
    }
    for (const Vec3d& p : solid) {
        t->solid.push_back(p.x);
        t->solid.push_back(p.y);
        t->solid.push_back(p.z);
    }
    for (std::size_t f = 0; f < faceNet.size(); ++f) {
        for (int v : faceNet[f]) t->faceCorners.push_back(static_cast<std::uint16_t>(v + 1));
        t->faceCorners.push_back(0);
        for (int v : faceSolid[f]) t->faceSolidCorners.push_back(static_cast<std::uint16_t>(v + 1));
        t->faceSolidCorners.push_back(0);
    }
    t->view.netPositions = t->net.data();
    t->view.netSolidPositions = t->solid.data();
    t->view.faceCorners = t->faceCorners.data();
    t->view.faceSolidCorners = t->faceSolidCorners.data();
    t->view.solidIndex = nullptr;
    t->view.netVertexCount = static_cast<std::int32_t>(net.size());
    t->view.solidRowCount = static_cast<std::int32_t>(solid.size());
    t->view.faceCount = static_cast<std::int32_t>(faceNet.size());
    return t;
}

// Tables from a net (positions and faces) and its solid. The net is moved
// into the unit square; faces keep a positive net area with their solid
// corners anticlockwise from outside.
std::unique_ptr<StoredTables> makeTables(std::vector<Vec2d> net, const std::vector<Vec3d>& solid,
                                         std::vector<std::vector<int>> faceNet,
                                         std::vector<std::vector<int>> faceSolid) {
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const Vec2d& p : net) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    const double size = std::max(maxX - minX, maxY - minY);
    const double s = size > 0.0 ? 1.0 / size : 1.0;
    for (Vec2d& p : net) p = {(p.x - minX) * s, (p.y - minY) * s};
    for (std::size_t f = 0; f < faceNet.size(); ++f) {
        if (rawArea(net, faceNet[f]) < 0.0) {
            std::reverse(faceNet[f].begin(), faceNet[f].end());
            std::reverse(faceSolid[f].begin(), faceSolid[f].end());
        }
    }
    return flattenTables(net, solid, faceNet, faceSolid);
}

// The net of a solid from the unfolder, optionally turned a quarter so that
// it lies wide (horizontal) or tall (vertical).
enum class Lie { kAny, kWide, kTall };

std::unique_ptr<StoredTables> unfoldedTables(const SolidMesh& mesh, Lie lie = Lie::kAny, int startFace = -1) {
    UnfoldOptions options;
    options.startFace = startFace;
    options.shareTolerance = 1e-6;
    UnfoldedNet net = unfoldSolid(mesh, options);
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const Vec2d& p : net.positions) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    const bool wide = (maxX - minX) >= (maxY - minY);
    if ((lie == Lie::kWide && !wide) || (lie == Lie::kTall && wide)) {
        for (Vec2d& p : net.positions) p = {-p.y, p.x};  // a quarter turn keeps the turning sense
    }
    std::vector<std::vector<int>> faceNet, faceSolid;
    for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
        if (net.faceNet[f].empty()) continue;
        faceNet.push_back(net.faceNet[f]);
        faceSolid.push_back(mesh.faces[f]);
    }
    return makeTables(net.positions, mesh.vertices, std::move(faceNet), std::move(faceSolid));
}

// The face of a mesh whose outward normal is nearest to `dir`.
int faceFacing(const SolidMesh& mesh, const Vec3d& dir) {
    int best = 0;
    double bestDot = -2.0;
    for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
        const double d = dot(normalise(faceNormal(mesh, static_cast<int>(f))), dir);
        if (d > bestDot) {
            bestDot = d;
            best = static_cast<int>(f);
        }
    }
    return best;
}

// Tables from a hand-made net of `m`, mirrored when needed so that the net
// turns the same way as the solid's faces seen from outside.
std::unique_ptr<StoredTables> sameSenseTables(std::vector<Vec2d> net, const SolidMesh& m,
                                              std::vector<std::vector<int>> faceNet,
                                              std::vector<std::vector<int>> faceSolid) {
    const bool outward = dot(faceNormal(m, 0), faceCentre(m, 0)) > 0.0;
    if ((rawArea(net, faceNet[0]) > 0.0) != outward) {
        for (Vec2d& p : net) p.x = -p.x;
    }
    return makeTables(std::move(net), m.vertices, std::move(faceNet), std::move(faceSolid));
}

std::unique_ptr<StoredTables> tetrahedronTables() {
    // A big triangle cut into four; the three outer corners carry one solid point.
    const std::vector<Vec2d> net = {{0.5, 0.0},           {0.372868, 0.2202}, {0.627132, 0.2202},
                                    {0.245735, 0.440399}, {0.5, 0.440399},    {0.754265, 0.440399}};
    const std::vector<Vec3d> solid = {{1, -1, -1}, {1, 1, 1}, {-1, 1, -1}, {1, -1, -1}, {-1, -1, 1}, {1, -1, -1}};
    const std::vector<std::vector<int>> faceNet = {{2, 1, 0}, {4, 3, 1}, {2, 4, 1}, {5, 4, 2}};
    // Each face's solid corners in the order of its net corners.
    const std::vector<std::vector<int>> faceSolid = {{2, 1, 0}, {4, 0, 1}, {2, 4, 1}, {0, 4, 2}};
    return flattenTables(net, solid, faceNet, faceSolid);
}

SolidMesh tetrahedronMesh() {
    SolidMesh m;
    m.vertices = {{1, -1, -1}, {1, 1, 1}, {-1, 1, -1}, {-1, -1, 1}};
    const int f[4][3] = {{2, 1, 0}, {3, 0, 1}, {2, 3, 1}, {0, 3, 2}};
    for (const auto& face : f) m.addFace(face, 3);
    return unitScaled(m);
}

// The icosahedron in the classic strip of five caps above and below a band.
SolidMesh icomapMesh() {
    SolidMesh m;
    const double y = 1.0 / std::sqrt(5.0), r = 2.0 / std::sqrt(5.0);
    const double step = 2.0 * std::numbers::pi / 5.0;
    m.vertices.push_back({0, 1, 0});
    for (int i = 0; i < 5; ++i) m.vertices.push_back({r * std::sin(step * i), y, r * std::cos(step * i)});
    for (int i = 0; i < 5; ++i) {
        m.vertices.push_back({r * std::sin(step * (i + 0.5)), -y, r * std::cos(step * (i + 0.5))});
    }
    m.vertices.push_back({0, -1, 0});
    auto U = [](int i) { return 1 + i % 5; };
    auto L = [](int i) { return 6 + i % 5; };
    for (int i = 0; i < 5; ++i) {
        const int a[3] = {0, U(i), U(i + 1)};
        const int b[3] = {U(i), L(i), U(i + 1)};
        const int c[3] = {U(i + 1), L(i), L(i + 1)};
        const int d[3] = {L(i), 11, L(i + 1)};
        m.addFace(a, 3);
        m.addFace(b, 3);
        m.addFace(c, 3);
        m.addFace(d, 3);
    }
    return m;
}

std::unique_ptr<StoredTables> icomapTables() {
    const SolidMesh m = icomapMesh();
    const double h = std::sqrt(3.0) / 2.0;
    std::vector<Vec2d> net;
    for (int i = 0; i < 5; ++i) net.push_back({i + 0.5, 0.0});     // 0..4: north pole copies
    for (int i = 0; i <= 5; ++i) net.push_back({double(i), h});    // 5..10: upper ring
    for (int i = 0; i <= 5; ++i) net.push_back({i + 0.5, 2 * h});  // 11..16: lower ring
    for (int i = 0; i < 5; ++i) net.push_back({i + 1.0, 3 * h});   // 17..21: south pole copies
    std::vector<std::vector<int>> faceNet, faceSolid;
    for (int i = 0; i < 5; ++i) {
        faceNet.push_back({i, 5 + i, 6 + i});
        faceNet.push_back({5 + i, 11 + i, 6 + i});
        faceNet.push_back({6 + i, 11 + i, 12 + i});
        faceNet.push_back({11 + i, 17 + i, 12 + i});
    }
    for (const auto& f : m.faces) faceSolid.push_back(f);
    return sameSenseTables(std::move(net), m, std::move(faceNet), std::move(faceSolid));
}

// The octahedron in a square: the four faces round the vertex ahead make the
// diamond in the middle, the four round the vertex behind fold out into the
// corners, so that the vertex behind is each of the four corners.
SolidMesh squareOctahedronMesh() {
    SolidMesh m;
    m.vertices = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
    for (int k = 0; k < 4; ++k) {
        const int a = 1 + k, b = 1 + (k + 1) % 4;
        const int front[3] = {0, a, b}, back[3] = {a, 5, b};
        m.addFace(front, 3);
        m.addFace(back, 3);
    }
    return m;
}

std::unique_ptr<StoredTables> squareOctahedronTables() {
    const SolidMesh m = squareOctahedronMesh();
    // Net: the centre, the four ring vertices at the middles of the square's
    // sides (up is up), and the four corners.
    std::vector<Vec2d> net = {{0, 0}};
    for (int k = 1; k <= 4; ++k) net.push_back({m.vertices[k].x, -m.vertices[k].y});
    for (int k = 0; k < 4; ++k) {
        const Vec2d a = net[1 + k], b = net[1 + (k + 1) % 4];
        net.push_back({a.x + b.x, a.y + b.y});
    }
    std::vector<std::vector<int>> faceNet, faceSolid;
    for (int k = 0; k < 4; ++k) {
        const int a = 1 + k, b = 1 + (k + 1) % 4;
        faceNet.push_back({0, a, b});
        faceNet.push_back({a, 5 + k, b});
    }
    for (const auto& f : m.faces) faceSolid.push_back(f);
    return sameSenseTables(std::move(net), m, std::move(faceNet), std::move(faceSolid));
}

// Each dodecahedron face cut into a central pentagon and five trapezoids.
std::unique_ptr<StoredTables> dodoTables() {
    const SolidMesh d = dodecahedronMesh();
    UnfoldOptions options;
    options.shareTolerance = 1e-6;
    const UnfoldedNet net = unfoldSolid(d, options);
    std::vector<Vec2d> pos = net.positions;
    std::vector<Vec3d> solid = d.vertices;
    std::vector<std::vector<int>> faceNet, faceSolid;
    for (std::size_t f = 0; f < d.faces.size(); ++f) {
        const auto& nc = net.faceNet[f];
        const auto& sc = d.faces[f];
        if (nc.size() != sc.size()) continue;
        const std::size_t n = nc.size();
        Vec2d cn{};
        Vec3d cs{};
        for (std::size_t k = 0; k < n; ++k) {
            cn = {cn.x + pos[nc[k]].x / n, cn.y + pos[nc[k]].y / n};
            cs = {cs.x + solid[sc[k]].x / n, cs.y + solid[sc[k]].y / n, cs.z + solid[sc[k]].z / n};
        }
        std::vector<int> in, is;
        for (std::size_t k = 0; k < n; ++k) {
            pos.push_back(planeLerp(cn, pos[nc[k]], 0.5));
            in.push_back(static_cast<int>(pos.size()) - 1);
            solid.push_back(lerp(cs, solid[sc[k]], 0.5));
            is.push_back(static_cast<int>(solid.size()) - 1);
        }
        faceNet.push_back(in);
        faceSolid.push_back(is);
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t k1 = (k + 1) % n;
            faceNet.push_back({nc[k], nc[k1], in[k1], in[k]});
            faceSolid.push_back({sc[k], sc[k1], is[k1], is[k]});
        }
    }
    return makeTables(pos, solid, std::move(faceNet), std::move(faceSolid));
}

SolidMesh dodoMesh() {
    const SolidMesh d = dodecahedronMesh();
    SolidMesh m;
    m.vertices = d.vertices;
    for (std::size_t f = 0; f < d.faces.size(); ++f) {
        const auto& sc = d.faces[f];
        const Vec3d cs = faceCentre(d, static_cast<int>(f));
        std::vector<int> is;
        for (int v : sc) {
            m.vertices.push_back(lerp(cs, d.vertices[v], 0.5));
            is.push_back(static_cast<int>(m.vertices.size()) - 1);
        }
        m.addFace(is.data(), static_cast<int>(is.size()));
        for (std::size_t k = 0; k < sc.size(); ++k) {
            const std::size_t k1 = (k + 1) % sc.size();
            const int q[4] = {sc[k], sc[k1], is[k1], is[k]};
            m.addFace(q, 4);
        }
    }
    return m;
}

std::unique_ptr<StoredTables> cubeTables(Lie lie) {
    const SolidMesh m = cubeMesh();
    return unfoldedTables(m, lie, faceFacing(m, {0, 0, 1}));
}

// ---- solids drawn into a square sheet ---------------------------------------------

// A solid drawn onto a sheet: every point of the sheet carries one point of
// the solid; faces are listed by sheet points.
struct SheetDrawing {
    std::vector<Vec2d> sheet;
    std::vector<int> solidOf;  // the solid vertex of each sheet point
    SolidMesh mesh;
    std::vector<std::vector<int>> faceSheet;

    int point(const Vec2d& p, const Vec3d& s) {
        for (std::size_t i = 0; i < sheet.size(); ++i) {
            if (std::hypot(sheet[i].x - p.x, sheet[i].y - p.y) < 1e-12) return static_cast<int>(i);
        }
        sheet.push_back(p);
        solidOf.push_back(mesh.addVertex(s, 1e-12));
        return static_cast<int>(sheet.size()) - 1;
    }
    void face(const std::vector<int>& corners) {
        std::vector<int> solid;
        for (int v : corners) solid.push_back(solidOf[v]);
        faceSheet.push_back(corners);
        mesh.addFace(solid.data(), static_cast<int>(solid.size()));
    }
    // The point a fraction t of the way from sheet point a to b, on the
    // sheet and on the solid.
    int along(int a, int b, double t) {
        return point(planeLerp(sheet[a], sheet[b], t), lerp(mesh.vertices[solidOf[a]], mesh.vertices[solidOf[b]], t));
    }
    // A face with a corner or side `far` and a side `near` (c, d), cut into
    // `n` strips parallel to that side. For a triangle a = b.
    void strips(int a, int b, int c, int d, int n) {
        int pa = a, pb = b;
        for (int i = 1; i <= n; ++i) {
            const int qa = i < n ? along(a, d, double(i) / n) : d, qb = i < n ? along(b, c, double(i) / n) : c;
            if (pa == pb)
                face({pa, qb, qa});
            else
                face({pa, pb, qb, qa});
            pa = qa, pb = qb;
        }
    }
    std::unique_ptr<StoredTables> tables() const;
};

std::unique_ptr<StoredTables> SheetDrawing::tables() const {
    return sameSenseTables(sheet, mesh, faceSheet, mesh.faces);
}

// The sheet's directions round its centre, a quarter turn apart, starting to
// the right (x right, y down on the sheet; the solid's y up).
constexpr std::array<Vec2d, 4> kSheetAxes = {Vec2d{1, 0}, Vec2d{0, -1}, Vec2d{-1, 0}, Vec2d{0, 1}};

// The water bomb: a cube folded from a square sheet. The face round the
// blowing hole (the cube's face ahead) is the diamond in the middle, the four
// sides are the trapezoids round it and the face behind is cut from its
// centre to its corners into four triangles that fill the sheet's corners,
// so that the corners of the sheet meet at its centre. The sides and the
// triangles behind are each cut in four strips along the creases that run
// round the sheet parallel to the diamond.
SheetDrawing waterBombDrawing() {
    SheetDrawing d;
    const double r = std::numbers::sqrt2;  // the cube's edge is 2, turned 45° about the view axis
    std::array<int, 4> front{}, back{};
    for (int k = 0; k < 4; ++k) {
        const Vec2d a = kSheetAxes[k];
        front[k] = d.point({a.x / 2, a.y / 2}, {r * a.x, -r * a.y, 1});
        back[k] = d.point(a, {r * a.x, -r * a.y, -1});
    }
    d.face({front[0], front[1], front[2], front[3]});
    for (int k = 0; k < 4; ++k) {
        const int k1 = (k + 1) % 4;
        d.strips(back[k], back[k1], front[k1], front[k], 4);
        const Vec2d corner = {kSheetAxes[k].x + kSheetAxes[k1].x, kSheetAxes[k].y + kSheetAxes[k1].y};
        const int centre = d.point(corner, {0, 0, -1});
        d.strips(centre, centre, back[k1], back[k], 4);
    }
    return d;
}

// The paperlock: a square sheet locked into a gyroelongated square pyramid
// (a square antiprism capped by a pyramid, every edge of one length). The
// free square end is in the middle, the antiprism's eight triangles round
// it, and the pyramid's four triangles fill the sheet's corners, which all
// meet at the pyramid's apex.
SheetDrawing paperlockDrawing() {
    SheetDrawing d;
    const double radius = 1.0 / std::numbers::sqrt2;  // of a square of edge 1
    const double band = std::pow(2.0, -0.25);         // height of the antiprism of edge 1
    const double cap = 1.0 / std::numbers::sqrt2;     // height of the pyramid of edge 1
    // Heights about the centre of the nine corners.
    const double shift = (4.0 * band - cap) / 9.0;
    const double zEnd = band - shift, zBand = -shift, zApex = -cap - shift;
    std::array<int, 4> end{}, ring{};
    for (int k = 0; k < 4; ++k) {
        const Vec2d a = kSheetAxes[k], b = kSheetAxes[(k + 1) % 4];
        const Vec2d diagonal = {(a.x + b.x) / std::numbers::sqrt2, (a.y + b.y) / std::numbers::sqrt2};
        end[k] = d.point({diagonal.x / 2.8, diagonal.y / 2.8}, {radius * diagonal.x, -radius * diagonal.y, zEnd});
        ring[k] = d.point(a, {radius * a.x, -radius * a.y, zBand});
    }
    d.face({end[0], end[1], end[2], end[3]});
    for (int k = 0; k < 4; ++k) {
        const int k1 = (k + 1) % 4;
        d.face({end[k], end[k1], ring[k1]});
        d.face({ring[k], end[k], ring[k1]});
        const Vec2d corner = {kSheetAxes[k].x + kSheetAxes[k1].x, kSheetAxes[k].y + kSheetAxes[k1].y};
        d.face({ring[k], d.point(corner, {0, 0, zApex}), ring[k1]});
    }
    return d;
}

// The box: a cube drawn in isometric projection, as seen from far away along
// a body diagonal with its top face upwards. The three faces round the corner
// ahead make the regular hexagon of the drawing; each face of the drawing is
// the orthographic picture of its face of the cube, and the sphere is drawn
// on the cube from its centre, so the box shows the half of the sphere on
// those three faces (the directions whose largest coordinate on the cube's
// axes is positive).
SheetDrawing isometricBoxDrawing() {
    SheetDrawing d;
    const Vec3d ahead = normalise(Vec3d{1, 1, 1});
    const Vec3d up = normalise(Vec3d{-1, 2, -1});  // the cube's +y, square to the view
    const Vec3d right = cross(up, ahead);
    auto corner = [&](double x, double y, double z) {
        const Vec3d p{x, y, z};
        // On the drawing x runs right and y down; on the solid the view axis is +z.
        return d.point({dot(p, right), -dot(p, up)}, {dot(p, right), dot(p, up), dot(p, ahead)});
    };
    d.face({corner(1, -1, -1), corner(1, 1, -1), corner(1, 1, 1), corner(1, -1, 1)});
    d.face({corner(-1, 1, -1), corner(-1, 1, 1), corner(1, 1, 1), corner(1, 1, -1)});
    d.face({corner(-1, -1, 1), corner(1, -1, 1), corner(1, 1, 1), corner(-1, 1, 1)});
    return d;
}

SolidMesh waterBombMesh() { return waterBombDrawing().mesh; }
std::unique_ptr<StoredTables> waterBombTables() { return waterBombDrawing().tables(); }
SolidMesh paperlockMesh() { return paperlockDrawing().mesh; }
std::unique_ptr<StoredTables> paperlockTables() { return paperlockDrawing().tables(); }
SolidMesh isometricBoxMesh() { return isometricBoxDrawing().mesh; }
std::unique_ptr<StoredTables> isometricBoxTables() { return isometricBoxDrawing().tables(); }

// ---- the registry ------------------------------------------------------------------

struct FixedSolidRow {
    FixedSolidInfo info;
    SolidMesh (*mesh)();
    std::unique_ptr<StoredTables> (*tables)();
};

template <SolidMesh (*Make)()>
std::unique_ptr<StoredTables> plainNet() {
    return unfoldedTables(Make());
}
std::unique_ptr<StoredTables> horizontalCross() { return cubeTables(Lie::kWide); }
std::unique_ptr<StoredTables> verticalCross() { return cubeTables(Lie::kTall); }

// kind, name, faces, mirrorXY, referenceFace, phaseB, noCornerMarks, circumsphere, convex
const FixedSolidRow kFixedSolids[] = {
    {{0, "deltoidal icositetrahedron", 24, false, -1, false, false, false, true},
     &deltoidalIcositetrahedronMesh,
     &plainNet<&deltoidalIcositetrahedronMesh>},
    {{1, "small rhombicuboctahedron", 26, true, -1, false, false, true, true},
     &smallRhombicuboctahedronMesh,
     &plainNet<&smallRhombicuboctahedronMesh>},
    {{2, "truncated icosahedron", 32, true, -1, false, false, true, true},
     &truncatedIcosahedronMesh,
     &plainNet<&truncatedIcosahedronMesh>},
    {{3, "icosidodecahedron", 32, false, -1, false, false, true, true},
     &icosidodecahedronMesh,
     &plainNet<&icosidodecahedronMesh>},
    {{4, "snub cube", 38, false, -1, false, false, true, true}, &snubCubeMesh, &plainNet<&snubCubeMesh>},
    {{5, "deltoidal hexecontahedron", 60, false, -1, false, false, false, true},
     &deltoidalHexecontahedronMesh,
     &plainNet<&deltoidalHexecontahedronMesh>},
    {{6, "small rhombicosidodecahedron", 62, false, -1, false, false, true, true},
     &smallRhombicosidodecahedronMesh,
     &plainNet<&smallRhombicosidodecahedronMesh>},
    {{7, "cuboctahedron", 14, true, -1, false, false, true, true}, &cuboctahedronMesh, &plainNet<&cuboctahedronMesh>},
    {{8, "rhombic triacontahedron", 30, false, -1, false, false, false, true},
     &rhombicTriacontahedronMesh,
     &plainNet<&rhombicTriacontahedronMesh>},
    {{9, "dodecahedron", 12, false, -1, false, false, true, true}, &dodecahedronMesh, &plainNet<&dodecahedronMesh>},
    {{10, "water bomb", 33, false, -1, false, false, false, true}, &waterBombMesh, &waterBombTables},
    {{11, "paperlock", 13, false, -1, false, false, false, true}, &paperlockMesh, &paperlockTables},
    {{12, "pentagonal icositetrahedron", 24, true, -1, false, false, false, true},
     &pentagonalIcositetrahedronMesh,
     &plainNet<&pentagonalIcositetrahedronMesh>},
    {{13, "spikeball", 60, true, -1, false, false, false, false}, &spikeballMesh, &plainNet<&spikeballMesh>},
    {{16, "tetrahedron", 4, true, -1, false, false, true, true}, &tetrahedronMesh, &tetrahedronTables},
    {{17, "icosahedron strip", 20, false, -1, false, false, true, true}, &icomapMesh, &icomapTables},
    {{18, "cube", 6, true, 4, false, false, true, true}, &cubeMesh, &horizontalCross},
    {{19, "octahedron", 8, true, -1, false, false, true, true}, &octahedronMesh, &plainNet<&octahedronMesh>},
    {{20, "dodo", 72, true, -1, false, false, false, true}, &dodoMesh, &dodoTables},
    {{21, "GID", 132, true, -1, true, false, true, true}, &gidMesh, &plainNet<&gidMesh>},
    {{23, "icosahedron", 20, false, -1, false, false, true, true}, &icosahedronMesh, &plainNet<&icosahedronMesh>},
    {{28, "octahedron in a square", 8, false, -1, false, false, true, true},
     &squareOctahedronMesh,
     &squareOctahedronTables},
    {{29, "isometric box", 3, false, -1, false, true, true, true}, &isometricBoxMesh, &isometricBoxTables},
    {{79, "cube, vertical cross", 6, true, 4, false, false, true, true}, &cubeMesh, &verticalCross},
    {{87, "cube", 6, true, -1, false, false, true, true}, &cubeMesh, &plainNet<&cubeMesh>},
};
constexpr int kFixedSolidCount = static_cast<int>(std::size(kFixedSolids));

int rowOf(PolyKind kind) {
    for (int i = 0; i < kFixedSolidCount; ++i) {
        if (kFixedSolids[i].info.kind == kind) return i;
    }
    return -1;
}

}  // namespace

const FixedSolidInfo* fixedSolidInfo(PolyKind kind) noexcept {
    const int r = rowOf(kind);
    return r < 0 ? nullptr : &kFixedSolids[r].info;
}

const PolyKind* fixedSolidKinds(int& count) noexcept {
    static const auto kinds = [] {
        std::array<PolyKind, kFixedSolidCount> k{};
        for (int i = 0; i < kFixedSolidCount; ++i) k[i] = kFixedSolids[i].info.kind;
        return k;
    }();
    count = kFixedSolidCount;
    return kinds.data();
}

const SolidTables* fixedSolidTables(PolyKind kind) {
    static std::array<std::once_flag, kFixedSolidCount> once;
    static std::array<std::unique_ptr<StoredTables>, kFixedSolidCount> made;
    const int r = rowOf(kind);
    if (r < 0) return nullptr;
    std::call_once(once[r], [r] { made[r] = kFixedSolids[r].tables(); });
    return made[r] ? &made[r]->view : nullptr;
}

SolidMesh fixedSolidMesh(PolyKind kind) {
    const int r = rowOf(kind);
    if (r < 0) return {};
    return kFixedSolids[r].mesh();
}

}  // namespace globaro
