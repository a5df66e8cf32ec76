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
