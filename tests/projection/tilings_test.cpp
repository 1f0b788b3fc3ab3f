// The tiling engines against closed forms: the equianharmonic ℘ and the
// hyperbolic folds.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "projection/elliptic.h"
#include "projection/tilings.h"

namespace globaro {
namespace {

Complex p(Complex z) {
    const WeierstrassRatio w = equianharmonicP(z);
    return complexDivide(w.num, w.den);
}

// ℘ at its real half-period is e₁ = 4^{−1/3} (the root of 4e³ − g₃), at the
// lattice triangle's centre 0; it repeats with the lattice and is even.
TEST(Tilings, EquianharmonicPAgainstClosedForms) {
    const double w = equianharmonicHalfPeriod(), e1 = std::cbrt(0.25);
    const Complex b2{w, w * std::numbers::sqrt3};
    struct Case {
        Complex z, want;
    } cases[] = {
        {{w, 0.0}, {e1, 0.0}},
        {{w / 2.0, w * std::numbers::sqrt3 / 2.0},
         {-e1 / 2.0, -e1 * std::numbers::sqrt3 / 2.0}},  // e^{−2iπ/3}·e₁ at b₂/2
        {{w, w / std::numbers::sqrt3}, {0.0, 0.0}},      // (b₁ + b₂)/3
    };
    for (const Case& c : cases) {
        const Complex got = p(c.z);
        EXPECT_NEAR(got.re, c.want.re, 1e-12) << c.z.re << ", " << c.z.im;
        EXPECT_NEAR(got.im, c.want.im, 1e-12) << c.z.re << ", " << c.z.im;
    }
    for (const Complex z : {Complex{0.3, 0.2}, Complex{-1.1, 0.9}, Complex{2.2, -0.4}}) {
        const Complex here = p(z), shifted = p({z.re + 2.0 * w + b2.re, z.im + b2.im}), mirrored = p({-z.re, -z.im});
        EXPECT_NEAR(complexAbs({here.re - shifted.re, here.im - shifted.im}), 0.0, 1e-11 * complexAbs(here));
        EXPECT_NEAR(complexAbs({here.re - mirrored.re, here.im - mirrored.im}), 0.0, 1e-11 * complexAbs(here));
    }
}

// sd at the quarter periods and their halves, in closed form: sd(K) = 1/k′,
// sd(iK′) = i/k, sd(K/2) = 1/√(k′(1+k′)), sd(iK′/2) = i/√(k(1+k)), the zero
// at 2K, sd(u + 2K) = −sd(u) and the pole at K + iK′; for the Landen descent,
// the theta series and the amplitude tables alike.
TEST(Tilings, SdAtTheQuarterPeriods) {
    struct Case {
        double re, im;  // the argument, in K and K′
        double wantRe, wantIm;
        bool pole;
    };
    for (const double m : {0.5, (2.0 - std::numbers::sqrt3) / 4.0, 0.9}) {
        const double k = std::sqrt(m), kp = std::sqrt(1.0 - m);
        const Case cases[] = {
            {1.0, 0.0, 1.0 / kp, 0.0, false},
            {-1.0, 0.0, -1.0 / kp, 0.0, false},
            {3.0, 0.0, -1.0 / kp, 0.0, false},
            {0.0, 1.0, 0.0, 1.0 / k, false},
            {2.0, 1.0, 0.0, -1.0 / k, false},
            {0.5, 0.0, 1.0 / std::sqrt(kp * (1.0 + kp)), 0.0, false},
            {0.0, 0.5, 0.0, 1.0 / std::sqrt(k * (1.0 + k)), false},
            {2.0, 0.0, 0.0, 0.0, false},
            {1.0, 1.0, 0.0, 0.0, true},
            {-1.0, 3.0, 0.0, 0.0, true},
        };
        const ThetaSd theta(m);
        const JacobiTable real(m), imaginary(1.0 - m);
        const double qk = completeEllipticK(m), qkp = completeEllipticK(1.0 - m);
        for (const Case& c : cases)
            for (const int way : {0, 1, 2}) {
                const Complex u{c.re * qk, c.im * qkp};
                const ComplexRatio r = way == 0 ? jacobiSd(u, m) : way == 1 ? theta(u) : jacobiSd(u, real, imaginary);
                SCOPED_TRACE(::testing::Message() << "m " << m << " at " << c.re << "K + " << c.im << "iK′ by "
                                                  << (way == 0   ? "descent"
                                                      : way == 1 ? "theta"
                                                                 : "table"));
                if (c.pole) {
                    EXPECT_LT(complexAbs(r.den), 1e-12 * complexAbs(r.num));
                    continue;
                }
                const Complex x = complexDivide(r.num, r.den);
                EXPECT_NEAR(x.re, c.wantRe, 1e-12);
                EXPECT_NEAR(x.im, c.wantIm, 1e-12);
            }
    }
}

// The theta series agree with the Landen descent over several periods.
TEST(Tilings, ThetaSdAgreesWithTheDescent) {
    for (const double m : {0.5, (2.0 - std::numbers::sqrt3) / 4.0, 0.9}) {
        const ThetaSd sd(m);
        const double k = sd.quarterPeriod(), kp = completeEllipticK(1.0 - m);
        for (const Complex u : {Complex{0.3, 0.2}, Complex{0.9 * k, 0.4 * kp}, Complex{2.7 * k, -1.3 * kp},
                                Complex{-5.1 * k, 3.4 * kp}}) {
            const ComplexRatio a = sd(u), b = jacobiSd(u, m);
            const Complex x = complexDivide(a.num, a.den), y = complexDivide(b.num, b.den);
            EXPECT_NEAR(complexAbs({x.re - y.re, x.im - y.im}), 0.0, 1e-11 * (1.0 + complexAbs(y))) << m << " " << u.re;
        }
    }
}

// The amplitude tables agree with the descent between their nodes, over
// several periods and on both sides of 0.
TEST(Tilings, JacobiTableAgreesWithTheDescent) {
    for (const double m : {0.0, 0.5, 0.9}) {
        const JacobiTable table(m);
        for (double u = -9.0; u <= 9.0; u += 0.01237) {
            const JacobiValues a = table(u), b = jacobiReal(u, m);
            EXPECT_NEAR(a.sn, b.sn, 1e-13) << m << " " << u;
            EXPECT_NEAR(a.cn, b.cn, 1e-13) << m << " " << u;
            EXPECT_NEAR(a.dn, b.dn, 1e-13) << m << " " << u;
        }
    }
}

// The fold ends inside the base tile, leaves its inside alone, and gives a
// point and its mirror image in a side the same answer.
TEST(Tilings, HyperbolicFoldsLandInTheBaseTile) {
    for (const auto& [pp, qq] : {std::pair{3, 9}, std::pair{4, 8}, std::pair{5, 4}}) {
        const HyperbolicTiling t(pp, qq);
        // The vertex angle 2π/q: two sides from the vertex at radius r meet there.
        const double r = t.vertexRadius(), m = t.sideRadius();
        EXPECT_LT(m, r);
        for (int i = 0; i < 200; ++i) {
            const double radius = 0.98 * std::sqrt((i + 0.5) / 200.0), angle = i * 2.399963;
            Complex z{radius * std::cos(angle), radius * std::sin(angle)};
            ASSERT_TRUE(t.fold(z)) << pp << "," << qq << " " << i;
            Complex again = z;
            ASSERT_TRUE(t.fold(again));
            EXPECT_NEAR(again.re, z.re, 1e-9);
            EXPECT_NEAR(again.im, z.im, 1e-9);
            EXPECT_LE(std::hypot(z.re, z.im), r + 1e-9);
            if (t.foldsToTriangle()) {
                // Between the vertex at angle 0 and the side's middle at π/p.
                const double a = std::atan2(z.im, z.re);
                EXPECT_GE(a, -1e-9) << pp << "," << qq << " " << i;
                EXPECT_LE(a, std::numbers::pi / pp + 1e-9) << pp << "," << qq << " " << i;
            }
            // The tiling's own symmetries (a turn by a side, the mirror in
            // the real axis) leave the folded point where it was, up to
            // those symmetries where the fold ends in the whole p-gon.
            const Complex start{radius * std::cos(angle), radius * std::sin(angle)};
            const Complex turn = complexUnit(2.0 * std::numbers::pi / pp);
            for (Complex image : {complexMul(start, turn), complexConjugate(start)}) {
                ASSERT_TRUE(t.fold(image));
                if (t.foldsToTriangle()) {
                    EXPECT_NEAR(image.re, z.re, 1e-9) << pp << "," << qq << " " << i;
                    EXPECT_NEAR(image.im, z.im, 1e-9) << pp << "," << qq << " " << i;
                } else {
                    EXPECT_NEAR(std::hypot(image.re, image.im), std::hypot(z.re, z.im), 1e-9);
                }
            }
        }
        // A point near a side's middle and its inversion in that side fold alike.
        const Complex mid{m * std::cos(std::numbers::pi / pp), m * std::sin(std::numbers::pi / pp)};
        Complex inside{mid.re * 0.97, mid.im * 0.97};
        const double d = (m + 1.0 / m) / 2.0, rho2 = std::pow((1.0 / m - m) / 2.0, 2.0);
        const Complex c{d * std::cos(std::numbers::pi / pp), d * std::sin(std::numbers::pi / pp)};
        const Complex off{inside.re - c.re, inside.im - c.im};
        const double n = off.re * off.re + off.im * off.im;
        Complex outside{c.re + rho2 * off.re / n, c.im + rho2 * off.im / n};
        ASSERT_TRUE(t.fold(inside) && t.fold(outside));
        EXPECT_NEAR(inside.re, outside.re, 1e-9);
        EXPECT_NEAR(inside.im, outside.im, 1e-9);
        Complex rim{1.0, 0.0};
        EXPECT_FALSE(t.fold(rim));
    }
}

}  // namespace
}  // namespace globaro
