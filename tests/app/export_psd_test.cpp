// `globaro export psd|cube|faces` and `globaro render` into a Photoshop
// document, through readers we did not write: psd-tools finds
// the layers, names, sizes and depth, OpenImageIO reads the composite, and
// each cube face matches the face cut from the "Unity 6 frames" render.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/cli_runner.h"
#include "app/demo_panorama.h"
#include "app/image_io.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;
using testing_cli::runCli;

constexpr const char* kPython = "/usr/bin/python3";

bool havePsdTools() {
    return std::system((std::string(kPython) + " -c 'import psd_tools, numpy' >/dev/null 2>&1").c_str()) == 0;
}

// Runs a Python script in the folder and gives what it prints.
std::string python(const fs::path& folder, const std::string& script) {
    std::ofstream(folder / "check.py") << script;
    return testing_cli::runShell("cd '" + folder.string() + "' && " + kPython + " check.py").output;
}

class ExportPsd : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::path(::testing::TempDir()) / ("globaro_export_psd_" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        for (const int depth : {8, 16, 32}) {
            Document panorama;
            std::string error;
            ASSERT_TRUE(makeDemoPanorama(panorama, 256, 128, depth, error)) << error;
            ASSERT_TRUE(saveDocument(input(depth), panorama, 0, error)) << error;
        }
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string input(int depth) const {
        return (folder_ / ("pano" + std::to_string(depth) + (depth == 8 ? ".png" : ".tif"))).string();
    }
    std::string quoted(const std::string& name) const { return "'" + (folder_ / name).string() + "'"; }

    fs::path folder_;
};

// Layers, names, sizes and depth as psd-tools reads them, and the
// composite as OpenImageIO reads it.
TEST_F(ExportPsd, ReadersFindWhatWasMeant) {
    if (!havePsdTools()) GTEST_SKIP() << "python3-psd-tools is not installed";
    struct Case {
        const char* arguments;  // with IN for the input
        int depth;
        const char* file;
        const char* expected;  // "version depth WxH: name WxH, ..."
    };
    const Case cases[] = {
        {"export psd IN out.psd --size 60x30 --output Mollweide", 8, "out.psd", "1 8 60x30: Layer 1 60x30"},
        {"export psd IN out.psd --size 20x10", 16, "out.psd", "1 16 20x10: Layer 1 20x10"},
        {"export psd IN out.psd --size 20x10", 32, "out.psd", "1 32 20x10: Layer 1 20x10"},
        {"export cube IN 'Cube map.psd' --cube-side 8", 16, "Cube map.psd",
         "1 16 8x8: _d 8x8, _u 8x8, _l 8x8, _b 8x8, _r 8x8, _f 8x8"},
        {"export cube IN 'Cube map.psd' --cube-side 8 --separate", 8, "Cube map_b.psd", "1 8 8x8: _b 8x8"},
        {"export psd IN wide.psd --size 40000x8", 8, "wide.psd", "2 8 40000x8: Layer 1 40000x8"},
        {"export faces IN 'Poly faces.psd' --output 7 --face-size 16", 32, "Poly faces.psd",
         "1 32 17x17: face 1 17x17, face 2 17x17, face 3 17x17, face 4 17x17, face 5 17x17, face 6 17x17"},
        {"export faces IN f.psd --output tetrahedron --face-size 20 --separate", 16, "f face 4.psd",
         "1 16 21x19: face 4 21x19"},
        {"render IN r.psd --size 40x20 --output Mollweide", 16, "r.psd", "1 16 40x20: Layer 1 40x20"},
        {"render IN r.psb --size 40x20", 32, "r.psb", "2 32 40x20: Layer 1 40x20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::string arguments = c.arguments;
        arguments.replace(arguments.find("IN"), 2, "'" + input(c.depth) + "'");
        const auto outcome = runCli(arguments + " --quiet", "cd '" + folder_.string() + "' && ");
        ASSERT_EQ(outcome.status, 0) << outcome.output;
        const std::string read = python(folder_, std::string(R"(
from psd_tools import PSDImage
p = PSDImage.open(")") + c.file + R"(")
print(p.version, p.depth, "%dx%d:" % p.size, ", ".join("%s %dx%d" % ((l.name,) + l.size) for l in p), end="")
)");
        EXPECT_EQ(read, c.expected);
        Document merged;
        std::string error;
        EXPECT_TRUE(loadDocument((folder_ / c.file).string(), merged, error)) << error;
        for (const auto& entry : fs::directory_iterator(folder_))
            EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos);
    }
}

