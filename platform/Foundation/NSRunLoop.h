// Foundation's names of the run-loop modes: the same strings as kCFRunLoopDefaultMode and
// kCFRunLoopCommonModes (CoreFoundation/CFRunLoop.h).
#pragma once

#include "CoreFoundation/CFString.h"

extern const CFStringRef NSDefaultRunLoopMode;
extern const CFStringRef NSRunLoopCommonModes;
