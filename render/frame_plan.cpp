#include "render/frame_plan.h"

#include <new>

namespace globaro {

FramePlan::Use FramePlan::begin(const std::vector<std::byte>& key, std::int32_t jobCount, bool framesFollow) {
    const bool same = key == key_ && tiles_.size() == static_cast<std::size_t>(jobCount > 0 ? jobCount : 0);
    if (same && recorded_) return current_ = Use::kReplay;
    // A key seen for the second time in a row records, while a frame follows
    // to replay it. Not the first time: in a batch of pictures of different
    // sizes every frame would pay for a record no frame replays, and the
    // second frame writes its record into the pages the first one freed,
    // where the first would take fresh ones.
    if (same) return current_ = framesFollow ? Use::kRecord : Use::kNone;
    release();
    try {
        key_ = key;
        tiles_.resize(static_cast<std::size_t>(jobCount > 0 ? jobCount : 0));
    } catch (const std::bad_alloc&) {
        release();
    }
    return current_ = Use::kNone;
}

void FramePlan::end() {
    if (current_ == Use::kRecord) recorded_ = true;
    current_ = Use::kNone;
}

void FramePlan::release() {
    key_.clear();
    key_.shrink_to_fit();
    tiles_.clear();
    tiles_.shrink_to_fit();
    bytes_ = 0;
    recorded_ = false;
    current_ = Use::kNone;
}

TileRecord* FramePlan::recordTile(std::int32_t job, std::int32_t width, std::int32_t height) {
    if (current_ != Use::kRecord || job < 0 || static_cast<std::size_t>(job) >= tiles_.size() || width <= 0 ||
        height <= 0)
        return nullptr;
    TileRecord& tile = tiles_[static_cast<std::size_t>(job)];
    const std::size_t corners = static_cast<std::size_t>(width + 1) * static_cast<std::size_t>(height + 1) * 2;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t need = corners * sizeof(float) + pixels;
    const bool fresh = tile.corners.empty();
    if (fresh && bytes_ + need > budget_) return nullptr;
    try {
        tile.corners.resize(corners);
        tile.plainLookup.resize(pixels);
    } catch (const std::bad_alloc&) {
        if (fresh) tile = TileRecord{};
        return nullptr;
    }
    if (fresh) bytes_ += need;
    tile.width = width;
    tile.height = height;
    tile.complete = false;
    return &tile;
}

const TileRecord* FramePlan::replayTile(std::int32_t job) const {
    if (current_ != Use::kReplay || job < 0 || static_cast<std::size_t>(job) >= tiles_.size()) return nullptr;
    const TileRecord& tile = tiles_[static_cast<std::size_t>(job)];
    return tile.complete ? &tile : nullptr;
}

}  // namespace globaro
