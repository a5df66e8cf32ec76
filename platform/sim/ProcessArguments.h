// The process's command-line arguments, as the platform reads them: the user defaults take
// their argument domain from them (-Key value). They belong to the process, not to the
// session, so a session reset keeps them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Replaces the arguments (argv[0] is the program); argc 0 clears them.
void setProcessArguments(int argc, const char* argv[]);
const std::vector<std::string>& processArguments();
// Changes whenever the arguments are replaced.
std::uint64_t processArgumentsGeneration();

}  // namespace sim
