// Compiled with the system's include roots: the out-parameter a holder hands to a Copy call is
// the only way to fill it, so asking for one and dropping it does not compile.
#include <Foundation/Foundation.h>
#include <RetainPtr.h>

void dropOutParameter() {
    RetainPtr<CFTypeRef> value;
    value.initializeInto();
}
