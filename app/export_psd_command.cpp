#include "app/export_psd_command.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "app/batch_names.h"
#include "app/cube_face_view.h"
#include "app/descriptor_store.h"
#include "app/dialog_commands.h"
#include "app/document.h"
#include "app/exit_status.h"
#include "app/filter_host.h"
#include "app/image_io.h"
#include "app/module_loader.h"
#include "app/run_settings.h"
#include "app/size_text.h"
#include "export/iptc.h"
#include "export/net_faces.h"
#include "export/psd_writer.h"
#include "platform/checked_file.h"
#include "projection/catalogue.h"
#include "render/render_session.h"
#include "settings/settings_fields.h"

namespace globaro::cli {
namespace {

namespace fs = std::filesystem;

struct PsdCommand {
    std::string input, output;
    std::string size;      // psd: WIDTHxHEIGHT
    std::string cubeSide;  // cube: pixels per face
    std::string faceSize;  // faces: pixels across the largest face
    bool separate = false;
    bool quiet = false;
    RunSettingsOptions run;
    globaro::ExportKind kind = kExportResultPsd;
    const ExportContext* context = nullptr;
};

// A whole number of pixels for one side, 1..kPsbMaxSide.
bool parseSide(const std::string& text, std::int32_t& side) { return parseWholeNumber(text, 1, kPsbMaxSide, side); }

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
    extras.exifData = buildExifBlockNow();
    return extras;
}

int writeSeries(const PsdCommand& c, const LayerSet& set, const SettingsRecord& settings, const LayerSource& layers);

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
    } else if (!c.size.empty() && !parsePixelSize(c.size, kPsbMaxSide, false, width, height)) {
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
    set.output = c.kind == kExportCubeMap ? kRectilinearOutput : settings.outputProjection;

    // The runs replace the cached settings and the dot map; damaged ones are kept aside first.
    setAsideDamagedState(std::cerr);
    LayerRenderer renderer(module, source, !c.quiet);
    const LayerSource layers = [&](int number, LayerPicture& picture, std::string& why) {
        RunSettingsOptions run = c.run;
        if (c.kind == kExportCubeMap) {
            const std::optional<FaceTurn> turn =
                cubeFaceViewTurn(number, {settings.latitude, settings.longitude, settings.spin});
            if (!turn) {
                why = "the view's turn cannot be carried to the face \"" + layerName(set, number) + "\"";
                return false;
            }
            run.output = kRectilinearOutput;
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
    return writeSeries(c, set, settings, layers);
}

// The faces of the output's net, each rendered from the input just before
// it is written (through the render library, in this process: a face is a
// window of the net that the filter's own runs cannot render on its own).
int runFacesExport(PsdCommand& c) {
    std::string error;
    const std::string cannot = "cannot write \"" + c.output + "\": ";
    auto settings = std::make_unique<SettingsRecord>();
    if (!readRunSettings(c.run, *settings, error)) return fail(error);
    const FieldRange sizes = findSettingsField("faceSize")->range;
    std::int32_t faceSize = settings->faceSize;
    if (!c.faceSize.empty() && (!parseSide(c.faceSize, faceSize) || faceSize < sizes.lo || faceSize > sizes.hi))
        return fail(cannot + "--face-size wants " + std::to_string(static_cast<int>(sizes.lo)) + ".." +
                        std::to_string(static_cast<int>(sizes.hi)) + " pixels, got \"" + c.faceSize + "\"",
                    kExitUsage);
    const ProjectionId id =
        settings->outputProjection == kSpecialRenderProjection ? settings->innerProjection : settings->outputProjection;
    NetFaceLayout layout;
    // An output without faces cannot draw this export at all.
    if (const FaceLayoutResult laid = layOutNetFaces(id, faceSize, layout, error); laid != FaceLayoutResult::kOk)
        return fail(cannot + error, laid == FaceLayoutResult::kNoFaces ? kExitUsage : kExitFailure);
    if (!checkWritableTarget(c.output, error)) return fail(error);
    if (identity(c.output) == identity(c.input)) return fail(cannot + "it is the input image", kExitUsage);

    Document source;
    if (!loadDocument(c.input, source, error)) return fail(error);
    RenderSession session;
    const SourceImageView view{source.pixels.data(), source.width,
                               source.height,        static_cast<std::ptrdiff_t>(source.rowBytes()),
                               source.planes(),      source.depth};
    if (session.beginInput(source.width, source.height, pyramidStorageFor(source.depth)) != kRenderOk ||
        !session.storeInput(view, 0, 0) || session.finishInput() != kRenderOk)
        return fail("cannot read \"" + c.input + "\": not enough memory to prepare it");
    settings->outputProjection = id;

    LayerSet set;
    set.layout = kExportPolyFaces;
    set.layerCount = static_cast<int>(layout.faces.size());
    set.width = layout.width;
    set.height = layout.height;
    set.bytesPerChannel = source.bytesPerSample();
    set.output = id;
    std::vector<std::uint8_t> pixels;
    const LayerSource layers = [&](int number, LayerPicture& picture, std::string& why) {
        const NetFaceWindow& face = layout.faces[static_cast<std::size_t>(number - 1)];
        if (!c.quiet)
            std::cerr << "layer " << number << " of " << set.layerCount << ": \"" << layerName(set, number) << "\" (at "
                      << face.left << ", " << face.top << " of the " << layout.netSide << " x " << layout.netSide
                      << " net)\n";
        pixels.clear();
        pixels.shrink_to_fit();  // one face held at a time
        if (!renderNetFace(session, *settings, layout, number - 1, source.depth, pixels, &cancelRequested(), why))
            return false;
        picture = {pixels.data(), static_cast<std::size_t>(set.width) * 4 * set.bytesPerChannel, 3, true};
        return true;
    };
    return writeSeries(c, set, *settings, layers);
}

// One layered file, or one file per layer; with several files, those
// already written go again when a later one fails.
int writeSeries(const PsdCommand& c, const LayerSet& set, const SettingsRecord& settings, const LayerSource& layers) {
    std::string error;
    ExportJob job;
    job.cancel = &cancelRequested();
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
        const int cubeFace = c.separate && set.layout == kExportCubeMap ? f + 1 : 0;
        int result = kPsdOk;
        try {
            result = writeLayeredPsd(path, part, layers, keywordExtras(settings, part, cubeFace), job, error);
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

bool isLayeredDocumentPath(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    std::ranges::transform(extension, extension.begin(), [](unsigned char ch) { return std::tolower(ch); });
    return extension == ".psd" || extension == ".psb";
}

bool writeResultDocument(const std::string& path, const Document& doc, std::string& error) {
    std::string extension = fs::path(path).extension().string();
    std::ranges::transform(extension, extension.begin(), [](unsigned char ch) { return std::tolower(ch); });
    LayerSet set;
    set.layout = kExportResultPsd;
    set.width = doc.width;
    set.height = doc.height;
    set.bytesPerChannel = doc.bytesPerSample();
    set.large = extension == ".psb";
    const LayerSource layer = [&](int, LayerPicture& picture, std::string&) {
        picture = {doc.pixels.data(), doc.rowBytes(), doc.colorPlanes, doc.hasAlpha};
        return true;
    };
    return writeSingleDocument(path, set, layer, doc.keywords, ExportPicture{}, error);
}

bool writeSingleDocument(const std::string& path, const LayerSet& set, const LayerSource& layers, KeywordList keywords,
                         const ExportPicture& picture, std::string& error) {
    addExportKeywords(keywords, picture, kKeywordJobPlain);
    PsdExtras extras;
    extras.keywordResource = buildIptcResource(keywords, false);
    extras.exifData = buildExifBlockNow();
    ExportJob job;
    job.cancel = &cancelRequested();
    return writeLayeredPsd(path, set, layers, extras, job, error) == kPsdOk;
}

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

    auto faces = std::make_shared<PsdCommand>();
    faces->context = &context;
    faces->kind = kExportPolyFaces;
    CLI::App* facesCommand =
        addCommand(exportCommand, "faces",
                   "The faces of the output's net (\"Poly faces.psd\") as layers \"face 1\" ... of one document, "
                   "all at one scale, without glue tabs",
                   *faces);
    facesCommand->add_option("--face-size", faces->faceSize, "Pixels across the largest face (default: the settings')");
    kinds.push_back({facesCommand, [faces] {
                         try {
                             return runFacesExport(*faces);
                         } catch (const std::bad_alloc&) {
                             return fail("not enough memory to export the faces of \"" + faces->input + "\"");
                         }
                     }});
}

}  // namespace globaro::cli
