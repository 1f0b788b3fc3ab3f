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
    int cancelAtAbortCall = 0;  // 0: never
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
// alpha and keep the colour, symmetrically about the image's centre lines, so
// a tile that was not rendered or not written back stands out.
constexpr float kConstant[3] = {0.2f, 0.55f, 0.8f};

Document constantDocument(std::int32_t w, std::int32_t h, int planes, int depth) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, w, h, planes, true, depth, error)) << error;
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            for (int p = 0; p < planes; ++p) d.setValue(x, y, p, kConstant[p]);
            d.setValue(x, y, planes, 1.0f);
        }
    return d;
}

// Pixel (x, y) against its mirror image (w - 1 - x, h - 1 - y), every plane.
float mirrorDifference(const Document& d, std::int32_t x, std::int32_t y) {
    float worst = 0.0f;
    for (int p = 0; p < d.planes(); ++p)
        worst = std::max(worst, std::abs(d.value(x, y, p) - d.value(d.width - 1 - x, d.height - 1 - y, p)));
    return worst;
}

TEST_F(DriverEdges, OnePixelImageIsOneJobOnOneThread) {
    for (auto [planes, alpha, depth] : {std::tuple{3, false, 8}, std::tuple{1, false, 16}, std::tuple{3, false, 32}}) {
        gWatch = Watch{};
        // Without transparency the gaps show the pixel that was there: the
        // one pixel comes back as it was.
        Document doc = opaqueDocument(1, 1, planes, alpha, depth, 11);
        const Document original = doc;
        const RunReport report = runWatched(doc);
        EXPECT_EQ(report.result, 0);
        const RenderOutcome& o = lastRenderOutcome();
        EXPECT_EQ(o.jobCount, 1);
        EXPECT_EQ(o.threadCount, 1);
        EXPECT_EQ(o.jobsGathered, 1);
        EXPECT_EQ(o.jobsDelivered, 1);
        EXPECT_EQ(o.plan.tilesAcross, 1);
        // One abort test per gathered job, and the one pixel is requested.
        EXPECT_EQ(gWatch.abortCalls, 1);
        ASSERT_FALSE(gWatch.outRects.empty());
        EXPECT_EQ(keyOf(gWatch.outRects.back()), (RectKey{0, 0, 1, 1}));
        EXPECT_LE(maxDifference(doc, original), oneStep(doc)) << "depth " << depth;
    }
    // With transparency the square frame leaves gaps above and below the
    // map: the pixel is rendered, keeps its colour and loses part of its alpha.
    Document doc = constantDocument(1, 1, 3, 16);
    EXPECT_EQ(runWatched(doc).result, 0);
    EXPECT_EQ(lastRenderOutcome().jobsDelivered, 1);
    const float a = doc.value(0, 0, 3);
    EXPECT_GT(a, 0.05f);
    EXPECT_LT(a, 0.95f);
    for (int p = 0; p < 3; ++p) EXPECT_NEAR(doc.value(0, 0, p), kConstant[p], 0.01f);
}

TEST_F(DriverEdges, WidthOf129IsTwoTilesTheSecondOneColumn) {
    Document doc = constantDocument(129, 64, 3, 8);
    EXPECT_EQ(runWatched(doc).result, 0);
    const RenderOutcome& o = lastRenderOutcome();
    EXPECT_EQ(o.plan.tilesAcross, 2);
    EXPECT_EQ(o.jobCount, 2);
    EXPECT_EQ(o.jobsDelivered, 2);
    // Gathered as they finish; each tile requested once.
    const auto tiles = renderTileRequests(o.jobCount);
    ASSERT_EQ(tiles.size(), 2u);
    const std::set<RectKey> got{keyOf(tiles[0]), keyOf(tiles[1])};
    EXPECT_EQ(got, (std::set<RectKey>{{0, 0, 64, 128}, {0, 128, 64, 129}}));
    // The frame (2:1) is a little narrower than the image: the single column
    // of the second tile mirrors the first column of the first.
    for (std::int32_t y = 0; y < 64; ++y) EXPECT_LE(mirrorDifference(doc, 128, y), 2.01f / 255.0f) << y;
    EXPECT_LT(doc.value(128, 32, 3), 0.99f);
    EXPECT_NEAR(doc.value(64, 32, 3), 1.0f, 1.01f / 255.0f);
}

