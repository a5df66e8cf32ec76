#include "CoreFoundation/CFURL.h"

#include "Foundation/NSAutoreleasePool.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

CFTypeID CFURLGetTypeID() {
    return kCFURLTypeID;
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, const NSString* filePath, CFURLPathStyle,
                                       Boolean isDirectory) {
    if (filePath == nullptr) {
        return nullptr;
    }
    return NSURL::createFileURL(filePath, isDirectory);
}

CFURLRef CFURLCreateWithString(CFAllocatorRef, const NSString* text, CFURLRef base) {
    if (text == nullptr) {
        return nullptr;
    }
    return NSURL::createWithString(text, base);
}

const NSString* CFURLGetString(CFURLRef url) {
    return url->relativeString();
}

const NSString* CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle) {
    // The path is autoreleased; a pool of its own keeps this Copy call from needing one.
    NSAutoreleasePool pool;
    return static_cast<const NSString*>(url->relativePath()->retain());
}

Boolean CFURLHasDirectoryPath(CFURLRef url) {
    return url->hasDirectoryPath();
}
