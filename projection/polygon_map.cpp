#include "projection/polygon_map.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <numbers>

namespace globaro {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kJacobiNodes = 16;
constexpr int kTableCells = 192;  // grid steps across the polygon's longer side
constexpr int kMaxDepth = 30;     // halvings of a quadrature segment towards a prevertex
// The corner series serve |σ| ≤ 0.3 (σ in units of the distance to the next
// prevertex, where their first singularity lies): 24 terms leave 0.3²⁴ ≈
// 3·10⁻¹³ of the neglected terms' size.
constexpr double kCornerReach = 0.3;

// Gauss–Legendre, eight points on [−1, 1] (the positive half; the rule is even).
constexpr double kLegendreX[4] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267, 0.9602898564975363};
constexpr double kLegendreW[4] = {0.3626837833783620, 0.3137066458778873, 0.2223810344533745, 0.1012285362903763};

// The plain product: std::complex's own takes care over infinities and NaNs
// that costs more than the rest of a sample.
inline ComplexD mul(ComplexD a, ComplexD b) noexcept {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// |z| without hypot's guard against overflow, which costs more than the rest.
inline double magnitude(ComplexD z) noexcept { return std::sqrt(z.real() * z.real() + z.imag() * z.imag()); }

inline ComplexD divide(ComplexD a, ComplexD b) noexcept {
    const double d = 1.0 / (b.real() * b.real() + b.imag() * b.imag());
    return {(a.real() * b.real() + a.imag() * b.imag()) * d, (a.imag() * b.real() - a.real() * b.imag()) * d};
}

ComplexD integerPower(ComplexD z, int n) noexcept {
    ComplexD r{1.0, 0.0};
    for (int i = 0; i < n; ++i) r = mul(r, z);
    return r;
}

double pointToSegment(ComplexD p, ComplexD a, ComplexD b) noexcept {
    const ComplexD d = b - a;
    const double len2 = std::norm(d);
    double t = len2 > 0.0 ? ((p.real() - a.real()) * d.real() + (p.imag() - a.imag()) * d.imag()) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return magnitude(p - (a + t * d));
}

// Nodes and weights of the Gauss rule for the weight (1 − x)^a on [−1, 1]
// (Golub and Welsch: the eigenvalues of the Jacobi matrix of the orthogonal
// polynomials and the first components of its eigenvectors; the symmetric
// tridiagonal matrix is diagonalised by cyclic Jacobi rotations).
void gaussJacobi(int count, double a, std::vector<double>& x, std::vector<double>& w) {
    const double b = 0.0;
    std::vector<double> m(static_cast<std::size_t>(count * count), 0.0), v(m.size(), 0.0);
    const auto at = [count](std::vector<double>& s, int i, int j) -> double& { return s[i * count + j]; };
    for (int k = 0; k < count; ++k) {
        const double s = 2.0 * k + a + b;
        at(m, k, k) = k == 0 ? (b - a) / (a + b + 2.0) : (b * b - a * a) / (s * (s + 2.0));
        at(v, k, k) = 1.0;
        if (k > 0) {
            const double off = std::sqrt(4.0 * k * (k + a) * (k + b) * (k + a + b) / (s * s * (s + 1.0) * (s - 1.0)));
            at(m, k - 1, k) = at(m, k, k - 1) = off;
        }
    }
    for (int sweep = 0; sweep < 60; ++sweep) {
        double off = 0.0;
        for (int p = 0; p < count; ++p)
            for (int q = p + 1; q < count; ++q) off += at(m, p, q) * at(m, p, q);
        if (off < 1e-30) break;
        for (int p = 0; p < count; ++p)
            for (int q = p + 1; q < count; ++q) {
                const double apq = at(m, p, q);
                if (std::fabs(apq) < 1e-300) continue;
                const double theta = (at(m, q, q) - at(m, p, p)) / (2.0 * apq);
                const double t = (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (int k = 0; k < count; ++k) {
                    const double kp = at(m, k, p), kq = at(m, k, q);
                    at(m, k, p) = c * kp - s * kq, at(m, k, q) = s * kp + c * kq;
                }
                for (int k = 0; k < count; ++k) {
                    const double pk = at(m, p, k), qk = at(m, q, k);
                    at(m, p, k) = c * pk - s * qk, at(m, q, k) = s * pk + c * qk;
                    const double vp = at(v, k, p), vq = at(v, k, q);
                    at(v, k, p) = c * vp - s * vq, at(v, k, q) = s * vp + c * vq;
                }
            }
    }
    const double mu0 = std::pow(2.0, a + 1.0) / (a + 1.0);  // ∫ (1 − x)^a dx
    x.resize(count), w.resize(count);
    for (int i = 0; i < count; ++i) x[i] = at(m, i, i), w[i] = mu0 * at(v, 0, i) * at(v, 0, i);
}

// Solves J·d = r in place (Gaussian elimination with partial pivoting);
// false when J is singular.
bool solveLinear(std::vector<double> j, std::vector<double>& r, int size) {
    for (int c = 0; c < size; ++c) {
        int pivot = c;
        for (int i = c + 1; i < size; ++i)
            if (std::fabs(j[i * size + c]) > std::fabs(j[pivot * size + c])) pivot = i;
        if (!(std::fabs(j[pivot * size + c]) > 1e-300)) return false;
        if (pivot != c) {
            for (int k = 0; k < size; ++k) std::swap(j[c * size + k], j[pivot * size + k]);
            std::swap(r[c], r[pivot]);
        }
        for (int i = c + 1; i < size; ++i) {
            const double f = j[i * size + c] / j[c * size + c];
            for (int k = c; k < size; ++k) j[i * size + k] -= f * j[c * size + k];
            r[i] -= f * r[c];
        }
    }
    for (int c = size - 1; c >= 0; --c) {
        for (int k = c + 1; k < size; ++k) r[c] -= j[c * size + k] * r[k];
        r[c] /= j[c * size + c];
    }
    return true;
}

double norm2(const std::vector<double>& r) {
    double s = 0.0;
    for (double v : r) s += v * v;
    return std::sqrt(s);
}

// The series of log u from the K coefficients of u (u₀ ≠ 0; those past
// `degree` are zero), all but its constant term, by u·L′ = u′.
template <std::size_t K>
void logSeries(const std::array<ComplexD, K>& u, int degree, std::array<ComplexD, K>& log) noexcept {
    const ComplexD inverse = divide({1.0, 0.0}, u[0]);
    log[0] = {0.0, 0.0};
    for (int k = 1; k < static_cast<int>(K); ++k) {
        ComplexD t = k <= degree ? static_cast<double>(k) * u[k] : ComplexD(0.0, 0.0);
        for (int i = std::max(1, k - degree); i < k; ++i) t -= static_cast<double>(i) * mul(log[i], u[k - i]);
        log[k] = mul(t, inverse) / static_cast<double>(k);
    }
}

// The series of exp(s) by k·E_k = Σ_{i≥1} i·s_i·E_{k−i}.
template <std::size_t K>
void expSeries(const std::array<ComplexD, K>& s, std::array<ComplexD, K>& e) noexcept {
    e[0] = std::exp(s[0]);
    for (int k = 1; k < static_cast<int>(K); ++k) {
        ComplexD t{0.0, 0.0};
        for (int i = 1; i <= k; ++i) t += static_cast<double>(i) * s[i] * e[k - i];
        e[k] = t / static_cast<double>(k);
    }
}

// Σ c_i·x^(i+1) and its derivative by Horner's rule.
template <std::size_t K>
void powerSeries(const std::array<ComplexD, K>& c, ComplexD x, ComplexD& value, ComplexD& slope) noexcept {
    constexpr int n = static_cast<int>(K);
    value = c[n - 1], slope = static_cast<double>(n) * c[n - 1];
    for (int k = n - 2; k >= 0; --k) {
        value = mul(value, x) + c[k];
        slope = mul(slope, x) + static_cast<double>(k + 1) * c[k];
    }
    value = mul(value, x);
}

// z^p on the principal branch.
inline ComplexD principalPower(ComplexD z, double p) noexcept {
    const double r = magnitude(z);
    if (!(r > 0.0)) return {0.0, 0.0};
    return std::polar(std::pow(r, p), p * std::atan2(z.imag(), z.real()));
}

}  // namespace

PolygonMap::~PolygonMap() = default;

PolygonMap::PolygonMap(const PolygonDesign& design) : n_(std::max(design.order, 1)), design_(design.sector) {
    m_ = static_cast<int>(design_.size());
    centre_ = design.centre;
    const ComplexD turn = std::polar(1.0, 2.0 * kPi / n_);
    for (int k = 0; k < n_; ++k)
        for (const ComplexD& v : design_) polygon_.push_back(v * std::polar(1.0, 2.0 * kPi * k / n_));
    double area = 0.0;
    for (std::size_t i = 0; i < polygon_.size(); ++i) {
        const ComplexD a = polygon_[i], b = polygon_[(i + 1) % polygon_.size()];
        area += a.real() * b.imag() - a.imag() * b.real();
    }
    if (area < 0.0) {  // listed clockwise: walk it the other way
        std::reverse(design_.begin(), design_.end());
        std::reverse(polygon_.begin(), polygon_.end());
    }
    if (m_ < 1 || (n_ == 1 && m_ < 3)) return;
    // The interior angles from the turns at the corners.
    double turning = 0.0;
    for (int j = 0; j < m_; ++j) {
        const ComplexD prev = j > 0 ? design_[j - 1] : design_[m_ - 1] / turn;
        const ComplexD next = j + 1 < m_ ? design_[j + 1] : design_[0] * turn;
        const double t = std::arg((next - design_[j]) / (design_[j] - prev));
        beta_.push_back(-t / kPi);
        turning += t;
    }
    if (std::fabs(turning - 2.0 * kPi / n_) > 1e-9) return;  // not a simple polygon
    // Corners of one angle share one logarithm of their factors' product.
    for (int j = 0; j < m_; ++j) byBeta_.push_back(j);
    std::stable_sort(byBeta_.begin(), byBeta_.end(), [&](int a, int b) { return beta_[a] < beta_[b]; });
    for (int i = 1; i <= m_; ++i)
        if (i == m_ || std::fabs(beta_[byBeta_[i]] - beta_[byBeta_[i - 1]]) > 1e-12) betaRunEnd_.push_back(i);
    for (double b : beta_) {
        JacobiRule rule;
        gaussJacobi(kJacobiNodes, b, rule.x, rule.w);
        jacobi_.push_back(std::move(rule));
    }
    solve(design);
    buildCorners();
    buildTable();
}

// Σ_{j≠skip} β_j·log(1 − tⁿ·conj(ζ_j)ⁿ) for |tⁿ| ≤ 1. Each factor lies in
// the closed right half-plane, so its argument is below a quarter turn; a run
// of corners with one β multiplies its factors and keeps the product within
// an eighth of a turn of the real axis by exact quarter turns, counted, so
// that one logarithm and one arctangent serve the whole run.
ComplexD PolygonMap::logOfFactors(ComplexD tn, int skip) const noexcept {
    ComplexD sum{0.0, 0.0};
    int start = 0;
    for (const int end : betaRunEnd_) {
        double re = 1.0, im = 0.0;
        int quarters = 0;
        for (int i = start; i < end; ++i) {
            const int j = byBeta_[i];
            if (j == skip) continue;
            const ComplexD u = ComplexD(1.0, 0.0) - mul(tn, zetaPow_[j]);
            const double r = re * u.real() - im * u.imag(), q = re * u.imag() + im * u.real();
            re = r, im = q;
            while (im > std::fabs(re)) {  // turn back by a quarter: ·(−i)
                const double t = re;
                re = im, im = -t, ++quarters;
            }
            while (-im > std::fabs(re)) {  // forward by a quarter: ·i
                const double t = re;
                re = -im, im = t, --quarters;
            }
        }
        const double b = beta_[byBeta_[start]];
        sum += ComplexD(0.5 * b * std::log(re * re + im * im), b * (std::atan2(im, re) + 0.5 * kPi * quarters));
        start = end;
    }
    return sum;
}

ComplexD PolygonMap::rawDerivative(ComplexD t) const noexcept {
    const ComplexD sum = logOfFactors(integerPower(t, n_), -1);
    return std::polar(std::exp(sum.real()), sum.imag());
}

ComplexD PolygonMap::derivative(ComplexD z) const noexcept { return scale_ * rawDerivative(z); }

double PolygonMap::singularDistance(ComplexD a, ComplexD b) const noexcept {
    double d = 1e300;
    for (const ComplexD& s : singular_) d = std::min(d, pointToSegment(s, a, b));
    return d;
}

ComplexD PolygonMap::segment(ComplexD a, ComplexD b, int depth) const noexcept {
    const ComplexD half = 0.5 * (b - a);
    const double length = 2.0 * magnitude(half);
    if (!(length > 0.0)) return {0.0, 0.0};
    if (depth < kMaxDepth && length > 0.5 * singularDistance(a, b)) {
        const ComplexD mid = a + half;
        return segment(a, mid, depth + 1) + segment(mid, b, depth + 1);
    }
    const ComplexD mid = a + half;
    ComplexD sum{0.0, 0.0};
    for (int i = 0; i < 4; ++i)
        sum += kLegendreW[i] * (rawDerivative(mid + kLegendreX[i] * half) + rawDerivative(mid - kLegendreX[i] * half));
    return sum * half;
}

ComplexD PolygonMap::vertexIntegral(int k) const noexcept {
    const ComplexD zeta = zeta_[k];
    double gap = 1.0;
    for (const ComplexD& s : singular_) {
        const double d = std::abs(s - zeta);
        if (d > 1e-14) gap = std::min(gap, d);
    }
    const double delta = 0.5 * gap;
    // Up to 1 − δ by the adaptive rule, the rest by Gauss–Jacobi with the
    // vertex's own factor (1 − r)^β taken as the weight.
    ComplexD sum = segment({0.0, 0.0}, (1.0 - delta) * zeta);
    const double b = beta_[k];
    ComplexD piece{0.0, 0.0};
    const JacobiRule& rule = jacobi_[k];
    const ComplexD own = integerPower(zeta, n_);  // (ζ_k)ⁿ: t = ζ_k·r gives tⁿ = rⁿ·ζ_kⁿ
    for (int i = 0; i < kJacobiNodes; ++i) {
        const double u = 0.5 * delta * (1.0 - rule.x[i]), r = 1.0 - u;
        const ComplexD rn = integerPower(ComplexD(r, 0.0), n_);
        // (1 − rⁿ)/(1 − r) = 1 + r + … + r^(n−1)
        double q = 0.0, rp = 1.0;
        for (int j = 0; j < n_; ++j) q += rp, rp *= r;
        const ComplexD log = b * std::log(q) + logOfFactors(rn * own, k);
        piece += rule.w[i] * std::exp(log);
    }
    return sum + zeta * std::pow(0.5 * delta, b + 1.0) * piece;
}

void PolygonMap::setGaps(const std::vector<double>& y) {
    std::vector<double> weight(m_, 1.0);
    double total = 0.0;
    for (int k = 0; k < m_; ++k) {
        if (k < m_ - 1) weight[k] = std::exp(y[k]);
        total += weight[k];
    }
    zeta_.assign(m_, {1.0, 0.0});
    zetaPow_.assign(m_, {1.0, 0.0});
    double theta = 0.0;
    for (int k = 0; k < m_; ++k) {
        zeta_[k] = std::polar(1.0, theta);
        zetaPow_[k] = std::polar(1.0, -n_ * theta);
        theta += 2.0 * kPi / n_ * weight[k] / total;
    }
    singular_.clear();
    for (int r = 0; r < n_; ++r)
        for (const ComplexD& z : zeta_) singular_.push_back(z * std::polar(1.0, 2.0 * kPi * r / n_));
}

std::vector<double> PolygonMap::residual(const std::vector<double>& y) {
    setGaps(y);
    raw_.resize(m_);
    for (int k = 0; k < m_; ++k) raw_[k] = vertexIntegral(k);
    const ComplexD turn = std::polar(1.0, 2.0 * kPi / n_);
    const auto side = [&](const std::vector<ComplexD>& v, int j) {
        return std::abs((j + 1 < m_ ? v[j + 1] : v[0] * turn) - v[j]);
    };
    std::vector<double> r;
    if (n_ >= 2) {
        for (int j = 0; j + 1 < m_; ++j)
            r.push_back(std::log(side(raw_, j) / side(raw_, m_ - 1)) -
                        std::log(side(design_, j) / side(design_, m_ - 1)));
    } else {
        for (int j = 1; j + 2 < m_; ++j)
            r.push_back(std::log(side(raw_, j) / side(raw_, 0)) - std::log(side(design_, j) / side(design_, 0)));
        // Where the disc's centre lands when the first side is put in place.
        const ComplexD a = (design_[1] - design_[0]) / (raw_[1] - raw_[0]);
        const ComplexD b = design_[0] - a * raw_[0];
        const double size = side(design_, 0);
        r.push_back((b - centre_).real() / size);
        r.push_back((b - centre_).imag() / size);
    }
    for (double& v : r)
        if (!std::isfinite(v)) v = 1e6;
    return r;
}

void PolygonMap::solve(const PolygonDesign&) {
    const int unknowns = m_ - 1;
    // First guess: each side's share of the circle is the angle it subtends
    // at the disc's centre's image (the harmonic measure of a round figure).
    std::vector<double> y(unknowns, 0.0);
    {
        const ComplexD turn = std::polar(1.0, 2.0 * kPi / n_);
        const ComplexD c = n_ >= 2 ? ComplexD(0.0, 0.0) : centre_;
        std::vector<double> seen(m_);
        for (int j = 0; j < m_; ++j) {
            const ComplexD next = j + 1 < m_ ? design_[j + 1] : design_[0] * turn;
            seen[j] = std::max(std::arg((next - c) / (design_[j] - c)), 1e-3);
        }
        for (int j = 0; j < unknowns; ++j) y[j] = std::log(seen[j] / seen[m_ - 1]);
    }
    std::vector<double> r = residual(y);
    // Newton's method with a Jacobian by differences, kept up to date
    // between evaluations by Broyden's rank-one corrections and evaluated
    // afresh only when a step fails.
    std::vector<double> jac;
    bool fresh = false;
    const auto differences = [&] {
        jac.assign(static_cast<std::size_t>(unknowns * unknowns), 0.0);
        constexpr double kStep = 1e-7;
        for (int c = 0; c < unknowns; ++c) {
            std::vector<double> yc = y;
            yc[c] += kStep;
            const std::vector<double> rc = residual(yc);
            for (int i = 0; i < unknowns; ++i) jac[i * unknowns + c] = (rc[i] - r[i]) / kStep;
        }
        fresh = true;
    };
    if (unknowns > 0) differences();
    for (int iteration = 0; iteration < 200 && unknowns > 0; ++iteration) {
        const double now = norm2(r);
        // Far from the answer Broyden's corrections wander: differences afresh.
        if (!fresh && now > 3e-2) differences();
        if (now < 1e-10) break;  // side ratios to 10⁻¹⁰: below that the quadrature's own noise
        std::vector<double> d(r.size());
        for (std::size_t i = 0; i < r.size(); ++i) d[i] = -r[i];
        if (!solveLinear(jac, d, unknowns)) {
            if (fresh) break;
            differences();
            continue;
        }
        // No step of a log-gap beyond 3 at once: far from the answer the
        // linear model is a poor guide.
        const double longest = std::fabs(
            *std::max_element(d.begin(), d.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); }));
        double lambda = longest > 3.0 ? 3.0 / longest : 1.0;
        bool moved = false;
        for (int tries = 0; tries < (fresh ? 12 : 3); ++tries, lambda *= 0.5) {
            std::vector<double> yt = y;
            for (int i = 0; i < unknowns; ++i) yt[i] += lambda * d[i];
            std::vector<double> rt = residual(yt);
            if (norm2(rt) < now) {
                // Broyden: J += ((Δr − J·s)·sᵀ)/(sᵀ·s).
                double ss = 0.0;
                for (int i = 0; i < unknowns; ++i) ss += lambda * d[i] * lambda * d[i];
                for (int i = 0; i < unknowns; ++i) {
                    double js = 0.0;
                    for (int c = 0; c < unknowns; ++c) js += jac[i * unknowns + c] * lambda * d[c];
                    const double k = (rt[i] - r[i] - js) / ss;
                    for (int c = 0; c < unknowns; ++c) jac[i * unknowns + c] += k * lambda * d[c];
                }
                y = yt, r = rt, moved = true, fresh = false;
                break;
            }
        }
        if (!moved) {
            if (fresh) break;
            differences();
        }
    }
    r = residual(y);  // leaves the prevertices and raw vertices of y
    // The similarity that puts the raw vertices on the designed ones (least squares).
    ComplexD wm{}, pm{};
    for (int k = 0; k < m_; ++k) wm += raw_[k], pm += design_[k];
    if (n_ >= 2)
        wm = pm = {0.0, 0.0};
    else
        wm /= static_cast<double>(m_), pm /= static_cast<double>(m_);
    ComplexD num{};
    double den = 0.0;
    for (int k = 0; k < m_; ++k) num += std::conj(raw_[k] - wm) * (design_[k] - pm), den += std::norm(raw_[k] - wm);
    scale_ = num / den;
    shift_ = pm - scale_ * wm;
    double size = 0.0, error = 0.0;
    for (const ComplexD& v : polygon_) size = std::max(size, std::abs(v - polygon_[0]));
    for (int k = 0; k < m_; ++k) error = std::max(error, std::abs(scale_ * raw_[k] + shift_ - design_[k]));
    vertexError_ = error / size;
    solved_ = std::isfinite(vertexError_) && vertexError_ < 1e-7;
}

