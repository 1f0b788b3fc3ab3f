// Whole runs from a source kept apart from the canvas: the module renders the same pixels however the
// host hands it the source's rows, and a source that breaks off part way fails the run.

#include <filesystem>

#include "app/row_gate.h"
#include "app/run_settings.h"
#include "projection/catalogue.h"
#include "settings/memory_dots.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

using host_test::randomDocument;

struct Format {
    const char* what;
    int colorPlanes;
    bool alpha;
    int depth;
};

const Format kFormats[] = {
    {"rgb8", 3, false, 8},
    {"grey8 with transparency", 1, true, 8},
    {"rgb16 with transparency", 3, true, 16},
    {"grey16", 1, false, 16},
    {"rgb float", 3, false, 32},
    {"grey float with transparency", 1, true, 32},
    {"rgb8 with transparency", 3, true, 8},
};

// How the host hands the rows out.
struct Hand {
    const char* what;
    std::int32_t suiteVersion;
    bool inPlace;
    bool letGo;  // rows read are let go (they read as zero afterwards)
};

const Hand kHands[] = {
    {"in place", 2, true, false},
    {"in place, rows let go", 2, true, true},
    {"copied: the host cannot view them", 2, false, true},
    {"copied: a host of the first version", 1, true, false},
};

// The module, with the rows the host handed out in place counted on their way.
const SourceImageSuite* gHostSuite = nullptr;
SourceImageSuite gCountingSuite{};
int gStripsViewed = 0;

OSErr countView(const VRect* rect, const void** data, std::int32_t* rowBytes) {
    const OSErr result = gHostSuite->viewSource(rect, data, rowBytes);
    gStripsViewed += result == noErr && rect != nullptr ? 1 : 0;
    return result;
}

void countingEntry(std::int16_t selector, FilterRecord* record, intptr_t* data, std::int16_t* result) {
    if (record->sourceImage != nullptr && record->sourceImage->version >= 2) {
        gHostSuite = record->sourceImage;
        gCountingSuite = *gHostSuite;
        gCountingSuite.viewSource = countView;
        record->sourceImage = &gCountingSuite;
    }
    PluginMain(selector, record, data, result);
}

// Runs the module on a canvas from `source`; the canvas afterwards, and the run's result.
std::pair<Document, std::int16_t> render(const Format& format, const Hand& hand, Document source, const RowGate* rows) {
    Document canvas = randomDocument(96, 48, format.colorPlanes, format.alpha, format.depth, 3);
    RunSettingsOptions settings;
    settings.input = findInputProjection("1"), settings.output = findOutputProjection("Mollweide");
    DescriptorStore store;
    std::string error;
    EXPECT_TRUE(offerRunDescriptor(settings, store, error)) << error;
    HostOptions options{.descriptorParameters = &store.parameters()};
    options.source = &source, options.sourceRows = rows;
    options.sourceSuiteVersion = hand.suiteVersion, options.viewSourceInPlace = hand.inPlace;
    if (hand.letGo)
        options.sourceRowsTaken = [&source](std::int32_t top, std::int32_t bottom) {
            std::memset(source.sample(0, top, 0), 0, static_cast<std::size_t>(bottom - top) * source.rowBytes());
        };
    FilterHost host(canvas, options);
    std::string said;
    gStripsViewed = 0;
    const std::int16_t result = host_test::quietRun(host, countingEntry, false, &said).result;
    std::filesystem::remove(cachedSettingsPath());  // the next run must not start from these settings
    return {std::move(canvas), result};
}

TEST(SourceRows, RenderTheSamePixelsHoweverTheHostHandsThemOut) {
    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.what);
        // 150 rows: two strips of the module's and part of a third.
        const Document source = randomDocument(300, 150, format.colorPlanes, format.alpha, format.depth, 11);
        const auto [first, firstResult] = render(format, kHands[0], source, nullptr);
        ASSERT_EQ(firstResult, noErr);
        for (const Hand& hand : kHands) {
            SCOPED_TRACE(hand.what);
            const auto [canvas, result] = render(format, hand, source, nullptr);
            ASSERT_EQ(result, noErr);
            // Every strip is stored from where the host holds it when it can hand it out so.
            EXPECT_EQ(gStripsViewed, hand.suiteVersion >= 2 && hand.inPlace ? 3 : 0);
            EXPECT_TRUE(
                std::equal(canvas.pixels.begin(), canvas.pixels.end(), first.pixels.begin(), first.pixels.end()));
        }
    }
}

TEST(SourceRows, ASourceThatBreaksOffFailsTheRunWithTheFilesError) {
    const Format& format = kFormats[0];
    const Document source = randomDocument(300, 150, format.colorPlanes, format.alpha, format.depth, 11);
    for (const Hand& hand : kHands) {
        SCOPED_TRACE(hand.what);
        RowGate rows;
        rows.publish(100);  // a strip and a half came in, then the file ended
        rows.end();
        EXPECT_EQ(render(format, hand, source, &rows).second, readErr);
    }
}

}  // namespace
}  // namespace globaro
