// Immutable byte buffers. CFDataRef and NSData* (Foundation/NSData.h) name the same object.
#pragma once

#include "CoreFoundation/CFBase.h"

class NSData;
using CFDataRef = const NSData*;

CFTypeID CFDataGetTypeID();
CFDataRef CFDataCreate(CFAllocatorRef allocator, const UInt8* bytes, CFIndex length);
CFIndex CFDataGetLength(CFDataRef data);
const UInt8* CFDataGetBytePtr(CFDataRef data);
