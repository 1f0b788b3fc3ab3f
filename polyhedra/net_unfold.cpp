// Net unfolding: adjacency, piece-by-piece unfolding with groups and the
// overlap test, shared net vertices and lining the pieces up.

#include "polyhedra/net_unfold.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

#include "polyhedra/poly_model.h"

namespace globaro {
namespace {

double orient(const Vec2d& a, const Vec2d& b, const Vec2d& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

double signedArea(const std::vector<Vec2d>& p) {
    double s = 0.0;
    for (std::size_t k = 0; k < p.size(); ++k) {
        const Vec2d& a = p[k];
        const Vec2d& b = p[(k + 1) % p.size()];
        s += a.x * b.y - b.x * a.y;
    }
    return s / 2.0;
}

// Distance from p to segment ab.
double segmentDistance(const Vec2d& p, const Vec2d& a, const Vec2d& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double l2 = dx * dx + dy * dy;
    double t = l2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
    return std::sqrt(ex * ex + ey * ey);
}

// p strictly inside the polygon, farther than tol from its outline.
bool strictlyInside(const Vec2d& p, const std::vector<Vec2d>& poly, double tol) {
    bool inside = false;
    for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const Vec2d& a = poly[i];
        const Vec2d& b = poly[j];
        if ((a.y > p.y) != (b.y > p.y)) {
            const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
            if (p.x < x) inside = !inside;
        }
    }
    if (!inside) return false;
    for (std::size_t i = 0; i < poly.size(); ++i) {
        if (segmentDistance(p, poly[i], poly[(i + 1) % poly.size()]) <= tol) return false;
    }
    return true;
}

bool properCross(const Vec2d& a, const Vec2d& b, const Vec2d& c, const Vec2d& d, double tol) {
    const double lab = std::hypot(b.x - a.x, b.y - a.y), lcd = std::hypot(d.x - c.x, d.y - c.y);
    if (lab == 0.0 || lcd == 0.0) return false;
    const double d1 = orient(a, b, c) / lab, d2 = orient(a, b, d) / lab;
    const double d3 = orient(c, d, a) / lcd, d4 = orient(c, d, b) / lcd;
    return ((d1 > tol && d2 < -tol) || (d1 < -tol && d2 > tol)) && ((d3 > tol && d4 < -tol) || (d3 < -tol && d4 > tol));
}

Vec2d centroid(const std::vector<Vec2d>& p) {
    Vec2d c{};
    for (const Vec2d& q : p) c = {c.x + q.x, c.y + q.y};
    return {c.x / p.size(), c.y / p.size()};
}

struct Box {
    double minX, maxX, minY, maxY;
};

Box boxOf(const std::vector<Vec2d>& p) {
    Box b{1e300, -1e300, 1e300, -1e300};
    for (const Vec2d& q : p) {
        b.minX = std::min(b.minX, q.x);
        b.maxX = std::max(b.maxX, q.x);
        b.minY = std::min(b.minY, q.y);
        b.maxY = std::max(b.maxY, q.y);
    }
    return b;
}

// A face laid flat in its own turning sense: corner 0 at the origin, side 0
// along +x; every side keeps its length and every corner its angle.
std::vector<Vec2d> layFlat(const SolidMesh& mesh, int f) {
    const auto& face = mesh.faces[f];
    std::vector<Vec2d> out(face.size());
    const Vec3d o = mesh.vertices[face[0]];
    const Vec3d n = normalise(faceNormal(mesh, f));
    const Vec3d e1 = directionBetween(o, mesh.vertices[face[1 % face.size()]]);
    const Vec3d e2 = cross(n, e1);
    for (std::size_t k = 0; k < face.size(); ++k) {
        const Vec3d d = difference(o, mesh.vertices[face[k]]);
        out[k] = {dot(d, e1), dot(d, e2)};
    }
    if (signedArea(out) < 0.0) {
        for (Vec2d& p : out) p.y = -p.y;
    }
    return out;
}

double outlineArea(const std::vector<Vec2d>& p) { return signedArea(p); }

// Turns the outlines of one piece about the origin to its standard
// orientation: its long axis (of the second moments of area) across, or
// upright, with its first face above the centre of area; a piece without a
// long axis (a star) stands with its first face straight above its centre.
void turnUp(std::vector<std::vector<Vec2d>>& flat, const std::vector<int>& faces, bool upright) {
    double area = 0.0, cx = 0.0, cy = 0.0;
    for (int f : faces) {
        const double a = std::fabs(outlineArea(flat[f]));
        const Vec2d c = centroid(flat[f]);
        area += a, cx += a * c.x, cy += a * c.y;
    }
    if (area <= 0.0) return;
    cx /= area, cy /= area;
    double xx = 0.0, yy = 0.0, xy = 0.0;
    for (int f : faces) {
        const double a = std::fabs(outlineArea(flat[f]));
        const Vec2d c = centroid(flat[f]);
        xx += a * (c.x - cx) * (c.x - cx), yy += a * (c.y - cy) * (c.y - cy), xy += a * (c.x - cx) * (c.y - cy);
    }
    const Vec2d first = centroid(flat[faces.front()]);
    const double dx = first.x - cx, dy = first.y - cy;
    double turn = 0.0;
    if (std::hypot(xx - yy, 2.0 * xy) > 0.05 * (xx + yy)) {
        turn = -0.5 * std::atan2(2.0 * xy, xx - yy);  // the long axis onto x
        if (upright) turn += std::numbers::pi / 2.0;
        if (dx * std::sin(turn) + dy * std::cos(turn) > 0.0) turn += std::numbers::pi;
    } else if (std::hypot(dx, dy) > 1e-12) {
        turn = -std::numbers::pi / 2.0 - std::atan2(dy, dx);
    }
    const double c = std::cos(turn), s = std::sin(turn);
    for (int f : faces)
        for (Vec2d& p : flat[f]) p = {p.x * c - p.y * s, p.x * s + p.y * c};
}

}  // namespace

bool outlinesOverlap(const std::vector<Vec2d>& a, const std::vector<Vec2d>& b, double tol) {
    if (a.size() < 3 || b.size() < 3) return false;
    const Box ba = boxOf(a), bb = boxOf(b);
    if (ba.maxX <= bb.minX + tol || bb.maxX <= ba.minX + tol || ba.maxY <= bb.minY + tol || bb.maxY <= ba.minY + tol) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (std::size_t j = 0; j < b.size(); ++j) {
            if (properCross(a[i], a[(i + 1) % a.size()], b[j], b[(j + 1) % b.size()], tol)) return true;
        }
    }
    for (const Vec2d& p : a) {
        if (strictlyInside(p, b, tol)) return true;
    }
    for (const Vec2d& p : b) {
        if (strictlyInside(p, a, tol)) return true;
    }
    if (strictlyInside(centroid(a), b, tol) || strictlyInside(centroid(b), a, tol)) return true;
    return false;
}

