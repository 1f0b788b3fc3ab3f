// The sphere frame: rotations from angles, the half-angle fold, normalised
// output positions, field-of-view constants, the polyhedron model's
// equirectangular pair and the vector and complex helpers.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>

#include "geometry/sphere_frame.h"
#include "geometry/vec_math.h"

namespace globaro {
namespace {

constexpr double kPi = 3.141592653589793;

// Direction of a latitude (north positive) and longitude (east positive).
SphereDir latLon(double latDeg, double lonDeg) {
    const double f = latDeg * kPi / 180.0;
    const double l = lonDeg * kPi / 180.0;
    return {static_cast<float>(-std::cos(f) * std::sin(l)), static_cast<float>(std::sin(f)),
            static_cast<float>(std::cos(f) * std::cos(l))};
}

void expectDir(const SphereDir& got, double x, double y, double z, double tol = 1e-5) {
    EXPECT_NEAR(got.x, x, tol);
    EXPECT_NEAR(got.y, y, tol);
    EXPECT_NEAR(got.z, z, tol);
}

// Right-handed rotations about the axes, written out directly in double.
Vec3d aboutX(const Vec3d& v, double a) {
    return {v.x, v.y * std::cos(a) - v.z * std::sin(a), v.y * std::sin(a) + v.z * std::cos(a)};
}
Vec3d aboutY(const Vec3d& v, double a) {
    return {v.x * std::cos(a) + v.z * std::sin(a), v.y, -v.x * std::sin(a) + v.z * std::cos(a)};
}
Vec3d aboutZ(const Vec3d& v, double a) {
    return {v.x * std::cos(a) - v.y * std::sin(a), v.x * std::sin(a) + v.y * std::cos(a), v.z};
}

TEST(Rotation, Latitude90CarriesTheCentreToTheNorthPole) {
    const RotationRecord r = rotationFromAngles(0.0f, 90.0f, 0.0f);
    expectDir(rotate(r, {0.0f, 0.0f, 1.0f}), 0.0, 1.0, 0.0);
}

TEST(Rotation, ZeroAnglesAreTheIdentity) {
    const RotationRecord r = rotationFromAngles(0.0f, 0.0f, 0.0f);
    const SphereDir d = latLon(25.0, -130.0);
    expectDir(rotate(r, d), d.x, d.y, d.z, 1e-7);
}

TEST(Rotation, LongitudeTurnsAboutTheAxisOfThePoles) {
    // Longitude +90 brings the point at 90° east into the centre's place.
    const RotationRecord r = rotationFromAngles(90.0f, 0.0f, 0.0f);
    const SphereDir d = rotate(r, {0.0f, 0.0f, 1.0f});
    const SphereDir east = latLon(0.0, 90.0);
    expectDir(d, east.x, east.y, east.z);
    expectDir(rotate(r, {0.0f, 1.0f, 0.0f}), 0.0, 1.0, 0.0);
}

TEST(Rotation, SpinTurnsAboutTheViewAxis) {
    const RotationRecord r = rotationFromAngles(0.0f, 0.0f, 90.0f);
    expectDir(rotate(r, {0.0f, 0.0f, 1.0f}), 0.0, 0.0, 1.0);
    expectDir(rotate(r, {1.0f, 0.0f, 0.0f}), 0.0, -1.0, 0.0);
}

TEST(Rotation, SpinFirstThenLatitudeThenLongitude) {
    const float angles[][3] = {{30.0f, 20.0f, 10.0f},   {-75.0f, 45.0f, 120.0f}, {170.0f, -60.0f, -33.0f},
                               {0.0f, 89.0f, 45.0f},    {12.5f, -12.5f, 200.0f}, {-180.0f, 90.0f, 90.0f}};
    const SphereDir dirs[] = {{0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, latLon(33.0, 71.0),
                              latLon(-48.0, -152.0)};
    for (const auto& a : angles) {
        const RotationRecord r = rotationFromAngles(a[0], a[1], a[2]);
        const double lon = a[0] * kPi / 180.0;
        const double lat = a[1] * kPi / 180.0;
        const double spin = a[2] * kPi / 180.0;
        for (const SphereDir& d : dirs) {
            const Vec3d want = aboutY(aboutX(aboutZ(toVec3d(d), -spin), -lat), -lon);
            SCOPED_TRACE(testing::Message() << "lon " << a[0] << " lat " << a[1] << " spin " << a[2]);
            expectDir(rotate(r, d), want.x, want.y, want.z, 2e-6);
        }
    }
}

void expectOrthonormal(const Mat3& m) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double row = double(m.m[i][0]) * m.m[j][0] + double(m.m[i][1]) * m.m[j][1] +
                               double(m.m[i][2]) * m.m[j][2];
            EXPECT_NEAR(row, i == j ? 1.0 : 0.0, 1e-6);
        }
    }
    const double det = double(m.m[0][0]) * (double(m.m[1][1]) * m.m[2][2] - double(m.m[1][2]) * m.m[2][1]) -
                       double(m.m[0][1]) * (double(m.m[1][0]) * m.m[2][2] - double(m.m[1][2]) * m.m[2][0]) +
                       double(m.m[0][2]) * (double(m.m[1][0]) * m.m[2][1] - double(m.m[1][1]) * m.m[2][0]);
    EXPECT_NEAR(det, 1.0, 1e-6);
}

