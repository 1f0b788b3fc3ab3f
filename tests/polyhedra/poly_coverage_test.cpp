// Whole-sphere properties of the built models: the faces of a closed solid
// cover every direction exactly once, net points land on their own face of
// the solid, and a model is rebuilt only when its request changes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "poly_test_util.h"
#include "polyhedra/fixed_solids.h"
#include "polyhedra/geodesic.h"
#include "polyhedra/poly_model.h"
#include "sphere_lattice.h"

namespace globaro {
namespace {

using testing::build;
using testing::Lcg;
using testing::newModel;

// The convex fixed solids and every geodesic sphere.
std::vector<PolyKind> closedConvexKinds() {
    std::vector<PolyKind> out;
    int n = 0;
    const PolyKind* kinds = fixedSolidKinds(n);
    for (int i = 0; i < n; ++i) {
        const FixedSolidInfo* info = fixedSolidInfo(kinds[i]);
        if (info != nullptr && info->convex) out.push_back(kinds[i]);
    }
    for (PolyKind k = 0; k < 400; ++k) {
        PolyKind base;
        int frequency;
        if (geodesicParams(k, base, frequency)) out.push_back(k);
    }
    return out;
}

Vec3d cornerOf(const NetTriangle& t, int i) {
    return normalise(Vec3d{t.solid[3 * i], t.solid[3 * i + 1], t.solid[3 * i + 2]});
}

// The cone of one face triangle seen from the centre: its three side planes
// (from unit corners; the sign follows the model's own inside test) and a
// bounding cap for a quick reject.
struct Cone {
    Vec3d side[3];
    Vec3d axis;
    double capCos;
    int face;
};

std::vector<Cone> conesOf(const PolyModel& m) {
    std::vector<Cone> out;
    for (int t = 0; t < m.triangleCount; ++t) {
        const NetTriangle& tri = m.triangles[t];
        if (tri.isMark || tri.hidden) continue;
        const Vec3d a = cornerOf(tri, 0), b = cornerOf(tri, 1), c = cornerOf(tri, 2);
        Cone k;
        k.side[0] = negate(cross(a, b));
        k.side[1] = negate(cross(b, c));
        k.side[2] = negate(cross(c, a));
        k.axis = normalise(sum3(a, b, c));
        k.capCos = std::min({dot(k.axis, a), dot(k.axis, b), dot(k.axis, c)}) - 1e-6;
        k.face = tri.face;
        out.push_back(k);
    }
    return out;
}

// How far inside the cone d lies: the least of the three side values.
double coneDepth(const Cone& k, const Vec3d& d) {
    return std::min({dot(d, k.side[0]), dot(d, k.side[1]), dot(d, k.side[2])});
}

TEST(PolyCoverage, ClosedSolidsCoverEveryDirectionExactlyOnce) {
    const auto kinds = closedConvexKinds();
    ASSERT_GE(kinds.size(), 30u);
    const auto dirs = testing::fibonacciSphere(1500);
    auto m = newModel();
    for (PolyKind kind : kinds) {
        ASSERT_EQ(build(*m, kind), kPolyOk) << kind;
        ASSERT_GT(m->triangleCount, 0) << kind;
        PolyJobState job;
        buildSweepList(*m, job);
        const std::vector<Cone> cones = conesOf(*m);
        int looked = 0;
        for (std::size_t i = 0; i < dirs.size(); ++i) {
            const Vec3d d = toVec3d(dirs[i]);
            int within = 0, strictlyInside = 0, face = -1;
            for (const Cone& k : cones) {
                if (dot(d, k.axis) < k.capCos) continue;
                const double depth = coneDepth(k, d);
                if (depth >= -1e-9) {
                    ++within;
                    face = k.face;
                }
                if (depth > 1e-9) ++strictlyInside;
            }
            // Covered (no holes) and by no more than one triangle (no overlaps).
            ASSERT_GE(within, 1) << "kind " << kind << " direction " << i;
            ASSERT_LE(strictlyInside, 1) << "kind " << kind << " direction " << i;
            // The inverse lookup finds it, with and without the job's list
            // (on a quarter of the lattice, spread over the whole sphere: each
            // lookup here walks the triangle list).
            if (i % 4 != 0) continue;
            ++looked;
            InverseHit plain, listed;
            ASSERT_TRUE(inverseLookup(*m, dirs[i], nullptr, plain)) << "kind " << kind << " direction " << i;
            ASSERT_TRUE(inverseLookup(*m, dirs[i], &job, listed)) << "kind " << kind << " direction " << i;
            if (within == 1) {
                EXPECT_EQ(plain.face, face) << "kind " << kind;
                EXPECT_EQ(listed.face, face) << "kind " << kind;
            }
            const NetTriangle& found = m->triangles[plain.triangle];
            EXPECT_FALSE(found.isMark);
            EXPECT_EQ(found.face, plain.face);
        }
        EXPECT_EQ(job.inverseHits, static_cast<std::uint32_t>(looked)) << kind;
        EXPECT_EQ(job.inverseMisses, 0u) << kind;
    }
}

// Each point of a net face maps to a unit direction through the same face of
// the solid.
TEST(PolyCoverage, NetPointsLandOnTheirOwnFaceOfTheSolid) {
    auto m = newModel();
    for (PolyKind kind : closedConvexKinds()) {
        ASSERT_EQ(build(*m, kind), kPolyOk) << kind;
        PolyJobState job;
        buildSweepList(*m, job);
        Lcg rng;
        int hits = 0;
        for (int i = 0; i < 600; ++i) {
            const float x = static_cast<float>(rng.next());
            const float y = static_cast<float>(rng.next());
            SphereDir dir{};
            const NetHit hit = netPointToSphere(*m, job, x, y, dir);
            if (hit.kind != NetHitKind::kFace) continue;
            ++hits;
            const Vec3d d = toVec3d(dir);
            ASSERT_NEAR(length(d), 1.0, 1e-5) << kind;
            // The solid polygon of the face the net point lies in.
            const PolyFace& f = m->faces[hit.face];
            ASSERT_GE(f.cornerCount, 3);
            std::vector<Vec3d> corners;
            for (int k = 0; k < f.cornerCount; ++k) {
                corners.push_back(normalise(testing::solidOf(m->vertices[f.corners[k]])));
            }
            const Vec3d centre = normalise(Vec3d{f.centre[0], f.centre[1], f.centre[2]});
            for (std::size_t k = 0; k < corners.size(); ++k) {
                const Vec3d side = cross(corners[k], corners[(k + 1) % corners.size()]);
                const double centreSide = dot(centre, side);
                // d lies on the centre's side of every edge plane of the face.
                EXPECT_GE(dot(d, side) * (centreSide > 0 ? 1.0 : -1.0), -1e-5)
                    << "kind " << kind << " face " << hit.face << " edge " << k;
            }
            // And in front of the face, not behind the centre.
            EXPECT_GT(dot(d, centre), 0.0) << kind;
        }
        EXPECT_GT(hits, 60) << kind;
    }
}

// Every field of the request is part of the key: a repeat does nothing, a
// change of any one field rebuilds.
TEST(PolyCoverage, ModelIsRebuiltOnlyWhenTheKeyChanges) {
    struct Request {
        ProjectionId id = 9;
        float frameHeight = 0.5f;
        float tabSize = 0.01f;
        std::uint32_t param = 0;
        float angle = 0.0f;
        std::uint32_t mode = kPolyModeNet;
        std::uint8_t flagA = 0;
        std::uint8_t flagB = 1;
    };
    auto prepare = [](PolyModel& m, const Request& r) {
        return preparePolyModel(r.id, m, r.frameHeight, r.tabSize, r.param, r.angle, r.mode, r.flagA,
                                defaultPolyAllocator(), r.flagB);
    };
    auto rebuilds = [&](PolyModel& m, const Request& r) {
        m.errorCode = 77;  // a fresh build clears it
        prepare(m, r);
        return m.errorCode != 77;
    };
    auto m = newModel();
    const Request base;
    prepare(*m, base);
    EXPECT_FALSE(rebuilds(*m, base));
    EXPECT_FALSE(rebuilds(*m, base));
    std::vector<Request> changed(7, base);
    changed[0].id = 10;
    changed[1].param = kFitNone;
    changed[2].angle = 0.25f;
    changed[3].mode = kPolyModeSolid;
    changed[4].flagA = 1;
    changed[5].flagB = 0;
    changed[6].frameHeight = 0.75f;
    for (std::size_t i = 0; i < changed.size(); ++i) {
        ASSERT_TRUE(rebuilds(*m, changed[i])) << i;
        EXPECT_FALSE(rebuilds(*m, changed[i])) << i;  // now cached
        EXPECT_TRUE(rebuilds(*m, base)) << i;         // the key holds only the last request
        EXPECT_FALSE(rebuilds(*m, base)) << i;
    }
    // Lookups and sweep lists leave the key alone.
    PolyJobState job;
    buildSweepList(*m, job);
    SphereDir d{};
    netPointToSphere(*m, job, 0.5f, 0.25f, d);
    InverseHit hit;
    inverseLookup(*m, d, &job, hit);
    EXPECT_FALSE(rebuilds(*m, base));
}

}  // namespace
}  // namespace globaro
