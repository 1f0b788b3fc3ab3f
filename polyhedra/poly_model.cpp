// Building the polyhedron and net model: set-up of the kind, loading the
// faces, angles and adjacency, glue tabs, vertex positions, triangulation,
// marks, fitting and the reference point.

#include "polyhedra/poly_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <unordered_map>

#include "polyhedra/fixed_solids.h"
#include "polyhedra/generators.h"
#include "polyhedra/glue_tabs.h"
#include "polyhedra/net_unfold.h"

namespace globaro {
namespace {

void* heapAllocate(std::size_t bytes) { return std::malloc(bytes); }
void heapRelease(void* block) { std::free(block); }

const PolyAllocator kHeapAllocator{&heapAllocate, &heapRelease};

PolyFace emptyFace() {
    PolyFace f;
    std::memset(&f, 0, sizeof f);
    for (int k = 0; k < kPolyMaxCorners; ++k) {
        f.corners[k] = -1;
        f.solidCorners[k] = -1;
        f.neighbourFace[k] = -1;
        f.neighbourEdge[k] = -1;
        f.netNeighbour[k] = -1;
        f.netNeighbourEdge[k] = -1;
    }
    f.firstTriangle = -1;
    f.sourceFace = -1;
    f.curvedIndex = -1;
    f.colourGroup = -1;
    f.depth = -1;
    return f;
}

void freeOwnedTables(PolyModel& m) {
    if (m.ownedTables != nullptr) {
        if (m.tablesAllocator.release != nullptr) m.tablesAllocator.release(m.ownedTables);
        m.ownedTables = nullptr;
    }
}

// The net position of a table row (before the net rotation); (0, 0) and
// error 10 outside the table.
Vec2d tableNetPosition(PolyModel& m, int v) {
    if (v < 0 || v >= kPolyMaxVertices || v >= m.netRowCount || m.netPositions == nullptr) {
        m.errorCode = kPolyBadVertexIndex;
        return {0.0, 0.0};
    }
    return {m.netPositions[2 * v], m.netPositions[2 * v + 1]};
}

Vec3d tableSolidRow(PolyModel& m, int row) {
    if (row < 0 || row >= m.solidRowCount || m.netSolidPositions == nullptr) {
        m.errorCode = kPolyBadVertexIndex;
        return {0.0, 0.0, 0.0};
    }
    return {m.netSolidPositions[3 * row], m.netSolidPositions[3 * row + 1], m.netSolidPositions[3 * row + 2]};
}

// The solid row that corner k of face f takes: through the face's source
// face and corner shift.
int solidRowOfCorner(const PolyModel& m, int f, int k) {
    const PolyFace& face = m.faces[f];
    int src = face.sourceFace;
    if (src < 0 || src >= m.faceCount) src = f;
    const PolyFace& s = m.faces[src];
    const int n = s.solidCornerCount > 0 ? s.solidCornerCount : 1;
    const int kk = ((face.cornerShift + k) % n + n) % n;
    return s.solidCorners[kk];
}

void resetFaces(PolyModel& m) {
    const PolyFace e = emptyFace();
    for (int f = 0; f < kPolyMaxFaces; ++f) m.faces[f] = e;
    m.faceCount = 0;
    m.solidFaceCount = 0;
    m.referenceFace = -1;
}

// Writes an unfolded solid into the model's owned tables.
void writeOwnedTables(PolyModel& m, const SolidMesh& mesh, const UnfoldedNet& net) {
    OwnedSolidTables& t = *m.ownedTables;
    const int rows = std::min<int>(static_cast<int>(mesh.vertices.size()), kPolyMaxVertices);
    for (int r = 0; r < rows; ++r) {
        t.netSolidPositions[3 * r] = mesh.vertices[r].x;
        t.netSolidPositions[3 * r + 1] = mesh.vertices[r].y;
        t.netSolidPositions[3 * r + 2] = mesh.vertices[r].z;
    }
    const int netRows = std::min<int>(static_cast<int>(net.positions.size()), kPolyMaxVertices);
    for (int v = 0; v < netRows; ++v) {
        t.netPositions[2 * v] = net.positions[v].x;
        t.netPositions[2 * v + 1] = net.positions[v].y;
    }
    // Only placed faces enter the net; they keep their piece numbers.
    int out = 0;
    std::size_t p = 0, q = 0;
    for (std::size_t f = 0; f < mesh.faces.size() && out < kPolyMaxFaces; ++f) {
        if (net.faceNet[f].empty()) continue;
        const int n = std::min<int>(static_cast<int>(net.faceNet[f].size()), kPolyMaxCorners);
        for (int k = 0; k < n; ++k) {
            t.faceCorners[p++] = static_cast<std::uint16_t>(net.faceNet[f][k] + 1);
            t.faceSolidCorners[q++] = static_cast<std::uint16_t>(mesh.faces[f][k] + 1);
        }
        t.faceCorners[p++] = 0;
        t.faceSolidCorners[q++] = 0;
        PolyFace& face = m.faces[out];
        face.loopId = net.piece[f];
        face.depth = net.depth[f];
        face.colourGroup = f < mesh.groups.size() ? mesh.groups[f] : static_cast<std::int16_t>(-1);
        ++out;
    }
    for (int v = 0; v < netRows; ++v) {
        m.vertexTags[v] = static_cast<std::uint16_t>(net.positionSolid[v]);
    }
    m.netPositions = t.netPositions;
    m.netSolidPositions = t.netSolidPositions;
    m.faceCorners = t.faceCorners;
    m.faceSolidCorners = t.faceSolidCorners;
    m.netRowCount = netRows;
    m.solidRowCount = rows;
    m.faceCount = out;
    m.pieceCount = net.pieceCount;
    m.fullPieceCount = net.fullPieceCount;
    if (net.errorCode != 0) m.errorCode = net.errorCode;
}

// Set-up of the kind: per-kind fields, tables, flags; generated kinds run
// their generator and the unfolding.
void setUpKind(PolyModel& m, PolyKind kind, const PolyAllocator& allocator) {
    m.mirrorXY = 0;
    m.mirrorX = 1;
    m.solidIndex = nullptr;
    m.extraTable = nullptr;
    m.sampleScale = 1.0;
    m.referenceFace = -1;
    m.useFixedBox = 0;
    m.fixedBox[0] = m.fixedBox[1] = m.fixedBox[2] = m.fixedBox[3] = 0.0f;
    m.auxKind = kNoPolyKind;
    std::memset(&m.flags, 0, sizeof m.flags);
    m.phaseB = 0;
    m.keepLoopIds = 0;
    m.specialMapping = 0;
    m.lonLatInterpolation = (kind == 77 || kind == 78 || kind == 83 || kind == 158) ? 1 : 0;
    m.pieceCount = 0;
    m.fullPieceCount = 0;
    m.kind = kind;
    m.netPositions = nullptr;
    m.netSolidPositions = nullptr;
    m.faceCorners = nullptr;
    m.faceSolidCorners = nullptr;
    m.netRowCount = 0;
    m.solidRowCount = 0;
    freeOwnedTables(m);
    for (int v = 0; v < kPolyMaxVertices; ++v) m.vertexTags[v] = kPolyNoTag;

    if (const FixedSolidInfo* info = fixedSolidInfo(kind)) {
        const SolidTables* t = fixedSolidTables(kind);
        if (t == nullptr) return;
        m.netPositions = t->netPositions;
        m.netSolidPositions = t->netSolidPositions;
        m.faceCorners = t->faceCorners;
        m.faceSolidCorners = t->faceSolidCorners;
        m.solidIndex = t->solidIndex;
        m.netRowCount = t->netVertexCount;
        m.solidRowCount = t->solidRowCount;
        m.faceCount = std::min(t->faceCount, kPolyMaxFaces);
        m.mirrorXY = info->mirrorXY ? 1 : 0;
        m.referenceFace = info->referenceFace;
        m.phaseB = info->phaseB ? 1 : 0;
        m.flags.noCornerMarks = info->noCornerMarks ? 1 : 0;
        m.flags.tableSolid = 1;
        return;
    }

    const GeneratorRow* generator = generatorFor(kind);
    if (generator == nullptr) return;  // a kind without a generator: no faces

    m.mirrorXY = 1;
    m.mirrorX = 0;
    m.keepLoopIds = 1;
    m.specialMapping = generator->specialMapping ? 1 : 0;
    void* block = allocator.allocate != nullptr ? allocator.allocate(sizeof(OwnedSolidTables)) : nullptr;
    if (block == nullptr) return;
    m.ownedTables = static_cast<OwnedSolidTables*>(block);
    m.tablesAllocator = allocator;
    m.flags.tablesOwned = 1;

    SolidMesh mesh = generator->build({kind, m, allocator});
    if (mesh.errorCode != 0) m.errorCode = mesh.errorCode;
    UnfoldOptions options;
    options.shareTolerance = generator->shareTolerance;
    options.stance = generator->stance;
    if (generator->groupPieces != nullptr) options.groupPieces = &generator->groupPieces();
    options.rowAspect = generator->rowAspect;
    options.piecesPerRow = generator->piecesPerRow;
    const UnfoldedNet net = unfoldSolid(mesh, options);
    writeOwnedTables(m, mesh, net);
}

// Reads the face lists of the tables into the faces.
void loadFaces(PolyModel& m) {
    m.faceCount = std::min(m.faceCount, kPolyMaxFaces);
    int maxNet = 0;
    std::size_t p = 0, q = 0;
    for (int f = 0; f < m.faceCount; ++f) {
        PolyFace& face = m.faces[f];
        int n = 0;
        while (true) {
            const std::uint16_t v = m.faceCorners[p++];
            if (v == 0) break;
            if (n < kPolyMaxCorners) face.corners[n++] = v - 1;
            maxNet = std::max<int>(maxNet, v);
        }
        face.cornerCount = n;
        int s = 0;
        while (true) {
            const std::uint16_t v = m.faceSolidCorners[q++];
            if (v == 0) break;
            if (s < kPolyMaxCorners) face.solidCorners[s++] = v - 1;
        }
        face.solidCornerCount = s;
        face.sourceFace = f;
        face.cornerShift = 0;
        if (!m.keepLoopIds) face.loopId = 0;
    }
    m.vertexCount = std::min(maxNet, kPolyMaxVertices);
    m.vertexCountCopy = m.vertexCount;
    m.solidFaceCount = m.faceCount;
    std::memset(m.vertexUsed, 0, sizeof m.vertexUsed);
    if (!m.keepLoopIds) {
        for (int v = 0; v < kPolyMaxVertices; ++v) m.vertexTags[v] = kPolyNoTag;
    }
    for (int v = 0; v < m.vertexCount; ++v) m.vertexUsed[v] = 1;
}

void setUsedFromFaces(PolyModel& m) {
    std::memset(m.vertexUsed, 0, sizeof m.vertexUsed);
    int maxUsed = -1;
    for (int f = 0; f < m.faceCount; ++f) {
        const PolyFace& face = m.faces[f];
        for (int k = 0; k < face.cornerCount; ++k) {
            const int v = face.corners[k];
            if (v < 0 || v >= kPolyMaxVertices) {
                m.errorCode = kPolyBadVertexIndex;
                continue;
            }
            m.vertexUsed[v] = 1;
            maxUsed = std::max(maxUsed, v);
        }
    }
    m.maxUsedVertex = static_cast<std::int16_t>(maxUsed);
}

std::uint64_t edgeKey(int a, int b) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(a)) << 32) | static_cast<std::uint32_t>(b);
}

