#include "platform/threads.h"

#include <condition_variable>
#include <mutex>
#include <system_error>

namespace globaro {

namespace {

// Every event shares one lock and one condition: a wait for several events is
// then a plain scan under the lock. The driver has at most a hundred events,
// signalled once per tile, so the shared wake-ups cost nothing worth noting.
std::mutex& eventLock() {
    static std::mutex lock;
    return lock;
}

std::condition_variable& eventCondition() {
    static std::condition_variable condition;
    return condition;
}

}  // namespace

void AutoResetEvent::set() {
    {
        std::lock_guard<std::mutex> guard(eventLock());
        signalled_ = true;
    }
    eventCondition().notify_all();
}

void AutoResetEvent::reset() {
    std::lock_guard<std::mutex> guard(eventLock());
    signalled_ = false;
}

void AutoResetEvent::wait() {
    std::unique_lock<std::mutex> guard(eventLock());
    eventCondition().wait(guard, [this] { return signalled_; });
    signalled_ = false;
}

bool AutoResetEvent::isSet() const {
    std::lock_guard<std::mutex> guard(eventLock());
    return signalled_;
}

int waitForAny(AutoResetEvent* const* events, int count) {
    if (events == nullptr || count < 1) return -1;
    bool any = false;
    for (int i = 0; i < count; ++i) any = any || events[i] != nullptr;
    if (!any) return -1;
    std::unique_lock<std::mutex> guard(eventLock());
    int found = -1;
    eventCondition().wait(guard, [&] {
        for (int i = 0; i < count; ++i) {
            if (events[i] != nullptr && events[i]->signalled_) {
                found = i;
                return true;
            }
        }
        return false;
    });
    events[found]->signalled_ = false;
    return found;
}

int processorCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n < 1 ? 1 : static_cast<int>(n);
}

bool WorkerThread::start(std::function<void()> body) {
    if (thread_.joinable()) return false;
    try {
        thread_ = std::thread(std::move(body));
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void WorkerThread::join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace globaro
