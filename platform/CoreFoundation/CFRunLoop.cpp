#include "CoreFoundation/CFRunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <vector>

#include "CoreFoundation/CFFileDescriptorInternal.h"
#include "CoreFoundation/CFMachPort.h"
#include "CoreFoundation/CFRunLoopInternal.h"
#include "Foundation/NSString.h"
#include "RetainPtr.h"
#include "sim/Clock.h"

const CFStringRef kCFRunLoopDefaultMode = CFStringMakeConstant("kCFRunLoopDefaultMode");
const CFStringRef kCFRunLoopCommonModes = CFStringMakeConstant("kCFRunLoopCommonModes");

class __CFRunLoop final : public CFOpaqueObject<__CFRunLoop> {
public:
    __CFRunLoop()
        : CFOpaqueObject(Immortal{}), wakeDescriptor_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        reset();
    }

    CFTypeID typeID() const override { return kCFRunLoopTypeID; }

    struct Items {
        std::vector<RetainPtr<__CFRunLoopSource*>> sources;
        std::vector<RetainPtr<__CFRunLoopTimer*>> timers;
    };

    void reset() {
        modes_.clear();
        common_ = Items{};
        commonModes_ = {kCFRunLoopDefaultMode->units()};
        stopped_ = false;
    }

    // The items of a mode name as given to Add/Remove: the common set or one mode's own set.
    Items& itemsFor(CFRunLoopMode mode) {
        return mode->isEqualToString(kCFRunLoopCommonModes) ? common_ : modes_[mode->units()];
    }

    bool isCommon(const std::u16string& mode) const { return commonModes_.count(mode) != 0; }

    // Everything that belongs to `mode`: its own items and, for a common mode, the common ones.
    template <class Visit>
    void forEachSource(const std::u16string& mode, Visit visit) {
        auto visitAll = [&](Items& items) {
            for (auto& source : items.sources) {
                visit(source.get());
            }
        };
        if (auto found = modes_.find(mode); found != modes_.end()) {
            visitAll(found->second);
        }
        if (isCommon(mode)) {
            visitAll(common_);
        }
    }

    std::vector<__CFRunLoopTimer*> timersOf(const std::u16string& mode) {
        std::vector<__CFRunLoopTimer*> timers;
        auto collect = [&](Items& items) {
            for (auto& timer : items.timers) {
                if (timer->valid) {
                    timers.push_back(timer.get());
                }
            }
        };
        if (auto found = modes_.find(mode); found != modes_.end()) {
            collect(found->second);
        }
        if (isCommon(mode)) {
            collect(common_);
        }
        return timers;
    }

    bool hasAnything(const std::u16string& mode) {
        bool any = !timersOf(mode).empty();
        forEachSource(mode, [&](__CFRunLoopSource* source) { any = any || source->isValid(); });
        return any;
    }

    CFAbsoluteTime nextFireDate(const std::u16string& mode) {
        CFAbsoluteTime next = -1;
        for (__CFRunLoopTimer* timer : timersOf(mode)) {
            if (next < 0 || timer->fireDate < next) {
                next = timer->fireDate;
            }
        }
        return next;
    }

    // The descriptor sources of `mode` with a callback enabled, and what each waits for.
    void watchedDescriptors(const std::u16string& mode,
                            std::vector<RetainPtr<__CFRunLoopSource*>>& sources,
                            std::vector<pollfd>& polled) {
        forEachSource(mode, [&](__CFRunLoopSource* source) {
            if (source->descriptor() == nullptr || !source->isValid()) {
                return;
            }
            const __CFFileDescriptor* descriptor = layoutOf(source->descriptor());
            if (const short events = descriptor->pollEvents(); events != 0) {
                sources.push_back(retainPtr(source));
                polled.push_back({descriptor->descriptor(), events, 0});
            }
        });
    }

    // Calls out for every watched descriptor of `mode` that is ready now. Returns whether any
    // callout ran.
    bool performReadyDescriptors(const std::u16string& mode) {
        std::vector<RetainPtr<__CFRunLoopSource*>> sources;
        std::vector<pollfd> polled;
        watchedDescriptors(mode, sources, polled);
        if (polled.empty() || ::poll(polled.data(), polled.size(), 0) <= 0) {
            return false;
        }
        bool handled = false;
        for (std::size_t index = 0; index < polled.size(); ++index) {
            if (polled[index].revents != 0) {
                handled =
                    layoutOf(sources[index]->descriptor())->callOutFor(polled[index].revents) ||
                    handled;
            }
        }
        return handled;
    }

    // One pass: signalled version 0 sources of the mode in order, then the watched descriptors
    // that are ready, then every timer due now in order of fire date and creation. Returns
    // whether anything ran.
    bool runOnePass(const std::u16string& mode) {
        bool handled = false;
        std::vector<RetainPtr<__CFRunLoopSource*>> signaled;
        forEachSource(mode, [&](__CFRunLoopSource* source) {
            if (source->signaled_ && source->valid_ && source->context_.perform != nullptr) {
                signaled.push_back(retainPtr(source));
            }
        });
        std::stable_sort(signaled.begin(), signaled.end(),
                         [](const auto& a, const auto& b) { return a->order_ < b->order_; });
        for (auto& source : signaled) {
            // Cleared before the perform: a signal sent meanwhile is for the next pass.
            if (source->signaled_.exchange(false)) {
                source->context_.perform(source->context_.info);
                handled = true;
            }
        }
        handled = performReadyDescriptors(mode) || handled;

        const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
        std::vector<RetainPtr<__CFRunLoopTimer*>> due;
        for (__CFRunLoopTimer* timer : timersOf(mode)) {
            if (timer->fireDate <= now) {
                due.push_back(retainPtr(timer));
            }
        }
        std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) {
            if (a->fireDate != b->fireDate)
                return a->fireDate < b->fireDate;
            if (a->order != b->order)
                return a->order < b->order;
            return a->sequence < b->sequence;
        });
        for (auto& timer : due) {
            if (!timer->valid) {
                continue;  // invalidated by an earlier timer of this pass
            }
            if (timer->interval > 0) {
                // A repeating timer keeps its schedule: the next fire date after now.
                while (timer->fireDate <= now) {
                    timer->fireDate += timer->interval;
                }
            } else {
                CFRunLoopTimerInvalidate(timer.get());
            }
            if (timer->block) {
                timer->block(timer.get());
            } else if (timer->callout != nullptr) {
                timer->callout(timer.get(), timer->context_.info);
            }
            handled = true;
        }
        purgeInvalidTimers();
        return handled;
    }

    void purgeInvalidTimers() {
        auto purge = [](Items& items) {
            std::erase_if(items.timers, [](const auto& timer) { return !timer->valid; });
        };
        for (auto& [name, items] : modes_) {
            purge(items);
        }
        purge(common_);
    }

    // Runs `mode` until the loop is stopped, has nothing left to run, has handled a source
    // (when asked to return then) or reaches `seconds`, and answers which. One loop, kept whole:
    // each pass either ends the run in one of those ways or moves the clock (the paced clock
    // by sleeping until the wall clock gets there, the virtual one at once); split by clock,
    // both halves would repeat every end.
    SInt32 run(const std::u16string& mode, CFTimeInterval seconds, bool returnAfterSourceHandled) {
        if (!hasAnything(mode)) {
            return kCFRunLoopRunFinished;
        }
        // Paced, the time to run for counts from the wall clock's time, not from the last time
        // the clock was moved to.
        const CFAbsoluteTime start = sim::clockIsPaced()
                                         ? sim::pacedClockNow() + sim::kReferenceDate
                                         : CFAbsoluteTimeGetCurrent();
        const CFAbsoluteTime deadline = start + std::max(0.0, seconds);
        const std::u16string outerMode = currentMode_;
        const bool outerRunning = running_;
        currentMode_ = mode;
        running_ = true;
        stopped_ = false;
        SInt32 result = kCFRunLoopRunTimedOut;
        for (;;) {
            const bool handled = runOnePass(mode);
            sim::worldTurn();
            if (stopped_) {
                stopped_ = false;
                result = kCFRunLoopRunStopped;
                break;
            }
            if (handled && returnAfterSourceHandled) {
                result = kCFRunLoopRunHandledSource;
                break;
            }
            if (handled) {
                continue;  // something ran: what it scheduled for now runs before time moves
            }
            const CFAbsoluteTime next = nextFireDate(mode);
            if (sim::clockIsPaced()) {
                if (next < 0 && !hasAnything(mode)) {
                    result = kCFRunLoopRunFinished;
                    break;
                }
                const bool timerFirst = next >= 0 && next <= deadline;
                if (!sleepUntilWallClockReaches(timerFirst ? next : deadline, mode)) {
                    continue;  // woken up, or a descriptor is ready: a pass looks
                }
                if (timerFirst) {
                    sim::advanceClockTo(std::max(next, CFAbsoluteTimeGetCurrent()) -
                                        sim::kReferenceDate);
                    continue;
                }
                sim::advanceClockTo(deadline - sim::kReferenceDate);
                break;
            }
            if (next < 0 || next > deadline) {
                if (deadline < std::numeric_limits<double>::infinity()) {
                    sim::advanceClockTo(deadline - sim::kReferenceDate);
                }
                result =
                    next < 0 && !hasAnything(mode) ? kCFRunLoopRunFinished : kCFRunLoopRunTimedOut;
                break;
            }
            sim::advanceClockTo(std::max(next, CFAbsoluteTimeGetCurrent()) - sim::kReferenceDate);
        }
        currentMode_ = outerMode;
        running_ = outerRunning;
        return result;
    }

    // Paced: sleeps until the wall clock reaches `until` (an absolute time; infinity: no limit),
    // the loop is woken up or a descriptor `mode` watches is ready. True when the time came,
    // false otherwise.
    bool sleepUntilWallClockReaches(CFAbsoluteTime until, const std::u16string& mode) {
        if (woken_.exchange(false)) {
            drainWakeUps();
            return false;
        }
        std::vector<RetainPtr<__CFRunLoopSource*>> sources;
        std::vector<pollfd> polled{{wakeDescriptor_, POLLIN, 0}};
        watchedDescriptors(mode, sources, polled);
        auto wait = std::chrono::steady_clock::duration::max();
        if (!std::isinf(until)) {
            wait = std::max(
                sim::wallInstantOf(until - sim::kReferenceDate) - std::chrono::steady_clock::now(),
                std::chrono::steady_clock::duration::zero());
        }
        // Without its eventfd (the process had no descriptor left when the loop was made) no
        // other thread can interrupt the sleep: it is cut into slices, and a wake-up is seen at
        // the end of the slice it came in.
        const bool sliced = wakeDescriptor_ < 0 && wait > kSliceWithoutWakeUps;
        if (sliced) {
            wait = kSliceWithoutWakeUps;
        }
        const bool limited = wait != std::chrono::steady_clock::duration::max();
        timespec left{};
        if (limited) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
            left.tv_sec = static_cast<time_t>(seconds.count());
            left.tv_nsec = static_cast<long>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(wait - seconds).count());
        }
        const int ready = ::ppoll(polled.data(), polled.size(), limited ? &left : nullptr, nullptr);
        if (ready == 0) {
            return !sliced;  // a slice's end is not the time asked for: the loop looks again
        }
        if (polled[0].revents != 0) {
            woken_.store(false);
            drainWakeUps();
        }
        return false;  // woken, a descriptor ready, or interrupted: the loop looks again
    }

    void drainWakeUps() {
        eventfd_t count = 0;
        [[maybe_unused]] const int ignored = ::eventfd_read(wakeDescriptor_, &count);
    }

    // Any thread. Only the first wake-up since the loop last looked writes to the descriptor.
    void wakeUp() {
        if (!woken_.exchange(true)) {
            [[maybe_unused]] const int ignored = ::eventfd_write(wakeDescriptor_, 1);
        }
    }

    std::map<std::u16string, Items> modes_;
    Items common_;
    std::set<std::u16string> commonModes_;
    std::u16string currentMode_;
    bool running_ = false;
    bool stopped_ = false;
    static constexpr std::chrono::milliseconds kSliceWithoutWakeUps{5};
    // The one part another thread touches: the wake-up of a loop sleeping for the wall clock.
    const int wakeDescriptor_;
    std::atomic<bool> woken_ = false;
};

