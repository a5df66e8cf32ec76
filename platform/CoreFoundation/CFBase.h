// The one object model shared by CoreFoundation and Foundation: every CF object and every
// Foundation object derives from NSObject, carries an intrusive reference count and a type id,
// and is "toll-free bridged": a CFStringRef and an NSString* point at the same object.
#pragma once

#include <sys/types.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>

using Boolean = unsigned char;
using SInt8 = std::int8_t;
using UInt8 = std::uint8_t;
using SInt16 = std::int16_t;
using UInt16 = std::uint16_t;
using SInt32 = std::int32_t;
using UInt32 = std::uint32_t;
using SInt64 = std::int64_t;
using UInt64 = std::uint64_t;
using CFIndex = long;
using CFTypeID = unsigned long;
using CFHashCode = unsigned long;
using CFOptionFlags = unsigned long;
using CFTimeInterval = double;
using CFAbsoluteTime = double;
using OSStatus = std::int32_t;
using OSErr = std::int16_t;

using NSInteger = long;
using NSUInteger = unsigned long;
using NSTimeInterval = double;
using BOOL = bool;
inline constexpr BOOL YES = true;
inline constexpr BOOL NO = false;
inline constexpr NSInteger NSIntegerMax = LONG_MAX;
inline constexpr NSUInteger NSNotFound = static_cast<NSUInteger>(NSIntegerMax);
inline constexpr OSStatus noErr = 0;

struct CFRange {
    CFIndex location;
    CFIndex length;
};
inline CFRange CFRangeMake(CFIndex location, CFIndex length) {
    return {location, length};
}

struct NSRange {
    NSUInteger location;
    NSUInteger length;
};
inline NSRange NSMakeRange(NSUInteger location, NSUInteger length) {
    return {location, length};
}

enum CFComparisonResult : CFIndex {
    kCFCompareLessThan = -1,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1,
};

class NSObject;
class NSString;

// An untyped object reference, as Objective-C's id.
using id = NSObject*;
inline constexpr std::nullptr_t nil = nullptr;

// CoreFoundation's untyped reference: any object of the model.
using CFTypeRef = const NSObject*;

// Only the default allocator exists.
struct __CFAllocator;
using CFAllocatorRef = const __CFAllocator*;
inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

// Type ids, as CFGetTypeID answers them.
enum : CFTypeID {
    kNSObjectTypeID = 1,
    kCFStringTypeID,
    kCFArrayTypeID,
    kCFDictionaryTypeID,
    kCFNumberTypeID,
    kCFBooleanTypeID,
    kCFNullTypeID,
    kCFURLTypeID,
    kCFRunLoopTypeID,
    kCFRunLoopSourceTypeID,
    kCFRunLoopTimerTypeID,
    kCFMachPortTypeID,
    kAXUIElementTypeID,
    kAXValueTypeID,
    kCGEventTypeID,
    kCGEventSourceTypeID,
    kLSSharedFileListTypeID,
    kLSSharedFileListItemTypeID,
    kCFDateTypeID,
    kCFDataTypeID,
};

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

CFTypeRef CFRetain(CFTypeRef object);
void CFRelease(CFTypeRef object);
CFIndex CFGetRetainCount(CFTypeRef object);
CFTypeID CFGetTypeID(CFTypeRef object);
Boolean CFEqual(CFTypeRef a, CFTypeRef b);
CFHashCode CFHash(CFTypeRef object);
// A new description string of the object, owned by the caller.
const NSString* CFCopyDescription(CFTypeRef object);

// Turns a CF reference into the Foundation pointer of the same object (the __bridge cast).
template <class T>
T* bridge(const T* object) {
    return const_cast<T*>(object);
}

// Number of objects of the model alive now (constants excluded). Tests compare it with a
// baseline to prove that nothing was leaked.
long NSObjectLiveCount();

// An autorelease pool: objects autoreleased while it is the innermost pool of the thread are
// released once when it goes away (or is drained).
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
