#pragma once
// The parameter table of the curved outlines: the floret family (clovers,
// florets, calyxes, astercurves, incurvates, sprockets, flakes, frangipani,
// the round polygons) and the Reuleaux triangle. Every outline is a domain
// with the rotational symmetry of its count, its first tip (or petal) at
// the top (the whole outline turned by `tilt` degrees), drawn by one routine
// (`mapCurvedOutline`):
// the disc carried conformally onto the outline (projection/curved_outline.h)
// holds the whole world with the view centre in the middle and the far side
// split into as many lobes as the outline has tips.
//
// The outlines are given in units where the tips lie at radius 1 on the
// rays 2πk/count (before the turn that puts the first one at the top); the
// routine scales them so that the farthest point lies 0.5 plane units from
// the centre, and `box` is the view frame the render setup takes: the
// outline's width, and its height made symmetric about its centre so that
// the centre of the image is the centre of the outline.

#include <complex>
#include <cstdint>
#include <iterator>

#include "geometry/projection_id.h"
#include "projection/render_context.h"

namespace globaro {

enum class OutlineType : std::uint8_t {
    // A union of a core disc (radius `core`, none when 0) and `count` lobes
    // centred `offset` out on the tip rays: ellipses of half-axes
    // `size`·`stretch` (tilted `angle` degrees off the ray) and `size`.
    kLobes,
    // The Reuleaux polygon of an odd `count`: the intersection of the discs
    // about each tip through the opposite tips.
    kReuleaux,
    // A regular polygon with round corners: the points within `size` of the
    // polygon whose corners lie `offset` out.
    kRounded,
    // A rounded star: the Schwarz–Christoffel star of `count` tips of
    // `angle` degrees (projection/schwarz_christoffel.h) on the image of the
    // disc under q(z) = size·z·(1 + ε·zⁿ)/(1 + ε), ε = `offset` below
    // 1/(count + 1): q keeps the tips' prevertices on the rim (sharp tips;
    // `size` < 1 rounds them too) and pulls the inner corners' ones inside,
    // which rounds the hollows. Its own map draws it.
    kRoundStar,
    // Leaning petals in polar form: ρ(θ) = 1 − size + size·sin(π·u^stretch),
    // u the fraction of the way round from one notch to the next: each
    // petal rises slowly and falls steeply, like the blades of a pinwheel.
    kPinwheel,
    // Petals in polar form: ρ(θ) = 1 − size·(1 − |cos(count·θ/2)|), round
    // petals meeting in pointed notches `size` deep.
    kPetals,
};

struct FloretRow {
    ProjectionId id;
    OutlineType type;
    std::int32_t count;
    double angle = 0.0;    // degrees: the lobes' tilt off their rays, a star's tips
    double offset = 0.0;   // lobe centres, small polygon corners, a star's ε
    double size = 0.0;     // lobe or corner radius, petal notch depth, a star's disc
    double core = 0.0;     // core disc radius of a lobed outline
    double stretch = 1.0;  // lobes: the ellipse's long axis over its short one; a pinwheel's lean
    double tilt = 0.0;     // degrees the outline is turned from its first tip at the top
    ExtentBox box = {};    // the view frame, in plane units
};

// clang-format off
inline constexpr FloretRow kFloretRows[] = {
    // ---- clovers: round overlapping leaves
    {.id = 108, .type = OutlineType::kLobes, .count = 2, .offset = 0.42, .size = 0.58, .box = {-0.29, 0.29, -0.5, 0.5}},
    {.id = 109, .type = OutlineType::kLobes, .count = 3, .offset = 0.5, .size = 0.5, .box = {-0.467, 0.467, -0.5, 0.5}},
    {.id = 110, .type = OutlineType::kLobes, .count = 4, .offset = 0.55, .size = 0.45, .core = 0.55, .box = {-0.5, 0.5, -0.5, 0.5}},
    {.id = 111, .type = OutlineType::kLobes, .count = 5, .offset = 0.55, .size = 0.45, .core = 0.55, .box = {-0.487, 0.487, -0.5, 0.5}},
    {.id = 112, .type = OutlineType::kLobes, .count = 6, .offset = 0.58, .size = 0.42, .core = 0.58, .box = {-0.462, 0.462, -0.5, 0.5}},
    // ---- the Reuleaux triangle
    {.id = 122, .type = OutlineType::kReuleaux, .count = 3, .box = {-0.433, 0.433, -0.5, 0.5}},
    // ---- calyxes: pointed sepals with round hollows
    {.id = 146, .type = OutlineType::kRoundStar, .count = 3, .angle = 60.0, .offset = 0.12, .size = 1.0, .box = {-0.434, 0.434, -0.5, 0.5}},
    {.id = 147, .type = OutlineType::kRoundStar, .count = 4, .angle = 60.0, .offset = 0.1, .size = 1.0, .box = {-0.5, 0.5, -0.5, 0.5}},
    {.id = 148, .type = OutlineType::kRoundStar, .count = 5, .angle = 60.0, .offset = 0.08, .size = 1.0, .box = {-0.476, 0.476, -0.5, 0.5}},
    {.id = 149, .type = OutlineType::kRoundStar, .count = 6, .angle = 60.0, .offset = 0.07, .size = 1.0, .box = {-0.434, 0.434, -0.5, 0.5}},
    // ---- astercurves: thin tips, gently curved hollows
    {.id = 152, .type = OutlineType::kRoundStar, .count = 5, .angle = 24.0, .offset = 0.05, .size = 1.0, .box = {-0.476, 0.476, -0.5, 0.5}},
    {.id = 153, .type = OutlineType::kRoundStar, .count = 7, .angle = 20.0, .offset = 0.04, .size = 1.0, .box = {-0.488, 0.488, -0.5, 0.5}},
    {.id = 154, .type = OutlineType::kRoundStar, .count = 8, .angle = 18.0, .offset = 0.035, .size = 1.0, .box = {-0.5, 0.5, -0.5, 0.5}},
    // ---- incurvates: polygons with their sides curved in
    {.id = 164, .type = OutlineType::kRoundStar, .count = 3, .angle = 40.0, .offset = 0.08, .size = 1.0, .box = {-0.434, 0.434, -0.5, 0.5}},
    {.id = 165, .type = OutlineType::kRoundStar, .count = 4, .angle = 50.0, .offset = 0.07, .size = 1.0, .box = {-0.5, 0.5, -0.5, 0.5}},
    // ---- sprockets: a wheel of blunt teeth with round gaps
    {.id = 51, .type = OutlineType::kRoundStar, .count = 6, .angle = 105.0, .offset = 0.12, .size = 0.97, .box = {-0.444, 0.444, -0.5, 0.5}},
    {.id = 251, .type = OutlineType::kRoundStar, .count = 4, .angle = 75.0, .offset = 0.17, .size = 0.97, .box = {-0.5, 0.5, -0.5, 0.5}},
    {.id = 252, .type = OutlineType::kRoundStar, .count = 5, .angle = 95.0, .offset = 0.14, .size = 0.97, .box = {-0.48, 0.48, -0.5, 0.5}},
    // ---- flakes: thin arms with deep round hollows between them
    {.id = 389, .type = OutlineType::kRoundStar, .count = 3, .angle = 30.0, .offset = 0.24, .size = 1.0, .box = {-0.434, 0.434, -0.5, 0.5}},
    {.id = 390, .type = OutlineType::kRoundStar, .count = 4, .angle = 30.0, .offset = 0.19, .size = 1.0, .box = {-0.5, 0.5, -0.5, 0.5}},
    {.id = 391, .type = OutlineType::kRoundStar, .count = 5, .angle = 28.0, .offset = 0.16, .size = 1.0, .box = {-0.476, 0.476, -0.5, 0.5}},
    // ---- frangipani: five leaning petals
    {.id = 388, .type = OutlineType::kPinwheel, .count = 5, .size = 0.3, .stretch = 1.5, .tilt = 45.4, .box = {-0.5, 0.5, -0.5, 0.5}},
    // ---- round polygons
    {.id = 383, .type = OutlineType::kRounded, .count = 3, .offset = 0.7, .size = 0.3, .box = {-0.454, 0.454, -0.5, 0.5}},
    {.id = 384, .type = OutlineType::kRounded, .count = 4, .offset = 0.75, .size = 0.25, .tilt = 45.0, .box = {-0.4, 0.4, -0.4, 0.4}},
    // ---- florets: round petals about a round heart
    {.id = 1038, .type = OutlineType::kPetals, .count = 3, .size = 0.45, .box = {-0.467, 0.467, -0.5, 0.5}},
    {.id = 1039, .type = OutlineType::kPetals, .count = 4, .size = 0.4, .box = {-0.5, 0.5, -0.5, 0.5}},
    {.id = 1040, .type = OutlineType::kPetals, .count = 5, .size = 0.36, .box = {-0.484, 0.484, -0.5, 0.5}},
    {.id = 1041, .type = OutlineType::kPetals, .count = 6, .size = 0.32, .box = {-0.451, 0.451, -0.5, 0.5}},
};
// clang-format on

// The row of output `id` in the table, −1 for none. (An index, not a
// pointer: a compared pointer is no constant expression in a build with the
// undefined-behaviour checks.)
constexpr int floretIndex(ProjectionId id) noexcept {
    for (int i = 0; i < static_cast<int>(std::size(kFloretRows)); ++i)
        if (kFloretRows[i].id == id) return i;
    return -1;
}

// The view frame of an outline of the table.
constexpr ExtentBox floretBox(ProjectionId id) noexcept {
    const int i = floretIndex(id);
    return i < 0 ? ExtentBox{} : kFloretRows[i].box;
}

class OutlineMap;

// Whether p (the tips at radius 1 on the rays 2πk/count) lies inside the
// outline of `row`.
bool floretInside(const FloretRow& row, std::complex<double> p) noexcept;

// The conformal map of an outline of the table, set up on first use; null
// for ids without a row and for the rounded stars.
const OutlineMap* floretMapOf(ProjectionId id);

// The ellipse with foci ±1 and half-axes cosh π/4, sinh π/4 onto the unit
// disc, conformally, the centre fixed and the major axis kept real.
std::complex<double> ellipseToDisc(std::complex<double> w) noexcept;

}  // namespace globaro
