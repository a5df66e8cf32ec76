#!/usr/bin/python3
"""The live desktop's page in a real browser: Debian's Chromium, headless, driven through
WebDriver. It starts the program on a free port, uses the page with the mouse as a person would
(real pointer events, not calls into the page's code) and checks what the page draws, what the
story tells and what the session's JSON holds. It measures, in the page, the time from each
mouse-up to the redrawn desktop over 200 clicks, saves the recording and replays it as a desktop
script, and leaves screenshots of the page in the output folder.

    LiveDesktopInBrowser.py --program build/Quenfold.app/Contents/MacOS/Quenfold --output DIR
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


# A point of the browser's window where `selector`'s first element is what the pointer would
# hit: its middle when nothing covers it, otherwise the first uncovered point of a grid over it
# (at `fraction` of the way down when given). Null when none is uncovered or there is none.
kVisiblePoint = """
const [selector, fraction] = arguments;
const target = document.querySelector(selector);
if (!target) return null;
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
    def __init__(self, driver):
        self.driver = driver

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
    page.driver.find_element(By.CSS_SELECTOR, 'button[aria-label="Unhide Safari"]').click()
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
    page.driver.find_element(By.CSS_SELECTOR, 'button[aria-label="Unhide Safari"]').send_keys(Keys.SPACE)
    wait_until("Safari's window to come back", lambda: page.count(windows_of("Safari")) == 1)


def ticking_hide_dock_icon(page, program):
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