namespace {

__CFRunLoop* mainRunLoop() {
    static __CFRunLoop* const loop = new __CFRunLoop();
    return loop;
}

std::uint64_t gNextTimerSequence = 0;

}  // namespace

CFAbsoluteTime CFAbsoluteTimeGetCurrent() {
    return sim::kReferenceDate + sim::clockNow();
}

CFTypeID CFRunLoopGetTypeID() {
    return kCFRunLoopTypeID;
}
CFRunLoopRef CFRunLoopGetCurrent() {
    return mainRunLoop();
}
CFRunLoopRef CFRunLoopGetMain() {
    return mainRunLoop();
}

SInt32 CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds,
                          Boolean returnAfterSourceHandled) {
    return mainRunLoop()->run(mode->units(), seconds, returnAfterSourceHandled);
}

void CFRunLoopStop(CFRunLoopRef runLoop) {
    __CFRunLoop* loop = layoutOf(runLoop);
    if (loop->running_) {
        loop->stopped_ = true;
    }
}

void CFRunLoopWakeUp(CFRunLoopRef runLoop) {
    layoutOf(runLoop)->wakeUp();
}

CFStringRef CFRunLoopCopyCurrentMode(CFRunLoopRef runLoop) {
    const __CFRunLoop* loop = layoutOf(runLoop);
    return loop->running_ ? NSString::create(loop->currentMode_) : nullptr;
}

