// compositeRow must leave exactly the bytes that compositePixel leaves when
// called pixel by pixel: every target, depth and layout, masks, glue modes,
// clamping grids and rows that run partly or wholly outside the grids.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "projection/render_context.h"
#include "render/composite.h"

namespace globaro {
namespace {

enum class MaskKind { kNone, kPartial, kElsewhere };

// One target configuration of the table below.
struct RowCase {
    const char* name;
    int renderTarget;
    int depth;  // 8, 16, 32
    bool grey;
    bool alpha;  // a transparency plane (host image)
    MaskKind mask;
    BlendMode glue;
    bool shiftedInput;  // the input tile's rectangle differs from the output's
    bool clampOutput;   // the output grid clamps positions into its rectangle
    int planes;         // preview planes (1 or 3)
};

// Render-rectangle (x, y) -> target coordinates.
constexpr std::int32_t kOriginX = 2;
constexpr std::int32_t kOriginY = 1;
constexpr CompositeRect kOutRect{2, 3, 8, 13};      // 6 rows x 10 columns
constexpr CompositeRect kShiftedRect{1, 5, 9, 12};  // 8 rows x 7 columns
constexpr CompositeRect kMaskRect{3, 6, 7, 11};     // inside the output, narrower
constexpr CompositeRect kMaskElsewhere{20, 3, 24, 13};
constexpr CompositeRect kPreviewRect{0, 0, 5, 9};
constexpr CompositeRect kPreviewSourceRect{1, 2, 5, 8};  // narrower than the preview on both sides

std::int32_t width(const CompositeRect& r) { return r.right - r.left; }
std::int32_t height(const CompositeRect& r) { return r.bottom - r.top; }

int bytesOf(int depth) { return depth / 8; }

// Fills a buffer with samples of `depth` (8, 16: any value in range, 32:
// floats around 0..1).
void fillSamples(std::vector<unsigned char>& bytes, int depth, std::mt19937& rng) {
    if (depth == 8) {
        for (auto& b : bytes) b = static_cast<unsigned char>(rng() & 0xFF);
    } else if (depth == 16) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const std::uint16_t v = static_cast<std::uint16_t>(rng() % 32769);
            std::memcpy(&bytes[i], &v, 2);
        }
    } else {
        std::uniform_real_distribution<float> u(-0.25f, 1.25f);
        for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
            const float v = u(rng);
            std::memcpy(&bytes[i], &v, 4);
        }
    }
}

// The buffers of one target configuration: the output, the pixels already
// there (the host's input tile or the preview's source; an export image
// reads itself) and the mask.
struct Scene {
    std::vector<unsigned char> out, in, mask;
    std::ptrdiff_t outRow = 0, inRow = 0;
    RowCase c;

    Scene(const RowCase& rc, std::uint32_t seed) : c(rc) {
        std::mt19937 rng(seed);
        if (c.renderTarget == kTargetHostImage) {
            const int planes = (c.grey ? 1 : 3) + (c.alpha ? 1 : 0);
            const CompositeRect inRect = c.shiftedInput ? kShiftedRect : kOutRect;
            outRow = static_cast<std::ptrdiff_t>(width(kOutRect)) * planes * bytesOf(c.depth) + 8;  // padded rows
            inRow = static_cast<std::ptrdiff_t>(width(inRect)) * planes * bytesOf(c.depth) + 4;
            out.resize(static_cast<std::size_t>(outRow * height(kOutRect)));
            in.resize(static_cast<std::size_t>(inRow * height(inRect)));
            fillSamples(in, c.depth, rng);
        } else if (c.renderTarget == kTargetPreview) {
            outRow = width(kPreviewRect);
            inRow = width(kPreviewSourceRect);
            out.resize(static_cast<std::size_t>(outRow * height(kPreviewRect) * c.planes));
            in.resize(static_cast<std::size_t>(inRow * height(kPreviewSourceRect) * c.planes));
            fillSamples(in, 8, rng);
        } else {
            outRow = static_cast<std::ptrdiff_t>(width(kOutRect)) * 4 * bytesOf(c.depth);
            out.resize(static_cast<std::size_t>(outRow * height(kOutRect)));
        }
        fillSamples(out, c.renderTarget == kTargetPreview ? 8 : c.depth, rng);
        // Mask bytes: mostly the usual 0, 255 and partial values.
        const CompositeRect mr = c.mask == MaskKind::kElsewhere ? kMaskElsewhere : kMaskRect;
        mask.resize(static_cast<std::size_t>(width(mr) * height(mr)));
        const std::uint8_t common[] = {0, 255, 128, 1, 254};
        for (auto& m : mask) {
            const std::uint32_t k = rng() % 8;
            m = k < 5 ? common[k] : static_cast<std::uint8_t>(rng() & 0xFF);
        }
    }

