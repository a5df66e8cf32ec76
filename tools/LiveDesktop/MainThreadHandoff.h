// How the HTTP server's threads hand work to the main thread: a version 0 source on the main
// run loop. A server thread queues its work, signals the source, wakes the loop up and waits;
// the main thread runs the work when the loop performs the source, one piece at a time, and
// tells the waiting thread it is done. So the session, the system's callbacks and everything
// made from them are only ever touched on the main thread, and no lock is needed outside this
// queue.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "CoreFoundation/CFRunLoop.h"
#include "RetainPtr.h"

namespace sim::live {

class MainThreadHandoff {
public:
    // Main thread: the source, on the main run loop in its default mode.
    MainThreadHandoff();
    // Main thread, once no other thread uses the handoff any more: the source goes.
    ~MainThreadHandoff();
    MainThreadHandoff(const MainThreadHandoff&) = delete;
    MainThreadHandoff& operator=(const MainThreadHandoff&) = delete;

    // Any thread but the main one: runs `work` on the main thread and waits until it has run.
    // False, without running it, when the handoff is closed before the work's turn.
    bool perform(std::function<void()> work);
    // Any thread: queues `work` for the main thread without waiting for it.
    void post(std::function<void()> work);
    // Any thread: no more work is taken; what is queued is dropped and its callers return.
    void close();

    // Main thread: puts the source back on the main run loop if it is no longer there (the
    // system's process takes every source of the loop with it when it ends).
    void keepScheduled();
    // Main thread: how many pieces of work have run so far.
    std::uint64_t jobsRun() const { return jobsRun_; }

private:
    struct Job {
        std::function<void()> work;
        bool done = false;
    };
    static void performNext(void* info);
    void queue(std::shared_ptr<Job> job);

    std::mutex lock_;
    std::condition_variable finished_;
    std::deque<std::shared_ptr<Job>> jobs_;
    bool closed_ = false;
    bool running_ = false;       // main thread only: a job is running (and may run the loop itself)
    std::uint64_t jobsRun_ = 0;  // main thread only
    RetainPtr<CFRunLoopSourceRef> source_;
};

}  // namespace sim::live
