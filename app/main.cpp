// globaro: the standalone host. It loads images of every depth, drives the
// filter module through its selectors exactly as an image editor does, and
// writes the result.

#include <CLI/CLI.hpp>

#include <pthread.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/batch_names.h"
#include "app/batch_reader.h"
#include "app/canvas_size.h"
#include "app/catalogue_commands.h"
#include "app/cube_engines.h"
#include "app/demo_panorama.h"
#include "app/dialog_commands.h"
#include "app/exit_status.h"
#include "app/export_bricks_command.h"
#include "app/export_commands.h"
#include "app/export_geometry_command.h"
#include "app/export_psd_command.h"
#include "app/export_web_command.h"
#include "app/filter_host.h"
#include "app/georeference.h"
#include "app/glue_commands.h"
#include "app/gui_command.h"
#include "app/image_io.h"
#include "app/metadata.h"
#include "app/module_loader.h"
#include "app/probe_command.h"
#include "app/progress.h"
#include "app/render_paths.h"
#include "app/run_settings.h"
#include "app/size_text.h"
#include "app/streaming_write.h"
#include "platform/checked_file.h"
#include "projection/catalogue.h"
#include "projection/output_mapping.h"

#ifndef GLOBARO_VERSION
#define GLOBARO_VERSION "2.0.0"
#endif

extern char** environ;

namespace globaro {
namespace {

constexpr int kWorkerProgressFd = 3;  // where a batch worker writes its progress lines

// The signals that stop a run: Ctrl-C, a polite kill, a closed terminal.
// Each cancels the run, which then writes nothing and removes what it began.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onStopSignal(int) { cancelRequested().store(true); }

sigset_t stopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kStopSignals) sigaddset(&set, signal);
    return set;
}

// Catches the stop signals (leaving ignored those the caller ignores, as
// nohup does with SIGHUP) and unblocks them: a batch starts its workers with
// them blocked until their handlers are in place.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals) {
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    const sigset_t set = stopSignalSet();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

// "WIDTHxHEIGHT" with whole sides of 1..kMaxDocumentSide pixels. On failure
// `error` is one line that names the option.
template <typename Int>
bool parseSize(const char* option, const std::string& text, Int& width, Int& height, std::string& error) {
    std::int32_t w = 0, h = 0;
    if (!parsePixelSize(text, kMaxDocumentSide, false, w, h)) {
        error = std::string(option) + " wants WIDTHxHEIGHT with sides of 1.." + std::to_string(kMaxDocumentSide) +
                " pixels, got \"" + text + "\"";
        return false;
    }
    width = static_cast<Int>(w);
    height = static_cast<Int>(h);
    return true;
}

