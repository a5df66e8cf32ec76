// Reading what a client sends: the JSON bodies of the hand and script requests and the numbers
// of the query. Each reader answers the value, or nothing with why the input cannot be used in
// `error`, in words for the client; nothing here touches the session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "LiveDesktop/LiveSession.h"

namespace sim::live {

// Bodies over this are refused whole (413).
inline constexpr std::size_t kLargestBody = 1 << 20;

// {"action": "press"|"release"|"move", "x": X, "y": Y, "mods": ["command", …]}: a point on the
// screen, modifier keys by their script names, each at most once; optionally "seq" (the client's
// number for the action) and "since" (the version the client has); no other fields.
std::optional<HandAction> readHandBody(const std::string& body, std::string* error);
// {"text": "…"}: no other fields.
std::optional<std::string> readScriptBody(const std::string& body, std::string* error);
// {"what": "access"}: what a toggle turns over, as the session finds it when the request is
// handled (accessibility access is the one such switch).
std::optional<std::string> readToggleBody(const std::string& body, std::string* error);
// A coordinate of the query ("x=412.5"), on the screen along that axis.
std::optional<double> readCoordinate(const std::optional<std::string>& text, const char* name,
                                     double extent, std::string* error);
// A story line number of the query ("since=12"); absent is 0.
std::optional<std::uint64_t> readLineNumber(const std::optional<std::string>& text,
                                            std::string* error);

}  // namespace sim::live
