#pragma once
// The curved-origami boxes (kinds 170 to 193): every face of a base solid (a
// platonic solid or a prism, circumradius 1 about the centre) rises as a
// vault: one piece of the net, folded along curved creases.
//
// A face with centre c and outward normal N keeps its straight sides, so
// neighbouring pieces glue along the base solid's edges. The face is cut into
// one sector per side, the triangle of the side and c. Over sector i the
// piece is a vault: a cylinder whose rulings run parallel to the side, its
// height above the face plane H·f(λ), where λ is the point's distance from
// the side over the distance of c from it (0 on the side, 1 at c). Two
// sectors agree in λ along the line from their shared corner to c, so the
// vaults meet there in a crease that rises from the corner to the apex
// c + H·N along the curve H·f(λ): a planar curve, curved wherever f is.
//
// λ is one minus the face's gauge about c, a concave function; with f
// concave and increasing the piece is a convex dome, so every crease point
// and the apex have less than a full turn of sheet around them and the piece
// unrolls in one part, opened by darts along the creases. Along a ray from
// the solid's centre λ falls while the ray rises, so the ray meets the dome
// once: the solid is star-shaped about its centre, and as each vault stands
// over its own face, inside the face's cone from the centre, neighbouring
// pieces never cross. H sets the slope at the sides: at the steepest side,
// the fraction `rise` of tan ε, ε being the angle between the face and the
// plane through that side and the centre. The pieces meet along the base
// edges in a ridge where the faces are steep to each other (tetrahedron,
// cube, prisms) and in a valley where they are nearly flat (octahedron,
// dodecahedron, icosahedron, the pentbox's sides): puffed faces with sunken
// seams.
//
// Each cylinder is faceted into planar trapezoids between the level lines
// λ = j/m (parallel segments), so the facets unroll exactly.

#include "polyhedra/net_unfold.h"
#include "polyhedra/poly_spec.h"
#include "polyhedra/solid_mesh.h"

namespace globaro {

// The vault's height profile f(λ), f(0) = 0 on the sides, f(1) = 1 at the
// apex.
enum class VaultProfile : std::uint8_t {
    kRound,     // f = 1 − (1 − λ)²: a round vault
    kSquircle,  // f = 1 − (1 − λ)⁴: flat-topped with rounded shoulders, a squircle in section
};

enum class BoxBase : std::uint8_t { kTetrahedron, kOctahedron, kCube, kDodecahedron, kIcosahedron, kPrism };

struct CurvedBoxShape {
    BoxBase base = BoxBase::kCube;
    int prismSides = 0;        // for kPrism: sides of the end polygons
    double prismHeight = 0.0;  // for kPrism: height over the side of the end polygon
    double rise = 0.6;         // slope at the steepest side as a fraction of tan ε
    VaultProfile profile = VaultProfile::kRound;
};

// The shape of a curved-origami kind; false for other kinds.
bool curvedBoxShape(PolyKind kind, CurvedBoxShape& shape) noexcept;

// The solid, faces turning clockwise seen from outside; the pieces of base
// face k carry colour group k + 1.
SolidMesh generateCurvedBox(const CurvedBoxShape& shape);

// The group table of the curved-origami kinds: the two pieces a colour group
// may be placed in (group g in piece g, or in piece g + 1 beside its
// neighbour when its own piece cannot hold all of it).
const GroupPieces& curvedBoxGroupPieces() noexcept;

}  // namespace globaro
