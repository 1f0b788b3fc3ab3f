// globaro: the standalone host. It loads images of every depth, drives the
// filter module through its selectors exactly as an image editor does, and
// writes the result.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/catalogue_commands.h"
#include "app/demo_panorama.h"
#include "app/filter_host.h"
#include "app/glue_commands.h"
#include "app/image_io.h"
#include "app/module_loader.h"
#include "app/probe_command.h"
#include "app/run_settings.h"
#include "projection/catalogue.h"

#ifndef GLOBARO_VERSION
#define GLOBARO_VERSION "2.0.0"
#endif

namespace globaro {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void onInterrupt(int) { cancelRequested().store(true); }

std::string describeResult(std::int16_t code) {
    switch (code) {
        case noErr: return "success";
        case memFullErr: return "not enough memory";
        case userCanceledErr: return "cancelled";
        case filterBadParameters: return "the filter's settings are missing";
        case filterAlreadyReported: return "the filter refused the image";
        case filterPyramidFailed: return "the input image could not be prepared";
        default: return "error " + std::to_string(code);
    }
}

template <typename Int>
bool parseSize(const std::string& text, Int& width, Int& height) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') || w < 1 ||
        h < 1)
        return false;
    width = w;
    height = h;
    return true;
}

// Loads the module, checks that it accepts the document and runs the filter
// with the settings of `run`. With a `source`, `doc` is a canvas of its own
// size that the filter fills from the source at the source's resolution.
int runFilter(Document& doc, const std::string& modulePath, const RunSettingsOptions& run, bool showProgress,
              const Document* source = nullptr) {
    LoadedModule module;
    std::string error;
    if (!loadModule(modulePath, module, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    std::string why;
    if (!moduleAcceptsImageMode(module.properties, doc.imageMode(), why)) {
        std::cerr << "globaro: " << why << "\n";
        return kExitFailure;
    }
    DescriptorStore store;
    if (!offerRunDescriptor(run, store, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitUsage;
    }
    HostOptions options;
    options.showProgress = showProgress;
    options.descriptorParameters = &store.parameters();
    options.source = source;
    FilterHost host(doc, options);
    const RunReport report = host.run(module.entry, false);
    if (report.result != noErr) {
        std::cerr << "globaro: the filter stopped: " << describeResult(report.result) << "; the image is unchanged\n";
        return kExitFailure;
    }
    if (!run.record.empty() &&
        !saveRecordedAction(store, run.record, run.dialog.value_or(false) ? plugInDialogDisplay : plugInDialogDontDisplay,
                            error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    return 0;
}

int commandInfo(const std::string& path, const std::string& modulePath) {
    Document doc;
    std::string error;
    if (!loadDocument(path, doc, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    std::cout << path << ": " << describeDocument(doc) << "\n";
    std::cout << "  image mode " << imageModeName(doc.imageMode()) << ", " << doc.planes() << " planes, filter case "
              << doc.filterCase() << "\n";
    LoadedModule module;
    if (!loadModule(modulePath, module, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    std::string why;
    const bool accepted = moduleAcceptsImageMode(module.properties, doc.imageMode(), why);
    std::cout << "  " << module.properties.pascalString(GLOBARO_FOURCC('n', 'a', 'm', 'e')) << " "
              << (accepted ? "accepts this image" : "refuses this image: " + why) << "\n";
    return 0;
}

// A transparent canvas for a render of `source` at another size.
bool makeCanvas(const Document& source, std::int32_t width, std::int32_t height, Document& canvas, std::string& error) {
    return makeDocument(canvas, width, height, source.colorPlanes, true, source.depth, error);
}

int commandRender(const std::string& input, const std::string& output, int depth, const std::string& maskPath,
                  const std::string& size, const std::string& modulePath, const RunSettingsOptions& run, bool quiet) {
    std::int32_t canvasWidth = 0, canvasHeight = 0;
    if (!size.empty() && !parseSize(size, canvasWidth, canvasHeight)) {
        std::cerr << "globaro: --size wants WIDTHxHEIGHT, got \"" << size << "\"\n";
        return kExitUsage;
    }
    Document source;
    std::string error;
    if (!loadDocument(input, source, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    // Without --size the filter works in place on the image, as in an editor.
    Document canvas;
    const bool separate = !size.empty();
    if (separate && !makeCanvas(source, canvasWidth, canvasHeight, canvas, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitUsage;
    }
    Document& doc = separate ? canvas : source;
    if (!maskPath.empty() && !loadMask(maskPath, doc.width, doc.height, doc.mask, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    if (const int status = runFilter(doc, modulePath, run, !quiet, separate ? &source : nullptr); status != 0)
        return status;
    if (!saveDocument(output, doc, depth, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    if (!quiet) std::cout << "wrote " << output << " (" << describeDocument(doc) << ")\n";
    return 0;
}

// The main job on the built-in demo panorama: the panorama itself and a
// handful of representative outputs, written into `folder`.
int commandDemo(const std::string& folder, const std::string& size, const std::string& modulePath) {
    std::int32_t width = 2048, height = 1024;
    if (!parseSize(size, width, height)) {
        std::cerr << "globaro: --size wants WIDTHxHEIGHT, got \"" << size << "\"\n";
        return kExitUsage;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::cerr << "globaro: cannot create the folder \"" << folder << "\": " << ec.message() << "\n";
        return kExitFailure;
    }
    Document panorama;
    std::string error;
    if (!makeDemoPanorama(panorama, width, height, 8, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    const std::string panoramaPath = (std::filesystem::path(folder) / "demo-panorama.png").string();
    if (!saveDocument(panoramaPath, panorama, 0, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    std::cout << "wrote " << panoramaPath << " (" << describeDocument(panorama) << ")\n";

    struct DemoOutput {
        const char* file;
        const char* output;  // the output projection's name
        float latitude, fov;
        std::int32_t width, height;  // in units of the panorama's height / 8
    };
    // A little planet, a cube map, a world map and a polyhedron net.
    const DemoOutput outputs[] = {
        {"little-planet.png", "stereographic", -90.0f, 110.0f, 8, 8},
        {"cube-map.png", "Unity 6 frames", 0.0f, 120.0f, 24, 4},
        {"mollweide.png", "Mollweide", 0.0f, 120.0f, 16, 8},
        {"icosahedron.png", "icosahedron", 0.0f, 120.0f, 16, 8},
    };
    const std::int32_t unit = std::max(height / 8, 1);
    for (const DemoOutput& o : outputs) {
        RunSettingsOptions run;
        run.output = findOutputProjection(o.output);
        run.latitude = o.latitude;
        run.fov = o.fov;
        Document canvas;
        if (!makeCanvas(panorama, o.width * unit, o.height * unit, canvas, error)) {
            std::cerr << "globaro: " << error << "\n";
            return kExitFailure;
        }
        if (const int status = runFilter(canvas, modulePath, run, true, &panorama); status != 0) return status;
        const std::string path = (std::filesystem::path(folder) / o.file).string();
        if (!saveDocument(path, canvas, 0, error)) {
            std::cerr << "globaro: " << error << "\n";
            return kExitFailure;
        }
        std::cout << "wrote " << path << " (" << o.output << ", " << canvas.width << " x "
                  << canvas.height << ")\n";
    }
    return 0;
}

// A projection given by id or by exact name.
template <typename Find>
CLI::Validator projectionValidator(Find find, const char* what) {
    return CLI::Validator(
        [find, what](std::string& text) -> std::string {
            const auto id = find(text);
            if (!id) return std::string("unknown ") + what + " projection \"" + text + "\" (see globaro list " + what + "s)";
            text = std::to_string(*id);
            return {};
        },
        "ID|NAME");
}

}  // namespace
}  // namespace globaro

int main(int argc, char** argv) {
    using namespace globaro;
    std::signal(SIGINT, onInterrupt);

    CLI::App app{"Globaro 2: turns spherical panoramas and world maps into other projections.", "globaro"};
    app.set_version_flag("--version", std::string("globaro ") + GLOBARO_VERSION);
    app.require_subcommand(1);
    std::string modulePath = defaultModulePath();
    app.add_option("--module", modulePath, "Filter module to load")->check(CLI::ExistingFile);

    std::string infoPath;
    auto* info = app.add_subcommand("info", "Show what the host sees of an image");
    info->add_option("image", infoPath, "Image file")->required();

    std::string input, output, maskPath;
    int depth = 0;
    bool quiet = false;
    auto* render = app.add_subcommand("render", "Run the filter on an image and write the result");
    render->add_option("input", input, "Input image")->required();
    render->add_option("output", output, "Output image")->required();
    render->add_option("--depth", depth, "Output depth: 8, 16 or 32 (default: the input's)")
        ->check(CLI::IsMember({0, 8, 16, 32}));
    render->add_option("--mask", maskPath, "Selection mask image (255 = selected), the size of the output");
    std::string canvasSize;
    render->add_option("--size", canvasSize,
                       "Output canvas WIDTHxHEIGHT (default: the input's own image, filtered in place)");
    render->add_flag("--quiet", quiet, "No progress or summary");
    RunSettingsOptions runSettings;
    addRunSettingsOptions(*render, runSettings);

    std::string demoOutput = "demo-out", demoSize = "2048x1024";
    auto* demo = app.add_subcommand("demo", "Render the built-in demo panorama into a few outputs");
    demo->add_option("folder", demoOutput, "Output folder (default demo-out)");
    demo->add_option("--size", demoSize, "Size of the demo panorama, WIDTHxHEIGHT");

    std::string listWhat;
    auto* list = app.add_subcommand("list", "List the input projections, output projections or glue modes");
    list->add_option("what", listWhat, "inputs, outputs or glue")->required()->check(CLI::IsMember({"inputs", "outputs", "glue"}));

    std::string describeKind, describeId;
    auto* describe = app.add_subcommand("describe", "Describe a projection as JSON");
    describe->add_option("kind", describeKind, "input or output")->required()->check(CLI::IsMember({"input", "output"}));
    describe->add_option("projection", describeId, "Id or exact name")->required();

    cli::ProbeOptions probe;
    std::vector<double> probePoints;
    std::string probeSize, probeInputSize;
    auto* probeCommand = app.add_subcommand("probe", "Trace output positions (a, b) through the projections");
    probeCommand->add_option("--input", probe.input, "Input projection (id or name)")
        ->transform(projectionValidator([](std::string_view t) { return findInputProjection(t); }, "input"));
    probeCommand->add_option("--output", probe.output, "Output projection (id or name)")
        ->transform(projectionValidator([](std::string_view t) { return findOutputProjection(t); }, "output"));
    probeCommand->add_option("--size", probeSize, "Output image size, WIDTHxHEIGHT");
    probeCommand->add_option("--input-size", probeInputSize, "Input image size, WIDTHxHEIGHT");
    probeCommand->add_option("--lat", probe.lat, "Latitude, degrees")->check(CLI::Range(-90.0, 90.0));
    probeCommand->add_option("--lon", probe.lon, "Longitude, degrees")->check(CLI::Range(-180.0, 180.0));
    probeCommand->add_option("--spin", probe.spin, "Spin, degrees")->check(CLI::Range(-180.0, 180.0));
    probeCommand->add_option("--fov", probe.fov, "Field of view, degrees")->check(CLI::Range(0.0, 180.0));
    probeCommand->add_flag("--flip", probe.flip, "Mirror the input");
    probeCommand->add_flag("--anamorph", probe.anamorph, "Anamorphosis");
    probeCommand->add_option("positions", probePoints, "Output positions a b [a b ...], fractions 0..1")
        ->required()->expected(2, -1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    if (info->parsed()) return commandInfo(infoPath, modulePath);
    if (render->parsed()) return commandRender(input, output, depth, maskPath, canvasSize, modulePath, runSettings, quiet);
    if (demo->parsed()) return commandDemo(demoOutput, demoSize, modulePath);
    if (list->parsed()) return listWhat == "glue" ? cli::runListGlue(std::cout) : cli::runList(listWhat, std::cout, std::cerr);
    if (describe->parsed()) return cli::runDescribe(describeKind, describeId, std::cout, std::cerr);
    if (probeCommand->parsed()) {
        if (probePoints.size() % 2 != 0) {
            std::cerr << "globaro: positions come in pairs: a b\n";
            return kExitUsage;
        }
        if ((!probeSize.empty() && !parseSize(probeSize, probe.width, probe.height)) ||
            (!probeInputSize.empty() && !parseSize(probeInputSize, probe.inputWidth, probe.inputHeight))) {
            std::cerr << "globaro: sizes are WIDTHxHEIGHT, e.g. 2048x1024\n";
            return kExitUsage;
        }
        for (std::size_t i = 0; i + 1 < probePoints.size(); i += 2) probe.points.emplace_back(probePoints[i], probePoints[i + 1]);
        return cli::runProbe(probe, std::cout, std::cerr);
    }
    return kExitUsage;
}
