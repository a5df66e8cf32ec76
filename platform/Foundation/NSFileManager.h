// The file manager: what the user sees of files.
#pragma once

#include "CoreFoundation/CoreFoundation.h"
#include "Foundation/NSObject.h"

class NSFileManager : public NSObject {
public:
    static NSFileManager* defaultManager();

    // The name under which the Finder shows the item: its last path component, without the
    // extension of an application bundle.
    NSString* displayNameAtPath(const NSString* path);
    bool fileExistsAtPath(const NSString* path);

private:
    NSFileManager() : NSObject(Immortal{}) {}
};
