// Logging out and in.
#include "sim/UserSession.h"

#include <filesystem>

#include "CoreFoundation/CFStringInternal.h"
#include "sim/Desktop.h"
#include "sim/LoginItemList.h"
#include "sim/SystemProcess.h"
#include "sim/Transcript.h"

namespace sim {
namespace {

bool gLoggedOut = false;

void openLoginItem(const LoginItemRecord& entry) {
    const std::string path = pathOfFileURL(entry.url);
    Desktop& world = desktop();
    if (path == mainBundlePath()) {
        std::string error;
        if (systemState() != SystemState::Running && !launchSystem(&error)) {
            record("the system cannot launch: " + error);
        }
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

void logOut() {
    if (gLoggedOut) {
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
        if (pid == world.systemPid() && systemState() == SystemState::Running) {
            // Asked as any application is: its termination path runs, and it may refuse.
            terminateSystem();
            if (systemState() == SystemState::Running) {
                record("the logout is cancelled: " + world.nameOf(pid) + " did not quit");
                world.setLoggingOut(false);
                return;
            }
        }
        world.quit(pid);
    }
    if (finder) {
        world.quit(*finder);
    }
    world.quit(kDockPid);
    gLoggedOut = true;
}

bool loggedOut() {
    return gLoggedOut;
}

void logIn() {
    if (!gLoggedOut) {
        return;
    }
    gLoggedOut = false;
    record("the user logs in");
    Desktop& world = desktop();
    world.setLoggingOut(false);
    world.startDock();
    if (world.finderWanted()) {
        world.startFinder();
    }
    for (const LoginItemRecord& entry : loginItemList().entries()) {
        if (entry.resolvable) {
            openLoginItem(entry);
        }
    }
}

void resetUserSession() {
    gLoggedOut = false;
}

}  // namespace sim
