// The fixture every suite builds on: a fresh simulated session for each test, the press
// snapshot back at its initial state (the system keeps it for the whole process otherwise),
// and a check that the test leaves no object of the model alive once the session is torn
// down.
#pragma once

#include <gtest/gtest.h>

#include <optional>

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

    // The middle of a Dock item or a window, for clicks.
    static CGPoint middleOf(sim::NodeId node) {
        const sim::Rect frame = *sim::desktop().node(node)->frame;
        return CGPointMake(frame.midX(), frame.midY());
    }

    long baseline_ = 0;
    std::optional<NSAutoreleasePool> pool_;
};
