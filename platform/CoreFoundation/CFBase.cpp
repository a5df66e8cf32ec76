#include "CoreFoundation/CFBase.h"

#include "Foundation/NSAutoreleasePool.h"
#include "Foundation/NSObjectInternal.h"
#include "Foundation/NSString.h"

CFTypeRef CFRetain(CFTypeRef object) {
    if (object == nullptr) {
        _NSObjectModelFailure("CFRetain(NULL)", object);
    }
    return object->retain();
}

void CFRelease(CFTypeRef object) {
    if (object == nullptr) {
        _NSObjectModelFailure("CFRelease(NULL)", object);
    }
    object->release();
}

CFIndex CFGetRetainCount(CFTypeRef object) {
    return static_cast<CFIndex>(object->retainCount());
}

CFTypeID CFGetTypeID(CFTypeRef object) {
    return object->typeID();
}

Boolean CFEqual(CFTypeRef a, CFTypeRef b) {
    if (a == b) {
        return true;
    }
    if (a == nullptr || b == nullptr || a->typeID() != b->typeID()) {
        return false;
    }
    return a->isEqual(b);
}

CFHashCode CFHash(CFTypeRef object) {
    return object->hash();
}

const NSString* CFCopyDescription(CFTypeRef object) {
    // Descriptions are autoreleased; a pool of its own keeps this Copy call from needing one.
    NSAutoreleasePool pool;
    return static_cast<const NSString*>(object->description()->retain());
}
