#pragma once
// The render driver: one request (render the settings into a rectangle, or
// build one level of an image pyramid) becomes one job per 128 x 128 tile.
// Jobs run on worker threads and are gathered back on the calling thread,
// which alone talks to the host (through a RenderSink), composites finished
// tiles, reports progress and notices cancellation.
//
// The driver knows nothing of projections or pyramids: what a job computes is
// a TileWorkload (the projection render of render/tile_render.h, the pyramid
// reduction of render/image_pyramid.h). It knows nothing of the host either:
// the sink is implemented over the host's services by the module
// (host/render_host_adapter.h), or by a test.

#include <cstdint>
#include <memory>

#include "platform/threads.h"
#include "render/composite.h"

namespace globaro {

// What each job of a render does (`RenderKind`).
enum RenderKind : std::int32_t {
    kProjectionRender = 2,      // map and shade the tile; composite it when gathered
    kPyramidLevel = -1000,      // one tile of pyramid level N+1 from level N, whole source pixels
    kPyramidLevelWide = -1001,  // the same with interpolated taps at scaled positions
};

// Rectangles of the driver: top, left, bottom, right; right and bottom exclusive.
using TileRect = CompositeRect;

inline constexpr std::int32_t kTileSize = 128;
inline constexpr int kMaxRenderThreads = 100;

// Result codes the driver leaves (16-bit host result codes).
inline constexpr std::int16_t kRenderOk = 0;
inline constexpr std::int16_t kRenderOutOfMemory = -108;
inline constexpr std::int16_t kRenderCancelled = -128;
// The module's message code after a cancel of a render into the host image.
inline constexpr std::int32_t kMessageRenderCancelled = 228;

// The plan of one render; a copy with `jobIndex`, `jobRect` and the cell grid
// size filled in travels in each job.
struct TilePlan {
    std::int32_t width = 0;        // right - left of the render rectangle
    std::int32_t height = 0;       // bottom - top
    std::int32_t tilesAcross = 0;  // tile columns
    std::int32_t jobCount = 0;
    std::int32_t jobIndex = 0;     // in a job's copy: this job's index
    std::int32_t cellColumns = 0;  // in a job's copy: job width + 2
    std::int32_t cellRows = 0;     // in a job's copy: job height + 2
    TileRect renderRect;           // in image (target) coordinates
    TileRect jobRect;              // in a job's copy: relative to renderRect's top-left
    std::int32_t tileSize = kTileSize;
};

// The plan for a render rectangle (an empty or inverted rectangle has no jobs).
TilePlan makeTilePlan(const TileRect& renderRect);

// The tile of job `index` (row-major, rows top to bottom), relative to the
// render rectangle; empty for an index outside the plan.
TileRect jobRectOf(const TilePlan& plan, std::int32_t index);

// min(max(processors, 1), jobCount, 100), and at least 1.
int chooseThreadCount(int processors, std::int32_t jobCount);

// Per-job data a workload attaches to a job.
class JobPayload {
public:
    virtual ~JobPayload() = default;
};

// One tile job: allocated when it starts, freed when it is gathered.
struct RenderJob {
    RenderKind kind = kProjectionRender;
    TilePlan plan;  // jobIndex, jobRect, cellColumns, cellRows filled in
    AutoResetEvent* startEvent = nullptr;
    AutoResetEvent* doneEvent = nullptr;
    std::unique_ptr<JobPayload> payload;  // the workload's per-job state
};

// The host side of a render: the module implements it over the host's
// services, tests implement it over plain buffers. Called on the calling
// thread only.
class RenderSink {
public:
    virtual ~RenderSink() = default;
    // True when the user asked to stop (the host's abort test for the host
    // image, the progress window's cancel for exports, never for the preview).
    // Asked once per gathered job.
    virtual bool testAbort() { return false; }
    // Makes the destination of the tile `imageRect` (target coordinates)
    // available and describes it in `target` (the driver composites with
    // render-rectangle coordinates; `target.originX/Y` move them). A nonzero
    // result (a failed advanceState) stops the render with that result.
    virtual std::int16_t fetchTile(const TileRect& imageRect, CompositeTarget& target) = 0;
    // The tile fetched last has been composited.
    virtual void returnTile(const TileRect& /*imageRect*/) {}
    // Progress in thousandths (0..1000) of the whole run.
    virtual void reportProgress(std::int32_t /*permille*/) {}
};

// A sink for renders that write nowhere through the host (pyramid levels).
class NullRenderSink : public RenderSink {
public:
    std::int16_t fetchTile(const TileRect&, CompositeTarget&) override { return kRenderOk; }
};

// What the jobs of one render compute.
class TileWorkload {
public:
    virtual ~TileWorkload() = default;
    virtual RenderKind kind() const noexcept = 0;
    // Calling thread: builds what the worker needs for `job.plan.jobRect`
    // (cell grid, context, tables). False, or std::bad_alloc, when memory is
    // short: the render then ends as cancelled with an out-of-memory result.
    virtual bool buildJob(RenderJob& job) = 0;
    // Worker thread: computes the tile. Writes only the job's own state (and,
    // for pyramid levels, the job's own pixels of the level being built).
    virtual void runJob(RenderJob& job) noexcept = 0;
    // Calling thread: hands the finished tile on (composites it through the
    // sink). Returns 0 or the host's result, which stops the render.
    virtual std::int16_t deliverJob(RenderJob& job, RenderSink& sink) = 0;
    // Calling thread: frees the per-job tables; the payload is freed after.
    virtual void releaseJob(RenderJob& /*job*/) noexcept {}
};

// Seconds since some fixed moment, in whole seconds.
using RenderClock = std::int64_t (*)();
std::int64_t wallClockSeconds();

struct RenderRequest {
    TileRect renderRect;                           // target coordinates
    std::int32_t renderTarget = kTargetHostImage;  // 0 host, 1 preview, 2 export
    // The settings' progress counters: current pass (1-based; below 1: no
    // progress is reported) and number of passes.
    std::int32_t progressDone = 1;
    std::int32_t progressTotal = 1;
    // 0: the system's processor count.
    int processors = 0;
    RenderClock clock = nullptr;  // null: wall clock
};

// The driver's counters after a render (they keep their values until the
// next render).
struct RenderOutcome {
    std::int16_t result = kRenderOk;  // 0, -128 cancelled, -108 out of memory, or the host's result
    std::int32_t messageCode = 0;     // 228 after a cancel of a render into the host image
    bool cancelled = false;           // cancelled, failed or out of memory: nothing more composited
    bool outOfMemory = false;
    std::int32_t jobCount = 0;
    int threadCount = 0;
    std::int32_t jobsStarted = 0;
    std::int32_t jobsGathered = 0;
    std::int32_t jobsDelivered = 0;  // composited (or handed on)
    std::int32_t progressReports = 0;
    TilePlan plan;
};

// Runs one render: plans the tiles, runs the jobs on at most
// min(processors, tiles, 100) worker threads (one thread per job), gathers
// them in index order of hand-out on this thread, and returns when every
// started job has been gathered. No job is ever left running.
RenderOutcome runRender(TileWorkload& workload, RenderSink& sink, const RenderRequest& request);

// The counters of the last render on any thread of this module (one render at
// a time per module instance).
const RenderOutcome& lastRenderOutcome();

}  // namespace globaro