    CompositeTarget target() {
        CompositeTarget t;
        t.renderTarget = c.renderTarget;
        t.glue = c.glue;
        t.originX = kOriginX;
        t.originY = kOriginY;
        if (c.renderTarget == kTargetHostImage) {
            const int colour = c.grey ? 1 : 3;
            const int planes = colour + (c.alpha ? 1 : 0);
            const int alphaPlane = c.alpha ? colour : -1;
            const CompositeRect inRect = c.shiftedInput ? kShiftedRect : kOutRect;
            t.output = interleavedGrid(out.data(), outRow, planes, c.depth, c.grey, alphaPlane, kOutRect);
            t.destination = interleavedGrid(in.data(), inRow, planes, c.depth, c.grey, alphaPlane, inRect);
            t.output.clampToRect = c.clampOutput;
        } else if (c.renderTarget == kTargetPreview) {
            t.output = planarGrid8(out.data(), outRow, outRow * height(kPreviewRect), c.planes, kPreviewRect);
            t.destination =
                planarGrid8(in.data(), inRow, inRow * height(kPreviewSourceRect), c.planes, kPreviewSourceRect);
        } else {
            if (c.depth == 8) {
                t.output = packedRgba8Grid(reinterpret_cast<std::uint32_t*>(out.data()), outRow, kOutRect);
            } else {
                t.output = interleavedGrid(out.data(), outRow, 4, c.depth, false, 3, kOutRect);
            }
            t.destination = t.output;
        }
        if (c.mask != MaskKind::kNone) {
            const CompositeRect mr = c.mask == MaskKind::kElsewhere ? kMaskElsewhere : kMaskRect;
            t.mask = MaskGrid{mask.data(), width(mr), mr};
        }
        return t;
    }
};

// A rendered channel value: ordinary values, the edges of the clamps and
// caps, values that spill, and values that are not numbers.
float randomChannel(std::mt19937& rng, bool isAlpha) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    static const float kColour[] = {-0.5f, 0.0f, 0.25f, 0.5f, 0.999f, 1.0f, 1.3f, 2.5f, 70000.0f, nan, inf, -inf};
    static const float kAlpha[] = {0.0f, 0.5f, 1.0f, 1.0f, 1.0f, 0.993f, 0.99f, 1.2f, -0.1f, nan};
    const std::uint32_t k = rng() % 3;
    if (k == 0) {
        if (isAlpha) return kAlpha[rng() % (sizeof kAlpha / sizeof kAlpha[0])];
        return kColour[rng() % (sizeof kColour / sizeof kColour[0])];
    }
    std::uniform_real_distribution<float> u(isAlpha ? 0.0f : -0.2f, isAlpha ? 1.05f : 1.6f);
    return u(rng);
}

// Colours laid out as in a tile's cells: `stride` floats apart.
std::vector<float> randomColours(std::size_t pixels, std::ptrdiff_t stride, std::mt19937& rng) {
    std::vector<float> v(pixels * static_cast<std::size_t>(stride), -7.0f);
    for (std::size_t i = 0; i < pixels; ++i) {
        float* p = &v[i * static_cast<std::size_t>(stride)];
        for (int ch = 0; ch < 4; ++ch) p[ch] = randomChannel(rng, ch == 3);
    }
    return v;
}

// Rows from above to below every grid, columns from left of to right of
// them, so that rows cross the edges of the output, the input and the mask.
constexpr std::int32_t kFirstY = -3;
constexpr std::int32_t kLastY = 10;  // exclusive
constexpr std::int32_t kFirstX = -4;
constexpr std::int32_t kColumns = 18;

std::string describe(const RowCase& c) { return c.name; }

