// The user's keyboard: a chord's modifier keys go down, then its key, then all come up in
// reverse order, each posted at the HID level; the session settles between them as it does
// between statements.
#include "ApplicationServices/EventSystemInternal.h"
#include "DesktopScript/DesktopScriptSteps.h"
#include "sim/Clock.h"

namespace sim::script {

void perform(const KeyStatement& statement, Story& story) {
    story.tell("the user presses " + statement.text);
    for (const ModifierKey& modifier : statement.chord.modifiers) {
        frameworks::eventSystem().pressKey(modifier.code);
        settle();
    }
    frameworks::eventSystem().pressKey(statement.chord.key);
    settle();
    frameworks::eventSystem().releaseKey(statement.chord.key);
    for (auto it = statement.chord.modifiers.rbegin(); it != statement.chord.modifiers.rend();
         ++it) {
        settle();
        frameworks::eventSystem().releaseKey(it->code);
    }
}

}  // namespace sim::script
