#include "sim/Faults.h"

#include <vector>

namespace sim {
namespace {

struct ArmedFault {
    Fault fault;
    PlatformCall* call;
};

std::vector<ArmedFault> gFaults;
std::size_t gFired = 0;

// Map nodes never move: call sites keep references to their records.
std::map<std::string, PlatformCall, std::less<>>& records() {
    static std::map<std::string, PlatformCall, std::less<>> instance;
    return instance;
}

void disarm(std::vector<ArmedFault>::iterator armed) {
    --armed->call->armedFaults;
    gFaults.erase(armed);
}

}  // namespace

PlatformCall& platformCall(std::string_view name) {
    auto& all = records();
    auto found = all.find(name);
    if (found == all.end()) {
        found = all.emplace(std::string(name), PlatformCall{std::string(name)}).first;
    }
    return found->second;
}

void injectFault(Fault fault) {
    PlatformCall& call = platformCall(fault.call);
    ++call.armedFaults;
    gFaults.push_back({std::move(fault), &call});
}

void removeFaults(std::string_view call) {
    PlatformCall& record = platformCall(call);
    std::erase_if(gFaults, [&](const ArmedFault& armed) { return armed.call == &record; });
    record.armedFaults = 0;
}

void clearFaults() {
    for (ArmedFault& armed : gFaults) {
        armed.call->armedFaults = 0;
    }
    gFaults.clear();
}

std::optional<std::int32_t> matchFault(PlatformCall& call, std::uint64_t element,
                                       std::u16string_view name, bool counted) {
    if (call.armedFaults == 0) {
        return std::nullopt;
    }
    for (auto it = gFaults.begin(); it != gFaults.end(); ++it) {
        Fault& fault = it->fault;
        if (it->call != &call || (fault.element != 0 && fault.element != element) ||
            (!fault.name.empty() && fault.name != name)) {
            continue;
        }
        if (fault.after > 0) {
            // This call goes through; a later one fails.
            fault.after -= counted ? 1 : 0;
            continue;
        }
        const std::int32_t status = fault.status;
        if (fault.count > 0 && --fault.count == 0) {
            disarm(it);
        }
        ++gFired;
        return status;
    }
    return std::nullopt;
}

std::map<std::string, std::size_t> callCounts() {
    std::map<std::string, std::size_t> counts;
    for (const auto& [name, call] : records()) {
        if (call.count != 0) {
            counts.emplace(name, call.count);
        }
    }
    return counts;
}

std::size_t callCount(std::string_view call) {
    auto found = records().find(call);
    return found == records().end() ? 0 : found->second.count;
}

bool canFail(std::string_view call) {
    auto found = records().find(call);
    return found != records().end() && found->second.canFail;
}

std::size_t faultsFired() {
    return gFired;
}

void resetCallCounts() {
    for (auto& [name, call] : records()) {
        call.count = 0;
    }
}

}  // namespace sim
