#include "export/brick_sphere.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/checked_file.h"

namespace globaro {
namespace {

constexpr BrickColor kPalette[kBrickColorCount] = {
    {"", {0, 0, 0}, 16},
    {"black", {0, 0, 0}, 0},
    {"blue", {52, 77, 153}, 1},
    {"green", {0, 143, 81}, 2},
    {"red", {242, 0, 42}, 4},
    {"white", {255, 255, 255}, 15},
    {"yellow", {251, 225, 11}, 14},
    {"light grey", {193, 193, 193}, 7},
    {"dark grey", {85, 85, 85}, 8},
    {"brown", {81, 43, 32}, 6},
    {"sand red", {203, 149, 197}, 12},
    {"tan", {240, 194, 129}, 13},
    {"green-gray", {139, 172, 150}, 10},
};

constexpr const char* kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

// The share of its error a coloured cell passes on, in 16ths.
constexpr std::uint8_t kDiffusionWeight = 14;

// The plan's outline between cells.
constexpr std::uint8_t kPlanOutline[4] = {64, 64, 64, 255};

bool inside(const BrickSphere& s, std::int32_t x, std::int32_t z, std::int32_t layer) {
    return x >= 0 && z >= 0 && layer >= 0 && x < s.across && z < s.across && layer < s.layers;
}

bool filled(const BrickSphere& s, std::int32_t x, std::int32_t z, std::int32_t layer) {
    return inside(s, x, z, layer) && s.codeAt(x, z, layer) != 0;
}

void setCode(BrickCell& cell, int code) {
    cell.code = static_cast<std::uint8_t>((cell.code & ~kBrickCodeMask) | (code & kBrickCodeMask) | kBrickColoured);
}

// Hands `error` x weight / 16 in equal shares to the visible cells among the
// 26 neighbours of (x, z, layer) that are not coloured yet.
void diffuseError(BrickSphere& s, std::int32_t x, std::int32_t z, std::int32_t layer, const int error[3],
                  std::uint8_t weight) {
    BrickCell* targets[26];
    int count = 0;
    for (std::int32_t dl = -1; dl <= 1; ++dl)
        for (std::int32_t dz = -1; dz <= 1; ++dz)
            for (std::int32_t dx = -1; dx <= 1; ++dx) {
                if ((dx | dz | dl) == 0 || !inside(s, x + dx, z + dz, layer + dl)) continue;
                BrickCell& n = s.cell(x + dx, z + dz, layer + dl);
                if ((n.code & kBrickVisible) != 0 && (n.code & kBrickColoured) == 0) targets[count++] = &n;
            }
    if (count == 0) return;
    for (int c = 0; c < 3; ++c) {
        const int share = error[c] * weight / (16 * count);
        for (int i = 0; i < count; ++i)
            targets[i]->error[c] = static_cast<std::int16_t>(std::clamp(targets[i]->error[c] + share, -32768, 32767));
    }
}

// "1 %d %d %d %d " and the part: one LDraw line of a cell.
void appendBrickLine(std::string& out, int colour, int x, int y, int z, bool plates) {
    char line[96];
    std::snprintf(line, sizeof line, "1 %d %d %d %d 1 0 0 0 1 0 0 0 1 %s\r\n", colour, x, y, z,
                  plates ? "3024.DAT" : "3005.DAT");
    out += line;
}

}  // namespace

const BrickColor& brickColor(int code) noexcept { return kPalette[std::clamp(code, 0, kBrickColorCount - 1)]; }

int nearestBrickColor(int r, int g, int b, std::uint32_t colorSet) noexcept {
    int best = 0;
    double bestDistance = 2e9;
    for (int code = 1; code < kBrickColorCount; ++code) {
        if ((colorSet & (1u << (code - 1))) == 0) continue;
        const std::uint8_t* p = kPalette[code].rgb;
        const double dr = r - p[0], dg = g - p[1], db = b - p[2];
        const double distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = code;
        }
    }
    return best;
}

