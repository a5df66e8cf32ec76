// SIGINT and SIGTERM while the live desktop serves: they must end the session the way the end of
// a script does, on the main thread, so they are taken by a thread of their own (sigwait) rather
// than interrupting whichever thread they fall on. Made before any other thread, so that every
// thread made later inherits the blocked signals. SIGPIPE, which a client that goes away while
// being answered would raise, is ignored meanwhile.
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace sim::live {

class StopSignals {
public:
    // `onSignal` runs on the watching thread, at most once.
    explicit StopSignals(std::function<void()> onSignal);
    // The watch ends; the signals' earlier handling comes back.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    sigset_t watched_{};
    sigset_t previousMask_{};
    struct sigaction previousPipe_ {};
    std::atomic<bool> ending_{false};
    std::thread watcher_;
};

}  // namespace sim::live
