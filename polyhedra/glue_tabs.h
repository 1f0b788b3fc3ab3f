#pragma once
// Glue tabs and the fold-line sides of an unfolded net.
//
// Tab shape: a trapezoid on the outer side of a marked boundary edge P-Q,
// as high as `tabSize` times the edge's length, whose two ends are drawn in
// towards the edge. At each end the slant is 45 degrees, or half the free
// angle between this edge and the next boundary edge meeting it there when
// that is narrower, so that two tabs on neighbouring edges never overlap;
// where the slants meet before the full height the tab becomes a triangle.
// Tabs are mark triangles of the model (two per tab, one where it comes to a
// point), tagged with the face whose edge carries them; the lookup prefers
// faces to marks, so a tab never covers a face.

#include <cstdint>

#include "polyhedra/poly_model.h"

namespace globaro {

// Adds the tab of every boundary edge whose `tabMark` is set. Nothing when
// `tabSize` is 0. Call after the face triangles exist and before the fit.
void addGlueTabs(PolyModel& model) noexcept;

// Sides the faces of the net into two classes so that faces folded against
// each other in the net lie on different sides (`PolyFace::foldSide`, +1 or
// -1): the second line function changes sign across every fold.
void assignFoldSides(PolyModel& model) noexcept;

// The second line function of a face hit: the distance (net units) from the
// point to the nearest side of its face, signed by the face's fold side.
// 1.0 (the value of a cell outside every face) when the hit is not on a face.
float netEdgeLineValue(const PolyModel& model, const NetHit& hit) noexcept;

}  // namespace globaro
