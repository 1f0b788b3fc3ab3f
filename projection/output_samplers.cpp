// Pictures of things made of the sphere: a planet of blobs, the flat earth,
// a glass marble hanging in the view, and a tube of mirrors.
//
// Directions are given as the other routines give them: seen from inside,
// the screen's right is −x and its top +y (the north pole); a globe seen from
// outside shows (0, 0, 1) at its front and the east on its right (−x).

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/fast_math.h"
#include "projection/output_formulas.h"
#include "projection/output_mapping.h"

namespace globaro::output_detail {
namespace {

// ---- blob world ---------------------------------------------------------------

// The planet's radius over directions d: r(d) = 1 + Σ hᵢ·exp(−k·(1 − d·cᵢ)),
// round bumps about the twelve corners of an icosahedron, alternately high
// and low, so that the planet looks kneaded of blobs (metaballs of one
// radius each on a ball).
constexpr double kBlobSharpness = 12.0;
constexpr double kBlobScale = 0.36;  // the radius-1 ball in plane units

struct Blob {
    double x, y, z, height;
};

const std::array<Blob, 12>& blobs() {
    static const std::array<Blob, 12> table = [] {
        std::array<Blob, 12> t{};
        const double g = (1.0 + std::sqrt(5.0)) / 2.0, n = std::sqrt(1.0 + g * g);
        const double corners[12][3] = {{0, 1, g},  {0, -1, g},  {0, 1, -g}, {0, -1, -g}, {1, g, 0},  {-1, g, 0},
                                       {1, -g, 0}, {-1, -g, 0}, {g, 0, 1},  {-g, 0, 1},  {g, 0, -1}, {-g, 0, -1}};
        for (int i = 0; i < 12; ++i)
            t[static_cast<std::size_t>(i)] = {corners[i][0] / n, corners[i][1] / n, corners[i][2] / n,
                                              i % 3 == 0   ? 0.28
                                              : i % 3 == 1 ? 0.20
                                                           : 0.14};
        return t;
    }();
    return table;
}

// Each blob's share is cut off where it has fallen below e^−7.8 of its
// height (d·cᵢ < kBlobCut) and lowered by that much, so that the radius
// stays continuous across the cut and the bounds below hold everywhere.
constexpr double kBlobCut = 0.35;

// exp(−k·(1 − c)) for kBlobCut ≤ c ≤ 1, the march's innermost cost: the
// value at the nearest of kShareSteps steps of c from a table, carried to c
// by exp(k·δ) = 1 + x + x²/2 + x³/6 (|x| = |k·δ| < 0.002, so the error is
// below 1e-12 of the value).
class BlobShare {
public:
    static constexpr int kShareSteps = 2048;
    static constexpr double kStep = (1.0 - kBlobCut) / kShareSteps;

