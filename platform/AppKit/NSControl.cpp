#include "AppKit/NSControl.h"

#include "AppKit/NSApplication.h"

bool NSControl::sendAction(SEL action, id target) {
    return action != nullptr &&
           NSApplication::sharedApplication()->sendAction(action, target, this);
}
