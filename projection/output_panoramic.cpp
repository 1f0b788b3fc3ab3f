// Panoramic views: fisheyes for the dome and the screen, views laid out in
// panels and arrays of windows; and the quatrefoil, the orthoapsidal map of a
// four-lobed solid of revolution.
//
// Pure functions of the call, safe from every thread.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "polyhedra/poly_model.h"
#include "projection/output_formulas.h"

namespace globaro {

namespace output_detail {

namespace {

constexpr double kDeg = kPi / 180.0;

// ---- the quatrefoil -------------------------------------------------------------------------

// The solid whose meridian section is the quatrefoil r(θ) = 1 + k·cos 4θ in
// polar form (θ the angle above the equator): lobes on the equator and at the
// poles, notches between them at ±45°. A side view of its front half shows
// that quatrefoil; the latitude drawn is θ.
constexpr double kQuatrefoilLobe = 0.3;
constexpr double kQuatrefoilTilt = 10.0 * kDeg;

bool insideQuatrefoil(const ApsidalSurface& s, double x, double y, double z) noexcept {
    const double rho2 = x * x + z * z;
    const double r2 = rho2 + y * y;
    if (!(r2 > 0.0)) return true;
    // cos 4θ = 1 − 8 cos²θ sin²θ.
    const double radius = 1.0 + s.a * (1.0 - 8.0 * rho2 * y * y / (r2 * r2));
    return r2 <= radius * radius;
}

void drawnOnQuatrefoil(const ApsidalSurface& s, double x, double y, double z, double mu, double& phi,
                       double n[3]) noexcept {
    const double rho = std::sqrt(x * x + z * z);
    phi = std::atan2(y, rho);
    // The meridian normal (1, −r′/r) in the radial and angular directions.
    const double t = 4.0 * s.a * std::sin(4.0 * phi) / (1.0 + s.a * std::cos(4.0 * phi));
    const double nRho = std::cos(phi) - t * std::sin(phi);
    n[0] = nRho * std::sin(mu);
    n[1] = std::sin(phi) + t * std::cos(phi);
    n[2] = nRho * std::cos(mu);
}

constexpr ApsidalSurface kQuatrefoil{&insideQuatrefoil,     &drawnOnQuatrefoil,
                                     kQuatrefoilLobe,       0.0,
                                     1.0 + kQuatrefoilLobe, 2.0 * (1.0 + kQuatrefoilLobe) * 1.02};

// ---- fisheyes ---------------------------------------------------------------------------------

// The direction at angle θ from the view centre, seen on the screen in the
// unit direction (ux, uy) from the centre (x right, y up).
SphereDir aroundCentre(double theta, double ux, double uy) noexcept {
    const double st = std::sin(theta);
    return {static_cast<float>(-st * ux), static_cast<float>(st * uy), static_cast<float>(std::cos(theta))};
}

// The unit screen direction of (x, y) (x right, y up); (1, 0) at the centre.
void screenDirection(double x, double y, double rho, double& ux, double& uy) noexcept {
    ux = rho > 0.0 ? x / rho : 1.0;
    uy = rho > 0.0 ? y / rho : 0.0;
}

// The equidistant fisheye: ρ = 1 at `rim` radians from the centre.
void equidistant(double x, double y, double rim, OutputResult& r) noexcept {
    const double rho = std::hypot(x, y);
    if (!(rho <= 1.0)) return;
    double ux = 1.0, uy = 0.0;
    screenDirection(x, y, rho, ux, uy);
    setHit(r, aroundCentre(rho * rim, ux, uy));
}

// The fov in radians, kept above a degree so that the scales stay finite.
double fovRadians(const OutputCall& c) noexcept {
    return std::clamp(static_cast<double>(c.ctx.fov), 1.0, 180.0) * kDeg;
}

// The Omnimax frame: 70 mm film, 15 perforations a frame (70.41 × 52.63 mm;
// the row's box is the frame at a width of 1). The fisheye's circle spans the
// frame's width and touches its top edge; the frame's lower edge cuts it
// below the centre.
constexpr double kOmnimaxHalfHeight = 0.37374;
constexpr double kOmnimaxCircleY = 0.5 - kOmnimaxHalfHeight;  // below the frame's centre
constexpr double kOmnimaxTilt = 20.0 * kDeg;                  // the lens axis above the horizon

// Square ↔ disc by the elliptical grid mapping: the square's edges go to the
// circle, its centre lines stay straight.
void squareToDiscElliptical(double p, double q, double& x, double& y) noexcept {
    x = p * std::sqrt(std::max(0.0, 1.0 - q * q / 2.0));
    y = q * std::sqrt(std::max(0.0, 1.0 - p * p / 2.0));
}

// Square → disc by Shirley and Chiu's concentric map: concentric squares go
// to concentric circles, and areas keep their proportions.
void squareToDiscConcentric(double p, double q, double& x, double& y) noexcept {
    if (p == 0.0 && q == 0.0) {
        x = y = 0.0;
        return;
    }
    double radius = 0.0, angle = 0.0;
    if (std::fabs(p) > std::fabs(q)) {
        radius = p;
        angle = kPi / 4.0 * (q / p);
    } else {
        radius = q;
        angle = kHalfPi - kPi / 4.0 * (p / q);
    }
    x = radius * std::cos(angle);
    y = radius * std::sin(angle);
}

bool insideUnitSquare(double p, double q) noexcept { return std::fabs(p) <= 1.0 && std::fabs(q) <= 1.0; }

// ---- panels -------------------------------------------------------------------------------------

// `count` square rectilinear panels side by side, each of the fov across, the
// neighbours turned by the fov about the vertical so that they meet along
// their shared edges: a folding altarpiece round the viewer.
void panels(const OutputCall& c, int count, OutputResult& r) noexcept {
    const double x = c.fxd() + count / 2.0;
    const double y = c.fyd();
    if (!(x >= 0.0 && x <= count && std::fabs(y) <= 0.5)) return;
    const int panel = std::min(static_cast<int>(x), count - 1);
    const double fov = std::min(fovRadians(c), 179.0 * kDeg);
    const double t = std::tan(fov / 2.0) * 2.0;
    const double lx = -(x - panel - 0.5) * t;
    const double ly = -y * t;
    const double yaw = (panel - (count - 1) / 2.0) * fov;  // to the right
    const double len = std::sqrt(lx * lx + ly * ly + 1.0);
    const double cy = std::cos(yaw), sy = std::sin(yaw);
    // The panel's direction turned to the right by the yaw (x points left).
    setHit(r, {static_cast<float>((lx * cy - sy) / len), static_cast<float>(ly / len),
               static_cast<float>((lx * sy + cy) / len)});
    r.face = panel;
    r.ownTag = true;
    r.regionTag = panel;
}

// ---- view arrays --------------------------------------------------------------------------------

// The windows of a view array: as many as the solid has faces, on a grid of
// `columns` × `rows` unit cells, numbered along the rows.
struct ViewGrid {
    ProjectionId id;
    int views, columns, rows;
};

constexpr ViewGrid kViewGrids[] = {
    {75, 4, 2, 2}, {76, 12, 4, 3}, {77, 24, 6, 4}, {78, 60, 10, 6}, {79, 72, 9, 8},
};

// The frame round each window, in cells.
constexpr double kViewFrame = 0.05;

const ViewGrid* viewGridOf(ProjectionId id) noexcept {
    for (const ViewGrid& g : kViewGrids) {
        if (g.id == id) return &g;
    }
    return nullptr;
}

// The direction of the window point (lx to the left, ly up, 1 ahead) of a
// window that looks towards f with the north up (looking straight up or
// down: the front at the window's bottom or top).
SphereDir windowDirection(double lx, double ly, const float f[3]) noexcept {
    const double fx = f[0], fy = f[1], fz = f[2];
    double ux = -fy * fx, uy = 1.0 - fy * fy, uz = -fy * fz;  // the north, less its part along f
    double len = std::sqrt(ux * ux + uy * uy + uz * uz);
    if (len < 1e-9) {
        ux = 0.0;
        uy = 0.0;
        uz = fy > 0.0 ? -1.0 : 1.0;
        len = 1.0;
    }
    ux /= len;
    uy /= len;
    uz /= len;
    // The left: up × ahead.
    const double lxv = uy * fz - uz * fy, lyv = uz * fx - ux * fz, lzv = ux * fy - uy * fx;
    const double x = lx * lxv + ly * ux + fx, y = lx * lyv + ly * uy + fy, z = lx * lzv + ly * uz + fz;
    const double n = std::sqrt(x * x + y * y + z * z);
    return {static_cast<float>(x / n), static_cast<float>(y / n), static_cast<float>(z / n)};
}

}  // namespace

void mapQuatrefoil(const OutputCall& c, OutputResult& r) noexcept {
    orthoapsidalFit(c, kQuatrefoil, kQuatrefoilTilt, r);
}

void mapOmnimax(const OutputCall& c, OutputResult& r) noexcept {
    const double x = c.fxd();
    const double y = c.fyd();
    if (!(std::fabs(x) <= 0.5 && std::fabs(y) <= kOmnimaxHalfHeight)) return;
    // An equidistant fisheye of 180° with its axis tilted up.
    OutputResult lens;
    equidistant(x * 2.0, (kOmnimaxCircleY - y) * 2.0, kHalfPi, lens);
    if (!lens.hit) return;
    const double ct = std::cos(kOmnimaxTilt), st = std::sin(kOmnimaxTilt);
    const SphereDir d = lens.d;
    setHit(r, {d.x, static_cast<float>(d.y * ct + d.z * st), static_cast<float>(d.z * ct - d.y * st)});
}

void mapSemistereo(const OutputCall& c, OutputResult& r) noexcept {
    // ρ = 4·tan(θ/4): between the stereographic fisheye 2·tan(θ/2) and the
    // equidistant one; the whole sphere fits in the circle ρ = 4. The fov
    // spans the shorter side.
    const double scale = 4.0 * std::tan(fovRadians(c) / 8.0) / 0.5;
    const double x = c.cxd() * scale, y = -c.cyd() * scale;
    const double rho = std::hypot(x, y);
    if (!(rho <= 4.0)) return;
    double ux = 1.0, uy = 0.0;
    screenDirection(x, y, rho, ux, uy);
    setHit(r, aroundCentre(4.0 * std::atan(rho / 4.0), ux, uy));
}

void mapOculus(const OutputCall& c, OutputResult& r) noexcept {
    equidistant(c.cxd() * 2.0, -c.cyd() * 2.0, fovRadians(c), r);
}

void mapSquoculus(const OutputCall& c, OutputResult& r) noexcept {
    const double p = c.cxd() * 2.0, q = -c.cyd() * 2.0;
    if (!insideUnitSquare(p, q)) return;
    double x = 0.0, y = 0.0;
    squareToDiscElliptical(p, q, x, y);
    equidistant(x, y, fovRadians(c), r);
}

void mapUnFish(const OutputCall& c, OutputResult& r) noexcept {
    // The fisheye's circle unrolled: across, the bearing round the view
    // centre (up at the middle, a full turn); down, the angle from the centre,
    // up to the fov at the bottom edge.
    const double x = c.fxd(), y = c.fyd();
    if (!(std::fabs(x) <= 0.5 && std::fabs(y) <= 0.25)) return;
    const double bearing = x * 2.0 * kPi;
    setHit(r, aroundCentre((y + 0.25) * 2.0 * fovRadians(c), std::sin(bearing), std::cos(bearing)));
}

void mapSquareFish(const OutputCall& c, OutputResult& r) noexcept {
    // The front hemisphere in the square: Lambert's equal-area fisheye on
    // the disc, the disc spread over the square by the concentric map; both
    // keep areas. "square fish 2" squares the hemisphere's Lagrange
    // coordinate before the view turn, which spreads it over the whole sphere.
    const double p = c.cxd() * 2.0, q = -c.cyd() * 2.0;
    if (!insideUnitSquare(p, q)) return;
    double x = 0.0, y = 0.0;
    squareToDiscConcentric(p, q, x, y);
    const double rho = std::min(1.0, std::hypot(x, y));
    double ux = 1.0, uy = 0.0;
    screenDirection(x, y, rho, ux, uy);
    setHit(r, aroundCentre(2.0 * std::asin(rho / std::numbers::sqrt2), ux, uy));
}

void mapViews(const OutputCall& c, OutputResult& r) noexcept {
    // A rectilinear window of the fov towards the centre of each face of the
    // solid the render prepared for the output.
    const ViewGrid* g = viewGridOf(c.entry.id);
    const PolyModel* model = c.ctx.polyModel;
    if (g == nullptr || model == nullptr || model->faceCount < g->views) return;
    const double x = c.fxd() + g->columns / 2.0;
    const double y = c.fyd() + g->rows / 2.0;
    if (!(x >= 0.0 && x <= g->columns && y >= 0.0 && y <= g->rows)) return;
    const int col = std::min(static_cast<int>(x), g->columns - 1);
    const int row = std::min(static_cast<int>(y), g->rows - 1);
    const int view = row * g->columns + col;
    if (view >= g->views) return;
    // A frame of misses round every window keeps the windows apart.
    const double u = (x - col - 0.5) / (1.0 - 2.0 * kViewFrame), v = (y - row - 0.5) / (1.0 - 2.0 * kViewFrame);
    if (!(std::fabs(u) <= 0.5 && std::fabs(v) <= 0.5)) return;
    const double t = c.ctx.wideTan;
    setHit(r, windowDirection(-u * t, -v * t, model->faces[view].centreDir));
    r.face = view;
    r.cutSide = static_cast<std::int8_t>((col + row) & 1);
    r.ownTag = true;
    r.regionTag = view;
}

void mapTriptych(const OutputCall& c, OutputResult& r) noexcept { panels(c, 3, r); }

void mapTetraptych(const OutputCall& c, OutputResult& r) noexcept { panels(c, 4, r); }

}  // namespace output_detail

}  // namespace globaro
