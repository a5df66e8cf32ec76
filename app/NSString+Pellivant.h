// The string category NSString(Pellivant).
#pragma once

#include <Foundation/Foundation.h>

// -[NSString(Pellivant) replaceStringWithOldString:newString:], with the receiver as the first
// argument: a new mutable copy of `receiver` (autoreleased) in which the first occurrence of
// `oldString`, found without regard to letter case, is replaced by `newString`. The receiver
// is not changed; an empty or absent `oldString` leaves the copy equal to it. Both strings
// must not be nil.
NSMutableString* replaceStringWithOldString(const NSString* receiver, const NSString* oldString,
                                            const NSString* newString);