bool PolygonMap::cornerPrevertex(ComplexD p, ComplexD& z) const noexcept {
    if (static_cast<int>(zeta_.size()) != m_) return false;
    for (int r = 0; r < n_; ++r)
        for (int j = 0; j < m_; ++j) {
            const ComplexD turn = std::polar(1.0, 2.0 * kPi * r / n_);
            if (std::abs(design_[j] * turn - p) > 1e-9) continue;
            z = zeta_[j] * turn;
            return true;
        }
    return false;
}

ComplexD PolygonMap::forward(ComplexD z) const noexcept {
    // Within a corner's reach its expansion; elsewhere quadrature from the centre.
    for (int corner = 0; corner < cornerCount(); ++corner) {
        ComplexD w;
        if (cornerForward(corner, z, w)) return scale_ * w + shift_;
    }
    return scale_ * segment({0.0, 0.0}, z) + shift_;
}

bool PolygonMap::contains(ComplexD p) const noexcept {
    bool inside = false;
    const std::size_t count = polygon_.size();
    for (std::size_t i = 0, j = count - 1; i < count; j = i++) {
        const ComplexD a = polygon_[i], b = polygon_[j];
        if ((a.imag() > p.imag()) != (b.imag() > p.imag())) {
            const double x = a.real() + (p.imag() - a.imag()) / (b.imag() - a.imag()) * (b.real() - a.real());
            if (p.real() < x) inside = !inside;
        }
    }
    return inside;
}

