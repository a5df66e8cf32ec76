// Fault injection and call counting. Every simulated platform call announces itself by its
// macOS name; a test can make any call fail, for every call or a number of them, for one
// accessibility element only or one attribute or action name only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

struct Fault {
    std::string call{};         // e.g. "AXUIElementCopyAttributeValue", "CGEventTapCreate"
    std::int32_t status = -1;   // what the call answers instead; calls that answer an object
                                // answer null
    std::uint64_t element = 0;  // only calls on this accessibility node (0: any)
    std::u16string name{};      // only for this attribute or action name (empty: any)
    int count = -1;             // how many matching calls fail (-1: every one)
};

void injectFault(Fault fault);
// Every fault injected for `call`, whatever else it matches.
void removeFaults(std::string_view call);
void clearFaults();

// Counts a call that cannot fail.
void countCall(std::string_view call);

// Counts the call and answers the status of the first fault that matches it, if any.
std::optional<std::int32_t> faultFor(std::string_view call, std::uint64_t element = 0,
                                     std::u16string_view name = {});
// The status of the first fault that matches, without counting a call: for a part of a call
// (one attribute of a multiple-attribute request) that a fault on a simpler call describes.
std::optional<std::int32_t> matchFault(std::string_view call, std::uint64_t element = 0,
                                       std::u16string_view name = {});
inline bool failCall(std::string_view call) {
    return faultFor(call).has_value();
}

// How often each platform call was made since the last reset of the counts.
const std::map<std::string, std::size_t, std::less<>>& callCounts();
std::size_t callCount(std::string_view call);
void resetCallCounts();

}  // namespace sim