void expectSameBytes(const RowCase& c, std::ptrdiff_t stride, std::uint32_t seed) {
    SCOPED_TRACE(describe(c) + " stride " + std::to_string(stride) + " seed " + std::to_string(seed));
    Scene perPixel(c, seed), perRow(c, seed);
    const CompositeTarget tp = perPixel.target();
    const CompositeTarget tr = perRow.target();
    std::mt19937 rng(seed * 7919u + 1u);
    const std::size_t rows = kLastY - kFirstY;
    const std::vector<float> colours = randomColours(rows * kColumns, stride, rng);
    for (std::int32_t y = kFirstY; y < kLastY; ++y) {
        const float* row = colours.data() + static_cast<std::size_t>(y - kFirstY) * kColumns * stride;
        for (std::int32_t i = 0; i < kColumns; ++i) {
            const float* p = row + i * stride;
            ColorRgba colour{p[0], p[1], p[2], p[3]};
            compositePixel(kFirstX + i, y, colour, tp);
        }
        // Rows are delivered whole and, every third row, in two pieces.
        if (y % 3 == 0) {
            const std::int32_t cut = 5 + (y & 3);
            compositeRow(kFirstX, y, cut, row, stride, tr);
            compositeRow(kFirstX + cut, y, kColumns - cut, row + cut * stride, stride, tr);
        } else {
            compositeRow(kFirstX, y, kColumns, row, stride, tr);
        }
    }
    ASSERT_EQ(perPixel.out.size(), perRow.out.size());
    for (std::size_t i = 0; i < perPixel.out.size(); ++i) {
        ASSERT_EQ(perPixel.out[i], perRow.out[i]) << "output byte " << i;
    }
    EXPECT_EQ(perPixel.in, perRow.in);  // the pixels already there are only read
}

const RowCase kCases[] = {
    // name, target, depth, grey, alpha, mask, glue, shiftedInput, clampOutput, planes
    {"host 8 RGB", kTargetHostImage, 8, false, false, MaskKind::kNone, kBlendNormal, false, false, 3},
    {"host 8 RGBA", kTargetHostImage, 8, false, true, MaskKind::kNone, kBlendNormal, false, false, 3},
    {"host 8 grey", kTargetHostImage, 8, true, false, MaskKind::kNone, kBlendNormal, false, false, 1},
    {"host 8 grey alpha mask", kTargetHostImage, 8, true, true, MaskKind::kPartial, kBlendNormal, false, false, 1},
    {"host 8 RGB mask", kTargetHostImage, 8, false, false, MaskKind::kPartial, kBlendNormal, false, false, 3},
    {"host 8 RGB mask elsewhere", kTargetHostImage, 8, false, false, MaskKind::kElsewhere, kBlendNormal, false, false,
     3},
    {"host 8 RGB shifted input", kTargetHostImage, 8, false, false, MaskKind::kNone, kBlendNormal, true, false, 3},
    {"host 8 RGB difference", kTargetHostImage, 8, false, false, MaskKind::kNone, 4, false, false, 3},
    {"host 8 RGBA color mask", kTargetHostImage, 8, false, true, MaskKind::kPartial, 15, true, false, 3},
    {"host 8 RGB bright", kTargetHostImage, 8, false, false, MaskKind::kNone, 28, false, false, 3},
    {"host 8 RGB starbright", kTargetHostImage, 8, false, false, MaskKind::kNone, 63, false, false, 3},
    {"host 8 RGB unknown mode", kTargetHostImage, 8, false, false, MaskKind::kNone, 0, false, false, 3},
    {"host 8 RGB clamped output", kTargetHostImage, 8, false, false, MaskKind::kPartial, kBlendNormal, true, true, 3},
    {"host 16 RGB", kTargetHostImage, 16, false, false, MaskKind::kNone, kBlendNormal, false, false, 3},
    {"host 16 RGBA mask", kTargetHostImage, 16, false, true, MaskKind::kPartial, kBlendNormal, true, false, 3},
    {"host 16 grey glow", kTargetHostImage, 16, true, false, MaskKind::kNone, 64, false, false, 1},
    {"host 16 RGB multiply clamped", kTargetHostImage, 16, false, true, MaskKind::kNone, 9, false, true, 3},
    {"host 32 RGB", kTargetHostImage, 32, false, false, MaskKind::kNone, kBlendNormal, false, false, 3},
    {"host 32 RGBA", kTargetHostImage, 32, false, true, MaskKind::kNone, kBlendNormal, false, false, 3},
    {"host 32 grey mask", kTargetHostImage, 32, true, false, MaskKind::kPartial, kBlendNormal, true, false, 1},
    {"host 32 RGB screen mask", kTargetHostImage, 32, false, false, MaskKind::kPartial, 10, false, false, 3},
    {"preview RGB", kTargetPreview, 8, false, false, MaskKind::kNone, kBlendNormal, false, true, 3},
    {"preview grey", kTargetPreview, 8, true, false, MaskKind::kNone, kBlendNormal, false, true, 1},
    {"preview RGB mask", kTargetPreview, 8, false, false, MaskKind::kPartial, kBlendNormal, false, true, 3},
    {"preview RGB hue", kTargetPreview, 8, false, false, MaskKind::kNone, 23, false, true, 3},
    {"export 8 packed", kTargetExportImage, 8, false, true, MaskKind::kNone, kBlendNormal, false, false, 3},
    {"export 8 packed overlay", kTargetExportImage, 8, false, true, MaskKind::kNone, 12, false, false, 3},
    {"export 16", kTargetExportImage, 16, false, true, MaskKind::kNone, kBlendNormal, false, false, 3},
    {"export 16 mask", kTargetExportImage, 16, false, true, MaskKind::kPartial, 2, false, false, 3},
    {"export 32", kTargetExportImage, 32, false, true, MaskKind::kNone, kBlendNormal, false, false, 3},
};

