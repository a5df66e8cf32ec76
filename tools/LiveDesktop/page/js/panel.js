// The session's panel beside the screen: messages from the server, Quenfold's state and
// commands, the world's applications, the inspector and the story.

import { scriptWord } from "./api.js";
import { applicationIcon } from "./icons.js";
import { drawsAnew, setText } from "./nodes.js";

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className) {
    made.className = className;
  }
  if (text !== undefined) {
    made.textContent = text;
  }
  return made;
}

// Terms and their values; `none` greys a value that says nothing is there, `wide` gives a long
// value the whole row in a list laid out two pairs a row.
// Drawn again only when they changed: each drawing lays the panel out anew.
function facts(list, pairs) {
  if (!drawsAnew(list, "drawn", pairs)) {
    return;
  }
  list.replaceChildren(
    ...pairs.flatMap(([term, value, { none = false, wide = false } = {}]) => {
      const description = element("dd", "", value);
      description.classList.toggle("none", none);
      description.classList.toggle("wide", wide);
      return [element("dt", "", term), description];
    }),
  );
}

// --- Messages: refusals of the server and the state of the connection, shown until dismissed
// or resolved.
export class Alerts {
  constructor(container) {
    this.container = container;
    this.keyed = new Map();
  }

  // A message; one with a key replaces the earlier one of the same key.
  show(message, { key, notice = false } = {}) {
    if (key && this.keyed.has(key)) {
      this.keyed.get(key).querySelector("p").textContent = message;
      return;
    }
    const alert = element("div", notice ? "alert notice" : "alert");
    const text = element("p", "", message);
    const dismiss = element("button", "", "×");
    dismiss.type = "button";
    dismiss.setAttribute("aria-label", "Dismiss this message");
    dismiss.addEventListener("click", () => this.remove(alert, key));
    alert.append(text, dismiss);
    this.container.append(alert);
    if (key) {
      this.keyed.set(key, alert);
    }
    while (this.container.children.length > 4) {
      this.remove(this.container.firstElementChild);
    }
  }

  clear(key) {
    const alert = this.keyed.get(key);
    if (alert) {
      this.remove(alert, key);
    }
  }

  remove(alert, key) {
    alert.remove();
    for (const [name, shown] of this.keyed) {
      if (shown === alert || name === key) {
        this.keyed.delete(name);
      }
    }
  }

  get messages() {
    return Array.from(this.container.querySelectorAll("p"), (p) => p.textContent);
  }
}

// --- Quenfold's card
export class QuenfoldCard {
  constructor(root, run) {
    this.state = root.querySelector("#quenfold-state");
    this.note = root.querySelector("#quenfold-note");
    this.facts = root.querySelector("#quenfold-facts");
    this.launch = root.querySelector("#launch");
    this.reopen = root.querySelector("#reopen");
    this.quit = root.querySelector("#quit");
    this.launch.addEventListener("click", () => run("launch"));
    this.reopen.addEventListener("click", () => run("reopen"));
    this.quit.addEventListener("click", () => run("quit"));
  }

  render(desktop) {
    const quenfold = desktop.quenfold;
    const state = quenfold.state;
    const labels = { notLaunched: "Not launched", running: "Running", quit: "Quit" };
    setText(this.state, labels[state] || state);
    this.state.className = `badge ${state === "running" ? "running" : state === "quit" ? "quit" : ""}`;
    setText(
      this.note,
      state === "notLaunched"
        ? "Launch Quenfold to watch the Dock: a click on the active application's Dock item will hide it."
        : state === "quit"
          ? "Quenfold has quit. Launch it again: it starts as a new process."
          : "",
    );
    this.launch.disabled = state === "running" || desktop.loggedOut;
    this.reopen.disabled = state !== "running";
    this.quit.disabled = state !== "running";
    if (state === "notLaunched") {
      facts(this.facts, []);
      return;
    }
    const preferences = desktop.preferences;
    facts(this.facts, [
      ["Event taps", String(quenfold.taps)],
      ["Hide requests", String(quenfold.hideRequests)],
      ["Dock icon", quenfold.dockIcon ? "shown" : "none"],
      ["Settings", quenfold.settings.onScreen ? "on screen" : "closed"],
      [
        "Preferences",
        Object.entries(preferences)
          .filter(([, value]) => value)
          .map(([key]) => key)
          .join(", ") || "all off",
        { wide: true },
      ],
      ["Login items", desktop.loginItems.length ? desktop.loginItems.join(", ") : "none",
        { none: desktop.loginItems.length === 0, wide: true }],
    ]);
  }
}

