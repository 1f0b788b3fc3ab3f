// The sphere conformally onto the regular octahedron and dodecahedron, unfolded.
//
// Seen stereographically from one vertex, t = tan(θ/2)·e^{iφ}, the
// octahedron's other vertices are the fourth roots of unity (the equator)
// and ∞. The faces meet four to a vertex, 240° of flat angle, so the
// developing map about a vertex is
//
//     w = ∫₀^t s^{−1/3} (1 − s⁴)^{−1/3} ds,
//
// and t = u^{3/2} turns it into 3/2·∫₀^u (1 − s⁶)^{−1/3} ds: the
// Schwarz–Christoffel map of the disc onto the regular hexagon (120°
// corners, no inner corners), whose sector 0 ≤ arg u ≤ π/3 is the
// equilateral triangle between the centre and two neighbouring corners.
// So a face, the octant between the vertex and two equator vertices, is
// drawn by inverting the hexagon's map on the triangle and raising u to the
// power 3/2. The map is unique for a face (the conformal map of a triangle
// onto a triangle, corners to corners), so the faces join smoothly across
// every edge of the net; angles are kept everywhere except at the six
// vertices.
//
// The net: each northern face over the southern face that shares its
// equator edge, a rhombus, four rhombi side by side along the equator,
// centred on λ = 0, ±90° and 180°; the last one is cut along the meridian
// 180° into the two ends.

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>

#include "projection/output_formulas.h"
#include "projection/schwarz_christoffel.h"

