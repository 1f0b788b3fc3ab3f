#include "render/image_pyramid.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

namespace globaro {

const float kPyramidWeights[6][6] = {
    {0, 1, 4, 4, 1, 0},         {1, 16, 64, 64, 16, 1}, {4, 64, 256, 256, 64, 4},
    {4, 64, 256, 256, 64, 4},   {1, 16, 64, 64, 16, 1}, {0, 1, 4, 4, 1, 0},
};

namespace {

constexpr float kTapOffsets[6] = {-0.75f, -0.25f, 0.25f, 0.75f, 1.25f, 1.75f};
constexpr float kColourMax = 65535.0f;
constexpr float kInvColourMax = 1.0f / 65535.0f;

inline std::int32_t wrapIndex(std::int32_t i, std::int32_t n) {
    // Lookups and taps reach at most a few pixels past an edge: one
    // addition or subtraction, the division only for anything further.
    if (i < 0) i += n;
    else if (i >= n) i -= n;
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

inline void storeReduced(float* out, const float* sum) {
    constexpr float k = 1.0f / kPyramidWeightSum;
    for (int c = 0; c < 3; ++c) out[c] = std::clamp(sum[c] * k, 0.0f, kColourMax);
    out[3] = std::clamp(sum[3] * k, 0.0f, 1.0f);
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
// floats: colour ×colourScale clamped to 0..65535, alpha ×alphaScale clamped
// to 0..1 (1 without an alpha channel); grey fills all three colours.
template <typename Sample, int Channels>
void storeRow(const std::uint8_t* row, std::int32_t width, float colourScale, float alphaScale, float* out) {
    constexpr bool grey = Channels < 3;
    constexpr bool alpha = Channels == 2 || Channels == 4;
    for (std::int32_t x = 0; x < width; ++x, out += 4) {
        const std::size_t i = static_cast<std::size_t>(x) * Channels;
        const float r = std::clamp(readSample<Sample>(row, i) * colourScale, 0.0f, kColourMax);
        out[0] = r;
        out[1] = grey ? r : std::clamp(readSample<Sample>(row, i + 1) * colourScale, 0.0f, kColourMax);
        out[2] = grey ? r : std::clamp(readSample<Sample>(row, i + 2) * colourScale, 0.0f, kColourMax);
        out[3] = alpha ? std::clamp(readSample<Sample>(row, i + Channels - 1) * alphaScale, 0.0f, 1.0f) : 1.0f;
    }
}

}  // namespace

// ---- building -------------------------------------------------------------------------

void ImagePyramid::clear() {
    levels_.clear();
    levels_.shrink_to_fit();
    levelCount_ = 0;
    ready_ = false;
}

bool ImagePyramid::allocate(std::int32_t width, std::int32_t height, PyramidWrap wrap) {
    clear();
    if (width < 1 || height < 1) return false;
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
            lv.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
            ++n;
            if ((w == 1 && h == 1) || n == kMaxLevels) break;
            w = (w + 1) / 2;
            h = (h + 1) / 2;
        }
        levels_.resize(static_cast<std::size_t>(n));
        levelCount_ = n;
    } catch (const std::bad_alloc&) {
        clear();
        return false;
    } catch (const std::length_error&) {
        clear();
        return false;
    }
    return true;
}

bool ImagePyramid::storeImage(const SourceImageView& view, std::int32_t x0, std::int32_t y0) {
    if (levelCount_ < 1 || view.pixels == nullptr || view.width < 1 || view.height < 1) return false;
    if (view.channels < 1 || view.channels > 4) return false;
    if (view.depth != 8 && view.depth != 16 && view.depth != 32) return false;
    const int bytes = view.depth / 8;
    if (view.rowBytes < static_cast<std::ptrdiff_t>(view.width) * view.channels * bytes) return false;
    PyramidLevel& lv = levels_[0];
    if (x0 < 0 || y0 < 0 || x0 + view.width > lv.width || y0 + view.height > lv.height) return false;
    const float colourScale = view.depth == 8 ? 65535.0f / 255.0f : view.depth == 16 ? 65535.0f / 32768.0f : 65535.0f;
    const float alphaScale = view.depth == 8 ? 1.0f / 255.0f : view.depth == 16 ? 1.0f / 32768.0f : 1.0f;
    // The format is resolved once per call; each row is converted by a loop
    // made for it.
    using RowStore = void (*)(const std::uint8_t* row, std::int32_t width, float colourScale, float alphaScale,
                              float* out);
    RowStore store = nullptr;
    switch (view.depth * 10 + view.channels) {
        case 81: store = storeRow<std::uint8_t, 1>; break;
        case 82: store = storeRow<std::uint8_t, 2>; break;
        case 83: store = storeRow<std::uint8_t, 3>; break;
        case 84: store = storeRow<std::uint8_t, 4>; break;
        case 161: store = storeRow<std::uint16_t, 1>; break;
        case 162: store = storeRow<std::uint16_t, 2>; break;
        case 163: store = storeRow<std::uint16_t, 3>; break;
        case 164: store = storeRow<std::uint16_t, 4>; break;
        case 321: store = storeRow<float, 1>; break;
        case 322: store = storeRow<float, 2>; break;
        case 323: store = storeRow<float, 3>; break;
        default: store = storeRow<float, 4>; break;
    }
    for (std::int32_t y = 0; y < view.height; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(view.pixels) + y * view.rowBytes;
        store(row, view.width, colourScale, alphaScale, lv.pixel(x0, y0 + y));
    }
    ready_ = false;
    return true;
}

void ImagePyramid::reduceTile(int level, const TileRect& rect, bool wideTaps) {
    if (level < 0 || level + 1 >= levelCount_) return;
    const PyramidLevel& src = levels_[static_cast<std::size_t>(level)];
    PyramidLevel& dst = levels_[static_cast<std::size_t>(level + 1)];
    const TileRect r{std::max(rect.top, 0), std::max(rect.left, 0), std::min(rect.bottom, dst.height),
                     std::min(rect.right, dst.width)};
    if (r.top >= r.bottom || r.left >= r.right) return;
    const bool wrapX = wrap_ == kWrapHorizontal;

    if (!wideTaps) {
        // The columns of the taps depend on x alone: worked out once per tile
        // (tiles are at most kTileSize wide; wider requests go in slices).
        if (r.right - r.left > kTileSize) {
            for (std::int32_t left = r.left; left < r.right; left += kTileSize)
                reduceTile(level, TileRect{r.top, left, r.bottom, std::min(left + kTileSize, r.right)}, wideTaps);
            return;
        }
        std::int32_t columns[kTileSize][6];
        for (std::int32_t x = r.left; x < r.right; ++x)
            for (int i = 0; i < 6; ++i) columns[x - r.left][i] = columnIndex(2 * x - 2 + i, src.width, wrapX);
        for (std::int32_t y = r.top; y < r.bottom; ++y) {
            std::int32_t rows[6];
            for (int j = 0; j < 6; ++j) rows[j] = clampIndex(2 * y - 2 + j, src.height);
            for (std::int32_t x = r.left; x < r.right; ++x) {
                const std::int32_t* cols = columns[x - r.left];
                float sum[4] = {0, 0, 0, 0};
                for (int j = 0; j < 6; ++j) {
                    for (int i = 0; i < 6; ++i) {
                        const float w = kPyramidWeights[j][i];
                        if (w == 0.0f) continue;
                        const float* p = src.pixel(cols[i], rows[j]);
                        for (int c = 0; c < 4; ++c) sum[c] += w * p[c];
                    }
                }
                storeReduced(dst.pixel(x, y), sum);
            }
        }
        return;
    }

    // Interpolated taps: bilinear samples of the source at the scaled
    // positions (x + dx)·ratio (pixel-edge coordinates).
    for (std::int32_t y = r.top; y < r.bottom; ++y) {
        Tap rows[6];
        for (int j = 0; j < 6; ++j)
            rows[j] = makeTap((static_cast<float>(y) + kTapOffsets[j]) * dst.ratioY - 0.5f, src.height, false);
        for (std::int32_t x = r.left; x < r.right; ++x) {
            Tap cols[6];
            for (int i = 0; i < 6; ++i)
                cols[i] = makeTap((static_cast<float>(x) + kTapOffsets[i]) * dst.ratioX - 0.5f, src.width, wrapX);
            float sum[4] = {0, 0, 0, 0};
            for (int j = 0; j < 6; ++j) {
                for (int i = 0; i < 6; ++i) {
                    const float w = kPyramidWeights[j][i];
                    if (w == 0.0f) continue;
                    const Tap& cx = cols[i];
                    const Tap& cy = rows[j];
                    const float* p00 = src.pixel(cx.i0, cy.i0);
                    const float* p10 = src.pixel(cx.i1, cy.i0);
                    const float* p01 = src.pixel(cx.i0, cy.i1);
                    const float* p11 = src.pixel(cx.i1, cy.i1);
                    for (int c = 0; c < 4; ++c) {
                        const float top = p00[c] + (p10[c] - p00[c]) * cx.f;
                        const float bottom = p01[c] + (p11[c] - p01[c]) * cx.f;
                        sum[c] += w * (top + (bottom - top) * cy.f);
                    }
                }
            }
            storeReduced(dst.pixel(x, y), sum);
        }
    }
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
        PyramidLevelWorkload work(pyramid, n, kind);
        RenderRequest request;
        request.renderRect = TileRect{0, 0, next.height, next.width};
        request.renderTarget = kTargetPreview;  // no progress, no host
        request.progressDone = 0;
        request.processors = processors;
        const RenderOutcome out = runRender(work, sink, request);
        if (out.result != kRenderOk) return out.result;
    }
    pyramid.markReady(true);
    return kRenderOk;
}

