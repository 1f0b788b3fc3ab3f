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

// Σ c_k x^k (k < length) by Horner's rule.
Complex horner(const Series& c, Complex x, int length = kTerms) noexcept {
    Complex acc{c[length - 1], 0.0};
    for (int k = length - 2; k >= 0; --k) {
        acc = complexMul(acc, x);
        acc.re += c[k];
    }
    return acc;
}

// atan2(z.im, z.re) to within 0.005 (atan x ≈ x·(π/4 + 0.273·(1 − |x|))
// on |x| ≤ 1, the rest by the octant).
double roughAngle(Complex z) noexcept {
    const double ax = std::fabs(z.re), ay = std::fabs(z.im);
    if (!(ax > 0.0 || ay > 0.0)) return 0.0;
    const double x = std::min(ax, ay) / std::max(ax, ay);
    double a = x * (std::numbers::pi / 4.0 + 0.273 * (1.0 - x));
    if (ay > ax) a = std::numbers::pi / 2.0 - a;
    if (z.re < 0.0) a = std::numbers::pi - a;
    return z.im < 0.0 ? -a : a;
}

// |z| without hypot's care for overflow, which costs more than the rest.
double magnitude(Complex z) noexcept { return std::sqrt(z.re * z.re + z.im * z.im); }

// z^p on the principal branch, 0 for 0.
Complex principalPower(Complex z, double p) noexcept {
    const double r2 = z.re * z.re + z.im * z.im;
    if (!(r2 > 0.0)) return {0.0, 0.0};
    const double m = std::exp(0.5 * p * std::log(r2)), angle = p * std::atan2(z.im, z.re);
    return {m * std::cos(angle), m * std::sin(angle)};
}

// How many terms of a corner series reach 10⁻¹² at the ratio ρ = |s|/radius:
// ρ^m ≤ 10⁻¹².
int termsFor(double ratio) noexcept {
    constexpr double kBound[] = {0.03, 0.1, 0.178, 0.25, 0.316, 0.42};
    constexpr int kLength[] = {8, 12, 16, 20, 24, 32};
    for (int i = 0; i < 6; ++i)
        if (ratio <= kBound[i]) return kLength[i];
    return StarMap::kTerms;
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

// The inverse of x = y·A(yⁿ) (A₀ = 1) as y = x·B(xⁿ), cut after
// kRevertedTerms coefficients: B(v)·A(v·B(v)ⁿ) = 1, and each pass of
// B ← 1/A(v·Bⁿ) settles one more coefficient.
Series reverted(const Series& a, int n) noexcept {
    Series b{};
    b[0] = 1.0;
    for (int pass = 1; pass < kRevertedTerms; ++pass) {
        Series inner = power(b, n);  // v·Bⁿ
        for (int k = kTerms - 1; k > 0; --k) inner[k] = inner[k - 1];
        inner[0] = 0.0;
        Series composed{};
        for (int k = kTerms - 1; k >= 0; --k) {  // Horner in the series v·Bⁿ
            composed = product(composed, inner);
            composed[0] += a[k];
        }
        b = power(composed, -1.0);
    }
    for (int k = kRevertedTerms; k < kTerms; ++k) b[k] = 0.0;
    return b;
}

}  // namespace

