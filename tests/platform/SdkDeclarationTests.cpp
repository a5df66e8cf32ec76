// Every C function, type and constant the system uses, with the signature, type and value that
// Apple's Mac OS X 10.8 SDK gives it (AXValue.h: 10.10): a declaration that drifts stops the
// build. References are the model's objects (CFTypeRef is `const NSObject*`, each handle a
// pointer to its object class), so they are named by their Ref types; every scalar is spelled as
// the SDK spells it. The few differences that the object model forces are listed last, asserted
// in their present form, and explained in docs/simulated-session.md.
#include <ApplicationServices/ApplicationServices.h>
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace {

#define SDK_FUNCTION(F, R, ...) \
    static_assert(std::is_same_v<decltype(&F), R (*)(__VA_ARGS__)>, #F " drifted from the SDK")
#define SDK_TYPE(T, ...) static_assert(std::is_same_v<T, __VA_ARGS__>, #T " drifted from the SDK")
#define SDK_VALUE(C, V) static_assert((C) == (V), #C " drifted from the SDK")

// Scalar types (MacTypes.h, CFBase.h, CGBase.h, AXError.h, AXValue.h, CGEventTypes.h,
// Processes.h, Files.h, IconsCore.h).
SDK_TYPE(Boolean, unsigned char);
SDK_TYPE(UInt16, std::uint16_t);
SDK_TYPE(UInt32, std::uint32_t);
SDK_TYPE(SInt16, std::int16_t);
SDK_TYPE(SInt32, std::int32_t);
SDK_TYPE(SInt64, std::int64_t);
SDK_TYPE(OSErr, SInt16);
SDK_TYPE(OSStatus, SInt32);
SDK_TYPE(OptionBits, UInt32);
SDK_TYPE(CFIndex, signed long);
SDK_TYPE(CFTypeID, unsigned long);
SDK_TYPE(CFHashCode, unsigned long);
SDK_TYPE(CGFloat, double);
SDK_TYPE(AXError, SInt32);
SDK_TYPE(std::underlying_type_t<AXValueType>, UInt32);
SDK_TYPE(AXCopyMultipleAttributeOptions, UInt32);
SDK_TYPE(std::underlying_type_t<CFURLPathStyle>, CFIndex);
SDK_TYPE(CGEventType, std::uint32_t);
SDK_TYPE(CGEventMask, std::uint64_t);
SDK_TYPE(CGEventFlags, std::uint64_t);
SDK_TYPE(CGEventField, std::uint32_t);
SDK_TYPE(CGMouseButton, std::uint32_t);
SDK_TYPE(CGEventTapLocation, std::uint32_t);
SDK_TYPE(CGEventTapPlacement, std::uint32_t);
SDK_TYPE(CGEventTapOptions, std::uint32_t);
SDK_TYPE(CGEventSourceStateID, std::uint32_t);
SDK_TYPE(CGKeyCode, std::uint16_t);
SDK_TYPE(CGEventTapCallBack, CGEventRef (*)(CGEventTapProxy, CGEventType, CGEventRef, void*));
SDK_TYPE(ProcessApplicationTransformState, UInt32);
SDK_TYPE(UniCharCount, unsigned long);
SDK_TYPE(FSCatalogInfoBitmap, UInt32);
SDK_TYPE(IconServicesUsageFlags, UInt32);
SDK_TYPE(decltype(ProcessSerialNumber::highLongOfPSN), UInt32);
SDK_TYPE(decltype(ProcessSerialNumber::lowLongOfPSN), UInt32);
static_assert(sizeof(ProcessSerialNumber) == 8 && offsetof(ProcessSerialNumber, lowLongOfPSN) == 4);
static_assert(sizeof(FSRef) == 80);
SDK_TYPE(decltype(CGPoint::x), CGFloat);
SDK_TYPE(decltype(CGSize::width), CGFloat);
SDK_TYPE(decltype(CGRect::origin), CGPoint);
SDK_TYPE(decltype(CGRect::size), CGSize);
SDK_FUNCTION(CGPointMake, CGPoint, CGFloat, CGFloat);
SDK_TYPE(decltype(CFRange::location), CFIndex);

// CoreFoundation.
SDK_FUNCTION(CFRetain, CFTypeRef, CFTypeRef);
SDK_FUNCTION(CFEqual, Boolean, CFTypeRef, CFTypeRef);
SDK_FUNCTION(CFHash, CFHashCode, CFTypeRef);
SDK_FUNCTION(CFArrayGetCount, CFIndex, CFArrayRef);
SDK_FUNCTION(CFStringGetLength, CFIndex, CFStringRef);
SDK_FUNCTION(CFStringCreateMutable, CFMutableStringRef, CFAllocatorRef, CFIndex);
SDK_FUNCTION(CFStringAppend, void, CFMutableStringRef, CFStringRef);
SDK_FUNCTION(CFURLCreateWithFileSystemPath, CFURLRef, CFAllocatorRef, CFStringRef, CFURLPathStyle,
             Boolean);
SDK_FUNCTION(CFURLGetFSRef, Boolean, CFURLRef, FSRef*);
SDK_FUNCTION(CFMachPortCreateRunLoopSource, CFRunLoopSourceRef, CFAllocatorRef, CFMachPortRef,
             CFIndex);
SDK_FUNCTION(CFRunLoopGetCurrent, CFRunLoopRef);
SDK_FUNCTION(CFRunLoopAddSource, void, CFRunLoopRef, CFRunLoopSourceRef, CFStringRef);
SDK_FUNCTION(CFRunLoopRemoveSource, void, CFRunLoopRef, CFRunLoopSourceRef, CFStringRef);
SDK_TYPE(decltype(kCFNull), const CFNullRef);
SDK_TYPE(decltype(kCFRunLoopDefaultMode), const CFStringRef);
SDK_VALUE(kCFURLPOSIXPathStyle, 0);

// Accessibility.
SDK_FUNCTION(AXAPIEnabled, Boolean);
SDK_FUNCTION(AXUIElementCreateSystemWide, AXUIElementRef);
SDK_FUNCTION(AXUIElementCreateApplication, AXUIElementRef, pid_t);
SDK_FUNCTION(AXUIElementCopyAttributeValue, AXError, AXUIElementRef, CFStringRef, CFTypeRef*);
SDK_FUNCTION(AXUIElementCopyMultipleAttributeValues, AXError, AXUIElementRef, CFArrayRef,
             AXCopyMultipleAttributeOptions, CFArrayRef*);
SDK_FUNCTION(AXUIElementCopyActionNames, AXError, AXUIElementRef, CFArrayRef*);
SDK_FUNCTION(AXUIElementPerformAction, AXError, AXUIElementRef, CFStringRef);
SDK_FUNCTION(AXUIElementCopyElementAtPosition, AXError, AXUIElementRef, float, float,
             AXUIElementRef*);
SDK_FUNCTION(AXUIElementGetPid, AXError, AXUIElementRef, pid_t*);
SDK_FUNCTION(AXUIElementSetMessagingTimeout, AXError, AXUIElementRef, float);
SDK_FUNCTION(AXValueGetType, AXValueType, AXValueRef);
SDK_FUNCTION(AXValueGetValue, Boolean, AXValueRef, AXValueType, void*);
SDK_VALUE(kAXErrorSuccess, 0);
SDK_VALUE(kAXErrorFailure, -25200);
SDK_VALUE(kAXValueIllegalType, 0);
SDK_VALUE(kAXValueCGPointType, 1);
SDK_VALUE(kAXValueCGSizeType, 2);
SDK_VALUE(kAXValueCGRectType, 3);
SDK_VALUE(kAXValueCFRangeType, 4);
SDK_VALUE(kAXValueAXErrorType, 5);

// Quartz Event Services.
SDK_FUNCTION(CGEventTapCreate, CFMachPortRef, CGEventTapLocation, CGEventTapPlacement,
             CGEventTapOptions, CGEventMask, CGEventTapCallBack, void*);
SDK_FUNCTION(CGEventTapEnable, void, CFMachPortRef, bool);
SDK_FUNCTION(CGEventCreate, CGEventRef, CGEventSourceRef);
SDK_FUNCTION(CGEventCreateMouseEvent, CGEventRef, CGEventSourceRef, CGEventType, CGPoint,
             CGMouseButton);
SDK_FUNCTION(CGEventGetLocation, CGPoint, CGEventRef);
SDK_FUNCTION(CGEventGetFlags, CGEventFlags, CGEventRef);
SDK_FUNCTION(CGEventSetFlags, void, CGEventRef, CGEventFlags);
SDK_FUNCTION(CGEventGetIntegerValueField, std::int64_t, CGEventRef, CGEventField);
SDK_FUNCTION(CGEventSetIntegerValueField, void, CGEventRef, CGEventField, std::int64_t);
SDK_FUNCTION(CGEventPost, void, CGEventTapLocation, CGEventRef);
SDK_FUNCTION(CGEventSourceKeyState, bool, CGEventSourceStateID, CGKeyCode);
SDK_FUNCTION(CGEventSourceButtonState, bool, CGEventSourceStateID, CGMouseButton);
SDK_VALUE(kCGEventLeftMouseDown, 1);
SDK_VALUE(kCGEventLeftMouseUp, 2);
SDK_VALUE(kCGEventRightMouseDown, 3);
SDK_VALUE(kCGEventRightMouseUp, 4);
SDK_VALUE(kCGEventOtherMouseDown, 25);
SDK_VALUE(kCGEventOtherMouseUp, 26);
SDK_VALUE(kCGEventTapDisabledByTimeout, 0xFFFFFFFEu);
SDK_VALUE(kCGEventTapDisabledByUserInput, 0xFFFFFFFFu);
SDK_VALUE(CGEventMaskBit(kCGEventLeftMouseDown) | CGEventMaskBit(kCGEventLeftMouseUp), 6u);
SDK_VALUE(kCGEventFlagMaskAlphaShift, 0x00010000);
SDK_VALUE(kCGEventFlagMaskShift, 0x00020000);
SDK_VALUE(kCGEventFlagMaskControl, 0x00040000);
SDK_VALUE(kCGEventFlagMaskAlternate, 0x00080000);
SDK_VALUE(kCGEventFlagMaskCommand, 0x00100000);
SDK_VALUE(kCGEventFlagMaskSecondaryFn, 0x00800000);
SDK_VALUE(kCGMouseEventClickState, 1);
SDK_VALUE(kCGEventTargetUnixProcessID, 40);
SDK_VALUE(kCGEventSourceUnixProcessID, 41);
SDK_VALUE(kCGMouseButtonLeft, 0);
SDK_VALUE(kCGMouseButtonRight, 1);
SDK_VALUE(kCGMouseButtonCenter, 2);
SDK_VALUE(kCGHIDEventTap, 0);
SDK_VALUE(kCGTailAppendEventTap, 1);
SDK_VALUE(kCGEventTapOptionListenOnly, 1);
SDK_VALUE(kCGEventSourceStatePrivate, -1);
SDK_VALUE(kCGEventSourceStateCombinedSessionState, 0);
SDK_VALUE(kCGEventSourceStateHIDSystemState, 1);

// The Process Manager.
SDK_FUNCTION(GetProcessForPID, OSStatus, pid_t, ProcessSerialNumber*);
SDK_FUNCTION(SetFrontProcess, OSErr, const ProcessSerialNumber*);
SDK_FUNCTION(SetFrontProcessWithOptions, OSStatus, const ProcessSerialNumber*, OptionBits);
SDK_FUNCTION(TransformProcessType, OSStatus, const ProcessSerialNumber*,
             ProcessApplicationTransformState);
SDK_VALUE(kCurrentProcess, 2);
SDK_VALUE(kProcessTransformToForegroundApplication, 1);
SDK_VALUE(kSetFrontProcessFrontWindowOnly, 1);
SDK_VALUE(noErr, 0);

// Launch Services and Icon Services.
SDK_FUNCTION(LSSharedFileListCreate, LSSharedFileListRef, CFAllocatorRef, CFStringRef, CFTypeRef);
SDK_FUNCTION(LSSharedFileListCopySnapshot, CFArrayRef, LSSharedFileListRef, UInt32*);
SDK_FUNCTION(LSSharedFileListItemResolve, OSStatus, LSSharedFileListItemRef, UInt32, CFURLRef*,
             FSRef*);
SDK_FUNCTION(LSSharedFileListItemRemove, OSStatus, LSSharedFileListRef, LSSharedFileListItemRef);
SDK_FUNCTION(LSSharedFileListInsertItemURL, LSSharedFileListItemRef, LSSharedFileListRef,
             LSSharedFileListItemRef, CFStringRef, IconRef, CFURLRef, CFDictionaryRef, CFArrayRef);
SDK_TYPE(decltype(kLSSharedFileListSessionLoginItems), CFStringRef);
SDK_TYPE(decltype(kLSSharedFileListItemBeforeFirst), LSSharedFileListItemRef);
SDK_TYPE(decltype(kLSSharedFileListItemLast), LSSharedFileListItemRef);
SDK_VALUE(kLSSharedFileListNoUserInteraction, 1);
SDK_VALUE(kLSSharedFileListDoNotMountVolumes, 2);
SDK_FUNCTION(ReleaseIconRef, OSErr, IconRef);
SDK_VALUE(kFSCatInfoNone, 0);
SDK_VALUE(kIconServicesNormalUsageFlag, 0);

// Differences the object model forces (docs/simulated-session.md).
// CFArrayGetValueAtIndex answers `const void*` in the SDK: arrays here hold only objects.
SDK_FUNCTION(CFArrayGetValueAtIndex, CFTypeRef, CFArrayRef, CFIndex);
// UniChar is UInt16 in the SDK: the strings' code units are char16_t, the type of u"" literals.
SDK_FUNCTION(GetIconRefFromFileInfo, OSStatus, const FSRef*, UniCharCount, const char16_t*,
             FSCatalogInfoBitmap, const FSCatalogInfo*, IconServicesUsageFlags, IconRef*, SInt16*);
// kCFAllocatorDefault is an extern const NULL in the SDK: no allocator exists here.
SDK_TYPE(decltype(kCFAllocatorDefault), const CFAllocatorRef);
static_assert(kCFAllocatorDefault == nullptr);

#undef SDK_FUNCTION
#undef SDK_TYPE
#undef SDK_VALUE

}  // namespace
