// Property lists: what survives a trip to the disk and back, what is refused, what a reader
// makes of a file that is no property list, and that a write never leaves a half-written file.
#include <plist/plist.h>

#include <RetainPtr.h>

#include <climits>
#include <string>

#include "HomeFolderTest.h"
#include "sim/PropertyList.h"

namespace {

using sim::PropertyListFile;

class PropertyLists : public SessionTest {
protected:
    std::string pathOf(const std::string& name) const { return folder_.path() + "/" + name; }

    RetainPtr<CFTypeRef> roundTrip(CFTypeRef object) {
        std::string error;
        EXPECT_TRUE(sim::writePropertyListFile(pathOf("trip.plist"), object, &error)) << error;
        PropertyListFile file = sim::readPropertyListFile(pathOf("trip.plist"));
        EXPECT_EQ(file.status, PropertyListFile::Status::Read) << file.error;
        return std::move(file.root);
    }

    TemporaryFolder folder_;
};

RetainPtr<CFTypeRef> stringObject(const std::u16string& units) {
    return adoptCF<CFTypeRef>(NSString::create(units));
}

// --- Round trips

TEST_F(PropertyLists, EveryKindOfValueComesBackEqualOfItsOwnKindAndMutable) {
    NSMutableDictionary* root = NSMutableDictionary::dictionary();
    root->setObject(CFSTR("Grüße, 世界 🎉"), CFSTR("text"));
    root->setObject(NSNumber::numberWithLongLong(-9000000000LL), CFSTR("negative"));
    root->setObject(NSNumber::numberWithLongLong(LLONG_MAX), CFSTR("largest"));
    root->setObject(NSNumber::numberWithDouble(0.1), CFSTR("real"));
    root->setObject(kCFBooleanFalse, CFSTR("no"));
    // A boolean that came back as the integer 1, or 2.0 that came back as 2, would be read
    // differently by its owner.
    root->setObject(NSArray::arrayWithObjects({kCFBooleanTrue, NSNumber::numberWithInt(1),
                                               NSNumber::numberWithDouble(2.0)}),
                    CFSTR("kinds"));
    root->setObject(NSDictionary::dictionaryWithPairs({{CFSTR("k"), CFSTR("v")}}), CFSTR("nested"));
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
}

TEST_F(PropertyLists, FilesAreWrittenAsXML) {
    roundTrip(NSDictionary::dictionaryWithPairs({{CFSTR("no"), kCFBooleanFalse}}));
    const std::string text = readFile(pathOf("trip.plist"));
    EXPECT_NE(text.find("<!DOCTYPE plist"), std::string::npos) << text;
    EXPECT_NE(text.find("<key>no</key>"), std::string::npos) << text;
    EXPECT_NE(text.find("<false/>"), std::string::npos) << text;
}

TEST_F(PropertyLists, ControlCharactersSurviveTheTripThroughXML) {
    NSDictionary* control = NSDictionary::dictionaryWithPairs(
        {{CFSTR("text"), stringObject(u"line\rnext\x01end").get()}});
    EXPECT_TRUE(CFEqual(roundTrip(control).get(), control));
}

TEST_F(PropertyLists, BinaryFilesAreRead) {
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "HideDockIcon", plist_new_bool(1));
    plist_dict_set_item(root, "Count", plist_new_uint(7));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    writeFile(pathOf("binary.plist"), std::string(bytes, length));
    plist_to_bin_free(bytes);
    plist_free(root);

    PropertyListFile file = sim::readPropertyListFile(pathOf("binary.plist"));
    ASSERT_EQ(file.status, PropertyListFile::Status::Read) << file.error;
    EXPECT_TRUE(CFEqual(file.root.get(), NSDictionary::dictionaryWithPairs(
                                             {{CFSTR("HideDockIcon"), kCFBooleanTrue},
                                              {CFSTR("Count"), NSNumber::numberWithInt(7)}})));
}

// --- Files that are no property list

TEST_F(PropertyLists, AMissingFileIsNoError) {
    PropertyListFile missing = sim::readPropertyListFile(pathOf("absent.plist"));
    EXPECT_EQ(missing.status, PropertyListFile::Status::Missing);
    EXPECT_FALSE(missing.root);
}

