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

#include <complex>
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

    bool seriesInverse(Point w, Point& z) const noexcept;
    Point guess(Point w) const noexcept;

    int n_;
    double period_;
    double reach_;
    std::vector<double> outline_;  // ρ of the outline over one period
    double steepness_ = 0.0;
    Series series_;
    // Disc points over the outline's polar grid: radius fraction × angle.
    int gridRadii_ = 0, gridAngles_ = 0;
    std::vector<Point> grid_;
};

}  // namespace globaro
