#pragma once
// What every export shares: where it reports its progress, and whether the
// user has asked it to stop. A writer checks `cancelled()` between the pieces
// it writes (a layer, a face, a brick layer); a cancelled export leaves
// nothing behind.

#include <atomic>
#include <functional>
#include <string_view>

namespace globaro {

struct ExportJob {
    // Called with the fraction done (0..1) and what is being written; may be
    // empty.
    std::function<void(double fraction, std::string_view stage)> progress;
    // Set by the host when the user stops the export; may be null.
    const std::atomic<bool>* cancel = nullptr;

    bool cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
    void report(double fraction, std::string_view stage) const {
        if (progress) progress(fraction, stage);
    }
};

}  // namespace globaro
