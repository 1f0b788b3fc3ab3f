#pragma once
// How far a render (or a batch of them) has come, shown on standard error:
// on a terminal one line with a bar, the percentage, the time left and, in
// a batch, the file counter; for scripts one JSON object per line and per
// change:
//   {"file":"a.jpg","index":1,"count":3,"percent":42,"eta_seconds":3.5,"state":"running"}
// `index` counts from 1; `eta_seconds` is null until it can be estimated;
// `state` is "running", then "done" (percent 100) or "failed". A file's
// percentage never goes down.
//
// A render's work is the input's pixels read from the file plus the
// output's pixels the filter hands back, so the percentage follows the
// rows as they are read and the tiles as they are drawn. A batch rendered
// by worker processes gets the workers' JSON lines through a pipe and shows
// them as its own.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "app/row_gate.h"

namespace globaro {

// What --progress asks for: a line on a terminal (auto: only when standard
// error is one), JSON lines, or nothing.
enum class ProgressMode : std::uint8_t { kAuto, kJson, kNone };

struct ProgressEvent {
    std::string file;
    std::size_t index = 1, count = 1;
    int percent = 0;
    std::optional<double> etaSeconds;
    std::string state = "running";
};

std::string progressJson(const ProgressEvent& e);
// False for a line that is not a progress event.
bool parseProgressJson(std::string_view line, ProgressEvent& e);

// Shows the events of every file of a run. Safe to call from any thread.
class ProgressDisplay {
public:
    enum class Style : std::uint8_t { kNone, kLine, kJson };
    // `mode` resolved against `out` (a terminal or not).
    ProgressDisplay(ProgressMode mode, std::size_t count, std::FILE* out = stderr);
    ProgressDisplay(Style style, std::size_t count, std::FILE* out);
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    Style style() const { return style_; }
    bool active() const { return style_ != Style::kNone; }
    void update(const ProgressEvent& e);
    // Takes the progress line off the terminal before other text is printed
    // there; it comes back with the next change.
    void clearLine();

private:
    void drawLine(bool force);

    const Style style_;
    const std::size_t count_;
    std::FILE* const out_;
    std::mutex mutex_;
    std::map<std::size_t, ProgressEvent> files_;  // by index
    std::chrono::steady_clock::time_point started_, lastDrawn_{};
    bool lineShown_ = false;
};

// Watches the render of one file: a thread of its own turns the counters of
// the work into events for the display, ten times a second at most.
class RenderProgress {
public:
    RenderProgress(ProgressDisplay& display, std::string file, std::size_t index, std::size_t count);
    ~RenderProgress();  // ends the thread (a render that never finished counts as failed)
    RenderProgress(const RenderProgress&) = delete;
    RenderProgress& operator=(const RenderProgress&) = delete;

    // The work: `inputPixels` read row by row through `reading` (rows of
    // `inputWidth`), then `outputPixels` counted in `drawn`.
    void watch(const RowGate* reading, std::int32_t inputWidth, std::int64_t inputPixels,
               const std::atomic<std::int64_t>* drawn, std::int64_t outputPixels);
    // The file is in place (or the render failed): the last event.
    void finish(bool ok);
    ProgressDisplay& display() { return display_; }
    // Pixels handed back so far, for the host to count into.
    std::atomic<std::int64_t>& drawnCounter() { return drawn_; }

private:
    void run();
    double fraction() const;
    void report(const char* state, double fraction);
    // The time left at the recent pace (called by report() only).
    std::optional<double> timeLeft(double fraction);

    ProgressDisplay& display_;
    ProgressEvent event_;
    std::chrono::steady_clock::time_point started_;
    std::atomic<std::int64_t> drawn_{0};
    std::deque<std::pair<double, double>> pace_;  // (seconds, fraction) of the recent reports

    std::mutex mutex_;
    std::condition_variable wake_;
    const RowGate* reading_ = nullptr;
    std::int32_t inputWidth_ = 0;
    std::int64_t inputPixels_ = 0, outputPixels_ = 0;
    const std::atomic<std::int64_t>* drawnSource_ = nullptr;
    bool finished_ = false;
    std::thread thread_;
};

// The pipe through which the worker processes of a batch send their
// progress lines to the batch.
class ProgressPipe {
public:
    ProgressPipe() = default;
    ~ProgressPipe();
    ProgressPipe(const ProgressPipe&) = delete;
    ProgressPipe& operator=(const ProgressPipe&) = delete;

    // False when no pipe can be had (the batch then goes on without).
    bool open();
    // The end a worker writes to.
    int writeEnd() const { return fds_[1]; }
    // Shows the complete lines that have arrived, without waiting.
    void drain(ProgressDisplay& display);

private:
    int fds_[2] = {-1, -1};
    std::string pending_;
};

}  // namespace globaro
