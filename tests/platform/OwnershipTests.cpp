// The ownership toolkit of the frameworks: handing references to the autorelease pool with their
// own type, and the checked casts. Adopting, retaining and filling out-parameters are checked in
// ObjectModelTests.cpp; that dropped results do not compile, by the ownership probes
// (tests/layering).
#include <gtest/gtest.h>

#include <type_traits>

#include <Foundation/Foundation.h>
#include <RetainPtr.h>

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

TEST_F(Ownership, TheHolderHandsItsReferenceToThePoolAndEmpties) {
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
}

TEST_F(Ownership, AnEmptyHolderHandsNothingToThePool) {
    NSAutoreleasePool pool;
    RetainPtr<CFArrayRef> empty;
    EXPECT_EQ(empty.autorelease(), nullptr);
    EXPECT_EQ(pool.pendingCount(), 0u);
}

TEST_F(Ownership, AnObjectHandedToThePoolKeepsItsOwnType) {
    NSAutoreleasePool pool;
    NSMutableString* made = NSMutableString::create(u"typed");
    NSMutableString* pooled = NSObject::autorelease(made);
    EXPECT_EQ(pooled, made);
    pooled->appendString(CFSTR("!"));
    EXPECT_TRUE(pooled->isEqualToString(CFSTR("typed!")));
    EXPECT_EQ(pool.pendingCount(), 1u);
    EXPECT_EQ(CFGetRetainCount(pooled), 1);
}

}  // namespace
