#pragma once
// The geodesic spheres (kinds 88 to 109): a base solid whose faces are cut
// into triangles, each subdivided at a frequency, every point pushed onto the
// unit sphere.

#include "polyhedra/poly_model.h"
#include "polyhedra/solid_mesh.h"

namespace globaro {

// The base kind and frequency of a geodesic kind; false for other kinds.
bool geodesicParams(PolyKind kind, PolyKind& baseKind, int& frequency) noexcept;

// The solid of a geodesic kind. Builds the base solid in a temporary model
// (frame height and tab size copied from `target`) with `allocator`; when
// that fails the solid has no faces. Capacity errors land in the mesh's
// errorCode.
SolidMesh generateGeodesic(const PolyModel& target, PolyKind kind, const PolyAllocator& allocator);

}  // namespace globaro
