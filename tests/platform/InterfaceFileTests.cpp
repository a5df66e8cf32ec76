// The interface-file loader: the order of initialize and awakeFromNib, and files that cannot be
// loaded. The main interface file itself is loaded by every launch of the system
// (ApplicationLaunchTests.cpp, SystemProcessTests.cpp and the scenarios), which use each of its
// controls and connections: its window hidden at load and only hidden when closed, and switches
// that show the stored value and store a click before sending their action.
#include <AppKit/AppKit.h>
#include <TypeCastsCocoa.h>

#include <memory>
#include <string>
#include <vector>

#include "AppKit/InterfaceFileInternal.h"
#include "CoreFoundation/CFPropertyListInternal.h"
#include "HomeFolderTest.h"
#include "control/SystemProcess.h"

namespace {

// A class that interface files can make, recording what the loader sends.
class RecordingController : public NSObject {
public:
    static void initialize() { events().push_back("initialize"); }
    void awakeFromNib() {
        events().push_back(window_ != nullptr ? "awakeFromNib with window" : "awakeFromNib");
    }
    void setWindow(NSWindow* window) { window_ = window; }
    void press(id) {}

    static std::vector<std::string>& events() {
        static std::vector<std::string> recorded;
        return recorded;
    }

    NSWindow* window_ = nullptr;
    id field = nullptr;
};

[[maybe_unused]] const auto gRegistration =
    RuntimeClassRegistration<RecordingController>("RecordingController")
        .initialize(&RecordingController::initialize)
        .outlet("window", &RecordingController::setWindow)
        .outlet("field", &RecordingController::field)
        .action("press:", &RecordingController::press)
        .awakeFromNib(&RecordingController::awakeFromNib);

// Property-list text, built from its parts.
std::string S(const std::string& text) {
    return "<string>" + text + "</string>";
}
std::string I(long value) {
    return "<integer>" + std::to_string(value) + "</integer>";
}
std::string B(bool value) {
    return value ? "<true/>" : "<false/>";
}
std::string A(std::initializer_list<std::string> elements) {
    std::string text = "<array>";
    for (const std::string& element : elements) {
        text += element;
    }
    return text + "</array>";
}
std::string D(std::initializer_list<std::pair<std::string, std::string>> entries) {
    std::string text = "<dict>";
    for (const auto& [key, value] : entries) {
        text += "<key>" + key + "</key>" + value;
    }
    return text + "</dict>";
}
std::string frame() {
    return A({I(10), I(10), I(200), I(100)});
}

std::string outlet(const std::string& source, const std::string& name, const std::string& to) {
    return D({{"Type", S("outlet")},
              {"Source", S(source)},
              {"Outlet", S(name)},
              {"Destination", S(to)}});
}
std::string action(const std::string& source, const std::string& selector,
                   const std::string& target) {
    return D({{"Type", S("action")},
              {"Source", S(source)},
              {"Action", S(selector)},
              {"Target", S(target)}});
}

std::string controller() {
    return D({{"ID", S("controller")}, {"Class", S("RecordingController")}});
}
std::string window(const std::string& views) {
    return D({{"ID", S("window")},
              {"Class", S("NSWindow")},
              {"Title", S("Test Window")},
              {"Frame", frame()},
              {"VisibleAtLaunch", B(false)},
              {"Views", views}});
}
std::string field() {
    return D({{"ID", S("field")}, {"Class", S("NSTextField")}, {"Frame", frame()}});
}
std::string button() {
    return D({{"ID", S("switch")},
              {"Class", S("NSButton")},
              {"ButtonType", S("switch")},
              {"Title", S("Switch")},
              {"Frame", frame()}});
}
std::string document(const std::string& objects, const std::string& connections) {
    return D({{"InterfaceFileVersion", I(1)}, {"Objects", objects}, {"Connections", connections}});
}
// The controller, a window with a field and a button, and their connections.
std::string wholeDocument() {
    return document(
        A({controller(), window(A({field(), button()}))}),
        A({outlet("controller", "window", "window"), outlet("controller", "field", "field"),
           action("switch", "press:", "controller")}));
}

class InterfaceFile : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        RecordingController::events().clear();
    }
    void TearDown() override {
        loaded_.reset();
        SessionTest::TearDown();
    }

    // Loads property-list text; the reason of a failure goes to `error_`.
    bool load(const std::string& text) {
        const std::string xml =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">" + text + "</plist>";
        RetainPtr<CFTypeRef> root = frameworks::propertyListFromBytes(xml, &error_);
        if (!root) {
            ADD_FAILURE() << "the test's property list does not parse: " << error_;
            return false;
        }
        loaded_ =
            frameworks::loadInterface(root.get(), NSApplication::sharedApplication(), &error_);
        return loaded_ != nullptr;
    }

    template <class T>
    T* object(const char* identifier) const {
        return dynamic_objc_cast<T>(loaded_->objectWithID(identifier));
    }

    std::unique_ptr<frameworks::LoadedInterface> loaded_;
    std::string error_;
};

