#include "render/composite.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#if defined(__SSE4_1__)
#include <smmintrin.h>
#endif

namespace globaro {

namespace {

constexpr float kOpacityBoost = 1.007f;
constexpr float kSpillFactor = 60.0f / 256.0f;  // 0.234375
constexpr float kFullCoverage = 0.9999f;
constexpr float kMaskFactor = 0.0039215684f;  // 1 / 255
constexpr float kFloatColourCap = 65535.0f;

bool validDepth(int depth) { return depth == 8 || depth == 16 || depth == 32; }

int bytesPerSample(int depth) { return depth == 8 ? 1 : depth == 16 ? 2 : 4; }

float readScale(int depth) { return depth == 8 ? 1.0f / 255.0f : depth == 16 ? 1.0f / 32768.0f : 1.0f; }

bool validRect(const CompositeRect& r) { return r.bottom >= r.top && r.right >= r.left; }

bool inside(const CompositeRect& r, std::int32_t column, std::int32_t row) {
    return column >= r.left && column < r.right && row >= r.top && row < r.bottom;
}

// The address of a pixel, or null when it is not in the grid. Clamping grids
// move the position to the nearest pixel of their rectangle.
unsigned char* locate(const PixelGrid& grid, std::int32_t column, std::int32_t row) {
    if (grid.origin == nullptr || !validDepth(grid.depth) || !validRect(grid.rect)) return nullptr;
    if (grid.rect.right == grid.rect.left || grid.rect.bottom == grid.rect.top) return nullptr;
    if (grid.clampToRect) {
        column = std::clamp(column, grid.rect.left, grid.rect.right - 1);
        row = std::clamp(row, grid.rect.top, grid.rect.bottom - 1);
    } else if (!inside(grid.rect, column, row)) {
        return nullptr;
    }
    return static_cast<unsigned char*>(grid.origin) + static_cast<std::ptrdiff_t>(row - grid.rect.top) * grid.rowBytes +
           static_cast<std::ptrdiff_t>(column - grid.rect.left) * grid.pixelBytes;
}

float readSample(const unsigned char* at, int depth) {
    switch (depth) {
        case 8:
            return static_cast<float>(*at);
        case 16: {
            std::uint16_t v;
            std::memcpy(&v, at, sizeof v);
            return static_cast<float>(v);
        }
        default: {
            // A float sample that is not a number (or infinite) reads as 0, as
            // the input pyramid reads it: mixed into a partly covered or partly
            // selected pixel it would turn the whole result into one.
            float v;
            std::memcpy(&v, at, sizeof v);
            return std::isfinite(v) ? v : 0.0f;
        }
    }
}

// v > 0 ? v : 0; not a number gives 0. MAXSS is exactly this selection
// (the first operand when it is greater, else the second), without a branch.
[[gnu::always_inline]] inline float atLeastZero(float v) {
#if defined(__SSE__)
    return _mm_cvtss_f32(_mm_max_ss(_mm_set_ss(v), _mm_setzero_ps()));
#else
    return v > 0.0f ? v : 0.0f;
#endif
}

// Stores truncate(value x scale) limited to the sample's range; floats are
// stored as they are.
template <int Depth>
[[gnu::always_inline]] inline void storeSample(unsigned char* at, float value) {
    if constexpr (Depth == 8) {
        // v > 0 ? truncate(min(v, 255)) : 0, without branches.
        const float v = value * 255.0f;
        const std::uint8_t s = static_cast<std::uint8_t>(std::min(atLeastZero(v), 255.0f));
        *at = s;
    } else if constexpr (Depth == 16) {
        const float v = value * 32768.0f;
        const std::uint16_t s = static_cast<std::uint16_t>(std::min(atLeastZero(v), 32768.0f));
        std::memcpy(at, &s, sizeof s);
    } else {
        std::memcpy(at, &value, sizeof value);
    }
}

// Light above 1 in one channel is spread to the others, so that overexposed
// colours turn towards white instead of clipping to a saturated hue.
[[gnu::always_inline]] inline void spillHighlights(ColorRgba& c) {
    const bool r = c.r > 1.0f;
    const bool g = c.g > 1.0f;
    const bool b = c.b > 1.0f;
    // The usual case, nothing to spread, in one test (the channels are numbers
    // here: the clamps before have replaced what was not).
    if (!(std::max(std::max(c.r, c.g), c.b) > 1.0f)) return;
    const float excess = (r ? c.r - 1.0f : 0.0f) + (g ? c.g - 1.0f : 0.0f) + (b ? c.b - 1.0f : 0.0f);
    const float q = excess * kSpillFactor;
    const float h = q * 0.5f;
    if (r && !g && !b) {
        c.g += h;
        c.b += h;
        if (c.g > 1.0f) c.b += c.g - 1.0f;
        if (c.b > 1.0f) c.g += c.b - 1.0f;
    } else if (g && !r && !b) {
        c.b += h;
        c.r += h;
        if (c.r > 1.0f) c.b += c.r - 1.0f;
        if (c.b > 1.0f) c.r += c.b - 1.0f;
    } else if (b && !r && !g) {
        c.r += h;
        c.g += h;
        if (c.r > 1.0f) c.g += c.r - 1.0f;
        if (c.g > 1.0f) c.r += c.g - 1.0f;
    } else if (r && g && !b) {
        c.b += q;
    } else if (r && b && !g) {
        c.g += q;
    } else if (g && b && !r) {
        c.r += q;
    }
}

float maskCoverage(const MaskGrid& mask, std::int32_t column, std::int32_t row) {
    if (mask.origin == nullptr) return 1.0f;
    if (!validRect(mask.rect) || !inside(mask.rect, column, row)) return 0.0f;
    const std::uint8_t v =
        mask.origin[static_cast<std::ptrdiff_t>(row - mask.rect.top) * mask.rowBytes + (column - mask.rect.left)];
    return static_cast<float>(v) * kMaskFactor;
}

// ---- the steps of compositePixel, shared by the per-pixel and row paths -----

// Reads the samples of a located pixel (`at` from locate).
[[gnu::always_inline]] inline ColorRgba readAt(const PixelGrid& grid, const unsigned char* at) {
    const float scale = readScale(grid.depth);
    ColorRgba c;
    if (grid.grey) {
        c.r = c.g = c.b = readSample(at + grid.colorOffset[0], grid.depth) * scale;
    } else {
        c.r = readSample(at + grid.colorOffset[0], grid.depth) * scale;
        c.g = readSample(at + grid.colorOffset[1], grid.depth) * scale;
        c.b = readSample(at + grid.colorOffset[2], grid.depth) * scale;
    }
    c.a = grid.alphaOffset >= 0 ? readSample(at + grid.alphaOffset, grid.depth) * scale : 1.0f;
    return c;
}

// How a pixel's samples are laid out, copied out of a PixelGrid so that a
// loop storing bytes need not read the grid again after every store.
struct SampleLayout {
    bool grey = false;
    std::ptrdiff_t colorOffset[3] = {0, 0, 0};
    std::ptrdiff_t alphaOffset = -1;
};

SampleLayout layoutOf(const PixelGrid& grid) {
    SampleLayout l;
    l.grey = grid.grey;
    for (int c = 0; c < 3; ++c) l.colorOffset[c] = grid.colorOffset[c];
    l.alphaOffset = grid.alphaOffset;
    return l;
}

// Writes a colour at a located pixel (`at` from locate) of a grid of Depth.
template <int Depth>
[[gnu::always_inline]] inline void writeAt(const SampleLayout& layout, unsigned char* at, const ColorRgba& colour) {
    if (layout.grey) {
        storeSample<Depth>(at + layout.colorOffset[0], colour.g);
    } else {
        storeSample<Depth>(at + layout.colorOffset[0], colour.r);
        storeSample<Depth>(at + layout.colorOffset[1], colour.g);
        storeSample<Depth>(at + layout.colorOffset[2], colour.b);
    }
    if (layout.alphaOffset >= 0) storeSample<Depth>(at + layout.alphaOffset, colour.a);
}

// Steps 1 to 4: opacity boost, clamps, highlight spill, grey conversion.
[[gnu::always_inline]] inline void conditionColour(ColorRgba& colour, bool floatOutput, bool grey) {
    // 1, 2: opacity boost for integer targets, then the clamps.
    if (!floatOutput) colour.a *= kOpacityBoost;
    colour.a = atLeastZero(colour.a);
    if (colour.a > 1.0f) colour.a = 1.0f;
    colour.r = atLeastZero(colour.r);
    colour.g = atLeastZero(colour.g);
    colour.b = atLeastZero(colour.b);

    // 3: highlight spill.
    if (!floatOutput) spillHighlights(colour);

    // 4: grey targets.
    if (grey) {
        const float v = 0.3f * colour.r + 0.59f * colour.g + 0.11f * colour.b;
        colour.r = colour.g = colour.b = v;
    }
}

// Step 6: whether the pixel already there is needed.
[[gnu::always_inline]] inline bool needsDestination(BlendMode glue, const ColorRgba& colour, float coverage) {
    return glue != kBlendNormal || colour.a < 1.0f || coverage < kFullCoverage;
}

// What steps 7 to 9 need of the target, copied out of it once.
struct BlendSetup {
    BlendMode glue = kBlendNormal;
    bool floatOutput = false;
    bool overRule = false;  // host image without a transparency plane
    bool preview = false;
};

BlendSetup blendSetupOf(const CompositeTarget& target) {
    BlendSetup b;
    b.glue = target.glue;
    b.floatOutput = target.output.depth == 32;
    b.overRule = target.renderTarget == kTargetHostImage && target.output.alphaOffset < 0;
    b.preview = target.renderTarget == kTargetPreview;
    return b;
}

// Steps 7 to 9: blend, the over rule, the caps, the preview's checkerboard
// and partial selection. (x, y) in render-rectangle coordinates.
[[gnu::always_inline]] inline ColorRgba blendAndCover(const ColorRgba& colour, const ColorRgba& d, float coverage,
                                                      std::int32_t x, std::int32_t y, const BlendSetup& setup) {
    // 7: blend.
    ColorRgba result;
    if (setup.floatOutput) {
        result = colour;
        result.r = std::min(result.r, kFloatColourCap);
        result.g = std::min(result.g, kFloatColourCap);
        result.b = std::min(result.b, kFloatColourCap);
    } else if (setup.glue == kBlendNormal) {
        result = colour;  // what blendPixel gives for "normal"
    } else {
        blendPixel(colour, d, result, setup.glue);
    }
    // An image without a transparency plane cannot store a transparent
    // result: it goes over the pixel already there, at every depth (a float
    // image would otherwise turn everything outside a projection black).
    if (result.a < 1.0f && setup.overRule) {
        ColorRgba under = d;
        compositeOver(result, under);
        result = under;
    }
    if (!setup.floatOutput) {
        result.r = std::min(result.r, 1.0f);
        result.g = std::min(result.g, 1.0f);
        result.b = std::min(result.b, 1.0f);
    }

    // 8: the preview shows the result over a checkerboard.
    ColorRgba base = d;
    if (setup.preview) {
        base = checkerboardSquare(x, y);
        ColorRgba shown = base;
        compositeOver(result, shown);
        result = shown;
    }

    // 9: partial selection.
    if (coverage < kFullCoverage) {
        result.r = base.r + (result.r - base.r) * coverage;
        result.g = base.g + (result.g - base.g) * coverage;
        result.b = base.b + (result.b - base.b) * coverage;
        result.a = base.a + (result.a - base.a) * coverage;
    }
    return result;
}

}  // namespace

ColorRgba checkerboardSquare(std::int32_t x, std::int32_t y) {
    const float v = ((x ^ y) & 8) == 0 ? 1.0f : 0.8f;
    return ColorRgba{v, v, v, 1.0f};
}

ColorRgba readGridPixel(const PixelGrid& grid, std::int32_t column, std::int32_t row) {
    const unsigned char* at = locate(grid, column, row);
    if (at == nullptr) return ColorRgba{};
    return readAt(grid, at);
}

void writeGridPixel(const PixelGrid& grid, std::int32_t column, std::int32_t row, const ColorRgba& colour) {
    unsigned char* at = locate(grid, column, row);
    if (at == nullptr) return;
    const SampleLayout layout = layoutOf(grid);
    switch (grid.depth) {
        case 8:
            writeAt<8>(layout, at, colour);
            break;
        case 16:
            writeAt<16>(layout, at, colour);
            break;
        default:
            writeAt<32>(layout, at, colour);
            break;
    }
}

void compositePixel(std::int32_t x, std::int32_t y, ColorRgba& colour, const CompositeTarget& target) {
    const BlendSetup setup = blendSetupOf(target);

    // 1 to 4: conditioning.
    conditionColour(colour, setup.floatOutput, target.output.grey);

    // 5: selection coverage.
    const std::int32_t column = x + target.originX;
    const std::int32_t row = y + target.originY;
    const float coverage = maskCoverage(target.mask, column, row);

    // 6: the pixel already there, only when something uses it.
    ColorRgba d;
    if (needsDestination(setup.glue, colour, coverage)) d = readGridPixel(target.destination, column, row);

    // 7 to 9: blend, preview, partial selection; 10: write.
    writeGridPixel(target.output, column, row, blendAndCover(colour, d, coverage, x, y, setup));
}

namespace {

// ---- compositing a row -----------------------------------------------------
//
// A row of pixels is cut into spans in which every grid is either linear
// (one pixel further per pixel), constant (a clamping grid's edge pixel) or
// absent, and the mask either a row of bytes or a constant coverage. Each
// span runs through one loop with the grids resolved; the steps are the
// helpers compositePixel uses, so the arithmetic is the same.

bool usable(const PixelGrid& grid) {
    return grid.origin != nullptr && validDepth(grid.depth) && validRect(grid.rect) &&
           grid.rect.right > grid.rect.left && grid.rect.bottom > grid.rect.top;
}

// Where a span reads the pixel already there and the mask.
struct SpanInputs {
    const unsigned char* destination = nullptr;  // null: d = (0, 0, 0, 0)
    std::ptrdiff_t destinationStep = 0;          // bytes per pixel (0: a clamped edge pixel)
    const std::uint8_t* mask = nullptr;          // null: `coverage` for every pixel
    float coverage = 1.0f;
};

// Composites `n` pixels; the first is at render-rectangle (x, y), its colour
// at rgba, its output pixel at `out`.
template <int Depth>
void compositeSpan(std::int32_t x, std::int32_t y, std::int32_t n, const float* rgba, std::ptrdiff_t rgbaStride,
                   unsigned char* out, const SpanInputs& in, const CompositeTarget& target) {
    constexpr bool kFloatOutput = Depth == 32;
    const BlendSetup setup = blendSetupOf(target);
    const SampleLayout layout = layoutOf(target.output);
    const std::ptrdiff_t outStep = target.output.pixelBytes;
    const PixelGrid& destinationGrid = target.destination;
    const unsigned char* const destination = in.destination;
    const std::ptrdiff_t destinationStep = in.destinationStep;
    const std::uint8_t* const mask = in.mask;
    const float fixedCoverage = in.coverage;
    for (std::int32_t i = 0; i < n; ++i) {
        const float* p = rgba + i * rgbaStride;
        ColorRgba colour{p[0], p[1], p[2], p[3]};
        conditionColour(colour, kFloatOutput, layout.grey);
        const float coverage = mask != nullptr ? static_cast<float>(mask[i]) * kMaskFactor : fixedCoverage;
        ColorRgba d;
        if (destination != nullptr && needsDestination(setup.glue, colour, coverage)) {
            d = readAt(destinationGrid, destination + i * destinationStep);
        }
        writeAt<Depth>(layout, out + i * outStep, blendAndCover(colour, d, coverage, x + i, y, setup));
    }
}

#if defined(__SSE4_1__)
// The commonest pixel of an integer RGB target, all four channels at once:
// when the conditioned colour is opaque (alpha x 1.007 at least 1) and no
// channel is above 1 (nothing to spill, nothing to cap), steps 1 to 9 leave
// the clamped colour as it is with alpha 1, and step 10 stores
// truncate(channel x scale), the range limits having nothing to do. Each
// lane's arithmetic is the scalar steps' own (the same products and
// selections). Returns false, having written nothing, for any other pixel.
template <int Depth>
[[gnu::always_inline]] inline bool storeOpaqueRgb(const float* p, const SampleLayout& layout, unsigned char* at) {
    static_assert(Depth == 8 || Depth == 16);
    const __m128 boost = _mm_setr_ps(1.0f, 1.0f, 1.0f, kOpacityBoost);
    __m128 c = _mm_loadu_ps(p);                              // r, g, b, a
    c = _mm_blend_ps(c, _mm_mul_ps(c, boost), 0x8);          // step 1 on alpha only
    c = _mm_max_ps(c, _mm_setzero_ps());                     // step 2: atLeastZero on every lane
    const __m128 low = _mm_setr_ps(0.0f, 0.0f, 0.0f, 1.0f);  // alpha at least 1
    const __m128 high = _mm_setr_ps(1.0f, 1.0f, 1.0f, std::numeric_limits<float>::infinity());  // colour at most 1
    if (_mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(c, low), _mm_cmple_ps(c, high))) != 0xF) return false;
    constexpr float kScale = Depth == 8 ? 255.0f : 32768.0f;
    const __m128i q = _mm_cvttps_epi32(_mm_mul_ps(c, _mm_set1_ps(kScale)));
    if constexpr (Depth == 8) {
        at[layout.colorOffset[0]] = static_cast<unsigned char>(_mm_extract_epi8(q, 0));
        at[layout.colorOffset[1]] = static_cast<unsigned char>(_mm_extract_epi8(q, 4));
        at[layout.colorOffset[2]] = static_cast<unsigned char>(_mm_extract_epi8(q, 8));
    } else {
        const std::uint16_t v[3] = {static_cast<std::uint16_t>(_mm_extract_epi16(q, 0)),
                                    static_cast<std::uint16_t>(_mm_extract_epi16(q, 2)),
                                    static_cast<std::uint16_t>(_mm_extract_epi16(q, 4))};
        for (int k = 0; k < 3; ++k) std::memcpy(at + layout.colorOffset[k], &v[k], sizeof v[k]);
    }
    if (layout.alphaOffset >= 0) storeSample<Depth>(at + layout.alphaOffset, 1.0f);
    return true;
}
#endif

