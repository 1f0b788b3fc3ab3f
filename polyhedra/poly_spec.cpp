// The classes of the model kinds.

#include "polyhedra/poly_spec.h"

#include <algorithm>

namespace globaro {
namespace {

struct KindRange {
    PolyKind first;
    PolyKind last;
    PolyShapeClass shapeClass;
};

// Every kind a model can hold, by contiguous ranges. Kinds not listed
// (14, 15, 46, 47 and beyond 310) are unknown.
constexpr KindRange kKindRanges[] = {
    {0, 13, PolyShapeClass::kFixedSolid},       {16, 24, PolyShapeClass::kFixedSolid},
    {25, 27, PolyShapeClass::kGenerated},  // rinds
    {28, 45, PolyShapeClass::kFixedSolid},      {48, 49, PolyShapeClass::kFixedSolid},
    {50, 52, PolyShapeClass::kGenerated},       {53, 76, PolyShapeClass::kFixedSolid},
    {77, 78, PolyShapeClass::kGenerated},   // tattoos
    {79, 79, PolyShapeClass::kFixedSolid},  // vertical cross
    {80, 86, PolyShapeClass::kGenerated},   // thirtysphere, hexecontahedra, devtet, conictet ...
    {87, 87, PolyShapeClass::kFixedSolid},      {88, 109, PolyShapeClass::kGeodesic},
    {110, 158, PolyShapeClass::kSphericon},     {159, 169, PolyShapeClass::kVoronoi},
    {170, 195, PolyShapeClass::kCurvedOrigami}, {196, 215, PolyShapeClass::kCurveBase},
    {216, 235, PolyShapeClass::kStripNet},                                              // built from 196..215
    {236, 269, PolyShapeClass::kCurveBase},     {270, 302, PolyShapeClass::kStripNet},  // built from 236..268
    {303, 303, PolyShapeClass::kVoronoi},                                               // built from 269
    {304, 310, PolyShapeClass::kGenerated},                                             // late families
};

}  // namespace

PolyShapeClass polyShapeClassOf(PolyKind kind) noexcept {
    for (const KindRange& r : kKindRanges) {
        if (kind >= r.first && kind <= r.last) return r.shapeClass;
    }
    return PolyShapeClass::kNone;
}

bool isGeneratedPolyKind(PolyKind kind) noexcept {
    const PolyShapeClass c = polyShapeClassOf(kind);
    return c != PolyShapeClass::kNone && c != PolyShapeClass::kFixedSolid;
}

}  // namespace globaro
