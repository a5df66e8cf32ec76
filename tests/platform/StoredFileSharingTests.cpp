// Stored files shared with other processes of the same home folder: what each process changes
// is merged under the file's lock into what the file holds then, never written over what
// another stored meanwhile; and temporary files that a killed writer left behind are removed at
// the next start. "Another process" is both the file changed behind the session's back and a
// real process forked from the test.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreServices/CoreServices.h"
#include "Foundation/NSUserDefaults.h"
#include "HomeFolderTest.h"

namespace {

RetainPtr<CFTypeRef> stored(const std::string& path) {
    frameworks::PropertyListFile file = frameworks::readPropertyListFile(path);
    EXPECT_EQ(file.status, frameworks::PropertyListFile::Status::Read) << file.error;
    return std::move(file.root);
}

void store(const std::string& path, CFTypeRef root) {
    std::string error;
    ASSERT_TRUE(frameworks::writePropertyListFile(path, root, &error)) << error;
}

// Runs `work` in a forked process and in this one at the same time; the child's exit status is
// the number of its calls that failed.
template <class Work>
int runInTwoProcesses(Work work) {
    int start[2];
    if (::pipe(start) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        char go = 0;
        ::close(start[1]);
        const bool started = ::read(start[0], &go, 1) == 1;
        ::_exit(started ? work("child") : 100);
    }
    ::close(start[0]);
    const bool told = ::write(start[1], "g", 1) == 1;
    ::close(start[1]);
    const int failedHere = told ? work("parent") : 100;
    int status = 0;
    ::waitpid(child, &status, 0);
    const int failedThere = WIFEXITED(status) ? WEXITSTATUS(status) : 100;
    return failedHere + failedThere;
}

// --- Preferences

class SharedStoredFiles : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        sim::setHomeFolder(home_.path());
    }

    static RetainPtr<CFStringRef> text(const std::string& utf8) {
        return adoptCF<CFStringRef>(NSString::createWithUTF8(utf8));
    }

    static void append(const std::string& path) {
        std::string error;
        ASSERT_TRUE(sim::appendLoginItem({path}, &error)) << error;
    }

    static std::vector<std::string> listedPaths() {
        std::vector<std::string> paths;
        for (const sim::LoginItemEntry& entry : sim::loginItems()) {
            paths.push_back(entry.path);
        }
        return paths;
    }

    // The entries of a login-item list as read from its file (read containers are mutable).
    static NSMutableArray* itemsOf(CFTypeRef root) {
        const auto* dictionary = static_cast<const NSDictionary*>(root);
        return root != nullptr
                   ? static_cast<NSMutableArray*>(dictionary->objectForKey(CFSTR("LoginItems")))
                   : nullptr;
    }

    static std::size_t entriesInFile() {
        const RetainPtr<CFTypeRef> root = stored(listPath());
        const NSMutableArray* items = itemsOf(root.get());
        return items != nullptr ? items->count() : 0;
    }

    TemporaryFolder home_;
};

TEST_F(SharedStoredFiles, APreferenceWriteKeepsWhatAnotherProcessStoredOrRemovedMeanwhile) {
    store(domainPath(), NSDictionary::dictionaryWithPairs(
                            {{CFSTR("Theirs"), CFSTR("first")}, {CFSTR("Gone"), kCFBooleanTrue}}));
    NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
    EXPECT_TRUE(CFEqual(defaults->objectForKey(CFSTR("Theirs")), CFSTR("first")));
    // Another process changes one key, removes one and adds one.
    store(domainPath(), NSDictionary::dictionaryWithPairs(
                            {{CFSTR("Theirs"), CFSTR("second")}, {CFSTR("Fresh"), CFSTR("new")}}));
    defaults->setBool(YES, CFSTR("HideDockIcon"));
    EXPECT_TRUE(
        CFEqual(stored(domainPath()).get(),
                NSDictionary::dictionaryWithPairs({{CFSTR("Theirs"), CFSTR("second")},
                                                   {CFSTR("Fresh"), CFSTR("new")},
                                                   {CFSTR("HideDockIcon"), kCFBooleanTrue}})));
    // This process sees the file as written.
    EXPECT_TRUE(CFEqual(defaults->objectForKey(CFSTR("Fresh")), CFSTR("new")));
    EXPECT_EQ(defaults->objectForKey(CFSTR("Gone")), nullptr);
    // A key this process removes goes, whatever else the file holds by then.
    store(domainPath(), NSDictionary::dictionaryWithPairs({{CFSTR("HideDockIcon"), kCFBooleanTrue},
                                                           {CFSTR("Later"), kCFBooleanFalse}}));
    defaults->removeObjectForKey(CFSTR("HideDockIcon"));
    EXPECT_TRUE(CFEqual(stored(domainPath()).get(),
                        NSDictionary::dictionaryWithPairs({{CFSTR("Later"), kCFBooleanFalse}})));
}

