#include "projection/curved_outline.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/fast_math.h"

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
constexpr int kCentreTerms = 16;           // terms of the centre's power series in zⁿ, at most
constexpr int kCentreStep = 4;             // and in steps of
constexpr double kLocalTolerance = 1e-14;  // bound on a local expansion's relative error in its cell
constexpr int kMajorantDegree = 28;        // degrees of the bound's majorant series
constexpr int kMaxAngles = 8192;           // nodes of a ring over one period, at most

// a·t + b, in real arithmetic: the library's product checks every result
// for infinite parts, which the finite sums here never have.
inline Point mulAdd(Point a, Point t, Point b) noexcept {
    return {a.real() * t.real() - a.imag() * t.imag() + b.real(), a.real() * t.imag() + a.imag() * t.real() + b.imag()};
}

inline Point mul(Point a, Point b) noexcept { return mulAdd(a, b, 0.0); }

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
                const Point u = a[i + k], v = mul(a[i + k + len / 2], w);
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w = mul(w, step);
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
    for (int k = 0; k < n; ++k) u = mul(u, z);
    const double au = std::abs(u);
    int terms = static_cast<int>(c.size());
    if (au < 1.0 && au > 0.0 && bound > 0.0) {
        const double needed = std::log(kTailTolerance / bound) / std::log(au) + 2.0;
        if (needed < terms) terms = std::max(2, static_cast<int>(needed));
    }
    // g = Σ c_m u^m and u·dg/du = Σ m c_m u^m, by Horner.
    Point g = 0.0, ug = 0.0;
    for (int m = terms - 1; m >= 1; --m) {
        g = mulAdd(g, u, c[static_cast<std::size_t>(m)]);
        ug = mulAdd(ug, u, static_cast<double>(m) * c[static_cast<std::size_t>(m)]);
    }
    g = g * u + c[0];
    ug = ug * u;
    const Point e = std::exp(g);
    if (derivative) *derivative = e * (1.0 + static_cast<double>(n) * ug);
    return z * e;
}

