// Compiled into the image of the system's code (and only there): the entry the session calls
// before it unloads the image, to run the image's static destructors while the session can
// still look at what its static memory holds afterwards.
extern "C" {
extern void* __dso_handle __attribute__((visibility("hidden")));
int __cxa_finalize(void* dso);

__attribute__((visibility("default"))) void _QuenfoldSystemImageFinalize() {
    __cxa_finalize(&__dso_handle);
}
}
