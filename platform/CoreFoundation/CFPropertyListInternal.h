// Property lists, as files and as objects of the model: strings, integers (signed 64-bit, and
// unsigned up to 2^64 - 1), reals, booleans, dates, data, arrays and dictionaries with string
// keys. Files are read in XML or binary form and written as XML that ordinary plist tools read,
// or binary when XML would change a value.
//
// Reader and writer agree: what one refuses, the other refuses too. Neither holds a string or
// key with a NUL character (XML cannot carry one, and C-string interfaces on every side cut
// it), nesting deeper than kPropertyListMaxNesting, more than kPropertyListMaxValues values,
// or a file larger than kPropertyListMaxBytes. The limits bound the time and memory a read
// takes whatever a file holds: the largest preference domains in use are far smaller.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "Foundation/Foundation.h"
#include "RetainPtr.h"

namespace frameworks {

// Containers inside containers; the top value is at depth 0.
inline constexpr std::size_t kPropertyListMaxNesting = 512;
// Values a file may describe once every shared reference is followed (keys count as values).
inline constexpr std::size_t kPropertyListMaxValues = std::size_t{1} << 20;
inline constexpr std::size_t kPropertyListMaxBytes = std::size_t{16} << 20;

// The object that property-list bytes (XML or binary) describe, or null with the reason. This
// is the whole of the reading path: files go through it after they are read. Arrays and
// dictionaries come back mutable (NSMutableArray, NSMutableDictionary), so a caller can change
// what it read without copying it.
RetainPtr<CFTypeRef> propertyListFromBytes(std::string_view bytes, std::string* error);

// True when `object` is something a property list can hold; otherwise false with the reason
// (another kind of object, a key that is not a string, a string with a NUL character, nesting
// or a size beyond the limits).
bool isPropertyList(CFTypeRef object, std::string* error);

// The XML or binary bytes of a property list, or nullopt with the reason (as isPropertyList).
// XML cannot carry every value unchanged (control characters, fractions of a second): see
// writePropertyListFile for the choice between the two.
std::optional<std::string> xmlFromPropertyList(CFTypeRef root, std::string* error);
std::optional<std::string> binaryFromPropertyList(CFTypeRef root, std::string* error);

// A deep copy of a property list (mutable containers; immutable values shared), or null with
// the reason.
RetainPtr<CFTypeRef> copyPropertyList(CFTypeRef object, std::string* error);

struct PropertyListFile {
    // Unreadable: the content is not a property list here (or no regular file holds it);
    // Unavailable: it could not be read now (no file descriptor, no memory, an I/O error, no
    // permission), which says nothing of what it holds.
    enum class Status { Read, Missing, Unreadable, Unavailable };
    Status status = Status::Missing;
    RetainPtr<CFTypeRef> root;  // when Read
    std::string error;          // when Unreadable or Unavailable: why, without the path
};
// Reads the property list at `path`. A missing file is no error; the caller decides what it
// means (usually an empty list or domain). What is not a regular file (a folder, a named pipe,
// a device) is unreadable, found so without waiting on it.
PropertyListFile readPropertyListFile(const std::string& path);

// Writes `root` to `path` so that no reader ever sees a half-written file and a crash leaves
// either the old or the new file: a temporary file ".<name>.tmp.<pid>.<n>" in the same folder
// is written, flushed to the disk and renamed over `path`, then the folder itself is flushed.
// Missing folders are made. The file is XML unless XML cannot carry a value unchanged; then it
// is binary. False, with the reason, when nothing was replaced.
bool writePropertyListFile(const std::string& path, CFTypeRef root, std::string* error);

// The start of the names of the temporary files that writes of `fileName` make:
// ".<fileName>.tmp.", followed by the writer's process id, a dot and a number.
std::string temporaryFilePrefix(const std::string& fileName);

}  // namespace frameworks
