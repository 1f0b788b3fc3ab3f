#pragma once
// The sphericons (kinds 110 to 157): a regular n-gon turned about an axis in
// its plane gives a solid of revolution of cones, cylinders and flat discs;
// the solid is cut in two along the n-gon's plane and one half is turned
// against the other about the plane's normal, so that the cut faces still
// match. Each cone piece is faceted into flat strips; the sphere is carried
// onto the solid by central projection from its centre.
//
// Names: "n/k" turns the axis through a corner (for odd n through a corner
// and the opposite side's midpoint) and the halves by k steps of 360°/n;
// "n/k+" (even n) turns the axis through the midpoints of two opposite sides;
// "n/k/H" (even n) joins one half of each, turned by k + ½ steps.

#include "polyhedra/net_unfold.h"
#include "polyhedra/poly_spec.h"
#include "polyhedra/solid_mesh.h"

namespace globaro {

enum class SphericonAxis : std::uint8_t {
    kCorners,  // "n/k": the axis through a corner
    kSides,    // "n/k+": the axis through the midpoints of two sides
    kHybrid,   // "n/k/H": one half of each, turned by half a step more
};

struct SphericonShape {
    int sides = 0;  // n
    int turn = 0;   // k
    SphericonAxis axis = SphericonAxis::kCorners;
};

// The shape of a sphericon kind; false for other kinds.
bool sphericonShape(PolyKind kind, SphericonShape& shape) noexcept;

// The faceted solid, circumradius 1, the n-gon in the plane z = 0 and the
// first half's axis along y. Faces turn clockwise seen from outside; edges
// between different cone pieces of one half forbid unfolding, so that the
// net keeps every cone piece whole and joins them along the straight cut.
SolidMesh generateSphericon(const SphericonShape& shape);

}  // namespace globaro
