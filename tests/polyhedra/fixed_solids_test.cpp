// The fixed solids as data: true geometry, closed surfaces, and nets that
// neither overlap nor distort.

#include "polyhedra/fixed_solids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "poly_test_util.h"

namespace globaro {
namespace {

using testing::build;
using testing::newModel;

std::vector<PolyKind> allFixedKinds() {
    int n = 0;
    const PolyKind* k = fixedSolidKinds(n);
    return std::vector<PolyKind>(k, k + n);
}

std::map<int, int> sidesHistogram(const SolidMesh& m) {
    std::map<int, int> h;
    for (const auto& f : m.faces) ++h[static_cast<int>(f.size())];
    return h;
}

TEST(FixedSolids, FaceCountsMatchTheRegistry) {
    const std::map<PolyKind, int> expected = {{16, 4},  {18, 6},  {79, 6},  {87, 6},  {19, 8},  {9, 12},
                                              {23, 20}, {17, 20}, {7, 14},  {0, 24},  {12, 24}, {1, 26},
                                              {8, 30},  {2, 32},  {3, 32},  {4, 38},  {5, 60},  {13, 60},
                                              {6, 62},  {20, 72}, {21, 132}};
    for (const auto& [kind, faces] : expected) {
        const FixedSolidInfo* info = fixedSolidInfo(kind);
        ASSERT_NE(info, nullptr) << kind;
        EXPECT_EQ(info->faceCount, faces) << kind;
        EXPECT_EQ(static_cast<int>(fixedSolidMesh(kind).faces.size()), faces) << kind;
        EXPECT_EQ(fixedSolidTables(kind)->faceCount, faces) << kind;
    }
    EXPECT_EQ(fixedSolidInfo(22), nullptr);
    EXPECT_EQ(fixedSolidTables(-1), nullptr);
}

TEST(FixedSolids, FaceShapesOfEachSolid) {
    using H = std::map<int, int>;
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(7)), (H{{3, 8}, {4, 6}}));              // cuboctahedron
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(0)), (H{{4, 24}}));                     // deltoidal icositetrahedron
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(12)), (H{{5, 24}}));                    // pentagonal icositetrahedron
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(1)), (H{{3, 8}, {4, 18}}));             // small rhombicuboctahedron
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(8)), (H{{4, 30}}));                     // rhombic triacontahedron
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(2)), (H{{5, 12}, {6, 20}}));            // truncated icosahedron
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(3)), (H{{3, 20}, {5, 12}}));            // icosidodecahedron
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(4)), (H{{3, 32}, {4, 6}}));             // snub cube
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(5)), (H{{4, 60}}));                     // deltoidal hexecontahedron
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(6)), (H{{3, 20}, {4, 30}, {5, 12}}));   // small rhombicosidodecahedron
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(13)), (H{{3, 60}}));                    // spikeball
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(20)), (H{{4, 60}, {5, 12}}));           // dodo
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(21)), (H{{3, 120}, {5, 12}}));          // GID
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(9)), (H{{5, 12}}));
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(23)), (H{{3, 20}}));
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(17)), (H{{3, 20}}));
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(18)), (H{{4, 6}}));
    EXPECT_EQ(sidesHistogram(fixedSolidMesh(19)), (H{{3, 8}}));
}

TEST(FixedSolids, ClosedPlanarSurfacesObeyEuler) {
    for (PolyKind kind : allFixedKinds()) {
        const SolidMesh m = fixedSolidMesh(kind);
        const auto use = testing::edgeUse(m);
        for (const auto& [edge, count] : use) EXPECT_EQ(count, 2) << "kind " << kind;
        const int v = static_cast<int>(m.vertices.size());
        const int e = static_cast<int>(use.size());
        const int f = static_cast<int>(m.faces.size());
        EXPECT_EQ(v - e + f, 2) << "kind " << kind;
        for (int i = 0; i < f; ++i) {
            const Vec3d n = normalise(faceNormal(m, i));
            const double d = dot(n, m.vertices[m.faces[i][0]]);
            for (int c : m.faces[i]) EXPECT_NEAR(dot(n, m.vertices[c]), d, 1e-9) << "kind " << kind;
            // Anticlockwise seen from outside.
            EXPECT_GT(dot(n, faceCentre(m, i)), 0.0) << "kind " << kind;
        }
    }
}

