// The session's control of the user's login-item list: what it holds, and entries appended as
// an earlier run or another program would have left them.
#include <algorithm>

#include "CoreFoundation/CFStringInternal.h"
#include "CoreServices/LoginItemListInternal.h"
#include "control/SystemProcess.h"
#include "sim/DisplayName.h"

namespace sim {

using namespace frameworks;

std::vector<LoginItemEntry> loginItems() {
    std::vector<LoginItemEntry> result;
    for (const LoginItemRecord& record : loginItemList().entries()) {
        LoginItemEntry entry;
        entry.path = pathOfFileURL(record.url);
        entry.resolvable = record.resolvable;
        entry.displayName =
            utf8FromUTF16(record.displayName.empty() ? displayNameForPath(utf16FromUTF8(entry.path))
                                                     : record.displayName);
        entry.hasIcon = !record.iconPath.empty();
        result.push_back(std::move(entry));
    }
    return result;
}

bool appendLoginItem(const LoginItemEntry& entry, std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    if (entry.path.empty() || entry.path.front() != '/') {
        reason = "a login item needs an absolute path, not \"" + entry.path + "\"";
        return false;
    }
    LoginItemRecord record;
    record.url = folderURLText(entry.path);
    record.resolvable = entry.resolvable;
    record.displayName = entry.displayName.empty() ? displayNameForPath(utf16FromUTF8(entry.path))
                                                   : utf16FromUTF8(entry.displayName);
    if (entry.hasIcon) {
        record.iconPath = utf16FromUTF8(entry.path);
    }
    return loginItemList().insert(LoginItemPosition{}, std::move(record), &reason) != 0;
}

namespace {

// A folder's path as the list's URLs give it back, without a trailing slash.
std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

bool loginItemListed(const std::string& path) {
    const std::vector<LoginItemEntry> entries = loginItems();
    return std::any_of(entries.begin(), entries.end(), [&](const LoginItemEntry& entry) {
        return entry.resolvable && withoutTrailingSlash(entry.path) == withoutTrailingSlash(path);
    });
}

// The list itself reports what it cannot write.
void setLoginItem(const std::string& path, bool listed) {
    std::string error;
    if (listed) {
        if (!loginItemListed(path)) {
            appendLoginItem(LoginItemEntry{path, true, {}, true}, &error);
        }
        return;
    }
    // Copied: each removal changes the list the loop would walk.
    const std::vector<LoginItemRecord> entries = loginItemList().entries();
    for (const LoginItemRecord& entry : entries) {
        if (entry.resolvable &&
            withoutTrailingSlash(pathOfFileURL(entry.url)) == withoutTrailingSlash(path) &&
            !loginItemList().remove(entry.id, &error)) {
            return;
        }
    }
}

}  // namespace sim
