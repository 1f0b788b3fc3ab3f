#include "app/filter_host.h"

#include "app/descriptor_store.h"
#include "app/exit_status.h"
#include "app/module_loader.h"
#include "app/run_settings.h"

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <set>

// A host-owned memory block handed to the module.
struct HostHandle_ {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::int32_t size = 0;
    int locks = 0;
};

namespace globaro {

namespace {

FilterHost* gActive = nullptr;
std::set<Handle> gHandles;  // every handle handed out and not yet disposed

// Largest tile a module may ask for in one request.
constexpr std::size_t kMaxTileBytes = std::size_t{1} << 30;

// Fresh handles hold a pattern, not zeros, as an editor's would.
constexpr std::uint8_t kFreshHandleByte = 0xCD;

Handle newHandle(std::int32_t size) {
    if (size < 0) return nullptr;
    auto* h = new (std::nothrow) HostHandle_();
    if (h == nullptr) return nullptr;
    h->bytes.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(std::max(size, 1))]);
    if (!h->bytes) {
        delete h;
        return nullptr;
    }
    std::memset(h->bytes.get(), kFreshHandleByte, static_cast<std::size_t>(std::max(size, 1)));
    h->size = size;
    gHandles.insert(h);
    return h;
}

bool known(Handle h) { return h != nullptr && gHandles.count(h) != 0; }

void disposeHandle(Handle h) {
    if (!known(h)) {
        // Descriptors are handles of the descriptor store's.
        releaseDescriptorHandle(h);
        return;
    }
    gHandles.erase(h);
    delete h;
}

std::int32_t handleSize(Handle h) { return known(h) ? h->size : 0; }

OSErr setHandleSize(Handle h, std::int32_t size) {
    if (!known(h) || size < 0) return filterBadParameters;
    if (h->locks > 0) return memFullErr;  // a locked block cannot move
    std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(std::max(size, 1))]);
    if (!bytes) return memFullErr;
    std::memset(bytes.get(), kFreshHandleByte, static_cast<std::size_t>(std::max(size, 1)));
    std::memcpy(bytes.get(), h->bytes.get(), static_cast<std::size_t>(std::min(size, h->size)));
    h->bytes = std::move(bytes);
    h->size = size;
    return noErr;
}

Ptr lockHandle(Handle h, Boolean /*moveHigh*/) {
    if (!known(h)) return nullptr;
    ++h->locks;
    return reinterpret_cast<Ptr>(h->bytes.get());
}

void unlockHandle(Handle h) {
    if (known(h) && h->locks > 0) --h->locks;
}

OSErr advanceStateThunk() {
    if (gActive == nullptr) return filterBadParameters;
    // No exception may cross the module's frames: memory running out while
    // the tiles are made is the module's "not enough memory".
    try {
        return gActive->advanceState();
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}
OSErr readSourceThunk(const VRect* rect, std::int16_t loPlane, std::int16_t hiPlane, void* buffer,
                      std::int32_t rowBytes) {
    return gActive != nullptr ? gActive->readSource(rect, loPlane, hiPlane, buffer, rowBytes)
                              : static_cast<OSErr>(filterBadParameters);
}
OSErr viewSourceThunk(const VRect* rect, const void** data, std::int32_t* rowBytes) {
    return gActive != nullptr ? gActive->viewSource(rect, data, rowBytes) : static_cast<OSErr>(filterBadParameters);
}
Boolean abortThunk() { return gActive != nullptr && gActive->testAbort() ? 1 : 0; }
void progressThunk(std::int32_t done, std::int32_t total) {
    if (gActive != nullptr) gActive->progress(done, total);
}
OSErr displayPixelsThunk(const PSPixelMap* source, const VRect* srcRect, std::int32_t, std::int32_t, void*) {
    return source != nullptr && srcRect != nullptr ? static_cast<OSErr>(noErr)
                                                   : static_cast<OSErr>(filterBadParameters);
}

std::function<bool(std::int16_t (&)[4])>* gColorPicker = nullptr;
OSErr colorServicesThunk(ColorServicesInfo* info) {
    if (info == nullptr || info->selector != plugIncolorServicesChooseColor) return filterBadParameters;
    if (gColorPicker == nullptr || !*gColorPicker) return userCanceledErr;
    return (*gColorPicker)(info->colorComponents) ? noErr : userCanceledErr;
}

Rect16 toRect16(const VRect& r) {
    auto c = [](std::int32_t v) {
        return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, std::numeric_limits<std::int16_t>::min(),
                                                                  std::numeric_limits<std::int16_t>::max()));
    };
    return {c(r.top), c(r.left), c(r.bottom), c(r.right)};
}

