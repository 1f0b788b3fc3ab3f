// Globe gore outputs: golden gore centres, gore counts, gores drawn, misses
// between the lenses, seams between neighbouring gores, fold mode.

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "output_test_support.h"

namespace globaro {
namespace {

using testing::contextFor;
using testing::directionAt;
using testing::distance;
using testing::sampleAt;

TEST(OutputGores, CentreOfTheFirstGoreOfTwelve) {
    // gores 12 on a 2:1 image: the middle of the first gore on the equator is
    // the equirectangular position u = 1/24, v = 0.5.
    const auto ctx = contextFor(36, 1, 1200, 600);
    const RenderCell c = sampleAt(*ctx, 1.0 / 24.0, 0.5);
    EXPECT_NEAR(c.inputU, 1.0 / 24.0, 1e-5);
    // The equator row starts its latitude iteration at 5e-5 rad: v 0.5000159.
    EXPECT_NEAR(c.inputV, 0.5, 2e-5);
    EXPECT_EQ(c.regionTag, 1);
    EXPECT_EQ(c.faceIndex, 1);
}

TEST(OutputGores, EachGoreShowsItsBandOfLongitude) {
    for (ProjectionId id : {36, 37, 1044}) {
        const auto ctx = contextFor(id, 1, 1200, 600);
        const int n = static_cast<int>(ctx->goreCount);
        for (int k = 0; k < n; ++k) {
            const double a = (k + 0.5) / n;
            for (double b : {0.2, 0.5, 0.8}) {
                const RenderCell c = sampleAt(*ctx, a, b);
                ASSERT_EQ(c.regionTag, k + 1) << id << " gore " << k;
                EXPECT_NEAR(c.inputU, a, 1e-4) << id << " gore " << k;
            }
        }
    }
}

TEST(OutputGores, IdentityWithTheTwelveGoreInput) {
    const auto ctx = contextFor(36, 12, 1200, 600, 1200, 600);
    int hits = 0;
    for (int i = 0; i < 60; ++i) {
        for (int j = 0; j < 30; ++j) {
            const double a = (i + 0.37) / 60.0;
            const double b = (j + 0.29) / 30.0;
            const RenderCell c = sampleAt(*ctx, a, b);
            if (c.subTag != 0) continue;
            ++hits;
            ASSERT_NEAR(c.inputU, a, 2e-4) << a << ", " << b;
            ASSERT_NEAR(c.inputV, b, 2e-4) << a << ", " << b;
        }
    }
    EXPECT_GT(hits, 1000);
}

TEST(OutputGores, GoreCounts) {
    EXPECT_EQ(contextFor(36, 1, 200, 100)->goreCount, 12.0f);
    EXPECT_EQ(contextFor(37, 1, 200, 100)->goreCount, 24.0f);
    EXPECT_EQ(contextFor(1044, 1, 200, 100)->goreCount, 18.0f);
    EXPECT_EQ(contextFor(53, 1, 200, 100)->goreCount, 12.0f);
    EXPECT_EQ(contextFor(61, 1, 200, 100)->goreCount, 12.0f);
    // gores multi: ⌊fov/5⌋, at least 3.
    EXPECT_EQ(contextFor(38, 1, 200, 100, 2000, 1000, 10.0f)->goreCount, 3.0f);
    EXPECT_EQ(contextFor(38, 1, 200, 100, 2000, 1000, 180.0f)->goreCount, 36.0f);
    EXPECT_EQ(contextFor(38, 1, 200, 100, 2000, 1000, 62.0f)->goreCount, 12.0f);
}

std::set<std::int32_t> tagsOver(const RenderContext& ctx) {
    std::set<std::int32_t> tags;
    for (int i = 0; i <= 120; ++i) {
        for (int j = 0; j <= 60; ++j) {
            const RenderCell c = sampleAt(ctx, i / 120.0, j / 60.0);
            if (c.regionTag != kTagEmpty) tags.insert(c.regionTag);
        }
    }
    return tags;
}

TEST(OutputGores, PartialLayoutsDrawOnlyTheirGores) {
    EXPECT_EQ(tagsOver(*contextFor(61, 1, 300, 600)), (std::set<std::int32_t>{6, 7, 8}));
    EXPECT_EQ(tagsOver(*contextFor(53, 1, 600, 600)), (std::set<std::int32_t>{4, 5, 6, 7, 8, 9}));
    std::set<std::int32_t> all;
    for (int k = 1; k <= 12; ++k) all.insert(k);
    EXPECT_EQ(tagsOver(*contextFor(36, 1, 1200, 600)), all);
}

TEST(OutputGores, GoresMultiDrawsAGoreForEveryFiveDegreesOfFov) {
    // fov 10 draws the minimum of 3 gores, fov 180 draws 36.
    EXPECT_EQ(tagsOver(*contextFor(38, 1, 1200, 600, 2000, 1000, 10.0f)), (std::set<std::int32_t>{1, 2, 3}));
    std::set<std::int32_t> all;
    for (int k = 1; k <= 36; ++k) all.insert(k);
    EXPECT_EQ(tagsOver(*contextFor(38, 1, 1200, 600, 2000, 1000, 180.0f)), all);
}

TEST(OutputGores, BetweenTwoGoresNearThePolesIsAMiss) {
    const auto ctx = contextFor(36, 1, 1200, 600);
    SphereDir d;
    EXPECT_FALSE(directionAt(*ctx, 1.0 / 12.0, 0.08, d));
    EXPECT_FALSE(directionAt(*ctx, 1.0 / 12.0, 0.92, d));
    EXPECT_TRUE(directionAt(*ctx, 1.0 / 24.0, 0.08, d));
}

TEST(OutputGores, NeighbouringGoresMeetOnTheEquator) {
    const auto ctx = contextFor(36, 1, 1200, 600);
    for (int k = 0; k < 11; ++k) {
        const double edge = (k + 1) / 12.0;
        // The innermost hits on both sides of the border.
        SphereDir left{}, right{};
        bool foundLeft = false, foundRight = false;
        for (int i = 1; i < 200 && !foundLeft; ++i) foundLeft = directionAt(*ctx, edge - i * 1e-5, 0.5, left);
        for (int i = 1; i < 200 && !foundRight; ++i) foundRight = directionAt(*ctx, edge + i * 1e-5, 0.5, right);
        ASSERT_TRUE(foundLeft && foundRight) << k;
        EXPECT_LT(distance(left, right), 2e-3f) << k;
    }
}

TEST(OutputGores, GoresFoldAfterTheRotationWithAnamorphosis) {
    SettingsRecord s = testing::plainSettings(36, 1);
    s.anamorphosis = 1;
    auto ctx = std::make_unique<RenderContext>();
    setupRenderContext(*ctx, s, RenderSizes{200, 100, 200, 100});
    EXPECT_EQ(ctx->foldMode, kFoldAfterRotation);
}

TEST(OutputGores, EveryHitIsUnitAndTaggedByItsGore) {
    for (ProjectionId id : {36, 37, 38, 53, 61, 1044}) {
        const auto ctx = contextFor(id, 1, 600, 300, 2000, 1000, 100.0f);
        for (int i = 0; i <= 60; ++i) {
            for (int j = 0; j <= 30; ++j) {
                SphereDir d;
                if (!directionAt(*ctx, i / 60.0, j / 30.0, d)) continue;
                ASSERT_NEAR(testing::length(d), 1.0f, 1e-4f) << id;
                const RenderCell c = sampleAt(*ctx, i / 60.0, j / 30.0);
                ASSERT_GE(c.regionTag, 1) << id;
                ASSERT_LE(c.regionTag, static_cast<int>(ctx->goreCount)) << id;
            }
        }
    }
}

}  // namespace
}  // namespace globaro
