// The user's session and the Dock's own items: logging out and in, Finder and the Trash in the
// Dock, items the Dock keeps, and whether an application runs.
#include "DesktopScript/DesktopScriptSteps.h"
#include "control/SystemProcess.h"
#include "control/UserSession.h"
#include "sim/Desktop.h"

namespace sim::script {
namespace {

// The system's process runs only once launched: before, it stands on the desktop unlaunched.
bool runs(const std::string& app) {
    if (app == systemName()) {
        return frameworks::systemState() == frameworks::SystemState::Running;
    }
    return desktop().pidNamed(app).has_value();
}

}  // namespace

void perform(const SessionStatement& statement, Story& story) {
    if (statement.action == SessionAction::Logout) {
        story.tell("the user logs out");
        logOut();
    } else {
        if (!loggedOut()) {
            throw StepUnusable{"login: the user is logged in (no logout before this line)"};
        }
        story.tell("the user logs in");
        logIn();
    }
}

void perform(const DockFixtureStatement& statement, Story&) {
    if (statement.what == DockFixture::Finder) {
        desktop().startFinder();
    } else {
        desktop().addTrash();
    }
}

void perform(const KeepStatement& statement, Story& story) {
    ApplicationSpec setup;
    if (statement.app == systemName()) {
        // The system's item, whether or not it runs or shows one now.
        setup.name = statement.app;
        setup.bundleIdentifier = kSystemBundleIdentifier;
        setup.bundlePath = mainBundlePath();
    } else {
        setup = desktop().specOf(pidNamed(statement.app));
    }
    story.tell("the user keeps " + statement.app + " in the Dock");
    desktop().keepInDock(setup);
}

void perform(const ExpectRunning& expectation, Story& story) {
    const bool running = runs(expectation.app);
    const auto state = [&](bool value) {
        return expectation.app + (value ? " running" : " not running");
    };
    if (running != expectation.running) {
        throw ExpectationFailed{"expected " + state(expectation.running) + ", found " +
                                (running ? "it running" : "it not running")};
    }
    story.confirm(expectation.app + (running ? " runs" : " does not run"));
}

}  // namespace sim::script
