// Compiled with the system's include roots: every public header of the frameworks, the
// ownership holder, the checked casts and the toolkit are within reach. The other probes here
// fail to compile; this one proves that they fail for the header they name, not for a broken
// probe.
#include <AppKit/AppKit.h>
#include <ApplicationServices/ApplicationServices.h>
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>
#include <Foundation/Foundation.h>
#include <RetainPtr.h>
#include <TypeCastsCF.h>
#include <TypeCastsCocoa.h>
#include <UIElement/UIElement.h>

#include "QuenfoldAppDelegate.h"