// The usual spans, with everything that does not change along them fixed at
// compile time: glue "normal", a host or export image (no checkerboard),
// the output's depth, grey or RGB, with or without a transparency plane,
// with or without a mask. The steps are the same helpers with those values
// filled in, so the results are the same; the pixel already there is read
// only where a step uses it (an opaque result never needs it, a transparent
// one only for the over rule or a partial selection).
template <int Depth, bool Grey, bool AlphaPlane, bool Masked>
void compositePlainSpan(std::int32_t n, const float* rgba, std::ptrdiff_t rgbaStride, unsigned char* out,
                        const SpanInputs& in, const CompositeTarget& target) {
    constexpr bool kFloatOutput = Depth == 32;
    BlendSetup setup;
    setup.glue = kBlendNormal;
    setup.floatOutput = kFloatOutput;
    setup.overRule = !AlphaPlane && target.renderTarget == kTargetHostImage;
    setup.preview = false;
    SampleLayout layout;
    layout.grey = Grey;
    for (int c = 0; c < 3; ++c) layout.colorOffset[c] = target.output.colorOffset[c];
    layout.alphaOffset = AlphaPlane ? target.output.alphaOffset : -1;
    const std::ptrdiff_t outStep = target.output.pixelBytes;
    const PixelGrid& destinationGrid = target.destination;
    const unsigned char* const destination = in.destination;
    const std::ptrdiff_t destinationStep = in.destinationStep;
    const std::uint8_t* const mask = in.mask;
    const float fixedCoverage = in.coverage;
    for (std::int32_t i = 0; i < n; ++i) {
        const float* p = rgba + i * rgbaStride;
        float coverage = 1.0f;
        if constexpr (Masked) coverage = mask != nullptr ? static_cast<float>(mask[i]) * kMaskFactor : fixedCoverage;
#if defined(__SSE4_1__)
        if constexpr (!kFloatOutput && !Grey) {
            if (!(coverage < kFullCoverage) && storeOpaqueRgb<Depth>(p, layout, out + i * outStep)) continue;
        }
#endif
        ColorRgba colour{p[0], p[1], p[2], p[3]};
        conditionColour(colour, kFloatOutput, Grey);
        ColorRgba d;
        // Where the result is transparent or partly selected and d takes part.
        const bool partial = Masked && coverage < kFullCoverage;
        if ((partial || (setup.overRule && colour.a < 1.0f)) && destination != nullptr) {
            d = readAt(destinationGrid, destination + i * destinationStep);
        }
        // (x, y) only place the preview's checkerboard, which is not drawn here.
        writeAt<Depth>(layout, out + i * outStep, blendAndCover(colour, d, coverage, 0, 0, setup));
    }
}

