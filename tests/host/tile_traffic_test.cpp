// Tiles between the standalone host and a module, and the row reader, against pixel-by-pixel definitions.

#include <array>
#include <functional>
#include <limits>
#include <thread>
#include <tuple>

#include "host/host_services.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

using host_test::randomDocument;

// A module made of one function for every selector.
std::function<std::int16_t(std::int16_t, FilterRecord&)> gModule;

void scriptedEntry(std::int16_t selector, FilterRecord* record, intptr_t*, std::int16_t* result) {
    *result = gModule ? gModule(selector, *record) : 0;
}

// Asks for the input (and mask) tile `in` and the output tile `out`, planes lo..hi.
void request(FilterRecord& f, const VRect& in, const VRect& out, int lo, int hi, int step = 1) {
    f.bigDocumentData->PluginUsing32BitCoordinates = 1;
    f.bigDocumentData->inRect32 = f.bigDocumentData->maskRect32 = in;
    f.bigDocumentData->outRect32 = out;
    f.inLoPlane = f.outLoPlane = static_cast<std::int16_t>(lo);
    f.inHiPlane = f.outHiPlane = static_cast<std::int16_t>(hi);
    f.inputRate = f.maskRate = toFixed(step);
}

// What a delivered tile must hold: planes lo..hi (lo < 0: the mask) of the
// document pixel each request pixel maps to, clamped into the image.
std::vector<std::uint8_t> expectedTile(const Document& d, const VRect& r, int lo, int hi, int step) {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t y = r.top; y < r.bottom; ++y)
        for (std::int32_t x = r.left; x < r.right; ++x) {
            const std::int32_t docY = std::clamp(y * step + d.floatOrigin.v, 0, d.height - 1);
            const std::int32_t docX = std::clamp(x * step + d.floatOrigin.h, 0, d.width - 1);
            const std::uint8_t* at =
                lo < 0 ? &d.mask[static_cast<std::size_t>(docY) * d.width + docX] : d.sample(docX, docY, lo);
            bytes.insert(bytes.end(), at, at + (lo < 0 ? 1 : (hi - lo + 1) * d.bytesPerSample()));
        }
    return bytes;
}

TEST(TileDelivery, RowsMatchThePixelByPixelDefinition) {
    const std::tuple<int, bool, int, VPoint> cases[] = {{3, true, 8, {0, 0}},
                                                        {1, false, 16, {0, 0}},
                                                        {3, false, 32, {0, 0}},
                                                        {3, true, 16, {4, -3}},
                                                        {1, true, 8, {-2, 5}}};
    const VRect rects[] = {{0, 0, 40, 50}, {-3, -4, 10, 60}, {35, 45, 44, 57}, {-9, -9, -2, -1}, {5, 7, 6, 8}};
    for (const auto& [colorPlanes, alpha, depth, origin] : cases) {
        Document doc = randomDocument(50, 40, colorPlanes, alpha, depth, 7);
        doc.floatOrigin = origin;
        doc.mask.resize(static_cast<std::size_t>(doc.width) * doc.height);
        for (std::size_t i = 0; i < doc.mask.size(); ++i) doc.mask[i] = static_cast<std::uint8_t>(i * 13);
        const Document before = doc;
        FilterHost host(doc);
        for (const VRect& r : rects)
            for (int step : {1, 3})
                for (int lo = 0; lo < doc.planes(); ++lo)
                    for (int hi = lo; hi < doc.planes(); ++hi) {
                        std::vector<std::uint8_t> got, gotMask;
                        gModule = [&](std::int16_t, FilterRecord& f) -> std::int16_t {
                            request(f, r, {}, lo, hi, step);
                            if (f.advanceState() != 0) return -1;
                            const std::size_t w = r.right - r.left, rowBytes = w * (hi - lo + 1) * doc.bytesPerSample();
                            EXPECT_EQ(f.inRowBytes, static_cast<std::int32_t>(rowBytes));
                            const auto* in = static_cast<const std::uint8_t*>(f.inData);
                            got.assign(in, in + rowBytes * (r.bottom - r.top));
                            const auto* m = static_cast<const std::uint8_t*>(f.maskData);
                            if (m != nullptr) gotMask.assign(m, m + w * (r.bottom - r.top));
                            return 0;
                        };
                        ASSERT_EQ(host.call(scriptedEntry, filterSelectorStart), 0);
                        EXPECT_EQ(got, expectedTile(doc, r, lo, hi, step))
                            << depth << "-bit, planes " << lo << ".." << hi << ", step " << step << ", rect " << r.top
                            << "," << r.left << "," << r.bottom << "," << r.right;
                        EXPECT_EQ(gotMask, expectedTile(doc, r, -1, 0, step));
                    }
        EXPECT_EQ(doc.pixels, before.pixels);  // input requests write nothing
    }
    gModule = nullptr;
}

