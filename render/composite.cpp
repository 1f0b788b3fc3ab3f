#include "render/composite.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace globaro {

namespace {

constexpr float kOpacityBoost = 1.007f;
constexpr float kSpillFactor = 60.0f / 256.0f;  // 0.234375
constexpr float kFullCoverage = 0.9999f;
constexpr float kMaskFactor = 0.0039215684f;  // 1 / 255
constexpr float kFloatColourCap = 65535.0f;

bool validDepth(int depth) { return depth == 8 || depth == 16 || depth == 32; }

int bytesPerSample(int depth) { return depth == 8 ? 1 : depth == 16 ? 2 : 4; }

float readScale(int depth) {
  return depth == 8 ? 1.0f / 255.0f : depth == 16 ? 1.0f / 32768.0f : 1.0f;
}

bool validRect(const CompositeRect& r) { return r.bottom >= r.top && r.right >= r.left; }

bool inside(const CompositeRect& r, std::int32_t column, std::int32_t row) {
  return column >= r.left && column < r.right && row >= r.top && row < r.bottom;
}

// The address of a pixel, or null when it is not in the grid. Clamping grids
// move the position to the nearest pixel of their rectangle.
unsigned char* locate(const PixelGrid& grid, std::int32_t column, std::int32_t row) {
  if (grid.origin == nullptr || !validDepth(grid.depth) || !validRect(grid.rect)) return nullptr;
  if (grid.rect.right == grid.rect.left || grid.rect.bottom == grid.rect.top) return nullptr;
  if (grid.clampToRect) {
    column = std::clamp(column, grid.rect.left, grid.rect.right - 1);
    row = std::clamp(row, grid.rect.top, grid.rect.bottom - 1);
  } else if (!inside(grid.rect, column, row)) {
    return nullptr;
  }
  return static_cast<unsigned char*>(grid.origin) +
         static_cast<std::ptrdiff_t>(row - grid.rect.top) * grid.rowBytes +
         static_cast<std::ptrdiff_t>(column - grid.rect.left) * grid.pixelBytes;
}

float readSample(const unsigned char* at, int depth) {
  switch (depth) {
    case 8:
      return static_cast<float>(*at);
    case 16: {
      std::uint16_t v;
      std::memcpy(&v, at, sizeof v);
      return static_cast<float>(v);
    }
    default: {
      float v;
      std::memcpy(&v, at, sizeof v);
      return v;
    }
  }
}

// Stores truncate(value x scale) limited to the sample's range; floats are
// stored as they are.
void writeSample(unsigned char* at, int depth, float value) {
  switch (depth) {
    case 8: {
      const float v = value * 255.0f;
      const std::uint8_t s = v > 0.0f ? static_cast<std::uint8_t>(std::min(v, 255.0f)) : 0;
      *at = s;
      break;
    }
    case 16: {
      const float v = value * 32768.0f;
      const std::uint16_t s = v > 0.0f ? static_cast<std::uint16_t>(std::min(v, 32768.0f)) : 0;
      std::memcpy(at, &s, sizeof s);
      break;
    }
    default:
      std::memcpy(at, &value, sizeof value);
      break;
  }
}

float atLeastZero(float v) { return v > 0.0f ? v : 0.0f; }  // not a number: 0

// Light above 1 in one channel is spread to the others, so that overexposed
// colours turn towards white instead of clipping to a saturated hue.
void spillHighlights(ColorRgba& c) {
  const bool r = c.r > 1.0f;
  const bool g = c.g > 1.0f;
  const bool b = c.b > 1.0f;
  const float excess = (r ? c.r - 1.0f : 0.0f) + (g ? c.g - 1.0f : 0.0f) + (b ? c.b - 1.0f : 0.0f);
  const float q = excess * kSpillFactor;
  const float h = q * 0.5f;
  if (r && !g && !b) {
    c.g += h;
    c.b += h;
    if (c.g > 1.0f) c.b += c.g - 1.0f;
    if (c.b > 1.0f) c.g += c.b - 1.0f;
  } else if (g && !r && !b) {
    c.b += h;
    c.r += h;
    if (c.r > 1.0f) c.b += c.r - 1.0f;
    if (c.b > 1.0f) c.r += c.b - 1.0f;
  } else if (b && !r && !g) {
    c.r += h;
    c.g += h;
    if (c.r > 1.0f) c.g += c.r - 1.0f;
    if (c.g > 1.0f) c.r += c.g - 1.0f;
  } else if (r && g && !b) {
    c.b += q;
  } else if (r && b && !g) {
    c.g += q;
  } else if (g && b && !r) {
    c.r += q;
  }
}

float maskCoverage(const MaskGrid& mask, std::int32_t column, std::int32_t row) {
  if (mask.origin == nullptr) return 1.0f;
  if (!validRect(mask.rect) || !inside(mask.rect, column, row)) return 0.0f;
  const std::uint8_t v = mask.origin[static_cast<std::ptrdiff_t>(row - mask.rect.top) * mask.rowBytes +
                                     (column - mask.rect.left)];
  return static_cast<float>(v) * kMaskFactor;
}

}  // namespace

