// The two encodings of a property list, XML and binary ("bplist00"), read into objects of the
// model and written from them. Readers never recurse and never follow more than the limits of
// CFPropertyListInternal.h, whatever the bytes claim; writers take a property list that
// checkPropertyList (CFPropertyList.cpp) has accepted.
#pragma once

#include <string>
#include <string_view>

#include "CoreFoundation/CoreFoundation.h"
#include "RetainPtr.h"

namespace frameworks {

// True when the bytes start as a binary property list does.
bool hasBinaryPropertyListHeader(std::string_view bytes);

// The object the bytes describe, or null with the reason. Containers come back mutable.
RetainPtr<CFTypeRef> readBinaryPropertyList(std::string_view bytes, std::string* error);
RetainPtr<CFTypeRef> readXMLPropertyList(std::string_view text, std::string* error);

std::string binaryPropertyList(CFTypeRef root);
std::string xmlPropertyList(CFTypeRef root);

// Where a value lies, for error messages: "at the top", "at Outer/When", "at List/3".
std::string describeLocation(const std::string& location);
std::string childLocation(const std::string& location, const std::string& name);

}  // namespace frameworks