// --- The world: accessibility access, the running applications, adding one.
export class WorldCard {
  constructor(root, run, complain, toggle) {
    this.run = run;
    this.access = root.querySelector("#access");
    this.list = root.querySelector("#app-list");
    this.form = root.querySelector("#add-app");
    this.name = root.querySelector("#add-app-name");
    this.withWindow = root.querySelector("#add-app-window");
    this.windowCount = 0;
    this.names = new Set();
    this.logout = root.querySelector("#logout");
    this.login = root.querySelector("#login");
    this.logout.addEventListener("click", () => run("logout"));
    this.login.addEventListener("click", () => run("login"));
    this.access.addEventListener("change", () => {
      // The switch shows what the session says; it changes when the answer comes. The request
      // turns access over as the session finds it, so every click counts.
      this.access.checked = !this.access.checked;
      toggle("access");
    });
    this.list.addEventListener("click", (event) => {
      const button = event.target.closest("button[data-statement]");
      if (button) {
        run(button.dataset.statement);
      }
    });
    this.form.addEventListener("submit", (event) => {
      event.preventDefault();
      const name = this.name.value.trim();
      if (name === "") {
        complain("An application needs a name.");
        return;
      }
      if (this.names.has(name)) {
        complain(`An application named “${name}” is running already.`);
        return;
      }
      const app = scriptWord(name);
      const lines = [`app ${app}`];
      if (this.withWindow.checked) {
        const step = this.windowCount % 6;
        lines.push(`window ${app} Untitled x=${180 + step * 40} y=${90 + step * 36} w=640 h=440`);
        lines.push(`activate ${app}`);
      }
      run(lines.join("\n"), () => {
        this.name.value = "";
      });
    });
  }

  render(desktop) {
    this.access.checked = desktop.access;
    this.logout.disabled = desktop.loggedOut;
    this.login.disabled = !desktop.loggedOut;
    this.windowCount = desktop.windows.filter((entry) => entry.onScreen).length;
    const quenfoldPid = desktop.quenfold.pid;
    const applications = desktop.applications.filter((application) => application.pid !== quenfoldPid);
    this.names = new Set(desktop.applications.map((application) => application.name));
    const rows = new Map(Array.from(this.list.children, (row) => [row.dataset.pid, row]));
    applications.forEach((application, index) => {
      const key = String(application.pid);
      let row = rows.get(key);
      if (row) {
        rows.delete(key);
      } else {
        row = this.makeRow(application);
      }
      this.updateRow(row, application);
      if (this.list.children[index] !== row) {
        this.list.insertBefore(row, this.list.children[index] || null);
      }
    });
    for (const gone of rows.values()) {
      gone.remove();
    }
  }

  makeRow(application) {
    const row = element("li", "app-row");
    row.dataset.pid = String(application.pid);
    const icon = element("span", "app-row-icon");
    icon.innerHTML = applicationIcon(application.name);
    const name = element("span", "app-row-name", application.name);
    name.append(element("span", "app-row-state"));
    const toggle = element("button", "button button-small toggle");
    toggle.type = "button";
    const quit = element("button", "button button-small button-danger", "Quit");
    quit.type = "button";
    quit.dataset.statement = `quitapp ${scriptWord(application.name)}`;
    quit.setAttribute("aria-label", `Quit ${application.name}`);
    row.append(icon, name, toggle, quit);
    return row;
  }

  updateRow(row, application) {
    const word = scriptWord(application.name);
    const state = row.querySelector(".app-row-state");
    setText(state, application.hidden ? "hidden" : application.active ? "active" : "");
    state.className = `app-row-state ${application.hidden ? "hidden-app" : application.active ? "active" : ""}`;
    const toggle = row.querySelector(".toggle");
    // The Dock is no application a user hides.
    toggle.hidden = application.name === "Dock";
    setText(toggle, application.hidden ? "Unhide" : "Hide");
    toggle.dataset.statement = `${application.hidden ? "unhide" : "hide"} ${word}`;
    toggle.setAttribute("aria-label", `${toggle.textContent} ${application.name}`);
  }
}

