// The standard user defaults: the order in which the domains are searched, the registration
// domain that is never stored, the application's domain in the home folder (written at once,
// atomically), and a preferences file that cannot be read or is no
// regular file.
#include <RetainPtr.h>
#include <sys/stat.h>

#include <string>

#include "CoreFoundation/CFPropertyListInternal.h"
#include "CoreFoundation/StoredPropertyListInternal.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSUserDefaults.h"
#include "HomeFolderTest.h"
#include "sim/Faults.h"
#include "sim/ProcessArguments.h"

namespace {

// Process arguments outlive session resets; each test that sets them puts them back.
class ArgumentsGuard {
public:
    explicit ArgumentsGuard(std::vector<const char*> arguments) {
        sim::setProcessArguments(static_cast<int>(arguments.size()), arguments.data());
    }
    ~ArgumentsGuard() { sim::setProcessArguments(0, nullptr); }
};

class UserDefaults : public SessionTest {
protected:
    static NSUserDefaults* defaults() { return NSUserDefaults::standardUserDefaults(); }

    static void registerTheSystemsDefaults() {
        defaults()->registerDefaults(NSDictionary::dictionaryWithPairs(
            {{CFSTR("LaunchAutomaticallyOnLogin"), kCFBooleanFalse},
             {CFSTR("ShowSettingsOnLaunch"), kCFBooleanTrue},
             {CFSTR("HideDockIcon"), kCFBooleanFalse}}));
    }

    // What the preferences file holds now, read as another program would read it.
    static RetainPtr<CFTypeRef> storedValue(CFStringRef key) {
        frameworks::PropertyListFile file = frameworks::readPropertyListFile(domainPath());
        if (file.status != frameworks::PropertyListFile::Status::Read) {
            return nullptr;
        }
        return retainPtr<CFTypeRef>(
            static_cast<const NSDictionary*>(file.root.get())->objectForKey(key));
    }

    // A file in the place of the Preferences folder: nothing can be written there.
    static void blockThePreferencesFolder() {
        writeFile(sim::homeFolder() + "/Library/Preferences", "in the way");
    }
};

// --- Search order

TEST_F(UserDefaults, StoredValuesBeatRegisteredOnesWhichAreNeverStoredAndAreSeenAtOnce) {
    EXPECT_EQ(defaults()->objectForKey(CFSTR("ShowSettingsOnLaunch")), nullptr);
    EXPECT_EQ(sim::systemDefault("ShowSettingsOnLaunch"), std::nullopt);
    registerTheSystemsDefaults();
    // Registered defaults are never stored.
    EXPECT_FALSE(std::filesystem::exists(domainPath()));
    EXPECT_EQ(defaults()->persistentDomainForName(CFSTR("org.quenfold.Quenfold")), nullptr);
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("ShowSettingsOnLaunch")));
    EXPECT_EQ(sim::systemDefault("ShowSettingsOnLaunch"), std::optional<bool>(true));
    EXPECT_FALSE(defaults()->boolForKey(CFSTR("HideDockIcon")));
    EXPECT_FALSE(defaults()->boolForKey(CFSTR("NeverMentioned")));
    defaults()->setBool(NO, CFSTR("ShowSettingsOnLaunch"));
    EXPECT_FALSE(defaults()->boolForKey(CFSTR("ShowSettingsOnLaunch")));
    EXPECT_EQ(sim::systemDefault("ShowSettingsOnLaunch"), std::optional<bool>(false));
    EXPECT_FALSE(storedValue(CFSTR("HideDockIcon")));
    EXPECT_EQ(defaults()->persistentDomainForName(CFSTR("org.quenfold.Quenfold"))->count(), 1u);
    defaults()->removeObjectForKey(CFSTR("ShowSettingsOnLaunch"));
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("ShowSettingsOnLaunch")));
    std::string error;
    ASSERT_TRUE(sim::storeSystemDefault("LaunchAutomaticallyOnLogin", true, &error)) << error;
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("LaunchAutomaticallyOnLogin")));
    EXPECT_TRUE(CFEqual(storedValue(CFSTR("LaunchAutomaticallyOnLogin")).get(), kCFBooleanTrue));
}

