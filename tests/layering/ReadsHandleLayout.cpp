// Compiled with the system's include roots: a handle the frameworks give out is opaque, so what
// an element holds cannot be read through it (its layout lies in an internal header).
#include <ApplicationServices/ApplicationServices.h>

pid_t pidInsideElement(AXUIElementRef element) {
    return element->pid_;
}
