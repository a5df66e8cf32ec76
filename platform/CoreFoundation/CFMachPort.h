// Mach ports, as event taps hand them out. A port is valid until it is invalidated or its
// last reference goes.
#pragma once

#include "CoreFoundation/CFBase.h"
#include "CoreFoundation/CFRunLoop.h"
#include "CoreFoundation/CFRuntime.h"

class __CFMachPort;  // the layout: CoreFoundation/CFMachPortInternal.h
using CFMachPortRef = CFOpaqueObject<__CFMachPort>*;

CFTypeID CFMachPortGetTypeID();
// A run-loop source for the port, owned by the caller; null when it cannot be made.
CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef allocator, CFMachPortRef port,
                                                 CFIndex order);
void CFMachPortInvalidate(CFMachPortRef port);
Boolean CFMachPortIsValid(CFMachPortRef port);
