// Globe gores as input: the sphere cut into n gores along meridians, each an
// American polyconic projection about its own central meridian. The radial
// variant shows the northern half-gores turned about the image centre.

#include <cmath>

#include "geometry/angle_constants.h"
#include "projection/input_formulas.h"

namespace globaro::input_detail {

namespace {

struct GoreLayout {
    InputProjectionId id;
    int count;     // n gores around the sphere
    float offset;  // the central meridian of gore i is (2π/n)·(i − offset)
    bool radial;   // northern half-gores turned about the image centre
};

constexpr GoreLayout kGoreLayouts[] = {
    {12, 12, 5.5f, false},  // gores: 12
    {19, 12, 5.5f, true},   // gores: 12 radial
    {25, 6, 2.5f, false},   // gores: 6
    {36, 8, 3.5f, false},   // gores: 8
};

const GoreLayout& goreLayoutFor(InputProjectionId id) noexcept {
    for (const GoreLayout& g : kGoreLayouts) {
        if (g.id == id) return g;
    }
    return kGoreLayouts[0];
}

}  // namespace

void lookupGores(const InputCall& call, InputSample& out) noexcept {
    const GoreLayout& layout = goreLayoutFor(call.id);
    const Common c = commonQuantities(call.d);
    const float n = static_cast<float>(layout.count);

    // The gore and its central meridian.
    float g = n * c.e;
    if (g < 0.0f) g -= 1.0f;
    const float k = static_cast<float>(static_cast<int>(g)) - layout.offset;
    const float centre = static_cast<float>(kTwoPiNineDecimals / layout.count * k);

    // American polyconic about the central meridian (latitude south positive).
    const float phi = static_cast<float>((static_cast<double>(c.p) - 0.5) * kPiNineDecimals);
    const float lambda = static_cast<float>((static_cast<double>(c.e) - 0.5) * kTwoPiNineDecimals - centre);
    float x = 0.0f;
    float y = 0.0f;
    if (phi == 0.0f) {
        // The limit on the equator, where the cotangent has a pole.
        x = lambda + centre;
        y = 0.0f;
    } else {
        const float e = lambda * std::sin(phi);
        const float cot = 1.0f / std::tan(phi);
        x = std::sin(e) * cot + centre;
        y = (1.0f - std::cos(e)) * cot + phi;
    }
    float u = static_cast<float>(x / kTwoPiNineDecimals + 0.5);
    float v = static_cast<float>(y / kPiNineDecimals + 0.5);

    if (layout.radial) {
        if (v > 0.5f) {
            // The southern half is not shown.
            v = -1.0f;
        } else {
            const float t = 12.0f * u;
            const float j = std::floor(t);
            const float f = t - j - 0.5f;
            const float alpha = static_cast<float>((k + 0.5f) * (-kFloatTwoPiWidened) / 12.0);
            const float r = f * 2.0f / 12.0f;
            const float ur = r * std::cos(alpha) - v * std::sin(alpha) + 0.5f;
            const float vr = r * std::sin(alpha) + v * std::cos(alpha) + 0.5f;
            u = ur;
            v = vr;
        }
    }

    out.regionCode = static_cast<std::uint32_t>(static_cast<std::int32_t>(k));
    setHitOrMiss(out, u, v);
}

}  // namespace globaro::input_detail
