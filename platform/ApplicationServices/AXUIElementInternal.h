// The layout behind AXUIElementRef: the system-wide element, an application (node 0 of a
// process) or one node of a process's tree. Elements compare equal when they name the same
// thing.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "ApplicationServices/AXUIElement.h"
#include "Foundation/NSString.h"
#include "TypeCastsCF.h"

class __AXUIElement final : public CFOpaqueObject<__AXUIElement> {
public:
    __AXUIElement(bool systemWide, pid_t pid, std::uint64_t node)
        : systemWide_(systemWide), pid_(pid), node_(node) {}

    CFTypeID typeID() const override { return kAXUIElementTypeID; }
    bool isEqual(const NSObject* other) const override {
        const __AXUIElement* element = layoutOf(dynamic_cf_cast<AXUIElementRef>(other));
        return element != nullptr && element->systemWide_ == systemWide_ && element->pid_ == pid_ &&
               element->node_ == node_;
    }
    NSUInteger hash() const override {
        return static_cast<NSUInteger>(pid_) * 1000003u + static_cast<NSUInteger>(node_);
    }
    NSString* description() const override {
        if (systemWide_) {
            return NSString::stringWithUTF8String("<AXUIElement System Wide>");
        }
        return NSString::stringWithFormat("<AXUIElement pid=%d node=%llu>", pid_,
                                          static_cast<unsigned long long>(node_));
    }

    bool systemWide_;
    pid_t pid_;
    std::uint64_t node_;  // 0: the application element of pid_
    // The element's own messaging timeout in seconds; 0: the global one applies.
    mutable float messagingTimeout_ = 0;
};
