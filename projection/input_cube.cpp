// Input projections made of cube faces: one face, a tiled face, the zenith &
// nadir pair and the six-face layouts (whose faces the caller places in
// their cells, projection/input_layouts.h).

#include <algorithm>
#include <cmath>

#include "projection/input_formulas.h"

namespace globaro {

CubeFacePoint cubeFaceOf(const SphereDir& d) noexcept {
    const float ax = std::fabs(d.x);
    const float ay = std::fabs(d.y);
    const float az = std::fabs(d.z);
    enum class Axis { kX, kY, kZ };
    Axis axis = Axis::kZ;
    float sx = -1.0f;
    float sy = 1.0f;
    CubeFacePoint r;
    r.face = 0;
    if (d.z > 0.0f) {
        sy = -1.0f;
        r.face = 3;
    }
    // An x–y tie keeps x (the earlier axis) rather than falling back to z,
    // which is the smallest component there.
    if (ax > az && ax >= ay) {
        axis = Axis::kX;
        sx = 1.0f;
        sy = 1.0f;
        r.face = 1;
        if (d.x > 0.0f) {
            sy = -1.0f;
            r.face = 4;
        }
    }
    if (ay > ax && ay > az) {
        axis = Axis::kY;
        sx = 1.0f;
        sy = 1.0f;
        r.face = 2;
        if (d.y > 0.0f) {
            sx = -1.0f;
            r.face = 5;
        }
    }
    switch (axis) {
        case Axis::kZ:
            r.fu = d.x / d.z;
            r.fv = d.y / d.z;
            break;
        case Axis::kX:
            r.fu = d.z / d.x;
            r.fv = d.y / d.x;
            break;
        case Axis::kY:
            r.fu = d.x / d.y;
            r.fv = d.z / d.y;
            break;
    }
    r.fu *= sx;
    r.fv *= sy;
    return r;
}

namespace input_detail {

void lookupOneCubeFace(const InputCall& call, InputSample& out) noexcept {
    const SphereDir& d = call.d;
    if (!(d.z >= 0.3f)) {
        // Too far from the face: a miss at the corner.
        out.u = 0.0f;
        out.v = 0.0f;
        out.miss = true;
        return;
    }
    const float u = -(d.x / d.z) * 0.5f + 0.5f;
    const float v = -(d.y / d.z) * 0.5f + 0.5f;
    setHitOrMiss(out, u, v);
}

void lookupTilingCubeFace(const InputCall& call, InputSample& out) noexcept {
    const CubeFacePoint f = cubeFaceOf(call.d);
    out.regionCode = static_cast<std::uint32_t>(f.face + 1);
    setHitOrMiss(out, f.fu * 0.5f + 0.5f, f.fv * 0.5f + 0.5f);
}

void lookupZenithNadir(const InputCall& call, InputSample& out) noexcept {
    const CubeFacePoint f = cubeFaceOf(call.d);
    float u = 0.0f;
    if (f.face != 2) {
        u = f.fu * 0.25f + 0.25f;
        out.regionCode = 3;
    } else {
        u = f.fu * 0.25f + 0.75f;
        out.regionCode = 2;
    }
    const float v = f.fv * 0.5f + 0.5f;
    // Fades linearly to 0 at the image border and at the seam between the
    // two faces.
    float w = 1.0f;
    w = std::fmin(w, static_cast<float>(15.0 * v));
    w = std::fmin(w, static_cast<float>(15.0 * (1.0 - v)));
    w = std::fmin(w, static_cast<float>(30.0 * u));
    w = std::fmin(w, static_cast<float>(30.0 * (1.0 - u)));
    w = std::fmin(w, static_cast<float>(30.0 * std::fabs(0.5 - u)));
    out.weight = std::clamp(w, 0.0f, 1.0f);
    if ((f.face == 2 || f.face == 5) && inUnit(u, v)) {
        out.u = u;
        out.v = v;
        out.faceIndex = f.face;
    } else {
        setMiss(out);
    }
}

void lookupCubeLayoutFace(const InputCall& call, InputSample& out) noexcept {
    const CubeFacePoint f = cubeFaceOf(call.d);
    out.u = f.fu * 0.5f + 0.5f;
    out.v = f.fv * 0.5f + 0.5f;
    out.faceIndex = f.face;
    out.regionCode = static_cast<std::uint32_t>(f.face + 1);
}

void lookupVerticalCrossFace(const InputCall& call, InputSample& out) noexcept {
    CubeFacePoint f = cubeFaceOf(call.d);
    if (f.face == 0) {
        // The back face hangs upside down at the foot of the cross.
        f.fu = -f.fu;
        f.fv = -f.fv;
    }
    out.u = f.fu * 0.5f + 0.5f;
    out.v = f.fv * 0.5f + 0.5f;
    out.faceIndex = f.face;
    out.regionCode = static_cast<std::uint32_t>(f.face + 1);
}

}  // namespace input_detail

}  // namespace globaro
