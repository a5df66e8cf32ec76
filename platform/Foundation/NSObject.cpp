#include "Foundation/NSObject.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>

#include "CoreFoundation/CFRunLoop.h"
#include "Foundation/NSObjectInternal.h"
#include "Foundation/NSString.h"
#include "RetainPtr.h"

namespace {

long gLiveObjects = 0;

// The live objects made while tracking is on (made on first need, never destroyed: objects
// are freed until the very end of the program).
bool gTrackingLiveObjects = false;
std::unordered_set<const void*>& trackedObjects() {
    static auto* const objects = new std::unordered_set<const void*>();
    return *objects;
}

}  // namespace

void _NSObjectModelFailure(const char* what, const NSObject* object) {
    std::fprintf(stderr, "object model: %s (%s %p)\n", what, object ? object->className() : "null",
                 static_cast<const void*>(object));
    std::abort();
}

NSObject::NSObject() {
    ++gLiveObjects;
    if (gTrackingLiveObjects) {
        trackedObjects().insert(this);
    }
}

NSObject::NSObject(Immortal) : immortal_(true) {}

NSObject::~NSObject() {
    if (!immortal_) {
        --gLiveObjects;
        if (std::unordered_set<const void*>& tracked = trackedObjects(); !tracked.empty()) {
            tracked.erase(this);
        }
    }
}

void _NSObjectTrackLiveObjects(bool on) {
    gTrackingLiveObjects = on;
    if (!on) {
        trackedObjects().clear();
    }
}

bool _NSObjectIsLive(const void* address) {
    return trackedObjects().count(address) != 0;
}

NSObject* NSObject::retain() const {
    if (!immortal_) {
        if (retainCount_ <= 0) {
            _NSObjectModelFailure("retain of a freed object", this);
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
        _NSObjectModelFailure("over-release", this);
    }
    if (--retainCount_ == 0) {
        delete this;
    }
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

long NSObjectLiveCount() {
    return gLiveObjects;
}

// Delayed and main-thread performs: one-shot timers of the run loop.
void NSObject::schedulePerform(id object, NSTimeInterval delay, std::function<void(id)> call) {
    RetainPtr<id> target = retainPtr(const_cast<NSObject*>(this));
    RetainPtr<id> argument = retainPtr(object);
    RetainPtr<CFRunLoopTimerRef> timer = adoptCF(CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + std::max(0.0, delay), 0, 0, 0,
        [target, argument, call](CFRunLoopTimerRef) { call(argument.get()); }));
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer.get(), kCFRunLoopDefaultMode);
}

void NSObject::scheduleMainThreadPerform(id object, BOOL wait, std::function<void(id)> call) {
    if (wait) {
        call(object);  // the caller is the main thread itself
        return;
    }
    RetainPtr<id> target = retainPtr(const_cast<NSObject*>(this));
    RetainPtr<id> argument = retainPtr(object);
    RetainPtr<CFRunLoopTimerRef> timer = adoptCF(CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent(), 0, 0, 0,
        [target, argument, call](CFRunLoopTimerRef) { call(argument.get()); }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer.get(), kCFRunLoopCommonModes);
}
