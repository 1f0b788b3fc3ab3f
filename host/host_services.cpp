#include "host/host_services.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace globaro {

namespace {

constexpr ResType kSigAffP = GLOBARO_FOURCC('A', 'f', 'f', 'P');
constexpr ResType kSigPsp8 = GLOBARO_FOURCC('P', 'S', 'P', '8');
constexpr ResType kSigPsp9 = GLOBARO_FOURCC('P', 'S', 'P', '9');

constexpr float kMaskFactor = 1.0f / 255.0f;  // 0.0039215684

VRect fromRect16(const Rect16& r) { return {r.top, r.left, r.bottom, r.right}; }

std::int16_t clampTo16(std::int32_t v) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, std::numeric_limits<std::int16_t>::min(),
                                                              std::numeric_limits<std::int16_t>::max()));
}

Rect16 toRect16(const VRect& r) {
    return {clampTo16(r.top), clampTo16(r.left), clampTo16(r.bottom), clampTo16(r.right)};
}

bool contains(const VRect& r, std::int32_t row, std::int32_t column) {
    return row >= r.top && row < r.bottom && column >= r.left && column < r.right;
}

float readSample(const std::uint8_t* at, const PixelFormat& format) {
    if (format.isFloat) {
        float v;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    if (format.bits16) {
        std::uint16_t v;
        std::memcpy(&v, at, sizeof v);
        return static_cast<float>(v);
    }
    return static_cast<float>(*at);
}

// Writes a 0..1 value as a sample: integer depths truncate channel * scale
// toward zero (clamped, so an overshoot cannot wrap); floats are stored as
// they are, with values that are not numbers stored as 0.
void writeSample(std::uint8_t* at, float value, const PixelFormat& format) {
    if (format.isFloat) {
        if (!std::isfinite(value)) value = 0.0f;
        std::memcpy(at, &value, sizeof value);
        return;
    }
    if (!(value > 0.0f)) value = 0.0f;  // also catches NaN
    if (value > 1.0f) value = 1.0f;
    if (format.bits16) {
        auto v = static_cast<std::uint16_t>(value * 32768.0f);
        std::memcpy(at, &v, sizeof v);
    } else {
        *at = static_cast<std::uint8_t>(value * 255.0f);
    }
}

// One run of pixels of a row, inside the tile: samples of type `Sample`,
// `stride` samples a pixel, grey (one colour sample) or RGB, alpha at sample
// `alphaAt` when `HasAlpha`. The same arithmetic as readInputPixel.
template <typename Sample, bool Grey, bool HasAlpha>
void readRun(const std::uint8_t* at, std::size_t stride, int alphaAt, float factor, std::size_t count, float* rgba) {
    auto sample = [](const std::uint8_t* p) {
        Sample v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<float>(v);
    };
    const std::size_t pixelBytes = stride * sizeof(Sample);
    for (std::size_t i = 0; i < count; ++i, at += pixelBytes, rgba += 4) {
        if constexpr (Grey) {
            rgba[0] = rgba[1] = rgba[2] = sample(at) * factor;
        } else {
            rgba[0] = sample(at) * factor;
            rgba[1] = sample(at + sizeof(Sample)) * factor;
            rgba[2] = sample(at + 2 * sizeof(Sample)) * factor;
        }
        if constexpr (HasAlpha) {
            rgba[3] = sample(at + static_cast<std::size_t>(alphaAt) * sizeof(Sample)) * factor;
        } else {
            rgba[3] = 1.0f;
        }
    }
}

template <typename Sample>
void readRunOf(bool grey, bool hasAlpha, const std::uint8_t* at, std::size_t stride, int alphaAt, float factor,
               std::size_t count, float* rgba) {
    if (grey) {
        if (hasAlpha)
            readRun<Sample, true, true>(at, stride, alphaAt, factor, count, rgba);
        else
            readRun<Sample, true, false>(at, stride, alphaAt, factor, count, rgba);
    } else {
        if (hasAlpha)
            readRun<Sample, false, true>(at, stride, alphaAt, factor, count, rgba);
        else
            readRun<Sample, false, false>(at, stride, alphaAt, factor, count, rgba);
    }
}

std::uint8_t toPreviewByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return static_cast<std::uint8_t>(value * 255.0f);
}

}  // namespace