TEST(TileDelivery, OutputTilesComeBackIntoTheirPlanesInsideTheImage) {
    for (int depth : {8, 16, 32}) {
        Document doc = randomDocument(30, 20, 3, true, depth, 9);
        doc.floatOrigin = VPoint{2, -3};
        const Document before = doc;
        const VRect r{-4, -2, 25, 40};  // reaches past every edge
        const int lo = 1, hi = 2, bps = doc.bytesPerSample();
        const std::size_t pixelBytes = static_cast<std::size_t>(hi - lo + 1) * bps;
        FilterHost host(doc);
        gModule = [&](std::int16_t, FilterRecord& f) -> std::int16_t {
            request(f, {}, r, lo, hi);
            if (f.advanceState() != 0) return -1;
            auto* data = static_cast<std::uint8_t*>(f.outData);
            for (std::int32_t y = r.top; y < r.bottom; ++y)
                for (std::int32_t x = r.left; x < r.right; ++x)
                    for (std::size_t b = 0; b < pixelBytes; ++b)
                        data[static_cast<std::size_t>(y - r.top) * f.outRowBytes + (x - r.left) * pixelBytes + b] =
                            static_cast<std::uint8_t>(x * 3 + y * 5 + b);
            f.bigDocumentData->outRect32 = VRect{0, 0, 0, 0};  // the next request takes the tile back
            return f.advanceState();
        };
        ASSERT_EQ(host.call(scriptedEntry, filterSelectorStart), 0);
        for (std::int32_t docY = 0; docY < doc.height; ++docY)
            for (std::int32_t docX = 0; docX < doc.width; ++docX) {
                const std::int32_t y = docY - doc.floatOrigin.v, x = docX - doc.floatOrigin.h;
                const bool covered = y >= r.top && y < r.bottom && x >= r.left && x < r.right;
                for (int p = 0; p < doc.planes(); ++p)
                    for (int b = 0; b < bps; ++b)
                        ASSERT_EQ(doc.sample(docX, docY, p)[b],
                                  covered && p >= lo && p <= hi
                                      ? static_cast<std::uint8_t>(x * 3 + y * 5 + (p - lo) * bps + b)
                                      : before.sample(docX, docY, p)[b])
                            << depth << " at " << docX << "," << docY;
            }
    }
    gModule = nullptr;
}

TEST(SourceSuite, ReadsRectanglesOfPlanesIntoPaddedRows) {
    const Document source = randomDocument(33, 17, 3, true, 16, 4);
    Document canvas = randomDocument(8, 8, source.colorPlanes, true, source.depth, 1);
    FilterHost host(canvas, {.source = &source});
    gModule = [&](std::int16_t, FilterRecord& f) -> std::int16_t {
        const VRect r{2, 3, 15, 31};
        for (int lo = 0; lo < 4; ++lo)
            for (int hi = lo; hi < 4; ++hi) {
                const std::size_t pixelBytes = static_cast<std::size_t>(hi - lo + 1) * 2;
                const std::int32_t rowBytes = static_cast<std::int32_t>(28 * pixelBytes + 6);  // padded rows
                std::vector<std::uint8_t> buffer(static_cast<std::size_t>(rowBytes) * 13, 0xAB);
                EXPECT_EQ(f.sourceImage->readSource(&r, std::int16_t(lo), std::int16_t(hi), buffer.data(), rowBytes),
                          0);
                for (std::int32_t y = r.top; y < r.bottom; ++y) {
                    const std::uint8_t* row = buffer.data() + static_cast<std::size_t>(y - r.top) * rowBytes;
                    for (std::int32_t x = r.left; x < r.right; ++x)
                        EXPECT_EQ(std::memcmp(row + (x - r.left) * pixelBytes, source.sample(x, y, lo), pixelBytes), 0);
                    for (std::size_t pad = 28 * pixelBytes; pad < static_cast<std::size_t>(rowBytes); ++pad)
                        EXPECT_EQ(row[pad], 0xAB);  // the padding is not written
                }
            }
        // Rows too short for the rectangle, and rectangles outside the source.
        std::vector<std::uint8_t> small(64);
        const VRect wide{0, 0, 2, 33}, outside{0, 30, 2, 34};
        EXPECT_NE(f.sourceImage->readSource(&wide, 0, 3, small.data(), 32), 0);
        EXPECT_NE(f.sourceImage->readSource(&outside, 0, 0, small.data(), 32), 0);
        return 0;
    };
    ASSERT_EQ(host.call(scriptedEntry, filterSelectorStart), 0);
    gModule = nullptr;
}

