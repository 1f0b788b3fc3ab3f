#include "projection/mercator_star.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace globaro {

namespace {

using Cd = std::complex<double>;
constexpr double kPi = std::numbers::pi;

constexpr int kCentreTerms = 40;  // in wⁿ
constexpr int kArmTerms = 60;     // in E
constexpr int kCornerTerms = 30;  // in τⁿ

// exp of a power series (its constant term included), to `count` terms.
std::vector<double> seriesExp(const std::vector<double>& a, int count) {
    std::vector<double> b(count, 0.0);
    b[0] = std::exp(a[0]);
    for (int k = 1; k < count; ++k) {
        double s = 0.0;
        for (int j = 1; j <= k && j < static_cast<int>(a.size()); ++j) s += j * a[j] * b[k - j];
        b[k] = s / k;
    }
    return b;
}

// log of a power series with constant term 1, to `count` terms.
std::vector<double> seriesLog(const std::vector<double>& a, int count) {
    std::vector<double> l(count, 0.0);
    for (int k = 1; k < count; ++k) {
        double s = 0.0;
        for (int j = 1; j < k; ++j) s += j * l[j] * a[k - j];
        l[k] = a[k] - s / k;
    }
    return l;
}

// Lagrange's inversion of y = x·exp(ψ(xᵖ)): x = y·Σ_m c_m (yᵖ)^m with
// c_m = [X^m] exp(−(mp + 1)·ψ(X)) / (mp + 1).
std::vector<double> revert(const std::vector<double>& psi, int p, int count) {
    std::vector<double> c(count);
    for (int m = 0; m < count; ++m) {
        const double q = m * p + 1.0;
        std::vector<double> scaled(m + 1);
        for (int j = 0; j <= m; ++j) scaled[j] = -q * psi[j];
        c[m] = seriesExp(scaled, m + 1)[m] / q;
    }
    return c;
}

// A safe reach for a series from its coefficients' growth (the root test
// over the later half, the smallest answer), capped by a known singularity.
double seriesReach(const std::vector<double>& c, double known) {
    double reach = known;
    const int count = static_cast<int>(c.size());
    for (int m = count / 2; m < count; ++m)
        if (c[m] != 0.0) reach = std::min(reach, std::pow(std::fabs(c[m] / c[0]), -1.0 / m));
    return reach;
}

// The first `terms` terms of Σ c_m x^m.
Cd horner(const std::vector<double>& c, Cd x, int terms) noexcept {
    Cd s = c[terms - 1];
    for (int m = terms - 2; m >= 0; --m) s = s * x + c[m];
    return s;
}

Cd integerPower(Cd z, int n) noexcept {
    Cd r = z;
    for (int i = 1; i < n; ++i) r *= z;
    return r;
}

}  // namespace

MercatorStar::MercatorStar(int arms) : n_(std::max(arms, 3)) {
    const int n = n_;
    cornerRadius_ = (kPi / n) / std::sin(kPi / n);

    // The centre: w = ζ·A(ζⁿ), A(X) = Σ X^m/(mn + 1).
    std::vector<double> a(kCentreTerms);
    for (int m = 0; m < kCentreTerms; ++m) a[m] = 1.0 / (m * n + 1.0);
    centre_ = revert(seriesLog(a, kCentreTerms), n, kCentreTerms);

    // An arm (u = 1): with ε = 1 − ζ, 1 − ζⁿ = ε·P(ε), P(0) = n, and
    // −n·w = Log ε + h(ε), h′ = Q/P with Q = (n − P)/ε, h(0) = −n·G(1), where
    // G = F + Log(1 − ζ)/n is the part of F that is smooth at ζ = 1.
    std::vector<double> pSeries(kArmTerms + 1, 0.0);
    double binomial = 1.0;
    for (int j = 1; j <= n; ++j) {
        binomial = binomial * (n - j + 1) / j;
        if (j - 1 <= kArmTerms) pSeries[j - 1] = (j % 2 == 1 ? 1.0 : -1.0) * binomial;
    }
    std::vector<double> q(kArmTerms + 1, 0.0);
    for (int i = 0; i + 1 <= kArmTerms; ++i) q[i] = -pSeries[i + 1];
    std::vector<double> slope(kArmTerms + 1, 0.0);  // Q/P
    for (int k = 0; k <= kArmTerms; ++k) {
        double s = q[k];
        for (int j = 1; j <= k; ++j) s -= pSeries[j] * slope[k - j];
        slope[k] = s / pSeries[0];
    }
    Cd smoothAtPole = 0.0;
    for (int j = 1; j < n; ++j) {
        const Cd u = std::polar(1.0, 2.0 * kPi * j / n);
        smoothAtPole -= u / static_cast<double>(n) * std::log(1.0 - 1.0 / u);
    }
    std::vector<double> h(kArmTerms, 0.0);
    h[0] = -n * smoothAtPole.real();  // the imaginary parts cancel in conjugate pairs
    for (int k = 1; k < kArmTerms; ++k) h[k] = slope[k - 1] / k;
    // E = exp(−n·w) = ε·exp(h(ε)); the corners lie at |E| = exp(−π·cot(π/n)).
    arm_ = revert(h, 1, kArmTerms);
    armRadius_ = seriesReach(arm_, std::exp(-kPi / std::tan(kPi / n)));

    // A corner: with t = 1/ζ, (n − 1)(w − w_c) = t^(n−1)·C(tⁿ),
    // C(X) = Σ (n − 1)/(n − 1 + mn)·X^m; in the corner's own turn s of t
    // (tⁿ = −sⁿ) and τ = that to the power 1/(n − 1): τ = s·C(−sⁿ)^(1/(n−1)).
    std::vector<double> cSeries(kCornerTerms);
    for (int m = 0; m < kCornerTerms; ++m) cSeries[m] = (n - 1.0) / (n - 1.0 + m * n);
    std::vector<double> psi = seriesLog(cSeries, kCornerTerms);
    for (int m = 0; m < kCornerTerms; ++m) psi[m] *= (m % 2 == 0 ? 1.0 : -1.0) / (n - 1.0);
    corner_ = revert(psi, n, kCornerTerms);
    // The neighbouring corners' images bound it from afar: the side 2·sin(π/n)·R.
    const double side = 2.0 * std::sin(kPi / n) * cornerRadius_;
    cornerReach_ = seriesReach(corner_, std::pow((n - 1.0) * side, n / (n - 1.0)));

    for (int k = 0; k < n; ++k) {
        const double theta = -kPi * (2.0 * k + 1.0) / n;
        armUnit_.push_back(std::polar(1.0, 2.0 * kPi * k / n));
        cornerPoint_.push_back(std::polar(cornerRadius_, -theta));
        cornerTurn_.push_back(std::polar(1.0, -(n - 1.0) * theta));
        cornerBack_.push_back(std::polar(1.0, theta));
    }
}