TEST(Rotation, MatricesAreOrthonormal) {
    const float angles[][3] = {{0.0f, 0.0f, 0.0f}, {30.0f, 20.0f, 10.0f}, {-75.0f, 45.0f, 120.0f},
                               {170.0f, -60.0f, -33.0f}, {359.0f, 90.0f, -270.0f}};
    for (const auto& a : angles) {
        const RotationRecord r = rotationFromAngles(a[0], a[1], a[2]);
        expectOrthonormal(r.latitudeMatrix);
        expectOrthonormal(r.longitudeMatrix);
        expectOrthonormal(r.spinMatrix);
        expectOrthonormal(r.product);
        EXPECT_NEAR(std::sqrt(dot(r.spinAxis, r.spinAxis)), 1.0, 1e-6);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(r.product.m[i][3], 0.0f);
    }
    expectOrthonormal(tiltedRotation().product);
}

TEST(Rotation, AnglesAreKeptInRadians) {
    const RotationRecord r = rotationFromAngles(180.0f, 90.0f, -45.0f);
    EXPECT_FLOAT_EQ(r.longitude, 3.1415927f);
    EXPECT_FLOAT_EQ(r.latitude, 1.5707964f);
    EXPECT_FLOAT_EQ(r.spin, -0.78539819f);
    const RotationRecord t = tiltedRotation();
    EXPECT_FLOAT_EQ(t.latitude, -0.8650501f);
    EXPECT_FLOAT_EQ(t.longitude, 1.1684928f);
    EXPECT_FLOAT_EQ(t.spin, -0.7012425f);
}

TEST(Rotation, SpinAxisIsTheCarriedViewAxis) {
    const RotationRecord r = rotationFromAngles(0.0f, 90.0f, 0.0f);
    // R1ᵀ·(0, 0, 1) with R1 the rotation about x by +90°: (0, 1, 0).
    expectDir(r.spinAxis, 0.0, 1.0, 0.0);
}

TEST(Rotation, AxisRotationIsRightHandedAndStoredByRows) {
    const Mat3 m = axisRotation({0.0, 0.0, 1.0}, kPi / 2.0);
    // M·(1, 0, 0) = first column = (0, 1, 0): x turns towards y.
    EXPECT_NEAR(m.m[0][0], 0.0, 1e-7);
    EXPECT_NEAR(m.m[1][0], 1.0, 1e-7);
    EXPECT_NEAR(m.m[0][1], -1.0, 1e-7);
    // Applied as Mᵀ·d it turns the other way.
    expectDir(applyTransposed(m, {1.0f, 0.0f, 0.0f}), 0.0, -1.0, 0.0, 1e-7);
}

