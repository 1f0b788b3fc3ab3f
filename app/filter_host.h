#pragma once
// The standalone host's side of the filter record: it owns a document, fills
// the record as an image editor does, answers the module's callbacks
// (handles, tiles, cancellation, progress) and drives a run through the
// module's selectors.
//
// Callbacks of this interface carry no context pointer, so one FilterHost is
// active at a time per process (the one whose call is in progress).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/document.h"
#include "app/row_gate.h"
#include "host/filter_record.h"

namespace globaro {

// Told which rows of the document a run has finished writing, so that they
// can go to a file while the run works further down. Called on the host's
// thread.
class RowListener {
public:
    virtual ~RowListener() = default;
    // Every row above `rows` has been written across the document's whole
    // width (rows only grows).
    virtual void rowsFinished(std::int32_t rows) = 0;
    // A row above the last count given is about to change again (written
    // once more, or put back after a failure): returns once nothing reads
    // the rows any more. No call follows.
    virtual void rowsChanging() = 0;
    // With HostOptions::finishedRowsMayGo: the module has moved on below
    // the finished rows above `rows` (it asks for tiles further down), so
    // their pixels may leave memory once they are used (rows only grows).
    virtual void rowsMayGo(std::int32_t /*rows*/) {}
};

struct HostOptions {
    ResType hostSig = GLOBARO_FOURCC('8', 'B', 'I', 'M');
    bool bigDocument = true;        // offer the 32-bit rectangles
    bool samplingSupport = true;    // may deliver subsampled input
    bool offerAdvanceState = true;  // a host without it is too old for the filter
    bool offerDisplayPixels = false;
    bool offerColorServices = false;
    bool showProgress = false;  // draw a progress bar on standard error
    // Counts the output pixels the filter hands back, for a progress display
    // on another thread (or null).
    std::atomic<std::int64_t>* pixelsDrawn = nullptr;
    // Sweeps over the image (rectangles from its top left corner on) whose
    // pixels are not counted there: those that read it before drawing.
    int sweepsBeforeDrawing = 0;
    std::int32_t maxSpace = 1 << 30;
    std::int16_t imageModeOverride = -1;  // pretend another image mode (tests)
    // A source image apart from the filtered one (a canvas of another size);
    // it must have the filtered image's depth and colour planes. Null: the
    // filter reads the image it writes, as in an editor.
    const Document* source = nullptr;
    // When the filtered image or the source is still being read from its
    // file on another thread: the rows that are in. A tile or source read
    // waits for the rows it covers, and fails with readErr when the file
    // ended short of them.
    const RowGate* documentRows = nullptr;
    const RowGate* sourceRows = nullptr;
    // The source suite's version: 2 offers viewSource, 1 leaves it out (a
    // host made before it).
    std::int32_t sourceSuiteVersion = 2;
    // Whether viewSource hands the source's rows out in place; off, it
    // answers sourceNotViewable, as a host that holds them some other way.
    bool viewSourceInPlace = true;
    // The host's scripting descriptors (recording and replaying actions), or null.
    PIDescriptorParameters* descriptorParameters = nullptr;
    // Whether run() puts the pixels back after a failed or cancelled run
    // (off for a fresh canvas that is thrown away when the run fails).
    bool restoreOnFailure = true;
    // Told which rows a run has finished writing, or null.
    RowListener* rowListener = nullptr;
    // Told of the source's rows [top, bottom) once the module has read them
    // (all planes, the whole width, top to bottom), so that they can be let
    // go; the module reading such a row again ends the run with
    // RunReport::rowsAskedAgain. Rows handed out in place (viewSource) are
    // told of only once the module has moved on from them: at its next
    // readSource or viewSource, or when the selector call returns. Unset:
    // the source is read as often as asked.
    std::function<void(std::int32_t top, std::int32_t bottom)> sourceRowsTaken;
    // Finished rows the module has moved on from are the row listener's to
    // let go (RowListener::rowsMayGo): a tile that covers one again ends the
    // run with RunReport::rowsAskedAgain.
    bool finishedRowsMayGo = false;
    // Frames of a sequence this host filters after this run with the same
    // loaded module (FilterRecord::framesToFollow); 0 for a single run.
    std::int32_t framesToFollow = 0;
    // Answers the host's colour picker when offered: in/out 8-bit channels.
    std::function<bool(std::int16_t (&components)[4])> colorPicker;
};

// Cancellation shared with a signal handler (Ctrl-C answers abortProc).
std::atomic<bool>& cancelRequested();

// What a run left behind.
struct RunReport {
    std::int16_t result = 0;  // the module's last result code
    int tilesDelivered = 0;   // advanceState calls that delivered tiles
    int continueCalls = 0;
    std::vector<std::int16_t> selectorsCalled;
    // The module asked again for rows the host had let go: the run failed
    // and must be made again with every row kept.
    bool rowsAskedAgain = false;
    // Wall time spent in the module per selector, and in the host's own
    // tile delivery and take-back (between the calls, and in advanceState
    // and readSource when the module calls them during one, which the
    // selector's time then leaves out), in seconds.
    double secondsPrepare = 0, secondsStart = 0, secondsContinue = 0, secondsFinish = 0, secondsHost = 0;
};

class FilterHost {
public:
    FilterHost(Document& document, HostOptions options = {});
    ~FilterHost();
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    // One call of the module with one selector, as the editor makes it.
    std::int16_t call(PluginMainProc entry, std::int16_t selector);