bool PolygonMap::polish(const Node& from, ComplexD w, ComplexD& z, int steps, double tolerance) const noexcept {
    const auto intoDisc = [](ComplexD& t) {
        const double r = magnitude(t);
        if (r > 1.0) t /= r;
    };
    z = from.z + (w - from.w) / from.slope;
    intoDisc(z);
    ComplexD value = from.w + segment(from.z, z);
    for (int step = 0; step < steps; ++step) {
        const ComplexD slope = rawDerivative(z);
        if (!(magnitude(slope) > 0.0) || !std::isfinite(slope.real()) || !std::isfinite(slope.imag())) return false;
        const ComplexD miss = value - w;
        if (magnitude(miss) <= tolerance) return true;
        ComplexD next = z - miss / slope;
        intoDisc(next);
        value += segment(z, next);
        z = next;
    }
    return magnitude(value - w) <= 100.0 * tolerance;
}

void PolygonMap::buildTable() {
    if (!solved_) return;
    std::vector<ComplexD> raw;
    double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
    for (const ComplexD& v : polygon_) {
        const ComplexD w = (v - shift_) / scale_;
        xmin = std::min(xmin, w.real()), xmax = std::max(xmax, w.real());
        ymin = std::min(ymin, w.imag()), ymax = std::max(ymax, w.imag());
    }
    step_ = std::max(xmax - xmin, ymax - ymin) / kTableCells;
    x0_ = xmin - step_, y0_ = ymin - step_;
    columns_ = static_cast<int>(std::ceil((xmax - xmin) / step_)) + 3;
    rows_ = static_cast<int>(std::ceil((ymax - ymin) / step_)) + 3;
    const double tolerance = 1e-13 * step_ * kTableCells;
    const auto point = [&](int g) { return ComplexD(x0_ + (g % columns_) * step_, y0_ + (g / columns_) * step_); };
    std::vector<int> solvedAt(static_cast<std::size_t>(columns_ * rows_), -1);
    std::deque<int> queue;
    const Node centre = makeNode({0.0, 0.0}, {0.0, 0.0});
    // Seeds: the grid points round the centre, from the centre itself.
    for (int g = 0; g < columns_ * rows_; ++g) {
        const ComplexD w = point(g);
        if (std::abs(w) > 2.0 * step_ || !contains(scale_ * w + shift_)) continue;
        ComplexD z;
        if (!seriesInverse(centre, w, z) && !polish(centre, w, z, 40, tolerance)) continue;
        solvedAt[g] = static_cast<int>(nodes_.size());
        nodes_.push_back(makeNode(w, z));
        queue.push_back(g);
    }
    // Continuation outwards, each point from a solved neighbour.
    while (!queue.empty()) {
        const int g = queue.front();
        queue.pop_front();
        const int c = g % columns_, row = g / columns_;
        const int next[4][2] = {{c + 1, row}, {c - 1, row}, {c, row + 1}, {c, row - 1}};
        for (const auto& nb : next) {
            if (nb[0] < 0 || nb[1] < 0 || nb[0] >= columns_ || nb[1] >= rows_) continue;
            const int h = nb[1] * columns_ + nb[0];
            if (solvedAt[h] >= 0) continue;
            const ComplexD w = point(h);
            if (!contains(scale_ * w + shift_)) continue;
            ComplexD z;
            const Node from = nodes_[solvedAt[g]];
            if (!seriesInverse(from, w, z) && !cornerInverse(reachingCorner(w), w, z) &&
                !polish(from, w, z, 40, tolerance))
                continue;
            solvedAt[h] = static_cast<int>(nodes_.size());
            nodes_.push_back(makeNode(w, z));
            queue.push_back(h);
        }
    }
    // Cells wholly inside the figure spare their samples the outline test.
    std::vector<ComplexD> outline;
    for (const ComplexD& v : polygon_) outline.push_back((v - shift_) / scale_);
    inside_.assign(static_cast<std::size_t>(columns_ * rows_), 0);
    for (int g = 0; g < columns_ * rows_; ++g) {
        const ComplexD centre = point(g) + ComplexD(0.5 * step_, 0.5 * step_);
        if (!contains(scale_ * centre + shift_)) continue;
        double gap = 1e300;
        for (std::size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++)
            gap = std::min(gap, pointToSegment(centre, outline[j], outline[i]));
        inside_[g] = gap > 0.75 * step_;
    }
    // Near the corners, the corner to try.
    corner_.assign(static_cast<std::size_t>(columns_ * rows_), -1);
    for (int g = 0; g < columns_ * rows_; ++g) corner_[g] = static_cast<short>(reachingCorner(point(g)));
    // Every grid point learns its nearest solved node (breadth first over
    // the grid, eight neighbours).
    nearest_ = solvedAt;
    for (int g = 0; g < columns_ * rows_; ++g)
        if (nearest_[g] >= 0) queue.push_back(g);
    while (!queue.empty()) {
        const int g = queue.front();
        queue.pop_front();
        const int c = g % columns_, row = g / columns_;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = c + dx, yy = row + dy;
                if (x < 0 || yy < 0 || x >= columns_ || yy >= rows_) continue;
                const int h = yy * columns_ + x;
                if (nearest_[h] >= 0) continue;
                nearest_[h] = nearest_[g];
                queue.push_back(h);
            }
    }
}

