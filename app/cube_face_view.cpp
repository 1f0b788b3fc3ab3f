#include "app/cube_face_view.h"

#include <algorithm>
#include <cmath>

#include "geometry/sphere_frame.h"

namespace globaro {

namespace {

// By cube face number 1..6 (down, up, left, back, right, front), the turn
// that shows the face exactly as the "Unity 6 frames" strip shows it.
constexpr FaceTurn kCubeFaceTurns[6] = {
    {-90.0f, -180.0f, -180.0f}, {90.0f, -180.0f, -180.0f}, {0.0f, -90.0f, 0.0f},
    {0.0f, 180.0f, 0.0f},       {0.0f, 90.0f, 0.0f},       {0.0f, 0.0f, 0.0f},
};

// The angles of the rotation `target` (as rotationFromAngles builds them),
// or nothing when none is found to float precision.
std::optional<FaceTurn> anglesOf(const Mat3& target) {
    auto distance = [&](const Mat3& m) {
        float worst = 0.0f;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) worst = std::max(worst, std::fabs(m.m[i][j] - target.m[i][j]));
        return worst;
    };
    constexpr float kDegrees = 57.29577951308232f;
    const SphereDir centre = applyTransposed(target, {0.0f, 0.0f, 1.0f});
    const SphereDir up = applyTransposed(target, {0.0f, 1.0f, 0.0f});
    const float latitude = std::asin(std::clamp(centre.y, -1.0f, 1.0f)) * kDegrees;
    const float longitude = std::atan2(-centre.x, centre.z) * kDegrees;
    std::optional<FaceTurn> best;
    float bestDistance = 1e-4f;
    // The signs of the convention are tried rather than assumed; at the
    // poles the longitude is free, so the quarter turns are tried too.
    for (const float lat : {latitude, -latitude})
        for (const float lon : {longitude, -longitude, 0.0f, 90.0f, -90.0f, 180.0f}) {
            const SphereDir u0 = applyTransposed(rotationFromAngles(lon, lat, 0.0f).product, {0.0f, 1.0f, 0.0f});
            const SphereDir across{u0.y * up.z - u0.z * up.y, u0.z * up.x - u0.x * up.z, u0.x * up.y - u0.y * up.x};
            const float angle = std::atan2(dot(centre, across), dot(u0, up)) * kDegrees;
            for (const float spin : {angle, -angle}) {
                const float d = distance(rotationFromAngles(lon, lat, spin).product);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = FaceTurn{lat, lon, spin};
                }
            }
        }
    return best;
}

}  // namespace

std::optional<FaceTurn> cubeFaceViewTurn(int faceNumber, const FaceTurn& view) {
    if (faceNumber < 1 || faceNumber > 6) return std::nullopt;
    // The face's turn, then the view's own.
    const FaceTurn& face = kCubeFaceTurns[faceNumber - 1];
    return anglesOf(matMul(rotationFromAngles(face.longitude, face.latitude, face.spin).product,
                           rotationFromAngles(view.longitude, view.latitude, view.spin).product));
}

}  // namespace globaro