// The pixel already there for the columns from `column` on, and how many of
// them share that description (up to `limit`).
std::int64_t destinationRun(const PixelGrid& grid, std::int64_t row, std::int64_t column, std::int64_t limit,
                            SpanInputs& in) {
    in.destination = nullptr;
    in.destinationStep = 0;
    if (!usable(grid)) return limit;
    const CompositeRect& r = grid.rect;
    if (grid.clampToRect) {
        row = std::clamp<std::int64_t>(row, r.top, r.bottom - 1);
    } else if (row < r.top || row >= r.bottom) {
        return limit;
    }
    unsigned char* rowStart =
        static_cast<unsigned char*>(grid.origin) + static_cast<std::ptrdiff_t>(row - r.top) * grid.rowBytes;
    if (column < r.left) {
        if (grid.clampToRect) in.destination = rowStart;
        return std::min<std::int64_t>(limit, r.left - column);
    }
    if (column >= r.right) {
        if (grid.clampToRect) {
            in.destination = rowStart + static_cast<std::ptrdiff_t>(r.right - 1 - r.left) * grid.pixelBytes;
        }
        return limit;
    }
    in.destination = rowStart + static_cast<std::ptrdiff_t>(column - r.left) * grid.pixelBytes;
    in.destinationStep = grid.pixelBytes;
    return std::min<std::int64_t>(limit, r.right - column);
}

