// The login-item list of Launch Services as the platform keeps it: insertion at the head and
// the tail, snapshots in list order, resolution and its flags, entries on volumes that are not
// mounted, removal, persistence in the home folder and an unreadable list file. Its faults are
// met where the system meets them (LoginItemRegistrationTests.cpp and the fault sweep).
// Quiet resolution (no volume mounted) and resolved URLs that match letter for letter only and
// belong to the caller are checked where the system matches its own entry
// (LoginItemRegistrationTests.cpp, whose fixture finds any leak).
#include <RetainPtr.h>

#include <string>
#include <vector>

#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreFoundation/StoredPropertyListInternal.h"
#include "CoreServices/CoreServices.h"
#include "HomeFolderTest.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"

namespace {

constexpr UInt32 kNoInteractionNoMounting =
    kLSSharedFileListNoUserInteraction | kLSSharedFileListDoNotMountVolumes;

class LoginItemList : public SessionTest {
protected:
    static RetainPtr<LSSharedFileListRef> createList() {
        return adoptCF(LSSharedFileListCreate(kCFAllocatorDefault,
                                              kLSSharedFileListSessionLoginItems, nullptr));
    }

    static RetainPtr<CFURLRef> folderURL(const std::string& path) {
        const RetainPtr<CFStringRef> text = adoptCF<CFStringRef>(NSString::createWithUTF8(path));
        return adoptCF(CFURLCreateWithFileSystemPath(kCFAllocatorDefault, text.get(),
                                                     kCFURLPOSIXPathStyle, true));
    }

    // Inserts an entry for the folder and gives the new item back.
    static RetainPtr<LSSharedFileListItemRef> insert(LSSharedFileListRef list,
                                                     LSSharedFileListItemRef after,
                                                     const std::string& path) {
        return adoptCF(LSSharedFileListInsertItemURL(list, after, nullptr, nullptr,
                                                     folderURL(path).get(), nullptr, nullptr));
    }

    static RetainPtr<CFArrayRef> snapshot(LSSharedFileListRef list) {
        UInt32 seed = 0;
        return adoptCF(LSSharedFileListCopySnapshot(list, &seed));
    }

    static LSSharedFileListItemRef itemAt(CFArrayRef items, CFIndex index) {
        return static_cast<LSSharedFileListItemRef>(
            const_cast<NSObject*>(CFArrayGetValueAtIndex(items, index)));
    }

    // The path each entry resolves to, in list order ("?" for one that does not resolve).
    static std::vector<std::string> resolvedPaths(LSSharedFileListRef list, UInt32 flags) {
        std::vector<std::string> paths;
        const RetainPtr<CFArrayRef> items = snapshot(list);
        for (CFIndex index = 0; index < CFArrayGetCount(items.get()); ++index) {
            RetainPtr<CFURLRef> url;
            if (LSSharedFileListItemResolve(itemAt(items.get(), index), flags, url.initializeInto(),
                                            nullptr) != noErr) {
                paths.push_back("?");
                continue;
            }
            const RetainPtr<CFStringRef> path =
                adoptCF(CFURLCopyFileSystemPath(url.get(), kCFURLPOSIXPathStyle));
            paths.push_back(path->utf8());
        }
        return paths;
    }