namespace globaro::output_detail {

namespace {

constexpr double kEdge = 0.25;                                 // the faces' side, in plane units
constexpr double kHeight = 0.5 * std::numbers::sqrt3 * kEdge;  // a face's height

const StarMap& hexagonMap() {
    static const StarMap map(6, 2.0 / 3.0);
    return map;
}

Vec3d equatorVertex(double lambda) noexcept { return {-std::sin(lambda), 0.0, std::cos(lambda)}; }

// The direction at the net point p of the face whose apex (a vertex of the
// solid, the point `apex` of the net) sees `first` and then `second` 60°
// anticlockwise from it; false off the face.
bool octahedronFace(Complex p, Complex apex, Complex first, const Vec3d& top, const Vec3d& a, const Vec3d& b,
                    OutputResult& r) noexcept {
    const StarMap& map = hexagonMap();
    // Turn and scale the face so that `first` lands on the hexagon's corner
    // at u = 1 (the map's w = tipRadius).
    const Complex edge{first.re - apex.re, first.im - apex.im};
    const Complex local{p.re - apex.re, p.im - apex.im};
    const double scale = map.tipRadius() / (kEdge * kEdge);
    const Complex w = complexMul(local, complexConjugate(edge));
    Complex u;
    if (!map.inverse({w.re * scale, w.im * scale}, u)) return false;
    const Complex t = complexPow(u, 1.5);
    const double r2 = t.re * t.re + t.im * t.im, k = 1.0 / (1.0 + r2);
    const double c = (1.0 - r2) * k, e = 2.0 * t.re * k, n = 2.0 * t.im * k;
    setHit(r,
           toSphereDir({top.x * c + a.x * e + b.x * n, top.y * c + a.y * e + b.y * n, top.z * c + a.z * e + b.z * n}));
    return true;
}

}  // namespace

void mapConformalOctahedron(const OutputCall& c, OutputResult& r) noexcept {
    const Complex p{c.fxd(), -c.fyd()};
    if (!(std::fabs(p.re) <= 2.0 * kEdge && std::fabs(p.im) <= kHeight)) return;
    // The rhombus: centred on x = k·edge, λ = 90°·k (k = ±2 is the cut one).
    const double k = std::round(p.re / kEdge);
    const double centre = k * kEdge;
    // Inside the rhombus: below the two slanted sides of its triangle.
    if (!(std::fabs(p.re - centre) * std::numbers::sqrt3 <= kHeight - std::fabs(p.im) + 1e-12)) return;
    const double lambda = k * std::numbers::pi / 2.0;
    const Vec3d west = equatorVertex(lambda - std::numbers::pi / 4.0);
    const Vec3d east = equatorVertex(lambda + std::numbers::pi / 4.0);
    const Complex westCorner{centre - 0.5 * kEdge, 0.0}, eastCorner{centre + 0.5 * kEdge, 0.0};
    // Seen from outside, east lies anticlockwise of west about the north
    // pole and clockwise about the south pole, as in the net.
    if (p.im >= 0.0)
        octahedronFace(p, {centre, kHeight}, westCorner, {0.0, 1.0, 0.0}, west, east, r);
    else
        octahedronFace(p, {centre, -kHeight}, eastCorner, {0.0, -1.0, 0.0}, east, west, r);
}

// ---- The conformal dodecahedron ---------------------------------------------
//
// Seen stereographically from the centre of a face, t = tan(θ/2)·e^{iφ},
// with the face's neighbours in the directions φ = 2πk/5, the icosahedral
// forms of Klein's "Lectures on the icosahedron" place the twelve face
// centres at the zeros of f = t(t¹⁰ + 11t⁵ − 1) (and ∞), the twenty
// vertices at the zeros of
//
//     H = −(t²⁰ + 1) + 228(t¹⁵ − t⁵) − 494t¹⁰,
//
// and the thirty edge midpoints at the zeros of T, with H³ + T² = 1728f⁵.
// The developing map of the dodecahedron, which sends each face onto a flat
// regular pentagon, has its three 108° corners meeting at each vertex, 324°
// of flat angle where the sphere has 360°, so it behaves like (t − v)^{9/10}
// at each zero of H and is smooth elsewhere; the Schwarz–Christoffel map of
// the flat triangle (π/5, 3π/10, π/2) composed with Klein's invariant
// 1728f⁵/H³ comes out as exactly that:
//
//     w(t) = ∫₀^t (−H(s))^{−1/10} ds = ∫₀^t P(s⁵)^{−1/10} ds,
//     P(τ) = 1 + 228τ + 494τ² − 228τ³ + τ⁴.
//
// P has real coefficients and the face's corner at τ = −r⁵ (r = tan of half
// the 37.38° from a face's centre to its corners), so w keeps the face's full
// dihedral symmetry: the spherical triangle of a tenth of the face (centre,
// edge midpoint, corner) goes onto the flat triangle (π/5, π/2, 3π/10), and
// every face drawn by the same map joins its neighbours point for point.
//
// With z = t/r and the pentagon's circumradius 1, two series evaluate it:
// about the centre, w = z·Σ a_k z^{5k}/(5k + 1)/R from the binomial series
// of P^{−1/10} (it converges up to the corners), and about the corner
// ω = e^{iπ/5}, with σ = 1 − z/ω (real along the ray to the centre),
// w = ω·(1 − κ·Σ b_j σ^{j+9/10}/(j + 9/10)), where P = d₁σ·(1 + …) and
// κ = d₁^{−1/10}/R; it converges up to the neighbouring corners. R is fixed
// by the apothem: the edge midpoint z = tan(15.86°)/r lands on cos 36°. A
// sample is folded into the triangle 0 ≤ arg w ≤ π/5 and the map inverted
// by Newton's method: in z about the centre, in u = σ^{9/10}, in which the
// map is nearly linear, near the corner.
//
// The net is the classic one, two flowers of six pentagons (a face and its
// five neighbours) joined at one edge, one flower the half-turn of the other
// about that edge's midpoint; the half-turn about the sphere's two-fold axis
// through it carries the one onto the other. The net lies level (the
// flowers' middles on the horizontal axis), that edge's midpoint is the view
// centre and the meridian through it runs straight up the picture; the
// flowers' middle faces are centred 90° to the left and right of it, 7.54°
// below and above the equator.

namespace {

using ComplexD = std::complex<double>;

class PentagonFaceMap {
public:
    static constexpr int kTerms = 32;

