#include "render/pixel_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "projection/input_projection.h"
#include "projection/output_mapping.h"
#include "projection/output_row.h"
#include "settings/settings_record.h"

namespace globaro {

namespace {

constexpr float kInvSqrt2 = 0.70710678f;

// Inputs whose layout closes around horizontally. One table drives the wrap.
struct InputWrapEntry {
    InputProjectionId input;
    InputWrap wrap;
};
constexpr InputWrapEntry kInputWraps[] = {
    {1, kInputWrapHorizontal},   // equirectangular
    {5, kInputWrapHorizontal},   // cylindrical
    {20, kInputWrapHorizontal},  // Mercator
    {24, kInputWrapHorizontal},  // equal-area cylinder
};

inline bool sameTags(const RenderCell& a, const RenderCell& b) {
    return a.regionTag == b.regionTag && a.pieceTag == b.pieceTag && a.subTag == b.subTag;
}

inline bool noPosition(float p) { return p == -1.0f; }

// A region that shows the picture: a face or cell, not a tab, a gap or the outside.
inline bool pictureRegion(const RenderCell& c) { return c.regionTag >= 0 && c.regionTag < kTagFirstTab; }

// Wrap-aware difference a - b of two input positions (0 when either is none).
inline float diffU(float a, float b, InputWrap wrap) {
    if (noPosition(a) || noPosition(b)) return 0.0f;
    float d = a - b;
    if (wrap != kInputNoWrap && std::fabs(d) > 0.5f) d -= d > 0.0f ? 1.0f : -1.0f;
    return d;
}

inline float diffV(float a, float b, InputWrap wrap) {
    if (noPosition(a) || noPosition(b)) return 0.0f;
    float d = a - b;
    if (wrap == kInputWrapBoth && std::fabs(d) > 0.5f) d -= d > 0.0f ? 1.0f : -1.0f;
    return d;
}

// The u of a corner, or none when the corner lies on a pole of a wrapping
// input (its top or bottom edge).
inline float poleFreeU(const RenderCell& c, InputWrap wrap) {
    if (wrap != kInputNoWrap && (c.inputV <= 0.0f || c.inputV >= 1.0f)) return -1.0f;
    return c.inputU;
}

// Near a pole of a wrapping input the corners of a pixel spread over a wide
// range of longitude within a row or two of the input: the pixel covers a
// wedge, not the parallelogram its corner differences span. Taken as one
// footprint, it is so long along u that the lookup widens its probes to
// cover it, blurring far across latitude as well (a knot of wrong colours
// at the pole). A pixel whose footprint spans more than 1/32 of the turn
// (within a few pixels of the pole) is sampled on a grid instead, each
// sample's footprint a seventh of the pixel's, with as many probes as
// cover it without widening them (up to kMaxPoleProbes): the detail along
// the wedge is still averaged.
inline constexpr int kMaxPoleProbes = 64;
// The grid alone would average the wedge like a box over the pixel, which
// passes much of the detail converging on the pole (finer there than the
// output can show) as moiré. Each grid sample is filtered like a footprint
// of kPoleSampleScale of the pixel's, so that the grid's own spread and the
// samples' blur together make the variance the lookups give a shrinking
// footprint (0.3 of the width squared). Each sample already covers most of
// the pixel, so a few of them follow the wedge's curve: 3 x 3 at the
// middles of the pixel's ninths, whose spread along an axis is
// (3² − 1)/(12·3²) = 2/27 of the pixel's width squared, and
// 0.3·s² + 2/27 = 0.3.
inline constexpr int kPoleGridSide = 3;
inline constexpr float kPoleGridSpread =
    float(kPoleGridSide * kPoleGridSide - 1) / (12.0f * kPoleGridSide * kPoleGridSide);
inline const float kPoleSampleScale = std::sqrt((0.3f - kPoleGridSpread) / 0.3f);

inline bool spansPole(const Footprint& fp, InputWrap wrap) {
    constexpr float kWideU = 1.0f / 32.0f;
    return wrap != kInputNoWrap && (std::fabs(fp.du1) > kWideU || std::fabs(fp.du2) > kWideU);
}

// Sums samples as premultiplied colours; alpha is the mean over the weights.
struct SampleSum {
    float r = 0, g = 0, b = 0, a = 0, weight = 0;
    void add(const ColorRgba& c, float w) {
        const float aw = c.a * w;
        r += c.r * aw;
        g += c.g * aw;
        b += c.b * aw;
        a += aw;
        weight += w;
    }
    ColorRgba result() const {
        if (!(a > 0.0f) || !(weight > 0.0f)) return ColorRgba{};
        const float k = 1.0f / a;
        return ColorRgba{r * k, g * k, b * k, a / weight};
    }
};

// The face colour of the coloured faces and tabs: for number k each channel
// is (1 - (1 - m/255)^2)·0.9 + 0.1 with m = (k·20), (k·37), (k·49) mod 256.
ColorRgba numberedFaceColour(std::int32_t k) {
    auto channel = [](std::int32_t m) {
        const float t = 1.0f - static_cast<float>(m) / 255.0f;
        return (1.0f - t * t) * 0.9f + 0.1f;
    };
    const std::uint32_t uk = static_cast<std::uint32_t>(k);
    return ColorRgba{channel(static_cast<std::int32_t>((uk * 20u) % 256u)),
                     channel(static_cast<std::int32_t>((uk * 37u) % 256u)),
                     channel(static_cast<std::int32_t>((uk * 49u) % 256u)), 1.0f};
}

// The mean and footprint of most pixels: every corner placed, none on a
// pole of a wrapping input, and the corners within half the image of each
// other where positions wrap. The wrap-aware means and differences are then
// the plain ones, and these are the very same floats. Each corner is given
// by the address of its u, its v following it (a cell's inputU or a
// record's pair). False, with `m` unset, for any other pixel.
#if defined(__SSE2__)
inline __m128 cornerPair(const float* uv) {
    return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(uv)));
}

