// The category method replaceStringWithOldString:newString: of NSString(Pellivant): one
// case-insensitive replacement in a new mutable copy.
#include <string>
#include <utility>

#include "NSString+Pellivant.h"
#include "SystemTest.h"

namespace {

class StringCategory : public SystemTest {
protected:
    static std::string replaced(const char* receiver, const char* oldString,
                                const char* newString) {
        RetainPtr<CFStringRef> text = adoptCF<CFStringRef>(NSString::createWithUTF8(receiver));
        RetainPtr<CFStringRef> old = adoptCF<CFStringRef>(NSString::createWithUTF8(oldString));
        RetainPtr<CFStringRef> with = adoptCF<CFStringRef>(NSString::createWithUTF8(newString));
        return replaceStringWithOldString(text.get(), old.get(), with.get())->utf8();
    }
};

// --- The replacement

TEST_F(StringCategory, ReplacesTheFirstOccurrenceIgnoringCaseByUnicodeRules) {
    const struct {
        const char* receiver;
        const char* oldString;
        const char* newString;
        const char* result;
    } cases[] = {
        {"Hello World", "WORLD", "There", "Hello There"},  // the old string's case is ignored
        {"aaa", "a", "b", "baa"},                          // the first occurrence only
        {"abc", "a", "aa", "aabc"},                        // the inserted text is not searched
        {"one two two", "TWO", "", "one  two"},            // an empty new string removes
        {"say hello", "HELLO", "GoodBye", "say GoodBye"},  // the new string goes in unchanged
        {"Hello World", "moon", "sun", "Hello World"},     // nothing to replace: an equal copy
        {"Hello", "", "X", "Hello"},
        {"Die Straße ist lang", "STRASSE", "Gasse", "Die Gasse ist lang"},  // ß is SS
        {"GROSS", "ß", "x", "GROx"},
        {"Straße", "straS", "x", "Straße"},  // half of a folded character is no match
        {"λόγος", "ΓΟΣ", "γοι", "λόγοι"},    // final sigma is capital sigma
    };
    for (const auto& [receiver, oldString, newString, result] : cases) {
        EXPECT_EQ(replaced(receiver, oldString, newString), result)
            << receiver << " / " << oldString << " / " << newString;
    }
}

TEST_F(StringCategory, MatchesCanonicallyEquivalentTextAndReplacesTheReceiversOwnCharacters) {
    const struct {
        const char* receiver;
        const char* oldString;
        const char* result;
    } cases[] = {
        // Precomposed é against e + U+0301, both ways and in either case.
        {"Café noir", "CAFE\u0301", "x noir"},
        {"cafe\u0301 noir", "CAFÉ", "x noir"},
        {"E\u0301cole", "école", "x"},
        // Part of a composed character sequence is no match.
        {"cafe\u0301", "cafe", "cafe\u0301"},
        {"Café", "cafe", "Café"},
    };
    for (const auto& [receiver, oldString, result] : cases) {
        EXPECT_EQ(replaced(receiver, oldString, "x"), result) << receiver << " / " << oldString;
    }
}

// --- Nil

TEST_F(StringCategory, ANilReceiverAnswersNilANilNewOrOldStringACopyEqualToTheReceiver) {
    EXPECT_EQ(replaceStringWithOldString(nullptr, CFSTR("World"), CFSTR("You")), nullptr);
    RetainPtr<CFStringRef> text = adoptCF<CFStringRef>(NSString::createWithUTF8("Hello World"));
    for (const auto& [oldString, newString] :
         {std::pair<CFStringRef, CFStringRef>{CFSTR("World"), nullptr}, {nullptr, CFSTR("You")}}) {
        NSMutableString* copy = replaceStringWithOldString(text.get(), oldString, newString);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->utf8(), "Hello World");
    }
}

// --- The receiver

TEST_F(StringCategory, LeavesTheReceiverUnchangedAndGivesANewString) {
    RetainPtr<CFStringRef> text = adoptCF<CFStringRef>(NSString::createWithUTF8("Hello World"));
    NSMutableString* result = replaceStringWithOldString(text.get(), CFSTR("world"), CFSTR("You"));
    EXPECT_NE(static_cast<const NSString*>(result), text.get());
    EXPECT_EQ(text->utf8(), "Hello World");
    result->appendString(CFSTR("!"));
    EXPECT_EQ(text->utf8(), "Hello World");
    EXPECT_EQ(result->utf8(), "Hello You!");
}

}  // namespace
