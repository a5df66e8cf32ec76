// The Accessibility API: elements of other processes' user interface, their attributes and
// actions, hit-testing, and the access test.
#pragma once

#include "ApplicationServices/AXError.h"
#include "CoreFoundation/CFRuntime.h"
#include "CoreFoundation/CoreFoundation.h"

// An accessibility element: the system-wide element, an application or one node of a
// process's tree.
class __AXUIElement;  // the layout: ApplicationServices/AXUIElementInternal.h
using AXUIElementRef = const CFOpaqueObject<__AXUIElement>*;

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
