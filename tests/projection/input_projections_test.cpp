// The input projections: golden positions for every input id, cube-face
// choice, gore region codes, the zenith & nadir weight, and properties (range,
// flip, round trips, thread safety of the one-time table).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "geometry/sphere_frame.h"
#include "projection/input_projection.h"

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

// A direction at `angleDeg` from +z, tilted towards the plane direction (px, py).
SphereDir offAxis(double angleDeg, double px, double py) {
    const double a = angleDeg * kPi / 180.0;
    const double n = std::hypot(px, py);
    return {static_cast<float>(std::sin(a) * px / n), static_cast<float>(std::sin(a) * py / n),
            static_cast<float>(std::cos(a))};
}

SphereDir normalised(double x, double y, double z) {
    const double n = std::sqrt(x * x + y * y + z * z);
    return {static_cast<float>(x / n), static_cast<float>(y / n), static_cast<float>(z / n)};
}

const SphereDir kFront{0.0f, 0.0f, 1.0f};
const SphereDir kBack{0.0f, 0.0f, -1.0f};
const SphereDir kLeft{1.0f, 0.0f, 0.0f};    // +x, 90° west
const SphereDir kRight{-1.0f, 0.0f, 0.0f};  // −x, 90° east
const SphereDir kNorth{0.0f, 1.0f, 0.0f};
const SphereDir kSouth{0.0f, -1.0f, 0.0f};

std::uint32_t region(std::int32_t r) { return static_cast<std::uint32_t>(r); }

struct Golden {
    InputProjectionId id;
    const char* what;  // the case and where the expected numbers come from
    SphereDir d;
    float aspect;
    std::int32_t flip;
    bool miss;
    double u, v;
    std::int32_t face;
    std::uint32_t regionCode;
    double tol;
};

