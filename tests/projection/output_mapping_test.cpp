// The render setup and the per-sample order of the output mapping: cell reset
// values, tags, misses, folds and pre-warps, the rotation, graticule and
// indicatrix recording, the globe shading and the polyhedron model path.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "output_test_support.h"
#include "polyhedra/poly_model.h"
#include "projection/catalogue.h"
#include "projection/input_projection.h"
#include "render/render_setup.h"

namespace globaro {
namespace {

using testing::contextFor;
using testing::distance;
using testing::plainSettings;
using testing::sampleAt;

std::unique_ptr<RenderContext> setUp(const SettingsRecord& s, int w = 200, int h = 100) {
    auto ctx = std::make_unique<RenderContext>();
    setupRenderContext(*ctx, s, RenderSizes{w, h, 2000, 1000});
    return ctx;
}

TEST(OutputMapping, StartOfMappingValuesOnAMiss) {
    const auto ctx = contextFor(2, 1, 100, 100);  // mirror ball: the corner is a miss
    const RenderCell c = sampleAt(*ctx, 0.01, 0.01);
    EXPECT_EQ(c.regionTag, kTagEmpty);
    EXPECT_EQ(c.inputU, -1.0f);
    EXPECT_EQ(c.inputV, -1.0f);
    EXPECT_EQ(c.subTag, 1u);
    EXPECT_EQ(c.lineValue, 1.0f);
    EXPECT_EQ(c.lineValue2, 1.0f);
    EXPECT_EQ(c.normal[2], 1.0f);
    EXPECT_EQ(c.projectionScratch[0], 0.0f);
    EXPECT_EQ(c.projectionScratch[1], -1.0f);
    EXPECT_EQ(c.mappingScratchWord, 0);
}

TEST(OutputMapping, PlainHitGetsThePlainTagAndTheInputRegionCode) {
    const auto ctx = contextFor(1, 7, 200, 100);  // equirectangular of a Mollweide input
    const RenderCell left = sampleAt(*ctx, 0.5, 0.5);
    EXPECT_EQ(left.regionTag, kTagPlainMap);
    EXPECT_EQ(left.subTag, 0u);
    const RenderCell right = sampleAt(*ctx, 0.8, 0.5);
    EXPECT_EQ(right.pieceTag, InputSample::kRightHalfRegionCode);
}

TEST(OutputMapping, InputMissTakesTheMissTag) {
    // An orthographic input shows only the front half.
    const auto ctx = contextFor(1, 4, 200, 100);
    const RenderCell back = sampleAt(*ctx, 0.02, 0.5);
    EXPECT_EQ(back.regionTag, kTagInputMiss);
    EXPECT_EQ(back.subTag, 1u);
    const RenderCell front = sampleAt(*ctx, 0.5, 0.5);
    EXPECT_EQ(front.regionTag, kTagPlainMap);
}

TEST(OutputMapping, RotationTurnsTheCentreToThePole) {
    SettingsRecord s = plainSettings(1, 1);
    s.latitude = 90.0f;
    const auto ctx = setUp(s);
    const RenderCell c = sampleAt(*ctx, 0.5, 0.5);
    // The centre now reads the north pole: the top row of the input.
    EXPECT_NEAR(c.inputV, 0.0f, 1e-4f);
}

TEST(OutputMapping, FoldBeforeRotationHalvesTheAngle) {
    SettingsRecord s = plainSettings(1, 1);
    s.anamorphosis = 1;
    const auto ctx = setUp(s);
    EXPECT_EQ(ctx->foldMode, kFoldBeforeRotation);
    // A point 135° left folds to 67.5°, a point 90° left to 45°.
    EXPECT_NEAR(sampleAt(*ctx, 0.125, 0.5).inputU, 0.3125f, 1e-4f);
    EXPECT_NEAR(sampleAt(*ctx, 0.25, 0.5).inputU, 0.375f, 1e-4f);
}

TEST(OutputMapping, FoldModesOfTheSetup) {
    SettingsRecord s = plainSettings(1, 1);
    EXPECT_EQ(setUp(s)->foldMode, kFoldOff);
    s.anamorphosis = 1;
    s.outputProjection = 36;
    EXPECT_EQ(setUp(s)->foldMode, kFoldAfterRotation);
    s.outputProjection = 6;  // a model output
    EXPECT_EQ(setUp(s)->foldMode, kFoldByModel);
    s.outputProjection = 371;  // a tiling folds before the rotation again
    EXPECT_EQ(setUp(s)->foldMode, kFoldBeforeRotation);
}

TEST(OutputMapping, ModesOfTheSetup) {
    SettingsRecord s = plainSettings(45, 1);
    EXPECT_EQ(setUp(s)->mode, kModeOwnSampler);
    s.outputProjection = 395;
    EXPECT_EQ(setUp(s)->mode, kModeOwnSampler);
    s.outputProjection = 486;
    EXPECT_EQ(setUp(s)->mode, kModeSeparate);
    s.outputProjection = 1045;
    s.innerProjection = 6;
    const auto special = setUp(s);
    EXPECT_EQ(special->mode, kModeSpecial);
    EXPECT_EQ(special->modelProjection, 6);
    EXPECT_EQ(special->usesPolyModel, 1);
    s.outputProjection = 1;
    EXPECT_EQ(setUp(s)->mode, kModeNormal);
    // Samplers kept elsewhere leave the sample empty here.
    const RenderCell c = sampleAt(*setUp(plainSettings(394, 1)), 0.5, 0.5);
    EXPECT_EQ(c.regionTag, kTagEmpty);
    EXPECT_EQ(c.subTag, 1u);
}

TEST(OutputMapping, ViewFramesOfTheSetup) {
    const auto wink = contextFor(35, 1, 1000, 500);
    EXPECT_DOUBLE_EQ(wink->frame.x1, 2.570796326312263);
    EXPECT_DOUBLE_EQ(wink->frame.k, std::min(1.0 / (2 * 2.570796326312263), 0.5 / (2 * 1.5707963267948966)));
    const auto bonne = contextFor(346, 1, 1000, 1000);
    EXPECT_DOUBLE_EQ(bonne->frame.cy, (-0.8505 + 1.179) / 2.0);
    const auto fallback = contextFor(6, 1, 100, 100);
    EXPECT_DOUBLE_EQ(fallback->frame.x0, -0.5);
    EXPECT_DOUBLE_EQ(fallback->frame.y1, 0.5);
    // Frame point and centred point agree for symmetric boxes.
    const Vec2d f = framePoint(wink->frame, 0.3, 0.8);
    const Vec2d c = centredPoint(wink->frame, 0.3, 0.8);
    EXPECT_DOUBLE_EQ(f.x, c.x);
    EXPECT_DOUBLE_EQ(f.y, c.y);
}

TEST(OutputMapping, ColoursAndOverlaySwitches) {
    SettingsRecord s = plainSettings(1, 1);
    s.lineColor = Rgb16{65535, 0, 32768};
    s.grid = 4;
    s.indicatrix = 1;
    const auto ctx = setUp(s);
    EXPECT_FLOAT_EQ(ctx->lineColour[0], 65535 * 1.5259022e-5f);
    EXPECT_FLOAT_EQ(ctx->lineColour[1], 0.0f);
    EXPECT_EQ(ctx->graticuleOn, 1);
    EXPECT_EQ(ctx->indicatrixOn, 1);
    for (const SphereDir& d : ctx->indicatrixCentres) EXPECT_NEAR(testing::length(d), 1.0f, 1e-5f);
    EXPECT_NEAR(ctx->indicatrixCentres[126].y, 1.0f, 1e-6f);   // north pole
    EXPECT_NEAR(ctx->indicatrixCentres[127].y, -1.0f, 1e-6f);  // south pole
}

TEST(OutputMapping, GraticulePositionIsStoredMirrored) {
    SettingsRecord s = plainSettings(1, 1);
    s.grid = 4;
    const auto ctx = setUp(s);
    const RenderCell c = sampleAt(*ctx, 0.3, 0.4);
    // The model pair mirrors u, and the stored value mirrors it back: the
    // equirectangular output shows its own position.
    EXPECT_NEAR(c.secondU, 0.3f, 1e-4f);
    EXPECT_NEAR(c.secondV, 0.4f, 1e-4f);
    s.flip = 1;
    EXPECT_NEAR(sampleAt(*setUp(s), 0.3, 0.4).secondU, 0.7f, 1e-4f);
    s.grid = 1;
    s.flip = 0;
    EXPECT_EQ(sampleAt(*setUp(s), 0.3, 0.4).secondU, -1.0f);
}

TEST(OutputMapping, IndicatrixRecordsTheDistanceToTheNearestCentre) {
    SettingsRecord s = plainSettings(1, 1);
    s.indicatrix = 1;
    const auto ctx = setUp(s);
    // The centre at u = 0.5, v = 4/9 (latitude 10° north, longitude 0).
    RenderCell on{};
    MappingScratch scratch;
    outputToSphere(0.5f, 4.0f / 9.0f, *ctx, on, scratch);
    EXPECT_LT(on.lineValue, 1e-6f);
    RenderCell off{};
    outputToSphere(0.5f + 10.0f / 360.0f, 0.5f, *ctx, off, scratch);  // latitude 0, longitude 10°: between centres
    EXPECT_FLOAT_EQ(off.lineValue, 0.0225f);
    s.indicatrix = 0;
    EXPECT_EQ(sampleAt(*setUp(s), 0.5, 4.0 / 9.0).lineValue, 1.0f);
}

TEST(OutputMapping, PowerPreWarpOfTheGilbertGlobe) {
    // 134 shows the orthographic globe through W(d, 2): the output centre is
    // a fixed point, other directions move.
    const auto gilbert = contextFor(134, 1, 100, 100);
    const auto ortho = contextFor(5, 1, 100, 100);
    const RenderCell gc = sampleAt(*gilbert, 0.5, 0.5);
    const RenderCell oc = sampleAt(*ortho, 0.5, 0.5);
    const Vec3d w = powerWarp(Vec3d{0.0, 0.0, 1.0}, 2.0);
    const SphereDir expected{static_cast<float>(w.x), static_cast<float>(w.y), static_cast<float>(w.z)};
    const InputSample direct = sphereToInput(1, 0, 0.5f, expected);
    EXPECT_NEAR(gc.inputU, direct.u, 1e-5f);
    EXPECT_NEAR(gc.inputV, direct.v, 1e-5f);
    (void)oc;
    const RenderCell g2 = sampleAt(*gilbert, 0.7, 0.6);
    const RenderCell o2 = sampleAt(*ortho, 0.7, 0.6);
    EXPECT_GT(std::fabs(g2.inputU - o2.inputU) + std::fabs(g2.inputV - o2.inputV), 1e-3f);
}

TEST(OutputMapping, InputPreviewContext) {
    SettingsRecord s = plainSettings(36, 7, 30.0f);
    s.latitude = 40.0f;
    auto ctx = std::make_unique<RenderContext>();
    setupInputPreviewContext(*ctx, s, RenderSizes{400, 200, 400, 200});
    EXPECT_EQ(ctx->outputProjection, 81);
    EXPECT_EQ(ctx->inputProjection, 7);
    EXPECT_EQ(ctx->fov, 90.0f);
    EXPECT_EQ(ctx->latitude, 0.0f);
    EXPECT_EQ(ctx->spin, 90.0f);
}

TEST(OutputMapping, SampleWrapperNormalisesThePixel) {
    const auto ctx = contextFor(81, 1, 400, 200);
    const OutputImageRecord image = makeOutputImageRecord(400, 200);
    RenderCell a{}, b{};
    MappingScratch scratch;
    mapOutputSample(99.0f, 49.0f, 1.0f, 0.0f, 0.0f, image, 0u, *ctx, a, scratch);
    const OutputPosition p = normalisedOutputPosition(99.0f, 49.0f, 1.0f, 0.0f, 0.0f, image);
    outputToSphere(p.a, p.b, *ctx, b, scratch);
    EXPECT_EQ(a.inputU, b.inputU);
    EXPECT_EQ(a.inputV, b.inputV);
}

TEST(OutputMapping, ViewsOutputsPrepareTheSolidTheyShow) {
    PolyModel* model = createPolyModel();
    ASSERT_NE(model, nullptr);
    SettingsRecord s = plainSettings(76, 1);  // "12 views": dodecahedra
    auto ctx = std::make_unique<RenderContext>();
    RenderSetupOptions options;
    options.polyModel = model;
    setupRenderContext(*ctx, s, RenderSizes{200, 200, 200, 100}, options);
    EXPECT_EQ(model->cacheKey.id, 9);
    releasePolyModel(model);
}

TEST(OutputMapping, ThreadsShareOneContext) {
    // Several threads map with the same context and their own cells and
    // scratch; every thread gets what one thread alone gets.
    SettingsRecord s = plainSettings(35, 7);
    s.indicatrix = 1;
    s.grid = 3;
    s.latitude = 20.0f;
    const auto ctx = setUp(s, 300, 180);
    constexpr int kSide = 60;
    std::vector<RenderCell> expected(kSide * kSide);
    MappingScratch scratch;
    for (int k = 0; k < kSide * kSide; ++k) {
        outputToSphere((k % kSide + 0.5f) / kSide, (k / kSide + 0.5f) / kSide, *ctx, expected[k], scratch);
    }
    std::vector<std::vector<RenderCell>> results(4, std::vector<RenderCell>(kSide * kSide));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            MappingScratch own;
            for (int k = 0; k < kSide * kSide; ++k) {
                outputToSphere((k % kSide + 0.5f) / kSide, (k / kSide + 0.5f) / kSide, *ctx, results[t][k], own);
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < 4; ++t) {
        for (int k = 0; k < kSide * kSide; ++k) {
            ASSERT_EQ(results[t][k].inputU, expected[k].inputU);
            ASSERT_EQ(results[t][k].inputV, expected[k].inputV);
            ASSERT_EQ(results[t][k].regionTag, expected[k].regionTag);
            ASSERT_EQ(results[t][k].secondU, expected[k].secondU);
        }
    }
}

// ---- globe shading -------------------------------------------------------------------------

TEST(GlobeShading, LightsOnlyTheShadedGlobesOnTheirMap) {
    const auto quick = contextFor(139, 1, 100, 100);
    const auto ortho = contextFor(5, 1, 100, 100);
    EXPECT_EQ(quick->shadedGlobe, 1);
    RenderCell c = sampleAt(*quick, 0.5, 0.5);
    float lit[3] = {0.5f, 0.5f, 0.5f};
    shadeGlobeColour(*quick, c, lit);
    EXPECT_NE(lit[0], 0.5f);
    float plain[3] = {0.5f, 0.5f, 0.5f};
    shadeGlobeColour(*ortho, sampleAt(*ortho, 0.5, 0.5), plain);
    EXPECT_EQ(plain[0], 0.5f);
    c.regionTag = kTagEmpty;
    float empty[3] = {0.5f, 0.5f, 0.5f};
    shadeGlobeColour(*quick, c, empty);
    EXPECT_EQ(empty[0], 0.5f);
}

TEST(GlobeShading, TheLitSideIsBrighterAndColoursStayInRange) {
    const auto quick = contextFor(139, 1, 100, 100);
    RenderCell c = sampleAt(*quick, 0.5, 0.5);
    // Facing the key light (0.54, 0.42, 0.73) against facing away from it.
    const SphereDir toward = testing::unit(0.54f, 0.42f, 0.7293833f);
    const SphereDir away = testing::unit(-0.54f, -0.42f, 0.2f);
    float bright[3] = {0.6f, 0.6f, 0.6f};
    float dark[3] = {0.6f, 0.6f, 0.6f};
    c.normal[0] = toward.x;
    c.normal[1] = toward.y;
    c.normal[2] = toward.z;
    shadeGlobeColour(*quick, c, bright);
    c.normal[0] = away.x;
    c.normal[1] = away.y;
    c.normal[2] = away.z;
    shadeGlobeColour(*quick, c, dark);
    for (int k = 0; k < 3; ++k) {
        EXPECT_GT(bright[k], dark[k] + 0.2f);
        EXPECT_GE(dark[k], 0.0f);
        EXPECT_LE(bright[k], 1.0f);
    }
    // The southern variants light from below.
    SettingsRecord s = plainSettings(344, 1);
    auto south = std::make_unique<RenderContext>();
    setupRenderContext(*south, s, RenderSizes{100, 100, 200, 100});
    EXPECT_EQ(south->shadedGlobe, 2);
}

// ---- the polyhedron model path ---------------------------------------------------------------

TEST(OutputMapping, ModelOutputsMapThroughTheNet) {
    PolyModel* model = createPolyModel();
    ASSERT_NE(model, nullptr);
    SettingsRecord s = plainSettings(6, 1);  // "tetrahedron"
    s.tabs = 0.0f;
    auto ctx = std::make_unique<RenderContext>();
    RenderSetupOptions options;
    options.polyModel = model;
    setupRenderContext(*ctx, s, RenderSizes{400, 400, 2000, 1000}, options);
    EXPECT_EQ(ctx->usesPolyModel, 1);
    if (model->triangleCount == 0) {
        releasePolyModel(model);
        GTEST_SKIP() << "the tetrahedron model has no triangles yet";
    }
    PolyJobState job;
    buildSweepList(*model, job);
    MappingScratch scratch;
    scratch.polyJob = &job;
    int faces = 0, gaps = 0;
    for (int i = 0; i <= 20; ++i) {
        for (int j = 0; j <= 20; ++j) {
            RenderCell c{};
            outputToSphere(i / 20.0f, j / 20.0f, *ctx, c, scratch);
            if (c.regionTag >= 0 && c.regionTag < kTagFirstTab) {
                ++faces;
                EXPECT_EQ(c.subTag, 0u);
            } else if (c.regionTag <= kTagInputMiss) {
                ++gaps;
                EXPECT_EQ(c.inputU, -1.0f);
            }
        }
    }
    EXPECT_GT(faces, 20);
    EXPECT_GT(gaps, 20);
    // Without the job's sweep list the model outputs stay empty, not faulty.
    MappingScratch none;
    RenderCell c{};
    outputToSphere(0.5f, 0.5f, *ctx, c, none);
    EXPECT_EQ(c.inputU, -1.0f);
    releasePolyModel(model);
}

// A row of corners mapped at once gives every corner's tags and, within a
// few float roundings, its input position; renders without a row path say so.
TEST(OutputRows, RowsMatchCornerByCorner) {
    struct Case {
        ProjectionId output;
        InputProjectionId input;
        std::int32_t flip;
        std::int32_t w, h;
        float step, originX, originY;
        bool turned = true;
    };
    const Case cases[] = {
        {337, 1, 0, 600, 100, 1.0f, 0.0f, 0.0f}, {338, 1, 1, 300, 200, 1.0f, 0.0f, 0.0f},
        {339, 1, 0, 300, 200, 1.0f, 0.0f, 0.0f}, {339, 33, 0, 300, 200, 1.0f, 0.0f, 0.0f},
        {337, 27, 1, 600, 100, 1.0f, 0.0f, 0.0f}, {337, 2, 0, 600, 100, 2.5f, 3.0f, 7.0f},
        // Not turned: the poles fall on corners of the top and bottom faces.
        {337, 1, 0, 600, 100, 1.0f, 0.0f, 0.0f, false}, {338, 1, 1, 300, 200, 1.0f, 0.0f, 0.0f, false},
        // The rectilinear views, wide and tall, and with the lens shift of 60.
        {14, 1, 0, 300, 200, 1.0f, 0.0f, 0.0f},        {14, 1, 1, 200, 300, 1.0f, 0.0f, 0.0f, false},
        {60, 1, 0, 300, 200, 1.0f, 0.0f, 0.0f},        {14, 33, 0, 300, 200, 2.0f, 5.0f, 1.0f},
        // The equirectangular map, turned and not, and framed by a preview.
        {1, 1, 0, 400, 200, 1.0f, 0.0f, 0.0f},         {1, 1, 1, 400, 200, 1.0f, 0.0f, 0.0f, false},
        {299, 2, 0, 400, 200, 1.0f, 0.0f, 0.0f},       {1, 1, 0, 400, 200, 3.0f, 11.0f, 2.0f},
        // Other routines, corner by corner, with their lookups together:
        // world maps, a mirror ball over a cube input, regions with tags of
        // their own (zenith & nadir, above and below), globes that keep
        // their normals, and a flipped input.
        {46, 1, 0, 400, 200, 1.0f, 0.0f, 0.0f},        {46, 1, 1, 400, 200, 1.0f, 0.0f, 0.0f, false},
        {11, 2, 0, 400, 200, 1.0f, 0.0f, 0.0f},        {2, 33, 0, 300, 300, 1.0f, 0.0f, 0.0f},
        {16, 1, 1, 300, 300, 2.0f, 4.0f, 9.0f},        {171, 1, 0, 400, 200, 1.0f, 0.0f, 0.0f},
        {297, 1, 0, 300, 300, 1.0f, 0.0f, 0.0f},       {5, 1, 0, 300, 300, 1.0f, 0.0f, 0.0f},
        {900, 27, 0, 300, 300, 1.0f, 0.0f, 0.0f},      {80, 1, 0, 400, 200, 1.0f, 0.0f, 0.0f, false},
    };
    for (const Case& c : cases) {
        SettingsRecord s = plainSettings(c.output, c.input);
        s.latitude = c.turned ? 20.0f : 0.0f;
        s.longitude = c.turned ? 30.0f : 0.0f;
        s.spin = c.turned ? 10.0f : 0.0f;
        s.flip = c.flip;
        const auto ctx = setUp(s, c.w, c.h);
        const OutputImageRecord image = makeOutputImageRecord(c.w, c.h);
        const std::int32_t count = c.w / 2 + 2;
        for (std::int32_t y : {-1, 0, 37, c.h / 4, c.h / 2, c.h / 3, c.h}) {
            for (float x0 : {-1.0f, static_cast<float>(c.w / 2 - 1)}) {
                std::vector<RenderCell> row(static_cast<std::size_t>(count)), one(row.size());
                MappingScratch scratch;
                ASSERT_TRUE(mapOutputRow(x0, static_cast<float>(y), count, c.step, c.originX, c.originY, image, *ctx,
                                         row.data(), scratch));
                for (std::int32_t i = 0; i < count; ++i) {
                    MappingScratch own;
                    RenderCell& want = one[static_cast<std::size_t>(i)];
                    mapOutputSample(x0 + static_cast<float>(i), static_cast<float>(y), c.step, c.originX, c.originY,
                                    image, 0, *ctx, want, own);
                    const RenderCell& got = row[static_cast<std::size_t>(i)];
                    SCOPED_TRACE(::testing::Message() << "output " << c.output << ", input " << c.input << ", corner ("
                                                      << x0 + static_cast<float>(i) << ", " << y << ")");
                    ASSERT_EQ(got.regionTag, want.regionTag);
                    ASSERT_EQ(got.pieceTag, want.pieceTag);
                    ASSERT_EQ(got.subTag, want.subTag);
                    ASSERT_EQ(got.faceIndex, want.faceIndex);
                    float du = std::fabs(got.inputU - want.inputU);
                    if (c.input == 1) du = std::min(du, 1.0f - du);  // the panorama's seam
                    ASSERT_LT(du, 2e-6f);
                    ASSERT_NEAR(got.inputV, want.inputV, 2e-6f);
                    ASSERT_EQ(got.weight, want.weight);
                    ASSERT_EQ(got.lineValue, want.lineValue);
                    for (int k = 0; k < 3; ++k) ASSERT_EQ(got.normal[k], want.normal[k]);
                }
            }
        }
    }
    // No row path (the polyhedron model's nets, the graticule): nothing written.
    for (const auto& [other, grid] : {std::pair{10, 1}, std::pair{172, 1}, std::pair{46, 6}}) {
        SettingsRecord s = plainSettings(other, 1);
        s.grid = grid;
        const auto ctx = setUp(s, 200, 100);
        RenderCell cell{};
        cell.regionTag = 12345;
        MappingScratch scratch;
        EXPECT_FALSE(mapOutputRow(0.0f, 5.0f, 1, 1.0f, 0.0f, 0.0f, makeOutputImageRecord(200, 100), *ctx, &cell,
                                  scratch));
        EXPECT_EQ(cell.regionTag, 12345);
    }
}

}  // namespace
}  // namespace globaro