// The same for the mask.
std::int64_t maskRun(const MaskGrid& mask, std::int64_t row, std::int64_t column, std::int64_t limit, SpanInputs& in) {
    in.mask = nullptr;
    in.coverage = 1.0f;
    if (mask.origin == nullptr) return limit;
    in.coverage = 0.0f;
    const CompositeRect& r = mask.rect;
    if (!validRect(r) || row < r.top || row >= r.bottom || column >= r.right) return limit;
    if (column < r.left) return std::min<std::int64_t>(limit, r.left - column);
    in.mask = mask.origin + static_cast<std::ptrdiff_t>(row - r.top) * mask.rowBytes + (column - r.left);
    return std::min<std::int64_t>(limit, r.right - column);
}

using SpanKernel = void (*)(std::int32_t, std::int32_t, std::int32_t, const float*, std::ptrdiff_t, unsigned char*,
                            const SpanInputs&, const CompositeTarget&);

// The plain kernel for a depth, colour layout, transparency plane and mask.
using PlainSpanKernel = void (*)(std::int32_t, const float*, std::ptrdiff_t, unsigned char*, const SpanInputs&,
                                 const CompositeTarget&);

template <int Depth>
PlainSpanKernel plainSpanOfDepth(bool grey, bool alphaPlane, bool masked) {
    static constexpr PlainSpanKernel kKernels[8] = {
        &compositePlainSpan<Depth, false, false, false>, &compositePlainSpan<Depth, false, false, true>,
        &compositePlainSpan<Depth, false, true, false>,  &compositePlainSpan<Depth, false, true, true>,
        &compositePlainSpan<Depth, true, false, false>,  &compositePlainSpan<Depth, true, false, true>,
        &compositePlainSpan<Depth, true, true, false>,   &compositePlainSpan<Depth, true, true, true>,
    };
    return kKernels[(grey ? 4 : 0) + (alphaPlane ? 2 : 0) + (masked ? 1 : 0)];
}

