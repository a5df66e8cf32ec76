// The Process Manager over the simulated desktop. A process serial number is {0, pid + 0x10000};
// {0, kCurrentProcess} names the system's own process.
#include "ApplicationServices/Processes.h"

#include "sim/Desktop.h"
#include "sim/Faults.h"

using sim::desktop;

namespace {

constexpr UInt32 kSerialBase = sim::kProcessSerialNumberBase;

// The process a serial number names, if it runs.
const sim::Application* processOf(const ProcessSerialNumber* psn) {
    if (psn == nullptr || psn->highLongOfPSN != 0) {
        return nullptr;
    }
    if (psn->lowLongOfPSN == kCurrentProcess) {
        return desktop().application(sim::desktop().systemPid());
    }
    if (psn->lowLongOfPSN < kSerialBase) {
        return nullptr;
    }
    return desktop().application(static_cast<pid_t>(psn->lowLongOfPSN - kSerialBase));
}

}  // namespace

OSStatus GetProcessForPID(pid_t pid, ProcessSerialNumber* psn) {
    if (auto status = sim::faultFor<"GetProcessForPID">()) {
        return *status;
    }
    if (psn == nullptr) {
        return paramErr;
    }
    if (pid <= 0 || desktop().application(pid) == nullptr) {
        return procNotFound;
    }
    *psn = {0, static_cast<UInt32>(pid) + kSerialBase};
    return noErr;
}

OSStatus GetProcessPID(const ProcessSerialNumber* psn, pid_t* pid) {
    const sim::Application* app = processOf(psn);
    if (app == nullptr || pid == nullptr) {
        return procNotFound;
    }
    *pid = app->pid;
    return noErr;
}

OSErr GetCurrentProcess(ProcessSerialNumber* psn) {
    if (psn == nullptr) {
        return paramErr;
    }
    *psn = {0, static_cast<UInt32>(sim::desktop().systemPid()) + kSerialBase};
    return noErr;
}

OSErr SetFrontProcess(const ProcessSerialNumber* psn) {
    return SetFrontProcessWithOptions(psn, 0);
}

OSErr SetFrontProcessWithOptions(const ProcessSerialNumber* psn, OptionBits options) {
    if (auto status = options == 0 ? sim::faultFor<"SetFrontProcess">()
                                   : sim::faultFor<"SetFrontProcessWithOptions">()) {
        return static_cast<OSErr>(*status);
    }
    const sim::Application* app = processOf(psn);
    if (app == nullptr) {
        return procNotFound;
    }
    if (app->backgroundOnly) {
        return appIsDaemon;  // a process without user interface cannot come to the front
    }
    // Scheduled, not performed during the call: the process comes to the front when the run
    // loop next turns.
    desktop().requestActivation(app->pid, (options & kSetFrontProcessFrontWindowOnly) == 0);
    return noErr;
}

OSStatus TransformProcessType(const ProcessSerialNumber* psn,
                              ProcessApplicationTransformState transformState) {
    if (auto status = sim::faultFor<"TransformProcessType">()) {
        return *status;
    }
    const sim::Application* app = processOf(psn);
    if (app == nullptr) {
        return procNotFound;
    }
    if (transformState != kProcessTransformToForegroundApplication) {
        return paramErr;  // the platform only ever turns processes into foreground ones here
    }
    desktop().makeForeground(app->pid);
    return noErr;
}