// Each face of the cube is the face the "Unity 6 frames" strip shows, within
// 1/255 over the whole face, with the view turned or not: the last column of
// a cell, whose right corners lie on the seam and are mapped in the next
// cell, is shaded as the cell shows it.
TEST_F(ExportPsd, CubeFacesMatchTheUnityStrip) {
    if (!havePsdTools()) GTEST_SKIP() << "python3-psd-tools is not installed";
    for (const std::string turn : {"", " --lat 20 --lon 30 --spin 10"}) {
        SCOPED_TRACE(turn);
        const auto cube =
            runCli("export cube '" + input(8) + "' " + quoted("Cube map.psd") + " --cube-side 48 --quiet" + turn);
        ASSERT_EQ(cube.status, 0) << cube.output;
        const auto strip = runCli("render '" + input(8) + "' " + quoted("strip.png") +
                                  " --size 288x48 --output 'Unity 6 frames' --keep-alpha --quiet" + turn);
        ASSERT_EQ(strip.status, 0) << strip.output;
        const std::string read = python(folder_, R"(
from psd_tools import PSDImage
from PIL import Image
import numpy as np
strip = np.asarray(Image.open("strip.png").convert("RGBA")).astype(int)
cells = {"_r": 0, "_l": 1, "_u": 2, "_d": 3, "_f": 4, "_b": 5}
for layer in PSDImage.open("Cube map.psd"):
    face = (layer.numpy() * 255).round().astype(int)
    c = cells[layer.name]
    cut = strip[:, c * 48:(c + 1) * 48, :]
    print(layer.name, "within" if np.abs(face - cut).max() <= 1 else "differs", end=" ")
)");
        EXPECT_EQ(read, "_d within _u within _l within _b within _r within _f within ");
    }
}

// Each face layer is the window of the net render it names, within 1/255
// inside the face (away from the seams, where the net render mixes the
// faces on both sides), and has pixels the face does not cover at all.
TEST_F(ExportPsd, FacesMatchTheNetRender) {
    if (!havePsdTools()) GTEST_SKIP() << "python3-psd-tools is not installed";
    for (const std::string solid : {"7", "10 --lat 20 --lon 30 --spin 10"}) {
        SCOPED_TRACE(solid);
        const auto faces =
            runCli("export faces '" + input(8) + "' " + quoted("faces.psd") + " --face-size 24 --output " + solid);
        ASSERT_EQ(faces.status, 0) << faces.output;
        std::ofstream(folder_ / "layers.txt") << faces.output;
        std::string net = faces.output.substr(faces.output.find(" of the ") + 8);
        net = net.substr(0, net.find(' '));
        const auto render = runCli("render '" + input(8) + "' " + quoted("net.png") + " --size " + net + "x" + net +
                                   " --tabs 0 --keep-alpha --quiet --output " + solid);
        ASSERT_EQ(render.status, 0) << render.output;
        const std::string read = python(folder_, R"(
import re
from psd_tools import PSDImage
from PIL import Image
import numpy as np
net = np.pad(np.asarray(Image.open("net.png").convert("RGBA")).astype(int), ((2, 2), (2, 2), (0, 0)))
at = [(int(x) + 2, int(y) + 2) for x, y in re.findall(r"at (-?\d+), (-?\d+) of", open("layers.txt").read())]
worst, inside, outside = 0, 0, 0
for layer, (x, y) in zip(PSDImage.open("faces.psd"), at):
    face = (layer.numpy() * 255).round().astype(int)
    h, w = face.shape[:2]
    full = face[:, :, 3] == 255
    # The pixels along a seam of the net mix both faces in the net render.
    f = np.pad(full, 1)
    full &= f[:-2, 1:-1] & f[2:, 1:-1] & f[1:-1, :-2] & f[1:-1, 2:]
    inside += full.sum()
    outside += (face[:, :, 3] == 0).sum()
    worst = max(worst, np.abs(face[full][:, :3] - net[y:y + h, x:x + w][full][:, :3]).max())
print(len(at), "faces", "within" if worst <= 1 else "differ by %d" % worst, inside > 0 and outside > 0, end="")
)");
        EXPECT_EQ(read, solid == "7" ? "6 faces within True" : "20 faces within True");
    }
}

// A stop during the third face of a cube written a file per face (SIGTERM,
// which stops a run as Ctrl-C does; a background job ignores SIGINT): status
// 130, and neither the two files already written nor a partial one remain.
TEST_F(ExportPsd, StoppedExportLeavesNothing) {
    const std::string run = "cd '" + folder_.string() + "' && { " + GLOBARO_CLI_PATH + " export cube '" + input(8) +
                            "' c.psd --cube-side 1536 --separate 2>err.txt & pid=$!; "
                            "until grep -qs 'layer 3' err.txt || ! kill -0 $pid; do sleep 0.01; done; "
                            "kill -TERM $pid; wait $pid; echo status $?; }";
    EXPECT_EQ(testing_cli::runShell(run).output, "status 130\n");
    std::size_t psd = 0;
    for (const auto& entry : fs::directory_iterator(folder_))
        psd += entry.path().string().find(".psd") != std::string::npos ? 1 : 0;
    EXPECT_EQ(psd, 0u);
}

}  // namespace
}  // namespace globaro
