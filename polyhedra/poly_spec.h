#pragma once
// Which polyhedron model an output projection uses. Pure data and lookups;
// the model itself is built elsewhere.

#include <cstdint>

#include "geometry/projection_id.h"

namespace globaro {

// Which solid or generated family a polyhedron model holds; -1 for none.
using PolyKind = std::int32_t;
inline constexpr PolyKind kNoPolyKind = -1;

// Where `preparePolyModel` takes the build mode, param and angle from.
enum PolySpecSource : std::uint32_t {
    kPolySourceCaller = 0,      // mode, param and angle all from the caller
    kPolySourceRecord = 1,      // mode, param and angle all from the PolySpec
    kPolySourceRecordAngle = 2  // mode and param from the caller, angle from the PolySpec
};

// The polyhedron model of one output projection (a field of its registry row).
struct PolySpec {
    PolyKind kind = kNoPolyKind;  // -1 when the projection is not polyhedral
    std::uint32_t mode = 0;       // build mode the family asks for
    std::uint32_t param = 0;      // family parameter
    float angle = 0.0f;           // net rotation in radians
    std::uint32_t source = kPolySourceCaller;

    friend constexpr bool operator==(const PolySpec&, const PolySpec&) = default;
};
static_assert(sizeof(PolySpec) == 20, "PolySpec is a 20-byte record");

// The model for an output projection, read off the output's row of the
// registry (projection/registry.cpp); kind -1 (and zeros) for every id
// without a model, including 1045 (callers replace it by the inner
// projection first).
PolySpec polySpecFor(ProjectionId id) noexcept;

// True when `polySpecFor(id)` names a model.
bool isPolyhedral(ProjectionId id) noexcept;

// How a kind's model comes about, as far as the catalogue's attribute
// predicates care. Generated kinds are built by a generator and unfolded;
// fixed kinds come from static solid tables.
enum class PolyShapeClass : std::uint8_t {
    kNone,           // -1 or a kind no model knows
    kFixedSolid,     // static solid tables
    kGenerated,      // generated solid (rinds, tattoos, thirtysphere, late families ...)
    kGeodesic,       // 88..109: subdivided base solids
    kSphericon,      // 110..158: sphericons (and the quatretat)
    kVoronoi,        // Voronoi-cell curve shapes: 159..169 and 303
    kCurvedOrigami,  // 170..195: the box families
    kCurveBase,      // 196..215 and 236..269: curve families that strip nets are built from
    kStripNet,       // 216..235 and 270..302: strip nets built from a curve base
};

PolyShapeClass polyShapeClassOf(PolyKind kind) noexcept;

// True for kinds built by a generator (owned tables), false for fixed solids
// and unknown kinds.
bool isGeneratedPolyKind(PolyKind kind) noexcept;

// The shape class of an output projection's model (kNone when not polyhedral).
inline PolyShapeClass polyShapeClassFor(ProjectionId id) noexcept { return polyShapeClassOf(polySpecFor(id).kind); }

}  // namespace globaro
