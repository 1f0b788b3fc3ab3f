#include "app/export_psd_command.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "app/batch_names.h"
#include "app/descriptor_store.h"
#include "app/dialog_commands.h"
#include "app/document.h"
#include "app/exit_status.h"
#include "app/filter_host.h"
#include "app/image_io.h"
#include "app/module_loader.h"
#include "app/run_settings.h"
#include "export/iptc.h"
#include "export/psd_writer.h"
#include "geometry/sphere_frame.h"
#include "platform/checked_file.h"
#include "projection/catalogue.h"

namespace globaro::cli {
namespace {

namespace fs = std::filesystem;

// The rectilinear output that draws one face of a cube: a square view of 90
// degrees, turned to the face. By cube face number 1..6 (down, up, left,
// back, right, front), the turn that shows the face exactly as the "Unity 6
// frames" strip shows it.
constexpr ProjectionId kRectilinear = 14;
struct FaceTurn {
    float latitude, longitude, spin;
};
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

struct PsdCommand {
    std::string input, output;
    std::string size;      // psd: WIDTHxHEIGHT
    std::string cubeSide;  // cube: pixels per face
    bool separate = false;
    bool quiet = false;
    RunSettingsOptions run;
    globaro::ExportKind kind = kExportResultPsd;
    const ExportContext* context = nullptr;
};

// A whole number of pixels for one side, 1..kPsbMaxSide.
bool parseSide(const std::string& text, std::int32_t& side) {
    if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const long value = std::stol(text);
    if (value < 1 || value > kPsbMaxSide) return false;
    side = static_cast<std::int32_t>(value);
    return true;
}

bool parseSize(const std::string& text, std::int32_t& width, std::int32_t& height) {
    const std::size_t x = text.find_first_of("xX");
    return x != std::string::npos && parseSide(text.substr(0, x), width) && parseSide(text.substr(x + 1), height);
}

// Renders pictures of one source image with the module loaded once.
class LayerRenderer {
public:
    LayerRenderer(const LoadedModule& module, const Document& source, bool showProgress)
        : module_(module), source_(source), showProgress_(showProgress) {}

    // Renders `run` on a fresh transparent canvas of the given size (the
    // previous picture is released first, so that one is held at a time).
    bool render(const RunSettingsOptions& run, std::int32_t width, std::int32_t height, std::string& error) {
        canvas_ = Document{};
        if (!makeDocument(canvas_, width, height, source_.colorPlanes, true, source_.depth, error)) return false;
        DescriptorStore store;
        if (!offerRunDescriptor(run, store, error)) return false;
        HostOptions options;
        options.showProgress = showProgress_;
        options.descriptorParameters = &store.parameters();
        options.source = &source_;
        options.restoreOnFailure = false;
        FilterHost host(canvas_, options);
        const RunReport report = host.run(module_.entry, false);
        if (report.result == noErr) return true;
        error = report.result == userCanceledErr ? "stopped"
                                                 : "the filter stopped with error " + std::to_string(report.result);
        return false;
    }

