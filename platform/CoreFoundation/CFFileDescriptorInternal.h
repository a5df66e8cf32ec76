// The layout behind CFFileDescriptorRef, and what the run loop asks of it.
#pragma once

#include "CoreFoundation/CFFileDescriptor.h"

class __CFFileDescriptor final : public CFOpaqueObject<__CFFileDescriptor> {
public:
    __CFFileDescriptor(int descriptor, bool closeOnInvalidate, CFFileDescriptorCallBack callout,
                       const CFFileDescriptorContext* context);
    ~__CFFileDescriptor() override;

    CFTypeID typeID() const override { return kCFFileDescriptorTypeID; }
    bool isValid() const { return valid_; }
    int descriptor() const { return descriptor_; }
    // An invalid descriptor enables nothing: it waits for nothing and calls out for nothing.
    void enable(CFOptionFlags callBacks) { enabled_ |= valid_ ? callBacks : 0; }
    void disable(CFOptionFlags callBacks) { enabled_ &= ~callBacks; }
    void invalidate();

    // The poll events the enabled callbacks wait for.
    short pollEvents() const;
    // Calls the callout for the enabled callbacks that `revents` makes ready, disabling them
    // first. True when it was called.
    bool callOutFor(short revents);

private:
    int descriptor_;
    bool closeOnInvalidate_;
    bool valid_ = true;
    CFOptionFlags enabled_ = 0;
    CFFileDescriptorCallBack callout_;
    CFFileDescriptorContext context_{};
};
