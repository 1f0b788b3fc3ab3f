// Every drawn output built on a generated solid (geodesic spheres aside, which
// have their own suite), built as the render builds it: the solid is closed,
// flat-faced and a sphere by Euler's formula, the net unrolls without
// stretching or overlapping inside the model's limits, carries a tab on one
// side of every glued pair, and covers the sphere. A sphericon's name is its
// shape, and its seam is the n-gon.

#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <map>
#include <numbers>
#include <set>
#include <sstream>
#include "poly_test_util.h"
#include "polyhedra/late_solids.h"
#include "polyhedra/poly_spec.h"
#include "polyhedra/sphericons.h"
#include "projection/catalogue.h"
#include "sphere_lattice.h"

namespace globaro {
namespace {

using testing::solidOf;

// The shape a name promises: "sphericon n/k", "n/k+" or "n/k/H".
SphericonShape shapeOfName(const std::string& name) {
    SphericonShape s;
    char tail[4] = {};
    std::sscanf(name.c_str(), "sphericon %d/%d%3s", &s.sides, &s.turn, tail);
    s.axis = tail[0] == '+' ? SphericonAxis::kSides : tail[0] == '/' ? SphericonAxis::kHybrid : SphericonAxis::kCorners;
    return s;
}

struct Case {
    ProjectionId id;
    std::string name;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> everyGeneratedSolid() {
    std::vector<Case> out;
    for (const OutputProjectionInfo& info : outputProjections()) {
        const PolyShapeClass shape = polyShapeClassFor(info.id);
        if (!info.pending && isGeneratedPolyKind(polySpecFor(info.id).kind) && shape != PolyShapeClass::kGeodesic)
            out.push_back({info.id, std::string(info.name)});
    }
    return out;
}

class GeneratedSolids : public ::testing::TestWithParam<Case> {
protected:
    // The net as a render builds it, with glue tabs or without.
    void prepare(float tabSize) {
        resetPolyModel(*m_);
        ASSERT_EQ(
            preparePolyModel(GetParam().id, *m_, 0.5f, tabSize, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1),
            kPolyOk);
        ASSERT_GT(m_->faceCount, 0);
    }
    testing::ModelPtr m_ = testing::newModel();
};

TEST_P(GeneratedSolids, SolidNetTabsAndCoverage) {
    const PolyModel& m = *m_;
    prepare(0.01f);
    SphericonShape shape;
    const bool sphericon = sphericonShape(m.kind, shape);
    if (sphericon) {
        const SphericonShape named = shapeOfName(GetParam().name);
        EXPECT_EQ(std::tie(shape.sides, shape.turn, shape.axis), std::tie(named.sides, named.turn, named.axis));
    }
    EXPECT_TRUE(m.faceCount <= kPolyMaxFaces && m.pieceCount <= kPolyMaxPieces);
    // Closed and flat; Euler's formula; the seam's corners are the n-gon's.
    using Point = std::tuple<long, long, long>;
    std::set<Point> vertices, seamCorners;
    int edges = 0, boundary = 0, marks = 0;
    double scale = -1.0;
    for (int f = 0; f < m.faceCount; ++f) {
        const PolyFace& face = m.faces[f];
        const int n = face.cornerCount;
        const Vec3d a = solidOf(m.vertices[face.corners[0]]);
        const Vec3d normal = cross(difference(a, solidOf(m.vertices[face.corners[1]])),
                                   difference(a, solidOf(m.vertices[face.corners[n - 1]])));
        for (int k = 0; k < n; ++k, ++edges) {
            const NetVertex& v = m.vertices[face.corners[k]];
            const NetVertex& w = m.vertices[face.corners[(k + 1) % n]];
            const Vec3d p = solidOf(v);
            vertices.insert({std::lround(p.x * 1e5), std::lround(p.y * 1e5), std::lround(p.z * 1e5)});
            if (std::fabs(p.z) < 1e-6 && std::fabs(length(p) - 1.0) < 1e-5)
                seamCorners.insert({std::lround(p.x * 1e4), std::lround(p.y * 1e4), 0});
            ASSERT_NEAR(dot(normalise(normal), difference(a, p)), 0.0, 1e-5) << "face " << f << " is not flat";
            const int g = face.neighbourFace[k];
            ASSERT_GE(g, 0) << "face " << f << " edge " << k << " is open";
            ASSERT_EQ(m.faces[g].neighbourFace[face.neighbourEdge[k]], f);
            // Developable: every side of the net as long as on the solid.
            const double ratio = std::hypot(v.netX - w.netX, v.netY - w.netY) / length(difference(p, solidOf(w)));
            if (scale < 0.0) scale = ratio;
            ASSERT_NEAR(ratio, scale, 1e-3 * scale) << "face " << f << " side " << k << " is stretched";
            // One tab on each glued pair of the net's boundary, none inside.
            const bool inside = face.netNeighbour[k] >= 0;
            ASSERT_EQ(inside ? face.tabMark[k] : face.tabMark[k] + m.faces[g].tabMark[face.neighbourEdge[k]],
                      inside ? 0 : 1)
                << "face " << f << " side " << k;
            boundary += !inside;
        }
    }
    EXPECT_EQ(int(vertices.size()) - edges / 2 + m.faceCount, 2) << "Euler's formula";
    if (sphericon) {
        EXPECT_EQ(int(seamCorners.size()), shape.sides) << "the seam's corners";
    }
    for (int t = 0; t < m.triangleCount; ++t) marks += m.triangles[t].isMark;
    EXPECT_TRUE(boundary > 0 && marks > boundary / 2) << "tab shapes on the boundary";
    // The net never overlaps itself.
    for (int f = 0; f < m.faceCount; ++f)
        for (int g = f + 1; g < m.faceCount; ++g)
            ASSERT_FALSE(outlinesOverlap(testing::netOutline(m, f), testing::netOutline(m, g), 1e-6))
                << "faces " << f << " and " << g;
    // Without tabs, a 400 × 200 grid over the frame reaches all 288 cells.
    prepare(0.0f);
    PolyJobState job;
    buildSweepList(m, job);
    std::array<int, 288> cells{};
    for (int j = 0; j < 200; ++j)
        for (int i = 0; i < 400; ++i) {
            SphereDir d;
            if (netPointToSphere(m, job, (i + 0.5f) / 400.0f, (j + 0.5f) / 400.0f, d).kind == NetHitKind::kFace)
                ++cells[static_cast<std::size_t>(testing::equalAreaCell(d))];
        }
    EXPECT_EQ(std::count(cells.begin(), cells.end(), 0), 0) << "cells of the sphere missed";
}

// What the curved-origami boxes and the cone tetrahedra promise: one piece
// per face of the base solid (or per cone), each piece one colour group, and
// no saddle at a vertex inside a piece, so that its darts open in the net.
TEST(CurvedOrigamiAndCones, OnePiecePerBaseFaceAndNoSaddle) {
    const std::pair<ProjectionId, int> promised[] = {{256, 4}, {296, 4}, {258, 5},  {294, 7},  {257, 8},
                                                     {289, 6}, {295, 6}, {290, 12}, {291, 20}, {259, 6},
                                                     {260, 6}, {261, 6}, {262, 6},  {175, 4},  {176, 4}};
    testing::ModelPtr model = testing::newModel();
    PolyModel& m = *model;
    for (const auto& [id, pieces] : promised) {
        resetPolyModel(m);
        ASSERT_EQ(preparePolyModel(id, m, 0.5f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1), kPolyOk);
        EXPECT_EQ(m.pieceCount, pieces) << id;
        std::map<int, int> groupOfPiece;
        std::map<std::tuple<long, long, long>, std::pair<double, std::set<int>>> turn;  // angle, pieces
        for (int f = 0; f < m.faceCount; ++f) {
            const PolyFace& face = m.faces[f];
            EXPECT_EQ(groupOfPiece.emplace(face.loopId, face.colourGroup).first->second, face.colourGroup) << id;
            for (int k = 0; k < face.cornerCount; ++k) {
                const Vec3d p = solidOf(m.vertices[face.corners[k]]);
                auto& [angle, in] = turn[{std::lround(p.x * 1e5), std::lround(p.y * 1e5), std::lround(p.z * 1e5)}];
                angle += face.cornerAngleSolid[k];
                in.insert(face.loopId);
            }
        }
        for (const auto& [where, around] : turn)
            ASSERT_TRUE(around.second.size() > 1 || around.first <= 2 * std::numbers::pi + 1e-5)
                << id << " has a saddle";
    }
}

// What a late solid's name promises, from published descriptions: its net's
// pieces, and the points of the solid on its circumsphere (the corners listed
// for the solid, scaled to radius 1) or every face's telling angle.
struct Promise {
    ProjectionId id;
    int pieces;            // 0: any
    std::string corners;   // "a b c": every signed permutation of (a, b, c); "" for none
    double faceAngle = 0;  // an angle (degrees) every face has at some corner, 0 for none
};
const Promise kPromises[] = {
    {292, 12, "", 63.4349},   // golden rhombi, the stars round the twelve five-fold corners
    {293, 20, "", 63.4349},   // the caps round the twenty three-fold tips
    {403, 0, "3 3 3 5 1 1"},  // Bakos' compound: (±3, ±3, ±3) and (±5, ±1, ±1) permuted
    {404, 0, "", 104.4775},   // the triambi's narrow angle, arccos(−1/4)
    {406, 12, ""},            // cinquefoil: the caps round the twelve five-fold axes
    {407, 20, ""},            // rhombicosacron: the caps round the twenty three-fold axes
    {408, 1, "0 1 3"},        // W5: the lattice points at distance √10
};

TEST(GeneratedSolids, KeepTheirNamesPromises) {
    for (const Promise& p : kPromises) {
        testing::ModelPtr m = testing::newModel();
        ASSERT_EQ(preparePolyModel(p.id, *m, 0.5f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1), kPolyOk);
        EXPECT_TRUE(p.pieces == 0 || m->pieceCount == p.pieces) << p.id << ": " << m->pieceCount << " pieces";
        std::set<std::array<long, 3>> want, got;
        std::istringstream in(p.corners);
        for (std::array<double, 3> c{}; in >> c[0] >> c[1] >> c[2];) {
            std::array<int, 3> order = {0, 1, 2};
            const double r = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
            do
                for (int s = 0; s < 8; ++s) {
                    std::array<long, 3> q{};
                    for (int k = 0; k < 3; ++k) q[k] = std::lround(c[order[k]] / r * (s >> k & 1 ? -1e5 : 1e5));
                    want.insert(q);
                }
            while (std::next_permutation(order.begin(), order.end()));
        }
        for (int f = 0; f < m->faceCount; ++f) {
            const PolyFace& face = m->faces[f];
            bool angle = p.faceAngle == 0.0;
            for (int k = 0; k < face.cornerCount; ++k) {
                const Vec3d a = solidOf(m->vertices[face.corners[(k + face.cornerCount - 1) % face.cornerCount]]);
                const Vec3d b = solidOf(m->vertices[face.corners[k]]);
                const Vec3d c = solidOf(m->vertices[face.corners[(k + 1) % face.cornerCount]]);
                const double deg =
                    std::acos(dot(directionBetween(b, a), directionBetween(b, c))) * 180 / 3.14159265358979;
                angle = angle || std::fabs(deg - p.faceAngle) < 1e-3;
                if (std::fabs(length(b) - 1.0) < 1e-5)
                    got.insert({std::lround(b.x * 1e5), std::lround(b.y * 1e5), std::lround(b.z * 1e5)});
            }
            EXPECT_TRUE(angle) << p.id << ": face " << f;
        }
        EXPECT_TRUE(p.corners.empty() || got == want) << p.id << ": " << got.size() << " corners on the sphere";
    }
}

// Successive stellation against published solids and step counts: the
// icosahedron's planes reach the great icosahedron (its corners the
// icosahedron's, its faces their far triangles) at six steps and end after
// seven; the rhombic triacontahedron's reach the compound of five cubes at
// three (the cubes' corners at the twenty three-fold axes) and end after
// twelve. Circumradius over inradius, and how many corners lie out there.
struct StellationPromise {
    Vec3d normal;
    int layers, steps;
    double circumOverIn;
    std::size_t tips;
};
const StellationPromise kStellations[] = {
    {{1, 1, 1}, 6, 7, 3.0 / std::sqrt(3.0 - 6.0 / std::sqrt(5.0)), 12},
    {{1, 0, 0}, 3, 12, std::sqrt(3.0), 20},
};

double circumOverIn(const SolidMesh& m, std::size_t& tips) {
    double in = 1e9;
    for (std::size_t f = 0; f < m.faces.size(); ++f)
        in = std::min(in, std::fabs(dot(normalise(faceNormal(m, int(f))), m.vertices[m.faces[f][0]])));
    tips = static_cast<std::size_t>(
        std::count_if(m.vertices.begin(), m.vertices.end(), [](const Vec3d& v) { return length(v) > 1 - 1e-9; }));
    return 1.0 / in;
}

TEST(GeneratedSolids, LayeredStellationsReachPublishedSolids) {
    for (const StellationPromise& p : kStellations) {
        EXPECT_EQ(stellationLayerSizes(p.normal).size(), std::size_t(p.steps + 1)) << p.steps;
        EXPECT_TRUE(generateLayeredStellation(p.normal, p.steps + 1).faces.empty()) << p.steps;
        std::size_t tips = 0;
        EXPECT_NEAR(circumOverIn(generateLayeredStellation(p.normal, p.layers), tips), p.circumOverIn, 1e-9);
        EXPECT_EQ(tips, p.tips) << p.layers;
    }
    std::size_t a = 0, b = 0;  // one step from the icosahedron: the small triambic icosahedron
    EXPECT_NEAR(circumOverIn(generateLayeredStellation({1, 1, 1}, 1), a),
                circumOverIn(generateSmallTriambicIcosahedron(), b), 1e-9);
    EXPECT_EQ(a, b);
}

// The duals of uniform solids: a face plane at each corner of the uniform
// solid, all touching one sphere, so the face normals are the uniform
// solid's corners; each has as many neighbours an edge away (the published
// chord for circumradius 1) as the uniform solid's corners have edges. The
// outer surface reaches out to the poles of the uniform solid's nearest
// faces, so the face planes lie at their distance over the circumradius.
struct DualPromise {
    ProjectionId id;
    double chord;     // edge over circumradius of the uniform solid
    int edges;        // edges at each of its corners
    double inradius;  // its nearest face's distance over its circumradius
};
const double kSnubRadius = 1.12690;  // the snub icosidodecadodecahedron's, for unit edges
const DualPromise kDuals[] = {
    // its pentagons, circumradius 1/(2 sin 36°)
    {406, 1.0 / kSnubRadius, 6, std::sqrt(1.0 - std::pow(kSnubRadius * 2.0 * std::sin(std::numbers::pi / 5), -2.0))},
    {407, 2.0 / std::sqrt(7.0), 4, std::sqrt(3.0 / 7.0)},  // rhombicosahedron: R = √7/2, hexagons of radius 1
};

TEST(GeneratedSolids, DualsHaveAFacePlaneAtEachCornerOfTheirUniformSolid) {
    for (const DualPromise& p : kDuals) {
        testing::ModelPtr m = testing::newModel();
        ASSERT_EQ(preparePolyModel(p.id, *m, 0.5f, 0.0f, 0, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1), kPolyOk);
        std::vector<Vec3d> normals;
        std::vector<double> distances;
        for (int f = 0; f < m->faceCount; ++f) {
            const PolyFace& face = m->faces[f];
            const Vec3d a = solidOf(m->vertices[face.corners[0]]);
            Vec3d n = normalise(cross(difference(a, solidOf(m->vertices[face.corners[1]])),
                                      difference(a, solidOf(m->vertices[face.corners[2]]))));
            if (dot(n, a) < 0.0) n = negate(n);
            distances.push_back(dot(n, a));
            if (std::none_of(normals.begin(), normals.end(),
                             [&](const Vec3d& q) { return length(difference(n, q)) < 1e-4; }))
                normals.push_back(n);
        }
        EXPECT_EQ(normals.size(), 60u) << p.id;
        const auto [lo, hi] = std::minmax_element(distances.begin(), distances.end());
        EXPECT_NEAR(*lo, *hi, 1e-5) << p.id << ": the face planes touch one sphere";
        EXPECT_NEAR(*lo, p.inradius, 2e-4) << p.id << ": the outer surface";
        for (const Vec3d& n : normals)
            EXPECT_EQ(
                std::count_if(normals.begin(), normals.end(),
                              [&](const Vec3d& q) { return std::fabs(length(difference(n, q)) - p.chord) < 2e-4; }),
                p.edges)
                << p.id;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryGeneratedSolid, GeneratedSolids, ::testing::ValuesIn(everyGeneratedSolid()),
                         [](const auto& info) {
                             std::string out;
                             for (char c : info.param.name)
                                 out += c == '+'                                      ? "plus"
                                        : std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c)
                                                                                      : "_";
                             return out;
                         });

}  // namespace
}  // namespace globaro
