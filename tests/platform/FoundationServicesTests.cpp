// Foundation services of the session: the main bundle and its Info.plist, the file manager's
// display names and the notification centre. The standard folders are
// tested through the accessibility pane's search (ApplicationLaunchTests.cpp).
#include <RetainPtr.h>

#include <string>

#include "Foundation/Foundation.h"
#include "HomeFolderTest.h"
#include "TestBundle.h"
#include "sim/Faults.h"
#include "sim/FileSystem.h"

namespace {

// The main bundle a copy of the application's, put back when the test ends.
class FoundationServices : public SessionTest {
protected:
    void SetUp() override {
        sim::setMainBundlePath(bundle_.path());
        SessionTest::SetUp();
    }
    void TearDown() override {
        SessionTest::TearDown();
        sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
    }

    static std::string displayName(const std::string& path) {
        return NSFileManager::defaultManager()
            ->displayNameAtPath(NSString::stringWithUTF8String(path.c_str()))
            ->utf8();
    }

    TestBundle bundle_;
};

// --- The main bundle

TEST_F(FoundationServices,
       TheMainBundleIsTheApplicationFolderAndAnswersFromItsInfoPlistAndResources) {
    const std::string& path = bundle_.path();
    NSBundle* bundle = NSBundle::mainBundle();
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(bundle->bundlePath()->utf8(), path);
    EXPECT_EQ(bundle, NSBundle::mainBundle());
    const RetainPtr<CFURLRef> expected = adoptCF(CFURLCreateWithFileSystemPath(
        kCFAllocatorDefault, bundle->bundlePath(), kCFURLPOSIXPathStyle, true));
    EXPECT_TRUE(CFEqual(bundle->bundleURL(), expected.get()));
    EXPECT_EQ(bundle->resourcePath()->utf8(), path + "/Contents/Resources");
    ASSERT_NE(bundle->infoDictionary(), nullptr);
    EXPECT_TRUE(CFEqual(bundle->bundleIdentifier(), CFSTR("org.quenfold.Quenfold")));
    EXPECT_TRUE(CFEqual(bundle->objectForInfoDictionaryKey(CFSTR("LSUIElement")), kCFBooleanTrue));
    EXPECT_TRUE(
        CFEqual(bundle->objectForInfoDictionaryKey(CFSTR("NSMainNibFile")), CFSTR("MainMenu")));
    // A resource is found by its name and extension only.
    bundle_.write("Resources/README", "resource");
    NSString* found = bundle->pathForResource(CFSTR("MainMenu"), CFSTR("plist"));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->utf8(), path + "/Contents/Resources/MainMenu.plist");
    EXPECT_NE(bundle->pathForResource(CFSTR("README"), nullptr), nullptr);
    EXPECT_EQ(bundle->pathForResource(CFSTR("MainMenu"), CFSTR("nib")), nullptr);
    EXPECT_EQ(bundle->pathForResource(nullptr, CFSTR("plist")), nullptr);
}

// --- Display names

TEST_F(FoundationServices, AnApplicationIsShownWithoutItsExtensionAndOtherItemsWhole) {
    sim::addVirtualDirectory("/Applications/Quenfold.app");
    const TemporaryFolder folder;
    writeFile(folder.path() + "/notes.app", "a plain file with the extension");
    const std::pair<std::string, std::string> cases[] = {
        {"/Applications/Quenfold.app", "Quenfold"},
        {"/Applications/Quenfold.app/", "Quenfold"},
        {"/Applications/Google Chrome.APP", "Google Chrome"},
        {folder.path() + "/notes.app", "notes.app"},
        {"/Users/Shared/report.pdf", "report.pdf"},
        {"/Applications/Utilities", "Utilities"},
        {"/Applications/.app", ".app"},
    };
    for (const auto& [path, name] : cases) {
        EXPECT_EQ(displayName(path), name) << path;
    }
}

// --- Notifications

struct Listener : NSObject {
    std::vector<std::string> heard;
    void heardIt(NSNotification* note) { heard.push_back(note->name()->utf8()); }
};

TEST_F(FoundationServices, ObserversHearWhatTheyAskedForUntilRemovedAndAreNotRetained) {
    NSNotificationCenter* center = NSNotificationCenter::defaultCenter();
    const RetainPtr<Listener*> byName = adoptCF(new Listener());
    const RetainPtr<Listener*> byObject = adoptCF(new Listener());
    const RetainPtr<Listener*> everything = adoptCF(new Listener());
    const RetainPtr<NSObject*> sender = adoptCF(new NSObject());
    center->addObserver(byName.get(), &Listener::heardIt, CFSTR("Quit"), nullptr);
    center->addObserver(byName.get(), &Listener::heardIt, CFSTR("Other"), nullptr);
    center->addObserver(byObject.get(), &Listener::heardIt, nullptr, sender.get());
    center->addObserver(everything.get(), &Listener::heardIt, nullptr, nullptr);
    EXPECT_EQ(CFGetRetainCount(byName.get()), 1);

    center->postNotificationName(CFSTR("Third"), nullptr);
    center->postNotificationName(CFSTR("Quit"), nullptr);
    center->removeObserver(byName.get(), CFSTR("Quit"), nullptr);
    center->postNotificationName(CFSTR("Quit"), sender.get());
    center->postNotificationName(CFSTR("Other"), sender.get());
    center->removeObserver(byName.get());
    center->removeObserver(byObject.get());
    center->postNotificationName(CFSTR("Other"), sender.get());
    EXPECT_EQ(byName->heard, (std::vector<std::string>{"Quit", "Other"}));
    EXPECT_EQ(byObject->heard, (std::vector<std::string>{"Quit", "Other"}));
    EXPECT_EQ(everything->heard,
              (std::vector<std::string>{"Third", "Quit", "Quit", "Other", "Other"}));
    center->removeObserver(everything.get());
}

}  // namespace
