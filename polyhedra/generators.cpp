#include "polyhedra/generators.h"

#include <iterator>

#include "polyhedra/curved_origami.h"
#include "polyhedra/geodesic.h"
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

SolidMesh buildCurvedBox(const GeneratorCall& c) {
    CurvedBoxShape shape;
    if (!curvedBoxShape(c.kind, shape)) return {};
    return generateCurvedBox(shape);
}

SolidMesh buildTattoo(const GeneratorCall& c) { return generateTattoo(c.kind); }
SolidMesh buildThirtysphere(const GeneratorCall&) { return generateThirtysphere(); }
SolidMesh buildConeTetrahedron(const GeneratorCall& c) { return generateConeTetrahedron(c.kind); }

// In kind order.
constexpr GeneratorRow kGeneratorRows[] = {
    {.first = 77, .last = 78, .build = &buildTattoo},
    {.first = 80, .last = 80, .build = &buildThirtysphere},
    {.first = 84, .last = 85, .build = &buildConeTetrahedron},
    {.first = 88, .last = 109, .build = &buildGeodesic},
    {.first = 110, .last = 157, .build = &buildSphericon},
    {.first = 170,
     .last = 193,
     .build = &buildCurvedBox,
     .shareTolerance = 1e-7,
     .groupPieces = &curvedBoxGroupPieces,
     .rowAspect = 2.0},
};

}  // namespace

const GeneratorRow* generatorFor(PolyKind kind) noexcept {
    for (const GeneratorRow& row : kGeneratorRows)
        if (kind >= row.first && kind <= row.last) return &row;
    return nullptr;
}

}  // namespace globaro