TEST_F(PropertyLists, WhatIsNoPropertyListIsUnreadableWithAReason) {
    for (const std::string& bytes : {std::string("not a plist at all"), std::string(),
                                     std::string("<?xml version=\"1.0\"?>"
                                                 "<plist><dict><key>a"),
                                     std::string("bplist00\x01\x02", 10)}) {
        writeFile(pathOf("bad.plist"), bytes);
        PropertyListFile file = sim::readPropertyListFile(pathOf("bad.plist"));
        EXPECT_EQ(file.status, PropertyListFile::Status::Unreadable) << bytes;
        EXPECT_FALSE(file.root);
        EXPECT_FALSE(file.error.empty());
    }
}

TEST_F(PropertyLists, AnUnsupportedValueIsNamedWhereItIs) {
    writeFile(pathOf("dated.plist"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>Outer</key><dict><key>When</key><date>2020-01-01T00:00:00Z</date></dict>"
              "</dict></plist>");
    PropertyListFile file = sim::readPropertyListFile(pathOf("dated.plist"));
    EXPECT_EQ(file.status, PropertyListFile::Status::Unreadable);
    EXPECT_NE(file.error.find("Outer/When"), std::string::npos) << file.error;
}

TEST_F(PropertyLists, DeepNestingIsRefusedNotFollowed) {
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int level = 0; level < 600; ++level) {
        xml += "<array>";
    }
    for (int level = 0; level < 600; ++level) {
        xml += "</array>";
    }
    xml += "</plist>";
    std::string error;
    EXPECT_FALSE(sim::propertyListFromBytes(xml, &error));
    EXPECT_NE(error.find("nested"), std::string::npos) << error;
}

// --- Refused values

TEST_F(PropertyLists, AWriteOfAnObjectAPropertyListCannotHoldFailsAndKeepsTheOldFile) {
    writeFile(pathOf("kept.plist"), "old content");
    NSDictionary* root = NSDictionary::dictionaryWithPairs(
        {{CFSTR("ok"), CFSTR("fine")},
         {CFSTR("url"), NSURL::URLWithString(CFSTR("file:///Applications/"))}});
    std::string error;
    EXPECT_FALSE(sim::writePropertyListFile(pathOf("kept.plist"), root, &error));
    EXPECT_NE(error.find("url"), std::string::npos) << error;
    EXPECT_EQ(readFile(pathOf("kept.plist")), "old content");
}

TEST_F(PropertyLists, NullKeysThatAreNoStringsAndStringsWithNulAreRefused) {
    std::string error;
    EXPECT_FALSE(sim::isPropertyList(NSNull::null(), nullptr));
    EXPECT_FALSE(sim::isPropertyList(
        NSDictionary::dictionaryWithPairs({{NSNumber::numberWithInt(1), CFSTR("a")}}), &error));
    EXPECT_NE(error.find("key"), std::string::npos);
    // A string with NUL is refused rather than cut.
    EXPECT_FALSE(
        sim::isPropertyList(stringObject(std::u16string(u"before\0after", 12)).get(), &error));
    EXPECT_NE(error.find("NUL"), std::string::npos);
}

// --- Atomic writes

TEST_F(PropertyLists, AWriteReplacesTheWholeFileAndLeavesNothingBeside) {
    NSMutableArray* large = NSMutableArray::array();
    for (int index = 0; index < 2000; ++index) {
        large->addObject(NSNumber::numberWithInt(index));
    }
    std::string error;
    ASSERT_TRUE(sim::writePropertyListFile(pathOf("list.plist"), large, &error));
    ASSERT_TRUE(sim::writePropertyListFile(pathOf("list.plist"), NSArray::array(), &error));
    PropertyListFile file = sim::readPropertyListFile(pathOf("list.plist"));
    ASSERT_EQ(file.status, PropertyListFile::Status::Read);
    EXPECT_EQ(static_cast<const NSArray*>(file.root.get())->count(), 0u);
    EXPECT_EQ(filesIn(folder_.path()), std::vector<std::string>{"list.plist"});
}

TEST_F(PropertyLists, AWriteThatCannotReplaceTheFileFailsAndLeavesNothingBeside) {
    // A folder where the file should go: the rename cannot replace it.
    std::filesystem::create_directories(pathOf("taken.plist/inside"));
    std::string error;
    EXPECT_FALSE(sim::writePropertyListFile(pathOf("taken.plist"), NSArray::array(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(filesIn(folder_.path()), std::vector<std::string>{"taken.plist"});
}

}  // namespace
