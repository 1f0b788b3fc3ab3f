#include "polyhedra/generators.h"

#include <iterator>

#include "polyhedra/curve_strips.h"
#include "polyhedra/geodesic.h"
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

// In kind order.
constexpr GeneratorRow kGeneratorRows[] = {
    {.first = 88, .last = 109, .build = &buildGeodesic},
    {.first = 110, .last = 157, .build = &buildSphericon},
    {.first = 216, .last = 235, .build = &buildCurveStrips, .shareTolerance = 1e-6, .standardOrientation = true},
    {.first = 270, .last = 302, .build = &buildCurveStrips, .shareTolerance = 1e-6, .standardOrientation = true},
};

}  // namespace

const GeneratorRow* generatorFor(PolyKind kind) noexcept {
    for (const GeneratorRow& row : kGeneratorRows)
        if (kind >= row.first && kind <= row.last) return &row;
    return nullptr;
}

}  // namespace globaro
