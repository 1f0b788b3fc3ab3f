#include "app/document.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "platform/large_pages.h"

namespace globaro {

namespace {
// Besides the sides (kMaxDocumentSide) the whole buffer is capped by
// imageMemoryLimit().
constexpr std::int32_t kMaxSide = kMaxDocumentSide;

// Blocks from this size on are mapped from the system: their pages are zero
// and cost nothing until written.
constexpr std::size_t kMappedBytes = std::size_t{1} << 20;

std::size_t defaultMemoryLimit() {
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    std::size_t limit = pages > 0 && pageSize > 0
                            ? static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize) / 2
                            : std::size_t{4} << 30;
    rlimit space{};
    if (getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY)
        limit = std::min<std::size_t>(limit, space.rlim_cur / 2);
    return limit;
}

std::atomic<std::size_t> gMemoryLimit{0};  // 0: not yet decided

// A size for messages: in MiB, or in KiB below one MiB; rounded up or down.
std::string sizeText(std::size_t bytes, bool up) {
    const int shift = bytes < (std::size_t{1} << 20) ? 10 : 20;
    const std::size_t unit = std::size_t{1} << shift;
    return std::to_string(up ? (bytes + unit - 1) >> shift : bytes >> shift) + (shift == 10 ? " KiB" : " MiB");
}

// Samples as value() reads them and setValue() writes them.
template <int Depth>
float readValue(const std::uint8_t* at) {
    if constexpr (Depth == 32) {
        float v;
        std::memcpy(&v, at, sizeof v);
        return v;
    } else if constexpr (Depth == 16) {
        std::uint16_t v;
        std::memcpy(&v, at, sizeof v);
        return static_cast<float>(v) / 32768.0f;
    } else {
        return static_cast<float>(*at) / 255.0f;
    }
}

template <int Depth>
void writeValue(std::uint8_t* at, float v) {
    if constexpr (Depth == 32) {
        std::memcpy(at, &v, sizeof v);
    } else {
        if (!(v > 0.0f)) v = 0.0f;
        v = std::min(v, 1.0f);
        if constexpr (Depth == 16) {
            auto s = static_cast<std::uint16_t>(std::lround(v * 32768.0f));
            std::memcpy(at, &s, sizeof s);
        } else {
            *at = static_cast<std::uint8_t>(std::lround(v * 255.0f));
        }
    }
}

template <int From, int To>
void convertRun(const std::uint8_t* from, std::uint8_t* to, std::size_t count) {
    constexpr std::size_t fromBytes = From / 8, toBytes = To / 8;
    for (std::size_t i = 0; i < count; ++i) writeValue<To>(to + i * toBytes, readValue<From>(from + i * fromBytes));
}

template <int From>
void convertFrom(const std::uint8_t* from, std::uint8_t* to, int toDepth, std::size_t count) {
    if (toDepth == 32)
        convertRun<From, 32>(from, to, count);
    else if (toDepth == 16)
        convertRun<From, 16>(from, to, count);
    else
        convertRun<From, 8>(from, to, count);
}

}  // namespace

