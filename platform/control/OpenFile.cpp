#include "control/OpenFile.h"

#include <filesystem>

#include "AppKit/SystemLifecycleInternal.h"
#include "CoreFoundation/CFStringInternal.h"
#include "control/SystemPreferences.h"
#include "control/SystemProcess.h"
#include "sim/Desktop.h"
#include "sim/FileSystem.h"

namespace sim {

using namespace frameworks;
namespace {

std::optional<pid_t> runningFrom(const std::string& bundle) {
    const std::u16string wanted = utf16FromUTF8(bundle);
    for (pid_t pid : desktop().runningPids()) {
        if (desktop().application(pid)->bundlePath == wanted) {
            return pid;
        }
    }
    return std::nullopt;
}

}  // namespace

bool openPath(const std::string& given, std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    const std::string path = std::filesystem::path(given).lexically_normal().string();
    const std::string bundle =
        path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
    if (const std::optional<PreferencePane> pane = preferencePaneAt(bundle)) {
        openSystemPreferences(*pane);
        return true;
    }
    if (std::filesystem::path(bundle).extension() != ".app") {
        reason = given + ": only application bundles and preference panes can be opened";
        return false;
    }
    if (bundle == mainBundlePath()) {
        // The system's process reopens itself (its handler presents its window).
        if (systemState() == SystemState::Running) {
            sendReopenEvent(desktop().systemPid());
            return true;
        }
        return launchSystem(&reason);
    }
    if (const std::optional<pid_t> running = runningFrom(bundle)) {
        desktop().activate(*running);
        sendReopenEvent(*running);
        return true;
    }
    if (bundle == kSystemPreferencesBundlePath) {
        openSystemPreferences(PreferencePane::ShowAll);
        return true;
    }
    if (!fileSystemIsDirectory(bundle)) {
        reason = given + ": no application bundle is there";
        return false;
    }
    ApplicationSpec setup;
    setup.name = std::filesystem::path(bundle).stem().string();
    setup.bundlePath = bundle;
    desktop().activate(desktop().addApplication(setup));
    return true;
}

}  // namespace sim
