// `globaro export bricks`: the files it writes agree with each other and with
// LeoCAD's reading of the model (its bad input is in tests/data/cli_cases.txt).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli_runner.h"
#include "app/demo_panorama.h"
#include "app/image_io.h"
#include "export/brick_sphere.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;
using testing_cli::runCli;

std::string folderFor(const std::string& name) {
    const fs::path folder = fs::path(::testing::TempDir()) / ("globaro_bricks_" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder.string();
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The demo panorama as a PNG file in `folder`.
std::string panorama(const std::string& folder) {
    Document d;
    std::string error;
    const std::string path = folder + "/in.png";
    EXPECT_TRUE(makeDemoPanorama(d, 256, 128, 8, error) && saveDocument(path, d, 0, error)) << error;
    return path;
}

bool have(const char* program) { return std::system((std::string("which ") + program + " >/dev/null").c_str()) == 0; }

TEST(ExportBricks, TheFilesAgreeWithEachOtherAndWithLeoCad) {
    const std::string dir = folderFor("round_trip");
    const std::string in = panorama(dir);
    const auto run =
        runCli("export bricks --quiet " + in + " " + dir + "/s.ldr --layers 8 --diffusion --colors 4095 " + "--stats " +
               dir + "/s.html --plan " + dir + "/plan --plan-psd " + dir + "/plan.psd --lat 30");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");

    // The model: a layer a step, a brick a line.
    const std::string model = contents(dir + "/s.ldr");
    std::map<int, int> perLdrawColour;
    std::istringstream lines(model);
    int layersSeen = 0, steps = 0;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_EQ(line.back(), '\r');
        if (line.rfind("0 Layer ", 0) == 0) {
            EXPECT_EQ(line, "0 Layer " + std::to_string(++layersSeen) + " of 8\r");
        }
        if (line == "0 STEP\r") ++steps;
        if (line.rfind("1 ", 0) == 0) ++perLdrawColour[std::stoi(line.substr(2))];
    }
    EXPECT_EQ(layersSeen, 8);
    EXPECT_EQ(steps, 7);

    // The statistics list the model's bricks, colour by colour.
    const std::string page = contents(dir + "/s.html");
    int bricks = 0, colours = 0;
    std::vector<int> totals;
    for (int code = 1; code < kBrickColorCount; ++code) {
        const std::size_t at = page.find(std::string("\r") + brickColor(code).name + " ");
        ASSERT_NE(at, std::string::npos) << brickColor(code).name;
        const int total = std::stoi(page.substr(at + 12, 5));
        EXPECT_EQ(total, perLdrawColour[brickColor(code).ldrawCode]) << brickColor(code).name;
        bricks += total;
        if (total > 0) {
            totals.push_back(total);
            ++colours;
        }
    }
    EXPECT_GE(colours, 3);

    // The plan: a picture a layer, 9 pixels a cell.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir + "/plan"), fs::directory_iterator{}), 8);
    Document top;
    std::string error;
    ASSERT_TRUE(loadDocument(dir + "/plan/8 top.png", top, error)) << error;
    EXPECT_EQ(top.width, 9 * 9 + 1);
    EXPECT_TRUE(fs::exists(dir + "/plan/1 bottom.png"));
    // ...and as one document, a layer a brick layer, as psd-tools reads it.
    if (std::system("/usr/bin/python3 -c 'import psd_tools' 2>/dev/null") == 0) {
        const auto read = runCli("", "/usr/bin/python3 -c \"from psd_tools import PSDImage; p = PSDImage.open('" + dir +
                                         "/plan.psd'); print(len(p), p[0].name, p[0].opacity, p[-1].name, "
                                         "p[-1].opacity, p.size)\"; : ");
        EXPECT_EQ(read.output, "8 1 bottom 255 8 top 230 (82, 82)\n");
    }

    // LeoCAD reads the same pieces in the same colours.
    if (!have("leocad") || !have("xvfb-run")) GTEST_SKIP() << "leocad or xvfb-run is not installed";
    const std::string obj = dir + "/s.obj";
    ASSERT_EQ(std::system(("xvfb-run -a leocad " + dir + "/s.ldr -obj " + obj + " >/dev/null 2>&1").c_str()), 0);
    const std::string mesh = contents(obj);
    std::map<std::string, int> perMaterial;
    std::istringstream objLines(mesh);
    int pieces = 0;
    for (std::string line; std::getline(objLines, line);) {
        if (line.rfind("g Piece", 0) == 0) ++pieces;
        if (line.rfind("usemtl ", 0) == 0) ++perMaterial[line.substr(7)];
    }
    EXPECT_EQ(pieces, bricks);
    std::vector<int> leocadTotals;
    for (const auto& [material, count] : perMaterial) leocadTotals.push_back(count);
    std::ranges::sort(totals);
    std::ranges::sort(leocadTotals);
    EXPECT_EQ(leocadTotals, totals);
}

}  // namespace
}  // namespace globaro
