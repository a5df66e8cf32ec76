// The application delegate: the Dock-click watcher's event tap, the application's lifecycle
// and its login-item registration.
#pragma once

#include <AppKit/AppKit.h>
#include <ApplicationServices/ApplicationServices.h>
#include <RetainPtr.h>

// The press snapshot: the application that was active at the last left-button press. Each
// variable holds its own reference; before the first press the two names are empty strings
// and the process identifier is nil. A press while no application is active (or one without
// a bundle path) stores nil for what the workspace did not give.
extern NSString* gLeftMouseDownFileAppName;
extern NSString* gLeftMouseDownAppName;
extern NSNumber* gLeftMouseDownPid;

// The tap callback: takes the press snapshot at a press, applies the hide rule at a
// single-click release, re-enables or reinstalls the tap when the platform switched it off.
// Always returns `event` itself, unchanged.
CGEventRef MyPassiveEventTapCallBack(CGEventTapProxy proxy, CGEventType type, CGEventRef event,
                                     void* userInfo);

// The click record of an event: an autoreleased array of exactly 18 values, read by position.
// A position whose source gives nothing and has no stated substitute holds NSNull.
NSArray* makePassiveDefaultArgv(CGEventRef event, int argument, NSString* appName,
                                NSString* fileAppName, NSNumber* pid);

class QuenfoldAppDelegate : public NSObject {
public:
    QuenfoldAppDelegate() = default;
    ~QuenfoldAppDelegate() override;

    // The listen-only tap on left-button presses and releases, at most one at a time.
    void installPassiveEventTap();
    void releasePassiveEventTap();
    void enablePassiveEventTap();

    // The tap and its run-loop source, each owned by the delegate; null while there is none.
    RetainPtr<CFMachPortRef> passiveEventTapPort;
    RetainPtr<CFRunLoopSourceRef> passiveEventTapRLSR;
};
