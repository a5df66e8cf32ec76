// The system's own process: its launch from the bundle's Info.plist and main interface file,
// reopening, termination, and a fresh process for every launch and every session.
#include "AppKit/SystemLifecycleInternal.h"

#include <filesystem>

#include "AppKit/InterfaceFileInternal.h"
#include "AppKit/NSApplication.h"
#include "AppKit/NSWindow.h"
#include "AppKit/NSWorkspaceInternal.h"
#include "AppKit/SystemImageInternal.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreFoundation/CFRunLoopInternal.h"
#include "Foundation/Foundation.h"
#include "Foundation/FoundationInternal.h"
#include "Foundation/PreferenceDomainInternal.h"
#include "TypeCastsCF.h"
#include "sim/Desktop.h"
#include "sim/Transcript.h"

namespace frameworks {

using namespace sim;
namespace {

struct SystemProcess {
    SystemState state = SystemState::NotLaunched;
    std::unique_ptr<LoadedInterface> mainInterface;
    std::uint64_t generation = 1;
    bool ended = false;  // ended, and its remains not taken away yet
};

SystemProcess& process() {
    static SystemProcess instance;
    return instance;
}

// What an ended process leaves is taken away once no code of it can be on the stack: the main
// interface file's objects (the delegate among them), what the frameworks kept for the process
// (the application object's state, the notification centre's observers, the registration
// domain, the classes' initialize marks, the bundles, the workspace's active-application
// record), what was read of its preferences, and the image of its code.
void reapProcess(SystemProcess& current) {
    // First: the windows about to go must not touch the desktop's new windows.
    ++current.generation;
    NSApplication::sharedApplication()->setDelegate(nullptr);
    {
        NSAutoreleasePool pool;
        current.mainInterface.reset();
    }
    NSApplication::sharedApplication()->resetForNewSession();
    _NSNotificationCenterReset();
    _NSUserDefaultsReset();
    _NSRuntimeReset();
    _NSBundleReset();
    forgetActiveApplicationRecord();
    std::string unwritten;
    applicationDomain().synchronize(&unwritten);
    applicationDomain().forget();
    unloadSystemImage();
    current.ended = false;
}

}  // namespace

// Every session starts with a process that has not launched and has nothing alive.
void resetSystemProcess() {
    SystemProcess& current = process();
    reapProcess(current);
    current.state = SystemState::NotLaunched;
}

void reapEndedSystemProcess() {
    if (process().ended) {
        reapProcess(process());
    }
}

namespace {

struct LaunchSettings {
    std::string interfacePath;
    bool agent = false;
};

// What the bundle's Info.plist says about the launch; false with the reason when it cannot be
// used.
bool readInfoPlist(const std::string& bundle, LaunchSettings* settings, std::string* error) {
    const std::string path = bundle + "/Contents/Info.plist";
    PropertyListFile file = readPropertyListFile(path);
    if (file.status != PropertyListFile::Status::Read) {
        *error = path + ": " +
                 (file.status == PropertyListFile::Status::Missing ? "the file does not exist"
                                                                   : file.error);
        return false;
    }
    CFDictionaryRef info = dynamic_cf_cast<CFDictionaryRef>(file.root.get());
    if (info == nullptr) {
        *error = path + ": the top level is not a dictionary";
        return false;
    }
    CFStringRef identifier =
        dynamic_cf_cast<CFStringRef>(info->objectForKey(CFSTR("CFBundleIdentifier")));
    if (identifier == nullptr || identifier->utf8() != kSystemBundleIdentifier) {
        *error = path + ": CFBundleIdentifier is not " + kSystemBundleIdentifier;
        return false;
    }
    CFStringRef nibName = dynamic_cf_cast<CFStringRef>(info->objectForKey(CFSTR("NSMainNibFile")));
    if (nibName == nullptr || nibName->length() == 0) {
        *error = path + ": NSMainNibFile does not name the main interface file";
        return false;
    }
    std::filesystem::path interface =
        std::filesystem::path(bundle) / "Contents" / "Resources" / nibName->utf8();
    if (!interface.has_extension()) {
        interface += ".plist";
    }
    settings->interfacePath = interface.string();
    // As on macOS, the agent setting may be a boolean or a string such as "1".
    id agent = info->objectForKey(CFSTR("LSUIElement"));
    if (CFBooleanRef flag = dynamic_cf_cast<CFBooleanRef>(agent)) {
        settings->agent = CFBooleanGetValue(flag);
    } else if (CFStringRef text = dynamic_cf_cast<CFStringRef>(agent)) {
        settings->agent = text->boolValue();
    }
    return true;
}

}  // namespace

std::uint64_t sessionGeneration() {
    return process().generation;
}

void endSystemProcess() {
    process().state = SystemState::Terminated;
    process().ended = true;
    CFRunLoopRef loop = CFRunLoopGetMain();
    _CFRunLoopReset(loop);
    CFRunLoopStop(loop);
    desktop().quit(desktop().systemPid());
}

NSWindow* settingsWindow() {
    const auto& interface = process().mainInterface;
    if (!interface) {
        return nullptr;
    }
    const std::vector<NSWindow*> windows = interface->windows();
    return windows.empty() ? nullptr : windows.front();
}

SystemState systemState() {
    return process().state;
}

bool launchSystem(std::string* error) {
    std::string reason;
    SystemProcess& current = process();
    reapEndedSystemProcess();
    if (current.state == SystemState::Running) {
        reason = "the system is running already";
    } else if (desktop().loggedOut()) {
        reason = "the user is logged out";
    } else {
        desktop().startSystemProcess(mainBundlePath());
    }
    LaunchSettings settings;
    if (reason.empty() && readInfoPlist(mainBundlePath(), &settings, &reason) &&
        loadSystemImage(&reason)) {
        NSAutoreleasePool pool;
        NSApplication* application = NSApplication::sharedApplication();
        current.mainInterface = loadInterfaceFile(settings.interfacePath, application, &reason);
        if (current.mainInterface) {
            current.state = SystemState::Running;
            desktop().systemLaunches();
            record(desktop().nameOf(desktop().systemPid()) + " launches");
            if (!settings.agent) {
                desktop().makeForeground(desktop().systemPid());
            }
            application->finishLaunching();
            return true;
        }
        // A launch that failed ends its process at once.
        current.ended = true;
        reapEndedSystemProcess();
    }
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

void sendReopenEvent(pid_t pid) {
    if (pid != desktop().systemPid() || process().state != SystemState::Running) {
        return;
    }
    RetainPtr<CFRunLoopTimerRef> delivery =
        adoptCF(CFRunLoopTimerCreateWithHandler(kCFAllocatorDefault, CFAbsoluteTimeGetCurrent(), 0,
                                                0, 0, [](CFRunLoopTimerRef) { reopenSystem(); }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), delivery.get(), kCFRunLoopDefaultMode);
}

void reopenSystem() {
    if (process().state != SystemState::Running) {
        return;
    }
    record(desktop().nameOf(desktop().systemPid()) + " is opened again");
    NSAutoreleasePool pool;
    NSApplication::sharedApplication()->handleReopenEvent();
}

void terminateSystem() {
    if (process().state != SystemState::Running) {
        return;
    }
    {
        NSAutoreleasePool pool;
        NSApplication::sharedApplication()->terminate(nullptr);
    }
    reapEndedSystemProcess();
}

}  // namespace frameworks
