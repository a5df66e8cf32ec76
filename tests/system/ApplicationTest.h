// Fixture for tests that launch the system from its bundle: a session whose main bundle is a
// fresh copy of the application's resources (see TestBundle.h), and helpers that read what
// the launched system shows.
#pragma once

#include <TypeCastsCocoa.h>

#include <optional>
#include <string>

#include "SystemTest.h"
#include "TestBundle.h"
#include "control/SystemProcess.h"
#include "sim/Faults.h"
#include "sim/Transcript.h"

class ApplicationTest : public SystemTest {
protected:
    void SetUp() override {
        sim::setMainBundlePath(bundle_.path());
        SystemTest::SetUp();
    }

    void TearDown() override {
        SystemTest::TearDown();
        sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
    }

    static void launch() {
        std::string error;
        ASSERT_TRUE(frameworks::launchSystem(&error)) << error;
    }

    // The delegate the interface file made, once launched.
    static QuenfoldAppDelegate* delegate() {
        return NSApp != nullptr ? dynamic_cast<QuenfoldAppDelegate*>(NSApp->delegate()) : nullptr;
    }

    static void storeDefault(const std::string& key, bool value) {
        std::string error;
        ASSERT_TRUE(sim::storeSystemDefault(key, value, &error)) << error;
    }

    // What the application's own preference domain holds for the key (not the registered
    // defaults).
    static std::optional<bool> storedDefault(const std::string& key) {
        NSAutoreleasePool pool;
        NSDictionary* stored = NSUserDefaults::standardUserDefaults()->persistentDomainForName(
            CFSTR("org.quenfold.Quenfold"));
        RetainPtr<CFStringRef> name = adoptCF<CFStringRef>(NSString::createWithUTF8(key));
        auto* value = stored != nullptr
                          ? dynamic_objc_cast<NSNumber>(stored->objectForKey(name.get()))
                          : nullptr;
        return value != nullptr ? std::optional<bool>(value->boolValue()) : std::nullopt;
    }

    static bool dockIconShown() {
        const sim::Application* system = sim::desktop().application(sim::kSystemPid);
        return system != nullptr && system->foreground;
    }

    // How often a window of the system was ordered in front: only the settings window is.
    static std::size_t settingsOrderedFront() { return sim::callCount("orderFront:"); }

    NSTextField* statusField() const {
        return delegate() != nullptr
                   ? dynamic_objc_cast<NSTextField>(delegate()->axapiMessageTextField)
                   : nullptr;
    }

    TestBundle bundle_;
};
