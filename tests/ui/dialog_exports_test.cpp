// The export buttons' command lines: what each sub-dialog's answers become,
// and that the real program runs every one of them.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/cli_runner.h"
#include "app/demo_panorama.h"
#include "app/image_io.h"
#include "platform/temp_folder.h"
#include "settings/settings_file.h"
#include "ui/dialog_exports.h"
#include "ui/gui_session.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;

struct ExportCase {
    const char* what;
    DialogExport kind;
    const char* output;  // file name in the case's folder
    std::function<void(SettingsRecord&)> answer;
    const char* expected;  // the arguments after the program, "|" between them; "" for none
};

const ExportCase kCases[] = {
    {"cube side clamped", DialogExport::kCube, "Cube map.psd", [](SettingsRecord& s) { chooseCubeSide(s, 70000); },
     "export|cube|IN|OUT|--separate|--cube-side|30000|--preset|SET"},
    {"psd at the input's size", DialogExport::kPsd, "r.psd", [](SettingsRecord& s) { choosePsdSize(s, 1, 9, 9); },
     "export|psd|IN|OUT|--preset|SET"},
    {"psd custom size clamped", DialogExport::kPsd, "r.psd", [](SettingsRecord& s) { choosePsdSize(s, 3, 1, 40000); },
     "export|psd|IN|OUT|--size|2x30000|--preset|SET"},
    {"psd in the input's proportions", DialogExport::kPsd, "r.psd",
     [](SettingsRecord& s) { choosePsdSize(s, 2, 1000, proportionalSide(1000, true, 8192, 4096)); },
     "export|psd|IN|OUT|--size|1000x500|--preset|SET"},
    {"bricks for the page only", DialogExport::kBricks, "Ball.ldr",
     [](SettingsRecord& s) {
         chooseBricks(s, {1, false, 5, false, false, true, false});
     },
     "export|bricks|IN|SET.ldr|--layers|3|--colors|5|--stats|DIR/Ball statistics.html|--preset|SET"},
    {"bricks with every result", DialogExport::kBricks, "Ball.ldr",
     [](SettingsRecord& s) {
         chooseBricks(s, {200, true, 0x1fff, true, true, true, true});
     },
     "export|bricks|IN|OUT|--layers|150|--colors|4095|--plates|--diffusion|--stats|DIR/Ball statistics.html|--plan|"
     "DIR/Ball plan|--preset|SET"},
    {"bricks with no result", DialogExport::kBricks, "Ball.ldr",
     [](SettingsRecord& s) {
         chooseBricks(s, {20, false, 63, false, false, false, false});
     },
     ""},
    {"facet: faces", DialogExport::kFaces, "Poly faces.psd", [](SettingsRecord& s) { chooseFacets(s, 0, 64); },
     "export|faces|IN|OUT|--preset|SET"},
    {"facet: geometry, size clamped", DialogExport::kGeometry, "Polyhedron.obj",
     [](SettingsRecord& s) { chooseFacets(s, 1, 1); }, "export|geometry|IN|OUT|--face-size|2|--preset|SET"},
    {"facet: the map of faces", DialogExport::kFacesMap, "map.psd", [](SettingsRecord& s) { chooseFacets(s, 2, 64); },
     "export|psd|IN|OUT|--preset|SET"},
    {"page of memory dots", DialogExport::kDotsPage, "dots.html", [](SettingsRecord&) {}, "export|dots|OUT|IN"},
};

SettingsRecord defaults() {
    SettingsRecord s{};
    resetRunState(s);
    resetExportOptions(s);
    resetToDefaults(s);
    return s;
}

std::string joined(const std::vector<std::string>& args, const std::string& in, const std::string& out,
                   const std::string& dir, const std::string& set) {
    std::string text;
    for (std::string a : args) {
        for (const auto& [path, name] : {std::pair{set, "SET"}, {in, "IN"}, {out, "OUT"}, {dir, "DIR"}})
            if (a.rfind(path, 0) == 0) a = name + a.substr(path.size());
        text += (text.empty() ? "" : "|") + a;
    }
    return text;
}

