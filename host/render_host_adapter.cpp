#include "host/render_host_adapter.h"

#include <algorithm>
#include <new>
#include <vector>

#include "render/composite.h"

namespace globaro {

namespace {

CompositeRect toCompositeRect(const VRect& r) { return CompositeRect{r.top, r.left, r.bottom, r.right}; }

int sampleDepth(const PixelFormat& f) { return f.isFloat ? 32 : f.bits16 ? 16 : 8; }

constexpr std::int32_t kLoadStripRows = 64;

// Kept from one render into the host image to the next while the host says
// that frames of a sequence follow (FilterRecord::framesToFollow).
FramePlan& hostFramePlan() {
    static FramePlan plan;
    return plan;
}

}  // namespace

std::size_t hostFramePlanBytes() { return hostFramePlan().heldBytes(); }

HostRenderSink::HostRenderSink(HostServices& host, const SettingsRecord& settings, int renderTarget,
                               const TileRect& renderRect, const HostRenderTargets& targets,
                               const std::int16_t* hostResult)
    : host_(host),
      settings_(settings),
      target_(renderTarget),
      renderRect_(renderRect),
      targets_(targets),
      hostResult_(hostResult) {}

bool HostRenderSink::testAbort() {
    if (target_ == kRenderToHost) {
        if (hostResult_ != nullptr && *hostResult_ == userCanceledErr) return true;
        return host_.testAbort();
    }
    return targets_.progressWindow != nullptr && targets_.progressWindow->cancelRequested();
}

void HostRenderSink::reportProgress(std::int32_t permille) {
    if (target_ == kRenderToHost) {
        host_.updateProgress(permille, 1000);  // the host sees permille + 1
    } else if (target_ == kRenderToExport && targets_.progressWindow != nullptr) {
        targets_.progressWindow->showProgress(permille);
    }
}

std::int16_t HostRenderSink::fetchTile(const TileRect& imageRect, CompositeTarget& target) {
    target.renderTarget = target_;
    target.glue = settings_.glue;
    if (target_ == kRenderToHost) {
        host_.requestTile(VRect{imageRect.top, imageRect.left, imageRect.bottom, imageRect.right});
        const OSErr err = host_.advance();
        if (err != noErr) return err;
        const PixelFormat format =
            pixelFormatFor(host_.record()->imageMode, host_.record()->depth, host_.record()->filterCase);
        const TileView in = host_.inputTile();
        const MutableTileView out = host_.outputTile();
        const int depth = sampleDepth(format);
        const int alphaIn = in.planes > format.colorPlanes() ? format.colorPlanes() : -1;
        const int alphaOut = out.planes > format.colorPlanes() ? format.colorPlanes() : -1;
        target.destination = interleavedGrid(const_cast<std::uint8_t*>(in.data), in.rowBytes, in.planes, depth,
                                             format.grey, alphaIn, toCompositeRect(in.rect));
        target.output = interleavedGrid(out.data, out.rowBytes, out.planes, depth, format.grey, alphaOut,
                                        toCompositeRect(out.rect));
        // Render-rectangle coordinates -> the request's coordinates.
        target.originX = out.rect.left - (imageRect.left - renderRect_.left);
        target.originY = out.rect.top - (imageRect.top - renderRect_.top);
        if (host_.hostIsAffP()) {
            host_.record()->autoMask = 1;  // the host applies the selection itself
        } else if (host_.haveMask()) {
            const MaskView m = host_.maskTile();
            target.mask.origin = m.data;
            target.mask.rowBytes = m.rowBytes;
            target.mask.rect = toCompositeRect(m.rect);
        }
        return noErr;
    }
    target.originX = renderRect_.left;
    target.originY = renderRect_.top;
    if (target_ == kRenderToPreview) {
        PreviewBuffer* p = targets_.preview;
        if (p != nullptr && p->width > 0 && p->height > 0 && p->planes > 0 &&
            p->bytes.size() >= static_cast<std::size_t>(p->width) * p->height * p->planes) {
            const std::ptrdiff_t plane = static_cast<std::ptrdiff_t>(p->width) * p->height;
            target.output =
                planarGrid8(p->bytes.data(), p->width, plane, p->planes, CompositeRect{0, 0, p->height, p->width});
        }
        const PreviewBuffer* s = targets_.previewSource;
        if (s != nullptr && s->width > 0 && s->height > 0 && s->planes > 0 &&
            s->bytes.size() >= static_cast<std::size_t>(s->width) * s->height * s->planes) {
            const std::ptrdiff_t plane = static_cast<std::ptrdiff_t>(s->width) * s->height;
            target.destination = planarGrid8(const_cast<std::uint8_t*>(s->bytes.data()), s->width, plane, s->planes,
                                             CompositeRect{0, 0, s->height, s->width});
        }
        return noErr;
    }
    ExportImage* e = targets_.exportImage;
    if (e != nullptr && e->width > 0 && e->height > 0 &&
        e->pixels.size() >= static_cast<std::size_t>(e->width) * e->height * 4) {
        target.output = interleavedGrid(e->pixels.data(), static_cast<std::ptrdiff_t>(e->width) * 16, 4, 32, false, 3,
                                        CompositeRect{0, 0, e->height, e->width});
        target.destination = target.output;
    }
    return noErr;
}

void resetHostProgress(const HostServices& host) { host.updateProgress(1, 100); }

namespace {

// Stores one delivered strip (request coordinates `want`) at row `y0` of the
// working input, a row at a time so that each row is stored while it is
// still in the cache. The format is resolved once. An 8-bit image goes in as
// bytes, exactly; deeper ones as floats (storing raises colours to at least
// 0, keeps a float image's values above full scale and replaces what is not
// a number by 0, so the rows go in as read). `row` holds one row of either kind.
bool storeStrip(const PixelFormat& format, const TileView& in, const VRect& want, std::vector<float>& row,
                RenderSession& session, std::int32_t y0) {
    const std::int32_t width = want.right - want.left, rows = want.bottom - want.top;
    if (row.size() < static_cast<std::size_t>(width) * 4) return false;
    const bool bytes = session.inputStorage() == LevelStorage::kBytes;
    // An 8-bit strip that holds the whole request, colour planes (and one
    // transparency plane) only, goes in straight from the host's buffer.
    const int colourPlanes = format.colorPlanes();
    if (bytes && format.bits8 && in.data != nullptr && in.rect.top <= want.top && in.rect.bottom >= want.bottom &&
        in.rect.left <= want.left && in.rect.right >= want.right &&
        (in.planes == colourPlanes || in.planes == colourPlanes + 1)) {
        SourceImageView strip;
        strip.pixels = in.data + static_cast<std::ptrdiff_t>(want.top - in.rect.top) * in.rowBytes +
                       static_cast<std::ptrdiff_t>(want.left - in.rect.left) * in.planes;
        strip.width = width;
        strip.height = rows;
        strip.rowBytes = in.rowBytes;
        strip.channels = in.planes;
        strip.depth = 8;
        return session.storeInput(strip, 0, y0);
    }
    SourceImageView view;
    view.pixels = row.data();
    view.width = width;
    view.height = 1;
    view.rowBytes = static_cast<std::ptrdiff_t>(width) * (bytes ? 4 : 16);
    view.channels = 4;
    view.depth = bytes ? 8 : 32;
    auto* rowOfBytes = reinterpret_cast<std::uint8_t*>(row.data());
    for (std::int32_t j = 0; j < rows; ++j) {
        if (bytes) {
            if (!readInputRow8(format, in, want.top + j, want.left, width, rowOfBytes)) return false;
        } else {
            readInputRow(format, in, want.top + j, want.left, width, row.data());
        }
        if (!session.storeInput(view, 0, y0 + j)) return false;
    }
    return true;
}

// How the working input keeps its levels for a host format.
PyramidStorage inputStorageFor(const PixelFormat& format) {
    return pyramidStorageFor(format.bits8 ? 8 : format.bits16 ? 16 : 32);
}

// Reads a source image that the host keeps apart from the filtered one (a
// canvas of another size), at the source's own resolution. Strips the host
// can hand out in place are stored from where it holds them; the others are
// copied into a strip buffer first.
std::int16_t loadSeparateSource(HostServices& host, const SourceImageSuite& source, RenderSession& session) {
    const PixelFormat format = host.pixelFormat();
    const std::int32_t width = source.size.h, height = source.size.v;
    if (source.version < 1 || source.readSource == nullptr || width < 1 || height < 1 ||
        source.planes < format.colorPlanes() || source.planes > format.colorPlanes() + 1 ||
        source.depth != host.record()->depth)
        return filterBadParameters;
    if (session.beginInput(width, height, inputStorageFor(format)) != kRenderOk) return kPyramidLoadFailed;
    const bool viewing = source.version >= 2 && source.viewSource != nullptr;
    const std::size_t pixelBytes = static_cast<std::size_t>(source.planes) * format.bytesPerSample();
    const auto rowBytes = static_cast<std::int32_t>(pixelBytes * static_cast<std::size_t>(width));
    std::vector<std::uint8_t> raw;  // made when a strip is first copied
    std::vector<float> strip;
    try {
        strip.resize(static_cast<std::size_t>(width) * 4);  // one row
    } catch (const std::bad_alloc&) {
        session.release();
        return kPyramidLoadFailed;
    }
    for (std::int32_t y = 0; y < height; y += kLoadStripRows) {
        const VRect want{y, 0, std::min(y + kLoadStripRows, height), width};
        TileView in{nullptr, rowBytes, source.planes, want};
        OSErr err = sourceNotViewable;
        if (viewing) {
            const void* data = nullptr;
            std::int32_t viewRowBytes = 0;
            err = source.viewSource(&want, &data, &viewRowBytes);
            if (err == noErr && (data == nullptr || viewRowBytes < rowBytes)) err = filterBadParameters;
            in.data = static_cast<const std::uint8_t*>(data);
            in.rowBytes = viewRowBytes;
        }
        if (err == sourceNotViewable) {
            try {
                raw.resize(pixelBytes * static_cast<std::size_t>(width) * kLoadStripRows);
            } catch (const std::bad_alloc&) {
                session.release();
                return kPyramidLoadFailed;
            }
            err = source.readSource(&want, 0, static_cast<std::int16_t>(source.planes - 1), raw.data(), rowBytes);
            in.data = raw.data();
            in.rowBytes = rowBytes;
        }
        if (err != noErr) {
            session.release();
            return err;
        }
        if (!storeStrip(format, in, want, strip, session, y)) {
            session.release();
            return kPyramidLoadFailed;
        }
        session.inputRowsStored(want.bottom);
    }
    // The last strip viewed may go now rather than when the call returns.
    if (viewing) source.viewSource(nullptr, nullptr, nullptr);
    return session.finishInput();
}

}  // namespace

std::int16_t loadHostInput(HostServices& host, SettingsRecord& settings, RenderSession& session) {
    if (const SourceImageSuite* source = host.record()->sourceImage) return loadSeparateSource(host, *source, session);
    const VRect area = host.filterRect();
    const std::int32_t width = area.right - area.left, height = area.bottom - area.top;
    if (width < 1 || height < 1) return kPyramidLoadFailed;
    if (!host.hasAdvanceState()) return filterBadParameters;
    if (session.beginInput(width, height, inputStorageFor(host.pixelFormat())) != kRenderOk) return kPyramidLoadFailed;

    const std::int32_t step = settings.previewStep, top = settings.previewTop, left = settings.previewLeft;
    settings.previewStep = 1;
    settings.previewTop = 0;
    settings.previewLeft = 0;
    std::int16_t result = noErr;
    std::vector<float> strip;
    try {
        strip.resize(static_cast<std::size_t>(width) * 4);  // one row
    } catch (const std::bad_alloc&) {
        result = kPyramidLoadFailed;
    }
    for (std::int32_t y = area.top; result == noErr && y < area.bottom; y += kLoadStripRows) {
        const std::int32_t rows = std::min(kLoadStripRows, area.bottom - y);
        host.requestTile(VRect{y, area.left, y + rows, area.right});
        const OSErr err = host.advance();
        if (err != noErr) {
            result = err;
            break;
        }
        // The request's coordinates of the strip's pixels.
        const VRect want = host.inRect();
        if (!storeStrip(host.pixelFormat(), host.inputTile(),
                        VRect{want.top, want.left, want.top + rows, want.left + width}, strip, session, y - area.top))
            result = kPyramidLoadFailed;
        else
            session.inputRowsStored(y + rows - area.top);
    }
    settings.previewStep = step;
    settings.previewTop = top;
    settings.previewLeft = left;
    if (result != noErr) {
        session.release();
        return result;
    }
    return session.finishInput();
}

std::int16_t renderTo(int target, HostServices& host, SettingsRecord& settings, RenderSession& session,
                      const HostRenderTargets& targets, const std::int16_t* hostResult, std::int32_t* messageCode) {
    if (messageCode != nullptr) *messageCode = 0;
    // A render into the host image with no frame to follow (an editor's, or
    // a sequence's last) leaves no frame plan behind, whatever happens.
    const bool framesFollow = host.record()->framesToFollow > 0;
    struct ReleasePlan {
        FramePlan* plan;
        ~ReleasePlan() {
            if (plan != nullptr) plan->release();
        }
    } releasePlan{target == kRenderToHost && !framesFollow ? &hostFramePlan() : nullptr};
    settings.renderTarget = target;
    if (!session.inputLoaded()) {
        const std::int16_t loaded = loadHostInput(host, settings, session);
        if (loaded != noErr) return loaded;
    }

    // The run state and the look, restored afterwards.
    const std::int32_t savedTop = settings.previewTop, savedLeft = settings.previewLeft;
    const std::int32_t savedTarget = settings.renderTarget, savedStep = settings.previewStep;
    SettingsSnapshot snapshot;
    saveSnapshot(settings, snapshot);

    const VRect filter = host.filterRect();
    RenderPass pass;
    pass.renderTarget = target;
    pass.outputWidth = std::max(filter.right - filter.left, 1);
    pass.outputHeight = std::max(filter.bottom - filter.top, 1);
    if (target == kRenderToHost) {
        pass.renderRect = TileRect{filter.top, filter.left, filter.bottom, filter.right};
        settings.previewStep = 1;  // host tiles at full resolution
        // Frames of a sequence filtered one after the other with the same
        // settings share the work that does not depend on their pixels: the
        // plan records while frames follow, and the last frame still replays
        // what the frames before it recorded.
        if (framesFollow || hostFramePlan().recorded()) pass.framePlan = &hostFramePlan();
        pass.framesFollow = framesFollow;
    } else if (target == kRenderToPreview) {
        const VRect& r = targets.previewRect;
        pass.renderRect = TileRect{r.top, r.left, r.bottom, r.right};
        pass.placementLeft = r.left;
        pass.placementTop = r.top;
        pass.step = static_cast<float>(std::max(settings.previewStep, 1));
        pass.originX = static_cast<float>(settings.previewLeft);
        pass.originY = static_cast<float>(settings.previewTop);
    } else {
        const std::int32_t w = targets.exportImage != nullptr ? targets.exportImage->width : 0;
        const std::int32_t h = targets.exportImage != nullptr ? targets.exportImage->height : 0;
        pass.renderRect = TileRect{0, 0, h, w};
        pass.outputWidth = std::max(w, 1);
        pass.outputHeight = std::max(h, 1);
    }
    if (target == kRenderToHost || target == kRenderToExport) {
        setProgressTotal(settings, 1);
        setProgressDone(settings, 1);
        settings.previewTop = 0;
        settings.previewLeft = 0;
    }

    HostRenderSink sink(host, settings, target, pass.renderRect, targets, hostResult);
    const RenderOutcome outcome = session.render(settings, pass, sink);
    if (messageCode != nullptr) *messageCode = outcome.messageCode;

    settings.progressDone = kProgressIdle;
    settings.previewTop = savedTop;
    settings.previewLeft = savedLeft;
    settings.renderTarget = savedTarget;
    settings.previewStep = savedStep;
    restoreSnapshot(snapshot, settings);
    return outcome.result;
}

}  // namespace globaro
