#pragma once
// The Schwarz–Christoffel map of the unit disc onto any straight-sided
// polygon with a rotational symmetry of order n ≥ 1:
//
//     f(z) = ∫₀^z Π_j (1 − (t/ζ_j)ⁿ)^(α_j − 1) dt,    P = a·f(z) + b,
//
// where the ζ_j are the prevertices of one sector of the polygon (the n-th
// roots of unity times them give the rest) and α_j·π the interior angles.
// The prevertices are the unknowns of the parameter problem, solved once per
// shape (after Driscoll and Trefethen): the gaps between neighbouring
// prevertices of the sector are written as positive weights e^(y_k) scaled to
// fill 2π/n, the vertices are the integrals from the centre to each
// prevertex (compound Gauss–Jacobi quadrature: Gauss–Jacobi on the last piece
// next to the singular end, adaptive Gauss–Legendre before it), and a damped
// Newton iteration in the y_k matches the side lengths of the sector. With
// n ≥ 2 the symmetry closes the polygon and fixes the disc's centre at the
// symmetry centre; with n = 1 the disc's centre is sent to a chosen point
// and only n_vertices − 3 side ratios are free.
//
// The inverse is made for many samples: a grid over the polygon holds, at
// each node inside it, the disc point, found once by continuation from the
// centre, and the Taylor series of f about it (from the series of log f′, a
// sum of logarithms of polynomials, and its exponential). A sample starts from
// the nearest node and solves the series by Newton's method where it lies
// well inside the series' reach (the distance to the nearest prevertex).
// Near a corner, where the nodes' series reach too little, the corner's own
// expansion answers: with z = ζ_k·(1 − R·σ), R the distance from ζ_k to the
// nearest other prevertex,
//
//     f(z) − f(ζ_k) = C·σ^α_k·A(σ),    A(0) = 1,
//
// so v = ((f − f(ζ_k))/C)^(1/α_k) = σ·A(σ)^(1/α_k) is analytic in σ and near
// the identity; its reverted series (Lagrange's inversion) gives σ from v
// and one Newton step on the forward series checks it. Where neither reaches
// (between crowded prevertices), each Newton step integrates f′ along the
// short segment from the node instead (adaptive Gauss–Legendre). All have a
// fixed cap on the steps. The forward map uses the corner expansions near
// the corners too, where quadrature would need ever shorter pieces.

#include <array>
#include <complex>
#include <memory>
#include <vector>

namespace globaro {

using ComplexD = std::complex<double>;

struct PolygonDesign {
    int order = 1;                 // the rotational symmetry n
    std::vector<ComplexD> sector;  // one sector's vertices, counter-clockwise, centred on the symmetry centre
    ComplexD centre{0.0, 0.0};     // where the disc's centre lands (order 1 only)
};

class PolygonMap {
public:
    // Solves the parameter problem and builds the inverse table. `solved()`
    // says whether the side lengths were matched.
    explicit PolygonMap(const PolygonDesign& design);
    ~PolygonMap();
    PolygonMap(const PolygonMap&) = delete;
    PolygonMap& operator=(const PolygonMap&) = delete;

    bool solved() const noexcept { return solved_; }
    // The largest mismatch of the designed vertices by the solved map, over
    // the polygon's size.
    double vertexError() const noexcept { return vertexError_; }

    int order() const noexcept { return n_; }
    // The whole polygon, counter-clockwise.
    const std::vector<ComplexD>& vertices() const noexcept { return polygon_; }
    // The prevertices of the sector (on the unit circle).
    const std::vector<ComplexD>& prevertices() const noexcept { return zeta_; }
    // The raw integral f(ζ) of the first sector vertex (before the similarity).
    ComplexD rawVertex(int k) const noexcept { return raw_[k]; }

    // The prevertex of a corner of the polygon (false when p is none).
    bool cornerPrevertex(ComplexD p, ComplexD& z) const noexcept;
    // The plane point of a disc point (|z| ≤ 1) and the derivative dP/dz.
    ComplexD forward(ComplexD z) const noexcept;
    ComplexD derivative(ComplexD z) const noexcept;
    // Whether the plane point lies in the polygon (its outline included).
    bool contains(ComplexD p) const noexcept;
    // The disc point of a plane point; false when it lies outside.
    bool inverse(ComplexD p, ComplexD& z) const noexcept;

