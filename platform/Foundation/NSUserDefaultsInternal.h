// The standard user defaults' search, for the session's own use (no object is autoreleased).
#pragma once

#include "Foundation/Foundation.h"

namespace frameworks {

// The value of the first domain that holds `key` (argument, application, registration),
// borrowed; null when none does.
CFTypeRef userDefaultsValue(CFStringRef key);

// How boolForKey reads a value: a number other than 0, or a string that reads as YES.
bool userDefaultsBool(CFTypeRef value);

// Sets `key` of the application's domain as a control bound to it does: the value is written,
// or, when the file refuses it, nothing changes (the refusal is in the story), so that the
// control goes on showing what is stored.
void setBoundUserDefault(CFStringRef key, CFTypeRef value);

}  // namespace frameworks
