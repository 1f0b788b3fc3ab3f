#pragma once
// The large working block of a filter run: allocated by the start call,
// released by the finish call, after a refusal and after a cancelled run.

#include <cstdint>
#include <vector>

#include "host/host_services.h"
#include "render/render_session.h"

namespace globaro {

struct WorkingMemory {
    static constexpr std::int32_t kScratchSide = 128;

    // A 128 x 128 three-channel working image.
    std::vector<float> scratch;
    // The dialog's preview buffer and the exporters' image.
    PreviewBuffer preview;
    ExportImage exportImage;
    // The working input pyramid and the render state of the run.
    RenderSession session;

    // Allocates the fixed parts; false when memory is short.
    bool initialise() {
        try {
            scratch.assign(static_cast<std::size_t>(kScratchSide) * kScratchSide * 3, 0.0f);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
};

}  // namespace globaro
