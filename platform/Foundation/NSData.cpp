#include "Foundation/NSData.h"

#include <cstdint>

#include "Foundation/NSString.h"
#include "TypeCastsCocoa.h"

NSData* NSData::create(const void* bytes, NSUInteger length) {
    return new NSData(length > 0 ? std::string(static_cast<const char*>(bytes), length)
                                 : std::string());
}

NSData* NSData::dataWithBytes(const void* bytes, NSUInteger length) {
    return autorelease(create(bytes, length));
}

bool NSData::isEqualToData(const NSData* other) const {
    return other != nullptr && other->bytes_ == bytes_;
}

bool NSData::isEqual(const NSObject* other) const {
    return isEqualToData(dynamic_objc_cast<NSData>(other));
}

NSUInteger NSData::hash() const {
    // FNV-1a over the bytes.
    std::uint64_t hash = 1469598103934665603ull;
    for (char byte : bytes_) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
    }
    return static_cast<NSUInteger>(hash);
}

NSString* NSData::description() const {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes_.size() * 2);
    for (char byte : bytes_) {
        hex += kDigits[static_cast<unsigned char>(byte) >> 4];
        hex += kDigits[static_cast<unsigned char>(byte) & 0x0F];
    }
    return NSString::stringWithFormat("{length = %lu, bytes = 0x%s}", bytes_.size(), hex.c_str());
}
