// World-map outputs: golden points, Newton solver round trips, identity pairs
// with the world-map inputs, misses outside the outline, the back seam.

#include <gtest/gtest.h>

#include <cmath>

#include "output_test_support.h"
#include "projection/world_map_solvers.h"

namespace globaro {
namespace {

using testing::contextFor;
using testing::directionAt;
using testing::distance;
using testing::sampleAt;

constexpr double kPi = 3.141592653589793;

// The direction of longitude λ (positive right) and latitude φ (positive down).
SphereDir lonLatDirection(double lambda, double phi) {
    return output_detail::equirectDirection(static_cast<float>(0.5 - lambda / (2.0 * kPi)),
                                            static_cast<float>(phi / kPi + 0.5));
}

struct NewtonMap {
    const char* name;
    ProjectionId output;
    MapPoint (*forward)(double, double);
    LonLat (*inverse)(double, double);
    MapPoint extent;
};

const NewtonMap kNewtonMaps[] = {
    {"Winkel tripel", 35, winkelTripelForward, winkelTripelInverse, kWinkelTripelExtent},
    {"natural earth", 355, naturalEarthForward, naturalEarthInverse, kNaturalEarthExtent},
    {"Canters", 354, cantersForward, cantersInverse, kCantersExtent},
    {"Ginzburg 8", 358, ginzburg8Forward, ginzburg8Inverse, kGinzburg8Extent},
    {"Laskowski tri-optimal", 340, laskowskiForward, laskowskiInverse, kLaskowskiExtent},
    {"Larrivee", 359, larriveeForward, larriveeInverse, kLarriveeExtent},
};

TEST(OutputWorldMaps, NewtonSolversInvertTheirForwardEquations) {
    for (const NewtonMap& m : kNewtonMaps) {
        int tried = 0;
        for (int i = -14; i <= 14; ++i) {
            for (int j = -7; j <= 7; ++j) {
                const double lambda = i * 0.2;  // up to ±2.8
                const double phi = j * 0.2;     // up to ±1.4
                const MapPoint p = m.forward(lambda, phi);
                if (std::fabs(p.x) > m.extent.x || std::fabs(p.y) > m.extent.y) continue;
                ++tried;
                const LonLat ll = m.inverse(p.x, p.y);
                ASSERT_TRUE(ll.ok) << m.name << " λ " << lambda << " φ " << phi;
                ASSERT_NEAR(ll.lambda, lambda, 1e-5) << m.name << " φ " << phi;
                ASSERT_NEAR(ll.phi, phi, 1e-5) << m.name << " λ " << lambda;
            }
        }
        EXPECT_GT(tried, 300) << m.name;
    }
}

TEST(OutputWorldMaps, OutputRoutinesShowTheSolvedDirection) {
    // Forward to the plane, into the output image through the view frame, and
    // back through the output routine.
    for (const NewtonMap& m : kNewtonMaps) {
        auto ctx = contextFor(m.output, 1, 1000, 600);
        testing::setExactAspect(*ctx, m.extent.y / m.extent.x);
        const ViewFrame& f = ctx->frame;
        for (int i = -6; i <= 6; ++i) {
            for (int j = -3; j <= 3; ++j) {
                const double lambda = i * 0.45;
                const double phi = j * 0.45;
                const MapPoint p = m.forward(lambda, phi);
                const double a = p.x / f.scale + 0.5 + f.cx;
                const double b = p.y / (f.scale * f.aspect) + 0.5;
                SphereDir d;
                ASSERT_TRUE(directionAt(*ctx, a, b, d)) << m.name;
                ASSERT_LT(distance(d, lonLatDirection(lambda, phi)), 1e-4f) << m.name << " " << lambda << " " << phi;
            }
        }
    }
}

TEST(OutputWorldMaps, NaturalEarthCentreConvergesInOneStep) {
    const LonLat ll = naturalEarthInverse(0.0, 0.0);
    EXPECT_TRUE(ll.ok);
    EXPECT_EQ(ll.steps, 1);
    EXPECT_EQ(ll.lambda, 0.0);
    EXPECT_EQ(ll.phi, 0.0);
}

TEST(OutputWorldMaps, WinkelTripelOriginReturnsAtOnce) {
    const LonLat ll = winkelTripelInverse(0.0, 0.0);
    EXPECT_TRUE(ll.ok);
    EXPECT_EQ(ll.steps, 0);
}

TEST(OutputWorldMaps, LarriveeAcceptsOnlyQuickConvergence) {
    for (int i = -10; i <= 10; ++i) {
        for (int j = -10; j <= 10; ++j) {
            const LonLat ll = larriveeInverse(i * 0.3, j * 0.25);
            if (ll.ok) {
                ASSERT_LE(ll.steps, 20);
            }
        }
    }
}

TEST(OutputWorldMaps, GinzburgEightMissesBeyondItsCurvedSides) {
    // |X| > |2.44172 − 0.27·Y²| is outside even when inside the box.
    EXPECT_FALSE(ginzburg8Inverse(2.40, 1.8).ok);
}

TEST(OutputWorldMaps, RobinsonInverseLatitudeInvertsTheTable) {
    for (int i = -20; i <= 20; ++i) {
        const float phiN = i / 20.0f;
        EXPECT_NEAR(robinsonInverseLatitude(robinsonHeight(phiN)), phiN, 2e-4f) << phiN;
    }
    EXPECT_NEAR(robinsonInverseLatitude(0.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(robinsonInverseLatitude(1.0f), 1.0f, 1e-4f);
    EXPECT_NEAR(robinsonInverseLatitude(-1.0f), -1.0f, 1e-4f);
}

struct GoldenPoint {
    const char* source;
    ProjectionId output;
    double a, b;
    bool hit;
    SphereDir expected;
};

// On 2:1 images (Robinson's box is 2:1 too).
const GoldenPoint kGolden[] = {
    {"Mollweide: centre", 46, 0.5, 0.5, true, {0, 0, 1}},
    // The very top and bottom rows round just outside the ellipse's bound.
    {"Mollweide: top of the ellipse is the north pole", 46, 0.5, 1e-6, true, {0, 1, 0}},
    {"Mollweide: bottom is the south pole", 46, 0.5, 1.0 - 1e-6, true, {0, -1, 0}},
    {"Mollweide: corner misses", 46, 0.02, 0.02, false, {}},
    {"Eckert IV: centre", 398, 0.5, 0.5, true, {0, 0, 1}},
    {"Eckert IV: the top line is the north pole", 398, 0.3, 0.0, true, {0, 1, 0}},
    {"Eckert IV: the bottom line is the south pole", 398, 0.7, 1.0, true, {0, -1, 0}},
    {"Eckert IV: corner misses", 398, 0.01, 0.01, false, {}},
    {"Robinson: centre", 80, 0.5, 0.5, true, {0, 0, 1}},
    {"Robinson: a quarter from the left on the equator is +x", 80, 0.25, 0.5, true, {1, 0, 0}},
    {"Robinson: corner misses", 80, 0.02, 0.02, false, {}},
};

TEST(OutputWorldMaps, GoldenPoints) {
    for (const GoldenPoint& g : kGolden) {
        SCOPED_TRACE(g.source);
        const auto ctx = contextFor(g.output, 1, 400, 200);
        SphereDir d;
        ASSERT_EQ(directionAt(*ctx, g.a, g.b, d), g.hit);
        if (g.hit) {
            EXPECT_LT(distance(d, g.expected), 5e-4f) << d.x << " " << d.y << " " << d.z;
        }
    }
}

TEST(OutputWorldMaps, EckertIVMissesBeyondThePoleLines) {
    const auto ctx = contextFor(398, 1, 200, 200);  // a square image: rows above and below the map
    SphereDir d;
    EXPECT_FALSE(directionAt(*ctx, 0.5, 0.1, d));
    EXPECT_TRUE(directionAt(*ctx, 0.5, 0.5, d));
}

struct WorldIdentity {
    const char* name;
    ProjectionId output;
    InputProjectionId input;
    double aspect;
    float tolerance;
};

// The same projection as output and input: the position comes back.
const WorldIdentity kIdentity[] = {
    {"Mollweide", 46, 7, 0.5, 3e-4f},       // the input reads a 400-entry table
    {"Eckert IV", 398, 38, 0.5, 2e-4f},     // the input fits θ by a polynomial
    {"Robinson", 80, 17, 0.5, 3e-4f},       // the inverse table is linear between 400 entries
    {"Winkel tripel", 35, 22, 1.5707963267948966 / 2.570796326312263, 1e-4f},
};

TEST(OutputWorldMaps, IdentityPairsReturnThePosition) {
    for (const WorldIdentity& w : kIdentity) {
        auto ctx = contextFor(w.output, w.input, 1000, static_cast<int>(1000 * w.aspect), 1000,
                              static_cast<int>(1000 * w.aspect));
        testing::setExactAspect(*ctx, w.aspect);
        int hits = 0;
        for (int i = 1; i < 50; ++i) {
            for (int j = 1; j < 50; ++j) {
                // Off the outline, where both ends of the back meridian meet.
                const double a = (i + 0.37) / 51.0;
                const double b = (j + 0.29) / 51.0;
                const RenderCell c = sampleAt(*ctx, a, b);
                if (c.regionTag == kTagEmpty || c.subTag != 0) continue;
                ++hits;
                ASSERT_LT(testing::wrappedDistance(c.inputU, a), w.tolerance) << w.name << " " << a << " " << b;
                ASSERT_LT(std::fabs(c.inputV - b), w.tolerance) << w.name << " " << a << " " << b;
            }
        }
        EXPECT_GT(hits, 1500) << w.name;
    }
}

TEST(OutputWorldMaps, TheOutlineMissesOutsideAndEveryHitIsUnit) {
    for (ProjectionId id : {46, 398, 399, 80, 35, 355, 354, 358, 340, 359}) {
        const auto ctx = contextFor(id, 1, 400, 400);
        SphereDir d;
        EXPECT_FALSE(directionAt(*ctx, 0.005, 0.005, d)) << id;
        EXPECT_FALSE(directionAt(*ctx, 0.995, 0.995, d)) << id;
        EXPECT_FALSE(directionAt(*ctx, 0.005, 0.995, d)) << id;
        int hits = 0;
        for (int i = 0; i <= 40; ++i) {
            for (int j = 0; j <= 40; ++j) {
                if (!directionAt(*ctx, i / 40.0, j / 40.0, d)) continue;
                ++hits;
                ASSERT_NEAR(testing::length(d), 1.0f, 1e-4f) << id;
            }
        }
        EXPECT_GT(hits, 200) << id;
    }
}

TEST(OutputWorldMaps, LeftAndRightEdgesMeetAtTheBack) {
    for (ProjectionId id : {46, 398, 80, 35, 355, 354, 358, 340, 359}) {
        const auto ctx = contextFor(id, 1, 2000, 1000);
        // The outermost hits of the middle row, from both sides.
        SphereDir left{}, right{};
        bool foundLeft = false, foundRight = false;
        for (int i = 0; i < 1000 && !foundLeft; ++i) foundLeft = directionAt(*ctx, i / 2000.0, 0.5, left);
        for (int i = 0; i < 1000 && !foundRight; ++i) foundRight = directionAt(*ctx, 1.0 - i / 2000.0, 0.5, right);
        ASSERT_TRUE(foundLeft && foundRight) << id;
        EXPECT_LT(left.z, -0.99f) << id;
        EXPECT_LT(right.z, -0.99f) << id;
        EXPECT_GT(left.x, -1e-6f) << id;   // the left edge lies left of the back (+x side)
        EXPECT_LT(right.x, 1e-6f) << id;
    }
}

TEST(OutputWorldMaps, HillEucyclicKeepsTheCentralMeridian) {
    const auto ctx = contextFor(399, 1, 1000, 600);
    float lastY = 2.0f;
    int hits = 0;
    for (int j = 0; j <= 60; ++j) {
        SphereDir d;
        if (!directionAt(*ctx, 0.5, j / 60.0, d)) continue;
        ++hits;
        EXPECT_NEAR(d.x, 0.0f, 1e-5f);
        EXPECT_GT(d.z, -1e-5f);
        EXPECT_LT(d.y, lastY + 1e-6f);  // north at the top, south below
        lastY = d.y;
    }
    EXPECT_GT(hits, 40);
}

}  // namespace
}  // namespace globaro
