#include "app/export_geometry_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "app/batch_names.h"
#include "app/descriptor_store.h"
#include "app/dialog_commands.h"
#include "app/exit_status.h"
#include "app/filter_host.h"
#include "app/image_io.h"
#include "app/module_loader.h"
#include "app/run_settings.h"
#include "export/geometry_export.h"
#include "platform/checked_file.h"
#include "projection/catalogue.h"
#include "projection/output_mapping.h"
#include "settings/settings_fields.h"

namespace globaro::cli {

namespace {

namespace fs = std::filesystem;

struct GeometryOptions {
    std::string input, output;
    std::optional<std::int64_t> faceSize;
    bool quiet = false;
    RunSettingsOptions run;
};

// Files that take their names together: each is written complete under a
// hidden name beside its target, and only when all of them are ready do
// they move into place. Whatever has not moved is removed.
class StagedFiles {
public:
    ~StagedFiles() {
        for (const Entry& e : entries_) std::remove(e.staged.c_str());
    }
    // The hidden name to write `target` under.
    std::string stage(const std::string& target) {
        entries_.push_back({partialPathFor(target).string(), target});
        return entries_.back().staged;
    }
    // A reason given for a hidden name, told of its target instead.
    std::string aboutTargets(std::string reason) const {
        for (const Entry& e : entries_)
            if (const auto at = reason.find(e.staged); !e.staged.empty() && at != std::string::npos)
                reason.replace(at, e.staged.size(), e.target);
        return reason;
    }
    bool publish(std::string& error) {
        for (Entry& e : entries_) {
            if (std::rename(e.staged.c_str(), e.target.c_str()) != 0) {
                error = "cannot write \"" + e.target + "\": " + std::strerror(errno);
                return false;
            }
            e.staged.clear();
        }
        return true;
    }

private:
    struct Entry {
        std::string staged, target;
    };
    std::vector<Entry> entries_;
};

bool writeText(const std::string& path, const std::string& text, std::string& error) {
    CheckedFile file;
    if (!file.create(path, error)) return false;
    file.writeAt(text.data(), text.size(), 0);
    return file.commit(error, &cancelRequested());
}

// One of the four files may be written at `target`: it is not the input
// (refused as the command line's fault), its folder takes new files, and it
// is not a device or a folder. Returns 0 or the exit status.
int checkTarget(const std::string& target, const std::string& input, std::string& error) {
    if (identity(target) == identity(input)) {
        error = "\"" + target + "\" would overwrite the input image";
        return kExitUsage;
    }
    if (!checkWritableTarget(target, error)) return kExitFailure;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = "cannot write \"" + target + "\": it is not a plain file";
        return kExitFailure;
    }
    return 0;
}

// Renders the net of `settings` into `canvas` from `source` through the
// filter module, as an editor's run would.
bool renderTexture(const std::string& modulePath, SettingsRecord& settings, const GeometryOptions& o,
                   const Document& source, Document& canvas, std::string& error) {
    LoadedModule module;
    if (!loadModule(modulePath, module, error)) return false;
    if (!moduleAcceptsImageMode(module.properties, canvas.imageMode(), error)) return false;
    DescriptorStore store;
    const std::int16_t playInfo = o.run.dialog.value_or(false) ? plugInDialogDisplay : plugInDialogDontDisplay;
    if (!offerSettingsDescriptor(settings, playInfo, store, error)) return false;
    HostOptions options;
    options.showProgress = !o.quiet;
    options.descriptorParameters = &store.parameters();
    options.source = &source;
    options.restoreOnFailure = false;
    FilterHost host(canvas, options);
    const RunReport report = host.run(module.entry, false);
    if (report.result != noErr) {
        error = "the filter stopped (result " + std::to_string(report.result) + "); nothing was written";
        return false;
    }
    return true;
}

int exportGeometry(const GeometryOptions& o, const std::string& modulePath, std::string& error) {
    auto settings = std::make_unique<SettingsRecord>();
    if (!readRunSettings(o.run, *settings, error)) return kExitFailure;
    const FieldRange sizes = findSettingsField("faceSize")->range;
    const std::int64_t side = o.faceSize.value_or(settings->faceSize);
    if (side < sizes.lo || side > sizes.hi) {
        error = "--face-size wants " + std::to_string(static_cast<int>(sizes.lo)) + ".." +
                std::to_string(static_cast<int>(sizes.hi)) + " pixels, got " + std::to_string(side);
        return kExitUsage;
    }

    // The solid, before anything is read or written.
    const ProjectionId id = geometryExportProjection(settings->outputProjection);
    const std::string named = "output " + std::to_string(id) + " \"" + std::string(outputProjectionName(id)) + "\"";
    if (!hasExportableGeometry(id) || !outputIsDrawn(id)) {
        error = named + " is not a solid with a net; geometry is exported from polyhedral outputs";
        return kExitUsage;
    }
    const GeometryModel model = buildGeometryModel(id);
    if (model == nullptr) {
        error = "not enough memory for the solid of " + named;
        return kExitFailure;
    }
    const int triangles = geometryTriangleCount(*model);
    if (triangles == 0) {
        error = named + " has no faces to export";
        return kExitUsage;
    }

    std::string extension = fs::path(o.output).extension().string();
    std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return std::tolower(c); });
    if (extension != ".obj") {
        error = "cannot write \"" + o.output + "\": the geometry goes to a file named NAME.obj";
        return kExitUsage;
    }
    const GeometryPaths paths = geometryPaths(o.output);
    for (const std::string* target : {&paths.obj, &paths.mtl, &paths.stl, &paths.texture})
        if (const int status = checkTarget(*target, o.input, error); status != 0) return status;
    if (!checkImageTarget(paths.texture, error)) return kExitFailure;

    // The texture: the net without glue tabs, square, as the model lays it out.
    Document source, canvas;
    if (!loadDocument(o.input, source, error)) return kExitFailure;
    const auto s = static_cast<std::int32_t>(side);
    if (!makeDocument(canvas, s, s, source.colorPlanes, true, source.depth, error)) return kExitFailure;
    settings->outputProjection = id;
    settings->tabs = 0.0f;
    settings->tabsInteger = 0;
    // The run replaces the cached settings and the dot map; damaged ones are kept aside first.
    setAsideDamagedState(std::cerr);
    const bool rendered = renderTexture(modulePath, *settings, o, source, canvas, error);
    if (cancelRequested().load()) return kExitInterrupted;
    if (!rendered) return kExitFailure;

    std::time_t now = std::time(nullptr);
    std::tm when{};
    localtime_r(&now, &when);
    const std::string base = geometryBaseName(paths.obj);
    StagedFiles staged;
    if (!saveDocument(staged.stage(paths.texture), canvas, 8, error, false) ||
        !writeText(staged.stage(paths.obj), writeObj(model.get(), base, when), error) ||
        !writeText(staged.stage(paths.stl), writeStl(model.get(), outputProjectionName(id)), error) ||
        !writeText(staged.stage(paths.mtl), writeMtl(base), error)) {
        error = staged.aboutTargets(error);
        return cancelRequested().load() ? kExitInterrupted : kExitFailure;
    }
    if (cancelRequested().load()) return kExitInterrupted;
    if (!staged.publish(error)) return kExitFailure;
    if (!o.quiet)
        std::cout << "wrote " << paths.obj << ", " << paths.mtl << ", " << paths.stl << " and " << paths.texture << " ("
                  << outputProjectionName(id) << ", " << triangles << " triangles, texture " << s << " x " << s << ")"
                  << std::endl;
    return 0;
}

}  // namespace

