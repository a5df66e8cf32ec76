// Text descriptions of accessibility values and elements, and an element's lineage: its
// ancestors from the top of the tree down, as a list and as indented lines.
#include <cmath>

#include "UIElementTest.h"

namespace {

using sim::desktop;

class UIElementDescription : public UIElementTest {
protected:
    static std::u16string text(NSString* description) {
        return description != nullptr ? description->units() : u"(null)";
    }
    static std::u16string describe(CFTypeRef value, bool labelled = false) {
        return text(descriptionOfValue(value, labelled));
    }
    template <class T>
    static RetainPtr<CFTypeRef> axValue(AXValueType type, T contents) {
        return adoptCF<CFTypeRef>(AXValueCreate(type, &contents));
    }
};

// --- stringDescriptionOfAXValue, descriptionOfValue

TEST_F(UIElementDescription, EachValueTypeHasALabelledAndAPlainFormOrIsUnknown) {
    const struct {
        RetainPtr<CFTypeRef> value;
        std::u16string labelled;
        std::u16string plain;
    } cases[] = {
        {axValue(kAXValueCGPointType, CGPointMake(10, 20.5)), u"<AXPointValue x=10 y=20.5>",
         u"x=10 y=20.5"},
        {axValue(kAXValueCGSizeType, CGSizeMake(800, 0.125)), u"<AXSizeValue w=800 h=0.125>",
         u"w=800 h=0.125"},
        {axValue(kAXValueCGRectType, CGRectMake(-1, 2, 3.5, 1e7)),
         u"<AXRectValue  x=-1 y=2 w=3.5 h=1e+07>", u"x=-1 y=2 w=3.5 h=1e+07"},
        {axValue(kAXValueCFRangeType, CFRangeMake(-3, 4294967296)),
         u"<AXRangeValue pos=-3 len=4294967296>", u"pos=-3 len=4294967296"},
    };
    for (const auto& expected : cases) {
        EXPECT_EQ(text(stringDescriptionOfAXValue(expected.value.get(), true)), expected.labelled);
        EXPECT_EQ(text(stringDescriptionOfAXValue(expected.value.get(), false)), expected.plain);
        EXPECT_EQ(describe(expected.value.get(), true), expected.labelled);
    }
    // A value whose contents cannot be read is unknown.
    RetainPtr<CFTypeRef> rect = axValue(kAXValueCGRectType, CGRectMake(-1, 2, 3.5, 1e7));
    sim::injectFault({.call = "AXValueGetValue"});
    EXPECT_EQ(text(stringDescriptionOfAXValue(rect.get(), true)), u"AXValue???");
    EXPECT_EQ(text(stringDescriptionOfAXValue(rect.get(), false)), u"AXValue???");
    RetainPtr<CFTypeRef> error = axValue(kAXValueAXErrorType, kAXErrorNoValue);
    EXPECT_EQ(text(stringDescriptionOfAXValue(error.get(), true)), u"AXValue???");
    EXPECT_EQ(describe(error.get()), u"AXValue???");
    EXPECT_EQ(text(stringDescriptionOfAXValue(NSArray::array(), true)), u"AXValue???");
    EXPECT_EQ(text(stringDescriptionOfAXValue(nullptr, true)), u"AXValue???");
}

TEST_F(UIElementDescription,
       AStringIsItsOwnTextANumberAnIntegerOnlyWhenWholeAnd32BitAnArrayItsSize) {
    EXPECT_EQ(stringDescriptionOfAXValue(CFSTR("Inbox"), false), CFSTR("Inbox"));
    const std::pair<double, std::u16string> numbers[] = {
        {7.0, u"7"},
        {7.25, u"7.250000"},
        {-2147483648.0, u"-2147483648"},
        {2147483648.0, u"2147483648.000000"},
        {4294967296.0, u"4294967296.000000"},
        {NAN, u"nan"},
    };
    for (const auto& [number, expected] : numbers) {
        EXPECT_EQ(text(stringDescriptionOfAXValue(NSNumber::numberWithDouble(number), false)),
                  expected);
    }
    // A value is described by its kind, an array by its size.
    EXPECT_EQ(descriptionOfValue(nullptr, true), nullptr);
    EXPECT_EQ(describe(NSArray::array()), u"<array of size 0>");
    EXPECT_EQ(describe(NSArray::arrayWithObjects({CFSTR("a"), CFSTR("b")})), u"<array of size 2>");
    EXPECT_EQ(describe(CFSTR("Inbox")), u"Inbox");
    EXPECT_EQ(describe(NSNumber::numberWithDouble(7.25)), u"7.25");
    EXPECT_EQ(describe(NSNumber::numberWithInt(-3)), u"-3");
}

TEST_F(UIElementDescription, AnElementIsItsRoleWithItsTitleOrDescription) {
    buildMail();
    EXPECT_EQ(describe(send_.get()), u"<AXButton: \"Send\">");
    desktop().setTitle(sendNode_, "");
    EXPECT_EQ(describe(send_.get()), u"<AXButton: \"\">");
    frameworks::setAttribute(sendNode_, "AXDescription", CFSTR("send now"));
    EXPECT_EQ(describe(send_.get()), u"<AXButton: \"send now\">");
    frameworks::setAttribute(sendNode_, "AXDescription", CFSTR(""));
    EXPECT_EQ(describe(send_.get()), u"<AXButton: \"\">");
    RetainPtr<AXUIElementRef> group = adoptCF(frameworks::createElement(group_));
    EXPECT_EQ(describe(group.get()), u"<AXGroup>");
    frameworks::setAttribute(group_, "AXDescription", CFSTR("toolbar"));
    EXPECT_EQ(describe(group.get()), u"<AXGroup: \"toolbar\">");
    sim::injectFault({.call = "AXUIElementCopyAttributeValue", .name = u"AXRole"});
    EXPECT_EQ(describe(group.get()), group->description()->units());
}

// --- lineageOfUIElement, lineageDescriptionOfUIElement

TEST_F(UIElementDescription, TheLineageRunsFromTheTopDownToTheElement) {
    buildMail();
    NSArray* lineage = lineageOfUIElement(send_.get());
    ASSERT_EQ(lineage->count(), 4u);
    EXPECT_EQ(describe(lineage->firstObject()), u"<AXApplication: \"Mail\">");
    EXPECT_EQ(describe(lineage->lastObject()), u"<AXButton: \"Send\">");
    EXPECT_EQ(text(lineageDescriptionOfUIElement(send_.get())),
              u"<AXApplication: \"Mail\">\n <AXWindow: \"Inbox\">\n  <AXGroup>\n   <AXButton: "
              u"\"Send\">\n");
    RetainPtr<AXUIElementRef> application =
        adoptCF(frameworks::createElement(desktop().rootOf(mail_)));
    EXPECT_EQ(text(lineageDescriptionOfUIElement(application.get())),
              u"<AXApplication: \"Mail\">\n");
    EXPECT_EQ(lineageOfUIElement(nullptr)->count(), 0u);
}

// It ends where the parent chain loops, and at a parent that is no element, described as a
// value.
TEST_F(UIElementDescription, TheLineageEndsWhereTheParentChainLoopsOrAParentIsNoElement) {
    buildMail();
    frameworks::setAttribute(windowNode_, "AXParent", send_.get());
    EXPECT_EQ(text(lineageDescriptionOfUIElement(send_.get())),
              u"<AXWindow: \"Inbox\">\n <AXGroup>\n  <AXButton: \"Send\">\n");
    frameworks::setAttribute(sendNode_, "AXParent", send_.get());
    EXPECT_EQ(lineageOfUIElement(send_.get())->count(), 1u);
    frameworks::setAttribute(windowNode_, "AXParent", nullptr);
    frameworks::setAttribute(sendNode_, "AXParent", CFSTR("Mail"));
    EXPECT_EQ(text(lineageDescriptionOfUIElement(send_.get())), u"Mail\n <AXButton: \"Send\">\n");
    frameworks::setAttribute(sendNode_, "AXParent", nullptr);
    frameworks::setAttribute(group_, "AXParent", NSArray::array());
    EXPECT_EQ(text(lineageDescriptionOfUIElement(send_.get())),
              u"<array of size 0>\n <AXGroup>\n  <AXButton: \"Send\">\n");
}

TEST_F(UIElementDescription, AVeryDeepChainIsClimbedWithoutRecursion) {
    buildMail();
    constexpr int kDepth = 100000;
    sim::NodeId deepest = sendNode_;
    for (int level = 0; level < kDepth; ++level) {
        deepest = desktop().addElement(deepest, {});
    }
    RetainPtr<AXUIElementRef> element = adoptCF(frameworks::createElement(deepest));
    NSArray* lineage = lineageOfUIElement(element.get());
    ASSERT_EQ(lineage->count(), 4u + kDepth);
    EXPECT_EQ(describe(lineage->firstObject()), u"<AXApplication: \"Mail\">");
    EXPECT_EQ(describe(lineage->objectAtIndex(3)), u"<AXButton: \"Send\">");
    RetainPtr<CFStringRef> name = adoptCF(copyApplicationNameOfUIElement(element.get()));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->units(), u"Mail");
}

}  // namespace
