// Input projections that are world maps: Mollweide, Robinson, Nicolosi,
// Lagrange, Winkel tripel, Hammer, Ortelius, Strebe 1995 and Eckert IV, with
// the Mollweide table, the Eckert IV angle and the power warp they use.

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "geometry/angle_constants.h"
#include "projection/input_formulas.h"
#include "projection/world_map_solvers.h"

namespace globaro {

namespace {

constexpr int kMollweideSize = 400;

// θ for the latitudes φi = i·π/399, i = 0..399.
struct MollweideTable {
    std::array<float, kMollweideSize> theta{};
};

MollweideTable buildMollweideTable() noexcept {
    MollweideTable table;
    for (int i = 0; i < kMollweideSize; ++i) {
        const float phi = static_cast<float>(i) * std::numbers::pi_v<float> / 399.0f;
        const float target = static_cast<float>(std::numbers::pi_v<float> * std::sin(static_cast<double>(phi)));
        // Newton's method on x + sin x = π·sin φ, x = 2θ.
        float x = phi / 2.0f;
        for (int iteration = 0; iteration < 100; ++iteration) {
            const float step = (std::sin(x) + x - target) / (std::cos(x) + 1.0f);
            if (!std::isfinite(step)) break;
            x -= step;
            if (std::fabs(step) <= 0.0001f) break;
        }
        table.theta[static_cast<std::size_t>(i)] = x / 2.0f;
    }
    return table;
}

// Filled once per process, under the one-time initialisation of a
// function-local static, before any lookup reads it.
const MollweideTable& mollweideTable() noexcept {
    static const MollweideTable table = buildMollweideTable();
    return table;
}

}  // namespace

void prepareInputTables() noexcept { (void)mollweideTable(); }

float mollweideAngle(float alpha) noexcept {
    const auto& t = mollweideTable().theta;
    float pos = std::fabs(alpha) * input_detail::kInvPiF * 399.0f;
    if (!(pos >= 0.0f)) pos = 0.0f;
    if (pos > 399.0f) pos = 399.0f;
    const int i = std::clamp(static_cast<int>(std::floor(pos)), 0, kMollweideSize - 1);
    const int j = std::clamp(i + 1, 0, kMollweideSize - 1);
    const float ti = t[static_cast<std::size_t>(i)];
    const float tj = t[static_cast<std::size_t>(j)];
    const float theta = ti + (tj - ti) * (pos - static_cast<float>(i));
    return alpha < 0.0f ? -theta : theta;
}

double eckertIVAngle(double phi) noexcept {
    constexpr double kHalfPi = std::numbers::pi / 2.0;
    if (phi >= kHalfPi) return kHalfPi;
    if (phi <= -kHalfPi) return -kHalfPi;
    const double t = std::fabs(phi);
    const double t2 = t * t;
    const double t3 = t2 * t;
    const double t4 = t3 * t;
    const double t5 = t4 * t;
    const double t6 = t5 * t;
    const double t7 = t6 * t;
    const double theta = 0.8934362104785959 * t - 1.165815625026194e-5 - 0.008410082040164208 * t2 +
                         0.06638464955345642 * t3 - 0.08055751819285085 * t4 + 0.09450827197462021 * t5 -
                         0.05212386506734163 * t6 + 0.012734164757160563 * t7;
    return phi < 0.0 ? -theta : theta;
}

Vec3d powerWarp(const Vec3d& d, double e, bool* wedge) noexcept {
    // Turn.
    double x = d.x;
    double y = d.z;
    double z = -d.y;
    // Fold the southern half over.
    double s = 1.0;
    if (z < 0.0) {
        s = -1.0;
        z = -z;
    }
    // Stereographic coordinate, turned by i.
    Complex w{0.0, 0.0};
    if (z + 1.0 > 0.0) w = Complex{-x / (z + 1.0), -y / (z + 1.0)};
    w = Complex{-w.im, w.re};
    if (wedge != nullptr) {
        const double a = planeAngle(w.re, w.im) / (2.0 * std::numbers::pi) + 0.75;
        *wedge = std::fabs((a - std::floor(a) - 0.5) * 2.0 * e) > 1.0;
    }
    // The square, the common case, exactly and without logarithms.
    w = e == 2.0 ? Complex{w.re * w.re - w.im * w.im, 2.0 * w.re * w.im} : complexPow(w, e);
    // Back to the sphere.
    const double t = w.re * w.re + w.im * w.im;
    x = -2.0 * w.re / (1.0 + t);
    y = -2.0 * w.im / (1.0 + t);
    z = -(t - 1.0) / (t + 1.0);
    // Untwist.
    return {y, -s * z, -x};
}

namespace input_detail {

void lookupMollweide(const InputCall& call, InputSample& out) noexcept {
    const Common c = commonQuantities(call.d);
    const float theta = mollweideAngle(c.phi);
    const float lambda = (c.s - 0.5f) * 2.0f * kPiF;
    const float x = std::cos(theta) * lambda / kPiF;
    out.v = (std::sin(theta) + 1.0f) * 0.5f;
    out.u = 1.0f - (x + 1.0f) * 0.5f;
}

void lookupRobinson(const InputCall& call, InputSample& out) noexcept {
    const Common c = commonQuantities(call.d);
    const float x0 = (c.e - 0.5f) * 2.0f;
    const float yn = (c.p - 0.5f) * 2.0f;
    if (!(std::fabs(yn) <= 1.0f)) {
        setMiss(out);
        return;
    }
    // The published table, shared with the Robinson output.
    const float y = robinsonHeight(yn);
    const float x = x0 * robinsonParallelLength(yn);
    if (!(x >= -1.0f && x <= 1.0f)) {
        setMiss(out);
        return;
    }
    out.u = x * 0.5f + 0.5f;
    out.v = y * 0.5f + 0.5f;
}

void lookupNicolosi(const InputCall& call, InputSample& out) noexcept {
    const Common c = commonQuantities(call.d);
    if (c.s < 0.25f || c.s > 0.75f) {
        setMiss(out);
        return;
    }
    float l = (c.s - 0.5f) * (2.0f * kPiF);
    const float phi = (c.p - 0.5f) * kPiF;
    bool mirrored = false;
    if (l < 0.0f) {
        mirrored = true;
        l = -l;
    }
    // Near the central meridian the arcs are evaluated at 0.01 and scaled.
    bool nearCentre = false;
    float l0 = l;
    if (std::fabs(l) < 0.01f) {
        nearCentre = true;
        l0 = l;
        l = std::copysign(0.01f, l);
    }
    const float q = 2.0f * l / kPiF;
    if (std::fabs(q) < 0.0001f) {
        setMiss(out);
        return;
    }
    // The meridian is the circle through both poles and (q, 0); its centre
    // lies at (m, 0).
    const float m = q / 2.0f - 1.0f / (2.0f * q);
    const SphereDir a = normaliseUnguarded(SphereDir{-m, -1.0f, 0.0f});
    const SphereDir b = normaliseUnguarded(SphereDir{q - m, 0.0f, 0.0f});
    const float omega = std::acos(std::fmax(-1.0f, std::fmin(1.0f, dot(a, b))));
    const float r = std::fabs(m - q);
    const float t = omega * phi * 2.0f / kPiF;
    const float x = std::cos(t) * r + m;
    const float y = std::sin(t) * r;
    float u = 1.0f - (x * 0.5f + 0.5f);
    const float v = y * 0.5f + 0.5f;
    if (nearCentre) u = (std::fabs(l0) / 0.01f) * (u - 0.5f) + 0.5f;
    if (mirrored) u = 1.0f - u;
    out.u = u;
    out.v = v;
}

void lookupLagrange(const InputCall& call, InputSample& out) noexcept {
    const Vec3d w = powerWarp(toVec3d(call.d), 0.5);
    double x = 0.0;
    double y = 0.0;
    if (w.z + 1.0 > 0.0) {
        x = -w.x / (w.z + 1.0);
        y = -w.y / (w.z + 1.0);
    }
    out.u = static_cast<float>(x * 0.5 + 0.5);
    out.v = static_cast<float>(y * 0.5 + 0.5);
}

void lookupWinkelTripel(const InputCall& call, InputSample& out) noexcept {
    using std::numbers::pi;
    const Common c = commonQuantities(call.d);
    const double lambda = (static_cast<double>(c.s) - 0.5) * 2.0 * pi;
    const double phi = (static_cast<double>(c.p) - 0.5) * pi;
    const double alpha = std::acos(std::clamp(std::cos(lambda / 2.0) * std::cos(phi), -1.0, 1.0));
    const double sinc = alpha == 0.0 ? 1.0 : alpha / std::sin(alpha);
    const double x = (std::sin(lambda / 2.0) * 2.0 * sinc * std::cos(phi) + lambda * 0.6366197723675814) / 2.0;
    const double y = (std::sin(phi) * sinc + phi) / 2.0;
    out.v = static_cast<float>((y / (std::numbers::pi / 2.0)) * 0.5 + 0.5);
    out.u = static_cast<float>(0.5 - x / 2.570796326312263 * 0.5);
}

void lookupHammer(const InputCall& call, InputSample& out) noexcept {
    const Common c = commonQuantities(call.d);
    const double phi = (static_cast<double>(c.p) - 0.5) * kPiNineDecimals;
    const double lambda = (static_cast<double>(c.s) - 0.5) * kTwoPiNineDecimals;
    const float d = static_cast<float>(std::sqrt(std::cos(lambda / 2.0) * std::cos(phi) + 1.0));
    if (d != 0.0f) {
        out.v = static_cast<float>(std::sin(phi) / d * 0.5 + 0.5);
        out.u = static_cast<float>(0.5 - std::sin(lambda / 2.0) * std::cos(phi) / d * 0.5);
    } else {
        out.v = phi < 0.0 ? 0.0f : 1.0f;
        out.u = 0.5f;
    }
}

void lookupOrtelius(const InputCall& call, InputSample& out) noexcept {
    constexpr double kQuarterPiSquared = 2.46740110027234;  // π²/4
    const Common c = commonQuantities(call.d);
    out.v = c.p;
    const float lambda = static_cast<float>((static_cast<double>(c.s) - 0.5) * kFloatTwoPiWidened);
    const float sigma = lambda < 0.0f ? -1.0f : 1.0f;
    const float l = std::fabs(lambda);
    if (l == 0.0f) {
        out.u = 0.5f;
        return;
    }
    const float phi = static_cast<float>((static_cast<double>(c.p) - 0.5) * kFloatPiWidened);
    float f = 0.0f;
    float w = 0.0f;
    if (l >= kPiF / 2.0f) {
        f = kPiF / 2.0f;
        w = static_cast<float>(std::sqrt(std::fmax(0.0, kQuarterPiSquared - static_cast<double>(phi) * phi)));
    } else {
        f = static_cast<float>((kQuarterPiSquared / l + l) * 0.5);
        w = std::sqrt(std::fmax(0.0f, f * f - phi * phi));
    }
    const float x = sigma * (w + l - f) * (kInvPiF / 2.0f);
    out.u = 0.5f - x;
}

void lookupStrebe1995(const InputCall& call, InputSample& out) noexcept {
    using std::numbers::pi;
    const Common c = commonQuantities(call.d);
    const double lambda = (static_cast<double>(c.s) - 0.5) * 2.0 * pi;
    const double phi = (static_cast<double>(c.p) - 0.5) * pi;
    const double theta = eckertIVAngle(phi);
    const double a = std::sin(theta) * 1.3265004281770023 / 1.35;
    const double b = std::sqrt(2.0 - a * a);
    const double x2 = (std::cos(theta) + 1.0) * (lambda * 2.7) / 4.736662856426298 * (std::numbers::pi / 4.0) / b;
    const double cc = (std::asin(a * std::numbers::sqrt2 * 0.5) * 2.0 + b * a) * std::numbers::inv_pi;
    const double dd = std::sqrt(std::fmax(0.0, 1.0 - cc * cc));
    const double h = std::sqrt(2.0 / (std::cos(x2) * dd + 1.0));
    const double x = std::sin(x2) * (h * 2.0 / 1.35 * dd);
    const double y = h * 1.35 * cc;
    const double xs = x / 2.484446397593003;
    const double ys = y / 1.564091933;
    out.u = static_cast<float>(1.0 - (xs * 0.5 + 0.5));
    out.v = static_cast<float>(ys * 0.5 + 0.5);
}

void lookupEckertIV(const InputCall& call, InputSample& out) noexcept {
    using std::numbers::pi;
    const Common c = commonQuantities(call.d);
    const double lambda = (static_cast<double>(c.s) - 0.5) * 2.0 * pi;
    const double phi = (static_cast<double>(c.p) - 0.5) * pi;
    const double theta = eckertIVAngle(phi);
    const double x = (std::cos(theta) + 1.0) * lambda * 0.4222382003157712;
    const double y = std::sin(theta) * 1.3265004281770023;
    const double xs = x / 2.6530008563540046;
    const double ys = y / 1.3265004281770023;
    out.u = static_cast<float>(1.0 - (xs * 0.5 + 0.5));
    out.v = static_cast<float>(ys * 0.5 + 0.5);
}

}  // namespace input_detail

}  // namespace globaro
