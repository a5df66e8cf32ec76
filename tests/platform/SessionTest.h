// The fixture every suite builds on: a fresh simulated session for each test, the pool of the
// event cycle the test runs in, and a check that the test leaves no object of the model alive
// once the session is torn down. It knows the platform only; the system's suites add what the
// system keeps for the whole process (SystemTest.h).
#pragma once

#include <gtest/gtest.h>

#include <AppKit/AppKit.h>
#include <ApplicationServices/ApplicationServices.h>
#include <RetainPtr.h>

#include <optional>
#include <string>

#include "sim/Desktop.h"

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        makeProcessState();
        countLiveObjectsFromHere();
        // What the test autoreleases lives until the test ends.
        pool_.emplace();
    }

    void TearDown() override {
        pool_.reset();
        sim::reset();
        makeProcessState();
        EXPECT_EQ(NSObjectLiveCount(), baseline_ + objectsKeptForTheProcess())
            << "objects of the model were left alive";
    }

    // What the code under test keeps for the whole process, brought by its own code to the
    // state a fresh session gives it, before the live objects are counted.
    virtual void makeProcessState() {}

    // Objects that the code under test made during the test and keeps for the rest of the
    // process by contract: they are alive when it ends.
    virtual long objectsKeptForTheProcess() const { return 0; }

    // Objects alive now are the process's own, not the test's: what must be alive at the end.
    void countLiveObjectsFromHere() { baseline_ = NSObjectLiveCount(); }

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

    std::optional<NSAutoreleasePool> pool_;

private:
    long baseline_ = 0;
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
