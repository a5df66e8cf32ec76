// Property lists: what survives a trip to the disk and back in either encoding, what the session
// reads of another tool's (libplist) binary files, what is refused on
// the way in (with where and why) and on the way out, what no reader follows however the file
// is made, and that a write never leaves a half-written file.
#include <plist/plist.h>

#include <RetainPtr.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "BinaryPropertyListBytes.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "HomeFolderTest.h"

namespace {

using Bytes = BinaryPropertyListBytes;
using frameworks::PropertyListFile;

class PropertyLists : public SessionTest {
protected:
    std::string pathOf(const std::string& name) const { return folder_.path() + "/" + name; }

    RetainPtr<CFTypeRef> roundTrip(CFTypeRef object) {
        std::string error;
        EXPECT_TRUE(frameworks::writePropertyListFile(pathOf("trip.plist"), object, &error))
            << error;
        PropertyListFile file = frameworks::readPropertyListFile(pathOf("trip.plist"));
        EXPECT_EQ(file.status, PropertyListFile::Status::Read) << file.error;
        return std::move(file.root);
    }

    TemporaryFolder folder_;
};

// The reason the bytes are refused, or "read" when they are not.
std::string refusal(std::string_view bytes) {
    std::string error;
    return frameworks::propertyListFromBytes(bytes, &error) ? std::string("read") : error;
}

// --- Round trips

TEST_F(PropertyLists, EveryKindOfValueComesBackEqualOfItsOwnKindAndMutableFromXML) {
    NSMutableDictionary* root = NSMutableDictionary::dictionary();
    root->setObject(CFSTR("Grüße, 世界 🎉"), CFSTR("text"));
    root->setObject(NSNumber::numberWithLongLong(-9000000000LL), CFSTR("negative"));
    root->setObject(NSNumber::numberWithLongLong(LLONG_MAX), CFSTR("largest"));
    root->setObject(NSNumber::numberWithLongLong(LLONG_MIN), CFSTR("smallest"));
    root->setObject(NSNumber::numberWithUnsignedLongLong(ULLONG_MAX), CFSTR("unsigned"));
    root->setObject(NSNumber::numberWithDouble(0.1), CFSTR("real"));
    root->setObject(NSNumber::numberWithDouble(-HUGE_VAL), CFSTR("minus infinity"));
    root->setObject(kCFBooleanFalse, CFSTR("no"));
    root->setObject(NSDate::dateWithTimeIntervalSinceReferenceDate(3124137600), CFSTR("2100"));
    const std::string bytes(
        "\0\x01\xFF"
        "binary",
        9);
    root->setObject(NSData::dataWithBytes(bytes.data(), bytes.size()), CFSTR("data"));
    root->setObject(NSData::dataWithBytes(nullptr, 0), CFSTR("no data"));
    // A boolean that came back as the integer 1, or 2.0 that came back as 2, would be read
    // differently by its owner.
    root->setObject(NSArray::arrayWithObjects({kCFBooleanTrue, NSNumber::numberWithInt(1),
                                               NSNumber::numberWithDouble(2.0)}),
                    CFSTR("kinds"));
    root->setObject(NSDictionary::dictionaryWithPairs({{CFSTR("k"), CFSTR("v & <w>")}}),
                    CFSTR("nested"));
    root->setObject(NSArray::array(), CFSTR("empty list"));
    root->setObject(NSDictionary::dictionary(), CFSTR("empty dictionary"));

    RetainPtr<CFTypeRef> back = roundTrip(root);
    ASSERT_TRUE(back);
    EXPECT_TRUE(CFEqual(back.get(), root));
    EXPECT_TRUE(back->isKindOfClass(NSMutableDictionary::class_()));
    const auto* kinds = static_cast<const NSArray*>(
        static_cast<const NSDictionary*>(back.get())->objectForKey(CFSTR("kinds")));
    ASSERT_EQ(kinds->count(), 3u);
    EXPECT_TRUE(kinds->isKindOfClass(NSMutableArray::class_()));
    EXPECT_EQ(CFGetTypeID(kinds->objectAtIndex(0)), CFBooleanGetTypeID());
    EXPECT_EQ(CFGetTypeID(kinds->objectAtIndex(1)), CFNumberGetTypeID());
    EXPECT_FALSE(static_cast<NSNumber*>(kinds->objectAtIndex(1))->isReal());
    EXPECT_TRUE(static_cast<NSNumber*>(kinds->objectAtIndex(2))->isReal());
    // Written as XML.
    const std::string text = readFile(pathOf("trip.plist"));
    for (const char* part :
         {"<!DOCTYPE plist", "<key>no</key>", "<false/>", "<integer>18446744073709551615</integer>",
          "<date>2100-01-01T00:00:00Z</date>"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part;
    }
}

TEST_F(PropertyLists, BinaryFilesOfAnotherToolAreRead) {
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "HideDockIcon", plist_new_bool(1));
    plist_dict_set_item(root, "Count", plist_new_uint(7));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    writeFile(pathOf("binary.plist"), std::string(bytes, length));
    plist_to_bin_free(bytes);
    plist_free(root);

    PropertyListFile file = frameworks::readPropertyListFile(pathOf("binary.plist"));
    ASSERT_EQ(file.status, PropertyListFile::Status::Read) << file.error;
    EXPECT_TRUE(CFEqual(file.root.get(), NSDictionary::dictionaryWithPairs(
                                             {{CFSTR("HideDockIcon"), kCFBooleanTrue},
                                              {CFSTR("Count"), NSNumber::numberWithInt(7)}})));
}

// --- Files that are no property list, or not one that can be read as it is

TEST_F(PropertyLists, WhatIsNoPropertyListIsUnreadableWithAReasonAndAMissingFileIsNoError) {
    EXPECT_EQ(frameworks::readPropertyListFile(pathOf("absent.plist")).status,
              PropertyListFile::Status::Missing);
    for (const std::string& bytes : {std::string("not a plist at all"), std::string(),
                                     std::string("<?xml version=\"1.0\"?>"
                                                 "<plist><dict><key>a"),
                                     std::string("bplist00\x01\x02", 10)}) {
        writeFile(pathOf("bad.plist"), bytes);
        PropertyListFile file = frameworks::readPropertyListFile(pathOf("bad.plist"));
        EXPECT_EQ(file.status, PropertyListFile::Status::Unreadable) << bytes;
        EXPECT_FALSE(file.root);
        EXPECT_FALSE(file.error.empty());
    }
}

// An XML value that would be read as something else is refused, named with where it is
// (inside Outer/Inner on line 3) and why (a part of the report).
TEST_F(PropertyLists, ARefusedXMLValueIsNamedWithWhereAndWhy) {
    const std::pair<std::string, const char*> values[] = {
        {"<integer>99999999999999999999999999</integer>", "does not fit in 64 bits"},
        {"<integer>18446744073709551616</integer>", "does not fit in 64 bits"},
        {"<integer>-9223372036854775809</integer>", "does not fit in 64 bits"},
        {"<integer>12abc</integer>", "not a number"},
        {"<real>1e400</real>", "beyond what a double holds"},
        {"<date>2021-02-29T00:00:00Z</date>", "does not exist"},
        {"<date>yesterday</date>", "YYYY-MM-DD"},
        {"<data>AA*=</data>", "not base64"},
        {"<string>a&#0;b</string>", "NUL"},
        {"<string>&nbsp;</string>", "unknown entity"},
        {"<set/>", "<set>"},
    };
    for (const auto& [value, why] : values) {
        const std::string reason = refusal(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n"
            "<dict><key>Outer</key><dict><key>Inner</key>" +
            value + "</dict></dict>\n</plist>\n");
        EXPECT_NE(reason.find(why), std::string::npos) << reason;
        EXPECT_NE(reason.find("at Outer/Inner"), std::string::npos) << reason;
        EXPECT_NE(reason.find("(line 3)"), std::string::npos) << reason;
    }
}

std::string oneObject(std::string object) {
    Bytes file;
    file.add(Bytes::array({1}));
    file.add(std::move(object));
    return file.file();
}

std::string withTopObject(std::string bytes, char top) {
    bytes[bytes.size() - 9] = top;
    return bytes;
}

// A file that cannot be read as it is, with a part of the reason given.
TEST_F(PropertyLists, ARefusedFileIsUnreadableWithTheReason) {
    const std::pair<std::string, const char*> files[] = {
        {"<plist><dict><key>a&#0;b</key><true/></dict></plist>", "NUL"},
        {"<plist><dict><key>lonely</key></dict></plist>", "without a value"},
        {"<plist><dict><true/></dict></plist>", "without a key"},
        {"<plist><array><string>x</array></plist>", "</array>"},
        {"<plist><true/><false/></plist>", "more than one value"},
        {"<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist><true/></plist>", "UTF-16"},
        {"<plist><string>caf\xC3</string></plist>", "not UTF-8"},
        {"<plist><string>\xED\xA0\x80</string></plist>", "not UTF-8"},
        {"<!DOCTYPE plist [<!ENTITY a \"b\">]><plist><string>&a;</string></plist>", "entities"},
        {"<plist><array>", "end of the text"},
        {oneObject(Bytes::integer128(1, 0)), "does not fit in 64 bits"},
        {oneObject(Bytes::ascii("caf\xE9")), "beyond ASCII"},
        {oneObject(Bytes::utf16(std::u16string(u"a\0b", 3))), "NUL"},
        {oneObject(std::string(1, '\0')), "null"},
        {oneObject("\x81\x01"), "keyed-archive"},
        {oneObject("\xC1\x00"), "a set"},
        {oneObject("\x5F\x13" + std::string(8, '\xFF')), "runs past"},
        {oneObject("\xA1" + std::string("\0\0\0\x07", 4)), "not there"},
        {withTopObject(oneObject(Bytes::ascii("x")), 9), "trailer"},
        {"bplist01" + std::string(40, '\0'), "version"},
        {"bplist00", "too short"},
    };
    for (const auto& [bytes, why] : files) {
        const std::string reason = refusal(bytes);
        EXPECT_NE(reason.find(why), std::string::npos) << reason;
    }
}

// --- What no reader follows

TEST_F(PropertyLists, NestingBeyondTheLimitALoopOrAFileBeyondItsLimitIsRefusedNotFollowed) {
    constexpr std::uint32_t kLevels = 100000;
    Bytes binary;
    for (std::uint32_t level = 0; level < kLevels; ++level) {
        binary.add(level + 1 < kLevels ? Bytes::array({level + 1}) : Bytes::array({}));
    }
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (std::uint32_t level = 0; level < kLevels; ++level) {
        xml += "<array>";
    }
    for (std::uint32_t level = 0; level < kLevels; ++level) {
        xml += "</array>";
    }
    xml += "</plist>";
    EXPECT_NE(refusal(binary.file()).find("nested more than 512 levels"), std::string::npos);
    EXPECT_NE(refusal(xml).find("nested more than 512 levels"), std::string::npos);
    // A container that holds itself.
    Bytes circular;
    circular.add(Bytes::array({1}));
    circular.add(Bytes::dictionary({2}, {0}));
    circular.add(Bytes::ascii("again"));
    EXPECT_NE(refusal(circular.file()).find("at 0/again contains itself"), std::string::npos)
        << refusal(circular.file());
    // A file larger than the limit is not read.
    writeFile(pathOf("large.plist"), std::string(frameworks::kPropertyListMaxBytes + 1, ' '));
    const PropertyListFile file = frameworks::readPropertyListFile(pathOf("large.plist"));
    EXPECT_EQ(file.status, PropertyListFile::Status::Unreadable);
    EXPECT_NE(file.error.find("larger than 16 MiB"), std::string::npos) << file.error;
}

// --- Refused values

TEST_F(PropertyLists, AWriteOfAnObjectAPropertyListCannotHoldFailsAndKeepsTheOldFile) {
    writeFile(pathOf("kept.plist"), "old content");
    NSDictionary* root = NSDictionary::dictionaryWithPairs(
        {{CFSTR("ok"), CFSTR("fine")},
         {CFSTR("url"), NSURL::URLWithString(CFSTR("file:///Applications/"))}});
    std::string error;
    EXPECT_FALSE(frameworks::writePropertyListFile(pathOf("kept.plist"), root, &error));
    EXPECT_NE(error.find("url"), std::string::npos) << error;
    EXPECT_EQ(readFile(pathOf("kept.plist")), "old content");
}

// --- Atomic writes

TEST_F(PropertyLists, AWriteReplacesTheWholeFileOrFailsAndLeavesNothingBeside) {
    NSMutableArray* large = NSMutableArray::array();
    for (int index = 0; index < 2000; ++index) {
        large->addObject(NSNumber::numberWithInt(index));
    }
    std::string error;
    ASSERT_TRUE(frameworks::writePropertyListFile(pathOf("list.plist"), large, &error));
    ASSERT_TRUE(frameworks::writePropertyListFile(pathOf("list.plist"), NSArray::array(), &error));
    PropertyListFile file = frameworks::readPropertyListFile(pathOf("list.plist"));
    ASSERT_EQ(file.status, PropertyListFile::Status::Read);
    EXPECT_EQ(static_cast<const NSArray*>(file.root.get())->count(), 0u);
    // A folder where a file should go: the rename cannot replace it, and the write fails.
    std::filesystem::create_directories(pathOf("taken.plist/inside"));
    error.clear();
    EXPECT_FALSE(
        frameworks::writePropertyListFile(pathOf("taken.plist"), NSArray::array(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(filesIn(folder_.path()), (std::vector<std::string>{"list.plist", "taken.plist"}));
}

}  // namespace