TEST_F(DriverEdges, OneColumnAndOneRowTilesAtTheCorner) {
    Document doc = constantDocument(129, 129, 1, 16);
    EXPECT_EQ(runWatched(doc).result, 0);
    const RenderOutcome& o = lastRenderOutcome();
    EXPECT_EQ(o.jobCount, 4);
    const auto tiles = renderTileRequests(o.jobCount);
    ASSERT_EQ(tiles.size(), 4u);
    std::set<RectKey> got;
    for (const VRect& r : tiles) got.insert(keyOf(r));
    EXPECT_EQ(got, (std::set<RectKey>{{0, 0, 128, 128}, {0, 128, 128, 129}, {128, 0, 129, 128}, {128, 128, 129, 129}}));
    // The square frame leaves gaps above and below the map; the last row and
    // column (the one-pixel tiles) mirror the first.
    for (std::int32_t i = 0; i < 129; ++i) {
        EXPECT_LE(mirrorDifference(doc, 128, i), 4.0f / 32768.0f) << i;
        EXPECT_LE(mirrorDifference(doc, i, 128), 4.0f / 32768.0f) << i;
    }
    EXPECT_LT(doc.value(128, 128, 1), 0.5f);
    EXPECT_NEAR(doc.value(64, 64, 1), 1.0f, 4.0f / 32768.0f);
}

TEST_F(DriverEdges, MoreTilesThanProcessorsCapsTheThreads) {
    // 5 x 3 tiles, the last column and row partial.
    Document doc = opaqueDocument(600, 300, 3, true, 8, 14);
    const Document original = doc;
    const RunReport report = runWatched(doc);
    EXPECT_EQ(report.result, 0);
    const RenderOutcome& o = lastRenderOutcome();
    EXPECT_EQ(o.jobCount, 15);
    // One worker more than the processors (the calling thread composites).
    EXPECT_EQ(o.threadCount, std::min(processorCount() + 1, 15));
    EXPECT_LE(o.threadCount, o.jobCount);
    EXPECT_EQ(o.jobsStarted, 15);
    EXPECT_EQ(o.jobsGathered, 15);
    EXPECT_EQ(o.jobsDelivered, 15);
    EXPECT_EQ(gWatch.abortCalls, 15);
    // Every tile requested exactly once, together covering the image.
    const auto tiles = renderTileRequests(o.jobCount);
    ASSERT_EQ(tiles.size(), 15u);
    std::set<RectKey> seen;
    std::int64_t area = 0;
    for (const VRect& r : tiles) {
        EXPECT_TRUE(seen.insert(keyOf(r)).second);
        EXPECT_LE(r.right - r.left, kTileSize);
        EXPECT_LE(r.bottom - r.top, kTileSize);
        area += std::int64_t{r.right - r.left} * (r.bottom - r.top);
    }
    EXPECT_EQ(area, 600 * 300);
    // Progress, when reported, stays within the run and never goes back.
    EXPECT_TRUE(std::is_sorted(gWatch.progressDone.begin(), gWatch.progressDone.end()));
    for (std::int32_t p : gWatch.progressDone) EXPECT_LE(p, 1000);
    EXPECT_LE(maxDifference(doc, original), oneStep(doc));
}

TEST_F(DriverEdges, CancelDuringTheLastTileLeavesTheImageUnchanged) {
    Document doc = opaqueDocument(300, 150, 3, false, 8, 15);
    const Document original = doc;
    // 3 x 2 tiles; the abort test is asked once per gathered job, so the sixth
    // call is the last tile's.
    gWatch.cancelAtAbortCall = 6;
    const RunReport report = runWatched(doc);
    EXPECT_EQ(report.result, kRenderCancelled);
    const RenderOutcome& o = lastRenderOutcome();
    EXPECT_EQ(o.jobCount, 6);
    EXPECT_TRUE(o.cancelled);
    EXPECT_EQ(o.result, kRenderCancelled);
    EXPECT_EQ(o.messageCode, kMessageRenderCancelled);
    // Every started job waited for, the last one composited nowhere.
    EXPECT_EQ(o.jobsStarted, 6);
    EXPECT_EQ(o.jobsGathered, o.jobsStarted);
    EXPECT_EQ(o.jobsDelivered, 5);
    EXPECT_EQ(gWatch.abortCalls, 6);
    // The run failed: the image comes back as it was, byte for byte.
    EXPECT_EQ(doc.pixels, original.pixels);
}

TEST_F(DriverEdges, CancelDuringTheFirstTileOfManyStartsNoMoreJobs) {
    Document doc = opaqueDocument(600, 300, 1, false, 8, 16);
    const Document original = doc;
    gWatch.cancelAtAbortCall = 1;
    const RunReport report = runWatched(doc);
    EXPECT_EQ(report.result, kRenderCancelled);
    const RenderOutcome& o = lastRenderOutcome();
    EXPECT_TRUE(o.cancelled);
    EXPECT_EQ(o.jobsDelivered, 0);
    EXPECT_EQ(o.jobsStarted, o.threadCount);
    EXPECT_EQ(o.jobsGathered, o.jobsStarted);
    if (o.threadCount < o.jobCount) {
        EXPECT_LT(o.jobsStarted, o.jobCount);
    }
    EXPECT_EQ(doc.pixels, original.pixels);
}

}  // namespace
}  // namespace globaro
