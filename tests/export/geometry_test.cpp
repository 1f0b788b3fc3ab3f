// The OBJ, MTL and STL writers: the lines the formats fix, one case a row,
// and the properties every exported solid must have (closed, centred, faces
// wound outwards, each face's picture reading from outside as in the net).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "export/geometry_export.h"
#include "polyhedra/poly_model.h"
#include "projection/catalogue.h"
#include "projection/output_mapping.h"

namespace globaro {
namespace {

enum class File { kObj, kMtl, kStl };

std::string fileText(File file, const std::string& objPath, ProjectionId output) {
    const GeometryModel model = output != 0 ? buildGeometryModel(output) : nullptr;
    const std::string base = geometryBaseName(objPath);
    std::tm when{};
    when.tm_mday = 7;
    when.tm_mon = 2;
    when.tm_year = 126;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 3;
    if (file == File::kMtl) return writeMtl(base);
    if (file == File::kStl) return writeStl(model.get(), outputProjectionName(output));
    return writeObj(model.get(), base, when);
}

struct Case {
    const char* what;
    const char* objPath;
    ProjectionId output;  // 0: no model
    File file;
    const char* prefix;  // the first line starting so must match `line`; null: the whole text must
    const char* line;    // an ECMAScript pattern
};

const Case kCases[] = {
    {"spaces in the name", "out/my cube.obj", 7, File::kObj, "mtllib", "mtllib my_cube\\.mtl"},
    {"the material's name", "out/my cube.obj", 7, File::kObj, "usemtl", "usemtl my_cube_material"},
    {"the texture's name", "out/my cube.obj", 7, File::kMtl, "map_Kd", "map_Kd my_cube\\.jpg"},
    {"controls, high bytes, : and \\", "a\x01\xC8:b\\c.d.obj", 7, File::kObj, "mtllib", "mtllib a h_b_c\\.d\\.mtl"},
    {"a lone dot", "..obj", 7, File::kObj, "mtllib", "mtllib _\\.mtl"},
    {"the maker", "c.obj", 7, File::kObj, "# Exported", "# Exported from Globaro 2 https://\\S+"},
    {"the date", "c.obj", 7, File::kObj, "# on", "# on 7 March 2026 at 09:05:03"},
    {"the group", "c.obj", 6, File::kObj, "g ", "g GlobaroPolyhedron"},
    {"vertices", "c.obj", 6, File::kObj, "v ", R"(v (-?\d\.\d{8} ?){3})"},
    {"texture corners", "c.obj", 6, File::kObj, "vt ", R"(vt (\d\.\d{8} ?){2})"},
    {"the first face's normal is the first", "c.obj", 6, File::kObj, "f ", R"(f \d+/\d+/1 \d+/\d+/1 \d+/\d+/1)"},
    {"no model", "c.obj", 0, File::kObj, nullptr, "# error: polyhedron data is missing\n"},
    {"no model, no STL", "c.obj", 0, File::kStl, nullptr, ""},
    {"the solid's name", "c.obj", 177, File::kStl, "solid", "solid geodesic_4_\\|_2 from Globaro"},
    {"the end keeps the name", "c.obj", 177, File::kStl, "endsolid", "endsolid geodesic 4 \\| 2 from Globaro"},
    {"facet normals", "c.obj", 6, File::kStl, "   facet", R"(   facet normal (-?\d\.\d{6}E[+-]\d\d ?){3})"},
    {"the MTL file", "x.obj", 7, File::kMtl, nullptr,
     "# Exported from Globaro 2 https://\\S+\n#\n\nnewmtl x_material\nd 1\\.00000\nillum 2\nKd 1\\.0 1\\.0 1\\.0\n"
     "Ka 1\\.0 1\\.0 1\\.0\nKs 0\\.5 0\\.5 0\\.9\nKe 0\\.0 0\\.0 0\\.0\nmap_Kd x\\.jpg\n"},
};

TEST(GeometryExport, Lines) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const std::string text = fileText(c.file, c.objPath, c.output);
        std::string subject = text;
        if (c.prefix != nullptr) {
            std::istringstream lines(text);
            subject = "(none)";
            for (std::string l; std::getline(lines, l);)
                if (l.starts_with(c.prefix)) {
                    subject = l;
                    break;
                }
        }
        EXPECT_TRUE(std::regex_match(subject, std::regex(c.line))) << subject;
    }
}

// ---- every solid ---------------------------------------------------------------------

struct Obj {
    std::vector<Vec3d> v, vn;
    std::vector<Vec2d> vt;
    std::vector<std::array<int, 9>> f;  // v/vt/vn three times, one-based
};

Obj parseObj(const std::string& text) {
    Obj o;
    std::istringstream lines(text);
    for (std::string l; std::getline(lines, l);) {
        Vec3d p;
        Vec2d t;
        std::array<int, 9> f;
        if (std::sscanf(l.c_str(), "v %lf %lf %lf", &p.x, &p.y, &p.z) == 3) o.v.push_back(p);
        if (std::sscanf(l.c_str(), "vn %lf %lf %lf", &p.x, &p.y, &p.z) == 3) o.vn.push_back(p);
        if (std::sscanf(l.c_str(), "vt %lf %lf", &t.x, &t.y) == 2) o.vt.push_back(t);
        if (std::sscanf(l.c_str(), "f %d/%d/%d %d/%d/%d %d/%d/%d", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6],
                        &f[7], &f[8]) == 9)
            o.f.push_back(f);
    }
    return o;
}

TEST(GeometryExport, EverySolidIsClosedCentredAndFacesOutwards) {
    int solids = 0;
    for (const OutputProjectionInfo& info : outputProjections()) {
        if (!hasExportableGeometry(info.id) || !outputIsDrawn(info.id)) continue;
        SCOPED_TRACE(std::string(info.name));
        ++solids;
        const GeometryModel model = buildGeometryModel(info.id);
        const Obj obj = parseObj(writeObj(model.get(), "s", std::tm{}));
        const int triangles = geometryTriangleCount(*model);
        ASSERT_GT(triangles, 0);
        ASSERT_EQ(obj.f.size(), static_cast<std::size_t>(triangles));
        ASSERT_EQ(obj.vn.size(), obj.f.size());

        // Centred, the largest extent -1..1.
        Vec3d lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
        for (const Vec3d& p : obj.v) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        EXPECT_NEAR(std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z}), 2.0, 1e-7);
        for (const double c : {lo.x + hi.x, lo.y + hi.y, lo.z + hi.z}) EXPECT_NEAR(c, 0.0, 1e-7);

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
        std::istringstream stl(writeStl(model.get(), info.name));
        Vec3d min{1e9, 1e9, 1e9};
        int vertices = 0;
        for (std::string l; std::getline(stl, l);) {
            Vec3d p;
            if (std::sscanf(l.c_str(), " vertex %lf %lf %lf", &p.x, &p.y, &p.z) != 3) continue;
            min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
            ++vertices;
        }
        EXPECT_EQ(vertices, 3 * triangles);
        EXPECT_EQ(min.x, 0.0);
        EXPECT_EQ(min.y, 0.0);
        EXPECT_EQ(min.z, 0.0);
    }
    EXPECT_GT(solids, 80);
}

TEST(GeometryExport, SubstitutesAreKnownOutputs) {
    for (const OutputProjectionInfo& info : outputProjections())
        EXPECT_TRUE(hasOutputEntry(geometryExportProjection(info.id))) << info.id;
}

}  // namespace
}  // namespace globaro
