// The layout behind AXValueRef: a point, size, rectangle, range or error, held by value.
#pragma once

#include <cstddef>
#include <cstring>

#include "ApplicationServices/AXValue.h"
#include "TypeCastsCF.h"

class __AXValue final : public CFOpaqueObject<__AXValue> {
public:
    __AXValue(AXValueType type, const void* bytes, std::size_t size) : type_(type), size_(size) {
        std::memcpy(storage_, bytes, size);
    }
    CFTypeID typeID() const override { return kAXValueTypeID; }
    bool isEqual(const NSObject* other) const override {
        const __AXValue* value = layoutOf(dynamic_cf_cast<AXValueRef>(other));
        return value != nullptr && value->type_ == type_ &&
               std::memcmp(value->storage_, storage_, size_) == 0;
    }

    AXValueType type_;
    std::size_t size_;
    alignas(double) unsigned char storage_[sizeof(CGRect)];
};