int commandInfo(const std::string& path, const std::string& modulePath) {
    Document doc;
    std::string error;
    bool loaded = false;
    try {
        loaded = loadDocument(path, doc, error);
    } catch (const std::bad_alloc&) {
        error = "cannot read \"" + path + "\": not enough memory";
    }
    if (!loaded) {
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

// What every file of a render gets: the options of the render command.
struct RenderOptions {
    int depth = 0;
    std::string maskPath;
    std::string size;      // WIDTHxHEIGHT, WIDTH or xHEIGHT of the new image, or empty for its natural size
    bool inPlace = false;  // filter the input image itself, as an editor does
    bool force = false;    // an output may be the input file
    std::string format;    // the file format of "-" (standard input or output)
    std::string modulePath;
    const LoadedModule* module = nullptr;  // loaded already (a batch loads it once), or null
    RunSettingsOptions run;
    bool quiet = false;
    bool timings = false;    // print where the time went, phase by phase
    bool keepAlpha = false;  // write a transparency plane even when every pixel is opaque
    bool geo = false;        // write the map's georeference beside it
    bool usePose = false;    // start from the view that levels the input's panorama pose
    ProgressMode progress = ProgressMode::kAuto;
    int progressFd = -1;  // a batch worker: where its progress lines go
    // Files of the batch that this process filters after this one with the
    // same loaded module (`module`); 0 for a single file.
    std::int32_t framesToFollow = 0;
};

// Set in a batch worker whose batch shows a progress line on the terminal:
// the worker's own lines start by taking that line off.
bool gBesideBatchLine = false;

// Before a message on `stream`: the progress line, this process's or the
// batch's, is taken off the terminal.
std::ostream& messageStart(std::ostream& stream, RenderProgress* progress) {
    if (progress != nullptr) progress->display().clearLine();
    if (gBesideBatchLine && isatty(&stream == &std::cout ? STDOUT_FILENO : STDERR_FILENO)) stream << "\r\x1b[K";
    return stream;
}

// The new image a render draws on: the output's natural canvas for this
// input, or the --size asked for, completed from the output's proportions.
bool makeRenderCanvas(const Document& source, const std::string& output, const CanvasSpec& size,
                      const SettingsRecord& settings, Document& canvas, std::string& error) {
    const NaturalCanvas natural = naturalCanvas(settings, source.width, source.height, canvasMeasureFor(size));
    std::int32_t width = 0, height = 0;
    std::string warning;
    if (!chooseCanvasSize(size, natural, width, height, warning, error)) return false;
    if (!checkImageFits(output, width, height, error)) return false;
    if (!makeCanvas(source, width, height, canvas, error)) {
        if (size.text.empty()) error = "the natural canvas of this output: " + error + "; --size sets a smaller one";
        return false;
    }
    if (!warning.empty()) std::cerr << "globaro: " << warning << std::endl;
    return true;
}

double secondsSince(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string firstLineOf(const std::string& text) { return text.substr(0, text.find('\n')); }

// Reads the rows of an opened file into its document on a thread of its
// own, so that the filter starts on the top rows while the rest are read.
// Stops the reading and waits for the thread on every path.
class BackgroundRead final : public InputRead {
public:
    BackgroundRead(DocumentReader& reader, Document& doc) {
        // Whatever goes wrong on the thread (memory running out included)
        // comes back from finish() as the read's one-line reason.
        auto body = [this, &reader, &doc] {
            const auto t0 = std::chrono::steady_clock::now();
            try {
                ok_ = reader.readRows(doc, &gate_, error_);
            } catch (const std::exception& e) {
                ok_ = false;
                error_ = readFailure(reader.path(), e);
            }
            seconds_ = secondsSince(t0);
        };
        try {
            thread_ = std::thread(body);
        } catch (const std::exception&) {
            body();  // no thread to be had: read them here
        }
    }
    ~BackgroundRead() {
        if (!thread_.joinable()) return;
        gate_.stop();
        thread_.join();
    }
    BackgroundRead(const BackgroundRead&) = delete;
    BackgroundRead& operator=(const BackgroundRead&) = delete;

    const RowGate& gate() const override { return gate_; }
    bool finish(std::string& error) override {
        if (thread_.joinable()) thread_.join();
        if (!ok_) error = error_;
        return ok_;
    }
    double seconds() const override { return seconds_; }

private:
    RowGate gate_;
    bool ok_ = false;
    std::string error_;
    double seconds_ = 0.0;
    std::thread thread_;
};

// Refuses an action file to record that would replace a file the run reads
// or writes, and one that could not be created.
int checkRecordTarget(const std::string& input, const std::string& output, const RenderOptions& o, std::string& error) {
    const std::string& record = o.run.record;
    if (record.empty()) return 0;
    const std::pair<const std::string*, const char*> others[] = {{&input, "the input image"},
                                                                 {&output, "the output image"},
                                                                 {&o.maskPath, "the mask"},
                                                                 {&o.run.preset, "the preset"},
                                                                 {&o.run.action, "the action file"}};
    const std::string target = identity(record);
    for (const auto& [path, what] : others) {
        if (!path->empty() && identity(*path) == target) {
            error = "--record \"" + record + "\" would overwrite " + what;
            return kExitUsage;
        }
    }
    return checkWritableTarget(record, error) ? 0 : kExitFailure;
}

// Renders one file. Returns 0, or an exit status with a one-line reason in
// `error`; nothing is written unless the whole run succeeded, and the action
// file of --record only after the image is in place. With a batch reader,
// the input is its file `index`, read ahead while the file before was
// filtered.
//
// Nothing reads the images after the run, so unless `keepRows` is set each
// source row leaves memory once the filter has taken it, and each row of the
// result once it is in the file. Should the filter or the file need such a
// row again, the run fails with `again` set, to be made once more with
// `keepRows` (reading the file afresh: the read-ahead copy has let go of its
// rows).
int renderFileOnce(const std::string& input, const std::string& output, const RenderOptions& o,
                   RenderProgress* progress, std::string& error, bool keepRows, bool& again, BatchReader* batch,
                   std::size_t index) {
    again = false;
    CanvasSpec size;
    if (!parseCanvasSpec(o.size, size, error)) return kExitUsage;
    if (!checkOutputIsNotInput(input, output, o.force, error)) return kExitUsage;
    // What cannot be written is said before the work, not after it.
    if (const int status = checkRecordTarget(input, output, o, error); status != 0) return status;
    // A Photoshop document goes through the export's writer, not an image library.
    const bool layered = cli::isLayeredDocumentPath(output);
    if (!(layered ? checkWritableTarget(output, error) : checkImageTarget(output, error))) return kExitFailure;
    if (const std::string note = unusedSubsamplingNote(output); !note.empty())
        messageStart(std::cerr, progress) << "globaro: " << note << "\n";
    Document ownSource;
    Document* sourceDoc = &ownSource;
    DocumentReader reader;
    InputRead* readAhead = nullptr;
    if (batch != nullptr) {
        if (readAhead = batch->take(index, sourceDoc, error); readAhead == nullptr) return kExitFailure;
    } else if (!reader.open(input, ownSource, error)) {
        return kExitFailure;
    }
    Document& source = *sourceDoc;
    RunSettingsOptions run = o.run;
    if (std::string note; o.usePose && !takeViewFromPose(source.metadata.get(), input, run, note))
        messageStart(std::cerr, progress) << "globaro: " << note << "\n";
    // The settings are read once for the plans made before the run. Settings
    // that cannot be read are the run's to report (with the module's own
    // words); the canvas is then sized for the defaults, and only --geo,
    // which cannot describe a map it does not know, stops here.
    auto settings = std::make_unique<SettingsRecord>();
    std::string unreadable;
    const bool settingsRead = readRunSettings(run, *settings, unreadable);
    if (!settingsRead) resetToDefaults(*settings);
    if (!settingsRead && o.geo) {
        error = unreadable;
        return kExitFailure;
    }
    GeoRender geo;
    if (settingsRead) {
        if (const int status = planGeoRender(input, output, *settings, o.geo, source.width, source.height, geo, error);
            status != 0)
            return status;
    }
    if (layered && o.depth != 0 && o.depth != source.depth) {
        error = "cannot write \"" + output + "\": a Photoshop document keeps the image's depth; --depth is not taken";
        return kExitUsage;
    }
    std::optional<BackgroundRead> ownReading;
    if (readAhead == nullptr) ownReading.emplace(reader, source);
    InputRead& reading = readAhead != nullptr ? *readAhead : *ownReading;
    if (geo.place && !reading.finish(error)) return kExitFailure;
    if (geo.place && !placeOnGlobe(input, geo.extent, source, error)) return kExitFailure;
    // A new image of the output's own proportions, or with --in-place the
    // input image itself, filtered as in an editor.
    Document canvas;
    const bool separate = !o.inPlace;
    if (separate && !makeRenderCanvas(source, output, size, *settings, canvas, error)) return kExitUsage;
    if (!separate && !checkImageFits(output, source.width, source.height, error)) return kExitUsage;
    Document& doc = separate ? canvas : source;
    if (!fitGeoreference(*settings, doc.width, doc.height, geo, error)) return kExitUsage;
    doc.keywords = runKeywords(run);
    doc.metadata = outputMetadata(source.metadata, run, doc.width, doc.height);
    if (!o.maskPath.empty() && !loadMask(o.maskPath, doc.width, doc.height, doc.mask, error)) return kExitFailure;
    RunReport report;
    // The rows the filter finishes go to the file while it works further
    // down. A transparency plane in which every pixel is opaque says nothing:
    // the file goes without it (smaller, and written in two thirds of the
    // time).
    std::optional<StreamingWrite> writing;
    if (!layered) writing.emplace(output, doc, o.depth, o.keepAlpha);
    RunMemory memory;
    memory.framesToFollow = o.framesToFollow;
    if (!keepRows) {
        memory.noRestore = true;
        if (separate)
            memory.sourceRowsTaken = [&source](std::int32_t top, std::int32_t bottom) {
                releaseRows(source, top, bottom);
            };
        if (writing) {
            memory.finishedRowsMayGo = true;
            writing->letWrittenRowsGo(doc);
        }
    }
    auto t0 = std::chrono::steady_clock::now();
    RecordedAction recorded;
    if (progress != nullptr)
        progress->watch(&reading.gate(), source.width, std::int64_t{source.width} * source.height,
                        &progress->drawnCounter(), std::int64_t{doc.width} * doc.height);
    // The reading's rows go with this call: the watcher lets go of them first.
    struct StopWatching {
        RenderProgress* progress;
        ~StopWatching() {
            if (progress != nullptr) progress->watch(nullptr, 0, 0, nullptr, 0);
        }
    } stopWatching{progress};
    const auto filter = [&](const auto& module) {
        return runFilter(doc, module, run, false, error, separate ? &source : nullptr, &report,
                         geo.place ? nullptr : &reading.gate(), writing ? &*writing : nullptr,
                         run.record.empty() ? nullptr : &recorded,
                         progress != nullptr ? &progress->drawnCounter() : nullptr, &memory);
    };
    const int status = o.module != nullptr ? filter(*o.module) : filter(o.modulePath);
    // A cancelled run stops reading too.
    if (cancelRequested().load()) return kExitInterrupted;
    // A file that turned out damaged is what went wrong, whatever the filter
    // made of the rows it lacked.
    if (!reading.finish(error)) return kExitFailure;
    again = report.rowsAskedAgain;
    if (again) return kExitFailure;
    if (status != 0) return status;
    const double secondsRead = reading.seconds();
    const double secondsFilter = secondsSince(t0);
    t0 = std::chrono::steady_clock::now();
    bool writeAlpha = doc.hasAlpha;
    if (layered ? !cli::writeResultDocument(output, doc, error) : !writing->finish(error, writeAlpha)) {
        again = writing && writing->rowsNeededAgain();
        return kExitFailure;
    }
    if (geo.georeference && !writeGeoreference(output, geo.geo, error)) return kExitFailure;
    if (progress != nullptr) progress->finish(true);
    if (o.timings) {
        std::fprintf(stderr,
                     "timings: read %.2f s, filter %.2f s (prepare %.2f, start %.2f, continue %.2f in %d calls, "
                     "finish %.2f, host tiles %.2f), write %.2f s (%d of %d rows while filtering)\n",
                     secondsRead, secondsFilter, report.secondsPrepare, report.secondsStart, report.secondsContinue,
                     report.continueCalls, report.secondsFinish, report.secondsHost, secondsSince(t0),
                     writing ? writing->rowsWrittenEarly() : 0, doc.height);
    }
    if (!o.quiet)
        messageStart(std::cout, progress)
            << "wrote " << output << " (" << describeDocument(doc, doc.hasAlpha && !writeAlpha) << ")" << std::endl;
    if (geo.georeference && !o.quiet) std::cout << "georeferenced as " << geo.geo.projString << std::endl;
    if (!o.run.record.empty()) {
        if (!saveActionFile(o.run.record, recorded, error)) return kExitFailure;
        if (!o.quiet) std::cout << "wrote " << o.run.record << " (the recorded action)" << std::endl;
    }
    return 0;
}

// renderFileOnce, with memory running out (or any other exception) as the
// one-line reason instead of an abort, and a run stopped by a signal
// reported as such: whatever failed on the way, nothing was written (the
// documents, the reading thread and the writer are gone by then).
int renderFile(const std::string& input, const std::string& output, const RenderOptions& o, RenderProgress* progress,
               std::string& error, BatchReader* batch = nullptr, std::size_t index = 0) {
    int status = kExitFailure;
    try {
        bool again = false;
        status = renderFileOnce(input, output, o, progress, error, false, again, batch, index);
        // Rows let go were needed after all: the whole render once more,
        // keeping them.
        if (status != 0 && again && !cancelRequested().load())
            status = renderFileOnce(input, output, o, progress, error, true, again, nullptr, 0);
    } catch (const std::bad_alloc&) {
        error = "not enough memory to render \"" + input + "\"";
    } catch (const std::exception& e) {
        error = "cannot render \"" + input + "\": " + firstLineOf(e.what());
    }
    if (progress != nullptr) progress->finish(status == 0);
    if (status != 0 && cancelRequested().load()) {
        error = "stopped; \"" + output + "\" was not written";
        return kExitInterrupted;
    }
    return status;
}

// An output without a mapping would give a fully transparent image: the
// render is refused before anything is read or written. Settings that
// cannot be used are left for the run to report.
int refuseUndrawnOutput(const RunSettingsOptions& run) {
    ProjectionId output = 0;
    std::string error;
    if (!runOutputProjection(run, output, error) || outputIsDrawn(output)) return 0;
    std::cerr << "globaro: output " << output << " \"" << outputProjectionName(output)
              << "\" has no mapping yet; see globaro list outputs\n";
    return kExitUsage;
}

// render INPUT OUTPUT: one file, errors as one line. "-" reads standard
// input or writes standard output (which then carries the image alone).
int commandRender(const std::string& input, const std::string& output, const RenderOptions& o) {
    setAsideDamagedStateBeforeRuns(o.run, std::cerr);
    std::string error;
    RenderPaths paths;
    int status = paths.prepare(input, output, o.format, error) ? 0 : kExitUsage;
    ProgressDisplay display(o.progress, 1);
    RenderProgress progress(display, input, 1, 1);
    if (status == 0) {
        RenderOptions options = o;
        if (paths.toStandardOutput()) options.quiet = true;  // the summary would land in the image
        status = renderFile(paths.inputFile(), paths.outputFile(), options, &progress, error);
    }
    if (status == 0 && !paths.deliver(error)) status = kExitFailure;
    if (status != 0) messageStart(std::cerr, &progress) << "globaro: " << paths.inUserTerms(error) << "\n";
    return status;
}

// One file of a batch; a failure is one line that names the file. With a
// batch reader, the input is its file `index`.
int renderBatchItem(const BatchItem& item, const RenderOptions& o, RenderProgress* progress,
                    BatchReader* batch = nullptr, std::size_t index = 0) {
    std::string error;
    // A batch makes the folders its pattern names.
    if (const auto folder = std::filesystem::path(item.output).parent_path(); !folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            messageStart(std::cerr, progress) << "globaro: " << item.input << ": cannot create the folder \""
                                              << folder.string() << "\": " << ec.message() << std::endl;
            return kExitFailure;
        }
    }
    const int status = renderFile(item.input, item.output, o, progress, error, batch, index);
    // A stopped batch says so once, at its end.
    if (status != 0 && status != kExitInterrupted)
        messageStart(std::cerr, progress) << "globaro: " << item.input << ": " << error << std::endl;
    return status;
}

// The arguments that make a child process render item `index` of the same
// batch: this program's own arguments with --batch-item added to the render
// command (before a "--", after which everything is an input).
std::vector<std::string> childArguments(int argc, char** argv, std::size_t index, bool reportProgress) {
    std::vector<std::string> args(argv, argv + argc);
    std::vector<std::string> added{"--batch-item=" + std::to_string(index)};
    if (reportProgress) added.push_back("--progress-fd=" + std::to_string(kWorkerProgressFd));
    const auto dashes = std::find(args.begin() + 1, args.end(), std::string("--"));
    args.insert(dashes, added.begin(), added.end());
    return args;
}

// Starts a copy of this program on one item, its progress lines going to
// `progressPipe` when that is open. Returns its process id, or -1.
pid_t spawnItem(int argc, char** argv, std::size_t index, int progressPipe, std::string& error) {
    std::vector<std::string> args = childArguments(argc, argv, index, progressPipe >= 0);
    std::vector<char*> pointers;
    for (std::string& a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    std::cout.flush();
    std::cerr.flush();
    // The worker starts with the stop signals blocked, so that one arriving
    // while it starts up waits for its handler instead of killing it;
    // main() unblocks them once the handlers are in place.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    const sigset_t blocked = stopSignalSet();
    posix_spawnattr_setsigmask(&attributes, &blocked);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (progressPipe >= 0) posix_spawn_file_actions_adddup2(&files, progressPipe, kWorkerProgressFd);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, "/proc/self/exe", &files, &attributes, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        error = std::string("cannot start a worker process: ") + std::strerror(rc);
        return -1;
    }
    return pid;
}

// render INPUT... --out PATTERN [--jobs N]: every input to its own output.
// With N > 1 each file is rendered by a child process of its own (the module
// and the host keep one run per process), at most N at a time. A file that
// fails is reported on one line and the others go on; Ctrl-C starts no more
// files and lets the running ones cancel, which writes nothing for them.
int commandBatch(const std::vector<std::string>& inputs, const std::string& pattern, int jobs, int batchItem,
                 const RenderOptions& o, int argc, char** argv) {
    std::vector<BatchItem> items;
    std::string error;
    if (!planBatch(inputs, pattern, items, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitUsage;
    }
    if (!o.run.record.empty() && items.size() > 1) {
        std::cerr << "globaro: --record takes a single input; a batch would record over the same file\n";
        return kExitUsage;
    }
    if (CanvasSpec size; !parseCanvasSpec(o.size, size, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitUsage;
    }
    for (const BatchItem& item : items) {
        if (isStandardStream(item.input) || isStandardStream(item.output)) {
            std::cerr << "globaro: \"-\" (standard input or output) takes a single INPUT OUTPUT, not a batch\n";
            return kExitUsage;
        }
    }
    if (batchItem >= 0) {  // a worker started by the batch below
        // A worker whose batch is gone (killed outright) stops as if told to.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1) return kExitInterrupted;
        if (static_cast<std::size_t>(batchItem) >= items.size()) {
            std::cerr << "globaro: --batch-item " << batchItem << " is not in the batch\n";
            return kExitUsage;
        }
        const auto index = static_cast<std::size_t>(batchItem);
        // Its progress goes to the batch, which shows it.
        std::FILE* toBatch = o.progressFd >= 0 ? fdopen(o.progressFd, "w") : nullptr;
        gBesideBatchLine = toBatch != nullptr;
        ProgressDisplay display(toBatch != nullptr ? ProgressDisplay::Style::kJson : ProgressDisplay::Style::kNone,
                                items.size(), toBatch != nullptr ? toBatch : stderr);
        RenderProgress progress(display, items[index].input, index + 1, items.size());
        return renderBatchItem(items[index], o, &progress);
    }
    // Once for the whole batch, before its workers start.
    setAsideDamagedStateBeforeRuns(o.run, std::cerr);

    std::size_t failed = 0, done = 0;  // done: finished, well or not
    ProgressDisplay display(o.progress, items.size());
    if (jobs <= 1 || items.size() == 1) {
        // One process renders the files one after the other: the module is
        // loaded once (a module that cannot be loaded is each file's
        // failure, as before), and each file is read while the one before
        // it is filtered.
        RenderOptions options = o;
        LoadedModule module;
        if (std::string ignored; loadModule(o.modulePath, module, ignored)) options.module = &module;
        std::unique_ptr<BatchReader> reader;
        if (items.size() > 1) {
            std::vector<std::string> paths;
            for (const BatchItem& item : items) paths.push_back(item.input);
            try {
                reader = std::make_unique<BatchReader>(std::move(paths));
            } catch (const std::exception&) {
                reader.reset();  // no thread to be had: each file reads itself
            }
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (cancelRequested().load()) break;
            RenderProgress progress(display, items[i].input, i + 1, items.size());
            // The module keeps what the next frame may reuse while frames
            // follow, and lets it go with the last.
            options.framesToFollow = options.module != nullptr ? static_cast<std::int32_t>(items.size() - 1 - i) : 0;
            if (renderBatchItem(items[i], options, &progress, reader.get(), i) != 0) ++failed;
            if (reader != nullptr) reader->release(i);
            ++done;
        }
    } else {
        // The workers' progress lines come back through a pipe.
        ProgressPipe pipe;
        const bool piped = display.active() && pipe.open();
        const auto failedEvent = [&](std::size_t index) {
            ProgressEvent e;
            e.file = items[index].input;
            e.index = index + 1;
            e.count = items.size();
            e.state = "failed";
            display.update(e);
        };
        std::map<pid_t, std::size_t> running;  // worker -> its item
        std::size_t next = 0;
        bool forwarded = false;
        while (next < items.size() || !running.empty()) {
            const bool cancelled = cancelRequested().load();
            if (cancelled && !forwarded) {
                // A terminal's Ctrl-C reaches the workers too; a signal sent
                // to this process alone is passed on.
                for (const auto& [pid, index] : running) kill(pid, SIGINT);
                forwarded = true;
            }
            while (!cancelled && next < items.size() && running.size() < static_cast<std::size_t>(jobs)) {
                const pid_t pid = spawnItem(argc, argv, next, piped ? pipe.writeEnd() : -1, error);
                if (pid < 0) {
                    failedEvent(next);
                    display.clearLine();
                    std::cerr << "globaro: " << items[next].input << ": " << error << "\n";
                    ++failed;
                    ++done;
                } else {
                    running.emplace(pid, next);
                }
                ++next;
            }
            if (running.empty()) {
                if (cancelled) break;
                continue;
            }
            if (piped) pipe.drain(display);
            int raw = 0;
            const pid_t pid = waitpid(-1, &raw, WNOHANG);
            if (pid <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            const auto it = running.find(pid);
            if (it == running.end()) continue;
            const BatchItem& item = items[it->second];
            // Its last lines are in the pipe before it ends.
            if (piped) pipe.drain(display);
            if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0) failedEvent(it->second);
            if (WIFSIGNALED(raw) && WTERMSIG(raw) == SIGINT && cancelRequested().load()) {
                ++failed;  // stopped before it could say so; it wrote nothing
            } else if (WIFSIGNALED(raw)) {
                display.clearLine();
                std::cerr << "globaro: " << item.input << ": the worker process died (signal " << WTERMSIG(raw)
                          << ")\n";
                ++failed;
            } else if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0) {
                ++failed;  // the worker has said why
            }
            ++done;
            running.erase(it);
        }
    }
    display.clearLine();
    if (cancelRequested().load()) {
        std::cerr << "globaro: stopped; " << done - failed << " of " << items.size() << " files rendered\n";
        return kExitInterrupted;
    }
    if (failed > 0) std::cerr << "globaro: " << failed << " of " << items.size() << " files failed\n";
    return failed > 0 || done < items.size() ? kExitFailure : 0;
}

// The main job on the built-in demo panorama: the panorama itself and a
// handful of representative outputs, written into `folder`.
int commandDemo(const std::string& folder, const std::string& size, const std::string& modulePath) {
    std::int32_t width = 2048, height = 1024;
    std::string error;
    if (!parseSize("--size", size, width, height, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitUsage;
    }
    // A module that cannot run leaves no folder and no half of the demo behind.
    if (LoadedModule module; !loadModule(modulePath, module, error)) {
        std::cerr << "globaro: " << error << "\n";
        return kExitFailure;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::cerr << "globaro: cannot create the folder \"" << folder << "\": " << ec.message() << "\n";
        return kExitFailure;
    }
    setAsideDamagedState(std::cerr);
    Document panorama;
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
        if (const int status = runFilter(canvas, modulePath, run, true, error, &panorama); status != 0) {
            std::cerr << "globaro: " << error << "\n";
            return status;
        }
        const std::string path = (std::filesystem::path(folder) / o.file).string();
        if (!saveDocument(path, canvas, 0, error, !everyPixelOpaque(canvas))) {
            std::cerr << "globaro: " << error << "\n";
            return kExitFailure;
        }
        std::cout << "wrote " << path << " (" << o.output << ", " << canvas.width << " x " << canvas.height << ")\n";
    }
    return 0;
}

// A projection given by id or by name.
template <typename Find>
CLI::Validator projectionValidator(Find find, std::string (*refusal)(std::string_view)) {
    return CLI::Validator(
        [find, refusal](std::string& text) -> std::string {
            const auto id = find(text);
            if (!id) return refusal(text);
            text = std::to_string(*id);
            return {};
        },
        "ID|NAME");
}

}  // namespace
}  // namespace globaro

int main(int argc, char** argv) {
    using namespace globaro;
    catchStopSignals();

    CLI::App app{"Globaro 2: turns spherical panoramas and world maps into other projections.", "globaro"};
    // A refused command line is one line, like every other refusal.
    app.failure_message(
        [](const CLI::App*, const CLI::Error& e) { return "globaro: " + std::string(e.what()) + "\n"; });
    app.set_version_flag("--version", std::string("globaro ") + GLOBARO_VERSION);
    app.require_subcommand(1);
    std::string modulePath = defaultModulePath();
    app.add_option("--module", modulePath, "Filter module to load")->check(CLI::ExistingFile);

    std::string infoPath;
    auto* info = app.add_subcommand("info", "Show what the host sees of an image");
    info->add_option("image", infoPath, "Image file")->required();
    // The most memory one image may take (default: half the machine's).
    std::string maxMemory;
    const CLI::Validator memorySize(
        [](std::string& text) -> std::string {
            std::size_t bytes = 0;
            return parseMemorySize(text, bytes) ? std::string() : "wants a size like 512M or 8G, got \"" + text + "\"";
        },
        "SIZE");
    const std::string maxMemoryHelp =
        "The most memory one image may take, e.g. 512M or 8G (default: half the machine's memory)";
    info->add_option("--max-memory", maxMemory, maxMemoryHelp)->check(memorySize);

    RenderOptions renderOptions;
    renderOptions.modulePath = modulePath;
    std::vector<std::string> renderFiles;
    std::string outPattern;
    int jobs = 1, batchItem = -1;
    auto* render = app.add_subcommand(
        "render",
        "Run the filter on an image and write the result: render INPUT OUTPUT, or render INPUT... --out PATTERN");
    render->add_option("files", renderFiles, "INPUT OUTPUT, or the inputs of a batch (with --out)")
        ->required()
        ->type_name("FILE");
    auto* outOption =
        render->add_option("--out", outPattern,
                           "Batch: output file for every input, with {name} (file name without extension), {ext}, "
                           "{dir} and {index} (from 1, zero-padded)");
    render->add_option("--jobs", jobs, "Batch: files rendered at once, each in a process of its own")
        ->check(CLI::Range(1, 256));
    render->add_option("--batch-item", batchItem)->group("")->check(CLI::NonNegativeNumber);
    render->add_option("--depth", renderOptions.depth, "Output depth: 8, 16 or 32 (default: the input's)")
        ->check(CLI::IsMember({0, 8, 16, 32}));
    render->add_option("--mask", renderOptions.maskPath,
                       "Selection mask image (255 = selected), the size of the output");
    auto* sizeOption = render->add_option(
        "--size", renderOptions.size,
        "Size of the new image: WIDTHxHEIGHT, or WIDTH or xHEIGHT with the other side from the output's "
        "proportions (default: the output's proportions at the input's detail)");
    render
        ->add_flag("--in-place", renderOptions.inPlace,
                   "Filter the input image itself, as in an image editor, instead of making a new image")
        ->excludes(sizeOption);
    render->add_flag("--force", renderOptions.force, "Allow the output to be the input file (it is replaced)");
    render->add_option("--format", renderOptions.format,
                       "File format (extension) of \"-\": standard input or output, e.g. png or jpg");
    LossyFileOptions lossy;
    render->add_option("--quality", lossy.quality, "JPEG and WebP quality, 1..100 (default 98)")
        ->check(CLI::Range(1, 100));
    std::string subsampling;
    auto* subsamplingOption =
        render->add_option("--subsampling", subsampling, "JPEG chroma subsampling: 444, 422 or 420 (default)")
            ->check(CLI::IsMember({"444", "422", "420"}));
    render->add_flag("--quiet", renderOptions.quiet, "No progress or summary");
    std::string progressMode = "auto";
    render
        ->add_option("--progress", progressMode,
                     "Progress on standard error: auto (a line on a terminal), json (one JSON object a line, for "
                     "scripts) or none")
        ->check(CLI::IsMember({"auto", "json", "none"}));
    render->add_option("--progress-fd", renderOptions.progressFd)->group("")->check(CLI::NonNegativeNumber);
    render->add_flag("--use-pose", renderOptions.usePose,
                     "Start from the view that levels the input's panorama pose (XMP GPano): pitch and roll "
                     "undone, heading kept; --lat, --lon and --spin still override");
    render->add_flag("--timings", renderOptions.timings, "Print the time spent reading, filtering and writing");
    render->add_flag("--geo", renderOptions.geo,
                     "Write the world map's georeference beside it (world file, .prj, .aux.xml) for GIS software");
    render->add_flag("--keep-alpha", renderOptions.keepAlpha,
                     "Write the transparency plane even when every pixel is opaque (by default it is left out)");
    render->add_option("--max-memory", maxMemory, maxMemoryHelp)->check(memorySize);
    addRunSettingsOptions(*render, renderOptions.run);
    std::string inputLayout;
    render->add_option("--input-layout", inputLayout,
                       "Read INPUT as a one-image cube map: eac, cross (seen from inside), unity, unreal, "
                       "youtube-eac, or PRESET/strip, PRESET/cross, PRESET/3x2");

    std::string demoOutput = "demo-out", demoSize = "2048x1024";
    auto* demo = app.add_subcommand("demo", "Render the built-in demo panorama into a few outputs");
    demo->add_option("folder", demoOutput, "Output folder (default demo-out)");
    demo->add_option("--size", demoSize, "Size of the demo panorama, WIDTHxHEIGHT");
    std::string testCubeFolder;
    demo->add_option("--test-cube", testCubeFolder,
                     "Write a lettered test cube (panorama and every preset's faces) into this folder instead");

    std::string listWhat;
    auto* list = app.add_subcommand("list", "List the input projections, output projections or glue modes");
    list->add_option("what", listWhat, "inputs, outputs or glue")
        ->required()
        ->check(CLI::IsMember({"inputs", "outputs", "glue"}));
    std::vector<std::string> listWhere;
    list->add_option("--where", listWhere,
                     "Outputs only: keep those for which this catalogue predicate holds (conformal, equalArea, "
                     "drawn ...; repeat for all of several)");

    std::string describeKind, describeId;
    auto* describe = app.add_subcommand("describe", "Describe a projection as JSON");
    describe->add_option("kind", describeKind, "input or output")
        ->required()
        ->check(CLI::IsMember({"input", "output"}));
    describe->add_option("projection", describeId, "Id or name (letter case does not matter)")->required();

    cli::ProbeOptions probe;
    std::vector<double> probePoints;
    std::string probeSize, probeInputSize;
    auto* probeCommand = app.add_subcommand("probe", "Trace output positions (a, b) through the projections");
    probeCommand->add_option("--input", probe.input, "Input projection (id or name)")
        ->transform(
            projectionValidator([](std::string_view t) { return findInputProjection(t); }, &cli::unknownInputText));
    probeCommand->add_option("--output", probe.output, "Output projection (id or name)")
        ->transform(
            projectionValidator([](std::string_view t) { return findOutputProjection(t); }, &cli::unknownOutputText));
    probeCommand->add_option("--size", probeSize, "Output image size, WIDTHxHEIGHT");
    probeCommand->add_option("--input-size", probeInputSize, "Input image size, WIDTHxHEIGHT");
    probeCommand->add_option("--lat", probe.lat, "Latitude, degrees")->check(finiteNumber(-90.0, 90.0));
    probeCommand->add_option("--lon", probe.lon, "Longitude, degrees")->check(finiteNumber(-180.0, 180.0));
    probeCommand->add_option("--spin", probe.spin, "Spin, degrees")->check(finiteNumber(-180.0, 180.0));
    probeCommand->add_option("--fov", probe.fov, "Field of view, degrees")->check(finiteNumber(0.0, 180.0));
    probeCommand->add_flag("--flip", probe.flip, "Mirror the input");
    probeCommand->add_flag("--anamorph", probe.anamorph, "Anamorphosis");
    probeCommand->add_option("positions", probePoints, "Output positions a b [a b ...], fractions 0..1")
        ->required()
        ->expected(2, -1);

    auto* exportCommand =
        app.add_subcommand("export", "Write files for print, game engines, 3D tools, brick builders or the web");
    exportCommand->require_subcommand(1);
    const cli::ExportContext exportContext{&modulePath};
    std::vector<cli::ExportKind> exportKinds;
    // Each family of exports adds its kinds here.
    cli::addGeometryExports(*exportCommand, exportContext, exportKinds);
    cli::addWebExports(*exportCommand, exportContext, exportKinds);
    cli::addPsdExports(*exportCommand, exportContext, exportKinds);
    cli::addBrickExports(*exportCommand, exportContext, exportKinds);
    cli::addCubeEngineExports(*exportCommand, exportContext, exportKinds);

    const cli::DialogCommands dialogCommands(app);

    std::string guiImage, guiOut;
    auto* gui = app.add_subcommand("gui",
                                   "Open the filter dialog on an image (default: the demo panorama); OK renders "
                                   "and saves the result");
    gui->add_option("image", guiImage, "Image file");
    gui->add_option("--out", guiOut, "Where OK saves the result (default: asked in a save dialog)");

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

    if (std::size_t bytes = 0; parseMemorySize(maxMemory, bytes)) setImageMemoryLimit(bytes);
    if (info->parsed()) return commandInfo(infoPath, modulePath);
    if (gui->parsed()) {
        std::vector<std::string> args;
        if (!guiImage.empty()) args.push_back(guiImage);
        if (!guiOut.empty()) args.insert(args.end(), {"--out", guiOut});
        return runDialogProgram(args);
    }
    if (render->parsed()) {
        renderOptions.modulePath = modulePath;
        renderOptions.progress = progressMode == "json"                          ? ProgressMode::kJson
                                 : progressMode == "none" || renderOptions.quiet ? ProgressMode::kNone
                                                                                 : ProgressMode::kAuto;
        if (renderOptions.usePose && !renderOptions.run.action.empty()) {
            std::cerr << "globaro: --use-pose sets the view and cannot be combined with --action\n";
            return kExitUsage;
        }
        if (subsamplingOption->count() > 0)
            lossy.subsampling = subsampling.substr(0, 1) + ":" + subsampling.substr(1, 1) + ":" + subsampling.substr(2);
        setLossyFileOptions(lossy);
        if (const int status = refuseUndrawnOutput(renderOptions.run); status != 0) return status;
        if (!inputLayout.empty() &&
            (outOption->count() > 0 || renderOptions.run.dialog.value_or(false) || !renderOptions.maskPath.empty())) {
            std::cerr << "globaro: --input-layout renders one INPUT OUTPUT pair, without --out, --dialog or --mask\n";
            return kExitUsage;
        }
        if (outOption->count() > 0)
            return commandBatch(renderFiles, outPattern, jobs, batchItem, renderOptions, argc, argv);
        if (renderFiles.size() != 2) {
            std::cerr << "globaro: render wants INPUT OUTPUT, or several inputs with --out PATTERN\n";
            return kExitUsage;
        }
        if (jobs != 1 || batchItem >= 0) {
            std::cerr << "globaro: --jobs works with --out PATTERN\n";
            return kExitUsage;
        }
        if (!inputLayout.empty())
            return cli::renderFromCubeLayout(renderFiles[0], renderFiles[1], inputLayout, renderOptions.size,
                                             renderOptions.depth, modulePath, renderOptions.run, renderOptions.quiet);
        // With a recorded action the module itself shows the dialog on the
        // action's settings; otherwise the dialog program edits the run's
        // settings before the render.
        if (renderOptions.run.dialog.value_or(false) && renderOptions.run.action.empty()) {
            std::string settingsFile;
            int status = editRunSettingsInDialog(renderFiles[0], renderFiles[1], renderOptions.run, settingsFile);
            if (status == 0) status = commandRender(renderFiles[0], renderFiles[1], renderOptions);
            if (!settingsFile.empty()) std::remove(settingsFile.c_str());
            return status;
        }
        return commandRender(renderFiles[0], renderFiles[1], renderOptions);
    }
    for (const cli::ExportKind& kind : exportKinds)
        if (kind.command->parsed()) return kind.run();
    if (dialogCommands.parsed()) return dialogCommands.run();
    if (demo->parsed() && !testCubeFolder.empty()) return cli::commandTestCube(testCubeFolder, modulePath);
    if (demo->parsed()) return commandDemo(demoOutput, demoSize, modulePath);
    if (list->parsed())
        return listWhat == "glue" && listWhere.empty() ? cli::runListGlue(std::cout)
                                                       : cli::runList(listWhat, std::cout, std::cerr, listWhere);
    if (describe->parsed()) return cli::runDescribe(describeKind, describeId, std::cout, std::cerr);
    if (probeCommand->parsed()) {
        if (probePoints.size() % 2 != 0) {
            std::cerr << "globaro: positions come in pairs: a b\n";
            return kExitUsage;
        }
        std::string error;
        if ((!probeSize.empty() && !parseSize("--size", probeSize, probe.width, probe.height, error)) ||
            (!probeInputSize.empty() &&
             !parseSize("--input-size", probeInputSize, probe.inputWidth, probe.inputHeight, error))) {
            std::cerr << "globaro: " << error << "\n";
            return kExitUsage;
        }
        for (std::size_t i = 0; i + 1 < probePoints.size(); i += 2)
            probe.points.emplace_back(probePoints[i], probePoints[i + 1]);
        return cli::runProbe(probe, std::cout, std::cerr);
    }
    return kExitUsage;
}
