#include "Foundation/NSAutoreleasePool.h"

#include <cstdio>
#include <vector>

#include "Foundation/NSObject.h"
#include "Foundation/NSObjectInternal.h"

namespace {

// The calling thread's autorelease pools, innermost last. Each holds the objects whose
// release it owes.
thread_local std::vector<std::vector<const NSObject*>> tPools;

}  // namespace

NSObject* NSObject::autorelease() const {
    if (tPools.empty()) {
        std::fprintf(stderr,
                     "object model: %s %p autoreleased with no pool in place - just leaking\n",
                     className(), static_cast<const void*>(this));
    } else {
        tPools.back().push_back(this);
    }
    return const_cast<NSObject*>(this);
}

NSAutoreleasePool::NSAutoreleasePool() : depth_(tPools.size()) {
    tPools.emplace_back();
}

NSAutoreleasePool::~NSAutoreleasePool() {
    if (tPools.size() != depth_ + 1) {
        _NSObjectModelFailure("autorelease pools released out of order", nullptr);
    }
    drain();
    tPools.pop_back();
}

void NSAutoreleasePool::drain() {
    // Releasing an object may autorelease others into this same pool; keep going until the
    // pool is empty.
    while (!tPools[depth_].empty()) {
        std::vector<const NSObject*> pending;
        pending.swap(tPools[depth_]);
        for (const NSObject* object : pending) {
            object->release();
        }
    }
}

std::size_t NSAutoreleasePool::pendingCount() const {
    return tPools[depth_].size();
}