    LayerPicture picture() const {
        return {canvas_.pixels.data(), canvas_.rowBytes(), canvas_.colorPlanes, canvas_.hasAlpha};
    }

private:
    const LoadedModule& module_;
    const Document& source_;
    bool showProgress_;
    Document canvas_;
};

// The file of one layer when each goes to its own: the base name and the
// layer's name ("Cube map_d.psd", "Result Layer 1.psd").
std::string separatePath(const std::string& base, const std::string& name) {
    const fs::path path(base);
    const std::string joiner = !name.empty() && name[0] == '_' ? "" : " ";
    return (path.parent_path() / (path.stem().string() + joiner + name + path.extension().string())).string();
}

int fail(const std::string& error, int status = kExitFailure) {
    std::cerr << "globaro: " << error << "\n";
    return status;
}

// The keyword record every PSD carries: the settings' words and those of the
// export (a cube face's own words when each face has a file of its own).
PsdExtras keywordExtras(SettingsRecord settings, const LayerSet& set, int cubeFace) {
    settings.exportKind = set.layout;
    KeywordList keywords;
    addSettingsKeywords(keywords, settings);
    addExportKeywords(keywords, {set.layout, set.output, set.bytesPerChannel, cubeFace}, kKeywordJobPlain);
    PsdExtras extras;
    extras.keywordResource = buildIptcResource(keywords, false);
    return extras;
}

int runPsdExport(PsdCommand& c) {
    std::string error;
    const std::string cannot = "cannot write \"" + c.output + "\": ";
    std::int32_t width = 0, height = 0;
    if (c.kind == kExportCubeMap) {
        if (!parseSide(c.cubeSide, width))
            return fail(
                cannot + "--cube-side wants 1.." + std::to_string(kPsbMaxSide) + " pixels, got \"" + c.cubeSide + "\"",
                kExitUsage);
        height = width;
        if (c.run.output || c.run.fov)
            return fail(cannot + "the faces of a cube map are 90-degree views; --output and --fov are not taken",
                        kExitUsage);
    } else if (!c.size.empty() && !parseSize(c.size, width, height)) {
        return fail(cannot + "--size wants WIDTHxHEIGHT with sides of 1.." + std::to_string(kPsbMaxSide) +
                        " pixels, got \"" + c.size + "\"",
                    kExitUsage);
    }
    if (!checkWritableTarget(c.output, error)) return fail(error);
    if (identity(c.output) == identity(c.input)) return fail(cannot + "it is the input image", kExitUsage);
    SettingsRecord settings{};
    if (!buildRunSettings(c.run, settings, error)) return fail(error);

    LoadedModule module;
    if (!loadModule(*c.context->modulePath, module, error)) return fail(error);
    Document source;
    if (!loadDocument(c.input, source, error)) return fail(error);
    if (!moduleAcceptsImageMode(module.properties, source.imageMode(), error)) return fail(error);
    if (width == 0) {
        width = source.width;
        height = source.height;
    }

    LayerSet set;
    set.layout = c.kind;
    set.layerCount = c.kind == kExportCubeMap ? 6 : 1;
    set.width = width;
    set.height = height;
    set.bytesPerChannel = source.bytesPerSample();
    set.output = c.kind == kExportCubeMap ? kRectilinear : settings.outputProjection;

    // The runs replace the cached settings and the dot map; damaged ones are kept aside first.
    setAsideDamagedState(std::cerr);
    LayerRenderer renderer(module, source, !c.quiet);
    const LayerSource layers = [&](int number, LayerPicture& picture, std::string& why) {
        RunSettingsOptions run = c.run;
        if (c.kind == kExportCubeMap) {
            // The face's turn, then the view's own.
            const FaceTurn& face = kCubeFaceTurns[number - 1];
            const Mat3 both = matMul(rotationFromAngles(face.longitude, face.latitude, face.spin).product,
                                     rotationFromAngles(settings.longitude, settings.latitude, settings.spin).product);
            const std::optional<FaceTurn> turn = anglesOf(both);
            if (!turn) {
                why = "the view's turn cannot be carried to the face \"" + layerName(set, number) + "\"";
                return false;
            }
            run.output = kRectilinear;
            run.fov = 90.0f;
            run.latitude = turn->latitude;
            run.longitude = turn->longitude;
            run.spin = turn->spin;
        }
        if (!c.quiet)
            std::cerr << "layer " << number << " of " << set.layerCount << ": \"" << layerName(set, number) << "\"\n";
        if (!renderer.render(run, set.width, set.height, why)) return false;
        picture = renderer.picture();
        return true;
    };
    ExportJob job;
    job.cancel = &cancelRequested();

    // One layered file, or one file per layer; with several files, those
    // already written go again when a later one fails.
    std::vector<std::string> written;
    const int files = c.separate ? set.layerCount : 1;
    for (int f = 0; f < files; ++f) {
        LayerSet part = set;
        std::string path = c.output;
        if (c.separate) {
            part.layerCount = 1;
            part.firstLayer = f + 1;
            part.seriesLayers = set.layerCount;
            path = separatePath(c.output, layerName(set, f + 1));
        }
        int result = kPsdOk;
        try {
            result =
                writeLayeredPsd(path, part, layers, keywordExtras(settings, part, c.separate ? f + 1 : 0), job, error);
        } catch (const std::bad_alloc&) {
            result = kPsdNoMemory;
            error = "cannot write \"" + path + "\": not enough memory";
        }
        if (result != kPsdOk) {
            for (const std::string& done : written) fs::remove(done);
            std::cerr << "globaro: " << error << "\n";
            return result == kPsdCancelled ? kExitInterrupted : kExitFailure;
        }
        written.push_back(path);
    }
    if (!c.quiet)
        for (const std::string& path : written)
            std::cout << "wrote " << path << " (" << (c.separate ? 1 : set.layerCount) << " layer"
                      << (c.separate || set.layerCount == 1 ? "" : "s") << " of " << set.width << " x " << set.height
                      << ", " << 8 * set.bytesPerChannel << "-bit"
                      << (needsLargeDocument(set) ? ", large document format" : "") << ")" << std::endl;
    return 0;
}

CLI::App* addCommand(CLI::App& parent, const char* name, const char* help, PsdCommand& c) {
    CLI::App* command = parent.add_subcommand(name, help);
    command->add_option("input", c.input, "Input image")->required();
    command->add_option("output", c.output, "Photoshop document to write (.psd)")->required();
    command->add_flag("--separate", c.separate, "One file per layer, named after the output and the layer");
    command->add_flag("--quiet", c.quiet, "No progress or summary");
    addRunSettingsOptions(*command, c.run);
    return command;
}

}  // namespace

void addPsdExports(CLI::App& exportCommand, const ExportContext& context, std::vector<ExportKind>& kinds) {
    auto psd = std::make_shared<PsdCommand>();
    psd->context = &context;
    CLI::App* psdCommand =
        addCommand(exportCommand, "psd", "The result as a layered Photoshop document of one layer", *psd);
    psdCommand->add_option("--size", psd->size, "WIDTHxHEIGHT of the result (default: the input's size)");
    kinds.push_back({psdCommand, [psd] { return runPsdExport(*psd); }});

    auto cube = std::make_shared<PsdCommand>();
    cube->context = &context;
    cube->kind = kExportCubeMap;
    CLI::App* cubeCommand = addCommand(
        exportCommand, "cube", "The six faces of a cube map as layers _d, _u, _l, _b, _r, _f of one document", *cube);
    cubeCommand->add_option("--cube-side", cube->cubeSide, "Pixels per side of each face")->required();
    kinds.push_back({cubeCommand, [cube] { return runPsdExport(*cube); }});
}

}  // namespace globaro::cli
