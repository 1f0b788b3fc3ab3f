// Input projections that are spheres, discs and cylinders: equirectangular and
// its partial views, the mirror balls, fisheyes and azimuthal discs, and the
// cylinders.

#include <cmath>

#include "geometry/angle_constants.h"
#include "projection/input_formulas.h"

namespace globaro::input_detail {

namespace {

// The disc position of an azimuthal input: radius r (1 = the disc's rim) in
// the direction of the plane angle of (x, y).
inline void discPosition(const SphereDir& d, float r, float& u, float& v) noexcept {
    const float theta = planeAngle(d.x, d.y);
    u = std::sin(theta) * 0.5f * r + 0.5f;
    v = std::cos(theta) * 0.5f * r + 0.5f;
}

// The mirror-ball or ellipsoid reflection with the stretch k (k = 1 is the
// mirror ball). At the rim direction (0, 0, −1) every rim point is the limit;
// the top of the rim is answered.
inline void reflectorPosition(const SphereDir& d, double k, InputSample& out) noexcept {
    const double zp1 = static_cast<double>(d.z) + 1.0;
    if (!(zp1 > 0.0)) {
        out.u = 0.5f;
        out.v = 0.0f;
        return;
    }
    const double m = std::sqrt(2.0 * zp1);
    if (k == 1.0) {
        out.u = static_cast<float>(1.0 - (d.x / m * 0.5 + 0.5));
        out.v = static_cast<float>(1.0 - (d.y / m * 0.5 + 0.5));
        return;
    }
    const SphereDir n = normalise(
        SphereDir{static_cast<float>(k * d.x / m), static_cast<float>(k * d.y / m), std::sqrt((d.z + 1.0f) / 2.0f)});
    out.u = 1.0f - (n.x * 0.5f + 0.5f);
    out.v = 1.0f - (n.y * 0.5f + 0.5f);
}

}  // namespace

void lookupEquirectangular(const InputCall& call, InputSample& out) noexcept {
    // The two quantities of commonQuantities that this input reads.
    out.u = 1.0f - aroundFraction(call.d.x, call.d.z);
    out.v = polarFraction(call.d.y);
}

void lookupMirrorBall(const InputCall& call, InputSample& out) noexcept { reflectorPosition(call.d, 1.0, out); }

void lookupEllipsoid(const InputCall& call, InputSample& out) noexcept {
    // "ellipsoid" (6) and "mylar" (18) differ only in the stretch.
    const double k = call.id == 18 ? 1.55 : 1.1490611;
    reflectorPosition(call.d, k, out);
}

void lookupPolar(const InputCall& call, InputSample& out) noexcept {
    const float r = std::acos(std::fmax(-1.0f, std::fmin(1.0f, call.d.z))) * kInvPiF;
    discPosition(call.d, r, out.u, out.v);
}

void lookupOrthographic(const InputCall& call, InputSample& out) noexcept {
    const SphereDir& d = call.d;
    if (d.z < 0.0f || 1.0f - d.y * d.y < 0.0f) {
        setMiss(out);
        return;
    }
    out.u = 1.0f - (d.x + 1.0f) / 2.0f;
    out.v = 1.0f - (d.y + 1.0f) / 2.0f;
}

void lookupCylindrical(const InputCall& call, InputSample& out) noexcept {
    const Common c = commonQuantities(call.d);
    const float v = static_cast<float>(std::tan(static_cast<double>(c.phi)) * 0.125 / call.aspect + 0.5);
    if (!inUnit(v)) {
        setMiss(out);
        return;
    }
    out.u = c.e;
    out.v = v;
}

void lookupCircular180(const InputCall& call, InputSample& out) noexcept {
    const float r = 2.0f * std::acos(std::fmax(-1.0f, std::fmin(1.0f, call.d.z))) * kInvPiF;
    if (!(r <= 1.0f)) {
        setMiss(out);
        return;
    }
    discPosition(call.d, r, out.u, out.v);
}

void lookupFullFrame180(const InputCall& call, InputSample& out) noexcept {
    const float a = call.aspect;
    const float r = 2.0f * std::sqrt(a * a + 1.0f) * std::acos(std::fmax(-1.0f, std::fmin(1.0f, call.d.z))) * kInvPiF;
    const float theta = planeAngle(call.d.x, call.d.y);
    const float u = std::sin(theta) * 0.5f * r + 0.5f;
    const float v = std::cos(theta) * 0.5f * r / a + 0.5f;
    setHitOrMiss(out, u, v);
}

void lookupHalfEqui(const InputCall& call, InputSample& out) noexcept {
    const Common c = commonQuantities(call.d);
    const float u = 1.0f - ((c.s - 0.5f) * 2.0f + 0.5f);
    setHitOrMiss(out, u, c.p);
}

void lookupStereographic(const InputCall& call, InputSample& out) noexcept {
    const SphereDir& d = call.d;
    if (d.z < 0.0f) {
        setMiss(out);
        return;
    }
    const float angle = std::acos(std::fmin(1.0f, d.z));
    const float r = static_cast<float>(std::tan(static_cast<double>(angle / 2.0f)) * 0.5);
    const float len = std::sqrt(d.x * d.x + d.y * d.y);
    // The centre direction has no plane direction; it sits at the centre.
    const float nx = len > 0.0f ? d.x / len : 0.0f;
    const float ny = len > 0.0f ? d.y / len : 0.0f;
    out.u = 0.5f - r * nx;
    out.v = 0.5f - r * ny;
}

void lookupQuarterEqui(const InputCall& call, InputSample& out) noexcept {
    const Common c = commonQuantities(call.d);
    const double t = ((static_cast<double>(c.s) - 0.5) + 0.041666666666666664) * 4.0;
    const float u = static_cast<float>(1.0 - (t + 0.5));
    setHitOrMiss(out, u, c.p);
}

void lookupMercator(const InputCall& call, InputSample& out) noexcept {
    const Common c = commonQuantities(call.d);
    const double t = std::tan(static_cast<double>(c.phi));
    const float v = static_cast<float>(std::log(std::sqrt(t * t + 1.0) + t) / (call.aspect * (2.0f * kPiF)) + 0.5);
    if (!inUnit(v)) {
        setMiss(out);
        return;
    }
    out.u = c.e;
    out.v = v;
}

void lookupEqualAreaCylinder(const InputCall& call, InputSample& out) noexcept {
    const Common c = commonQuantities(call.d);
    out.u = c.e;
    out.v = static_cast<float>(std::sin((static_cast<double>(c.p) - 0.5) * kPiNineDecimals) * 0.5 + 0.5);
}

void lookupSpinner(const InputCall& call, InputSample& out) noexcept {
    const SphereDir& d = call.d;
    const float s = aroundFraction(d.x, d.z);
    float around = s;
    if (call.id == 32) {
        // The width is guessed from the aspect.
        around = static_cast<float>((s - 0.5f) * (call.aspect / 0.222563115884176) + 0.5);
    }
    const float u = 1.0f - around;
    float rho = std::sqrt(d.x * d.x + d.z * d.z);
    if (rho == 0.0f) rho = 1e-8f;
    const float v = static_cast<float>(-(d.y / rho) * 1.430781245109842 * 0.5 + 0.5);
    setHitOrMiss(out, u, v);
}

}  // namespace globaro::input_detail
