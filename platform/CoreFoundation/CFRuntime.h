// The objects behind opaque handles (AXUIElementRef, CGEventRef, CFMachPortRef, …): objects of
// the model whose layout only the framework that makes them can see. The public header
// declares the layout's class and names the handle after it:
//
//     class __AXUIElement;  // its layout: ApplicationServices/AXUIElementInternal.h
//     using AXUIElementRef = const CFOpaqueObject<__AXUIElement>*;
//
// and the layout, in an internal header beside it, derives from that face:
//
//     class __AXUIElement final : public CFOpaqueObject<__AXUIElement> { … };
//
// Whoever holds a handle retains, releases, compares and describes it like any other object,
// but cannot read what it holds: the face has nothing to read. (The handle cannot point at the
// bare declared class, as on macOS: a CFTypeRef points at NSObject, and a pointer converts to
// it only through a base class the compiler can see.)
#pragma once

#include "Foundation/NSObject.h"

template <class Layout>
class CFOpaqueObject : public NSObject {
protected:
    CFOpaqueObject() = default;
    explicit CFOpaqueObject(Immortal tag) : NSObject(tag) {}
};

// The layout behind a handle (null for null). Compiles only where the layout's internal header
// is included.
template <class Layout>
Layout* layoutOf(CFOpaqueObject<Layout>* object) {
    return static_cast<Layout*>(object);
}
template <class Layout>
const Layout* layoutOf(const CFOpaqueObject<Layout>* object) {
    return static_cast<const Layout*>(object);
}
