#include "CoreServices/IconsInternal.h"

#include "CoreFoundation/CFStringInternal.h"
#include "CoreServices/IconServicesInternal.h"
#include "sim/FileSystem.h"

namespace frameworks {

using namespace sim;

IconKind iconKindFor(const std::string& path, std::optional<bool> isFolder,
                     std::optional<std::u16string> name) {
    const bool folder = isFolder.value_or(fileSystemIsDirectory(path));
    if (!folder) {
        return IconKind::Document;
    }
    std::u16string shownName;
    if (name) {
        shownName = *name;
    } else {
        std::u16string units = utf16FromUTF8(path);
        while (units.size() > 1 && units.back() == u'/') {
            units.pop_back();
        }
        shownName = units.substr(units.rfind(u'/') + 1);
    }
    const std::size_t dot = shownName.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0) {
        std::u16string extension = shownName.substr(dot + 1);
        for (char16_t& unit : extension) {
            if (unit >= u'A' && unit <= u'Z') {
                unit = static_cast<char16_t>(unit - u'A' + u'a');
            }
        }
        if (extension == u"app") {
            return IconKind::Application;
        }
    }
    return IconKind::Folder;
}

IconKind iconKindOf(IconRef icon) {
    return layoutOf(icon)->kind();
}

}  // namespace frameworks