TEST(FixedSolids, VerticesOnTheCircumsphereAndConvexity) {
    for (PolyKind kind : allFixedKinds()) {
        const FixedSolidInfo* info = fixedSolidInfo(kind);
        const SolidMesh m = fixedSolidMesh(kind);
        if (info->hasCircumsphere) {
            const double r = length(m.vertices[0]);
            for (const Vec3d& p : m.vertices) EXPECT_NEAR(length(p), r, 1e-12) << "kind " << kind;
        }
        if (info->convex) {
            for (std::size_t i = 0; i < m.faces.size(); ++i) {
                const Vec3d n = normalise(faceNormal(m, static_cast<int>(i)));
                const double d = dot(n, m.vertices[m.faces[i][0]]);
                for (const Vec3d& p : m.vertices) EXPECT_LE(dot(n, p), d + 1e-9) << "kind " << kind;
            }
        }
    }
}

TEST(FixedSolids, UniformSolidsHaveEqualEdges) {
    for (PolyKind kind : {9, 23, 17, 18, 19, 7, 1, 2, 3, 4, 6}) {
        const SolidMesh m = fixedSolidMesh(kind);
        const auto use = testing::edgeUse(m);
        const double first = length(difference(m.vertices[use.begin()->first.first],
                                               m.vertices[use.begin()->first.second]));
        for (const auto& [edge, count] : use) {
            EXPECT_NEAR(length(difference(m.vertices[edge.first], m.vertices[edge.second])), first, 1e-12)
                << "kind " << kind;
        }
    }
}

TEST(FixedSolids, CatalanSolidsHaveAnInsphere) {
    for (PolyKind kind : {0, 12, 8, 5}) {
        const SolidMesh m = fixedSolidMesh(kind);
        const Vec3d n0 = normalise(faceNormal(m, 0));
        const double r = dot(n0, m.vertices[m.faces[0][0]]);
        for (std::size_t i = 0; i < m.faces.size(); ++i) {
            const Vec3d n = normalise(faceNormal(m, static_cast<int>(i)));
            EXPECT_NEAR(dot(n, m.vertices[m.faces[i][0]]), r, 1e-12) << "kind " << kind;
        }
    }
}

TEST(FixedSolids, SpikeballHasValleysAndConvexSolidsNone) {
    auto m = newModel();
    build(*m, 13);
    EXPECT_TRUE(m->flags.hasValley);
    for (PolyKind kind : {2, 9, 21, 4}) {
        build(*m, kind);
        EXPECT_FALSE(m->flags.hasValley) << kind;
    }
}

TEST(FixedSolidNets, NetsDoNotOverlapAndKeepTheSolidsShape) {
    auto m = newModel();
    for (PolyKind kind : allFixedKinds()) {
        ASSERT_EQ(build(*m, kind, kPolyModeNet, kFitNone), 0) << kind;
        ASSERT_EQ(m->faceCount, fixedSolidInfo(kind)->faceCount);
        int expectedTriangles = 0;
        for (int f = 0; f < m->faceCount; ++f) expectedTriangles += m->faces[f].cornerCount - 2;
        EXPECT_EQ(m->triangleCount, expectedTriangles) << kind;
        for (int f = 0; f < m->faceCount; ++f) {
            const auto a = testing::netOutline(*m, f);
            for (int g = f + 1; g < m->faceCount; ++g) {
                EXPECT_FALSE(outlinesOverlap(a, testing::netOutline(*m, g), 1e-5))
                    << "kind " << kind << " faces " << f << " " << g;
            }
        }
        // Every net side is the solid side at one common scale.
        double scale = -1.0;
        for (int f = 0; f < m->faceCount; ++f) {
            const PolyFace& face = m->faces[f];
            for (int k = 0; k < face.cornerCount; ++k) {
                const NetVertex& a = m->vertices[face.corners[k]];
                const NetVertex& b = m->vertices[face.corners[(k + 1) % face.cornerCount]];
                const double net = std::hypot(a.netX - b.netX, a.netY - b.netY);
                const double solid = length(difference(testing::solidOf(a), testing::solidOf(b)));
                if (scale < 0.0) scale = net / solid;
                EXPECT_NEAR(net / solid, scale, 2e-4 * scale) << "kind " << kind << " face " << f;
            }
        }
    }
}