inline bool plainCornerMean(const float* uv0, const float* uv1, const float* uv2, const float* uv3, InputWrap wrap,
                            CornerMean& m) {
    // The lanes take the scalar steps' own operations: std::min(a, b) is
    // _mm_min_ps(b, a) and std::max(a, b) is _mm_max_ps(b, a), also where
    // a lane is not a number.
    const __m128 a = _mm_movelh_ps(cornerPair(uv0), cornerPair(uv1));  // u0 v0 u1 v1
    const __m128 b = _mm_movelh_ps(cornerPair(uv3), cornerPair(uv2));  // u3 v3 u2 v2
    const __m128 none = _mm_set1_ps(-1.0f);
    if (_mm_movemask_ps(_mm_or_ps(_mm_cmpeq_ps(a, none), _mm_cmpeq_ps(b, none))) != 0) return false;
    const __m128 p = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 2, 1, 0));  // u0 v0 u2 v2
    const __m128 q = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 3, 2));  // u1 v1 u3 v3
    const __m128 half = _mm_set1_ps(0.5f);
    if (wrap != kInputNoWrap) {
        const __m128 low1 = _mm_min_ps(q, p), high1 = _mm_max_ps(q, p);
        const __m128 low = _mm_min_ps(_mm_movehl_ps(low1, low1), low1);  // uLow vLow
        const __m128 high = _mm_max_ps(_mm_movehl_ps(high1, high1), high1);
        // Bit 1: vLow > 0 and vHigh < 1; bits 2 and 3: the u and v ranges at most 1/2.
        const int inside =
            _mm_movemask_ps(_mm_and_ps(_mm_cmpgt_ps(low, _mm_setzero_ps()), _mm_cmplt_ps(high, _mm_set1_ps(1.0f))));
        const int narrow = _mm_movemask_ps(_mm_cmple_ps(_mm_sub_ps(high, low), half));
        const int need = wrap == kInputWrapBoth ? 0xE : 0x6;
        if ((((inside & 2) | (narrow << 2)) & need) != need) return false;
    }
    const __m128 pairs = _mm_mul_ps(_mm_add_ps(p, q), half);  // (u0 + u1)/2 (v0 + v1)/2 (u2 + u3)/2 (v2 + v3)/2
    const __m128 mean = _mm_mul_ps(_mm_add_ps(pairs, _mm_movehl_ps(pairs, pairs)), half);
    const float u = _mm_cvtss_f32(mean);
    if (noPosition(u)) return false;
    float d[4];
    _mm_storeu_ps(d, _mm_mul_ps(_mm_sub_ps(a, b), _mm_set1_ps(kInvSqrt2)));  // u0 - u3, v0 - v3, u1 - u2, v1 - v2
    m.u = u;
    m.v = _mm_cvtss_f32(_mm_shuffle_ps(mean, mean, _MM_SHUFFLE(1, 1, 1, 1)));
    m.diagonal = {d[0], d[1], d[2], d[3]};
    return true;
}
#else
inline bool plainCornerMean(const float* uv0, const float* uv1, const float* uv2, const float* uv3, InputWrap wrap,
                            CornerMean& m) {
    float c[4][2];
    for (int i = 0; const float* uv : {uv0, uv1, uv2, uv3}) std::memcpy(c[i++], uv, sizeof c[0]);
    const float u[4] = {c[0][0], c[1][0], c[2][0], c[3][0]};
    const float v[4] = {c[0][1], c[1][1], c[2][1], c[3][1]};
    const bool placed = u[0] != -1.0f && u[1] != -1.0f && u[2] != -1.0f && u[3] != -1.0f && v[0] != -1.0f &&
                        v[1] != -1.0f && v[2] != -1.0f && v[3] != -1.0f;
    if (!placed) return false;
    if (wrap != kInputNoWrap) {
        const float uLow = std::min(std::min(u[0], u[1]), std::min(u[2], u[3]));
        const float uHigh = std::max(std::max(u[0], u[1]), std::max(u[2], u[3]));
        const float vLow = std::min(std::min(v[0], v[1]), std::min(v[2], v[3]));
        const float vHigh = std::max(std::max(v[0], v[1]), std::max(v[2], v[3]));
        if (!(vLow > 0.0f && vHigh < 1.0f && uHigh - uLow <= 0.5f && (wrap != kInputWrapBoth || vHigh - vLow <= 0.5f)))
            return false;
    }
    const float mu = ((u[0] + u[1]) * 0.5f + (u[2] + u[3]) * 0.5f) * 0.5f;
    if (noPosition(mu)) return false;
    m.u = mu;
    m.v = ((v[0] + v[1]) * 0.5f + (v[2] + v[3]) * 0.5f) * 0.5f;
    m.diagonal = {(u[0] - u[3]) * kInvSqrt2, (v[0] - v[3]) * kInvSqrt2, (u[1] - u[2]) * kInvSqrt2,
                  (v[1] - v[2]) * kInvSqrt2};
    return true;
}
#endif

// Any pixel: the wrap-aware means and differences, corner by corner
// (u[i], v[i] of corner i).
CornerMean wrappedCornerMean(const float (&u)[4], const float (&v)[4], InputWrap wrap) {
    auto poleFree = [wrap](float cu, float cv) {
        return wrap != kInputNoWrap && (cv <= 0.0f || cv >= 1.0f) ? -1.0f : cu;
    };
    const float u0 = poleFree(u[0], v[0]), u1 = poleFree(u[1], v[1]), u2 = poleFree(u[2], v[2]),
                u3 = poleFree(u[3], v[3]);
    CornerMean m;
    m.u = meanInputU(meanInputU(u0, u1, wrap), meanInputU(u2, u3, wrap), wrap);
    if (noPosition(m.u))  // every corner on a pole: any of their u will do
        m.u = meanInputU(meanInputU(u[0], u[1], wrap), meanInputU(u[2], u[3], wrap), wrap);
    m.v = meanInputV(meanInputV(v[0], v[1], wrap), meanInputV(v[2], v[3], wrap), wrap);
    m.diagonal = {diffU(u0, u3, wrap) * kInvSqrt2, diffV(v[0], v[3], wrap) * kInvSqrt2, diffU(u1, u2, wrap) * kInvSqrt2,
                  diffV(v[1], v[2], wrap) * kInvSqrt2};
    return m;
}

// The same from a record's corners, each a (u, v) pair of its array.
CornerMean cornerMean(const float* uv0, const float* uv1, const float* uv2, const float* uv3, InputWrap wrap) {
    CornerMean m;
    if (plainCornerMean(uv0, uv1, uv2, uv3, wrap, m)) return m;
    const float u[4] = {uv0[0], uv1[0], uv2[0], uv3[0]};
    const float v[4] = {uv0[1], uv1[1], uv2[1], uv3[1]};
    return wrappedCornerMean(u, v, wrap);
}

static_assert(offsetof(RenderCell, inputV) == offsetof(RenderCell, inputU) + sizeof(float),
              "a cell's input position is a (u, v) pair");

// Whether a sample with region tag `tag` takes a region's own colour (a
// tab, a gap, the outside, a coloured face) rather than a lookup.
bool takesRegionColour(const ShadingOptions& opt, std::int32_t tag) {
    return (tag >= kTagFirstTab && opt.tabsAreRegions) || tag < -10000 || tag == kTagEmpty ||
           (opt.facesColoured && tag >= 0 && tag < kTagFirstTab);
}

// A filtered read of the input at (u, v), transparent where there is none.
inline ColorRgba readInput(const PipelineConfig& cfg, TileState& state, float u, float v, const Footprint& fp,
                           bool anisotropic, int probeLimit) {
    if (cfg.pyramid == nullptr || noPosition(u) || noPosition(v)) return ColorRgba{};
    const LookupScale& scale = state.lookupScale.get(*cfg.pyramid, cfg.shading.sharpen);
    return anisotropic ? sampleInput(*cfg.pyramid, u, v, fp, scale, probeLimit)
                       : samplePlain(*cfg.pyramid, u, v, fp, scale);
}

// The backdrop under a sample, unless it lies in a transparent gap or the
// render keeps transparency.
inline ColorRgba overBackdrop(const ShadingOptions& opt, const ColorRgba& c, bool gap) {
    if (opt.keepTransparency || (gap && opt.transparentGaps)) return c;
    ColorRgba under = opt.backdropColour;
    under.a = 1.0f;
    compositeOver(c, under);
    return under;
}

// What the mapping does to a colour looked up for `cell`: its shading (a
// lit globe, a colour step) and its coverage (a feathered input's weight).
inline void shadeLookedUp(const SampleMapping& mapping, const RenderCell& cell, ColorRgba& c) {
    float rgb[3] = {c.r, c.g, c.b};
    mapping.shadeSample(cell, rgb);
    c.r = rgb[0];
    c.g = rgb[1];
    c.b = rgb[2];
    c.a *= mapping.sampleCoverage(cell);
}

