// Net unfolding: pieces, groups, overlaps, shared vertices, rows, and the solid mesh (closed and true to
// size for every solid: solids_test.cpp).

#include "polyhedra/net_unfold.h"
#include <gtest/gtest.h>
#include <set>
#include <tuple>
#include "poly_test_util.h"
#include "polyhedra/fixed_solids.h"

namespace globaro {
namespace {

// A tetrahedron with its faces anticlockwise from outside, moved by `offset`.
void addTetrahedron(SolidMesh& m, const Vec3d& offset, std::int16_t group = -1) {
    const Vec3d p[4] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    int v[4];
    for (int i = 0; i < 4; ++i) v[i] = m.addVertex({p[i].x + offset.x, p[i].y + offset.y, p[i].z + offset.z}, 1e-9);
    const int f[4][3] = {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}};
    for (const auto& face : f) m.addFace(std::array{v[face[0]], v[face[1]], v[face[2]]}.data(), 3, group);
}

TEST(SolidMeshBuilding, VertexSharingFaceChecksAndAFullTable) {
    SolidMesh m;
    const int shared[] = {m.addVertex({0, 0, 1}, 0.002), m.addVertex({0.001, 0, 1}, 0.002),
                          m.addVertex({0.003, 0, 1}, 0.002), m.addVertex({1, 0, 0}, 0.002)};
    EXPECT_EQ(std::vector(shared, shared + 3), (std::vector{0, 0, 1}));
    const int bad[3] = {0, 0, 1}, f[3] = {0, 1, 2}, g[3] = {1, 2, 0}, missing[3] = {0, 1, 9}, unplaced[3] = {0, -1, 2};
    EXPECT_FALSE(m.addFace(bad, 3));
    EXPECT_EQ(std::exchange(m.errorCode, 0), kPolyRepeatedCorner);
    EXPECT_TRUE(m.addFace(f, 3, -1, false) && !m.addFace(g, 3, -1, false));
    EXPECT_EQ(std::exchange(m.errorCode, 0), kPolyDuplicateFace);
    EXPECT_TRUE(m.addFace(g, 3, -1, true));  // bulk: no duplicate check
    EXPECT_TRUE(!m.addFace(missing, 3) && !m.addFace(unplaced, 3) && m.faces.size() == 2u);
    // More than ten corners are cut to ten.
    SolidMesh big;
    int c[12];
    for (int i = 0; i < 12; ++i) c[i] = big.addVertex({std::cos(i * 0.5), std::sin(i * 0.5), 0}, 1e-9);
    EXPECT_TRUE(big.addFace(c, 12) && big.faces[0].size() == 10u);
    SolidMesh full;
    for (int i = 0; i < kPolyMaxVertices; ++i) full.vertices.push_back({double(i), 0, 0});
    EXPECT_EQ(std::tuple(full.addVertex({-5, 0, 0}, 1e-9), full.errorCode, full.vertices.size()),
              std::tuple(-1, int(kPolySolidTableFull), std::size_t(kPolyMaxVertices)));
    EXPECT_EQ(full.addVertex({3, 0, 0}, 1e-9), 3);  // an existing point is still found
}

TEST(NetUnfold, AConvexSolidGivesOnePieceWithSharedVertices) {
    const SolidMesh m = fixedSolidMesh(9);
    const UnfoldedNet net = unfoldSolid(m);
    EXPECT_EQ(std::tuple(net.pieceCount, net.fullPieceCount, net.errorCode), std::tuple(1, 1, 0));
    // A tree of 12 pentagons: 12·5 corners, 11 glued edges share 2 each.
    EXPECT_EQ(net.positions.size(), 12u * 5u - 11u * 2u);
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
        EXPECT_TRUE(net.piece[f] == 1 && net.depth[f] >= 0);
        for (std::size_t k = 0; k < m.faces[f].size(); ++k)
            EXPECT_EQ(net.positionSolid[net.faceNet[f][k]], m.faces[f][k]);
    }
    EXPECT_EQ(net.depth[0], 0);
}

TEST(NetUnfold, GroupsKeepFacesInTheirOwnPieces) {
    SolidMesh m;
    addTetrahedron(m, {0, 0, 0}, 2);
    addTetrahedron(m, {10, 0, 0}, 1);
    const UnfoldedNet net = unfoldSolid(m);
    EXPECT_EQ(std::pair(net.pieceCount, net.fullPieceCount), std::pair(2, 0));  // three faces attached to each start
    for (int f = 0; f < 8; ++f) EXPECT_EQ(net.piece[f], f < 4 ? 2 : 1);
}

