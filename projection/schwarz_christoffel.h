#pragma once
// Schwarz–Christoffel maps of the unit disc onto regular polygons and
// regular stars.
//
//     w(z) = ∫₀^z (1 − tⁿ)^(α−1) · (1 + tⁿ)^(β−1) dt,    α + β = 2 − 2/n,
//
// carries the unit disc conformally onto a star of n points: the n-th roots
// of unity go to its tips (interior angle απ) and the roots of −1 to the
// corners between them (interior angle βπ); the turning angles alternate
// (1 − α)π, (1 − β)π and add up to 2π. β = 1 is the regular n-gon (the roots
// of −1 then go to the middles of its sides), n = 2 with β < 1 a rhombus.
// The map has the star's full dihedral symmetry, which fixes the prevertices;
// what is left to solve once per shape is where the corners land (the tip
// and inner radii), from which the drawing is scaled.
//
// The map is evaluated in the fundamental sector 0 ≤ arg z ≤ π/n (the rest
// follows by the symmetry) by one of three series: near the centre by the
// hypergeometric-type series in zⁿ, near a prevertex c by the expansion
// w = W_c − c·s^e·Σ g_j s^j (s = 1 − z/c, e the corner's angle over π), which
// converges up to the neighbouring prevertices. The inverse starts from the
// reverted centre series, polished by Newton's method where it is cut too
// short. Near a corner it takes the e-th root once: with
// σ = ((W_c − w)/(c·g₀/e))^(1/e), the corner expansion becomes the power
// series σ = s·(Σ (term_j/term₀)·s^j)^(1/e) = Σ root_j s^(j+1), analytic
// and tangent to the identity, which the reverted series starts and Newton's
// method polishes without further fractional powers, with a fixed cap on the
// steps.

#include <array>

#include "geometry/vec_math.h"

namespace globaro {

class StarMap {
public:
    static constexpr int kTerms = 40;

    static constexpr int kMaxPoints = 16;

    // `points` in 2..kMaxPoints; `tipAngle` the tips' interior angle over π, in
    // (0, 2 − 2/points); the inner corners take the rest.
    StarMap(int points, double tipAngle) noexcept;

    int points() const noexcept { return n_; }
    double tipAngle() const noexcept { return corners_[0].exponent; }
    double innerAngle() const noexcept { return corners_[1].exponent; }
    // |w(1)| and |w(e^{iπ/n})|: how far the tips and the inner corners (or the
    // middles of the sides) lie from the centre.
    double tipRadius() const noexcept { return corners_[0].image.re; }
    double innerRadius() const noexcept { return innerRadius_; }

    // w(z) for |z| ≤ 1, and its derivative.
    Complex forward(Complex z) const noexcept;
    Complex derivative(Complex z) const noexcept;
    // The disc point z (|z| ≤ 1) with w(z) = w; false, and z untouched, when
    // w lies outside the star (its outline belongs to it).
    bool inverse(Complex w, Complex& z) const noexcept;

private:
    // A prevertex c of the fundamental sector (1 for the tip, e^{iπ/n} for the
    // inner corner) and the expansion of the map about it.
    struct Corner {
        Complex at;                                // c
        Complex image;                             // W_c = w(c)
        double exponent;                           // e
        double radius;                             // where the expansion converges: |s| below it
        double halfReach;                          // |w − W_c| where |s| is about radius/2
        std::array<double, kTerms> term{};         // g_j/(e + j): w = W_c − c·s^e·Σ term_j s^j
        std::array<double, kTerms> root{};         // σ = Σ root_j s^(j+1), σ^e = (W_c − w)/(c·term₀)
        std::array<double, kTerms> rootSlope{};    // (j + 1)·root_j: dσ/ds
        std::array<double, kTerms> rootInverse{};  // s = σ·Σ rootInverse_j σ^j, cut short
    };

    Complex centreSeries(Complex z) const noexcept;
    Complex cornerSeries(const Corner& k, Complex s) const noexcept;
    Complex sectorForward(Complex z) const noexcept;
    Complex sectorInverse(Complex w) const noexcept;
    Complex centreNewton(Complex w, Complex z) const noexcept;
    // w turned back by k sectors of 2π/n (and mirrored when it then lies below
    // the real axis) into the fundamental sector, and back.
    struct SectorTurn {
        int k = 0;
        bool mirrored = false;
    };
    Complex intoSector(Complex w, SectorTurn& t) const noexcept;
    Complex outOfSector(Complex z, const SectorTurn& t) const noexcept;
    double solveAtCorner(const Corner& k, Complex w, Complex& z) const noexcept;

    int n_;
    std::array<double, kTerms> centre_{};       // w = z·Σ centre_k z^{nk}
    std::array<double, kTerms> centreSlope_{};  // w′ = Σ centreSlope_k z^{nk}
    std::array<double, kTerms> reverted_{};     // z = w·Σ reverted_k w^{nk}
    double singularReach_;                      // |w|ⁿ below which the reverted series alone is exact enough
    double revertedReach_;                      // |w| up to which the reverted series starts Newton's method
    double innerRadius_;
    std::array<Corner, 2> corners_;
    std::array<Complex, kMaxPoints> turns_{};  // e^{2πik/n}
    Complex halfTurn_{};                       // e^{iπ/n}
};

}  // namespace globaro
