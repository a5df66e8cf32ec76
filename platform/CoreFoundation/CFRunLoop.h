// The run loop: modes holding sources and timers, over the session's clock. The session's work
// all runs on the main thread, so the current run loop is always the main run loop. As on
// macOS, another thread may signal a version 0 source and wake the loop up
// (CFRunLoopSourceSignal, then CFRunLoopWakeUp); every other call belongs to the main thread.
#pragma once

#include <functional>

#include "CoreFoundation/CFBase.h"
#include "CoreFoundation/CFRuntime.h"
#include "CoreFoundation/CFString.h"

class __CFRunLoop;        // the layout: CoreFoundation/CFRunLoop.cpp
class __CFRunLoopSource;  // the layouts: CoreFoundation/CFRunLoopInternal.h
class __CFRunLoopTimer;
using CFRunLoopRef = CFOpaqueObject<__CFRunLoop>*;
using CFRunLoopSourceRef = CFOpaqueObject<__CFRunLoopSource>*;
using CFRunLoopTimerRef = CFOpaqueObject<__CFRunLoopTimer>*;
using CFRunLoopMode = CFStringRef;

extern const CFStringRef kCFRunLoopDefaultMode;
extern const CFStringRef kCFRunLoopCommonModes;

enum : SInt32 {
    kCFRunLoopRunFinished = 1,
    kCFRunLoopRunStopped = 2,
    kCFRunLoopRunTimedOut = 3,
    kCFRunLoopRunHandledSource = 4,
};

struct CFRunLoopSourceContext {
    CFIndex version;
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    CFStringRef (*copyDescription)(const void* info);
    Boolean (*equal)(const void* info1, const void* info2);
    CFHashCode (*hash)(const void* info);
    void (*schedule)(void* info, CFRunLoopRef runLoop, CFRunLoopMode mode);
    void (*cancel)(void* info, CFRunLoopRef runLoop, CFRunLoopMode mode);
    void (*perform)(void* info);
};

using CFRunLoopTimerCallBack = void (*)(CFRunLoopTimerRef timer, void* info);
struct CFRunLoopTimerContext {
    CFIndex version;
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    CFStringRef (*copyDescription)(const void* info);
};

// Seconds since the reference date, on the session's clock.
CFAbsoluteTime CFAbsoluteTimeGetCurrent();

CFTypeID CFRunLoopGetTypeID();
CFRunLoopRef CFRunLoopGetCurrent();
CFRunLoopRef CFRunLoopGetMain();
// Runs the current run loop in `mode` until `seconds` have passed on the session's clock, the
// loop is stopped, or (when asked) one source or timer has been handled. Returns one of the
// kCFRunLoopRun codes; kCFRunLoopRunFinished when the mode holds nothing that could fire. While
// the clock is paced by the wall clock (sim/Clock.h) the loop sleeps until the next timer or
// the deadline is due in real time, until it is woken up, or until a file descriptor it watches
// (CFFileDescriptor.h) is ready.
SInt32 CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds,
                          Boolean returnAfterSourceHandled);
void CFRunLoopStop(CFRunLoopRef runLoop);
// Any thread: a loop that sleeps waiting for the wall clock looks at its sources again.
void CFRunLoopWakeUp(CFRunLoopRef runLoop);
// A new string naming the mode the loop runs in, or null when it is not running.
CFStringRef CFRunLoopCopyCurrentMode(CFRunLoopRef runLoop);
void CFRunLoopAddCommonMode(CFRunLoopRef runLoop, CFRunLoopMode mode);

void CFRunLoopAddSource(CFRunLoopRef runLoop, CFRunLoopSourceRef source, CFRunLoopMode mode);
void CFRunLoopRemoveSource(CFRunLoopRef runLoop, CFRunLoopSourceRef source, CFRunLoopMode mode);
Boolean CFRunLoopContainsSource(CFRunLoopRef runLoop, CFRunLoopSourceRef source,
                                CFRunLoopMode mode);
void CFRunLoopAddTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer, CFRunLoopMode mode);
void CFRunLoopRemoveTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer, CFRunLoopMode mode);
Boolean CFRunLoopContainsTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer, CFRunLoopMode mode);

CFTypeID CFRunLoopSourceGetTypeID();
CFRunLoopSourceRef CFRunLoopSourceCreate(CFAllocatorRef allocator, CFIndex order,
                                         CFRunLoopSourceContext* context);
// Any thread: the source is performed at the loop's next pass.
void CFRunLoopSourceSignal(CFRunLoopSourceRef source);
void CFRunLoopSourceInvalidate(CFRunLoopSourceRef source);
Boolean CFRunLoopSourceIsValid(CFRunLoopSourceRef source);

CFTypeID CFRunLoopTimerGetTypeID();
CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef allocator, CFAbsoluteTime fireDate,
                                       CFTimeInterval interval, CFOptionFlags flags, CFIndex order,
                                       CFRunLoopTimerCallBack callout,
                                       CFRunLoopTimerContext* context);
// The block form of timer creation, with a C++ callable for the block.
CFRunLoopTimerRef CFRunLoopTimerCreateWithHandler(CFAllocatorRef allocator, CFAbsoluteTime fireDate,
                                                  CFTimeInterval interval, CFOptionFlags flags,
                                                  CFIndex order,
                                                  std::function<void(CFRunLoopTimerRef)> block);
void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer);
Boolean CFRunLoopTimerIsValid(CFRunLoopTimerRef timer);
CFAbsoluteTime CFRunLoopTimerGetNextFireDate(CFRunLoopTimerRef timer);
void CFRunLoopTimerSetNextFireDate(CFRunLoopTimerRef timer, CFAbsoluteTime fireDate);
