#pragma once
// The late generated solids: the rhombic hexecontahedron, the compound of four
// cubes, the small triambic icosahedron, the duals of two uniform star
// polyhedra and the Waterman butterfly. Each is
// built around the centre with circumradius 1, its faces clockwise seen from
// outside. The non-convex ones are given by their outer surface (what is seen
// from outside), which is star-shaped about the centre, so that central
// projection carries the sphere onto each of them exactly once.

#include <vector>

#include "polyhedra/solid_mesh.h"

namespace globaro {

// How the rhombic hexecontahedron's net is cut into pieces.
enum class HexecontahedronPieces : std::uint8_t {
    kStars,  // twelve five-pointed stars, the rhombi round each five-fold vertex
    kCaps,   // twenty three-rhombus caps, one round each three-fold tip
};

// Twenty acute golden rhombohedra, each spanned by the unit vectors to the
// corners of one icosahedron face, meet at the centre; their sixty outer
// faces are the golden rhombi of the rhombic hexecontahedron. Faces carry
// their piece (1..12 or 1..20) as colour group.
SolidMesh generateRhombicHexecontahedron(HexecontahedronPieces pieces);

// The outer surface of the compound of four cubes (Bakos' compound): a cube
// turned by 60° about each of the four three-fold axes; corners (±3, ±3, ±3)
// and the permutations of (±5, ±1, ±1) on the scale where a cube's edge is 6.
SolidMesh generateCubeCompound();

// The outer surface of the small triambic icosahedron (the icosahedron's
// first stellation): a low three-sided pyramid on each icosahedron face,
// each pyramid side lying in the plane of the face across that edge.
SolidMesh generateSmallTriambicIcosahedron();

// The Waterman polyhedron W5 (the hull of the face-centred cubic lattice
// points within √10 of a lattice point: a truncated octahedron with squares
// at the poles and on the equator) cut for Waterman's butterfly: the four
// northern octants joined round the north pole's square and cut apart along
// the meridian behind, each southern octant hanging below its northern one,
// the equator's squares halved along their meridian and the south pole's
// square quartered, each part staying with its octant. Edge flags keep
// every other edge cut, so the net is this one tree.
SolidMesh generateWatermanButterfly();

// The outer surface of the medial hexagonal hexecontahedron, the dual of the
// snub icosidodecadodecahedron: sixty non-convex hexagons, one in the plane
// at each corner of the snub, what of them shows from outside. The net keeps
// the cap round each of the twelve five-fold axes whole.
SolidMesh generateMedialHexagonalHexecontahedron();

// The outer surface of the rhombicosacron, the dual of the rhombicosahedron:
// sixty crossed quadrilaterals, what of them shows from outside. The net
// keeps the cap round each of the twenty three-fold axes whole.
SolidMesh generateRhombicosacron();

// The layered stellation of an icosahedral solid whose faces lie in the
// planes n·x = 1, n the images of `normal` under the sixty turns: the core,
// then step by step every bounded cell of the arrangement of those planes
// that rests on the solid so far (all its sides facing the centre lie on
// cells already taken), `layers` steps. Such a solid is star-shaped about
// the centre, and a cell's step is the number of planes that part it from
// the centre (every side of a cell facing the centre leads one plane in). The icosahedron's planes give the small
// triambic icosahedron at one step, the great icosahedron at six and the complete stellation at seven, the last. Empty
// when `layers` is past the last step.
SolidMesh generateLayeredStellation(const Vec3d& normal, int layers);

// The number of cells each step adds, the core first.
std::vector<int> stellationLayerSizes(const Vec3d& normal);

// The sawtooth: the rhombic triacontahedron's layered stellation of five
// layers, the 15th in Messer's list of the fully supported stellations
// (GHI, the cells of the first five layers): 360 triangles.
SolidMesh generateSawtooth();

// The outer surface of a union of convex solids that all contain the centre:
// every face of every solid less the interiors of the others, cut into convex
// flat pieces, coplanar neighbours merged while they stay convex, every
// corner shared by the pieces along it. Faces anticlockwise from outside.
SolidMesh outerSurfaceOfUnion(const std::vector<SolidMesh>& solids);

}  // namespace globaro
