// CoreFoundation's base: the scalar types, ranges, the untyped reference and the calls every
// object answers. CoreFoundation and Foundation share one object model: every CF object is an
// object of a Foundation class (Foundation/NSObject.h and the classes beside it), carries an
// intrusive reference count and a type id, and is "toll-free bridged": a CFStringRef and an
// NSString* point at the same object.
#pragma once

#include <sys/types.h>

#include <climits>
#include <cstddef>
#include <cstdint>

using Boolean = unsigned char;
using SInt8 = std::int8_t;
using UInt8 = std::uint8_t;
using SInt16 = std::int16_t;
using UInt16 = std::uint16_t;
using SInt32 = std::int32_t;
using UInt32 = std::uint32_t;
using SInt64 = std::int64_t;
using UInt64 = std::uint64_t;
using UniChar = char16_t;
using CFIndex = long;
using CFTypeID = unsigned long;
using CFHashCode = unsigned long;
using CFOptionFlags = unsigned long;
using CFTimeInterval = double;
using CFAbsoluteTime = double;
using OSStatus = std::int32_t;
using OSErr = std::int16_t;
inline constexpr OSStatus noErr = 0;

struct CFRange {
    CFIndex location;
    CFIndex length;
};
inline CFRange CFRangeMake(CFIndex location, CFIndex length) {
    return {location, length};
}

enum CFComparisonResult : CFIndex {
    kCFCompareLessThan = -1,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1,
};

class NSObject;
class NSString;

// CoreFoundation's untyped reference: any object of the model.
using CFTypeRef = const NSObject*;

// Only the default allocator exists.
struct __CFAllocator;
using CFAllocatorRef = const __CFAllocator*;
inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

// Type ids, as CFGetTypeID answers them.
enum : CFTypeID {
    kNSObjectTypeID = 1,
    kCFStringTypeID,
    kCFArrayTypeID,
    kCFDictionaryTypeID,
    kCFNumberTypeID,
    kCFBooleanTypeID,
    kCFNullTypeID,
    kCFURLTypeID,
    kCFRunLoopTypeID,
    kCFRunLoopSourceTypeID,
    kCFRunLoopTimerTypeID,
    kCFMachPortTypeID,
    kAXUIElementTypeID,
    kAXValueTypeID,
    kCGEventTypeID,
    kCGEventSourceTypeID,
    kLSSharedFileListTypeID,
    kLSSharedFileListItemTypeID,
    kCFDateTypeID,
    kCFDataTypeID,
    kCFFileDescriptorTypeID,
};

CFTypeRef CFRetain(CFTypeRef object);
void CFRelease(CFTypeRef object);
CFIndex CFGetRetainCount(CFTypeRef object);
CFTypeID CFGetTypeID(CFTypeRef object);
Boolean CFEqual(CFTypeRef a, CFTypeRef b);
CFHashCode CFHash(CFTypeRef object);
// A new description string of the object, owned by the caller.
const NSString* CFCopyDescription(CFTypeRef object);
