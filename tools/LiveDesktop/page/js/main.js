// The live desktop's page: draws the session's desktop, sends the mouse to it as it happens,
// and keeps the panel up to date. The desktop is redrawn from every answer of the server and
// from what it reports between requests (timers, deferred hides), read every few hundred ms.

import { ActionQueue, ServerError, request } from "./api.js";
import { Alerts, Inspector, QuenfoldCard, Story, WorldCard } from "./panel.js";
import { Screen, kScreenHeight, kScreenWidth } from "./screen.js";
import { SystemMenu } from "./systemmenu.js";

const kPollInterval = 400;
const kHiddenPollInterval = 2000;
const kInspectInterval = 60;

// Milliseconds from each mouse-up to the first frame that shows the desktop the release's
// answer brought, for measurements.
const timings = [];
window.__quenfoldTimings = timings;

const screenElement = document.getElementById("screen");
const screen = new Screen(screenElement);
const systemMenu = new SystemMenu(screenElement, (text) => runScript(text));
const alerts = new Alerts(document.getElementById("alerts"));
// The page keeps the story's recent lines only: every line laid out again costs each redraw a
// little more. The whole story goes to the program's standard output.
const story = new Story(document.getElementById("story"), { limit: 300 });
const inspector = new Inspector(document);
const queue = new ActionQueue();
const quenfoldCard = new QuenfoldCard(document, (text) => runScript(text));
const worldCard = new WorldCard(document, runScript, complain, toggle);

let desktop = null;
let storyNext = 0;
let lastPoint = null;

function complain(failure) {
  const message = failure instanceof Error ? failure.message : String(failure);
  alerts.show(message);
}

// --- Drawing

function show(answer) {
  if (!answer || (desktop && answer.version < desktop.version)) {
    return;
  }
  const changed = !desktop || answer.version !== desktop.version;
  desktop = answer;
  document.getElementById("session-time").textContent = `session ${formatTime(answer.time)}`;
  if (changed) {
    screen.render(desktop);
    systemMenu.render(desktop);
    quenfoldCard.render(desktop);
    worldCard.render(desktop);
    if (lastPoint) {
      inspectAt(lastPoint);
    }
  }
}

function formatTime(seconds) {
  const whole = Math.floor(seconds);
  const minutes = Math.floor(whole / 60);
  return `${minutes}:${String(whole % 60).padStart(2, "0")}`;
}

// Runs `work` once the browser has drawn the next frame: an animation frame callback runs before
// the frame is painted, a task queued from it runs after.
function afterNextFrame(work) {
  requestAnimationFrame(() => setTimeout(() => work(performance.now()), 0));
}

// --- The story, read after every action and every poll; one reading at a time.

let storyReading = null;
let storyAgain = false;

async function readStory() {
  if (storyReading) {
    storyAgain = true;
    return storyReading;
  }
  storyReading = (async () => {
    do {
      storyAgain = false;
      const answer = await request(`/api/story?since=${storyNext}`);
      if (answer.next < storyNext) {
        // Another session serves at this address now: start again from its beginning.
        window.location.reload();
        return;
      }
      storyNext = answer.next;
      story.append(answer.lines);
    } while (storyAgain);
  })();
  try {
    await storyReading;
  } finally {
    storyReading = null;
  }
}

// --- Statements and the hand, in order

// Runs desktop-script statements after everything queued before them; `done` runs when they
// ran to their end.
function runScript(text, done) {
  runStatements("/api/script", { text }, done);
}

// A switch of the world turned over from what it is when the session handles the request.
function toggle(what) {
  runStatements("/api/toggle", { what });
}

function runStatements(path, body, done) {
  queue.push({
    move: false,
    run: async () => {
      try {
        const answer = await request(path, { method: "POST", body });
        show(answer.desktop);
        if (!answer.ok) {
          alerts.show(`Line ${answer.line} did not hold: ${answer.message}`);
        } else if (done) {
          done();
        }
      } catch (failure) {
        complain(failure);
      }
      readStory().catch(complain);
    },
  });
}

function modifiersOf(event) {
  const mods = [];
  if (event.ctrlKey) mods.push("control");
  if (event.metaKey) mods.push("command");
  if (event.shiftKey) mods.push("shift");
  if (event.altKey) mods.push("option");
  if (event.getModifierState && event.getModifierState("CapsLock")) mods.push("caps");
  if (event.getModifierState && event.getModifierState("Fn")) mods.push("fn");
  return mods;
}

function sendHand(action, point, mods, answered, button) {
  const body = { action, x: point.x, y: point.y };
  if (mods && mods.length) {
    body.mods = mods;
  }
  if (button) {
    body.button = button;
  }
  queue.push({
    move: action === "move",
    run: async () => {
      try {
        const answer = await request("/api/hand", { method: "POST", body });
        show(answer);
        if (answered) {
          answered(answer);
        }
      } catch (failure) {
        complain(failure);
      }
      if (action !== "move") {
        readStory().catch(complain);
      }
    },
  });
}

