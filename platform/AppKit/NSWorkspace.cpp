// NSWorkspace and NSRunningApplication over the simulated desktop.
#include "AppKit/NSWorkspace.h"

#include <optional>
#include <string>

#include "AppKit/NSRunningApplication.h"
#include "AppKit/NSWorkspaceInternal.h"
#include "Foundation/Foundation.h"
#include "RetainPtr.h"
#include "TypeCastsCocoa.h"
#include "sim/Desktop.h"
#include "sim/Faults.h"

using sim::desktop;

namespace {

frameworks::ActiveApplicationAnswer gLastActiveAnswer;

NSString* autoreleasedString(const std::u16string& units) {
    return NSObject::autorelease(NSString::create(units));
}

// The active application's record as last built and what it tells: a press asks for it every
// time, and it is built again only when another application is active or what the record tells
// of it changed.
struct ActiveApplicationRecord {
    pid_t pid = 0;
    std::u16string name;
    std::u16string bundleIdentifier;
    std::optional<std::u16string> bundlePath;
    RetainPtr<NSDictionary*> record;

    bool tellsOf(const sim::Application& app) const {
        return record && pid == app.pid && name == app.name &&
               bundleIdentifier == app.bundleIdentifier && bundlePath == app.bundlePath;
    }
};

ActiveApplicationRecord& activeApplicationRecord() {
    static ActiveApplicationRecord* const kept = new ActiveApplicationRecord();
    return *kept;
}

NSDictionary* makeActiveApplicationRecord(const sim::Application& app) {
    NSMutableDictionary* record = NSMutableDictionary::dictionary();
    if (app.bundlePath) {
        record->setObject(autoreleasedString(*app.bundlePath), CFSTR("NSApplicationPath"));
    }
    record->setObject(autoreleasedString(app.name), CFSTR("NSApplicationName"));
    record->setObject(NSNumber::numberWithInt(app.pid), CFSTR("NSApplicationProcessIdentifier"));
    record->setObject(NSNumber::numberWithLong(0), CFSTR("NSApplicationProcessSerialNumberHigh"));
    record->setObject(
        NSNumber::numberWithLong(static_cast<long>(app.pid) + sim::kProcessSerialNumberBase),
        CFSTR("NSApplicationProcessSerialNumberLow"));
    record->setObject(autoreleasedString(app.bundleIdentifier),
                      CFSTR("NSApplicationBundleIdentifier"));
    return record;
}

}  // namespace

namespace frameworks {

void forgetActiveApplicationRecord() {
    activeApplicationRecord() = ActiveApplicationRecord();
}

}  // namespace frameworks

// The object for a running application, without the lookup's own failure point: a list of
// running applications answers every one of them.
NSRunningApplication* NSRunningApplication::forRunningProcess(pid_t pid) {
    return autorelease(new NSRunningApplication(pid));
}

const frameworks::ActiveApplicationAnswer& frameworks::lastActiveApplicationAnswer() {
    return gLastActiveAnswer;
}

NSWorkspace* NSWorkspace::sharedWorkspace() {
    static NSWorkspace* const workspace = new NSWorkspace();
    return workspace;
}

NSDictionary* NSWorkspace::activeApplication() const {
    ++gLastActiveAnswer.count;
    gLastActiveAnswer.pid = 0;
    if (sim::failCall<"activeApplication">()) {
        return nullptr;
    }
    const std::optional<pid_t> pid = desktop().activePid();
    const sim::Application* app = pid ? desktop().application(*pid) : nullptr;
    gLastActiveAnswer.pid = app != nullptr ? app->pid : 0;
    if (app == nullptr) {
        return nullptr;
    }
    ActiveApplicationRecord& kept = activeApplicationRecord();
    if (!kept.tellsOf(*app)) {
        kept = {app->pid, app->name, app->bundleIdentifier, app->bundlePath,
                retainPtr(makeActiveApplicationRecord(*app))};
    }
    return RetainPtr<NSDictionary*>(kept.record).autorelease();
}

