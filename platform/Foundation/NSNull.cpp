#include "Foundation/NSNull.h"

#include "Foundation/NSString.h"

NSNull* NSNull::null() {
    static NSNull* const instance = new NSNull();
    return instance;
}

NSString* NSNull::description() const {
    return bridge(CFSTR("<null>"));
}
