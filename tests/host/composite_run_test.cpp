// Compositing seen from the outside: whole runs of the filter through the
// standalone host, with the settings handed over as a scripting descriptor,
// at 8, 16 and 32 bits, grey and RGB, with and without transparency. The
// inputs are uniform colours, so that with identity settings (equirectangular
// in and out, 2:1 images) every rendered pixel is the source colour and the
// expected result can be worked out by hand. The rules of the glue modes
// themselves are checked against hand-computed values in the blend modes'
// own tests; here a few modes show that the settings reach the compositor
// and that every layout stores what it computed.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/descriptor_store.h"
#include "app/document.h"
#include "app/filter_host.h"
#include "app/run_settings.h"
#include "projection/catalogue.h"
#include "settings/memory_dots.h"

extern "C" void PluginMain(std::int16_t selector, FilterRecord* record, intptr_t* data, std::int16_t* result);

namespace globaro {
namespace {

constexpr std::int32_t kNormal = 1, kMultiply = 9, kScreen = 10;
constexpr std::int32_t kOne = 32768;

struct Colour {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 1.0f;
};

struct DocCase {
    int planes;
    bool alpha;
    int depth;
};

std::string caseName(const ::testing::TestParamInfo<DocCase>& info) {
    const DocCase& c = info.param;
    return std::string(c.planes == 1 ? "Grey" : "Rgb") + std::to_string(c.depth) + (c.alpha ? "Alpha" : "Opaque");
}

// A document of one colour everywhere (grey documents take the red value).
Document uniformDocument(std::int32_t w, std::int32_t h, const DocCase& c, const Colour& colour) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, w, h, c.planes, c.alpha, c.depth, error)) << error;
    const float channels[4] = {colour.r, colour.g, colour.b, colour.a};
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            for (int p = 0; p < c.planes; ++p) d.setValue(x, y, p, channels[p]);
            if (c.alpha) d.setValue(x, y, c.planes, colour.a);
        }
    return d;
}

// The colour a document actually holds at (x, y), after quantisation to its
// depth; grey documents read the same value into all three channels.
Colour held(const Document& d, std::int32_t x, std::int32_t y) {
    Colour c;
    c.r = d.value(x, y, 0);
    c.g = d.colorPlanes == 3 ? d.value(x, y, 1) : c.r;
    c.b = d.colorPlanes == 3 ? d.value(x, y, 2) : c.r;
    c.a = d.hasAlpha ? d.value(x, y, d.colorPlanes) : 1.0f;
    return c;
}

// One step of a depth, and the tolerance of a pixel that was computed in
// 15-bit fixed point and truncated to the depth.
float step(int depth) { return depth == 8 ? 1.0f / 255.0f : depth == 16 ? 1.0f / 32768.0f : 0.0f; }
float tolerance(int depth) { return depth == 8 ? 1.01f / 255.0f : depth == 16 ? 2.01f / 32768.0f : 1e-4f; }

// ---- the hand-worked rules of a few glue modes ------------------------------------

std::int32_t fixed15(float v) { return static_cast<std::int32_t>(v * 32768.0f); }
float unfixed(std::int32_t v) { return static_cast<float>(v) / 32768.0f; }

// The blend of s over d on an integer target: multiply and screen, by their
// 15-bit rules; normal gives s.
Colour blendByHand(std::int32_t mode, const Colour& s, const Colour& d) {
    if (mode == kNormal) return s;
    auto channel = [mode](float sf, float df) {
        const std::int32_t a = fixed15(sf), b = fixed15(df);
        return unfixed(mode == kMultiply ? (a * b) >> 15 : a + (((kOne - a) * b) >> 15));
    };
    return Colour{channel(s.r, d.r), channel(s.g, d.g), channel(s.b, d.b), s.a};
}

// The grey a grey target makes of a colour.
Colour toGrey(const Colour& c) {
    const float v = 0.3f * c.r + 0.59f * c.g + 0.11f * c.b;
    return Colour{v, v, v, c.a};
}

