// Fault injection and call counting. Every simulated platform call announces itself by its
// macOS name; a test can make any call fail, for every call or a number of them, from a chosen
// call on, for one accessibility element only or one attribute or action name only.
//
// Announcing a call costs next to nothing while no fault waits for it: each call site finds
// its call's record once (platformCall<"Name">(), or failCall<"Name">() and the like), then
// counts it and checks the record's own number of armed faults. Names are compared only when a
// fault for that call is armed.
#pragma once

#include <cstddef>
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
    int after = 0;              // how many matching calls succeed before the first that fails
};

void injectFault(Fault fault);
// Every fault injected for `call`, whatever else it matches.
void removeFaults(std::string_view call);
void clearFaults();

// One platform call: how often it was made since the counts were last reset, and how many
// injected faults wait for it. There is one record a name for the life of the process.
struct PlatformCall {
    std::string name;
    std::size_t count = 0;
    std::size_t armedFaults = 0;
    bool canFail = false;  // announced as a call a fault can fail (not only counted)
};
PlatformCall& platformCall(std::string_view name);

// A call's name written at its call site, as a template argument.
template <std::size_t N>
struct CallName {
    char text[N]{};
    constexpr CallName(const char (&name)[N]) {  // NOLINT: implicit, so that "Name" converts
        for (std::size_t index = 0; index < N; ++index) {
            text[index] = name[index];
        }
    }
    constexpr std::string_view view() const { return {text, N - 1}; }
};

// The record of the call named at the call site, looked up once for that site.
template <CallName Name>
PlatformCall& platformCall() {
    static PlatformCall& call = platformCall(Name.view());
    return call;
}

// Counts the call; true when some fault for it is armed, so that matchFault must decide.
inline bool announce(PlatformCall& call) {
    ++call.count;
    call.canFail = true;
    return call.armedFaults != 0;
}

// The status of the first armed fault that matches, if any. `counted`: for a call just
// counted, which brings a fault that waits for later calls one call nearer. Without it: for a
// part of a call (one attribute of a multiple-attribute request) that a fault on a simpler call
// describes; a fault still waiting does not match it.
std::optional<std::int32_t> matchFault(PlatformCall& call, std::uint64_t element = 0,
                                       std::u16string_view name = {}, bool counted = false);

// Counts the call and answers the status of the first fault that matches it, if any. A call
// that announces itself as failable must answer the failure: the result cannot be dropped.
[[nodiscard]] inline std::optional<std::int32_t> faultFor(PlatformCall& call,
                                                          std::uint64_t element = 0,
                                                          std::u16string_view name = {}) {
    if (!announce(call)) {
        return std::nullopt;
    }
    return matchFault(call, element, name, /*counted=*/true);
}

template <CallName Name>
[[nodiscard]] std::optional<std::int32_t> faultFor(std::uint64_t element = 0,
                                                   std::u16string_view name = {}) {
    return faultFor(platformCall<Name>(), element, name);
}

template <CallName Name>
[[nodiscard]] bool failCall() {
    return faultFor<Name>().has_value();
}

// Counts a call that cannot fail.
template <CallName Name>
void countCall() {
    ++platformCall<Name>().count;
}

// How often each platform call was made since the last reset of the counts (calls not made
// are left out).
std::map<std::string, std::size_t> callCounts();
std::size_t callCount(std::string_view call);
// Whether `call` has announced itself as one that a fault can fail.
bool canFail(std::string_view call);
void resetCallCounts();
// How many calls injected faults have failed since the process started, so that a test can
// tell that the fault it armed was met.
std::size_t faultsFired();

}  // namespace sim
