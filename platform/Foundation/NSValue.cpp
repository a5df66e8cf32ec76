#include "Foundation/NSValue.h"

#include <climits>
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

NSNumber* NSNumber::createWithUnsignedLongLong(unsigned long long value) {
    NSNumber* number = new NSNumber(static_cast<long long>(value));
    number->unsigned_ = value > static_cast<unsigned long long>(LLONG_MAX);
    return number;
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

NSNumber* NSNumber::numberWithUnsignedLongLong(unsigned long long value) {
    return autorelease(createWithUnsignedLongLong(value));
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

unsigned long long NSNumber::unsignedLongLongValue() const {
    if (real_ && double_ >= 9.2233720368547758e18 && double_ < 1.8446744073709552e19) {
        return static_cast<unsigned long long>(double_);
    }
    return static_cast<unsigned long long>(longLongValue());
}

double NSNumber::doubleValue() const {
    if (real_) {
        return double_;
    }
    return unsigned_ ? static_cast<double>(static_cast<unsigned long long>(integer_))
                     : static_cast<double>(integer_);
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
        return integer_ == other->integer_ && unsigned_ == other->unsigned_;
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
    if (unsigned_) {
        return NSString::stringWithFormat("%llu", static_cast<unsigned long long>(integer_));
    }
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
