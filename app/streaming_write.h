#pragma once
// Writes the rows a filter run has finished to the output file on a thread of
// its own while the run works further down, so that little of the file is
// left to write when the run ends.
//
// The file's channels are chosen from the first rows: without transparency
// when they are opaque (unless the transparency plane is to be kept). When a
// later row turns out not to be opaque, or the run changes a row already
// written, the early writing is given up and finish() writes the whole file
// the usual way: the file is always what saving the finished document would
// make.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "app/document.h"
#include "app/filter_host.h"
#include "app/image_io.h"

namespace globaro {

class StreamingWrite final : public RowListener {
public:
    // `depth` 0 keeps the document's depth; `keepAlpha` writes a transparency
    // plane even when every pixel is opaque.
    StreamingWrite(const std::string& path, const Document& doc, int depth, bool keepAlpha);
    // Stops the thread; a file not finished is removed.
    ~StreamingWrite() override;
    StreamingWrite(const StreamingWrite&) = delete;
    StreamingWrite& operator=(const StreamingWrite&) = delete;

    // Rows in the file that the run may let go (rowsMayGo) leave memory
    // (`doc` is the document given above): nothing reads them after the run.
    // When the early writing is then given up, the file cannot be made from
    // the document any more: finish() fails and rowsNeededAgain() says so.
    void letWrittenRowsGo(Document& doc);

    void rowsFinished(std::int32_t rows) override;
    void rowsChanging() override;
    void rowsMayGo(std::int32_t rows) override;

    // After a successful run: writes the rows left (or the whole file, when
    // the early writing was given up) and puts the file in place. False with
    // a one-line reason. `wroteAlpha` says whether the file took the
    // transparency plane.
    bool finish(std::string& error, bool& wroteAlpha);
    // Rows written before finish() was called (for the timings).
    std::int32_t rowsWrittenEarly() const { return rowsAtFinish_; }
    // finish() failed because rows already let go were needed for the file:
    // the run must be made again with every row kept.
    bool rowsNeededAgain() const { return rowsNeededAgain_; }

private:
    void writeRows();
    void stopThread();

    const std::string path_;
    const Document& doc_;
    const int depth_;
    const bool keepAlpha_;
    ImageFileWriter writer_;
    bool alphaInFile_ = false;
    bool begun_ = false;  // the file has been created

    std::mutex mutex_;
    std::condition_variable changed_;
    std::int32_t ready_ = 0;    // rows the run has finished
    std::int32_t written_ = 0;  // rows in the file
    std::int32_t rowsAtFinish_ = 0;
    bool givenUp_ = false;    // the early writing stopped for good
    bool finishing_ = false;  // every row is final: write them all
    std::int32_t releasable() const;
    Document* letGo_ = nullptr;  // the document whose written rows leave memory
    std::int32_t mayGo_ = 0;     // rows the run may let go
    std::int32_t released_ = 0;  // rows [0, released_) have left it
    std::string earlyError_;     // why the early writing failed, if the file did
    bool rowsNeededAgain_ = false;
    std::thread thread_;
};

}  // namespace globaro
