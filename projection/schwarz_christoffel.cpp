#include "projection/schwarz_christoffel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace globaro {

namespace {

using Series = std::array<double, StarMap::kTerms>;
constexpr int kTerms = StarMap::kTerms;
constexpr int kNewtonSteps = 8;
// The centre series is used while |z|ⁿ stays below this; beyond it the
// nearer prevertex lies well inside the reach of its own expansion.
constexpr double kCentreReach = 0.6;
// The reverted series only starts Newton's method: its later coefficients
// drown in rounding, so it is cut short.
constexpr int kRevertedTerms = 16;

Complex plus(const Complex& a, const Complex& b) noexcept { return {a.re + b.re, a.im + b.im}; }
Complex minus(const Complex& a, const Complex& b) noexcept { return {a.re - b.re, a.im - b.im}; }
Complex scaled(const Complex& a, double k) noexcept { return {a.re * k, a.im * k}; }

// Σ c_k x^k by Horner's rule.
Complex horner(const Series& c, Complex x) noexcept {
    Complex acc{c[kTerms - 1], 0.0};
    for (int k = kTerms - 2; k >= 0; --k) {
        acc = complexMul(acc, x);
        acc.re += c[k];
    }
    return acc;
}

Complex integerPower(Complex z, int n) noexcept {
    Complex r{1.0, 0.0};
    for (int i = 0; i < n; ++i) r = complexMul(r, z);
    return r;
}

// (1 + sign·x)^a.
Series binomial(double a, double sign) noexcept {
    Series c{};
    c[0] = 1.0;
    for (int k = 1; k < kTerms; ++k) c[k] = c[k - 1] * (a - (k - 1)) / k * sign;
    return c;
}

Series product(const Series& a, const Series& b) noexcept {
    Series c{};
    for (int i = 0; i < kTerms; ++i)
        for (int j = 0; i + j < kTerms; ++j) c[i + j] += a[i] * b[j];
    return c;
}

// p^a for a series with p₀ > 0, by the recurrence k·p₀·q_k = Σ ((a + 1)·j − k)·p_j·q_{k−j}
// that follows from p·q′ = a·p′·q.
Series power(const Series& p, double a) noexcept {
    Series q{};
    q[0] = std::pow(p[0], a);
    for (int k = 1; k < kTerms; ++k) {
        double sum = 0.0;
        for (int j = 1; j <= k; ++j) sum += ((a + 1.0) * j - k) * p[j] * q[k - j];
        q[k] = sum / (k * p[0]);
    }
    return q;
}

}  // namespace

