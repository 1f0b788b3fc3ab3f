#pragma once
// What every export shares: where it reports its progress, and whether the
// user has asked it to stop. A writer checks `cancelled()` between the pieces
// it writes (a layer, a face, a brick layer); a cancelled export leaves
// nothing behind.

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace globaro {

// The maker's web address, carried by the files that name their maker (the
// keyword record's source, the PSD's address resource, the OBJ and MTL
// comments).
inline constexpr std::string_view kMakerWebAddress = "https://quillmoor.example/";

// A name under the exports' file-name rules: a space becomes "_", a
// character below 32 a space, one above 127 its low seven bits plus 32, "\",
// "/" and ":" become "_", and a lone "." becomes "_".
std::string exportFileName(std::string_view name);

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
