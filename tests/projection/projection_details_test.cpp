// Rules a table of positions does not show: solvers, cube faces, gores, view caps, one-time tables.

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <set>
#include <thread>
#include <vector>
#include "output_test_support.h"
#include "polyhedra/sphere_lattice.h"
#include "projection/input_projection.h"
#include "projection/world_map_solvers.h"

namespace globaro {
namespace {

using testing::distance;
using testing::latLon;
using testing::Mapper;
using testing::unit;

constexpr double kPi = 3.141592653589793;

struct NewtonMap {
    ProjectionId output;
    MapPoint (*forward)(double, double);
    LonLat (*inverse)(double, double);
    MapPoint extent;
};

const NewtonMap kNewtonMaps[] = {
    {35, winkelTripelForward, winkelTripelInverse, kWinkelTripelExtent},
    {355, naturalEarthForward, naturalEarthInverse, kNaturalEarthExtent},
    {354, cantersForward, cantersInverse, kCantersExtent},
    {358, ginzburg8Forward, ginzburg8Inverse, kGinzburg8Extent},
    {340, laskowskiForward, laskowskiInverse, kLaskowskiExtent},
    {359, larriveeForward, larriveeInverse, kLarriveeExtent},
};

// Forward, back through the solver, and through the output routine from that plane point.
TEST(WorldMapSolvers, InvertTheirForwardEquationsAndTheOutputsShowTheDirection) {
    for (const NewtonMap& nm : kNewtonMaps) {
        SCOPED_TRACE(nm.output);
        Mapper m(nm.output, 1, 1000, 600);
        testing::setExactAspect(*m.ctx, nm.extent.y / nm.extent.x);
        const ViewFrame& f = m.ctx->frame;
        int tried = 0;
        for (int i = -14; i <= 14; ++i) {
            for (int j = -7; j <= 7; ++j) {
                const double lambda = i * 0.2, phi = j * 0.2;
                const MapPoint p = nm.forward(lambda, phi);
                if (std::fabs(p.x) > nm.extent.x || std::fabs(p.y) > nm.extent.y) continue;
                ++tried;
                const LonLat ll = nm.inverse(p.x, p.y);
                ASSERT_TRUE(ll.ok) << lambda << " " << phi;
                ASSERT_NEAR(ll.lambda, lambda, 1e-5);
                ASSERT_NEAR(ll.phi, phi, 1e-5);
                SphereDir d;
                ASSERT_TRUE(m.direction(p.x / f.scale + 0.5 + f.cx, p.y / (f.scale * f.aspect) + 0.5, d));
                const SphereDir want = output_detail::equirectDirection(static_cast<float>(0.5 - lambda / (2 * kPi)),
                                                                        static_cast<float>(phi / kPi + 0.5));
                ASSERT_LT(distance(d, want), 1e-4f) << lambda << " " << phi;
            }
        }
        EXPECT_GT(tried, 300);
    }
    // |X| > |2.44172 − 0.27·Y²| lies outside Ginzburg's curved sides even inside the box.
    EXPECT_FALSE(ginzburg8Inverse(2.40, 1.8).ok);
}

TEST(WorldMapSolvers, HillEucyclicKeepsTheCentralMeridianNorthUp) {
    Mapper m(399, 1, 1000, 600);
    float lastY = 2.0f;
    int hits = 0;
    for (int j = 0; j <= 60; ++j) {
        SphereDir d;
        if (!m.direction(0.5, j / 60.0, d)) continue;
        ++hits;
        EXPECT_NEAR(d.x, 0.0f, 1e-5f);
        EXPECT_GT(d.z, -1e-5f);
        EXPECT_LT(d.y, lastY + 1e-6f);
        lastY = d.y;
    }
    EXPECT_GT(hits, 40);
}

TEST(WorldMapSolvers, RobinsonInverseLatitudeInvertsTheTable) {
    for (int i = -20; i <= 20; ++i) {
        const float phiN = i / 20.0f;
        EXPECT_NEAR(robinsonInverseLatitude(robinsonHeight(phiN)), phiN, 2e-4f) << phiN;
    }
}

TEST(WorldMapSolvers, AuxiliaryAnglesSolveTheirEquations) {
    for (double lat = -89.0; lat <= 89.0; lat += 4.0) {
        const double phi = lat * kPi / 180.0;
        const double t = eckertIVAngle(phi);
        EXPECT_NEAR(t + std::sin(t) * std::cos(t) + 2.0 * std::sin(t), (2.0 + kPi / 2.0) * std::sin(phi), 5e-4) << lat;
        const double theta = mollweideAngle(static_cast<float>(phi));
        EXPECT_NEAR(2.0 * theta + std::sin(2.0 * theta), kPi * std::sin(phi), 2e-3) << lat;
    }
    // Angles beyond the table are held at its end rather than read past it.
    EXPECT_TRUE(std::isfinite(mollweideAngle(100.0f)));
    EXPECT_TRUE(std::isfinite(mollweideAngle(std::nanf(""))));
    for (const SphereDir& d : testing::fibonacciSphere(300)) {
        const Vec3d a = toVec3d(d);
        const Vec3d back = powerWarp(powerWarp(a, 0.5), 2.0);
        EXPECT_LT(length(Vec3d{back.x - a.x, back.y - a.y, back.z - a.z}), 1e-6);
    }
}

TEST(WorldMapSolvers, TheMollweideTableFilledOnFirstUseFromManyThreadsAgrees) {
    std::vector<float> results(8, 0.0f);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&results, i] { results[i] = sphereToInput(7, 0, 0.5f, latLon(40.0, 20.0)).v; });
    for (auto& t : threads) t.join();
    prepareInputTables();
    for (float r : results) EXPECT_EQ(r, results[0]);
}

