// Dates: points in time as seconds since the reference date, 2001-01-01 00:00:00 UTC.
// CFDateRef and NSDate* (Foundation/NSDate.h) name the same object. Gregorian calendar fields
// are computed in UTC (the only time zone the session has), over the whole range of a double.
#pragma once

#include "CoreFoundation/CFBase.h"

class NSDate;
using CFDateRef = const NSDate*;

// Seconds from 1970-01-01 to the reference date.
inline constexpr CFTimeInterval kCFAbsoluteTimeIntervalSince1970 = 978307200.0;

// Only the null time zone exists: UTC.
struct __CFTimeZone;
using CFTimeZoneRef = const __CFTimeZone*;

struct CFGregorianDate {
    SInt32 year;
    SInt8 month;    // 1-12
    SInt8 day;      // 1-31
    SInt8 hour;     // 0-23
    SInt8 minute;   // 0-59
    double second;  // 0 up to (not including) 60
};

CFTypeID CFDateGetTypeID();
CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at);
CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef date);
// The calendar fields of a time, in UTC. A time whose year does not fit in SInt32 (or that is
// not a number) answers the fields of the reference date.
CFGregorianDate CFAbsoluteTimeGetGregorianDate(CFAbsoluteTime at, CFTimeZoneRef zone);
// The time of calendar fields in UTC; fields beyond their range carry over (month 13 is January
// of the next year).
CFAbsoluteTime CFGregorianDateGetAbsoluteTime(CFGregorianDate date, CFTimeZoneRef zone);
