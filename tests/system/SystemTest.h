// The fixture of the system's suites: the session fixture, with what the system keeps for the
// whole process put back for each test: the press snapshot at its initial state, and the
// toolkit's system-wide element made (it lives as long as the process, so the live-object
// check counts it as the process's own). The children the toolkit's searches keep for the
// process are alive when a test ends, and counted so.
#pragma once

#include <UIElement/UIElement.h>

#include "QuenfoldAppDelegate.h"
#include "SessionTest.h"

class SystemTest : public SessionTest {
protected:
    void SetUp() override {
        resetPressSnapshot();
        SessionTest::SetUp();
        set_systemWideElement();
        countLiveObjectsFromHere();
        keptChildElements_ = countOfKeptChildElements();
    }

    long objectsKeptForTheProcess() const override {
        return static_cast<long>(countOfKeptChildElements() - keptChildElements_);
    }

    void TearDown() override {
        resetPressSnapshot();
        SessionTest::TearDown();
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

private:
    std::size_t keptChildElements_ = 0;
};
