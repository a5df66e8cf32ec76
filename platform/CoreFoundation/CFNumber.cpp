#include "CoreFoundation/CFNumber.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "CoreFoundation/CFString.h"

CFBooleanRef makeBooleanConstant(bool value) {
    return new CFBoolean(value);
}

const CFBooleanRef kCFBooleanTrue = makeBooleanConstant(true);
const CFBooleanRef kCFBooleanFalse = makeBooleanConstant(false);

NSNull* NSNull::null() {
    static NSNull* const instance = new NSNull();
    return instance;
}

const CFNullRef kCFNull = NSNull::null();

NSString* NSNull::description() const {
    return bridge(CFSTR("<null>"));
}

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
    return static_cast<NSNumber*>(createWithLongLong(value)->autorelease());
}

NSNumber* NSNumber::numberWithUnsignedLongLong(unsigned long long value) {
    return static_cast<NSNumber*>(createWithUnsignedLongLong(value)->autorelease());
}

NSNumber* NSNumber::numberWithDouble(double value) {
    return static_cast<NSNumber*>(createWithDouble(value)->autorelease());
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
    const auto* number = dynamic_cast<const NSNumber*>(other);
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

CFTypeID CFNumberGetTypeID() {
    return kCFNumberTypeID;
}

CFTypeID CFBooleanGetTypeID() {
    return kCFBooleanTypeID;
}

CFTypeID CFNullGetTypeID() {
    return kCFNullTypeID;
}

namespace {

bool isFloatType(CFNumberType type) {
    return type == kCFNumberFloat32Type || type == kCFNumberFloat64Type ||
           type == kCFNumberFloatType || type == kCFNumberDoubleType ||
           type == kCFNumberCGFloatType;
}

template <class T>
bool storeInteger(long long value, void* out) {
    const T converted = static_cast<T>(value);
    std::memcpy(out, &converted, sizeof converted);
    return static_cast<long long>(converted) == value;
}

}  // namespace

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value) {
    switch (type) {
        case kCFNumberSInt8Type:
        case kCFNumberCharType:
            return NSNumber::createWithLongLong(*static_cast<const std::int8_t*>(value));
        case kCFNumberSInt16Type:
        case kCFNumberShortType:
            return NSNumber::createWithLongLong(*static_cast<const std::int16_t*>(value));
        case kCFNumberSInt32Type:
        case kCFNumberIntType:
            return NSNumber::createWithLongLong(*static_cast<const std::int32_t*>(value));
        case kCFNumberSInt64Type:
        case kCFNumberLongLongType:
        case kCFNumberLongType:
        case kCFNumberCFIndexType:
        case kCFNumberNSIntegerType:
            return NSNumber::createWithLongLong(*static_cast<const std::int64_t*>(value));
        case kCFNumberFloat32Type:
        case kCFNumberFloatType:
            return NSNumber::createWithDouble(*static_cast<const float*>(value));
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType:
        case kCFNumberCGFloatType:
            return NSNumber::createWithDouble(*static_cast<const double*>(value));
    }
    return nullptr;
}

CFNumberType CFNumberGetType(CFNumberRef number) {
    return number->isReal() ? kCFNumberFloat64Type : kCFNumberSInt64Type;
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    return number->isReal();
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value) {
    if (isFloatType(type)) {
        const double real = number->doubleValue();
        if (type == kCFNumberFloat32Type || type == kCFNumberFloatType) {
            const auto narrow = static_cast<float>(real);
            std::memcpy(value, &narrow, sizeof narrow);
            return static_cast<double>(narrow) == real;
        }
        std::memcpy(value, &real, sizeof real);
        if (number->isReal()) {
            return true;
        }
        if (number->isUnsignedBeyondLongLong()) {
            return real < 1.8446744073709552e19 &&
                   static_cast<unsigned long long>(real) == number->unsignedLongLongValue();
        }
        return real < 9.2233720368547758e18 &&
               static_cast<long long>(real) == number->longLongValue();
    }
    const long long integer = number->longLongValue();
    // A value beyond the signed range fits none of the signed types.
    const bool exact = !number->isUnsignedBeyondLongLong() &&
                       (!number->isReal() || static_cast<double>(integer) == number->doubleValue());
    switch (type) {
        case kCFNumberSInt8Type:
        case kCFNumberCharType:
            return storeInteger<std::int8_t>(integer, value) && exact;
        case kCFNumberSInt16Type:
        case kCFNumberShortType:
            return storeInteger<std::int16_t>(integer, value) && exact;
        case kCFNumberSInt32Type:
        case kCFNumberIntType:
            return storeInteger<std::int32_t>(integer, value) && exact;
        default:
            return storeInteger<std::int64_t>(integer, value) && exact;
    }
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    return boolean->boolValue();
}
