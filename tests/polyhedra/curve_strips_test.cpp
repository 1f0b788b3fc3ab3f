// The muse and curlicue strip nets, beyond what every generated solid is
// checked for: the faces seen from the centre tile the sphere exactly once,
// the solid has the N-fold symmetry of its strips (2N-fold steps for
// alternating strips), every ribbon runs whole from pole to pole in the net
// and stands upright, north on top, and no two outputs share a shape.

#include "polyhedra/curve_strips.h"
#include <gtest/gtest.h>
#include <map>
#include <set>
#include "poly_test_util.h"
#include "projection/catalogue.h"

namespace globaro {
namespace {

using testing::det3;
using testing::solidOf;

// Solid angle of the flat triangle abc seen from the centre (Van Oosterom
// and Strackee, IEEE Trans. Biomed. Eng. 30, 1983), signed.
double solidAngle(const Vec3d& a, const Vec3d& b, const Vec3d& c) {
    const double la = length(a), lb = length(b), lc = length(c);
    return 2.0 * std::atan2(det3(a, b, c), la * lb * lc + dot(a, b) * lc + dot(a, c) * lb + dot(b, c) * la);
}

TEST(CurveStrips, EveryStripNetTilesTheSphereOnceWithItsSymmetry) {
    std::map<std::vector<long>, std::string> shapes;
    for (const OutputProjectionInfo& info : outputProjections()) {
        if (info.pending || polyShapeClassFor(info.id) != PolyShapeClass::kStripNet) continue;
        SCOPED_TRACE(info.name);
        StripCurve curve;
        ASSERT_TRUE(stripCurveOf(polySpecFor(info.id).kind, curve));
        testing::ModelPtr m = testing::newModel();
        ASSERT_EQ(testing::build(*m, polySpecFor(info.id).kind, kPolyModeSolid), kPolyOk);
        double total = 0.0;
        std::set<std::tuple<long, long, long>> points;
        std::map<int, int> poleCorners;                     // per piece
        std::map<int, double> northY, southY, left, right;  // per piece, in the net
        std::vector<long> areas;
        for (int f = 0; f < m->faceCount; ++f) {
            const PolyFace& face = m->faces[f];
            ASSERT_EQ(face.cornerCount, 3);
            Vec3d p[3];
            for (int k = 0; k < 3; ++k) {
                p[k] = solidOf(m->vertices[face.corners[k]]);
                points.insert({std::lround(p[k].x * 1e4), std::lround(p[k].y * 1e4), std::lround(p[k].z * 1e4)});
                const NetVertex& v = m->vertices[face.corners[k]];
                const bool pole = std::fabs(std::fabs(p[k].y) - 1.0) < 1e-6;
                poleCorners[face.loopId] += pole;
                if (pole) (p[k].y > 0.0 ? northY : southY)[face.loopId] = v.netY;
                left.try_emplace(face.loopId, v.netX);
                right.try_emplace(face.loopId, v.netX);
                left[face.loopId] = std::min<double>(left[face.loopId], v.netX);
                right[face.loopId] = std::max<double>(right[face.loopId], v.netX);
            }
            const double omega = solidAngle(p[0], p[1], p[2]);
            ASSERT_GT(omega * total, -1e-12) << "face " << f << " turns the other way";
            total += omega;
            areas.push_back(std::lround(length(cross(difference(p[0], p[1]), difference(p[0], p[2]))) * 1e4));
        }
        EXPECT_NEAR(std::fabs(total), 4.0 * std::numbers::pi, 1e-4) << "the sphere is covered once";
        // Turned by one period about the axis, every vertex lands on a vertex.
        const double turn = 2.0 * std::numbers::pi * (curve.oddPhase != 0.0 ? 2 : 1) / curve.strips;
        for (const auto& [x, y, z] : points) {
            const double c = std::cos(turn), s = std::sin(turn), px = x * 1e-4, pz = z * 1e-4;
            const long rx = std::lround((px * c + pz * s) * 1e4), rz = std::lround((pz * c - px * s) * 1e4);
            bool found = false;
            for (long dx = -1; dx <= 1 && !found; ++dx)
                for (long dz = -1; dz <= 1 && !found; ++dz) found = points.count({rx + dx, y, rz + dz}) > 0;
            ASSERT_TRUE(found) << "no " << curve.strips << "-fold symmetry";
        }
        // Each piece is one ribbon: one fan at each pole.
        EXPECT_EQ(int(poleCorners.size()), curve.strips * stripRibbons(curve));
        // Each stands upright, north on top, narrower than it is tall.
        for (const auto& [piece, corners] : poleCorners) {
            EXPECT_EQ(corners, 2) << "piece " << piece;
            EXPECT_LT(northY[piece], southY[piece]) << "piece " << piece;
            EXPECT_LT(right[piece] - left[piece], southY[piece] - northY[piece]) << "piece " << piece;
        }
        std::sort(areas.begin(), areas.end());
        EXPECT_TRUE(shapes.emplace(areas, info.name).second) << "the same shape as " << shapes[areas];
    }
    EXPECT_EQ(shapes.size(), 53u);
}

}  // namespace
}  // namespace globaro
