// The layouts behind LSSharedFileListRef and LSSharedFileListItemRef.
#pragma once

#include <string>

#include "CoreServices/LaunchServices.h"
#include "RetainPtr.h"

// A reference to one of the platform's shared lists. Every reference to the login items sees
// the same list.
class OpaqueLSSharedFileListRef final : public CFOpaqueObject<OpaqueLSSharedFileListRef> {
public:
    OpaqueLSSharedFileListRef() = default;
    CFTypeID typeID() const override { return kLSSharedFileListTypeID; }
};

// One entry of a list as a snapshot saw it: it keeps its target, display name and icon even
// after the entry leaves the list.
class OpaqueLSSharedFileListItemRef final : public CFOpaqueObject<OpaqueLSSharedFileListItemRef> {
public:
    struct Target {
        UInt32 itemID = 0;
        std::u16string displayName;
        std::u16string url;  // the target's URL text
        bool resolvable = true;
        std::u16string iconPath;                // empty: no icon
        RetainPtr<CFDictionaryRef> properties;  // set at insertion; may be null
    };

    explicit OpaqueLSSharedFileListItemRef(Target target) : target_(std::move(target)) {}

    CFTypeID typeID() const override { return kLSSharedFileListItemTypeID; }
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override { return target_.itemID; }
    NSString* description() const override;

    const Target& target() const { return target_; }
    // The positions kLSSharedFileListItemBeforeFirst and kLSSharedFileListItemLast.
    bool isPosition() const { return position_; }

    // A position that is no entry (the two constants below); it lives for the whole process.
    static OpaqueLSSharedFileListItemRef* createPosition();

private:
    struct PositionTag {};
    explicit OpaqueLSSharedFileListItemRef(PositionTag);

    Target target_;
    bool position_ = false;
};
