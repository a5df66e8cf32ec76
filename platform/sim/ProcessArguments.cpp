#include "sim/ProcessArguments.h"

namespace sim {
namespace {

std::vector<std::string> gArguments;
std::uint64_t gGeneration = 0;

}  // namespace

void setProcessArguments(int argc, const char* argv[]) {
    gArguments.clear();
    for (int index = 0; index < argc && argv != nullptr; ++index) {
        gArguments.emplace_back(argv[index] != nullptr ? argv[index] : "");
    }
    ++gGeneration;
}

const std::vector<std::string>& processArguments() {
    return gArguments;
}

std::uint64_t processArgumentsGeneration() {
    return gGeneration;
}

}  // namespace sim
