#pragma once
// An image held by the standalone host the way an image editor holds it:
// interleaved samples (colour planes, then an optional transparency plane),
// 8-bit 0..255, 16-bit 0..32768 or 32-bit float 0..1, with an optional
// selection mask and the origin of a floating selection.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "export/iptc.h"
#include "host/filter_record.h"

namespace globaro {

// Memory that reads as zero and whose pages are only touched when written:
// large blocks come straight from the system, small ones from calloc, and
// elements are not value-initialised. An image read from a file takes
// memory as its rows arrive, not when its size is known.
void* allocateUntouched(std::size_t bytes);
void releaseUntouched(void* p, std::size_t bytes) noexcept;

template <typename T>
struct UntouchedAllocator {
    using value_type = T;
    UntouchedAllocator() = default;
    template <typename U>
    UntouchedAllocator(const UntouchedAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(allocateUntouched(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { releaseUntouched(p, n * sizeof(T)); }
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const UntouchedAllocator&, const UntouchedAllocator&) { return true; }
};

using PixelBuffer = std::vector<std::uint8_t, UntouchedAllocator<std::uint8_t>>;

struct ImageMetadata;  // app/metadata.h

struct Document {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int colorPlanes = 3;    // 1 grey, 3 RGB
    bool hasAlpha = false;  // a transparency plane follows the colour planes
    int depth = 8;          // 8, 16 or 32 (float)
    PixelBuffer pixels;
    // 16-bit documents read from a file: one bit per sample, set where the
    // file held the other of the two file values that give the same host
    // value, so that an unchanged sample is written back as it was read.
    // Empty otherwise.
    PixelBuffer fileValueBits;
    std::vector<std::uint8_t> mask;  // width * height selection bytes, or empty
    VPoint floatOrigin{0, 0};        // origin of a floating selection
    // The keywords of the settings that made the image, for the keyword
    // record of the files that carry one (JPEG).
    KeywordList keywords;
    // What the file it came from said about itself (EXIF, colour profile,
    // panorama tags), for the files written from it; null when nothing.
    std::shared_ptr<const ImageMetadata> metadata;

    int planes() const { return colorPlanes + (hasAlpha ? 1 : 0); }
    int bytesPerSample() const { return depth == 32 ? 4 : depth == 16 ? 2 : 1; }
    std::size_t rowBytes() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(planes()) * bytesPerSample();
    }
    std::uint8_t* sample(std::int32_t x, std::int32_t y, int plane) {
        return pixels.data() + static_cast<std::size_t>(y) * rowBytes() +
               (static_cast<std::size_t>(x) * planes() + plane) * bytesPerSample();
    }
    const std::uint8_t* sample(std::int32_t x, std::int32_t y, int plane) const {
        return const_cast<Document*>(this)->sample(x, y, plane);
    }
    // Sample as 0..1 (float documents: as stored).
    float value(std::int32_t x, std::int32_t y, int plane) const;
    void setValue(std::int32_t x, std::int32_t y, int plane, float v);

    // The editor's image mode and filter case for this document.
    int imageMode() const;
    int filterCase() const;
    bool hasMask() const { return !mask.empty(); }
};

// Gives the memory of rows [top, bottom) back to the system once nothing
// needs their pixels any more: they read as zero afterwards. Pages shared
// with rows outside the span are kept; small images keep everything.
void releaseRows(Document& doc, std::int32_t top, std::int32_t bottom) noexcept;

// Full-scale sample value of a depth: 255, 32768 or 1.
float sampleScale(int depth);

// The largest side of an image, in pixels: editors of this interface
// handle up to 300000 pixels a side.
inline constexpr std::int32_t kMaxDocumentSide = 300000;

// The most memory one image may take. By default half of the machine's
// physical memory (and of the address space the process may use, when that
// is limited); --max-memory sets it.
std::size_t imageMemoryLimit();
void setImageMemoryLimit(std::size_t bytes);
// Reads a memory size: a number of bytes with an optional K, M, G or T
// (powers of 1024; "512M", "8G"). False when the text is not one.
bool parseMemorySize(const std::string& text, std::size_t& bytes);

// Whether a document of this kind could be made: false (with a reason) when
// it is not something an editor could hold, or larger than the limit.
bool checkDocument(std::int32_t width, std::int32_t height, int colorPlanes, bool hasAlpha, int depth,
                   std::string& error);

// Creates a blank document; false (with a reason) when the request is not
// something an editor could hold. Its pixels take memory as they are
// written.
bool makeDocument(Document& doc, std::int32_t width, std::int32_t height, int colorPlanes, bool hasAlpha, int depth,
                  std::string& error);

// The same picture at another depth (values converted through 0..1).
Document convertDepth(const Document& doc, int depth);

// Converts `count` samples of depth `fromDepth` to depth `toDepth` exactly as
// value() and setValue() would, one tight loop per pair of depths. The
// buffers must not overlap unless the depths are equal.
void convertSamples(const std::uint8_t* from, int fromDepth, std::uint8_t* to, int toDepth, std::size_t count);

// True when the document has a transparency plane and every pixel in it is
// fully opaque (255, 32768, or at least 1 in float).
bool everyPixelOpaque(const Document& doc);
// The same for rows [top, bottom) alone.
bool rowsOpaque(const Document& doc, std::int32_t top, std::int32_t bottom);

// Human-readable summary: "2048 x 1024 RGB 8-bit, no transparency, no
// selection". With `alphaLeftOut`, the transparency plane is described as
// left out of a file.
std::string describeDocument(const Document& doc, bool alphaLeftOut = false);

}  // namespace globaro
