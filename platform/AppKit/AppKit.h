// AppKit, as the system includes it.
#pragma once

#include "AppKit/NSRunningApplication.h"
#include "AppKit/NSWorkspace.h"
#include "Foundation/Foundation.h"
