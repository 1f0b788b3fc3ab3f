#pragma once
// The engines of the tiling outputs: the plane (Euclidean or hyperbolic)
// folded onto one base tile, and the conformal maps that carry a base tile
// onto the sphere.
//
// Euclidean:
//   - the equianharmonic Weierstrass function ℘ (g₂ = 0, g₃ = 1), whose
//     hexagonal period lattice tiles the plane with nets of the regular
//     tetrahedron: ℘ is even and periodic, so it is constant on the orbits
//     of the half-turns about the lattice's half-periods, and it carries one
//     net (four equilateral triangles) once onto the sphere. Evaluated by its
//     Laurent series after reduction to the lattice's Voronoi cell.
//   - the reflection fold of the plane into an equilateral triangle (the
//     kaleidoscope of three mirrors at 60°).
//
// Hyperbolic: the regular tiling {p, q} of the Poincaré disc by p-gons, q at
// each vertex; a point is folded into the base p-gon (centred at 0, a
// vertex on the positive real axis) by inversions in the circles that carry
// its sides, a fixed number of steps at most. Where q is odd, reflections in
// the sides alone do not fit together round a vertex, and the fold goes on
// into the p-gon's fundamental triangle (centre, side middle, vertex).

#include "geometry/vec_math.h"
#include "projection/elliptic.h"

namespace globaro {

// ---- Jacobi's sd by theta series -----------------------------------------------

// sd(u | m) = sn/dn for a fixed parameter m, by the theta functions of the
// nome q = e^{−πK′/K}: sd(u) = θ₁(z)/(√(k k′)·θ₃(z)), z = πu/(2K)
// (Abramowitz and Stegun 16.36). The argument is first reduced by the
// half-periods 2K and 2iK′ (each turns sd's sign), so |Im z| ≤ πK′/(2K) and
// the series need a handful of terms: per sample one complex exponential
// and a few products, where the Landen descent needs two dozen
// transcendental functions.
class ThetaSd {
public:
    explicit ThetaSd(double m) noexcept;
    double quarterPeriod() const noexcept { return k_; }
    // sd(u) as a ratio num/den (den = 0 at sd's poles).
    ComplexRatio operator()(Complex u) const noexcept;

private:
    static constexpr int kTerms = 6;
    double k_, kPrime_, scale_;
    double odd_[kTerms], even_[kTerms];  // 2(−1)ⁿq^{(n+½)²} and 2q^{n²} (n ≥ 1)
};

// ---- the equianharmonic ℘ ----------------------------------------------------

// The real half-period ω₂ = Γ(1/3)³/(4π) of the lattice of ℘ with g₂ = 0,
// g₃ = 1 (Abramowitz and Stegun 18.13); the lattice is spanned by 2ω₂ and
// 2ω₂·e^{iπ/3}.
double equianharmonicHalfPeriod() noexcept;

// ℘(z) as the ratio num/den, den = z² after z is reduced to the lattice
// point nearest to it (so the pole at a lattice point is den = 0, never an
// overflow).
struct WeierstrassRatio {
    Complex num, den;
};
WeierstrassRatio equianharmonicP(Complex z) noexcept;

// ---- Euclidean triangle fold ---------------------------------------------------

// The point p folded by reflections in the sides of the equilateral triangle
// centred at 0 with inradius `inradius`, one corner straight up (+y); false
// when `maxSteps` reflections do not bring it inside.
bool foldIntoTriangle(Complex& p, double inradius, int maxSteps) noexcept;

// ---- hyperbolic tilings ----------------------------------------------------------

class HyperbolicTiling {
public:
    static constexpr int kMaxSides = 8;
    static constexpr int kMaxSteps = 96;

    // 1/p + 1/q < 1/2, p ≤ kMaxSides.
    HyperbolicTiling(int p, int q) noexcept;

    int sides() const noexcept { return p_; }
    int vertexCount() const noexcept { return q_; }
    // Where the base p-gon's vertices and the middles of its sides lie in the
    // disc (Euclidean distance from 0).
    double vertexRadius() const noexcept { return vertexRadius_; }
    double sideRadius() const noexcept { return sideRadius_; }
    // True when the fold ends in the fundamental triangle (q odd) rather than
    // in the whole p-gon.
    bool foldsToTriangle() const noexcept { return (q_ % 2) != 0; }

    // z (|z| < 1) folded into the base tile; false outside the disc or when
    // kMaxSteps inversions do not bring it inside.
    bool fold(Complex& z) const noexcept;

private:
    int p_, q_;
    double vertexRadius_, sideRadius_;
    double circleDistance_, circleRadius2_;  // the side circles: centres d·e^{iθ_k}, radius² ρ²
    Complex sideDirection_[kMaxSides];       // e^{iθ_k}, θ_k = (2k + 1)π/p
};

}  // namespace globaro
