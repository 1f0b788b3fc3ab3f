#include "app/export_web_command.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <set>
#include <string>

#include "app/demo_panorama.h"
#include "app/exit_status.h"
#include "app/filter_host.h"
#include "app/image_io.h"
#include "app/run_settings.h"
#include "export/export_job.h"
#include "export/html_page.h"
#include "export/iptc.h"
#include "platform/checked_file.h"
#include "projection/catalogue.h"
#include "projection/output_mapping.h"
#include "settings/memory_dots.h"
#include "settings/thumbnail.h"

namespace globaro::cli {

namespace {

namespace fs = std::filesystem;

// The pictures of a page are JPEG files of this quality.
constexpr int kPageJpegQuality = 50;
// The widths a picture may have.
constexpr int kMinPictureWidth = 16;
constexpr int kMaxPictureWidth = 1024;
// The demo panorama that stands in for a missing input.
constexpr std::int32_t kDemoWidth = 1024;
// The outputs of the page of output modes are ids 1..414.
constexpr ProjectionId kLastModeOutput = 414;

struct WebOptions {
    std::string folder;  // of the presets
    std::string page;
    std::string input;  // empty: the demo panorama
    int columns = 5;
    int width = 160;  // of a picture
    bool quiet = false;
    RunSettingsOptions run;
};

// One picture of a page: its name and the settings it is rendered with.
struct WebItem {
    std::string name;
    RunSettingsOptions run;
    bool quietSkip = false;  // an output the filter refuses is left out silently
};

// The picture as 8-bit RGB over white (the page's background).
Thumbnail overWhite(const Document& doc) {
    Thumbnail t;
    t.width = doc.width;
    t.height = doc.height;
    t.rgb.resize(static_cast<std::size_t>(doc.width) * doc.height * 3);
    const auto value = [&doc](std::int32_t x, std::int32_t y, int plane) -> float {
        const std::uint8_t* p = doc.sample(x, y, plane);
        if (doc.depth == 8) return *p / 255.0f;
        if (doc.depth == 16) return *reinterpret_cast<const std::uint16_t*>(p) / 32768.0f;
        const float f = *reinterpret_cast<const float*>(p);
        return std::isfinite(f) ? f : 0.0f;
    };
    std::uint8_t* out = t.rgb.data();
    for (std::int32_t y = 0; y < doc.height; ++y) {
        for (std::int32_t x = 0; x < doc.width; ++x) {
            const float alpha = doc.hasAlpha ? std::clamp(value(x, y, doc.colorPlanes), 0.0f, 1.0f) : 1.0f;
            for (int c = 0; c < 3; ++c) {
                const float v = std::clamp(value(x, y, doc.colorPlanes == 1 ? 0 : c), 0.0f, 1.0f);
                *out++ = static_cast<std::uint8_t>(std::lround((v * alpha + 1.0f - alpha) * 255.0f));
            }
        }
    }
    return t;
}

// A hidden folder beside the page that holds the pictures until the page is
// done; removed with whatever is left in it.
class Staging {
public:
    explicit Staging(fs::path folder) : folder_(std::move(folder)) {}
    ~Staging() {
        std::error_code ec;
        if (made_) fs::remove_all(folder_, ec);
    }
    bool make(std::string& error) {
        std::error_code ec;
        made_ = fs::create_directory(folder_, ec);
        if (!made_) error = ec.message();
        return made_;
    }
    const fs::path& folder() const { return folder_; }

private:
    fs::path folder_;
    bool made_ = false;
};

// Writes one picture into the staging folder, with its keyword record.
bool writePicture(const Document& canvas, const fs::path& path, const KeywordList& keywords, std::string& error) {
    std::vector<std::uint8_t> jpeg;
    if (!encodeThumbnailJpeg(overWhite(canvas), kPageJpegQuality, jpeg, buildIptcResource(keywords, true))) {
        error = "cannot write \"" + path.string() + "\": the picture could not be encoded";
        return false;
    }
    CheckedFile file;
    if (!file.create(path.string(), error)) return false;
    file.writeAt(jpeg.data(), jpeg.size(), 0);
    return file.commit(error, &cancelRequested());
}

// The small lines under a row: what the picture's settings show.
std::vector<std::string> notesOf(PageKind kind, const SettingsRecord& s) {
    if (kind == PageKind::kOutputModes) return {"output " + std::to_string(s.outputProjection)};
    return {std::string(outputProjectionName(s.outputProjection)),
            "from " + std::string(inputProjectionName(s.inputProjection))};
}

// Renders the pictures of `items`, puts them into "web_images" beside the
// page and writes the page. Nothing is left behind when it fails or stops.
int writePage(PageKind kind, const WebOptions& o, const std::vector<WebItem>& items, const std::string& modulePath) {
    std::string error;
    auto fail = [&error](int status) {
        std::cerr << "globaro: " << error << "\n";
        return status;
    };
    if (!checkWritableTarget(o.page, error)) return fail(kExitFailure);
    const fs::path pageFolder = fs::path(o.page).parent_path();
    const fs::path images = pageFolder / kWebImagesFolder;
    std::error_code ec;
    if (fs::exists(images, ec) && !fs::is_directory(images, ec)) {
        error = "cannot write \"" + o.page + "\": \"" + images.string() + "\" is not a folder";
        return fail(kExitFailure);
    }
    Document source;
    if (o.input.empty() ? !makeDemoPanorama(source, kDemoWidth, kDemoWidth / 2, 8, error)
                        : !loadDocument(o.input, source, error))
        return fail(kExitFailure);
    const std::int32_t width = o.width;
    const std::int32_t height = std::clamp<std::int32_t>(
        static_cast<std::int32_t>(std::lround(static_cast<double>(width) * source.height / source.width)), 1,
        kThumbnailMaxSide);
    Staging staging(pageFolder / (".web_images.partial-" + std::to_string(::getpid())));
    if (!staging.make(error)) {
        error = "cannot write \"" + o.page + "\": " + error;
        return fail(kExitFailure);
    }
    HtmlPage page(kind, o.columns, o.folder);
    if (!page.started()) {
        error = "cannot write \"" + o.page + "\": another page is being written";
        return fail(kExitFailure);
    }
    setAsideDamagedStateBeforeRuns(o.run, std::cerr);
    const bool showProgress = !o.quiet && isatty(fileno(stderr));
    std::set<std::string> names;
    std::size_t done = 0;
    for (const WebItem& item : items) {
        if (cancelRequested().load()) break;
        if (showProgress) std::fprintf(stderr, "\r  [%zu/%zu] %-40.40s", ++done, items.size(), item.name.c_str());
        auto settings = std::make_unique<SettingsRecord>();
        Document canvas;
        std::string why;
        if (!readRunSettings(item.run, *settings, why) ||
            !makeDocument(canvas, width, height, source.colorPlanes, true, source.depth, why) ||
            runFilter(canvas, modulePath, item.run, false, why, &source) != 0) {
            if (cancelRequested().load()) break;
            if (!item.quietSkip)
                std::cerr << (showProgress ? "\n" : "") << "globaro: left out \"" << item.name << "\": " << why << "\n";
            continue;
        }
        std::string name = item.name;
        for (int n = 2; !names.insert(name).second; ++n) name = item.name + " " + std::to_string(n);
        settings->exportKind = kExportThumbnail;
        KeywordList keywords;
        addSettingsKeywords(keywords, *settings);
        addExportKeywords(keywords, ExportPicture{},
                          kind == PageKind::kPresets ? kKeywordJobGallery : kKeywordJobPlain);
        if (!writePicture(canvas, staging.folder() / (name + ".jpg"), keywords, error)) {
            if (cancelRequested().load()) break;
            return fail(kExitFailure);
        }
        page.addCell({name, width, height, "", notesOf(kind, *settings)});
    }
    if (showProgress) std::fputc('\n', stderr);
    if (cancelRequested().load()) {
        error = "stopped; \"" + o.page + "\" was not written";
        return fail(kExitInterrupted);
    }
    // The pictures move into place, then the page follows them; a page that
    // cannot be written takes its pictures away again.
    const bool madeImages = fs::create_directory(images, ec);
    if (ec) {
        error = "cannot create the folder \"" + images.string() + "\": " + ec.message();
        return fail(kExitFailure);
    }
    std::vector<fs::path> placed;
    const auto takeBack = [&] {
        for (const fs::path& p : placed) fs::remove(p, ec);
        if (madeImages) fs::remove(images, ec);
    };
    for (const std::string& name : names) {
        const fs::path target = images / (name + ".jpg");
        fs::rename(staging.folder() / (name + ".jpg"), target, ec);
        if (ec) {
            error = "cannot write \"" + target.string() + "\": " + ec.message();
            takeBack();
            return fail(kExitFailure);
        }
        placed.push_back(target);
    }
    if (!page.save(o.page, error, &cancelRequested())) {
        takeBack();
        return fail(cancelRequested().load() ? kExitInterrupted : kExitFailure);
    }
    if (!o.quiet)
        std::cout << "wrote " << o.page << " (" << names.size() << " pictures in " << images.string() << ")"
                  << std::endl;
    return 0;
}

// Every *.q2q file of the folder, by name.
int runPresetsPage(const WebOptions& o, const std::string& modulePath) {
    std::error_code ec;
    if (!fs::is_directory(o.folder, ec)) {
        std::cerr << "globaro: cannot read the presets of \"" << o.folder << "\": it is not a folder\n";
        return kExitFailure;
    }
    std::vector<fs::path> presets;
    for (const auto& entry : fs::directory_iterator(o.folder, ec)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (extension == ".q2q" && entry.is_regular_file(ec)) presets.push_back(entry.path());
    }
    std::sort(presets.begin(), presets.end());
    std::vector<WebItem> items;
    for (const fs::path& preset : presets) {
        WebItem item{preset.stem().string(), o.run};
        item.run.preset = preset.string();
        items.push_back(std::move(item));
    }
    return writePage(PageKind::kPresets, o, items, modulePath);
}

// The memory dots that hold settings.
int runDotsPage(const WebOptions& o, const std::string& modulePath) {
    std::vector<WebItem> items;
    std::error_code ec;
    for (int n = 0; n < kDotCount; ++n) {
        if (!fs::is_regular_file(dotPath(n), ec)) continue;
        char name[32];
        std::snprintf(name, sizeof name, kDotNameFormatOfLoaded, n + 1);
        WebItem item{name, o.run};
        item.run.preset = dotPath(n);
        items.push_back(std::move(item));
    }
    return writePage(PageKind::kMemoryDots, o, items, modulePath);
}

// Every output that has a mapping, with the settings of the command line.
int runModesPage(const WebOptions& o, const std::string& modulePath) {
    std::vector<WebItem> items;
    for (const OutputProjectionInfo& row : outputProjections()) {
        if (row.id > kLastModeOutput || !outputIsDrawn(row.id)) continue;
        WebItem item{exportFileName(row.name), o.run, true};
        item.run.output = row.id;
        items.push_back(std::move(item));
    }
    return writePage(PageKind::kOutputModes, o, items, modulePath);
}

// Options that cannot be used; 0 when all can.
int refuseOptions(const std::string& kind, const WebOptions& o) {
    const bool eachHasSettings = kind != "modes";
    if (!o.run.record.empty() || (eachHasSettings && (!o.run.preset.empty() || !o.run.action.empty()))) {
        std::cerr << "globaro: export " << kind
                  << " takes the settings of each picture; --preset, --action and --record do not apply\n";
        return kExitUsage;
    }
    if (o.width < kMinPictureWidth || o.width > kMaxPictureWidth) {
        std::cerr << "globaro: cannot write \"" << o.page << "\": --width wants " << kMinPictureWidth << ".."
                  << kMaxPictureWidth << " pixels, got " << o.width << "\n";
        return kExitUsage;
    }
    return 0;
}

}  // namespace

void addWebExports(CLI::App& exportCommand, const ExportContext& context, std::vector<ExportKind>& kinds) {
    auto options = std::make_shared<WebOptions>();
    const auto add = [&](const char* name, const char* help, auto run) {
        CLI::App* command = exportCommand.add_subcommand(name, help);
        command->add_option("--columns", options->columns, "Pictures per row, at most 10 (default 5)")
            ->check(CLI::PositiveNumber);
        command->add_option("--width", options->width, "Width of a picture in pixels, 16..1024 (default 160)");
        command->add_flag("--quiet", options->quiet, "No progress or summary");
        addRunSettingsOptions(*command, options->run);
        kinds.push_back({command, [options, modulePath = context.modulePath, run, name] {
                             const int status = refuseOptions(name, *options);
                             return status != 0 ? status : run(*options, *modulePath);
                         }});
        return command;
    };
    CLI::App* presets =
        add("presets", "A web page of the presets (*.q2q) of a folder, each rendered on an image", runPresetsPage);
    presets->add_option("folder", options->folder, "Folder of presets")->required();
    presets->add_option("page", options->page, "The page to write (.html)")->required();
    presets->add_option("input", options->input, "Image to render them on (default: the demo panorama)");
    CLI::App* dots =
        add("dots", "A web page of the memory dots that hold settings, each rendered on an image", runDotsPage);
    dots->add_option("page", options->page, "The page to write (.html)")->required();
    dots->add_option("input", options->input, "Image to render them on (default: the demo panorama)");
    CLI::App* modes = add("modes", "A web page of every output projection rendered on an image", runModesPage);
    modes->add_option("page", options->page, "The page to write (.html)")->required();
    modes->add_option("input", options->input, "Image to render (default: the demo panorama)");
}

}  // namespace globaro::cli