double MercatorStar::armHalfWidth() const noexcept { return kPi / n_; }

Cd MercatorStar::forward(Cd zeta) const noexcept {
    Cd w = 0.0;
    for (int k = 0; k < n_; ++k) {
        const Cd u = std::polar(1.0, 2.0 * kPi * k / n_);
        w -= u / static_cast<double>(n_) * std::log(1.0 - zeta / u);
    }
    return w;
}

double MercatorStar::scaleRatio(Cd zeta) const noexcept {
    return (1.0 + std::norm(zeta)) / std::abs(1.0 - integerPower(zeta, n_));
}

double MercatorStar::reachAtScale(double ratio) const noexcept {
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 100; ++i) {
        const double x = 0.5 * (lo + hi);
        (scaleRatio(x) < ratio ? lo : hi) = x;
    }
    return forward(lo).real();
}

bool MercatorStar::contains(Cd w, double reach) const noexcept {
    const double apothem = cornerRadius_ * std::cos(kPi / n_);
    const double half = armHalfWidth();
    bool inPolygon = true;
    for (int k = 0; k < n_; ++k) {
        const Cd along = w * std::polar(1.0, -2.0 * kPi * k / n_);
        if (std::fabs(along.imag()) <= half && along.real() >= 0.0 && along.real() <= reach) return true;
        if (along.real() > apothem) inPolygon = false;
    }
    return inPolygon;
}

MercatorStar::Point MercatorStar::inverse(Cd w) const noexcept {
    const int n = n_;
    // Each series' ratio to its reach, as a logarithm per term: the series
    // with the most negative (ratio × terms) converges fastest, and a sum
    // stops after as many terms as give 1e-9.
    constexpr double kLogTolerance = -20.7;
    const auto termsFor = [](double logRatio, int most) {
        return logRatio < 0.0 ? std::clamp(static_cast<int>(kLogTolerance / logRatio) + 1, 1, most) : most;
    };
    const double r2 = std::norm(w);
    if (r2 < 1e-300) return {w, false};
    const double logCentre = n * (0.5 * std::log(r2) - std::log(cornerRadius_));
    // Well inside the corners the centre series wins.
    if (logCentre < -0.35 * n) {
        const int terms = termsFor(logCentre, kCentreTerms);
        return {w * horner(centre_, integerPower(w, n), terms), false};
    }
    const double sector = std::atan2(w.imag(), w.real()) * n / (2.0 * kPi);
    const int arm = static_cast<int>(std::lround(sector) % n + n) % n;
    const Cd along = w * std::conj(armUnit_[arm]);
    const double logArm = -n * along.real() - std::log(armRadius_);
    const int corner = (static_cast<int>(std::floor(sector)) % n + n) % n;
    const Cd sigma = (n - 1.0) * (w - cornerPoint_[corner]) * cornerTurn_[corner];
    const double sigma2 = std::norm(sigma);
    const double logCorner = sigma2 > 0.0 ? 0.5 * n / (n - 1.0) * std::log(sigma2) - std::log(cornerReach_) : -1e300;

    const double centreError = kCentreTerms * logCentre, armError = kArmTerms * logArm;
    const double cornerError = kCornerTerms * logCorner;
    if (cornerError < centreError && cornerError < armError) {
        if (!(sigma2 > 0.0)) return {0.0, true};
        const Cd tau =
            n == 3 ? std::sqrt(sigma) : std::polar(std::pow(sigma2, 0.5 / (n - 1.0)), std::arg(sigma) / (n - 1.0));
        const Cd s = tau * horner(corner_, integerPower(tau, n), termsFor(logCorner, kCornerTerms));
        return {s * cornerBack_[corner], true};
    }
    if (armError < centreError) {
        const Cd e = std::exp(-static_cast<double>(n) * along);
        return {armUnit_[arm] * (1.0 - e * horner(arm_, e, termsFor(logArm, kArmTerms))), false};
    }
    return {w * horner(centre_, integerPower(w, n), termsFor(logCentre, kCentreTerms)), false};
}

}  // namespace globaro
