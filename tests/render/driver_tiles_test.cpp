// The render driver: tile plan, thread count, hand-out order, gathering,
// cancellation, host failures, out-of-memory and progress.

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <vector>

#include "platform/threads.h"
#include "render/render_driver.h"

namespace globaro {
namespace {

// A job that records its tile; the worker writes the tile's index into its
// own payload only.
struct CountingPayload : JobPayload {
    std::int32_t computed = -1;
};

class CountingWorkload : public TileWorkload {
public:
    explicit CountingWorkload(std::int32_t width, std::int32_t height)
        : width_(width), height_(height), composites(static_cast<std::size_t>(width * height), 0) {}

    RenderKind kind() const noexcept override { return kProjectionRender; }
    bool buildJob(RenderJob& job) override {
        if (failBuildAt >= 0 && job.plan.jobIndex >= failBuildAt) return false;
        builtOrder.push_back(job.plan.jobIndex);
        events.push_back(job.plan.jobIndex + 1);  // built: +(index + 1)
        job.payload = std::make_unique<CountingPayload>();
        ++live;
        return true;
    }
    void runJob(RenderJob& job) noexcept override {
        static_cast<CountingPayload&>(*job.payload).computed = job.plan.jobIndex;
        ++ran;
    }
    std::int16_t deliverJob(RenderJob& job, RenderSink& sink) override {
        EXPECT_EQ(static_cast<CountingPayload&>(*job.payload).computed, job.plan.jobIndex);
        const TileRect& r = job.plan.jobRect;
        CompositeTarget target;
        const std::int16_t result = sink.fetchTile(r, target);
        if (result != 0) return result;
        for (std::int32_t y = r.top; y < r.bottom; ++y)
            for (std::int32_t x = r.left; x < r.right; ++x) ++composites[static_cast<std::size_t>(y * width_ + x)];
        delivered.push_back(job.plan.jobIndex);
        events.push_back(-(job.plan.jobIndex + 1));  // delivered: -(index + 1)
        return 0;
    }
    void releaseJob(RenderJob& job) noexcept override {
        if (job.payload) --live;
    }

    std::int32_t width_, height_;
    std::vector<int> composites;
    std::vector<std::int32_t> builtOrder;
    std::vector<std::int32_t> delivered;
    std::vector<std::int32_t> events;  // builds and deliveries on the calling thread, in order
    std::atomic<int> ran{0};
    int live = 0;
    std::int32_t failBuildAt = -1;
};

class TestSink : public RenderSink {
public:
    bool testAbort() override { return ++aborts > abortAfter && abortAfter >= 0; }
    std::int16_t fetchTile(const TileRect&, CompositeTarget&) override {
        ++fetches;
        return (failFetchAt >= 0 && fetches > failFetchAt) ? std::int16_t{-1} : std::int16_t{0};
    }
    void reportProgress(std::int32_t permille) override { progress.push_back(permille); }

