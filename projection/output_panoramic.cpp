// Panoramic views: fisheyes for the dome and the screen, views laid out in
// panels and arrays of windows; and the quatrefoil, the orthoapsidal map of a
// four-lobed solid of revolution.
//
// Pure functions of the call, safe from every thread.

#include <algorithm>
#include <cmath>

#include "projection/output_formulas.h"

namespace globaro {

namespace output_detail {

namespace {

constexpr double kDeg = kPi / 180.0;

// ---- the quatrefoil -------------------------------------------------------------------------

// The solid whose meridian section is the quatrefoil r(θ) = 1 + k·cos 4θ in
// polar form (θ the angle above the equator): lobes on the equator and at the
// poles, notches between them at ±45°. A side view of its front half shows
// that quatrefoil; the latitude drawn is θ.
constexpr double kQuatrefoilLobe = 0.3;
constexpr double kQuatrefoilTilt = 10.0 * kDeg;

bool insideQuatrefoil(const ApsidalSurface& s, double x, double y, double z) noexcept {
    const double rho2 = x * x + z * z;
    const double r2 = rho2 + y * y;
    if (!(r2 > 0.0)) return true;
    // cos 4θ = 1 − 8 cos²θ sin²θ.
    const double radius = 1.0 + s.a * (1.0 - 8.0 * rho2 * y * y / (r2 * r2));
    return r2 <= radius * radius;
}

void drawnOnQuatrefoil(const ApsidalSurface& s, double x, double y, double z, double mu, double& phi,
                       double n[3]) noexcept {
    const double rho = std::sqrt(x * x + z * z);
    phi = std::atan2(y, rho);
    // The meridian normal (1, −r′/r) in the radial and angular directions.
    const double t = 4.0 * s.a * std::sin(4.0 * phi) / (1.0 + s.a * std::cos(4.0 * phi));
    const double nRho = std::cos(phi) - t * std::sin(phi);
    n[0] = nRho * std::sin(mu);
    n[1] = std::sin(phi) + t * std::cos(phi);
    n[2] = nRho * std::cos(mu);
}

constexpr ApsidalSurface kQuatrefoil{&insideQuatrefoil,     &drawnOnQuatrefoil,
                                     kQuatrefoilLobe,       0.0,
                                     1.0 + kQuatrefoilLobe, 2.0 * (1.0 + kQuatrefoilLobe) * 1.02};

}  // namespace

void mapQuatrefoil(const OutputCall& c, OutputResult& r) noexcept {
    orthoapsidalFit(c, kQuatrefoil, kQuatrefoilTilt, r);
}

}  // namespace output_detail

}  // namespace globaro
