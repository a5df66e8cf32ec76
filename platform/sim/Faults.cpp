#include "sim/Faults.h"

#include <vector>

namespace sim {
namespace {

std::vector<Fault> gFaults;
std::map<std::string, std::size_t, std::less<>> gCounts;

}  // namespace

void injectFault(Fault fault) {
    gFaults.push_back(std::move(fault));
}

void removeFaults(std::string_view call) {
    std::erase_if(gFaults, [&](const Fault& fault) { return fault.call == call; });
}

void clearFaults() {
    gFaults.clear();
}

void countCall(std::string_view call) {
    auto counted = gCounts.find(call);
    if (counted == gCounts.end()) {
        counted = gCounts.emplace(std::string(call), 0).first;
    }
    ++counted->second;
}

std::optional<std::int32_t> faultFor(std::string_view call, std::uint64_t element,
                                     std::u16string_view name) {
    countCall(call);
    return matchFault(call, element, name);
}

std::optional<std::int32_t> matchFault(std::string_view call, std::uint64_t element,
                                       std::u16string_view name) {
    for (auto it = gFaults.begin(); it != gFaults.end(); ++it) {
        if (it->call != call || (it->element != 0 && it->element != element) ||
            (!it->name.empty() && it->name != name)) {
            continue;
        }
        const std::int32_t status = it->status;
        if (it->count > 0 && --it->count == 0) {
            gFaults.erase(it);
        }
        return status;
    }
    return std::nullopt;
}

const std::map<std::string, std::size_t, std::less<>>& callCounts() {
    return gCounts;
}

std::size_t callCount(std::string_view call) {
    auto found = gCounts.find(call);
    return found == gCounts.end() ? 0 : found->second;
}

void resetCallCounts() {
    gCounts.clear();
}

}  // namespace sim
