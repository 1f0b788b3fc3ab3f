#include "render/image_pyramid.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSSE3__)
#include <tmmintrin.h>
#endif
#if defined(__SSE4_1__)
#include <smmintrin.h>
#endif
// The lookups' reads in 256-bit vectors where the processor has them (AVX2,
// found at run time): built for it alone, whatever the target of the rest.
#if defined(__SSE4_1__) && defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define GLOBARO_WIDE_READS 1
#define GLOBARO_WIDE [[gnu::target("avx2")]]
#endif

namespace globaro {

constexpr float kPyramidWeights[6][6] = {
    {0, 1, 4, 4, 1, 0},       {1, 16, 64, 64, 16, 1}, {4, 64, 256, 256, 64, 4},
    {4, 64, 256, 256, 64, 4}, {1, 16, 64, 64, 16, 1}, {0, 1, 4, 4, 1, 0},
};

namespace {

constexpr float kTapOffsets[6] = {-0.75f, -0.25f, 0.25f, 0.75f, 1.25f, 1.75f};
constexpr float kColourMax = 65535.0f;
// Colour above full scale is light a float image holds (HDR): kept, up to a
// limit far above any image's values and far enough below the float range
// that the weighted sums of the reductions and lookups stay finite.
constexpr float kColourLimit = 1.0e30f;

inline std::int32_t wrapIndex(std::int32_t i, std::int32_t n) {
    // Lookups and taps reach at most a few pixels past an edge: one
    // addition or subtraction, the division only for anything further.
    if (i < 0)
        i += n;
    else if (i >= n)
        i -= n;
    if (i < 0 || i >= n) {
        i %= n;
        if (i < 0) i += n;
    }
    return i;
}

inline std::int32_t clampIndex(std::int32_t i, std::int32_t n) { return i < 0 ? 0 : (i >= n ? n - 1 : i); }

inline std::int32_t columnIndex(std::int32_t i, std::int32_t n, bool wrap) {
    return wrap ? wrapIndex(i, n) : clampIndex(i, n);
}

// The samples of a level as the reductions and lookups read them: four
// values a pixel, the factors that turn them into the levels' float units
// (colour 0..65535, alpha 0..1), and those that turn them into lookup
// results (colour and alpha 0..1).
struct FloatTexels {
    using Sample = float;
    static constexpr float kColour = 1.0f;
    static constexpr float kAlpha = 1.0f;
    static constexpr float kUnitColour = 1.0f / 65535.0f;
    static constexpr float kUnitAlpha = 1.0f;
    static const float* at(const PyramidLevel& lv, std::int32_t x, std::int32_t y) { return lv.pixel(x, y); }
    static float* out(PyramidLevel& lv, std::int32_t x, std::int32_t y) { return lv.pixel(x, y); }
};
struct ByteTexels {
    using Sample = std::uint8_t;
    static constexpr float kColour = 257.0f;  // 255 -> 65535
    static constexpr float kAlpha = 1.0f / 255.0f;
    static constexpr float kUnitColour = 1.0f / 255.0f;
    static constexpr float kUnitAlpha = 1.0f / 255.0f;
    static const std::uint8_t* at(const PyramidLevel& lv, std::int32_t x, std::int32_t y) { return lv.texel8(x, y); }
};
struct WordTexels {
    using Sample = std::uint16_t;
    static constexpr float kColour = 1.0f;
    static constexpr float kAlpha = 1.0f / 65535.0f;
    static constexpr float kUnitColour = 1.0f / 65535.0f;
    static constexpr float kUnitAlpha = 1.0f / 65535.0f;
    static const std::uint16_t* at(const PyramidLevel& lv, std::int32_t x, std::int32_t y) { return lv.texel16(x, y); }
    static std::uint16_t* out(PyramidLevel& lv, std::int32_t x, std::int32_t y) { return lv.texel16(x, y); }
};

// Four channels at once (the compiler's vector extension: SSE on x86-64,
// NEON on ARM, plain code elsewhere), with the same arithmetic per channel
// as four scalar operations.
using Vec4 = float __attribute__((vector_size(16)));
using Bytes4 = std::uint8_t __attribute__((vector_size(4)));

inline Vec4 loadTexel(const float* p) noexcept {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline Vec4 loadTexel(const std::uint8_t* p) noexcept {
#if defined(__SSE2__)
    // Four bytes widened to four 32-bit integers in the vector unit (the
    // generic conversion below goes a byte at a time).
    std::int32_t word;
    std::memcpy(&word, p, sizeof word);
    const __m128i zero = _mm_setzero_si128();
    const __m128i wide = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
    return static_cast<Vec4>(_mm_cvtepi32_ps(wide));
#else
    Bytes4 b;
    std::memcpy(&b, p, sizeof b);
    return __builtin_convertvector(b, Vec4);
#endif
}

inline Vec4 loadTexel(const std::uint16_t* p) noexcept {
#if defined(__SSE2__)
    const __m128i wide = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
    return static_cast<Vec4>(_mm_cvtepi32_ps(wide));
#else
    using Words4 = std::uint16_t __attribute__((vector_size(8)));
    Words4 w;
    std::memcpy(&w, p, sizeof w);
    return __builtin_convertvector(w, Vec4);
#endif
}

inline Vec4 splat(float f) noexcept { return Vec4{f, f, f, f}; }

// The factors that turn a level's samples into lookup results.
template <typename Texels>
inline Vec4 unitScale() noexcept {
    return Vec4{Texels::kUnitColour, Texels::kUnitColour, Texels::kUnitColour, Texels::kUnitAlpha};
}

// Four consecutive pixels of four channels each.
inline void loadFourTexels(const float* p, Vec4 out[4]) noexcept {
    for (int i = 0; i < 4; ++i) out[i] = loadTexel(p + 4 * i);
}

inline void loadFourTexels(const std::uint8_t* p, Vec4 out[4]) noexcept {
#if defined(__SSE2__)
    // Sixteen bytes widened in the vector unit, a pixel to each vector.
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
    out[0] = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero)));
    out[1] = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero)));
    out[2] = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero)));
    out[3] = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero)));
#else
    for (int i = 0; i < 4; ++i) out[i] = loadTexel(p + 4 * i);
#endif
}

inline void loadFourTexels(const std::uint16_t* p, Vec4 out[4]) noexcept {
#if defined(__SSE2__)
    // Two pixels to each 16-byte load, widened in the vector unit.
    const __m128i zero = _mm_setzero_si128();
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
    out[0] = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_unpacklo_epi16(first, zero)));
    out[1] = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_unpackhi_epi16(first, zero)));
    out[2] = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_unpacklo_epi16(second, zero)));
    out[3] = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_unpackhi_epi16(second, zero)));
#else
    for (int i = 0; i < 4; ++i) out[i] = loadTexel(p + 4 * i);
#endif
}

inline void storeReduced(float* out, const float* sum, float colourFactor, float alphaFactor) {
    constexpr float k = 1.0f / kPyramidWeightSum;
    // The weights are positive: a reduction stays within its taps' range
    // (0..65535 for an integer image, above it for a float one).
    for (int c = 0; c < 3; ++c) out[c] = std::clamp(sum[c] * k * colourFactor, 0.0f, kColourLimit);
    out[3] = std::clamp(sum[3] * k * alphaFactor, 0.0f, 1.0f);
}

// The same into words, rounded to the nearest (alpha 0..1 as 0..65535).
inline void storeReduced(std::uint16_t* out, const float* sum, float colourFactor, float alphaFactor) {
    float value[4];
    storeReduced(value, sum, colourFactor, alphaFactor);
    for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint16_t>(std::min(value[c], kColourMax) + 0.5f);
    out[3] = static_cast<std::uint16_t>(value[3] * kColourMax + 0.5f);
}

// One tap position of an interpolated reduction: the two source indexes and
// the weight of the second.
struct Tap {
    std::int32_t i0 = 0, i1 = 0;
    float f = 0.0f;
};

Tap makeTap(float centreIndex, std::int32_t n, bool wrap) {
    const float fl = std::floor(centreIndex);
    Tap t;
    const std::int32_t i = static_cast<std::int32_t>(fl);
    t.f = centreIndex - fl;
    t.i0 = columnIndex(i, n, wrap);
    t.i1 = columnIndex(i + 1, n, wrap);
    return t;
}

// Shapes an interpolation fraction: sharpen 0 keeps it linear, 1 turns it
// into the smooth step, whose weights stay in [0, 1] (no overshoot).
inline float shapeFraction(float t, float sharpen) {
    if (sharpen <= 0.0f) return t;
    const float smooth = t * t * (3.0f - 2.0f * t);
    return t + (smooth - t) * sharpen;
}

inline bool finite(float v) { return std::isfinite(v); }

// Reads sample `c` of a row of `Sample`s as a float (a float that is not a
// number reads as 0).
template <typename Sample>
inline float readSample(const std::uint8_t* row, std::size_t index) {
    Sample q;
    std::memcpy(&q, row + index * sizeof(Sample), sizeof(Sample));
    const float v = static_cast<float>(q);
    if constexpr (std::is_same_v<Sample, float>) return finite(v) ? v : 0.0f;
    return v;
}

// One row of `width` pixels of `Channels` interleaved samples into level-0
// floats: colour ×colourScale clamped to 0..65535 (float samples: at least 0,
// values above full scale kept), alpha ×alphaScale clamped to 0..1 (1
// without an alpha channel); grey fills all three colours.
template <typename Sample, int Channels>
void storeRow(const std::uint8_t* row, std::int32_t width, float colourScale, float alphaScale, float* out) {
    constexpr bool grey = Channels < 3;
    constexpr bool alpha = Channels == 2 || Channels == 4;
    constexpr float limit = std::is_same_v<Sample, float> ? kColourLimit : kColourMax;
    for (std::int32_t x = 0; x < width; ++x, out += 4) {
        const std::size_t i = static_cast<std::size_t>(x) * Channels;
        const float r = std::clamp(readSample<Sample>(row, i) * colourScale, 0.0f, limit);
        out[0] = r;
        out[1] = grey ? r : std::clamp(readSample<Sample>(row, i + 1) * colourScale, 0.0f, limit);
        out[2] = grey ? r : std::clamp(readSample<Sample>(row, i + 2) * colourScale, 0.0f, limit);
        out[3] = alpha ? std::clamp(readSample<Sample>(row, i + Channels - 1) * alphaScale, 0.0f, 1.0f) : 1.0f;
    }
}

// One row of `width` 8-bit pixels of `Channels` interleaved samples into a
// byte level: red, green, blue, alpha (255 without an alpha channel); grey
// fills all three colours.
template <int Channels>
void storeRow8(const std::uint8_t* row, std::int32_t width, std::uint8_t* out) {
    if constexpr (Channels == 4) {
        std::memcpy(out, row, static_cast<std::size_t>(width) * 4);
    } else {
        std::int32_t x = 0;
#if defined(__SSSE3__)
        // Four pixels a shuffle, while a 16-byte load stays inside the row:
        // each output byte picks its input byte, the missing alpha is set.
        constexpr auto pick = [](int i) -> char {
            const int pixel = i / 4, channel = i % 4;
            if (channel < 3) return static_cast<char>(pixel * Channels + (Channels < 3 ? 0 : channel));
            return static_cast<char>(Channels == 2 ? pixel * 2 + 1 : -1);
        };
        const __m128i spread =
            _mm_setr_epi8(pick(0), pick(1), pick(2), pick(3), pick(4), pick(5), pick(6), pick(7), pick(8), pick(9),
                          pick(10), pick(11), pick(12), pick(13), pick(14), pick(15));
        const __m128i opaque = Channels == 2 ? _mm_setzero_si128() : _mm_set1_epi32(static_cast<int>(0xff000000u));
        for (; x * Channels + 16 <= width * Channels; x += 4, out += 16, row += 4 * Channels) {
            const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_shuffle_epi8(in, spread), opaque));
        }
