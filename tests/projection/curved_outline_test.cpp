// The curved-outline engine against the ellipse's closed form, and every
// outline of the floret table against its own outline.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "projection/curved_outline.h"
#include "projection/floret_table.h"

namespace globaro {
namespace {

using Point = std::complex<double>;
const double kA = std::cosh(std::numbers::pi / 4.0), kB = std::sinh(std::numbers::pi / 4.0);

TEST(CurvedOutline, TheEllipseMatchesSchwarzsClosedForm) {
    // The closed form takes the rim onto the unit circle and fixes the centre.
    EXPECT_LT(std::abs(ellipseToDisc(0.0)), 1e-15);
    for (double t = 0.05; t < 6.3; t += 0.3) {
        EXPECT_NEAR(std::abs(ellipseToDisc({kA * std::cos(t), kB * std::sin(t)})), 1.0, 1e-9) << t;
    }
    // The engine's series for the same outline is the same map (both fix the
    // centre with a positive derivative, and such a map is unique).
    const OutlineMap map(
        2,
        [](Point p) {
            return std::norm(Point{p.real() / kA, p.imag() / kB}) <= 1.0;
        },
        2.0);
    EXPECT_LT(map.steepness(), 1.0);
    for (const Point w : {Point{0.2, 0.1}, Point{1.1, 0.3}, Point{-0.6, -0.7}, Point{1.25, 0.0}, Point{0.0, 0.8}}) {
        Point z;
        ASSERT_TRUE(map.inverse(w, z));
        EXPECT_LT(std::abs(z - ellipseToDisc(w)), 1e-6) << w;
    }
    Point z;
    EXPECT_FALSE(map.inverse({1.0, 0.6}, z));
}

TEST(CurvedOutline, TheTablesNearTheRimAgreeWithTheSeries) {
    // forward evaluates the series from local expansions near the rim and
    // from a short power series about the centre; both must stand for the
    // series everywhere in the disc: on every radius (across the rings'
    // seams), at every angle (across the nodes' seams and the periods).
    const OutlineMap ellipse(
        2,
        [](Point p) {
            return std::norm(Point{p.real() / kA, p.imag() / kB}) <= 1.0;
        },
        2.0);
    std::vector<const OutlineMap*> maps{&ellipse};
    for (const FloretRow& row : kFloretRows)
        if (floretMapOf(row.id)) maps.push_back(floretMapOf(row.id));
    for (const OutlineMap* map : maps) {
        SCOPED_TRACE(::testing::Message() << "fold " << map->fold() << ", reach " << map->reach());
        double worst = 0.0;
        for (int i = 0; i <= 400; ++i) {
            // Radii crowding towards the rim, where the rings are thin.
            const double r = 1.0 - std::pow(1.0 - i / 400.0, 3.0);
            for (int j = 0; j < 37; ++j) {
                const Point z = std::polar(r, 2.0 * std::numbers::pi * (j + 0.37 * i) / 37.0);
                worst = std::max(worst, std::abs(map->forward(z) - map->seriesForward(z)));
            }
        }
        EXPECT_LT(worst, 1e-11 * map->reach());
    }
}

TEST(CurvedOutline, EveryOutlineIsTheImageOfTheDisc) {
    for (const FloretRow& row : kFloretRows) {
        SCOPED_TRACE(::testing::Message() << "output " << row.id);
        if (!floretMapOf(row.id)) continue;  // a rounded star, drawn by its own map
        const OutlineMap& map = *floretMapOf(row.id);
        EXPECT_LT(map.steepness(), 2.0);
        for (int i = 0; i < 200; ++i) {
            // The rim lands on the outline (the corners rounded off a little).
            const Point f = map.forward(std::polar(1.0, 0.0314 * i));
            EXPECT_NEAR(std::abs(f), map.radius(std::arg(f)), 1e-2 * map.reach());
            // Inside, the inverse undoes the map.
            const Point z = std::polar(0.9 * (i % 10) / 10.0, 0.1 * i), w = map.forward(z);
            Point back;
            ASSERT_TRUE(map.inverse(w, back));
            EXPECT_LT(std::abs(back - z), 1e-9);
            EXPECT_TRUE(floretInside(row, w));
        }
    }
}

}  // namespace
}  // namespace globaro
