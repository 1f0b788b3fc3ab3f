#include "app/metadata.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string_view>

#include "app/run_settings.h"
#include "projection/output_formulas.h"
#include "projection/render_context.h"

namespace globaro {

namespace {

constexpr const char* kPoseHeading = "GPano:PoseHeadingDegrees";
constexpr const char* kPosePitch = "GPano:PosePitchDegrees";
constexpr const char* kPoseRoll = "GPano:PoseRollDegrees";
// How much of a file's start is searched for its XMP packet.
constexpr std::size_t kXmpSearchBytes = std::size_t{256} << 10;

// ---- Rotations ------------------------------------------------------------
// Directions as in the render: +z the centre of an equirectangular image, +y
// up, +x a quarter turn to the left. A pose (heading h, pitch p, roll r)
// carries a direction seen from the panorama's centre into the world as
// Ry(-h)·Rx(-p)·Rz(r), the right-handed turns about the axes; the render's
// view carries an output direction into the input as Ry(-lon)·Rx(-lat)·Rz(-spin).

using Matrix = std::array<std::array<double, 3>, 3>;

constexpr double kRadians = std::numbers::pi / 180.0;
constexpr double kDegrees = 180.0 / std::numbers::pi;

Matrix product(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) m[i][j] += a[i][k] * b[k][j];
    return m;
}

Matrix transposed(const Matrix& a) {
    Matrix m{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] = a[j][i];
    return m;
}

Matrix turnX(double degrees) {
    const double c = std::cos(degrees * kRadians), s = std::sin(degrees * kRadians);
    return {{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
}
Matrix turnY(double degrees) {
    const double c = std::cos(degrees * kRadians), s = std::sin(degrees * kRadians);
    return {{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
}
Matrix turnZ(double degrees) {
    const double c = std::cos(degrees * kRadians), s = std::sin(degrees * kRadians);
    return {{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
}

Matrix poseMatrix(const ViewPose& p) { return product(product(turnY(-p.heading), turnX(-p.pitch)), turnZ(p.roll)); }

// The angle in (-180, 180].
double wrapped(double degrees) {
    double d = std::fmod(degrees, 360.0);
    if (d > 180.0) d -= 360.0;
    if (d <= -180.0) d += 360.0;
    return d;
}

// Heading, pitch and roll of a turn (heading in -180..180). Straight up or
// down, where heading and roll turn about the same axis, the heading is 0.
ViewPose poseOf(const Matrix& m) {
    ViewPose p;
    p.pitch = std::asin(std::clamp(m[1][2], -1.0, 1.0)) * kDegrees;
    const bool vertical = std::hypot(m[0][2], m[2][2]) < 1e-12;
    p.heading = vertical ? 0.0 : std::atan2(-m[0][2], m[2][2]) * kDegrees;
    const Matrix rest = product(transposed(product(turnY(-p.heading), turnX(-p.pitch))), m);
    p.roll = std::atan2(rest[1][0], rest[0][0]) * kDegrees;
    p.roll = wrapped(p.roll);
    return p;
}

// The number an XMP packet gives a property, in either of its spellings:
// name="value" or <name>value</name>.
std::optional<double> xmpNumber(std::string_view xmp, std::string_view name) {
    for (std::size_t at = xmp.find(name); at != std::string_view::npos; at = xmp.find(name, at + 1)) {
        std::size_t v = at + name.size();
        if (xmp.substr(v, 2) == "=\"" || xmp.substr(v, 2) == "='")
            v += 2;
        else if (xmp.substr(v, 1) == ">")
            v += 1;
        else
            continue;
        const std::string number(xmp.substr(v, std::min<std::size_t>(32, xmp.size() - v)));
        char* end = nullptr;
        const double value = std::strtod(number.c_str(), &end);
        if (end != number.c_str() && std::isfinite(value)) return value;
    }
    return std::nullopt;
}

// The GPano pose of a file: from its XMP packet, or when the reader found
// none, from the packet near the start of the file.
std::optional<ViewPose> filePose(std::string_view xmp, const std::string& path) {
    std::optional<double> heading, pitch, roll;
    heading = xmpNumber(xmp, kPoseHeading), pitch = xmpNumber(xmp, kPosePitch), roll = xmpNumber(xmp, kPoseRoll);
    if (!heading && !pitch && !roll && !path.empty()) {
        std::ifstream in(path, std::ios::binary);
        std::string head(kXmpSearchBytes, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
        heading = xmpNumber(head, kPoseHeading), pitch = xmpNumber(head, kPosePitch), roll = xmpNumber(head, kPoseRoll);
    }
    if (!heading && !pitch && !roll) return std::nullopt;
    auto angle = [](const std::optional<double>& v, double lo, double hi) {
        return v && std::isfinite(*v) ? std::clamp(*v, lo, hi) : 0.0;
    };
    return ViewPose{angle(heading, -360.0, 360.0), angle(pitch, -90.0, 90.0), angle(roll, -180.0, 180.0)};
}

}  // namespace

std::shared_ptr<const ImageMetadata> readMetadata(CarriedMetadata carried, std::string_view xmp,
                                                  const std::string& path) {
    auto m = std::make_shared<ImageMetadata>();
    m->carried = std::move(carried);
    m->pose = filePose(xmp, path);
    if (m->carried.empty() && !m->pose) return nullptr;
    return m;
}

bool isPlainEquirectangular(ProjectionId output) {
    const OutputProjectionInfo* row = findOutputInfo(output);
    return row != nullptr && row->routine == &output_detail::mapEquirectangular &&
           (row->traits & kTraitShadedRender) == 0;
}

ViewPose composePose(const std::optional<ViewPose>& inputPose, const ViewAngles& view) {
    const Matrix input = poseMatrix(inputPose.value_or(ViewPose{}));
    const Matrix turn = poseMatrix({view.longitude, view.latitude, -view.spin});
    ViewPose p = poseOf(product(input, turn));
    if (p.heading < 0.0) p.heading += 360.0;
    return p;
}

ViewAngles levellingView(const ViewPose& pose) {
    const ViewPose v = poseOf(product(transposed(poseMatrix(pose)), turnY(-pose.heading)));
    return {v.pitch, wrapped(v.heading), wrapped(-v.roll)};
}

std::optional<PanoramaTags> panoramaTagsFor(ProjectionId output, std::int32_t width, std::int32_t height,
                                            const ViewAngles& view, const std::optional<ViewPose>& inputPose) {
    if (!isPlainEquirectangular(output) || width < 1 || height < 1) return std::nullopt;
    // The map fills the frame of its box as large as the image allows: the
    // whole sphere spans width / scale pixels across and half that down.
    const ViewFrame frame = makeViewFrame(findOutputInfo(output)->box, static_cast<double>(height) / width);
    const double across = width / frame.scale, down = across / 2.0;
    if (across < width - 1.0 || down < height - 1.0) return std::nullopt;
    PanoramaTags t;
    t.fullWidth = t.croppedWidth = width;
    t.fullHeight = t.croppedHeight = height;
    t.pose = composePose(inputPose, view);
    return t;
}

bool takeViewFromPose(const ImageMetadata* input, const std::string& path, RunSettingsOptions& run, std::string& note) {
    if (input == nullptr || !input->pose) {
        note = "--use-pose: \"" + path + "\" has no panorama pose; the view is left as it is";
        return false;
    }
    const ViewAngles view = levellingView(*input->pose);
    if (!run.latitude) run.latitude = static_cast<float>(view.latitude);
    if (!run.longitude) run.longitude = static_cast<float>(view.longitude);
    if (!run.spin) run.spin = static_cast<float>(view.spin);
    return true;
}

std::shared_ptr<const ImageMetadata> outputMetadata(const std::shared_ptr<const ImageMetadata>& input,
                                                    const RunSettingsOptions& run, std::int32_t width,
                                                    std::int32_t height) {
    auto settings = std::make_unique<SettingsRecord>();
    std::string error;  // settings that cannot be read are the run's to report
    if (!readRunSettings(run, *settings, error)) return input;
    const ViewAngles view{settings->latitude, settings->longitude, settings->spin};
    auto panorama =
        panoramaTagsFor(settings->outputProjection, width, height, view, input != nullptr ? input->pose : std::nullopt);
    if (!panorama) {
        if (input == nullptr || !input->pose) return input;
        auto copy = std::make_shared<ImageMetadata>(*input);
        copy->pose.reset();
        return copy->carried.empty() ? nullptr : copy;
    }
    auto m = input != nullptr ? std::make_shared<ImageMetadata>(*input) : std::make_shared<ImageMetadata>();
    m->panorama = panorama;
    return m;
}

}  // namespace globaro
