// The reading path of the property lists the session keeps for the user, on any bytes: the
// bytes as a property list (XML or binary), then as the preferences file or the login-item
// list read by the session from its home folder, with the content checks and the setting aside
// of an unreadable file. Which of the two follows the parity of the length, so that every seed
// is a whole property list. Besides crashes, leaks and undefined behaviour: what the reader
// takes, the writer can store.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreServices/LoginItemListInternal.h"
#include "Foundation/PreferenceDomainInternal.h"
#include "FuzzCheck.h"
#include "control/SystemProcess.h"
#include "sim/Desktop.h"

namespace {

long gBaseline = 0;
std::string gHome;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
    sim::reset();
    // A home of its own, in memory where there is a memory file system.
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "quenfold-fuzz-XXXXXX").string();
    fuzzRequire(::mkdtemp(pattern.data()) != nullptr, "a home folder can be made");
    gHome = pattern;
    sim::setHomeFolder(gHome);
    gBaseline = NSObjectLiveCount();
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(gHome, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool loginItems = size % 2 == 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    {
        NSAutoreleasePool pool;
        std::string error;
        const RetainPtr<CFTypeRef> root = frameworks::propertyListFromBytes(bytes, &error);
        fuzzRequire(root || !error.empty(), "a list that does not read says why");
        if (root) {
            fuzzRequire(frameworks::isPropertyList(root.get(), &error),
                        "what the reader takes, the writer can store");
        }

        const std::string path = loginItems ? frameworks::loginItemList().filePath()
                                            : frameworks::applicationDomain().filePath();
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary).write(bytes.data(), std::ssize(bytes));
        sim::setHomeFolder(gHome);  // everything is read afresh
        if (loginItems) {
            sim::loginItems();
        } else {
            frameworks::applicationDomain().copyValues();
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(gHome) / "Library", ignored);
    frameworks::loginItemList().forget();
    frameworks::applicationDomain().forget();
    fuzzRequire(NSObjectLiveCount() == gBaseline, "reading a stored list leaves nothing alive");
    return 0;
}
