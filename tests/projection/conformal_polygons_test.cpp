// The Schwarz–Christoffel engine against closed forms and itself, and the
// world maps it draws in polygons, stars and rhombi.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "output_test_support.h"
#include "polyhedra/generators.h"
#include "projection/elliptic.h"
#include "projection/output_splat.h"
#include "projection/schwarz_christoffel.h"

namespace globaro {
namespace {

constexpr double kPi = std::numbers::pi;

Complex at(double r, double angle) { return {r * std::cos(angle), r * std::sin(angle)}; }
double gap(Complex a, Complex b) { return std::hypot(a.re - b.re, a.im - b.im); }

// ∫₀^z w′ along the segment, by composite Gauss–Legendre (5 points a panel),
// from the closed-form derivative alone.
Complex quadrature(const StarMap& m, Complex z) {
    constexpr double node[5] = {-0.9061798459386640, -0.5384693101056831, 0.0, 0.5384693101056831, 0.9061798459386640};
    constexpr double weight[5] = {0.2369268850561891, 0.4786286704993665, 0.5688888888888889, 0.4786286704993665,
                                  0.2369268850561891};
    constexpr int kPanels = 100;
    Complex sum{};
    for (int p = 0; p < kPanels; ++p)
        for (int i = 0; i < 5; ++i) {
            const double t = (p + 0.5 + 0.5 * node[i]) / kPanels;
            const Complex d = m.derivative({z.re * t, z.im * t});
            sum.re += weight[i] * 0.5 / kPanels * d.re, sum.im += weight[i] * 0.5 / kPanels * d.im;
        }
    return complexMul(sum, z);
}

struct EngineCase {
    int points;
    double tipAngle;   // over π
    double tipRadius;  // a closed form where one is known, else 0
};

// The n-gon's corners lie at B(1/n, 1 − 2/n)/n; the square's at K(1/2)/√2.
const EngineCase kEngineCases[] = {
    {3, 1.0 / 3.0, std::beta(1.0 / 3.0, 1.0 / 3.0) / 3.0},
    {4, 0.5, completeEllipticK(0.5) / std::numbers::sqrt2},
    {5, 0.6, std::beta(0.2, 0.6) / 5.0},
    {6, 2.0 / 3.0, std::beta(1.0 / 6.0, 2.0 / 3.0) / 6.0},
    {2, 1.0 / 3.0, 0.0},
    {3, 1.0 / 6.0, 0.0},
    {5, 0.2, 0.0},
    {6, 1.0 / 3.0, 0.0},
    {12, 1.0 / 6.0, 0.0},  // many points: a nearly round star, singular well inside
    {16, 0.5, 0.0},
};

TEST(StarMap, MatchesClosedFormsQuadratureAndItsInverse) {
    for (const EngineCase& c : kEngineCases) {
        SCOPED_TRACE(::testing::Message() << c.points << " points, tips " << c.tipAngle << "π");
        const StarMap m(c.points, c.tipAngle);
        const double half = kPi / c.points, tip = m.tipRadius();
        if (c.tipRadius > 0.0) {
            EXPECT_NEAR(tip, c.tipRadius, 1e-13);
        }
        // The outline's angles fix its proportions: a tip of half-angle a seen
        // from the next inner corner, π/n round the centre.
        const double a = c.tipAngle * kPi / 2.0;
        EXPECT_NEAR(m.innerRadius() / tip, std::sin(a) / std::sin(a + half), 1e-12);
        EXPECT_NEAR(gap(m.forward({1.0, 0.0}), {tip, 0.0}), 0.0, 1e-12);
        EXPECT_NEAR(gap(m.forward(at(1.0, half)), at(m.innerRadius(), half)), 0.0, 1e-12);
        for (int i = 0; i <= 12; ++i)
            for (int j = 0; j < 48; ++j) {
                const Complex z = at(i / 12.0, j * kPi / 24.0 + 0.01);
                const Complex w = m.forward(z);
                Complex back;
                ASSERT_TRUE(m.inverse(w, back));
                ASSERT_LT(gap(back, z), 1e-9) << z.re << ", " << z.im;
                // n-fold and mirror symmetry
                ASSERT_LT(gap(m.forward(complexMul(z, at(1.0, 2.0 * half))), complexMul(w, at(1.0, 2.0 * half))),
                          1e-11);
                ASSERT_LT(gap(m.forward(complexConjugate(z)), complexConjugate(w)), 1e-11);
                if (i < 12 && j % 6 == 0) {
                    ASSERT_LT(gap(w, quadrature(m, z)), 1e-9) << z.re << ", " << z.im;
                }
            }
        // The inverse on a grid of the plane: inside the outline only, back
        // again through the forward map (away from the tips, where w is too
        // sensitive to z for double precision).
        int inside = 0;
        for (int i = -40; i <= 40; ++i)
            for (int j = -40; j <= 40; ++j) {
                const Complex w{tip * i / 40.0, tip * j / 40.0};
                Complex z;
                if (!m.inverse(w, z)) continue;
                ++inside;
                ASSERT_LE(complexAbs(z), 1.0 + 1e-12);
                const double fromTip = std::fmod(std::atan2(w.im, w.re) + 2.0 * kPi + half, 2.0 * half) - half;
                const bool nearTip = std::fabs(fromTip) < 0.05 && complexAbs(w) > 0.9 * tip;
                if (!nearTip) {
                    ASSERT_LT(gap(m.forward(z), w), 1e-9) << w.re << ", " << w.im;
                }
            }
        EXPECT_GT(inside, 400);
    }
}

TEST(StarMap, TheSquareIsJacobisSd) {
    // The disc onto the square of corners ±K/√2, ±iK/√2: z = sd(√2·w | 1/2)/√2.
    const StarMap m(4, 0.5);
    for (const Complex w : {Complex{0.3, 0.1}, Complex{0.9, 0.2}, Complex{0.5, 0.5}, Complex{-0.2, 1.1}}) {
        const ComplexRatio q = jacobiSd({std::numbers::sqrt2 * w.re, std::numbers::sqrt2 * w.im}, 0.5);
        const Complex sd = complexDivide(q.num, q.den);
        Complex z;
        ASSERT_TRUE(m.inverse(w, z));
        EXPECT_LT(gap(z, {sd.re / std::numbers::sqrt2, sd.im / std::numbers::sqrt2}), 1e-12);
    }
}

// The splat covers the sphere once (each direction back from the star point of Lagrange's
// z = −i(1 − q)/(1 + q), q = e^{(ψ − iλ)/2}), is conformal, and shows north up, east to the
// right (λ > 0 has x < 0; seen from the centre east × north points inwards).
TEST(StarMap, TheSplatIsConformalAndCoversTheSphereOnce) {
    const StarMap star(kSplatPoints, kSplatTipAngle);
    SphereDir d, e, n, up, down, left, right;
    for (int i = 0; i < 800; ++i) {
        const double lambda = -3.0 + 6.0 * (i % 40 + 0.5) / 40.0, phi = -1.45 + 2.9 * (i / 40 + 0.5) / 20.0;
        const Complex q = at(std::exp(std::asinh(std::tan(phi)) / 2.0), -lambda / 2.0);
        const Complex w = star.forward(complexMul({0.0, -1.0}, complexDivide({1.0 - q.re, -q.im}, {1.0 + q.re, q.im})));
        ASSERT_TRUE(splatDirection({w.re / star.tipRadius(), w.im / star.tipRadius()}, d));
        ASSERT_LT(std::fabs(d.x + std::sin(lambda) * std::cos(phi)) + std::fabs(d.y - std::sin(phi)), 2e-5);
        const Complex p = at(0.55 * std::sqrt((i + 0.5) / 800.0), i * 2.399963);
        ASSERT_TRUE(splatDirection(p, d) && splatDirection({p.re + 1e-4, p.im}, e) &&
                    splatDirection({p.re, p.im + 1e-4}, n));
        const Vec3d de{e.x - d.x, e.y - d.y, e.z - d.z}, dn{n.x - d.x, n.y - d.y, n.z - d.z};
        ASSERT_NEAR(std::sqrt(dot(de, de) / dot(dn, dn)), 1.0, 0.02);
        ASSERT_NEAR(dot(de, dn) / dot(dn, dn), 0.0, 0.02);
        ASSERT_LT(dot(cross(de, dn), Vec3d{d.x, d.y, d.z}), 0.0);
    }
    EXPECT_FALSE(splatDirection({0.0, 0.95}, d));  // between two tips, outside the star
    testing::Mapper out(800, 1, 400, 400);
    ASSERT_TRUE(out.direction(0.5, 0.4, up) && out.direction(0.5, 0.6, down) && out.direction(0.4, 0.5, left) &&
                out.direction(0.6, 0.5, right));
    EXPECT_TRUE(up.y > 0.2f && down.y < -0.2f && right.x < -0.2f && left.x > 0.2f);
}

// The outputs: the n-fold symmetry of the outline (as the render's hits
// show it) and the latitudes at its top and bottom (their coverage: cover lines of mapping_cases.txt).
struct OutputCase {
    ProjectionId id;
    int order;             // rotational symmetry of the outline
    double top, bottom;    // frame y of the topmost and the lowest point on the axis
    double topSine = 1.0;  // the sine of the latitude there (−it at the bottom): 1 for a pole
};

const OutputCase kOutputCases[] = {
    {97, 5, -0.5, 0.5 * 0.3819660},  // the stars: an inner corner at the bottom
    {98, 5, -0.5, 0.4045085},        // the pentagon and the triangle: the middle of a side
    {100, 3, -0.5, 0.5 * 0.2679492},
    {101, 3, -0.5, 0.25},
    {102, 2, -0.2886751, 0.2886751},
    {103, 2, -0.5, 0.5},
    {104, 6, -0.5, 0.5},
    {105, 6, -0.5, 0.5},
    {116, 4, -0.5, 0.5},
    {158, 16, -0.5, 0.5},
    {163, 12, -0.5, 0.5},
    {113, 2, -0.2938926, 0.2938926, 0.5877853},  // the fused pair: the shared side's ends at ±π/n
    {114, 2, -0.25, 0.25, 0.5},
    {167, 2, -0.5, 0.5},  // the middle hexagon's corners are the poles
    // figures of the general solver (the pole in a notch for the Maltese cross)
    {115, 3, -0.5, 0.25},
    {117, 4, -0.5, 0.5},
    {119, 2, -0.25, 0.25},
    {127, 2, -0.15, 0.15},
    {128, 1, -0.4, -0.05},
    {129, 2, -0.35, 0.35},
    {131, 4, -0.35, 0.35},
    {144, 4, -0.5, 0.5},
    {145, 6, -0.5, 0.5},
    {150, 4, -0.45, 0.45},
    {151, 1, -0.5, 0.5},
    {155, 3, -0.5, 0.3},
    {166, 4, -0.5, 0.5},
    {351, 3, -0.5, 0.1732051},
};

TEST(ConformalPolygons, OutlinesAndPoles) {
    for (const OutputCase& c : kOutputCases) {
        SCOPED_TRACE(::testing::Message() << "output " << c.id);
        testing::Mapper m(c.id, 1, 240, 240);
        const ViewFrame& f = m.ctx->frame;
        // The output position of a frame point (the outline's centre is the origin).
        const auto position = [&](double x, double y) {
            return std::pair{(x - f.cx) / f.scale + 0.5, (y - f.cy) / (f.scale * f.aspect) + 0.5};
        };
        // Symmetry: a point and its turn by 2π/order are both hits or both misses.
        int hits = 0, mismatched = 0;
        for (int i = 0; i < 60; ++i)
            for (int j = 0; j < 60; ++j) {
                const double x = (i - 29.5) / 60.0, y = (j - 29.5) / 60.0, t = 2.0 * kPi / c.order;
                const auto [a, b] = position(x, y);
                const auto [ta, tb] = position(x * std::cos(t) - y * std::sin(t), x * std::sin(t) + y * std::cos(t));
                SphereDir d, e;
                const bool hit = m.direction(a, b, d), turned = m.direction(ta, tb, e);
                hits += hit;
                // points within a pixel of the outline may fall either way
                mismatched += hit != turned;
            }
        EXPECT_GT(hits, 300);
        EXPECT_LT(mismatched, hits / 25);
        // The poles: just inside the top and bottom of the outline on its axis.
        SphereDir north, south, out;
        const double inset = 0.01;
        const auto [na, nb] = position(0.0, c.top + inset);
        const auto [sa, sb] = position(0.0, c.bottom - inset);
        const auto [oa, ob] = position(0.0, c.bottom + inset);
        ASSERT_TRUE(m.direction(na, nb, north));
        ASSERT_TRUE(m.direction(sa, sb, south));
        EXPECT_NEAR(north.y, c.topSine, 0.1);
        EXPECT_NEAR(south.y, -c.topSine, 0.1);
        EXPECT_FALSE(m.direction(oa, ob, out));
    }
}

}  // namespace
}  // namespace globaro
