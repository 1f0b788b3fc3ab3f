#include "projection/tilings.h"

#include <array>
#include <cmath>
#include <numbers>

namespace globaro {

namespace {

constexpr double kPi = std::numbers::pi;

// ---- ℘ with g₂ = 0, g₃ = 1 -------------------------------------------------------
//
// ℘(z) = z⁻² + Σ_{k≥2} c_k z^{2k−2}, c₂ = g₂/20, c₃ = g₃/28 and
// c_k = 3/((2k + 1)(k − 3))·Σ_{m=2}^{k−2} c_m c_{k−m} (Abramowitz and Stegun
// 18.5.3). With g₂ = 0 only every third coefficient is non-zero, so
// z²·℘(z) = 1 + Σ_j c_{3j}·(z⁶)^j. In the Voronoi cell |z| ≤ 2ω₂/√3 and
// the series converges for |z| < 2ω₂, so each term is below the one before
// by 3⁻³ or more: twelve terms reach double precision.

constexpr int kLaurentTerms = 12;

std::array<double, kLaurentTerms + 1> laurentSixth() noexcept {
    constexpr int kMax = 3 * kLaurentTerms;
    std::array<double, kMax + 1> c{};
    c[3] = 1.0 / 28.0;
    for (int k = 4; k <= kMax; ++k) {
        double s = 0.0;
        for (int m = 2; m <= k - 2; ++m) s += c[m] * c[k - m];
        c[k] = 3.0 * s / ((2.0 * k + 1.0) * (k - 3.0));
    }
    std::array<double, kLaurentTerms + 1> sixth{};
    sixth[0] = 1.0;
    for (int j = 1; j <= kLaurentTerms; ++j) sixth[j] = c[3 * j];
    return sixth;
}

const std::array<double, kLaurentTerms + 1> kSixth = laurentSixth();
const double kHalfPeriod = std::pow(std::tgamma(1.0 / 3.0), 3.0) / (4.0 * kPi);

// z minus the lattice point nearest to it.
Complex intoVoronoiCell(Complex z) noexcept {
    const double period = 2.0 * kHalfPeriod, rowHeight = period * std::numbers::sqrt3 / 2.0;
    const double v = std::floor(z.im / rowHeight);
    const double u = std::floor((z.re - (z.im / rowHeight) * kHalfPeriod) / period);
    Complex best = z;
    double bestNorm = INFINITY;
    for (int du = 0; du <= 1; ++du)
        for (int dv = 0; dv <= 1; ++dv) {
            const double lu = u + du, lv = v + dv;
            const Complex d{z.re - (lu * period + lv * kHalfPeriod), z.im - lv * rowHeight};
            const double n = d.re * d.re + d.im * d.im;
            if (n < bestNorm) bestNorm = n, best = d;
        }
    return best;
}

// ---- reflections -------------------------------------------------------------------

// Reflected in the line n·p = h (n a unit normal).
Complex reflectInLine(Complex p, Complex n, double h) noexcept {
    const double excess = 2.0 * (p.re * n.re + p.im * n.im - h);
    return {p.re - excess * n.re, p.im - excess * n.im};
}

}  // namespace

ThetaSd::ThetaSd(double m) noexcept
    : k_(completeEllipticK(m)),
      kPrime_(completeEllipticK(1.0 - m)),
      scale_(1.0 / std::sqrt(std::sqrt(m) * std::sqrt(1.0 - m))) {
    const double q = std::exp(-kPi * kPrime_ / k_);
    for (int n = 0; n < kTerms; ++n) {
        odd_[n] = 2.0 * ((n % 2) != 0 ? -1.0 : 1.0) * std::pow(q, (n + 0.5) * (n + 0.5));
        even_[n] = 2.0 * std::pow(q, double(n + 1) * (n + 1));
    }
}

ComplexRatio ThetaSd::operator()(Complex u) const noexcept {
    // Reduce by 2K and 2iK′: sd(u + 2K) = sd(u + 2iK′) = −sd(u).
    const double nx = std::round(u.re / (2.0 * k_)), ny = std::round(u.im / (2.0 * kPrime_));
    const double x = u.re - 2.0 * k_ * nx, y = u.im - 2.0 * kPrime_ * ny;
    const bool flip = (static_cast<long long>(nx + ny) % 2) != 0;
    const double zx = kPi * x / (2.0 * k_), zy = kPi * y / (2.0 * k_);
    // e^{±iz}, then the odd and even powers by products.
    const double grow = std::exp(zy), c = std::cos(zx), s = std::sin(zx);
    const Complex e{c / grow, s / grow}, eInv{c * grow, -s * grow};
    const Complex e2 = complexSquare(e), e2Inv = complexSquare(eInv);
    Complex up = e, down = eInv, upEven = e2, downEven = e2Inv;
    Complex theta1{}, theta3{1.0, 0.0};
    for (int n = 0; n < kTerms; ++n) {
        // sin((2n+1)z) = (up − down)/(2i); cos(2(n+1)z) = (upEven + downEven)/2.
        theta1.re += odd_[n] * 0.5 * (up.im - down.im);
        theta1.im -= odd_[n] * 0.5 * (up.re - down.re);
        theta3.re += even_[n] * 0.5 * (upEven.re + downEven.re);
        theta3.im += even_[n] * 0.5 * (upEven.im + downEven.im);
        up = complexMul(up, e2), down = complexMul(down, e2Inv);
        upEven = complexMul(upEven, e2), downEven = complexMul(downEven, e2Inv);
    }
    const double sign = flip ? -scale_ : scale_;
    return {{sign * theta1.re, sign * theta1.im}, theta3};
}

double equianharmonicHalfPeriod() noexcept { return kHalfPeriod; }

WeierstrassRatio equianharmonicP(Complex z) noexcept {
    const Complex r = intoVoronoiCell(z);
    const Complex r2 = complexSquare(r);
    const Complex t = complexMul(r2, complexSquare(r2));
    Complex sum{kSixth[kLaurentTerms], 0.0};
    for (int j = kLaurentTerms - 1; j >= 0; --j) {
        sum = complexMul(sum, t);
        sum.re += kSixth[j];
    }
    return {sum, r2};
}

bool foldIntoTriangle(Complex& p, double inradius, int maxSteps) noexcept {
    // The sides' outward normals: down, up-right, up-left.
    static const Complex normals[3] = {{0.0, -1.0}, complexUnit(kPi / 6.0), complexUnit(5.0 * kPi / 6.0)};
    if (!(std::isfinite(p.re) && std::isfinite(p.im))) return false;
    for (int step = 0; step <= maxSteps; ++step) {
        int worst = -1;
        double most = inradius * 1e-12;
        for (int k = 0; k < 3; ++k) {
            const double over = p.re * normals[k].re + p.im * normals[k].im - inradius;
            if (over > most) most = over, worst = k;
        }
        if (worst < 0) return true;
        if (step == maxSteps) break;
        p = reflectInLine(p, normals[worst], inradius);
    }
    return false;
}

HyperbolicTiling::HyperbolicTiling(int p, int q) noexcept : p_(p), q_(q) {
    // The p-gon's circumradius R and inradius h in the hyperbolic plane
    // (cosh R = cot(π/p)·cot(π/q), cosh h = cos(π/q)/sin(π/p)), at Euclidean
    // distances tanh(R/2) and tanh(h/2) from the centre of the disc.
    const double R = std::acosh(1.0 / (std::tan(kPi / p) * std::tan(kPi / q)));
    const double h = std::acosh(std::cos(kPi / q) / std::sin(kPi / p));
    vertexRadius_ = std::tanh(R / 2.0);
    sideRadius_ = std::tanh(h / 2.0);
    // A side lies on the circle orthogonal to the unit circle through the
    // side's middle m: centre d and radius ρ with d − ρ = m and d² − ρ² = 1.
    circleDistance_ = (sideRadius_ + 1.0 / sideRadius_) / 2.0;
    const double rho = (1.0 / sideRadius_ - sideRadius_) / 2.0;
    circleRadius2_ = rho * rho;
    for (int k = 0; k < p_; ++k) sideDirection_[k] = complexUnit((2 * k + 1) * kPi / p_);
}

bool HyperbolicTiling::fold(Complex& z) const noexcept {
    if (!(z.re * z.re + z.im * z.im < 1.0)) return false;
    // The side circles' centres all lie at the distance d from 0, so the
    // nearest centre (the only circle that can hold the point when it lies
    // outside the p-gon's inscribed region, the first to reflect in when
    // it lies beyond) is the one whose direction is nearest the point's:
    // the largest of the p dot products, no angle taken.
    int k = 0;
    for (int step = 0;; ++step) {
        double most = -INFINITY;
        for (int j = 0; j < p_; ++j) {
            const double dot = z.re * sideDirection_[j].re + z.im * sideDirection_[j].im;
            if (dot > most) most = dot, k = j;
        }
        const Complex c{circleDistance_ * sideDirection_[k].re, circleDistance_ * sideDirection_[k].im};
        const Complex d{z.re - c.re, z.im - c.im};
        const double d2 = d.re * d.re + d.im * d.im;
        if (d2 >= circleRadius2_) break;
        if (step == kMaxSteps) return false;
        // The inversion in the side's circle: the hyperbolic reflection.
        z = {c.re + circleRadius2_ * d.re / d2, c.im + circleRadius2_ * d.im / d2};
    }
    if (foldsToTriangle()) {
        // Into the fundamental triangle by the p-gon's own mirrors through
        // its centre: turned so that the nearest side's middle lies on the
        // positive real axis, the angle from it becomes the angle from the
        // vertex at 0, whichever side of the middle the point lay.
        const Complex w = complexMul(z, complexConjugate(sideDirection_[k]));
        z = complexMul({w.re, -std::fabs(w.im)}, sideDirection_[0]);
    }
    return true;
}

}  // namespace globaro
