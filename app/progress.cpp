#include "app/progress.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

namespace globaro {

namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::ordered_json;

constexpr auto kTick = std::chrono::milliseconds(100);  // the most often a line is redrawn
constexpr int kBarWidth = 24;
// The time left is guessed from the pace so far once this much is done.
constexpr double kLeastForEstimate = 0.01;
constexpr double kLeastSecondsForEstimate = 0.5;
// Reading a pixel from its file costs about a tenth of drawing one (a
// 2048 x 1024 PNG reads in 0.2 s; the filter draws it in 3 s).
constexpr double kReadWeight = 0.1;
// A render's time left follows its pace over the last few seconds: reading
// and drawing go at very different paces.
constexpr double kPaceSeconds = 3.0;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

std::optional<double> estimate(double fraction, double seconds) {
    if (fraction < kLeastForEstimate || seconds < kLeastSecondsForEstimate || fraction >= 1.0) return std::nullopt;
    return seconds * (1.0 - fraction) / fraction;
}

// "0:42", "12:05", "2:03:00"
std::string clockText(double seconds) {
    const auto s = static_cast<long>(std::lround(seconds));
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

std::string progressJson(const ProgressEvent& e) {
    Json j;
    j["file"] = e.file;
    j["index"] = e.index;
    j["count"] = e.count;
    j["percent"] = e.percent;
    j["eta_seconds"] = e.etaSeconds ? Json(std::round(*e.etaSeconds * 10.0) / 10.0) : Json(nullptr);
    j["state"] = e.state;
    // Names that are not UTF-8 are kept readable rather than refused.
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool parseProgressJson(std::string_view line, ProgressEvent& e) {
    const Json j = Json::parse(line, nullptr, false);
    if (!j.is_object()) return false;
    try {
        ProgressEvent parsed;
        parsed.file = j.at("file").get<std::string>();
        parsed.index = j.at("index").get<std::size_t>();
        parsed.count = j.at("count").get<std::size_t>();
        parsed.percent = std::clamp(j.at("percent").get<int>(), 0, 100);
        if (const Json& eta = j.at("eta_seconds"); !eta.is_null()) parsed.etaSeconds = eta.get<double>();
        parsed.state = j.at("state").get<std::string>();
        e = std::move(parsed);
        return true;
    } catch (const Json::exception&) {
        return false;
    }
}

// ---- ProgressDisplay ------------------------------------------------------

namespace {

ProgressDisplay::Style styleFor(ProgressMode mode, std::FILE* out) {
    switch (mode) {
        case ProgressMode::kJson:
            return ProgressDisplay::Style::kJson;
        case ProgressMode::kNone:
            return ProgressDisplay::Style::kNone;
        case ProgressMode::kAuto:
            break;
    }
    return isatty(fileno(out)) ? ProgressDisplay::Style::kLine : ProgressDisplay::Style::kNone;
}

}  // namespace

ProgressDisplay::ProgressDisplay(ProgressMode mode, std::size_t count, std::FILE* out)
    : ProgressDisplay(styleFor(mode, out), count, out) {}

ProgressDisplay::ProgressDisplay(Style style, std::size_t count, std::FILE* out)
    : style_(style), count_(std::max<std::size_t>(count, 1)), out_(out), started_(Clock::now()) {}

ProgressDisplay::~ProgressDisplay() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lineShown_) std::fputc('\n', out_);
    std::fflush(out_);
}

void ProgressDisplay::update(const ProgressEvent& e) {
    if (style_ == Style::kNone) return;
    std::lock_guard<std::mutex> lock(mutex_);
    ProgressEvent& kept = files_[e.index];
    const bool news = kept.file.empty() || e.state != kept.state || e.percent > kept.percent;
    const bool ended = e.state != "running";
    // A file's percentage never goes down, whatever order the lines came in.
    const int percent = std::max(kept.file.empty() ? 0 : kept.percent, e.percent);
    kept = e;
    kept.percent = percent;
    if (style_ == Style::kJson) {
        if (!news) return;
        std::fputs((progressJson(kept) + "\n").c_str(), out_);
        std::fflush(out_);
        return;
    }
    drawLine(ended);
}

void ProgressDisplay::drawLine(bool force) {
    const auto now = Clock::now();
    if (!force && lineShown_ && now - lastDrawn_ < kTick) return;
    lastDrawn_ = now;
    double sum = 0.0;
    std::size_t begun = 0, ended = 0;
    const ProgressEvent* latest = nullptr;
    for (const auto& [index, e] : files_) {
        sum += e.percent / 100.0;
        ++begun;
        if (e.state != "running")
            ++ended;
        else
            latest = &e;
    }
    const double fraction = std::clamp(sum / static_cast<double>(count_), 0.0, 1.0);
    const int percent = static_cast<int>(fraction * 100.0);
    const int filled = static_cast<int>(fraction * kBarWidth);
    std::string line = "\r  ";
    if (count_ > 1) line += std::to_string(std::min(begun, count_)) + "/" + std::to_string(count_) + "  ";
    line += "[" + std::string(static_cast<std::size_t>(filled), '=') +
            std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] ";
    char number[8];
    std::snprintf(number, sizeof number, "%3d%%", percent);
    line += number;
    const auto eta = estimate(fraction, secondsSince(started_));
    line += eta ? "  " + clockText(*eta) + " left" : std::string("           ");
    if (count_ > 1 && latest != nullptr) line += "  " + latest->file.substr(0, 40);
    line += "\x1b[K";
    std::fputs(line.c_str(), out_);
    lineShown_ = true;
    if (ended == count_) {
        std::fputc('\n', out_);
        lineShown_ = false;
    }
    std::fflush(out_);
}

