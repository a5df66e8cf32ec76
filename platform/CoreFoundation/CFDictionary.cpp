#include "CoreFoundation/CFDictionary.h"

#include "Foundation/NSDictionary.h"

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{0};

CFTypeID CFDictionaryGetTypeID() {
    return kCFDictionaryTypeID;
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const CFTypeRef* keys, const CFTypeRef* values,
                                   CFIndex count, const CFDictionaryKeyCallBacks*,
                                   const CFDictionaryValueCallBacks*) {
    NSMutableDictionary* result = NSMutableDictionary::create();
    for (CFIndex i = 0; i < count; ++i) {
        result->setObject(values[i], keys[i]);
    }
    return result;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex,
                                                 const CFDictionaryKeyCallBacks*,
                                                 const CFDictionaryValueCallBacks*) {
    return NSMutableDictionary::create();
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary) {
    return static_cast<CFIndex>(dictionary->count());
}

CFTypeRef CFDictionaryGetValue(CFDictionaryRef dictionary, CFTypeRef key) {
    return dictionary->objectForKey(key);
}

Boolean CFDictionaryContainsKey(CFDictionaryRef dictionary, CFTypeRef key) {
    return dictionary->objectForKey(key) != nullptr;
}

void CFDictionarySetValue(CFMutableDictionaryRef dictionary, CFTypeRef key, CFTypeRef value) {
    dictionary->setObject(value, key);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dictionary, CFTypeRef key) {
    dictionary->removeObjectForKey(key);
}
