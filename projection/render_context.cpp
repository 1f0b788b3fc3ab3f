// The view frame of an output and the indicatrix centres of a render.

#include "projection/render_context.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace globaro {

ViewFrame makeViewFrame(const ExtentBox& box, double outputAspect) noexcept {
    ViewFrame f;
    f.x0 = box.x0;
    f.x1 = box.x1;
    f.y0 = box.y0;
    f.y1 = box.y1;
    f.aspect = outputAspect > 0.0 && std::isfinite(outputAspect) ? outputAspect : 1.0;
    f.width = box.x1 - box.x0;
    f.height = box.y1 - box.y0;
    f.halfWidth = f.width / 2.0;
    f.halfHeight = f.height / 2.0;
    f.cx = (box.x0 + box.x1) / 2.0;
    f.cy = (box.y0 + box.y1) / 2.0;
    f.k = std::min(1.0 / f.width, f.aspect / f.height);
    f.scale = 1.0 / f.k;
    return f;
}

Vec2d framePoint(const ViewFrame& f, double a, double b) noexcept {
    return {(a - 0.5) * f.scale + f.cx, (b - 0.5) * f.aspect * f.scale + f.cy};
}

Vec2d centredPoint(const ViewFrame& f, double a, double b) noexcept {
    return {(a - 0.5 - f.cx) * f.scale, (b - 0.5) * f.scale * f.aspect};
}

void buildIndicatrixCentres(RenderContext& ctx) noexcept {
    int n = 0;
    const auto add = [&](float u, float v) {
        const float y = std::sin((v - 0.5f) * -std::numbers::pi_v<float>);
        const float r = std::sqrt(std::fmax(0.0f, 1.0f - y * y));
        const float theta = (u - 0.5f) * (2.0f * std::numbers::pi_v<float>);
        ctx.indicatrixCentres[n++] = SphereDir{std::sin(theta) * r, y, std::cos(theta) * r};
    };
    for (int row = 1; row <= 8; ++row) {
        for (int col = 0; col < 18; ++col) {
            if ((row == 1 || row == 8) && col % 2 != 0) continue;
            add(static_cast<float>(col) / 18.0f, static_cast<float>(row) / 9.0f);
        }
    }
    add(0.0f, 0.0f);
    add(0.0f, 1.0f);
}

}  // namespace globaro
