// The toolkit's guarded attribute read, its two pseudo-attributes, and the three searches for a
// direct child (by title, by role, by position).
#include <vector>

#include "UIElementTest.h"

namespace {

using sim::desktop;

class UIElementAttribute : public UIElementTest {
protected:
    void TearDown() override {
        parent_.clear();
        UIElementTest::TearDown();
    }

    // A window "Inbox" of "Mail" holding a group (beside its title bar's buttons) with one child
    // for each (role, title); nullptr: no title.
    void buildWindow(const std::vector<std::pair<const char*, const char*>>& children) {
        windowNode_ = desktop().addWindow(addApp("Mail"), "Inbox");
        group_ = desktop().addElement(windowNode_, {});
        for (const auto& [role, title] : children) {
            sim::ElementSpec setup;
            setup.role = role;
            if (title != nullptr) {
                setup.title = title;
            }
            children_.push_back(desktop().addElement(group_, setup));
        }
        window_ = element(windowNode_);
        parent_ = element(group_);
    }

    // A search result: the child's element, borrowed and still usable.
    static void expectChild(AXUIElementRef found, sim::NodeId node) {
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(frameworks::nodeOf(found), node);
    }

    static NSArray* titles(std::initializer_list<CFTypeRef> candidates) {
        return NSArray::arrayWithObjects(candidates);
    }