    PentagonFaceMap() noexcept {
        constexpr std::array<double, 5> p = {1.0, 228.0, 494.0, -228.0, 1.0};
        auto poly = [&](double tau) { return p[0] + tau * (p[1] + tau * (p[2] + tau * (p[3] + tau * p[4]))); };
        // The corner: P's root between −0.01 and 0, by bisection.
        double lo = -0.01, hi = 0.0;
        for (int i = 0; i < 200 && hi - lo > 1e-300; ++i) {
            const double m = 0.5 * (lo + hi);
            (poly(m) > 0.0 ? hi : lo) = m;
        }
        r_ = std::pow(-hi, 0.2);
        // P(r⁵ζ) and the series of its −1/10 power in ζ: for g = P^α,
        // P·g′ = α·P′·g gives k·a_k = Σ_i (α·i − k + i)·p_i·a_{k−i}.
        constexpr double alpha = -0.1;
        std::array<double, 5> ps{};
        for (int i = 0; i < 5; ++i) ps[i] = p[i] * std::pow(r_, 5.0 * i);
        std::array<double, kTerms> a{};
        a[0] = 1.0;
        for (int k = 1; k < kTerms; ++k) {
            double s = 0.0;
            for (int i = 1; i <= 4 && i <= k; ++i) s += (alpha * i - (k - i)) * ps[i] * a[k - i];
            a[k] = s / k;
        }
        // R from the apothem: the edge midpoint lies 31.72° from the centre
        // (tan of it is cos 36°·tan of the corner's angle).
        const double cornerAngle = 2.0 * std::atan(r_);
        const double midAngle = std::atan(std::cos(kPi / 5.0) * std::tan(cornerAngle));
        const double zm = std::tan(0.5 * midAngle) / r_;
        double raw = 0.0;
        for (int k = kTerms - 1; k >= 0; --k) raw = raw * std::pow(zm, 5.0) + a[k] / (5.0 * k + 1.0);
        const double R = zm * raw / std::cos(kPi / 5.0);
        for (int k = 0; k < kTerms; ++k) {
            centre_[k] = a[k] / (5.0 * k + 1.0) / R;
            centreSlope_[k] = a[k] / R;
        }
        // About the corner: ζ = −(1 − σ)⁵, P(r⁵ζ) a polynomial of degree 20 in σ
        // without constant term.
        std::array<double, 21> inSigma{}, power{};
        power[0] = 1.0;
        std::array<double, 6> zeta{};  // −(1 − σ)⁵
        for (int j = 0; j <= 5; ++j) zeta[j] = -binomial(5, j) * ((j & 1) != 0 ? -1.0 : 1.0);
        for (int i = 0; i < 5; ++i) {
            for (int j = 0; j <= 20; ++j) inSigma[j] += ps[i] * power[j];
            std::array<double, 21> next{};
            for (int j = 0; j <= 20; ++j)
                for (int m = 0; m <= 5 && j + m <= 20; ++m) next[j + m] += power[j] * zeta[m];
            power = next;
        }
        const double d1 = inSigma[1];
        std::array<double, kTerms> b{};
        b[0] = 1.0;
        for (int k = 1; k < kTerms; ++k) {
            double s = 0.0;
            for (int i = 1; i <= 19 && i <= k; ++i) s += (alpha * i - (k - i)) * (inSigma[i + 1] / d1) * b[k - i];
            b[k] = s / k;
        }
        const double kappa = std::pow(d1, -0.1) / R;
        for (int j = 0; j < kTerms; ++j) {
            corner_[j] = kappa * b[j] / (j + 0.9);
            cornerSlope_[j] = kappa * b[j] / 0.9;
        }
    }

    // tan of half the angle from a face's centre to its corners.
    double cornerRadius() const noexcept { return r_; }

    // w(z) about the centre, and dw/dz.
    ComplexD centreForward(ComplexD z, ComplexD& slope) const noexcept {
        const ComplexD z2 = z * z, z5 = z2 * z2 * z;
        ComplexD s = centre_[kTerms - 1], d = centreSlope_[kTerms - 1];
        for (int k = kTerms - 2; k >= 0; --k) {
            s = s * z5 + centre_[k];
            d = d * z5 + centreSlope_[k];
        }
        slope = d;
        return z * s;
    }
    // V = 1 − w/ω about the corner as a function of u = σ^{9/10}, and dV/du.
    ComplexD cornerForward(ComplexD u, ComplexD& sigma, ComplexD& slope) const noexcept {
        sigma = u == 0.0 ? ComplexD{} : std::exp(std::log(u) * (10.0 / 9.0));
        ComplexD s = corner_[kTerms - 1], d = cornerSlope_[kTerms - 1];
        for (int k = kTerms - 2; k >= 0; --k) {
            s = s * sigma + corner_[k];
            d = d * sigma + cornerSlope_[k];
        }
        slope = d;
        return u * s;
    }