    static void append(const std::string& path, bool resolvable = true) {
        std::string error;
        ASSERT_TRUE(sim::appendLoginItem({path, resolvable}, &error)) << error;
    }
};

// --- Insertion and snapshots

TEST_F(LoginItemList, InsertionPutsTheEntryAtTheHeadAtTheEndOrAfterAnEntryStillListed) {
    append("/Applications/Mail.app");
    const RetainPtr<LSSharedFileListRef> list = createList();
    const RetainPtr<LSSharedFileListItemRef> added =
        insert(list.get(), kLSSharedFileListItemBeforeFirst, "/Applications/Quenfold.app");
    ASSERT_TRUE(added);
    EXPECT_TRUE(transcriptMentions("login item \"Quenfold\" added at position 1 of 2"));
    const RetainPtr<LSSharedFileListItemRef> last =
        insert(list.get(), kLSSharedFileListItemLast, "/Applications/C.app");
    insert(list.get(), added.get(), "/Applications/B.app");
    EXPECT_EQ(resolvedPaths(list.get(), 0),
              (std::vector<std::string>{"/Applications/Quenfold.app", "/Applications/B.app",
                                        "/Applications/Mail.app", "/Applications/C.app"}));
    ASSERT_EQ(LSSharedFileListItemRemove(list.get(), last.get()), noErr);
    EXPECT_FALSE(insert(list.get(), last.get(), "/Applications/D.app"));
    EXPECT_EQ(sim::loginItems().size(), 3u);
}

TEST_F(LoginItemList, InsertingAListedURLMovesThatEntryAndUpdatesItsNameAndProperties) {
    append("/Applications/Mail.app");
    append("/Applications/Quenfold.app");
    append("/Applications/Quenfold.app", /*resolvable=*/false);  // never the same item
    const RetainPtr<LSSharedFileListRef> list = createList();
    const UInt32 listedID = LSSharedFileListItemGetID(itemAt(snapshot(list.get()).get(), 1));
    NSDictionary* properties = NSDictionary::dictionaryWithPairs({{CFSTR("Hide"), kCFBooleanTrue}});
    const RetainPtr<LSSharedFileListItemRef> moved = adoptCF(LSSharedFileListInsertItemURL(
        list.get(), kLSSharedFileListItemBeforeFirst, CFSTR("Q"), nullptr,
        folderURL("/Applications/Quenfold.app").get(), properties, nullptr));
    ASSERT_TRUE(moved);
    EXPECT_EQ(LSSharedFileListItemGetID(moved.get()), listedID);
    EXPECT_TRUE(transcriptMentions("login item \"Q\" moved to position 1 of 3"));
    EXPECT_EQ(
        resolvedPaths(list.get(), kNoInteractionNoMounting),
        (std::vector<std::string>{"/Applications/Quenfold.app", "/Applications/Mail.app", "?"}));
    EXPECT_EQ(sim::loginItems()[0].displayName, "Q");
    // After itself it stays where it is; a property to clear goes.
    const RetainPtr<CFArrayRef> clear = adoptCF<CFArrayRef>(NSArray::create({CFSTR("Hide")}));
    insert(list.get(), moved.get(), "/Applications/Quenfold.app");
    const RetainPtr<LSSharedFileListItemRef> cleared = adoptCF(LSSharedFileListInsertItemURL(
        list.get(), moved.get(), nullptr, nullptr, folderURL("/Applications/Quenfold.app").get(),
        nullptr, clear.get()));
    EXPECT_EQ(sim::loginItems().size(), 3u);
    EXPECT_EQ(sim::loginItems()[0].path, "/Applications/Quenfold.app");
    EXPECT_EQ(adoptCF(LSSharedFileListItemCopyProperty(cleared.get(), CFSTR("Hide"))).get(),
              nullptr);
    const RetainPtr<CFTypeRef> kept =
        adoptCF(LSSharedFileListItemCopyProperty(moved.get(), CFSTR("Hide")));
    EXPECT_TRUE(kept);  // the item as it was when inserted
}

// --- Removal

TEST_F(LoginItemList, RemovalTakesOutThatEntryOnly) {
    append("/Applications/Quenfold.app");
    append("/Applications/Mail.app");
    append("/Applications/Quenfold.app");
    const RetainPtr<LSSharedFileListRef> list = createList();
    const RetainPtr<CFArrayRef> items = snapshot(list.get());
    EXPECT_EQ(LSSharedFileListItemRemove(list.get(), itemAt(items.get(), 0)), noErr);
    EXPECT_EQ(resolvedPaths(list.get(), kNoInteractionNoMounting),
              (std::vector<std::string>{"/Applications/Mail.app", "/Applications/Quenfold.app"}));
    EXPECT_TRUE(transcriptMentions("login item \"Quenfold\" removed"));
    // The snapshot's item still names the entry that is gone.
    EXPECT_EQ(LSSharedFileListItemRemove(list.get(), itemAt(items.get(), 0)), fnfErr);
    EXPECT_EQ(sim::loginItems().size(), 2u);
}

// --- Persistence

TEST_F(LoginItemList, TheListOutlivesTheRunWithEveryEntryAsItWas) {
    TemporaryFolder home;
    sim::setHomeFolder(home.path());
    append("/Applications/Mail.app");
    append("/Volumes/Backup/Old.app", /*resolvable=*/false);
    {
        const RetainPtr<LSSharedFileListRef> list = createList();
        insert(list.get(), kLSSharedFileListItemBeforeFirst, "/Applications/Quenfold.app");
    }
    sim::reset();
    sim::setHomeFolder(home.path());
    const std::vector<sim::LoginItemEntry> entries = sim::loginItems();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].path, "/Applications/Quenfold.app");
    EXPECT_EQ(entries[1].path, "/Applications/Mail.app");
    EXPECT_EQ(entries[2].path, "/Volumes/Backup/Old.app");
    EXPECT_FALSE(entries[2].resolvable);
}

