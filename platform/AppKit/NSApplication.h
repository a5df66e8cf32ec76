// The application object, its delegate protocol and the framework's main routine.
#pragma once

#include "CoreFoundation/CoreFoundation.h"
#include "Foundation/NSNotificationCenter.h"

class NSApplication;

using NSApplicationTerminateReply = NSUInteger;
enum : NSApplicationTerminateReply {
    NSTerminateCancel = 0,
    NSTerminateNow = 1,
    NSTerminateLater = 2,
};

extern const CFStringRef NSApplicationDidFinishLaunchingNotification;
extern const CFStringRef NSApplicationWillTerminateNotification;

// The delegate protocol; every method is optional and its default is the framework's own
// behaviour.
class NSApplicationDelegate {
public:
    virtual ~NSApplicationDelegate() = default;
    virtual void applicationWillFinishLaunching(NSNotification*) {}
    virtual void applicationDidFinishLaunching(NSNotification*) {}
    virtual NSApplicationTerminateReply applicationShouldTerminate(NSApplication*) {
        return NSTerminateNow;
    }
    virtual void applicationWillTerminate(NSNotification*) {}
    virtual bool applicationShouldHandleReopen(NSApplication*, bool /*hasVisibleWindows*/) {
        return true;
    }
};

class NSApplication : public NSObject {
public:
    static NSApplication* sharedApplication();

    // Not retained, as on macOS.
    void setDelegate(NSApplicationDelegate* delegate) { delegate_ = delegate; }
    NSApplicationDelegate* delegate() const { return delegate_; }

    // Makes the application the active one, even when another is active.
    void activateIgnoringOtherApps(bool flag);
    bool isActive() const;
    // Asks the delegate, then posts NSApplicationWillTerminateNotification and ends the
    // application.
    void terminate(id sender);

private:
    NSApplication() : NSObject(Immortal{}) {}
    NSApplicationDelegate* delegate_ = nullptr;
};

// The application object, once sharedApplication has made it.
extern NSApplication* NSApp;

// Loads the main interface file named by the bundle's Info.plist, delivers the launch
// callbacks and runs the main run loop; returns the process's exit status. On this machine the
// session is driven by a desktop script: -SimulatedDesktop FILE (default: the built-in demo)
// and -SimulatedHome DIR.
int NSApplicationMain(int argc, const char* argv[]);