bool isEmpty(const VRect& r) { return r.bottom <= r.top || r.right <= r.left; }

// Whether a rectangle holds pixels and lies inside the image.
bool insideImage(const VRect& r, const Document& d) {
    return r.top >= 0 && r.left >= 0 && r.bottom <= d.height && r.right <= d.width && r.top < r.bottom &&
           r.left < r.right;
}

// Copies `count` pixels of `bytes` bytes each, `fromStride` and `toStride`
// bytes apart; one block when both are packed.
void copyPixels(std::uint8_t* to, std::size_t toStride, const std::uint8_t* from, std::size_t fromStride,
                std::size_t bytes, std::size_t count) {
    if (count == 0) return;
    if (toStride == bytes && fromStride == bytes) {
        std::memcpy(to, from, bytes * count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) std::memcpy(to + i * toStride, from + i * fromStride, bytes);
}

// Whether `count` pixels of `bytes` bytes each, `aStride` and `bStride`
// bytes apart, are the same.
bool samePixels(const std::uint8_t* a, std::size_t aStride, const std::uint8_t* b, std::size_t bStride,
                std::size_t bytes, std::size_t count) {
    if (aStride == bytes && bStride == bytes) return std::memcmp(a, b, bytes * count) == 0;
    for (std::size_t i = 0; i < count; ++i)
        if (std::memcmp(a + i * aStride, b + i * bStride, bytes) != 0) return false;
    return true;
}

// Fills `count` pixels of `bytes` bytes with the pixel at `from`.
void repeatPixel(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) std::memcpy(to + i * bytes, from, bytes);
}

// Copies one row of a request: samples of `bytes` bytes for columns
// left..left+count-1 (at `step` pixels apart, shifted by `originX`) of a
// document row of `width` pixels `stride` bytes apart, replicating the edge
// pixels outside the row.
void copyRequestRow(std::uint8_t* to, const std::uint8_t* row, std::int32_t width, std::size_t stride,
                    std::size_t bytes, std::int64_t left, std::size_t count, int step, std::int32_t originX) {
    if (step == 1) {
        // Columns before the row, inside it, after it.
        const std::int64_t first = left + originX;
        const std::int64_t end = first + static_cast<std::int64_t>(count);
        const auto before =
            static_cast<std::size_t>(std::clamp<std::int64_t>(-first, 0, static_cast<std::int64_t>(count)));
        const std::int64_t insideFirst = std::max<std::int64_t>(first, 0);
        const std::int64_t insideEnd = std::min<std::int64_t>(end, width);
        const auto inside = static_cast<std::size_t>(std::max<std::int64_t>(insideEnd - insideFirst, 0));
        const std::size_t after = count - before - inside;
        repeatPixel(to, row, bytes, before);
        copyPixels(to + before * bytes, bytes, row + static_cast<std::size_t>(insideFirst) * stride, stride, bytes,
                   inside);
        repeatPixel(to + (before + inside) * bytes, row + static_cast<std::size_t>(width - 1) * stride, bytes, after);
        return;
    }
    for (std::size_t x = 0; x < count; ++x) {
        const std::int64_t wantX = (left + static_cast<std::int64_t>(x)) * step + originX;
        const auto docX = static_cast<std::size_t>(std::clamp<std::int64_t>(wantX, 0, width - 1));
        std::memcpy(to + x * bytes, row + docX * stride, bytes);
    }
}

}  // namespace

std::atomic<bool>& cancelRequested() {
    static std::atomic<bool> flag{false};
    return flag;
}

FilterHost::FilterHost(Document& document, HostOptions options) : document_(document), options_(std::move(options)) {
    handleProcs_.handleProcsVersion = 1;
    handleProcs_.numHandleProcs = 6;
    handleProcs_.newProc = newHandle;
    handleProcs_.disposeProc = disposeHandle;
    handleProcs_.getSizeProc = handleSize;
    handleProcs_.setSizeProc = setHandleSize;
    handleProcs_.lockProc = lockHandle;
    handleProcs_.unlockProc = unlockHandle;
}

FilterHost::~FilterHost() {
    disposeHandle(record_.parameters);
    disposeHandle(reinterpret_cast<Handle>(dataField_));
    if (gActive == this) gActive = nullptr;
}

int FilterHost::liveHandles() const {
    return (known(record_.parameters) ? 1 : 0) + (known(reinterpret_cast<Handle>(dataField_)) ? 1 : 0);
}

const void* FilterHost::parameterBlock() const {
    return known(record_.parameters) ? record_.parameters->bytes.get() : nullptr;
}

