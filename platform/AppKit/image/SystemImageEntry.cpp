// Compiled into the image of the system's code (and only there): the entry the session calls
// before it unloads the image, to run the image's static destructors while the session can
// still look at what its static memory holds afterwards; and the image's own operator new and
// delete, which allocate through the session so that what the image's heap still holds at the
// end of its process is found and let go too. The image's link makes them local
// (SystemImage.map), so that only the image's code uses them. The other forms (nothrow,
// aligned) keep the program's allocator, whose blocks the forms here free as well: the system's
// code uses none of them.
#include <cstddef>

extern "C" {
extern void* __dso_handle __attribute__((visibility("hidden")));
int __cxa_finalize(void* dso);
void* _NSSystemImageAllocate(std::size_t size);
void _NSSystemImageDeallocate(void* block);

__attribute__((visibility("default"))) void _QuenfoldSystemImageFinalize() {
    __cxa_finalize(&__dso_handle);
}
}

void* operator new(std::size_t size) {
    return _NSSystemImageAllocate(size);
}
void* operator new[](std::size_t size) {
    return _NSSystemImageAllocate(size);
}
void operator delete(void* block) noexcept {
    _NSSystemImageDeallocate(block);
}
void operator delete[](void* block) noexcept {
    _NSSystemImageDeallocate(block);
}
void operator delete(void* block, std::size_t) noexcept {
    _NSSystemImageDeallocate(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    _NSSystemImageDeallocate(block);
}
