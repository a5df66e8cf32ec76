// Property-list files that the session keeps in the home folder on the user's behalf (the
// preferences, the login-item list), shared with every other process of the same home:
//
// - A change is made under the file's lock (StoredFileLock.h): the file is read afresh, the
//   change applied to what it holds now, and the result written; so two processes that change
//   the same file each keep the other's changes.
// - A file whose content cannot be read is never overwritten. It is moved aside beside itself
//   and reported, and the reader starts empty, so that what the user stored is kept and the
//   session goes on.
// - A file that cannot be read at the moment (too many open files, no memory, an I/O error) is
//   left where it is and reported; nothing is written over it until a later change reads it.
// - A change whose lock cannot be taken is not written, and the reason names what is in the
//   way.
// - Temporary files of writes that were cut short (the writer killed mid-write) are removed
//   when the file is first read, under the lock, once their writer has gone.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Foundation/Foundation.h"
#include "RetainPtr.h"

namespace frameworks {

struct SetAsideFile {
    std::string path;    // where the file was
    std::string keptAs;  // where it is now; empty when it could not be moved and stays in place
    std::string reason;  // why it could not be read
};

struct StoredFileRead {
    RetainPtr<CFTypeRef> root;  // null when the file is missing, was set aside or is unavailable
    // False when the file stays where it is without having been read (it cannot be read now,
    // or it is unreadable and cannot be moved aside): nothing may be written there now, and
    // `problem` says why.
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

struct StoredFileUpdate {
    bool written = false;
    // Why nothing was written, ready to show ("Library/Preferences/x.plist cannot be written:
    // …"); empty when the change needed no write.
    std::string error;
    // What the file holds now: what was written, or what was read when nothing was.
    RetainPtr<CFTypeRef> root;
};

// Makes the new content from what the file holds now (null: missing, or just set aside). A
// null answer writes nothing: a failure when it sets `reason`, no change needed otherwise.
using StoredFileChange =
    std::function<RetainPtr<CFTypeRef>(CFTypeRef current, std::string* reason)>;

// Reads the file afresh under its lock (setting it aside as readStoredPropertyList does when it
// cannot be read), makes the new content with `change` and writes it, all before another
// process may change the file.
StoredFileUpdate updateStoredPropertyList(const std::string& path, const std::string& what,
                                          const StoredContentCheck& check,
                                          const StoredFileChange& change);

// The unreadable files found since the home folder was last pointed somewhere.
std::vector<SetAsideFile> setAsideFiles();

}  // namespace frameworks
