#pragma once
// The render state of one filter run: the working input pyramid (loaded once
// per run and reused by every render of it), the polyhedron model, and the
// render of the settings into a target through the render driver. Knows
// nothing of the host: the target is reached through a RenderSink, the input
// arrives as in-memory images (whole, or strip by strip).

#include <cstdint>

#include "projection/render_context.h"
#include "render/frame_plan.h"
#include "render/image_pyramid.h"
#include "render/line_overlay.h"
#include "render/pixel_pipeline.h"
#include "render/render_driver.h"

namespace globaro {

struct SettingsRecord;
struct PolyModel;

// The result of a failed load of the working pyramid.
inline constexpr std::int16_t kPyramidLoadFailed = 999;

// One render of the settings.
struct RenderPass {
    int renderTarget = kTargetHostImage;  // 0 host image, 1 preview, 2 export image
    // The render rectangle in target coordinates (host image: the filter
    // rectangle; preview: the preview rectangle in preview pixels; export:
    // the export image).
    TileRect renderRect;
    // The full-resolution output image the projection is framed in.
    std::int32_t outputWidth = 1;
    std::int32_t outputHeight = 1;
    // Corner (x, y) of the render rectangle (relative to it) is the point
    // ((placementLeft + x)·step + originX, (placementTop + y)·step + originY)
    // of the output image.
    std::int32_t placementLeft = 0;
    std::int32_t placementTop = 0;
    float step = 1.0f;
    float originX = 0.0f;
    float originY = 0.0f;
    int processors = 0;           // 0: the system's count
    RenderClock clock = nullptr;  // null: the wall clock
    // Kept from one render to the next of a sequence (render/frame_plan.h),
    // or null.
    FramePlan* framePlan = nullptr;
    // Whether more frames of the sequence follow this render (only then is
    // a plan worth recording).
    bool framesFollow = false;
};

class RenderSession {
public:
    RenderSession() = default;
    ~RenderSession();
    RenderSession(const RenderSession&) = delete;
    RenderSession& operator=(const RenderSession&) = delete;

    // ---- the input -----------------------------------------------------------------
    // Whole image at once: 0, or 999 when the pyramid cannot be had.
    std::int16_t loadInput(const SourceImageView& image, int processors = 0);
    // Strip by strip: begin (999 when the pyramid cannot be allocated), store
    // each part (false for a part that does not fit), finish (builds the
    // levels; 0 or 999).
    // `storage` is `pyramidStorageFor` the input's depth: an 8-bit input
    // keeps its bytes at full resolution (parts then must be 8-bit views).
    std::int16_t beginInput(std::int32_t width, std::int32_t height, PyramidStorage storage = {});
    bool storeInput(const SourceImageView& part, std::int32_t x0, std::int32_t y0);
    // The input's rows above `rows` are all stored (parts arrive top to
    // bottom): the reduction of what they settle starts at once.
    void inputRowsStored(std::int32_t rows) { pyramid_.reduceFirstLevelAhead(rows); }
    std::int16_t finishInput(int processors = 0);
    bool inputLoaded() const { return loaded_; }
    LevelStorage inputStorage() const {
        return pyramid_.levelCount() > 0 ? pyramid_.level(0).storage : LevelStorage::kFloat;
    }
    std::int32_t inputWidth() const { return loaded_ ? pyramid_.level(0).width : 0; }
    std::int32_t inputHeight() const { return loaded_ ? pyramid_.level(0).height : 0; }
    const ImagePyramid& inputPyramid() const { return pyramid_; }
    // Frees the pyramid and the model (end of a run).
    void release();

    // ---- rendering -------------------------------------------------------------------
    // Renders the settings into the pass's target. The input must be loaded
    // (otherwise the result is 999). Builds the render context on this
    // thread (and the polyhedron model when the output needs it), then runs
    // the driver; the outcome carries the result code.
    RenderOutcome render(const SettingsRecord& settings, const RenderPass& pass, RenderSink& sink);

    // The overlays of the render path (outline coverage, graticule, face
    // colours), used by every later render.
    void setOverlayHooks(const OverlayHooks& hooks) { hooks_ = hooks; }
    const OverlayHooks& overlayHooks() const { return hooks_; }

    // The context of the last render (for tools and tests).
    const RenderContext& context() const { return ctx_; }

private:
    ImagePyramid pyramid_;
    bool loaded_ = false;
    PolyModel* model_ = nullptr;
    PolyModel* inputModel_ = nullptr;  // the ball of the "soccer" input
    RenderContext ctx_;
    OverlayHooks hooks_ = standardOverlayHooks();
};

}  // namespace globaro
