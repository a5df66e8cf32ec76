// The standard folders of the session: the user's inside the session's home folder, the
// others at their places on macOS.
#include "Foundation/NSPathUtilities.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "RetainPtr.h"
#include "sim/Faults.h"
#include "sim/HomeFolder.h"

namespace {

struct DomainFolder {
    NSSearchPathDomainMask domain;
    std::optional<std::string> folder;  // user domain: relative to the home folder
};

// The folder of `directory` in each domain, in the order the platform answers them: user,
// local, network, system.
std::vector<DomainFolder> foldersOf(NSSearchPathDirectory directory) {
    switch (directory) {
        case NSApplicationDirectory:
            return {{NSUserDomainMask, "Applications"},
                    {NSLocalDomainMask, "/Applications"},
                    {NSNetworkDomainMask, "/Network/Applications"},
                    {NSSystemDomainMask, "/System/Applications"}};
        case NSLibraryDirectory:
            return {{NSUserDomainMask, "Library"},
                    {NSLocalDomainMask, "/Library"},
                    {NSNetworkDomainMask, "/Network/Library"},
                    {NSSystemDomainMask, "/System/Library"}};
        case NSApplicationSupportDirectory:
            return {{NSUserDomainMask, "Library/Application Support"},
                    {NSLocalDomainMask, "/Library/Application Support"},
                    {NSNetworkDomainMask, "/Network/Library/Application Support"},
                    {NSSystemDomainMask, std::nullopt}};
        case NSPreferencePanesDirectory:
            return {{NSUserDomainMask, "Library/PreferencePanes"},
                    {NSLocalDomainMask, "/Library/PreferencePanes"},
                    {NSNetworkDomainMask, "/Network/Library/PreferencePanes"},
                    {NSSystemDomainMask, "/System/Library/PreferencePanes"}};
        default:
            return {};
    }
}

std::vector<std::string> pathsFor(NSSearchPathDirectory directory,
                                  NSSearchPathDomainMask domainMask, BOOL expandTilde) {
    std::vector<std::string> paths;
    for (const DomainFolder& entry : foldersOf(directory)) {
        if ((entry.domain & domainMask) == 0 || !entry.folder) {
            continue;
        }
        if (entry.domain == NSUserDomainMask) {
            paths.push_back((expandTilde ? sim::homeFolder() : std::string("~")) + "/" +
                            *entry.folder);
        } else {
            paths.push_back(*entry.folder);
        }
    }
    return paths;
}

}  // namespace

NSArray* NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                             NSSearchPathDomainMask domainMask, BOOL expandTilde) {
    std::vector<std::string> paths;
    if (const auto status = sim::faultFor<"NSSearchPathForDirectoriesInDomains">()) {
        // An injected answer: as many folders as the status says, taken from every domain.
        paths = pathsFor(directory, NSAllDomainsMask, expandTilde);
        paths.resize(std::min<std::size_t>(
            paths.size(), static_cast<std::size_t>(std::max<std::int32_t>(*status, 0))));
    } else {
        paths = pathsFor(directory, domainMask, expandTilde);
    }
    NSMutableArray* result = NSMutableArray::array();
    for (const std::string& path : paths) {
        const RetainPtr<CFStringRef> string = adoptCF<CFStringRef>(NSString::createWithUTF8(path));
        result->addObject(string.get());
    }
    return result;
}

NSString* NSHomeDirectory() {
    return NSObject::autorelease(NSString::createWithUTF8(sim::homeFolder()));
}
