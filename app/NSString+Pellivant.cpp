#include "NSString+Pellivant.h"

NSMutableString* replaceStringWithOldString(const NSString* receiver, const NSString* oldString,
                                            const NSString* newString) {
    // A message to nil answers nil.
    if (receiver == nullptr) {
        return nullptr;
    }
    NSMutableString* copy = NSMutableString::stringWithString(receiver);
    // With nothing to put in, nothing is taken out: the copy stays equal to the receiver.
    if (newString == nullptr) {
        return copy;
    }
    const NSRange found = copy->rangeOfString(oldString, NSCaseInsensitiveSearch);
    // Nothing found gives a length of 0; the location is not looked at.
    if (found.length != 0) {
        copy->replaceCharactersInRange(found, newString);
    }
    return copy;
}
