#pragma once
// A solid known only in space: vertices and faces that name them. Generators
// fill one; the unfolder turns it into a net; the fixed solids are built from
// convex hulls and polar duals of their standard vertex sets.

#include <cstdint>
#include <vector>

#include "geometry/vec_math.h"

namespace globaro {

struct SolidMesh {
    std::vector<Vec3d> vertices;
    std::vector<std::vector<int>> faces;  // vertex indices around each face
    std::vector<std::int16_t> groups;     // colour group per face, -1 for none
    // Optional flag word per face edge (corner k to k+1); the lowest bit
    // forbids unfolding across that edge. Empty: every edge may be unfolded.
    std::vector<std::vector<std::uint8_t>> edgeFlags;
    std::int32_t errorCode = 0;  // PolyError values (3, 5, 8)

    // The first vertex closer than `tolerance` to p, or a new one. At 6010
    // vertices nothing is appended, error 5 is set and -1 returned.
    int addVertex(const Vec3d& p, double tolerance);
    // Appends a face. Same vertex twice in a row: refused with error 3. Unless
    // `bulk`, a face with the vertex set of an existing face is refused with
    // error 8. More than 10 corners are cut to 10.
    bool addFace(const int* corners, int count, std::int16_t group = -1, bool bulk = true);
};

// The convex hull of a point set: each face is the polygon of all points on
// one supporting plane (coplanar points merged), ordered anticlockwise seen
// from outside. Meant for the small point sets of the fixed solids.
SolidMesh convexHull(const std::vector<Vec3d>& points, double tolerance = 1e-9);

// The polar dual about the centre: a vertex n/d for each face plane n·x = d,
// a face for each vertex (anticlockwise from outside).
SolidMesh polarDual(const SolidMesh& mesh);

// Right-handed (Newell) normal of a face, not normalised.
Vec3d faceNormal(const SolidMesh& mesh, int face);
Vec3d faceCentre(const SolidMesh& mesh, int face);

}  // namespace globaro
