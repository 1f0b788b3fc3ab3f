// Tile edge cases of the render driver, seen from the standalone host: the
// module's code runs a whole filter run and the host's callbacks (abort
// test, progress, tile requests) are watched through a thin entry that
// wraps the module's own entry point and the callbacks it is handed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "app/document.h"
#include "app/filter_host.h"
#include "platform/threads.h"
#include "render/render_driver.h"

extern "C" void PluginMain(std::int16_t selector, FilterRecord* record, intptr_t* data, std::int16_t* result);

namespace globaro {
namespace {

// ---- the watched entry ----------------------------------------------------------------
// The callbacks carry no context, so the watch is process-wide (one run at a time).
struct Watch {
    FilterRecord* record = nullptr;
    TestAbortProc abort = nullptr;
    AdvanceStateProc advance = nullptr;
    ProgressProc progress = nullptr;
    int abortCalls = 0;
    int cancelAtAbortCall = 0;    // 0: never
    std::vector<VRect> outRects;  // the output rectangle of every tile request
    std::vector<std::int32_t> progressDone;
};
Watch gWatch;

VRect currentOutRect(const FilterRecord& f) {
    if (f.bigDocumentData != nullptr && f.bigDocumentData->PluginUsing32BitCoordinates)
        return f.bigDocumentData->outRect32;
    return VRect{f.outRect.top, f.outRect.left, f.outRect.bottom, f.outRect.right};
}

Boolean watchedAbort() {
    ++gWatch.abortCalls;
    if (gWatch.cancelAtAbortCall > 0 && gWatch.abortCalls == gWatch.cancelAtAbortCall) cancelRequested() = true;
    return gWatch.abort != nullptr ? gWatch.abort() : 0;
}

OSErr watchedAdvance() {
    if (gWatch.record != nullptr) {
        const VRect out = currentOutRect(*gWatch.record);
        if (out.right > out.left && out.bottom > out.top) gWatch.outRects.push_back(out);
    }
    return gWatch.advance != nullptr ? gWatch.advance() : static_cast<OSErr>(filterBadParameters);
}

void watchedProgress(std::int32_t done, std::int32_t total) {
    gWatch.progressDone.push_back(total > 0 ? done * 1000 / total : -1);
    if (gWatch.progress != nullptr) gWatch.progress(done, total);
}

void WatchedMain(std::int16_t selector, FilterRecord* record, intptr_t* data, std::int16_t* result) {
    if (selector != filterSelectorAbout && record != nullptr) {
        gWatch.record = record;
        gWatch.abort = record->abortProc;
        gWatch.advance = record->advanceState;
        gWatch.progress = record->progressProc;
        record->abortProc = watchedAbort;
        record->advanceState = record->advanceState != nullptr ? watchedAdvance : nullptr;
        record->progressProc = watchedProgress;
    }
    PluginMain(selector, record, data, result);
    gWatch.record = nullptr;
}

class DriverEdges : public ::testing::Test {
protected:
    void SetUp() override {
        gWatch = Watch{};
        cancelRequested() = false;
    }
    void TearDown() override {
        cancelRequested() = false;
        gWatch = Watch{};
    }
};

Document opaqueDocument(std::int32_t w, std::int32_t h, int planes, bool alpha, int depth, unsigned seed) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, w, h, planes, alpha, depth, error)) << error;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            for (int p = 0; p < planes; ++p) d.setValue(x, y, p, u(rng));
            if (alpha) d.setValue(x, y, planes, 1.0f);
        }
    return d;
}

float maxDifference(const Document& a, const Document& b) {
    float worst = 0.0f;
    for (std::int32_t y = 0; y < a.height; ++y)
        for (std::int32_t x = 0; x < a.width; ++x)
            for (int p = 0; p < a.planes(); ++p) worst = std::max(worst, std::abs(a.value(x, y, p) - b.value(x, y, p)));
    return worst;
}

float oneStep(const Document& d) { return d.depth == 8 ? 2.01f / 255.0f : d.depth == 16 ? 4.0f / 32768.0f : 1e-4f; }

RunReport runWatched(Document& doc) {
    FilterHost host(doc);
    testing::internal::CaptureStderr();
    RunReport report = host.run(WatchedMain, false);
    testing::internal::GetCapturedStderr();
    return report;
}

