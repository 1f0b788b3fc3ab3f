// The projection-to-model table and the classes of the model kinds.

#include "polyhedra/poly_spec.h"

#include <algorithm>
#include <array>
#include <numbers>

namespace globaro {
namespace {

struct PolySpecRow {
    ProjectionId id;
    PolyKind kind;
    std::uint32_t mode;
    float angle;
    std::uint32_t source;
};

// Net angles given in degrees are kept as the 32-bit product of the degrees
// and the 32-bit radians-per-degree factor.
constexpr float deg(float degrees) {
    return degrees * static_cast<float>(std::numbers::pi / 180.0);
}

// Sorted by id; the family parameter is 0 in every row.
constexpr PolySpecRow kPolySpecRows[] = {
    {6, 16, 0, 0.0f, 0},  // tetrahedron
    {7, 18, 0, 0.0f, 0},  // cube
    {8, 19, 0, 0.0f, 0},  // octahedron
    {9, 9, 0, 0.0f, 0},  // dodecahedron
    {10, 23, 0, 0.0f, 0},  // icosahedron
    {21, 28, 0, 0.0f, 1},  // square
    {25, 7, 0, 0.0f, 0},  // 14 faces
    {26, 0, 0, 0.0f, 0},  // 24 faces a
    {27, 12, 0, 0.0f, 0},  // 24 faces b
    {28, 1, 0, 0.0f, 0},  // 26 faces
    {29, 8, 0, 0.0f, 0},  // 30 faces
    {30, 2, 0, 0.0f, 0},  // soccer ball
    {31, 3, 0, 0.0f, 0},  // 32 faces
    {32, 4, 0, 0.0f, 0},  // 38 faces
    {33, 5, 0, 0.0f, 0},  // 60 faces
    {34, 6, 0, 0.0f, 0},  // 62 faces
    {41, 10, 0, 0.0f, 1},  // balloon
    {42, 11, 0, 0.0f, 1},  // paperlock
    {44, 13, 0, 0.0f, 0},  // spikeball
    {47, 17, 0, 0.0f, 0},  // icomap
    {54, 20, 0, 0.0f, 0},  // dodo
    {55, 21, 0, 0.0f, 0},  // GID
    {64, 24, 5, 0.0f, 1},  // tetra tile
    {70, 25, 2, 3.09272361f, 1},  // rind 1
    {71, 26, 2, 4.19402647f, 1},  // rind 2
    {72, 27, 2, 5.07890844f, 1},  // rind 3
    {86, 29, 0, 0.0f, 1},  // box
    {97, 30, 0, 0.0f, 1},  // 5-star
    {98, 31, 0, 0.0f, 1},  // pentagon
    {100, 34, 0, 0.0f, 1},  // 3-star
    {101, 35, 0, 0.0f, 1},  // triangle
    {102, 36, 0, 0.0f, 1},  // rhombus 1
    {103, 37, 0, 0.0f, 1},  // rhombus 2
    {104, 38, 0, 0.0f, 1},  // 6-star
    {105, 39, 0, 0.0f, 1},  // hexagon
    {106, 40, 0, 0.0f, 1},  // Lee tetrahedric
    {107, 41, 0, 0.0f, 1},  // rectangular tet
    {113, 42, 0, 0.0f, 1},  // pentalene
    {114, 43, 0, 0.0f, 1},  // naphthalene
    {115, 44, 0, 0.0f, 1},  // phenalene
    {116, 45, 0, 0.0f, 1},  // shuriken
    {117, 59, 0, 0.0f, 1},  // cross
    {122, 54, 0, 0.0f, 1},  // Reuleaux 1
    {123, 55, 0, 0.0f, 1},  // Reuleaux 2
    {124, 56, 0, 0.0f, 1},  // Reuleaux 4
    {125, 57, 0, 0.0f, 1},  // Reuleaux 8
    {126, 58, 0, 0.0f, 1},  // Octreleaux
    {127, 48, 0, 0.0f, 1},  // zigzag
    {129, 49, 0, 0.0f, 1},  // monozag
    {137, 60, 0, 0.0f, 1},  // Adams diamonds
    {144, 61, 0, 0.0f, 1},  // pointy
    {145, 63, 0, 0.0f, 1},  // shuriken star
    {150, 62, 0, 0.0f, 1},  // waffle
    {151, 67, 0, 0.0f, 1},  // trident
    {152, 68, 0, 0.0f, 1},  // astercurve 5
    {153, 68, 0, 0.0f, 1},  // astercurve 7
    {154, 68, 0, 0.0f, 1},  // astercurve 8
    {155, 69, 0, 0.0f, 1},  // trizag
    {156, 70, 6, 0.0f, 1},  // shark 3
    {157, 70, 6, 0.0f, 1},  // shark 4
    {158, 71, 6, 0.0f, 1},  // sunburst
    {161, 50, 2, 0.0f, 1},  // Isle of Man
    {162, 72, 6, 0.0f, 1},  // shard
    {163, 71, 6, 0.0f, 1},  // starburst
    {166, 74, 0, 0.0f, 1},  // phenyl cross
    {167, 75, 0, 0.0f, 1},  // anthracene
    {168, 76, 0, 0.0f, 0},  // conformal dodecahedron
    {169, 77, 2, 0.34906587f, 1},  // tattoo 1
    {170, 78, 2, 0.139626339f, 1},  // tattoo 2
    {172, 18, 6, 0.0f, 1},  // horizontal cross
    {173, 79, 6, 0.0f, 1},  // vertical cross
    {174, 80, 0, 0.392699093f, 2},  // thirtysphere
    {175, 84, 2, -0.0392699093f, 1},  // devtet
    {176, 85, 2, 5.40353966f, 1},  // conictet
    {177, 88, 0, deg(54.9f), 2},  // geodesic 4 | 2
    {178, 89, 0, deg(77.4f), 2},  // geodesic 4 | 3
    {179, 90, 0, deg(68.4f), 2},  // geodesic 4 | 4
    {180, 91, 0, deg(102.6f), 2},  // geodesic 4 | 5
    {181, 92, 0, deg(153.0f), 2},  // geodesic 6 | 1
    {182, 93, 0, deg(17.1f), 2},  // geodesic 6 | 2
    {183, 94, 0, deg(77.4f), 2},  // geodesic 6 | 3
    {184, 95, 0, deg(137.7f), 2},  // geodesic 6 | 4
    {185, 96, 0, deg(136.8f), 2},  // geodesic 6 | 5
    {186, 97, 0, deg(104.4f), 2},  // geodesic 8 | 2
    {187, 98, 0, deg(99.9f), 2},  // geodesic 8 | 3
    {188, 99, 0, deg(98.1f), 2},  // geodesic 8 | 4
    {189, 100, 0, deg(96.3f), 2},  // geodesic 8 | 5
    {190, 101, 0, deg(121.5f), 2},  // geodesic 12 | 1
    {191, 102, 0, deg(136.8f), 2},  // geodesic 12 | 2
    {192, 103, 0, deg(135.9f), 2},  // geodesic 12 | 3
    {193, 104, 0, deg(131.4f), 2},  // geodesic 12 | 4
    {194, 105, 0, deg(0.0f), 2},  // geodesic 12 | 5
    {195, 106, 0, deg(89.1f), 2},  // geodesic 20 | 2
    {196, 107, 0, deg(107.1f), 2},  // geodesic 20 | 3
    {197, 108, 0, deg(99.9f), 2},  // geodesic 20 | 4
    {198, 109, 0, deg(115.2f), 2},  // geodesic 20 | 5
    {199, 110, 2, 2.51327419f, 1},  // sphericon 3/0
    {200, 111, 2, 4.71238899f, 1},  // sphericon 3/1
    {201, 112, 2, 5.34070778f, 1},  // sphericon 4/0
    {202, 114, 2, 0.0f, 1},  // sphericon 4/0+
    {203, 144, 2, 1.51843858f, 1},  // sphericon 4/0/H
    {204, 113, 2, 1.57079637f, 1},  // sphericon 4/1
    {205, 115, 2, 1.04719973f, 1},  // sphericon 4/1+
    {206, 116, 2, 0.471238911f, 1},  // sphericon 5/0
    {207, 117, 2, 0.994835615f, 1},  // sphericon 5/1
    {208, 118, 2, 1.73834801f, 1},  // sphericon 5/2
    {209, 119, 2, 0.0f, 1},  // sphericon 6/0
    {210, 121, 2, 4.01758194f, 1},  // sphericon 6/0+
    {211, 145, 2, 1.36135268f, 1},  // sphericon 6/0/H
    {212, 120, 2, 4.71238899f, 1},  // sphericon 6/1
    {213, 122, 2, 1.15191519f, 1},  // sphericon 6/1+
    {214, 146, 2, 1.57079637f, 1},  // sphericon 6/1/H
    {215, 123, 2, 0.452389359f, 1},  // sphericon 7/0
    {216, 124, 2, 1.15191734f, 1},  // sphericon 7/1
    {217, 125, 2, 1.46607661f, 1},  // sphericon 7/2
    {218, 126, 2, 1.78023589f, 1},  // sphericon 7/3
    {219, 127, 2, 3.87463093f, 1},  // sphericon 8/0
    {220, 130, 2, 0.0f, 1},  // sphericon 8/0+
    {221, 147, 2, 4.50294924f, 1},  // sphericon 8/0/H
    {222, 128, 2, 1.57079637f, 1},  // sphericon 8/1
    {223, 131, 2, 1.0995574f, 1},  // sphericon 8/1+
    {224, 148, 2, 4.50294971f, 1},  // sphericon 8/1/H
    {225, 129, 2, 1.57079637f, 1},  // sphericon 8/2
    {226, 132, 2, 0.00586221227f, 1},  // sphericon 8/2+
    {227, 133, 2, 0.552920341f, 1},  // sphericon 9/0
    {228, 134, 2, 1.15191734f, 1},  // sphericon 9/1
    {229, 135, 2, 1.53065383f, 1},  // sphericon 9/2
    {230, 136, 2, 1.57079637f, 1},  // sphericon 9/3
    {231, 137, 2, 4.92182827f, 1},  // sphericon 9/4
    {232, 138, 2, 0.0f, 1},  // sphericon 10/0
    {233, 141, 2, 0.628318548f, 1},  // sphericon 10/0+
    {234, 149, 2, 4.50290775f, 1},  // sphericon 10/0/H
    {235, 139, 2, 1.57079637f, 1},  // sphericon 10/1
    {236, 142, 2, 1.15191519f, 1},  // sphericon 10/1+
    {237, 150, 2, 1.72787607f, 1},  // sphericon 10/1/H
    {238, 140, 2, 1.57079637f, 1},  // sphericon 10/2
    {239, 143, 2, 1.36135268f, 1},  // sphericon 10/2+
    {240, 151, 2, 0.785398185f, 1},  // sphericon 10/2/H
    {241, 152, 2, 0.575954497f, 1},  // sphericon 11/0
    {242, 153, 2, 1.10684597f, 1},  // sphericon 11/1
    {243, 154, 2, 1.51843607f, 1},  // sphericon 11/2
    {244, 155, 2, 1.88495564f, 1},  // sphericon 11/3
    {245, 156, 2, 1.72787607f, 1},  // sphericon 11/4
    {246, 157, 2, 1.78023565f, 1},  // sphericon 11/5
    {247, 158, 6, 0.0f, 1},  // quatretat
    {248, 159, 6, 0.0f, 1},  // twistless rind
    {249, 161, 6, 0.0f, 1},  // curvy cube
    {250, 162, 6, 0.0f, 1},  // baseball
    {253, 160, 6, -2.39982772f, 1},  // daycare
    {254, 163, 6, -2.68780708f, 1},  // short rind
    {256, 170, 2, 0.0f, 1},  // YangTet
    {257, 178, 2, 0.0f, 1},  // YangOct
    {258, 174, 2, 0.0f, 1},  // Tribox
    {259, 188, 2, 0.0f, 1},  // squarebox A
    {260, 189, 2, 0.0f, 1},  // squarebox B
    {261, 192, 2, 0.0f, 1},  // squirclebox A
    {262, 193, 2, 0.0f, 1},  // squirclebox B
    {263, 164, 6, -0.148352996f, 1},  // triskelion fat
    {264, 166, 6, -0.52359879f, 1},  // triskelion meso
    {265, 167, 6, -0.352556527f, 1},  // triskelion skinny
    {266, 168, 6, 0.628318548f, 1},  // triskelion plain
    {267, 169, 6, -1.94429684f, 1},  // triskelion straight
    {268, 216, 6, 0.0f, 1},  // Calliope
    {269, 217, 6, 0.0f, 1},  // Clio
    {270, 218, 6, 0.0f, 1},  // Euterpe
    {271, 219, 6, 0.0f, 1},  // Thalia
    {272, 220, 6, 0.0f, 1},  // Melpomene
    {273, 221, 6, 0.0f, 1},  // Terpsichore
    {274, 222, 6, 0.0f, 1},  // Erato
    {275, 223, 6, 0.0f, 1},  // Polyhymnia
    {276, 224, 6, 0.0f, 1},  // Urania
    {277, 225, 6, 0.0f, 1},  // Aglaia
    {278, 226, 6, 0.0f, 1},  // Euphrosyne
    {279, 227, 6, 0.0f, 1},  // Naiaid
    {280, 228, 6, 0.0f, 1},  // Thalassa
    {281, 229, 6, 0.0f, 1},  // Despina
    {282, 230, 6, 0.0f, 1},  // Galatea
    {283, 231, 6, 0.0f, 1},  // Larissa
    {284, 232, 6, 0.0f, 1},  // Proteus
    {285, 233, 6, 0.0f, 1},  // Triton
    {286, 234, 6, 0.0f, 1},  // Nereid
    {287, 235, 6, 0.0f, 1},  // Halimede
    {289, 180, 2, 0.0f, 1},  // YangCube
    {290, 184, 2, 0.0f, 1},  // YangDodecahedron
    {291, 186, 2, 0.0f, 1},  // YangIcosahedron
    {292, 81, 1, 0.0f, 1},  // rhombic hexecontahedron A
    {293, 82, 1, 0.0f, 1},  // rhombic hexecontahedron B
    {294, 176, 2, 0.0f, 1},  // pentbox
    {295, 182, 2, 0.0f, 1},  // squirclecube
    {296, 172, 2, 0.0f, 1},  // YangTet wide
    {302, 66, 0, 0.0f, 1},  // trisplat
    {303, 66, 0, 0.0f, 1},  // pentasplat
    {304, 270, 6, 0.0f, 1},  // curlicue 1
    {305, 271, 6, 0.0f, 1},  // curlicue 2
    {306, 272, 6, 0.0f, 1},  // curlicue 3
    {307, 273, 6, 0.0f, 1},  // curlicue 4
    {308, 274, 6, 0.0f, 1},  // curlicue 5
    {309, 275, 6, 0.0f, 1},  // curlicue 6
    {310, 276, 6, 0.0f, 1},  // curlicue 7
    {311, 277, 6, 0.0f, 1},  // curlicue 8
    {312, 278, 6, 0.0f, 1},  // curlicue 9
    {313, 279, 6, 0.0f, 1},  // curlicue 10
    {314, 280, 6, 0.0f, 1},  // curlicue 11
    {315, 281, 6, 0.0f, 1},  // curlicue 12
    {316, 282, 6, 0.0f, 1},  // curlicue 13
    {317, 283, 6, 0.0f, 1},  // curlicue 14
    {318, 284, 6, 0.0f, 1},  // curlicue 15
    {319, 285, 6, 0.0f, 1},  // curlicue 16
    {320, 286, 6, 0.0f, 1},  // curlicue 17
    {321, 287, 6, 0.0f, 1},  // curlicue 18
    {322, 288, 6, 0.0f, 1},  // curlicue 19
    {323, 289, 6, 0.0f, 1},  // curlicue 20
    {324, 290, 6, 0.0f, 1},  // curlicue 21
    {325, 291, 6, 0.0f, 1},  // curlicue 22
    {326, 292, 6, 0.0f, 1},  // curlicue 23
    {327, 293, 6, 0.0f, 1},  // curlicue 24
    {328, 294, 6, 0.0f, 1},  // curlicue 25
    {329, 295, 6, 0.0f, 1},  // curlicue 26
    {330, 296, 6, 0.0f, 1},  // curlicue 27
    {331, 297, 6, 0.0f, 1},  // curlicue 28
    {332, 298, 6, 0.0f, 1},  // curlicue 29
    {333, 299, 6, 0.0f, 1},  // curlicue 30
    {334, 300, 6, 0.0f, 1},  // curlicue 31
    {335, 301, 6, 0.0f, 1},  // curlicue 32
    {336, 302, 6, 0.0f, 1},  // curlicue 33
    {351, 64, 0, 0.0f, 1},  // cross 3
    {352, 64, 0, 0.0f, 1},  // cross 5
    {368, 41, 0, 0.0f, 1},  // triangle tile
    {370, 34, 0, 0.0f, 1},  // hexagon tile
    {371, 40, 0, 0.0f, 1},  // hyperbolic 3,9 disc
    {372, 40, 0, 0.0f, 1},  // hyperbolic 3,9 square
    {373, 40, 0, 0.0f, 1},  // hyperbolic 3,9 pentagon
    {374, 40, 0, 0.0f, 1},  // hyperbolic 3,9 band
    {379, 33, 0, 0.0f, 1},  // hyperbolic 5,4 disc
    {380, 33, 0, 0.0f, 1},  // hyperbolic 5,4 square
    {381, 33, 0, 0.0f, 1},  // hyperbolic 5,4 pentagon
    {382, 33, 0, 0.0f, 1},  // hyperbolic 5,4 band
    {385, 32, 0, 0.0f, 1},  // 3 pentagons
    {386, 32, 0, 0.0f, 1},  // 4 pentagons
    {387, 32, 0, 0.0f, 1},  // 5 pentagons
    {392, 165, 6, -0.148352996f, 1},  // pentaskelion
    {393, 303, 6, 0.0f, 1},  // triad
    {402, 73, 0, 0.0f, 0},  // conformal octahedron
    {403, 304, 1, 0.0f, 1},  // boxball
    {404, 305, 1, 0.0f, 1},  // spangle
    {405, 307, 1, 0.0f, 1},  // sawtooth
    {406, 308, 1, 0.0f, 1},  // cinquefoil
    {407, 309, 1, 0.0f, 1},  // rhombicosacron
    {408, 310, 1, 0.0f, 1},  // Waterman
    {411, 67, 0, 0.0f, 1},  // quilt 3
    {412, 67, 0, 0.0f, 1},  // quilt 4
    {413, 67, 0, 0.0f, 1},  // quilt 5
    {800, 65, 0, 0.0f, 1},  // splattest
};

constexpr bool rowsSortedAndUnique() {
    for (std::size_t i = 1; i < std::size(kPolySpecRows); ++i) {
        if (kPolySpecRows[i - 1].id >= kPolySpecRows[i].id) return false;
    }
    return true;
}
static_assert(rowsSortedAndUnique(), "the projection-to-model table is sorted by id");

struct KindRange {
    PolyKind first;
    PolyKind last;
    PolyShapeClass shapeClass;
};

// Every kind a model can hold, by contiguous ranges. Kinds not listed
// (14, 15, 46, 47 and beyond 310) are unknown.
constexpr KindRange kKindRanges[] = {
    {0, 13, PolyShapeClass::kFixedSolid},
    {16, 24, PolyShapeClass::kFixedSolid},
    {25, 27, PolyShapeClass::kGenerated},      // rinds
    {28, 45, PolyShapeClass::kFixedSolid},
    {48, 49, PolyShapeClass::kFixedSolid},
    {50, 52, PolyShapeClass::kGenerated},
    {53, 76, PolyShapeClass::kFixedSolid},
    {77, 78, PolyShapeClass::kGenerated},      // tattoos
    {79, 79, PolyShapeClass::kFixedSolid},     // vertical cross
    {80, 86, PolyShapeClass::kGenerated},      // thirtysphere, hexecontahedra, devtet, conictet ...
    {87, 87, PolyShapeClass::kFixedSolid},
    {88, 109, PolyShapeClass::kGeodesic},
    {110, 158, PolyShapeClass::kSphericon},
    {159, 169, PolyShapeClass::kVoronoi},
    {170, 195, PolyShapeClass::kCurvedOrigami},
    {196, 215, PolyShapeClass::kCurveBase},
    {216, 235, PolyShapeClass::kStripNet},     // built from 196..215
    {236, 269, PolyShapeClass::kCurveBase},
    {270, 302, PolyShapeClass::kStripNet},     // built from 236..268
    {303, 303, PolyShapeClass::kVoronoi},      // built from 269
    {304, 310, PolyShapeClass::kGenerated},    // late families
};

}  // namespace

PolySpec polySpecFor(ProjectionId id) noexcept {
    const auto* end = std::end(kPolySpecRows);
    const auto* row = std::lower_bound(std::begin(kPolySpecRows), end, id,
                                       [](const PolySpecRow& r, ProjectionId v) { return r.id < v; });
    if (row == end || row->id != id) return PolySpec{};
    return PolySpec{row->kind, row->mode, 0u, row->angle, row->source};
}

bool isPolyhedral(ProjectionId id) noexcept { return polySpecFor(id).kind != kNoPolyKind; }

PolyShapeClass polyShapeClassOf(PolyKind kind) noexcept {
    for (const KindRange& r : kKindRanges) {
        if (kind >= r.first && kind <= r.last) return r.shapeClass;
    }
    return PolyShapeClass::kNone;
}

bool isGeneratedPolyKind(PolyKind kind) noexcept {
    const PolyShapeClass c = polyShapeClassOf(kind);
    return c != PolyShapeClass::kNone && c != PolyShapeClass::kFixedSolid;
}

}  // namespace globaro
