// The basic output projections: golden directions, identity pairs with the
// matching input projections, unit directions and misses.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "output_test_support.h"
#include "projection/catalogue.h"
#include "projection/input_projection.h"
#include "render/render_setup.h"

namespace globaro {
namespace {

using testing::contextFor;
using testing::directionAt;
using testing::distance;
using testing::sampleAt;
using testing::unit;

constexpr float kTol = 2e-5f;

// ---- golden directions ----------------------------------------------------------------

struct GoldenDirection {
    const char* source;  // where the number comes from
    ProjectionId output;
    int width, height;
    float fov;
    double a, b;
    bool hit;
    SphereDir expected;
};

// Numbers from the edge cases and formulas of the basic projections and the
// sphere frame (+z the centre, +x a quarter turn left, +y north).
const GoldenDirection kGolden[] = {
    {"equirectangular 2:1: centre looks at +z", 1, 200, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"equirectangular: left edge meets the back", 1, 200, 100, 90, 0.0, 0.5, true, {0, 0, -1}},
    {"equirectangular: right edge meets the back", 1, 200, 100, 90, 1.0, 0.5, true, {0, 0, -1}},
    {"equirectangular: top edge is the north pole", 1, 200, 100, 90, 0.3, 0.0, true, {0, 1, 0}},
    {"equirectangular: a quarter from the left is +x", 1, 200, 100, 90, 0.25, 0.5, true, {1, 0, 0}},
    {"equirectangular in a square image: outside the 2:1 box", 1, 100, 100, 90, 0.5, 0.1, false, {}},
    {"equi tall: the whole sphere in the whole image", 81, 100, 100, 90, 0.75, 0.5, true, {-1, 0, 0}},
    {"Mercator: middle row is the equator", 62, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"mirror ball: centre", 2, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"mirror ball: p² + q² > 1 misses", 2, 100, 100, 90, 0.95, 0.95, false, {}},
    {"mirror ball: half radius to the right", 2, 100, 100, 90, 0.75, 0.5, true, {-0.8660254f, 0, 0.5f}},
    {"mirror ball: the rim is the back", 2, 100, 100, 90, 1.0, 0.5, true, {0, 0, -1}},
    {"mirror ball: the top of the rim is the back too", 2, 100, 100, 90, 0.5, 0.0, true, {0, 0, -1}},
    {"polar: centre", 3, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"polar: the rim is the opposite pole", 3, 100, 100, 90, 1.0, 0.5, true, {0, 0, -1}},
    {"polar: outside the disc", 3, 100, 100, 90, 0.0, 0.0, false, {}},
    {"magnipolar: centre", 50, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"magnipolar: rim", 50, 100, 100, 90, 0.5, 1.0, true, {0, 0, -1}},
    {"annulus with fov 0 misses", 59, 100, 100, 0, 0.8, 0.5, false, {}},
    {"annulus: the outer rim is the south pole", 59, 100, 100, 90, 1.0, 0.5, true, {0, -1, 0}},
    {"annulus: inside the hole misses", 59, 100, 100, 90, 0.6, 0.5, false, {}},
    {"half-polar: top centre of the half disc", 4, 200, 100, 90, 0.5, 0.25 + 0.5 * 0.5, true, {0, 0, 1}},
    {"orthographic: centre", 5, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"orthographic: halfway right", 5, 100, 100, 90, 0.75, 0.5, true, {-0.5f, 0, 0.8660254f}},
    {"orthographic: outside the disc", 5, 100, 100, 90, 0.02, 0.02, false, {}},
    {"orthographic: the right rim is a quarter turn right", 5, 100, 100, 90, 1.0, 0.5, true, {-1, 0, 0}},
    {"orthographic: the top rim is the north pole", 5, 100, 100, 90, 0.5, 0.0, true, {0, 1, 0}},
    {"Lambert azimuthal: centre", 900, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"Lambert azimuthal: rim is the antipode", 900, 100, 100, 90, 1.0, 0.5, true, {0, 0, -1}},
    {"Hammer: centre", 11, 200, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"Hammer: corner misses", 11, 200, 100, 90, 0.01, 0.01, false, {}},
    {"sinusoidal: centre", 13, 200, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"sinusoidal: corner misses", 13, 200, 100, 90, 0.02, 0.05, false, {}},
    {"rectilinear fov 90: the corner is 45° across and up", 14, 100, 100, 90, 0.0, 0.0, true,
     unit(1.0f, 1.0f, 1.0f)},
    {"rectilinear fov 90: the right edge is 45° to the right", 14, 100, 100, 90, 1.0, 0.5, true,
     unit(-1.0f, 0.0f, 1.0f)},
    {"rectilinear on a wide image: the fov spans the height", 14, 200, 100, 90, 0.5, 0.0, true,
     unit(0.0f, 1.0f, 1.0f)},
    {"hyperbolic: centre", 15, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"stereographic: centre", 16, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"stereographic fov 90: the edge is 90° away", 16, 100, 100, 90, 1.0, 0.5, true, {-1, 0, 0}},
    {"logarithmic: centre is the stereographic point 1", 100335, 100, 100, 90, 0.5, 0.5, true, {-1, 0, 0}},
    {"Panini: centre", 255, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"cylindrical: centre", 17, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"cylindrical: quarter turn", 17, 100, 100, 90, 0.75, 0.5, true, {-1, 0, 0}},
    {"Wetch: centre", 18, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"Gilbert globe: centre", 134, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
    {"Quick globe: centre", 139, 100, 100, 90, 0.5, 0.5, true, {0, 0, 1}},
};

TEST(OutputBasic, GoldenDirections) {
    for (const GoldenDirection& g : kGolden) {
        SCOPED_TRACE(g.source);
        const auto ctx = contextFor(g.output, 1, g.width, g.height, 2000, 1000, g.fov);
        SphereDir d;
        const bool hit = directionAt(*ctx, g.a, g.b, d);
        ASSERT_EQ(hit, g.hit);
        if (!hit) continue;
        EXPECT_LT(distance(d, g.expected), 2e-4f) << d.x << " " << d.y << " " << d.z;
    }
}

TEST(OutputBasic, EquirectangularStoresBInTheWeightField) {
    const auto ctx = contextFor(1, 1, 200, 100);
    EXPECT_FLOAT_EQ(testing::sampleAt(*ctx, 0.3, 0.7).weight, 0.7f);
}

TEST(OutputBasic, RectilinearTagsAndFovCap) {
    const auto ctx = contextFor(14, 1, 100, 100, 2000, 1000, 180.0f);
    const RenderCell c = sampleAt(*ctx, 0.5, 0.5);
    EXPECT_EQ(c.regionTag, kTagPlainMap);
    // fov 180 is limited by the 0.999 cap: the tangent stays finite.
    EXPECT_TRUE(std::isfinite(ctx->wideTan));
    SphereDir d;
    ASSERT_TRUE(directionAt(*ctx, 0.0, 0.5, d));
    EXPECT_GT(d.z, 0.0f);
}

TEST(OutputBasic, FieldsOfViewAboveTheCapLookTheSame) {
    // 0.999 of 180° is 179.82°: every field of view above it gives the same
    // rectilinear view, one below it a narrower one.
    const auto capped = contextFor(14, 1, 100, 100, 2000, 1000, 180.0f);
    const auto above = contextFor(14, 1, 100, 100, 2000, 1000, 179.9f);
    const auto below = contextFor(14, 1, 100, 100, 2000, 1000, 179.5f);
    EXPECT_EQ(above->wideTan, capped->wideTan);
    EXPECT_LT(below->wideTan, capped->wideTan);
    const float cap = static_cast<float>(2.0 * std::tan(static_cast<double>(0.999f * 1.5707964f)));
    EXPECT_FLOAT_EQ(capped->wideTan, cap);
    SphereDir dc, da, db;
    ASSERT_TRUE(directionAt(*capped, 1.0, 0.5, dc));
    ASSERT_TRUE(directionAt(*above, 1.0, 0.5, da));
    ASSERT_TRUE(directionAt(*below, 1.0, 0.5, db));
    EXPECT_EQ(distance(dc, da), 0.0f);
    EXPECT_GT(distance(dc, db), 0.0f);
    // The edge of the capped view stays in front, 89.91° off the centre.
    EXPECT_GT(dc.z, 0.0f);
    EXPECT_NEAR(std::acos(static_cast<double>(dc.z)) * 180.0 / 3.141592653589793, 89.91, 0.01);
}

TEST(OutputBasic, AnnulusWithFovZeroMissesEverywhere) {
    const auto ctx = contextFor(59, 1, 100, 100, 2000, 1000, 0.0f);
    EXPECT_EQ(ctx->annulusHole, 1.0f);
    for (int i = 0; i <= 20; ++i) {
        for (int j = 0; j <= 20; ++j) {
            SphereDir d;
            ASSERT_FALSE(directionAt(*ctx, i / 20.0, j / 20.0, d)) << i << ", " << j;
            EXPECT_EQ(sampleAt(*ctx, i / 20.0, j / 20.0).regionTag, kTagEmpty);
        }
    }
    // A field of view just above 0 opens a thin ring at the rim.
    const auto thin = contextFor(59, 1, 100, 100, 2000, 1000, 1.0f);
    SphereDir d;
    EXPECT_TRUE(directionAt(*thin, 0.999, 0.5, d));
    EXPECT_FALSE(directionAt(*thin, 0.9, 0.5, d));
}

TEST(OutputBasic, AnEmptySampleNeverReachesTheInputLookup) {
    // The corner of a mirror ball output is empty: the cube-layout and
    // zenith & nadir inputs would set the face index, the region code and the
    // weight, but the sample keeps its reset values and the empty tag.
    for (InputProjectionId input : {26, 33, 35}) {
        const auto ctx = contextFor(2, input, 100, 100, 600, 100);
        const RenderCell c = sampleAt(*ctx, 0.02, 0.02);
        EXPECT_EQ(c.regionTag, kTagEmpty) << input;
        EXPECT_EQ(c.faceIndex, -1) << input;
        EXPECT_EQ(c.pieceTag, 0u) << input;
        EXPECT_EQ(c.weight, -1.0f) << input;
        EXPECT_EQ(c.inputU, -1.0f) << input;
        EXPECT_EQ(c.subTag, 1u) << input;
        // The centre does reach it.
        const RenderCell hit = sampleAt(*ctx, 0.5, 0.5);
        EXPECT_NE(hit.pieceTag, 0u) << input;
    }
}

TEST(OutputBasic, ShiftLensMovesTheCentreNotTheView) {
    SettingsRecord s = testing::plainSettings(60, 1, 90.0f);
    s.latitude = 30.0f;
    auto ctx = std::make_unique<RenderContext>();
    setupRenderContext(*ctx, s, RenderSizes{100, 100, 2000, 1000});
    EXPECT_NEAR(ctx->lensShift, std::tan(30.0 * 3.141592653589793 / 180.0), 1e-6);
    EXPECT_EQ(ctx->latitude, 0.0f);
    // The row b = 0.5 + lensShift looks straight ahead.
    SphereDir d;
    ASSERT_TRUE(directionAt(*ctx, 0.5, 0.5 + ctx->lensShift, d));
    EXPECT_LT(distance(d, {0, 0, 1}), 1e-5f);
}

TEST(OutputBasic, AboveAndBelowHalvesCarryTheirTags) {
    const auto ctx = contextFor(297, 1, 100, 100);
    EXPECT_EQ(sampleAt(*ctx, 0.5, 0.8).regionTag, kTagPlainMap);
    EXPECT_EQ(sampleAt(*ctx, 0.5, 0.2).regionTag, kTagSecondHalf);
    // The centres of the halves look up and down by the turn α = fov/2.
    SphereDir lower, upper;
    ASSERT_TRUE(directionAt(*ctx, 0.5, 0.75, lower));
    ASSERT_TRUE(directionAt(*ctx, 0.5, 0.25, upper));
    EXPECT_LT(distance(lower, unit(0, 1, 1)), 1e-5f);
    EXPECT_LT(distance(upper, unit(0, -1, 1)), 1e-5f);
}

TEST(OutputBasic, UpAndDownTurnsEachHalfAQuarter) {
    const auto ctx = contextFor(298, 1, 100, 100);
    const RenderCell top = sampleAt(*ctx, 0.5, 0.25);
    const RenderCell bottom = sampleAt(*ctx, 0.5, 0.75);
    EXPECT_EQ(top.regionTag, kTagPlainMap);
    EXPECT_EQ(bottom.regionTag, kTagSecondHalf);
    SphereDir d;
    ASSERT_TRUE(directionAt(*ctx, 0.5, 0.5, d));
    // The image centre: the stereographic centre turned by +π/2 about x.
    EXPECT_LT(distance(d, {0, 1, 0}), 1e-5f);
}

TEST(OutputBasic, GlobeOutputsKeepTheirNormal) {
    for (ProjectionId id : {5, 139, 900}) {
        const auto ctx = contextFor(id, 1, 100, 100);
        const RenderCell c = sampleAt(*ctx, 0.7, 0.4);
        SphereDir d;
        ASSERT_TRUE(directionAt(*ctx, 0.7, 0.4, d));
        EXPECT_NEAR(c.normal[0], d.x, 1e-6f) << id;
        EXPECT_NEAR(c.normal[1], d.y, 1e-6f) << id;
        EXPECT_NEAR(c.normal[2], d.z, 1e-6f) << id;
    }
}

// ---- identity pairs ----------------------------------------------------------------------

struct IdentityPair {
    const char* name;
    ProjectionId output;
    InputProjectionId input;
    int width, height;  // output and input share the size
    float fov;
    double exactAspect;  // 0: the pixel aspect is exact
    float tolerance;
    bool wrapsU;
};

// An output and an input that are the same projection: output position →
// sphere → input position returns the position.
const IdentityPair kIdentityPairs[] = {
    {"equirectangular", 1, 1, 400, 200, 90, 0, 2e-5f, true},
    {"equi tall / equirectangular", 81, 1, 400, 200, 90, 0, 2e-5f, true},
    {"mirror ball", 2, 2, 300, 300, 90, 0, 5e-5f, false},
    {"polar", 3, 3, 300, 300, 90, 0, 5e-5f, false},
    {"orthographic", 5, 4, 300, 300, 90, 0, 5e-5f, false},
    {"Hammer", 11, 23, 400, 200, 90, 0, 5e-5f, true},
    {"stereographic (fov 90)", 16, 15, 300, 300, 90, 0, 5e-5f, false},
    {"Mercator", 62, 20, 300, 300, 90, 0, 5e-5f, true},
    {"cylindrical", 17, 5, 400, 200, 90, 0, 5e-5f, true},
};

void checkIdentity(const RenderContext& ctx, const char* name, float tolerance, bool wrapsU) {
    int hits = 0;
    for (int i = 1; i < 40; ++i) {
        for (int j = 1; j < 40; ++j) {
            // Off the exact rims, where a whole circle of positions shows one direction.
            const double a = (i + 0.37) / 41.0;
            const double b = (j + 0.29) / 41.0;
            const RenderCell c = sampleAt(ctx, a, b);
            if (c.regionTag == kTagEmpty || c.regionTag == kTagInputMiss || c.subTag != 0) continue;
            ++hits;
            const double du = wrapsU ? testing::wrappedDistance(c.inputU, a) : std::fabs(c.inputU - a);
            ASSERT_LT(du, tolerance) << name << " at (" << a << ", " << b << "): u " << c.inputU;
            ASSERT_LT(std::fabs(c.inputV - b), tolerance) << name << " at (" << a << ", " << b << "): v " << c.inputV;
        }
    }
    EXPECT_GT(hits, 600) << name;
}

TEST(OutputBasic, IdentityPairsReturnThePosition) {
    for (const IdentityPair& p : kIdentityPairs) {
        auto ctx = contextFor(p.output, p.input, p.width, p.height, p.width, p.height, p.fov);
        if (p.exactAspect > 0) testing::setExactAspect(*ctx, p.exactAspect);
        checkIdentity(*ctx, p.name, p.tolerance, p.wrapsU);
    }
}

// ---- properties over every output with a routine of its own -----------------------------------

TEST(OutputBasic, EveryRoutineGivesUnitDirections) {
    for (const OutputProjectionInfo& info : outputProjections()) {
        if (!outputHasOwnRoutine(info.id)) continue;
        for (const auto& size : {std::pair{300, 150}, std::pair{200, 200}, std::pair{150, 300}}) {
            const auto ctx = contextFor(info.id, 1, size.first, size.second, 2000, 1000, 120.0f);
            for (int i = 0; i <= 24; ++i) {
                for (int j = 0; j <= 24; ++j) {
                    SphereDir d;
                    if (!directionAt(*ctx, i / 24.0, j / 24.0, d)) continue;
                    ASSERT_NEAR(testing::length(d), 1.0f, 1e-4f)
                        << info.id << " at " << i / 24.0 << ", " << j / 24.0;
                }
            }
        }
    }
}

TEST(OutputBasic, EveryCatalogueOutputMapsWithoutFault) {
    // Outputs without a routine (and model outputs without a model) give empty
    // samples; nothing leaves a value that is not a number.
    for (const OutputProjectionInfo& info : outputProjections()) {
        const auto ctx = contextFor(info.id, 1, 120, 80);
        const bool mapped = outputHasMapping(*ctx);
        for (int i = 0; i <= 6; ++i) {
            for (int j = 0; j <= 6; ++j) {
                const RenderCell c = sampleAt(*ctx, i / 6.0, j / 6.0);
                ASSERT_FALSE(std::isnan(c.inputU)) << info.id;
                ASSERT_FALSE(std::isnan(c.inputV)) << info.id;
                const bool outside = !(c.inputU >= 0 && c.inputU <= 1 && c.inputV >= 0 && c.inputV <= 1);
                ASSERT_EQ(c.subTag, outside ? 1u : 0u) << info.id;
                if (!mapped) {
                    ASSERT_EQ(c.inputU, -1.0f) << info.id;
                    ASSERT_EQ(c.subTag, 1u) << info.id;
                }
            }
        }
    }
}

}  // namespace
}  // namespace globaro
