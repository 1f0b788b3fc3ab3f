#include "geometry/sphere_frame.h"

#include <algorithm>
#include <iterator>
#include <cmath>

namespace globaro {

namespace {

constexpr float kPiF = 3.1415927f;

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
    return r;
}

RotationRecord rotationFromAngles(float longitudeDeg, float latitudeDeg, float spinDeg) noexcept {
    const float latitude = latitudeDeg * kPiF / 180.0f;
    const float longitude = static_cast<float>(static_cast<double>(longitudeDeg) * static_cast<double>(kPiF) / 180.0);
    const float spin = static_cast<float>(static_cast<double>(spinDeg) * static_cast<double>(kPiF) / 180.0);
    return rotationFromRadians(longitude, latitude, spin);
}

RotationRecord tiltedRotation() noexcept {
    return rotationFromRadians(1.1684928f, -0.8650501f, -0.7012425f);
}

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
    c.wideTan = static_cast<float>(2.0 * std::tan(static_cast<double>(f * 1.5707964f)));
    c.narrowTan = static_cast<float>(2.0 * std::tan(static_cast<double>(g * 1.5707964f)));
    return c;
}

Vec2d modelEquirectFromDirection(const Vec3d& d) noexcept {
    constexpr double kPi = 3.141592653589793;
    double y = d.y;
    if (std::fabs(y) > 0.8) y = std::clamp(y, -1.0, 1.0);
    Vec2d r;
    r.y = std::acos(y) * 0.3183098861837907;
    const double a = std::atan2(d.x, d.z);
    if (std::isnan(a)) {
        r.x = (std::atan2(-d.x, -d.z) + 2.0 * kPi) / (2.0 * kPi);
    } else {
        r.x = (a + kPi) * 0.15915494309189535;
    }
    if (r.x > 1.0) r.x -= 1.0;
    return r;
}

Vec3d modelDirectionFromEquirect(double u, double v) noexcept {
    constexpr double kPi = 3.141592653589793;
    Vec3d d;
    d.y = std::sin(-(v - 0.5) * kPi);
    const double r = std::sqrt(std::max(0.0, 1.0 - d.y * d.y));
    const float theta = static_cast<float>((u - 0.5) * 2.0 * kPi);
    d.x = std::sin(static_cast<double>(theta)) * r;
    d.z = std::cos(static_cast<double>(theta)) * r;
    return d;
}

}  // namespace globaro
