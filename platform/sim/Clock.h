// The session's virtual clock. Time moves only when the session is told to wait (or a thread
// sleeps), so waiting costs no real time and is exact.
#pragma once

#include <chrono>

namespace sim {

// CFAbsoluteTime of the moment the session started: the reference date itself, so that
// absolute times and session times are the same numbers and stay exact.
inline constexpr double kReferenceDate = 0.0;

// Seconds since the session started.
double clockNow();
// Moves the clock forward to `seconds` since the start; never backwards.
void advanceClockTo(double seconds);
// Back to the start, not paced.
void resetClock();

// While the session is served live, the wall clock paces the run loop: instead of moving the
// clock at once to the next timer, the loop waits in real time until the wall clock reaches it
// (or something wakes the loop), then moves the clock to exactly the timer's fire date. The
// clock itself still moves only when told, so every time the session sees is one that a script
// could reach with its waits. Switching pacing on starts the wall clock's count from the
// clock's current time.
void paceClockByWallClock(bool paced);
bool clockIsPaced();
// Session time as the wall clock has it: when paced, the clock's time when pacing last started
// plus the real time since, never less than the clock's own time; otherwise the clock's time.
double pacedClockNow();
// The real instant at which the wall clock reaches session time `seconds` (a time very far
// ahead is clamped to a year from now).
std::chrono::steady_clock::time_point wallInstantOf(double seconds);

// Lets the rest of the desktop catch up with what was asked of it (pending hide requests, then
// scheduled activations) at the current time, and, when the main run loop is idle or runs in a
// common mode, lets running-application objects catch up with the desktop. The run loop calls
// it after each pass.
void worldTurn();
// What a world turn does: the session's control installs it (it knows the frameworks' side of
// the turn); without one a turn does nothing.
void setWorldTurn(void (*turn)());

// Runs, at the current time, everything due on the main run loop (queued main-thread
// performs, timers that are due, pending hide requests and activations), until nothing more
// is due; running-application objects have caught up with the desktop afterwards.
void settle();

}  // namespace sim
