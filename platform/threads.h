#pragma once
// The small threading layer the render driver runs on: auto-reset events, a
// wait for any of several events, worker threads and the processor count.
//
// Events behave like the operating system's auto-reset events: `set` leaves
// the event signalled until one waiter consumes it; a wait that finds it
// signalled returns at once and clears it. `waitForAny` consumes exactly one
// signalled event, the one with the lowest index.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

namespace globaro {

class AutoResetEvent {
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    // Signals the event and wakes its waiters.
    void set();
    // Clears the event without waiting.
    void reset();
    // Waits (no timeout) until the event is signalled, then clears it.
    void wait();
    // True when signalled; the state is left as it is.
    bool isSet() const;

private:
    friend int waitForAny(AutoResetEvent* const* events, int count);
    bool signalled_ = false;
};

// Waits (no timeout) until one of `events` is signalled, clears it and
// returns its index. Null entries are skipped. Returns -1 when there is no
// event to wait for (count < 1 or every entry null).
int waitForAny(AutoResetEvent* const* events, int count);

// The number of processors the system reports, at least 1.
int processorCount();

// A thread that runs one body and is joined when the object ends (or by
// `join`). Starting can fail when the system has no resources left.
class WorkerThread {
public:
    WorkerThread() = default;
    ~WorkerThread() { join(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts `body` on a new thread. False when no thread could be started
    // (or one is still attached to this object).
    bool start(std::function<void()> body);
    // Waits for the thread to end; does nothing when none is attached.
    void join();
    bool running() const { return thread_.joinable(); }

private:
    std::thread thread_;
};

}  // namespace globaro