TEST(CompositeRow, SameBytesAsPixelByPixel) {
    constexpr std::ptrdiff_t kCellStride = sizeof(RenderCell) / sizeof(float);
    for (const RowCase& c : kCases) {
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            expectSameBytes(c, 4, seed);
            expectSameBytes(c, kCellStride, seed + 100);
        }
    }
}

TEST(CompositeRow, NothingHappensForEmptyOrAbsentInput) {
    std::vector<std::uint8_t> out(4 * 3, 9);
    const std::vector<std::uint8_t> untouched = out;
    const float colours[8] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    CompositeTarget t;
    t.output = interleavedGrid(out.data(), 12, 3, 8, false, -1, CompositeRect{0, 0, 1, 4});
    compositeRow(0, 0, 0, colours, 4, t);
    compositeRow(0, 0, -5, colours, 4, t);
    compositeRow(0, 0, 2, nullptr, 4, t);
    compositeRow(0, 1, 2, colours, 4, t);   // below the grid
    compositeRow(-2, 0, 2, colours, 4, t);  // left of it
    compositeRow(4, 0, 2, colours, 4, t);   // right of it
    EXPECT_EQ(out, untouched);
    // Grids that are absent or not valid take no writes.
    CompositeTarget bad = t;
    bad.output.depth = 12;
    compositeRow(0, 0, 2, colours, 4, bad);
    bad = t;
    bad.output.rect = CompositeRect{0, 0, 0, 4};  // no rows
    compositeRow(0, 0, 2, colours, 4, bad);
    bad = t;
    bad.output.rect = CompositeRect{1, 0, 0, 4};  // upside down
    compositeRow(0, 0, 2, colours, 4, bad);
    compositeRow(0, 0, 2, colours, 4, CompositeTarget{});
    EXPECT_EQ(out, untouched);
    // Positions at the end of the coordinate range.
    compositeRow(INT32_MAX - 1, 0, 8, colours, 0, t);
    EXPECT_EQ(out, untouched);
    // Reading zeros from an absent destination, like the per-pixel path.
    std::vector<std::uint8_t> outPixel(4 * 3, 9);
    CompositeTarget tp = t;
    tp.output.origin = outPixel.data();
    t.glue = tp.glue = 9;
    compositeRow(0, 0, 2, colours, 4, t);
    for (int i = 0; i < 2; ++i) {
        ColorRgba c{1.0f, 1.0f, 1.0f, 1.0f};
        compositePixel(i, 0, c, tp);
    }
    EXPECT_EQ(out, outPixel);
}

}  // namespace
}  // namespace globaro
