#pragma once
// The rows of an image that another thread is still reading from its file:
// the reader publishes how many rows from the top are in, and a consumer
// waits for the rows it needs. Either side can end it early: the reader when
// the file turns out damaged, the consumer when it no longer wants the rows.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace globaro {

class RowGate {
public:
    // Consumer: blocks until rows [0, rows) are in (true), or until the
    // reading ended without them (false).
    bool waitFor(std::int32_t rows) const {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return ready_ >= rows || ended_; });
        return ready_ >= rows;
    }
    // Rows [0, ready()) are in (the reader may publish more at any time).
    std::int32_t ready() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return ready_;
    }
    // Consumer: asks the reader to stop at its next strip.
    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_ = true;
    }

    // Reader: rows [0, rows) are in. False when the consumer asked it to stop.
    bool publish(std::int32_t rows) {
        bool wanted;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ready_ = rows;
            wanted = !stopRequested_;
        }
        changed_.notify_all();
        return wanted;
    }
    // Reader: no more rows will come (all are in, or the reading failed).
    void end() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::int32_t ready_ = 0;
    bool ended_ = false;
    bool stopRequested_ = false;
};

}  // namespace globaro
