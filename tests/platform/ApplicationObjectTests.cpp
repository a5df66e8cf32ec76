// The application object: termination (the delegate answering now) and the will-terminate
// notification, activation, and the reopen event's question to the delegate.
#include <AppKit/AppKit.h>

#include <string>
#include <vector>

#include "SessionTest.h"
#include "control/SystemProcess.h"

namespace {

class RecordingDelegate : public NSObject, public NSApplicationDelegate {
public:
    NSApplicationTerminateReply applicationShouldTerminate(NSApplication*) override {
        events.push_back("shouldTerminate");
        return reply;
    }
    void applicationWillTerminate(NSNotification* notification) override {
        events.push_back("willTerminate " + notification->name()->utf8());
    }
    bool applicationShouldHandleReopen(NSApplication*, bool hasVisibleWindows) override {
        events.push_back(hasVisibleWindows ? "reopen with visible windows"
                                           : "reopen without visible windows");
        return true;
    }
    void observed(NSNotification* notification) {
        events.push_back("observed " + notification->name()->utf8());
    }

    NSApplicationTerminateReply reply = NSTerminateNow;
    std::vector<std::string> events;
};

class ApplicationObject : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        delegate_ = adoptCF(new RecordingDelegate());
        application_ = NSApplication::sharedApplication();
        application_->setDelegate(delegate_.get());
        NSNotificationCenter::defaultCenter()->addObserver(
            delegate_.get(), &RecordingDelegate::observed, NSApplicationWillTerminateNotification,
            application_);
    }
    void TearDown() override {
        NSNotificationCenter::defaultCenter()->removeObserver(delegate_.get());
        application_->setDelegate(nullptr);
        delegate_.clear();
        SessionTest::TearDown();
    }

    std::vector<std::string>& events() { return delegate_->events; }
    static bool processRuns() { return sim::desktop().application(sim::kSystemPid) != nullptr; }

    RetainPtr<RecordingDelegate*> delegate_;
    NSApplication* application_ = nullptr;
};

using Events = std::vector<std::string>;

// --- Termination

TEST_F(ApplicationObject, TerminateNowTellsDelegateAndObserversOnceAndEndsTheProcessAndItsLoop) {
    bool ran = false;
    RetainPtr<CFRunLoopTimerRef> timer = adoptCF(
        CFRunLoopTimerCreateWithHandler(kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + 0.5, 0, 0,
                                        0, [&ran](CFRunLoopTimerRef) { ran = true; }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer.get(), kCFRunLoopDefaultMode);
    application_->terminate(nullptr);
    application_->terminate(nullptr);
    EXPECT_EQ(events(),
              (Events{"shouldTerminate", "willTerminate NSApplicationWillTerminateNotification",
                      "observed NSApplicationWillTerminateNotification"}));
    EXPECT_TRUE(application_->isTerminated());
    EXPECT_FALSE(processRuns());
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0, false);
    EXPECT_FALSE(ran) << "the ended process ran its run loop";
}

// --- Activation

TEST_F(ApplicationObject, ActivationWithoutIgnoringOthersWaitsForNoActiveApplication) {
    addApp("Safari");
    application_->activateIgnoringOtherApps(false);
    EXPECT_FALSE(application_->isActive());
    application_->activateIgnoringOtherApps(true);
    EXPECT_TRUE(application_->isActive());
}

// --- Reopening

TEST_F(ApplicationObject, TheReopenEventTellsTheDelegateWhetherWindowsAreVisible) {
    RetainPtr<NSWindow*> window = adoptCF(NSWindow::create(NSMakeRect(0, 0, 100, 100), CFSTR("W")));
    application_->handleReopenEvent();
    window->orderFront(nullptr);
    application_->handleReopenEvent();
    EXPECT_EQ(events(), (Events{"reopen without visible windows", "reopen with visible windows"}));
}

}  // namespace