TEST_F(UserDefaults, ArgumentsAreKeyValuePairsThatBeatEveryOtherDomainAndAreNeverStored) {
    registerTheSystemsDefaults();
    defaults()->setBool(NO, CFSTR("HideDockIcon"));
    ArgumentsGuard arguments(
        {"Quenfold", "stray", "-HideDockIcon", "YES", "-SimulatedHome", "/tmp/home", "-Dangling"});
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("HideDockIcon")));
    EXPECT_TRUE(CFEqual(defaults()->objectForKey(CFSTR("HideDockIcon")), CFSTR("YES")));
    EXPECT_TRUE(CFEqual(storedValue(CFSTR("HideDockIcon")).get(), kCFBooleanFalse));
    EXPECT_TRUE(CFEqual(defaults()->stringForKey(CFSTR("SimulatedHome")), CFSTR("/tmp/home")));
    EXPECT_EQ(defaults()->objectForKey(CFSTR("Dangling")), nullptr);
    EXPECT_EQ(defaults()->objectForKey(CFSTR("stray")), nullptr);
    EXPECT_EQ(defaults()->volatileDomainForName(NSArgumentDomain)->count(), 2u);
}

TEST_F(UserDefaults, StringsAndNumbersReadAsBooleansAsThePlatformReadsThem) {
    ArgumentsGuard arguments({"Quenfold", "-A", "yes", "-B", "NO", "-C", "1", "-D", "0"});
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("A")));
    EXPECT_FALSE(defaults()->boolForKey(CFSTR("B")));
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("C")));
    EXPECT_FALSE(defaults()->boolForKey(CFSTR("D")));
    defaults()->setObject(NSNumber::numberWithInt(3), CFSTR("Count"));
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("Count")));
    EXPECT_TRUE(CFEqual(defaults()->stringForKey(CFSTR("Count")), CFSTR("3")));
}

// --- The application's domain on the disk

TEST_F(UserDefaults, EverySetIsWrittenAtOnceReportedAndAnnounced) {
    struct Listener : NSObject {
        int told = 0;
        void changed(NSNotification*) { ++told; }
    };
    const RetainPtr<Listener*> listener = adoptCF(new Listener());
    NSNotificationCenter::defaultCenter()->addObserver(
        listener.get(), &Listener::changed, NSUserDefaultsDidChangeNotification, defaults());
    defaults()->setBool(NO, CFSTR("ShowSettingsOnLaunch"));
    EXPECT_TRUE(CFEqual(storedValue(CFSTR("ShowSettingsOnLaunch")).get(), kCFBooleanFalse));
    EXPECT_TRUE(transcriptMentions("preference ShowSettingsOnLaunch = NO stored"));
    defaults()->setBool(YES, CFSTR("ShowSettingsOnLaunch"));
    EXPECT_TRUE(CFEqual(storedValue(CFSTR("ShowSettingsOnLaunch")).get(), kCFBooleanTrue));
    defaults()->removeObjectForKey(CFSTR("ShowSettingsOnLaunch"));
    EXPECT_FALSE(storedValue(CFSTR("ShowSettingsOnLaunch")));
    EXPECT_TRUE(transcriptMentions("preference ShowSettingsOnLaunch removed"));
    // Written by replacing the file: nothing is left beside it but the lock file that every
    // process changing it shares.
    EXPECT_EQ(filesIn(preferencesFolder()),
              (std::vector<std::string>{"." + std::string(kDomainFile) + ".lock", kDomainFile}));
    EXPECT_EQ(listener->told, 3);
    NSNotificationCenter::defaultCenter()->removeObserver(listener.get());
}

