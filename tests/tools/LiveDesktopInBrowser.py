#!/usr/bin/python3
"""The live desktop's page in a real browser: Debian's Chromium, headless, driven through
WebDriver. It starts the program on a free port, uses the page with the mouse as a person would
(real pointer events, not calls into the page's code) and checks what the page draws, what the
story tells and what the session's JSON holds. It measures, in the page, the time from each
mouse-up to the redrawn desktop over 200 clicks, saves the recording and replays it as a desktop
script, and leaves screenshots of the page in the output folder.

    LiveDesktopInBrowser.py --program build/Quenfold.app/Contents/MacOS/Quenfold --output DIR \
        --axe build/npm/node_modules/axe-core/axe.min.js
"""

import argparse
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

kInstallHint = (
    "the browser test needs Debian's chromium, chromium-driver and python3-selenium; "
    "scripts/setup installs them (or: apt-get install chromium chromium-driver python3-selenium)"
)
kChromeDriver = "/usr/bin/chromedriver"
kPatience = 15.0
kMeasuredClicks = 200
kClickHold = 0.08  # seconds a person's click holds the button down

try:
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.actions.action_builder import ActionBuilder
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError as failure:
    sys.exit(f"FAIL: {kInstallHint} ({failure})")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(what, probe, patience=kPatience):
    """The probe's first true answer within `patience` seconds; a Failure naming `what` if none."""
    deadline = time.monotonic() + patience
    while True:
        answer = probe()
        if answer:
            return answer
        if time.monotonic() > deadline:
            raise Failure(f"waited {patience:g} s for {what}")
        time.sleep(0.05)


