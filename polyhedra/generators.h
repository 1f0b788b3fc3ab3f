#pragma once
// The generated kinds of the polyhedron model: one row per family, naming
// the kinds it builds, its generator and how close two net corners must lie
// to be shared. The model's set-up looks a kind up here; a kind without a
// row builds no faces. Adding a family is one generator and one row.

#include "polyhedra/poly_model.h"
#include "polyhedra/solid_mesh.h"

namespace globaro {

// What a generator is given: the kind to build, the model it is built for
// (frame height and tab size, for generators that build a base solid first)
// and the allocator of that model.
struct GeneratorCall {
    PolyKind kind;
    const PolyModel& target;
    const PolyAllocator& allocator;
};

struct GeneratorRow {
    PolyKind first, last;  // the kinds built, inclusive
    SolidMesh (*build)(const GeneratorCall&);
    double shareTolerance = 0.002;  // net vertices closer than this are shared
    // The family carries a located point to the sphere by its own formula
    // (the output side applies it to the blended solid point), not by
    // pushing the solid point out from the centre.
    bool specialMapping = false;
};

// The splat family's flat star: `kSplatPoints` tips of interior angle
// `kSplatTipAngle`·π at radius 1 around the origin of the plane z = 0, the
// inner corners at the radius the angles fix; two triangles per tip, from
// the centre to the tip and to each neighbouring inner corner.
inline constexpr int kSplatPoints = 11;
inline constexpr double kSplatTipAngle = 0.3;

// The row that builds `kind`, or nullptr.
const GeneratorRow* generatorFor(PolyKind kind) noexcept;

}  // namespace globaro
