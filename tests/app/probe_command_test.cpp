// `globaro probe`: output positions followed through the mapping.

#include "app/probe_command.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace globaro::cli {
namespace {

struct ProbeResult {
    int code;
    std::vector<nlohmann::json> lines;
    std::string out;
    std::string err;
};

ProbeResult probe(const ProbeOptions& options) {
    std::ostringstream out, err;
    ProbeResult r;
    r.code = runProbe(options, out, err);
    r.out = out.str();
    r.err = err.str();
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) r.lines.push_back(nlohmann::json::parse(line));
    return r;
}

ProbeOptions at(double a, double b) {
    ProbeOptions o;
    o.points = {{a, b}};
    return o;
}

TEST(ProbeCommand, CentreOfEquirectangularIsTheCentre) {
    const ProbeResult r = probe(at(0.5, 0.5));
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 1u);
    const auto& j = r.lines[0];
    EXPECT_DOUBLE_EQ(j["a"].get<double>(), 0.5);
    EXPECT_DOUBLE_EQ(j["b"].get<double>(), 0.5);
    EXPECT_NEAR(j["u"].get<double>(), 0.5, 1e-6);
    EXPECT_NEAR(j["v"].get<double>(), 0.5, 1e-6);
    EXPECT_FALSE(j["miss"].get<bool>());
    EXPECT_EQ(j["face"].get<int>(), -1);
    EXPECT_EQ(j["regionTag"].get<int>(), -7);
    EXPECT_EQ(j["pieceTag"].get<unsigned>(), 2u);
    EXPECT_EQ(j["subTag"].get<int>(), 0);
    ASSERT_TRUE(j["direction"].is_array());
    EXPECT_NEAR(j["direction"][0].get<double>(), 0.0, 1e-6);
    EXPECT_NEAR(j["direction"][1].get<double>(), 0.0, 1e-6);
    EXPECT_NEAR(j["direction"][2].get<double>(), 1.0, 1e-6);
    EXPECT_TRUE(r.err.empty());
}

TEST(ProbeCommand, EquiTallReadsAnEquirectangularInputInPlace) {
    ProbeOptions o;
    o.points = {{0.25, 0.5}, {0.1, 0.2}, {0.9, 0.75}};
    const ProbeResult r = probe(o);
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 3u);
    for (std::size_t i = 0; i < o.points.size(); ++i) {
        EXPECT_NEAR(r.lines[i]["u"].get<double>(), o.points[i].first, 1e-5);
        EXPECT_NEAR(r.lines[i]["v"].get<double>(), o.points[i].second, 1e-5);
    }
    // a = 0.25 shows +x (a quarter turn to the left of the centre).
    EXPECT_NEAR(r.lines[0]["direction"][0].get<double>(), 1.0, 1e-6);
}

TEST(ProbeCommand, LatitudeTurnsTheView) {
    ProbeOptions o = at(0.5, 0.5);
    o.lat = 90;
    const ProbeResult r = probe(o);
    ASSERT_EQ(r.code, 0);
    EXPECT_NEAR(r.lines[0]["direction"][1].get<double>(), 1.0, 1e-6);
    EXPECT_NEAR(r.lines[0]["v"].get<double>(), 0.0, 1e-6);
}

TEST(ProbeCommand, FlipMirrorsTheInput) {
    ProbeOptions o = at(0.3, 0.5);
    o.flip = true;
    const ProbeResult r = probe(o);
    ASSERT_EQ(r.code, 0);
    EXPECT_NEAR(r.lines[0]["u"].get<double>(), 0.7, 1e-5);
}

TEST(ProbeCommand, AnamorphosisFoldsBeforeTheRotation) {
    ProbeOptions o = at(0.25, 0.5);  // +x, folded to 45° from the centre
    o.anamorph = true;
    const ProbeResult r = probe(o);
    ASSERT_EQ(r.code, 0);
    EXPECT_NEAR(r.lines[0]["u"].get<double>(), 0.375, 1e-5);
    EXPECT_NEAR(r.lines[0]["direction"][0].get<double>(), std::sqrt(0.5), 1e-6);
}