// Rows handed out in place are the very rows readSource copies, in every format.
TEST(SourceSuite, ViewsRowsInPlaceAsReadSourceCopiesThem) {
    const std::tuple<int, bool, int> formats[] = {{1, false, 8},  {3, false, 8},  {3, true, 8}, {1, true, 16},
                                                  {3, false, 16}, {1, false, 32}, {3, true, 32}};
    const VRect rects[] = {{0, 0, 17, 33}, {2, 3, 15, 31}, {16, 32, 17, 33}, {0, 5, 1, 6}, {4, 0, 9, 33}};
    for (const auto& [colour, alpha, depth] : formats) {
        const Document source = randomDocument(33, 17, colour, alpha, depth, 7);
        Document canvas = randomDocument(8, 8, colour, true, depth, 1);
        FilterHost host(canvas, {.source = &source});
        gModule = [&](std::int16_t, FilterRecord& f) -> std::int16_t {
            const SourceImageSuite& s = *f.sourceImage;
            EXPECT_TRUE(s.version >= 2 && s.viewSource != nullptr);
            const std::size_t pixelBytes = static_cast<std::size_t>(s.planes) * s.depth / 8;
            for (const VRect& r : rects) {
                const std::size_t rowBytes = pixelBytes * static_cast<std::size_t>(r.right - r.left);
                std::vector<std::uint8_t> copied(rowBytes * static_cast<std::size_t>(r.bottom - r.top));
                EXPECT_EQ(s.readSource(&r, 0, std::int16_t(s.planes - 1), copied.data(), std::int32_t(rowBytes)), 0);
                const void* data = nullptr;
                std::int32_t viewRowBytes = 0;
                EXPECT_EQ(s.viewSource(&r, &data, &viewRowBytes), 0);
                if (data == nullptr) return readErr;
                for (std::int32_t y = 0; y < r.bottom - r.top; ++y)
                    EXPECT_EQ(std::memcmp(static_cast<const std::uint8_t*>(data) + std::ptrdiff_t{y} * viewRowBytes,
                                          copied.data() + y * rowBytes, rowBytes),
                              0)
                        << depth << "-bit, " << colour << " colour planes, alpha " << alpha << ", row " << r.top + y
                        << " of " << r.top << ".." << r.bottom << " x " << r.left << ".." << r.right;
            }
            return noErr;
        };
        EXPECT_EQ(host.call(scriptedEntry, filterSelectorStart), 0);
    }
    gModule = nullptr;
}

