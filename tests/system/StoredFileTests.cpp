// The stored files (preferences and the login-item list) on a bad day: a file that cannot be
// read at the moment stays where it is and the next change stores it; a write that cannot take
// its lock is refused and names what stands in the lock's place. Another tool's key survives.
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "ApplicationTest.h"
#include "CoreFoundation/StoredPropertyListInternal.h"
#include "sim/Faults.h"
#include "sim/StoredFileLock.h"

namespace {

using StoredFiles = ApplicationTest;

// A domain another tool shares: its key "Mine" must outlive every failure.
const std::string kSharedDomain =
    "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Mine</key><string>kept</string>"
    "</dict></plist>";

TEST_F(StoredFiles, AFileUnavailableForAMomentIsLeftInPlaceAndTheNextChangeStoresIt) {
    writeFile(domainPath(), kSharedDomain);
    launch();
    for (const auto& [call, errorNumber] :
         {std::pair{"open", EMFILE}, std::pair{"open", ENOMEM}, std::pair{"read", EIO},
          std::pair{"read", EAGAIN}, std::pair{"flock", ENOLCK}}) {
        sim::injectFault({.call = call, .status = errorNumber});
        std::string error;
        EXPECT_FALSE(sim::storeSystemDefault("HideDockIcon", true, &error)) << call;
        EXPECT_NE(error.find(std::strerror(errorNumber)), std::string::npos) << error;
        sim::clearFaults();
        EXPECT_TRUE(frameworks::setAsideFiles().empty());
        EXPECT_TRUE(sim::storeSystemDefault("HideDockIcon", true, &error)) << error;
        const std::string stored = readFile(domainPath());
        EXPECT_NE(stored.find("<key>Mine</key>"), std::string::npos) << stored;
        EXPECT_NE(stored.find("<key>HideDockIcon</key>"), std::string::npos) << stored;
        ASSERT_TRUE(sim::storeSystemDefault("HideDockIcon", false, &error)) << error;
    }
}

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
