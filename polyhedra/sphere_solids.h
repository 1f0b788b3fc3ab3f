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

#include "polyhedra/poly_spec.h"
#include "polyhedra/solid_mesh.h"

namespace globaro {

// Kinds 84 and 85; empty for other kinds. Faces turn clockwise seen from
// outside; the cone at corner k is colour group k + 1, one net piece each.
SolidMesh generateConeTetrahedron(PolyKind kind);

// Kind 80, faces clockwise seen from outside, no groups.
SolidMesh generateThirtysphere();

}  // namespace globaro
