// The whole desktop as the live desktop's clients see it, in JSON: the applications, the
// windows front to back, the Dock's items, the system, accessibility access, the system's
// preferences and the login items. Main thread only: it reads the session.
#pragma once

#include <nlohmann/json.hpp>

namespace sim::live {

using Json = nlohmann::ordered_json;

// Everything but the version and the time, which the live session adds.
Json desktopSnapshot();

}  // namespace sim::live
