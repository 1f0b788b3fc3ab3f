#pragma once
// The pixel pipeline: for one tile of the render driver, the colour of every
// output pixel. Two passes over the tile's cell grid:
//
// 1. Mapping: the output mapping is evaluated once at every pixel corner
//    (scanline order, or along a Hilbert curve inside 32 x 32 blocks for the
//    outputs drawn from the polyhedron model), one RenderCell per corner.
// 2. Shading: each pixel looks at its four corners. Inside one region it
//    takes one filtered lookup at the averaged input position; across a
//    region edge ("best" quality) it measures the edge analytically or
//    supersamples the pixel. Region colours (glue tabs, gaps, transparent
//    areas, coloured faces), the projection's own shading, the graticule, the
//    outline coverage and the backdrop follow; the final colour is stored in
//    the pixel's cell.
//
// Everything here runs on the job's worker thread: no allocation, no
// exceptions, writes only the job's own cells and scratch.

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "polyhedra/poly_model.h"
#include "projection/output_mapping.h"
#include "projection/render_context.h"
#include "render/blend_modes.h"
#include "render/frame_plan.h"
#include "render/image_pyramid.h"
#include "render/render_driver.h"

namespace globaro {

struct SettingsRecord;

// Shading qualities (`previewQuality`).
inline constexpr int kQualityGood = 1;
inline constexpr int kQualityBetter = 2;
inline constexpr int kQualityBest = 3;

// Grid supersampling of edge pixels.
inline constexpr int kEdgeLineSamples = 41;  // along one axis, offsets -20/40 .. +20/40
inline constexpr int kEdgeGridSide = 7;      // 7 x 7, offsets -3/6 .. +3/6
inline constexpr int kBisectionSteps = 8;
inline constexpr int kHilbertBlock = 32;

// How the input image continues at its edges, for averaging input positions.
enum InputWrap : std::int32_t {
    kInputNoWrap = 0,
    kInputWrapBoth = 1,        // u wraps; v takes the wrap-aware mean too
    kInputWrapHorizontal = 2,  // u wraps (a full panorama)
};

// The wrap of an input projection: the layouts that show the full circle of
// longitude across the whole width (equirectangular, cylindrical, Mercator,
// equal-area cylinder) close around horizontally.
InputWrap inputWrapOf(InputProjectionId input) noexcept;

// ---- the job's cell grid -------------------------------------------------------------

// (job width + 2) x (job height + 2) cells, row-major (zero-filled unless a
// reused grid is allocated without clearing). The cell
// of corner (x, y) (render-rectangle coordinates; corner x lies at the right
// edge of pixel x) is at column x - jobRect.left + 1, row y - jobRect.top + 1;
// it also receives the final colour of pixel (x, y).
struct CellGrid {
    std::vector<RenderCell> cells;
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    TileRect jobRect;  // relative to the render rectangle

