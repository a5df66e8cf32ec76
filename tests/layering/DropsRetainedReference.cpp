// Compiled with the system's include roots: retainPtr takes a reference, so dropping the holder
// it makes unused does not compile.
#include <Foundation/Foundation.h>
#include <RetainPtr.h>

void dropRetained(CFStringRef borrowed) {
    retainPtr(borrowed);
}
