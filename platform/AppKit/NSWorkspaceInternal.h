// What the workspace answered, for the session's account of what the system read.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace frameworks {

// The last answer of -[NSWorkspace activeApplication]: the application it named (0: none, or
// the call failed), and how many times it has been asked, so that a reader can tell whether it
// was asked since it last looked.
struct ActiveApplicationAnswer {
    std::uint64_t count = 0;
    pid_t pid = 0;
};
const ActiveApplicationAnswer& lastActiveApplicationAnswer();

}  // namespace frameworks
