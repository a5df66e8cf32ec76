// The application object, its delegate protocol and the framework's main routine.
#pragma once

#include <vector>

#include "Foundation/Foundation.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSObjCRuntime.h"

class NSApplication;
class NSWindow;
namespace frameworks {
class ViewElements;
}

using NSApplicationTerminateReply = NSUInteger;
enum : NSApplicationTerminateReply {
    NSTerminateCancel = 0,
    NSTerminateNow = 1,
    NSTerminateLater = 2,
};

extern const CFStringRef NSApplicationWillFinishLaunchingNotification;
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

    // Makes the application the active one: with YES even when another application is active,
    // with NO only when none is.
    void activateIgnoringOtherApps(bool flag);
    bool isActive() const;

    // The launch callbacks: applicationWillFinishLaunching: with its notification, then
    // applicationDidFinishLaunching: with its notification. The delegate hears each first,
    // then the default notification centre's observers.
    void finishLaunching();

    // Asks the delegate (applicationShouldTerminate:). On NSTerminateNow: the delegate's
    // applicationWillTerminate:, NSApplicationWillTerminateNotification through the default
    // notification centre, and the process ends: it quits on the desktop and its run loop runs
    // nothing more. NSTerminateLater waits for replyToApplicationShouldTerminate:. Happens at
    // most once.
    void terminate(id sender);
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    bool isTerminated() const { return terminated_; }

    // The reopen event of the platform (the user opens the running application again from the
    // Finder or the Dock). The delegate's applicationShouldHandleReopen:hasVisibleWindows:
    // decides; YES lets the framework do its default handling, which reopens an untitled
    // document for applications with documents and brings back miniaturized windows. An agent
    // application without documents or miniaturized windows has nothing for it to do.
    void handleReopenEvent();

    // Sends `action` to `target` (sendAction:to:from:); false when the target is nil or does
    // not respond to it.
    bool sendAction(SEL action, id target, id sender);

    // The application's windows, in the order they were made (not retained).
    const std::vector<NSWindow*>& windows() const { return windows_; }

    // A fresh process for a fresh session: no delegate, not terminated, NSApp nil again.
    void resetForNewSession();

private:
    friend class NSWindow;
    friend class frameworks::ViewElements;
    NSApplication() : NSObject(Immortal{}) {}
    // The one application object, without making it NSApp.
    static NSApplication* instance();
    void finishTermination();
    bool hasVisibleWindows() const;

    NSApplicationDelegate* delegate_ = nullptr;
    std::vector<NSWindow*> windows_;
    bool awaitingTerminationReply_ = false;
    bool terminating_ = false;
    bool terminated_ = false;
};

// The application object, once sharedApplication has made it.
extern NSApplication* NSApp;

// Loads the main interface file named by the bundle's Info.plist, delivers the launch
// callbacks and runs the main run loop; returns the process's exit status. On this machine the
// session is driven by a desktop script: -SimulatedDesktop FILE (default: the built-in demo)
// and -SimulatedHome DIR.
int NSApplicationMain(int argc, const char* argv[]);
