#include "AppKit/NSWindow.h"

#include "AppKit/NSApplication.h"
#include "AppKit/SystemLifecycleInternal.h"
#include "AppKit/ViewElementsInternal.h"
#include "Foundation/Foundation.h"
#include "sim/Desktop.h"
#include "sim/Faults.h"

namespace {

// The desktop window behind an NSWindow, if it belongs to this session and still exists (it
// goes when the process quits).
const sim::Node* liveNode(std::uint64_t node, std::uint64_t generation) {
    if (node == 0 || generation != frameworks::sessionGeneration()) {
        return nullptr;
    }
    const sim::Node* found = sim::desktop().node(node);
    return found != nullptr && found->kind == sim::NodeKind::Window &&
                   found->pid == sim::desktop().systemPid()
               ? found
               : nullptr;
}

}  // namespace

NSWindow::NSWindow(NSRect frame, const NSString* title)
    : frame_(frame), generation_(frameworks::sessionGeneration()) {
    title_ = adoptCF(CFStringCreateCopy(kCFAllocatorDefault, title != nullptr ? title : CFSTR("")));
    // A process that has quit has no place on the desktop for new windows.
    if (sim::desktop().application(sim::desktop().systemPid()) != nullptr) {
        node_ = sim::desktop().addWindow(
            sim::desktop().systemPid(), title_->utf8(),
            sim::Rect{frame.origin.x, frame.origin.y, frame.size.width, frame.size.height},
            /*visible=*/false);
    }
    NSApplication::instance()->windows_.push_back(this);
}

NSWindow* NSWindow::create(NSRect frame, const NSString* title) {
    return new NSWindow(frame, title);
}

NSWindow::~NSWindow() {
    close();
    frameworks::ViewElements::forget(this);
    for (auto& view : subviews_) {
        view->window_ = nullptr;
    }
    std::erase(NSApplication::instance()->windows_, this);
}

NSRect NSWindow::frame() const {
    const sim::Node* node = liveNode(node_, generation_);
    if (node == nullptr || !node->frame) {
        return frame_;
    }
    NSRect frame = frame_;
    frame.origin.x = node->frame->x;
    frame.origin.y = node->frame->y;
    return frame;
}

void NSWindow::setTitle(const NSString* title) {
    title_ = adoptCF(CFStringCreateCopy(kCFAllocatorDefault, title != nullptr ? title : CFSTR("")));
    if (liveNode(node_, generation_) != nullptr) {
        sim::desktop().setTitle(node_, title_->utf8());
    }
}

void NSWindow::orderFront(id) {
    sim::countCall<"orderFront:">();
    if (liveNode(node_, generation_) != nullptr) {
        sim::desktop().orderWindowFront(node_);
        frameworks::ViewElements::update(this);
    }
}

void NSWindow::orderOut(id) {
    close();
}

void NSWindow::close() {
    if (liveNode(node_, generation_) != nullptr) {
        sim::desktop().closeWindow(node_);
    }
}

bool NSWindow::isVisible() const {
    const sim::Node* node = liveNode(node_, generation_);
    const sim::Application* process = sim::desktop().application(sim::desktop().systemPid());
    return node != nullptr && node->visible && process != nullptr && !process->hidden;
}

void NSWindow::addSubview(NSView* view) {
    if (view == nullptr || view->window_ == this) {
        return;
    }
    RetainPtr<NSView*> kept = retainPtr(view);
    if (view->window_ != nullptr) {
        std::erase(view->window_->subviews_, kept);
    }
    subviews_.push_back(std::move(kept));
    view->window_ = this;
}