    BlobShare() {
        for (int i = 0; i <= kShareSteps; ++i)
            table_[static_cast<std::size_t>(i)] = std::exp(-kBlobSharpness * (1.0 - at(i)));
    }
    double operator()(double c) const noexcept {
        const int i = std::clamp(static_cast<int>((c - kBlobCut) * (1.0 / kStep) + 0.5), 0, kShareSteps);
        const double x = kBlobSharpness * (c - at(i));
        return table_[static_cast<std::size_t>(i)] * (1.0 + x * (1.0 + x * (0.5 + x * (1.0 / 6.0))));
    }

private:
    static double at(int i) noexcept { return kBlobCut + i * kStep; }
    std::array<double, kShareSteps + 1> table_{};
};

const BlobShare& blobShare() {
    static const BlobShare share;
    return share;
}

// The radius over the unit direction u and its gradient on the sphere
// (Σ hᵢ·k·eᵢ·cᵢ, before the part along u is taken out).
// Adds one blob's share of the radius at u to `r` and of its gradient to
// `grad`; nothing when u lies beyond the blob's cut. `share` is the table of
// blobShare(), held by the caller across its blobs.
inline void addBlob(const Blob& b, const BlobShare& share, const double u[3], double& r, double grad[3]) noexcept {
    static const double floorShare = std::exp(-kBlobSharpness * (1.0 - kBlobCut));
    const double c = u[0] * b.x + u[1] * b.y + u[2] * b.z;
    if (c < kBlobCut) return;
    const double e = b.height * share(c);
    r += e - b.height * floorShare;
    grad[0] += kBlobSharpness * e * b.x;
    grad[1] += kBlobSharpness * e * b.y;
    grad[2] += kBlobSharpness * e * b.z;
}

double blobRadius(const double u[3], double grad[3]) noexcept {
    double r = 1.0;
    grad[0] = grad[1] = grad[2] = 0.0;
    const BlobShare& share = blobShare();
    for (const Blob& b : blobs()) addBlob(b, share, u, r, grad);
    return r;
}

// Bounds of the radius along any great circle run at unit speed: the
// largest radius, the largest |r′| and the largest |r″|. With
// cᵢ(α) = A·cos(α − α₀) along a circle (A ≤ 1), cᵢ″ = −cᵢ and cᵢ′² ≤ 1 − cᵢ², so
// a blob's share bends by at most hᵢ·eᵢ·(k·|cᵢ| + k²·(1 − cᵢ²)) at any point.
// The three are taken over a dense Fibonacci lattice of directions and
// widened by what each can grow within the lattice's spacing.
struct BlobBounds {
    double radius, slope, bend;
};

const BlobBounds& blobBounds() {
    static const BlobBounds bounds = [] {
        constexpr int kPoints = 65536;
        const double golden = kPi * (3.0 - std::sqrt(5.0));
        BlobBounds m{1.0, 0.0, 0.0};
        for (int i = 0; i < kPoints; ++i) {
            const double y = 1.0 - (2.0 * i + 1.0) / kPoints, ring = std::sqrt(1.0 - y * y);
            const double u[3] = {ring * std::cos(golden * i), y, ring * std::sin(golden * i)};
            double grad[3];
            const double r = blobRadius(u, grad);
            const double along = grad[0] * u[0] + grad[1] * u[1] + grad[2] * u[2];
            double slope = 0.0, bend = 0.0;
            for (int j = 0; j < 3; ++j) slope += (grad[j] - along * u[j]) * (grad[j] - along * u[j]);
            for (const Blob& b : blobs()) {
                const double c = u[0] * b.x + u[1] * b.y + u[2] * b.z;
                if (c < kBlobCut) continue;
                const double e = b.height * std::exp(-kBlobSharpness * (1.0 - c));
                bend += e * (kBlobSharpness * c + kBlobSharpness * kBlobSharpness * (1.0 - c * c));
            }
            m = {std::max(m.radius, r), std::max(m.slope, std::sqrt(slope)), std::max(m.bend, bend)};
        }
        // Every direction lies within this angle of a lattice point.
        const double spacing = 1.2 * std::sqrt(4.0 * kPi / kPoints);
        return BlobBounds{m.radius + m.slope * spacing + m.bend * spacing * spacing, m.slope + m.bend * spacing,
                          m.bend * (1.0 + 2.0 * kBlobSharpness * spacing)};
    }();
    return bounds;
}

// Where along a ray the march has to look. All rays whose plane makes the
// same turn θ about the view axis share one circle of directions, so a table
// over θ and the ray's distance b bounds where H can reach 0 at all. Over a
// cell of θ and β the direction moves at most half the cell's β width along
// its meridian and then at most half its θ width along its parallel (longer
// than the great circle between the two), so the radius stays below its value
// at the cell's middle plus `slope` times that distance; and H ≤ that bound ·
// the cell's largest sin β − b. The rays of a bin of b march from the first
// cell of their θ bin where that can reach 0 to the end of the last one, and
// miss when there is none. θ is binned by a pseudo-angle, monotone in θ and
// free of trigonometry.
class BlobMarchRange {
public:
    static constexpr int kTurnBins = 256;
    static constexpr int kDistanceBins = 256;
    static constexpr int kBetaCells = 512;  // across [0, π]
    static constexpr double kBetaStep = kPi / kBetaCells;
    static constexpr std::size_t kCells = std::size_t{kTurnBins} * kDistanceBins;

