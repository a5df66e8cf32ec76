// Each launch of the system is a new process: its code is loaded afresh, so nothing one launch
// kept (the press snapshot, the system-wide element, the toolkit's kept children, the delegate)
// is seen by the next, and nothing of a process outlives its end.
#include <dlfcn.h>

#include <Foundation/NSObjCRuntime.h>

#include "ApplicationServices/EventSystemInternal.h"
#include "SessionTest.h"
#include "control/SystemProcess.h"
#include "sim/Clock.h"

namespace {

const std::string kImage = std::string(QUENFOLD_BUNDLE_PATH) + "/Contents/MacOS/QuenfoldSystem.so";

// A variable of the loaded image, by its symbol; null while the image is not loaded.
template <class T>
T* imageVariable(const char* symbol) {
    void* image = dlopen(kImage.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (image == nullptr) {
        return nullptr;
    }
    T* variable = static_cast<T*>(dlsym(image, symbol));
    dlclose(image);
    return variable;
}

bool imageLoaded() {
    void* image = dlopen(kImage.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (image != nullptr) {
        dlclose(image);
    }
    return image != nullptr;
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
        NSNumber** snapshotPid = imageVariable<NSNumber*>("gLeftMouseDownPid");
        AXUIElementRef* systemWide = imageVariable<AXUIElementRef>("_systemWideElement");
        ASSERT_NE(snapshotPid, nullptr);
        ASSERT_NE(systemWide, nullptr);
        // Fresh statics: no press seen yet, the system-wide element made by this launch.
        EXPECT_EQ(*snapshotPid, nullptr);
        EXPECT_NE(*systemWide, nullptr);
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
