#pragma once
// The fixed solids: one registry row per kind with its face count, flags and
// the maker of its static tables. Tables are made once, on first use, from
// the standard constructions of each solid, and then never change.

#include <cstdint>

#include "polyhedra/poly_model.h"
#include "polyhedra/solid_mesh.h"

namespace globaro {

struct FixedSolidInfo {
    PolyKind kind;
    const char* name;  // the solid
    std::int32_t faceCount;
    bool mirrorXY;
    std::int32_t referenceFace;  // -1 for the face with the most corners
    bool phaseB;
    bool noCornerMarks;
    bool hasCircumsphere;  // all vertices on one sphere about the centre
    bool convex;
};

// The registry row of a fixed kind with tables, or null.
const FixedSolidInfo* fixedSolidInfo(PolyKind kind) noexcept;

// The kinds of the registry, in order; `count` receives their number.
const PolyKind* fixedSolidKinds(int& count) noexcept;

// The static tables of a fixed kind (built on first use; call from the
// preparing thread), or null for kinds without tables.
const SolidTables* fixedSolidTables(PolyKind kind);

// The solid of a fixed kind in its table coordinates (faces anticlockwise
// from outside), for checks and for generators that start from one.
SolidMesh fixedSolidMesh(PolyKind kind);

}  // namespace globaro
