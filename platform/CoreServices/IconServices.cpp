#include "CoreServices/IconServices.h"

#include "ApplicationServices/Processes.h"
#include "RetainPtr.h"
#include "sim/Faults.h"
#include "sim/FileReferences.h"
#include "sim/FileSystem.h"
#include "sim/Icons.h"

namespace sim {

OpaqueIconRef::Kind iconKindFor(const std::string& path, std::optional<bool> isFolder,
                                std::optional<std::u16string> name) {
    const bool folder = isFolder.value_or(fileSystemIsDirectory(path));
    if (!folder) {
        return OpaqueIconRef::Kind::Document;
    }
    std::u16string shownName;
    if (name) {
        shownName = *name;
    } else {
        const RetainPtr<CFStringRef> pathString =
            adoptCF<CFStringRef>(NSString::createWithUTF8(path));
        std::u16string units = pathString->units();
        while (units.size() > 1 && units.back() == u'/') {
            units.pop_back();
        }
        shownName = units.substr(units.rfind(u'/') + 1);
    }
    const std::size_t dot = shownName.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0) {
        std::u16string extension = shownName.substr(dot + 1);
        for (char16_t& unit : extension) {
            if (unit >= u'A' && unit <= u'Z') {
                unit = static_cast<char16_t>(unit - u'A' + u'a');
            }
        }
        if (extension == u"app") {
            return OpaqueIconRef::Kind::Application;
        }
    }
    return OpaqueIconRef::Kind::Folder;
}

}  // namespace sim

NSString* OpaqueIconRef::description() const {
    const char* kind = kind_ == Kind::Application ? "application"
                       : kind_ == Kind::Folder    ? "folder"
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
    const std::optional<std::string> path = sim::pathOfFileReference(inRef);
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
    *outIconRef = new OpaqueIconRef(*path, sim::iconKindFor(*path, isFolder, name));
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
