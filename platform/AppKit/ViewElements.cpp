#include "AppKit/ViewElementsInternal.h"

#include "AppKit/NSApplication.h"
#include "AppKit/NSButton.h"
#include "AppKit/NSTextField.h"
#include "AppKit/NSWindow.h"
#include "AppKit/SystemLifecycleInternal.h"
#include "ApplicationServices/AccessibilityInternal.h"
#include "TypeCastsCF.h"
#include "TypeCastsCocoa.h"
#include "sim/Desktop.h"
#include "sim/UTF16.h"

namespace frameworks {
namespace {

// The window's desktop window, when it is of this session and still there.
bool hasDesktopWindow(const NSWindow* window, std::uint64_t node, std::uint64_t generation) {
    const sim::Node* found =
        node != 0 && generation == sessionGeneration() ? sim::desktop().node(node) : nullptr;
    return window != nullptr && found != nullptr && found->kind == sim::NodeKind::Window;
}

// Where the view lies on the screen: in its window's content, below the title bar.
sim::Rect screenFrameOf(const NSView* view, const sim::Rect& window) {
    const NSRect frame = view->frame();
    return {window.x + frame.origin.x, window.y + sim::kTitleBarHeight + frame.origin.y,
            frame.size.width, frame.size.height};
}

bool sameFrame(const std::optional<sim::Rect>& frame, const sim::Rect& wanted) {
    return frame && frame->x == wanted.x && frame->y == wanted.y && frame->width == wanted.width &&
           frame->height == wanted.height;
}

sim::ElementSpec elementSetupOf(const NSView* view, const sim::Rect& window) {
    sim::ElementSpec setup;
    if (const auto* button = dynamic_objc_cast<NSButton>(view)) {
        setup.role = button->buttonType() == NSButtonTypeSwitch ? "AXCheckBox" : "AXButton";
        setup.title = button->title()->utf8();
        setup.actions = {"AXPress"};
    } else if (dynamic_objc_cast<NSTextField>(view) != nullptr) {
        setup.role = "AXStaticText";
    }
    setup.frame = screenFrameOf(view, window);
    return setup;
}

// What the element shows of its view now: a text field's text, a check box's state. This runs
// after every pass of the run loop, so a value that did not change is left as it is.
void showValue(std::uint64_t node, const NSView* view) {
    CFTypeRef shown = attributeOverride(node, u"AXValue");
    if (const auto* field = dynamic_objc_cast<NSTextField>(view)) {
        if (shown == nullptr || !CFEqual(shown, field->stringValue())) {
            setAttribute(node, "AXValue", field->stringValue());
        }
    } else if (const auto* button = dynamic_objc_cast<NSButton>(view)) {
        if (sim::desktop().node(node)->title != sim::utf16FromUTF8(button->title()->utf8())) {
            sim::desktop().setTitle(node, button->title()->utf8());
        }
        if (button->buttonType() == NSButtonTypeSwitch) {
            const long long wanted = button->state() == NSControlStateValueOn ? 1 : 0;
            long long current = -1;
            if (const auto* number = dynamic_cf_cast<CFNumberRef>(shown)) {
                CFNumberGetValue(number, kCFNumberLongLongType, &current);
            }
            if (current != wanted) {
                const RetainPtr<CFNumberRef> value =
                    adoptCF<CFNumberRef>(NSNumber::createWithLongLong(wanted));
                setAttribute(node, "AXValue", value.get());
            }
        }
    }
}

}  // namespace

void ViewElements::update(NSWindow* window) {
    if (!hasDesktopWindow(window, window->node_, window->generation_)) {
        forget(window);
        return;
    }
    const auto& views = window->subviews_;
    // The elements are made again when the views or the window's place on the screen changed.
    const sim::Rect place = sim::desktop().node(window->node_)->frame.value_or(sim::Rect{});
    bool current = window->viewNodes_.size() == views.size();
    for (std::size_t index = 0; current && index < views.size(); ++index) {
        const sim::Node* element = sim::desktop().node(window->viewNodes_[index]);
        current = element != nullptr && element->parent == window->node_ &&
                  sameFrame(element->frame, screenFrameOf(views[index].get(), place));
    }
    if (!current) {
        forget(window);
        for (const auto& view : views) {
            window->viewNodes_.push_back(
                sim::desktop().addElement(window->node_, elementSetupOf(view.get(), place)));
        }
    }
    for (std::size_t index = 0; index < views.size(); ++index) {
        showValue(window->viewNodes_[index], views[index].get());
    }
}

void ViewElements::forget(NSWindow* window) {
    // A window of an ended process or session touches no node: its numbers may be another's now.
    const bool live = hasDesktopWindow(window, window->node_, window->generation_);
    for (std::uint64_t node : window->viewNodes_) {
        forgetAttributes(node);
        if (const sim::Node* element = live ? sim::desktop().node(node) : nullptr;
            element != nullptr && element->parent == window->node_) {
            sim::desktop().removeElement(node);
        }
    }
    window->viewNodes_.clear();
}

void ViewElements::updateAll() {
    for (NSWindow* window : NSApplication::instance()->windows()) {
        update(window);
    }
}

bool ViewElements::click(std::uint64_t node) {
    for (NSWindow* window : NSApplication::instance()->windows()) {
        for (std::size_t index = 0; index < window->viewNodes_.size(); ++index) {
            if (window->viewNodes_[index] != node || index >= window->subviews_.size()) {
                continue;
            }
            // The click may let go of the window; the view it reached stays until it is done.
            const RetainPtr<NSWindow*> keepWindow = retainPtr(window);
            NSAutoreleasePool pool;
            if (auto* button = dynamic_objc_cast<NSButton>(window->subviews_[index].get())) {
                button->performClick(nullptr);
            }
            update(window);
            return true;
        }
    }
    return false;
}

}  // namespace frameworks
