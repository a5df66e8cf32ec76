// Arrays of objects. CFArrayRef and NSArray* (Foundation/NSArray.h) name the same object;
// every element holds one reference.
#pragma once

#include "CoreFoundation/CFBase.h"

class NSArray;
class NSMutableArray;
using CFArrayRef = const NSArray*;
using CFMutableArrayRef = NSMutableArray*;

// Only the retaining callbacks exist; the parameter is kept for the macOS signatures.
struct CFArrayCallBacks {
    CFIndex version;
};
extern const CFArrayCallBacks kCFTypeArrayCallBacks;

CFTypeID CFArrayGetTypeID();
CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const CFTypeRef* values, CFIndex count,
                         const CFArrayCallBacks* callBacks);
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks);
CFIndex CFArrayGetCount(CFArrayRef array);
CFTypeRef CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);
void CFArrayAppendValue(CFMutableArrayRef array, CFTypeRef value);
Boolean CFArrayContainsValue(CFArrayRef array, CFRange range, CFTypeRef value);
