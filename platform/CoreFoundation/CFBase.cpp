#include "CoreFoundation/CFBase.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "CoreFoundation/CFString.h"

namespace {

long gLiveObjects = 0;

// The calling thread's autorelease pools, innermost last. Each holds the objects whose
// release it owes.
thread_local std::vector<std::vector<const NSObject*>> tPools;

[[noreturn]] void fatal(const char* what, const NSObject* object) {
    std::fprintf(stderr, "object model: %s (%s %p)\n", what, object ? object->className() : "null",
                 static_cast<const void*>(object));
    std::abort();
}

}  // namespace

NSObject::NSObject() {
    ++gLiveObjects;
}

NSObject::NSObject(Immortal) : immortal_(true) {}

NSObject::~NSObject() {
    if (!immortal_) {
        --gLiveObjects;
    }
}

NSObject* NSObject::retain() const {
    if (!immortal_) {
        if (retainCount_ <= 0) {
            fatal("retain of a freed object", this);
        }
        ++retainCount_;
    }
    return const_cast<NSObject*>(this);
}

void NSObject::release() const {
    if (immortal_) {
        return;
    }
    if (retainCount_ <= 0) {
        fatal("over-release", this);
    }
    if (--retainCount_ == 0) {
        delete this;
    }
}

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

NSUInteger NSObject::retainCount() const {
    return immortal_ ? static_cast<NSUInteger>(LONG_MAX) : static_cast<NSUInteger>(retainCount_);
}

const char* NSObject::className() const {
    // Demangled once per dynamic type.
    static std::unordered_map<const std::type_info*, std::string> names;
    const std::type_info& type = typeid(*this);
    auto found = names.find(&type);
    if (found == names.end()) {
        int status = 0;
        std::unique_ptr<char, decltype(&std::free)> demangled(
            abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
        found = names.emplace(&type, status == 0 ? demangled.get() : type.name()).first;
    }
    return found->second.c_str();
}

NSString* NSObject::description() const {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "<%s: %p>", className(), static_cast<const void*>(this));
    return NSString::stringWithUTF8String(buffer);
}

CFTypeRef CFRetain(CFTypeRef object) {
    if (object == nullptr) {
        fatal("CFRetain(NULL)", object);
    }
    return object->retain();
}

void CFRelease(CFTypeRef object) {
    if (object == nullptr) {
        fatal("CFRelease(NULL)", object);
    }
    object->release();
}

CFIndex CFGetRetainCount(CFTypeRef object) {
    return static_cast<CFIndex>(object->retainCount());
}

CFTypeID CFGetTypeID(CFTypeRef object) {
    return object->typeID();
}

Boolean CFEqual(CFTypeRef a, CFTypeRef b) {
    if (a == b) {
        return true;
    }
    if (a == nullptr || b == nullptr || a->typeID() != b->typeID()) {
        return false;
    }
    return a->isEqual(b);
}

CFHashCode CFHash(CFTypeRef object) {
    return object->hash();
}

const NSString* CFCopyDescription(CFTypeRef object) {
    // Descriptions are autoreleased; a pool of its own keeps this Copy call from needing one.
    NSAutoreleasePool pool;
    return static_cast<const NSString*>(object->description()->retain());
}

long NSObjectLiveCount() {
    return gLiveObjects;
}

NSAutoreleasePool::NSAutoreleasePool() : depth_(tPools.size()) {
    tPools.emplace_back();
}

NSAutoreleasePool::~NSAutoreleasePool() {
    if (tPools.size() != depth_ + 1) {
        fatal("autorelease pools released out of order", nullptr);
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