    // A whole run: parameters (when `withParameters`) -> prepare -> start ->
    // continue until the module asks for nothing -> finish. On failure the
    // document keeps its pixels as they were before the run.
    RunReport run(PluginMainProc entry, bool withParameters);

    FilterRecord& record() { return record_; }
    Document& document() { return document_; }
    // Handles still held for the module (the parameter and data handles).
    int liveHandles() const;
    // Contents of the parameter handle, or null.
    const void* parameterBlock() const;

    // The callbacks, reached through the active host.
    std::int16_t advanceState();
    std::int16_t readSource(const VRect* rect, std::int16_t loPlane, std::int16_t hiPlane, void* buffer,
                            std::int32_t rowBytes);
    std::int16_t viewSource(const VRect* rect, const void** data, std::int32_t* rowBytes);
    bool testAbort();
    void progress(std::int32_t done, std::int32_t total);

private:
    struct HandleBlock;
    void fillRecord();
    void takeBackOutput();
    std::int16_t deliverTiles();
    std::int16_t copySource(const VRect* rect, std::int16_t loPlane, std::int16_t hiPlane, void* buffer,
                            std::int32_t rowBytes);
    std::int16_t lendSource(const VRect* rect, const void** data, std::int32_t* rowBytes);
    std::int16_t waitForSourceRows(const VRect& r);
    void sourceRowsHandedOn(const VRect& r, bool inPlace);
    void releaseViewedRows();
    void keepRow(std::int32_t y);
    bool letFinishedRowsGo(const VRect& in, const VRect& out, int step);
    bool requestIsEmpty() const;
    VRect requested(const Rect16& small, const VRect& big) const;

    Document& document_;
    HostOptions options_;
    FilterRecord record_{};
    HandleProcs handleProcs_{};
    BigDocumentStruct bigDocument_{};
    PlatformData platformData_{};
    SourceImageSuite sourceSuite_{};
    intptr_t dataField_ = 0;
    std::int16_t result_ = 0;

