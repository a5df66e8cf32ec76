// The object model: reference counting, ownership holders, pools, bridging, strings, numbers,
// collections and URLs; how a format reads its arguments and how a search that is not literal
// matches canonically equivalent text. The everyday use of formats, searches and case mapping
// is checked through their users: the toolkit's descriptions and modifier words
// (UIElementDescriptionTests.cpp, MouseClickTests.cpp), the string category
// (StringCategoryTests.cpp) and the scripts' bundle identifiers (DesktopScriptRunTests.cpp).
#include <RetainPtr.h>

#include <utility>

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

TEST_F(ObjectModel, MisuseAborts) {
    EXPECT_DEATH(
        {
            RetainPtr<CFStringRef> held = adoptCF(NSString::createWithUTF8("held"));
            held.initializeInto();
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
