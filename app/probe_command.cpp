// `globaro probe`: the mapping of single output positions, as JSON lines.

#include "app/probe_command.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <memory>
#include <string>

#include "app/exit_status.h"
#include "polyhedra/poly_model.h"
#include "projection/catalogue.h"
#include "projection/input_projection.h"
#include "projection/output_mapping.h"
#include "projection/render_context.h"
#include "render/render_setup.h"
#include "settings/settings_record.h"

namespace globaro::cli {
namespace {

using Json = nlohmann::ordered_json;

// A number for JSON: values that are not numbers would not survive the trip.
double jsonNumber(double x) { return std::isfinite(x) ? x : 0.0; }

bool fail(std::ostream& err, const std::string& message) {
    err << "probe: " << message << "\n";
    return false;
}

bool validate(const ProbeOptions& o, std::ostream& err) {
    if (!hasOutputEntry(o.output)) {
        return fail(err, "unknown output projection " + std::to_string(o.output) +
                             " (expected an id or name of the catalogue)");
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

// The polyhedron model of a probe, released on every path.
struct ModelHolder {
    PolyModel* model = nullptr;
    ~ModelHolder() { releasePolyModel(model); }
};

}  // namespace

int runProbe(const ProbeOptions& options, std::ostream& out, std::ostream& err) {
    if (!validate(options, err)) return kExitUsage;

    auto settings = std::make_unique<SettingsRecord>();
    resetToDefaults(*settings);
    settings->outputProjection = options.output;
    settings->inputProjection = options.input;
    settings->latitude = options.lat;
    settings->longitude = options.lon;
    settings->spin = options.spin;
    settings->fov = options.fov;
    settings->flip = options.flip ? 1 : 0;
    settings->anamorphosis = options.anamorph ? 1 : 0;
    settings->grid = 1;
    settings->indicatrix = 0;
    clampToRanges(*settings);

    ModelHolder holder;
    if (usesPolyModel(options.output)) {
        holder.model = createPolyModel();
        if (holder.model == nullptr) {
            fail(err, "not enough memory for the polyhedron model");
            return kExitFailure;
        }
    }
    auto ctx = std::make_unique<RenderContext>();
    RenderSetupOptions setup;
    setup.polyModel = holder.model;
    setupRenderContext(*ctx, *settings,
                       RenderSizes{options.width, options.height, options.inputWidth, options.inputHeight}, setup);
    PolyJobState job;
    MappingScratch scratch;
    if (holder.model != nullptr) {
        buildSweepList(*holder.model, job);
        scratch.polyJob = &job;
    }

    for (const auto& [a, b] : options.points) {
        RenderCell cell{};
        SphereDir d;
        const bool lookedUp = outputToSphere(static_cast<float>(a), static_cast<float>(b), *ctx, cell, scratch, &d);

        Json j;
        j["a"] = a;
        j["b"] = b;
        if (lookedUp) {
            j["direction"] = Json::array({jsonNumber(d.x), jsonNumber(d.y), jsonNumber(d.z)});
        } else {
            j["direction"] = nullptr;
        }
        j["u"] = jsonNumber(cell.inputU);
        j["v"] = jsonNumber(cell.inputV);
        j["miss"] = cell.subTag != 0;
        j["face"] = cell.faceIndex;
        j["regionTag"] = cell.regionTag;
        j["pieceTag"] = cell.pieceTag;
        j["subTag"] = cell.subTag;
        j["weight"] = jsonNumber(cell.weight);
        out << j.dump() << "\n";
    }
    return 0;
}

}  // namespace globaro::cli