// --- The inspector, under the screen: what the accessibility toolkit answers under the pointer,
// its element's lineage on one line, outermost first.
export class Inspector {
  constructor(root) {
    this.point = root.querySelector("#inspector-point");
    this.facts = root.querySelector("#inspector-facts");
    this.lineage = root.querySelector("#inspector-lineage");
  }

  render(point, answer, access) {
    setText(this.point, `at ${point.x}, ${point.y}`);
    if (answer === null) {
      this.show([["Element", access ? "nothing the toolkit can see here" : "none: accessibility access is off", true]]);
      setText(this.lineage, "");
      this.lineage.title = "";
      return;
    }
    this.show(
      ["AXRole", "AXSubrole", "AXTitle", "AXURL"].map((name) => [
        name.replace(/^AX/, ""),
        answer[name] ?? "—",
        answer[name] === null,
      ]),
    );
    const lineage = (answer.lineage || "").split("\n").map((line) => line.trim()).filter(Boolean);
    setText(this.lineage, lineage.join("  ›  "));
    this.lineage.title = answer.lineage || "";
  }

  // Nothing inspected yet (a new session).
  clear() {
    this.point.textContent = "";
    this.show([]);
    this.lineage.textContent = "";
    this.lineage.title = "";
  }

  // Each term with its value in a group of its own, so that a line too short for all of them
  // drops whole ones; drawn again only when they changed (the pointer mostly moves within one
  // element).
  show(entries) {
    if (!drawsAnew(this.facts, "drawn", entries)) {
      return;
    }
    this.facts.replaceChildren(
      ...entries.map(([term, text, none]) => {
        const group = element("div");
        group.append(element("dt", "", term), element("dd", none ? "none" : "", text));
        return group;
      }),
    );
  }
}

// --- The story, live, newest at the bottom.
// It follows the newest line unless the reader has scrolled back, and again once they scroll to
// the end.
export class Story {
  constructor(list, { limit = 2000 } = {}) {
    this.list = list;
    this.limit = limit;
    this.following = true;
    this.scrollPending = false;
    // Whether the reader follows is read from their own scrolls only: the page's own scroll to
    // the end would otherwise make each new line lay the page out once more.
    this.ownScroll = -1;
    list.addEventListener("scroll", () => {
      if (list.scrollTop === this.ownScroll) {
        return;
      }
      this.following = list.scrollHeight - list.scrollTop - list.clientHeight < 24;
    });
    new ResizeObserver(() => this.followToEnd()).observe(list);
  }

  // Scrolls to the newest line when the reader follows the story, once in the next frame
  // however many lines came: the frame lays the page out anyway.
  followToEnd() {
    if (!this.following || this.scrollPending) {
      return;
    }
    this.scrollPending = true;
    requestAnimationFrame(() => {
      this.scrollPending = false;
      if (this.following) {
        this.list.scrollTop = this.list.scrollHeight;
        this.ownScroll = this.list.scrollTop;
      }
    });
  }

  append(lines) {
    if (lines.length === 0) {
      return;
    }
    const fragment = document.createDocumentFragment();
    for (const line of lines) {
      const match = /^\s*(\d+\.\d+)\s+(.*)$/.exec(line);
      const time = match ? match[1] : "";
      const text = match ? match[2] : line.trim();
      const item = element("li");
      if (text.startsWith("> ")) {
        item.classList.add("user");
      } else if (text.startsWith("= ")) {
        item.classList.add("check");
      } else if (text.startsWith("* ")) {
        item.classList.add("why");
      } else if (/ is hidden$|^hide requested/.test(text)) {
        item.classList.add("hide");
      }
      item.append(element("time", "", time), element("span", "", text));
      fragment.append(item);
    }
    this.list.append(fragment);
    while (this.list.children.length > this.limit) {
      this.list.firstElementChild.remove();
    }
    this.followToEnd();
  }

  // A new session's story: shown from its newest line.
  clear() {
    this.list.replaceChildren();
    this.following = true;
  }

  get text() {
    return Array.from(this.list.children, (item) => item.lastElementChild.textContent);
  }
}
