// The run loop over the virtual clock: ordering, delays, modes, sources and performs; paced by
// the wall clock, and woken from another thread or by a file descriptor.
#include <RetainPtr.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "SessionTest.h"
#include "sim/Clock.h"

namespace {

using RunLoop = SessionTest;

std::vector<std::string> gLog;

class Recorder : public NSObject {
public:
    void first() { gLog.push_back("first"); }
    void second() { gLog.push_back("second"); }
    void withObject(id object) { gLog.push_back(static_cast<NSString*>(object)->utf8()); }
};

void addTimer(double delay, std::string name, CFStringRef mode) {
    RetainPtr<CFRunLoopTimerRef> timer = adoptCF(
        CFRunLoopTimerCreateWithHandler(nullptr, CFAbsoluteTimeGetCurrent() + delay, 0, 0, 0,
                                        [name](CFRunLoopTimerRef) { gLog.push_back(name); }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer.get(), mode);
}

TEST_F(RunLoop, TimersFireInOrderOfDueTimeThenOfScheduling) {
    gLog.clear();
    addTimer(0.5, "late", kCFRunLoopDefaultMode);
    addTimer(0.1, "early-a", kCFRunLoopDefaultMode);
    addTimer(0.1, "early-b", kCFRunLoopDefaultMode);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.2, false), kCFRunLoopRunTimedOut);
    EXPECT_EQ(gLog, (std::vector<std::string>{"early-a", "early-b"}));
    EXPECT_DOUBLE_EQ(sim::clockNow(), 0.2);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0, false);
    EXPECT_EQ(gLog.back(), "late");
    EXPECT_DOUBLE_EQ(sim::clockNow(), 1.2);
}

TEST_F(RunLoop, APerformWaitsItsDelayOrTheNextPassOrNothingWhenTheCallerWaits) {
    gLog.clear();
    RetainPtr<Recorder*> recorder = adoptCF(new Recorder());
    recorder->performSelector(&Recorder::first, nil, 0.5);
    // The target is kept alive while the perform is pending.
    EXPECT_EQ(CFGetRetainCount(recorder.get()), 2);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.4999, false);
    EXPECT_TRUE(gLog.empty());
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.0001, false);
    EXPECT_EQ(gLog, std::vector<std::string>{"first"});
    EXPECT_EQ(CFGetRetainCount(recorder.get()), 1);
    // Performs on the main thread run at the next pass, or at once when the caller waits.
    gLog.clear();
    recorder->performSelectorOnMainThread(&Recorder::first, nil, NO);
    recorder->performSelectorOnMainThread(&Recorder::withObject,
                                          NSString::stringWithUTF8String("argument"), NO);
    recorder->performSelectorOnMainThread(&Recorder::second, nil, YES);
    EXPECT_EQ(gLog, std::vector<std::string>{"second"});
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false);
    EXPECT_EQ(gLog, (std::vector<std::string>{"second", "first", "argument"}));
}

TEST_F(RunLoop, ItemsRunOnlyInTheirModesAndCommonModesReachEveryCommonMode) {
    gLog.clear();
    CFStringRef tracking = CFSTR("NSEventTrackingRunLoopMode");
    addTimer(0, "default", kCFRunLoopDefaultMode);
    addTimer(0, "tracking", tracking);
    addTimer(0, "common", kCFRunLoopCommonModes);
    CFRunLoopRunInMode(tracking, 0, false);
    EXPECT_EQ(gLog, std::vector<std::string>{"tracking"});
    CFRunLoopAddCommonMode(CFRunLoopGetMain(), tracking);
    CFRunLoopRunInMode(tracking, 0, false);
    EXPECT_EQ(gLog, (std::vector<std::string>{"tracking", "common"}));
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false);
    EXPECT_EQ(gLog.back(), "default");
}

TEST_F(RunLoop, SignalledSourcesPerformInTheirMode) {
    gLog.clear();
    CFRunLoopSourceContext context{};
    context.perform = [](void*) { gLog.push_back("performed"); };
    RetainPtr<CFRunLoopSourceRef> source = adoptCF(CFRunLoopSourceCreate(nullptr, 0, &context));
    CFRunLoopAddSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
    EXPECT_TRUE(CFRunLoopContainsSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode));
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false);
    EXPECT_TRUE(gLog.empty());
    CFRunLoopSourceSignal(source.get());
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(gLog, std::vector<std::string>{"performed"});
    CFRunLoopRemoveSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
    EXPECT_FALSE(CFRunLoopContainsSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode));
}

}  // namespace

// --- Paced by the wall clock

