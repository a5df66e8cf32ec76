// The category method replaceStringWithOldString:newString: of NSString(Pellivant): one
// case-insensitive replacement in a new mutable copy.
#include <string>

#include "NSString+Pellivant.h"
#include "SessionTest.h"

namespace {

class StringCategory : public SessionTest {
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

TEST_F(StringCategory, IgnoresLetterCaseOfTheOldString) {
    EXPECT_EQ(replaced("Hello World", "WORLD", "There"), "Hello There");
}

TEST_F(StringCategory, ReplacesTheFirstOccurrenceOnly) {
    EXPECT_EQ(replaced("aaa", "a", "b"), "baa");
}

TEST_F(StringCategory, DoesNotSearchTheInsertedText) {
    EXPECT_EQ(replaced("abc", "a", "aa"), "aabc");
}

TEST_F(StringCategory, AnEmptyNewStringRemovesTheOccurrence) {
    EXPECT_EQ(replaced("one two two", "TWO", ""), "one  two");
}

TEST_F(StringCategory, InsertsTheNewStringUnchanged) {
    EXPECT_EQ(replaced("say hello", "HELLO", "GoodBye"), "say GoodBye");
}

// --- Nothing to replace

TEST_F(StringCategory, AnAbsentOldStringLeavesAnEqualCopy) {
    EXPECT_EQ(replaced("Hello World", "moon", "sun"), "Hello World");
}

TEST_F(StringCategory, AnEmptyOldStringLeavesAnEqualCopy) {
    EXPECT_EQ(replaced("Hello", "", "X"), "Hello");
}

// --- Beyond plain Latin letters

TEST_F(StringCategory, SharpSMatchesDoubleCapitalS) {
    EXPECT_EQ(replaced("Die Straße ist lang", "STRASSE", "Gasse"), "Die Gasse ist lang");
    EXPECT_EQ(replaced("GROSS", "ß", "x"), "GROx");
}

TEST_F(StringCategory, GreekFinalSigmaMatchesCapitalSigma) {
    EXPECT_EQ(replaced("λόγος", "ΓΟΣ", "γοι"), "λόγοι");
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
