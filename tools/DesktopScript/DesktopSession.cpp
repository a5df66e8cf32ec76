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
#include "TypeCastsCF.h"
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

// The argument domain passes over a key at the end of the command line; here it would
// silently run the demo, or a temporary home, instead of what was asked.
std::optional<std::string> keyWithoutValue(const std::vector<std::string>& otherKeys) {
    const std::vector<std::string>& arguments = processArguments();
    if (arguments.size() < 2) {
        return std::nullopt;
    }
    std::vector<std::string> keys{kScriptKey, kHomeKey};
    keys.insert(keys.end(), otherKeys.begin(), otherKeys.end());
    for (const std::string& key : keys) {
        if (arguments.back() == "-" + key) {
            return arguments.back();
        }
    }
    return std::nullopt;
}

bool readScriptText(const SessionOptions& options, const DefaultScript& withoutScript,
                    std::istream& input, std::string* name, std::string* text,
                    std::ostream& errors) {
    if (!options.script) {
        *name = withoutScript.name;
        *text = withoutScript.text;
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

std::optional<std::string> commandLineValue(const std::string& key) {
    NSAutoreleasePool pool;
    NSDictionary* arguments =
        NSUserDefaults::standardUserDefaults()->volatileDomainForName(NSArgumentDomain);
    const RetainPtr<CFStringRef> name = adoptCF<CFStringRef>(NSString::createWithUTF8(key));
    CFStringRef value = arguments != nullptr
                            ? dynamic_cf_cast<CFStringRef>(arguments->objectForKey(name.get()))
                            : nullptr;
    if (value == nullptr) {
        return std::nullopt;
    }
    return value->utf8();
}

std::optional<StartedSession> startDesktopSession(int argc, const char* argv[],
                                                  const DefaultScript& withoutScript,
                                                  const std::vector<std::string>& otherKeys,
                                                  std::istream& input, std::ostream& errors) {
    setProcessArguments(argc, argv);
    if (const std::optional<std::string> key = keyWithoutValue(otherKeys)) {
        errors << *key << ": a value must follow\n";
        return std::nullopt;
    }
    SessionOptions options;
    options.script = commandLineValue(kScriptKey);
    options.home = commandLineValue(kHomeKey);
    if (options.home && options.home->empty()) {
        errors << "-" << kHomeKey << ": the home folder is not named\n";
        return std::nullopt;
    }

    // Nothing in the session or the home folder changes until the whole script reads.
    StartedSession started;
    if (!readScriptText(options, withoutScript, input, &started.scriptName, &started.scriptText,
                        errors)) {
        return std::nullopt;
    }
    script::ParsedScript parsed =
        script::parseDesktopScript(started.scriptName, started.scriptText);
    std::optional<script::ScriptError> error = parsed.error;
    if (!error) {
        error = script::validateDesktopScript(parsed.script, script::systemName());
    }
    if (error) {
        errors << script::describeError(started.scriptName, *error) << '\n';
        return std::nullopt;
    }

    reset();
    if (options.home && !useHomeFolder(*options.home, errors)) {
        return std::nullopt;
    }
    started.script = std::move(parsed.script);
    return started;
}

int runDesktopSession(int argc, const char* argv[], std::istream& input, std::ostream& output,
                      std::ostream& errors) {
    const std::optional<StartedSession> started = startDesktopSession(
        argc, argv, {kDemoName, std::string(builtInDemoScript())}, {}, input, errors);
    if (!started) {
        return script::kScriptUnusable;
    }
    return script::runDesktopScript(started->script, output, errors);
}

int runDesktopSession(int argc, const char* argv[]) {
    const int status = runDesktopSession(argc, argv, std::cin, std::cout, std::cerr);
    // The program ends with the session: everything the session holds is let go first.
    reset();
    return status;
}

}  // namespace sim