    // The point z of the triangle 0 ≤ arg w ≤ π/5 (centre, edge midpoint,
    // corner) whose image is w.
    ComplexD inverse(ComplexD w) const noexcept {
        const ComplexD omega = std::polar(1.0, kPi / 5.0);
        const ComplexD v = 1.0 - w / omega;
        if (std::abs(v) < kCornerZone) {
            ComplexD u = v / corner_[0], sigma, slope;
            for (int i = 0; i < kSteps; ++i) {
                const ComplexD step = (cornerForward(u, sigma, slope) - v) / slope;
                u -= step;
                if (std::norm(step) < 1e-26) break;
            }
            cornerForward(u, sigma, slope);
            return omega * (1.0 - sigma);
        }
        ComplexD z = w / centreSlope_[0], slope;
        for (int i = 0; i < kSteps; ++i) {
            const ComplexD step = (centreForward(z, slope) - w) / slope;
            z -= step;
            if (std::norm(step) < 1e-26) break;
        }
        return z;
    }

private:
    static constexpr double kCornerZone = 0.45;
    static constexpr int kSteps = 12;
    static double binomial(int n, int k) noexcept {
        double c = 1.0;
        for (int i = 1; i <= k; ++i) c = c * (n - k + i) / i;
        return c;
    }

    double r_ = 0.0;
    std::array<double, kTerms> centre_{}, centreSlope_{};
    std::array<double, kTerms> corner_{}, cornerSlope_{};
};

constexpr double kNetCircumradius = 0.1;  // the pentagons', in plane units

struct NetFace {
    ComplexD centre;   // in the plane
    ComplexD turn;     // e^{iφ}: the direction of the face's edge 0 in the plane
    Vec3d normal;      // the face's centre on the sphere
    Vec3d across, up;  // the tangents towards edge 0 and a quarter turn on
    std::int8_t side;  // which side of the cuts (the flowers' middles against their petals)
};

struct DodecahedronNet {
    PentagonFaceMap map;
    std::array<NetFace, 12> faces{};

