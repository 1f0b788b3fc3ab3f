#include "geometry/sphere_frame.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace globaro {

namespace {

// The fixed angles, in radians, of the tilted rotation that the tiling
// outputs apply to their directions: given values, not derived from others.
constexpr float kTiltedLatitude = -0.8650501f;
constexpr float kTiltedLongitude = 1.1684928f;
constexpr float kTiltedSpin = -0.7012425f;

// The outputs whose half-angle fold follows the rotation.
constexpr ProjectionId kFoldAfterRotationOutputs[] = {36, 37, 38, 53, 61, 63, 73, 74, 288, 300, 301, 1044};

}  // namespace

Mat3 axisRotation(const Vec3d& axis, double angle) noexcept {
    const double sh = std::sin(angle / 2.0);
    const double x = axis.x * sh;
    const double y = axis.y * sh;
    const double z = axis.z * sh;
    const double w = std::cos(angle / 2.0);
    Mat3 r;
    r.m[0][0] = static_cast<float>(1.0 - 2.0 * (y * y + z * z));
    r.m[0][1] = static_cast<float>(2.0 * x * y - 2.0 * z * w);
    r.m[0][2] = static_cast<float>(2.0 * x * z + 2.0 * y * w);
    r.m[1][0] = static_cast<float>(2.0 * x * y + 2.0 * z * w);
    r.m[1][1] = static_cast<float>(1.0 - 2.0 * (x * x + z * z));
    r.m[1][2] = static_cast<float>(2.0 * y * z - 2.0 * x * w);
    r.m[2][0] = static_cast<float>(2.0 * x * z - 2.0 * y * w);
    r.m[2][1] = static_cast<float>(2.0 * y * z + 2.0 * x * w);
    r.m[2][2] = static_cast<float>(1.0 - 2.0 * (x * x + y * y));
    return r;
}

RotationRecord rotationFromRadians(float longitude, float latitude, float spin) noexcept {
    RotationRecord r;
    r.latitude = latitude;
    r.longitude = longitude;
    r.spin = spin;
    r.latitudeMatrix = axisRotation({1.0, 0.0, 0.0}, latitude);
    r.longitudeMatrix = axisRotation({0.0, 1.0, 0.0}, longitude);
    SphereDir k{0.0f, 0.0f, 1.0f};
    k = normalise(applyTransposed(r.latitudeMatrix, k));
    k = normalise(applyTransposed(r.longitudeMatrix, k));
    r.spinAxis = k;
    r.spinMatrix = axisRotation(toVec3d(k), spin);
    r.product = matMul(matMul(r.latitudeMatrix, r.longitudeMatrix), r.spinMatrix);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (r.product.m[i][j] != (i == j ? 1.0f : 0.0f)) r.identity = false;
    return r;
}

RotationRecord rotationFromAngles(float longitudeDeg, float latitudeDeg, float spinDeg) noexcept {
    // π as a float throughout; longitude and spin are converted in double.
    constexpr float piF = std::numbers::pi_v<float>;
    const float latitude = latitudeDeg * piF / 180.0f;
    const float longitude = static_cast<float>(static_cast<double>(longitudeDeg) * static_cast<double>(piF) / 180.0);
    const float spin = static_cast<float>(static_cast<double>(spinDeg) * static_cast<double>(piF) / 180.0);
    return rotationFromRadians(longitude, latitude, spin);
}

RotationRecord tiltedRotation() noexcept { return rotationFromRadians(kTiltedLongitude, kTiltedLatitude, kTiltedSpin); }

bool foldsAfterRotation(ProjectionId output) noexcept {
    return std::find(std::begin(kFoldAfterRotationOutputs), std::end(kFoldAfterRotationOutputs), output) !=
           std::end(kFoldAfterRotationOutputs);
}

std::int32_t halfAngleFoldModeFor(ProjectionId output, bool anamorphosis) noexcept {
    if (!anamorphosis) return kFoldOff;
    return foldsAfterRotation(output) ? kFoldAfterRotation : kFoldBeforeRotation;
}

OutputImageRecord makeOutputImageRecord(std::int32_t width, std::int32_t height) noexcept {
    OutputImageRecord r;
    r.width = std::max<std::int32_t>(width, 1);
    r.height = std::max<std::int32_t>(height, 1);
    const float w = static_cast<float>(r.width);
    const float h = static_cast<float>(r.height);
    r.heightOverWidth = h / w;
    r.widthOverHeight = w / h;
    r.halfOverWidth = 0.5f / w;
    r.halfOverHeight = 0.5f / h;
    return r;
}

FieldOfViewConstants fieldOfViewConstants(float fovDeg) noexcept {
    const float f = std::min(fovDeg / 180.0f, 0.999f);
    const float g = std::min(fovDeg / 360.0f, 0.999f);
    FieldOfViewConstants c;
    c.wideTan = static_cast<float>(2.0 * std::tan(static_cast<double>(f * (std::numbers::pi_v<float> / 2.0f))));
    c.narrowTan = static_cast<float>(2.0 * std::tan(static_cast<double>(g * (std::numbers::pi_v<float> / 2.0f))));
    return c;
}

Vec2d modelEquirectFromDirection(const Vec3d& d) noexcept {
    using std::numbers::inv_pi;
    using std::numbers::pi;
    double y = d.y;
    if (std::fabs(y) > 0.8) y = std::clamp(y, -1.0, 1.0);
    Vec2d r;
    r.y = std::acos(y) * inv_pi;
    const double a = std::atan2(d.x, d.z);
    if (std::isnan(a)) {
        r.x = (std::atan2(-d.x, -d.z) + 2.0 * pi) / (2.0 * pi);
    } else {
        r.x = (a + pi) * (inv_pi / 2.0);
    }
    if (r.x > 1.0) r.x -= 1.0;
    return r;
}

Vec3d modelDirectionFromEquirect(double u, double v) noexcept {
    using std::numbers::pi;
    Vec3d d;
    d.y = std::sin(-(v - 0.5) * pi);
    const double r = std::sqrt(std::max(0.0, 1.0 - d.y * d.y));
    const float theta = static_cast<float>((u - 0.5) * 2.0 * pi);
    d.x = std::sin(static_cast<double>(theta)) * r;
    d.z = std::cos(static_cast<double>(theta)) * r;
    return d;
}

}  // namespace globaro