// The last step of every pixel: a colour that is not a number is transparent.
inline ColorRgba finiteOrClear(const ColorRgba& c) {
#if defined(__SSE2__)
    // x - x is 0 for a finite x, not a number for an infinite one or one that is not a number.
    const __m128 v = _mm_setr_ps(c.r, c.g, c.b, c.a);
    if (_mm_movemask_ps(_mm_cmpeq_ps(_mm_sub_ps(v, v), _mm_setzero_ps())) != 0xF) return ColorRgba{};
#else
    if (!std::isfinite(c.r) || !std::isfinite(c.g) || !std::isfinite(c.b) || !std::isfinite(c.a)) return ColorRgba{};
#endif
    return c;
}

class Shader {
public:
    Shader(const PipelineConfig& config, TileState& state, std::int32_t x, std::int32_t y, bool wantVerdict)
        : wantVerdict(wantVerdict),
          cfg_(config),
          opt_(config.shading),
          st_(state),
          x_(x),
          y_(y),
          seed_(pixelSeed(config.placement.left + x, config.placement.top + y)) {}

    ColorRgba shade(int quality);
    // Whether the pixel came from one lookup at its corners' mean with the
    // ordinary footprint (what a replayed plan does for it).
    bool plainLookup() const { return plain_; }
    const bool wantVerdict;  // fill every field of `verdict` (for tests and tuning)
    PixelVerdict verdict;

private:
    // A fresh mapping at corner coordinates (fx, fy) of the render rectangle.
    void mapAt(float fx, float fy, RenderCell& cell) { mapCorner(cfg_, fx, fy, seed_, cell, st_); }

    // Region colour or filtered lookup for a sample with the tags of `cell`
    // at input position (u, v); the backdrop goes under it unless the sample
    // lies outside the projection (a net's gap or outside its outline) while
    // gaps are transparent, or the render keeps transparency.
    ColorRgba sampleColour(const RenderCell& cell, float u, float v, const Footprint& fp, bool anisotropic);
    ColorRgba freshSample(float fx, float fy, const Footprint& fp, RenderCell& scratch) {
        mapAt(fx, fy, scratch);
        return sampleColour(scratch, scratch.inputU, scratch.inputV, fp, true);
    }
    bool bisect(float sx, float sy, float ex, float ey, std::int32_t hs, std::int32_t he, float& t);
    bool twoRegions(int cls, const Footprint& fp, ColorRgba& out);
    bool onPixelEdge(int cls, float t, const RenderCell& startCell, const RenderCell& endCell, ColorRgba& out);
    ColorRgba gridSamples(int edgeFlags, const Footprint& fp);
    ColorRgba poleSamples(const Footprint& fp);

    const PipelineConfig& cfg_;
    const ShadingOptions& opt_;
    TileState& st_;
    std::int32_t x_, y_;
    std::uint32_t seed_;
    int probeLimit_ = kMaxAnisotropicProbes;  // of each anisotropic lookup
    bool plain_ = false;
};

ColorRgba Shader::sampleColour(const RenderCell& cell, float u, float v, const Footprint& fp, bool anisotropic) {
    const std::int32_t tag = cell.regionTag;
    ColorRgba c;
    bool gap = false;
    bool region = true;
    if (tag >= kTagFirstTab && opt_.tabsAreRegions) {
        c = (opt_.facesColoured && opt_.tabsTakeFaceColours) ? numberedFaceColour(tag - kTagFirstTab + 2)
                                                             : opt_.tabColour;
        c.a = 1.0f;
    } else if (tag < -10000) {
        gap = true;
        c = opt_.transparentGaps ? ColorRgba{} : ColorRgba{opt_.gapColour.r, opt_.gapColour.g, opt_.gapColour.b, 1.0f};
    } else if (tag == kTagEmpty) {
        // Outside the projection's outline: transparent like the gaps of a
        // net when gaps are transparent, otherwise the backdrop shows.
        gap = true;
        c = ColorRgba{};
    } else if (opt_.facesColoured && tag >= 0 && tag < kTagFirstTab) {
        c = cfg_.hooks.faceColour != nullptr ? cfg_.hooks.faceColour(tag + 1) : numberedFaceColour(tag + 1);
        c.a = 1.0f;
    } else {
        region = false;
    }
    if (!region) {
        ++st_.lookups;
        c = readInput(cfg_, st_, u, v, fp, anisotropic, probeLimit_);
        if (c.a > 0.0f) shadeLookedUp(*cfg_.mapping, cell, c);
    }
    return overBackdrop(opt_, c, gap);
}

bool Shader::bisect(float sx, float sy, float ex, float ey, std::int32_t hs, std::int32_t he, float& t) {
    if (hs == he) return false;
    RenderCell probe;
    float lo = 0.0f, hi = 1.0f;
    for (int i = 0; i < kBisectionSteps; ++i) {
        const float m = 0.5f * (lo + hi);
        mapAt(sx + (ex - sx) * m, sy + (ey - sy) * m, probe);
        const std::int32_t h = tagHash(probe);
        if (h == hs) {
            lo = m;
        } else if (h == he) {
            hi = m;
        } else {
            return false;  // a third region: the boundary is not simple
        }
    }
    t = 0.5f * (lo + hi);
    return true;
}

// The analytic method for a pixel split by one straight boundary (classes 1
// and 2) or with one corner alone (3 to 6).
bool Shader::twoRegions(int cls, const Footprint& fp, ColorRgba& out) {
    const float fx = static_cast<float>(x_), fy = static_cast<float>(y_);
    CellGrid& g = st_.grid;
    if (cls == 1 || cls == 2) {
        // Across the pixel's middle line: top to bottom (1) or left to right (2).
        float sx, sy, ex, ey;
        if (cls == 1) {
            sx = ex = fx - 0.5f;
            sy = fy - 1.0f;
            ey = fy;
        } else {
            sy = ey = fy - 0.5f;
            sx = fx - 1.0f;
            ex = fx;
        }
        RenderCell start, end;
        mapAt(sx, sy, start);
        mapAt(ex, ey, end);
        const std::int32_t hs = tagHash(start), he = tagHash(end);
        float t = 0.0f;
        if (!bisect(sx, sy, ex, ey, hs, he, t)) return false;
        if (onPixelEdge(cls, t, start, end, out)) return true;
        SampleSum sum;
        sum.add(sampleColour(start, start.inputU, start.inputV, fp, true), t);
        sum.add(sampleColour(end, end.inputU, end.inputV, fp, true), 1.0f - t);
        out = sum.result();
        return true;
    }
    // One corner alone: the corners as (x offset, y offset) from pixel corner (x, y).
    struct Corner {
        float dx, dy;
    };
    static constexpr Corner kC0{0, 0}, kC1{-1, 0}, kC2{0, -1}, kC3{-1, -1};
    Corner lone, n1, n2, opposite;
    switch (cls) {
        case 3:
            lone = kC3, n1 = kC2, n2 = kC1, opposite = kC0;
            break;
        case 4:
            lone = kC2, n1 = kC3, n2 = kC0, opposite = kC1;
            break;
        case 5:
            lone = kC1, n1 = kC0, n2 = kC3, opposite = kC2;
            break;
        default:
            lone = kC0, n1 = kC1, n2 = kC2, opposite = kC3;
            break;
    }
    auto cellOf = [&](const Corner& c) -> const RenderCell& {
        return g.at(x_ + static_cast<std::int32_t>(c.dx), y_ + static_cast<std::int32_t>(c.dy));
    };
    const RenderCell& loneCell = cellOf(lone);
    const RenderCell& otherCell = cellOf(opposite);
    const std::int32_t hl = tagHash(loneCell), ho = tagHash(otherCell);
    const float lx = fx + lone.dx, ly = fy + lone.dy;
    float u = 0.0f, v = 0.0f;
    if (!bisect(lx, ly, fx + n1.dx, fy + n1.dy, hl, tagHash(cellOf(n1)), u)) return false;
    if (!bisect(lx, ly, fx + n2.dx, fy + n2.dy, hl, tagHash(cellOf(n2)), v)) return false;
    const float area = 0.5f * u * v;
    // The lone region at its triangle's centroid, the rest at the pixel centre
    // (each replaced by its corner's own mapping when it lands elsewhere).
    RenderCell inLone, inRest;
    mapAt(lx + (n1.dx - lone.dx) * u / 3.0f + (n2.dx - lone.dx) * v / 3.0f,
          ly + (n1.dy - lone.dy) * u / 3.0f + (n2.dy - lone.dy) * v / 3.0f, inLone);
    mapAt(fx - 0.5f, fy - 0.5f, inRest);
    const RenderCell& a = tagHash(inLone) == hl ? inLone : loneCell;
    const RenderCell& b = tagHash(inRest) == ho ? inRest : otherCell;
    SampleSum sum;
    sum.add(sampleColour(a, a.inputU, a.inputV, fp, true), area);
    sum.add(sampleColour(b, b.inputU, b.inputV, fp, true), 1.0f - area);
    out = sum.result();
    return true;
}

