// The entry point: everything is the application framework's, from the main interface file to
// the main run loop.
#include <AppKit/NSApplication.h>

int main(int argc, char* argv[]) {
    return NSApplicationMain(argc, const_cast<const char**>(argv));
}