// ---- runs ---------------------------------------------------------------------------

// A run leaves its settings behind as the last-used settings, which a later
// run without a descriptor starts from; the odd glue modes of these runs must
// not leak into other tests.
void forgetLastUsedSettings() {
    std::error_code ec;
    std::filesystem::remove(cachedSettingsPath(), ec);
}

struct RunResult {
    std::int16_t result = -1;
    std::string said;
    bool autoMask = false;
};

// Runs the filter on `doc` with identity settings (or those `adjust` makes
// of them) and the given glue mode, the settings handed over as a replayed
// scripting descriptor.
RunResult runFilter(Document& doc, std::int32_t glue, const Document* source = nullptr,
                    const std::function<void(RunSettingsOptions&)>& adjust = {},
                    const std::function<void(HostOptions&)>& adjustHost = {}) {
    RunSettingsOptions settings;
    settings.input = findInputProjection("1");
    settings.output = findOutputProjection("1");
    settings.glue = glue;
    if (adjust) adjust(settings);
    DescriptorStore store;
    std::string error;
    RunResult out;
    if (!offerRunDescriptor(settings, store, error)) {
        ADD_FAILURE() << error;
        return out;
    }
    HostOptions options;
    options.descriptorParameters = &store.parameters();
    options.source = source;
    if (adjustHost) adjustHost(options);
    FilterHost host(doc, options);
    testing::internal::CaptureStderr();
    out.result = host.run(PluginMain, false).result;
    out.said = testing::internal::GetCapturedStderr();
    out.autoMask = host.record().autoMask;
    forgetLastUsedSettings();
    return out;
}

// Checks every pixel of `doc` against `expected(x, y)` (colour planes and,
// when the document has one, the transparency plane).
void expectPixels(const Document& doc, const std::function<Colour(std::int32_t, std::int32_t)>& expected,
                  const std::string& what) {
    const float tol = tolerance(doc.depth);
    int reported = 0;
    for (std::int32_t y = 0; y < doc.height; ++y)
        for (std::int32_t x = 0; x < doc.width; ++x) {
            const Colour want = expected(x, y);
            const float w[4] = {want.r, want.g, want.b, want.a};
            for (int p = 0; p < doc.planes(); ++p) {
                const int channel = p < doc.colorPlanes ? (doc.colorPlanes == 1 ? 1 : p) : 3;
                // Samples are truncated: the stored value lies at most a step below.
                const float got = doc.value(x, y, p);
                const float lo = w[channel] - tol, hi = w[channel] + tol * 0.5f + 1e-6f;
                if ((got < lo || got > hi) && reported++ < 8)
                    ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") plane " << p << " holds " << got
                                  << ", expected " << w[channel];
            }
        }
}

// The expected stored colour of a pixel given the colour computed for it:
// grey documents take the green of the grey conversion; integer targets
// limit to 1.
Colour asStored(const DocCase& c, Colour v) {
    if (c.depth != 32) {
        v.r = std::min(v.r, 1.0f);
        v.g = std::min(v.g, 1.0f);
        v.b = std::min(v.b, 1.0f);
    }
    return v;
}

constexpr std::int32_t kWidth = 160, kHeight = 80;  // 2:1, two tile columns

class CompositeRun : public ::testing::TestWithParam<DocCase> {};

