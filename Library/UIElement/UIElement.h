// The accessibility toolkit: plain functions over accessibility elements.
//
// Ownership: a function whose name begins with "copy" hands the caller a reference that the
// caller releases; a "get" function returns a child that stays valid for the rest of the
// process and that the caller does not release (the module keeps each child it hands out once,
// an equal child found again being answered by the one kept), so it needs no autorelease pool
// of the caller's; no function releases its arguments. Descriptions are autoreleased strings
// and arrays.
#pragma once

#include <AppKit/AppKit.h>
#include <ApplicationServices/ApplicationServices.h>

#include <cstddef>
#include <cstdint>

// The one system-wide element of the process, made on first need and kept for its lifetime.
extern AXUIElementRef _systemWideElement;

// System-wide element and hit-testing.
void set_systemWideElement();
AXError setAXUIElementSetMessagingTimeout(float seconds);
AXUIElementRef copyUIElementAtXY(float x, float y);
AXUIElementRef copyUIElementAtMouse();
AXUIElementRef copyUIElementAtXYWithUIElement(float x, float y);
AXUIElementRef copyUIElementAtXYByWithBundleIdentifier(float x, float y,
                                                       CFStringRef bundleIdentifier);
AXUIElementRef copyUIElementAtXYWithProcessName(float x, float y, CFStringRef processName);

// Attribute access and child search.
CFTypeRef copyValueOfExistingAttribute(CFStringRef attribute, AXUIElementRef element);
AXUIElementRef getTitleElementInChildren(AXUIElementRef element, CFArrayRef titles);
AXUIElementRef getRoleElementInChildren(AXUIElementRef element, CFStringRef role);
AXUIElementRef getIndexElementInChildren(AXUIElementRef element, std::int32_t index);
// How many children the get… searches keep for the life of the process.
std::size_t countOfKeptChildElements();

// Application, window and action helpers. Statuses: 0 success, an accessibility status passed
// on, or -1 when a process step failed or the action was refused.
CFStringRef copyApplicationNameOfUIElement(AXUIElementRef element);
CFStringRef copyEnglishApplicationNameOfUIElement(AXUIElementRef element);
AXUIElementRef copyActiveApplicatoinsActiveWindowUIElement();
AXUIElementRef copyApplicationWindowWithName(pid_t pid, CFStringRef windowTitle);
std::int32_t activateUIElementProcess(AXUIElementRef element);
std::int32_t performAction(AXUIElementRef element, CFStringRef actionName);
std::int32_t bringAXWindowToFront(AXUIElementRef window);

// Synthetic mouse click.
std::int32_t mouseClick(float x, float y, CFStringRef buttonName, std::int32_t clickCount,
                        CFStringRef modifiers, float holdSeconds);

// Value and lineage descriptions.
NSString* stringDescriptionOfAXValue(CFTypeRef value, bool labelled);
NSString* descriptionOfValue(CFTypeRef value, bool labelled);
NSArray* lineageOfUIElement(AXUIElementRef element);
NSString* lineageDescriptionOfUIElement(AXUIElementRef element);
