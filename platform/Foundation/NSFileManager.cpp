#include "Foundation/NSFileManager.h"

#include "Foundation/NSString.h"
#include "sim/DisplayName.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"

NSFileManager* NSFileManager::defaultManager() {
    static NSFileManager* const manager = new NSFileManager();
    return manager;
}

NSString* NSFileManager::displayNameAtPath(const NSString* path) {
    if (sim::failCall<"displayNameAtPath">() || path == nullptr) {
        return nil;
    }
    return autorelease(NSString::create(sim::displayNameForPath(path->units())));
}

bool NSFileManager::fileExistsAtPath(const NSString* path) {
    return path != nullptr && sim::fileSystemExists(path->utf8());
}
