// The interface-file loader on any bytes: read as a property list (XML or binary), then loaded
// with the application object as its owner, as the launch loads the main interface file, and
// let go. Besides crashes and undefined behaviour, every object it made must be gone once the
// session is reset.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "AppKit/InterfaceFileInternal.h"
#include "AppKit/NSApplication.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "FuzzCheck.h"
#include "sim/Desktop.h"

namespace {

long gBaseline = 0;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
    sim::reset();
    gBaseline = NSObjectLiveCount();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        NSAutoreleasePool pool;
        std::string error;
        const RetainPtr<CFTypeRef> root = frameworks::propertyListFromBytes(
            std::string_view(reinterpret_cast<const char*>(data), size), &error);
        if (root) {
            const auto loaded =
                frameworks::loadInterface(root.get(), NSApplication::sharedApplication(), &error);
            fuzzRequire(loaded != nullptr || !error.empty(), "a load that fails says why");
        }
    }
    sim::reset();
    fuzzRequire(NSObjectLiveCount() == gBaseline, "a loaded interface leaves nothing alive");
    return 0;
}
