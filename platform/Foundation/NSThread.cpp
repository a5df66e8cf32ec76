// Threads over the simulated session: sleeping moves the session's clock.
#include "Foundation/NSThread.h"

#include "sim/Clock.h"
#include "sim/Faults.h"

void NSThread::sleepForTimeInterval(NSTimeInterval seconds) {
    sim::countCall<"sleepForTimeInterval">();  // a sleep cannot fail
    if (!(seconds >= 0)) {
        return;  // a negative interval, or not a number, is no time at all
    }
    sim::advanceClockTo(sim::clockNow() + seconds);
    // The rest of the desktop goes on meanwhile; this thread's run loop does not run.
    sim::worldTurn();
}