TEST(NetUnfold, AGroupTableOffersTwoPiecesAndRowsFillTheFrame) {
    SolidMesh m;
    for (int i = 0; i < 3; ++i) addTetrahedron(m, {i * 10.0, 0, 0}, 1);
    GroupPieces table{};
    table[1] = {1, 2};
    UnfoldOptions options;
    options.groupPieces = &table;
    const UnfoldedNet net = unfoldSolid(m, options);
    for (int f = 0; f < 12; ++f) EXPECT_EQ(net.piece[f], f < 4 ? 1 : f < 8 ? 2 : 0) << f;  // never a third piece
    // Eight like pieces fill a 2:1 frame best in two rows of four.
    SolidMesh eight;
    for (int i = 0; i < 8; ++i) addTetrahedron(eight, {i * 10.0, 0, 0});
    options = {};
    options.rowAspect = 2.0;
    const UnfoldedNet rows = unfoldSolid(eight, options);
    std::set<long> centres;
    for (std::size_t f = 0; f < eight.faces.size(); f += 4) {
        double y0 = 1e9, y1 = -1e9;
        for (std::size_t g = f; g < f + 4; ++g)
            for (int v : rows.faceNet[g])
                y0 = std::min(y0, rows.positions[v].y), y1 = std::max(y1, rows.positions[v].y);
        centres.insert(std::lround((y0 + y1) * 1e6));
    }
    EXPECT_EQ(centres.size(), 2u);
}

TEST(NetUnfold, PiecesLineUpOnOneCentreLineWithThreePercentGaps) {
    SolidMesh m;
    addTetrahedron(m, {0, 0, 0});
    const SolidMesh cube = fixedSolidMesh(18);  // a second, larger piece far away
    const int base = static_cast<int>(m.vertices.size());
    for (const Vec3d& p : cube.vertices) m.vertices.push_back({p.x * 3 + 50, p.y * 3, p.z * 3});
    for (const auto& f : cube.faces)
        m.addFace(std::array{f[0] + base, f[1] + base, f[2] + base, f[3] + base}.data(), 4);
    const UnfoldedNet net = unfoldSolid(m);
    ASSERT_EQ(net.pieceCount, 2);
    double box[3][4] = {{}, {1e9, -1e9, 1e9, -1e9}, {1e9, -1e9, 1e9, -1e9}};  // per piece: x0, x1, y0, y1
    for (std::size_t f = 0; f < m.faces.size(); ++f)
        for (int v : net.faceNet[f]) {
            double* b = box[net.piece[f]];
            const Vec2d& p = net.positions[v];
            b[0] = std::min(b[0], p.x), b[1] = std::max(b[1], p.x), b[2] = std::min(b[2], p.y),
            b[3] = std::max(b[3], p.y);
        }
    EXPECT_LT(std::max(std::fabs(box[1][0]), std::fabs(std::min(box[1][2], box[2][2]))), 1e-12);
    EXPECT_NEAR(box[2][0] - box[1][1], 0.03 * std::max(box[1][1] - box[1][0], box[2][1] - box[2][0]), 1e-9);
    EXPECT_NEAR(box[1][2] + box[1][3], box[2][2] + box[2][3], 2e-9);
}

TEST(NetUnfold, MoreThanTwentyFourPiecesFail) {
    SolidMesh m;
    for (int i = 0; i < 30; ++i) addTetrahedron(m, {i * 10.0, 0, 0});
    const UnfoldedNet net = unfoldSolid(m);
    EXPECT_TRUE(net.errorCode == kPolyTooManyPieces && net.pieceCount == 24);
    int placed = 0;
    for (std::size_t f = 0; f < m.faces.size(); ++f) placed += net.faceNet[f].empty() ? 0 : 1;
    EXPECT_EQ(placed, 24 * 4);
}

TEST(NetUnfold, ForbiddenEdgesAreNotUnfoldedAndOverlapsAreOptional) {
    SolidMesh m = fixedSolidMesh(18);
    m.edgeFlags.assign(m.faces.size(), std::vector<std::uint8_t>(4, 1));
    EXPECT_EQ(unfoldSolid(m).pieceCount, 6);
    // Only one side of an edge forbidding it is enough.
    m.edgeFlags.assign(m.faces.size(), std::vector<std::uint8_t>(4, 0));
    m.edgeFlags[0].assign(4, 1);
    const UnfoldedNet net = unfoldSolid(m);
    EXPECT_EQ(net.pieceCount, 2);
    for (int f = 0; f < 6; ++f) EXPECT_EQ(net.piece[f], f == 0 ? 1 : 2);
    UnfoldOptions off;  // without the overlap test the spikeball's net is one piece
    off.overlapTest = false;
    EXPECT_EQ(unfoldSolid(fixedSolidMesh(13), off).pieceCount, 1);
}

TEST(NetUnfold, OverlapTestOfOutlines) {
    using Outline = std::vector<Vec2d>;
    const Outline a = {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, inside = {{0.2, 0.2}, {0.4, 0.2}, {0.3, 0.4}};
    EXPECT_FALSE(outlinesOverlap(a, Outline{{1, 0}, {2, 0}, {2, 1}, {1, 1}}, 1e-9));  // touching
    EXPECT_FALSE(outlinesOverlap(a, Outline{{1, 1}, {2, 1}, {2, 2}, {1, 2}}, 1e-9));  // a corner
    EXPECT_TRUE(outlinesOverlap(a, Outline{{0.5, 0.5}, {1.5, 0.5}, {1.5, 1.5}, {0.5, 1.5}}, 1e-9));
    EXPECT_TRUE(outlinesOverlap(a, inside, 1e-9) && outlinesOverlap(inside, a, 1e-9) && outlinesOverlap(a, a, 1e-9));
}

}  // namespace
}  // namespace globaro
