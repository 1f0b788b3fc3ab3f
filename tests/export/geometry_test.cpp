// The OBJ, MTL and STL writers: the lines the formats fix, one case a row,
// and the properties every exported solid must have (closed, centred, faces
// wound outwards, each face's picture reading from outside as in the net).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "export/geometry_export.h"
#include "polyhedra/poly_model.h"
#include "projection/catalogue.h"
#include "projection/output_mapping.h"
#include "support/obj_text.h"

namespace globaro {
namespace {

enum class File { kObj, kMtl, kStl };

std::string fileText(File file, const std::string& objPath, ProjectionId output) {
    const GeometryModel model = output != 0 ? buildGeometryModel(output) : nullptr;
    const std::string base = geometryBaseName(objPath);
    const std::tm when{3, 5, 9, 7, 2, 126, 0, 0, 0, 0, nullptr};  // 7 March 2026, 09:05:03
    if (file == File::kMtl) return writeMtl(base);
    if (file == File::kStl) return writeStl(model.get(), outputProjectionName(output));
    return writeObj(model.get(), base, when);
}

struct Case {
    const char* what;
    const char* objPath;
    ProjectionId output;  // 0: no model
    File file;
    const char* pattern;  // "^...$": a line of the file; otherwise the whole file
};

const Case kCases[] = {
    {"spaces in the name", "out/my cube.obj", 7, File::kObj, "^mtllib my_cube\\.mtl$"},
    {"the material's name", "out/my cube.obj", 7, File::kObj, "^usemtl my_cube_material$"},
    {"the texture's name", "out/my cube.obj", 7, File::kMtl, "^map_Kd my_cube\\.jpg$"},
    {"controls, high bytes, : and \\", "a\x01\xC8:b\\c.d.obj", 7, File::kObj, "^mtllib a h_b_c\\.d\\.mtl$"},
    {"a lone dot", "..obj", 7, File::kObj, "^mtllib _\\.mtl$"},
    {"the maker", "c.obj", 7, File::kObj, "^# Exported from Globaro 2 https://\\S+$"},
    {"the date", "c.obj", 7, File::kObj, "^# on 7 March 2026 at 09:05:03$"},
    {"the group", "c.obj", 6, File::kObj, "^g GlobaroPolyhedron$"},
    {"vertices", "c.obj", 6, File::kObj, R"(^v (-?\d\.\d{8} ?){3}$)"},
    {"texture corners", "c.obj", 6, File::kObj, R"(^vt (\d\.\d{8} ?){2}$)"},
    {"the first face's normal is the first", "c.obj", 6, File::kObj, R"(^f \d+/\d+/1 \d+/\d+/1 \d+/\d+/1$)"},
    {"no model", "c.obj", 0, File::kObj, "# error: polyhedron data is missing\n"},
    {"no model, no STL", "c.obj", 0, File::kStl, ""},
    {"the solid's name", "c.obj", 177, File::kStl, "^solid geodesic_4_\\|_2 from Globaro$"},
    {"the end keeps the name", "c.obj", 177, File::kStl, "^endsolid geodesic 4 \\| 2 from Globaro$"},
    {"facet normals", "c.obj", 6, File::kStl, R"(^   facet normal (-?\d\.\d{6}E[+-]\d\d ?){3}$)"},
    {"the MTL file", "x.obj", 7, File::kMtl,
     "# Exported from Globaro 2 https://\\S+\n#\n\nnewmtl x_material\nd 1\\.00000\nillum 2\nKd 1\\.0 1\\.0 1\\.0\n"
     "Ka 1\\.0 1\\.0 1\\.0\nKs 0\\.5 0\\.5 0\\.9\nKe 0\\.0 0\\.0 0\\.0\nmap_Kd x\\.jpg\n"},
};

TEST(GeometryExport, Lines) {
    for (const Case& c : kCases) {
        const std::string text = fileText(c.file, c.objPath, c.output);
        const bool line = c.pattern[0] == '^';
        const std::regex pattern(c.pattern, line ? std::regex::multiline : std::regex::ECMAScript);
        EXPECT_TRUE(line ? std::regex_search(text, pattern) : std::regex_match(text, pattern)) << c.what << "\n"
                                                                                               << text;
    }
}

TEST(GeometryExport, EverySolidIsClosedCentredAndFacesOutwards) {
    int solids = 0;
    for (const OutputProjectionInfo& info : outputProjections()) {
        if (!hasExportableGeometry(info.id) || !outputIsDrawn(info.id)) continue;
        SCOPED_TRACE(std::string(info.name));
        ++solids;
        const GeometryModel model = buildGeometryModel(info.id);
        // A model with a mapping of its own (the splat star) is a flat card,
        // not a solid round the centre.
        if (model.get()->specialMapping != 0) continue;
        const auto obj = testing::readObjText(writeObj(model.get(), "s", std::tm{}));
        const int triangles = geometryTriangleCount(*model);
        ASSERT_GT(triangles, 0);
        ASSERT_EQ(obj.f.size(), static_cast<std::size_t>(triangles));
        ASSERT_EQ(obj.vn.size(), obj.f.size());

        // Centred, the largest extent -1..1.
        double extent = 0.0;
        for (double Vec3d::*axis : {&Vec3d::x, &Vec3d::y, &Vec3d::z}) {
            const auto [lo, hi] = std::ranges::minmax(obj.v, {}, axis);
            EXPECT_NEAR(lo.*axis + hi.*axis, 0.0, 1e-7);
            extent = std::max(extent, hi.*axis - lo.*axis);
        }
        EXPECT_NEAR(extent, 2.0, 1e-7);

        // Every edge once each way: closed, and wound one way throughout;
        // the enclosed volume is positive: that way is anticlockwise from
        // outside. Seen so, each face's texture corners turn the same way.
        std::map<std::pair<int, int>, int> edges;
        double volume = 0.0;
        int mirroredFaces = 0;
        for (std::size_t t = 0; t < obj.f.size(); ++t) {
            const auto& f = obj.f[t];
            for (int k = 0; k < 3; ++k) ++edges[{f[3 * k], f[3 * ((k + 1) % 3)]}];
            EXPECT_EQ(f[2], static_cast<int>(t + 1));
            const Vec3d &a = obj.v[f[0] - 1], &b = obj.v[f[3] - 1], &c = obj.v[f[6] - 1];
            volume += dot(a, cross(b, c));
            const Vec2d &ta = obj.vt[f[1] - 1], &tb = obj.vt[f[4] - 1], &tc = obj.vt[f[7] - 1];
            if ((tb.x - ta.x) * (tc.y - ta.y) - (tb.y - ta.y) * (tc.x - ta.x) <= 0.0) ++mirroredFaces;
            EXPECT_NEAR(length(obj.vn[t]), 1.0, 1e-6);
            EXPECT_GT(dot(obj.vn[t], cross(difference(a, b), difference(b, c))), 0.0);
        }
        for (const auto& [edge, count] : edges) {
            EXPECT_EQ(count, 1);
            EXPECT_EQ(edges.count({edge.second, edge.first}), 1u);
        }
        EXPECT_GT(volume, 0.0);
        EXPECT_EQ(mirroredFaces, 0);

        // The STL: the same triangles, moved to touch the three planes.
        const auto stl = testing::readObjText(writeStl(model.get(), info.name)).stlVertices;
        EXPECT_EQ(stl.size(), 3u * triangles);
        for (double Vec3d::*axis : {&Vec3d::x, &Vec3d::y, &Vec3d::z})
            EXPECT_EQ(std::ranges::min(stl, {}, axis).*axis, 0.0);
    }
    EXPECT_GT(solids, 80);
}

}  // namespace
}  // namespace globaro
