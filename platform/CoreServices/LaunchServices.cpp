// Launch Services shared file lists over the session's login-item list.
#include "CoreServices/LaunchServices.h"

#include <algorithm>

#include "ApplicationServices/Processes.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreFoundation/CFStringInternal.h"
#include "CoreServices/FileReferencesInternal.h"
#include "CoreServices/IconServicesInternal.h"
#include "CoreServices/IconsInternal.h"
#include "CoreServices/LaunchServicesInternal.h"
#include "CoreServices/LoginItemListInternal.h"
#include "TypeCastsCF.h"
#include "sim/DisplayName.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"

CFStringRef kLSSharedFileListSessionLoginItems =
    CFStringMakeConstant("com.apple.LSSharedFileList.SessionLoginItems");
LSSharedFileListItemRef kLSSharedFileListItemBeforeFirst =
    OpaqueLSSharedFileListItemRef::createPosition();
LSSharedFileListItemRef kLSSharedFileListItemLast = OpaqueLSSharedFileListItemRef::createPosition();

namespace {

std::u16string displayNameOf(const frameworks::LoginItemRecord& record) {
    if (!record.displayName.empty()) {
        return record.displayName;
    }
    return sim::displayNameForPath(utf16FromUTF8(frameworks::pathOfFileURL(record.url)));
}

OpaqueLSSharedFileListItemRef::Target targetOf(const frameworks::LoginItemRecord& record) {
    OpaqueLSSharedFileListItemRef::Target target;
    target.itemID = record.id;
    target.displayName = displayNameOf(record);
    target.url = record.url;
    target.resolvable = record.resolvable;
    target.iconPath = record.iconPath;
    target.properties = record.properties;
    return target;
}

// Fault injection names the entry by its id (as the element) and its display name.
template <sim::CallName Call>
[[nodiscard]] std::optional<std::int32_t> faultForItem(LSSharedFileListItemRef item) {
    sim::PlatformCall& call = sim::platformCall<Call>();
    if (!sim::announce(call)) {
        return std::nullopt;
    }
    const std::optional<std::int32_t> status =
        item == nullptr ? sim::matchFault(call, 0, {}, /*counted=*/true)
                        : sim::matchFault(call, layoutOf(item)->target().itemID,
                                          layoutOf(item)->target().displayName, true);
    return status && *status != noErr ? status : std::nullopt;
}

}  // namespace

OpaqueLSSharedFileListItemRef::OpaqueLSSharedFileListItemRef(PositionTag)
    : CFOpaqueObject(Immortal{}), position_(true) {}

OpaqueLSSharedFileListItemRef* OpaqueLSSharedFileListItemRef::createPosition() {
    return new OpaqueLSSharedFileListItemRef(PositionTag{});
}

bool OpaqueLSSharedFileListItemRef::isEqual(const NSObject* other) const {
    const OpaqueLSSharedFileListItemRef* item =
        layoutOf(dynamic_cf_cast<LSSharedFileListItemRef>(other));
    if (item == nullptr || position_ || item->position_) {
        return item == this;
    }
    return item->target_.itemID == target_.itemID;
}

NSString* OpaqueLSSharedFileListItemRef::description() const {
    if (position_) {
        return NSString::stringWithUTF8String(this == kLSSharedFileListItemBeforeFirst
                                                  ? "<LSSharedFileListItem before first>"
                                                  : "<LSSharedFileListItem last>");
    }
    return NSString::stringWithFormat("<LSSharedFileListItem %u \"%s\">", target_.itemID,
                                      utf8FromUTF16(target_.displayName).c_str());
}

CFTypeID LSSharedFileListGetTypeID() {
    return kLSSharedFileListTypeID;
}

CFTypeID LSSharedFileListItemGetTypeID() {
    return kLSSharedFileListItemTypeID;
}

LSSharedFileListRef LSSharedFileListCreate(CFAllocatorRef, CFStringRef inListType, CFTypeRef) {
    if (sim::failCall<"LSSharedFileListCreate">() || inListType == nullptr ||
        !CFEqual(inListType, kLSSharedFileListSessionLoginItems)) {
        return nullptr;
    }
    return new OpaqueLSSharedFileListRef();
}

CFArrayRef LSSharedFileListCopySnapshot(LSSharedFileListRef inList, UInt32* outSnapshotSeed) {
    if (sim::failCall<"LSSharedFileListCopySnapshot">() || inList == nullptr) {
        return nullptr;
    }
    frameworks::LoginItemList& list = frameworks::loginItemList();
    RetainPtr<NSMutableArray*> items = adoptCF(NSMutableArray::create());
    for (const frameworks::LoginItemRecord& record : list.entries()) {
        const RetainPtr<LSSharedFileListItemRef> item =
            adoptCF(new OpaqueLSSharedFileListItemRef(targetOf(record)));
        items->addObject(item.get());
    }
    if (outSnapshotSeed != nullptr) {
        *outSnapshotSeed = list.seed();
    }
    return items.leakRef();
}

UInt32 LSSharedFileListGetSeedValue(LSSharedFileListRef inList) {
    if (sim::failCall<"LSSharedFileListGetSeedValue">() || inList == nullptr) {
        return 0;
    }
    return frameworks::loginItemList().seed();
}

