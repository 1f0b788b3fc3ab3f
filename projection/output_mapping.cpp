// The output mapping: the per-sample order of steps from the output position
// to the input position (through the routine of the output's registry row),
// and the lighting of the shaded globes.

#include "projection/output_mapping.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "geometry/vec_math.h"
#include "polyhedra/glue_tabs.h"
#include "polyhedra/poly_model.h"
#include "polyhedra/poly_summary.h"
#include "projection/catalogue.h"
#include "projection/input_formulas.h"
#include "projection/input_layouts.h"
#include "projection/input_projection.h"
#include "projection/output_formulas.h"
#include "projection/output_splat.h"

namespace globaro {

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
    // A family with its own formula carries the located point itself.
    if (hit.kind == NetHitKind::kFace && model.specialMapping != 0 && !specialModelDirection(model, hit, d)) return;
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
    const OutputRow* e = ctx.entry;
    if (e == nullptr || e->routine == nullptr) return;
    e->routine(OutputCall{ctx, *e, a, b}, out.result);
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
void cubeCellMargins(const RenderContext& ctx, const CubeInputLayout& layout, float& marginU, float& marginV) noexcept {
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
    const InputRow* inputEntry = ctx.input.entry;
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
    // for the faces and gores of a layout +-0.5 by the side of the cuts the
    // routine names (by default the parity of the face number), so that the
    // second line function changes sign at each cut.
    if (ctx.edgesOn != 0) {
        if (answer.fromModel) {
            cell.lineValue2 = answer.lineValue2;
        } else if (r.face >= 0) {
            const int side = r.cutSide >= 0 ? r.cutSide : (r.face & 1);
            cell.lineValue2 = side != 0 ? -0.5f : 0.5f;
        }
    }
    if (r.face >= 0) cell.faceIndex = r.face;
    if (r.storeNormal) {
        const SphereDir& n = r.ownNormal ? r.normal : r.d;
        cell.normal[0] = n.x;
        cell.normal[1] = n.y;
        cell.normal[2] = n.z;
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

void mapOutputSample(float x, float y, float s, float ox, float oy, const OutputImageRecord& image, std::uint32_t seed,
                     const RenderContext& ctx, RenderCell& cell, MappingScratch& scratch) noexcept {
    (void)seed;
    const OutputPosition p = normalisedOutputPosition(x, y, s, ox, oy, image);
    outputToSphere(p.a, p.b, ctx, cell, scratch);
}

namespace {

// The shapes of the row path: outputs whose row routine gives a face-local
// point that one linear map per region turns into the direction (cube
// cells, the rectilinear view, the equirectangular map); the
// pseudocylindrical routines, their row's part done once and each corner's
// part after it; and every other output routine, called corner by corner.
// The directions of the last two are then turned and looked up together.
enum class RowShape { kNone, kRowPoint, kPseudo, kRoutine };

// The table of the equirectangular output's meridians for the row of
// `count` corners from x0: the scratch's own when it was built for the same
// columns, else built anew. Null when the row is too long for it.
const EquirectColumnTable* equirectColumnsOf(float x0, std::int32_t count, float s, float ox,
                                             const OutputImageRecord& image, const ViewFrame& frame,
                                             MappingScratch& scratch) noexcept {
    EquirectColumnTable& t = scratch.equirectColumns;
    if (count > EquirectColumnTable::kCapacity) return nullptr;
    if (t.count == count && t.x0 == x0 && t.step == s && t.originX == ox && t.halfOverWidth == image.halfOverWidth &&
        t.frameCx == frame.cx && t.frameScale == frame.scale)
        return &t;
    for (std::int32_t i = 0; i < count; ++i) {
        // (a depends on the column alone)
        const float a = normalisedOutputPosition(x0 + static_cast<float>(i), 0.0f, s, ox, 0.0f, image).a;
        const EquirectMeridian m = equirectMeridian(frame, a);
        t.sine[i] = m.sine;
        t.cosine[i] = m.cosine;
        t.inside[i] = m.inside;
    }
    t.count = count;
    t.x0 = x0;
    t.step = s;
    t.originX = ox;
    t.halfOverWidth = image.halfOverWidth;
    t.frameCx = frame.cx;
    t.frameScale = frame.scale;
    return &t;
}

// The row path serves renders of the output routines drawn without warps,
// folds or overlays that need the direction.
RowShape rowShapeOf(const RenderContext& ctx) noexcept {
    const OutputRow* e = ctx.entry;
    if (ctx.mode != kModeNormal || ctx.usesPolyModel != 0 || e == nullptr || e->routine == nullptr)
        return RowShape::kNone;
    if (e->preWarp != PreWarp::kNone || ctx.foldMode == kFoldBeforeRotation || ctx.foldMode == kFoldAfterRotation)
        return RowShape::kNone;
    if (ctx.graticuleOn != 0 || ctx.indicatrixOn != 0 || ctx.edgesOn != 0) return RowShape::kNone;
    if (e->rowPoint != nullptr) return RowShape::kRowPoint;
    return e->pseudoRow != nullptr ? RowShape::kPseudo : RowShape::kRoutine;
}

}  // namespace

bool mapOutputRow(float x0, float y, std::int32_t count, float s, float ox, float oy, const OutputImageRecord& image,
                  const RenderContext& ctx, RenderCell* cells, MappingScratch& scratch) noexcept {
    const RowShape shape = rowShapeOf(ctx);
    if (shape == RowShape::kNone) return false;
    const CubeLayout* layout = shape == RowShape::kRowPoint ? ctx.entry->cube : nullptr;
    // Lanes that hold a routine's unit direction rather than a face-local point.
    const bool routine = shape != RowShape::kRowPoint;
    const bool cube = layout != nullptr;
    // Each region's map and the view rotation are linear: together one
    // matrix, applied to (lx, ly, 1) before the length is divided out. The
    // cells of a cube layout turn the point onto their faces; the
    // rectilinear view's single region takes it as it is.
    constexpr SphereDir kBasis[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    SphereDir turned[6][3];
    for (int c = 0; c < (cube ? 6 : 1); ++c)
        for (int k = 0; k < 3; ++k)
            turned[c][k] = rotate(ctx.rotation, cube ? cubeFaceDirection(*layout, c, kBasis[k]) : kBasis[k]);
    // Over the equirectangular input the lookups of four corners run
    // together in the vector unit, as the input's own routine computes them.
    const bool equirectangular =
        ctx.input.resolved && ctx.input.id == ctx.inputProjection && ctx.input.entry != nullptr &&
        ctx.input.entry->lookup == input_detail::lookupEquirectangular && !ctx.input.entry->rightHalfRule;
    // A pseudocylindrical routine's row: its latitude and what each corner
    // needs of it, and the parallel of E(w, v) it lies on.
    const PseudoRowForm* form = shape == RowShape::kPseudo ? ctx.entry->pseudoRow : nullptr;
    PseudoRow row;
    bool rowHits = false;
    EquirectParallel parallel;
    if (form != nullptr) {
        const OutputPosition p = normalisedOutputPosition(x0, y, s, ox, oy, image);
        rowHits = form->start(OutputCall{ctx, *ctx.entry, p.a, p.b}, row);
        if (rowHits) parallel = equirectParallel(row.v);
    }
    // Without a turn, over the equirectangular input, E(w, v) is looked up
    // at (1 − w, v) itself: no direction is built, and nothing is lost to
    // the sine and arc cosine of v near the poles. (Not at a pole itself,
    // where the lookup keeps the library's angle of two zeros.)
    if (form != nullptr && equirectangular && rowHits && parallel.r > 0.0f && ctx.rotation.identity) {
        for (std::int32_t i = 0; i < count; ++i) {
            const OutputPosition p = normalisedOutputPosition(x0 + static_cast<float>(i), y, s, ox, oy, image);
            RenderCell& cell = cells[i];
            startMapping(cell);
            PlaneAnswer answer;
            float w = 0.0f;
            answer.result.hit = form->across(OutputCall{ctx, *ctx.entry, p.a, p.b}, row, w);
            if (!takePlaneAnswer(answer, ctx, cell)) continue;
            // What the lookup of the equirectangular input leaves in a cell.
            // (a w beyond [0, 1] names the same meridian a turn away)
            const float u = w < 0.0f ? -w : (w > 1.0f ? 2.0f - w : 1.0f - w);
            cell.inputU = ctx.flip != 0 ? 1.0f - u : u;
            cell.inputV = row.v;
            cell.pieceTag = InputSample::kDefaultRegionCode;
            finishSample(cell);
        }
        return true;
    }
    // The equirectangular output: each corner's meridian from the table of
    // the row's columns, and the row's parallel once.
    const EquirectColumnTable* meridians =
        shape == RowShape::kRowPoint && ctx.entry->rowPoint == &rowPointEquirectangular
            ? equirectColumnsOf(x0, count, s, ox, image, ctx.frame, scratch)
            : nullptr;
    EquirectParallel rowParallel;
    bool rowInside = false;
    const float rowB = normalisedOutputPosition(x0, y, s, ox, oy, image).b;
    if (meridians != nullptr) rowInside = equirectRowParallel(ctx.frame, rowB, rowParallel);
    using vector_math::Vec4f;
    for (std::int32_t first = 0; first < count; first += 4) {
        const int lanes = std::min<std::int32_t>(4, count - first);
        // Per corner: the region and face-local point as the output's own
        // routine finds them (the same expressions), and the turned,
        // unnormalised direction.
        int indexOf[4] = {-1, -1, -1, -1};
        std::int32_t tagOf[4] = {0, 0, 0, 0};
        float weightOf[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        bool storesWeight[4] = {false, false, false, false};
        Vec4f tx = vector_math::splat(0.0f), ty = tx, tz = vector_math::splat(1.0f);
        for (int lane = 0; lane < lanes; ++lane) {
            const OutputPosition p =
                normalisedOutputPosition(x0 + static_cast<float>(first + lane), y, s, ox, oy, image);
            float lx = 0.0f, ly = 0.0f, lz = 1.0f;
            int index = 0;
            if (routine) {
                // The output's own routine (or the corner's part of its row
                // form), and what outputToSphere makes of its answer before
                // the lookup.
                RenderCell& cell = cells[first + lane];
                startMapping(cell);
                PlaneAnswer answer;
                const OutputCall call{ctx, *ctx.entry, p.a, p.b};
                if (form == nullptr) {
                    ctx.entry->routine(call, answer.result);
                } else if (float w = 0.0f; rowHits && form->across(call, row, w)) {
                    setHit(answer.result, equirectDirectionOn(parallel, w));
                }
                if (!takePlaneAnswer(answer, ctx, cell)) continue;
                lx = answer.result.d.x;
                ly = answer.result.d.y;
                lz = answer.result.d.z;
            } else if (meridians != nullptr) {
                // rowPointEquirectangular, its two parts found once.
                const std::int32_t column = first + lane;
                if (!rowInside || !meridians->inside[column]) {
                    outputToSphere(p.a, p.b, ctx, cells[column], scratch);  // outside: the usual steps
                    continue;
                }
                tagOf[lane] = kTagPlainMap;
                storesWeight[lane] = true;
                weightOf[lane] = rowB;
                lx = meridians->sine[column] * rowParallel.r;
                ly = rowParallel.y;
                lz = meridians->cosine[column] * rowParallel.r;
            } else {
                // The routine's own short form.
                RowPoint q;
                if (!ctx.entry->rowPoint(OutputCall{ctx, *ctx.entry, p.a, p.b}, q)) {
                    outputToSphere(p.a, p.b, ctx, cells[first + lane], scratch);  // outside: the usual steps
                    continue;
                }
                index = q.region;
                tagOf[lane] = q.tag;
                storesWeight[lane] = q.storeWeight;
                weightOf[lane] = q.weight;
                lx = q.lx;
                ly = q.ly;
                lz = q.lz;
            }
            indexOf[lane] = index;
            const SphereDir(&m)[3] = turned[index];
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
            u = vector_math::splat(1.0f) -
                (vector_math::atan2(dx, dz) + vector_math::splat(std::numbers::pi_v<float>)) *
                    vector_math::splat(0.15915494f);
            const Vec4f cy = dy > vector_math::splat(1.0f)
                                 ? vector_math::splat(1.0f)
                                 : (dy < vector_math::splat(-1.0f) ? vector_math::splat(-1.0f) : dy);
            v = vector_math::acos(cy) * vector_math::splat(input_detail::kInvPiF);
        }
        for (int lane = 0; lane < lanes; ++lane) {
            if (indexOf[lane] < 0) continue;
            RenderCell& cell = cells[first + lane];
            if (!routine) {  // (the routine's cells are set up already)
                startMapping(cell);
                if (cube) cell.faceIndex = indexOf[lane];
                if (storesWeight[lane]) cell.weight = weightOf[lane];
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
                const SphereDir d =
                    routine ? SphereDir{tx[lane], ty[lane], tz[lane]} : SphereDir{dx[lane], dy[lane], dz[lane]};
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
    if (ctx.entry != nullptr && ctx.entry->preWarp != PreWarp::kNone) d = applyPreWarp(ctx.entry->preWarp, d);
    return true;
}

bool outputHasOwnRoutine(ProjectionId id) noexcept {
    const OutputRow* e = findOutputRow(id);
    return e != nullptr && e->routine != nullptr;
}

namespace {

// Whether a plain render of the output's own routine (no model, no fold
// after the rotation; a pre-warp turns directions, not the plane) draws `planeUnits` (a size of the output's table
// row, in plane units) at least `minPixels` pixels of an output image
// `pixelsAcross` pixels wide; false when the size is not given.
bool routineSizeInPixelsAtLeast(const RenderContext& ctx, double planeUnits, double pixelsAcross,
                                double minPixels) noexcept {
    if (ctx.mode != kModeNormal || ctx.usesPolyModel != 0 || ctx.entry == nullptr || ctx.entry->routine == nullptr ||
        !(planeUnits > 0.0))
        return false;
    if (ctx.foldMode == kFoldAfterRotation) return false;
    // The frame puts S plane units across the width, with square pixels.
    const double pixels = planeUnits * pixelsAcross / ctx.frame.scale;
    return std::isfinite(pixels) && pixels >= minPixels;
}

}  // namespace

bool outputRegionsAreRectangles(const RenderContext& ctx, double pixelsAcross, double minPixels) noexcept {
    return ctx.entry != nullptr && routineSizeInPixelsAtLeast(ctx, ctx.entry->rectangleSide, pixelsAcross, minPixels);
}

bool outputOutlineIsRound(const RenderContext& ctx, double pixelsAcross, double minPixels) noexcept {
    return ctx.entry != nullptr && routineSizeInPixelsAtLeast(ctx, ctx.entry->outlineRadius, pixelsAcross, minPixels);
}

bool outputOutlineHasWideCorners(const RenderContext& ctx, double pixelsAcross, double minPixels) noexcept {
    return ctx.entry != nullptr && routineSizeInPixelsAtLeast(ctx, ctx.entry->polygonSide, pixelsAcross, minPixels);
}

bool outputHasMapping(const RenderContext& ctx) noexcept {
    if (ctx.mode == kModeSpecial) return true;
    if (ctx.mode != kModeNormal) return false;
    if (ctx.usesPolyModel != 0) return ctx.polyModel != nullptr && ctx.polyModel->triangleCount > 0;
    return ctx.entry != nullptr && ctx.entry->routine != nullptr;
}

bool outputIsDrawn(ProjectionId id) noexcept {
    const OutputRow* row = findOutputRow(id);
    return row != nullptr && !row->pending;
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
    return table[static_cast<std::size_t>(i)] +
           (table[static_cast<std::size_t>(i) + 1] - table[static_cast<std::size_t>(i)]) * f;
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
    lightLikeGlobe(cell, ctx.shadedGlobe == 2, rgb);
}

void lightLikeGlobe(const RenderCell& cell, bool southern, float rgb[3]) noexcept {
    const float flipY = southern ? -1.0f : 1.0f;
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
        const float light =
            ramp(kKeyRamp[static_cast<std::size_t>(c)], t1) + ramp(kFillRamp[static_cast<std::size_t>(c)], t2);
        float v = (light * 0.76f + 0.24f) * rgb[c] + spec;
        v += (kHaze[c] - v) * haze;
        rgb[c] = std::clamp(v, 0.0f, 1.0f);
    }
}

}  // namespace globaro
