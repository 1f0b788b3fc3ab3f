#pragma once
// The generated kinds of the polyhedron model: one row per family, naming
// the kinds it builds, its generator and how close two net corners must lie
// to be shared. The model's set-up looks a kind up here; a kind without a
// row builds no faces. Adding a family is one generator and one row.

#include "polyhedra/net_unfold.h"
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
    double shareTolerance = 0.002;              // net vertices closer than this are shared
    PieceStance stance = PieceStance::kAsLaid;  // how each piece stands before the row is lined up
    // The family's own variant (build modes 2 and 6) is a net to cut out and
    // glue: it gets the adjacency and the glue tabs of a normal net.
    bool gluedVariant = false;
    // The family's group table (two allowed pieces per colour group), or
    // nullptr: a grouped face then goes only in the piece of its number.
    const GroupPieces& (*groupPieces)() noexcept = nullptr;
    // Above 0: the pieces are wrapped into rows to fill a frame of this
    // aspect (width over height); 0 keeps them in one row.
    double rowAspect = 0.0;
    int piecesPerRow = 0;  // the net's pieces in rows of this many; 0 for one row (or by rowAspect)
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