// The tile requests of the render proper: the last jobCount requests (the
// input is read before the render, strip by strip).
std::vector<VRect> renderTileRequests(std::int32_t jobs) {
    const auto& all = gWatch.outRects;
    const std::size_t n = std::min<std::size_t>(all.size(), static_cast<std::size_t>(std::max(jobs, 0)));
    return std::vector<VRect>(all.end() - static_cast<std::ptrdiff_t>(n), all.end());
}

using RectKey = std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t>;
RectKey keyOf(const VRect& r) { return {r.top, r.left, r.bottom, r.right}; }

// ---- the cases ------------------------------------------------------------------------------

// A constant colour with full alpha: where the output frame leaves a gap
// (the frame's aspect differs from the image's), the rendered pixels lose
// alpha and keep the colour, symmetrically about the image's centre, so a
// tile that was not rendered or not written back stands out. Other images
// are random and opaque: the identity render hands them back.
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

TEST_F(DriverEdges, TilesThreadsAndCancelling) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(r.what);
        gWatch = Watch{};
        gWatch.cancelAtAbortCall = r.cancelAtAbortCall;
        Document doc = opaqueDocument(r.width, r.height, r.planes, r.alpha, r.depth, 11);
        if (r.constant)
            for (std::int32_t y = 0; y < r.height; ++y)
                for (std::int32_t x = 0; x < r.width; ++x)
                    for (int p = 0; p < r.planes; ++p) doc.setValue(x, y, p, kConstant[p]);
        const Document original = doc;
        const RunReport report = runWatched(doc);
        cancelRequested() = false;
        const RenderOutcome& o = lastRenderOutcome();
        EXPECT_EQ(o.jobCount, r.jobs);
        EXPECT_EQ(o.plan.tilesAcross, (r.width + kTileSize - 1) / kTileSize);
        EXPECT_EQ(o.jobsDelivered, r.delivered);
        EXPECT_EQ(o.jobsGathered, o.jobsStarted);  // every started job is waited for
        if (r.cancelAtAbortCall > 0) {
            EXPECT_EQ(report.result, kRenderCancelled);
            EXPECT_TRUE(o.cancelled);
            EXPECT_EQ(o.messageCode, kMessageRenderCancelled);
            // No job starts after the cancel; the image comes back as it was.
            EXPECT_EQ(o.jobsStarted, r.cancelAtAbortCall == 1 ? o.threadCount : r.jobs);
            EXPECT_EQ(doc.pixels, original.pixels);
            continue;
        }
        EXPECT_EQ(report.result, 0);
        // One worker more than the processors (the calling thread composites),
        // one abort test per gathered job.
        EXPECT_EQ(o.threadCount, std::min(processorCount() + 1, r.jobs));
        EXPECT_EQ(o.jobsStarted, r.jobs);
        EXPECT_EQ(gWatch.abortCalls, r.jobs);
        // Every tile requested once (after the input's strips), together
        // covering the image.
        const auto tiles = renderTileRequests(o.jobCount);
        ASSERT_EQ(tiles.size(), static_cast<std::size_t>(r.jobs));
        std::set<RectKey> seen;
        std::int64_t area = 0;
        for (const VRect& t : tiles) {
            EXPECT_TRUE(seen.insert(keyOf(t)).second);
            EXPECT_TRUE(t.left % kTileSize == 0 && t.top % kTileSize == 0);
            EXPECT_LE(t.right - t.left, kTileSize);
            EXPECT_LE(t.bottom - t.top, kTileSize);
            area += std::int64_t{t.right - t.left} * (t.bottom - t.top);
        }
        EXPECT_EQ(area, std::int64_t{r.width} * r.height);
        EXPECT_TRUE(std::is_sorted(gWatch.progressDone.begin(), gWatch.progressDone.end()));
        for (std::int32_t p : gWatch.progressDone) EXPECT_LE(p, 1000);
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
        EXPECT_LT(leastAlpha, 0.95f);
        EXPECT_GT(doc.value(r.width / 2, r.height / 2, r.planes), r.width == 1 ? 0.05f : 0.99f);
    }
}

}  // namespace
}  // namespace globaro
