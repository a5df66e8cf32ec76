// Immutable byte buffers. NSData* and CFDataRef (CoreFoundation/CFData.h) name the same object.
#pragma once

#include <string>
#include <string_view>

#include "CoreFoundation/CFData.h"
#include "Foundation/NSObject.h"

class NSData : public NSObject {
public:
    static NSData* create(const void* bytes, NSUInteger length);  // +1
    static NSData* dataWithBytes(const void* bytes, NSUInteger length);

    const void* bytes() const { return bytes_.data(); }
    NSUInteger length() const { return bytes_.size(); }
    std::string_view view() const { return bytes_; }
    bool isEqualToData(const NSData* other) const;

    CFTypeID typeID() const override { return kCFDataTypeID; }
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override;
    // "{length = 3, bytes = 0x0001ff}"
    NSString* description() const override;
    static Class class_() { return classOf<NSData>("NSData"); }

private:
    explicit NSData(std::string bytes) : bytes_(std::move(bytes)) {}

    std::string bytes_;
};
