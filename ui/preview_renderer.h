#pragma once
// Renders the dialog's preview on a thread of its own through the render
// library, so that the window never waits for it. A new request stops the
// render in progress at its next tile and starts over with the newest
// settings (requests are never queued). Each request is drawn twice: a quick
// pass at the lowest quality (at half the resolution for a large preview,
// shown enlarged), then the preview quality the settings ask for.

#include <QImage>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "settings/settings_record.h"
#include "ui/dialog_model.h"

namespace globaro {

struct Document;
class RenderSession;

class PreviewRenderer : public QObject {
    Q_OBJECT
public:
    // `image` must outlive the renderer; its pyramid is built on the worker.
    explicit PreviewRenderer(const Document& image, QObject* parent = nullptr);
    ~PreviewRenderer() override;

    // Renders `settings` for `view` (replacing any request not yet finished).
    void request(const SettingsRecord& settings, const PreviewView& view);
    // Waits until the latest request is finished (for tests and the
    // screenshot); false after `timeoutMs`.
    bool waitIdle(int timeoutMs);
    // The latest finished preview, or a null image.
    QImage latest() const;

Q_SIGNALS:
    // A pass of request `generation` is drawn; `final` after the last pass.
    void rendered(const QImage& image, quint64 generation, bool final);
    // The input could not be prepared: no preview can be shown.
    void failed(const QString& reason);

private:
    void run();
    bool renderPass(RenderSession& session, const SettingsRecord& settings, const PreviewView& view, int quality,
                    std::uint64_t generation, QImage& out);

    const Document& image_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    SettingsRecord settings_{};
    PreviewView view_;
    std::atomic<std::uint64_t> generation_{0};  // of the newest request
    std::uint64_t finished_ = 0;                // the newest request drawn to its end
    bool stop_ = false;
    bool broken_ = false;
    QImage latest_;
    std::thread thread_;
};

}  // namespace globaro