#endif
        for (; x < width; ++x, out += 4, row += Channels) {
            if constexpr (Channels < 3) {
                out[0] = out[1] = out[2] = row[0];
            } else {
                out[0] = row[0];
                out[1] = row[1];
                out[2] = row[2];
            }
            out[3] = Channels == 2 ? row[1] : 255;
        }
    }
}

}  // namespace

// ---- building -------------------------------------------------------------------------

void ImagePyramid::clear() {
    levels_.clear();
    levels_.shrink_to_fit();
    levelCount_ = 0;
    firstLevelRows_ = 0;
    ready_ = false;
}

namespace {

template <typename Texels>
void readAs(const PyramidLevel& lv, std::int32_t x, std::int32_t y, float out[4]) {
    const auto* p = Texels::at(lv, x, y);
    for (int c = 0; c < 3; ++c) out[c] = static_cast<float>(p[c]) * Texels::kColour;
    out[3] = static_cast<float>(p[3]) * Texels::kAlpha;
}

// How an image of each depth keeps its levels.
struct DepthStorage {
    int depth;
    PyramidStorage storage;
};
constexpr DepthStorage kDepthStorage[] = {
    {8, {LevelStorage::kBytes, LevelStorage::kWords}},
    {16, {LevelStorage::kFloat, LevelStorage::kWords}},
    {32, {LevelStorage::kFloat, LevelStorage::kFloat}},
};

}  // namespace

PyramidStorage pyramidStorageFor(int depth) {
    for (const DepthStorage& row : kDepthStorage)
        if (row.depth == depth) return row.storage;
    return PyramidStorage{};
}

void PyramidLevel::readPixel(std::int32_t x, std::int32_t y, float out[4]) const {
    switch (storage) {
        case LevelStorage::kBytes:
            return readAs<ByteTexels>(*this, x, y, out);
        case LevelStorage::kWords:
            return readAs<WordTexels>(*this, x, y, out);
        case LevelStorage::kFloat:
            break;
    }
    return readAs<FloatTexels>(*this, x, y, out);
}

bool ImagePyramid::allocate(std::int32_t width, std::int32_t height, PyramidWrap wrap, PyramidStorage storage) {
    clear();
    if (width < 1 || height < 1) return false;
    const bool known = std::any_of(std::begin(kDepthStorage), std::end(kDepthStorage), [&](const DepthStorage& row) {
        return row.storage.base == storage.base && row.storage.reduced == storage.reduced;
    });
    if (!known) return false;
    wrap_ = wrap;
    try {
        levels_.resize(kMaxLevels);
        std::int32_t w = width, h = height;
        int n = 0;
        for (;;) {
            PyramidLevel& lv = levels_[static_cast<std::size_t>(n)];
            lv.width = w;
            lv.height = h;
            if (n > 0) {
                const PyramidLevel& prev = levels_[static_cast<std::size_t>(n - 1)];
                lv.ratioX = static_cast<float>(prev.width) / static_cast<float>(w);
                lv.ratioY = static_cast<float>(prev.height) / static_cast<float>(h);
                lv.wideTaps = prev.width != 2 * w || prev.height != 2 * h;
            }
            const std::size_t samples = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4;
            lv.storage = n == 0 ? storage.base : storage.reduced;
            switch (lv.storage) {
                case LevelStorage::kBytes:
                    lv.bytes.resize(samples);
                    break;
                case LevelStorage::kWords:
                    lv.words.resize(samples);
                    break;
                case LevelStorage::kFloat:
                    lv.pixels.resize(samples);
                    break;
            }
            ++n;
            if ((w == 1 && h == 1) || n == kMaxLevels) break;
            w = (w + 1) / 2;
            h = (h + 1) / 2;
        }
        levels_.resize(static_cast<std::size_t>(n));
        levelCount_ = n;
        computeLevelVariances();
    } catch (const std::bad_alloc&) {
        clear();
        return false;
    } catch (const std::length_error&) {
        clear();
        return false;
    }
    return true;
}

void ImagePyramid::computeLevelVariances() {
    // The reduction's spread along one axis, in pixels of the new level
    // squared, from the marginal of its weights (taps at -0.25, 0.25, ...
    // about the new pixel's centre at 0.5).
    double spread = 0.0;
    for (int i = 0; i < 6; ++i) {
        double column = 0.0;
        for (int j = 0; j < 6; ++j) column += kPyramidWeights[j][i];
        const double d = kTapOffsets[i] - 0.5;
        spread += column * d * d;
    }
    spread /= kPyramidWeightSum;
    constexpr double kBilinear = 1.0 / 6.0;  // a tent one pixel wide either side
    constexpr double kBSpline = 1.0 / 3.0;   // the cubic B-spline
    const PyramidLevel& base = levels_[0];
    double reduced = 0.0;  // the reductions' variance so far, level-0 pixels squared
    for (int n = 0; n < levelCount_; ++n) {
        const PyramidLevel& lv = levels_[static_cast<std::size_t>(n)];
        // Level-0 pixels per pixel of this level (the mean of both axes).
        const double size =
            std::sqrt(static_cast<double>(base.width) * base.height / (static_cast<double>(lv.width) * lv.height));
        if (n > 0) {
            const PyramidLevel& prev = levels_[static_cast<std::size_t>(n - 1)];
            const double prevSize = std::sqrt(static_cast<double>(base.width) * base.height /
                                              (static_cast<double>(prev.width) * prev.height));
            // Interpolated taps blur by a bilinear read of the source as well.
            reduced += spread * size * size + (lv.wideTaps ? kBilinear * prevSize * prevSize : 0.0);
        }
        levelVariance_[static_cast<std::size_t>(n)] = static_cast<float>(reduced + kBSpline * size * size);
    }
}

bool ImagePyramid::storeImage(const SourceImageView& view, std::int32_t x0, std::int32_t y0) {
    if (levelCount_ < 1 || view.pixels == nullptr || view.width < 1 || view.height < 1) return false;
    if (view.channels < 1 || view.channels > 4) return false;
    if (view.depth != 8 && view.depth != 16 && view.depth != 32) return false;
    const int bytes = view.depth / 8;
    if (view.rowBytes < static_cast<std::ptrdiff_t>(view.width) * view.channels * bytes) return false;
    PyramidLevel& lv = levels_[0];
    if (x0 < 0 || y0 < 0 || x0 + view.width > lv.width || y0 + view.height > lv.height) return false;
    // Rows of level 1 reduced ahead whose taps reach row y0 or below (row y
    // takes rows 2y − 2 .. 2y + 3) are out of date.
    firstLevelRows_ = std::min(firstLevelRows_, std::max(0, (y0 - 2) / 2));
    if (lv.storage == LevelStorage::kBytes) {
        // Bytes go in as they are.
        if (view.depth != 8) return false;
        using ByteRowStore = void (*)(const std::uint8_t* row, std::int32_t width, std::uint8_t* out);
        constexpr ByteRowStore kStores[4] = {storeRow8<1>, storeRow8<2>, storeRow8<3>, storeRow8<4>};
        const ByteRowStore store = kStores[view.channels - 1];
        for (std::int32_t y = 0; y < view.height; ++y) {
            const auto* row = static_cast<const std::uint8_t*>(view.pixels) + y * view.rowBytes;
            store(row, view.width, lv.texel8(x0, y0 + y));
        }
        ready_ = false;
        return true;
    }
    const float colourScale = view.depth == 8 ? 65535.0f / 255.0f : view.depth == 16 ? 65535.0f / 32768.0f : 65535.0f;
    const float alphaScale = view.depth == 8 ? 1.0f / 255.0f : view.depth == 16 ? 1.0f / 32768.0f : 1.0f;
    // The format is resolved once per call; each row is converted by a loop
    // made for it.
    using RowStore =
        void (*)(const std::uint8_t* row, std::int32_t width, float colourScale, float alphaScale, float* out);
    RowStore store = nullptr;
    switch (view.depth * 10 + view.channels) {
        case 81:
            store = storeRow<std::uint8_t, 1>;
            break;
        case 82:
            store = storeRow<std::uint8_t, 2>;
            break;
        case 83:
            store = storeRow<std::uint8_t, 3>;
            break;
        case 84:
            store = storeRow<std::uint8_t, 4>;
            break;
        case 161:
            store = storeRow<std::uint16_t, 1>;
            break;
        case 162:
            store = storeRow<std::uint16_t, 2>;
            break;
        case 163:
            store = storeRow<std::uint16_t, 3>;
            break;
        case 164:
            store = storeRow<std::uint16_t, 4>;
            break;
        case 321:
            store = storeRow<float, 1>;
            break;
        case 322:
            store = storeRow<float, 2>;
            break;
        case 323:
            store = storeRow<float, 3>;
            break;
        default:
            store = storeRow<float, 4>;
            break;
    }
    for (std::int32_t y = 0; y < view.height; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(view.pixels) + y * view.rowBytes;
        store(row, view.width, colourScale, alphaScale, lv.pixel(x0, y0 + y));
    }
    ready_ = false;
    return true;
}

namespace {

// One tile `r` (clipped) of `dst` from `src` with whole-pixel taps (the exact
// 2:1 case). The columns of the taps depend on x alone: worked out once per
// tile (tiles are at most kTileSize wide; the caller slices wider requests).
// `Out` is the new level's storage.
template <typename Texels, typename Out>
void reduceWhole(const PyramidLevel& src, PyramidLevel& dst, const TileRect& r, bool wrapX) {
    std::int32_t columns[kTileSize][6];
    for (std::int32_t x = r.left; x < r.right; ++x)
        for (int i = 0; i < 6; ++i) columns[x - r.left][i] = columnIndex(2 * x - 2 + i, src.width, wrapX);
    for (std::int32_t y = r.top; y < r.bottom; ++y) {
        std::int32_t rows[6];
        for (int j = 0; j < 6; ++j) rows[j] = clampIndex(2 * y - 2 + j, src.height);
        for (std::int32_t x = r.left; x < r.right; ++x) {
            const std::int32_t* cols = columns[x - r.left];
            Vec4 sum = splat(0.0f);
            for (int j = 0; j < 6; ++j) {
                for (int i = 0; i < 6; ++i) {
                    const float w = kPyramidWeights[j][i];
                    if (w == 0.0f) continue;
                    sum += splat(w) * loadTexel(Texels::at(src, cols[i], rows[j]));
                }
            }
            const float total[4] = {sum[0], sum[1], sum[2], sum[3]};
            storeReduced(Out::out(dst, x, y), total, Texels::kColour, Texels::kAlpha);
        }
    }
}

// Whole-pixel taps from a level of integers (bytes or words), in exact
// integers. With the taps b = (0, 1, 4, 4, 1, 0) and e = (1, 0, 0, 0, 0, 1)
// along either axis the weights are a sum of three separable terms,
//   weight[j][i] = 16·b[j]·b[i] + b[j]·e[i] + e[j]·b[i],
// so each source column k of a tile's span folds its six rows into
//   B(k) = Σ b[j]·p[j][k]  and  C(k) = 16·B(k) + Σ e[j]·p[j][k],
// and the new pixel over the columns k0 .. k0 + 5 is
//   Σ b[i]·C(k0 + i) + B(k0) + B(k0 + 5),
// about 6 additions a source column and 6 a new pixel, four channels at
// once. The sums stay below 1640 · 65535 < 2^27. From bytes every sum is
// below 2^24, so its float is exact and the result is the very float the
// general loop gives; from words the general loop rounds its partial sums
// above 2^24 and the result may differ from it by a unit in rare pixels.
constexpr std::int32_t kSeparableB[6] = {0, 1, 4, 4, 1, 0};
constexpr std::int32_t kSeparableE[6] = {1, 0, 0, 0, 0, 1};

constexpr bool weightsAreSeparable() {
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i)
            if (kPyramidWeights[j][i] !=
                static_cast<float>(16 * kSeparableB[j] * kSeparableB[i] + kSeparableB[j] * kSeparableE[i] +
                                   kSeparableE[j] * kSeparableB[i]))
                return false;
    return true;
}
static_assert(weightsAreSeparable(), "the integer reductions fold the weights as separable terms");

