// Compiled with the system's include roots: the session model is out of the system's reach.
#include <sim/Desktop.h>
