// The render routine through the standalone host: the host image is loaded
// into the working pyramid once and serves the host, preview and export
// targets in turn. (The mask and cancelled runs are the composite and driver
// tests' cases.)

#include "host/render_host_adapter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "app/document.h"
#include "app/filter_host.h"

namespace globaro {
namespace {

// What the fake module does during its start call.
struct ModuleState {
    SettingsRecord settings;
    RenderSession session;
    std::int16_t startResult = 0;
    std::int32_t messageCode = 0;
    int loadsSeen = 0;
    PreviewBuffer preview;
    ExportImage exportImage;
    bool alsoPreviewAndExport = false;
};
ModuleState* gModule = nullptr;

void fakeEntry(std::int16_t selector, FilterRecord* record, intptr_t*, std::int16_t* result) {
    *result = 0;
    HostServices host(record, &gModule->settings);
    if (selector == filterSelectorStart) {
        *result = renderTo(kRenderToHost, host, gModule->settings, gModule->session, {}, result, &gModule->messageCode);
        gModule->loadsSeen += gModule->session.inputLoaded() ? 1 : 0;
        if (gModule->alsoPreviewAndExport && *result == 0) {
            HostRenderTargets t;
            PreviewBuffer& p = gModule->preview;
            p.width = 40;
            p.height = 20;
            p.planes = 3;
            p.bytes.assign(40 * 20 * 3, 0);
            t.preview = &p;
            t.previewRect = VRect{0, 0, 20, 40};
            gModule->settings.previewStep = 4;
            *result = renderTo(kRenderToPreview, host, gModule->settings, gModule->session, t);
            gModule->settings.previewStep = 1;
            if (*result == 0) {
                ExportImage& e = gModule->exportImage;
                ASSERT_TRUE(e.allocate(64, 32));
                HostRenderTargets te;
                te.exportImage = &e;
                *result = renderTo(kRenderToExport, host, gModule->settings, gModule->session, te);
            }
        }
        gModule->startResult = *result;
    } else if (selector == filterSelectorContinue) {
        host.clearRequest();
    }
}

void paint(Document& doc) {
    for (std::int32_t y = 0; y < doc.height; ++y)
        for (std::int32_t x = 0; x < doc.width; ++x) {
            const double u = (x + 0.5) / doc.width, v = (y + 0.5) / doc.height;
            doc.setValue(x, y, 0, static_cast<float>(0.5 + 0.4 * std::sin(6.283185307 * u)));
            doc.setValue(x, y, 1, static_cast<float>(0.2 + 0.6 * v));
            doc.setValue(x, y, 2, static_cast<float>(0.5 + 0.3 * std::cos(6.283185307 * 2 * u) * std::sin(3.1 * v)));
        }
}

void resetModule(ModuleState& m) {
    std::memset(static_cast<void*>(&m.settings), 0, sizeof m.settings);
    resetRunState(m.settings);
    resetToDefaults(m.settings);
    m.session.release();
}

TEST(RenderHostAdapter, IdentityRenderThroughTheHost) {
    std::string error;
    Document doc;
    ASSERT_TRUE(makeDocument(doc, 300, 150, 3, false, 8, error)) << error;
    paint(doc);
    const Document before = doc;
    ModuleState module;
    resetModule(module);
    module.alsoPreviewAndExport = true;
    gModule = &module;
    FilterHost host(doc);
    const RunReport report = host.run(fakeEntry, false);
    gModule = nullptr;
    ASSERT_EQ(report.result, 0);
    EXPECT_EQ(module.startResult, 0);
    EXPECT_EQ(module.loadsSeen, 1);
    EXPECT_EQ(module.settings.progressDone, kProgressIdle);
    EXPECT_EQ(module.settings.renderTarget, kRenderToExport);  // the last render's target stays
    // Equirectangular in and out: the picture comes back (8-bit rounding).
    int worst = 0;
    for (std::int32_t y = 0; y < doc.height; ++y)
        for (std::int32_t x = 0; x < doc.width; ++x)
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(*doc.sample(x, y, c) - *before.sample(x, y, c)));
    EXPECT_LE(worst, 2);
    // The preview and the export image were written.
    int nonZero = 0;
    for (std::uint8_t b : module.preview.bytes) nonZero += b != 0;
    EXPECT_GT(nonZero, 40 * 20);
    float alphaSum = 0;
    for (std::size_t i = 3; i < module.exportImage.pixels.size(); i += 4) alphaSum += module.exportImage.pixels[i];
    EXPECT_NEAR(alphaSum, 64.0f * 32.0f, 1e-2f);
}

}  // namespace
}  // namespace globaro
