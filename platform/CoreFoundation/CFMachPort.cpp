#include "CoreFoundation/CFMachPort.h"

#include "CoreFoundation/CFMachPortInternal.h"
#include "CoreFoundation/CFRunLoopInternal.h"
#include "sim/Faults.h"

__CFMachPort* __CFMachPort::create(std::function<void()> onInvalidate) {
    auto* port = new __CFMachPort();
    port->onInvalidate_ = std::move(onInvalidate);
    return port;
}

void __CFMachPort::invalidate() {
    if (!valid_) {
        return;
    }
    valid_ = false;
    if (auto notify = std::move(onInvalidate_)) {
        notify();
    }
}

__CFMachPort::~__CFMachPort() {
    invalidate();
}

CFTypeID CFMachPortGetTypeID() {
    return kCFMachPortTypeID;
}

CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef, CFMachPortRef port,
                                                 CFIndex order) {
    if (sim::failCall<"CFMachPortCreateRunLoopSource">() || port == nullptr ||
        !layoutOf(port)->isValid()) {
        return nullptr;
    }
    return CFRunLoopSourceCreateForPort(port, order);
}

void CFMachPortInvalidate(CFMachPortRef port) {
    layoutOf(port)->invalidate();
}

Boolean CFMachPortIsValid(CFMachPortRef port) {
    return layoutOf(port)->isValid();
}
