#pragma once
// The image pyramid: copies of an input image at decreasing sizes, level 0
// the image itself, each further level about half the size of the one
// before. Levels hold colour channels in the units 0..65535 for full scale
// and alpha 0..1, not premultiplied. A float image keeps floats in every
// level (and its values above full scale). An 8-bit image keeps its own
// bytes in level 0 (a quarter of the memory, and every value exact), and an
// 8- or 16-bit image keeps its reduced levels in 16-bit words (half the
// memory of floats; a word is a 257th of an 8-bit step, so rounding to it
// changes a rendered 8-bit pixel by at most one step, and rarely).
// Lookups filter from the pyramid so that strongly shrinking projections do
// not alias: trilinear between two levels, and anisotropic (several
// trilinear probes along the long axis of an elongated footprint).
//
// Building: `allocate` sizes every level, level 0 is filled by the caller
// (`storeImage`), then `buildPyramid` computes the other
// levels through the render driver, one driver run per level. Lookups are
// allocation-free and safe from any number of threads once built.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/large_pages.h"
#include "render/blend_modes.h"
#include "render/render_driver.h"

namespace globaro {

// How an image continues beyond its left and right edges.
enum PyramidWrap : std::int32_t {
    kWrapNone = 0,        // clamped at every edge
    kWrapHorizontal = 1,  // a panorama that closes around horizontally
};

// How a level keeps its samples.
enum class LevelStorage : std::uint8_t {
    kFloat,  // floats: red, green, blue (0..65535), alpha (0..1)
    kBytes,  // 8-bit red, green, blue, alpha (0..255): level 0 of an 8-bit image
    kWords,  // 16-bit red, green, blue, alpha (0..65535): the reduced levels of an 8- or 16-bit image
};

// How the levels of a pyramid keep their samples: level 0, and the levels
// reduced from it (kFloat or kWords).
struct PyramidStorage {
    LevelStorage base = LevelStorage::kFloat;
    LevelStorage reduced = LevelStorage::kFloat;
};

// The storage for an image of `depth` bits a sample (8, 16 or 32; floats
// for any other).
PyramidStorage pyramidStorageFor(int depth);

// An allocator that leaves new floats unset: every pixel of a level is
// written (by `storeImage` or the reduction) before the pyramid is ready, so
// clearing the memory first would only touch every page twice. A large level
// asks for large pages before its first write.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() noexcept = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        T* p = std::allocator<T>::allocate(n);
        preferLargePages(p, n * sizeof(T));
        return p;
    }
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

struct PyramidLevel {
    std::int32_t width = 0;
    std::int32_t height = 0;
    // Size relative to the level before (level 0: 1).
    float ratioX = 1.0f;
    float ratioY = 1.0f;
    // Whether this level was (is to be) built with interpolated taps.
    bool wideTaps = false;
    LevelStorage storage = LevelStorage::kFloat;
    // kFloat: width * height * 4 floats: red, green, blue (0..65535), alpha (0..1).
    std::vector<float, UninitialisedAllocator<float>> pixels;
    // kBytes: width * height * 4 bytes: red, green, blue, alpha (0..255).
    std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>> bytes;
    // kWords: width * height * 4 words: red, green, blue, alpha (0..65535).
    std::vector<std::uint16_t, UninitialisedAllocator<std::uint16_t>> words;

