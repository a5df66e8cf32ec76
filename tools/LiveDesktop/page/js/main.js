// The live desktop's page: draws the session's desktop, sends the mouse to it as it happens,
// and keeps the panel up to date. The page polls nothing: the hand's answers carry what the
// hand changed, and everything else (timers, deferred hides, the story, the inspector, another
// tab's clicks) arrives on the session's event stream. Only what changed is drawn again.

import { ActionQueue, EventStream, HandChannel, request } from "./api.js";
import { Alerts, Inspector, QuenfoldCard, Story, WorldCard } from "./panel.js";
import { Screen, kScreenHeight, kScreenWidth } from "./screen.js";
import { SystemMenu } from "./systemmenu.js";

// How long after this tab's own action the changes that come are its own; changes with a click
// of the user's that come otherwise are another tab's.
const kOwnActionMilliseconds = 1000;
const kOtherTabNoticeMilliseconds = 5000;

// Milliseconds from each mouse-up to the first frame that shows the desktop the release made,
// whether its changes came first by the event stream or by the release's answer, with its parts
// (the release waiting for what went before it, sent → its changes arrived, the next frame's
// start, its drawing), and of the page's own work on each change of the desktop, by answer or
// by event stream (received → its elements updated), for measurements.
const timings = [];
const clickParts = [];
const workTimings = [];
window.__quenfoldTimings = timings;
window.__quenfoldClickParts = clickParts;
window.__quenfoldWork = workTimings;
// The frames that drew the newest versions of the desktop, oldest first, and the measurements
// waiting for a version to be drawn.
const drawnVersions = [];
const drawWaiters = [];

const screenElement = document.getElementById("screen");
const screen = new Screen(screenElement);
const systemMenu = new SystemMenu(screenElement, (text) => runScript(text));
const alerts = new Alerts(document.getElementById("alerts"));
// The page keeps the story's recent lines only: every line laid out again costs each redraw a
// little more. The whole story goes to the program's standard output.
const story = new Story(document.getElementById("story"), { limit: 300 });
const inspector = new Inspector(document);
const queue = new ActionQueue();
const hand = new HandChannel("/api/hand");
const quenfoldCard = new QuenfoldCard(document, (text) => runScript(text));
const worldCard = new WorldCard(document, runScript, complain, toggle);

let desktop = null;
let storyNext = 0;
let lastPoint = null;
let connected = true;
let lastOwnAction = -Infinity;
let otherTabTimer = null;

function complain(failure) {
  // A server that does not answer is said once, by the event stream's banner: no message per
  // click.
  if (failure && failure.status === 0) {
    return;
  }
  const message = failure instanceof Error ? failure.message : String(failure);
  alerts.show(message);
}

// --- Drawing

// The desktop answers the user's click: the frame that shows it carries nothing else. The panel
// (the story, the inspector, the cards, the session's time) follows in the frame after, drawn
// once however many changes came meanwhile.
const panelWork = new Map();
const storyLines = [];

function drawPanelLater(part, work) {
  const idle = panelWork.size === 0;
  panelWork.set(part, work);
  if (idle) {
    afterNextFrame(() => {
      const works = [...panelWork.values()];
      panelWork.clear();
      for (const draw of works) draw();
    });
  }
}

// The parts of the desktop beside its version, base, time and the story.
const kNotParts = new Set(["version", "from", "time", "whole", "story", "inspect"]);

// Takes what the server says changed: a whole desktop (a first answer, a script's answer, or a
// client too far behind) or the parts that changed since the version `from`. Only what changed
// is drawn again. False when the changes do not follow from what the page has (it must catch up
// from the event stream).
function apply(changes, answered = false) {
  if (!changes) {
    return true;
  }
  const arrived = performance.now();
  const whole = changes.whole || changes.from === undefined;
  if (whole && changes.session && desktop && changes.session !== desktop.session) {
    alerts.show("A new session answers at this address now: the desktop shown is its own, " +
      "and what was done in the earlier one is gone.", { key: "session", notice: true });
    story.clear();
    storyLines.length = 0;
    inspector.clear();
    panelWork.delete("inspect");
    storyNext = 0;
  }
  if (!whole && (!desktop || changes.from > desktop.version)) {
    return false;
  }
  let changed = false;
  if (whole ? !desktop || changes.version !== desktop.version || changes.session !== desktop.session
    : changes.version > desktop.version) {
    const next = whole ? {} : desktop;
    for (const [part, value] of Object.entries(changes)) {
      if (!kNotParts.has(part)) {
        next[part] = value;
        changed = true;
      }
    }
    next.version = changes.version;
    desktop = next;
  }
  if (desktop && changes.time !== undefined) {
    desktop.time = changes.time;
    drawPanelLater("time", () => {
      document.getElementById("session-time").textContent = `session ${formatTime(desktop.time)}`;
    });
  }
  if (changed) {
    screen.render(desktop);
    systemMenu.render(desktop);
    drawPanelLater("cards", () => {
      quenfoldCard.render(desktop);
      worldCard.render(desktop);
    });
    const version = desktop.version;
    afterNextFrame((now, frame) => markDrawn({ version, arrived, frame, now }));
    workTimings.push(performance.now() - arrived);
  }
  if (changes.story) {
    takeStory(changes.story, answered);
  }
  if (changes.inspect) {
    const { x, y, element } = changes.inspect;
    drawPanelLater("inspect", () =>
      inspector.render({ x, y }, element, desktop ? desktop.access : true));
  }
  return true;
}