StarMap::StarMap(int points, double tipAngle) noexcept : n_(std::max(points, 2)) {
    const double alpha = tipAngle, beta = 2.0 - 2.0 / n_ - tipAngle;
    // Near the centre: w′ = (1 − x)^(α−1)·(1 + x)^(β−1) in x = zⁿ.
    centreSlope_ = product(binomial(alpha - 1.0, -1.0), binomial(beta - 1.0, 1.0));
    for (int k = 0; k < kTerms; ++k) centre_[k] = centreSlope_[k] / (n_ * k + 1.0);
    // Reverted: z = w·B(wⁿ) with B(y)·A(y·B(y)ⁿ) = 1, A = Σ centre_k x^k;
    // each pass of B ← 1/A(y·Bⁿ) settles one more coefficient.
    reverted_[0] = 1.0;
    for (int pass = 1; pass < kRevertedTerms; ++pass) {
        Series inner = power(reverted_, n_);  // y·Bⁿ
        for (int k = kTerms - 1; k > 0; --k) inner[k] = inner[k - 1];
        inner[0] = 0.0;
        Series composed{};
        for (int k = kTerms - 1; k >= 0; --k) {  // Horner in the series y·Bⁿ
            composed = product(composed, inner);
            composed[0] += centre_[k];
        }
        reverted_ = power(composed, -1.0);
    }
    for (int k = kRevertedTerms; k < kTerms; ++k) reverted_[k] = 0.0;
    // About a prevertex c, with z = c·(1 − s): 1 ∓ zⁿ is s·q(s) at the
    // corner's own factor and 2 − s·q(s) at the other, where
    // q(s) = (1 − (1 − s)ⁿ)/s = Σ_{i<n} C(n, i+1)·(−1)^i·s^i.
    Series q{}, rest{};
    double choose = 1.0;  // C(n, i + 1)
    for (int i = 0; i < n_ && i < kTerms; ++i) {
        choose = choose * (n_ - i) / (i + 1.0);
        q[i] = (i % 2 == 0 ? 1.0 : -1.0) * choose;
    }
    rest[0] = 2.0;
    for (int i = 1; i < kTerms; ++i) rest[i] = -q[i - 1];

    const double half = std::numbers::pi / n_;
    const double radius = 2.0 * std::sin(half / 2.0);  // the distance to the next prevertex
    const Complex inner = complexUnit(half);
    const double exponents[2] = {alpha, beta};
    const Complex at[2] = {{1.0, 0.0}, inner};
    for (int i = 0; i < 2; ++i) {
        Corner& k = corners_[i];
        k.at = at[i];
        k.exponent = exponents[i];
        k.radius = radius;
        const Series g = product(power(q, exponents[i] - 1.0), power(rest, exponents[1 - i] - 1.0));
        for (int j = 0; j < kTerms; ++j) {
            k.term[j] = g[j] / (k.exponent + j);
            k.slope[j] = g[j] / k.exponent;
        }
        // Where the corner lands: match the two series halfway between the
        // prevertex and the centre series' comfortable range.
        const double sm = radius / 2.0;
        const Complex zm = scaled(k.at, 1.0 - sm);
        const Complex local = complexMul(k.at, cornerSeries(k, {sm, 0.0}));
        k.image = plus(centreSeries(zm), local);
    }
    corners_[0].image.im = 0.0;  // on the real axis by symmetry
    innerRadius_ = complexAbs(corners_[1].image);
    corners_[1].image = scaled(inner, innerRadius_);
    // The reverted series converges up to the nearest corner that is a
    // singular point of the inverse (an inner "corner" of angle π is not).
    const double singular = std::fabs(beta - 1.0) < 1e-12 ? tipRadius() : std::min(tipRadius(), innerRadius_);
    revertedReach_ = 0.9 * singular;
}

Complex StarMap::centreSeries(Complex z) const noexcept { return complexMul(z, horner(centre_, integerPower(z, n_))); }

// s^e·Σ term_j s^j (the corner's part of w, before the turn by c).
Complex StarMap::cornerSeries(const Corner& k, Complex s) const noexcept {
    return complexMul(complexPow(s, k.exponent), horner(k.term, s));
}

Complex StarMap::sectorForward(Complex z) const noexcept {
    if (std::pow(complexAbs(z), n_) <= kCentreReach) return centreSeries(z);
    const Corner* best = nullptr;
    Complex s{};
    for (const Corner& k : corners_) {
        const Complex sk = minus({1.0, 0.0}, complexMul(z, complexConjugate(k.at)));
        if (best == nullptr || complexAbs(sk) < complexAbs(s)) best = &k, s = sk;
    }
    return minus(best->image, complexMul(best->at, cornerSeries(*best, s)));
}

