#include "LiveDesktop/RequestBodies.h"

#include <charconv>
#include <cmath>
#include <map>

#include "DesktopScript/DesktopScriptWords.h"
#include "sim/Desktop.h"

namespace sim::live {
namespace {

// Deeper than any body the interface takes: refused before it costs anything.
constexpr int kDeepestBody = 8;

struct TooDeep {};

// The body as a JSON object, or why it is none.
std::variant<Json, Unusable> objectOf(const std::string& body) {
    Json value;
    try {
        value = Json::parse(body, [](int depth, Json::parse_event_t, Json&) {
            if (depth > kDeepestBody) {
                throw TooDeep{};
            }
            return true;
        });
    } catch (const Json::exception& error) {
        return Unusable{std::string("the body is not JSON: ") + error.what()};
    } catch (const TooDeep&) {
        return Unusable{"the body nests deeper than any request needs"};
    }
    if (!value.is_object()) {
        return Unusable{"the body must be a JSON object"};
    }
    return value;
}

std::optional<Unusable> onlyFields(const Json& object, std::initializer_list<const char*> known) {
    for (const auto& [key, value] : object.items()) {
        bool isKnown = false;
        for (const char* name : known) {
            isKnown = isKnown || key == name;
        }
        if (!isKnown) {
            return Unusable{"unknown field \"" + key + "\""};
        }
    }
    return std::nullopt;
}

std::variant<double, Unusable> coordinate(const Json& object, const char* name, double extent) {
    auto found = object.find(name);
    if (found == object.end()) {
        return Unusable{std::string("\"") + name + "\" is missing"};
    }
    if (!found->is_number()) {
        return Unusable{std::string("\"") + name + "\" must be a number"};
    }
    const double value = found->get<double>();
    if (!(value >= 0 && value <= extent)) {
        return Unusable{std::string("\"") + name + "\" must lie on the screen, from 0 to " +
                        std::to_string(static_cast<int>(extent))};
    }
    return value;
}

const std::map<std::string, CGEventFlags>& modifierFlags() {
    static const std::map<std::string, CGEventFlags> kFlags{
        {"control", kCGEventFlagMaskControl}, {"command", kCGEventFlagMaskCommand},
        {"shift", kCGEventFlagMaskShift},     {"option", kCGEventFlagMaskAlternate},
        {"fn", kCGEventFlagMaskSecondaryFn},  {"caps", kCGEventFlagMaskAlphaShift},
    };
    return kFlags;
}

// {"action": "key", "chord": "cmd+h"}: a chord as a script's `key` statement writes it.
std::variant<HandAction, Unusable> keyAction(const Json& object) {
    if (auto unknown = onlyFields(object, {"action", "chord"})) {
        return *unknown;
    }
    auto chord = object.find("chord");
    if (chord == object.end() || !chord->is_string()) {
        return Unusable{"\"chord\" must be a chord such as \"cmd+h\""};
    }
    const std::string text = chord->get<std::string>();
    std::string error;
    std::optional<Chord> read = chordOf(text, &error);
    if (!read) {
        return Unusable{"\"chord\" " + script::quoted(text) + ": " + error};
    }
    HandAction action;
    action.key = script::KeyStatement{std::move(*read), text};
    return action;
}

}  // namespace

std::variant<HandAction, Unusable> readHandBody(const std::string& body) {
    std::variant<Json, Unusable> read = objectOf(body);
    if (auto* unusable = std::get_if<Unusable>(&read)) {
        return *unusable;
    }
    const Json& object = std::get<Json>(read);
    HandAction action;
    auto kind = object.find("action");
    if (kind == object.end() || !kind->is_string()) {
        return Unusable{"\"action\" must be \"press\", \"release\", \"move\" or \"key\""};
    }
    const std::string& name = kind->get_ref<const std::string&>();
    if (name == "key") {
        return keyAction(object);
    }
    if (auto unknown = onlyFields(object, {"action", "x", "y", "mods", "button"})) {
        return *unknown;
    }
    if (name == "press") {
        action.kind = HandKind::Press;
    } else if (name == "release") {
        action.kind = HandKind::Release;
    } else if (name == "move") {
        action.kind = HandKind::Move;
    } else {
        return Unusable{"\"action\" must be \"press\", \"release\", \"move\" or \"key\""};
    }
    if (auto button = object.find("button"); button != object.end()) {
        const std::string named = button->is_string() ? button->get<std::string>() : "";
        if (named == "right") {
            action.button = kCGMouseButtonRight;
        } else if (named == "other") {
            action.button = kCGMouseButtonCenter;
        } else if (named != "left") {
            return Unusable{"\"button\" must be \"left\", \"right\" or \"other\""};
        }
    }
    for (auto [field, extent, target] :
         {std::tuple{"x", kScreenWidth, &action.x}, std::tuple{"y", kScreenHeight, &action.y}}) {
        std::variant<double, Unusable> value = coordinate(object, field, extent);
        if (auto* unusable = std::get_if<Unusable>(&value)) {
            return *unusable;
        }
        *target = std::get<double>(value);
    }
    if (auto mods = object.find("mods"); mods != object.end()) {
        if (!mods->is_array()) {
            return Unusable{"\"mods\" must be a list of modifier key names"};
        }
        for (const Json& key : *mods) {
            auto flag = key.is_string() ? modifierFlags().find(key.get<std::string>())
                                        : modifierFlags().end();
            if (flag == modifierFlags().end()) {
                return Unusable{"\"mods\" holds only control, command, shift, option, fn and caps"};
            }
            if ((action.flags & flag->second) != 0) {
                return Unusable{"\"mods\" names " + flag->first + " twice"};
            }
            action.flags |= flag->second;
            action.modifiers.push_back(flag->first);
        }
    }
    return action;
}

std::variant<std::string, Unusable> readScriptBody(const std::string& body) {
    std::variant<Json, Unusable> read = objectOf(body);
    if (auto* unusable = std::get_if<Unusable>(&read)) {
        return *unusable;
    }
    const Json& object = std::get<Json>(read);
    if (auto unknown = onlyFields(object, {"text"})) {
        return *unknown;
    }
    auto text = object.find("text");
    if (text == object.end() || !text->is_string()) {
        return Unusable{"\"text\" must be a string of desktop-script statements"};
    }
    return text->get<std::string>();
}

std::variant<double, Unusable> readCoordinate(const std::optional<std::string>& text,
                                              const char* name, double extent) {
    const std::optional<double> value =
        text ? script::decimalNumber(*text) : std::optional<double>();
    if (!value || !(*value >= 0 && *value <= extent)) {
        return Unusable{std::string(name) + " must be a decimal number from 0 to " +
                        std::to_string(static_cast<int>(extent))};
    }
    return *value;
}

std::variant<std::uint64_t, Unusable> readLineNumber(const std::optional<std::string>& text) {
    if (!text) {
        return std::uint64_t{0};
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (text->empty() || error != std::errc() || end != text->data() + text->size()) {
        return Unusable{"since must be a story line number, a whole number from 0"};
    }
    return value;
}

}  // namespace sim::live
