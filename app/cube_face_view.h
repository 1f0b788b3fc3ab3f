#pragma once
// The view that shows one face of a cube map through the rectilinear output:
// a square view of 90 degrees (or wider, for a padded face), turned to the
// face, then by the run's own latitude, longitude and spin.

#include <optional>

#include "geometry/projection_id.h"

namespace globaro {

// The rectilinear output that draws one face.
inline constexpr ProjectionId kRectilinearOutput = 14;

struct FaceTurn {
    float latitude, longitude, spin;
};

// The angles of the view that shows cube face `faceNumber` (1..6: down, up,
// left, back, right, front, each as seen from inside the cube, the side
// faces upright) after the view's own turn (degrees), or nothing when the
// two turns cannot be written as one set of angles to float precision.
std::optional<FaceTurn> cubeFaceViewTurn(int faceNumber, const FaceTurn& view);

}  // namespace globaro