// ---- lookups --------------------------------------------------------------------------

ColorRgba sampleLevel(const ImagePyramid& pyramid, int level, float u, float v, float sharpen) noexcept {
    if (level < 0 || level >= pyramid.levelCount()) return ColorRgba{};
    if (!(v >= 0.0f && v <= 1.0f)) return ColorRgba{};
    const bool wrapX = pyramid.wrap() == kWrapHorizontal;
    if (wrapX) {
        if (!finite(u)) return ColorRgba{};
        u -= std::floor(u);
    } else if (!(u >= 0.0f && u <= 1.0f)) {
        return ColorRgba{};
    }
    const PyramidLevel& lv = pyramid.level(level);
    const float x = u * static_cast<float>(lv.width) - 0.5f;
    const float y = v * static_cast<float>(lv.height) - 0.5f;
    const float fx0 = std::floor(x), fy0 = std::floor(y);
    const std::int32_t x0 = static_cast<std::int32_t>(fx0), y0 = static_cast<std::int32_t>(fy0);
    const float fx = shapeFraction(x - fx0, sharpen);
    const float fy = shapeFraction(y - fy0, sharpen);
    const std::int32_t c0 = columnIndex(x0, lv.width, wrapX), c1 = columnIndex(x0 + 1, lv.width, wrapX);
    const std::int32_t r0 = clampIndex(y0, lv.height), r1 = clampIndex(y0 + 1, lv.height);
    const float* p00 = lv.pixel(c0, r0);
    const float* p10 = lv.pixel(c1, r0);
    const float* p01 = lv.pixel(c0, r1);
    const float* p11 = lv.pixel(c1, r1);
    float out[4];
    for (int c = 0; c < 4; ++c) {
        const float top = p00[c] + (p10[c] - p00[c]) * fx;
        const float bottom = p01[c] + (p11[c] - p01[c]) * fx;
        out[c] = top + (bottom - top) * fy;
    }
    return ColorRgba{out[0] * kInvColourMax, out[1] * kInvColourMax, out[2] * kInvColourMax, out[3]};
}

