#pragma once
// The whole sphere as a star of n Mercator strips (n ≥ 3):
//
//     w = F(ζ) = ∫₀^ζ dt / (1 − tⁿ) = Σ_k −(u_k/n)·Log(1 − ζ/u_k),   u_k = e^(2πik/n),
//
// where ζ is the sphere's stereographic coordinate about the star's centre.
// Near each u_k (a point 90° from the centre) F is −(u_k/n)·Log(1 − ζ/u_k)
// plus a smooth term: 1/n of the Mercator map with its pole at u_k, so the
// neighbourhood of u_k becomes an arm, a half-strip of width 2π/n running out
// along u_k. The sphere is cut along the great-circle arcs from each u_k to
// the antipode of the centre (ζ = ∞, the rays ζ/u_k > 1); the two banks of a
// cut are the two long sides of its arm. The antipode goes to the n
// re-entrant corners between the arms, w_c = e^(iπ(2k+1)/n)·(π/n)/sin(π/n),
// each corner taking a sector 2π/n of its neighbourhood. Between the arms
// lies a regular n-gon with those corners. F is analytic with F′ ≠ 0 on the
// cut sphere, so the star keeps angles everywhere but at the corners; with
// n = 4 it is the sum of the Mercator map and the transverse Mercator map
// (atan ζ + atanh ζ)/2, a cross.
//
// The inverse is evaluated from three families of series, built once by
// Lagrange's inversion of the Taylor series of F and used by whichever
// converges fastest at the sample (no iteration per sample):
//  - about the centre: ζ = w·B(wⁿ), reaching to the corners;
//  - along an arm: ε = 1 − ζ/u_k as a series in E = exp(−n·w/u_k), which is
//    small far out in the arm (the arm's period 2πi·u_k/n drops out of E);
//  - at a corner: 1/ζ as a series in the (n − 1)-th root of (w − w_c).

#include <complex>
#include <vector>

namespace globaro {

class MercatorStar {
public:
    explicit MercatorStar(int arms);

    int arms() const noexcept { return n_; }
    // Half the width of an arm: π/n.
    double armHalfWidth() const noexcept;
    // The distance of the corners from the centre, (π/n)/sin(π/n).
    double cornerRadius() const noexcept { return cornerRadius_; }

    // F by its closed form (principal logarithms follow the cuts).
    std::complex<double> forward(std::complex<double> zeta) const noexcept;
    // The scale at ζ over the scale at the centre: (1 + |ζ|²)/|1 − ζⁿ|.
    double scaleRatio(std::complex<double> zeta) const noexcept;
    // How far out along its centre line an arm reaches where the scale is
    // `ratio` times the centre's.
    double reachAtScale(double ratio) const noexcept;

    // Whether w lies in the star whose arms end `reach` from the centre.
    bool contains(std::complex<double> w, double reach) const noexcept;

    // The sphere point of w in the star: ζ, or t = 1/ζ when `reciprocal`
    // (near the corners, where ζ is large).
    struct Point {
        std::complex<double> value;
        bool reciprocal = false;
    };
    Point inverse(std::complex<double> w) const noexcept;

private:
    int n_;
    double cornerRadius_;
    double armRadius_;            // the reach of the arm series in E
    double cornerReach_;          // the reach of the corner series in τⁿ
    std::vector<double> centre_;  // ζ = w·Σ centre_m (wⁿ)^m
    std::vector<double> arm_;     // ε = E·Σ arm_m E^m
    std::vector<double> corner_;  // s = τ·Σ corner_m (τⁿ)^m
    // Per arm k: u_k; per corner k (between arms k and k + 1): its point w_c,
    // the turn e^(−i(n−1)θ_k) that takes (n − 1)(w − w_c) to the principal
    // sector, and e^(iθ_k) that turns the answer back (θ_k = −π(2k + 1)/n).
    std::vector<std::complex<double>> armUnit_, cornerPoint_, cornerTurn_, cornerBack_;
};

}  // namespace globaro
