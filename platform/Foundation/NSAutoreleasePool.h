// Autorelease pools: a reference handed to the innermost pool of the calling thread (with
// NSObject::autorelease) is released once when the pool goes away or is drained.
#pragma once

#include <cstddef>

class NSAutoreleasePool {
public:
    NSAutoreleasePool();
    ~NSAutoreleasePool();
    NSAutoreleasePool(const NSAutoreleasePool&) = delete;
    NSAutoreleasePool& operator=(const NSAutoreleasePool&) = delete;

    // Releases everything the pool holds now; the pool stays in place.
    void drain();
    // Number of pending releases the pool holds.
    std::size_t pendingCount() const;

private:
    std::size_t depth_;
};
