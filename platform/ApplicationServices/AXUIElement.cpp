// The Accessibility API over the simulated desktop, and the session's view of its elements.
#include "ApplicationServices/AXUIElement.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ApplicationServices/AXUIElementInternal.h"
#include "ApplicationServices/AccessibilityInternal.h"
#include "CoreFoundation/CFStringInternal.h"
#include "TypeCastsCF.h"
#include "sim/Faults.h"

namespace frameworks {

using namespace sim;
namespace {

// The global messaging timeout, which the system-wide element sets; 0 restores the default.
constexpr float kDefaultMessagingTimeout = 6;
float gMessagingTimeout = kDefaultMessagingTimeout;
MissingAttribute gMissingAttribute = MissingAttribute::ErrorValue;
// Attribute values set by a test; they take the place of the computed ones.
using AttributeOverrides = std::vector<std::pair<std::u16string, RetainPtr<CFTypeRef>>>;
std::unordered_map<NodeId, AttributeOverrides> gOverrides;

const AttributeOverrides& overridesOf(const Node& node) {
    static const AttributeOverrides none;
    const auto found = gOverrides.find(node.id);
    return found == gOverrides.end() ? none : found->second;
}

// A Dock item's AXURL (+1), made afresh for every read as a value that comes from another
// process is: a URL object or a string. Null when the text is no URL.
CFTypeRef copyDockItemURL(const Node& item) {
    RetainPtr<CFStringRef> text = adoptCF<CFStringRef>(NSString::createWithUTF8(*item.url));
    if (!item.urlIsObject) {
        return text.leakRef();
    }
    return CFURLCreateWithString(kCFAllocatorDefault, text.get(), nullptr);
}

AXUIElementRef makeElement(pid_t pid, NodeId node) {
    // The root of a process's tree is its application element.
    if (node != 0 && desktop().rootOf(pid) == node) {
        node = 0;
    }
    return new __AXUIElement(false, pid, node);
}

CFTypeRef copyElement(NodeId node) {
    return makeElement(desktop().node(node)->pid, node);
}

// The node behind an element, or null when the element is stale or the process is gone.
const Node* resolve(AXUIElementRef element) {
    const __AXUIElement* layout = layoutOf(element);
    if (layout == nullptr || layout->systemWide_) {
        return nullptr;
    }
    const NodeId id = layout->node_ == 0 ? desktop().rootOf(layout->pid_) : layout->node_;
    return id == 0 ? nullptr : desktop().node(id);
}

NodeId faultKey(AXUIElementRef element) {
    const Node* node = resolve(element);
    return node ? node->id : 0;
}

// Announces a call on an element (and an attribute or action name); the element is resolved
// and the name compared only when a fault for the call is armed.
template <CallName Name>
[[nodiscard]] std::optional<std::int32_t> faultOn(AXUIElementRef element,
                                                  CFStringRef name = nullptr) {
    PlatformCall& call = platformCall<Name>();
    if (!announce(call)) {
        return std::nullopt;
    }
    return matchFault(call, faultKey(element),
                      name != nullptr ? std::u16string_view(name->units()) : std::u16string_view(),
                      /*counted=*/true);
}

CFStringRef copyString(const std::u16string& text) {
    return NSString::create(text);
}

CFArrayRef copyElements(const std::vector<NodeId>& nodes) {
    NSMutableArray* array = NSMutableArray::create(nodes.size());
    for (NodeId node : nodes) {
        RetainPtr<CFTypeRef> element = adoptCF(copyElement(node));
        array->addObject(element.get());
    }
    return array;
}

CFTypeRef copyValue(AXValueType type, const void* value) {
    return createAXValue(type, value);
}

// An application's windows: those on screen front to back, then the minimised ones.
std::vector<NodeId> windowsAndMinimized(const Desktop& world, pid_t pid) {
    std::vector<NodeId> windows = world.windowsOf(pid);
    const std::vector<NodeId> minimized = world.minimizedWindowsOf(pid);
    windows.insert(windows.end(), minimized.begin(), minimized.end());
    return windows;
}

// The attribute as the simulated application computes it.
AXError copyComputedAttribute(const Node& node, const std::u16string& name, CFTypeRef* value) {
    const Desktop& world = desktop();
    const Application* app = world.application(node.pid);
    auto present = [&](CFTypeRef result) {
        *value = result;
        return kAXErrorSuccess;
    };
    auto optionalString = [&](const std::optional<std::u16string>& text) {
        return text ? present(copyString(*text)) : kAXErrorNoValue;
    };
    if (name == u"AXRole") {
        return present(copyString(node.role));
    }
    if (name == u"AXSubrole") {
        return optionalString(node.subrole);
    }
    if (name == u"AXTitle") {
        return optionalString(node.kind == NodeKind::Application ? std::optional(app->name)
                                                                 : node.title);
    }
    if (name == u"AXDescription") {
        return optionalString(node.description);
    }
    if (name == u"AXChildren") {
        if (node.kind == NodeKind::Application && node.pid != kDockPid) {
            return present(copyElements(windowsAndMinimized(world, node.pid)));
        }
        return present(copyElements(node.children));
    }
    if (name == u"AXParent") {
        return node.parent == 0 ? kAXErrorNoValue : present(copyElement(node.parent));
    }
    if (node.frame && name == u"AXPosition") {
        const CGPoint point{node.frame->x, node.frame->y};
        return present(copyValue(kAXValueCGPointType, &point));
    }
    if (node.frame && name == u"AXSize") {
        const CGSize size{node.frame->width, node.frame->height};
        return present(copyValue(kAXValueCGSizeType, &size));
    }
    if (node.kind == NodeKind::Window && name == u"AXMinimized") {
        return present(node.minimized ? kCFBooleanTrue : kCFBooleanFalse);
    }
    // A window's title-bar buttons, by the subrole each one has.
    if (node.kind == NodeKind::Window &&
        (name == u"AXCloseButton" || name == u"AXMinimizeButton")) {
        for (NodeId child : node.children) {
            if (world.node(child)->subrole == name) {
                return present(copyElement(child));
            }
        }
        return kAXErrorNoValue;
    }
    if (node.kind == NodeKind::Application) {
        if (name == u"AXWindows") {
            return present(copyElements(windowsAndMinimized(world, node.pid)));
        }
        if (name == u"AXFocusedWindow") {
            const std::vector<NodeId> windows = world.windowsOf(node.pid);
            return windows.empty() ? kAXErrorNoValue : present(copyElement(windows.front()));
        }
        if (name == u"AXFrontmost") {
            return present(world.activePid() == node.pid ? kCFBooleanTrue : kCFBooleanFalse);
        }
        if (name == u"AXHidden") {
            return present(app->hidden ? kCFBooleanTrue : kCFBooleanFalse);
        }
    }
    if (node.role == u"AXMenuItem" && name == u"AXMenuItemMarkChar") {
        return optionalString(node.markChar);
    }
    if (node.kind == NodeKind::DockItem && name == u"AXURL") {
        CFTypeRef url = node.url ? copyDockItemURL(node) : nullptr;
        return url != nullptr ? present(url) : kAXErrorNoValue;
    }
    return kAXErrorAttributeUnsupported;
}

// One attribute read, as every attribute call makes it (the access check and the element's
// validity are the caller's).
AXError readAttribute(const Node& node, const std::u16string& name, CFTypeRef* value) {
    if (auto status = matchFault(platformCall<"AXUIElementCopyAttributeValue">(), node.id, name)) {
        return *status;
    }
    for (const auto& [key, override] : overridesOf(node)) {
        if (key == name) {
            *value = CFRetain(override.get());
            return kAXErrorSuccess;
        }
    }
    return copyComputedAttribute(node, name, value);
}

// The common checks of a call on one element: access, then the element itself.
AXError checkElement(AXUIElementRef element, const Node*& node) {
    if (element == nullptr) {
        return kAXErrorIllegalArgument;
    }
    if (!desktop().accessEnabled()) {
        return kAXErrorAPIDisabled;
    }
    node = resolve(element);
    return node == nullptr ? kAXErrorInvalidUIElement : kAXErrorSuccess;
}

}  // namespace

AXUIElementRef createElement(NodeId node) {
    return static_cast<AXUIElementRef>(copyElement(node));
}

std::optional<NodeId> nodeOf(AXUIElementRef element) {
    const Node* node = resolve(element);
    return node ? std::optional<NodeId>(node->id) : std::nullopt;
}

bool isSystemWide(AXUIElementRef element) {
    return element != nullptr && layoutOf(element)->systemWide_;
}

float messagingTimeout(AXUIElementRef element) {
    const __AXUIElement* layout = layoutOf(element);
    if (layout != nullptr && !layout->systemWide_ && layout->messagingTimeout_ > 0) {
        return layout->messagingTimeout_;
    }
    return gMessagingTimeout;
}

void standMissingAttributesAs(MissingAttribute standIn) {
    gMissingAttribute = standIn;
}

void setAttribute(NodeId id, const std::string& name, CFTypeRef value) {
    if (desktop().node(id) == nullptr) {
        std::fprintf(stderr, "simulated desktop: no accessibility node %llu\n",
                     static_cast<unsigned long long>(id));
        std::abort();
    }
    AttributeOverrides& overrides = gOverrides[id];
    const std::u16string key = utf16FromUTF8(name);
    std::erase_if(overrides, [&](const auto& entry) { return entry.first == key; });
    if (value != nullptr) {
        overrides.emplace_back(key, retainPtr(value));
    }
}

void forgetAttributes(NodeId id) {
    gOverrides.erase(id);
}

CFTypeRef attributeOverride(NodeId id, std::u16string_view name) {
    const auto found = gOverrides.find(id);
    if (found == gOverrides.end()) {
        return nullptr;
    }
    for (const auto& [key, value] : found->second) {
        if (key == name) {
            return value.get();
        }
    }
    return nullptr;
}

std::optional<bool> checkBoxTicked(NodeId id) {
    if (const NSNumber* number = dynamic_cf_cast<CFNumberRef>(attributeOverride(id, u"AXValue"))) {
        return number->longLongValue() == 1;
    }
    return std::nullopt;
}

void resetAccessibility() {
    gMessagingTimeout = kDefaultMessagingTimeout;
    gMissingAttribute = MissingAttribute::ErrorValue;
    gOverrides.clear();
}

}  // namespace frameworks