TEST(ProbeCommand, MissesAreReported) {
    ProbeOptions o = at(0.0, 0.5);  // the back of the sphere
    o.input = 4;                    // orthographic shows the front only
    const ProbeResult r = probe(o);
    ASSERT_EQ(r.code, 0);
    const auto& j = r.lines[0];
    EXPECT_TRUE(j["miss"].get<bool>());
    EXPECT_EQ(j["u"].get<double>(), -1.0);
    EXPECT_EQ(j["v"].get<double>(), -1.0);
    EXPECT_EQ(j["regionTag"].get<int>(), -10001);
    EXPECT_EQ(j["subTag"].get<int>(), 1);
    EXPECT_TRUE(j["direction"].is_array());
}

TEST(ProbeCommand, CubeFacesAndWeights) {
    ProbeOptions o = at(0.5, 0.0);  // the north pole
    o.input = 26;
    ProbeResult r = probe(o);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.lines[0]["face"].get<int>(), 5);
    EXPECT_EQ(r.lines[0]["pieceTag"].get<unsigned>(), 3u);
    EXPECT_NEAR(r.lines[0]["weight"].get<double>(), 1.0, 1e-6);
    o.input = 27;
    o.points = {{0.5, 0.5}};
    r = probe(o);
    EXPECT_EQ(r.lines[0]["face"].get<int>(), 3);
    EXPECT_EQ(r.lines[0]["pieceTag"].get<unsigned>(), 4u);
}

TEST(ProbeCommand, UnknownOutputsAreRefused) {
    ProbeOptions o = at(0.5, 0.5);
    for (std::int32_t output : {0, 415, 1045, -3}) {
        o.output = output;
        const ProbeResult r = probe(o);
        EXPECT_EQ(r.code, 2) << output;
        EXPECT_TRUE(r.out.empty()) << output;
        EXPECT_NE(r.err.find("output projection " + std::to_string(output)), std::string::npos) << r.err;
    }
}

TEST(ProbeCommand, BadInputIsRefused) {
    struct Case {
        const char* what;
        ProbeOptions options;
    };
    std::vector<Case> cases;
    ProbeOptions o = at(0.5, 0.5);
    o.input = 0;
    cases.push_back({"input 0", o});
    o = at(0.5, 0.5);
    o.input = 39;
    cases.push_back({"input 39", o});
    o = at(0.5, 0.5);
    o.width = 0;
    cases.push_back({"output width 0", o});
    o = at(0.5, 0.5);
    o.inputHeight = -1;
    cases.push_back({"input height -1", o});
    o = at(0.5, 0.5);
    o.lat = std::nanf("");
    cases.push_back({"latitude not a number", o});
    o = at(0.5, 0.5);
    o.points.clear();
    cases.push_back({"no points", o});
    cases.push_back({"a beyond the image", at(1.5, 0.5)});
    cases.push_back({"b below zero", at(0.5, -0.1)});
    cases.push_back({"a not a number", at(std::nan(""), 0.5)});
    for (const Case& c : cases) {
        const ProbeResult r = probe(c.options);
        EXPECT_EQ(r.code, 2) << c.what;
        EXPECT_TRUE(r.out.empty()) << c.what;
        EXPECT_EQ(r.err.rfind("probe: ", 0), 0u) << c.what << ": " << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.what;
    }
}

TEST(ProbeCommand, EveryInputAnswersEveryEdgePoint) {
    for (int input = 1; input <= 38; ++input) {
        ProbeOptions o;
        o.input = input;
        for (double a : {0.0, 0.5, 1.0}) {
            for (double b : {0.0, 0.5, 1.0}) o.points.push_back({a, b});
        }
        const ProbeResult r = probe(o);
        ASSERT_EQ(r.code, 0) << input;
        ASSERT_EQ(r.lines.size(), 9u) << input;
        for (const auto& j : r.lines) {
            EXPECT_TRUE(j["u"].is_number()) << input;
            EXPECT_TRUE(j["v"].is_number()) << input;
        }
    }
}

}  // namespace
}  // namespace globaro::cli