void CFRunLoopAddCommonMode(CFRunLoopRef runLoop, CFRunLoopMode mode) {
    layoutOf(runLoop)->commonModes_.insert(mode->units());
}

void CFRunLoopAddSource(CFRunLoopRef runLoop, CFRunLoopSourceRef source, CFRunLoopMode mode) {
    __CFRunLoopSource* added = layoutOf(source);
    if (added == nullptr || !added->isValid() || CFRunLoopContainsSource(runLoop, source, mode)) {
        return;
    }
    layoutOf(runLoop)->itemsFor(mode).sources.push_back(retainPtr(added));
    if (added->context_.schedule != nullptr) {
        added->context_.schedule(added->context_.info, runLoop, mode);
    }
}

void CFRunLoopRemoveSource(CFRunLoopRef runLoop, CFRunLoopSourceRef source, CFRunLoopMode mode) {
    auto& sources = layoutOf(runLoop)->itemsFor(mode).sources;
    auto found = std::find_if(sources.begin(), sources.end(),
                              [&](const auto& held) { return held.get() == source; });
    if (found == sources.end()) {
        return;
    }
    RetainPtr<__CFRunLoopSource*> removed = *found;
    sources.erase(found);
    if (removed->context_.cancel != nullptr) {
        removed->context_.cancel(removed->context_.info, runLoop, mode);
    }
}

