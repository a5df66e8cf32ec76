#include "DesktopScript/DesktopScriptText.h"

#include <istream>
#include <string>

namespace sim::script {

std::optional<ScriptError> readScriptText(std::istream& input, std::string* text,
                                          const ScriptBounds& bounds) {
    text->clear();
    int line = 1;
    std::size_t lineStart = 0;
    char chunk[64 * 1024];
    while (input.read(chunk, sizeof chunk) || input.gcount() > 0) {
        const auto count = static_cast<std::size_t>(input.gcount());
        if (count > bounds.maxBytes - text->size()) {
            return ScriptError{
                0, "the script is larger than " + std::to_string(bounds.maxBytes) + " bytes"};
        }
        const std::size_t from = text->size();
        text->append(chunk, count);
        for (std::size_t at = from;;) {
            const std::size_t found = text->find('\n', at);
            const std::size_t end = found != std::string::npos ? found : text->size();
            if (end - lineStart > bounds.maxLineBytes) {
                return ScriptError{line, "the line is longer than " +
                                             std::to_string(bounds.maxLineBytes) + " bytes"};
            }
            if (found == std::string::npos) {
                break;
            }
            ++line;
            lineStart = at = end + 1;
        }
    }
    if (input.bad()) {
        return ScriptError{0, "cannot be read"};
    }
    return std::nullopt;
}

}  // namespace sim::script