namespace {

// Paced for the test's length, unpaced again afterwards whatever happens.
struct Paced {
    Paced() { sim::paceClockByWallClock(true); }
    ~Paced() { sim::paceClockByWallClock(false); }
};

void performSignalled(void* info) {
    ++*static_cast<int*>(info);
}

// Runs the paced loop with a long deadline while another thread signals a source and wakes the
// loop: true when the signal, not the deadline, ended the run, and the source ran once.
bool anotherThreadsSignalEndsTheSleep() {
    int performed = 0;
    CFRunLoopSourceContext context{};
    context.info = &performed;
    context.perform = performSignalled;
    const RetainPtr<CFRunLoopSourceRef> source =
        adoptCF(CFRunLoopSourceCreate(nullptr, 0, &context));
    CFRunLoopAddSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
    const Paced paced;
    std::thread other([&source] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        CFRunLoopSourceSignal(source.get());
        CFRunLoopWakeUp(CFRunLoopGetMain());
    });
    const SInt32 result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30, true);
    other.join();
    CFRunLoopRemoveSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
    return result == kCFRunLoopRunHandledSource && performed == 1;
}

}  // namespace

TEST_F(RunLoop, PacedATimerFiresAtItsOwnTimeOnceTheWallClockHasReachedIt) {
    gLog.clear();
    addTimer(0.05, "due", kCFRunLoopDefaultMode);
    const Paced paced;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 60, true), kCFRunLoopRunHandledSource);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_EQ(gLog, std::vector<std::string>{"due"});
    EXPECT_EQ(sim::clockNow(), 0.05) << "the clock stands at the fire date, not the wall's time";
}

TEST_F(RunLoop, PacedASourceSignalledFromAnotherThreadWakesTheSleepingLoop) {
    EXPECT_TRUE(anotherThreadsSignalEndsTheSleep());
    EXPECT_EQ(sim::clockNow(), 0) << "no timer was due: the clock did not move";
}

namespace {
// While set, the process's eventfd fails as it does when no descriptor is left: the test's
// definition stands in for the C library's.
bool gEventfdFails = false;
}  // namespace

extern "C" int eventfd(unsigned int initialValue, int flags) {
    if (gEventfdFails) {
        errno = EMFILE;
        return -1;
    }
    return static_cast<int>(syscall(SYS_eventfd2, initialValue, flags));
}

// The loop is made once per process, so this runs in a process of its own, which makes the loop
// while eventfd fails: the loop has no wake-up descriptor, and a wake-up must still reach it.
TEST(RunLoopMadeWithoutDescriptors, PacedASourceSignalledFromAnotherThreadWakesTheSleepingLoop) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            gEventfdFails = true;
            CFRunLoopGetMain();
            gEventfdFails = false;
            std::_Exit(anotherThreadsSignalEndsTheSleep() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

namespace {

void countReadable(CFFileDescriptorRef, CFOptionFlags callBacks, void* info) {
    if (callBacks == kCFFileDescriptorReadCallBack) {
        ++*static_cast<int*>(info);
    }
}

}  // namespace

TEST_F(RunLoop, PacedADescriptorThatBecomesReadableWakesTheLoopAndCallsOutOnceEachTimeEnabled) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    int called = 0;
    CFFileDescriptorContext context{};
    context.info = &called;
    const RetainPtr<CFFileDescriptorRef> descriptor =
        adoptCF(CFFileDescriptorCreate(nullptr, pipeEnds[0], true, countReadable, &context));
    const RetainPtr<CFRunLoopSourceRef> source =
        adoptCF(CFFileDescriptorCreateRunLoopSource(nullptr, descriptor.get(), 0));
    CFRunLoopAddSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
    CFFileDescriptorEnableCallBacks(descriptor.get(), kCFFileDescriptorReadCallBack);
    const Paced paced;
    std::thread writer([&pipeEnds] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(write(pipeEnds[1], "x", 1), 1);
    });
    // A long deadline: only the descriptor can end this run early.
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30, true), kCFRunLoopRunHandledSource);
    writer.join();
    EXPECT_EQ(called, 1);
    // Still readable, but the callback was disabled by being called.
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.02, true), kCFRunLoopRunTimedOut);
    CFFileDescriptorEnableCallBacks(descriptor.get(), kCFFileDescriptorReadCallBack);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(called, 2);

    // Invalidated, it closes the descriptor it was made to close, and its source is gone with it.
    CFFileDescriptorInvalidate(descriptor.get());
    EXPECT_FALSE(CFRunLoopSourceIsValid(source.get()));
    EXPECT_EQ(fcntl(pipeEnds[0], F_GETFD), -1);
    close(pipeEnds[1]);
    CFRunLoopRemoveSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
}
