#include "CoreFoundation/CFNumber.h"

#include <cstdint>
#include <cstring>

#include "Foundation/NSNull.h"
#include "Foundation/NSValue.h"

CFBooleanRef makeBooleanConstant(bool value) {
    return new CFBoolean(value);
}

const CFBooleanRef kCFBooleanTrue = makeBooleanConstant(true);
const CFBooleanRef kCFBooleanFalse = makeBooleanConstant(false);

const CFNullRef kCFNull = NSNull::null();

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
