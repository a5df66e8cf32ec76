// The checked cast of CoreFoundation references: dynamic_cf_cast<CFStringRef>(value) answers
// the value as a CFStringRef when CFGetTypeID says it is a string, and null for null or an
// object of any other type. Type ids decide, as on macOS: a boolean is no CFNumberRef, and a
// mutable string is a CFStringRef. Mutable references have no cast of their own, since a type id
// cannot tell a mutable object from an immutable one.
//
//     if (CFStringRef title = dynamic_cf_cast<CFStringRef>(value)) { … }
//     RetainPtr<AXUIElementRef> parent = dynamic_cf_cast<AXUIElementRef>(std::move(value));
#pragma once

#include "ApplicationServices/AXUIElement.h"
#include "ApplicationServices/AXValue.h"
#include "ApplicationServices/CGEvent.h"
#include "CoreFoundation/CoreFoundation.h"
#include "CoreServices/LaunchServices.h"
#include "RetainPtr.h"

// The type id of the objects a reference type points at.
template <class Ref>
struct CFTypeTrait;

#define QUENFOLD_CF_TYPE_TRAIT(Ref, getTypeID)           \
    template <>                                          \
    struct CFTypeTrait<Ref> {                            \
        static CFTypeID typeID() { return getTypeID(); } \
    }
QUENFOLD_CF_TYPE_TRAIT(CFStringRef, CFStringGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CFArrayRef, CFArrayGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CFDictionaryRef, CFDictionaryGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CFNumberRef, CFNumberGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CFBooleanRef, CFBooleanGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CFNullRef, CFNullGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CFURLRef, CFURLGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CFRunLoopRef, CFRunLoopGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CFRunLoopSourceRef, CFRunLoopSourceGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CFRunLoopTimerRef, CFRunLoopTimerGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CFMachPortRef, CFMachPortGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(AXUIElementRef, AXUIElementGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(AXValueRef, AXValueGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(CGEventRef, CGEventGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(LSSharedFileListRef, LSSharedFileListGetTypeID);
QUENFOLD_CF_TYPE_TRAIT(LSSharedFileListItemRef, LSSharedFileListItemGetTypeID);
#undef QUENFOLD_CF_TYPE_TRAIT

template <class Ref>
Ref dynamic_cf_cast(CFTypeRef object) {
    if (object == nullptr || CFGetTypeID(object) != CFTypeTrait<Ref>::typeID()) {
        return nullptr;
    }
    return static_cast<Ref>(const_cast<NSObject*>(object));
}

// The holder's reference, handed on when the object is of the type; otherwise it is released
// and the answer is empty.
template <class Ref>
RetainPtr<Ref> dynamic_cf_cast(RetainPtr<CFTypeRef> object) {
    Ref typed = dynamic_cf_cast<Ref>(object.get());
    if (typed == nullptr) {
        return nullptr;
    }
    static_cast<void>(object.leakRef());
    return adoptCF(typed);
}
