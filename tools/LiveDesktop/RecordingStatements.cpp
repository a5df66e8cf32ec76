#include "LiveDesktop/RecordingStatements.h"

#include <charconv>
#include <set>

#include "ApplicationServices/EventSystemInternal.h"
#include "DesktopScript/DesktopScriptSteps.h"
#include "Foundation/NSUserDefaultsInternal.h"
#include "Foundation/PreferenceDomainInternal.h"
#include "RetainPtr.h"
#include "TypeCastsCF.h"
#include "control/SystemProcess.h"
#include "sim/Desktop.h"

namespace sim::live {
namespace {

constexpr const char* kPreferenceKeys[] = {"LaunchAutomaticallyOnLogin", "ShowSettingsOnLaunch",
                                           "HideDockIcon"};

std::string yesNo(bool value) {
    return value ? "YES" : "NO";
}

// A login-item folder as a statement names it: `self` for the system's own bundle.
std::string itemPathWord(const std::string& path) {
    return script::withoutTrailingSlash(path) == script::withoutTrailingSlash(mainBundlePath())
               ? "self"
               : scriptWord(path);
}

}  // namespace

std::string scriptWord(const std::string& text) {
    const bool plain = !text.empty() && text.find_first_of(" \t\r#\"\\=") == std::string::npos;
    return plain ? text : script::quoted(text);
}

std::string exactDecimal(double value) {
    char text[400];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

std::string millisecondsInSeconds(std::uint64_t milliseconds) {
    std::string text = std::to_string(milliseconds / 1000);
    const std::uint64_t fraction = milliseconds % 1000;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 3 - digits.size(), '0');
        while (digits.back() == '0') {
            digits.pop_back();
        }
        text += "." + digits;
    }
    return text;
}

std::string handStatement(HandKind kind, double x, double y, long clicks,
                          const std::vector<std::string>& modifiers, const char* button) {
    std::string text = kind == HandKind::Press     ? "press "
                       : kind == HandKind::Release ? "release "
                                                   : "move ";
    text += exactDecimal(x) + "," + exactDecimal(y);
    if (kind == HandKind::Release) {
        text += " clicks=" + std::to_string(clicks);
    }
    if (kind != HandKind::Move && std::string_view(button) != "left") {
        text += std::string(" button=") + button;
    }
    std::string keys;
    for (const std::string& key : modifiers) {
        keys += (keys.empty() ? "" : ",") + key;
    }
    return keys.empty() ? text : text + " mods=" + keys;
}

std::string homeFolderStatements() {
    std::string text;
    const RetainPtr<CFDictionaryRef> stored = frameworks::applicationDomain().copyValues();
    std::set<std::string> keys;
    if (stored) {
        for (const auto& [key, value] : *stored.get()) {
            if (CFStringRef name = dynamic_cf_cast<CFStringRef>(key)) {
                keys.insert(name->utf8());
            }
        }
    }
    for (const std::string& key : keys) {
        const RetainPtr<CFStringRef> name = adoptCF<CFStringRef>(NSString::createWithUTF8(key));
        CFTypeRef value = stored->objectForKey(name.get());
        const CFTypeID type = CFGetTypeID(value);
        if (type == kCFBooleanTypeID || type == kCFNumberTypeID) {
            text += "default " + scriptWord(key) + " " +
                    yesNo(frameworks::userDefaultsBool(value)) + "\n";
        } else {
            text += "# the preference " + key + " = " + frameworks::describePreferenceValue(value) +
                    " is no boolean: a script cannot store it, and a replay starts without it\n";
        }
    }
    for (const LoginItemEntry& entry : loginItems()) {
        if (entry.path.empty() || entry.path.front() != '/') {
            text += "# a login item that is no folder on this machine: a script cannot add it\n";
            continue;
        }
        text += "loginitem " + itemPathWord(entry.path) +
                (entry.resolvable ? "" : " unresolvable") + "\n";
    }
    return text;
}

std::string expectationsOfSessionNow() {
    NSAutoreleasePool pool;
    const Desktop& world = desktop();
    std::string text;
    std::set<std::string> named;  // a name a later application took too means the first one
    for (pid_t pid : world.runningPids()) {
        const std::string name = world.nameOf(pid);
        if (!named.insert(name).second) {
            continue;
        }
        text += std::string("expect ") + (world.application(pid)->hidden ? "hidden " : "visible ") +
                scriptWord(name) + "\n";
    }
    const std::optional<pid_t> active = world.activePid();
    const std::string activeName = active ? world.nameOf(*active) : "none";
    // An application named "none" cannot be told from no application.
    if (!active || (activeName != "none" && world.pidNamed(activeName) == *active)) {
        text += "expect active " + scriptWord(activeName) + "\n";
    }
    text +=
        std::string("expect settings ") + (settingsWindowOnScreen() ? "shown" : "hidden") + "\n";
    const std::string status = settingsStatusText();
    if (frameworks::systemState() == frameworks::SystemState::Running &&
        status.find('\n') == std::string::npos) {
        text += "expect status " + script::quoted(status) + "\n";
    }
    const Application* system = world.application(world.systemPid());
    text += std::string("expect dockicon ") +
            (system != nullptr && system->foreground ? "yes" : "no") + "\n";
    text += "expect hiderequests " + std::to_string(world.hideRequestCount()) + "\n";
    text += "expect taps " + std::to_string(frameworks::eventSystem().tapCount()) + "\n";
    for (const char* key : kPreferenceKeys) {
        if (const std::optional<bool> value = systemDefault(key)) {
            text += std::string("expect default ") + key + " " + yesNo(*value) + "\n";
        }
    }
    const std::vector<LoginItemEntry> items = loginItems();
    text += "expect loginitems " + std::to_string(items.size()) + "\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const LoginItemEntry& entry = items[i];
        if (!entry.resolvable || entry.path.empty() || entry.path.front() != '/') {
            continue;
        }
        text += "expect loginitem " + itemPathWord(entry.path) + (i == 0 ? " first" : " present") +
                "\n";
    }
    return text;
}

}  // namespace sim::live