    struct Range {
        double first, last;  // first > last: a miss
    };

    BlobMarchRange() : first_(kCells), end_(kCells) {
        const BlobBounds& bound = blobBounds();
        distanceStep_ = bound.radius / kDistanceBins;
        perDistance_ = 1.0 / distanceStep_;
        std::array<double, kBetaCells> top{}, sine{};
        for (int k = 0; k < kBetaCells; ++k) {
            const double lo = k * kBetaStep, hi = lo + kBetaStep;
            sine[static_cast<std::size_t>(k)] =
                lo <= kPi / 2.0 && hi >= kPi / 2.0 ? 1.0 : std::max(std::sin(lo), std::sin(hi));
        }
        for (int j = 0; j < kTurnBins; ++j) {
            const double theta0 = turnAt(4.0 * j / kTurnBins), theta1 = turnAt(4.0 * (j + 1) / kTurnBins);
            const double middle = 0.5 * (theta0 + theta1), reach = 0.5 * (kBetaStep + (theta1 - theta0));
            for (int k = 0; k < kBetaCells; ++k) {
                const double beta = (k + 0.5) * kBetaStep;
                const double u[3] = {std::sin(beta) * std::cos(middle), std::sin(beta) * std::sin(middle),
                                     std::cos(beta)};
                double grad[3];
                // (the margin covers the rounding of the bins' edges and of r)
                top[static_cast<std::size_t>(k)] = blobRadius(u, grad) + bound.slope * reach + 1e-9;
            }
            // As b grows the cells that can reach it only thin out, so the
            // first moves forward and the last back.
            int first = 0, last = kBetaCells - 1;
            for (int i = 0; i < kDistanceBins; ++i) {
                const double b = i * distanceStep_;
                auto reaches = [&](int k) {
                    return top[static_cast<std::size_t>(k)] * sine[static_cast<std::size_t>(k)] >= b;
                };
                while (first <= last && !reaches(first)) ++first;
                while (last >= first && !reaches(last)) --last;
                const std::size_t at = static_cast<std::size_t>(j * kDistanceBins + i);
                first_[at] = static_cast<std::uint16_t>(first);
                end_[at] = static_cast<std::uint16_t>(first <= last ? last + 1 : 0);
            }
        }
    }

    // The range of β for the ray through (e₁x, e₁y)·b, |e₁| = 1, b < the
    // bounding radius.
    Range operator()(double e1x, double e1y, double b) const noexcept {
        const double t = e1x / (std::fabs(e1x) + std::fabs(e1y));
        const double pseudo = e1y >= 0.0 ? 1.0 - t : 3.0 + t;
        const int j = std::clamp(static_cast<int>(pseudo * (kTurnBins / 4.0)), 0, kTurnBins - 1);
        const int i = std::clamp(static_cast<int>(b * perDistance_), 0, kDistanceBins - 1);
        const std::size_t at = static_cast<std::size_t>(j * kDistanceBins + i);
        return {first_[at] * kBetaStep, end_[at] * kBetaStep};
    }

private:
    // θ of the pseudo-angle p in [0, 4]: the angle of the point
    // (t, ±(1 − |t|)) on the diamond |x| + |y| = 1.
    static double turnAt(double p) noexcept {
        if (p <= 2.0) return std::atan2(1.0 - std::fabs(1.0 - p), 1.0 - p);
        return 2.0 * kPi + std::atan2(-(1.0 - std::fabs(p - 3.0)), p - 3.0);
    }

