// The render setup and the per-sample order of the output mapping.

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <tuple>
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

// One sample: reset values, the output's tag, the input's answer, graticule and indicatrix.
TEST(OutputMapping, TagsOfAMissAPlainHitAndAnInputMiss) {
    // The mirror ball's corner keeps the reset values, whatever the input would set.
    for (InputProjectionId input : {1, 26, 33, 35}) {
        const RenderCell c = sampleAt(*contextFor(2, input, 100, 100, 600, 100), 0.01, 0.01);
        EXPECT_TRUE(c.regionTag == kTagEmpty && c.inputU == -1.0f && c.subTag == 1u && c.lineValue == 1.0f &&
                    c.lineValue2 == 1.0f && c.projectionScratch[1] == -1.0f && c.faceIndex == -1 && c.pieceTag == 0u &&
                    c.weight == -1.0f)
            << input;
        EXPECT_TRUE(input == 1 || sampleAt(*contextFor(2, input, 100, 100, 600, 100), 0.5, 0.5).pieceTag != 0u);
    }
    const auto mollweideInput = contextFor(1, 7, 200, 100);
    EXPECT_EQ(sampleAt(*mollweideInput, 0.5, 0.5).regionTag, kTagPlainMap);
    EXPECT_EQ(sampleAt(*mollweideInput, 0.8, 0.5).pieceTag, InputSample::kRightHalfRegionCode);
    const auto orthographicInput = contextFor(1, 4, 200, 100);  // shows only the front half
    EXPECT_EQ(sampleAt(*orthographicInput, 0.02, 0.5).regionTag, kTagInputMiss);
    EXPECT_EQ(sampleAt(*orthographicInput, 0.02, 0.5).subTag, 1u);
}

TEST(OutputMapping, RotationFoldAndPreWarpComeBeforeTheLookup) {
    SettingsRecord s = plainSettings(1, 1);
    s.latitude = 90.0f;
    EXPECT_NEAR(sampleAt(*setUp(s), 0.5, 0.5).inputV, 0.0f, 1e-4f);  // the centre reads the north pole
    s.latitude = 0.0f, s.anamorphosis = 1;  // the fold halves the angle from the view axis: 135° to 67.5°, 90° to 45°
    EXPECT_NEAR(sampleAt(*setUp(s), 0.125, 0.5).inputU, 0.3125f, 1e-4f);
    EXPECT_NEAR(sampleAt(*setUp(s), 0.25, 0.5).inputU, 0.375f, 1e-4f);
    // The Gilbert globe shows the orthographic globe through W(d, 2).
    const auto gilbert = contextFor(134, 1, 100, 100);
    const auto ortho = contextFor(5, 1, 100, 100);
    for (const auto& [a, b] : {std::pair{0.5, 0.5}, {0.7, 0.6}, {0.3, 0.2}}) {
        SphereDir d;
        ASSERT_TRUE(testing::directionAt(*ortho, a, b, d));
        const Vec3d w = powerWarp(toVec3d(d), 2.0);
        const InputSample want = sphereToInput(1, 0, 0.5f, SphereDir{float(w.x), float(w.y), float(w.z)});
        EXPECT_NEAR(sampleAt(*gilbert, a, b).inputU, want.u, 1e-4f);
        EXPECT_NEAR(sampleAt(*gilbert, a, b).inputV, want.v, 1e-4f);
    }
}

// Anamorphosis: gore outputs look up fold(turn(d)), plain maps turn(fold(d)).
TEST(OutputMapping, TheFoldComesBeforeOrAfterTheRotationByOutput) {
    for (const auto& [output, after] : {std::pair{36, true}, {37, true}, {1044, true}, {1, false}, {62, false}}) {
        SettingsRecord s = plainSettings(output, 1);
        s.anamorphosis = 1, s.latitude = 30.0f, s.longitude = 20.0f;
        const auto ctx = setUp(s, 400, 200);
        for (const auto& [a, b] : {std::pair{0.3, 0.4}, {0.55, 0.7}}) {
            SphereDir d, lookedUp;
            ASSERT_TRUE(testing::directionAt(*ctx, a, b, d));
            RenderCell cell{};
            MappingScratch scratch;
            outputToSphere(float(a), float(b), *ctx, cell, scratch, &lookedUp);
            const SphereDir want =
                after ? halfAngleFold(rotate(ctx->rotation, d)) : rotate(ctx->rotation, halfAngleFold(d));
            EXPECT_LT(distance(lookedUp, want), 1e-5f) << output << " at " << a << ", " << b;
        }
    }
}