PlainSpanKernel plainSpanFor(int depth, bool grey, bool alphaPlane, bool masked) {
    if (depth == 8) return plainSpanOfDepth<8>(grey, alphaPlane, masked);
    if (depth == 16) return plainSpanOfDepth<16>(grey, alphaPlane, masked);
    return plainSpanOfDepth<32>(grey, alphaPlane, masked);
}

}  // namespace

void compositeRow(std::int32_t x, std::int32_t y, std::int32_t count, const float* rgba, std::ptrdiff_t rgbaStride,
                  const CompositeTarget& target) {
    if (count <= 0 || rgba == nullptr) return;
    const PixelGrid& output = target.output;
    if (!usable(output)) return;  // every write would be dropped
    // Positions beyond the coordinate range hold no pixel.
    const std::int64_t n =
        std::min<std::int64_t>(count, static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) - x + 1);
    const std::int64_t row = static_cast<std::int64_t>(y) + target.originY;
    const std::int64_t first = static_cast<std::int64_t>(x) + target.originX;  // target column of pixel 0
    const std::int64_t last = first + n;
    const CompositeRect& r = output.rect;

    std::int64_t outRow = row;
    if (output.clampToRect) {
        outRow = std::clamp<std::int64_t>(row, r.top, r.bottom - 1);
    } else if (row < r.top || row >= r.bottom) {
        return;
    }
    // [first, insideFrom) lies left of the output's rectangle, [insideTo, last)
    // right of it: nothing is written there, or, for a clamping grid, the
    // pixels are moved to its edge (the per-pixel path, in order).
    const std::int64_t insideFrom = std::min(std::max<std::int64_t>(first, r.left), last);
    const std::int64_t insideTo = std::max(std::min<std::int64_t>(last, r.right), insideFrom);
    auto perPixel = [&](std::int64_t from, std::int64_t to) {
        for (std::int64_t c = from; c < to; ++c) {
            const float* p = rgba + (c - first) * rgbaStride;
            ColorRgba colour{p[0], p[1], p[2], p[3]};
            compositePixel(static_cast<std::int32_t>(x + (c - first)), y, colour, target);
        }
    };
    if (output.clampToRect) perPixel(first, insideFrom);

    // The kernels for this row: the plain one for glue "normal" outside the
    // preview, the general one (any mode, the checkerboard) otherwise.
    const bool plain = target.glue == kBlendNormal && target.renderTarget != kTargetPreview;
    const PlainSpanKernel plainSpan =
        plainSpanFor(output.depth, output.grey, output.alphaOffset >= 0, target.mask.origin != nullptr);
    const SpanKernel generalSpan = output.depth == 8    ? &compositeSpan<8>
                                   : output.depth == 16 ? &compositeSpan<16>
                                                        : &compositeSpan<32>;

    unsigned char* const outRowStart =
        static_cast<unsigned char*>(output.origin) + static_cast<std::ptrdiff_t>(outRow - r.top) * output.rowBytes;
    for (std::int64_t c = insideFrom; c < insideTo;) {
        SpanInputs in;
        std::int64_t run = insideTo - c;
        run = destinationRun(target.destination, row, c, run, in);
        run = maskRun(target.mask, row, c, run, in);
        const std::int64_t offset = c - first;
        const std::int32_t sx = static_cast<std::int32_t>(x + offset);
        const std::int32_t sn = static_cast<std::int32_t>(run);
        const float* p = rgba + offset * rgbaStride;
        unsigned char* out = outRowStart + static_cast<std::ptrdiff_t>(c - r.left) * output.pixelBytes;
        if (plain) {
            plainSpan(sn, p, rgbaStride, out, in, target);
        } else {
            generalSpan(sx, y, sn, p, rgbaStride, out, in, target);
        }
        c += run;
    }

    if (output.clampToRect) perPixel(insideTo, last);
}

