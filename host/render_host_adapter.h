#pragma once
// The render path seen from the module: the render sink over the host's
// services (tiles, abort test, progress), the load of the host's input image
// into the working pyramid, and `renderTo`, the render routine of the start
// call (target 0), the dialog preview (target 1) and the exporters (target 2).

#include <cstddef>
#include <cstdint>

#include "host/host_services.h"
#include "render/render_driver.h"
#include "render/render_session.h"
#include "settings/settings_record.h"

namespace globaro {

// The module's own progress window (exports) and the dialog's cancel: shown
// and asked on the calling thread.
class RenderProgressWindow {
public:
    virtual ~RenderProgressWindow() = default;
    // Progress in thousandths ("%d%%" shows permille / 10).
    virtual void showProgress(std::int32_t permille) = 0;
    // True once the user asked to stop (the window then shows "Cancelling...").
    virtual bool cancelRequested() = 0;
};

// Where the targets other than the host image live.
struct HostRenderTargets {
    // Target 1: the dialog's 8-bit planar preview buffer, the preview
    // rectangle in preview pixels (usually {0, 0, height, width}), and the
    // host image as the preview shows it (the preview source, same layout as
    // the buffer), read by the blend modes; null reads as black.
    PreviewBuffer* preview = nullptr;
    VRect previewRect{0, 0, 0, 0};
    const PreviewBuffer* previewSource = nullptr;
    // Target 2: the module's export image.
    ExportImage* exportImage = nullptr;
    // Targets 1 and 2: the progress window / the dialog's cancel (optional).
    RenderProgressWindow* progressWindow = nullptr;
};

// The sink of one render: for the host image it requests each tile from the
// host (advanceState) and composites into the delivered output tile; for the
// preview and the export image it composites into the module's buffers.
class HostRenderSink : public RenderSink {
public:
    // `renderRect` is the pass's render rectangle (target coordinates).
    // `hostResult`, when given, is the module's result code: a -128 already
    // there counts as a cancel.
    HostRenderSink(HostServices& host, const SettingsRecord& settings, int renderTarget, const TileRect& renderRect,
                   const HostRenderTargets& targets, const std::int16_t* hostResult = nullptr);

    bool testAbort() override;
    std::int16_t fetchTile(const TileRect& imageRect, CompositeTarget& target) override;
    void reportProgress(std::int32_t permille) override;

private:
    HostServices& host_;
    const SettingsRecord& settings_;
    int target_;
    TileRect renderRect_;
    HostRenderTargets targets_;
    const std::int16_t* hostResult_;
};

// The progress reset callers make before a render: reports (2, 100) to the
// host's progress routine. (The driver resets its own clock at every render.)
void resetHostProgress(const HostServices& host);

// Reads the host's filter rectangle at full resolution, strip by strip, into
// the session's working pyramid and builds its levels. Returns 0, the
// result of a failed advanceState, or 999 when the pyramid cannot be had.
// The preview step and offsets are 1 and 0 while it reads, and restored.
std::int16_t loadHostInput(HostServices& host, SettingsRecord& settings, RenderSession& session);

// The render routine (target 0 host image, 1 dialog preview, 2 export image):
// stores the target in `renderTarget`; loads the input into the working
// pyramid when it is not loaded yet (999 when it cannot be); saves the run
// state and a snapshot of the settings; chooses the render rectangle (the
// filter rectangle, the preview rectangle with the preview step and offsets,
// the export image); for targets 0 and 2 resets the progress counters to 1 of
// 1 and the preview offsets to 0; runs the render driver; sets `progressDone`
// to -1; restores the run state and the snapshot. Returns the result code (0,
// -128 cancelled, -108 out of memory, 999, or a failed advanceState's) and
// the module's message code (228 after a cancel of a host render). Target 0
// records a frame plan only while the host's record says frames follow, and
// releases it after a render with none to follow.
std::int16_t renderTo(int target, HostServices& host, SettingsRecord& settings, RenderSession& session,
                      const HostRenderTargets& targets = {}, const std::int16_t* hostResult = nullptr,
                      std::int32_t* messageCode = nullptr);

// The memory the module's frame plan holds between renders into the host
// image: nothing unless the last such render said frames follow.
std::size_t hostFramePlanBytes();

}  // namespace globaro
