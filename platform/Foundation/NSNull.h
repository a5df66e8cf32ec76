// The null object, for places that hold an object but have none to hold. NSNull* and CFNullRef
// (CoreFoundation/CFNumber.h) name the same object.
#pragma once

#include "CoreFoundation/CFNumber.h"
#include "Foundation/NSObject.h"

class NSNull : public NSObject {
public:
    // The one null object.
    static NSNull* null();

    CFTypeID typeID() const override { return kCFNullTypeID; }
    NSString* description() const override;
    static Class class_() { return classOf<NSNull>("NSNull"); }

private:
    NSNull() : NSObject(Immortal{}) {}
};
