// Regular pentagons round the north pole, each a lune of the sphere.
//
// The sphere is cut along n meridians into n lunes of 360°/n. A lune opens
// conformally into the right half-plane by a power of its stereographic
// coordinate about the north pole, t = (ζ·e^{−iλ_k})^{n/2}; the half-plane
// goes onto the unit disc by (t − 1)/(t + 1), and the disc onto a regular
// pentagon by its Schwarz–Christoffel map (projection/schwarz_christoffel.h).
// The north pole lies in the middle of each pentagon's inner side, the south
// pole at its outer corner, the lune's middle on the equator at its centre.
// The inner sides make a regular n-gon round the middle of the picture, so
// the pentagons stand round it like petals and touch at its corners; the map
// keeps angles except at the poles and the corners.

#include <cmath>
#include <numbers>

#include "projection/output_formulas.h"
#include "projection/schwarz_christoffel.h"

namespace globaro::output_detail {

void mapPentagonFlower(const OutputCall& c, OutputResult& r) noexcept {
    constexpr double kPi = std::numbers::pi;
    constexpr double kCorner = 0.5;  // the pentagons' corners from their centres
    static const StarMap pentagon(5, 3.0 / 5.0);
    const int n = static_cast<int>(c.entry.id) - 382;  // 385..387: three, four, five pentagons
    if (n < 3 || n > 5) return;
    const double side = 2.0 * kCorner * std::sin(kPi / 5.0), inradius = kCorner * std::cos(kPi / 5.0);
    const double distance = inradius + side / (2.0 * std::tan(kPi / n));  // from the middle to each centre
    const Complex p{c.fxd(), -c.fyd()};
    if (!(std::isfinite(p.re) && std::isfinite(p.im))) return;
    // The petal of the point's sector; petal 0 points down and holds λ = 0.
    const double sector = 2.0 * kPi / n;
    const int k = static_cast<int>(std::lround((std::atan2(p.im, p.re) + kPi / 2.0) / sector) + n) % n;
    const double out = -kPi / 2.0 + sector * k;
    // The point in the petal's frame, its outer corner on the +x axis.
    const Complex local =
        complexMul({p.re - distance * std::cos(out), p.im - distance * std::sin(out)}, complexUnit(-out));
    Complex z;
    const double toMap = pentagon.tipRadius() / kCorner;
    if (!pentagon.inverse({local.re * toMap, local.im * toMap}, z)) return;
    // Disc → half-plane → lune; ζ is the stereographic coordinate from the
    // north pole, its argument the longitude east of the petal's middle.
    const Complex t = complexDivide({1.0 + z.re, z.im}, {1.0 - z.re, -z.im});
    if (!(std::isfinite(t.re) && std::isfinite(t.im))) {
        setHit(r, {0.0f, -1.0f, 0.0f});  // the outer corner: the south pole
        return;
    }
    const Complex zeta = complexPow(t, 2.0 / n);
    const double colatitude = 2.0 * std::atan(complexAbs(zeta));
    const double lambda = sector * k + std::atan2(zeta.im, zeta.re);
    const double phi = kPi / 2.0 - colatitude;
    setHit(r, {static_cast<float>(-std::sin(lambda) * std::cos(phi)), static_cast<float>(std::sin(phi)),
               static_cast<float>(std::cos(lambda) * std::cos(phi))});
}

}  // namespace globaro::output_detail