// Faces sharing a net edge (same two net vertices, opposite order).
void computeNetNeighbours(PolyModel& m) {
    std::unordered_map<std::uint64_t, int> directed;
    directed.reserve(static_cast<std::size_t>(m.faceCount) * 4);
    for (int f = 0; f < m.faceCount; ++f) {
        PolyFace& face = m.faces[f];
        for (int k = 0; k < face.cornerCount; ++k) {
            face.netNeighbour[k] = -1;
            face.netNeighbourEdge[k] = -1;
            const int a = face.corners[k];
            const int b = face.corners[(k + 1) % face.cornerCount];
            directed.emplace(edgeKey(a, b), f * kPolyMaxCorners + k);
        }
    }
    for (int f = 0; f < m.faceCount; ++f) {
        PolyFace& face = m.faces[f];
        for (int k = 0; k < face.cornerCount; ++k) {
            const int a = face.corners[k];
            const int b = face.corners[(k + 1) % face.cornerCount];
            const auto it = directed.find(edgeKey(b, a));
            if (it == directed.end()) continue;
            const int g = it->second / kPolyMaxCorners;
            if (g == f) continue;
            face.netNeighbour[k] = g;
            face.netNeighbourEdge[k] = static_cast<std::int8_t>(it->second % kPolyMaxCorners);
        }
    }
}

