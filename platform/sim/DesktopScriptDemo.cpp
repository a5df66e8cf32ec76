// The built-in demo script: scenarios/demo.desk, which the scenario tests also run.
#include "sim/DesktopSession.h"

namespace sim {

std::string_view builtInDemoScript() {
    static constexpr char kDemo[] =
        R"desk(# Quenfold's built-in demo. While Quenfold runs, a single click on the Dock item of the
# application that was active when the button went down hides that application; every other
# click is left alone and still reaches the Dock.
#
# In the story on standard output, "> " lines are what the user does, "= " lines what the demo
# checks, and the other lines what the desktop reports, each with the time in seconds.

# The desktop: a browser and an editor side by side, and a folder in the Dock.
app Safari
window Safari "Start Page" x=40 y=60 w=620 h=480
app TextEdit
window TextEdit Notes.txt x=780 y=60 w=620 h=480
dockitem Downloads url=file:///Users/demo/Downloads/ urlobject

# Quenfold starts. Accessibility access is on, and its settings window says so.
launch
expect settings shown
expect status "\"Enable access for assistive devices\" is ON."
expect dockicon yes
expect taps 1
settings close

# The user works in the editor, then in the browser.
click window:Notes.txt
click "window:Start Page"
expect active Safari

# A click on the Dock item of the active application hides that application.
click dock:Safari
expect hidden Safari
expect active TextEdit
expect hiderequests 1

# A click on the Dock item of another application is left alone: the Dock shows Safari again,
# and TextEdit stays visible.
click dock:Safari
expect visible Safari
expect active Safari
expect visible TextEdit

# So is a click on a folder in the Dock.
click dock:Downloads
expect visible Safari
expect hiderequests 1

# Opening Quenfold again brings back its settings window. Hiding the Dock icon takes effect at
# the next launch.
reopen
expect settings shown
settings set HideDockIcon on
expect default HideDockIcon YES
expect dockicon yes
settings close
expect settings hidden

# Quitting releases the event tap.
quit
expect taps 0
)desk";
    return {kDemo, sizeof kDemo - 1};
}

}  // namespace sim
