// Accessibility values: points, sizes, rectangles, ranges and errors wrapped as objects.
#pragma once

#include "ApplicationServices/AXError.h"
#include "ApplicationServices/CGGeometry.h"
#include "CoreFoundation/CFRuntime.h"
#include "CoreFoundation/CoreFoundation.h"

enum AXValueType : UInt32 {
    kAXValueIllegalType = 0,
    kAXValueCGPointType = 1,
    kAXValueCGSizeType = 2,
    kAXValueCGRectType = 3,
    kAXValueCFRangeType = 4,
    kAXValueAXErrorType = 5,
};

// A point, size, rectangle, range or error, held by value.
class __AXValue;  // the layout: ApplicationServices/AXValueInternal.h
using AXValueRef = const CFOpaqueObject<__AXValue>*;

CFTypeID AXValueGetTypeID();
// A new value holding the CGPoint, CGSize, CGRect, CFRange or AXError at `valuePtr`; null for
// any other type.
AXValueRef AXValueCreate(AXValueType type, const void* valuePtr);
// The value's type; kAXValueIllegalType for null, and for a reference of another type that a
// caller cast to AXValueRef.
AXValueType AXValueGetType(AXValueRef value);
// Fills `valuePtr` when the value is of `type`.
Boolean AXValueGetValue(AXValueRef value, AXValueType type, void* valuePtr);
