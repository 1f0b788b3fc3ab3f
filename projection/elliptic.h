#pragma once
// Jacobi's elliptic functions and the complete elliptic integral of the first
// kind, for the conformal maps of the sphere onto squares and rectangles.
// The parameter m is the square of the modulus k (0 ≤ m < 1).

#include "geometry/vec_math.h"

namespace globaro {

// K(m) = ∫₀^{π/2} dθ / √(1 − m·sin²θ), by the arithmetic–geometric mean.
double completeEllipticK(double m) noexcept;

struct JacobiValues {
    double sn, cn, dn;
};

// sn, cn and dn of a real argument (descending Landen transformation, after
// Abramowitz and Stegun 16.4).
JacobiValues jacobiReal(double u, double m) noexcept;

// sd = sn/dn of the complex argument z, as a numerator and a denominator
// (sd itself has poles, the pair never does): from the real functions of
// Re z with parameter m and of Im z with the complementary parameter 1 − m,
// by the addition theorems.
struct ComplexRatio {
    Complex num, den;
};
ComplexRatio jacobiSd(Complex z, double m) noexcept;

// cn of the complex argument z as a numerator and a real, non-negative
// denominator (Abramowitz and Stegun 16.21.3).
ComplexRatio jacobiCn(Complex z, double m) noexcept;

}  // namespace globaro