    double distanceStep_ = 1.0, perDistance_ = 1.0;
    std::vector<std::uint16_t> first_, end_;  // cells of β: the first, one past the last
};

const BlobMarchRange& blobMarchRange() {
    static const BlobMarchRange range;
    return range;
}

// ---- the glass marble -----------------------------------------------------------

// Glass of refractive index 1.5; the marble fills 70 % of the frame's height.
constexpr double kGlassIndex = 1.5;
constexpr double kMarbleShare = 0.35;

// Refracts the unit direction v at the unit normal n (pointing against v)
// from index n1 into n2; false on total internal reflection.
bool refract(const double v[3], const double n[3], double ratio, double out[3]) noexcept {
    const double cosI = -(v[0] * n[0] + v[1] * n[1] + v[2] * n[2]);
    const double k = 1.0 - ratio * ratio * (1.0 - cosI * cosI);
    if (k < 0.0) return false;
    const double a = ratio * cosI - std::sqrt(k);
    for (int i = 0; i < 3; ++i) out[i] = ratio * v[i] + a * n[i];
    return true;
}

// The folded coordinate of a tube of mirrors: t reflected into [−1, 1] by
// mirrors at every odd whole number; `cell` counts the reflections.
double foldIntoTube(double t, int& cell) noexcept {
    cell = static_cast<int>(std::floor((t + 1.0) / 2.0));
    const double u = t - 2.0 * cell;
    return (cell & 1) != 0 ? -u : u;
}

}  // namespace

void mapBlobWorld(const OutputCall& c, OutputResult& r) noexcept {
    // Seen orthographically from the front: the ray through the frame point
    // runs along −z at the distance b from the centre. In the plane of the
    // ray and the centre, with e₁ towards the ray's nearest point and
    // e₂ = +z, the ray's point whose direction u = sin β·e₁ + cos β·e₂ makes
    // the angle β with e₂ lies at |p| = b / sin β; it is on the surface where
    // H(β) = r(u(β))·sin β − b rises to 0, first seen from the front.
    const BlobBounds& bound = blobBounds();
    const double X = -c.fxd() / kBlobScale, Y = -c.fyd() / kBlobScale;
    const double b = std::sqrt(X * X + Y * Y);
    if (!(b < bound.radius)) return;
    const double e1x = b > 0.0 ? X / b : 1.0, e1y = b > 0.0 ? Y / b : 0.0;
    const BlobMarchRange::Range range = blobMarchRange()(e1x, e1y, b);
    if (range.first > range.last) return;
    // Along the circle cᵢ(β) = pᵢ·sin β + qᵢ·cos β never exceeds
    // |(pᵢ, qᵢ)|: only the blobs that reach past the cut somewhere on it are
    // weighed. Where a share starts or ends at the cut, r′ jumps up by at
    // most hᵢ·k·e^{−k(1−cut)}.
    static const double floorShare = std::exp(-kBlobSharpness * (1.0 - kBlobCut));
    const BlobShare& share = blobShare();
    struct Near {
        double p, q;
        const Blob* blob;
    };
    std::array<Near, 12> near{};
    std::size_t count = 0;
    double jump = 0.0;
    for (const Blob& blob : blobs()) {
        const double p = blob.x * e1x + blob.y * e1y, q = blob.z;
        if (p * p + q * q < kBlobCut * kBlobCut) continue;
        near[count++] = {p, q, &blob};
        jump += blob.height * kBlobSharpness * floorShare;
    }
    // |H″| ≤ |r″| + 2|r′| + r ≤ C, so H(β + s) ≤ H + H′·s + C·s²/2 (plus
    // jump·s when a share may start or end within the step): the step s
    // that makes that bound 0 never passes the surface. Far from it the
    // steps are long, and near a hit they shrink like Newton's (the gap
    // squares at each step).
    const double curve = bound.bend + 2.0 * bound.slope + bound.radius;
    auto stepFor = [curve](double gap, double rise) {
        const double root = std::sqrt(rise * rise - 2.0 * curve * gap);
        return rise > 0.0 ? -2.0 * gap / (root + rise) : (root - rise) / curve;
    };
    double beta = range.first;
    bool hit = false;
    for (int step = 0; step < 64 && beta <= range.last; ++step) {
        const double sb = fast_math::sin(beta), cb = fast_math::sin(kPi / 2.0 - beta);
        double radius = 1.0, dr = 0.0, nearCut = 2.0;  // r, r′ = dr/dβ, the least |cᵢ − cut|
        for (std::size_t i = 0; i < count; ++i) {
            const Near& n = near[i];
            const double cosine = sb * n.p + cb * n.q;
            nearCut = std::min(nearCut, std::fabs(cosine - kBlobCut));
            if (cosine < kBlobCut) continue;
            const double e = n.blob->height * share(cosine);
            radius += e - n.blob->height * floorShare;
            dr += kBlobSharpness * e * (cb * n.p - sb * n.q);
        }
        const double gap = radius * sb - b;  // H, below 0 outside the planet
        if (gap >= 0.0) {
            hit = true;
            break;
        }
        const double rise = dr * sb + radius * cb;  // H′
        double s = stepFor(gap, rise);
        if (nearCut <= s) s = stepFor(gap, rise + jump);  // |cᵢ′| ≤ 1
        // From below, H(β + t) ≥ H + H′·t − C·t²/2 (the jumps only lift it),
        // so the surface also lies before the first t where that bound
        // reaches 0: once the two ends are a millionth of a radian apart
        // (far below a pixel), the hit is between them.
        const double below = rise * rise + 2.0 * curve * gap;
        const double latest = rise > 0.0 && below >= 0.0 ? -2.0 * gap / (rise + std::sqrt(below)) : kPi;
        if (latest - s < 2e-6) {
            beta += 0.5 * (s + latest);
            hit = true;
            break;
        }
        beta += s;
    }
    if (!hit) return;
    const double sb = fast_math::sin(beta), cb = fast_math::sin(kPi / 2.0 - beta);
    const double u[3] = {sb * e1x, sb * e1y, cb};
    // The radius there and its gradient on the sphere (Σ hᵢ·k·eᵢ·cᵢ, before
    // the part along u is taken out), from the blobs near the circle.
    double radius = 1.0, grad[3] = {0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < count; ++i) addBlob(*near[i].blob, share, u, radius, grad);
    setHit(r, normalise(SphereDir{static_cast<float>(u[0]), static_cast<float>(u[1]), static_cast<float>(u[2])}));
    // The surface normal: ∇F = u − (g − (g·u)u)/|p| for F(p) = |p| − r(p/|p|),
    // with |p| = r on the surface.
    const double along = grad[0] * u[0] + grad[1] * u[1] + grad[2] * u[2];
    double n[3];
    for (int i = 0; i < 3; ++i) n[i] = u[i] - (grad[i] - along * u[i]) / radius;
    r.storeNormal = true;
    r.ownNormal = true;
    r.normal = normalise(SphereDir{static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2])});
}