// What a control of the settings window does when the user clicks it, as a statement: only the
// close button, which is no accessibility element; the check boxes and buttons are, and take the
// hand's own click, so that each click acts on what the session shows when it handles it.
function statementFor(control) {
  return control.dataset.control === "close" ? "settings close" : null;
}

// --- The mouse on the screen

let buttonDown = false;
let pressedControl = null;
let pressedMarks = [];

function markPressed(target) {
  const marked = target.closest(".dock-item, .checkbox, .push-button");
  pressedMarks = marked ? [marked] : [];
  for (const node of pressedMarks) node.classList.add("pressed");
}

function unmarkPressed() {
  for (const node of pressedMarks) node.classList.remove("pressed");
  pressedMarks = [];
}

screenElement.addEventListener("pointerdown", (event) => {
  // The Apple menu and the login window are the page's own: their presses stay on the page.
  if (event.button !== 0 || !event.isPrimary || buttonDown || event.target.closest("[data-page-ui]")) {
    return;
  }
  // The page does not select text or move focus: the press belongs to the simulated desktop.
  event.preventDefault();
  screenElement.setPointerCapture(event.pointerId);
  buttonDown = true;
  const point = screen.pointAt(event.clientX, event.clientY);
  lastPoint = point;
  pressedControl = event.target.closest("[data-control]");
  markPressed(event.target);
  sendHand("press", point, modifiersOf(event));
});

screenElement.addEventListener("pointermove", (event) => {
  if (!event.isPrimary) {
    return;
  }
  const point = screen.pointAt(event.clientX, event.clientY);
  if (lastPoint && point.x === lastPoint.x && point.y === lastPoint.y) {
    return;
  }
  lastPoint = point;
  sendHand("move", point, modifiersOf(event));
  inspectAt(point);
});

function release(event) {
  if (!buttonDown || !event.isPrimary) {
    return;
  }
  buttonDown = false;
  const mouseUp = event.timeStamp;
  const point = screen.pointAt(event.clientX, event.clientY);
  lastPoint = point;
  // A control acts when the button goes up over the control it went down on, as in AppKit.
  const control = pressedControl;
  const under = document.elementFromPoint(event.clientX, event.clientY);
  const acts = control && under && under.closest("[data-control]") === control;
  pressedControl = null;
  unmarkPressed();
  sendHand("release", point, modifiersOf(event), () => {
    afterNextFrame((now) => timings.push(now - mouseUp));
  });
  if (acts) {
    const statement = statementFor(control);
    if (statement) {
      runScript(statement);
    }
  }
}

screenElement.addEventListener("pointerup", (event) => {
  if (event.button === 0) {
    release(event);
  }
});
screenElement.addEventListener("pointercancel", release);
screenElement.addEventListener("contextmenu", (event) => event.preventDefault());

// A press on the screen gives it the keyboard focus (its own press handler keeps the browser
// from moving it), so that the keys that follow go to the session.
screenElement.addEventListener("pointerdown", () => {
  if (!screenElement.contains(document.activeElement)) screenElement.focus({ preventScroll: true });
});

// The right and middle buttons go to the session as the right and other buttons.
const kOtherButtons = { 1: "other", 2: "right" };
for (const [type, action] of [["pointerdown", "press"], ["pointerup", "release"]]) {
  screenElement.addEventListener(type, (event) => {
    const button = kOtherButtons[event.button];
    if (button && event.isPrimary) {
      event.preventDefault();
      sendHand(action, screen.pointAt(event.clientX, event.clientY), modifiersOf(event), null, button);
    }
  });
}

// The keyboard: a Dock item or a window's title bar is clicked with Return or Space where it has
// the focus, as is a control of the settings window (its close button sends its statement).
function clickAt(point) {
  sendHand("press", point, []);
  sendHand("release", point, []);
}

screenElement.addEventListener("click", (event) => {
  if (event.detail !== 0) {
    return;  // the pointer's clicks went to the session as they happened
  }
  const control = event.target.closest("[data-control]");
  if (control) {
    const statement = statementFor(control);
    if (statement) {
      runScript(statement);
    } else {
      const box = control.getBoundingClientRect();
      clickAt(screen.pointAt(box.left + box.width / 2, box.top + box.height / 2));
    }
    return;
  }
  const item = event.target.closest(".dock-item");
  if (item) {
    clickAt(Screen.clickPointOf(item));
  }
});

// A key the session knows, by the browser's key code: letters, digits and a few named keys.
const kNamedKeys = {
  Tab: "tab", Space: "space", Enter: "return", Escape: "escape", Backspace: "delete",
  Comma: "comma", ArrowLeft: "left", ArrowRight: "right", ArrowUp: "up", ArrowDown: "down",
};
function keyNameOf(code) {
  const match = /^(?:Key([A-Z])|Digit([0-9]))$/.exec(code);
  return match ? (match[1] || match[2]).toLowerCase() : kNamedKeys[code];
}

