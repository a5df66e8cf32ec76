#include "CoreFoundation/CFArray.h"

#include <vector>

#include "Foundation/NSArray.h"

const CFArrayCallBacks kCFTypeArrayCallBacks{0};

CFTypeID CFArrayGetTypeID() {
    return kCFArrayTypeID;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const CFTypeRef* values, CFIndex count,
                         const CFArrayCallBacks*) {
    return NSArray::create(std::vector<CFTypeRef>(values, values + count));
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity, const CFArrayCallBacks*) {
    return NSMutableArray::create(static_cast<NSUInteger>(capacity));
}

CFIndex CFArrayGetCount(CFArrayRef array) {
    return static_cast<CFIndex>(array->count());
}

CFTypeRef CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index) {
    return array->objectAtIndex(static_cast<NSUInteger>(index));
}

void CFArrayAppendValue(CFMutableArrayRef array, CFTypeRef value) {
    array->addObject(value);
}

Boolean CFArrayContainsValue(CFArrayRef array, CFRange range, CFTypeRef value) {
    for (CFIndex i = range.location; i < range.location + range.length; ++i) {
        if (CFEqual(CFArrayGetValueAtIndex(array, i), value)) {
            return true;
        }
    }
    return false;
}
