#pragma once

#include <cstddef>
#include <cstdint>

#include "render/blend_modes.h"

// Compositing: every rendered pixel reaches its target through
// compositePixel, which conditions the rendered colour, blends it with the
// pixel already there by the glue mode, respects the selection mask and
// writes the result in the target's pixel format.
//
// The compositor knows nothing of the host. The caller describes the target
// with plain pointers and strides (CompositeTarget); the builders below fill
// a PixelGrid for the three memory layouts in use (the host's interleaved
// tiles, the dialog's planar 8-bit preview, the module's packed 8-bit export
// pixels). Runs on the calling thread; no allocation, no state besides the
// pixel.

namespace globaro {

// A rectangle, right and bottom exclusive.
struct CompositeRect {
    std::int32_t top = 0;
    std::int32_t left = 0;
    std::int32_t bottom = 0;
    std::int32_t right = 0;
};

// Where the samples of a rectangle of pixels live. Sample depth decides the
// scale: 8-bit samples run 0..255, 16-bit samples 0..32768, float samples
// 0.0..1.0; transparency uses the same scale as the colour.
struct PixelGrid {
    // Address of the first byte of pixel (rect.left, rect.top). Null: the grid
    // is absent (reads give (0, 0, 0, 0), writes do nothing).
    void* origin = nullptr;
    std::ptrdiff_t rowBytes = 0;                // bytes from a pixel to the one below it
    std::ptrdiff_t pixelBytes = 0;              // bytes from a pixel to the one on its right
    int depth = 8;                              // 8, 16 or 32 (float); anything else: absent
    bool grey = false;                          // one colour sample (colorOffset[0]); read into
                                                // all three channels, written from green
    std::ptrdiff_t colorOffset[3] = {0, 0, 0};  // bytes from the pixel's start to its
                                                // red, green, blue samples (grey: [0])
    std::ptrdiff_t alphaOffset = -1;            // bytes to the transparency sample; -1: none
    CompositeRect rect;                         // the pixels held, in target coordinates
    bool clampToRect = false;                   // positions outside rect are moved to its
                                                // nearest pixel (the preview) instead of
                                                // being skipped (reads outside give zeros)
};

// The host's selection mask: one byte per pixel, 255 = fully selected.
struct MaskGrid {
    const std::uint8_t* origin = nullptr;  // byte of (rect.left, rect.top); null:
                                           // no mask (coverage 1.0 everywhere)
    std::ptrdiff_t rowBytes = 0;
    CompositeRect rect;  // in target coordinates; coverage is 0 outside it
};

// The settings' renderTarget.
inline constexpr int kTargetHostImage = 0;
inline constexpr int kTargetPreview = 1;
inline constexpr int kTargetExportImage = 2;

// Everything compositePixel needs to know about one gathered tile.
//
// Filling it, by target:
// - 0, host image: destination = interleavedGrid(inData, inRowBytes, planes,
//   depth, grey, alpha plane or -1, inRect); output = the same for outData,
//   outRowBytes, outRect; mask = {maskData, maskRowBytes, maskRect} when the
//   host has a mask and is not "AffP"; origin = the shift from render-
//   rectangle coordinates to the tile's coordinates.
// - 1, preview: output = planarGrid8(buffer, row length, plane distance,
//   plane count, {0, 0, height, row length}); destination = the host image as
//   the preview shows it (any grid, e.g. planarGrid8 over the 8-bit preview
//   source); mask as for the host image, if any.
// - 2, export image: output = destination = packedRgba8Grid (8-bit) or
//   interleavedGrid(pixels, row bytes, 4, 16 or 32, false, 3, rect).
struct CompositeTarget {
    // 0: the host image (over rule for images without transparency);
    // 1: the dialog preview (checkerboard behind the result);
    // 2: the module's export image.
    int renderTarget = kTargetHostImage;
    BlendMode glue = kBlendNormal;  // the settings' glue mode
    // Added to the x, y given to compositePixel (render-rectangle coordinates)
    // to obtain target coordinates, in which every rect below is expressed.
    std::int32_t originX = 0;
    std::int32_t originY = 0;
    // Where the pixel already there (d) is read: the host's input tile for
    // target 0, the host image as shown in the preview for target 1 (e.g. the
    // 8-bit preview source), the export image itself for target 2.
    PixelGrid destination;
    // Where the result is written: the host's output tile, the preview buffer
    // (8-bit, no alpha, clampToRect), or the export image. Its depth decides
    // floatOutput (depth 32), its grey flag the grey conversion, and for target
    // 0 its alphaOffset whether the image has a transparency plane.
    PixelGrid output;
    // The selection mask; leave origin null when the host has none or applies
    // it itself (host signature "AffP").
    MaskGrid mask;
};

// Composites one rendered pixel at (x, y) (render-rectangle coordinates).
// `colour` is conditioned in place (opacity boost, clamps, highlight spill,
// grey conversion), then blended and written.
void compositePixel(std::int32_t x, std::int32_t y, ColorRgba& colour, const CompositeTarget& target);

// Composites `count` pixels of one row of a rendered tile: pixel i is at
// (x + i, y) (render-rectangle coordinates) and its colour is the four floats
// red, green, blue, alpha at rgba + i x rgbaStride (floats; 4 for packed
// colours, sizeof(RenderCell) / 4 to read straight from a tile's cells).
// Writes exactly the bytes that compositePixel gives pixel by pixel, in the
// same order; the colours are read, not changed. The grids, the mask row and
// the depth are resolved once per row; pixels a clamping grid moves into its
// rectangle take the per-pixel path. Nothing happens for count <= 0.
void compositeRow(std::int32_t x, std::int32_t y, std::int32_t count, const float* rgba, std::ptrdiff_t rgbaStride,
                  const CompositeTarget& target);

// a over b, neither premultiplied; b is changed. An a with alpha 0 leaves b.
// (Here, for the shading to put its backdrop under every pixel inline.)
inline void compositeOver(const ColorRgba& a, ColorRgba& b) {
    if (!(a.a > 0.0f)) return;
    const float denom = b.a + a.a - b.a * a.a;
    const float k = denom > 0.0f ? a.a / denom : 1.0f;
    b.r += (a.r - b.r) * k;
    b.g += (a.g - b.g) * k;
    b.b += (a.b - b.b) * k;
    b.a = (1.0f - b.a) * a.a + b.a;
}

// The preview's checkerboard square at (x, y): white when (x XOR y) AND 8 is
// 0, else 0.8 grey; opaque.
ColorRgba checkerboardSquare(std::int32_t x, std::int32_t y);

// Reads the pixel at target coordinates (column, row) as floats, 1 for full
// scale (alpha 1.0 without a transparency sample; (0, 0, 0, 0) outside an
// unclamped grid or for an absent one; a float sample that is not a finite
// number reads as 0).
ColorRgba readGridPixel(const PixelGrid& grid, std::int32_t column, std::int32_t row);

// Writes a colour at target coordinates: samples = truncate(channel x scale),
// limited to the sample range (floats are stored as they are); grey grids
// take green; alpha only where there is a transparency sample.
void writeGridPixel(const PixelGrid& grid, std::int32_t column, std::int32_t row, const ColorRgba& colour);

// ---- builders --------------------------------------------------------------
// Each returns an absent grid (origin null) when its description is invalid.

// Interleaved samples, `planes` per pixel (the host's tiles, 16-bit and float
// export images): grey uses plane 0, RGB planes 0, 1, 2; alphaPlane is the
// transparency plane's index or -1.
PixelGrid interleavedGrid(void* first, std::ptrdiff_t rowBytes, int planes, int depth, bool grey, int alphaPlane,
                          const CompositeRect& rect);

// Planar 8-bit samples (the dialog preview): `planes` planes, `planeBytes`
// apart; fewer than 3 planes is grey (plane 0). No alpha; positions are
// clamped into rect.
PixelGrid planarGrid8(void* first, std::ptrdiff_t rowBytes, std::ptrdiff_t planeBytes, int planes,
                      const CompositeRect& rect);

// Packed 8-bit RGBA words (the 8-bit export image): one 32-bit word per
// pixel, red in the highest byte, then green, blue, alpha in the lowest.
PixelGrid packedRgba8Grid(std::uint32_t* first, std::ptrdiff_t rowBytes, const CompositeRect& rect);

}  // namespace globaro
