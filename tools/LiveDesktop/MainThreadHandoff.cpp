#include "LiveDesktop/MainThreadHandoff.h"

namespace sim::live {

MainThreadHandoff::MainThreadHandoff() {
    CFRunLoopSourceContext context{};
    context.info = this;
    context.perform = performNext;
    source_ = adoptCF(CFRunLoopSourceCreate(kCFAllocatorDefault, 0, &context));
    CFRunLoopAddSource(CFRunLoopGetMain(), source_.get(), kCFRunLoopDefaultMode);
}

MainThreadHandoff::~MainThreadHandoff() {
    close();
    CFRunLoopRemoveSource(CFRunLoopGetMain(), source_.get(), kCFRunLoopDefaultMode);
    CFRunLoopSourceInvalidate(source_.get());
}

void MainThreadHandoff::keepScheduled() {
    if (!CFRunLoopContainsSource(CFRunLoopGetMain(), source_.get(), kCFRunLoopDefaultMode)) {
        CFRunLoopAddSource(CFRunLoopGetMain(), source_.get(), kCFRunLoopDefaultMode);
    }
}

bool MainThreadHandoff::post(std::function<void()> work) {
    const std::lock_guard<std::mutex> lock(lock_);
    if (closed_) {
        return false;
    }
    jobs_.push_back(std::move(work));
    CFRunLoopSourceSignal(source_.get());
    CFRunLoopWakeUp(CFRunLoopGetMain());
    return true;
}

void MainThreadHandoff::close() {
    std::deque<std::function<void()>> dropped;
    const std::lock_guard<std::mutex> lock(lock_);
    closed_ = true;
    dropped.swap(jobs_);
}

void MainThreadHandoff::performNext(void* info) {
    auto* handoff = static_cast<MainThreadHandoff*>(info);
    // A job that runs the loop itself (a script that waits) does not let the next job in the
    // middle of it: the next one runs when it is done.
    if (handoff->running_) {
        return;
    }
    std::function<void()> job;
    {
        const std::lock_guard<std::mutex> lock(handoff->lock_);
        if (handoff->jobs_.empty()) {
            return;
        }
        job = std::move(handoff->jobs_.front());
        handoff->jobs_.pop_front();
    }
    handoff->running_ = true;
    job();
    handoff->running_ = false;
    ++handoff->jobsRun_;
    handoff->keepScheduled();
    const std::lock_guard<std::mutex> lock(handoff->lock_);
    if (!handoff->jobs_.empty()) {
        CFRunLoopSourceSignal(handoff->source_.get());  // the next job, at the next pass
    }
}

}  // namespace sim::live
