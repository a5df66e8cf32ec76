// The session as the command line starts it: the arguments as the platform reads them (the
// argument domain of the user defaults, -Key value), the script read and checked whole before
// anything changes, then a fresh session in the chosen home folder, and the run.
#include "DesktopScript/DesktopSession.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <system_error>

#include "DesktopScript/DesktopScript.h"
#include "DesktopScript/DesktopScriptRunner.h"
#include "DesktopScript/DesktopScriptSteps.h"
#include "DesktopScript/DesktopScriptValidator.h"
#include "Foundation/NSUserDefaults.h"
#include "sim/Desktop.h"
#include "sim/ProcessArguments.h"
#include "sim/SystemProcess.h"

namespace sim {
namespace {

constexpr const char* kScriptKey = "SimulatedDesktop";
constexpr const char* kHomeKey = "SimulatedHome";
constexpr const char* kDemoName = "demo.desk";

struct SessionOptions {
    std::optional<std::string> script;
    std::optional<std::string> home;
};

// The argument domain's string for `key`, if the command line gives one.
std::optional<std::string> argumentValue(const char* key) {
    NSAutoreleasePool pool;
    NSDictionary* arguments =
        NSUserDefaults::standardUserDefaults()->volatileDomainForName(NSArgumentDomain);
    const RetainPtr<CFStringRef> name = adoptCF<CFStringRef>(NSString::createWithUTF8(key));
    id value = arguments != nullptr ? arguments->objectForKey(name.get()) : nullptr;
    if (value == nullptr || value->typeID() != kCFStringTypeID) {
        return std::nullopt;
    }
    return static_cast<const NSString*>(value)->utf8();
}

// The argument domain passes over a key at the end of the command line; here it would
// silently run the demo, or a temporary home, instead of what was asked.
std::optional<std::string> keyWithoutValue() {
    const std::vector<std::string>& arguments = processArguments();
    if (arguments.size() < 2) {
        return std::nullopt;
    }
    for (const char* key : {kScriptKey, kHomeKey}) {
        if (arguments.back() == std::string("-") + key) {
            return arguments.back();
        }
    }
    return std::nullopt;
}

bool readScriptText(const SessionOptions& options, std::istream& input, std::string* name,
                    std::string* text, std::ostream& errors) {
    if (!options.script) {
        *name = kDemoName;
        *text = std::string(builtInDemoScript());
        return true;
    }
    *name = *options.script;
    if (*options.script == "-") {
        *text = std::string(std::istreambuf_iterator<char>(input), {});
        if (input.bad()) {
            errors << "-: standard input cannot be read\n";
            return false;
        }
        return true;
    }
    std::error_code error;
    if (std::filesystem::is_directory(*options.script, error)) {
        errors << *options.script << ": cannot be read: it is a folder\n";
        return false;
    }
    std::ifstream file(*options.script, std::ios::binary);
    if (!file) {
        errors << *options.script << ": cannot be read: " << std::strerror(errno) << '\n';
        return false;
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    if (file.bad()) {
        errors << *options.script << ": cannot be read\n";
        return false;
    }
    *text = contents.str();
    return true;
}

// Points the session at -SimulatedHome, made if missing.
bool useHomeFolder(const std::string& path, std::ostream& errors) {
    std::error_code error;
    if (std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error)) {
        errors << path << ": the home folder is not a folder\n";
        return false;
    }
    setHomeFolder(path);
    if (!std::filesystem::is_directory(homeFolder(), error)) {
        errors << path << ": the home folder cannot be made\n";
        return false;
    }
    return true;
}

}  // namespace

int runDesktopSession(int argc, const char* argv[], std::istream& input, std::ostream& output,
                      std::ostream& errors) {
    setProcessArguments(argc, argv);
    if (const std::optional<std::string> key = keyWithoutValue()) {
        errors << *key << ": a value must follow\n";
        return script::kScriptUnusable;
    }
    SessionOptions options;
    options.script = argumentValue(kScriptKey);
    options.home = argumentValue(kHomeKey);
    if (options.home && options.home->empty()) {
        errors << "-" << kHomeKey << ": the home folder is not named\n";
        return script::kScriptUnusable;
    }

    // Nothing in the session or the home folder changes until the whole script reads.
    std::string name;
    std::string text;
    if (!readScriptText(options, input, &name, &text, errors)) {
        return script::kScriptUnusable;
    }
    const script::ParsedScript parsed = script::parseDesktopScript(name, text);
    std::optional<script::ScriptError> error = parsed.error;
    if (!error) {
        error = script::validateDesktopScript(parsed.script, script::systemName());
    }
    if (error) {
        errors << script::describeError(name, *error) << '\n';
        return script::kScriptUnusable;
    }

    reset();
    if (options.home && !useHomeFolder(*options.home, errors)) {
        return script::kScriptUnusable;
    }
    return script::runDesktopScript(parsed.script, output, errors);
}

int runDesktopSession(int argc, const char* argv[]) {
    const int status = runDesktopSession(argc, argv, std::cin, std::cout, std::cerr);
    // The program ends with the session: everything the session holds is let go first.
    reset();
    return status;
}

}  // namespace sim
