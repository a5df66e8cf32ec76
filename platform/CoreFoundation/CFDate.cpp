#include "CoreFoundation/CFDate.h"

#include <cmath>
#include <cstdint>

#include "Foundation/NSDate.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;

// Days since 0000-03-01 of a civil date, and back: whole 400-year eras, then the day within
// the era, with years that start in March so that the leap day comes last.
constexpr std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

constexpr std::int64_t kReferenceDay = daysFromCivil(2001, 1, 1);

void civilFromDays(std::int64_t days, std::int64_t* year, int* month, int* day) {
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    *month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
}

}  // namespace

CFTypeID CFDateGetTypeID() {
    return kCFDateTypeID;
}

CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime at) {
    return NSDate::createWithTimeIntervalSinceReferenceDate(at);
}

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef date) {
    return date->timeIntervalSinceReferenceDate();
}

CFGregorianDate CFAbsoluteTimeGetGregorianDate(CFAbsoluteTime at, CFTimeZoneRef) {
    const double days = std::floor(at / kSecondsPerDay);
    // Beyond about ±5.8 million years the year leaves SInt32.
    if (!std::isfinite(days) || std::fabs(days) > 2.0e9) {
        return {2001, 1, 1, 0, 0, 0};
    }
    double secondOfDay = at - days * kSecondsPerDay;
    if (secondOfDay >= kSecondsPerDay) {  // rounding at the last fraction of a day
        secondOfDay = std::nextafter(kSecondsPerDay, 0.0);
    }
    std::int64_t year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(static_cast<std::int64_t>(days) + kReferenceDay, &year, &month, &day);
    const auto wholeSeconds = static_cast<int>(secondOfDay);
    return {static_cast<SInt32>(year),
            static_cast<SInt8>(month),
            static_cast<SInt8>(day),
            static_cast<SInt8>(wholeSeconds / 3600),
            static_cast<SInt8>(wholeSeconds / 60 % 60),
            secondOfDay - (wholeSeconds / 60) * 60.0};
}

CFAbsoluteTime CFGregorianDateGetAbsoluteTime(CFGregorianDate date, CFTimeZoneRef) {
    // Months beyond 1-12 carry into the year.
    std::int64_t year = date.year;
    std::int64_t month = date.month - 1;
    year += month >= 0 ? month / 12 : (month - 11) / 12;
    month -= (month >= 0 ? month / 12 : (month - 11) / 12) * 12;
    const std::int64_t days =
        daysFromCivil(year, static_cast<int>(month) + 1, 1) - kReferenceDay + date.day - 1;
    return static_cast<double>(days) * kSecondsPerDay + date.hour * 3600.0 + date.minute * 60.0 +
           date.second;
}