double signedNetArea(PolyModel& m, const PolyFace& face) {
    double area = 0.0;
    for (int k = 0; k < face.cornerCount; ++k) {
        const Vec2d a = tableNetPosition(m, face.corners[k]);
        const Vec2d b = tableNetPosition(m, face.corners[(k + 1) % face.cornerCount]);
        area += a.x * b.y - b.x * a.y;
    }
    return area / 2.0;
}

// Corner angles on the solid, centre and outward normal, from the table rows.
void computeSolidFaceData(PolyModel& m) {
    for (int f = 0; f < m.faceCount; ++f) {
        PolyFace& face = m.faces[f];
        const int n = face.solidCornerCount;
        if (n <= 0) continue;
        Vec3d centre{}, normal{};
        for (int k = 0; k < n; ++k) {
            const Vec3d a = tableSolidRow(m, face.solidCorners[k]);
            const Vec3d b = tableSolidRow(m, face.solidCorners[(k + 1) % n]);
            const Vec3d p = tableSolidRow(m, face.solidCorners[(k + n - 1) % n]);
            centre = {centre.x + a.x, centre.y + a.y, centre.z + a.z};
            normal = {normal.x + (a.y - b.y) * (a.z + b.z), normal.y + (a.z - b.z) * (a.x + b.x),
                      normal.z + (a.x - b.x) * (a.y + b.y)};
            if (k < kPolyMaxCorners) {
                const Vec3d e1 = directionBetween(a, b);
                const Vec3d e0 = directionBetween(a, p);
                face.cornerAngleSolid[k] = static_cast<float>(std::acos(std::clamp(dot(e0, e1), -1.0, 1.0)));
            }
        }
        centre = {centre.x / n, centre.y / n, centre.z / n};
        normal = normaliseZeroSafe(normal);
        // The normal follows the turning sense of the net outline.
        if (signedNetArea(m, face) < 0.0) normal = negate(normal);
        face.centre[0] = centre.x;
        face.centre[1] = centre.y;
        face.centre[2] = centre.z;
        face.normal[0] = static_cast<float>(normal.x);
        face.normal[1] = static_cast<float>(normal.y);
        face.normal[2] = static_cast<float>(normal.z);
    }
}

// Solid adjacency (shared solid corners, compared by position so that
// repeated rows of one point match) and mountain/valley folds.
void computeSolidAdjacency(PolyModel& m) {
    // Canonical row per distinct point.
    std::vector<int> canon(static_cast<std::size_t>(std::max(m.solidRowCount, 0)));
    std::map<std::array<long long, 3>, int> firstRow;
    for (int r = 0; r < m.solidRowCount; ++r) {
        const Vec3d p = tableSolidRow(m, r);
        const std::array<long long, 3> key = {std::llround(p.x * 1e9), std::llround(p.y * 1e9),
                                              std::llround(p.z * 1e9)};
        canon[r] = firstRow.emplace(key, r).first->second;
    }
    auto canonOf = [&](int r) { return (r >= 0 && r < m.solidRowCount) ? canon[r] : -1; };
    std::unordered_map<std::uint64_t, int> directed;
    for (int f = 0; f < m.faceCount; ++f) {
        const PolyFace& face = m.faces[f];
        const int n = face.solidCornerCount;
        for (int k = 0; k < n; ++k) {
            directed.emplace(edgeKey(canonOf(face.solidCorners[k]), canonOf(face.solidCorners[(k + 1) % n])),
                             f * kPolyMaxCorners + k);
        }
    }
    m.flags.hasValley = 0;
    for (int f = 0; f < m.faceCount; ++f) {
        PolyFace& face = m.faces[f];
        const int n = face.solidCornerCount;
        for (int k = 0; k < n; ++k) {
            face.neighbourFace[k] = -1;
            face.neighbourEdge[k] = -1;
            face.fold[k] = kFoldNone;
            const int a = canonOf(face.solidCorners[k]);
            const int b = canonOf(face.solidCorners[(k + 1) % n]);
            auto it = directed.find(edgeKey(b, a));
            if (it == directed.end()) continue;
            const int g = it->second / kPolyMaxCorners;
            if (g == f) continue;
            face.neighbourFace[k] = g;
            face.neighbourEdge[k] = static_cast<std::int8_t>(it->second % kPolyMaxCorners);
            // Fold: the outward normals' cross product against the edge taken
            // in the outward turning sense.
            const PolyFace& other = m.faces[g];
            const Vec3d nf{face.normal[0], face.normal[1], face.normal[2]};
            const Vec3d ng{other.normal[0], other.normal[1], other.normal[2]};
            const Vec3d cf{face.centre[0], face.centre[1], face.centre[2]};
            const Vec3d cg{other.centre[0], other.centre[1], other.centre[2]};
            const double sf = dot(nf, cf) < 0.0 ? -1.0 : 1.0;
            const double sg = dot(ng, cg) < 0.0 ? -1.0 : 1.0;
            const Vec3d nfo{nf.x * sf, nf.y * sf, nf.z * sf};
            const Vec3d ngo{ng.x * sg, ng.y * sg, ng.z * sg};
            Vec3d e =
                difference(tableSolidRow(m, face.solidCorners[k]), tableSolidRow(m, face.solidCorners[(k + 1) % n]));
            e = {e.x * sf, e.y * sf, e.z * sf};
            const double d = dot(cross(nfo, ngo), e);
            if (std::fabs(d) < 1e-12) {
                face.fold[k] = kFoldNone;  // flat: coplanar neighbours
            } else if (d > 0.0) {
                face.fold[k] = kFoldMountain;
            } else {
                face.fold[k] = kFoldValley;
                m.flags.hasValley = 1;
            }
        }
    }
}

