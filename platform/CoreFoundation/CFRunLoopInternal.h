// The layouts behind run-loop sources and timers, and what the simulated session needs from
// the run loop beyond the public calls.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "CoreFoundation/CFFileDescriptor.h"
#include "CoreFoundation/CFMachPort.h"
#include "CoreFoundation/CFRunLoop.h"

class __CFRunLoopSource final : public CFOpaqueObject<__CFRunLoopSource> {
public:
    CFTypeID typeID() const override { return kCFRunLoopSourceTypeID; }
    ~__CFRunLoopSource() override;

    // The mach port a port source was made from (null for a version 0 source).
    CFMachPortRef port() const { return port_; }
    // The descriptor a descriptor source was made from (null for any other source).
    CFFileDescriptorRef descriptor() const { return descriptor_; }
    // A descriptor's source is valid as long as its descriptor is.
    bool isValid() const;

    CFRunLoopSourceContext context_{};
    CFIndex order_ = 0;
    CFMachPortRef port_ = nullptr;              // retained
    CFFileDescriptorRef descriptor_ = nullptr;  // retained
    std::atomic<bool> signaled_ = false;        // set from any thread
    bool valid_ = true;
};

class __CFRunLoopTimer final : public CFOpaqueObject<__CFRunLoopTimer> {
public:
    CFTypeID typeID() const override { return kCFRunLoopTimerTypeID; }
    ~__CFRunLoopTimer() override {
        if (context_.release != nullptr) {
            context_.release(context_.info);
        }
    }

    CFAbsoluteTime fireDate = 0;
    CFTimeInterval interval = 0;
    CFIndex order = 0;
    std::uint64_t sequence = 0;  // creation order, to break ties between equal fire dates
    bool valid = true;
    CFRunLoopTimerCallBack callout = nullptr;
    CFRunLoopTimerContext context_{};
    std::function<void(CFRunLoopTimerRef)> block;
};

// A source for a port, as CFMachPortCreateRunLoopSource makes it (the port is retained).
CFRunLoopSourceRef CFRunLoopSourceCreateForPort(CFMachPortRef port, CFIndex order);

// A source for a file descriptor, as CFFileDescriptorCreateRunLoopSource makes it (the
// descriptor is retained).
CFRunLoopSourceRef CFRunLoopSourceCreateForDescriptor(CFFileDescriptorRef descriptor,
                                                      CFIndex order);

// True when a source made from `port` is on `runLoop` in the mode it runs in now (the default
// mode while it is idle), so that messages to the port are handled.
bool _CFRunLoopServesPort(CFRunLoopRef runLoop, CFMachPortRef port);
// True when the loop is idle or runs in one of its common modes.
bool _CFRunLoopIsInCommonMode(CFRunLoopRef runLoop);
// Runs everything due on the clock in the loop's idle mode (the default mode), repeatedly,
// until nothing more is due. Returns whether anything ran.
bool _CFRunLoopRunDue(CFRunLoopRef runLoop);
// The earliest fire date of a timer of `mode`, or a negative value when there is none.
CFAbsoluteTime _CFRunLoopNextFireDate(CFRunLoopRef runLoop, CFRunLoopMode mode);
// Drops every source, timer and common mode: a fresh loop for a fresh session.
void _CFRunLoopReset(CFRunLoopRef runLoop);