TEST_F(UserDefaults, AValueThatCannotBeWrittenIsKeptInMemoryAndWrittenLater) {
    blockThePreferencesFolder();
    std::string error;
    EXPECT_FALSE(sim::storeSystemDefault("HideDockIcon", true, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(sim::systemDefault("HideDockIcon"), std::nullopt) << "the failed store changed it";
    defaults()->setBool(YES, CFSTR("HideDockIcon"));
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("HideDockIcon")));
    EXPECT_TRUE(transcriptMentions("preference HideDockIcon = YES (not stored"));
    EXPECT_FALSE(defaults()->synchronize());

    std::filesystem::remove(sim::homeFolder() + "/Library/Preferences");
    EXPECT_TRUE(defaults()->synchronize());
    EXPECT_TRUE(CFEqual(storedValue(CFSTR("HideDockIcon")).get(), kCFBooleanTrue));
    // A value a property list cannot hold is refused and the one before stays.
    defaults()->setObject(NSNull::null(), CFSTR("HideDockIcon"));
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("HideDockIcon")));
    EXPECT_TRUE(CFEqual(storedValue(CFSTR("HideDockIcon")).get(), kCFBooleanTrue));
}

// --- A preferences file that cannot be read

// A preferences file of the given bytes, which the standard user defaults cannot read.
class UnreadableDomainFile : public UserDefaults,
                             public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        UserDefaults::SetUp();
        writeFile(domainPath(), GetParam());
        registerTheSystemsDefaults();
    }
    static std::string keptAs() { return domainPath() + ".unreadable"; }
};

TEST_P(UnreadableDomainFile,
       IsKeptAsideAndReportedTheRegisteredDefaultsAnswerAndASetStartsAFreshFile) {
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("ShowSettingsOnLaunch")));
    EXPECT_EQ(readFile(keptAs()), GetParam());
    EXPECT_TRUE(transcriptMentions("preferences file Library/Preferences/" +
                                   std::string(kDomainFile) + " is unreadable"));
    ASSERT_EQ(frameworks::setAsideFiles().size(), 1u);
    EXPECT_EQ(frameworks::setAsideFiles()[0].keptAs, keptAs());
    EXPECT_FALSE(frameworks::setAsideFiles()[0].reason.empty());
    // What is set afterwards starts a fresh file beside the kept one.
    defaults()->setBool(NO, CFSTR("ShowSettingsOnLaunch"));
    EXPECT_TRUE(CFEqual(storedValue(CFSTR("ShowSettingsOnLaunch")).get(), kCFBooleanFalse));
    EXPECT_EQ(readFile(keptAs()), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnreadableDomainFile,
    ::testing::Values("{ this is not a property list",
                      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>"),
    [](const ::testing::TestParamInfo<std::string>& info) -> std::string {
        return info.index == 0 ? "NoPropertyList" : "NoDictionary";
    });

TEST_F(UserDefaults, WhatIsNoRegularFileIsSetAsideWithoutWaitingForItAndAFileTakesItsPlace) {
    std::filesystem::create_directories(preferencesFolder());
    ASSERT_EQ(::mkfifo(domainPath().c_str(), 0600), 0);
    EXPECT_EQ(defaults()->objectForKey(CFSTR("Anything")), nullptr);
    ASSERT_EQ(frameworks::setAsideFiles().size(), 1u);
    EXPECT_NE(frameworks::setAsideFiles()[0].reason.find("not a regular file"), std::string::npos);
    defaults()->setBool(YES, CFSTR("HideDockIcon"));
    EXPECT_TRUE(CFEqual(storedValue(CFSTR("HideDockIcon")).get(), kCFBooleanTrue));
}

TEST_F(UserDefaults, AnUnreadableFileThatCannotBeMovedIsNeverOverwritten) {
    writeFile(domainPath(), "precious but unreadable");
    sim::injectFault({.call = "moveUnreadableFileAside"});
    defaults()->setBool(YES, CFSTR("HideDockIcon"));
    EXPECT_TRUE(defaults()->boolForKey(CFSTR("HideDockIcon")));
    EXPECT_EQ(readFile(domainPath()), "precious but unreadable");
    std::string error;
    EXPECT_FALSE(sim::storeSystemDefault("ShowSettingsOnLaunch", false, &error));
    EXPECT_NE(error.find("unreadable"), std::string::npos) << error;
    EXPECT_EQ(readFile(domainPath()), "precious but unreadable");
}

}  // namespace
