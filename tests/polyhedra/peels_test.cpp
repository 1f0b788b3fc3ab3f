// What the peel names promise: a rind is one band per spiral (a single one
// with a cap at each pole), each a single chain of faces; a skelion or a
// cover is so many congruent pieces, each held together by its uncut edges,
// and the turn that the name's symmetry promises maps the solid onto itself.

#include "polyhedra/peels.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>
#include "polyhedra/net_unfold.h"
#include "projection/catalogue.h"

namespace globaro {
namespace {

struct Case {
    const char* name;
    int parts;   // bands and caps of a rind, pieces of a skelion or cover
    Vec3d axis;  // of the turn that maps the solid onto itself
    int fold;    // that turn is 360°/fold
};

constexpr Vec3d kPolar{0, 1, 0}, kDiagonal{1, 1, 1};
constexpr Case kCases[] = {
    {"rind 1", 3, kPolar, 1},        {"short rind", 3, kPolar, 1},     {"twistless rind", 3, kPolar, 1},
    {"daycare", 2, kPolar, 2},       {"triskelion fat", 3, kPolar, 3}, {"pentaskelion", 5, kPolar, 5},
    {"triad", 3, kPolar, 3},         {"Isle of Man", 3, kPolar, 3},    {"quatretat", 4, kDiagonal, 3},
    {"curvy cube", 6, kDiagonal, 3}, {"baseball", 2, kPolar, 2}};

TEST(Peels, NamesKeepTheirPromise) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        PolyKind kind = kNoPolyKind;
        for (const OutputProjectionInfo& info : outputProjections())
            if (info.name == std::string_view(c.name)) kind = polySpecFor(info.id).kind;
        RindShape rind;
        SkelionShape skelion;
        CoverShape cover;
        const bool isRind = rindShape(kind, rind), isSkelion = skelionShape(kind, skelion);
        ASSERT_TRUE(isRind || isSkelion || coverShape(kind, cover));
        const SolidMesh mesh = isRind      ? generateRind(rind)
                               : isSkelion ? generateSkelion(skelion)
                                           : generateCover(cover);
        ASSERT_EQ(mesh.errorCode, 0);
        // The parts: faces held together by edges the net may unfold across.
        const FaceAdjacency adj = buildAdjacency(mesh);
        std::vector<int> root(mesh.faces.size());
        std::iota(root.begin(), root.end(), 0);
        auto find = [&](int f) {
            while (root[f] != f) f = root[f] = root[root[f]];
            return f;
        };
        for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
            int joined = 0;
            for (std::size_t k = 0; k < mesh.faces[f].size(); ++k) {
                if (mesh.edgeFlags[f][k] & 1u || adj.face[f][k] < 0) continue;
                ++joined;
                root[find(static_cast<int>(f))] = find(adj.face[f][k]);
            }
            if (isRind) {
                EXPECT_LE(joined, 2) << "face " << f << " branches off the band";
            }
        }
        std::set<int> parts;
        for (std::size_t f = 0; f < mesh.faces.size(); ++f) parts.insert(find(static_cast<int>(f)));
        EXPECT_EQ(static_cast<int>(parts.size()), c.parts);
        // Turned by 360°/fold about the axis, every vertex lands on a vertex.
        const double a = 2.0 * 3.14159265358979323846 / c.fold, ca = std::cos(a), sa = std::sin(a);
        const Vec3d k = normalise(c.axis);
        for (const Vec3d& p : mesh.vertices) {
            const Vec3d kp = cross(k, p);
            const double kd = dot(k, p) * (1.0 - ca);
            const Vec3d q{p.x * ca + kp.x * sa + k.x * kd, p.y * ca + kp.y * sa + k.y * kd,
                          p.z * ca + kp.z * sa + k.z * kd};
            EXPECT_TRUE(std::any_of(mesh.vertices.begin(), mesh.vertices.end(),
                                    [&](const Vec3d& v) { return length(difference(v, q)) < 1e-9; }));
        }
    }
}

}  // namespace
}  // namespace globaro
