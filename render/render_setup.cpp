// The render setup: the render context from the settings, in the order the
// per-sample steps rely on.

#include "render/render_setup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "polyhedra/poly_model.h"
#include "polyhedra/poly_spec.h"
#include "projection/catalogue.h"
#include "projection/input_projection.h"
#include "projection/output_formulas.h"
#include "projection/world_map_solvers.h"
#include "settings/settings_record.h"

namespace globaro {

namespace {

constexpr float kColourScale = 1.0f / 65535.0f;

// The shift lens's latitude is held within ±88.2°, in radians.
constexpr float kShiftLensLatitudeLimit = 1.5393804f;

void colourToFloats(const Rgb16& c, float out[3]) noexcept {
    out[0] = static_cast<float>(c.red) * kColourScale;
    out[1] = static_cast<float>(c.green) * kColourScale;
    out[2] = static_cast<float>(c.blue) * kColourScale;
}

float finiteOr(float v, float fallback) noexcept { return std::isfinite(v) ? v : fallback; }

}  // namespace

void setupRenderContext(RenderContext& ctx, const SettingsRecord& s, const RenderSizes& sizes,
                        const RenderSetupOptions& options) noexcept {
    ctx = RenderContext{};
    const std::int32_t outW = std::max(sizes.outputWidth, 1);
    const std::int32_t outH = std::max(sizes.outputHeight, 1);
    const std::int32_t inW = std::max(sizes.inputWidth, 1);
    const std::int32_t inH = std::max(sizes.inputHeight, 1);
    ctx.outputAspect = static_cast<float>(outH) / static_cast<float>(outW);
    ctx.inputAspect = static_cast<float>(inH) / static_cast<float>(inW);
    ctx.inputWidth = std::max(sizes.inputWidth, 0);
    ctx.inputHeight = std::max(sizes.inputHeight, 0);

    // 1. Mode and the view.
    ctx.mode = kModeNormal;
    ctx.fov = std::clamp(finiteOr(s.fov, 0.0f), 0.0f, 180.0f);
    ctx.longitude = finiteOr(s.longitude, 0.0f);
    ctx.latitude = finiteOr(s.latitude, 0.0f);
    ctx.spin = finiteOr(s.spin, 0.0f);
    ctx.flip = s.flip;
    ctx.anamorphosis = s.anamorphosis;

    // 2. The shift lens takes the latitude as its shift.
    ctx.outputProjection = s.outputProjection;
    if (ctx.outputProjection == 60) {
        const float lat = std::clamp(ctx.latitude * std::numbers::pi_v<float> / 180.0f, -kShiftLensLatitudeLimit,
                                     kShiftLensLatitudeLimit);
        ctx.lensShift = std::tan(lat);
        ctx.latitude = 0.0f;
    } else {
        ctx.lensShift = 0.0f;
    }

    // 3. Colours.
    colourToFloats(s.lineColor, ctx.lineColour);
    colourToFloats(s.tabColor, ctx.tabColour);
    colourToFloats(s.tabColor, ctx.gapColour);
    colourToFloats(s.backdropColor, ctx.backdropColour);

    // 4. Projections and rotations.
    ctx.inputProjection = s.inputProjection;
    ctx.input = resolveInput(ctx.inputProjection);
    ctx.modelProjection = ctx.outputProjection == kSpecialRenderProjection ? s.innerProjection : ctx.outputProjection;
    ctx.rotation = rotationFromAngles(ctx.longitude, ctx.latitude, ctx.spin);
    ctx.tilted = tiltedRotation();

    // 5. The fold.
    ctx.foldMode = s.anamorphosis != 0 ? kFoldBeforeRotation : kFoldOff;

    // 6. The polyhedron model (the views outputs prepare the solid they show).
    const ProjectionId modelId = ctx.modelProjection;
    ctx.entry = findOutputRow(modelId);
    const output_detail::RenderTraits traits = ctx.entry != nullptr ? ctx.entry->render : output_detail::RenderTraits{};
    ctx.usesPolyModel = isPolyhedral(modelId) ? 1 : 0;
    ctx.polyModel = options.polyModel;
    const ProjectionId prepareId = traits.modelId != 0 ? traits.modelId : modelId;
    if (ctx.polyModel != nullptr && (ctx.usesPolyModel != 0 || prepareId != modelId)) {
        const float tabSize = std::clamp(finiteOr(s.tabs, 0.0f), 0.0f, 100.0f) * 0.005f;
        ctx.polyStatus = preparePolyModel(
            prepareId, *ctx.polyModel, ctx.outputAspect, tabSize, 0, 0.0f, 1, 0,
            ctx.polyModel->allocator.allocate != nullptr ? ctx.polyModel->allocator : defaultPolyAllocator(),
            options.finalRender ? 1 : 0);
    }

    // 7. Per-output constants and the view frame.
    const ExtentBox box = ctx.entry != nullptr ? ctx.entry->box : ExtentBox{};
    ctx.frame = makeViewFrame(box, ctx.outputAspect);
    if (ctx.entry != nullptr && ctx.entry->gores != nullptr) {
        ctx.goreCount = output_detail::goreCountFor(*ctx.entry->gores, ctx.fov);
    }
    ctx.goreShape = std::exp2(ctx.fov / 90.0f - 1.0f);
    ctx.annulusHole = 1.0f - ctx.fov / 180.0f;
    ctx.brickLayers = s.brickLayers;
    ctx.brickPlates = s.brickPlates != 0 ? 1 : 0;
    if (s.anamorphosis != 0) {
        if (foldsAfterRotation(modelId)) ctx.foldMode = kFoldAfterRotation;
        if (ctx.usesPolyModel != 0) ctx.foldMode = kFoldByModel;
    }

    // 8. Field-of-view constants.
    const FieldOfViewConstants fc = fieldOfViewConstants(ctx.fov);
    ctx.wideTan = fc.wideTan;
    ctx.narrowTan = fc.narrowTan;

    // 9. The tilings fold before the rotation.
    if (traits.tilingFold && s.anamorphosis != 0) ctx.foldMode = kFoldBeforeRotation;

    // 10. Mode.
    ctx.mode = ctx.outputProjection == kSpecialRenderProjection ? kModeSpecial : traits.mode;

    // Overlays and shading.
    ctx.graticuleOn = s.grid >= 2 && s.grid <= 7 ? 1 : 0;  // 1 is "none"; other values draw nothing
    ctx.grid = s.grid;
    ctx.edgesOn = s.edges != 0 ? 1 : 0;
    ctx.indicatrixOn = s.indicatrix != 0 ? 1 : 0;
    ctx.facesColoured = s.faces != 0 ? 1 : 0;
    ctx.shadedGlobe = shadedGlobe(modelId);
    const OutputRow* row = findOutputRow(ctx.outputProjection);
    ctx.colourStep = row != nullptr ? row->colourStep : nullptr;
    if (ctx.indicatrixOn != 0) buildIndicatrixCentres(ctx);

    // One-time tables, before any worker reads them.
    prepareInputTables();
    prepareOutputTables();
}

void setupInputPreviewContext(RenderContext& ctx, const SettingsRecord& settings, const RenderSizes& sizes) noexcept {
    SettingsRecord preview;
    std::memcpy(&preview, &settings, sizeof(SettingsRecord));
    preview.outputProjection = 81;
    preview.fov = 90.0f;
    preview.latitude = 0.0f;
    preview.longitude = 0.0f;
    preview.spin = 90.0f;
    setupRenderContext(ctx, preview, sizes, RenderSetupOptions{nullptr, false});
}

}  // namespace globaro