void FilterHost::fillRecord() {
    FilterRecord& f = record_;
    const Document& d = document_;
    f.serialNumber = 0;
    f.abortProc = abortThunk;
    f.progressProc = progressThunk;
    const VRect whole{0, 0, d.height, d.width};
    f.imageSize = {static_cast<std::int16_t>(std::min<std::int32_t>(d.height, 32767)),
                   static_cast<std::int16_t>(std::min<std::int32_t>(d.width, 32767))};
    f.planes = static_cast<std::int16_t>(d.planes());
    f.filterRect = toRect16(whole);
    f.maxSpace = options_.maxSpace;
    f.isFloating = (d.floatOrigin.v != 0 || d.floatOrigin.h != 0) ? 1 : 0;
    f.haveMask = d.hasMask() ? 1 : 0;
    f.floatCoord = {static_cast<std::int16_t>(d.floatOrigin.v), static_cast<std::int16_t>(d.floatOrigin.h)};
    f.hostSig = options_.hostSig;
    platformData_.hwnd = 0;
    f.platformData = &platformData_;
    f.imageMode =
        options_.imageModeOverride >= 0 ? options_.imageModeOverride : static_cast<std::int16_t>(d.imageMode());
    f.depth = static_cast<std::int16_t>(d.depth);
    f.filterCase = static_cast<std::int16_t>(d.filterCase());
    f.inLayerPlanes = f.outLayerPlanes = static_cast<std::int16_t>(d.colorPlanes);
    f.inTransparencyMask = f.outTransparencyMask = d.hasAlpha ? 1 : 0;
    f.inNonLayerPlanes = f.outNonLayerPlanes = 0;
    f.samplingSupport = options_.samplingSupport ? 1 : 0;
    f.handleProcs = &handleProcs_;
    f.advanceState = options_.offerAdvanceState ? advanceStateThunk : nullptr;
    f.displayPixels = options_.offerDisplayPixels ? displayPixelsThunk : nullptr;
    f.colorServices = options_.offerColorServices ? colorServicesThunk : nullptr;
    f.descriptorParameters = options_.descriptorParameters;
    f.sSPBasic = nullptr;
    if (options_.source != nullptr) {
        const Document& source = *options_.source;
        const bool viewing = options_.sourceSuiteVersion >= 2;
        sourceSuite_.version = viewing ? 2 : 1;
        sourceSuite_.size = {source.height, source.width};
        sourceSuite_.planes = static_cast<std::int16_t>(source.planes());
        sourceSuite_.depth = static_cast<std::int16_t>(source.depth);
        sourceSuite_.readSource = readSourceThunk;
        sourceSuite_.viewSource = viewing ? viewSourceThunk : nullptr;
        f.sourceImage = &sourceSuite_;
    } else {
        f.sourceImage = nullptr;
    }
    f.framesToFollow = options_.framesToFollow;
    if (options_.bigDocument) {
        bigDocument_.imageSize32 = {d.height, d.width};
        bigDocument_.wholeSize32 = {d.height, d.width};
        bigDocument_.filterRect32 = whole;
        bigDocument_.floatCoord32 = d.floatOrigin;
        f.bigDocumentData = &bigDocument_;
    } else {
        f.bigDocumentData = nullptr;
    }
}

