// The desktop-script reader and validator on any bytes: read within the program's bounds,
// then checked whole as the program checks a script (statement by statement, none kept), and
// read and checked again as held statements. Besides crashes, leaks and undefined behaviour,
// the two ways must agree on the first problem of the script, in line order.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "DesktopScript/DesktopScript.h"
#include "DesktopScript/DesktopScriptText.h"
#include "DesktopScript/DesktopScriptValidator.h"
#include "FuzzCheck.h"

using namespace sim::script;

namespace {

bool sameError(const std::optional<ScriptError>& one, const std::optional<ScriptError>& other) {
    return one.has_value() == other.has_value() &&
           (!one || (one->line == other->line && one->message == other->message));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    std::string text;
    if (const std::optional<ScriptError> unreadable = readScriptText(input, &text)) {
        describeError("fuzz.desk", *unreadable);
        return 0;
    }
    fuzzRequire(text.size() == size, "the reader gives the whole text");

    ScriptValidator validator("Quenfold");
    std::optional<ScriptError> invalid;
    std::optional<ScriptError> streamed = readStatements(text, [&](Statement&& statement) {
        invalid = validator.check(statement);
        return !invalid.has_value();
    });
    if (!streamed) {
        streamed = invalid;
    }

    // The held statements are those before the first malformed line; a problem among them
    // comes first.
    const ParsedScript parsed = parseDesktopScript("fuzz.desk", text);
    std::optional<ScriptError> held = validateDesktopScript(parsed.script, "Quenfold");
    if (!held) {
        held = parsed.error;
    }
    fuzzRequire(sameError(streamed, held), "read one at a time and held, a script checks alike");
    int previousLine = 0;
    for (const Statement& statement : parsed.script.statements) {
        fuzzRequire(statement.line > previousLine, "statements come in line order");
        previousLine = statement.line;
    }
    if (held) {
        describeError(parsed.script.name, *held);
    }
    return 0;
}