void computeNetAngles(PolyModel& m) {
    for (int f = 0; f < m.faceCount; ++f) {
        PolyFace& face = m.faces[f];
        const int n = face.cornerCount;
        for (int k = 0; k < n; ++k) {
            const Vec2d c = tableNetPosition(m, face.corners[k]);
            const Vec2d nx = tableNetPosition(m, face.corners[(k + 1) % n]);
            const Vec2d pv = tableNetPosition(m, face.corners[(k + n - 1) % n]);
            const Vec3d e1 = directionBetween(Vec3d{c.x, c.y, 0.0}, Vec3d{nx.x, nx.y, 0.0});
            const Vec3d e0 = directionBetween(Vec3d{c.x, c.y, 0.0}, Vec3d{pv.x, pv.y, 0.0});
            face.cornerAngleNet[k] = static_cast<float>(std::acos(std::clamp(dot(e0, e1), -1.0, 1.0)));
            face.edgeDirection[k] = static_cast<float>(std::acos(std::clamp(e1.y, -1.0, 1.0)));
        }
    }
}

// Glue tabs: boundary loops with alternating marks, then each glued pair
// gets exactly one tab.
void markTabs(PolyModel& m, std::uint32_t mode) {
    if (m.tabSize <= 0.0f) return;
    for (int f = 0; f < m.faceCount; ++f) {
        std::memset(m.faces[f].tabMark, 0, sizeof m.faces[f].tabMark);
        std::memset(m.faces[f].edgeVisited, 0, sizeof m.faces[f].edgeVisited);
    }
    std::int16_t loop = 1;
    while (loop < 32000 && markTabEdges(m, loop)) ++loop;
    // Pairing across the glued edges: every edge on the net's boundary (every
    // edge in a single-face render) hands its partner the opposite mark.
    for (int f = 0; f < m.faceCount; ++f) {
        PolyFace& face = m.faces[f];
        for (int k = 0; k < face.cornerCount && k < face.solidCornerCount; ++k) {
            if (mode != kPolyModeSingleFace && face.netNeighbour[k] >= 0) continue;
            const int g = face.neighbourFace[k];
            const int e = face.neighbourEdge[k];
            if (g < 0 || e < 0) continue;
            m.faces[g].tabMark[e] = face.tabMark[k] ? 0 : 1;
        }
    }
}

void setVertexPositions(PolyModel& m, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    const double sxy = m.mirrorXY ? -1.0 : 1.0;
    const double mx = m.mirrorX ? -1.0 : 1.0;
    for (int f = 0; f < m.solidFaceCount; ++f) {
        const PolyFace& face = m.faces[f];
        for (int k = 0; k < face.cornerCount; ++k) {
            const int v = face.corners[k];
            if (v < 0 || v >= kPolyMaxVertices) {
                m.errorCode = kPolyBadVertexIndex;
                continue;
            }
            const Vec2d p = tableNetPosition(m, v);
            NetVertex& nv = m.vertices[v];
            nv.netX = static_cast<float>(p.x * c - p.y * s);
            nv.netY = static_cast<float>(p.x * s + p.y * c);
            Vec3d q;
            if (m.solidIndex != nullptr) {
                q = tableSolidRow(m, m.solidIndex[v]);
            } else {
                q = tableSolidRow(m, solidRowOfCorner(m, f, k));
            }
            nv.solidX = static_cast<float>(q.x * sxy * mx);
            nv.solidY = static_cast<float>(q.y * sxy);
            nv.solidZ = static_cast<float>(q.z);
        }
    }
}

void recordTriangleSpans(PolyModel& m) {
    for (int f = 0; f < m.faceCount; ++f) {
        m.faces[f].firstTriangle = -1;
        m.faces[f].triangleSpan = 0;
    }
    for (int t = 0; t < m.triangleCount; ++t) {
        const NetTriangle& tri = m.triangles[t];
        if (tri.isMark || tri.face < 0 || tri.face >= m.faceCount) continue;
        PolyFace& face = m.faces[tri.face];
        if (face.firstTriangle < 0) face.firstTriangle = t;
        ++face.triangleSpan;
    }
}

void setCornerTags(PolyModel& m) {
    for (int t = 0; t < m.triangleCount; ++t) {
        NetTriangle& tri = m.triangles[t];
        if (tri.isMark || tri.face < 0) continue;
        const PolyFace& face = m.faces[tri.face];
        const int v[3] = {tri.a, tri.b, tri.c};
        for (int i = 0; i < 3; ++i) {
            tri.cornerTags[i] = -1;
            for (int k = 0; k < face.cornerCount; ++k) {
                if (face.corners[k] == v[i]) tri.cornerTags[i] = static_cast<std::int16_t>(k);
            }
        }
    }
}

