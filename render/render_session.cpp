#include "render/render_session.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "polyhedra/poly_model.h"
#include "polyhedra/poly_spec.h"
#include "polyhedra/soccer_input_model.h"
#include "projection/catalogue.h"
#include "projection/input_projection.h"
#include "render/render_setup.h"
#include "settings/settings_record.h"

namespace globaro {

RenderSession::~RenderSession() { release(); }

void RenderSession::release() {
    pyramid_.clear();
    loaded_ = false;
    if (model_ != nullptr) {
        releasePolyModel(model_);
        model_ = nullptr;
    }
    if (inputModel_ != nullptr) {
        releasePolyModel(inputModel_);
        inputModel_ = nullptr;
    }
}

std::int16_t RenderSession::beginInput(std::int32_t width, std::int32_t height, PyramidStorage storage) {
    loaded_ = false;
    if (!pyramid_.allocate(width, height, kWrapNone, storage)) return kPyramidLoadFailed;
    return kRenderOk;
}

bool RenderSession::storeInput(const SourceImageView& part, std::int32_t x0, std::int32_t y0) {
    if (pyramid_.levelCount() < 1) return false;
    return pyramid_.storeImage(part, x0, y0);
}

std::int16_t RenderSession::finishInput(int /*processors*/) {
    if (pyramid_.levelCount() < 1) return kPyramidLoadFailed;
    // The reduced levels are built by the first render, which knows whether
    // the input closes around horizontally: building them here without the
    // wrap would mean building them twice.
    pyramid_.markReady(false);
    loaded_ = true;
    return kRenderOk;
}

std::int16_t RenderSession::loadInput(const SourceImageView& image, int processors) {
    const std::int16_t begun = beginInput(image.width, image.height, pyramidStorageFor(image.depth));
    if (begun != kRenderOk) return begun;
    if (!storeInput(image, 0, 0)) {
        pyramid_.clear();
        return kPyramidLoadFailed;
    }
    return finishInput(processors);
}

namespace {

template <typename T>
void appendBytes(std::vector<std::byte>& key, const T& value) {
    const auto* bytes = reinterpret_cast<const std::byte*>(&value);
    key.insert(key.end(), bytes, bytes + sizeof(T));
}

// What a frame plan's records depend on: every setting but the progress
// counters, the sizes, where the render lands in the output, and the
// overlays. Any difference makes another key (the plan is then made again).
std::vector<std::byte> framePlanKey(const SettingsRecord& settings, const RenderSizes& sizes, const RenderPass& pass,
                                    const OverlayHooks& hooks) {
    SettingsRecord s;
    std::memcpy(static_cast<void*>(&s), &settings, sizeof s);
    s.progressDone = 0;
    s.progressTotal = 0;
    std::vector<std::byte> key;
    key.reserve(sizeof s + 128);
    appendBytes(key, s);
    for (const std::int32_t v :
         {sizes.outputWidth, sizes.outputHeight, sizes.inputWidth, sizes.inputHeight, pass.renderTarget,
          pass.renderRect.top, pass.renderRect.left, pass.renderRect.bottom, pass.renderRect.right, pass.outputWidth,
          pass.outputHeight, pass.placementLeft, pass.placementTop})
        appendBytes(key, v);
    for (const float v : {pass.step, pass.originX, pass.originY}) appendBytes(key, v);
    appendBytes(key, hooks.drawTileLines);
    appendBytes(key, hooks.drawGraticule);
    appendBytes(key, hooks.faceColour);
    return key;
}

}  // namespace

RenderOutcome RenderSession::render(const SettingsRecord& settings, const RenderPass& pass, RenderSink& sink) {
    RenderOutcome failed;
    if (!loaded_) {
        failed.result = kPyramidLoadFailed;
        failed.cancelled = true;
        return failed;
    }

    // The polyhedron model, for the outputs drawn through it.
    const ProjectionId modelId =
        settings.outputProjection == kSpecialRenderProjection ? settings.innerProjection : settings.outputProjection;
    if (model_ == nullptr && (isPolyhedral(modelId) || isViewsOutput(modelId))) model_ = createPolyModel();

    RenderSizes sizes;
    sizes.outputWidth = std::max(pass.outputWidth, 1);
    sizes.outputHeight = std::max(pass.outputHeight, 1);
    sizes.inputWidth = pyramid_.level(0).width;
    sizes.inputHeight = pyramid_.level(0).height;
    RenderSetupOptions options;
    options.polyModel = model_;
    options.finalRender = pass.renderTarget != kTargetPreview;
    setupRenderContext(ctx_, settings, sizes, options);

    // The "soccer" input is read through the net of its own ball.
    if (ctx_.inputProjection == kInputSoccer) {
        if (inputModel_ == nullptr) inputModel_ = createPolyModel();
        if (inputModel_ != nullptr) {
            refreshSoccerInputModel(*inputModel_, static_cast<float>(sizes.inputHeight) / sizes.inputWidth);
            ctx_.inputModel = inputModel_;
        }
    }

    // The pyramid's edges follow the input projection.
    const PyramidWrap wrap = inputWrapOf(ctx_.inputProjection) == kInputNoWrap ? kWrapNone : kWrapHorizontal;
    pyramid_.setWrap(wrap);
    if (!pyramid_.ready() && buildPyramid(pyramid_, pass.processors) != kRenderOk) {
        failed.result = kRenderOutOfMemory;
        failed.outOfMemory = true;
        failed.cancelled = true;
        return failed;
    }

    const ContextSampleMapping mapping(ctx_);
    PipelineConfig config;
    config.mapping = &mapping;
    config.pyramid = &pyramid_;
    config.placement.image = makeOutputImageRecord(sizes.outputWidth, sizes.outputHeight);
    config.placement.step = pass.step > 0.0f ? pass.step : 1.0f;
    config.placement.originX = pass.originX;
    config.placement.originY = pass.originY;
    config.placement.left = pass.placementLeft;
    config.placement.top = pass.placementTop;
    config.shading = shadingOptionsFor(settings, ctx_, pass.renderTarget);
    config.shading.centreCheck = centreCheckNeeded(ctx_, config.placement);
    config.hooks = hooks_;

    ProjectionWorkload workload(config);
    if (pass.framePlan != nullptr) {
        const std::int32_t jobs = makeTilePlan(pass.renderRect).jobCount;
        workload.setPlan(pass.framePlan,
                         pass.framePlan->begin(framePlanKey(settings, sizes, pass, hooks_), jobs, pass.framesFollow));
    }
    struct EndPlan {
        FramePlan* plan;
        ~EndPlan() {
            if (plan != nullptr) plan->end();
        }
    } endPlan{pass.framePlan};
    RenderRequest request;
    request.renderRect = pass.renderRect;
    request.renderTarget = pass.renderTarget;
    request.progressDone = settings.progressDone;
    request.progressTotal = settings.progressTotal;
    request.processors = pass.processors;
    request.clock = pass.clock;
    return runRender(workload, sink, request);
}

}  // namespace globaro