float PixelFormat::colorFactor() const { return isFloat ? 1.0f : bits16 ? 1.0f / 32768.0f : 1.0f / 255.0f; }
float PixelFormat::sampleScale() const { return isFloat ? 1.0f : bits16 ? 32768.0f : 255.0f; }
float PixelFormat::middleGrey() const { return isFloat ? 32767.0f : bits16 ? 16384.0f : 128.0f; }

PixelFormat pixelFormatFor(int imageMode, int depth, int filterCase) {
    PixelFormat f;
    f.grey = imageMode == plugInModeGrayScale || imageMode == plugInModeGray16 || imageMode == plugInModeGray32;
    f.rgb = imageMode == plugInModeRGBColor || imageMode == plugInModeRGB48 || imageMode == plugInModeRGB96;
    f.isFloat = imageMode == plugInModeRGB96 || imageMode == plugInModeGray32 || depth == 32;
    f.bits16 = !f.isFloat && (imageMode == plugInModeGray16 || imageMode == plugInModeRGB48) && depth == 16;
    f.bits8 = !f.isFloat && (imageMode == plugInModeGrayScale || imageMode == plugInModeRGBColor) && depth < 9;
    f.editableTransparency = filterCase == filterCaseEditableTransparencyNoSelection ||
                             filterCase == filterCaseEditableTransparencyWithSelection;
    return f;
}

namespace {

// Where a run of `count` pixels from `column` of one row meets a tile: the
// pixels before the tile, inside it, and the address of the first inside
// one (null when none is).
struct RowRun {
    std::size_t total = 0, before = 0, inside = 0;
    const std::uint8_t* first = nullptr;
};

RowRun rowRunOf(const TileView& tile, std::int32_t row, std::int32_t column, std::int32_t count, int sampleBytes) {
    RowRun run;
    run.total = static_cast<std::size_t>(count);
    const bool rowInside = tile.data != nullptr && tile.planes > 0 && row >= tile.rect.top && row < tile.rect.bottom;
    // The columns of the run inside the tile: [insideFrom, insideTo).
    const std::int64_t from = column, to = std::int64_t{column} + count;
    const std::int64_t insideFrom = rowInside ? std::clamp<std::int64_t>(tile.rect.left, from, to) : from;
    const std::int64_t insideTo = rowInside ? std::max(std::min<std::int64_t>(to, tile.rect.right), insideFrom) : from;
    run.before = static_cast<std::size_t>(insideFrom - from);
    run.inside = static_cast<std::size_t>(std::max<std::int64_t>(insideTo - insideFrom, 0));
    if (run.inside > 0)
        run.first = tile.data + static_cast<std::ptrdiff_t>(insideFrom - tile.rect.left) * tile.planes * sampleBytes +
                    static_cast<std::ptrdiff_t>(row - tile.rect.top) * tile.rowBytes;
    return run;
}

}  // namespace

