// Numbers, booleans and null. CFNumberRef and NSNumber* name the same object; the two
// booleans and null are constants.
#pragma once

#include "CoreFoundation/CFBase.h"

class NSNumber;
class CFBoolean;
class NSNull;
using CFNumberRef = const NSNumber*;
using CFBooleanRef = const CFBoolean*;
using CFNullRef = const NSNull*;

enum CFNumberType : CFIndex {
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberCharType = 7,
    kCFNumberShortType = 8,
    kCFNumberIntType = 9,
    kCFNumberLongType = 10,
    kCFNumberLongLongType = 11,
    kCFNumberFloatType = 12,
    kCFNumberDoubleType = 13,
    kCFNumberCFIndexType = 14,
    kCFNumberNSIntegerType = 15,
    kCFNumberCGFloatType = 16,
};

// A signed 64-bit integer, an unsigned one beyond the signed range, or a double.
class NSNumber : public NSObject {
public:
    static NSNumber* createWithLongLong(long long value);                   // +1
    static NSNumber* createWithUnsignedLongLong(unsigned long long value);  // +1
    static NSNumber* createWithDouble(double value);                        // +1

    static NSNumber* numberWithInt(int value);
    static NSNumber* numberWithLong(long value);
    static NSNumber* numberWithLongLong(long long value);
    static NSNumber* numberWithUnsignedLongLong(unsigned long long value);
    static NSNumber* numberWithInteger(NSInteger value);
    static NSNumber* numberWithDouble(double value);
    // One of the two boolean constants.
    static NSNumber* numberWithBool(BOOL value);

    bool isReal() const { return real_; }
    // An integer above LLONG_MAX: longLongValue() answers its bits, as a C conversion would.
    bool isUnsignedBeyondLongLong() const { return unsigned_; }
    int intValue() const;
    long long longLongValue() const;
    unsigned long long unsignedLongLongValue() const;
    NSInteger integerValue() const { return static_cast<NSInteger>(longLongValue()); }
    double doubleValue() const;
    BOOL boolValue() const { return real_ ? double_ != 0 : integer_ != 0; }
    bool isEqualToNumber(const NSNumber* other) const;

    CFTypeID typeID() const override { return kCFNumberTypeID; }
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override;
    NSString* description() const override;
    static Class class_() { return classOf<NSNumber>("NSNumber"); }

protected:
    NSNumber(long long value) : integer_(value) {}
    NSNumber(double value) : real_(true), double_(value) {}
    NSNumber(Immortal tag, long long value) : NSObject(tag), integer_(value) {}

private:
    bool real_ = false;
    bool unsigned_ = false;  // integer_ holds the bits of a value above LLONG_MAX
    long long integer_ = 0;
    double double_ = 0;
};

// The class of kCFBooleanTrue and kCFBooleanFalse: a number whose type id is CFBoolean's.
class CFBoolean : public NSNumber {
public:
    CFTypeID typeID() const override { return kCFBooleanTypeID; }

private:
    friend CFBooleanRef makeBooleanConstant(bool value);
    explicit CFBoolean(bool value) : NSNumber(Immortal{}, value ? 1 : 0) {}
};

class NSNull : public NSObject {
public:
    // The one null object.
    static NSNull* null();

    CFTypeID typeID() const override { return kCFNullTypeID; }
    NSString* description() const override;
    static Class class_() { return classOf<NSNull>("NSNull"); }

private:
    NSNull() : NSObject(Immortal{}) {}
};

extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
extern const CFNullRef kCFNull;

CFTypeID CFNumberGetTypeID();
CFTypeID CFBooleanGetTypeID();
CFTypeID CFNullGetTypeID();
CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType type, const void* value);
CFNumberType CFNumberGetType(CFNumberRef number);
Boolean CFNumberIsFloatType(CFNumberRef number);
// Converts to the requested type; false when the value had to be truncated or rounded.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value);
Boolean CFBooleanGetValue(CFBooleanRef boolean);
