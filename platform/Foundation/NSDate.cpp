#include "Foundation/NSDate.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "Foundation/NSString.h"
#include "TypeCastsCocoa.h"

NSDate* NSDate::createWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds) {
    return new NSDate(seconds);
}

NSDate* NSDate::dateWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds) {
    return autorelease(createWithTimeIntervalSinceReferenceDate(seconds));
}

NSDate* NSDate::dateWithTimeIntervalSince1970(NSTimeInterval seconds) {
    return dateWithTimeIntervalSinceReferenceDate(seconds - kCFAbsoluteTimeIntervalSince1970);
}

bool NSDate::isEqualToDate(const NSDate* other) const {
    return other != nullptr && other->seconds_ == seconds_;
}

bool NSDate::isEqual(const NSObject* other) const {
    return isEqualToDate(dynamic_objc_cast<NSDate>(other));
}

NSUInteger NSDate::hash() const {
    // Equal dates hash alike, 0 and -0 included.
    const double seconds = seconds_ == 0 ? 0.0 : seconds_;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &seconds, sizeof bits);
    return static_cast<NSUInteger>(bits);
}

NSString* NSDate::description() const {
    const CFGregorianDate date = CFAbsoluteTimeGetGregorianDate(seconds_, nullptr);
    return NSString::stringWithFormat("%04d-%02d-%02d %02d:%02d:%02d +0000", date.year, date.month,
                                      date.day, date.hour, date.minute,
                                      static_cast<int>(std::floor(date.second)));
}