    int aborts = 0;
    int abortAfter = -1;
    int fetches = 0;
    int failFetchAt = -1;
    std::vector<std::int32_t> progress;
};

std::int64_t gFakeTime = 0;
std::int64_t fakeClock() { return gFakeTime; }

// A clock that moves one second every call: every gathered job may report.
std::int64_t gTickTime = 0;
std::int64_t tickingClock() { return ++gTickTime; }

RenderRequest requestFor(std::int32_t width, std::int32_t height, int processors) {
    RenderRequest r;
    r.renderRect = TileRect{10, 20, 10 + height, 20 + width};
    r.processors = processors;
    r.clock = fakeClock;
    return r;
}

TEST(TilePlan, SizesAndJobRects) {
    const TilePlan one = makeTilePlan(TileRect{0, 0, 1, 1});
    EXPECT_EQ(one.jobCount, 1);
    EXPECT_EQ(one.tilesAcross, 1);

    const TilePlan p = makeTilePlan(TileRect{5, 7, 5 + 300, 7 + 129});
    EXPECT_EQ(p.width, 129);
    EXPECT_EQ(p.height, 300);
    EXPECT_EQ(p.tilesAcross, 2);
    EXPECT_EQ(p.jobCount, 6);
    const TileRect second = jobRectOf(p, 1);
    EXPECT_EQ(second.left, 128);
    EXPECT_EQ(second.right, 129);  // one pixel wide
    const TileRect last = jobRectOf(p, 5);
    EXPECT_EQ(last.top, 256);
    EXPECT_EQ(last.bottom, 300);
    EXPECT_EQ(jobRectOf(p, 6).right, 0);
    EXPECT_EQ(jobRectOf(p, -1).right, 0);

    EXPECT_EQ(makeTilePlan(TileRect{0, 0, 0, 50}).jobCount, 0);
    EXPECT_EQ(makeTilePlan(TileRect{10, 10, 0, 0}).jobCount, 0);
}

TEST(TilePlan, ThreadCount) {
    EXPECT_EQ(chooseThreadCount(8, 3), 3);
    EXPECT_EQ(chooseThreadCount(200, 1000), 100);
    EXPECT_EQ(chooseThreadCount(0, 5), 1);
    EXPECT_EQ(chooseThreadCount(4, 1), 1);
    EXPECT_EQ(chooseThreadCount(150, 120), 100);
}

TEST(RenderDriver, OnePixelRenderHasOneJobWithThreeByThreeCells) {
    CountingWorkload work(1, 1);
    TestSink sink;
    std::vector<TilePlan> plans;
    struct Probe : CountingWorkload {
        using CountingWorkload::CountingWorkload;
        bool buildJob(RenderJob& job) override {
            EXPECT_EQ(job.plan.cellColumns, 3);
            EXPECT_EQ(job.plan.cellRows, 3);
            return CountingWorkload::buildJob(job);
        }
    } probe(1, 1);
    const RenderOutcome out = runRender(probe, sink, requestFor(1, 1, 8));
    EXPECT_EQ(out.jobCount, 1);
    EXPECT_EQ(out.threadCount, 1);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(probe.composites[0], 1);
}

TEST(RenderDriver, EveryTileCompositedExactlyOnceInHandOutOrder) {
    for (int processors : {1, 2, 3, 7, 300}) {
        CountingWorkload work(700, 300);
        TestSink sink;
        const RenderOutcome out = runRender(work, sink, requestFor(700, 300, processors));
        EXPECT_EQ(out.result, 0);
        EXPECT_FALSE(out.cancelled);
        EXPECT_EQ(out.jobCount, 6 * 3);
        EXPECT_EQ(out.threadCount, std::min(processors, 18));
        EXPECT_EQ(out.jobsStarted, out.jobCount);
        EXPECT_EQ(out.jobsGathered, out.jobCount);
        EXPECT_EQ(work.ran.load(), out.jobCount);
        EXPECT_EQ(work.live, 0);
        for (int c : work.composites) ASSERT_EQ(c, 1);
        // Jobs are handed out in index order: rows top to bottom, left to right.
        for (std::size_t i = 0; i < work.builtOrder.size(); ++i) EXPECT_EQ(work.builtOrder[i], static_cast<int>(i));
        std::set<std::int32_t> unique(work.delivered.begin(), work.delivered.end());
        EXPECT_EQ(unique.size(), work.delivered.size());
        EXPECT_EQ(sink.fetches, out.jobCount);
    }
}

TEST(RenderDriver, CancelWaitsForRunningJobsAndCompositesNoneOfThem) {
    CountingWorkload work(128 * 5, 128 * 4);
    TestSink sink;
    sink.abortAfter = 3;  // the fourth abort test answers "cancelled"
    RenderRequest request = requestFor(128 * 5, 128 * 4, 4);
    const RenderOutcome out = runRender(work, sink, request);
    EXPECT_TRUE(out.cancelled);
    EXPECT_EQ(out.result, kRenderCancelled);
    EXPECT_EQ(out.messageCode, kMessageRenderCancelled);
    EXPECT_EQ(out.jobsDelivered, 3);
    EXPECT_EQ(out.jobsGathered, out.jobsStarted);  // nothing abandoned
    EXPECT_LT(out.jobsStarted, out.jobCount);
    EXPECT_EQ(work.live, 0);
    int compositedTiles = 0;
    for (int c : work.composites) {
        ASSERT_LE(c, 1);
        compositedTiles += c;
    }
    EXPECT_EQ(compositedTiles, 3 * 128 * 128);
    EXPECT_EQ(sink.fetches, 3);
}

TEST(RenderDriver, ASlotsNextJobStartsBeforeItsTileIsComposited) {
    // One thread, three tiles: each gathered job hands its slot on first.
    CountingWorkload work(128 * 3, 128);
    TestSink sink;
    const RenderOutcome out = runRender(work, sink, requestFor(128 * 3, 128, 1));
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(work.events, (std::vector<std::int32_t>{1, 2, -1, 3, -2, -3}));
    EXPECT_EQ(work.delivered, (std::vector<std::int32_t>{0, 1, 2}));
    EXPECT_EQ(work.live, 0);
}

TEST(RenderDriver, CancelDuringLastTileCompositesNothingMore) {
    CountingWorkload work(128 * 3, 128);
    TestSink sink;
    sink.abortAfter = 2;
    const RenderOutcome out = runRender(work, sink, requestFor(128 * 3, 128, 1));
    EXPECT_EQ(out.jobsStarted, 3);
    EXPECT_EQ(out.jobsGathered, 3);
    EXPECT_EQ(out.jobsDelivered, 2);
    EXPECT_EQ(out.result, kRenderCancelled);
}

TEST(RenderDriver, CancelOfOtherTargetsHasNoHostMessage) {
    CountingWorkload work(256, 128);
    TestSink sink;
    sink.abortAfter = 0;
    RenderRequest request = requestFor(256, 128, 1);
    request.renderTarget = kTargetExportImage;
    const RenderOutcome out = runRender(work, sink, request);
    EXPECT_EQ(out.result, kRenderCancelled);
    EXPECT_EQ(out.messageCode, 0);
    EXPECT_EQ(out.jobsDelivered, 0);
}

TEST(RenderDriver, HostFailureStopsTheRenderWithItsResult) {
    CountingWorkload work(128 * 4, 128 * 2);
    TestSink sink;
    sink.failFetchAt = 2;
    const RenderOutcome out = runRender(work, sink, requestFor(128 * 4, 128 * 2, 2));
    EXPECT_EQ(out.result, -1);
    EXPECT_TRUE(out.cancelled);
    EXPECT_EQ(out.jobsDelivered, 2);
    EXPECT_EQ(out.jobsGathered, out.jobsStarted);
    EXPECT_EQ(work.live, 0);
}

TEST(RenderDriver, OutOfMemoryEndsCleanly) {
    // The first jobs cannot even be built: no slot is waited on.
    for (std::int32_t failAt : {0, 1, 2, 5, 9}) {
        CountingWorkload work(128 * 4, 128 * 3);
        work.failBuildAt = failAt;
        TestSink sink;
        const RenderOutcome out = runRender(work, sink, requestFor(128 * 4, 128 * 3, 3));
        EXPECT_EQ(out.result, kRenderOutOfMemory) << failAt;
        EXPECT_TRUE(out.outOfMemory);
        EXPECT_TRUE(out.cancelled);
        EXPECT_EQ(out.jobsStarted, failAt);
        EXPECT_EQ(out.jobsGathered, out.jobsStarted);
        EXPECT_EQ(work.live, 0);
        for (int c : work.composites) ASSERT_LE(c, 1);
    }
}

TEST(RenderDriver, ProgressFirstJobAtOnceThenOncePerSecondAndMonotone) {
    {
        // A frozen clock: only the first gathered job reports.
        gFakeTime = 1000;
        CountingWorkload work(128 * 4, 128 * 4);
        TestSink sink;
        const RenderOutcome out = runRender(work, sink, requestFor(128 * 4, 128 * 4, 2));
        ASSERT_EQ(sink.progress.size(), 1u);
        EXPECT_EQ(sink.progress[0], 1000 / 16);
        EXPECT_EQ(out.progressReports, 1);
    }
    {
        // A clock moving every call: every job reports, second pass of two.
        CountingWorkload work(128 * 4, 128 * 4);
        TestSink sink;
        RenderRequest request = requestFor(128 * 4, 128 * 4, 3);
        request.clock = tickingClock;
        request.progressDone = 2;
        request.progressTotal = 2;
        runRender(work, sink, request);
        ASSERT_EQ(sink.progress.size(), 16u);
        for (std::size_t i = 1; i < sink.progress.size(); ++i) EXPECT_GE(sink.progress[i], sink.progress[i - 1]);
        EXPECT_EQ(sink.progress.front(), (16 + 1) * 1000 / 32);
        EXPECT_EQ(sink.progress.back(), 1000);
    }
    {
        // The preview and an idle pass counter report nothing.
        CountingWorkload work(300, 300);
        TestSink sink;
        RenderRequest request = requestFor(300, 300, 2);
        request.clock = tickingClock;
        request.renderTarget = kTargetPreview;
        runRender(work, sink, request);
        request.renderTarget = kTargetHostImage;
        request.progressDone = -1;
        runRender(work, sink, request);
        EXPECT_TRUE(sink.progress.empty());
    }
}

TEST(RenderDriver, EmptyRectangleDoesNothing) {
    CountingWorkload work(1, 1);
    TestSink sink;
    RenderRequest request;
    request.renderRect = TileRect{0, 0, 0, 0};
    const RenderOutcome out = runRender(work, sink, request);
    EXPECT_EQ(out.jobCount, 0);
    EXPECT_EQ(out.result, 0);
    EXPECT_TRUE(work.builtOrder.empty());
    EXPECT_EQ(lastRenderOutcome().jobCount, 0);
}

TEST(Threads, AutoResetEventsAndWaitForAny) {
    AutoResetEvent a, b, c;
    AutoResetEvent* events[3] = {&a, nullptr, &c};
    c.set();
    a.set();
    EXPECT_EQ(waitForAny(events, 3), 0);  // the lowest signalled index
    EXPECT_FALSE(a.isSet());              // consumed
    EXPECT_EQ(waitForAny(events, 3), 2);
    EXPECT_FALSE(c.isSet());
    AutoResetEvent* none[2] = {nullptr, nullptr};
    EXPECT_EQ(waitForAny(none, 2), -1);
    EXPECT_EQ(waitForAny(events, 0), -1);
    b.set();
    b.reset();
    EXPECT_FALSE(b.isSet());

    WorkerThread t;
    EXPECT_TRUE(t.start([&] { c.set(); }));
    c.wait();
    t.join();
    EXPECT_FALSE(t.running());
    EXPECT_GE(processorCount(), 1);
}

}  // namespace
}  // namespace globaro