// A key pressed with Command, or with Control standing in for Command on a PC keyboard, goes to
// the session as a chord (Control-H is Command-H); Shift and Option (Alt) go with it.
function chordOf(event) {
  const key = keyNameOf(event.code);
  if (!key || !(event.metaKey || event.ctrlKey)) return null;
  return ["cmd", event.altKey && "option", event.shiftKey && "shift", key].filter(Boolean).join("+");
}

function sendKeys(body) {
  queue.push({
    move: false,
    run: async () => {
      try {
        show(await request("/api/hand", { method: "POST", body }));
      } catch (failure) {
        complain(failure);
      }
      readStory().catch(complain);
    },
  });
}

// Command-Tab keeps Command down: the switcher stays on screen while Command (or Control) is
// held, each Tab chooses the next application, and letting go activates the one chosen. Most
// browsers keep Control-Tab to themselves, so Control-` (the key left of 1) stands in for it.
const kSwitcherKeys = ["Tab", "Backquote"];
let switcherHeld = false;

function letGoOfSwitcher() {
  if (switcherHeld) {
    switcherHeld = false;
    sendKeys({ action: "keyup" });
  }
}

screenElement.addEventListener("keyup", (event) => {
  if (event.key === "Control" || event.key === "Meta") letGoOfSwitcher();
});
screenElement.addEventListener("blur", letGoOfSwitcher);

screenElement.addEventListener("keydown", (event) => {
  if ((event.metaKey || event.ctrlKey) && kSwitcherKeys.includes(event.code)) {
    event.preventDefault();
    switcherHeld = true;
    sendKeys({ action: "key", chord: event.shiftKey ? "cmd+shift+tab" : "cmd+tab", hold: true });
    return;
  }
  const chord = chordOf(event);
  if (chord) {
    event.preventDefault();
    sendKeys({ action: "key", chord });
    return;
  }
  if ((event.key === "Enter" || event.key === " ") && event.target.classList.contains("window")) {
    event.preventDefault();
    clickAt(Screen.clickPointOf(event.target));
  }
});

// --- The inspector: one question at a time, the newest point wins.

let inspecting = false;
let inspectWaiting = null;

async function inspectAt(point) {
  if (inspecting) {
    inspectWaiting = point;
    return;
  }
  inspecting = true;
  try {
    let next = point;
    while (next) {
      inspectWaiting = null;
      const started = performance.now();
      const answer = await request(`/api/inspect?x=${next.x}&y=${next.y}`);
      inspector.render(next, answer, desktop ? desktop.access : true);
      const rest = kInspectInterval - (performance.now() - started);
      if (rest > 0) {
        await new Promise((resolve) => setTimeout(resolve, rest));
      }
      next = inspectWaiting;
    }
  } catch (failure) {
    complain(failure);
  } finally {
    inspecting = false;
  }
}

// --- The panel's commands


document.getElementById("save-recording").addEventListener("click", () => {
  queue.push({
    move: false,
    run: async () => {
      try {
        const text = await request("/api/recording");
        const link = document.createElement("a");
        link.href = URL.createObjectURL(new Blob([text], { type: "text/plain" }));
        link.download = "quenfold-session.desk";
        document.body.append(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(link.href), 10000);
      } catch (failure) {
        complain(failure);
      }
    },
  });
});

// --- Fitting the screen into the stage

const stage = document.getElementById("stage");
const display = document.getElementById("display");
const inspectorBar = document.getElementById("inspector");

// The screen as large as the stage allows with the inspector under it, never wider than the
// stage; beside the panel not taller than the window either, while with the panel below it (a
// single column) the page scrolls, so that the screen keeps the whole width.
function fit() {
  const style = getComputedStyle(stage);
  const width = stage.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight) - 16;
  const barHeight = inspectorBar.offsetHeight + parseFloat(getComputedStyle(inspectorBar).marginTop);
  const height =
    window.innerHeight - parseFloat(style.paddingTop) - parseFloat(style.paddingBottom) - barHeight - 16;
  const beside = getComputedStyle(stage.parentElement).gridTemplateColumns.split(" ").length > 1;
  const widthScale = Math.min(1, width / kScreenWidth);
  const scale = Math.max(0.1, beside ? Math.min(widthScale, height / kScreenHeight) : widthScale);
  display.style.width = `${kScreenWidth * scale}px`;
  display.style.height = `${kScreenHeight * scale}px`;
  inspectorBar.style.width = `${kScreenWidth * scale}px`;
  screenElement.style.transform = `scale(${scale})`;
  screen.moved();
}

new ResizeObserver(fit).observe(stage);
window.addEventListener("resize", fit);
window.addEventListener("scroll", () => screen.moved(), { capture: true, passive: true });
fit();

// --- Reading what changes between requests

async function poll() {
  try {
    show(await request("/api/desktop"));
    await readStory();
    alerts.clear("connection");
  } catch (failure) {
    const ended = failure instanceof ServerError && failure.status === 503;
    alerts.show(ended ? "The session has ended: the program no longer serves it." : failure.message, {
      key: "connection",
      notice: true,
    });
  }
  setTimeout(poll, document.hidden ? kHiddenPollInterval : kPollInterval);
}

setInterval(() => screen.tick(), 15000);
poll();