ColorRgba sampleTrilinear(const ImagePyramid& pyramid, float u, float v, float lod, float sharpen) noexcept {
    const int levels = pyramid.levelCount();
    if (levels < 1) return ColorRgba{};
    if (!finite(lod)) lod = 0.0f;
    lod = std::clamp(lod - 0.5f * std::clamp(sharpen, 0.0f, 1.0f), 0.0f, static_cast<float>(levels - 1));
    const int l0 = static_cast<int>(lod);
    const float f = lod - static_cast<float>(l0);
    const ColorRgba a = sampleLevel(pyramid, l0, u, v, sharpen);
    if (f < 1e-4f || l0 + 1 >= levels) return a;
    const ColorRgba b = sampleLevel(pyramid, l0 + 1, u, v, sharpen);
    return ColorRgba{a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f, a.a + (b.a - a.a) * f};
}

namespace {

// The level of a footprint of `radius` level-0 pixels. Where the footprint
// shrinks the image the level is raised by up to 0.75 (reached at a
// reduction of 2): the reduction filter keeps part of the contrast at a
// level's own Nyquist frequency, which would otherwise alias; a footprint of
// one pixel still reads level 0 exactly.
inline float levelOfDetail(float radius, float bias) {
    const float l = std::log2(std::max(radius, 0.5f));
    return l + 0.75f * std::clamp(l, 0.0f, 1.0f) + bias;
}

}  // namespace

ColorRgba samplePlain(const ImagePyramid& pyramid, float u, float v, const Footprint& fp, float sharpen) noexcept {
    if (pyramid.levelCount() < 1) return ColorRgba{};
    const float w = static_cast<float>(pyramid.level(0).width);
    const float h = static_cast<float>(pyramid.level(0).height);
    const float l1 = std::hypot(fp.du1 * w, fp.dv1 * h);
    const float l2 = std::hypot(fp.du2 * w, fp.dv2 * h);
    float radius = std::max(l1, l2);
    if (!finite(radius)) radius = 0.0f;
    return sampleTrilinear(pyramid, u, v, levelOfDetail(radius, pyramid.bias()), sharpen);
}