void readInputRow(const PixelFormat& format, const TileView& tile, std::int32_t row, std::int32_t column,
                  std::int32_t count, float* rgba) {
    if (count <= 0) return;
    const RowRun run = rowRunOf(tile, row, column, count, format.bytesPerSample());
    const std::size_t before = run.before, inside = run.inside;
    std::fill(rgba, rgba + before * 4, 0.0f);
    std::fill(rgba + (before + inside) * 4, rgba + run.total * 4, 0.0f);
    if (inside == 0) return;
    const std::uint8_t* at = run.first;
    const float factor = format.colorFactor();
    const bool grey = std::min(format.colorPlanes(), tile.planes) < 3;
    const bool hasAlpha = tile.planes > format.colorPlanes();
    const auto stride = static_cast<std::size_t>(tile.planes);
    float* first = rgba + before * 4;
    if (format.isFloat)
        readRunOf<float>(grey, hasAlpha, at, stride, format.colorPlanes(), factor, inside, first);
    else if (format.bits16)
        readRunOf<std::uint16_t>(grey, hasAlpha, at, stride, format.colorPlanes(), factor, inside, first);
    else
        readRunOf<std::uint8_t>(grey, hasAlpha, at, stride, format.colorPlanes(), factor, inside, first);
}

bool readInputRow8(const PixelFormat& format, const TileView& tile, std::int32_t row, std::int32_t column,
                   std::int32_t count, std::uint8_t* rgba) {
    if (!format.bits8 || format.isFloat || format.bits16) return false;
    if (count <= 0) return true;
    const RowRun run = rowRunOf(tile, row, column, count, 1);
    const std::size_t before = run.before, inside = run.inside;
    std::fill(rgba, rgba + before * 4, std::uint8_t{0});
    std::fill(rgba + (before + inside) * 4, rgba + run.total * 4, std::uint8_t{0});
    if (inside == 0) return true;
    const std::uint8_t* at = run.first;
    const bool grey = std::min(format.colorPlanes(), tile.planes) < 3;
    const bool hasAlpha = tile.planes > format.colorPlanes();
    const auto stride = static_cast<std::size_t>(tile.planes);
    const auto alphaAt = static_cast<std::size_t>(format.colorPlanes());
    std::uint8_t* out = rgba + before * 4;
    if (!grey && hasAlpha && stride == 4 && alphaAt == 3) {
        std::memcpy(out, at, inside * 4);
        return true;
    }
    for (std::size_t i = 0; i < inside; ++i, at += stride, out += 4) {
        out[0] = at[0];
        out[1] = grey ? at[0] : at[1];
        out[2] = grey ? at[0] : at[2];
        out[3] = hasAlpha ? at[alphaAt] : std::uint8_t{255};
    }
    return true;
}

bool ExportImage::allocate(std::int32_t w, std::int32_t h) {
    if (w <= 0 || h <= 0) return false;
    try {
        pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 0.0f);
    } catch (const std::bad_alloc&) {
        pixels.clear();
        width = height = 0;
        return false;
    }
    width = w;
    height = h;
    return true;
}

std::int16_t computePreviewStep(std::int32_t pw, std::int32_t ph, std::int32_t w, std::int32_t h) {
    auto ceilDiv = [](std::int16_t a, std::int16_t b) -> std::int16_t {
        if (b <= 0) return 1;
        return static_cast<std::int16_t>((a + b - 1) / b);
    };
    const std::int16_t w16 = clampTo16(w), h16 = clampTo16(h);
    const std::int16_t pw16 = clampTo16(pw), ph16 = clampTo16(ph);
    const std::int16_t byRows = ceilDiv(h16, std::min(ph16, h16));
    const std::int16_t byColumns = ceilDiv(w16, std::min(pw16, w16));
    return std::max<std::int16_t>(std::max(byRows, byColumns), 1);
}

PixelFormat HostServices::pixelFormat() const {
    return pixelFormatFor(record_->imageMode, record_->depth, record_->filterCase);
}

VPoint HostServices::imageSize() const {
    if (record_->bigDocumentData != nullptr) return record_->bigDocumentData->imageSize32;
    return {record_->imageSize.v, record_->imageSize.h};
}

VRect HostServices::filterRect() const {
    if (record_->bigDocumentData != nullptr) return record_->bigDocumentData->filterRect32;
    return fromRect16(record_->filterRect);
}

VPoint HostServices::floatCoord() const {
    if (record_->bigDocumentData != nullptr) return record_->bigDocumentData->floatCoord32;
    return {record_->floatCoord.v, record_->floatCoord.h};
}