constexpr int kSpanColumns = 2 * kTileSize + 4;

// B and C of every source column of one row of a tile, four channels each.
struct FoldedColumns {
    alignas(16) std::int32_t b[kSpanColumns][4];
    alignas(16) std::int32_t c[kSpanColumns][4];
};

// One source column (`column` its index) of the six rows.
template <typename Sample>
inline void foldColumn(const Sample* const rows[6], std::int32_t column, FoldedColumns& f, int k) {
    const std::size_t at = static_cast<std::size_t>(column) * 4;
    for (int ch = 0; ch < 4; ++ch) {
        std::int32_t b = 0, e = 0;
        for (int j = 0; j < 6; ++j) {
            b += kSeparableB[j] * rows[j][at + ch];
            e += kSeparableE[j] * rows[j][at + ch];
        }
        f.b[k][ch] = b;
        f.c[k][ch] = 16 * b + e;
    }
}

#if defined(__SSE2__)
// How many adjacent source columns foldColumns takes at once: a vector's.
template <typename Sample>
constexpr int kFoldStep = 16 / (4 * static_cast<int>(sizeof(Sample)));

// Four adjacent source columns of bytes from `column` on, in 16-bit lanes:
// B is at most 10 · 255 and C 16 · 2550 + 2 · 255 = 41310, which an
// unsigned lane holds.
inline void foldColumns(const std::uint8_t* const rows[6], std::int32_t column, FoldedColumns& f, int k) {
    const std::size_t at = static_cast<std::size_t>(column) * 4;
    // Straight-line code: the compiler keeps every row in a register.
    const __m128i zero = _mm_setzero_si128();
    const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + at));
    const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[1] + at));
    const __m128i p2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2] + at));
    const __m128i p3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[3] + at));
    const __m128i p4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[4] + at));
    const __m128i p5 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[5] + at));
    const auto fold = [&](const auto& widen, int to) {
        const __m128i e = _mm_add_epi16(widen(p0), widen(p5));
        const __m128i b =
            _mm_add_epi16(_mm_add_epi16(widen(p1), widen(p4)), _mm_slli_epi16(_mm_add_epi16(widen(p2), widen(p3)), 2));
        const __m128i c = _mm_add_epi16(_mm_slli_epi16(b, 4), e);
        _mm_store_si128(reinterpret_cast<__m128i*>(f.b[to]), _mm_unpacklo_epi16(b, zero));
        _mm_store_si128(reinterpret_cast<__m128i*>(f.b[to + 1]), _mm_unpackhi_epi16(b, zero));
        _mm_store_si128(reinterpret_cast<__m128i*>(f.c[to]), _mm_unpacklo_epi16(c, zero));
        _mm_store_si128(reinterpret_cast<__m128i*>(f.c[to + 1]), _mm_unpackhi_epi16(c, zero));
    };
    fold([&](__m128i v) { return _mm_unpacklo_epi8(v, zero); }, k);
    fold([&](__m128i v) { return _mm_unpackhi_epi8(v, zero); }, k + 2);
}

// Two adjacent source columns of words, in 32-bit lanes.
inline void foldColumns(const std::uint16_t* const rows[6], std::int32_t column, FoldedColumns& f, int k) {
    const std::size_t at = static_cast<std::size_t>(column) * 4;
    const __m128i zero = _mm_setzero_si128();
    const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + at));
    const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[1] + at));
    const __m128i p2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2] + at));
    const __m128i p3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[3] + at));
    const __m128i p4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[4] + at));
    const __m128i p5 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[5] + at));
    const auto fold = [&](const auto& widen, int to) {
        const __m128i e = _mm_add_epi32(widen(p0), widen(p5));
        const __m128i b =
            _mm_add_epi32(_mm_add_epi32(widen(p1), widen(p4)), _mm_slli_epi32(_mm_add_epi32(widen(p2), widen(p3)), 2));
        _mm_store_si128(reinterpret_cast<__m128i*>(f.b[to]), b);
        _mm_store_si128(reinterpret_cast<__m128i*>(f.c[to]), _mm_add_epi32(_mm_slli_epi32(b, 4), e));
    };
    fold([&](__m128i v) { return _mm_unpacklo_epi16(v, zero); }, k);
    fold([&](__m128i v) { return _mm_unpackhi_epi16(v, zero); }, k + 1);
}

// The new pixel over the folded columns k0 .. k0 + 5 into words, rounded as
// storeReduced rounds (the sums are never negative, so only the upper
// limits can clamp).
inline void storeFolded(const FoldedColumns& f, int k0, float colourFactor, float alphaFactor, std::uint16_t* out) {
    const auto at = [](const std::int32_t(&v)[4]) { return _mm_load_si128(reinterpret_cast<const __m128i*>(v)); };
    const __m128i outer = _mm_add_epi32(at(f.c[k0 + 1]), at(f.c[k0 + 4]));
    const __m128i inner = _mm_add_epi32(at(f.c[k0 + 2]), at(f.c[k0 + 3]));
    const __m128i edge = _mm_add_epi32(at(f.b[k0]), at(f.b[k0 + 5]));
    const __m128i sum = _mm_add_epi32(_mm_add_epi32(outer, edge), _mm_slli_epi32(inner, 2));
    constexpr float k = 1.0f / kPyramidWeightSum;
    __m128 v = _mm_mul_ps(_mm_mul_ps(_mm_cvtepi32_ps(sum), _mm_set1_ps(k)),
                          _mm_setr_ps(colourFactor, colourFactor, colourFactor, alphaFactor));
    v = _mm_min_ps(v, _mm_setr_ps(kColourMax, kColourMax, kColourMax, 1.0f));
    v = _mm_add_ps(_mm_mul_ps(v, _mm_setr_ps(1.0f, 1.0f, 1.0f, kColourMax)), _mm_set1_ps(0.5f));
    // 0..65535 packed to words: shifted into the signed range and back.
    const __m128i shifted = _mm_sub_epi32(_mm_cvttps_epi32(v), _mm_set1_epi32(32768));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out),
                     _mm_xor_si128(_mm_packs_epi32(shifted, shifted), _mm_set1_epi16(-32768)));
}
#else
template <typename Sample>
constexpr int kFoldStep = 1;

template <typename Sample>
inline void foldColumns(const Sample* const rows[6], std::int32_t column, FoldedColumns& f, int k) {
    foldColumn(rows, column, f, k);
}

inline void storeFolded(const FoldedColumns& f, int k0, float colourFactor, float alphaFactor, std::uint16_t* out) {
    float total[4];
    for (int ch = 0; ch < 4; ++ch) {
        std::int32_t sum = f.b[k0][ch] + f.b[k0 + 5][ch];
        for (int i = 0; i < 6; ++i) sum += kSeparableB[i] * f.c[k0 + i][ch];
        total[ch] = static_cast<float>(sum);
    }
    storeReduced(out, total, colourFactor, alphaFactor);
}
#endif

// One tile `r` of a word level `dst` from the integer level `src` (tiles at
// most kTileSize wide, as for reduceWhole).
template <typename Texels>
void reduceWholeIntegers(const PyramidLevel& src, PyramidLevel& dst, const TileRect& r, bool wrapX) {
    using Sample = typename Texels::Sample;
    const int n = 2 * (r.right - r.left) + 4;
    const std::int32_t first = 2 * r.left - 2;  // the source column of k = 0
    std::int32_t columns[kSpanColumns];
    for (int k = 0; k < n; ++k) columns[k] = columnIndex(first + k, src.width, wrapX);
    // The columns inside the source, from `inside` to `outside`, are
    // adjacent: those go kFoldStep at a time, the rest (past an edge they
    // wrap or repeat) one at a time.
    const int inside = std::clamp(-first, 0, n);
    const int outside = std::clamp(src.width - first, inside, n);
    constexpr int kStep = kFoldStep<Sample>;
    const int steps = inside + (outside - inside) / kStep * kStep;
    FoldedColumns folded;
    for (std::int32_t y = r.top; y < r.bottom; ++y) {
        const Sample* rows[6];
        for (int j = 0; j < 6; ++j) rows[j] = Texels::at(src, 0, clampIndex(2 * y - 2 + j, src.height));
        for (int k = 0; k < inside; ++k) foldColumn(rows, columns[k], folded, k);
        for (int k = inside; k < steps; k += kStep) foldColumns(rows, columns[k], folded, k);
        for (int k = steps; k < n; ++k) foldColumn(rows, columns[k], folded, k);
        std::uint16_t* out = dst.texel16(r.left, y);
        for (int k0 = 0; k0 < n - 4; k0 += 2, out += 4) storeFolded(folded, k0, Texels::kColour, Texels::kAlpha, out);
    }
}

// The same with interpolated taps: bilinear samples of the source at the
// scaled positions (x + dx)·ratio (pixel-edge coordinates).
template <typename Texels, typename Out>
void reduceWide(const PyramidLevel& src, PyramidLevel& dst, const TileRect& r, bool wrapX) {
    for (std::int32_t y = r.top; y < r.bottom; ++y) {
        Tap rows[6];
        for (int j = 0; j < 6; ++j)
            rows[j] = makeTap((static_cast<float>(y) + kTapOffsets[j]) * dst.ratioY - 0.5f, src.height, false);
        for (std::int32_t x = r.left; x < r.right; ++x) {
            Tap cols[6];
            for (int i = 0; i < 6; ++i)
                cols[i] = makeTap((static_cast<float>(x) + kTapOffsets[i]) * dst.ratioX - 0.5f, src.width, wrapX);
            Vec4 sum = splat(0.0f);
            for (int j = 0; j < 6; ++j) {
                for (int i = 0; i < 6; ++i) {
                    const float w = kPyramidWeights[j][i];
                    if (w == 0.0f) continue;
                    const Tap& cx = cols[i];
                    const Tap& cy = rows[j];
                    const Vec4 a = loadTexel(Texels::at(src, cx.i0, cy.i0));
                    const Vec4 b = loadTexel(Texels::at(src, cx.i1, cy.i0));
                    const Vec4 d = loadTexel(Texels::at(src, cx.i0, cy.i1));
                    const Vec4 e = loadTexel(Texels::at(src, cx.i1, cy.i1));
                    const Vec4 top = a + (b - a) * splat(cx.f);
                    const Vec4 bottom = d + (e - d) * splat(cx.f);
                    sum += splat(w) * (top + (bottom - top) * splat(cy.f));
                }
            }
            const float total[4] = {sum[0], sum[1], sum[2], sum[3]};
            storeReduced(Out::out(dst, x, y), total, Texels::kColour, Texels::kAlpha);
        }
    }
}

// The reductions for one pair of storages: the source level's and the new
// level's.
template <typename Texels, typename Out>
void reduceAs(const PyramidLevel& src, PyramidLevel& dst, const TileRect& r, bool wrapX, bool wideTaps) {
    if (wideTaps) return reduceWide<Texels, Out>(src, dst, r, wrapX);
    for (std::int32_t left = r.left; left < r.right; left += kTileSize) {
        const TileRect slice{r.top, left, r.bottom, std::min(left + kTileSize, r.right)};
        if constexpr (!std::is_same_v<Texels, FloatTexels> && std::is_same_v<Out, WordTexels>)
            reduceWholeIntegers<Texels>(src, dst, slice, wrapX);
        else
            reduceWhole<Texels, Out>(src, dst, slice, wrapX);
    }
}

template <typename Out>
void reduceInto(const PyramidLevel& src, PyramidLevel& dst, const TileRect& r, bool wrapX, bool wideTaps) {
    switch (src.storage) {
        case LevelStorage::kBytes:
            return reduceAs<ByteTexels, Out>(src, dst, r, wrapX, wideTaps);
        case LevelStorage::kWords:
            return reduceAs<WordTexels, Out>(src, dst, r, wrapX, wideTaps);
        case LevelStorage::kFloat:
            break;
    }
    reduceAs<FloatTexels, Out>(src, dst, r, wrapX, wideTaps);
}

}  // namespace