void* allocateUntouched(std::size_t bytes) {
    if (bytes >= kMappedBytes) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        preferLargePages(p, bytes);
        return p;
    }
    void* p = std::calloc(std::max<std::size_t>(bytes, 1), 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void releaseUntouched(void* p, std::size_t bytes) noexcept {
    if (p == nullptr) return;
    if (bytes >= kMappedBytes)
        munmap(p, bytes);
    else
        std::free(p);
}

void releaseRows(Document& doc, std::int32_t top, std::int32_t bottom) noexcept {
    top = std::max(top, 0);
    bottom = std::min(bottom, doc.height);
    // Only a block of its own (from the system) gives pages back; the pages
    // that rows outside the span share stay.
    if (top >= bottom || doc.pixels.capacity() < kMappedBytes) return;
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto from = reinterpret_cast<std::uintptr_t>(doc.sample(0, top, 0));
    const auto to = reinterpret_cast<std::uintptr_t>(doc.sample(0, bottom - 1, 0)) + doc.rowBytes();
    const std::uintptr_t first = (from + page - 1) / page * page, end = to / page * page;
    if (first < end) madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
}

std::size_t imageMemoryLimit() {
    std::size_t limit = gMemoryLimit.load();
    if (limit == 0) {
        limit = defaultMemoryLimit();
        gMemoryLimit.store(limit);
    }
    return limit;
}

void setImageMemoryLimit(std::size_t bytes) { gMemoryLimit.store(std::max<std::size_t>(bytes, 1)); }

bool parseMemorySize(const std::string& text, std::size_t& bytes) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 15 || text.size() > digits + 1) return false;
    int shift = 0;
    if (text.size() == digits + 1) {
        switch (text[digits]) {
            case 'k':
            case 'K':
                shift = 10;
                break;
            case 'm':
            case 'M':
                shift = 20;
                break;
            case 'g':
            case 'G':
                shift = 30;
                break;
            case 't':
            case 'T':
                shift = 40;
                break;
            default:
                return false;
        }
    }
    const std::size_t value = std::stoull(text.substr(0, digits));
    if (value == 0 || value > (std::numeric_limits<std::size_t>::max() >> shift)) return false;
    bytes = value << shift;
    return true;
}

void convertSamples(const std::uint8_t* from, int fromDepth, std::uint8_t* to, int toDepth, std::size_t count) {
    if (fromDepth == toDepth) {
        if (from != to)
            std::memmove(to, from, count * static_cast<std::size_t>(fromDepth == 32 ? 4 : fromDepth == 16 ? 2 : 1));
        return;
    }
    if (fromDepth == 32)
        convertFrom<32>(from, to, toDepth, count);
    else if (fromDepth == 16)
        convertFrom<16>(from, to, toDepth, count);
    else
        convertFrom<8>(from, to, toDepth, count);
}

float sampleScale(int depth) { return depth == 32 ? 1.0f : depth == 16 ? 32768.0f : 255.0f; }

float Document::value(std::int32_t x, std::int32_t y, int plane) const {
    const std::uint8_t* at = sample(x, y, plane);
    return depth == 32 ? readValue<32>(at) : depth == 16 ? readValue<16>(at) : readValue<8>(at);
}

void Document::setValue(std::int32_t x, std::int32_t y, int plane, float v) {
    std::uint8_t* at = sample(x, y, plane);
    if (depth == 32)
        writeValue<32>(at, v);
    else if (depth == 16)
        writeValue<16>(at, v);
    else
        writeValue<8>(at, v);
}

int Document::imageMode() const {
    if (colorPlanes == 1) return depth == 32 ? plugInModeGray32 : depth == 16 ? plugInModeGray16 : plugInModeGrayScale;
    return depth == 32 ? plugInModeRGB96 : depth == 16 ? plugInModeRGB48 : plugInModeRGBColor;
}

int Document::filterCase() const {
    if (hasAlpha)
        return hasMask() ? filterCaseEditableTransparencyWithSelection : filterCaseEditableTransparencyNoSelection;
    return hasMask() ? filterCaseFlatImageWithSelection : filterCaseFlatImageNoSelection;
}

bool checkDocument(std::int32_t width, std::int32_t height, int colorPlanes, bool hasAlpha, int depth,
                   std::string& error) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        error = "image size " + std::to_string(width) + " x " + std::to_string(height) + " is outside 1.." +
                std::to_string(kMaxSide) + " pixels a side";
        return false;
    }
    if (colorPlanes != 1 && colorPlanes != 3) {
        error = "only greyscale and RGB images are supported";
        return false;
    }
    if (depth != 8 && depth != 16 && depth != 32) {
        error = "only 8-bit, 16-bit and 32-bit float images are supported";
        return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                              static_cast<std::size_t>(colorPlanes + (hasAlpha ? 1 : 0)) *
                              static_cast<std::size_t>(depth / 8);
    const std::size_t limit = imageMemoryLimit();
    if (bytes > limit) {
        error = "a " + std::to_string(width) + " x " + std::to_string(height) + " image needs " +
                sizeText(bytes, true) + ", more than the " + sizeText(limit, false) +
                " allowed for one image (--max-memory sets it)";
        return false;
    }
    return true;
}

