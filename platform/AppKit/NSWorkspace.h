// The workspace: the active application's record, the running applications, opening URLs.
#pragma once

#include "Foundation/Foundation.h"

class NSRunningApplication;

class NSWorkspace : public NSObject {
public:
    static NSWorkspace* sharedWorkspace();

    // The record of the active application (keys "NSApplicationPath", "NSApplicationName",
    // "NSApplicationProcessIdentifier", "NSApplicationProcessSerialNumberHigh" and "…Low",
    // "NSApplicationBundleIdentifier"; the path is absent for a process without a bundle),
    // autoreleased; nil while no application is active.
    NSDictionary* activeApplication() const;
    NSRunningApplication* frontmostApplication() const;
    NSArray* runningApplications() const;
    // Opens the URL (a preference pane opens in the system's settings application).
    bool openURL(const NSURL* url);

private:
    NSWorkspace() : NSObject(Immortal{}) {}
};
