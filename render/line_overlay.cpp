#include "render/line_overlay.h"

#include <algorithm>
#include <cmath>

#include "render/graticule.h"

namespace globaro {

namespace {

// Adds one segment (unit-square coordinates, a at (0, 0), d at (1, 1)) to
// the corners, by where its midpoint lies.
inline void splatSegment(float x0, float y0, float x1, float y1, float strength, float coverage[4]) noexcept {
    const float mx = 0.5f * (x0 + x1), my = 0.5f * (y0 + y1);
    const float length = std::hypot(x1 - x0, y1 - y0) * strength;
    coverage[0] += length * (1.0f - mx) * (1.0f - my);
    coverage[1] += length * mx * (1.0f - my);
    coverage[2] += length * (1.0f - mx) * my;
    coverage[3] += length * mx * my;
}

inline float crossing(float p, float q, float t) noexcept {
    if (q == p) return 0.5f;
    return std::clamp((t - p) / (q - p), 0.0f, 1.0f);
}

// A corner that takes no coverage: transparent, or a glue tab.
inline bool takesNoLines(const RenderCell& cell) noexcept {
    return cell.regionTag == kTagEmpty || cell.regionTag >= kTagFirstTab;
}

}  // namespace

void traceContour(float a, float b, float c, float d, float t, float strength, float coverage[4]) noexcept {
    if (a == -2.0f) a = d + 0.00001f;
    if (b == -2.0f) b = d + 0.00001f;
    if (c == -2.0f) c = d + 0.00001f;
    bool above[4] = {a >= t, b >= t, c >= t, d >= t};
    int index = above[0] + 2 * above[1] + 4 * above[2] + 8 * above[3];
    if (index == 15) {
        above[0] = a > t;
        above[1] = b > t;
        above[2] = c > t;
        above[3] = d > t;
        index = above[0] + 2 * above[1] + 4 * above[2] + 8 * above[3];
    }
    if (index == 0 || index == 15) return;
    // The crossing on each edge whose ends disagree: top a-b, right b-d,
    // bottom c-d, left a-c.
    float px[4], py[4];
    bool crossed[4];
    crossed[0] = above[0] != above[1];
    crossed[1] = above[1] != above[3];
    crossed[2] = above[2] != above[3];
    crossed[3] = above[0] != above[2];
    if (crossed[0]) px[0] = crossing(a, b, t), py[0] = 0.0f;
    if (crossed[1]) px[1] = 1.0f, py[1] = crossing(b, d, t);
    if (crossed[2]) px[2] = crossing(c, d, t), py[2] = 1.0f;
    if (crossed[3]) px[3] = 0.0f, py[3] = crossing(a, c, t);
    if (index == 6 || index == 9) {
        // Opposite corners alike: two segments, each cutting off one of the
        // lone corners (b and c for 6, a and d for 9).
        if (index == 6) {
            splatSegment(px[0], py[0], px[1], py[1], strength, coverage);
            splatSegment(px[3], py[3], px[2], py[2], strength, coverage);
        } else {
            splatSegment(px[0], py[0], px[3], py[3], strength, coverage);
            splatSegment(px[1], py[1], px[2], py[2], strength, coverage);
        }
        return;
    }
    int ends[2], n = 0;
    for (int e = 0; e < 4 && n < 2; ++e)
        if (crossed[e]) ends[n++] = e;
    if (n == 2) splatSegment(px[ends[0]], py[ends[0]], px[ends[1]], py[ends[1]], strength, coverage);
}

namespace {

// The pixel whose lower-right corner is (x, y), for one family.
void linePassForPixel(int family, std::int32_t x, std::int32_t y, const RenderContext& ctx, CellGrid& grid) noexcept {
    RenderCell* cells[4] = {&grid.at(x - 1, y - 1), &grid.at(x, y - 1), &grid.at(x - 1, y), &grid.at(x, y)};
    float v[4];
    if (family == 1) {
        // Glue tabs, and the empty areas and gaps that hold no outline
        // value of their own, take the value of another corner of the pixel
        // (the last one that has a value), so that no line runs along them.
        bool borrows[4];
        int donor = -1;
        for (int i = 0; i < 4; ++i) {
            const RenderCell& k = *cells[i];
            v[i] = k.lineValue;
            const bool outside = k.regionTag == kTagEmpty || k.regionTag <= kTagInputMiss;
            borrows[i] = k.regionTag >= kTagFirstTab || (outside && v[i] == kLineOutside);
            if (!borrows[i]) donor = i;
        }
        for (int i = 0; i < 4; ++i)
            if (borrows[i]) v[i] = donor >= 0 ? v[donor] : kLineOutside;
    } else {
        for (int i = 0; i < 4; ++i) v[i] = cells[i]->lineValue2;
        int face = -1;
        for (int i = 3; i >= 0 && face < 0; --i)
            if (v[i] != kLineOutside) face = i;
        if (face < 0) return;
        float outside = v[face];
        if (ctx.usesPolyModel != 0) outside = v[face] != 0.0f ? -v[face] : 1e-6f;
        for (int i = 0; i < 4; ++i)
            if (v[i] == kLineOutside) v[i] = outside;
    }
    const float t = family == 1 ? kLineThreshold1 : kLineThreshold2;
    const bool first = v[0] > t;
    if ((v[1] > t) == first && (v[2] > t) == first && (v[3] > t) == first) return;
    float coverage[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    traceContour(v[0], v[1], v[2], v[3], t, family == 1 ? kLineStrength1 : kLineStrength2, coverage);
    for (int i = 0; i < 4; ++i) cells[i]->lineCoverage += coverage[i];
}

}  // namespace

void drawTileLines(const RenderContext& ctx, CellGrid& grid) noexcept {
    const TileRect& r = grid.jobRect;
    const bool second = ctx.edgesOn != 0;
    for (std::int32_t y = r.top; y <= r.bottom; ++y) {
        for (std::int32_t x = r.left; x <= r.right; ++x) {
            linePassForPixel(1, x, y, ctx, grid);
            if (second) linePassForPixel(2, x, y, ctx, grid);
        }
    }
    for (RenderCell& cell : grid.cells)
        if (takesNoLines(cell)) cell.lineCoverage = 0.0f;
}

OverlayHooks standardOverlayHooks() noexcept {
    OverlayHooks hooks;
    hooks.drawTileLines = drawTileLines;
    hooks.drawGraticule = drawGraticule;
    return hooks;
}

}  // namespace globaro
