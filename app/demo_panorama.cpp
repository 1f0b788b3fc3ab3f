#include "app/demo_panorama.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace globaro {

namespace {

using Rgb = std::array<double, 3>;

Rgb mix(const Rgb& a, const Rgb& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t};
}

// Height of the mountain ridge above the horizon (radians) at longitude lon.
double ridge(double lon) {
    return 0.11 + 0.06 * std::sin(3.0 * lon + 0.4) + 0.03 * std::sin(7.0 * lon + 1.3) +
           0.015 * std::sin(17.0 * lon + 2.1) + 0.006 * std::sin(41.0 * lon);
}

// Colour seen in the direction of longitude lon and latitude lat.
Rgb scene(double lon, double lat) {
    const double pi = std::numbers::pi;
    // Direction: +z at the centre of the image, +y up, +x to the left.
    const double x = -std::cos(lat) * std::sin(lon), y = std::sin(lat), z = std::cos(lat) * std::cos(lon);

    // Marker posts at the compass points, from the ground to above the ridge.
    const std::array<std::pair<double, Rgb>, 4> posts = {
        {{0.0, {0.85, 0.1, 0.1}}, {pi / 2, {0.1, 0.7, 0.15}}, {pi, {0.15, 0.25, 0.9}}, {-pi / 2, {0.95, 0.8, 0.1}}}};
    for (const auto& [postLon, color] : posts) {
        double d = std::remainder(lon - postLon, 2 * pi);
        if (std::fabs(d) < 0.02 && lat > -0.25 && lat < 0.3) return color;
    }

    if (lat > ridge(lon)) {
        // Sky, brighter towards the horizon, with a sun and a soft glow.
        Rgb sky = mix({0.55, 0.75, 0.95}, {0.08, 0.22, 0.6}, std::pow(y, 0.6));
        const double sunLon = pi / 6, sunLat = 0.6;
        const double sx = -std::cos(sunLat) * std::sin(sunLon), sy = std::sin(sunLat),
                     sz = std::cos(sunLat) * std::cos(sunLon);
        const double c = x * sx + y * sy + z * sz;
        const double angle = std::acos(std::clamp(c, -1.0, 1.0));
        if (angle < 0.045) return {1.0, 0.97, 0.85};
        sky = mix(sky, {1.0, 0.9, 0.7}, 0.6 * std::exp(-angle * 6.0));
        return sky;
    }
    if (lat > 0.0) {
        // Mountains, with snow near the top of the ridge.
        const double top = ridge(lon);
        Rgb rock = mix({0.35, 0.38, 0.45}, {0.25, 0.3, 0.3}, 0.5 + 0.5 * std::sin(23.0 * lon));
        if (lat > top - 0.012) rock = {0.93, 0.95, 0.98};
        return rock;
    }
    // Ground plane one unit below the eye, chequered in squares of half a unit.
    const double t = 1.0 / std::max(-y, 1e-9);
    const double gx = 2.0 * x * t, gz = 2.0 * z * t;
    const bool dark = (static_cast<long long>(std::floor(gx)) + static_cast<long long>(std::floor(gz))) & 1;
    Rgb ground = dark ? Rgb{0.2, 0.42, 0.16} : Rgb{0.62, 0.55, 0.35};
    // Fade to a haze far away so that the horizon does not shimmer.
    return mix(ground, {0.5, 0.55, 0.5}, 1.0 - std::exp(-t / 40.0));
}

}  // namespace

std::array<double, 3> demoSceneColor(double lon, double lat) { return scene(lon, lat); }

bool makeDemoPanorama(Document& doc, std::int32_t width, std::int32_t height, int depth, std::string& error) {
    if (!makeDocument(doc, width, height, 3, false, depth, error)) return false;
    const double pi = std::numbers::pi;
    constexpr int kSub = 3;  // 3 x 3 samples per pixel
    for (std::int32_t row = 0; row < height; ++row) {
        for (std::int32_t column = 0; column < width; ++column) {
            Rgb sum{0, 0, 0};
            for (int j = 0; j < kSub; ++j) {
                for (int i = 0; i < kSub; ++i) {
                    const double u = (column + (i + 0.5) / kSub) / width;
                    const double v = (row + (j + 0.5) / kSub) / height;
                    const Rgb c = scene((u - 0.5) * 2 * pi, (0.5 - v) * pi);
                    for (int k = 0; k < 3; ++k) sum[k] += c[k];
                }
            }
            for (int k = 0; k < 3; ++k) doc.setValue(column, row, k, static_cast<float>(sum[k] / (kSub * kSub)));
        }
    }
    return true;
}

}  // namespace globaro
