// NSObject, the root class of the one object model: every Foundation object and every
// CoreFoundation object is an NSObject, with an intrusive reference count and a type id (see
// CoreFoundation/CFBase.h), so a CF reference and the Foundation pointer name the same object.
// Also the Objective-C basics the classes are written with: id, nil, BOOL, Class and the
// integer types.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>

#include "CoreFoundation/CFBase.h"

using NSInteger = long;
using NSUInteger = unsigned long;
using NSTimeInterval = double;
using BOOL = bool;
inline constexpr BOOL YES = true;
inline constexpr BOOL NO = false;
inline constexpr NSInteger NSIntegerMax = LONG_MAX;
inline constexpr NSUInteger NSNotFound = static_cast<NSUInteger>(NSIntegerMax);

// An untyped object reference, as Objective-C's id.
using id = NSObject*;
inline constexpr std::nullptr_t nil = nullptr;

// A class object, as isKindOfClass: takes it.
struct objc_class {
    const char* name;
    bool (*isInstance)(const NSObject* object);
};
using Class = const objc_class*;

template <class T>
Class classOf(const char* name) {
    static const objc_class cls{
        name, [](const NSObject* object) { return dynamic_cast<const T*>(object) != nullptr; }};
    return &cls;
}

class NSObject {
public:
    NSObject();
    virtual ~NSObject();
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;

    // A new object starts with one reference, owned by whoever made it.
    NSObject* retain() const;
    void release() const;
    // Hands one reference to the innermost autorelease pool of the calling thread.
    NSObject* autorelease() const;
    // The same for `object`, answered with its own type: inside a class of the model,
    // autorelease(NSString::create(units)) is an NSString*.
    template <class T>
    static T* autorelease(T* object) {
        if (object != nullptr) {
            object->autorelease();
        }
        return object;
    }
    NSUInteger retainCount() const;

    virtual CFTypeID typeID() const { return kNSObjectTypeID; }
    virtual bool isEqual(const NSObject* other) const { return this == other; }
    virtual NSUInteger hash() const { return reinterpret_cast<std::uintptr_t>(this); }
    // The object's description text (autoreleased).
    virtual NSString* description() const;
    // The class name, for descriptions and diagnostics.
    const char* className() const;

    bool isKindOfClass(Class cls) const { return cls != nullptr && cls->isInstance(this); }
    static Class class_() { return classOf<NSObject>("NSObject"); }

    // Sends `selector` to this object after `delay` seconds from the current thread's run loop,
    // in the default mode. The object and the argument are retained until then.
    template <class T>
    void performSelector(void (T::*selector)(), id object, NSTimeInterval delay) {
        schedulePerform(object, delay,
                        [this, selector](id) { (static_cast<T*>(this)->*selector)(); });
    }
    template <class T>
    void performSelector(void (T::*selector)(id), id object, NSTimeInterval delay) {
        schedulePerform(object, delay, [this, selector](id argument) {
            (static_cast<T*>(this)->*selector)(argument);
        });
    }
    // Sends `selector` on the main thread: at once when waiting is asked for (the caller is on
    // the main thread), otherwise at a later pass of the main run loop, in the common modes.
    template <class T>
    void performSelectorOnMainThread(void (T::*selector)(), id object, BOOL waitUntilDone) {
        scheduleMainThreadPerform(object, waitUntilDone,
                                  [this, selector](id) { (static_cast<T*>(this)->*selector)(); });
    }
    template <class T>
    void performSelectorOnMainThread(void (T::*selector)(id), id object, BOOL waitUntilDone) {
        scheduleMainThreadPerform(object, waitUntilDone, [this, selector](id argument) {
            (static_cast<T*>(this)->*selector)(argument);
        });
    }

protected:
    // Constants (CFSTR strings, the booleans, null) live for the whole process, ignore
    // retain and release, and are not counted as live objects.
    struct Immortal {};
    explicit NSObject(Immortal);

private:
    void schedulePerform(id object, NSTimeInterval delay, std::function<void(id)> call);
    void scheduleMainThreadPerform(id object, BOOL wait, std::function<void(id)> call);

    mutable long retainCount_ = 1;
    bool immortal_ = false;
};

// Turns a CF reference into the Foundation pointer of the same object (the __bridge cast).
template <class T>
T* bridge(const T* object) {
    return const_cast<T*>(object);
}

// Number of objects of the model alive now (constants excluded). Tests compare it with a
// baseline to prove that nothing was leaked.
long NSObjectLiveCount();
