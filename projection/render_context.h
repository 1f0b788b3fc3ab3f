#pragma once
// The render context: everything a render's workers read while they map
// output samples to the sphere, built once per render on the calling thread
// from the settings (render/render_setup.h). Also the per-sample record
// `RenderCell` that the output mapping fills and the pixel pipeline reads.

#include <cstdint>

#include "geometry/projection_id.h"
#include "geometry/sphere_frame.h"
#include "projection/input_projection.h"

namespace globaro {

struct PolyModel;
struct PolyJobState;

struct OutputRow;

// ---- per-sample record ------------------------------------------------------------

// One pixel corner of a tile: 37 four-byte fields in a fixed order. The
// fields named "projectionScratch" and "modelScratch" belong to the
// individual projections and to the polyhedron model: the shared mapping
// only gives them their reset values.
struct RenderCell {
    float inputU;                       //  1 input position, fraction of the input width (−1: none)
    float inputV;                       //  2 input position, fraction of the input height
    float overlayValue;                 //  3 secondary overlay value (projection)
    float overlayWeight;                //  4 secondary overlay weight (projection)
    float secondU;                      //  5 equirectangular position of the direction (graticule), u
    float secondV;                      //  6 the same, v
    float lineValue;                    //  7 first line function of the outline overlay (1 at the start of a mapping)
    float weight;                       //  8 zenith & nadir seam weight; b for the equirectangular output
    float lineValue2;                   //  9 second line function (faces of the model; 1 at the start of a mapping)
    float lineCoverage;                 // 10 accumulated line coverage (not written by the mapping)
    std::int32_t modelScratchIndex;     // 11 the model's (−1 at reset)
    std::uint8_t modelFlags[4];         // 12 the model's flag bytes; byte 2 cleared at reset
    float shadeFactor;                  // 13 brightness factor for the shading pass (1 at reset)
    std::int32_t modelScratchWords[3];  // 14..16 the model's
    float normal[3];                    // 17..19 the direction, kept for the shading of the globe outputs
    std::int32_t mappingScratchWord;    // 20 0 at the start of a mapping, not written otherwise
    float projectionScratch[2];         // 21, 22 the projections' (0 and −1 at the start of a mapping)
    std::int32_t modelScratchPair[2];   // 23, 24 the model's (−1, −1 at reset)
    float modelScratchU;                // 25 the model's (−1 at reset)
    float modelScratchV;                // 26 the model's (−1 at reset)
    std::int32_t faceIndex;             // 27 cube face of the input layouts, or the output's face or gore
    std::int32_t modelScratchCount;     // 28 the model's (0 at reset)
    std::int32_t spareWord;             // 29 not written by the mapping
    std::int32_t regionTag;             // 30 −7 plain map, −9 second half, ≥0 face, ≥3010 tab, −5 empty,
                                        //    < −10000 gap or miss
    std::uint32_t pieceTag;             // 31 region code of the input lookup, or the projection's piece number
    std::uint32_t subTag;               // 32 1 when inputU or inputV lies outside [0, 1]
    std::int32_t modelScratchWord;      // 33 the model's (0 at reset)
    float colour[4];                    // 34..37 final red, green, blue, alpha
};
static_assert(sizeof(RenderCell) == 148, "RenderCell is 37 four-byte fields");

// Tags of `regionTag` that the output mapping writes itself.
inline constexpr std::int32_t kTagPlainMap = -7;
inline constexpr std::int32_t kTagSecondHalf = -9;
inline constexpr std::int32_t kTagEmpty = -5;
inline constexpr std::int32_t kTagCellReset = -7;
inline constexpr std::int32_t kTagInputMiss = -10001;
inline constexpr std::int32_t kTagFirstTab = 3010;

// The reset values of a cell (every field the table of reset values names).
// Inline: every sample of a render starts here.
inline void resetRenderCell(RenderCell& cell) noexcept {
    cell.inputU = -1.0f;
    cell.inputV = -1.0f;
    cell.overlayValue = -1.0f;
    cell.overlayWeight = -1.0f;
    cell.secondU = -1.0f;
    cell.secondV = -1.0f;
    cell.lineValue = 1.0f;
    cell.weight = -1.0f;
    cell.lineValue2 = 1.0f;
    cell.modelScratchIndex = -1;
    cell.modelFlags[2] = 0;
    cell.shadeFactor = 1.0f;
    cell.normal[0] = 0.0f;
    cell.normal[1] = 0.0f;
    cell.normal[2] = 1.0f;
    cell.mappingScratchWord = 0;
    cell.projectionScratch[0] = 0.0f;
    cell.projectionScratch[1] = -1.0f;
    cell.modelScratchPair[0] = -1;
    cell.modelScratchPair[1] = -1;
    cell.modelScratchU = -1.0f;
    cell.modelScratchV = -1.0f;
    cell.faceIndex = -1;
    cell.modelScratchCount = 0;
    cell.regionTag = kTagCellReset;
    cell.pieceTag = 0;
    cell.subTag = 0;
    cell.modelScratchWord = 0;
}

// ---- view frame -------------------------------------------------------------------

// An output's extent box in its own plane units.
struct ExtentBox {
    double x0 = -0.5;
    double x1 = 0.5;
    double y0 = -0.5;
    double y1 = 0.5;
};

// The box fitted into the output image, centred, with square pixels.
struct ViewFrame {
    double x0 = -0.5, x1 = 0.5, y0 = -0.5, y1 = 0.5;  // the extent box
    double aspect = 1.0;                              // A = output height / width
    double cx = 0.0, cy = 0.0;                        // centre of the box
    double k = 1.0;                                   // min(1/(x1 − x0), A/(y1 − y0))
    double scale = 1.0;                               // S = 1/k
    double width = 1.0, height = 1.0;                 // x1 − x0, y1 − y0
    double halfWidth = 0.5, halfHeight = 0.5;
};

ViewFrame makeViewFrame(const ExtentBox& box, double outputAspect) noexcept;

// The plane point of an output position: the frame point
// ((a − 0.5)·S + cx, (b − 0.5)·A·S + cy) and the centred point
// ((a − 0.5 − cx)·S, (b − 0.5)·S·A).
Vec2d framePoint(const ViewFrame& f, double a, double b) noexcept;
Vec2d centredPoint(const ViewFrame& f, double a, double b) noexcept;

// ---- render context ---------------------------------------------------------------

// Render modes.
enum RenderMode : std::int32_t {
    kModeNormal = 0,
    kModeOwnSampler = 1,  // 45, 394, 395, 396: drawn by their own sampler
    kModeSpecial = 2,     // 1045: a special render of `innerProjection`
    kModeSeparate = 3,    // 486: a separate sampler handles the whole sample
};

inline constexpr int kIndicatrixCentreCount = 128;

struct RenderContext;

// A colour step of one output: changes the colour `rgb` (0..1) a sample took
// from the input, from what the mapping left in its cell.
using ColourStep = void (*)(const RenderContext& ctx, const RenderCell& cell, float rgb[3]) noexcept;

struct RenderContext {
    ProjectionId outputProjection = 1;  // as set (1045 for a special render)
    ProjectionId modelProjection = 1;   // the output with 1045 replaced by `innerProjection`
    InputProjectionId inputProjection = 1;
    std::int32_t mode = kModeNormal;
    float latitude = 0.0f, longitude = 0.0f, spin = 0.0f, fov = 0.0f;  // degrees
    RotationRecord rotation;
    RotationRecord tilted;  // the fixed tilted rotation of the tiling outputs
    std::int32_t foldMode = kFoldOff;
    std::int32_t flip = 0;
    std::int32_t anamorphosis = 0;
    float inputAspect = 0.5f;     // input height / width
    std::int32_t inputWidth = 0;  // the input image's size in pixels (0 when unknown)
    std::int32_t inputHeight = 0;
    float outputAspect = 0.5f;  // output height / width
    float wideTan = 0.0f;       // 2·tan(min(fov/180, 0.999)·π/2)
    float narrowTan = 0.0f;     // 2·tan(min(fov/360, 0.999)·π/2)
    float lensShift = 0.0f;     // output 60: tan of the latitude
    ViewFrame frame;
    std::uint8_t usesPolyModel = 0;
    std::uint8_t graticuleOn = 0;
    std::uint8_t indicatrixOn = 0;
    std::uint8_t facesColoured = 0;
    std::uint8_t edgesOn = 0;  // the line functions of face edges and cuts are stored
    std::int32_t grid = 1;     // the graticule spacing (`grid`, 1 none)
    PolyModel* polyModel = nullptr;
    std::int32_t polyStatus = 0;  // what `preparePolyModel` returned
    // The model the "soccer" input reads (a soccer-ball net); null when none.
    const PolyModel* inputModel = nullptr;
    float lineColour[3] = {0.0f, 0.0f, 0.0f};
    float tabColour[3] = {1.0f, 1.0f, 1.0f};
    float gapColour[3] = {1.0f, 1.0f, 1.0f};
    float backdropColour[3] = {1.0f, 1.0f, 1.0f};
    std::int32_t shadedGlobe = 0;     // 0, 1 or 2 (the southern variants)
    ColourStep colourStep = nullptr;  // the output's own colour step, if any
    // Constants of individual outputs.
    float goreCount = 12.0f;   // gores of the gore outputs
    float goreShape = 1.0f;    // 2^(fov/90 − 1), for the tunable gores
    float annulusHole = 0.0f;  // 1 − fov/180 for the annulus
    // The brick preview's ball: its layers, and plates (1) or bricks (0).
    std::int32_t brickLayers = 20;
    std::int32_t brickPlates = 0;
    SphereDir indicatrixCentres[kIndicatrixCentreCount];
    const OutputRow* entry = nullptr;  // the output's row of the registry
    // `inputProjection` resolved by the setup (its registry row and
    // its cube layout); the mapping resolves the id itself when a caller has
    // changed `inputProjection` since.
    ResolvedInput input;
};

// The 128 indicatrix centres (filled by the setup when the indicatrix is on).
void buildIndicatrixCentres(RenderContext& ctx) noexcept;

}  // namespace globaro