using sim::desktop;

Boolean AXAPIEnabled() {
    sim::countCall<"AXAPIEnabled">();
    return desktop().accessEnabled();
}

Boolean AXIsProcessTrusted() {
    return desktop().accessEnabled();
}

CFTypeID AXUIElementGetTypeID() {
    return kAXUIElementTypeID;
}

AXUIElementRef AXUIElementCreateSystemWide() {
    if (sim::failCall<"AXUIElementCreateSystemWide">()) {
        return nullptr;
    }
    return new __AXUIElement(true, 0, 0);
}

AXUIElementRef AXUIElementCreateApplication(pid_t pid) {
    if (sim::failCall<"AXUIElementCreateApplication">()) {
        return nullptr;
    }
    return new __AXUIElement(false, pid, 0);
}

AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CFTypeRef* value) {
    if (value != nullptr) {
        *value = nullptr;
    }
    if (auto status = frameworks::faultOn<"AXUIElementCopyAttributeValue">(element, attribute)) {
        return *status;
    }
    if (attribute == nullptr || value == nullptr) {
        return kAXErrorIllegalArgument;
    }
    if (frameworks::isSystemWide(element)) {
        if (!desktop().accessEnabled()) {
            return kAXErrorAPIDisabled;
        }
        if (attribute->units() == u"AXFocusedApplication" && desktop().activePid()) {
            *value = new __AXUIElement(false, *desktop().activePid(), 0);
            return kAXErrorSuccess;
        }
        return attribute->units() == u"AXRole"
                   ? (*value = NSString::createWithUTF8("AXSystemWide"), kAXErrorSuccess)
                   : kAXErrorNoValue;
    }
    const sim::Node* node = nullptr;
    if (AXError status = frameworks::checkElement(element, node); status != kAXErrorSuccess) {
        return status;
    }
    for (const auto& [key, override] : frameworks::overridesOf(*node)) {
        if (key == attribute->units()) {
            *value = CFRetain(override.get());
            return kAXErrorSuccess;
        }
    }
    return frameworks::copyComputedAttribute(*node, attribute->units(), value);
}

