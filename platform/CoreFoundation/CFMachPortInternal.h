// The layout behind CFMachPortRef. Whoever made a port (the event system) is told when it stops
// being valid.
#pragma once

#include <functional>

#include "CoreFoundation/CFMachPort.h"

class __CFMachPort final : public CFOpaqueObject<__CFMachPort> {
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