// A boundary between the pixel's corners that runs along one of its edges
// (a seam between the cells of a layout, on which the corners of that edge
// lie and are mapped in the next cell): the pixel lies wholly in the other
// region and is shaded as any pixel inside it, from its corners as that
// region maps them, the corners on the seam taken a bisection step inside.
bool Shader::onPixelEdge(int cls, float t, const RenderCell& startCell, const RenderCell& endCell, ColorRgba& out) {
    const std::int32_t hs = tagHash(startCell), he = tagHash(endCell);
    constexpr float kStep = 1.0f / static_cast<float>(1 << kBisectionSteps);
    const bool atEnd = t >= 1.0f - kStep, atStart = t <= kStep;
    if (!atEnd && !atStart) return false;
    if (!pictureRegion(startCell) || !pictureRegion(endCell)) return false;
    const float fx = static_cast<float>(x_), fy = static_cast<float>(y_);
    CellGrid& g = st_.grid;
    RenderCell c[4] = {g.at(x_, y_), g.at(x_ - 1, y_), g.at(x_, y_ - 1), g.at(x_ - 1, y_ - 1)};
    // Corner i lies at (fx - (i & 1), fy - (i >> 1)). Across the pixel's
    // width (class 2) the seam is its right edge (corners 0, 2) when the
    // region of the start holds nearly all of the line, else its left edge
    // (1, 3); across its height (class 1), the bottom (0, 1) or the top (2, 3).
    const bool across = cls == 2;
    const std::int32_t keep = atEnd ? hs : he;
    for (int i = 0; i < 4; ++i) {
        const int along = across ? (i & 1) : (i >> 1);  // 0: the right or bottom edge
        if ((along == 0) != atEnd) continue;
        const float inward = atEnd ? kStep : -kStep;
        const float cx = fx - static_cast<float>(i & 1) - (across ? inward : 0.0f);
        const float cy = fy - static_cast<float>(i >> 1) - (across ? 0.0f : inward);
        mapAt(cx, cy, c[i]);
        if (tagHash(c[i]) != keep) return false;
    }
    const CornerMean mean = cornerMean(c[0], c[1], c[2], c[3], opt_.wrap);
    out = sampleColour(c[0], mean.u, mean.v, mean.diagonal, true);
    return true;
}

ColorRgba Shader::poleSamples(const Footprint& fp) {
    const float cx = static_cast<float>(x_) - 0.5f, cy = static_cast<float>(y_) - 0.5f;
    const float k = kPoleSampleScale;
    const Footprint sub{fp.du1 * k, fp.dv1 * k, fp.du2 * k, fp.dv2 * k};
    SampleSum sum;
    RenderCell cell;
    for (int j = 0; j < kPoleGridSide; ++j)
        for (int i = 0; i < kPoleGridSide; ++i) {
            const float ox = (static_cast<float>(i) + 0.5f) / kPoleGridSide - 0.5f;
            const float oy = (static_cast<float>(j) + 0.5f) / kPoleGridSide - 0.5f;
            sum.add(freshSample(cx + ox, cy + oy, sub, cell), 1.0f);
        }
    return sum.result();
}

ColorRgba Shader::gridSamples(int edgeFlags, const Footprint& fp) {
    const float cx = static_cast<float>(x_) - 0.5f, cy = static_cast<float>(y_) - 0.5f;
    SampleSum sum;
    RenderCell cell;
    if (edgeFlags == 1 || edgeFlags == 2) {
        const bool alongX = edgeFlags == 1;
        const float k = 1.0f / static_cast<float>(kEdgeLineSamples);
        const Footprint sub = alongX ? Footprint{fp.du1 * k, fp.dv1 * k, fp.du2, fp.dv2}
                                     : Footprint{fp.du1, fp.dv1, fp.du2 * k, fp.dv2 * k};
        const int half = kEdgeLineSamples / 2;
        for (int i = -half; i <= half; ++i) {
            const float o = static_cast<float>(i) / static_cast<float>(2 * half);
            sum.add(freshSample(alongX ? cx + o : cx, alongX ? cy : cy + o, sub, cell), 1.0f);
        }
    } else {
        const float k = 1.0f / kEdgeGridSide;
        const Footprint sub{fp.du1 * k, fp.dv1 * k, fp.du2 * k, fp.dv2 * k};
        const int half = kEdgeGridSide / 2;
        for (int j = -half; j <= half; ++j) {
            for (int i = -half; i <= half; ++i) {
                const float ox = static_cast<float>(i) / static_cast<float>(2 * half);
                const float oy = static_cast<float>(j) / static_cast<float>(2 * half);
                sum.add(freshSample(cx + ox, cy + oy, sub, cell), 1.0f);
            }
        }
    }
    return sum.result();
}

