// Tilings: the sphere conformally on a tile, the tile repeated over the
// Euclidean plane or the hyperbolic plane (projection/tilings.h), and the
// quilt blocks, a tile bordered by its mirror images.
//
// Every routine folds the plane point into its base tile and maps the tile
// point to a direction; the fold is a chain of reflections (or, for the
// tetrahedral and hexagonal tiles, the periods and half-turns of an elliptic
// function), so neighbouring tiles meet without a seam and the map keeps
// angles wherever the tile map does.

#include <array>
#include <cmath>
#include <numbers>

#include "projection/elliptic.h"
#include "projection/output_formulas.h"
#include "projection/schwarz_christoffel.h"
#include "projection/tilings.h"

namespace globaro::output_detail {

namespace {

constexpr int kEuclideanFoldSteps = 64;

// The plane point with y up.
Complex planePoint(const OutputCall& c) noexcept { return {c.fxd(), -c.fyd()}; }

// The direction of the stereographic coordinate num/den (the view centre at
// 0, the back at infinity), without dividing: den = 0 is the back.
SphereDir stereographicRatio(Complex num, Complex den) noexcept {
    const double n2 = num.re * num.re + num.im * num.im, d2 = den.re * den.re + den.im * den.im;
    const double sum = n2 + d2;
    if (!(sum > 0.0) || !std::isfinite(sum)) return {0.0f, 0.0f, -1.0f};
    const Complex w = complexMul(num, complexConjugate(den));
    return {static_cast<float>(-2.0 * w.re / sum), static_cast<float>(2.0 * w.im / sum),
            static_cast<float>((d2 - n2) / sum)};
}

// ---- the hyperbolic tilings --------------------------------------------------------

// Each tile shows one face of the Platonic solid {p, qSolid} as the sphere
// shows it round the view centre: the base p-gon, scaled, seen through the
// inverse stereographic projection, its vertices on the face's vertices.
struct HyperbolicRow {
    int p, q, qSolid;
};
constexpr HyperbolicRow kHyperbolic[] = {
    {3, 9, 4},  // 371..374: triangles, faces of the octahedron
    {4, 8, 3},  // 375..378: squares, faces of the cube
    {5, 4, 3},  // 379..382: pentagons, faces of the dodecahedron
};
constexpr int kHyperbolicFirst = 371;
constexpr int kHyperbolicVariants = 4;  // disc, square, pentagon, band

struct HyperbolicSetup {
    HyperbolicTiling tiling;
    // The disc point times this is the face's stereographic coordinate. A
    // fold into the fundamental triangle (from the vertex at angle 0 to the
    // side's middle at π/p) turns it to straddle the horizontal, so that the
    // kaleidoscope shows the view's horizon.
    Complex scale;
};

HyperbolicSetup makeSetup(const HyperbolicRow& row) noexcept {
    const HyperbolicTiling tiling(row.p, row.q);
    // The face's circumradius α on the sphere: cos α = cot(π/p)·cot(π/qSolid).
    const double alpha =
        std::acos(1.0 / (std::tan(std::numbers::pi / row.p) * std::tan(std::numbers::pi / row.qSolid)));
    const double scale = std::tan(alpha / 2.0) / tiling.vertexRadius();
    const double turn = tiling.foldsToTriangle() ? -std::numbers::pi / (2.0 * row.p) : 0.0;
    return {tiling, {scale * std::cos(turn), scale * std::sin(turn)}};
}

const HyperbolicSetup& hyperbolicSetup(int index) noexcept {
    static const HyperbolicSetup setups[] = {makeSetup(kHyperbolic[0]), makeSetup(kHyperbolic[1]),
                                             makeSetup(kHyperbolic[2])};
    return setups[index];
}

const StarMap& pentagonMap() noexcept {
    static const StarMap map(5, 3.0 / 5.0);
    return map;
}

// The models of the hyperbolic plane, each as its conformal map onto the
// Poincaré disc; false outside the model.
bool squareModel(Complex p, Complex& z) noexcept {
    // The square |x|, |y| ≤ 1 onto the disc, its corners to e^{±iπ/4},
    // e^{±3iπ/4}: z = (1 + i)/2·sd(K(1 − i)(x + iy)/2) with m = 1/2 (the
    // hemisphere square of the quincuncial maps).
    if (!(std::fabs(p.re) <= 1.0 && std::fabs(p.im) <= 1.0)) return false;
    static const JacobiTable table(0.5);
    const double k = table.quarterPeriod();
    const ComplexRatio q = jacobiSd(complexMul({0.5 * k, -0.5 * k}, p), table, table);
    z = complexMul({0.5, 0.5}, complexDivide(q.num, q.den));
    return true;
}

bool pentagonModel(Complex p, Complex& z) noexcept {
    // The regular pentagon with its corners 1 from the centre, one straight
    // up, by its Schwarz–Christoffel map of the disc.
    const StarMap& map = pentagonMap();
    Complex disc;
    if (!map.inverse(complexMul(p, {0.0, -map.tipRadius()}), disc)) return false;
    z = complexMul(disc, {0.0, 1.0});
    return true;
}

bool bandModel(Complex p, Complex& z) noexcept {
    // The band |y| ≤ 1: z = tanh(πw/4), the band's middle line on the real
    // diameter, its edges on the two halves of the unit circle.
    if (!(std::fabs(p.im) <= 1.0)) return false;
    z = complexTanh({p.re * std::numbers::pi / 4.0, p.im * std::numbers::pi / 4.0});
    return true;
}

}  // namespace

void mapTetraTile(const OutputCall& c, OutputResult& r) noexcept {
    // Nets of the regular tetrahedron (four equilateral triangles, side 1/2,
    // making one of side 1) tile the plane; the equianharmonic ℘ carries
    // each net once onto the sphere, as Lee's tetrahedric projection does.
    // Its critical values ∞ and e_k = 4^{−1/3}·e^{2πik/3} (at the lattice
    // points and the half-periods, the tetrahedron's vertices) go to the
    // vertices of a regular tetrahedron: ∞ to the back, e_k to 109.47° from
    // it, by the stereographic coordinate ℘/(√2·e₁). The zero of ℘ at a
    // triangle's centre, the middle of the base net, faces the view.
    const double halfPeriod = equianharmonicHalfPeriod(), spacing = 2.0 * halfPeriod;
    const Complex p = planePoint(c);
    const Complex z{p.re * spacing + spacing / 2.0, p.im * spacing + spacing * std::numbers::sqrt3 / 6.0};
    if (!(std::isfinite(z.re) && std::isfinite(z.im))) return;
    const WeierstrassRatio w = equianharmonicP(z);
    const double k = std::numbers::sqrt2 * std::cbrt(0.25);
    setHit(r, stereographicRatio(w.num, {k * w.den.re, k * w.den.im}));
}

void mapTriangleTile(const OutputCall& c, OutputResult& r) noexcept {
    // The world in an equilateral triangle (the "triangle" output's map),
    // the plane tiled by reflecting it in its sides: the mirrors meet at
    // 60°, so six triangles fit round every corner.
    Complex p = planePoint(c);
    if (!foldIntoTriangle(p, 0.25, kEuclideanFoldSteps)) return;
    conformalPolygonAt(101, p, r);
}

void mapHexagonTile(const OutputCall& c, OutputResult& r) noexcept {
    // Regular hexagons (corners 1/2 from their centres, one straight up)
    // tile the plane; each is the whole sphere once by sn², the pillowcase
    // function of the rectangular lattice its tiling keeps: the left and
    // right sides are translates of each other, the other four are each
    // turned onto itself by a half-turn about its middle (there sn² doubles
    // angles). The lattice of periods is √3/2 × 3/2 (k = sin 15°, K′ = √3·K),
    // so the hexagons meet without a seam; a turn of the sphere brings the
    // hexagon's centre to the view centre.
    constexpr double kCorner = 0.5;
    static const double m = (2.0 - std::numbers::sqrt3) / 4.0, rootM = std::sqrt(m);
    static const ThetaSd sd(m);
    static const double toU = 2.0 * sd.quarterPeriod() / (std::numbers::sqrt3 * kCorner);
    // The stereographic coordinate √m·sn²(u) = num/den, undivided.
    const auto square = [](Complex u, Complex& num, Complex& den) {
        const ComplexRatio q = sd(u);
        const Complex n2 = complexSquare(q.num);
        num = {rootM * n2.re, rootM * n2.im};
        const Complex d2 = complexSquare(q.den);
        den = {d2.re + m * n2.re, d2.im + m * n2.im};
    };
    // The lattice's origin: the middle of the upper right side.
    const Complex origin{std::numbers::sqrt3 * kCorner / 4.0, 3.0 * kCorner / 4.0};
    static const Complex centre = [&] {
        Complex num, den;
        square({-origin.re * toU, -origin.im * toU}, num, den);
        return complexDivide(num, den);
    }();
    const Complex p = planePoint(c);
    if (!(std::isfinite(p.re) && std::isfinite(p.im))) return;
    Complex num, den;
    square({(p.re - origin.re) * toU, (p.im - origin.im) * toU}, num, den);
    // The turn of the sphere taking the centre's coordinate a to 0:
    // ζ → (ζ − a)/(1 + āζ).
    const Complex aDen = complexMul(centre, den), aNum = complexMul(complexConjugate(centre), num);
    setHit(r, stereographicRatio({num.re - aDen.re, num.im - aDen.im}, {den.re + aNum.re, den.im + aNum.im}));
}

void mapHyperbolicTiling(const OutputCall& c, OutputResult& r) noexcept {
    const int offset = static_cast<int>(c.entry.id) - kHyperbolicFirst;
    if (offset < 0 || offset >= kHyperbolicVariants * static_cast<int>(std::size(kHyperbolic))) return;
    const Complex p = planePoint(c);
    if (!(std::isfinite(p.re) && std::isfinite(p.im))) return;
    Complex z = p;
    bool inside = false;
    switch (offset % kHyperbolicVariants) {
        case 0:
            inside = p.re * p.re + p.im * p.im < 1.0;
            break;
        case 1:
            inside = squareModel(p, z);
            break;
        case 2:
            inside = pentagonModel(p, z);
            break;
        default:
            inside = bandModel(p, z);
            break;
    }
    const HyperbolicSetup& setup = hyperbolicSetup(offset / kHyperbolicVariants);
    if (!inside || !setup.tiling.fold(z)) return;
    z = complexMul(z, setup.scale);
    setHit(r, inverseStereographic(static_cast<float>(z.re), static_cast<float>(-z.im)));
}

}  // namespace globaro::output_detail