void ImagePyramid::reduceTile(int level, const TileRect& rect, bool wideTaps) {
    if (level < 0 || level + 1 >= levelCount_) return;
    const PyramidLevel& src = levels_[static_cast<std::size_t>(level)];
    PyramidLevel& dst = levels_[static_cast<std::size_t>(level + 1)];
    const TileRect r{std::max(rect.top, 0), std::max(rect.left, 0), std::min(rect.bottom, dst.height),
                     std::min(rect.right, dst.width)};
    if (r.top >= r.bottom || r.left >= r.right) return;
    const bool wrapX = wrap_ == kWrapHorizontal;
    if (dst.storage == LevelStorage::kWords)
        reduceInto<WordTexels>(src, dst, r, wrapX, wideTaps);
    else
        reduceInto<FloatTexels>(src, dst, r, wrapX, wideTaps);
}

void ImagePyramid::reduceFirstLevelAhead(std::int32_t storedRows) {
    if (levelCount_ < 2 || levels_[1].wideTaps) return;
    const PyramidLevel& src = levels_[0];
    const PyramidLevel& dst = levels_[1];
    if (dst.width < 3) return;
    // Row y of level 1 takes rows 2y − 2 .. 2y + 3 of level 0 (clamped).
    const std::int32_t ready = storedRows >= src.height ? dst.height : std::clamp((storedRows - 2) / 2, 0, dst.height);
    if (ready <= firstLevelRows_) return;
    reduceTile(0, TileRect{firstLevelRows_, 1, ready, dst.width - 1}, false);
    firstLevelRows_ = ready;
}

void reducePyramidTile(ImagePyramid& pyramid, int level, const TileRect& rect, RenderKind kind) {
    pyramid.reduceTile(level, rect, kind == kPyramidLevelWide);
}

namespace {

// The jobs of one pyramid level: each computes its own tile of the new level.
class PyramidLevelWorkload : public TileWorkload {
public:
    PyramidLevelWorkload(ImagePyramid& pyramid, int level, RenderKind kind)
        : pyramid_(pyramid), level_(level), kind_(kind) {}
    RenderKind kind() const noexcept override { return kind_; }
    bool buildJob(RenderJob&) override { return true; }
    void runJob(RenderJob& job) noexcept override {
        const TileRect& jr = job.plan.jobRect;
        const TileRect& rr = job.plan.renderRect;
        const TileRect r{jr.top + rr.top, jr.left + rr.left, jr.bottom + rr.top, jr.right + rr.left};
        reducePyramidTile(pyramid_, level_, r, kind_);
    }
    std::int16_t deliverJob(RenderJob&, RenderSink&) override { return kRenderOk; }

private:
    ImagePyramid& pyramid_;
    int level_;
    RenderKind kind_;
};

}  // namespace

std::int16_t buildPyramid(ImagePyramid& pyramid, int processors) {
    pyramid.markReady(false);
    if (pyramid.levelCount() < 1) return kRenderOutOfMemory;
    NullRenderSink sink;
    for (int n = 0; n + 1 < pyramid.levelCount(); ++n) {
        const PyramidLevel& next = pyramid.level(n + 1);
        const RenderKind kind = next.wideTaps ? kPyramidLevelWide : kPyramidLevel;
        // Rows of level 1 reduced while level 0 arrived lack only their
        // first and last columns, which follow the wrap.
        std::int32_t top = 0;
        if (n == 0 && pyramid.firstLevelRowsAhead() > 0) {
            top = pyramid.firstLevelRowsAhead();
            pyramid.reduceTile(0, TileRect{0, 0, top, 1}, false);
            pyramid.reduceTile(0, TileRect{0, next.width - 1, top, next.width}, false);
            if (top >= next.height) continue;
        }
        PyramidLevelWorkload work(pyramid, n, kind);
        RenderRequest request;
        request.renderRect = TileRect{top, 0, next.height, next.width};
        request.renderTarget = kTargetPreview;  // no progress, no host
        request.progressDone = 0;
        request.processors = processors;
        const RenderOutcome out = runRender(work, sink, request);
        if (out.result != kRenderOk) return out.result;
        if (n == 0) pyramid.markFirstLevelBuilt();
    }
    pyramid.markReady(true);
    return kRenderOk;
}

// ---- lookups --------------------------------------------------------------------------

namespace {

// Two neighbouring pixels of a row (all but a level's last column).
inline void loadTwoTexels(const float* p, Vec4& first, Vec4& second) noexcept {
    first = loadTexel(p);
    second = loadTexel(p + 4);
}

inline void loadTwoTexels(const std::uint8_t* p, Vec4& first, Vec4& second) noexcept {
#if defined(__SSE4_1__)
    // Eight bytes in one load, widened in the vector unit.
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    first = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_cvtepu8_epi32(bytes)));
    second = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_cvtepu8_epi32(_mm_srli_si128(bytes, 4))));
#else
    first = loadTexel(p);
    second = loadTexel(p + 4);
#endif
}

inline void loadTwoTexels(const std::uint16_t* p, Vec4& first, Vec4& second) noexcept {
#if defined(__SSE4_1__)
    const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    first = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_cvtepu16_epi32(words)));
    second = static_cast<Vec4>(_mm_cvtepi32_ps(_mm_cvtepu16_epi32(_mm_srli_si128(words, 8))));
#else
    first = loadTexel(p);
    second = loadTexel(p + 4);
#endif
}

// Bilinear at one level, (u, v) inside the image (u already wrapped for a
// wrapping pyramid), as floats 0..1.
template <typename Texels>
[[gnu::always_inline]] inline Vec4 bilinear(const PyramidLevel& lv, bool wrapX, float u, float v,
                                            float sharpen) noexcept {
    const float x = u * static_cast<float>(lv.width) - 0.5f;
    const float y = v * static_cast<float>(lv.height) - 0.5f;
    const float fx0 = std::floor(x), fy0 = std::floor(y);
    const std::int32_t x0 = static_cast<std::int32_t>(fx0), y0 = static_cast<std::int32_t>(fy0);
    const Vec4 fx = splat(shapeFraction(x - fx0, sharpen));
    const Vec4 fy = splat(shapeFraction(y - fy0, sharpen));
    const std::int32_t r0 = clampIndex(y0, lv.height), r1 = clampIndex(y0 + 1, lv.height);
    Vec4 a, b, d, e;
    if (x0 >= 0 && x0 + 1 < lv.width) {
        loadTwoTexels(Texels::at(lv, x0, r0), a, b);
        loadTwoTexels(Texels::at(lv, x0, r1), d, e);
    } else {
        const std::int32_t c0 = columnIndex(x0, lv.width, wrapX), c1 = columnIndex(x0 + 1, lv.width, wrapX);
        a = loadTexel(Texels::at(lv, c0, r0));
        b = loadTexel(Texels::at(lv, c1, r0));
        d = loadTexel(Texels::at(lv, c0, r1));
        e = loadTexel(Texels::at(lv, c1, r1));
    }
    const Vec4 top = a + (b - a) * fx;
    const Vec4 bottom = d + (e - d) * fx;
    const Vec4 out = top + (bottom - top) * fy;
    return out * unitScale<Texels>();
}

inline Vec4 bilinearAt(const PyramidLevel& lv, bool wrapX, float u, float v, float sharpen) noexcept {
    switch (lv.storage) {
        case LevelStorage::kBytes:
            return bilinear<ByteTexels>(lv, wrapX, u, v, sharpen);
        case LevelStorage::kWords:
            return bilinear<WordTexels>(lv, wrapX, u, v, sharpen);
        case LevelStorage::kFloat:
            break;
    }
    return bilinear<FloatTexels>(lv, wrapX, u, v, sharpen);
}

// A cubic kernel as the four taps of a read see it: the coefficients of
// the kernel's pieces near the centre (|x| < 1, the middle lanes) and beyond
// it (1 <= |x| < 2, the outer lanes), highest power first.
struct CubicShape {
    Vec4 c3, c2, c1, c0;
};

// The weights of a cubic kernel for the four pixels about a position `t`
// (0..1) past the second, one to a lane: the kernel at the distances 1 + t,
// t, 1 - t and 2 - t, each lane with the same operations as the scalar
// polynomial (a missing term adds an exact zero).
inline Vec4 cubicWeights(const CubicShape& k, float t) noexcept {
    const Vec4 x = splat(t) * Vec4{1.0f, 1.0f, -1.0f, -1.0f} + Vec4{1.0f, 0.0f, 1.0f, 2.0f};
    return ((k.c3 * x + k.c2) * x + k.c1) * x + k.c0;
}

// The cubic B-spline: variance 1/3 pixel squared, positive weights.
constexpr float kNear3 = 0.5f, kNear2 = -1.0f, kNear0 = 4.0f / 6.0f;
constexpr float kFar3 = -1.0f / 6.0f, kFar2 = 1.0f, kFar1 = -2.0f, kFar0 = 8.0f / 6.0f;
constexpr CubicShape kBSpline{Vec4{kFar3, kNear3, kNear3, kFar3}, Vec4{kFar2, kNear2, kNear2, kFar2},
                              Vec4{kFar1, 0.0f, 0.0f, kFar1}, Vec4{kFar0, kNear0, kNear0, kFar0}};

inline Vec4 bsplineWeights(float t) noexcept { return cubicWeights(kBSpline, t); }

// The sharp cubic of enlargements: the Mitchell–Netravali cubic with
// B + 2C = 1 (Catmull–Rom at B = 0, the B-spline at B = 1), whose variance
// is B/3, taken at B = 3·variance, so that it adds the box's blur of the
// output pixel to an interpolation of the input; mixed, tap by tap, with
// the bilinear weights (share `bilinear`) where it hands over to the
// bilinear read. Every member of the family and the mixture keep the
// weights' sum at 1 at every position.
inline CubicShape sharpCubic(float variance, float bilinear) noexcept {
    const float b = 3.0f * variance, c = 1.0f - bilinear;
    const float n3 = c * (9.0f - 6.0f * b) / 6.0f, n2 = c * (9.0f * b - 15.0f) / 6.0f;
    const float n1 = -bilinear, n0 = c * (6.0f - 2.0f * b) / 6.0f + bilinear;
    const float f3 = c * (2.0f * b - 3.0f) / 6.0f, f2 = c * (15.0f - 9.0f * b) / 6.0f;
    const float f1 = c * (12.0f * b - 24.0f) / 6.0f, f0 = c * (12.0f - 4.0f * b) / 6.0f;
    return CubicShape{Vec4{f3, n3, n3, f3}, Vec4{f2, n2, n2, f2}, Vec4{f1, n1, n1, f1}, Vec4{f0, n0, n0, f0}};
}

template <int lane>
inline Vec4 lanes(const Vec4& v) noexcept {
    return Vec4{v[lane], v[lane], v[lane], v[lane]};
}

// One row of four pixels of a B-spline read, weighted by `wx`.
inline Vec4 bsplineRow(const Vec4 (&t)[4], const Vec4 (&wx)[4]) noexcept {
    Vec4 line = splat(0.0f);
    line += wx[0] * t[0];
    line += wx[1] * t[1];
    line += wx[2] * t[2];
    line += wx[3] * t[3];
    return line;
}

// The running range of the pixels a B-spline read takes, channel by
// channel.
struct TexelRange {
    Vec4 low = splat(3.0e38f), high = splat(-3.0e38f);
    void add(const Vec4 (&t)[4]) noexcept {
        const Vec4 low01 = t[0] < t[1] ? t[0] : t[1], low23 = t[2] < t[3] ? t[2] : t[3];
        const Vec4 high01 = t[0] > t[1] ? t[0] : t[1], high23 = t[2] > t[3] ? t[2] : t[3];
        const Vec4 lowRow = low01 < low23 ? low01 : low23, highRow = high01 > high23 ? high01 : high23;
        low = low < lowRow ? low : lowRow;
        high = high > highRow ? high : highRow;
    }
};