void addGeometryExports(CLI::App& exportCommand, const ExportContext& context, std::vector<ExportKind>& kinds) {
    auto o = std::make_shared<GeometryOptions>();
    auto* command = exportCommand.add_subcommand(
        "geometry",
        "The solid of a polyhedral output: OUT.obj with OUT.mtl and its texture OUT.jpg (the net without glue "
        "tabs), and OUT.stl");
    command->add_option("input", o->input, "Input image")->required();
    command->add_option("output", o->output, "The OBJ file to write (NAME.obj)")->required();
    command->add_option("--face-size", o->faceSize, "Side of the square texture in pixels (default: the settings')");
    command->add_flag("--quiet", o->quiet, "No progress or summary");
    addRunSettingsOptions(*command, o->run);
    const std::string* modulePath = context.modulePath;
    kinds.push_back({command, [o, modulePath] {
                         std::string error;
                         int status = kExitFailure;
                         try {
                             status = exportGeometry(*o, *modulePath, error);
                         } catch (const std::bad_alloc&) {
                             error = "not enough memory to export \"" + o->input + "\"";
                         } catch (const std::exception& e) {
                             error = "cannot export \"" + o->input + "\": " + e.what();
                         }
                         if (status == kExitInterrupted) error = "stopped; nothing was written";
                         if (status != 0) std::cerr << "globaro: " << error << "\n";
                         return status;
                     }});
}

}  // namespace globaro::cli
