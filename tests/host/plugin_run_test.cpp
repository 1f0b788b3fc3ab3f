// The module's selectors through the standalone host, the module file, and what a run leaves behind.

#include <filesystem>
#include <fstream>

#include "app/module_loader.h"
#include "host/module_dialog.h"
#include "host/plugin_properties.h"
#include "settings/memory_dots.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

using host_test::quietRun;
using host_test::randomDocument;

const LoadedModule& module() {
    static LoadedModule m = [] {
        LoadedModule loaded;
        std::string error;
        EXPECT_TRUE(loadModule(GLOBARO_MODULE_PATH, loaded, error)) << error;
        return loaded;
    }();
    return m;
}

// Its own message, result 1, the image untouched and nothing left requested.
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
        std::string said;
        EXPECT_EQ(quietRun(host, PluginMain, false, &said).result, 1) << says;
        EXPECT_NE(said.find(says), std::string::npos) << said;
        EXPECT_TRUE(doc.pixels == original && host.record().inRect.bottom == 0) << says;
    }
}

TEST(Selectors, StartWithoutHandlesAboutAndContinue) {
    Document doc = randomDocument(8, 8, 3, false, 8, 1);
    FilterHost host(doc);
    EXPECT_EQ(host.call(PluginMain, filterSelectorStart), filterBadParameters);
    testing::internal::CaptureStderr();
    EXPECT_EQ(host.call(PluginMain, filterSelectorAbout), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(host.liveHandles() == 0 && host.record().parameters == nullptr);
    // Continue asks for nothing more.
    ASSERT_EQ(host.call(PluginMain, filterSelectorPrepare), 0);
    host.record().inRect = host.record().outRect = host.record().maskRect = {0, 0, 4, 4};
    EXPECT_EQ(host.call(PluginMain, filterSelectorContinue), 0);
    EXPECT_EQ(std::tuple(host.record().inRect.bottom, host.record().outRect.right, host.record().maskRect.bottom),
              std::tuple(0, 0, 0));
}

TEST(Selectors, PrepareNegotiatesMemoryAndResetsSettings) {
    Document doc = randomDocument(400, 300, 3, false, 8, 1);
    FilterHost host(doc, {.maxSpace = 10000000});
    EXPECT_EQ(host.call(PluginMain, filterSelectorPrepare), 0);
    EXPECT_EQ(std::pair(host.record().maxSpace, host.record().bufferSpace), std::pair(3 * 256 * 256 * 2, 0));
    const auto* settings = static_cast<const SettingsRecord*>(host.parameterBlock());
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(std::tuple(settings->version, settings->previewStep, settings->fov),
              std::tuple(kVersionUnread, 1, 120.0f));
    // With a mask one more plane is counted; a small maxSpace is kept.
    Document masked = randomDocument(100, 50, 1, false, 8, 1);
    masked.mask.assign(100 * 50, 255);
    for (std::int32_t maxSpace : {1000, 0}) {
        FilterHost second(masked, maxSpace != 0 ? HostOptions{.maxSpace = maxSpace} : HostOptions{});
        EXPECT_EQ(second.call(PluginMain, filterSelectorPrepare), 0);
        EXPECT_EQ(second.record().maxSpace, maxSpace != 0 ? maxSpace : 2 * 100 * 50 * 2);
    }
}

TEST(ModuleFiles, TheLoadedModuleRunsAndKeepsItsHandles) {
    Document doc = randomDocument(32, 16, 3, false, 8, 2);
    const Document original = doc;
    FilterHost host(doc);
    ASSERT_EQ(quietRun(host, module().entry, true).result, 0);
    EXPECT_LE(host_test::maxDifference(doc, original), host_test::oneStep(doc));
    const Handle parameters = host.record().parameters;
    ASSERT_EQ(quietRun(host, module().entry, false).result, 0);
    EXPECT_TRUE(host.record().parameters == parameters && host.liveHandles() == 2);
}

TEST(PropertyList, TheModuleFileDescribesTheModuleAndItsImageModes) {
    const PropertyList& list = module().properties;
    EXPECT_EQ(list.pascalString(GLOBARO_FOURCC('n', 'a', 'm', 'e')), "Globaro 2...");
    // The bytes in the file are the bytes the module was built with.
    const auto built = pluginPropertyBytes();
    std::vector<std::uint8_t> fromFile;
    std::string why;
    ASSERT_TRUE(readElfSection(GLOBARO_MODULE_PATH, ".pipl", fromFile, why)) << why;
    EXPECT_EQ(fromFile, std::vector<std::uint8_t>(built.begin(), built.end()));
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
    EXPECT_TRUE(std::exchange(enabled, true));
    ASSERT_TRUE(evaluateEnableCondition("!(PSHOP_ImageMode == RGBMode)", 3, enabled, error));
    EXPECT_FALSE(enabled);
    for (const char* bad : {"(PSHOP_ImageMode == RGBMode", "", "in (PSHOP_ImageMode, Banana)"})
        EXPECT_FALSE(evaluateEnableCondition(bad, 3, enabled, error)) << bad;
    EXPECT_NE(error.find("Banana"), std::string::npos);
}

TEST(ModuleFiles, NonModulesAreRejectedWithAReason) {
    LoadedModule m;
    std::string error;
    const std::string text = ::testing::TempDir() + "not_a_module.so";
    std::ofstream(text) << "hello";
    // No file, a text file, an ELF file without a property list (the standalone host's program).
    for (const auto& [path, says] : {std::pair<std::string, std::string>{"/nonexistent/Globaro2.so", "cannot open"},
                                     {text, "not a 64-bit ELF module"},
                                     {GLOBARO_CLI_PATH, "no .pipl section"}}) {
        EXPECT_FALSE(loadModule(path, m, error)) << path;
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
    // A module file cut short.
    std::ifstream in(GLOBARO_MODULE_PATH, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string cut = ::testing::TempDir() + "cut_module.so";
    std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 3));
    EXPECT_FALSE(loadModule(cut, m, error));
    EXPECT_FALSE(error.empty());
}

// A run writes the cached settings and its descriptor; a replay shows the dialog only when asked to.
TEST(RunState, CachedSettingsDescriptorAndReplay) {
    Document doc = randomDocument(40, 20, 3, false, 8, 4);
    DescriptorStore store;
    FilterHost host(doc, {.descriptorParameters = &store.parameters()});
    std::filesystem::remove(cachedSettingsPath());
    ASSERT_EQ(quietRun(host, PluginMain, true).result, 0);
    EXPECT_TRUE(std::filesystem::exists(cachedSettingsPath()));
    ASSERT_NE(store.current(), nullptr);
    const DescriptorValue* version = store.current()->find(GLOBARO_FOURCC('V', 'e', 'r', 's'));
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->integer == 48 && store.current()->find(GLOBARO_FOURCC('K', 'o', 'k', 'y')) != nullptr);
    RecordedDescriptor descriptor;
    descriptor.put(GLOBARO_FOURCC('V', 'e', 'r', 's'), DescriptorValue::makeInteger(48));
    setModuleDialogProgram(::testing::TempDir() + "no-such-dialog-program");
    for (std::int16_t play : {plugInDialogDontDisplay, plugInDialogDisplay}) {
        store.offer(descriptor, play);
        std::string said;
        ASSERT_EQ(quietRun(host, PluginMain, true, &said).result, 0);
        EXPECT_EQ(said.find("The dialog cannot be shown") != std::string::npos, play == plugInDialogDisplay) << said;
    }
    setModuleDialogProgram("");
}

}  // namespace
}  // namespace globaro
