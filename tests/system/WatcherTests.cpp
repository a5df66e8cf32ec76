// The Dock-click watcher: an application without a bundle, and the tap's life. The hide rule
// over random desktops and event streams (a snapshot that is empty or gone, an application
// hidden or quit before the release, no object left behind) is WatcherPropertyTests.cpp; its
// everyday cases run end to end on a launched system are the watcher-*.desk scenarios.
#include "WatcherTest.h"
#include "sim/Clock.h"
#include "sim/Faults.h"

namespace {

using frameworks::eventSystem;
using sim::desktop;

class Watcher : public WatcherTest {
protected:
    void SetUp() override {
        WatcherTest::SetUp();
        delegate_->installPassiveEventTap();
    }
    static void settle() { CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false); }
    static void wait(double seconds) {
        const double target = sim::clockNow() + seconds;
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, seconds, false);
        sim::advanceClockTo(target);
    }
};

// --- The hide rule

TEST_F(Watcher, AnApplicationWithoutABundleIsHiddenByItsName) {
    sim::ApplicationSpec setup;
    setup.name = "tool";
    setup.noBundle = true;
    const pid_t tool = desktop().addApplication(setup);
    click(dockItem("tool"));
    EXPECT_EQ(gLeftMouseDownFileAppName, nullptr);
    EXPECT_TRUE(hidden(tool));
}

// Only the Dock's own items count: an element of another application that looks like one hides
// nothing.
TEST_F(Watcher, AnApplicationDockItemThatIsNotTheDocksHidesNothing) {
    const pid_t safari = addApp("Safari");
    sim::ElementSpec lookalike;
    lookalike.role = "AXDockItem";
    lookalike.subrole = "AXApplicationDockItem";
    lookalike.title = "Safari";
    lookalike.frame = sim::Rect{150, 150, 100, 100};
    desktop().addElement(desktop().addWindow(safari, "Start", {100, 100, 400, 300}), lookalike);
    click(CGPointMake(200, 200));
    EXPECT_FALSE(hidden(safari));
    EXPECT_EQ(desktop().hideRequestCount(), 0);
}

// --- The tap's life

TEST_F(Watcher, InstallingCreatesOneListenOnlyTapOnTheMainRunLoop) {
    ASSERT_TRUE(delegate_->passiveEventTapPort);
    ASSERT_TRUE(delegate_->passiveEventTapRLSR);
    EXPECT_TRUE(CFRunLoopContainsSource(CFRunLoopGetMain(), delegate_->passiveEventTapRLSR.get(),
                                        kCFRunLoopDefaultMode));
    ASSERT_EQ(eventSystem().tapCount(), 1u);
    const frameworks::EventTap& tap = eventSystem().taps().front();
    EXPECT_EQ(tap.location, kCGHIDEventTap);
    EXPECT_EQ(tap.placement, kCGTailAppendEventTap);
    EXPECT_EQ(tap.options, kCGEventTapOptionListenOnly);
    EXPECT_EQ(tap.mask, 6u);
    EXPECT_EQ(tap.userInfo, delegate_.get());
}

TEST_F(Watcher, InstallingOverAnExistingTapReplacesIt) {
    CFRunLoopSourceRef oldSource = delegate_->passiveEventTapRLSR.get();
    RetainPtr<CFRunLoopSourceRef> watch = retainPtr(oldSource);
    delegate_->installPassiveEventTap();
    EXPECT_FALSE(CFRunLoopContainsSource(CFRunLoopGetMain(), oldSource, kCFRunLoopDefaultMode));
    EXPECT_EQ(CFGetRetainCount(oldSource), 1);  // only the test's own reference is left
    watch.clear();
    EXPECT_EQ(eventSystem().tapCount(), 1u);
}

TEST_F(Watcher, ReleaseAndEnableWithoutATapDoNothing) {
    delegate_->releasePassiveEventTap();
    EXPECT_EQ(eventSystem().tapCount(), 0u);
    EXPECT_FALSE(delegate_->passiveEventTapPort);
    EXPECT_FALSE(delegate_->passiveEventTapRLSR);
    sim::resetCallCounts();
    delegate_->releasePassiveEventTap();
    delegate_->enablePassiveEventTap();
    EXPECT_EQ(sim::callCount("CGEventTapEnable"), 0u);
    EXPECT_EQ(eventSystem().tapCount(), 0u);
}

