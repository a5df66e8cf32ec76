// The Accessibility API: elements of other processes' user interface, their attributes and
// actions, hit-testing, and the access test.
#pragma once

#include <cstdint>

#include "ApplicationServices/AXError.h"
#include "CoreFoundation/CoreFoundation.h"

// An accessibility element: the system-wide element, an application (node 0 of a process) or
// one node of a process's tree. Elements compare equal when they name the same thing.
class __AXUIElement : public NSObject {
public:
    __AXUIElement(bool systemWide, pid_t pid, std::uint64_t node)
        : systemWide_(systemWide), pid_(pid), node_(node) {}

    CFTypeID typeID() const override { return kAXUIElementTypeID; }
    bool isEqual(const NSObject* other) const override {
        const auto* element = dynamic_cast<const __AXUIElement*>(other);
        return element != nullptr && element->systemWide_ == systemWide_ && element->pid_ == pid_ &&
               element->node_ == node_;
    }
    NSUInteger hash() const override {
        return static_cast<NSUInteger>(pid_) * 1000003u + static_cast<NSUInteger>(node_);
    }
    NSString* description() const override {
        if (systemWide_) {
            return NSString::stringWithUTF8String("<AXUIElement System Wide>");
        }
        return NSString::stringWithFormat("<AXUIElement pid=%d node=%llu>", pid_,
                                          static_cast<unsigned long long>(node_));
    }

    bool systemWide_;
    pid_t pid_;
    std::uint64_t node_;  // 0: the application element of pid_
    // The element's own messaging timeout in seconds; 0: the global one applies.
    mutable float messagingTimeout_ = 0;
};
using AXUIElementRef = const __AXUIElement*;

using AXCopyMultipleAttributeOptions = UInt32;
inline constexpr AXCopyMultipleAttributeOptions kAXCopyMultipleAttributeOptionStopOnError = 0x1;

#define kAXRoleAttribute CFSTR("AXRole")
#define kAXSubroleAttribute CFSTR("AXSubrole")
#define kAXTitleAttribute CFSTR("AXTitle")
#define kAXDescriptionAttribute CFSTR("AXDescription")
#define kAXURLAttribute CFSTR("AXURL")
#define kAXChildrenAttribute CFSTR("AXChildren")
#define kAXParentAttribute CFSTR("AXParent")
#define kAXWindowsAttribute CFSTR("AXWindows")
#define kAXFocusedWindowAttribute CFSTR("AXFocusedWindow")
#define kAXFocusedApplicationAttribute CFSTR("AXFocusedApplication")
#define kAXPositionAttribute CFSTR("AXPosition")
#define kAXSizeAttribute CFSTR("AXSize")
#define kAXFrontmostAttribute CFSTR("AXFrontmost")
#define kAXHiddenAttribute CFSTR("AXHidden")
#define kAXRaiseAction CFSTR("AXRaise")
#define kAXPressAction CFSTR("AXPress")

// True while access for assistive devices is on.
Boolean AXAPIEnabled();
Boolean AXIsProcessTrusted();

CFTypeID AXUIElementGetTypeID();
AXUIElementRef AXUIElementCreateSystemWide();
AXUIElementRef AXUIElementCreateApplication(pid_t pid);

AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CFTypeRef* value);
AXError AXUIElementCopyAttributeNames(AXUIElementRef element, CFArrayRef* names);
// The values of several attributes in one request, in the order asked; with options 0 an
// attribute that cannot be read stands as an AXValue of kAXValueAXErrorType.
AXError AXUIElementCopyMultipleAttributeValues(AXUIElementRef element, CFArrayRef attributes,
                                               AXCopyMultipleAttributeOptions options,
                                               CFArrayRef* values);
AXError AXUIElementCopyActionNames(AXUIElementRef element, CFArrayRef* names);
AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action);
// The element at a point in global screen coordinates: with the system-wide element the
// topmost element of any application, with an application element one of that application.
AXError AXUIElementCopyElementAtPosition(AXUIElementRef application, float x, float y,
                                         AXUIElementRef* element);
AXError AXUIElementGetPid(AXUIElementRef element, pid_t* pid);
AXError AXUIElementSetMessagingTimeout(AXUIElementRef element, float timeoutInSeconds);
