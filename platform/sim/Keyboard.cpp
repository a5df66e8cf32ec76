#include "sim/Keyboard.h"

#include <algorithm>
#include <array>
#include <utility>

namespace sim {
namespace {

constexpr std::array<ModifierKey, 6> kModifierKeys{{
    {"control", kFlagControl, 59},
    {"command", kFlagCommand, 55},
    {"shift", kFlagShift, 56},
    {"option", kFlagAlternate, 58},
    {"fn", kFlagSecondaryFn, 63},
    {"caps", kFlagAlphaShift, 57},
}};

// The virtual key codes of the ANSI keyboard's keys, by the names scripts use.
constexpr std::array<std::pair<std::string_view, KeyCode>, 46> kKeys{{
    {"a", 0},       {"s", 1},       {"d", 2},      {"f", 3},       {"h", 4},       {"g", 5},
    {"z", 6},       {"x", 7},       {"c", 8},      {"v", 9},       {"b", 11},      {"q", 12},
    {"w", 13},      {"e", 14},      {"r", 15},     {"y", 16},      {"t", 17},      {"1", 18},
    {"2", 19},      {"3", 20},      {"4", 21},     {"6", 22},      {"5", 23},      {"9", 25},
    {"7", 26},      {"8", 28},      {"0", 29},     {"o", 31},      {"u", 32},      {"i", 34},
    {"p", 35},      {"return", 36}, {"l", 37},     {"j", 38},      {"k", 40},      {"n", 45},
    {"m", 46},      {"tab", 48},    {"space", 49}, {"delete", 51}, {"escape", 53}, {"left", 123},
    {"right", 124}, {"down", 125},  {"up", 126},   {"comma", 43},
}};

}  // namespace

std::optional<ModifierKey> modifierNamed(std::string_view name) {
    if (name == "cmd") {
        name = "command";
    }
    for (const ModifierKey& key : kModifierKeys) {
        if (key.name == name) {
            return key;
        }
    }
    return std::nullopt;
}

EventFlags modifierFlagOfKey(KeyCode code) {
    for (const ModifierKey& key : kModifierKeys) {
        if (key.code == code) {
            return key.flag;
        }
    }
    return 0;
}

std::string modifierNames() {
    return "control, command, shift, option, fn, caps";
}

std::optional<KeyCode> keyCodeNamed(std::string_view name) {
    auto found = std::find_if(kKeys.begin(), kKeys.end(),
                              [&](const auto& key) { return key.first == name; });
    return found == kKeys.end() ? std::nullopt : std::optional<KeyCode>(found->second);
}

std::optional<Chord> chordOf(std::string_view text, std::string* error) {
    Chord chord;
    std::size_t start = 0;
    for (;;) {
        const std::size_t plus = text.find('+', start);
        const std::string_view word = text.substr(start, plus - start);
        if (plus == std::string_view::npos) {
            const std::optional<KeyCode> key = keyCodeNamed(word);
            if (!key) {
                *error = modifierNamed(word) ? "ends with a modifier, not a key"
                                             : "unknown key \"" + std::string(word) +
                                                   "\" (a letter, a digit, tab, space, return, "
                                                   "escape, delete, comma, left, right, up, down)";
                return std::nullopt;
            }
            chord.key = *key;
            return chord;
        }
        const std::optional<ModifierKey> modifier = modifierNamed(word);
        if (!modifier) {
            *error = "unknown modifier \"" + std::string(word) + "\" (" + modifierNames() + ")";
            return std::nullopt;
        }
        if (std::any_of(chord.modifiers.begin(), chord.modifiers.end(),
                        [&](const ModifierKey& held) { return held.code == modifier->code; })) {
            *error = "names " + std::string(modifier->name) + " twice";
            return std::nullopt;
        }
        chord.modifiers.push_back(*modifier);
        start = plus + 1;
    }
}

}  // namespace sim
