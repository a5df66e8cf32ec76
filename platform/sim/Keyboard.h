// The keyboard of the session: the virtual key codes of a US keyboard by name, the modifier
// keys with the flag each sets, and chords such as cmd+shift+tab read from text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ApplicationServices/CGEvent.h"

namespace sim {

struct ModifierKey {
    std::string_view name;  // as scripts write it: control, command, shift, option, fn, caps
    CGEventFlags flag = 0;
    CGKeyCode code = 0;
};

// The modifier key a name stands for; `cmd` is the short form of `command`.
std::optional<ModifierKey> modifierNamed(std::string_view name);
// The flag a modifier key's code sets, or 0 for any other key.
CGEventFlags modifierFlagOfKey(CGKeyCode code);
// The modifier names, for messages: "control, command, shift, option, fn, caps" (`cmd` is
// accepted too).
std::string modifierNames();

// The code of a key that is not a modifier: a letter, a digit, tab, space, return, escape,
// delete or an arrow (left, right, up, down).
std::optional<CGKeyCode> keyCodeNamed(std::string_view name);

// Modifier keys and one key, written as words joined by `+` with the key last: cmd+shift+tab.
struct Chord {
    std::vector<ModifierKey> modifiers;  // in the order written, each once
    CGKeyCode key = 0;
};
// The chord, or nullopt with the reason in `error`.
std::optional<Chord> chordOf(std::string_view text, std::string* error);

}  // namespace sim
