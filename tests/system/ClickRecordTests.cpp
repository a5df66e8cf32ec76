// The click record built at a release: its 18 positions and the substitutes for what a source
// does not give.
#include <TypeCastsCocoa.h>
#include <UIElement/UIElement.h>

#include <string>
#include <vector>

#include "ApplicationServices/AccessibilityInternal.h"
#include "WatcherTest.h"
#include "sim/Faults.h"

namespace {

using sim::desktop;

class ClickRecord : public WatcherTest {
protected:
    // The record of a release at `at`, with the given flags and the given snapshot.
    NSArray* recordAt(CGPoint at, CGEventFlags flags = 0, NSString* name = nullptr,
                      NSString* file = nullptr, NSNumber* pid = nullptr) {
        RetainPtr<CGEventRef> event =
            adoptCF(CGEventCreateMouseEvent(nullptr, kCGEventLeftMouseUp, at, kCGMouseButtonLeft));
        CGEventSetFlags(event.get(), flags);
        return makePassiveDefaultArgv(event.get(), 1, name, file, pid);
    }

    static std::string text(NSArray* record, NSUInteger position) {
        NSString* value = dynamic_objc_cast<NSString>(record->objectAtIndex(position));
        return value != nullptr ? value->utf8() : "<not a string>";
    }
    static long long number(NSArray* record, NSUInteger position) {
        NSNumber* value = dynamic_objc_cast<NSNumber>(record->objectAtIndex(position));
        return value != nullptr ? value->longLongValue() : -999;
    }
    static bool isNull(NSArray* record, NSUInteger position) {
        return record->objectAtIndex(position) == NSNull::null();
    }
    static std::vector<std::string> modifiers(NSArray* record) {
        std::vector<std::string> names;
        for (id name : *static_cast<NSArray*>(record->objectAtIndex(3))) {
            names.push_back(static_cast<NSString*>(name)->utf8());
        }
        return names;
    }
};

TEST_F(ClickRecord, DescribesAReleaseOnAnApplicationsDockItem) {
    const pid_t safari = addApp("Safari");
    NSArray* record = recordAt(dockItem("Safari"));
    ASSERT_EQ(record->count(), 18u);
    EXPECT_EQ(number(record, 2), 1);
    EXPECT_EQ(text(record, 4), "Safari");
    EXPECT_EQ(text(record, 5), "Safari");
    EXPECT_EQ(number(record, 6), safari);
    EXPECT_EQ(text(record, 10), "Dock");
    EXPECT_EQ(text(record, 11), "Dock");
    EXPECT_EQ(number(record, 12), sim::kDockPid);
    EXPECT_EQ(text(record, 13), "AXDockItem");
    EXPECT_EQ(text(record, 14), "AXApplicationDockItem");
    EXPECT_EQ(text(record, 15), "Safari");
    EXPECT_EQ(text(record, 16), "");
    EXPECT_EQ(text(record, 17), "");
    // A second copy of the application, made active: the record tells of that copy.
    const pid_t copy = addApp("Safari");
    sim::desktop().activate(copy);
    EXPECT_EQ(number(recordAt(dockItem("Safari")), 6), copy);
}

TEST_F(ClickRecord, CoordinatesAreTruncatedTowardZero) {
    NSArray* record = recordAt(CGPointMake(100.7, 200.2));
    EXPECT_EQ(number(record, 0), 100);
    EXPECT_EQ(number(record, 1), 200);
    record = recordAt(CGPointMake(-3.7, 5.9));
    EXPECT_EQ(number(record, 0), -3);
    EXPECT_EQ(number(record, 1), 5);
    // Beyond the 32-bit range the coordinate saturates instead of overflowing.
    record = recordAt(CGPointMake(1e12, -1e12));
    EXPECT_EQ(number(record, 0), 2147483647);
    EXPECT_EQ(number(record, 1), -2147483648LL);
}

TEST_F(ClickRecord, ModifiersComeInTheirFixedOrder) {
    EXPECT_TRUE(modifiers(recordAt(CGPointMake(5, 5))).empty());
    EXPECT_EQ(
        modifiers(recordAt(CGPointMake(5, 5), kCGEventFlagMaskShift | kCGEventFlagMaskControl)),
        (std::vector<std::string>{"control", "shift"}));
    frameworks::eventSystem().setKeyDown(0x68, true);
    frameworks::eventSystem().setKeyDown(0x66, true);
    frameworks::eventSystem().setButtonDown(kCGMouseButtonRight, true);
    frameworks::eventSystem().setButtonDown(7, true);
    const CGEventFlags all = kCGEventFlagMaskAlphaShift | kCGEventFlagMaskSecondaryFn |
                             kCGEventFlagMaskAlternate | kCGEventFlagMaskShift |
                             kCGEventFlagMaskCommand | kCGEventFlagMaskControl;
    EXPECT_EQ(modifiers(recordAt(CGPointMake(5, 5), all)),
              (std::vector<std::string>{"control", "command", "shift", "option", "fn", "caps",
                                        "eisuu", "kana", "mouseButtonRight", "mouseButton8"}));
}

TEST_F(ClickRecord, ButtonsAreTheHandsAndSpecialKeysEverythingPosted) {
    // A process posts a right-button press and a Kana key press; the user holds the left button.
    for (CGEventRef posted : {CGEventCreateMouseEvent(nullptr, kCGEventRightMouseDown,
                                                      CGPointMake(5, 5), kCGMouseButtonRight),
                              CGEventCreateKeyboardEvent(nullptr, 0x68, true)}) {
        CGEventPost(kCGHIDEventTap, posted);
        CFRelease(posted);
    }
    press(CGPointMake(5, 5));
    EXPECT_EQ(modifiers(recordAt(CGPointMake(5, 5))),
              (std::vector<std::string>{"kana", "mouseButtonLeft"}));
}

// The caller's snapshot is stored as its own objects; without one its positions hold null,
// never a string that could match a title, and with no active application its positions are
// absent.
TEST_F(ClickRecord, TheSnapshotIsTheCallersObjectsOrNull) {
    NSString* name = NSString::stringWithUTF8String("Safari");
    NSString* file = NSString::stringWithUTF8String("Safari");
    NSNumber* pid = NSNumber::numberWithInt(501);
    NSArray* record = recordAt(CGPointMake(5, 5), 0, name, file, pid);
    EXPECT_EQ(record->objectAtIndex(7), name);
    EXPECT_EQ(record->objectAtIndex(8), file);
    EXPECT_EQ(record->objectAtIndex(9), pid);
    record = recordAt(CGPointMake(5, 5));
    EXPECT_TRUE(isNull(record, 7));
    EXPECT_TRUE(isNull(record, 9));
    EXPECT_EQ(text(record, 4), "");
    EXPECT_TRUE(isNull(record, 5));
    EXPECT_TRUE(isNull(record, 6));
}

// A failed attribute request empties the attribute positions; without the Dock every element
// position is empty.
TEST_F(ClickRecord, AFailedAttributeRequestOrNoDockEmptiesTheElementPositions) {
    addApp("Safari");
    const CGPoint item = dockItem("Safari");
    sim::injectFault(
        {.call = "AXUIElementCopyMultipleAttributeValues", .status = kAXErrorCannotComplete});
    NSArray* record = recordAt(item);
    for (NSUInteger position : {13, 14, 15, 17}) {
        EXPECT_EQ(text(record, position), "") << position;
    }
    EXPECT_EQ(text(record, 10), "Dock");
    sim::clearFaults();
    desktop().quit(sim::kDockPid);
    record = recordAt(item);
    for (NSUInteger position : {10, 11, 13, 14, 15, 17}) {
        EXPECT_EQ(text(record, position), "") << position;
    }
    EXPECT_EQ(number(record, 12), 0);
    EXPECT_EQ(text(record, 4), "Safari");
    EXPECT_EQ(number(record, 0), static_cast<long long>(item.x));
}

TEST_F(ClickRecord, AttributesThatAreMissingOrNotStringsReadAsEmpty) {
    sim::DockItemSpec folder;
    folder.title = "Downloads";
    folder.url = "file:///Users/me/Downloads/";
    folder.urlObject = true;
    const sim::NodeId item = desktop().addDockItem(folder);
    sim::injectFault({.call = "AXUIElementCopyAttributeValue",
                      .status = kAXErrorNoValue,
                      .element = item,
                      .name = u"AXSubrole"});
    frameworks::setAttribute(item, "AXTitle", NSNumber::numberWithInt(7));
    NSArray* record = recordAt(middleOf(item));
    EXPECT_EQ(text(record, 14), "");
    EXPECT_EQ(text(record, 15), "");
    EXPECT_EQ(text(record, 17), "");  // a URL object, not a string
    folder.urlObject = false;
    EXPECT_EQ(text(recordAt(middleOf(desktop().addDockItem(folder))), 17),
              "file:///Users/me/Downloads/");
}

// A missing attribute stands in the multiple read as an error value or as null; the record
// reads either as the empty string. A role that is no string is kept as it is.
TEST_F(ClickRecord, AMissingRoleOrSubroleReadsAsEmptyARoleThatIsNoStringAsItIs) {
    addApp("Safari");
    const sim::NodeId item = *desktop().dockItemTitled("Safari");
    for (const auto standIn :
         {frameworks::MissingAttribute::ErrorValue, frameworks::MissingAttribute::Null}) {
        frameworks::standMissingAttributesAs(standIn);
        for (const auto& [attribute, position] :
             {std::pair{u"AXRole", 13}, std::pair{u"AXSubrole", 14}}) {
            sim::injectFault({.call = "AXUIElementCopyAttributeValue",
                              .status = kAXErrorNoValue,
                              .element = item,
                              .name = attribute});
            NSArray* record = recordAt(middleOf(item));
            EXPECT_EQ(text(record, position), "") << position;
            EXPECT_EQ(text(record, 15), "Safari");
            sim::clearFaults();
        }
    }
    frameworks::setAttribute(item, "AXRole", NSNumber::numberWithInt(42));
    EXPECT_EQ(number(recordAt(middleOf(item)), 13), 42);
}

// An owner whose pid cannot be read gives empty names and zero; one that no running
// application answers to, absent names and zero.
TEST_F(ClickRecord, AnUnreadableOrUnknownOwnerGivesZeroAndEmptyOrAbsentNames) {
    addApp("Safari");
    sim::injectFault({.call = "AXUIElementGetPid", .status = kAXErrorFailure});
    NSArray* record = recordAt(dockItem("Safari"));
    EXPECT_EQ(text(record, 10), "");
    EXPECT_EQ(text(record, 11), "");
    EXPECT_EQ(number(record, 12), 0);
    EXPECT_EQ(text(record, 14), "AXApplicationDockItem");
    sim::clearFaults();
    sim::injectFault({.call = "runningApplicationWithProcessIdentifier"});
    record = recordAt(dockItem("Safari"));
    EXPECT_TRUE(isNull(record, 10));
    EXPECT_TRUE(isNull(record, 11));
    EXPECT_EQ(number(record, 12), 0);
}

TEST_F(ClickRecord, AttributesComeInOneRequestAndTheElementIsNotKept) {
    addApp("Safari");
    const CGPoint item = dockItem("Safari");
    const long live = liveObjectsOfTheSystem();
    sim::resetCallCounts();
    {
        NSAutoreleasePool pool;
        recordAt(item);
    }
    EXPECT_EQ(liveObjectsOfTheSystem(), live);
    EXPECT_EQ(sim::callCount("AXUIElementCopyMultipleAttributeValues"), 1u);
    EXPECT_EQ(sim::callCount("AXUIElementCopyAttributeValue"), 0u);
    EXPECT_EQ(sim::callCount("AXUIElementCopyElementAtPosition"), 1u);
}

}  // namespace
