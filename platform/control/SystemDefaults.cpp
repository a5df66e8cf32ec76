// The session's control of the system's own preference domain: a boolean stored as an earlier
// run would have left it, and the standard user defaults' answer for a key.
#include "Foundation/NSUserDefaultsInternal.h"
#include "Foundation/PreferenceDomainInternal.h"
#include "RetainPtr.h"
#include "control/SystemProcess.h"

namespace sim {

using namespace frameworks;

bool storeSystemDefault(const std::string& key, bool value, std::string* error) {
    const RetainPtr<CFStringRef> keyString = adoptCF<CFStringRef>(NSString::createWithUTF8(key));
    // Through the domain the running defaults read, so memory and file agree; a value the file
    // cannot take is not kept.
    PreferenceDomain::Change change = applicationDomain().setValue(
        keyString.get(), value ? kCFBooleanTrue : kCFBooleanFalse, /*keepUnstored=*/false);
    if (!change.stored && error != nullptr) {
        *error = std::move(change.error);
    }
    return change.stored;
}

std::optional<bool> systemDefault(const std::string& key) {
    const RetainPtr<CFStringRef> keyString = adoptCF<CFStringRef>(NSString::createWithUTF8(key));
    CFTypeRef value = userDefaultsValue(keyString.get());
    if (value == nullptr) {
        return std::nullopt;
    }
    return userDefaultsBool(value);
}

}  // namespace sim