TEST(Rotation, MatMulComposesLikeApplyingInTurn) {
    const Mat3 a = axisRotation({1.0, 0.0, 0.0}, 0.7);
    const Mat3 b = axisRotation({0.0, 1.0, 0.0}, -1.1);
    const SphereDir d = latLon(10.0, 20.0);
    // (A·B)ᵀ·d = Bᵀ·(Aᵀ·d)
    const SphereDir lhs = applyTransposed(matMul(a, b), d);
    const SphereDir rhs = applyTransposed(b, applyTransposed(a, d));
    expectDir(lhs, rhs.x, rhs.y, rhs.z, 1e-6);
}

TEST(HalfAngleFold, HalvesTheAngleFromTheViewAxis) {
    for (double angle : {0.0, 10.0, 45.0, 90.0, 135.0, 179.0}) {
        const SphereDir d = latLon(0.0, angle);
        const SphereDir f = halfAngleFold(d);
        EXPECT_NEAR(std::acos(std::fmin(1.0f, f.z)) * 180.0 / kPi, angle / 2.0, 1e-3) << angle;
        EXPECT_NEAR(std::sqrt(dot(f, f)), 1.0, 1e-6);
        // It stays in the plane of d and the view axis.
        EXPECT_NEAR(f.y, 0.0, 1e-7);
        EXPECT_LE(f.x, 0.0f);
    }
    expectDir(halfAngleFold({0.0f, 0.0f, 1.0f}), 0.0, 0.0, 1.0);
    expectDir(halfAngleFold({0.0f, 1.0f, 0.0f}), 0.0, std::sqrt(0.5), std::sqrt(0.5));
    // The opposite of the view axis has no bisector: the guarded normalisation answers +z.
    expectDir(halfAngleFold({0.0f, 0.0f, -1.0f}), 0.0, 0.0, 1.0);
}

TEST(HalfAngleFold, ModesFollowTheOutput) {
    EXPECT_EQ(halfAngleFoldModeFor(1, false), kFoldOff);
    EXPECT_EQ(halfAngleFoldModeFor(36, false), kFoldOff);
    EXPECT_EQ(halfAngleFoldModeFor(1, true), kFoldBeforeRotation);
    EXPECT_EQ(halfAngleFoldModeFor(62, true), kFoldBeforeRotation);
    for (ProjectionId id : {36, 37, 38, 53, 61, 63, 73, 74, 288, 300, 301, 1044}) {
        EXPECT_TRUE(foldsAfterRotation(id)) << id;
        EXPECT_EQ(halfAngleFoldModeFor(id, true), kFoldAfterRotation) << id;
    }
    for (ProjectionId id : {0, 35, 39, 1043, 1045, -36}) EXPECT_FALSE(foldsAfterRotation(id)) << id;
}

TEST(OutputPosition, ImageRecordKeepsItsRatios) {
    const OutputImageRecord r = makeOutputImageRecord(200, 100);
    EXPECT_EQ(r.width, 200);
    EXPECT_EQ(r.height, 100);
    EXPECT_FLOAT_EQ(r.heightOverWidth, 0.5f);
    EXPECT_FLOAT_EQ(r.widthOverHeight, 2.0f);
    EXPECT_FLOAT_EQ(r.halfOverWidth, 0.0025f);
    EXPECT_FLOAT_EQ(r.halfOverHeight, 0.005f);
    // A degenerate size is raised to one pixel instead of dividing by zero.
    const OutputImageRecord z = makeOutputImageRecord(0, -5);
    EXPECT_EQ(z.width, 1);
    EXPECT_EQ(z.height, 1);
    EXPECT_TRUE(std::isfinite(z.halfOverWidth));
}

