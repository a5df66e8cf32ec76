// Launch Services shared file lists: the user's login-item list, the items that the platform
// opens when the user logs in. Each list reference, snapshot and item is an object of the
// model, released with CFRelease.
#pragma once

#include "CoreFoundation/CFRuntime.h"
#include "CoreFoundation/CoreFoundation.h"
#include "CoreServices/Files.h"
#include "CoreServices/IconServices.h"

// A reference to one of the platform's shared lists. Every reference to the login items sees
// the same list.
class OpaqueLSSharedFileListRef;  // the layouts: CoreServices/LaunchServicesInternal.h
using LSSharedFileListRef = CFOpaqueObject<OpaqueLSSharedFileListRef>*;
// One entry of a list as a snapshot saw it: it keeps its target, display name and icon even
// after the entry leaves the list.
class OpaqueLSSharedFileListItemRef;
using LSSharedFileListItemRef = CFOpaqueObject<OpaqueLSSharedFileListItemRef>*;

// Flags of LSSharedFileListItemResolve.
enum : UInt32 {
    kLSSharedFileListNoUserInteraction = 1 << 0,
    kLSSharedFileListDoNotMountVolumes = 1 << 1,
};

// The current user's login items.
extern CFStringRef kLSSharedFileListSessionLoginItems;
// Positions for LSSharedFileListInsertItemURL: before the first entry, after the last one.
extern LSSharedFileListItemRef kLSSharedFileListItemBeforeFirst;
extern LSSharedFileListItemRef kLSSharedFileListItemLast;

CFTypeID LSSharedFileListGetTypeID();
CFTypeID LSSharedFileListItemGetTypeID();

// A reference to the list `inListType` names, owned by the caller; null when it cannot be
// made (only kLSSharedFileListSessionLoginItems exists). `listOptions` is not read.
LSSharedFileListRef LSSharedFileListCreate(CFAllocatorRef inAllocator, CFStringRef inListType,
                                           CFTypeRef listOptions);
// The list's entries in list order (an array of items owned by the caller), or null. The
// seed, when asked for, changes whenever the list changes.
CFArrayRef LSSharedFileListCopySnapshot(LSSharedFileListRef inList, UInt32* outSnapshotSeed);
UInt32 LSSharedFileListGetSeedValue(LSSharedFileListRef inList);

// Resolves an entry to its target. On status 0 `outURL` (when given) holds a URL owned by the
// caller and `outRef` (when given) names the target; otherwise both are left empty. An entry
// whose volume is not mounted fails with nsvErr when kLSSharedFileListDoNotMountVolumes is set.
OSStatus LSSharedFileListItemResolve(LSSharedFileListItemRef inItem, UInt32 inFlags,
                                     CFURLRef* outURL, FSRef* outRef);
// Takes the entry out of the list; fnfErr when it is no longer there.
OSStatus LSSharedFileListItemRemove(LSSharedFileListRef inList, LSSharedFileListItemRef inItem);
// Adds an entry for `inURL` after `insertAfterThisItem` (or at one of the two positions),
// with the display name (null: the target's name), the icon (null: none) and the properties
// to set. Answers the new entry, owned by the caller, or null when nothing was added.
LSSharedFileListItemRef LSSharedFileListInsertItemURL(LSSharedFileListRef inList,
                                                      LSSharedFileListItemRef insertAfterThisItem,
                                                      CFStringRef inDisplayName, IconRef inIconRef,
                                                      CFURLRef inURL,
                                                      CFDictionaryRef inPropertiesToSet,
                                                      CFArrayRef inPropertiesToClear);
// The entry's display name, owned by the caller.
CFStringRef LSSharedFileListItemCopyDisplayName(LSSharedFileListItemRef inItem);
// The entry's icon, owned by the caller (ReleaseIconRef), or null when it has none.
IconRef LSSharedFileListItemCopyIconRef(LSSharedFileListItemRef inItem);
// A property set at insertion, owned by the caller, or null.
CFTypeRef LSSharedFileListItemCopyProperty(LSSharedFileListItemRef inItem,
                                           CFStringRef inPropertyName);
UInt32 LSSharedFileListItemGetID(LSSharedFileListItemRef inItem);