// A rectangle readSource refuses is refused in place too, and a host that
// cannot hand rows out in place says so without taking anything.
TEST(SourceSuite, ViewsOnlyWhatReadSourceTakes) {
    const Document source = randomDocument(12, 40, 3, false, 8, 6);
    Document canvas = randomDocument(8, 8, 3, true, 8, 1);
    const VRect bad[] = {{0, 0, 2, 13}, {-1, 0, 2, 12}, {0, -1, 2, 12}, {0, 0, 41, 12},
                         {5, 0, 5, 12}, {5, 6, 6, 6},   {6, 0, 5, 12},  {0, 7, 2, 3}};
    for (const bool inPlace : {true, false}) {
        std::vector<std::int32_t> taken;
        FilterHost host(canvas, {.source = &source,
                                 .viewSourceInPlace = inPlace,
                                 .sourceRowsTaken = [&](std::int32_t top, std::int32_t bottom) {
                                     taken.insert(taken.end(), {top, bottom});
                                 }});
        gModule = [&](std::int16_t, FilterRecord& f) -> std::int16_t {
            const SourceImageSuite& s = *f.sourceImage;
            std::vector<std::uint8_t> buffer(12 * 3 * 41);
            const void* data = &buffer;
            std::int32_t rowBytes = 99;
            for (const VRect& r : bad) {
                const std::int16_t copied = s.readSource(&r, 0, 2, buffer.data(), 36);
                const std::int16_t viewed = s.viewSource(&r, &data, &rowBytes);
                EXPECT_EQ(std::tuple(copied, viewed, data, rowBytes),
                          std::tuple(std::int16_t{filterBadParameters}, copied, nullptr, 0))
                    << r.top << ".." << r.bottom << " x " << r.left << ".." << r.right;
            }
            const VRect rows{0, 0, 10, 12};
            EXPECT_EQ(s.viewSource(&rows, nullptr, &rowBytes), filterBadParameters);
            EXPECT_EQ(s.viewSource(&rows, &data, nullptr), filterBadParameters);
            EXPECT_EQ(s.viewSource(&rows, &data, &rowBytes), inPlace ? noErr : sourceNotViewable);
            EXPECT_EQ(data == nullptr, !inPlace);
            // Rows the host could not hand out are still there to be copied.
            EXPECT_EQ(inPlace ? std::int16_t{noErr} : s.readSource(&rows, 0, 2, buffer.data(), 36), noErr);
            return noErr;
        };
        EXPECT_EQ(host.call(scriptedEntry, filterSelectorStart), 0);
        EXPECT_EQ(taken, (std::vector<std::int32_t>{0, 10}));
    }
    // A host made before viewSource offers the first version of the suite.
    FilterHost old(canvas, {.source = &source, .sourceSuiteVersion = 1});
    gModule = [&](std::int16_t, FilterRecord& f) -> std::int16_t {
        EXPECT_EQ(std::pair(f.sourceImage->version, f.sourceImage->viewSource == nullptr), std::pair(1, true));
        return noErr;
    };
    EXPECT_EQ(old.call(scriptedEntry, filterSelectorStart), 0);
    gModule = nullptr;
}

// Writes the tiles of `gTiles` in turn, the n-th filled with `gFills[n]` (0: left as delivered); fails
// in continue call `gFailAt`.
std::vector<VRect> gTiles;
std::vector<int> gFills;
std::size_t gFailAt = 0;
std::int16_t writeTiles(std::int16_t selector, FilterRecord& f) {
    static std::size_t next = 0;
    if (selector == filterSelectorStart) {
        next = 0;
    } else if (selector == filterSelectorContinue) {
        const VRect& r = gTiles[next - 1];
        if (gFills[next - 1] != 0)
            std::memset(f.outData, gFills[next - 1], static_cast<std::size_t>(f.outRowBytes) * (r.bottom - r.top));
        if (next == gFailAt) return userCanceledErr;
    } else {
        return 0;
    }
    request(f, {}, next < gTiles.size() ? gTiles[next] : VRect{0, 0, 0, 0}, 0, f.planes - 1);
    ++next;
    return 0;
}

TEST(FailedRuns, PutEveryWrittenRowBackUnlessTheCanvasIsThrownAway) {
    gTiles = {VRect{2, 0, 6, 10}, VRect{10, 3, 14, 8}}, gFills = {0x5A, 0x5A}, gFailAt = 2, gModule = writeTiles;
    for (const bool restore : {true, false}) {
        Document doc = randomDocument(10, 16, 3, true, restore ? 32 : 8, 2);
        const Document before = doc;
        FilterHost host(doc, {.restoreOnFailure = restore});
        const RunReport report = host.run(scriptedEntry, false);
        EXPECT_EQ(std::pair(report.result, report.continueCalls), (std::pair<std::int16_t, int>(userCanceledErr, 2)));
        if (restore) {
            EXPECT_EQ(doc.pixels, before.pixels);
            continue;
        }
        // A canvas thrown away on failure keeps what was written.
        EXPECT_EQ(std::pair(*doc.sample(0, 2, 0), *doc.sample(3, 10, 0)),
                  (std::pair<std::uint8_t, std::uint8_t>(0x5A, 0x5A)));
        EXPECT_EQ(std::memcmp(doc.sample(0, 0, 0), before.sample(0, 0, 0), doc.rowBytes() * 2), 0);
    }
    gModule = nullptr;
    gFailAt = 0;
}

struct RowRecorder : RowListener {
    std::vector<std::int32_t> finished, mayGo;
    int changing = 0;
    void rowsFinished(std::int32_t rows) override { finished.push_back(rows); }
    void rowsChanging() override { ++changing; }
    void rowsMayGo(std::int32_t rows) override { mayGo.push_back(rows); }
};