    DodecahedronNet() noexcept {
        // Each face after the first across edge `edge` of face `parent`:
        // the first flower, the petal of the second flower across edge 2 of
        // the first petal, the second flower's middle across its edge 3 (the
        // half-turn of the first flower), and the rest of its petals.
        struct Fold {
            int parent, edge;
        };
        constexpr std::array<Fold, 12> tree = {
            {{-1, 0}, {0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 2}, {6, 3}, {7, 1}, {7, 2}, {7, 3}, {7, 4}}};
        const double apothem = std::cos(kPi / 5.0);
        const double neighbour = std::atan(2.0);  // between neighbouring face centres
        for (int i = 0; i < 12; ++i) {
            NetFace& f = faces[i];
            if (tree[i].parent < 0) {
                f = {{0.0, 0.0}, {1.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}, {}, 0};
            } else {
                const NetFace& p = faces[tree[i].parent];
                const double theta = 2.0 * kPi * tree[i].edge / 5.0;
                const ComplexD out = p.turn * std::polar(1.0, theta);
                f.centre = p.centre + 2.0 * apothem * out;
                f.turn = -out;
                const double c = std::cos(theta), s = std::sin(theta);
                const Vec3d dir{c * p.across.x + s * p.up.x, c * p.across.y + s * p.up.y, c * p.across.z + s * p.up.z};
                const double cn = std::cos(neighbour), sn = std::sin(neighbour);
                f.normal = normalise(
                    Vec3d{p.normal.x * cn + dir.x * sn, p.normal.y * cn + dir.y * sn, p.normal.z * cn + dir.z * sn});
                const double k = dot(p.normal, f.normal);
                f.across = normalise(
                    Vec3d{p.normal.x - k * f.normal.x, p.normal.y - k * f.normal.y, p.normal.z - k * f.normal.z});
                f.side = static_cast<std::int8_t>((i >= 1 && i <= 5) || i == 7 ? 1 : 0);
            }
            f.up = cross(f.across, f.normal);
        }
        // The plane: the joined edge's midpoint at the origin, the flowers'
        // middles on the horizontal axis, scaled to the circumradius.
        const ComplexD middle = 0.5 * (faces[1].centre + faces[6].centre);
        const ComplexD level = std::polar(1.0, -std::arg(faces[7].centre - faces[0].centre));
        // The sphere: the joined edge's midpoint turned about y onto +z, then
        // about z until the first flower's middle is +x.
        const Vec3d m = normalise(midpoint(faces[1].normal, faces[6].normal));
        const double yaw = std::atan2(m.x, m.z);
        auto turn = [&](const Vec3d& v) {
            const double cy = std::cos(yaw), sy = std::sin(yaw);
            const Vec3d a{v.x * cy - v.z * sy, v.y, v.x * sy + v.z * cy};
            return Vec3d{a.y, -a.x, a.z};
        };
        for (NetFace& f : faces) {
            f.centre = (f.centre - middle) * level * kNetCircumradius;
            f.turn *= level;
            f.normal = turn(f.normal);
            f.across = turn(f.across);
            f.up = turn(f.up);
        }
        // Level as the net lies, the view centre would lean by some 7.5°:
        // the line between the flowers' middles is no meridian. A turn about
        // the view axis stands the meridian through it upright.
        Vec3d above;
        locate({0.0, 1e-6}, above);
        const double lean = std::atan2(above.x, above.y);
        const double cl = std::cos(lean), sl = std::sin(lean);
        auto upright = [&](const Vec3d& v) { return Vec3d{v.x * cl - v.y * sl, v.x * sl + v.y * cl, v.z}; };
        for (NetFace& f : faces) {
            f.normal = upright(f.normal);
            f.across = upright(f.across);
            f.up = upright(f.up);
        }
    }

    // The face under the plane point p and its direction d; −1 off the net.
    int locate(ComplexD p, Vec3d& d) const noexcept {
        const double sector = 2.0 * kPi / 5.0;
        const double apothem = std::cos(kPi / 5.0);
        for (int i = 0; i < 12; ++i) {
            const NetFace& f = faces[i];
            ComplexD w = (p - f.centre) * std::conj(f.turn) / kNetCircumradius;
            if (!(std::norm(w) <= 1.0 + 1e-9)) continue;
            // Fold into the tenth 0 ≤ arg w ≤ π/5 of the pentagon.
            const double k = std::round(std::arg(w) / sector);
            w *= std::polar(1.0, -k * sector);
            const bool mirrored = w.imag() < 0.0;
            if (mirrored) w = std::conj(w);
            if (!(w.real() <= apothem + 1e-12)) continue;
            ComplexD z = map.inverse(w);
            if (mirrored) z = std::conj(z);
            const ComplexD t = z * std::polar(map.cornerRadius(), k * sector);
            const double t2 = std::norm(t), q = 1.0 / (1.0 + t2);
            const double cc = (1.0 - t2) * q, e = 2.0 * t.real() * q, n = 2.0 * t.imag() * q;
            d = {f.normal.x * cc + f.across.x * e + f.up.x * n, f.normal.y * cc + f.across.y * e + f.up.y * n,
                 f.normal.z * cc + f.across.z * e + f.up.z * n};
            return i;
        }
        return -1;
    }
};

const DodecahedronNet& dodecahedronNet() {
    static const DodecahedronNet net;
    return net;
}

}  // namespace

void mapConformalDodecahedron(const OutputCall& c, OutputResult& r) noexcept {
    Vec3d d;
    const int face = dodecahedronNet().locate({c.fxd(), -c.fyd()}, d);
    if (face < 0) return;
    setHit(r, toSphereDir(d));
    r.ownTag = true;
    r.regionTag = face;
    r.face = face;
    r.cutSide = dodecahedronNet().faces[face].side;
}

}  // namespace globaro::output_detail
