// File references (FSRef) of the session: each names one path. The reference carries a
// number; the session keeps which path each number stands for, until the next reset.
#pragma once

#include <optional>
#include <string>

#include "CoreServices/Files.h"

namespace frameworks {

void fillFileReference(const std::string& path, FSRef* reference);
// The path a reference names, or nullopt for one that the session did not make (or made
// before the last reset).
std::optional<std::string> pathOfFileReference(const FSRef* reference);
// Forgets every reference made so far.
void resetFileReferences();

}  // namespace frameworks
