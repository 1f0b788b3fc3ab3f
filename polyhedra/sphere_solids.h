#pragma once
// Round solids built over the sphere, circumradius 1 about the centre:
//
// "devtet" (kind 84) and "conictet" (kind 85), four cone pieces in the
// tetrahedron's symmetry. The sphere is split into the four regions nearest
// the corners T of a regular tetrahedron: spherical triangles whose corners
// are the opposite directions −T of the other three corners and whose sides
// lie on the great circles halfway between two corners. Each region carries
// one cone with its apex at its corner T, faceted into flat triangles from
// the apex to points of the region's outline; two cones meet along a curved
// crease over the region's sides. "devtet" puts the crease on the sphere
// (the great-circle arcs themselves); "conictet" makes each piece a right
// circular cone about its corner's axis (half-angle 50°), so that two
// neighbouring cones meet in the plane halfway between their apexes, along
// a conic. A cone unrolls to a flat fan, so both are developable.
//
// "thirtysphere" (kind 80): the rhombic triacontahedron's thirty rhombi
// carried onto the sphere, each cut by a 3 × 3 grid whose points are pushed
// out to the sphere, every grid cell split into two flat triangles along its
// shorter diagonal: a polyhedron close to the sphere that keeps the thirty
// rhombi in view.
//
// "tattoo 1" and "tattoo 2" (kinds 77 and 78): the sphere peeled like an
// apple into one band that winds from the south pole to the north pole in
// 4 or 8 turns. Its vertices lie on the sphere along a spiral that turns at
// a steady rate in longitude while the sine of its latitude climbs evenly
// from −1 to 1 (every turn encloses the same area); each vertex is joined to the next one and to the two one turn
// above it, so the band is a chain of small flat triangles, closed at the
// poles by two fans. The band is never unfolded across its spiral sides, so
// the net is the band unrolled: a curling ribbon, cut where it would run
// over itself. The model interpolates these facets in longitude and
// latitude.

#include "polyhedra/poly_spec.h"
#include "polyhedra/solid_mesh.h"

namespace globaro {

// Kinds 84 and 85; empty for other kinds. Faces turn clockwise seen from
// outside; the cone at corner k is colour group k + 1, one net piece each.
SolidMesh generateConeTetrahedron(PolyKind kind);

// Kind 80, faces clockwise seen from outside, no groups.
SolidMesh generateThirtysphere();

// Kinds 77 and 78; empty for other kinds. Faces clockwise seen from outside.
SolidMesh generateTattoo(PolyKind kind);

}  // namespace globaro
