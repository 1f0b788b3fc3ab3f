#pragma once
// The integer ids of the projection vocabulary. They are stored in settings,
// preset files and scripting parameters and are never renumbered.

#include <cstdint>

namespace globaro {

// An output projection: what the output image becomes (1..414 and a few
// higher ids; see the catalogue).
using ProjectionId = std::int32_t;

// An input projection: how the source image is laid out (1..38).
using InputProjectionId = std::int32_t;

// The reserved output id under which special renders run the settings'
// `innerProjection`.
inline constexpr ProjectionId kSpecialRenderProjection = 1045;

}  // namespace globaro
