// Mach ports, as event taps hand them out. A port is valid until it is invalidated or its
// last reference goes; whoever made it (the event system) is told when that happens.
#pragma once

#include <functional>

#include "CoreFoundation/CFBase.h"
#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSObject.h"

using CFMachPortRef = __CFMachPort*;

class __CFMachPort : public NSObject {
public:
    // +1; `onInvalidate` runs once, when the port is invalidated or freed.
    static __CFMachPort* create(std::function<void()> onInvalidate);

    CFTypeID typeID() const override { return kCFMachPortTypeID; }
    bool isValid() const { return valid_; }
    void invalidate();
    ~__CFMachPort() override;

private:
    __CFMachPort() = default;
    bool valid_ = true;
    std::function<void()> onInvalidate_;
};

CFTypeID CFMachPortGetTypeID();
// A run-loop source for the port, owned by the caller; null when it cannot be made.
CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef allocator, CFMachPortRef port,
                                                 CFIndex order);
void CFMachPortInvalidate(CFMachPortRef port);
Boolean CFMachPortIsValid(CFMachPortRef port);
