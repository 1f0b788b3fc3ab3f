#include "polyhedra/generators.h"

#include <iterator>

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

// In kind order.
constexpr GeneratorRow kGeneratorRows[] = {
    {.first = 88, .last = 109, .build = &buildGeodesic},
    {.first = 110, .last = 157, .build = &buildSphericon},
};

}  // namespace

const GeneratorRow* generatorFor(PolyKind kind) noexcept {
    for (const GeneratorRow& row : kGeneratorRows)
        if (kind >= row.first && kind <= row.last) return &row;
    return nullptr;
}

}  // namespace globaro