TEST_F(SharedStoredFiles, TwoProcessesStoringPreferencesAtOnceLoseNone) {
    constexpr int kKeys = 60;
    const int failed = runInTwoProcesses([](const std::string& who) {
        int failures = 0;
        for (int index = 0; index < kKeys; ++index) {
            std::string error;
            failures += sim::storeSystemDefault(who + std::to_string(index), true, &error) ? 0 : 1;
        }
        return failures;
    });
    EXPECT_EQ(failed, 0);
    const RetainPtr<CFTypeRef> root = stored(domainPath());
    ASSERT_TRUE(root);
    const auto* values = static_cast<const NSDictionary*>(root.get());
    EXPECT_EQ(values->count(), 2u * kKeys);
    for (const char* who : {"parent", "child"}) {
        for (int index = 0; index < kKeys; ++index) {
            EXPECT_TRUE(values->objectForKey(text(who + std::to_string(index)).get()))
                << who << index;
        }
    }
}

// --- Login items

TEST_F(SharedStoredFiles, ALoginItemChangeIsMadeToTheListAsAnotherProcessLeftIt) {
    append("/Applications/Mail.app");
    const RetainPtr<LSSharedFileListRef> list =
        adoptCF(LSSharedFileListCreate(nullptr, kLSSharedFileListSessionLoginItems, nullptr));
    const RetainPtr<CFArrayRef> before = adoptCF(LSSharedFileListCopySnapshot(list.get(), nullptr));
    ASSERT_EQ(CFArrayGetCount(before.get()), 1);
    auto* mail = static_cast<LSSharedFileListItemRef>(
        const_cast<NSObject*>(CFArrayGetValueAtIndex(before.get(), 0)));

    // Another process puts Notes at the head.
    const auto entry = [](const char* url) {
        return NSDictionary::dictionaryWithPairs({{CFSTR("URL"), text(url).get()}});
    };
    RetainPtr<CFTypeRef> root = stored(listPath());
    itemsOf(root.get())->insertObject(entry("file:///Applications/Notes.app/"), 0);
    store(listPath(), root.get());

    // Inserted after Mail, which is still listed: the list keeps Notes.
    const RetainPtr<CFURLRef> quenfold = adoptCF(CFURLCreateWithFileSystemPath(
        nullptr, CFSTR("/Applications/Quenfold.app"), kCFURLPOSIXPathStyle, true));
    const RetainPtr<LSSharedFileListItemRef> added = adoptCF(LSSharedFileListInsertItemURL(
        list.get(), mail, nullptr, nullptr, quenfold.get(), nullptr, nullptr));
    ASSERT_TRUE(added);
    EXPECT_EQ(listedPaths(),
              (std::vector<std::string>{"/Applications/Notes.app", "/Applications/Mail.app",
                                        "/Applications/Quenfold.app"}));

    // Another process takes Mail out: removing it again is no error of the list's, and nothing
    // can follow it any more.
    root = stored(listPath());
    itemsOf(root.get())->removeObjectAtIndex(1);
    store(listPath(), root.get());
    EXPECT_EQ(LSSharedFileListItemRemove(list.get(), mail), fnfErr);
    EXPECT_FALSE(adoptCF(LSSharedFileListInsertItemURL(list.get(), mail, nullptr, nullptr,
                                                       quenfold.get(), nullptr, nullptr)));
    EXPECT_EQ(listedPaths(),
              (std::vector<std::string>{"/Applications/Notes.app", "/Applications/Quenfold.app"}));
    EXPECT_EQ(LSSharedFileListItemRemove(list.get(), added.get()), noErr);
    EXPECT_EQ(listedPaths(), std::vector<std::string>{"/Applications/Notes.app"});
    EXPECT_EQ(entriesInFile(), 1u);
}

// --- Temporary files

using InterruptedWrites = SessionTest;

TEST_F(InterruptedWrites, AWriterKilledMidWriteLeavesNothingBehindAfterTheNextStart) {
    TemporaryFolder home;
    sim::setHomeFolder(home.path());
    for (int kill = 0; kill < 20; ++kill) {
        const pid_t writer = ::fork();
        if (writer == 0) {
            for (int round = 0;; ++round) {
                std::string ignored;
                sim::storeSystemDefault("Key" + std::to_string(round % 500), true, &ignored);
            }
        }
        ::usleep(static_cast<useconds_t>(2000 + 500 * kill));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
    }
    sim::reset();
    sim::setHomeFolder(home.path());
    sim::systemDefault("Key0");  // the start reads the domain
    for (const std::string& name : filesIn(preferencesFolder())) {
        const bool lockFile = name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0;
        EXPECT_TRUE(name == kDomainFile || lockFile) << name << " left behind";
    }
}

}  // namespace
