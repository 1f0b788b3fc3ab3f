#pragma once
// Net unfolding: cuts a solid into pieces, lays every face flat next to an
// already placed neighbour across a shared edge, refuses placements that
// overlap, shares coincident net vertices and lines the pieces up in a row.

#include <array>
#include <cstdint>
#include <vector>

#include "polyhedra/solid_mesh.h"

namespace globaro {

// The two pieces each colour group may be placed in, for families that let
// a group spill into a second piece: entry g for group g, groups above 200
// use entry 200 and negative groups entry 0.
using GroupPieces = std::array<std::array<std::int16_t, 2>, 201>;

// How a piece stands in the net: as it was laid flat, or turned so that its
// long axis (of the second moments of area) lies across or upright, its
// first face above its centre of area (a star without a long axis stands on
// a point).
enum class PieceStance : std::uint8_t { kAsLaid, kAcross, kUpright };

struct UnfoldOptions {
    bool overlapTest = true;
    double shareTolerance = 0.002;  // net vertices closer than this are shared
    int startFace = -1;             // preferred start of the first piece, -1 for none
    // How each piece is turned before the pieces are lined up.
    PieceStance stance = PieceStance::kAsLaid;
    // With a group table a grouped face may go in either of its group's two
    // pieces (rather than only in the piece numbered as its group), and
    // every piece may join groups started in earlier pieces. A face is
    // still placed once: the net never holds two copies of a face.
    const GroupPieces* groupPieces = nullptr;
    // Above 0: the pieces are wrapped into the number of rows that shows
    // them largest in a frame this many times as wide as high (unless
    // `piecesPerRow` names the rows).
    double rowAspect = 0.0;
    int piecesPerRow = 0;  // line the pieces up in rows of this many; 0 for one row
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
