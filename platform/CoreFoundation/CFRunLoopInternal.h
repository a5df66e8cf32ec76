// What the simulated session needs from the run loop beyond the public calls.
#pragma once

#include "CoreFoundation/CFRunLoop.h"

// True when a source made from `port` is on `runLoop` in the mode it runs in now (the default
// mode while it is idle), so that messages to the port are handled.
bool _CFRunLoopServesPort(CFRunLoopRef runLoop, const __CFMachPort* port);
// True when the loop is idle or runs in one of its common modes.
bool _CFRunLoopIsInCommonMode(CFRunLoopRef runLoop);
// Runs everything due on the clock in the loop's idle mode (the default mode), repeatedly,
// until nothing more is due. Returns whether anything ran.
bool _CFRunLoopRunDue(CFRunLoopRef runLoop);
// The earliest fire date of a timer of `mode`, or a negative value when there is none.
CFAbsoluteTime _CFRunLoopNextFireDate(CFRunLoopRef runLoop, CFRunLoopMode mode);
// Drops every source, timer and common mode: a fresh loop for a fresh session.
void _CFRunLoopReset(CFRunLoopRef runLoop);
