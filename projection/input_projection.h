#pragma once
// The input projections: where a direction on the sphere is found in the
// source image. `sphereToInput` is the last step of every sample; it is
// allocation-free and safe to call from every render thread at once.

#include <cstdint>

#include "geometry/projection_id.h"
#include "geometry/vec_math.h"

namespace globaro {

struct PolyModel;  // the polyhedron model (polyhedra/), read by "soccer"

// The answer of one lookup.
struct InputSample {
    float u = -1.0f;                                // fraction of the input width (0 = left edge)
    float v = -1.0f;                                // fraction of the input height (0 = top edge)
    bool miss = false;                              // the direction is not shown in the source image
    std::int32_t faceIndex = -1;                    // cube face 0..5 of the cube-layout inputs, else −1
    std::uint32_t regionCode = kDefaultRegionCode;  // 2, 3 in the right half, face + 1, gore number
    float weight = -1.0f;                           // zenith & nadir seam weight; left alone by every other input

    static constexpr std::uint32_t kDefaultRegionCode = 2;
    static constexpr std::uint32_t kRightHalfRegionCode = 3;
};

// Input ids (the catalogue's numbering) that other code refers to by name.
inline constexpr InputProjectionId kInputEquirectangular = 1;
inline constexpr InputProjectionId kInputMollweide = 7;
inline constexpr InputProjectionId kInputZenithNadir = 26;
inline constexpr InputProjectionId kInputSoccer = 29;
inline constexpr InputProjectionId kFirstInputProjection = 1;
inline constexpr InputProjectionId kLastInputProjection = 38;

// Looks up `direction` (unit length) in a source image laid out in `input`.
// `flip` non-zero mirrors the position horizontally (the very last step, on
// hits). `aspect` is the source image's height / width. `model` is the
// polyhedron model that "soccer" reads (may be null). `sample.weight` is
// written only by the zenith & nadir input; every other field is always
// written. A miss is u = v = −1 (u = v = 0 for the one-cube-face input below
// its cut-off and for "soccer" without a face); an id outside 1..38 gives
// (0, 0) without a miss. The cube-layout inputs (27, 28, 33, 34, 35) answer
// the face index and the face-local position; `placeInCubeLayout`
// (projection/input_layouts.h) turns it into the whole-image position.
void sphereToInput(InputProjectionId input, std::int32_t flip, float aspect, const SphereDir& direction,
                   InputSample& sample, const PolyModel* model = nullptr) noexcept;

// Convenience form: a fresh sample (weight −1 unless the input writes it).
inline InputSample sphereToInput(InputProjectionId input, std::int32_t flip, float aspect, const SphereDir& direction,
                                 const PolyModel* model = nullptr) noexcept {
    InputSample s;
    sphereToInput(input, flip, aspect, direction, s, model);
    return s;
}

struct InputRow;
struct CubeInputLayout;

// An input projection resolved once per render, so that no sample looks its
// id up: its registry row (null for ids outside 1..38) and, for the
// cube-layout inputs, where their faces lie.
struct ResolvedInput {
    InputProjectionId id = 0;
    const InputRow* entry = nullptr;
    const CubeInputLayout* cubeLayout = nullptr;
    bool resolved = false;  // false: nothing resolved yet
};

ResolvedInput resolveInput(InputProjectionId input) noexcept;

// True for the ids 1..38 that have a lookup.
bool isInputProjection(InputProjectionId input) noexcept;

// Whether every direction lands inside the image of `input` with the default
// region code (so the input's side of a sample never changes its tags).
bool inputIsSeamless(InputProjectionId input) noexcept;

// Fills the one-time tables (the Mollweide table) now. The lookups fill them
// on first use under a one-time initialisation anyway; the render setup calls
// this before the workers start so that no worker waits for it.
void prepareInputTables() noexcept;

// ---- helpers shared with the output projections ---------------------------------

// The cube face of a direction: 0 is −z, 1 −x, 2 −y, 3 +z, 4 +x, 5 +y; ties
// keep the earlier axis (z before x before y, also between x and y). (fu, fv) are the face
// coordinates in −1..1.
struct CubeFacePoint {
    std::int32_t face = 0;
    float fu = 0.0f;
    float fv = 0.0f;
};
CubeFacePoint cubeFaceOf(const SphereDir& d) noexcept;

// The Mollweide auxiliary angle θ of a latitude α (radians), from the table
// with linear interpolation; it solves 2θ + sin 2θ = π·sin α.
float mollweideAngle(float alpha) noexcept;

// The Eckert IV angle of φ (polynomial fit of the solution of
// θ + sin θ·cos θ + 2 sin θ = (2 + π/2)·sin φ); φ is limited to ±π/2.
double eckertIVAngle(double phi) noexcept;

// The power warp W(d, e) shared by the Lagrange input (e = 1/2) and the
// pre-warp of some outputs (e = 2). `wedge`, when given, receives the wedge
// flag.
Vec3d powerWarp(const Vec3d& d, double e, bool* wedge = nullptr) noexcept;

}  // namespace globaro