TEST(RowListener, HearsRowsAsTheyAreFinishedAndOnceOfAChange) {
    Document doc = randomDocument(10, 16, 3, false, 8, 3);
    RowRecorder heard, inPlace;
    FilterHost host(doc, {.rowListener = &heard});
    gTiles = {VRect{0, 0, 4, 5},  VRect{0, 5, 4, 10}, VRect{4, 0, 8, 10},
              VRect{0, 5, 4, 10}, VRect{2, 0, 3, 10}, VRect{8, 0, 9, 10}};
    gFills = {0x11, 0x22, 0x33, 0, 0x44, 0x55};
    gModule = writeTiles;
    EXPECT_EQ(host.run(scriptedEntry, false).result, 0);
    // Rows 0..3 once both of their tiles are back, 4..7 with the next; a
    // finished tile taken back unchanged changes nothing; row 2 written
    // anew is a change, after which the listener hears nothing more.
    EXPECT_EQ(std::tuple(heard.finished, heard.changing, *doc.sample(0, 2, 0)),
              std::tuple(std::vector<std::int32_t>{4, 8}, 1, std::uint8_t{0x44}));
    // An image read in place: its strips come back unchanged first, and only
    // the tiles written after them count.
    FilterHost again(doc, {.rowListener = &inPlace});
    gTiles = {VRect{0, 0, 8, 10}, VRect{8, 0, 16, 10}, VRect{0, 0, 4, 10}, VRect{4, 0, 16, 10}};
    gFills = {0, 0, 0x11, 0x22};
    EXPECT_EQ(again.run(scriptedEntry, false).result, 0);
    EXPECT_EQ(std::pair(inPlace.finished, inPlace.changing), std::pair(std::vector<std::int32_t>{4, 16}, 0));
    gModule = nullptr;
}

// Rows let go are never handed out again: a module that goes back up to them
// (a tile, or a source strip read twice) ends the run, to be made again.
TEST(RowRelease, RowsLetGoAreNotHandedOutAgain) {
    const std::tuple<std::vector<VRect>, std::vector<std::int32_t>, bool> cases[] = {
        {{{0, 0, 4, 10}, {4, 0, 8, 10}, {8, 0, 16, 10}, {7, 0, 8, 10}}, {4, 8}, true},
        {{{0, 0, 8, 5}, {0, 5, 8, 10}, {4, 0, 16, 10}}, {4}, false}};
    for (const auto& [tiles, heard, again] : cases) {
        Document doc = randomDocument(10, 16, 3, false, 8, 3);
        RowRecorder mover;
        FilterHost host(doc, {.rowListener = &mover, .finishedRowsMayGo = true});
        gTiles = tiles, gFills.assign(tiles.size(), 0x11), gModule = writeTiles;
        const RunReport report = host.run(scriptedEntry, false);
        EXPECT_EQ(std::tuple(mover.mayGo, report.rowsAskedAgain, report.result != 0), std::tuple(heard, again, again));
    }
    const Document source = randomDocument(12, 40, 3, false, 8, 6);
    Document canvas = randomDocument(8, 8, 3, true, 8, 1);
    std::vector<std::int32_t> taken;
    FilterHost host(canvas, {.source = &source, .sourceRowsTaken = [&](std::int32_t top, std::int32_t bottom) {
                                 taken.insert(taken.end(), {top, bottom});
                             }});
    gModule = [&](std::int16_t, FilterRecord& f) -> std::int16_t {
        std::vector<std::uint8_t> buffer(12 * 3 * 40);
        for (const VRect r : {VRect{0, 0, 30, 12}, VRect{30, 0, 40, 12}, VRect{20, 0, 40, 12}})
            if (f.sourceImage->readSource(&r, 0, 2, buffer.data(), 36) != noErr) return readErr;
        return noErr;
    };
    EXPECT_EQ(host.run(scriptedEntry, false).rowsAskedAgain, true);
    EXPECT_EQ(taken, (std::vector<std::int32_t>{0, 30, 30, 40}));
    gModule = nullptr;
}

