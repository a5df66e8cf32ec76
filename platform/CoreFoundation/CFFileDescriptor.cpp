#include "CoreFoundation/CFFileDescriptor.h"

#include <poll.h>
#include <unistd.h>

#include "CoreFoundation/CFFileDescriptorInternal.h"
#include "CoreFoundation/CFRunLoopInternal.h"
#include "RetainPtr.h"

__CFFileDescriptor::__CFFileDescriptor(int descriptor, bool closeOnInvalidate,
                                       CFFileDescriptorCallBack callout,
                                       const CFFileDescriptorContext* context)
    : descriptor_(descriptor), closeOnInvalidate_(closeOnInvalidate), callout_(callout) {
    if (context != nullptr) {
        context_ = *context;
        if (context->retain != nullptr) {
            context_.info = context->retain(context->info);
        }
    }
}

__CFFileDescriptor::~__CFFileDescriptor() {
    invalidate();
}

void __CFFileDescriptor::invalidate() {
    if (!valid_) {
        return;
    }
    valid_ = false;
    enabled_ = 0;
    if (closeOnInvalidate_) {
        ::close(descriptor_);
    }
    if (context_.release != nullptr) {
        context_.release(context_.info);
    }
}

short __CFFileDescriptor::pollEvents() const {
    return static_cast<short>(((enabled_ & kCFFileDescriptorReadCallBack) != 0 ? POLLIN : 0) |
                              ((enabled_ & kCFFileDescriptorWriteCallBack) != 0 ? POLLOUT : 0));
}

bool __CFFileDescriptor::callOutFor(short revents) {
    if ((revents & POLLNVAL) != 0) {
        enabled_ = 0;  // closed behind the object's back: it would be ready at every pass
        return false;
    }
    // A hang-up or an error is news to whichever side waits: the read or the write says what.
    const bool failed = (revents & (POLLHUP | POLLERR)) != 0;
    CFOptionFlags ready = 0;
    if ((enabled_ & kCFFileDescriptorReadCallBack) != 0 && ((revents & POLLIN) != 0 || failed)) {
        ready |= kCFFileDescriptorReadCallBack;
    }
    if ((enabled_ & kCFFileDescriptorWriteCallBack) != 0 && ((revents & POLLOUT) != 0 || failed)) {
        ready |= kCFFileDescriptorWriteCallBack;
    }
    if (ready == 0) {
        return false;
    }
    disable(ready);
    if (callout_ != nullptr) {
        // The callout may release the last reference the caller holds.
        const RetainPtr<CFFileDescriptorRef> kept =
            retainPtr(static_cast<CFFileDescriptorRef>(this));
        callout_(this, ready, context_.info);
    }
    return true;
}

CFTypeID CFFileDescriptorGetTypeID() {
    return kCFFileDescriptorTypeID;
}

CFFileDescriptorRef CFFileDescriptorCreate(CFAllocatorRef,
                                           CFFileDescriptorNativeDescriptor descriptor,
                                           Boolean closeOnInvalidate,
                                           CFFileDescriptorCallBack callout,
                                           const CFFileDescriptorContext* context) {
    if (descriptor < 0) {
        return nullptr;
    }
    return new __CFFileDescriptor(descriptor, closeOnInvalidate, callout, context);
}

CFFileDescriptorNativeDescriptor CFFileDescriptorGetNativeDescriptor(
    CFFileDescriptorRef descriptor) {
    return layoutOf(descriptor)->descriptor();
}

void CFFileDescriptorEnableCallBacks(CFFileDescriptorRef descriptor, CFOptionFlags callBackTypes) {
    layoutOf(descriptor)->enable(callBackTypes);
}

void CFFileDescriptorDisableCallBacks(CFFileDescriptorRef descriptor, CFOptionFlags callBackTypes) {
    layoutOf(descriptor)->disable(callBackTypes);
}

void CFFileDescriptorInvalidate(CFFileDescriptorRef descriptor) {
    layoutOf(descriptor)->invalidate();
}

Boolean CFFileDescriptorIsValid(CFFileDescriptorRef descriptor) {
    return layoutOf(descriptor)->isValid();
}

CFRunLoopSourceRef CFFileDescriptorCreateRunLoopSource(CFAllocatorRef,
                                                       CFFileDescriptorRef descriptor,
                                                       CFIndex order) {
    if (descriptor == nullptr || !layoutOf(descriptor)->isValid()) {
        return nullptr;
    }
    return CFRunLoopSourceCreateForDescriptor(descriptor, order);
}
