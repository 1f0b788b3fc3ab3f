#include "polyhedra/glue_tabs.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace globaro {

namespace {

struct P2 {
    double x = 0.0, y = 0.0;
};

P2 netPoint(const PolyModel& m, int v) noexcept {
    if (v < 0 || v >= kPolyMaxVertices) return {};
    return {m.vertices[v].netX, m.vertices[v].netY};
}

bool validFace(const PolyFace& f) noexcept {
    if (f.cornerCount < 3 || f.cornerCount > kPolyMaxCorners) return false;
    for (int k = 0; k < f.cornerCount; ++k)
        if (f.corners[k] < 0 || f.corners[k] >= kPolyMaxVertices) return false;
    return true;
}

struct BoundaryEdge {
    P2 p, q;
    int face = -1, edge = -1;
};

constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxSlant = kPi / 4.0;

// The free angle outside the net at end `at` of edge at->to (outward normal
// n): the turn from the edge towards n until the next boundary edge leaving
// the same point.
double freeAngle(const std::vector<BoundaryEdge>& edges, const P2& at, const P2& to, const P2& n, double tolerance,
                 std::size_t self) noexcept {
    const double ux = to.x - at.x, uy = to.y - at.y;
    const double len = std::hypot(ux, uy);
    double best = 2.0 * kPi;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (i == self) continue;
        const BoundaryEdge& e = edges[i];
        P2 other;
        if (std::hypot(e.p.x - at.x, e.p.y - at.y) <= tolerance) {
            other = e.q;
        } else if (std::hypot(e.q.x - at.x, e.q.y - at.y) <= tolerance) {
            other = e.p;
        } else {
            continue;
        }
        const double wx = other.x - at.x, wy = other.y - at.y;
        double theta = std::atan2(wx * n.x + wy * n.y, (wx * ux + wy * uy) / len);
        if (theta <= 1e-9) theta += 2.0 * kPi;
        best = std::min(best, theta);
    }
    return best;
}

}  // namespace

void addGlueTabs(PolyModel& m) noexcept {
    if (!(m.tabSize > 0.0f)) return;
    std::vector<BoundaryEdge> edges;
    double scale = 0.0;
    try {
        for (int f = 0; f < m.faceCount && f < kPolyMaxFaces; ++f) {
            const PolyFace& face = m.faces[f];
            if (face.hidden || !validFace(face)) continue;
            for (int k = 0; k < face.cornerCount; ++k) {
                if (face.netNeighbour[k] >= 0) continue;
                BoundaryEdge e{netPoint(m, face.corners[k]), netPoint(m, face.corners[(k + 1) % face.cornerCount]), f,
                               k};
                scale = std::max(scale, std::hypot(e.q.x - e.p.x, e.q.y - e.p.y));
                edges.push_back(e);
            }
        }
    } catch (...) {
        return;  // no memory for the edge list: a net without tabs
    }
    const double tolerance = scale * 1e-4;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const BoundaryEdge& e = edges[i];
        const PolyFace& face = m.faces[e.face];
        if (!face.tabMark[e.edge]) continue;
        const double ux = e.q.x - e.p.x, uy = e.q.y - e.p.y;
        const double len = std::hypot(ux, uy);
        if (!(len > 0.0)) continue;
        // The outward normal: away from the face's centre.
        P2 centre;
        for (int k = 0; k < face.cornerCount; ++k) {
            const P2 c = netPoint(m, face.corners[k]);
            centre.x += c.x / face.cornerCount;
            centre.y += c.y / face.cornerCount;
        }
        P2 n{-uy / len, ux / len};
        if ((centre.x - e.p.x) * n.x + (centre.y - e.p.y) * n.y > 0.0) n = {-n.x, -n.y};
        const double slantP = std::min(kMaxSlant, 0.5 * freeAngle(edges, e.p, e.q, n, tolerance, i));
        const double slantQ = std::min(kMaxSlant, 0.5 * freeAngle(edges, e.q, e.p, n, tolerance, i));
        if (!(slantP > 1e-6) || !(slantQ > 1e-6)) continue;
        const double cotP = 1.0 / std::tan(slantP), cotQ = 1.0 / std::tan(slantQ);
        const double h = std::min(static_cast<double>(m.tabSize) * len, len / (cotP + cotQ));
        const double dx = ux / len, dy = uy / len;
        const P2 p2{e.p.x + dx * h * cotP + n.x * h, e.p.y + dy * h * cotP + n.y * h};
        const P2 q2{e.q.x - dx * h * cotQ + n.x * h, e.q.y - dy * h * cotQ + n.y * h};
        auto add = [&](const P2& a, const P2& b, const P2& c) {
            addMarkTriangle(m, static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(b.x),
                            static_cast<float>(b.y), static_cast<float>(c.x), static_cast<float>(c.y), e.face,
                            face.colourGroup);
        };
        add(e.p, e.q, q2);
        if (std::hypot(q2.x - p2.x, q2.y - p2.y) > tolerance) add(e.p, q2, p2);
    }
}

void assignFoldSides(PolyModel& m) noexcept {
    const int count = std::clamp(m.faceCount, 0, kPolyMaxFaces);
    for (int f = 0; f < count; ++f) m.faces[f].foldSide = 0;
    std::vector<int> queue;
    try {
        queue.reserve(static_cast<std::size_t>(count));
    } catch (...) {
        return;
    }
    for (int start = 0; start < count; ++start) {
        if (m.faces[start].foldSide != 0) continue;
        m.faces[start].foldSide = 1;
        queue.clear();
        queue.push_back(start);
        for (std::size_t i = 0; i < queue.size(); ++i) {
            const PolyFace& face = m.faces[queue[i]];
            for (int k = 0; k < face.cornerCount && k < kPolyMaxCorners; ++k) {
                const int g = face.netNeighbour[k];
                if (g < 0 || g >= count || m.faces[g].foldSide != 0) continue;
                m.faces[g].foldSide = static_cast<std::int8_t>(-face.foldSide);
                queue.push_back(g);
            }
        }
    }
}

float netEdgeLineValue(const PolyModel& m, const NetHit& hit) noexcept {
    if (hit.kind != NetHitKind::kFace || hit.triangle < 0 || hit.triangle >= m.triangleCount) return 1.0f;
    const NetTriangle& t = m.triangles[hit.triangle];
    const int vs[3] = {t.a, t.b, t.c};
    for (int v : vs)
        if (v < 0 || v >= kPolyMaxVertices) return 1.0f;
    // Twice the area, for the heights over the sides.
    const P2 a = netPoint(m, t.a), b = netPoint(m, t.b), c = netPoint(m, t.c);
    const double area2 = std::fabs((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x));
    // Edge e runs from vs[e] to vs[e+1]; the weight of the opposite corner
    // measures the distance to it: edge a-b <-> b2, b-c <-> b0, c-a <-> b1.
    const float weights[3] = {hit.b2, hit.b0, hit.b1};
    const P2 ends[3][2] = {{a, b}, {b, c}, {c, a}};
    double best = 1.0;
    for (int e = 0; e < 3; ++e) {
        if (!t.edgeIsSide[e]) continue;
        const double len = std::hypot(ends[e][1].x - ends[e][0].x, ends[e][1].y - ends[e][0].y);
        if (!(len > 0.0)) continue;
        best = std::min(best, std::max(0.0, static_cast<double>(weights[e])) * area2 / len);
    }
    const int f = t.face;
    const int side = (f >= 0 && f < kPolyMaxFaces && m.faces[f].foldSide < 0) ? -1 : 1;
    return static_cast<float>(side * best);
}

}  // namespace globaro
