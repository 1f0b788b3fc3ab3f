// Input projections read from a polyhedral net through the polyhedron model.

#include "projection/input_formulas.h"

namespace globaro::input_detail {

// "soccer": the negated direction is located on the "soccer ball" net of the
// polyhedron model. The model's inverse lookup is not wired in yet, so every
// direction is answered the way the model answers a direction outside every
// face: a miss with u and v left at 0.
void lookupSoccer(const InputCall& call, InputSample& out) noexcept {
    (void)call.model;
    out.u = 0.0f;
    out.v = 0.0f;
    out.miss = true;
}

}  // namespace globaro::input_detail