// A canvas of uniform colour d filled from a separate source of uniform
// colour s (twice the canvas's size, so reduced levels are read too): every pixel becomes blend(s, d) on integer targets, s itself on
// float targets, whatever the mode.
TEST_P(CompositeRun, GlueModesOnKnownColours) {
    const DocCase c = GetParam();
    const Colour source{0.6f, 0.2f, 0.8f, 1.0f};
    const Colour coloured{0.3f, 0.7f, 0.5f, 1.0f};
    for (std::int32_t mode : {kNormal, kMultiply, kScreen}) {
        // A source of another size than the canvas it fills.
        const Document src = uniformDocument(kWidth * 2, kHeight * 2, c, source);
        Document doc = uniformDocument(kWidth, kHeight, c, coloured);
        const Colour s = held(src, 0, 0), d = held(doc, 0, 0);
        const RunResult run = runFilter(doc, mode, &src);
        ASSERT_EQ(run.result, 0) << run.said;
        Colour want;
        if (c.depth == 32) {
            want = s;  // float targets ignore the glue mode
        } else {
            const Colour sc = c.planes == 1 ? toGrey(s) : s;
            want = blendByHand(mode, sc, d);
            want.a = 1.0f;  // opaque source: the boost keeps it opaque
        }
        want = asStored(c, want);
        expectPixels(doc, [&](std::int32_t, std::int32_t) { return want; }, "mode " + std::to_string(mode));
    }
}

// Filtering in place: source and destination are the same image, so a
// uniform colour c becomes blend(c, c).
TEST_P(CompositeRun, InPlaceBlendsTheImageWithItself) {
    const DocCase c = GetParam();
    const Colour colour{0.25f, 0.5f, 0.75f, 1.0f};
    for (std::int32_t mode : {kNormal, kMultiply}) {
        Document doc = uniformDocument(kWidth, kHeight, c, colour);
        const Colour d = held(doc, 0, 0);
        const RunResult run = runFilter(doc, mode);
        ASSERT_EQ(run.result, 0) << run.said;
        Colour want = d;
        if (c.depth != 32) {
            want = blendByHand(mode, c.planes == 1 ? toGrey(d) : d, d);
            want.a = 1.0f;
        }
        want = asStored(c, want);
        expectPixels(doc, [&](std::int32_t, std::int32_t) { return want; }, "in place, mode " + std::to_string(mode));
    }
}

// A selection mask of three bands, fully selected, half selected (128) and
// not selected, with band edges off the tile grid: the first takes the
// blended result, the second 128/255 of it and the rest from the pixel
// already there, the third is left as it was, sample for sample.
TEST_P(CompositeRun, SelectionMaskLimitsAndHalvesTheEffect) {
    const DocCase c = GetParam();
    const Colour source{0.3f, 0.9f, 0.6f, 1.0f};
    const Colour dest{0.8f, 0.2f, 0.4f, 1.0f};
    for (std::int32_t mode : {kNormal, kMultiply}) {
        const Document src = uniformDocument(kWidth, kHeight, c, source);
        Document doc = uniformDocument(kWidth, kHeight, c, dest);
        doc.mask.assign(static_cast<std::size_t>(kWidth) * kHeight, 0);
        auto band = [](std::int32_t x) { return x < 53 ? 0 : x < 131 ? 1 : 2; };
        for (std::int32_t y = 0; y < kHeight; ++y)
            for (std::int32_t x = 0; x < kWidth; ++x)
                doc.mask[static_cast<std::size_t>(y) * kWidth + x] = band(x) == 0 ? 255 : band(x) == 1 ? 128 : 0;
        const Document before = doc;
        const Colour s = held(src, 0, 0), d = held(doc, 0, 0);
        const RunResult run = runFilter(doc, mode, &src);
        ASSERT_EQ(run.result, 0) << run.said;

        Colour blended = s;
        if (c.depth != 32) {
            blended = blendByHand(mode, c.planes == 1 ? toGrey(s) : s, d);
            blended.a = 1.0f;
        }
        blended = asStored(c, blended);
        const float m = 128.0f * 0.0039215684f;
        const Colour half{d.r + (blended.r - d.r) * m, d.g + (blended.g - d.g) * m, d.b + (blended.b - d.b) * m,
                          d.a + (blended.a - d.a) * m};
        expectPixels(
            doc, [&](std::int32_t x, std::int32_t) { return band(x) == 0 ? blended : band(x) == 1 ? half : d; },
            "masked, mode " + std::to_string(mode));
        // Unselected pixels keep their samples exactly.
        bool same = true;
        for (std::int32_t y = 0; y < kHeight && same; ++y)
            for (std::int32_t x = 131; x < kWidth && same; ++x)
                for (int p = 0; p < doc.planes(); ++p)
                    same = same && doc.value(x, y, p) == before.value(x, y, p);
        EXPECT_TRUE(same) << "an unselected pixel changed";
        // The half-selected band really lies between the two others.
        if (c.depth != 32 || mode == kNormal) {
            EXPECT_GT(std::fabs(doc.value(90, 40, 0) - d.r), 4 * step(c.depth) + 1e-3f);
            EXPECT_GT(std::fabs(doc.value(90, 40, 0) - blended.r), 4 * step(c.depth) + 1e-3f);
        }
    }
}

