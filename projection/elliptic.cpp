#include "projection/elliptic.h"

#include <cmath>
#include <numbers>

namespace globaro {

namespace {

constexpr int kMaxSteps = 12;  // the mean converges quadratically: 5 steps for m = 1/2

}  // namespace

double completeEllipticK(double m) noexcept {
    double a = 1.0, b = std::sqrt(1.0 - m);
    for (int i = 0; i < kMaxSteps && std::fabs(a - b) > 1e-15 * a; ++i) {
        const double next = 0.5 * (a + b);
        b = std::sqrt(a * b);
        a = next;
    }
    return std::numbers::pi / (2.0 * a);
}

JacobiValues jacobiReal(double u, double m) noexcept {
    if (m < 1e-300) return {std::sin(u), std::cos(u), 1.0};
    // The means a_n and the ratios c_n / a_n, down to convergence.
    double ratios[kMaxSteps + 1];
    double a = 1.0, b = std::sqrt(1.0 - m), c = std::sqrt(m);
    int n = 0;
    while (n < kMaxSteps && std::fabs(c) > 1e-16) {
        const double next = 0.5 * (a + b);
        c = 0.5 * (a - b);
        b = std::sqrt(a * b);
        a = next;
        ratios[++n] = c / a;
    }
    // φ_N = 2^N·a_N·u, then back up: φ_{n−1} = (φ_n + asin((c_n/a_n)·sin φ_n)) / 2.
    double phi = std::ldexp(a * u, n);
    for (int i = n; i >= 1; --i) {
        phi = 0.5 * (phi + std::asin(ratios[i] * std::sin(phi)));
    }
    // dn² = cn² + k′²·sn² (both terms positive, dn ≥ k′ > 0): the descent's own
    // dn = cn / cos(φ₁ − φ₀) is 0/0 at u = K, where both cosines vanish.
    const double sn = std::sin(phi), cn = std::cos(phi);
    return {sn, cn, std::sqrt(cn * cn + (1.0 - m) * sn * sn)};
}

ComplexRatio jacobiSd(Complex z, double m) noexcept {
    const JacobiValues x = jacobiReal(z.re, m);
    const JacobiValues y = jacobiReal(z.im, 1.0 - m);
    // sn(x + iy) and dn(x + iy) share the denominator cn²(y) + m·sn²(x)·sn²(y),
    // which cancels in their ratio.
    return {{x.sn * y.dn, x.cn * x.dn * y.sn * y.cn}, {x.dn * y.cn * y.dn, -m * x.sn * x.cn * y.sn}};
}

ComplexRatio jacobiCn(Complex z, double m) noexcept {
    const JacobiValues x = jacobiReal(z.re, m);
    const JacobiValues y = jacobiReal(z.im, 1.0 - m);
    return {{x.cn * y.cn, -x.sn * x.dn * y.sn * y.dn}, {y.cn * y.cn + m * x.sn * x.sn * y.sn * y.sn, 0.0}};
}

}  // namespace globaro