std::int16_t FilterHost::call(PluginMainProc entry, std::int16_t selector) {
    fillRecord();
    FilterHost* previous = gActive;
    gActive = this;
    gColorPicker = &options_.colorPicker;
    result_ = 0;
    if (selector == filterSelectorAbout) {
        AboutRecord about{&platformData_, nullptr};
        entry(selector, reinterpret_cast<FilterRecord*>(&about), &dataField_, &result_);
    } else {
        entry(selector, &record_, &dataField_, &result_);
    }
    // Rows the module viewed in place are done with once its call returns.
    if (viewedBottom_ > viewedTop_) {
        const auto t0 = std::chrono::steady_clock::now();
        releaseViewedRows();
        secondsInCallbacks_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    gActive = previous;
    gColorPicker = nullptr;
    return result_;
}

VRect FilterHost::requested(const Rect16& small, const VRect& big) const {
    if (record_.bigDocumentData != nullptr && record_.bigDocumentData->PluginUsing32BitCoordinates) return big;
    return {small.top, small.left, small.bottom, small.right};
}

bool FilterHost::requestIsEmpty() const {
    return isEmpty(requested(record_.inRect, bigDocument_.inRect32)) &&
           isEmpty(requested(record_.outRect, bigDocument_.outRect32)) &&
           isEmpty(requested(record_.maskRect, bigDocument_.maskRect32));
}

void FilterHost::takeBackOutput() {
    if (!outPending_) return;
    outPending_ = false;
    Document& d = document_;
    const int planes = deliveredOutHi_ - deliveredOutLo_ + 1;
    const int bps = d.bytesPerSample();
    // Only full-resolution tiles write back into the image.
    if (deliveredOutStep_ != 1) return;
    const std::size_t pixelBytes = static_cast<std::size_t>(planes) * bps;
    const std::size_t docPixelBytes = static_cast<std::size_t>(d.planes()) * bps;
    const std::size_t tileRowBytes = static_cast<std::size_t>(deliveredOut_.right - deliveredOut_.left) * pixelBytes;
    // The tile's columns inside the image.
    const std::int64_t left = std::max<std::int64_t>(std::int64_t{deliveredOut_.left} + d.floatOrigin.h, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t{deliveredOut_.right} + d.floatOrigin.h, d.width);
    if (left >= right) return;
    const auto count = static_cast<std::size_t>(right - left);
    const auto skip = static_cast<std::size_t>(left - (std::int64_t{deliveredOut_.left} + d.floatOrigin.h));
    const std::int32_t firstRow = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{deliveredOut_.top} + d.floatOrigin.v, 0, d.height));
    const std::int32_t endRow = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{deliveredOut_.bottom} + d.floatOrigin.v, 0, d.height));
    bool listening = options_.rowListener != nullptr && !listenerStopped_;
    bool changed = false;
    for (std::int32_t y = deliveredOut_.top; y < deliveredOut_.bottom; ++y) {
        const std::int64_t docY = std::int64_t{y} + d.floatOrigin.v;
        if (docY < 0 || docY >= d.height) continue;
        keepRow(static_cast<std::int32_t>(docY));
        const std::uint8_t* src =
            outBuffer_.data() + static_cast<std::size_t>(y - deliveredOut_.top) * tileRowBytes + skip * pixelBytes;
        std::uint8_t* dst = d.sample(static_cast<std::int32_t>(left), static_cast<std::int32_t>(docY), deliveredOutLo_);
        if (listening) {
            // Until a tile has changed something, note whether this one
            // does; a row the listener has (a tile taken back a second
            // time, say) may come back only as it was.
            const bool check = !changeSeen_ ? !changed : docY < rowsReported_;
            if (check && !samePixels(dst, docPixelBytes, src, pixelBytes, pixelBytes, count)) {
                changed = true;
                if (changeSeen_) {
                    stopListening();
                    listening = false;
                }
            }
        }
        copyPixels(dst, docPixelBytes, src, pixelBytes, pixelBytes, count);
    }
    if (options_.pixelsDrawn != nullptr && sweeps_ > options_.sweepsBeforeDrawing)
        options_.pixelsDrawn->fetch_add(std::int64_t{endRow - firstRow} * static_cast<std::int64_t>(count));
    if (listening) rowsWritten(firstRow, endRow, static_cast<std::int32_t>(count), changed);
}

void FilterHost::stopListening() {
    if (options_.rowListener == nullptr || listenerStopped_) return;
    listenerStopped_ = true;
    if (rowsReported_ > 0) options_.rowListener->rowsChanging();
}

void FilterHost::rowsWritten(std::int32_t top, std::int32_t bottom, std::int32_t pixels, bool changed) {
    if (rowPixels_.size() != static_cast<std::size_t>(document_.height))
        rowPixels_.assign(static_cast<std::size_t>(document_.height), 0);
    if (!changeSeen_ && changed) {
        changeSeen_ = true;
        // Rows covered before by tiles that changed nothing, and written now,
        // were only passed through (the tiles of an image read in place):
        // the count starts again.
        if (top < rowsCovered_) {
            std::fill(rowPixels_.begin(), rowPixels_.end(), 0);
            rowsCovered_ = 0;
        }
    }
    for (std::int32_t y = top; y < bottom; ++y) rowPixels_[static_cast<std::size_t>(y)] += pixels;
    while (rowsCovered_ < document_.height && rowPixels_[static_cast<std::size_t>(rowsCovered_)] >= document_.width)
        ++rowsCovered_;
    // The listener hears of rows once a tile has changed something.
    if (changeSeen_ && rowsCovered_ > rowsReported_) {
        rowsReported_ = rowsCovered_;
        options_.rowListener->rowsFinished(rowsReported_);
    }
}

