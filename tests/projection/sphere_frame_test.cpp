// The sphere frame: rotations, the fold, output positions, view tangents, complex helpers.

#include "geometry/sphere_frame.h"
#include <gtest/gtest.h>
#include <cmath>
#include <complex>
#include "geometry/vec_math.h"
#include "output_test_support.h"

namespace globaro {
namespace {

using testing::latLon;

constexpr double kPi = 3.141592653589793;

double gap(const SphereDir& a, const Vec3d& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

// Right-handed turns about the axes, written out in double.
Vec3d aboutX(const Vec3d& v, double a) {
    return {v.x, v.y * std::cos(a) - v.z * std::sin(a), v.y * std::sin(a) + v.z * std::cos(a)};
}
Vec3d aboutY(const Vec3d& v, double a) {
    return {v.x * std::cos(a) + v.z * std::sin(a), v.y, -v.x * std::sin(a) + v.z * std::cos(a)};
}
Vec3d aboutZ(const Vec3d& v, double a) {
    return {v.x * std::cos(a) - v.y * std::sin(a), v.x * std::sin(a) + v.y * std::cos(a), v.z};
}

// Spin, then latitude about x, then longitude; lat 90 takes the centre north, lon 90 brings 90° E in.
TEST(Rotation, SpinThenLatitudeThenLongitudeByOrthonormalMatrices) {
    const float angles[][3] = {{0, 0, 0},      {0, 90, 0},      {90, 0, 0},  {0, 0, 90},    {30, 20, 10},
                               {-75, 45, 120}, {170, -60, -33}, {0, 89, 45}, {-180, 90, 90}};
    const SphereDir dirs[] = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, latLon(33, 71), latLon(-48, -152)};
    for (const auto& a : angles) {
        SCOPED_TRACE(::testing::Message() << "lon " << a[0] << " lat " << a[1] << " spin " << a[2]);
        const RotationRecord r = rotationFromAngles(a[0], a[1], a[2]);
        for (const SphereDir& d : dirs) {
            const Vec3d want =
                aboutY(aboutX(aboutZ(toVec3d(d), -a[2] * kPi / 180), -a[1] * kPi / 180), -a[0] * kPi / 180);
            EXPECT_LT(gap(rotate(r, d), want), 3e-6);
        }
        for (const Mat3* m : {&r.latitudeMatrix, &r.longitudeMatrix, &r.spinMatrix, &r.product})
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    EXPECT_NEAR(double(m->m[i][0]) * m->m[j][0] + double(m->m[i][1]) * m->m[j][1] +
                                    double(m->m[i][2]) * m->m[j][2],
                                i == j ? 1.0 : 0.0, 1e-6);
    }
    EXPECT_LT(gap(rotate(rotationFromAngles(0, 90, 0), {0, 0, 1}), {0, 1, 0}), 1e-6);
    EXPECT_LT(gap(rotate(rotationFromAngles(90, 0, 0), {0, 0, 1}), toVec3d(latLon(0, 90))), 1e-6);
    EXPECT_LT(gap(rotationFromAngles(0, 90, 0).spinAxis, {0, 1, 0}), 1e-6);  // the carried view axis
}

// The rotation says whether it turns anything: only when it leaves every direction where it was
// (the row path then reads positions without turning them).
TEST(Rotation, KnowsWhenItTurnsNothing) {
    const struct {
        float lon, lat, spin;
        bool turnsNothing;
    } cases[] = {{0, 0, 0, true},    {-0.0f, 0, -0.0f, true}, {30, 20, 10, false}, {0, 0, 10, false},
                 {0, -20, 0, false}, {180, 0, 0, false},      {0, 0, -180, false}, {-180, 90, 90, false}};
    const SphereDir dirs[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, latLon(33, 71)};
    for (const auto& c : cases) {
        const RotationRecord r = rotationFromAngles(c.lon, c.lat, c.spin);
        bool everyDirectionStays = true;
        for (const SphereDir& d : dirs)
            everyDirectionStays = everyDirectionStays && gap(rotate(r, d), toVec3d(d)) == 0.0;
        EXPECT_EQ(everyDirectionStays, c.turnsNothing) << c.lon << ", " << c.lat << ", " << c.spin;
        EXPECT_EQ(r.identity, c.turnsNothing) << c.lon << ", " << c.lat << ", " << c.spin;
    }
    EXPECT_TRUE(RotationRecord{}.identity);
}

TEST(Rotation, AxisRotationIsRightHandedAndComposes) {
    const Mat3 m = axisRotation({0, 0, 1}, kPi / 2);
    EXPECT_NEAR(m.m[1][0], 1.0, 1e-7);  // M·x = y; applied transposed it turns the other way
    EXPECT_LT(gap(applyTransposed(m, {1, 0, 0}), {0, -1, 0}), 1e-7);
    const Mat3 a = axisRotation({1, 0, 0}, 0.7), b = axisRotation({0, 1, 0}, -1.1);
    const SphereDir d = latLon(10, 20);
    EXPECT_LT(gap(applyTransposed(matMul(a, b), d), toVec3d(applyTransposed(b, applyTransposed(a, d)))), 1e-6);
}

TEST(HalfAngleFold, HalvesTheAngleFromTheViewAxisInItsPlane) {
    for (double angle : {0.0, 10.0, 45.0, 90.0, 135.0, 179.0}) {
        const SphereDir f = halfAngleFold(latLon(0.0, angle));
        EXPECT_NEAR(std::acos(std::fmin(1.0f, f.z)) * 180.0 / kPi, angle / 2.0, 1e-3) << angle;
        EXPECT_NEAR(f.y, 0.0, 1e-7);
        EXPECT_LE(f.x, 0.0f);
    }
    EXPECT_LT(gap(halfAngleFold({0, 1, 0}), {0, std::sqrt(0.5), std::sqrt(0.5)}), 1e-6);
    // The opposite of the view axis has no bisector: the guarded normalisation answers +z.
    EXPECT_LT(gap(halfAngleFold({0, 0, -1}), {0, 0, 1}), 1e-6);
}

TEST(OutputPosition, PixelCentresSpanTheShorterSideByOneUnit) {
    // px = x·s + ox + 0.5, a = (2·px + 1)·(0.5/W); c and d centred, in units of the shorter side.
    const OutputPosition p = normalisedOutputPosition(3, 1, 1, 0, 0, makeOutputImageRecord(8, 4));
    EXPECT_FLOAT_EQ(p.a, 0.5f);
    EXPECT_FLOAT_EQ(p.b, 0.5f);
    const OutputPosition q = normalisedOutputPosition(1, 1, 2, 0.25f, -0.5f, makeOutputImageRecord(8, 4));
    EXPECT_FLOAT_EQ(q.a, (2.0f * 2.75f + 1.0f) / 16.0f);
    EXPECT_FLOAT_EQ(q.b, (2.0f * 2.0f + 1.0f) / 8.0f);
    const OutputPosition w = normalisedOutputPosition(199, 99, 1, 0, 0, makeOutputImageRecord(200, 100));
    EXPECT_FLOAT_EQ(w.c, 1.0f);
    EXPECT_FLOAT_EQ(w.d, 0.5f);
    const OutputPosition t = normalisedOutputPosition(-1, -1, 1, 0, 0, makeOutputImageRecord(100, 300));
    EXPECT_FLOAT_EQ(t.c, -0.5f);
    EXPECT_FLOAT_EQ(t.d, -1.5f);
    // A degenerate size is raised to one pixel instead of dividing by zero.
    EXPECT_EQ(makeOutputImageRecord(0, -5).width, 1);
}

TEST(FieldOfView, TangentsOfHalfAndQuarterAnglesCappedBelowAQuarterTurn) {
    EXPECT_NEAR(fieldOfViewConstants(90).wideTan, 2.0, 1e-6);
    EXPECT_NEAR(fieldOfViewConstants(90).narrowTan, 2.0 * std::tan(kPi / 8), 1e-6);
    EXPECT_NEAR(fieldOfViewConstants(120).wideTan, 2.0 * std::tan(kPi / 3), 1e-5);
    const float cap = static_cast<float>(2.0 * std::tan(double(0.999f * 1.5707964f)));
    EXPECT_FLOAT_EQ(fieldOfViewConstants(360).wideTan, cap);
    EXPECT_FLOAT_EQ(fieldOfViewConstants(720).narrowTan, cap);
    EXPECT_TRUE(std::isfinite(fieldOfViewConstants(1e30f).wideTan));
}

TEST(ModelEquirect, MirrorsTheSamplingConventionAndRoundTrips) {
    EXPECT_NEAR(modelEquirectFromDirection({1, 0, 0}).x, 0.75, 1e-12);  // 0.25 in an equirectangular input
    EXPECT_NEAR(modelEquirectFromDirection({0, 1, 0}).y, 0.0, 1e-12);
    EXPECT_NEAR(modelEquirectFromDirection({0, -1.0000001, 0}).y, 1.0, 1e-12);  // clamped, not NaN
    const double back = modelEquirectFromDirection({0, 0, -1}).x;
    EXPECT_TRUE(back == 0.0 || back == 1.0);
    for (double u = 0.03; u < 1.0; u += 0.07)
        for (double v = 0.02; v < 1.0; v += 0.09) {
            const Vec2d p = modelEquirectFromDirection(modelDirectionFromEquirect(u, v));
            EXPECT_NEAR(p.x, u, 1e-6);
            EXPECT_NEAR(p.y, v, 1e-9);
        }
}

TEST(PlaneAngle, IsAtan2PlusPiAndHalfPiAtTheOrigin) {
    EXPECT_EQ(planeAngle(0.0f, 0.0f), 1.5707964f);
    EXPECT_EQ(planeAngle(0.0, 0.0), 1.5707963267948966);
    for (double a = -3.1; a < 3.14; a += 0.173) {
        const double want = std::atan2(std::sin(a), std::cos(a)) + kPi;
        EXPECT_NEAR(planeAngle(static_cast<float>(std::sin(a)), static_cast<float>(std::cos(a))), want, 2e-6);
        EXPECT_NEAR(planeAngle(std::sin(a), std::cos(a)), want, 1e-12);
    }
}

TEST(ComplexFunctions, AgreeWithTheStandardLibrary) {
    using C = std::complex<double>;
    auto near = [](const Complex& got, const C& want) {
        EXPECT_NEAR(got.re, want.real(), 1e-12 * (1 + std::abs(want)));
        EXPECT_NEAR(got.im, want.imag(), 1e-12 * (1 + std::abs(want)));
    };
    const C a(1.5, -2.0), b(-0.5, 0.75), w(0.3, -0.2);
    const Complex ca{1.5, -2.0}, cb{-0.5, 0.75}, cw{0.3, -0.2};
    near(complexUnit(0.3), std::polar(1.0, 0.3));
    near(complexMul(ca, cb), a * b);
    near(complexSquare(ca), a * a);
    near(complexConjugate(ca), std::conj(a));
    near(complexTimesMinusI(ca), a * C(0, -1));
    near(complexNormalise(ca), a / std::abs(a));
    for (double e : {0.5, 2.0, -1.5}) near(complexPow(cb, e), std::pow(b, e));
    for (const C& d : {C(4, 0.5), C(0.5, 4), C(-1e-3, 7), C(1e200, 1e199), C(1e-200, -3e-200)}) {
        const Complex q = complexDivide(ca, {d.real(), d.imag()});
        EXPECT_NEAR(q.re, (a / d).real(), 1e-12 * std::abs(a / d) + 1e-300);
        EXPECT_NEAR(q.im, (a / d).imag(), 1e-12 * std::abs(a / d) + 1e-300);
    }
    for (const C& z : {C(0.3, 0.4), C(-1.2, 2.0), C(0, 1), C(5, -0.7)}) {
        near(complexTanh({z.real(), z.imag()}), std::tanh(z));
        near(discAutomorphism({z.real(), z.imag()}, cw), (z - w) / (1.0 - z * std::conj(w)));
    }
    EXPECT_EQ(complexTanh({900.0, 0.3}).re, 1.0);
    EXPECT_EQ(complexPow({0, 0}, -2.0).re, 0.0);
    EXPECT_EQ(complexNormalise({0, 0}).re, 0.0);
}

}  // namespace
}  // namespace globaro
