// What Foundation's implementation shares with the session beyond the public headers: the
// process-wide state each part keeps, renewed by every session reset (each session is a fresh
// process).
#pragma once

// Releases every bundle made so far; the next mainBundle reads the bundle afresh.
void _NSBundleReset();
// Removes every observer of the default notification center.
void _NSNotificationCenterReset();
// No class has been sent initialize yet.
void _NSRuntimeReset();
// Empties the registration and argument domains of the user defaults.
void _NSUserDefaultsReset();

// Classes registered between these two calls belong to one loaded image (the system's code,
// loaded for one launch); the answer names it for _NSRuntimeForgetImage.
void _NSRuntimeBeginImage();
int _NSRuntimeEndImage();
// Forgets every class the image registered: its code is about to be unloaded.
void _NSRuntimeForgetImage(int image);
