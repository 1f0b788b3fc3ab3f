// The "soccer" input's net.

#include "polyhedra/soccer_input_model.h"

namespace globaro {

std::int32_t refreshSoccerInputModel(PolyModel& model, float inputAspect, const PolyAllocator& allocator) noexcept {
    // A whole net, no tabs, fitted to the frame; the selection of a single
    // face does not apply to an input.
    model.selectedFace = -1;
    return preparePolyModel(kSoccerBallOutput, model, inputAspect, 0.0f, kFitToFrame, 0.0f, kPolyModeNet, 0, allocator,
                            1);
}

PolyModel* prepareSoccerInputModel(float inputAspect, const PolyAllocator& allocator) noexcept {
    PolyModel* model = createPolyModel(allocator);
    if (model == nullptr) return nullptr;
    refreshSoccerInputModel(*model, inputAspect, allocator);
    return model;
}

}  // namespace globaro