PixelGrid interleavedGrid(void* first, std::ptrdiff_t rowBytes, int planes, int depth, bool grey, int alphaPlane,
                          const CompositeRect& rect) {
    PixelGrid grid;
    const int colourPlanes = grey ? 1 : 3;
    if (first == nullptr || !validDepth(depth) || !validRect(rect) || planes < colourPlanes) return grid;
    if (alphaPlane >= planes || alphaPlane < -1 || (alphaPlane >= 0 && alphaPlane < colourPlanes)) {
        return grid;
    }
    const int bytes = bytesPerSample(depth);
    grid.origin = first;
    grid.rowBytes = rowBytes;
    grid.pixelBytes = static_cast<std::ptrdiff_t>(planes) * bytes;
    grid.depth = depth;
    grid.grey = grey;
    for (int c = 0; c < 3; ++c) grid.colorOffset[c] = grey ? 0 : c * bytes;
    grid.alphaOffset = alphaPlane >= 0 ? static_cast<std::ptrdiff_t>(alphaPlane) * bytes : -1;
    grid.rect = rect;
    return grid;
}

PixelGrid planarGrid8(void* first, std::ptrdiff_t rowBytes, std::ptrdiff_t planeBytes, int planes,
                      const CompositeRect& rect) {
    PixelGrid grid;
    if (first == nullptr || planes < 1 || !validRect(rect)) return grid;
    grid.origin = first;
    grid.rowBytes = rowBytes;
    grid.pixelBytes = 1;
    grid.depth = 8;
    grid.grey = planes < 3;
    for (int c = 0; c < 3; ++c) grid.colorOffset[c] = grid.grey ? 0 : c * planeBytes;
    grid.alphaOffset = -1;
    grid.rect = rect;
    grid.clampToRect = true;
    return grid;
}

PixelGrid packedRgba8Grid(std::uint32_t* first, std::ptrdiff_t rowBytes, const CompositeRect& rect) {
    PixelGrid grid;
    if (first == nullptr || !validRect(rect)) return grid;
    // Byte of the word's bits 24..31 (red), 16..23, 8..15, 0..7 (alpha).
    const bool little = std::endian::native == std::endian::little;
    auto byteOf = [little](int shift) -> std::ptrdiff_t { return little ? shift / 8 : 3 - shift / 8; };
    grid.origin = first;
    grid.rowBytes = rowBytes;
    grid.pixelBytes = 4;
    grid.depth = 8;
    grid.colorOffset[0] = byteOf(24);
    grid.colorOffset[1] = byteOf(16);
    grid.colorOffset[2] = byteOf(8);
    grid.alphaOffset = byteOf(0);
    grid.rect = rect;
    return grid;
}

}  // namespace globaro
