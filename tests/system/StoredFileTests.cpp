// The stored files (preferences and the login-item list) as another program or a hostile hand
// leaves them, met by a launch: keys and strings holding NUL, integers beyond 64 bits, what is
// no regular file, and values of every kind that other tools store. What cannot be read is set
// aside and the launch goes on; what can is kept when the file is written again.
#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ApplicationTest.h"
#include "BinaryPropertyListBytes.h"
#include "sim/Faults.h"
#include "sim/PropertyList.h"
#include "sim/StoredFileLock.h"
#include "sim/StoredPropertyList.h"

namespace {

using Bytes = BinaryPropertyListBytes;
using namespace std::string_literals;

// A preferences domain holding HideDockIcon and one more key.
std::string domainWithKey(const std::string& key) {
    Bytes file;
    file.add(Bytes::dictionary({1, 2}, {3, 3}));
    file.add(key);
    file.add(Bytes::ascii("HideDockIcon"));
    file.add(Bytes::boolean(true));
    return file.file();
}

// A login-item list of one entry whose dictionary holds one more key.
std::string listWithEntryKey(const std::string& key) {
    Bytes file;
    file.add(Bytes::dictionary({1}, {2}));
    file.add(Bytes::ascii("LoginItems"));
    file.add(Bytes::array({3}));
    file.add(Bytes::dictionary({4, 5}, {6, 7}));
    file.add(Bytes::ascii("URL"));
    file.add(key);
    file.add(Bytes::ascii("file:///Applications/Mail.app/"));
    file.add(Bytes::boolean(true));
    return file.file();
}

// --- Files set aside at launch

struct UnreadableFile {
    const char* name;
    std::string (*path)();
    std::string bytes;
    const char* reason;  // a part of the reason reported
};

void PrintTo(const UnreadableFile& file, std::ostream* out) {
    *out << file.name;
}

class UnreadableStoredFile : public ApplicationTest,
                             public ::testing::WithParamInterface<UnreadableFile> {
protected:
    void SetUp() override {
        ApplicationTest::SetUp();
        writeFile(GetParam().path(), GetParam().bytes);
    }
};

TEST_P(UnreadableStoredFile, IsSetAsideWithTheReasonAndTheLaunchGoesOnWithNothingOfIt) {
    launch();
    EXPECT_EQ(sim::systemState(), sim::SystemState::Running);
    EXPECT_EQ(readFile(GetParam().path() + ".unreadable"), GetParam().bytes);
    ASSERT_EQ(sim::setAsideFiles().size(), 1u);
    EXPECT_NE(sim::setAsideFiles()[0].reason.find(GetParam().reason), std::string::npos)
        << sim::setAsideFiles()[0].reason;
    EXPECT_EQ(sim::systemDefault("HideDockIcon"), false);
    EXPECT_TRUE(sim::loginItems().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnreadableStoredFile,
    ::testing::Values(UnreadableFile{"DomainKeyUTF16WithNul", domainPath,
                                     domainWithKey(Bytes::utf16(u"\u00e9\0"s)), "NUL"},
                      UnreadableFile{"DomainKeyASCIIWithNul", domainPath,
                                     domainWithKey(Bytes::ascii("a\0b"s)), "NUL"},
                      UnreadableFile{"ListKeyUTF16WithNul", listPath,
                                     listWithEntryKey(Bytes::utf16(u"\u00e9\0"s)), "NUL"},
                      UnreadableFile{"ListKeyASCIIWithNul", listPath,
                                     listWithEntryKey(Bytes::ascii("a\0b"s)), "NUL"},
                      UnreadableFile{"DomainIntegerBeyond64Bits", domainPath,
                                     "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                     "<key>HideDockIcon</key><true/>"
                                     "<key>Count</key><integer>99999999999999999999999999</integer>"
                                     "</dict></plist>",
                                     "does not fit in 64 bits"}),
    [](const ::testing::TestParamInfo<UnreadableFile>& info) -> std::string {
        return info.param.name;
    });

using StoredFiles = ApplicationTest;

TEST_F(StoredFiles, AStringHoldingNulIsNotReadInSoEveryLaterChangeIsStored) {
    Bytes domain;
    domain.add(Bytes::dictionary({1, 2}, {3, 4}));
    domain.add(Bytes::ascii("Other"));
    domain.add(Bytes::ascii("HideDockIcon"));
    domain.add(Bytes::utf16(u"before\0after"s));
    domain.add(Bytes::boolean(true));
    writeFile(domainPath(), domain.file());
    launch();
    ASSERT_EQ(sim::setAsideFiles().size(), 1u);
    std::string error;
    EXPECT_TRUE(sim::storeSystemDefault("ShowSettingsOnLaunch", false, &error)) << error;
    EXPECT_EQ(sim::systemDefault("ShowSettingsOnLaunch"), false);
    EXPECT_FALSE(transcriptMentions("not stored"));
}

TEST_F(StoredFiles, WhatIsNoRegularFileIsSetAsideWithoutWaitingForIt) {
    std::filesystem::create_directories(preferencesFolder());
    ASSERT_EQ(::mkfifo(domainPath().c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", listPath());
    launch();
    struct stat keptAside {};
    ASSERT_EQ(::lstat((domainPath() + ".unreadable").c_str(), &keptAside), 0);
    EXPECT_TRUE(S_ISFIFO(keptAside.st_mode));
    EXPECT_TRUE(std::filesystem::is_symlink(listPath() + ".unreadable"));
    ASSERT_EQ(sim::setAsideFiles().size(), 2u);
    for (const sim::SetAsideFile& file : sim::setAsideFiles()) {
        EXPECT_NE(file.reason.find("not a regular file"), std::string::npos) << file.reason;
    }
}

TEST_F(StoredFiles, PathsOfFilesThatWereNoRegularFilesTakeFilesAgain) {
    std::filesystem::create_directories(preferencesFolder());
    ASSERT_EQ(::mkfifo(domainPath().c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", listPath());
    launch();
    std::string error;
    EXPECT_TRUE(sim::storeSystemDefault("HideDockIcon", true, &error)) << error;
    EXPECT_TRUE(sim::appendLoginItem({"/Applications/Mail.app"}, &error)) << error;
}

// --- Values of every kind

TEST_F(StoredFiles, ValuesOfOtherToolsAreKeptWhenTheDomainIsRewrittenAndTheSettingsAmongThemRead) {
    // As the platform's tools write a domain: binary, every kind of value.
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"ShowSettingsOnLaunch", Bytes::boolean(false)},
        {"HideDockIcon", Bytes::boolean(true)},
        {"LastSeen", Bytes::date(599529600.123456789)},
        {"Ancient", Bytes::date(-70000000000.0)},
        {"Token", Bytes::data(std::string("\0\x01\xFE\xFF", 4))},
        {"Largest", Bytes::integer128(0, ~0ull)},
        {"Smallest", Bytes::integer(INT64_MIN)},
        {"Ratio", Bytes::real32(0.75f)},
        {"Name", Bytes::utf16(u"Gr\u00fc\u00dfe \U0001F600")},
    };
    std::vector<std::uint32_t> keys;
    std::vector<std::uint32_t> values;
    for (std::uint32_t index = 0; index < entries.size(); ++index) {
        keys.push_back(1 + 2 * index);
        values.push_back(2 + 2 * index);
    }
    Bytes file;
    file.add(Bytes::dictionary(keys, values));
    for (const auto& [key, value] : entries) {
        file.add(Bytes::ascii(key));
        file.add(value);
    }
    writeFile(domainPath(), file.file());
    std::string error;
    const RetainPtr<CFTypeRef> before = sim::propertyListFromBytes(readFile(domainPath()), &error);
    ASSERT_TRUE(before) << error;

    launch();
    EXPECT_TRUE(sim::setAsideFiles().empty());
    EXPECT_FALSE(sim::settingsWindowOnScreen()) << "ShowSettingsOnLaunch = NO was not read";
    EXPECT_FALSE(dockIconShown()) << "HideDockIcon = YES was not read";
    // The launch stored LaunchAutomaticallyOnLogin: everything else is as it was.
    const RetainPtr<CFTypeRef> after = sim::propertyListFromBytes(readFile(domainPath()), &error);
    ASSERT_TRUE(after) << error;
    RetainPtr<NSMutableDictionary*> expected = adoptCF(NSMutableDictionary::create());
    for (const auto& [key, value] : *static_cast<const NSDictionary*>(before.get())) {
        expected->setObject(value, key);
    }
    expected->setObject(kCFBooleanFalse, CFSTR("LaunchAutomaticallyOnLogin"));
    EXPECT_TRUE(CFEqual(after.get(), expected.get()));
    const auto* stored = static_cast<const NSDictionary*>(after.get());
    EXPECT_EQ(static_cast<const NSNumber*>(stored->objectForKey(CFSTR("Largest")))
                  ->unsignedLongLongValue(),
              ULLONG_MAX);
    EXPECT_EQ(
        CFDateGetAbsoluteTime(static_cast<CFDateRef>(stored->objectForKey(CFSTR("LastSeen")))),
        599529600.123456789);
}

// --- Files that cannot be read at the moment, locks that cannot be had

// A domain another tool shares: its key "Mine" must outlive every failure.
const std::string kSharedDomain =
    "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Mine</key><string>kept</string>"
    "</dict></plist>";

struct PassingFailure {
    const char* call;
    std::int32_t error;
};

void PrintTo(const PassingFailure& failure, std::ostream* out) {
    *out << failure.call << " " << std::strerror(failure.error);
}

class FileUnavailableForAMoment : public ApplicationTest,
                                  public ::testing::WithParamInterface<PassingFailure> {};

TEST_P(FileUnavailableForAMoment, LeavesItInPlaceRefusesTheChangeAndTheNextChangeStoresIt) {
    writeFile(domainPath(), kSharedDomain);
    launch();
    sim::injectFault({.call = GetParam().call, .status = GetParam().error});
    std::string error;
    EXPECT_FALSE(sim::storeSystemDefault("HideDockIcon", true, &error));
    EXPECT_NE(error.find(std::strerror(GetParam().error)), std::string::npos) << error;
    sim::clearFaults();
    EXPECT_TRUE(sim::setAsideFiles().empty());
    EXPECT_TRUE(sim::storeSystemDefault("HideDockIcon", true, &error)) << error;
    const std::string stored = readFile(domainPath());
    EXPECT_NE(stored.find("<key>Mine</key>"), std::string::npos) << stored;
    EXPECT_NE(stored.find("<key>HideDockIcon</key>"), std::string::npos) << stored;
}

INSTANTIATE_TEST_SUITE_P(Errors, FileUnavailableForAMoment,
                         ::testing::Values(PassingFailure{"open", EMFILE},
                                           PassingFailure{"open", ENOMEM},
                                           PassingFailure{"read", EIO},
                                           PassingFailure{"read", EAGAIN},
                                           PassingFailure{"flock", ENOLCK}));

TEST_F(StoredFiles, WhatStandsInPlaceOfTheLockIsNamedAndNothingIsWrittenUnlocked) {
    writeFile(domainPath(), kSharedDomain);
    launch();
    const std::string before = readFile(domainPath());
    const std::string lock = sim::StoredFileLock::lockFilePath(domainPath());
    const std::string elsewhere = preferencesFolder() + "/elsewhere";
    for (const auto& [make, named] :
         {std::pair<std::function<void()>, const char*>{
              [&] { std::filesystem::create_directory(lock); }, "is a folder"},
          {[&] { std::filesystem::create_symlink(elsewhere, lock); }, "is a symbolic link"}}) {
        std::filesystem::remove(lock);
        make();
        std::string error;
        EXPECT_FALSE(sim::storeSystemDefault("HideDockIcon", true, &error));
        EXPECT_NE(error.find(named), std::string::npos) << error;
        EXPECT_EQ(readFile(domainPath()), before);
        EXPECT_FALSE(std::filesystem::exists(elsewhere));
    }
}

}  // namespace