// Numbers marked "standard" come from the textbook form of the projection
// (Snyder's formulas, with the image normalisation of the input), computed
// independently in double precision; "formula" means worked by hand from the
// input's own definition.
const std::vector<Golden>& goldenCases() {
    static const std::vector<Golden> cases = {
        // 1 equirectangular: u = 1 − s, v = p.
        {1, "centre", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {1, "+x a quarter turn left", kLeft, 0.5f, 0, false, 0.25, 0.5, -1, 2, 1e-6},
        {1, "-x", kRight, 0.5f, 0, false, 0.75, 0.5, -1, 2, 1e-6},
        {1, "north pole on the top edge", kNorth, 0.5f, 0, false, 0.5, 0.0, -1, 2, 1e-6},
        {1, "south pole on the bottom edge", kSouth, 0.5f, 0, false, 0.5, 1.0, -1, 2, 1e-6},
        {1, "back seam", kBack, 0.5f, 0, false, 0.0, 0.5, -1, 2, 1e-6},
        {1, "30N 40E: 0.5 + 40/360, 60/180", latLon(30, 40), 0.5f, 0, false, 0.6111111, 0.3333333, -1, 2, 1e-6},
        {1, "flip mirrors +x", kLeft, 0.5f, 1, false, 0.75, 0.5, -1, 2, 1e-6},
        // 2 mirror ball: m = sqrt(2(z + 1)).
        {2, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {2, "+x: 1 − (1/√2·0.5 + 0.5)", kLeft, 1.0f, 0, false, 0.5 - 0.5 / std::sqrt(2.0), 0.5, -1, 2, 1e-6},
        {2, "north: v = 0.5 − 0.5/√2", kNorth, 1.0f, 0, false, 0.5, 0.5 - 0.5 / std::sqrt(2.0), -1, 2, 1e-6},
        {2, "-z: the top of the rim", kBack, 1.0f, 0, false, 0.5, 0.0, -1, 2, 1e-6},
        {2, "flip", kLeft, 1.0f, 1, false, 0.5 + 0.5 / std::sqrt(2.0), 0.5, -1, 2, 1e-6},
        // 3 polar: radius acos(z)/π·0.5 towards the plane angle.
        {3, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {3, "+x at radius 0.25", kLeft, 1.0f, 0, false, 0.25, 0.5, -1, 2, 1e-6},
        {3, "north at radius 0.25 upwards", kNorth, 1.0f, 0, false, 0.5, 0.25, -1, 2, 1e-6},
        {3, "-z on the circle (plane angle of (0,0) is π/2)", kBack, 1.0f, 0, false, 1.0, 0.5, -1, 2, 1e-6},
        // 4 orthographic.
        {4, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {4, "+x on the left edge", kLeft, 1.0f, 0, false, 0.0, 0.5, -1, 2, 1e-6},
        {4, "30N 40E: 1 − (x + 1)/2", latLon(30, 40), 1.0f, 0, false, 0.5 + 0.5 * 0.5566704, 0.25, -1, 2, 1e-6},
        {4, "back hemisphere misses", kBack, 1.0f, 0, true, -1, -1, -1, 2, 0},
        {4, "just behind misses", latLon(0, 91), 1.0f, 0, true, -1, -1, -1, 2, 0},
        // 5 cylindrical: v = tan φ·0.125/aspect + 0.5; right-half rule.
        {5, "centre", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {5, "30N: 0.5 − tan 30°·0.25", latLon(30, 0), 0.5f, 0, false, 0.5, 0.5 - std::tan(kPi / 6) * 0.25, -1, 2, 1e-6},
        {5, "right half", kRight, 0.5f, 0, false, 0.75, 0.5, -1, 3, 1e-6},
        {5, "70N is off the image", latLon(70, 0), 0.5f, 0, true, -1, -1, -1, 2, 0},
        {5, "pole misses", kNorth, 0.5f, 0, true, -1, -1, -1, 2, 0},
        // 6 ellipsoid (k = 1.1490611), 18 mylar (k = 1.55): (k/√2, 0, √0.5) normalised.
        {6, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {6, "+x (formula)", kLeft, 1.0f, 0, false, 0.5 - 0.5 * (1.1490611 / std::sqrt(2.0)) / std::sqrt(1.1490611 * 1.1490611 / 2 + 0.5), 0.5, -1, 2, 1e-6},
        {18, "+x (formula)", kLeft, 1.0f, 0, false, 0.5 - 0.5 * (1.55 / std::sqrt(2.0)) / std::sqrt(1.55 * 1.55 / 2 + 0.5), 0.5, -1, 2, 1e-6},
        {18, "-z: the top of the rim", kBack, 1.0f, 0, false, 0.5, 0.0, -1, 2, 1e-6},
        // 7 Mollweide (standard; table interpolation within 1e-3).
        {7, "centre", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {7, "+x on the equator at u = 0.25", kLeft, 0.5f, 0, false, 0.25, 0.5, -1, 2, 1e-6},
        {7, "30N 40E (standard)", latLon(30, 40), 0.5f, 0, false, 0.6016412, 0.2980136, -1, 3, 1e-3},
        {7, "60N (standard)", latLon(60, 0), 0.5f, 0, false, 0.5, 0.1188070, -1, 2, 1e-3},
        {7, "south pole", kSouth, 0.5f, 0, false, 0.5, 1.0, -1, 2, 1e-3},
        // 8 circular 180.
        {8, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {8, "90° on the circle", kLeft, 1.0f, 0, false, 0.0, 0.5, -1, 2, 1e-6},
        {8, "45° up at radius 0.25", offAxis(45, 0, 1), 1.0f, 0, false, 0.5, 0.25, -1, 2, 1e-6},
        {8, "beyond 90° misses", latLon(0, 100), 1.0f, 0, true, -1, -1, -1, 2, 0},
        // 9 full-frame 180, aspect 0.75: r = 2·1.25·angle/π.
        {9, "centre", kFront, 0.75f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {9, "45° to +x: u = 0.5 − 0.3125", offAxis(45, 1, 0), 0.75f, 0, false, 0.1875, 0.5, -1, 2, 1e-6},
        {9, "45° up: v = 0.5 − 0.3125/0.75", offAxis(45, 0, 1), 0.75f, 0, false, 0.5, 0.5 - 0.3125 / 0.75, -1, 2, 1e-6},
        {9, "90° to the side is outside the frame", kLeft, 0.75f, 0, true, -1, -1, -1, 2, 0},
        {9, "89.9° towards the lower right corner", offAxis(89.9, -4, -3), 0.75f, 0, false, 0.9994444, 0.9994444, -1, 2, 1e-5},
        // 10 one cube face.
        {10, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {10, "30° to +x: 0.5 − tan 30°/2", offAxis(30, 1, 0), 1.0f, 0, false, 0.5 - std::tan(kPi / 6) / 2, 0.5, -1, 2, 1e-6},
        {10, "z = 0.29: miss at the corner", normalised(std::sqrt(1 - 0.29 * 0.29), 0, 0.29), 1.0f, 0, true, 0, 0, -1, 2, 0},
        {10, "50° off the axis: outside the face", offAxis(50, 1, 0), 1.0f, 0, true, -1, -1, -1, 2, 0},
        {10, "flip", offAxis(30, 1, 0), 1.0f, 1, false, 0.5 + std::tan(kPi / 6) / 2, 0.5, -1, 2, 1e-6},
        // 11 tiling cube face: face-local position, region face + 1.
        {11, "front face (3)", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 4, 1e-6},
        {11, "+x face (4)", kLeft, 1.0f, 0, false, 0.5, 0.5, -1, 5, 1e-6},
        {11, "30N 40E on the front face", latLon(30, 40), 1.0f, 0, false, 0.5 + 0.5 * 0.5566704 / 0.6634139, 0.5 - 0.5 * 0.5 / 0.6634139, -1, 4, 1e-5},
        {11, "south face (2)", kSouth, 1.0f, 0, false, 0.5, 0.5, -1, 3, 1e-6},
        // 12 gores: 12 (formula: American polyconic about the gore's meridian).
        {12, "centre, gore k = 0.5 → region 0", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 0, 1e-6},
        {12, "+x on the equator, k = −2.5 → region −2", kLeft, 0.5f, 0, false, 0.25, 0.5, -1, region(-2), 1e-6},
        {12, "30N 40E in gore k = 1.5 (formula)", latLon(30, 40), 0.5f, 0, false, 0.612975, 0.332809, -1, 1, 2e-5},
        {12, "south pole at the tip of gore 0.5", kSouth, 0.5f, 0, false, 0.5 + 1.0 / 24.0, 1.0, -1, 0, 1e-5},
        // 19 gores: 12 radial: northern half-gores about the centre.
        {19, "north pole at the centre", kNorth, 0.5f, 0, false, 0.5, 0.5, -1, 0, 1e-5},
        {19, "southern half not shown", latLon(-30, 10), 0.5f, 0, true, -1, -1, -1, 0, 0},
        // 25 gores: 6, 36 gores: 8.
        {25, "centre, k = 0.5", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 0, 1e-6},
        {25, "+x: k = −1.5 → region −1", kLeft, 0.5f, 0, false, 0.25, 0.5, -1, region(-1), 1e-6},
        {36, "centre, k = 0.5", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 0, 1e-6},
        {36, "-x: k = 2.5 → region 2", kRight, 0.5f, 0, false, 0.75, 0.5, -1, 2, 1e-6},
        // 13 half-equi: longitudes within ±90°.
        {13, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {13, "+x on the left edge", kLeft, 1.0f, 0, false, 0.0, 0.5, -1, 2, 1e-6},
        {13, "45E", latLon(0, 45), 1.0f, 0, false, 0.75, 0.5, -1, 2, 1e-6},
        {13, "100E misses", latLon(0, 100), 1.0f, 0, true, -1, -1, -1, 2, 0},
        {13, "100W misses", latLon(0, -100), 1.0f, 0, true, -1, -1, -1, 2, 0},
        // 14 Nicolosi (formula: meridian circles through the poles).
        {14, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {14, "+x on the rim", kLeft, 1.0f, 0, false, 0.0, 0.5, -1, 2, 1e-5},
        {14, "-x on the rim (mirrored)", kRight, 1.0f, 0, false, 1.0, 0.5, -1, 2, 1e-5},
        {14, "30N on the 90W rim: (1 − (cos 30°/2 + 0.5), 0.25)", latLon(30, -90), 1.0f, 0, false, 0.5 - std::cos(kPi / 6) / 2, 0.25, -1, 2, 1e-5},
        {14, "near the central meridian", latLon(0, 0.2), 1.0f, 0, false, 0.5 + 0.2 / 180.0, 0.5, -1, 2, 1e-5},
        {14, "back hemisphere misses", kBack, 1.0f, 0, true, -1, -1, -1, 2, 0},
        // 15 stereographic.
        {15, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {15, "+x on the rim", kLeft, 1.0f, 0, false, 0.0, 0.5, -1, 2, 1e-6},
        {15, "60° up: 0.5 − tan 30°/2", offAxis(60, 0, 1), 1.0f, 0, false, 0.5, 0.5 - std::tan(kPi / 6) / 2, -1, 2, 1e-6},
        {15, "behind misses", latLon(0, 120), 1.0f, 0, true, -1, -1, -1, 2, 0},
        // 16 quarter-equi: u = 1 − (((s − 0.5) + 1/24)·4 + 0.5).
        {16, "centre at 1/3", kFront, 1.0f, 0, false, 1.0 / 3.0, 0.5, -1, 2, 1e-6},
        {16, "30E", latLon(0, 30), 1.0f, 0, false, 1.0 / 3.0 + 1.0 / 3.0, 0.5, -1, 2, 1e-6},
        {16, "+x misses", kLeft, 1.0f, 0, true, -1, -1, -1, 2, 0},
        // 17 Robinson (published table).
        {17, "centre", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {17, "+x", kLeft, 0.5f, 0, false, 0.25, 0.5, -1, 2, 1e-6},
        {17, "30N 40E: row 6", latLon(30, 40), 0.5f, 0, false, 0.6066667, 0.314, -1, 3, 1e-5},
        {17, "32.5N 100W: between rows 6 and 7", latLon(32.5, -100), 0.5f, 0, false, 0.2357361, 0.2985, -1, 2, 1e-5},
        {17, "north pole", kNorth, 0.5f, 0, false, 0.5, 0.0, -1, 2, 1e-6},
        // 20 Mercator: v = asinh(tan φ)/(aspect·2π) + 0.5.
        {20, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {20, "30N, aspect 1 (standard)", latLon(30, 0), 1.0f, 0, false, 0.5, 0.4125752, -1, 2, 1e-6},
        {20, "30N, aspect 0.5 (standard)", latLon(30, 0), 0.5f, 0, false, 0.5, 0.3251504, -1, 2, 1e-6},
        {20, "80N, aspect 1 (standard)", latLon(80, 0), 1.0f, 0, false, 0.5, 0.1122594, -1, 2, 1e-5},
        {20, "80N, aspect 0.25 is off the image", latLon(80, 0), 0.25f, 0, true, -1, -1, -1, 2, 0},
        {20, "pole misses", kNorth, 1.0f, 0, true, -1, -1, -1, 2, 0},
        // 21 Lagrange (standard, W = 1/2).
        {21, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {21, "+x: 0.5 − tan 22.5°/2", kLeft, 1.0f, 0, false, 0.5 - std::tan(kPi / 8) / 2, 0.5, -1, 2, 1e-6},
        {21, "30N 40E (standard)", latLon(30, 40), 1.0f, 0, false, 0.5864715, 0.4296843, -1, 3, 1e-5},
        {21, "60S 100W (standard)", latLon(-60, -100), 1.0f, 0, false, 0.2949047, 0.6893158, -1, 2, 1e-5},
        {21, "north pole", kNorth, 1.0f, 0, false, 0.5, 0.0, -1, 2, 1e-6},
        // 22 Winkel tripel (standard).
        {22, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {22, "30N 40E (standard)", latLon(30, 40), 1.0f, 0, false, 0.6046938, 0.3317501, -1, 3, 1e-5},
        {22, "60S 100W (standard)", latLon(-60, -100), 1.0f, 0, false, 0.2941169, 0.8476776, -1, 2, 1e-5},
        {22, "north pole", kNorth, 1.0f, 0, false, 0.5, 0.0, -1, 2, 1e-6},
        // 23 Hammer (standard).
        {23, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {23, "30N 40E (standard)", latLon(30, 40), 1.0f, 0, false, 0.6099659, 0.3143711, -1, 3, 1e-5},
        {23, "60S 100W (standard)", latLon(-60, -100), 1.0f, 0, false, 0.3333989, 0.8766904, -1, 2, 1e-5},
        {23, "back on the left edge", kBack, 1.0f, 0, false, 0.0, 0.5, -1, 2, 1e-6},
        // 24 equal-area cylinder: v = 0.5 − sin(lat)/2.
        {24, "centre", kFront, 1.0f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {24, "30N", latLon(30, 40), 1.0f, 0, false, 0.6111111, 0.25, -1, 2, 1e-6},
        {24, "south pole", kSouth, 1.0f, 0, false, 0.5, 1.0, -1, 2, 1e-6},
        // 26 zenith & nadir.
        {26, "zenith in the middle of the left half", kNorth, 2.0f, 0, false, 0.25, 0.5, 5, 3, 1e-6},
        {26, "nadir in the middle of the right half", kSouth, 2.0f, 0, false, 0.75, 0.5, 2, 2, 1e-6},
        {26, "a side face misses", kFront, 2.0f, 0, true, -1, -1, -1, 3, 0},
        {26, "flip", kNorth, 2.0f, 1, false, 0.75, 0.5, 5, 3, 1e-6},
        // 27 horizontal cross, 33..35 layouts: face-local position, face f, region f + 1.
        {27, "front (3)", kFront, 0.75f, 0, false, 0.5, 0.5, 3, 4, 1e-6},
        {27, "back (0)", kBack, 0.75f, 0, false, 0.5, 0.5, 0, 1, 1e-6},
        {27, "back, towards +x: fu = x/|z|", normalised(0.2, 0.1, -1), 0.75f, 0, false, 0.6, 0.45, 0, 1, 1e-6},
        {27, "-x (1)", kRight, 0.75f, 0, false, 0.5, 0.5, 1, 2, 1e-6},
        {27, "+x (4)", kLeft, 0.75f, 0, false, 0.5, 0.5, 4, 5, 1e-6},
        {27, "flip of the face-local u", normalised(0.2, 0.1, -1), 0.75f, 1, false, 0.4, 0.45, 0, 1, 1e-6},
        {33, "+y (5)", kNorth, 6.0f, 0, false, 0.5, 0.5, 5, 6, 1e-6},
        {34, "-y (2)", kSouth, 0.66f, 0, false, 0.5, 0.5, 2, 3, 1e-6},
        {35, "front (3)", kFront, 0.66f, 0, false, 0.5, 0.5, 3, 4, 1e-6},
        // 28 vertical cross: the back face is upside down.
        {28, "back, towards +x, turned", normalised(0.2, 0.1, -1), 1.33f, 0, false, 0.4, 0.55, 0, 1, 1e-6},
        {28, "front unchanged", normalised(0.2, 0.1, 1), 1.33f, 0, false, 0.4, 0.45, 3, 4, 1e-6},
        // 29 soccer: the polyhedron model is not connected; no face is found.
        {29, "no face: miss with u = v = 0", kFront, 1.0f, 0, true, 0, 0, -1, 2, 0},
        // 30 Ortelius oval (standard).
        {30, "centre", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {30, "+x", kLeft, 0.5f, 0, false, 0.25, 0.5, -1, 2, 1e-6},
        {30, "30N 40E (standard)", latLon(30, 40), 0.5f, 0, false, 0.6006390, 1.0 / 3.0, -1, 3, 1e-5},
        {30, "60S 100W (standard)", latLon(-60, -100), 0.5f, 0, false, 0.2858832, 5.0 / 6.0, -1, 2, 1e-5},
        // 31 spinner 360, 32 spinner guess width.
        {31, "centre", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 2, 1e-6},
        {31, "30N: 0.5 − tan 30°·1.4308/2", latLon(30, 0), 0.5f, 0, false, 0.5, 0.0869690, -1, 2, 1e-6},
        {31, "-x in the right half", kRight, 0.5f, 0, false, 0.75, 0.5, -1, 3, 1e-6},
        {31, "pole misses", kNorth, 0.5f, 0, true, -1, -1, -1, 2, 0},
        {32, "aspect 0.2226: as 31", kRight, 0.222563115884176f, 0, false, 0.75, 0.5, -1, 3, 1e-6},
        {32, "aspect 0.5: 90E is off the image", kRight, 0.5f, 0, true, -1, -1, -1, 2, 0},
        // 37 Strebe 1995 (formula with the exact Eckert IV angle; the fit is within 2e-4).
        {37, "centre", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 2, 1e-4},
        {37, "30N 40E (formula)", latLon(30, 40), 0.5f, 0, false, 0.6220260, 0.3217343, -1, 2, 3e-4},
        {37, "60S 100W (formula)", latLon(-60, -100), 0.5f, 0, false, 0.2718972, 0.8608904, -1, 2, 3e-4},
        {37, "south pole", kSouth, 0.5f, 0, false, 0.5, 0.8906182, -1, 2, 1e-5},
        // 38 Eckert IV (standard).
        {38, "centre", kFront, 0.5f, 0, false, 0.5, 0.5, -1, 2, 1e-4},
        {38, "30N 40E (standard)", latLon(30, 40), 0.5f, 0, false, 0.6050434, 0.2727840, -1, 2, 3e-4},
        {38, "60S 100W (standard)", latLon(-60, -100), 0.5f, 0, false, 0.2830085, 0.9134534, -1, 2, 3e-4},
        {38, "back seam", kBack, 0.5f, 0, false, 0.0, 0.5, -1, 2, 1e-4},
        // Ids outside the table: the corner, no miss.
        {0, "id 0", kFront, 1.0f, 0, false, 0.0, 0.0, -1, 2, 0},
        {39, "id 39", kLeft, 1.0f, 1, false, 0.0, 0.0, -1, 2, 0},
        {-5, "negative id", kFront, 1.0f, 0, false, 0.0, 0.0, -1, 2, 0},
    };
    return cases;
}

TEST(InputProjections, GoldenCases) {
    for (const Golden& g : goldenCases()) {
        SCOPED_TRACE(testing::Message() << "input " << g.id << ": " << g.what);
        const InputSample s = sphereToInput(g.id, g.flip, g.aspect, g.d);
        EXPECT_EQ(s.miss, g.miss);
        if (g.miss && g.u == -1) {
            EXPECT_EQ(s.u, -1.0f);
            EXPECT_EQ(s.v, -1.0f);
        } else {
            EXPECT_NEAR(s.u, g.u, g.tol);
            EXPECT_NEAR(s.v, g.v, g.tol);
        }
        EXPECT_EQ(s.faceIndex, g.face);
        EXPECT_EQ(s.regionCode, g.regionCode);
    }
}

TEST(InputProjections, EveryIdHasGoldenCases) {
    for (InputProjectionId id = 1; id <= 38; ++id) {
        int count = 0;
        for (const Golden& g : goldenCases()) count += g.id == id ? 1 : 0;
        EXPECT_GE(count, 1) << id;
        EXPECT_TRUE(isInputProjection(id)) << id;
    }
    EXPECT_FALSE(isInputProjection(0));
    EXPECT_FALSE(isInputProjection(39));
}

// Directions spread over the sphere, away from the exact poles and seams.
std::vector<SphereDir> sphereSamples() {
    std::vector<SphereDir> dirs;
    std::mt19937 rng(12345);
    std::normal_distribution<double> n(0.0, 1.0);
    for (int i = 0; i < 2000; ++i) {
        const double x = n(rng), y = n(rng), z = n(rng);
        const SphereDir d = normalised(x, y, z);
        if (std::fabs(d.y) > 0.9999f) continue;
        dirs.push_back(d);
    }
    return dirs;
}

TEST(InputProjections, HitsLieInsideTheImage) {
    const auto dirs = sphereSamples();
    for (InputProjectionId id = 1; id <= 38; ++id) {
        for (float aspect : {0.5f, 1.0f}) {
            int hits = 0;
            for (const SphereDir& d : dirs) {
                const InputSample s = sphereToInput(id, 0, aspect, d);
                ASSERT_FALSE(std::isnan(s.u)) << id;
                ASSERT_FALSE(std::isnan(s.v)) << id;
                if (s.miss) continue;
                ++hits;
                EXPECT_GE(s.u, 0.0f) << id;
                EXPECT_LE(s.u, 1.0f) << id;
                EXPECT_GE(s.v, 0.0f) << id;
                EXPECT_LE(s.v, 1.0f) << id;
            }
            if (id != kInputSoccer) {
                EXPECT_GT(hits, 0) << id;
            }
        }
    }
}

TEST(InputProjections, FlipMirrorsEveryHit) {
    const auto dirs = sphereSamples();
    for (InputProjectionId id = 1; id <= 38; ++id) {
        for (const SphereDir& d : dirs) {
            const InputSample a = sphereToInput(id, 0, 0.5f, d);
            const InputSample b = sphereToInput(id, 7, 0.5f, d);
            ASSERT_EQ(a.miss, b.miss) << id;
            EXPECT_EQ(a.faceIndex, b.faceIndex) << id;
            EXPECT_EQ(a.regionCode, b.regionCode) << id;
            if (a.miss) {
                EXPECT_EQ(a.u, b.u) << id;
            } else {
                EXPECT_FLOAT_EQ(b.u, 1.0f - a.u) << id;
            }
            EXPECT_EQ(a.v, b.v) << id;
        }
    }
}

TEST(InputProjections, MissesAreMarked) {
    // Outside the ids with their own miss position, a miss is u = v = −1 and
    // face −1.
    const auto dirs = sphereSamples();
    for (InputProjectionId id = 1; id <= 38; ++id) {
        for (const SphereDir& d : dirs) {
            const InputSample s = sphereToInput(id, 0, 0.5f, d);
            if (!s.miss) continue;
            EXPECT_EQ(s.faceIndex, -1) << id;
            if (id == 10 || id == kInputSoccer) continue;
            EXPECT_EQ(s.u, -1.0f) << id;
            EXPECT_EQ(s.v, -1.0f) << id;
        }
    }
}

TEST(InputProjections, DirectionsThatAreNotNumbersMiss) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (InputProjectionId id = 1; id <= 38; ++id) {
        const InputSample s = sphereToInput(id, 1, 0.5f, SphereDir{nan, 0.0f, 1.0f});
        EXPECT_TRUE(s.miss) << id;
        EXPECT_EQ(s.u, -1.0f) << id;
    }
}

TEST(InputProjections, WeightIsLeftAloneExceptByZenithNadir) {
    for (InputProjectionId id = 0; id <= 39; ++id) {
        InputSample s;
        s.weight = 0.375f;
        sphereToInput(id, 0, 0.5f, kNorth, s);
        if (id == kInputZenithNadir) {
            EXPECT_EQ(s.weight, 1.0f);
        } else {
            EXPECT_EQ(s.weight, 0.375f) << id;
        }
    }
}

TEST(InputProjections, RightHalfRule) {
    const InputProjectionId withRule[] = {5, 7, 17, 21, 22, 23, 30, 31, 32};
    const InputProjectionId without[] = {1, 13, 20, 24, 37, 38};
    const SphereDir rightHalf = latLon(10, 60);
    const SphereDir leftHalf = latLon(10, -60);
    for (InputProjectionId id : withRule) {
        EXPECT_EQ(sphereToInput(id, 0, 0.5f, rightHalf).regionCode, 3u) << id;
        EXPECT_EQ(sphereToInput(id, 0, 0.5f, leftHalf).regionCode, 2u) << id;
        // The rule reads the position before the mirror.
        EXPECT_EQ(sphereToInput(id, 1, 0.5f, rightHalf).regionCode, 3u) << id;
    }
    for (InputProjectionId id : without) {
        EXPECT_EQ(sphereToInput(id, 0, 0.5f, rightHalf).regionCode, 2u) << id;
    }
}

// ---- cube faces -------------------------------------------------------------------

TEST(CubeFace, AxesAndFaces) {
    struct Case {
        SphereDir d;
        std::int32_t face;
    };
    const Case cases[] = {{kBack, 0}, {kRight, 1}, {kSouth, 2}, {kFront, 3}, {kLeft, 4}, {kNorth, 5}};
    for (const Case& c : cases) {
        const CubeFacePoint f = cubeFaceOf(c.d);
        EXPECT_EQ(f.face, c.face);
        EXPECT_FLOAT_EQ(f.fu, 0.0f);
        EXPECT_FLOAT_EQ(f.fv, 0.0f);
    }
}

TEST(CubeFace, FaceCoordinatesAndSigns) {
    // Front: (−x/z, −y/z). Back: (x/|z|, −y/|z|). +x: (z/x, −y/x). −x: (−z/|x|, −y/|x|).
    // +y: (−x/y, z/y). −y: (−x/|y|, −z/|y|).
    struct Case {
        SphereDir d;
        std::int32_t face;
        float fu, fv;
    };
    const Case cases[] = {
        {normalised(0.5, 0.25, 1), 3, -0.5f, -0.25f},  {normalised(0.5, 0.25, -1), 0, 0.5f, -0.25f},
        {normalised(1, 0.25, 0.5), 4, 0.5f, -0.25f},   {normalised(-1, 0.25, 0.5), 1, -0.5f, -0.25f},
        {normalised(0.5, 1, 0.25), 5, -0.5f, 0.25f},   {normalised(0.5, -1, 0.25), 2, -0.5f, -0.25f},
    };
    for (const Case& c : cases) {
        const CubeFacePoint f = cubeFaceOf(c.d);
        EXPECT_EQ(f.face, c.face);
        EXPECT_NEAR(f.fu, c.fu, 1e-6) << c.face;
        EXPECT_NEAR(f.fv, c.fv, 1e-6) << c.face;
    }
}

TEST(CubeFace, TiesKeepTheEarlierAxis) {
    const float h = std::sqrt(0.5f);
    EXPECT_EQ(cubeFaceOf({h, 0.0f, h}).face, 3);     // x = z: z wins
    EXPECT_EQ(cubeFaceOf({-h, 0.0f, -h}).face, 0);
    EXPECT_EQ(cubeFaceOf({h, h, 0.0f}).face, 4);     // x = y: x wins
    EXPECT_EQ(cubeFaceOf({-h, -h, 0.1f}).face, 1);
    EXPECT_NEAR(cubeFaceOf({h, h, 0.0f}).fv, -1.0f, 1e-6);  // on the face's edge, not off to infinity
    EXPECT_EQ(cubeFaceOf({0.0f, h, h}).face, 3);     // y = z: z wins
    const float t = 1.0f / std::sqrt(3.0f);
    EXPECT_EQ(cubeFaceOf({t, t, t}).face, 3);        // all equal: z
    EXPECT_EQ(cubeFaceOf({t, -t, -t}).face, 0);
    // On a tie the face coordinates reach the face's edge.
    EXPECT_NEAR(std::fabs(cubeFaceOf({h, 0.0f, h}).fu), 1.0f, 1e-6);
}

TEST(CubeFace, RoundTripThroughTheLayoutFaces) {
    // Face-local (u, v) back to a direction: the inverse of the face formulas.
    for (std::int32_t face = 0; face < 6; ++face) {
        for (float u = 0.05f; u < 1.0f; u += 0.15f) {
            for (float v = 0.05f; v < 1.0f; v += 0.15f) {
                const double fu = u * 2.0 - 1.0;
                const double fv = v * 2.0 - 1.0;
                double x = 0, y = 0, z = 0;
                switch (face) {
                    case 0: x = fu; y = -fv; z = -1; break;
                    case 1: x = -1; y = -fv; z = -fu; break;
                    case 2: x = -fu; y = -1; z = -fv; break;
                    case 3: x = -fu; y = -fv; z = 1; break;
                    case 4: x = 1; y = -fv; z = fu; break;
                    case 5: x = -fu; y = 1; z = fv; break;
                }
                const InputSample s = sphereToInput(27, 0, 0.75f, normalised(x, y, z));
                EXPECT_EQ(s.faceIndex, face);
                EXPECT_NEAR(s.u, u, 1e-5) << face;
                EXPECT_NEAR(s.v, v, 1e-5) << face;
            }
        }
    }
}

// ---- gores ---------------------------------------------------------------------------

TEST(Gores, RegionCodeIsTheTruncatedGoreNumber) {
    struct Layout {
        InputProjectionId id;
        int count;
        double offset;
    };
    for (const Layout& l : {Layout{12, 12, 5.5}, Layout{25, 6, 2.5}, Layout{36, 8, 3.5}}) {
        for (int i = 0; i < l.count; ++i) {
            // The middle of gore i on the equator: e = (i + 0.5)/n, longitude = (e − 0.5)·360°.
            const double lon = ((i + 0.5) / l.count - 0.5) * 360.0;
            const InputSample s = sphereToInput(l.id, 0, 0.5f, latLon(0, lon));
            const double k = i - l.offset;
            EXPECT_EQ(s.regionCode, static_cast<std::uint32_t>(static_cast<std::int32_t>(k))) << l.id << " " << i;
            EXPECT_FALSE(s.miss);
            EXPECT_NEAR(s.u, (i + 0.5) / l.count, 1e-5);
            // Within a gore a parallel is an arc about the gore's own meridian.
            const InputSample north = sphereToInput(l.id, 0, 0.5f, latLon(45, lon));
            EXPECT_NEAR(north.u, (i + 0.5) / l.count, 1e-5);
            EXPECT_EQ(north.regionCode, s.regionCode);
        }
    }
}

TEST(Gores, EquatorIsNotASeam) {
    // On the equator the cotangent has a pole; the limit keeps the gore edge
    // continuous with its neighbourhood.
    for (InputProjectionId id : {12, 25, 36}) {
        for (double lon = -179.0; lon < 180.0; lon += 7.3) {
            const InputSample on = sphereToInput(id, 0, 0.5f, latLon(0, lon));
            const InputSample near = sphereToInput(id, 0, 0.5f, latLon(0.01, lon));
            ASSERT_FALSE(on.miss) << id << " " << lon;
            EXPECT_NEAR(on.u, 0.5 + lon / 360.0, 1e-5);
            EXPECT_NEAR(on.v, 0.5, 1e-6);
            EXPECT_NEAR(on.u, near.u, 1e-4);
            EXPECT_NEAR(on.v, near.v, 1e-4);
        }
    }
}

TEST(Gores, GoresNarrowTowardsThePoles) {
    // The edge of a gore at 60° latitude is pulled in towards its meridian.
    const InputSample centre = sphereToInput(12, 0, 0.5f, latLon(60, 15));
    const InputSample edge = sphereToInput(12, 0, 0.5f, latLon(60, 29.9));
    EXPECT_NEAR(centre.u, 0.5 + 15.0 / 360.0, 1e-5);
    EXPECT_GT(edge.u, centre.u);
    EXPECT_LT(edge.u - centre.u, 14.9 / 360.0);
}

TEST(Gores, RadialHalfGoresMeetAtTheCentre) {
    for (double lon = -170.0; lon < 180.0; lon += 20.0) {
        const InputSample s = sphereToInput(19, 0, 1.0f, latLon(89.0, lon));
        ASSERT_FALSE(s.miss) << lon;
        EXPECT_NEAR(std::hypot(s.u - 0.5, s.v - 0.5), 0.5 / 90.0, 2e-3) << lon;
        EXPECT_TRUE(sphereToInput(19, 0, 1.0f, latLon(-1.0, lon)).miss) << lon;
    }
    // Equator points lie on the circle of radius 0.5 about the centre (at
    // the middle of each half-gore).
    const InputSample eq = sphereToInput(19, 0, 1.0f, latLon(0.0, 15.0));
    EXPECT_NEAR(std::hypot(eq.u - 0.5, eq.v - 0.5), 0.5, 1e-4);
}

// ---- zenith & nadir -----------------------------------------------------------------

TEST(ZenithNadir, WeightFadesToZeroAtTheSeamAndBorder) {
    // On the zenith face (fu, fv) = (−x/y, z/y); u = fu/4 + 1/4.
    auto zenith = [](double fu, double fv) { return normalised(-fu, 1.0, fv); };
    auto nadir = [](double fu, double fv) { return normalised(-fu, -1.0, -fv); };
    struct Case {
        SphereDir d;
        double u, v, weight;
    };
    const Case cases[] = {
        {zenith(0, 0), 0.25, 0.5, 1.0},
        {zenith(0.9, 0), 0.475, 0.5, 0.75},      // 30·(0.5 − 0.475)
        {zenith(0.96, 0), 0.49, 0.5, 0.3},       // 30·0.01
        {zenith(-0.96, 0), 0.01, 0.5, 0.3},      // 30·u at the left border
        {zenith(0, -0.96), 0.25, 0.02, 0.3},     // 15·v at the top border
        {nadir(-0.9, 0), 0.525, 0.5, 0.75},      // seam on the nadir side
        {nadir(0, 0.98), 0.75, 0.99, 0.15},      // 15·(1 − v)
        {nadir(0.96, 0), 0.99, 0.5, 0.3},        // 30·(1 − u)
    };
    for (const Case& c : cases) {
        const InputSample s = sphereToInput(26, 0, 0.5f, c.d);
        ASSERT_FALSE(s.miss);
        EXPECT_NEAR(s.u, c.u, 1e-5);
        EXPECT_NEAR(s.v, c.v, 1e-5);
        EXPECT_NEAR(s.weight, c.weight, 1e-4);
    }
    // At the seam the weight reaches 0 from both sides.
    const InputSample zenithSide = sphereToInput(26, 0, 0.5f, zenith(0.99999, 0));
    const InputSample nadirSide = sphereToInput(26, 0, 0.5f, nadir(-0.99999, 0));
    EXPECT_EQ(zenithSide.faceIndex, 5);
    EXPECT_EQ(nadirSide.faceIndex, 2);
    EXPECT_NEAR(zenithSide.weight, 0.0f, 1e-3);
    EXPECT_NEAR(nadirSide.weight, 0.0f, 1e-3);
}

TEST(ZenithNadir, WeightStaysWithinZeroAndOne) {
    for (const SphereDir& d : sphereSamples()) {
        const InputSample s = sphereToInput(26, 0, 0.5f, d);
        EXPECT_GE(s.weight, 0.0f);
        EXPECT_LE(s.weight, 1.0f);
        if (!s.miss) {
            EXPECT_TRUE(s.faceIndex == 2 || s.faceIndex == 5);
        }
    }
}

// ---- round trips ---------------------------------------------------------------------

TEST(RoundTrips, Equirectangular) {
    for (double u = 0.01; u < 1.0; u += 0.049) {
        for (double v = 0.01; v < 1.0; v += 0.049) {
            // The direction an equirectangular image shows at (u, v).
            const double lat = (0.5 - v) * kPi;
            const double lon = (u - 0.5) * 2.0 * kPi;
            const SphereDir d = latLon(lat * 180.0 / kPi, lon * 180.0 / kPi);
            const InputSample s = sphereToInput(1, 0, 0.5f, d);
            EXPECT_NEAR(s.u, u, 2e-6);
            EXPECT_NEAR(s.v, v, 2e-6);
        }
    }
}

TEST(RoundTrips, MirrorBallAndStereographicAndOrthographic) {
    for (double a = -0.45; a <= 0.45; a += 0.05) {
        for (double b = -0.45; b <= 0.45; b += 0.05) {
            const double r2 = a * a + b * b;
            if (r2 >= 0.2025) continue;
            // Mirror ball: the disc point (P, Q) = (−2a, −2b) of radius ρ shows the
            // direction with z = 1 − 2ρ² and (x, y) = (P, Q)·2·sqrt(1 − ρ²).
            {
                const double p = -2.0 * a, q = -2.0 * b;
                const double rho2 = p * p + q * q;
                const double m = 2.0 * std::sqrt(1.0 - rho2);
                const SphereDir d = normalised(p * m, q * m, 1.0 - 2.0 * rho2);
                const InputSample s = sphereToInput(2, 0, 1.0f, d);
                EXPECT_NEAR(s.u, 0.5 + a, 1e-5);
                EXPECT_NEAR(s.v, 0.5 + b, 1e-5);
            }
            // Stereographic: radius 0.5·tan(angle/2).
            {
                const double r = std::sqrt(r2) / 0.5;  // tan(angle/2)
                const double angle = 2.0 * std::atan(r);
                const SphereDir d = r2 == 0.0 ? kFront : offAxis(angle * 180.0 / kPi, -a, -b);
                const InputSample s = sphereToInput(15, 0, 1.0f, d);
                EXPECT_NEAR(s.u, 0.5 + a, 1e-5);
                EXPECT_NEAR(s.v, 0.5 + b, 1e-5);
            }
            // Orthographic: x = −2a, y = −2b.
            {
                const double x = -2.0 * a, y = -2.0 * b;
                const SphereDir d = normalised(x, y, std::sqrt(1.0 - x * x - y * y));
                const InputSample s = sphereToInput(4, 0, 1.0f, d);
                EXPECT_NEAR(s.u, 0.5 + a, 1e-5);
                EXPECT_NEAR(s.v, 0.5 + b, 1e-5);
            }
        }
    }
}

TEST(RoundTrips, MercatorLatitudes) {
    for (double v = 0.05; v < 1.0; v += 0.05) {
        // Inverse Mercator for aspect 0.5: y = (0.5 − v)·π, φ = atan(sinh y).
        const double lat = std::atan(std::sinh((0.5 - v) * 2.0 * kPi * 0.5));
        const InputSample s = sphereToInput(20, 0, 0.5f, latLon(lat * 180.0 / kPi, 10.0));
        EXPECT_NEAR(s.v, v, 2e-5);
    }
}

TEST(PowerWarp, SquareUndoesTheSquareRoot) {
    for (const SphereDir& d : sphereSamples()) {
        const Vec3d a = toVec3d(d);
        const Vec3d half = powerWarp(a, 0.5);
        EXPECT_NEAR(length(half), 1.0, 1e-9);
        const Vec3d back = powerWarp(half, 2.0);
        EXPECT_NEAR(back.x, a.x, 1e-6);
        EXPECT_NEAR(back.y, a.y, 1e-6);
        EXPECT_NEAR(back.z, a.z, 1e-6);
    }
    bool wedge = true;
    powerWarp({0.0, 0.0, 1.0}, 0.5, &wedge);
    EXPECT_FALSE(wedge);
}

// ---- tables ------------------------------------------------------------------------------

TEST(MollweideTable, SolvesTheMollweideEquation) {
    for (double lat = 0.0; lat <= 85.0; lat += 5.0) {
        const double phi = lat * kPi / 180.0;
        const double theta = mollweideAngle(static_cast<float>(phi));
        EXPECT_NEAR(2.0 * theta + std::sin(2.0 * theta), kPi * std::sin(phi), 2e-3) << lat;
        EXPECT_FLOAT_EQ(mollweideAngle(static_cast<float>(-phi)), -static_cast<float>(theta));
    }
    EXPECT_EQ(mollweideAngle(0.0f), 0.0f);
    // Angles beyond the table are held at its end rather than read past it.
    EXPECT_TRUE(std::isfinite(mollweideAngle(100.0f)));
    EXPECT_TRUE(std::isfinite(mollweideAngle(std::numeric_limits<float>::quiet_NaN())));
}

TEST(MollweideTable, FirstUseFromManyThreadsAgrees) {
    // Every thread sees the same filled table (the first of them fills it).
    std::vector<float> results(8, 0.0f);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&results, i] {
            const InputSample s = sphereToInput(7, 0, 0.5f, latLon(40.0, 20.0));
            results[i] = s.v;
        });
    }
    for (auto& t : threads) t.join();
    prepareInputTables();
    for (float r : results) EXPECT_EQ(r, results[0]);
}

TEST(EckertIV, AngleSolvesItsEquation) {
    for (double lat = -89.0; lat <= 89.0; lat += 4.0) {
        const double phi = lat * kPi / 180.0;
        const double t = eckertIVAngle(phi);
        EXPECT_NEAR(t + std::sin(t) * std::cos(t) + 2.0 * std::sin(t), (2.0 + kPi / 2.0) * std::sin(phi), 5e-4)
            << lat;
    }
    EXPECT_EQ(eckertIVAngle(2.0), 1.5707963267948966);
    EXPECT_EQ(eckertIVAngle(-1.5707963267948966), -1.5707963267948966);
}

}  // namespace
}  // namespace globaro
