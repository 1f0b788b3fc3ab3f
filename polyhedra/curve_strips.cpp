// The curve kinds' parameter table and the strip solid built on a curve.

#include "polyhedra/curve_strips.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <vector>

namespace globaro {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegree = kPi / 180.0;

using W = StripWave;

// Kinds 196 to 215, the muses and graces' curves (Calliope … Halimede):
// gently waving borders, the strips congruent or alternately wide and narrow.
//   N   waves amplitude twist phase oddPhase wave
constexpr StripCurve kMuseCurves[] = {
    {6, 1.0, 0.25, 0.0, 0.0, 0.0, W::kSine},      // Calliope: six S-shaped gores
    {4, 2.0, 0.30, 0.0, 0.0, 0.0, W::kSine},      // Clio: four gores, two waves each
    {8, 1.5, 0.25, 0.0, 0.0, 0.0, W::kSine},      // Euterpe: eight gores, a wave and a half
    {3, 1.0, 0.35, 0.0, 90.0, 0.0, W::kSine},     // Thalia: three broad bulging lobes
    {2, 1.0, 0.20, 0.0, 90.0, 180.0, W::kSine},   // Melpomene: a swelling and a narrowing half
    {5, 2.5, 0.20, 0.0, 0.0, 0.0, W::kZigzag},    // Terpsichore: five zigzag gores
    {6, 1.0, 0.30, 0.0, 90.0, 180.0, W::kSine},   // Erato: fat and thin gores in turn
    {12, 0.5, 0.50, 0.0, 0.0, 0.0, W::kSine},     // Polyhymnia: twelve sickles
    {10, 2.0, 0.22, 0.0, 0.0, 180.0, W::kSine},   // Urania: ten strips of beads and waists
    {4, 3.0, 0.25, 0.0, 0.0, 0.0, W::kZigzag},    // Aglaia: four strips, three zigzags
    {8, 1.5, 0.30, 0.0, 0.0, 180.0, W::kZigzag},  // Euphrosyne: eight strips of diamonds
    {6, 0.5, 0.60, 0.25, 0.0, 0.0, W::kSine},     // Naiaid: six leaning sickles
    {2, 3.0, 0.15, 0.0, 0.0, 180.0, W::kZigzag},  // Thalassa: two halves of diamonds and waists
    {3, 2.0, 0.30, 0.0, 90.0, 0.0, W::kSine},     // Despina: three strips, two waves
    {4, 1.0, 0.40, 0.0, 90.0, 180.0, W::kSine},   // Galatea: two fat and two thin lobes
    {5, 1.0, 0.40, 0.0, 90.0, 0.0, W::kSine},     // Larissa: five bellied gores
    {7, 3.0, 0.20, 0.0, 0.0, 0.0, W::kSine},      // Proteus: seven rippling gores
    {9, 1.0, 0.20, 0.5, 0.0, 0.0, W::kSine},      // Triton: nine waving strips, half a turn
    {12, 1.0, 0.35, 0.0, 90.0, 90.0, W::kSine},   // Nereid: twelve strips, waves a quarter out of step
    {8, 2.0, 0.30, 0.0, 90.0, 0.0, W::kZigzag},   // Halimede: eight chevron strips
};

// Kinds 236 to 268, the curlicues' curves (curlicue 1 … 33): spiral borders
// whose strips curl when unrolled; eleven strip counts, each with three
// kinds of spiral.
constexpr StripCurve kCurlicueCurves[] = {
    // 1 to 11: a plain spiral of half a turn, 2 to 12 strips; the strips
    // of 1 and 2 wave besides (their strips are cut in two lengthwise, and
    // plain they would be 3 and 5 over again).
    {2, 1.0, 0.25, 0.5, 90.0, 180.0, W::kSine},
    {3, 1.0, 0.25, 0.5, 90.0, 0.0, W::kSine},
    {4, 0.0, 0.0, 0.5, 0.0, 0.0, W::kSine},
    {5, 0.0, 0.0, 0.5, 0.0, 0.0, W::kSine},
    {6, 0.0, 0.0, 0.5, 0.0, 0.0, W::kSine},
    {7, 0.0, 0.0, 0.5, 0.0, 0.0, W::kSine},
    {8, 0.0, 0.0, 0.5, 0.0, 0.0, W::kSine},
    {9, 0.0, 0.0, 0.5, 0.0, 0.0, W::kSine},
    {10, 0.0, 0.0, 0.5, 0.0, 0.0, W::kSine},
    {11, 0.0, 0.0, 0.5, 0.0, 0.0, W::kSine},
    {12, 0.0, 0.0, 0.5, 0.0, 0.0, W::kSine},
    // 12 to 22: a whole turn with a rippling border (out of step on 12).
    {2, 2.0, 0.15, 1.0, 0.0, 180.0, W::kSine},
    {3, 2.0, 0.15, 1.0, 0.0, 0.0, W::kSine},
    {4, 2.0, 0.15, 1.0, 0.0, 0.0, W::kSine},
    {5, 2.0, 0.15, 1.0, 0.0, 0.0, W::kSine},
    {6, 2.0, 0.20, 1.0, 0.0, 0.0, W::kSine},
    {7, 2.0, 0.20, 1.0, 0.0, 0.0, W::kSine},
    {8, 2.0, 0.20, 1.0, 0.0, 0.0, W::kSine},
    {9, 2.0, 0.20, 1.0, 0.0, 0.0, W::kSine},
    {10, 2.0, 0.20, 1.0, 0.0, 0.0, W::kSine},
    {11, 2.0, 0.20, 1.0, 0.0, 0.0, W::kSine},
    {12, 2.0, 0.20, 1.0, 0.0, 0.0, W::kSine},
    // 23 to 33: a turn and a half, the strips alternately swelling and narrowing.
    {2, 1.0, 0.20, 1.5, 90.0, 180.0, W::kSine},
    {3, 1.5, 0.20, 1.5, 0.0, 0.0, W::kZigzag},
    {4, 1.0, 0.25, 1.5, 90.0, 180.0, W::kSine},
    {5, 1.5, 0.20, 1.5, 0.0, 0.0, W::kZigzag},
    {6, 1.0, 0.25, 1.5, 90.0, 180.0, W::kSine},
    {7, 1.5, 0.20, 1.5, 0.0, 0.0, W::kZigzag},
    {8, 1.0, 0.25, 1.5, 90.0, 180.0, W::kSine},
    {9, 1.5, 0.20, 1.5, 0.0, 0.0, W::kZigzag},
    {10, 1.0, 0.25, 1.5, 90.0, 180.0, W::kSine},
    {11, 1.5, 0.20, 1.5, 0.0, 0.0, W::kZigzag},
    {12, 1.0, 0.25, 1.5, 90.0, 180.0, W::kSine},
};

constexpr PolyKind kFirstMuseCurve = 196, kFirstMuse = 216;
constexpr PolyKind kFirstCurlicueCurve = 236, kFirstCurlicue = 270;
constexpr int kMuses = static_cast<int>(std::size(kMuseCurves));
constexpr int kCurlicues = static_cast<int>(std::size(kCurlicueCurves));
static_assert(kFirstMuseCurve + kMuses == kFirstMuse, "one curve per muse kind");
static_assert(kFirstCurlicueCurve + kCurlicues == 269, "one curve per curlicue kind");

// Two neighbouring borders never cross: congruent strips never do; two
// borders waving out of step come at most twice the amplitude nearer than a
// strip width, so twice the amplitude stays below 0.9 strip widths. An odd
// phase needs an even strip count, or two borders of one phase would meet.
constexpr bool bordersKeepApart(const StripCurve& c) {
    if (c.strips < 2 || c.strips > 12) return false;
    if (c.oddPhase == 0.0) return true;
    return c.strips % 2 == 0 && 2.0 * c.amplitude < 0.9;
}
constexpr bool everyCurveKeepsApart() {
    for (const StripCurve& c : kMuseCurves)
        if (!bordersKeepApart(c)) return false;
    for (const StripCurve& c : kCurlicueCurves)
        if (!bordersKeepApart(c)) return false;
    return true;
}
static_assert(everyCurveKeepsApart(), "a curve row whose borders would cross");

// A wave of unit height: sine, or the triangle wave through the same peaks.
double waveValue(StripWave wave, double x) {
    const double s = std::sin(x);
    return wave == StripWave::kSine ? s : std::asin(std::clamp(s, -1.0, 1.0)) * (2.0 / kPi);
}

// The solid point at latitude φ, longitude λ (before the model's mirror).
Vec3d solidPoint(double latitude, double longitude) {
    const double c = std::cos(latitude);
    return {-c * std::sin(longitude), -std::sin(latitude), c * std::cos(longitude)};
}

double det3(const Vec3d& a, const Vec3d& b, const Vec3d& c) { return dot(a, cross(b, c)); }

// The widest ribbon, degrees of longitude: a flat triangle strip spanning
// more than a quarter turn between its borders cuts too deep under the
// sphere (a hemisphere's strip would lie flat through the centre), so wider
// strips are cut lengthwise.
constexpr double kWidestRibbon = 90.0;

}  // namespace

