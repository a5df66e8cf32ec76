// The session as the command line starts it: the arguments as the platform reads them (the
// argument domain of the user defaults, -Key value), the script read and checked whole before
// anything changes, then a fresh session in the chosen home folder, and the run.
#include "DesktopScript/DesktopSession.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <system_error>

#include "DesktopScript/DesktopScript.h"
#include "DesktopScript/DesktopScriptRunner.h"
#include "DesktopScript/DesktopScriptSteps.h"
#include "DesktopScript/DesktopScriptText.h"
#include "DesktopScript/DesktopScriptValidator.h"
#include "Foundation/Foundation.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSUserDefaults.h"
#include "TypeCastsCF.h"
#include "control/SystemProcess.h"
#include "sim/Desktop.h"
#include "sim/ProcessArguments.h"

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

// --- Asking the program what it is

enum class Request { Run, Usage, Version };

// -h, -help or --help asks for the usage, --version for the version, unless the word is the
// value of a session option (a script named "-h").
Request requestOf(const std::vector<std::string>& arguments) {
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == std::string("-") + kScriptKey || argument == std::string("-") + kHomeKey) {
            ++index;
        } else if (argument == "-h" || argument == "-help" || argument == "--help") {
            return Request::Usage;
        } else if (argument == "--version") {
            return Request::Version;
        }
    }
    return Request::Run;
}

void printUsage(const std::string& program, std::ostream& out) {
    out << "Usage: " << program << " [-SimulatedDesktop FILE|-] [-SimulatedHome DIR]\n"
        << "       " << program
        << " -SimulatedServe PORT [-SimulatedServeHost HOST] [-SimulatedDesktop FILE|-]\n"
           "                [-SimulatedHome DIR]\n"
        << "       " << program << " -h | -help | --help | --version\n"
        << "\n"
        << "Runs " << program
        << " in a simulated macOS session that a desktop script drives, and prints the\n"
           "story of the desktop as it happens.\n"
           "\n"
           "  -SimulatedDesktop FILE  the desktop script to run (\"-\": standard input);\n"
           "                          without it the built-in demo runs\n"
           "  -SimulatedHome DIR      the home folder that keeps the user defaults and the\n"
           "                          login-item list between runs (made if missing);\n"
           "                          without it each run gets a fresh temporary folder\n"
           "  -SimulatedServe PORT    serve the session live to a browser at\n"
           "                          http://HOST:PORT/ (0: any free port), after the\n"
           "                          script (without one: the demo's world); until\n"
           "                          SIGINT or SIGTERM\n"
           "  -SimulatedServeHost HOST  where to listen (default 127.0.0.1)\n"
           "  -h, -help, --help       this text\n"
           "  --version               the version of the application bundle\n"
           "\n"
           "Exit status:\n"
           "  0  the script ran to its end and every expectation held\n"
           "  1  an expectation failed (FILE:LINE: expected ..., found ... on standard error)\n"
           "  2  the script cannot be read, is malformed or names something that does not\n"
           "     exist (FILE:LINE: ... on standard error; nothing is changed), or the\n"
           "     arguments cannot be used\n"
           "\n"
           "Documentation: README.md, docs/desktop-scripts.md (the script language) and\n"
           "docs/live-desktop.md in the source tree.\n";
}

// "Quenfold 1.0 (1)": the bundle's name, short version and build version from its
// Info.plist.
bool printVersion(std::ostream& out, std::ostream& errors) {
    NSAutoreleasePool pool;
    NSBundle* bundle = NSBundle::mainBundle();
    auto stringFor = [bundle](CFStringRef key) -> std::optional<std::string> {
        CFStringRef value = dynamic_cf_cast<CFStringRef>(
            bundle != nullptr ? bundle->objectForInfoDictionaryKey(key) : nullptr);
        if (value == nullptr) {
            return std::nullopt;
        }
        return value->utf8();
    };
    const std::optional<std::string> version = stringFor(CFSTR("CFBundleShortVersionString"));
    if (!version) {
        errors << mainBundlePath()
               << "/Contents/Info.plist: the bundle's version (CFBundleShortVersionString) "
                  "cannot be read\n";
        return false;
    }
    out << stringFor(CFSTR("CFBundleName")).value_or(script::systemName()) << ' ' << *version;
    if (const std::optional<std::string> build = stringFor(CFSTR("CFBundleVersion"))) {
        out << " (" << *build << ')';
    }
    out << '\n';
    return true;
}

