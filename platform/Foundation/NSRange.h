// A range of indexes, as strings and arrays take it.
#pragma once

#include "Foundation/NSObject.h"

struct NSRange {
    NSUInteger location;
    NSUInteger length;
};
inline NSRange NSMakeRange(NSUInteger location, NSUInteger length) {
    return {location, length};
}
