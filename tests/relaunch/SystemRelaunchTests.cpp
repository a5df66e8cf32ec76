// Each launch of the system is a new process: its code is loaded afresh, so nothing one launch
// kept (the press snapshot, the system-wide element, a child the toolkit found and keeps in its
// heap, the delegate) is seen by the next, and nothing of a process outlives its end.
#include <dlfcn.h>

#include <Foundation/NSObjCRuntime.h>
#include <RetainPtr.h>

#include <cstddef>
#include <cstdint>

#include "ApplicationServices/EventSystemInternal.h"
#include "SessionTest.h"
#include "control/SystemProcess.h"
#include "sim/Clock.h"

namespace {

const std::string kImage = std::string(QUENFOLD_BUNDLE_PATH) + "/Contents/MacOS/QuenfoldSystem.so";

// A variable or function of the loaded image, by its symbol; null while the image is not
// loaded.
template <class T>
T imageSymbol(const char* symbol) {
    void* image = dlopen(kImage.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (image == nullptr) {
        return nullptr;
    }
    void* found = dlsym(image, symbol);
    dlclose(image);
    return reinterpret_cast<T>(found);
}

// The toolkit's search by position and its count of the children it keeps for the process.
using GetIndexElementInChildren = AXUIElementRef (*)(AXUIElementRef, std::int32_t);
using CountOfKeptChildElements = std::size_t (*)();
constexpr const char* kGetIndexElementInChildren =
    "_Z25getIndexElementInChildrenPK14CFOpaqueObjectI13__AXUIElementEi";
constexpr const char* kCountOfKeptChildElements = "_Z24countOfKeptChildElementsv";

bool imageLoaded() {
    return imageSymbol<void*>("_QuenfoldSystemImageFinalize") != nullptr;
}

class SystemRelaunch : public SessionTest {
protected:
    void SetUp() override {
        frameworks::setSystemImagePath(kImage);
        SessionTest::SetUp();
    }
    void TearDown() override {
        SessionTest::TearDown();
        EXPECT_FALSE(imageLoaded());
        frameworks::setSystemImagePath("");
    }

    static void launch() {
        std::string error;
        ASSERT_TRUE(frameworks::launchSystem(&error)) << error;
        sim::settle();
    }

    static void clickDockItem(const std::string& title, bool press) {
        const CGPoint point = dockItem(title);
        if (press) {
            frameworks::eventSystem().pressLeft(point.x, point.y);
        }
        frameworks::eventSystem().releaseLeft(point.x, point.y);
        sim::settle();
    }
};

TEST_F(SystemRelaunch, NothingOfOneLaunchIsSeenByTheNextOrOutlivesItsProcess) {
    addApp("Safari");
    const long before = NSObjectLiveCount();
    std::vector<pid_t> pids;
    for (int launchNumber = 0; launchNumber < 3; ++launchNumber) {
        launch();
        pids.push_back(sim::desktop().systemPid());
        ASSERT_NE(runtimeClassNamed("QuenfoldAppDelegate"), nullptr);
        NSNumber** snapshotPid = imageSymbol<NSNumber**>("gLeftMouseDownPid");
        AXUIElementRef* systemWide = imageSymbol<AXUIElementRef*>("_systemWideElement");
        const auto getIndexElement =
            imageSymbol<GetIndexElementInChildren>(kGetIndexElementInChildren);
        const auto countOfKept = imageSymbol<CountOfKeptChildElements>(kCountOfKeptChildElements);
        ASSERT_TRUE(snapshotPid && systemWide && getIndexElement && countOfKept);
        // Fresh statics: no press seen yet, the system-wide element made by this launch, no
        // child kept.
        EXPECT_EQ(*snapshotPid, nullptr);
        EXPECT_NE(*systemWide, nullptr);
        EXPECT_EQ(countOfKept(), 0u);
        // A child the toolkit keeps for the rest of the process, in its own heap.
        RetainPtr<AXUIElementRef> dock = adoptCF(AXUIElementCreateApplication(sim::kDockPid));
        ASSERT_NE(getIndexElement(dock.get(), 0), nullptr);
        dock.clear();
        EXPECT_EQ(countOfKept(), 1u);
        // A release without a press of this process hides nothing, whatever the last one saw.
        const int hides = sim::desktop().hideRequestCount();
        clickDockItem("Safari", false);
        EXPECT_EQ(sim::desktop().hideRequestCount(), hides);
        sim::desktop().activate(*sim::desktop().pidNamed("Safari"));
        // A second after the last launch's click, so that this one is a single click.
        sim::advanceClockTo(sim::clockNow() + 1);
        clickDockItem("Safari", true);
        EXPECT_EQ(sim::desktop().hideRequestCount(), hides + 1);
        EXPECT_NE(*snapshotPid, nullptr);

        frameworks::terminateSystem();
        EXPECT_FALSE(imageLoaded());
        EXPECT_EQ(runtimeClassNamed("QuenfoldAppDelegate"), nullptr);
        EXPECT_EQ(NSObjectLiveCount(), before) << "launch " << launchNumber;
    }
    EXPECT_EQ(pids[0], sim::kSystemPid);
    EXPECT_NE(pids[1], pids[0]);
    EXPECT_NE(pids[2], pids[1]);
}

}  // namespace
