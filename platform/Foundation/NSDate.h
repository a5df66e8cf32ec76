// Dates: points in time as seconds since the reference date, 2001-01-01 00:00:00 UTC. NSDate*
// and CFDateRef (CoreFoundation/CFDate.h) name the same object.
#pragma once

#include "CoreFoundation/CFDate.h"
#include "Foundation/NSObject.h"

class NSDate : public NSObject {
public:
    static NSDate* createWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds);  // +1
    static NSDate* dateWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds);
    static NSDate* dateWithTimeIntervalSince1970(NSTimeInterval seconds);

    NSTimeInterval timeIntervalSinceReferenceDate() const { return seconds_; }
    NSTimeInterval timeIntervalSince1970() const {
        return seconds_ + kCFAbsoluteTimeIntervalSince1970;
    }
    bool isEqualToDate(const NSDate* other) const;

    CFTypeID typeID() const override { return kCFDateTypeID; }
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override;
    // "2001-01-01 00:00:00 +0000"
    NSString* description() const override;
    static Class class_() { return classOf<NSDate>("NSDate"); }

private:
    explicit NSDate(NSTimeInterval seconds) : seconds_(seconds) {}

    NSTimeInterval seconds_;
};
