// Numbers and the booleans. NSNumber* and CFNumberRef (CoreFoundation/CFNumber.h) name the same
// object; kCFBooleanTrue and kCFBooleanFalse are numbers of the boolean class below.
#pragma once

#include "CoreFoundation/CFNumber.h"
#include "Foundation/NSObject.h"

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
