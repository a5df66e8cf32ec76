// The user opens a file as from the Finder: an application bundle launches or comes to the
// front, a preference pane opens System Preferences at that pane.
#include "DesktopScript/DesktopScriptSteps.h"
#include "control/OpenFile.h"

namespace sim::script {

void perform(const OpenStatement& statement, Story& story) {
    story.tell("the user opens " + describeItemPath(statement.path));
    std::string error;
    if (!openPath(folderOf(statement.path), &error)) {
        throw StepUnusable{"open: " + error};
    }
}

}  // namespace sim::script