// A request that starts below the finished rows tells that the module has
// moved on from them: the listener may let them go. False when the request
// covers rows let go before (they are not there to hand out).
bool FilterHost::letFinishedRowsGo(const VRect& in, const VRect& out, int step) {
    if (!options_.finishedRowsMayGo || options_.rowListener == nullptr) return true;
    std::int64_t first = document_.height;
    for (const VRect* r : {&in, &out})
        if (!isEmpty(*r))
            first = std::min(first, std::clamp<std::int64_t>(std::int64_t{r->top} * step + document_.floatOrigin.v, 0,
                                                             document_.height - 1));
    if (first < rowsLetGo_) return false;
    const std::int32_t mayGo = std::min(rowsReported_, static_cast<std::int32_t>(first));
    if (mayGo > rowsLetGo_ && !listenerStopped_) {
        rowsLetGo_ = mayGo;
        options_.rowListener->rowsMayGo(mayGo);
    }
    return true;
}

void FilterHost::keepRow(std::int32_t y) {
    if (!keeping_ || keptRows_[static_cast<std::size_t>(y)]) return;
    keptRows_[static_cast<std::size_t>(y)] = true;
    const std::size_t rowBytes = document_.rowBytes();
    std::memcpy(kept_.get() + static_cast<std::size_t>(y) * rowBytes, document_.sample(0, y, 0), rowBytes);
}

std::int16_t FilterHost::advanceState() {
    const auto t0 = std::chrono::steady_clock::now();
    const std::int16_t result = deliverTiles();
    secondsInCallbacks_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return result;
}

std::int16_t FilterHost::deliverTiles() {
    takeBackOutput();
    FilterRecord& f = record_;
    Document& d = document_;
    const int bps = d.bytesPerSample();
    const VRect in = requested(f.inRect, bigDocument_.inRect32);
    const VRect out = requested(f.outRect, bigDocument_.outRect32);
    const VRect maskRect = requested(f.maskRect, bigDocument_.maskRect32);
    const int step = std::max<int>(f.inputRate >> 16, 1);
    const int maskStep = std::max<int>(f.maskRate >> 16, 1);
    const std::size_t docPixelBytes = static_cast<std::size_t>(d.planes()) * bps;

    // Copies a rectangle of planes lo..hi into a buffer, replicating edge
    // pixels outside the image. Returns false when the request is unusable.
    auto deliver = [&](const VRect& r, int lo, int hi, int sampleStep, std::vector<std::uint8_t>& buffer, void*& data,
                       std::int32_t& rowBytes) -> bool {
        data = nullptr;
        rowBytes = 0;
        if (isEmpty(r)) return true;
        if (lo < 0 || hi >= d.planes() || lo > hi) return false;
        const int planes = hi - lo + 1;
        const std::size_t w = static_cast<std::size_t>(r.right) - r.left;
        const std::size_t h = static_cast<std::size_t>(r.bottom) - r.top;
        const std::size_t pixelBytes = static_cast<std::size_t>(planes) * bps;
        if (w * h * pixelBytes > kMaxTileBytes) return false;
        buffer.resize(w * h * pixelBytes);
        for (std::size_t y = 0; y < h; ++y) {
            const std::int64_t wantY = (static_cast<std::int64_t>(r.top) + y) * sampleStep + d.floatOrigin.v;
            const std::int32_t docY = static_cast<std::int32_t>(std::clamp<std::int64_t>(wantY, 0, d.height - 1));
            copyRequestRow(buffer.data() + y * w * pixelBytes, d.sample(0, docY, lo), d.width, docPixelBytes,
                           pixelBytes, r.left, w, sampleStep, d.floatOrigin.h);
        }
        data = buffer.data();
        rowBytes = static_cast<std::int32_t>(w * pixelBytes);
        return true;
    };

    if (!letFinishedRowsGo(in, out, step)) {
        rowsAskedAgain_ = true;
        return readErr;
    }
    // Rows still on their way from the file are waited for.
    if (options_.documentRows != nullptr) {
        std::int64_t below = 0;
        for (const VRect* r : {&in, &out}) {
            if (isEmpty(*r)) continue;
            const std::int64_t last = (std::int64_t{r->bottom} - 1) * step + d.floatOrigin.v;
            below = std::max(below, std::clamp<std::int64_t>(last, 0, d.height - 1) + 1);
        }
        if (below > 0 && !options_.documentRows->waitFor(static_cast<std::int32_t>(below))) return readErr;
    }
    if (!deliver(in, f.inLoPlane, f.inHiPlane, step, inBuffer_, f.inData, f.inRowBytes)) return filterBadParameters;
    if (!deliver(out, f.outLoPlane, f.outHiPlane, step, outBuffer_, f.outData, f.outRowBytes))
        return filterBadParameters;
    if (!isEmpty(out)) {
        if (out.top == 0 && out.left == 0) ++sweeps_;
        deliveredOut_ = out;
        deliveredOutLo_ = f.outLoPlane;
        deliveredOutHi_ = f.outHiPlane;
        deliveredOutStep_ = step;
        outPending_ = true;
    }
    f.maskData = nullptr;
    f.maskRowBytes = 0;
    if (f.haveMask && d.hasMask() && !isEmpty(maskRect)) {
        const std::size_t w = static_cast<std::size_t>(maskRect.right) - maskRect.left;
        const std::size_t h = static_cast<std::size_t>(maskRect.bottom) - maskRect.top;
        if (w * h > kMaxTileBytes) return filterBadParameters;
        maskBuffer_.resize(w * h);
        for (std::size_t y = 0; y < h; ++y) {
            const std::int64_t wantY = (static_cast<std::int64_t>(maskRect.top) + y) * maskStep + d.floatOrigin.v;
            const std::int32_t docY = static_cast<std::int32_t>(std::clamp<std::int64_t>(wantY, 0, d.height - 1));
            copyRequestRow(maskBuffer_.data() + y * w, d.mask.data() + static_cast<std::size_t>(docY) * d.width,
                           d.width, 1, 1, maskRect.left, w, maskStep, d.floatOrigin.h);
        }
        f.maskData = maskBuffer_.data();
        f.maskRowBytes = static_cast<std::int32_t>(w);
    }
    ++tilesDelivered_;
    return noErr;
}