    RetainPtr<AXUIElementRef> parent_;  // the group searched
    std::vector<sim::NodeId> children_;
};

// --- copyValueOfExistingAttribute

TEST_F(UIElementAttribute, AnAttributeIsHandedOverOrNullWhenUnnamedMissingEmptyOrFailing) {
    buildWindow({});
    EXPECT_EQ(adoptText(copyValueOfExistingAttribute(CFSTR("AXTitle"), window_.get())), u"Inbox");
    EXPECT_EQ(copyValueOfExistingAttribute(nullptr, window_.get()), nullptr);
    EXPECT_EQ(copyValueOfExistingAttribute(CFSTR(""), window_.get()), nullptr);
    EXPECT_EQ(sim::callCount("AXUIElementCopyAttributeValue"), 1u) << "no name, no request";
    EXPECT_EQ(copyValueOfExistingAttribute(CFSTR("AXURL"), window_.get()), nullptr);
    EXPECT_EQ(copyValueOfExistingAttribute(CFSTR("AXDescription"), window_.get()), nullptr);
    sim::injectFault({.call = "AXUIElementCopyAttributeValue", .status = kAXErrorCannotComplete});
    EXPECT_EQ(copyValueOfExistingAttribute(CFSTR("AXTitle"), window_.get()), nullptr);
    sim::clearFaults();
    // "lineage" in lower case is the lineage text; otherwise it names an attribute.
    EXPECT_EQ(adoptText(copyValueOfExistingAttribute(CFSTR("lineage"), window_.get())),
              u"<AXApplication: \"Mail\">\n <AXWindow: \"Inbox\">\n");
    EXPECT_EQ(copyValueOfExistingAttribute(CFSTR("lineage"), nullptr), nullptr);
    frameworks::setAttribute(windowNode_, "Lineage", CFSTR("an attribute"));
    EXPECT_EQ(adoptText(copyValueOfExistingAttribute(CFSTR("Lineage"), window_.get())),
              u"an attribute");
}

TEST_F(UIElementAttribute, ActionsAreOneNamePerLineAndNeverAnAttributeRequest) {
    buildWindow({{"AXButton", "Send"}});
    desktop().setActions(children_[0], {"AXPress", "AXShowMenu"});
    frameworks::setAttribute(children_[0], "actions", CFSTR("an attribute of that name"));
    RetainPtr<AXUIElementRef> button = adoptCF(frameworks::createElement(children_[0]));
    EXPECT_EQ(adoptText(copyValueOfExistingAttribute(CFSTR("actions"), button.get())),
              u"AXPress\nAXShowMenu\n");
    EXPECT_EQ(sim::callCount("AXUIElementCopyAttributeValue"), 0u);
    desktop().setActions(children_[0], {});
    EXPECT_EQ(adoptText(copyValueOfExistingAttribute(CFSTR("actions"), button.get())), u"");
    sim::injectFault({.call = "AXUIElementCopyActionNames", .status = kAXErrorCannotComplete});
    EXPECT_EQ(copyValueOfExistingAttribute(CFSTR("actions"), button.get()), nullptr);
}

// --- getTitleElementInChildren, getRoleElementInChildren, getIndexElementInChildren

TEST_F(UIElementAttribute, TitleSearchFindsTheFirstExactMatchInChildOrderReadingEveryTitle) {
    const char* b = "AXButton";
    buildWindow({{b, nullptr}, {b, "Send "}, {b, "A"}, {b, "B"}, {b, "A"}, {b, "send"}});
    EXPECT_EQ(getTitleElementInChildren(parent_.get(), titles({CFSTR("Send"), CFSTR("Sen")})),
              nullptr);
    EXPECT_EQ(getTitleElementInChildren(parent_.get(), nullptr), nullptr);
    EXPECT_EQ(sim::callCount("AXUIElementCopyAttributeValue"), 2 * (1 + children_.size()))
        << "every title is read before giving up";
    expectChild(getTitleElementInChildren(parent_.get(), titles({CFSTR("B"), CFSTR("A")})),
                children_[2]);
    expectChild(getTitleElementInChildren(parent_.get(), titles({CFSTR("B")})), children_[3]);
}

TEST_F(UIElementAttribute, RoleAndPositionSearchesFindADirectChildOfExactlyThatRoleOrIndex) {
    buildWindow({{"AXGroup", nullptr}, {"AXButton", "OK"}, {"AXButton", "Cancel"}});
    sim::ElementSpec field;
    field.role = "AXTextField";
    desktop().addElement(children_[0], field);
    expectChild(getRoleElementInChildren(parent_.get(), CFSTR("AXButton")), children_[1]);
    EXPECT_EQ(getRoleElementInChildren(parent_.get(), CFSTR("AXTextField")), nullptr);
    EXPECT_EQ(getRoleElementInChildren(parent_.get(), CFSTR("axbutton")), nullptr);
    EXPECT_EQ(getRoleElementInChildren(parent_.get(), nullptr), nullptr);
    expectChild(getIndexElementInChildren(parent_.get(), 2), children_[2]);
    EXPECT_EQ(getIndexElementInChildren(parent_.get(), -1), nullptr);
    EXPECT_EQ(getIndexElementInChildren(parent_.get(), 3), nullptr);
}

TEST_F(UIElementAttribute, AFoundChildStaysValidWithoutAPoolOfTheCallersAndLeavesNoListBehind) {
    buildWindow({{"AXButton", "OK"}});
    {
        NSAutoreleasePool drained;  // a child found in a pool outlives it
        expectChild(getRoleElementInChildren(parent_.get(), CFSTR("AXButton")), children_[0]);
    }
    pool_.reset();  // the caller has no autorelease pool at all
    const std::size_t kept = countOfKeptChildElements();
    const long live = NSObjectLiveCount();
    AXUIElementRef found = getIndexElementInChildren(parent_.get(), 0);
    expectChild(found, children_[0]);
    RetainPtr<CFTypeRef> title = adoptCF(copyValueOfExistingAttribute(CFSTR("AXTitle"), found));
    EXPECT_TRUE(CFEqual(title.get(), CFSTR("OK")));
    title.clear();
    // Only the kept child is left: kept now, or by an earlier search for an equal element.
    EXPECT_EQ(NSObjectLiveCount() - live, static_cast<long>(countOfKeptChildElements() - kept));
}

TEST_F(UIElementAttribute, AChildFoundAgainByAnySearchIsTheOneKept) {
    buildWindow({{"AXButton", "OK"}, {"AXButton", "Cancel"}});
    const std::size_t kept = countOfKeptChildElements();
    AXUIElementRef found = getIndexElementInChildren(parent_.get(), 0);
    EXPECT_EQ(getTitleElementInChildren(parent_.get(), titles({CFSTR("OK")})), found);
    EXPECT_EQ(getRoleElementInChildren(parent_.get(), CFSTR("AXButton")), found);
    EXPECT_EQ(getIndexElementInChildren(parent_.get(), 0), found);
    EXPECT_LE(countOfKeptChildElements() - kept, 1u);
}

TEST_F(UIElementAttribute, UnreadableChildrenOrOnesThatAreNoElementsAreNeverHandedOut) {
    buildWindow({{"AXButton", "OK"}});
    sim::injectFault({.call = "AXUIElementCopyAttributeValue", .name = u"AXChildren", .count = 3});
    EXPECT_EQ(getTitleElementInChildren(parent_.get(), titles({CFSTR("OK")})), nullptr);
    EXPECT_EQ(getRoleElementInChildren(parent_.get(), CFSTR("AXButton")), nullptr);
    EXPECT_EQ(getIndexElementInChildren(parent_.get(), 0), nullptr);
    RetainPtr<AXUIElementRef> button = adoptCF(frameworks::createElement(children_[0]));
    frameworks::setAttribute(group_, "AXChildren", titles({CFSTR("OK"), button.get()}));
    EXPECT_EQ(getIndexElementInChildren(parent_.get(), 0), nullptr);
    expectChild(getTitleElementInChildren(parent_.get(), titles({CFSTR("OK")})), children_[0]);
    frameworks::setAttribute(group_, "AXChildren", CFSTR("not a list"));
    EXPECT_EQ(getIndexElementInChildren(parent_.get(), 0), nullptr);
}

}  // namespace
