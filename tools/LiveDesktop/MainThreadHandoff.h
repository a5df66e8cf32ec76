// How the HTTP server's threads hand work to the main thread: a version 0 source on the main
// run loop. A server thread queues its work, signals the source and wakes the loop up; the main
// thread runs the work when the loop performs the source, one piece at a time. So the session,
// the system's callbacks and everything made from them are only ever touched on the main thread,
// and no lock is needed outside this queue.
//
// A connection the main thread serves itself (the hand's WebSocket) is watched by the main run
// loop directly: what the client sends wakes the main thread, with no server thread between.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

#include "CoreFoundation/CFFileDescriptor.h"
#include "CoreFoundation/CFRunLoop.h"
#include "RetainPtr.h"

namespace sim::live {

class MainThreadHandoff {
public:
    // Main thread: the source, on the main run loop in its default mode.
    MainThreadHandoff();
    // Main thread, once no other thread uses the handoff any more and no descriptor is watched:
    // the source goes.
    ~MainThreadHandoff();
    MainThreadHandoff(const MainThreadHandoff&) = delete;
    MainThreadHandoff& operator=(const MainThreadHandoff&) = delete;

    // Any thread: queues `work` for the main thread without waiting for it. False, without
    // queueing it, once the handoff is closed.
    bool post(std::function<void()> work);
    // Any thread: no more work is taken; what is queued is dropped.
    void close();

    // Main thread: runs `readable` on the main thread, as a piece of work of its own, whenever
    // `descriptor` can be read or has hung up, until the handle returned goes (on the main
    // thread, before the descriptor is closed). `readable` may drop the handle.
    std::shared_ptr<void> watchReadable(int descriptor, std::function<void()> readable);

    // Main thread: puts the source and the watched descriptors back on the main run loop if they
    // are no longer there (the system's process takes every source of the loop with it when it
    // ends), each descriptor watched for its next bytes.
    void keepScheduled();
    // Main thread: how many pieces of work have run so far.
    std::uint64_t jobsRun() const { return jobsRun_; }

private:
    struct DescriptorWatch;
    static void performNext(void* info);
    static void descriptorReady(CFFileDescriptorRef descriptor, CFOptionFlags, void* info);
    void run(const std::function<void()>& work);

    std::mutex lock_;
    std::deque<std::function<void()>> jobs_;
    bool closed_ = false;
    bool running_ = false;       // main thread only: a job is running (and may run the loop itself)
    std::uint64_t jobsRun_ = 0;  // main thread only
    RetainPtr<CFRunLoopSourceRef> source_;
    std::set<DescriptorWatch*> watches_;  // main thread only
};

}  // namespace sim::live
