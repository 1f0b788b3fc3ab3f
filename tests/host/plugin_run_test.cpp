// Whole runs of the filter module through the standalone host, both with the
// module loaded from its file as an editor loads it and with the module's code
// linked in.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "app/document.h"
#include "app/filter_host.h"
#include "app/module_loader.h"
#include "host/plugin_properties.h"
#include "settings/filter_data.h"
#include "settings/settings_record.h"

extern "C" void PluginMain(std::int16_t selector, FilterRecord* record, intptr_t* data, std::int16_t* result);

namespace globaro {
namespace {

Document randomDocument(std::int32_t w, std::int32_t h, int planes, bool alpha, int depth, unsigned seed) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, w, h, planes, alpha, depth, error)) << error;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            for (int p = 0; p < d.planes(); ++p) d.setValue(x, y, p, u(rng));
    return d;
}

// Largest difference between two documents of one layout, in 0..1 units.
float maxDifference(const Document& a, const Document& b) {
    float worst = 0.0f;
    for (std::int32_t y = 0; y < a.height; ++y)
        for (std::int32_t x = 0; x < a.width; ++x)
            for (int p = 0; p < a.planes(); ++p) worst = std::max(worst, std::abs(a.value(x, y, p) - b.value(x, y, p)));
    return worst;
}

// Opaque documents: composited over itself, an image with partial
// transparency would (rightly) change.
Document opaqueDocument(std::int32_t w, std::int32_t h, int planes, bool alpha, int depth, unsigned seed) {
    Document d = randomDocument(w, h, planes, alpha, depth, seed);
    if (alpha)
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x) d.setValue(x, y, planes, 1.0f);
    return d;
}

// The tolerance of an identity render: two steps of 8 bits, four of 16; floats
// pass through the pyramid's 0..65535 scale.
float oneStep(const Document& d) { return d.depth == 8 ? 2.01f / 255.0f : d.depth == 16 ? 4.0f / 32768.0f : 1e-4f; }

const LoadedModule& module() {
    static LoadedModule m = [] {
        LoadedModule loaded;
        std::string error;
        EXPECT_TRUE(loadModule(GLOBARO_MODULE_PATH, loaded, error)) << error;
        return loaded;
    }();
    return m;
}

struct DocCase {
    int planes;
    bool alpha;
    int depth;
};

class WholeRun : public ::testing::TestWithParam<DocCase> {};