BrickSphere buildBrickSphere(std::int32_t layers, bool plates, bool diffusion, std::uint32_t colorSet) {
    BrickSphere s;
    const BrickGrid grid = brickGrid(layers, plates);
    s.layers = grid.layers;
    s.across = grid.across;
    s.plates = plates;
    s.layerHeight = plates ? 8 : 24;
    s.diffusion = diffusion;
    s.colorSet = colorSet;
    s.cells.assign(
        static_cast<std::size_t>(s.across) * static_cast<std::size_t>(s.across) * static_cast<std::size_t>(s.layers),
        BrickCell{});
    for (std::int32_t layer = 0; layer < s.layers; ++layer)
        for (std::int32_t z = 0; z < s.across; ++z)
            for (std::int32_t x = 0; x < s.across; ++x)
                if (brickCellFilled(grid, x, z, layer)) s.cell(x, z, layer).code = 1;
    // A filled cell with an empty face neighbour (or the grid's edge) shows.
    for (std::int32_t layer = 0; layer < s.layers; ++layer)
        for (std::int32_t z = 0; z < s.across; ++z)
            for (std::int32_t x = 0; x < s.across; ++x) {
                BrickCell& c = s.cell(x, z, layer);
                if ((c.code & kBrickCodeMask) == 0) continue;
                const bool shows = !filled(s, x - 1, z, layer) || !filled(s, x + 1, z, layer) ||
                                   !filled(s, x, z - 1, layer) || !filled(s, x, z + 1, layer) ||
                                   !filled(s, x, z, layer - 1) || !filled(s, x, z, layer + 1);
                if (shows) {
                    c.code |= kBrickVisible;
                    c.weight = kDiffusionWeight;
                }
            }
    countBricks(s);
    return s;
}

bool colourBrickSphere(BrickSphere& s, const BrickColourLookup& lookup, const ExportJob& job) {
    s.running[0] = s.running[1] = s.running[2] = 0;
    for (BrickCell& c : s.cells) c.error[0] = c.error[1] = c.error[2] = 0;
    for (std::int32_t layer = 0; layer < s.layers; ++layer) {
        if (job.cancelled()) return false;
        job.report(static_cast<double>(layer) / s.layers, "colouring the bricks");
        for (std::int32_t z = 0; z < s.across; ++z)
            for (std::int32_t x = 0; x < s.across; ++x) {
                BrickCell& c = s.cell(x, z, layer);
                if ((c.code & kBrickVisible) == 0) continue;
                float rgb[3] = {0.0f, 0.0f, 0.0f};
                lookup(brickCellDirection(s.grid(), x, z, layer), rgb);
                for (int k = 0; k < 3; ++k) {
                    const float value = std::isfinite(rgb[k]) ? rgb[k] : 0.0f;
                    const int own = static_cast<int>(std::lround(std::clamp(value, 0.0f, 255.0f)));
                    s.running[k] = std::clamp(own + (s.diffusion ? c.error[k] : 0), 0, 255);
                }
                const int code = nearestBrickColor(s.running[0], s.running[1], s.running[2], s.colorSet);
                setCode(c, code);
                if (!s.diffusion || code == 0) continue;
                const std::uint8_t* p = kPalette[code].rgb;
                const int error[3] = {s.running[0] - p[0], s.running[1] - p[1], s.running[2] - p[2]};
                diffuseError(s, x, z, layer, error, c.weight);
            }
    }
    job.report(1.0, "colouring the bricks");
    countBricks(s);
    return true;
}

void countBricks(BrickSphere& s) {
    s.total.fill(0);
    s.visible.fill(0);
    for (const BrickCell& c : s.cells) {
        const int code = std::min(c.code & kBrickCodeMask, kBrickColorCount - 1);
        ++s.total[static_cast<std::size_t>(code)];
        if ((c.code & kBrickVisible) != 0) ++s.visible[static_cast<std::size_t>(code)];
    }
}

