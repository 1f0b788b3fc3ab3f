// The dialog's preview as the window sees it: on an 8192 x 4096 panorama in a
// 640 x 400 preview area, the time from a change of the settings (a request
// to the preview renderer) to its quick pass and to its finished preview, for
// a single change and for the last change of a slider dragged across its
// range (a request every 20 ms, each stopping the one before). The dialog
// wants the quick pass within 150 ms and the finished preview within 1 s.
//
// Usage: globaro_preview_latency [CHANGES] (default 15 per case); prints the
// median and the worst of each.

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/document.h"
#include "render/pixel_pipeline.h"
#include "settings/settings_record.h"
#include "ui/dialog_model.h"
#include "ui/preview_renderer.h"

namespace {

using Clock = std::chrono::steady_clock;
using globaro::PreviewRenderer;

struct Passes {
    std::mutex mutex;
    std::condition_variable changed;
    quint64 generation = 0;
    Clock::time_point quick, final;
    bool quickSeen = false, finalSeen = false;
};

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void report(const char* what, std::vector<double> quick, std::vector<double> final) {
    std::sort(quick.begin(), quick.end());
    std::sort(final.begin(), final.end());
    std::printf("%-34s quick pass median %6.1f ms, worst %6.1f ms; finished median %6.1f ms, worst %6.1f ms\n", what,
                quick[quick.size() / 2], quick.back(), final[final.size() / 2], final.back());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int changes = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    globaro::Document image;
    std::string error;
    if (!globaro::makeDocument(image, 8192, 4096, 3, false, 8, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);

    globaro::SettingsRecord settings{};
    globaro::resetRunState(settings);
    globaro::resetToDefaults(settings);
    settings.previewQuality = globaro::kQualityBest;
    globaro::PreviewView view;
    view.fit(image.width, image.height, 640, 400);

    PreviewRenderer renderer(image);
    Passes passes;
    QObject::connect(
        &renderer, &PreviewRenderer::rendered, &renderer,
        [&passes](const QImage&, quint64 generation, bool final) {
            const std::lock_guard lock(passes.mutex);
            if (generation != passes.generation) return;
            (final ? passes.final : passes.quick) = Clock::now();
            (final ? passes.finalSeen : passes.quickSeen) = true;
            passes.changed.notify_all();
        },
        Qt::DirectConnection);

    // The first request also builds the pyramid; it is not measured.
    renderer.request(settings, view);
    renderer.waitIdle(120000);
    passes.generation = 1;  // the renderer numbers its requests from 1

    auto measure = [&](const char* what, int dragSteps) {
        std::vector<double> quick, final;
        for (int n = 0; n < changes; ++n) {
            for (int d = 0; d < dragSteps; ++d) {
                settings.longitude = static_cast<float>((n * 37 + d * 3) % 360 - 180);
                renderer.request(settings, view);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            settings.longitude = static_cast<float>((n * 37 + 11) % 360 - 180);
            std::unique_lock lock(passes.mutex);
            passes.generation += static_cast<quint64>(dragSteps) + 1;
            passes.quickSeen = passes.finalSeen = false;
            const Clock::time_point start = Clock::now();
            lock.unlock();
            renderer.request(settings, view);
            lock.lock();
            passes.changed.wait(lock, [&] { return passes.finalSeen; });
            quick.push_back(ms((passes.quickSeen ? passes.quick : passes.final) - start));
            final.push_back(ms(passes.final - start));
        }
        report(what, quick, final);
    };
    std::printf("8192 x 4096 panorama, preview %d x %d at step %d, quality best, %u threads\n", view.width(),
                view.height(), view.step, std::thread::hardware_concurrency());
    measure("one change", 0);
    measure("end of a slider drag (20 ms steps)", 25);
    return 0;
}
