// Compiled with the system's include roots: the tools that drive a session are out of the
// system's reach.
#include <DesktopScript/DesktopScript.h>
