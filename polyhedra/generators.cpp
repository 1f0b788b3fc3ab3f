#include "polyhedra/generators.h"

#include <iterator>

#include "polyhedra/geodesic.h"
#include "polyhedra/late_solids.h"
#include "polyhedra/sphericons.h"

namespace globaro {
namespace {

SolidMesh buildGeodesic(const GeneratorCall& c) { return generateGeodesic(c.target, c.kind, c.allocator); }

SolidMesh buildSphericon(const GeneratorCall& c) {
    SphericonShape shape;
    if (!sphericonShape(c.kind, shape)) return {};
    return generateSphericon(shape);
}

SolidMesh buildStars(const GeneratorCall&) { return generateRhombicHexecontahedron(HexecontahedronPieces::kStars); }
SolidMesh buildCaps(const GeneratorCall&) { return generateRhombicHexecontahedron(HexecontahedronPieces::kCaps); }
SolidMesh buildCubeCompound(const GeneratorCall&) { return generateCubeCompound(); }
SolidMesh buildTriambic(const GeneratorCall&) { return generateSmallTriambicIcosahedron(); }
SolidMesh buildWaterman(const GeneratorCall&) { return generateWatermanButterfly(); }

// In kind order.
constexpr GeneratorRow kGeneratorRows[] = {
    {.first = 81, .last = 81, .build = &buildStars, .piecesPerRow = 6, .turnPiecesUp = true},
    {.first = 82, .last = 82, .build = &buildCaps, .piecesPerRow = 7, .turnPiecesUp = true},
    {.first = 88, .last = 109, .build = &buildGeodesic},
    {.first = 110, .last = 157, .build = &buildSphericon},
    {.first = 304, .last = 304, .build = &buildCubeCompound, .shareTolerance = 1e-6, .turnPiecesUp = true},
    {.first = 305, .last = 305, .build = &buildTriambic, .turnPiecesUp = true},
    {.first = 310, .last = 310, .build = &buildWaterman, .turnPiecesUp = true},
};

}  // namespace

const GeneratorRow* generatorFor(PolyKind kind) noexcept {
    for (const GeneratorRow& row : kGeneratorRows)
        if (kind >= row.first && kind <= row.last) return &row;
    return nullptr;
}

}  // namespace globaro
