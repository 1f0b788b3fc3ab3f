#pragma once
// Internal to the input projections: the per-family lookup routines that the
// input rows of the registry (projection/registry.h) name, and the quantities
// they share.

#include <cmath>
#include <numbers>

#include "geometry/angle_constants.h"
#include "geometry/fast_math.h"
#include "projection/input_projection.h"
#include "projection/output_row.h"

namespace globaro::input_detail {

// What one lookup routine receives.
struct InputCall {
    InputProjectionId id = 0;
    float aspect = 1.0f;  // source height / width
    SphereDir d;
    const PolyModel* model = nullptr;
};

// The quantities most inputs start from.
struct Common {
    float p = 0.0f;       // polar fraction: 0 at the north pole, 1 at the south pole
    float s = 0.0f;       // 0..1 around the sphere, (atan2(x, z) + π)/(2π)
    float e = 0.0f;       // 1 − s, the equirectangular horizontal fraction
    float phi = 0.0f;     // latitude, positive towards the south
    float lambda = 0.0f;  // longitude, positive towards the left of the image
};

inline constexpr float kPiF = std::numbers::pi_v<float>;
inline constexpr float kInvPiF = std::numbers::inv_pi_v<float>;

// p = acos(y)/π, 0 when y is not a number. y is limited to [−1, 1] first so
// that a rounding overshoot at the south pole stays at the south pole.
inline float polarFraction(float y) noexcept {
    float c = y;
    if (c > 1.0f) c = 1.0f;
    if (c < -1.0f) c = -1.0f;
    const float p = static_cast<float>(fast_math::acos(c)) * kInvPiF;
    return std::isnan(p) ? 0.0f : p;
}

// s = (atan2(x, z) + π)/(2π), atan2 in double on the float components.
inline float aroundFraction(float x, float z) noexcept {
    return static_cast<float>((fast_math::atan2(static_cast<double>(x), static_cast<double>(z)) + kFloatPiWidened) *
                              kFloatInvTwoPiWidened);
}

inline Common commonQuantities(const SphereDir& d) noexcept {
    Common c;
    c.p = polarFraction(d.y);
    c.s = aroundFraction(d.x, d.z);
    c.e = 1.0f - c.s;
    c.phi = (c.p - 0.5f) * kPiF;
    c.lambda = (c.s - 0.5f) * 2.0f * kPiF;
    return c;
}

// True when f lies in [0, 1] (false for values that are not numbers).
inline bool inUnit(float f) noexcept { return f >= 0.0f && f <= 1.0f; }
inline bool inUnit(float u, float v) noexcept { return inUnit(u) && inUnit(v); }

inline void setMiss(InputSample& out) noexcept {
    out.u = -1.0f;
    out.v = -1.0f;
    out.miss = true;
    out.faceIndex = -1;
}

// Sets (u, v), or a miss when either lies outside [0, 1].
inline void setHitOrMiss(InputSample& out, float u, float v) noexcept {
    if (inUnit(u, v)) {
        out.u = u;
        out.v = v;
    } else {
        setMiss(out);
    }
}

// The lookup of `sphereToInput` through an already resolved row (null: not
// an input projection). Inline so that the output mapping's per-sample path
// calls the input's routine directly.
inline void lookUpInput(const InputRow* entry, std::int32_t flip, float aspect, const SphereDir& direction,
                        InputSample& sample, const PolyModel* model) noexcept {
    sample.miss = false;
    sample.faceIndex = -1;
    sample.regionCode = InputSample::kDefaultRegionCode;
    if (entry == nullptr) {
        // Not an input projection: the top-left corner, accepted by the caller.
        sample.u = 0.0f;
        sample.v = 0.0f;
        return;
    }
    sample.u = -1.0f;
    sample.v = -1.0f;
    if (!std::isfinite(direction.x) || !std::isfinite(direction.y) || !std::isfinite(direction.z)) {
        // No direction at all: nothing of the source is shown there.
        sample.miss = true;
        return;
    }
    const InputCall call{entry->id, aspect, direction, model};
    entry->lookup(call, sample);

    if (entry->rightHalfRule && sample.u > 0.5f) sample.regionCode = InputSample::kRightHalfRegionCode;
    // The mirror is the very last step; a miss keeps its marker position.
    if (flip != 0 && !sample.miss) sample.u = 1.0f - sample.u;
}

// Spheres, discs and cylinders (input_basic.cpp).
void lookupEquirectangular(const InputCall&, InputSample&) noexcept;
void lookupMirrorBall(const InputCall&, InputSample&) noexcept;
void lookupPolar(const InputCall&, InputSample&) noexcept;
void lookupOrthographic(const InputCall&, InputSample&) noexcept;
void lookupCylindrical(const InputCall&, InputSample&) noexcept;
void lookupEllipsoid(const InputCall&, InputSample&) noexcept;
void lookupCircular180(const InputCall&, InputSample&) noexcept;
void lookupFullFrame180(const InputCall&, InputSample&) noexcept;
void lookupHalfEqui(const InputCall&, InputSample&) noexcept;
void lookupStereographic(const InputCall&, InputSample&) noexcept;
void lookupQuarterEqui(const InputCall&, InputSample&) noexcept;
void lookupMercator(const InputCall&, InputSample&) noexcept;
void lookupEqualAreaCylinder(const InputCall&, InputSample&) noexcept;
void lookupSpinner(const InputCall&, InputSample&) noexcept;

// World maps (input_world_maps.cpp).
void lookupMollweide(const InputCall&, InputSample&) noexcept;
void lookupNicolosi(const InputCall&, InputSample&) noexcept;
void lookupRobinson(const InputCall&, InputSample&) noexcept;
void lookupLagrange(const InputCall&, InputSample&) noexcept;
void lookupWinkelTripel(const InputCall&, InputSample&) noexcept;
void lookupHammer(const InputCall&, InputSample&) noexcept;
void lookupOrtelius(const InputCall&, InputSample&) noexcept;
void lookupStrebe1995(const InputCall&, InputSample&) noexcept;
void lookupEckertIV(const InputCall&, InputSample&) noexcept;

// Cube faces and layouts (input_cube.cpp).
void lookupOneCubeFace(const InputCall&, InputSample&) noexcept;
void lookupTilingCubeFace(const InputCall&, InputSample&) noexcept;
void lookupZenithNadir(const InputCall&, InputSample&) noexcept;
void lookupCubeLayoutFace(const InputCall&, InputSample&) noexcept;
void lookupVerticalCrossFace(const InputCall&, InputSample&) noexcept;

// Polyconic gores (input_gores.cpp).
void lookupGores(const InputCall&, InputSample&) noexcept;

// Polyhedral nets (input_polyhedral.cpp).
void lookupSoccer(const InputCall&, InputSample&) noexcept;

}  // namespace globaro::input_detail
