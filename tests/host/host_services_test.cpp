// The host services layer, through a filter record filled by hand and through the standalone host.

#include "host/host_services.h"

#include <gmock/gmock.h>

#include <array>
#include <tuple>

#include "host/descriptor_keys.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

std::vector<std::pair<std::int32_t, std::int32_t>> gProgress;
void recordProgress(std::int32_t done, std::int32_t total) { gProgress.emplace_back(done, total); }

TEST(Progress, TheHostSeesOneMoreThanDoneButNeverBeyondTheTotal) {
    FilterRecord record{.progressProc = recordProgress};
    SettingsRecord settings{};
    const HostServices host(&record, &settings);
    gProgress.clear();
    for (std::int32_t done : {0, 499, 999, 1000}) host.updateProgress(done, 1000);
    EXPECT_EQ(gProgress, (decltype(gProgress){{1, 1000}, {500, 1000}, {1000, 1000}, {1000, 1000}}));
    record.progressProc = nullptr;
    host.updateProgress(5, 10);  // no callback: nothing happens
    EXPECT_EQ(gProgress.size(), 4u);
}

TEST(PixelFormats, DerivedFromModeAndDepth) {
    // Grey or rgb and the sample type ("-" for modes not served), scale and middle grey; a 32-bit depth is float
    // whatever the mode says.
    // clang-format off
    const std::tuple<int, int, const char*, float, float> cases[] = {
        {plugInModeGrayScale, 8, "grey 8", 255.0f, 128.0f},    {plugInModeRGBColor, 8, "rgb 8", 255.0f, 128.0f},
        {plugInModeGray16, 16, "grey 16", 32768.0f, 16384.0f}, {plugInModeRGB48, 16, "rgb 16", 32768.0f, 16384.0f},
        {plugInModeGray32, 32, "grey float", 1.0f, 32767.0f},  {plugInModeRGB96, 32, "rgb float", 1.0f, 32767.0f},
        {plugInModeRGBColor, 32, "rgb float", 1.0f, 32767.0f}, {plugInModeCMYKColor, 8, "-", 0, 0},
        {plugInModeMultichannel, 8, "-", 0, 0},                {plugInModeLabColor, 8, "-", 0, 0}};
    // clang-format on
    for (const auto& [mode, depth, kind, scale, middleGrey] : cases) {
        const PixelFormat f = pixelFormatFor(mode, depth, filterCaseFlatImageNoSelection);
        std::string got = !f.supported() ? "-" : f.grey ? "grey " : f.rgb ? "rgb " : "? ";
        if (f.supported()) got += f.isFloat ? "float" : f.bits16 ? "16" : f.bits8 ? "8" : "?";
        EXPECT_EQ(got, kind) << mode;
        EXPECT_EQ(f.grey + f.rgb + f.bits8 + f.bits16 + f.isFloat, kind[0] == '-' ? 0 : 2) << mode;
        if (kind[0] == '-') continue;
        EXPECT_EQ(std::tuple(f.sampleScale(), f.middleGrey(), f.colorFactor()),
                  std::tuple(scale, middleGrey, 1.0f / scale))
            << mode;
    }
    for (auto [filterCase, editable] : {std::pair{filterCaseEditableTransparencyNoSelection, true},
                                        {filterCaseEditableTransparencyWithSelection, true},
                                        {filterCaseProtectedTransparencyNoSelection, false}})
        EXPECT_EQ(pixelFormatFor(3, 8, filterCase).editableTransparency, editable) << filterCase;
}

// A hand-filled record around one tile of samples.
struct ManualHost {
    FilterRecord record{};
    SettingsRecord settings{};
    std::vector<std::uint8_t> in, out;
    ManualHost(int imageMode, int depth, int planes) {
        record.imageMode = std::int16_t(imageMode), record.depth = std::int16_t(depth),
        record.planes = std::int16_t(planes);
        record.filterCase = 1;
        resetRunState(settings), resetToDefaults(settings);
    }
    HostServices services() { return HostServices(&record, &settings); }
};

using Bytes = std::vector<std::uint8_t>;

// The bytes of `samples` as they lie in memory.
template <typename T>
Bytes bytesOf(std::initializer_list<T> samples) {
    const auto* at = reinterpret_cast<const std::uint8_t*>(std::data(samples));
    return Bytes(at, at + samples.size() * sizeof(T));
}

::testing::AssertionResult sameColor(const Color4& a, const Color4& b) {
    const float d = std::max(
        {std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue), std::abs(a.alpha - b.alpha)});
    return d <= 1e-6f ? ::testing::AssertionSuccess()
                      : ::testing::AssertionFailure() << a.red << " " << a.green << " " << a.blue << " " << a.alpha;
}

