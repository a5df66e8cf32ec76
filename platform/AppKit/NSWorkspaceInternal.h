// What the session asks of the workspace beyond its public interface.
#pragma once

namespace frameworks {

// Lets go of the active application's record kept since it was last asked for: it goes with
// the process that asked for it.
void forgetActiveApplicationRecord();

}  // namespace frameworks
