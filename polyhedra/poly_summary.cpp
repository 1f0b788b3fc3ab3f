// Summaries of built polyhedron models.

#include "polyhedra/poly_summary.h"

#include <algorithm>

namespace globaro {
namespace {

int findRoot(int* parent, int f) noexcept {
    while (parent[f] != f) {
        parent[f] = parent[parent[f]];
        f = parent[f];
    }
    return f;
}

}  // namespace

PolyModelSummary summarisePolyModel(const PolyModel& m) noexcept {
    PolyModelSummary s;
    s.kind = m.kind;
    s.faces = std::clamp(m.faceCount, 0, kPolyMaxFaces);
    s.netVertices = std::clamp(m.vertexCount, 0, kPolyMaxVertices);
    s.triangles = std::clamp(m.triangleCount, 0, kPolyMaxTriangles);
    s.errorCode = m.errorCode;
    for (int t = 0; t < s.triangles; ++t) {
        if (m.triangles[t].isMark) ++s.markTriangles;
    }
    // Pieces: faces joined across the edges they share in the net.
    int parent[kPolyMaxFaces];
    for (int f = 0; f < s.faces; ++f) parent[f] = f;
    int pieces = s.faces;
    for (int f = 0; f < s.faces; ++f) {
        const PolyFace& face = m.faces[f];
        const int n = std::clamp(face.cornerCount, 0, kPolyMaxCorners);
        for (int k = 0; k < n; ++k) {
            const int g = face.netNeighbour[k];
            if (g < 0 || g >= s.faces) continue;
            const int a = findRoot(parent, f), b = findRoot(parent, g);
            if (a != b) {
                parent[a] = b;
                --pieces;
            }
        }
    }
    s.pieces = pieces;
    return s;
}

bool summarisePolyOutput(ProjectionId id, float frameHeight, PolyModelSummary& out) noexcept {
    if (!isPolyhedral(id)) return false;
    PolyModel* m = createPolyModel();
    if (m == nullptr) return false;
    preparePolyModel(id, *m, frameHeight, 0.0f, kFitToFrame, 0.0f, kPolyModeNet, 0, defaultPolyAllocator(), 1);
    out = summarisePolyModel(*m);
    releasePolyModel(m);
    return true;
}

}  // namespace globaro
