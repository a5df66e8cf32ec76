#include "LiveDesktop/RequestBodies.h"

#include <charconv>
#include <cmath>
#include <map>
#include <utility>

#include "DesktopScript/DesktopScriptWords.h"
#include "sim/Desktop.h"

namespace sim::live {
namespace {

// Deeper than any body the interface takes: refused before it costs anything.
constexpr int kDeepestBody = 8;

struct TooDeep {};

// Nothing, with the reason.
std::nullopt_t fail(std::string reason, std::string* error) {
    *error = std::move(reason);
    return std::nullopt;
}

// The body as a JSON object, or nothing with the reason.
std::optional<Json> objectOf(const std::string& body, std::string* error) {
    Json value;
    try {
        value = Json::parse(body, [](int depth, Json::parse_event_t, Json&) {
            if (depth > kDeepestBody) {
                throw TooDeep{};
            }
            return true;
        });
    } catch (const Json::exception& exception) {
        return fail(std::string("the body is not JSON: ") + exception.what(), error);
    } catch (const TooDeep&) {
        return fail("the body nests deeper than any request needs", error);
    }
    if (!value.is_object()) {
        return fail("the body must be a JSON object", error);
    }
    return value;
}

bool onlyFields(const Json& object, std::initializer_list<const char*> known, std::string* error) {
    for (const auto& [key, value] : object.items()) {
        bool isKnown = false;
        for (const char* name : known) {
            isKnown = isKnown || key == name;
        }
        if (!isKnown) {
            *error = "unknown field \"" + key + "\"";
            return false;
        }
    }
    return true;
}

std::optional<double> coordinate(const Json& object, const char* name, double extent,
                                 std::string* error) {
    auto found = object.find(name);
    if (found == object.end()) {
        return fail(std::string("\"") + name + "\" is missing", error);
    }
    if (!found->is_number()) {
        return fail(std::string("\"") + name + "\" must be a number", error);
    }
    const double value = found->get<double>();
    if (!(value >= 0 && value <= extent)) {
        return fail(std::string("\"") + name + "\" must lie on the screen, from 0 to " +
                        std::to_string(static_cast<int>(extent)),
                    error);
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

// {"action": "key", "chord": "cmd+h"}: a chord as a script's `key` statement writes it;
// with "hold": true its modifiers stay down.
std::optional<HandAction> keyAction(const Json& object, std::string* error) {
    if (!onlyFields(object, {"action", "chord", "hold", "seq", "since"}, error)) {
        return std::nullopt;
    }
    HandAction action;
    if (auto hold = object.find("hold"); hold != object.end()) {
        if (!hold->is_boolean()) {
            return fail("\"hold\" must be true or false", error);
        }
        action.holdModifiers = hold->get<bool>();
    }
    auto chord = object.find("chord");
    if (chord == object.end() || !chord->is_string()) {
        return fail("\"chord\" must be a chord such as \"cmd+h\"", error);
    }
    const std::string text = chord->get<std::string>();
    std::string problem;
    std::optional<Chord> read = chordOf(text, &problem);
    if (!read) {
        return fail("\"chord\" " + script::quoted(text) + ": " + problem, error);
    }
    action.key = script::KeyStatement{std::move(*read), text};
    return action;
}

// A press, a release or a move of the pointer, with its button and the modifiers held.
std::optional<HandAction> pointerAction(const Json& object, const std::string& name,
                                        std::string* error) {
    HandAction action;
    if (name == "press") {
        action.kind = HandKind::Press;
    } else if (name == "release") {
        action.kind = HandKind::Release;
    } else if (name == "move") {
        action.kind = HandKind::Move;
    } else {
        return fail("\"action\" must be \"press\", \"release\", \"move\", \"key\" or \"keyup\"",
                    error);
    }
    if (auto button = object.find("button"); button != object.end()) {
        const std::string named = button->is_string() ? button->get<std::string>() : "";
        if (named == "right") {
            action.button = kCGMouseButtonRight;
        } else if (named == "other") {
            action.button = kCGMouseButtonCenter;
        } else if (named != "left") {
            return fail("\"button\" must be \"left\", \"right\" or \"other\"", error);
        }
    }
    for (auto [field, extent, target] :
         {std::tuple{"x", kScreenWidth, &action.x}, std::tuple{"y", kScreenHeight, &action.y}}) {
        const std::optional<double> value = coordinate(object, field, extent, error);
        if (!value) {
            return std::nullopt;
        }
        *target = *value;
    }
    if (auto mods = object.find("mods"); mods != object.end()) {
        if (!mods->is_array()) {
            return fail("\"mods\" must be a list of modifier key names", error);
        }
        for (const Json& key : *mods) {
            auto flag = key.is_string() ? modifierFlags().find(key.get<std::string>())
                                        : modifierFlags().end();
            if (flag == modifierFlags().end()) {
                return fail("\"mods\" holds only control, command, shift, option, fn and caps",
                            error);
            }
            if ((action.flags & flag->second) != 0) {
                return fail("\"mods\" names " + flag->first + " twice", error);
            }
            action.flags |= flag->second;
            action.modifiers.push_back(flag->first);
        }
    }
    return action;
}

}  // namespace

std::optional<HandAction> readHandBody(const std::string& body, std::string* error) {
    const std::optional<Json> object = objectOf(body, error);
    if (!object) {
        return std::nullopt;
    }
    constexpr const char* kActions =
        "\"action\" must be \"press\", \"release\", \"move\", \"key\" or \"keyup\"";
    auto kind = object->find("action");
    if (kind == object->end() || !kind->is_string()) {
        return fail(kActions, error);
    }
    const std::string& name = kind->get_ref<const std::string&>();
    std::optional<HandAction> read;
    if (name == "key") {
        read = keyAction(*object, error);
    } else if (name == "keyup") {
        if (onlyFields(*object, {"action", "seq", "since"}, error)) {
            read = HandAction{};
            read->releaseModifiers = true;
        }
    } else if (onlyFields(*object, {"action", "x", "y", "mods", "button", "seq", "since"}, error)) {
        read = pointerAction(*object, name, error);
    }
    if (!read) {
        return std::nullopt;
    }
    for (auto [name, into] : {std::pair{"seq", &read->seq}, std::pair{"since", &read->since}}) {
        if (auto number = object->find(name); number != object->end()) {
            if (!number->is_number_unsigned()) {
                return fail("\"" + std::string(name) + "\" must be a whole number from 0 up",
                            error);
            }
            *into = number->get<std::uint64_t>();
        }
    }
    return read;
}

std::optional<std::string> readScriptBody(const std::string& body, std::string* error) {
    const std::optional<Json> object = objectOf(body, error);
    if (!object || !onlyFields(*object, {"text"}, error)) {
        return std::nullopt;
    }
    auto text = object->find("text");
    if (text == object->end() || !text->is_string()) {
        return fail("\"text\" must be a string of desktop-script statements", error);
    }
    return text->get<std::string>();
}

std::optional<std::string> readToggleBody(const std::string& body, std::string* error) {
    const std::optional<Json> object = objectOf(body, error);
    if (!object || !onlyFields(*object, {"what"}, error)) {
        return std::nullopt;
    }
    auto what = object->find("what");
    if (what == object->end() || *what != "access") {
        return fail("\"what\" must be \"access\"", error);
    }
    return what->get<std::string>();
}

std::optional<double> readCoordinate(const std::optional<std::string>& text, const char* name,
                                     double extent, std::string* error) {
    const std::optional<double> value =
        text ? script::decimalNumber(*text) : std::optional<double>();
    if (!value || !(*value >= 0 && *value <= extent)) {
        return fail(std::string(name) + " must be a decimal number from 0 to " +
                        std::to_string(static_cast<int>(extent)),
                    error);
    }
    return *value;
}

std::optional<std::uint64_t> readLineNumber(const std::optional<std::string>& text,
                                            std::string* error) {
    if (!text) {
        return std::uint64_t{0};
    }
    std::uint64_t value = 0;
    const auto [end, status] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (text->empty() || status != std::errc() || end != text->data() + text->size()) {
        return fail("since must be a story line number, a whole number from 0", error);
    }
    return value;
}

}  // namespace sim::live
