// The application delegate's login-item registration: whether the user's login-item list holds
// the application's bundle, and adding or removing its entry.
#include <CoreServices/CoreServices.h>
#include <TypeCastsCF.h>

#include <memory>
#include <type_traits>

#include "QuenfoldAppDelegate.h"

namespace {

// Resolution never asks the user anything and never mounts a volume.
constexpr UInt32 kQuietResolution =
    kLSSharedFileListNoUserInteraction | kLSSharedFileListDoNotMountVolumes;

struct IconRefReleaser {
    void operator()(IconRef icon) const { ReleaseIconRef(icon); }
};
using IconHolder = std::unique_ptr<std::remove_pointer_t<IconRef>, IconRefReleaser>;

RetainPtr<LSSharedFileListRef> loginItemList() {
    return adoptCF(
        LSSharedFileListCreate(kCFAllocatorDefault, kLSSharedFileListSessionLoginItems, nullptr));
}

RetainPtr<CFArrayRef> loginItemSnapshot(LSSharedFileListRef list) {
    UInt32 seed = 0;
    return adoptCF(LSSharedFileListCopySnapshot(list, &seed));
}

// The first entry of the snapshot, in list order, whose target resolves to `bundleURL`, or
// nil. The entry is borrowed from the snapshot. Entries that cannot be resolved quietly are
// passed over.
LSSharedFileListItemRef matchingLoginItem(CFArrayRef snapshot, CFURLRef bundleURL) {
    if (snapshot == nullptr) {
        return nullptr;
    }
    for (CFIndex index = 0; index < CFArrayGetCount(snapshot); ++index) {
        LSSharedFileListItemRef item =
            dynamic_cf_cast<LSSharedFileListItemRef>(CFArrayGetValueAtIndex(snapshot, index));
        RetainPtr<CFURLRef> resolved;
        if (LSSharedFileListItemResolve(item, kQuietResolution, resolved.initializeInto(),
                                        nullptr) != noErr) {
            continue;
        }
        if (CFEqual(resolved.get(), bundleURL)) {
            return item;
        }
    }
    return nullptr;
}

// The bundle folder's icon, or none.
IconHolder bundleIcon(CFURLRef bundleURL) {
    FSRef folder{};
    if (!CFURLGetFSRef(bundleURL, &folder)) {
        return nullptr;
    }
    IconRef icon = nullptr;
    if (GetIconRefFromFileInfo(&folder, 0, nullptr, kFSCatInfoNone, nullptr,
                               kIconServicesNormalUsageFlag, &icon, nullptr) != noErr) {
        return nullptr;
    }
    return IconHolder(icon);
}

}  // namespace

bool QuenfoldAppDelegate::isLaunchAutomaticallyOnLogin() {
    NSBundle* bundle = NSBundle::mainBundle();
    NSString* bundlePath = bundle != nullptr ? bundle->bundlePath() : nullptr;
    if (bundlePath == nullptr) {
        return NO;
    }
    RetainPtr<CFURLRef> bundleURL = adoptCF(
        CFURLCreateWithFileSystemPath(kCFAllocatorDefault, bundlePath, kCFURLPOSIXPathStyle, true));
    // A list that cannot be opened holds nothing for this bundle.
    RetainPtr<LSSharedFileListRef> list = loginItemList();
    if (!list) {
        return NO;
    }
    RetainPtr<CFArrayRef> snapshot = loginItemSnapshot(list.get());
    return matchingLoginItem(snapshot.get(), bundleURL.get()) != nullptr;
}

void QuenfoldAppDelegate::setLaunchAutomaticallyOnLogin(bool enabled) {
    NSBundle* bundle = NSBundle::mainBundle();
    setLaunchAutomaticallyOnLogin(bundle != nullptr ? bundle->bundlePath() : nullptr, enabled);
}

void QuenfoldAppDelegate::setLaunchAutomaticallyOnLogin(NSString* bundlePath, bool enabled) {
    // Without a bundle there is nothing to add or remove.
    if (bundlePath == nullptr) {
        return;
    }
    NSURL* bundleURL = NSURL::fileURLWithPath(bundlePath);
    RetainPtr<LSSharedFileListRef> list = loginItemList();
    if (!list) {
        return;
    }
    RetainPtr<CFArrayRef> snapshot = loginItemSnapshot(list.get());
    LSSharedFileListItemRef match = matchingLoginItem(snapshot.get(), bundleURL);
    if (!enabled) {
        if (match != nullptr) {
            LSSharedFileListItemRemove(list.get(), match);
        }
        return;
    }
    if (match != nullptr) {
        return;  // already there: its place, name and icon stay as they are
    }
    NSString* displayName = NSFileManager::defaultManager()->displayNameAtPath(bundlePath);
    IconHolder icon = bundleIcon(bundleURL);
    // The new entry is not used; its reference is dropped at once.
    RetainPtr<LSSharedFileListItemRef> inserted = adoptCF(
        LSSharedFileListInsertItemURL(list.get(), kLSSharedFileListItemBeforeFirst, displayName,
                                      icon.get(), bundleURL, nullptr, nullptr));
}
