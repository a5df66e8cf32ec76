// Dictionaries keyed by object equality (CFEqual/CFHash). CFDictionaryRef and NSDictionary*
// (Foundation/NSDictionary.h) name the same object.
#pragma once

#include "CoreFoundation/CFBase.h"

class NSDictionary;
class NSMutableDictionary;
using CFDictionaryRef = const NSDictionary*;
using CFMutableDictionaryRef = NSMutableDictionary*;

struct CFDictionaryKeyCallBacks {
    CFIndex version;
};
struct CFDictionaryValueCallBacks {
    CFIndex version;
};
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

CFTypeID CFDictionaryGetTypeID();
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const CFTypeRef* keys,
                                   const CFTypeRef* values, CFIndex count,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks);
CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary);
CFTypeRef CFDictionaryGetValue(CFDictionaryRef dictionary, CFTypeRef key);
Boolean CFDictionaryContainsKey(CFDictionaryRef dictionary, CFTypeRef key);
void CFDictionarySetValue(CFMutableDictionaryRef dictionary, CFTypeRef key, CFTypeRef value);
void CFDictionaryRemoveValue(CFMutableDictionaryRef dictionary, CFTypeRef key);
