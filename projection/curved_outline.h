#pragma once
// The conformal map of the unit disc onto a curved outline with n-fold
// rotational symmetry: a domain star-shaped about its centre, given by a
// test of which points lie inside it (unions and intersections of discs,
// rounded polygons ...).
//
// The map is f(z) = z·exp(Σ c_m z^{nm}). On the rim z = e^{iφ} the outline's
// polar radius ρ fixes Re log(f/z) = log ρ(θ(φ)) and the boundary
// correspondence θ(φ) = φ + Im log(f/z), the conjugate function of the
// former: Theodorsen's equation θ = φ + K[log ρ(θ)], solved once per
// outline by a damped fixed-point iteration with the conjugation done by
// the FFT, which converges while the outline's radius changes more slowly
// than its angle (|ρ′/ρ| below about 1; the damping carries it to about 2).
// Outlines with sharp tips or walls along the rays are beyond it.
//
// The coefficients are damped by an exponential filter of order 8, which
// keeps the truncated series free of ripples near corners and leaves the
// low terms alone. Whether a point lies inside
// is decided by the outline's own radius (a table of the polar radius), not
// by the truncated series, so the outline stays exact; the inverse starts
// from a table of disc points over the outline's polar grid and is polished
// by Newton's method with a fixed cap on the steps.
//
// The series is summed only where it is set up and where a point leaves
// the tables below. Near the rim it needs nearly all its terms (|z|^{nm}
// decays slowly), so the map is evaluated from local expansions instead:
// rings of nodes z₀ over one period, each holding the Taylor polynomial of
// f about z₀ of degree kDegree. The Taylor coefficients of
// log(f/z) = Σ c_m z^{nm} at all the nodes of a ring come from one FFT per
// degree, and those of f from them by the exponential's recurrence. The
// rings are as wide, and their nodes as close, as a bound on the remainder
// allows (the tail of a majorant series, every term's phase at its worst).
// Inside the innermost ring f = z·Σ e_j z^{nj}, the power series of the
// exponential, cut after as few terms as the point's radius needs. The
// Newton steps keep the expansion of the step before while the point stays
// within its reach.

#include <array>
#include <complex>
#include <cstddef>
#include <functional>
#include <vector>

namespace globaro {

class OutlineMap {
public:
    using Point = std::complex<double>;
    // Whether a plane point lies inside the outline (the outline belongs to it).
    using Inside = std::function<bool(Point)>;

    // `fold` ≥ 1 the rotational symmetry; `inside` the outline, with the origin
    // inside and every ray from it leaving once, within `reach` of it.
    OutlineMap(int fold, const Inside& inside, double reach);

    int fold() const noexcept { return n_; }
    // The outline's largest distance from its centre.
    double reach() const noexcept { return reach_; }
    // The polar radius of the outline in the direction θ.
    double radius(double theta) const noexcept;
    // The largest |d log ρ/dθ| of the outline: below about 2 the solution
    // is sound.
    double steepness() const noexcept { return steepness_; }

    Point forward(Point z) const noexcept;
    // f(z) by the series itself, all its terms summed: what forward's
    // tables stand for, and slower.
    Point seriesForward(Point z) const noexcept;
    // The disc point z (|z| ≤ 1) with f(z) = w; false when w lies outside.
    bool inverse(Point w, Point& z) const noexcept;

private:
    // The series: the disc onto the outline.
    struct Series {
        int n = 1;
        std::vector<Point> c;  // c_0 … c_{N−1}
        double bound = 0.0;    // the largest |c_m|, m ≥ 1
        Point eval(Point z, Point* derivative) const noexcept;
    };

    // Local expansions near the rim: the nodes of a ring lie at one radius,
    // `angles` of them over one period (and one more closing it).
    static constexpr int kDegree = 12;
    struct Node {
        Point at;
        std::array<Point, kDegree + 1> a;  // f(at + t) = Σ a_k t^k
    };
    struct Ring {
        double inner = 0.0, radius = 0.0;  // the ring holds |z| from `inner` to the next ring's
        double reach2 = 0.0;               // the squared distance from a node where its bound holds
        int angles = 0;
        std::size_t first = 0;  // its first node
    };

    // The expansion a Newton iteration used last, kept while it holds.
    struct Local {
        const Node* node = nullptr;
        Point omega = 1.0;  // the turn into the node's period
        double reach2 = 0.0;
    };

    void buildExpansions();
    // f and f′ by the local expansions near the rim (the one in `local`
    // while z lies within its reach), by the series inside.
    Point evaluate(Point z, Point* derivative, Local* local) const noexcept;
    Point guess(Point w, double angle, double rim) const noexcept;

    int n_;
    double period_;
    double reach_;
    std::vector<double> outline_;  // ρ of the outline over one period
    double steepness_ = 0.0;
    Series series_;
    std::vector<Point> centre_;        // e_j of f = z·Σ e_j z^{nj} about the centre
    double centreReach2_ = 0.0;        // the squared radius of the disc where that holds
    std::vector<double> centreReach_;  // |zⁿ|² up to which 4k of the terms hold
    std::vector<Ring> rings_;
    std::vector<double> ringInner_;  // the rings' inner radii, rising
    double tableOuter_ = 0.0;        // |z| beyond which the series takes over again
    std::vector<Node> nodes_;
    std::vector<Point> turns_;  // e^{ik·period}, k = 0 … n − 1
    // Disc points over the outline's polar grid: radius fraction × angle.
    int gridRadii_ = 0, gridAngles_ = 0;
    std::vector<Point> grid_;
};

}  // namespace globaro
