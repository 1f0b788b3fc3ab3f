#pragma once
// The shape of one row of the projection registry (projection/registry.h):
// everything the rest of the system knows about one output or input id, in
// one place. The rows themselves are written with designated initialisers,
// so a row names only what differs from the defaults below.

#include <cstdint>
#include <string_view>

#include "geometry/projection_id.h"
#include "polyhedra/poly_spec.h"
#include "projection/render_context.h"

namespace globaro {

// Families of outputs that other code tests by contiguous id range.
enum class ProjectionFamily : std::uint8_t {
    kNone,
    kGeodesic,          // 177..198 "geodesic F | M"
    kSphericon,         // 199..246
    kCurlicue,          // 304..336
    kHyperbolicTiling,  // 371..382, three tilings of four variants each
    kViews,             // 75..79 "4 views" .. "72 views"
    kFloretOutputs,     // 1038..1041 "3-floret" .. "6-floret"
};

// Attribute bits kept in the rows (the attributes that are plain id lists).
// Attributes that follow from the polyhedron model are derived by the
// catalogue's predicates instead.
enum OutputTrait : std::uint32_t {
    kTraitConformal = 1u << 0,
    kTraitCircleOutline = 1u << 1,
    kTraitFloret = 1u << 2,  // member of the floret family
    kTraitOrigami = 1u << 3,
    kTraitCurvedOrigami = 1u << 4,  // curved origami by id (not by model shape)
    kTraitCubemap = 1u << 5,
    kTraitGlobeGores = 1u << 6,
    kTraitShadedRender = 1u << 7,  // shaded by its own sampler (bricks, voxels ...)
    kTraitCylindrical = 1u << 8,
    kTraitGnomonic = 1u << 9,
    kTraitEqualArea = 1u << 10,
    kTraitOceans = 1u << 11,
    kTraitRind = 1u << 12,
    kTraitSteinmetzSolid = 1u << 13,
    kTraitOrthoapsidal = 1u << 14,
    kTraitEllipseOutline = 1u << 15,
    kTraitSquareOutline = 1u << 16,
    kTraitNoExportableGeometry = 1u << 17,  // never exports 3D geometry, model or not
    kTraitNotPolyhedron = 1u << 18,         // a model, but not counted as a polyhedron
    kTraitDevelopable = 1u << 19,           // developable by id (not by model shape)
    kTraitInternal = 1u << 20,              // recognised id without a name
};

struct InputSample;

namespace output_detail {

struct OutputCall;
struct OutputResult;
struct RowPoint;
struct PseudoRowForm;
struct GoreVariant;
struct CubeLayout;

// An output routine: the direction the output shows at one output position.
using OutputFormula = void (*)(const OutputCall&, OutputResult&) noexcept;

// The short form of a routine for the row path (`mapOutputRow`): where the
// routine finds its face-local point before the turn of its region, which
// is linear. False: the position lies outside every region, and the sample
// takes the usual steps.
using RowRoutine = bool (*)(const OutputCall&, RowPoint&) noexcept;

// Pre-warps applied with the rotation.
enum class PreWarp : std::uint8_t {
    kNone,
    kPowerSquare,  // W(d, 2): the inverse of the Lagrange input's W(d, 1/2)
    kTurn20,       // a turn about the y axis by 20°
};

// Per-output variants of the shared routines.
enum class Variant : std::uint8_t {
    kPlain,
    kMagnipolar,
    kAnnulus,
};

// How the render setup treats an output beyond its routine.
struct RenderTraits {
    std::int32_t mode = kModeNormal;  // RenderMode: own sampler (1), separate sampler (3)
    bool tilingFold = false;          // a tiling: folds before the rotation with anamorphosis
    ProjectionId modelId = 0;         // the solid a views output prepares (0: its own id)
};

}  // namespace output_detail

// One output id.
struct OutputRow {
    // ---- the catalogue
    ProjectionId id;
    std::string_view name = "";       // shown byte for byte; "" for the internal ids
    std::string_view shapeWord = "";  // "" when the output has none
    ProjectionFamily family = ProjectionFamily::kNone;
    std::uint32_t traits = 0;         // OutputTrait bits
    std::int8_t shadedGlobe = 0;      // 0 none, 1 shaded globe, 2 its southern variant
    std::string_view themeWord = "";  // "retouching", "voxels" ... or ""
    // ---- the scripting descriptor: the enumeration key the id is recorded
    // under; "" when it has none of its own (it then travels under a carried
    // '#' key)
    std::string_view key = "";
    // ---- drawing
    // True while a render of the output shows only empty samples: it has
    // neither a routine that is sampled here nor a model that builds faces.
    bool pending = false;
    // Maps a plane point to a direction; null when the polyhedron model or a
    // sampler of its own draws the output (or nothing does yet).
    output_detail::OutputFormula routine = nullptr;
    // The routine's short form for whole rows, when it has one.
    output_detail::RowRoutine rowPoint = nullptr;
    // The routine's row form when it is pseudocylindrical (the latitude a
    // function of the row alone), which the row path then follows.
    const output_detail::PseudoRowForm* pseudoRow = nullptr;
    // A step that changes each sample's colour after the lookup (lighting,
    // falloff), when the output has one.
    ColourStep colourStep = nullptr;
    // The extent box in plane units (the unit square by default).
    ExtentBox box = {};
    output_detail::PreWarp preWarp = output_detail::PreWarp::kNone;
    output_detail::Variant variant = output_detail::Variant::kPlain;
    const output_detail::GoreVariant* gores = nullptr;  // a globe-gore layout
    const output_detail::CubeLayout* cube = nullptr;    // a cube-map layout
    output_detail::RenderTraits render = {};
    // Above 0: every region the routine draws (its hits by tag, and the misses
    // around them) is an axis-aligned rectangle of the plane, at least this
    // many plane units on each side.
    double rectangleSide = 0.0;
    // Above 0: the routine draws one region, the inside of a smooth outline (an ellipse, a lumpy
    // ball's silhouette), with misses around it; its radius of curvature, bulging or dented, is
    // nowhere below this many plane units, nor does it come nearer to itself than twice that.
    double outlineRadius = 0.0;
    // Above 0: the routine draws one region, the inside of a polygon or star
    // with misses around it; its sides are straight and at least this many
    // plane units long, its corners measure between 90° and 270° inside.
    double polygonSide = 0.0;
    // ---- the polyhedron model (kind −1: none)
    PolySpec poly = {};
    // ---- the documentation: one line on how the output is drawn and what it
    // keeps ("" while it has none), printed by `describe` as its construction
    std::string_view about = "";

    constexpr bool has(OutputTrait t) const { return (traits & t) != 0; }
};

namespace input_detail {
struct InputCall;
// A lookup routine: writes u, v and, where the input has them, the miss flag,
// face index, region code and weight.
using InputFormula = void (*)(const InputCall&, InputSample&) noexcept;
}  // namespace input_detail

// One input id.
struct InputRow {
    InputProjectionId id;
    std::string_view name;
    std::string_view key;  // the scripting descriptor's enumeration key
    input_detail::InputFormula lookup;
    bool rightHalfRule = false;  // region code 3 when the position lies in the right half
    // Every direction lands inside the image with the one default region
    // code: the input adds no edges of its own to a render.
    bool seamless = false;
    // The lookup leaves a seam weight in the cell (1 inside, falling to 0 at
    // the edges of the faces it holds), and the samples are laid down with
    // that much cover, so that what it holds blends into the picture below.
    bool featheredBySeamWeight = false;
};

// The row of an id, or null when the registry has none. Output rows include
// the internal ids 1043, 1044 and 1045.
const OutputRow* findOutputRow(ProjectionId id) noexcept;
const InputRow* findInputRow(InputProjectionId id) noexcept;

}  // namespace globaro