// With the default settings (equirectangular in and out, no turn) a run
// hands every pixel back as it was, within a step of the depth: the whole
// path (pyramid load, tiles, shading, compositing, writing at the depth,
// taking the tiles back) is checked at every depth and layout.
TEST_P(WholeRun, IdentityRenderReproducesTheImage) {
    const DocCase c = GetParam();
    // Panoramas (2:1) whose sizes are not multiples of the tile size.
    for (auto [w, h] : {std::pair{134, 67}, std::pair{300, 150}}) {
        Document doc = opaqueDocument(w, h, c.planes, c.alpha, c.depth, 7);
        const Document original = doc;
        FilterHost host(doc);
        testing::internal::CaptureStderr();
        const RunReport report = host.run(module().entry, true);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(report.result, 0);
        EXPECT_EQ(report.selectorsCalled, (std::vector<std::int16_t>{1, 2, 3, 4, 5}));
        EXPECT_GE(report.tilesDelivered, ((w + 127) / 128) * ((h + 127) / 128));
        EXPECT_LE(maxDifference(doc, original), oneStep(doc));
        EXPECT_EQ(host.liveHandles(), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, WholeRun,
                         ::testing::Values(DocCase{1, false, 8}, DocCase{3, false, 8}, DocCase{3, true, 8},
                                           DocCase{1, true, 16}, DocCase{3, false, 16}, DocCase{1, false, 32},
                                           DocCase{3, true, 32}));

// Hosts and images the filter cannot serve: its own message, result 1, the
// image untouched and nothing left requested.
TEST(Refusals, HostsAndImagesTheFilterCannotServe) {
    const std::pair<const char*, void (*)(HostOptions&)> cases[] = {
        {"Plug-in error: The filter cannot run because your paint program does not support enough of the "
         "Photoshop 3.0 plug-in standard.",
         [](HostOptions& o) { o.offerAdvanceState = false; }},
        {"The filter cannot handle multichannel images, only greyscale and RGB.",
         [](HostOptions& o) { o.imageModeOverride = plugInModeMultichannel; }},
    };
    for (const auto& [says, adjust] : cases) {
        Document doc = randomDocument(32, 16, 3, false, 8, 1);
        const auto original = doc.pixels;
        HostOptions options;
        adjust(options);
        FilterHost host(doc, options);
        testing::internal::CaptureStderr();
        const RunReport report = host.run(PluginMain, false);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(report.result, 1) << says;
        EXPECT_NE(said.find(says), std::string::npos) << said;
        EXPECT_EQ(doc.pixels, original);
        EXPECT_EQ(host.record().inRect.bottom, 0);
    }
}

TEST(Selectors, StartWithoutHandlesIsBadParameters) {
    Document doc = randomDocument(8, 8, 3, false, 8, 1);
    FilterHost host(doc);
    EXPECT_EQ(host.call(PluginMain, filterSelectorStart), filterBadParameters);
    EXPECT_EQ(host.liveHandles(), 0);
}

TEST(Selectors, AboutTouchesNoHandles) {
    Document doc = randomDocument(8, 8, 3, false, 8, 1);
    FilterHost host(doc);
    testing::internal::CaptureStderr();
    EXPECT_EQ(host.call(PluginMain, filterSelectorAbout), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(host.liveHandles(), 0);
    EXPECT_EQ(host.record().parameters, nullptr);
}

TEST(Selectors, PrepareNegotiatesMemoryAndResetsSettings) {
    Document doc = randomDocument(400, 300, 3, false, 8, 1);
    HostOptions options;
    options.maxSpace = 10000000;
    FilterHost host(doc, options);
    // fillRecord runs at each call; make maxSpace stick by calling prepare once.
    EXPECT_EQ(host.call(PluginMain, filterSelectorPrepare), 0);
    EXPECT_EQ(host.record().maxSpace, 3 * 256 * 256 * 2);
    EXPECT_EQ(host.record().bufferSpace, 0);
    const auto* settings = static_cast<const SettingsRecord*>(host.parameterBlock());
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->version, kVersionUnread);
    EXPECT_EQ(settings->previewStep, 1);
    EXPECT_EQ(settings->fov, 120.0f);
    EXPECT_STREQ(settings->settingsName, "Globaro 2 settings");

    // With a mask one more plane is counted; a small maxSpace is kept.
    Document masked = randomDocument(100, 50, 1, false, 8, 1);
    masked.mask.assign(100 * 50, 255);
    HostOptions small;
    small.maxSpace = 1000;
    FilterHost second(masked, small);
    EXPECT_EQ(second.call(PluginMain, filterSelectorPrepare), 0);
    EXPECT_EQ(second.record().maxSpace, 1000);
    HostOptions large;
    FilterHost third(masked, large);
    EXPECT_EQ(third.call(PluginMain, filterSelectorPrepare), 0);
    EXPECT_EQ(third.record().maxSpace, 2 * 100 * 50 * 2);
}

TEST(Selectors, ContinueAsksForNothing) {
    Document doc = randomDocument(8, 8, 3, false, 8, 1);
    FilterHost host(doc);
    ASSERT_EQ(host.call(PluginMain, filterSelectorPrepare), 0);
    host.record().inRect = {0, 0, 4, 4};
    host.record().outRect = {0, 0, 4, 4};
    host.record().maskRect = {0, 0, 4, 4};
    EXPECT_EQ(host.call(PluginMain, filterSelectorContinue), 0);
    EXPECT_EQ(host.record().inRect.bottom, 0);
    EXPECT_EQ(host.record().outRect.right, 0);
    EXPECT_EQ(host.record().maskRect.bottom, 0);
}

TEST(Selectors, HandlesSurviveBetweenRuns) {
    Document doc = randomDocument(16, 16, 3, false, 8, 2);
    FilterHost host(doc);
    ASSERT_EQ(host.run(PluginMain, true).result, 0);
    const Handle parameters = host.record().parameters;
    ASSERT_EQ(host.run(PluginMain, false).result, 0);
    EXPECT_EQ(host.record().parameters, parameters);
    EXPECT_EQ(host.liveHandles(), 2);
}

TEST(PropertyList, TheModuleDescribesItself) {
    const PropertyList& list = module().properties;
    EXPECT_EQ(list.properties.size(), 10u);
    EXPECT_EQ(list.pascalString(GLOBARO_FOURCC('n', 'a', 'm', 'e')), "Globaro 2...");
    EXPECT_EQ(list.pascalString(GLOBARO_FOURCC('c', 'a', 't', 'g')), "Quillmoor");
    EXPECT_EQ(list.cString(GLOBARO_FOURCC('8', '6', '6', '4')), "PluginMain");
    EXPECT_EQ(list.cString(GLOBARO_FOURCC('e', 'n', 'b', 'l')),
              "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, Gray32Mode, RGB96Mode) ) && "
              "(PSHOP_ImageMode !=  MultichannelMode) ");
    const char* order[] = {"kind", "name", "catg", "vers", "8664", "hstm", "mode", "enbl", "enbl", "fici"};
    for (std::size_t i = 0; i < list.properties.size(); ++i)
        EXPECT_EQ(list.properties[i].key, GLOBARO_FOURCC(order[i][0], order[i][1], order[i][2], order[i][3]));
    const PluginProperty* mode = list.find(GLOBARO_FOURCC('m', 'o', 'd', 'e'));
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->data[0], 0x50);
    EXPECT_EQ(mode->data[1], 0x00);
    const PluginProperty* cases = list.find(GLOBARO_FOURCC('f', 'i', 'c', 'i'));
    ASSERT_NE(cases, nullptr);
    ASSERT_EQ(cases->data.size(), 28u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(cases->data[i * 4 + 2], 1);
    // The bytes in the file are the bytes the module was built with.
    const auto built = pluginPropertyBytes();
    std::vector<std::uint8_t> fromFile;
    std::string error;
    ASSERT_TRUE(readElfSection(GLOBARO_MODULE_PATH, ".pipl", fromFile, error)) << error;
    EXPECT_EQ(fromFile, std::vector<std::uint8_t>(built.begin(), built.end()));
}

TEST(PropertyList, ImageModesTheFilterAccepts) {
    const PropertyList& list = module().properties;
    std::string why;
    for (int mode : {plugInModeGrayScale, plugInModeRGBColor, plugInModeGray16, plugInModeRGB48, plugInModeGray32,
                     plugInModeRGB96})
        EXPECT_TRUE(moduleAcceptsImageMode(list, mode, why)) << imageModeName(mode);
    for (int mode : {plugInModeBitmap, plugInModeIndexedColor, plugInModeCMYKColor, plugInModeMultichannel,
                     plugInModeLabColor, plugInModeDuotone, plugInModeCMYK64}) {
        EXPECT_FALSE(moduleAcceptsImageMode(list, mode, why)) << imageModeName(mode);
        EXPECT_NE(why.find(imageModeName(mode)), std::string::npos);
    }
}

TEST(PropertyList, EnableConditions) {
    bool enabled = false;
    std::string error;
    ASSERT_TRUE(evaluateEnableCondition("PSHOP_ImageMode == RGBMode || PSHOP_ImageMode == LabMode", 9, enabled, error));
    EXPECT_TRUE(enabled);
    ASSERT_TRUE(evaluateEnableCondition("!(PSHOP_ImageMode == RGBMode)", 3, enabled, error));
    EXPECT_FALSE(enabled);
    EXPECT_FALSE(evaluateEnableCondition("in (PSHOP_ImageMode, Banana)", 3, enabled, error));
    EXPECT_NE(error.find("Banana"), std::string::npos);
    EXPECT_FALSE(evaluateEnableCondition("(PSHOP_ImageMode == RGBMode", 3, enabled, error));
    EXPECT_FALSE(evaluateEnableCondition("", 3, enabled, error));
}

TEST(ModuleFiles, NonModulesAreRejectedWithAReason) {
    LoadedModule m;
    std::string error;
    EXPECT_FALSE(loadModule("/nonexistent/Globaro2.so", m, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);

    const std::string text = ::testing::TempDir() + "not_a_module.so";
    std::ofstream(text) << "hello";
    EXPECT_FALSE(loadModule(text, m, error));
    EXPECT_NE(error.find("not a 64-bit ELF module"), std::string::npos);

    // An ELF file without a property list: the standalone host's program.
    EXPECT_FALSE(loadModule(GLOBARO_CLI_PATH, m, error));
    EXPECT_NE(error.find("no .pipl section"), std::string::npos);

    // A module file cut short.
    std::ifstream in(GLOBARO_MODULE_PATH, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string cut = ::testing::TempDir() + "cut_module.so";
    std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 3));
    EXPECT_FALSE(loadModule(cut, m, error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace globaro

#include "app/descriptor_store.h"
#include "settings/memory_dots.h"

namespace globaro {
namespace {

TEST(RunState, CachedSettingsAndDescriptorAreWritten) {
    Document doc = randomDocument(40, 20, 3, false, 8, 4);
    DescriptorStore store;
    HostOptions options;
    options.descriptorParameters = &store.parameters();
    FilterHost host(doc, options);
    std::filesystem::remove(cachedSettingsPath());
    testing::internal::CaptureStderr();
    ASSERT_EQ(host.run(PluginMain, true).result, 0);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::filesystem::exists(cachedSettingsPath()));
    const RecordedDescriptor* recorded = store.current();
    ASSERT_NE(recorded, nullptr);
    const DescriptorValue* version = recorded->find(GLOBARO_FOURCC('V', 'e', 'r', 's'));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->integer, 48);
    EXPECT_NE(recorded->find(GLOBARO_FOURCC('K', 'o', 'k', 'y')), nullptr);
}

TEST(RunState, ReplayWithoutDialogShowsNoDialog) {
    Document doc = randomDocument(40, 20, 3, false, 8, 4);
    DescriptorStore store;
    RecordedDescriptor descriptor;
    descriptor.put(GLOBARO_FOURCC('V', 'e', 'r', 's'), DescriptorValue::makeInteger(48));
    store.offer(descriptor, plugInDialogDontDisplay);
    HostOptions options;
    options.descriptorParameters = &store.parameters();
    FilterHost host(doc, options);
    testing::internal::CaptureStderr();
    ASSERT_EQ(host.run(PluginMain, true).result, 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find("No dialog"), std::string::npos) << said;
    // Play information that asks for the dialog does.
    store.offer(descriptor, plugInDialogDisplay);
    testing::internal::CaptureStderr();
    ASSERT_EQ(host.run(PluginMain, false).result, 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("No dialog"), std::string::npos);
}

}  // namespace
}  // namespace globaro
