// The keyboard of the session: the virtual key codes of a US keyboard by name, the modifier
// keys with the flag each sets, and chords such as cmd+shift+tab read from text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <cstdint>

namespace sim {

// Key codes, modifier flags and key event types as the HID level carries them (the values of
// Quartz's event constants, which the event system checks they stay).
using KeyCode = std::uint16_t;
using EventFlags = std::uint64_t;
inline constexpr EventFlags kFlagAlphaShift = 1ull << 16;
inline constexpr EventFlags kFlagShift = 1ull << 17;
inline constexpr EventFlags kFlagControl = 1ull << 18;
inline constexpr EventFlags kFlagAlternate = 1ull << 19;
inline constexpr EventFlags kFlagCommand = 1ull << 20;
inline constexpr EventFlags kFlagSecondaryFn = 1ull << 23;
inline constexpr std::uint32_t kKeyDownEvent = 10;

struct ModifierKey {
    std::string_view name;  // as scripts write it: control, command, shift, option, fn, caps
    EventFlags flag = 0;
    KeyCode code = 0;
};

// The modifier key a name stands for; `cmd` is the short form of `command`.
std::optional<ModifierKey> modifierNamed(std::string_view name);
// The flag a modifier key's code sets, or 0 for any other key.
EventFlags modifierFlagOfKey(KeyCode code);
// The modifier names, for messages: "control, command, shift, option, fn, caps" (`cmd` is
// accepted too).
std::string modifierNames();

// The code of a key that is not a modifier: a letter, a digit, tab, space, return, escape,
// delete or an arrow (left, right, up, down).
std::optional<KeyCode> keyCodeNamed(std::string_view name);

// Modifier keys and one key, written as words joined by `+` with the key last: cmd+shift+tab.
struct Chord {
    std::vector<ModifierKey> modifiers;  // in the order written, each once
    KeyCode key = 0;
};
// The chord, or nullopt with the reason in `error`.
std::optional<Chord> chordOf(std::string_view text, std::string* error);

}  // namespace sim
