// Logging out and in.
#include "control/UserSession.h"

#include <filesystem>

#include "CoreFoundation/CFRunLoop.h"
#include "CoreServices/LoginItemListInternal.h"
#include "RetainPtr.h"
#include "control/SystemProcess.h"
#include "sim/Desktop.h"
#include "sim/Transcript.h"
#include "sim/UTF16.h"

namespace sim {
namespace {

void launchTheSystem() {
    std::string error;
    if (frameworks::systemState() != frameworks::SystemState::Running &&
        !frameworks::launchSystem(&error)) {
        record("the system cannot launch: " + error);
    }
}

void openLoginItem(const frameworks::LoginItemRecord& entry) {
    const std::string path = frameworks::pathOfFileURL(entry.url);
    Desktop& world = desktop();
    if (path == mainBundlePath()) {
        launchTheSystem();
        return;
    }
    const std::filesystem::path bundle(path);
    if (bundle.extension() == ".app") {
        ApplicationSpec app;
        app.name = bundle.stem().string();
        app.bundlePath = path;
        if (!world.pidNamed(app.name)) {
            world.addApplication(app);
        }
        return;
    }
    world.openURL(utf8FromUTF16(entry.url));
}

}  // namespace

void launchKeptApplication(const ApplicationSpec& setup) {
    // The launch happens at the next pass of the main run loop, after the click has reached
    // every receiver, as the Dock asks Launch Services to start the application.
    RetainPtr<CFRunLoopTimerRef> launch = adoptCF(CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent(), 0, 0, 0, [setup](CFRunLoopTimerRef) {
            Desktop& world = desktop();
            if (setup.bundlePath == mainBundlePath()) {
                launchTheSystem();
            } else if (!world.pidNamed(setup.name)) {
                ApplicationSpec fresh = setup;
                fresh.pid = 0;
                world.activate(world.addApplication(fresh));
            }
        }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), launch.get(), kCFRunLoopDefaultMode);
}

void runOnMainRunLoopAfter(double seconds, std::function<void()> work) {
    RetainPtr<CFRunLoopTimerRef> timer = adoptCF(CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + seconds, 0, 0, 0,
        [work = std::move(work)](CFRunLoopTimerRef) { work(); }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer.get(), kCFRunLoopDefaultMode);
}

void logOut() {
    if (desktop().loggedOut()) {
        return;
    }
    record("the user logs out");
    Desktop& world = desktop();
    world.setLoggingOut(true);
    const std::optional<pid_t> finder = world.pidNamed("Finder");
    for (pid_t pid : world.runningPids()) {
        if (pid == kDockPid || pid == finder || world.application(pid) == nullptr) {
            continue;
        }
        if (pid == world.systemPid() &&
            frameworks::systemState() == frameworks::SystemState::Running) {
            // Asked as any application is: its termination path runs, and it may refuse.
            frameworks::terminateSystem();
            if (frameworks::systemState() == frameworks::SystemState::Running) {
                record("the logout is cancelled: " + world.nameOf(pid) + " did not quit");
                world.setLoggingOut(false);
                return;
            }
        }
        // A running system has quit above; its agent that stands for the next launch never
        // launched, and ends untold.
        world.quit(pid, pid != world.systemPid());
    }
    if (finder) {
        world.quit(*finder);
    }
    world.quit(kDockPid);
    world.setLoggedOut(true);
}

bool loggedOut() {
    return desktop().loggedOut();
}

void logIn() {
    Desktop& world = desktop();
    if (!world.loggedOut()) {
        return;
    }
    world.setLoggedOut(false);
    record("the user logs in");
    world.setLoggingOut(false);
    world.startDock();
    world.startFinder();
    world.addTrash();
    for (const frameworks::LoginItemRecord& entry : frameworks::loginItemList().entries()) {
        if (entry.resolvable) {
            openLoginItem(entry);
        }
    }
}

}  // namespace sim
