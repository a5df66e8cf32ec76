// What the object model's implementation shares beyond the public headers.
#pragma once

class NSObject;

// Ends the process over a misuse of the object model (an over-release, a retain of a freed
// object, a null reference, pools released out of order), naming what went wrong and on what.
[[noreturn]] void _NSObjectModelFailure(const char* what, const NSObject* object);