class Program:
    """The program serving a live desktop on a port of its own choosing, with a home folder of
    its own; its story is read as it comes so that it never blocks on a full pipe."""

    def __init__(self, path, home, port=0):
        self.process = subprocess.Popen(
            [path, "-SimulatedServe", str(port), "-SimulatedHome", home],
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        first = self.process.stdout.readline().strip()
        check(first.startswith("serving http://"), f"the program's first line is {first!r}")
        self.address = first.split()[1]
        self.story = []
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def read(self):
        for line in self.process.stdout:
            self.story.append(line.rstrip("\n"))

    @property
    def port(self):
        return int(self.address.rstrip("/").rsplit(":", 1)[1])

    def desktop(self):
        with urllib.request.urlopen(self.address + "api/desktop", timeout=kPatience) as answer:
            return json.load(answer)

    def stop(self):
        """Ends the session as Ctrl-C does; its exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout=kPatience)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()


def find_browser():
    chromium = shutil.which("chromium") or shutil.which("chromium", path="/usr/bin")
    check(chromium is not None and os.access(kChromeDriver, os.X_OK), kInstallHint)
    return chromium


def open_browser(chromium, profile, downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for argument in (
        "--headless=new",
        "--no-sandbox",  # the suite may run as root, where Chromium's sandbox refuses to start
        "--disable-gpu",
        "--disable-dev-shm-usage",
        "--no-first-run",
        "--no-default-browser-check",
        "--disable-extensions",
        "--force-device-scale-factor=1",
        f"--user-data-dir={profile}",
    ):
        options.add_argument(argument)
    options.add_experimental_option(
        "prefs",
        {"download.default_directory": downloads, "download.prompt_for_download": False},
    )
    try:
        driver = webdriver.Chrome(options=options, service=Service(kChromeDriver))
    except WebDriverException as failure:
        raise Failure(f"Chromium did not start through {kChromeDriver}: {failure.msg}")
    driver.execute_cdp_cmd(
        "Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads}
    )
    return driver


# A point of the browser's window where `selector`'s first element, scrolled into view, is what
# the pointer would hit: its middle when nothing covers it, otherwise the first uncovered point of
# a grid over it (at `fraction` of the way down when given). Null when none is uncovered or there
# is none.
kVisiblePoint = """
const [selector, fraction] = arguments;
const target = document.querySelector(selector);
if (!target) return null;
target.scrollIntoView({block: "nearest", inline: "nearest"});
const box = target.getBoundingClientRect();
const hits = (x, y) => {
  const under = document.elementFromPoint(x, y);
  return under !== null && (under === target || target.contains(under));
};
const middle = [box.left + box.width / 2, box.top + box.height * (fraction ?? 0.5)];
if (hits(...middle)) return middle.map(Math.round);
for (let row = 1; row < 10; ++row) {
  for (let column = 1; column < 10; ++column) {
    const x = box.left + (box.width * column) / 10;
    const y = box.top + (box.height * row) / 10;
    if (hits(x, y)) return [Math.round(x), Math.round(y)];
  }
}
return null;
"""


class Page:
    def __init__(self, driver, output):
        self.driver = driver
        self.output = output

    def screenshot(self, name):
        """The page as it stands, to be looked at."""
        shot = os.path.join(self.output, f"{name}.png")
        check(self.driver.save_screenshot(shot), f"no screenshot at {shot}")

    def script(self, text, *arguments):
        return self.driver.execute_script(text, *arguments)

    def point_of(self, selector, fraction=None):
        return wait_until(
            f"{selector} to be drawn and uncovered",
            lambda: self.script(kVisiblePoint, selector, fraction),
        )

    def pointer(self):
        builder = ActionBuilder(self.driver)
        return builder, builder.pointer_action

    def click(self, selector, fraction=None):
        x, y = self.point_of(selector, fraction)
        builder, pointer = self.pointer()
        pointer.move_to_location(x, y).click()
        builder.perform()

    def double_click(self, selector):
        x, y = self.point_of(selector)
        builder, pointer = self.pointer()
        pointer.move_to_location(x, y).click().click()
        builder.perform()

    def hover(self, selector):
        x, y = self.point_of(selector)
        builder, pointer = self.pointer()
        pointer.move_to_location(x, y)
        builder.perform()

    def count(self, selector):
        return len(self.driver.find_elements(By.CSS_SELECTOR, selector))

    def element(self, selector):
        """The element once drawn: the panel is drawn in the frame after the desktop's."""
        return wait_until(f"{selector} to be drawn",
                          lambda: next(iter(self.driver.find_elements(By.CSS_SELECTOR, selector)), None))

    def text(self, selector):
        return self.driver.find_element(By.CSS_SELECTOR, selector).text

    def story(self):
        return self.script(
            "return Array.from(document.querySelectorAll('#story li span'), (s) => s.textContent);"
        )

    def active_application(self):
        return self.text("#menubar-app")


def windows_of(application):
    return f'#windows .window[data-application="{application}"]:not([hidden])'


def dock_item(title):
    return f'#dock .dock-item[data-title="{title}"]'


def launch_quenfold(page, program):
    page.driver.find_element(By.ID, "launch").click()
    wait_until("the panel to say Quenfold runs", lambda: page.text("#quenfold-state") == "Running")
    wait_until("the settings window to be drawn", lambda: page.count("#windows .window.settings"))
    check(program.desktop()["quenfold"]["settings"]["onScreen"], "the settings window is off screen")
    wait_until("Quenfold's Dock item", lambda: page.count(dock_item("Quenfold")))


def activate_by_its_window(page, application):
    page.click(windows_of(application), 0.6)
    wait_until(
        f"{application}'s window to look active",
        lambda: page.count(windows_of(application) + ".key") == 1
        and page.active_application() == application,
    )


def hiding_the_active_application_from_its_dock_item(page, program):
    activate_by_its_window(page, "Safari")
    check(page.count(dock_item("Safari") + ".running") == 1, "Safari's Dock item shows no indicator")
    page.click(dock_item("Safari"))
    wait_until("Safari's windows to be gone from the page", lambda: page.count(windows_of("Safari")) == 0)
    wait_until("the story to tell the hide", lambda: "Safari is hidden" in page.story())
    check(page.active_application() != "Safari", "the menu bar still names Safari")
    check(page.count(windows_of("TextEdit")) == 1, "TextEdit's window went with Safari's")
    safari = [a for a in program.desktop()["applications"] if a["name"] == "Safari"][0]
    check(safari["hidden"], "the session does not have Safari hidden")


def unhiding_from_the_panel(page, program):
    page.element('button[aria-label="Unhide Safari"]').click()
    wait_until("Safari's window to come back", lambda: page.count(windows_of("Safari")) == 1)
    check(not any(a["hidden"] for a in program.desktop()["applications"]), "an application stays hidden")


def double_clicking_a_dock_item_hides_nothing(page, program):
    activate_by_its_window(page, "TextEdit")
    page.double_click(dock_item("TextEdit"))
    wait_until(
        "the story to tell the second click",
        lambda: any("(click state 2)" in line for line in page.story()),
    )
    # The first click hides TextEdit; the second, on the item of an application that is not
    # active, has the Dock show it again. Nothing deferred may hide it after that.
    time.sleep(1.0)
    desktop = program.desktop()
    check(not any(a["hidden"] for a in desktop["applications"]), "the double click left an application hidden")
    check(page.active_application() == "TextEdit", "TextEdit is not active after the double click")
    check(page.count(windows_of("TextEdit")) == 1, "the page no longer draws TextEdit's window")


def clicking_from_the_keyboard(page):
    """A window and a Dock item take the focus and are clicked with Return, as a keyboard user
    reaches them."""
    window = page.driver.find_element(By.CSS_SELECTOR, windows_of("Safari"))
    window.send_keys(Keys.RETURN)
    wait_until("Safari to be active from the keyboard", lambda: page.active_application() == "Safari")
    page.driver.find_element(By.CSS_SELECTOR, dock_item("Safari")).send_keys(Keys.RETURN)
    wait_until("Safari to hide from its focused Dock item", lambda: page.count(windows_of("Safari")) == 0)
    page.element('button[aria-label="Unhide Safari"]').send_keys(Keys.SPACE)
    wait_until("Safari's window to come back", lambda: page.count(windows_of("Safari")) == 1)


def menu_item(title):
    return f'#dock-menus .dock-menu-item[data-title="{title}"]'


def keeping_in_the_dock(page, application):
    """The Dock menu's Options, Keep in Dock, by a right click on the application's item."""
    x, y = page.point_of(dock_item(application))
    builder, pointer = page.pointer()
    pointer.move_to_location(x, y).context_click()
    builder.perform()
    wait_until(f"{application}'s Dock menu", lambda: page.count(menu_item("Options")) == 1)
    page.click(menu_item("Options"))
    wait_until("the Options submenu", lambda: page.count(menu_item("Keep in Dock")) == 1)
    page.click(menu_item("Keep in Dock"))
    wait_until("the menu to go", lambda: page.count("#dock-menus .dock-menu") == 0)


def the_dock_menu_by_a_right_click_and_a_held_press(page, program, output):
    """Finder first, the separator and the Trash last; a right click and a held press on the
    active application's Dock item show its menu, whose items act, and Quenfold hides nothing.
    Leaves a screenshot of the menu in the output folder."""
    titles = [item["title"] for item in program.desktop()["dock"]]
    check(titles[0] == "Finder" and titles[-1] == "Trash", f"the Dock's items are {titles}")
    check(page.count("#dock .dock-item.separator") == 1, "the page draws no separator")
    activate_by_its_window(page, "Safari")
    hides = program.desktop()["quenfold"]["hideRequests"]
    x, y = page.point_of(dock_item("Safari"))
    builder, pointer = page.pointer()
    pointer.move_to_location(x, y).context_click()
    builder.perform()
    wait_until("the Dock's menu to be drawn", lambda: page.count(menu_item("Hide")) == 1)
    check(program.desktop()["menus"], "the session has no menu on screen")
    check(page.driver.save_screenshot(os.path.join(output, "live-desktop-dock-menu.png")),
          "no screenshot of the Dock's menu")
    page.click(menu_item("Hide"))
    wait_until("Safari's windows to be gone", lambda: page.count(windows_of("Safari")) == 0)
    check(page.count("#dock-menus .dock-menu") == 0, "the menu stays after its item was chosen")

    x, y = page.point_of(dock_item("Safari"))
    builder, pointer = page.pointer()
    pointer.move_to_location(x, y).pointer_down()
    builder.perform()
    wait_until("the held press to show the menu", lambda: page.count(menu_item("Show All")) == 1)
    mx, my = page.point_of(menu_item("Show All"))
    builder, pointer = page.pointer()
    pointer.move_to_location(mx, my).pointer_up()
    builder.perform()
    wait_until("Safari's window to come back", lambda: page.count(windows_of("Safari")) == 1)
    check(program.desktop()["quenfold"]["hideRequests"] == hides, "Quenfold hid on a menu gesture")


def ticking_hide_dock_icon(page, program):
    page.click(dock_item("Quenfold"))  # its window comes in front of the others
    box = '#windows .window.settings .checkbox[data-preference="HideDockIcon"]'
    check(page.script(f"return document.querySelector('{box}').getAttribute('aria-checked')") == "false",
          "HideDockIcon starts ticked")
    page.click(box)
    wait_until(
        "the preference HideDockIcon through /api/desktop",
        lambda: program.desktop()["preferences"].get("HideDockIcon") is True,
    )
    wait_until(
        "the checkbox to show the preference",
        lambda: page.script(f"return document.querySelector('{box}').getAttribute('aria-checked')") == "true",
    )
    check(program.desktop()["quenfold"]["settings"]["controls"]["HideDockIcon"], "the control stays off")


# The page's own record of when each press came, in its clock (WebDriver on a busy machine may
# space the two clicks of one action further apart than asked).
kWatchPresses = """
window.__presses = [];
if (!window.__watchingPresses) {
  window.__watchingPresses = true;
  document.addEventListener("pointerdown", (event) => window.__presses.push(event.timeStamp), true);
}
"""


def two_quick_clicks(page, selector, lines_told):
    """Two clicks whose presses the page sees within 100 ms (tried again, a pair at a time, when
    the browser spaced them further); waits until the session has told each pair."""
    told = lambda: sum(1 for line in page.program.story if lines_told(line))
    x, y = page.point_of(selector)
    for _ in range(5):
        before = told()
        page.script(kWatchPresses)
        builder, pointer = page.pointer()
        pointer.move_to_location(x, y).click().click()
        builder.perform()
        wait_until(f"the session to take both clicks on {selector}", lambda: told() >= before + 2)
        presses = page.script("return window.__presses;")
        if len(presses) == 2 and presses[1] - presses[0] <= 100:
            return
    raise Failure(f"the browser never pressed twice within 100 ms on {selector}")


def every_click_counts(page, program):
    """A quick double click on a settings check box or on the access switch turns it twice: each
    click acts on what the session shows when it handles it. The check boxes are accessibility
    elements the inspector sees."""
    page.hover('#windows .window.settings .checkbox[data-preference="HideDockIcon"]')
    wait_until("the inspector to see a check box", lambda: "AXCheckBox" in page.text("#inspector-facts"))
    for key, title in (("LaunchAutomaticallyOnLogin", "Launch automatically at login"),
                       ("ShowSettingsOnLaunch", "Show this window at launch"),
                       ("HideDockIcon", "Hide the Dock icon (takes effect at the next launch)")):
        before = program.desktop()["quenfold"]["settings"]["controls"][key]
        two_quick_clicks(page, f'#windows .window.settings .checkbox[data-preference="{key}"]',
                         lambda line: f'releases the left button on the check box "{title}"' in line)
        check(program.desktop()["quenfold"]["settings"]["controls"][key] == before,
              f"two clicks on {key} left it {'off' if before else 'on'}")
    before = program.desktop()["access"]
    two_quick_clicks(page, "#access", lambda line: "turns accessibility access" in line)
    check(program.desktop()["access"] == before, "two clicks on the access switch turned it over")
    wait_until("the switch to show access as it is",
               lambda: page.script("return document.getElementById('access').checked;") == before)


def the_story_says_what_and_why(page, program):
    """Each click names its target as the accessibility toolkit sees it, and a release on a Dock
    item says what Quenfold read and did."""
    for expected in ('presses the left button on the Dock item "Safari"',
                     "* Safari was active when the button went down: Quenfold hides it (it read "
                     'the Dock item "Safari", click state 1, Safari active at the press)',
                     '* a double click: Quenfold leaves it (it read the Dock item "TextEdit", click state 2'):
        check(any(expected in line for line in program.story), f"the story never says {expected!r}")
    wait_until("the page's story to say why Safari was hidden",
               lambda: any("Quenfold hides it (it read" in line for line in page.story()))


def adding_an_application_from_the_panel(page, program):
    """A name with a blank and a quote reaches the session as one word."""
    name = 'Photo "Booth"'
    field = page.driver.find_element(By.ID, "add-app-name")
    field.send_keys(name)
    field.submit()
    wait_until(f"{name}'s window in front", lambda: page.script(
        "return Array.from(document.querySelectorAll('#windows .window:not([hidden])'))"
        ".sort((a, b) => b.style.zIndex - a.style.zIndex).map((w) => w.dataset.application);")[0:1] == [name])
    check(page.active_application() == name, f"{name} is not active")
    titles = page.script(
        "return Array.from(document.querySelectorAll('#dock .dock-item'), (i) => i.dataset.title);")
    # Applications before the separator; the demo's folder after it, before the Trash.
    check(titles[-4:] == [name, "", "Downloads", "Trash"], f"the Dock's items end {titles[-4:]}")
    check(field.get_attribute("value") == "", "the field keeps the name after the application came")
    check(any(a["name"] == name for a in program.desktop()["applications"]), f"the session has no {name}")


def the_inspector_and_the_dock_labels(page):
    page.hover(dock_item("TextEdit"))
    wait_until(
        "the inspector to describe TextEdit's Dock item",
        lambda: "AXApplicationDockItem" in page.text("#inspector-facts")
        and "TextEdit" in page.text("#inspector-facts"),
    )
    label = dock_item("TextEdit") + " .dock-label"
    wait_until(
        "TextEdit's title over its Dock item",
        lambda: page.script(f"return getComputedStyle(document.querySelector('{label}')).opacity") == "1",
    )


def every_control_has_a_name(page):
    unnamed = page.script(
        """
        const named = (node) =>
          (node.getAttribute("aria-label") || "").trim() !== "" ||
          (node.textContent || "").trim() !== "" ||
          (node.labels && node.labels.length > 0) ||
          (node.getAttribute("aria-labelledby") || "") !== "";
        return Array.from(document.querySelectorAll("button, input, [role=button], [role=checkbox]"))
          .filter((node) => !node.closest("[hidden]") && !named(node))
          .map((node) => node.outerHTML.slice(0, 120));
        """
    )
    check(unnamed == [], f"controls without a name for a screen reader: {unnamed}")


def client_point(page, x, y):
    """The browser's point over the session's point x,y."""
    left, top, scale = page.script(
        "const box = document.getElementById('screen').getBoundingClientRect();"
        "return [box.left, box.top, box.width / 1440];")
    return round(left + x * scale), round(top + y * scale)


def frame_of(program, title):
    return next(((w["x"], w["y"], w["w"], w["h"]) for w in program.desktop()["windows"]
                 if w["title"] == title and w["onScreen"]), None)


def dragging_a_window_by_its_title_bar(page, program):
    x, y, w, h = frame_of(program, "Notes.txt")
    start = client_point(page, x + w / 2, y + 14)
    end = client_point(page, x + w / 2 - 200, y + 14 + 120)
    builder, pointer = page.pointer()
    pointer.move_to_location(*start).pointer_down()
    for step in (1, 2, 3, 4):  # the moves a hand makes on its way
        pointer.move_to_location(start[0] + (end[0] - start[0]) * step // 4,
                                 start[1] + (end[1] - start[1]) * step // 4)
    pointer.pointer_up()
    builder.perform()
    moved = wait_until("the session to move Notes.txt",
                       lambda: (frame_of(program, "Notes.txt") or (x, y))[:2] != (x, y)
                       and frame_of(program, "Notes.txt"))
    check(abs(moved[0] - (x - 200)) <= 2 and abs(moved[1] - (y + 120)) <= 2 and moved[2:] == (w, h),
          f"Notes.txt went from {x},{y} to {moved}, not by -200,+120")
    wait_until("the page to draw it there", lambda: page.script(
        f"return JSON.parse(document.querySelector('{windows_of('TextEdit')}').dataset.frame);")
        == list(moved))
    check(page.active_application() == "TextEdit", "the drag did not make TextEdit active")
    page.screenshot("window-dragged")


def minimising_and_restoring_a_window(page, program):
    page.click(windows_of("TextEdit") + " .traffic-light.minimize")
    item = '#dock .dock-item[data-subrole="AXMinimizedWindowDockItem"]'
    wait_until("Notes.txt to wait in the Dock",
               lambda: page.count(windows_of("TextEdit")) == 0 and page.count(item) == 1)
    page.screenshot("window-minimised")
    check(next(w for w in program.desktop()["windows"] if w["title"] == "Notes.txt")["minimized"],
          "the session does not say Notes.txt is minimised")
    subroles = page.script(
        "return Array.from(document.querySelectorAll('#dock .dock-item'), (i) => i.dataset.subrole);")
    check(set(subroles[subroles.index("AXMinimizedWindowDockItem") + 1:]) <= {"AXTrashDockItem"},
          f"the minimised window is not at the Dock's right, before the Trash: {subroles}")
    page.click(item)
    wait_until("Notes.txt to come back",
               lambda: page.count(windows_of("TextEdit")) == 1 and page.count(item) == 0)
    check(page.active_application() == "TextEdit", "TextEdit is not active with its window back")


def switching_applications_with_command_tab(page):
    """Control stands in for Command; Control-` for Command-Tab, which browsers keep."""
    activate_by_its_window(page, "Safari")
    activate_by_its_window(page, "TextEdit")
    ActionChains(page.driver).key_down(Keys.CONTROL).send_keys("`").perform()
    chosen = ".switcher:not([hidden]) .switcher-item.chosen"
    wait_until("the switcher to be drawn with Safari chosen",
               lambda: page.count(chosen) == 1 and page.text(chosen) == "Safari")
    page.screenshot("application-switcher")
    check(page.active_application() == "TextEdit", "the switcher activated before Control came up")
    ActionChains(page.driver).key_up(Keys.CONTROL).perform()
    wait_until("Safari to be active and the switcher gone",
               lambda: page.active_application() == "Safari" and page.count(".switcher[hidden]") == 1)


def settings_text(page):
    return page.text('#windows .window.settings [role="status"]')


def chord(page, key):
    """Control-KEY, which the page sends as Command-KEY, typed on the screen."""
    ActionChains(page.driver).key_down(Keys.CONTROL).send_keys(key).key_up(Keys.CONTROL).perform()


def journey_turning_access_on(page, program):
    """Quenfold's first launch, without access, to a Quenfold that hides, by hand."""
    page.driver.find_element(By.ID, "access").click()
    wait_until("access to be off", lambda: program.desktop()["access"] is False)
    launch_quenfold(page, program)
    check("is OFF" in settings_text(page), f"the window says {settings_text(page)!r}")
    page.click('#windows .window.settings .push-button[data-action="openUniversalAccessPref:"]')
    preferences = windows_of("System Preferences")
    wait_until("the Universal Access pane", lambda: page.count(preferences + " .ax-checkbox") == 1)
    page.click(preferences + " .ax-checkbox .checkbox")
    wait_until("access to be on", lambda: program.desktop()["access"] is True)
    check("is OFF" in settings_text(page), "the running Quenfold saw access change")
    wait_until("the panel's switch to show access on",
               lambda: page.script("return document.getElementById('access').checked;"))
    time.sleep(0.2)  # the switch slides over in 120 ms
    page.screenshot("access-turned-on")
    page.click(preferences + " .traffic-light.close")
    wait_until("System Preferences' window to close", lambda: page.count(preferences) == 0)
    keeping_in_the_dock(page, "Quenfold")
    page.click("#windows .window.settings .titlebar-title")
    wait_until("Quenfold to be active", lambda: page.active_application() == "Quenfold")
    chord(page, "q")
    wait_until("Quenfold's kept item without its process",
               lambda: page.text("#quenfold-state") != "Running"
               and page.count(dock_item("Quenfold")) == 1
               and page.count(dock_item("Quenfold") + ".running") == 0)
    page.click(dock_item("Quenfold"))
    wait_until("Quenfold to run again", lambda: page.text("#quenfold-state") == "Running")
    wait_until("the new launch to find access on", lambda: page.count("#windows .window.settings")
               and "is ON." in settings_text(page))
    hiding_the_active_application_from_its_dock_item(page, program)
    unhiding_from_the_panel(page, program)


def journey_launching_at_login(page, program):
    """Launch at login and no Dock icon, through a logout and a login by hand."""
    page.driver.set_window_size(1440, 960)
    page.driver.find_element(By.ID, "reopen").click()  # the settings window in front
    launch_box = '#windows .window.settings .checkbox[data-preference="LaunchAutomaticallyOnLogin"]'
    page.click(launch_box)
    wait_until("the login item", lambda: program.desktop()["loginItems"])
    check(program.desktop()["preferences"].get("HideDockIcon") is True, "HideDockIcon is not ticked")
    page.click("#apple-menu")
    wait_until("the Apple menu", lambda: page.count(".apple-menu-list:not([hidden])") == 1)
    page.screenshot("apple-menu")
    page.click(".apple-menu-list .apple-menu-item:last-child")
    wait_until("the login window", lambda: program.desktop()["loggedOut"]
               and page.count(".login-window:not([hidden])") == 1)
    page.screenshot("logged-out")
    page.click(".login-window .login-button")
    wait_until("Quenfold to run after the login", lambda: program.desktop()["quenfold"]["state"] == "running")
    check(not program.desktop()["quenfold"]["dockIcon"], "Quenfold shows its Dock icon")
    check(page.count(dock_item("Quenfold") + ".running") == 0, "the Dock draws a running Quenfold")
    field = page.driver.find_element(By.ID, "add-app-name")
    field.send_keys("Safari")
    field.submit()
    wait_until("Safari's window", lambda: page.count(windows_of("Safari")) == 1)
    activate_by_its_window(page, "Safari")
    page.click(dock_item("Safari"))
    wait_until("Safari to hide", lambda: page.count(windows_of("Safari")) == 0)
    check(program.desktop()["quenfold"]["hideRequests"] == 1, "Quenfold sent no hide request")
    page.screenshot("logged-in-again")

def idle_silence(page):
    """An idle page asks nothing: its one request is the event stream, open all along."""
    # The browser keeps a bounded number of entries: they are cleared first, so that one more
    # would show.
    page.script("performance.clearResourceTimings();")
    time.sleep(3)
    made = page.script("return performance.getEntriesByType('resource').map((entry) => entry.name);")
    check(made == [], f"the idle page made requests in 3 s: {made}")


def two_tabs(page, program):
    """A second tab on the session sees the first tab's clicks at once, and the first tab says
    another tab drives the hand."""
    first = page.driver.current_window_handle
    page.driver.switch_to.new_window("tab")
    page.driver.get(program.address)
    wait_until("the second tab's Dock", lambda: page.count("#dock .dock-item") >= 3)
    second = page.driver.current_window_handle
    activate_by_its_window(page, "Safari")
    page.click(dock_item("Safari"))
    page.driver.switch_to.window(first)
    wait_until("the first tab to show Safari hidden", lambda: page.count(windows_of("Safari")) == 0)
    wait_until("the first tab to say another tab drives the hand",
               lambda: "Another tab is driving the hand" in page.text("#alerts"))
    page.driver.switch_to.window(second)
    page.element('button[aria-label="Unhide Safari"]').click()
    page.driver.close()
    page.driver.switch_to.window(first)
    wait_until("the first tab to show Safari again", lambda: page.count(windows_of("Safari")) == 1)


def reconnecting_after_a_restart(page, program, path, home, output):
    """The server stops: the page greys the desktop under one banner, however often it is
    clicked; a server back on the same port is found by itself, and named a new session."""
    check(program.stop() == 0, "the program did not end with 0")
    banner = "The live desktop does not answer"
    wait_until("the page to say the server does not answer", lambda: banner in page.text("#alerts"))
    check(page.count("#screen.disconnected") == 1, "the desktop is not greyed")
    for _ in range(3):
        page.driver.execute_script("document.querySelector('#dock .dock-item').click();")
    time.sleep(0.5)
    check(page.text("#alerts").count(banner) == 1, "more than one message for the lost server")
    page.driver.save_screenshot(os.path.join(output, "live-desktop-disconnected.png"))
    restarted = Program(path, home, program.port)
    try:
        wait_until("the page to connect again", lambda: page.count("#screen.disconnected") == 0,
                   patience=20)
        wait_until("the page to name a new session", lambda: "A new session" in page.text("#alerts"))
        page.driver.save_screenshot(os.path.join(output, "live-desktop-new-session.png"))
        check(banner not in page.text("#alerts"), "the lost-server banner stays")
        page.click(dock_item("TextEdit"))
        wait_until("a click to reach the new session",
                   lambda: any("> the user releases" in line for line in restarted.story))
    finally:
        check(restarted.stop() == 0, "the restarted program did not end with 0")


def measure_clicks(page):
    """Milliseconds from each mouse-up to the frame that shows the desktop its answer brought, and
    of the page's own work on each change of the desktop (received → its elements updated), as
    the page measures them, over
    clicks alternating between two Dock items (each release activates the other application,
    so each one changes the desktop)."""
    page.script("for (const name of ['Timings', 'ClickParts', 'Work']) window['__quenfold' + name].length = 0;")
    page.script("performance.clearResourceTimings(); performance.setResourceTimingBufferSize(1000);")
    load_before = os.getloadavg()[0]
    targets = [page.point_of(dock_item(name)) for name in ("Safari", "TextEdit")]
    for index in range(kMeasuredClicks):
        x, y = targets[index % 2]
        # A person's pointer comes to rest before the press: the move is sent and answered
        # first, as it would be, and is not counted in the click.
        builder, pointer = page.pointer()
        pointer.move_to_location(x, y)
        builder.perform()
        time.sleep(0.1)
        # A person's click holds the button for a while: the press's answer is back before the
        # release, as it would be.
        builder, pointer = page.pointer()
        pointer.pointer_down()
        builder.perform()
        time.sleep(kClickHold)
        builder, pointer = page.pointer()
        pointer.pointer_up()
        builder.perform()
        wait_until(
            f"click {index + 1} to be redrawn",
            lambda: page.script("return window.__quenfoldTimings.length;") > index,
        )
    # The hand's actions went as the socket's messages, not as requests.
    requests = page.script(
        "return performance.getEntriesByType('resource').filter((e) => e.name.endsWith('/api/hand')).length;")
    check(requests == 0, f"{requests} of the clicks' actions went as requests, not on the hand's socket")
    timings = sorted(page.script("return window.__quenfoldTimings;"))
    check(len(timings) == kMeasuredClicks, f"{len(timings)} timings for {kMeasuredClicks} clicks")
    percentiles = statistics.quantiles(timings, n=100, method="inclusive")
    work = statistics.quantiles(page.script("return window.__quenfoldWork;"), n=100, method="inclusive")
    parts = page.script("return window.__quenfoldClickParts;")
    return {"clicks": len(timings), "p50": percentiles[49], "p99": percentiles[98],
            "max": timings[-1], "work_p50": work[49], "work_p99": work[98],
            **{f"{part}_p50": statistics.median(p[part] for p in parts) for part in ("waiting", "arriving", "frame", "drawing")},
            "load": max(load_before, os.getloadavg()[0])}


def one_frame_per_click(page, output):
    """Measures the clicks and reports the figures beside the load average, for the targets
    (mouse-up to redrawn p50 16 ms, p99 33 ms; the page's work p99 4 ms) on an idle machine. They
    are not asserted: a timing depends on the machine and what else runs there, and every click
    has been drawn by the time it is measured."""
    figures = measure_clicks(page)
    report = (f"mouse-up to redrawn desktop over {figures['clicks']} clicks: "
              f"p50 {figures['p50']:.1f} ms, p99 {figures['p99']:.1f} ms, max {figures['max']:.1f} ms; "
              f"medians of its parts: the release waiting {figures['waiting_p50']:.1f} ms, "
              f"its changes arriving {figures['arriving_p50']:.1f} ms, the next frame's start "
              f"{figures['frame_p50']:.1f} ms, its drawing {figures['drawing_p50']:.1f} ms; "
              f"the page's own work p50 {figures['work_p50']:.2f} ms, p99 {figures['work_p99']:.2f} ms; "
              f"load average {figures['load']:.2f} on {os.cpu_count()} processors")
    print(report, flush=True)
    with open(os.path.join(output, "click-latency.txt"), "w") as out:
        out.write(report + "\n")


def saving_and_replaying_the_recording(page, program, downloads, replay_home):
    page.driver.find_element(By.ID, "save-recording").click()
    saved = os.path.join(downloads, "quenfold-session.desk")
    wait_until("the recording to be downloaded", lambda: os.path.exists(saved))
    text = open(saved, encoding="utf-8").read()
    for expected in ("\npress ", "\nrelease ", "clicks=2", "\naccess off\n", "\naccess on\n"):
        check(expected in text, f"the recording holds no {expected.strip()!r}")
    replay = subprocess.run(
        [program.process.args[0], "-SimulatedDesktop", saved, "-SimulatedHome", replay_home],
        capture_output=True,
        text=True,
        timeout=120,
    )
    check(replay.returncode == 0,
          f"the recording replays to exit {replay.returncode}: {replay.stderr.strip()[-2000:]}")
    return saved


kSmallestScreenText = """
const screen = document.getElementById("screen");
const scale = screen.getBoundingClientRect().width / screen.offsetWidth;
let smallest = Infinity;
const walker = document.createTreeWalker(screen, NodeFilter.SHOW_TEXT);
for (let node = walker.nextNode(); node; node = walker.nextNode()) {
  const holder = node.parentElement;
  if (node.textContent.trim() === "" || holder.getClientRects().length === 0) continue;
  const style = getComputedStyle(holder);
  if (style.visibility === "hidden" || holder.closest(".visually-hidden")) continue;
  smallest = Math.min(smallest, parseFloat(style.fontSize) * scale);
}
return smallest;
"""


def screenshots(page, output):
    """The page from the narrowest width it is made for to a wide one (and, where the panel is
    below the screen, scrolled down to it): no horizontal scroll bar, the desktop's text readable
    from 1280 × 800, the screen beside the panel only where it fits the window's height."""
    shots = []
    for width, height in ((800, 600), (1024, 768), (1280, 800), (1680, 1050)):
        page.driver.set_window_size(width, height)
        page.hover(dock_item("TextEdit"))
        wait_until("the page to fit the new size", lambda: page.script(
            "const box = document.getElementById('display').getBoundingClientRect();"
            "return box.right <= window.innerWidth && box.width > 0;"))
        time.sleep(0.5)
        overflow = page.script("return document.documentElement.scrollWidth - window.innerWidth;")
        check(overflow <= 0, f"at {width} px the page is {overflow} px wider than the window")
        if width >= 1280:
            smallest = page.script(kSmallestScreenText)
            check(smallest >= 10, f"at {width} px the desktop's smallest text is {smallest:.1f} px")
        taller = page.script("return document.documentElement.scrollHeight - window.innerHeight;")
        check(width < 1680 or taller <= 0, f"at {width} px the page is {taller} px taller than the window")
        views = [("", 0)] + ([("-panel", taller)] if taller > 0 else [])
        for suffix, top in views:
            page.script(f"window.scrollTo(0, {top});")
            shot = os.path.join(output, f"live-desktop-{width}{suffix}.png")
            check(page.driver.save_screenshot(shot), f"no screenshot at {shot}")
            shots.append(shot)
    page.script("window.scrollTo(0, 0);")
    return shots


def zooming_enlarges_the_desktop(page):
    """At 1680 px, browser zoom to 150 % (a 1120 px wide page on 1.5 device pixels a CSS pixel)
    draws the desktop larger on the display than at 100 %."""
    width = lambda: page.script("return document.getElementById('display').getBoundingClientRect().width;")
    page.driver.set_window_size(1680, 1050)
    time.sleep(0.5)
    unzoomed = width()
    page.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                {"width": 1120, "height": 700, "deviceScaleFactor": 1.5, "mobile": False})
    try:
        wait_until("the page to fit the zoomed size", lambda: width() * 1.5 > unzoomed * 1.2)
    finally:
        page.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def no_serious_accessibility_violation(page, axe):
    """axe-core, run in the page, finds nothing serious or critical."""
    page.driver.set_window_size(1280, 800)
    with open(axe, encoding="utf-8") as engine:
        page.script(engine.read())
    page.driver.set_script_timeout(60)
    results = page.driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "axe.run(document, {resultTypes: ['violations']}).then((r) => done(r.violations),"
        " (e) => done([{id: 'axe failed', impact: 'critical', help: String(e), nodes: []}]));")
    serious = [f"{v['id']} ({v['impact']}): {v['help']} at "
               + ", ".join(n["target"][0] for n in v["nodes"][:3] if n.get("target"))
               for v in results if v["impact"] in ("serious", "critical")]
    check(serious == [], "axe-core finds: " + "; ".join(serious))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--axe", required=True, help="axe-core's axe.min.js (scripts/setup installs it)")
    arguments = parser.parse_args()
    os.makedirs(arguments.output, exist_ok=True)

    try:
        chromium = find_browser()
        check(os.path.isfile(arguments.axe), f"no axe-core at {arguments.axe}: scripts/setup installs it")
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory(prefix="quenfold-browser-") as scratch:
        folders = {name: os.path.join(scratch, name) for name in ("home", "replay", "profile", "downloads")}
        for folder in folders.values():
            os.makedirs(folder)
        program = Program(arguments.program, folders["home"])
        driver = None
        step = "starting Chromium"
        try:
            driver = open_browser(chromium, folders["profile"], folders["downloads"])
            driver.set_window_size(1680, 1050)
            driver.get(program.address)
            page = Page(driver, arguments.output)
            page.program = program
            wait_until("the Dock to be drawn", lambda: page.count("#dock .dock-item") >= 3)
            steps = [
                ("the journey from a launch without access",
                 lambda: journey_turning_access_on(page, program)),
                ("double clicking a Dock item", lambda: double_clicking_a_dock_item_hides_nothing(page, program)),
                ("the story's what and why", lambda: the_story_says_what_and_why(page, program)),
                ("clicking from the keyboard", lambda: clicking_from_the_keyboard(page)),
                ("dragging a window by its title bar", lambda: dragging_a_window_by_its_title_bar(page, program)),
                ("minimising and restoring a window", lambda: minimising_and_restoring_a_window(page, program)),
                ("switching applications with Command-Tab", lambda: switching_applications_with_command_tab(page)),
                ("the Dock's menu by a right click and a held press",
                 lambda: the_dock_menu_by_a_right_click_and_a_held_press(page, program, arguments.output)),
                ("ticking HideDockIcon", lambda: ticking_hide_dock_icon(page, program)),
                ("two quick clicks on each switch", lambda: every_click_counts(page, program)),
                ("adding an application", lambda: adding_an_application_from_the_panel(page, program)),
                ("the inspector and the Dock's labels", lambda: the_inspector_and_the_dock_labels(page)),
                ("naming every control", lambda: every_control_has_a_name(page)),
                ("an idle page asks nothing", lambda: idle_silence(page)),
                ("two tabs on one session", lambda: two_tabs(page, program)),
            ]
            for step, run in steps:
                run()
                print(f"ok: {step}", flush=True)
            step = "measuring clicks"
            one_frame_per_click(page, arguments.output)
            step = "saving and replaying the recording"
            saved = saving_and_replaying_the_recording(page, program, folders["downloads"], folders["replay"])
            shutil.copy(saved, os.path.join(arguments.output, "recording.desk"))
            print(f"ok: {step}", flush=True)
            step = "taking screenshots"
            for shot in screenshots(page, arguments.output):
                print(f"screenshot: {shot}", flush=True)
            step = "zooming"
            zooming_enlarges_the_desktop(page)
            step = "checking accessibility with axe-core"
            no_serious_accessibility_violation(page, arguments.axe)
            step = "the journey through a logout and a login"
            journey_launching_at_login(page, program)
            print(f"ok: {step}", flush=True)
            errors = [entry["message"] for entry in driver.get_log("browser")
                      if entry["level"] == "SEVERE"]
            check(errors == [], f"the page's console has errors: {errors}")
            step = "reconnecting after a restart"
            driver.set_window_size(1440, 960)
            reconnecting_after_a_restart(page, program, arguments.program, folders["home"], arguments.output)
            print(f"ok: {step}", flush=True)
        except (Failure, WebDriverException) as failure:
            message = failure.msg if isinstance(failure, WebDriverException) else str(failure)
            print(f"FAIL while {step}: {message}", file=sys.stderr)
            if driver is not None:
                driver.save_screenshot(os.path.join(arguments.output, "failure.png"))
                for entry in driver.get_log("browser"):
                    print(f"console: {entry['level']} {entry['message']}", file=sys.stderr)
            print("story:\n" + "\n".join(program.story[-40:]), file=sys.stderr)
            return 1
        finally:
            if driver is not None:
                driver.quit()
            status = program.stop()
        if status != 0:
            print(f"FAIL: the program exited {status} on SIGTERM: {program.process.stderr.read()}",
                  file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