ColorRgba Shader::shade(int quality) {
    CellGrid& g = st_.grid;
    const RenderCell& c0 = g.at(x_, y_);
    const RenderCell& c1 = g.at(x_ - 1, y_);
    const RenderCell& c2 = g.at(x_, y_ - 1);
    const RenderCell& c3 = g.at(x_ - 1, y_ - 1);
    int edgeFlags = 0;
    if (!sameTags(c0, c1) || !sameTags(c2, c3)) edgeFlags |= 1;
    if (!sameTags(c0, c2) || !sameTags(c1, c3)) edgeFlags |= 2;
    const RenderCell* corners[4] = {&c0, &c1, &c2, &c3};
    // The tag hashes classify edge pixels; a flat pixel needs them only for
    // a caller that asks for the verdict.
    if (edgeFlags != 0 || wantVerdict) {
        for (int i = 0; i < 4; ++i) verdict.hashes[i] = tagHash(*corners[i]);
    }
    if (wantVerdict) {
        for (int i = 0; i < 4; ++i) {
            verdict.inputU[i] = corners[i]->inputU;
            verdict.inputV[i] = corners[i]->inputV;
        }
    }
    verdict.edgeFlags = edgeFlags;
    verdict.samples = 1;

    const InputWrap wrap = opt_.wrap;
    const float u0 = poleFreeU(c0, wrap), u1 = poleFreeU(c1, wrap), u2 = poleFreeU(c2, wrap), u3 = poleFreeU(c3, wrap);
    const CornerMean mean = cornerMean(c0, c1, c2, c3, wrap);
    const float u = mean.u, v = mean.v;
    const Footprint& diagonal = mean.diagonal;

    const bool lookupRegion = !takesRegionColour(opt_, c0.regionTag);
    if (quality <= kQualityGood) {
        plain_ = lookupRegion;
        return sampleColour(c0, u, v, diagonal, false);
    }
    if (quality == kQualityBetter) {
        plain_ = lookupRegion;
        return sampleColour(c0, u, v, diagonal, true);
    }

    bool centreDisagrees = false;
    if (edgeFlags == 0 && spansPole(diagonal, wrap)) {
        verdict.samples = kPoleGridSide * kPoleGridSide;
        probeLimit_ = kMaxPoleProbes;
        return poleSamples(diagonal);
    }
    if (edgeFlags == 0) {
        if (!opt_.centreCheck) {
            plain_ = lookupRegion;
            return sampleColour(c0, u, v, diagonal, true);
        }
        RenderCell centre;
        mapAt(static_cast<float>(x_) - 0.5f, static_cast<float>(y_) - 0.5f, centre);
        if (sameTags(centre, c0)) {
            plain_ = lookupRegion;
            return sampleColour(c0, u, v, diagonal, true);
        }
        edgeFlags = 3;
        verdict.edgeFlags = 3;
        centreDisagrees = true;  // (the grid that follows needs no hashes)
    }

    // An edge pixel: the footprint from corner pairs that share a region.
    Footprint fp;
    if (sameTags(c0, c1)) {
        fp.du1 = diffU(u0, u1, wrap);
        fp.dv1 = diffV(c0.inputV, c1.inputV, wrap);
    } else if (sameTags(c2, c3)) {
        fp.du1 = diffU(u2, u3, wrap);
        fp.dv1 = diffV(c2.inputV, c3.inputV, wrap);
    }
    if (sameTags(c0, c2)) {
        fp.du2 = diffU(u0, u2, wrap);
        fp.dv2 = diffV(c0.inputV, c2.inputV, wrap);
    } else if (sameTags(c1, c3)) {
        fp.du2 = diffU(u1, u3, wrap);
        fp.dv2 = diffV(c1.inputV, c3.inputV, wrap);
    }

    if (!centreDisagrees) {
        const int cls = cornerClass(verdict.hashes[0], verdict.hashes[1], verdict.hashes[2], verdict.hashes[3]);
        verdict.cornerClass = cls;
        ColorRgba out;
        if (cls >= 1 && cls <= 6 && twoRegions(cls, fp, out)) {
            verdict.analytic = true;
            verdict.samples = 2;
            return out;
        }
    }
    verdict.samples = edgeFlags == 3 ? kEdgeGridSide * kEdgeGridSide : kEdgeLineSamples;
    return gridSamples(edgeFlags, fp);
}

}  // namespace

InputWrap inputWrapOf(InputProjectionId input) noexcept {
    for (const InputWrapEntry& e : kInputWraps)
        if (e.input == input) return e.wrap;
    return kInputNoWrap;
}

CornerMean cornerMean(const RenderCell& c0, const RenderCell& c1, const RenderCell& c2, const RenderCell& c3,
                      InputWrap wrap) noexcept {
    return cornerMean(&c0.inputU, &c1.inputU, &c2.inputU, &c3.inputU, wrap);  // (a cell's u, v is a pair)
}

bool CellGrid::allocate(const TileRect& rect, bool clear) {
    jobRect = rect;
    columns = std::max(rect.right - rect.left, 0) + 2;
    rows = std::max(rect.bottom - rect.top, 0) + 2;
    const std::size_t count = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
    try {
        if (clear)
            cells.assign(count, RenderCell{});
        else
            cells.resize(count);
    } catch (const std::bad_alloc&) {
        cells.clear();
        columns = rows = 0;
        return false;
    }
    return true;
}

namespace {

// Index -> (x, y) along the Hilbert curve through a 32 x 32 block, by the
// usual bit-pair construction.
constexpr void hilbertStep(std::int32_t i, std::int32_t& x, std::int32_t& y) {
    std::int32_t t = i;
    x = y = 0;
    for (std::int32_t s = 1; s < kHilbertBlock; s *= 2) {
        const std::int32_t rx = 1 & (t / 2);
        const std::int32_t ry = 1 & (t ^ rx);
        if (ry == 0) {
            if (rx == 1) {
                x = s - 1 - x;
                y = s - 1 - y;
            }
            const std::int32_t swap = x;
            x = y;
            y = swap;
        }
        x += s * rx;
        y += s * ry;
        t /= 4;
    }
}

struct HilbertTable {
    std::uint8_t x[kHilbertBlock * kHilbertBlock];
    std::uint8_t y[kHilbertBlock * kHilbertBlock];
};

constexpr HilbertTable makeHilbertTable() {
    HilbertTable table{};
    for (std::int32_t i = 0; i < kHilbertBlock * kHilbertBlock; ++i) {
        std::int32_t x = 0, y = 0;
        hilbertStep(i, x, y);
        table.x[i] = static_cast<std::uint8_t>(x);
        table.y[i] = static_cast<std::uint8_t>(y);
    }
    return table;
}

constexpr HilbertTable kHilbertTable = makeHilbertTable();

}  // namespace

void hilbertPoint(std::int32_t i, std::int32_t& x, std::int32_t& y) noexcept { hilbertStep(i, x, y); }

int cornerClass(std::int32_t h0, std::int32_t h1, std::int32_t h2, std::int32_t h3) noexcept {
    if (h0 == h1 && h1 == h2 && h2 == h3) return 0;
    if (h3 == h2 && h1 == h0 && h3 != h1) return 1;
    if (h3 == h1 && h2 == h0 && h3 != h2) return 2;
    if (h2 == h1 && h1 == h0 && h3 != h0) return 3;
    if (h3 == h1 && h1 == h0 && h2 != h0) return 4;
    if (h0 == h2 && h2 == h3 && h1 != h0) return 5;
    if (h1 == h2 && h2 == h3 && h0 != h1) return 6;
    return 7;
}

void mapCorner(const PipelineConfig& config, float x, float y, std::uint32_t seed, RenderCell& cell,
               TileState& state) noexcept {
    const OutputPlacement& p = config.placement;
    ++state.mappings;
    config.mapping->mapSample(static_cast<float>(p.left) + x, static_cast<float>(p.top) + y, p.step, p.originX,
                              p.originY, p.image, seed, cell, state.scratch);
}

void tileCornerArea(const PipelineConfig& config, TileState& state) noexcept {
    const TileRect& r = state.grid.jobRect;
    const OutputPlacement& p = config.placement;
    const OutputPosition first =
        normalisedOutputPosition(static_cast<float>(p.left + r.left - 1), static_cast<float>(p.top + r.top - 1), p.step,
                                 p.originX, p.originY, p.image);
    const OutputPosition last =
        normalisedOutputPosition(static_cast<float>(p.left + r.right), static_cast<float>(p.top + r.bottom), p.step,
                                 p.originX, p.originY, p.image);
    state.firstA = first.a;
    state.firstB = first.b;
    state.lastA = last.a;
    state.lastB = last.b;
}