bool PolygonMap::inverse(ComplexD p, ComplexD& z) const noexcept {
    if (nodes_.empty()) return false;
    const ComplexD w = (p - shift_) / scale_;
    const double gx = (w.real() - x0_) / step_, gy = (w.imag() - y0_) / step_;
    const int cx = std::clamp(static_cast<int>(std::floor(gx)), 0, columns_ - 2);
    const int cy = std::clamp(static_cast<int>(std::floor(gy)), 0, rows_ - 2);
    const bool wholly = gx >= cx && gx < cx + 1 && gy >= cy && gy < cy + 1 && inside_[cy * columns_ + cx];
    if (!wholly && !contains(p)) return false;
    // The solved nodes of the grid cell's corners (or the nearest ones),
    // nearest first: the first whose series reaches the point answers; near
    // a corner, where none does, quadrature from the nearest.
    std::array<int, 4> candidates{};
    std::array<double, 4> distance{};
    int count = 0;
    for (int k = 0; k < 4; ++k) {
        const int index = nearest_[(cy + k / 2) * columns_ + cx + k % 2];
        if (index < 0 || std::find(candidates.begin(), candidates.begin() + count, index) != candidates.begin() + count)
            continue;
        const double d = std::norm(nodes_[index].w - w);
        int at = count++;
        for (; at > 0 && distance[at - 1] > d; --at)
            candidates[at] = candidates[at - 1], distance[at] = distance[at - 1];
        candidates[at] = index, distance[at] = d;
    }
    if (count == 0) return false;
    for (int k = 0; k < count; ++k)
        if (seriesInverse(nodes_[candidates[k]], w, z)) return true;
    const int nx = std::clamp(static_cast<int>(std::lround(gx)), 0, columns_ - 1);
    const int ny = std::clamp(static_cast<int>(std::lround(gy)), 0, rows_ - 1);
    if (cornerInverse(corner_[ny * columns_ + nx], w, z)) return true;
    polish(nodes_[candidates[0]], w, z, 8, 1e-13 * step_ * kTableCells);
    return true;
}

