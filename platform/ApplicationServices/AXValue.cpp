#include "ApplicationServices/AXValue.h"

#include <cstring>

#include "ApplicationServices/AXValueInternal.h"
#include "ApplicationServices/AccessibilityInternal.h"
#include "TypeCastsCF.h"
#include "sim/Faults.h"

namespace {

std::size_t sizeOf(AXValueType type) {
    switch (type) {
        case kAXValueCGPointType:
            return sizeof(CGPoint);
        case kAXValueCGSizeType:
            return sizeof(CGSize);
        case kAXValueCGRectType:
            return sizeof(CGRect);
        case kAXValueCFRangeType:
            return sizeof(CFRange);
        case kAXValueAXErrorType:
            return sizeof(AXError);
        default:
            return 0;
    }
}

}  // namespace

namespace frameworks {

using namespace sim;

AXValueRef createAXValue(AXValueType type, const void* value) {
    const std::size_t size = sizeOf(type);
    if (size == 0 || value == nullptr) {
        return nullptr;
    }
    return new __AXValue(type, value, size);
}

}  // namespace frameworks

CFTypeID AXValueGetTypeID() {
    return kAXValueTypeID;
}

AXValueRef AXValueCreate(AXValueType type, const void* valuePtr) {
    if (sim::failCall<"AXValueCreate">()) {
        return nullptr;
    }
    return frameworks::createAXValue(type, valuePtr);
}

AXValueType AXValueGetType(AXValueRef value) {
    // The type id decides: C callers cast any reference to AXValueRef.
    return value == nullptr || CFGetTypeID(value) != kAXValueTypeID ? kAXValueIllegalType
                                                                    : layoutOf(value)->type_;
}

Boolean AXValueGetValue(AXValueRef value, AXValueType type, void* valuePtr) {
    const __AXValue* layout = layoutOf(value);
    if (sim::failCall<"AXValueGetValue">() || layout == nullptr || valuePtr == nullptr ||
        layout->type_ != type) {
        return false;
    }
    std::memcpy(valuePtr, layout->storage_, layout->size_);
    return true;
}
