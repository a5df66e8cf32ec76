// Ownership holder for references of the object model. Adopting a +1 reference (the result of
// a Create or Copy call) and retaining a borrowed one are different, visible operations:
//
//     RetainPtr<AXUIElementRef> app = adoptCF(AXUIElementCreateApplication(pid));
//     RetainPtr<CFStringRef> kept = retainPtr(borrowedTitle);
//     RetainPtr<CFTypeRef> value;
//     AXUIElementCopyAttributeValue(element, attribute, value.initializeInto());
//
// Handing a reference to a caller whose contract says "copy" is the explicit leakRef(); handing
// it to the autorelease pool is autorelease(), which answers the object with its own type.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <utility>

#include "CoreFoundation/CFBase.h"

template <class Ref>
class RetainPtr;

// Takes over a +1 reference without retaining it.
template <class Ref>
[[nodiscard]] RetainPtr<Ref> adoptCF(Ref ref);

// Takes a new reference to a borrowed object.
template <class Ref>
[[nodiscard]] RetainPtr<Ref> retainPtr(Ref ref);

template <class Ref>
class RetainPtr {
    static_assert(std::is_pointer_v<Ref>, "RetainPtr holds a reference type such as CFStringRef");

public:
    RetainPtr() = default;
    RetainPtr(std::nullptr_t) {}
    RetainPtr(const RetainPtr& other) : ref_(other.ref_) { retainIfSet(); }
    RetainPtr(RetainPtr&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
    template <class Other>
    requires std::is_convertible_v<Other, Ref> RetainPtr(RetainPtr<Other>&& other)
    noexcept : ref_(other.leakRef()) {}
    ~RetainPtr() { releaseIfSet(); }

    RetainPtr& operator=(RetainPtr other) noexcept {
        std::swap(ref_, other.ref_);
        return *this;
    }

    Ref get() const { return ref_; }
    Ref operator->() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

    // Gives the held reference away; the caller now owns it.
    [[nodiscard]] Ref leakRef() { return std::exchange(ref_, nullptr); }
    // Hands the held reference to the innermost autorelease pool and answers the object, which
    // stays valid until that pool drains; the holder is left empty.
    Ref autorelease() {
        if (ref_ != nullptr) {
            ref_->autorelease();
        }
        return std::exchange(ref_, nullptr);
    }

    void clear() {
        releaseIfSet();
        ref_ = nullptr;
    }

    // The out-parameter of a Copy call. The holder must be empty: filling a holder that still
    // owns something would leak it.
    [[nodiscard]] Ref* initializeInto() {
        if (ref_ != nullptr) {
            std::fprintf(stderr, "RetainPtr::initializeInto on a holder that is not empty\n");
            std::abort();
        }
        return &ref_;
    }

private:
    template <class R>
    friend RetainPtr<R> adoptCF(R ref);

    struct AdoptTag {};
    RetainPtr(Ref ref, AdoptTag) : ref_(ref) {}

    void retainIfSet() {
        if (ref_ != nullptr) {
            CFRetain(ref_);
        }
    }
    // Empties the holder before letting go, so that a holder in static memory that has been
    // destroyed no longer names the object (the unloading of the system's code reads it).
    void releaseIfSet() {
        if (Ref ref = std::exchange(ref_, nullptr)) {
            CFRelease(ref);
        }
    }

    Ref ref_ = nullptr;
};

template <class Ref>
RetainPtr<Ref> adoptCF(Ref ref) {
    return RetainPtr<Ref>(ref, typename RetainPtr<Ref>::AdoptTag{});
}

template <class Ref>
RetainPtr<Ref> retainPtr(Ref ref) {
    if (ref != nullptr) {
        CFRetain(ref);
    }
    return adoptCF(ref);
}

template <class A, class B>
bool operator==(const RetainPtr<A>& a, const RetainPtr<B>& b) {
    return a.get() == b.get();
}