TEST(OutputPosition, FractionsFollowTheFormula) {
    const OutputImageRecord r = makeOutputImageRecord(8, 4);
    // px = 3·1 + 0 + 0.5 = 3.5; a = (2·3.5 + 1)·(0.5/8) = 0.5.
    const OutputPosition p = normalisedOutputPosition(3.0f, 1.0f, 1.0f, 0.0f, 0.0f, r);
    EXPECT_FLOAT_EQ(p.a, 0.5f);
    EXPECT_FLOAT_EQ(p.b, 0.5f);
    EXPECT_FLOAT_EQ(p.c, 0.0f);
    EXPECT_FLOAT_EQ(p.d, 0.0f);
    // Scale and offsets enter before the half-pixel shift.
    const OutputPosition q = normalisedOutputPosition(1.0f, 1.0f, 2.0f, 0.25f, -0.5f, r);
    EXPECT_FLOAT_EQ(q.a, (2.0f * (2.0f + 0.25f + 0.5f) + 1.0f) * (0.5f / 8.0f));
    EXPECT_FLOAT_EQ(q.b, (2.0f * (2.0f - 0.5f + 0.5f) + 1.0f) * (0.5f / 4.0f));
}

TEST(OutputPosition, SquareImageSpansHalfUnitsBothWays) {
    const OutputImageRecord r = makeOutputImageRecord(64, 64);
    // x = −1 gives a = 0, x = W − 1 gives a = 1.
    const OutputPosition lo = normalisedOutputPosition(-1.0f, -1.0f, 1.0f, 0.0f, 0.0f, r);
    const OutputPosition hi = normalisedOutputPosition(63.0f, 63.0f, 1.0f, 0.0f, 0.0f, r);
    EXPECT_FLOAT_EQ(lo.c, -0.5f);
    EXPECT_FLOAT_EQ(lo.d, -0.5f);
    EXPECT_FLOAT_EQ(hi.c, 0.5f);
    EXPECT_FLOAT_EQ(hi.d, 0.5f);
}

TEST(OutputPosition, ShorterSideSpansHalfUnits) {
    const OutputImageRecord wide = makeOutputImageRecord(200, 100);
    const OutputPosition w = normalisedOutputPosition(199.0f, 99.0f, 1.0f, 0.0f, 0.0f, wide);
    EXPECT_FLOAT_EQ(w.c, 1.0f);
    EXPECT_FLOAT_EQ(w.d, 0.5f);
    const OutputImageRecord tall = makeOutputImageRecord(100, 300);
    const OutputPosition t = normalisedOutputPosition(-1.0f, -1.0f, 1.0f, 0.0f, 0.0f, tall);
    EXPECT_FLOAT_EQ(t.c, -0.5f);
    EXPECT_FLOAT_EQ(t.d, -1.5f);
}

TEST(FieldOfView, TangentsOfHalfAndQuarterAngles) {
    const FieldOfViewConstants c = fieldOfViewConstants(90.0f);
    EXPECT_NEAR(c.wideTan, 2.0, 1e-6);                           // 2·tan 45°
    EXPECT_NEAR(c.narrowTan, 2.0 * std::tan(kPi / 8.0), 1e-6);   // 2·tan 22.5°
    const FieldOfViewConstants d = fieldOfViewConstants(120.0f);
    EXPECT_NEAR(d.wideTan, 2.0 * std::tan(kPi / 3.0), 1e-5);
    EXPECT_NEAR(d.narrowTan, 2.0 * std::tan(kPi / 6.0), 1e-6);
    // Both are capped at 0.999 of a quarter turn.
    const double cap = 2.0 * std::tan(double(0.999f * 1.5707964f));
    EXPECT_FLOAT_EQ(fieldOfViewConstants(180.0f).wideTan, static_cast<float>(cap));
    EXPECT_FLOAT_EQ(fieldOfViewConstants(360.0f).wideTan, static_cast<float>(cap));
    EXPECT_FLOAT_EQ(fieldOfViewConstants(720.0f).narrowTan, static_cast<float>(cap));
    EXPECT_TRUE(std::isfinite(fieldOfViewConstants(1e30f).wideTan));
}

