// Lookups over the registry's rows, and the checks that keep the rows
// consistent at compile time.

#include "projection/registry.h"

#include <algorithm>

namespace globaro {
namespace {

using registry_detail::kInputRows;
using registry_detail::kOutputRows;

constexpr std::size_t kNamedOutputs = static_cast<std::size_t>(kOutputProjectionCount);

// GCC's undefined-behaviour sanitizer makes a function's address compared
// with null a question for run time, so the checks that read the routines
// are made by the plain and release builds only.
#ifdef GLOBARO_SANITIZED
#define GLOBARO_ROUTINE_CHECK(condition, message)
#else
#define GLOBARO_ROUTINE_CHECK(condition, message) static_assert(condition, message)
#endif

constexpr bool inputRowsWellFormed() {
    for (std::size_t i = 0; i < std::size(kInputRows); ++i) {
        const InputRow& row = kInputRows[i];
        if (row.id != static_cast<InputProjectionId>(i + 1)) return false;
        if (row.name.empty() || row.key.size() != 4 || row.lookup == nullptr) return false;
    }
    return true;
}
GLOBARO_ROUTINE_CHECK(inputRowsWellFormed(),
                      "the input rows list the ids 1..38 in order, each with a name, key and lookup");

constexpr bool outputRowsWellFormed() {
    for (std::size_t i = 0; i < std::size(kOutputRows); ++i) {
        const OutputRow& row = kOutputRows[i];
        const bool internal = row.has(kTraitInternal);
        // Named rows first, sorted by id; internal rows (no name) after them.
        if (internal != (i >= kNamedOutputs)) return false;
        if (internal != row.name.empty()) return false;
        if (i > 0 && i != kNamedOutputs && kOutputRows[i - 1].id >= row.id) return false;
        if (row.shadedGlobe < 0 || row.shadedGlobe > 2) return false;
        if (!row.key.empty() && row.key.size() != 4) return false;
    }
    return true;
}
static_assert(outputRowsWellFormed(), "the output rows are malformed");

constexpr bool idsUnique() {
    for (std::size_t i = 0; i < std::size(kOutputRows); ++i)
        for (std::size_t j = i + 1; j < std::size(kOutputRows); ++j)
            if (kOutputRows[i].id == kOutputRows[j].id) return false;
    return true;
}
static_assert(idsUnique(), "an output id has two rows");

// What the drawing fields need: a row routine only beside the routine it
// shortens; a box that is not empty; a pending row no routine that is
// sampled here, and a row that draws a routine or a model (the internal ids
// aside).
constexpr bool drawingFieldsConsistent() {
    using output_detail::rowPointCubeLayout;
    for (const OutputRow& row : kOutputRows) {
        if (row.rowPoint != nullptr && row.routine == nullptr) return false;
        // A row routine turns a cube layout's cells, and only those, by the
        // layout's faces.
        if (row.rowPoint != nullptr && (row.rowPoint == &rowPointCubeLayout) != (row.cube != nullptr)) return false;
        if (row.rowPoint != nullptr && row.cube != nullptr) {
            for (float roll : row.cube->roll)
                if (roll != 0.0f) return false;
        }
        if (row.box.x0 >= row.box.x1 || row.box.y0 >= row.box.y1) return false;
        const bool drawsHere =
            row.render.mode == kModeNormal && (row.routine != nullptr || row.poly.kind != kNoPolyKind);
        if (row.pending && drawsHere && row.poly.kind == kNoPolyKind) return false;
        if (!row.pending && !drawsHere && !row.has(kTraitInternal)) return false;
    }
    return true;
}
GLOBARO_ROUTINE_CHECK(drawingFieldsConsistent(), "an output row's drawing fields do not fit together");

}  // namespace

const OutputRow* findOutputRow(ProjectionId id) noexcept {
    const OutputRow* named = kOutputRows;
    const OutputRow* namedEnd = kOutputRows + kNamedOutputs;
    const OutputRow* it =
        std::lower_bound(named, namedEnd, id, [](const OutputRow& r, ProjectionId v) { return r.id < v; });
    if (it != namedEnd && it->id == id) return it;
    for (const OutputRow* row = namedEnd; row != std::end(kOutputRows); ++row) {
        if (row->id == id) return row;
    }
    return nullptr;
}

const InputRow* findInputRow(InputProjectionId id) noexcept {
    if (id < 1 || id > kInputProjectionCount) return nullptr;
    return &kInputRows[id - 1];
}

PolySpec polySpecFor(ProjectionId id) noexcept {
    const OutputRow* row = findOutputRow(id);
    return row != nullptr ? row->poly : PolySpec{};
}

bool isPolyhedral(ProjectionId id) noexcept { return polySpecFor(id).kind != kNoPolyKind; }

}  // namespace globaro
