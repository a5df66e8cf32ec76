// The Dock-click watcher: a look-alike of a Dock item, and the tap's life. The hide rule
// over random desktops and event streams (a snapshot that is empty or gone, an application
// hidden or quit before the release, no object left behind) is WatcherPropertyTests.cpp; its
// everyday cases, a refused tap and the tap switched off for user input run end to end on a
// launched system in the watcher-*.desk and tap-*.desk scenarios.
#include "WatcherTest.h"
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
};

// --- The hide rule

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

TEST_F(Watcher, InstallingCreatesOneListenOnlyTapOnTheMainRunLoopInPlaceOfAnyOther) {
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
    // Installing again replaces the tap.
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
    EXPECT_FALSE(delegate_->passiveEventTapPort);
    EXPECT_FALSE(delegate_->passiveEventTapRLSR);
    sim::resetCallCounts();
    delegate_->releasePassiveEventTap();
    delegate_->enablePassiveEventTap();
    EXPECT_EQ(sim::callCount("CGEventTapEnable"), 0u);
    EXPECT_EQ(eventSystem().tapCount(), 0u);
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
    sim::resetCallCounts();
    eventSystem().disableTaps(kCGEventTapDisabledByTimeout);
    EXPECT_FALSE(CGEventTapIsEnabled(port));
    settle();
    EXPECT_TRUE(CGEventTapIsEnabled(port));
    EXPECT_EQ(delegate_->passiveEventTapPort.get(), port);
    EXPECT_EQ(sim::callCount("CGEventTapCreate"), 0u) << "a new tap was made in its place";
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
