// The click record: the 18-position description of a mouse event that the hide rule reads,
// made by makePassiveDefaultArgv. Its writer fills the positions by these names and its reader
// reads them by the same names, so the two cannot disagree on where a value stands.
//
// A position whose source gives nothing and that has no substitute of its own (an active
// application without a bundle path, no snapshot yet, an owner that no running application
// answers to) holds NSNull, so that every position holds an object and readers can tell a
// missing value from any string.
#pragma once

#include <Foundation/Foundation.h>

enum ClickRecordPosition : NSUInteger {
    // 0, 1: x and y of the event's location, truncated toward zero
    kXPosition,
    kYPosition,
    // 2: the caller's integer
    kArgumentPosition,
    // 3: names of the modifier keys, special keys and mouse buttons held
    kModifiersPosition,
    // 4-6: the application active now: name, bundle file name, process identifier
    kActiveNamePosition,
    kActiveFileNamePosition,
    kActivePidPosition,
    // 7-9: the caller's application name, file name and process identifier (the press snapshot)
    kSnapshotNamePosition,
    kSnapshotFileNamePosition,
    kSnapshotPidPosition,
    // 10-12: the application owning the element under the point: name, bundle file name, pid
    kOwnerNamePosition,
    kOwnerFileNamePosition,
    kOwnerPidPosition,
    // 13-15: the element's AXRole, AXSubrole, AXTitle
    kRolePosition,
    kSubrolePosition,
    kTitlePosition,
    // 16: always the empty string
    kEmptyPosition,
    // 17: the element's AXURL when it is a string
    kURLPosition,

    kClickRecordLength
};
static_assert(kTitlePosition == 15 && kClickRecordLength == 18,
              "the positions and what each holds are the record's contract with its readers");