PolygonMap::Node PolygonMap::makeNode(ComplexD w, ComplexD z) const noexcept {
    constexpr int K = kSeriesTerms;
    Node node{w, z, rawDerivative(z), 1e300, {}};
    for (const ComplexD& s : singular_) node.reach = std::min(node.reach, std::abs(s - z));
    // (z + h)ⁿ as a polynomial in h.
    std::array<ComplexD, K> power{};
    double choose = 1.0;
    for (int k = 0; k <= n_ && k < K; ++k) {
        power[k] = choose * integerPower(z, n_ - k);
        choose = choose * (n_ - k) / (k + 1.0);
    }
    // log f′(z + h) = Σ_j β_j·log(1 − c_j·(z + h)ⁿ); log u follows from u·L′ = u′.
    // u is a polynomial of degree n in h, so only its first n + 1
    // coefficients enter the recurrence; the constant terms share one
    // logarithm per run of equal angles.
    std::array<ComplexD, K> sum{};
    sum[0] = logOfFactors(power[0], -1);
    const int degree = std::min(n_, K - 1);
    for (int j = 0; j < m_; ++j) {
        std::array<ComplexD, K> u{}, log{};
        for (int k = 0; k <= degree; ++k) u[k] = -mul(zetaPow_[j], power[k]);
        u[0] += 1.0;
        logSeries(u, degree, log);
        for (int k = 1; k < K; ++k) sum[k] += beta_[j] * log[k];
    }
    // f′ = exp(sum); f's coefficients follow.
    std::array<ComplexD, K> e{};
    expSeries(sum, e);
    for (int k = 0; k < K; ++k) node.series[k] = e[k] / (k + 1.0);
    return node;
}

