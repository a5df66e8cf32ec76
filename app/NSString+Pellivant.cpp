#include "NSString+Pellivant.h"

NSMutableString* replaceStringWithOldString(const NSString* receiver, const NSString* oldString,
                                            const NSString* newString) {
    NSMutableString* copy = NSMutableString::stringWithString(receiver);
    const NSRange found = copy->rangeOfString(oldString, NSCaseInsensitiveSearch);
    // Nothing found gives a length of 0; the location is not looked at.
    if (found.length != 0) {
        copy->replaceCharactersInRange(found, newString);
    }
    return copy;
}
