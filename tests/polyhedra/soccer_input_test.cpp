// The "soccer" input projection: a source image laid out as the "soccer ball"
// net, read back through the model's inverse lookup.

#include "polyhedra/soccer_input_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "poly_test_util.h"
#include "projection/input_projection.h"
#include "sphere_lattice.h"

namespace globaro {
namespace {

using testing::Lcg;
using testing::ModelPtr;

ModelPtr soccerModel(float aspect) { return ModelPtr(prepareSoccerInputModel(aspect)); }

TEST(SoccerInputModel, IsTheSoccerBallNetInTheImagesFrame) {
    auto m = soccerModel(0.5f);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->errorCode, kPolyOk);
    EXPECT_EQ(m->kind, polySpecFor(kSoccerBallOutput).kind);
    EXPECT_EQ(m->faceCount, 32);
    EXPECT_EQ(m->cacheKey.id, kSoccerBallOutput);
    EXPECT_EQ(m->frameHeight, 0.5f);
    EXPECT_EQ(m->cacheKey.mode, static_cast<std::uint32_t>(kPolyModeNet));
    // The net fills the frame along its binding axis and stays inside it.
    EXPECT_GE(m->boundsMinX, -1e-6f);
    EXPECT_LE(m->boundsMaxX, 1.0f + 1e-6f);
    EXPECT_GE(m->boundsMinY, -1e-6f);
    EXPECT_LE(m->boundsMaxY, 0.5f + 1e-6f);
    EXPECT_TRUE(std::fabs(m->boundsMaxX - m->boundsMinX - 1.0f) < 1e-5f ||
                std::fabs(m->boundsMaxY - m->boundsMinY - 0.5f) < 1e-5f);
}

TEST(SoccerInputModel, RebuildsOnlyWhenTheAspectChanges) {
    auto m = soccerModel(0.5f);
    ASSERT_NE(m, nullptr);
    m->errorCode = 77;  // survives as long as nothing is rebuilt
    EXPECT_EQ(refreshSoccerInputModel(*m, 0.5f), 0);
    EXPECT_EQ(m->errorCode, 77);
    refreshSoccerInputModel(*m, 0.75f);
    EXPECT_EQ(m->errorCode, kPolyOk);
    EXPECT_EQ(m->frameHeight, 0.75f);
    // A single-face selection left in the model does not apply to the input.
    m->selectedFace = 3;
    m->errorCode = 77;
    refreshSoccerInputModel(*m, 0.75f);
    EXPECT_EQ(m->errorCode, 77);
    EXPECT_EQ(m->selectedFace, -1);
    // Unusable aspects count as 1.
    refreshSoccerInputModel(*m, std::nanf(""));
    EXPECT_EQ(m->frameHeight, 1.0f);
    refreshSoccerInputModel(*m, -2.0f);
    EXPECT_EQ(m->frameHeight, 1.0f);
    EXPECT_EQ(m->faceCount, 32);
}

TEST(SoccerInputModel, FailedAllocationGivesNoModel) {
    const PolyAllocator failing{[](std::size_t) -> void* { return nullptr; }, [](void*) {}};
    EXPECT_EQ(prepareSoccerInputModel(0.5f, failing), nullptr);
}

// A net point carried to the sphere by the model and read back by the input
// lands where it started.
TEST(SoccerInput, NetPointToSphereAndBackIsTheSamePosition) {
    for (float aspect : {0.5f, 1.0f, 0.3f}) {
        auto m = soccerModel(aspect);
        ASSERT_NE(m, nullptr);
        PolyJobState job;
        buildSweepList(*m, job);
        Lcg rng;
        int checked = 0, sameFace = 0;
        for (int i = 0; i < 1500; ++i) {
            const float x = static_cast<float>(rng.next());
            const float y = static_cast<float>(rng.next()) * aspect;
            SphereDir d{};
            const NetHit hit = netPointToSphere(*m, job, x, y, d);
            if (hit.kind != NetHitKind::kFace) continue;
            ++checked;
            const InputSample s = sphereToInput(kInputSoccer, 0, aspect, d, m.get());
            ASSERT_FALSE(s.miss) << aspect << " " << x << " " << y;
            EXPECT_EQ(s.faceIndex, -1);
            ASSERT_GE(s.regionCode, 3u);
            ASSERT_LT(s.regionCode, 3u + 32u);
            if (s.regionCode == static_cast<std::uint32_t>(hit.face) + 3u) {
                ++sameFace;
                EXPECT_NEAR(s.u, x, 2e-4) << aspect;
                EXPECT_NEAR(s.v, y / aspect, 2e-4 / aspect) << aspect;
            }
            // On a seam of the net the other copy of the edge may answer: it
            // shows the same direction.
            SphereDir again{};
            ASSERT_EQ(netPointToSphere(*m, job, s.u, s.v * aspect, again).kind, NetHitKind::kFace);
            EXPECT_NEAR(again.x, d.x, 2e-4);
            EXPECT_NEAR(again.y, d.y, 2e-4);
            EXPECT_NEAR(again.z, d.z, 2e-4);
            // The mirror is the last step.
            const InputSample f = sphereToInput(kInputSoccer, 1, aspect, d, m.get());
            EXPECT_FLOAT_EQ(f.u, 1.0f - s.u);
            EXPECT_EQ(f.v, s.v);
            EXPECT_EQ(f.regionCode, s.regionCode);
        }
        EXPECT_GT(checked, 100) << aspect;
        EXPECT_GT(sameFace, checked * 95 / 100) << aspect;
    }
}

// Every direction is found in the net, at a point of the image that the
// model carries back to the same direction.
TEST(SoccerInput, EveryDirectionMapsIntoTheNet) {
    const float aspect = 0.5f;
    auto m = soccerModel(aspect);
    ASSERT_NE(m, nullptr);
    PolyJobState job;
    buildSweepList(*m, job);
    int perFace[32] = {};
    for (const SphereDir& d : testing::fibonacciSphere(4000)) {
        const InputSample s = sphereToInput(kInputSoccer, 0, aspect, d, m.get());
        ASSERT_FALSE(s.miss);
        ASSERT_GE(s.u, 0.0f);
        ASSERT_LE(s.u, 1.0f);
        ASSERT_GE(s.v, 0.0f);
        ASSERT_LE(s.v, 1.0f);
        ASSERT_GE(s.regionCode, 3u);
        ASSERT_LT(s.regionCode, 35u);
        ++perFace[s.regionCode - 3];
        SphereDir back{};
        const NetHit hit = netPointToSphere(*m, job, s.u, s.v * aspect, back);
        ASSERT_EQ(hit.kind, NetHitKind::kFace);
        EXPECT_NEAR(back.x, d.x, 2e-4);
        EXPECT_NEAR(back.y, d.y, 2e-4);
        EXPECT_NEAR(back.z, d.z, 2e-4);
    }
    for (int f = 0; f < 32; ++f) EXPECT_GT(perFace[f], 0) << f;
    // The lattice's opposite directions land on different faces.
    const InputSample north = sphereToInput(kInputSoccer, 0, aspect, SphereDir{0, 1, 0}, m.get());
    const InputSample south = sphereToInput(kInputSoccer, 0, aspect, SphereDir{0, -1, 0}, m.get());
    EXPECT_NE(north.regionCode, south.regionCode);
}

TEST(SoccerInput, DirectionsOutsideEveryFaceMissAtTheOrigin) {
    const float aspect = 0.5f;
    // No model, and a model that was never built: nothing is found.
    const InputSample none = sphereToInput(kInputSoccer, 0, aspect, SphereDir{0, 0, 1}, nullptr);
    EXPECT_TRUE(none.miss);
    EXPECT_EQ(none.u, 0.0f);
    EXPECT_EQ(none.v, 0.0f);
    EXPECT_EQ(none.regionCode, InputSample::kDefaultRegionCode);
    ModelPtr empty(createPolyModel());
    ASSERT_NE(empty, nullptr);
    const InputSample unbuilt = sphereToInput(kInputSoccer, 1, aspect, SphereDir{0, 0, 1}, empty.get());
    EXPECT_TRUE(unbuilt.miss);
    EXPECT_EQ(unbuilt.u, 0.0f);
    EXPECT_EQ(unbuilt.v, 0.0f);

    // Hide one face: the directions through it now lie outside the net.
    auto m = soccerModel(aspect);
    ASSERT_NE(m, nullptr);
    const int hidden = 5;
    const NetTriangle& first = m->triangles[m->faces[hidden].firstTriangle];
    ASSERT_EQ(first.face, hidden);
    const SphereDir inside = triangleToSolid(*m, m->faces[hidden].firstTriangle, 0.34f, 0.33f, 0.33f, 0.0f, 0.0f);
    const InputSample before = sphereToInput(kInputSoccer, 0, aspect, inside, m.get());
    ASSERT_FALSE(before.miss);
    EXPECT_EQ(before.regionCode, static_cast<std::uint32_t>(hidden + 3));
    for (int t = 0; t < m->triangleCount; ++t) {
        if (m->triangles[t].face == hidden) m->triangles[t].hidden = 1;
    }
    int misses = 0, hits = 0;
    for (const SphereDir& d : testing::fibonacciSphere(2000)) {
        const InputSample s = sphereToInput(kInputSoccer, 0, aspect, d, m.get());
        if (s.miss) {
            ++misses;
            EXPECT_EQ(s.u, 0.0f);
            EXPECT_EQ(s.v, 0.0f);
            EXPECT_EQ(s.regionCode, InputSample::kDefaultRegionCode);
        } else {
            ++hits;
            EXPECT_NE(s.regionCode, static_cast<std::uint32_t>(hidden + 3));
        }
    }
    EXPECT_GT(misses, 0);
    EXPECT_GT(hits, misses);
    const InputSample after = sphereToInput(kInputSoccer, 1, aspect, inside, m.get());
    EXPECT_TRUE(after.miss);
    EXPECT_EQ(after.u, 0.0f);  // the mirror leaves a miss alone
    // A direction that is not a number is a miss as well.
    EXPECT_TRUE(sphereToInput(kInputSoccer, 0, aspect, SphereDir{std::nanf(""), 0, 1}, m.get()).miss);
}

}  // namespace
}  // namespace globaro
