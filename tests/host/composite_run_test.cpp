// What the host layer adds to compositing, in whole runs whose uniform colours make every pixel known.

#include <filesystem>

#include "app/run_settings.h"
#include "projection/catalogue.h"
#include "settings/memory_dots.h"
#include "tests/host/host_test_support.h"

namespace globaro {
namespace {

constexpr std::int32_t kNormal = 1, kMultiply = 9, kScreen = 10;
constexpr std::int32_t kWidth = 160, kHeight = 80;  // two tile columns

enum class Mask { kNone, kBands };  // bands: selected, 128 of 255, not selected; edges off the tile grid
enum class Host { kPlain, kFloating, kAffP, kSmallRects };
std::uint8_t band(std::int32_t x) { return x < 53 ? 255 : x < 131 ? 128 : 0; }

struct Row {
    const char* what;
    int planes;
    bool alpha;
    int depth;
    std::int32_t glue;
    bool separateSource;  // a source of twice the size (else the image filters itself)
    Mask mask;
    Host host;
    bool mollweide;  // corners outside the outline, with transparent gaps
};

const Row kRows[] = {
    {"rgb8 multiply from a source", 3, false, 8, kMultiply, true, Mask::kNone, Host::kPlain, false},
    {"grey16 multiply from a source", 1, true, 16, kMultiply, true, Mask::kNone, Host::kPlain, false},
    {"rgb8 normal, mask", 3, true, 8, kNormal, true, Mask::kBands, Host::kPlain, false},
    {"grey16 multiply, mask", 1, false, 16, kMultiply, true, Mask::kBands, Host::kPlain, false},
    {"float normal, mask", 1, true, 32, kNormal, true, Mask::kBands, Host::kPlain, false},
    {"mask, floating selection", 3, false, 8, kMultiply, false, Mask::kBands, Host::kFloating, false},
    {"mask, host applies it (AffP)", 3, false, 8, kMultiply, false, Mask::kBands, Host::kAffP, false},
    {"mask, 16-bit rectangles", 3, false, 8, kMultiply, false, Mask::kBands, Host::kSmallRects, false},
    {"gaps, rgb8 with transparency", 3, true, 8, kNormal, false, Mask::kNone, Host::kPlain, true},
    {"gaps, grey16 opaque, screen", 1, false, 16, kScreen, false, Mask::kNone, Host::kPlain, true},
    {"gaps, float with transparency", 3, true, 32, kScreen, false, Mask::kNone, Host::kPlain, true},
};

Document uniform(std::int32_t w, std::int32_t h, const Row& r, const float (&colour)[3]) {
    Document d;
    std::string error;
    EXPECT_TRUE(makeDocument(d, w, h, r.planes, r.alpha, r.depth, error)) << error;
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            for (int p = 0; p < r.planes; ++p) d.setValue(x, y, p, colour[p]);
            if (r.alpha) d.setValue(x, y, r.planes, 1.0f);
        }
    return d;
}

// The glue of source sample s over destination sample d on an integer target, in 15-bit fixed point.
float glued(std::int32_t mode, float s, float d) {
    const auto a = static_cast<std::int32_t>(s * 32768.0f), b = static_cast<std::int32_t>(d * 32768.0f);
    if (mode == kMultiply) return float((a * b) >> 15) / 32768.0f;
    if (mode == kScreen) return float(a + (((32768 - a) * b) >> 15)) / 32768.0f;
    return s;
}

TEST(CompositeRun, TheHostLayerKeepsMaskOriginalPixelsAndTiles) {
    const float sourceColour[3] = {0.6f, 0.2f, 0.8f}, imageColour[3] = {0.3f, 0.7f, 0.5f};
    for (const Row& r : kRows) {
        SCOPED_TRACE(r.what);
        Document doc = uniform(kWidth, kHeight, r, imageColour);
        const Document src = uniform(kWidth * 2, kHeight * 2, r, sourceColour);
        if (r.mask == Mask::kBands) {
            doc.mask.resize(static_cast<std::size_t>(kWidth) * kHeight);
            for (std::size_t i = 0; i < doc.mask.size(); ++i) doc.mask[i] = band(std::int32_t(i % kWidth));
        }
        if (r.host == Host::kFloating) doc.floatOrigin = {5, 3};
        const Document before = doc;
        RunSettingsOptions settings;
        settings.input = findInputProjection("1"),
        settings.output = findOutputProjection(r.mollweide ? "Mollweide" : "1");
        settings.glue = r.glue, settings.transparentGaps = settings.transparentGaps || r.mollweide;
        DescriptorStore store;
        std::string error;
        ASSERT_TRUE(offerRunDescriptor(settings, store, error)) << error;
        HostOptions options{.bigDocument = r.host != Host::kSmallRects,
                            .source = r.separateSource ? &src : nullptr,
                            .descriptorParameters = &store.parameters()};
        if (r.host == Host::kAffP) options.hostSig = GLOBARO_FOURCC('A', 'f', 'f', 'P');
        FilterHost host(doc, options);
        std::string said;
        const std::int16_t result = host_test::quietRun(host, PluginMain, false, &said).result;
        std::filesystem::remove(cachedSettingsPath());  // the next run must not start from these settings
        ASSERT_EQ(result, 0) << said;
        EXPECT_EQ(host.record().autoMask, r.host == Host::kAffP);
        const Document& from = r.separateSource ? src : before;
        const float tolerance = r.depth == 8 ? 1.01f / 255.0f : r.depth == 16 ? 2.01f / 32768.0f : 1e-4f;
        for (std::int32_t y = 0; y < kHeight; ++y)
            for (std::int32_t x = 0; x < kWidth; ++x) {
                const bool corner = r.mollweide && (x < 4 || x >= kWidth - 4) && (y < 2 || y >= kHeight - 2);
                if (r.mollweide && !corner) continue;
                const float cover = r.mask == Mask::kNone || r.host == Host::kAffP ? 1.0f : band(x) / 255.0f;
                for (int p = 0; p < doc.planes(); ++p) {
                    const float d = before.value(x, y, p);
                    float want;
                    if (corner) {
                        // Transparent black outside the outline: an opaque image keeps its pixels.
                        want = !r.alpha ? d : p == r.planes || r.depth == 32 ? 0.0f : glued(r.glue, 0.0f, d);
                    } else {
                        // (A grey source's grey is its own value.)
                        const float sample = p == r.planes ? 1.0f : from.value(0, 0, p);
                        const float blended = r.depth == 32 ? sample : glued(r.glue, sample, d);
                        want = d + (blended - d) * cover;
                    }
                    const float got = doc.value(x, y, p);
                    // Integer samples are truncated: at most a step below; an unselected sample keeps its value.
                    ASSERT_TRUE(got >= want - tolerance && got <= want + tolerance * 0.5f + 1e-6f &&
                                (cover != 0.0f || got == d))
                        << "(" << x << ", " << y << ") plane " << p << " holds " << got << ", expected " << want;
                }
            }
    }
}

}  // namespace
}  // namespace globaro
