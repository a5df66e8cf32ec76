#include "Foundation/NSValue.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "Foundation/NSString.h"
#include "TypeCastsCocoa.h"

NSNumber* NSNumber::createWithLongLong(long long value) {
    return new NSNumber(value);
}

NSNumber* NSNumber::createWithDouble(double value) {
    return new NSNumber(value);
}

NSNumber* NSNumber::numberWithInt(int value) {
    return numberWithLongLong(value);
}

NSNumber* NSNumber::numberWithLong(long value) {
    return numberWithLongLong(value);
}

NSNumber* NSNumber::numberWithInteger(NSInteger value) {
    return numberWithLongLong(value);
}

NSNumber* NSNumber::numberWithLongLong(long long value) {
    return autorelease(createWithLongLong(value));
}

NSNumber* NSNumber::numberWithDouble(double value) {
    return autorelease(createWithDouble(value));
}

NSNumber* NSNumber::numberWithBool(BOOL value) {
    return bridge(static_cast<const NSNumber*>(value ? kCFBooleanTrue : kCFBooleanFalse));
}

long long NSNumber::longLongValue() const {
    if (!real_) {
        return integer_;
    }
    if (std::isnan(double_)) {
        return 0;
    }
    if (double_ >= 9.2233720368547758e18) {
        return std::numeric_limits<long long>::max();
    }
    if (double_ <= -9.2233720368547758e18) {
        return std::numeric_limits<long long>::min();
    }
    return static_cast<long long>(double_);
}

int NSNumber::intValue() const {
    // Like a C cast of the 64-bit value to 32 bits: the low bits are kept.
    return static_cast<int>(
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(longLongValue())));
}

bool NSNumber::isEqualToNumber(const NSNumber* other) const {
    if (other == nullptr) {
        return false;
    }
    if (!real_ && !other->real_) {
        return integer_ == other->integer_;
    }
    return doubleValue() == other->doubleValue();
}

bool NSNumber::isEqual(const NSObject* other) const {
    const NSNumber* number = dynamic_objc_cast<NSNumber>(other);
    return number != nullptr && isEqualToNumber(number);
}

NSUInteger NSNumber::hash() const {
    const double value = doubleValue();
    if (value == std::floor(value) && std::fabs(value) < 9.0e18) {
        return static_cast<NSUInteger>(static_cast<long long>(value));
    }
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return static_cast<NSUInteger>(bits);
}

NSString* NSNumber::description() const {
    if (!real_) {
        return NSString::stringWithFormat("%lld", integer_);
    }
    // The shortest text that reads back as the same double.
    char buffer[64];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, double_);
        if (std::strtod(buffer, nullptr) == double_) {
            break;
        }
    }
    return NSString::stringWithUTF8String(buffer);
}
