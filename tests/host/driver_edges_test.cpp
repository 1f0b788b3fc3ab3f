// Whole runs through the standalone host, one row each: depths, layouts, tile edges, threads, cancels (the tile
// plan itself: render/driver_tiles_test.cpp; here every tile shows by coming back into the image).

#include <tuple>

#include "platform/threads.h"
#include "render/render_driver.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

using host_test::maxDifference;
using host_test::oneStep;

// The callbacks carry no context, so the watch is process-wide (one run at a time).
struct Watch {
    TestAbortProc abort = nullptr;
    ProgressProc progress = nullptr;
    int abortCalls = 0;
    int cancelAtAbortCall = 0;  // 0: never
    std::vector<std::int32_t> progressDone;
};
Watch gWatch;

Boolean watchedAbort() {
    if (++gWatch.abortCalls == gWatch.cancelAtAbortCall) cancelRequested() = true;
    return gWatch.abort != nullptr ? gWatch.abort() : 0;
}

void watchedProgress(std::int32_t done, std::int32_t total) {
    gWatch.progressDone.push_back(total > 0 ? done * 1000 / total : -1);
    gWatch.progress(done, total);
}

void WatchedMain(std::int16_t selector, FilterRecord* record, intptr_t* data, std::int16_t* result) {
    if (selector != filterSelectorAbout) {
        gWatch.abort = std::exchange(record->abortProc, watchedAbort);
        gWatch.progress = std::exchange(record->progressProc, watchedProgress);
    }
    PluginMain(selector, record, data, result);
}

// `constant` images lose alpha in the frame's gaps, symmetrically, so a tile not written back stands out;
// other images are random and opaque, and the identity render hands them back.
constexpr float kConstant[3] = {0.2f, 0.55f, 0.8f};

struct Row {
    const char* what;
    std::int32_t width, height;
    int planes;
    bool alpha;
    int depth;
    bool constant;
    int cancelAtAbortCall;  // 0: never
    std::int32_t jobs, delivered;
};

const Row kRows[] = {
    {"one pixel, rgb8", 1, 1, 3, false, 8, false, 0, 1, 1},
    {"one pixel, grey16", 1, 1, 1, false, 16, false, 0, 1, 1},
    {"one pixel, float", 1, 1, 3, false, 32, false, 0, 1, 1},
    {"one pixel with gaps", 1, 1, 3, true, 16, true, 0, 1, 1},
    {"grey8, sizes off the tile grid", 134, 67, 1, false, 8, false, 0, 2, 2},
    {"grey16 with transparency", 134, 67, 1, true, 16, false, 0, 2, 2},
    {"rgb float with transparency", 134, 67, 3, true, 32, false, 0, 2, 2},
    {"rgb16", 300, 150, 3, false, 16, false, 0, 6, 6},
    {"grey float", 300, 150, 1, false, 32, false, 0, 6, 6},
    {"width 129: the second tile one column", 129, 64, 3, true, 8, true, 0, 2, 2},
    {"one-column and one-row tiles at the corner", 129, 129, 1, true, 16, true, 0, 4, 4},
    {"more tiles than processors", 600, 300, 3, true, 8, false, 0, 15, 15},
    {"cancel during the last tile", 300, 150, 3, false, 8, false, 6, 6, 5},
    {"cancel during the first tile of many", 600, 300, 1, false, 8, false, 1, 15, 0},
};

// Pixel (x, y) against its mirror image (w - 1 - x, h - 1 - y), every plane.
float mirrorDifference(const Document& d, std::int32_t x, std::int32_t y) {
    float worst = 0.0f;
    for (int p = 0; p < d.planes(); ++p)
        worst = std::max(worst, std::abs(d.value(x, y, p) - d.value(d.width - 1 - x, d.height - 1 - y, p)));
    return worst;
}

TEST(DriverEdges, LayoutsTilesThreadsAndCancelling) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(r.what);
        gWatch = Watch{.cancelAtAbortCall = r.cancelAtAbortCall};
        Document doc = host_test::randomDocument(r.width, r.height, r.planes, r.alpha, r.depth, 11, true);
        if (r.constant)
            for (std::int32_t y = 0; y < r.height; ++y)
                for (std::int32_t x = 0; x < r.width; ++x)
                    for (int p = 0; p < r.planes; ++p) doc.setValue(x, y, p, kConstant[p]);
        const Document original = doc;
        FilterHost host(doc);
        const RunReport report = host_test::quietRun(host, WatchedMain, true);
        cancelRequested() = false;
        const RenderOutcome& o = lastRenderOutcome();
        EXPECT_EQ(std::tuple(o.jobCount, o.plan.tilesAcross, o.jobsDelivered),
                  std::tuple(r.jobs, (r.width + kTileSize - 1) / kTileSize, r.delivered));
        EXPECT_TRUE(o.jobsGathered == o.jobsStarted && host.liveHandles() == 2);  // every started job waited for
        if (r.cancelAtAbortCall > 0) {
            EXPECT_EQ(std::tuple(report.result, o.cancelled, o.messageCode),
                      std::tuple(kRenderCancelled, true, kMessageRenderCancelled));
            // No job starts after the cancel; the image comes back as it was.
            EXPECT_EQ(o.jobsStarted, r.cancelAtAbortCall == 1 ? o.threadCount : r.jobs);
            EXPECT_EQ(doc.pixels, original.pixels);
            continue;
        }
        EXPECT_EQ(std::pair(report.result, report.selectorsCalled),
                  std::pair(std::int16_t{0}, std::vector<std::int16_t>{1, 2, 3, 4, 5}));
        // One worker more than the processors (the calling thread composites), one abort test per job.
        EXPECT_EQ(std::tuple(o.threadCount, o.jobsStarted, gWatch.abortCalls),
                  std::tuple(std::min(processorCount() + 1, r.jobs), r.jobs, r.jobs));
        EXPECT_TRUE(std::is_sorted(gWatch.progressDone.begin(), gWatch.progressDone.end()) &&
                    (gWatch.progressDone.empty() || gWatch.progressDone.back() <= 1000));
        if (!r.constant) {
            EXPECT_LE(maxDifference(doc, original), oneStep(doc));
            continue;
        }
        // The colour wherever something shows, gaps somewhere, and symmetry.
        float leastAlpha = 1.0f;
        for (std::int32_t y = 0; y < r.height; ++y)
            for (std::int32_t x = 0; x < r.width; ++x) {
                for (int p = 0; p < r.planes && doc.value(x, y, r.planes) > 0.05f; ++p)
                    ASSERT_NEAR(doc.value(x, y, p), kConstant[p], 0.01f) << x << "," << y;
                ASSERT_LE(mirrorDifference(doc, x, y), oneStep(doc)) << x << "," << y;
                leastAlpha = std::min(leastAlpha, doc.value(x, y, r.planes));
            }
        EXPECT_TRUE(leastAlpha < 0.95f &&
                    doc.value(r.width / 2, r.height / 2, r.planes) > (r.width == 1 ? 0.05f : 0.99f));
    }
    gWatch = Watch{};
}

}  // namespace
}  // namespace globaro