void setReferencePoint(PolyModel& m, std::uint32_t mode) {
    // Face centres from the stored solid corners.
    int best = -1, bestCorners = -1;
    for (int f = 0; f < m.faceCount; ++f) {
        PolyFace& face = m.faces[f];
        Vec3d c{};
        int n = 0;
        for (int k = 0; k < face.cornerCount; ++k) {
            const int v = face.corners[k];
            if (v < 0 || v >= kPolyMaxVertices) continue;
            c = {c.x + m.vertices[v].solidX, c.y + m.vertices[v].solidY, c.z + m.vertices[v].solidZ};
            ++n;
        }
        if (n > 0) c = {c.x / n, c.y / n, c.z / n};
        face.centre[0] = c.x;
        face.centre[1] = c.y;
        face.centre[2] = c.z;
        const Vec3d d = normalise(c);
        face.centreDir[0] = static_cast<float>(d.x);
        face.centreDir[1] = static_cast<float>(d.y);
        face.centreDir[2] = static_cast<float>(d.z);
        if (face.solidCornerCount > bestCorners) {
            bestCorners = face.solidCornerCount;
            best = f;
        }
    }
    if (mode == kPolyModePlain || mode == kPolyModePlainRef) {
        m.referencePoint[0] = 0.0;
        m.referencePoint[1] = 0.0;
        m.referencePoint[2] = -1.0;
        return;
    }
    const int f = (m.referenceFace >= 0 && m.referenceFace < m.faceCount) ? m.referenceFace : best;
    if (f < 0) return;
    m.referencePoint[0] = m.faces[f].centre[0];
    m.referencePoint[1] = m.faces[f].centre[1];
    m.referencePoint[2] = m.faces[f].centre[2];
}

void copySolidCorners(PolyModel& m) {
    for (int t = 0; t < m.triangleCount; ++t) {
        NetTriangle& tri = m.triangles[t];
        if (tri.isMark) continue;
        const int v[3] = {tri.a, tri.b, tri.c};
        for (int i = 0; i < 3; ++i) {
            if (v[i] < 0 || v[i] >= kPolyMaxVertices) {
                m.errorCode = kPolyBadVertexIndex;
                continue;
            }
            tri.solid[3 * i] = m.vertices[v[i]].solidX;
            tri.solid[3 * i + 1] = m.vertices[v[i]].solidY;
            tri.solid[3 * i + 2] = m.vertices[v[i]].solidZ;
        }
    }
}

// The mark triangles of the auxiliary kind's net, copied in.
void copyAuxiliaryMarks(PolyModel& m, const PolyAllocator& allocator) {
    PolyModel* aux = createPolyModel(allocator);
    if (aux == nullptr) return;
    aux->frameHeight = m.frameHeight;
    aux->tabSize = m.tabSize;
    aux->auxKind = kNoPolyKind;
    buildPolyModel(*aux, m.auxKind, kPolyModeNet, kFitNone, 0.0, 0, allocator, 1);
    for (int t = 0; t < aux->triangleCount; ++t) {
        const NetTriangle& tri = aux->triangles[t];
        if (!tri.isMark) continue;
        const NetVertex &a = aux->vertices[tri.a], &b = aux->vertices[tri.b], &c = aux->vertices[tri.c];
        addMarkTriangle(m, a.netX, a.netY, b.netX, b.netY, c.netX, c.netY, tri.face, tri.group);
    }
    releasePolyModel(aux);
}

}  // namespace

const PolyAllocator& defaultPolyAllocator() noexcept { return kHeapAllocator; }

PolyModel* createPolyModel(const PolyAllocator& allocator) noexcept {
    if (allocator.allocate == nullptr) return nullptr;
    void* block = allocator.allocate(sizeof(PolyModel));
    if (block == nullptr) return nullptr;
    std::memset(block, 0, sizeof(PolyModel));
    auto* m = static_cast<PolyModel*>(block);
    m->allocator = allocator;
    m->kind = kNoPolyKind;
    m->auxKind = kNoPolyKind;
    m->selectedFace = -1;
    m->selectedFaceCopy = -1;
    m->sampleScale = 1.0;
    m->referenceFace = -1;
    m->mirrorX = 1;
    m->faceZoom = 1.0f;
    m->fitScale = 1.0f;
    m->frameX1 = 1.0f;
    m->frameHeight = 1.0f;
    m->fitInverseWidth = 1.0f;
    m->fitInverseHeight = 1.0f;
    m->cacheKey = PolyCacheKey{};
    resetPolyModel(*m);
    return m;
}

void releasePolyModel(PolyModel* model) noexcept {
    if (model == nullptr) return;
    freeOwnedTables(*model);
    const PolyAllocator a = model->allocator;
    if (a.release != nullptr) a.release(model);
}

void resetPolyModel(PolyModel& model) noexcept { model.cacheKey.id = kPolyResetId; }

std::int32_t preparePolyModel(ProjectionId id, PolyModel& m, float frameHeight, float tabSize, std::uint32_t param,
                              float angle, std::uint32_t mode, std::uint8_t flagA, const PolyAllocator& allocator,
                              std::uint8_t flagB) noexcept {
    // Values that are not usable numbers fall back to neutral ones.
    if (!std::isfinite(frameHeight) || frameHeight <= 0.0f) frameHeight = 1.0f;
    if (!std::isfinite(tabSize) || tabSize < 0.0f) tabSize = 0.0f;
    if (!std::isfinite(angle)) angle = 0.0f;
    const PolyCacheKey& k = m.cacheKey;
    if (k.id == id && k.frameHeight == frameHeight && k.tabSize == tabSize && k.param == param && k.angle == angle &&
        k.mode == mode && k.flagA == flagA && k.flagB == flagB && m.selectedFace == m.selectedFaceCopy) {
        return 0;
    }
    const PolySpec spec = polySpecFor(id);
    // (1) and (2): reference point, frame and counts.
    m.referencePoint[0] = m.referencePoint[1] = m.referencePoint[2] = 0.0;
    m.frameX0 = 0.0f;
    m.frameX1 = 1.0f;
    m.frameY0 = 0.0f;
    m.frameHeight = frameHeight;
    m.frameCentreX = 0.5f;
    m.frameCentreY = frameHeight / 2.0f;
    m.fitScale = 1.0f;
    m.triangleCount = 0;
    m.vertexCount = 0;
    m.tabSize = tabSize;
    // (3) mode, param and angle by the source rule.
    std::uint32_t useMode = mode, useParam = param;
    float useAngle = angle;
    if (spec.source == kPolySourceRecord) {
        useMode = spec.mode;
        useParam = spec.param;
        useAngle = spec.angle;
    } else if (spec.source == kPolySourceRecordAngle) {
        useAngle = spec.angle;
    }
    if (m.selectedFace >= 0) {
        useParam = param;
        useAngle = angle;
        if (useMode == kPolyModeNet) useMode = mode;
    }
    m.cacheKey.id = id;  // the build reads the id (selection rules)
    // (4) build.
    const std::int32_t status = buildPolyModel(m, spec.kind, static_cast<std::uint16_t>(useMode), useParam,
                                               static_cast<double>(useAngle), flagA, allocator, flagB);
    // (5) key.
    m.cacheKey = PolyCacheKey{id, frameHeight, tabSize, param, angle, mode, flagA, flagB};
    return status;
}

