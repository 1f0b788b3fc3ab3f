#pragma once
// The filter's working record, kept in the host's data handle between calls.
// This header fixes the fields that several subsystems share; the rest of the
// working state belongs to the code that uses it.

#include <cstdint>
#include <type_traits>

#include "settings/memory_dots.h"
#include "settings/undo.h"

namespace globaro {

struct WorkingMemory;  // the large working block allocated at start

struct FilterData {
    // Set by the parameters call and when the record is created; replaced by
    // the host's play information when the host supports descriptors;
    // cleared after the dialog step of every start call.
    std::uint8_t dialogRequested;
    // Set by the parameters call; consumed by the next start call to give the
    // export dialog options their defaults.
    std::uint8_t firstCall;
    // Set while the dialog runs.
    std::uint8_t dialogUp;
    std::uint8_t reserved;

    // The preview rectangle in image coordinates; zero until the dialog sets it.
    std::int32_t previewTop;
    std::int32_t previewLeft;
    std::int32_t previewBottom;
    std::int32_t previewRight;
    // The preview step as computed, even when the host cannot subsample and
    // the step handed back is 1.
    std::int32_t computedPreviewStep;

    // Allocated at start, released at finish, after a refusal and after a
    // cancelled run. Owned by the module, never by the host.
    WorkingMemory* working;

    // Which memory dots are kept between runs: cleared and read from the map
    // file at every start call, written at finish.
    DotMap dotMap;
    // The dialog's two undo slots.
    UndoStore undo;
};

static_assert(std::is_trivially_copyable_v<FilterData>);

}  // namespace globaro