bool stripCurveOf(PolyKind kind, StripCurve& curve) noexcept {
    if (kind >= kFirstMuse && kind < kFirstMuse + kMuses) kind -= kFirstMuse - kFirstMuseCurve;
    if (kind >= kFirstCurlicue && kind < kFirstCurlicue + kCurlicues) kind -= kFirstCurlicue - kFirstCurlicueCurve;
    if (kind >= kFirstMuseCurve && kind < kFirstMuseCurve + kMuses) {
        curve = kMuseCurves[kind - kFirstMuseCurve];
        return true;
    }
    if (kind >= kFirstCurlicueCurve && kind < kFirstCurlicueCurve + kCurlicues) {
        curve = kCurlicueCurves[kind - kFirstCurlicueCurve];
        return true;
    }
    return false;
}

int stripRibbons(const StripCurve& c) noexcept {
    const double widest = 360.0 / c.strips * (1.0 + 2.0 * c.amplitude * std::fabs(std::sin(c.oddPhase * kDegree / 2)));
    return std::max(1, static_cast<int>(std::ceil(widest / kWidestRibbon - 1e-9)));
}

int stripRings(const StripCurve& c) noexcept {
    // About ten steps per wave and four per quarter turn of twist, at least
    // twelve; at most about 300 faces per model.
    const int wanted = static_cast<int>(std::ceil(8.0 + 10.0 * c.waves + 16.0 * std::fabs(c.twist)));
    const int most = 300 / (2 * std::max(c.strips * stripRibbons(c), 1)) + 1;
    return std::clamp(wanted, 12, std::max(12, most));
}

