#pragma once
// Internal to the output projections: what one output routine receives and
// answers, and the routines of each family that the rows of the registry
// (projection/registry.h) name.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <span>

#include "projection/output_row.h"
#include "projection/render_context.h"

namespace globaro {
class PolygonMap;
}

namespace globaro::output_detail {

inline constexpr float kPiF = std::numbers::pi_v<float>;
inline constexpr float kTwoPiF = 2.0f * std::numbers::pi_v<float>;
inline constexpr float kInvPiF = std::numbers::inv_pi_v<float>;
inline constexpr double kPi = std::numbers::pi;
inline constexpr double kHalfPi = std::numbers::pi / 2.0;

// What one output routine receives: the output position and the render's
// context. The plane points are worked out where a routine asks for them
// (each routine needs one or two of them), in double as the frame is kept,
// and in float from the double values.
struct OutputCall {
    const RenderContext& ctx;
    const OutputRow& entry;  // the output's row
    float a;
    float b;
    // The centred plane point ((a − 0.5 − cx)·S, (b − 0.5)·S·A).
    double cxd() const noexcept { return (a - 0.5 - ctx.frame.cx) * ctx.frame.scale; }
    double cyd() const noexcept { return (b - 0.5) * ctx.frame.scale * ctx.frame.aspect; }
    // The frame point ((a − 0.5)·S + cx, (b − 0.5)·A·S + cy).
    double fxd() const noexcept { return (a - 0.5) * ctx.frame.scale + ctx.frame.cx; }
    double fyd() const noexcept { return (b - 0.5) * ctx.frame.aspect * ctx.frame.scale + ctx.frame.cy; }
    float X() const noexcept { return static_cast<float>(cxd()); }
    float Y() const noexcept { return static_cast<float>(cyd()); }
    float FX() const noexcept { return static_cast<float>(fxd()); }
    float FY() const noexcept { return static_cast<float>(fyd()); }
};

// What a routine answers. `hit` false is a miss (an empty sample).
struct OutputResult {
    SphereDir d{0.0f, 0.0f, 1.0f};
    bool hit = false;
    bool ownTag = false;  // the routine chose `regionTag`
    std::int32_t regionTag = kTagEmpty;
    std::int32_t face = -1;  // the output's face or gore number, −1 for none
    // Which side of the layout's cut lines the point lies on (0 or 1), for a
    // layout whose face numbers do not alternate between neighbours; −1: the
    // parity of `face` (gores and strips number their faces in a row).
    std::int8_t cutSide = -1;
    bool storeNormal = false;  // keep d as the cell's normal (globe outputs)
    bool ownNormal = false;    // keep `normal` instead (a lit surface that is not the sphere)
    SphereDir normal{0.0f, 0.0f, 1.0f};
    bool storeWeight = false;  // store `weight` in the cell's weight field
    float weight = -1.0f;
};

// A globe-gore layout (Part of the gore family).
struct GoreVariant {
    float count;               // gores; 0 = ⌊fov/5⌋, at least 3
    float scale;               // s
    float offset;              // gore offset
    std::int32_t first, last;  // gores drawn; last −1 means count − 1
};

// Turns the face-local point l (looking along +z) by the shortest-arc
// rotation that carries (0, 0, 1) onto the unit face direction f.
constexpr SphereDir faceToSphere(const SphereDir& l, const SphereDir& f) noexcept {
    if (f.x == 0.0f && f.y == 0.0f && f.z < 0.0f) return {-l.x, l.y, -l.z};
    // Rodrigues with the unnormalised axis k = z × f and cos θ = f.z.
    const float kx = -f.y;
    const float ky = f.x;
    const float c = f.z;
    const float kl = kx * l.x + ky * l.y;  // k·l (k has no z component)
    const float k = kl / (1.0f + c);
    // k × l with k = (kx, ky, 0).
    const float cx = ky * l.z;
    const float cy = -kx * l.z;
    const float cz = kx * l.y - ky * l.x;
    return {l.x * c + cx + kx * k, l.y * c + cy + ky * k, l.z * c + cz};
}

// For a face direction along an axis, `faceToSphere` is a signed
// permutation of the point's components: component j of the direction is
// sign[j]·l[from[j]], plus zero terms that turn a −0 into +0 on every face
// but the back one (0, 0, −1), which it negates directly. The per-sample
// path takes this short form; it gives the same bits.
struct AxisFaceTurn {
    bool axis = false;      // the face direction lies along an axis
    bool backFace = false;  // (0, 0, −1)
    std::int8_t from[3] = {0, 1, 2};
    float sign[3] = {1.0f, 1.0f, 1.0f};
};

constexpr AxisFaceTurn axisFaceTurn(const SphereDir& f) noexcept {
    AxisFaceTurn t;
    const float c[3] = {f.x, f.y, f.z};
    int nonZero = 0;
    for (float v : c) {
        if (v != 0.0f) ++nonZero;
        if (v != 0.0f && v != 1.0f && v != -1.0f) return t;
    }
    if (nonZero != 1) return t;
    t.axis = true;
    t.backFace = f.z < 0.0f;
    constexpr SphereDir kBasis[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    for (int i = 0; i < 3; ++i) {
        const SphereDir image = faceToSphere(kBasis[i], f);
        const float m[3] = {image.x, image.y, image.z};
        for (int j = 0; j < 3; ++j) {
            if (m[j] != 0.0f) {
                t.from[j] = static_cast<std::int8_t>(i);
                t.sign[j] = m[j];
            }
        }
    }
    return t;
}

// A cell-grid layout of cube faces.
struct CubeLayout {
    std::int32_t columns;
    std::int32_t rows;
    SphereDir faces[6];
    float roll[6];
    bool topRowSharesTag;        // the cells of the top row (row 0) all get tag 0
    AxisFaceTurn turns[6] = {};  // of `faces`, filled by `withFaceTurns`
};

constexpr CubeLayout withFaceTurns(CubeLayout layout) noexcept {
    for (int i = 0; i < 6; ++i) layout.turns[i] = axisFaceTurn(layout.faces[i]);
    return layout;
}

// The direction of the face-local point l (looking along +z) in cell `cell`
// of a cube layout, before any roll: the signed permutation of an axis face
// or the shortest-arc turn onto the face direction. Linear in l.
inline SphereDir cubeFaceDirection(const CubeLayout& layout, int cell, const SphereDir& l) noexcept {
    const AxisFaceTurn& turn = layout.turns[cell];
    if (!turn.axis) return faceToSphere(l, layout.faces[cell]);
    const float lc[3] = {l.x, l.y, l.z};
    SphereDir d{turn.sign[0] * lc[turn.from[0]], turn.sign[1] * lc[turn.from[1]], turn.sign[2] * lc[turn.from[2]]};
    if (!turn.backFace) d = {d.x + 0.0f, d.y + 0.0f, d.z + 0.0f};
    return d;
}

// Where the frame point (fx, fy) lies in a cube layout: its cell (column,
// row and index, the index col·rows + row) and the face-local point (lx, ly)
// with lx, ly in [−1, 1]. `inside` false: outside every cell.
struct CubeCellPoint {
    bool inside = false;
    int col = -1, row = -1, index = -1;
    float lx = 0.0f, ly = 0.0f;
};

inline CubeCellPoint cubeCellPoint(const CubeLayout& layout, double fx, double fy) noexcept {
    CubeCellPoint p;
    const double columns = layout.columns;
    const double rows = layout.rows;
    const double cd = fx + columns / 2.0;
    const double rd = fy + rows / 2.0;
    // The layout's outer border belongs to it: a pixel along the frame's edge
    // is wholly covered, and its corners on the edge must say so, also when
    // the frame's arithmetic puts them a rounding error outside.
    constexpr double kOnBorder = 1.0e-6;
    if (!(cd >= -kOnBorder && cd <= columns + kOnBorder && rd >= -kOnBorder && rd <= rows + kOnBorder)) return p;
    const float c = static_cast<float>(std::clamp(cd, 0.0, columns));
    const float rr = static_cast<float>(std::clamp(rd, 0.0, rows));
    p.col = std::min(static_cast<int>(std::floor(c)), layout.columns - 1);
    p.row = std::min(static_cast<int>(std::floor(rr)), layout.rows - 1);
    p.index = p.col * layout.rows + p.row;
    if (p.index < 0 || p.index >= 6) return p;
    p.inside = true;
    p.lx = -(c - static_cast<float>(p.col) - 0.5f) * 2.0f;
    p.ly = -(rr - static_cast<float>(p.row) - 0.5f) * 2.0f;
    return p;
}

// The rectilinear view's plane point (x, y) of the normalised output
// position (a, b): the direction is (x, y, 1), made unit length.
inline void rectilinearPlanePoint(const RenderContext& ctx, float a, float b, float& x, float& y) noexcept {
    const float t = ctx.wideTan;
    const float aspect = static_cast<float>(ctx.frame.aspect);
    const float dy = b - 0.5f - ctx.lensShift;
    if (aspect <= 1.0f) {
        x = -((a - 0.5f) / aspect) * t;
        y = -dy * t;
    } else {
        x = -(a - 0.5f) * t;
        y = -dy * aspect * t;
    }
}

// The equirectangular map's horizontal fraction w of the panorama at the
// normalised output position a, and its vertical fraction h at b.
inline float equirectMapW(const ViewFrame& f, float a) noexcept {
    return static_cast<float>((a - 0.5 - f.cx) * f.scale + 0.5);
}
inline float equirectMapH(const ViewFrame& f, float b) noexcept {
    return static_cast<float>(((b - 0.5) * f.scale * f.aspect + 0.25) * 2.0);
}

// The equirectangular map's position (w, h) in the panorama of the
// normalised output position (a, b); false outside the panorama.
inline bool equirectMapPosition(const ViewFrame& f, float a, float b, float& w, float& h) noexcept {
    w = equirectMapW(f, a);
    h = equirectMapH(f, b);
    return w >= 0.0f && w <= 1.0f && h >= 0.0f && h <= 1.0f;
}

// What a row routine answers: the face-local point (lx, ly, lz) of the
// position, before the linear turn of its region (a cube cell; 0 for an
// output of one region), the region tag, and the weight when the routine
// keeps one.
struct RowPoint {
    float lx = 0.0f, ly = 0.0f, lz = 1.0f;
    int region = 0;
    std::int32_t tag = 0;
    bool storeWeight = false;
    float weight = 0.0f;
};

// The part of E(w, v) below that depends on v alone: the direction's height
// y and the radius r of its parallel.
struct EquirectParallel {
    float y = 0.0f;
    float r = 1.0f;
};

inline EquirectParallel equirectParallel(float v) noexcept {
    const float y = std::sin((v - 0.5f) * -kPiF);
    return {y, std::sqrt(std::fmax(0.0f, 1.0f - y * y))};
}

// E(w, v) on the parallel of v.
inline SphereDir equirectDirectionOn(const EquirectParallel& p, float w) noexcept {
    const float angle = (w - 0.5f) * kTwoPiF;
    return {std::sin(angle) * p.r, p.y, std::cos(angle) * p.r};
}

// E(w, v): the direction an equirectangular input shows at horizontal
// fraction 1 − w and vertical fraction v, in float.
inline SphereDir equirectDirection(float w, float v) noexcept { return equirectDirectionOn(equirectParallel(v), w); }

// The equirectangular map's point split by axis, for the row path's tables
// of columns: the meridian of the output position a (the sine and cosine of
// E's angle there, and whether w lies in the panorama) and the parallel of
// b (whether h does). Together the same floats as
// equirectDirection(1 − w, h) after equirectMapPosition.
struct EquirectMeridian {
    float sine = 0.0f;
    float cosine = 1.0f;
    bool inside = false;
};

inline EquirectMeridian equirectMeridian(const ViewFrame& f, float a) noexcept {
    const float w = equirectMapW(f, a);
    const float angle = ((1.0f - w) - 0.5f) * kTwoPiF;
    return {std::sin(angle), std::cos(angle), w >= 0.0f && w <= 1.0f};
}

// E's parallel of b; false when h lies outside the panorama.
inline bool equirectRowParallel(const ViewFrame& f, float b, EquirectParallel& p) noexcept {
    const float h = equirectMapH(f, b);
    p = equirectParallel(h);
    return h >= 0.0f && h <= 1.0f;
}

// The row form of a pseudocylindrical routine, one whose answer is
// E(w, v) with v a function of the plane y alone and w of the plane x and
// what the row found: `start` does the row's part once (false: the whole
// row misses), `across` each corner's w (false: the corner misses). The
// routine itself is the two in turn, so the row path answers the same
// floats as the routine.
struct PseudoRow {
    float v = 0.5f;            // the vertical fraction of E
    double k[2] = {0.0, 0.0};  // what `across` needs of the row
};

struct PseudoRowForm {
    bool (*start)(const OutputCall&, PseudoRow&) noexcept;
    bool (*across)(const OutputCall&, const PseudoRow&, float& w) noexcept;
};

// The routine of a row form, corner by corner.
inline void mapByPseudoRow(const PseudoRowForm& form, const OutputCall& c, OutputResult& r) noexcept;

// The inverse stereographic projection of the plane point (w1, w2); a point too far out for
// floats (a wide view of the logarithmic map overflows) is the point at infinity, the back pole.
inline SphereDir inverseStereographic(float w1, float w2) noexcept {
    const float s = w1 * w1 + w2 * w2;
    if (!(s < std::numeric_limits<float>::max())) return {0.0f, 0.0f, -1.0f};
    return {-2.0f * w1 / (1.0f + s), -2.0f * w2 / (1.0f + s), -(s - 1.0f) / (s + 1.0f)};
}

inline void setHit(OutputResult& r, const SphereDir& d) noexcept {
    r.d = d;
    r.hit = true;
}

inline void mapByPseudoRow(const PseudoRowForm& form, const OutputCall& c, OutputResult& r) noexcept {
    PseudoRow row;
    float w = 0.0f;
    if (!form.start(c, row) || !form.across(c, row, w)) return;
    setHit(r, equirectDirection(w, row.v));
}

// Basic projections (output_basic.cpp).
bool rowPointEquirectangular(const OutputCall&, RowPoint&) noexcept;
bool rowPointRectilinear(const OutputCall&, RowPoint&) noexcept;
void mapEquirectangular(const OutputCall&, OutputResult&) noexcept;
void mapEquiTall(const OutputCall&, OutputResult&) noexcept;
void mapMercator(const OutputCall&, OutputResult&) noexcept;
void mapMirrorBall(const OutputCall&, OutputResult&) noexcept;
void mapPolar(const OutputCall&, OutputResult&) noexcept;
void mapHalfPolar(const OutputCall&, OutputResult&) noexcept;
void mapOrthographic(const OutputCall&, OutputResult&) noexcept;
void mapLambertAzimuthal(const OutputCall&, OutputResult&) noexcept;
void mapHammer(const OutputCall&, OutputResult&) noexcept;
void mapSinusoidal(const OutputCall&, OutputResult&) noexcept;
extern const PseudoRowForm kSinusoidalRows;
void mapRectilinear(const OutputCall&, OutputResult&) noexcept;
void mapHyperbolic(const OutputCall&, OutputResult&) noexcept;
void mapStereographic(const OutputCall&, OutputResult&) noexcept;
void mapLogarithmic(const OutputCall&, OutputResult&) noexcept;
void mapAboveAndBelow(const OutputCall&, OutputResult&) noexcept;
void mapUpAndDown(const OutputCall&, OutputResult&) noexcept;
void mapPanini(const OutputCall&, OutputResult&) noexcept;
void mapCylindrical(const OutputCall&, OutputResult&) noexcept;
void mapWetch(const OutputCall&, OutputResult&) noexcept;

// World maps (output_world_maps.cpp).
void mapMollweide(const OutputCall&, OutputResult&) noexcept;
extern const PseudoRowForm kMollweideRows;
void mapEckertIV(const OutputCall&, OutputResult&) noexcept;
extern const PseudoRowForm kEckertIVRows;
void mapHillEucyclic(const OutputCall&, OutputResult&) noexcept;
void mapRobinson(const OutputCall&, OutputResult&) noexcept;
extern const PseudoRowForm kRobinsonRows;
void mapWinkelTripel(const OutputCall&, OutputResult&) noexcept;
void mapNaturalEarth(const OutputCall&, OutputResult&) noexcept;
void mapCanters(const OutputCall&, OutputResult&) noexcept;
void mapGinzburg8(const OutputCall&, OutputResult&) noexcept;
void mapLaskowski(const OutputCall&, OutputResult&) noexcept;
void mapLarrivee(const OutputCall&, OutputResult&) noexcept;

// More world maps (output_world_maps_more.cpp).
void mapEqualAreaCylinder(const OutputCall&, OutputResult&) noexcept;      // 138
void mapEqualSquarea(const OutputCall&, OutputResult&) noexcept;           // 140
void mapMollweideOcean(const OutputCall&, OutputResult&) noexcept;         // 345
void mapSinusoidalInterrupted(const OutputCall&, OutputResult&) noexcept;  // 356
void mapSinuMollweide(const OutputCall&, OutputResult&) noexcept;          // 357
void mapPhilbrickInterrupted(const OutputCall&, OutputResult&) noexcept;   // 414
void mapBonne45(const OutputCall&, OutputResult&) noexcept;                // 346
void mapWernerBonne(const OutputCall&, OutputResult&) noexcept;            // 12
void mapStrebe1995(const OutputCall&, OutputResult&) noexcept;             // 397
void mapVerticalPerspective(const OutputCall&, OutputResult&) noexcept;    // 347, 348
void mapFlyover(const OutputCall&, OutputResult&) noexcept;                // 349, 350
void mapRetroazimuthal(const OutputCall&, OutputResult&) noexcept;         // 400, 401
void mapArmadillo(const OutputCall&, OutputResult&) noexcept;              // 341..344
void mapApsidalSpheroid(const OutputCall&, OutputResult&) noexcept;        // 360..367

// A solid of revolution about the y axis that an orthoapsidal map draws the
// sphere on: whether a point lies inside it, and the latitude drawn at a
// point of its surface (whose angle round the axis is μ) with the outward
// normal there, of any length.
struct ApsidalSurface {
    bool (*inside)(const ApsidalSurface&, double x, double y, double z) noexcept;
    void (*drawn)(const ApsidalSurface&, double x, double y, double z, double mu, double& phi, double n[3]) noexcept;
    double a, b;         // the surface's own constants
    double boundRadius;  // a sphere that holds the surface
    double fit;          // map units across the box's width
};

// The orthoapsidal map of `s` tilted by `tilt` (the north pole towards the
// viewer when positive) at the call's centred plane point.
void orthoapsidalFit(const OutputCall& c, const ApsidalSurface& s, double tilt, OutputResult& r) noexcept;

// Conformal maps by elliptic functions and the Lagrange warp (output_conformal.cpp).
void mapPeirceQuincuncial(const OutputCall&, OutputResult&) noexcept;  // 94
void mapGuyou(const OutputCall&, OutputResult&) noexcept;              // 99, 118
void mapLagrangeDisc(const OutputCall&, OutputResult&) noexcept;       // 69
void mapAdamsSquare(const OutputCall&, OutputResult&) noexcept;        // 90
void mapAdamsDiamond(const OutputCall&, OutputResult&) noexcept;       // 91
void mapSpilhaus(const OutputCall&, OutputResult&) noexcept;           // 410
void mapAdamsDiamonds(const OutputCall&, OutputResult&) noexcept;      // 137
void mapLagrangeGeneral(const OutputCall&, OutputResult&) noexcept;    // 84, 89
void mapStereoLunes(const OutputCall&, OutputResult&) noexcept;        // 135, 136
void mapThorn(const OutputCall&, OutputResult&) noexcept;              // 83, 87

// Conformal polygons and stars by Schwarz–Christoffel maps (output_conformal_polygons.cpp).
void mapConformalPolygon(const OutputCall&, OutputResult&) noexcept;  // 97, 98, 100..105, 116, 158, 163
void mapFusedPolygons(const OutputCall&, OutputResult&) noexcept;     // 113, 114, 167
// The map of the shape of output `shapeId` at the plane point p (y up).
void conformalPolygonAt(ProjectionId shapeId, Complex p, OutputResult& r) noexcept;

// Tilings (output_tilings.cpp; the square tile in output_conformal.cpp).
void mapTetraTile(const OutputCall&, OutputResult&) noexcept;         // 64
void mapTriangleTile(const OutputCall&, OutputResult&) noexcept;      // 368
void mapSquareTile(const OutputCall&, OutputResult&) noexcept;        // 369
void mapHexagonTile(const OutputCall&, OutputResult&) noexcept;       // 370
void mapHyperbolicTiling(const OutputCall&, OutputResult&) noexcept;  // 371..382
void mapQuilt(const OutputCall&, OutputResult&) noexcept;             // 411..413

// Pentagons round the north pole (output_pentagon_flowers.cpp).
void mapPentagonFlower(const OutputCall&, OutputResult&) noexcept;  // 385..387

// Peirce's construction with other folds (output_quincuncial.cpp).
void mapCunx(const OutputCall&, OutputResult&) noexcept;  // 92, 93, 95, 96

// The Mercator compositions (output_mercator.cpp).
void mapMercatorComposition(const OutputCall&, OutputResult&) noexcept;  // 65, 67, 68

// Lee's conformal tetrahedron (output_lee.cpp).
void mapLeeTetrahedral(const OutputCall&, OutputResult&) noexcept;  // 106
void mapLeeRectangle(const OutputCall&, OutputResult&) noexcept;    // 107

// The conformal octahedron and dodecahedron (output_conformal_solids.cpp).
void mapConformalOctahedron(const OutputCall&, OutputResult&) noexcept;    // 402
void mapConformalDodecahedron(const OutputCall&, OutputResult&) noexcept;  // 168

// 115, 117, 119, 127..133, 144, 145, 150, 151, 155..157, 162, 166, 302, 303, 351..353
void mapStraightPolygon(const OutputCall&, OutputResult&) noexcept;
// The solved map of one of those outputs (nullptr for any other id).
const PolygonMap* straightPolygonMap(ProjectionId id);

// Curved outlines: the floret family's table (output_curved.cpp).
void mapCurvedOutline(const OutputCall&, OutputResult&) noexcept;
void mapEllipse(const OutputCall&, OutputResult&) noexcept;              // 121
void mapSemicircle(const OutputCall&, OutputResult&) noexcept;           // 120
void mapReuleauxTetrahedron(const OutputCall&, OutputResult&) noexcept;  // 124
void mapReuleauxPair(const OutputCall&, OutputResult&) noexcept;         // 123
void mapReuleauxOctahedron(const OutputCall&, OutputResult&) noexcept;   // 125
void mapOctreleaux(const OutputCall&, OutputResult&) noexcept;           // 126

// Cube maps (output_cube_maps.cpp).
bool rowPointCubeLayout(const OutputCall&, RowPoint&) noexcept;
void mapCubeLayout(const OutputCall&, OutputResult&) noexcept;
void mapZenithNadir(const OutputCall&, OutputResult&) noexcept;

// Globe gores (output_gores.cpp).
void mapGores(const OutputCall&, OutputResult&) noexcept;
// The inverse American polyconic of a gore's plane point (A along its middle
// line, B across, in radians): latitude and longitude within the gore.
bool inversePolyconic(float A, float B, float& phi, float& lambda) noexcept;

// The gore count of a gore layout for a field of view.
float goreCountFor(const GoreVariant& g, float fovDeg) noexcept;

// Panoramic views and the quatrefoil (output_panoramic.cpp).
void mapQuatrefoil(const OutputCall&, OutputResult&) noexcept;  // 409
void mapOmnimax(const OutputCall&, OutputResult&) noexcept;     // 43
void mapSemistereo(const OutputCall&, OutputResult&) noexcept;  // 82
void mapOculus(const OutputCall&, OutputResult&) noexcept;      // 56
void mapSquoculus(const OutputCall&, OutputResult&) noexcept;   // 85
void mapUnFish(const OutputCall&, OutputResult&) noexcept;      // 88
void mapSquareFish(const OutputCall&, OutputResult&) noexcept;  // 141, 142
void mapTriptych(const OutputCall&, OutputResult&) noexcept;    // 57
void mapTetraptych(const OutputCall&, OutputResult&) noexcept;  // 58
void mapViews(const OutputCall&, OutputResult&) noexcept;       // 75..79

// The brick preview (output_bricks.cpp).
void mapBrickPreview(const OutputCall&, OutputResult&) noexcept;  // 45
void mapVoxelGlobe(const OutputCall&, OutputResult&) noexcept;    // 394

// Things made of the sphere (output_samplers.cpp).
void mapBlobWorld(const OutputCall&, OutputResult&) noexcept;      // 395
void mapFerguson(const OutputCall&, OutputResult&) noexcept;       // 396
void mapGlassMarble(const OutputCall&, OutputResult&) noexcept;    // 486
void mapMirrors(const OutputCall&, OutputResult&) noexcept;        // 566
void mapCosineFalloff(const OutputCall&, OutputResult&) noexcept;  // 299
// Colour steps after the lookup.
void lightByNormal(const RenderContext&, const RenderCell&, float rgb[3]) noexcept;   // 394, 395
void lightFlatEarth(const RenderContext&, const RenderCell&, float rgb[3]) noexcept;  // 396
void darkenByCosine(const RenderContext&, const RenderCell&, float rgb[3]) noexcept;  // 299

// Artistic outputs (output_artistic.cpp).
void mapStar(const OutputCall&, OutputResult&) noexcept;            // 48, 49
void mapPinwheel(const OutputCall&, OutputResult&) noexcept;        // 19
void mapLozenge(const OutputCall&, OutputResult&) noexcept;         // 20
void mapCurvy(const OutputCall&, OutputResult&) noexcept;           // 22
void mapGoggles(const OutputCall&, OutputResult&) noexcept;         // 23
void mapQuasar(const OutputCall&, OutputResult&) noexcept;          // 24
void mapLoop(const OutputCall&, OutputResult&) noexcept;            // 39
void mapTwoCircles(const OutputCall&, OutputResult&) noexcept;      // 40
void mapSwoop(const OutputCall&, OutputResult&) noexcept;           // 52
void mapTwoCylinders(const OutputCall&, OutputResult&) noexcept;    // 159
void mapThreeCylinders(const OutputCall&, OutputResult&) noexcept;  // 160
void mapDiscSphere(const OutputCall&, OutputResult&) noexcept;      // 300, 301
void mapFoldingSphere(const OutputCall&, OutputResult&) noexcept;   // 288
// Lights the folded paper of 288, 300 and 301 from the normal their routines keep.
void lightPaper(const RenderContext&, const RenderCell&, float rgb[3]) noexcept;
void mapUmbrella(const OutputCall&, OutputResult&) noexcept;      // 63
void mapTunableGores(const OutputCall&, OutputResult&) noexcept;  // 73, 74

}  // namespace globaro::output_detail