bool StarMap::solveAtCorner(const Corner& k, Complex w, Complex& z) const noexcept {
    const Complex back = complexConjugate(k.at);  // 1/c
    // Leading term: w ≈ W − c·u·term₀.
    Complex u = scaled(complexMul(minus(k.image, w), back), 1.0 / k.term[0]);
    const double invExponent = 1.0 / k.exponent;
    bool settled = false;
    for (int step = 0; step < kNewtonSteps && !settled; ++step) {
        const Complex s = complexPow(u, invExponent);
        // (W − w)/c − u·Σ term_j s^j = 0, whose u-derivative is −Σ slope_j s^j.
        const Complex value = minus(complexMul(minus(k.image, w), back), complexMul(u, horner(k.term, s)));
        const Complex du = complexDivide(value, horner(k.slope, s));
        u = plus(u, du);
        settled = complexAbs(du) <= 1e-13 * (complexAbs(u) + 1e-300);
    }
    const Complex s = complexPow(u, invExponent);
    z = complexMul(k.at, minus({1.0, 0.0}, s));
    return settled && complexAbs(s) < 0.9 * k.radius;
}

Complex StarMap::sectorInverse(Complex w) const noexcept {
    if (complexAbs(w) <= revertedReach_) {
        Complex z = complexMul(w, horner(reverted_, integerPower(w, n_)));
        if (std::pow(complexAbs(z), n_) <= kCentreReach) {
            for (int step = 0; step < kNewtonSteps; ++step) {
                const Complex zn = integerPower(z, n_);
                const Complex value = minus(complexMul(z, horner(centre_, zn)), w);
                const Complex dz = complexDivide(value, horner(centreSlope_, zn));
                z = minus(z, dz);
                if (complexAbs(dz) <= 1e-15) break;
            }
            return z;
        }
    }
    // The corner whose leading term puts the point nearer to its prevertex
    // first; the other when Newton's method does not settle there.
    double reach[2];
    for (int i = 0; i < 2; ++i) {
        const Corner& k = corners_[i];
        const double u = complexAbs(minus(k.image, w)) / k.term[0];
        reach[i] = std::pow(u, 1.0 / k.exponent);
    }
    const int first = reach[0] <= reach[1] ? 0 : 1;
    Complex z;
    if (!solveAtCorner(corners_[first], w, z)) {
        Complex other;
        if (solveAtCorner(corners_[1 - first], w, other)) z = other;
    }
    return z;
}

namespace {

// The sector of the n-fold star that holds w: w turned back by k sectors of
// 2π/n and mirrored when it lies below the real axis.
struct SectorTurn {
    Complex turn{1.0, 0.0};  // e^{2πik/n}
    bool mirrored = false;
};

Complex intoSector(Complex w, int n, SectorTurn& t) noexcept {
    const double sector = 2.0 * std::numbers::pi / n;
    const double k = std::round(std::atan2(w.im, w.re) / sector);
    t.turn = complexUnit(k * sector);
    Complex r = complexMul(w, complexConjugate(t.turn));
    t.mirrored = r.im < 0.0;
    if (t.mirrored) r.im = -r.im;
    return r;
}

Complex outOfSector(Complex z, const SectorTurn& t) noexcept {
    if (t.mirrored) z.im = -z.im;
    return complexMul(z, t.turn);
}

}  // namespace

Complex StarMap::forward(Complex z) const noexcept {
    SectorTurn t;
    const Complex r = intoSector(z, n_, t);
    return outOfSector(sectorForward(r), t);
}

Complex StarMap::derivative(Complex z) const noexcept {
    const Complex zn = integerPower(z, n_);
    return complexMul(complexPow({1.0 - zn.re, -zn.im}, tipAngle() - 1.0),
                      complexPow({1.0 + zn.re, zn.im}, innerAngle() - 1.0));
}

bool StarMap::contains(Complex w) const noexcept {
    SectorTurn t;
    const Complex r = intoSector(w, n_, t);
    const Complex tip = corners_[0].image, side = minus(corners_[1].image, tip), to = minus(r, tip);
    return side.re * to.im - side.im * to.re >= -1e-12 * tipRadius() * tipRadius();
}

Complex StarMap::inverse(Complex w) const noexcept {
    SectorTurn t;
    Complex z = sectorInverse(intoSector(w, n_, t));
    const double r = complexAbs(z);
    if (r > 1.0) z = scaled(z, 1.0 / r);
    return outOfSector(z, t);
}

}  // namespace globaro
