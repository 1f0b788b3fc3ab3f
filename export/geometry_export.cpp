#include "export/geometry_export.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <tuple>
#include <vector>

#include "geometry/vec_math.h"
#include "polyhedra/poly_model.h"
#include "projection/catalogue.h"

namespace globaro {

namespace {

// Outputs whose solid is exported through another output's model.
constexpr std::array<std::pair<ProjectionId, ProjectionId>, 11> kExportedAs = {{
    {256, 4035},
    {257, 4037},
    {258, 4036},
    {259, 4038},
    {261, 4040},
    {289, 1047},
    {290, 1048},
    {291, 1049},
    {294, 4042},
    {295, 1050},
    {296, 4043},
}};

constexpr const char* kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

// printf into a string.
template <typename... Args>
void appendf(std::string& out, const char* format, Args... args) {
    char line[160];
    const int n = std::snprintf(line, sizeof line, format, args...);
    if (n > 0) out.append(line, static_cast<std::size_t>(std::min<int>(n, sizeof line - 1)));
}

// The solid as the files describe it: distinct vertices at their written
// positions, and the face triangles with their corners in the written order.
struct WrittenSolid {
    std::vector<Vec3d> positions;
    struct Corner {
        int solid;  // index into positions
        int net;    // the model's net vertex
    };
    std::vector<std::array<Corner, 3>> triangles;
};

// Adding zero turns -0 into 0, which prints without its sign.
Vec3d unsignedZeros(const Vec3d& v) { return {v.x + 0.0, v.y + 0.0, v.z + 0.0}; }

Vec3d unitNormal(const Vec3d& q0, const Vec3d& q1, const Vec3d& q2) {
    return unsignedZeros(normaliseZeroSafe(cross(difference(q0, q1), difference(q1, q2))));
}

WrittenSolid writtenSolid(const PolyModel& m) {
    WrittenSolid s;
    // One vertex per distinct solid point: the net's cut edges give one
    // point of the solid several net vertices.
    std::map<std::tuple<float, float, float>, int> index;
    std::vector<int> solidOf(static_cast<std::size_t>(std::max(m.vertexCount, 0)), -1);
    auto solidVertex = [&](int v) {
        if (solidOf[v] >= 0) return solidOf[v];
        const NetVertex& nv = m.vertices[v];
        const auto [it, added] =
            index.emplace(std::make_tuple(nv.solidX, nv.solidY, nv.solidZ), static_cast<int>(s.positions.size()));
        if (added) s.positions.push_back({nv.solidX, nv.solidY, nv.solidZ});
        return solidOf[v] = it->second;
    };
    const int triangles = std::clamp(m.triangleCount, 0, kPolyMaxTriangles);
    for (int t = 0; t < triangles; ++t) {
        const NetTriangle& tri = m.triangles[t];
        if (tri.isMark) continue;
        const int net[3] = {tri.c, tri.b, tri.a};  // third, second, first
        if (std::ranges::any_of(net, [&](int v) { return v < 0 || v >= m.vertexCount; })) continue;
        std::array<WrittenSolid::Corner, 3> corners;
        for (int k = 0; k < 3; ++k) corners[k] = {solidVertex(net[k]), net[k]};
        s.triangles.push_back(corners);
    }
    if (s.positions.empty()) return s;

    // Centred, the largest extent -1..1, y down, and x negated with y: a
    // half turn, not a mirror image, so that every face seen from outside
    // shows its picture as the net does and the corners (third, second,
    // first) go round anticlockwise seen from outside.
    Vec3d lo = s.positions[0], hi = s.positions[0];
    for (const Vec3d& p : s.positions) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const Vec3d centre = midpoint(lo, hi);
    const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    const double k = extent > 0.0 ? 2.0 / extent : 1.0;
    for (Vec3d& p : s.positions)
        p = unsignedZeros({-(p.x - centre.x) * k, -(p.y - centre.y) * k, (p.z - centre.z) * k});
    return s;
}

}  // namespace

ProjectionId geometryExportProjection(ProjectionId output) noexcept {
    for (const auto& [from, to] : kExportedAs)
        if (from == output && hasOutputEntry(to)) return to;
    return output;
}

std::string geometryBaseName(std::string_view objPath) {
    std::string name = std::filesystem::path(objPath).filename().string();
    if (const auto dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
    return exportFileName(name);
}

GeometryPaths geometryPaths(const std::string& objPath) {
    std::filesystem::path p(objPath);
    auto with = [&](const char* extension) { return std::filesystem::path(p).replace_extension(extension).string(); };
    return {objPath, with(".mtl"), with(".stl"), with(".jpg")};
}

void GeometryModelRelease::operator()(PolyModel* model) const noexcept { releasePolyModel(model); }

GeometryModel buildGeometryModel(ProjectionId id) {
    GeometryModel model(createPolyModel());
    if (model != nullptr)
        preparePolyModel(id, *model, 1.0f, 0.0f, 0, 0.0f, kPolyModeSolid, 0, defaultPolyAllocator(), 1);
    return model;
}

int geometryTriangleCount(const PolyModel& model) noexcept {
    const int triangles = std::clamp(model.triangleCount, 0, kPolyMaxTriangles);
    return static_cast<int>(std::count_if(model.triangles, model.triangles + triangles,
                                          [](const NetTriangle& t) { return t.isMark == 0; }));
}

std::string writeObj(const PolyModel* model, std::string_view baseName, const std::tm& when) {
    if (model == nullptr) return "# error: polyhedron data is missing\n";
    const WrittenSolid s = writtenSolid(*model);
    const std::string base(baseName);
    std::string out = "# Exported from Globaro 2 " + std::string(kMakerWebAddress) + "\n";
    appendf(out, "# on %d %s %d at %02d:%02d:%02d\n", when.tm_mday, kMonths[std::clamp(when.tm_mon, 0, 11)],
            when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec);
    out += "\nmtllib " + base + ".mtl\n\ng GlobaroPolyhedron\n\n";
    for (const Vec3d& p : s.positions) appendf(out, "v %.8f %.8f %.8f\n", p.x, p.y, p.z);
    out += "\n";
    for (const auto& t : s.triangles) {
        const Vec3d n = unitNormal(s.positions[t[0].solid], s.positions[t[1].solid], s.positions[t[2].solid]);
        appendf(out, "vn %.8f %.8f %.8f\n", n.x, n.y, n.z);
    }
    out += "\n";
    for (int v = 0; v < model->vertexCount; ++v)
        appendf(out, "vt %.8f %.8f\n", model->vertices[v].netX, 1.0 - model->vertices[v].netY);
    out += "\nusemtl " + base + "_material\n\n";
    for (std::size_t t = 0; t < s.triangles.size(); ++t) {
        const auto& c = s.triangles[t];
        const int n = static_cast<int>(t + 1);
        appendf(out, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", c[0].solid + 1, c[0].net + 1, n, c[1].solid + 1, c[1].net + 1, n,
                c[2].solid + 1, c[2].net + 1, n);
    }
    out += "\n";
    return out;
}

std::string writeMtl(std::string_view baseName) {
    const std::string base(baseName);
    return "# Exported from Globaro 2 " + std::string(kMakerWebAddress) + "\n#\n\nnewmtl " + base +
           "_material\nd 1.00000\nillum 2\nKd 1.0 1.0 1.0\nKa 1.0 1.0 1.0\nKs 0.5 0.5 0.9\nKe 0.0 0.0 0.0\nmap_Kd " +
           base + ".jpg\n";
}

std::string writeStl(const PolyModel* model, std::string_view projectionName) {
    if (model == nullptr) return {};
    WrittenSolid s = writtenSolid(*model);
    // Moved so that the solid touches the three coordinate planes from the
    // positive side.
    if (!s.positions.empty()) {
        Vec3d lo = s.positions[0];
        for (const Vec3d& p : s.positions) lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        for (Vec3d& p : s.positions) p = unsignedZeros({p.x - lo.x, p.y - lo.y, p.z - lo.z});
    }
    std::string out = "solid " + exportFileName(projectionName) + " from Globaro\n";
    for (const auto& t : s.triangles) {
        const Vec3d& a = s.positions[t[0].solid];
        const Vec3d& b = s.positions[t[1].solid];
        const Vec3d& c = s.positions[t[2].solid];
        const Vec3d n = unitNormal(a, b, c);
        appendf(out, "   facet normal %E %E %E\n      outer loop\n", n.x, n.y, n.z);
        for (const Vec3d* p : {&a, &b, &c}) appendf(out, "         vertex %E %E %E\n", p->x, p->y, p->z);
        out += "      endloop\n   endfacet\n";
    }
    out += "endsolid " + std::string(projectionName) + " from Globaro\n";
    return out;
}

}  // namespace globaro
