// Checking a whole desktop script before anything runs: every name a statement uses exists
// at that point, process identifiers do not collide, the system is launched once and before
// anything asks it or its settings window to act.
#pragma once

#include <optional>
#include <string>

#include "DesktopScript/DesktopScript.h"

namespace sim::script {

// `systemName` is the system's own process, named by its bundle ("Quenfold").
std::optional<ScriptError> validateDesktopScript(const Script& script,
                                                 const std::string& systemName);

}  // namespace sim::script
