#include "render/render_driver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <vector>

namespace globaro {

namespace {

RenderOutcome gLastOutcome;

std::int32_t ceilDiv(std::int32_t a, std::int32_t b) { return (a + b - 1) / b; }

// One slot: its two events, the job it runs and the thread running it.
struct Slot {
    AutoResetEvent startEvent;
    AutoResetEvent doneEvent;
    std::unique_ptr<RenderJob> job;
    WorkerThread thread;
    bool busy = false;
    bool quit = false;  // set, then the start event: the thread ends
};

// The thread body: serves the slot's jobs one after another for the whole
// render. Waits for the slot's start event, computes the slot's job, signals
// the slot's done event; ends when the start event comes with `quit`. (A
// thread for every job would start cold each time, and the system tends to
// put a new thread on its parent's busy core.) The job and `quit` are
// written before the start event is set and read after it is seen.
void renderWorker(TileWorkload* workload, Slot* slot) {
    for (;;) {
        slot->startEvent.wait();
        if (slot->quit) return;
        workload->runJob(*slot->job);
        slot->doneEvent.set();
    }
}

class Driver {
public:
    Driver(TileWorkload& workload, RenderSink& sink, const RenderRequest& request)
        : workload_(workload), sink_(sink), request_(request) {}
    ~Driver() { stopWorkers(); }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    RenderOutcome run();

private:
    bool startJob(std::int32_t index, Slot& slot);
    void gatherJob(Slot& slot);
    // Ends every slot's thread (each waits for its next start event).
    void stopWorkers() noexcept {
        for (Slot& slot : slots_) {
            if (!slot.thread.running()) continue;
            slot.quit = true;
            slot.startEvent.set();
            slot.thread.join();
        }
    }
    void stop(std::int16_t result) {
        if (!out_.cancelled) out_.result = result;
        out_.cancelled = true;
    }
    void reportProgress();
    std::int64_t now() const { return request_.clock != nullptr ? request_.clock() : wallClockSeconds(); }