    // The delivered tiles and what was delivered, for taking the output back.
    std::vector<std::uint8_t> inBuffer_, outBuffer_, maskBuffer_;
    VRect deliveredOut_{};
    int deliveredOutLo_ = 0, deliveredOutHi_ = -1;
    int deliveredOutStep_ = 1;
    bool outPending_ = false;
    int tilesDelivered_ = 0;
    int sweeps_ = 0;  // delivered rectangles that began at the top left corner
    int lastProgressPercent_ = -1;
    double secondsInCallbacks_ = 0;
    std::int32_t sourceRowsRead_ = 0;  // source rows [0, this) read and handed on
    // Source rows [top, bottom) handed on in place, which the module may
    // still be reading: let go once it moves on.
    std::int32_t viewedTop_ = 0, viewedBottom_ = 0;
    bool rowsAskedAgain_ = false;

    // The rows of the document as they were before a run first wrote into
    // them (document-sized, filled row by row as tiles come back).
    bool keeping_ = false;
    std::unique_ptr<std::uint8_t[]> kept_;
    std::vector<bool> keptRows_;

    // For the row listener: pixels written per row, the rows covered
    // across the whole width and those reported, whether a tile has changed
    // anything yet, and whether the listener has been told of a change.
    void rowsWritten(std::int32_t top, std::int32_t bottom, std::int32_t pixels, bool changed);
    void stopListening();
    std::vector<std::int32_t> rowPixels_;
    std::int32_t rowsCovered_ = 0;
    std::int32_t rowsReported_ = 0;
    std::int32_t rowsLetGo_ = 0;  // rows the listener was told may go
    bool changeSeen_ = false;
    bool listenerStopped_ = false;
};

struct RunSettingsOptions;
struct RecordedAction;

// What a run may let go of while it works, for a render into a file whose
// documents nothing reads after the run (see HostOptions); by default every
// row stays.
struct RunMemory {
    std::function<void(std::int32_t top, std::int32_t bottom)> sourceRowsTaken;
    bool finishedRowsMayGo = false;
    // No copy of the rows a run overwrites, for putting them back after a
    // failure: the document is thrown away then.
    bool noRestore = false;
    // Files of the same batch filtered after this one with the same loaded
    // module: while some follow, the module keeps what the next frame may
    // reuse (HostOptions::framesToFollow).
    std::int32_t framesToFollow = 0;
};

// Loads the module, checks that it accepts the document and runs the filter
// with the settings of `run`. With a `source`, `doc` is a canvas of its own
// size that the filter fills from the source at the source's resolution.
// Returns 0, or an exit status with a one-line reason in `error`.
// `inputRows`, when not null, says which rows of the image the filter reads
// (the source, or else `doc`) are already in from the file; `rowListener`,
// when not null, hears which rows of `doc` the run has finished.
// `recorded`, when not null, receives what the module recorded of its
// settings, for --record. A successful run replaces the cached settings and
// the dot map: a command calls setAsideDamagedState once before its first run.
// `pixelsDrawn`, when not null, counts the pixels the filter hands back.
// `memory`, when not null, says which rows the run may let go; a run that
// needed one of them again fails with `rowsAskedAgain` set in its report.
int runFilter(Document& doc, const std::string& modulePath, const RunSettingsOptions& run, bool showProgress,
              std::string& error, const Document* source = nullptr, RunReport* reportOut = nullptr,
              const RowGate* inputRows = nullptr, RowListener* rowListener = nullptr,
              RecordedAction* recorded = nullptr, std::atomic<std::int64_t>* pixelsDrawn = nullptr,
              const RunMemory* memory = nullptr);
// The same with a module that is loaded already (a batch loads it once for
// all of its files; every run still goes through all of its selectors).
struct LoadedModule;
int runFilter(Document& doc, const LoadedModule& module, const RunSettingsOptions& run, bool showProgress,
              std::string& error, const Document* source = nullptr, RunReport* reportOut = nullptr,
              const RowGate* inputRows = nullptr, RowListener* rowListener = nullptr,
              RecordedAction* recorded = nullptr, std::atomic<std::int64_t>* pixelsDrawn = nullptr,
              const RunMemory* memory = nullptr);

}  // namespace globaro
