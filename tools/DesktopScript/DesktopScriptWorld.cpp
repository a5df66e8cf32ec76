// The world statements: applications, Dock items and windows, what the user does to
// applications through the platform's own commands, accessibility access, what an earlier run
// left in the home folder, the platform's refusal of event taps, and the clock.
#include "CoreFoundation/CFRunLoop.h"
#include "DesktopScript/DesktopScriptSteps.h"
#include "Foundation/Foundation.h"
#include "RetainPtr.h"
#include "control/SystemProcess.h"
#include "sim/Clock.h"
#include "sim/Desktop.h"
#include "sim/Faults.h"

namespace sim::script {
namespace {

// com.example. and the name, lowercased by the Unicode rules of the string class, without
// blanks.
std::string defaultBundleIdentifier(const std::string& name) {
    const RetainPtr<CFStringRef> string = adoptCF<CFStringRef>(NSString::createWithUTF8(name));
    std::string lowered = string->lowercaseString()->utf8();
    std::erase_if(lowered, [](char c) { return c == ' ' || c == '\t'; });
    return "com.example." + lowered;
}

}  // namespace

void perform(const AppStatement& app, Story&) {
    // The desktop tells this part of the story itself: the process, its Dock item, activation.
    ApplicationSpec setup;
    setup.name = app.name;
    setup.pid = app.pid.value_or(0);
    setup.bundleIdentifier = app.bundleIdentifier.value_or(defaultBundleIdentifier(app.name));
    setup.bundlePath = app.bundlePath;
    setup.noBundle = app.noBundle;
    setup.dockItemTitle = app.itemTitle;
    setup.dockItem = !app.noItem;
    setup.hidden = app.hidden;
    desktop().addApplication(setup);
}

void perform(const DockItemStatement& item, Story&) {
    DockItemSpec setup;
    setup.title = item.title;
    setup.subrole = item.subrole;
    setup.url = item.url;
    setup.urlObject = item.urlObject;
    desktop().addDockItem(setup);
}

void perform(const WindowStatement& window, Story&) {
    desktop().addWindow(pidNamed(window.app), window.title,
                        Rect{window.x, window.y, window.width, window.height});
}

void perform(const AppActionStatement& statement, Story& story) {
    if (statement.action == AppAction::Quit && statement.app == systemName()) {
        perform(SystemStatement{SystemAction::Quit}, story);
        return;
    }
    const pid_t pid = pidNamed(statement.app);
    switch (statement.action) {
        case AppAction::Activate:
            story.tell("the user brings " + statement.app + " to the front");
            desktop().activate(pid);
            break;
        case AppAction::Hide:
            story.tell("the user hides " + statement.app + " from its menu");
            desktop().hide(pid);
            break;
        case AppAction::Unhide:
            story.tell("the user shows " + statement.app + " again");
            desktop().unhide(pid);
            break;
        case AppAction::Quit:
            story.tell("the user quits " + statement.app);
            desktop().quit(pid);
            break;
    }
}

void perform(const AccessStatement& access, Story& story) {
    story.tell(std::string("the user turns accessibility access ") + (access.on ? "on" : "off"));
    desktop().setAccessEnabled(access.on);
}

void perform(const DefaultStatement& statement, Story& story) {
    story.tell("an earlier run left the preference " + statement.key + " = " +
               (statement.value ? "YES" : "NO"));
    std::string error;
    if (!storeSystemDefault(statement.key, statement.value, &error)) {
        throw StepUnusable{"default: the preference cannot be stored: " + error};
    }
}

void perform(const LoginItemStatement& statement, Story& story) {
    LoginItemEntry entry;
    entry.path = folderOf(statement.path);
    entry.resolvable = !statement.unresolvable;
    story.tell("the login items hold " + describeItemPath(statement.path) +
               (entry.resolvable ? "" : ", which cannot be resolved without mounting a volume"));
    std::string error;
    if (!appendLoginItem(entry, &error)) {
        throw StepUnusable{"loginitem: the entry cannot be added: " + error};
    }
}

void perform(const TapFailStatement& statement, Story& story) {
    static constexpr const char* kTapCreation = "CGEventTapCreate";
    if (statement.on) {
        story.tell("from now on the platform refuses to create event taps");
        removeFaults(kTapCreation);
        injectFault({.call = kTapCreation});
    } else {
        story.tell("from now on the platform creates event taps again");
        removeFaults(kTapCreation);
    }
}

void perform(const WaitStatement& wait, Story& story) {
    story.tell("the user waits " + formatNumber(wait.seconds) + " s");
    const double target = clockNow() + wait.seconds;
    // Everything that falls due meanwhile runs at its own time; a stop of the loop by what ran
    // does not end the wait early.
    while (clockNow() < target) {
        const SInt32 result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, target - clockNow(), false);
        if (result == kCFRunLoopRunFinished || result == kCFRunLoopRunTimedOut) {
            break;
        }
    }
    advanceClockTo(target);
}

}  // namespace sim::script
