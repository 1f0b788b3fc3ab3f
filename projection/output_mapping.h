#pragma once
// The output mapping: for one sample of an output pixel, the direction on the
// sphere that the output projection shows there (or an empty sample), carried
// through the fold and the view rotation to the input position. Fills the
// sample's `RenderCell`. Allocation-free; safe to call from every render
// thread at once with the same context and each thread's own cells and
// scratch.

#include <cstdint>

#include "projection/render_context.h"

namespace globaro {

// The meridians of the columns of a row of corners of the equirectangular
// output (output_detail::equirectMeridian of each corner's a): the rows the
// row path maps next share them while the columns, the sub-sample step and
// offset, the image's width and the frame stay the same (the rows of a
// job). `count` 0: no table yet.
struct EquirectColumnTable {
    // Room for a job's rows (a job is at most a tile, 128 pixels, wide) and
    // for the wider rows of tools; a longer row is mapped without a table.
    static constexpr std::int32_t kCapacity = 258;
    std::int32_t count = 0;
    float x0 = 0.0f, step = 0.0f, originX = 0.0f, halfOverWidth = 0.0f;
    double frameCx = 0.0, frameScale = 0.0;
    // Column i, corner x0 + i (filled below `count`).
    float sine[kCapacity];
    float cosine[kCapacity];
    bool inside[kCapacity];
};

// What one render job lends the mapping: its own scratch, never shared
// between threads.
struct MappingScratch {
    // The job's sweep list of the polyhedron model (built with
    // `buildSweepList` before the job's first sample); null leaves the model
    // outputs empty.
    PolyJobState* polyJob = nullptr;
    // The indicatrix centre found last (the scan starts there).
    std::int32_t indicatrixLastHit = 0;
    // The row path's columns of the equirectangular output.
    EquirectColumnTable equirectColumns;
};

// One sample at the normalised output position (a, b) (fractions of the
// output width and height): resets the cell, maps the position, looks the
// direction up in the input, stores the graticule position, cleans values
// that are not numbers, and sets `subTag` last. Returns true when the sample
// reached the input lookup; `lookedUp`, when given, then receives the
// direction that was looked up (after the fold, the pre-warp and the view
// rotation).
bool outputToSphere(float a, float b, const RenderContext& ctx, RenderCell& cell, MappingScratch& scratch,
                    SphereDir* lookedUp = nullptr) noexcept;

// The same from a pixel corner: pixel (x, y), sub-sample scale s and offsets
// (ox, oy) of the output image `image`. `seed` is the per-pixel seed of the
// pixel pipeline ((x·7607) XOR (y·661)); no output of this module reads it yet.
void mapOutputSample(float x, float y, float s, float ox, float oy, const OutputImageRecord& image, std::uint32_t seed,
                     const RenderContext& ctx, RenderCell& cell, MappingScratch& scratch) noexcept;

// A row of `count` corners at once: corner i is (x0 + i, y) as
// mapOutputSample takes it, into cells[i]. For the renders whose steps
// reduce to one linear map per region (the cube layouts, the rectilinear
// view) or to a turn of their own direction (the equirectangular map), with
// the work per render and per region done once and the
// equirectangular input's lookups four at a time; the same tags as corner
// by corner, and positions within a few float roundings of theirs. False,
// and nothing written, for any other render.
bool mapOutputRow(float x0, float y, std::int32_t count, float s, float ox, float oy, const OutputImageRecord& image,
                  const RenderContext& ctx, RenderCell* cells, MappingScratch& scratch) noexcept;

// The direction the output shows at (a, b): its routine's, after the row's
// pre-warp but before the fold and the rotation; false for an empty sample.
// For tools and tests; model outputs need `scratch.polyJob`.
bool outputDirection(float a, float b, const RenderContext& ctx, MappingScratch& scratch, SphereDir& d) noexcept;

// True when the output has a mapping here: its own routine, the polyhedron
// model (with a prepared model in the context), or neither (false: the
// output maps to empty samples).
bool outputHasMapping(const RenderContext& ctx) noexcept;
bool outputHasOwnRoutine(ProjectionId id) noexcept;

// True when a render of output `id` draws something: its registry row is not
// `pending` (it has a routine sampled here, a polyhedron model that builds
// faces, or it is the special render). False for ids without a row and for
// the outputs that have no mapping yet: a render of them would give only
// empty samples.
bool outputIsDrawn(ProjectionId id) noexcept;

// True when the output's regions are axis-aligned rectangles of an output
// image `pixelsAcross` pixels wide, at least `minPixels` pixels on each side
// (the cells of the cube-map layouts, the frame of an equirectangular or
// rectilinear view), drawn without a fold after the rotation (the pre-warps
// turn directions, never regions). A pixel whose four corners lie in one
// such region has its centre in it too.
bool outputRegionsAreRectangles(const RenderContext& ctx, double pixelsAcross, double minPixels) noexcept;

// True when the output draws one region inside a smooth convex outline whose
// radius of curvature is at least `minPixels` pixels of an output image
// `pixelsAcross` pixels wide (the ellipse of Mollweide's map), without a
// fold after the rotation. No pixel then has its centre inside while its
// four corners are outside (nor the other way round).
bool outputOutlineIsRound(const RenderContext& ctx, double pixelsAcross, double minPixels) noexcept;

// True when the output draws one region inside a polygon or star whose
// sides are at least `minPixels` pixels of an output image `pixelsAcross`
// pixels wide and whose corners are no sharper than a right angle on either
// side (the conformal pentagon, the sunburst), without a fold after the
// rotation. A region that holds a pixel's centre then holds one of its
// corners too: the wedge of at least 90° at a corner of the outline, moved
// to the centre, reaches a corner of the pixel.
bool outputOutlineHasWideCorners(const RenderContext& ctx, double pixelsAcross, double minPixels) noexcept;

// The lighting of the shaded globes (139, 143, 342, 344, 348, 350, 361, 363,
// 365, 367): when the context's output is one and the cell's `regionTag` is
// −7, lights `rgb` (0..1) from the cell's normal with two fixed lights, ramp
// tables, highlights and an atmosphere at the rim. Leaves every other sample
// alone.
void shadeGlobeColour(const RenderContext& ctx, const RenderCell& cell, float rgb[3]) noexcept;

// The same lighting for any sample whose cell holds a normal (the lights'
// y components turned over for the southern variants).
void lightLikeGlobe(const RenderCell& cell, bool southern, float rgb[3]) noexcept;

}  // namespace globaro
