// Expectations: each looks at the desktop as the session sees it, confirms what holds in the
// story, and ends the run with "expected …, found …" when it does not hold.
#include <algorithm>

#include "ApplicationServices/AccessibilityInternal.h"
#include "ApplicationServices/EventSystemInternal.h"
#include "DesktopScript/DesktopScriptSteps.h"
#include "Foundation/Foundation.h"
#include "RetainPtr.h"
#include "control/SystemProcess.h"
#include "sim/Desktop.h"
#include "sim/UTF16.h"

namespace sim::script {
namespace {

std::string counted(long count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void holds(bool held, Story& story, const std::string& confirmation, const std::string& expected,
           const std::string& found) {
    if (!held) {
        throw ExpectationFailed{"expected " + expected + ", found " + found};
    }
    story.confirm(confirmation);
}

std::string yesNo(bool value) {
    return value ? "YES" : "NO";
}

// The folder a file URL names, or nothing for any other URL.
std::optional<std::string> folderOfFileURL(const std::string& text) {
    const RetainPtr<CFStringRef> string = adoptCF<CFStringRef>(NSString::createWithUTF8(text));
    const RetainPtr<CFURLRef> url =
        adoptCF(CFURLCreateWithString(kCFAllocatorDefault, string.get(), nullptr));
    if (!url || !url->isFileURL()) {
        return std::nullopt;
    }
    return withoutTrailingSlash(url->path()->utf8());
}

std::string listed(const std::vector<std::string>& texts) {
    std::string list;
    for (const std::string& text : texts) {
        list += (list.empty() ? "" : ", ") + text;
    }
    return list;
}

}  // namespace

void perform(const ExpectHidden& expectation, Story& story) {
    const Application* app = desktop().application(pidNamed(expectation.app));
    const std::string wanted = expectation.hidden ? "hidden" : "visible";
    holds(app->hidden == expectation.hidden, story, expectation.app + " is " + wanted,
          expectation.app + " " + wanted,
          std::string("it ") + (app->hidden ? "hidden" : "visible"));
}

void perform(const ExpectActive& expectation, Story& story) {
    const std::optional<pid_t> active = desktop().activePid();
    const std::string found =
        active ? desktop().nameOf(*active) + " active" : "no application active";
    if (!expectation.app) {
        holds(!active, story, "no application is active", "no application active", found);
        return;
    }
    holds(active && *active == pidNamed(*expectation.app), story, *expectation.app + " is active",
          *expectation.app + " active", found);
}

void perform(const ExpectLastHide& expectation, Story& story) {
    const std::optional<std::string>& last = desktop().lastHideRequest();
    const std::string found = last ? "the last to " + *last : "none";
    if (!expectation.app) {
        holds(!last, story, "the system has sent no hide request", "no hide request", found);
        return;
    }
    holds(last == expectation.app, story,
          "the system's last hide request went to " + *expectation.app,
          "the last hide request to " + *expectation.app, found);
}

void perform(const ExpectDock& expectation, Story& story) {
    std::vector<std::string> titles;
    for (NodeId id : desktop().dockItems()) {
        // A separator has no title.
        if (const auto& title = desktop().node(id)->title; title && !title->empty()) {
            titles.push_back(utf8FromUTF16(*title));
        }
    }
    const std::string wanted = listed(expectation.titles);
    holds(titles == expectation.titles, story, "the Dock holds " + wanted,
          "the Dock holding " + wanted,
          "it holding " + (titles.empty() ? std::string("nothing") : listed(titles)));
}

void perform(const ExpectCount& expectation, Story& story) {
    long found = 0;
    std::string one;
    std::string many;
    std::string confirmation;
    switch (expectation.what) {
        case Counted::HideRequests:
            found = desktop().hideRequestCount();
            one = "hide request";
            many = "hide requests";
            confirmation = "the system has sent ";
            break;
        case Counted::LoginItems:
            found = static_cast<long>(loginItems().size());
            one = "login item";
            many = "login items";
            confirmation = "the login-item list holds ";
            break;
        case Counted::Taps:
            found = static_cast<long>(frameworks::eventSystem().tapCount());
            one = "event tap";
            many = "event taps";
            confirmation = "the system holds ";
            break;
    }
    holds(found == expectation.count, story, confirmation + counted(expectation.count, one, many),
          counted(expectation.count, one, many), std::to_string(found));
}

void perform(const ExpectSettings& expectation, Story& story) {
    const bool shown = settingsWindowOnScreen();
    const auto state = [](bool onScreen) {
        return std::string(onScreen ? "on screen" : "not on screen");
    };
    holds(shown == expectation.shown, story, "the settings window is " + state(shown),
          "the settings window " + state(expectation.shown), "it " + state(shown));
}

void perform(const ExpectStatus& expectation, Story& story) {
    const std::string status = settingsStatusText();
    holds(status == expectation.text, story, "the status field reads " + quoted(status),
          "status " + quoted(expectation.text), quoted(status));
}

void perform(const ExpectDockIcon& expectation, Story& story) {
    const Application* system = desktop().application(desktop().systemPid());
    const bool shown = system != nullptr && system->foreground;
    holds(shown == expectation.shown, story,
          systemName() + (shown ? " has a Dock icon" : " has no Dock icon"),
          expectation.shown ? "a Dock icon" : "no Dock icon", shown ? "one" : "none");
}

void perform(const ExpectDefault& expectation, Story& story) {
    // A key no domain holds reads NO, as boolForKey: answers it.
    const std::optional<bool> stored = systemDefault(expectation.key);
    const bool value = stored.value_or(false);
    holds(value == expectation.value, story,
          "the preference " + expectation.key + " reads " + yesNo(expectation.value),
          "default " + expectation.key + " " + yesNo(expectation.value),
          yesNo(value) + (stored ? "" : " (no domain holds it)"));
}

void perform(const ExpectLoginItem& expectation, Story& story) {
    const std::string folder = folderOf(expectation.path);
    const std::string described = describeItemPath(expectation.path);
    const std::vector<LoginItemEntry> items = loginItems();
    const auto isForFolder = [&](const LoginItemEntry& entry) {
        return withoutTrailingSlash(entry.path) == folder;
    };
    // An entry that cannot be resolved resolves to nothing, whatever it was made for.
    const auto match = std::find_if(items.begin(), items.end(), [&](const LoginItemEntry& entry) {
        return entry.resolvable && isForFolder(entry);
    });
    const std::string position =
        match == items.end() ? "" : "at position " + std::to_string(match - items.begin() + 1);
    switch (expectation.place) {
        case ItemPlace::First: {
            std::string found = "no login items";
            if (!items.empty()) {
                found = items.front().resolvable ? items.front().path + " first"
                                                 : "an entry that cannot be resolved first";
            }
            holds(match == items.begin() && match != items.end(), story,
                  described + " is the first login item", described + " as the first login item",
                  found);
            break;
        }
        case ItemPlace::Present: {
            const bool unresolvable = std::any_of(items.begin(), items.end(), isForFolder);
            holds(match != items.end(), story, described + " is a login item " + position,
                  "a login item for " + described,
                  unresolvable ? "only an entry for it that cannot be resolved"
                               : "none among " +
                                     counted(static_cast<long>(items.size()), "entry", "entries"));
            break;
        }
        case ItemPlace::Absent:
            holds(match == items.end(), story, "no login item is for " + described,
                  "no login item for " + described, "one " + position);
            break;
    }
}

void perform(const ExpectOpened& expectation, Story& story) {
    const std::vector<std::string>& opened = desktop().openedURLs();
    if (!expectation.path) {
        holds(opened.empty(), story, "nothing has been opened", "nothing opened",
              listed(opened) + " opened");
        return;
    }
    const std::string wanted = withoutTrailingSlash(*expectation.path);
    const bool found = std::any_of(opened.begin(), opened.end(), [&](const std::string& url) {
        return folderOfFileURL(url) == wanted;
    });
    holds(found, story, "the workspace has been asked to open " + wanted, wanted + " opened",
          opened.empty() ? "nothing opened" : "only " + listed(opened) + " opened");
}

void perform(const ExpectAccess& expectation, Story& story) {
    const bool on = desktop().accessEnabled();
    holds(on == expectation.on, story,
          std::string("accessibility access is ") + (expectation.on ? "on" : "off"),
          std::string("access ") + (expectation.on ? "on" : "off"), on ? "on" : "off");
}

void perform(const ExpectControl& expectation, Story& story) {
    const std::optional<NodeId> control = desktop().frontControlTitled(expectation.title);
    const std::optional<bool> ticked =
        control ? frameworks::checkBoxTicked(*control) : std::optional<bool>();
    if (!ticked) {
        throw StepUnusable{"expect control: no window on screen has a check box titled " +
                           quoted(expectation.title)};
    }
    const std::string wanted = expectation.on ? "ticked" : "not ticked";
    holds(*ticked == expectation.on, story,
          "the check box " + quoted(expectation.title) + " is " + wanted,
          "control " + quoted(expectation.title) + (expectation.on ? " on" : " off"),
          *ticked ? "it on" : "it off");
}

void perform(const ExpectFrame& expectation, Story& story) {
    const std::optional<NodeId> window = desktop().frontWindowTitled(expectation.title);
    const auto text = [](double x, double y, double width, double height) {
        return formatNumber(x) + " " + formatNumber(y) + " " + formatNumber(width) + " " +
               formatNumber(height);
    };
    const std::string wanted =
        text(expectation.x, expectation.y, expectation.width, expectation.height);
    const Rect frame = window ? desktop().node(*window)->frame.value_or(Rect{}) : Rect{};
    const bool same = window && frame.x == expectation.x && frame.y == expectation.y &&
                      frame.width == expectation.width && frame.height == expectation.height;
    holds(same, story, "the window " + quoted(expectation.title) + " stands at " + wanted,
          "frame " + quoted(expectation.title) + " " + wanted,
          window ? text(frame.x, frame.y, frame.width, frame.height)
                 : "no window on screen with that title");
}

void perform(const ExpectMenu& expectation, Story& story) {
    const bool shown = desktop().dockMenuShown();
    const std::string wanted = expectation.shown ? "shown" : "hidden";
    holds(shown == expectation.shown, story,
          expectation.shown ? "a menu is on screen" : "no menu is on screen", "menu " + wanted,
          shown ? "one on screen" : "none on screen");
}

}  // namespace sim::script
