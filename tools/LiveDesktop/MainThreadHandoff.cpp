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

void MainThreadHandoff::queue(std::shared_ptr<Job> job) {
    jobs_.push_back(std::move(job));
    CFRunLoopSourceSignal(source_.get());
    CFRunLoopWakeUp(CFRunLoopGetMain());
}

bool MainThreadHandoff::perform(std::function<void()> work) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    std::unique_lock<std::mutex> lock(lock_);
    if (closed_) {
        return false;
    }
    queue(job);
    finished_.wait(lock, [&] { return job->done || closed_; });
    return job->done;
}

void MainThreadHandoff::post(std::function<void()> work) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    const std::lock_guard<std::mutex> lock(lock_);
    if (!closed_) {
        queue(std::move(job));
    }
}

void MainThreadHandoff::close() {
    {
        const std::lock_guard<std::mutex> lock(lock_);
        closed_ = true;
        jobs_.clear();
    }
    finished_.notify_all();
}

void MainThreadHandoff::performNext(void* info) {
    auto* handoff = static_cast<MainThreadHandoff*>(info);
    // A job that runs the loop itself (a script that waits) does not let the next job in the
    // middle of it: the next one runs when it is done.
    if (handoff->running_) {
        return;
    }
    std::shared_ptr<Job> job;
    {
        const std::lock_guard<std::mutex> lock(handoff->lock_);
        if (handoff->jobs_.empty()) {
            return;
        }
        job = std::move(handoff->jobs_.front());
        handoff->jobs_.pop_front();
    }
    handoff->running_ = true;
    job->work();
    handoff->running_ = false;
    ++handoff->jobsRun_;
    handoff->keepScheduled();
    {
        const std::lock_guard<std::mutex> lock(handoff->lock_);
        job->done = true;
        if (!handoff->jobs_.empty()) {
            CFRunLoopSourceSignal(handoff->source_.get());  // the next job, at the next pass
        }
    }
    handoff->finished_.notify_all();
}

}  // namespace sim::live
