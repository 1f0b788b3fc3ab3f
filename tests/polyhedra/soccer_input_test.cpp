// The "soccer" input: a source laid out as the "soccer ball" net, read through the inverse lookup.

#include <gtest/gtest.h>
#include <cmath>
#include <tuple>
#include "poly_test_util.h"
#include "polyhedra/soccer_input_model.h"
#include "projection/input_projection.h"
#include "sphere_lattice.h"

namespace globaro {
namespace {

using testing::Lcg;
using testing::ModelPtr;

ModelPtr soccerModel(float aspect) { return ModelPtr(prepareSoccerInputModel(aspect)); }

double gap(const SphereDir& a, const SphereDir& b) { return length(difference(toVec3d(a), toVec3d(b))); }

TEST(SoccerInputModel, IsTheSoccerBallNetInTheImagesFrameRebuiltOnlyForANewAspect) {
    const PolyAllocator failing{[](std::size_t) -> void* { return nullptr; }, [](void*) {}};
    EXPECT_EQ(prepareSoccerInputModel(0.5f, failing), nullptr);
    auto m = soccerModel(0.5f);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(
        std::tuple(m->errorCode, m->kind, m->faceCount, m->cacheKey.id, m->cacheKey.mode),
        std::tuple(kPolyOk, polySpecFor(kSoccerBallOutput).kind, 32, kSoccerBallOutput, std::uint32_t(kPolyModeNet)));
    // The net fills the frame along its binding axis and stays inside it.
    EXPECT_TRUE(m->boundsMinX >= -1e-6f && m->boundsMaxX <= 1.0f + 1e-6f && m->boundsMinY >= -1e-6f &&
                m->boundsMaxY <= 0.5f + 1e-6f);
    EXPECT_TRUE(std::fabs(m->boundsMaxX - m->boundsMinX - 1.0f) < 1e-5f ||
                std::fabs(m->boundsMaxY - m->boundsMinY - 0.5f) < 1e-5f);
    m->errorCode = 77;  // survives as long as nothing is rebuilt
    EXPECT_EQ(std::pair(refreshSoccerInputModel(*m, 0.5f), m->errorCode), std::pair(0, 77));
    refreshSoccerInputModel(*m, 0.75f);
    EXPECT_TRUE(m->errorCode == kPolyOk && m->frameHeight == 0.75f);
    m->selectedFace = 3, m->errorCode = 77;  // a single-face selection does not apply to the input
    refreshSoccerInputModel(*m, 0.75f);
    EXPECT_TRUE(m->errorCode == 77 && m->selectedFace == -1);
    for (float unusable : {std::nanf(""), -2.0f}) {
        refreshSoccerInputModel(*m, unusable);
        EXPECT_EQ(m->frameHeight, 1.0f);  // counts as 1
    }
    EXPECT_EQ(m->faceCount, 32);
}

// Directions and net points round trip (or land on a seam edge's other copy); the mirror is last.
TEST(SoccerInput, DirectionsAndNetPointsRoundTrip) {
    for (float aspect : {0.5f, 1.0f, 0.3f}) {
        SCOPED_TRACE(aspect);
        auto m = soccerModel(aspect);
        ASSERT_NE(m, nullptr);
        PolyJobState job;
        buildSweepList(*m, job);
        int perFace[32] = {};
        for (const SphereDir& d : testing::fibonacciSphere(1500)) {
            const InputSample s = sphereToInput(kInputSoccer, 0, aspect, d, m.get());
            ASSERT_TRUE(!s.miss && s.u >= 0.0f && s.u <= 1.0f && s.v >= 0.0f && s.v <= 1.0f && s.regionCode >= 3u &&
                        s.regionCode < 35u);
            ++perFace[s.regionCode - 3];
            SphereDir back{};
            ASSERT_EQ(netPointToSphere(*m, job, s.u, s.v * aspect, back).kind, NetHitKind::kFace);
            EXPECT_LT(gap(back, d), 3.5e-4);
        }
        for (int f = 0; f < 32; ++f) EXPECT_GT(perFace[f], 0) << f;
        Lcg rng;
        int checked = 0, sameFace = 0;
        for (int i = 0; i < 1500; ++i) {
            const float x = static_cast<float>(rng.next()), y = static_cast<float>(rng.next()) * aspect;
            SphereDir d{};
            const NetHit hit = netPointToSphere(*m, job, x, y, d);
            if (hit.kind != NetHitKind::kFace) continue;
            ++checked;
            const InputSample s = sphereToInput(kInputSoccer, 0, aspect, d, m.get());
            ASSERT_TRUE(!s.miss && s.faceIndex == -1) << x << " " << y;
            const bool same = s.regionCode == static_cast<std::uint32_t>(hit.face) + 3u;
            sameFace += same;
            EXPECT_TRUE(!same || (std::fabs(s.u - x) <= 2e-4 && std::fabs(s.v * aspect - y) <= 2e-4)) << x << " " << y;
            SphereDir again{};
            ASSERT_EQ(netPointToSphere(*m, job, s.u, s.v * aspect, again).kind, NetHitKind::kFace);
            EXPECT_LT(gap(again, d), 3.5e-4);
            const InputSample f = sphereToInput(kInputSoccer, 1, aspect, d, m.get());
            EXPECT_TRUE(std::fabs(f.u - (1.0f - s.u)) <= 1e-6f && f.v == s.v && f.regionCode == s.regionCode);
        }
        EXPECT_TRUE(checked > 100 && sameFace > checked * 95 / 100) << checked << " " << sameFace;
    }
}

TEST(SoccerInput, DirectionsOutsideEveryFaceMissAtTheOrigin) {
    const float aspect = 0.5f;
    // No model, and a model that was never built: nothing is found.
    const auto missesAtTheOrigin = [](const InputSample& s) {
        return s.miss && s.u == 0.0f && s.v == 0.0f && s.regionCode == InputSample::kDefaultRegionCode;
    };
    EXPECT_TRUE(missesAtTheOrigin(sphereToInput(kInputSoccer, 0, aspect, SphereDir{0, 0, 1}, nullptr)));
    ModelPtr empty(createPolyModel());
    EXPECT_TRUE(missesAtTheOrigin(sphereToInput(kInputSoccer, 1, aspect, SphereDir{0, 0, 1}, empty.get())));
    // Hide one face: the directions through it now lie outside the net.
    auto m = soccerModel(aspect);
    ASSERT_NE(m, nullptr);
    const int hidden = 5;
    ASSERT_EQ(m->triangles[m->faces[hidden].firstTriangle].face, hidden);
    const SphereDir inside = triangleToSolid(*m, m->faces[hidden].firstTriangle, 0.34f, 0.33f, 0.33f, 0.0f, 0.0f);
    const InputSample before = sphereToInput(kInputSoccer, 0, aspect, inside, m.get());
    ASSERT_TRUE(!before.miss && before.regionCode == static_cast<std::uint32_t>(hidden + 3));
    for (int t = 0; t < m->triangleCount; ++t) m->triangles[t].hidden = m->triangles[t].face == hidden;
    int misses = 0, hits = 0;
    for (const SphereDir& d : testing::fibonacciSphere(2000)) {
        const InputSample s = sphereToInput(kInputSoccer, 0, aspect, d, m.get());
        (s.miss ? misses : hits) += 1;
        EXPECT_TRUE(s.miss ? missesAtTheOrigin(s) : s.regionCode != static_cast<std::uint32_t>(hidden + 3));
    }
    EXPECT_TRUE(misses > 0 && hits > misses) << misses << " " << hits;
    EXPECT_TRUE(missesAtTheOrigin(sphereToInput(kInputSoccer, 1, aspect, inside, m.get())));  // the mirror too
    // A direction that is not a number is a miss as well.
    EXPECT_TRUE(sphereToInput(kInputSoccer, 0, aspect, SphereDir{std::nanf(""), 0, 1}, m.get()).miss);
}

}  // namespace
}  // namespace globaro