// The script's name as messages give it, and its text, read within the bounds of a script.
bool loadScriptText(const SessionOptions& options, const DefaultScript& withoutScript,
                    std::istream& input, std::string* name, std::string* text,
                    std::ostream& errors) {
    if (!options.script) {
        *name = withoutScript.name;
        *text = withoutScript.text;
        return true;
    }
    *name = *options.script;
    std::optional<script::ScriptError> error;
    if (*options.script == "-") {
        if ((error = script::readScriptText(input, text)) && error->line == 0 && input.bad()) {
            error->message = "standard input cannot be read";
        }
    } else {
        std::error_code folderError;
        if (std::filesystem::is_directory(*options.script, folderError)) {
            errors << *options.script << ": cannot be read: it is a folder\n";
            return false;
        }
        std::ifstream file(*options.script, std::ios::binary);
        if (!file) {
            errors << *options.script << ": cannot be read: " << std::strerror(errno) << '\n';
            return false;
        }
        error = script::readScriptText(file, text);
    }
    if (error) {
        errors << script::describeError(*name, *error) << '\n';
        return false;
    }
    return true;
}

// The first reason the script cannot run, checked whole: each statement is read and checked
// in turn, and none is kept.
std::optional<script::ScriptError> firstProblemOf(std::string_view text) {
    script::ScriptValidator validator(script::systemName());
    std::optional<script::ScriptError> invalid;
    const std::optional<script::ScriptError> malformed =
        script::readStatements(text, [&](script::Statement&& statement) {
            invalid = validator.check(statement);
            return !invalid.has_value();
        });
    return malformed ? malformed : invalid;
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

std::optional<int> answerProgramQuery(int argc, const char* argv[], std::ostream& output,
                                      std::ostream& errors) {
    std::vector<std::string> arguments;
    for (int index = 0; index < argc && argv != nullptr; ++index) {
        arguments.emplace_back(argv[index] != nullptr ? argv[index] : "");
    }
    switch (requestOf(arguments)) {
        case Request::Usage:
            printUsage(arguments.empty() ? script::systemName()
                                         : std::filesystem::path(arguments[0]).filename().string(),
                       output);
            return script::kScriptRan;
        case Request::Version:
            return printVersion(output, errors) ? script::kScriptRan : script::kScriptUnusable;
        case Request::Run:
            break;
    }
    return std::nullopt;
}

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
    if (!loadScriptText(options, withoutScript, input, &started.scriptName, &started.scriptText,
                        errors)) {
        return std::nullopt;
    }
    if (const std::optional<script::ScriptError> error = firstProblemOf(started.scriptText)) {
        errors << script::describeError(started.scriptName, *error) << '\n';
        return std::nullopt;
    }

    reset();
    if (options.home && !useHomeFolder(*options.home, errors)) {
        return std::nullopt;
    }
    return started;
}

script::Script StartedSession::statements() const {
    return script::parseDesktopScript(scriptName, scriptText).script;
}

int runDesktopSession(int argc, const char* argv[], std::istream& input, std::ostream& output,
                      std::ostream& errors) {
    const std::optional<StartedSession> started = startDesktopSession(
        argc, argv, {kDemoName, std::string(builtInDemoScript())}, {}, input, errors);
    if (!started) {
        return script::kScriptUnusable;
    }
    return script::runDesktopScript(started->scriptName, started->scriptText, output, errors);
}

int runDesktopSession(int argc, const char* argv[]) {
    const int status = runDesktopSession(argc, argv, std::cin, std::cout, std::cerr);
    // The program ends with the session: everything the session holds is let go first.
    reset();
    return status;
}

}  // namespace sim
