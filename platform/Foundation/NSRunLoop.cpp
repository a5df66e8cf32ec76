#include "Foundation/NSRunLoop.h"

// Made from the same literals as the CF names, so they are the very same constants whatever the
// order in which the two are initialised.
const CFStringRef NSDefaultRunLoopMode = CFStringMakeConstant("kCFRunLoopDefaultMode");
const CFStringRef NSRunLoopCommonModes = CFStringMakeConstant("kCFRunLoopCommonModes");
