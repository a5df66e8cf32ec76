// The one screen of the session, in global screen points: origin at the top left, y growing
// down.
#pragma once

namespace sim {

inline constexpr double kScreenWidth = 1440;
inline constexpr double kScreenHeight = 900;

}  // namespace sim
