#pragma once
// Net unfolding: cuts a solid into pieces, lays every face flat next to an
// already placed neighbour across a shared edge, refuses placements that
// overlap, shares coincident net vertices and lines the pieces up in a row.

#include <cstdint>
#include <vector>

#include "polyhedra/solid_mesh.h"

namespace globaro {

struct UnfoldOptions {
    bool overlapTest = true;
    double shareTolerance = 0.002;  // net vertices closer than this are shared
    int startFace = -1;             // preferred start of the first piece, -1 for none
    int piecesPerRow = 0;           // line the pieces up in rows of this many; 0 for one row
    // Turn each piece to stand alike: its long axis across and its first face
    // above its centre of area (a star without a long axis on a point).
    bool turnPiecesUp = false;
};

struct UnfoldedNet {
    std::vector<Vec2d> positions;           // net vertices
    std::vector<int> positionSolid;         // the solid vertex of each net vertex
    std::vector<std::vector<int>> faceNet;  // net corners per face (empty when not placed)
    std::vector<std::int16_t> piece;        // piece number 1..24, 0 when not placed
    std::vector<std::int16_t> depth;        // steps from the piece's first face, -1 when not placed
    int pieceCount = 0;
    int fullPieceCount = 0;      // pieces with at least 6 faces attached to their start
    std::int32_t errorCode = 0;  // 9 when a 25th piece was needed
};

// Unfolds the solid. Faces are laid flat in their own turning sense (each
// face's net outline has a positive signed area in (x, y)).
UnfoldedNet unfoldSolid(const SolidMesh& mesh, const UnfoldOptions& options = {});

// True when the two flat outlines share interior points (touching along
// edges or at corners is not an overlap).
bool outlinesOverlap(const std::vector<Vec2d>& a, const std::vector<Vec2d>& b, double tolerance);

// The neighbour of each face edge (corner k to k+1): the face across it and
// its matching edge, -1 for none. Edges match when they run between the same
// two vertices in opposite order.
struct FaceAdjacency {
    std::vector<std::vector<int>> face;
    std::vector<std::vector<int>> edge;
};
FaceAdjacency buildAdjacency(const SolidMesh& mesh);

}  // namespace globaro
