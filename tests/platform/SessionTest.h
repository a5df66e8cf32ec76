// The fixture every suite builds on: a fresh simulated session for each test, the press
// snapshot back at its initial state (the system keeps it for the whole process otherwise),
// and a check that the test leaves no object of the model alive once the session is torn
// down.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

#include <UIElement/UIElement.h>

#include "QuenfoldAppDelegate.h"
#include "sim/Desktop.h"

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetPressSnapshot();
        sim::reset();
        // The system-wide element lives for the whole process, as it does in the system.
        set_systemWideElement();
        baseline_ = NSObjectLiveCount();
        // The pool of the event cycle the test runs in: what it autoreleases lives until the
        // test ends.
        pool_.emplace();
    }

    void TearDown() override {
        pool_.reset();
        resetPressSnapshot();
        sim::reset();
        EXPECT_EQ(NSObjectLiveCount(), baseline_) << "objects of the model were left alive";
    }

    static void resetPressSnapshot() {
        for (NSObject* value : {static_cast<NSObject*>(gLeftMouseDownFileAppName),
                                static_cast<NSObject*>(gLeftMouseDownAppName),
                                static_cast<NSObject*>(gLeftMouseDownPid)}) {
            if (value != nullptr) {
                value->release();
            }
        }
        gLeftMouseDownFileAppName = bridge(CFSTR(""));
        gLeftMouseDownAppName = bridge(CFSTR(""));
        gLeftMouseDownPid = nullptr;
    }

    // An application with its Dock item, active when nothing else is.
    static pid_t addApp(const std::string& name) {
        sim::ApplicationSpec setup;
        setup.name = name;
        return sim::desktop().addApplication(setup);
    }

    // The middle of a Dock item or a window, for clicks.
    static CGPoint middleOf(sim::NodeId node) {
        const sim::Rect frame = *sim::desktop().node(node)->frame;
        return CGPointMake(frame.midX(), frame.midY());
    }
    static CGPoint dockItem(const std::string& title) {
        return middleOf(*sim::desktop().dockItemTitled(title));
    }

    // The text of a copy… result, which the caller alone owns: nothing of it is left in the
    // test's pool.
    std::u16string adoptText(CFTypeRef value) {
        RetainPtr<CFTypeRef> owned = adoptCF(value);
        if (!owned || CFGetTypeID(owned.get()) != CFStringGetTypeID()) {
            return owned ? u"(no text)" : u"(null)";
        }
        const CFIndex references = CFGetRetainCount(owned.get());
        EXPECT_TRUE(references == 1 || references == LONG_MAX) << "constants ignore counting";
        EXPECT_EQ(pool_->pendingCount(), 0u);
        return static_cast<const NSString*>(owned.get())->units();
    }

    long baseline_ = 0;
    std::optional<NSAutoreleasePool> pool_;
};

// An event tap on the main run loop, as a process installs it (listen-only at the tail for the
// left button unless told otherwise); taken off the run loop when the holder goes.
struct InstalledTap {
    static constexpr CGEventMask kLeftButton =
        CGEventMaskBit(kCGEventLeftMouseDown) | CGEventMaskBit(kCGEventLeftMouseUp);

    explicit InstalledTap(CGEventTapCallBack callback, const void* info = nullptr,
                          CGEventTapPlacement placement = kCGTailAppendEventTap,
                          CGEventTapOptions options = kCGEventTapOptionListenOnly,
                          CGEventMask mask = kLeftButton)
        : port(adoptCF(CGEventTapCreate(kCGHIDEventTap, placement, options, mask, callback,
                                        const_cast<void*>(info)))),
          source(adoptCF(CFMachPortCreateRunLoopSource(nullptr, port.get(), 0))) {
        CFRunLoopAddSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
    }
    ~InstalledTap() {
        CFRunLoopRemoveSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
    }
    InstalledTap(const InstalledTap&) = delete;
    InstalledTap& operator=(const InstalledTap&) = delete;

    RetainPtr<CFMachPortRef> port;
    RetainPtr<CFRunLoopSourceRef> source;
};
