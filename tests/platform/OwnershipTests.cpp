// The ownership toolkit of the frameworks: handing references to the autorelease pool with their
// own type, and the checked casts. Adopting, retaining and filling out-parameters are checked in
// ObjectModelTests.cpp; that dropped results do not compile, by the ownership probes
// (tests/layering).
#include <gtest/gtest.h>

#include <type_traits>

#include <ApplicationServices/ApplicationServices.h>
#include <Foundation/Foundation.h>
#include <RetainPtr.h>
#include <TypeCastsCF.h>
#include <TypeCastsCocoa.h>

namespace {

// Nothing here needs a session: the fixture only checks that no object outlives a test.
class Ownership : public ::testing::Test {
protected:
    void SetUp() override { baseline_ = NSObjectLiveCount(); }
    void TearDown() override {
        EXPECT_EQ(NSObjectLiveCount(), baseline_) << "objects of the model were left alive";
    }

    static CFStringRef createString(const char* text) {
        return CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
    }

private:
    long baseline_ = 0;
};

TEST_F(Ownership, TheHolderHandsItsReferenceToThePoolAndEmptiesAndTheObjectKeepsItsType) {
    NSAutoreleasePool pool;
    RetainPtr<CFStringRef> held = adoptCF(createString("pooled"));
    static_assert(std::is_same_v<decltype(held.autorelease()), CFStringRef>);
    CFStringRef pooled = held.autorelease();
    EXPECT_FALSE(held);
    EXPECT_EQ(CFGetRetainCount(pooled), 1);
    EXPECT_EQ(pool.pendingCount(), 1u);
    const long live = NSObjectLiveCount();
    pool.drain();
    EXPECT_EQ(NSObjectLiveCount(), live - 1);
    // An object handed to the pool keeps its own type.
    NSMutableString* made = NSMutableString::create(u"typed");
    NSMutableString* typed = NSObject::autorelease(made);
    EXPECT_EQ(typed, made);
    typed->appendString(CFSTR("!"));
    EXPECT_TRUE(typed->isEqualToString(CFSTR("typed!")));
    EXPECT_EQ(pool.pendingCount(), 1u);
    EXPECT_EQ(CFGetRetainCount(typed), 1);
}

TEST_F(Ownership, TheCFCastAnswersNullForNullAndForAnotherTypeId) {
    const RetainPtr<CFStringRef> text = adoptCF(createString("text"));
    const CGPoint point{1, 2};
    const RetainPtr<AXValueRef> value = adoptCF(AXValueCreate(kAXValueCGPointType, &point));
    EXPECT_EQ(dynamic_cf_cast<CFStringRef>(static_cast<CFTypeRef>(nullptr)), nullptr);
    EXPECT_EQ(dynamic_cf_cast<CFNumberRef>(text.get()), nullptr);
    EXPECT_EQ(dynamic_cf_cast<AXUIElementRef>(value.get()), nullptr);
    // Type ids decide: the booleans are numbers to Foundation, not to CoreFoundation.
    EXPECT_EQ(dynamic_cf_cast<CFNumberRef>(kCFBooleanTrue), nullptr);
}

TEST_F(Ownership, TheFoundationCastAnswersTheObjectForItsClassAndItsSubclasses) {
    NSAutoreleasePool pool;
    NSString* text = NSString::stringWithUTF8String("text");
    NSMutableString* mutableText = NSMutableString::string();
    EXPECT_EQ(dynamic_objc_cast<NSString>(text), text);
    EXPECT_EQ(dynamic_objc_cast<NSString>(mutableText), mutableText);
    EXPECT_EQ(dynamic_objc_cast<NSObject>(mutableText), mutableText);
    // The booleans are numbers of a subclass of NSNumber.
    EXPECT_EQ(dynamic_objc_cast<NSNumber>(static_cast<CFTypeRef>(kCFBooleanTrue)), kCFBooleanTrue);
}

}  // namespace