// Translucent pixels of the image are rendered over the opaque backdrop
// (black here), so the host image receives opaque colours c x alpha: an
// alpha of 0.995 (254/255 at 8 bits) ends fully opaque at every depth.
// (Rendered alphas between 0 and 1 arise on a host run only along the
// anti-aliased outline of a projection; the opacity boost itself is covered
// by the compositor's own tests.)
TEST_P(CompositeRun, TranslucentPixelsGoOverTheBackdrop) {
    const DocCase c = GetParam();
    if (!c.alpha) GTEST_SKIP() << "no transparency plane";
    const Colour colour{0.25f, 0.5f, 0.75f, 1.0f};
    for (float alpha : {0.995f, 0.5f}) {
        Colour translucent = colour;
        translucent.a = alpha;
        Document doc = uniformDocument(kWidth, kHeight, c, translucent);
        const Colour d = held(doc, 0, 0);
        const RunResult run =
            runFilter(doc, kNormal, nullptr, [](RunSettingsOptions& o) { o.backdropColor = Rgb16{0, 0, 0}; });
        ASSERT_EQ(run.result, 0) << run.said;
        const Colour want{d.r * d.a, d.g * d.a, d.b * d.a, 1.0f};
        expectPixels(doc, [&](std::int32_t, std::int32_t) { return want; }, "alpha " + std::to_string(alpha));
    }
}

// Outside a projection's outline (here the ellipse of the Mollweide output,
// whose frame corners lie outside it) the render is fully transparent with
// transparent gaps: an image with a transparency plane takes the transparent
// result, an integer image without one keeps its pixels (the result goes
// over the pixel already there), whatever the glue mode.
TEST_P(CompositeRun, GapsOutsideTheOutline) {
    const DocCase c = GetParam();
    if (c.depth == 32 && !c.alpha) GTEST_SKIP() << "float targets take the rendered colour as it is";
    const Colour colour{0.25f, 0.5f, 0.75f, 1.0f};
    for (std::int32_t mode : {kNormal, kScreen}) {
        Document doc = uniformDocument(kWidth, kHeight, c, colour);
        const Document before = doc;
        const RunResult run = runFilter(doc, mode, nullptr, [](RunSettingsOptions& o) {
            o.output = findOutputProjection("Mollweide");
            o.transparentGaps = true;
        });
        ASSERT_EQ(run.result, 0) << run.said;
        for (auto [x, y] : {std::pair{0, 0}, std::pair{kWidth - 1, 0}, std::pair{0, kHeight - 1},
                            std::pair{kWidth - 1, kHeight - 1}, std::pair{3, 2}}) {
            for (int p = 0; p < doc.planes(); ++p) {
                if (c.alpha && c.depth != 32 && p < c.planes) {
                    // The colour is blend(transparent black, d): black in normal
                    // mode, d itself in screen mode.
                    const float want = mode == kNormal ? 0.0f : before.value(x, y, p);
                    EXPECT_NEAR(doc.value(x, y, p), want, tolerance(c.depth))
                        << "mode " << mode << " (" << x << ", " << y << ") plane " << p;
                } else if (c.alpha) {
                    EXPECT_EQ(doc.value(x, y, p), 0.0f) << "mode " << mode << " (" << x << ", " << y << ") plane " << p;
                } else {
                    EXPECT_EQ(doc.value(x, y, p), before.value(x, y, p))
                        << "mode " << mode << " (" << x << ", " << y << ") plane " << p;
                }
            }
        }
        // The middle of the ellipse is rendered: opaque, and in screen mode
        // brighter than before.
        if (c.alpha) {
            EXPECT_GT(doc.value(kWidth / 2, kHeight / 2, c.planes), 0.99f);
        }
        if (mode == kScreen && c.depth != 32) {
            EXPECT_GT(doc.value(kWidth / 2, kHeight / 2, 0), before.value(kWidth / 2, kHeight / 2, 0) + 0.1f);
        }
    }
}

