#include "CoreFoundation/CFData.h"

#include "Foundation/NSData.h"

CFTypeID CFDataGetTypeID() {
    return kCFDataTypeID;
}

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
    return NSData::create(bytes, length > 0 ? static_cast<NSUInteger>(length) : 0);
}

CFIndex CFDataGetLength(CFDataRef data) {
    return static_cast<CFIndex>(data->length());
}

const UInt8* CFDataGetBytePtr(CFDataRef data) {
    return static_cast<const UInt8*>(data->bytes());
}
