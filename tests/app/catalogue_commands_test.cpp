// `globaro list` and `globaro describe`.

#include "app/catalogue_commands.h"
#include "projection/output_mapping.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace globaro::cli {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

struct CommandResult {
    int code;
    std::string out;
    std::string err;
};

CommandResult list(std::string_view what) {
    std::ostringstream out, err;
    const int code = runList(what, out, err);
    return {code, out.str(), err.str()};
}

CommandResult describe(std::string_view kind, std::string_view idOrName) {
    std::ostringstream out, err;
    const int code = runDescribe(kind, idOrName, out, err);
    return {code, out.str(), err.str()};
}

TEST(CatalogueCommands, ListOutputs) {
    const CommandResult r = list("outputs");
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.err.empty());
    const auto all = lines(r.out);
    ASSERT_EQ(all.size(), 423u);
    EXPECT_EQ(all.front(), "1\tequirectangular");
    EXPECT_EQ(all[25], "26\t24 faces a");
    EXPECT_EQ(all[176], "177\tgeodesic 4 | 2");
    EXPECT_EQ(all[278], "279\tNaiaid (not drawn yet)");
    EXPECT_EQ(all[414], "486\tglass marble (not drawn yet)");
    EXPECT_EQ(all.back(), "100335\tlogarithmic");
    long previous = 0;
    for (const std::string& line : all) {
        const auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const long id = std::stol(line.substr(0, tab));
        EXPECT_GT(id, previous) << line;
        previous = id;
        EXPECT_FALSE(line.substr(tab + 1).empty()) << line;
        // Marked exactly when the output does not draw.
        EXPECT_EQ(line.ends_with(" (not drawn yet)"), !outputIsDrawn(static_cast<ProjectionId>(id))) << line;
    }
}

TEST(CatalogueCommands, ListInputs) {
    const CommandResult r = list("inputs");
    ASSERT_EQ(r.code, 0);
    const auto all = lines(r.out);
    ASSERT_EQ(all.size(), 38u);
    EXPECT_EQ(all.front(), "1\tequirectangular");
    EXPECT_EQ(all[21], "22\tWinkel Tripel");
    EXPECT_EQ(all.back(), "38\tEckert IV");
}

TEST(CatalogueCommands, ListRefusesOtherWords) {
    for (std::string_view bad : {"", "output", "Outputs", "glue modes"}) {
        const CommandResult r = list(bad);
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_TRUE(r.out.empty()) << bad;
        EXPECT_EQ(lines(r.err).size(), 1u) << bad;
    }
}

TEST(CatalogueCommands, DescribeOutputByIdAndByName) {
    const CommandResult byId = describe("output", "62");
    const CommandResult byName = describe("output", "Mercator");
    ASSERT_EQ(byId.code, 0) << byId.err;
    ASSERT_EQ(byName.code, 0) << byName.err;
    EXPECT_EQ(byId.out, byName.out);
    const auto j = nlohmann::json::parse(byId.out);
    EXPECT_EQ(j["id"], 62);
    EXPECT_EQ(j["name"], "Mercator");
    EXPECT_EQ(j["shapeWord"], "loximuthal");
    EXPECT_EQ(j["keywords"], (nlohmann::json{"loximuthal", "conformal"}));
    EXPECT_EQ(j["conformal"], true);
    EXPECT_EQ(j["polyhedron"], false);
    EXPECT_EQ(j["circleOutline"], false);
    EXPECT_EQ(j["polyKind"], -1);
}

TEST(CatalogueCommands, DescribePolyhedralOutput) {
    const CommandResult r = describe("output", "cube");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["id"], 7);
    EXPECT_EQ(j["shapeWord"], "");
    EXPECT_EQ(j["keywords"], (nlohmann::json{"cubemap", "polyhedron", "exportable 3D geometry"}));
    EXPECT_EQ(j["polyKind"], 18);
    EXPECT_EQ(j["cubemap"], true);
    EXPECT_EQ(j["polyhedron"], true);
    EXPECT_EQ(j["exportable3DGeometry"], true);
    EXPECT_EQ(j["usesPolyModel"], true);
    // Every predicate is a boolean.
    for (const char* key : {"conformal", "circleOutline", "shadedGlobe", "floret", "voronoi",
                            "developable", "curvedOrigami", "globeGores", "geodesic", "sphericon",
                            "hyperbolicTiling", "cylindrical", "equalArea"}) {
        ASSERT_TRUE(j.contains(key)) << key;
        EXPECT_TRUE(j[key].is_boolean()) << key;
    }
}