void compositeOver(const ColorRgba& a, ColorRgba& b) {
  if (!(a.a > 0.0f)) return;
  const float denom = b.a + a.a - b.a * a.a;
  const float k = denom > 0.0f ? a.a / denom : 1.0f;
  b.r += (a.r - b.r) * k;
  b.g += (a.g - b.g) * k;
  b.b += (a.b - b.b) * k;
  b.a = (1.0f - b.a) * a.a + b.a;
}

ColorRgba checkerboardSquare(std::int32_t x, std::int32_t y) {
  const float v = ((x ^ y) & 8) == 0 ? 1.0f : 0.8f;
  return ColorRgba{v, v, v, 1.0f};
}

ColorRgba readGridPixel(const PixelGrid& grid, std::int32_t column, std::int32_t row) {
  const unsigned char* at = locate(grid, column, row);
  if (at == nullptr) return ColorRgba{};
  const float scale = readScale(grid.depth);
  ColorRgba c;
  if (grid.grey) {
    c.r = c.g = c.b = readSample(at + grid.colorOffset[0], grid.depth) * scale;
  } else {
    c.r = readSample(at + grid.colorOffset[0], grid.depth) * scale;
    c.g = readSample(at + grid.colorOffset[1], grid.depth) * scale;
    c.b = readSample(at + grid.colorOffset[2], grid.depth) * scale;
  }
  c.a = grid.alphaOffset >= 0 ? readSample(at + grid.alphaOffset, grid.depth) * scale : 1.0f;
  return c;
}

void writeGridPixel(const PixelGrid& grid, std::int32_t column, std::int32_t row, const ColorRgba& colour) {
  unsigned char* at = locate(grid, column, row);
  if (at == nullptr) return;
  if (grid.grey) {
    writeSample(at + grid.colorOffset[0], grid.depth, colour.g);
  } else {
    writeSample(at + grid.colorOffset[0], grid.depth, colour.r);
    writeSample(at + grid.colorOffset[1], grid.depth, colour.g);
    writeSample(at + grid.colorOffset[2], grid.depth, colour.b);
  }
  if (grid.alphaOffset >= 0) writeSample(at + grid.alphaOffset, grid.depth, colour.a);
}