TEST(OutputMapping, GraticuleAndIndicatrixRecords) {
    SettingsRecord s = plainSettings(1, 1);
    s.grid = 4;
    EXPECT_NEAR(sampleAt(*setUp(s), 0.3, 0.4).secondU, 0.3f, 1e-4f);  // its own position
    EXPECT_NEAR(sampleAt(*setUp(s), 0.3, 0.4).secondV, 0.4f, 1e-4f);
    s.flip = 1;
    EXPECT_NEAR(sampleAt(*setUp(s), 0.3, 0.4).secondU, 0.7f, 1e-4f);
    s.grid = 1;
    EXPECT_EQ(sampleAt(*setUp(s), 0.3, 0.4).secondU, -1.0f);
    s.flip = 0, s.indicatrix = 1;
    const auto ctx = setUp(s);
    for (const SphereDir& d : ctx->indicatrixCentres) EXPECT_NEAR(testing::length(d), 1.0f, 1e-5f);
    // Centre 10° north on the central meridian; from (0°, 10°) the squared distance is 0.0225.
    EXPECT_LT(sampleAt(*ctx, 0.5, 4.0 / 9.0).lineValue, 1e-6f);
    EXPECT_FLOAT_EQ(sampleAt(*ctx, 0.5 + 10.0 / 360.0, 0.5).lineValue, 0.0225f);
    s.indicatrix = 0;
    EXPECT_EQ(sampleAt(*setUp(s), 0.5, 4.0 / 9.0).lineValue, 1.0f);
}

TEST(OutputMapping, InputPreviewShowsTheWholeInputUnturned) {
    SettingsRecord s = plainSettings(36, 7, 30.0f);
    s.latitude = 40.0f;
    RenderContext ctx;
    setupInputPreviewContext(ctx, s, RenderSizes{400, 200, 400, 200});
    EXPECT_EQ(std::tuple(ctx.outputProjection, ctx.inputProjection, ctx.fov, ctx.latitude, ctx.spin),
              std::tuple(81, 7, 90.0f, 0.0f, 90.0f));
}

// A scratch that maps rows of one render after another keeps what it found for a row's columns
// only while they stay the same: each row is, field for field, what a fresh scratch gives,
// whichever column, step, offset, image width, frame or row length changed since.
TEST(OutputMapping, AScratchCarriesNothingStaleFromRowToRow) {
    struct Row {
        std::int32_t width, height;
        float x0, y;
        std::int32_t count;
        float step, originX;
        float latitude;
    };
    // Each row changes one thing from the row before it.
    const Row rows[] = {
        {300, 150, -1, 10, 152, 1, 0, 20},      // the first row
        {300, 150, -1, 11, 152, 1, 0, 20},      // the next row of the same columns
        {300, 150, -1, 12, 152, 1, 0, 0},       // unturned
        {300, 100, -1, 12, 152, 1, 0, 20},      // another frame on an image as wide
        {300, 150, -1, 12, 152, 1, 0, 20},      // and back
        {400, 200, -1, 12, 152, 1, 0, 20},      // a wider image in the same frame
        {300, 150, -1, 12, 152, 1, 0, 20},      // and back
        {300, 150, -1, 12, 152, 1, 3, 20},      // a sub-sample offset
        {300, 150, -1, 12, 152, 2.5f, 3, 20},   // a sub-sample step
        {300, 150, 149, 12, 152, 2.5f, 3, 20},  // other columns
        {300, 150, -1, 12, 40, 2.5f, 3, 20},    // fewer, the first ones again
        {300, 150, -1, 13, 152, 2.5f, 3, 20},   // and all of them
        {600, 300, -1, 40, 302, 1, 0, 20},      // a row longer than the table
        {300, 150, -1, -1, 152, 1, 0, 20},      // the row above the image
    };
    for (const InputProjectionId input : {1, 7}) {
        MappingScratch kept;
        for (const Row& r : rows) {
            SettingsRecord s = plainSettings(1, input);
            s.latitude = r.latitude, s.longitude = 1.5f * r.latitude, s.spin = 0.5f * r.latitude;
            const auto ctx = setUp(s, r.width, r.height);
            const OutputImageRecord image = makeOutputImageRecord(r.width, r.height);
            std::vector<RenderCell> got(static_cast<std::size_t>(r.count)), want(got.size());
            MappingScratch fresh;
            ASSERT_TRUE(mapOutputRow(r.x0, r.y, r.count, r.step, r.originX, 0, image, *ctx, got.data(), kept));
            ASSERT_TRUE(mapOutputRow(r.x0, r.y, r.count, r.step, r.originX, 0, image, *ctx, want.data(), fresh));
            for (std::size_t i = 0; i < got.size(); ++i)
                ASSERT_EQ(std::memcmp(&got[i], &want[i], sizeof(RenderCell)), 0)
                    << "input " << input << ", " << r.width << " x " << r.height << ", corner (" << r.x0 + float(i)
                    << ", " << r.y << ")";
        }
    }
}