TEST(CatalogueCommands, DescribeReportsTheBuiltModel) {
    // "tetrahedron": 4 faces on 6 net vertices, one triangle each, one piece.
    const auto tetra = nlohmann::json::parse(describe("output", "tetrahedron").out);
    const auto& model = tetra["polyModel"];
    ASSERT_TRUE(model.is_object()) << tetra.dump();
    EXPECT_EQ(model["frame"], "2:1");
    EXPECT_EQ(model["kind"], 16);
    EXPECT_EQ(model["faces"], 4);
    EXPECT_EQ(model["netVertices"], 6);
    EXPECT_EQ(model["triangles"], 4);
    EXPECT_EQ(model["markTriangles"], 0);
    EXPECT_EQ(model["pieces"], 1);
    EXPECT_EQ(model["errorCode"], 0);
    // The cube: six squares, two triangles each.
    const auto cube = nlohmann::json::parse(describe("output", "7").out)["polyModel"];
    EXPECT_EQ(cube["kind"], 18);
    EXPECT_EQ(cube["faces"], 6);
    EXPECT_EQ(cube["triangles"], 12);
    EXPECT_EQ(cube["pieces"], 1);
    EXPECT_EQ(cube["errorCode"], 0);
    // A generated kind: the geodesic sphere of the dodecahedron at frequency 5.
    const auto geodesic = nlohmann::json::parse(describe("output", "geodesic 12 | 5").out)["polyModel"];
    EXPECT_EQ(geodesic["kind"], 105);
    EXPECT_GT(geodesic["faces"].get<int>(), 12);
    EXPECT_EQ(geodesic["triangles"], geodesic["faces"]);
    EXPECT_GE(geodesic["pieces"].get<int>(), 1);
    EXPECT_LE(geodesic["pieces"].get<int>(), 24);
    EXPECT_EQ(geodesic["errorCode"], 0);
    // Outputs that are not polyhedral have no model.
    const auto mercator = nlohmann::json::parse(describe("output", "Mercator").out);
    ASSERT_TRUE(mercator.contains("polyModel"));
    EXPECT_TRUE(mercator["polyModel"].is_null());
    EXPECT_FALSE(nlohmann::json::parse(describe("input", "soccer").out).contains("polyModel"));
}

TEST(CatalogueCommands, DescribeSaysHowAWorldMapIsMade) {
    const auto bonne = nlohmann::json::parse(describe("output", "Bonne 45").out);
    EXPECT_NE(bonne["construction"].get<std::string>().find("standard parallel at 45"), std::string::npos);
    EXPECT_TRUE(bonne["equalArea"].get<bool>());
    EXPECT_TRUE(bonne["drawn"].get<bool>());
    EXPECT_FALSE(nlohmann::json::parse(describe("output", "Mercator").out).contains("construction"));
}

TEST(CatalogueCommands, DescribeOddNames) {
    for (const auto& [text, id] : std::vector<std::pair<std::string, int>>{
             {"Naiaid", 279}, {"24 faces a", 26}, {"geodesic 4 | 2", 177}, {"zenith & nadir", 171}}) {
        const CommandResult r = describe("output", text);
        ASSERT_EQ(r.code, 0) << text;
        const auto j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j["id"], id);
        EXPECT_EQ(j["name"], text);
    }
    const auto geodesic = nlohmann::json::parse(describe("output", "177").out);
    EXPECT_EQ(geodesic["polyKind"], 88);
    EXPECT_EQ(geodesic["family"], "geodesic");
}

TEST(CatalogueCommands, DescribeInput) {
    const CommandResult r = describe("input", "Winkel Tripel");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["id"], 22);
    EXPECT_EQ(j["name"], "Winkel Tripel");
    EXPECT_EQ(nlohmann::json::parse(describe("input", "38").out)["name"], "Eckert IV");
}

TEST(CatalogueCommands, DescribeRefusesUnknownProjections) {
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"output", "mercator"}, {"output", "0"},     {"output", "415"},  {"output", "1045"},
        {"output", ""},         {"input", "39"},     {"input", "cube"},  {"output", "line\nbreak"},
        {"projection", "62"},   {"", "62"},          {"inputs", "1"},
    };
    for (const auto& [kind, text] : bad) {
        const CommandResult r = describe(kind, text);
        EXPECT_EQ(r.code, 2) << kind << " " << text;
        EXPECT_TRUE(r.out.empty()) << kind << " " << text;
        EXPECT_EQ(lines(r.err).size(), 1u) << kind << " " << text << ": " << r.err;
    }
}

}  // namespace
}  // namespace globaro::cli