StarMap::StarMap(int points, double tipAngle) noexcept : n_(std::clamp(points, 2, kMaxPoints)) {
    for (int k = 0; k < n_; ++k) turns_[k] = complexUnit(2.0 * std::numbers::pi * k / n_);
    halfTurn_ = complexUnit(std::numbers::pi / n_);
    const double alpha = tipAngle, beta = 2.0 - 2.0 / n_ - tipAngle;
    // Near the centre: w′ = (1 − x)^(α−1)·(1 + x)^(β−1) in x = zⁿ.
    centreSlope_ = product(binomial(alpha - 1.0, -1.0), binomial(beta - 1.0, 1.0));
    for (int k = 0; k < kTerms; ++k) centre_[k] = centreSlope_[k] / (n_ * k + 1.0);
    reverted_ = reverted(centre_, n_);
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
        Series relative{};
        for (int j = 0; j < kTerms; ++j) {
            k.term[j] = g[j] / (k.exponent + j);
            relative[j] = k.term[j] / k.term[0];
        }
        k.root = power(relative, 1.0 / k.exponent);
        for (int j = 0; j < kTerms; ++j) k.rootSlope[j] = (j + 1.0) * k.root[j];
        k.rootInverse = reverted(k.root, 1);
        k.halfReach = k.term[0] * std::pow(radius / 2.0, k.exponent);
        // Where the corner lands: match the two series halfway between the
        // prevertex and the centre series' comfortable range.
        const double sm = radius / 2.0;
        const Complex zm = scaled(k.at, 1.0 - sm);
        const Complex local = complexMul(k.at, cornerSeries(k, {sm, 0.0}));
        k.image = plus(centreSeries(zm), local);
    }
    corners_[0].image.im = 0.0;  // on the real axis by symmetry
    innerRadius_ = magnitude(corners_[1].image);
    corners_[1].image = scaled(inner, innerRadius_);
    // The reverted series converges up to the nearest corner that is a
    // singular point of the inverse (an inner "corner" of angle π is not).
    const double singular = std::fabs(beta - 1.0) < 1e-12 ? tipRadius() : std::min(tipRadius(), innerRadius_);
    revertedReach_ = 0.9 * singular;
    // Below a quarter of the singular radius to the n-th power the cut series
    // is good to 0.25^16 ≈ 2·10⁻¹⁰ without help.
    singularReach_ = 0.25 * std::pow(singular, n_);
}

Complex StarMap::centreSeries(Complex z) const noexcept { return complexMul(z, horner(centre_, integerPower(z, n_))); }

// s^e·Σ term_j s^j (the corner's part of w, before the turn by c).
Complex StarMap::cornerSeries(const Corner& k, Complex s) const noexcept {
    return complexMul(complexPow(s, k.exponent), horner(k.term, s));
}

Complex StarMap::sectorForward(Complex z) const noexcept {
    if (std::pow(magnitude(z), n_) <= kCentreReach) return centreSeries(z);
    const Corner* best = nullptr;
    Complex s{};
    for (const Corner& k : corners_) {
        const Complex sk = minus({1.0, 0.0}, complexMul(z, complexConjugate(k.at)));
        if (best == nullptr || magnitude(sk) < magnitude(s)) best = &k, s = sk;
    }
    return minus(best->image, complexMul(best->at, cornerSeries(*best, s)));
}

double StarMap::solveAtCorner(const Corner& k, Complex w, Complex& z) const noexcept {
    const Complex back = complexConjugate(k.at);  // 1/c
    const Complex target = complexMul(minus(k.image, w), back);
    // σ from the leading term's root, s from the reverted root series.
    const Complex sigma = principalPower(scaled(target, 1.0 / k.term[0]), 1.0 / k.exponent);
    Complex s = complexMul(sigma, horner(k.rootInverse, sigma, kRevertedTerms));
    const double scale = magnitude(sigma);
    bool settled = false;
    for (int step = 0; step < kNewtonSteps && !settled; ++step) {
        // σ − s·Σ root_j s^j = 0, whose s-derivative is −Σ rootSlope_j s^j;
        // the series are cut where their terms fall below 10⁻¹², which near
        // the prevertex is after a few.
        const int length = termsFor(magnitude(s) / k.radius);
        Complex value{k.root[length - 1], 0.0}, slope{k.rootSlope[length - 1], 0.0};
        for (int j = length - 2; j >= 0; --j) {
            value = complexMul(value, s), slope = complexMul(slope, s);
            value.re += k.root[j], slope.re += k.rootSlope[j];
        }
        const Complex ds = complexDivide(minus(sigma, complexMul(s, value)), slope);
        s = plus(s, ds);
        // Once the step is below 10⁻⁶ of s, the error left is its square.
        settled = magnitude(ds) <= 1e-6 * scale;
    }
    z = complexMul(k.at, minus({1.0, 0.0}, s));
    // How far into the expansion's reach the answer lies (1: at its edge);
    // unsettled answers count as beyond it.
    return settled ? magnitude(s) / k.radius : 2.0;
}

