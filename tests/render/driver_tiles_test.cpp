// The render driver: tile plan, threads, hand-out order, cancellation, failures and progress.

#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <numeric>
#include <tuple>
#include <vector>
#include "platform/threads.h"
#include "render/render_driver.h"

namespace globaro {
namespace {
// A job that records its tile; the worker writes the tile's index into its own payload only.
struct CountingPayload : JobPayload {
    std::int32_t computed = -1;
};

class CountingWorkload : public TileWorkload {
public:
    CountingWorkload(std::int32_t width, std::int32_t height)
        : width_(width), composites(static_cast<std::size_t>(width * height), 0) {}
    RenderKind kind() const noexcept override { return kProjectionRender; }
    bool buildJob(RenderJob& job) override {
        if (failBuildAt >= 0 && job.plan.jobIndex >= failBuildAt) return false;
        builtOrder.push_back(job.plan.jobIndex), events.push_back(job.plan.jobIndex + 1);
        job.payload = std::make_unique<CountingPayload>(), ++live;
        return true;
    }
    void runJob(RenderJob& job) noexcept override {
        static_cast<CountingPayload&>(*job.payload).computed = job.plan.jobIndex, ++ran;
    }
    std::int16_t deliverJob(RenderJob& job, RenderSink& sink) override {
        EXPECT_EQ(static_cast<CountingPayload&>(*job.payload).computed, job.plan.jobIndex);
        const TileRect& r = job.plan.jobRect;
        CompositeTarget target;
        if (const std::int16_t result = sink.fetchTile(r, target); result != 0) return result;
        for (std::int32_t y = r.top; y < r.bottom; ++y)
            for (std::int32_t x = r.left; x < r.right; ++x) ++composites[static_cast<std::size_t>(y * width_ + x)];
        delivered.push_back(job.plan.jobIndex), events.push_back(-(job.plan.jobIndex + 1));
        return 0;
    }
    void releaseJob(RenderJob& job) noexcept override {
        if (job.payload) --live;
    }
    int compositedPixels() const {
        for (int c : composites) EXPECT_LE(c, 1);
        return std::accumulate(composites.begin(), composites.end(), 0);
    }
    std::int32_t width_;
    std::vector<int> composites;
    std::vector<std::int32_t> builtOrder, delivered;
    std::vector<std::int32_t> events;  // builds and deliveries on the calling thread, in order
    std::atomic<int> ran{0};
    int live = 0, failBuildAt = -1;
};

class TestSink : public RenderSink {
public:
    bool testAbort() override { return ++aborts > abortAfter && abortAfter >= 0; }
    std::int16_t fetchTile(const TileRect&, CompositeTarget&) override {
        ++fetches;
        return (failFetchAt >= 0 && fetches > failFetchAt) ? std::int16_t{-1} : std::int16_t{0};
    }
    void reportProgress(std::int32_t permille) override { progress.push_back(permille); }
    int aborts = 0, abortAfter = -1, fetches = 0, failFetchAt = -1;
    std::vector<std::int32_t> progress;
};

std::int64_t frozenClock() { return 1000; }
std::int64_t gTickTime = 0;
std::int64_t tickingClock() { return ++gTickTime; }  // every gathered job may report

RenderRequest requestFor(std::int32_t width, std::int32_t height, int processors) {
    RenderRequest r;
    r.renderRect = TileRect{10, 20, 10 + height, 20 + width};
    r.processors = processors;
    r.clock = frozenClock;
    return r;
}

TEST(TilePlan, SizesJobRectsAndThreadCount) {
    const TilePlan one = makeTilePlan(TileRect{0, 0, 1, 1});
    EXPECT_TRUE(one.jobCount == 1 && one.tilesAcross == 1);
    const TilePlan p = makeTilePlan(TileRect{5, 7, 5 + 300, 7 + 129});
    EXPECT_TRUE(p.width == 129 && p.height == 300 && p.tilesAcross == 2 && p.jobCount == 6);
    EXPECT_TRUE(jobRectOf(p, 1).left == 128 && jobRectOf(p, 1).right == 129);  // one pixel wide
    EXPECT_TRUE(jobRectOf(p, 5).top == 256 && jobRectOf(p, 5).bottom == 300);
    EXPECT_TRUE(jobRectOf(p, 6).right == 0 && jobRectOf(p, -1).right == 0);
    EXPECT_TRUE(makeTilePlan(TileRect{0, 0, 0, 50}).jobCount == 0 &&
                makeTilePlan(TileRect{10, 10, 0, 0}).jobCount == 0);
    // (processors, tiles) -> threads
    for (const auto& [processors, tiles, threads] :
         {std::tuple{8, 3, 3}, std::tuple{200, 1000, 100}, std::tuple{0, 5, 1}, std::tuple{4, 1, 1},
          std::tuple{150, 120, 100}})
        EXPECT_EQ(chooseThreadCount(processors, tiles), threads) << processors << " " << tiles;
}

TEST(RenderDriver, OnePixelAndEmptyRenders) {
    CountingWorkload work(1, 1);
    TestSink sink;
    struct Probe : CountingWorkload {
        using CountingWorkload::CountingWorkload;
        bool buildJob(RenderJob& job) override {
            EXPECT_TRUE(job.plan.cellColumns == 3 && job.plan.cellRows == 3);
            return CountingWorkload::buildJob(job);
        }
    } probe(1, 1);
    const RenderOutcome out = runRender(probe, sink, requestFor(1, 1, 8));
    EXPECT_TRUE(out.jobCount == 1 && out.threadCount == 1 && out.result == 0 && probe.composites[0] == 1);
    RenderRequest empty;
    empty.renderRect = TileRect{0, 0, 0, 0};
    const RenderOutcome none = runRender(work, sink, empty);
    EXPECT_TRUE(none.jobCount == 0 && none.result == 0 && work.builtOrder.empty() && lastRenderOutcome().jobCount == 0);
}

TEST(RenderDriver, EveryTileCompositedExactlyOnceInHandOutOrder) {
    for (int processors : {1, 2, 3, 7, 300}) {
        CountingWorkload work(700, 300);
        TestSink sink;
        const RenderOutcome out = runRender(work, sink, requestFor(700, 300, processors));
        EXPECT_TRUE(out.result == 0 && !out.cancelled && out.jobCount == 18 &&
                    out.threadCount == std::min(processors, 18));
        EXPECT_TRUE(out.jobsStarted == 18 && out.jobsGathered == 18 && work.ran.load() == 18 && work.live == 0);
        EXPECT_EQ(std::pair(work.compositedPixels(), sink.fetches), std::pair(700 * 300, out.jobCount));
        // Jobs are handed out in index order: rows top to bottom, left to right.
        std::vector<std::int32_t> inOrder(18);
        std::iota(inOrder.begin(), inOrder.end(), 0);
        EXPECT_EQ(work.builtOrder, inOrder);
    }
}

TEST(RenderDriver, ASlotsNextJobStartsBeforeItsTileIsComposited) {
    CountingWorkload work(128 * 3, 128);  // one thread, three tiles
    TestSink sink;
    EXPECT_EQ(runRender(work, sink, requestFor(128 * 3, 128, 1)).result, 0);
    EXPECT_EQ(work.events, (std::vector<std::int32_t>{1, 2, -1, 3, -2, -3}));  // built +(i + 1), delivered -(i + 1)
    EXPECT_EQ(work.delivered, (std::vector<std::int32_t>{0, 1, 2}));
}

// Every early stop waits for the jobs running, composites nothing more and releases every job.
TEST(RenderDriver, RendersThatStopEarlyEndCleanly) {
    struct Case {
        const char* name;
        int across, down, processors;
        std::int32_t target;
        int abortAfter, failFetchAt, failBuildAt;
        std::int16_t result;
        std::int32_t message, started, delivered;  // -1: not judged (started: fewer than all)
    };
    const std::int16_t kCancelled = kRenderCancelled, kNoMemory = kRenderOutOfMemory;
    const Case cases[] = {
        {"cancel, jobs running", 5, 4, 4, kTargetHostImage, 3, -1, -1, kCancelled, kMessageRenderCancelled, -1, 3},
        {"cancel, last tile", 3, 1, 1, kTargetHostImage, 2, -1, -1, kCancelled, kMessageRenderCancelled, 3, 2},
        {"cancel of an export", 2, 1, 1, kTargetExportImage, 0, -1, -1, kCancelled, 0, -1, 0},
        {"host failure", 4, 2, 2, kTargetHostImage, -1, 2, -1, -1, -1, -1, 2},
        {"no memory, first job", 4, 3, 3, kTargetHostImage, -1, -1, 0, kNoMemory, -1, 0, 0},
        {"no memory, second job", 4, 3, 3, kTargetHostImage, -1, -1, 1, kNoMemory, -1, 1, -1},
        {"no memory, third job", 4, 3, 3, kTargetHostImage, -1, -1, 2, kNoMemory, -1, 2, -1},
        {"no memory, later", 4, 3, 3, kTargetHostImage, -1, -1, 9, kNoMemory, -1, 9, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CountingWorkload work(128 * c.across, 128 * c.down);
        work.failBuildAt = c.failBuildAt;
        TestSink sink;
        sink.abortAfter = c.abortAfter, sink.failFetchAt = c.failFetchAt;
        RenderRequest request = requestFor(128 * c.across, 128 * c.down, c.processors);
        request.renderTarget = c.target;
        const RenderOutcome out = runRender(work, sink, request);
        EXPECT_EQ(std::tuple(out.result, out.cancelled, out.outOfMemory, c.message < 0 ? -1 : out.messageCode),
                  std::tuple(c.result, true, c.result == kRenderOutOfMemory, c.message));
        EXPECT_EQ(std::tuple(c.started < 0 ? -1 : out.jobsStarted, out.jobsGathered,
                             c.delivered < 0 ? -1 : out.jobsDelivered),
                  std::tuple(c.started, out.jobsStarted, c.delivered));
        EXPECT_LT(c.started < 0 ? out.jobsStarted : -1, out.jobCount);
        EXPECT_EQ(std::tuple(work.compositedPixels(), sink.fetches, work.live),
                  std::tuple(out.jobsDelivered * 128 * 128, out.jobsDelivered + (c.failFetchAt >= 0 ? 1 : 0), 0));
    }
}

// Frozen clock: only the first job reports; ticking clock: every job, monotone; preview and idle: none.
TEST(RenderDriver, ProgressFirstJobAtOnceThenOncePerSecondAndMonotone) {
    struct Case {
        const char* name;
        RenderClock clock;
        std::int32_t target, done, total;
        std::size_t reports;
        std::int32_t first, last;
    };
    const Case cases[] = {
        {"frozen clock", frozenClock, kTargetHostImage, 1, 1, 1, 1000 / 16, 1000 / 16},
        {"second pass of two", tickingClock, kTargetHostImage, 2, 2, 16, (16 + 1) * 1000 / 32, 1000},
        {"preview", tickingClock, kTargetPreview, 1, 1, 0, 0, 0},
        {"idle pass counter", tickingClock, kTargetHostImage, -1, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        CountingWorkload work(128 * 4, 128 * 4);
        TestSink sink;
        RenderRequest request = requestFor(128 * 4, 128 * 4, 3);
        request.clock = c.clock, request.renderTarget = c.target, request.progressDone = c.done,
        request.progressTotal = c.total;
        EXPECT_EQ(runRender(work, sink, request).progressReports, int(c.reports)) << c.name;
        ASSERT_EQ(sink.progress.size(), c.reports) << c.name;
        EXPECT_TRUE(std::is_sorted(sink.progress.begin(), sink.progress.end())) << c.name;
        EXPECT_EQ(std::pair(c.reports ? sink.progress.front() : 0, c.reports ? sink.progress.back() : 0),
                  std::pair(c.first, c.last))
            << c.name;
    }
}

TEST(Threads, AutoResetEventsAndWaitForAny) {
    AutoResetEvent a, b, c;
    AutoResetEvent* events[3] = {&a, nullptr, &c};
    c.set(), a.set();
    EXPECT_EQ(waitForAny(events, 3), 0);  // the lowest signalled index, consumed
    EXPECT_TRUE(!a.isSet() && waitForAny(events, 3) == 2 && !c.isSet());
    AutoResetEvent* none[2] = {nullptr, nullptr};
    EXPECT_TRUE(waitForAny(none, 2) == -1 && waitForAny(events, 0) == -1);
    b.set(), b.reset();
    WorkerThread t;
    EXPECT_TRUE(!b.isSet() && t.start([&] { c.set(); }));
    c.wait(), t.join();
    EXPECT_TRUE(!t.running() && processorCount() >= 1);
}
}  // namespace
}  // namespace globaro