TEST(InputPixels, EveryDepthWithAndWithoutAlpha) {
    // 2 x 2 RGBA tile at rows 10..11, columns 20..21.
    ManualHost h(plugInModeRGBColor, 8, 4);
    h.in = {255, 0, 51, 102, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const TileView tile{h.in.data(), 8, 4, VRect{10, 20, 12, 22}};
    EXPECT_TRUE(sameColor(h.services().readInputPixel(10, 20, tile), Color4{1.0f, 0.0f, 0.2f, 0.4f}));
    EXPECT_TRUE(sameColor(h.services().readInputPixel(11, 21, tile),
                          Color4{9 / 255.0f, 10 / 255.0f, 11 / 255.0f, 12 / 255.0f}));
    // Outside the tile all four stay 0.
    for (auto [row, column] : {std::pair{12, 20}, {9, 20}, {10, 22}})
        EXPECT_TRUE(sameColor(h.services().readInputPixel(row, column, tile), Color4{})) << row << "," << column;
    ManualHost g(plugInModeGray16, 16, 1);
    g.in = bytesOf<std::uint16_t>({32768, 16384});
    const TileView greyTile{g.in.data(), 4, 1, VRect{0, 0, 1, 2}};
    EXPECT_TRUE(
        sameColor(g.services().readInputPixel(0, 1, greyTile), Color4{0.5f, 0.5f, 0.5f, 1.0f}));  // no alpha plane
    ManualHost f(plugInModeRGB96, 32, 3);
    f.in = bytesOf({1.5f, -0.25f, 0.75f});
    const TileView floatTile{f.in.data(), 12, 3, VRect{5, 5, 6, 6}};
    // Float samples are not clamped on input.
    EXPECT_TRUE(sameColor(f.services().readInputPixel(5, 5, floatTile), Color4{1.5f, -0.25f, 0.75f, 1.0f}));
}

TEST(MaskValues, CoverageRules) {
    ManualHost h(plugInModeRGBColor, 8, 3);
    std::vector<std::uint8_t> mask = {0, 128, 255, 64};
    const MaskView view{mask.data(), 2, VRect{0, 0, 2, 2}};
    EXPECT_EQ(h.services().readMaskValue(0, 0, view), 1.0f);  // no mask: everything is selected
    h.record.haveMask = 1;
    // Then: the mask's values, none outside its rectangle, all with no mask pointer.
    EXPECT_THAT(std::vector({h.services().readMaskValue(0, 0, view), h.services().readMaskValue(0, 1, view),
                             h.services().readMaskValue(1, 0, view), h.services().readMaskValue(5, 5, view),
                             h.services().readMaskValue(0, 0, MaskView{})}),
                ::testing::Pointwise(::testing::FloatEq(), {0.0f, 128.0f * 0.0039215684f, 1.0f, 0.0f, 1.0f}));
    h.record.hostSig = GLOBARO_FOURCC('A', 'f', 'f', 'P');
    EXPECT_EQ(h.services().readMaskValue(0, 0, view), 1.0f);
}

TEST(OutputPixels, HostTargetAtEveryDepth) {
    const Color4 color{1.0f, 0.5f, 0.25f, 0.75f};
    ManualHost h(plugInModeRGBColor, 8, 4);
    h.out.assign(4 * 4, 7), h.record.outRect = {0, 0, 2, 2};
    const MutableTileView tile{h.out.data(), 8, 4, VRect{0, 0, 2, 2}};
    h.services().writeOutputPixel(1, 1, color, tile, nullptr, nullptr);
    h.services().writeOutputPixel(2, 1, color, tile, nullptr, nullptr);  // outside the tile: nothing written
    // Overshoots and values that are not numbers cannot wrap around; 0.5 * 255 truncates.
    h.services().writeOutputPixel(0, 0, Color4{1.7f, -0.3f, NAN, 2.0f}, tile, nullptr, nullptr);
    EXPECT_EQ(h.out, (Bytes{255, 0, 0, 255, 7, 7, 7, 7, 7, 7, 7, 7, 255, 127, 63, 191}));
    ManualHost g(plugInModeGray16, 16, 1);
    g.out.assign(2, 0), g.record.outRect = {3, 4, 4, 5};
    g.services().writeOutputPixel(4, 3, color, MutableTileView{g.out.data(), 2, 1, VRect{3, 4, 4, 5}}, nullptr,
                                  nullptr);
    EXPECT_EQ(g.out, bytesOf<std::uint16_t>({16384}));  // grey takes the green channel
    ManualHost f(plugInModeRGB96, 32, 4);
    f.out.assign(16, 0), f.record.outRect = {0, 0, 1, 1};
    const MutableTileView floatTile{f.out.data(), 16, 4, VRect{0, 0, 1, 1}};
    f.services().writeOutputPixel(0, 0, Color4{1.25f, 0.5f, 0.25f, 0.75f}, floatTile, nullptr, nullptr);
    EXPECT_EQ(f.out, bytesOf({1.25f, 0.5f, 0.25f, 0.75f}));
}

TEST(OutputPixels, PreviewAndExportTargets) {
    ManualHost h(plugInModeRGBColor, 8, 3);
    h.settings.renderTarget = kRenderToPreview;
    PreviewBuffer preview{4, 2, 3, std::vector<std::uint8_t>(4 * 2 * 3)};
    const Color4 color{1.0f, 0.5f, 0.2f, 1.0f};
    h.services().writeOutputPixel(1, 1, color, MutableTileView{}, &preview, nullptr);
    // Positions are clamped to the buffer. Planes follow each other.
    h.services().writeOutputPixel(100, -3, Color4{0.0f, 1.0f, 0.0f, 1.0f}, MutableTileView{}, &preview, nullptr);
    EXPECT_EQ(preview.bytes, (Bytes{0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 0, 127, 0, 0, 0, 0, 0, 0, 0, 51, 0, 0}));
    PreviewBuffer grey{1, 1, 1, {0}};  // a one-plane preview takes green
    h.services().writeOutputPixel(0, 0, color, MutableTileView{}, &grey, nullptr);
    EXPECT_EQ(grey.bytes[0], 127);
    h.settings.renderTarget = kRenderToExport;
    ExportImage image;
    ASSERT_TRUE(image.allocate(3, 2));
    h.services().writeOutputPixel(2, 1, color, MutableTileView{}, nullptr, &image);
    h.services().writeOutputPixel(3, 0, color, MutableTileView{}, nullptr, &image);  // outside: ignored
    std::vector<float> want(3 * 2 * 4, 0.0f);
    std::copy_n(&color.red, 4, want.begin() + (1 * 3 + 2) * 4);
    EXPECT_TRUE(image.pixels == want && !image.allocate(0, 5));
}

TEST(TileRequests, StepFloatingOriginAndOffsets) {
    ManualHost h(plugInModeRGBColor, 8, 4);
    const FilterRecord& f = h.record;
    h.settings.previewStep = 3;
    h.services().requestTile(VRect{30, 0, 60, 90});
    // Rows and columns divided by the step, every plane, whole-sample rates,
    // edges replicated; no mask, no mask request.
    EXPECT_EQ(std::tuple(f.inRect.top, f.inRect.bottom, f.outRect.right, f.inLoPlane, f.inHiPlane, f.outHiPlane),
              std::tuple(10, 20, 30, 0, 3, 3));
    EXPECT_EQ(std::tuple(f.inputRate, f.maskRate, f.inputPadding, f.maskPadding, f.autoMask, f.maskRect.bottom),
              std::tuple(3 << 16, 3 << 16, -1, -1, 0, 0));
    h.record.haveMask = 1, h.record.floatCoord = {6, 9};
    h.settings.previewTop = 30, h.settings.previewLeft = 3;
    h.services().requestTile(VRect{30, 0, 60, 90});
    EXPECT_EQ(std::tuple(f.inRect.top, f.inRect.left, f.maskRect.top), std::tuple(10 - 2 - 10, 0 - 3 - 1, -2));
    BigDocumentStruct big{};
    h.record.bigDocumentData = &big;
    h.settings.previewStep = 1, h.settings.previewTop = h.settings.previewLeft = 0;
    h.services().requestTile(VRect{0, 40000, 128, 40128});
    EXPECT_EQ(std::tuple(big.PluginUsing32BitCoordinates, big.inRect32.left, h.services().inRect().right),
              std::tuple(1, 40000, 40128));
    h.services().clearRequest();
    EXPECT_EQ(std::tuple(h.services().inRect().right, f.outRect.bottom), std::tuple(0, 0));
}

TEST(PreviewStep, FitsTheAreaIntoThePreview) {
    EXPECT_EQ(std::vector<int>({computePreviewStep(400, 300, 400, 300), computePreviewStep(400, 300, 800, 600),
                                computePreviewStep(400, 300, 801, 100), computePreviewStep(400, 300, 100, 100),
                                computePreviewStep(0, 0, 100, 100)}),
              std::vector({1, 2, 3, 1, 1}));  // the fourth smaller than the preview
}

TEST(HostKinds, SignaturesAndSampling) {
    // Signature, sampling, display; then whether the host can sample, is PSP, is AffP.
    const std::tuple<const char*, bool, bool, std::tuple<bool, bool, bool>> cases[] = {
        {"8BIM", true, true, {true, false, false}},   {"8BIM", false, true, {false, false, false}},
        {"8BIM", true, false, {false, false, false}}, {"AffP", true, true, {false, false, true}},
        {"PSP8", true, true, {true, true, false}},    {"PSP9", true, true, {true, true, false}}};
    for (const auto& [sig, sampling, display, expected] : cases) {
        ManualHost h(plugInModeRGBColor, 8, 3);
        h.record.advanceState = []() -> OSErr { return 0; };
        if (display) h.record.displayPixels = [](auto...) -> OSErr { return 0; };
        h.record.samplingSupport = sampling, h.record.hostSig = GLOBARO_FOURCC(sig[0], sig[1], sig[2], sig[3]);
        EXPECT_EQ(std::tuple(h.services().hostCanSample(), h.services().hostIsPsp(), h.services().hostIsAffP()),
                  expected)
            << sig << " sampling " << sampling << " display " << display;
    }
}

// Reads the whole document as the preview does, through the standalone host.
std::vector<std::uint8_t> previewSourceOf(Document& doc) {
    FilterHost host(doc);
    host.call([](std::int16_t, FilterRecord*, intptr_t*, std::int16_t*) {}, filterSelectorPrepare);
    SettingsRecord settings{};
    resetRunState(settings);
    HostServices services(&host.record(), &settings);
    services.requestTile(VRect{0, 0, doc.height, doc.width});
    // The callbacks answer only while a call is in progress: read from inside one.
    static struct {
        SettingsRecord* settings;
        std::vector<std::uint8_t> buffer;
        std::int32_t w, h;
    } read;
    read = {&settings, {}, 0, 0};
    host.call(
        [](std::int16_t, FilterRecord* record, intptr_t*, std::int16_t* result) {
            *result = HostServices(record, read.settings).readPreviewSource(read.buffer, read.w, read.h);
        },
        filterSelectorStart);
    EXPECT_EQ(std::pair(read.w, read.h), std::pair(doc.width, doc.height));
    return read.buffer;
}

// The preview source of a one-row document of `samples`.
template <typename T>
Bytes previewOfRow(int colorPlanes, bool alpha, std::vector<T> samples) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, static_cast<std::int32_t>(samples.size()) / (colorPlanes + alpha), 1, colorPlanes,
                             alpha, 8 * sizeof(T), error));
    std::memcpy(d.pixels.data(), samples.data(), samples.size() * sizeof(T));
    return previewSourceOf(d);
}

