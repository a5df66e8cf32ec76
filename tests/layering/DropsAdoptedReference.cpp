// Compiled with the system's include roots: the holder made by adoptCF owns a +1 reference, so
// dropping it unused does not compile.
#include <Foundation/Foundation.h>
#include <RetainPtr.h>

void dropAdopted() {
    adoptCF(CFStringCreateWithCString(kCFAllocatorDefault, "lost", kCFStringEncodingUTF8));
}