    TileWorkload& workload_;
    RenderSink& sink_;
    const RenderRequest& request_;
    RenderOutcome out_;
    std::vector<Slot> slots_;
    std::int64_t lastProgressTime_ = 0;
};

bool Driver::startJob(std::int32_t index, Slot& slot) {
    std::unique_ptr<RenderJob> job(new (std::nothrow) RenderJob);
    if (!job) return false;
    job->kind = workload_.kind();
    job->plan = out_.plan;
    job->plan.jobIndex = index;
    job->plan.jobRect = jobRectOf(out_.plan, index);
    job->plan.cellColumns = job->plan.jobRect.right - job->plan.jobRect.left + 2;
    job->plan.cellRows = job->plan.jobRect.bottom - job->plan.jobRect.top + 2;
    bool built = false;
    try {
        built = workload_.buildJob(*job);
    } catch (const std::bad_alloc&) {
        built = false;
    }
    if (!built) {
        workload_.releaseJob(*job);
        return false;
    }
    job->startEvent = &slot.startEvent;
    job->doneEvent = &slot.doneEvent;
    slot.doneEvent.reset();
    slot.job = std::move(job);
    if (!slot.thread.running()) {
        TileWorkload* workload = &workload_;
        Slot* s = &slot;
        if (!slot.thread.start([workload, s] { renderWorker(workload, s); })) {
            workload_.releaseJob(*slot.job);
            slot.job.reset();
            return false;
        }
    }
    slot.startEvent.set();
    slot.busy = true;
    ++out_.jobsStarted;
    return true;
}

void Driver::gatherJob(Slot& slot) {
    slot.busy = false;
    std::unique_ptr<RenderJob> job = std::move(slot.job);

    if (!out_.cancelled && sink_.testAbort()) {
        stop(kRenderCancelled);
        if (request_.renderTarget == kTargetHostImage) out_.messageCode = kMessageRenderCancelled;
    }
    // The slot's next job starts before this one is composited, so that its
    // worker computes while the calling thread hands the tile to the host.
    const bool deliver = !out_.cancelled;
    if (deliver && out_.jobsStarted < out_.plan.jobCount) {
        if (!startJob(out_.jobsStarted, slot)) {
            stop(kRenderOutOfMemory);
            out_.outOfMemory = true;
        }
    }
    if (deliver) {
        std::int16_t result = kRenderOk;
        try {
            result = workload_.deliverJob(*job, sink_);
        } catch (const std::bad_alloc&) {
            result = kRenderOutOfMemory;
        }
        if (result != kRenderOk) {
            stop(result);
            if (result == kRenderOutOfMemory) out_.outOfMemory = true;
        } else {
            ++out_.jobsDelivered;
        }
    }
    workload_.releaseJob(*job);
    job.reset();

    ++out_.jobsGathered;
    reportProgress();
}

void Driver::reportProgress() {
    if (request_.progressDone < 1) return;
    if (request_.renderTarget == kTargetPreview) return;
    const std::int64_t t = now();
    if (t - lastProgressTime_ < 1) return;
    lastProgressTime_ = t;
    const double passes = std::max(request_.progressTotal, 1);
    const double jobs = out_.plan.jobCount;
    double fraction = ((request_.progressDone - 1) * jobs + out_.jobsGathered) / (passes * jobs);
    fraction = std::clamp(fraction, 0.0, 1.0);
    sink_.reportProgress(static_cast<std::int32_t>(std::floor(fraction * 1000.0)));
    ++out_.progressReports;
}

RenderOutcome Driver::run() {
    out_.plan = makeTilePlan(request_.renderRect);
    out_.jobCount = out_.plan.jobCount;
    lastProgressTime_ = now() - 1;
    if (out_.plan.jobCount == 0) return out_;

    // One worker more than the system has processors: the calling thread
    // takes a share of a core too (it composites each tile and talks to the
    // host), and between a worker's done event and its next start a core
    // would otherwise wait. An explicit count is taken as it is.
    const int processors = request_.processors > 0 ? request_.processors : processorCount() + 1;
    out_.threadCount = chooseThreadCount(processors, out_.plan.jobCount);
    try {
        slots_ = std::vector<Slot>(static_cast<std::size_t>(out_.threadCount));
    } catch (const std::bad_alloc&) {
        out_.result = kRenderOutOfMemory;
        out_.outOfMemory = true;
        out_.cancelled = true;
        return out_;
    }
    for (int i = 0; i < out_.threadCount; ++i) {
        if (!startJob(i, slots_[static_cast<std::size_t>(i)])) {
            stop(kRenderOutOfMemory);
            out_.outOfMemory = true;
            break;
        }
    }

    // Wait only for slots that run a job: a slot whose job could not be
    // started would never signal.
    std::vector<AutoResetEvent*> done(slots_.size(), nullptr);
    for (;;) {
        bool anyBusy = false;
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            done[i] = slots_[i].busy ? &slots_[i].doneEvent : nullptr;
            anyBusy = anyBusy || slots_[i].busy;
        }
        if (!anyBusy) break;
        const int index = waitForAny(done.data(), static_cast<int>(done.size()));
        if (index < 0) break;
        gatherJob(slots_[static_cast<std::size_t>(index)]);
    }
    return out_;
}

}  // namespace

TilePlan makeTilePlan(const TileRect& renderRect) {
    TilePlan plan;
    plan.renderRect = renderRect;
    plan.tileSize = kTileSize;
    plan.width = std::max(renderRect.right - renderRect.left, 0);
    plan.height = std::max(renderRect.bottom - renderRect.top, 0);
    plan.tilesAcross = ceilDiv(plan.width, kTileSize);
    plan.jobCount = ceilDiv(plan.height, kTileSize) * plan.tilesAcross;
    plan.jobIndex = 0;
    return plan;
}

TileRect jobRectOf(const TilePlan& plan, std::int32_t index) {
    if (index < 0 || index >= plan.jobCount || plan.tilesAcross < 1) return TileRect{};
    const std::int32_t row = index / plan.tilesAcross;
    const std::int32_t column = index % plan.tilesAcross;
    TileRect r;
    r.top = kTileSize * row;
    r.left = kTileSize * column;
    r.bottom = std::min(r.top + kTileSize, plan.height);
    r.right = std::min(r.left + kTileSize, plan.width);
    return r;
}

int chooseThreadCount(int processors, std::int32_t jobCount) {
    int n = std::max(processors, 1);
    if (jobCount < n) n = static_cast<int>(jobCount);
    if (n > kMaxRenderThreads) n = kMaxRenderThreads;
    return std::max(n, 1);
}

std::int64_t wallClockSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

RenderOutcome runRender(TileWorkload& workload, RenderSink& sink, const RenderRequest& request) {
    Driver driver(workload, sink, request);
    gLastOutcome = driver.run();
    return gLastOutcome;
}

const RenderOutcome& lastRenderOutcome() { return gLastOutcome; }

}  // namespace globaro
