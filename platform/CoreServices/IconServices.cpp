#include "CoreServices/IconServices.h"

#include "ApplicationServices/Processes.h"
#include "CoreServices/FileReferencesInternal.h"
#include "CoreServices/IconServicesInternal.h"
#include "CoreServices/IconsInternal.h"
#include "Foundation/NSString.h"
#include "RetainPtr.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"

NSString* OpaqueIconRef::description() const {
    const char* kind = kind_ == frameworks::IconKind::Application ? "application"
                       : kind_ == frameworks::IconKind::Folder    ? "folder"
                                                                  : "document";
    return NSString::stringWithFormat("<IconRef %s icon of %s>", kind, path_.c_str());
}

OSStatus GetIconRefFromFileInfo(const FSRef* inRef, UniCharCount inFileNameLength,
                                const UniChar* inFileName, FSCatalogInfoBitmap inWhichInfo,
                                const FSCatalogInfo* inCatalogInfo, IconServicesUsageFlags,
                                IconRef* outIconRef, SInt16* outLabel) {
    if (outIconRef != nullptr) {
        *outIconRef = nullptr;
    }
    if (outLabel != nullptr) {
        *outLabel = 0;
    }
    if (const auto status = sim::faultFor<"GetIconRefFromFileInfo">(); status && *status != noErr) {
        return *status;
    }
    if (inRef == nullptr || outIconRef == nullptr) {
        return paramErr;
    }
    const std::optional<std::string> path = frameworks::pathOfFileReference(inRef);
    if (!path || !sim::fileSystemExists(*path)) {
        return fnfErr;
    }
    std::optional<bool> isFolder;
    if ((inWhichInfo & kFSCatInfoNodeFlags) != 0 && inCatalogInfo != nullptr) {
        isFolder = (inCatalogInfo->nodeFlags & kFSNodeIsDirectoryMask) != 0;
    }
    std::optional<std::u16string> name;
    if (inFileNameLength > 0 && inFileName != nullptr) {
        name = std::u16string(inFileName, inFileNameLength);
    }
    *outIconRef = new OpaqueIconRef(*path, frameworks::iconKindFor(*path, isFolder, name));
    return noErr;
}

OSErr AcquireIconRef(IconRef theIconRef) {
    if (const auto status = sim::faultFor<"AcquireIconRef">(); status && *status != noErr) {
        return static_cast<OSErr>(*status);
    }
    if (theIconRef == nullptr) {
        return paramErr;
    }
    theIconRef->retain();
    return noErr;
}

OSErr ReleaseIconRef(IconRef theIconRef) {
    // A caller can do nothing about a release that fails, so a failure injected here is only
    // the answer: the reference goes all the same, and no icon outlives its last owner.
    const auto status = sim::faultFor<"ReleaseIconRef">();
    if (theIconRef == nullptr) {
        return paramErr;
    }
    theIconRef->release();
    return status ? static_cast<OSErr>(*status) : noErr;
}