TEST(DialogExports, EachAnswerBuildsItsCommandLine) {
    const std::string dir = "/exports", in = "/pictures/pano.png", set = "/tmp/s.q2q";
    for (const ExportCase& c : kCases) {
        SettingsRecord s = defaults();
        c.answer(s);
        const std::string out = dir + "/" + c.output;
        EXPECT_EQ(joined(exportArguments(c.kind, s, in, out, set), in, out, dir, set), c.expected) << c.what;
    }
    // The facet dialog's choice picks the export.
    SettingsRecord s = defaults();
    for (const auto& [choice, kind] : {std::pair{0, DialogExport::kFaces},
                                       {1, DialogExport::kGeometry},
                                       {2, DialogExport::kFacesMap},
                                       {7, DialogExport::kFacesMap}}) {
        chooseFacets(s, choice, 100);
        EXPECT_EQ(facetExport(s), kind) << choice;
    }
    EXPECT_EQ(progressOfLine("layer 3 of 6: \"_b\""), 2.0 / 6.0);
    EXPECT_FALSE(progressOfLine("layer 7 of 6").has_value());
    EXPECT_FALSE(progressOfLine("wrote x (6 layers)").has_value());
}

std::string quoted(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& a : args) text += " '" + a + "'";
    return text;
}

// The program accepts the command lines the dialog builds and writes their
// files: every subcommand and option at least once (each run starts the
// program, so a case that brings nothing new is not run).
TEST(DialogExports, TheProgramRunsEveryCommandLine) {
    const fs::path dir = fs::path(::testing::TempDir()) / "dialog exports";
    fs::remove_all(dir);
    fs::create_directories(dir);
    Document image;
    std::string error;
    const std::string in = (dir / "pano.png").string();
    ASSERT_TRUE(makeDemoPanorama(image, 64, 32, 8, error) && saveDocument(in, image, 0, error)) << error;
    const bool facesKnown = testing_cli::runCli("export --help").output.find("\n  faces ") != std::string::npos;
    std::set<std::string> tried;
    for (const ExportCase& c : kCases) {
        if (c.expected[0] == '\0' || c.kind == DialogExport::kDotsPage ||
            (c.kind == DialogExport::kFaces && !facesKnown))
            continue;
        SettingsRecord s = defaults();
        s.outputProjection = 10;  // the icosahedron, for the facet exports
        c.answer(s);
        chooseCubeSide(s, std::min(s.cubeSide, 8));
        if (s.psdSizeMode != 1) choosePsdSize(s, 3, 16, 8);
        chooseFacets(s, s.facesExportChoice, 16);
        const std::string set = (dir / "settings.q2q").string(), out = (dir / c.output).string();
        const std::vector<std::string> args = exportArguments(c.kind, s, in, out, set);
        bool news = false;
        for (const std::string& word : args)
            if ((word.rfind("--", 0) == 0 || word == args[1]) && tried.insert(word).second) news = true;
        if (!news) continue;
        ASSERT_EQ(writeSettingsFile(set, s, nullptr), kFileOk);
        fs::remove(out);
        const testing_cli::Outcome run = testing_cli::runCli(quoted(args) + " --quiet");
        EXPECT_EQ(run.status, 0) << c.what << ": " << run.output;
        const bool wroteModel = c.kind != DialogExport::kBricks || s.ldraw != 0;
        EXPECT_EQ(fs::exists(c.kind == DialogExport::kCube ? dir / "Cube map_f.psd" : fs::path(out)), wroteModel)
            << c.what;
        if (c.kind == DialogExport::kBricks && s.sphereStats != 0) {
            EXPECT_TRUE(fs::exists(brickStatisticsPath(out))) << c.what;
        }
        fs::remove(brickScratchModel(set));
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace globaro
