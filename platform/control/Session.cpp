// The session as a whole: its clock, its world turn and its reset.
#include <algorithm>
#include <chrono>

#include "AppKit/SystemLifecycleInternal.h"
#include "AppKit/ViewElementsInternal.h"
#include "ApplicationServices/AccessibilityInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "CoreFoundation/CFRunLoopInternal.h"
#include "CoreServices/FileReferencesInternal.h"
#include "CoreServices/LoginItemListInternal.h"
#include "Foundation/Foundation.h"
#include "Foundation/FoundationInternal.h"
#include "Foundation/PreferenceDomainInternal.h"
#include "control/OpenFile.h"
#include "control/SystemPreferences.h"
#include "control/SystemProcess.h"
#include "control/UserSession.h"
#include "sim/Clock.h"
#include "sim/Desktop.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"
#include "sim/HomeFolder.h"
#include "sim/Transcript.h"
#include "sim/UTF16.h"

namespace sim {

using namespace frameworks;
namespace {

// The session's world turn, which the main run loop runs after each pass (sim/Clock.h).
void sessionWorldTurn() {
    reapEndedSystemProcess();
    desktop().applyPendingHides();
    desktop().applyPendingActivations();
    refreshSystemPreferences();
    ViewElements::updateAll();
    if (_CFRunLoopIsInCommonMode(CFRunLoopGetMain())) {
        desktop().publishApplicationStates();
    }
}

}  // namespace

void settle() {
    _CFRunLoopRunDue(CFRunLoopGetMain());
}

// Every part of the session, in one order: the run loop, input, faults, clock and the desktop;
// the frameworks' process-wide state; the home folder and what was read from it; the system's
// process (it moves to a new generation first, so that the windows it lets go leave the new
// desktop alone); the transcript last, so that nothing the reset did is told as a change of
// the new session.
void reset() {
    _CFRunLoopReset(CFRunLoopGetMain());
    frameworks::eventSystem().reset();
    clearFaults();
    resetCallCounts();
    resetClock();
    frameworks::resetAccessibility();
    clearVirtualDirectories();
    setTranscriptListener(nullptr);
    desktop().reset(mainBundlePath());
    setWorldTurn(sessionWorldTurn);
    desktop().setReopenHandler(frameworks::sendReopenEvent);
    desktop().setLaunchHandler(launchKeptApplication);
    desktop().setDelayHandler(runOnMainRunLoopAfter);
    desktop().setLoginItemHandlers(loginItemListed, setLoginItem);
    desktop().setControlHandler([](NodeId node) {
        if (!ViewElements::click(node)) {
            pressSystemPreferencesControl(node);
        }
    });
    desktop().setOpenHandler([](const std::string& url) {
        if (const std::string path = pathOfFileURL(utf16FromUTF8(url)); !path.empty()) {
            openPath(path, nullptr);
        }
    });
    desktop().setCommandHandler([](pid_t pid, Desktop::AppCommand command) {
        if (pid != desktop().systemPid()) {
            return false;
        }
        command == Desktop::AppCommand::Quit ? terminateSystem() : closeSettingsWindow();
        return true;
    });
    resetSystemPreferences();

    _NSBundleReset();
    _NSNotificationCenterReset();
    _NSRuntimeReset();
    _NSUserDefaultsReset();
    frameworks::resetFileReferences();
    useFreshTemporaryHomeFolder();
    frameworks::loginItemList().forget();
    frameworks::applicationDomain().forget();
    frameworks::resetSystemProcess();

    clearTranscript();
}

}  // namespace sim
