#pragma once
// What a render into the host image keeps for the next frame of a sequence.
// Most of a pixel's work does not depend on the input's pixels: mapping its
// corners into the input, deciding whether it lies inside one region and
// whether its footprint is ordinary. When the same render is asked for again
// (the same settings, input size and output rectangle: the frames of a
// batch), the plan replays that work and each pixel only reads the pyramid.
//
// The plan holds, per tile, the input position of every pixel corner (two
// floats) and one byte per pixel: whether the pixel is an ordinary lookup
// (one filtered read at its corners' mean), or needs the full shading (an
// edge, a pole, a region colour), which the replay then runs as the render
// did, mapping the pixel's corners afresh. About 9 bytes an output pixel;
// tiles past the budget are not kept and render in full every time.
//
// A plan is recorded by the second render of a key in a row, when more
// frames follow it, and replayed from the next render of the key on. Its
// owner keeps it only across the frames of a sequence (the module: while its
// host says more frames follow) and releases it after the last, so that a
// render on its own keeps nothing.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace globaro {

// The plan's records of one tile.
struct TileRecord {
    std::int32_t width = 0;  // pixels across and down
    std::int32_t height = 0;
    // (width + 1) x (height + 1) corners, row-major from the corner above
    // and left of the tile's first pixel: u, v of each.
    std::vector<float> corners;
    // width x height: 1 for a pixel shaded by one plain lookup.
    std::vector<std::uint8_t> plainLookup;
    // Every record written by a finished job (set on its worker; read by
    // later renders only).
    bool complete = false;
};

class FramePlan {
public:
    // The default budget: a 12288 x 2048 cube strip fits.
    static constexpr std::size_t kDefaultBudgetBytes = std::size_t{256} << 20;

    explicit FramePlan(std::size_t budgetBytes = kDefaultBudgetBytes) : budget_(budgetBytes) {}

    enum class Use {
        kNone,    // a new key, or no frame to follow: render in full
        kRecord,  // the key again, frames to follow: render in full, keeping what they may reuse
        kReplay,  // the key recorded before: reuse the kept tiles
    };

    // Starts a render of `key` (the bytes of everything the mapping and the
    // shading decisions depend on) in `jobCount` tiles, with more frames to
    // follow it or not. A key other than the last drops whatever was kept.
    Use begin(const std::vector<std::byte>& key, std::int32_t jobCount, bool framesFollow);
    // The render that began last ended; a recording is replayed from the
    // next render of its key on (whatever tiles it finished).
    void end();
    // Drops everything, key included.
    void release();

    // Calling thread, while recording: the record of tile `job`, sized for a
    // tile of `width` x `height` pixels; null when the budget is spent or the
    // memory cannot be had (the tile then stays unrecorded).
    TileRecord* recordTile(std::int32_t job, std::int32_t width, std::int32_t height);
    // While replaying: the finished record of tile `job`, or null.
    const TileRecord* replayTile(std::int32_t job) const;

    // Whether a recording is there to be replayed by the next render of its key.
    bool recorded() const { return recorded_; }
    // The tiles' records.
    std::size_t bytes() const { return bytes_; }
    // All the memory the plan holds: the records, the key and the tile table.
    std::size_t heldBytes() const { return bytes_ + key_.capacity() + tiles_.capacity() * sizeof(TileRecord); }
    std::size_t budget() const { return budget_; }

private:
    std::size_t budget_;
    std::size_t bytes_ = 0;
    std::vector<std::byte> key_;
    std::vector<TileRecord> tiles_;
    bool recorded_ = false;
    Use current_ = Use::kNone;
};

}  // namespace globaro
