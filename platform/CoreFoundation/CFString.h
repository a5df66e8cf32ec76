// Strings: sequences of UTF-16 code units. CFStringRef and NSString* name the same object
// (Foundation/NSString.h).
#pragma once

#include "CoreFoundation/CFBase.h"

class NSString;
class NSMutableString;

using CFStringRef = const NSString*;
using CFMutableStringRef = NSMutableString*;

using CFStringEncoding = UInt32;
inline constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;
inline constexpr CFStringEncoding kCFStringEncodingASCII = 0x0600;

using CFStringCompareFlags = CFOptionFlags;
enum : CFStringCompareFlags {
    kCFCompareCaseInsensitive = 1,
    kCFCompareBackwards = 4,
    kCFCompareAnchored = 8,
};

// A constant string for a literal, made once per literal and kept for the whole process:
// CFSTR("AXTitle") here, @"AXTitle" on macOS.
CFStringRef CFStringMakeConstant(const char* utf8);
#define CFSTR(literal)                                                           \
    ([]() -> CFStringRef {                                                       \
        static const CFStringRef constantString = CFStringMakeConstant(literal); \
        return constantString;                                                   \
    }())

CFTypeID CFStringGetTypeID();
CFIndex CFStringGetLength(CFStringRef string);
UniChar CFStringGetCharacterAtIndex(CFStringRef string, CFIndex index);
CFStringRef CFStringCreateWithCString(CFAllocatorRef allocator, const char* text,
                                      CFStringEncoding encoding);
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef allocator, const UniChar* characters,
                                         CFIndex length);
CFStringRef CFStringCreateCopy(CFAllocatorRef allocator, CFStringRef string);
CFMutableStringRef CFStringCreateMutable(CFAllocatorRef allocator, CFIndex maxLength);
CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef allocator, CFIndex maxLength,
                                             CFStringRef string);
void CFStringAppend(CFMutableStringRef string, CFStringRef appended);
Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);
CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags options);
Boolean CFStringHasPrefix(CFStringRef string, CFStringRef prefix);
