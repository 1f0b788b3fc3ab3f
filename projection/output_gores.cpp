// Globe gores: n lens-shaped strips side by side, each an American polyconic
// projection of its own band of longitude.

#include <cmath>

#include "projection/output_formulas.h"

namespace globaro::output_detail {

float goreCountFor(const GoreVariant& g, float fovDeg) noexcept {
    if (g.count > 0.0f) return g.count;
    float n = std::floor(fovDeg / 5.0f);
    if (!(n >= 3.0f)) n = 3.0f;
    return n;
}

bool inversePolyconic(float A, float B, float& phi, float& lambda) noexcept {
    // Latitude by Newton's method.
    phi = 5e-5f;
    if (A != 0.0f) {
        phi = A;
        for (int step = 0; step < 10; ++step) {
            const float t = std::tan(phi);
            const float delta =
                -(A * (phi * t + 1.0f) - phi - (phi * phi + A * A + B * B) * 0.5f * t) / ((phi - A) / t - 1.0f);
            phi += delta;
            const float m = std::fabs(delta);
            if (m < 5e-6f || m > 10.0f || !std::isfinite(delta)) break;
        }
    }
    if (!(phi > -kPiF / 2.0f && phi < kPiF / 2.0f)) return false;
    lambda = 0.0f;
    const float sp = std::sin(phi);
    if (sp != 0.0f) {
        lambda = std::asin(std::tan(phi) * B) / sp;
        if (std::isnan(lambda)) lambda = 0.0f;
    }
    return true;
}

void mapGores(const OutputCall& call, OutputResult& r) noexcept {
    const GoreVariant* g = call.entry.gores;
    if (g == nullptr) return;
    const float n = call.ctx.goreCount;
    if (!(n >= 1.0f)) return;
    const float x = call.FX() * g->scale;
    const float y = call.FY() * g->scale;
    const float pos = (x + 1.0f) * 0.5f * n + g->offset;
    const float kf = std::floor(pos);
    const float f = pos - kf;
    const int last = g->last < 0 ? static_cast<int>(n) - 1 : g->last;
    if (!(kf >= static_cast<float>(g->first) && kf <= static_cast<float>(last))) return;
    const int k = static_cast<int>(kf);

    // The polyconic plane coordinates of the point, in radians.
    constexpr float kGoreTurn = 6.2846084f;
    const float A = y * 0.5f * kGoreTurn;
    const float B = (f - 0.5f) / n * kGoreTurn;

    float phi = 0.0f;
    float lambda = 0.0f;
    if (!inversePolyconic(A, B, phi, lambda)) return;
    const float p = phi / kPiF + 0.5f;
    const float q = lambda / kTwoPiF + 0.5f;
    const float half = 1.0f / (2.0f * n);
    if (!(q >= 0.5f - half && q <= 0.5f + half)) return;
    float w = static_cast<float>(k) / n + 0.5f + q + 0.5f / n;
    w -= std::floor(w);
    setHit(r, equirectDirection(1.0f - w, p));
    r.ownTag = true;
    r.regionTag = k + 1;
    r.face = k + 1;
}

}  // namespace globaro::output_detail
