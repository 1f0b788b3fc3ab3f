// World-map output projections: Mollweide, Eckert IV, Hill eucyclic and
// Robinson in closed form (Robinson through an inverse table), and Winkel
// tripel, natural earth, Canters, Ginzburg 8, Laskowski tri-optimal and
// Larrivee by a two-dimensional Newton iteration on their forward equations.

#include <algorithm>
#include <array>
#include <cmath>

#include "geometry/fast_math.h"
#include "projection/output_formulas.h"
#include "projection/world_map_solvers.h"

namespace globaro {

namespace {

using output_detail::kHalfPi;
using output_detail::kPi;

// The published Robinson table at 5° steps from the equator (row 0) to the
// pole (row 18); row 19 repeats row 18. The same rows as the Robinson input.
constexpr std::array<float, 20> kRobinsonX{1.0f,    0.9986f, 0.9954f, 0.99f,   0.9822f, 0.973f,  0.96f,
                                           0.9427f, 0.9216f, 0.8962f, 0.8679f, 0.835f,  0.7986f, 0.7597f,
                                           0.7186f, 0.6732f, 0.6213f, 0.5722f, 0.5322f, 0.5322f};
constexpr std::array<float, 20> kRobinsonY{0.0f,    0.062f,  0.124f,  0.186f,  0.248f,  0.31f,   0.372f,
                                           0.434f,  0.4958f, 0.5571f, 0.6176f, 0.6769f, 0.7346f, 0.7903f,
                                           0.8435f, 0.8936f, 0.9394f, 0.9761f, 1.0f,    1.0f};

float robinsonColumn(const std::array<float, 20>& column, float phiN) noexcept {
    const float t = std::fmin(std::fabs(phiN), 1.0f) * 18.0f;
    const int i = std::clamp(static_cast<int>(std::floor(t)), 0, 18);
    const auto row = static_cast<std::size_t>(i);
    return column[row] + (column[row + 1] - column[row]) * (t - static_cast<float>(i));
}

constexpr int kInverseRobinsonSize = 400;

struct InverseRobinsonTable {
    std::array<float, kInverseRobinsonSize> phi{};
};

InverseRobinsonTable buildInverseRobinsonTable() noexcept {
    InverseRobinsonTable table;
    for (int i = 0; i < kInverseRobinsonSize; ++i) {
        const float y = static_cast<float>(i) / 399.0f;
        float lo = std::fmax(0.0f, y - 0.2f);
        float hi = std::fmin(1.0f, y + 0.2f);
        for (int step = 0; step < 20; ++step) {
            const float mid = (lo + hi) * 0.5f;
            if (robinsonColumn(kRobinsonY, mid) < y) {
                lo = mid;
            } else {
                hi = mid;
            }
        }
        table.phi[static_cast<std::size_t>(i)] = (lo + hi) * 0.5f;
    }
    return table;
}

// Filled once per process under the one-time initialisation of a
// function-local static.
const InverseRobinsonTable& inverseRobinsonTable() noexcept {
    static const InverseRobinsonTable table = buildInverseRobinsonTable();
    return table;
}

// ---- Newton iteration ---------------------------------------------------------------

struct Jacobian {
    double fx, fy;  // the forward equations at (λ, φ)
    double xl, xp;  // ∂x/∂λ, ∂x/∂φ
    double yl, yp;  // ∂y/∂λ, ∂y/∂φ
};

constexpr double kNewtonTolerance = 5e-5;
constexpr double kLambdaLimit = 3.141592653;

// Solves f(λ, φ) = (x, y) from (λ0, φ0) with at most `limit` steps.
template <class Eval>
LonLat newtonSolve(double x, double y, double lambda, double phi, int limit, Eval eval) noexcept {
    LonLat out;
    for (int step = 0; step < limit; ++step) {
        const Jacobian j = eval(lambda, phi);
        const double rx = j.fx - x;
        const double ry = j.fy - y;
        const double det = j.xl * j.yp - j.xp * j.yl;
        if (det == 0.0 || !std::isfinite(det)) break;
        const double dl = (rx * j.yp - ry * j.xp) / det;
        const double dp = (ry * j.xl - rx * j.yl) / det;
        lambda -= dl;
        phi -= dp;
        ++out.steps;
        if (std::fabs(dl) <= kNewtonTolerance && std::fabs(dp) <= kNewtonTolerance) break;
    }
    out.lambda = lambda;
    out.phi = phi;
    out.ok = lambda >= -kLambdaLimit && lambda <= kLambdaLimit && phi >= -kHalfPi && phi <= kHalfPi;
    return out;
}

bool insideExtent(double x, double y, const MapPoint& extent) noexcept {
    return std::fabs(x) / extent.x <= 1.0 && std::fabs(y) / extent.y <= 1.0;
}

// Winkel tripel with the standard parallel acos(2/π).
MapPoint winkel(double lambda, double phi) noexcept {
    const double cp = std::cos(phi);
    const double alpha = std::acos(std::clamp(cp * std::cos(lambda / 2.0), -1.0, 1.0));
    const double sa = std::sin(alpha);
    const double k = sa < 1e-12 ? 1.0 : alpha / sa;
    return {lambda / kPi + cp * std::sin(lambda / 2.0) * k, (phi + std::sin(phi) * k) / 2.0};
}

double naturalEarthXFactor(double p) noexcept {
    const double p2 = p * p;
    const double p4 = p2 * p2;
    const double p10 = p4 * p4 * p2;
    return 0.8707 - 0.131979 * p2 - 0.013791 * p4 + 0.003971 * p10 - 0.001529 * p10 * p2;
}
double naturalEarthXFactorDerivative(double p) noexcept {
    const double p2 = p * p;
    const double p3 = p2 * p;
    const double p9 = p3 * p3 * p3;
    return -2.0 * 0.131979 * p - 4.0 * 0.013791 * p3 + 10.0 * 0.003971 * p9 - 12.0 * 0.001529 * p9 * p2;
}
double naturalEarthY(double p) noexcept {
    const double p2 = p * p;
    const double p6 = p2 * p2 * p2;
    return p * (1.007226 + 0.015085 * p2 - 0.044475 * p6 + 0.028874 * p6 * p2 - 0.005916 * p6 * p2 * p2);
}
double naturalEarthYDerivative(double p) noexcept {
    const double p2 = p * p;
    const double p6 = p2 * p2 * p2;
    return 1.007226 + 3.0 * 0.015085 * p2 - 7.0 * 0.044475 * p6 + 9.0 * 0.028874 * p6 * p2 -
           11.0 * 0.005916 * p6 * p2 * p2;
}

}  // namespace

// ---- forward equations ------------------------------------------------------------------

MapPoint winkelTripelForward(double lambda, double phi) noexcept { return winkel(lambda, phi); }

MapPoint naturalEarthForward(double lambda, double phi) noexcept {
    return {lambda * naturalEarthXFactor(phi), naturalEarthY(phi)};
}

MapPoint cantersForward(double l, double p) noexcept {
    const double l2 = l * l;
    const double p2 = p * p;
    return {l * (0.9305 - 0.1968 * p2 + 0.0076 * p2 * p2) - 0.0067 * l2 * l * p2,
            p * (0.9305 + 0.0394 * l2 + 0.0005 * l2 * l2) - 0.0115 * p2 * p * l2};
}

MapPoint ginzburg8Forward(double l, double p) noexcept {
    const double l2 = l * l;
    return {l * (1.0 - 0.162388 * p * p) * (0.87 - 0.000952426 * l2 * l2), p * (1.0 + p * p / 12.0)};
}

MapPoint laskowskiForward(double l, double p) noexcept {
    const double l2 = l * l;
    const double p2 = p * p;
    return {l * (0.975534 - p2 * (0.119161 + 0.0143059 * l2 + 0.0547009 * p2)),
            p * (1.00384 + l2 * (0.0802894 - 0.02855 * p2 + 0.000199025 * l2) + p2 * (0.0998909 - 0.0491032 * p2))};
}

MapPoint larriveeForward(double lambda, double phi) noexcept {
    return {lambda * (1.0 + std::sqrt(std::cos(phi))) / 2.0, phi / (std::cos(phi / 2.0) * std::cos(lambda / 6.0))};
}

// ---- inverses --------------------------------------------------------------------------

LonLat winkelTripelInverse(double x, double y) noexcept {
    LonLat out;
    if (!insideExtent(x, y, kWinkelTripelExtent)) return out;
    if (x == 0.0 && y == 0.0) {
        out.ok = true;
        return out;
    }
    // The partial derivatives by central differences of the closed forward form.
    constexpr double h = 1e-7;
    return newtonSolve(x, y, x, y, 25, [](double l, double p) noexcept {
        const MapPoint f = winkel(l, p);
        const MapPoint la = winkel(l + h, p);
        const MapPoint lb = winkel(l - h, p);
        const MapPoint pa = winkel(l, p + h);
        const MapPoint pb = winkel(l, p - h);
        return Jacobian{f.x,
                        f.y,
                        (la.x - lb.x) / (2.0 * h),
                        (pa.x - pb.x) / (2.0 * h),
                        (la.y - lb.y) / (2.0 * h),
                        (pa.y - pb.y) / (2.0 * h)};
    });
}

LonLat naturalEarthInverse(double x, double y) noexcept {
    if (!insideExtent(x, y, kNaturalEarthExtent)) return {};
    return newtonSolve(x, y, 0.0, 0.0, 25, [](double l, double p) noexcept {
        const double xf = naturalEarthXFactor(p);
        return Jacobian{l * xf, naturalEarthY(p),          xf, l * naturalEarthXFactorDerivative(p),
                        0.0,    naturalEarthYDerivative(p)};
    });
}

LonLat cantersInverse(double x, double y) noexcept {
    if (!insideExtent(x, y, kCantersExtent)) return {};
    return newtonSolve(x, y, y / 2.0, x < 0.0 ? -1.0 : 1.0, 50, [](double l, double p) noexcept {
        const double l2 = l * l;
        const double p2 = p * p;
        const MapPoint f = cantersForward(l, p);
        return Jacobian{f.x,
                        f.y,
                        0.9305 - 0.1968 * p2 + 0.0076 * p2 * p2 - 3.0 * 0.0067 * l2 * p2,
                        l * (-2.0 * 0.1968 * p + 4.0 * 0.0076 * p2 * p) - 2.0 * 0.0067 * l2 * l * p,
                        p * (2.0 * 0.0394 * l + 4.0 * 0.0005 * l2 * l) - 2.0 * 0.0115 * p2 * p * l,
                        0.9305 + 0.0394 * l2 + 0.0005 * l2 * l2 - 3.0 * 0.0115 * p2 * l2};
    });
}

LonLat ginzburg8Inverse(double x, double y) noexcept {
    if (!insideExtent(x, y, kGinzburg8Extent)) return {};
    LonLat out = newtonSolve(x, y, 0.0, 0.0, 25, [](double l, double p) noexcept {
        const double l2 = l * l;
        const double a = 1.0 - 0.162388 * p * p;
        const double b = 0.87 - 0.000952426 * l2 * l2;
        return Jacobian{l * a * b,
                        p * (1.0 + p * p / 12.0),
                        a * b + l * a * (-4.0 * 0.000952426 * l2 * l),
                        l * (-2.0 * 0.162388 * p) * b,
                        0.0,
                        1.0 + p * p / 4.0};
    });
    if (std::fabs(x) > std::fabs(2.44172 - 0.27 * y * y)) out.ok = false;
    return out;
}

LonLat laskowskiInverse(double x, double y) noexcept {
    if (!insideExtent(x, y, kLaskowskiExtent)) return {};
    return newtonSolve(x, y, x < 0.0 ? -kLambdaLimit : kLambdaLimit, y / 2.0, 50, [](double l, double p) noexcept {
        const double l2 = l * l;
        const double p2 = p * p;
        const MapPoint f = laskowskiForward(l, p);
        return Jacobian{f.x,
                        f.y,
                        0.975534 - p2 * (0.119161 + 3.0 * 0.0143059 * l2 + 0.0547009 * p2),
                        l * (-2.0 * p * (0.119161 + 0.0143059 * l2) - 4.0 * 0.0547009 * p2 * p),
                        p * l * (2.0 * (0.0802894 - 0.02855 * p2) + 4.0 * 0.000199025 * l2),
                        1.00384 + l2 * (0.0802894 - 3.0 * 0.02855 * p2 + 0.000199025 * l2) +
                            p2 * (3.0 * 0.0998909 - 5.0 * 0.0491032 * p2)};
    });
}

LonLat larriveeInverse(double x, double y) noexcept {
    LonLat out;
    if (!insideExtent(x, y, kLarriveeExtent)) return out;
    constexpr double kPoleHeight = 2.2214414686621367;  // π/√2
    const double ax = std::fabs(x);
    const double ay = std::fabs(y);
    double lambda = 0.0;
    double phi = 0.0;
    if (ay < kPoleHeight) {
        phi = ay / kPoleHeight * kHalfPi;
        lambda = 5e-5;
    } else {
        lambda = std::acos(kPoleHeight / ay) * 6.0 + 5e-5;
        if (ay > 2.22144) {
            phi = 1.5706217938696971;
            lambda = std::acos(kPoleHeight / ay) * 6.0;
        }
    }
    for (int step = 0; step < 25; ++step) {
        const double cl = std::cos(lambda / 6.0);
        const double ch = std::cos(phi / 2.0);
        const double sc = std::sqrt(std::cos(phi));
        const double ry = phi / (cl * ch) - ay;
        const double rx = lambda * 0.5 * (sc + 1.0) - ax;
        const double yl = phi * std::sin(lambda / 6.0) / 6.0 / (cl * cl * ch);
        const double yp = (ch + phi * 0.5 * std::sin(phi / 2.0)) / (cl * ch * ch);
        const double xl = 0.5 * (sc + 1.0);
        const double xp = sc == 0.0 || !std::isfinite(sc) ? 0.0 : lambda * 0.5 * (-std::sin(phi)) / (2.0 * sc);
        const double det = xl * yp - xp * yl;
        if (det == 0.0 || !std::isfinite(det)) break;
        const double dl = (rx * yp - ry * xp) / det;
        const double dp = (ry * xl - rx * yl) / det;
        lambda -= dl;
        phi -= dp;
        ++out.steps;
        if (std::fabs(dl) < kNewtonTolerance && std::fabs(dp) < kNewtonTolerance) break;
    }
    out.lambda = x < 0.0 ? -lambda : lambda;
    out.phi = y < 0.0 ? -phi : phi;
    out.ok = out.steps <= 20 && out.lambda >= -kLambdaLimit && out.lambda <= kLambdaLimit && out.phi >= -kHalfPi &&
             out.phi <= kHalfPi;
    return out;
}

// ---- Robinson ------------------------------------------------------------------------------

float robinsonParallelLength(float phiN) noexcept { return robinsonColumn(kRobinsonX, phiN); }

float robinsonHeight(float phiN) noexcept {
    const float y = robinsonColumn(kRobinsonY, phiN);
    return phiN < 0.0f ? -y : y;
}

float robinsonInverseLatitude(float y) noexcept {
    const auto& table = inverseRobinsonTable().phi;
    float t = std::fabs(y) * 399.0f;
    if (!(t >= 0.0f)) t = 0.0f;
    const int i = std::clamp(static_cast<int>(std::floor(t)), 0, kInverseRobinsonSize - 1);
    const int j = std::clamp(i + 1, 0, kInverseRobinsonSize - 1);
    const float ti = table[static_cast<std::size_t>(i)];
    const float tj = table[static_cast<std::size_t>(j)];
    const float phi = ti + (tj - ti) * (t - static_cast<float>(i));
    return y < 0.0f ? -phi : phi;
}

void prepareOutputTables() noexcept { (void)inverseRobinsonTable(); }

namespace output_detail {

namespace {

// The last step of the polynomial projections: d = E(0.5 − λ/(2π), φ/π + 0.5).
void toSphere(const LonLat& ll, OutputResult& r) noexcept {
    if (!ll.ok) return;
    setHit(r, equirectDirection(static_cast<float>(0.5 - ll.lambda / (2.0 * kPi)),
                                static_cast<float>(ll.phi / kPi + 0.5)));
}

// Mollweide's map by rows: θ, φ and the parallel's half length once a row.
bool mollweideRow(const OutputCall& c, PseudoRow& row) noexcept {
    const double yp = 5.656854249492384 * c.cyd();
    if (std::fabs(yp) > 1.414213562373095) return false;
    const float theta = static_cast<float>(fast_math::asin(yp * 0.707106781186548));
    const double phi = fast_math::asin((fast_math::sin(2.0 * theta) + 2.0 * theta) / 3.1415927410125732);
    row.v = static_cast<float>(phi / 3.1415927410125732 + 0.5);
    row.k[0] = std::cos(theta) * 2.82842712474619f;
    return true;
}

bool mollweideAcross(const OutputCall& c, const PseudoRow& row, float& w) noexcept {
    const double xp = 5.656854249492384 * c.cxd();
    if (std::fabs(xp) > 2.82842712474619) return false;
    const double k = row.k[0];
    const double lambda = k > 0.0 ? xp * 3.1415927410125732 / k + 3.1415927410125732 - 3.141592653 : -3.141592653;
    if (lambda < -3.1415927410125732 || lambda > 3.1415927410125732) return false;
    w = static_cast<float>(1.0 - (lambda + 3.141592653) * 0.5 / 3.1415927410125732);
    return true;
}

}  // namespace

const PseudoRowForm kMollweideRows{&mollweideRow, &mollweideAcross};

void mapMollweide(const OutputCall& c, OutputResult& r) noexcept { mapByPseudoRow(kMollweideRows, c, r); }

namespace {

// Eckert IV by rows: the auxiliary angle, its cosine and the latitude once a row.
bool eckertIVRow(const OutputCall& c, PseudoRow& row) noexcept {
    const double s = 4.0 * c.cyd();
    if (!(s >= -1.0 && s <= 1.0)) return false;
    const double theta = std::asin(s);
    const double cs = std::cos(theta);
    const double phi = std::asin(std::clamp((cs * s + theta + 2.0 * s) / 3.5707963267948966, -1.0, 1.0));
    row.v = static_cast<float>(phi / 3.1415927410125732 + 0.5);
    row.k[0] = cs;
    return true;
}

bool eckertIVAcross(const OutputCall& c, const PseudoRow& row, float& w) noexcept {
    const double lambda = c.cxd() * 12.566370614359172 / (row.k[0] + 1.0);
    if (std::fabs(lambda) > 3.141592653) return false;
    w = static_cast<float>(1.5 - (lambda / 2.0) / 3.1415927410125732);
    return true;
}

}  // namespace

const PseudoRowForm kEckertIVRows{&eckertIVRow, &eckertIVAcross};

void mapEckertIV(const OutputCall& c, OutputResult& r) noexcept { mapByPseudoRow(kEckertIVRows, c, r); }

void mapHillEucyclic(const OutputCall& c, OutputResult& r) noexcept {
    const double y = c.cyd() + 0.0155;
    const double p = -y - 2.4752834971092215;
    const double q = -c.cxd();
    const double r2 = p * p + q * q;
    const double cc = (5.0 - r2 / 1.7596033859537705) * 0.25;
    const double alpha = std::acos(cc);
    const double s = std::sin(alpha);
    const double beta = std::atan2(s, 2.0 - cc);
    const double lambda = std::asin(q / std::sqrt(r2)) * kPi / (beta + 0.5);
    const double phi =
        std::asin(1.0 - ((5.0 - 4.0 * cc) * (beta + 0.5) + (alpha - 0.5 - 2.0 * s)) * 2.0 / 7.141592653589793);
    if (!(std::fabs(lambda) <= kPi) || std::isnan(phi)) return;
    setHit(r, equirectDirection(static_cast<float>(lambda / 6.283185307179586 + 0.5),
                                static_cast<float>(1.0 - (phi / kPi + 0.5))));
}

namespace {

// Robinson's map by rows: the latitude and the parallel's length from the
// tables once a row.
bool robinsonRow(const OutputCall& c, PseudoRow& row) noexcept {
    const auto y2 = static_cast<float>(2.0 * c.cyd());
    if (!(std::fabs(y2) <= 1.0f)) return false;
    const float phiN = robinsonInverseLatitude(y2);
    row.v = phiN * 0.5f + 0.5f;
    row.k[0] = robinsonParallelLength(phiN);
    return true;
}

bool robinsonAcross(const OutputCall& c, const PseudoRow& row, float& w) noexcept {
    const auto x = static_cast<float>(c.cxd());
    const auto length = static_cast<float>(row.k[0]);
    if (!(std::fabs(x) <= 1.0f && std::fabs(x) <= length)) return false;
    w = -(x / length) * 0.5f + 0.5f;
    return true;
}

}  // namespace

const PseudoRowForm kRobinsonRows{&robinsonRow, &robinsonAcross};

void mapRobinson(const OutputCall& c, OutputResult& r) noexcept { mapByPseudoRow(kRobinsonRows, c, r); }

void mapWinkelTripel(const OutputCall& c, OutputResult& r) noexcept {
    toSphere(winkelTripelInverse(c.cxd(), c.cyd()), r);
}
void mapNaturalEarth(const OutputCall& c, OutputResult& r) noexcept {
    toSphere(naturalEarthInverse(c.cxd(), c.cyd()), r);
}
void mapCanters(const OutputCall& c, OutputResult& r) noexcept { toSphere(cantersInverse(c.cxd(), c.cyd()), r); }
void mapGinzburg8(const OutputCall& c, OutputResult& r) noexcept { toSphere(ginzburg8Inverse(c.cxd(), c.cyd()), r); }
void mapLaskowski(const OutputCall& c, OutputResult& r) noexcept { toSphere(laskowskiInverse(c.cxd(), c.cyd()), r); }
void mapLarrivee(const OutputCall& c, OutputResult& r) noexcept { toSphere(larriveeInverse(c.cxd(), c.cyd()), r); }

}  // namespace output_detail

}  // namespace globaro
