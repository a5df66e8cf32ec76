// The whole desktop as the live desktop's clients see it, in JSON: the applications, the
// windows front to back, the Dock's items, the system, accessibility access, the system's
// preferences and the login items. Main thread only: it reads the session.
#pragma once

#include <cstddef>

#include <nlohmann/json.hpp>

namespace sim::live {

using Json = nlohmann::ordered_json;

// An empty object with room for `members`. An object keeps its members in order in a vector of
// (constant name, value) pairs, which cannot be moved: each time the vector grows, every value
// is copied whole. An object is therefore given its room before its members are put in.
inline Json objectWithRoom(std::size_t members) {
    Json object = Json::object();
    object.get_ref<Json::object_t&>().reserve(members);
    return object;
}

// Everything but the version and the time, which the live session adds.
Json desktopSnapshot();

}  // namespace sim::live