// The rows of four pixels in order of a B-spline read (all but the image's
// first and last columns), each in one or two loads, and their range. Bytes
// and words take the range before they widen: the same values in a quarter
// of the instructions.
template <typename Texels>
struct FourTexelRows {
    TexelRange range;
    void load(const typename Texels::Sample* p, Vec4 (&t)[4]) noexcept {
        loadFourTexels(p, t);
        range.add(t);
    }
    Vec4 low() const noexcept { return range.low; }
    Vec4 high() const noexcept { return range.high; }
};

#if defined(__SSE4_1__)
inline Vec4 widenBytes(__m128i bytes) noexcept { return static_cast<Vec4>(_mm_cvtepi32_ps(_mm_cvtepu8_epi32(bytes))); }
inline Vec4 widenWords(__m128i words) noexcept { return static_cast<Vec4>(_mm_cvtepi32_ps(_mm_cvtepu16_epi32(words))); }

template <>
struct FourTexelRows<ByteTexels> {
    __m128i lowBytes = _mm_set1_epi8(-1), highBytes = _mm_setzero_si128();
    void load(const std::uint8_t* p, Vec4 (&t)[4]) noexcept {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        lowBytes = _mm_min_epu8(lowBytes, bytes);
        highBytes = _mm_max_epu8(highBytes, bytes);
        // (Each pixel moved down by a shuffle, which keeps its source:
        // no copy as a shift would need.)
        t[0] = widenBytes(bytes);
        t[1] = widenBytes(_mm_shuffle_epi32(bytes, 0x55));
        t[2] = widenBytes(_mm_shuffle_epi32(bytes, 0xAA));
        t[3] = widenBytes(_mm_shuffle_epi32(bytes, 0xFF));
    }
    // The four pixels' range folded into one pixel.
    Vec4 low() const noexcept {
        const __m128i pairs = _mm_min_epu8(lowBytes, _mm_shuffle_epi32(lowBytes, 0x4E));
        return widenBytes(_mm_min_epu8(pairs, _mm_shuffle_epi32(pairs, 0xB1)));
    }
    Vec4 high() const noexcept {
        const __m128i pairs = _mm_max_epu8(highBytes, _mm_shuffle_epi32(highBytes, 0x4E));
        return widenBytes(_mm_max_epu8(pairs, _mm_shuffle_epi32(pairs, 0xB1)));
    }
};

template <>
struct FourTexelRows<WordTexels> {
    __m128i lowWords = _mm_set1_epi16(-1), highWords = _mm_setzero_si128();
    void load(const std::uint16_t* p, Vec4 (&t)[4]) noexcept {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
        lowWords = _mm_min_epu16(lowWords, _mm_min_epu16(first, second));
        highWords = _mm_max_epu16(highWords, _mm_max_epu16(first, second));
        t[0] = widenWords(first);
        t[1] = widenWords(_mm_shuffle_epi32(first, 0xEE));
        t[2] = widenWords(second);
        t[3] = widenWords(_mm_shuffle_epi32(second, 0xEE));
    }
    // The two pixels' range folded into one pixel.
    Vec4 low() const noexcept { return widenWords(_mm_min_epu16(lowWords, _mm_shuffle_epi32(lowWords, 0x4E))); }
    Vec4 high() const noexcept { return widenWords(_mm_max_epu16(highWords, _mm_shuffle_epi32(highWords, 0x4E))); }
};
#endif

#if defined(GLOBARO_WIDE_READS)
// Eight floats: pixel i of two rows side by side (the upper row in the low
// half), so that one 256-bit operation does the work of two 128-bit ones,
// each half with the very operations of the narrow read.
using Vec8 = float __attribute__((vector_size(32)));

GLOBARO_WIDE inline Vec8 pairOf(Vec4 low, Vec4 high) noexcept {
    return static_cast<Vec8>(_mm256_set_m128(static_cast<__m128>(high), static_cast<__m128>(low)));
}
GLOBARO_WIDE inline Vec4 lowHalf(Vec8 v) noexcept {
    return static_cast<Vec4>(_mm256_castps256_ps128(static_cast<__m256>(v)));
}
GLOBARO_WIDE inline Vec4 highHalf(Vec8 v) noexcept {
    return static_cast<Vec4>(_mm256_extractf128_ps(static_cast<__m256>(v), 1));
}

// Two rows of four pixels of a B-spline read, as `FourTexelRows` takes one,
// pixel i of both rows in one vector, and the range of all they take.
template <typename Texels>
struct RowPairs;

template <>
struct RowPairs<ByteTexels> {
    FourTexelRows<ByteTexels> range;
    GLOBARO_WIDE static Vec8 widen(__m128i bytes) noexcept {
        return static_cast<Vec8>(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes)));
    }
    GLOBARO_WIDE void load(const std::uint8_t* upper, const std::uint8_t* lower, Vec8 (&t)[4]) noexcept {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower));
        range.lowBytes = _mm_min_epu8(range.lowBytes, _mm_min_epu8(a, b));
        range.highBytes = _mm_max_epu8(range.highBytes, _mm_max_epu8(a, b));
        // a0 b0 a1 b1 and a2 b2 a3 b3: pixel i of both rows in 8 bytes.
        const __m128i first = _mm_unpacklo_epi32(a, b), second = _mm_unpackhi_epi32(a, b);
        t[0] = widen(first);
        t[1] = widen(_mm_shuffle_epi32(first, 0xEE));
        t[2] = widen(second);
        t[3] = widen(_mm_shuffle_epi32(second, 0xEE));
    }
};

template <>
struct RowPairs<WordTexels> {
    FourTexelRows<WordTexels> range;
    GLOBARO_WIDE static Vec8 widen(__m128i words) noexcept {
        return static_cast<Vec8>(_mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(words)));
    }
    GLOBARO_WIDE void load(const std::uint16_t* upper, const std::uint16_t* lower, Vec8 (&t)[4]) noexcept {
        const __m128i a01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper));
        const __m128i a23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + 8));
        const __m128i b01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower));
        const __m128i b23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + 8));
        range.lowWords = _mm_min_epu16(range.lowWords, _mm_min_epu16(_mm_min_epu16(a01, a23), _mm_min_epu16(b01, b23)));
        range.highWords =
            _mm_max_epu16(range.highWords, _mm_max_epu16(_mm_max_epu16(a01, a23), _mm_max_epu16(b01, b23)));
        t[0] = widen(_mm_unpacklo_epi64(a01, b01));
        t[1] = widen(_mm_unpackhi_epi64(a01, b01));
        t[2] = widen(_mm_unpacklo_epi64(a23, b23));
        t[3] = widen(_mm_unpackhi_epi64(a23, b23));
    }
};
#endif

// The sum of a cubic read near the first and last columns, and on levels
// under four pixels wide, where the columns wrap or clamp one by one, and
// the range of the pixels it takes (out of line: a few reads in a row).
template <typename Texels>
[[gnu::noinline]] Vec4 bicubicEdge(const PyramidLevel& lv, bool wrapX, std::int32_t x0, std::int32_t y0, Vec4 weightsX,
                                   Vec4 wy, Vec4& low, Vec4& high) noexcept {
    const Vec4 wx[4] = {lanes<0>(weightsX), lanes<1>(weightsX), lanes<2>(weightsX), lanes<3>(weightsX)};
    const std::int32_t lastRow = lv.height - 1;
    auto row = [lastRow](std::int32_t j) { return std::min(std::max(j, 0), lastRow); };
    std::int32_t cols[4];
    for (int i = 0; i < 4; ++i) cols[i] = columnIndex(x0 - 1 + i, lv.width, wrapX);
    const float wyLanes[4] = {wy[0], wy[1], wy[2], wy[3]};
    TexelRange range;
    Vec4 sum = splat(0.0f);
    for (int j = 0; j < 4; ++j) {
        Vec4 t[4];
        const std::int32_t r = row(y0 - 1 + j);
        for (int i = 0; i < 4; ++i) t[i] = loadTexel(Texels::at(lv, cols[i], r));
        sum += splat(wyLanes[j]) * bsplineRow(t, wx);
        range.add(t);
    }
    low = range.low;
    high = range.high;
    return sum;
}

// One row of four pixels of a cubic read, weighted by `wx`: the sum of
// `bsplineRow` without its opening zero, to the bit. Adding +0 to a sum
// changes it only where it is -0 (into +0), and a sum that starts with the
// zero left out stays -0 only while every term is -0: here that would take
// four weights below zero (the pixels are at least 0), and the middle two
// never are (the nearer is above 0.4 in every kernel of this file).
inline Vec4 cubicRow(const Vec4 (&t)[4], const Vec4 (&wx)[4]) noexcept {
    return wx[0] * t[0] + wx[1] * t[1] + wx[2] * t[2] + wx[3] * t[3];
}

// Where a cubic read lies in a level: the column and row of the pixel
// before (u, v) (u, v inside the image as for bilinear) and the kernel's
// weights along either axis.
struct CubicSpot {
    std::int32_t x0, y0;
    Vec4 weightsX, wy;
};

[[gnu::always_inline]] inline CubicSpot cubicSpot(const PyramidLevel& lv, float u, float v,
                                                  const CubicShape& shape) noexcept {
    const float x = u * static_cast<float>(lv.width) - 0.5f;
    const float y = v * static_cast<float>(lv.height) - 0.5f;
    const float fx0 = std::floor(x), fy0 = std::floor(y);
    return {static_cast<std::int32_t>(fx0), static_cast<std::int32_t>(fy0), cubicWeights(shape, x - fx0),
            cubicWeights(shape, y - fy0)};
}

// The four rows' first pixels of a read whose columns lie inside the level
// (x0 from 1 to the width less 3): consecutive rows inside the level,
// clamped at its top and bottom.
template <typename Texels>
[[gnu::always_inline]] inline void cubicRows(const PyramidLevel& lv, const CubicSpot& at,
                                             const typename Texels::Sample* (&rows)[4]) noexcept {
    const std::size_t stride = static_cast<std::size_t>(lv.width) * 4;
    const typename Texels::Sample* column = Texels::at(lv, at.x0 - 1, 0);
    if (at.y0 >= 1 && at.y0 + 2 < lv.height) {
        rows[0] = column + static_cast<std::size_t>(at.y0 - 1) * stride;
        rows[1] = rows[0] + stride;
        rows[2] = rows[1] + stride;
        rows[3] = rows[2] + stride;
    } else {
        const std::int32_t lastRow = lv.height - 1;
        for (int j = 0; j < 4; ++j)
            rows[j] = column + static_cast<std::size_t>(std::min(std::max(at.y0 - 1 + j, 0), lastRow)) * stride;
    }
}

// A cubic read's sum within the range of the pixels read, as a lookup
// result: the B-spline's weights are positive, but their sum may round off
// 1 (a constant image reads back exactly); the sharp cubic's negative lobes
// would overshoot a step.
template <typename Texels>
[[gnu::always_inline]] inline Vec4 withinRange(Vec4 sum, Vec4 low, Vec4 high) noexcept {
    sum = sum < low ? low : sum;
    sum = sum > high ? high : sum;
    return sum * unitScale<Texels>();
}

// A cubic read at one level (the B-spline unless told), (u, v) inside the
// image as for bilinear.
template <typename Texels>
[[gnu::always_inline]] inline Vec4 bicubicInline(const PyramidLevel& lv, bool wrapX, float u, float v,
                                                 const CubicShape& shape = kBSpline) noexcept {
    const CubicSpot at = cubicSpot(lv, u, v, shape);
    const Vec4 wx[4] = {lanes<0>(at.weightsX), lanes<1>(at.weightsX), lanes<2>(at.weightsX), lanes<3>(at.weightsX)};
    Vec4 sum, low, high;
    if (at.x0 >= 1 && at.x0 + 2 < lv.width) {
        const typename Texels::Sample* rows[4];
        cubicRows<Texels>(lv, at, rows);
        // The sum of `bicubicEdge` without its opening zero, to the bit as
        // in `cubicRow`: a row's sum is never -0, so a term is -0 only for
        // a weight below zero, and the middle rows' weights never are.
        FourTexelRows<Texels> in;
        Vec4 t[4];
        in.load(rows[0], t);
        sum = lanes<0>(at.wy) * cubicRow(t, wx);
        in.load(rows[1], t);
        sum += lanes<1>(at.wy) * cubicRow(t, wx);
        in.load(rows[2], t);
        sum += lanes<2>(at.wy) * cubicRow(t, wx);
        in.load(rows[3], t);
        sum += lanes<3>(at.wy) * cubicRow(t, wx);
        low = in.low();
        high = in.high();
    } else {
        sum = bicubicEdge<Texels>(lv, wrapX, at.x0, at.y0, at.weightsX, at.wy, low, high);
    }
    return withinRange<Texels>(sum, low, high);
}