NSRunningApplication* NSWorkspace::frontmostApplication() const {
    const std::optional<pid_t> pid = desktop().activePid();
    return pid && desktop().application(*pid) != nullptr
               ? NSRunningApplication::forRunningProcess(*pid)
               : nullptr;
}

NSArray* NSWorkspace::runningApplications() const {
    NSMutableArray* result = NSMutableArray::array();
    for (pid_t pid : desktop().runningPids()) {
        result->addObject(NSRunningApplication::forRunningProcess(pid));
    }
    return result;
}

bool NSWorkspace::openURL(const NSURL* url) {
    if (sim::failCall<"openURL">() || url == nullptr) {
        return false;
    }
    desktop().openURL(url->absoluteString()->utf8());
    return true;
}

NSRunningApplication* NSRunningApplication::runningApplicationWithProcessIdentifier(pid_t pid) {
    if (sim::failCall<"runningApplicationWithProcessIdentifier">() ||
        desktop().application(pid) == nullptr) {
        return nullptr;
    }
    return forRunningProcess(pid);
}

NSArray* NSRunningApplication::runningApplicationsWithBundleIdentifier(const NSString* identifier) {
    sim::countCall<"runningApplicationsWithBundleIdentifier">();
    NSMutableArray* result = NSMutableArray::array();
    for (pid_t pid : desktop().runningPids()) {
        if (identifier != nullptr &&
            desktop().application(pid)->bundleIdentifier == identifier->units()) {
            result->addObject(forRunningProcess(pid));
        }
    }
    return result;
}

NSRunningApplication* NSRunningApplication::currentApplication() {
    return autorelease(new NSRunningApplication(sim::desktop().systemPid()));
}

pid_t NSRunningApplication::processIdentifier() const {
    if (sim::failCall<"processIdentifier">() || desktop().application(pid_) == nullptr) {
        return -1;
    }
    return pid_;
}

NSString* NSRunningApplication::localizedName() const {
    const sim::Application* app = desktop().application(pid_);
    return app ? autoreleasedString(app->name) : nullptr;
}

NSString* NSRunningApplication::bundleIdentifier() const {
    const sim::Application* app = desktop().application(pid_);
    return app ? autoreleasedString(app->bundleIdentifier) : nullptr;
}

NSURL* NSRunningApplication::bundleURL() const {
    const sim::Application* app = desktop().application(pid_);
    if (app == nullptr || !app->bundlePath) {
        return nullptr;
    }
    return NSURL::fileURLWithPathIsDirectory(autoreleasedString(*app->bundlePath), true);
}

// Time-varying properties keep their values until the main run loop turns in a common mode.
bool NSRunningApplication::isHidden() const {
    const sim::Application* app = desktop().application(pid_);
    return app != nullptr && app->publishedHidden;
}

bool NSRunningApplication::isActive() const {
    return desktop().application(pid_) != nullptr && desktop().publishedActivePid() == pid_;
}

bool NSRunningApplication::isTerminated() const {
    return desktop().application(pid_) == nullptr;
}

bool NSRunningApplication::hide() {
    if (sim::failCall<"hide">() || desktop().application(pid_) == nullptr) {
        return false;
    }
    desktop().requestHide(pid_);
    return true;
}

bool NSRunningApplication::unhide() {
    if (desktop().application(pid_) == nullptr) {
        return false;
    }
    desktop().unhide(pid_);
    return true;
}

bool NSRunningApplication::activateWithOptions(NSApplicationActivationOptions options) {
    if (desktop().application(pid_) == nullptr) {
        return false;
    }
    desktop().activate(pid_, (options & NSApplicationActivateAllWindows) != 0);
    return true;
}

bool NSRunningApplication::isEqual(const NSObject* other) const {
    const NSRunningApplication* app = dynamic_objc_cast<NSRunningApplication>(other);
    return app != nullptr && app->pid_ == pid_;
}

NSString* NSRunningApplication::description() const {
    const sim::Application* app = desktop().application(pid_);
    return NSString::stringWithFormat("<NSRunningApplication: pid=%d, %s>", pid_,
                                      app ? desktop().nameOf(pid_).c_str() : "terminated");
}
