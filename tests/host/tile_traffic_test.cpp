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

TEST(RowGates, SourceReadsWaitForTheirRowsAndFailWhenTheFileEndsShort) {
    const Document source = randomDocument(12, 40, 3, false, 8, 6);
    Document canvas = randomDocument(8, 8, source.colorPlanes, true, source.depth, 1);
    RowGate gate;
    FilterHost host(canvas, {.source = &source, .sourceRows = &gate});
    std::thread reader([&] { gate.publish(16), gate.publish(30), gate.end(); });  // the file broke off after 30 rows
    gModule = [&](std::int16_t, FilterRecord& f) -> std::int16_t {
        std::vector<std::uint8_t> buffer(12 * 3 * 40);
        const VRect top{0, 0, 30, 12}, all{0, 0, 40, 12};
        EXPECT_EQ(f.sourceImage->readSource(&top, 0, 2, buffer.data(), 36), noErr);
        EXPECT_EQ(std::memcmp(buffer.data(), source.sample(0, 0, 0), 36 * 30), 0);
        return f.sourceImage->readSource(&all, 0, 2, buffer.data(), 36);
    };
    EXPECT_EQ(host.call(scriptedEntry, filterSelectorStart), readErr);
    reader.join();
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