// --- Making and connecting

TEST_F(InterfaceFile, OutletsAreFilledBeforeAwakeFromNibAndInitializeComesOnceFirst) {
    ASSERT_TRUE(load(wholeDocument())) << error_;
    auto* made = object<RecordingController>("controller");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->window_, object<NSWindow>("window"));
    EXPECT_EQ(made->field, object<NSTextField>("field"));
    ASSERT_TRUE(load(wholeDocument())) << error_;
    EXPECT_EQ(RecordingController::events(),
              (std::vector<std::string>{"initialize", "awakeFromNib with window",
                                        "awakeFromNib with window"}));
}

// --- Files that cannot be loaded

// Each malformed form is reported (a part of the report given) and makes nothing.
TEST_F(InterfaceFile, AMalformedFileIsReportedAndMakesNothing) {
    const std::pair<std::string, const char*> files[] = {
        {A({}), "the top level: is not a dictionary"},
        {D({{"InterfaceFileVersion", I(2)}, {"Objects", A({})}}),
         "InterfaceFileVersion 2 is not supported"},
        {D({{"InterfaceFileVersion", I(1)}}), "the top level: has no Objects"},
        {document(A({D({{"ID", S("w")},
                        {"Class", S("NSWindow")},
                        {"Title", S("")},
                        {"Frame", frame()},
                        {"VisibleAtLunch", B(true)}})}),
                  A({})),
         "Objects[0] \"w\": unknown key \"VisibleAtLunch\""},
        {document(A({D({{"ID", S("p")}, {"Class", S("NSPanel")}})}), A({})),
         "no class is named \"NSPanel\""},
        {document(A({field()}), A({})), "belongs in the Views of a window"},
        {document(A({controller(), controller()}), A({})), "the ID \"controller\" is used twice"},
        {document(A({controller()}), A({outlet("controller", "window", "nowhere")})),
         "the Destination \"nowhere\" is no object of the file"},
        {document(A({controller(), window(A({}))}), A({outlet("controller", "door", "window")})),
         "RecordingController has no outlet \"door\""},
        {document(A({controller(), window(A({button()}))}),
                  A({action("switch", "open:", "controller")})),
         "\"controller\" does not respond to \"open:\""},
        {document(A({controller()}), A({outlet("NSApp", "delegate", "controller")})),
         "cannot be the application's delegate"},
    };
    for (const auto& [text, reason] : files) {
        const long alive = NSObjectLiveCount();
        EXPECT_FALSE(load(text));
        EXPECT_NE(error_.find(reason), std::string::npos) << error_;
        EXPECT_EQ(NSObjectLiveCount(), alive) << "a failed load left objects alive: " << reason;
        EXPECT_TRUE(sim::desktop().windowsOf(sim::kSystemPid).empty());
        EXPECT_EQ(NSApp->delegate(), nullptr);
    }
}

}  // namespace