void mapFerguson(const OutputCall& c, OutputResult& r) noexcept {
    // The flat earth of the 1893 "square and stationary" map: the north pole
    // at the centre, each parallel a circle at its distance from the pole
    // (the polar azimuthal equidistant map out to the south pole, which rims
    // the disc), Greenwich straight down, on a flat plate lit from above.
    const double X = c.fxd(), Y = -c.fyd();
    constexpr double kRim = 0.428;
    const double rho = std::hypot(X, Y) / kRim;
    if (rho > 1.0) return;
    const double phi = kPi / 2.0 - rho * kPi, lambda = std::atan2(X, -Y);
    setHit(r, SphereDir{static_cast<float>(-std::cos(phi) * std::sin(lambda)), static_cast<float>(std::sin(phi)),
                        static_cast<float>(std::cos(phi) * std::cos(lambda))});
    r.storeNormal = true;
    r.ownNormal = true;
    r.normal = SphereDir{0.0f, 0.0f, 1.0f};
    r.storeWeight = true;
    r.weight = static_cast<float>(rho);
}

void mapGlassMarble(const OutputCall& c, OutputResult& r) noexcept {
    // A rectilinear view of the surroundings with a glass marble hanging in
    // the middle of it. A ray that meets the marble is refracted in and out
    // (Snell's law at both surfaces: a sphere never reflects it totally from
    // inside) and shows the surroundings behind the marble, upside down; the
    // others show the view itself. The marble is region 1, the rest 0.
    float x = 0.0f, y = 0.0f;
    rectilinearPlanePoint(c.ctx, c.a, c.b, x, y);
    const double len = std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y + 1.0);
    double v[3] = {x / len, y / len, 1.0 / len};
    // The marble: centre (0, 0, 1), seen under the half-angle whose tangent
    // is kMarbleShare of the frame's height.
    const double tanHeight =
        0.5 * c.ctx.wideTan * (c.ctx.frame.aspect > 1.0 ? 1.0 : 1.0 / std::max(1e-6, c.ctx.frame.aspect));
    const double radius = std::sin(std::atan(kMarbleShare * 2.0 * tanHeight));
    const double b = v[2], disc = b * b - (1.0 - radius * radius);
    r.ownTag = true;
    r.regionTag = 0;
    r.face = 0;
    if (disc > 0.0) {
        double p[3], n[3], inside[3];
        const double t = b - std::sqrt(disc);
        for (int i = 0; i < 3; ++i) p[i] = v[i] * t;
        p[2] -= 1.0;
        for (int i = 0; i < 3; ++i) n[i] = p[i] / radius;
        if (refract(v, n, 1.0 / kGlassIndex, inside)) {
            // Across the marble to its far side, and out.
            const double along = -2.0 * (p[0] * inside[0] + p[1] * inside[1] + p[2] * inside[2]);
            double q[3], m[3], out[3];
            for (int i = 0; i < 3; ++i) {
                q[i] = p[i] + along * inside[i];
                m[i] = -q[i] / radius;
            }
            if (refract(inside, m, kGlassIndex, out)) {
                for (int i = 0; i < 3; ++i) v[i] = out[i];
                r.regionTag = 1;
                r.face = 1;
            }
        }
    }
    setHit(r, normalise(SphereDir{static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])}));
}

