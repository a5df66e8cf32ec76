// Fixture for tests that run the Dock-click watcher: a delegate (its tap is installed by the
// tests that need it) and the user's hand.
#pragma once

#include <string>

#include "AppKit/NSWorkspaceInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "SystemTest.h"
#include "sim/Clock.h"

class WatcherTest : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        delegate_ = adoptCF(new QuenfoldAppDelegate());
    }

    void TearDown() override {
        delegate_.clear();
        SystemTest::TearDown();
    }

    // The main run loop turns before each move of the hand, as it does between any two events
    // on macOS, so that the desktop's earlier changes are seen the way macOS shows them.
    static void press(CGPoint at, CGEventFlags flags = 0) {
        sim::settle();
        frameworks::eventSystem().pressLeft(at.x, at.y, flags);
    }
    static void release(CGPoint at, SInt64 clickState = 1, CGEventFlags flags = 0) {
        sim::settle();
        frameworks::eventSystem().releaseLeft(at.x, at.y, clickState, flags);
    }
    static void click(CGPoint at) {
        press(at);
        release(at);
    }

    // The objects alive that the system's code holds: the workspace's record of the active
    // application, which it keeps between requests, is let go first.
    static long liveObjectsOfTheSystem() {
        frameworks::forgetActiveApplicationRecord();
        return NSObjectLiveCount();
    }

    bool hidden(pid_t pid) const { return sim::desktop().application(pid)->hidden; }

    RetainPtr<QuenfoldAppDelegate*> delegate_;
};
