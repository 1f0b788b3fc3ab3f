#pragma once
// Trigonometric functions for the per-sample path: atan2, asin, acos and
// sin as short polynomials evaluated in double, within 1e-10 of the
// library's double results, so that the float values the lookups store from
// them round to the same numbers in all but rare cases (and there differ by
// one unit in the last place). No errno, no tables, no allocation; safe to
// call from every render thread at once.
//
// The polynomials are near-minimax fits (Chebyshev) of
//   atan t = t + t³·P(t²) on |t| ≤ tan(π/8),
//   asin x = x + x³·Q(x²) on |x| ≤ 1/2,
//   sin x = x + x³·S(x²) on |x| ≤ π/2,
// with the usual reductions outside those ranges:
//   atan t = π/4 + atan((t − 1)/(t + 1)) for tan(π/8) < t ≤ 1,
//   asin x = π/2 − 2·asin(√((1 − x)/2)) for 1/2 < x ≤ 1,
//   sin x = sin(π − x) for π/2 < x ≤ π.

#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <utility>

namespace globaro::fast_math {

using std::numbers::pi;

// tan(π/8) = √2 − 1, rounded to double (√2 − 1 computed in double lies one
// step above it).
inline constexpr double kTanPiOver8 = 0.41421356237309503;

// The coefficients of the fits P, Q and S above, from the highest power down.
// vector_math (vec_math.h) evaluates the same ones, rounded to float, four
// lanes at a time.
inline constexpr double kAtanCoefficients[] = {
    0.050481385120797443928, -0.086246761452494936521, 0.11071365021884793981,
    -0.14284151193628613917, 0.19999977258688385552,   -0.33333333279254800128,
};
inline constexpr double kAsinCoefficients[] = {
    0.030974540371355073082, 0.010574415516912908371, 0.02361181700889175101, 0.030269138728589183899,
    0.044647663888134845398, 0.074999924044018382173, 0.16666666686085643949,
};
inline constexpr double kSinCoefficients[] = {
    1.550250902793809009e-10,   -2.503674500842829547e-8, 2.7557123174373272739e-6,
    -0.00019841268709056150696, 0.0083333333309403652077, -0.16666666666658467133,
};

// The polynomial with these coefficients (highest power first) at z, by
// Horner's rule: ((c[0]·z + c[1])·z + c[2])… The steps are spelled out at
// compile time, so that each coefficient is a constant of the code.
template <std::size_t N, std::size_t... I>
inline double horner(const double (&c)[N], double z, std::index_sequence<I...>) noexcept {
    double p = c[0];
    ((p = p * z + c[I + 1]), ...);
    return p;
}
template <std::size_t N>
inline double polynomial(const double (&coefficients)[N], double z) noexcept {
    return horner(coefficients, z, std::make_index_sequence<N - 1>{});
}

// atan t for t in [−tan(π/8), tan(π/8)] (error below 4e-11).
inline double atanKernel(double t) noexcept {
    const double z = t * t;
    return t + t * z * polynomial(kAtanCoefficients, z);
}

// asin x for x in [−1/2, 1/2] (error below 4e-11).
inline double asinKernel(double x) noexcept {
    const double z = x * x;
    return x + x * z * polynomial(kAsinCoefficients, z);
}

// sin x for x in [−π/2, π/2] (error below 4e-13).
inline double sinKernel(double x) noexcept {
    const double z = x * x;
    return x + x * z * polynomial(kSinCoefficients, z);
}

// atan t for t in [0, 1].
inline double atanUnit(double t) noexcept {
    if (t > kTanPiOver8) return pi / 4.0 + atanKernel((t - 1.0) / (t + 1.0));
    return atanKernel(t);
}

// atan2(y, x) with the library's quadrants and signed zeros. Zeros on both
// axes, infinities and values that are not numbers take the library's own
// path (they never occur on a render's directions, but keep its answers).
inline double atan2(double y, double x) noexcept {
    const double ax = std::fabs(x);
    const double ay = std::fabs(y);
    const bool steep = ay > ax;
    const double lo = steep ? ax : ay;
    const double hi = steep ? ay : ax;
    if (!(hi > 0.0 && hi < std::numeric_limits<double>::infinity())) return std::atan2(y, x);
    double a = atanUnit(lo / hi);
    if (steep) a = pi / 2.0 - a;
    if (std::signbit(x)) a = pi - a;
    return std::copysign(a, y);
}

// asin x; not a number when |x| > 1 or x is not a number, as the library's.
inline double asin(double x) noexcept {
    const double ax = std::fabs(x);
    if (ax <= 0.5) return asinKernel(x);
    const double z = (1.0 - ax) * 0.5;  // exact for ax in [1/2, 1]; negative above 1
    const double s = std::sqrt(z);
    return std::copysign(pi / 2.0 - 2.0 * asinKernel(s), x);
}

// acos x; not a number when |x| > 1 or x is not a number, as the library's.
inline double acos(double x) noexcept {
    const double ax = std::fabs(x);
    if (ax <= 0.5) return pi / 2.0 - asinKernel(x);
    const double z = (1.0 - ax) * 0.5;
    const double r = 2.0 * asinKernel(std::sqrt(z));
    return x > 0.0 ? r : pi - r;
}

// sin x for |x| ≤ π (π − |x| is exact there); larger arguments and values
// that are not numbers take the library's path.
inline double sin(double x) noexcept {
    const double ax = std::fabs(x);
    if (!(ax <= pi)) return std::sin(x);
    return std::copysign(sinKernel(ax > pi / 2.0 ? pi - ax : ax), x);
}

}  // namespace globaro::fast_math
