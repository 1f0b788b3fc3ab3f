#include "projection/curved_outline.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace globaro {

namespace {

using Point = OutlineMap::Point;

constexpr double kPi = std::numbers::pi;
constexpr int kTable = 2048;      // polar radius samples per period
constexpr int kSamples = 2048;    // rim samples of Theodorsen's equation per period
constexpr int kTerms = 256;       // series terms kept
constexpr int kIterations = 400;  // cap on the fixed-point iteration
constexpr double kDamping = 0.5;  // share of each new correspondence taken
constexpr int kBisections = 44;   // halvings of a ray to find the outline
constexpr int kNewtonSteps = 10;  // cap on the Newton steps of the inverse
constexpr double kTailTolerance = 1e-15;

// In-place radix-2 FFT of a power-of-two length; `inverse` uses e^{+i…}
// without the 1/N.
void fft(std::vector<Point>& a, bool inverse) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = 2.0 * kPi / static_cast<double>(len) * (inverse ? 1.0 : -1.0);
        const Point step = std::polar(1.0, angle);
        for (std::size_t i = 0; i < n; i += len) {
            Point w = 1.0;
            for (std::size_t k = 0; k < len / 2; ++k) {
                const Point u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// The radius along the ray of angle θ where `inside` turns false, in (0, reach].
double rayExit(const std::function<bool(Point)>& inside, double theta, double reach) {
    const Point e = std::polar(1.0, theta);
    double lo = 0.0, hi = reach;
    if (inside(hi * e)) return hi;
    for (int i = 0; i < kBisections; ++i) {
        const double mid = 0.5 * (lo + hi);
        (inside(mid * e) ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// Linear interpolation in a periodic table over [0, period).
double periodicLookup(const std::vector<double>& table, double theta, double period) noexcept {
    const double size = static_cast<double>(table.size());
    double t = theta / period;
    t = (t - std::floor(t)) * size;
    const int i = std::min(static_cast<int>(t), static_cast<int>(table.size()) - 1);
    const double f = t - i;
    const double next = table[(static_cast<std::size_t>(i) + 1) % table.size()];
    return table[static_cast<std::size_t>(i)] * (1.0 - f) + next * f;
}

}  // namespace

Point OutlineMap::Series::eval(Point z, Point* derivative) const noexcept {
    Point u = 1.0;
    for (int k = 0; k < n; ++k) u *= z;
    const double au = std::abs(u);
    int terms = static_cast<int>(c.size());
    if (au < 1.0 && au > 0.0 && bound > 0.0) {
        const double needed = std::log(kTailTolerance / bound) / std::log(au) + 2.0;
        if (needed < terms) terms = std::max(2, static_cast<int>(needed));
    }
    // g = Σ c_m u^m and u·dg/du = Σ m c_m u^m, by Horner.
    Point g = 0.0, ug = 0.0;
    for (int m = terms - 1; m >= 1; --m) {
        g = g * u + c[static_cast<std::size_t>(m)];
        ug = ug * u + static_cast<double>(m) * c[static_cast<std::size_t>(m)];
    }
    g = g * u + c[0];
    ug = ug * u;
    const Point e = std::exp(g);
    if (derivative) *derivative = e * (1.0 + static_cast<double>(n) * ug);
    return z * e;
}

OutlineMap::OutlineMap(int fold, const Inside& inside, double reach)
    : n_(std::max(1, fold)), period_(2.0 * kPi / n_), reach_(reach) {
    outline_.resize(kTable);
    for (int i = 0; i < kTable; ++i)
        outline_[static_cast<std::size_t>(i)] = rayExit(inside, period_ * i / kTable, reach);
    reach_ = *std::max_element(outline_.begin(), outline_.end());
    for (int i = 0; i < kTable; ++i) {
        const double a = outline_[static_cast<std::size_t>(i)],
                     b = outline_[static_cast<std::size_t>((i + 1) % kTable)];
        steepness_ = std::max(steepness_, std::abs(std::log(b / a)) / (period_ / kTable));
    }

    // Theodorsen's equation over one period, s = nφ ∈ [0, 2π).
    std::vector<double> phi(kSamples), theta(kSamples);
    for (int j = 0; j < kSamples; ++j)
        theta[static_cast<std::size_t>(j)] = phi[static_cast<std::size_t>(j)] = period_ * j / kSamples;
    std::vector<Point> spectrum(kSamples);
    const auto transformLogRadius = [&] {
        for (int j = 0; j < kSamples; ++j)
            spectrum[static_cast<std::size_t>(j)] = std::log(radius(theta[static_cast<std::size_t>(j)]));
        fft(spectrum, false);
        for (Point& v : spectrum) v /= static_cast<double>(kSamples);
    };
    for (int iteration = 0; iteration < kIterations; ++iteration) {
        transformLogRadius();
        // The analytic part without its mean: 2·L̂_m for 0 < m < M/2.
        std::vector<Point> h(kSamples, 0.0);
        for (int m = 1; m < kSamples / 2; ++m)
            h[static_cast<std::size_t>(m)] = 2.0 * spectrum[static_cast<std::size_t>(m)];
        fft(h, true);
        double change = 0.0;
        for (int j = 0; j < kSamples; ++j) {
            const double next = phi[static_cast<std::size_t>(j)] + h[static_cast<std::size_t>(j)].imag();
            const double step = kDamping * (next - theta[static_cast<std::size_t>(j)]);
            theta[static_cast<std::size_t>(j)] += step;
            change = std::max(change, std::abs(step));
        }
        if (change < 1e-13) break;
    }
    transformLogRadius();
    series_.n = n_;
    series_.c.resize(kTerms);
    series_.c[0] = spectrum[0].real();
    for (int m = 1; m < kTerms; ++m) {
        // An exponential filter of order 8: the first quarter of the terms
        // kept to within 5e-4, the last ones damped away.
        const double x = static_cast<double>(m) / kTerms;
        const double filter = std::exp(-36.0 * std::pow(x, 8.0));
        series_.c[static_cast<std::size_t>(m)] = 2.0 * spectrum[static_cast<std::size_t>(m)] * filter;
        series_.bound = std::max(series_.bound, std::abs(series_.c[static_cast<std::size_t>(m)]));
    }

    // The table of disc points for the inverse: the rim from the boundary
    // correspondence, the inside by continuation from the centre.
    gridRadii_ = 33;
    gridAngles_ = 256;
    grid_.assign(static_cast<std::size_t>(gridRadii_ * (gridAngles_ + 1)), 0.0);
    for (int a = 0; a <= gridAngles_; ++a) {
        const double angle = period_ * a / gridAngles_;
        // φ at θ = angle, from the monotone samples θ_j (wrapped by periods).
        double rimPhi = angle;
        {
            const double base = theta[0];
            double t = angle - base;
            const double turns = std::floor(t / period_);
            t -= turns * period_;
            const double target = base + t;
            auto it = std::upper_bound(theta.begin(), theta.end(), target);
            const std::size_t j = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, (it - theta.begin()) - 1));
            const double t0 = theta[j], p0 = phi[j];
            const double t1 = j + 1 < theta.size() ? theta[j + 1] : theta[0] + period_;
            const double p1 = j + 1 < phi.size() ? phi[j + 1] : period_;
            rimPhi = p0 + (p1 - p0) * (target - t0) / std::max(1e-300, t1 - t0) + turns * period_;
        }
        const Point e = std::polar(1.0, angle);
        const double rim = radius(angle);
        Point z = 0.0;
        for (int r = 1; r < gridRadii_; ++r) {
            const double t = static_cast<double>(r) / (gridRadii_ - 1);
            const Point w = t * rim * e;
            Point start =
                r == 1 ? w / std::exp(series_.c[0]) : z * (t / (static_cast<double>(r - 1) / (gridRadii_ - 1)));
            if (r == gridRadii_ - 1) start = std::polar(1.0, rimPhi);
            for (int k = 0; k < 40 && r < gridRadii_ - 1; ++k) {
                Point d;
                const Point f = series_.eval(start, &d);
                const Point step = (f - w) / d;
                start -= step;
                if (std::abs(start) > 1.0) start /= std::abs(start);
                if (std::abs(step) < 1e-14) break;
            }
            z = start;
            grid_[static_cast<std::size_t>(a * gridRadii_ + r)] = z;
        }
    }
}

double OutlineMap::radius(double theta) const noexcept { return periodicLookup(outline_, theta, period_); }

Point OutlineMap::guess(Point w) const noexcept {
    // w lies in the first period, arg w ∈ [0, period).
    const double angle = std::atan2(w.imag(), w.real());
    const double t = std::clamp(std::abs(w) / radius(angle), 0.0, 1.0) * (gridRadii_ - 1);
    const double s = std::clamp(angle / period_, 0.0, 1.0) * gridAngles_;
    const int r = std::min(static_cast<int>(t), gridRadii_ - 2), a = std::min(static_cast<int>(s), gridAngles_ - 1);
    const double fr = t - r, fa = s - a;
    const auto at = [&](int aa, int rr) { return grid_[static_cast<std::size_t>(aa * gridRadii_ + rr)]; };
    return (1.0 - fa) * ((1.0 - fr) * at(a, r) + fr * at(a, r + 1)) +
           fa * ((1.0 - fr) * at(a + 1, r) + fr * at(a + 1, r + 1));
}

bool OutlineMap::seriesInverse(Point w, Point& z) const noexcept {
    double angle = std::atan2(w.imag(), w.real());
    const double turns = std::floor(angle / period_);
    const Point back = std::polar(1.0, turns * period_);
    w /= back;
    Point x = guess(w);
    for (int k = 0; k < kNewtonSteps; ++k) {
        Point d;
        const Point f = series_.eval(x, &d);
        if (!(std::abs(d) > 0.0)) break;
        const Point step = (f - w) / d;
        x -= step;
        if (std::abs(x) > 1.0) x /= std::abs(x);
        // Newton's steps square the error: after a step below 1e-8 the point
        // is good to about 1e-16, far below what a float direction holds.
        if (std::abs(step) < 1e-8) break;
    }
    if (!std::isfinite(x.real()) || !std::isfinite(x.imag())) return false;
    z = x * back;
    return true;
}

bool OutlineMap::inverse(Point w, Point& z) const noexcept {
    if (std::abs(w) > radius(std::atan2(w.imag(), w.real()))) return false;
    return seriesInverse(w, z);
}

Point OutlineMap::forward(Point z) const noexcept { return series_.eval(z, nullptr); }

}  // namespace globaro