namespace {
std::int32_t buildModel(PolyModel& m, PolyKind kind, std::uint16_t mode, std::uint32_t param, double angle,
                        const PolyAllocator& allocator);
}  // namespace

std::int32_t buildPolyModel(PolyModel& m, PolyKind kind, std::uint16_t mode, std::uint32_t param, double angle,
                            std::uint8_t flagA, const PolyAllocator& allocator, std::uint8_t flagB) noexcept {
    (void)flagA;
    (void)flagB;
    if (kind == kNoPolyKind) return 0;
    try {
        return buildModel(m, kind, mode, param, angle, allocator);
    } catch (const std::bad_alloc&) {
        // Out of memory part-way: leave an empty model (every point misses).
        m.faceCount = 0;
        m.solidFaceCount = 0;
        m.triangleCount = 0;
        m.vertexCount = 0;
        std::memset(m.vertexUsed, 0, sizeof m.vertexUsed);
        m.boundsMinX = m.boundsMinY = 1.0f;
        m.boundsMaxX = m.boundsMaxY = -1.0f;
        return m.errorCode;
    }
}

namespace {
std::int32_t buildModel(PolyModel& m, PolyKind kind, std::uint16_t mode, std::uint32_t param, double angle,
                        const PolyAllocator& allocator) {
    m.errorCode = kPolyOk;
    m.triangleCount = 0;
    m.vertexCount = 0;
    // 1. Faces.
    resetFaces(m);
    // 2. Set-up.
    setUpKind(m, kind, allocator);
    if (m.faceCorners == nullptr || m.faceSolidCorners == nullptr) m.faceCount = 0;
    // 3. Load the faces.
    if (m.faceCount > 0) {
        loadFaces(m);
    } else {
        m.vertexCount = 0;
        m.solidFaceCount = 0;
        std::memset(m.vertexUsed, 0, sizeof m.vertexUsed);
    }
    // 4. Angles and adjacency. Some generated families' own variant is a net
    // to cut out and glue, so it gets the adjacency and the tabs of a normal net.
    const GeneratorRow* generator = generatorFor(kind);
    const bool gluedVariant =
        (mode == kPolyModeVariant || mode == kPolyModeSolid) && generator != nullptr && generator->gluedVariant;
    const bool tabbed = mode == kPolyModeNet || mode == kPolyModeSingleFace || gluedVariant;
    if (mode == kPolyModePlain) setUsedFromFaces(m);
    if (tabbed || mode == kPolyModeSolid) {
        setUsedFromFaces(m);
        computeNetNeighbours(m);
        computeSolidFaceData(m);
        computeSolidAdjacency(m);
        computeNetAngles(m);
    } else if (mode != kPolyModeSetUpOnly) {
        computeNetNeighbours(m);
    }
    // 5. Tabs.
    if (tabbed && m.auxKind == kNoPolyKind) markTabs(m, mode);
    // 6. Vertex positions and 7. triangles.
    if (mode != kPolyModeSetUpOnly) {
        setVertexPositions(m, angle);
        for (int f = 0; f < m.solidFaceCount; ++f) triangulateFace(m, f);
        recordTriangleSpans(m);
    }
    // 8. Auxiliary marks, or the per-corner tags.
    if ((mode == kPolyModeNet || mode == kPolyModeSingleFace) && m.auxKind != kNoPolyKind && m.auxKind != kind) {
        copyAuxiliaryMarks(m, allocator);
    } else {
        setCornerTags(m);
    }
    // The tab shapes on the marked edges, and the fold sides of the edge lines.
    if (tabbed) {
        if (m.auxKind == kNoPolyKind) addGlueTabs(m);
        assignFoldSides(m);
    }
    // 9. Corner marks.
    if (mode == kPolyModePlain && !m.flags.noCornerMarks && mode != kPolyModeSetUpOnly) addCornerMarks(m);
    // 10. Fit.
    fitNetToFrame(m, param);
    // 11.
    m.tabSizeCopy = m.tabSize;
    m.selectedFaceCopy = m.selectedFace;
    // 12. Reference point and face centres.
    setReferencePoint(m, mode);
    // 13. Triangles ready for lookups.
    for (int t = 0; t < m.triangleCount; ++t) prepareTriangle(m, t);
    for (int f = 0; f < m.faceCount; ++f) {
        const PolyFace& face = m.faces[f];
        for (int k = 0; k < face.cornerCount; ++k) {
            const int v = face.corners[k];
            if (v < 0 || v >= kPolyMaxVertices || m.vertexTags[v] != kPolyNoTag) continue;
            const int row = m.solidIndex != nullptr ? m.solidIndex[v] : solidRowOfCorner(m, f, k);
            if (row >= 0) m.vertexTags[v] = static_cast<std::uint16_t>(row);
        }
    }
    copySolidCorners(m);
    return m.errorCode;
}
}  // namespace