void ProgressDisplay::clearLine() {
    if (style_ != Style::kLine) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!lineShown_) return;
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
    lineShown_ = false;
}

// ---- RenderProgress -------------------------------------------------------

RenderProgress::RenderProgress(ProgressDisplay& display, std::string file, std::size_t index, std::size_t count)
    : display_(display), started_(Clock::now()) {
    event_.file = std::move(file);
    event_.index = index;
    event_.count = count;
    if (!display_.active()) return;
    report("running", 0.0);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::exception&) {
        // Without a thread the run still goes on, with its first and last events.
    }
}

RenderProgress::~RenderProgress() {
    bool failed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failed = !finished_;
        finished_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (failed && display_.active()) report("failed", fraction());
}

void RenderProgress::watch(const RowGate* reading, std::int32_t inputWidth, std::int64_t inputPixels,
                           const std::atomic<std::int64_t>* drawn, std::int64_t outputPixels) {
    std::lock_guard<std::mutex> lock(mutex_);
    reading_ = reading;
    inputWidth_ = inputWidth;
    inputPixels_ = reading != nullptr ? inputPixels : 0;
    drawnSource_ = drawn;
    outputPixels_ = outputPixels;
}

void RenderProgress::finish(bool ok) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finished_) return;
        finished_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (display_.active()) report(ok ? "done" : "failed", ok ? 1.0 : fraction());
}

double RenderProgress::fraction() const {
    // Called with the watched counters set (or none yet).
    const double total = kReadWeight * static_cast<double>(inputPixels_) + static_cast<double>(outputPixels_);
    if (total <= 0.0) return 0.0;
    const std::int64_t read = reading_ != nullptr ? std::int64_t{reading_->ready()} * inputWidth_ : 0;
    const std::int64_t drawn = drawnSource_ != nullptr ? drawnSource_->load() : 0;
    const double done = kReadWeight * static_cast<double>(std::min(read, inputPixels_)) +
                        static_cast<double>(std::min(drawn, outputPixels_));
    return done / total;
}

std::optional<double> RenderProgress::timeLeft(double fraction) {
    const double now = secondsSince(started_);
    pace_.emplace_back(now, fraction);
    while (pace_.size() > 2 && now - pace_[1].first >= kPaceSeconds) pace_.pop_front();
    const auto [then, was] = pace_.front();
    if (fraction < kLeastForEstimate || now < kLeastSecondsForEstimate || fraction >= 1.0 || fraction <= was)
        return std::nullopt;
    return (now - then) * (1.0 - fraction) / (fraction - was);
}

void RenderProgress::report(const char* state, double fraction) {
    ProgressEvent e = event_;
    e.state = state;
    // Full only once the file is in place.
    const int most = e.state == "done" ? 100 : 99;
    e.percent = std::clamp(static_cast<int>(fraction * 100.0), 0, most);
    if (e.state == "done") e.percent = 100;
    e.etaSeconds = e.state == "done" ? std::optional<double>(0.0) : timeLeft(fraction);
    display_.update(e);
}

void RenderProgress::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kTick, [this] { return finished_; })) {
        const double f = fraction();
        lock.unlock();
        report("running", f);
        lock.lock();
    }
}

// ---- ProgressPipe ---------------------------------------------------------

namespace {

// A line longer than any progress line (a file name of 4 KiB included) is
// not one: it is dropped.
constexpr std::size_t kLongestLine = 8192;

}  // namespace

ProgressPipe::~ProgressPipe() {
    for (int& fd : fds_)
        if (fd >= 0) ::close(fd);
}

bool ProgressPipe::open() {
    if (pipe2(fds_, O_CLOEXEC) != 0) {
        fds_[0] = fds_[1] = -1;
        return false;
    }
    fcntl(fds_[0], F_SETFL, fcntl(fds_[0], F_GETFL) | O_NONBLOCK);
    return true;
}

void ProgressPipe::drain(ProgressDisplay& display) {
    if (fds_[0] < 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fds_[0], buffer, sizeof buffer);
        if (n <= 0) break;
        pending_.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            ProgressEvent e;
            if (parseProgressJson(std::string_view(pending_).substr(0, end), e)) display.update(e);
            pending_.erase(0, end + 1);
        }
        if (pending_.size() > kLongestLine) pending_.clear();
    }
}

}  // namespace globaro