TEST(FixedSolidNets, NetAndSolidTurnTheSameWay) {
    // Every face triangle with a positive area in the net has its stored
    // solid corners clockwise seen from outside (det < 0): one handedness for
    // every net.
    auto m = newModel();
    for (PolyKind kind : allFixedKinds()) {
        build(*m, kind, kPolyModeNet, kFitNone);
        for (int t = 0; t < m->triangleCount; ++t) {
            const NetTriangle& tri = m->triangles[t];
            if (tri.isMark) continue;
            const NetVertex &a = m->vertices[tri.a], &b = m->vertices[tri.b], &c = m->vertices[tri.c];
            const double area = (b.netX - a.netX) * (c.netY - a.netY) - (b.netY - a.netY) * (c.netX - a.netX);
            EXPECT_GT(area, 0.0) << kind;
            EXPECT_LT(testing::det3(testing::solidOf(a), testing::solidOf(b), testing::solidOf(c)), 0.0) << kind;
        }
    }
}

TEST(FixedSolidNets, TetrahedronFromItsTable) {
    auto m = newModel();
    build(*m, 16, kPolyModeNet, kFitNone);
    EXPECT_EQ(m->faceCount, 4);
    EXPECT_EQ(m->vertexCount, 6);
    EXPECT_EQ(m->triangleCount, 4);
    // The three outer corners carry the same solid point.
    for (int v : {3, 5}) {
        EXPECT_FLOAT_EQ(m->vertices[v].solidX, m->vertices[0].solidX);
        EXPECT_FLOAT_EQ(m->vertices[v].solidY, m->vertices[0].solidY);
        EXPECT_FLOAT_EQ(m->vertices[v].solidZ, m->vertices[0].solidZ);
    }
    // The net positions are the table's.
    EXPECT_FLOAT_EQ(m->vertices[1].netX, 0.372868f);
    EXPECT_FLOAT_EQ(m->vertices[5].netY, 0.440399f);
    // Closed: every solid edge has a neighbour.
    for (int f = 0; f < 4; ++f) {
        for (int k = 0; k < 3; ++k) EXPECT_GE(m->faces[f].neighbourFace[k], 0);
    }
}

TEST(FixedSolidNets, CubeCrossesLieAcrossAndUpright) {
    auto m = newModel();
    build(*m, 18, kPolyModeNet, kFitNone);
    const float w18 = m->boundsMaxX - m->boundsMinX, h18 = m->boundsMaxY - m->boundsMinY;
    EXPECT_NEAR(w18 / h18, 4.0f / 3.0f, 1e-4f);
    build(*m, 79, kPolyModeNet, kFitNone);
    const float w79 = m->boundsMaxX - m->boundsMinX, h79 = m->boundsMaxY - m->boundsMinY;
    EXPECT_NEAR(h79 / w79, 4.0f / 3.0f, 1e-4f);
    EXPECT_EQ(m->referenceFace, 4);
}

TEST(FixedSolidNets, IcomapIsTheFiveCapStrip) {
    auto m = newModel();
    build(*m, 17, kPolyModeNet, kFitNone);
    EXPECT_EQ(m->vertexCount, 22);
    const float w = m->boundsMaxX - m->boundsMinX, h = m->boundsMaxY - m->boundsMinY;
    EXPECT_NEAR(h / w, 3.0f * std::sqrt(3.0f) / 2.0f / 5.5f, 1e-4f);
}

}  // namespace
}  // namespace globaro
