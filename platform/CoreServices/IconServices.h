// Icon Services: the icon under which the Finder shows a file or folder.
#pragma once

#include "CoreFoundation/CFRuntime.h"
#include "CoreFoundation/CoreFoundation.h"
#include "CoreServices/Files.h"

// An icon: an application's, a folder's or a document's. Reference counted, as on macOS
// (AcquireIconRef, ReleaseIconRef); it is an object of the model, so a test sees one that is
// never released.
class OpaqueIconRef;  // the layout: CoreServices/IconServicesInternal.h
using IconRef = CFOpaqueObject<OpaqueIconRef>*;

using IconServicesUsageFlags = UInt32;
enum : IconServicesUsageFlags {
    kIconServicesNormalUsageFlag = 0x00000000,
};

// The icon of the file or folder `inRef` names, owned by the caller (ReleaseIconRef). A file
// name (`inFileNameLength` units at `inFileName`) or catalogue information with
// kFSCatInfoNodeFlags, when given, are used instead of asking the file system. `outLabel`,
// when given, gets the Finder label (0: none).
OSStatus GetIconRefFromFileInfo(const FSRef* inRef, UniCharCount inFileNameLength,
                                const UniChar* inFileName, FSCatalogInfoBitmap inWhichInfo,
                                const FSCatalogInfo* inCatalogInfo,
                                IconServicesUsageFlags inUsageFlags, IconRef* outIconRef,
                                SInt16* outLabel);
OSErr AcquireIconRef(IconRef theIconRef);
OSErr ReleaseIconRef(IconRef theIconRef);