OSStatus LSSharedFileListItemResolve(LSSharedFileListItemRef inItem, UInt32 inFlags,
                                     CFURLRef* outURL, FSRef* outRef) {
    const OpaqueLSSharedFileListItemRef* item = layoutOf(inItem);
    if (outURL != nullptr) {
        *outURL = nullptr;
    }
    if (const auto status = faultForItem<"LSSharedFileListItemResolve">(inItem)) {
        return *status;
    }
    if (inItem == nullptr || item->isPosition()) {
        return paramErr;
    }
    const OpaqueLSSharedFileListItemRef::Target& target = item->target();
    // The target's volume is not mounted: resolving would mount it, unless that is forbidden.
    if (!target.resolvable && (inFlags & kLSSharedFileListDoNotMountVolumes) != 0) {
        return nsvErr;
    }
    if (outRef != nullptr) {
        const std::string path = frameworks::pathOfFileURL(target.url);
        if (path.empty() || !sim::fileSystemExists(path)) {
            return fnfErr;
        }
        frameworks::fillFileReference(path, outRef);
    }
    if (outURL != nullptr) {
        const RetainPtr<CFStringRef> text = adoptCF<CFStringRef>(NSString::create(target.url));
        *outURL = CFURLCreateWithString(kCFAllocatorDefault, text.get(), nullptr);
    }
    return noErr;
}

OSStatus LSSharedFileListItemRemove(LSSharedFileListRef inList, LSSharedFileListItemRef inItem) {
    const OpaqueLSSharedFileListItemRef* item = layoutOf(inItem);
    if (const auto status = faultForItem<"LSSharedFileListItemRemove">(inItem)) {
        return *status;
    }
    if (inList == nullptr || inItem == nullptr || item->isPosition()) {
        return paramErr;
    }
    std::string error;
    if (frameworks::loginItemList().remove(item->target().itemID, &error)) {
        return noErr;
    }
    return error.empty() ? fnfErr : ioErr;
}

LSSharedFileListItemRef LSSharedFileListInsertItemURL(LSSharedFileListRef inList,
                                                      LSSharedFileListItemRef insertAfterThisItem,
                                                      CFStringRef inDisplayName, IconRef inIconRef,
                                                      CFURLRef inURL,
                                                      CFDictionaryRef inPropertiesToSet,
                                                      CFArrayRef inPropertiesToClear) {
    if (sim::failCall<"LSSharedFileListInsertItemURL">() || inList == nullptr ||
        insertAfterThisItem == nullptr || inURL == nullptr || !inURL->isFileURL()) {
        return nullptr;
    }
    frameworks::LoginItemPosition where;
    if (insertAfterThisItem == kLSSharedFileListItemBeforeFirst) {
        where.kind = frameworks::LoginItemPosition::Kind::First;
    } else if (insertAfterThisItem != kLSSharedFileListItemLast) {
        where.kind = frameworks::LoginItemPosition::Kind::After;
        where.after = layoutOf(insertAfterThisItem)->target().itemID;
    }

    frameworks::LoginItemRecord record;
    {
        NSAutoreleasePool pool;
        record.url = inURL->absoluteString()->units();
    }
    record.displayName = inDisplayName != nullptr ? inDisplayName->units() : displayNameOf(record);
    if (inIconRef != nullptr) {
        record.iconPath = utf16FromUTF8(layoutOf(inIconRef)->path());
    }
    // Properties are kept as a property list. An entry for the URL listed already moves to the
    // place asked for and takes the new name, icon and properties, as Launch Services documents.
    if (inPropertiesToSet != nullptr && inPropertiesToSet->count() > 0) {
        RetainPtr<CFTypeRef> properties = frameworks::copyPropertyList(inPropertiesToSet, nullptr);
        if (!properties) {
            return nullptr;
        }
        record.properties = adoptCF(static_cast<CFDictionaryRef>(properties.leakRef()));
    }
    const std::uint32_t id = frameworks::loginItemList().insert(
        where, std::move(record), nullptr, frameworks::LoginItemList::WhenListed::Move,
        inPropertiesToClear);
    for (const frameworks::LoginItemRecord& listed : frameworks::loginItemList().entries()) {
        if (id != 0 && listed.id == id) {
            return new OpaqueLSSharedFileListItemRef(targetOf(listed));
        }
    }
    return nullptr;
}

CFStringRef LSSharedFileListItemCopyDisplayName(LSSharedFileListItemRef inItem) {
    const OpaqueLSSharedFileListItemRef* item = layoutOf(inItem);
    if (faultForItem<"LSSharedFileListItemCopyDisplayName">(inItem) || inItem == nullptr ||
        item->isPosition()) {
        return nullptr;
    }
    return NSString::create(item->target().displayName);
}

IconRef LSSharedFileListItemCopyIconRef(LSSharedFileListItemRef inItem) {
    const OpaqueLSSharedFileListItemRef* item = layoutOf(inItem);
    if (faultForItem<"LSSharedFileListItemCopyIconRef">(inItem) || inItem == nullptr ||
        item->isPosition() || item->target().iconPath.empty()) {
        return nullptr;
    }
    const std::string path = utf8FromUTF16(item->target().iconPath);
    return new OpaqueIconRef(path, frameworks::iconKindFor(path, std::nullopt, std::nullopt));
}

CFTypeRef LSSharedFileListItemCopyProperty(LSSharedFileListItemRef inItem,
                                           CFStringRef inPropertyName) {
    const OpaqueLSSharedFileListItemRef* item = layoutOf(inItem);
    if (faultForItem<"LSSharedFileListItemCopyProperty">(inItem) || inItem == nullptr ||
        item->isPosition() || inPropertyName == nullptr || !item->target().properties) {
        return nullptr;
    }
    CFTypeRef value = item->target().properties->objectForKey(inPropertyName);
    return value != nullptr ? CFRetain(value) : nullptr;
}

UInt32 LSSharedFileListItemGetID(LSSharedFileListItemRef inItem) {
    const OpaqueLSSharedFileListItemRef* item = layoutOf(inItem);
    if (faultForItem<"LSSharedFileListItemGetID">(inItem)) {
        return 0;
    }
    return inItem != nullptr && !item->isPosition() ? item->target().itemID : 0;
}
