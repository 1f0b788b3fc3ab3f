// `globaro probe` over the output projections: every output goes through the
// render setup and the output mapping.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "app/probe_command.h"
#include "projection/catalogue.h"

namespace globaro::cli {
namespace {

std::vector<nlohmann::json> probeLines(const ProbeOptions& options, int* code = nullptr) {
    std::ostringstream out, err;
    const int c = runProbe(options, out, err);
    if (code != nullptr) *code = c;
    std::vector<nlohmann::json> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

TEST(ProbeOutputs, EquirectangularOutputReadsAnEquirectangularInputInPlace) {
    ProbeOptions o;
    o.output = 1;
    o.width = 400;
    o.height = 200;
    o.points = {{0.3, 0.4}, {0.5, 0.5}};
    const auto lines = probeLines(o);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NEAR(lines[0]["u"].get<double>(), 0.3, 1e-5);
    EXPECT_NEAR(lines[0]["v"].get<double>(), 0.4, 1e-5);
    EXPECT_NEAR(lines[0]["weight"].get<double>(), 0.4, 1e-6);  // the equirectangular output stores b
    EXPECT_NEAR(lines[1]["direction"][2].get<double>(), 1.0, 1e-6);
}

TEST(ProbeOutputs, EmptySamplesHaveNoDirection) {
    ProbeOptions o;
    o.output = 2;  // mirror ball: the corner shows nothing
    o.width = o.height = 100;
    o.points = {{0.0, 0.0}, {0.5, 0.5}};
    const auto lines = probeLines(o);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0]["direction"].is_null());
    EXPECT_EQ(lines[0]["regionTag"].get<int>(), -5);
    EXPECT_TRUE(lines[0]["miss"].get<bool>());
    EXPECT_EQ(lines[0]["u"].get<double>(), -1.0);
    EXPECT_TRUE(lines[1]["direction"].is_array());
}

TEST(ProbeOutputs, GoresReportTheirGore) {
    ProbeOptions o;
    o.output = 36;
    o.width = 1200;
    o.height = 600;
    o.points = {{1.0 / 24.0, 0.5}, {23.0 / 24.0, 0.5}};
    const auto lines = probeLines(o);
    EXPECT_EQ(lines[0]["regionTag"].get<int>(), 1);
    EXPECT_EQ(lines[1]["regionTag"].get<int>(), 12);
    EXPECT_NEAR(lines[0]["u"].get<double>(), 1.0 / 24.0, 1e-5);
}

TEST(ProbeOutputs, ModelOutputsMapThroughTheirNet) {
    ProbeOptions o;
    o.output = 7;  // "cube"
    o.width = o.height = 400;
    for (int i = 0; i <= 8; ++i) {
        for (int j = 0; j <= 8; ++j) o.points.push_back({i / 8.0, j / 8.0});
    }
    const auto lines = probeLines(o);
    int faces = 0;
    for (const auto& j : lines) {
        const int tag = j["regionTag"].get<int>();
        if (tag >= 0 && tag < 3010) {
            ++faces;
            EXPECT_TRUE(j["direction"].is_array());
        }
    }
    EXPECT_GT(faces, 0);
}

TEST(ProbeOutputs, EveryOutputAnswersEveryPoint) {
    for (const OutputProjectionInfo& info : outputProjections()) {
        ProbeOptions o;
        o.output = info.id;
        o.width = 64;
        o.height = 48;
        o.points = {{0.0, 0.0}, {0.5, 0.5}, {0.9, 0.3}, {1.0, 1.0}};
        int code = -1;
        const auto lines = probeLines(o, &code);
        ASSERT_EQ(code, 0) << info.id;
        ASSERT_EQ(lines.size(), 4u) << info.id;
        for (const auto& j : lines) {
            EXPECT_TRUE(j["u"].is_number()) << info.id;
            EXPECT_TRUE(j["direction"].is_null() || j["direction"].is_array()) << info.id;
        }
    }
}

}  // namespace
}  // namespace globaro::cli
