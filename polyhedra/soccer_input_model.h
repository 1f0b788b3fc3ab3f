#pragma once
// The model the "soccer" input projection reads: the "soccer ball" net, fitted
// into a frame of the source image's shape, so that a source image laid out as
// that net (for instance one rendered with the "soccer ball" output at the
// same aspect) is read back where it was drawn.

#include <cstdint>

#include "polyhedra/poly_model.h"

namespace globaro {

// The output projection whose net the "soccer" input reads ("soccer ball").
inline constexpr ProjectionId kSoccerBallOutput = 30;

// Prepares `model` as the "soccer" input's net for a source image of
// `inputAspect` (height / width): the "soccer ball" model built as a whole net
// (mode 1, no tabs, fitted to a frame 1 wide and `inputAspect` high). Rebuilds
// only when the aspect (or anything else of the request) changed since the
// last call; an aspect that is not a positive number counts as 1. Returns the
// build status (`PolyModel::errorCode`, 0 when nothing had to be done). Call on
// the preparing thread, before any worker reads the model.
std::int32_t refreshSoccerInputModel(PolyModel& model, float inputAspect,
                                     const PolyAllocator& allocator = defaultPolyAllocator()) noexcept;

// A new model from `allocator`, prepared as above; null when it cannot be
// allocated. Release it with `releasePolyModel`.
PolyModel* prepareSoccerInputModel(float inputAspect, const PolyAllocator& allocator = defaultPolyAllocator()) noexcept;

}  // namespace globaro
