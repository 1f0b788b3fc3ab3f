#include "polyhedra/generators.h"

#include <cmath>
#include <iterator>
#include <numbers>

#include "polyhedra/curve_strips.h"
#include "polyhedra/curved_origami.h"
#include "polyhedra/geodesic.h"
#include "polyhedra/late_solids.h"
#include "polyhedra/peels.h"
#include "polyhedra/sphere_solids.h"
#include "polyhedra/sphericons.h"

namespace globaro {
namespace {

SolidMesh buildGeodesic(const GeneratorCall& c) { return generateGeodesic(c.target, c.kind, c.allocator); }

SolidMesh buildSphericon(const GeneratorCall& c) {
    SphericonShape shape;
    if (!sphericonShape(c.kind, shape)) return {};
    return generateSphericon(shape);
}

SolidMesh buildCurveStrips(const GeneratorCall& c) {
    StripCurve curve;
    if (!stripCurveOf(c.kind, curve)) return {};
    return generateCurveStrips(curve);
}

SolidMesh buildRind(const GeneratorCall& c) {
    RindShape shape;
    if (!rindShape(c.kind, shape)) return {};
    return generateRind(shape);
}

SolidMesh buildSkelion(const GeneratorCall& c) {
    SkelionShape shape;
    if (!skelionShape(c.kind, shape)) return {};
    return generateSkelion(shape);
}

SolidMesh buildCover(const GeneratorCall& c) {
    CoverShape shape;
    if (!coverShape(c.kind, shape)) return {};
    return generateCover(shape);
}

SolidMesh buildCurvedBox(const GeneratorCall& c) {
    CurvedBoxShape shape;
    if (!curvedBoxShape(c.kind, shape)) return {};
    return generateCurvedBox(shape);
}

SolidMesh buildTattoo(const GeneratorCall& c) { return generateTattoo(c.kind); }
SolidMesh buildThirtysphere(const GeneratorCall&) { return generateThirtysphere(); }
SolidMesh buildConeTetrahedron(const GeneratorCall& c) { return generateConeTetrahedron(c.kind); }

SolidMesh buildStars(const GeneratorCall&) { return generateRhombicHexecontahedron(HexecontahedronPieces::kStars); }
SolidMesh buildCaps(const GeneratorCall&) { return generateRhombicHexecontahedron(HexecontahedronPieces::kCaps); }
SolidMesh buildCubeCompound(const GeneratorCall&) { return generateCubeCompound(); }
SolidMesh buildTriambic(const GeneratorCall&) { return generateSmallTriambicIcosahedron(); }
SolidMesh buildWaterman(const GeneratorCall&) { return generateWatermanButterfly(); }
SolidMesh buildCinquefoil(const GeneratorCall&) { return generateMedialHexagonalHexecontahedron(); }
SolidMesh buildRhombicosacron(const GeneratorCall&) { return generateRhombicosacron(); }
SolidMesh buildSawtooth(const GeneratorCall&) { return generateSawtooth(); }

// The star polygon of the splat family. Its corner angles alone fix its
// shape: from an inner corner, the tip's half-angle a and the half-turn π/n
// between tip and inner corner give the inner radius sin a / sin(a + π/n).
SolidMesh buildSplat(const GeneratorCall&) {
    SolidMesh mesh;
    constexpr double kStep = std::numbers::pi / kSplatPoints;
    const double a = kSplatTipAngle * std::numbers::pi / 2.0;
    const double inner = std::sin(a) / std::sin(a + kStep);
    const int centre = mesh.addVertex({0.0, 0.0, 0.0}, 1e-9);
    int ring[2 * kSplatPoints];
    for (int i = 0; i < 2 * kSplatPoints; ++i) {
        const double r = i % 2 == 0 ? 1.0 : inner;
        ring[i] = mesh.addVertex({r * std::cos(i * kStep), r * std::sin(i * kStep), 0.0}, 1e-9);
    }
    for (int i = 0; i < 2 * kSplatPoints; ++i) {
        const int corners[3] = {centre, ring[i], ring[(i + 1) % (2 * kSplatPoints)]};
        mesh.addFace(corners, 3);
    }
    return mesh;
}

// In kind order.
constexpr GeneratorRow kGeneratorRows[] = {
    {.first = 25, .last = 27, .build = &buildRind, .shareTolerance = 1e-6, .gluedVariant = true},
    {.first = 50, .last = 50, .build = &buildSkelion, .gluedVariant = true},
    {.first = 65, .last = 65, .build = &buildSplat, .specialMapping = true},
    {.first = 77, .last = 78, .build = &buildTattoo, .gluedVariant = true},
    {.first = 80, .last = 80, .build = &buildThirtysphere, .gluedVariant = true},
    {.first = 81, .last = 81, .build = &buildStars, .stance = PieceStance::kAcross, .piecesPerRow = 6},
    {.first = 82, .last = 82, .build = &buildCaps, .stance = PieceStance::kAcross, .piecesPerRow = 7},
    {.first = 84, .last = 85, .build = &buildConeTetrahedron, .gluedVariant = true},
    {.first = 88, .last = 109, .build = &buildGeodesic},
    {.first = 110, .last = 157, .build = &buildSphericon, .gluedVariant = true},
    {.first = 158, .last = 158, .build = &buildCover, .shareTolerance = 1e-6, .gluedVariant = true},
    {.first = 159, .last = 160, .build = &buildRind, .shareTolerance = 1e-6, .gluedVariant = true},
    {.first = 161, .last = 162, .build = &buildCover, .shareTolerance = 1e-6, .gluedVariant = true},
    {.first = 163, .last = 163, .build = &buildRind, .shareTolerance = 1e-6, .gluedVariant = true},
    {.first = 164, .last = 169, .build = &buildSkelion, .shareTolerance = 1e-6, .gluedVariant = true},
    {.first = 170,
     .last = 193,
     .build = &buildCurvedBox,
     .shareTolerance = 1e-7,
     .gluedVariant = true,
     .groupPieces = &curvedBoxGroupPieces,
     .rowAspect = 2.0},
    {.first = 216,
     .last = 235,
     .build = &buildCurveStrips,
     .shareTolerance = 1e-6,
     .stance = PieceStance::kUpright,
     .gluedVariant = true},
    {.first = 270,
     .last = 302,
     .build = &buildCurveStrips,
     .shareTolerance = 1e-6,
     .stance = PieceStance::kUpright,
     .gluedVariant = true},
    {.first = 303, .last = 303, .build = &buildSkelion, .shareTolerance = 1e-6, .gluedVariant = true},
    {.first = 304, .last = 304, .build = &buildCubeCompound, .shareTolerance = 1e-6, .stance = PieceStance::kAcross},
    {.first = 305, .last = 305, .build = &buildTriambic, .stance = PieceStance::kAcross},
    {.first = 307,
     .last = 307,
     .build = &buildSawtooth,
     .shareTolerance = 1e-6,
     .stance = PieceStance::kAcross,
     .piecesPerRow = 6},
    {.first = 308,
     .last = 308,
     .build = &buildCinquefoil,
     .shareTolerance = 1e-6,
     .stance = PieceStance::kAcross,
     .piecesPerRow = 6},
    {.first = 309,
     .last = 309,
     .build = &buildRhombicosacron,
     .shareTolerance = 1e-6,
     .stance = PieceStance::kAcross,
     .piecesPerRow = 7},
    {.first = 310, .last = 310, .build = &buildWaterman, .stance = PieceStance::kAcross},
};

}  // namespace

const GeneratorRow* generatorFor(PolyKind kind) noexcept {
    for (const GeneratorRow& row : kGeneratorRows)
        if (kind >= row.first && kind <= row.last) return &row;
    return nullptr;
}

}  // namespace globaro