Boolean CFRunLoopContainsSource(CFRunLoopRef runLoop, CFRunLoopSourceRef source,
                                CFRunLoopMode mode) {
    __CFRunLoop* loop = layoutOf(runLoop);
    if (mode->isEqualToString(kCFRunLoopCommonModes)) {
        const auto& sources = loop->common_.sources;
        return std::any_of(sources.begin(), sources.end(),
                           [&](const auto& held) { return held.get() == source; });
    }
    bool found = false;
    loop->forEachSource(mode->units(),
                        [&](__CFRunLoopSource* held) { found = found || held == source; });
    return found;
}

void CFRunLoopAddTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer, CFRunLoopMode mode) {
    __CFRunLoopTimer* added = layoutOf(timer);
    if (added == nullptr || !added->valid || CFRunLoopContainsTimer(runLoop, timer, mode)) {
        return;
    }
    layoutOf(runLoop)->itemsFor(mode).timers.push_back(retainPtr(added));
}

void CFRunLoopRemoveTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer, CFRunLoopMode mode) {
    auto& timers = layoutOf(runLoop)->itemsFor(mode).timers;
    std::erase_if(timers, [&](const auto& held) { return held.get() == timer; });
}

Boolean CFRunLoopContainsTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer, CFRunLoopMode mode) {
    __CFRunLoop* loop = layoutOf(runLoop);
    const auto& timers = loop->itemsFor(mode).timers;
    if (std::any_of(timers.begin(), timers.end(),
                    [&](const auto& held) { return held.get() == timer; })) {
        return true;
    }
    if (!mode->isEqualToString(kCFRunLoopCommonModes) && loop->isCommon(mode->units())) {
        const auto& common = loop->common_.timers;
        return std::any_of(common.begin(), common.end(),
                           [&](const auto& held) { return held.get() == timer; });
    }
    return false;
}

__CFRunLoopSource::~__CFRunLoopSource() {
    if (context_.release != nullptr) {
        context_.release(context_.info);
    }
    if (port_ != nullptr) {
        port_->release();
    }
    if (descriptor_ != nullptr) {
        descriptor_->release();
    }
}

CFTypeID CFRunLoopSourceGetTypeID() {
    return kCFRunLoopSourceTypeID;
}

CFRunLoopSourceRef CFRunLoopSourceCreate(CFAllocatorRef, CFIndex order,
                                         CFRunLoopSourceContext* context) {
    auto* source = new __CFRunLoopSource();
    source->order_ = order;
    if (context != nullptr) {
        source->context_ = *context;
        if (context->retain != nullptr) {
            source->context_.info = const_cast<void*>(context->retain(context->info));
        }
    }
    return source;
}

CFRunLoopSourceRef CFRunLoopSourceCreateForDescriptor(CFFileDescriptorRef descriptor,
                                                      CFIndex order) {
    auto* source = new __CFRunLoopSource();
    source->order_ = order;
    source->descriptor_ = static_cast<CFFileDescriptorRef>(descriptor->retain());
    return source;
}

