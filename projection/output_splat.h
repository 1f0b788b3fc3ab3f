#pragma once
// The splat family: the world in a many-pointed star, drawn by the
// polyhedron model. The model's flat star net only locates a point; the
// blended point of the star is carried to the sphere conformally: by the
// inverse Schwarz–Christoffel map of the star onto the unit disc, then by
// Lagrange's conformal world in a circle (poles at the top and bottom of the
// disc, the meridian λ = 180° its rim, both banks).

#include "geometry/vec_math.h"
#include "polyhedra/poly_model.h"

namespace globaro {

// The direction shown at w, a point of the splat star whose tips lie at
// radius 1 (a tip on the positive real axis); false outside the star.
bool splatDirection(Complex w, SphereDir& d) noexcept;

// The direction of a located face point of a special-mapping model, by its
// family's formula; false when the model's kind has none or the point maps
// nowhere (a miss).
bool specialModelDirection(const PolyModel& m, const NetHit& hit, SphereDir& d) noexcept;

}  // namespace globaro
