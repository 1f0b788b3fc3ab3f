// The geodesic spheres: counts, closed surfaces on the unit sphere, net
// angles and nets without overlaps.

#include "polyhedra/geodesic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>

#include "poly_test_util.h"
#include "projection/catalogue.h"

namespace globaro {
namespace {

using testing::newModel;

int baseTriangles(PolyKind base) {
    switch (base) {
        case 16: return 4;
        case 18: return 24;
        case 19: return 8;
        case 9: return 60;
        case 17: return 20;
        default: return 0;
    }
}

TEST(Geodesic, KindsAndFrequencies) {
    PolyKind base;
    int m;
    ASSERT_TRUE(geodesicParams(88, base, m));
    EXPECT_EQ(base, 16);
    EXPECT_EQ(m, 2);
    ASSERT_TRUE(geodesicParams(92, base, m));
    EXPECT_EQ(base, 18);
    EXPECT_EQ(m, 1);
    ASSERT_TRUE(geodesicParams(105, base, m));
    EXPECT_EQ(base, 9);
    EXPECT_EQ(m, 5);
    ASSERT_TRUE(geodesicParams(109, base, m));
    EXPECT_EQ(base, 17);
    EXPECT_EQ(m, 5);
    EXPECT_FALSE(geodesicParams(87, base, m));
    EXPECT_FALSE(geodesicParams(110, base, m));
}

TEST(Geodesic, AllTwentyTwoSpheresAreClosedAndOnTheUnitSphere) {
    auto model = newModel();
    int count = 0;
    for (ProjectionId id = 177; id <= 198; ++id) {
        const PolySpec spec = polySpecFor(id);
        PolyKind base;
        int freq;
        ASSERT_TRUE(geodesicParams(spec.kind, base, freq)) << id;
        model->selectedFace = -1;
        ASSERT_EQ(preparePolyModel(id, *model, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1), 0)
            << id;
        const PolyModel& m = *model;
        EXPECT_EQ(m.faceCount, baseTriangles(base) * freq * freq) << id;
        EXPECT_EQ(m.pieceCount, 1) << id;
        // Closed: every edge has exactly one neighbour across it, and the
        // neighbour points back.
        int edges = 0;
        for (int f = 0; f < m.faceCount; ++f) {
            for (int k = 0; k < 3; ++k) {
                const int g = m.faces[f].neighbourFace[k];
                const int e = m.faces[f].neighbourEdge[k];
                ASSERT_GE(g, 0) << id;
                EXPECT_EQ(m.faces[g].neighbourFace[e], f) << id;
                EXPECT_EQ(m.faces[g].neighbourEdge[e], k) << id;
                ++edges;
            }
        }
        // Euler: V - E + F = 2.
        EXPECT_EQ(m.solidRowCount - edges / 2 + m.faceCount, 2) << id;
        for (int r = 0; r < m.solidRowCount; ++r) {
            const Vec3d p{m.netSolidPositions[3 * r], m.netSolidPositions[3 * r + 1], m.netSolidPositions[3 * r + 2]};
            EXPECT_NEAR(length(p), 1.0, 1e-6) << id;
        }
        EXPECT_EQ(m.kind, spec.kind);
        EXPECT_EQ(m.errorCode, 0);
        ++count;
    }
    EXPECT_EQ(count, 22);
}

TEST(Geodesic, NamedCounts) {
    auto m = newModel();
    preparePolyModel(181, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1);
    EXPECT_EQ(m->faceCount, 24);
    EXPECT_EQ(m->solidRowCount, 14);
    preparePolyModel(194, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1);
    EXPECT_EQ(m->faceCount, 1500);
    EXPECT_EQ(m->solidRowCount, 752);
    preparePolyModel(198, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1);
    EXPECT_EQ(m->faceCount, 500);
    preparePolyModel(190, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1);
    EXPECT_EQ(m->faceCount, 60);
}

TEST(Geodesic, CubeCentresLieOnTheSphere) {
    // "geodesic 6 | 1": the cube's faces cut at their centres, pushed out.
    auto m = newModel();
    preparePolyModel(181, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1);
    int axisPoints = 0;
    for (int r = 0; r < m->solidRowCount; ++r) {
        const double x = m->netSolidPositions[3 * r], y = m->netSolidPositions[3 * r + 1],
                     z = m->netSolidPositions[3 * r + 2];
        if (std::fabs(std::fabs(x) + std::fabs(y) + std::fabs(z) - 1.0) < 1e-6) ++axisPoints;
    }
    EXPECT_EQ(axisPoints, 6);
}

TEST(Geodesic, NetAnglesAndNames) {
    EXPECT_FLOAT_EQ(polySpecFor(177).angle, 0.958185792f);
    EXPECT_EQ(polySpecFor(194).angle, 0.0f);
    EXPECT_EQ(polySpecFor(177).source, kPolySourceRecordAngle);
    EXPECT_EQ(outputProjectionName(177), "geodesic 4 | 2");
    EXPECT_EQ(outputProjectionName(198), "geodesic 20 | 5");
}

TEST(Geodesic, NetsDoNotOverlap) {
    auto m = newModel();
    for (ProjectionId id : {177, 182, 187, 191, 196, 194}) {
        preparePolyModel(id, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1);
        std::vector<std::vector<Vec2d>> outlines;
        std::vector<std::array<double, 4>> boxes;
        for (int f = 0; f < m->faceCount; ++f) {
            outlines.push_back(testing::netOutline(*m, f));
            std::array<double, 4> b = {1e9, -1e9, 1e9, -1e9};
            for (const Vec2d& p : outlines.back()) {
                b = {std::min(b[0], p.x), std::max(b[1], p.x), std::min(b[2], p.y), std::max(b[3], p.y)};
            }
            boxes.push_back(b);
        }
        for (int f = 0; f < m->faceCount; ++f) {
            for (int g = f + 1; g < m->faceCount; ++g) {
                if (boxes[f][1] <= boxes[g][0] || boxes[g][1] <= boxes[f][0] || boxes[f][3] <= boxes[g][2] ||
                    boxes[g][3] <= boxes[f][2]) {
                    continue;
                }
                ASSERT_FALSE(outlinesOverlap(outlines[f], outlines[g], 1e-6)) << id << " " << f << " " << g;
            }
        }
    }
}

int gLive = 0;
void* countedAllocate(std::size_t bytes) {
    ++gLive;
    return std::malloc(bytes);
}
void countedRelease(void* p) {
    --gLive;
    std::free(p);
}

TEST(Geodesic, OwnedTablesGoBackToTheirAllocator) {
    const PolyAllocator counted{&countedAllocate, &countedRelease};
    gLive = 0;
    PolyModel* m = createPolyModel();  // the model from the default heap
    preparePolyModel(186, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, counted, 1);
    EXPECT_EQ(gLive, 1);  // the owned tables; the temporary models are gone
    EXPECT_EQ(m->faceCount, 32);
    preparePolyModel(6, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, counted, 1);
    EXPECT_EQ(gLive, 0);  // a fixed solid frees them at set-up
    preparePolyModel(187, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, counted, 1);
    releasePolyModel(m);
    EXPECT_EQ(gLive, 0);
}

TEST(Geodesic, FailedAllocationLeavesNoFaces) {
    PolyAllocator failing{[](std::size_t) -> void* { return nullptr; }, [](void*) {}};
    auto m = newModel();
    preparePolyModel(185, *m, 1.0f, 0.0f, 0, 0.0f, kPolyModeNet, 0, failing, 1);
    EXPECT_EQ(m->faceCount, 0);
    EXPECT_EQ(m->triangleCount, 0);
    testing::Lcg rng;
    PolyJobState job;
    buildSweepList(*m, job);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(locateTriangle(*m, job, static_cast<float>(rng.next()), static_cast<float>(rng.next())).kind,
                  NetHitKind::kMiss);
    }
}

}  // namespace
}  // namespace globaro