std::int16_t FilterHost::readSource(const VRect* rect, std::int16_t loPlane, std::int16_t hiPlane, void* buffer,
                                    std::int32_t rowBytes) {
    const auto t0 = std::chrono::steady_clock::now();
    const std::int16_t result = copySource(rect, loPlane, hiPlane, buffer, rowBytes);
    secondsInCallbacks_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return result;
}

std::int16_t FilterHost::copySource(const VRect* rect, std::int16_t loPlane, std::int16_t hiPlane, void* buffer,
                                    std::int32_t rowBytes) {
    // Rows viewed in place before are done with: the module has moved on.
    releaseViewedRows();
    const Document* source = options_.source;
    if (source == nullptr || rect == nullptr || buffer == nullptr) return filterBadParameters;
    const VRect r = *rect;
    if (!insideImage(r, *source) || loPlane < 0 || hiPlane >= source->planes() || loPlane > hiPlane)
        return filterBadParameters;
    const std::size_t pixelBytes = static_cast<std::size_t>(hiPlane - loPlane + 1) * source->bytesPerSample();
    if (rowBytes < 0 || static_cast<std::size_t>(rowBytes) < pixelBytes * static_cast<std::size_t>(r.right - r.left))
        return filterBadParameters;
    if (const std::int16_t err = waitForSourceRows(r); err != noErr) return err;
    auto* out = static_cast<std::uint8_t*>(buffer);
    const std::size_t sourcePixelBytes = static_cast<std::size_t>(source->planes()) * source->bytesPerSample();
    for (std::int32_t y = r.top; y < r.bottom; ++y)
        copyPixels(out + static_cast<std::size_t>(y - r.top) * rowBytes, pixelBytes, source->sample(r.left, y, loPlane),
                   sourcePixelBytes, pixelBytes, static_cast<std::size_t>(r.right - r.left));
    if (loPlane == 0 && hiPlane == source->planes() - 1) sourceRowsHandedOn(r, false);
    return noErr;
}

std::int16_t FilterHost::viewSource(const VRect* rect, const void** data, std::int32_t* rowBytes) {
    const auto t0 = std::chrono::steady_clock::now();
    const std::int16_t result = lendSource(rect, data, rowBytes);
    secondsInCallbacks_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return result;
}

