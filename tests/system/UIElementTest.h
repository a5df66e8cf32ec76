// Fixture for the toolkit's suites: "Mail" with a window "Inbox" that holds a group with a
// button "Send", behind the active "Notes", and the elements the tests hold until they end.
#pragma once

#include <RetainPtr.h>
#include <TypeCastsCF.h>

#include <climits>
#include <optional>
#include <string>

#include "ApplicationServices/AccessibilityInternal.h"
#include "SystemTest.h"
#include "sim/Faults.h"

class UIElementTest : public SystemTest {
protected:
    void TearDown() override {
        window_.clear();
        send_.clear();
        SystemTest::TearDown();
    }

    // An application; an empty bundle path makes a process without a bundle.
    static pid_t addApp(const std::string& name, std::optional<std::string> bundlePath = {}) {
        sim::ApplicationSpec setup;
        setup.name = name;
        setup.noBundle = bundlePath && bundlePath->empty();
        setup.bundlePath = std::move(bundlePath);
        return sim::desktop().addApplication(setup);
    }

    // Mail → window "Inbox" → a group → button "Send", whose actions are AXPress, clickTwice and
    // ClickThrough; Notes is active.
    void buildMail() {
        mail_ = addApp("Mail");
        notes_ = addApp("Notes");
        windowNode_ = sim::desktop().addWindow(mail_, "Inbox");
        group_ = sim::desktop().addElement(windowNode_, {});
        sim::ElementSpec send;
        send.role = "AXButton";
        send.title = "Send";
        send.actions = {"AXPress", "clickTwice", "ClickThrough"};
        sendNode_ = sim::desktop().addElement(group_, send);
        window_ = element(windowNode_);
        send_ = element(sendNode_);
        sim::desktop().activate(notes_);
    }

    static RetainPtr<AXUIElementRef> element(sim::NodeId node) {
        return adoptCF(frameworks::createElement(node));
    }

    // The text of a copy… result, which the caller alone owns: nothing of it is left in the
    // test's pool.
    std::u16string adoptText(CFTypeRef value) {
        RetainPtr<CFTypeRef> owned = adoptCF(value);
        CFStringRef text = dynamic_cf_cast<CFStringRef>(owned.get());
        if (text == nullptr) {
            return owned ? u"(no text)" : u"(null)";
        }
        const CFIndex references = CFGetRetainCount(text);
        EXPECT_TRUE(references == 1 || references == LONG_MAX) << "constants ignore counting";
        EXPECT_EQ(pool_->pendingCount(), 0u);
        return text->units();
    }

    pid_t mail_ = 0;
    pid_t notes_ = 0;
    sim::NodeId windowNode_ = 0;
    sim::NodeId group_ = 0;
    sim::NodeId sendNode_ = 0;
    RetainPtr<AXUIElementRef> window_;
    RetainPtr<AXUIElementRef> send_;
};
