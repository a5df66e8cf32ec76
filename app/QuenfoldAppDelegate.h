// The application delegate: the Dock-click watcher's event tap, the application's lifecycle
// and its login-item registration.
#pragma once

#include <AppKit/AppKit.h>
#include <AppKit/NSApplication.h>
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

class NSWindow;

// The one application delegate, created by the main interface file.
class QuenfoldAppDelegate : public NSObject, public NSApplicationDelegate {
public:
    QuenfoldAppDelegate() = default;
    ~QuenfoldAppDelegate() override;

    // Registers the default preferences; sent before the class's first message.
    static void initialize();
    void awakeFromNib();

    // The settings window (an outlet: not retained).
    void setWindow(NSWindow* window) { window_ = window; }
    NSWindow* window() const { return window_; }

    // The listen-only tap on left-button presses and releases, at most one at a time.
    void enablePassiveEventTap();
    void installPassiveEventTap();
    void releasePassiveEventTap();

    // Actions of the settings window; the sender is ignored.
    void changeSetting(id sender);
    void openUniversalAccessPref(id sender);

    void applicationDidFinishLaunching(NSNotification* notification) override;
    void MyApplicationWillTerminateNotification(NSNotification* notification);
    NSApplicationTerminateReply applicationShouldTerminate(NSApplication* application) override;
    void applicationWillTerminate(NSNotification* notification) override;
    bool applicationShouldHandleReopen(NSApplication* application, bool hasVisibleWindows) override;

    // Login-item registration of the application's bundle.
    void setLaunchAutomaticallyOnLogin(NSString* bundlePath, bool enabled);
    void setLaunchAutomaticallyOnLogin(bool enabled);
    bool isLaunchAutomaticallyOnLogin();

    void checkAXAPI();
    void showDockIcon();

    // Instance variables, public so that tests can see what the delegate owns. The two
    // outlets are filled by the interface file and not retained.
    NSWindow* window_ = nullptr;
    id axapiMessageTextField = nullptr;
    // The tap and its run-loop source, each owned by the delegate; null while there is none.
    RetainPtr<CFMachPortRef> passiveEventTapPort;
    RetainPtr<CFRunLoopSourceRef> passiveEventTapRLSR;

private:
    // Presents the settings window: ordered front, the application activated, ordered front.
    void presentSettingsWindow();
};
