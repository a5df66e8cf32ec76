// Standard folders of the system, the user and the session.
#pragma once

#include "CoreFoundation/CoreFoundation.h"
#include "Foundation/NSObject.h"

using NSSearchPathDirectory = NSUInteger;
enum : NSSearchPathDirectory {
    NSApplicationDirectory = 1,
    NSLibraryDirectory = 5,
    NSApplicationSupportDirectory = 14,
    NSPreferencePanesDirectory = 22,
};

using NSSearchPathDomainMask = NSUInteger;
enum : NSSearchPathDomainMask {
    NSUserDomainMask = 1,
    NSLocalDomainMask = 2,
    NSNetworkDomainMask = 4,
    NSSystemDomainMask = 8,
    NSAllDomainsMask = 0x0ffff,
};

// The folders for `directory` in each domain of the mask (autoreleased array of paths), in the
// order user, local, network, system; with expandTilde the user's folders are full paths into
// the session's home folder. A fault injected on "NSSearchPathForDirectoriesInDomains" makes it
// answer as many folders as the fault's status (0: none), taken from every domain.
NSArray* NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                             NSSearchPathDomainMask domainMask, BOOL expandTilde);
NSString* NSHomeDirectory();
