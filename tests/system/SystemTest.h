// The fixture of the system's suites: the session fixture, with what the system keeps for the
// whole process brought by the system's own code to where a fresh session leaves it: the
// toolkit's system-wide element made, and the press snapshot taken where no application is
// active (so that what an earlier test's presses left in it is let go). The children the
// toolkit's searches keep for the process are alive when a test ends, and counted so.
#pragma once

#include <UIElement/UIElement.h>

#include "QuenfoldAppDelegate.h"
#include "SessionTest.h"

class SystemTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        keptChildElements_ = countOfKeptChildElements();
    }

    void makeProcessState() override {
        set_systemWideElement();
        MyPassiveEventTapCallBack(nullptr, kCGEventLeftMouseDown, nullptr, nullptr);
    }

    long objectsKeptForTheProcess() const override {
        return static_cast<long>(countOfKeptChildElements() - keptChildElements_);
    }

private:
    std::size_t keptChildElements_ = 0;
};