void mapTileCorners(const PipelineConfig& config, TileState& state) noexcept {
    CellGrid& g = state.grid;
    const TileRect& r = g.jobRect;
    const OutputPlacement& p = config.placement;
    state.mappingComplete = false;
    tileCornerArea(config, state);

    auto mapOne = [&](std::int32_t x, std::int32_t y) {
        mapCorner(config, static_cast<float>(x), static_cast<float>(y), pixelSeed(p.left + x, p.top + y), g.at(x, y),
                  state);
    };
    const std::int32_t x0 = r.left - 1, y0 = r.top - 1, x1 = r.right, y1 = r.bottom;  // inclusive
    if (!config.mapping->blockOrder()) {
        for (std::int32_t y = y0; y <= y1; ++y)
            for (std::int32_t x = x0; x <= x1; ++x) mapOne(x, y);
    } else {
        for (std::int32_t by = y0; by <= y1; by += kHilbertBlock) {
            for (std::int32_t bx = x0; bx <= x1; bx += kHilbertBlock) {
                state.blockValue = static_cast<float>(((by * 119 + bx * 79) % 1000 + 1000) % 1000) / 1000.0f;
                for (std::int32_t i = 0; i < kHilbertBlock * kHilbertBlock; ++i) {
                    const std::int32_t x = bx + kHilbertTable.x[i], y = by + kHilbertTable.y[i];
                    if (x > x1 || y > y1) continue;
                    mapOne(x, y);
                }
            }
        }
    }
    state.mappingComplete = true;
}

namespace {

// The steps that follow every pixel's shading: the graticule (`graticule`:
// the render draws one), the line coverage, and a colour that is not a
// number made transparent.
[[gnu::always_inline]] inline ColorRgba finishPixel(const PipelineConfig& config, std::int32_t x, std::int32_t y,
                                                    ColorRgba c, const TileState& state, bool graticule) {
    if (graticule) config.hooks.drawGraticule(x, y, c, *config.mapping->context(), state.grid, config.placement.step);
    if (config.shading.drawsLines) {
        const float coverage = std::clamp(state.grid.at(x, y).lineCoverage, 0.0f, 1.0f);
        if (coverage > 0.0f) {
            const ColorRgba& l = config.shading.lineColour;
            c.r += (l.r - c.r) * coverage;
            c.g += (l.g - c.g) * coverage;
            c.b += (l.b - c.b) * coverage;
        }
    }
    return finiteOrClear(c);
}

inline bool drawsGraticule(const PipelineConfig& config) {
    const RenderContext* ctx = config.mapping->context();
    return ctx != nullptr && config.hooks.drawGraticule != nullptr && ctx->graticuleOn;
}

}  // namespace

ColorRgba shadePixel(const PipelineConfig& config, std::int32_t x, std::int32_t y, int quality, TileState& state,
                     PixelVerdict* verdict, bool* plainLookup) noexcept {
    Shader shader(config, state, x, y, verdict != nullptr);
    const ColorRgba c = finishPixel(config, x, y, shader.shade(quality), state, drawsGraticule(config));
    if (plainLookup != nullptr) *plainLookup = shader.plainLookup();
    if (verdict != nullptr) {
        *verdict = shader.verdict;
        verdict->result = c;
    }
    return c;
}

namespace {

inline void storeColour(RenderCell& cell, const ColorRgba& c) {
    cell.colour[0] = c.r;
    cell.colour[1] = c.g;
    cell.colour[2] = c.b;
    cell.colour[3] = c.a;
}

// What the pixels of a tile's rows share, settled once a row.
struct RowShading {
    bool graticule = false;
    // Plain pixels may take `plainPixel` ("best" with the centre check maps
    // every flat pixel's centre: the full shading does that).
    bool plainPath = false;
    bool flatOnly = false;  // "best": only pixels whose corners share a region
    bool anisotropic = false;
    bool shadesSamples = false;          // the mapping's shadeSample and sampleCoverage
    const LookupScale* scale = nullptr;  // null without a pyramid
};

RowShading rowShading(const PipelineConfig& config, TileState& state, int quality) {
    RowShading row;
    row.graticule = drawsGraticule(config);
    row.plainPath = quality < kQualityBest || !config.shading.centreCheck;
    row.flatOnly = quality >= kQualityBest;
    row.anisotropic = quality >= kQualityBetter;
    row.shadesSamples = config.mapping->shadesSamples();
    if (config.pyramid != nullptr) row.scale = &state.lookupScale.get(*config.pyramid, config.shading.sharpen);
    return row;
}

// The commonest pixel, as Shader::shade colours it with fewer steps: a
// region that takes a lookup, the corners' plain mean (the same floats as
// `cornerMean`), one lookup there with their footprint. At "best" the
// corners share the region and the footprint does not span a pole. False,
// having changed nothing, for any other pixel.
inline bool plainPixel(const PipelineConfig& config, TileState& state, const RowShading& row, const RenderCell& c0,
                       const RenderCell& c1, const RenderCell& c2, const RenderCell& c3, ColorRgba& out) {
    const ShadingOptions& opt = config.shading;
    if (takesRegionColour(opt, c0.regionTag)) return false;
    if (row.flatOnly && !(sameTags(c0, c1) && sameTags(c0, c2) && sameTags(c2, c3))) return false;
    CornerMean m;
    if (!plainCornerMean(&c0.inputU, &c1.inputU, &c2.inputU, &c3.inputU, opt.wrap, m)) return false;
    if (row.flatOnly && spansPole(m.diagonal, opt.wrap)) return false;
    ++state.lookups;
    ColorRgba c;
    if (row.scale != nullptr && !noPosition(m.v)) {  // (the plain mean's u is never none)
        c = row.anisotropic ? sampleInput(*config.pyramid, m.u, m.v, m.diagonal, *row.scale, kMaxAnisotropicProbes)
                            : samplePlain(*config.pyramid, m.u, m.v, m.diagonal, *row.scale);
    }
    if (row.shadesSamples && c.a > 0.0f) shadeLookedUp(*config.mapping, c0, c);
    out = overBackdrop(opt, c, false);
    return true;
}

// Every pixel of row y of the tile: its final colour into its cell. With a
// record, whether each pixel was one plain lookup.
void shadeRow(const PipelineConfig& config, TileState& state, std::int32_t y, int quality,
              TileRecord* record = nullptr) noexcept {
    CellGrid& g = state.grid;
    const std::int32_t left = g.jobRect.left, width = g.jobRect.right - left;
    std::uint8_t* plain = record != nullptr
                              ? record->plainLookup.data() + static_cast<std::size_t>(y - g.jobRect.top) * record->width
                              : nullptr;
    const RowShading row = rowShading(config, state, quality);
    // Corner (left - 1) of the rows y (the pixels' lower corners) and y - 1.
    RenderCell* const below = &g.at(left - 1, y);
    const RenderCell* const above = &g.at(left - 1, y - 1);
    for (std::int32_t i = 0; i < width; ++i) {
        const std::int32_t x = left + i;
        ColorRgba c;
        bool isPlain = false;
        if (row.plainPath && plainPixel(config, state, row, below[i + 1], below[i], above[i + 1], above[i], c)) {
            c = finishPixel(config, x, y, c, state, row.graticule);
            isPlain = true;
        } else {
            c = shadePixel(config, x, y, quality, state, nullptr, plain != nullptr ? &isPlain : nullptr);
        }
        storeColour(below[i + 1], c);
        if (plain != nullptr) plain[i] = isPlain ? 1 : 0;
    }
}

}  // namespace

void shadeTile(const PipelineConfig& config, TileState& state) noexcept {
    const TileRect& r = state.grid.jobRect;
    const int quality = std::clamp(config.shading.quality, kQualityGood, kQualityBest);
    for (std::int32_t y = r.top; y < r.bottom; ++y) shadeRow(config, state, y, quality);
}

