#pragma once
// A short account of a built polyhedron model, for reports and tools: what
// was built and how big it came out.

#include <cstdint>

#include "polyhedra/poly_model.h"

namespace globaro {

struct PolyModelSummary {
    PolyKind kind = kNoPolyKind;
    std::int32_t faces = 0;          // faceCount
    std::int32_t netVertices = 0;    // vertexCount
    std::int32_t triangles = 0;      // triangleCount, marks included
    std::int32_t markTriangles = 0;  // of which corner marks and tab shapes
    std::int32_t pieces = 0;         // connected pieces of the net (faces joined along shared net edges)
    std::int32_t errorCode = kPolyOk;
};

// Counts of `model` as it stands.
PolyModelSummary summarisePolyModel(const PolyModel& model) noexcept;

// Builds the model of output `id` the way a render of the whole net does
// (mode 1, no tabs, no selected face) into a frame `frameHeight` high and 1
// wide, in a temporary model, and summarises it. False when `id` is not
// polyhedral or the model cannot be allocated.
bool summarisePolyOutput(ProjectionId id, float frameHeight, PolyModelSummary& out) noexcept;

}  // namespace globaro
