// Property lists, as files and as objects of the model: strings, integers, reals, booleans,
// arrays and dictionaries with string keys. Files are read in XML or binary form and written
// as XML that ordinary plist tools read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Foundation/Foundation.h"
#include "RetainPtr.h"

namespace sim {

// The object that property-list bytes (XML or binary) describe, or null with the reason.
// Arrays and dictionaries come back mutable (NSMutableArray, NSMutableDictionary), so a
// caller can change what it read without copying it.
RetainPtr<CFTypeRef> propertyListFromBytes(std::string_view bytes, std::string* error);

// The XML text of a property list, or nullopt with the reason when `root` holds something a
// property list cannot hold (another kind of object, a key that is not a string, a string
// with a NUL character).
std::optional<std::string> xmlFromPropertyList(CFTypeRef root, std::string* error);

// True when `object` is something a property list can hold; otherwise false with the reason.
bool isPropertyList(CFTypeRef object, std::string* error);

// A deep copy of a property list (mutable containers), or null with the reason.
RetainPtr<CFTypeRef> copyPropertyList(CFTypeRef object, std::string* error);

struct PropertyListFile {
    enum class Status { Read, Missing, Unreadable };
    Status status = Status::Missing;
    RetainPtr<CFTypeRef> root;  // when Read
    std::string error;          // when Unreadable: why, without the path
};
// Reads the property list at `path`. A missing file is no error; the caller decides what it
// means (usually an empty list or domain).
PropertyListFile readPropertyListFile(const std::string& path);

// Writes `root` to `path` so that no reader ever sees a half-written file and a crash leaves
// either the old or the new file: a temporary file in the same folder is written, flushed to
// the disk and renamed over `path`, then the folder itself is flushed. Missing folders are
// made. False, with the reason, when nothing was replaced.
bool writePropertyListFile(const std::string& path, CFTypeRef root, std::string* error);

}  // namespace sim
