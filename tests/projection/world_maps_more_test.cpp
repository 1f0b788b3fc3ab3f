// The equal-area, interrupted, perspective, retroazimuthal and orthoapsidal
// world maps: coverage of the sphere and parameter extremes (their PROJ points
// are lines of mapping_cases.txt, their area scale the every-output check).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <set>

#include "output_test_support.h"
#include "projection/catalogue.h"

namespace globaro {
namespace {

using testing::contextFor;
using testing::directionAt;

// How much of the sphere an output shows: every direction once, the whole
// sphere together with `partner`, or a part only.
enum class Cover { kWhole, kWithPartner, kPart };

struct WorldMapCase {
    ProjectionId id;
    Cover cover;
    ProjectionId partner = 0;
};

const WorldMapCase kCases[] = {
    {12, Cover::kWhole},
    {138, Cover::kWhole},
    {140, Cover::kWhole},
    {69, Cover::kWhole},
    {90, Cover::kWhole},
    {91, Cover::kWhole},
    {94, Cover::kWhole},
    {99, Cover::kWhole},
    {345, Cover::kWhole},
    {346, Cover::kWhole},
    {356, Cover::kWhole},
    {357, Cover::kWhole},
    {397, Cover::kWhole},
    {414, Cover::kWhole},
    {347, Cover::kPart},
    {348, Cover::kPart},
    {349, Cover::kPart},
    {350, Cover::kPart},
    {341, Cover::kPart},
    {342, Cover::kPart},
    {343, Cover::kPart},
    {344, Cover::kPart},
    {360, Cover::kPart},
    {361, Cover::kPart},
    {362, Cover::kPart},
    {363, Cover::kPart},
    {364, Cover::kPart},
    {365, Cover::kPart},
    {366, Cover::kPart},
    {367, Cover::kPart},
    {400, Cover::kWithPartner, 401},
    {401, Cover::kWithPartner, 400},
    {409, Cover::kPart},
};

constexpr int kW = 384, kH = 256;

// Samples (one per pixel centre) in each of 288 equal-area cells of the
// sphere, 12 sectors of longitude by 24 bands of equal height.
std::array<int, 288> cellCounts(std::initializer_list<ProjectionId> ids, int step = 1) {
    std::array<int, 288> counts{};
    for (ProjectionId id : ids) {
        const auto ctx = contextFor(id, 1, kW, kH);
        for (int j = 0; j < kH; j += step)
            for (int i = 0; i < kW; i += step) {
                SphereDir d;
                if (!directionAt(*ctx, (i + 0.5) / kW, (j + 0.5) / kH, d)) continue;
                const double lon = std::atan2(-static_cast<double>(d.x), static_cast<double>(d.z));
                const int sector = std::clamp(int((lon + std::numbers::pi) / (2 * std::numbers::pi) * 12), 0, 11);
                ++counts[std::size_t(std::clamp(int((d.y + 1.0) * 12.0), 0, 23) * 12 + sector)];
            }
    }
    return counts;
}

// The whole maps show every cell, the equal-area ones each about equally
// often (a direction drawn twice doubles its cell's count); the partial ones show a spread of cells,
// and the shaded globes are lit: a grey globe has bright and dark sides.
TEST(WorldMapsMore, CoverTheSphereOnceOrAPartOfIt) {
    for (const WorldMapCase& c : kCases) {
        const auto counts = c.cover == Cover::kWithPartner ? cellCounts({c.id, c.partner})
                                                           : cellCounts({c.id}, c.cover == Cover::kPart ? 3 : 1);
        const auto [lo, hi] = std::minmax_element(counts.begin(), counts.end());
        if (c.cover != Cover::kPart) {
            EXPECT_GT(*lo, 0) << c.id << ": a cell of the sphere is missing";
        } else {
            EXPECT_GT(std::count_if(counts.begin(), counts.end(), [](int n) { return n > 0; }), 20) << c.id;
        }
        if (c.cover == Cover::kWhole && isEqualArea(c.id)) {
            EXPECT_LT(*hi, *lo * 1.5) << c.id;
        }
        if (shadedGlobe(c.id) == 0) continue;
        const auto ctx = contextFor(c.id, 1, kW, kH);
        float darkest = 1.0f, brightest = 0.0f;
        for (int j = 0; j < kH; j += 4)
            for (int i = 0; i < kW; i += 4) {
                const RenderCell cell = testing::sampleAt(*ctx, (i + 0.5) / kW, (j + 0.5) / kH);
                float grey[3] = {0.5f, 0.5f, 0.5f};
                if (cell.inputU < 0.0f) continue;
                shadeGlobeColour(*ctx, cell, grey);
                darkest = std::min(darkest, grey[0]);
                brightest = std::max(brightest, grey[0]);
            }
        EXPECT_GT(brightest - darkest, 0.3f) << c.id;
    }
}

TEST(WorldMapsMore, ParameterExtremesGiveDirectionsOrEmptySamples) {
    for (const WorldMapCase& c : kCases)
        for (float fov : {0.0f, 180.0f})
            for (float latitude : {-90.0f, 90.0f}) {
                SettingsRecord s = testing::plainSettings(c.id, 1, fov);
                s.latitude = latitude;
                RenderContext ctx;
                setupRenderContext(ctx, s, RenderSizes{96, 64, 2000, 1000});
                for (int j = 0; j <= 64; ++j)
                    for (int i = 0; i <= 96; ++i) {
                        SphereDir d;
                        if (directionAt(ctx, i / 96.0, j / 64.0, d)) {
                            ASSERT_NEAR(testing::length(d), 1.0f, 1e-4f) << c.id << " fov " << fov;
                        }
                        const RenderCell cell = testing::sampleAt(ctx, i / 96.0, j / 64.0);
                        ASSERT_FALSE(std::isnan(cell.inputU) || std::isnan(cell.inputV)) << c.id;
                    }
            }
}

}  // namespace
}  // namespace globaro
