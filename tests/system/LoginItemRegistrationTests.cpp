// Login-item registration through the delegate: the query and the two setters against the
// user's login-item list, its unresolvable entries, letter case, a missing bundle and a
// missing icon.
#include <CoreServices/CoreServices.h>

#include <string>

#include "QuenfoldAppDelegate.h"
#include "SystemTest.h"
#include "control/SystemProcess.h"
#include "sim/Faults.h"

namespace {

class LoginItemRegistration : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        delegate_ = adoptCF(new QuenfoldAppDelegate());
    }
    void TearDown() override {
        delegate_.clear();
        SystemTest::TearDown();
    }

    static std::string selfPath() { return sim::mainBundlePath(); }

    static void append(const std::string& path, bool resolvable = true) {
        std::string error;
        ASSERT_TRUE(sim::appendLoginItem({path, resolvable}, &error)) << error;
    }

    static std::vector<std::string> paths() {
        std::vector<std::string> result;
        for (const sim::LoginItemEntry& entry : sim::loginItems()) {
            result.push_back(entry.path + (entry.resolvable ? "" : " (unresolvable)"));
        }
        return result;
    }

    RetainPtr<QuenfoldAppDelegate*> delegate_;
};

using Paths = std::vector<std::string>;

// --- An empty list

TEST_F(LoginItemRegistration, AnEmptyListAnswersNoDisablingChangesNothingEnablingAddsAtTheHead) {
    EXPECT_FALSE(delegate_->isLaunchAutomaticallyOnLogin());
    delegate_->setLaunchAutomaticallyOnLogin(false);
    EXPECT_TRUE(sim::loginItems().empty());
    EXPECT_EQ(sim::callCount("LSSharedFileListItemRemove"), 0u);
    // Enabling adds one entry at the head, with the display name and the icon.
    append("/Applications/Mail.app");
    delegate_->setLaunchAutomaticallyOnLogin(true);
    const std::vector<sim::LoginItemEntry> entries = sim::loginItems();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, selfPath());
    EXPECT_EQ(entries[0].displayName, "Quenfold");
    EXPECT_TRUE(entries[0].hasIcon);
    EXPECT_EQ(entries[1].path, "/Applications/Mail.app");
    EXPECT_TRUE(delegate_->isLaunchAutomaticallyOnLogin());
}

// --- Entries already there

TEST_F(LoginItemRegistration, EnablingLeavesAnExistingEntryWhereItStands) {
    append("/Applications/Mail.app");
    append(selfPath());
    EXPECT_TRUE(delegate_->isLaunchAutomaticallyOnLogin());
    delegate_->setLaunchAutomaticallyOnLogin(true);
    EXPECT_EQ(paths(), (Paths{"/Applications/Mail.app", selfPath()}));
}

TEST_F(LoginItemRegistration, AnUnresolvableEntryIsPassedOver) {
    append(selfPath(), /*resolvable=*/false);
    EXPECT_FALSE(delegate_->isLaunchAutomaticallyOnLogin());
    delegate_->setLaunchAutomaticallyOnLogin(true);
    EXPECT_EQ(paths(), (Paths{selfPath(), selfPath() + " (unresolvable)"}));
    delegate_->setLaunchAutomaticallyOnLogin(false);
    EXPECT_EQ(paths(), Paths{selfPath() + " (unresolvable)"});
    append(selfPath());  // an entry of its own after the one that cannot be resolved
    EXPECT_TRUE(delegate_->isLaunchAutomaticallyOnLogin());
}

TEST_F(LoginItemRegistration, AnEntryDifferingInLetterCaseDoesNotMatch) {
    std::string otherCase = selfPath();
    const std::size_t name = otherCase.rfind("Quenfold.app");
    ASSERT_NE(name, std::string::npos);
    otherCase.replace(name, 8, "quenfold");
    append(otherCase);
    EXPECT_FALSE(delegate_->isLaunchAutomaticallyOnLogin());
    delegate_->setLaunchAutomaticallyOnLogin(false);
    EXPECT_EQ(paths(), Paths{otherCase});
}