Complex StarMap::centreNewton(Complex w, Complex z) const noexcept {
    for (int step = 0; step < kNewtonSteps; ++step) {
        const Complex zn = integerPower(z, n_);
        const int length = termsFor(magnitude(zn));
        const Complex value = minus(complexMul(z, horner(centre_, zn, length)), w);
        const Complex dz = complexDivide(value, horner(centreSlope_, zn, length));
        z = minus(z, dz);
        if (magnitude(dz) <= 1e-8 * magnitude(z)) break;  // the step just taken squares the error
    }
    return z;
}

Complex StarMap::sectorInverse(Complex w) const noexcept {
    if (magnitude(w) <= revertedReach_) {
        const Complex wn = integerPower(w, n_);
        const Complex z = complexMul(w, horner(reverted_, wn, kRevertedTerms));
        if (magnitude(wn) <= singularReach_) return z;
        if (std::pow(magnitude(z), n_) <= kCentreReach) return centreNewton(w, z);
    }
    // The corner nearer in units of its half reach first, the other when
    // Newton's method does not settle well inside the first one's reach.
    double reach[2];
    for (int i = 0; i < 2; ++i) reach[i] = magnitude(minus(corners_[i].image, w)) / corners_[i].halfReach;
    const int first = reach[0] <= reach[1] ? 0 : 1;
    constexpr double kComfortable = 0.55;
    Complex z, other;
    const double depth = solveAtCorner(corners_[first], w, z);
    if (depth <= kComfortable) return z;
    const double otherDepth = solveAtCorner(corners_[1 - first], w, other);
    if (otherDepth < depth) z = other;
    if (std::min(depth, otherDepth) <= kComfortable) return z;
    // Far from both prevertices (a star of many points is nearly round, its
    // inverse singular well inside the centre series' reach): Newton's method
    // on the centre series, from where the corners left off.
    if (std::pow(magnitude(z), n_) <= kCentreReach) return centreNewton(w, z);
    return z;
}

Complex StarMap::intoSector(Complex w, SectorTurn& t) const noexcept {
    // The sector from a rough angle (good to a few thousandths of a radian),
    // then settled exactly against its two bounding rays at ±π/n.
    const double sectors = roughAngle(w) * n_ / (2.0 * std::numbers::pi);
    t.k = static_cast<int>(std::lround(sectors) + n_) % n_;
    Complex r = complexMul(w, complexConjugate(turns_[t.k]));
    for (int pass = 0; pass < 2; ++pass) {
        const double ahead = halfTurn_.re * r.im - halfTurn_.im * r.re;   // r beyond +π/n
        const double behind = halfTurn_.re * r.im + halfTurn_.im * r.re;  // r before −π/n
        if (ahead > 0.0)
            t.k = (t.k + 1) % n_;
        else if (behind < 0.0)
            t.k = (t.k + n_ - 1) % n_;
        else
            break;
        r = complexMul(w, complexConjugate(turns_[t.k]));
    }
    t.mirrored = r.im < 0.0;
    if (t.mirrored) r.im = -r.im;
    return r;
}

Complex StarMap::outOfSector(Complex z, const SectorTurn& t) const noexcept {
    if (t.mirrored) z.im = -z.im;
    return complexMul(z, turns_[t.k]);
}

Complex StarMap::forward(Complex z) const noexcept {
    SectorTurn t;
    const Complex r = intoSector(z, t);
    return outOfSector(sectorForward(r), t);
}

Complex StarMap::derivative(Complex z) const noexcept {
    const Complex zn = integerPower(z, n_);
    return complexMul(complexPow({1.0 - zn.re, -zn.im}, tipAngle() - 1.0),
                      complexPow({1.0 + zn.re, zn.im}, innerAngle() - 1.0));
}

bool StarMap::inverse(Complex w, Complex& z) const noexcept {
    SectorTurn t;
    const Complex r = intoSector(w, t);
    // Inside: on the centre's side of the edge from the tip to the inner corner.
    const Complex tip = corners_[0].image, side = minus(corners_[1].image, tip), to = minus(r, tip);
    if (side.re * to.im - side.im * to.re < -1e-12 * tipRadius() * tipRadius()) return false;
    Complex found = sectorInverse(r);
    const double radius = magnitude(found);
    if (radius > 1.0) found = scaled(found, 1.0 / radius);
    z = outOfSector(found, t);
    return true;
}

}  // namespace globaro
