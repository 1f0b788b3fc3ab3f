// The star of Mercator arms against closed forms: the cross is the Mercator
// map plus the transverse Mercator map, the corners lie at (π/n)/sin(π/n), an
// arm ends where its scale is the asked multiple, and the series inverse
// brings every point of the star back to the sphere point it came from.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "projection/mercator_star.h"

namespace globaro {
namespace {

using Cd = std::complex<double>;

TEST(MercatorStar, MatchesClosedFormsAndComesBack) {
    for (const int n : {3, 4, 5}) {
        SCOPED_TRACE(n);
        const MercatorStar star(n);
        const double reach = star.reachAtScale(100.0);
        const double pi = std::numbers::pi;
        // Far behind the view, between the first two arms: the corner.
        EXPECT_NEAR(std::abs(star.forward(std::polar(1e7, pi / n))), (pi / n) / std::sin(pi / n), 1e-6);
        EXPECT_NEAR(std::arg(star.forward(std::polar(1e7, pi / n))), pi / n, 1e-9);
        int checked = 0;
        for (double r = 0.05; r < 6.0; r *= 1.13)
            for (double a = 0.01; a < 2.0 * pi; a += 0.097) {
                const Cd zeta = std::polar(r, a);
                if (n == 4) {
                    EXPECT_LT(std::abs(star.forward(zeta) - 0.5 * (std::atan(zeta) + std::atanh(zeta))), 1e-12);
                }
                const Cd w = star.forward(zeta);
                if (!star.contains(w, reach)) continue;
                const MercatorStar::Point p = star.inverse(w);
                const Cd back = p.reciprocal ? 1.0 / p.value : p.value;
                // On the sphere: the chord between the two points.
                EXPECT_LT(2.0 * std::abs(back - zeta) / std::sqrt((1 + std::norm(back)) * (1 + std::norm(zeta))), 1e-7)
                    << zeta;
                ++checked;
            }
        EXPECT_GT(checked, 1500);
        // The arm's end on its centre line.
        double lo = 0.0, hi = 1.0;
        for (int i = 0; i < 60; ++i) (star.forward(0.5 * (lo + hi)).real() < reach ? lo : hi) = 0.5 * (lo + hi);
        EXPECT_NEAR(star.scaleRatio(lo), 100.0, 1e-6);
    }
}

}  // namespace
}  // namespace globaro
