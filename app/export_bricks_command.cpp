#include "app/export_bricks_command.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/batch_names.h"
#include "app/exit_status.h"
#include "app/export_psd_command.h"
#include "app/filter_host.h"
#include "app/image_io.h"
#include "app/run_settings.h"
#include "export/brick_sampling.h"
#include "export/brick_sphere.h"
#include "export/iptc.h"
#include "export/psd_writer.h"
#include "platform/checked_file.h"
#include "settings/settings_record.h"

namespace globaro::cli {
namespace {

constexpr std::int32_t kMinLayers = 3;

struct BrickOptions {
    std::string input, output, stats, planFolder, planDocument;
    std::optional<std::int32_t> layers, colors;
    bool plates = false, diffusion = false, quiet = false;
    RunSettingsOptions run;
};

// The progress of the colouring on a terminal, as a render draws its own.
void drawProgress(double fraction) {
    if (!isatty(fileno(stderr))) return;
    std::fprintf(stderr, "\r  colouring the bricks %3d%%", static_cast<int>(fraction * 100.0 + 0.5));
    if (fraction >= 1.0) std::fputc('\n', stderr);
    std::fflush(stderr);
}

// The command's own brick options over the run's settings; false when the
// result is out of range.
bool applyBrickOptions(const BrickOptions& o, SettingsRecord& settings, std::string& error) {
    if (o.layers) settings.brickLayers = *o.layers;
    if (o.colors) settings.brickColorset = *o.colors;
    if (o.plates) settings.brickPlates = 1;
    if (o.diffusion) settings.brickDiffusion = 1;
    if (settings.brickLayers < kMinLayers || settings.brickLayers > kMaxBrickLayers) {
        error = "--layers wants " + std::to_string(kMinLayers) + " to " + std::to_string(kMaxBrickLayers) +
                " layers, got " + std::to_string(settings.brickLayers);
        return false;
    }
    if (settings.brickColorset <= 0 || settings.brickColorset > 4095) {
        error = "--colors wants a mask of 1 to 4095 (bit k allows colour k + 1), got " +
                std::to_string(settings.brickColorset);
        return false;
    }
    return true;
}

// Every file the export writes can be created, and none of them is the input
// or another of them (refused as the command line's fault). Returns 0 or the
// exit status.
int checkTargets(const BrickOptions& o, std::string& error) {
    std::vector<std::pair<std::string, std::string>> seen = {{identity(o.input), "the input"}};
    if (!o.planDocument.empty() && !cli::isLayeredDocumentPath(o.planDocument)) {
        error = "cannot write \"" + o.planDocument + "\": the plan document is named NAME.psd (or NAME.psb)";
        return kExitUsage;
    }
    for (const std::string* path : {&o.output, &o.stats, &o.planDocument}) {
        if (path->empty()) continue;
        const std::string id = identity(*path);
        for (const auto& [other, what] : seen)
            if (id == other) {
                error = "\"" + *path + "\" would overwrite " + what;
                return kExitUsage;
            }
        if (!checkWritableTarget(*path, error)) return kExitFailure;
        // A device or a pipe is not replaced by a file.
        std::error_code ec;
        if (std::filesystem::exists(*path, ec) && !std::filesystem::is_regular_file(*path, ec)) {
            error = "cannot write \"" + *path + "\": it is not a regular file";
            return kExitFailure;
        }
        seen.emplace_back(id, "\"" + *path + "\"");
    }
    if (o.planFolder.empty()) return 0;
    std::error_code ec;
    if (std::filesystem::exists(o.planFolder, ec) && !std::filesystem::is_directory(o.planFolder, ec)) {
        error = "the plan folder \"" + o.planFolder + "\" is not a folder";
        return kExitFailure;
    }
    const std::filesystem::path probe = std::filesystem::path(o.planFolder) / "layer.png";
    const std::filesystem::path where =
        std::filesystem::exists(o.planFolder, ec) ? probe : std::filesystem::path(o.planFolder);
    if (!checkWritableTarget(where.string(), error)) {
        error = "cannot write the plan into \"" + o.planFolder + "\": " + error;
        return kExitFailure;
    }
    return 0;
}

// One picture per layer into the plan folder; on failure, removes what it
// wrote (and the folder when it made it).
bool writePlan(const BrickSphere& sphere, const std::string& folder, std::string& error) {
    std::error_code ec;
    const bool made = std::filesystem::create_directory(folder, ec);
    if (ec) {
        error = "cannot create the plan folder \"" + folder + "\": " + ec.message();
        return false;
    }
    std::vector<std::filesystem::path> written;
    auto undo = [&] {
        for (const auto& path : written) std::filesystem::remove(path, ec);
        if (made) std::filesystem::remove(folder, ec);
        return false;
    };
    const std::int32_t side = brickPlanSide(sphere);
    std::vector<std::uint8_t> pixels;
    for (std::int32_t layer = 0; layer < sphere.layers; ++layer) {
        if (cancelRequested().load()) return undo();
        Document picture;
        if (!makeDocument(picture, side, side, 3, true, 8, error)) return undo();
        brickPlanLayer(sphere, layer, pixels);
        std::copy(pixels.begin(), pixels.end(), picture.pixels.data());
        const std::filesystem::path path = std::filesystem::path(folder) / (brickPlanLayerName(sphere, layer) + ".png");
        if (!saveDocument(path.string(), picture, 8, error)) return undo();
        written.push_back(path);
    }
    return true;
}

// The plan as one layered document: a layer per brick layer, bottom first,
// the first at full opacity and the others faded.
bool writePlanDocument(const BrickSphere& sphere, const SettingsRecord& settings, const std::string& path,
                       std::string& error) {
    LayerSet set;
    set.layout = kExportBrickSphere;
    set.layerCount = sphere.layers;
    set.width = set.height = brickPlanSide(sphere);
    set.output = settings.outputProjection;
    std::vector<std::uint8_t> pixels;
    const LayerSource layers = [&](int number, LayerPicture& picture, std::string&) {
        brickPlanLayer(sphere, number - 1, pixels);
        picture = {pixels.data(), static_cast<std::size_t>(set.width) * 4, 3, true};
        return true;
    };
    SettingsRecord words = settings;
    words.exportKind = kExportBrickSphere;
    KeywordList keywords;
    addSettingsKeywords(keywords, words);
    return writeSingleDocument(path, set, layers, std::move(keywords), {kExportBrickSphere, 0, 1, 0}, error);
}

int runBricks(const BrickOptions& o) {
    std::string error;
    auto fail = [&](int status = kExitFailure) {
        std::cerr << "globaro: " << error << "\n";
        return status;
    };
    SettingsRecord settings{};
    if (!buildRunSettings(o.run, settings, error)) return fail();
    if (!applyBrickOptions(o, settings, error)) return fail(kExitUsage);
    if (const int status = checkTargets(o, error); status != 0) return fail(status);
    Document picture;
    if (!loadDocument(o.input, picture, error)) return fail();

    BrickPictureLookup lookup;
    const SourceImageView view{picture.pixels.data(), picture.width,
                               picture.height,        static_cast<std::ptrdiff_t>(picture.rowBytes()),
                               picture.planes(),      picture.depth};
    if (!lookup.load(settings, view, settings.brickLayers, error)) {
        error = "cannot read \"" + o.input + "\": " + error;
        return fail();
    }
    BrickSphere sphere = buildBrickSphere(settings.brickLayers, settings.brickPlates != 0, settings.brickDiffusion != 0,
                                          static_cast<std::uint32_t>(settings.brickColorset));
    ExportJob job;
    job.cancel = &cancelRequested();
    if (!o.quiet) job.progress = [](double fraction, std::string_view) { drawProgress(fraction); };
    const bool coloured = colourBrickSphere(sphere, lookup.asLookup(), job);

    const std::time_t now = std::time(nullptr);
    std::tm when{};
    localtime_r(&now, &when);
    CheckedFile model, stats;
    if (coloured) {
        if (!model.create(o.output, error)) return fail();
        if (!writeLdraw(sphere, when, model)) {
            error = model.failureReason();
            return fail();
        }
        if (!o.stats.empty()) {
            if (!stats.create(o.stats, error)) return fail();
            if (!writeSphereStatistics(sphere, stats)) {
                error = stats.failureReason();
                return fail();
            }
        }
    }
    // The plan document goes first: it is the one file to take back when a
    // later one fails.
    bool planDocumentIn = false;
    auto takeBackPlanDocument = [&] {
        std::error_code ec;
        if (planDocumentIn) std::filesystem::remove(o.planDocument, ec);
    };
    if (coloured && !o.planDocument.empty()) {
        planDocumentIn = writePlanDocument(sphere, settings, o.planDocument, error);
        if (!planDocumentIn) return fail(cancelRequested().load() ? kExitInterrupted : kExitFailure);
    }
    if (!coloured || (!o.planFolder.empty() && !writePlan(sphere, o.planFolder, error))) {
        takeBackPlanDocument();
        if (!cancelRequested().load()) return fail();
        error = "stopped; \"" + o.output + "\" was not written";
        return fail(kExitInterrupted);
    }
    const bool modelIn = model.commit(error, &cancelRequested());
    if (!modelIn || (!o.stats.empty() && !stats.commit(error, &cancelRequested()))) {
        // The model stays only when its page could follow it.
        std::error_code ec;
        if (modelIn) std::filesystem::remove(o.output, ec);
        takeBackPlanDocument();
        return fail(cancelRequested().load() ? kExitInterrupted : kExitFailure);
    }
    if (!o.quiet) {
        int bricks = 0;
        for (int code = 1; code < kBrickColorCount; ++code) bricks += sphere.total[static_cast<std::size_t>(code)];
        std::cout << "wrote " << o.output << " (" << bricks << (sphere.plates ? " plates" : " bricks") << " in "
                  << sphere.layers << " layers)\n";
        if (!o.stats.empty()) std::cout << "wrote " << o.stats << " (the statistics)\n";
        if (!o.planFolder.empty())
            std::cout << "wrote the plan into " << o.planFolder << " (" << sphere.layers << " pictures)\n";
        if (!o.planDocument.empty())
            std::cout << "wrote " << o.planDocument << " (the plan, " << sphere.layers << " layers)\n";
    }
    return 0;
}

}  // namespace

void addBrickExports(CLI::App& exportCommand, const ExportContext&, std::vector<ExportKind>& kinds) {
    auto o = std::make_shared<BrickOptions>();
    CLI::App* bricks = exportCommand.add_subcommand(
        "bricks", "The input as a sphere of toy bricks: an LDraw model (.ldr), its statistics and its plan");
    bricks->add_option("input", o->input, "Input image")->required();
    bricks->add_option("output", o->output, "LDraw model to write (.ldr)")->required();
    bricks->add_option("--layers", o->layers, "Layers of bricks (3..150; default 20 or the preset's)");
    bricks->add_flag("--plates", o->plates, "Build with plates instead of bricks");
    bricks->add_option("--colors", o->colors,
                       "Colours allowed, a mask of bits 1 black, 2 blue, 4 green, 8 red, 16 white, 32 yellow, "
                       "64 light grey, 128 dark grey, 256 brown, 512 sand red, 1024 tan, 2048 green-gray "
                       "(default 63)");
    bricks->add_flag("--diffusion", o->diffusion, "Diffuse the colours' errors over the surface");
    bricks->add_option("--stats", o->stats, "Also write the statistics page (.html)");
    bricks->add_option("--plan", o->planFolder, "Also write the plan, one PNG picture per layer, into this folder");
    bricks->add_option("--plan-psd", o->planDocument,
                       "Also write the plan as one Photoshop document, a layer per brick layer (.psd)");
    bricks->add_flag("--quiet", o->quiet, "No progress or summary");
    addRunSettingsOptions(*bricks, o->run);
    kinds.push_back({bricks, [o] {
                         try {
                             return runBricks(*o);
                         } catch (const std::bad_alloc&) {
                             std::cerr << "globaro: not enough memory for the bricks of \"" << o->input << "\"\n";
                             return kExitFailure;
                         }
                     }});
}

}  // namespace globaro::cli