TEST_F(LoginItemList, WhatTheSessionDoesNotKnowIsKeptWhenTheListIsWritten) {
    NSDictionary* entry = NSDictionary::dictionaryWithPairs(
        {{CFSTR("URL"), CFSTR("file:///Applications/Mail.app/")}, {CFSTR("Hide"), kCFBooleanTrue}});
    NSDictionary* root = NSDictionary::dictionaryWithPairs(
        {{CFSTR("LoginItems"), NSArray::arrayWithObjects({entry})},
         {CFSTR("Version"), NSNumber::numberWithInt(2)}});
    std::string error;
    ASSERT_TRUE(frameworks::writePropertyListFile(listPath(), root, &error));

    append("/Applications/Notes.app");
    frameworks::PropertyListFile file = frameworks::readPropertyListFile(listPath());
    const auto* written = static_cast<const NSDictionary*>(file.root.get());
    EXPECT_TRUE(CFEqual(written->objectForKey(CFSTR("Version")), NSNumber::numberWithInt(2)));
    const auto* items = static_cast<const NSArray*>(written->objectForKey(CFSTR("LoginItems")));
    ASSERT_EQ(items->count(), 2u);
    EXPECT_TRUE(CFEqual(
        static_cast<const NSDictionary*>(items->objectAtIndex(0))->objectForKey(CFSTR("Hide")),
        kCFBooleanTrue));
    EXPECT_EQ(sim::loginItems()[0].displayName, "Mail");
}

TEST_F(LoginItemList, AnUnreadableListIsKeptAndTheListStartsEmpty) {
    writeFile(listPath(), "garbage, not a list");
    const RetainPtr<LSSharedFileListRef> list = createList();
    EXPECT_EQ(CFArrayGetCount(snapshot(list.get()).get()), 0);
    EXPECT_EQ(readFile(listPath() + ".unreadable"), "garbage, not a list");
    EXPECT_TRUE(transcriptMentions(
        "login-item list Library/Preferences/com.apple.loginitems.plist is unreadable"));
    insert(list.get(), kLSSharedFileListItemBeforeFirst, "/Applications/Quenfold.app");
    EXPECT_EQ(sim::loginItems().size(), 1u);
    EXPECT_EQ(readFile(listPath() + ".unreadable"), "garbage, not a list");
}

TEST_F(LoginItemList, AListThatCannotBeWrittenIsLeftUnchanged) {
    append("/Applications/Mail.app");
    std::filesystem::remove_all(preferencesFolder());
    writeFile(preferencesFolder(), "in the way");
    const RetainPtr<LSSharedFileListRef> list = createList();
    EXPECT_FALSE(
        insert(list.get(), kLSSharedFileListItemBeforeFirst, "/Applications/Quenfold.app"));
    const RetainPtr<CFArrayRef> items = snapshot(list.get());
    EXPECT_EQ(CFArrayGetCount(items.get()), 1);
    EXPECT_EQ(LSSharedFileListItemRemove(list.get(), itemAt(items.get(), 0)), ioErr);
    EXPECT_EQ(sim::loginItems().size(), 1u);
    std::string error;
    EXPECT_FALSE(sim::appendLoginItem({"/Applications/Notes.app"}, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
