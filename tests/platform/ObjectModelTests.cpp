// The object model: reference counting, ownership holders, pools, strings, numbers and
// misuse. Formats, searches (canonically equivalent text among them) and case mapping are
// checked through their users: the toolkit's descriptions and modifier words
// (UIElementDescriptionTests.cpp, MouseClickTests.cpp), the string category
// (StringCategoryTests.cpp) and the scripts' bundle identifiers (DesktopScriptRunTests.cpp).
#include <RetainPtr.h>
#include <TypeCastsCocoa.h>
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "SessionTest.h"

namespace {

using ObjectModel = SessionTest;

TEST_F(ObjectModel, AnObjectLivesUntilItsLastReferenceIsReleasedAConstantForEver) {
    const long before = NSObjectLiveCount();
    CFStringRef text =
        CFStringCreateWithCString(kCFAllocatorDefault, "AXTitle", kCFStringEncodingUTF8);
    EXPECT_EQ(NSObjectLiveCount(), before + 1);
    EXPECT_EQ(CFGetRetainCount(text), 1);
    CFRetain(text);
    EXPECT_EQ(CFGetRetainCount(text), 2);
    CFRelease(text);
    EXPECT_EQ(NSObjectLiveCount(), before + 1);
    CFRelease(text);
    EXPECT_EQ(NSObjectLiveCount(), before);
    // Constants are one object each, never counted or freed.
    CFStringRef constant = CFSTR("constant");
    EXPECT_EQ(constant, CFSTR("constant"));
    CFRelease(CFRetain(constant));
    CFRelease(kCFBooleanTrue);
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_EQ(NSObjectLiveCount(), before);
    EXPECT_EQ(CFGetTypeID(kCFNull), CFNullGetTypeID());
    EXPECT_NE(CFGetTypeID(kCFBooleanTrue), CFNumberGetTypeID());
}

TEST_F(ObjectModel, AHolderOwnsExactlyOneReferenceUntilItIsMovedOrLeaked) {
    RetainPtr<CFStringRef> adopted =
        adoptCF(CFStringCreateWithCString(nullptr, "a", kCFStringEncodingUTF8));
    EXPECT_EQ(CFGetRetainCount(adopted.get()), 1);
    {
        RetainPtr<CFStringRef> retained = retainPtr(adopted.get());
        EXPECT_EQ(CFGetRetainCount(adopted.get()), 2);
        RetainPtr<CFStringRef> moved = std::move(retained);
        EXPECT_FALSE(retained);
        EXPECT_EQ(CFGetRetainCount(adopted.get()), 2);
    }
    EXPECT_EQ(CFGetRetainCount(adopted.get()), 1);
    CFStringRef given = adopted.leakRef();
    EXPECT_FALSE(adopted);
    CFRelease(given);

    RetainPtr<CFTypeRef> value;
    *value.initializeInto() = CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8);
    EXPECT_EQ(CFGetRetainCount(value.get()), 1);
}

TEST_F(ObjectModel, AutoreleasedObjectsLiveUntilTheirPoolGoes) {
    const long before = NSObjectLiveCount();
    {
        NSAutoreleasePool outer;
        NSString* kept = NSString::stringWithUTF8String("outer");
        {
            NSAutoreleasePool inner;
            NSString::stringWithUTF8String("inner");
            EXPECT_EQ(inner.pendingCount(), 1u);
        }
        EXPECT_EQ(NSObjectLiveCount(), before + 1);
        EXPECT_TRUE(kept->isEqualToString(CFSTR("outer")));
    }
    EXPECT_EQ(NSObjectLiveCount(), before);
}

TEST_F(ObjectModel, StringEqualityComparesUTF16CodeUnitsAndNumbersCompareByValue) {
    // é as one code point and as e + combining accent: equal to the eye, not in code units.
    NSString* composed = NSString::stringWithUTF8String("caf\xC3\xA9");
    NSString* decomposed = NSString::stringWithUTF8String("cafe\xCC\x81");
    EXPECT_FALSE(composed->isEqualToString(decomposed));
    EXPECT_FALSE(CFEqual(composed, decomposed));
    EXPECT_EQ(composed->length(), 4u);
    EXPECT_EQ(decomposed->length(), 5u);
    // A character outside the basic plane takes two code units.
    NSString* emoji = NSString::stringWithUTF8String("\xF0\x9F\x98\x80");
    EXPECT_EQ(emoji->length(), 2u);
    EXPECT_TRUE(CFEqual(emoji, NSString::stringWithUTF8String("\xF0\x9F\x98\x80")));
    EXPECT_EQ(CFHash(emoji), CFHash(NSString::stringWithUTF8String("\xF0\x9F\x98\x80")));
    EXPECT_FALSE(NSString::stringWithUTF8String("Dock")->isEqualToString(CFSTR("dock")));
    // Numbers compare by value; a boolean is its constant.
    EXPECT_TRUE(CFEqual(NSNumber::numberWithInt(501), NSNumber::numberWithLongLong(501)));
    EXPECT_EQ(NSNumber::numberWithBool(YES), static_cast<NSObject*>(bridge(kCFBooleanTrue)));
}

