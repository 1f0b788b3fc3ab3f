#include "render/graticule.h"

#include <algorithm>
#include <cmath>

namespace globaro {

namespace {

// Parallels for `grid` 2..7: 180 degrees over 5, 6, 10, 15, 30, 45.
constexpr int kParallels[8] = {0, 0, 36, 30, 18, 12, 6, 4};

// A change of u, taken the short way round the sphere.
inline double wrapped(double d) noexcept { return d - std::floor(d + 0.5); }

bool takesNoGraticule(const RenderCell& cell) noexcept {
    return cell.regionTag == kTagEmpty || cell.regionTag >= kTagFirstTab;
}

}  // namespace

GraticuleCounts graticuleCounts(std::int32_t grid, float v) noexcept {
    GraticuleCounts n;
    if (grid < 2 || grid > 7) return n;
    n.parallels = kParallels[grid];
    n.meridians = 2 * n.parallels;
    const bool polar = v == -2.0f || [&] {
        const double k = std::floor(static_cast<double>(v) * n.parallels);
        return k < 1.0 || k >= n.parallels - 1;
    }();
    if (polar) n.meridians = 4;
    return n;
}

float graticuleStrength(std::int32_t x, std::int32_t y, const RenderContext& ctx, const CellGrid& grid) noexcept {
    if (ctx.grid < 2 || ctx.grid > 7) return 0.0f;
    const RenderCell& pixel = grid.at(x, y);
    if (takesNoGraticule(pixel)) return 0.0f;
    // Corners a (x - 1, y - 1), b (x, y - 1), c (x - 1, y), d (x, y).
    const RenderCell* k[4] = {&grid.at(x - 1, y - 1), &grid.at(x, y - 1), &grid.at(x - 1, y), &pixel};
    for (const RenderCell* c : k)
        if (!(c->secondU >= 0.0f) || !(c->secondV >= 0.0f)) return 0.0f;  // no position
    const double ua = k[0]->secondU;
    const double db = wrapped(k[1]->secondU - ua), dc = wrapped(k[2]->secondU - ua), dd = wrapped(k[3]->secondU - ua);
    double u = ua + 0.25 * (db + dc + dd);
    u -= std::floor(u);
    const double ux = 0.5 * (db + (dd - dc)), uy = 0.5 * (dc + (dd - db));
    const double va = k[0]->secondV, vb = k[1]->secondV, vc = k[2]->secondV, vd = k[3]->secondV;
    const double v = 0.25 * (va + vb + vc + vd);
    const double vx = 0.5 * ((vb - va) + (vd - vc)), vy = 0.5 * ((vc - va) + (vd - vb));
    const double du = std::hypot(ux, uy), dv = std::hypot(vx, vy);

    const GraticuleCounts n = graticuleCounts(ctx.grid, static_cast<float>(v));
    const double pu = n.meridians * u + 0.5, pv = n.parallels * v + 0.5;
    const double fu = pu - std::floor(pu), fv = pv - std::floor(pv);
    double lineU = 0.0, lineV = 0.0;
    if (du != 0.0) lineU = 1.0 - std::clamp(std::fabs(fu - 0.5) / (n.meridians * du), 0.0, 1.0);
    if (dv != 0.0) lineV = 1.0 - std::clamp(std::fabs(fv - 0.5) / (n.parallels * dv), 0.0, 1.0);
    if (v < 0.01 || v > 0.99) lineV = 0.0;
    return static_cast<float>(std::max(lineU, lineV));
}

void drawGraticule(std::int32_t x, std::int32_t y, ColorRgba& colour, const RenderContext& ctx, const CellGrid& grid,
                   float step) noexcept {
    if (ctx.graticuleOn == 0) return;
    const float s = std::clamp(graticuleStrength(x, y, ctx, grid), 0.0f, 1.0f);
    if (!(s > 0.0f)) return;
    const float a = s * 0.5f / (step > 0.0f ? step : 1.0f);
    colour.r += (ctx.lineColour[0] - colour.r) * a;
    colour.g += (ctx.lineColour[1] - colour.g) * a;
    colour.b += (ctx.lineColour[2] - colour.b) * a;
}

}  // namespace globaro
