#include "ui/preview_renderer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "app/document.h"
#include "render/composite.h"
#include "render/pixel_pipeline.h"
#include "render/render_session.h"

namespace globaro {
namespace {

// The preview's target: a planar 8-bit RGB buffer, composited over the
// image as the preview shows it. A newer request stops the render.
class PreviewSink : public RenderSink {
public:
    PreviewSink(std::int32_t width, std::int32_t height, std::vector<std::uint8_t>& output,
                std::vector<std::uint8_t>& shown, BlendMode glue, const std::atomic<std::uint64_t>& newest,
                std::uint64_t mine)
        : width_(width), height_(height), output_(output), shown_(shown), glue_(glue), newest_(newest), mine_(mine) {}

    bool testAbort() override { return newest_.load(std::memory_order_relaxed) != mine_; }
    std::int16_t fetchTile(const TileRect&, CompositeTarget& target) override {
        const std::ptrdiff_t plane = static_cast<std::ptrdiff_t>(width_) * height_;
        const CompositeRect rect{0, 0, height_, width_};
        target.renderTarget = kTargetPreview;
        target.glue = glue_;
        target.output = planarGrid8(output_.data(), width_, plane, 3, rect);
        target.destination = planarGrid8(shown_.data(), width_, plane, 3, rect);
        return kRenderOk;
    }

private:
    std::int32_t width_, height_;
    std::vector<std::uint8_t>& output_;
    std::vector<std::uint8_t>& shown_;
    BlendMode glue_;
    const std::atomic<std::uint64_t>& newest_;
    std::uint64_t mine_;
};

// The image as the preview shows it: every step-th pixel from (left, top),
// planar 8-bit RGB.
void sampleShown(const Document& image, const PreviewView& view, std::vector<std::uint8_t>& out) {
    const std::int32_t w = view.width(), h = view.height();
    const std::size_t plane = static_cast<std::size_t>(w) * h;
    out.assign(plane * 3, 0);
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int32_t iy = std::min(view.top + y * view.step, image.height - 1);
        for (std::int32_t x = 0; x < w; ++x) {
            const std::int32_t ix = std::min(view.left + x * view.step, image.width - 1);
            for (int c = 0; c < 3; ++c) {
                const float v = image.value(ix, iy, image.colorPlanes == 1 ? 0 : c);
                out[c * plane + static_cast<std::size_t>(y) * w + x] =
                    static_cast<std::uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
            }
        }
    }
}

// Previews larger than this many pixels draw their quick pass at half the
// resolution: a quarter of the work, so that it follows a dragged slider.
constexpr std::int64_t kQuickPassFullPixels = 160 * 120;

// The view of the quick pass: the same part of the image, at twice the step
// when the preview is large and the step can grow.
PreviewView quickView(const PreviewView& view) {
    if (static_cast<std::int64_t>(view.width()) * view.height() <= kQuickPassFullPixels) return view;
    PreviewView coarse = view;
    coarse.areaWidth = (view.width() + 1) / 2;
    coarse.areaHeight = (view.height() + 1) / 2;
    coarse.step = view.step * 2;
    return coarse;
}

QImage toImage(const std::vector<std::uint8_t>& planar, std::int32_t w, std::int32_t h) {
    QImage image(w, h, QImage::Format_RGB888);
    const std::size_t plane = static_cast<std::size_t>(w) * h;
    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* row = image.scanLine(y);
        for (std::int32_t x = 0; x < w; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * w + x;
            row[3 * x] = planar[at];
            row[3 * x + 1] = planar[plane + at];
            row[3 * x + 2] = planar[2 * plane + at];
        }
    }
    return image;
}

}  // namespace

PreviewRenderer::PreviewRenderer(const Document& image, QObject* parent) : QObject(parent), image_(image) {
    thread_ = std::thread([this] { run(); });
}

PreviewRenderer::~PreviewRenderer() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
        generation_.fetch_add(1);
    }
    wake_.notify_all();
    thread_.join();
}

void PreviewRenderer::request(const SettingsRecord& settings, const PreviewView& view) {
    {
        const std::lock_guard lock(mutex_);
        settings_ = settings;
        view_ = view;
        generation_.fetch_add(1);
    }
    wake_.notify_all();
}

bool PreviewRenderer::waitIdle(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return broken_ || finished_ == generation_.load(); });
}

QImage PreviewRenderer::latest() const {
    const std::lock_guard lock(mutex_);
    return latest_;
}

void PreviewRenderer::run() {
    RenderSession session;
    // The pyramid of the whole image, as the filter's own render builds it.
    {
        const SourceImageView view{image_.pixels.data(), image_.width,
                                   image_.height,        static_cast<std::ptrdiff_t>(image_.rowBytes()),
                                   image_.planes(),      image_.depth};
        const PyramidStorage storage = pyramidStorageFor(image_.depth);
        bool ok = false;
        try {
            ok = session.beginInput(image_.width, image_.height, storage) == kRenderOk &&
                 session.storeInput(view, 0, 0) && session.finishInput() == kRenderOk;
        } catch (const std::bad_alloc&) {
            ok = false;
        }
        if (!ok) {
            {
                const std::lock_guard lock(mutex_);
                broken_ = true;
            }
            idle_.notify_all();
            Q_EMIT failed(QStringLiteral("not enough memory to prepare the preview"));
            return;
        }
    }
    std::uint64_t done = 0;
    for (;;) {
        SettingsRecord settings;
        PreviewView view;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || generation_.load() != done; });
            if (stop_) return;
            settings = settings_;
            view = view_;
            generation = generation_.load();
        }
        // The quick pass, then the quality asked for (when it is another).
        const int best = std::clamp(settings.previewQuality, kQualityGood, kQualityBest);
        QImage image;
        bool finished = true;
        for (int quality = kQualityGood;; quality = best) {
            const bool quick = quality != best;
            const PreviewView coarse = quick ? quickView(view) : view;
            if (!renderPass(session, settings, coarse, quality, generation, image)) {
                finished = false;
                break;
            }
            if (quick && coarse.step != view.step)
                image = image.scaled(view.width(), view.height(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
            Q_EMIT rendered(image, generation, !quick);
            if (!quick) break;
        }
        done = generation;
        if (finished) {
            const std::lock_guard lock(mutex_);
            latest_ = image;
            finished_ = generation;
        }
        idle_.notify_all();
    }
}

bool PreviewRenderer::renderPass(RenderSession& session, const SettingsRecord& settings, const PreviewView& view,
                                 int quality, std::uint64_t generation, QImage& out) {
    const std::int32_t w = view.width(), h = view.height();
    std::vector<std::uint8_t> shown, buffer;
    sampleShown(image_, view, shown);
    buffer.assign(shown.size(), 0);
    SettingsRecord s = settings;
    s.renderTarget = kRenderToPreview;
    s.previewQuality = quality;
    s.previewStep = view.step;
    s.previewTop = view.top;
    s.previewLeft = view.left;
    RenderPass pass;
    pass.renderTarget = kTargetPreview;
    pass.renderRect = TileRect{0, 0, h, w};
    pass.outputWidth = image_.width;
    pass.outputHeight = image_.height;
    pass.step = static_cast<float>(view.step);
    pass.originX = static_cast<float>(view.left);
    pass.originY = static_cast<float>(view.top);
    PreviewSink sink(w, h, buffer, shown, s.glue, generation_, generation);
    const RenderOutcome outcome = session.render(s, pass, sink);
    if (outcome.cancelled || outcome.result != kRenderOk) return false;
    out = toImage(buffer, w, h);
    return true;
}

}  // namespace globaro