TEST(CubeFaces, FaceAndFaceCoordinatesTiesKeepTheEarlierAxis) {
    struct Case {
        SphereDir d;
        std::int32_t face;
        float fu, fv;
    };
    const float h = std::sqrt(0.5f);
    // Front (−x/z,−y/z), back (x,−y)/|z|, ±x (±z,−y)/|x|, ±y (−x,±z)/|y|; ties: z, then x, then y.
    const Case cases[] = {
        {unit(0.5f, 0.25f, 1), 3, -0.5f, -0.25f},
        {unit(0.5f, 0.25f, -1), 0, 0.5f, -0.25f},
        {unit(1, 0.25f, 0.5f), 4, 0.5f, -0.25f},
        {unit(-1, 0.25f, 0.5f), 1, -0.5f, -0.25f},
        {unit(0.5f, 1, 0.25f), 5, -0.5f, 0.25f},
        {unit(0.5f, -1, 0.25f), 2, -0.5f, -0.25f},
        {{h, 0, h}, 3, -1, 0},
        {{h, h, 0}, 4, 0, -1},
        {{0, h, h}, 3, 0, -1},
        {unit(1, -1, -1), 0, 1, 1},
    };
    for (const Case& c : cases) {
        const CubeFacePoint f = cubeFaceOf(c.d);
        EXPECT_EQ(f.face, c.face) << c.d.x << " " << c.d.y << " " << c.d.z;
        EXPECT_NEAR(f.fu, c.fu, 1e-6) << c.face;
        EXPECT_NEAR(f.fv, c.fv, 1e-6) << c.face;
    }
}

// Each gore output draws its gores, gore k (from 1) over its band of longitude.
TEST(Gores, EachOutputDrawsItsGoresEachOverItsBand) {
    struct Case {
        ProjectionId id;
        int width, height;
        float fov;
        int first, last;  // the gores drawn
        int count;        // gores around the globe
    };
    const Case cases[] = {
        {36, 1200, 600, 90, 1, 12, 12}, {1044, 1200, 600, 90, 1, 18, 18}, {61, 300, 600, 90, 6, 8, 12},
        {53, 600, 600, 90, 4, 9, 12},   {38, 1200, 600, 10, 1, 3, 3},     {38, 1200, 600, 180, 1, 36, 36},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.id << " fov " << c.fov);
        Mapper m(c.id, 1, c.width, c.height, c.fov);
        std::set<std::int32_t> tags;
        for (int i = 0; i <= 120; ++i)
            for (int j = 0; j <= 60; ++j) {
                const RenderCell cell = m.sample(i / 120.0, j / 60.0);
                if (cell.regionTag != kTagEmpty) tags.insert(cell.regionTag);
            }
        std::set<std::int32_t> want;
        for (int k = c.first; k <= c.last; ++k) want.insert(k);
        EXPECT_EQ(tags, want);
        if (c.first != 1 || c.last != c.count) continue;
        for (int k = 0; k < c.count; ++k)
            for (double b : {0.2, 0.5, 0.8}) {
                const RenderCell cell = m.sample((k + 0.5) / c.count, b);
                ASSERT_EQ(cell.regionTag, k + 1);
                EXPECT_NEAR(cell.inputU, (k + 0.5) / c.count, 1e-4) << k;
            }
    }
}

