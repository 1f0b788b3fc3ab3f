// The render setup: the render context from the settings, in the order the
// per-sample steps rely on, and the reset values of a render cell.

#include "projection/render_context.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "polyhedra/poly_model.h"
#include "polyhedra/poly_spec.h"
#include "projection/catalogue.h"
#include "projection/input_projection.h"
#include "projection/output_formulas.h"
#include "projection/world_map_solvers.h"
#include "settings/settings_record.h"

namespace globaro {

namespace {

constexpr float kColourScale = 1.5259022e-5f;  // 1/65535 as a float

void colourToFloats(const Rgb16& c, float out[3]) noexcept {
    out[0] = static_cast<float>(c.red) * kColourScale;
    out[1] = static_cast<float>(c.green) * kColourScale;
    out[2] = static_cast<float>(c.blue) * kColourScale;
}

float finiteOr(float v, float fallback) noexcept { return std::isfinite(v) ? v : fallback; }

}  // namespace

ViewFrame makeViewFrame(const ExtentBox& box, double outputAspect) noexcept {
    ViewFrame f;
    f.x0 = box.x0;
    f.x1 = box.x1;
    f.y0 = box.y0;
    f.y1 = box.y1;
    f.aspect = outputAspect > 0.0 && std::isfinite(outputAspect) ? outputAspect : 1.0;
    f.width = box.x1 - box.x0;
    f.height = box.y1 - box.y0;
    f.halfWidth = f.width / 2.0;
    f.halfHeight = f.height / 2.0;
    f.cx = (box.x0 + box.x1) / 2.0;
    f.cy = (box.y0 + box.y1) / 2.0;
    f.k = std::min(1.0 / f.width, f.aspect / f.height);
    f.scale = 1.0 / f.k;
    return f;
}

Vec2d framePoint(const ViewFrame& f, double a, double b) noexcept {
    return {(a - 0.5) * f.scale + f.cx, (b - 0.5) * f.aspect * f.scale + f.cy};
}

Vec2d centredPoint(const ViewFrame& f, double a, double b) noexcept {
    return {(a - 0.5 - f.cx) * f.scale, (b - 0.5) * f.scale * f.aspect};
}

void buildIndicatrixCentres(RenderContext& ctx) noexcept {
    int n = 0;
    const auto add = [&](float u, float v) {
        const float y = std::sin((v - 0.5f) * -3.1415927f);
        const float r = std::sqrt(std::fmax(0.0f, 1.0f - y * y));
        const float theta = (u - 0.5f) * 6.2831855f;
        ctx.indicatrixCentres[n++] = SphereDir{std::sin(theta) * r, y, std::cos(theta) * r};
    };
    for (int row = 1; row <= 8; ++row) {
        for (int col = 0; col < 18; ++col) {
            if ((row == 1 || row == 8) && col % 2 != 0) continue;
            add(static_cast<float>(col) / 18.0f, static_cast<float>(row) / 9.0f);
        }
    }
    add(0.0f, 0.0f);
    add(0.0f, 1.0f);
}

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
        const float lat = std::clamp(ctx.latitude * 3.1415927f / 180.0f, -1.5393804f, 1.5393804f);
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
    ctx.entry = output_detail::findOutputEntry(modelId);
    const output_detail::RenderTraits traits = ctx.entry != nullptr ? ctx.entry->traits : output_detail::RenderTraits{};
    ctx.usesPolyModel = isPolyhedral(modelId) ? 1 : 0;
    ctx.polyModel = options.polyModel;
    const ProjectionId prepareId = traits.modelId != 0 ? traits.modelId : modelId;
    if (ctx.polyModel != nullptr && (ctx.usesPolyModel != 0 || prepareId != modelId)) {
        const float tabSize = std::clamp(finiteOr(s.tabs, 0.0f), 0.0f, 100.0f) * 0.005f;
        ctx.polyStatus = preparePolyModel(prepareId, *ctx.polyModel, ctx.outputAspect, tabSize, 0, 0.0f, 1, 0,
                                          ctx.polyModel->allocator.allocate != nullptr ? ctx.polyModel->allocator
                                                                                       : defaultPolyAllocator(),
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
    ctx.graticuleOn = s.grid != 1 ? 1 : 0;
    ctx.grid = s.grid;
    ctx.edgesOn = s.edges != 0 ? 1 : 0;
    ctx.indicatrixOn = s.indicatrix != 0 ? 1 : 0;
    ctx.facesColoured = s.faces != 0 ? 1 : 0;
    ctx.shadedGlobe = shadedGlobe(modelId);
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
