// A running application of the session, looked up by process identifier or bundle identifier.
#pragma once

#include "Foundation/Foundation.h"

using NSApplicationActivationOptions = NSUInteger;
enum : NSApplicationActivationOptions {
    NSApplicationActivateAllWindows = 1 << 0,
    NSApplicationActivateIgnoringOtherApps = 1 << 1,
};

class NSRunningApplication : public NSObject {
public:
    // The application with that identifier (autoreleased), or nil.
    static NSRunningApplication* runningApplicationWithProcessIdentifier(pid_t pid);
    // The running applications with that bundle identifier, in the workspace's order.
    static NSArray* runningApplicationsWithBundleIdentifier(const NSString* bundleIdentifier);
    static NSRunningApplication* currentApplication();

    // -1 once the application has terminated.
    pid_t processIdentifier() const;
    NSString* localizedName() const;
    NSString* bundleIdentifier() const;
    // The bundle's file URL, or nil for a process without a bundle.
    NSURL* bundleURL() const;
    // Time-varying: as of the last turn of the main run loop in a common mode, as on macOS
    // (polling without letting the run loop run keeps answering the same).
    bool isHidden() const;
    bool isActive() const;
    bool isTerminated() const;

    // Asks the application to hide. The request is carried out asynchronously, after the
    // event being delivered has reached every receiver. Answers whether it was sent.
    bool hide();
    bool unhide();
    bool activateWithOptions(NSApplicationActivationOptions options);

    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override { return static_cast<NSUInteger>(pid_); }
    NSString* description() const override;
    static Class class_() { return classOf<NSRunningApplication>("NSRunningApplication"); }

private:
    // The workspace's lists and its frontmost application make their objects without the
    // lookup's own failure point.
    friend class NSWorkspace;
    explicit NSRunningApplication(pid_t pid) : pid_(pid) {}
    static NSRunningApplication* forRunningProcess(pid_t pid);
    pid_t pid_;
};
