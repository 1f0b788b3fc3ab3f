// The output mapping: the table of output routines, the per-sample order of
// steps from the output position to the input position, and the lighting of
// the shaded globes.

#include "projection/output_mapping.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "polyhedra/glue_tabs.h"
#include "polyhedra/poly_model.h"
#include "polyhedra/poly_summary.h"
#include "projection/catalogue.h"
#include "projection/input_formulas.h"
#include "projection/input_layouts.h"
#include "projection/input_projection.h"
#include "projection/output_formulas.h"
#include "projection/vector_math.h"
#include "settings/settings_record.h"

namespace globaro {

namespace output_detail {

namespace {

constexpr ExtentBox kSquareBox{-0.5, 0.5, -0.5, 0.5};
constexpr ExtentBox kWideBox{-0.5, 0.5, -0.25, 0.25};

constexpr GoreVariant kGores12{12.0f, 2.0f, 0.0f, 0, -1};
constexpr GoreVariant kGores24{24.0f, 2.0f, 0.0f, 0, -1};
constexpr GoreVariant kGores18{18.0f, 2.0f, 0.0f, 0, -1};
constexpr GoreVariant kGores8{8.0f, 2.0f, 0.0f, 0, -1};
constexpr GoreVariant kGoresByFov{0.0f, 2.0f, 0.0f, 0, -1};
constexpr GoreVariant kGores6Of12{12.0f, 1.0f, 0.0f, 3, 8};
constexpr GoreVariant kGores3Of12{12.0f, 0.5f, 0.5f, 5, 7};

constexpr CubeLayout kUnity6Frames = withFaceTurns(
    {6, 1, {{-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}}, {0, 0, 0, 0, 0, 0}, false});
constexpr CubeLayout kFacebook3x2 = withFaceTurns(
    {3, 2, {{-1, 0, 0}, {0, -1, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 0, -1}}, {0, 0, 0, 0, 0, 0}, false});
constexpr CubeLayout kPano2VR3x2 = withFaceTurns(
    {3, 2, {{0, 0, 1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, 0, -1}, {0, -1, 0}}, {0, 0, 0, 0, 0, 0}, true});

constexpr RenderTraits kOwnSampler{kModeOwnSampler, false, 0};
constexpr RenderTraits kSeparateSampler{kModeSeparate, false, 0};
constexpr RenderTraits kTiling{kModeNormal, true, 0};

constexpr ExtentBox cubeBox(const CubeLayout& l) {
    return {-l.columns / 2.0, l.columns / 2.0, -l.rows / 2.0, l.rows / 2.0};
}

using enum PreWarp;
using enum Variant;

// The output table, in ascending id order. Rows without a routine keep the
// extent box, pre-warp or gore count that the render setup and the per-sample
// steps need for outputs drawn by the polyhedron model or by routines kept
// elsewhere; on their own they map to empty samples.
constexpr OutputEntry kOutputTable[] = {
    {1, mapEquirectangular, kWideBox, kNone, kPlain, nullptr, nullptr, {}, 0.5},
    {2, mapMirrorBall, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {3, mapPolar, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {4, mapHalfPolar, kWideBox, kNone, kPlain, nullptr, nullptr},
    {5, mapOrthographic, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {11, mapHammer, kWideBox, kNone, kPlain, nullptr, nullptr},
    {12, mapWerner, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {13, mapSinusoidal, kWideBox, kNone, kPlain, nullptr, nullptr},
    {14, mapRectilinear, kSquareBox, kNone, kPlain, nullptr, nullptr, {}, 1.0},
    {15, mapHyperbolic, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {16, mapStereographic, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {17, mapCylindrical, kSquareBox, kNone, kPlain, nullptr, nullptr, {}, 1.0},
    {18, mapWetch, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {20, nullptr, kWideBox, kNone, kPlain, nullptr, nullptr},
    {35, mapWinkelTripel, {-2.570796326312263, 2.570796326312263, -1.5707963267948966, 1.5707963267948966},
     kNone, kPlain, nullptr, nullptr},
    {36, mapGores, kWideBox, kNone, kPlain, &kGores12, nullptr},
    {37, mapGores, kWideBox, kNone, kPlain, &kGores24, nullptr},
    {38, mapGores, kWideBox, kNone, kPlain, &kGoresByFov, nullptr},
    {40, nullptr, kWideBox, kNone, kPlain, nullptr, nullptr},
    {45, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kOwnSampler},
    // The ellipse of semi-axes 0.5 and 0.25: radius of curvature 0.25²/0.5
    // at the ends of the long axis.
    {46, mapMollweide, kWideBox, kNone, kPlain, nullptr, nullptr, {}, 0.0, 0.125},
    {50, mapPolar, kSquareBox, kNone, kMagnipolar, nullptr, nullptr},
    // 6 of 12 gores: a square of six whole gores; 3 of 12: three gores, twice as tall as wide.
    {53, mapGores, kSquareBox, kNone, kPlain, &kGores6Of12, nullptr},
    {59, mapPolar, kSquareBox, kNone, kAnnulus, nullptr, nullptr},
    {60, mapRectilinear, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {61, mapGores, {-0.5, 0.5, -1.0, 1.0}, kNone, kPlain, &kGores3Of12, nullptr},
    {62, mapMercator, kSquareBox, kNone, kPlain, nullptr, nullptr, {}, 1.0},
    {63, nullptr, kSquareBox, kNone, kPlain, &kGores8, nullptr},
    {64, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {73, nullptr, kSquareBox, kNone, kPlain, &kGores12, nullptr},
    {74, nullptr, kSquareBox, kNone, kPlain, &kGores12, nullptr},
    {75, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, {kModeNormal, false, 6}},
    {76, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, {kModeNormal, false, 9}},
    {77, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, {kModeNormal, false, 27}},
    {78, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, {kModeNormal, false, 33}},
    {79, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, {kModeNormal, false, 54}},
    {80, mapRobinson, {-1.0, 1.0, -0.5, 0.5}, kNone, kPlain, nullptr, nullptr},
    {81, mapEquiTall, kWideBox, kNone, kPlain, nullptr, nullptr, {}, 0.5},
    {84, nullptr, {-2.416, 2.416, -1.416, 1.416}, kNone, kPlain, nullptr, nullptr},
    {117, nullptr, kSquareBox, kPowerSquare, kPlain, nullptr, nullptr},
    {121, nullptr, {-0.662304544626003, 0.662304544626003, -0.4343354807430048, 0.4343354807430048}, kNone, kPlain,
     nullptr, nullptr},
    {134, mapOrthographic, kSquareBox, kPowerSquare, kPlain, nullptr, nullptr},
    {138, nullptr, kWideBox, kNone, kPlain, nullptr, nullptr},
    {139, mapOrthographic, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {142, nullptr, kSquareBox, kPowerSquare, kPlain, nullptr, nullptr},
    {143, mapOrthographic, kSquareBox, kPowerSquare, kPlain, nullptr, nullptr},
    {171, mapZenithNadir, kWideBox, kNone, kPlain, nullptr, nullptr, {}, 0.5},
    {255, mapPanini, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {288, nullptr, kSquareBox, kNone, kPlain, &kGoresByFov, nullptr},
    {297, mapAboveAndBelow, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {298, mapUpAndDown, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {299, mapEquirectangular, kWideBox, kNone, kPlain, nullptr, nullptr},
    {300, nullptr, kSquareBox, kNone, kPlain, &kGoresByFov, nullptr},
    {301, nullptr, kSquareBox, kNone, kPlain, &kGoresByFov, nullptr},
    {337, mapCubeLayout, cubeBox(kUnity6Frames), kNone, kPlain, nullptr, &kUnity6Frames, {}, 1.0},
    {338, mapCubeLayout, cubeBox(kFacebook3x2), kNone, kPlain, nullptr, &kFacebook3x2, {}, 1.0},
    {339, mapCubeLayout, cubeBox(kPano2VR3x2), kNone, kPlain, nullptr, &kPano2VR3x2, {}, 1.0},
    {340, mapLaskowski, {-3.064731, 3.064731, -1.783395, 1.783395}, kNone, kPlain, nullptr, nullptr},
    {345, nullptr, kWideBox, kNone, kPlain, nullptr, nullptr},
    {346, nullptr, {-1.068, 1.068, -0.8505, 1.179}, kNone, kPlain, nullptr, nullptr},
    {351, nullptr, kSquareBox, kPowerSquare, kPlain, nullptr, nullptr},
    {352, nullptr, kSquareBox, kPowerSquare, kPlain, nullptr, nullptr},
    {354, mapCanters, {-2.92325, 2.92325, -1.70905, 1.70905}, kNone, kPlain, nullptr, nullptr},
    {355, mapNaturalEarth, {-2.73538, 2.73538, -1.42239, 1.42239}, kNone, kPlain, nullptr, nullptr},
    {356, nullptr, kWideBox, kNone, kPlain, nullptr, nullptr},
    {357, nullptr, {-0.5, 0.5, -0.26825, 0.26825}, kNone, kPlain, nullptr, nullptr},
    {358, mapGinzburg8, {-2.44172, 2.44172, -1.89378, 1.89378}, kNone, kPlain, nullptr, nullptr},
    {359, mapLarrivee, {-3.141592653, 3.141592653, -2.5648, 2.5648}, kNone, kPlain, nullptr, nullptr},
    {368, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {369, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {370, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {371, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {372, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {373, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {374, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {375, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {376, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {377, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {378, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {379, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {380, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {381, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {382, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kTiling},
    {394, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kOwnSampler},
    {395, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kOwnSampler},
    {396, nullptr, {-0.6052834046956846, 0.6052834046956846, -0.428, 0.428}, kNone, kPlain, nullptr, nullptr,
     kOwnSampler},
    {397, nullptr, {-2.484446397593003, 2.484446397593003, -1.564091933, 1.564091933}, kNone, kPlain, nullptr,
     nullptr},
    {398, mapEckertIV, kWideBox, kNone, kPlain, nullptr, nullptr},
    {399, mapHillEucyclic, {-2.59209, 2.59209, -1.45394865, 1.5246}, kNone, kPlain, nullptr, nullptr},
    {400, nullptr, {-kPi, kPi, -kPi, kPi}, kNone, kPlain, nullptr, nullptr},
    {401, nullptr, {-kPi, kPi, -kPi, kPi}, kNone, kPlain, nullptr, nullptr},
    {408, nullptr, kSquareBox, kTurn20, kPlain, nullptr, nullptr},
    {414, nullptr, {-0.5, 0.5, -0.26825, 0.26825}, kNone, kPlain, nullptr, nullptr},
    {486, nullptr, kSquareBox, kNone, kPlain, nullptr, nullptr, kSeparateSampler},
    {566, nullptr, {-6.0, 6.0, -6.0, 6.0}, kNone, kPlain, nullptr, nullptr},
    {900, mapLambertAzimuthal, kSquareBox, kNone, kPlain, nullptr, nullptr},
    {1044, mapGores, kWideBox, kNone, kPlain, &kGores18, nullptr},
    {100335, mapLogarithmic, kSquareBox, kNone, kPlain, nullptr, nullptr},
};

constexpr bool tableIsSorted() {
    for (std::size_t i = 1; i < std::size(kOutputTable); ++i) {
        if (kOutputTable[i - 1].id >= kOutputTable[i].id) return false;
    }
    return true;
}
static_assert(tableIsSorted(), "the output table is kept in ascending id order");

}  // namespace

std::span<const OutputEntry> outputTable() noexcept { return kOutputTable; }

const OutputEntry* findOutputEntry(ProjectionId id) noexcept {
    const auto* end = std::end(kOutputTable);
    const auto* it =
        std::lower_bound(std::begin(kOutputTable), end, id, [](const OutputEntry& e, ProjectionId v) { return e.id < v; });
    return it != end && it->id == id ? it : nullptr;
}

}  // namespace output_detail

namespace {

using namespace output_detail;

// The per-output pre-warp, applied just before the rotation.
SphereDir applyPreWarp(PreWarp warp, const SphereDir& d) noexcept {
    switch (warp) {
        case PreWarp::kPowerSquare:
            return toSphereDir(powerWarp(toVec3d(d), 2.0));
        case PreWarp::kTurn20: {
            // (z + i·x)·e^{i·0.3490658503988659}
            constexpr double c = 0.9396926207859084;
            constexpr double s = 0.3420201433256687;
            const double z = static_cast<double>(d.z) * c - static_cast<double>(d.x) * s;
            const double x = static_cast<double>(d.z) * s + static_cast<double>(d.x) * c;
            return {static_cast<float>(x), d.y, static_cast<float>(z)};
        }
        case PreWarp::kNone:
            break;
    }
    return d;
}

// The start-of-mapping values: the reset values (which already hold the
// line values, the normal and the auxiliary words a mapping starts from),
// with the sample empty until the output says otherwise.
void startMapping(RenderCell& cell) noexcept {
    resetRenderCell(cell);
    cell.regionTag = kTagEmpty;
}

// What the plane mapping found.
struct PlaneAnswer {
    OutputResult result;
    bool fromModel = false;
    std::int32_t modelFace = -1;
    std::int32_t modelTag = kTagEmpty;  // the model's own tag on a miss
    float lineValue2 = 1.0f;            // the model's edge line function (faces only)
};

// Step 4 and 5 for the outputs the polyhedron model draws.
void mapPlaneByModel(float a, float b, const RenderContext& ctx, MappingScratch& scratch, PlaneAnswer& out) noexcept {
    out.fromModel = true;
    out.modelTag = kTagInputMiss;  // the gap outside the net
    if (ctx.polyModel == nullptr || scratch.polyJob == nullptr) return;
    const PolyModel& model = *ctx.polyModel;
    SphereDir d;
    const NetHit hit = netPointToSphere(model, *scratch.polyJob, a, b * model.frameHeight, d);
    if (hit.kind == NetHitKind::kFace) {
        setHit(out.result, d);
        out.modelFace = hit.face;
        out.result.ownTag = true;
        out.result.regionTag = hit.face;
        out.result.face = hit.face;
        if (ctx.edgesOn != 0) out.lineValue2 = netEdgeLineValue(model, hit);
    } else if (hit.kind == NetHitKind::kMark) {
        // A glue tab or mark: painted in the tab colour, not sampled.
        out.modelTag = kTagFirstTab + std::max<std::int32_t>(hit.face, 0);
    }
}

// Step 4 and 5: the output's own routine, or the polyhedron model.
inline void mapPlane(float a, float b, const RenderContext& ctx, MappingScratch& scratch, PlaneAnswer& out) noexcept {
    if (ctx.usesPolyModel != 0) {
        mapPlaneByModel(a, b, ctx, scratch, out);
        return;
    }
    const OutputEntry* e = ctx.entry;
    if (e == nullptr || e->map == nullptr) return;
    e->map(OutputCall{ctx, *e, a, b}, out.result);
}

// Step 9: the indicatrix distance of d to its nearest circle centre.
void recordIndicatrix(const RenderContext& ctx, const SphereDir& d, RenderCell& cell,
                      MappingScratch& scratch) noexcept {
    constexpr float kRadius2 = 0.0225f;
    cell.lineValue = kRadius2;
    std::int32_t start = scratch.indicatrixLastHit;
    if (start < 0 || start >= kIndicatrixCentreCount) start = 0;
    for (int n = 0; n < kIndicatrixCentreCount; ++n) {
        const int i = (start + n) % kIndicatrixCentreCount;
        const SphereDir& c = ctx.indicatrixCentres[i];
        const float dx = d.x - c.x;
        const float dy = d.y - c.y;
        const float dz = d.z - c.z;
        const float dist2 = dx * dx + dy * dy + dz * dz;
        if (dist2 < kRadius2) {
            cell.lineValue = dist2;
            scratch.indicatrixLastHit = i;
            return;
        }
    }
}

inline float cleanNumber(float v) noexcept { return std::isnan(v) ? 0.0f : v; }

void finishSample(RenderCell& cell) noexcept {
    const float u = cleanNumber(cell.inputU);
    const float v = cleanNumber(cell.inputV);
    cell.inputU = u;
    cell.inputV = v;
    cell.subTag = (u >= 0.0f && u <= 1.0f && v >= 0.0f && v <= 1.0f) ? 0u : 1u;
}

// Half a source pixel as a fraction of a cell of the cube-layout input, per
// axis; leaves a margin alone when the source's size along it is unknown.
void cubeCellMargins(const RenderContext& ctx, const CubeInputLayout& layout, float& marginU,
                     float& marginV) noexcept {
    if (ctx.inputWidth > 0) marginU = 0.5f * static_cast<float>(layout.columns) / static_cast<float>(ctx.inputWidth);
    if (ctx.inputHeight > 0) marginV = 0.5f * static_cast<float>(layout.rows) / static_cast<float>(ctx.inputHeight);
}

// Steps 8 to 9: fold, pre-warp, rotation, fold, input lookup, graticule.
// Inlined into both callers, so that the common sample (no fold, no
// pre-warp, no overlays) runs straight through.
inline void lookUpTurned(const SphereDir& d, const RenderContext& ctx, RenderCell& cell, MappingScratch& scratch,
                         std::int32_t modelFace, SphereDir* lookedUp) noexcept;

[[gnu::always_inline]] inline void lookUp(SphereDir d, bool applyWarps, const RenderContext& ctx, RenderCell& cell,
                                          MappingScratch& scratch, std::int32_t modelFace,
                                          SphereDir* lookedUp) noexcept {
    if (applyWarps) {
        if (ctx.foldMode == kFoldBeforeRotation) d = halfAngleFold(d);
        if (ctx.entry != nullptr && ctx.entry->preWarp != PreWarp::kNone) d = applyPreWarp(ctx.entry->preWarp, d);
    }
    d = rotate(ctx.rotation, d);
    if (applyWarps && ctx.foldMode == kFoldAfterRotation) d = halfAngleFold(d);
    lookUpTurned(d, ctx, cell, scratch, modelFace, lookedUp);
}

// The steps of lookUp after the view rotation: the input lookup and the
// overlays' values of the turned direction d.
[[gnu::always_inline]] inline void lookUpTurned(const SphereDir& d, const RenderContext& ctx, RenderCell& cell,
                                                MappingScratch& scratch, std::int32_t modelFace,
                                                SphereDir* lookedUp) noexcept {
    if (lookedUp != nullptr) *lookedUp = d;

    // The input resolved by the setup, unless the caller has changed it since.
    const input_detail::InputEntry* inputEntry = ctx.input.entry;
    const CubeInputLayout* cubeLayout = ctx.input.cubeLayout;
    if (!ctx.input.resolved || ctx.input.id != ctx.inputProjection) [[unlikely]] {
        const ResolvedInput changed = resolveInput(ctx.inputProjection);
        inputEntry = changed.entry;
        cubeLayout = changed.cubeLayout;
    }
    InputSample s;
    s.weight = cell.weight;
    input_detail::lookUpInput(inputEntry, ctx.flip, ctx.inputAspect, d, s, ctx.inputModel);
    // The cube-layout inputs answer a face and a face-local position; the
    // face is placed in its cell of the layout here (other inputs are left
    // alone), half a source pixel inside the cell when the source's size is
    // known, so that the filtered lookup never reads the neighbouring face.
    if (s.faceIndex >= 0 && !s.miss && cubeLayout != nullptr) {
        float marginU = kCubeCellMargin;
        float marginV = kCubeCellMargin;
        cubeCellMargins(ctx, *cubeLayout, marginU, marginV);
        placeInCubeLayout(*cubeLayout, s.faceIndex, s.u, s.v, marginU, marginV);
    }
    cell.inputU = s.u;
    cell.inputV = s.v;
    cell.weight = s.weight;
    cell.pieceTag = s.regionCode;
    if (s.faceIndex >= 0) cell.faceIndex = s.faceIndex;
    if (s.miss) cell.regionTag = modelFace >= 0 ? kTagInputMiss - modelFace : kTagInputMiss;

    if (ctx.graticuleOn != 0) {
        const Vec2d e = modelEquirectFromDirection(toVec3d(d));
        float u = 1.0f - static_cast<float>(e.x);
        if (ctx.flip != 0) u = 1.0f - u;
        cell.secondU = u;
        cell.secondV = static_cast<float>(e.y);
    }
    if (ctx.indicatrixOn != 0) recordIndicatrix(ctx, d, cell, scratch);
}

// What a plane answer leaves in a freshly started cell before the lookup:
// the weight, face, normal and region tag it gives. A miss finishes the
// cell and answers false.
inline bool takePlaneAnswer(const PlaneAnswer& answer, const RenderContext& ctx, RenderCell& cell) noexcept {
    const OutputResult& r = answer.result;
    if (r.storeWeight) cell.weight = r.weight;
    if (!r.hit) {
        cell.regionTag = answer.fromModel ? answer.modelTag : kTagEmpty;
        // Outside the outline of a map or layout: the outline is where the
        // first line function falls from 1 to 0.
        if (ctx.edgesOn != 0 && !answer.fromModel) cell.lineValue = 0.0f;
        finishSample(cell);
        return false;
    }
    // The edge lines: the model's signed distance to the face's sides, or
    // for the faces and gores of a layout +-0.5 by the parity of the face
    // number, so that the second line function changes sign at each cut.
    if (ctx.edgesOn != 0) {
        if (answer.fromModel) {
            cell.lineValue2 = answer.lineValue2;
        } else if (r.face >= 0) {
            cell.lineValue2 = (r.face & 1) != 0 ? -0.5f : 0.5f;
        }
    }
    if (r.face >= 0) cell.faceIndex = r.face;
    if (r.storeNormal) {
        cell.normal[0] = r.d.x;
        cell.normal[1] = r.d.y;
        cell.normal[2] = r.d.z;
    }
    if (r.ownTag) {
        cell.regionTag = r.regionTag;
    } else if (!answer.fromModel && cell.regionTag > kTagSecondHalf) {
        cell.regionTag = kTagPlainMap;
    }
    return true;
}

// The samples of the renders that are not plain output mappings: the
// outputs drawn by their own samplers (not mapped here) and the special
// render.
[[gnu::noinline]] bool mapOtherModeSample(float a, float b, const RenderContext& ctx, RenderCell& cell,
                                          MappingScratch& scratch, SphereDir* lookedUp) noexcept {
    // Outputs drawn by their own samplers are not mapped here.
    if (ctx.mode == kModeOwnSampler || ctx.mode == kModeSeparate) {
        finishSample(cell);
        return false;
    }
    // A special render: the equirectangular position, turned, and the
    // model's face under the direction.
    const SphereDir e = equirectDirection(a, b);
    std::int32_t face = -1;
    if (ctx.polyModel != nullptr) {
        InverseHit hit;
        if (inverseLookup(*ctx.polyModel, rotate(ctx.rotation, e), nullptr, hit)) face = hit.face;
    }
    cell.regionTag = face >= 0 ? face : kTagPlainMap;
    cell.faceIndex = face;
    lookUp(e, false, ctx, cell, scratch, face, lookedUp);
    finishSample(cell);
    return true;
}

}  // namespace

bool outputToSphere(float a, float b, const RenderContext& ctx, RenderCell& cell, MappingScratch& scratch,
                    SphereDir* lookedUp) noexcept {
    startMapping(cell);
    if (ctx.mode != kModeNormal &&
        (ctx.mode == kModeOwnSampler || ctx.mode == kModeSeparate || ctx.mode == kModeSpecial)) {
        return mapOtherModeSample(a, b, ctx, cell, scratch, lookedUp);
    }

    PlaneAnswer answer;
    mapPlane(a, b, ctx, scratch, answer);
    if (!takePlaneAnswer(answer, ctx, cell)) return false;
    lookUp(answer.result.d, true, ctx, cell, scratch, answer.modelFace, lookedUp);
    finishSample(cell);
    return true;
}

void mapOutputSample(float x, float y, float s, float ox, float oy, const OutputImageRecord& image,
                     std::uint32_t seed, const RenderContext& ctx, RenderCell& cell, MappingScratch& scratch) noexcept {
    (void)seed;
    const OutputPosition p = normalisedOutputPosition(x, y, s, ox, oy, image);
    outputToSphere(p.a, p.b, ctx, cell, scratch);
}

namespace {

// The shapes of the row path: outputs whose direction is one linear map per
// region of a face-local point (lx, ly, 1), before the length is divided out
// (cube cells, the rectilinear view); the equirectangular map, whose
// direction is turned as it is; and every other output routine, called
// corner by corner, whose directions are then turned and looked up together.
enum class RowShape { kNone, kCubeCells, kRectilinear, kEquirectangular, kRoutine };

// The row path serves renders of the output routines drawn without warps,
// folds or overlays that need the direction.
RowShape rowShapeOf(const RenderContext& ctx) noexcept {
    const OutputEntry* e = ctx.entry;
    if (ctx.mode != kModeNormal || ctx.usesPolyModel != 0 || e == nullptr || e->map == nullptr)
        return RowShape::kNone;
    if (e->preWarp != PreWarp::kNone || ctx.foldMode == kFoldBeforeRotation || ctx.foldMode == kFoldAfterRotation)
        return RowShape::kNone;
    if (ctx.graticuleOn != 0 || ctx.indicatrixOn != 0 || ctx.edgesOn != 0) return RowShape::kNone;
    if (e->map == mapRectilinear) return RowShape::kRectilinear;
    if (e->map == mapEquirectangular) return RowShape::kEquirectangular;
    if (e->map != mapCubeLayout || e->cube == nullptr) return RowShape::kRoutine;
    for (float roll : e->cube->roll)
        if (roll != 0.0f) return RowShape::kRoutine;
    return RowShape::kCubeCells;
}

}  // namespace

bool mapOutputRow(float x0, float y, std::int32_t count, float s, float ox, float oy, const OutputImageRecord& image,
                  const RenderContext& ctx, RenderCell* cells, MappingScratch& scratch) noexcept {
    const RowShape shape = rowShapeOf(ctx);
    if (shape == RowShape::kNone) return false;
    const bool cube = shape == RowShape::kCubeCells;
    const CubeLayout* layout = cube ? ctx.entry->cube : nullptr;
    // Each region's map and the view rotation are linear: together one
    // matrix, applied to (lx, ly, 1) before the length is divided out. The
    // cells of a cube layout turn the point onto their faces; the
    // rectilinear view's single region takes it as it is.
    constexpr SphereDir kBasis[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    SphereDir turned[6][3];
    for (int c = 0; c < (cube ? 6 : 1); ++c)
        for (int k = 0; k < 3; ++k)
            turned[c][k] = rotate(ctx.rotation, cube ? cubeFaceDirection(*layout, c, kBasis[k]) : kBasis[k]);
    const ViewFrame& f = ctx.frame;
    // Over the equirectangular input the lookups of four corners run
    // together in the vector unit, as the input's own routine computes them.
    const bool equirectangular = ctx.input.resolved && ctx.input.id == ctx.inputProjection &&
                                 ctx.input.entry != nullptr && ctx.input.entry->lookup == input_detail::lookupEquirectangular &&
                                 !ctx.input.entry->rightHalfRule;
    using vector_math::Vec4f;
    for (std::int32_t first = 0; first < count; first += 4) {
        const int lanes = std::min<std::int32_t>(4, count - first);
        // Per corner: the region and face-local point as the output's own
        // routine finds them (the same expressions), and the turned,
        // unnormalised direction.
        int indexOf[4] = {-1, -1, -1, -1};
        std::int32_t tagOf[4] = {0, 0, 0, 0};
        float weightOf[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        Vec4f tx = vector_math::splat(0.0f), ty = tx, tz = vector_math::splat(1.0f);
        for (int lane = 0; lane < lanes; ++lane) {
            const OutputPosition p =
                normalisedOutputPosition(x0 + static_cast<float>(first + lane), y, s, ox, oy, image);
            float lx = 0.0f, ly = 0.0f, lz = 1.0f;
            int index = 0;
            if (shape == RowShape::kRoutine) {
                // The output's own routine, and what outputToSphere makes of
                // its answer before the lookup.
                RenderCell& cell = cells[first + lane];
                startMapping(cell);
                PlaneAnswer answer;
                ctx.entry->map(OutputCall{ctx, *ctx.entry, p.a, p.b}, answer.result);
                if (!takePlaneAnswer(answer, ctx, cell)) continue;
                lx = answer.result.d.x;
                ly = answer.result.d.y;
                lz = answer.result.d.z;
            } else if (shape == RowShape::kEquirectangular) {
                // As mapEquirectangular finds its direction (it keeps b as
                // the weight, and the plain map's tag).
                float w = 0.0f, h = 0.0f;
                if (!equirectMapPosition(f, p.a, p.b, w, h)) {
                    outputToSphere(p.a, p.b, ctx, cells[first + lane], scratch);  // outside the map
                    continue;
                }
                const SphereDir e = equirectDirection(1.0f - w, h);
                lx = e.x;
                ly = e.y;
                lz = e.z;
                weightOf[lane] = p.b;
                tagOf[lane] = kTagPlainMap;
            } else if (cube) {
                // As mapCubeLayout finds its cell.
                const CubeCellPoint q = cubeCellPoint(*layout, (p.a - 0.5) * f.scale + f.cx,
                                                      (p.b - 0.5) * f.aspect * f.scale + f.cy);
                if (!q.inside) {
                    outputToSphere(p.a, p.b, ctx, cells[first + lane], scratch);  // outside the cells: the usual steps
                    continue;
                }
                index = q.index;
                tagOf[lane] = layout->topRowSharesTag && q.row == 0 ? 0 : index;
                lx = q.lx;
                ly = q.ly;
            } else {
                // As mapRectilinear finds its plane point.
                rectilinearPlanePoint(ctx, p.a, p.b, lx, ly);
                tagOf[lane] = kTagPlainMap;
            }
            indexOf[lane] = index;
            const SphereDir (&m)[3] = turned[index];
            tx[lane] = m[0].x * lx + m[1].x * ly + m[2].x * lz;
            ty[lane] = m[0].y * lx + m[1].y * ly + m[2].y * lz;
            tz[lane] = m[0].z * lx + m[1].z * ly + m[2].z * lz;
        }
        // The unit directions (the turned point is at least 1 long, or unit
        // already for the equirectangular map and the routines).
        const Vec4f inverse = vector_math::splat(1.0f) / vector_math::sqrt(tx * tx + ty * ty + tz * tz);
        const Vec4f dx = tx * inverse, dy = ty * inverse, dz = tz * inverse;
        Vec4f u = vector_math::splat(0.0f), v = u;
        if (equirectangular) {
            // u = 1 − (atan2(x, z) + π)/(2π), v = acos(y)/π with y limited to [−1, 1].
            u = vector_math::splat(1.0f) - (vector_math::atan2(dx, dz) + vector_math::splat(vector_math::kPi)) *
                                               vector_math::splat(0.15915494f);
            const Vec4f cy = dy > vector_math::splat(1.0f) ? vector_math::splat(1.0f)
                                                            : (dy < vector_math::splat(-1.0f) ? vector_math::splat(-1.0f) : dy);
            v = vector_math::acos(cy) * vector_math::splat(input_detail::kInvPiF);
        }
        for (int lane = 0; lane < lanes; ++lane) {
            if (indexOf[lane] < 0) continue;
            RenderCell& cell = cells[first + lane];
            if (shape != RowShape::kRoutine) {  // (the routine's cells are set up already)
                startMapping(cell);
                if (cube) cell.faceIndex = indexOf[lane];
                if (shape == RowShape::kEquirectangular) cell.weight = weightOf[lane];
                cell.regionTag = tagOf[lane];
            }
            if (equirectangular && (dx[lane] != 0.0f || dz[lane] != 0.0f) && std::isfinite(u[lane]) &&
                std::isfinite(v[lane])) {
                // What the lookup of the equirectangular input leaves in a
                // cell: the position (mirrored by the flip), the default
                // region code, the weight as it was.
                cell.inputU = ctx.flip != 0 ? 1.0f - u[lane] : u[lane];
                cell.inputV = v[lane];
                cell.pieceTag = InputSample::kDefaultRegionCode;
            } else {
                // Other inputs, and the poles, where atan2 of two zeros
                // keeps the library's answer: the usual lookup (of a
                // routine's direction turned as it came).
                const SphereDir d = shape == RowShape::kRoutine ? SphereDir{tx[lane], ty[lane], tz[lane]}
                                                                : SphereDir{dx[lane], dy[lane], dz[lane]};
                lookUpTurned(d, ctx, cell, scratch, -1, nullptr);
            }
            finishSample(cell);
        }
    }
    return true;
}

bool outputDirection(float a, float b, const RenderContext& ctx, MappingScratch& scratch, SphereDir& d) noexcept {
    if (ctx.mode != kModeNormal) {
        if (ctx.mode != kModeSpecial) return false;
        d = equirectDirection(a, b);
        return true;
    }
    PlaneAnswer answer;
    mapPlane(a, b, ctx, scratch, answer);
    if (!answer.result.hit) return false;
    d = answer.result.d;
    return true;
}

bool outputHasOwnRoutine(ProjectionId id) noexcept {
    const OutputEntry* e = findOutputEntry(id);
    return e != nullptr && e->map != nullptr;
}

namespace {

// Whether a plain render of the output's own routine (no model, warp or
// fold after the rotation) draws `planeUnits` (a size of the output's table
// row, in plane units) at least `minPixels` pixels of an output image
// `pixelsAcross` pixels wide; false when the size is not given.
bool routineSizeInPixelsAtLeast(const RenderContext& ctx, double planeUnits, double pixelsAcross,
                                double minPixels) noexcept {
    if (ctx.mode != kModeNormal || ctx.usesPolyModel != 0 || ctx.entry == nullptr || ctx.entry->map == nullptr ||
        !(planeUnits > 0.0))
        return false;
    if (ctx.entry->preWarp != PreWarp::kNone || ctx.foldMode == kFoldAfterRotation) return false;
    // The frame puts S plane units across the width, with square pixels.
    const double pixels = planeUnits * pixelsAcross / ctx.frame.scale;
    return std::isfinite(pixels) && pixels >= minPixels;
}

}  // namespace

bool outputRegionsAreRectangles(const RenderContext& ctx, double pixelsAcross, double minPixels) noexcept {
    return ctx.entry != nullptr &&
           routineSizeInPixelsAtLeast(ctx, ctx.entry->rectangleSide, pixelsAcross, minPixels);
}

bool outputOutlineIsRound(const RenderContext& ctx, double pixelsAcross, double minPixels) noexcept {
    return ctx.entry != nullptr &&
           routineSizeInPixelsAtLeast(ctx, ctx.entry->outlineRadius, pixelsAcross, minPixels);
}

bool outputHasMapping(const RenderContext& ctx) noexcept {
    if (ctx.mode == kModeSpecial) return true;
    if (ctx.mode != kModeNormal) return false;
    if (ctx.usesPolyModel != 0) return ctx.polyModel != nullptr && ctx.polyModel->triangleCount > 0;
    return ctx.entry != nullptr && ctx.entry->map != nullptr;
}

bool outputIsDrawn(ProjectionId id) noexcept {
    if (id == kSpecialRenderProjection) return true;
    const OutputEntry* e = findOutputEntry(id);
    // The same order as a render: the mode first, then the model, then the routine.
    if (e != nullptr && e->traits.mode != kModeNormal) return false;
    if (usesPolyModel(id)) {
        // The model as a render of the whole net builds it; the frame's
        // height does not change whether faces come out.
        PolyModelSummary model;
        return summarisePolyOutput(id, 0.5f, model) && model.faces > 0 && model.triangles > model.markTriangles;
    }
    return e != nullptr && e->map != nullptr;
}

// ---- globe lighting ------------------------------------------------------------------

namespace {

// Ramp tables over the diffuse term t in [−1, 1] (9 knots, step 0.25): the
// key light is a warm sunlight that falls to a dim bluish night side, the
// fill light a faint cool sky from the other side.
constexpr std::array<std::array<float, 9>, 3> kKeyRamp{{
    {0.10f, 0.10f, 0.11f, 0.14f, 0.22f, 0.52f, 0.80f, 0.97f, 1.08f},  // red
    {0.11f, 0.11f, 0.12f, 0.15f, 0.22f, 0.50f, 0.78f, 0.95f, 1.04f},  // green
    {0.16f, 0.16f, 0.17f, 0.19f, 0.24f, 0.48f, 0.74f, 0.90f, 0.97f},  // blue
}};
constexpr std::array<std::array<float, 9>, 3> kFillRamp{{
    {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.04f, 0.08f, 0.12f, 0.15f},
    {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.05f, 0.10f, 0.15f, 0.19f},
    {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.07f, 0.14f, 0.21f, 0.27f},
}};

float ramp(const std::array<float, 9>& table, float t) noexcept {
    float pos = (std::clamp(t, -1.0f, 1.0f) + 1.0f) * 4.0f;
    const int i = std::clamp(static_cast<int>(std::floor(pos)), 0, 7);
    const float f = pos - static_cast<float>(i);
    return table[static_cast<std::size_t>(i)] + (table[static_cast<std::size_t>(i) + 1] - table[static_cast<std::size_t>(i)]) * f;
}

float diffuseTerm(const SphereDir& n, const SphereDir& l) noexcept {
    return 1.0f - std::acos(std::clamp(dot(n, l), -1.0f, 1.0f)) / 1.5707964f;
}

// The highlight of light l for the viewer on +z: r is the view direction
// reflected about the normal.
float highlight(const SphereDir& r, const SphereDir& l) noexcept {
    const float h = std::fmax(0.0f, (dot(r, l) - 0.99f) * 100.0f);
    return h * h * h * h * h * 0.7f;
}

}  // namespace

void shadeGlobeColour(const RenderContext& ctx, const RenderCell& cell, float rgb[3]) noexcept {
    if (ctx.shadedGlobe == 0 || cell.regionTag != kTagPlainMap) return;
    const float flipY = ctx.shadedGlobe == 2 ? -1.0f : 1.0f;
    const SphereDir l1{0.54f, 0.42f * flipY, 0.7293833f};
    const SphereDir l2{-0.48f, 0.66f * flipY, -0.5779273f};
    const SphereDir n = normalise(SphereDir{cell.normal[0], cell.normal[1], cell.normal[2]});
    const float t1 = diffuseTerm(n, l1);
    const float t2 = diffuseTerm(n, l2);
    // The view vector (0, 0, 1) reflected about n: 2(n·v)n − v.
    const SphereDir r{2.0f * n.z * n.x, 2.0f * n.z * n.y, 2.0f * n.z * n.z - 1.0f};
    const float spec = highlight(r, l1) + 0.5f * highlight(r, l2);
    // The atmosphere: a thin blue haze that thickens towards the rim.
    const float rim = 1.0f - std::clamp(n.z, 0.0f, 1.0f);
    const float haze = rim * rim * rim * 0.35f * std::clamp(t1 + 0.3f, 0.0f, 1.0f);
    constexpr float kHaze[3] = {0.45f, 0.65f, 1.0f};
    for (int c = 0; c < 3; ++c) {
        const float light = ramp(kKeyRamp[static_cast<std::size_t>(c)], t1) +
                            ramp(kFillRamp[static_cast<std::size_t>(c)], t2);
        float v = (light * 0.76f + 0.24f) * rgb[c] + spec;
        v += (kHaze[c] - v) * haze;
        rgb[c] = std::clamp(v, 0.0f, 1.0f);
    }
}

}  // namespace globaro
