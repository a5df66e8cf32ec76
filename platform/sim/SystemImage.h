// The system's own code as an image loaded for one launch: each launch of the system loads it
// afresh, with every static as at program start, and the end of the process unloads it, as an
// exec and an exit would. Without an image path the system's code is linked into the program
// (the system's tests) and stays.
#pragma once

#include <string>

namespace sim {

// Loads the image for a launch; false, with the reason, when it cannot be loaded. Nothing to
// do while no image path is set.
bool loadSystemImage(std::string* error);
// Ends the loaded image as the end of its process would: its static destructors run, every
// reference its static memory still holds to an object of the model is let go (the memory is
// gone with the process), the classes it registered are forgotten, and it is unloaded.
void unloadSystemImage();

}  // namespace sim
