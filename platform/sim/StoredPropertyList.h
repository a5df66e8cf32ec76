// Property-list files that the session keeps in the home folder on the user's behalf (the
// preferences, the login-item list), and what happens to one that cannot be read: it is never
// overwritten. It is moved aside beside itself and reported, and the reader starts empty, so
// that what the user stored is kept and the session goes on.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Foundation/Foundation.h"
#include "RetainPtr.h"

namespace sim {

struct SetAsideFile {
    std::string path;    // where the file was
    std::string keptAs;  // where it is now; empty when it could not be moved and stays in place
    std::string reason;  // why it could not be read
};

struct StoredFileRead {
    RetainPtr<CFTypeRef> root;  // null when the file is missing or was set aside
    // False when an unreadable file could not be moved aside and stays where it is: the
    // caller must not write that path, and `problem` says why.
    bool writable = true;
    std::string problem;
};

// Checks what a file holds; false, with the reason, when the content is not what it should be.
using StoredContentCheck = std::function<bool(CFTypeRef root, std::string* reason)>;

// Reads a stored property list. A file that cannot be read, or whose content `check` refuses,
// is moved to "<name>.unreadable" (or "<name>.unreadable-2", …) in the same folder, reported
// in the transcript under `what` ("preferences file", …) and listed by setAsideFiles(); the
// read then answers nothing, as for a missing file.
StoredFileRead readStoredPropertyList(const std::string& path, const std::string& what,
                                      const StoredContentCheck& check);

// The unreadable files found since the home folder was last pointed somewhere.
std::vector<SetAsideFile> setAsideFiles();

}  // namespace sim
