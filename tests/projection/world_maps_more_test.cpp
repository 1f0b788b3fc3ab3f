// The equal-area, interrupted, perspective, retroazimuthal and orthoapsidal
// world maps: one table of outputs with their references and properties,
// checked by shared helpers (reference points, area scale, coverage of the
// sphere, parameter extremes).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "output_test_support.h"
#include "projection/catalogue.h"
#include "projection/output_row.h"
#include "projection/world_map_solvers.h"

namespace globaro {
namespace {

using testing::contextFor;
using testing::directionAt;

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;

SphereDir lonLatDirection(double lonDeg, double latDeg) {
    const double l = lonDeg * kDeg, p = latDeg * kDeg;
    return {static_cast<float>(-std::sin(l) * std::cos(p)), static_cast<float>(std::sin(p)),
            static_cast<float>(std::cos(l) * std::cos(p))};
}

// From the chord, which keeps small angles between float directions exact.
double angleBetween(const SphereDir& a, const SphereDir& b) {
    const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y,
                 dz = static_cast<double>(a.z) - b.z;
    return 2.0 * std::asin(std::min(1.0, std::sqrt(dx * dx + dy * dy + dz * dz) / 2.0));
}

// Points of PROJ's inverse: plane (x, y) for a sphere of radius 1 → lon, lat in degrees.
struct ProjPoint {
    double x, y, lon, lat;
};

// A PROJ reference: its points, and the affine map per axis from PROJ's plane
// to the output's frame point (fx = x·sx + ox, fy = y·sy + oy).
struct ProjReference {
    const char* source;
    double sx, ox, sy, oy;
    std::array<ProjPoint, 8> points;
};

constexpr double kCeaFit = 5.0132565492620005;       // 2π·√(2/π)
constexpr double kMollweideFit = 5.656854249492381;  // 4√2
constexpr double kHorizon = 0.41421356237309515;     // √2 − 1, the horizon radius seen from √2 (fov 90)

// Reference values computed once with PROJ 9.1.1 (`proj` then `invproj`, +R=1).
const ProjReference kCea{"PROJ 9 +proj=cea +lat_ts=37.071435021",
                         1.0 / kCeaFit,
                         0.0,
                         -1.0 / kCeaFit,
                         0.0,
                         {{{-2.088856896, 1.085401882, -150.000000034, 60.000000015},
                           {-1.392571264, 0.428658681, -100.000000023, 20.000000006},
                           {-0.417771379, -0.805614799, -29.999999992, -40.000000029},
                           {0.139257126, 0.109233525, 9.999999974, 5.000000021},
                           {0.835542758, -1.177730046, 59.999999985, -69.999999952},
                           {1.671085516, 0.718871457, 119.999999970, 35.000000027},
                           {2.367371148, -0.217635716, 169.999999981, -10.000000001},
                           {-0.278514253, 1.210608494, -20.000000019, 75.000000056}}}};
const ProjReference kBonne45{"PROJ 9 +proj=bonne +lat_1=45",
                             0.5,
                             0.0,
                             -0.5,
                             0.0,
                             {{{-0.723127198, 1.148415633, -150.000000008, 59.999999971},
                               {-1.306205794, 0.402608222, -100.000000005, 20.000000013},
                               {-0.399358521, -1.451210590, -29.999999970, -39.999999982},
                               {0.173565146, -0.689238412, 10.000000012, 5.000000013},
                               {0.357316448, -1.985824444, 60.000000010, -69.999999982},
                               {1.167420396, 0.870937176, 119.999999985, 34.999999972},
                               {1.953672667, 0.843497663, 169.999999990, -9.999999989},
                               {-0.089804344, 0.532139651, -20.000000048, 75.000000015}}}};
const ProjReference kWerner{"PROJ 9 +proj=bonne +lat_1=90",
                            1.0 / 4.1,
                            0.0,
                            -1.0 / 4.1,
                            -1.112 / 4.1,
                            {{{-0.313359282, 0.419477816, -149.999999975, 60.000000004},
                              {-1.190008032, -0.276597614, -99.999999954, 20.000000015},
                              {-0.399014066, -2.233567140, -29.999999975, -39.999999992},
                              {0.173471013, -1.473352865, 9.999999983, 5.000000016},
                              {0.357181501, -2.769589739, 59.999999968, -70.000000005},
                              {0.937533204, 0.206153308, 120.000000023, 34.999999996},
                              {1.736011585, 0.180105455, 170.000000032, -10.000000005},
                              {-0.088562364, -0.246364825, -20.000000064, 75.000000015}}}};
const ProjReference kMollweideOcean{"PROJ 9 +proj=imoll_o",
                                    1.0 / kMollweideFit,
                                    0.243573189101 / kMollweideFit,
                                    -1.0 / kMollweideFit,
                                    0.0,
                                    {{{-2.545146434, 1.078176746, -149.999999999, 60.000000030},
                                      {-1.838621870, 0.384686921, -99.999999975, 20.000000015},
                                      {-0.595075127, -0.750908792, -30.000000019, -40.000000000},
                                      {-0.087176652, 0.096881522, 10.000000012, 5.000000012},
                                      {0.389404451, -1.218924838, 60.000000035, -70.000000019},
                                      {1.660332185, 0.662140462, 120.000000033, 35.000000008},
                                      {2.424764073, -0.193479906, 170.000000029, -10.000000018},
                                      {-0.467201078, 1.281355781, -20.000000061, 74.999999987}}}};
// The perspectives at fov 90: the viewpoint √2 radii from the centre.
const ProjReference kNsper{"PROJ 9 +proj=nsper +h=0.414213562373",
                           0.5 / kHorizon,
                           0.0,
                           -0.5 / kHorizon,
                           0.0,
                           {{{-0.324136520, 0.235952090, -30.000000111, 20.000000043},
                             {0.313833189, -0.198977084, 25.000000029, -14.999999984},
                             {-0.096985832, -0.391079315, -10.000000090, -35.000000123},
                             {0.204340504, 0.344938879, 19.999999939, 29.999999895},
                             {-0.395666191, 0.060351688, -35.000000088, 4.999999993},
                             {0.042475370, 0.408935382, 5.000000011, 39.999999786},
                             {0.0, 0.0, 0.0, 0.0},
                             {0.0, 0.0, 0.0, 0.0}}}};
const ProjReference kTpers{"PROJ 9 +proj=tpers +h=0.414213562373 +tilt=45 +azi=0",
                           0.5 / kHorizon,
                           0.0,
                           -0.5 / kHorizon,
                           0.0,
                           {{{-0.206503899, 0.212588182, -29.999999668, 19.999999827},
                             {0.411099887, -0.120355482, 25.000000065, -4.999999993},
                             {-0.189812778, -0.081015100, -9.999999984, -3.000000008},
                             {0.086149825, 0.271776899, 15.000000092, 30.000000121},
                             {-0.021373865, 0.291015134, -4.999999916, 39.999999071},
                             {0.299522989, 0.130218482, 35.000000171, 10.000000038},
                             {0.0, 0.0, 0.0, 0.0},
                             {0.0, 0.0, 0.0, 0.0}}}};

// How much of the sphere an output shows.
enum class Cover {
    kWhole,        // every direction exactly once
    kWithPartner,  // the whole sphere together with `partner`
    kPart,         // a part only
};

struct WorldMapCase {
    ProjectionId id;
    const ProjReference* reference;  // null: no PROJ counterpart
    double tolerance;                // radians, for the reference points
    Cover cover;
    ProjectionId partner = 0;
};

// Tolerances: 2e-4 of the map's extent, as an angle near the points checked.
const WorldMapCase kCases[] = {
    {12, &kWerner, 8e-4, Cover::kWhole},
    {138, &kCea, 1e-3, Cover::kWhole},
    {140, nullptr, 0.0, Cover::kWhole},
    {345, &kMollweideOcean, 1e-3, Cover::kWhole},
    {346, &kBonne45, 8e-4, Cover::kWhole},
    {356, nullptr, 0.0, Cover::kWhole},
    {357, nullptr, 0.0, Cover::kWhole},
    {397, nullptr, 0.0, Cover::kWhole},
    {414, nullptr, 0.0, Cover::kWhole},
    {347, &kNsper, 2e-4, Cover::kPart},
    {348, &kNsper, 2e-4, Cover::kPart},
    {349, &kTpers, 2e-4, Cover::kPart},
    {350, &kTpers, 2e-4, Cover::kPart},
    {400, nullptr, 0.0, Cover::kWithPartner, 401},
    {401, nullptr, 0.0, Cover::kWithPartner, 400},
    {341, nullptr, 0.0, Cover::kPart},
    {342, nullptr, 0.0, Cover::kPart},
    {343, nullptr, 0.0, Cover::kPart},
    {344, nullptr, 0.0, Cover::kPart},
    {360, nullptr, 0.0, Cover::kPart},
    {361, nullptr, 0.0, Cover::kPart},
    {362, nullptr, 0.0, Cover::kPart},
    {363, nullptr, 0.0, Cover::kPart},
    {364, nullptr, 0.0, Cover::kPart},
    {365, nullptr, 0.0, Cover::kPart},
    {366, nullptr, 0.0, Cover::kPart},
    {367, nullptr, 0.0, Cover::kPart},
    {409, nullptr, 0.0, Cover::kPart},
};

constexpr int kW = 384, kH = 256;

// ---- shared property helpers -------------------------------------------------------------

// The normalised output position of the centre of pixel (i, j).
double pixelA(int i) { return (i + 0.5) / kW; }
double pixelB(int j) { return (j + 0.5) / kH; }

// One of 288 equal-area cells: 12 sectors of longitude by 24 bands of equal height.
int cellOf(const SphereDir& d) {
    const double lon = std::atan2(-static_cast<double>(d.x), static_cast<double>(d.z));
    const int sector = std::clamp(static_cast<int>((lon + kPi) / (2.0 * kPi) * 12.0), 0, 11);
    const int band = std::clamp(static_cast<int>((d.y + 1.0) * 12.0), 0, 23);
    return band * 12 + sector;
}

// Samples per cell of a render of the given outputs (one pixel centre each).
std::array<int, 288> cellCounts(std::initializer_list<ProjectionId> ids) {
    std::array<int, 288> counts{};
    for (ProjectionId id : ids) {
        const auto ctx = contextFor(id, 1, kW, kH);
        for (int j = 0; j < kH; ++j)
            for (int i = 0; i < kW; ++i) {
                SphereDir d;
                if (directionAt(*ctx, pixelA(i), pixelB(j), d)) ++counts[static_cast<std::size_t>(cellOf(d))];
            }
    }
    return counts;
}

// The share of the map (away from cuts) whose area scale, from the mapping's
// Jacobian, lies within `tolerance` of the median.
double shareOfConstantAreaScale(ProjectionId id, double tolerance) {
    const auto ctx = contextFor(id, 1, kW, kH);
    constexpr double h = 1e-3;
    std::vector<double> scales;
    for (int j = 0; j < kH; j += 3)
        for (int i = 0; i < kW; i += 3) {
            const double a = pixelA(i), b = pixelB(j);
            SphereDir c, l, r, u, dn;
            if (!directionAt(*ctx, a, b, c) || !directionAt(*ctx, a - h, b, l) || !directionAt(*ctx, a + h, b, r) ||
                !directionAt(*ctx, a, b - h, u) || !directionAt(*ctx, a, b + h, dn))
                continue;
            // Away from cuts: both halves of each difference about as long.
            const double ratioA = angleBetween(l, c) / std::max(angleBetween(c, r), 1e-12);
            const double ratioB = angleBetween(u, c) / std::max(angleBetween(c, dn), 1e-12);
            if (ratioA < 0.8 || ratioA > 1.25 || ratioB < 0.8 || ratioB > 1.25) continue;
            const double ax = r.x - l.x, ay = r.y - l.y, az = r.z - l.z;
            const double bx = dn.x - u.x, by = dn.y - u.y, bz = dn.z - u.z;
            const double cx = ay * bz - az * by, cy = az * bx - ax * bz, cz = ax * by - ay * bx;
            scales.push_back(std::sqrt(cx * cx + cy * cy + cz * cz));
        }
    if (scales.size() < 100) return 0.0;
    std::vector<double> sorted = scales;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const auto near =
        std::count_if(scales.begin(), scales.end(), [&](double s) { return std::fabs(s / median - 1.0) <= tolerance; });
    return static_cast<double>(near) / static_cast<double>(scales.size());
}

// ---- the checks --------------------------------------------------------------------------

TEST(WorldMapsMore, RenderSomethingThatIsNotFlat) {
    for (const WorldMapCase& c : kCases) {
        const auto ctx = contextFor(c.id, 1, kW, kH);
        int hits = 0;
        double sum[3] = {0, 0, 0}, sum2[3] = {0, 0, 0};
        float darkest = 1.0f, brightest = 0.0f;  // of a grey globe under the lights
        for (int j = 0; j < kH; j += 2)
            for (int i = 0; i < kW; i += 2) {
                const RenderCell cell = testing::sampleAt(*ctx, pixelA(i), pixelB(j));
                if (cell.inputU < 0.0f) continue;
                ++hits;
                float grey[3] = {0.5f, 0.5f, 0.5f};
                shadeGlobeColour(*ctx, cell, grey);
                darkest = std::min(darkest, grey[0]);
                brightest = std::max(brightest, grey[0]);
                const double v[3] = {cell.inputU, cell.inputV, cell.normal[2]};
                for (int k = 0; k < 3; ++k) {
                    sum[k] += v[k];
                    sum2[k] += v[k] * v[k];
                }
            }
        ASSERT_GT(hits, kW * kH / 4 / 10) << c.id;
        const double varU = sum2[0] / hits - (sum[0] / hits) * (sum[0] / hits);
        const double varV = sum2[1] / hits - (sum[1] / hits) * (sum[1] / hits);
        EXPECT_GT(varU, 1e-3) << c.id;
        EXPECT_GT(varV, 1e-3) << c.id;
        EXPECT_TRUE(outputIsDrawn(c.id)) << c.id;
        // The globes are lit: a grey globe has bright and dark sides.
        if (shadedGlobe(c.id) != 0) {
            EXPECT_GT(brightest - darkest, 0.3f) << c.id;
        }
    }
}

TEST(WorldMapsMore, AgreeWithProjUpToAnAffineScalePerAxis) {
    for (const WorldMapCase& c : kCases) {
        if (c.reference == nullptr) continue;
        const ProjReference& ref = *c.reference;
        const auto ctx = contextFor(c.id, 1, kW, kH);
        const ViewFrame& f = ctx->frame;
        for (const ProjPoint& p : ref.points) {
            if (p.x == 0.0 && p.y == 0.0 && p.lon == 0.0) continue;  // unused slot
            const double fx = p.x * ref.sx + ref.ox, fy = p.y * ref.sy + ref.oy;
            const double a = (fx - f.cx) / f.scale + 0.5, b = (fy - f.cy) / (f.aspect * f.scale) + 0.5;
            SphereDir d;
            ASSERT_TRUE(directionAt(*ctx, a, b, d)) << c.id << " " << ref.source << " at " << p.lon << ", " << p.lat;
            EXPECT_LT(angleBetween(d, lonLatDirection(p.lon, p.lat)), c.tolerance)
                << c.id << " " << ref.source << " at " << p.lon << ", " << p.lat;
        }
    }
}

TEST(WorldMapsMore, EqualAreaOutputsKeepAreas) {
    for (const WorldMapCase& c : kCases) {
        if (!isEqualArea(c.id)) continue;
        EXPECT_GE(shareOfConstantAreaScale(c.id, 0.02), 0.9) << c.id;
    }
}

TEST(WorldMapsMore, WorldMapsCoverTheSphereOnce) {
    for (const WorldMapCase& c : kCases) {
        if (c.cover == Cover::kPart) continue;
        const auto counts = c.cover == Cover::kWhole ? cellCounts({c.id}) : cellCounts({c.id, c.partner});
        const auto [lo, hi] = std::minmax_element(counts.begin(), counts.end());
        EXPECT_GT(*lo, 0) << c.id << ": a cell of the sphere is missing";
        // Equal-area maps give every cell the same share of the samples (up
        // to the pixels along the outline): a direction drawn twice doubles
        // its cell's count.
        if (c.cover == Cover::kWhole) {
            EXPECT_LT(*hi, *lo * 1.5) << c.id;
        }
    }
}

TEST(WorldMapsMore, ParameterExtremesGiveDirectionsOrEmptySamples) {
    for (const WorldMapCase& c : kCases) {
        for (float fov : {0.0f, 180.0f}) {
            for (float latitude : {-90.0f, 90.0f}) {
                SettingsRecord s = testing::plainSettings(c.id, 1, fov);
                s.latitude = latitude;
                auto ctx = std::make_unique<RenderContext>();
                setupRenderContext(*ctx, s, RenderSizes{96, 64, 2000, 1000});
                for (int j = 0; j <= 64; ++j)
                    for (int i = 0; i <= 96; ++i) {
                        SphereDir d;
                        if (directionAt(*ctx, i / 96.0, j / 64.0, d)) {
                            ASSERT_NEAR(testing::length(d), 1.0f, 1e-4f) << c.id << " fov " << fov;
                        }
                        const RenderCell cell = testing::sampleAt(*ctx, i / 96.0, j / 64.0);
                        ASSERT_FALSE(std::isnan(cell.inputU) || std::isnan(cell.inputV)) << c.id;
                    }
            }
        }
    }
}

TEST(WorldMapsMore, EveryOutputSaysWhatItIs) {
    for (const WorldMapCase& c : kCases) EXPECT_FALSE(findOutputRow(c.id)->about.empty()) << c.id;
}

}  // namespace
}  // namespace globaro