TEST(ModelEquirect, BackOfTheSphereIsZeroOrOne) {
    // atan2(+0, −1) = π gives u = 1 (kept), atan2(−0, −1) = −π gives u = 0.
    const Vec2d a = modelEquirectFromDirection({0.0, 0.0, -1.0});
    const Vec2d b = modelEquirectFromDirection({-0.0, 0.0, -1.0});
    EXPECT_TRUE(a.x == 0.0 || a.x == 1.0) << a.x;
    EXPECT_TRUE(b.x == 0.0 || b.x == 1.0) << b.x;
    EXPECT_NEAR(a.y, 0.5, 1e-12);
}

TEST(ModelEquirect, IsTheMirrorOfTheSamplingConvention) {
    // +x lies at u = 0.75 here (0.25 in an equirectangular input).
    const Vec2d p = modelEquirectFromDirection({1.0, 0.0, 0.0});
    EXPECT_NEAR(p.x, 0.75, 1e-12);
    EXPECT_NEAR(p.y, 0.5, 1e-12);
    const Vec2d n = modelEquirectFromDirection({0.0, 1.0, 0.0});
    EXPECT_NEAR(n.y, 0.0, 1e-12);
    // y slightly beyond the pole is clamped instead of giving no number.
    const Vec2d s = modelEquirectFromDirection({0.0, -1.0000001, 0.0});
    EXPECT_NEAR(s.y, 1.0, 1e-12);
}

TEST(ModelEquirect, RoundTrip) {
    for (double u = 0.03; u < 1.0; u += 0.07) {
        for (double v = 0.02; v < 1.0; v += 0.09) {
            const Vec3d d = modelDirectionFromEquirect(u, v);
            EXPECT_NEAR(length(d), 1.0, 1e-12);
            const Vec2d back = modelEquirectFromDirection(d);
            EXPECT_NEAR(back.x, u, 1e-6);
            EXPECT_NEAR(back.y, v, 1e-9);
        }
    }
}

TEST(PlaneAngle, IsAtan2PlusPiAndHalfPiAtTheOrigin) {
    EXPECT_EQ(planeAngle(0.0f, 0.0f), 1.5707964f);
    EXPECT_EQ(planeAngle(0.0, 0.0), 1.5707963267948966);
    EXPECT_EQ(planeAngle(1.0f, 0.0f), 4.712389f);
    EXPECT_EQ(planeAngle(-1.0f, 0.0f), 1.5707964f);
    for (double a = -3.1; a < 3.14; a += 0.173) {
        const double p = std::sin(a);
        const double q = std::cos(a);
        const double want = std::atan2(p, q) + kPi;
        EXPECT_NEAR(planeAngle(static_cast<float>(p), static_cast<float>(q)), want, 2e-6) << a;
        EXPECT_NEAR(planeAngle(p, q), want, 1e-12) << a;
    }
}

TEST(VectorFunctions, Normalisations) {
    expectDir(normalise(SphereDir{0.0f, 0.0f, 0.0f}), 0.0, 0.0, 1.0, 0.0);
    const Vec3d g = normalise(Vec3d{0.0, 0.0, 0.0});
    EXPECT_EQ(g.z, 1.0);
    const Vec3d zs = normaliseZeroSafe(Vec3d{0.0, 0.0, 0.0});
    EXPECT_EQ(zs.x, 0.0);
    EXPECT_EQ(zs.y, 0.0);
    EXPECT_EQ(zs.z, 0.0);
    expectDir(normalise(SphereDir{3.0f, 0.0f, 4.0f}), 0.6, 0.0, 0.8, 1e-7);
    expectDir(normaliseUnguarded(SphereDir{0.0f, -2.0f, 0.0f}), 0.0, -1.0, 0.0, 1e-7);
    const Vec3d n = normalise(Vec3d{1.0, 2.0, 2.0});
    EXPECT_NEAR(n.y, 2.0 / 3.0, 1e-15);
}

