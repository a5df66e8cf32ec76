// The session as a whole: its clock, its world turn and its reset.
#include <algorithm>
#include <chrono>

#include "CoreFoundation/CFRunLoopInternal.h"
#include "Foundation/FoundationInternal.h"
#include "sim/Accessibility.h"
#include "sim/Clock.h"
#include "sim/Desktop.h"
#include "sim/EventSystem.h"
#include "sim/Faults.h"
#include "sim/FileReferences.h"
#include "sim/FileSystem.h"
#include "sim/HomeFolder.h"
#include "sim/LoginItemList.h"
#include "sim/PreferenceDomain.h"
#include "sim/SystemLifecycle.h"
#include "sim/SystemPreferences.h"
#include "sim/Transcript.h"
#include "sim/UserSession.h"

namespace sim {
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
    refreshSystemPreferences();
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
    eventSystem().reset();
    clearFaults();
    resetCallCounts();
    resetClock();
    resetAccessibility();
    clearVirtualDirectories();
    setTranscriptListener(nullptr);
    desktop().reset(mainBundlePath());
    resetSystemPreferences();
    resetUserSession();

    _NSBundleReset();
    _NSNotificationCenterReset();
    _NSRuntimeReset();
    _NSUserDefaultsReset();
    resetFileReferences();
    useFreshTemporaryHomeFolder();
    loginItemList().forget();
    applicationDomain().forget();
    resetSystemProcess();

    clearTranscript();
}

}  // namespace sim