// The story's lines are numbered up to `next`: those the page has already are skipped. An
// answer tells only its action's lines: when lines before them are still on their way on the
// event stream, they all come from there, in order.
function takeStory({ next, lines }, answered) {
  const first = next - lines.length + 1;
  if (answered && first > storyNext + 1) {
    return;
  }
  const fresh = lines.slice(Math.max(0, storyNext + 1 - first));
  storyNext = Math.max(storyNext, next);
  storyLines.push(...fresh);
  // A hidden tab draws no frames: it keeps no more lines than the story shows.
  storyLines.splice(0, Math.max(0, storyLines.length - story.limit));
  drawPanelLater("story", () => story.append(storyLines.splice(0)));
  if (performance.now() - lastOwnAction > kOwnActionMilliseconds && queue.idle &&
    fresh.some((line) => /^\s*[\d.]+\s+> /.test(line))) {
    alerts.show("Another tab is driving the hand: its clicks show here as they happen.", {
      key: "other-tab",
      notice: true,
    });
    clearTimeout(otherTabTimer);
    otherTabTimer = setTimeout(() => alerts.clear("other-tab"), kOtherTabNoticeMilliseconds);
  }
}

// An answer of this tab's own: what it changed is drawn at once.
function showAnswer(answer) {
  if (!apply(answer, true)) {
    events.catchUp();
  }
}

function formatTime(seconds) {
  const whole = Math.floor(seconds);
  const minutes = Math.floor(whole / 60);
  return `${minutes}:${String(whole % 60).padStart(2, "0")}`;
}

// A frame drew `drawn.version`: the measurements waiting for it, or for an older one, take it.
function markDrawn(drawn) {
  drawnVersions.push(drawn);
  if (drawnVersions.length > 64) {
    drawnVersions.shift();
  }
  for (const waiter of drawWaiters.filter((w) => w.version <= drawn.version)) {
    drawWaiters.splice(drawWaiters.indexOf(waiter), 1);
    waiter.done(drawn);
  }
}

// Runs `done` with the first frame that drew `version` or a newer one, at once if it was drawn.
function whenDrawn(version, done) {
  const drawn = drawnVersions.find((d) => d.version >= version);
  if (drawn) {
    done(drawn);
  } else {
    drawWaiters.push({ version, done });
  }
}

// Runs `work` once the browser has drawn the next frame: an animation frame callback runs before
// the frame is painted, a task queued from it runs after. `work` is given both times (the frame's
// own timestamp is when its display interval began, which may be before what it draws arrived).
function afterNextFrame(work) {
  requestAnimationFrame(() => {
    const frame = performance.now();
    setTimeout(() => work(performance.now(), frame), 0);
  });
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
      lastOwnAction = performance.now();
      try {
        const answer = await request(path, { method: "POST", body });
        showAnswer(answer.desktop);
        if (!answer.ok) {
          alerts.show(`Line ${answer.line} did not hold: ${answer.message}`);
        } else if (done) {
          done();
        }
      } catch (failure) {
        complain(failure);
      }
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
  if (!connected) {
    return;  // the desktop is greyed: nothing reaches the session until it answers again
  }
  const body = { action, x: point.x, y: point.y };
  if (mods && mods.length) {
    body.mods = mods;
  }
  if (button) {
    body.button = button;
  }
  sendToHand(body, action === "move", answered);
}