// --- What the platform cannot give

TEST_F(LoginItemRegistration, WithoutABundleTheQueryAnswersNoAndTheSettersDoNothing) {
    sim::injectFault({.call = "mainBundle"});
    EXPECT_FALSE(delegate_->isLaunchAutomaticallyOnLogin());
    EXPECT_EQ(sim::callCount("LSSharedFileListCreate"), 0u) << "the list was opened";
    delegate_->setLaunchAutomaticallyOnLogin(true);
    delegate_->setLaunchAutomaticallyOnLogin(nullptr, true);
    EXPECT_TRUE(sim::loginItems().empty());
}

// A platform call the entry's icon depends on, made to fail, and how often the icon is then asked
// for (not at all without a file reference).
using IconStep = std::pair<const char*, std::size_t>;

class LoginItemWithoutIcon : public LoginItemRegistration,
                             public ::testing::WithParamInterface<IconStep> {};

TEST_P(LoginItemWithoutIcon, TheEntryIsAddedWithItsNameOnly) {
    const auto& [failing, iconRequests] = GetParam();
    sim::injectFault({.call = failing, .status = fnfErr});
    delegate_->setLaunchAutomaticallyOnLogin(true);
    const std::vector<sim::LoginItemEntry> entries = sim::loginItems();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, selfPath());
    EXPECT_EQ(entries[0].displayName, "Quenfold");
    EXPECT_FALSE(entries[0].hasIcon);
    EXPECT_EQ(sim::callCount("GetIconRefFromFileInfo"), iconRequests);
}

INSTANTIATE_TEST_SUITE_P(Failing, LoginItemWithoutIcon,
                         ::testing::Values(IconStep{"CFURLGetFSRef", 0},
                                           IconStep{"GetIconRefFromFileInfo", 1}),
                         [](const ::testing::TestParamInfo<IconStep>& info) -> std::string {
                             return info.param.first;
                         });

// A list that cannot be opened is left alone and answers no; one without a snapshot counts as
// empty.
TEST_F(LoginItemRegistration, AListThatCannotBeOpenedOrGivesNoSnapshotAnswersNo) {
    append(selfPath());
    sim::injectFault({.call = "LSSharedFileListCreate"});
    EXPECT_FALSE(delegate_->isLaunchAutomaticallyOnLogin());
    delegate_->setLaunchAutomaticallyOnLogin(false);
    delegate_->setLaunchAutomaticallyOnLogin(true);
    EXPECT_EQ(paths(), Paths{selfPath()});
    sim::clearFaults();
    sim::injectFault({.call = "LSSharedFileListCopySnapshot"});
    EXPECT_FALSE(delegate_->isLaunchAutomaticallyOnLogin());
    delegate_->setLaunchAutomaticallyOnLogin(true);
    // The setter saw no entry and inserted one; the list moved the one it holds instead.
    EXPECT_EQ(paths(), Paths{selfPath()});
}

// --- References

TEST_F(LoginItemRegistration, AddingKeepsNoReferenceToTheIconOrTheNewEntry) {
    {
        // What the session keeps for itself once asked (the main bundle) is made here.
        NSAutoreleasePool pool;
        delegate_->setLaunchAutomaticallyOnLogin(true);
        delegate_->setLaunchAutomaticallyOnLogin(false);
    }
    ASSERT_TRUE(sim::loginItems().empty());
    const long before = NSObjectLiveCount();
    {
        NSAutoreleasePool pool;
        delegate_->setLaunchAutomaticallyOnLogin(true);
    }
    ASSERT_EQ(sim::loginItems().size(), 1u);
    EXPECT_TRUE(sim::loginItems()[0].hasIcon);
    EXPECT_EQ(NSObjectLiveCount(), before);
}

}  // namespace
