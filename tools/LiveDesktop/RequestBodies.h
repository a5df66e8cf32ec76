// Reading what a client sends: the JSON bodies of the hand and script requests and the numbers
// of the query. Each reader answers the value, or why the input cannot be used, in words for
// the client; nothing here touches the session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "LiveDesktop/LiveSession.h"

namespace sim::live {

// Bodies over this are refused whole (413).
inline constexpr std::size_t kLargestBody = 1 << 20;

struct Unusable {
    std::string message;
};

// {"action": "press"|"release"|"move", "x": X, "y": Y, "mods": ["command", …]}: a point on the
// screen, modifier keys by their script names, each at most once; no other fields.
std::variant<HandAction, Unusable> readHandBody(const std::string& body);
// {"text": "…"}: no other fields.
std::variant<std::string, Unusable> readScriptBody(const std::string& body);
// A coordinate of the query ("x=412.5"), on the screen along that axis.
std::variant<double, Unusable> readCoordinate(const std::optional<std::string>& text,
                                              const char* name, double extent);
// A story line number of the query ("since=12"); absent is 0.
std::variant<std::uint64_t, Unusable> readLineNumber(const std::optional<std::string>& text);

}  // namespace sim::live
