// What the session asks of the workspace beyond its public interface.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace frameworks {

// Lets go of the active application's record kept since it was last asked for: it goes with
// the process that asked for it.
void forgetActiveApplicationRecord();

// The last answer of -[NSWorkspace activeApplication], for the session's account of what the
// system read: the application it named (0: none, or the call failed), and how many times it
// has been asked, so that a reader can tell whether it was asked since it last looked.
struct ActiveApplicationAnswer {
    std::uint64_t count = 0;
    pid_t pid = 0;
};
const ActiveApplicationAnswer& lastActiveApplicationAnswer();

}  // namespace frameworks
