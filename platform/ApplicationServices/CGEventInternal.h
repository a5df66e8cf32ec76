// The layout behind CGEventRef: an event's type, location, flags and integer fields.
#pragma once

#include <map>

#include "ApplicationServices/CGEvent.h"

class __CGEvent final : public CFOpaqueObject<__CGEvent> {
public:
    CFTypeID typeID() const override { return kCGEventTypeID; }

    CGEventType type = kCGEventNull;
    CGPoint location{0, 0};
    CGEventFlags flags = 0;
    std::map<CGEventField, SInt64> fields;
};
