#include "polyhedra/generators.h"

#include <cmath>
#include <iterator>
#include <numbers>

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
    {.first = 65, .last = 65, .build = &buildSplat, .specialMapping = true},
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