bool PolygonMap::seriesInverse(const Node& from, ComplexD w, ComplexD& z) const noexcept {
    // Within 0.3 of the reach the 16 terms leave 0.3¹⁶ ≈ 4·10⁻⁹ of the
    // neglected terms' size.
    const double reach = 0.3 * from.reach;
    const ComplexD target = w - from.w;
    // The quadratic term's correction to the linear guess saves one of
    // Newton's steps; its quadratic convergence lets a step of size ε stop
    // the iteration once ε²/reach, the next step's size, is negligible.
    ComplexD h = divide(target, from.slope);
    h -= divide(mul(from.series[1], mul(h, h)), from.series[0]);
    const double enough = 1e-15 * from.reach;
    bool settled = false;
    for (int step = 0; step < 8; ++step) {
        if (!(magnitude(h) < reach)) return false;
        ComplexD value = from.series[kSeriesTerms - 1],
                 slope = static_cast<double>(kSeriesTerms) * from.series[kSeriesTerms - 1];
        for (int k = kSeriesTerms - 2; k >= 0; --k) {
            value = mul(value, h) + from.series[k];
            slope = mul(slope, h) + static_cast<double>(k + 1) * from.series[k];
        }
        const ComplexD dh = divide(mul(value, h) - target, slope);
        h -= dh;
        const double size = std::norm(dh), scale = magnitude(from.z) + magnitude(h);
        settled = size <= enough * scale || size <= 1e-28 * scale * scale;
        if (settled) break;
    }
    if (!settled || !(magnitude(h) < reach)) return false;
    z = from.z + h;
    const double r = magnitude(z);
    if (r > 1.0) z /= r;
    return true;
}