TEST(PreviewSource, ConvertsEveryDepthToEightBits) {
    EXPECT_EQ(previewOfRow<std::uint16_t>(1, false, {128, 129, 32768, 16384}), (Bytes{0, 1, 255, 127}));
    EXPECT_EQ(previewOfRow<float>(1, false, {1.5f, -0.2f, 0.5f}), (Bytes{255, 0, 127}));
    // Plane by plane: an RGBA pixel comes out as four planes of one byte.
    EXPECT_EQ(previewOfRow<std::uint8_t>(3, true, {10, 20, 30, 40, 50, 60, 70, 80}),
              (Bytes{10, 50, 20, 60, 30, 70, 40, 80}));
}

struct FixedChooser : ColorChooser {
    bool choose(const Rgb16& initial, Rgb16& chosen) override {
        seen = initial;
        chosen = {1, 2, 3};
        return true;
    }
    Rgb16 seen{};
};

TEST(ColourPicking, HostPickerOrFallback) {
    ManualHost h(plugInModeRGBColor, 8, 3);
    FixedChooser fallback;
    Rgb16 chosen{};
    EXPECT_TRUE(h.services().chooseColor(Rgb16{55255, 0, 65535}, chosen, &fallback));
    EXPECT_EQ(std::pair(chosen, fallback.seen), std::pair(Rgb16{1, 2, 3}, Rgb16{55255, 0, 65535}));
    EXPECT_FALSE(h.services().chooseColor(Rgb16{}, chosen, nullptr));
    static std::int16_t sSeen[3];
    h.record.colorServices = [](ColorServicesInfo* info) -> OSErr {
        for (int i = 0; i < 3; ++i) sSeen[i] = std::exchange(info->colorComponents[i], std::array{215, 0, 255}[i]);
        return 0;
    };
    EXPECT_TRUE(h.services().chooseColor(Rgb16{55255, 300, 65535}, chosen, &fallback));
    EXPECT_EQ(std::vector<std::int16_t>(sSeen, sSeen + 3), (std::vector<std::int16_t>{215, 1, 255}));  // high bytes
    EXPECT_EQ(chosen, (Rgb16{55040, 0, 65280}));  // each channel * 256 comes back
    h.record.colorServices = [](ColorServicesInfo*) -> OSErr { return -128; };
    EXPECT_FALSE(h.services().chooseColor(Rgb16{}, chosen, &fallback));
}

}  // namespace
}  // namespace globaro
