// The object model: reference counting, ownership holders, pools, bridging, strings, numbers,
// collections and URLs; how a format reads its arguments and how a search that is not literal
// matches canonically equivalent text. The everyday use of formats, searches and case mapping
// is checked through their users: the toolkit's descriptions and modifier words
// (UIElementDescriptionTests.cpp, MouseClickTests.cpp), the string category
// (StringCategoryTests.cpp) and the scripts' bundle identifiers (DesktopScriptRunTests.cpp).
#include <RetainPtr.h>
#include <TypeCastsCocoa.h>
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "SessionTest.h"

namespace {

using ObjectModel = SessionTest;

TEST_F(ObjectModel, AnObjectLivesUntilItsLastReferenceIsReleased) {
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

TEST_F(ObjectModel, ConstantsAreOneObjectEachAndNeverCountedOrFreed) {
    const long before = NSObjectLiveCount();
    CFStringRef constant = CFSTR("constant");
    EXPECT_EQ(constant, CFSTR("constant"));
    CFRelease(CFRetain(constant));
    CFRelease(kCFBooleanTrue);
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_EQ(NSObjectLiveCount(), before);
    EXPECT_EQ(CFGetTypeID(kCFNull), CFNullGetTypeID());
    EXPECT_NE(CFGetTypeID(kCFBooleanTrue), CFNumberGetTypeID());
}

TEST_F(ObjectModel, ABridgedObjectIsTheSameObjectUnderBothNames) {
    NSString* string = NSString::stringWithUTF8String("bridge");
    CFStringRef cf = string;
    EXPECT_EQ(CFGetTypeID(cf), CFStringGetTypeID());
    EXPECT_EQ(CFStringGetLength(cf), 6);
    EXPECT_EQ(bridge(cf), string);
    NSArray* array = NSArray::arrayWithObjects({string});
    CFArrayRef cfArray = array;
    EXPECT_EQ(CFArrayGetValueAtIndex(cfArray, 0), cf);
}

TEST_F(ObjectModel, StringEqualityComparesUTF16CodeUnits) {
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
}

// "Cafe" + U+0301 + "s" searched for a precomposed é.
class CanonicalSearch : public SessionTest {
protected:
    std::pair<NSUInteger, NSUInteger> range(NSStringCompareOptions options,
                                            const char16_t* wanted = u"\u00e9") {
        RetainPtr<CFStringRef> text = adoptCF<CFStringRef>(NSString::create(u"Cafe\u0301s"));
        RetainPtr<CFStringRef> other = adoptCF<CFStringRef>(NSString::create(wanted));
        const NSRange found = text->rangeOfString(other.get(), options);
        return {found.location, found.length};
    }
};

TEST_F(CanonicalSearch, FindsEquivalentTextAsTheReceiversOwnCharacters) {
    EXPECT_EQ(range(0), (std::pair<NSUInteger, NSUInteger>{3, 2}));
    EXPECT_EQ(range(NSBackwardsSearch), (std::pair<NSUInteger, NSUInteger>{3, 2}));
}

TEST_F(CanonicalSearch, NeverSplitsAComposedCharacterSequence) {
    EXPECT_EQ(range(NSAnchoredSearch, u"Cafe").first, NSNotFound);
}

TEST_F(CanonicalSearch, ALiteralSearchComparesCodeUnits) {
    EXPECT_EQ(range(NSLiteralSearch).first, NSNotFound);
    EXPECT_EQ(range(NSLiteralSearch | NSCaseInsensitiveSearch).first, NSNotFound);
    EXPECT_EQ(range(NSLiteralSearch, u"Cafe").first, 0u);
}

TEST_F(ObjectModel, PathOperations) {
    const auto last = [](const char* path) {
        return NSString::stringWithUTF8String(path)->lastPathComponent()->utf8();
    };
    const auto bare = [](const char* path) {
        return NSString::stringWithUTF8String(path)->stringByDeletingPathExtension()->utf8();
    };
    const auto join = [](const char* path, CFStringRef component) {
        return NSString::stringWithUTF8String(path)
            ->stringByAppendingPathComponent(component)
            ->utf8();
    };
    EXPECT_EQ(last("/Applications/Safari.app"), "Safari.app");
    EXPECT_EQ(last("/Applications/Safari.app/"), "Safari.app");
    EXPECT_EQ(last("/"), "/");
    EXPECT_EQ(last(""), "");
    EXPECT_EQ(bare("Dock.app"), "Dock");
    EXPECT_EQ(bare("My.Tool.app"), "My.Tool");
    EXPECT_EQ(bare(".profile"), ".profile");
    EXPECT_EQ(bare("/a.b/c"), "/a.b/c");
    EXPECT_EQ(join("/System/Library/PreferencePanes", CFSTR("UniversalAccessPref.prefPane")),
              "/System/Library/PreferencePanes/UniversalAccessPref.prefPane");
    EXPECT_EQ(join("/a/", CFSTR("b")), "/a/b");
    EXPECT_EQ(join("", CFSTR("b")), "b");
}

TEST_F(ObjectModel, NumbersCompareByValueAndABooleanIsItsConstant) {
    EXPECT_TRUE(CFEqual(NSNumber::numberWithInt(501), NSNumber::numberWithLongLong(501)));
    EXPECT_EQ(NSNumber::numberWithBool(YES), static_cast<NSObject*>(bridge(kCFBooleanTrue)));
}

TEST_F(ObjectModel, NarrowingANumberTruncatesOrIsRefusedWhenChecked) {
    EXPECT_EQ(NSNumber::numberWithDouble(7.9)->intValue(), 7);
    EXPECT_EQ(NSNumber::numberWithLongLong(4294967297LL)->intValue(), 1);
    std::int32_t out = 0;
    const std::int64_t big = 1LL << 40;
    RetainPtr<CFNumberRef> number = adoptCF(CFNumberCreate(nullptr, kCFNumberSInt64Type, &big));
    EXPECT_FALSE(CFNumberGetValue(number.get(), kCFNumberSInt32Type, &out));
}

TEST_F(ObjectModel, AStringIsTrueWhenItStartsWithYesOrANonZeroDigit) {
    EXPECT_TRUE(NSString::stringWithUTF8String("  YES")->boolValue());
    EXPECT_FALSE(NSString::stringWithUTF8String("NO")->boolValue());
    EXPECT_TRUE(NSString::stringWithUTF8String("007")->boolValue());
}

TEST_F(ObjectModel, UnsignedIntegersBeyondTheSignedRangeAreNeverAnotherNumber) {
    NSNumber* largest = NSNumber::numberWithUnsignedLongLong(ULLONG_MAX);
    NSNumber* minusOne = NSNumber::numberWithLongLong(-1);
    EXPECT_TRUE(largest->isUnsignedBeyondLongLong());
    EXPECT_FALSE(CFEqual(largest, minusOne));
    EXPECT_TRUE(CFEqual(largest, NSNumber::numberWithUnsignedLongLong(ULLONG_MAX)));
    EXPECT_EQ(largest->unsignedLongLongValue(), ULLONG_MAX);
    EXPECT_EQ(largest->longLongValue(), -1) << "the bits, as a C conversion gives them";
    EXPECT_EQ(largest->doubleValue(), 18446744073709551615.0);
    EXPECT_EQ(largest->description()->utf8(), "18446744073709551615");
    std::int64_t out = 0;
    EXPECT_FALSE(CFNumberGetValue(largest, kCFNumberSInt64Type, &out));
    // Values inside the signed range are ordinary integers, however they were made.
    NSNumber* small = NSNumber::numberWithUnsignedLongLong(5);
    EXPECT_FALSE(small->isUnsignedBeyondLongLong());
    EXPECT_TRUE(CFEqual(small, NSNumber::numberWithInt(5)));
    const std::int64_t exact = LLONG_MAX;
    RetainPtr<CFNumberRef> top = adoptCF(CFNumberCreate(nullptr, kCFNumberSInt64Type, &exact));
    double real = 0;
    EXPECT_FALSE(CFNumberGetValue(top.get(), kCFNumberFloat64Type, &real)) << "2^63 - 1 rounds";
}

TEST_F(ObjectModel, DatesAndData) {
    const auto text = [](double seconds) {
        return NSDate::dateWithTimeIntervalSinceReferenceDate(seconds)->description()->utf8();
    };
    EXPECT_EQ(text(0), "2001-01-01 00:00:00 +0000");
    EXPECT_EQ(text(-978307200), "1970-01-01 00:00:00 +0000");
    EXPECT_EQ(text(-31622400.5), "1999-12-31 23:59:59 +0000");  // 2000 had 366 days
    EXPECT_EQ(text(3124137600), "2100-01-01 00:00:00 +0000");   // beyond 32-bit seconds
    EXPECT_EQ(text(-43200), "2000-12-31 12:00:00 +0000");
    CFGregorianDate leapDay{2000, 2, 29, 12, 30, 15.25};
    const CFAbsoluteTime at = CFGregorianDateGetAbsoluteTime(leapDay, nullptr);
    EXPECT_EQ(at, -307 * 86400 + 45015.25);
    const CFGregorianDate back = CFAbsoluteTimeGetGregorianDate(at, nullptr);
    EXPECT_EQ(std::vector<int>({back.year, back.month, back.day, back.hour, back.minute}),
              std::vector<int>({2000, 2, 29, 12, 30}));
    EXPECT_EQ(back.second, 15.25);
    EXPECT_TRUE(CFEqual(NSDate::dateWithTimeIntervalSince1970(0),
                        NSDate::dateWithTimeIntervalSinceReferenceDate(-978307200)));
    EXPECT_FALSE(
        CFEqual(NSDate::dateWithTimeIntervalSinceReferenceDate(1), NSNumber::numberWithInt(1)));

    const UInt8 bytes[] = {0x00, 0x01, 0xFF};
    RetainPtr<CFDataRef> data = adoptCF(CFDataCreate(nullptr, bytes, 3));
    EXPECT_EQ(CFDataGetLength(data.get()), 3);
    EXPECT_TRUE(CFEqual(data.get(), NSData::dataWithBytes(bytes, 3)));
    EXPECT_FALSE(CFEqual(data.get(), NSData::dataWithBytes(bytes, 2)));
    EXPECT_EQ(data->description()->utf8(), "{length = 3, bytes = 0x0001ff}");
}

// Calendar fields and times agree both ways, from the year 1 to the year 9999 and beyond.
RC_GTEST_FIXTURE_PROP(ObjectModel, CalendarFieldsGiveBackTheTimeTheyCameFrom, ()) {
    const auto seconds = *rc::gen::inRange<std::int64_t>(-70000000000LL, 300000000000LL);
    const auto fraction = *rc::gen::inRange(0, 4) * 0.25;
    const double at = static_cast<double>(seconds) + fraction;
    const CFGregorianDate date = CFAbsoluteTimeGetGregorianDate(at, nullptr);
    RC_ASSERT(date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31);
    RC_ASSERT(date.hour >= 0 && date.hour < 24 && date.minute >= 0 && date.minute < 60);
    RC_ASSERT(date.second >= 0 && date.second < 60);
    RC_ASSERT(CFGregorianDateGetAbsoluteTime(date, nullptr) == at);
}

TEST_F(ObjectModel, CollectionsHoldAReferenceToEachElement) {
    RetainPtr<CFStringRef> key = adoptCF(NSString::createWithUTF8("key"));
    RetainPtr<CFStringRef> value = adoptCF(NSString::createWithUTF8("value"));
    {
        RetainPtr<CFMutableDictionaryRef> dictionary = adoptCF(CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        CFDictionarySetValue(dictionary.get(), key.get(), value.get());
        EXPECT_EQ(CFGetRetainCount(value.get()), 2);
        // Lookup is by equality, not identity.
        EXPECT_EQ(CFDictionaryGetValue(dictionary.get(), CFSTR("key")), value.get());
        RetainPtr<CFMutableArrayRef> array =
            adoptCF(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
        CFArrayAppendValue(array.get(), value.get());
        EXPECT_EQ(CFGetRetainCount(value.get()), 3);
    }
    EXPECT_EQ(CFGetRetainCount(value.get()), 1);
}

// A key that counts how often a dictionary asks it for its hash or compares it with another.
class CountingKey : public NSObject {
public:
    // A few keys share each hash: value % 1000.
    explicit CountingKey(int value) : CountingKey(value, static_cast<NSUInteger>(value % 1000)) {}
    CountingKey(int value, NSUInteger hash) : value_(value), hash_(hash) {}
    bool isEqual(const NSObject* other) const override {
        ++comparisons;
        const auto* key = dynamic_objc_cast<CountingKey>(other);
        return key != nullptr && key->value_ == value_;
    }
    NSUInteger hash() const override {
        ++hashes;
        return hash_;
    }
    static inline long hashes = 0;
    static inline long comparisons = 0;

private:
    int value_;
    NSUInteger hash_;
};

TEST_F(ObjectModel, DictionaryLookupsHashTheWantedKeyOnceAndCompareFewKeys) {
    constexpr int kKeys = 20000;
    RetainPtr<NSMutableDictionary*> dictionary = adoptCF(NSMutableDictionary::create());
    std::vector<RetainPtr<CountingKey*>> keys;
    for (int index = 0; index < kKeys; ++index) {
        keys.push_back(adoptCF(new CountingKey(index)));
        dictionary->setObject(kCFBooleanTrue, keys.back().get());
    }
    CountingKey::hashes = 0;
    CountingKey::comparisons = 0;
    for (int index = 0; index < kKeys; index += 100) {
        const RetainPtr<CountingKey*> wanted = adoptCF(new CountingKey(index));
        EXPECT_EQ(dictionary->objectForKey(wanted.get()), kCFBooleanTrue);
    }
    const long lookups = kKeys / 100;
    EXPECT_LE(CountingKey::hashes, lookups) << "stored keys' hashes are computed again";
    // Twenty keys share each hash value: the lookup compares with those only.
    EXPECT_LE(CountingKey::comparisons, lookups * 21);
}

TEST_F(ObjectModel, DictionariesKeepTheOrderKeysWereFirstSetInThroughRemovals) {
    RetainPtr<NSMutableDictionary*> dictionary = adoptCF(NSMutableDictionary::create());
    std::vector<RetainPtr<CFStringRef>> keys;
    for (int index = 0; index < 100; ++index) {
        keys.push_back(adoptCF<CFStringRef>(NSString::createWithUTF8(std::to_string(index))));
        dictionary->setObject(kCFBooleanTrue, keys.back().get());
    }
    // Every key but the multiples of ten goes; 30 comes back and goes to the end.
    for (int index = 0; index < 100; ++index) {
        if (index % 10 != 0) {
            dictionary->removeObjectForKey(keys[static_cast<std::size_t>(index)].get());
        }
    }
    dictionary->removeObjectForKey(keys[30].get());
    dictionary->setObject(kCFBooleanFalse, keys[30].get());
    dictionary->setObject(kCFBooleanFalse, keys[0].get());  // a new value keeps its place
    std::string order;
    for (const auto& [key, value] : *dictionary.get()) {
        order +=
            static_cast<const NSString*>(key)->utf8() + (value == kCFBooleanFalse ? "=NO " : " ");
    }
    EXPECT_EQ(order, "0=NO 10 20 40 50 60 70 80 90 30=NO ");
    EXPECT_EQ(dictionary->count(), 10u);
    EXPECT_EQ(dictionary->objectForKey(keys[5].get()), nullptr);
    EXPECT_EQ(dictionary->objectForKey(keys[90].get()), kCFBooleanTrue);
    EXPECT_EQ(dictionary->allKeys()->count(), 10u);

    // A string's hash follows its text when it changes.
    NSMutableString* text = NSMutableString::stringWithString(CFSTR("Hide"));
    const NSUInteger before = text->hash();
    text->appendString(CFSTR("DockIcon"));
    EXPECT_NE(text->hash(), before);
    EXPECT_EQ(text->hash(), CFSTR("HideDockIcon")->hash());
}

// Any run of sets and removals, over keys whose hashes collide at the end of the table (so that
// their runs wrap around), leaves the dictionary holding what a plain list in first-set order
// holds.
RC_GTEST_FIXTURE_PROP(ObjectModel, DictionariesAgreeWithAListUnderAnySetsAndRemovals, ()) {
    const auto operations = *rc::gen::container<std::vector<std::pair<bool, int>>>(
        rc::gen::pair(rc::gen::arbitrary<bool>(), rc::gen::inRange(0, 40)));
    std::vector<RetainPtr<CountingKey*>> keys;
    for (int value = 0; value < 40; ++value) {
        keys.push_back(adoptCF(new CountingKey(value, ~NSUInteger{0} - value % 3)));
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

TEST_F(ObjectModel, AFormatReadsEachArgumentAsItsDirectiveSays) {
    const short small = -2;  // promoted to int, as a variadic argument is
    EXPECT_EQ(NSString::stringWithFormat("%d %hd %ld %lld %u %lu %x %c %s %@ %%", -3, small, 4L,
                                         5LL, 7u, NSUInteger{8}, 255, 'z', "text", CFSTR("object"))
                  ->utf8(),
              "-3 -2 4 5 7 8 ff z text object %");
    EXPECT_EQ(NSString::stringWithFormat("%g %5.1f %e", 1.5f, 3.14159, 0.25)->utf8(),
              "1.5   3.1 2.500000e-01");
}

// What a Mac would read wrongly is never widened or narrowed here: it ends the process.
TEST_F(ObjectModel, AFormatStopsTheProcessAtAnArgumentOfAnotherType) {
    EXPECT_DEATH({ NSString::stringWithFormat("%d", NSUInteger{3}); },
                 "directive 1 \\(%d\\) reads an int, the argument is an unsigned long");
    EXPECT_DEATH({ NSString::stringWithFormat("%ld", 3); }, "reads a long, the argument is an int");
    EXPECT_DEATH({ NSString::stringWithFormat("%g", 3); }, "reads a double");
    EXPECT_DEATH({ NSString::stringWithFormat("%d", 1.5); }, "the argument is a double");
    EXPECT_DEATH({ NSString::stringWithFormat("%@", "text"); }, "reads an object");
}

TEST_F(ObjectModel, AFormatStopsTheProcessAtAMissingOrALeftOverArgument) {
    EXPECT_DEATH({ NSString::stringWithFormat("%d and %d", 1); }, "directive 2 .* no argument");
    EXPECT_DEATH({ NSString::stringWithFormat("%d", 1, 2); }, "2 arguments for 1 directive");
}

TEST_F(ObjectModel, AFolderURLIsEscapedWithATrailingSlashAndItsPathIsNot) {
    RetainPtr<CFURLRef> directory = adoptCF(CFURLCreateWithFileSystemPath(
        nullptr, CFSTR("/Applications/Google Chrome.app"), kCFURLPOSIXPathStyle, true));
    EXPECT_EQ(CFURLGetString(directory.get())->utf8(), "file:///Applications/Google%20Chrome.app/");
    EXPECT_EQ(directory->relativePath()->utf8(), "/Applications/Google Chrome.app");
}

TEST_F(ObjectModel, FileURLsCompareExactly) {
    RetainPtr<CFURLRef> directory = adoptCF(CFURLCreateWithFileSystemPath(
        nullptr, CFSTR("/Applications/Google Chrome.app"), kCFURLPOSIXPathStyle, true));
    // The simulated desktop knows its application bundles as folders.
    addApp("Google Chrome");
    EXPECT_TRUE(
        CFEqual(directory.get(), NSURL::fileURLWithPath(CFSTR("/Applications/Google Chrome.app"))));
    RetainPtr<CFURLRef> file = adoptCF(CFURLCreateWithFileSystemPath(
        nullptr, CFSTR("/Applications/Google Chrome.app"), kCFURLPOSIXPathStyle, false));
    EXPECT_FALSE(CFEqual(directory.get(), file.get()));
    RetainPtr<CFURLRef> otherCase = adoptCF(CFURLCreateWithFileSystemPath(
        nullptr, CFSTR("/applications/Google Chrome.app"), kCFURLPOSIXPathStyle, true));
    EXPECT_FALSE(CFEqual(directory.get(), otherCase.get()));
}

}  // namespace