#if defined(GLOBARO_WIDE_READS)
// `bicubicInline` (the B-spline) with two rows to a 256-bit operation:
// each row's sum, its weighting and the four rows' sum in the same order,
// so the very same floats. Bytes and words; the edges as there.
template <typename Texels>
GLOBARO_WIDE [[gnu::always_inline]] inline Vec4 bsplineWide(const PyramidLevel& lv, bool wrapX, float u,
                                                            float v) noexcept {
    const CubicSpot at = cubicSpot(lv, u, v, kBSpline);
    Vec4 sum, low, high;
    if (at.x0 >= 1 && at.x0 + 2 < lv.width) {
        const typename Texels::Sample* rows[4];
        cubicRows<Texels>(lv, at, rows);
        // Each weight in all four lanes of both halves; the rows' weights
        // in pairs, the upper row's in the low half.
        const Vec8 wx8 = pairOf(at.weightsX, at.weightsX), wy8 = pairOf(at.wy, at.wy);
        const Vec8 wx[4] = {__builtin_shufflevector(wx8, wx8, 0, 0, 0, 0, 4, 4, 4, 4),
                            __builtin_shufflevector(wx8, wx8, 1, 1, 1, 1, 5, 5, 5, 5),
                            __builtin_shufflevector(wx8, wx8, 2, 2, 2, 2, 6, 6, 6, 6),
                            __builtin_shufflevector(wx8, wx8, 3, 3, 3, 3, 7, 7, 7, 7)};
        RowPairs<Texels> in;
        Vec8 t[4];
        in.load(rows[0], rows[1], t);
        const Vec8 upper = __builtin_shufflevector(wy8, wy8, 0, 0, 0, 0, 5, 5, 5, 5) *
                           (wx[0] * t[0] + wx[1] * t[1] + wx[2] * t[2] + wx[3] * t[3]);
        in.load(rows[2], rows[3], t);
        const Vec8 lower = __builtin_shufflevector(wy8, wy8, 2, 2, 2, 2, 7, 7, 7, 7) *
                           (wx[0] * t[0] + wx[1] * t[1] + wx[2] * t[2] + wx[3] * t[3]);
        sum = lowHalf(upper);
        sum += highHalf(upper);
        sum += lowHalf(lower);
        sum += highHalf(lower);
        low = in.range.low();
        high = in.range.high();
    } else {
        sum = bicubicEdge<Texels>(lv, wrapX, at.x0, at.y0, at.weightsX, at.wy, low, high);
    }
    return withinRange<Texels>(sum, low, high);
}
#endif

// The same out of line, for the lookups that take a read or two.
template <typename Texels>
[[gnu::noinline]] Vec4 bicubic(const PyramidLevel& lv, bool wrapX, float u, float v,
                               const CubicShape& shape = kBSpline) noexcept {
    return bicubicInline<Texels>(lv, wrapX, u, v, shape);
}

inline Vec4 bicubicAt(const PyramidLevel& lv, bool wrapX, float u, float v,
                      const CubicShape& shape = kBSpline) noexcept {
    switch (lv.storage) {
        case LevelStorage::kBytes:
            return bicubic<ByteTexels>(lv, wrapX, u, v, shape);
        case LevelStorage::kWords:
            return bicubic<WordTexels>(lv, wrapX, u, v, shape);
        case LevelStorage::kFloat:
            break;
    }
    return bicubic<FloatTexels>(lv, wrapX, u, v, shape);
}

// The most blur the cubic on level 0 gives: the cubic B-spline's variance.
constexpr float kCubicMaxVariance = 1.0f / 3.0f;
// The blur of a bilinear read (on average over its positions): a tent one
// pixel wide either side.
constexpr float kBilinearVariance = 1.0f / 6.0f;
// Up to this variance (the box of a footprint half an input pixel wide: an
// enlargement by 2 or more) the sharp cubic alone; from it to
// kSharpHandOver (0.7 pixels, before the sharpening divides the variance)
// its weights mix with the bilinear read's, one read of 4 x 4 pixels;
// beyond, the bilinear read of 2 x 2. An enlarged picture shows the
// bilinear read's blur; about as fine as the input (the cube faces and
// views of most jobs, whose footprints are not that small both ways) it
// shows far less than it costs to avoid.
constexpr float kSharpOnly = 0.5f * 0.5f / 12.0f;
constexpr float kSharpHandOver = 0.7f * 0.7f / 12.0f;

// The filtered read of a footprint whose filter should have the variance
// `variance` along each axis (level-0 pixels squared), (u, v) inside the
// image as for bilinear. Up to a bilinear read's variance, one bilinear
// read of level 0: the footprints of outputs about as fine as the input,
// the most common by far, at the cost of four pixels (the enlargements
// among them take `sharpRead` instead, in sampleInput). Up to the cubic
// B-spline's variance, the bilinear and the B-spline read of level 0 mixed
// to the wanted variance. Beyond it, B-spline reads of the two levels whose
// blur brackets the wanted one (the pyramid keeps each level's), mixed so
// that the mixture has the wanted variance: the blur, and with it the
// level, changes continuously with the footprint. The B-spline rather than
// bilinear within a level: a level keeps part of the contrast at its own
// Nyquist frequency (the reduction passes 40 % there), which bilinear reads
// pass on as moiré; the B-spline passes a sixth of that.
//
// The choice depends on the variance alone: the probes of an anisotropic
// lookup, which share theirs, make it once.
struct FilterChoice {
    const PyramidLevel* first = nullptr;   // the level of the first read
    const PyramidLevel* second = nullptr;  // that of the second, or none
    bool bilinearFirst = false;            // the first read bilinear (of level 0), else a B-spline
    float mix = 0.0f;                      // the second read's share
};

[[gnu::always_inline]] inline FilterChoice chooseFilter(const ImagePyramid& pyramid, float variance) noexcept {
    FilterChoice c;
    if (!(variance > 0.0f)) variance = 0.0f;  // also a variance that is not a number
    if (variance <= kCubicMaxVariance) {
        c.first = &pyramid.level(0);
        c.bilinearFirst = true;
        if (variance > kBilinearVariance) {
            c.second = c.first;
            c.mix = (variance - kBilinearVariance) / (kCubicMaxVariance - kBilinearVariance);
        }
        return c;
    }
    const int levels = pyramid.levelCount();
    int upper = 1;
    while (upper < levels && pyramid.levelVariance(upper) < variance) ++upper;
    if (upper >= levels) {
        c.first = &pyramid.level(levels - 1);
        return c;
    }
    const int lower = upper - 1;
    const float low = pyramid.levelVariance(lower);
    const float f = std::clamp((variance - low) / (pyramid.levelVariance(upper) - low), 0.0f, 1.0f);
    c.first = &pyramid.level(lower);
    if (f > 0.0f) {
        c.second = &pyramid.level(upper);
        c.mix = f;
    }
    return c;
}

[[gnu::always_inline]] inline Vec4 filtered(const FilterChoice& c, bool wrapX, float u, float v) noexcept {
    const Vec4 a = c.bilinearFirst ? bilinearAt(*c.first, wrapX, u, v, 0.0f) : bicubicAt(*c.first, wrapX, u, v);
    if (c.second == nullptr) return a;
    const Vec4 b = bicubicAt(*c.second, wrapX, u, v);
    return a + (b - a) * splat(c.mix);
}

// The sharp cubic's read of level 0 for a variance under kSharpHandOver
// (out of line: rare beside the bilinear reads it stands next to).
[[gnu::noinline]] Vec4 sharpRead(const ImagePyramid& pyramid, bool wrapX, float u, float v, float variance) noexcept {
    if (!(variance > 0.0f)) variance = 0.0f;
    const float bilinear = std::max(variance - kSharpOnly, 0.0f) / (kSharpHandOver - kSharpOnly);
    return bicubicAt(pyramid.level(0), wrapX, u, v, sharpCubic(variance, bilinear));
}

[[gnu::always_inline]] inline Vec4 filtered(const ImagePyramid& pyramid, bool wrapX, float u, float v,
                                            float variance) noexcept {
    return filtered(chooseFilter(pyramid, variance), wrapX, u, v);
}

// The filter's variance for a footprint `width` pixels wide (level-0
// pixels, along one axis). A box over the footprint (the mean the output
// pixel stands for) has the variance width²/12. Where the output pixel is
// at most an input pixel wide, all the detail the input holds lies below
// the output's Nyquist frequency: that variance is all it takes, and the
// cubic on level 0 reconstructs the rest. Where it is wider, detail between
// the two Nyquist frequencies must go, or it shows as moiré; a filter with
// just the box's variance passes a fifth of the contrast of detail at one
// and a half times the output's Nyquist frequency. From one to two pixels
// the variance grows to kShrinkVariance · width², which keeps that to a few
// per cent (a fine checker shrunk into a world map stays an even grey) and
// keeps most of the contrast of detail well below the Nyquist frequency.
constexpr float kBoxVariance = 1.0f / 12.0f;
constexpr float kShrinkVariance = 0.3f;

[[gnu::always_inline]] inline float footprintVariance(float widthSquared) noexcept {
    if (!(widthSquared > 1.0f)) return widthSquared > 0.0f ? kBoxVariance * widthSquared : 0.0f;
    // From two pixels on (the shrinks of most of a map) without the root.
    const float shrink = widthSquared >= 4.0f ? 1.0f : std::min(std::sqrt(widthSquared) - 1.0f, 1.0f);
    return (kBoxVariance + (kShrinkVariance - kBoxVariance) * shrink) * widthSquared;
}

// The factor on a footprint's variance from the pyramid's detail bias (in
// levels: a level is twice the size, four times the variance) and the
// sharpening (half the variance at full sharpening).
inline float varianceExponent(const ImagePyramid& pyramid, float sharpen) noexcept {
    const float s = std::isfinite(sharpen) ? std::clamp(sharpen, 0.0f, 1.0f) : 0.0f;
    return 2.0f * pyramid.bias() - s;
}

inline float varianceScale(const ImagePyramid& pyramid, float sharpen) noexcept {
    return std::exp2(varianceExponent(pyramid, sharpen));
}

// ---- probes along one row ----------------------------------------------------
//
// Where a footprint's major axis runs along the image's rows (the footprints
// of high latitudes in an equirectangular panorama, round on the sphere and
// 1/cos(latitude) times as long along u: most of the probes of all), every
// probe of a level reads the same rows with the same weights; only their
// columns differ. The probes' column weights then add up first and each
// texel of the strip is read once: about (n + 3) texels a row for n probes
// rather than 4n. The mean is that of the probes read one by one, up to
// rounding.

// The most columns one strip reads (wider strips, and probes spread further
// than a texel or two apart, go probe by probe).
constexpr int kRowColumns = 192;
// The most probes a strip takes (the pole pixels' limit).
constexpr int kMaxRowProbes = 64;

