// Tabs, edge lines, graticule and indicatrix on renders of a grey input, judged by colour and geometry.

#include <gtest/gtest.h>
#include <map>
#include "pipeline_test_support.h"
#include "polyhedra/poly_model.h"
#include "projection/output_formulas.h"
#include "projection/output_mapping.h"
#include "render/line_overlay.h"
#include "settings/settings_record.h"

namespace globaro {
namespace {
using namespace testing_support;
struct Options {
    int tabs = 0;
    bool edges = false;
    int grid = 1;
    bool indicatrix = false;
};

enum class Expect { kTabsOnePerPair, kNoTabs, kEdgesOnly, kCellCuts, kGraticule, kRingsOfEqualArea, kRingsRound };

struct Case {
    const char* name;
    ProjectionId output;
    int width, height;
    Options options;
    Expect expect;
};

const Case kCases[] = {
    {"cube tabs", 7, 160, 120, {60}, Expect::kTabsOnePerPair},
    {"cube no tabs", 7, 160, 120, {0}, Expect::kNoTabs},
    {"icosahedron tabs", 10, 256, 128, {60}, Expect::kTabsOnePerPair},
    {"geodesic tabs", 177, 384, 256, {60}, Expect::kTabsOnePerPair},
    {"spikeball tabs", 44, 384, 256, {60}, Expect::kTabsOnePerPair},
    {"cube edges", 7, 160, 120, {60, true}, Expect::kEdgesOnly},
    {"icosahedron edges", 10, 256, 128, {60, true}, Expect::kEdgesOnly},
    {"geodesic edges", 177, 384, 256, {0, true}, Expect::kEdgesOnly},
    {"3x2 cube cuts", 338, 300, 200, {0, true}, Expect::kCellCuts},
    {"cube strip cuts", 337, 384, 64, {0, true}, Expect::kCellCuts},
    {"equirectangular grid", 1, 288, 144, {0, false, 5}, Expect::kGraticule},
    {"Mollweide grid", 46, 288, 144, {0, false, 5}, Expect::kGraticule},
    {"stereographic grid", 16, 192, 192, {0, false, 5}, Expect::kGraticule},
    {"cube strip grid", 337, 384, 64, {0, false, 5}, Expect::kGraticule},
    {"cube net grid", 7, 256, 192, {0, false, 5}, Expect::kGraticule},
    {"Mollweide indicatrix", 46, 768, 384, {0, false, 1, true}, Expect::kRingsOfEqualArea},
    {"stereographic indicatrix", 16, 384, 384, {0, false, 1, true}, Expect::kRingsRound},
};

struct Render {
    int width = 0, height = 0;
    std::vector<float> rgba;
    RenderContext ctx;
    const float* at(int x, int y) const { return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4; }
};

// Blue lines and green tabs; the session outlives the render (its context points at its model).
Render renderWith(RenderSession& session, const Case& c, const Options& o) {
    SettingsRecord s = defaultSettings();
    s.outputProjection = c.output, s.tabs = static_cast<float>(o.tabs);
    s.edges = o.edges, s.grid = o.grid, s.indicatrix = o.indicatrix;
    s.lineColor = Rgb16{0, 0, 65535}, s.tabColor = Rgb16{0, 65535, 0};
    EXPECT_EQ(session.loadInput(greyImage(64, 32, 0.5f).view(), 2), 0);
    BufferSink out(c.width, c.height);
    EXPECT_EQ(session.render(s, passFor(c.width, c.height), out).result, 0);
    return Render{c.width, c.height, out.pixels, session.context()};
}

bool tabColoured(const float* p) { return p[3] > 0.99f && p[1] > 0.95f && p[0] < 0.05f && p[2] < 0.05f; }
bool tabTinted(const float* p) { return p[3] > 0.0f && p[1] > p[0] + 0.3f; }
bool lineTinted(const float* p) { return p[3] > 0.0f && p[2] > p[0] + 0.05f; }
bool changed(const float* p, const float* q) {
    return std::fabs(p[0] - q[0]) + std::fabs(p[1] - q[1]) + std::fabs(p[2] - q[2]) > 0.01f;
}
// A line-tinted pixel within one pixel of (px, py).
bool lineNear(const Render& r, double px, double py) {
    bool found = false;
    for (int y = std::max(0, int(py) - 1); y <= std::min(r.height - 1, int(py) + 1); ++y)
        for (int x = std::max(0, int(px) - 1); x <= std::min(r.width - 1, int(px) + 1); ++x)
            found |= lineTinted(r.at(x, y));
    return found;
}

// Follows the point (px, py) of the output (pixel units) through the mapping.
struct Probe {
    RenderCell cell;
    SphereDir dir;
    bool hit = false;
};

struct Prober {
    const Render& r;
    PolyJobState job;
    MappingScratch scratch;
    explicit Prober(const Render& render) : r(render) {
        if (r.ctx.usesPolyModel != 0 && r.ctx.polyModel != nullptr)
            buildSweepList(*r.ctx.polyModel, job), scratch.polyJob = &job;
    }
    Probe at(double px, double py) {
        Probe p;
        p.hit = outputToSphere(float(px / r.width), float(py / r.height), r.ctx, p.cell, scratch, &p.dir);
        return p;
    }
};

// The net's edges in pixel units: the two ends, its face, edge and the face's centre.
struct NetEdge {
    double x0, y0, x1, y1;
    int face, edge;
    double cx, cy;
};

std::vector<NetEdge> netEdges(const Render& r) {
    std::vector<NetEdge> edges;
    const PolyModel& m = *r.ctx.polyModel;
    const double sx = r.width, sy = r.height / m.frameHeight;
    for (int f = 0; f < m.faceCount; ++f) {
        const PolyFace& face = m.faces[f];
        double cx = 0, cy = 0;
        for (int k = 0; k < face.cornerCount; ++k)
            cx += m.vertices[face.corners[k]].netX * sx / face.cornerCount,
                cy += m.vertices[face.corners[k]].netY * sy / face.cornerCount;
        for (int k = 0; k < face.cornerCount; ++k) {
            const NetVertex& a = m.vertices[face.corners[k]];
            const NetVertex& b = m.vertices[face.corners[(k + 1) % face.cornerCount]];
            edges.push_back({a.netX * sx, a.netY * sy, b.netX * sx, b.netY * sy, f, k, cx, cy});
        }
    }
    return edges;
}

double distanceToSegment(double px, double py, const NetEdge& e) {
    const double dx = e.x1 - e.x0, dy = e.y1 - e.y0;
    const double t = std::clamp(((px - e.x0) * dx + (py - e.y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(px - e.x0 - t * dx, py - e.y0 - t * dy);
}

// Tab colour outside exactly one edge of each glued pair (unless under a face); whole tab pixels off faces.
void checkTabs(const Render& r, bool expected) {
    int tinted = 0;
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) tinted += tabTinted(r.at(x, y));
    EXPECT_EQ(tinted, expected ? tinted : 0);
    if (!expected) return;
    const PolyModel& m = *r.ctx.polyModel;
    Prober probe(r);
    int boundary = 0, marked = 0, seen = 0;
    for (const NetEdge& e : netEdges(r)) {
        const PolyFace& face = m.faces[e.face];
        if (face.netNeighbour[e.edge] >= 0) continue;
        ++boundary;
        const bool mark = face.tabMark[e.edge] != 0;
        marked += mark;
        EXPECT_EQ(mark + m.faces[face.neighbourFace[e.edge]].tabMark[face.neighbourEdge[e.edge]], 1);
        const double len = std::hypot(e.x1 - e.x0, e.y1 - e.y0), mx = (e.x0 + e.x1) / 2, my = (e.y0 + e.y1) / 2;
        double nx = -(e.y1 - e.y0) / len, ny = (e.x1 - e.x0) / len;
        if ((e.cx - mx) * nx + (e.cy - my) * ny > 0) nx = -nx, ny = -ny;  // away from the face's centre
        const double d = std::max(1.5, 0.1 * len);
        const int px = static_cast<int>(std::floor(mx + nx * d)), py = static_cast<int>(std::floor(my + ny * d));
        const bool inside = px >= 0 && py >= 0 && px < r.width && py < r.height;
        const std::int32_t tag = probe.at(px + 0.5, py + 0.5).cell.regionTag;
        if (inside && tag >= 0 && tag < kTagFirstTab) continue;  // under a face
        ++seen;
        EXPECT_EQ(inside && tabTinted(r.at(px, py)), mark) << "face " << e.face << " edge " << e.edge;
    }
    EXPECT_TRUE(2 * marked == boundary && seen > boundary / 2) << marked << " " << boundary << " " << seen;
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            const std::int32_t tag = tabColoured(r.at(x, y)) ? probe.at(x + 0.5, y + 0.5).cell.regionTag : -1;
            EXPECT_TRUE(tag < 0 || tag >= kTagFirstTab) << x << "," << y;
        }
}

// Lines along every face edge seen, none farther than two pixels from one nor over a pixel wholly a tab.
void checkEdges(const Render& r) {
    const std::vector<NetEdge> edges = netEdges(r);
    Prober probe(r);
    for (const NetEdge& e : edges) {
        const double ex = (e.x0 + e.x1) / 2, ey = (e.y0 + e.y1) / 2, toCentre = std::hypot(e.cx - ex, e.cy - ey);
        if (probe.at(ex + (e.cx - ex) / toCentre, ey + (e.cy - ey) / toCentre).cell.regionTag != e.face) continue;
        EXPECT_TRUE(lineNear(r, ex, ey)) << "face " << e.face << " edge " << e.edge;
    }
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            const bool line = lineTinted(r.at(x, y));
            double nearest = 1e9;
            for (std::size_t i = 0; line && i < edges.size(); ++i)
                nearest = std::min(nearest, distanceToSegment(x + 0.5, y + 0.5, edges[i]));
            EXPECT_TRUE(!line || nearest <= 2.0) << x << "," << y << " at " << nearest;
            bool wholeTab = true;
            for (double dy : {0.0, 0.5, 1.0})
                for (double dx : {0.0, 0.5, 1.0}) wholeTab &= probe.at(x + dx, y + dy).cell.regionTag >= kTagFirstTab;
            EXPECT_TRUE(!wholeTab || tabColoured(r.at(x, y))) << x << "," << y;
        }
}

// A cube layout with edges on: a line at the middle of every border between cells.
void checkCellCuts(const Render& r) {
    const output_detail::CubeLayout& l = *r.ctx.entry->cube;
    const double w = static_cast<double>(r.width) / l.columns, h = static_cast<double>(r.height) / l.rows;
    for (int row = 0; row < l.rows; ++row)
        for (int col = 0; col < l.columns; ++col) {
            EXPECT_TRUE(col == 0 || lineNear(r, col * w, (row + 0.5) * h)) << "left of cell " << col << "," << row;
            EXPECT_TRUE(row == 0 || lineNear(r, (col + 0.5) * w, row * h)) << "above cell " << col << "," << row;
        }
}

// Pixels from (px, py) to the nearest 15-degree line (meridians every 90 near the poles), or -1.
double graticuleDistance(Prober& probe, double px, double py) {
    const Probe c = probe.at(px, py), right = probe.at(px + 1, py), down = probe.at(px, py + 1);
    bool hit = c.hit && right.hit && down.hit;
    for (double d : {-0.5, 0.5}) hit &= probe.at(px + d, py - 0.5).hit && probe.at(px + d, py + 0.5).hit;
    if (!hit) return -1.0;
    auto lonLat = [](const SphereDir& d) {
        return std::pair{std::atan2(d.x, d.z) * 180.0 / M_PI,
                         std::asin(std::clamp(double(d.y), -1.0, 1.0)) * 180.0 / M_PI};
    };
    const auto [lon, lat] = lonLat(c.dir);
    const auto [lonR, latR] = lonLat(right.dir);
    const auto [lonD, latD] = lonLat(down.dir);
    auto wrap = [](double d) { return d - 360.0 * std::floor(d / 360.0 + 0.5); };
    const double dLon = std::hypot(wrap(lonR - lon), wrap(lonD - lon)), dLat = std::hypot(latR - lat, latD - lat);
    const double meridianStep = std::fabs(lat) > 75.0 ? 90.0 : 15.0;
    auto off = [](double a, double step) { return std::fabs(a - step * std::round(a / step)); };
    double best = 1e9;
    if (dLon > 0) best = std::min(best, off(lon, meridianStep) / dLon);
    if (dLat > 0 && std::fabs(lat) < 88.0) best = std::min(best, off(lat, 15.0) / dLat);
    return best;
}

// A changed pixel lies within two pixels of a line; one whose centre lies within about half a pixel is changed.
void checkGraticule(const Render& with, const Render& without) {
    Prober probe(with);
    int onLines = 0;
    for (int y = 1; y + 1 < with.height; ++y)
        for (int x = 1; x + 1 < with.width; ++x) {
            const double d = with.at(x, y)[3] == 0.0f ? -1.0 : graticuleDistance(probe, x + 0.5, y + 0.5);
            if (d < 0 || !std::isfinite(d)) continue;
            const bool isChanged = changed(with.at(x, y), without.at(x, y));
            EXPECT_TRUE((!isChanged || d <= 2.0) && (d > 0.55 || isChanged)) << x << "," << y << " at " << d;
            onLines += d <= 0.55;
        }
    EXPECT_GT(onLines, with.width);
}

// Indicatrix rings: every changed pixel lies about 0.0707 (chord) from a centre; moments give the shape.
struct Ring {
    double n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0, minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    double axisRatio, area;
};

std::map<int, Ring> rings(const Render& with, const Render& without) {
    Prober probe(with);
    std::map<int, Ring> found;
    for (int y = 0; y + 1 < with.height; ++y)
        for (int x = 0; x + 1 < with.width; ++x) {
            if (!changed(with.at(x, y), without.at(x, y))) continue;
            const Probe c = probe.at(x + 0.5, y + 0.5), right = probe.at(x + 1.5, y + 0.5),
                        down = probe.at(x + 0.5, y + 1.5);
            if (!c.hit) continue;
            const double footprint =
                std::max(std::hypot(right.dir.x - c.dir.x, right.dir.y - c.dir.y, right.dir.z - c.dir.z),
                         std::hypot(down.dir.x - c.dir.x, down.dir.y - c.dir.y, down.dir.z - c.dir.z));
            int nearest = -1;
            double chord = 1e9;
            for (int i = 0; i < kIndicatrixCentreCount; ++i) {
                const SphereDir& k = with.ctx.indicatrixCentres[i];
                const double d = std::hypot(c.dir.x - k.x, c.dir.y - k.y, c.dir.z - k.z);
                if (d < chord) chord = d, nearest = i;
            }
            EXPECT_NEAR(chord, std::sqrt(0.005), 2.5 * footprint + 0.002) << x << "," << y;
            Ring& g = found[nearest];
            g.minX = std::min<double>(g.minX, x), g.maxX = std::max<double>(g.maxX, x);
            g.minY = std::min<double>(g.minY, y), g.maxY = std::max<double>(g.maxY, y);
            g.n += 1, g.sx += x, g.sy += y, g.sxx += x * x, g.syy += y * y, g.sxy += x * y;
        }
    for (auto& [i, g] : found) {
        const double mx = g.sx / g.n, my = g.sy / g.n;
        const double a = g.sxx / g.n - mx * mx, b = g.syy / g.n - my * my, c = g.sxy / g.n - mx * my;
        const double t = 0.5 * (a + b), d = std::sqrt(std::max(0.0, 0.25 * (a - b) * (a - b) + c * c));
        g.axisRatio = std::sqrt((t + d) / std::max(1e-9, t - d));
        g.area = std::sqrt(std::max(0.0, a * b - c * c));
    }
    return found;
}

void checkRings(const Render& with, const Render& without, bool equalArea) {
    const std::map<int, Ring> found = rings(with, without);
    if (!equalArea) {
        EXPECT_GT(found.size(), 20u);
        for (const auto& [i, g] : found) {  // rings cut by the image's border are not whole
            const bool whole = g.minX > 1 && g.minY > 1 && g.maxX < with.width - 3 && g.maxY < with.height - 3;
            EXPECT_TRUE(g.n < 16 || !whole || g.axisRatio < 1.15) << "ring " << i << ": " << g.axisRatio;
        }
        return;
    }
    EXPECT_EQ(found.size(), static_cast<std::size_t>(kIndicatrixCentreCount));
    std::vector<double> areas;
    double widest = 1.0;
    for (const auto& [i, g] : found) {  // not the poles' rings (cut by the tips) nor the back meridian's (split)
        if (i >= 126 || g.maxX - g.minX > with.width / 4) continue;
        areas.push_back(g.area);
        widest = std::max(widest, g.axisRatio);
    }
    std::sort(areas.begin(), areas.end());
    for (double a : areas) EXPECT_NEAR(a / areas[areas.size() / 2], 1.0, 0.2);
    EXPECT_GT(widest, 1.5);  // the shape shows the distortion
}

// One pixel of the tracing: (corner values a, b, c, d, threshold, strength) -> each corner's coverage.
TEST(LineTracing, SpreadsTheCrossingLengthOntoTheCorners) {
    const std::tuple<float, float, float, float, float, float, std::array<float, 4>> traces[] = {
        {1, 1, 1, 1, 0.005f, 1.0f, {0, 0, 0, 0}},                      // above everywhere: nothing
        {0, 1, 0, 1, 0.5f, 1.0f, {0.25f, 0.25f, 0.25f, 0.25f}},        // upright through the middle
        {0, 0, 1, 1, 0.0f, 0.7f, {0.35f, 0.35f, 0, 0}},                // all at or above: strictly above decides
        {-1, -1, 1, 1, 0.0f, 0.7f, {0.175f, 0.175f, 0.175f, 0.175f}},  // the second family's strength
        {1, 0, 0, 1, 0.5f, 1.0f, {0.441942f, 0.265165f, 0.265165f, 0.441942f}},  // a and d alone: two cuts
    };
    for (const auto& [a, b, c, d, t, strength, expected] : traces) {
        float coverage[4] = {0, 0, 0, 0};
        traceContour(a, b, c, d, t, strength, coverage);
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(coverage[i], expected[i], 1e-4f) << a << b << c << d;
    }
}

class OverlayTable : public ::testing::TestWithParam<Case> {};

TEST_P(OverlayTable, AppearsWhereItMust) {
    const Case& c = GetParam();
    RenderSession session, plainSession;
    const Render with = renderWith(session, c, c.options);
    if (c.expect == Expect::kTabsOnePerPair || c.expect == Expect::kNoTabs) {
        ASSERT_NE(with.ctx.polyModel, nullptr);
        return checkTabs(with, c.expect == Expect::kTabsOnePerPair);
    }
    if (c.expect == Expect::kEdgesOnly) return checkEdges(with);
    if (c.expect == Expect::kCellCuts) return checkCellCuts(with);
    const Render without = renderWith(plainSession, c, Options{c.options.tabs, c.options.edges});
    if (c.expect == Expect::kGraticule) return checkGraticule(with, without);
    checkRings(with, without, c.expect == Expect::kRingsOfEqualArea);
}

INSTANTIATE_TEST_SUITE_P(Overlays, OverlayTable, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
});
}  // namespace
}  // namespace globaro
