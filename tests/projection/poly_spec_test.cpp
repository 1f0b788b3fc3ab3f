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

TEST(PolySpec, FixedSolidRowsTakeTheCallersBuild) {
    EXPECT_EQ(polySpecFor(6), (PolySpec{16, 0, 0, 0.0f, kPolySourceCaller}));
    EXPECT_EQ(polySpecFor(7), (PolySpec{18, 0, 0, 0.0f, kPolySourceCaller}));
    EXPECT_EQ(polySpecFor(8).kind, 19);
    EXPECT_EQ(polySpecFor(9).kind, 9);
    EXPECT_EQ(polySpecFor(10).kind, 23);
    const PolyKind manyFaces[] = {7, 0, 12, 1, 8, 2, 3, 4, 5, 6};
    for (ProjectionId id = 25; id <= 34; ++id) {
        EXPECT_EQ(polySpecFor(id), (PolySpec{manyFaces[id - 25], 0, 0, 0.0f, 0})) << id;
    }
    EXPECT_EQ(polySpecFor(44).kind, 13);
    EXPECT_EQ(polySpecFor(47).kind, 17);
    EXPECT_EQ(polySpecFor(54).kind, 20);
    EXPECT_EQ(polySpecFor(55).kind, 21);
    EXPECT_EQ(polySpecFor(168).kind, 76);
    EXPECT_EQ(polySpecFor(402).kind, 73);
}

TEST(PolySpec, RecordRowsFixModeAndAngle) {
    EXPECT_EQ(polySpecFor(21), (PolySpec{28, 0, 0, 0.0f, kPolySourceRecord}));
    EXPECT_EQ(polySpecFor(86).kind, 29);
    EXPECT_EQ(polySpecFor(64), (PolySpec{24, 5, 0, 0.0f, 1}));
    EXPECT_EQ(polySpecFor(70), (PolySpec{25, 2, 0, 3.09272361f, 1}));
    EXPECT_EQ(polySpecFor(71), (PolySpec{26, 2, 0, 4.19402647f, 1}));
    EXPECT_EQ(polySpecFor(72), (PolySpec{27, 2, 0, 5.07890844f, 1}));
    EXPECT_EQ(polySpecFor(161), (PolySpec{50, 2, 0, 0.0f, 1}));
    EXPECT_EQ(polySpecFor(162), (PolySpec{72, 6, 0, 0.0f, 1}));
    EXPECT_EQ(polySpecFor(163), (PolySpec{71, 6, 0, 0.0f, 1}));
    EXPECT_EQ(polySpecFor(169), (PolySpec{77, 2, 0, 0.34906587f, 1}));
    EXPECT_EQ(polySpecFor(170), (PolySpec{78, 2, 0, 0.139626339f, 1}));
    EXPECT_EQ(polySpecFor(173), (PolySpec{79, 6, 0, 0.0f, 1}));
    EXPECT_EQ(polySpecFor(174), (PolySpec{80, 0, 0, 0.392699093f, kPolySourceRecordAngle}));
    EXPECT_EQ(polySpecFor(175), (PolySpec{84, 2, 0, -0.0392699093f, 1}));
    EXPECT_EQ(polySpecFor(176), (PolySpec{85, 2, 0, 5.40353966f, 1}));
    EXPECT_EQ(polySpecFor(253), (PolySpec{160, 6, 0, -2.39982772f, 1}));
    EXPECT_EQ(polySpecFor(254), (PolySpec{163, 6, 0, -2.68780708f, 1}));
    EXPECT_EQ(polySpecFor(267), (PolySpec{169, 6, 0, -1.94429684f, 1}));
    EXPECT_EQ(polySpecFor(392), (PolySpec{165, 6, 0, -0.148352996f, 1}));
    EXPECT_EQ(polySpecFor(393), (PolySpec{303, 6, 0, 0.0f, 1}));
    EXPECT_EQ(polySpecFor(292), (PolySpec{81, 1, 0, 0.0f, 1}));
    EXPECT_EQ(polySpecFor(406), (PolySpec{308, 1, 0, 0.0f, 1}));
    EXPECT_EQ(polySpecFor(404).kind, 305);
    EXPECT_EQ(polySpecFor(405).kind, 307);
    EXPECT_EQ(polySpecFor(408).kind, 310);
    EXPECT_EQ(polySpecFor(800), (PolySpec{65, 0, 0, 0.0f, 1}));
}

TEST(PolySpec, BoxFamiliesInTheirOwnOrder) {
    const ProjectionId ids[] = {256, 296, 258, 294, 257, 289, 295, 290, 291, 259, 260, 261, 262};
    const PolyKind kinds[] = {170, 172, 174, 176, 178, 180, 182, 184, 186, 188, 189, 192, 193};
    for (std::size_t i = 0; i < std::size(ids); ++i) {
        EXPECT_EQ(polySpecFor(ids[i]), (PolySpec{kinds[i], 2, 0, 0.0f, 1})) << ids[i];
    }
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
    EXPECT_EQ(polySpecFor(199), (PolySpec{110, 2, 0, 2.51327419f, 1}));
    EXPECT_EQ(polySpecFor(202), (PolySpec{114, 2, 0, 0.0f, 1}));
    EXPECT_EQ(polySpecFor(203), (PolySpec{144, 2, 0, 1.51843858f, 1}));
    EXPECT_EQ(polySpecFor(226), (PolySpec{132, 2, 0, 0.00586221227f, 1}));
    EXPECT_EQ(polySpecFor(246), (PolySpec{157, 2, 0, 1.78023565f, 1}));
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