bool __CFRunLoopSource::isValid() const {
    return valid_ && (descriptor_ == nullptr || layoutOf(descriptor_)->isValid());
}

CFRunLoopSourceRef CFRunLoopSourceCreateForPort(CFMachPortRef port, CFIndex order) {
    auto* source = new __CFRunLoopSource();
    source->order_ = order;
    source->port_ = static_cast<CFMachPortRef>(port->retain());
    return source;
}

void CFRunLoopSourceSignal(CFRunLoopSourceRef source) {
    layoutOf(source)->signaled_.store(true);
}

void CFRunLoopSourceInvalidate(CFRunLoopSourceRef source) {
    layoutOf(source)->valid_ = false;
    layoutOf(source)->signaled_ = false;
}

Boolean CFRunLoopSourceIsValid(CFRunLoopSourceRef source) {
    return layoutOf(source)->isValid();
}

CFTypeID CFRunLoopTimerGetTypeID() {
    return kCFRunLoopTimerTypeID;
}

CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef, CFAbsoluteTime fireDate,
                                       CFTimeInterval interval, CFOptionFlags, CFIndex order,
                                       CFRunLoopTimerCallBack callout,
                                       CFRunLoopTimerContext* context) {
    auto* timer = new __CFRunLoopTimer();
    timer->fireDate = fireDate;
    timer->interval = interval;
    timer->order = order;
    timer->sequence = gNextTimerSequence++;
    timer->callout = callout;
    if (context != nullptr) {
        timer->context_ = *context;
        if (context->retain != nullptr) {
            timer->context_.info = const_cast<void*>(context->retain(context->info));
        }
    }
    return timer;
}

CFRunLoopTimerRef CFRunLoopTimerCreateWithHandler(CFAllocatorRef allocator, CFAbsoluteTime fireDate,
                                                  CFTimeInterval interval, CFOptionFlags flags,
                                                  CFIndex order,
                                                  std::function<void(CFRunLoopTimerRef)> block) {
    CFRunLoopTimerRef timer =
        CFRunLoopTimerCreate(allocator, fireDate, interval, flags, order, nullptr, nullptr);
    layoutOf(timer)->block = std::move(block);
    return timer;
}

void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer) {
    layoutOf(timer)->valid = false;
}

Boolean CFRunLoopTimerIsValid(CFRunLoopTimerRef timer) {
    return layoutOf(timer)->valid;
}

CFAbsoluteTime CFRunLoopTimerGetNextFireDate(CFRunLoopTimerRef timer) {
    return layoutOf(timer)->fireDate;
}

void CFRunLoopTimerSetNextFireDate(CFRunLoopTimerRef timer, CFAbsoluteTime fireDate) {
    layoutOf(timer)->fireDate = fireDate;
}

bool _CFRunLoopServesPort(CFRunLoopRef runLoop, CFMachPortRef port) {
    __CFRunLoop* loop = layoutOf(runLoop);
    const std::u16string mode =
        loop->running_ ? loop->currentMode_ : kCFRunLoopDefaultMode->units();
    bool served = false;
    loop->forEachSource(mode, [&](__CFRunLoopSource* source) {
        served = served || (source->port() == port && source->isValid());
    });
    return served;
}

bool _CFRunLoopIsInCommonMode(CFRunLoopRef runLoop) {
    const __CFRunLoop* loop = layoutOf(runLoop);
    return !loop->running_ || loop->isCommon(loop->currentMode_);
}

bool _CFRunLoopRunDue(CFRunLoopRef runLoop) {
    __CFRunLoop* loop = layoutOf(runLoop);
    const std::u16string mode =
        loop->running_ ? loop->currentMode_ : kCFRunLoopDefaultMode->units();
    bool any = false;
    while (loop->runOnePass(mode)) {
        any = true;
        sim::worldTurn();
    }
    sim::worldTurn();
    return any;
}

CFAbsoluteTime _CFRunLoopNextFireDate(CFRunLoopRef runLoop, CFRunLoopMode mode) {
    return layoutOf(runLoop)->nextFireDate(mode->units());
}

void _CFRunLoopReset(CFRunLoopRef runLoop) {
    __CFRunLoop* loop = layoutOf(runLoop);
    loop->purgeInvalidTimers();
    for (auto& [name, items] : loop->modes_) {
        for (auto& timer : items.timers) {
            timer->valid = false;
        }
    }
    for (auto& timer : loop->common_.timers) {
        timer->valid = false;
    }
    // Move the items out before dropping them: a timer's block may hold objects whose
    // release touches the loop again.
    auto modes = std::move(loop->modes_);
    auto common = std::move(loop->common_);
    loop->reset();
}
