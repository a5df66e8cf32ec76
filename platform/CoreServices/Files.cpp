#include "CoreServices/Files.h"

#include "CoreServices/FileReferencesInternal.h"
#include "Foundation/NSAutoreleasePool.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"

Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef) {
    if (sim::failCall<"CFURLGetFSRef">() || url == nullptr || fsRef == nullptr ||
        !url->isFileURL()) {
        return false;
    }
    std::string path;
    {
        NSAutoreleasePool pool;
        path = url->path()->utf8();
    }
    // A file reference names only something that exists.
    if (!sim::fileSystemExists(path)) {
        return false;
    }
    frameworks::fillFileReference(path, fsRef);
    return true;
}