    // The corner expansions on their own, for the whole polygon's corners
    // (index r·m + k: the sector's vertex k turned r times): the raw plane
    // point f(z) of a disc point within the expansion's reach, and the disc
    // point of a raw plane point; false outside the reach.
    int cornerCount() const noexcept { return static_cast<int>(corners_.size()) * n_; }
    bool cornerForward(int corner, ComplexD z, ComplexD& w) const noexcept;
    bool cornerInverse(int corner, ComplexD w, ComplexD& z) const noexcept;
    // f(z) of the raw map by quadrature from the centre, and f′(z).
    ComplexD rawForwardByQuadrature(ComplexD z) const noexcept { return segment({0.0, 0.0}, z); }
    ComplexD rawDerivative(ComplexD t) const noexcept;

private:
    static constexpr int kSeriesTerms = 16;
    struct Node {
        ComplexD w;      // the node in the raw plane of f
        ComplexD z;      // f⁻¹(w)
        ComplexD slope;  // f′(z)
        double reach;    // the distance from z to the nearest prevertex
        // f(z + h) = w + Σ_k series_k·h^(k+1), which converges for |h| < reach
        std::array<ComplexD, kSeriesTerms> series;
    };
    Node makeNode(ComplexD w, ComplexD z) const noexcept;
    bool seriesInverse(const Node& from, ComplexD w, ComplexD& z) const noexcept;

    static constexpr int kCornerTerms = 24;
    // f(ζ·(1 − R·σ)) = w + C·σ^α·A(σ) for |σ| < 1.
    struct Corner {
        ComplexD w, zeta, c;
        double alpha = 1.0, radius = 0.0;        // α and R
        double reach = 0.0;                      // |v| within which σ(v) is used
        double span = 0.0;                       // the largest |w − f(ζ)| of a σ the series serve
        std::array<ComplexD, kCornerTerms> a;    // A(σ) = Σ a_i·σ^i
        std::array<ComplexD, kCornerTerms> phi;  // v(σ) = σ·A(σ)^(1/α) = Σ phi_i·σ^(i+1)
        std::array<ComplexD, kCornerTerms> psi;  // σ(v) = Σ psi_i·v^(i+1)
    };
    void buildCorners();
    // The corner of the whole polygon whose expansion reaches a raw plane
    // point, −1 for none.
    int reachingCorner(ComplexD w) const noexcept;

    // ∫ f′ along the segment from a to b.
    ComplexD segment(ComplexD a, ComplexD b, int depth = 0) const noexcept;
    double singularDistance(ComplexD a, ComplexD b) const noexcept;
    // f(ζ_k) by the compound Gauss–Jacobi rule.
    ComplexD vertexIntegral(int k) const noexcept;
    void setGaps(const std::vector<double>& y);
    std::vector<double> residual(const std::vector<double>& y);
    void solve(const PolygonDesign& design);
    void buildTable();
    bool polish(const Node& from, ComplexD w, ComplexD& z, int steps, double tolerance) const noexcept;
    ComplexD logOfFactors(ComplexD tn, int skip) const noexcept;

    int n_ = 1;
    int m_ = 0;                     // vertices a sector
    std::vector<ComplexD> design_;  // the sector's designed vertices
    ComplexD centre_{};
    std::vector<double> beta_;        // α_j − 1
    std::vector<int> byBeta_;         // the sector's vertices ordered by β_j
    std::vector<int> betaRunEnd_;     // where each run of equal β_j ends in byBeta_
    std::vector<ComplexD> zeta_;      // the sector's prevertices
    std::vector<ComplexD> zetaPow_;   // conj(ζ_j)ⁿ
    std::vector<ComplexD> singular_;  // every prevertex of the polygon
    std::vector<ComplexD> raw_;       // f(ζ_j)
    std::vector<ComplexD> polygon_;
    struct JacobiRule {
        std::vector<double> x, w;
    };
    std::vector<JacobiRule> jacobi_;  // per sector vertex: weight (1 − x)^β_j
    ComplexD scale_{1.0, 0.0}, shift_{};
    bool solved_ = false;
    double vertexError_ = 1.0;
    // The inverse table: a grid of the raw plane.
    double x0_ = 0, y0_ = 0, step_ = 1;
    int columns_ = 0, rows_ = 0;
    std::vector<int> nearest_;           // per grid point: the index of the nearest solved node, −1 for none
    std::vector<unsigned char> inside_;  // per grid cell (by its lower left point): wholly inside the figure
    std::vector<Node> nodes_;
    std::vector<Corner> corners_;  // per sector vertex
    std::vector<ComplexD> turns_;  // e^(2πir/n)
    std::vector<short> corner_;    // per grid point: the corner whose expansion may reach it, −1 for none
};

}  // namespace globaro