void triangulateFace(PolyModel& m, int f) noexcept {
    if (f < 0 || f >= kPolyMaxFaces) return;
    const PolyFace& face = m.faces[f];
    int idx[kPolyMaxCorners];
    int n = std::min(face.cornerCount, kPolyMaxCorners);
    if (n < 3) return;
    for (int k = 0; k < n; ++k) {
        if (face.corners[k] < 0 || face.corners[k] >= kPolyMaxVertices) {
            m.errorCode = kPolyBadVertexIndex;  // a face naming a vertex beyond the table is not drawn
            return;
        }
    }
    for (int k = 0; k < n; ++k) idx[k] = k;
    auto emit = [&](int ka, int kb, int kc) {
        if (m.triangleCount >= kPolyMaxTriangles) {
            m.errorCode = kPolyTriangleTableFull;
            return;
        }
        NetTriangle& t = m.triangles[m.triangleCount++];
        std::memset(&t, 0, sizeof t);
        t.a = face.corners[ka];
        t.b = face.corners[kb];
        t.c = face.corners[kc];
        t.face = static_cast<std::int16_t>(f);
        t.flagsWord = 0;
        t.group = face.colourGroup;
        t.loop = face.loopId;
        t.isMark = 0;
        t.hidden = face.hidden;
        t.markTag = static_cast<std::int16_t>(kPolyNoTag);
        t.attribute = face.attribute;
        t.curved = face.curvedIndex != -1 ? 1 : 0;
        const int ks[3] = {ka, kb, kc};
        for (int e = 0; e < 3; ++e) {
            const int p = ks[e], q = ks[(e + 1) % 3];
            const bool side = (q == (p + 1) % face.cornerCount) || (p == (q + 1) % face.cornerCount);
            t.edgeIsSide[e] = side ? 1 : 0;
            if (side) {
                const int k = (q == (p + 1) % face.cornerCount) ? p : q;
                t.edgeTab[e] = face.tabMark[k] ? 1 : 0;
            }
            t.cornerTags[e] = -1;
        }
        t.invDet = 1.0f;
    };
    while (n > 3) {
        int cls[kPolyMaxCorners];
        for (int i = 0; i < n; ++i) {
            const Vec2d p = tableNetPosition(m, face.corners[idx[(i + n - 1) % n]]);
            const Vec2d c = tableNetPosition(m, face.corners[idx[i]]);
            const Vec2d q = tableNetPosition(m, face.corners[idx[(i + 1) % n]]);
            const double z = (p.x - c.x) * (q.y - c.y) - (p.y - c.y) * (q.x - c.x);
            cls[i] = z < 0.0 ? 2 : (z > 0.0 ? 3 : 1);
        }
        int taken = -1;
        for (int i = 0; i < n; ++i) {
            if (cls[i] != 2) continue;
            if (cls[(i + n - 1) % n] == 3 || cls[(i + 1) % n] == 3) {
                taken = i;
                break;
            }
            taken = i;  // the last class-2 corner of the scan
        }
        if (taken < 0) taken = 0;  // no convex corner at all (degenerate outline)
        emit(idx[(taken + n - 1) % n], idx[taken], idx[(taken + 1) % n]);
        for (int i = taken; i + 1 < n; ++i) idx[i] = idx[i + 1];
        --n;
    }
    emit(idx[0], idx[1], idx[2]);
}

void prepareTriangle(PolyModel& m, int t) noexcept {
    if (t < 0 || t >= m.triangleCount) return;
    NetTriangle& tri = m.triangles[t];
    if (tri.a < 0 || tri.b < 0 || tri.c < 0 || tri.a >= kPolyMaxVertices || tri.b >= kPolyMaxVertices ||
        tri.c >= kPolyMaxVertices) {
        // Never found: an empty box keeps every lookup away from the bad index.
        m.errorCode = kPolyBadVertexIndex;
        tri.minX = tri.minY = 1.0f;
        tri.maxX = tri.maxY = -1.0f;
        tri.hidden = 1;
        return;
    }
    const NetVertex& A = m.vertices[tri.a];
    const NetVertex& B = m.vertices[tri.b];
    const NetVertex& C = m.vertices[tri.c];
    const float d = (C.netY - A.netY) * (B.netX - A.netX) - (B.netY - A.netY) * (C.netX - A.netX);
    tri.invDet = d != 0.0f ? 1.0f / d : 1.0f;
    tri.minX = std::min({A.netX, B.netX, C.netX});
    tri.maxX = std::max({A.netX, B.netX, C.netX});
    tri.minY = std::min({A.netY, B.netY, C.netY});
    tri.maxY = std::max({A.netY, B.netY, C.netY});
}

bool markTabEdges(PolyModel& m, std::int16_t loopNumber) noexcept {
    // An unvisited boundary edge.
    int f0 = -1, k0 = -1;
    for (int f = 0; f < m.faceCount && f0 < 0; ++f) {
        const PolyFace& face = m.faces[f];
        for (int k = 0; k < face.cornerCount; ++k) {
            if (face.netNeighbour[k] < 0 && !face.edgeVisited[k]) {
                f0 = f;
                k0 = k;
                break;
            }
        }
    }
    if (f0 < 0) return false;
    int f = f0, k = k0;
    bool tab = m.phaseB == 0;
    for (int step = 0; step < kPolyMaxFaces + 1; ++step) {
        PolyFace& face = m.faces[f];
        face.edgeVisited[k] = 1;
        face.tabMark[k] = tab ? 1 : 0;
        tab = !tab;
        if (!m.keepLoopIds) face.loopId = loopNumber;
        // The next boundary edge: turn about the edge's end through the
        // faces that share it in the net.
        int g = f, e = (k + 1) % face.cornerCount;
        for (int turn = 0; turn < 64 && m.faces[g].netNeighbour[e] >= 0; ++turn) {
            const int h = m.faces[g].netNeighbour[e];
            const int he = m.faces[g].netNeighbourEdge[e];
            g = h;
            e = (he + 1) % m.faces[h].cornerCount;
        }
        if (m.faces[g].netNeighbour[e] >= 0) break;  // not a manifold corner: give up the loop
        f = g;
        k = e;
        if (f == f0 && k == k0) break;
        if (m.faces[f].edgeVisited[k]) break;
    }
    return true;
}

