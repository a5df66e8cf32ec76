// The checked cast to Foundation classes: dynamic_objc_cast<NSString>(value) answers the value
// as an NSString when it is of that class or a subclass (as isKindOfClass: answers it), and
// null for null or an object of any other class. The boolean constants are NSNumbers.
//
//     if (NSNumber* pid = dynamic_objc_cast<NSNumber>(entry)) { … }
#pragma once

#include <type_traits>

#include "Foundation/NSObject.h"

template <class T>
T* dynamic_objc_cast(id object) {
    static_assert(std::is_base_of_v<NSObject, T>, "casts to classes of the model only");
    return dynamic_cast<T*>(object);
}

template <class T>
const T* dynamic_objc_cast(const NSObject* object) {
    static_assert(std::is_base_of_v<NSObject, T>, "casts to classes of the model only");
    return dynamic_cast<const T*>(object);
}
