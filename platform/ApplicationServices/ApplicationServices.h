// ApplicationServices, as the system includes it.
#pragma once

#include "ApplicationServices/AXError.h"
#include "ApplicationServices/AXUIElement.h"
#include "ApplicationServices/AXValue.h"
#include "ApplicationServices/CGEvent.h"
#include "ApplicationServices/CGGeometry.h"
#include "ApplicationServices/Processes.h"
#include "CoreFoundation/CoreFoundation.h"