// Three mask bands over an RGB 8-bit image, filtered in place in multiply
// mode by hosts that pass tiles and mask in different ways: the selected band
// becomes c x c, the half-selected band halfway, the unselected band stays.
// A host that applies the selection itself ("AffP") gets the effect on every
// pixel and is told so (autoMask).
struct MaskHostCase {
    const char* what;
    std::function<void(HostOptions&)> adjust;
    VPoint floatOrigin;
    bool hostMasks;
};

TEST(CompositeRunMask, EveryHostKeepsTheMaskInRegister) {
    const MaskHostCase cases[] = {
        // A floating selection offsets the tile requests and the host undoes the offset.
        {"floating selection", {}, {5, 3}, false},
        {"AffP", [](HostOptions& o) { o.hostSig = GLOBARO_FOURCC('A', 'f', 'f', 'P'); }, {}, true},
        // A host without the 32-bit rectangles.
        {"16-bit rectangles", [](HostOptions& o) { o.bigDocument = false; }, {}, false},
    };
    auto threeBands = [](std::int32_t x) -> std::uint8_t { return x < 53 ? 255 : x < 131 ? 128 : 0; };
    for (const MaskHostCase& k : cases) {
        Document doc = uniformDocument(kWidth, kHeight, DocCase{3, false, 8}, Colour{0.25f, 0.5f, 0.75f, 1.0f});
        doc.mask.assign(static_cast<std::size_t>(kWidth) * kHeight, 0);
        for (std::int32_t y = 0; y < kHeight; ++y)
            for (std::int32_t x = 0; x < kWidth; ++x)
                doc.mask[static_cast<std::size_t>(y) * kWidth + x] = threeBands(x);
        doc.floatOrigin = k.floatOrigin;
        const Colour d = held(doc, 0, 0);
        const RunResult run = runFilter(doc, kMultiply, nullptr, {}, k.adjust);
        ASSERT_EQ(run.result, 0) << k.what << ": " << run.said;
        EXPECT_EQ(run.autoMask, k.hostMasks) << k.what;
        const Colour blended = blendByHand(kMultiply, d, d);
        const float m = 128.0f * 0.0039215684f;
        expectPixels(
            doc,
            [&](std::int32_t x, std::int32_t) {
                const std::uint8_t cover = k.hostMasks ? 255 : threeBands(x);
                if (cover == 255) return blended;
                if (cover == 0) return d;
                return Colour{d.r + (blended.r - d.r) * m, d.g + (blended.g - d.g) * m,
                              d.b + (blended.b - d.b) * m, 1.0f};
            },
            k.what);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, CompositeRun,
                         ::testing::Values(DocCase{1, false, 8}, DocCase{3, false, 8}, DocCase{1, true, 8},
                                           DocCase{3, true, 8}, DocCase{1, false, 16}, DocCase{1, true, 16}, DocCase{3, true, 16},
                                           DocCase{3, false, 32}, DocCase{1, true, 32}, DocCase{3, true, 32}),
                         caseName);

}  // namespace
}  // namespace globaro