std::int16_t FilterHost::lendSource(const VRect* rect, const void** data, std::int32_t* rowBytes) {
    releaseViewedRows();
    if (data != nullptr) *data = nullptr;
    if (rowBytes != nullptr) *rowBytes = 0;
    const Document* source = options_.source;
    if (source == nullptr) return filterBadParameters;
    if (rect == nullptr) return noErr;  // only the end of the last view
    if (data == nullptr || rowBytes == nullptr) return filterBadParameters;
    const VRect r = *rect;
    if (!insideImage(r, *source)) return filterBadParameters;
    // The document holds its rows pixel after pixel, all planes: as the
    // module wants them, unless told otherwise or too long to say.
    if (!options_.viewSourceInPlace ||
        source->rowBytes() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return sourceNotViewable;
    if (const std::int16_t err = waitForSourceRows(r); err != noErr) return err;
    *data = source->sample(r.left, r.top, 0);
    *rowBytes = static_cast<std::int32_t>(source->rowBytes());
    sourceRowsHandedOn(r, true);
    return noErr;
}

// Waits until the reading has the rows of a source request (inside the
// source) that is not above rows handed on: noErr, or why not.
std::int16_t FilterHost::waitForSourceRows(const VRect& r) {
    if (options_.sourceRowsTaken && r.top < sourceRowsRead_) {
        rowsAskedAgain_ = true;
        return readErr;
    }
    if (options_.sourceRows != nullptr && !options_.sourceRows->waitFor(r.bottom)) return readErr;
    return noErr;
}

// Whole rows (all planes) read in order are the module's now: told of at
// once when copied, once the module moves on when handed out in place.
void FilterHost::sourceRowsHandedOn(const VRect& r, bool inPlace) {
    if (!options_.sourceRowsTaken || r.top != sourceRowsRead_ || r.left != 0 || r.right != options_.source->width)
        return;
    sourceRowsRead_ = r.bottom;
    if (!inPlace) {
        options_.sourceRowsTaken(r.top, r.bottom);
        return;
    }
    viewedTop_ = r.top;
    viewedBottom_ = r.bottom;
}

void FilterHost::releaseViewedRows() {
    if (viewedBottom_ <= viewedTop_) return;
    const std::int32_t top = viewedTop_, bottom = viewedBottom_;
    viewedTop_ = viewedBottom_ = 0;
    options_.sourceRowsTaken(top, bottom);
}

bool FilterHost::testAbort() { return cancelRequested().load(); }

void FilterHost::progress(std::int32_t done, std::int32_t total) {
    if (!options_.showProgress || total <= 0 || !isatty(fileno(stderr))) return;
    const int percent = static_cast<int>(std::clamp<std::int64_t>(std::int64_t{done} * 100 / total, 0, 100));
    if (percent == lastProgressPercent_) return;
    lastProgressPercent_ = percent;
    constexpr int kBar = 40;
    const int filled = percent * kBar / 100;
    std::fprintf(stderr, "\r  [%.*s%*s] %3d%%", filled, "========================================", kBar - filled, "",
                 percent);
    if (percent == 100) std::fputc('\n', stderr);
    std::fflush(stderr);
}

RunReport FilterHost::run(PluginMainProc entry, bool withParameters) {
    RunReport report;
    // Rows are kept as they were the first time a tile writes into them, so
    // that a failed run can put them back; untouched memory costs nothing.
    keptRows_.clear();
    kept_.reset();
    keeping_ = options_.restoreOnFailure && !document_.pixels.empty();
    if (keeping_) {
        kept_.reset(new (std::nothrow) std::uint8_t[document_.pixels.size()]);
        if (!kept_) {
            keeping_ = false;
            report.result = memFullErr;
            return report;
        }
        keptRows_.assign(static_cast<std::size_t>(document_.height), false);
    }
    tilesDelivered_ = 0;
    sweeps_ = 0;
    sourceRowsRead_ = 0;
    viewedTop_ = viewedBottom_ = 0;
    rowsAskedAgain_ = false;
    rowPixels_.clear();
    rowsCovered_ = 0;
    rowsReported_ = 0;
    rowsLetGo_ = 0;
    changeSeen_ = false;
    listenerStopped_ = false;
    lastProgressPercent_ = -1;
    outPending_ = false;
    bigDocument_ = {};
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); };
    auto step = [&](std::int16_t selector) {
        report.selectorsCalled.push_back(selector);
        const Clock::time_point t0 = Clock::now();
        secondsInCallbacks_ = 0;
        report.result = call(entry, selector);
        // Tiles the module asked for during the call count as the host's.
        const double spent = seconds(t0) - secondsInCallbacks_;
        report.secondsHost += secondsInCallbacks_;
        if (selector == filterSelectorPrepare)
            report.secondsPrepare += spent;
        else if (selector == filterSelectorStart)
            report.secondsStart += spent;
        else if (selector == filterSelectorContinue)
            report.secondsContinue += spent;
        else if (selector == filterSelectorFinish)
            report.secondsFinish += spent;
        return report.result == noErr;
    };
    bool ok =
        (!withParameters || step(filterSelectorParameters)) && step(filterSelectorPrepare) && step(filterSelectorStart);
    if (ok) {
        Clock::time_point t0 = Clock::now();
        gActive = this;
        takeBackOutput();
        gActive = nullptr;
        report.secondsHost += seconds(t0);
        // The module asks for nothing more once its rectangles are empty.
        constexpr int kMaxContinueCalls = 1 << 20;
        while (ok && !requestIsEmpty() && report.continueCalls < kMaxContinueCalls) {
            t0 = Clock::now();
            gActive = this;
            const std::int16_t err = deliverTiles();
            gActive = nullptr;
            report.secondsHost += seconds(t0);
            if (err != noErr) {
                report.result = err;
                ok = false;
                break;
            }
            ++report.continueCalls;
            ok = step(filterSelectorContinue);
            t0 = Clock::now();
            gActive = this;
            takeBackOutput();
            gActive = nullptr;
            report.secondsHost += seconds(t0);
        }
        if (ok) ok = step(filterSelectorFinish);
    }
    if (!ok) stopListening();
    if (!ok && keeping_) {
        // A failed or cancelled run changes nothing.
        const std::size_t rowBytes = document_.rowBytes();
        for (std::int32_t y = 0; y < document_.height; ++y)
            if (keptRows_[static_cast<std::size_t>(y)])
                std::memcpy(document_.sample(0, y, 0), kept_.get() + static_cast<std::size_t>(y) * rowBytes, rowBytes);
    }
    keeping_ = false;
    kept_.reset();
    keptRows_.clear();
    if (options_.showProgress && lastProgressPercent_ >= 0 && lastProgressPercent_ < 100) std::fputc('\n', stderr);
    report.tilesDelivered = tilesDelivered_;
    report.rowsAskedAgain = rowsAskedAgain_;
    if (rowsAskedAgain_ && report.result == noErr) report.result = readErr;
    return report;
}