std::string ldrawText(const BrickSphere& s, const std::tm& when) {
    std::string out;
    char line[160];
    std::snprintf(line, sizeof line, "0 Lego sphere generated by Globaro 2 on %d %s %d at %02d:%02d:%02d\r\n",
                  when.tm_mday, kMonths[std::clamp(when.tm_mon, 0, 11)], when.tm_year + 1900, when.tm_hour, when.tm_min,
                  when.tm_sec);
    out += line;
    const int half = s.across / 2;
    const int x0 = -20 * half, z0 = 20 * half, y0 = (s.layers / 2) * s.layerHeight;
    for (int layer = 1; layer <= s.layers; ++layer) {
        if (layer > 1) out += "0 STEP\r\n";
        std::snprintf(line, sizeof line, "0 Layer %d of %d\r\n", layer, s.layers);
        out += line;
        for (int z = 0; z < s.across; ++z)
            for (int x = 0; x < s.across; ++x) {
                const int code = s.codeAt(x, z, layer - 1);
                if (code == 0) continue;
                appendBrickLine(out, brickColor(code).ldrawCode, x0 + 20 * x, y0 - s.layerHeight * (layer - 1),
                                z0 - 20 * z, s.plates);
            }
    }
    out += "0\r\n";
    return out;
}

std::string sphereStatisticsText(const BrickSphere& s) {
    const std::string end = "<br>\r";
    std::string out = "<html><head><title>Sphere statistics</title></head><body><pre>";
    out += "Cell count for " + std::to_string(s.layers) + "-layer sphere:" + end;
    out += "(A 2x4 brick counts as 8 cells)" + end + end + end;
    out += "color      total   visible" + end + end;
    for (int code = 1; code < kBrickColorCount; ++code) {
        char row[64];
        std::snprintf(row, sizeof row, "%-10s %5d     %5d", kPalette[code].name,
                      s.total[static_cast<std::size_t>(code)], s.visible[static_cast<std::size_t>(code)]);
        out += row + end;
    }
    out += "</pre></body></html>" + end;
    return out;
}

bool writeLdraw(const BrickSphere& sphere, const std::tm& when, CheckedFile& file) {
    const std::string text = ldrawText(sphere, when);
    return file.writeAt(text.data(), text.size(), 0) == text.size() && !file.failed();
}

bool writeSphereStatistics(const BrickSphere& sphere, CheckedFile& file) {
    const std::string text = sphereStatisticsText(sphere);
    return file.writeAt(text.data(), text.size(), 0) == text.size() && !file.failed();
}

std::int32_t brickPlanSide(const BrickSphere& s) noexcept { return 9 * s.across + 1; }

std::string brickPlanLayerName(const BrickSphere& s, std::int32_t layer) {
    const std::string number = std::to_string(layer + 1);
    if (layer == s.layers - 1) return number + " top";
    if (layer == 0) return number + " bottom";
    return number;
}

void brickPlanLayer(const BrickSphere& s, std::int32_t layer, std::vector<std::uint8_t>& pixels) {
    const std::int32_t side = brickPlanSide(s);
    pixels.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(side) * 4, 0);
    for (std::int32_t py = 0; py < side; ++py)
        for (std::int32_t px = 0; px < side; ++px) {
            // The cells this pixel belongs to: one inside a square, two on
            // an outline, four at a corner.
            const std::int32_t gx = px / 9, gz = py / 9;
            const bool lineX = px % 9 == 0, lineZ = py % 9 == 0;
            const std::uint8_t* colour = nullptr;
            if (!lineX && !lineZ) {
                if (filled(s, gx, gz, layer)) colour = kPalette[s.codeAt(gx, gz, layer)].rgb;
            } else {
                for (std::int32_t dz = lineZ ? -1 : 0; dz <= 0 && colour == nullptr; ++dz)
                    for (std::int32_t dx = lineX ? -1 : 0; dx <= 0; ++dx)
                        if (filled(s, gx + dx, gz + dz, layer)) {
                            colour = kPlanOutline;
                            break;
                        }
            }
            if (colour == nullptr) continue;
            std::uint8_t* p = pixels.data() + (static_cast<std::size_t>(py) * side + px) * 4;
            p[0] = colour[0];
            p[1] = colour[1];
            p[2] = colour[2];
            p[3] = 255;
        }
}

}  // namespace globaro