TEST(OutputMapping, ThreadsShareOneContext) {
    // Threads sharing the context, each with its own cells and scratch, get one thread's answers.
    SettingsRecord s = plainSettings(35, 7);
    s.indicatrix = 1, s.grid = 3, s.latitude = 20.0f;
    const auto ctx = setUp(s, 300, 180);
    constexpr int kCells = 60 * 60;
    auto mapAll = [&](std::vector<RenderCell>& out) {
        MappingScratch own;
        for (int k = 0; k < kCells; ++k) outputToSphere((k % 60 + 0.5f) / 60, (k / 60 + 0.5f) / 60, *ctx, out[k], own);
    };
    std::vector<RenderCell> expected(kCells);
    mapAll(expected);
    std::vector<std::vector<RenderCell>> results(4, std::vector<RenderCell>(kCells));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back([&, t] { mapAll(results[t]); });
    for (std::thread& th : threads) th.join();
    for (const auto& r : results) EXPECT_EQ(std::memcmp(r.data(), expected.data(), sizeof(RenderCell) * kCells), 0);
}

TEST(GlobeShading, LightsOnlyTheShadedGlobesTheLitSideBrighter) {
    const auto quick = contextFor(139, 1, 100, 100);
    RenderCell c = sampleAt(*quick, 0.5, 0.5);
    auto shade = [&](const RenderContext& ctx, const RenderCell& cell) {
        float rgb[3] = {0.6f, 0.6f, 0.6f};
        shadeGlobeColour(ctx, cell, rgb);
        return std::vector<float>(rgb, rgb + 3);
    };
    const std::vector<float> grey{0.6f, 0.6f, 0.6f};
    EXPECT_NE(shade(*quick, c), grey);
    EXPECT_EQ(shade(*contextFor(5, 1, 100, 100), sampleAt(*contextFor(5, 1, 100, 100), 0.5, 0.5)), grey);
    // Facing the key light (0.54, 0.42, 0.73) against facing away from it.
    const SphereDir toward = testing::unit(0.54f, 0.42f, 0.7293833f), away = testing::unit(-0.54f, -0.42f, 0.2f);
    std::memcpy(c.normal, &toward, sizeof c.normal);
    const std::vector<float> bright = shade(*quick, c);
    std::memcpy(c.normal, &away, sizeof c.normal);
    const std::vector<float> dark = shade(*quick, c);
    for (int k = 0; k < 3; ++k) {
        EXPECT_GT(bright[k], dark[k] + 0.2f);
        EXPECT_GE(dark[k], 0.0f);
        EXPECT_LE(bright[k], 1.0f);
    }
    c.regionTag = kTagEmpty;
    EXPECT_EQ(shade(*quick, c), grey);
}

}  // namespace
}  // namespace globaro
