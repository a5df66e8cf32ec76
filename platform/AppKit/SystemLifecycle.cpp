// The system's own process: its launch from the bundle's Info.plist and main interface file,
// reopening, termination, and a fresh process for every session.
#include "AppKit/SystemLifecycleInternal.h"

#include <filesystem>

#include "AppKit/InterfaceFileInternal.h"
#include "AppKit/NSApplication.h"
#include "AppKit/NSWindow.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreFoundation/CFRunLoopInternal.h"
#include "Foundation/Foundation.h"
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
};

SystemProcess& process() {
    static SystemProcess instance;
    return instance;
}

}  // namespace

// Every session starts with a process that has not launched and has nothing alive.
void resetSystemProcess() {
    SystemProcess& current = process();
    // First: the windows about to go must not touch the new session's desktop.
    ++current.generation;
    NSApplication::sharedApplication()->setDelegate(nullptr);
    {
        NSAutoreleasePool pool;
        current.mainInterface.reset();
    }
    NSApplication::sharedApplication()->resetForNewSession();
    current.state = SystemState::NotLaunched;
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
    CFRunLoopRef loop = CFRunLoopGetMain();
    _CFRunLoopReset(loop);
    CFRunLoopStop(loop);
    desktop().quit(kSystemPid);
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
    if (current.state != SystemState::NotLaunched) {
        reason = current.state == SystemState::Running
                     ? "the system is running already"
                     : "the system has quit; it launches once a session";
    } else if (desktop().application(kSystemPid) == nullptr) {
        reason = "the system's process is not on the desktop";
    }
    LaunchSettings settings;
    if (reason.empty() && readInfoPlist(mainBundlePath(), &settings, &reason)) {
        NSAutoreleasePool pool;
        NSApplication* application = NSApplication::sharedApplication();
        current.mainInterface = loadInterfaceFile(settings.interfacePath, application, &reason);
        if (current.mainInterface) {
            current.state = SystemState::Running;
            record(desktop().nameOf(kSystemPid) + " launches");
            if (!settings.agent) {
                desktop().makeForeground(kSystemPid);
            }
            application->finishLaunching();
            return true;
        }
    }
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

void sendReopenEvent(pid_t pid) {
    if (pid != kSystemPid || process().state != SystemState::Running) {
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
    record(desktop().nameOf(kSystemPid) + " is opened again");
    NSAutoreleasePool pool;
    NSApplication::sharedApplication()->handleReopenEvent();
}

void terminateSystem() {
    if (process().state != SystemState::Running) {
        return;
    }
    NSAutoreleasePool pool;
    NSApplication::sharedApplication()->terminate(nullptr);
}

}  // namespace frameworks