// The sum over the probes' columns `xs` (pixel-centre coordinates of the
// level, in order) of `Taps` reads (4: the cubic B-spline, 2: bilinear) on
// rows around y, divided by their number; false when the strip is too wide.
template <typename Texels, int Taps>
bool rowSum(const PyramidLevel& lv, bool wrapX, const float* xs, int n, float y, Vec4& out) noexcept {
    const float first = std::floor(xs[0]), last = std::floor(xs[n - 1]);
    const float lowest = std::min(first, last);
    const float span = std::fabs(last - first) + static_cast<float>(Taps);
    if (!(span <= static_cast<float>(kRowColumns))) return false;
    const std::int32_t lo = static_cast<std::int32_t>(lowest) - (Taps == 4 ? 1 : 0);
    const int count = static_cast<int>(span);
    float weights[kRowColumns];
    std::fill_n(weights, count, 0.0f);
    for (int i = 0; i < n; ++i) {
        const float fx = std::floor(xs[i]);
        const int base = static_cast<int>(fx - lowest);
        if (Taps == 4) {
            const Vec4 w = bsplineWeights(xs[i] - fx);
            for (int k = 0; k < 4; ++k) weights[base + k] += w[k];
        } else {
            const float f = xs[i] - fx;
            weights[base] += 1.0f - f;
            weights[base + 1] += f;
        }
    }
    const float fy0 = std::floor(y);
    const std::int32_t y0 = static_cast<std::int32_t>(fy0);
    float wy[4];
    if (Taps == 4) {
        const Vec4 w = bsplineWeights(y - fy0);
        for (int k = 0; k < 4; ++k) wy[k] = w[k];
    } else {
        wy[0] = 1.0f - (y - fy0);
        wy[1] = y - fy0;
    }
    const std::int32_t firstRow = y0 - (Taps == 4 ? 1 : 0);
    // The strip's columns: in order where it lies inside the level, through
    // the wrap or the clamp where it reaches past an edge.
    std::int32_t columns[kRowColumns];
    const bool inside = lo >= 0 && lo + count <= lv.width;
    for (int c = 0; c < count; ++c) columns[c] = inside ? lo + c : columnIndex(lo + c, lv.width, wrapX);
    Vec4 sum = splat(0.0f);
    Vec4 low = splat(3.0e38f), high = splat(-3.0e38f);
    for (int j = 0; j < Taps; ++j) {
        const std::int32_t row = clampIndex(firstRow + j, lv.height);
        const typename Texels::Sample* texels = Texels::at(lv, 0, row);
        Vec4 line = splat(0.0f);
        for (int c = 0; c < count; ++c) {
            const Vec4 t = loadTexel(texels + 4 * static_cast<std::size_t>(columns[c]));
            line += splat(weights[c]) * t;
            low = low < t ? low : t;
            high = high > t ? high : t;
        }
        sum += splat(wy[j]) * line;
    }
    // The probes' mean, within the range of the pixels read as a single read
    // keeps it (a constant image reads back exactly).
    sum *= splat(1.0f / static_cast<float>(n));
    sum = sum < low ? low : sum;
    sum = sum > high ? high : sum;
    out = sum * unitScale<Texels>();
    return true;
}

template <int Taps>
bool rowSumAt(const PyramidLevel& lv, bool wrapX, const float* us, int n, float v, Vec4& out) noexcept {
    float xs[kMaxRowProbes];
    const float width = static_cast<float>(lv.width);
    for (int i = 0; i < n; ++i) xs[i] = us[i] * width - 0.5f;
    const float y = v * static_cast<float>(lv.height) - 0.5f;
    switch (lv.storage) {
        case LevelStorage::kBytes:
            return rowSum<ByteTexels, Taps>(lv, wrapX, xs, n, y, out);
        case LevelStorage::kWords:
            return rowSum<WordTexels, Taps>(lv, wrapX, xs, n, y, out);
        case LevelStorage::kFloat:
            break;
    }
    return rowSum<FloatTexels, Taps>(lv, wrapX, xs, n, y, out);
}

// The mean of `filtered` over probes at (us[i], v): the same levels and
// mixture, each level's reads as one strip. False when a strip is too wide.
inline bool filteredRow(const FilterChoice& c, bool wrapX, const float* us, int n, float v, Vec4& out) noexcept {
    Vec4 a;
    if (!(c.bilinearFirst ? rowSumAt<2>(*c.first, wrapX, us, n, v, a) : rowSumAt<4>(*c.first, wrapX, us, n, v, a)))
        return false;
    if (c.second == nullptr) {
        out = a;
        return true;
    }
    Vec4 b;
    if (!rowSumAt<4>(*c.second, wrapX, us, n, v, b)) return false;
    out = a + (b - a) * splat(c.mix);
    return true;
}

// Trilinear at detail level `lod`, (u, v) inside the image as for bilinear.
inline Vec4 trilinear(const ImagePyramid& pyramid, float u, float v, float lod, float sharpen) noexcept {
    const int levels = pyramid.levelCount();
    if (!finite(lod)) lod = 0.0f;
    lod = std::clamp(lod - 0.5f * std::clamp(sharpen, 0.0f, 1.0f), 0.0f, static_cast<float>(levels - 1));
    const int l0 = static_cast<int>(lod);
    const float f = lod - static_cast<float>(l0);
    const bool wrapX = pyramid.wrap() == kWrapHorizontal;
    const Vec4 a = bilinearAt(pyramid.level(l0), wrapX, u, v, sharpen);
    if (f < 1e-4f || l0 + 1 >= levels) return a;
    const Vec4 b = bilinearAt(pyramid.level(l0 + 1), wrapX, u, v, sharpen);
    return a + (b - a) * splat(f);
}

// The probes of an anisotropic lookup: n positions spaced (stepU, stepV)
// apart along the major axis, centred on (u, v).
struct Probes {
    float u, v, stepU, stepV, invN;
    int n;
    bool wrapX;
    // Probe i's place along the major axis, -1/2..1/2 of the spread.
    float offset(int i) const noexcept { return (static_cast<float>(i) + 0.5f) * invN - 0.5f; }
    // Probe i's u before it wraps: the probes in order, for a strip whose
    // columns wrap instead. Probes stay inside the image the centre lies in
    // (no black fringe where a long footprint reaches past an edge).
    float unwrappedU(int i) const noexcept {
        const float pu = u + stepU * offset(i);
        return wrapX ? pu : std::clamp(pu, 0.0f, 1.0f);
    }
    void at(int i, float& pu, float& pv) const noexcept {
        pu = unwrappedU(i);
        pv = std::clamp(v + stepV * offset(i), 0.0f, 1.0f);
        if (wrapX) pu -= std::floor(pu);
    }
};

// The sum of the probes' bilinear reads of one level.
template <typename Texels>
Vec4 bilinearProbes(const PyramidLevel& lv, const Probes& probes) noexcept {
    Vec4 sum = splat(0.0f);
    for (int i = 0; i < probes.n; ++i) {
        float pu, pv;
        probes.at(i, pu, pv);
        sum += bilinear<Texels>(lv, probes.wrapX, pu, pv, 0.0f);
    }
    return sum;
}

// The reads of `filtered` for one storage and kind: the first read
// bilinear (of level 0) or a B-spline, the second a B-spline or none.
template <typename Texels, bool Bilinear>
struct LevelRead {
    [[gnu::always_inline]] static Vec4 at(const PyramidLevel& lv, bool wrapX, float u, float v) noexcept {
        if constexpr (Bilinear)
            return bilinear<Texels>(lv, wrapX, u, v, 0.0f);
        else
            return bicubicInline<Texels>(lv, wrapX, u, v);
    }
};
struct NoRead {};

// The sum of the probes' `filtered` reads, the storage and the kind of each
// level's read decided once rather than at every probe, and the reads
// inline.
template <typename First, typename Second>
Vec4 filteredProbes(const FilterChoice& c, const Probes& probes) noexcept {
    Vec4 sum = splat(0.0f);
    for (int i = 0; i < probes.n; ++i) {
        float pu, pv;
        probes.at(i, pu, pv);
        const Vec4 a = First::at(*c.first, probes.wrapX, pu, pv);
        if constexpr (std::is_same_v<Second, NoRead>) {
            sum += a;
        } else {
            const Vec4 b = Second::at(*c.second, probes.wrapX, pu, pv);
            sum += a + (b - a) * splat(c.mix);
        }
    }
    return sum;
}

template <typename First>
Vec4 filteredProbes(const FilterChoice& c, const Probes& probes) noexcept {
    if (c.second == nullptr) return filteredProbes<First, NoRead>(c, probes);
    switch (c.second->storage) {
        case LevelStorage::kBytes:
            return filteredProbes<First, LevelRead<ByteTexels, false>>(c, probes);
        case LevelStorage::kWords:
            return filteredProbes<First, LevelRead<WordTexels, false>>(c, probes);
        case LevelStorage::kFloat:
            break;
    }
    return filteredProbes<First, LevelRead<FloatTexels, false>>(c, probes);
}

#if defined(GLOBARO_WIDE_READS)
// Whether the lookups read with 256-bit vectors: where the processor has
// them, unless turned off (`setWideReads`).
std::atomic<bool>& wideReadsOn() noexcept {
    static std::atomic<bool> on{wideReadsAvailable()};
    return on;
}

// `LevelRead` with the B-spline of 256-bit operations.
template <typename Texels, bool Bilinear>
struct WideLevelRead {
    GLOBARO_WIDE [[gnu::always_inline]] static Vec4 at(const PyramidLevel& lv, bool wrapX, float u, float v) noexcept {
        if constexpr (Bilinear)
            return bilinear<Texels>(lv, wrapX, u, v, 0.0f);
        else
            return bsplineWide<Texels>(lv, wrapX, u, v);
    }
};

// `filteredProbes` of the wide reads: the same sum, read for read. (Its own
// loop: a read built for AVX2 goes inline only into code built for it.)
template <typename First, typename Second>
GLOBARO_WIDE Vec4 filteredProbesWide(const FilterChoice& c, const Probes& probes) noexcept {
    Vec4 sum = splat(0.0f);
    for (int i = 0; i < probes.n; ++i) {
        float pu, pv;
        probes.at(i, pu, pv);
        const Vec4 a = First::at(*c.first, probes.wrapX, pu, pv);
        if constexpr (std::is_same_v<Second, NoRead>) {
            sum += a;
        } else {
            const Vec4 b = Second::at(*c.second, probes.wrapX, pu, pv);
            sum += a + (b - a) * splat(c.mix);
        }
    }
    return sum;
}

template <typename First>
GLOBARO_WIDE Vec4 filteredProbesWide(const FilterChoice& c, const Probes& probes) noexcept {
    if (c.second == nullptr) return filteredProbesWide<First, NoRead>(c, probes);
    if (c.second->storage == LevelStorage::kBytes)
        return filteredProbesWide<First, WideLevelRead<ByteTexels, false>>(c, probes);
    return filteredProbesWide<First, WideLevelRead<WordTexels, false>>(c, probes);
}

// The lookups of byte and word levels that take a B-spline read.
GLOBARO_WIDE Vec4 filteredProbesWide(const FilterChoice& c, const Probes& probes) noexcept {
    if (c.first->storage == LevelStorage::kBytes)
        return c.bilinearFirst ? filteredProbesWide<WideLevelRead<ByteTexels, true>>(c, probes)
                               : filteredProbesWide<WideLevelRead<ByteTexels, false>>(c, probes);
    return c.bilinearFirst ? filteredProbesWide<WideLevelRead<WordTexels, true>>(c, probes)
                           : filteredProbesWide<WideLevelRead<WordTexels, false>>(c, probes);
}
#endif

// (The probes come as scalars, in registers: the lookups that take none
// then keep them out of memory.)
[[gnu::noinline]] Vec4 filteredProbes(const FilterChoice& c, float u, float v, float stepU, float stepV, float invN,
                                      int n, bool wrapX) noexcept {
    const Probes probes{u, v, stepU, stepV, invN, n, wrapX};
#if defined(GLOBARO_WIDE_READS)
    // (Not for floats, nor for lookups of bilinear reads alone.)
    if (c.first->storage != LevelStorage::kFloat &&
        (c.second == nullptr ? !c.bilinearFirst : c.second->storage != LevelStorage::kFloat) &&
        wideReadsOn().load(std::memory_order_relaxed))
        return filteredProbesWide(c, probes);
#endif
    switch (c.first->storage) {
        case LevelStorage::kBytes:
            return c.bilinearFirst ? filteredProbes<LevelRead<ByteTexels, true>>(c, probes)
                                   : filteredProbes<LevelRead<ByteTexels, false>>(c, probes);
        case LevelStorage::kWords:
            return c.bilinearFirst ? filteredProbes<LevelRead<WordTexels, true>>(c, probes)
                                   : filteredProbes<LevelRead<WordTexels, false>>(c, probes);
        case LevelStorage::kFloat:
            break;
    }
    return c.bilinearFirst ? filteredProbes<LevelRead<FloatTexels, true>>(c, probes)
                           : filteredProbes<LevelRead<FloatTexels, false>>(c, probes);
}