    // Whether the samples are integers (bytes or words) rather than floats.
    bool compact() const { return storage != LevelStorage::kFloat; }
    // A pixel in the levels' float units (colour 0..65535, alpha 0..1),
    // whichever the storage.
    void readPixel(std::int32_t x, std::int32_t y, float out[4]) const;
    // The float pixel (kFloat storage only).
    const float* pixel(std::int32_t x, std::int32_t y) const {
        return pixels.data() +
               (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
    }
    float* pixel(std::int32_t x, std::int32_t y) {
        return pixels.data() +
               (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
    }
    // The byte pixel (kBytes storage only).
    const std::uint8_t* texel8(std::int32_t x, std::int32_t y) const {
        return bytes.data() +
               (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
    }
    std::uint8_t* texel8(std::int32_t x, std::int32_t y) {
        return bytes.data() +
               (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
    }
    // The word pixel (kWords storage only).
    const std::uint16_t* texel16(std::int32_t x, std::int32_t y) const {
        return words.data() +
               (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
    }
    std::uint16_t* texel16(std::int32_t x, std::int32_t y) {
        return words.data() +
               (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
    }
};

// A source image in memory: interleaved samples of 8, 16 (0..32768) or 32
// (float 0..1) bits; 1 or 2 channels are grey (+ alpha), 3 or 4 RGB (+ alpha).
struct SourceImageView {
    const void* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::ptrdiff_t rowBytes = 0;
    int channels = 3;
    int depth = 8;
};

class ImagePyramid {
public:
    static constexpr int kMaxLevels = 24;

    // Sizes and allocates every level for a level-0 image of width x height
    // (each level halves, rounding up, down to 1 x 1), the levels kept as
    // `storage` says. False when a size is not positive, the storage is not
    // one `pyramidStorageFor` gives, or the memory cannot be had; the
    // pyramid is then empty.
    bool allocate(std::int32_t width, std::int32_t height, PyramidWrap wrap, PyramidStorage storage = {});
    void clear();

    // Copies a source image (or part of one) into level 0 at (x0, y0).
    // False when the view is invalid or does not fit, or when it is not an
    // 8-bit view and level 0 keeps bytes.
    bool storeImage(const SourceImageView& view, std::int32_t x0 = 0, std::int32_t y0 = 0);

    int levelCount() const { return levelCount_; }
    const PyramidLevel& level(int n) const { return levels_[static_cast<std::size_t>(n)]; }
    PyramidLevel& level(int n) { return levels_[static_cast<std::size_t>(n)]; }
    PyramidWrap wrap() const { return wrap_; }
    // Changes how the edges continue; the levels above 0 must be built again.
    void setWrap(PyramidWrap wrap) {
        if (wrap != wrap_) ready_ = false;
        wrap_ = wrap;
    }
    bool ready() const { return ready_; }
    void markReady(bool ready) { ready_ = ready; }
    // The lookups' detail bias in levels (0: the footprint's own size).
    float bias() const { return bias_; }
    void setBias(float bias) { bias_ = bias; }
    // The blur a cubic B-spline read of level `n` carries, as the variance
    // of its point spread along one axis in level-0 pixels squared: the
    // reductions that made the level plus the B-spline within it (level 0:
    // the B-spline alone).
    float levelVariance(int n) const { return levelVariance_[static_cast<std::size_t>(n)]; }

    // One tile of level `level` + 1 from level `level` (`rect` in the new
    // level's pixels, clipped to its size). With whole-pixel taps (the exact
    // 2:1 case) or interpolated taps at scaled positions; the taps and their
    // weights are the pyramid's fixed 6 x 6 table.
    void reduceTile(int level, const TileRect& rect, bool wideTaps);

    // While level 0 arrives top to bottom: reduces the rows of level 1 whose
    // taps lie within level 0's first `storedRows` rows, in the columns that
    // do not depend on the wrap (all but the first and the last), so that
    // building the levels later has only the rest to do. Only for a level 1
    // of whole-pixel taps; does nothing otherwise.
    void reduceFirstLevelAhead(std::int32_t storedRows);
    // The rows of level 1 whose wrap-independent columns are done.
    std::int32_t firstLevelRowsAhead() const { return firstLevelRows_; }
    // Level 1 has been built whole: its wrap-independent columns stay good
    // for a build with another wrap.
    void markFirstLevelBuilt() {
        if (levelCount_ >= 2 && !levels_[1].wideTaps && levels_[1].width >= 3) firstLevelRows_ = levels_[1].height;
    }

private:
    void computeLevelVariances();

    std::vector<PyramidLevel> levels_;
    int levelCount_ = 0;
    std::int32_t firstLevelRows_ = 0;
    PyramidWrap wrap_ = kWrapNone;
    bool ready_ = false;
    float bias_ = 0.0f;
    float levelVariance_[kMaxLevels] = {};
};

// The 6 x 6 reduction weights by row (dy) over the columns (dx), offsets
// -0.75, -0.25, 0.25, 0.75, 1.25, 1.75 of a pixel of the new level. They sum
// to 1640.
extern const float kPyramidWeights[6][6];
inline constexpr float kPyramidWeightSum = 1640.0f;

// One tile of pyramid level `level` + 1 (kinds kPyramidLevel and
// kPyramidLevelWide of the render driver).
void reducePyramidTile(ImagePyramid& pyramid, int level, const TileRect& rect, RenderKind kind);

// Builds levels 1.. of a pyramid whose level 0 is filled, running the render
// driver once per level (whole-pixel taps where a level is exactly half its
// source, interpolated taps otherwise), then marks it ready. Returns the
// driver's result (0, or -108 when memory ran short).
std::int16_t buildPyramid(ImagePyramid& pyramid, int processors = 0);

// ---- lookups -----------------------------------------------------------------------
// Positions u, v are fractions of the image width and height. Colours come
// back as floats, 1 for full scale (colour divided by 65535; a float image's
// light above full scale comes back above 1), not premultiplied. A lookup
// outside the image (v outside [0, 1], or u outside it without horizontal
// wrap) is transparent black.
//
// The footprint lookups (`sampleInput`, `samplePlain`) aim at the mean of
// the image over the output pixel's footprint: their filter's variance
// grows from a box's over the footprint (w²/12 for a footprint w pixels
// wide) where the output is as fine as the input to 0.3·w² where it
// shrinks by two or more, so that detail the output can show keeps its
// contrast and detail it cannot show is smoothed away rather than turned
// into moiré. Small footprints read level 0 bilinearly, then mixed with a
// cubic B-spline read; larger ones mix B-spline reads of the two levels
// whose blur brackets the footprint's (docs/filtering.md). `sharpen` (0..1)
// halves the filter's variance at 1; `sampleLevel` and `sampleTrilinear`
// sharpen the bilinear transition instead, never beyond the range of the
// pixels it mixes.

// The footprint lookups take their B-spline reads of byte and word levels
// two rows to a 256-bit operation where the processor has AVX2 (found at run
// time), the same arithmetic in the same order as the 128-bit reads, so the
// very same colours. `setWideReads(false)` keeps them to 128 bits (to
// compare the two) and returns whether they were wide; `true` turns them
// back on where they are available.
bool wideReadsAvailable() noexcept;
bool setWideReads(bool on) noexcept;

// Bilinear at one level.
ColorRgba sampleLevel(const ImagePyramid& pyramid, int level, float u, float v, float sharpen) noexcept;

// Trilinear at a detail level (0 = full resolution): the two neighbouring
// integer levels mixed by the fraction.
ColorRgba sampleTrilinear(const ImagePyramid& pyramid, float u, float v, float lod, float sharpen) noexcept;

// The footprint of a sample: two vectors spanning it, in fractions of the
// image width (du) and height (dv).
struct Footprint {
    float du1 = 0.0f, dv1 = 0.0f;
    float du2 = 0.0f, dv2 = 0.0f;
};

// The most probes one anisotropic lookup takes.
inline constexpr int kMaxAnisotropicProbes = 16;

// What the footprint lookups take from the pyramid's detail bias and the
// sharpening: the factor on a footprint's variance, and whether a footprint
// within a pixel is one bilinear read. A render works it out once
// (`LookupScaleCache`) rather than at every lookup.
struct LookupScale {
    float variance = 1.0f;
    bool bilinearWithinPixel = true;
};
LookupScale lookupScale(const ImagePyramid& pyramid, float sharpen) noexcept;

// The scale of the last pyramid, bias and sharpening asked for.
class LookupScaleCache {
public:
    const LookupScale& get(const ImagePyramid& pyramid, float sharpen) noexcept {
        if (&pyramid != pyramid_ || pyramid.bias() != bias_ || sharpen != sharpen_) {
            scale_ = lookupScale(pyramid, sharpen);
            pyramid_ = &pyramid;
            bias_ = pyramid.bias();
            sharpen_ = sharpen;
        }
        return scale_;
    }

private:
    const ImagePyramid* pyramid_ = nullptr;
    float bias_ = 0.0f, sharpen_ = 0.0f;
    LookupScale scale_;
};

// The plain lookup: one filtered read at the size of the footprint's larger
// extent.
ColorRgba samplePlain(const ImagePyramid& pyramid, float u, float v, const Footprint& footprint,
                      const LookupScale& scale) noexcept;
ColorRgba samplePlain(const ImagePyramid& pyramid, float u, float v, const Footprint& footprint,
                      float sharpen) noexcept;

// The anisotropic lookup: filtered probes along the footprint ellipse's
// major axis, each at the size of its minor axis. With more than
// `maxProbes` needed, the probes widen to cover the major axis.
ColorRgba sampleInput(const ImagePyramid& pyramid, float u, float v, const Footprint& footprint,
                      const LookupScale& scale, int maxProbes = kMaxAnisotropicProbes) noexcept;
ColorRgba sampleInput(const ImagePyramid& pyramid, float u, float v, const Footprint& footprint, float sharpen,
                      int maxProbes = kMaxAnisotropicProbes) noexcept;

}  // namespace globaro
