#include "sim/DisplayName.h"

#include "sim/FileSystem.h"
#include "sim/UTF16.h"

namespace sim {
namespace {

bool isAppExtension(std::u16string_view extension) {
    if (extension.size() != 3) {
        return false;
    }
    const char16_t* expected = u"app";
    for (std::size_t index = 0; index < 3; ++index) {
        char16_t unit = extension[index];
        if (unit >= u'A' && unit <= u'Z') {
            unit = static_cast<char16_t>(unit - u'A' + u'a');
        }
        if (unit != expected[index]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::u16string displayNameForPath(const std::u16string& path) {
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == u'/') {
        --end;
    }
    const std::size_t slash = path.rfind(u'/', end == 0 ? 0 : end - 1);
    const std::size_t start = slash == std::u16string::npos || end == 1 ? 0 : slash + 1;
    std::u16string name = path.substr(start, end - start);

    const std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string::npos || dot == 0 ||
        !isAppExtension(std::u16string_view(name).substr(dot + 1))) {
        return name;
    }
    const std::string utf8 = utf8FromUTF16(path);
    if (fileSystemExists(utf8) && !fileSystemIsDirectory(utf8)) {
        return name;  // a plain file that only carries the extension
    }
    return name.substr(0, dot);
}

}  // namespace sim
