// Accessibility values: points, sizes, rectangles, ranges and errors wrapped as objects.
#pragma once

#include <cstring>
#include "ApplicationServices/AXError.h"
#include "ApplicationServices/CGGeometry.h"

#include "CoreFoundation/CoreFoundation.h"
#include "Foundation/NSObject.h"

enum AXValueType : UInt32 {
    kAXValueIllegalType = 0,
    kAXValueCGPointType = 1,
    kAXValueCGSizeType = 2,
    kAXValueCGRectType = 3,
    kAXValueCFRangeType = 4,
    kAXValueAXErrorType = 5,
};

// A point, size, rectangle, range or error, held by value.
class __AXValue : public NSObject {
public:
    __AXValue(AXValueType type, const void* bytes, std::size_t size) : type_(type), size_(size) {
        std::memcpy(storage_, bytes, size);
    }
    CFTypeID typeID() const override { return kAXValueTypeID; }
    bool isEqual(const NSObject* other) const override {
        const auto* value = dynamic_cast<const __AXValue*>(other);
        return value != nullptr && value->type_ == type_ &&
               std::memcmp(value->storage_, storage_, size_) == 0;
    }

    AXValueType type_;
    std::size_t size_;
    alignas(double) unsigned char storage_[sizeof(CGRect)];
};
using AXValueRef = const __AXValue*;

CFTypeID AXValueGetTypeID();
// A new value holding the CGPoint, CGSize, CGRect, CFRange or AXError at `valuePtr`; null for
// any other type.
AXValueRef AXValueCreate(AXValueType type, const void* valuePtr);
// The value's type; kAXValueIllegalType for an object that is no accessibility value.
AXValueType AXValueGetType(CFTypeRef value);
// Fills `valuePtr` when the value is of `type`.
Boolean AXValueGetValue(AXValueRef value, AXValueType type, void* valuePtr);