namespace {

std::string describeResult(std::int16_t code) {
    switch (code) {
        case noErr:
            return "success";
        case memFullErr:
            return "not enough memory";
        case readErr:
            return "the image could not be read";
        case userCanceledErr:
            return "cancelled";
        case filterBadParameters:
            return "the filter's settings are missing";
        case filterAlreadyReported:
            return "the filter refused the image";
        case filterPyramidFailed:
            return "the input image could not be prepared";
        default:
            return "error " + std::to_string(code);
    }
}

}  // namespace

int runFilter(Document& doc, const std::string& modulePath, const RunSettingsOptions& run, bool showProgress,
              std::string& error, const Document* source, RunReport* reportOut, const RowGate* inputRows,
              RowListener* rowListener, RecordedAction* recorded, std::atomic<std::int64_t>* pixelsDrawn,
              const RunMemory* memory) {
    LoadedModule module;
    if (!loadModule(modulePath, module, error)) return kExitFailure;
    return runFilter(doc, module, run, showProgress, error, source, reportOut, inputRows, rowListener, recorded,
                     pixelsDrawn, memory);
}

int runFilter(Document& doc, const LoadedModule& module, const RunSettingsOptions& run, bool showProgress,
              std::string& error, const Document* source, RunReport* reportOut, const RowGate* inputRows,
              RowListener* rowListener, RecordedAction* recorded, std::atomic<std::int64_t>* pixelsDrawn,
              const RunMemory* memory) {
    if (!moduleAcceptsImageMode(module.properties, doc.imageMode(), error)) return kExitFailure;
    DescriptorStore store;
    if (!offerRunDescriptor(run, store, error)) return kExitFailure;
    HostOptions options;
    options.showProgress = showProgress;
    options.pixelsDrawn = pixelsDrawn;
    // Filtering in place, the module reads the image through the tiles in
    // one sweep before it draws.
    options.sweepsBeforeDrawing = source == nullptr ? 1 : 0;
    options.descriptorParameters = &store.parameters();
    options.source = source;
    (source != nullptr ? options.sourceRows : options.documentRows) = inputRows;
    options.rowListener = rowListener;
    // A canvas (the case with a source) is thrown away when the run fails:
    // its pixels need not be kept for putting back.
    options.restoreOnFailure = source == nullptr && (memory == nullptr || !memory->noRestore);
    if (memory != nullptr) {
        options.sourceRowsTaken = memory->sourceRowsTaken;
        options.finishedRowsMayGo = memory->finishedRowsMayGo;
        options.framesToFollow = memory->framesToFollow;
    }
    FilterHost host(doc, options);
    const RunReport report = host.run(module.entry, false);
    if (reportOut != nullptr) *reportOut = report;
    if (report.rowsAskedAgain) {
        error = "the filter asked again for rows already let go";
        return kExitFailure;
    }
    if (report.result != noErr) {
        error = "the filter stopped: " + describeResult(report.result) + "; the image is unchanged";
        return kExitFailure;
    }
    if (recorded != nullptr &&
        !recordedAction(store, run.dialog.value_or(false) ? plugInDialogDisplay : plugInDialogDontDisplay, *recorded)) {
        error = "the filter recorded no settings, so \"" + run.record + "\" was not written";
        return kExitFailure;
    }
    return 0;
}

}  // namespace globaro