namespace {

// Both passes row by row, for renders whose corners go in scanline order and
// that draw no lines: each row of pixels is shaded right after the row of
// corners below it is mapped, while both rows are still in the cache (a
// tile's whole grid is larger than the second-level cache). The same
// mappings in the same order, and the same colours, as the two passes one
// after the other.
// The tile's row y of corners, x from left - 1 to right.
void mapCornerRow(const PipelineConfig& config, TileState& state, std::int32_t y) noexcept {
    CellGrid& g = state.grid;
    const TileRect& r = g.jobRect;
    const OutputPlacement& p = config.placement;
    // A row's cells lie side by side in the grid.
    const std::int32_t count = r.right - r.left + 2;
    if (config.mapping->mapRow(static_cast<float>(p.left + r.left - 1), static_cast<float>(p.top + y), count, p.step,
                               p.originX, p.originY, p.image, &g.at(r.left - 1, y), state.scratch)) {
        state.mappings += static_cast<std::uint32_t>(count);
        return;
    }
    for (std::int32_t x = r.left - 1; x <= r.right; ++x)
        mapCorner(config, static_cast<float>(x), static_cast<float>(y), pixelSeed(p.left + x, p.top + y), g.at(x, y),
                  state);
}

void mapAndShadeRows(const PipelineConfig& config, TileState& state, TileRecord* record) noexcept {
    CellGrid& g = state.grid;
    const TileRect& r = g.jobRect;
    const int quality = std::clamp(config.shading.quality, kQualityGood, kQualityBest);
    state.mappingComplete = false;
    tileCornerArea(config, state);
    auto mapRow = [&](std::int32_t y) { mapCornerRow(config, state, y); };
    mapRow(r.top - 1);
    for (std::int32_t y = r.top; y < r.bottom; ++y) {
        mapRow(y);
        shadeRow(config, state, y, quality, record);
    }
    mapRow(r.bottom);
    state.mappingComplete = true;
    if (record == nullptr) return;
    // The corners the pixels read: (x, y) for x in [left - 1, right), y in [top - 1, bottom).
    float* to = record->corners.data();
    for (std::int32_t y = r.top - 1; y < r.bottom; ++y) {
        for (std::int32_t x = r.left - 1; x < r.right; ++x) {
            const RenderCell& cell = g.at(x, y);
            *to++ = cell.inputU;
            *to++ = cell.inputV;
        }
    }
    record->complete = true;
}

// A tile from its record: each plain pixel is one lookup at its recorded
// corners' mean; every other pixel is shaded in full, the rows of corners
// it reads mapped first (each row once, as the render that made the record
// mapped them).
void replayTile(const PipelineConfig& config, TileState& state, const TileRecord& record) noexcept {
    CellGrid& g = state.grid;
    const TileRect& r = g.jobRect;
    const int quality = std::clamp(config.shading.quality, kQualityGood, kQualityBest);
    const bool anisotropic = quality >= kQualityBetter;
    const InputWrap wrap = config.shading.wrap;
    const std::size_t across = static_cast<std::size_t>(record.width) + 1;
    std::fill(state.cornerMapped.begin(), state.cornerMapped.end(), std::uint8_t{0});
    auto ensureMapped = [&](std::int32_t y) {
        std::uint8_t& mapped = state.cornerMapped[static_cast<std::size_t>(y - r.top + 1)];
        if (mapped != 0) return;
        mapped = 1;
        mapCornerRow(config, state, y);
    };
    state.mappingComplete = true;
    for (std::int32_t y = r.top; y < r.bottom; ++y) {
        const std::size_t row = static_cast<std::size_t>(y - r.top);
        const std::uint8_t* plain = record.plainLookup.data() + row * static_cast<std::size_t>(record.width);
        const float* below = record.corners.data() + (row + 1) * across * 2;  // corner row y
        const float* above = record.corners.data() + row * across * 2;        // corner row y - 1
        for (std::int32_t x = r.left; x < r.right; ++x) {
            const std::size_t i = static_cast<std::size_t>(x - r.left);
            if (plain[i] != 0) {
                // c0 at (x, y), c1 left of it, c2 above it, c3 diagonally across.
                const CornerMean mean =
                    cornerMean(below + 2 * i + 2, below + 2 * i, above + 2 * i + 2, above + 2 * i, wrap);
                ++state.lookups;
                const ColorRgba c =
                    readInput(config, state, mean.u, mean.v, mean.diagonal, anisotropic, kMaxAnisotropicProbes);
                storeColour(g.at(x, y), finiteOrClear(overBackdrop(config.shading, c, false)));
                continue;
            }
            ensureMapped(y - 1);
            ensureMapped(y);
            storeColour(g.at(x, y), shadePixel(config, x, y, quality, state));
        }
    }
}

}  // namespace

void renderTile(const PipelineConfig& config, TileState& state) noexcept {
    if (config.mapping == nullptr || state.grid.cells.empty()) return;
    const RenderContext* ctx = config.mapping->context();
    const bool lines = config.shading.drawsLines && ctx != nullptr && config.hooks.drawTileLines != nullptr;
    if (!lines && !config.mapping->blockOrder()) {
        mapAndShadeRows(config, state, nullptr);
        return;
    }
    mapTileCorners(config, state);
    if (lines) config.hooks.drawTileLines(*ctx, state.grid);
    shadeTile(config, state);
}

// ---- the module's mapping ------------------------------------------------------------------

void ContextSampleMapping::mapSample(float x, float y, float s, float ox, float oy, const OutputImageRecord& image,
                                     std::uint32_t seed, RenderCell& cell, MappingScratch& scratch) const noexcept {
    mapOutputSample(x, y, s, ox, oy, image, seed, ctx_, cell, scratch);
}

bool ContextSampleMapping::mapRow(float x0, float y, std::int32_t count, float s, float ox, float oy,
                                  const OutputImageRecord& image, RenderCell* cells,
                                  MappingScratch& scratch) const noexcept {
    return mapOutputRow(x0, y, count, s, ox, oy, image, ctx_, cells, scratch);
}

bool ContextSampleMapping::plannable() const noexcept {
    return !blockOrder() && ctx_.usesPolyModel == 0 && ctx_.inputModel == nullptr && !shadesSamples() &&
           ctx_.graticuleOn == 0;
}

bool ContextSampleMapping::blockOrder() const noexcept {
    const ProjectionId id = ctx_.modelProjection;
    return (ctx_.usesPolyModel != 0 && ctx_.polyModel != nullptr) || id == 395 || id == 396 || id == 397;
}

void ContextSampleMapping::prepareJob(TileState& state) const {
    if (ctx_.usesPolyModel != 0 && ctx_.polyModel != nullptr) {
        const PolyModel& m = *ctx_.polyModel;
        if (state.clipToTile && ctx_.mode == kModeNormal) {
            // The faces near the tile: the net point of (a, b) is (a, b·frameHeight).
            const float h = m.frameHeight;
            SweepClip clip;
            clip.minX = std::min(state.firstA, state.lastA);
            clip.maxX = std::max(state.firstA, state.lastA);
            clip.minY = std::min(state.firstB, state.lastB) * h;
            clip.maxY = std::max(state.firstB, state.lastB) * h;
            clip.margin = 0.01f + 0.02f * std::max(clip.maxX - clip.minX, clip.maxY - clip.minY);
            buildSweepList(m, state.polyJob, &clip);
        } else {
            buildSweepList(m, state.polyJob);
        }
        state.scratch.polyJob = &state.polyJob;
    }
}

void ContextSampleMapping::shadeSample(const RenderCell& cell, float rgb[3]) const noexcept {
    if (ctx_.shadedGlobe != 0) shadeGlobeColour(ctx_, cell, rgb);
    if (ctx_.colourStep != nullptr) ctx_.colourStep(ctx_, cell, rgb);
}

