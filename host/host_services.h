#pragma once
// The thin layer between the filter and its host: the only code that reads or
// writes the host's filter record. Everything else reaches the host through
// these accessors, so a test host with the same fields can drive the filter.

#include <cstdint>
#include <vector>

#include "host/filter_record.h"
#include "settings/settings_record.h"

namespace globaro {

// A colour inside the render path: four floats, not premultiplied, 0..1.
struct Color4 {
    float red = 0.0f;
    float green = 0.0f;
    float blue = 0.0f;
    float alpha = 0.0f;
};

// The pixel format derived from the host's image mode, depth and filter case.
struct PixelFormat {
    bool grey = false;
    bool rgb = false;
    bool bits8 = false;
    bool bits16 = false;
    bool isFloat = false;
    bool editableTransparency = false;

    int colorPlanes() const { return grey ? 1 : 3; }
    int bytesPerSample() const { return isFloat ? 4 : bits16 ? 2 : 1; }
    // Factor that turns a sample into 0..1: 1/255, 1/32768 or 1.
    float colorFactor() const;
    // Full-scale sample value: 255, 32768 or 1.
    float sampleScale() const;
    // The sample value of neutral grey: 128, 16384 or 32767.
    float middleGrey() const;
    bool supported() const { return (grey || rgb) && (bits8 || bits16 || isFloat); }
};

PixelFormat pixelFormatFor(int imageMode, int depth, int filterCase);

// A delivered tile as the module sees it: the first sample, the distance
// between rows, the planes per pixel, and the rectangle it covers (in the
// coordinates of the request).
struct TileView {
    const std::uint8_t* data = nullptr;
    std::int32_t rowBytes = 0;
    int planes = 0;
    VRect rect{};
};

struct MutableTileView {
    std::uint8_t* data = nullptr;
    std::int32_t rowBytes = 0;
    int planes = 0;
    VRect rect{};
};

struct MaskView {
    const std::uint8_t* data = nullptr;
    std::int32_t rowBytes = 0;
    VRect rect{};
};

// Reads pixels `column`..`column + count - 1` of one row of a tile, with the
// very values HostServices::readInputPixel gives for each (all zeros outside
// the tile), as red, green, blue, alpha floats into `rgba` (4 a pixel). The
// format is resolved once per call, not per pixel. No allocation; safe from
// any number of threads.
void readInputRow(const PixelFormat& format, const TileView& tile, std::int32_t row, std::int32_t column,
                  std::int32_t count, float* rgba);

// The same run of an 8-bit image as bytes (red, green, blue, alpha 0..255;
// alpha 255 without a transparency plane, zeros outside the tile), which
// keep every value exact. False, and nothing read, when the format is not
// 8-bit.
bool readInputRow8(const PixelFormat& format, const TileView& tile, std::int32_t row, std::int32_t column,
                   std::int32_t count, std::uint8_t* rgba);

// The module's own image that exports render into: RGBA floats, 0..1.
struct ExportImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<float> pixels;  // width * height * 4

    bool allocate(std::int32_t w, std::int32_t h);
};

// The dialog's 8-bit preview buffer: `planes` planes of width * height bytes.
struct PreviewBuffer {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int planes = 0;
    std::vector<std::uint8_t> bytes;  // plane after plane
};

// Picks a colour for a colour button. The host's picker is used when the host
// has one; otherwise the system's colour dialog, which the dialog provides.
class ColorChooser {
public:
    virtual ~ColorChooser() = default;
    // Returns false when the user cancelled.
    virtual bool choose(const Rgb16& initial, Rgb16& chosen) = 0;
};

// The preview step for a preview of pw x ph showing an image area of w x h:
// max(ceil(h / min(ph, h)), ceil(w / min(pw, w))) in 16-bit signed arithmetic.
std::int16_t computePreviewStep(std::int32_t pw, std::int32_t ph, std::int32_t w, std::int32_t h);

class HostServices {
public:
    HostServices(FilterRecord* record, SettingsRecord* settings) : record_(record), settings_(settings) {}

    FilterRecord* record() const { return record_; }
    PixelFormat pixelFormat() const;

    // Geometry, from the 32-bit forms when the host supplies them.
    VPoint imageSize() const;
    VRect filterRect() const;
    VPoint floatCoord() const;
    int planes() const { return record_->planes; }
    bool haveMask() const { return record_->haveMask != 0; }

    bool hostIsAffP() const;
    bool hostIsPsp() const;
    bool hostCanSample() const;
    bool hasAdvanceState() const { return record_->advanceState != nullptr; }
    bool hasDisplayPixels() const { return record_->displayPixels != nullptr; }

    // Sets the tile request for the next advance() from a rectangle in image
    // coordinates (the preview step and offsets are taken from the settings).
    void requestTile(const VRect& imageRect);
    // The rectangles of the current request, in request coordinates.
    VRect inRect() const;
    VRect outRect() const;
    VRect maskRect() const;
    // Empties the input, output and mask requests (the continue call).
    void clearRequest();

    // Calls advanceState; the result is the filter's result code.
    OSErr advance();
    bool testAbort() const;
    void updateProgress(std::int32_t done, std::int32_t total) const;

    // The tiles delivered by the last advance().
    TileView inputTile() const;
    MutableTileView outputTile() const;
    MaskView maskTile() const;

    // The input pixel at (row, column) of a tile, or all zeros outside it.
    Color4 readInputPixel(std::int32_t row, std::int32_t column, const TileView& tile) const;
    // Selection coverage 0..1 at (row, column).
    float readMaskValue(std::int32_t row, std::int32_t column, const MaskView& mask) const;
    // Writes a finished pixel to the target named by `renderTarget`.
    void writeOutputPixel(std::int32_t column, std::int32_t row, const Color4& color, const MutableTileView& tile,
                          PreviewBuffer* preview, ExportImage* exportImage) const;

    // Reads the requested input area plane by plane into one 8-bit buffer of
    // `planes` planes. Returns the result of the first failing advanceState.
    OSErr readPreviewSource(std::vector<std::uint8_t>& buffer, std::int32_t& width, std::int32_t& height);

    // Picks a colour with the host's picker, or with `fallback` when the host
    // has none. Returns false when cancelled or when nothing can pick.
    bool chooseColor(const Rgb16& initial, Rgb16& chosen, ColorChooser* fallback) const;

private:
    FilterRecord* record_;
    SettingsRecord* settings_;
};

// 16.16 fixed point.
constexpr Fixed toFixed(std::int32_t v) { return static_cast<Fixed>(static_cast<std::uint32_t>(v) << 16); }

}  // namespace globaro
