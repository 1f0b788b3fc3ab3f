#pragma once
// The projection catalogue: the fixed vocabulary of input and output
// projections. Every projection is known by an integer id; the catalogue gives
// it its display name, the shape word of some outputs, its family and the
// attribute predicates the rest of the system asks, all read off the
// registry's rows. Everything here is a pure
// function of the id, safe to call from any thread; nothing allocates except
// the functions that return strings or vectors.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/projection_id.h"
#include "projection/output_row.h"

namespace globaro {

// The counts of the rows, kInputProjectionCount (38, ids 1..38) and
// kOutputProjectionCount (the named outputs: 1..414, 486, 566, 800, 900,
// 1038..1041, 100335), are derived in projection/registry.h.

// Output ids without a name that the system recognises internally. The third,
// 1045 (a special render whose real output stands in `innerProjection`), is a
// value of the settings record: `kSpecialRenderProjection` of
// geometry/projection_id.h.
inline constexpr ProjectionId kFloretMemberOutput = 1043;  // a floret-family member
inline constexpr ProjectionId kGoreLayoutOutput = 1044;    // a globe-gore layout

// Names of ids without an entry.
inline constexpr std::string_view kUnknownInputName = "";
inline constexpr std::string_view kUnknownOutputName = "***";

// A stable lower-camel-case name of a family ("none", "geodesic" ...).
std::string_view projectionFamilyName(ProjectionFamily family) noexcept;

// The catalogue's rows are the registry's (projection/registry.h).
using InputProjectionInfo = InputRow;
using OutputProjectionInfo = OutputRow;

// ---- Tables and lookups ---------------------------------------------------

// The 38 input projections in ascending id order.
std::span<const InputProjectionInfo> inputProjections() noexcept;
// The 423 named output projections in ascending id order (no internal ids).
std::span<const OutputProjectionInfo> outputProjections() noexcept;

// The catalogue row of an id, or null. Output rows include the internal ids
// 1043, 1044 and 1045.
const InputProjectionInfo* findInputInfo(InputProjectionId id) noexcept;
const OutputProjectionInfo* findOutputInfo(ProjectionId id) noexcept;

bool hasInputEntry(InputProjectionId id) noexcept;  // 1..38
bool hasOutputEntry(ProjectionId id) noexcept;      // one of the 423 named entries
bool isInternalOutputId(ProjectionId id) noexcept;  // 1043, 1044, 1045

// Display names; "" (inputs) and "***" (outputs) for ids without an entry.
std::string_view inputProjectionName(InputProjectionId id) noexcept;
std::string_view outputProjectionName(ProjectionId id) noexcept;
// The shape word of an output, or "".
std::string_view outputShapeWord(ProjectionId id) noexcept;
ProjectionFamily outputFamily(ProjectionId id) noexcept;

// An id given as a decimal number or a name; a name matches whatever its
// letter case (spaces and punctuation matter). Only entries of the catalogue
// are found (not the internal output ids).
std::optional<ProjectionId> findOutputProjection(std::string_view idOrName) noexcept;
std::optional<InputProjectionId> findInputProjection(std::string_view idOrName) noexcept;

// For a name that finds nothing: the catalogue's name nearest to it when the
// difference looks like a slip (a few letters added, dropped, changed or
// swapped), else "".
std::string_view nearestOutputName(std::string_view text) noexcept;
std::string_view nearestInputName(std::string_view text) noexcept;

// ---- Attribute predicates of output projections ---------------------------

bool hasOutputTrait(ProjectionId id, OutputTrait trait) noexcept;

bool isConformal(ProjectionId id) noexcept;
bool hasCircleOutline(ProjectionId id) noexcept;
bool hasEllipseOutline(ProjectionId id) noexcept;
bool hasSquareOutline(ProjectionId id) noexcept;
// 1 for the shaded globe renderings, 2 for their southern variants, else 0.
int shadedGlobe(ProjectionId id) noexcept;
// Drawn with shading: the bricks, voxel, metaball and flat-earth renders,
// "cosine falloff" and the shaded globes.
bool isShaded(ProjectionId id) noexcept;
bool isFloretFamily(ProjectionId id) noexcept;
bool isHyperbolicTiling(ProjectionId id) noexcept;
bool isSphericon(ProjectionId id) noexcept;
bool isGeodesicSphere(ProjectionId id) noexcept;
bool isCurlicue(ProjectionId id) noexcept;
bool isViewsOutput(ProjectionId id) noexcept;
// The model shape is a Voronoi-cell shape.
bool isVoronoiShape(ProjectionId id) noexcept;
// The model shape is a strip net (the muses and the curlicues).
bool isStripNet(ProjectionId id) noexcept;
bool isCurvedOrigami(ProjectionId id) noexcept;
bool isDevelopable(ProjectionId id) noexcept;
bool isOrigami(ProjectionId id) noexcept;
bool isCubemap(ProjectionId id) noexcept;
bool isGlobeGores(ProjectionId id) noexcept;
bool isCylindrical(ProjectionId id) noexcept;
bool isGnomonic(ProjectionId id) noexcept;
bool isEqualArea(ProjectionId id) noexcept;
bool showsOceans(ProjectionId id) noexcept;
bool isRind(ProjectionId id) noexcept;
bool isSteinmetzSolid(ProjectionId id) noexcept;
bool isOrthoapsidal(ProjectionId id) noexcept;
// The output has a model whose faces can be exported as OBJ/STL geometry.
bool hasExportableGeometry(ProjectionId id) noexcept;
// The output shows a polyhedron in the plain sense (a solid of flat faces).
bool isPolyhedron(ProjectionId id) noexcept;
// The mapping goes through the polyhedron model (`isPolyhedral`); 1045 must
// be replaced by the inner projection first.
bool usesPolyModel(ProjectionId id) noexcept;
// "retouching", "voxels", "metaballs", "flat earth", "retroazimuthal" or "".
std::string_view outputThemeWord(ProjectionId id) noexcept;

// Every boolean predicate above under a stable name, for listings and tools.
struct OutputPredicate {
    std::string_view name;
    bool (*test)(ProjectionId) noexcept;
};
std::span<const OutputPredicate> outputPredicates() noexcept;

// ---- Family details ---------------------------------------------------------

enum class HyperbolicVariant : std::uint8_t { kDisc, kSquare, kPentagon, kBand };
struct HyperbolicTiling {
    int p;  // polygon sides: {p,q}
    int q;  // polygons at a vertex
    HyperbolicVariant variant;
};
std::optional<HyperbolicTiling> hyperbolicTilingOf(ProjectionId id) noexcept;

struct GeodesicSphere {
    int baseFaces;  // faces of the base solid: 4, 6, 8, 12 or 20
    int frequency;  // subdivision, 1..5
};
std::optional<GeodesicSphere> geodesicSphereOf(ProjectionId id) noexcept;

// ---- Keywords ----------------------------------------------------------------

// Rules of a keyword list: at most this many words, each non-empty, at most
// this many characters, and no word twice.
inline constexpr std::size_t kKeywordListCapacity = 19;
inline constexpr std::size_t kKeywordMaxLength = 49;

// Whether a keyword list holding `list` takes `word`.
bool keywordListAccepts(std::span<const std::string> list, std::string_view word) noexcept;

// Calls `add` with each keyword of the output, in the catalogue's order,
// before any keyword-list rule is applied (for lists kept elsewhere).
void forEachOutputKeyword(ProjectionId id, const std::function<void(std::string_view)>& add);
// Appends the output's keywords in order, each under the keyword-list rules;
// returns how many were taken.
std::size_t appendOutputKeywords(ProjectionId id, std::vector<std::string>& list);
// The output's keywords as a fresh list.
std::vector<std::string> outputKeywords(ProjectionId id);

}  // namespace globaro
