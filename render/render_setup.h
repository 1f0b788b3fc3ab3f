#pragma once
// The render setup: the render context of one render from the settings.

#include <cstdint>

#include "projection/render_context.h"

namespace globaro {

struct SettingsRecord;

// Sizes a render needs beside the settings.
struct RenderSizes {
    std::int32_t outputWidth = 1;
    std::int32_t outputHeight = 1;
    std::int32_t inputWidth = 2;
    std::int32_t inputHeight = 1;
};

// Options of one render setup.
struct RenderSetupOptions {
    // The polyhedron model to prepare and read; null leaves the model outputs empty.
    PolyModel* polyModel = nullptr;
    // Set when the render is not for the dialog preview (the model's detail flag).
    bool finalRender = true;
};

// Builds the context of one render from the settings (latitude, longitude,
// spin, fov, flip, anamorphosis, colours, projections, grid, indicatrix,
// tabs, innerProjection). Prepares the polyhedron model when the output is
// drawn through it, and the one-time tables of the projections. Sizes below 1
// count as 1. Call on the rendering thread before any worker starts.
void setupRenderContext(RenderContext& ctx, const SettingsRecord& settings, const RenderSizes& sizes,
                        const RenderSetupOptions& options = {}) noexcept;

// The context of the input preview: output 81 ("equi tall"), fov 90,
// latitude 0, longitude 0, spin 90 and the input projection of the settings.
void setupInputPreviewContext(RenderContext& ctx, const SettingsRecord& settings, const RenderSizes& sizes) noexcept;

}  // namespace globaro
