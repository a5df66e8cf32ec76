// What the object model's implementation shares beyond the public headers.
#pragma once

class NSObject;

// Ends the process over a misuse of the object model (an over-release, a retain of a freed
// object, a null reference, pools released out of order), naming what went wrong and on what.
[[noreturn]] void _NSObjectModelFailure(const char* what, const NSObject* object);

// While tracking is on, every object made is remembered until it is freed, so that
// _NSObjectIsLive can tell whether an address holds a live object of the model (the unloading
// of the system's code asks this of every word its static memory holds). Turning it off forgets
// what was remembered.
void _NSObjectTrackLiveObjects(bool on);
bool _NSObjectIsLive(const void* address);
