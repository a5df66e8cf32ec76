// Threads. The system runs on the main thread only; sleeping blocks it on the session's clock.
#pragma once

#include "CoreFoundation/CoreFoundation.h"
#include "Foundation/NSObject.h"

class NSThread : public NSObject {
public:
    // Blocks the calling thread for `seconds` of the session's clock: the rest of the desktop
    // goes on meanwhile (pending hide requests are carried out), the run loop does not run.
    static void sleepForTimeInterval(NSTimeInterval seconds);
    static bool isMainThread() { return true; }
};