ColorRgba sampleInput(const ImagePyramid& pyramid, float u, float v, const Footprint& fp, float sharpen) noexcept {
    if (pyramid.levelCount() < 1) return ColorRgba{};
    if (!(v >= 0.0f && v <= 1.0f) || !finite(u)) return ColorRgba{};
    if (pyramid.wrap() != kWrapHorizontal && !(u >= 0.0f && u <= 1.0f)) return ColorRgba{};
    const float w = static_cast<float>(pyramid.level(0).width);
    const float h = static_cast<float>(pyramid.level(0).height);
    const double ax = static_cast<double>(fp.du1) * w, ay = static_cast<double>(fp.dv1) * h;
    const double bx = static_cast<double>(fp.du2) * w, by = static_cast<double>(fp.dv2) * h;
    const double cross = ax * by - ay * bx;
    if (!std::isfinite(cross) || std::fabs(cross) < 1e-10) return samplePlain(pyramid, u, v, fp, sharpen);

    // The footprint ellipse: M = J·Jᵀ with the two vectors as J's columns;
    // its eigenvalues are the squared semi-axes.
    const double m00 = ax * ax + bx * bx;
    const double m01 = ax * ay + bx * by;
    const double m11 = ay * ay + by * by;
    const double halfTrace = 0.5 * (m00 + m11);
    const double disc = std::sqrt(std::max(halfTrace * halfTrace - (m00 * m11 - m01 * m01), 0.0));
    const double l1 = std::max(halfTrace + disc, 1e-6);
    const double l2 = std::max(halfTrace - disc, 1e-6);
    const float bias = pyramid.bias();

    // Axis ratio below 1.25 (l1/l2 below 1.25²) or a major axis below a
    // pixel: one trilinear lookup, and no square roots for the common case
    // of a footprint of at most a pixel, which reads level 0 alone.
    if (l1 < 1.5625 * l2 || l1 < 1.0) {
        if (l2 <= 1.0 && bias <= 0.0f) return sampleLevel(pyramid, 0, u, v, sharpen);
        return sampleTrilinear(pyramid, u, v, levelOfDetail(static_cast<float>(std::sqrt(l2)), bias), sharpen);
    }
    const double major = std::sqrt(l1);
    double minor = std::sqrt(l2);
    const double ratio = major / minor;

    // The major axis direction (unit, level-0 pixels).
    double ex = m01, ey = l1 - m00;
    if (std::fabs(ex) + std::fabs(ey) < 1e-12) {
        ex = l1 - m11;
        ey = m01;
    }
    double len = std::hypot(ex, ey);
    if (len < 1e-12) {
        ex = m00 >= m11 ? 1.0 : 0.0;
        ey = m00 >= m11 ? 0.0 : 1.0;
        len = 1.0;
    }
    ex /= len;
    ey /= len;

    int n;
    float lastWeight = 1.0f;
    if (ratio < 1.5) {
        n = 2;
        lastWeight = static_cast<float>((ratio - 1.25) * 4.0);
    } else {
        n = static_cast<int>(std::lround(ratio));
        if (n > kMaxAnisotropicProbes) {
            n = kMaxAnisotropicProbes;
            minor = major / kMaxAnisotropicProbes;  // wider probes rather than gaps between them
        }
        n = std::max(n, 2);
    }
    const float lod = levelOfDetail(static_cast<float>(minor), bias);
    float sum[4] = {0, 0, 0, 0};
    float weights = 0.0f;
    // The probes' spacing along the major axis, in fractions of the image.
    const double stepU = ex * major / w, stepV = ey * major / h;
    for (int i = 0; i < n; ++i) {
        const double t = (static_cast<double>(i) + 0.5) / n - 0.5;
        // Probes stay inside the image the centre lies in (no black fringe
        // where a long footprint reaches past an edge).
        float pu = u + static_cast<float>(stepU * t);
        const float pv = std::clamp(v + static_cast<float>(stepV * t), 0.0f, 1.0f);
        if (pyramid.wrap() != kWrapHorizontal) pu = std::clamp(pu, 0.0f, 1.0f);
        const float wt = (i == n - 1) ? lastWeight : 1.0f;
        if (wt <= 0.0f) continue;
        const ColorRgba c = sampleTrilinear(pyramid, pu, pv, lod, sharpen);
        sum[0] += c.r * wt;
        sum[1] += c.g * wt;
        sum[2] += c.b * wt;
        sum[3] += c.a * wt;
        weights += wt;
    }
    if (weights <= 0.0f) return ColorRgba{};
    const float k = 1.0f / weights;
    return ColorRgba{sum[0] * k, sum[1] * k, sum[2] * k, sum[3] * k};
}

}  // namespace globaro