TEST(VectorFunctions, SmallOperations) {
    const Vec3d a{1.0, 2.0, 3.0};
    const Vec3d b{4.0, 6.0, 3.0};
    const Vec3d diff = difference(a, b);
    EXPECT_EQ(diff.x, 3.0);
    EXPECT_EQ(diff.y, 4.0);
    EXPECT_EQ(diff.z, 0.0);
    const Vec3d dir = directionBetween(a, b);
    EXPECT_NEAR(dir.x, 0.6, 1e-15);
    EXPECT_NEAR(dir.y, 0.8, 1e-15);
    const Vec3d same = directionBetween(a, a);
    EXPECT_EQ(length(same), 0.0);
    const Vec3d s3 = sum3(a, b, a);
    EXPECT_EQ(s3.x, 6.0);
    const Vec3d m = midpoint(a, b);
    EXPECT_EQ(m.y, 4.0);
    const Vec3d l = lerp(a, b, 0.25);
    EXPECT_EQ(l.x, 1.75);
    const Vec3d c = cross(Vec3d{1.0, 0.0, 0.0}, Vec3d{0.0, 1.0, 0.0});
    EXPECT_EQ(c.z, 1.0);
    const Vec3d ng = negate(a);
    EXPECT_EQ(ng.z, -3.0);
    const Vec3d sg = sign(Vec3d{-2.0, 0.0, 5.0});
    EXPECT_EQ(sg.x, -1.0);
    EXPECT_EQ(sg.y, 0.0);
    EXPECT_EQ(sg.z, 1.0);
    const Vec3d sc = scaledDirection(Vec3d{0.0, 0.0, 2.0}, 5.0);
    EXPECT_EQ(sc.z, 5.0);
    EXPECT_EQ(length(scaledDirection(Vec3d{}, 5.0)), 0.0);
    const Vec3d r = reflect(SphereDir{1.0f, -1.0f, 0.0f}, SphereDir{0.0f, 1.0f, 0.0f});
    EXPECT_EQ(r.x, 1.0);
    EXPECT_EQ(r.y, 1.0);
}

TEST(VectorFunctions, PlaneAndBarycentric) {
    const Vec2d f = planeFloor({-1.25, 2.5});
    EXPECT_EQ(f.x, -2.0);
    EXPECT_EQ(f.y, 2.0);
    const Vec2d fr = planeFraction({-1.25, 2.5});
    EXPECT_EQ(fr.x, 0.75);
    EXPECT_EQ(fr.y, 0.5);
    EXPECT_EQ(planeLength({3.0, 4.0}), 5.0);
    EXPECT_EQ(planeMidpoint({0.0, 0.0}, {2.0, 4.0}).y, 2.0);
    EXPECT_EQ(planeLerp({0.0, 0.0}, {2.0, 4.0}, 0.5).x, 1.0);
    const Vec3d A{1.0, 0.0, 0.0};
    const Vec3d B{0.0, 1.0, 0.0};
    const Vec3d C{0.0, 0.0, 1.0};
    const Vec3d p = barycentricPoint(A, B, C, 0.2, 0.3, 0.5);
    EXPECT_DOUBLE_EQ(p.x, 0.2);
    EXPECT_DOUBLE_EQ(p.y, 0.3);
    EXPECT_DOUBLE_EQ(p.z, 0.5);
    const Vec3d q = barycentricPointWS(A, B, C, 0.25, 0.5f);
    EXPECT_DOUBLE_EQ(q.x, 0.25);
    EXPECT_DOUBLE_EQ(q.y, 0.25);
    EXPECT_DOUBLE_EQ(q.z, 0.5);
    const Vec2d p2 = barycentricPoint(Vec2d{0.0, 0.0}, Vec2d{2.0, 0.0}, Vec2d{0.0, 2.0}, 0.5, 0.25, 0.25);
    EXPECT_DOUBLE_EQ(p2.x, 0.5);
    EXPECT_DOUBLE_EQ(p2.y, 0.5);
}

