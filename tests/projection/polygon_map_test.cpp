// The general Schwarz–Christoffel solver against closed forms: the regular
// n-gon's corner radius, the square's inverse by Jacobi's sd, rectangles' prevertices (their cross ratio fixes the
// modulus m with aspect 2K(m)/K(1 − m)), and every shape it is asked to solve
// goes forth and back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "projection/elliptic.h"
#include "projection/polygon_map.h"

namespace globaro {
namespace {

struct SolverCase {
    const char* what;
    PolygonDesign design;
    double cornerRadius;  // |f(ζ₀)| of the raw map where known, else 0
    double modulus;       // m of a rectangle, else 0
};

PolygonDesign rectangle(double m, int order) {
    const double w = 2.0 * completeEllipticK(m), h = completeEllipticK(1.0 - m), s = 0.5 / w;
    if (order == 2) return {2, {{-s * w / 2, -s * h / 2}, {s * w / 2, -s * h / 2}}};
    return {1, {{-s * w / 2, -s * h / 2}, {s * w / 2, -s * h / 2}, {s * w / 2, s * h / 2}, {-s * w / 2, s * h / 2}}};
}

const SolverCase kCases[] = {
    {"triangle", {3, {{0.5, 0.0}}}, std::beta(1.0 / 3.0, 1.0 / 3.0) / 3.0, 0.0},
    {"square", {4, {{0.5, 0.0}}}, completeEllipticK(0.5) / std::sqrt(2.0), 0.0},
    {"pentagon", {5, {{0.5, 0.0}}}, std::beta(0.2, 0.6) / 5.0, 0.0},
    {"hexagon", {6, {{0.5, 0.0}}}, std::beta(1.0 / 6.0, 2.0 / 3.0) / 6.0, 0.0},
    {"rectangle m 0.5", rectangle(0.5, 2), 0.0, 0.5},
    {"rectangle m 0.2", rectangle(0.2, 2), 0.0, 0.2},
    {"rectangle m 0.8, no symmetry used", rectangle(0.8, 1), 0.0, 0.8},
    {"L shape", {1, {{0, 0}, {1, 0}, {1, 0.5}, {0.5, 0.5}, {0.5, 1}, {0, 1}}, {0.3, 0.3}}, 0.0, 0.0},
};

TEST(PolygonMap, ClosedFormsAndRoundTrips) {
    for (const SolverCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const PolygonMap map(c.design);
        ASSERT_TRUE(map.solved()) << map.vertexError();
        if (c.cornerRadius > 0.0) {
            EXPECT_NEAR(std::abs(map.rawVertex(0)), c.cornerRadius, 1e-10);
        }
        if (c.design.order == 4 && c.design.sector.size() == 1) {
            // The square's raw map is inverted by z = sd(√2·f(z) | 1/2)/√2.
            for (const ComplexD z : {ComplexD(0.3, 0.2), ComplexD(-0.7, 0.1), ComplexD(0.05, -0.9)}) {
                const ComplexD f = map.forward(z) * map.rawVertex(0) / 0.5, s = std::sqrt(2.0) * f;
                const ComplexRatio sd = jacobiSd({s.real(), s.imag()}, 0.5);
                const ComplexD back = ComplexD(sd.num.re, sd.num.im) / ComplexD(sd.den.re, sd.den.im) / std::sqrt(2.0);
                EXPECT_NEAR(std::abs(back - z), 0.0, 1e-9);
            }
        }
        if (c.modulus > 0.0) {
            const std::vector<ComplexD>& z = map.prevertices();
            const ComplexD z0 = z[0], z1 = z[1], z2 = z.size() > 2 ? z[2] : -z0, z3 = z.size() > 2 ? z[3] : -z1;
            // the long side z0 → z1 is [−1, 1] of sn's half-plane, with −1/k and 1/k beside it
            const ComplexD ratio = (z3 - z1) * (z0 - z2) / ((z0 - z1) * (z3 - z2));
            const double k = std::sqrt(c.modulus);
            EXPECT_NEAR(ratio.real(), (1 + k) * (1 + k) / (4 * k), 1e-8);
            EXPECT_NEAR(ratio.imag(), 0.0, 1e-8);
        }
        // Plane points on a grid: inside ones come back, outside ones are refused.
        int inside = 0;
        for (int i = 0; i < 41; ++i)
            for (int j = 0; j < 41; ++j) {
                const ComplexD p(-0.6 + i * 0.03, -0.6 + j * 0.03 + (c.design.order == 1 ? 0.5 : 0.0));
                ComplexD z;
                const bool hit = map.inverse(p, z);
                ASSERT_EQ(hit, map.contains(p));
                if (!hit) continue;
                ++inside;
                EXPECT_LE(std::abs(z), 1.0 + 1e-12);
                EXPECT_NEAR(std::abs(map.forward(z) - p), 0.0, 1e-7);
            }
        EXPECT_GT(inside, 50);
    }
}

// The corner expansions against quadrature from the centre, corner by
// corner of the whole polygon, at disc points round each prevertex within a
// fraction of its distance to the next one: the raw plane point agrees and
// the expansion's inverse gives the disc point back.
struct CornerCase {
    const char* what;
    PolygonDesign design;
};

const CornerCase kCornerCases[] = {
    {"square", {4, {{0.5, 0.0}}}},
    {"5-star with sharp points", {5, {{0.5, 0.0}, std::polar(0.15, std::numbers::pi / 5.0)}}},
    {"hooked saw tooth", {3, {{0.5, 0.0}, std::polar(0.28, -10.0 * std::numbers::pi / 180.0)}}},
    {"L shape", {1, {{0, 0}, {1, 0}, {1, 0.5}, {0.5, 0.5}, {0.5, 1}, {0, 1}}, {0.3, 0.3}}},
    {"Z with a reflex corner near a straight angle",
     {2, {{-0.5, -0.35}, {0.5, -0.35}, {0.5, -0.17}, {-0.2, -0.17}, {0.5, 0.17}}}},
};

TEST(PolygonMap, CornerExpansionsMatchQuadrature) {
    for (const CornerCase& c : kCornerCases) {
        SCOPED_TRACE(c.what);
        const PolygonMap map(c.design);
        ASSERT_TRUE(map.solved()) << map.vertexError();
        const int m = static_cast<int>(map.prevertices().size());
        ASSERT_EQ(map.cornerCount(), m * map.order());
        double rawSize = 0.0;
        for (int k = 0; k < m; ++k) rawSize = std::max(rawSize, std::abs(map.rawVertex(k)));
        std::vector<ComplexD> all;
        for (int r = 0; r < map.order(); ++r)
            for (const ComplexD& z : map.prevertices())
                all.push_back(z * std::polar(1.0, 2.0 * std::numbers::pi * r / map.order()));
        for (int corner = 0; corner < map.cornerCount(); ++corner) {
            const ComplexD zeta = all[corner];
            double gap = 2.0;
            for (const ComplexD& s : all)
                if (s != zeta) gap = std::min(gap, std::abs(s - zeta));
            for (const double reach : {0.02, 0.1, 0.25})
                for (const double degrees : {-85.0, -40.0, 0.0, 30.0, 80.0}) {
                    const ComplexD z = zeta * (1.0 - reach * gap * std::polar(1.0, degrees * std::numbers::pi / 180.0));
                    ComplexD w, back;
                    ASSERT_TRUE(map.cornerForward(corner, z, w)) << corner << " " << reach << " " << degrees;
                    // Beside crowded prevertices z is known to a few units
                    // in the last place only, and the quadrature's factors
                    // 1 − tⁿ·conj(ζ)ⁿ lose as much again: so much slack in w.
                    const double ulps = 3e-14 * std::abs(map.rawDerivative(z));
                    EXPECT_NEAR(std::abs(w - map.rawForwardByQuadrature(z)), 0.0, 1e-10 * rawSize + ulps)
                        << corner << " " << reach << " " << degrees;
                    if (!map.cornerInverse(corner, w, back)) continue;  // beyond the reverted series' reach
                    EXPECT_NEAR(std::abs(back - z), 0.0, 1e-9 * reach * gap + 1e-15)
                        << corner << " " << reach << " " << degrees;
                }
            // Close to the corner the inverse always answers.
            ComplexD w, back;
            const ComplexD z = zeta * (1.0 - 0.01 * gap * ComplexD(1.0, 0.3));
            ASSERT_TRUE(map.cornerForward(corner, z, w));
            ASSERT_TRUE(map.cornerInverse(corner, w, back)) << corner;
            EXPECT_NEAR(std::abs(back - z), 0.0, 1e-9 * 0.01 * gap + 1e-15) << corner;
            // Far from it neither does.
            EXPECT_FALSE(map.cornerForward(corner, zeta * (1.0 - 0.5 * gap), w)) << corner;
        }
    }
}

}  // namespace
}  // namespace globaro
