// Foundation, as the system includes it.
#pragma once

#include "CoreFoundation/CoreFoundation.h"