AXError AXUIElementCopyAttributeNames(AXUIElementRef element, CFArrayRef* names) {
    *names = nullptr;
    const sim::Node* node = nullptr;
    if (AXError status = frameworks::checkElement(element, node); status != kAXErrorSuccess) {
        return status;
    }
    NSMutableArray* result = NSMutableArray::create();
    for (const char16_t* name :
         {u"AXRole", u"AXSubrole", u"AXTitle", u"AXDescription", u"AXChildren", u"AXParent",
          u"AXPosition", u"AXSize", u"AXWindows", u"AXFocusedWindow", u"AXFrontmost", u"AXHidden",
          u"AXURL", u"AXMinimized", u"AXCloseButton", u"AXMinimizeButton", u"AXMenuItemMarkChar"}) {
        CFTypeRef value = nullptr;
        if (frameworks::copyComputedAttribute(*node, name, &value) == kAXErrorSuccess) {
            CFRelease(value);
            RetainPtr<CFStringRef> text = adoptCF<CFStringRef>(NSString::create(name));
            result->addObject(text.get());
        }
    }
    for (const auto& [key, override] : frameworks::overridesOf(*node)) {
        RetainPtr<CFStringRef> text = adoptCF<CFStringRef>(NSString::create(key));
        if (!result->containsObject(text.get())) {
            result->addObject(text.get());
        }
    }
    *names = result;
    return kAXErrorSuccess;
}

