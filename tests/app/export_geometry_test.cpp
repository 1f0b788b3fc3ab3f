// `globaro export geometry` as a user runs it: solids that readers we did
// not write take as they are meant
// (assimp loads the OBJ with its material and texture, admesh finds the STL
// closed), with every face's picture on the solid where its direction is.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <regex>
#include <string>

#include "app/cli_runner.h"
#include "app/image_io.h"
#include "geometry/vec_math.h"
#include "support/obj_text.h"

namespace globaro {
namespace {

namespace fs = std::filesystem;
using testing_cli::runCli;

fs::path freshFolder(const std::string& name) {
    const fs::path folder = fs::path(::testing::TempDir()) / ("globaro_geometry_" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// A panorama whose colour is its direction: (d + 1) / 2.
void writeDirectionPanorama(const std::string& path) {
    Document d;
    std::string error;
    ASSERT_TRUE(makeDocument(d, 512, 256, 3, false, 16, error)) << error;
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            // +z at the centre, +y north, +x a quarter turn left of the centre.
            const double lon = (0.5 - (x + 0.5) / d.width) * 2 * std::numbers::pi;
            const double lat = (0.5 - (y + 0.5) / d.height) * std::numbers::pi;
            const Vec3d dir{std::cos(lat) * std::sin(lon), std::sin(lat), std::cos(lat) * std::cos(lon)};
            d.setValue(x, y, 0, static_cast<float>((dir.x + 1) / 2));
            d.setValue(x, y, 1, static_cast<float>((dir.y + 1) / 2));
            d.setValue(x, y, 2, static_cast<float>((dir.z + 1) / 2));
        }
    ASSERT_TRUE(saveDocument(path, d, 16, error)) << error;
}

std::string run(const std::string& command) { return testing_cli::runShell(command).output; }

// Solids of several kinds through the readers, and each face's picture
// where its direction is: the texture at a face's centre shows the
// panorama's colour of the direction of that face's centre on the solid.
TEST(ExportGeometryCommand, SolidsReadersTakeAndTexturesPlace) {
    const fs::path tmp = freshFolder("solids");
    const std::string pano = (tmp / "pano.png").string();
    writeDirectionPanorama(pano);
    const bool assimp = !run("command -v assimp").empty(), admesh = !run("command -v admesh").empty();
    struct Case {
        const char* output;
        int triangles;
    };
    const Case cases[] = {{"tetrahedron", 4},     {"cube", 12},           {"icosahedron", 20},
                          {"geodesic 8 | 3", 72}, {"sphericon 4/1", 192}, {"soccer ball", 116}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const fs::path folder = tmp / std::to_string(&c - cases);
        fs::create_directory(folder);
        const auto outcome = runCli("export geometry --quiet --face-size 256 " + pano + " " +
                                    (folder / "s.obj").string() + " --output '" + c.output + "'");
        ASSERT_EQ(outcome.status, 0) << outcome.output;
        EXPECT_EQ(outcome.output, "");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 4);

        std::ifstream objFile(folder / "s.obj");
        const auto obj = testing::readObjText(std::string(std::istreambuf_iterator<char>(objFile), {}));
        ASSERT_EQ(obj.f.size(), static_cast<std::size_t>(c.triangles));
        Document texture;
        std::string error;
        ASSERT_TRUE(loadDocument((folder / "s.jpg").string(), texture, error)) << error;
        ASSERT_EQ(texture.width, 256);
        int misplaced = 0;
        for (const auto& f : obj.f) {
            Vec3d centre;
            Vec2d uv;
            for (int k = 0; k < 3; ++k) {
                const Vec3d& p = obj.v[f[3 * k] - 1];
                centre = {centre.x + p.x, centre.y + p.y, centre.z + p.z};
                uv = {uv.x + obj.vt[f[3 * k + 1] - 1].x / 3, uv.y + obj.vt[f[3 * k + 1] - 1].y / 3};
            }
            // The files' frame: y down, x turned with it.
            const Vec3d onSolid = normalise(Vec3d{-centre.x, -centre.y, centre.z});
            const auto x = static_cast<int>(uv.x * texture.width), y = static_cast<int>((1 - uv.y) * texture.height);
            const Vec3d shown = normalise(Vec3d{texture.value(x, y, 0) * 2 - 1.0, texture.value(x, y, 1) * 2 - 1.0,
                                                texture.value(x, y, 2) * 2 - 1.0});
            if (std::acos(std::min(1.0, dot(onSolid, shown))) > 0.06) ++misplaced;
        }
        EXPECT_EQ(misplaced, 0);

        if (assimp) {
            const std::string info = run("cd " + folder.string() + " && assimp info s.obj");
            EXPECT_TRUE(std::regex_search(info, std::regex("Faces: +" + std::to_string(c.triangles) + "\n"))) << info;
            EXPECT_TRUE(std::regex_search(info, std::regex("Materials: +1\n"))) << info;
            EXPECT_TRUE(std::regex_search(info, std::regex("'s_material'"))) << info;
            EXPECT_TRUE(std::regex_search(info, std::regex("Texture Refs:\n +'s\\.jpg'"))) << info;
        }
        if (admesh) {
            const std::string report = run("admesh " + (folder / "s.stl").string());
            const std::string n = std::to_string(c.triangles);
            EXPECT_TRUE(std::regex_search(report, std::regex("Number of facets +: +" + n + " +" + n))) << report;
            for (const char* zero : {"Total disconnected facets +: +0 +0", "Backwards edges +: +0",
                                     "Normals fixed +: +0", "Facets reversed +: +0", "Number of parts +: +1"})
                EXPECT_TRUE(std::regex_search(report, std::regex(zero))) << zero << "\n" << report;
        }
    }
    if (!assimp || !admesh) GTEST_SKIP() << "assimp or admesh is not installed; the readers' checks were skipped";
}

}  // namespace
}  // namespace globaro
