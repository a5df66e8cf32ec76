// Reading the text of a desktop script from a file or a stream, within bounds. A script is text
// a person writes: more than kMaxScriptBytes in all, or a line longer than kMaxLineBytes, is
// refused as soon as it is seen, so that an input that never ends (a device, a pipe with no
// line breaks) stops there instead of filling memory.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>

#include "DesktopScript/DesktopScript.h"

namespace sim::script {

inline constexpr std::size_t kMaxScriptBytes = std::size_t{64} << 20;

struct ScriptBounds {
    std::size_t maxBytes = kMaxScriptBytes;
    std::size_t maxLineBytes = kMaxLineBytes;
};

// Reads `input` to its end into `text`; the error names the line that is too long (or the
// script as a whole, line 0) when a bound is passed, or says that the input cannot be read.
std::optional<ScriptError> readScriptText(std::istream& input, std::string* text,
                                          const ScriptBounds& bounds = {});

}  // namespace sim::script