AXError AXUIElementCopyMultipleAttributeValues(AXUIElementRef element, CFArrayRef attributes,
                                               AXCopyMultipleAttributeOptions options,
                                               CFArrayRef* values) {
    if (values != nullptr) {
        *values = nullptr;
    }
    if (auto status = frameworks::faultOn<"AXUIElementCopyMultipleAttributeValues">(element)) {
        return *status;
    }
    if (attributes == nullptr || values == nullptr) {
        return kAXErrorIllegalArgument;
    }
    const sim::Node* node = nullptr;
    if (AXError status = frameworks::checkElement(element, node); status != kAXErrorSuccess) {
        return status;
    }
    RetainPtr<CFMutableArrayRef> result = adoptCF(NSMutableArray::create(attributes->count()));
    for (id name : *attributes) {
        CFStringRef attribute = dynamic_cf_cast<CFStringRef>(name);
        RetainPtr<CFTypeRef> value;
        AXError status =
            attribute ? frameworks::readAttribute(*node, attribute->units(), value.initializeInto())
                      : kAXErrorIllegalArgument;
        if (status != kAXErrorSuccess) {
            if ((options & kAXCopyMultipleAttributeOptionStopOnError) != 0) {
                return status;
            }
            const bool missing =
                status == kAXErrorNoValue || status == kAXErrorAttributeUnsupported;
            value =
                missing && frameworks::gMissingAttribute == frameworks::MissingAttribute::Null
                    ? retainPtr<CFTypeRef>(kCFNull)
                    : adoptCF<CFTypeRef>(frameworks::createAXValue(kAXValueAXErrorType, &status));
        }
        result->addObject(value.get());
    }
    *values = result.leakRef();
    return kAXErrorSuccess;
}

AXError AXUIElementCopyActionNames(AXUIElementRef element, CFArrayRef* names) {
    if (names != nullptr) {
        *names = nullptr;
    }
    if (auto status = frameworks::faultOn<"AXUIElementCopyActionNames">(element)) {
        return *status;
    }
    const sim::Node* node = nullptr;
    if (AXError status = frameworks::checkElement(element, node); status != kAXErrorSuccess) {
        return status;
    }
    NSMutableArray* result = NSMutableArray::create(node->actions.size());
    for (const std::u16string& action : node->actions) {
        RetainPtr<CFStringRef> text = adoptCF<CFStringRef>(NSString::create(action));
        result->addObject(text.get());
    }
    *names = result;
    return kAXErrorSuccess;
}

AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action) {
    if (auto status = frameworks::faultOn<"AXUIElementPerformAction">(element, action)) {
        return *status;
    }
    if (action == nullptr || element == nullptr) {
        return kAXErrorIllegalArgument;
    }
    // The system-wide element stands for no user-interface object: it has no actions.
    if (frameworks::isSystemWide(element)) {
        return desktop().accessEnabled() ? kAXErrorActionUnsupported : kAXErrorAPIDisabled;
    }
    const sim::Node* node = nullptr;
    if (AXError status = frameworks::checkElement(element, node); status != kAXErrorSuccess) {
        return status;
    }
    if (std::find(node->actions.begin(), node->actions.end(), action->units()) ==
        node->actions.end()) {
        return kAXErrorActionUnsupported;
    }
    if (action->units() == u"AXRaise" && node->kind == sim::NodeKind::Window) {
        desktop().orderWindowFront(node->id);
    } else if (action->units() == u"AXPress" && node->kind == sim::NodeKind::DockItem) {
        if (node->itemWindow != 0) {
            desktop().restoreWindow(node->itemWindow);
        } else if (const sim::Application* owner = desktop().application(node->itemOwner)) {
            desktop().activate(owner->pid);
        }
    } else if (action->units() == u"AXPress") {
        desktop().pressElement(node->id);
    }
    return kAXErrorSuccess;
}

AXError AXUIElementCopyElementAtPosition(AXUIElementRef application, float x, float y,
                                         AXUIElementRef* element) {
    if (element != nullptr) {
        *element = nullptr;
    }
    if (auto status = frameworks::faultOn<"AXUIElementCopyElementAtPosition">(application)) {
        return *status;
    }
    if (application == nullptr || element == nullptr) {
        return kAXErrorIllegalArgument;
    }
    if (!desktop().accessEnabled()) {
        return kAXErrorAPIDisabled;
    }
    std::optional<pid_t> only;
    if (!frameworks::isSystemWide(application)) {
        const sim::Node* node = frameworks::resolve(application);
        if (node == nullptr) {
            return kAXErrorInvalidUIElement;
        }
        only = node->pid;
    }
    const std::optional<sim::NodeId> hit = desktop().hitTest(x, y, only);
    if (!hit) {
        return kAXErrorNoValue;
    }
    *element = frameworks::createElement(*hit);
    return kAXErrorSuccess;
}

AXError AXUIElementGetPid(AXUIElementRef element, pid_t* pid) {
    if (auto status = frameworks::faultOn<"AXUIElementGetPid">(element)) {
        return *status;
    }
    if (element == nullptr || pid == nullptr) {
        return kAXErrorIllegalArgument;
    }
    if (frameworks::isSystemWide(element)) {
        return kAXErrorIllegalArgument;
    }
    // The identifier is part of the element: it is answered even after the process quit.
    *pid = layoutOf(element)->pid_;
    return kAXErrorSuccess;
}

AXError AXUIElementSetMessagingTimeout(AXUIElementRef element, float timeoutInSeconds) {
    if (auto status = sim::faultFor<"AXUIElementSetMessagingTimeout">()) {
        return *status;
    }
    if (element == nullptr || !(timeoutInSeconds >= 0)) {
        return kAXErrorIllegalArgument;
    }
    // On the system-wide element the global timeout, 0 restoring its default; on any other
    // element that element's own, 0 leaving it to the global one.
    if (frameworks::isSystemWide(element)) {
        frameworks::gMessagingTimeout =
            timeoutInSeconds > 0 ? timeoutInSeconds : frameworks::kDefaultMessagingTimeout;
    } else {
        layoutOf(element)->messagingTimeout_ = timeoutInSeconds;
    }
    return kAXErrorSuccess;
}