// Rows handed out in place are let go only once the module has moved on from
// them (its next source call, or the end of its selector call): until then it
// still reads them. Rows handed on are never handed out again.
TEST(RowRelease, RowsViewedInPlaceGoOnceTheModuleMovesOn) {
    struct Step {
        bool view;   // else readSource
        VRect rect;  // empty with a view: no rectangle, only the end of the last view
        std::int16_t result;
        std::vector<std::int32_t> takenAfter;  // rows let go once the call is back
    };
    struct Case {
        const char* what;
        bool inPlace;
        std::vector<Step> steps;
        std::vector<std::int32_t> takenAtTheEnd;
        bool askedAgain;
    };
    const Case cases[] = {
        {"views and reads in turn",
         true,
         {{true, {0, 0, 10, 12}, noErr, {}},
          {true, {10, 0, 20, 12}, noErr, {0, 10}},
          {false, {20, 0, 30, 12}, noErr, {0, 10, 10, 20, 20, 30}},
          {true, {30, 0, 34, 6}, noErr, {0, 10, 10, 20, 20, 30}},  // part of the width: not handed on
          {true, {30, 0, 36, 12}, noErr, {0, 10, 10, 20, 20, 30}}},
         {0, 10, 10, 20, 20, 30, 30, 36},
         false},
        {"a view ended before the call returns",
         true,
         {{true, {0, 0, 10, 12}, noErr, {}}, {true, {}, noErr, {0, 10}}, {true, {}, noErr, {0, 10}}},
         {0, 10},
         false},
        {"a view over rows handed on",
         true,
         {{true, {0, 0, 10, 12}, noErr, {}}, {true, {5, 0, 15, 12}, readErr, {0, 10}}},
         {0, 10},
         true},
        {"a read over rows viewed",
         true,
         {{true, {0, 0, 10, 12}, noErr, {}}, {false, {9, 0, 12, 12}, readErr, {0, 10}}},
         {0, 10},
         true},
        {"a host that cannot view",
         false,
         {{true, {0, 0, 10, 12}, sourceNotViewable, {}}, {false, {0, 0, 10, 12}, noErr, {0, 10}}},
         {0, 10},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Document source = randomDocument(12, 40, 3, true, 8, 6);
        const Document before = source;
        Document canvas = randomDocument(8, 8, 3, true, 8, 1);
        std::vector<std::int32_t> taken;
        // Rows let go read as zero afterwards, as their pages do.
        FilterHost host(canvas, {.source = &source,
                                 .viewSourceInPlace = c.inPlace,
                                 .sourceRowsTaken = [&](std::int32_t top, std::int32_t bottom) {
                                     taken.insert(taken.end(), {top, bottom});
                                     std::memset(source.sample(0, top, 0), 0, (bottom - top) * source.rowBytes());
                                 }});
        gModule = [&](std::int16_t selector, FilterRecord& f) -> std::int16_t {
            if (selector != filterSelectorStart) return noErr;
            std::vector<std::uint8_t> buffer(12 * 4 * 40);
            for (const Step& step : c.steps) {
                const void* data = nullptr;
                std::int32_t rowBytes = 48;
                const bool end = step.view && step.rect.bottom == step.rect.top;
                const std::int16_t result = end ? f.sourceImage->viewSource(nullptr, nullptr, nullptr)
                                            : step.view
                                                ? f.sourceImage->viewSource(&step.rect, &data, &rowBytes)
                                                : f.sourceImage->readSource(&step.rect, 0, 3, buffer.data(), 48);
                EXPECT_EQ(std::tuple(result, taken), std::tuple(step.result, step.takenAfter))
                    << "rows " << step.rect.top << ".." << step.rect.bottom;
                if (result == sourceNotViewable || end) continue;
                if (result != noErr) return result;
                if (!step.view) data = buffer.data();
                // What the module reads is the source as it was.
                for (std::int32_t y = step.rect.top; y < step.rect.bottom; ++y)
                    EXPECT_EQ(std::memcmp(
                                  static_cast<const std::uint8_t*>(data) + std::ptrdiff_t{y - step.rect.top} * rowBytes,
                                  before.sample(step.rect.left, y, 0), 4 * (step.rect.right - step.rect.left)),
                              0)
                        << "row " << y;
            }
            return noErr;
        };
        const RunReport report = host.run(scriptedEntry, false);
        EXPECT_EQ(std::tuple(taken, report.rowsAskedAgain, report.result == noErr),
                  std::tuple(c.takenAtTheEnd, c.askedAgain, !c.askedAgain));
    }
    gModule = nullptr;
}

// The file broke off after 30 rows: reads and views of the rows that came
// in give them; those below fail with the file's error.
TEST(RowGates, SourceReadsWaitForTheirRowsAndFailWhenTheFileEndsShort) {
    for (const bool view : {false, true}) {
        SCOPED_TRACE(view ? "viewed in place" : "copied");
        const Document source = randomDocument(12, 40, 3, false, 8, 6);
        Document canvas = randomDocument(8, 8, source.colorPlanes, true, source.depth, 1);
        RowGate gate;
        FilterHost host(canvas, {.source = &source, .sourceRows = &gate});
        std::thread reader([&] { gate.publish(16), gate.publish(30), gate.end(); });
        gModule = [&](std::int16_t, FilterRecord& f) -> std::int16_t {
            std::vector<std::uint8_t> buffer(12 * 3 * 40);
            const void* data = buffer.data();
            std::int32_t rowBytes = 36;
            auto take = [&](const VRect& r) {
                return view ? f.sourceImage->viewSource(&r, &data, &rowBytes)
                            : f.sourceImage->readSource(&r, 0, 2, buffer.data(), 36);
            };
            const VRect top{0, 0, 30, 12}, all{0, 0, 40, 12};
            EXPECT_EQ(take(top), noErr);
            EXPECT_EQ(std::pair(rowBytes, std::memcmp(data, source.sample(0, 0, 0), 36 * 30)), std::pair(36, 0));
            return take(all);
        };
        EXPECT_EQ(host.call(scriptedEntry, filterSelectorStart), readErr);
        reader.join();
    }
    gModule = nullptr;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(InputRows, GiveExactlyWhatPixelReadsGive) {
    std::mt19937 rng(5);
    for (auto [mode, depth] : {std::pair{plugInModeGrayScale, 8},
                               {plugInModeRGBColor, 8},
                               {plugInModeGray16, 16},
                               {plugInModeRGB48, 16},
                               {plugInModeGray32, 32},
                               {plugInModeRGB96, 32}}) {
        FilterRecord record{};
        record.imageMode = static_cast<std::int16_t>(mode), record.depth = static_cast<std::int16_t>(depth);
        record.filterCase = filterCaseEditableTransparencyNoSelection;
        const HostServices host(&record, nullptr);
        const PixelFormat format = host.pixelFormat();
        for (int planes = 1; planes <= 5; ++planes) {
            record.planes = static_cast<std::int16_t>(planes);
            const std::int32_t rowBytes = 7 * planes * format.bytesPerSample() + 5;
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(rowBytes) * 3);
            for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
            for (std::size_t i = 0; format.isFloat && i + 4 <= bytes.size(); i += 4) {
                const float v = i % 36 == 0 ? std::numeric_limits<float>::quiet_NaN()
                                            : std::uniform_real_distribution<float>(-0.5f, 1.5f)(rng);
                std::memcpy(&bytes[i], &v, 4);
            }
            for (const bool empty : {false, true}) {
                const TileView tile{empty ? nullptr : bytes.data(), rowBytes, planes, VRect{3, 10, 6, 17}};
                for (std::int32_t row = 1; row <= 7; ++row)
                    for (std::int32_t column = 5; column <= 18; ++column)
                        for (std::int32_t count : {1, 3, 12, 20}) {
                            std::vector<float> rgba(static_cast<std::size_t>(count) * 4, 123.0f);
                            std::vector<std::uint8_t> bytes8(rgba.size(), 77);
                            readInputRow(format, tile, row, column, count, rgba.data());
                            // The byte run of an 8-bit image holds the same values exactly.
                            ASSERT_EQ(readInputRow8(format, tile, row, column, count, bytes8.data()), depth == 8);
                            for (std::size_t i = 0; i < rgba.size(); ++i) {
                                const Color4 c = host.readInputPixel(row, column + std::int32_t(i / 4), tile);
                                const float want = std::array{c.red, c.green, c.blue, c.alpha}[i % 4];
                                ASSERT_TRUE(sameBits(rgba[i], want) &&
                                            (depth != 8 || bytes8[i] == std::round(want * 255.0f)))
                                    << depth << "-bit mode " << mode << ", " << planes << " planes, row " << row
                                    << ", column " << column + i / 4 << ", channel " << i % 4;
                            }
                        }
            }
        }
    }
}

}  // namespace
}  // namespace globaro
