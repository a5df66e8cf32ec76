// The session as a whole: its clock, its world turn and its reset.
#include <algorithm>
#include <chrono>

#include "AppKit/SystemLifecycleInternal.h"
#include "ApplicationServices/AccessibilityInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "CoreFoundation/CFRunLoopInternal.h"
#include "CoreServices/FileReferencesInternal.h"
#include "CoreServices/LoginItemListInternal.h"
#include "Foundation/Foundation.h"
#include "Foundation/FoundationInternal.h"
#include "Foundation/PreferenceDomainInternal.h"
#include "control/UserSession.h"
#include "sim/Clock.h"
#include "sim/Desktop.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"
#include "sim/HomeFolder.h"
#include "sim/Transcript.h"

namespace sim {

using namespace frameworks;
namespace {

double gNow = 0;

// Pacing: the wall clock's instant and the session time it stands for.
bool gPaced = false;
std::chrono::steady_clock::time_point gPaceStartWall;
double gPaceStartTime = 0;

constexpr double kFarAheadSeconds = 365.0 * 24 * 3600;

}  // namespace

double clockNow() {
    return gNow;
}

void advanceClockTo(double seconds) {
    gNow = std::max(gNow, seconds);
}

void resetClock() {
    gNow = 0;
    gPaced = false;
}

void paceClockByWallClock(bool paced) {
    gPaced = paced;
    if (paced) {
        gPaceStartWall = std::chrono::steady_clock::now();
        gPaceStartTime = gNow;
    }
}

bool clockIsPaced() {
    return gPaced;
}

double pacedClockNow() {
    if (!gPaced) {
        return gNow;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - gPaceStartWall;
    return std::max(gNow, gPaceStartTime + elapsed.count());
}

std::chrono::steady_clock::time_point wallInstantOf(double seconds) {
    const double ahead = std::clamp(seconds - gPaceStartTime, 0.0, kFarAheadSeconds);
    return gPaceStartWall + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(ahead));
}

void worldTurn() {
    reapEndedSystemProcess();
    desktop().applyPendingHides();
    desktop().applyPendingActivations();
    if (_CFRunLoopIsInCommonMode(CFRunLoopGetMain())) {
        desktop().publishApplicationStates();
    }
}

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
    desktop().setReopenHandler(frameworks::sendReopenEvent);
    desktop().setLaunchHandler(launchKeptApplication);

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