namespace globaro::output_detail {

void mapQuilt(const OutputCall& c, OutputResult& r) noexcept {
    // A quilt block: the world in a regular n-gon (Lagrange's disc by the
    // n-gon's Schwarz–Christoffel map, the poles on its vertical axis),
    // bordered by its n mirror images in its sides. A border piece shows the
    // centre's picture reflected, so the pieces join the centre without a
    // seam and the block keeps angles everywhere but at the poles and the
    // corners. The triangle's block is a triangle twice its size, the
    // square's a cross, the pentagon's the flower of a dodecahedron's net.
    constexpr double kCorner = 0.5;
    const int n = static_cast<int>(c.entry.id) - 408;  // 411..413: 3, 4, 5
    if (n < 3 || n > 5) return;
    static const StarMap maps[3] = {StarMap(3, 1.0 / 3.0), StarMap(4, 0.5), StarMap(5, 0.6)};
    const StarMap& map = maps[n - 3];
    // Each block shape's sides (outward normals, inradius) and the turn of
    // its first corner, once per process.
    struct Block {
        Complex normals[5];
        Complex turn;
        double inradius;
    };
    static const std::array<Block, 3> blocks = [] {
        std::array<Block, 3> all{};
        for (int sides = 3; sides <= 5; ++sides) {
            Block& b = all[sides - 3];
            // The first corner straight up; the square stands on a side.
            const double first = sides == 4 ? std::numbers::pi / 4.0 : std::numbers::pi / 2.0;
            for (int k = 0; k < sides; ++k)
                b.normals[k] = complexUnit(first + std::numbers::pi / sides + 2.0 * std::numbers::pi * k / sides);
            b.turn = complexUnit(first);
            b.inradius = kCorner * std::cos(std::numbers::pi / sides);
        }
        return all;
    }();
    const Block& block = blocks[n - 3];
    Complex p{c.fxd(), -c.fyd()};
    if (!(std::isfinite(p.re) && std::isfinite(p.im))) return;
    const auto outside = [&](Complex q, Complex& normal) {
        double most = -INFINITY;
        for (int k = 0; k < n; ++k) {
            const Complex nk = block.normals[k];
            const double over = q.re * nk.re + q.im * nk.im - block.inradius;
            if (over > most) most = over, normal = nk;
        }
        return most;
    };
    Complex normal;
    const double over = outside(p, normal);
    if (over > 0.0) {
        p = {p.re - 2.0 * over * normal.re, p.im - 2.0 * over * normal.im};
        if (outside(p, normal) > 1e-12) return;
    }
    const Complex turn = block.turn;  // the map's first corner, at angle 0 in its own frame
    const double toMap = map.tipRadius() / kCorner;
    Complex z;
    if (!map.inverse(complexMul({p.re * toMap, p.im * toMap}, complexConjugate(turn)), z)) return;
    z = complexMul(z, turn);
    setHit(r, inverseStereographic(static_cast<float>(z.re), static_cast<float>(-z.im)));
}

}  // namespace globaro::output_detail
