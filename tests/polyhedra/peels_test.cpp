// What the peel names promise: a rind is one band per spiral (a single one
// with a cap at each pole), each a single chain of faces; a skelion is n congruent pieces, each held together by
// its uncut edges, and turning it by a piece's share maps it onto itself.

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
    int parts;  // bands and caps of a rind, pieces of a skelion
};

constexpr Case kCases[] = {{"rind 1", 3},         {"short rind", 3},   {"twistless rind", 3}, {"daycare", 2},
                           {"triskelion fat", 3}, {"pentaskelion", 5}, {"triad", 3},          {"Isle of Man", 3}};

TEST(Peels, NamesKeepTheirPromise) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        PolyKind kind = kNoPolyKind;
        for (const OutputProjectionInfo& info : outputProjections())
            if (info.name == std::string_view(c.name)) kind = polySpecFor(info.id).kind;
        RindShape rind;
        SkelionShape skelion;
        const bool isRind = rindShape(kind, rind);
        ASSERT_TRUE(isRind || skelionShape(kind, skelion));
        const SolidMesh mesh = isRind ? generateRind(rind) : generateSkelion(skelion);
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
        if (isRind) continue;
        // Turned by 360°/n about the axis, every vertex lands on a vertex.
        const double a = 2.0 * 3.14159265358979323846 / c.parts;
        for (const Vec3d& p : mesh.vertices) {
            const Vec3d q{p.x * std::cos(a) - p.z * std::sin(a), p.y, p.x * std::sin(a) + p.z * std::cos(a)};
            EXPECT_TRUE(std::any_of(mesh.vertices.begin(), mesh.vertices.end(),
                                    [&](const Vec3d& v) { return length(difference(v, q)) < 1e-9; }));
        }
    }
}

}  // namespace
}  // namespace globaro