void OutlineMap::buildExpansions() {
    const int terms = static_cast<int>(series_.c.size());
    turns_.resize(static_cast<std::size_t>(n_));
    for (int k = 0; k < n_; ++k) turns_[static_cast<std::size_t>(k)] = std::polar(1.0, period_ * k);

    // About the centre, f = z·E(zⁿ) with E = exp(Σ c_m u^m) = Σ e_j u^j
    // (j·e_j = Σ_{i=1..j} i·c_i·e_{j−i}), cut after kCentreTerms terms:
    // the centre disc reaches as far as the rest stays below the tolerance.
    std::vector<Point> e(static_cast<std::size_t>(terms));
    e[0] = std::exp(series_.c[0]);
    for (int j = 1; j < terms; ++j) {
        Point v = 0.0;
        for (int i = 1; i <= j; ++i)
            v += static_cast<double>(i) * series_.c[static_cast<std::size_t>(i)] * e[static_cast<std::size_t>(j - i)];
        e[static_cast<std::size_t>(j)] = v / static_cast<double>(j);
    }
    centre_.assign(e.begin(), e.begin() + std::min(terms, kCentreTerms));
    // centreReach_[k]: the largest |u|² where the first k·kCentreStep terms
    // leave a rest below the tolerance (relative to e₀).
    const auto centreTail = [&](int from, double u) {
        double sum = 0.0, power = std::pow(u, from);
        for (int j = from; j < terms; ++j, power *= u) sum += std::abs(e[static_cast<std::size_t>(j)]) * power;
        return sum / std::abs(e[0]);
    };
    centreReach_.assign(kCentreTerms / kCentreStep + 1, 0.0);
    for (std::size_t k = 1; k < centreReach_.size(); ++k) {
        double lo = 0.0, hi = 1.0;
        for (int i = 0; i < 50; ++i) {
            const double mid = 0.5 * (lo + hi);
            (centreTail(static_cast<int>(k) * kCentreStep, mid) < kLocalTolerance ? lo : hi) = mid;
        }
        centreReach_[k] = lo * lo;
    }
    const double inner = std::pow(std::sqrt(centreReach_.back()), 1.0 / n_);
    centreReach2_ = inner * inner;
    if (!(inner < 1.0 - 1e-9)) {
        centreReach2_ = 1.0 + 1e-9;
        return;
    }

    // The relative error of the local expansion about a node at radius r₀,
    // over |t| ≤ δ, is bounded by the tail beyond kDegree of the majorant
    // exp(Σ_m |c_m|·((r₀ + t)^{nm} − r₀^{nm})): its coefficients bound those
    // of f/f(z₀) about z₀, every term's phases taken at their worst.
    const auto tail = [&](double r0, double delta) {
        std::array<double, kMajorantDegree + 1> h{}, e{};
        for (int m = 1; m < terms; ++m) {
            const double size = std::abs(series_.c[static_cast<std::size_t>(m)]);
            if (!(size > 0.0)) continue;
            const int power = n_ * m;
            double binomial = size * std::pow(r0, power);  // |c_m|·C(N, k)·r₀^{N−k}
            for (int k = 1; k <= kMajorantDegree && k <= power; ++k) {
                binomial *= static_cast<double>(power - k + 1) / (k * r0);
                h[static_cast<std::size_t>(k)] += binomial;
            }
        }
        e[0] = 1.0;
        double sum = 0.0, scale = 1.0;
        for (int k = 1; k <= kMajorantDegree; ++k) {
            double v = 0.0;
            for (int j = 1; j <= k; ++j) v += j * h[static_cast<std::size_t>(j)] * e[static_cast<std::size_t>(k - j)];
            e[static_cast<std::size_t>(k)] = v / k;
            scale *= delta;
            if (k > kDegree) sum += e[static_cast<std::size_t>(k)] * scale;
        }
        return sum;
    };

    for (double inner = std::sqrt(centreReach2_); inner < 1.0;) {
        // The widest ring [inner, inner + 2h] whose cells (within √2·h of
        // their nodes) keep the bound; the last one ends at the rim.
        const auto fits = [&](double h) { return tail(inner + h, std::numbers::sqrt2 * h) < kLocalTolerance; };
        double h = 0.5 * (1.0 - inner);
        if (!fits(h)) {
            double lo = 1e-7 * h, hi = h;
            for (int i = 0; i < 30; ++i) {
                const double mid = std::sqrt(lo * hi);
                (fits(mid) ? lo : hi) = mid;
            }
            h = lo;
        }
        Ring ring;
        ring.inner = inner;
        ring.radius = inner + h;
        ring.reach2 = 2.0 * h * h;
        ring.angles = 4;
        while (ring.angles < kMaxAngles && ring.radius * period_ / ring.angles > 2.0 * h) ring.angles *= 2;
        ring.first = nodes_.size();
        const int a = ring.angles;

        // S_k(j) = Σ_m c_m C(nm, k) r₀^{nm} e^{2πimj/a}, the terms folded
        // modulo a: then the k-th Taylor coefficient of log(f/z) at the node
        // z₀ = r₀e^{i·period·j/a} is S_k(j)/z₀^k.
        std::vector<std::vector<Point>> sums(kDegree + 1, std::vector<Point>(static_cast<std::size_t>(a), 0.0));
        for (int m = 0; m < terms; ++m) {
            const int power = n_ * m;
            double binomial = std::pow(ring.radius, power);
            for (int k = 0; k <= kDegree && k <= power; ++k) {
                sums[static_cast<std::size_t>(k)][static_cast<std::size_t>(m % a)] +=
                    series_.c[static_cast<std::size_t>(m)] * binomial;
                binomial *= static_cast<double>(power - k) / (k + 1);
            }
        }
        for (auto& s : sums) fft(s, true);
        for (int j = 0; j <= a; ++j) {
            Node node;
            if (j == a) {
                // The node closing the period: the first one turned, as
                // f(ωz) = ω·f(z) gives Σ a_k ω^{1−k} t^k about ωz₀.
                const Node& first = nodes_[ring.first];
                const Point omega = std::polar(1.0, period_);
                node.at = first.at * omega;
                Point factor = omega;
                for (int k = 0; k <= kDegree; ++k, factor /= omega)
                    node.a[static_cast<std::size_t>(k)] = first.a[static_cast<std::size_t>(k)] * factor;
                nodes_.push_back(node);
                break;
            }
            node.at = std::polar(ring.radius, period_ * j / a);
            std::array<Point, kDegree + 1> h{}, e{};
            Point power = 1.0;
            for (int k = 0; k <= kDegree; ++k, power /= node.at)
                h[static_cast<std::size_t>(k)] = sums[static_cast<std::size_t>(k)][static_cast<std::size_t>(j)] * power;
            // e = exp(h) by k·e_k = Σ_{i=1..k} i·h_i·e_{k−i}; f = (z₀ + t)·e.
            e[0] = std::exp(h[0]);
            for (int k = 1; k <= kDegree; ++k) {
                Point v = 0.0;
                for (int i = 1; i <= k; ++i)
                    v += static_cast<double>(i) * h[static_cast<std::size_t>(i)] * e[static_cast<std::size_t>(k - i)];
                e[static_cast<std::size_t>(k)] = v / static_cast<double>(k);
            }
            node.a[0] = node.at * e[0];
            for (int k = 1; k <= kDegree; ++k)
                node.a[static_cast<std::size_t>(k)] =
                    node.at * e[static_cast<std::size_t>(k)] + e[static_cast<std::size_t>(k - 1)];
            nodes_.push_back(node);
        }
        rings_.push_back(ring);
        ringInner_.push_back(inner);
        inner += 2.0 * h;
    }
    // A hair past the rim, where the last ring's bound still holds.
    tableOuter_ = 1.0 + 1e-9;
}

