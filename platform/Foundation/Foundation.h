// Foundation, as the system includes it.
#pragma once

#include "CoreFoundation/CoreFoundation.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSUserDefaults.h"
