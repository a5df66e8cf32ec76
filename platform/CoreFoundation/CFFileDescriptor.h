// File descriptors watched by the run loop, as on macOS: a descriptor object calls its callout
// on the main thread when the descriptor can be read (or written) and that callback is enabled.
// A callback, once called, is disabled until it is enabled again. While the clock is paced by
// the wall clock the run loop sleeps until a watched descriptor is ready; on the virtual clock
// it looks at them at every pass.
#pragma once

#include "CoreFoundation/CFBase.h"
#include "CoreFoundation/CFRunLoop.h"
#include "CoreFoundation/CFRuntime.h"

class __CFFileDescriptor;  // the layout: CoreFoundation/CFFileDescriptorInternal.h
using CFFileDescriptorRef = CFOpaqueObject<__CFFileDescriptor>*;
using CFFileDescriptorNativeDescriptor = int;

enum : CFOptionFlags {
    kCFFileDescriptorReadCallBack = 1UL << 0,
    kCFFileDescriptorWriteCallBack = 1UL << 1,
};

using CFFileDescriptorCallBack = void (*)(CFFileDescriptorRef descriptor,
                                          CFOptionFlags callBackTypes, void* info);
struct CFFileDescriptorContext {
    CFIndex version;
    void* info;
    void* (*retain)(void* info);
    void (*release)(void* info);
    CFStringRef (*copyDescription)(void* info);
};

CFTypeID CFFileDescriptorGetTypeID();
// +1; null when `descriptor` is negative. With `closeOnInvalidate`, invalidating the object (or
// freeing it) closes the descriptor.
CFFileDescriptorRef CFFileDescriptorCreate(CFAllocatorRef allocator,
                                           CFFileDescriptorNativeDescriptor descriptor,
                                           Boolean closeOnInvalidate,
                                           CFFileDescriptorCallBack callout,
                                           const CFFileDescriptorContext* context);
CFFileDescriptorNativeDescriptor CFFileDescriptorGetNativeDescriptor(
    CFFileDescriptorRef descriptor);
void CFFileDescriptorEnableCallBacks(CFFileDescriptorRef descriptor, CFOptionFlags callBackTypes);
void CFFileDescriptorDisableCallBacks(CFFileDescriptorRef descriptor, CFOptionFlags callBackTypes);
void CFFileDescriptorInvalidate(CFFileDescriptorRef descriptor);
Boolean CFFileDescriptorIsValid(CFFileDescriptorRef descriptor);
// A run-loop source for the descriptor, owned by the caller; null when it is no longer valid.
CFRunLoopSourceRef CFFileDescriptorCreateRunLoopSource(CFAllocatorRef allocator,
                                                       CFFileDescriptorRef descriptor,
                                                       CFIndex order);
