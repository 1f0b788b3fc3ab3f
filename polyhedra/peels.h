#pragma once
// Peels: the sphere cut along curves into long developable strips.
//
// Rinds (kinds 25 to 27, 159, 160 and 163): the sphere peeled like an orange
// along a spiral from pole to pole. The spiral's polar angle grows steadily
// while its longitude makes N full turns; the band between one turn and the
// next is the rind. A rind with S starts winds S spirals side by side (one
// S-th of a turn apart) and gives S bands. Each band is faceted into flat
// triangles between its two rails, one rung per few degrees of longitude,
// and unrolls as one long curved strip. A single band closes each pole with a
// fan of a whole turn that would run into its next turn in the net, so the
// fan is cut off as a round cap. The twistless rind follows a rhumb line
// instead: in its middle stretch the band keeps one heading against the
// meridians, so it unrolls into a strip of almost constant curvature.
//
// Skelions (kinds 50, 164 to 169 and 303): the sphere cut into n congruent
// pieces that meet at both poles. Without a twist they are the Voronoi cells
// of n equally spaced points on the equator (lunes); the skelions turn every
// cell's borders round the polar axis by a profile of the polar angle, so
// that seen from a pole the pieces are n legs turning about it. Each piece is
// faceted into a few strips running from pole to pole, joined at the equator
// and cut apart elsewhere, so that it unrolls like a bunch of gores.
//
// Covers (kinds 158, 161 and 162): the sphere cut into a few congruent
// pieces along curved seams, like the cover of a ball. The quatretat and the
// curvy cube are the faces of a tetrahedron and a cube seen from the centre,
// every edge bent into an S (a sine wave across the great-circle arc, odd about
// its midpoint, so both faces along it and every edge of the solid agree);
// the baseball is the two dumbbells of the ball's seam (x = a cos t + b cos 3t,
// y = a sin t − b sin 3t, z = 2√(ab) sin 2t with a + b = 1, which lies on the
// unit sphere). Every piece is star-shaped about its centre: it is faceted
// along rays from the centre to its border into narrow strips, joined round
// the centre and cut apart elsewhere, so it unrolls into a flower of petals.
//
// The polar axis is y; every vertex lies on the unit sphere, so the sphere is
// carried onto the solid by central projection from the centre. Faces turn
// clockwise seen from outside, as in every generated solid.

#include <cstdint>

#include "polyhedra/poly_spec.h"
#include "polyhedra/solid_mesh.h"

namespace globaro {

// A rind: turns of each spiral, spirals side by side, rungs per turn, and
// whether the spiral is a rhumb line (else its polar angle grows evenly).
struct RindShape {
    double turns = 0.0;
    int starts = 1;
    int rungsPerTurn = 48;
    bool rhumb = false;
};

// How a skelion's borders turn round the axis as the polar angle grows.
enum class SkelionProfile : std::uint8_t {
    kNone,      // plain lunes
    kSpiral,    // evenly with the polar angle
    kSwirl,     // fastest at the equator, not at all at the poles
    kKnee,      // straight arms, one bend at the equator
    kTwoKnees,  // straight arms, bent at a third and two thirds of the way
};

struct SkelionShape {
    int pieces = 0;
    SkelionProfile profile = SkelionProfile::kNone;
    double twist = 0.0;  // radians turned from pole to pole
    int strips = 4;      // strips per piece
};

enum class CoverPattern : std::uint8_t {
    kTetrahedron,  // four triangles
    kCube,         // six squares
    kSeam,         // the two halves of a ball's seam
};

struct CoverShape {
    CoverPattern pattern = CoverPattern::kCube;
    double bend = 0.0;    // S-bend of the edges (polygons) or b of the seam
    int borderSteps = 8;  // facets along each edge (polygons) or the whole seam
    int rings = 6;        // facets from the centre to the border
};

// The shapes of the peel kinds; false for other kinds.
bool rindShape(PolyKind kind, RindShape& shape) noexcept;
bool skelionShape(PolyKind kind, SkelionShape& shape) noexcept;
bool coverShape(PolyKind kind, CoverShape& shape) noexcept;

// How far a skelion's border has turned at polar angle theta (0 to pi).
double skelionTurn(const SkelionShape& shape, double theta) noexcept;

// The faceted solids. Edges between bands, pieces or strips forbid
// unfolding, so the net keeps each strip whole.
SolidMesh generateRind(const RindShape& shape);
SolidMesh generateSkelion(const SkelionShape& shape);
SolidMesh generateCover(const CoverShape& shape);

}  // namespace globaro
