#include "AppKit/NSApplication.h"

#include <algorithm>

#include "AppKit/NSWindow.h"
#include "sim/Desktop.h"
#include "sim/SystemLifecycle.h"

const CFStringRef NSApplicationWillFinishLaunchingNotification =
    CFStringMakeConstant("NSApplicationWillFinishLaunchingNotification");
const CFStringRef NSApplicationDidFinishLaunchingNotification =
    CFStringMakeConstant("NSApplicationDidFinishLaunchingNotification");
const CFStringRef NSApplicationWillTerminateNotification =
    CFStringMakeConstant("NSApplicationWillTerminateNotification");

NSApplication* NSApp = nullptr;

NSApplication* NSApplication::instance() {
    static NSApplication* const application = new NSApplication();
    return application;
}

NSApplication* NSApplication::sharedApplication() {
    NSApp = instance();
    return NSApp;
}

void NSApplication::activateIgnoringOtherApps(bool flag) {
    if (terminated_ || sim::desktop().application(sim::desktop().systemPid()) == nullptr) {
        return;
    }
    const std::optional<pid_t> active = sim::desktop().activePid();
    if (!flag && active && *active != sim::desktop().systemPid()) {
        return;
    }
    sim::desktop().activate(sim::desktop().systemPid());
}

bool NSApplication::isActive() const {
    return sim::desktop().activePid() == sim::desktop().systemPid();
}

void NSApplication::finishLaunching() {
    NSAutoreleasePool pool;
    NSNotificationCenter* center = NSNotificationCenter::defaultCenter();
    NSNotification* willFinish =
        NSNotification::notificationWithName(NSApplicationWillFinishLaunchingNotification, this);
    if (delegate_ != nullptr) {
        delegate_->applicationWillFinishLaunching(willFinish);
    }
    center->postNotification(willFinish);
    NSNotification* didFinish =
        NSNotification::notificationWithName(NSApplicationDidFinishLaunchingNotification, this);
    if (delegate_ != nullptr) {
        delegate_->applicationDidFinishLaunching(didFinish);
    }
    center->postNotification(didFinish);
}

void NSApplication::terminate(id) {
    if (terminating_ || terminated_ || awaitingTerminationReply_) {
        return;
    }
    const NSApplicationTerminateReply reply =
        delegate_ != nullptr ? delegate_->applicationShouldTerminate(this) : NSTerminateNow;
    if (reply == NSTerminateNow) {
        finishTermination();
    } else if (reply == NSTerminateLater) {
        awaitingTerminationReply_ = true;
    }
}

void NSApplication::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (!awaitingTerminationReply_) {
        return;
    }
    awaitingTerminationReply_ = false;
    if (shouldTerminate) {
        finishTermination();
    }
}

void NSApplication::finishTermination() {
    terminating_ = true;
    {
        NSAutoreleasePool pool;
        NSNotification* notification =
            NSNotification::notificationWithName(NSApplicationWillTerminateNotification, this);
        if (delegate_ != nullptr) {
            delegate_->applicationWillTerminate(notification);
        }
        NSNotificationCenter::defaultCenter()->postNotification(notification);
    }
    terminated_ = true;
    terminating_ = false;
    sim::endSystemProcess();
}

bool NSApplication::hasVisibleWindows() const {
    return std::any_of(windows_.begin(), windows_.end(),
                       [](const NSWindow* window) { return window->isVisible(); });
}

void NSApplication::handleReopenEvent() {
    if (terminated_) {
        return;
    }
    const bool visible = hasVisibleWindows();
    if (delegate_ != nullptr && !delegate_->applicationShouldHandleReopen(this, visible)) {
        return;
    }
    // The default handling: the application has no document types to open an untitled
    // document for, and windows are never miniaturized on this desktop, so nothing is left.
}

bool NSApplication::sendAction(SEL action, id target, id sender) {
    if (action == nullptr || terminated_) {
        return false;
    }
    return sendActionToTarget(action, target, sender);
}

void NSApplication::resetForNewSession() {
    delegate_ = nullptr;
    awaitingTerminationReply_ = false;
    terminating_ = false;
    terminated_ = false;
    NSApp = nullptr;
}