// Brings a position inside the image: false for one outside it (v outside
// [0, 1], or u outside it without horizontal wrap, or not a number).
inline bool insideImage(const ImagePyramid& pyramid, float& u, float v) noexcept {
    if (!(v >= 0.0f && v <= 1.0f)) return false;
    if (pyramid.wrap() == kWrapHorizontal) {
        if (!finite(u)) return false;
        u -= std::floor(u);
        return true;
    }
    return u >= 0.0f && u <= 1.0f;
}

inline ColorRgba colourOf(const Vec4& c) { return ColorRgba{c[0], c[1], c[2], c[3]}; }

}  // namespace

ColorRgba sampleLevel(const ImagePyramid& pyramid, int level, float u, float v, float sharpen) noexcept {
    if (level < 0 || level >= pyramid.levelCount()) return ColorRgba{};
    if (!insideImage(pyramid, u, v)) return ColorRgba{};
    return colourOf(bilinearAt(pyramid.level(level), pyramid.wrap() == kWrapHorizontal, u, v, sharpen));
}

ColorRgba sampleTrilinear(const ImagePyramid& pyramid, float u, float v, float lod, float sharpen) noexcept {
    if (pyramid.levelCount() < 1 || !insideImage(pyramid, u, v)) return ColorRgba{};
    return colourOf(trilinear(pyramid, u, v, lod, sharpen));
}

LookupScale lookupScale(const ImagePyramid& pyramid, float sharpen) noexcept {
    // With the variance less than doubled (a bias below half a level), a
    // footprint within a pixel wants at most a bilinear read's blur.
    return LookupScale{varianceScale(pyramid, sharpen), varianceExponent(pyramid, sharpen) < 1.0f};
}

ColorRgba samplePlain(const ImagePyramid& pyramid, float u, float v, const Footprint& fp, float sharpen) noexcept {
    return samplePlain(pyramid, u, v, fp, lookupScale(pyramid, sharpen));
}

ColorRgba sampleInput(const ImagePyramid& pyramid, float u, float v, const Footprint& fp, float sharpen,
                      int maxProbes) noexcept {
    return sampleInput(pyramid, u, v, fp, lookupScale(pyramid, sharpen), maxProbes);
}

ColorRgba samplePlain(const ImagePyramid& pyramid, float u, float v, const Footprint& fp,
                      const LookupScale& scaled) noexcept {
    if (pyramid.levelCount() < 1 || !insideImage(pyramid, u, v)) return ColorRgba{};
    const float w = static_cast<float>(pyramid.level(0).width);
    const float h = static_cast<float>(pyramid.level(0).height);
    const float l1 = std::hypot(fp.du1 * w, fp.dv1 * h);
    const float l2 = std::hypot(fp.du2 * w, fp.dv2 * h);
    float extent = std::max(l1, l2);
    if (!finite(extent)) extent = 0.0f;
    const float variance = footprintVariance(extent * extent) * scaled.variance;
    return colourOf(filtered(pyramid, pyramid.wrap() == kWrapHorizontal, u, v, variance));
}

ColorRgba sampleInput(const ImagePyramid& pyramid, float u, float v, const Footprint& fp, const LookupScale& scaled,
                      int maxProbes) noexcept {
    if (pyramid.levelCount() < 1 || !insideImage(pyramid, u, v)) return ColorRgba{};
    const bool wrapX = pyramid.wrap() == kWrapHorizontal;
    const float w = static_cast<float>(pyramid.level(0).width);
    const float h = static_cast<float>(pyramid.level(0).height);
    const float ax = fp.du1 * w, ay = fp.dv1 * h;
    const float bx = fp.du2 * w, by = fp.dv2 * h;
    const float cross = ax * by - ay * bx;
    if (!finite(cross) || std::fabs(cross) < 1e-10f) return samplePlain(pyramid, u, v, fp, scaled);

    // The footprint ellipse: M = J·Jᵀ with the two vectors as J's columns;
    // its eigenvalues are the squares of the footprint's widths along its
    // axes. Worked out without cancellation, so that floats hold even a
    // footprint thousands of pixels long and one pixel wide: the larger from
    // the half trace and the half difference, the smaller from the
    // determinant (det M = cross²).
    const float m00 = ax * ax + bx * bx;
    const float m01 = ax * ay + bx * by;
    const float m11 = ay * ay + by * by;
    const float halfTrace = 0.5f * (m00 + m11);
    const float halfDiff = 0.5f * (m00 - m11);
    const float discSquared = halfDiff * halfDiff + m01 * m01;
    // A footprint within a pixel (the larger width at most 1: disc at most
    // 1 − halfTrace, squared to spare the root) wants a box's variance of at
    // most 1/12, and with the variance less than doubled (a bias below half
    // a level) that is one bilinear read, whatever its shape: the footprints
    // of outputs as fine as the input, most of all lookups. A footprint
    // smaller than kSharpHandOver's both ways (an enlargement) takes the
    // sharp cubic, sized by its larger width; a thin one as long as a pixel
    // is no enlargement along its length.
    const float scale = scaled.variance;
    if (halfTrace <= 1.0f && discSquared <= (1.0f - halfTrace) * (1.0f - halfTrace) && scaled.bilinearWithinPixel) {
        // (The larger width is at least the half trace: most footprints
        // are decided without the root.)
        if (kBoxVariance * halfTrace * scale < kSharpHandOver) {
            const float variance = kBoxVariance * (halfTrace + std::sqrt(discSquared)) * scale;
            if (variance < kSharpHandOver) return colourOf(sharpRead(pyramid, wrapX, u, v, variance));
        }
        return colourOf(bilinearAt(pyramid.level(0), wrapX, u, v, 0.0f));
    }
    // A round footprint (axis ratio below 1.25: l1/l2 below 1.25², with
    // l2 = cross²/l1, decided without a square root: disc² against the
    // square of what disc is compared with) takes one read the size of its
    // smaller width.
    const float round = 1.25f * std::fabs(cross) - halfTrace;
    if (round > 0.0f && discSquared < round * round) {
        const float l1 = halfTrace + std::sqrt(discSquared);
        const float l2 = l1 > 0.0f ? cross * cross / l1 : 0.0f;
        return colourOf(filtered(pyramid, wrapX, u, v, footprintVariance(l2) * scale));
    }
    const float disc = std::sqrt(discSquared);
    if (!finite(disc)) return samplePlain(pyramid, u, v, fp, scaled);
    const float l1 = std::max(halfTrace + disc, 1e-6f);
    const float l2 = std::max(cross * cross / l1, 1e-6f);
    // A footprint within a pixel takes one read whatever its shape: the
    // widths' variances differ by less than 1/12 there, a quarter of the
    // way from Catmull–Rom to the B-spline. Its size is their geometric
    // mean.
    if (l1 <= 1.0f) return colourOf(filtered(pyramid, wrapX, u, v, footprintVariance(std::fabs(cross)) * scale));
    const float major = std::sqrt(l1);
    float minor = std::sqrt(l2);
    const float ratio = major / minor;

    // The major axis direction (unit, level-0 pixels): an eigenvector of
    // the larger eigenvalue, from whichever form is better conditioned
    // (an axis-aligned footprint must not take its direction from rounding
    // noise), turned to point down the image (ey >= 0).
    float ex, ey;
    if (halfDiff >= 0.0f) {
        ex = halfDiff + disc;
        ey = m01;
        if (m01 < 0.0f) {
            ex = -ex;
            ey = -ey;
        }
    } else {
        ex = m01;
        ey = disc - halfDiff;
    }
    const float len = std::sqrt(ex * ex + ey * ey);
    if (len > 1e-12f) {
        ex /= len;
        ey /= len;
    } else {
        ex = 1.0f;
        ey = 0.0f;
    }

    // The probes spread over a length L along the major axis such that
    // their spread, L²(n² − 1)/(12 n²) for n probes, and each probe's own
    // blur (that of the minor width) make the variance the major width asks
    // for: for a shrinking footprint L is about twice the major width (the
    // filter as smooth along the major axis as along the minor one), for a
    // box-like one the major width. One probe per minor width along L, so
    // that the probes do not fall in step with detail they should average
    // (at most `maxProbes`; beyond, the probes widen to cover L). Between
    // axis ratios 1.25 and 1.5 two probes move apart from the centre (where
    // the single read lies), so that the result changes continuously.
    const float majorVariance = footprintVariance(l1);
    const float along = std::max(majorVariance - footprintVariance(l2), 0.0f) * scale;
    float length = std::sqrt(12.0f * along);
    int n;
    float spread = 1.0f;
    if (ratio < 1.5f) {
        n = 2;
        spread = std::clamp((ratio - 1.25f) * 4.0f, 0.0f, 1.0f);
    } else {
        const int limit = std::max(maxProbes, 2);
        const float wanted = std::floor(length / minor + 0.5f);
        if (wanted > static_cast<float>(limit)) {
            n = limit;
            minor = length / static_cast<float>(limit);  // wider probes rather than gaps between them
        } else {
            n = std::max(static_cast<int>(wanted), 2);
        }
    }
    const float variance = footprintVariance(minor * minor) * scale;
    const float nn = static_cast<float>(n) * static_cast<float>(n);
    length = std::sqrt(12.0f * nn * std::max(majorVariance * scale - variance, 0.0f) / (nn - 1.0f));
    // The probes' spacing along the major axis, in fractions of the image.
    const float stepU = ex * length * spread / w, stepV = ey * length * spread / h;
    const Probes probes{u, v, stepU, stepV, 1.0f / static_cast<float>(n), n, wrapX};
    // (Thin probes take the bilinear read, not the sharp cubic: the footprint
    // is longer than a pixel, no enlargement.)
    const FilterChoice choice = chooseFilter(pyramid, variance);
    // Probes that stay within a 32nd of a pixel of one row are read as one
    // strip a level (their u unwrapped: the strip's columns wrap instead).
    if (n >= 3 && n <= kMaxRowProbes && std::fabs(stepV) * h <= 1.0f / 32.0f) {
        float us[kMaxRowProbes];
        for (int i = 0; i < n; ++i) us[i] = probes.unwrappedU(i);
        Vec4 mean;
        if (filteredRow(choice, wrapX, us, n, v, mean)) return colourOf(mean);
    }
    Vec4 sum = splat(0.0f);
    if (choice.bilinearFirst && choice.second == nullptr) {
        // Probes narrower than a pixel (a long thin footprint): bilinear
        // reads of level 0, in a loop of their own.
        switch (choice.first->storage) {
            case LevelStorage::kBytes:
                sum = bilinearProbes<ByteTexels>(*choice.first, probes);
                break;
            case LevelStorage::kWords:
                sum = bilinearProbes<WordTexels>(*choice.first, probes);
                break;
            case LevelStorage::kFloat:
                sum = bilinearProbes<FloatTexels>(*choice.first, probes);
                break;
        }
    } else {
        sum = filteredProbes(choice, u, v, stepU, stepV, probes.invN, n, wrapX);
    }
    return colourOf(sum * splat(probes.invN));
}

bool wideReadsAvailable() noexcept {
#if defined(GLOBARO_WIDE_READS)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}

bool setWideReads(bool on) noexcept {
#if defined(GLOBARO_WIDE_READS)
    return wideReadsOn().exchange(on && wideReadsAvailable());
#else
    (void)on;
    return false;
#endif
}

}  // namespace globaro