TEST_F(Watcher, ARefusedTapLeavesTheWatcherInertAndIsNotRetried) {
    sim::injectFault({.call = "CGEventTapCreate"});
    sim::resetCallCounts();
    delegate_->installPassiveEventTap();
    EXPECT_FALSE(delegate_->passiveEventTapPort);
    EXPECT_FALSE(delegate_->passiveEventTapRLSR);
    const pid_t safari = addApp("Safari");
    click(dockItem("Safari"));
    wait(5);
    EXPECT_FALSE(hidden(safari));
    EXPECT_EQ(sim::callCount("CGEventTapCreate"), 1u);
}

TEST_F(Watcher, APortWithoutASourceNeverSeesAnEventAndGoesAtTheNextRelease) {
    sim::injectFault({.call = "CFMachPortCreateRunLoopSource"});
    delegate_->installPassiveEventTap();
    EXPECT_TRUE(delegate_->passiveEventTapPort);
    EXPECT_FALSE(delegate_->passiveEventTapRLSR);
    const pid_t safari = addApp("Safari");
    click(dockItem("Safari"));
    EXPECT_FALSE(hidden(safari));
    delegate_->releasePassiveEventTap();
    EXPECT_EQ(eventSystem().tapCount(), 0u);
}

TEST_F(Watcher, ATimeoutReEnablesTheSameTapAtTheNextPassOfTheRunLoop) {
    CFMachPortRef port = delegate_->passiveEventTapPort.get();
    eventSystem().disableTaps(kCGEventTapDisabledByTimeout);
    EXPECT_FALSE(CGEventTapIsEnabled(port));
    settle();
    EXPECT_TRUE(CGEventTapIsEnabled(port));
    EXPECT_EQ(delegate_->passiveEventTapPort.get(), port);
    const pid_t safari = addApp("Safari");
    click(dockItem("Safari"));
    EXPECT_TRUE(hidden(safari));
}

TEST_F(Watcher, UserInputReinstallsANewTapHalfASecondLater) {
    const std::uint64_t first = eventSystem().taps().front().id;
    eventSystem().disableTaps(kCGEventTapDisabledByUserInput);
    wait(0.25);
    EXPECT_EQ(eventSystem().taps().front().id, first);
    EXPECT_FALSE(CGEventTapIsEnabled(delegate_->passiveEventTapPort.get()));
    wait(0.25);
    ASSERT_EQ(eventSystem().tapCount(), 1u);
    EXPECT_NE(eventSystem().taps().front().id, first);
    EXPECT_TRUE(CGEventTapIsEnabled(delegate_->passiveEventTapPort.get()));
    EXPECT_EQ(eventSystem().tapCount(), 1u);
}

TEST_F(Watcher, TwoUserInputNoticesWithinHalfASecondLeaveOneTap) {
    eventSystem().disableTaps(kCGEventTapDisabledByUserInput);
    wait(0.2);
    eventSystem().disableTaps(kCGEventTapDisabledByUserInput);
    wait(0.3);
    EXPECT_EQ(eventSystem().tapCount(), 1u);
    wait(0.2);
    EXPECT_EQ(eventSystem().tapCount(), 1u);
    EXPECT_EQ(sim::callCount("CGEventTapCreate"), 3u);
    const pid_t safari = addApp("Safari");
    click(dockItem("Safari"));
    EXPECT_TRUE(hidden(safari));
}

// With a delegate, every type of event is answered with the event itself: a property of the
// watcher (WatcherPropertyTests.cpp).
TEST_F(Watcher, WithoutADelegateTheCallbackStillAnswersADisabledNoticeWithTheEvent) {
    RetainPtr<CGEventRef> event = adoptCF(CGEventCreate(nullptr));
    EXPECT_EQ(
        MyPassiveEventTapCallBack(nullptr, kCGEventTapDisabledByUserInput, event.get(), nullptr),
        event.get());
}

}  // namespace