double stripBorderLongitude(const StripCurve& c, int border, double latitude) noexcept {
    const double u = (kPi / 2 - latitude) / kPi;
    const double phase = (c.phase + (border % 2 != 0 ? c.oddPhase : 0.0)) * kDegree;
    const double width = 2.0 * kPi / c.strips;
    return width * border + 2.0 * kPi * c.twist * u +
           width * c.amplitude * waveValue(c.wave, 2.0 * kPi * c.waves * u + phase);
}

SolidMesh generateCurveStrips(const StripCurve& c) {
    SolidMesh mesh;
    if (c.strips < 2) return mesh;
    const int ribbons = stripRibbons(c);
    const int n = c.strips * ribbons;  // ribbon borders
    const int rings = stripRings(c);
    // Vertices: the north pole, the ribbon borders ring by ring, the south
    // pole. Each border vertex is placed directly: neighbouring borders may
    // come close near the poles, but never meet.
    mesh.vertices.push_back(solidPoint(kPi / 2, 0.0));
    for (int j = 1; j < rings; ++j) {
        const double latitude = kPi / 2 - kPi * j / rings;
        for (int i = 0; i < c.strips; ++i) {
            const double from = stripBorderLongitude(c, i, latitude), to = stripBorderLongitude(c, i + 1, latitude);
            for (int r = 0; r < ribbons; ++r)
                mesh.vertices.push_back(solidPoint(latitude, from + (to - from) * r / ribbons));
        }
    }
    mesh.vertices.push_back(solidPoint(-kPi / 2, 0.0));
    const int north = 0, south = static_cast<int>(mesh.vertices.size()) - 1;
    auto at = [n](int ring, int border) { return 1 + (ring - 1) * n + (border % n); };
    auto borderOf = [&](int v) { return v == north || v == south ? -1 : (v - 1) % n; };

    // Faces turn clockwise seen from outside: the corners a, b, c with
    // det(a, b, c) < 0.
    auto addTriangle = [&](int a, int b, int d) {
        if (det3(mesh.vertices[a], mesh.vertices[b], mesh.vertices[d]) > 0.0) std::swap(b, d);
        const int corners[3] = {a, b, d};
        mesh.addFace(corners, 3, -1, true);
    };
    for (int i = 0; i < n; ++i) {
        addTriangle(north, at(1, i), at(1, i + 1));
        for (int j = 1; j + 1 < rings; ++j) {
            // The quad between two rings, cut along the diagonal that keeps
            // both triangles facing the centre the same way as the quad, the
            // shorter one when both do.
            const int a = at(j, i), b = at(j, i + 1), d = at(j + 1, i + 1), e = at(j + 1, i);
            const Vec3d &pa = mesh.vertices[a], &pb = mesh.vertices[b], &pd = mesh.vertices[d], &pe = mesh.vertices[e];
            const double sense = det3(pa, pb, pd) + det3(pa, pd, pe) + det3(pa, pb, pe) + det3(pb, pd, pe);
            auto same = [sense](double v) { return v * sense > 0.0; };
            const bool acFits = same(det3(pa, pb, pd)) && same(det3(pa, pd, pe));
            const bool bdFits = same(det3(pa, pb, pe)) && same(det3(pb, pd, pe));
            const bool acShorter = length(difference(pa, pd)) <= length(difference(pb, pe));
            if (acFits && (acShorter || !bdFits)) {
                addTriangle(a, b, d);
                addTriangle(a, d, e);
            } else {
                addTriangle(a, b, e);
                addTriangle(b, d, e);
            }
        }
        addTriangle(south, at(rings - 1, i + 1), at(rings - 1, i));
    }
    // Edges along a border (both ends on it, or one at a pole) are cut.
    mesh.edgeFlags.resize(mesh.faces.size());
    for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
        const auto& face = mesh.faces[f];
        mesh.edgeFlags[f].assign(face.size(), 0);
        for (std::size_t k = 0; k < face.size(); ++k) {
            const int p = borderOf(face[k]), q = borderOf(face[(k + 1) % face.size()]);
            if (p < 0 || q < 0 || p == q) mesh.edgeFlags[f][k] = 1;
        }
    }
    return mesh;
}

}  // namespace globaro