bool HostServices::hostIsAffP() const { return record_->hostSig == kSigAffP; }

bool HostServices::hostIsPsp() const { return record_->hostSig == kSigPsp8 || record_->hostSig == kSigPsp9; }

bool HostServices::hostCanSample() const {
    return record_->advanceState != nullptr && record_->displayPixels != nullptr && record_->samplingSupport != 0 &&
           !hostIsAffP();
}

void HostServices::requestTile(const VRect& imageRect) {
    const std::int32_t step = std::max<std::int32_t>(settings_ != nullptr ? settings_->previewStep : 1, 1);
    const VPoint origin = floatCoord();
    const std::int32_t top = (settings_ != nullptr ? settings_->previewTop : 0) / step;
    const std::int32_t left = (settings_ != nullptr ? settings_->previewLeft : 0) / step;
    const std::int32_t dv = origin.v / step + top;
    const std::int32_t dh = origin.h / step + left;
    const VRect r{imageRect.top / step - dv, imageRect.left / step - dh, imageRect.bottom / step - dv,
                  imageRect.right / step - dh};

    FilterRecord& f = *record_;
    f.inRect = f.outRect = toRect16(r);
    if (f.haveMask) f.maskRect = f.inRect;
    if (f.bigDocumentData != nullptr) {
        f.bigDocumentData->PluginUsing32BitCoordinates = 1;
        f.bigDocumentData->inRect32 = f.bigDocumentData->outRect32 = r;
        if (f.haveMask) f.bigDocumentData->maskRect32 = r;
    }
    f.inLoPlane = f.outLoPlane = 0;
    f.inHiPlane = f.outHiPlane = static_cast<std::int16_t>(f.planes - 1);
    f.inputRate = f.maskRate = toFixed(step);
    f.inputPadding = f.outputPadding = f.maskPadding = -1;
    f.inPreDummyPlanes = f.inPostDummyPlanes = f.outPreDummyPlanes = f.outPostDummyPlanes = 0;
    f.autoMask = 0;
}

VRect HostServices::inRect() const {
    if (record_->bigDocumentData != nullptr && record_->bigDocumentData->PluginUsing32BitCoordinates)
        return record_->bigDocumentData->inRect32;
    return fromRect16(record_->inRect);
}

VRect HostServices::outRect() const {
    if (record_->bigDocumentData != nullptr && record_->bigDocumentData->PluginUsing32BitCoordinates)
        return record_->bigDocumentData->outRect32;
    return fromRect16(record_->outRect);
}

VRect HostServices::maskRect() const {
    if (record_->bigDocumentData != nullptr && record_->bigDocumentData->PluginUsing32BitCoordinates)
        return record_->bigDocumentData->maskRect32;
    return fromRect16(record_->maskRect);
}

void HostServices::clearRequest() {
    FilterRecord& f = *record_;
    f.inRect = f.outRect = f.maskRect = Rect16{0, 0, 0, 0};
    if (f.bigDocumentData != nullptr) {
        f.bigDocumentData->inRect32 = f.bigDocumentData->outRect32 = f.bigDocumentData->maskRect32 = VRect{0, 0, 0, 0};
    }
}

OSErr HostServices::advance() {
    if (record_->advanceState == nullptr) return filterBadParameters;
    return record_->advanceState();
}

bool HostServices::testAbort() const { return record_->abortProc != nullptr && record_->abortProc() != 0; }

void HostServices::updateProgress(std::int32_t done, std::int32_t total) const {
    // The host sees one more than done, but never more than the total: a
    // finished run reads total of total, not one beyond it.
    if (record_->progressProc == nullptr) return;
    std::int32_t shown = done < std::numeric_limits<std::int32_t>::max() ? done + 1 : done;
    if (total > 0 && shown > total) shown = total;
    record_->progressProc(shown, total);
}

