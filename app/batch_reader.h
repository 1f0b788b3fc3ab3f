#pragma once
// The inputs of a batch, read from their files on a thread of their own
// while the file before them is filtered. Reading runs at most one file
// ahead of the render: file i + 1 is read once file i is in, and file i + 2
// waits until the render of file i is over, so that no more than two inputs
// are held at once.

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/document.h"
#include "app/row_gate.h"

namespace globaro {

// An input whose rows are still arriving from its file: the render waits on
// the gate for the rows it needs.
class InputRead {
public:
    virtual ~InputRead() = default;
    virtual const RowGate& gate() const = 0;
    // Waits until every row is in; false with the reason when the file could
    // not be read to its end.
    virtual bool finish(std::string& error) = 0;
    // How long the reading took (once finished), in seconds.
    virtual double seconds() const = 0;
};

// The one line for an exception that ended the reading of `path`.
std::string readFailure(const std::string& path, const std::exception& e);

class BatchReader {
public:
    // Starts reading the first file. Throws when no thread can be started
    // (the caller then reads each file itself).
    explicit BatchReader(std::vector<std::string> paths);
    // Stops the reading and waits for the thread.
    ~BatchReader();
    BatchReader(const BatchReader&) = delete;
    BatchReader& operator=(const BatchReader&) = delete;

    // File `index`, taken in order: waits until its header is read and
    // returns its reading, whose rows keep arriving in `*doc`; null with the
    // file's one-line reason when it cannot be opened (or the batch stops).
    InputRead* take(std::size_t index, Document*& doc, std::string& error);
    // The render of file `index` is over, or will not happen (in order):
    // the file's reading stops, its image is freed and the file after the
    // next may be read.
    void release(std::size_t index);

private:
    struct Frame;
    void run();
    void readFrame(std::size_t index);
    bool waitEnded(const Frame& frame);

    std::vector<std::string> paths_;
    std::vector<std::unique_ptr<Frame>> frames_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t released_ = 0;  // the renders of files [0, released_) are over
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace globaro
