// Input projections read from a polyhedral net through the polyhedron model.

#include <algorithm>

#include "polyhedra/poly_model.h"
#include "projection/input_formulas.h"

namespace globaro::input_detail {

// "soccer": the direction is located on the "soccer ball" net of the model the
// render prepared for the source image (see polyhedra/soccer_input_model.h):
// the face whose cone from the centre holds the direction, and the net point
// of the direction on it, as fractions of the fitted frame. The region code is
// the face + 3. A direction outside every face (or no model) is a miss with u
// and v at 0.
//
// The model's inverse lookup takes the direction in the orientation in which
// the output side hands directions out (`netPointToSphere`), so the direction
// goes in as it is: a net point carried to the sphere by the "soccer ball"
// output comes back to the same net point here. Handing in the opposite
// direction would read every sample from the far side of the ball.
void lookupSoccer(const InputCall& call, InputSample& out) noexcept {
    out.u = 0.0f;
    out.v = 0.0f;
    InverseHit hit;
    if (call.model == nullptr || !inverseLookup(*call.model, call.d, nullptr, hit)) {
        out.miss = true;
        return;
    }
    // The net lies inside its frame; rounding on the rim of the net must not
    // turn a found face into a miss.
    out.u = std::clamp(hit.u, 0.0f, 1.0f);
    out.v = std::clamp(hit.v, 0.0f, 1.0f);
    out.regionCode = static_cast<std::uint32_t>(hit.face + 3);
}

}  // namespace globaro::input_detail
