// `globaro probe`: the mapping of single output positions, as JSON lines.

#include "app/probe_command.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <string>

#include "projection/catalogue.h"
#include "projection/input_projection.h"
#include "projection/sphere_frame.h"

namespace globaro::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr ProjectionId kEquiTall = 81;

// The direction an equirectangular image shows at horizontal fraction 1 − w
// and vertical fraction v.
SphereDir equirectDirection(float w, float v) {
    const float y = std::sin((v - 0.5f) * -3.1415927f);
    const float r = std::sqrt(std::fmax(0.0f, 1.0f - y * y));
    const float angle = (w - 0.5f) * 6.2831855f;
    return {std::sin(angle) * r, y, std::cos(angle) * r};
}

// A number for JSON: values that are not numbers would not survive the trip.
double jsonNumber(double x) { return std::isfinite(x) ? x : 0.0; }

bool fail(std::ostream& err, const std::string& message) {
    err << "probe: " << message << "\n";
    return false;
}

bool validate(const ProbeOptions& o, std::ostream& err) {
    if (o.output != kEquiTall) {
        const std::string name(outputProjectionName(o.output));
        return fail(err, "output projection " + std::to_string(o.output) + " (\"" + name +
                             "\") is not supported yet; only 81 \"equi tall\" is");
    }
    if (!isInputProjection(o.input)) {
        return fail(err, "unknown input projection " + std::to_string(o.input) + " (expected 1..38)");
    }
    if (o.width <= 0 || o.height <= 0) return fail(err, "the output size must be positive");
    if (o.inputWidth <= 0 || o.inputHeight <= 0) return fail(err, "the input size must be positive");
    if (!std::isfinite(o.lat) || !std::isfinite(o.lon) || !std::isfinite(o.spin) || !std::isfinite(o.fov)) {
        return fail(err, "latitude, longitude, spin and field of view must be numbers");
    }
    if (o.points.empty()) return fail(err, "no output positions given (expected pairs a b)");
    for (const auto& [a, b] : o.points) {
        if (!(a >= 0.0 && a <= 1.0 && b >= 0.0 && b <= 1.0)) {
            return fail(err, "output position (" + std::to_string(a) + ", " + std::to_string(b) +
                                 ") lies outside the image; a and b are fractions in [0, 1]");
        }
    }
    return true;
}

}  // namespace

int runProbe(const ProbeOptions& options, std::ostream& out, std::ostream& err) {
    if (!validate(options, err)) return 2;

    const RotationRecord rotation = rotationFromAngles(options.lon, options.lat, options.spin);
    const std::int32_t foldMode = halfAngleFoldModeFor(options.output, options.anamorph);
    const float inputAspect = static_cast<float>(options.inputHeight) / static_cast<float>(options.inputWidth);
    const std::int32_t flip = options.flip ? 1 : 0;
    prepareInputTables();

    for (const auto& [a, b] : options.points) {
        // "equi tall": the whole sphere in the whole image, no framing.
        SphereDir d = equirectDirection(1.0f - static_cast<float>(a), static_cast<float>(b));
        if (foldMode == kFoldBeforeRotation) d = halfAngleFold(d);
        d = rotate(rotation, d);
        if (foldMode == kFoldAfterRotation) d = halfAngleFold(d);

        InputSample s;
        sphereToInput(options.input, flip, inputAspect, d, s);
        const float u = std::isnan(s.u) ? 0.0f : s.u;
        const float v = std::isnan(s.v) ? 0.0f : s.v;
        const bool outside = !(u >= 0.0f && u <= 1.0f && v >= 0.0f && v <= 1.0f);

        Json j;
        j["a"] = a;
        j["b"] = b;
        j["direction"] = Json::array({jsonNumber(d.x), jsonNumber(d.y), jsonNumber(d.z)});
        j["u"] = jsonNumber(u);
        j["v"] = jsonNumber(v);
        j["miss"] = s.miss || outside;
        j["face"] = s.faceIndex;
        j["regionTag"] = s.miss ? -10001 : -7;
        j["pieceTag"] = s.regionCode;
        j["subTag"] = outside ? 1 : 0;
        j["weight"] = jsonNumber(s.weight);
        out << j.dump() << "\n";
    }
    return 0;
}

}  // namespace globaro::cli