namespace {

// Whether the render's input feathers its samples by the seam weight.
bool featheredInput(const RenderContext& ctx) {
    const bool current = ctx.input.resolved && ctx.input.id == ctx.inputProjection;
    const InputRow* entry = current ? ctx.input.entry : resolveInput(ctx.inputProjection).entry;
    return entry != nullptr && entry->featheredBySeamWeight;
}

}  // namespace

float ContextSampleMapping::sampleCoverage(const RenderCell& cell) const noexcept {
    if (!featheredInput(ctx_)) return 1.0f;
    return std::clamp(cell.weight, 0.0f, 1.0f);
}

bool ContextSampleMapping::shadesSamples() const noexcept {
    return ctx_.shadedGlobe != 0 || ctx_.colourStep != nullptr || featheredInput(ctx_);
}

// ---- the projection render -------------------------------------------------------------------

namespace {

struct TilePayload : JobPayload {
    TileState state;
    TileRecord* record = nullptr;        // this tile's record, being written
    const TileRecord* replay = nullptr;  // this tile's record, to be replayed
};

}  // namespace

bool ProjectionWorkload::buildJob(RenderJob& job) {
    if (config_.mapping == nullptr) return false;
    std::unique_ptr<TilePayload> payload;
    if (!spare_.empty()) {
        payload.reset(static_cast<TilePayload*>(spare_.back().release()));
        spare_.pop_back();
        // A fresh state that keeps the grid's memory.
        std::vector<RenderCell> cells = std::move(payload->state.grid.cells);
        std::vector<std::uint8_t> mapped = std::move(payload->state.cornerMapped);
        payload->state = TileState{};
        payload->state.grid.cells = std::move(cells);
        payload->state.cornerMapped = std::move(mapped);
        payload->record = nullptr;
        payload->replay = nullptr;
    } else {
        payload.reset(new (std::nothrow) TilePayload);
    }
    if (!payload) return false;
    // Every field the shading reads is written by the mapping first, except
    // the line coverage (accumulated by the line overlay) and the fields of
    // the polyhedron model's outputs: only those renders need cleared cells.
    const bool clear = config_.shading.drawsLines || config_.mapping->blockOrder();
    if (!payload->state.grid.allocate(job.plan.jobRect, clear)) return false;
    payload->state.clipToTile = clipToTile_;
    tileCornerArea(config_, payload->state);
    config_.mapping->prepareJob(payload->state);
    const std::int32_t width = job.plan.jobRect.right - job.plan.jobRect.left;
    const std::int32_t height = job.plan.jobRect.bottom - job.plan.jobRect.top;
    if (planUse_ == FramePlan::Use::kReplay) {
        const TileRecord* record = plan_->replayTile(job.plan.jobIndex);
        if (record != nullptr && record->width == width && record->height == height) {
            try {
                payload->state.cornerMapped.resize(static_cast<std::size_t>(height + 1));
                payload->replay = record;
            } catch (const std::bad_alloc&) {
                payload->replay = nullptr;  // rendered in full
            }
        }
    } else if (planUse_ == FramePlan::Use::kRecord) {
        payload->record = plan_->recordTile(job.plan.jobIndex, width, height);
    }
    job.payload = std::move(payload);
    return true;
}

void ProjectionWorkload::setPlan(FramePlan* plan, FramePlan::Use use) {
    plan_ = plan;
    planUse_ = plan != nullptr && config_.mapping != nullptr && config_.mapping->plannable() &&
                       !config_.shading.drawsLines && config_.pyramid != nullptr
                   ? use
                   : FramePlan::Use::kNone;
}

void ProjectionWorkload::runJob(RenderJob& job) noexcept {
    if (!job.payload) return;
    TilePayload& payload = static_cast<TilePayload&>(*job.payload);
    if (payload.replay != nullptr && !payload.state.grid.cells.empty())
        replayTile(config_, payload.state, *payload.replay);
    else if (payload.record != nullptr && !payload.state.grid.cells.empty())
        mapAndShadeRows(config_, payload.state, payload.record);
    else
        renderTile(config_, payload.state);
}

void ProjectionWorkload::releaseJob(RenderJob& job) noexcept {
    if (!job.payload) return;
    try {
        spare_.push_back(std::move(job.payload));
    } catch (const std::bad_alloc&) {
        job.payload.reset();
    }
}

std::int16_t ProjectionWorkload::deliverJob(RenderJob& job, RenderSink& sink) {
    if (!job.payload) return kRenderOk;
    const TileState& state = static_cast<TilePayload&>(*job.payload).state;
    const TileRect& jr = job.plan.jobRect;
    const TileRect& rr = job.plan.renderRect;
    const TileRect imageRect{jr.top + rr.top, jr.left + rr.left, jr.bottom + rr.top, jr.right + rr.left};
    CompositeTarget target;
    const std::int16_t result = sink.fetchTile(imageRect, target);
    if (result != kRenderOk) return result;
    // A row's colours are composited straight from its cells, side by side
    // in the grid.
    constexpr std::ptrdiff_t kCellFloats = sizeof(RenderCell) / sizeof(float);
    for (std::int32_t y = jr.top; y < jr.bottom; ++y)
        compositeRow(jr.left, y, jr.right - jr.left, state.grid.at(jr.left, y).colour, kCellFloats, target);
    sink.returnTile(imageRect);
    return kRenderOk;
}

bool centreCheckNeeded(const RenderContext& ctx, const OutputPlacement& placement) noexcept {
    // Rectangles at least two of the render's pixels wide, the inside of an
    // outline that curves no tighter than that, and the inside and outside
    // of a polygon with such sides and no corner sharper than a right angle
    // cannot hide between the corners of a pixel.
    const double step = placement.step > 0.0f ? placement.step : 1.0;
    const double pixelsAcross = static_cast<double>(placement.image.width) / step;
    return !inputIsSeamless(ctx.inputProjection) ||
           !(outputRegionsAreRectangles(ctx, pixelsAcross, 2.0) || outputOutlineIsRound(ctx, pixelsAcross, 2.0) ||
             outputOutlineHasWideCorners(ctx, pixelsAcross, 2.0));
}

ShadingOptions shadingOptionsFor(const SettingsRecord& s, const RenderContext& ctx, int renderTarget) noexcept {
    ShadingOptions o;
    o.quality =
        renderTarget == kTargetPreview ? std::clamp(s.previewQuality, kQualityGood, kQualityBest) : kQualityBest;
    const float sharpen = std::isfinite(s.sharpen) ? s.sharpen : 0.0f;
    o.sharpen = std::clamp(sharpen, 0.0f, 100.0f) / 100.0f;
    o.wrap = inputWrapOf(ctx.inputProjection);
    o.transparentGaps = s.transparentGaps != 0;
    o.facesColoured = ctx.facesColoured != 0;
    o.tabsAreRegions = ctx.modelProjection != 45 && ctx.modelProjection != 394;
    o.tabsTakeFaceColours = o.facesColoured;
    o.keepTransparency = s.forceTransparent != 0;
    o.drawsLines = s.edges != 0 || ctx.indicatrixOn != 0;
    o.tabColour = ColorRgba{ctx.tabColour[0], ctx.tabColour[1], ctx.tabColour[2], 1.0f};
    o.gapColour = ColorRgba{ctx.gapColour[0], ctx.gapColour[1], ctx.gapColour[2], 1.0f};
    o.backdropColour = ColorRgba{ctx.backdropColour[0], ctx.backdropColour[1], ctx.backdropColour[2], 1.0f};
    o.lineColour = ColorRgba{ctx.lineColour[0], ctx.lineColour[1], ctx.lineColour[2], 1.0f};
    return o;
}

}  // namespace globaro
