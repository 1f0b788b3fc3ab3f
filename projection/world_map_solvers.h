#pragma once
// The world-map projections solved by Newton's method, as separate forward
// and inverse operations, and the inverse Robinson latitude. The inverse
// operations take a plane point in the map's own units (X positive to the
// right, Y positive downwards) and answer longitude λ (positive to the right)
// and latitude φ (positive downwards) in radians. Pure, allocation-free and
// safe to call from any thread.

#include <cstdint>
#include <string_view>

#include "geometry/projection_id.h"

namespace globaro {

struct MapPoint {
    double x = 0.0;
    double y = 0.0;
};

struct LonLat {
    double lambda = 0.0;
    double phi = 0.0;
    bool ok = false;         // inside the outline and in range
    std::int32_t steps = 0;  // Newton steps used
};

// Forward equations.
MapPoint winkelTripelForward(double lambda, double phi) noexcept;
MapPoint naturalEarthForward(double lambda, double phi) noexcept;
MapPoint cantersForward(double lambda, double phi) noexcept;
MapPoint ginzburg8Forward(double lambda, double phi) noexcept;
MapPoint laskowskiForward(double lambda, double phi) noexcept;
MapPoint larriveeForward(double lambda, double phi) noexcept;

// Inverses (the outline tests, the iteration and the range tests).
LonLat winkelTripelInverse(double x, double y) noexcept;
LonLat naturalEarthInverse(double x, double y) noexcept;
LonLat cantersInverse(double x, double y) noexcept;
LonLat ginzburg8Inverse(double x, double y) noexcept;
LonLat laskowskiInverse(double x, double y) noexcept;
LonLat larriveeInverse(double x, double y) noexcept;

// Half-extents (Xmax, Ymax) of the maps above.
inline constexpr MapPoint kWinkelTripelExtent{2.570796326312263, 1.5707963267948966};
inline constexpr MapPoint kNaturalEarthExtent{2.73538, 1.42239};
inline constexpr MapPoint kCantersExtent{2.92325, 1.70905};
inline constexpr MapPoint kGinzburg8Extent{2.44172, 1.89378};
inline constexpr MapPoint kLaskowskiExtent{3.064731, 1.783395};
inline constexpr MapPoint kLarriveeExtent{3.141592653, 2.5648};

// The Robinson table: the length of the parallel (X) and the height (Y, a
// fraction of the pole's) at the signed latitude fraction φn (1 = the pole),
// linear between the 5° rows.
float robinsonParallelLength(float phiN) noexcept;
float robinsonHeight(float phiN) noexcept;
// φn of a signed height fraction y (the inverse of robinsonHeight), from the
// 400-entry table filled once per process.
float robinsonInverseLatitude(float y) noexcept;

// Fills the one-time tables of the world-map outputs now (the inverse
// Robinson table), so that no worker waits for them.
void prepareOutputTables() noexcept;

}  // namespace globaro