// A key of a chosen hash, so that keys can be made to collide.
class CollidingKey : public NSObject {
public:
    CollidingKey(int value, NSUInteger hash) : value_(value), hash_(hash) {}
    bool isEqual(const NSObject* other) const override {
        const auto* key = dynamic_objc_cast<CollidingKey>(other);
        return key != nullptr && key->value_ == value_;
    }
    NSUInteger hash() const override { return hash_; }

private:
    int value_;
    NSUInteger hash_;
};

// Any run of sets and removals, over keys whose hashes collide at the end of the table (so that
// their runs wrap around), leaves the dictionary holding what a plain list in first-set order
// holds.
RC_GTEST_FIXTURE_PROP(ObjectModel, DictionariesAgreeWithAListUnderAnySetsAndRemovals, ()) {
    const auto operations = *rc::gen::container<std::vector<std::pair<bool, int>>>(
        rc::gen::pair(rc::gen::arbitrary<bool>(), rc::gen::inRange(0, 40)));
    std::vector<RetainPtr<CollidingKey*>> keys;
    for (int value = 0; value < 40; ++value) {
        keys.push_back(adoptCF(new CollidingKey(value, ~NSUInteger{0} - value % 3)));
    }
    RetainPtr<NSMutableDictionary*> dictionary = adoptCF(NSMutableDictionary::create());
    std::vector<std::pair<int, int>> expected;  // key, value, in first-set order
    int step = 0;
    for (const auto& [set, key] : operations) {
        const auto found =
            std::find_if(expected.begin(), expected.end(),
                         [key = key](const auto& entry) { return entry.first == key; });
        if (set) {
            const RetainPtr<CFNumberRef> value =
                adoptCF<CFNumberRef>(NSNumber::createWithLongLong(++step));
            dictionary->setObject(value.get(), keys[static_cast<std::size_t>(key)].get());
            if (found != expected.end()) {
                found->second = step;
            } else {
                expected.emplace_back(key, step);
            }
        } else {
            dictionary->removeObjectForKey(keys[static_cast<std::size_t>(key)].get());
            if (found != expected.end()) {
                expected.erase(found);
            }
        }
    }
    std::vector<std::pair<int, int>> held;
    for (const auto& [key, value] : *dictionary.get()) {
        const auto at = std::find_if(keys.begin(), keys.end(),
                                     [key = key](const auto& each) { return each.get() == key; });
        held.emplace_back(static_cast<int>(at - keys.begin()),
                          static_cast<const NSNumber*>(value)->intValue());
    }
    RC_ASSERT(held == expected);
    RC_ASSERT(dictionary->count() == expected.size());
    for (int key = 0; key < 40; ++key) {
        const auto found = std::find_if(expected.begin(), expected.end(),
                                        [key](const auto& entry) { return entry.first == key; });
        const auto* value = static_cast<const NSNumber*>(
            dictionary->objectForKey(keys[static_cast<std::size_t>(key)].get()));
        RC_ASSERT((value != nullptr) == (found != expected.end()));
        if (value != nullptr) {
            RC_ASSERT(value->intValue() == found->second);
        }
    }
}

TEST_F(ObjectModel, MisuseAborts) {
    EXPECT_DEATH(
        {
            RetainPtr<CFStringRef> held = adoptCF(NSString::createWithUTF8("held"));
            static_cast<void>(held.initializeInto());
        },
        "not empty");
    EXPECT_DEATH({ NSMutableArray::array()->addObject(nullptr); }, "nil");
    EXPECT_DEATH({ NSArray::array()->objectAtIndex(0); }, "beyond bounds");
}

}  // namespace
