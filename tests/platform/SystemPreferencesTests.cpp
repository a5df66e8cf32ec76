// System Preferences: opened at a pane by the workspace, its windows and controls reached by
// accessibility hit-testing and clicked by the user's hand through the same road as any click.
#include <RetainPtr.h>

#include <string>
#include <vector>

#include "ApplicationServices/AccessibilityInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "SessionTest.h"
#include "control/SystemPreferences.h"
#include "control/SystemProcess.h"
#include "sim/Clock.h"

namespace {

using sim::desktop;

class SystemPreferences : public SessionTest {
protected:
    static void openPane(const char* file) {
        NSString* path = NSString::stringWithUTF8String(
            (std::string(sim::kPreferencePanesFolder) + "/" + file).c_str());
        ASSERT_TRUE(NSWorkspace::sharedWorkspace()->openURL(NSURL::fileURLWithPath(path)));
    }

    static RetainPtr<CFTypeRef> attribute(AXUIElementRef element, CFStringRef name) {
        RetainPtr<CFTypeRef> value;
        EXPECT_EQ(AXUIElementCopyAttributeValue(element, name, value.initializeInto()),
                  kAXErrorSuccess);
        return value;
    }

    // The element the accessibility API finds at a point of the screen.
    static RetainPtr<AXUIElementRef> elementAt(CGPoint at) {
        const RetainPtr<AXUIElementRef> systemWide = adoptCF(AXUIElementCreateSystemWide());
        RetainPtr<AXUIElementRef> hit;
        EXPECT_EQ(AXUIElementCopyElementAtPosition(systemWide.get(), static_cast<float>(at.x),
                                                   static_cast<float>(at.y), hit.initializeInto()),
                  kAXErrorSuccess);
        return hit;
    }

    // The rows of the Login Items list, in order.
    static std::vector<sim::NodeId> rows() {
        sim::worldTurn();
        for (sim::NodeId window : desktop().windowsOf(*sim::systemPreferencesPid())) {
            for (sim::NodeId child : desktop().node(window)->children) {
                if (desktop().node(child)->role == u"AXList") {
                    return desktop().node(child)->children;
                }
            }
        }
        return {};
    }
    static std::vector<std::u16string> rowTitles() {
        std::vector<std::u16string> titles;
        for (sim::NodeId row : rows()) {
            titles.push_back(*desktop().node(row)->title);
        }
        return titles;
    }
    // The user's hand clicks there; the world turns.
    static void clickAt(CGPoint at) {
        frameworks::eventSystem().pressLeft(at.x, at.y);
        frameworks::eventSystem().releaseLeft(at.x, at.y);
        sim::worldTurn();
    }
};

TEST_F(SystemPreferences, TheUniversalAccessCheckBoxIsAnElementThatTheHandAndAXPressSwitch) {
    addApp("Safari");
    openPane("UniversalAccessPref.prefPane");
    const std::optional<pid_t> pid = sim::systemPreferencesPid();
    ASSERT_TRUE(pid);
    EXPECT_EQ(desktop().activePid(), pid);
    EXPECT_EQ(desktop().application(*pid)->bundleIdentifier, u"com.apple.systempreferences");
    EXPECT_TRUE(desktop().dockItemTitled("System Preferences"));

    const sim::NodeId box = *desktop().frontControlTitled(sim::kAssistiveDevicesCheckbox);
    const CGPoint middle = middleOf(box);
    const RetainPtr<AXUIElementRef> element = elementAt(middle);
    EXPECT_TRUE(CFEqual(attribute(element.get(), CFSTR("AXRole")).get(), CFSTR("AXCheckBox")));
    RetainPtr<CFTypeRef> window = attribute(element.get(), CFSTR("AXParent"));
    EXPECT_TRUE(
        CFEqual(attribute(static_cast<AXUIElementRef>(window.get()), CFSTR("AXTitle")).get(),
                CFSTR("Universal Access")));
    EXPECT_EQ(frameworks::checkBoxTicked(box), true);

    // A press on the check box released beside it is no click.
    frameworks::eventSystem().pressLeft(middle.x, middle.y);
    frameworks::eventSystem().releaseLeft(middle.x, middle.y + 40);
    EXPECT_TRUE(desktop().accessEnabled());
    clickAt(middle);
    EXPECT_FALSE(desktop().accessEnabled());
    EXPECT_EQ(frameworks::checkBoxTicked(box), false);
    clickAt(middle);
    EXPECT_TRUE(desktop().accessEnabled());
    EXPECT_EQ(AXUIElementPerformAction(element.get(), CFSTR("AXPress")), kAXErrorSuccess);
    EXPECT_FALSE(desktop().accessEnabled());
}

TEST_F(SystemPreferences, UsersAndGroupsShowsTheLoginItemsAndItsButtonsChangeTheList) {
    ASSERT_TRUE(sim::appendLoginItem({"/Applications/Mail.app"}, nullptr));
    ASSERT_TRUE(sim::appendLoginItem({"/Applications/Notes.app"}, nullptr));
    addApp("Safari");
    openPane("Accounts.prefPane");
    EXPECT_EQ(rowTitles(), (std::vector<std::u16string>{u"Mail", u"Notes"}));
    const CGPoint remove = middleOf(*desktop().frontControlTitled("\u2212"));
    const CGPoint add = middleOf(*desktop().frontControlTitled("+"));

    clickAt(remove);  // no row is selected: nothing goes
    EXPECT_EQ(sim::loginItems().size(), 2u);
    clickAt(middleOf(rows()[1]));
    clickAt(remove);
    EXPECT_EQ(rowTitles(), std::vector<std::u16string>{u"Mail"});
    // "+" adds the application the user came from, at the end; once only.
    clickAt(add);
    clickAt(add);
    EXPECT_EQ(rowTitles(), (std::vector<std::u16string>{u"Mail", u"Safari"}));
    // A change another process makes shows at the next turn.
    ASSERT_TRUE(sim::appendLoginItem({"/Applications/Notes.app"}, nullptr));
    EXPECT_EQ(rowTitles(), (std::vector<std::u16string>{u"Mail", u"Safari", u"Notes"}));
}

}  // namespace