TileView HostServices::inputTile() const {
    return {static_cast<const std::uint8_t*>(record_->inData), record_->inRowBytes,
            record_->inHiPlane - record_->inLoPlane + 1, inRect()};
}

MutableTileView HostServices::outputTile() const {
    return {static_cast<std::uint8_t*>(record_->outData), record_->outRowBytes,
            record_->outHiPlane - record_->outLoPlane + 1, outRect()};
}

MaskView HostServices::maskTile() const {
    if (!record_->haveMask) return {};
    return {static_cast<const std::uint8_t*>(record_->maskData), record_->maskRowBytes, maskRect()};
}

Color4 HostServices::readInputPixel(std::int32_t row, std::int32_t column, const TileView& tile) const {
    Color4 c;
    if (tile.data == nullptr || tile.planes <= 0 || !contains(tile.rect, row, column)) return c;
    const PixelFormat format = pixelFormat();
    const int bps = format.bytesPerSample();
    const std::uint8_t* at = tile.data + static_cast<std::ptrdiff_t>(column - tile.rect.left) * tile.planes * bps +
                             static_cast<std::ptrdiff_t>(row - tile.rect.top) * tile.rowBytes;
    const float factor = format.colorFactor();
    const int colorPlanes = std::min(format.colorPlanes(), tile.planes);
    if (colorPlanes < 3) {
        c.red = c.green = c.blue = readSample(at, format) * factor;
    } else {
        c.red = readSample(at, format) * factor;
        c.green = readSample(at + bps, format) * factor;
        c.blue = readSample(at + 2 * bps, format) * factor;
    }
    c.alpha = tile.planes > format.colorPlanes() ? readSample(at + format.colorPlanes() * bps, format) * factor : 1.0f;
    return c;
}

float HostServices::readMaskValue(std::int32_t row, std::int32_t column, const MaskView& mask) const {
    if (hostIsAffP() || !record_->haveMask || mask.data == nullptr) return 1.0f;
    if (!contains(mask.rect, row, column)) return 0.0f;
    const std::uint8_t v =
        mask.data[static_cast<std::ptrdiff_t>(row - mask.rect.top) * mask.rowBytes + (column - mask.rect.left)];
    return static_cast<float>(v) * kMaskFactor;
}

void HostServices::writeOutputPixel(std::int32_t column, std::int32_t row, const Color4& color,
                                    const MutableTileView& tile, PreviewBuffer* preview,
                                    ExportImage* exportImage) const {
    const std::int32_t target = settings_ != nullptr ? settings_->renderTarget : kRenderToHost;
    if (target == kRenderToExport) {
        if (exportImage == nullptr || column < 0 || row < 0 || column >= exportImage->width ||
            row >= exportImage->height)
            return;
        float* at = exportImage->pixels.data() +
                    (static_cast<std::size_t>(row) * static_cast<std::size_t>(exportImage->width) + column) * 4;
        at[0] = color.red;
        at[1] = color.green;
        at[2] = color.blue;
        at[3] = color.alpha;
        return;
    }
    if (target == kRenderToPreview) {
        if (preview == nullptr || preview->width <= 0 || preview->height <= 0 || preview->planes <= 0) return;
        const std::int32_t x = std::clamp(column, 0, preview->width - 1);
        const std::int32_t y = std::clamp(row, 0, preview->height - 1);
        const std::size_t planeSize = static_cast<std::size_t>(preview->width) * preview->height;
        const std::size_t at = static_cast<std::size_t>(y) * preview->width + x;
        if (preview->bytes.size() < planeSize * static_cast<std::size_t>(preview->planes)) return;
        if (preview->planes >= 3) {
            preview->bytes[at] = toPreviewByte(color.red);
            preview->bytes[planeSize + at] = toPreviewByte(color.green);
            preview->bytes[2 * planeSize + at] = toPreviewByte(color.blue);
        } else {
            preview->bytes[at] = toPreviewByte(color.green);
        }
        return;
    }
    if (tile.data == nullptr || tile.planes <= 0 || !contains(tile.rect, row, column) ||
        !contains(outRect(), row, column))
        return;
    const PixelFormat format = pixelFormat();
    const int bps = format.bytesPerSample();
    std::uint8_t* at = tile.data + static_cast<std::ptrdiff_t>(column - tile.rect.left) * tile.planes * bps +
                       static_cast<std::ptrdiff_t>(row - tile.rect.top) * tile.rowBytes;
    if (format.colorPlanes() == 1 || tile.planes < 3) {
        writeSample(at, color.green, format);
    } else {
        writeSample(at, color.red, format);
        writeSample(at + bps, color.green, format);
        writeSample(at + 2 * bps, color.blue, format);
    }
    if (tile.planes > format.colorPlanes()) writeSample(at + format.colorPlanes() * bps, color.alpha, format);
}

