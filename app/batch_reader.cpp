#include "app/batch_reader.h"

#include <chrono>
#include <new>

#include "app/image_io.h"

namespace globaro {

std::string readFailure(const std::string& path, const std::exception& e) {
    const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
    const std::string what = e.what();
    return "cannot read \"" + path +
           "\": " + (memory ? std::string("not enough memory") : what.substr(0, what.find('\n')));
}

struct BatchReader::Frame final : InputRead {
    BatchReader* owner = nullptr;
    Document doc;
    DocumentReader reader;
    RowGate rows;
    // Guarded by the owner's mutex. started: the thread took the file up;
    // opened: its header is read (openOk) or refused; ended: no more rows
    // will come (ok, or failed with `error`).
    bool started = false, opened = false, openOk = false, ended = false, ok = false;
    std::string error;
    double secondsTaken = 0.0;

    const RowGate& gate() const override { return rows; }
    bool finish(std::string& why) override {
        if (!owner->waitEnded(*this)) {
            why = error;
            return false;
        }
        return true;
    }
    double seconds() const override { return secondsTaken; }
};

BatchReader::BatchReader(std::vector<std::string> paths) : paths_(std::move(paths)) {
    frames_.resize(paths_.size());
    for (auto& frame : frames_) {
        frame = std::make_unique<Frame>();
        frame->owner = this;
    }
    thread_ = std::thread([this] { run(); });
}

BatchReader::~BatchReader() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (const auto& frame : frames_)
            if (frame != nullptr) frame->rows.stop();
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void BatchReader::run() {
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || i <= released_ + 1; });
            if (stopping_) return;
            if (released_ > i) continue;  // its render will not happen
            frames_[i]->started = true;
        }
        readFrame(i);
    }
}

void BatchReader::readFrame(std::size_t index) {
    Frame& frame = *frames_[index];
    const std::string& path = paths_[index];
    std::string error;
    bool ok = false;
    try {
        ok = frame.reader.open(path, frame.doc, error);
    } catch (const std::exception& e) {
        error = readFailure(path, e);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frame.opened = true;
        frame.openOk = ok;
        if (!ok) {
            frame.ended = true;
            frame.error = error;
        }
    }
    changed_.notify_all();
    if (!ok) return;
    const auto t0 = std::chrono::steady_clock::now();
    try {
        ok = frame.reader.readRows(frame.doc, &frame.rows, error);
    } catch (const std::exception& e) {
        ok = false;
        error = readFailure(path, e);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frame.ended = true;
        frame.ok = ok;
        frame.error = error;
        frame.secondsTaken = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    changed_.notify_all();
}

bool BatchReader::waitEnded(const Frame& frame) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return frame.ended; });
    return frame.ok;
}

InputRead* BatchReader::take(std::size_t index, Document*& doc, std::string& error) {
    std::unique_lock<std::mutex> lock(mutex_);
    Frame* frame = index < frames_.size() ? frames_[index].get() : nullptr;
    if (frame == nullptr) {
        error = "the batch has no file " + std::to_string(index + 1) + " to read";
        return nullptr;
    }
    changed_.wait(lock, [&] { return frame->opened || stopping_; });
    if (!frame->openOk) {
        error = frame->opened ? frame->error : "cannot read \"" + paths_[index] + "\": stopped";
        return nullptr;
    }
    doc = &frame->doc;
    return frame;
}

void BatchReader::release(std::size_t index) {
    std::unique_ptr<Frame> gone;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (index >= frames_.size() || frames_[index] == nullptr) return;
        Frame& frame = *frames_[index];
        frame.rows.stop();
        if (released_ < index + 1) released_ = index + 1;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !frame.started || frame.ended; });
        gone = std::move(frames_[index]);
    }
    // The image is freed outside the lock, and the thread may go on.
}

}  // namespace globaro
