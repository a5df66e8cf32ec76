// The application delegate's lifecycle: the default preferences, the launch sequence, the
// settings window, the accessibility-access test, the Dock icon, the accessibility settings
// pane, reopening and termination.
#include "QuenfoldAppDelegate.h"

#include <TypeCastsCocoa.h>
#include <UIElement/UIElement.h>

namespace {

CFStringRef launchAutomaticallyOnLoginKey() {
    return CFSTR("LaunchAutomaticallyOnLogin");
}
CFStringRef showSettingsOnLaunchKey() {
    return CFSTR("ShowSettingsOnLaunch");
}
CFStringRef hideDockIconKey() {
    return CFSTR("HideDockIcon");
}

// The interface file makes the one delegate by this class's name and connects it.
[[maybe_unused]] const auto gRuntimeRegistration =
    RuntimeClassRegistration<QuenfoldAppDelegate>("QuenfoldAppDelegate")
        .initialize(&QuenfoldAppDelegate::initialize)
        .outlet("window", &QuenfoldAppDelegate::setWindow)
        .outlet("axapiMessageTextField", &QuenfoldAppDelegate::axapiMessageTextField)
        .action("changeSetting:", &QuenfoldAppDelegate::changeSetting)
        .action("openUniversalAccessPref:", &QuenfoldAppDelegate::openUniversalAccessPref)
        .awakeFromNib(&QuenfoldAppDelegate::awakeFromNib);

}  // namespace

void QuenfoldAppDelegate::initialize() {
    // Registered in the registration domain, never stored: unset keys read as these.
    RetainPtr<NSMutableDictionary*> defaults = adoptCF(NSMutableDictionary::create());
    defaults->setObject(NSNumber::numberWithBool(NO), launchAutomaticallyOnLoginKey());
    defaults->setObject(NSNumber::numberWithBool(YES), showSettingsOnLaunchKey());
    defaults->setObject(NSNumber::numberWithBool(NO), hideDockIconKey());
    NSUserDefaults::standardUserDefaults()->registerDefaults(defaults.get());
}

void QuenfoldAppDelegate::awakeFromNib() {}

void QuenfoldAppDelegate::changeSetting(id) {
    // The control has stored its new value before sending this: the stored value decides.
    NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
    const bool wanted = defaults->boolForKey(launchAutomaticallyOnLoginKey());
    setLaunchAutomaticallyOnLogin(wanted);
    // Adding or removing the entry can fail (the list cannot be written, the entry cannot be
    // inserted), and the setter reports nothing: the preference, and the control that shows
    // it, end up saying what the list really holds.
    const bool listed = isLaunchAutomaticallyOnLogin();
    if (listed != wanted) {
        defaults->setBool(listed, launchAutomaticallyOnLoginKey());
    }
}

void QuenfoldAppDelegate::applicationDidFinishLaunching(NSNotification*) {
    set_systemWideElement();
    checkAXAPI();
    NSNotificationCenter::defaultCenter()->addObserver(
        this, &QuenfoldAppDelegate::MyApplicationWillTerminateNotification,
        NSApplicationWillTerminateNotification, NSApp);
    installPassiveEventTap();
    // From here on the preference mirrors the login-item list.
    NSUserDefaults::standardUserDefaults()->setBool(isLaunchAutomaticallyOnLogin(),
                                                    launchAutomaticallyOnLoginKey());
    if (!NSUserDefaults::standardUserDefaults()->boolForKey(hideDockIconKey())) {
        showDockIcon();
    }
    if (NSUserDefaults::standardUserDefaults()->boolForKey(showSettingsOnLaunchKey())) {
        presentSettingsWindow();
    }
}

void QuenfoldAppDelegate::MyApplicationWillTerminateNotification(NSNotification*) {}

NSApplicationTerminateReply QuenfoldAppDelegate::applicationShouldTerminate(NSApplication*) {
    return NSTerminateNow;
}

void QuenfoldAppDelegate::applicationWillTerminate(NSNotification*) {
    releasePassiveEventTap();
}

bool QuenfoldAppDelegate::applicationShouldHandleReopen(NSApplication*, bool) {
    presentSettingsWindow();
    return YES;
}

void QuenfoldAppDelegate::checkAXAPI() {
    if (AXAPIEnabled()) {
        if (auto* field = dynamic_objc_cast<NSTextField>(axapiMessageTextField)) {
            field->setStringValue(CFSTR("\"Enable access for assistive devices\" is ON."));
            field->setTextColor(NSColor::blackColor());
        }
    } else {
        // The settings window's laid-out status tells the user that access is off.
        presentSettingsWindow();
    }
}

void QuenfoldAppDelegate::showDockIcon() {
    ProcessSerialNumber currentProcess = {0, kCurrentProcess};
    TransformProcessType(&currentProcess, kProcessTransformToForegroundApplication);
}

void QuenfoldAppDelegate::openUniversalAccessPref(id) {
    NSArray* folders =
        NSSearchPathForDirectoriesInDomains(NSPreferencePanesDirectory, NSSystemDomainMask, YES);
    // Only one system folder of preference panes is expected; anything else is not opened.
    if (folders == nullptr || folders->count() != 1) {
        return;
    }
    auto* folder = dynamic_objc_cast<NSString>(folders->objectAtIndex(0));
    if (folder == nullptr) {
        return;
    }
    NSString* pane = folder->stringByAppendingPathComponent(CFSTR("UniversalAccessPref.prefPane"));
    NSWorkspace::sharedWorkspace()->openURL(NSURL::fileURLWithPath(pane));
}

void QuenfoldAppDelegate::presentSettingsWindow() {
    // Ordered front both before and after the activation, so that it ends in front of the
    // application's other windows either way.
    if (window_ != nullptr) {
        window_->orderFront(nil);
    }
    if (NSApp != nullptr) {
        NSApp->activateIgnoringOtherApps(YES);
    }
    if (window_ != nullptr) {
        window_->orderFront(nil);
    }
}
