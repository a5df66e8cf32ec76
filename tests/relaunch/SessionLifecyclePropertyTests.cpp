// Properties of a session over random runs of launches, quits, logouts, logins, clicks and
// changes of the preferences: no object of a process is alive once it ended, the stored files
// always read, and the Dock's application items belong to running applications or are kept.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <string>
#include <vector>

#include "ApplicationServices/EventSystemInternal.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreServices/LoginItemListInternal.h"
#include "SessionTest.h"
#include "control/SystemProcess.h"
#include "control/UserSession.h"
#include "sim/Clock.h"
#include "sim/HomeFolder.h"

namespace {

using sim::desktop;

enum class Step { Launch, Quit, Logout, Login, ClickSafari, KeepSafari, QuitSafari, Toggle };

const std::string kImage = std::string(QUENFOLD_BUNDLE_PATH) + "/Contents/MacOS/QuenfoldSystem.so";
const char* const kKeys[] = {"LaunchAutomaticallyOnLogin", "HideDockIcon", "ShowSettingsOnLaunch"};

// The objects of the model alive with no process of the system running, the session's own
// record of the login items let go (it is the session's, and grows with the list).
long liveObjectsWithoutProcess() {
    frameworks::loginItemList().forget();
    return NSObjectLiveCount();
}

void take(Step step, int toggle) {
    switch (step) {
        case Step::Launch:
            frameworks::launchSystem(nullptr);
            break;
        case Step::Quit:
            frameworks::terminateSystem();
            break;
        case Step::Logout:
            sim::logOut();
            break;
        case Step::Login:
            sim::logIn();
            break;
        case Step::ClickSafari:
            if (std::optional<sim::NodeId> item = desktop().dockItemTitled("Safari")) {
                const sim::Rect frame = *desktop().node(*item)->frame;
                frameworks::eventSystem().pressLeft(frame.midX(), frame.midY());
                frameworks::eventSystem().releaseLeft(frame.midX(), frame.midY());
            }
            break;
        case Step::KeepSafari:
            if (std::optional<pid_t> pid = desktop().pidNamed("Safari")) {
                desktop().keepInDock(desktop().specOf(*pid));
            }
            break;
        case Step::QuitSafari:
            if (std::optional<pid_t> pid = desktop().pidNamed("Safari")) {
                desktop().quit(*pid);
            }
            break;
        case Step::Toggle:
            sim::setSettingsControl(kKeys[toggle % 3], toggle % 2 == 0);
            break;
    }
    sim::settle();
}

void checkInvariants(long baseline) {
    // Stored files always read.
    for (const char* file : {"org.quenfold.Quenfold.plist", "com.apple.loginitems.plist"}) {
        RC_ASSERT(frameworks::readPropertyListFile(sim::preferencesFilePath(file)).status !=
                  frameworks::PropertyListFile::Status::Unreadable);
    }
    // Every owned Dock item belongs to a running application, every running foreground
    // application has its own item; logged out, nothing runs.
    for (sim::NodeId item : desktop().dockItems()) {
        const pid_t owner = desktop().node(item)->itemOwner;
        RC_ASSERT(owner == 0 || desktop().application(owner) != nullptr);
    }
    for (pid_t pid : desktop().runningPids()) {
        const sim::Application* app = desktop().application(pid);
        if (app->foreground) {
            RC_ASSERT(desktop().node(app->dockItem) != nullptr);
            RC_ASSERT(desktop().node(app->dockItem)->itemOwner == pid);
        }
    }
    RC_ASSERT(!sim::loggedOut() || desktop().runningPids().empty());
    // No object of an ended process alive, once the Dock's own timed work (a press held on an
    // item, an item bouncing) has run its course.
    if (frameworks::systemState() != frameworks::SystemState::Running) {
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, sim::Desktop::kDockMenuHoldSeconds, false);
        RC_ASSERT(liveObjectsWithoutProcess() == baseline);
    }
}

RC_GTEST_PROP(SessionLifecycleProperties, ProcessesEndCleanlyAndTheDockFollowsThem, ()) {
    const auto steps = *rc::gen::container<std::vector<std::pair<Step, int>>>(rc::gen::pair(
        rc::gen::element(Step::Launch, Step::Quit, Step::Logout, Step::Login, Step::ClickSafari,
                         Step::KeepSafari, Step::QuitSafari, Step::Toggle),
        rc::gen::inRange(0, 6)));
    frameworks::setSystemImagePath(kImage);
    sim::reset();
    long baseline = 0;
    {
        NSAutoreleasePool pool;
        sim::ApplicationSpec safari;
        safari.name = "Safari";
        desktop().addApplication(safari);
        baseline = liveObjectsWithoutProcess();
        for (const auto& [step, toggle] : steps) {
            take(step, toggle);
            checkInvariants(baseline);
        }
    }
    sim::reset();
    frameworks::setSystemImagePath("");
}

}  // namespace