bool makeDocument(Document& doc, std::int32_t width, std::int32_t height, int colorPlanes, bool hasAlpha, int depth,
                  std::string& error) {
    if (!checkDocument(width, height, colorPlanes, hasAlpha, depth, error)) return false;
    Document d;
    d.width = width;
    d.height = height;
    d.colorPlanes = colorPlanes;
    d.hasAlpha = hasAlpha;
    d.depth = depth;
    try {
        d.pixels.resize(d.rowBytes() * static_cast<std::size_t>(height));  // zero, untouched
    } catch (const std::bad_alloc&) {
        error = "not enough memory for a " + std::to_string(width) + " x " + std::to_string(height) + " image";
        return false;
    }
    doc = std::move(d);
    return true;
}

Document convertDepth(const Document& doc, int depth) {
    if (doc.depth == depth) return doc;
    Document out;
    std::string ignored;
    if (!makeDocument(out, doc.width, doc.height, doc.colorPlanes, doc.hasAlpha, depth, ignored)) return out;
    out.mask = doc.mask;
    out.floatOrigin = doc.floatOrigin;
    convertSamples(doc.pixels.data(), doc.depth, out.pixels.data(), depth,
                   static_cast<std::size_t>(doc.width) * doc.height * doc.planes());
    return out;
}

bool rowsOpaque(const Document& doc, std::int32_t top, std::int32_t bottom) {
    if (!doc.hasAlpha || top < 0 || bottom > doc.height || top > bottom) return false;
    const std::size_t planes = static_cast<std::size_t>(doc.planes());
    const std::size_t rowPixels = static_cast<std::size_t>(doc.width);
    if (doc.pixels.size() < rowPixels * static_cast<std::size_t>(doc.height) * planes * doc.bytesPerSample())
        return false;
    const std::size_t first =
        static_cast<std::size_t>(top) * rowPixels * planes + static_cast<std::size_t>(doc.colorPlanes);
    const std::size_t end = static_cast<std::size_t>(bottom) * rowPixels * planes;
    auto allAtLeast = [&](auto full) {
        using Sample = decltype(full);
        const std::uint8_t* bytes = doc.pixels.data();
        for (std::size_t i = first; i < end; i += planes) {
            Sample v;
            std::memcpy(&v, bytes + i * sizeof(Sample), sizeof v);
            if (!(v >= full)) return false;
        }
        return true;
    };
    switch (doc.depth) {
        case 8:
            return allAtLeast(std::uint8_t{255});
        case 16:
            return allAtLeast(std::uint16_t{32768});
        default:
            return allAtLeast(1.0f);
    }
}

bool everyPixelOpaque(const Document& doc) { return rowsOpaque(doc, 0, doc.height); }

std::string describeDocument(const Document& doc, bool alphaLeftOut) {
    const char* transparency = !doc.hasAlpha  ? "no transparency"
                               : alphaLeftOut ? "opaque, transparency left out"
                                              : "with transparency";
    std::string s = std::to_string(doc.width) + " x " + std::to_string(doc.height) + " " +
                    (doc.colorPlanes == 1 ? "greyscale" : "RGB") + " " +
                    (doc.depth == 32 ? "32-bit float" : std::to_string(doc.depth) + "-bit") + ", " + transparency +
                    ", " + (doc.hasMask() ? "with selection" : "no selection");
    return s;
}

}  // namespace globaro