void compositePixel(std::int32_t x, std::int32_t y, ColorRgba& colour, const CompositeTarget& target) {
  const PixelGrid& output = target.output;
  const bool floatOutput = output.depth == 32;

  // 1, 2: opacity boost for integer targets, then the clamps.
  if (!floatOutput) colour.a *= kOpacityBoost;
  colour.a = atLeastZero(colour.a);
  if (colour.a > 1.0f) colour.a = 1.0f;
  colour.r = atLeastZero(colour.r);
  colour.g = atLeastZero(colour.g);
  colour.b = atLeastZero(colour.b);

  // 3: highlight spill.
  if (!floatOutput) spillHighlights(colour);

  // 4: grey targets.
  if (output.grey) {
    const float v = 0.3f * colour.r + 0.59f * colour.g + 0.11f * colour.b;
    colour.r = colour.g = colour.b = v;
  }

  // 5: selection coverage.
  const std::int32_t column = x + target.originX;
  const std::int32_t row = y + target.originY;
  const float coverage = maskCoverage(target.mask, column, row);

  // 6: the pixel already there, only when something uses it.
  ColorRgba d;
  if (target.glue != kBlendNormal || colour.a < 1.0f || coverage < kFullCoverage) {
    d = readGridPixel(target.destination, column, row);
  }

  // 7: blend.
  ColorRgba result;
  if (floatOutput) {
    result = colour;
    result.r = std::min(result.r, kFloatColourCap);
    result.g = std::min(result.g, kFloatColourCap);
    result.b = std::min(result.b, kFloatColourCap);
  } else {
    blendPixel(colour, d, result, target.glue);
  }
  // An image without a transparency plane cannot store a transparent
  // result: it goes over the pixel already there, at every depth (a float
  // image would otherwise turn everything outside a projection black).
  if (result.a < 1.0f && target.renderTarget == kTargetHostImage && output.alphaOffset < 0) {
    ColorRgba under = d;
    compositeOver(result, under);
    result = under;
  }
  if (!floatOutput) {
    result.r = std::min(result.r, 1.0f);
    result.g = std::min(result.g, 1.0f);
    result.b = std::min(result.b, 1.0f);
  }

  // 8: the preview shows the result over a checkerboard.
  ColorRgba base = d;
  if (target.renderTarget == kTargetPreview) {
    base = checkerboardSquare(x, y);
    ColorRgba shown = base;
    compositeOver(result, shown);
    result = shown;
  }

  // 9: partial selection.
  if (coverage < kFullCoverage) {
    result.r = base.r + (result.r - base.r) * coverage;
    result.g = base.g + (result.g - base.g) * coverage;
    result.b = base.b + (result.b - base.b) * coverage;
    result.a = base.a + (result.a - base.a) * coverage;
  }

  // 10: write.
  writeGridPixel(output, column, row, result);
}

PixelGrid interleavedGrid(void* first, std::ptrdiff_t rowBytes, int planes, int depth, bool grey,
                          int alphaPlane, const CompositeRect& rect) {
  PixelGrid grid;
  const int colourPlanes = grey ? 1 : 3;
  if (first == nullptr || !validDepth(depth) || !validRect(rect) || planes < colourPlanes) return grid;
  if (alphaPlane >= planes || alphaPlane < -1 || (alphaPlane >= 0 && alphaPlane < colourPlanes)) {
    return grid;
  }
  const int bytes = bytesPerSample(depth);
  grid.origin = first;
  grid.rowBytes = rowBytes;
  grid.pixelBytes = static_cast<std::ptrdiff_t>(planes) * bytes;
  grid.depth = depth;
  grid.grey = grey;
  for (int c = 0; c < 3; ++c) grid.colorOffset[c] = grey ? 0 : c * bytes;
  grid.alphaOffset = alphaPlane >= 0 ? static_cast<std::ptrdiff_t>(alphaPlane) * bytes : -1;
  grid.rect = rect;
  return grid;
}

PixelGrid planarGrid8(void* first, std::ptrdiff_t rowBytes, std::ptrdiff_t planeBytes, int planes,
                      const CompositeRect& rect) {
  PixelGrid grid;
  if (first == nullptr || planes < 1 || !validRect(rect)) return grid;
  grid.origin = first;
  grid.rowBytes = rowBytes;
  grid.pixelBytes = 1;
  grid.depth = 8;
  grid.grey = planes < 3;
  for (int c = 0; c < 3; ++c) grid.colorOffset[c] = grid.grey ? 0 : c * planeBytes;
  grid.alphaOffset = -1;
  grid.rect = rect;
  grid.clampToRect = true;
  return grid;
}

PixelGrid packedRgba8Grid(std::uint32_t* first, std::ptrdiff_t rowBytes, const CompositeRect& rect) {
  PixelGrid grid;
  if (first == nullptr || !validRect(rect)) return grid;
  // Byte of the word's bits 24..31 (red), 16..23, 8..15, 0..7 (alpha).
  const bool little = std::endian::native == std::endian::little;
  auto byteOf = [little](int shift) -> std::ptrdiff_t { return little ? shift / 8 : 3 - shift / 8; };
  grid.origin = first;
  grid.rowBytes = rowBytes;
  grid.pixelBytes = 4;
  grid.depth = 8;
  grid.colorOffset[0] = byteOf(24);
  grid.colorOffset[1] = byteOf(16);
  grid.colorOffset[2] = byteOf(8);
  grid.alphaOffset = byteOf(0);
  grid.rect = rect;
  return grid;
}

}  // namespace globaro
