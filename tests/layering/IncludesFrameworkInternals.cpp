// Compiled with the system's include roots: the layouts behind the frameworks' handles are out
// of the system's reach.
#include <CoreFoundation/CFRunLoopInternal.h>
