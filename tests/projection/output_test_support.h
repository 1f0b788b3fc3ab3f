#pragma once
// Shared helpers of the output mapping tests.

#include <gtest/gtest.h>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include "polyhedra/poly_model.h"
#include "projection/output_formulas.h"
#include "projection/output_mapping.h"
#include "projection/render_context.h"
#include "render/render_setup.h"
#include "settings/settings_record.h"

namespace globaro::testing {

// Defaults with no turn, flip, fold, graticule, indicatrix or inner projection.
inline SettingsRecord plainSettings(ProjectionId output, InputProjectionId input, float fov = 90.0f) {
    auto s = std::make_unique<SettingsRecord>();
    resetToDefaults(*s);
    s->outputProjection = output, s->inputProjection = input, s->fov = fov;
    s->latitude = s->longitude = s->spin = 0.0f;
    s->flip = s->anamorphosis = s->indicatrix = s->innerProjection = 0;
    s->grid = 1;
    return *s;
}

// A context for `output` on W × H pixels from an inW × inH input, no turn, fold or overlays.
inline std::unique_ptr<RenderContext> contextFor(ProjectionId output, InputProjectionId input, int w, int h,
                                                 int inW = 2000, int inH = 1000, float fov = 90.0f) {
    auto ctx = std::make_unique<RenderContext>();
    const SettingsRecord s = plainSettings(output, input, fov);
    setupRenderContext(*ctx, s, RenderSizes{w, h, inW, inH});
    return ctx;
}

// Gives the context an exact output aspect (one no whole pixel size hits).
inline void setExactAspect(RenderContext& ctx, double aspect) {
    ctx.outputAspect = static_cast<float>(aspect);
    const ExtentBox box = ctx.entry != nullptr ? ctx.entry->box : ExtentBox{};
    ctx.frame = makeViewFrame(box, aspect);
}

// One output on one canvas, ready to sample; owns the polyhedron model and sweep list.
struct Mapper {
    Mapper(ProjectionId output, InputProjectionId input, int w, int h, float fov = 90.0f, int inW = 2000,
           int inH = 1000, float latitude = 0.0f)
        : model(createPolyModel()) {
        SettingsRecord s = plainSettings(output, input, fov);
        s.tabs = 0.0f, s.latitude = latitude;
        RenderSetupOptions options;
        options.polyModel = model;
        setupRenderContext(*ctx, s, RenderSizes{w, h, inW, inH}, options);
        if (model != nullptr && model->triangleCount > 0) buildSweepList(*model, job);
        scratch.polyJob = &job;
    }
    ~Mapper() { releasePolyModel(model); }
    Mapper(const Mapper&) = delete;
    Mapper& operator=(const Mapper&) = delete;
    bool direction(double a, double b, SphereDir& d) {
        return outputDirection(static_cast<float>(a), static_cast<float>(b), *ctx, scratch, d);
    }
    RenderCell sample(double a, double b) {
        RenderCell cell{};
        outputToSphere(static_cast<float>(a), static_cast<float>(b), *ctx, cell, scratch);
        return cell;
    }
    std::unique_ptr<RenderContext> ctx = std::make_unique<RenderContext>();
    PolyModel* model;
    PolyJobState job;
    MappingScratch scratch;
};

inline RenderCell sampleAt(const RenderContext& ctx, double a, double b) {
    RenderCell cell{};
    MappingScratch scratch;
    outputToSphere(static_cast<float>(a), static_cast<float>(b), ctx, cell, scratch);
    return cell;
}

inline bool directionAt(const RenderContext& ctx, double a, double b, SphereDir& d) {
    MappingScratch scratch;
    return outputDirection(static_cast<float>(a), static_cast<float>(b), ctx, scratch, d);
}

// The direction of a latitude and longitude in degrees (east to the right of the centre).
inline SphereDir latLon(double latDeg, double lonDeg) {
    const double f = latDeg * std::numbers::pi / 180.0, l = lonDeg * std::numbers::pi / 180.0;
    return {static_cast<float>(-std::cos(f) * std::sin(l)), static_cast<float>(std::sin(f)),
            static_cast<float>(std::cos(f) * std::cos(l))};
}

inline float length(const SphereDir& d) { return std::sqrt(dot(d, d)); }
inline float distance(const SphereDir& a, const SphereDir& b) { return length({a.x - b.x, a.y - b.y, a.z - b.z}); }
inline SphereDir unit(float x, float y, float z) { return normalise(SphereDir{x, y, z}); }

// Distance between two horizontal fractions on a panorama that wraps.
inline double wrappedDistance(double u1, double u2) {
    const double d = std::fabs(u1 - u2) - std::floor(std::fabs(u1 - u2));
    return std::fmin(d, 1.0 - d);
}

}  // namespace globaro::testing
