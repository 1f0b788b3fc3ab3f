#include "app/streaming_write.h"

#include <algorithm>
#include <system_error>

namespace globaro {

StreamingWrite::StreamingWrite(const std::string& path, const Document& doc, int depth, bool keepAlpha)
    : path_(path), doc_(doc), depth_(depth), keepAlpha_(keepAlpha) {
    try {
        thread_ = std::thread([this] {
            try {
                writeRows();
            } catch (const std::exception&) {
                // Memory ran out: finish() writes the usual way, and says so
                // if that fails too.
                writer_.abandon();
                std::lock_guard<std::mutex> lock(mutex_);
                givenUp_ = true;
                earlyError_ = "cannot write \"" + path_ + "\": not enough memory";
            }
        });
    } catch (const std::exception&) {
        givenUp_ = true;  // no thread: the whole file is written at the end
    }
}

StreamingWrite::~StreamingWrite() {
    stopThread();
    writer_.abandon();
}

void StreamingWrite::stopThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!finishing_) givenUp_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void StreamingWrite::letWrittenRowsGo(Document& doc) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (&doc == &doc_) letGo_ = &doc;
}

void StreamingWrite::rowsFinished(std::int32_t rows) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_ = std::max(ready_, std::min(rows, doc_.height));
    }
    changed_.notify_all();
}

void StreamingWrite::rowsMayGo(std::int32_t rows) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mayGo_ = std::max(mayGo_, rows);
    }
    changed_.notify_all();
}

// Rows in the file that may leave memory (under the lock).
std::int32_t StreamingWrite::releasable() const { return letGo_ != nullptr ? std::min(written_, mayGo_) : 0; }

void StreamingWrite::rowsChanging() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        givenUp_ = true;
    }
    stopThread();
    writer_.abandon();
}

// The thread: writes the finished rows as they come, until every row is in
// or the early writing is given up.
void StreamingWrite::writeRows() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(
            lock, [&] { return givenUp_ || ready_ > written_ || written_ >= doc_.height || releasable() > released_; });
        if (givenUp_) return;
        if (releasable() > released_) {
            const std::int32_t from = released_, to = releasable();
            released_ = to;
            lock.unlock();
            releaseRows(*letGo_, from, to);
            lock.lock();
            continue;
        }
        if (written_ >= doc_.height) return;
        const std::int32_t from = written_, to = ready_;
        lock.unlock();
        std::string error;
        bool ok = true;
        if (!begun_) {
            // The first rows choose the file's channels.
            alphaInFile_ = doc_.hasAlpha && (keepAlpha_ || !rowsOpaque(doc_, 0, to));
            ok = writer_.begin(path_, doc_, depth_, alphaInFile_, error);
            begun_ = ok;
        }
        // A row with transparency cannot go into a file without it.
        if (ok && doc_.hasAlpha && !alphaInFile_ && !rowsOpaque(doc_, from, to)) ok = false;
        // (A writing error comes back from the usual writing at the end, or,
        // when rows have left memory, from here.)
        if (ok) ok = writer_.writeRows(to, error);
        if (!ok) writer_.abandon();
        lock.lock();
        if (!ok) {
            givenUp_ = true;
            earlyError_ = error;
            return;
        }
        written_ = to;
    }
}

bool StreamingWrite::finish(std::string& error, bool& wroteAlpha) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        rowsAtFinish_ = written_;
        finishing_ = true;
        ready_ = doc_.height;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (!givenUp_ && begun_ && written_ == doc_.height) {
        wroteAlpha = alphaInFile_;
        return writer_.commit(error);
    }
    writer_.abandon();
    if (released_ > 0) {
        // The file cannot be made again from what is left of the document.
        rowsNeededAgain_ = earlyError_.empty();
        error = rowsNeededAgain_ ? "cannot write \"" + path_ + "\": rows already let go are needed again" : earlyError_;
        return false;
    }
    wroteAlpha = doc_.hasAlpha && (keepAlpha_ || !everyPixelOpaque(doc_));
    return saveDocument(path_, doc_, depth_, error, wroteAlpha);
}

}  // namespace globaro
