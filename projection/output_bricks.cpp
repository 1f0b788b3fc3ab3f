// The balls of cells: the brick preview (the ball of toy bricks the brick
// export builds, seen from in front of the model and a little above it) and
// the voxel globe (a ball of cubes seen from above and to one side). Each
// cell shows the picture's colour at its centre's direction, its faces lit
// as the shaded globes are.

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "projection/brick_grid.h"
#include "projection/output_formulas.h"

namespace globaro::output_detail {
namespace {

// The brick preview looks down on the model's front by 25 degrees; the voxel
// globe by 30 degrees, turned 35 degrees to the left.
constexpr double kBrickTilt = 0.4363323129985824;
constexpr double kVoxelTilt = 0.5235987755982988, kVoxelTurn = 0.6108652381980153;

// The ball of `g` seen orthographically, tilted down by `tilt` and turned
// about the vertical by `turn`: the first filled cell along the ray through
// the frame point shows the direction of its centre, lit by the face the ray
// entered by.
void castBall(const OutputCall& c, OutputResult& r, const BrickGrid& g, double tilt, double turn) noexcept {
    if (g.across < 1) return;
    // In centred grid coordinates (x right, y up, z to the front), before the
    // turn, the screen's right is (1, 0, 0), its up (0, cos, -sin) and the
    // direction back to the viewer (0, sin, cos); the turn carries all three
    // round the vertical. The ray starts one unit in front of the screen point.
    const double sn = std::sin(tilt), cs = std::cos(tilt), st = std::sin(turn), ct = std::cos(turn);
    const double X = c.fxd(), Y = -c.fyd();
    const double right[3] = {ct, 0.0, -st}, up[3] = {-sn * st, cs, -sn * ct}, back[3] = {cs * st, sn, cs * ct};
    double view[3], start[3];
    for (int k = 0; k < 3; ++k) {
        view[k] = -back[k];
        start[k] = X * right[k] + Y * up[k] + back[k];
    }

    // Cell index space, axes x, layer, z: the grid is the box [0, n].
    const double n[3] = {static_cast<double>(g.across), static_cast<double>(g.layers), static_cast<double>(g.across)};
    double p[3], d[3];
    for (int k = 0; k < 3; ++k) {
        p[k] = (start[k] + 0.5) * n[k];
        d[k] = view[k] * n[k];
    }
    double t0 = 0.0, t1 = std::numeric_limits<double>::infinity();
    int axis = 2;
    for (int k = 0; k < 3; ++k) {
        if (d[k] == 0.0) {
            if (p[k] < 0.0 || p[k] > n[k]) return;
            continue;
        }
        double a = -p[k] / d[k], b = (n[k] - p[k]) / d[k];
        if (a > b) std::swap(a, b);
        if (a > t0) {
            t0 = a;
            axis = k;
        }
        t1 = std::min(t1, b);
    }
    if (t0 >= t1) return;

    // Cell by cell along the ray (Amanatides and Woo), until a filled one.
    int cell[3], step[3];
    double tNext[3], tDelta[3];
    for (int k = 0; k < 3; ++k) {
        const double q = p[k] + d[k] * t0;
        cell[k] = std::clamp(static_cast<int>(std::floor(q)), 0, static_cast<int>(n[k]) - 1);
        step[k] = d[k] > 0.0 ? 1 : d[k] < 0.0 ? -1 : 0;
        tDelta[k] = step[k] != 0 ? 1.0 / std::fabs(d[k]) : std::numeric_limits<double>::infinity();
        tNext[k] = step[k] > 0   ? t0 + (cell[k] + 1 - q) / d[k]
                   : step[k] < 0 ? t0 + (cell[k] - q) / d[k]
                                 : std::numeric_limits<double>::infinity();
    }
    const int limit = 2 * g.across + g.layers + 3;
    for (int i = 0; i < limit; ++i) {
        if (brickCellFilled(g, cell[0], cell[2], cell[1])) {
            // The face the ray entered by, in the view's frame (x to the
            // left, y up, z towards the viewer).
            double face[3] = {0.0, 0.0, 0.0};
            face[axis] = -step[axis];
            setHit(r, brickCellDirection(g, cell[0], cell[2], cell[1]));
            r.storeNormal = true;
            r.ownNormal = true;
            const auto along = [&](const double* e) { return face[0] * e[0] + face[1] * e[1] + face[2] * e[2]; };
            r.normal = normalise(SphereDir{static_cast<float>(-along(right)), static_cast<float>(along(up)),
                                           static_cast<float>(along(back))});
            return;
        }
        axis = tNext[0] < tNext[1] ? (tNext[0] < tNext[2] ? 0 : 2) : (tNext[1] < tNext[2] ? 1 : 2);
        if (tNext[axis] > t1) return;
        cell[axis] += step[axis];
        tNext[axis] += tDelta[axis];
    }
}

}  // namespace

void mapBrickPreview(const OutputCall& c, OutputResult& r) noexcept {
    castBall(c, r, brickGrid(c.ctx.brickLayers, c.ctx.brickPlates != 0), kBrickTilt, 0.0);
}

void mapVoxelGlobe(const OutputCall& c, OutputResult& r) noexcept {
    // Cubes: as many across as layers, one for every 5 degrees of the field
    // of view (8 to 64).
    const std::int32_t n = std::clamp(static_cast<std::int32_t>(std::lround(c.ctx.fov / 5.0f)), 8, 64);
    castBall(c, r, BrickGrid{n, n}, kVoxelTilt, kVoxelTurn);
}

}  // namespace globaro::output_detail
