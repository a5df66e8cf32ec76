// The name under which the Finder shows a file or folder.
#pragma once

#include <string>

namespace sim {

// The last path component, without the ".app" extension of an application bundle (a folder,
// or an item that does not exist, whose extension is "app" in any letter case).
std::u16string displayNameForPath(const std::u16string& path);

}  // namespace sim
