// Accessibility elements of the simulated desktop, for tests that need an element for a node
// they built, or the node behind an element.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ApplicationServices/AXUIElement.h"
#include "ApplicationServices/AXValue.h"
#include "Foundation/Foundation.h"
#include "sim/Desktop.h"

namespace frameworks {

// A new element (+1) for a node of the desktop.
AXUIElementRef createElement(sim::NodeId node);
// The node an element stands for (an application element: its root), if it still exists.
std::optional<sim::NodeId> nodeOf(AXUIElementRef element);
bool isSystemWide(AXUIElementRef element);
// A value that replaces the computed value of an attribute of a node; null removes the
// override. Kept until the session is reset or the node's attributes are forgotten.
void setAttribute(sim::NodeId node, const std::string& name, CFTypeRef value);
// Lets go of every value set for the node's attributes, whether the node is still there or not.
void forgetAttributes(sim::NodeId node);
// The value set for an attribute of a node (borrowed), or null when none is.
CFTypeRef attributeOverride(sim::NodeId node, std::u16string_view name);
// Whether the check box at `node` is ticked (its AXValue 1); nothing when it shows no value.
std::optional<bool> checkBoxTicked(sim::NodeId node);
// A new value (+1), as AXValueCreate makes it but never failing by an injected fault: for the
// session's own attribute values. Null only for a type that has no value form.
AXValueRef createAXValue(AXValueType type, const void* value);
// The messaging timeout in seconds that applies to requests to `element`: its own, or else the
// global one, which the system-wide element sets; without an element, the global one.
float messagingTimeout(AXUIElementRef element = nullptr);
// What AXUIElementCopyMultipleAttributeValues puts at the position of an attribute that the
// element does not have or has no value for: an error value (the session's default) or
// kCFNull. macOS documents both; tests choose.
enum class MissingAttribute { ErrorValue, Null };
void standMissingAttributesAs(MissingAttribute standIn);
void resetAccessibility();

}  // namespace frameworks