void PolygonMap::buildCorners() {
    if (!solved_) return;
    constexpr int K = kCornerTerms;
    using Series = std::array<ComplexD, K>;
    // (1 − R·σ)ⁿ as a polynomial in σ.
    const auto binomial = [&](double radius) {
        Series b{};
        double choose = 1.0, power = 1.0;
        for (int i = 0; i <= n_ && i < K; ++i) {
            b[i] = choose * power;
            choose = choose * (n_ - i) / (i + 1.0), power *= -radius;
        }
        return b;
    };
    for (int r = 0; r < n_; ++r) turns_.push_back(std::polar(1.0, 2.0 * kPi * r / n_));
    for (int k = 0; k < m_; ++k) {
        Corner corner;
        corner.zeta = zeta_[k];
        corner.w = raw_[k];
        corner.alpha = beta_[k] + 1.0;
        double radius = 2.0;
        for (const ComplexD& s : singular_) {
            const double d = std::abs(s - corner.zeta);
            if (d > 1e-14) radius = std::min(radius, d);
        }
        corner.radius = radius;
        // f′(ζ·(1 − s)) = s^β·G(s) with s = R·σ: the corner's own factor
        // 1 − (1 − s)ⁿ = s·q(s), q(s) = Σ_{i<n} (1 − s)^i, times the others'.
        const Series b = binomial(radius);
        const ComplexD own = integerPower(corner.zeta, n_);
        Series log{}, sum{};
        sum[0] = beta_[k] * std::log(static_cast<double>(n_)) + logOfFactors(own, k);
        if (n_ > 1) {
            Series q{};
            double choose = n_, power = 1.0;  // q_i = C(n, i + 1)·(−R)^i
            for (int i = 0; i < n_ && i < K; ++i) {
                q[i] = choose * power;
                choose = choose * (n_ - i - 1) / (i + 2.0), power *= -radius;
            }
            logSeries(q, std::min(n_ - 1, K - 1), log);
            for (int i = 1; i < K; ++i) sum[i] += beta_[k] * log[i];
        }
        for (int j = 0; j < m_; ++j) {
            if (j == k) continue;
            Series u{};
            const ComplexD c = mul(own, zetaPow_[j]);
            for (int i = 0; i <= n_ && i < K; ++i) u[i] = -c * b[i];
            u[0] += 1.0;
            logSeries(u, std::min(n_, K - 1), log);
            for (int i = 1; i < K; ++i) sum[i] += beta_[j] * log[i];
        }
        Series g{};
        expSeries(sum, g);
        // f(ζ·(1 − R·σ)) − f(ζ) = −ζ·R·∫₀^σ (R·t)^β·G(R·t) dt = C·σ^α·A(σ).
        const double alpha = corner.alpha;
        corner.c = -corner.zeta * std::pow(radius, alpha) * g[0] / alpha;
        for (int i = 0; i < K; ++i) corner.a[i] = alpha * g[i] / ((i + alpha) * g[0]);
        // v = σ·exp(L/α) with L = log A; Lagrange's inversion gives the
        // coefficients of σ(v): [v^(i+1)] σ = [σ^i] exp(−(i + 1)·L/α)/(i + 1).
        Series logA{}, scaled{}, e{};
        logSeries(corner.a, K - 1, logA);
        for (int i = 0; i < K; ++i) scaled[i] = logA[i] / alpha;
        expSeries(scaled, corner.phi);
        for (int i = 0; i < K; ++i) {
            for (int j = 0; j < K; ++j) scaled[j] = -(i + 1.0) / alpha * logA[j];
            expSeries(scaled, e);
            corner.psi[i] = e[i] / (i + 1.0);
        }
        // The v and the w the σ of the reach go to: σ(v) is used inside the
        // smallest such |v| (it must come back inside the reach).
        double nearest = 1e300, farthest = 0.0;
        for (int i = 0; i < 64; ++i) {
            const ComplexD sigma = std::polar(kCornerReach, 2.0 * kPi * i / 64.0);
            ComplexD v, slope;
            powerSeries(corner.phi, sigma, v, slope);
            nearest = std::min(nearest, magnitude(v));
            farthest = std::max(farthest, magnitude(v));
        }
        corner.reach = 0.9 * nearest;
        corner.span = magnitude(corner.c) * std::pow(1.1 * farthest, alpha);
        corners_.push_back(corner);
    }
}

