// The render routine through the standalone host: host, preview and export targets from one pyramid.

#include "host/render_host_adapter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

// What the fake module does during its start call: the three renders in turn.
struct ModuleState {
    SettingsRecord settings = host_test::preparedSettings();
    RenderSession session;
    std::int16_t startResult = -1;
    int loadsSeen = 0;
    PreviewBuffer preview;
    ExportImage exportImage;
};
ModuleState* gModule = nullptr;

void fakeEntry(std::int16_t selector, FilterRecord* record, intptr_t*, std::int16_t* result) {
    *result = 0;
    ModuleState& m = *gModule;
    HostServices host(record, &m.settings);
    if (selector == filterSelectorContinue) host.clearRequest();
    if (selector != filterSelectorStart) return;
    std::int32_t messageCode = 0;
    *result = renderTo(kRenderToHost, host, m.settings, m.session, {}, result, &messageCode);
    m.loadsSeen += m.session.inputLoaded() ? 1 : 0;
    HostRenderTargets preview, exported;
    m.preview = {40, 20, 3, std::vector<std::uint8_t>(40 * 20 * 3)};
    preview.preview = &m.preview;
    preview.previewRect = VRect{0, 0, 20, 40};
    m.settings.previewStep = 4;
    if (*result == 0) *result = renderTo(kRenderToPreview, host, m.settings, m.session, preview);
    m.settings.previewStep = 1;
    exported.exportImage = &m.exportImage;
    if (*result == 0 && m.exportImage.allocate(64, 32))
        *result = renderTo(kRenderToExport, host, m.settings, m.session, exported);
    m.startResult = *result;
}

TEST(RenderHostAdapter, OneLoadServesHostPreviewAndExport) {
    Document doc = host_test::randomDocument(300, 150, 3, false, 8, 3);
    const Document before = doc;
    ModuleState module;
    gModule = &module;
    FilterHost host(doc);
    const RunReport report = host.run(fakeEntry, false);
    gModule = nullptr;
    ASSERT_EQ(report.result, 0);
    // One load; the last render's target stays.
    EXPECT_EQ(
        std::tuple(module.startResult, module.loadsSeen, module.settings.progressDone, module.settings.renderTarget),
        std::tuple(0, 1, kProgressIdle, kRenderToExport));
    // Equirectangular in and out: the picture comes back.
    EXPECT_LE(host_test::maxDifference(doc, before), host_test::oneStep(doc));
    // The preview and the export image were written.
    EXPECT_GT(std::count_if(module.preview.bytes.begin(), module.preview.bytes.end(), [](auto b) { return b != 0; }),
              40 * 20);
    float alphaSum = 0;
    for (std::size_t i = 3; i < module.exportImage.pixels.size(); i += 4) alphaSum += module.exportImage.pixels[i];
    EXPECT_NEAR(alphaSum, 64.0f * 32.0f, 1e-2f);
}

// A module whose start call renders into the host image only, each run from
// a session of its own as the real module's.
void hostOnlyEntry(std::int16_t selector, FilterRecord* record, intptr_t*, std::int16_t* result) {
    *result = 0;
    static SettingsRecord settings;
    settings = host_test::preparedSettings();
    HostServices host(record, &settings);
    if (selector == filterSelectorContinue) host.clearRequest();
    if (selector != filterSelectorStart) return;
    RenderSession session;
    *result = renderTo(kRenderToHost, host, settings, session, {}, result);
}

// What the frame plan holds after a run: nothing, the key of the last render
// alone, or the records of its tiles too.
enum class Held { kNothing, kKey, kRecords };

TEST(RenderHostAdapter, TheFramePlanLivesOnlyWhileFramesFollow) {
    constexpr std::int32_t kWidth = 300, kHeight = 150;
    struct Run {
        std::int32_t framesToFollow;
        Held after;
    };
    struct Case {
        const char* name;
        std::vector<Run> runs;  // one image of one size, filtered with the same settings
    };
    const Case cases[] = {
        {"an editor filtering the image again and again",
         {{0, Held::kNothing}, {0, Held::kNothing}, {0, Held::kNothing}}},
        {"a batch of four frames", {{3, Held::kKey}, {2, Held::kRecords}, {1, Held::kRecords}, {0, Held::kNothing}}},
        {"a batch of two, then an editor's runs",
         {{1, Held::kKey}, {0, Held::kNothing}, {0, Held::kNothing}, {0, Held::kNothing}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::size_t i = 0; i < c.runs.size(); ++i) {
            SCOPED_TRACE(i);
            Document doc = host_test::randomDocument(kWidth, kHeight, 3, false, 8, static_cast<unsigned>(i + 1));
            HostOptions options;
            options.framesToFollow = c.runs[i].framesToFollow;
            FilterHost host(doc, options);
            ASSERT_EQ(host.run(hostOnlyEntry, false).result, 0);
            const std::size_t held = hostFramePlanBytes();
            switch (c.runs[i].after) {
                case Held::kNothing:
                    EXPECT_EQ(held, 0u);
                    break;
                case Held::kKey:
                    EXPECT_GT(held, 0u);
                    EXPECT_LT(held, std::size_t{kWidth} * kHeight);
                    break;
                case Held::kRecords:
                    EXPECT_GE(held, std::size_t{9} * kWidth * kHeight);
                    break;
            }
        }
    }
}

}  // namespace
}  // namespace globaro
