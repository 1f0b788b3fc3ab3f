// The panoramic views (fisheyes, panels) and the quatrefoil: one table of
// outputs with the properties each must show, checked by shared helpers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "output_test_support.h"

namespace globaro {
namespace {

using testing::Mapper;

constexpr double kDegree = 3.141592653589793 / 180.0;
constexpr float kFov = 100.0f;

struct PanoramicCase {
    ProjectionId id;
    int w, h;          // the canvas
    int regions;       // region tags among the hits
    int allowedJumps;  // jumps inside a region (the quatrefoil's hidden parts)
    bool mirror;       // the left half mirrors the right one
    bool quarterTurn;  // a quarter turn of the plane turns the view about its centre
    // Rectilinear windows, the canvas cut into columns × rows (0: none):
    // straight lines stay straight inside each.
    int columns, rows;
    // The angle from the view centre at (a, b): perFov·fov + degrees (no check when a < 0).
    double a, b, perFov, degrees;
};

const PanoramicCase kCases[] = {
    {409, 64, 64, 1, 240, true, false, 0, 0, -1, 0, 0, 0},  // the equator's lobe hides a band of the southern one
    {43, 64, 48, 1, 0, true, false, 0, 0, 0.5, 0.5 + (0.5 - 0.37374) / 0.75, 0.0, 20},  // the lens axis
    {82, 64, 64, 1, 0, true, true, 0, 0, 1.0, 0.5, 0.5, 0},
    {56, 64, 64, 1, 0, true, true, 0, 0, 1.0, 0.5, 1.0, 0},
    {85, 64, 64, 1, 0, true, true, 0, 0, 0.5, 0.0, 1.0, 0},
    {88, 64, 32, 1, 0, true, false, 0, 0, 0.3, 1.0, 1.0, 0},
    {141, 64, 64, 1, 0, true, true, 0, 0, 1.0, 0.5, 0.0, 90},
    {142, 64, 64, 1, 0, true, false, 0, 0, 1.0, 0.5, 0.0, 180},
    {57, 96, 32, 3, 0, true, false, 3, 1, 5.0 / 6.0, 0.5, 1.0, 0},
    {58, 128, 32, 4, 0, true, false, 4, 1, 0.375, 0.5, 0.5, 0},
    {75, 32, 32, 4, 0, false, false, 2, 2, -1, 0, 0, 0},
    {76, 64, 48, 12, 0, false, false, 4, 3, -1, 0, 0, 0},
    {77, 96, 64, 24, 0, false, false, 6, 4, -1, 0, 0, 0},
    {78, 160, 96, 60, 0, false, false, 10, 6, -1, 0, 0, 0},
    {79, 144, 128, 72, 0, false, false, 9, 8, -1, 0, 0, 0},
};

double angle(const SphereDir& p, const SphereDir& q) {
    const double c = static_cast<double>(p.x) * q.x + static_cast<double>(p.y) * q.y + static_cast<double>(p.z) * q.z;
    return std::acos(std::clamp(c, -1.0, 1.0));
}

class PanoramicOutput : public ::testing::TestWithParam<PanoramicCase> {};

// No jumps between neighbours of one region on a fine grid; the region count.
TEST_P(PanoramicOutput, ContinuousInsideItsRegions) {
    const PanoramicCase& c = GetParam();
    Mapper m(c.id, 1, c.w, c.h, kFov);
    constexpr int kN = 240;
    struct Point {
        bool hit = false;
        int tag = 0;
        SphereDir d{};
    };
    std::vector<Point> above(kN), row(kN);
    std::set<int> tags;
    int jumps = 0;
    for (int j = 0; j < kN; ++j) {
        for (int i = 0; i < kN; ++i) {
            const double a = (i + 0.5) / kN, b = (j + 0.5) / kN;
            Point& p = row[i];
            p.hit = m.direction(a, b, p.d);
            p.tag = m.sample(a, b).regionTag;
            if (!p.hit) continue;
            tags.insert(p.tag);
            for (const Point* n : {i > 0 ? &row[i - 1] : nullptr, j > 0 ? &above[i] : nullptr}) {
                if (n != nullptr && n->hit && n->tag == p.tag && angle(n->d, p.d) > 0.15) ++jumps;
            }
        }
        std::swap(above, row);
    }
    EXPECT_EQ(static_cast<int>(tags.size()), c.regions) << c.id;
    EXPECT_LE(jumps, c.allowedJumps) << c.id;
}

// The left half mirrors the right one; the round and square fisheyes also
// turn with the plane.
TEST_P(PanoramicOutput, KeepsTheSymmetryOfItsName) {
    const PanoramicCase& c = GetParam();
    if (!c.mirror) GTEST_SKIP();
    Mapper m(c.id, 1, c.w, c.h, kFov);
    int checked = 0;
    for (double a = 0.03; a < 1.0; a += 0.07) {
        for (double b = 0.04; b < 1.0; b += 0.07) {
            SphereDir d{}, e{};
            const bool hit = m.direction(a, b, d);
            ASSERT_EQ(hit, m.direction(1.0 - a, b, e)) << c.id << " at " << a << ", " << b;
            if (!hit) continue;
            ++checked;
            EXPECT_LT(testing::distance(e, {-d.x, d.y, d.z}), 2e-3f) << c.id << " at " << a << ", " << b;
            if (!c.quarterTurn) continue;
            // (a, b) turned a quarter about the centre: the screen's right goes up.
            ASSERT_TRUE(m.direction(b, 1.0 - a, e)) << c.id;
            EXPECT_LT(testing::distance(e, {d.y, -d.x, d.z}), 2e-3f) << c.id << " at " << a << ", " << b;
        }
    }
    EXPECT_GT(checked, 20) << c.id;
}

// Collinear plane points of one window show directions on one great circle.
TEST_P(PanoramicOutput, WindowsAreRectilinear) {
    const PanoramicCase& c = GetParam();
    if (c.columns == 0) GTEST_SKIP();
    Mapper m(c.id, 1, c.w, c.h, kFov);
    for (int col = 0; col < c.columns; ++col) {
        for (int row = 0; row < c.rows; ++row) {
            const auto at = [&](double x, double y, SphereDir& d) {
                return m.direction((col + x) / c.columns, (row + y) / c.rows, d);
            };
            SphereDir p{}, q{}, r{};
            ASSERT_TRUE(at(0.1, 0.1, p) && at(0.9, 0.9, q) && at(0.3, 0.3, r)) << c.id;
            const double triple =
                p.x * (q.y * r.z - q.z * r.y) - p.y * (q.x * r.z - q.z * r.x) + p.z * (q.x * r.y - q.y * r.x);
            EXPECT_NEAR(triple, 0.0, 1e-5) << c.id << " window " << col << ", " << row;
        }
    }
}

// The field of view reaches where the name says (the rim, the edge, the bottom).
TEST_P(PanoramicOutput, FieldOfViewReachesItsEdge) {
    const PanoramicCase& c = GetParam();
    if (c.a < 0.0) GTEST_SKIP();
    for (const float fov : {60.0f, 150.0f}) {
        Mapper m(c.id, 1, c.w, c.h, fov);
        SphereDir d{};
        ASSERT_TRUE(m.direction(c.a, c.b, d)) << c.id;
        const double want = c.perFov * fov + c.degrees;
        EXPECT_NEAR(angle(d, {0.0f, 0.0f, 1.0f}) / kDegree, want, 0.5) << c.id << " at fov " << fov;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PanoramicOutput, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return "output" + std::to_string(info.param.id); });

}  // namespace
}  // namespace globaro
