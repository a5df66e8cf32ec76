// URLs. CFURLRef and NSURL* (Foundation/NSURL.h) name the same object.
#pragma once

#include "CoreFoundation/CFBase.h"

class NSString;
class NSURL;
using CFURLRef = const NSURL*;

enum CFURLPathStyle : CFIndex {
    kCFURLPOSIXPathStyle = 0,
};

CFTypeID CFURLGetTypeID();
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, const NSString* filePath,
                                       CFURLPathStyle pathStyle, Boolean isDirectory);
CFURLRef CFURLCreateWithString(CFAllocatorRef allocator, const NSString* text, CFURLRef base);
// The URL text, not including the base (borrowed: valid while the URL lives).
const NSString* CFURLGetString(CFURLRef url);
// A new string of the decoded path, owned by the caller.
const NSString* CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle pathStyle);
Boolean CFURLHasDirectoryPath(CFURLRef url);