void expectComplex(const Complex& got, const std::complex<double>& want, double tol = 1e-12) {
    EXPECT_NEAR(got.re, want.real(), tol);
    EXPECT_NEAR(got.im, want.imag(), tol);
}

TEST(ComplexFunctions, Basics) {
    const Complex a{1.5, -2.0};
    const Complex b{-0.5, 0.75};
    const std::complex<double> ca(1.5, -2.0);
    const std::complex<double> cb(-0.5, 0.75);
    expectComplex(complexUnit(0.3), std::polar(1.0, 0.3));
    expectComplex(complexMul(a, b), ca * cb);
    expectComplex(complexSquare(a), ca * ca);
    expectComplex(complexNegate(a), -ca);
    expectComplex(complexConjugate(a), std::conj(ca));
    expectComplex(complexTimesMinusI(a), ca * std::complex<double>(0.0, -1.0));
    expectComplex(complexNormalise(a), ca / std::abs(ca));
    const Complex zero = complexNormalise({0.0, 0.0});
    EXPECT_EQ(zero.re, 0.0);
    EXPECT_EQ(zero.im, 0.0);
}

TEST(ComplexFunctions, RealPower) {
    const std::complex<double> z(0.3, -1.2);
    expectComplex(complexPow({0.3, -1.2}, 0.5), std::pow(z, 0.5));
    expectComplex(complexPow({0.3, -1.2}, 2.0), z * z, 1e-12);
    expectComplex(complexPow({0.3, -1.2}, -1.5), std::pow(z, -1.5), 1e-12);
    const Complex zero = complexPow({0.0, 0.0}, -2.0);
    EXPECT_EQ(zero.re, 0.0);
    EXPECT_EQ(zero.im, 0.0);
}

TEST(ComplexFunctions, SmithDivision) {
    const std::complex<double> a(2.0, -3.0);
    for (const auto& b : {std::complex<double>(4.0, 0.5), std::complex<double>(0.5, 4.0),
                          std::complex<double>(-1e-3, 7.0), std::complex<double>(1e200, 1e199),
                          std::complex<double>(1e-200, -3e-200)}) {
        const Complex q = complexDivide({a.real(), a.imag()}, {b.real(), b.imag()});
        const std::complex<double> want = a / b;
        EXPECT_NEAR(q.re, want.real(), 1e-12 * std::abs(want) + 1e-300);
        EXPECT_NEAR(q.im, want.imag(), 1e-12 * std::abs(want) + 1e-300);
        EXPECT_TRUE(std::isfinite(q.re));
    }
}

TEST(ComplexFunctions, TanhAndDiscAutomorphism) {
    for (const auto& z : {std::complex<double>(0.3, 0.4), std::complex<double>(-1.2, 2.0),
                          std::complex<double>(0.0, 1.0), std::complex<double>(5.0, -0.7)}) {
        expectComplex(complexTanh({z.real(), z.imag()}), std::tanh(z), 1e-12);
    }
    const Complex far = complexTanh({900.0, 0.3});
    EXPECT_EQ(far.re, 1.0);
    EXPECT_EQ(far.im, 0.0);
    const Complex w{0.3, -0.2};
    // w goes to the centre; the unit circle stays on itself.
    const Complex c = discAutomorphism(w, w);
    EXPECT_NEAR(c.re, 0.0, 1e-15);
    EXPECT_NEAR(c.im, 0.0, 1e-15);
    for (double t = 0.0; t < 6.28; t += 0.5) {
        EXPECT_NEAR(complexAbs(discAutomorphism(complexUnit(t), w)), 1.0, 1e-12);
    }
    const std::complex<double> z(0.1, 0.5), cw(0.3, -0.2);
    expectComplex(discAutomorphism({0.1, 0.5}, w), (z - cw) / (1.0 - z * std::conj(cw)));
}

}  // namespace
}  // namespace globaro