def adding_an_application_from_the_panel(page, program):
    """A name with a blank and a quote reaches the session as one word."""
    name = 'Photo "Booth"'
    field = page.driver.find_element(By.ID, "add-app-name")
    field.send_keys(name)
    field.submit()
    wait_until(f"{name}'s window", lambda: page.script(
        "return Array.from(document.querySelectorAll('#windows .window:not([hidden])'),"
        " (w) => w.dataset.application);") [0:1] == [name])
    check(page.active_application() == name, f"{name} is not active")
    check(page.script(
        "return Array.from(document.querySelectorAll('#dock .dock-item'), (i) => i.dataset.title);"
    )[-1] == name, f"the Dock has no item for {name} at its end")
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
    page.driver.find_element(By.CSS_SELECTOR, 'button[aria-label="Unhide Safari"]').click()
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
    of the page's own work on each answer (received → drawn), as the page measures them, over
    clicks alternating between two windows (each one activates an application, so each one
    changes the desktop)."""
    page.script("for (const name of ['Timings', 'ClickParts', 'Work']) window['__quenfold' + name].length = 0;")
    load_before = os.getloadavg()[0]
    targets = [page.point_of(windows_of(name), 0.6) for name in ("Safari", "TextEdit")]
    for index in range(kMeasuredClicks):
        x, y = targets[index % 2]
        # A person's pointer comes to rest before the press: the move is sent and answered
        # first, as it would be, and is not counted in the click.
        builder, pointer = page.pointer()
        pointer.move_to_location(x, y)
        builder.perform()
        time.sleep(0.1)
        builder, pointer = page.pointer()
        pointer.click()
        builder.perform()
        wait_until(
            f"click {index + 1} to be redrawn",
            lambda: page.script("return window.__quenfoldTimings.length;") > index,
        )
    timings = sorted(page.script("return window.__quenfoldTimings;"))
    check(len(timings) == kMeasuredClicks, f"{len(timings)} timings for {kMeasuredClicks} clicks")
    percentiles = statistics.quantiles(timings, n=100, method="inclusive")
    work = statistics.quantiles(page.script("return window.__quenfoldWork;"), n=100, method="inclusive")
    parts = page.script("return window.__quenfoldClickParts;")
    return {"clicks": len(timings), "p50": percentiles[49], "p99": percentiles[98],
            "max": timings[-1], "work_p50": work[49], "work_p99": work[98],
            **{f"{part}_p50": statistics.median(p[part] for p in parts) for part in ("waiting", "request", "frame", "drawing")},
            "load": max(load_before, os.getloadavg()[0])}


def one_frame_per_click(page, output):
    """The targets (mouse-up to redrawn p50 16 ms, p99 33 ms; the page's work p99 4 ms) hold on a
    machine otherwise idle: there a miss is measured once more before it fails. On a busy one (the
    CI machine's two cores are shared) the figures are only reported, and a click not drawn
    within half a second at the median fails anywhere."""
    reports = []
    for _ in range(2):
        figures = measure_clicks(page)
        report = (f"mouse-up to redrawn desktop over {figures['clicks']} clicks: "
                  f"p50 {figures['p50']:.1f} ms, p99 {figures['p99']:.1f} ms, max {figures['max']:.1f} ms; "
                  f"medians of its parts: the release waiting {figures['waiting_p50']:.1f} ms, "
                  f"its request {figures['request_p50']:.1f} ms, the next frame's start "
                  f"{figures['frame_p50']:.1f} ms, its drawing {figures['drawing_p50']:.1f} ms; "
                  f"the page's own work p50 {figures['work_p50']:.2f} ms, p99 {figures['work_p99']:.2f} ms; "
                  f"load average {figures['load']:.2f} on {os.cpu_count()} processors")
        print(report, flush=True)
        reports.append(report + "\n")
        with open(os.path.join(output, "click-latency.txt"), "w") as out:
            out.writelines(reports)
        check(figures["p50"] <= 500, f"clicks are not drawn within half a second: {report}")
        idle = figures["load"] < 1.0
        if not idle or (figures["p50"] <= 16 and figures["p99"] <= 33 and figures["work_p99"] <= 4):
            return
    raise Failure(f"on an idle machine, clicks slower than p50 16 ms, p99 33 ms, work p99 4 ms: {report}")


def saving_and_replaying_the_recording(page, program, downloads, replay_home):
    page.driver.find_element(By.ID, "save-recording").click()
    saved = os.path.join(downloads, "quenfold-session.desk")
    wait_until("the recording to be downloaded", lambda: os.path.exists(saved))
    text = open(saved, encoding="utf-8").read()
    for expected in ("\npress ", "\nrelease ", "clicks=2", "\nsettings set HideDockIcon on\n"):
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


def screenshots(page, output):
    """The page at the narrowest width it is made for and at a wide one."""
    shots = []
    for width, height in ((1024, 768), (1680, 1050)):
        page.driver.set_window_size(width, height)
        page.hover(dock_item("TextEdit"))
        wait_until("the page to fit the new size", lambda: page.script(
            "const box = document.getElementById('display').getBoundingClientRect();"
            "return box.right <= window.innerWidth && box.width > 0;"))
        time.sleep(0.5)
        shot = os.path.join(output, f"live-desktop-{width}.png")
        check(page.driver.save_screenshot(shot), f"no screenshot at {shot}")
        shots.append(shot)
        overflow = page.script("return document.documentElement.scrollWidth - window.innerWidth;")
        check(overflow <= 0, f"at {width} px the page is {overflow} px wider than the window")
        # Only the panel scrolls; a page taller than the window shows a second scroll bar.
        overflow = page.script("return document.documentElement.scrollHeight - window.innerHeight;")
        check(overflow <= 0, f"at {width} px the page is {overflow} px taller than the window")
    return shots


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--output", required=True)
    arguments = parser.parse_args()
    os.makedirs(arguments.output, exist_ok=True)

    try:
        chromium = find_browser()
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
            driver.set_window_size(1440, 960)
            driver.get(program.address)
            page = Page(driver)
            wait_until("the Dock to be drawn", lambda: page.count("#dock .dock-item") >= 3)
            steps = [
                ("launching Quenfold from the panel", lambda: launch_quenfold(page, program)),
                ("hiding the active application from its Dock item",
                 lambda: hiding_the_active_application_from_its_dock_item(page, program)),
                ("unhiding it from the panel", lambda: unhiding_from_the_panel(page, program)),
                ("double clicking a Dock item", lambda: double_clicking_a_dock_item_hides_nothing(page, program)),
                ("clicking from the keyboard", lambda: clicking_from_the_keyboard(page)),
                ("ticking HideDockIcon", lambda: ticking_hide_dock_icon(page, program)),
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