FaceAdjacency buildAdjacency(const SolidMesh& mesh) {
    FaceAdjacency adj;
    const std::size_t nf = mesh.faces.size();
    adj.face.resize(nf);
    adj.edge.resize(nf);
    std::map<std::pair<int, int>, std::pair<int, int>> directed;
    for (std::size_t f = 0; f < nf; ++f) {
        const auto& c = mesh.faces[f];
        adj.face[f].assign(c.size(), -1);
        adj.edge[f].assign(c.size(), -1);
        for (std::size_t k = 0; k < c.size(); ++k) {
            directed.emplace(std::make_pair(c[k], c[(k + 1) % c.size()]),
                             std::make_pair(static_cast<int>(f), static_cast<int>(k)));
        }
    }
    for (std::size_t f = 0; f < nf; ++f) {
        const auto& c = mesh.faces[f];
        for (std::size_t k = 0; k < c.size(); ++k) {
            const auto it = directed.find(std::make_pair(c[(k + 1) % c.size()], c[k]));
            if (it == directed.end() || it->second.first == static_cast<int>(f)) continue;
            adj.face[f][k] = it->second.first;
            adj.edge[f][k] = it->second.second;
        }
    }
    return adj;
}

UnfoldedNet unfoldSolid(const SolidMesh& mesh, const UnfoldOptions& options) {
    UnfoldedNet net;
    const int nf = static_cast<int>(mesh.faces.size());
    net.faceNet.assign(nf, {});
    net.piece.assign(nf, 0);
    net.depth.assign(nf, -1);
    if (nf == 0) return net;
    const FaceAdjacency adj = buildAdjacency(mesh);
    std::vector<std::vector<Vec2d>> flat(nf);  // placed outlines, piece coordinates
    std::vector<Box> flatBox(nf);
    std::vector<char> placed(nf, 0);
    std::vector<char> groupStarted(201, 0);
    auto groupOf = [&](int f) -> int { return f < static_cast<int>(mesh.groups.size()) ? mesh.groups[f] : -1; };
    auto groupSlot = [](int g) { return std::clamp(g, 0, 200); };
    auto allowed = [&](int f, int piece) {
        const int g = groupOf(f);
        if (g < 0) return true;
        if (options.groupPieces == nullptr) return g == piece;
        const auto& two = (*options.groupPieces)[static_cast<std::size_t>(groupSlot(g))];
        return two[0] == piece || two[1] == piece;
    };
    auto forbidden = [&](int f, std::size_t k) {
        return f < static_cast<int>(mesh.edgeFlags.size()) && k < mesh.edgeFlags[f].size() &&
               (mesh.edgeFlags[f][k] & 1u) != 0;
    };

    // Net vertices: shared within a piece by solid vertex and distance.
    std::map<std::pair<int, int>, std::vector<int>> byKey;  // (piece, solid vertex) -> net vertices
    std::vector<int> vertexPiece;
    auto netVertex = [&](int piece, int solid, const Vec2d& p) -> int {
        auto& list = byKey[{piece, solid}];
        for (int v : list) {
            if (std::hypot(net.positions[v].x - p.x, net.positions[v].y - p.y) < options.shareTolerance) return v;
        }
        if (net.positions.size() >= static_cast<std::size_t>(kPolyMaxVertices)) return -1;
        net.positions.push_back(p);
        net.positionSolid.push_back(solid);
        vertexPiece.push_back(piece);
        list.push_back(static_cast<int>(net.positions.size()) - 1);
        return list.back();
    };
    auto writeFace = [&](int f, int piece) {
        std::vector<int> corners;
        for (std::size_t k = 0; k < mesh.faces[f].size(); ++k) {
            const int v = netVertex(piece, mesh.faces[f][k], flat[f][k]);
            if (v < 0) return;  // no free slot: the face stays out of the net
            corners.push_back(v);
        }
        net.faceNet[f] = corners;
    };

    const double tol = 1e-7;
    std::vector<int> pieceFaces;
    for (int piece = 1;; ++piece) {
        int start = -1;
        if (piece == 1 && options.startFace >= 0 && options.startFace < nf && allowed(options.startFace, piece)) {
            start = options.startFace;
        }
        for (int f = 0; f < nf && start < 0; ++f) {
            if (!placed[f] && allowed(f, piece) && mesh.faces[f].size() >= 3) start = f;
        }
        if (start < 0) break;
        if (piece > kPolyMaxPieces) {
            net.errorCode = kPolyTooManyPieces;
            break;
        }
        net.pieceCount = piece;
        if (options.groupPieces != nullptr) std::fill(groupStarted.begin(), groupStarted.end(), 0);
        if (groupOf(start) >= 0) groupStarted[groupSlot(groupOf(start))] = 1;
        flat[start] = layFlat(mesh, start);
        flatBox[start] = boxOf(flat[start]);
        placed[start] = 1;
        net.piece[start] = static_cast<std::int16_t>(piece);
        net.depth[start] = 0;
        pieceFaces.assign(1, start);
        int attachedTotal = 0;
        for (int d = 0;; ++d) {
            int attached = 0;
            const std::vector<int> current = pieceFaces;
            for (int p : current) {
                if (net.depth[p] != d) continue;
                if (!allowed(p, piece)) continue;
                const auto& pc = mesh.faces[p];
                for (std::size_t k = 0; k < pc.size(); ++k) {
                    const int n = adj.face[p][k];
                    const int m = adj.edge[p][k];
                    if (n < 0 || placed[n] || !allowed(n, piece)) continue;
                    if (forbidden(p, k) || forbidden(n, static_cast<std::size_t>(m))) continue;
                    if (groupOf(n) >= 0 && groupOf(n) != groupOf(p) && groupStarted[groupSlot(groupOf(n))]) continue;
                    // Lay N flat and move it against P across the shared edge.
                    std::vector<Vec2d> q = layFlat(mesh, n);
                    const Vec2d pa = flat[p][k], pb = flat[p][(k + 1) % pc.size()];
                    const std::size_t nm = mesh.faces[n].size();
                    const Vec2d qa = q[m], qb = q[(m + 1) % nm];  // qa matches pb, qb matches pa
                    const double rot = std::atan2(pa.y - pb.y, pa.x - pb.x) - std::atan2(qb.y - qa.y, qb.x - qa.x);
                    const double c = std::cos(rot), s = std::sin(rot);
                    for (Vec2d& v : q) {
                        const double x = v.x - qa.x, y = v.y - qa.y;
                        v = {x * c - y * s + pb.x, x * s + y * c + pb.y};
                    }
                    const Box nb = boxOf(q);
                    if (options.overlapTest) {
                        bool clash = false;
                        for (int o : pieceFaces) {
                            const Box& ob = flatBox[o];
                            if (nb.maxX <= ob.minX + tol || ob.maxX <= nb.minX + tol || nb.maxY <= ob.minY + tol ||
                                ob.maxY <= nb.minY + tol) {
                                continue;
                            }
                            if (outlinesOverlap(q, flat[o], tol)) {
                                clash = true;
                                break;
                            }
                        }
                        if (clash) continue;
                    }
                    flat[n] = q;
                    flatBox[n] = nb;
                    placed[n] = 1;
                    net.piece[n] = static_cast<std::int16_t>(piece);
                    net.depth[n] = static_cast<std::int16_t>(d + 1);
                    if (groupOf(n) >= 0) groupStarted[groupSlot(groupOf(n))] = 1;
                    pieceFaces.push_back(n);
                    ++attached;
                }
            }
            attachedTotal += attached;
            if (attached == 0) break;
        }
        if (attachedTotal >= 6) ++net.fullPieceCount;
        if (options.stance != PieceStance::kAsLaid) turnUp(flat, pieceFaces, options.stance == PieceStance::kUpright);
        for (int f : pieceFaces) writeFace(f, piece);
    }

    // Lining the pieces up: each piece's box starts at (0, 0), then the
    // pieces follow each other left to right on one centre line.
    const int pieces = std::min(net.pieceCount, kPolyMaxPieces);
    if (pieces == 0) return net;
    std::vector<Box> boxes(pieces + 1, Box{1e300, -1e300, 1e300, -1e300});
    for (std::size_t v = 0; v < net.positions.size(); ++v) {
        Box& b = boxes[vertexPiece[v]];
        b.minX = std::min(b.minX, net.positions[v].x);
        b.maxX = std::max(b.maxX, net.positions[v].x);
        b.minY = std::min(b.minY, net.positions[v].y);
        b.maxY = std::max(b.maxY, net.positions[v].y);
    }
    double tallest = 0.0;
    for (int p = 1; p <= pieces; ++p) {
        if (boxes[p].maxX < boxes[p].minX) boxes[p] = Box{0, 0, 0, 0};
        tallest = std::max(tallest, boxes[p].maxY - boxes[p].minY);
    }
    // Row by row: the pieces in order, each row on its own centre line and
    // centred under the widest, the rows stacked downwards with 3 % gaps. One
    // row unless the family names the pieces a row, or asks for the number of
    // rows that shows the pieces largest in a frame of its aspect.
    std::vector<Vec2d> shift(pieces + 1);
    auto layOut = [&](int perRow) {
        std::vector<double> rowWidth;
        double rowTop = 0.0, lastHeight = 0.0;
        for (int first = 1; first <= pieces; first += perRow) {
            const int last = std::min(pieces, first + perRow - 1);
            double rowHeight = perRow == pieces ? tallest : 0.0;
            for (int p = first; p <= last; ++p) rowHeight = std::max(rowHeight, boxes[p].maxY - boxes[p].minY);
            double x = 0.0;
            for (int p = first; p <= last; ++p) {
                const double w = boxes[p].maxX - boxes[p].minX, h = boxes[p].maxY - boxes[p].minY;
                shift[p] = {x - boxes[p].minX, rowTop + (rowHeight - h) / 2.0 - boxes[p].minY};
                const double wNext = p < last ? boxes[p + 1].maxX - boxes[p + 1].minX : w;
                x += p < last ? w + 0.03 * std::max(w, wNext) : w;
            }
            rowWidth.push_back(x);
            rowTop += rowHeight * 1.03;
            lastHeight = rowHeight;
        }
        const double widest = *std::max_element(rowWidth.begin(), rowWidth.end());
        for (int p = 1; p <= pieces; ++p) shift[p].x += (widest - rowWidth[(p - 1) / perRow]) / 2.0;
        const double height = rowTop - 0.03 * lastHeight;
        return std::min(options.rowAspect / std::max(widest, 1e-12), 1.0 / std::max(height, 1e-12));
    };
    int perRow = options.piecesPerRow > 0 ? options.piecesPerRow : pieces;
    if (options.piecesPerRow <= 0 && options.rowAspect > 0.0) {
        double best = layOut(perRow);
        for (int rows = 2; rows <= pieces; ++rows) {
            const int candidate = (pieces + rows - 1) / rows;
            if (const double scale = layOut(candidate); scale > best * 1.0001) {
                best = scale;
                perRow = candidate;
            }
        }
    }
    layOut(perRow);
    for (std::size_t v = 0; v < net.positions.size(); ++v) {
        const Vec2d& s = shift[vertexPiece[v]];
        net.positions[v] = {net.positions[v].x + s.x, net.positions[v].y + s.y};
    }
    return net;
}

}  // namespace globaro
