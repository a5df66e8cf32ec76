// Which icon the Finder shows for a file or folder.
#pragma once

#include <optional>
#include <string>

#include "CoreServices/IconServices.h"

namespace frameworks {

enum class IconKind { Application, Folder, Document };

// An application bundle (a folder whose name has the extension "app") shows the application
// icon, another folder the folder icon, anything else the document icon. `isFolder` and `name`
// stand in for what the file system and the path would say, when given.
IconKind iconKindFor(const std::string& path, std::optional<bool> isFolder,
                     std::optional<std::u16string> name);
// The kind of icon an IconRef is.
IconKind iconKindOf(IconRef icon);

}  // namespace frameworks
