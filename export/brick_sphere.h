#pragma once
// The brick sphere: the input picture as a ball of 1 x 1 toy bricks (or
// plates) stacked in horizontal layers. A voxel grid holds one palette colour
// per filled cell; the cells on the surface take their colours from the
// picture, matched to the palette with optional error diffusion. The sphere
// leaves the product as an LDraw model, a statistics page and a building plan
// (one picture per layer).
//
// The grid and its axes: projection/brick_grid.h. In LDraw units a cell is
// 20 wide and `layerHeight` high.

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "export/export_job.h"
#include "projection/brick_grid.h"

namespace globaro {

class CheckedFile;

// Palette codes 0 (empty) .. 12.
inline constexpr int kBrickColorCount = 13;

struct BrickColor {
    const char* name;        // as on the statistics page
    std::uint8_t rgb[3];     // used for matching and for the plan
    std::int32_t ldrawCode;  // the LDraw colour number
};

// The palette entry of `code`; codes below 0 count as 0, above 12 as 12.
const BrickColor& brickColor(int code) noexcept;

// One cell: 8 bytes.
struct BrickCell {
    // Bits 0-4 and 6: the colour code; bit 5: coloured; bit 7: visible.
    std::uint8_t code = 0;
    // How much of the colouring error this cell passes on, in 16ths.
    std::uint8_t weight = 0;
    // The colouring error its neighbours passed on (red, green, blue).
    std::int16_t error[3] = {0, 0, 0};
};
static_assert(sizeof(BrickCell) == 8, "a cell is 8 bytes");

inline constexpr std::uint8_t kBrickCodeMask = 95;
inline constexpr std::uint8_t kBrickColoured = 32;
inline constexpr std::uint8_t kBrickVisible = 128;

struct BrickSphere {
    std::int32_t layers = 0;
    bool plates = false;
    std::int32_t layerHeight = 24;  // LDraw units: 8 for plates, 24 for bricks
    std::int32_t across = 0;        // cells along x and along z
    bool diffusion = false;
    std::uint32_t colorSet = 63;  // bit (code - 1) allows palette code `code`
    // across x across x layers cells, index ((across x layer + z) x across + x).
    std::vector<BrickCell> cells;
    // The colouring's running colour (clamped to 0..255).
    std::int32_t running[3] = {0, 0, 0};
    // Per palette code: cells in the whole sphere and on its surface.
    std::array<std::int32_t, kBrickColorCount> total{};
    std::array<std::int32_t, kBrickColorCount> visible{};

    std::size_t index(std::int32_t x, std::int32_t z, std::int32_t layer) const {
        return (static_cast<std::size_t>(across) * static_cast<std::size_t>(layer) + static_cast<std::size_t>(z)) *
                   static_cast<std::size_t>(across) +
               static_cast<std::size_t>(x);
    }
    const BrickCell& cell(std::int32_t x, std::int32_t z, std::int32_t layer) const {
        return cells[index(x, z, layer)];
    }
    BrickCell& cell(std::int32_t x, std::int32_t z, std::int32_t layer) { return cells[index(x, z, layer)]; }
    int codeAt(std::int32_t x, std::int32_t z, std::int32_t layer) const {
        return cell(x, z, layer).code & kBrickCodeMask;
    }
    BrickGrid grid() const { return {layers, across}; }
};

// The voxelised sphere: every filled cell black (code 1), the surface cells
// marked visible, the counts made. `layers` is kept to 1..150.
BrickSphere buildBrickSphere(std::int32_t layers, bool plates, bool diffusion, std::uint32_t colorSet);

// The allowed palette code nearest to (r, g, b) (squared distance; a tie goes
// to the lower code). 0 when `colorSet` allows none.
int nearestBrickColor(int r, int g, int b, std::uint32_t colorSet) noexcept;

// The colour (0..255 per channel) the picture shows in a direction.
using BrickColourLookup = std::function<void(const SphereDir& direction, float rgb[3])>;

// Colours the visible cells from `lookup` (the hidden ones stay black) and
// makes the counts. Without diffusion each cell takes the colour nearest to
// its own. With diffusion the cells are coloured in the order of the LDraw
// file (layers bottom up, then z, then x), and each passes 7/8 of its error
// (its weight byte, 14 sixteenths) in equal shares to the visible cells among
// its 26 neighbours not yet coloured. False when the job was cancelled.
bool colourBrickSphere(BrickSphere& sphere, const BrickColourLookup& lookup, const ExportJob& job = {});

// Counts the cells per palette code, in the whole sphere and on its surface.
void countBricks(BrickSphere& sphere);

// The LDraw model (lines end with CR LF), dated `when`.
std::string ldrawText(const BrickSphere& sphere, const std::tm& when);
// The statistics page (lines end with "<br>" and a carriage return).
std::string sphereStatisticsText(const BrickSphere& sphere);

// Write the texts above to an open file. False when a write failed (the
// file's failureReason() says why).
bool writeLdraw(const BrickSphere& sphere, const std::tm& when, CheckedFile& file);
bool writeSphereStatistics(const BrickSphere& sphere, CheckedFile& file);

// The building plan: the side of every layer's picture (9 x across + 1), the
// name of layer `layer` (0 = bottom) and its picture, 8-bit red, green, blue
// and transparency by rows: each cell a 9 x 9 square in its palette colour
// with a dark grey outline shared with its neighbours, empty cells clear.
std::int32_t brickPlanSide(const BrickSphere& sphere) noexcept;
std::string brickPlanLayerName(const BrickSphere& sphere, std::int32_t layer);
void brickPlanLayer(const BrickSphere& sphere, std::int32_t layer, std::vector<std::uint8_t>& pixels);

}  // namespace globaro
