// The session's control of the user's login-item list: what it holds, and entries appended as
// an earlier run or another program would have left them.
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

}  // namespace sim
