// The Process Manager: process serial numbers, the front process and the process type.
#pragma once

#include "CoreFoundation/CFBase.h"

struct ProcessSerialNumber {
    UInt32 highLongOfPSN;
    UInt32 lowLongOfPSN;
};

using OptionBits = UInt32;
using ProcessApplicationTransformState = UInt32;

enum : UInt32 {
    kNoProcess = 0,
    kSystemProcess = 1,
    kCurrentProcess = 2,
};
enum : ProcessApplicationTransformState {
    kProcessTransformToForegroundApplication = 1,
    kProcessTransformToBackgroundApplication = 2,
    kProcessTransformToUIElementApplication = 4,
};
enum : OptionBits {
    kSetFrontProcessFrontWindowOnly = 1,
    kSetFrontProcessCausedByUser = 2,
};
enum : OSErr {
    paramErr = -50,
    procNotFound = -600,
    appIsDaemon = -606,
};

OSStatus GetProcessForPID(pid_t pid, ProcessSerialNumber* psn);
OSStatus GetProcessPID(const ProcessSerialNumber* psn, pid_t* pid);
OSErr GetCurrentProcess(ProcessSerialNumber* psn);
// Schedules the process to become the active one with all of its windows brought forward;
// it does so when the run loop next turns. appIsDaemon for a background-only process.
OSErr SetFrontProcess(const ProcessSerialNumber* psn);
// With kSetFrontProcessFrontWindowOnly only the process's front window comes forward.
OSStatus SetFrontProcessWithOptions(const ProcessSerialNumber* psn, OptionBits options);
OSStatus TransformProcessType(const ProcessSerialNumber* psn,
                              ProcessApplicationTransformState transformState);