OSErr HostServices::readPreviewSource(std::vector<std::uint8_t>& buffer, std::int32_t& width, std::int32_t& height) {
    FilterRecord& f = *record_;
    const VRect r = inRect();
    width = std::max(r.right - r.left, 0);
    height = std::max(r.bottom - r.top, 0);
    const int planeCount = std::max<int>(f.planes, 0);
    const std::size_t planeSize = static_cast<std::size_t>(width) * height;
    buffer.assign(planeSize * planeCount, 0);
    const PixelFormat format = pixelFormat();
    const int bps = format.bytesPerSample();
    for (int plane = 0; plane < planeCount; ++plane) {
        f.inLoPlane = f.inHiPlane = static_cast<std::int16_t>(plane);
        const OSErr err = advance();
        if (err != noErr) return err;
        const TileView tile = inputTile();
        if (tile.data == nullptr) continue;
        const VRect delivered = tile.rect;
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < width; ++x) {
                const std::int32_t row = r.top + y, column = r.left + x;
                if (!contains(delivered, row, column)) continue;
                const std::uint8_t* at = tile.data + static_cast<std::ptrdiff_t>(column - delivered.left) * bps +
                                         static_cast<std::ptrdiff_t>(row - delivered.top) * tile.rowBytes;
                std::uint8_t out;
                if (format.isFloat) {
                    float v = readSample(at, format);
                    v = std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f;
                    out = static_cast<std::uint8_t>(v * 255.0f);
                } else if (format.bits16) {
                    const auto v = static_cast<std::uint32_t>(std::min(readSample(at, format), 32768.0f));
                    out = static_cast<std::uint8_t>((2 * v) / 257);
                } else {
                    out = *at;
                }
                buffer[plane * planeSize + static_cast<std::size_t>(y) * width + x] = out;
            }
        }
    }
    return noErr;
}

bool HostServices::chooseColor(const Rgb16& initial, Rgb16& chosen, ColorChooser* fallback) const {
    if (record_->colorServices != nullptr) {
        ColorServicesInfo info{};
        info.infoSize = sizeof info;
        info.selector = plugIncolorServicesChooseColor;
        info.sourceSpace = plugIncolorServicesRGBSpace;
        info.resultSpace = plugIncolorServicesRGBSpace;
        info.colorComponents[0] = static_cast<std::int16_t>(initial.red >> 8);
        info.colorComponents[1] = static_cast<std::int16_t>(initial.green >> 8);
        info.colorComponents[2] = static_cast<std::int16_t>(initial.blue >> 8);
        if (record_->colorServices(&info) != noErr) return false;
        auto channel = [](std::int16_t v) { return static_cast<std::uint16_t>(std::clamp<int>(v, 0, 255) * 256); };
        chosen = {channel(info.colorComponents[0]), channel(info.colorComponents[1]), channel(info.colorComponents[2])};
        return true;
    }
    return fallback != nullptr && fallback->choose(initial, chosen);
}

}  // namespace globaro