TEST(Gores, InputRegionCodeIsTheTruncatedGoreNumberAndTheEquatorIsNoSeam) {
    struct Layout {
        InputProjectionId id;
        int count;
        double offset;
    };
    for (const Layout& l : {Layout{12, 12, 5.5}, Layout{25, 6, 2.5}, Layout{36, 8, 3.5}}) {
        for (int i = 0; i < l.count; ++i) {
            const double lon = ((i + 0.5) / l.count - 0.5) * 360.0;
            for (double lat : {0.0, 45.0}) {
                const InputSample s = sphereToInput(l.id, 0, 0.5f, latLon(lat, lon));
                EXPECT_EQ(s.regionCode, static_cast<std::uint32_t>(static_cast<std::int32_t>(i - l.offset)));
                EXPECT_NEAR(s.u, (i + 0.5) / l.count, 1e-5);  // a parallel is an arc about the gore's meridian
            }
        }
        // On the equator the cotangent has a pole; the limit keeps the gore continuous there.
        for (double lon = -179.0; lon < 180.0; lon += 7.3) {
            const InputSample on = sphereToInput(l.id, 0, 0.5f, latLon(0, lon));
            const InputSample near = sphereToInput(l.id, 0, 0.5f, latLon(0.01, lon));
            EXPECT_NEAR(on.u, 0.5 + lon / 360.0, 1e-5);
            EXPECT_NEAR(on.u, near.u, 1e-4);
            EXPECT_NEAR(on.v, near.v, 1e-4);
        }
    }
    // The radial half-gores meet at the centre; the equator is their rim.
    for (double lon = -170.0; lon < 180.0; lon += 20.0) {
        const InputSample s = sphereToInput(19, 0, 1.0f, latLon(89.0, lon));
        EXPECT_NEAR(std::hypot(s.u - 0.5, s.v - 0.5), 0.5 / 90.0, 2e-3) << lon;
    }
    // A gore's edge at 60° latitude is pulled in towards its meridian.
    const InputSample centre = sphereToInput(12, 0, 0.5f, latLon(60, 15)),
                      edge = sphereToInput(12, 0, 0.5f, latLon(60, 29.9));
    EXPECT_TRUE(edge.u > centre.u && edge.u - centre.u < 14.9 / 360.0);
    const InputSample eq = sphereToInput(19, 0, 1.0f, latLon(0.0, 15.0));
    EXPECT_NEAR(std::hypot(eq.u - 0.5, eq.v - 0.5), 0.5, 1e-4);
}

TEST(ZenithNadir, WeightFallsToZeroAtTheSeamFromBothSides) {
    for (const auto& [y, face] : {std::pair{1.0f, 5}, {-1.0f, 2}}) {
        const InputSample s = sphereToInput(26, 0, 0.5f, unit(-0.99999f, y, 0.0f));
        EXPECT_EQ(s.faceIndex, face);
        EXPECT_NEAR(s.weight, 0.0f, 1e-3);
    }
}

TEST(ViewSettings, ShiftLensMovesTheCentreNotTheView) {
    SettingsRecord s = testing::plainSettings(60, 1, 90.0f);
    s.latitude = 30.0f;
    RenderContext ctx;
    setupRenderContext(ctx, s, RenderSizes{100, 100, 2000, 1000});
    SphereDir d;
    ASSERT_TRUE(testing::directionAt(ctx, 0.5, 0.5 + std::tan(kPi / 6), d));
    EXPECT_LT(distance(d, {0, 0, 1}), 1e-5f);
}

TEST(ViewSettings, GlobesKeepTheirNormalAndEquirectangularKeepsB) {
    for (ProjectionId id : {5, 139, 900}) {
        Mapper m(id, 1, 100, 100);
        const RenderCell c = m.sample(0.7, 0.4);
        SphereDir d;
        ASSERT_TRUE(m.direction(0.7, 0.4, d));
        EXPECT_LT(distance(d, {c.normal[0], c.normal[1], c.normal[2]}), 1e-6f) << id;
    }
    EXPECT_FLOAT_EQ(Mapper(1, 1, 200, 100).sample(0.3, 0.7).weight, 0.7f);
}

// The planet is star-shaped about its centre, so its picture is too: along
// each ray out from the middle the hits end at the outline, where the view
// grazes the surface (the normal turns side-on). A march that gives up on
// grazing rays leaves the outline short, where the normal still faces the
// viewer; one that steps through the surface finds a hit facing away. The
// rays are a degree apart, finer than the march's own bounds are binned.
TEST(BlobWorld, FirstHitsFaceTheViewerAndTheOutlineGrazes) {
    Mapper m(395, 1, 300, 300);
    SphereDir d;
    for (int k = 0; k < 360; ++k) {
        const double ca = std::cos(k * kPi / 180), sa = std::sin(k * kPi / 180);
        double in = 0.0, out = 0.5;
        for (int i = 1; i < 40; ++i) {
            const double t = 0.5 * i / 40;
            if (!m.direction(0.5 + t * ca, 0.5 + t * sa, d)) continue;
            EXPECT_GT(m.sample(0.5 + t * ca, 0.5 + t * sa).normal[2], 0.0f) << k << " " << t;
            in = std::max(in, t);
        }
        for (int i = 0; i < 30; ++i)
            (m.direction(0.5 + (in + out) / 2 * ca, 0.5 + (in + out) / 2 * sa, d) ? in : out) = (in + out) / 2;
        EXPECT_LT(m.sample(0.5 + in * ca, 0.5 + in * sa).normal[2], 0.05f) << k;
    }
}

}  // namespace
}  // namespace globaro