bool PolygonMap::cornerForward(int index, ComplexD z, ComplexD& w) const noexcept {
    if (index < 0 || index >= cornerCount()) return false;
    const Corner& corner = corners_[index % m_];
    const ComplexD turn = turns_[index / m_];
    // σ = (1 − z/ζ)/R in the corner's own sector.
    const ComplexD sigma = (1.0 - mul(mul(z, std::conj(turn)), std::conj(corner.zeta))) / corner.radius;
    if (!(magnitude(sigma) <= kCornerReach)) return false;
    ComplexD a = corner.a[kCornerTerms - 1];
    for (int i = kCornerTerms - 2; i >= 0; --i) a = mul(a, sigma) + corner.a[i];
    w = mul(turn, corner.w + mul(corner.c, mul(principalPower(sigma, corner.alpha), a)));
    return true;
}

bool PolygonMap::cornerInverse(int index, ComplexD w, ComplexD& z) const noexcept {
    if (index < 0 || index >= cornerCount()) return false;
    const Corner& corner = corners_[index % m_];
    const ComplexD turn = turns_[index / m_];
    const ComplexD t = divide(mul(w, std::conj(turn)) - corner.w, corner.c);
    const ComplexD v = principalPower(t, 1.0 / corner.alpha);
    const double size = magnitude(v);
    if (!(size < corner.reach)) return false;
    ComplexD sigma = {0.0, 0.0};
    if (size > 0.0) {
        ComplexD value, slope;
        powerSeries(corner.psi, v, sigma, slope);
        // Newton's steps on v(σ) take the reverted series' error to its square.
        bool settled = false;
        for (int step = 0; step < 4 && !settled; ++step) {
            if (!(magnitude(sigma) < kCornerReach)) return false;
            powerSeries(corner.phi, sigma, value, slope);
            const ComplexD d = divide(value - v, slope);
            sigma -= d;
            settled = magnitude(d) <= 1e-10 * magnitude(sigma);
        }
        if (!settled || !(magnitude(sigma) < kCornerReach)) return false;
    }
    z = mul(turn, mul(corner.zeta, 1.0 - corner.radius * sigma));
    const double r = magnitude(z);
    if (r > 1.0 + 1e-9) return false;  // the other branch: a point beyond the disc
    if (r > 1.0) z /= r;
    return true;
}

int PolygonMap::reachingCorner(ComplexD w) const noexcept {
    int best = -1;
    double closest = 1e300;
    for (int index = 0; index < cornerCount(); ++index) {
        const Corner& corner = corners_[index % m_];
        const ComplexD turn = turns_[index / m_];
        const ComplexD d = mul(w, std::conj(turn)) - corner.w;
        if (magnitude(d) > corner.span) continue;
        const double v = magnitude(principalPower(divide(d, corner.c), 1.0 / corner.alpha)) / corner.reach;
        if (v < closest) closest = v, best = index;
    }
    return closest < 1.0 ? best : -1;
}

}  // namespace globaro
