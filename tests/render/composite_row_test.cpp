// compositeRow leaves exactly the bytes compositePixel leaves pixel by pixel (rules: blend_cases.txt).

#include <gtest/gtest.h>
#include <cstring>
#include <limits>
#include <random>
#include "projection/render_context.h"
#include "render/composite.h"

namespace globaro {
namespace {
enum Mask { kNoMask, kPartial, kElsewhere };

struct RowCase {
    const char* name;
    int renderTarget;
    int depth;  // 8, 16, 32
    bool grey, alpha;
    Mask mask;
    BlendMode glue;
    bool shiftedInput;  // the input tile's rectangle differs from the output's
    bool clampOutput;   // the output grid clamps positions into its rectangle
};

constexpr CompositeRect kOutRect{2, 3, 8, 13};      // 6 rows x 10 columns
constexpr CompositeRect kShiftedRect{1, 5, 9, 12};  // 8 rows x 7 columns
constexpr CompositeRect kMaskRect{3, 6, 7, 11};     // inside the output, narrower
constexpr CompositeRect kMaskElsewhere{20, 3, 24, 13};
constexpr CompositeRect kPreviewRect{0, 0, 5, 9};
constexpr CompositeRect kPreviewSourceRect{1, 2, 5, 8};  // narrower than the preview on both sides

std::int32_t width(const CompositeRect& r) { return r.right - r.left; }
std::int32_t height(const CompositeRect& r) { return r.bottom - r.top; }

// Samples of `depth`: 8, 16 any value in range, 32 floats around 0..1.
std::vector<unsigned char> randomSamples(std::size_t size, int depth, std::mt19937& rng) {
    std::vector<unsigned char> bytes(size);
    std::uniform_real_distribution<float> u(-0.25f, 1.25f);
    for (std::size_t i = 0; i + depth / 8 <= size; i += depth / 8) {
        const std::uint16_t v16 = static_cast<std::uint16_t>(rng() % 32769);
        const float v32 = u(rng);
        bytes[i] = static_cast<unsigned char>(rng());
        if (depth > 8) std::memcpy(&bytes[i], depth == 16 ? static_cast<const void*>(&v16) : &v32, depth / 8);
    }
    return bytes;
}

// A target's buffers: the output, the pixels already there (an export image reads itself), the mask.
struct Scene {
    std::vector<unsigned char> out, in, mask;
    CompositeTarget t;
    Scene(const RowCase& c, std::uint32_t seed) {
        std::mt19937 rng(seed);
        t.renderTarget = c.renderTarget, t.glue = c.glue;
        t.originX = 2, t.originY = 1;  // render-rectangle (x, y) -> target coordinates
        const int colour = c.grey ? 1 : 3, planes = colour + (c.alpha ? 1 : 0), bytes = c.depth / 8;
        const CompositeRect inRect = c.shiftedInput ? kShiftedRect : kOutRect;
        if (c.renderTarget == kTargetHostImage) {
            const std::ptrdiff_t outRow = width(kOutRect) * planes * bytes + 8,
                                 inRow = width(inRect) * planes * bytes + 4;
            out = randomSamples(std::size_t(outRow * height(kOutRect)), c.depth, rng);
            in = randomSamples(std::size_t(inRow * height(inRect)), c.depth, rng);
            const int alphaPlane = c.alpha ? colour : -1;
            t.output = interleavedGrid(out.data(), outRow, planes, c.depth, c.grey, alphaPlane, kOutRect);
            t.destination = interleavedGrid(in.data(), inRow, planes, c.depth, c.grey, alphaPlane, inRect);
            t.output.clampToRect = c.clampOutput;
        } else if (c.renderTarget == kTargetPreview) {
            const std::int32_t outRow = width(kPreviewRect), inRow = width(kPreviewSourceRect);
            out = randomSamples(std::size_t(outRow * height(kPreviewRect) * colour), 8, rng);
            in = randomSamples(std::size_t(inRow * height(kPreviewSourceRect) * colour), 8, rng);
            t.output = planarGrid8(out.data(), outRow, outRow * height(kPreviewRect), colour, kPreviewRect);
            t.destination =
                planarGrid8(in.data(), inRow, inRow * height(kPreviewSourceRect), colour, kPreviewSourceRect);
        } else {
            const std::ptrdiff_t outRow = width(kOutRect) * 4 * bytes;
            out = randomSamples(std::size_t(outRow * height(kOutRect)), c.depth, rng);
            t.output = c.depth == 8 ? packedRgba8Grid(reinterpret_cast<std::uint32_t*>(out.data()), outRow, kOutRect)
                                    : interleavedGrid(out.data(), outRow, 4, c.depth, false, 3, kOutRect);
            t.destination = t.output;
        }
        // Mask bytes: mostly the usual 0, 255 and partial values.
        const CompositeRect mr = c.mask == kElsewhere ? kMaskElsewhere : kMaskRect;
        const std::uint8_t common[] = {0, 255, 128, 1, 254};
        for (std::int32_t i = 0; i < width(mr) * height(mr); ++i)
            mask.push_back(rng() % 8 < 5 ? common[rng() % 5] : static_cast<std::uint8_t>(rng()));
        if (c.mask != kNoMask) t.mask = MaskGrid{mask.data(), width(mr), mr};
    }
};

// A rendered channel: ordinary values, the clamps' edges, values that spill and values that are not numbers.
float randomChannel(std::mt19937& rng, bool isAlpha) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    static const std::vector<float> kColour = {-0.5f, 0.0f, 0.25f,    0.5f, 0.999f, 1.0f,
                                               1.3f,  2.5f, 70000.0f, nan,  inf,    -inf};
    static const std::vector<float> kAlpha = {0.0f, 0.5f, 1.0f, 1.0f, 1.0f, 0.993f, 0.99f, 1.2f, -0.1f, nan};
    const std::vector<float>& special = isAlpha ? kAlpha : kColour;
    if (rng() % 3 == 0) return special[rng() % special.size()];
    return std::uniform_real_distribution<float>(isAlpha ? 0.0f : -0.2f, isAlpha ? 1.05f : 1.6f)(rng);
}

// Rows from above to below every grid, columns from left of to right of them.
constexpr std::int32_t kFirstY = -3, kLastY = 10, kFirstX = -4, kColumns = 18;

void expectSameBytes(const RowCase& c, std::ptrdiff_t stride, std::uint32_t seed) {
    SCOPED_TRACE(std::string(c.name) + " stride " + std::to_string(stride) + " seed " + std::to_string(seed));
    Scene perPixel(c, seed), perRow(c, seed);
    std::mt19937 rng(seed * 7919u + 1u);
    std::vector<float> colours(std::size_t((kLastY - kFirstY) * kColumns * stride), -7.0f);
    for (std::size_t i = 0; i < colours.size(); i += std::size_t(stride))
        for (int ch = 0; ch < 4; ++ch) colours[i + ch] = randomChannel(rng, ch == 3);
    for (std::int32_t y = kFirstY; y < kLastY; ++y) {
        const float* row = colours.data() + static_cast<std::size_t>(y - kFirstY) * kColumns * stride;
        for (std::int32_t i = 0; i < kColumns; ++i) {
            const float* p = row + i * stride;
            ColorRgba colour{p[0], p[1], p[2], p[3]};
            compositePixel(kFirstX + i, y, colour, perPixel.t);
        }
        // Rows are delivered whole and, every third row, in two pieces.
        const std::int32_t cut = y % 3 == 0 ? 5 + (y & 3) : kColumns;
        compositeRow(kFirstX, y, cut, row, stride, perRow.t);
        compositeRow(kFirstX + cut, y, kColumns - cut, row + cut * stride, stride, perRow.t);
    }
    EXPECT_EQ(perPixel.out, perRow.out);
    EXPECT_EQ(perPixel.in, perRow.in);  // the pixels already there are only read
}

const RowCase kCases[] = {
    // name, target, depth, grey, alpha, mask, glue, shiftedInput, clampOutput
    {"host 8 RGB", kTargetHostImage, 8, false, false, kNoMask, kBlendNormal, false, false},
    {"host 8 RGBA", kTargetHostImage, 8, false, true, kNoMask, kBlendNormal, false, false},
    {"host 8 grey alpha mask", kTargetHostImage, 8, true, true, kPartial, kBlendNormal, false, false},
    {"host 8 RGB mask elsewhere", kTargetHostImage, 8, false, false, kElsewhere, kBlendNormal, false, false},
    {"host 8 RGB difference shifted", kTargetHostImage, 8, false, false, kNoMask, 4, true, false},
    {"host 8 RGBA color mask", kTargetHostImage, 8, false, true, kPartial, 15, true, false},
    {"host 8 RGB bright", kTargetHostImage, 8, false, false, kNoMask, 28, false, false},
    {"host 8 RGB starbright", kTargetHostImage, 8, false, false, kNoMask, 63, false, false},
    {"host 8 RGB unknown mode", kTargetHostImage, 8, false, false, kNoMask, 0, false, false},
    {"host 8 RGB clamped output", kTargetHostImage, 8, false, false, kPartial, kBlendNormal, true, true},
    {"host 16 RGBA mask", kTargetHostImage, 16, false, true, kPartial, kBlendNormal, true, false},
    {"host 16 grey glow", kTargetHostImage, 16, true, false, kNoMask, 64, false, false},
    {"host 16 RGB multiply clamped", kTargetHostImage, 16, false, true, kNoMask, 9, false, true},
    {"host 32 RGBA", kTargetHostImage, 32, false, true, kNoMask, kBlendNormal, false, false},
    {"host 32 grey mask", kTargetHostImage, 32, true, false, kPartial, kBlendNormal, true, false},
    {"host 32 RGB screen mask", kTargetHostImage, 32, false, false, kPartial, 10, false, false},
    {"preview RGB", kTargetPreview, 8, false, false, kNoMask, kBlendNormal, false, true},
    {"preview grey mask", kTargetPreview, 8, true, false, kPartial, kBlendNormal, false, true},
    {"preview RGB hue", kTargetPreview, 8, false, false, kNoMask, 23, false, true},
    {"export 8 packed overlay", kTargetExportImage, 8, false, true, kNoMask, 12, false, false},
    {"export 16 mask", kTargetExportImage, 16, false, true, kPartial, 2, false, false},
    {"export 32", kTargetExportImage, 32, false, true, kNoMask, kBlendNormal, false, false},
};

TEST(CompositeRow, SameBytesAsPixelByPixel) {
    for (const RowCase& c : kCases)
        for (std::uint32_t seed = 1; seed <= 3; ++seed) {
            expectSameBytes(c, 4, seed);
            expectSameBytes(c, sizeof(RenderCell) / sizeof(float), seed + 100);
        }
}

// Off the grids, absent or invalid grids, the ends of the coordinates: nothing written, absent grids read 0.
TEST(CompositeRow, NothingHappensOffTheGridsOrWithoutThem) {
    std::vector<std::uint8_t> out(4 * 3, 9);
    const std::vector<std::uint8_t> untouched = out;
    const float colours[8] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    CompositeTarget t;
    t.output = interleavedGrid(out.data(), 12, 3, 8, false, -1, CompositeRect{0, 0, 1, 4});
    for (const auto& [x, y, n, from] :
         {std::tuple{0, 0, 0, colours}, std::tuple{0, 0, -5, colours},
          std::tuple{0, 0, 2, static_cast<const float*>(nullptr)}, std::tuple{0, 1, 2, colours},
          std::tuple{-2, 0, 2, colours}, std::tuple{4, 0, 2, colours}, std::tuple{INT32_MAX - 1, 0, 8, colours}})
        compositeRow(x, y, n, from, 4, t);
    CompositeTarget bad = t;
    bad.output.depth = 12;
    compositeRow(0, 0, 2, colours, 4, bad);
    bad = t;
    for (const CompositeRect& r : {CompositeRect{0, 0, 0, 4}, CompositeRect{1, 0, 0, 4}})  // no rows, upside down
        bad.output.rect = r, compositeRow(0, 0, 2, colours, 4, bad);
    compositeRow(0, 0, 2, colours, 4, CompositeTarget{});
    for (const auto& [x, y] : {std::pair{4, 0}, std::pair{-1, 0}, std::pair{0, 1}}) {
        ColorRgba c{1.0f, 1.0f, 1.0f, 1.0f};
        compositePixel(x, y, c, t);
    }
    EXPECT_EQ(out, untouched);
    // Descriptions that cannot be are absent grids: RGB in 2 planes, depth 12, alpha on a colour plane or past
    // the planes, no bytes, an upside-down rectangle, no planes.
    std::uint8_t bytes[64] = {};
    const CompositeRect tile{0, 0, 4, 4};
    int absent = 0;
    for (const PixelGrid& g :
         {interleavedGrid(bytes, 12, 2, 8, false, -1, tile), interleavedGrid(bytes, 12, 3, 12, false, -1, tile),
          interleavedGrid(bytes, 16, 4, 8, false, 1, tile), interleavedGrid(bytes, 16, 4, 8, false, 4, tile),
          interleavedGrid(nullptr, 16, 4, 8, false, 3, tile),
          interleavedGrid(bytes, 16, 4, 8, false, 3, CompositeRect{4, 0, 0, 4}), planarGrid8(bytes, 4, 16, 0, tile)})
        EXPECT_EQ(g.origin, nullptr) << "description " << absent++;
    EXPECT_NE(interleavedGrid(bytes, 8, 2, 8, true, 1, tile).origin, nullptr);
    // Reading zeros from an absent destination, row and pixel alike.
    std::vector<std::uint8_t> outPixel(4 * 3, 9);
    CompositeTarget tp = t;
    tp.output.origin = outPixel.data();
    t.glue = tp.glue = 9;
    compositeRow(0, 0, 2, colours, 4, t);
    for (int i = 0; i < 2; ++i) {
        ColorRgba c{1.0f, 1.0f, 1.0f, 1.0f};
        compositePixel(i, 0, c, tp);
    }
    EXPECT_TRUE(out == outPixel && outPixel[0] == 0);  // multiply with the zeros read
    // The origin shifts render positions into a tile placed elsewhere.
    std::vector<std::uint8_t> placed(4 * 4 * 3, 9);
    CompositeTarget at;
    at.output = interleavedGrid(placed.data(), 12, 3, 8, false, -1, CompositeRect{100, 200, 104, 204});
    at.originX = 200, at.originY = 100;
    ColorRgba white{1.0f, 1.0f, 1.0f, 1.0f};
    compositePixel(1, 2, white, at);
    EXPECT_TRUE(placed[(2 * 4 + 1) * 3] == 255 && std::count(placed.begin(), placed.end(), 9) == 4 * 4 * 3 - 3);
}
}  // namespace
}  // namespace globaro
