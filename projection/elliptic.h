#pragma once
// Jacobi's elliptic functions and the complete elliptic integral of the first
// kind, for the conformal maps of the sphere onto squares and rectangles.
// The parameter m is the square of the modulus k (0 ≤ m < 1).

#include <array>

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

// The real sn, cn and dn of one parameter m from tables over the quarter
// period [0, K], built once (by the descent above), for the per-sample work
// of the conformal maps: between two nodes sn and cn are the quintics that
// match the functions and their first two derivatives at both
// (sn′ = cn·dn, sn″ = −sn·(dn² + m·cn²), cn′ = −sn·dn, cn″ = −cn·(dn² − m·sn²)),
// so one evaluation costs two polynomials and a square root instead of the
// descent's chain of sines and arcsines. sn is odd, cn even, and both change
// sign with every half period 2K, which carries every u into the tables.
// With 256 intervals they are good to about 10⁻¹⁴ for m up to 0.9; they are
// meant for moderate m (the nodes spread over K, which grows without bound
// as m → 1).
class JacobiTable {
public:
    static constexpr int kIntervals = 256;

    explicit JacobiTable(double m) noexcept;

    double parameter() const noexcept { return m_; }
    double quarterPeriod() const noexcept { return quarter_; }
    // sn, cn, dn of u; NaN for a u that is not finite.
    JacobiValues operator()(double u) const noexcept;

private:
    // Per interval, sn and cn as quintics in the fraction t of the interval:
    // Σ c_k t^k.
    struct Interval {
        std::array<double, 6> sn, cn;
    };

    double m_, quarter_, invStep_, halfPeriod_, invHalfPeriod_;
    std::array<Interval, kIntervals> intervals_{};
};

// sd = sn/dn of the complex argument z, as a numerator and a denominator
// (sd itself has poles, the pair never does): from the real functions of
// Re z with parameter m and of Im z with the complementary parameter 1 − m,
// by the addition theorems.
struct ComplexRatio {
    Complex num, den;
};
ComplexRatio jacobiSd(Complex z, double m) noexcept;

// The same from the tables of m (for Re z) and 1 − m (for Im z).
ComplexRatio jacobiSd(Complex z, const JacobiTable& real, const JacobiTable& imaginary) noexcept;

// cn of the complex argument z as a numerator and a real, non-negative
// denominator (Abramowitz and Stegun 16.21.3).
ComplexRatio jacobiCn(Complex z, double m) noexcept;

}  // namespace globaro