Point OutlineMap::evaluate(Point z, Point* derivative, Local* local) const noexcept {
    const Node* node = nullptr;
    Point omega = 1.0, t = 0.0;
    if (local && local->node) {
        // The expansion of the last call while z lies where its bound holds.
        t = mulAdd(z, std::conj(local->omega), -local->node->at);
        if (std::norm(t) <= local->reach2) node = local->node, omega = local->omega;
    }
    if (!node) {
        const double r2 = std::norm(z);
        if (r2 < centreReach2_) {
            // f = z·E(u), f′ = E(u) + n·u·E′(u), u = zⁿ.
            Point u = z;
            for (int k = 1; k < n_; ++k) u = mul(u, z);
            // The fewest terms whose rest stays below the tolerance here.
            const double u2 = std::norm(u);
            int terms = 1;
            while (terms < static_cast<int>(centreReach_.size()) && u2 > centreReach_[static_cast<std::size_t>(terms)])
                ++terms;
            terms = std::min(static_cast<int>(centre_.size()), terms * kCentreStep);
            Point e = centre_[static_cast<std::size_t>(terms - 1)], ue = 0.0;
            for (int j = terms - 2; j >= 0; --j) {
                ue = mulAdd(ue, u, e);
                e = mulAdd(e, u, centre_[static_cast<std::size_t>(j)]);
            }
            if (derivative) *derivative = mulAdd(static_cast<double>(n_) * u, ue, e);
            return mul(z, e);
        }
        if (rings_.empty() || !(r2 <= tableOuter_ * tableOuter_)) return series_.eval(z, derivative);
        const double r = std::sqrt(r2);
        const std::size_t ringIndex =
            static_cast<std::size_t>(std::upper_bound(ringInner_.begin(), ringInner_.end(), r) - ringInner_.begin()) -
            1;
        const Ring& ring = rings_[ringIndex];
        // Into the first period: f(ωz) = ω·f(z), f′(ωz) = f′(z).
        double s = fast_math::atan2(z.imag(), z.real()) / period_;
        const double turns = std::floor(s);
        s -= turns;
        const int turn = static_cast<int>(turns) % n_;
        omega = turns_[static_cast<std::size_t>(turn < 0 ? turn + n_ : turn)];
        const int j = std::min(static_cast<int>(s * ring.angles + 0.5), ring.angles);
        node = &nodes_[ring.first + static_cast<std::size_t>(j)];
        t = mulAdd(z, std::conj(omega), -node->at);
        if (local) *local = {node, omega, ring.reach2};
    }
    Point f = node->a[kDegree], d = 0.0;
    for (int k = kDegree - 1; k >= 0; --k) {
        d = mulAdd(d, t, f);
        f = mulAdd(f, t, node->a[static_cast<std::size_t>(k)]);
    }
    if (derivative) *derivative = d;
    return mul(omega, f);
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

    buildExpansions();

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
                const Point f = evaluate(start, &d, nullptr);
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

Point OutlineMap::guess(Point w, double angle, double rim) const noexcept {
    // w lies in the first period, arg w = angle ∈ [0, period), on the ray
    // that leaves the outline at radius `rim`.
    const double t = std::clamp(std::sqrt(std::norm(w)) / rim, 0.0, 1.0) * (gridRadii_ - 1);
    const double s = std::clamp(angle / period_, 0.0, 1.0) * gridAngles_;
    const int r = std::min(static_cast<int>(t), gridRadii_ - 2), a = std::min(static_cast<int>(s), gridAngles_ - 1);
    const double fr = t - r, fa = s - a;
    const auto at = [&](int aa, int rr) { return grid_[static_cast<std::size_t>(aa * gridRadii_ + rr)]; };
    return (1.0 - fa) * ((1.0 - fr) * at(a, r) + fr * at(a, r + 1)) +
           fa * ((1.0 - fr) * at(a + 1, r) + fr * at(a + 1, r + 1));
}

bool OutlineMap::inverse(Point w, Point& z) const noexcept {
    // Into the first period: the angle, the outline's radius on its ray.
    double s = fast_math::atan2(w.imag(), w.real()) / period_;
    const double turns = std::floor(s);
    s -= turns;
    const double angle = s * period_;
    const double rim = periodicLookup(outline_, angle, period_);
    if (std::norm(w) > rim * rim) return false;
    const int turn = static_cast<int>(turns) % n_;
    const Point back = turns_[static_cast<std::size_t>(turn < 0 ? turn + n_ : turn)];
    w = mul(w, std::conj(back));
    Point x = guess(w, angle, rim);
    Local local;
    for (int k = 0; k < kNewtonSteps; ++k) {
        Point d;
        const Point f = evaluate(x, &d, &local);
        const double slope = std::norm(d);
        if (!(slope > 0.0)) break;
        const Point step = mul(f - w, std::conj(d)) / slope;
        x -= step;
        const double size = std::norm(x);
        if (size > 1.0) x /= std::sqrt(size);
        // Newton's steps square the error: after a step below 1e-7 the point
        // is good to about 1e-14, far below what a float direction holds.
        if (std::norm(step) < 1e-14) break;
    }
    if (!std::isfinite(x.real()) || !std::isfinite(x.imag())) return false;
    z = mul(x, back);
    return true;
}

Point OutlineMap::forward(Point z) const noexcept { return evaluate(z, nullptr, nullptr); }

Point OutlineMap::seriesForward(Point z) const noexcept { return series_.eval(z, nullptr); }

}  // namespace globaro
