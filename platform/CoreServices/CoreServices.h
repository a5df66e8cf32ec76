// CoreServices, as the system includes it: file references, Icon Services and Launch
// Services shared file lists.
#pragma once

#include "CoreFoundation/CoreFoundation.h"
#include "CoreServices/Files.h"
#include "CoreServices/IconServices.h"
#include "CoreServices/LaunchServices.h"
