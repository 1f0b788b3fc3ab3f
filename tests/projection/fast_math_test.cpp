// The per-sample trigonometry against the library's, its lookups, the input resolved per render.

#include "geometry/fast_math.h"
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include "output_test_support.h"
#include "projection/input_formulas.h"
#include "projection/input_projection.h"

namespace globaro {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTolerance = 1e-9;  // rad; the kernels are fitted to 1e-10

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Dense grid, reduction boundaries, signed zeros, ±π and the ends exactly; NaN outside the domain.
TEST(FastMath, KernelsMatchTheLibrary) {
    double worst = 0.0;
    auto err = [&](double got, double want) { worst = std::fmax(worst, std::fabs(got - want)); };
    for (int i = -600; i <= 600; ++i)
        for (int j = -600; j <= 600; ++j)
            if (i != 0 || j != 0) err(fast_math::atan2(i / 300.0, j / 300.0), std::atan2(i / 300.0, j / 300.0));
    for (double t : {1e-300, 1e-30, 1e-8, 0.4142135623730950, 0.4142135623730951, 1.0, 2.414213562373095, 1e8, 1e300})
        for (double sx : {1.0, -1.0})
            for (double sy : {1.0, -1.0}) {
                err(fast_math::atan2(sy * t, sx), std::atan2(sy * t, sx));
                err(fast_math::atan2(sy, sx * t), std::atan2(sy, sx * t));
            }
    constexpr int kSteps = 400000;
    for (int i = -kSteps; i <= kSteps; ++i) {
        const double x = static_cast<double>(i) / kSteps;
        err(fast_math::asin(x), std::asin(x));
        err(fast_math::acos(x), std::acos(x));
        err(fast_math::sin(std::numbers::pi * x), std::sin(std::numbers::pi * x));
    }
    for (double x : {0.5, std::nextafter(0.5, 1.0), std::nextafter(1.0, 0.0), 1e-300, 1e-9})
        for (double sign : {1.0, -1.0}) {
            err(fast_math::asin(sign * x), std::asin(sign * x));
            err(fast_math::acos(sign * x), std::acos(sign * x));
        }
    EXPECT_LT(worst, kTolerance);
    const double specials[] = {0.0, -0.0, 1.0, -1.0, 1e-310, -1e-310, kInf, -kInf};
    for (double y : specials)
        for (double x : specials) {
            const double got = fast_math::atan2(y, x), want = std::atan2(y, x);
            const bool exact = want == 0.0 || std::fabs(want) == std::numbers::pi;
            EXPECT_TRUE(exact ? sameBits(got, want) : std::fabs(got - want) < kTolerance) << y << ", " << x;
        }
    for (double z : {0.0, -0.0}) EXPECT_TRUE(sameBits(fast_math::asin(z), z) && sameBits(fast_math::sin(z), z)) << z;
    EXPECT_EQ(fast_math::asin(-1.0), -(std::numbers::pi / 2.0));
    EXPECT_EQ(fast_math::acos(1.0), 0.0);
    EXPECT_EQ(fast_math::acos(-1.0), std::numbers::pi);
    EXPECT_EQ(fast_math::acos(0.0), (std::numbers::pi / 2.0));
    // Beyond half a turn (the float π just beyond it too): the library's own.
    for (double x : {3.1415927410125732, -3.1415927410125732, 4.0, -100.0, 1e10})
        EXPECT_EQ(fast_math::sin(x), std::sin(x));
    for (double x : {std::nextafter(1.0, 2.0), -7.5, kInf, kNaN})
        EXPECT_TRUE(std::isnan(fast_math::asin(x)) && std::isnan(fast_math::acos(x))) << x;
    EXPECT_TRUE(std::isnan(fast_math::atan2(kNaN, 1.0)) && std::isnan(fast_math::atan2(1.0, kNaN)));
    EXPECT_TRUE(std::isnan(fast_math::sin(kNaN)) && std::isnan(fast_math::sin(kInf)));
}

// Within two float ulps of the library, nearly always the rounded double, inside [0, 1].
TEST(FastMath, LookupFractionsStayWithinTwoUlpsOfTheLibrarys) {
    int differing = 0;
    int total = 0;
    for (int i = 0; i <= 360; ++i)
        for (int j = 0; j <= 180; ++j) {
            const float lon = static_cast<float>(i) * 0.017453292f;
            const float lat = static_cast<float>(j - 90) * 0.017453292f;
            const SphereDir d =
                normalise(SphereDir{std::sin(lon) * std::cos(lat), std::sin(lat), std::cos(lon) * std::cos(lat)});
            const float s = input_detail::aroundFraction(d.x, d.z);
            const float sWant = static_cast<float>(
                (std::atan2(static_cast<double>(d.x), static_cast<double>(d.z)) + 3.1415927410125732) *
                0.15915493667125702);
            const float p = input_detail::polarFraction(d.y);
            const float pWant = std::acos(std::fmax(-1.0f, std::fmin(1.0f, d.y))) * input_detail::kInvPiF;
            EXPECT_LE(std::fabs(s - sWant), 1.2e-7f) << i << ", " << j;
            EXPECT_LE(std::fabs(p - pWant), 1.2e-7f) << i << ", " << j;
            EXPECT_TRUE(s >= 0.0f && s <= 1.0f);
            EXPECT_TRUE(p >= 0.0f && p <= 1.0f);
            const double yClamped = std::fmax(-1.0f, std::fmin(1.0f, d.y));
            const float pRounded = static_cast<float>(std::acos(yClamped)) * input_detail::kInvPiF;
            differing += (s != sWant) + (p != pRounded);
            total += 2;
        }
    EXPECT_LT(differing, total / 100);
    // The seam and the poles land exactly where the library puts them.
    EXPECT_EQ(input_detail::aroundFraction(0.0f, 1.0f), 0.5f);
    EXPECT_EQ(input_detail::aroundFraction(0.0f, -1.0f), 1.0f);
    EXPECT_EQ(input_detail::aroundFraction(-0.0f, -1.0f),
              static_cast<float>((-3.141592653589793 + 3.1415927410125732) * 0.15915493667125702));
    EXPECT_EQ(input_detail::polarFraction(1.0f), 0.0f);
    EXPECT_EQ(input_detail::polarFraction(-1.0f), 1.0f);
    EXPECT_EQ(input_detail::polarFraction(1.5f), 0.0f);
    EXPECT_EQ(input_detail::polarFraction(std::numeric_limits<float>::quiet_NaN()), 0.0f);
}

// An input changed after the setup answers as from a context set up for it.
TEST(ResolvedInput, AContextWhoseInputChangedAfterTheSetupUsesTheNewInput) {
    for (InputProjectionId input : {7, 33, 27, 99}) {
        auto changed = testing::contextFor(337, kInputEquirectangular, 600, 100);
        changed->inputProjection = input;
        const auto fresh = testing::contextFor(337, input, 600, 100);
        for (int i = 1; i < 60; ++i)
            for (int j = 1; j < 10; ++j) {
                const RenderCell a = testing::sampleAt(*changed, i / 60.0, j / 10.0);
                const RenderCell b = testing::sampleAt(*fresh, i / 60.0, j / 10.0);
                EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << input << " at " << i << ", " << j;
            }
    }
}

// The short face turn gives the general rotation's bits, signed zeros (seam sides) included.
TEST(CubeLayoutFaceTurns, GiveTheSameBitsAsTheGeneralRotation) {
    const float values[] = {-0.0f, 0.3f, -0.3f, 1.0f, -1.0f, 0.70710677f, -0.99999994f, 1e-30f, -1e-30f};
    for (ProjectionId id : {337, 338, 339}) {
        const OutputRow* e = findOutputRow(id);
        ASSERT_TRUE(e != nullptr && e->cube != nullptr);
        for (int cell = 0; cell < 6; ++cell) {
            const SphereDir& f = e->cube->faces[cell];
            const output_detail::AxisFaceTurn& turn = e->cube->turns[cell];
            ASSERT_TRUE(turn.axis) << id << " cell " << cell;
            for (float x : values)
                for (float y : values)
                    for (float z : {0.5f, 0.57735026f, 1.0f}) {
                        const SphereDir l{x, y, z};
                        const SphereDir want = output_detail::faceToSphere(l, f);
                        const float lc[3] = {l.x, l.y, l.z};
                        SphereDir got{turn.sign[0] * lc[turn.from[0]], turn.sign[1] * lc[turn.from[1]],
                                      turn.sign[2] * lc[turn.from[2]]};
                        if (!turn.backFace) got = {got.x + 0.0f, got.y + 0.0f, got.z + 0.0f};
                        EXPECT_TRUE(sameBits(got.x, want.x) && sameBits(got.y, want.y) && sameBits(got.z, want.z))
                            << id << " cell " << cell << " at " << x << ", " << y << ", " << z;
                    }
        }
    }
    // A face off the axes keeps the general rotation.
    EXPECT_FALSE(output_detail::axisFaceTurn(normalise(SphereDir{1.0f, 1.0f, 0.0f})).axis);
}

}  // namespace
}  // namespace globaro
