#include "projection/elliptic.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
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

namespace {

// The quintic on [0, 1] with the given values and first and second
// derivatives (in units of the interval) at both ends, as Σ c_k t^k.
std::array<double, 6> quinticHermite(double v0, double d0, double b0, double v1, double d1, double b1) noexcept {
    const double rise = v1 - v0;
    return {v0,
            d0,
            0.5 * b0,
            10.0 * rise - 6.0 * d0 - 4.0 * d1 - 1.5 * b0 + 0.5 * b1,
            -15.0 * rise + 8.0 * d0 + 7.0 * d1 + 1.5 * b0 - b1,
            6.0 * rise - 3.0 * d0 - 3.0 * d1 - 0.5 * b0 + 0.5 * b1};
}

double quintic(const std::array<double, 6>& c, double t) noexcept {
    return c[0] + t * (c[1] + t * (c[2] + t * (c[3] + t * (c[4] + t * c[5]))));
}

}  // namespace

JacobiTable::JacobiTable(double m) noexcept
    : m_(m),
      quarter_(completeEllipticK(m)),
      invStep_(kIntervals / quarter_),
      halfPeriod_(2.0 * quarter_),
      invHalfPeriod_(0.5 / quarter_) {
    const double h = quarter_ / kIntervals;
    // sn, cn and their derivatives at a node, the derivatives in units of
    // the step.
    struct Node {
        double sn, snSlope, snBend, cn, cnSlope, cnBend;
    };
    auto node = [&](int i) {
        const JacobiValues j = jacobiReal(i * h, m);
        const double dn2 = j.dn * j.dn;
        return Node{j.sn, h * j.cn * j.dn,  -h * h * j.sn * (dn2 + m * j.cn * j.cn),
                    j.cn, -h * j.sn * j.dn, -h * h * j.cn * (dn2 - m * j.sn * j.sn)};
    };
    Node left = node(0);
    for (int i = 0; i < kIntervals; ++i) {
        const Node right = node(i + 1);
        intervals_[i] = {quinticHermite(left.sn, left.snSlope, left.snBend, right.sn, right.snSlope, right.snBend),
                         quinticHermite(left.cn, left.cnSlope, left.cnBend, right.cn, right.cnSlope, right.cnBend)};
        left = right;
    }
}

JacobiValues JacobiTable::operator()(double u) const noexcept {
    if (!std::isfinite(u)) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan, nan};
    }
    // u = 2K·turns + r with |r| ≤ K; every half period turns sn and cn over
    // (turns beyond 2⁵³ are all even).
    const double turns = std::nearbyint(u * invHalfPeriod_);
    const double r = u - halfPeriod_ * turns;
    const bool odd = std::fabs(turns) < 9.0e15 && (static_cast<std::int64_t>(turns) & 1) != 0;
    const double at = std::fabs(r) * invStep_;
    const int i = std::min(static_cast<int>(at), kIntervals - 1);
    const double t = at - i;
    const Interval& c = intervals_[static_cast<std::size_t>(i)];
    const double sn = quintic(c.sn, t), cn = quintic(c.cn, t);
    const double flip = odd ? -1.0 : 1.0;
    return {std::copysign(sn, r) * flip, cn * flip, std::sqrt(cn * cn + (1.0 - m_) * sn * sn)};
}

namespace {

// sn(x + iy) and dn(x + iy) share the denominator cn²(y) + m·sn²(x)·sn²(y),
// which cancels in their ratio.
ComplexRatio sdFromParts(const JacobiValues& x, const JacobiValues& y, double m) noexcept {
    return {{x.sn * y.dn, x.cn * x.dn * y.sn * y.cn}, {x.dn * y.cn * y.dn, -m * x.sn * x.cn * y.sn}};
}

}  // namespace

ComplexRatio jacobiSd(Complex z, double m) noexcept {
    return sdFromParts(jacobiReal(z.re, m), jacobiReal(z.im, 1.0 - m), m);
}

ComplexRatio jacobiSd(Complex z, const JacobiTable& real, const JacobiTable& imaginary) noexcept {
    return sdFromParts(real(z.re), imaginary(z.im), real.parameter());
}

ComplexRatio jacobiCn(Complex z, double m) noexcept {
    const JacobiValues x = jacobiReal(z.re, m);
    const JacobiValues y = jacobiReal(z.im, 1.0 - m);
    return {{x.cn * y.cn, -x.sn * x.dn * y.sn * y.dn}, {y.cn * y.cn + m * x.sn * x.sn * y.sn * y.sn, 0.0}};
}

}  // namespace globaro