    // False when the memory cannot be had. `clear` false keeps whatever an
    // earlier job left in cells that are still there (only new cells are
    // zero-filled): for renders that read no cell field before the mapping
    // or the shading writes it.
    bool allocate(const TileRect& jobRect, bool clear = true);
    RenderCell& at(std::int32_t x, std::int32_t y) {
        return cells[static_cast<std::size_t>((y - jobRect.top + 1) * columns + (x - jobRect.left + 1))];
    }
    const RenderCell& at(std::int32_t x, std::int32_t y) const {
        return cells[static_cast<std::size_t>((y - jobRect.top + 1) * columns + (x - jobRect.left + 1))];
    }
    bool contains(std::int32_t x, std::int32_t y) const {
        return x >= jobRect.left - 1 && x <= jobRect.right && y >= jobRect.top - 1 && y <= jobRect.bottom;
    }
};

// The per-job state of the pipeline: the grid, the mapping's scratch and the
// context's per-job fields.
struct TileState {
    CellGrid grid;
    MappingScratch scratch;
    PolyJobState polyJob;
    bool mappingComplete = false;        // 0 while the mapping pass runs, 1 after it
    float blockValue = 0.0f;             // ((y·119 + x·79) mod 1000) / 1000 of the current block
    float firstA = 0.0f, firstB = 0.0f;  // normalised positions of the first and last corners
    float lastA = 0.0f, lastB = 0.0f;
    // Whether the mapping may gather only the model's faces near the tile
    // (the corner area above, set before `prepareJob`).
    bool clipToTile = true;
    // Replaying a plan: which rows of corners the tile has mapped (height +
    // 1, from the row above the first pixel).
    std::vector<std::uint8_t> cornerMapped;
    // The lookups' scale for the render's pyramid and sharpening.
    LookupScaleCache lookupScale;
    // Counters, for tests and tuning.
    std::uint32_t mappings = 0;  // evaluations of the output mapping
    std::uint32_t lookups = 0;   // filtered lookups of the input
};

// ---- the projection side --------------------------------------------------------------

// What the pipeline asks of the output projection. The module's mapping is
// ContextSampleMapping (the render context and `mapOutputSample`); tests
// supply small mappings of their own.
class SampleMapping {
public:
    virtual ~SampleMapping() = default;
    // Maps the point (x, y) of the output (pixel-corner coordinates of the full
    // output image after the sub-sample scale s and offset (ox, oy), as
    // `mapOutputSample` takes them) into `cell`: resets it, fills it, sets
    // `subTag` last.
    virtual void mapSample(float x, float y, float s, float ox, float oy, const OutputImageRecord& image,
                           std::uint32_t seed, RenderCell& cell, MappingScratch& scratch) const noexcept = 0;
    // Maps `count` corners of one row at once, corner i at (x0 + i, y),
    // into cells[i], each as mapSample would; false (nothing written) when
    // the mapping has no row path for this render.
    virtual bool mapRow(float /*x0*/, float /*y*/, std::int32_t /*count*/, float /*s*/, float /*ox*/, float /*oy*/,
                        const OutputImageRecord& /*image*/, RenderCell* /*cells*/,
                        MappingScratch& /*scratch*/) const noexcept {
        return false;
    }
    // Corners are visited along Hilbert curves in 32 x 32 blocks.
    virtual bool blockOrder() const noexcept { return false; }
    // Whether a frame plan may stand in for the mapping: corners mapped in
    // rows, no shading of samples by the projection (`shadeSample` and
    // `sampleCoverage` leave every sample as it is), no graticule.
    virtual bool plannable() const noexcept { return false; }
    // Calling thread: per-job tables (the polyhedron model's sweep list).
    virtual void prepareJob(TileState& /*state*/) const {}
    // The projection's own shading of a looked-up colour (lighting of globes).
    virtual void shadeSample(const RenderCell& /*cell*/, float /*rgb*/[3]) const noexcept {}
    // How much of a looked-up sample to lay down (0..1): an input may feather
    // its samples towards the edges of what it holds.
    virtual float sampleCoverage(const RenderCell& /*cell*/) const noexcept { return 1.0f; }
    // Whether `shadeSample` or `sampleCoverage` may change a sample; false
    // lets the shading skip both. A mapping that overrides either says so
    // here (the default asks for both).
    virtual bool shadesSamples() const noexcept { return true; }
    // The render context, when there is one (overlays read it).
    virtual const RenderContext* context() const noexcept { return nullptr; }
};

// The module's mapping: the output mapping of a render context.
class ContextSampleMapping : public SampleMapping {
public:
    explicit ContextSampleMapping(const RenderContext& ctx) : ctx_(ctx) {}
    void mapSample(float x, float y, float s, float ox, float oy, const OutputImageRecord& image, std::uint32_t seed,
                   RenderCell& cell, MappingScratch& scratch) const noexcept override;
    bool mapRow(float x0, float y, std::int32_t count, float s, float ox, float oy, const OutputImageRecord& image,
                RenderCell* cells, MappingScratch& scratch) const noexcept override;
    bool blockOrder() const noexcept override;
    bool plannable() const noexcept override;
    void prepareJob(TileState& state) const override;
    void shadeSample(const RenderCell& cell, float rgb[3]) const noexcept override;
    float sampleCoverage(const RenderCell& cell) const noexcept override;
    bool shadesSamples() const noexcept override;
    const RenderContext* context() const noexcept override { return &ctx_; }

private:
    const RenderContext& ctx_;
};

// Overlays of other parts of the render path, called when present.
struct OverlayHooks {
    // Between the mapping and the shading pass, when the render draws lines:
    // accumulates `lineCoverage` in the cells.
    void (*drawTileLines)(const RenderContext& ctx, CellGrid& grid) noexcept = nullptr;
    // At the end of each pixel's shading: the graticule.
    // Reads the pixel's four corners in `grid`; `step` is the preview step.
    void (*drawGraticule)(std::int32_t x, std::int32_t y, ColorRgba& colour, const RenderContext& ctx,
                          const CellGrid& grid, float step) noexcept = nullptr;
    // The colour of face `index` (regionTag + 1) when faces are coloured.
    ColorRgba (*faceColour)(std::int32_t index) noexcept = nullptr;
};

// Where the render rectangle lies in the output image: the corner (x, y) of
// the render rectangle is the point ((left + x)·step + originX, (top + y)·step
// + originY) of the full-resolution output image `image`.
struct OutputPlacement {
    OutputImageRecord image;
    float step = 1.0f;     // the preview step (1 for a full render)
    float originX = 0.0f;  // the preview's origin in full-resolution pixels
    float originY = 0.0f;
    std::int32_t left = 0;  // the render rectangle's top-left (target coordinates)
    std::int32_t top = 0;
};

struct ShadingOptions {
    int quality = kQualityBest;  // 1 good, 2 better, 3 best
    float sharpen = 0.3f;        // `sharpen` / 100
    InputWrap wrap = kInputNoWrap;
    bool transparentGaps = true;  // gaps of nets are transparent (else the gap colour)
    bool facesColoured = false;   // the faces check box
    bool tabsAreRegions = true;   // false for the outputs 45 and 394
    bool tabsTakeFaceColours = false;
    bool keepTransparency = false;  // no backdrop under transparent samples
    bool drawsLines = false;        // apply the cells' line coverage
    // At "best", a pixel whose corners agree has its centre mapped to look
    // for a region smaller than the pixel. Off where no such region can
    // exist (rectangular output regions, or one round outline, over a
    // seamless input).
    bool centreCheck = true;
    ColorRgba tabColour{1, 1, 1, 1};
    ColorRgba gapColour{1, 1, 1, 1};
    ColorRgba backdropColour{1, 1, 1, 1};
    ColorRgba lineColour{0, 0, 0, 1};
};

// Everything a projection render's jobs share (read-only while they run).
struct PipelineConfig {
    const SampleMapping* mapping = nullptr;
    const ImagePyramid* pyramid = nullptr;
    OutputPlacement placement;
    ShadingOptions shading;
    OverlayHooks hooks;
};

// ---- the passes ------------------------------------------------------------------------

// The per-pixel seed: (x·7607) XOR (y·661) in 32-bit arithmetic.
inline std::uint32_t pixelSeed(std::int32_t x, std::int32_t y) noexcept {
    return (static_cast<std::uint32_t>(x) * 7607u) ^ (static_cast<std::uint32_t>(y) * 661u);
}

// Index i (0..1023) of the Hilbert curve through a 32 x 32 block -> (x, y).
void hilbertPoint(std::int32_t i, std::int32_t& x, std::int32_t& y) noexcept;

// The tag hash of a cell: pieceTag·1181 + regionTag·311 (wrapping 32-bit),
// as a float, plus subTag·2099, truncated.
inline std::int32_t tagHash(const RenderCell& cell) noexcept {
    const std::uint32_t mixed = cell.pieceTag * 1181u + static_cast<std::uint32_t>(cell.regionTag) * 311u;
    const float f = static_cast<float>(static_cast<std::int32_t>(mixed)) + static_cast<float>(cell.subTag) * 2099.0f;
    // Truncation; a sum beyond the 32-bit range saturates instead of overflowing.
    if (!(f < 2147483520.0f)) return 2147483647;
    if (!(f > -2147483648.0f)) return -2147483647 - 1;
    return static_cast<std::int32_t>(f);
}

// Wrap-aware mean of two input positions (-1 = none: the other is taken).
inline float meanInputU(float a, float b, InputWrap wrap) noexcept {
    if (a == -1.0f) return b;
    if (b == -1.0f) return a;
    if (wrap != kInputNoWrap && std::fabs(a - b) > 0.5f) {
        const float m = (a + 1.0f + b) * 0.5f;
        return m - std::floor(m);
    }
    return (a + b) * 0.5f;
}

inline float meanInputV(float a, float b, InputWrap wrap) noexcept {
    if (a == -1.0f) return b;
    if (b == -1.0f) return a;
    if (wrap == kInputWrapBoth && std::fabs(a - b) > 0.5f) return (a + 1.0f + b) * 0.5f;
    return (a + b) * 0.5f;
}

// The input position a pixel of one region takes from its four corners (c0
// at the pixel's lower right, c1 left of it, c2 above it, c3 diagonally
// across): the wrap-aware mean, and the footprint from the differences
// between opposite corners (the pixel's diagonals, scaled to its sides). In
// a wrapping input the top and bottom edges are the poles, where u means
// nothing: a corner there lends its v but not its u.
struct CornerMean {
    float u = -1.0f, v = -1.0f;
    Footprint diagonal;
};
CornerMean cornerMean(const RenderCell& c0, const RenderCell& c1, const RenderCell& c2, const RenderCell& c3,
                      InputWrap wrap) noexcept;

// The corner class of an edge pixel from its four corner hashes (0..7).
int cornerClass(std::int32_t h0, std::int32_t h1, std::int32_t h2, std::int32_t h3) noexcept;

// The shading pass's working record of one pixel.
struct PixelVerdict {
    int edgeFlags = 0;                      // bit 1: left and right corners disagree; bit 2: upper and lower
    int cornerClass = 0;                    // 0..7 (edge pixels at "best")
    std::int32_t hashes[4] = {0, 0, 0, 0};  // tag hashes of corners c0..c3
    float inputU[4] = {-1, -1, -1, -1};
    float inputV[4] = {-1, -1, -1, -1};
    int samples = 0;        // samples combined (1 for a single lookup)
    bool analytic = false;  // settled by the two-region method
    ColorRgba result;
};

// Maps a point given in corner coordinates of the render rectangle.
void mapCorner(const PipelineConfig& config, float x, float y, std::uint32_t seed, RenderCell& cell,
               TileState& state) noexcept;

// The normalised positions of the tile's first and last corners.
void tileCornerArea(const PipelineConfig& config, TileState& state) noexcept;

// The mapping pass over every corner of the tile.
void mapTileCorners(const PipelineConfig& config, TileState& state) noexcept;

// The colour of one pixel (x, y) of the tile (its four corners mapped).
// `plainLookup`, when given, says whether the pixel was one lookup at its
// corners' mean with their footprint (what a frame plan replays).
ColorRgba shadePixel(const PipelineConfig& config, std::int32_t x, std::int32_t y, int quality, TileState& state,
                     PixelVerdict* verdict = nullptr, bool* plainLookup = nullptr) noexcept;

// The shading pass: every pixel's final colour into its cell.
void shadeTile(const PipelineConfig& config, TileState& state) noexcept;

// Both passes (with the line overlay between them when the render draws lines).
void renderTile(const PipelineConfig& config, TileState& state) noexcept;

// ---- the projection render ---------------------------------------------------------------

// The jobs of a projection render (kind kProjectionRender): each maps and
// shades its tile on a worker; the calling thread composites it through the
// sink.
class ProjectionWorkload : public TileWorkload {
public:
    explicit ProjectionWorkload(const PipelineConfig& config) : config_(config) {}
    // Jobs gather only the model faces near their tile (default); off, every
    // job takes the whole model (for comparison in tests).
    void setClipToTile(bool clip) { clipToTile_ = clip; }
    // Records the render's tiles into `plan`, or replays them from it
    // (`use`, from FramePlan::begin); renders whose mapping is not
    // plannable, or that draw lines, render in full.
    void setPlan(FramePlan* plan, FramePlan::Use use);
    RenderKind kind() const noexcept override { return kProjectionRender; }
    bool buildJob(RenderJob& job) override;
    void runJob(RenderJob& job) noexcept override;
    std::int16_t deliverJob(RenderJob& job, RenderSink& sink) override;
    // Keeps the job's state for a later job: a render of many tiles then
    // allocates as many cell grids as it has threads, not one per tile.
    void releaseJob(RenderJob& job) noexcept override;

private:
    const PipelineConfig& config_;
    bool clipToTile_ = true;
    FramePlan* plan_ = nullptr;
    FramePlan::Use planUse_ = FramePlan::Use::kNone;
    std::vector<std::unique_ptr<JobPayload>> spare_;
};

// The shading options of a render from the settings and its context:
// quality (the preview quality for the dialog preview, else "best"), sharpen,
// colours, gaps, faces, tabs, lines and transparency.
ShadingOptions shadingOptionsFor(const SettingsRecord& settings, const RenderContext& ctx, int renderTarget) noexcept;

// Whether the "best" quality must map pixel centres to find regions smaller
// than a pixel (`ShadingOptions::centreCheck`) for a render placed so.
bool centreCheckNeeded(const RenderContext& ctx, const OutputPlacement& placement) noexcept;

}  // namespace globaro
