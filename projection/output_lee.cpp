// Lee's conformal world on a regular tetrahedron (L. P. Lee, "Some
// conformal projections based on elliptic functions", 1965, and "Conformal
// projections based on elliptic functions", Cartographica 1976).
//
// Seen stereographically from one vertex D of the tetrahedron, the other
// three lie on a circle; scaled so that they are the cube roots of unity,
//
//     w = F(t) = ∫₀^t ds / √(1 − s³)
//
// carries the sphere conformally onto the tetrahedron's flat surface: the
// integrand's four branch points (the three roots and ∞) are the vertices,
// where the surface has cone angle π. The face opposite D becomes the
// equilateral triangle with corners at F(1)·ω^k (F(1) = Γ(1/3)Γ(1/2)/(3Γ(5/6))
// ≈ 1.40218), and the other three faces lie round it, D at the three corners
// of the big triangle that is the tetrahedron's net (corners at −2F(1)·ω^k).
//
// The inverse is an elliptic function of w: with P = ℘(v; g₂ = 0, g₃ = 1),
// P′² = 4P³ − 1, the substitution t = 4^{1/3}·P(v) turns dw into a constant
// times dv, v = i·(w − w_D)/4^{1/3}, where w_D is any corner of the net (a
// pole of ℘). The equianharmonic ℘ is Jacobi's cn with m = 1/2 − √3/4
// (sin² 15°) (Abramowitz and Stegun 18.9.11):
//
//     ℘(v) = e₂ + H₂·(1 + cn(2√H₂·v))/(1 − cn(2√H₂·v)),
//     e₂ = 4^{−1/3} (the real root of 4e³ = 1), H₂ = √3·e₂.
//
// So each sample costs two real Jacobi evaluations and no search, and as t
// is doubly periodic in w, any fundamental region of the unfolding draws the
// whole sphere: the big triangle, or the strip of four faces cut square.
//
// The face opposite D is centred on the view centre (λ = φ = 0), one of its
// vertices straight above it on the meridian λ = 0 (at 70.53° N); D is the
// antipode of the view centre, at the net's corners.

#include <cmath>
#include <numbers>

#include "projection/elliptic.h"
#include "projection/output_formulas.h"

namespace globaro::output_detail {

namespace {

struct LeeConstants {
    double faceRadius;  // F(1): the central face's corners from its centre, in w
    double cubeRoot4;   // 4^{1/3}: t = 4^{1/3}·℘
    double e2, h2;      // ℘'s real root e₂ and H₂ = √3·e₂
    double argument;    // 2√H₂: cn's argument per unit of v
    double m;           // cn's parameter
};

const LeeConstants& lee() noexcept {
    static const LeeConstants k = [] {
        LeeConstants c{};
        c.faceRadius = std::tgamma(1.0 / 3.0) * std::tgamma(0.5) / (3.0 * std::tgamma(5.0 / 6.0));
        c.cubeRoot4 = std::cbrt(4.0);
        c.e2 = 1.0 / c.cubeRoot4;
        c.h2 = std::numbers::sqrt3 * c.e2;
        c.argument = 2.0 * std::sqrt(c.h2);
        c.m = 0.5 - 0.25 * std::numbers::sqrt3;
        return c;
    }();
    return k;
}

// The direction at the plane point p (y up) of the unfolding whose big
// triangle points down, corners 0.5 plane units from its centre (the view
// centre), the corners the point behind it.
SphereDir leeDirection(Complex p) noexcept {
    const LeeConstants& k = lee();
    // w = p·4F(1)·(−i): the central face's top vertex on the real axis of w.
    const double s = 4.0 * k.faceRadius;
    const Complex w{p.im * s, -p.re * s};
    // v = i·(w + 2F(1))/4^{1/3}, and cn's argument 2√H₂·v.
    const double f = k.argument / k.cubeRoot4;
    const ComplexRatio cn = jacobiCn({-w.im * f, (w.re + 2.0 * k.faceRadius) * f}, k.m);
    // ℘ = e₂ + H₂·(den + num)/(den − num); the stereographic coordinate about
    // the view centre is ζ = t·i/√2, t = 4^{1/3}·℘, kept as a ratio.
    const double den = cn.den.re;
    const Complex minus{den - cn.num.re, -cn.num.im}, plus{den + cn.num.re, cn.num.im};
    const Complex raw{k.e2 * minus.re + k.h2 * plus.re, k.e2 * minus.im + k.h2 * plus.im};
    const double scale = k.cubeRoot4 / std::numbers::sqrt2;
    const Complex zeta{-raw.im * scale, raw.re * scale};
    const Complex top = complexMul(zeta, complexConjugate(minus));
    const double n2 = zeta.re * zeta.re + zeta.im * zeta.im, d2 = minus.re * minus.re + minus.im * minus.im;
    const double sum = n2 + d2;
    if (!(sum > 0.0)) return {0.0f, 0.0f, -1.0f};
    // ζ about the view centre: right is −x, up is +y.
    return {static_cast<float>(-2.0 * top.re / sum), static_cast<float>(2.0 * top.im / sum),
            static_cast<float>((d2 - n2) / sum)};
}

}  // namespace

void mapLeeTetrahedral(const OutputCall& c, OutputResult& r) noexcept {
    const Complex p{c.fxd(), -c.fyd()};
    // The big triangle: its top side at y = 0.25, its lower sides with
    // outward normals (±√3/2, −1/2) as far from the centre.
    const double half = 0.5 * std::numbers::sqrt3;
    if (!(p.im <= 0.25 && half * p.re - 0.5 * p.im <= 0.25 && -half * p.re - 0.5 * p.im <= 0.25)) return;
    setHit(r, leeDirection(p));
}

void mapLeeRectangle(const OutputCall& c, OutputResult& r) noexcept {
    // The strip of four faces along the central face's row, two edges wide:
    // the central face, its two neighbours in the row, and the fourth face
    // split between the two ends.
    const Complex p{c.fxd(), -c.fyd()};
    if (!(std::fabs(p.re) <= 0.25 * std::numbers::sqrt3 && p.im >= -0.125 && p.im <= 0.25)) return;
    setHit(r, leeDirection(p));
}

}  // namespace globaro::output_detail