void mapMirrors(const OutputCall& c, OutputResult& r) noexcept {
    // The view down a square tube lined with four mirrors (a kaleidoscope):
    // the frame is five tube widths across, and the picture at the end of the
    // tube, a rectilinear view of the field of view, is seen in the middle
    // and reflected in every mirror, and in the reflections of the
    // reflections. Each image is a region; neighbours are mirror images of
    // each other, so the picture runs on smoothly across every mirror.
    constexpr double kHalfWidth = 1.2;  // the box is ±6: five images across
    int column = 0, row = 0;
    const double u = foldIntoTube(c.fxd() / kHalfWidth, column);
    const double v = foldIntoTube(-c.fyd() / kHalfWidth, row);
    const double t = 0.5 * c.ctx.wideTan;
    setHit(r, normalise(SphereDir{static_cast<float>(-u * t), static_cast<float>(v * t), 1.0f}));
    column = std::clamp(column, -2, 2);
    row = std::clamp(row, -2, 2);
    r.ownTag = true;
    r.face = (row + 2) * 5 + column + 2;
    r.regionTag = r.face;
    r.cutSide = static_cast<std::int8_t>((row + column) & 1);
}

void mapCosineFalloff(const OutputCall& c, OutputResult& r) noexcept {
    mapEquirectangular(c, r);
    r.storeNormal = true;  // the map's own direction, for the falloff
}

// ---- colour steps -----------------------------------------------------------------

void lightByNormal(const RenderContext&, const RenderCell& cell, float rgb[3]) noexcept {
    lightLikeGlobe(cell, false, rgb);
}

void lightFlatEarth(const RenderContext&, const RenderCell& cell, float rgb[3]) noexcept {
    // The plate lit from above, and the wall of ice that rims the flat
    // earth: from 90 % of the radius out the colour turns to ice.
    lightLikeGlobe(cell, false, rgb);
    const float t = std::clamp((cell.weight - 0.9f) / 0.07f, 0.0f, 1.0f);
    const float ice = 0.8f * t * t * (3.0f - 2.0f * t);
    constexpr float kIce[3] = {0.90f, 0.94f, 0.98f};
    for (int i = 0; i < 3; ++i) rgb[i] += (kIce[i] - rgb[i]) * ice;
}

void darkenByCosine(const RenderContext&, const RenderCell& cell, float rgb[3]) noexcept {
    // Each row weighed by the cosine of its latitude, the share of the
    // sphere a pixel of the row stands for.
    const float y = std::clamp(cell.normal[1], -1.0f, 1.0f);
    const float cosine = std::sqrt(1.0f - y * y);
    for (int i = 0; i < 3; ++i) rgb[i] *= cosine;
}

}  // namespace globaro::output_detail