// The hand's action; the answer carries what changed since the version the page has.
function sendToHand(body, move, answered) {
  queue.push({
    move,
    run: async () => {
      if (!move) {
        lastOwnAction = performance.now();
      }
      try {
        const sent = performance.now();
        const answer = await hand.send(desktop ? { ...body, since: desktop.version } : body);
        const received = performance.now();
        showAnswer(answer);
        if (answered) {
          answered(answer, sent, received);
        }
      } catch (failure) {
        complain(failure);
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

// The marks come off with the release's answer, so that the frame that shows the release is the
// one that shows what it did: a frame drawn for the marks alone would hold the answer's back.
// Without an answer (the session went away) they come off a moment later all the same.
const kUnmarkWithoutAnswerMilliseconds = 150;

function unmarkPressedLater() {
  const marks = pressedMarks;
  pressedMarks = [];
  const unmark = () => {
    clearTimeout(fallback);
    // A press that came since may have marked the same node again: it keeps its mark.
    for (const node of marks) if (!pressedMarks.includes(node)) node.classList.remove("pressed");
  };
  const fallback = setTimeout(unmark, kUnmarkWithoutAnswerMilliseconds);
  return unmark;
}

screenElement.addEventListener("pointerdown", (event) => {
  // The Apple menu and the login window are the page's own: their presses stay on the page.
  if (event.button !== 0 || !event.isPrimary || buttonDown || event.target.closest("[data-page-ui]")) {
    return;
  }
  // The page does not select text or move focus: the press belongs to the simulated desktop.
  event.preventDefault();
  buttonDown = true;
  const point = screen.pointAt(event.clientX, event.clientY);
  lastPoint = point;
  pressedControl = event.target.closest("[data-control]");
  markPressed(event.target);
  sendHand("press", point, modifiersOf(event));
});

// The screen takes no pointer capture: the browser would move its hover state back when a
// captured button goes up, and the restyling draws a frame of its own at once, so that the
// release's answer waits for the frame after. While the button is down the page's moves and its
// release go to the session wherever the pointer is, as a capture would send them.
window.addEventListener("pointermove", (event) => {
  if (!event.isPrimary || (!buttonDown && !screenElement.contains(event.target))) {
    return;
  }
  const point = screen.pointAt(event.clientX, event.clientY);
  if (lastPoint && point.x === lastPoint.x && point.y === lastPoint.y) {
    return;
  }
  lastPoint = point;
  sendHand("move", point, modifiersOf(event));
});

function release(event) {
  if (!buttonDown || !event.isPrimary) {
    return;
  }
  buttonDown = false;
  const mouseUp = event.timeStamp;
  const versionBefore = desktop ? desktop.version : 0;
  const point = screen.pointAt(event.clientX, event.clientY);
  lastPoint = point;
  // The release goes first: what the page draws of it can wait for its answer.
  const unmarkPressed = unmarkPressedLater();
  sendHand("release", point, modifiersOf(event), (answer, sent, received) => {
    unmarkPressed();
    const measure = ({ arrived, frame, now }) => {
      clickParts.push({ waiting: sent - mouseUp, arriving: arrived - sent, frame: frame - arrived,
        drawing: now - frame });
      timings.push(now - mouseUp);
    };
    // A release that changed nothing is measured to the frame after its answer.
    if (answer.version > versionBefore) {
      whenDrawn(answer.version, measure);
    } else {
      afterNextFrame((now, frame) => measure({ arrived: received, frame, now }));
    }
  });
  // A control acts when the button goes up over the control it went down on, as in AppKit.
  const control = pressedControl;
  const under = document.elementFromPoint(event.clientX, event.clientY);
  const acts = control && under && under.closest("[data-control]") === control;
  pressedControl = null;
  if (acts) {
    const statement = statementFor(control);
    if (statement) {
      runScript(statement);
    }
  }
}

window.addEventListener("pointerup", (event) => {
  if (event.button === 0) {
    release(event);
  }
});
window.addEventListener("pointercancel", release);
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

// Keys go to the hand like its clicks, in order with them; none while the server is gone.
function sendKeys(body) {
  if (connected) {
    sendToHand(body, false);
  }
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

// The screen's buttons and check boxes are spans with their roles: Return and Space click them as
// they would a button.
const kClickableSpans = '[role="button"][tabindex], [role="checkbox"][tabindex]';

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
  if (event.key === "Enter" || event.key === " ") {
    if (event.target.classList.contains("window")) {
      event.preventDefault();
      clickAt(Screen.clickPointOf(event.target));
    } else if (event.target.matches(kClickableSpans)) {
      event.preventDefault();
      event.target.click();
    }
  }
});

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

// --- What changes: the session's event stream. While the server does not answer, the desktop is
// greyed under one banner and the page tries again by itself.

const events = new EventStream({
  since: () => (desktop ? { since: desktop.version, story: storyNext, session: desktop.session } : {}),
  onChanges: (changes) => apply(changes),
  onConnected: () => {
    connected = true;
    screenElement.classList.remove("disconnected");
    alerts.clear("connection");
  },
  onLost: () => {
    connected = false;
    screenElement.classList.add("disconnected");
    alerts.show("The live desktop does not answer: the program may have ended. " +
      "The page connects again by itself when it is back.", { key: "connection", notice: true });
  },
});

setInterval(() => screen.tick(), 15000);
events.connect();
