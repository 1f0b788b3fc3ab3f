// Frame plans: a sequence of frames rendered with a plan comes out bit for bit as each frame alone.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "pipeline_test_support.h"

namespace globaro {
namespace {
using namespace testing_support;

// A picture unlike photographicImage's: blocks of hashed colours.
TestImage blockImage(std::int32_t width, std::int32_t height, std::uint32_t salt) {
    return makeImage(width, height, [&](std::int32_t x, std::int32_t y, float* p) {
        const std::uint32_t h = (static_cast<std::uint32_t>(x / 5) * 2654435761u) ^
                                (static_cast<std::uint32_t>(y / 3) * 40503u) ^ (salt * 97u);
        p[0] = static_cast<float>(h % 251) / 250.0f;
        p[1] = static_cast<float>((h >> 8) % 241) / 240.0f;
        p[2] = static_cast<float>((h >> 16) % 239) / 238.0f;
    });
}

struct PlanCase {
    const char* name;
    ProjectionId output;
    std::function<void(SettingsRecord&)> tweak;
    std::int32_t width, height;
    std::size_t budget;  // of the plan
    bool kept;           // whether the plan keeps tiles
};

const PlanCase kCases[] = {
    {"cube strip", 337, [](SettingsRecord&) {}, 384, 64, FramePlan::kDefaultBudgetBytes, true},
    {"cube strip, budget for two tiles", 337, [](SettingsRecord&) {}, 384, 64, 2 * (129 * 65 * 8 + 128 * 64), true},
    {"Mollweide turned (outside its outline)", 46,
     [](SettingsRecord& s) {
         s.longitude = 30.0f;
         s.latitude = 20.0f;
     },
     300, 150, FramePlan::kDefaultBudgetBytes, true},
    {"rectilinear view", 14,
     [](SettingsRecord& s) {
         s.fov = 90.0f;
         s.latitude = 25.0f;
     },
     200, 160, FramePlan::kDefaultBudgetBytes, true},
    {"equirectangular turned (poles inside)", 1,
     [](SettingsRecord& s) {
         s.latitude = 40.0f;
         s.spin = 10.0f;
     },
     256, 128, FramePlan::kDefaultBudgetBytes, true},
    {"net of a solid", 7, [](SettingsRecord&) {}, 150, 100, FramePlan::kDefaultBudgetBytes, false},
    {"Mollweide with a graticule", 46, [](SettingsRecord& s) { s.grid = 5; }, 300, 150, FramePlan::kDefaultBudgetBytes,
     false},
};

// Renders `frames` one after the other through one plan, and each alone; the
// pixels must agree bit for bit.
TEST(FramePlan, FramesComeOutAsEachAlone) {
    const TestImage frames[] = {photographicImage(256, 128), blockImage(256, 128, 1), blockImage(256, 128, 2),
                                photographicImage(256, 128)};
    for (const PlanCase& c : kCases) {
        SCOPED_TRACE(c.name);
        SettingsRecord s = defaultSettings();
        s.outputProjection = c.output;
        s.progressDone = 0;
        c.tweak(s);
        FramePlan plan(c.budget);
        auto render = [&](const TestImage& img, FramePlan* framePlan, bool framesFollow) {
            RenderSession session;
            EXPECT_EQ(session.loadInput(img.view(), 2), 0);
            RenderPass pass = passFor(c.width, c.height);
            pass.framePlan = framePlan;
            pass.framesFollow = framesFollow;
            BufferSink out(c.width, c.height);
            EXPECT_EQ(session.render(s, pass, out).result, 0);
            return out.pixels;
        };
        for (std::size_t f = 0; f < std::size(frames); ++f) {
            const std::vector<float> planned = render(frames[f], &plan, f + 1 < std::size(frames));
            const std::vector<float> alone = render(frames[f], nullptr, false);
            ASSERT_EQ(planned.size(), alone.size());
            std::size_t differing = 0, first = 0;
            for (std::size_t i = 0; i < alone.size(); ++i) {
                if (std::memcmp(&planned[i], &alone[i], sizeof(float)) != 0 && differing++ == 0) first = i;
            }
            EXPECT_EQ(differing, 0u) << "frame " << f << ", first at pixel " << first / 4 << " ("
                                     << (first / 4) % c.width << ", " << (first / 4) / c.width << ")";
            // The second frame recorded what the third and fourth replayed.
            EXPECT_EQ(plan.bytes() > 0, c.kept && f >= 1) << "frame " << f;
        }
        EXPECT_LE(plan.bytes(), c.budget);
    }
}

// What a plan does with the renders asked of it, one step after the other:
// what each render is told to do and what the plan holds after it.
struct PlanStep {
    char key;  // the renders' key: 'a' or 'b'
    std::int32_t jobs;
    bool framesFollow;
    FramePlan::Use use;  // what begin() answers (a recording render records and finishes tile 1)
    std::size_t bytesAfter;
};

constexpr std::size_t kTile1Bytes = 17u * 9 * 2 * sizeof(float) + 16 * 8;  // a 16 x 8 tile

const PlanStep kSteps[] = {
    // A render on its own records nothing, nor does its key again with no frame to follow.
    {'a', 4, false, FramePlan::Use::kNone, 0},
    {'a', 4, false, FramePlan::Use::kNone, 0},
    // In a sequence the key's second render records, the next replays, the last one too.
    {'a', 4, true, FramePlan::Use::kRecord, kTile1Bytes},
    {'a', 4, true, FramePlan::Use::kReplay, kTile1Bytes},
    {'a', 4, false, FramePlan::Use::kReplay, kTile1Bytes},
    // Another tiling is another key: what was kept goes, and a new key's first render records nothing.
    {'a', 5, true, FramePlan::Use::kNone, 0},
    {'b', 5, true, FramePlan::Use::kNone, 0},
    {'b', 5, true, FramePlan::Use::kRecord, kTile1Bytes},
    {'b', 5, true, FramePlan::Use::kReplay, kTile1Bytes},
    {'a', 5, true, FramePlan::Use::kNone, 0},
};

TEST(FramePlan, KeysAndFramesToFollowDecideWhatIsKept) {
    FramePlan plan;
    const TileRecord* recorded = nullptr;
    for (std::size_t i = 0; i < std::size(kSteps); ++i) {
        const PlanStep& step = kSteps[i];
        SCOPED_TRACE(i);
        const std::vector<std::byte> key(8, static_cast<std::byte>(step.key));
        EXPECT_EQ(plan.begin(key, step.jobs, step.framesFollow), step.use);
        if (step.use == FramePlan::Use::kRecord) {
            EXPECT_EQ(plan.replayTile(1), nullptr);
            TileRecord* tile = plan.recordTile(1, 16, 8);
            ASSERT_NE(tile, nullptr);
            tile->complete = true;
            recorded = tile;
        } else {
            EXPECT_EQ(plan.recordTile(1, 16, 8), nullptr);  // nothing is recorded but by a recording render
        }
        if (step.use == FramePlan::Use::kReplay) {
            EXPECT_EQ(plan.replayTile(1), recorded);
            EXPECT_EQ(plan.replayTile(0), nullptr);  // not finished when recorded
            EXPECT_EQ(plan.replayTile(step.jobs), nullptr);
        }
        plan.end();
        EXPECT_EQ(plan.bytes(), step.bytesAfter);
    }
}

}  // namespace
}  // namespace globaro
