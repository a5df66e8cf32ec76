// The session's virtual clock. Time moves only when the session is told to wait (or a thread
// sleeps), so waiting costs no real time and is exact.
#pragma once

namespace sim {

// CFAbsoluteTime of the moment the session started: the reference date itself, so that
// absolute times and session times are the same numbers and stay exact.
inline constexpr double kReferenceDate = 0.0;

// Seconds since the session started.
double clockNow();
// Moves the clock forward to `seconds` since the start; never backwards.
void advanceClockTo(double seconds);
void resetClock();

// Lets the rest of the desktop catch up with what was asked of it (pending hide requests, then
// scheduled activations) at the current time, and, when the main run loop is idle or runs in a
// common mode, lets running-application objects catch up with the desktop. The run loop calls
// it after each pass.
void worldTurn();

// Runs, at the current time, everything due on the main run loop (queued main-thread
// performs, timers that are due, pending hide requests and activations), until nothing more
// is due; running-application objects have caught up with the desktop afterwards.
void settle();

}  // namespace sim