void addMarkTriangle(PolyModel& m, float x0, float y0, float x1, float y1, float x2, float y2, int face,
                     int tag) noexcept {
    if (m.vertexCount + 3 >= kPolyMaxVertices) {
        m.errorCode = kPolyMarkOverflow;
        return;
    }
    const float xs[3] = {x0, x1, x2}, ys[3] = {y0, y1, y2};
    const int base = m.vertexCount;
    for (int i = 0; i < 3; ++i) {
        NetVertex& v = m.vertices[base + i];
        v.netX = xs[i];
        v.netY = ys[i];
        v.solidX = v.solidY = v.solidZ = 1.0f;
        m.vertexUsed[base + i] = 1;
    }
    m.vertexCount += 3;
    if (m.triangleCount + 1 < kPolyMaxTriangles) {
        NetTriangle& t = m.triangles[m.triangleCount++];
        std::memset(&t, 0, sizeof t);
        t.a = base;
        t.b = base + 1;
        t.c = base + 2;
        t.isMark = 1;
        t.hidden = 0;
        t.markTag = static_cast<std::int16_t>(kPolyNoTag);
        t.face = static_cast<std::int16_t>(face);
        t.group = static_cast<std::int16_t>(tag);
        t.cornerTags[0] = t.cornerTags[1] = t.cornerTags[2] = -1;
        t.invDet = 1.0f;
    } else {
        m.errorCode = kPolyTriangleTableFull;
    }
}

namespace {
bool usedBox(const PolyModel& m, float& minX, float& maxX, float& minY, float& maxY) {
    minX = minY = 1e30f;
    maxX = maxY = -1e30f;
    bool any = false;
    const int n = std::min(m.vertexCount, kPolyMaxVertices);
    for (int v = 0; v < n; ++v) {
        if (!m.vertexUsed[v]) continue;
        any = true;
        minX = std::min(minX, m.vertices[v].netX);
        maxX = std::max(maxX, m.vertices[v].netX);
        minY = std::min(minY, m.vertices[v].netY);
        maxY = std::max(maxY, m.vertices[v].netY);
    }
    return any;
}
}  // namespace

void addCornerMarks(PolyModel& m) noexcept {
    float minX, maxX, minY, maxY;
    if (!usedBox(m, minX, maxX, minY, maxY)) return;
    const float leg = 0.0625f * std::min(maxX - minX, maxY - minY);
    addMarkTriangle(m, minX, minY, minX + leg, minY, minX, minY + leg, -1, -1);
    addMarkTriangle(m, maxX, minY, maxX - leg, minY, maxX, minY + leg, -1, -1);
    addMarkTriangle(m, minX, maxY, minX + leg, maxY, minX, maxY - leg, -1, -1);
    addMarkTriangle(m, maxX, maxY, maxX - leg, maxY, maxX, maxY - leg, -1, -1);
}

void fitNetToFrame(PolyModel& m, std::uint32_t fitMode) noexcept {
    float x0 = 0.0f, x1 = 1.0f, y0 = 0.0f, y1 = m.frameHeight;
    if (m.flags.symmetricFrame) {
        x0 = y0 = -1.0f;
        x1 = y1 = 1.0f;
    }
    m.frameX0 = x0;
    m.frameX1 = x1;
    m.frameY0 = y0;
    m.frameCentreX = (x0 + x1) / 2.0f;
    m.frameCentreY = (y0 + y1) / 2.0f;
    m.fitInverseWidth = (x1 - x0) != 0.0f ? 1.0f / (x1 - x0) : 1.0f;
    m.fitInverseHeight = (y1 - y0) != 0.0f ? 1.0f / (y1 - y0) : 1.0f;
    m.fitScale = 1.0f;

    float minX, maxX, minY, maxY;
    bool any = usedBox(m, minX, maxX, minY, maxY);
    if (m.useFixedBox) {
        minX = m.fixedBox[0];
        maxX = m.fixedBox[1];
        minY = m.fixedBox[2];
        maxY = m.fixedBox[3];
        any = maxX > minX && maxY > minY;
    }
    if (!any) {
        // Nothing to fit: empty bounds, every point misses.
        m.boundsMinX = m.boundsMinY = 1.0f;
        m.boundsMaxX = m.boundsMaxY = -1.0f;
        return;
    }
    if (fitMode != kFitToFrame && fitMode != kFitFixedZoom) {
        m.boundsMinX = minX;
        m.boundsMaxX = maxX;
        m.boundsMinY = minY;
        m.boundsMaxY = maxY;
        return;
    }
    const float bx = (minX + maxX) / 2.0f, by = (minY + maxY) / 2.0f;
    float scale = 1.0f, ox = 0.0f, oy = 0.0f;
    if (fitMode == kFitToFrame) {
        const float w = maxX - minX, h = maxY - minY;
        const float sx = w > 0.0f ? (x1 - x0) / w : 1e30f;
        const float sy = h > 0.0f ? (y1 - y0) / h : 1e30f;
        if (sy > sx) {
            scale = sx;
            m.fitAxis = 1;
        } else {
            scale = sy;
            m.fitAxis = 2;
        }
        if (scale >= 1e30f) scale = 1.0f;
    } else {
        scale = m.faceZoom;
        ox = m.faceOffsetX;
        oy = m.faceOffsetY;
    }
    const float cx = m.frameCentreX, cy = m.frameCentreY;
    const int n = std::min(m.vertexCount, kPolyMaxVertices);
    for (int v = 0; v < n; ++v) {
        if (!m.vertexUsed[v]) continue;
        m.vertices[v].netX = (m.vertices[v].netX - ox - bx) * scale + cx;
        m.vertices[v].netY = (m.vertices[v].netY - oy - by) * scale + cy;
    }
    m.fitScale = scale;
    const float ax = (minX - ox - bx) * scale + cx, bxx = (maxX - ox - bx) * scale + cx;
    const float ay = (minY - oy - by) * scale + cy, byy = (maxY - oy - by) * scale + cy;
    m.boundsMinX = std::min(ax, bxx);
    m.boundsMaxX = std::max(ax, bxx);
    m.boundsMinY = std::min(ay, byy);
    m.boundsMaxY = std::max(ay, byy);
}

}  // namespace globaro
