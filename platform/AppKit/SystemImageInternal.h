// The system's own code as an image loaded for one launch: each launch of the system loads it
// afresh, with every static as at program start, and the end of the process unloads it, as an
// exec and an exit would. Without an image path the system's code is linked into the program
// (the system's tests) and stays.
#pragma once

#include <cstddef>
#include <string>

// The allocator of the image's C++ heap: the image's operator new and delete call these, so that
// what the image allocated and still holds when its process ends can be found and let go as its
// static memory is.
extern "C" void* _NSSystemImageAllocate(std::size_t size);
extern "C" void _NSSystemImageDeallocate(void* block);

namespace frameworks {

// Loads the image for a launch; false, with the reason, when it cannot be loaded. Nothing to
// do while no image path is set.
bool loadSystemImage(std::string* error);
// Ends the loaded image as the end of its process would: its static destructors run, every
// reference its static memory and the heap blocks reachable from it still hold to an object of
// the model is let go and those blocks are freed (the memory is gone with the process), the
// classes it registered are forgotten, and it is unloaded.
void unloadSystemImage();

}  // namespace frameworks
