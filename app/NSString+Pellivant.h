// The string category NSString(Pellivant).
#pragma once

#include <Foundation/Foundation.h>

// -[NSString(Pellivant) replaceStringWithOldString:newString:], with the receiver as the first
// argument: a new mutable copy of `receiver` (autoreleased) in which the first occurrence of
// `oldString`, found without regard to letter case and matching canonically equivalent
// characters, is replaced by `newString`. The receiver is not changed. A nil receiver answers
// nil, as a message to nil does; a nil, empty or absent `oldString`, or a nil `newString`,
// leaves the copy equal to the receiver.
NSMutableString* replaceStringWithOldString(const NSString* receiver, const NSString* oldString,
                                            const NSString* newString);
