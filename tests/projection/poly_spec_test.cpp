// The projection-to-model table.

#include "polyhedra/poly_spec.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace globaro {
namespace {

std::vector<ProjectionId> polyhedralIds() {
    std::vector<ProjectionId> ids;
    for (ProjectionId id = -10; id <= 2000; ++id) {
        if (isPolyhedral(id)) ids.push_back(id);
    }
    if (isPolyhedral(100335)) ids.push_back(100335);
    return ids;
}

TEST(PolySpec, GeodesicSpheresFixOnlyTheAngle) {
    for (ProjectionId id = 177; id <= 198; ++id) {
        const PolySpec s = polySpecFor(id);
        EXPECT_EQ(s.kind, 88 + (id - 177)) << id;
        EXPECT_EQ(s.source, kPolySourceRecordAngle) << id;
        EXPECT_EQ(s.mode, 0u);
    }
    // 54.9 degrees kept as a 32-bit float.
    EXPECT_EQ(polySpecFor(177).angle, 0.958185792f);
    EXPECT_EQ(polySpecFor(194).angle, 0.0f);
    EXPECT_NEAR(polySpecFor(181).angle, 153.0 * 3.14159265358979 / 180.0, 1e-6);
    EXPECT_NEAR(polySpecFor(198).angle, 115.2 * 3.14159265358979 / 180.0, 1e-6);
}

TEST(PolySpec, SphericonsHaveTheirOwnKindsAndAngles) {
    std::set<PolyKind> kinds;
    for (ProjectionId id = 199; id <= 246; ++id) {
        const PolySpec s = polySpecFor(id);
        EXPECT_EQ(s.mode, 2u) << id;
        EXPECT_EQ(s.source, kPolySourceRecord) << id;
        kinds.insert(s.kind);
        EXPECT_EQ(polyShapeClassOf(s.kind), PolyShapeClass::kSphericon) << id;
    }
    EXPECT_EQ(kinds.size(), 48u);
    EXPECT_EQ(*kinds.begin(), 110);
    EXPECT_EQ(*kinds.rbegin(), 157);
}

TEST(PolySpec, StripNetsFollowTheirBaseKinds) {
    for (ProjectionId id = 268; id <= 287; ++id) {
        EXPECT_EQ(polySpecFor(id), (PolySpec{216 + (id - 268), 6, 0, 0.0f, 1})) << id;
    }
    for (ProjectionId id = 304; id <= 336; ++id) {
        EXPECT_EQ(polySpecFor(id), (PolySpec{270 + (id - 304), 6, 0, 0.0f, 1})) << id;
    }
}

TEST(PolySpec, NonPolyhedralIdsGiveKindMinusOne) {
    for (ProjectionId id : {0, -1, 1, 2, 5, 62, 128, 171, 288, 300, 301, 375, 376, 377, 378, 415,
                            486, 900, 1038, 1039, 1040, 1041, 1043, 1044, 1045, 100335}) {
        EXPECT_EQ(polySpecFor(id), PolySpec{}) << id;
        EXPECT_FALSE(isPolyhedral(id)) << id;
    }
    EXPECT_EQ(PolySpec{}.kind, kNoPolyKind);
}

TEST(PolySpec, TableSizeAndParam) {
    const std::vector<ProjectionId> ids = polyhedralIds();
    EXPECT_EQ(ids.size(), 253u);
    for (ProjectionId id : ids) {
        const PolySpec s = polySpecFor(id);
        EXPECT_EQ(s.param, 0u) << id;
        EXPECT_LE(s.source, 2u) << id;
        EXPECT_NE(polyShapeClassOf(s.kind), PolyShapeClass::kNone) << id << " kind " << s.kind;
    }
}

TEST(PolySpec, KindClasses) {
    EXPECT_EQ(polyShapeClassOf(-1), PolyShapeClass::kNone);
    EXPECT_EQ(polyShapeClassOf(14), PolyShapeClass::kNone);
    EXPECT_EQ(polyShapeClassOf(311), PolyShapeClass::kNone);
    EXPECT_EQ(polyShapeClassOf(16), PolyShapeClass::kFixedSolid);
    EXPECT_EQ(polyShapeClassOf(79), PolyShapeClass::kFixedSolid);
    EXPECT_EQ(polyShapeClassOf(87), PolyShapeClass::kFixedSolid);
    EXPECT_EQ(polyShapeClassOf(76), PolyShapeClass::kFixedSolid);
    EXPECT_EQ(polyShapeClassOf(88), PolyShapeClass::kGeodesic);
    EXPECT_EQ(polyShapeClassOf(109), PolyShapeClass::kGeodesic);
    EXPECT_EQ(polyShapeClassOf(303), PolyShapeClass::kVoronoi);
    EXPECT_EQ(polyShapeClassOf(302), PolyShapeClass::kStripNet);
    EXPECT_EQ(polyShapeClassOf(195), PolyShapeClass::kCurvedOrigami);
    EXPECT_EQ(polyShapeClassOf(215), PolyShapeClass::kCurveBase);
    EXPECT_FALSE(isGeneratedPolyKind(18));
    EXPECT_FALSE(isGeneratedPolyKind(-1));
    for (PolyKind k : {25, 26, 27, 50, 51, 52, 77, 78, 80, 86, 88, 158, 159, 169, 196, 215, 216,
                       235, 236, 269, 270, 303, 304, 310}) {
        EXPECT_TRUE(isGeneratedPolyKind(k)) << k;
    }
    EXPECT_EQ(polyShapeClassFor(7), PolyShapeClass::kFixedSolid);
    EXPECT_EQ(polyShapeClassFor(1), PolyShapeClass::kNone);
}

}  // namespace
}  // namespace globaro
