// Every fixed solid and geodesic sphere: closed, flat, Euler, face shapes, a true and single net.

#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>
#include "poly_test_util.h"
#include "polyhedra/fixed_solids.h"
#include "polyhedra/geodesic.h"
#include "polyhedra/poly_spec.h"
#include "polyhedra/poly_summary.h"
#include "projection/catalogue.h"
#include "sphere_lattice.h"

namespace globaro {
namespace {

using testing::newModel;

struct Solid {
    std::string name;
    PolyKind kind;           // a fixed solid, or -1
    ProjectionId geodesic;   // a geodesic sphere's output, or 0
    std::string faces;       // "sides x count" of each face shape, by geometry
    bool uniform;            // every edge the same length (Platonic and Archimedean)
    bool catalan;            // every face touches one insphere
    bool stretched = false;  // a net drawn to a shape, not a development of the solid
    bool open = false;       // a surface with a rim (a disc), not a closed solid
};

void PrintTo(const Solid& s, std::ostream* os) { *os << s.name; }

// clang-format off
const Solid kFixedSolids[] = {
    {"tetrahedron", 16, 0, "3x4", true, false}, {"cube", 18, 0, "4x6", true, false},
    {"cube, upright cross", 79, 0, "4x6", false, false}, {"cube, third net", 87, 0, "4x6", false, false},
    {"octahedron", 19, 0, "3x8", true, false}, {"octahedron in a square", 28, 0, "3x8", true, false, true},
    {"dodecahedron", 9, 0, "5x12", true, false},
    {"icosahedron", 23, 0, "3x20", true, false}, {"icosahedron, icomap", 17, 0, "3x20", true, false},
    {"cuboctahedron", 7, 0, "3x8 4x6", true, false}, {"deltoidal icositetrahedron", 0, 0, "4x24", false, true},
    {"pentagonal icositetrahedron", 12, 0, "5x24", false, true},
    {"small rhombicuboctahedron", 1, 0, "3x8 4x18", true, false},
    {"rhombic triacontahedron", 8, 0, "4x30", false, true}, {"truncated icosahedron", 2, 0, "5x12 6x20", true, false},
    {"icosidodecahedron", 3, 0, "3x20 5x12", true, false}, {"snub cube", 4, 0, "3x32 4x6", true, false},
    {"deltoidal hexecontahedron", 5, 0, "4x60", false, true},
    {"small rhombicosidodecahedron", 6, 0, "3x20 4x30 5x12", true, false},
    {"spikeball", 13, 0, "3x60", false, false}, {"dodo", 20, 0, "4x60 5x12", false, false},
    {"GID", 21, 0, "3x120 5x12", false, false},
    {"water bomb", 10, 0, "3x4 4x29", false, false, true}, {"paperlock", 11, 0, "3x12 4x1", true, false, true},
    {"isometric box", 29, 0, "4x3", true, false, true, true}};
// clang-format on

// The fixed solids, then every geodesic sphere (base faces cut to triangles, each to frequency²).
std::vector<Solid> everySolid() {
    std::vector<Solid> out(std::begin(kFixedSolids), std::end(kFixedSolids));
    const std::map<int, int> trianglesOfBase = {{4, 4}, {6, 24}, {8, 8}, {12, 60}, {20, 20}};
    for (const OutputProjectionInfo& info : outputProjections()) {
        const auto g = geodesicSphereOf(info.id);
        if (!g) continue;
        const int faces = trianglesOfBase.at(g->baseFaces) * g->frequency * g->frequency;
        out.push_back({std::string(info.name), -1, info.id, "3x" + std::to_string(faces), false, false});
    }
    return out;
}

class Solids : public ::testing::TestWithParam<Solid> {
protected:
    void SetUp() override {
        const Solid& s = GetParam();
        if (s.geodesic != 0) {
            ASSERT_EQ(
                preparePolyModel(s.geodesic, *m_, 0.5f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1), 0);
        } else {
            m_->frameHeight = 0.5f;  // a frame twice as wide as high
            ASSERT_EQ(testing::build(*m_, s.kind), kPolyOk);
        }
        ASSERT_GT(m_->faceCount, 0);
    }
    Vec3d row(int r) const {
        return {m_->netSolidPositions[3 * r], m_->netSolidPositions[3 * r + 1], m_->netSolidPositions[3 * r + 2]};
    }
    Vec3d corner(int f, int k) const { return row(m_->faces[f].solidCorners[k]); }
    // The normal by the corners' order (Newell's method).
    Vec3d turn(int f) const {
        const PolyFace& face = m_->faces[f];
        Vec3d n{0, 0, 0};
        for (int k = 0; k < face.solidCornerCount; ++k) {
            const Vec3d a = corner(f, k), b = corner(f, (k + 1) % face.solidCornerCount);
            n = {n.x + (a.y - b.y) * (a.z + b.z), n.y + (a.z - b.z) * (a.x + b.x), n.z + (a.x - b.x) * (a.y + b.y)};
        }
        return normalise(n);
    }
    Vec3d centre(int f) const {
        Vec3d c{0, 0, 0};
        for (int k = 0; k < m_->faces[f].solidCornerCount; ++k) c = sum3(c, corner(f, k), Vec3d{0, 0, 0});
        return c;
    }
    // The normal turned away from the solid's centre.
    Vec3d normal(int f) const {
        const Vec3d n = turn(f);
        return dot(n, centre(f)) < 0 ? negate(n) : n;
    }
    bool convex() const {
        const FixedSolidInfo* info = fixedSolidInfo(GetParam().kind);
        return GetParam().geodesic != 0 || (info != nullptr && info->convex);
    }
    testing::ModelPtr m_ = newModel();
};

TEST_P(Solids, ClosedFlatAndEuler) {
    const PolyModel& m = *m_;
    int edges = 0, rim = 0;
    std::map<int, int> shapes;
    std::set<std::tuple<long, long, long>> vertices;
    for (int f = 0; f < m.faceCount; ++f) {
        const PolyFace& face = m.faces[f];
        ++shapes[face.solidCornerCount];
        for (int k = 0; k < face.cornerCount; ++k, ++edges) {
            const int g = face.neighbourFace[k];
            rim += g < 0;
            if (g < 0 && GetParam().open) continue;
            ASSERT_GE(g, 0) << "face " << f << " edge " << k << " is open";
            bool back = false;
            for (int j = 0; j < m.faces[g].cornerCount; ++j) back = back || m.faces[g].neighbourFace[j] == f;
            ASSERT_TRUE(back) << "face " << g << " does not point back to " << f;
        }
        const Vec3d n = normal(f);
        const double d = dot(n, corner(f, 0));
        for (int k = 0; k < face.solidCornerCount; ++k) {
            ASSERT_NEAR(dot(n, corner(f, k)), d, 1e-6) << "face " << f;
            const Vec3d p = corner(f, k);
            vertices.insert({std::lround(p.x * 1e6), std::lround(p.y * 1e6), std::lround(p.z * 1e6)});
        }
        // One handedness for every face (the net test shows which).
        EXPECT_EQ(dot(turn(f), centre(f)) > 0, dot(turn(0), centre(0)) > 0) << "face " << f;
    }
    EXPECT_EQ(int(vertices.size()) - (edges + rim) / 2 + m.faceCount, GetParam().open ? 1 : 2);
    const PolyModelSummary summary = summarisePolyModel(m);
    EXPECT_TRUE(summary.faces == m.faceCount && summary.pieces >= 1);
    EXPECT_TRUE(GetParam().geodesic == 0 || summary.pieces == m.pieceCount) << "pieces of the unfolding";
    std::string got;
    for (const auto& [sides, count] : shapes)
        got += (got.empty() ? "" : " ") + std::to_string(sides) + "x" + std::to_string(count);
    EXPECT_EQ(got, GetParam().faces);
}

TEST_P(Solids, SpheresEdgesAndFaces) {
    const PolyModel& m = *m_;
    const FixedSolidInfo* info = fixedSolidInfo(GetParam().kind);
    if (GetParam().geodesic != 0 || info->hasCircumsphere) {
        const double r = GetParam().geodesic != 0 ? 1.0 : length(row(0));
        for (int i = 0; i < m.solidRowCount; ++i) ASSERT_NEAR(length(row(i)), r, 1e-6);
    }
    double edge = -1.0, inradius = -1.0;
    for (int f = 0; f < m.faceCount; ++f) {
        const int n = m.faces[f].solidCornerCount;
        for (int k = 0; k < n; ++k) {
            for (int i = 0; info != nullptr && info->convex && i < m.solidRowCount; ++i)  // vertices inside every face
                ASSERT_LE(dot(normal(f), row(i)), dot(normal(f), corner(f, 0)) + 1e-6) << "face " << f;
            const double e = length(difference(corner(f, k), corner(f, (k + 1) % n)));
            if (edge < 0) edge = e;
            EXPECT_TRUE(!GetParam().uniform || std::fabs(e - edge) < 1e-6) << "face " << f << ": edge " << e;
        }
        const double r = dot(normal(f), corner(f, 0));
        if (inradius < 0) inradius = r;
        EXPECT_TRUE(!GetParam().catalan || std::fabs(r - inradius) < 1e-6) << "face " << f << ": inradius " << r;
    }
    EXPECT_TRUE(info == nullptr || (m.flags.hasValley != 0) == !info->convex) << "valleys of a fixed solid";
}

// Net faces never overlap, sides keep one scale, triangles are positive in the net, clockwise on the solid.
TEST_P(Solids, NetIsFlatTrueToScaleAndTurnsLikeTheSolid) {
    const PolyModel& m = *m_;
    std::vector<std::vector<Vec2d>> outlines;
    std::vector<std::array<double, 4>> boxes;
    double scale = -1.0;
    for (int f = 0; f < m.faceCount; ++f) {
        outlines.push_back(testing::netOutline(m, f));
        std::array<double, 4> b = {1e9, -1e9, 1e9, -1e9};
        for (const Vec2d& p : outlines.back())
            b = {std::min(b[0], p.x), std::max(b[1], p.x), std::min(b[2], p.y), std::max(b[3], p.y)};
        boxes.push_back(b);
        const PolyFace& face = m.faces[f];
        for (int k = 0; k < face.cornerCount; ++k) {
            const NetVertex& a = m.vertices[face.corners[k]];
            const NetVertex& b2 = m.vertices[face.corners[(k + 1) % face.cornerCount]];
            const double ratio = std::hypot(a.netX - b2.netX, a.netY - b2.netY) /
                                 length(difference(testing::solidOf(a), testing::solidOf(b2)));
            if (scale < 0.0) scale = ratio;
            ASSERT_TRUE(GetParam().geodesic != 0 || GetParam().stretched || std::fabs(ratio - scale) < 2e-4 * scale)
                << "face " << f;
        }
    }
    for (int f = 0; f < m.faceCount; ++f)
        for (int g = f + 1; g < m.faceCount; ++g) {
            if (boxes[f][1] <= boxes[g][0] || boxes[g][1] <= boxes[f][0] || boxes[f][3] <= boxes[g][2] ||
                boxes[g][3] <= boxes[f][2])
                continue;
            ASSERT_FALSE(outlinesOverlap(outlines[f], outlines[g], 1e-6)) << "faces " << f << " and " << g;
        }
    int triangles = 0;
    for (int t = 0; t < m.triangleCount; ++t) {
        const NetTriangle& tri = m.triangles[t];
        if (tri.isMark) continue;
        ++triangles;
        const NetVertex &a = m.vertices[tri.a], &b = m.vertices[tri.b], &c = m.vertices[tri.c];
        ASSERT_GT((b.netX - a.netX) * (c.netY - a.netY) - (b.netY - a.netY) * (c.netX - a.netX), 0.0);
        ASSERT_LT(testing::det3(testing::solidOf(a), testing::solidOf(b), testing::solidOf(c)), 0.0);
    }
    int expected = 0;
    for (int f = 0; f < m.faceCount; ++f) expected += m.faces[f].cornerCount - 2;
    EXPECT_EQ(triangles, expected);
}

// A convex solid covers every direction once; the lookup finds the face, with and without the sweep.
TEST_P(Solids, ConvexSolidsCoverEveryDirectionOnce) {
    if (!convex() || GetParam().open) return;
    const PolyModel& m = *m_;
    PolyJobState job;
    buildSweepList(m, job);
    const auto dirs = testing::fibonacciSphere(600);
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        const Vec3d d = toVec3d(dirs[i]);
        int within = 0, inside = 0, face = -1;
        for (int t = 0; t < m.triangleCount; ++t) {
            const NetTriangle& tri = m.triangles[t];
            if (tri.isMark || tri.hidden) continue;
            Vec3d c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = normalise(Vec3d{tri.solid[3 * k], tri.solid[3 * k + 1], tri.solid[3 * k + 2]});
            const double depth =
                std::min({-dot(d, cross(c[0], c[1])), -dot(d, cross(c[1], c[2])), -dot(d, cross(c[2], c[0]))});
            if (depth >= -1e-9) ++within, face = tri.face;
            if (depth > 1e-9) ++inside;
        }
        ASSERT_GE(within, 1) << "a hole at direction " << i;
        ASSERT_LE(inside, 1) << "an overlap at direction " << i;
        if (i % 4 != 0) continue;
        InverseHit plain, listed;
        ASSERT_TRUE(inverseLookup(m, dirs[i], nullptr, plain));
        ASSERT_TRUE(inverseLookup(m, dirs[i], &job, listed));
        EXPECT_TRUE(plain.w0 >= -1e-4f && plain.w1 >= -1e-4f && plain.w2 >= -1e-4f);
        EXPECT_TRUE(plain.u >= -1e-5f && plain.u <= 1.0f + 1e-5f);
        EXPECT_TRUE(within != 1 || (plain.face == face && listed.face == face)) << "direction " << i;
    }
}

// A net point maps to a unit direction through its own face: inside every edge plane, in front.
TEST_P(Solids, NetPointsLandOnTheirOwnFace) {
    const PolyModel& m = *m_;
    PolyJobState job;
    buildSweepList(m, job);
    testing::Lcg rng;
    int hits = 0;
    for (int i = 0; i < 600; ++i) {
        SphereDir dir{};
        const NetHit hit = netPointToSphere(m, job, float(rng.next()), float(rng.next()) * m.frameHeight, dir);
        if (hit.kind != NetHitKind::kFace) continue;
        ++hits;
        const Vec3d d = toVec3d(dir);
        ASSERT_NEAR(length(d), 1.0, 1e-5);
        const PolyFace& f = m.faces[hit.face];
        const Vec3d c = normalise(Vec3d{f.centre[0], f.centre[1], f.centre[2]});
        for (int k = 0; k < f.cornerCount; ++k) {
            const Vec3d side = cross(normalise(testing::solidOf(m.vertices[f.corners[k]])),
                                     normalise(testing::solidOf(m.vertices[f.corners[(k + 1) % f.cornerCount]])));
            ASSERT_GE(dot(d, side) * (dot(c, side) > 0 ? 1.0 : -1.0), -1e-5) << "face " << hit.face << " edge " << k;
        }
        ASSERT_GT(dot(d, c), 0.0);
        // And back: a net point showing the same direction (itself unless on a shared edge).
        InverseHit back;
        ASSERT_TRUE(inverseLookup(m, dir, &job, back));
        SphereDir again{};
        ASSERT_EQ(netPointToSphere(m, job, back.netX, back.netY, again).kind, NetHitKind::kFace);
        ASSERT_LT(length(difference(toVec3d(again), d)), 4e-4);
        ASSERT_TRUE(std::fabs(back.u - back.netX) <= 1e-6 && std::fabs(back.v - back.netY / m.frameHeight) <= 1e-5)
            << back.u << " " << back.v;  // fractions of the fitted frame
    }
    EXPECT_GT(hits, 60);
}

// Every mode and fit builds; fits fill the binding axis, centred; one tab per glued pair; sweep = brute force.
TEST_P(Solids, ModesFitsTabsAndLookups) {
    PolyModel& m = *m_;
    const PolyKind kind = m.kind;
    for (std::uint16_t mode = 0; mode <= 6; ++mode) {
        for (std::uint32_t fit = 0; fit <= (mode == kPolyModeNet ? 2u : 0u); ++fit) {
            m.tabSize = 0.01f;
            ASSERT_EQ(testing::build(m, kind, mode, fit, 0.5), 0) << "mode " << mode;
            EXPECT_EQ(m.triangleCount >= m.faceCount, mode != kPolyModeSetUpOnly) << "mode " << mode;
            for (int t = 0; t < m.triangleCount; ++t)
                ASSERT_TRUE(m.triangles[t].invDet != 0.0f && m.triangles[t].minX <= m.triangles[t].maxX);
        }
    }
    for (float h : {0.5f, 2.0f}) {
        m.frameHeight = h, m.tabSize = 0.01f;
        ASSERT_EQ(testing::build(m, kind), 0);
        float minX = 9, maxX = -9, minY = 9, maxY = -9;
        for (int v = 0; v < m.vertexCount; ++v) {
            if (!m.vertexUsed[v]) continue;
            minX = std::min(minX, m.vertices[v].netX), maxX = std::max(maxX, m.vertices[v].netX);
            minY = std::min(minY, m.vertices[v].netY), maxY = std::max(maxY, m.vertices[v].netY);
        }
        EXPECT_TRUE(minX >= -1e-5f && maxX <= 1 + 1e-5f && minY >= -1e-5f && maxY <= h + 1e-5f);
        const float fill = m.fitAxis == 1 ? maxX - minX - 1.0f : maxY - minY - h;
        EXPECT_LT(std::max({std::fabs(fill), std::fabs(minX + maxX - 1.0f), std::fabs(minY + maxY - h)}), 1e-5f) << h;
    }
    int boundary = 0;
    for (int f = 0; f < m.faceCount; ++f) {
        const PolyFace& face = m.faces[f];
        for (int k = 0; k < face.cornerCount; ++k) {
            if (face.neighbourFace[k] < 0 && ++boundary) continue;  // the rim of an open surface
            const int pair = face.tabMark[k] + m.faces[face.neighbourFace[k]].tabMark[face.neighbourEdge[k]];
            ASSERT_EQ(face.netNeighbour[k] >= 0 ? face.tabMark[k] : pair, face.netNeighbour[k] >= 0 ? 0 : 1)
                << "face " << f << " side " << k;
            boundary += face.netNeighbour[k] < 0;
        }
    }
    EXPECT_GT(boundary, 0);
    PolyJobState job;
    buildSweepList(m, job);
    testing::Lcg rng;
    for (int i = 0; i < 600; ++i) {
        const float x = float(rng.next() * 1.2 - 0.1), y = float(rng.next() * 2.2 - 0.1);
        const NetHit hit = locateTriangle(m, job, x, y);
        int brute = -1;
        float b0, b1, b2;
        for (int t = 0; t < m.triangleCount && brute < 0; ++t)
            if (!m.triangles[t].isMark && triangleContains(m.triangles[t], m, x, y, b0, b1, b2)) brute = t;
        ASSERT_EQ(hit.kind == NetHitKind::kFace, brute >= 0) << "at " << x << ", " << y;
        if (brute < 0) continue;
        ASSERT_TRUE(triangleContains(m.triangles[hit.triangle], m, x, y, b0, b1, b2));
        EXPECT_TRUE(std::fabs(hit.b0 + hit.b1 + hit.b2 - 1.0f) <= 1e-4f && hit.face == m.triangles[hit.triangle].face);
    }
}

INSTANTIATE_TEST_SUITE_P(EverySolid, Solids, ::testing::ValuesIn(everySolid()), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

TEST(Solids, TheTableHoldsEveryFixedSolid) {
    int count = 0;
    const PolyKind* kinds = fixedSolidKinds(count);
    for (int i = 0; i < count; ++i)
        EXPECT_TRUE(std::any_of(std::begin(kFixedSolids), std::end(kFixedSolids),
                                [&](const Solid& s) { return s.kind == kinds[i]; }))
            << "kind " << kinds[i];
}

}  // namespace
}  // namespace globaro
