#pragma once
// The sphere frame: how the user's orientation becomes a rotation, the
// half-angle fold, the normalised output position of a pixel, the field-of-view
// constants and the equirectangular pair of the polyhedron model.
//
// Axes: +z is the centre of an equirectangular input (latitude 0, longitude
// 0), +y the north pole, +x a quarter turn to the left of the centre. For a
// latitude φ (north positive) and a longitude λ (east, rightwards in the
// image, positive) the direction is (−cos φ·sin λ, sin φ, cos φ·cos λ).

#include <cstdint>

#include "geometry/projection_id.h"
#include "geometry/vec_math.h"

namespace globaro {

// ---- rotation --------------------------------------------------------------------

// The rotation of a render: the three partial rotations, the spin axis, the
// angles in radians and the product matrix M that is applied as Mᵀ·d.
struct RotationRecord {
    Mat3 latitudeMatrix;   // R1: about x by the latitude
    Mat3 longitudeMatrix;  // R2: about y by the longitude
    Mat3 spinMatrix;       // R3: about the carried z axis by the spin
    SphereDir spinAxis{0.0f, 0.0f, 1.0f};
    float latitude = 0.0f;   // radians
    float longitude = 0.0f;  // radians
    float spin = 0.0f;       // radians
    Mat3 product;            // M = R1·R2·R3
    bool identity = true;    // M is the identity: the rotation turns nothing
};

// The right-handed rotation by `angle` about the unit `axis`, built from the
// quaternion (axis·sin(angle/2), cos(angle/2)) in double and stored as float.
Mat3 axisRotation(const Vec3d& axis, double angle) noexcept;

// The rotation for angles already in radians.
RotationRecord rotationFromRadians(float longitude, float latitude, float spin) noexcept;

// The rotation for the user's angles in degrees. Applying it turns the view:
// spin about the view axis first, then latitude, then longitude; latitude +90
// carries the output centre (0, 0, 1) to the north pole (0, 1, 0).
RotationRecord rotationFromAngles(float longitudeDeg, float latitudeDeg, float spinDeg) noexcept;

// The fixed tilted rotation the tiling outputs apply to their directions
// (latitude −0.8650501, longitude 1.1684928, spin −0.7012425 radians).
RotationRecord tiltedRotation() noexcept;

// d' = Mᵀ·d with M the product matrix.
inline SphereDir rotate(const RotationRecord& r, const SphereDir& d) noexcept { return applyTransposed(r.product, d); }

// ---- half-angle fold ---------------------------------------------------------------

// Half-angle fold modes of a render.
enum HalfAngleFoldMode : std::int32_t {
    kFoldOff = 0,
    kFoldBeforeRotation = 1,  // what the anamorphosis setting selects by default
    kFoldAfterRotation = 2,   // the gore-like outputs listed in foldsAfterRotation
    kFoldByModel = 3,         // the polyhedron model folds; the per-sample fold is skipped
};

// The bisector of d and (0, 0, 1): the angle from +z is halved, so the whole
// sphere lands on the hemisphere around +z. (0, 0, −1) folds to (0, 0, 1).
inline SphereDir halfAngleFold(const SphereDir& d) noexcept {
    return normalise(SphereDir{d.x / 2.0f, d.y / 2.0f, d.z / 2.0f + 0.5f});
}

// True for the outputs that fold after the rotation when anamorphosis is on
// (36, 37, 38, 53, 61, 63, 73, 74, 288, 300, 301 and 1044).
bool foldsAfterRotation(ProjectionId output) noexcept;

// The per-sample fold mode for an output: kFoldOff without anamorphosis,
// otherwise kFoldAfterRotation for the outputs above and kFoldBeforeRotation
// for the rest. (Outputs drawn by the polyhedron model are switched to
// kFoldByModel by the render setup.)
std::int32_t halfAngleFoldModeFor(ProjectionId output, bool anamorphosis) noexcept;

// ---- normalised output position ---------------------------------------------------

// The output image's size with the ratios kept beside it, computed once when
// the size is set.
struct OutputImageRecord {
    std::int32_t width = 1;
    std::int32_t height = 1;
    float heightOverWidth = 1.0f;  // H/W
    float widthOverHeight = 1.0f;  // W/H
    float halfOverWidth = 0.5f;    // 0.5/W
    float halfOverHeight = 0.5f;   // 0.5/H
};

// Sets the size and its ratios. Sizes below 1 are raised to 1.
OutputImageRecord makeOutputImageRecord(std::int32_t width, std::int32_t height) noexcept;

// The fractions (a, b) handed to the output mapping and the centred
// coordinates (c, d) in which the shorter image side spans −0.5..0.5.
struct OutputPosition {
    float a = 0.0f;
    float b = 0.0f;
    float c = 0.0f;
    float d = 0.0f;
};

// Pixel (x, y), sub-sample scale s and offsets (ox, oy) → normalised position.
// Inline: every sample of a render starts here.
inline OutputPosition normalisedOutputPosition(float x, float y, float s, float ox, float oy,
                                               const OutputImageRecord& image) noexcept {
    const float px = x * s + ox + 0.5f;
    const float py = y * s + oy + 0.5f;
    OutputPosition p;
    p.a = (2.0f * px + 1.0f) * image.halfOverWidth;
    p.b = (2.0f * py + 1.0f) * image.halfOverHeight;
    float kx = 1.0f;
    float ky = 1.0f;
    if (image.width > image.height) {
        kx = image.widthOverHeight;
    } else if (image.height > image.width) {
        ky = image.heightOverWidth;
    }
    p.c = (p.a - 0.5f) * kx;
    p.d = (p.b - 0.5f) * ky;
    return p;
}

// ---- field of view ------------------------------------------------------------------

struct FieldOfViewConstants {
    float wideTan = 0.0f;    // 2·tan(min(fov/180, 0.999)·π/2)
    float narrowTan = 0.0f;  // 2·tan(min(fov/360, 0.999)·π/2)
};

FieldOfViewConstants fieldOfViewConstants(float fovDeg) noexcept;

// ---- equirectangular pair of the polyhedron model -----------------------------------
// The mirror image in x of the sampling convention of the input projections;
// self-consistent, and what the model's textures are built with.

// Direction → (u, v): u = (atan2(x, z) + π)/(2π), v = acos(y)/π; a u above 1
// wraps (exactly 1 stays 1).
Vec2d modelEquirectFromDirection(const Vec3d& d) noexcept;

// (u, v) → direction.
Vec3d modelDirectionFromEquirect(double u, double v) noexcept;

}  // namespace globaro
