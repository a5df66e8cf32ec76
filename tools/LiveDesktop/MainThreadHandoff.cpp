#include "LiveDesktop/MainThreadHandoff.h"

namespace sim::live {
namespace {

void keepOnMainLoop(CFRunLoopSourceRef source) {
    if (!CFRunLoopContainsSource(CFRunLoopGetMain(), source, kCFRunLoopDefaultMode)) {
        CFRunLoopAddSource(CFRunLoopGetMain(), source, kCFRunLoopDefaultMode);
    }
}

}  // namespace

struct MainThreadHandoff::DescriptorWatch {
    DescriptorWatch(MainThreadHandoff& owner, std::function<void()> onReadable)
        : handoff(owner), readable(std::move(onReadable)) {}
    DescriptorWatch(const DescriptorWatch&) = delete;
    DescriptorWatch& operator=(const DescriptorWatch&) = delete;
    ~DescriptorWatch() {
        handoff.watches_.erase(this);
        if (source) {
            CFRunLoopRemoveSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
        }
        if (descriptor) {
            CFFileDescriptorInvalidate(descriptor.get());
        }
    }

    MainThreadHandoff& handoff;
    std::function<void()> readable;
    RetainPtr<CFFileDescriptorRef> descriptor;
    RetainPtr<CFRunLoopSourceRef> source;
};

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

std::shared_ptr<void> MainThreadHandoff::watchReadable(int descriptor,
                                                       std::function<void()> readable) {
    auto watch = std::make_shared<DescriptorWatch>(*this, std::move(readable));
    CFFileDescriptorContext context{};
    context.info = watch.get();
    watch->descriptor = adoptCF(
        CFFileDescriptorCreate(kCFAllocatorDefault, descriptor, false, descriptorReady, &context));
    if (watch->descriptor) {
        watch->source = adoptCF(
            CFFileDescriptorCreateRunLoopSource(kCFAllocatorDefault, watch->descriptor.get(), 0));
    }
    if (!watch->source) {
        return nullptr;
    }
    watches_.insert(watch.get());
    keepScheduled();
    return watch;
}

void MainThreadHandoff::keepScheduled() {
    keepOnMainLoop(source_.get());
    for (DescriptorWatch* watch : watches_) {
        keepOnMainLoop(watch->source.get());
        CFFileDescriptorEnableCallBacks(watch->descriptor.get(), kCFFileDescriptorReadCallBack);
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

// A job that runs the loop itself (a script that waits) lets no other work in the middle of it:
// a queued job stays queued, a ready descriptor unwatched, until it is done.
void MainThreadHandoff::run(const std::function<void()>& work) {
    running_ = true;
    work();
    running_ = false;
    ++jobsRun_;
    keepScheduled();
    // A job that came meanwhile may have found the source's signal spent by a pass of the loop
    // this work ran.
    const std::lock_guard<std::mutex> lock(lock_);
    if (!jobs_.empty()) {
        CFRunLoopSourceSignal(source_.get());  // the next job, at the next pass
    }
}

void MainThreadHandoff::performNext(void* info) {
    auto* handoff = static_cast<MainThreadHandoff*>(info);
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
    handoff->run(job);
}

void MainThreadHandoff::descriptorReady(CFFileDescriptorRef, CFOptionFlags, void* info) {
    auto* watch = static_cast<DescriptorWatch*>(info);
    MainThreadHandoff& handoff = watch->handoff;
    if (handoff.running_) {
        return;  // watched again once the running job is done
    }
    // The work may drop the watch, and with it the function it runs from.
    const std::function<void()> readable = watch->readable;
    handoff.run(readable);
}

}  // namespace sim::live
