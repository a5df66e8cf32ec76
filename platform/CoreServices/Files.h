// File references of the file manager: an FSRef names an existing file or folder, and
// CFURLGetFSRef makes one for a file URL.
#pragma once

#include "CoreFoundation/CoreFoundation.h"

// Opaque to its users; the session keeps which file it names.
struct FSRef {
    UInt8 hidden[80];
};

using UniCharCount = unsigned long;

using FSCatalogInfoBitmap = UInt32;
enum : FSCatalogInfoBitmap {
    kFSCatInfoNone = 0x00000000,
    kFSCatInfoNodeFlags = 0x00000002,
};

enum : UInt16 {
    kFSNodeIsDirectoryMask = 0x0010,
};

// Catalogue information that a caller already holds; the session reads the node flags only.
struct FSCatalogInfo {
    UInt16 nodeFlags;
};

enum : OSErr {
    nsvErr = -35,  // no such volume: the volume is not mounted
    ioErr = -36,
    fnfErr = -43,  // file not found
};

// Fills `fsRef` for the file or folder that a file URL names. False when the URL is not a
// file URL or names nothing that exists.
Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef);
